#include "spectral/ChromaToSamplesOverlapAddProcessor.h"

#include <algorithm>

#include "spectral/ChromaScale.h"

ChromaToSamplesOverlapAddProcessor::ChromaToSamplesOverlapAddProcessor(int fftSize, double sampleRate,
                                                                       Spectrogram* chroma)
    : SpectroToSamplesOverlapAddProcessor(chroma), _ownChromaBins(std::max(fftSize / 2, 0), fftSize / 2),
      _chromaBins(&_ownChromaBins), _firstRow(0), _lastRow(-1)
{
    // The picture draws bin b in the row of the pitch class of bin 2b (the
    // same pitch class an octave up, at twice the resolution, halved to its
    // rows), folding the bins above half of Nyquist as the scale folds them;
    // it leaves out the constant bin. The grain plays what the picture shows.
    ChromaScale chromaScale(fftSize, sampleRate);
    for (int bin = 1; bin < fftSize / 2; bin++)
        _ownChromaBins[bin] = (int)(0.5 * chromaScale.FreqBinToChromaBin(2 * bin));
    KeptRows();
}

ChromaToSamplesOverlapAddProcessor::ChromaToSamplesOverlapAddProcessor(Spectrogram* chroma,
                                                                       const std::vector<int>* chromaBins)
    : SpectroToSamplesOverlapAddProcessor(chroma), _chromaBins(chromaBins), _firstRow(0), _lastRow(-1)
{
    KeptRows();
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

void ChromaToSamplesOverlapAddProcessor::SetSelFreq(double* selFreq)
{
    bool moved = selFreq[0] != _selFreq[0] || selFreq[1] != _selFreq[1];
    SpectroToSamplesOverlapAddProcessor::SetSelFreq(selFreq);
    // A voice asks for the same band block after block.
    if (moved)
        KeptRows();
}

void ChromaToSamplesOverlapAddProcessor::KeptRows()
{
    // A row spans [row, row + 1) of the picture's rows; its middle decides.
    // The middles rise with the row, so the band holds one run of rows. The
    // row past the last, where the bins the picture leaves out are put,
    // counts like the others.
    const int rows = _fftSize / 2;
    auto middle = [rows](int row) { return (row + 0.5) / rows; };
    _firstRow = 0;
    while (_firstRow <= rows && !(_selFreq[0] <= middle(_firstRow)))
        _firstRow++;
    _lastRow = rows;
    while (_lastRow >= 0 && !(middle(_lastRow) <= _selFreq[1]))
        _lastRow--;
}

void ChromaToSamplesOverlapAddProcessor::DropOutsideBand(int first, int last, float* magns) const
{
    const int* rows = _chromaBins->data();
    for (int bin = first; bin <= last; bin++) {
        if (rows[bin] < _firstRow || rows[bin] > _lastRow)
            magns[bin] = 0.0f;
    }
}

void ChromaToSamplesOverlapAddProcessor::KeptRange(int* first, int* last) const
{
    *first = 0;
    *last = _fftSize / 2 - 1;
}
