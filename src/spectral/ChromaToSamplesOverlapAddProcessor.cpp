#include "spectral/ChromaToSamplesOverlapAddProcessor.h"

#include "spectral/ChromaScale.h"

ChromaToSamplesOverlapAddProcessor::ChromaToSamplesOverlapAddProcessor(int fftSize, double sampleRate,
                                                                       Spectrogram* chroma)
    : SpectroToSamplesOverlapAddProcessor(chroma), _ownChromaBins(_fftSize, 0), _chromaBins(&_ownChromaBins)
{
    ChromaScale chromaScale(fftSize, sampleRate);
    for (int bin = 0; bin < _fftSize; bin++)
        _ownChromaBins[bin] = chromaScale.FreqBinToChromaBin(bin);
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
    double lo = _selFreq[0] * _fftSize;
    double hi = _selFreq[1] * _fftSize;
    int chromaBin = (*_chromaBins)[bin];
    return lo <= chromaBin && chromaBin <= hi;
}
