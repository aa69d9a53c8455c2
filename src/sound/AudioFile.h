#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "spectral/DSP.h"

// One sound in memory: its interleaved samples, where they came from, and
// the fingerprint of the samples it was made from, which names its analysis
// in the cache: the same samples always become the same sound.
class AudioFile {
public:
    // The fingerprint is that of buffer.
    AudioFile(const std::string& name, const std::string& path, unsigned nChannels, uint64_t nFrames, double sampleRate,
              std::vector<float> buffer);
    // Made from samples whose fingerprint is key.
    AudioFile(const std::string& name, const std::string& path, unsigned nChannels, uint64_t nFrames, double sampleRate,
              std::vector<float> buffer, uint64_t key);
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
    uint64_t GetKey() const { return _key; }
    // How the sound was clipped and normalised; null before that.
    const DSP::ClipLevels* GetClipLevels() const { return _clipped ? &_clipLevels : nullptr; }
    void SetClipLevels(const DSP::ClipLevels& levels);

private:
    std::string _name;
    std::string _path;
    std::vector<float> _buffer;
    uint64_t _nframes;
    uint64_t _nsamples;
    uint32_t _nchannels;
    double _sampleRate;
    uint64_t _key;
    DSP::ClipLevels _clipLevels;
    bool _clipped;
};
