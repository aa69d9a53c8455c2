#include "app/MyRtAudio.h"

#include <cstdlib>
#include <iostream>

MyRtAudio::MyRtAudio(unsigned int numInputs, unsigned int numOutputs, unsigned int sampleRate, unsigned int* bufferSize,
                     RtAudioFormat format, bool showWarnings)
    : _audio(nullptr), _numInputs(numInputs), _numOutputs(numOutputs), _bufferSize(bufferSize), _sampleRate(sampleRate),
      _format(format)
{
    try {
        // No API named: the library takes the first compiled back end that has a device.
        _audio = new RtAudio();
    } catch (RtAudioError& e) {
        e.printMessage();
        exit(1);
    }
    if (_audio->getDeviceCount() < 1) {
        std::cout << "No Audio Devices Found!" << std::endl;
        exit(1);
    }
    _audio->showWarnings(showWarnings);
}

MyRtAudio::~MyRtAudio()
{
    delete _audio;
}

void MyRtAudio::OpenStream(RtAudioCallback callback)
{
    RtAudio::StreamOptions options;
    RtAudio::StreamParameters input;
    input.deviceId = _audio->getDefaultInputDevice();
    input.nChannels = _numInputs;
    input.firstChannel = 0;
    RtAudio::StreamParameters output;
    output.deviceId = _audio->getDefaultOutputDevice();
    output.nChannels = _numOutputs;
    output.firstChannel = 0;
    // The stream always carries 32-bit floats, interleaved; the library writes
    // the block size it chose through _bufferSize.
    _audio->openStream(&output, &input, _format, _sampleRate, _bufferSize, callback, nullptr, &options, nullptr);
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
