#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "spectral/Convolver.h"
#include "spectral/Scale.h"
#include "spectral/Stereoizer.h"

namespace {
std::vector<float> RandomSignal(size_t n)
{
    std::vector<float> x(n);
    for (float& v : x)
        v = 2.0f * std::rand() / float(RAND_MAX) - 1.0f;
    return x;
}

std::vector<double> DirectConvolution(const std::vector<float>& x, const std::vector<float>& h)
{
    std::vector<double> y(x.size(), 0.0);
    for (size_t i = 0; i < x.size(); i++)
        for (size_t j = 0; j < h.size() && j <= i; j++)
            y[i] += (double)x[i - j] * h[j];
    return y;
}

double Peak(const std::vector<double>& x)
{
    double peak = 0.0;
    for (double v : x)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

// Feeds signal to conv in blocks of blockSize (the last one shorter) and joins the outputs.
std::vector<float> ConvolveInBlocks(Convolver* conv, const std::vector<float>& signal, size_t blockSize)
{
    std::vector<float> joined, block, out;
    for (size_t pos = 0; pos < signal.size(); pos += blockSize) {
        size_t count = std::min(blockSize, signal.size() - pos);
        block.assign(signal.begin() + pos, signal.begin() + pos + count);
        conv->Process(block, &out);
        EXPECT_EQ(out.size(), count);
        joined.insert(joined.end(), out.begin(), out.end());
    }
    return joined;
}

void ExpectCloseRelativeToPeak(const std::vector<float>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    double tolerance = 1e-4 * Peak(expected);
    for (size_t i = 0; i < expected.size(); i++)
        ASSERT_NEAR(actual[i], expected[i], tolerance) << i;
}

// Undoes the make-up gain, so that left + right can be compared to the IR sum.
std::vector<double> ChannelSumBeforeGain(const std::vector<float>& left, const std::vector<float>& right)
{
    double gain = Scale::DbToAmp(6.0);
    std::vector<double> sum(left.size());
    for (size_t i = 0; i < left.size(); i++)
        sum[i] = ((double)left[i] + right[i]) / gain;
    return sum;
}

void ExpectSumIsScaledMono(const std::vector<float>& mono, const std::vector<float>& left,
                           const std::vector<float>& right)
{
    ASSERT_EQ(left.size(), mono.size());
    ASSERT_EQ(right.size(), mono.size());
    std::vector<double> sum = ChannelSumBeforeGain(left, right);
    for (size_t i = 0; i < mono.size(); i++)
        ASSERT_NEAR(sum[i], Stereoizer::IR_SIZE * mono[i], 0.05) << i;
}
}  // namespace

TEST(ConvolverTest, MatchesDirectConvolutionAcrossBlocks)
{
    std::srand(11);
    std::vector<float> ir = RandomSignal(300);
    std::vector<float> signal = RandomSignal(1000);
    std::vector<double> expected = DirectConvolution(signal, ir);

    // Uneven block sizes, some shorter than the impulse response, so the tail
    // has to be carried over more than one block.
    Convolver conv(ir);
    std::vector<float> block, out;
    size_t pos = 0;
    for (size_t size : {100, 250, 37, 400, 213}) {
        block.assign(signal.begin() + pos, signal.begin() + pos + size);
        conv.Process(block, &out);
        ASSERT_EQ(out.size(), size);
        for (size_t i = 0; i < size; i++)
            ASSERT_NEAR(out[i], expected[pos + i], 1e-4) << pos + i;
        pos += size;
    }
    ASSERT_EQ(pos, signal.size());
}

// The plans it owns would be freed twice by a copy.
static_assert(!std::is_copy_constructible<Convolver>::value, "Convolver must not be copied");
static_assert(!std::is_copy_assignable<Convolver>::value, "Convolver must not be copied");

TEST(ConvolverTest, LongResponseMatchesDirectConvolutionForAnyBlockLength)
{
    std::srand(29);
    std::vector<float> ir = RandomSignal(Stereoizer::IR_SIZE);
    // The sound, then silence long enough to let the whole tail ring out.
    std::vector<float> signal = RandomSignal(6000);
    signal.resize(signal.size() + ir.size() - 1, 0.0f);
    std::vector<double> expected = DirectConvolution(signal, ir);

    // Blocks shorter than, equal to and longer than the response, around the
    // segment length of the transform.
    for (size_t blockSize : {1, 100, 2047, 2048, 2049, 5000}) {
        SCOPED_TRACE(blockSize);
        Convolver conv(ir);
        ExpectCloseRelativeToPeak(ConvolveInBlocks(&conv, signal, blockSize), expected);
    }
}

TEST(ConvolverTest, NewResponseLetsTheOldOneRingOut)
{
    std::srand(31);
    std::vector<float> firstIr = RandomSignal(300);
    std::vector<float> secondIr = RandomSignal(1000);
    std::vector<float> first = RandomSignal(700);
    std::vector<float> second = RandomSignal(1500);

    // The first part through the first response, the second part (silence
    // before it) through the second, added.
    std::vector<float> firstPadded = first;
    firstPadded.resize(first.size() + second.size(), 0.0f);
    std::vector<float> secondDelayed(first.size(), 0.0f);
    secondDelayed.insert(secondDelayed.end(), second.begin(), second.end());
    std::vector<double> expected = DirectConvolution(firstPadded, firstIr);
    std::vector<double> secondResponse = DirectConvolution(secondDelayed, secondIr);
    for (size_t i = 0; i < expected.size(); i++)
        expected[i] += secondResponse[i];

    Convolver conv(firstIr);
    std::vector<float> actual = ConvolveInBlocks(&conv, first, 256);
    conv.SetIR(secondIr);
    std::vector<float> rest = ConvolveInBlocks(&conv, second, 512);
    actual.insert(actual.end(), rest.begin(), rest.end());
    ExpectCloseRelativeToPeak(actual, expected);
}

TEST(ConvolverTest, ResetDropsTheTail)
{
    std::vector<float> ir = {1.0f, 0.5f, 0.25f};
    Convolver conv(ir);
    std::vector<float> out;
    conv.Process({1.0f}, &out);
    EXPECT_EQ(out, std::vector<float>{1.0f});
    conv.Process({0.0f, 0.0f}, &out);
    EXPECT_EQ(out, (std::vector<float>{0.5f, 0.25f}));

    conv.Process({1.0f}, &out);
    conv.Reset();
    conv.Process({0.0f, 0.0f}, &out);
    EXPECT_EQ(out, (std::vector<float>{0.0f, 0.0f}));
}

TEST(StereoizerTest, InverseFftMatchesDirectDft)
{
    std::srand(3);
    const int n = 64;
    std::vector<float> spectrum = RandomSignal(n);
    std::vector<float> out;
    Stereoizer::ComputeIFFT(spectrum, &out);
    ASSERT_EQ((int)out.size(), n);
    for (int t = 0; t < n; t++) {
        double re = 0.0;
        for (int k = 0; k < n; k++)
            re += spectrum[k] * std::cos(2.0 * M_PI * k * t / n);
        EXPECT_NEAR(out[t], re, 1e-4) << t;
    }
}

TEST(StereoizerTest, ComplementaryResponsesAddUpToAnImpulse)
{
    Stereoizer stereoizer(1.0, 5);
    std::vector<float> irL, irR;
    stereoizer.GenerateIRs(&irL, &irR);
    ASSERT_EQ((int)irL.size(), Stereoizer::IR_SIZE);
    EXPECT_NEAR(irL[0] + irR[0], Stereoizer::IR_SIZE, 1e-2);
    for (int i = 1; i < Stereoizer::IR_SIZE; i++)
        ASSERT_NEAR(irL[i] + irR[i], 0.0, 1e-2) << i;
    // The two channels really differ: each keeps about half of the bins.
    EXPECT_GT(irL[0], 0.3 * Stereoizer::IR_SIZE);
    EXPECT_GT(irR[0], 0.3 * Stereoizer::IR_SIZE);
    double diff = 0.0;
    for (int i = 1; i < Stereoizer::IR_SIZE; i++)
        diff += std::fabs(irL[i]);
    EXPECT_GT(diff, 1.0);
}

TEST(StereoizerTest, ChannelsAddUpToTheMonoSound)
{
    std::srand(17);
    Stereoizer stereoizer(1.0, 17);
    std::vector<float> left, right;
    for (size_t length : {size_t(100), size_t(5000), size_t(3 * Stereoizer::IR_SIZE)}) {
        std::vector<float> mono = RandomSignal(length);
        stereoizer.Reset();
        stereoizer.Process(mono, &left, &right);
        ExpectSumIsScaledMono(mono, left, right);
    }
}

TEST(StereoizerTest, EachChannelIsTheMonoSoundThroughItsResponse)
{
    std::srand(23);
    Stereoizer stereoizer(1.0, 23);
    std::vector<float> irL, irR;
    stereoizer.GenerateIRs(&irL, &irR);

    // Two whole blocks: the second must not reuse anything of the first but its tail.
    std::vector<float> mono = RandomSignal(2 * Stereoizer::IR_SIZE);
    std::vector<float> left, right;
    stereoizer.Process(mono, &left, &right);
    std::vector<double> expectedL = DirectConvolution(mono, irL);
    std::vector<double> expectedR = DirectConvolution(mono, irR);
    double gain = Scale::DbToAmp(6.0);
    for (size_t i = 0; i < mono.size(); i += 7) {
        ASSERT_NEAR(left[i], gain * expectedL[i], 0.05) << i;
        ASSERT_NEAR(right[i], gain * expectedR[i], 0.05) << i;
    }
}

TEST(StereoizerTest, ASeedAlwaysSpreadsASoundTheSameWay)
{
    std::srand(31);
    std::vector<float> mono = RandomSignal(3 * Stereoizer::IR_SIZE + 100);
    std::vector<float> left[3], right[3];
    Stereoizer first(1.0, 1234);
    first.Process(mono, &left[0], &right[0]);
    // The process-wide generator has no say in the mask.
    std::srand(99);
    Stereoizer again(1.0, 77);
    again.Seed(1234);
    again.Process(mono, &left[1], &right[1]);
    EXPECT_EQ(left[0], left[1]);
    EXPECT_EQ(right[0], right[1]);

    again.Seed(4321);
    again.Process(mono, &left[2], &right[2]);
    ExpectSumIsScaledMono(mono, left[2], right[2]);
    double difference = 0.0, level = 0.0;
    for (size_t i = 0; i < mono.size(); i++) {
        difference += std::fabs(left[2][i] - left[0][i]);
        level += std::fabs(left[0][i]);
    }
    EXPECT_GT(difference, 0.5 * level);
}

TEST(StereoizerTest, AStretchSpreadAfterTheBlockBeforeItJoinsTheWholeWithoutASeam)
{
    // What lets the sound library spread the stretches of a long sound on
    // several cores: the response fits a block, so only the block before
    // rings into the next one.
    std::srand(43);
    const size_t block = Stereoizer::IR_SIZE;
    std::vector<float> mono = RandomSignal(5 * block + 300);
    std::vector<float> left, right;
    Stereoizer whole(1.0, 99);
    whole.Process(mono, &left, &right);

    // From the third block on, once after the second block and once cold.
    std::vector<float> scratch(2 * block);
    std::vector<float> joined[2], cold[2];
    for (bool warmUp : {true, false}) {
        Stereoizer stretch(1.0, 99);
        if (warmUp)
            stretch.ProcessBlock(mono.data() + block, block, scratch.data(), scratch.data() + 1, 2);
        std::vector<float>* out = warmUp ? joined : cold;
        out[0].assign(mono.size(), 0.0f);
        out[1].assign(mono.size(), 0.0f);
        for (size_t first = 2 * block; first < mono.size(); first += block) {
            size_t count = std::min(block, mono.size() - first);
            stretch.ProcessBlock(mono.data() + first, count, out[0].data() + first, out[1].data() + first, 1);
        }
    }
    for (size_t i = 2 * block; i < mono.size(); i++) {
        ASSERT_EQ(joined[0][i], left[i]) << i;
        ASSERT_EQ(joined[1][i], right[i]) << i;
    }
    // Cold, the start of the stretch misses the ringing of the block before.
    double missing = 0.0;
    for (size_t i = 2 * block; i < 2 * block + 100; i++)
        missing += std::fabs(cold[0][i] - left[i]);
    EXPECT_GT(missing, 1e-3);
}
