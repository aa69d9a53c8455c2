#pragma once

#include <vector>

#include "spectral/OverlapAddProcessor.h"

class Spectrogram;

// A phase vocoder over a stored spectrogram: writes into each synthesised
// frame the spectrum at the current (fractional) column, with every bin
// outside the selected band silenced, then moves the column on.
//
// Magnitudes are interpolated between the two neighbouring columns. Phases
// are not: each bin carries its own running phase, advanced every frame by
// the bin's instantaneous frequency (measured from the phase difference of
// the neighbouring columns) times the synthesis hop, so a partial keeps its
// frequency whatever the speed or the direction of the column walk. A fresh
// stream, and a jump to another place of the sound, takes the analysed
// phases as they are, so the bins of each partial start in the relations
// that give its shape within the frame. (Locking the bins around a peak to
// its phase keeps that shape too, but makes partials a few bins apart beat
// against each other: measured on a chord, 12 dB more energy between them.)
// A pitch moves each peak with the bins around it to the transposed
// frequency, and every bin's phase runs at its transposed frequency.
//
// The band is given as fractions of 0 ... Nyquist. Positions before the first
// or past the last column are silent.
class SpectroToSamplesOverlapAddProcessor : public OverlapAddProcessor {
public:
    // Level of a resynthesised partial relative to the stored one: grains
    // played from the pictures have always sat this far under the sound.
    static const double RESYNTHESIS_LEVEL_DB;

    // spectro is not owned; its columns are read, never written.
    explicit SpectroToSamplesOverlapAddProcessor(Spectrogram* spectro);
    ~SpectroToSamplesOverlapAddProcessor() override {}

    OverlapAddProcessor* Clone() override;
    void ProcessFFT(std::vector<float>* compBuf, int chanNum) override;
    void SetSpectroColNum(double colNum) override;
    void SetSelFreq(double* selFreq) override;
    // Columns advanced per synthesised frame; negative plays backwards.
    void SetTimeStretch(double timeStretch) override { _timeStretch = timeStretch; }
    // Frequency ratio applied to every partial.
    void SetPitchShift(double pitchShift) { _pitchShift = pitchShift; }

protected:
    // Whether bin (0 ... fftSize/2 - 1) lies in the band.
    virtual bool KeepsBin(int bin) const;
    // Column position, band, stretch and pitch of other, for a copy.
    void CopyPlayState(const SpectroToSamplesOverlapAddProcessor& other);

    Spectrogram* _spectro;
    int _fftSize;
    double _currentSpectroColNum;
    double _selFreq[2];
    double _timeStretch;
    double _pitchShift;

private:
    int NumBins() const { return _fftSize / 2; }
    // Reads the two columns around col into the scratch columns; false when
    // col lies outside the sound.
    bool ReadColumns(double col);
    // Magnitudes at the position within the band, zero elsewhere.
    void MaskedMagnitudes();
    // Splits the band's spectrum at its valleys and synthesises each peak's region.
    void SynthesisePeaks(std::vector<float>* compBuf);
    void SynthesiseRegion(int first, int peak, int last, std::vector<float>* compBuf);
    // Phase of bin at the position, unwrapped along time.
    double AnalysisPhase(int bin) const;
    // Frequency of the partial at bin in radians per sample.
    double InstantaneousFrequency(int bin) const;
    // How far the bin's phase turns over one synthesis hop at the pitch.
    double PhaseAdvance(int bin) const;
    // The conjugate mirror of the lower half, so that the frame is real.
    void MirrorUpperHalf(std::vector<float>* compBuf) const;

    // The band edges in float-index units of the complex column (bin b sits at 2b).
    int _loIdx;
    int _hiIdx;
    // The two neighbouring columns and the position between them.
    std::vector<float> _magns[2];
    std::vector<float> _phases[2];
    double _fraction;
    std::vector<float> _magn;
    // The phase each output bin was last given, and whether the stream
    // starts afresh (the first frame, or after silence) and takes the
    // analysed phases as they are.
    std::vector<float> _synthPhases;
    bool _fresh;
    // The strongest magnitude written into each output bin of the frame: a
    // bin's phase is the one its strongest partial gave it.
    std::vector<float> _written;
};
