#include "spectral/Spectrogram.h"

#include <algorithm>
#include <cmath>

namespace {
// One turn as the single-precision phases of the store see it.
const double TWO_PI_FLOAT = (double)(float)(2.0 * M_PI);

float Magnitude(float re, float im)
{
    return std::sqrt(re * re + im * im);
}
}  // namespace

Spectrogram::Spectrogram(int fftSize, int numCols)
    : _fftSize(fftSize), _numCols(std::max(numCols, 0)), _columnOwner(this),
      _compBuf((size_t)_numCols * 2 * fftSize, 0.0f), _magnBuf((size_t)_numCols * (fftSize / 2), 0.0f),
      _phaseBuf((size_t)_numCols * (fftSize / 2), 0.0f), _phasesUnwrapped(false),
      _magnBufDisp((size_t)_numCols * (fftSize / 2), 0.0f), _tmpMagnBuf(fftSize / 2, 0.0f),
      _tmpPhaseBuf(fftSize / 2, 0.0f)
{
}

Spectrogram::Spectrogram(Spectrogram* columnOwner)
    : _fftSize(columnOwner->_fftSize), _numCols(columnOwner->_numCols), _columnOwner(columnOwner->_columnOwner),
      _phasesUnwrapped(false), _magnBufDisp((size_t)_numCols * (_fftSize / 2), 0.0f), _tmpMagnBuf(_fftSize / 2, 0.0f),
      _tmpPhaseBuf(_fftSize / 2, 0.0f)
{
}

int Spectrogram::GetFFTSize() const
{
    return _fftSize;
}

int Spectrogram::GetNumCols() const
{
    return _numCols;
}

bool Spectrogram::OwnsColumns() const
{
    return _columnOwner == this;
}

int Spectrogram::NumBins() const
{
    return _fftSize / 2;
}

bool Spectrogram::HasCol(int col) const
{
    return col >= 0 && col < _numCols;
}

int Spectrogram::ClampCol(int col) const
{
    return std::min(std::max(col, 0), _numCols - 1);
}

void Spectrogram::SetCol(int col, const std::vector<float>& compBuf)
{
    if (!HasCol(col))
        return;
    int numFloats = 2 * _fftSize;
    float* bins = _columnOwner->_compBuf.data() + (size_t)col * numFloats;
    std::copy(compBuf.begin(), compBuf.begin() + std::min(numFloats, (int)compBuf.size()), bins);
    for (int i = 0; i < NumBins(); i++) {
        _tmpMagnBuf[i] = Magnitude(bins[2 * i], bins[2 * i + 1]);
        _tmpPhaseBuf[i] = std::atan2(bins[2 * i + 1], bins[2 * i]);
    }
    SetMagnCol(col, _tmpMagnBuf);
    SetPhaseCol(col, _tmpPhaseBuf);
}

void Spectrogram::GetCol(int col, std::vector<float>* out) const
{
    int numFloats = 2 * _fftSize;
    out->resize(numFloats);
    if (_numCols == 0) {
        std::fill(out->begin(), out->end(), 0.0f);
        return;
    }
    auto first = _columnOwner->_compBuf.begin() + (size_t)ClampCol(col) * numFloats;
    std::copy(first, first + numFloats, out->begin());
}

void Spectrogram::GetCol(double col, std::vector<float>* out) const
{
    // Written as a negation so that NaN takes the first column too.
    if (!(col >= 0.0)) {
        GetCol(0, out);
        return;
    }
    if (col + 1.0 >= (double)_numCols) {
        GetCol(_numCols - 1, out);
        return;
    }
    int col0 = (int)col;
    InterpolateCol(col0, col - col0, out);
}

void Spectrogram::InterpolateCol(int col0, double t, std::vector<float>* out) const
{
    int numBins = NumBins();
    const float* m0 = _columnOwner->_magnBuf.data() + (size_t)col0 * numBins;
    const float* p0 = _columnOwner->_phaseBuf.data() + (size_t)col0 * numBins;
    const float* m1 = m0 + numBins;
    const float* p1 = p0 + numBins;
    std::vector<float>& bins = *out;
    bins.resize(2 * _fftSize);
    for (int i = 0; i < numBins; i++) {
        double m = t * m1[i] + (1.0 - t) * m0[i];
        double phi = t * p1[i] + (1.0 - t) * p0[i];
        bins[2 * i] = (float)(m * std::cos(phi));
        bins[2 * i + 1] = (float)(m * std::sin(phi));
    }
    // The upper half is the lower half's floats in reverse order: bin
    // fftSize - 1 - k holds (im, re) of bin k. The resynthesis is tuned to
    // this spectrum, so it is kept rather than the conjugate mirror.
    for (int j = 0; j < _fftSize; j++)
        bins[2 * _fftSize - 1 - j] = bins[j];
}

void Spectrogram::SetMagnColDisp(int col, const std::vector<float>& v)
{
    SetBinCol(&_magnBufDisp, col, v);
}

std::vector<float>* Spectrogram::GetMagnDataDisp()
{
    return &_magnBufDisp;
}

void Spectrogram::NormalizeMagnsDisp()
{
    float minVal = 1e15f;
    float maxVal = -1e15f;
    for (float v : _magnBufDisp) {
        minVal = std::min(minVal, v);
        maxVal = std::max(maxVal, v);
    }
    // Only a range beyond any real magnitude would be rescaled: the image
    // keeps its scale and its floor moves to 0; the view does the contrast.
    float scale = std::fabs(maxVal - minVal) > 1e15f ? 1.0f / (maxVal - minVal) : 1.0f;
    for (float& v : _magnBufDisp)
        v = (v - minVal) * scale;
}

void Spectrogram::PreProcessPhases()
{
    Spectrogram& owner = *_columnOwner;
    if (owner._phasesUnwrapped)
        return;
    owner._phasesUnwrapped = true;
    int numBins = NumBins();
    for (int c = 1; c < _numCols; c++) {
        const float* previous = owner._phaseBuf.data() + (size_t)(c - 1) * numBins;
        float* current = owner._phaseBuf.data() + (size_t)c * numBins;
        for (int j = 0; j < numBins; j++) {
            double phase = current[j];
            FindClosestPhase(&phase, previous[j]);
            current[j] = (float)phase;
        }
    }
}

void Spectrogram::SetMagnCol(int col, const std::vector<float>& magns)
{
    SetBinCol(&_columnOwner->_magnBuf, col, magns);
}

void Spectrogram::GetMagnCol(int col, std::vector<float>* magns) const
{
    GetBinCol(_columnOwner->_magnBuf, col, magns);
}

void Spectrogram::SetPhaseCol(int col, const std::vector<float>& phases)
{
    SetBinCol(&_columnOwner->_phaseBuf, col, phases);
}

void Spectrogram::GetPhaseCol(int col, std::vector<float>* phases) const
{
    GetBinCol(_columnOwner->_phaseBuf, col, phases);
}

void Spectrogram::SetBinCol(std::vector<float>* store, int col, const std::vector<float>& v)
{
    if (!HasCol(col))
        return;
    int n = std::min(NumBins(), (int)v.size());
    std::copy(v.begin(), v.begin() + n, store->begin() + (size_t)col * NumBins());
}

void Spectrogram::GetBinCol(const std::vector<float>& store, int col, std::vector<float>* v) const
{
    v->resize(NumBins());
    if (_numCols == 0) {
        std::fill(v->begin(), v->end(), 0.0f);
        return;
    }
    auto first = store.begin() + (size_t)ClampCol(col) * NumBins();
    std::copy(first, first + NumBins(), v->begin());
}

void Spectrogram::ComputeMagns(const std::vector<float>& compBuf, std::vector<float>* magns)
{
    int numBins = (int)compBuf.size() / 4;
    magns->resize(numBins);
    for (int i = 0; i < numBins; i++)
        (*magns)[i] = Magnitude(compBuf[2 * i], compBuf[2 * i + 1]);
}

double Spectrogram::FmodNegative(double x, double y)
{
    return x < 0.0 ? y - std::fmod(-x, y) : std::fmod(x, y);
}

void Spectrogram::FindClosestPhase(double* phase, double refPhase)
{
    const double turn = TWO_PI_FLOAT;
    double refMod = FmodNegative(refPhase, turn);
    double p = FmodNegative(*phase, turn);
    // Of p - turn, p + turn and p, the one nearest the reference; p wins a tie.
    double dist = std::fabs(p - refMod);
    double closest = p - turn;
    if (dist <= std::fabs(closest - refMod)) {
        closest = p + turn;
        if (dist <= std::fabs(closest - refMod))
            closest = p;
    }
    double result = refPhase - refMod + closest;
    if (result - refPhase > M_PI)
        result -= turn;
    if (result - refPhase < -M_PI)
        result += turn;
    *phase = result;
}
