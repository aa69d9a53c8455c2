#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "parameters/EffectParameters.h"

namespace {

struct ParameterCase {
    std::string name;
    std::unique_ptr<Parameter> param;
    int idx;
    double min;
    double max;
    double defaultValue;
    const char* defaultText;
};

std::vector<ParameterCase> AllEffectParameters()
{
    std::vector<ParameterCase> cases;
    auto add = [&](const char* name, Parameter* p, int idx, double min, double max, double def, const char* text) {
        cases.push_back({name, std::unique_ptr<Parameter>(p), idx, min, max, def, text});
    };
    add("On", new ParameterEffectOn(0), 0, 0, 1, 0, "off");
    add("BitCrushRatio", new ParameterBitCrushEffectRatio(1), 1, 0, 100, 0, "0 %");
    add("SaturationRatio", new ParameterSaturationEffectRatio(1), 1, 0, 100, 0, "0 %");
    add("DelayTime", new ParameterDelayEffectTime(1), 1, 1, 5000, 1000, "1000 ms");
    add("DelayFeedback", new ParameterDelayEffectFeedback(2), 2, 0, 100, 50, "50 %");
    add("DelayWet", new ParameterDelayEffectWetMix(3), 3, 0, 100, 50, "50 %");
    add("Pan", new ParameterStereoEffectPan(1), 1, -100, 100, 0, "0 %");
    add("Width", new ParameterStereoEffectWidth(2), 2, -100, 100, 0, "0 %");
    add("Order", new ParameterReverbEffectOrder(1), 1, 1, 10, 8, "8");
    add("FeedDryIn", new ParameterReverbEffectFeedDryIn(2), 2, 0, 1, 0.2, "20 %");
    add("FeedWetOut", new ParameterReverbEffectFeedWetOut(3), 3, 0, 1, 0.2, "20 %");
    add("DryMix", new ParameterReverbEffectDryMix(4), 4, 0, 1, 0.7, "70 %");
    add("ReverbDelayTime", new ParameterReverbEffectDelayTime(5), 5, 1, 10000, 7000, "158.7 ms");
    add("Decay", new ParameterReverbEffectDecay(6), 6, 0, 1, 0.95, "95 %");
    add("Volume", new ParameterVolumeEffectVolume(1), 1, -12, 12, 0, "0 dB");
    add("Mute", new ParameterVolumeEffectMute(2), 2, 0, 1, 0, "");
    return cases;
}

}  // namespace

TEST(EffectParametersTest, CatalogueBoundsDefaultsAndTexts)
{
    for (ParameterCase& c : AllEffectParameters()) {
        SCOPED_TRACE(c.name);
        Parameter* p = c.param.get();
        EXPECT_EQ(c.idx, p->GetIndex());
        EXPECT_DOUBLE_EQ(c.defaultValue, p->GetValue());
        EXPECT_DOUBLE_EQ(c.defaultValue, p->GetDefaultValue());
        EXPECT_STREQ(c.defaultText, p->GetValueStr());
        EXPECT_DOUBLE_EQ(1.0, p->GetSensivity());
        EXPECT_EQ(nullptr, p->GetUI());
        // The knob's ends are the bounds.
        p->SetNormalizedValue(0.0);
        EXPECT_DOUBLE_EQ(c.min, p->GetValue());
        p->SetNormalizedValue(1.0);
        EXPECT_DOUBLE_EQ(c.max, p->GetValue());
    }
}

TEST(EffectParametersTest, ValuesAreClampedToTheBoundsAndProvidersAreIgnored)
{
    ParameterDelayEffectFeedback feedback(2);
    feedback.SetValue(250.0);
    EXPECT_DOUBLE_EQ(100.0, feedback.GetValue());
    EXPECT_STREQ("100 %", feedback.GetValueStr());
    feedback.SetValue(nullptr, 10.0);
    EXPECT_DOUBLE_EQ(100.0, feedback.GetValue());
    feedback.SetValue(std::nan(""));
    EXPECT_DOUBLE_EQ(100.0, feedback.GetValue());

    // Every parameter, with values far outside any int: held to its bounds,
    // and the integer texts are cast from the held value.
    for (ParameterCase& c : AllEffectParameters()) {
        SCOPED_TRACE(c.name);
        c.param->SetValue(1e300);
        EXPECT_EQ(c.max, c.param->GetValue());
        c.param->SetValue(-1e12);
        EXPECT_EQ(c.min, c.param->GetValue());
        c.param->SetValue(INFINITY);
        EXPECT_EQ(c.max, c.param->GetValue());
    }
    ParameterDelayEffectTime time(1);
    time.SetValue(1e12);
    EXPECT_STREQ("5000 ms", time.GetValueStr());
}

TEST(EffectParametersTest, NumbersShowTheirUnitsWithAtMostThreeDecimals)
{
    ParameterDelayEffectTime time(1);
    time.SetValue(1234.9);
    EXPECT_STREQ("1235 ms", time.GetValueStr());
    ParameterReverbEffectOrder order(1);
    order.SetValue(5.99);
    EXPECT_STREQ("5", order.GetValueStr());
    ParameterReverbEffectDelayTime delayTime(5);
    // Whole samples: 4410.9 delays by 4410, a tenth of a second.
    delayTime.SetValue(4410.9);
    EXPECT_STREQ("100 ms", delayTime.GetValueStr());
    ParameterStereoEffectPan pan(1);
    pan.SetValue(-33.333);
    EXPECT_STREQ("-33.33 %", pan.GetValueStr());
    ParameterVolumeEffectVolume volume(1);
    volume.SetValue(-6.04);
    EXPECT_STREQ("-6.04 dB", volume.GetValueStr());
    ParameterReverbEffectDecay decay(6);
    decay.SetValue(0.12346);
    EXPECT_STREQ("12.35 %", decay.GetValueStr());
}

TEST(EffectParametersTest, SwitchTextsFlipAtOneHalf)
{
    ParameterEffectOn on(0);
    ParameterVolumeEffectMute mute(2);
    on.SetValue(0.49);
    mute.SetValue(0.49);
    EXPECT_STREQ("off", on.GetValueStr());
    EXPECT_STREQ("", mute.GetValueStr());
    on.SetValue(0.5);
    mute.SetValue(0.5);
    EXPECT_STREQ("on", on.GetValueStr());
    EXPECT_STREQ("muted", mute.GetValueStr());
}

TEST(EffectParametersTest, RatiosUseACubeRootCurve)
{
    for (Parameter* p : {static_cast<Parameter*>(new ParameterBitCrushEffectRatio(1)),
                         static_cast<Parameter*>(new ParameterSaturationEffectRatio(1))}) {
        p->SetNormalizedValue(0.5);
        EXPECT_NEAR(100.0 * std::cbrt(0.5), p->GetValue(), 1e-9);
        EXPECT_NEAR(79.37, p->GetValue(), 0.005);
        EXPECT_STREQ("79.37 %", p->GetValueStr());
        EXPECT_NEAR(0.5, p->GetNormalizedValue(), 1e-12);
        delete p;
    }
    // The other effect knobs are linear.
    ParameterDelayEffectTime time(1);
    time.SetNormalizedValue(0.5);
    EXPECT_DOUBLE_EQ(2500.5, time.GetValue());
}
