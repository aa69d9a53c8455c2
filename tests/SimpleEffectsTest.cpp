#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "EffectsTestHelpers.h"
#include "effects/BitCrushEffect.h"
#include "effects/ReverbEffect.h"
#include "effects/SaturationEffect.h"
#include "effects/StereoEffect.h"
#include "effects/VolumeEffect.h"
#include "spectral/DSP.h"

TEST(BitCrushTest, ZeroRatioLeavesTheSignalAlone)
{
    std::srand(11);
    std::vector<float> x = RandomSamples(512);
    std::vector<float> y = x;
    DSP::BitCrush(&y, 0.0);
    EXPECT_EQ(x, y);
}

TEST(BitCrushTest, FullRatioKeepsOnlyTheExtremes)
{
    std::vector<float> x = {-1.0f, -0.5f, 0.0f, 0.3f, 0.999f, 1.0f};
    DSP::BitCrush(&x, 1.0);
    std::vector<float> expected = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, 1.0f};
    EXPECT_EQ(expected, x);
}

// At half ratio the depth is 2^8.5 truncated, 362: 182 levels 2/181 apart
// from -1, and every sample falls to the level at or below it.
TEST(BitCrushTest, HalfRatioQuantisesDownOntoTheGrid)
{
    std::vector<float> zero = {0.0f};
    DSP::BitCrush(&zero, 0.5);
    EXPECT_NEAR(360.0 / 362.0 - 1.0, zero[0], 1e-7);
    EXPECT_NEAR(-0.00552, zero[0], 1e-5);

    std::srand(12);
    std::vector<float> x = RandomSamples(4000, 1.0f);
    std::vector<float> y = x;
    DSP::BitCrush(&y, 0.5);
    const double step = 2.0 / 181.0;
    for (size_t i = 0; i < x.size(); i++) {
        double level = (y[i] + 1.0) / step;
        EXPECT_NEAR(std::round(level), level, 1e-3) << x[i];
        EXPECT_LE(y[i], x[i] + 1e-6);
        EXPECT_GT(y[i], x[i] - step - 1e-6);
    }
}

TEST(BitCrushTest, RunawaySamplesStayFinite)
{
    std::vector<float> x = {1e30f, -1e30f, INFINITY, NAN};
    DSP::BitCrush(&x, 0.5);
    for (float v : x)
        EXPECT_TRUE(std::isfinite(v));
    // A ratio past 100 % (a value stored unclamped) acts as 100 %.
    std::vector<float> y = {0.5f, 1.0f};
    DSP::BitCrush(&y, 1.7);
    EXPECT_EQ(-1.0f, y[0]);
    EXPECT_EQ(1.0f, y[1]);
}

TEST(SaturationTest, HalfRatioClipsAtOneHalfAndDoubles)
{
    std::vector<float> x = {0.25f, -0.25f, 0.5f, -0.5f, 0.7f, -0.9f, 3.0f, 0.0f};
    DSP::Saturation(&x, 0.5);
    std::vector<float> expected = {0.5f, -0.5f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, 0.0f};
    EXPECT_EQ(expected, x);
    std::vector<float> y = {0.3f};
    DSP::Saturation(&y, 0.0);
    EXPECT_EQ(0.3f, y[0]);
}

// At 100 % the clip level is zero and the make-up gain infinite; the curve's
// limit is the sign of the sample.
TEST(SaturationTest, FullRatioIsTheLimitOfTheCurve)
{
    std::vector<float> x = {0.5f, -0.5f, 1e-6f, -1e-6f, 0.0f, 2.0f};
    std::vector<float> nearlyFull = x;
    DSP::Saturation(&x, 1.0);
    std::vector<float> expected = {1.0f, -1.0f, 1.0f, -1.0f, 0.0f, 1.0f};
    EXPECT_EQ(expected, x);
    DSP::Saturation(&nearlyFull, 1.0 - 1e-9);
    for (size_t i = 0; i < x.size(); i++)
        EXPECT_NEAR(x[i], nearlyFull[i], 1e-6) << i;
    std::vector<float> beyond = {0.2f, -0.2f};
    DSP::Saturation(&beyond, 1.5);
    EXPECT_EQ(1.0f, beyond[0]);
    EXPECT_EQ(-1.0f, beyond[1]);
}

TEST(SaturationTest, EffectAtFullRatioGivesBoundedOutput)
{
    SaturationEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, SaturationEffect::RATIO_PARAM, 100.0);
    std::srand(13);
    std::vector<float> x = RandomSamples(2048);
    effect.Process(&x, 1024, 2);
    for (float v : x) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_LE(std::fabs(v), 1.0f);
    }
}

TEST(ClipTest, KeepsSamplesWithinOne)
{
    std::vector<float> x = {-3.0f, -1.0f, -0.2f, 0.9f, 1.0f, 7.0f};
    DSP::Clip(&x);
    std::vector<float> expected = {-1.0f, -1.0f, -0.2f, 0.9f, 1.0f, 1.0f};
    EXPECT_EQ(expected, x);
}

TEST(StereoTest, WidthFactorCurve)
{
    EXPECT_DOUBLE_EQ(0.0, StereoEffect::WidthFactor(-100.0));
    EXPECT_DOUBLE_EQ(0.5, StereoEffect::WidthFactor(-50.0));
    EXPECT_DOUBLE_EQ(1.0, StereoEffect::WidthFactor(0.0));
    EXPECT_DOUBLE_EQ(2.625, StereoEffect::WidthFactor(50.0));
    EXPECT_DOUBLE_EQ(5.0, StereoEffect::WidthFactor(100.0));
}

// Mid stays, side is scaled by the width factor: L' = M - w S, R' = M + w S
// with M = (L + R) / 2 and S = (R - L) / 2.
TEST(StereoTest, WidthScalesTheSideSignal)
{
    std::srand(14);
    const std::vector<float> x = RandomSamples(2 * 500);
    for (double width : {-100.0, -40.0, 0.0, 50.0, 100.0}) {
        SCOPED_TRACE(width);
        StereoEffect effect;
        SwitchOn(&effect);
        SetParam(&effect, StereoEffect::WIDTH_PARAM, width);
        std::vector<float> y = x;
        effect.Process(&y, 500, 2);
        double w = StereoEffect::WidthFactor(width);
        for (int i = 0; i < 500; i++) {
            double mid = 0.5 * (x[2 * i] + x[2 * i + 1]);
            double side = 0.5 * (x[2 * i + 1] - x[2 * i]);
            EXPECT_NEAR(mid - w * side, y[2 * i], 1e-5 * (1.0 + w));
            EXPECT_NEAR(mid + w * side, y[2 * i + 1], 1e-5 * (1.0 + w));
        }
    }
}

TEST(StereoTest, CentreSettingsLeaveTheBlockUnchanged)
{
    std::srand(15);
    const std::vector<float> x = RandomSamples(2 * 1024);
    StereoEffect effect;
    SwitchOn(&effect);
    std::vector<float> y = x;
    effect.Process(&y, 1024, 2);
    for (size_t i = 0; i < x.size(); i++)
        EXPECT_NEAR(x[i], y[i], 4e-7);
}

TEST(StereoTest, HardPanKeepsOneChannelAtConstantPower)
{
    std::srand(16);
    const std::vector<float> x = RandomSamples(2 * 300);
    StereoEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, StereoEffect::PAN_PARAM, -100.0);
    std::vector<float> y = x;
    effect.Process(&y, 300, 2);
    for (int i = 0; i < 300; i++) {
        EXPECT_NEAR(x[2 * i] * M_SQRT2, y[2 * i], 1e-6);
        EXPECT_EQ(0.0f, y[2 * i + 1]);
    }
    SetParam(&effect, StereoEffect::PAN_PARAM, 100.0);
    y = x;
    // The first block glides over to the other side; the next one is there.
    effect.Process(&y, 300, 2);
    y = x;
    effect.Process(&y, 300, 2);
    for (int i = 0; i < 300; i++) {
        EXPECT_NEAR(0.0, y[2 * i], 1e-6);
        EXPECT_NEAR(x[2 * i + 1] * M_SQRT2, y[2 * i + 1], 1e-6);
    }
}

// A knob turned while the effect sounds (from a controller, between two
// blocks) glides over the next block: a constant signal moves in equal steps
// from the old gain to the new one, which the block's last frame reaches.
TEST(SimpleEffectsTest, AKnobTurnedWhileSoundingGlidesOverOneBlock)
{
    const int n = 256;
    struct Case {
        Effect* effect;
        int param;
        double from, to;
        // Gains of the left and right channel for a knob value.
        std::function<std::pair<double, double>(double)> gains;
    };
    VolumeEffect volume;
    StereoEffect stereo;
    // Without input to its lines the reverb's output is the dry mix alone.
    ReverbEffect reverb;
    SetParam(&reverb, ReverbEffect::FEED_DRY_IN_PARAM, 0.0);
    auto pan = [](double v) {
        const double angle = M_PI * (0.01 * v + 1.0) / 4.0;
        return std::make_pair(std::cos(angle) * M_SQRT2, std::sin(angle) * M_SQRT2);
    };
    auto db = [](double v) { return std::make_pair(std::pow(10.0, v / 20.0), std::pow(10.0, v / 20.0)); };
    auto same = [](double v) { return std::make_pair(v, v); };
    for (const Case& c : {Case{&volume, VolumeEffect::VOLUME_PARAM, -12.0, 12.0, db},
                          Case{&stereo, StereoEffect::PAN_PARAM, -100.0, 100.0, pan},
                          Case{&reverb, ReverbEffect::DRY_MIX_PARAM, 0.2, 1.0, same}}) {
        SwitchOn(c.effect);
        SetParam(c.effect, c.param, c.from);
        std::vector<float> y(2 * n, 0.5f);
        c.effect->Process(&y, n, 2);
        SetParam(c.effect, c.param, c.to);
        y.assign(2 * n, 0.5f);
        c.effect->Process(&y, n, 2);
        const auto from = c.gains(c.from), to = c.gains(c.to);
        for (int ch = 0; ch < 2; ch++) {
            const double a = ch == 0 ? from.first : from.second, b = ch == 0 ? to.first : to.second;
            for (int i = 0; i < n; i++)
                ASSERT_NEAR(0.5 * (a + (b - a) * (i + 1) / n), y[2 * i + ch], 1e-5) << "frame " << i;
        }
    }
}

TEST(StereoTest, PanKeepsThePowerOfAMonoSignal)
{
    std::vector<float> y = {0.5f, 0.5f};
    DSP::Balance(&y, 2, 0.37);
    EXPECT_NEAR(2.0 * 0.25, y[0] * y[0] + y[1] * y[1], 1e-6);
    EXPECT_GT(y[1], y[0]);
}

TEST(VolumeTest, GainInDecibelsAndMute)
{
    VolumeEffect effect;
    SwitchOn(&effect);
    const std::vector<float> x = {0.1f, -0.2f, 0.05f, 0.25f};
    std::vector<float> y = x;
    SetParam(&effect, VolumeEffect::VOLUME_PARAM, 12.0);
    effect.Process(&y, 2, 2);
    for (size_t i = 0; i < x.size(); i++)
        EXPECT_NEAR(3.98107 * x[i], y[i], 1e-5);
    SetParam(&effect, VolumeEffect::VOLUME_PARAM, -12.0);
    // The first block glides down; the next one is there.
    effect.Process(&y, 2, 2);
    y = x;
    effect.Process(&y, 2, 2);
    for (size_t i = 0; i < x.size(); i++)
        EXPECT_NEAR(0.251189 * x[i], y[i], 1e-6);
    y = x;
    SetParam(&effect, VolumeEffect::MUTE_PARAM, 1.0);
    effect.Process(&y, 2, 2);
    EXPECT_EQ(std::vector<float>(4, 0.0f), y);
}

// The sound follows what the switch shows: "muted" from 0.5 on, nothing below.
TEST(VolumeTest, MuteAgreesWithItsText)
{
    VolumeEffect effect;
    SwitchOn(&effect);
    const std::vector<float> x = {0.1f, -0.2f};
    std::vector<float> y = x;
    SetParam(&effect, VolumeEffect::MUTE_PARAM, 0.3);
    EXPECT_STREQ("", effect.GetParameter(VolumeEffect::MUTE_PARAM)->GetValueStr());
    effect.Process(&y, 1, 2);
    EXPECT_EQ(x, y);
    SetParam(&effect, VolumeEffect::MUTE_PARAM, 0.5);
    effect.Process(&y, 1, 2);
    EXPECT_EQ(std::vector<float>(2, 0.0f), y);
}

TEST(VolumeTest, ProcessesOnlyTheFramesAsked)
{
    VolumeEffect effect;
    SwitchOn(&effect);
    SetParam(&effect, VolumeEffect::MUTE_PARAM, 1.0);
    std::vector<float> y = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
    effect.Process(&y, 2, 2);
    EXPECT_EQ((std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.6f}), y);
    // More frames than the buffer holds stop at its end.
    effect.Process(&y, 100, 2);
    EXPECT_EQ(std::vector<float>(6, 0.0f), y);
}

// Each simple effect, switched off with drastic settings, passes the block
// bit for bit; switched on, it leaves a one-channel block alone.
TEST(SimpleEffectsTest, BypassAndOneChannelBlocks)
{
    std::vector<std::unique_ptr<Effect>> effects;
    effects.emplace_back(new BitCrushEffect());
    SetParam(effects.back().get(), BitCrushEffect::RATIO_PARAM, 80.0);
    effects.emplace_back(new SaturationEffect());
    SetParam(effects.back().get(), SaturationEffect::RATIO_PARAM, 80.0);
    effects.emplace_back(new StereoEffect());
    SetParam(effects.back().get(), StereoEffect::WIDTH_PARAM, 70.0);
    SetParam(effects.back().get(), StereoEffect::PAN_PARAM, -40.0);
    effects.emplace_back(new VolumeEffect());
    SetParam(effects.back().get(), VolumeEffect::VOLUME_PARAM, 9.0);
    std::srand(17);
    const std::vector<float> x = RandomSamples(2 * 256);
    for (auto& effect : effects) {
        EXPECT_FALSE(effect->IsOn());
        std::vector<float> y = x;
        effect->Process(&y, 256, 2);
        EXPECT_EQ(x, y);
        SwitchOn(effect.get());
        y = x;
        effect->Process(&y, 512, 1);
        EXPECT_EQ(x, y);
        y = x;
        effect->Process(&y, 256, 2);
        EXPECT_NE(x, y);
    }
}
