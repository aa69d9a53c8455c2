#include "sound/SoundRect.h"

#include <algorithm>
#include <cmath>

#include "spectral/DSP.h"
#include "ui/UISoundRect.h"

namespace {
// Frames the spectral engines need ahead of the end of a window.
const int SPECTRAL_BLOCK_MIN_SAMPLES = 2048;
const double PLAIN_COPY_TOLERANCE = 1e-15;

// A rect with no view (as in the unit tests) plays as a waveform.
UISoundRect::RectType ViewType(const UISoundRect* ui)
{
    return ui != nullptr ? ui->GetRectType() : UISoundRect::WAVEFORM;
}
}

uint32_t SoundRect::_currentId = 0;

SoundRect::SoundRect()
    : _uiRect(nullptr),
      _id(_currentId++),
      _samples(&_ownSamples),
      _nFrames(0),
      _nChans(0),
      _paramY(1.0),
      _range(10.0),
      _isClone(false)
{
}

void SoundRect::AssociateSamples(const std::vector<float>& samples, unsigned long nFrames,
                                 unsigned nChans)
{
    size_t count = (size_t)nFrames * nChans;
    _ownSamples.assign(count, 0.0f);
    std::copy_n(samples.begin(), std::min(count, samples.size()), _ownSamples.begin());
    _samples = &_ownSamples;
    _nFrames = nFrames;
    _nChans = nChans;
}

const std::vector<float>* SoundRect::GetSamples(int* nFrames, int* nChans) const
{
    *nFrames = (int)_nFrames;
    *nChans = _nChans;
    return _samples;
}

SamplesProvider* SoundRect::Clone()
{
    SoundRect* clone = new SoundRect();
    clone->_isClone = true;
    clone->_uiRect = _uiRect;
    clone->_samples = _samples;
    clone->_nFrames = _nFrames;
    clone->_nChans = _nChans;
    clone->_paramY = _paramY;
    clone->_range = _range;
    return clone;
}

int SoundRect::GetBlockMinSamples()
{
    return ViewType(_uiRect) != UISoundRect::WAVEFORM ? SPECTRAL_BLOCK_MIN_SAMPLES : 0;
}

bool SoundRect::InternalPitchShift()
{
    return ViewType(_uiRect) != UISoundRect::WAVEFORM;
}

void SoundRect::GetSamples(std::vector<float>* out, double start, double end, double timeStretch,
                           double direction, double)
{
    if (start < 0.0)
        return;
    end = std::min(end, start + (double)(_nFrames - 1));
    if (end - start <= 0.0)
        return;
    out->resize((size_t)_nChans * (int)(end - start));
    DSP::Silent(out);

    // Stretched waveforms and the spectrogram and chromagram views are
    // resynthesised by the spectral engine; the plain waveform is read as stored.
    bool plainCopy = std::fabs(timeStretch - 1.0) < PLAIN_COPY_TOLERANCE;
    if (ViewType(_uiRect) == UISoundRect::WAVEFORM && plainCopy)
        CopyStoredSamples(out, start, end, direction);
}

void SoundRect::CopyStoredSamples(std::vector<float>* out, double start, double end,
                                  double direction)
{
    // Past the end of the sound the window stays silent.
    int64_t first = (int64_t)_nChans * (int)start;
    int64_t count = (int64_t)_nChans * (int)(end - start);
    int64_t available = (int64_t)_nChans * _nFrames - first;
    count = std::min(count, available);
    if (count > 0)
        std::copy_n(_samples->begin() + first, count, out->begin());

    // On a waveform the cross axis is the grain's level.
    float gain = (float)_paramY;
    for (float& x : *out)
        x *= gain;
    if (direction < 0.0)
        DSP::Reverse(out, _nChans);
}
