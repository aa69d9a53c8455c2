#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "parameters/ValueText.h"

namespace {
std::string Text(ValueText::Formatter formatter, double value)
{
    char text[64];
    formatter(text, sizeof(text), value);
    return text;
}
}  // namespace

TEST(ValueTextTest, NumbersKeepAtMostThreeDecimalsAndAboutFourDigits)
{
    EXPECT_EQ(Text(ValueText::Number, 2.04343), "2.043");
    EXPECT_EQ(Text(ValueText::Number, 0.5), "0.5");
    EXPECT_EQ(Text(ValueText::Number, 1.0), "1");
    EXPECT_EQ(Text(ValueText::Number, 12.3456), "12.35");
    EXPECT_EQ(Text(ValueText::Number, 625.4375), "625.4");
    EXPECT_EQ(Text(ValueText::Number, 4999.96), "5000");
    EXPECT_EQ(Text(ValueText::Number, -27.0), "-27");
    // Noise around zero reads as zero, not "-0".
    EXPECT_EQ(Text(ValueText::Number, -1e-9), "0");
    EXPECT_EQ(Text(ValueText::Number, 0.0004), "0");
    // Far beyond any bound, short all the same.
    EXPECT_EQ(Text(ValueText::Number, 1e20), "1e+20");
    EXPECT_EQ(Text(ValueText::Number, -1.5e300), "-1.5e+300");
}

TEST(ValueTextTest, EveryUnitFollowsItsNumber)
{
    EXPECT_EQ(Text(ValueText::Milliseconds, 625.4375), "625.4 ms");
    EXPECT_EQ(Text(ValueText::Percent, 50.0), "50 %");
    EXPECT_EQ(Text(ValueText::Decibels, -6.02), "-6.02 dB");
    EXPECT_EQ(Text(ValueText::Hertz, 0.25), "0.25 Hz");
    EXPECT_EQ(Text(ValueText::Ratio, 1.5), "x1.5");
    EXPECT_EQ(Text(ValueText::RatioSwing, 0.25), "+/-0.25");
    EXPECT_EQ(Text(ValueText::Integer, 7.9), "7");
    EXPECT_EQ(Text(ValueText::FractionAsPercent, 0.2), "20 %");
    EXPECT_EQ(Text(ValueText::FractionAsPercent, 0.95), "95 %");
    // 7000 samples at 44100 Hz last 158.73 ms.
    EXPECT_EQ(Text(ValueText::SamplesAsMilliseconds, 7000.0), "158.7 ms");
}

TEST(ValueTextTest, APitchRatioSaysTheIntervalItSounds)
{
    EXPECT_EQ(Text(ValueText::PitchRatio, 1.0), "x1 (0 st)");
    EXPECT_EQ(Text(ValueText::PitchRatio, 2.0), "x2 (+12 st)");
    EXPECT_EQ(Text(ValueText::PitchRatio, 0.5), "x0.5 (-12 st)");
    // A fifth up: 2^(7/12).
    EXPECT_EQ(Text(ValueText::PitchRatio, std::pow(2.0, 7.0 / 12.0)), "x1.498 (+7 st)");
    EXPECT_EQ(Text(ValueText::PitchRatio, 2.04343), "x2.043 (+12.4 st)");
}
