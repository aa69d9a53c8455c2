#include "spectral/SpectroToSamplesOverlapAddProcessor.h"

#include <algorithm>
#include <cmath>

#include "spectral/Half.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Scale.h"
#include "spectral/ScratchPool.h"
#include "spectral/Spectrogram.h"
#include "spectral/SynthesisScratch.h"

namespace {
const double TWO_PI = 2.0 * M_PI;
const double TURNS_PER_RADIAN = 1.0 / TWO_PI;
// Columns were analysed one hop apart, and frames are synthesised one hop apart.
const int HOP = SamplesToSpectro::HOP;
// Hann analysis and Hann synthesis windows overlap-added at a quarter of the
// frame give the sound back this many times over.
const double OVERLAP_GAIN = 1.5;

// The same angle within half a turn of 0; cheaper than std::remainder (and
// than a division), which matters once per bin and frame.
double Wrap(double phase)
{
    return phase - TWO_PI * std::floor(phase * TURNS_PER_RADIAN + 0.5);
}
}  // namespace

const double SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB = -0.9;

namespace {
// What a stored magnitude becomes in the synthesised spectrum.
const float RESYNTHESIS_GAIN =
    (float)(Scale::DbToAmp(SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB) / OVERLAP_GAIN);
}  // namespace

SpectroToSamplesOverlapAddProcessor::SpectroToSamplesOverlapAddProcessor(Spectrogram* spectro)
    : _spectro(spectro), _fftSize(spectro->GetFFTSize()), _currentSpectroColNum(0.0), _selFreq{0.0, 1.0},
      _timeStretch(1.0), _pitchShift(1.0), _loIdx(0), _hiIdx(_fftSize), _colMagns(nullptr), _colPhases(nullptr),
      _fraction(0.0), _synthPhases(std::max(NumBins(), 0), 0.0f), _fresh(true)
{
    // Frames are made on the audio thread: the working memory they lease is made here.
    ScratchPool<ColumnScratch>::Prepare(NumBins());
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
    _pitchShift = other._pitchShift;
    double band[2] = {other._selFreq[0], other._selFreq[1]};
    SetSelFreq(band);
}

void SpectroToSamplesOverlapAddProcessor::SetSpectroColNum(double colNum)
{
    // A jump to another place of the sound (a new grain) starts the
    // partials afresh, in the phase relations they have there; a position
    // that follows on from the last frame continues them.
    if (!(std::fabs(colNum - _currentSpectroColNum) <= 1.0))
        _fresh = true;
    _currentSpectroColNum = colNum;
}

void SpectroToSamplesOverlapAddProcessor::SetSelFreq(double* selFreq)
{
    _selFreq[0] = selFreq[0];
    _selFreq[1] = selFreq[1];
    // The fractions cover the float indices 0 ... fftSize, i.e. bins 0 ... Nyquist.
    _loIdx = (int)(_selFreq[0] * _fftSize);
    _hiIdx = (int)(_selFreq[1] * _fftSize);
}

void SpectroToSamplesOverlapAddProcessor::KeptRange(int* first, int* last) const
{
    // The bins whose index 2b lies within [_loIdx, _hiIdx].
    *first = _loIdx <= 0 ? 0 : (_loIdx + 1) / 2;
    *last = _hiIdx < 0 ? -1 : std::min(_hiIdx / 2, NumBins() - 1);
}

void SpectroToSamplesOverlapAddProcessor::ProcessFFT(std::vector<float>* compBuf, int)
{
    double col = _currentSpectroColNum;
    _currentSpectroColNum += _timeStretch;
    std::fill(compBuf->begin(), compBuf->end(), 0.0f);
    // The full spectrum of the frame, or its lower half up to Nyquist; a
    // spectrum of another frame size is left silent.
    const bool full = (int)compBuf->size() == 2 * _fftSize;
    const bool half = (int)compBuf->size() == _fftSize + 2;
    if (!(full || half) || !ReadColumns(col)) {
        // Beyond the sound there is silence; a partial met again after it starts afresh.
        _fresh = true;
        return;
    }
    int first = 0, last = -1;
    KeptRange(&first, &last);
    if (first <= last) {
        ScratchPool<ColumnScratch>::Lease scratch(NumBins());
        MaskedMagnitudes(first, last, scratch->Magnitudes());
        SynthesisePeaks(first, last, &*scratch, compBuf);
    }
    if (full)
        MirrorUpperHalf(compBuf);
    _fresh = false;
}

bool SpectroToSamplesOverlapAddProcessor::ReadColumns(double col)
{
    int numCols = _spectro->GetNumCols();
    // Written as a negation so that NaN is outside too. A frequency needs
    // two columns to be measured.
    if (numCols < 2 || NumBins() < 2 || !(col >= 0.0 && col <= numCols - 1.0))
        return false;
    // The pair that ends at the position: on a column, the frequency is the
    // advance that led to it, so a walk over whole columns gives back their
    // phases exactly.
    int first = std::clamp((int)std::ceil(col) - 1, 0, numCols - 2);
    _fraction = col - first;
    size_t offset = (size_t)first * NumBins();
    _colMagns = _spectro->GetHalfMagnData() + offset;
    _colPhases = _spectro->GetPhaseData() + offset;
    return true;
}

void SpectroToSamplesOverlapAddProcessor::MaskedMagnitudes(int first, int last, float* magns) const
{
    const float t = (float)_fraction;
    const uint16_t* m0 = _colMagns;
    const uint16_t* m1 = _colMagns + NumBins();
    for (int bin = first; bin <= last; bin++)
        magns[bin] = (1.0f - t) * Half::ToFloat(m0[bin]) + t * Half::ToFloat(m1[bin]);
    DropOutsideBand(first, last, magns);
}

void SpectroToSamplesOverlapAddProcessor::SynthesisePeaks(int first, int last, ColumnScratch* scratch,
                                                          std::vector<float>* compBuf)
{
    const float* m = scratch->Magnitudes();
    std::fill_n(scratch->Written(), NumBins(), 0.0f);
    int bin = first;
    while (bin <= last) {
        if (m[bin] <= 0.0f) {
            bin++;
            continue;
        }
        // A region rises to its peak and falls to the next valley.
        int start = bin;
        while (bin + 1 <= last && m[bin + 1] > 0.0f && m[bin + 1] >= m[bin])
            bin++;
        int peak = bin;
        while (bin + 1 <= last && m[bin + 1] > 0.0f && m[bin + 1] < m[bin])
            bin++;
        SynthesiseRegion(start, peak, bin, scratch, compBuf);
        bin++;
    }
}

double SpectroToSamplesOverlapAddProcessor::AnalysisPhase(int bin) const
{
    // The shorter way round from one column's phase to the next: the stored
    // phases may be principal values or whole.
    return _colPhases[bin] + _fraction * Wrap((double)_colPhases[NumBins() + bin] - _colPhases[bin]);
}

double SpectroToSamplesOverlapAddProcessor::InstantaneousFrequency(int bin) const
{
    return HopAdvance(bin) / HOP;
}

double SpectroToSamplesOverlapAddProcessor::HopAdvance(int bin) const
{
    // The stored phases only know the advance modulo a turn: the bin's own
    // frequency gives the whole turns, the measured advance the deviation.
    double nominal = bin * (TWO_PI * HOP / _fftSize);
    return nominal + Wrap((double)_colPhases[NumBins() + bin] - _colPhases[bin] - nominal);
}

double SpectroToSamplesOverlapAddProcessor::PhaseAdvance(int bin) const
{
    // Untransposed, whole turns do not matter: the advance over one
    // analysis hop is the advance over one synthesis hop.
    if (_pitchShift == 1.0)
        return (double)_colPhases[NumBins() + bin] - _colPhases[bin];
    return _pitchShift * HopAdvance(bin);
}

void SpectroToSamplesOverlapAddProcessor::SynthesiseRegion(int first, int peak, int last, ColumnScratch* scratch,
                                                           std::vector<float>* compBuf)
{
    const float* magns = scratch->Magnitudes();
    float* written = scratch->Written();
    const int numBins = NumBins();
    // The region moves by whole bins to the transposed frequency of its
    // peak; each bin's phase runs at its own transposed frequency.
    int shift = 0;
    if (_pitchShift != 1.0)
        shift = (int)std::lround((_pitchShift - 1.0) * InstantaneousFrequency(peak) * _fftSize / TWO_PI);
    const float gain = RESYNTHESIS_GAIN;
    float* bins = compBuf->data();
    for (int bin = std::max(first, -shift); bin <= last && bin + shift < numBins; bin++) {
        int out = bin + shift;
        float phase = (float)Wrap(_fresh ? AnalysisPhase(bin) : _synthPhases[out] + PhaseAdvance(bin));
        float magn = gain * magns[bin];
        bins[2 * out] += magn * std::cos(phase);
        bins[2 * out + 1] += magn * std::sin(phase);
        // Where two regions meet, the bin goes on with the stronger one's phase.
        if (magns[bin] > written[out]) {
            written[out] = magns[bin];
            _synthPhases[out] = phase;
        }
    }
}

void SpectroToSamplesOverlapAddProcessor::MirrorUpperHalf(std::vector<float>* compBuf) const
{
    float* bins = compBuf->data();
    // The constant bin is its own mirror.
    bins[1] = 0.0f;
    for (int bin = 1; bin < NumBins(); bin++) {
        bins[2 * (_fftSize - bin)] = bins[2 * bin];
        bins[2 * (_fftSize - bin) + 1] = -bins[2 * bin + 1];
    }
}
