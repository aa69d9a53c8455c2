#include "spectral/SynthesisScratch.h"

#include <algorithm>

ColumnScratch::ColumnScratch(int numBins) : _magns(std::max(numBins, 0), 0.0f), _written(std::max(numBins, 0), 0.0f)
{
}

FrameScratch::FrameScratch(int fftSize)
    : _spectrum(fftSize + 2, 0.0f), _frame(fftSize, 0.0f), _inverse(kiss_fftr_alloc(fftSize, 1, nullptr, nullptr))
{
}

FrameScratch::~FrameScratch()
{
    kiss_fftr_free(_inverse);
}

const float* FrameScratch::InverseTransform()
{
    kiss_fftri(_inverse, reinterpret_cast<const kiss_fft_cpx*>(_spectrum.data()), _frame.data());
    return _frame.data();
}
