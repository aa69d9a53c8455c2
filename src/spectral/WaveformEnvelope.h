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

    long GetNumSamples() const { return static_cast<long>(_numSamples); }
    float GetSample(long index) const { return _samples[static_cast<size_t>(index) * _stride]; }

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

    const float* _samples;
    size_t _numSamples;
    size_t _stride;
    // Level k holds the lowest and highest sample of each block of
    // FIRST_BLOCK << k samples; a last, shorter block covers the rest.
    std::vector<std::vector<float>> _lows;
    std::vector<std::vector<float>> _highs;
};
