#include "spectral/SpectroOverlapAddProcessor.h"

#include "spectral/Spectrogram.h"

SpectroOverlapAddProcessor::SpectroOverlapAddProcessor(Spectrogram* spectro, int chanNum)
    : _chanNum(chanNum), _spectro(spectro), _currentSpectroCol(0)
{
}

void SpectroOverlapAddProcessor::ProcessFFT(std::vector<float>* compBuf, int chanNum)
{
    if (chanNum != _chanNum || _currentSpectroCol >= _spectro->GetNumCols())
        return;
    _spectro->SetCol(_currentSpectroCol, *compBuf);
    Spectrogram::ComputeMagns(*compBuf, &_tmpBuf);
    _spectro->SetMagnColDisp(_currentSpectroCol, _tmpBuf);
    _currentSpectroCol++;
}
