#include "spectral/WaveformEnvelope.h"

#include <algorithm>
#include <cmath>

namespace {
// Samples per block of the finest summary: a column narrower than this reads
// the samples themselves, which costs no more than a block would.
const int FIRST_BLOCK_SHIFT = 5;
const size_t FIRST_BLOCK = size_t(1) << FIRST_BLOCK_SHIFT;
}  // namespace

WaveformEnvelope::WaveformEnvelope() : _samples(nullptr), _numSamples(0), _stride(1)
{
}

void WaveformEnvelope::SetChannel(const std::vector<float>& samples, int numChans, int chan)
{
    const bool valid = numChans > 0 && chan >= 0 && chan < numChans;
    _samples = valid ? samples.data() + chan : nullptr;
    _numSamples = valid ? samples.size() / static_cast<size_t>(numChans) : 0;
    _stride = valid ? static_cast<size_t>(numChans) : 1;
    BuildSummaries();
}

void WaveformEnvelope::BuildSummaries()
{
    _lows.clear();
    _highs.clear();
    if (_numSamples < 2 * FIRST_BLOCK)
        return;
    const size_t numBlocks = (_numSamples + FIRST_BLOCK - 1) / FIRST_BLOCK;
    std::vector<float> lows(numBlocks), highs(numBlocks);
    const float* samples = _samples;
    const size_t stride = _stride;
    for (size_t b = 0; b < numBlocks; b++) {
        const size_t first = b * FIRST_BLOCK;
        const size_t end = std::min(first + FIRST_BLOCK, _numSamples);
        float low = samples[first * stride], high = low;
        for (size_t i = first + 1; i < end; i++) {
            const float x = samples[i * stride];
            low = std::min(low, x);
            high = std::max(high, x);
        }
        lows[b] = low;
        highs[b] = high;
    }
    _lows.push_back(std::move(lows));
    _highs.push_back(std::move(highs));
    // Each level pairs the blocks of the one below, up to a single block.
    while (_lows.back().size() > 1) {
        const std::vector<float>& finerLows = _lows.back();
        const std::vector<float>& finerHighs = _highs.back();
        const size_t n = (finerLows.size() + 1) / 2;
        std::vector<float> coarseLows(n), coarseHighs(n);
        for (size_t b = 0; b < n; b++) {
            const size_t last = std::min(2 * b + 1, finerLows.size() - 1);
            coarseLows[b] = std::min(finerLows[2 * b], finerLows[last]);
            coarseHighs[b] = std::max(finerHighs[2 * b], finerHighs[last]);
        }
        _lows.push_back(std::move(coarseLows));
        _highs.push_back(std::move(coarseHighs));
    }
}

void WaveformEnvelope::GetRange(long first, long end, float* low, float* high) const
{
    const size_t a = static_cast<size_t>(std::clamp(first, 0L, GetNumSamples()));
    const size_t b = static_cast<size_t>(std::clamp(end, 0L, GetNumSamples()));
    if (a >= b) {
        *low = *high = 0.0f;
        return;
    }
    float lo = GetSample(static_cast<long>(a)), hi = lo;
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
