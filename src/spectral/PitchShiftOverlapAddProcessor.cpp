#include "spectral/PitchShiftOverlapAddProcessor.h"

#include <algorithm>

#include "spectral/Algos.h"

PitchShiftOverlapAddProcessor::PitchShiftOverlapAddProcessor(int fftSize, double sampleRate)
    : _fftSize(fftSize), _sampleRate(sampleRate), _pitchShift(1.0), _resampled(std::max(fftSize, 0), 0.0f)
{
}

void PitchShiftOverlapAddProcessor::ProcessOutSamples(std::vector<float>* buf, int)
{
    Algos::LinearResample(*buf, &_resampled);
    buf->assign(_resampled.begin(), _resampled.end());
}
