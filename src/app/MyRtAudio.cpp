#include "app/MyRtAudio.h"

#include <algorithm>
#include <iostream>
#include <vector>

const char* MyRtAudio::CLIENT_NAME = "zoltafenri";

namespace {
// Below a JACK server's own threads (which run near 80 by default), above
// everything a desktop runs at normal priority.
const int REALTIME_PRIORITY = 70;
}  // namespace

MyRtAudio::MyRtAudio(unsigned int numInputs, unsigned int numOutputs, unsigned int sampleRate, unsigned int* bufferSize,
                     RtAudioFormat format, bool showWarnings, const std::string& apiName, int outputDevice)
    : _audio(nullptr), _numInputs(numInputs), _openInputs(0), _numOutputs(numOutputs), _outputDevice(0),
      _inputDevice(0), _bufferSize(bufferSize), _sampleRate(sampleRate), _format(format)
{
    // No system named: the library takes the first one built in that has a device.
    _audio = new RtAudio(ApiByName(apiName));
    _audio->showWarnings(showWarnings);
    if (_audio->getDeviceCount() < 1) {
        std::string where = apiName.empty() ? std::string("any audio system") : "audio system '" + apiName + "'";
        Refuse("No audio device found in " + where + " (see --list)", RtAudioError::NO_DEVICES_FOUND);
    }
    ChooseDevices(outputDevice);
}

MyRtAudio::~MyRtAudio()
{
    delete _audio;
}

void MyRtAudio::Refuse(const std::string& message, RtAudioError::Type type)
{
    // Thrown from the constructor: the destructor will not run.
    delete _audio;
    _audio = nullptr;
    throw RtAudioError(message, type);
}

RtAudio::Api MyRtAudio::ApiByName(const std::string& apiName)
{
    if (apiName.empty())
        return RtAudio::UNSPECIFIED;
    // Asked for by name, a system that is not built in is an error, not a
    // quiet fall back on another one.
    RtAudio::Api api = RtAudio::getCompiledApiByName(apiName);
    if (api == RtAudio::UNSPECIFIED)
        throw RtAudioError("The audio system '" + apiName + "' is not built into this program (see --list)",
                           RtAudioError::INVALID_PARAMETER);
    return api;
}

void MyRtAudio::ChooseDevices(int outputDevice)
{
    const unsigned int count = _audio->getDeviceCount();
    if (outputDevice < 0) {
        _outputDevice = _audio->getDefaultOutputDevice();
        _inputDevice = _audio->getDefaultInputDevice();
        return;
    }
    const std::string which = "Audio device " + std::to_string(outputDevice) + " of " + GetApiName();
    if (unsigned(outputDevice) >= count) {
        Refuse(which + " does not exist: it has " + std::to_string(count) + " (see --list)",
               RtAudioError::INVALID_DEVICE);
    }
    RtAudio::DeviceInfo info = _audio->getDeviceInfo(outputDevice);
    if (info.outputChannels < _numOutputs) {
        Refuse(which + " (" + info.name + ") has " + std::to_string(info.outputChannels) + " output channels, " +
                   std::to_string(_numOutputs) + " are needed (see --list)",
               RtAudioError::INVALID_DEVICE);
    }
    _outputDevice = unsigned(outputDevice);
    // A device of one's choice gives the input too where it has one: two
    // devices run by two clocks would drift apart.
    _inputDevice = info.inputChannels > 0 ? _outputDevice : _audio->getDefaultInputDevice();
}

std::string MyRtAudio::GetApiName() const
{
    return RtAudio::getApiName(_audio->getCurrentApi());
}

bool MyRtAudio::ServerSetsBlockSize() const
{
    return _audio->getCurrentApi() == RtAudio::UNIX_JACK;
}

void MyRtAudio::List(std::ostream& out)
{
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    for (RtAudio::Api api : apis) {
        RtAudio audio(api);
        audio.showWarnings(false);
        const unsigned int count = audio.getDeviceCount();
        out << "Audio system " << RtAudio::getApiName(api) << " (" << RtAudio::getApiDisplayName(api) << "): ";
        out << count << (count == 1 ? " device" : " devices") << std::endl;
        for (unsigned int i = 0; i < count; i++) {
            RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
            if (!info.probed)
                continue;
            out << "  " << i << ": " << info.name << " (" << info.outputChannels << " out, " << info.inputChannels
                << " in)" << (info.isDefaultOutput ? " [default output]" : "")
                << (info.isDefaultInput ? " [default input]" : "") << std::endl;
        }
    }
}

unsigned int MyRtAudio::AvailableInputs()
{
    if (_numInputs == 0)
        return 0;
    RtAudio::DeviceInfo info = _audio->getDeviceInfo(_inputDevice);
    return std::min(_numInputs, info.inputChannels);
}

void MyRtAudio::OpenStream(RtAudioCallback callback)
{
    RtAudio::StreamOptions options;
    options.streamName = CLIENT_NAME;
    // The thread that computes the blocks is not held up by whatever else
    // the machine runs, where the system grants real-time scheduling (the
    // library says at start whether it did); under JACK the server's thread
    // computes them, with the server's priority.
    options.flags = RTAUDIO_SCHEDULE_REALTIME;
    options.priority = REALTIME_PRIORITY;
    RtAudio::StreamParameters input;
    input.deviceId = _inputDevice;
    input.nChannels = AvailableInputs();
    input.firstChannel = 0;
    // A system without any input still plays: the stream opens without one.
    if (input.nChannels == 0 && _numInputs > 0)
        std::cerr << "The audio input device has no input: the stream plays without one" << std::endl;
    RtAudio::StreamParameters output;
    output.deviceId = _outputDevice;
    output.nChannels = _numOutputs;
    output.firstChannel = 0;
    // The stream always carries 32-bit floats, interleaved; the library writes
    // the block size it chose through _bufferSize.
    _audio->openStream(&output, input.nChannels > 0 ? &input : nullptr, _format, _sampleRate, _bufferSize, callback,
                       nullptr, &options, nullptr);
    _openInputs = input.nChannels;
}

unsigned int MyRtAudio::GetBufferSize() const
{
    std::cerr << "Buffer size defined by RtAudio: " << *_bufferSize << std::endl;
    return *_bufferSize;
}

void MyRtAudio::StartStream()
{
    _audio->startStream();
}

void MyRtAudio::StopStream()
{
    try {
        _audio->stopStream();
    } catch (RtAudioError& e) {
        e.printMessage();
    }
}

void MyRtAudio::CloseStream()
{
    _audio->closeStream();
}

void MyRtAudio::ReportStreamLatency()
{
    std::cout << "Stream Latency: " << _audio->getStreamLatency() << " frames" << std::endl;
}
