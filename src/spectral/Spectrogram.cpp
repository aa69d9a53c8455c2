#include "spectral/Spectrogram.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "spectral/Half.h"
#include "spectral/MappedRegion.h"
#include "spectral/Scale.h"

namespace {
float Magnitude(float re, float im)
{
    return std::sqrt(re * re + im * im);
}

bool FitsIn(const MappedRegion* region, size_t offset, size_t bytes)
{
    return region != nullptr && region->IsValid() && offset <= region->GetLength() &&
           bytes <= region->GetLength() - offset;
}
}  // namespace

Spectrogram::Spectrogram(int fftSize, int numCols) : Spectrogram(fftSize, numCols, true)
{
}

Spectrogram::Spectrogram(int fftSize, int numCols, bool allocate)
    : _fftSize(fftSize), _numCols(std::max(numCols, 0)), _columnOwner(this), _magns(nullptr), _phases(nullptr),
      _mappedColumns(nullptr), _phasesPrepared(false), _image(nullptr), _mappedImage(nullptr)
{
    if (!allocate)
        return;
    _magnStore.assign((size_t)_numCols * GetNumBins(), 0);
    _phaseStore.assign((size_t)_numCols * GetNumBins(), 0.0f);
    _magns = _magnStore.data();
    _phases = _phaseStore.data();
}

Spectrogram::Spectrogram(Spectrogram* columnOwner)
    : _fftSize(columnOwner->_fftSize), _numCols(columnOwner->_numCols), _columnOwner(columnOwner->_columnOwner),
      _magns(nullptr), _phases(nullptr), _mappedColumns(nullptr), _phasesPrepared(false), _image(nullptr),
      _mappedImage(nullptr)
{
}

Spectrogram::~Spectrogram()
{
    delete _mappedColumns;
    delete _mappedImage;
}

int Spectrogram::GetFFTSize() const
{
    return _fftSize;
}

int Spectrogram::GetNumCols() const
{
    return _numCols;
}

int Spectrogram::GetNumBins() const
{
    return std::max(_fftSize / 2, 0);
}

bool Spectrogram::OwnsColumns() const
{
    return _columnOwner == this;
}

bool Spectrogram::IsMapped() const
{
    return _columnOwner->_mappedColumns != nullptr;
}

bool Spectrogram::HasCol(int col) const
{
    return col >= 0 && col < _numCols;
}

int Spectrogram::ClampCol(int col) const
{
    return std::min(std::max(col, 0), _numCols - 1);
}

bool Spectrogram::IsWritable() const
{
    return _columnOwner->_mappedColumns == nullptr;
}

void Spectrogram::SetCol(int col, const std::vector<float>& compBuf)
{
    if (!HasCol(col) || !IsWritable())
        return;
    int numBins = GetNumBins();
    std::vector<float> magns(numBins, 0.0f), phases(numBins, 0.0f);
    for (int i = 0; i < numBins && 2 * i + 1 < (int)compBuf.size(); i++) {
        magns[i] = Magnitude(compBuf[2 * i], compBuf[2 * i + 1]);
        phases[i] = std::atan2(compBuf[2 * i + 1], compBuf[2 * i]);
    }
    SetMagnPhaseCol(col, magns.data(), phases.data());
}

void Spectrogram::SetMagnPhaseCol(int col, const float* magns, const float* phases)
{
    if (!HasCol(col) || !IsWritable())
        return;
    Spectrogram& owner = *_columnOwner;
    size_t first = (size_t)col * GetNumBins();
    for (int i = 0; i < GetNumBins(); i++)
        owner._magnStore[first + i] = Half::FromFloat(magns[i]);
    std::copy(phases, phases + GetNumBins(), owner._phaseStore.begin() + first);
}

void Spectrogram::GetCol(int col, std::vector<float>* out) const
{
    std::vector<float>& bins = *out;
    bins.assign(2 * std::max(_fftSize, 0), 0.0f);
    if (_numCols == 0)
        return;
    int numBins = GetNumBins();
    size_t first = (size_t)ClampCol(col) * numBins;
    const uint16_t* magns = _columnOwner->_magns + first;
    const float* phases = _columnOwner->_phases + first;
    for (int i = 0; i < numBins; i++) {
        double m = Half::ToFloat(magns[i]);
        double phi = phases[i];
        bins[2 * i] = (float)(m * std::cos(phi));
        bins[2 * i + 1] = (float)(m * std::sin(phi));
    }
    // A real signal's spectrum: the upper half mirrors the lower one, conjugated.
    for (int i = 1; i < numBins; i++) {
        bins[2 * (_fftSize - i)] = bins[2 * i];
        bins[2 * (_fftSize - i) + 1] = -bins[2 * i + 1];
    }
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
    int numBins = GetNumBins();
    const uint16_t* m0 = _columnOwner->_magns + (size_t)col0 * numBins;
    const float* p0 = _columnOwner->_phases + (size_t)col0 * numBins;
    const uint16_t* m1 = m0 + numBins;
    const float* p1 = p0 + numBins;
    std::vector<float>& bins = *out;
    bins.resize(2 * _fftSize);
    for (int i = 0; i < numBins; i++) {
        double m = t * Half::ToFloat(m1[i]) + (1.0 - t) * Half::ToFloat(m0[i]);
        // Along the shorter way round from one column's phase to the next.
        double phi = p0[i] + t * PrincipalPhase((double)p1[i] - p0[i]);
        bins[2 * i] = (float)(m * std::cos(phi));
        bins[2 * i + 1] = (float)(m * std::sin(phi));
    }
    // The upper half is the lower half's floats in reverse order: bin
    // fftSize - 1 - k holds (im, re) of bin k. The resynthesis is tuned to
    // this spectrum, so it is kept rather than the conjugate mirror.
    for (int j = 0; j < _fftSize; j++)
        bins[2 * _fftSize - 1 - j] = bins[j];
}

namespace {
// Levels of the display values, found without a logarithm: the level rises
// with the magnitude, so it is the number of level steps at or below it.
// The top bits of a float (exponent and 8 bits of mantissa) give a bucket
// 0.03 dB wide, narrower than a level (0.2 dB), so the level at the
// bucket's start is right or one below.
class LevelTable {
public:
    LevelTable() : _steps(Spectrogram::NUM_LEVELS - 1), _bucketLevels(NUM_BUCKETS)
    {
        // Level q covers the normalised decibels that round to q: it starts
        // half a level below q.
        const double span = Spectrogram::IMAGE_MAX_DB - Spectrogram::IMAGE_MIN_DB;
        for (int q = 1; q < Spectrogram::NUM_LEVELS; q++) {
            double unit = (q - 0.5) / (Spectrogram::NUM_LEVELS - 1);
            _steps[q - 1] = (float)Scale::DbToAmp(Spectrogram::IMAGE_MIN_DB + unit * span);
        }
        for (uint32_t b = 0; b < NUM_BUCKETS; b++) {
            uint32_t bits = b << BUCKET_SHIFT;
            float start;
            std::memcpy(&start, &bits, sizeof(start));
            _bucketLevels[b] = (uint8_t)(std::upper_bound(_steps.begin(), _steps.end(), start) - _steps.begin());
        }
    }

    uint8_t LevelOf(float value) const
    {
        float magnitude = std::fabs(value);
        // NaN takes the lowest level.
        if (!(magnitude >= 0.0f))
            return 0;
        uint32_t bits;
        std::memcpy(&bits, &magnitude, sizeof(bits));
        uint8_t level = _bucketLevels[bits >> BUCKET_SHIFT];
        while (level < Spectrogram::NUM_LEVELS - 1 && magnitude >= _steps[level])
            level++;
        return level;
    }

private:
    static const int BUCKET_SHIFT = 15;
    static const uint32_t NUM_BUCKETS = 1u << (31 - BUCKET_SHIFT);
    std::vector<float> _steps;
    std::vector<uint8_t> _bucketLevels;
};

const LevelTable& Levels()
{
    static const LevelTable table;
    return table;
}
}  // namespace

uint8_t Spectrogram::LevelOf(float value)
{
    return Levels().LevelOf(value);
}

void Spectrogram::SetMagnColDisp(int col, const std::vector<float>& v)
{
    if (!HasCol(col) || _mappedImage != nullptr)
        return;
    PrepareImage();
    int n = std::min(GetNumBins(), (int)v.size());
    uint8_t* levels = _imageStore.data() + (size_t)col * GetNumBins();
    const LevelTable& table = Levels();
    for (int i = 0; i < n; i++)
        levels[i] = table.LevelOf(v[i]);
}

void Spectrogram::PrepareImage()
{
    if (_imageStore.empty() && _mappedImage == nullptr) {
        _imageStore.assign((size_t)_numCols * GetNumBins(), 0);
        _image = _imageStore.data();
    }
}

void Spectrogram::CopyCol(const Spectrogram& source, int srcCol, int col)
{
    const int numBins = GetNumBins();
    if (!HasCol(col) || !source.HasCol(srcCol) || source.GetNumBins() != numBins)
        return;
    const size_t from = (size_t)srcCol * numBins, to = (size_t)col * numBins;
    if (OwnsColumns() && IsWritable() && source._columnOwner->_magns != nullptr) {
        std::copy_n(source._columnOwner->_magns + from, numBins, _magnStore.begin() + to);
        std::copy_n(source._columnOwner->_phases + from, numBins, _phaseStore.begin() + to);
    }
    if (!_imageStore.empty() && source._image != nullptr)
        std::copy_n(source._image + from, numBins, _imageStore.begin() + to);
}

void Spectrogram::ClearCol(int col)
{
    if (!HasCol(col))
        return;
    const size_t first = (size_t)col * GetNumBins();
    if (OwnsColumns() && IsWritable()) {
        std::fill_n(_magnStore.begin() + first, GetNumBins(), 0);
        std::fill_n(_phaseStore.begin() + first, GetNumBins(), 0.0f);
    }
    if (!_imageStore.empty())
        std::fill_n(_imageStore.begin() + first, GetNumBins(), 0);
}

const uint8_t* Spectrogram::GetImageLevels() const
{
    return _image;
}

void Spectrogram::PreProcessPhases()
{
    Spectrogram& owner = *_columnOwner;
    if (owner._phasesPrepared || !IsWritable())
        return;
    owner._phasesPrepared = true;
    for (float& phase : owner._phaseStore)
        phase = (float)PrincipalPhase(phase);
}

void Spectrogram::MarkPhasesPrepared()
{
    _columnOwner->_phasesPrepared = true;
}

bool Spectrogram::ArePhasesPrepared() const
{
    return _columnOwner->_phasesPrepared;
}

double Spectrogram::PrincipalPhase(double phase)
{
    return std::remainder(phase, 2.0 * M_PI);
}

void Spectrogram::SetMagnCol(int col, const std::vector<float>& magns)
{
    if (!HasCol(col) || !IsWritable())
        return;
    int n = std::min(GetNumBins(), (int)magns.size());
    uint16_t* store = _columnOwner->_magnStore.data() + (size_t)col * GetNumBins();
    for (int i = 0; i < n; i++)
        store[i] = Half::FromFloat(magns[i]);
}

void Spectrogram::GetMagnCol(int col, std::vector<float>* magns) const
{
    magns->assign(GetNumBins(), 0.0f);
    if (_numCols == 0)
        return;
    const uint16_t* first = _columnOwner->_magns + (size_t)ClampCol(col) * GetNumBins();
    for (int i = 0; i < GetNumBins(); i++)
        (*magns)[i] = Half::ToFloat(first[i]);
}

void Spectrogram::SetPhaseCol(int col, const std::vector<float>& phases)
{
    if (!HasCol(col) || !IsWritable())
        return;
    int n = std::min(GetNumBins(), (int)phases.size());
    std::copy(phases.begin(), phases.begin() + n, _columnOwner->_phaseStore.begin() + (size_t)col * GetNumBins());
}

void Spectrogram::GetPhaseCol(int col, std::vector<float>* phases) const
{
    phases->assign(GetNumBins(), 0.0f);
    if (_numCols == 0)
        return;
    const float* first = _columnOwner->_phases + (size_t)ClampCol(col) * GetNumBins();
    std::copy(first, first + GetNumBins(), phases->begin());
}

const uint16_t* Spectrogram::GetHalfMagnData() const
{
    return _columnOwner->_magns;
}

const float* Spectrogram::GetPhaseData() const
{
    return _columnOwner->_phases;
}

Spectrogram* Spectrogram::FromMappedColumns(int fftSize, int numCols, MappedRegion* region, size_t magnOffset,
                                            size_t phaseOffset)
{
    Spectrogram* spectro = new Spectrogram(fftSize, numCols, false);
    size_t numValues = (size_t)spectro->_numCols * spectro->GetNumBins();
    if (!FitsIn(region, magnOffset, numValues * sizeof(uint16_t)) ||
        !FitsIn(region, phaseOffset, numValues * sizeof(float))) {
        delete region;
        delete spectro;
        return nullptr;
    }
    const char* base = static_cast<const char*>(region->GetData());
    spectro->_mappedColumns = region;
    spectro->_magns = reinterpret_cast<const uint16_t*>(base + magnOffset);
    spectro->_phases = reinterpret_cast<const float*>(base + phaseOffset);
    spectro->_phasesPrepared = true;
    return spectro;
}

bool Spectrogram::MapImage(MappedRegion* region, size_t offset)
{
    if (!FitsIn(region, offset, (size_t)_numCols * GetNumBins())) {
        delete region;
        return false;
    }
    delete _mappedImage;
    _mappedImage = region;
    _image = static_cast<const uint8_t*>(region->GetData()) + offset;
    std::vector<uint8_t>().swap(_imageStore);
    return true;
}

void Spectrogram::GiveBackImage(int firstCol, int endCol) const
{
    if (_mappedImage == nullptr || endCol <= firstCol)
        return;
    size_t offset = (size_t)(_image - static_cast<const uint8_t*>(_mappedImage->GetData()));
    // The last column gives back the region's last, partly filled page too.
    size_t end = endCol >= _numCols ? _mappedImage->GetLength() : offset + NumValuesBefore(endCol);
    size_t first = offset + NumValuesBefore(std::max(firstCol, 0));
    _mappedImage->GiveBack(first, end - first);
}

size_t Spectrogram::NumValuesBefore(int col) const
{
    return (size_t)col * GetNumBins();
}

void Spectrogram::ComputeMagns(const std::vector<float>& compBuf, std::vector<float>* magns)
{
    int numBins = (int)compBuf.size() / 4;
    magns->resize(numBins);
    for (int i = 0; i < numBins; i++)
        (*magns)[i] = Magnitude(compBuf[2 * i], compBuf[2 * i + 1]);
}
