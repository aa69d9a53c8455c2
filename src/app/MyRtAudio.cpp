#include "app/MyRtAudio.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "app/JackStream.h"
#include "sound/EngineRate.h"

const char* MyRtAudio::CLIENT_NAME = "zoltafenri";

namespace {
// Below a JACK server's own threads (which run near 80 by default), above
// everything a desktop runs at normal priority.
const int REALTIME_PRIORITY = 70;
}  // namespace

MyRtAudio::MyRtAudio(unsigned int numInputs, unsigned int numOutputs, unsigned int sampleRate, unsigned int* bufferSize,
                     RtAudioFormat format, bool showWarnings, const std::string& apiName, int outputDevice)
    : _audio(nullptr), _jack(nullptr), _numInputs(numInputs), _openInputs(0), _numOutputs(numOutputs), _outputDevice(0),
      _inputDevice(0), _bufferSize(bufferSize), _sampleRate(sampleRate), _format(format)
{
    // No system named: the library takes the first one built in that has a device.
    _audio = new RtAudio(ApiByName(apiName));
    _audio->showWarnings(showWarnings);
    if (_audio->getDeviceCount() < 1) {
        std::string where = apiName.empty() ? std::string("any audio system") : "audio system '" + apiName + "'";
        // Under JACK the devices are the server's clients: none means no server.
        const std::string why =
            ServerSetsBlockSize() ? ": no JACK server runs (start one, e.g. with qjackctl or jackd)" : " (see --list)";
        Refuse("No audio device found in " + where + why, RtAudioError::NO_DEVICES_FOUND);
    }
    ChooseDevices(outputDevice);
}

MyRtAudio::~MyRtAudio()
{
    delete _jack;
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

unsigned int MyRtAudio::ChooseRate(unsigned int asked)
{
    if (ServerSetsBlockSize()) {
        std::string error;
        const unsigned rate = JackStream::ServerRate(&error);
        if (rate == 0)
            throw RtAudioError("The JACK server's rate cannot be read: " + error, RtAudioError::SYSTEM_ERROR);
        return rate;
    }
    return RateFor(asked, _audio->getDeviceInfo(_outputDevice).preferredSampleRate);
}

unsigned int MyRtAudio::RateFor(unsigned int asked, unsigned int preferred)
{
    if (asked != 0)
        return asked;
    return EngineRate::IsSupported(preferred) ? preferred : DEFAULT_RATE;
}

std::string MyRtAudio::DescribeRates(const RtAudio::DeviceInfo& info)
{
    std::string rates;
    for (unsigned int rate : info.sampleRates)
        rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
    return rates.empty() ? "no rate it names" : rates + " Hz";
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
                << " in; " << DescribeRates(info)
                << (info.preferredSampleRate != 0 ? ", preferred " + std::to_string(info.preferredSampleRate) : "")
                << ")" << (info.isDefaultOutput ? " [default output]" : "")
                << (info.isDefaultInput ? " [default input]" : "") << std::endl;
        }
    }
}

unsigned int MyRtAudio::AvailableInputs()
{
    if (_numInputs == 0)
        return 0;
    RtAudio::DeviceInfo info = _audio->getDeviceInfo(_inputDevice);
    _inputName = info.name;
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
    if (ServerSetsBlockSize()) {
        OpenJackStream(callback, input.nChannels);
        return;
    }
    RtAudio::StreamParameters output;
    output.deviceId = _outputDevice;
    output.nChannels = _numOutputs;
    output.firstChannel = 0;
    // The stream always carries 32-bit floats, interleaved; the library writes
    // the block size it chose through _bufferSize.
    try {
        _audio->openStream(&output, input.nChannels > 0 ? &input : nullptr, _format, _sampleRate, _bufferSize, callback,
                           nullptr, &options, nullptr);
    } catch (RtAudioError& e) {
        throw RtAudioError(ExplainRefusal(e.getMessage()), e.getType());
    }
    _openInputs = input.nChannels;
}

std::string MyRtAudio::DescribeInput() const
{
    std::string text = "The live rects record the input of '" + _inputName + "', " + std::to_string(_openInputs) +
                       (_openInputs == 1 ? " channel" : " channels");
    // PulseAudio's default source is often the monitor of the output: the
    // instrument would record, and play again, what it plays.
    if (_audio->getCurrentApi() == RtAudio::LINUX_PULSE)
        text += "; under PulseAudio that may be the output's own monitor, which feeds the instrument back to itself "
                "(choose the source in the mixer)";
    return text;
}

std::string MyRtAudio::ExplainRefusal(const std::string& libraryMessage)
{
    RtAudio::DeviceInfo info = _audio->getDeviceInfo(_outputDevice);
    const std::string device = "the audio device '" + info.name + "'";
    const auto& rates = info.sampleRates;
    if (!rates.empty() && std::find(rates.begin(), rates.end(), _sampleRate) == rates.end()) {
        return device + " does not play at " + std::to_string(_sampleRate) + " Hz (it takes " + DescribeRates(info) +
               "): start the instrument with --rate and one of them";
    }
    return device + " refused the stream (is another program holding it?): " + libraryMessage;
}

void MyRtAudio::OpenJackStream(RtAudioCallback callback, unsigned int numInputs)
{
    _jack = new JackStream(callback, nullptr);
    std::string error;
    if (!_jack->Open(CLIENT_NAME, numInputs, _numOutputs, &error)) {
        delete _jack;
        _jack = nullptr;
        throw RtAudioError("The JACK client cannot open: " + error, RtAudioError::SYSTEM_ERROR);
    }
    _openInputs = _jack->GetNumInputs();
    *_bufferSize = _jack->GetBlockSize();
}

unsigned int MyRtAudio::GetBufferSize() const
{
    return _jack != nullptr ? _jack->GetBlockSize() : *_bufferSize;
}

unsigned int MyRtAudio::GetSampleRate() const
{
    return _jack != nullptr ? _jack->GetRate() : _audio->getStreamSampleRate();
}

bool MyRtAudio::IsOpen() const
{
    return _jack != nullptr ? _jack->IsOpen() : _audio->isStreamOpen();
}

void MyRtAudio::StartStream()
{
    if (_jack == nullptr) {
        _audio->startStream();
        return;
    }
    // The ports go to the devices' ports, as RtAudio's JACK streams connected them.
    std::string error;
    if (!_jack->Start(_audio->getDeviceInfo(_outputDevice).name, _audio->getDeviceInfo(_inputDevice).name, &error))
        throw RtAudioError(error, RtAudioError::SYSTEM_ERROR);
}

bool MyRtAudio::CloseWithin(double seconds)
{
    // An audio system that hangs (a JACK server stopped or stuck in its
    // driver) would hold the program at quitting: the closing runs on a
    // thread of its own, waited for so long and then left to finish alone.
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> done = closed->get_future();
    std::thread([this, closed] {
        StopAndClose();
        closed->set_value();
    }).detach();
    if (done.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready)
        return true;
    std::cerr << "The audio system did not close the stream within " << seconds << " s: it is let go of" << std::endl;
    return false;
}

void MyRtAudio::StopAndClose()
{
    if (_jack != nullptr) {
        _jack->Close();
        return;
    }
    try {
        // A stream the audio system closed has nothing left to stop.
        if (_audio->isStreamOpen()) {
            _audio->stopStream();
            _audio->closeStream();
        }
    } catch (RtAudioError& e) {
        e.printMessage();
    }
}

unsigned long MyRtAudio::GetXruns() const
{
    return _jack != nullptr ? _jack->GetXruns() : 0;
}

void MyRtAudio::ReportStreamLatency()
{
    const long latency = _jack != nullptr ? long(_jack->GetLatency()) : _audio->getStreamLatency();
    std::cout << "Stream Latency: " << latency << " frames" << std::endl;
}
