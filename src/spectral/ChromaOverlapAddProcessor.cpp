#include "spectral/ChromaOverlapAddProcessor.h"

#include "spectral/ChromaScale.h"
#include "spectral/SmoothSpace.h"
#include "spectral/Spectrogram.h"

namespace {
const int SEMITONES_PER_OCTAVE = 12;
}

ChromaOverlapAddProcessor::ChromaOverlapAddProcessor(int fftSize, double sampleRate, Spectrogram* spectro, int chanNum)
    : _chromaScale(new ChromaScale(fftSize, sampleRate)), _smoothSpace(new SmoothSpace()), _chanNum(chanNum),
      _spectro(spectro), _currentSpectroCol(0)
{
}

ChromaOverlapAddProcessor::~ChromaOverlapAddProcessor()
{
    delete _chromaScale;
    delete _smoothSpace;
}

void ChromaOverlapAddProcessor::ProcessFFT(std::vector<float>* compBuf, int chanNum)
{
    if (chanNum != _chanNum || _currentSpectroCol >= _spectro->GetNumCols())
        return;
    if (_spectro->OwnsColumns())
        _spectro->SetCol(_currentSpectroCol, *compBuf);
    Spectrogram::ComputeMagns(*compBuf, &_tmpBuf);
    MagnsToChroma(_tmpBuf, &_tmpBuf2);
    _spectro->SetMagnColDisp(_currentSpectroCol, _tmpBuf2);
    _currentSpectroCol++;
}

void ChromaOverlapAddProcessor::MagnsToChroma(const std::vector<float>& magns, std::vector<float>* chroma)
{
    int numBins = (int)magns.size();
    MakeChromaBins(numBins);
    chroma->assign(numBins, 0.0f);
    for (int i = 1; i < numBins; i++) {
        int c = _chromaBins[i];
        if (c >= 0 && c < numBins)
            (*chroma)[c] += magns[i];
    }
    int divisor = numBins < SEMITONES_PER_OCTAVE ? numBins : SEMITONES_PER_OCTAVE;
    if (divisor > 0)
        _smoothSpace->Smooth(chroma, numBins / divisor);
}

void ChromaOverlapAddProcessor::MakeChromaBins(int numBins)
{
    if ((int)_chromaBins.size() == numBins)
        return;
    _chromaBins.resize(numBins);
    // Twice the bin index: for the lower half the same pitch class an octave
    // up, which spreads the low bins over the circle at twice the resolution.
    for (int i = 0; i < numBins; i++)
        _chromaBins[i] = (int)(0.5 * _chromaScale->FreqBinToChromaBin(2 * i));
}
