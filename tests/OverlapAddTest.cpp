#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <thread>
#include <vector>

#include "spectral/OverlapAdd.h"
#include "spectral/OverlapAddProcessor.h"

namespace {
const int FFT_SIZE = 2048;
const int HOP = 512;

std::vector<float> RandomSignal(size_t n)
{
    std::vector<float> x(n);
    for (float& v : x)
        v = 2.0f * std::rand() / float(RAND_MAX) - 1.0f;
    return x;
}

double Hann(int i, int n)
{
    return 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (n - 1));
}

// Keeps a copy of every spectrum the engine hands over, per channel.
class RecordingProcessor : public OverlapAddProcessor {
public:
    void ProcessFFT(std::vector<float>* compBuf, int chanNum) override { spectra[chanNum].push_back(*compBuf); }
    std::vector<std::vector<float>> spectra[2];
};

// Feeds x from offset on in blocks of blockSize on one channel.
void FeedMono(OverlapAdd* engine, const std::vector<float>& x, size_t offset, size_t length, int blockSize)
{
    for (size_t pos = offset; pos + blockSize <= offset + length; pos += blockSize) {
        std::vector<float> block(x.begin() + pos, x.begin() + pos + blockSize);
        engine->Feed(block, blockSize, 1);
    }
}

// DFT of the Hann-windowed frame x[start ... start + n), computed directly.
std::vector<std::complex<double>> WindowedDFT(const std::vector<float>& x, size_t start, int n)
{
    std::vector<std::complex<double>> out(n);
    for (int k = 0; k < n; k++) {
        std::complex<double> sum = 0.0;
        for (int i = 0; i < n; i++)
            sum += x[start + i] * Hann(i, n) * std::polar(1.0, -2.0 * M_PI * k * i / n);
        out[k] = sum;
    }
    return out;
}

void ExpectSpectrumNear(const std::vector<float>& spectrum, const std::vector<std::complex<double>>& reference)
{
    ASSERT_EQ(spectrum.size(), 2 * reference.size());
    for (size_t k = 0; k < reference.size(); k++) {
        EXPECT_NEAR(spectrum[2 * k], reference[k].real(), 2e-3) << "bin " << k;
        EXPECT_NEAR(spectrum[2 * k + 1], reference[k].imag(), 2e-3) << "bin " << k;
    }
}
}  // namespace

TEST(OverlapAddTest, FreshEngineNeedsFiveHopsBeforeItsFirstFrame)
{
    srand(1);
    OverlapAdd engine(FFT_SIZE, 4, true, false);
    RecordingProcessor recorder;
    engine.AddProcessor(&recorder);
    // Two planar channels per block: both are transformed in every frame.
    std::vector<float> block = RandomSignal(2 * HOP);
    for (int feed = 1; feed <= 4; feed++)
        engine.Feed(block, HOP, 2);
    EXPECT_TRUE(recorder.spectra[0].empty());

    for (int feed = 5; feed <= 9; feed++) {
        engine.Feed(block, HOP, 2);
        EXPECT_EQ((int)recorder.spectra[0].size(), feed - 4);
        EXPECT_EQ((int)recorder.spectra[1].size(), feed - 4);
    }
}

TEST(OverlapAddTest, ForwardTransformMatchesDirectDFT)
{
    srand(2);
    std::vector<float> x = RandomSignal(5 * HOP);
    OverlapAdd engine(FFT_SIZE, 4, true, false);
    RecordingProcessor recorder;
    engine.AddProcessor(&recorder);
    FeedMono(&engine, x, 0, x.size(), HOP);
    ASSERT_EQ(recorder.spectra[0].size(), 1u);
    ExpectSpectrumNear(recorder.spectra[0][0], WindowedDFT(x, 0, FFT_SIZE));
}

TEST(OverlapAddTest, FramesStayInPlaceWhenTheRingsWrapAround)
{
    // 40 hops run the 4096-sample rings round five times; frame f must still
    // see exactly the input from f hops on. Blocks of 300 samples make the
    // block pushes and peeks cross the end of the ring at odd places.
    srand(3);
    std::vector<float> x = RandomSignal(40 * HOP);
    OverlapAdd engine(FFT_SIZE, 4, true, false);
    RecordingProcessor recorder;
    engine.AddProcessor(&recorder);
    FeedMono(&engine, x, 0, 300 * (x.size() / 300), 300);
    ASSERT_GE(recorder.spectra[0].size(), 30u);
    for (size_t f : {7u, 29u})
        ExpectSpectrumNear(recorder.spectra[0][f], WindowedDFT(x, f * HOP, FFT_SIZE));
}

TEST(OverlapAddTest, OneLargeBlockGivesTheSameFramesAsHopSizedBlocks)
{
    // A block of two frames at once used to fill the input ring to its
    // capacity, where it reads as empty, and the frames were lost.
    srand(4);
    std::vector<float> x = RandomSignal(4 * FFT_SIZE);
    OverlapAdd large(FFT_SIZE, 4, true, false);
    OverlapAdd small(FFT_SIZE, 4, true, false);
    RecordingProcessor largeRecorder, smallRecorder;
    large.AddProcessor(&largeRecorder);
    small.AddProcessor(&smallRecorder);
    FeedMono(&large, x, 0, x.size(), 2 * FFT_SIZE);
    FeedMono(&small, x, 0, x.size(), HOP);
    ASSERT_EQ(smallRecorder.spectra[0].size(), (size_t)(x.size() / HOP - 4));
    EXPECT_EQ(largeRecorder.spectra[0], smallRecorder.spectra[0]);
}

TEST(OverlapAddTest, PassThroughReturnsTheInputWeightedByTheOverlappedWindows)
{
    srand(5);
    std::vector<float> x = RandomSignal(24 * HOP);
    OverlapAdd engine(FFT_SIZE, 4, true, true);
    FeedMono(&engine, x, 0, x.size(), HOP);
    std::vector<float> out;
    engine.GetOutSamples(&out);
    ASSERT_EQ(out.size(), (size_t)(20 * HOP));

    // Output sample o has received every frame g with 0 <= o - g * HOP < FFT_SIZE,
    // each weighted by the product of the analysis and synthesis windows.
    for (size_t o = 0; o < out.size(); o++) {
        double weight = 0.0;
        for (int g = 0; g * HOP <= (int)o; g++) {
            int i = (int)o - g * HOP;
            if (i < FFT_SIZE)
                weight += Hann(i, FFT_SIZE) * Hann(i, FFT_SIZE);
        }
        ASSERT_NEAR(out[o], x[o] * weight, 1e-5) << "sample " << o;
    }
    // Four overlapping squared Hann windows add up to about 1.5.
    EXPECT_NEAR(out[3000] / x[3000], 1.5, 1e-2);
}

TEST(OverlapAddTest, OutputStaysEmptyWithoutInverseTransform)
{
    srand(6);
    std::vector<float> x = RandomSignal(16 * HOP);
    OverlapAdd engine(FFT_SIZE, 4, true, false);
    FeedMono(&engine, x, 0, x.size(), HOP);
    std::vector<float> out(3, 1.0f);
    engine.GetOutSamples(&out);
    EXPECT_TRUE(out.empty());
}

TEST(OverlapAddTest, EveryFrameEmitsOneHopWhateverTheSynthesisSpacing)
{
    srand(7);
    std::vector<float> x = RandomSignal(12 * HOP);
    // A negative spacing (a caller's bad pitch) must neither crash nor stall.
    for (double stretch : {0.5, 2.0, 3.7, -1.0}) {
        OverlapAdd engine(FFT_SIZE, 4, true, true);
        engine.SetSynthTimeStretch(stretch);
        FeedMono(&engine, x, 0, x.size(), HOP);
        std::vector<float> out;
        engine.GetOutSamples(&out);
        EXPECT_EQ(out.size(), (size_t)(8 * HOP)) << "stretch " << stretch;
    }
}

TEST(OverlapAddTest, FlushOutSamplesDropsTheConsumedFront)
{
    srand(8);
    std::vector<float> x = RandomSignal(10 * HOP);
    OverlapAdd engine(FFT_SIZE, 4, true, true);
    FeedMono(&engine, x, 0, x.size(), HOP);
    std::vector<float> all, rest;
    engine.GetOutSamples(&all);
    ASSERT_EQ(all.size(), (size_t)(6 * HOP));

    engine.FlushOutSamples(100);
    engine.GetOutSamples(&rest);
    EXPECT_EQ(rest, std::vector<float>(all.begin() + 100, all.end()));

    engine.FlushOutSamples(0);
    engine.FlushOutSamples(-5);
    engine.GetOutSamples(&rest);
    EXPECT_EQ(rest.size(), all.size() - 100);

    engine.FlushOutSamples((int)rest.size());
    engine.GetOutSamples(&rest);
    EXPECT_TRUE(rest.empty());

    // The stream goes on after a flush: the next frame emits the next hop.
    FeedMono(&engine, x, 0, HOP, HOP);
    engine.GetOutSamples(&rest);
    EXPECT_EQ(rest.size(), (size_t)HOP);
    engine.FlushOutSamples(HOP + 1);
    engine.GetOutSamples(&rest);
    EXPECT_TRUE(rest.empty());

    FeedMono(&engine, x, 0, HOP, HOP);
    engine.ClearOutSamples();
    engine.GetOutSamples(&rest);
    EXPECT_TRUE(rest.empty());
}

TEST(OverlapAddTest, EnginesOfOneSizeShareOneHannWindow)
{
    OverlapAdd analysis(FFT_SIZE, 4, true, false);
    OverlapAdd synthesis(FFT_SIZE, 4, false, true, 1);
    OverlapAdd smaller(256, 4, true, true);
    EXPECT_EQ(&analysis.GetWindow(), &synthesis.GetWindow());
    ASSERT_EQ(analysis.GetWindow().size(), (size_t)FFT_SIZE);
    ASSERT_EQ(smaller.GetWindow().size(), 256u);
    for (int i = 0; i < FFT_SIZE; i += 97)
        EXPECT_NEAR(analysis.GetWindow()[i], Hann(i, FFT_SIZE), 1e-7) << "sample " << i;
    for (int i = 0; i < 256; i += 17)
        EXPECT_NEAR(smaller.GetWindow()[i], Hann(i, 256), 1e-7) << "sample " << i;
}

TEST(OverlapAddTest, OneChannelEngineTakesTheFirstChannelOfAStereoFeed)
{
    srand(9);
    std::vector<float> left = RandomSignal(8 * HOP);
    std::vector<float> right = RandomSignal(8 * HOP);
    OverlapAdd mono(FFT_SIZE, 4, true, true, 1);
    OverlapAdd stereo(FFT_SIZE, 4, true, true);
    RecordingProcessor monoRecorder, stereoRecorder;
    mono.AddProcessor(&monoRecorder);
    stereo.AddProcessor(&stereoRecorder);
    for (size_t pos = 0; pos < left.size(); pos += HOP) {
        std::vector<float> block(left.begin() + pos, left.begin() + pos + HOP);
        block.insert(block.end(), right.begin() + pos, right.begin() + pos + HOP);
        mono.Feed(block, HOP, 2);
        stereo.Feed(block, HOP, 2);
    }
    ASSERT_EQ(monoRecorder.spectra[0].size(), 4u);
    EXPECT_TRUE(monoRecorder.spectra[1].empty());
    EXPECT_EQ(monoRecorder.spectra[0], stereoRecorder.spectra[0]);
    ExpectSpectrumNear(monoRecorder.spectra[0][2], WindowedDFT(left, 2 * HOP, FFT_SIZE));
}

TEST(OverlapAddTest, OverlapOfOneTransformsEveryWholeFrame)
{
    // Frames one frame apart: two whole frames wait at once before the first is cut.
    srand(10);
    std::vector<float> x = RandomSignal(4 * FFT_SIZE);
    OverlapAdd engine(FFT_SIZE, 1, true, false);
    RecordingProcessor recorder;
    engine.AddProcessor(&recorder);
    FeedMono(&engine, x, 0, x.size(), FFT_SIZE);
    ASSERT_EQ(recorder.spectra[0].size(), 3u);
    ExpectSpectrumNear(recorder.spectra[0][1], WindowedDFT(x, FFT_SIZE, FFT_SIZE));
}

TEST(OverlapAddTest, EnginesOnSeveralThreadsShareThePlansAndAgree)
{
    // Analysis threads build engines of a size no engine had before, all at
    // once, and transform with the plans they share.
    const int size = 512;
    const int hop = size / 4;
    srand(11);
    std::vector<float> x = RandomSignal(40 * hop);
    std::vector<RecordingProcessor> recorders(4);
    std::vector<std::thread> threads;
    for (RecordingProcessor& recorder : recorders) {
        RecordingProcessor* own = &recorder;
        threads.emplace_back([&x, own]() {
            OverlapAdd engine(size, 4, true, true);
            engine.AddProcessor(own);
            FeedMono(&engine, x, 0, x.size(), hop);
        });
    }
    for (std::thread& t : threads)
        t.join();
    ASSERT_EQ(recorders[0].spectra[0].size(), 36u);
    for (size_t r = 1; r < recorders.size(); r++)
        EXPECT_EQ(recorders[r].spectra[0], recorders[0].spectra[0]) << "thread " << r;
    ExpectSpectrumNear(recorders[0].spectra[0][30], WindowedDFT(x, 30 * hop, size));
}
