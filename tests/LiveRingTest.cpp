#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "sound/LiveAnalysis.h"
#include "sound/LiveRing.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"

namespace {

const int HOP = SamplesToSpectro::HOP;
const unsigned BLOCK = 1000;

// A mono input whose every sample tells where it was: a slow ramp wrapped
// into -0.9 ... 0.9 plus a tone, never the same twice in a ring's length.
float InputSample(int64_t frame)
{
    const double ramp = std::fmod(frame * 1e-6, 1.8) - 0.9;
    return (float)(0.5 * ramp + 0.4 * std::sin(frame * 0.0123));
}

// Writes frames [from, to) of the input in blocks, the analysis (when given)
// keeping up as its worker would.
void Feed(LiveRing* ring, int64_t from, int64_t to, LiveAnalysis* analysis = nullptr)
{
    std::vector<float> block(BLOCK);
    for (int64_t frame = from; frame < to; frame += BLOCK) {
        const unsigned n = (unsigned)std::min<int64_t>(BLOCK, to - frame);
        for (unsigned i = 0; i < n; i++)
            block[i] = InputSample(frame + i);
        ring->Write(block.data(), n, 1);
        if (analysis != nullptr) {
            analysis->AnalyseArrived();
            analysis->Publish();
        }
    }
}

float Left(const LiveRing& ring, long frame)
{
    return ring.GetSamples()[(size_t)frame * LiveRing::CHANNELS];
}

}  // namespace

TEST(LiveRingTest, WrapsKeepingTheLastCapacityOfFramesInBothCopies)
{
    LiveRing ring(HOP);
    const long capacity = ring.GetCapacity();
    ASSERT_EQ(capacity % HOP, 0);
    const int64_t total = capacity + capacity / 3 + 123;
    Feed(&ring, 0, total);
    ASSERT_EQ(ring.GetWritten(), total);
    const std::vector<float>& samples = ring.GetSamples();
    // The frames of one whole capacity before the write point, the oldest
    // overwritten ones included, each where RingFrame says and again a
    // capacity later, left and right alike.
    for (int64_t w = total - capacity; w < total; w += 997) {
        const long frame = ring.RingFrame(w);
        ASSERT_EQ(Left(ring, frame), InputSample(w)) << w;
        ASSERT_EQ(samples[(size_t)frame * 2 + 1], InputSample(w));
        ASSERT_EQ(Left(ring, frame + capacity), InputSample(w));
    }
    // The newest frame sits right before the write point.
    EXPECT_EQ(ring.RingFrame(total), (long)(total % capacity));
    EXPECT_EQ(Left(ring, ring.RingFrame(total - 1)), InputSample(total - 1));
}

TEST(LiveRingTest, APointAlongTheShownPastIsThatFarBackInTime)
{
    LiveRing ring(HOP);
    ring.SetLengthSeconds(2.0);
    EXPECT_EQ(ring.GetLength(), 173 * HOP);  // 88200 frames rounded up to whole hops
    const int64_t total = ring.GetCapacity() + 5000;
    Feed(&ring, 0, total);
    for (double fraction : {0.0, 0.25, 0.5, 0.999}) {
        const double frame = ring.FrameAt(fraction);
        // Half a capacity of room on both sides for a grain to read on.
        EXPECT_GE(frame, 0.5 * ring.GetCapacity());
        EXPECT_LT(frame, 1.5 * ring.GetCapacity());
        const int64_t written = total - ring.GetLength() + (int64_t)(fraction * ring.GetLength());
        EXPECT_EQ(Left(ring, (long)frame), InputSample(written)) << fraction;
    }
    // The length stays within 1 ... 30 s.
    ring.SetLengthSeconds(100.0);
    EXPECT_DOUBLE_EQ(std::round(ring.GetLengthSeconds()), 30.0);
    ring.SetLengthSeconds(0.1);
    EXPECT_NEAR(ring.GetLengthSeconds(), 1.0, 0.02);
}

TEST(LiveRingTest, InputIsCleanedScaledAndMeasured)
{
    LiveRing ring(HOP);
    ring.SetGain(2.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Stereo frames: (NaN, 0.25), (-inf, 3), (0.1, -0.2).
    const float input[] = {nan, 0.25f, -inf, 3.0f, 0.1f, -0.2f};
    ring.Write(input, 3, 2);
    const std::vector<float>& s = ring.GetSamples();
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(s[1], 0.5f);
    EXPECT_EQ(s[2], 0.0f);
    EXPECT_EQ(s[3], 1.0f);
    EXPECT_FLOAT_EQ(s[4], 0.2f);
    EXPECT_FLOAT_EQ(s[5], -0.4f);
    EXPECT_EQ(ring.TakePeak(), 1.0f);
    EXPECT_EQ(ring.TakePeak(), 0.0f);
    // A third channel is ignored; one channel is heard on both sides.
    const float three[] = {0.1f, 0.2f, 0.9f};
    ring.Write(three, 1, 3);
    EXPECT_FLOAT_EQ(s[7], 0.4f);
    const float mono[] = {-0.3f};
    ring.Write(mono, 1, 1);
    EXPECT_FLOAT_EQ(s[8], -0.6f);
    EXPECT_FLOAT_EQ(s[9], -0.6f);
}

// Blocks of a tone into the ring, the phase going on from block to block.
void WriteTone(LiveRing* ring, double hz, double amplitude, double* phase, unsigned frames)
{
    std::vector<float> block(BLOCK);
    for (unsigned done = 0; done < frames; done += BLOCK) {
        const unsigned n = std::min(BLOCK, frames - done);
        for (unsigned i = 0; i < n; i++, *phase += 2.0 * M_PI * hz / 44100.0)
            block[i] = (float)(amplitude * std::sin(*phase));
        ring->Write(block.data(), n, 1);
    }
}

// The largest difference between neighbouring left samples of [from, to).
float LargestStep(const LiveRing& ring, long from, long to)
{
    float largest = 0.0f;
    for (long f = from + 1; f < to; f++)
        largest = std::max(largest, std::fabs(Left(ring, f) - Left(ring, f - 1)));
    return largest;
}

TEST(LiveRingTest, FreezeKeepsTheSoundAndUnfreezeOverlapsNewAndOld)
{
    LiveRing ring(HOP);
    std::vector<float> steady(BLOCK, 0.8f), other(BLOCK, -0.5f);
    ring.Write(steady.data(), BLOCK, 1);
    ring.SetFrozen(true);
    ring.Write(other.data(), BLOCK, 1);
    // Frozen: nothing written, the level still shown.
    EXPECT_EQ(ring.GetWritten(), (int64_t)BLOCK);
    EXPECT_EQ(Left(ring, BLOCK), 0.0f);
    EXPECT_FLOAT_EQ(ring.TakePeak(), 0.8f);
    // The frames the seam may still change are not settled.
    EXPECT_EQ(ring.GetSettled(), (int64_t)(BLOCK - LiveRing::SEAM_FRAMES));
    // New input at the frozen sound's level: a crossfade holds the level
    // through the seam, where a fade out and in would dip to silence.
    ring.SetFrozen(false);
    ring.Write(steady.data(), BLOCK, 1);
    // The first frames of new input went into the seam.
    EXPECT_EQ(ring.GetWritten(), (int64_t)(2 * BLOCK - LiveRing::SEAM_FRAMES));
    for (long f = 0; f < (long)ring.GetWritten(); f++)
        ASSERT_NEAR(Left(ring, f), 0.8f, 1e-6f) << f;
}

TEST(LiveRingTest, UnfreezingMeetsTheFrozenSoundWithoutAStep)
{
    LiveRing ring(HOP);
    // A 330 Hz tone is frozen; the input has gone on to 550 Hz, in another phase.
    double phase330 = 0.0, phase550 = 1.3;
    const unsigned before = 20 * BLOCK + 311;
    WriteTone(&ring, 330.0, 0.5, &phase330, before);
    ring.SetFrozen(true);
    WriteTone(&ring, 550.0, 0.5, &phase550, 7 * BLOCK);
    const long seamStart = (long)before - LiveRing::SEAM_FRAMES;
    // Where the new input would meet the old without a crossfade.
    const float cut = std::fabs((float)(0.5 * std::sin(phase550)) - Left(ring, seamStart - 1));
    ring.SetFrozen(false);
    // Short blocks, so the seam is crossed over several of them.
    for (int i = 0; i < 40; i++)
        WriteTone(&ring, 550.0, 0.5, &phase550, 100);
    // Each tone's own largest step, sample to sample.
    const float own330 = LargestStep(ring, 1000, seamStart);
    const float own550 = LargestStep(ring, seamStart + 2 * LiveRing::SEAM_FRAMES, (long)ring.GetWritten());
    const float seam = LargestStep(ring, seamStart - 100, seamStart + LiveRing::SEAM_FRAMES + 100);
    EXPECT_GT(cut, 4.0f * own550) << "the tones' phases must not meet by chance";
    // The overlap adds at most the gap between the two sounds spread over the ramp.
    EXPECT_LE(seam, std::max(own330, own550) + 1.0f / (LiveRing::SEAM_FRAMES + 1)) << own330 << " " << own550;
    // Before the seam the frozen tone, after it the new one, unchanged.
    double check330 = 0.0;
    for (long f = 0; f < seamStart; f++, check330 += 2.0 * M_PI * 330.0 / 44100.0)
        ASSERT_NEAR(Left(ring, f), 0.5 * std::sin(check330), 1e-5) << f;
    EXPECT_EQ(ring.GetWritten(), (int64_t)(before + 4000 - LiveRing::SEAM_FRAMES));
}

TEST(LiveRingTest, IncrementalSummariesMatchAFullRecomputation)
{
    LiveRing ring(HOP);
    const long capacity = ring.GetCapacity();
    Feed(&ring, 0, capacity / 2);
    WaveformEnvelope live;
    live.SetChannel(ring.GetSamples(), LiveRing::CHANNELS, 0);
    // The view's way: only the frames written since the last frame drawn,
    // in both copies, across the wrap too.
    int64_t summarised = ring.GetWritten();
    for (int64_t to = capacity / 2 + 777; to < 2 * capacity; to += 20011) {
        Feed(&ring, ring.GetWritten(), to);
        const int64_t written = ring.GetWritten();
        ring.RefreshEnvelope(&live, summarised, written);
        summarised = written;
    }
    WaveformEnvelope full;
    full.SetChannel(ring.GetSamples(), LiveRing::CHANNELS, 0);
    ASSERT_EQ(live.GetSummaryBytes(), full.GetSummaryBytes());
    // Windows of the shown past, wherever the write point left them.
    for (double seconds : {1.0, 8.0, 30.0}) {
        ring.SetLengthSeconds(seconds);
        const long first = ring.OldestShownFrame(ring.GetWritten());
        live.SetWindow(first, ring.GetLength());
        full.SetWindow(first, ring.GetLength());
        const int columns = 733;
        std::vector<float> liveLows(columns), liveHighs(columns), fullLows(columns), fullHighs(columns);
        const double step = (double)ring.GetLength() / columns;
        live.GetColumns(0.0, step, columns, liveLows.data(), liveHighs.data());
        full.GetColumns(0.0, step, columns, fullLows.data(), fullHighs.data());
        EXPECT_EQ(liveLows, fullLows) << seconds;
        EXPECT_EQ(liveHighs, fullHighs) << seconds;
        EXPECT_EQ(live.GetSample(0), InputSample(ring.GetWritten() - ring.GetLength()));
    }
}

TEST(LiveRingTest, IncrementalColumnsMatchTheOfflineAnalysis)
{
    LiveRing ring(HOP);
    LiveAnalysis analysis(&ring);
    const int numCols = analysis.GetNumRingCols();
    const int64_t total = ring.GetCapacity() + ring.GetCapacity() / 4;
    Feed(&ring, 0, total, &analysis);

    // The same samples analysed at once, as a loaded sound is.
    std::vector<float> sound((size_t)total);
    for (int64_t f = 0; f < total; f++)
        sound[(size_t)f] = InputSample(f);
    Spectrogram* spectro = nullptr;
    Spectrogram* chroma = nullptr;
    SamplesToSpectro::AnalyseChannel(sound, (int)total, 1, 0, &spectro, &chroma);

    // Every column whose frame has settled is published, at most a hop late.
    const int64_t published = analysis.GetPublished();
    EXPECT_EQ(published, (ring.GetSettled() - SamplesToSpectro::FFT_SIZE) / HOP + 1);
    const int bins = spectro->GetNumBins();
    const Spectrogram* live = analysis.GetSpectrogram();
    // The newest columns, past the wrap; the oldest ones are cleared for what comes.
    for (int64_t col = published - numCols + 64; col < published; col += 7) {
        const size_t offline = (size_t)col * bins;
        for (int place : {(int)(col % numCols), (int)(col % numCols) + numCols}) {
            const size_t at = (size_t)place * bins;
            ASSERT_TRUE(std::equal(live->GetHalfMagnData() + at, live->GetHalfMagnData() + at + bins,
                                   spectro->GetHalfMagnData() + offline))
                << col;
            ASSERT_TRUE(std::equal(live->GetPhaseData() + at, live->GetPhaseData() + at + bins,
                                   spectro->GetPhaseData() + offline))
                << col;
            ASSERT_TRUE(std::equal(live->GetImageLevels() + at, live->GetImageLevels() + at + bins,
                                   spectro->GetImageLevels() + offline));
            ASSERT_TRUE(std::equal(analysis.GetChromagram()->GetImageLevels() + at,
                                   analysis.GetChromagram()->GetImageLevels() + at + bins,
                                   chroma->GetImageLevels() + offline));
        }
    }
    // Ahead of the newest column, silence instead of the overwritten past.
    const size_t ahead = (size_t)((published + 3) % numCols) * bins;
    EXPECT_TRUE(std::all_of(live->GetHalfMagnData() + ahead, live->GetHalfMagnData() + ahead + bins,
                            [](uint16_t m) { return m == 0; }));
    delete chroma;
    delete spectro;
}

TEST(LiveRingTest, TheWorkerKeepsUpOnItsOwn)
{
    LiveRing ring(HOP);
    LiveAnalysis analysis(&ring);
    analysis.Start();
    Feed(&ring, 0, 50 * HOP);
    // The audio thread publishes at each block; here until the worker is done.
    const int64_t expected = (ring.GetSettled() - SamplesToSpectro::FFT_SIZE) / HOP + 1;
    for (int i = 0; i < 2000 && analysis.GetPublished() < expected; i++) {
        analysis.Publish();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(analysis.GetPublished(), expected);
    analysis.Stop();
}
