#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "EffectsTestHelpers.h"
#include "effects/CircularBuffer.h"
#include "effects/Reverb.h"
#include "effects/ReverbEffect.h"

namespace {
// The network computed straight from its equations, in double:
// d_n(t) = dryIn x(t - tap_n) + sum_i H[n][i] decay d_i(t - tap_n),
// y(t) = dry x(t) + sum_n wetOut d_n(t).
std::vector<double> DirectNetwork(const std::vector<float>& x, const std::vector<int>& taps,
                                  const std::vector<std::vector<float>>& h, double dryIn, double wetOut, double dry,
                                  double decay)
{
    size_t order = taps.size();
    std::vector<std::vector<double>> d(order, std::vector<double>(x.size(), 0.0));
    std::vector<double> y(x.size());
    for (long t = 0; t < (long)x.size(); t++) {
        y[t] = dry * x[t];
        for (size_t n = 0; n < order; n++) {
            long past = t - taps[n];
            if (past >= 0) {
                d[n][t] = dryIn * x[past];
                for (size_t i = 0; i < order; i++)
                    d[n][t] += h[n][i] * decay * d[i][past];
            }
            y[t] += wetOut * d[n][t];
        }
    }
    return y;
}

// Entry (i, j) of the Sylvester-Hadamard matrix: -1 to the number of bits i and j share.
double HadamardSign(int i, int j)
{
    return __builtin_popcount(i & j) % 2 ? -1.0 : 1.0;
}

}  // namespace

TEST(CircularBufferTest, RelativeAddressingAndWrap)
{
    CircularBuffer<float> ring;
    ring.SetCapacity(5);
    EXPECT_EQ(0, ring.GetSize());
    const float a[] = {1, 2, 3};
    ring.Push(a, 3);
    EXPECT_EQ(3, ring.GetSize());
    EXPECT_EQ(1.0f, ring.Peek(0));
    EXPECT_EQ(3.0f, ring.Peek(2));
    ring.Pop(2);
    EXPECT_EQ(1, ring.GetSize());
    EXPECT_EQ(3.0f, ring.Peek(0));
    EXPECT_EQ(2.0f, ring.Peek(-1));
    const float b[] = {4, 5, 6, 7};
    ring.Push(b, 4);               // wraps past the end
    EXPECT_EQ(0, ring.GetSize());  // full reads as empty
    float out[5];
    ring.Peek(out, 5);
    EXPECT_EQ((std::vector<float>{3, 4, 5, 6, 7}), std::vector<float>(out, out + 5));
    ring.Poke(-1, 9.0f);
    EXPECT_EQ(9.0f, ring.Peek(4));
    EXPECT_EQ(9.0f, ring.Peek(-6));
    const float c[] = {10, 11, 12};
    ring.Pop(3);
    ring.Poke(c, 3);
    EXPECT_EQ(10.0f, ring.Peek(0));
    EXPECT_EQ(12.0f, ring.Peek(2));
    EXPECT_EQ(4.0f, ring.Peek(3));
    ring.SetCapacity(4);
    EXPECT_EQ(0.0f, ring.Peek(1));
}

TEST(CircularBufferTest, OversizedAndEmptyBlocksStayInside)
{
    CircularBuffer<float> ring;
    ring.SetCapacity(4);
    const float a[] = {1, 2, 3, 4, 5, 6, 7};
    ring.Push(a, 7);  // only the last four survive
    float out[4];
    ring.Pop(3);
    ring.Peek(out, 4);
    EXPECT_EQ((std::vector<float>{4, 5, 6, 7}), std::vector<float>(out, out + 4));
    CircularBuffer<float> empty;
    empty.Push(a, 3);
    empty.Pop(2);
    EXPECT_EQ(0.0f, empty.Peek(5));
    EXPECT_EQ(0, empty.GetSize());
}

TEST(ReverbTest, TapsGrowGeometricallyUpToTheDelayTime)
{
    Reverb reverb(8, 2048);
    reverb.SetDelayTapTime(7000);
    EXPECT_EQ((std::vector<int>{3, 9, 27, 83, 253, 765, 2314, 6999}), reverb.GetDelayTaps());
    reverb.SetOrder(6);
    reverb.SetDelayTapTime(7000);
    EXPECT_EQ((std::vector<int>{4, 19, 83, 365, 1600, 6999}), reverb.GetDelayTaps());
    reverb.SetDelayTapTime(1);
    EXPECT_EQ(std::vector<int>(6, 1), reverb.GetDelayTaps());
}

TEST(ReverbTest, OrderKnobRecomputesTheTaps)
{
    ReverbEffect effect;
    std::vector<float> block(2 * 16, 0.0f);
    effect.Process(&block, 16, 2);
    EXPECT_EQ((std::vector<int>{3, 9, 27, 83, 253, 765, 2314, 6999}), effect.GetReverb(1)->GetDelayTaps());
    SetParam(&effect, ReverbEffect::ORDER_PARAM, 6.0);
    effect.Process(&block, 16, 2);
    EXPECT_EQ((std::vector<int>{4, 19, 83, 365, 1600, 6999}), effect.GetReverb(0)->GetDelayTaps());
    EXPECT_EQ(effect.GetReverb(0)->GetDelayTaps(), effect.GetReverb(1)->GetDelayTaps());
    // Out-of-range values (a damaged session) are held to the knob's range.
    SetParam(&effect, ReverbEffect::ORDER_PARAM, 0.0);
    SetParam(&effect, ReverbEffect::DELAY_TIME_PARAM, -5.0);
    effect.Process(&block, 16, 2);
    EXPECT_EQ(std::vector<int>{1}, effect.GetReverb(0)->GetDelayTaps());
}

TEST(ReverbTest, SingleLineImpulseResponse)
{
    Reverb reverb(1, 2048);
    reverb.SetFeedDryIn(1.0);
    reverb.SetFeedWetOut(1.0);
    reverb.SetDecay(0.0);
    reverb.SetDrySignalMix(1.0);
    reverb.SetDelayTapTime(100);
    EXPECT_EQ(std::vector<int>{100}, reverb.GetDelayTaps());
    std::vector<float> out;
    for (int block = 0; block < 4; block++) {
        std::vector<float> x(1024, 0.0f);
        if (block == 0)
            x[10] = 1.0f;
        reverb.Process(&x);
        out.insert(out.end(), x.begin(), x.end());
    }
    for (size_t t = 0; t < out.size(); t++)
        EXPECT_EQ(t == 10 || t == 110 ? 1.0f : 0.0f, out[t]) << t;
}

TEST(ReverbTest, MatchesTheNetworkEquations)
{
    for (int order : {2, 3, 4}) {
        SCOPED_TRACE(order);
        Reverb reverb(order, 256);
        reverb.SetFeedDryIn(0.6);
        reverb.SetFeedWetOut(0.3);
        reverb.SetDrySignalMix(0.5);
        reverb.SetDelayTapTime(40);
        reverb.SetDecay(0.9);
        std::srand(31 + order);
        std::vector<float> x = RandomSamples(1000);
        std::vector<double> expected =
            DirectNetwork(x, reverb.GetDelayTaps(), reverb.GetFeedbackMatrix(), 0.6, 0.3, 0.5, 0.9);
        std::vector<float> y = x;
        reverb.Process(&y);  // 1000 samples: four pieces of at most 256
        for (size_t t = 0; t < x.size(); t++)
            ASSERT_NEAR(expected[t], y[t], 1e-4) << t;
    }
}

TEST(ReverbTest, FullOrdersHaveAnOrthonormalMatrix)
{
    for (int order : {1, 2, 4, 8}) {
        Reverb reverb(order, 64);
        const auto& h = reverb.GetFeedbackMatrix();
        for (int i = 0; i < order; i++) {
            for (int j = 0; j < order; j++) {
                EXPECT_NEAR(HadamardSign(i, j) / std::sqrt(order), h[i][j], 1e-7);
                double dot = 0.0;
                for (int k = 0; k < order; k++)
                    dot += h[i][k] * h[j][k];
                EXPECT_NEAR(i == j ? 1.0 : 0.0, dot, 1e-6);
            }
        }
    }
}

// Order 5 takes H4 / sqrt(5); the fifth row and column keep what the matrix
// held before: the H8 / sqrt(8) entries when coming from order 8, zeros when new.
TEST(ReverbTest, OrderFiveFromEightAndFromScratch)
{
    Reverb fromEight(8, 64);
    fromEight.SetOrder(5);
    Reverb fresh(5, 64);
    const auto& reached = fromEight.GetFeedbackMatrix();
    const auto& scratch = fresh.GetFeedbackMatrix();
    ASSERT_EQ(5u, reached.size());
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 4; j++) {
            EXPECT_NEAR(HadamardSign(i, j) / std::sqrt(5.0), reached[i][j], 1e-7);
            EXPECT_EQ(reached[i][j], scratch[i][j]);
        }
    }
    for (int k = 0; k < 5; k++) {
        EXPECT_NEAR(HadamardSign(4, k) / std::sqrt(8.0), reached[4][k], 1e-7) << k;
        EXPECT_EQ(0.0f, scratch[4][k]);
        EXPECT_EQ(0.0f, scratch[k][4]);
    }
    for (int i = 0; i < 4; i++)
        EXPECT_NEAR(1.0 / std::sqrt(8.0), reached[i][4], 1e-7);
}

TEST(ReverbTest, WithoutDryFeedOnlyTheDryMixIsHeard)
{
    ReverbEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, ReverbEffect::FEED_DRY_IN_PARAM, 0.0);
    std::srand(32);
    const std::vector<float> x = RandomSamples(2 * 3000);
    std::vector<float> y = x;
    ProcessInBlocks(&effect, &y, 2, 1024);
    for (size_t i = 0; i < x.size(); i++)
        ASSERT_EQ((float)(0.7 * x[i]), y[i]) << i;
}

// Longer blocks than the rings hold besides the delay are processed in
// pieces: the result equals the same signal in ordinary blocks.
TEST(ReverbTest, LongBlocksEqualShortBlocks)
{
    std::srand(33);
    const std::vector<float> x = RandomSamples(2 * 5000);
    for (int nChan : {2, 1}) {
        SCOPED_TRACE(nChan);
        ReverbEffect longBlocks;
        ReverbEffect shortBlocks;
        for (ReverbEffect* effect : {&longBlocks, &shortBlocks}) {
            SwitchOn(effect);
            SetParam(effect, ReverbEffect::DELAY_TIME_PARAM, 3000.0);
            SetParam(effect, ReverbEffect::FEED_DRY_IN_PARAM, 0.5);
        }
        int frames = (int)x.size() / nChan;
        std::vector<float> a = x, b = x;
        longBlocks.Process(&a, frames, nChan);
        ProcessInBlocks(&shortBlocks, &b, nChan, 1024);
        EXPECT_EQ(b, a);
        EXPECT_NE(x, a);
    }
}

TEST(ReverbTest, SwitchingOffFreezesTheTail)
{
    ReverbEffect interrupted;
    ReverbEffect continuous;
    for (ReverbEffect* effect : {&interrupted, &continuous})
        SwitchOn(effect);
    std::srand(34);
    std::vector<float> first = RandomSamples(2 * 1024);
    std::vector<float> a = first, b = first;
    interrupted.Process(&a, 1024, 2);
    continuous.Process(&b, 1024, 2);

    SwitchOn(&interrupted, false);
    const std::vector<float> offBlock = RandomSamples(2 * 1024);
    std::vector<float> passed = offBlock;
    interrupted.Process(&passed, 1024, 2);
    EXPECT_EQ(offBlock, passed);

    SwitchOn(&interrupted);
    std::vector<float> tailA(2 * 8000, 0.0f), tailB(2 * 8000, 0.0f);
    ProcessInBlocks(&interrupted, &tailA, 2, 1024);
    ProcessInBlocks(&continuous, &tailB, 2, 1024);
    EXPECT_EQ(tailB, tailA);
    EXPECT_NE(std::vector<float>(tailA.size(), 0.0f), tailA);
}

TEST(ReverbTest, ChangingTheOrderClearsTheTail)
{
    ReverbEffect effect;
    SwitchOn(&effect);
    std::srand(35);
    std::vector<float> x = RandomSamples(2 * 1024);
    effect.Process(&x, 1024, 2);
    SetParam(&effect, ReverbEffect::ORDER_PARAM, 6.0);
    std::vector<float> silence(2 * 1024, 0.0f);
    effect.Process(&silence, 1024, 2);
    EXPECT_EQ(std::vector<float>(2 * 1024, 0.0f), silence);
}

TEST(ReverbTest, OneChannelBlocksAreReverberated)
{
    ReverbEffect effect;
    SwitchOn(&effect);
    std::srand(36);
    const std::vector<float> x = RandomSamples(1024);
    std::vector<float> y = x;
    effect.Process(&y, 1024, 1);
    // The dry part alone would be 0.7 x.
    EXPECT_EQ((float)(0.7 * x[0]), y[0]);
    bool wet = false;
    for (size_t i = 0; i < x.size(); i++)
        wet = wet || y[i] != (float)(0.7 * x[i]);
    EXPECT_TRUE(wet);
}
