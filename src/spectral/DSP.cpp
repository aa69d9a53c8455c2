#include "spectral/DSP.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {
const float NORMALIZED_PEAK = 0.5f;
const float SILENCE_PEAK = 1e-37f;
// Sums run in this many interleaved partial sums, added up in a fixed order:
// one running sum would make every addition wait for the one before, which
// for an hour of sound costs more than reading it. The order is always the
// same, so a sound always gets the same bits.
const size_t PARTIAL_SUMS = 4;

// The mean of |x|.
double MeanLevel(const float* x, size_t n)
{
    double partial[PARTIAL_SUMS] = {};
    size_t i = 0;
    for (; i + PARTIAL_SUMS <= n; i += PARTIAL_SUMS) {
        for (size_t k = 0; k < PARTIAL_SUMS; k++)
            partial[k] += std::fabs(x[i + k]);
    }
    for (; i < n; i++)
        partial[i % PARTIAL_SUMS] += std::fabs(x[i]);
    return ((partial[0] + partial[1]) + (partial[2] + partial[3])) / n;
}

// The mean of ||x| - mean|.
double MeanDeviation(const float* x, size_t n, double mean)
{
    double partial[PARTIAL_SUMS] = {};
    size_t i = 0;
    for (; i + PARTIAL_SUMS <= n; i += PARTIAL_SUMS) {
        for (size_t k = 0; k < PARTIAL_SUMS; k++)
            partial[k] += std::fabs(std::fabs(x[i + k]) - mean);
    }
    for (; i < n; i++)
        partial[i % PARTIAL_SUMS] += std::fabs(std::fabs(x[i]) - mean);
    return ((partial[0] + partial[1]) + (partial[2] + partial[3])) / n;
}

// Twice the sum of mean level and mean deviation: what lies beyond is an outlier.
float ClipThreshold(const float* x, size_t n)
{
    double mean = MeanLevel(x, n);
    return (float)(2.0 * (mean + MeanDeviation(x, n, mean)));
}
}  // namespace

void DSP::Normalize(std::vector<float>* buf)
{
    float peak = 0.0f;
    for (float x : *buf)
        peak = std::max(peak, std::fabs(x));
    // In double: the gain of a sound that peaks near the largest float is
    // below the smallest normal float.
    double gain = peak > SILENCE_PEAK ? NORMALIZED_PEAK / (double)peak : NORMALIZED_PEAK;
    for (float& x : *buf)
        x = (float)(x * gain);
}

void DSP::AutomaticClipping(std::vector<float>* buf)
{
    if (buf->empty())
        return;
    float threshold = ClipThreshold(buf->data(), buf->size());
    for (float& x : *buf)
        x = std::clamp(x, -threshold, threshold);
}

void DSP::ClipAndNormalize(std::vector<float>* buf)
{
    if (buf->empty())
        return;
    ApplyClipAndNormalize(MeasureClipAndNormalize(buf->data(), buf->size()), buf->data(), buf->size());
}

DSP::ClipLevels DSP::MeasureClipAndNormalize(const float* x, size_t n)
{
    float rawPeak = 0.0f;
    for (size_t i = 0; i < n; i++)
        rawPeak = std::max(rawPeak, std::fabs(x[i]));
    const float threshold = ClipThreshold(x, n);
    const float peak = std::min(rawPeak, threshold);
    return {threshold, peak > SILENCE_PEAK ? NORMALIZED_PEAK / (double)peak : NORMALIZED_PEAK};
}

void DSP::ApplyClipAndNormalize(const ClipLevels& levels, float* x, size_t n)
{
    for (size_t i = 0; i < n; i++)
        x[i] = (float)(std::clamp(x[i], -levels.threshold, levels.threshold) * levels.gain);
}

void DSP::FadeIn(std::vector<float>* buf, int nChans, int fadeFrames)
{
    Ramp(buf, nChans, fadeFrames, true);
}

void DSP::FadeOut(std::vector<float>* buf, int nChans, int fadeFrames)
{
    Ramp(buf, nChans, fadeFrames, false);
}

void DSP::Ramp(std::vector<float>* buf, int nChans, int fadeFrames, bool rising)
{
    long nFrames = (long)buf->size() / nChans;
    if (nFrames <= fadeFrames)
        return;
    long first = rising ? 0 : nFrames - fadeFrames;
    for (long i = 0; i < fadeFrames; i++) {
        float gain = (float)(rising ? i : fadeFrames - 1 - i) / (fadeFrames - 1);
        float* frame = buf->data() + (first + i) * nChans;
        for (int c = 0; c < nChans; c++)
            frame[c] *= gain;
    }
}

void DSP::Interleave(const std::vector<float>& left, const std::vector<float>& right, std::vector<float>* out)
{
    size_t n = std::min({left.size(), right.size(), out->size() / 2});
    for (size_t i = 0; i < n; i++) {
        (*out)[2 * i] = left[i];
        (*out)[2 * i + 1] = right[i];
    }
}

void DSP::DeInterleave(const std::vector<float>& in, std::vector<float>* left, std::vector<float>* right)
{
    size_t n = std::min({left->size(), right->size(), in.size() / 2});
    for (size_t i = 0; i < n; i++) {
        (*left)[i] = in[2 * i];
        (*right)[i] = in[2 * i + 1];
    }
}

void DSP::Reverse(std::vector<float>* buf, int nChans)
{
    long nFrames = (long)buf->size() / nChans;
    float* data = buf->data();
    for (long i = 0, j = nFrames - 1; i < j; i++, j--)
        std::swap_ranges(data + i * nChans, data + (i + 1) * nChans, data + j * nChans);
}

void DSP::Silent(std::vector<float>* buf)
{
    std::fill(buf->begin(), buf->end(), 0.0f);
}

void DSP::Balance(std::vector<float>* buf, int nChans, double balance)
{
    if (nChans < 2)
        return;
    Balance(buf, nChans, balance, balance, buf->size() / nChans);
}

void DSP::Balance(std::vector<float>* buf, int nChans, double fromBalance, double toBalance, size_t nFrames)
{
    if (nChans < 2)
        return;
    auto gains = [](double balance, float* left, float* right) {
        float angle = (float)(M_PI * (balance + 1.0) / 4.0);
        *left = (float)(std::cos(angle) * M_SQRT2);
        *right = (float)(std::sin(angle) * M_SQRT2);
    };
    float fromL, fromR, toL, toR;
    gains(fromBalance, &fromL, &fromR);
    gains(toBalance, &toL, &toR);
    nFrames = std::min(nFrames, buf->size() / nChans);
    float* data = buf->data();
    for (size_t i = 0; i < nFrames; i++) {
        // Linear between the two pairs of gains, the last frame on the target.
        const float t = nFrames <= 1 ? 1.0f : (float)(i + 1) / (float)nFrames;
        data[i * nChans] *= fromL + (toL - fromL) * t;
        data[i * nChans + 1] *= fromR + (toR - fromR) * t;
    }
}

void DSP::BitCrush(std::vector<float>* buf, double ratio)
{
    if (ratio <= 0.0)
        return;
    ratio = std::min(ratio, 1.0);
    double depth = (double)(int64_t)std::pow(2.0, 1.0 + (1.0 - ratio) * 15.0);
    double halfDepth = 0.5 * depth;
    // A runaway sample (a feedback loop gone wild) must not overflow the
    // integer conversion; the limit is far outside any audible level.
    double limit = 1024.0 * depth;
    for (float& x : *buf) {
        double scaled = (x + 1.0) * 0.5 * 0.5 * depth;
        if (!(scaled < limit))
            scaled = limit;
        if (!(scaled > -limit))
            scaled = -limit;
        float level = (float)(int64_t)scaled;
        x = (float)(level / halfDepth * 2.0 - 1.0);
    }
}

void DSP::Saturation(std::vector<float>* buf, double ratio)
{
    if (ratio <= 0.0)
        return;
    if (ratio >= 1.0) {
        for (float& x : *buf)
            x = x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f);
        return;
    }
    double threshold = 1.0 - ratio;
    double gain = 1.0 / threshold;
    for (float& x : *buf)
        x = (float)(gain * std::clamp((double)x, -threshold, threshold));
}

void DSP::Clip(std::vector<float>* buf)
{
    for (float& x : *buf)
        x = std::clamp(x, -1.0f, 1.0f);
}

size_t DSP::SilenceNonFinite(float* samples, size_t n)
{
    // A float is NaN or infinite exactly when its exponent bits are all set.
    // The test on the bits vectorises, unlike std::isfinite.
    const uint32_t exponent = 0x7f800000u;
    uint32_t any = 0;
    for (size_t i = 0; i < n; i++) {
        uint32_t bits;
        std::memcpy(&bits, samples + i, sizeof(bits));
        any |= (uint32_t)((bits & exponent) == exponent);
    }
    if (any == 0)
        return 0;
    size_t count = 0;
    for (size_t i = 0; i < n; i++) {
        if (!std::isfinite(samples[i])) {
            samples[i] = 0.0f;
            count++;
        }
    }
    return count;
}
