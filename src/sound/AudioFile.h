#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One sound in memory: its interleaved samples and where they came from.
class AudioFile {
public:
    AudioFile(const std::string& name, const std::string& path, unsigned nChannels, uint64_t nFrames, double sampleRate,
              std::vector<float> buffer);
    virtual ~AudioFile() {}

    const std::string& GetName() const { return _name; }
    const std::string& GetPath() const { return _path; }
    // Writable: the loader and the conditioning steps work on the samples in place.
    std::vector<float>* GetBuffer() { return &_buffer; }
    const float* GetSamples() const { return _buffer.data(); }
    uint64_t GetNumSamples() const { return _nsamples; }
    uint64_t GetNumFrames() const { return _nframes; }
    unsigned GetNumChannels() const { return _nchannels; }
    double GetSampleRate() const { return _sampleRate; }

private:
    std::string _name;
    std::string _path;
    std::vector<float> _buffer;
    uint64_t _nframes;
    uint64_t _nsamples;
    uint32_t _nchannels;
    double _sampleRate;
};
