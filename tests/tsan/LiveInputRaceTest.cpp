#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "sound/LiveAnalysis.h"
#include "sound/LiveRing.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/Spectrogram.h"
#include "spectral/WaveformEnvelope.h"

namespace {

// The audio thread writes the input and publishes the analysed columns, the
// analysis worker reads the ring, and a drawing thread follows both as the
// live view does (summaries of the settled frames, image levels of the
// published columns); under ThreadSanitizer any unsynchronised access between
// them fails.
TEST(LiveInputRaceTest, AudioWorkerAndDrawingShareTheRingAndTheColumnsSafely)
{
    LiveRing ring(SamplesToSpectro::HOP);
    LiveAnalysis analysis(&ring);
    WaveformEnvelope envelope;
    envelope.SetChannel(ring.GetSamples(), LiveRing::CHANNELS, 0);
    analysis.Start();
    std::atomic<bool> done(false);
    std::thread audio([&] {
        std::vector<float> block(256);
        for (int b = 0; b < 3000; b++) {
            for (size_t i = 0; i < block.size(); i++)
                block[i] = (float)std::sin(0.01 * (b * 256.0 + i));
            ring.Write(block.data(), (unsigned)block.size(), 1);
            analysis.Publish();
            if (b == 1000)
                ring.SetFrozen(true);
            if (b == 1200)
                ring.SetFrozen(false);
            if (b % 8 == 0)
                usleep(200);
        }
        done = true;
    });
    int64_t summarised = 0, seenColumns = 0;
    unsigned levelSum = 0;
    const int numRingCols = analysis.GetNumRingCols();
    const int bins = analysis.GetSpectrogram()->GetNumBins();
    while (!done) {
        const int64_t settled = ring.GetSettled();
        ring.RefreshEnvelope(&envelope, summarised, settled);
        summarised = settled;
        const int64_t published = analysis.GetPublished();
        for (; seenColumns < published; seenColumns++) {
            const uint8_t* column =
                analysis.GetSpectrogram()->GetImageLevels() + (size_t)(seenColumns % numRingCols) * bins;
            for (int i = 0; i < bins; i++)
                levelSum += column[i];
        }
        usleep(500);
    }
    audio.join();
    analysis.Stop();
    EXPECT_GT(seenColumns, 0);
    EXPECT_GT(levelSum, 0u);
}

}  // namespace
