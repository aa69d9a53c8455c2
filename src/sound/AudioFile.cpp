#include "sound/AudioFile.h"

#include <utility>

#include "sound/SampleFingerprint.h"

AudioFile::AudioFile(const std::string& name, const std::string& path, unsigned nChannels, uint64_t nFrames,
                     double sampleRate, std::vector<float> buffer)
    : AudioFile(name, path, nChannels, nFrames, sampleRate, std::move(buffer), 0)
{
    _key = SampleFingerprint::Of(_buffer.data(), _buffer.size());
}

AudioFile::AudioFile(const std::string& name, const std::string& path, unsigned nChannels, uint64_t nFrames,
                     double sampleRate, std::vector<float> buffer, uint64_t key)
    : _name(name), _path(path), _buffer(std::move(buffer)), _nframes(nFrames), _nsamples(nFrames * nChannels),
      _nchannels(nChannels), _sampleRate(sampleRate), _key(key), _clipLevels(), _clipped(false)
{
}

void AudioFile::SetClipLevels(const DSP::ClipLevels& levels)
{
    _clipLevels = levels;
    _clipped = true;
}
