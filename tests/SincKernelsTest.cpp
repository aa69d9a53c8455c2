#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sources/SincKernels.h"

namespace {
const double SAMPLE_RATE = 44100.0;
const double PI = 3.141592653589793;
const long FRAMES = 20000;

// Two sines, one per channel, at frequencies well inside what a kernel
// passes at the rate: read between frames they are the sines themselves.
struct Tones {
    double leftHz, rightHz;
    std::vector<float> samples;
    explicit Tones(double rate) : leftHz(3000.0 / rate), rightHz(1700.0 / rate), samples(2 * FRAMES)
    {
        for (long f = 0; f < FRAMES; f++) {
            samples[2 * f] = (float)(0.5 * std::sin(2.0 * PI * leftHz * f / SAMPLE_RATE));
            samples[2 * f + 1] = (float)(0.5 * std::cos(2.0 * PI * rightHz * f / SAMPLE_RATE));
        }
    }
    double Left(double y) const { return 0.5 * std::sin(2.0 * PI * leftHz * y / SAMPLE_RATE); }
    double Right(double y) const { return 0.5 * std::cos(2.0 * PI * rightHz * y / SAMPLE_RATE); }
};
}  // namespace

// Rates below, near and far above 1 (many stretches of sound in one run),
// forward and backward, from a fractional position; each frame is added,
// times the gain and its level, to what the mix held.
TEST(SincKernelsTest, RunsReadTonesAtTheirFractionalPositions)
{
    for (double rate : {0.73, 1.0, 1.3, 1.5, 2.0, 3.3, 7.9}) {
        const Tones tones(rate);
        const SincKernels::Kernel& kernel = SincKernels::ForRate(rate);
        for (double direction : {1.0, -1.0}) {
            const unsigned count = 1003;
            const double dy = direction * rate;
            const double y0 = direction > 0 ? 100.377 : FRAMES - 100.377;
            std::vector<float> levels(count), mix(2 * count, 0.25f);
            for (unsigned i = 0; i < count; i++)
                levels[i] = (float)i / count;
            SincKernels::AddRun(kernel, tones.samples.data(), FRAMES, y0, dy, levels.data(), 0.5f, mix.data(), count);
            for (unsigned i = 0; i < count; i++) {
                const double y = y0 + i * dy, scale = 0.5 * levels[i];
                ASSERT_NEAR(mix[2 * i], 0.25 + scale * tones.Left(y), 2e-3)
                    << "rate " << rate << " direction " << direction << " frame " << i;
                ASSERT_NEAR(mix[2 * i + 1], 0.25 + scale * tones.Right(y), 2e-3)
                    << "rate " << rate << " direction " << direction << " frame " << i;
            }
        }
    }
}

// Outside the sound is silence: a constant sound reads as itself well
// inside, fades across its edges and adds nothing far beyond them.
TEST(SincKernelsTest, SoundIsSilentBeyondItsEdges)
{
    const long frames = 400;
    const std::vector<float> ones(2 * frames, 1.0f);
    for (double rate : {1.0, 1.5, 4.0}) {
        const SincKernels::Kernel& kernel = SincKernels::ForRate(rate);
        // From 100 frames before the sound to well past its end.
        const double y0 = -100.25;
        const unsigned count = (unsigned)((frames + 300) / rate);
        std::vector<float> mix(2 * count, 0.0f), levels(count, 1.0f);
        SincKernels::AddRun(kernel, ones.data(), frames, y0, rate, levels.data(), 1.0f, mix.data(), count);
        for (unsigned i = 0; i < count; i++) {
            const double y = y0 + i * rate;
            const double reach = kernel.taps / 2.0 + 1.0;
            if (y < -reach || y > frames + reach) {
                ASSERT_EQ(mix[2 * i], 0.0f) << "rate " << rate << " frame " << i;
            } else if (y > reach && y < frames - reach) {
                ASSERT_NEAR(mix[2 * i], 1.0, 1e-5) << "rate " << rate << " frame " << i;
            }
            ASSERT_EQ(mix[2 * i], mix[2 * i + 1]);
        }
    }
}
