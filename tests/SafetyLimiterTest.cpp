#include "effects/SafetyLimiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {
const int SAMPLE_RATE = 44100;
const int LATENCY = SafetyLimiter::GetLatencyFrames();

// Runs a whole interleaved stereo signal through the limiter in blocks of
// changing sizes, as a device may ask for them.
std::vector<float> Limit(SafetyLimiter* limiter, std::vector<float> x)
{
    const int sizes[] = {512, 1, 1024, 63, 256, 7};
    int frames = (int)x.size() / 2;
    for (int done = 0, k = 0; done < frames; k++) {
        int n = std::min(sizes[k % 6], frames - done);
        limiter->Process(x.data() + 2 * (long)done, n);
        done += n;
    }
    return x;
}

float Peak(const std::vector<float>& x)
{
    float peak = 0.0f;
    for (float v : x)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

// A cloud's worth of signal: overlapping Hann-windowed sine grains at random
// times and pitches, each peaking at half scale like a loaded sound.
void AddCloud(std::vector<float>* x)
{
    int frames = (int)x->size() / 2;
    for (int g = 0; g < 40; g++) {
        int length = 2000 + std::rand() % 8000;
        int start = std::rand() % std::max(1, frames - length);
        double hz = 100.0 + std::rand() % 2000;
        double pan = (double)std::rand() / RAND_MAX;
        for (int i = 0; i < length; i++) {
            double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (length - 1));
            double s = 0.5 * w * std::sin(2.0 * M_PI * hz * i / SAMPLE_RATE);
            (*x)[2 * (start + i)] += (float)(s * (1.0 - pan));
            (*x)[2 * (start + i) + 1] += (float)(s * pan);
        }
    }
}

std::vector<float> Clouds(int count, int frames)
{
    std::srand(23 + count);
    std::vector<float> x(2 * frames, 0.0f);
    for (int c = 0; c < count; c++)
        AddCloud(&x);
    return x;
}

// The input frame that left at output frame f.
float Delayed(const std::vector<float>& x, int f, int channel)
{
    return f >= LATENCY ? x[2 * (f - LATENCY) + channel] : 0.0f;
}
}  // namespace

TEST(SafetyLimiterTest, SignalsBelowMinusOneDbfsPassBitForBitAfterTheLookAhead)
{
    std::srand(5);
    const int frames = 20000;
    std::vector<float> x(2 * frames);
    for (float& v : x)
        v = (float)SafetyLimiter::THRESHOLD * (2.0f * std::rand() / (float)RAND_MAX - 1.0f);
    x[2 * 777] = (float)SafetyLimiter::THRESHOLD;  // exactly at -1 dBFS
    x[2 * 778 + 1] = -(float)SafetyLimiter::THRESHOLD;
    SafetyLimiter limiter(SAMPLE_RATE);
    std::vector<float> y = Limit(&limiter, x);
    for (int f = 0; f < frames; f++) {
        ASSERT_EQ(y[2 * f], Delayed(x, f, 0)) << f;
        ASSERT_EQ(y[2 * f + 1], Delayed(x, f, 1)) << f;
    }
    EXPECT_EQ(limiter.GetLimitedFrames(), 0u);
}

TEST(SafetyLimiterTest, EightAndAHundredCloudsStayWithinFullScale)
{
    for (int count : {8, 100}) {
        std::vector<float> x = Clouds(count, 3 * SAMPLE_RATE);
        ASSERT_GT(Peak(x), 2.0f) << count;  // a mix far beyond full scale
        SafetyLimiter limiter(SAMPLE_RATE);
        std::vector<float> y = Limit(&limiter, x);
        for (float v : y)
            ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f) << count << " clouds: " << v;
        // Brought close under full scale, not squashed far below it.
        EXPECT_GT(Peak(y), 0.9f) << count;
        EXPECT_LE(Peak(y), (float)SafetyLimiter::CEILING) << count;
        EXPECT_GT(limiter.GetLimitedFrames(), 0u);
    }
}

TEST(SafetyLimiterTest, ALoudGrainIsTamedWithoutAStepAndTheGainReturnsToUnity)
{
    // A quiet tone with one grain four times too loud in the middle of it.
    const int frames = 3 * SAMPLE_RATE, grainStart = 20000, grainLength = 3000;
    std::vector<float> x(2 * frames);
    for (int f = 0; f < frames; f++) {
        double s = 0.3 * std::sin(2.0 * M_PI * 220.0 * f / SAMPLE_RATE);
        if (f >= grainStart && f < grainStart + grainLength) {
            double i = f - grainStart;
            s += 4.0 * std::sin(M_PI * i / grainLength) * std::sin(2.0 * M_PI * 997.0 * f / SAMPLE_RATE);
        }
        x[2 * f] = x[2 * f + 1] = (float)s;
    }
    SafetyLimiter limiter(SAMPLE_RATE);
    std::vector<float> y = Limit(&limiter, x);

    // The gain, read off the samples big enough to carry it, never jumps: a
    // hard clip would go from 1 to a fraction from one sample to the next.
    double lowest = 1.0, previous = 1.0, largestStep = 0.0;
    for (int f = LATENCY; f < frames; f++) {
        double in = Delayed(x, f, 0);
        if (std::fabs(in) < 0.05)
            continue;
        double gain = y[2 * f] / in;
        lowest = std::min(lowest, gain);
        largestStep = std::max(largestStep, std::fabs(gain - previous));
        previous = gain;
    }
    EXPECT_LT(lowest, 0.3);
    // Gaps between the samples read add up a few frames' worth of change.
    EXPECT_LT(largestStep, 8.0 * (1.0 - lowest) / SafetyLimiter::LOOKAHEAD_FRAMES);
    EXPECT_LE(Peak(y), 1.0f);
    // Half a second later the tone passes untouched again.
    for (int f = frames - SAMPLE_RATE / 2; f < frames; f++)
        ASSERT_EQ(y[2 * f], Delayed(x, f, 0)) << f;
}

TEST(SafetyLimiterTest, NonFiniteSamplesBecomeSilenceAndTheNextBlockIsClean)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    SafetyLimiter limiter(SAMPLE_RATE);
    std::vector<float> bad(2 * 256, 0.25f);
    bad[10] = nan;
    bad[11] = inf;
    bad[300] = -inf;
    bad[301] = 3e38f;
    limiter.Process(bad.data(), 256);
    for (float v : bad)
        ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f);
    std::vector<float> next(2 * 1024, 0.25f);
    limiter.Process(next.data(), 1024);
    for (float v : next)
        ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f);
    // Once the huge sample has left the look-ahead and the release is over,
    // the signal passes bit for bit again.
    for (int b = 0; b < 100; b++) {
        std::fill(next.begin(), next.end(), 0.25f);
        limiter.Process(next.data(), 1024);
    }
    for (float v : next)
        ASSERT_EQ(v, 0.25f);
}

TEST(SafetyLimiterTest, NoFrameLeavesLouderThanTheKneeAllowsIt)
{
    // The knee, from its definition: the identity up to -1 dBFS, then a
    // tanh curve that leaves it with slope 1 and approaches the ceiling.
    auto knee = [](double level) {
        const double t = SafetyLimiter::THRESHOLD, room = SafetyLimiter::CEILING - SafetyLimiter::THRESHOLD;
        return level <= t ? level : t + room * std::tanh((level - t) / room);
    };
    // Decaying bursts, first without a carrier (each frame then asks for more
    // gain than the one before, the hardest case for the look-ahead minimum),
    // random spikes and a tone.
    std::srand(31);
    const int frames = 60000;
    std::vector<float> x(2 * frames);
    for (int f = 0; f < frames; f++) {
        double burst = 6.0 * std::exp(-(f % 5000) / 300.0);
        double spike = std::rand() % 97 == 0 ? 3.0 * std::rand() / RAND_MAX : 0.0;
        x[2 * f] = (float)(f < frames / 2 ? burst + spike : (burst + 0.4) * std::sin(0.03 * f) + spike);
        x[2 * f + 1] = (float)(0.7 * std::cos(0.011 * f) - spike);
    }
    SafetyLimiter limiter(SAMPLE_RATE);
    std::vector<float> y = Limit(&limiter, x);
    for (int f = LATENCY; f < frames; f++) {
        double level = std::max(std::fabs(Delayed(x, f, 0)), std::fabs(Delayed(x, f, 1)));
        double allowed = knee(level) * (1.0 + 1e-6);
        ASSERT_LE(std::fabs(y[2 * f]), allowed) << f;
        ASSERT_LE(std::fabs(y[2 * f + 1]), allowed) << f;
    }
}
