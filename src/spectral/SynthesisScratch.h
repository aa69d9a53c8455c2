#pragma once

#include <kiss_fftr.h>

#include <vector>

// What a resynthesis processor needs while it writes one frame: the
// magnitudes of the band at the column position, and the strongest
// magnitude written into each output bin. Sized for numBins bins; leased
// from a ScratchPool, never kept by a processor.
class ColumnScratch {
public:
    explicit ColumnScratch(int numBins);
    virtual ~ColumnScratch() {}

    float* Magnitudes() { return _magns.data(); }
    float* Written() { return _written.data(); }

private:
    std::vector<float> _magns;
    std::vector<float> _written;
};

// What a resynthesis engine needs while it makes one frame: the lower half
// of its spectrum (fftSize/2 + 1 bins up to Nyquist, real and imaginary
// parts interleaved) and the real inverse transform of it, for an even
// fftSize. Leased from a ScratchPool, never kept by an engine.
class FrameScratch {
public:
    explicit FrameScratch(int fftSize);
    virtual ~FrameScratch();
    FrameScratch(const FrameScratch&) = delete;
    FrameScratch& operator=(const FrameScratch&) = delete;

    // Written by the processor; zeroed by it before every frame.
    std::vector<float>* Spectrum() { return &_spectrum; }
    // fftSize samples of the real signal whose spectrum's lower half is
    // Spectrum(), unnormalised (fftSize times the signal).
    const float* InverseTransform();

private:
    std::vector<float> _spectrum;
    std::vector<float> _frame;
    // The plan holds the transform's own working memory, so it is one per
    // scratch and never shared.
    kiss_fftr_cfg _inverse;
};
