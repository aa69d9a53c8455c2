#include "sound/AudioFile.h"

AudioFile::AudioFile(const std::string& name, const std::string& path, unsigned nChannels, uint64_t nFrames,
                     double sampleRate, const std::vector<float>& buffer)
    : _name(name), _path(path), _buffer(buffer), _nframes(nFrames), _nsamples(nFrames * nChannels),
      _nchannels(nChannels), _sampleRate(sampleRate)
{
}
