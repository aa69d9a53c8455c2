#include "spectral/WaveformPyramid.h"

#include <algorithm>
#include <cmath>

namespace {
// Marks the points of an upsampled result that no known value has reached yet.
const float UNDEFINED_VALUE = -1e16f;

// A factor such as n / size, multiplied back by size, can land one rounding
// step above n; without this tolerance ceil would then give n + 1 values.
const double SIZE_TOLERANCE = 1e-6;

double Frac(double x)
{
    return x - std::floor(x);
}
}  // namespace

WaveformPyramid::WaveformPyramid(int maxLevel)
    : _level0(nullptr), _level0Size(0), _level0Stride(1), _levels(std::max(maxLevel, 0) + 1), _maxPyramidLevel(maxLevel)
{
}

long WaveformPyramid::GetLevelSize(int level) const
{
    if (level < 0 || level > _maxPyramidLevel)
        return 0;
    return static_cast<long>(level == 0 ? _level0Size : _levels[level].size());
}

void WaveformPyramid::SetValues(const std::vector<float>& samples)
{
    _ownLevel0 = samples;
    _level0 = _ownLevel0.data();
    _level0Size = _ownLevel0.size();
    _level0Stride = 1;
    BuildLevels();
}

void WaveformPyramid::SetChannel(const std::vector<float>& samples, int numChans, int chan)
{
    std::vector<float>().swap(_ownLevel0);
    bool valid = numChans > 0 && chan >= 0 && chan < numChans;
    _level0 = valid ? samples.data() + chan : nullptr;
    _level0Size = valid ? samples.size() / numChans : 0;
    _level0Stride = valid ? numChans : 1;
    BuildLevels();
}

void WaveformPyramid::BuildLevels()
{
    for (std::vector<float>& level : _levels)
        level.clear();
    if (_maxPyramidLevel >= 1 && _level0Size > 1)
        DecimateSamples(&_levels[1], _level0, _level0Size, _level0Stride, 0.5);
    for (int l = 2; l <= _maxPyramidLevel && _levels[l - 1].size() > 1; l++)
        DecimateSamples(&_levels[l], _levels[l - 1], 0.5);
}

void WaveformPyramid::GetValues(float startFrac, float endFrac, long numValues, std::vector<float>* out)
{
    std::vector<float>& result = _tmpBuf0;
    result.assign(out->size(), 0.0f);

    const double n0 = static_cast<double>(_level0Size);
    double start = startFrac * n0;
    double end = endFrac * n0;
    if ((start <= 0.0 && end <= 0.0) || (start >= n0 && end >= n0)) {
        out->assign(std::max(numValues, 0L), 0.0f);
        return;
    }

    double zerosBegin = 0.0;
    double zerosEnd = 0.0;
    if (start < 0.0) {
        zerosBegin = -start;
        start = 0.0;
    }
    if (end > n0) {
        zerosEnd = end - n0;
        end = n0;
    }
    if (end < start) {
        out->clear();
        return;
    }

    // The coarsest level that still holds more values than asked for keeps
    // the work proportional to numValues rather than to the sound's length.
    int level = 0;
    while (level < _maxPyramidLevel && GetLevelSize(level + 1) > 0 && numValues < static_cast<long>(end - start)) {
        start *= 0.5;
        end *= 0.5;
        zerosBegin *= 0.5;
        zerosEnd *= 0.5;
        level++;
    }

    std::vector<float>& v = _tmpBuf1;
    ReadLevel(level, static_cast<long>(start), static_cast<long>(std::ceil(end - start)) + 1, zerosBegin, zerosEnd, &v);
    const double size = static_cast<double>(v.size());
    if (size > 2.0 * numValues) {
        DecimateSamples(&result, v, numValues / size);
    } else if (size > 0.5 * numValues) {
        result.assign(v.begin(), v.end());
    } else {
        const double s0 = std::floor(start);
        const double e0 = std::ceil(end);
        std::vector<float>& w = _tmpBuf2;
        ReadLevel(level, static_cast<long>(s0), static_cast<long>(e0 - s0), zerosBegin, zerosEnd, &w);
        const double leftT = (start - s0) - Frac(zerosBegin);
        const double rightT = (e0 - end) - Frac(zerosEnd);
        UpsampleResult(numValues, &result, w, leftT, rightT);
    }
    out->assign(result.begin(), result.end());
}

void WaveformPyramid::ReadLevel(int level, long offset, long count, double zerosBegin, double zerosEnd,
                                std::vector<float>* values) const
{
    const long size = GetLevelSize(level);
    const long first = std::clamp(offset, 0L, size);
    const long last = std::clamp(offset + std::max(count, 0L), first, size);
    if (level == 0) {
        values->resize(last - first);
        for (long i = first; i < last; i++)
            (*values)[i - first] = _level0[i * _level0Stride];
    } else {
        values->assign(_levels[level].begin() + first, _levels[level].begin() + last);
    }
    if (zerosBegin > 0.0)
        PadZerosLeft(values, static_cast<long>(zerosBegin));
    if (zerosEnd > 0.0)
        PadZerosRight(values, static_cast<long>(zerosEnd));
}

void WaveformPyramid::DecimateSamples(std::vector<float>* result, const std::vector<float>& input, double factor)
{
    DecimateSamples(result, input.data(), input.size(), 1, factor);
}

void WaveformPyramid::DecimateSamples(std::vector<float>* result, const float* input, size_t size, size_t stride,
                                      double factor)
{
    if (size == 0)
        return;
    if (factor >= 1.0) {
        result->resize(size);
        for (size_t i = 0; i < size; i++)
            (*result)[i] = input[i * stride];
        return;
    }
    const size_t newSize = static_cast<size_t>(std::ceil(size * factor - SIZE_TOLERANCE));
    result->resize(newSize, 0.0f);

    const float step = static_cast<float>(newSize) / static_cast<float>(size);
    float kept = input[0];
    float maxSample = input[0];
    float acc = 0.0f;
    size_t r = 0;
    for (size_t i = 0; i < size && r < newSize; i++) {
        const float value = input[i * stride];
        if (std::fabs(value - kept) > std::fabs(maxSample - kept))
            maxSample = value;
        acc += step;
        if (acc >= 1.0f || i == size - 1) {
            // The first value stays where the sound starts, so the drawn line
            // begins at the sound's real first sample.
            (*result)[r] = (r == 0) ? input[0] : maxSample;
            kept = maxSample;
            acc -= 1.0f;
            r++;
        }
    }
    // The single-precision stretch counter can fall one stretch short on long
    // inputs; the last emitted value then holds to the end.
    std::fill(result->begin() + r, result->end(), kept);
}

void WaveformPyramid::UpsampleResult(long n, std::vector<float>* result, const std::vector<float>& v, double leftT,
                                     double rightT)
{
    if (v.size() < 3 || n <= 0)
        return;
    result->assign(n, UNDEFINED_VALUE);
    const size_t last = v.size() - 1;
    (*result)[0] = static_cast<float>(leftT * v[1] + (1.0 - leftT) * v[0]);
    (*result)[n - 1] = static_cast<float>((1.0 - rightT) * v[last] + rightT * v[last - 1]);

    const double span = static_cast<double>(last) - (leftT + rightT);
    for (size_t i = 1; i < last; i++) {
        const double t = (static_cast<double>(i) - leftT) / span;
        const long target = static_cast<long>(n * t);
        if (target > 0 && target < n - 1)
            (*result)[target] = v[i];
    }
    Interpolate(result, false, UNDEFINED_VALUE);
}

void WaveformPyramid::Interpolate(std::vector<float>* values, bool extendEdges, float undefinedValue)
{
    std::vector<float>& buf = *values;
    const long size = static_cast<long>(buf.size());
    long prev = -1;  // index of the last defined value seen
    for (long i = 0; i < size; i++) {
        if (buf[i] <= undefinedValue)
            continue;
        if (prev >= 0 && i - prev > 1) {
            const float a = buf[prev];
            const float b = buf[i];
            for (long j = prev + 1; j < i; j++)
                buf[j] = a + (b - a) * static_cast<float>(j - prev) / static_cast<float>(i - prev);
        } else if (prev < 0 && extendEdges) {
            std::fill(buf.begin(), buf.begin() + i, buf[i]);
        }
        prev = i;
    }
    if (prev >= 0 && extendEdges)
        std::fill(buf.begin() + prev + 1, buf.end(), buf[prev]);
}

void WaveformPyramid::VectorToQueue(const std::vector<float>& values, std::deque<float>* queue)
{
    queue->assign(values.begin(), values.end());
}

void WaveformPyramid::QueueToVector(const std::deque<float>& queue, std::vector<float>* values)
{
    values->assign(queue.begin(), queue.end());
}

void WaveformPyramid::QueueToVector(const std::deque<float>& queue, std::vector<float>* values, long offset,
                                    long numToCopy)
{
    const long size = static_cast<long>(queue.size());
    const long first = std::clamp(offset, 0L, size);
    const long last = std::clamp(offset + std::max(numToCopy, 0L), first, size);
    values->assign(queue.begin() + first, queue.begin() + last);
}

void WaveformPyramid::PadZerosLeft(std::vector<float>* values, long count)
{
    if (count > 0)
        values->insert(values->begin(), count, 0.0f);
}

void WaveformPyramid::PadZerosRight(std::vector<float>* values, long count)
{
    if (count > 0)
        values->insert(values->end(), count, 0.0f);
}
