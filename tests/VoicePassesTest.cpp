#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "sources/VoicePasses.h"

namespace {
std::vector<float> Random(size_t count)
{
    std::vector<float> values(count);
    for (float& v : values)
        v = (float)std::rand() / (float)RAND_MAX - 0.5f;
    return values;
}

// The level between the table entries around pos, the last one held past
// the end, in double precision.
double ReferenceLevel(const std::vector<float>& table, double pos)
{
    const size_t last = table.size() - 1;
    const size_t a = std::min((size_t)std::floor(pos), last), b = std::min(a + 1, last);
    const double frac = pos - std::floor(pos);
    return table[a] * (1.0 - frac) + table[b] * frac;
}
}  // namespace

// Steps below one entry per frame (long grains), around it and far above it
// (short grains), from the table's start and up to past its end.
TEST(VoicePassesTest, LevelsLieBetweenTheEntriesAroundEachPosition)
{
    std::srand(3);
    const std::vector<float> table = Random(2048);
    std::vector<float> levels(700);
    for (double step : {0.2322, 0.875, 0.9999, 1.0, 3.7, 40.0}) {
        for (double start : {0.0, 0.37, 1500.25, 2040.5}) {
            const unsigned count = (unsigned)std::min(700.0, (2060.0 - start) / step);
            VoicePasses::FillLevels(table.data(), table.size(), start, step, levels.data(), count);
            for (unsigned j = 0; j < count; j++)
                ASSERT_NEAR(levels[j], ReferenceLevel(table, start + j * step), 1e-6)
                    << "step " << step << " start " << start << " frame " << j;
        }
    }
    // A grain of no length walks the table in one endless step: its one
    // level is that of its start.
    VoicePasses::FillLevels(table.data(), table.size(), 0.0, std::numeric_limits<double>::infinity(), levels.data(), 1);
    EXPECT_EQ(levels[0], table[0]);
}

// Runs that start before the sound or end after it, forward and backward:
// frames outside add nothing, the others their level's share.
TEST(VoicePassesTest, WholeFramesAddTheirLevelsShareAndNothingOutsideTheSound)
{
    std::srand(5);
    const long frames = 100;
    const std::vector<float> sound = Random(2 * frames), levels = Random(300), start = Random(600);
    for (long direction : {1L, -1L}) {
        for (long first : {-37L, 0L, 20L, 99L, 130L}) {
            for (unsigned count : {1u, 7u, 64u, 203u}) {
                std::vector<float> mix = start;
                VoicePasses::AddFrames(sound.data(), frames, first, direction, 0.7f, levels.data(), mix.data(), count);
                for (unsigned i = 0; i < 300; i++) {
                    const long f = first + direction * (long)i;
                    const bool sounding = i < count && f >= 0 && f < frames;
                    for (int c = 0; c < 2; c++) {
                        const double added = sounding ? sound[2 * f + c] * 0.7 * levels[i] : 0.0;
                        ASSERT_NEAR(mix[2 * i + c], start[2 * i + c] + added, 1e-6)
                            << "direction " << direction << " first " << first << " count " << count << " frame " << i
                            << " channel " << c;
                    }
                }
            }
        }
    }
}

TEST(VoicePassesTest, MixGoesIntoTheOutputWithAGainPerChannelHeldToUnity)
{
    std::srand(9);
    for (unsigned count : {1u, 2u, 3u, 5u, 8u, 31u}) {
        std::vector<float> mix = Random(2 * count), out = Random(2 * count);
        for (float& v : mix)
            v *= 5.0f;
        // A sample that is not a number is held too.
        mix[0] = std::numeric_limits<float>::quiet_NaN();
        const std::vector<float> before = out;
        VoicePasses::MixInto(out.data(), mix.data(), 0.5f, -2.0f, count);
        EXPECT_EQ(out[0], -1.0f);
        for (unsigned k = 1; k < 2 * count; k++) {
            const double gain = k % 2 == 0 ? 0.5 : -2.0;
            ASSERT_NEAR(out[k], std::clamp(before[k] + mix[k] * gain, -1.0, 1.0), 1e-6)
                << "count " << count << " sample " << k;
        }
    }
}
