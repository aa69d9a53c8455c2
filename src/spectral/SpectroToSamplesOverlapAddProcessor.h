#pragma once

#include <vector>

#include "spectral/OverlapAddProcessor.h"

class Spectrogram;

// Writes into each synthesised frame the stored spectrum at the current
// (fractional) column, with every bin outside the selected frequency band
// silenced, then moves the column on by the time stretch.
//
// The band is given as fractions of 0 ... Nyquist. Positions before the
// first column play the first column; once the position has passed the last
// column the engine's previous spectrum is left in place, so the last
// synthesised frame repeats.
class SpectroToSamplesOverlapAddProcessor : public OverlapAddProcessor {
public:
    // spectro is not owned; its columns are read, never written.
    explicit SpectroToSamplesOverlapAddProcessor(Spectrogram* spectro);
    ~SpectroToSamplesOverlapAddProcessor() override {}

    OverlapAddProcessor* Clone() override;
    void ProcessFFT(std::vector<float>* compBuf, int chanNum) override;
    void SetSpectroColNum(double colNum) override { _currentSpectroColNum = colNum; }
    void SetSelFreq(double* selFreq) override;
    void SetTimeStretch(double timeStretch) override { _timeStretch = timeStretch; }

protected:
    // Whether bin (0 ... fftSize - 1) of the full spectrum lies in the band.
    virtual bool KeepsBin(int bin) const;
    // Column position, band and stretch of other, for a copy.
    void CopyPlayState(const SpectroToSamplesOverlapAddProcessor& other);

    Spectrogram* _spectro;
    int _fftSize;
    double _currentSpectroColNum;
    double _selFreq[2];
    double _timeStretch;

private:
    // The band edges in float-index units of the complex column (bin b sits at 2b).
    int _loIdx;
    int _hiIdx;
    // One complex column, reserved once: frames are made on the audio thread.
    std::vector<float> _column;
};
