#pragma once

#include <vector>

#include "spectral/OverlapAddProcessor.h"

class ChromaScale;
class SmoothSpace;
class Spectrogram;

// Records one channel of an analysis into a chromagram: each frame becomes
// the next column, shown as its smoothed pitch-class profile. When the
// chromagram is built over a spectrogram's columns, the spectrum itself is
// left to the spectrogram's processor and only the image is written here.
class ChromaOverlapAddProcessor : public OverlapAddProcessor {
public:
    // spectro is not owned.
    ChromaOverlapAddProcessor(int fftSize, double sampleRate, Spectrogram* spectro, int chanNum);
    ~ChromaOverlapAddProcessor() override;
    ChromaOverlapAddProcessor(const ChromaOverlapAddProcessor&) = delete;
    ChromaOverlapAddProcessor& operator=(const ChromaOverlapAddProcessor&) = delete;

    void ProcessFFT(std::vector<float>* compBuf, int chanNum) override;

    // Sums the magnitudes into pitch-class bins (chroma gets magns.size()
    // bins covering one octave) and smooths them over about a semitone.
    void MagnsToChroma(const std::vector<float>& magns, std::vector<float>* chroma);

private:
    // Fills _chromaBins for spectra of numBins bins.
    void MakeChromaBins(int numBins);

    ChromaScale* _chromaScale;
    SmoothSpace* _smoothSpace;
    int _chanNum;
    Spectrogram* _spectro;
    int _currentSpectroCol;
    std::vector<float> _tmpBuf;
    std::vector<float> _tmpBuf2;
    // Chroma bin of every spectrum bin, worked out once per spectrum size.
    std::vector<int> _chromaBins;
};
