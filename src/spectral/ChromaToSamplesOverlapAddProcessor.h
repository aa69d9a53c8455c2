#pragma once

#include <vector>

#include "spectral/SpectroToSamplesOverlapAddProcessor.h"

// Resynthesis from a chromagram: the band is a range of pitch classes, as
// fractions of the octave from C (0) to the next C (1), and a bin is kept
// when the pitch class of its frequency lies in it, whatever its octave.
class ChromaToSamplesOverlapAddProcessor : public SpectroToSamplesOverlapAddProcessor {
public:
    // chroma is not owned; its complex columns hold the plain spectrum.
    ChromaToSamplesOverlapAddProcessor(int fftSize, double sampleRate, Spectrogram* chroma);
    ~ChromaToSamplesOverlapAddProcessor() override {}

    OverlapAddProcessor* Clone() override;

protected:
    bool KeepsBin(int bin) const override;

private:
    double _sampleRate;
    // Pitch class of every bin, 0 ... fftSize chroma bins per octave;
    // computed once, as the logarithms are too dear for every frame.
    std::vector<int> _chromaBins;
};
