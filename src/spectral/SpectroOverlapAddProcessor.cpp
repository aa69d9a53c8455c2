#include "spectral/SpectroOverlapAddProcessor.h"

#include "spectral/FilterBank.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"

SpectroOverlapAddProcessor::SpectroOverlapAddProcessor(Spectrogram* spectro, int chanNum)
    : _chanNum(chanNum), _spectro(spectro), _currentSpectroCol(0), _melBank(new FilterBank(Scale::MEL))
{
}

SpectroOverlapAddProcessor::~SpectroOverlapAddProcessor()
{
    delete _melBank;
}

void SpectroOverlapAddProcessor::ProcessFFT(std::vector<float>* compBuf, int chanNum)
{
    if (chanNum != _chanNum || _currentSpectroCol >= _spectro->GetNumCols())
        return;
    _spectro->SetCol(_currentSpectroCol, *compBuf);
    Spectrogram::ComputeMagns(*compBuf, &_tmpBuf);
    SamplesToSpectro::ToMelImage(_melBank, &_tmpBuf);
    _spectro->SetMagnColDisp(_currentSpectroCol, _tmpBuf);
    _currentSpectroCol++;
}
