#include "spectral/ChromaToSamplesOverlapAddProcessor.h"

#include "spectral/ChromaScale.h"

ChromaToSamplesOverlapAddProcessor::ChromaToSamplesOverlapAddProcessor(int fftSize, double sampleRate,
                                                                       Spectrogram* chroma)
    : SpectroToSamplesOverlapAddProcessor(chroma),
      _sampleRate(sampleRate),
      _chromaBins(_fftSize, 0)
{
    ChromaScale chromaScale(fftSize, sampleRate);
    for (int bin = 0; bin < _fftSize; bin++)
        _chromaBins[bin] = chromaScale.FreqBinToChromaBin(bin);
}

OverlapAddProcessor* ChromaToSamplesOverlapAddProcessor::Clone()
{
    ChromaToSamplesOverlapAddProcessor* copy =
        new ChromaToSamplesOverlapAddProcessor(_fftSize, _sampleRate, _spectro);
    copy->CopyPlayState(*this);
    return copy;
}

bool ChromaToSamplesOverlapAddProcessor::KeepsBin(int bin) const
{
    double lo = _selFreq[0] * _fftSize;
    double hi = _selFreq[1] * _fftSize;
    int chromaBin = _chromaBins[bin];
    return lo <= chromaBin && chromaBin <= hi;
}
