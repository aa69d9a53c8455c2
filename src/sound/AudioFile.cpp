#include "sound/AudioFile.h"

#include <utility>

AudioFile::AudioFile(const std::string& name, const std::string& path, unsigned nChannels, uint64_t nFrames,
                     double sampleRate, std::vector<float> buffer)
    : _name(name), _path(path), _buffer(std::move(buffer)), _nframes(nFrames), _nsamples(nFrames * nChannels),
      _nchannels(nChannels), _sampleRate(sampleRate)
{
}
