#pragma once

#include <vector>

#include "spectral/OverlapAddProcessor.h"

class FilterBank;
class Spectrogram;

// Records one channel of an analysis into a spectrogram: each frame becomes
// the next column, shown as its magnitude spectrum on the mel scale.
class SpectroOverlapAddProcessor : public OverlapAddProcessor {
public:
    // spectro is not owned.
    SpectroOverlapAddProcessor(Spectrogram* spectro, int chanNum);
    ~SpectroOverlapAddProcessor() override;
    SpectroOverlapAddProcessor(const SpectroOverlapAddProcessor&) = delete;
    SpectroOverlapAddProcessor& operator=(const SpectroOverlapAddProcessor&) = delete;

    void ProcessFFT(std::vector<float>* compBuf, int chanNum) override;

private:
    int _chanNum;
    Spectrogram* _spectro;
    int _currentSpectroCol;
    std::vector<float> _tmpBuf;
    FilterBank* _melBank;
};
