#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "spectral/WaveformPyramid.h"

namespace {

std::vector<float> RandomSignal(size_t n, unsigned seed)
{
    srand(seed);
    std::vector<float> v(n);
    for (float& x : v)
        x = 2.0f * static_cast<float>(rand()) / static_cast<float>(RAND_MAX) - 1.0f;
    return v;
}

// Straight-line interpolation through the given (index, value) knots.
float PiecewiseLinear(const std::vector<std::pair<int, float>>& knots, int k)
{
    for (size_t j = 1; j < knots.size(); j++) {
        if (k <= knots[j].first) {
            const auto& a = knots[j - 1];
            const auto& b = knots[j];
            return a.second + (b.second - a.second) * static_cast<float>(k - a.first) / (b.first - a.first);
        }
    }
    return knots.back().second;
}

}  // namespace

TEST(WaveformPyramidTest, OneValueSoundHasOnlyLevelZeroAndDeliversPreparedZeros)
{
    WaveformPyramid pyramid(8);
    pyramid.SetValues({0.7f});
    EXPECT_EQ(pyramid.GetLevelSize(0), 1);
    EXPECT_EQ(pyramid.GetLevelSize(1), 0);

    std::vector<float> fresh;
    pyramid.GetValues(0.0f, 1.0f, 100, &fresh);
    EXPECT_TRUE(fresh.empty());

    std::vector<float> used(5, 0.3f);
    pyramid.GetValues(0.0f, 1.0f, 100, &used);
    EXPECT_EQ(used, std::vector<float>(5, 0.0f));
}

TEST(WaveformPyramidTest, LevelsHalveWithCeilingUpToMaxLevelAndShrinkOnRefill)
{
    WaveformPyramid pyramid(8);
    pyramid.SetValues(std::vector<float>(1000000, 0.1f));
    long expected = 1000000;
    for (int level = 0; level <= 8; level++) {
        EXPECT_EQ(pyramid.GetLevelSize(level), expected) << "level " << level;
        expected = (expected + 1) / 2;
    }
    EXPECT_EQ(pyramid.GetLevelSize(8), 3907);
    EXPECT_EQ(pyramid.GetLevelSize(9), 0);

    pyramid.SetValues({0.1f, 0.2f, 0.3f});
    EXPECT_EQ(pyramid.GetLevelSize(1), 2);
    EXPECT_EQ(pyramid.GetLevelSize(2), 1);
    EXPECT_EQ(pyramid.GetLevelSize(3), 0);
}

TEST(WaveformPyramidTest, ExactSizeRequestReturnsLevelZeroUnchanged)
{
    const std::vector<float> signal = RandomSignal(1000, 3);
    WaveformPyramid pyramid(8);
    pyramid.SetValues(signal);
    std::vector<float> out;
    pyramid.GetValues(0.0f, 1.0f, 1000, &out);
    EXPECT_EQ(out, signal);
}

TEST(WaveformPyramidTest, LongSoundIsDecimatedFromTheTopLevelAndKeepsSpikes)
{
    std::vector<float> signal(1000000, 0.0f);
    signal[123456] = 1.0f;
    signal[801234] = -0.8f;
    WaveformPyramid pyramid(8);
    pyramid.SetValues(signal);

    std::vector<float> out;
    pyramid.GetValues(0.0f, 1.0f, 1000, &out);
    ASSERT_EQ(out.size(), 1000u);

    const auto peak = std::max_element(out.begin(), out.end());
    EXPECT_FLOAT_EQ(*peak, 1.0f);
    EXPECT_NEAR(peak - out.begin(), 123, 2);
    const auto trough = std::min_element(out.begin(), out.end());
    EXPECT_FLOAT_EQ(*trough, -0.8f);
    EXPECT_NEAR(trough - out.begin(), 801, 2);
}

TEST(WaveformPyramidTest, RequestsBetweenHalfAndTwiceALevelAreNotResampled)
{
    WaveformPyramid pyramid(8);
    pyramid.SetValues(RandomSignal(1000000, 5));
    std::vector<float> out;
    // 100000 asked: the climb stops at the first level with no more than that
    // (62500 values), which is within the accepted band.
    pyramid.GetValues(0.0f, 1.0f, 100000, &out);
    EXPECT_EQ(out.size(), 62500u);
    // 3000 asked: the climb ends at the top level, whose 3907 values are returned as they are.
    pyramid.GetValues(0.0f, 1.0f, 3000, &out);
    EXPECT_EQ(out.size(), 3907u);

    // Ten values: 19 asked is less than twice as many, 20 is upsampled.
    pyramid.SetValues(RandomSignal(10, 6));
    pyramid.GetValues(0.0f, 1.0f, 19, &out);
    EXPECT_EQ(out.size(), 10u);
    pyramid.GetValues(0.0f, 1.0f, 20, &out);
    EXPECT_EQ(out.size(), 20u);
}

TEST(WaveformPyramidTest, RangesOutsideTheSoundGiveZeros)
{
    WaveformPyramid pyramid(8);
    pyramid.SetValues(RandomSignal(500, 7));
    std::vector<float> out(3, 0.5f);
    pyramid.GetValues(1.5f, 2.0f, 10, &out);
    EXPECT_EQ(out, std::vector<float>(10, 0.0f));
    pyramid.GetValues(-1.0f, -0.2f, 7, &out);
    EXPECT_EQ(out, std::vector<float>(7, 0.0f));
    pyramid.GetValues(-1.0f, 0.0f, 4, &out);
    EXPECT_EQ(out, std::vector<float>(4, 0.0f));

    WaveformPyramid empty(8);
    empty.GetValues(0.0f, 1.0f, 6, &out);
    EXPECT_EQ(out, std::vector<float>(6, 0.0f));
}

TEST(WaveformPyramidTest, PartlyOutsideRangeIsPaddedWithSilence)
{
    WaveformPyramid pyramid(8);
    pyramid.SetValues(std::vector<float>(100, 1.0f));
    std::vector<float> out;
    pyramid.GetValues(-0.5f, 1.0f, 150, &out);
    ASSERT_EQ(out.size(), 150u);
    for (int i = 0; i < 50; i++)
        EXPECT_EQ(out[i], 0.0f) << i;
    for (int i = 50; i < 150; i++)
        EXPECT_EQ(out[i], 1.0f) << i;
}

TEST(WaveformPyramidTest, ReversedRangeEmptiesTheOutput)
{
    WaveformPyramid pyramid(8);
    pyramid.SetValues(RandomSignal(100, 9));
    std::vector<float> out(4, 1.0f);
    pyramid.GetValues(0.8f, 0.2f, 10, &out);
    EXPECT_TRUE(out.empty());
}

TEST(WaveformPyramidTest, DecimationKeepsTheValueFarthestFromThePreviousOne)
{
    // Worked by hand: stretches of two values; each output is the value of its
    // stretch farthest from the value emitted before, the first is input[0].
    const std::vector<float> input = {0.0f, 0.5f, -1.0f, 0.2f, 0.3f, 0.9f, -0.1f, 0.0f};
    std::vector<float> result;
    WaveformPyramid::DecimateSamples(&result, input, 0.5);
    EXPECT_EQ(result, (std::vector<float>{0.0f, -1.0f, 0.9f, -0.1f}));

    // Odd length: the last, shorter stretch still yields a value.
    WaveformPyramid::DecimateSamples(&result, {0.2f, -0.4f, 0.6f}, 0.5);
    EXPECT_EQ(result, (std::vector<float>{0.2f, 0.6f}));
}

TEST(WaveformPyramidTest, DecimationEdgeFactorsAndEmptyInput)
{
    std::vector<float> result = {9.0f};
    WaveformPyramid::DecimateSamples(&result, {}, 0.5);
    EXPECT_EQ(result, std::vector<float>{9.0f});
    WaveformPyramid::DecimateSamples(&result, {1.0f, 2.0f, 3.0f}, 1.0);
    EXPECT_EQ(result, (std::vector<float>{1.0f, 2.0f, 3.0f}));

    // A factor n / size must give exactly n values however it rounds.
    const std::vector<float> input = RandomSignal(12345, 11);
    for (int n : {103, 111, 125, 999}) {
        WaveformPyramid::DecimateSamples(&result, input, static_cast<double>(n) / input.size());
        EXPECT_EQ(result.size(), static_cast<size_t>(n));
    }
}

TEST(WaveformPyramidTest, UpsamplingDrawsStraightLinesBetweenKnownValues)
{
    WaveformPyramid pyramid(8);
    pyramid.SetValues({0.0f, 1.0f, -1.0f, 0.5f, 0.0f});
    std::vector<float> out;
    pyramid.GetValues(0.0f, 1.0f, 100, &out);
    ASSERT_EQ(out.size(), 100u);
    // The inner values land at n * i / (size - 1), the ends at 0 and n - 1.
    const std::vector<std::pair<int, float>> knots = {{0, 0.0f}, {25, 1.0f}, {50, -1.0f}, {75, 0.5f}, {99, 0.0f}};
    for (int k = 0; k < 100; k++)
        EXPECT_NEAR(out[k], PiecewiseLinear(knots, k), 1e-6) << k;
}

TEST(WaveformPyramidTest, UpsampleEndsAreShiftedByTheFractionalOffsets)
{
    std::vector<float> result;
    WaveformPyramid::UpsampleResult(10, &result, {0.0f, 1.0f, 2.0f, 3.0f}, 0.25, 0.5);
    ASSERT_EQ(result.size(), 10u);
    EXPECT_FLOAT_EQ(result[0], 0.25f);
    EXPECT_FLOAT_EQ(result[9], 2.5f);

    std::vector<float> untouched = {4.0f};
    WaveformPyramid::UpsampleResult(10, &untouched, {0.0f, 1.0f}, 0.0, 0.0);
    EXPECT_EQ(untouched, std::vector<float>{4.0f});
}

TEST(WaveformPyramidTest, InterpolateFillsInnerRunsAndExtendsEdgesOnRequest)
{
    const float u = -1e16f;
    std::vector<float> values = {u, 1.0f, u, u, u, -1.0f, u};
    WaveformPyramid::Interpolate(&values, false, u);
    EXPECT_EQ(values, (std::vector<float>{u, 1.0f, 0.5f, 0.0f, -0.5f, -1.0f, u}));

    WaveformPyramid::Interpolate(&values, true, u);
    EXPECT_EQ(values, (std::vector<float>{1.0f, 1.0f, 0.5f, 0.0f, -0.5f, -1.0f, -1.0f}));
}

TEST(WaveformPyramidTest, QueueCopiesAreClampedToTheQueueEnd)
{
    const std::deque<float> queue = {1.0f, 2.0f, 3.0f, 4.0f};
    std::vector<float> values;
    WaveformPyramid::QueueToVector(queue, &values, 2, 10);
    EXPECT_EQ(values, (std::vector<float>{3.0f, 4.0f}));
    WaveformPyramid::QueueToVector(queue, &values, 7, 2);
    EXPECT_TRUE(values.empty());
    WaveformPyramid::PadZerosLeft(&values, 2);
    WaveformPyramid::PadZerosRight(&values, 1);
    EXPECT_EQ(values, std::vector<float>(3, 0.0f));
}

TEST(WaveformPyramidTest, AChannelReadInPlaceGivesThePyramidOfItsCopy)
{
    srand(31);
    const int frames = 100003;
    std::vector<float> stereo(2 * frames), right(frames);
    for (int i = 0; i < frames; i++) {
        stereo[2 * i] = 2.0f * std::rand() / float(RAND_MAX) - 1.0f;
        stereo[2 * i + 1] = right[i] = 0.5f * std::sin(0.001f * i);
    }
    WaveformPyramid inPlace(8), copied(8);
    inPlace.SetChannel(stereo, 2, 1);
    copied.SetValues(right);
    for (int level = 0; level <= 8; level++)
        EXPECT_EQ(inPlace.GetLevelSize(level), copied.GetLevelSize(level)) << level;
    std::vector<float> a, b;
    for (long n : {50L, 3000L, 90000L, 250000L}) {
        for (float start : {0.0f, 0.3f}) {
            inPlace.GetValues(start, 1.0f, n, &a);
            copied.GetValues(start, 1.0f, n, &b);
            ASSERT_EQ(a, b) << n << " from " << start;
        }
    }
    // A channel the sound does not have is an empty pyramid.
    inPlace.SetChannel(stereo, 2, 2);
    EXPECT_EQ(inPlace.GetLevelSize(0), 0);
    inPlace.GetValues(0.0f, 1.0f, 10, &a);
    EXPECT_EQ(a, std::vector<float>(10, 0.0f));
}
