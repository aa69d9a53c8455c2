#include "spectral/SpectroToSamplesOverlapAddProcessor.h"

#include <algorithm>

#include "spectral/Spectrogram.h"

SpectroToSamplesOverlapAddProcessor::SpectroToSamplesOverlapAddProcessor(Spectrogram* spectro)
    : _spectro(spectro), _fftSize(spectro->GetFFTSize()), _currentSpectroColNum(0.0), _selFreq{0.0, 1.0},
      _timeStretch(1.0), _loIdx(0), _hiIdx(_fftSize)
{
    // Every read of a column fills it whole.
    _column.reserve(2 * (size_t)std::max(_fftSize, 0));
}

OverlapAddProcessor* SpectroToSamplesOverlapAddProcessor::Clone()
{
    SpectroToSamplesOverlapAddProcessor* copy = new SpectroToSamplesOverlapAddProcessor(_spectro);
    copy->CopyPlayState(*this);
    return copy;
}

void SpectroToSamplesOverlapAddProcessor::CopyPlayState(const SpectroToSamplesOverlapAddProcessor& other)
{
    _currentSpectroColNum = other._currentSpectroColNum;
    _timeStretch = other._timeStretch;
    double band[2] = {other._selFreq[0], other._selFreq[1]};
    SetSelFreq(band);
}

void SpectroToSamplesOverlapAddProcessor::SetSelFreq(double* selFreq)
{
    _selFreq[0] = selFreq[0];
    _selFreq[1] = selFreq[1];
    // The fractions cover the float indices 0 ... fftSize, i.e. bins 0 ... Nyquist.
    _loIdx = (int)(_selFreq[0] * _fftSize);
    _hiIdx = (int)(_selFreq[1] * _fftSize);
}

bool SpectroToSamplesOverlapAddProcessor::KeepsBin(int bin) const
{
    // Bins above Nyquist are measured by their distance from the top, so a
    // band keeps each frequency together with its mirror image.
    int idx = 2 * bin;
    int size = 2 * _fftSize;
    int distance = idx <= _fftSize ? idx : size - idx;
    return _loIdx <= distance && distance <= _hiIdx;
}

void SpectroToSamplesOverlapAddProcessor::ProcessFFT(std::vector<float>* compBuf, int)
{
    if (_currentSpectroColNum >= _spectro->GetNumCols())
        return;
    // Backward grains near the start and large stretches walk below the
    // first column; the sound there is the first column.
    _spectro->GetCol(std::max(_currentSpectroColNum, 0.0), &_column);
    for (int bin = 0; bin < _fftSize; bin++) {
        if (!KeepsBin(bin)) {
            _column[2 * bin] = 0.0f;
            _column[2 * bin + 1] = 0.0f;
        }
    }
    std::copy_n(_column.begin(), std::min(_column.size(), compBuf->size()), compBuf->begin());
    _currentSpectroColNum += _timeStretch;
}
