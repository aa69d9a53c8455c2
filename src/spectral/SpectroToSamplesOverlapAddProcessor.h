#pragma once

#include <cstdint>
#include <vector>

#include "spectral/OverlapAddProcessor.h"

class ColumnScratch;
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
//
// ProcessFFT takes the full complex spectrum (2 * fftSize floats, the upper
// half the mirror of the lower) or only its lower half up to Nyquist
// (fftSize + 2 floats), as a real inverse transform reads it, and leaves
// any other length silent. The columns are read where the spectrogram keeps
// them, and the working memory of a frame is leased from a pool (see
// ScratchPool), so a processor keeps only its position, its band and its
// running phases.
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
    // The lowest and highest bin (0 ... fftSize/2 - 1) that may lie in the
    // band; last < first when none does.
    virtual void KeptRange(int* first, int* last) const;
    // Silences the magnitudes of the bins of [first, last] that lie outside
    // the band. Here the kept range is the band itself.
    virtual void DropOutsideBand(int /*first*/, int /*last*/, float* /*magns*/) const {}
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
    // Finds the two columns around col; false when col lies outside the sound.
    bool ReadColumns(double col);
    // Magnitudes at the position over [first, last], zero outside the band.
    void MaskedMagnitudes(int first, int last, float* magns) const;
    // Splits the band's spectrum at its valleys and synthesises each peak's region.
    void SynthesisePeaks(int first, int last, ColumnScratch* scratch, std::vector<float>* compBuf);
    void SynthesiseRegion(int first, int peak, int last, ColumnScratch* scratch, std::vector<float>* compBuf);
    // Phase of bin at the position, between its columns' phases.
    double AnalysisPhase(int bin) const;
    // Frequency of the partial at bin in radians per sample.
    double InstantaneousFrequency(int bin) const;
    // How far the partial at bin turns over one hop, whole turns included.
    double HopAdvance(int bin) const;
    // How far the bin's phase turns over one synthesis hop at the pitch.
    double PhaseAdvance(int bin) const;
    // The conjugate mirror of the lower half, so that the frame is real.
    void MirrorUpperHalf(std::vector<float>* compBuf) const;

    // The band edges in float-index units of the complex column (bin b sits at 2b).
    int _loIdx;
    int _hiIdx;
    // The stored magnitudes and phases of the first of the two neighbouring
    // columns (the second follows NumBins() values on), read where they
    // are kept, and the position between them.
    const uint16_t* _colMagns;
    const float* _colPhases;
    double _fraction;
    // The phase each output bin was last given, and whether the stream
    // starts afresh (the first frame, or after silence) and takes the
    // analysed phases as they are.
    std::vector<float> _synthPhases;
    bool _fresh;
};
