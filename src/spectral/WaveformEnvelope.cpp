#include "spectral/WaveformEnvelope.h"

#include <algorithm>
#include <cmath>

namespace {
// Samples per block of the finest summary: a column narrower than this reads
// the samples themselves, which costs no more than a block would.
const int FIRST_BLOCK_SHIFT = 5;
const size_t FIRST_BLOCK = size_t(1) << FIRST_BLOCK_SHIFT;
}  // namespace

WaveformEnvelope::WaveformEnvelope() : _samples(nullptr), _numSamples(0), _stride(1), _windowFirst(0), _windowCount(0)
{
}

void WaveformEnvelope::SetChannel(const std::vector<float>& samples, int numChans, int chan)
{
    const bool valid = numChans > 0 && chan >= 0 && chan < numChans;
    _samples = valid ? samples.data() + chan : nullptr;
    _numSamples = valid ? samples.size() / static_cast<size_t>(numChans) : 0;
    _stride = valid ? static_cast<size_t>(numChans) : 1;
    _windowFirst = 0;
    _windowCount = _numSamples;
    BuildSummaries();
}

void WaveformEnvelope::SetWindow(long first, long count)
{
    _windowFirst = static_cast<size_t>(std::clamp(first, 0L, static_cast<long>(_numSamples)));
    _windowCount = static_cast<size_t>(std::clamp(count, 0L, static_cast<long>(_numSamples - _windowFirst)));
}

void WaveformEnvelope::Refresh(long first, long end)
{
    const size_t a = static_cast<size_t>(std::clamp(first, 0L, static_cast<long>(_numSamples)));
    const size_t b = static_cast<size_t>(std::clamp(end, 0L, static_cast<long>(_numSamples)));
    if (a >= b || _lows.empty())
        return;
    size_t firstBlock = a / FIRST_BLOCK, lastBlock = (b - 1) / FIRST_BLOCK;
    for (size_t block = firstBlock; block <= lastBlock; block++)
        SummariseBlock(block);
    for (size_t level = 1; level < _lows.size(); level++) {
        firstBlock /= 2;
        lastBlock /= 2;
        for (size_t block = firstBlock; block <= lastBlock; block++)
            SummarisePair(level, block);
    }
}

void WaveformEnvelope::SummariseBlock(size_t b)
{
    const size_t first = b * FIRST_BLOCK;
    GetChannelRange(first, std::min(first + FIRST_BLOCK, _numSamples), &_lows[0][b], &_highs[0][b]);
}

void WaveformEnvelope::SummarisePair(size_t level, size_t b)
{
    const std::vector<float>& finerLows = _lows[level - 1];
    const std::vector<float>& finerHighs = _highs[level - 1];
    const size_t last = std::min(2 * b + 1, finerLows.size() - 1);
    _lows[level][b] = std::min(finerLows[2 * b], finerLows[last]);
    _highs[level][b] = std::max(finerHighs[2 * b], finerHighs[last]);
}

void WaveformEnvelope::GetChannelRange(size_t a, size_t b, float* low, float* high) const
{
    float lo = _samples[a * _stride], hi = lo;
    for (size_t i = a + 1; i < b; i++) {
        const float x = _samples[i * _stride];
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    *low = lo;
    *high = hi;
}

void WaveformEnvelope::BuildSummaries()
{
    _lows.clear();
    _highs.clear();
    if (_numSamples < 2 * FIRST_BLOCK)
        return;
    // Each level pairs the blocks of the one below, up to a single block.
    for (size_t n = (_numSamples + FIRST_BLOCK - 1) / FIRST_BLOCK;; n = (n + 1) / 2) {
        _lows.emplace_back(n);
        _highs.emplace_back(n);
        if (n == 1)
            break;
    }
    Refresh(0, static_cast<long>(_numSamples));
}

void WaveformEnvelope::GetRange(long first, long end, float* low, float* high) const
{
    // Summarised blocks are aligned to the channel, not to the window.
    const size_t a = static_cast<size_t>(std::clamp(first, 0L, GetNumSamples())) + _windowFirst;
    const size_t b = static_cast<size_t>(std::clamp(end, 0L, GetNumSamples())) + _windowFirst;
    if (a >= b) {
        *low = *high = 0.0f;
        return;
    }
    float lo = _samples[a * _stride], hi = lo;
    size_t i = a;
    while (i < b) {
        // The largest summarised block that starts here and ends within the range.
        int level = -1;
        for (int k = 0; k < static_cast<int>(_lows.size()); k++) {
            const size_t size = FIRST_BLOCK << k;
            if (i % size != 0 || i + size > b)
                break;
            level = k;
        }
        if (level < 0) {
            const float x = _samples[i * _stride];
            lo = std::min(lo, x);
            hi = std::max(hi, x);
            i++;
            continue;
        }
        const size_t block = i >> (FIRST_BLOCK_SHIFT + level);
        lo = std::min(lo, _lows[level][block]);
        hi = std::max(hi, _highs[level][block]);
        i += FIRST_BLOCK << level;
    }
    *low = lo;
    *high = hi;
}

void WaveformEnvelope::GetColumns(double start, double step, int numColumns, float* lows, float* highs) const
{
    for (int c = 0; c < numColumns; c++) {
        const long first = static_cast<long>(std::floor(start + c * step));
        const long last = static_cast<long>(std::floor(start + (c + 1) * step));
        GetRange(first, std::max(first, last) + 1, &lows[c], &highs[c]);
    }
}

size_t WaveformEnvelope::GetSummaryBytes() const
{
    size_t values = 0;
    for (const std::vector<float>& level : _lows)
        values += 2 * level.size();
    return values * sizeof(float);
}
