#pragma once

#include <RtAudio.h>

#include <ostream>
#include <string>

class JackStream;

// Owner of the one output stream: opens it on the audio system and device the
// performer chose (or the first system that has devices and its default
// output) in the format the application asks for, and reports what the audio
// system granted. Under JACK the stream is a JackStream, which follows the
// server's period; its client and ports carry the instrument's name.
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
    // Whether the system, not the program, sets the block size and the rate (JACK's).
    bool ServerSetsBlockSize() const;
    // The rate the stream should open at: the JACK server's; elsewhere
    // asked (0: none asked), else the device's preferred rate where the
    // engine plays it, else DEFAULT_RATE. Throws RtAudioError, saying why,
    // when no JACK server answers.
    unsigned int ChooseRate(unsigned int asked);
    static const unsigned int DEFAULT_RATE = 48000;
    // Under PulseAudio and ALSA: the rate asked for (0: none), else the
    // device's preferred one where the engine plays it, else DEFAULT_RATE.
    static unsigned int RateFor(unsigned int asked, unsigned int preferred);

    // Throws RtAudioError, in a sentence for the performer, when the stream
    // cannot open.
    void OpenStream(RtAudioCallback callback);
    // The stream's block size: under JACK the server's period of the moment.
    unsigned int GetBufferSize() const;
    unsigned int GetSampleRate() const;
    // Input channels the opened stream carries (0 without an input).
    unsigned int GetNumInputs() const { return _openInputs; }
    // The input the live rects record, for the performer: its device and
    // channels, and under PulseAudio a warning of its default source.
    std::string DescribeInput() const;
    void StartStream();
    // Stops and closes the stream, waiting for the audio system at most
    // seconds; false when it did not answer in time: the stream is then let
    // go of, its thread perhaps still running, and this object must not be
    // deleted.
    bool CloseWithin(double seconds);
    // False once closed, by the program or by the audio system under it (a
    // JACK server that stopped, dropped the client or changed its rate).
    bool IsOpen() const;
    void ReportStreamLatency();
    // Cycles a JACK server missed since the stream opened (0 elsewhere:
    // the load meter counts the blocks that came late).
    unsigned long GetXruns() const;

private:
    [[noreturn]] void Refuse(const std::string& message, RtAudioError::Type type);
    static RtAudio::Api ApiByName(const std::string& apiName);
    void ChooseDevices(int outputDevice);
    // The input channels the input device can give, up to those asked for.
    unsigned int AvailableInputs();
    void OpenJackStream(RtAudioCallback callback, unsigned int numInputs);
    // Why the device refused the stream, in the performer's words.
    std::string ExplainRefusal(const std::string& libraryMessage);
    void StopAndClose();
    // "44100, 48000 Hz", the rates the device takes.
    static std::string DescribeRates(const RtAudio::DeviceInfo& info);

    RtAudio* _audio;
    // Under JACK, the open stream.
    JackStream* _jack;
    unsigned int _numInputs;
    unsigned int _openInputs;
    unsigned int _numOutputs;
    unsigned int _outputDevice;
    unsigned int _inputDevice;
    std::string _inputName;
    unsigned int* _bufferSize;
    unsigned int _sampleRate;
    RtAudioFormat _format;
};
