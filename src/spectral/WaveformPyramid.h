#pragma once

#include <cstddef>
#include <deque>
#include <vector>

// One channel of a sound kept at several resolutions, each about half the
// length of the one below, so that a waveform can be drawn at any zoom with a
// number of points that follows the on-screen size rather than the sound's
// length. Coarser levels keep the peaks of the finer ones, so a short
// transient stays visible however far the view is zoomed out.
class WaveformPyramid {
public:
    explicit WaveformPyramid(int maxLevel);
    virtual ~WaveformPyramid() {}

    // Replaces the whole content and rebuilds every coarser level.
    void SetValues(const std::vector<float>& samples);
    // The same for channel chan of an interleaved sound of numChans
    // channels, read where it is rather than copied: samples must outlive
    // the pyramid and stay unchanged.
    void SetChannel(const std::vector<float>& samples, int numChans, int chan);

    // Fills out with numValues values covering the fraction range [start, end]
    // of the sound (0 is its first value, 1 its end); parts of the range
    // outside the sound read as silence.
    void GetValues(float start, float end, long numValues, std::vector<float>* out);

    // Number of values held at a level (0 for a level that is not filled).
    long GetLevelSize(int level) const;

    // Peak-preserving decimation to ceil(input.size * factor) values: each
    // output value is the input value of its stretch that lies farthest from
    // the value emitted before it. Empty input leaves result as it is; a
    // factor of 1 or more copies the input.
    static void DecimateSamples(std::vector<float>* result, const std::vector<float>& input, double factor);
    // The same over size values taken every stride floats from input.
    static void DecimateSamples(std::vector<float>* result, const float* input, size_t size, size_t stride,
                                double factor);

    // Spreads the values of v over n points: v's first and last values sit at
    // the two ends (shifted inwards by the fractions leftT and rightT of a
    // value), the values between at their proportional places, and straight
    // lines join them. With fewer than 3 values result is left as it is.
    static void UpsampleResult(long n, std::vector<float>* result, const std::vector<float>& v, double leftT,
                               double rightT);

    // Replaces every run of values at or below undefinedValue by the straight
    // line between the defined values on either side. A run at either end has
    // only one neighbour: with extendEdges it takes that neighbour's value,
    // otherwise it is left undefined.
    static void Interpolate(std::vector<float>* values, bool extendEdges, float undefinedValue);

    static void VectorToQueue(const std::vector<float>& values, std::deque<float>* queue);
    static void QueueToVector(const std::deque<float>& queue, std::vector<float>* values);
    // numToCopy values from offset on, fewer when the queue ends first.
    static void QueueToVector(const std::deque<float>& queue, std::vector<float>* values, long offset, long numToCopy);
    static void PadZerosLeft(std::vector<float>* values, long count);
    static void PadZerosRight(std::vector<float>* values, long count);

private:
    // Decimates level 0 into level 1 and on up.
    void BuildLevels();
    // Reads level values [offset, offset + count) into values and surrounds
    // them with the zeros that stand for the range outside the sound.
    void ReadLevel(int level, long offset, long count, double zerosBegin, double zerosEnd,
                   std::vector<float>* values) const;

    // Level 0 is read where it lies: in _ownLevel0 or in the caller's
    // interleaved sound, every _level0Stride floats. Entry 0 of _levels stays empty.
    std::vector<float> _ownLevel0;
    const float* _level0;
    size_t _level0Size;
    size_t _level0Stride;
    std::vector<std::vector<float>> _levels;
    int _maxPyramidLevel;

    // Scratch space reused between calls, so that drawing allocates nothing
    // once the buffers have grown to the sizes asked for.
    std::vector<float> _tmpBuf0;
    std::vector<float> _tmpBuf1;
    std::vector<float> _tmpBuf2;
};
