#include "spectral/ChromaToSamplesOverlapAddProcessor.h"

#include <algorithm>

#include "spectral/ChromaScale.h"

ChromaToSamplesOverlapAddProcessor::ChromaToSamplesOverlapAddProcessor(int fftSize, double sampleRate,
                                                                       Spectrogram* chroma)
    : SpectroToSamplesOverlapAddProcessor(chroma), _ownChromaBins(std::max(fftSize / 2, 0), fftSize / 2),
      _chromaBins(&_ownChromaBins)
{
    // The picture draws bin b in the row of the pitch class of bin 2b (the
    // same pitch class an octave up, at twice the resolution, halved to its
    // rows), folding the bins above half of Nyquist as the scale folds them;
    // it leaves out the constant bin. The grain plays what the picture shows.
    ChromaScale chromaScale(fftSize, sampleRate);
    for (int bin = 1; bin < fftSize / 2; bin++)
        _ownChromaBins[bin] = (int)(0.5 * chromaScale.FreqBinToChromaBin(2 * bin));
}

ChromaToSamplesOverlapAddProcessor::ChromaToSamplesOverlapAddProcessor(Spectrogram* chroma,
                                                                       const std::vector<int>* chromaBins)
    : SpectroToSamplesOverlapAddProcessor(chroma), _chromaBins(chromaBins)
{
}

OverlapAddProcessor* ChromaToSamplesOverlapAddProcessor::Clone()
{
    // Copies are the voices' engines, cloned from the engine of a sound rect
    // made at start-up. That engine stays until the scene is released, after
    // every voice, like the chromagram both read; a copy of a copy reads the
    // same original table.
    ChromaToSamplesOverlapAddProcessor* copy = new ChromaToSamplesOverlapAddProcessor(_spectro, _chromaBins);
    copy->CopyPlayState(*this);
    return copy;
}

bool ChromaToSamplesOverlapAddProcessor::KeepsBin(int bin) const
{
    // A row spans [row, row + 1) of the picture's rows; its middle decides.
    int rows = _fftSize / 2;
    double middle = ((*_chromaBins)[bin] + 0.5) / rows;
    return _selFreq[0] <= middle && middle <= _selFreq[1];
}

void ChromaToSamplesOverlapAddProcessor::KeptRange(int* first, int* last) const
{
    *first = 0;
    *last = _fftSize / 2 - 1;
}
