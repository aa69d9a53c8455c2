#pragma once

#include <RtAudio.h>

#include <ostream>
#include <string>

// Owner of the one output stream: opens it on the audio system and device the
// performer chose (or the first system that has devices and its default
// output) in the format the application asks for, and reports what the audio
// system granted. Under JACK the client and its ports carry the instrument's
// name.
class MyRtAudio {
public:
    // apiName: "jack", "pulse" or "alsa", or empty for the first system that
    // has devices; outputDevice: a number from List, or -1 for the default.
    // Throws RtAudioError, saying what is missing, when the system is not
    // built in, has no device, or has no such output device.
    MyRtAudio(unsigned int numInputs, unsigned int numOutputs, unsigned int sampleRate, unsigned int* bufferSize,
              RtAudioFormat format, bool showWarnings, const std::string& apiName = "", int outputDevice = -1);
    virtual ~MyRtAudio();
    MyRtAudio(const MyRtAudio&) = delete;
    MyRtAudio& operator=(const MyRtAudio&) = delete;

    // The name a JACK graph shows for the stream's client.
    static const char* CLIENT_NAME;

    // Every audio system built in, with its devices: number, name, channels,
    // and which are the defaults.
    static void List(std::ostream& out);
    // The system's short name ("jack", "pulse", "alsa").
    std::string GetApiName() const;
    // Whether the system, not the program, sets the block size (JACK's period).
    bool ServerSetsBlockSize() const;

    void OpenStream(RtAudioCallback callback);
    unsigned int GetBufferSize() const;
    // Input channels the opened stream carries (0 without an input).
    unsigned int GetNumInputs() const { return _openInputs; }
    void StartStream();
    void StopStream();
    void CloseStream();
    // False once closed, by the program or by the audio system under it (a
    // JACK server that stopped: the library then closes the stream on a
    // thread of its own, and is done with it once this says so).
    bool IsOpen() const { return _audio->isStreamOpen(); }
    void ReportStreamLatency();

private:
    [[noreturn]] void Refuse(const std::string& message, RtAudioError::Type type);
    static RtAudio::Api ApiByName(const std::string& apiName);
    void ChooseDevices(int outputDevice);
    // The input channels the input device can give, up to those asked for.
    unsigned int AvailableInputs();

    RtAudio* _audio;
    unsigned int _numInputs;
    unsigned int _openInputs;
    unsigned int _numOutputs;
    unsigned int _outputDevice;
    unsigned int _inputDevice;
    unsigned int* _bufferSize;
    unsigned int _sampleRate;
    RtAudioFormat _format;
};
