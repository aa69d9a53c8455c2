#include "spectral/SpectroToSamplesOverlapAddProcessor.h"

#include <algorithm>
#include <cmath>

#include "spectral/SamplesToSpectro.h"
#include "spectral/Scale.h"
#include "spectral/Spectrogram.h"

namespace {
const double TWO_PI = 2.0 * M_PI;
// Columns were analysed one hop apart, and frames are synthesised one hop apart.
const int HOP = SamplesToSpectro::HOP;
// Hann analysis and Hann synthesis windows overlap-added at a quarter of the
// frame give the sound back this many times over.
const double OVERLAP_GAIN = 1.5;

// The same angle within half a turn of 0; cheaper than std::remainder, which
// matters once per bin and frame.
double Wrap(double phase)
{
    return phase - TWO_PI * std::floor(phase / TWO_PI + 0.5);
}
}  // namespace

const double SpectroToSamplesOverlapAddProcessor::RESYNTHESIS_LEVEL_DB = -0.9;

SpectroToSamplesOverlapAddProcessor::SpectroToSamplesOverlapAddProcessor(Spectrogram* spectro)
    : _spectro(spectro), _fftSize(spectro->GetFFTSize()), _currentSpectroColNum(0.0), _selFreq{0.0, 1.0},
      _timeStretch(1.0), _pitchShift(1.0), _loIdx(0), _hiIdx(_fftSize), _fraction(0.0), _fresh(true)
{
    // Frames are made on the audio thread: every buffer is sized here.
    size_t numBins = (size_t)std::max(NumBins(), 0);
    for (int k = 0; k < 2; k++) {
        _magns[k].assign(numBins, 0.0f);
        _phases[k].assign(numBins, 0.0f);
    }
    _magn.assign(numBins, 0.0f);
    _synthPhases.assign(numBins, 0.0f);
    _written.assign(numBins, 0.0f);
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

bool SpectroToSamplesOverlapAddProcessor::KeepsBin(int bin) const
{
    int idx = 2 * bin;
    return _loIdx <= idx && idx <= _hiIdx;
}

void SpectroToSamplesOverlapAddProcessor::ProcessFFT(std::vector<float>* compBuf, int)
{
    double col = _currentSpectroColNum;
    _currentSpectroColNum += _timeStretch;
    std::fill(compBuf->begin(), compBuf->end(), 0.0f);
    if ((int)compBuf->size() < 2 * _fftSize || !ReadColumns(col)) {
        // Beyond the sound there is silence; a partial met again after it starts afresh.
        _fresh = true;
        return;
    }
    MaskedMagnitudes();
    SynthesisePeaks(compBuf);
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
    for (int k = 0; k < 2; k++) {
        _spectro->GetMagnCol(first + k, &_magns[k]);
        _spectro->GetPhaseCol(first + k, &_phases[k]);
    }
    return true;
}

void SpectroToSamplesOverlapAddProcessor::MaskedMagnitudes()
{
    const float t = (float)_fraction;
    const float* m0 = _magns[0].data();
    const float* m1 = _magns[1].data();
    for (int bin = 0; bin < NumBins(); bin++)
        _magn[bin] = KeepsBin(bin) ? (1.0f - t) * m0[bin] + t * m1[bin] : 0.0f;
}

void SpectroToSamplesOverlapAddProcessor::SynthesisePeaks(std::vector<float>* compBuf)
{
    const int numBins = NumBins();
    const float* m = _magn.data();
    std::fill(_written.begin(), _written.end(), 0.0f);
    int bin = 0;
    while (bin < numBins) {
        if (m[bin] <= 0.0f) {
            bin++;
            continue;
        }
        // A region rises to its peak and falls to the next valley.
        int first = bin;
        while (bin + 1 < numBins && m[bin + 1] > 0.0f && m[bin + 1] >= m[bin])
            bin++;
        int peak = bin;
        while (bin + 1 < numBins && m[bin + 1] > 0.0f && m[bin + 1] < m[bin])
            bin++;
        SynthesiseRegion(first, peak, bin, compBuf);
        bin++;
    }
}

double SpectroToSamplesOverlapAddProcessor::AnalysisPhase(int bin) const
{
    return (1.0 - _fraction) * _phases[0][bin] + _fraction * _phases[1][bin];
}

double SpectroToSamplesOverlapAddProcessor::InstantaneousFrequency(int bin) const
{
    // The stored phases only know the advance modulo a turn: the bin's own
    // frequency gives the whole turns, the measured advance the deviation.
    double nominal = TWO_PI * bin * HOP / _fftSize;
    double deviation = Wrap((double)_phases[1][bin] - _phases[0][bin] - nominal);
    return (nominal + deviation) / HOP;
}

double SpectroToSamplesOverlapAddProcessor::PhaseAdvance(int bin) const
{
    // Untransposed, whole turns do not matter: the advance over one
    // analysis hop is the advance over one synthesis hop.
    if (_pitchShift == 1.0)
        return (double)_phases[1][bin] - _phases[0][bin];
    return _pitchShift * InstantaneousFrequency(bin) * HOP;
}

void SpectroToSamplesOverlapAddProcessor::SynthesiseRegion(int first, int peak, int last, std::vector<float>* compBuf)
{
    const int numBins = NumBins();
    // The region moves by whole bins to the transposed frequency of its
    // peak; each bin's phase runs at its own transposed frequency.
    int shift = 0;
    if (_pitchShift != 1.0)
        shift = (int)std::lround((_pitchShift - 1.0) * InstantaneousFrequency(peak) * _fftSize / TWO_PI);
    const float gain = (float)(Scale::DbToAmp(RESYNTHESIS_LEVEL_DB) / OVERLAP_GAIN);
    float* bins = compBuf->data();
    for (int bin = std::max(first, -shift); bin <= last && bin + shift < numBins; bin++) {
        int out = bin + shift;
        float phase = (float)Wrap(_fresh ? AnalysisPhase(bin) : _synthPhases[out] + PhaseAdvance(bin));
        float magn = gain * _magn[bin];
        bins[2 * out] += magn * std::cos(phase);
        bins[2 * out + 1] += magn * std::sin(phase);
        // Where two regions meet, the bin goes on with the stronger one's phase.
        if (_magn[bin] > _written[out]) {
            _written[out] = _magn[bin];
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
