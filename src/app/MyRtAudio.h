#pragma once

#include <RtAudio.h>

// Owner of the one output stream: opens it on the default devices in the
// format the application asks for and reports what the audio system granted.
class MyRtAudio {
public:
    MyRtAudio(unsigned int numInputs, unsigned int numOutputs, unsigned int sampleRate, unsigned int* bufferSize,
              RtAudioFormat format, bool showWarnings);
    virtual ~MyRtAudio();

    void OpenStream(RtAudioCallback callback);
    unsigned int GetBufferSize() const;
    // Input channels the stream carries.
    unsigned int GetNumInputs() const { return _numInputs; }
    void StartStream();
    void StopStream();
    void CloseStream();
    void ReportStreamLatency();

private:
    RtAudio* _audio;
    unsigned int _numInputs;
    unsigned int _numOutputs;
    unsigned int* _bufferSize;
    unsigned int _sampleRate;
    RtAudioFormat _format;
};
