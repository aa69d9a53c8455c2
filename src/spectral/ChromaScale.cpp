#include "spectral/ChromaScale.h"

#include <cmath>

namespace {
const double A4_FREQ = 440.0;
// C0 lies 4 octaves and 9 semitones below A4.
const double SEMITONES_C0_TO_A4 = 57.0;
}  // namespace

ChromaScale::ChromaScale(int fftSize, double sampleRate)
    : _c0Freq(ComputeC0Freq()), _logToneMultInv(1.0 / std::log(ComputeToneMult())), _fftSize(fftSize),
      _sampleRate(sampleRate)
{
}

double ChromaScale::ComputeC0Freq()
{
    return A4_FREQ * std::pow(ComputeToneMult(), -SEMITONES_C0_TO_A4);
}

double ChromaScale::ComputeToneMult()
{
    return std::pow(2.0, 1.0 / 12.0);
}

int ChromaScale::FreqBinToChromaBin(int freqBin) const
{
    if (freqBin > _fftSize / 2)
        freqBin = _fftSize - freqBin - 1;
    // The top bin folds onto DC, which has no pitch (log of 0).
    if (freqBin <= 0)
        return 0;
    double hz = freqBin * (_sampleRate / _fftSize);
    double semitones = std::log(hz / _c0Freq) * _logToneMultInv;
    // Centred a twelfth of a semitone lower, so that C sits in the first bins.
    double pitchClass = std::fmod(semitones - 1.0 / 12.0, 12.0);
    // Below C0 the remainder is negative; the circle goes on from the top.
    if (pitchClass < 0.0)
        pitchClass += 12.0;
    return (int)std::round(_fftSize * pitchClass / 12.0);
}
