#include <gtest/gtest.h>

#include "../tools/GrainQuality.h"

// Sines played through grain voices at a rate, measured beside the exact
// grains (the sine computed at every fractional read position under the same
// envelope): what the band-limited reading between frames must achieve.
namespace {

using namespace grainquality;

const int GRAINS = 24;

TEST(GrainQualityTest, PitchedGrainsAreAsCleanAsTheExactOnes)
{
    // At rate 1.3 the read position carries its fraction across blocks: no
    // side tones from positions rounded per block, and as little energy
    // beside the tone as the exact grains have.
    const Rendered slow = RenderGrains({1000.0, 1.3, 100.0, GRAINS});
    EXPECT_NEAR(OutsideBandDb(slow.voice, 1300.0, 50.0), OutsideBandDb(slow.exact, 1300.0, 50.0), 1.0);
    EXPECT_LT(StrongestOutsideDb(slow.voice, 1300.0, 50.0), -65.0);

    // At rate 1.5 a 12 kHz tone becomes 18 kHz and nothing else.
    const Rendered high = RenderGrains({12000.0, 1.5, 100.0, GRAINS});
    EXPECT_LT(OutsideBandDb(high.voice, 18000.0, 50.0), -60.0);
}

TEST(GrainQualityTest, ToneRaisedAboveNyquistIsGone)
{
    // 12 kHz at rate 2 would be 24 kHz: the band is limited to 11025 Hz
    // before the grain is resampled, so nothing folds back down.
    const Rendered atOne = RenderGrains({12000.0, 1.0, 100.0, GRAINS});
    const Rendered atTwo = RenderGrains({12000.0, 2.0, 100.0, GRAINS});
    EXPECT_LT(LevelDb(atTwo.voice, atOne.voice), -50.0);
    // The exact grains, unlimited, fold it to 20.1 kHz at full level.
    EXPECT_NEAR(LevelDb(atTwo.exact, atOne.exact), 0.0, 0.5);
}

TEST(GrainQualityTest, GrainsAtTheirOwnRateAreTheSoundItself)
{
    const Rendered plain = RenderGrains({1000.0, 1.0, 50.0, GRAINS});
    ASSERT_EQ(plain.voice.size(), plain.exact.size());
    for (size_t i = 0; i < plain.voice.size(); i++)
        ASSERT_NEAR(plain.voice[i], plain.exact[i], 1e-6) << "frame " << i;
    EXPECT_NEAR(OutsideBandDb(plain.voice, 1000.0, 50.0), OutsideBandDb(plain.exact, 1000.0, 50.0), 0.1);
}

}  // namespace
