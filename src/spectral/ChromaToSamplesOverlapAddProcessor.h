#pragma once

#include <vector>

#include "spectral/SpectroToSamplesOverlapAddProcessor.h"

// Resynthesis from a chromagram: the band is a range of the chromagram
// picture's height, from C (0) to the next C (1), and a bin is kept when the
// row of the picture it is drawn in lies in it, whatever its octave.
class ChromaToSamplesOverlapAddProcessor : public SpectroToSamplesOverlapAddProcessor {
public:
    // chroma is not owned; its columns hold the plain spectrum.
    ChromaToSamplesOverlapAddProcessor(int fftSize, double sampleRate, Spectrogram* chroma);
    ~ChromaToSamplesOverlapAddProcessor() override {}

    // The copy reads this processor's row table, which must outlive it.
    OverlapAddProcessor* Clone() override;
    // selFreq: the kept range of the picture's height, C (0) to C (1).
    void SetSelFreq(double* selFreq) override;

    // The picture row (0 ... fftSize/2 - 1 from C up) of every bin below
    // Nyquist; fftSize/2 for a bin the picture does not show.
    const std::vector<int>& GetChromaBins() const { return *_chromaBins; }

protected:
    // Every octave holds rows of the band: the whole spectrum.
    void KeptRange(int* first, int* last) const override;
    // A bin stays when the row it is drawn in lies in the band.
    void DropOutsideBand(int first, int last, float* magns) const override;

private:
    // A copy reading chromaBins, which it does not own.
    ChromaToSamplesOverlapAddProcessor(Spectrogram* chroma, const std::vector<int>* chromaBins);

    // The table computed by this processor; empty in a copy. Computed once,
    // as the logarithms are too dear for every frame or every copy.
    std::vector<int> _ownChromaBins;
    // Finds the rows of the band.
    void KeptRows();

    // The table in use: this processor's own, or its origin's.
    const std::vector<int>* _chromaBins;
    // The first and last row of the picture in the band; none when last < first.
    int _firstRow;
    int _lastRow;
};
