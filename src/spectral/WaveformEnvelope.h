#pragma once

#include <cstddef>
#include <vector>

// The outline of one channel of a sound, for drawing it at any zoom with one
// column per screen pixel: each column is the span from the lowest to the
// highest sample it covers. Blocks of 32, 64, 128 ... samples are summarised
// once, so that a column over a million samples costs a few dozen reads, and
// a peak one sample long still shows however far the view is zoomed out.
class WaveformEnvelope {
public:
    WaveformEnvelope();
    virtual ~WaveformEnvelope() {}

    // Channel chan of an interleaved sound of numChans channels, read where
    // it is: samples must outlive the envelope and stay unchanged.
    void SetChannel(const std::vector<float>& samples, int numChans, int chan);

    // Samples [first, end) of the channel changed: their summaries are made
    // again, a few blocks per level, and the rest is kept.
    void Refresh(long first, long end);
    // From now on the envelope shows count samples of the channel from first
    // on (clamped to the channel), as if they were the whole of it; a new
    // channel shows all of itself.
    void SetWindow(long first, long count);

    // The samples shown.
    long GetNumSamples() const { return static_cast<long>(_windowCount); }
    float GetSample(long index) const { return _samples[(static_cast<size_t>(index) + _windowFirst) * _stride]; }

    // Lowest and highest of samples [first, end), both clamped to the
    // sound; an empty range gives 0 and 0.
    void GetRange(long first, long end, float* low, float* high) const;
    // Column c covers samples [start + c * step, start + (c + 1) * step]:
    // its last sample is also the next column's first, so that neighbouring
    // columns always touch, as the line through the samples would.
    void GetColumns(double start, double step, int numColumns, float* lows, float* highs) const;

    // Memory the summaries hold, in bytes.
    size_t GetSummaryBytes() const;

private:
    void BuildSummaries();
    // Lowest and highest of channel samples [a, b), a < b.
    void GetChannelRange(size_t a, size_t b, float* low, float* high) const;
    // Block b of level 0 from the samples, of a level above from the one below.
    void SummariseBlock(size_t b);
    void SummarisePair(size_t level, size_t b);

    const float* _samples;
    size_t _numSamples;
    size_t _stride;
    size_t _windowFirst;
    size_t _windowCount;
    // Level k holds the lowest and highest sample of each block of
    // FIRST_BLOCK << k samples; a last, shorter block covers the rest.
    std::vector<std::vector<float>> _lows;
    std::vector<std::vector<float>> _highs;
};
