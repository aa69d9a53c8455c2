#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/App.h"
#include "parameters/Parameter.h"
#include "ui/UIParameter.h"

namespace {

// A linear 0..10 parameter whose value the tests set directly.
class PlainParameter : public Parameter {
public:
    explicit PlainParameter(App* app) : Parameter(app, 0)
    {
        _minValue = 0.0;
        _maxValue = 10.0;
        _value = 0.0;
    }
    void SetValue(ParameterProvider*, double) override {}
    void SetValue(double value) override { _value = value; }
    void UpdateValue() override {}
};

class UIParameterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // 1000 x 500 pixels: one pixel is 0.001 in x and 0.002 in y.
        _app.SetWinSize(1000, 500);
        _ui.SetPosition(0.5, 0.25);
    }

    App _app;
    PlainParameter _param{nullptr};
    UIParameter _ui{&_param, _app.GetScreen(), nullptr};
};

}  // namespace

TEST_F(UIParameterTest, StartsEmptyAtTheOrigin)
{
    UIParameter ui(&_param, _app.GetScreen(), nullptr);
    EXPECT_STREQ("", ui.GetName());
    EXPECT_STREQ("", ui.GetValueStr());
    EXPECT_DOUBLE_EQ(0.0, ui.GetPosX());
    EXPECT_DOUBLE_EQ(0.0, ui.GetPosY());
}

TEST_F(UIParameterTest, TextsAreCutAt254Characters)
{
    _ui.SetName("Pitch");
    _ui.SetValueStr("2.00");
    EXPECT_STREQ("Pitch", _ui.GetName());
    EXPECT_STREQ("2.00", _ui.GetValueStr());

    const std::string longText(300, 'v');
    _ui.SetName(longText.c_str());
    _ui.SetValueStr(longText.c_str());
    EXPECT_EQ(longText.substr(0, 254), _ui.GetName());
    EXPECT_EQ(longText.substr(0, 254), _ui.GetValueStr());
}

TEST_F(UIParameterTest, TranslationMovesTheAnchor)
{
    _ui.TranslateX(0.125);
    _ui.TranslateY(-0.0625);
    EXPECT_DOUBLE_EQ(0.625, _ui.GetPosX());
    EXPECT_DOUBLE_EQ(0.1875, _ui.GetPosY());
}

TEST_F(UIParameterTest, PickAreaReachesFourPixelsLeftAndTwoHundredSixtyRight)
{
    const double px = 0.001;
    EXPECT_TRUE(_ui.Pick(0.5, 0.25));
    EXPECT_TRUE(_ui.Pick(0.5 - 3.5 * px, 0.25));
    EXPECT_FALSE(_ui.Pick(0.5 - 4.5 * px, 0.25));
    // Beyond the drawn frame (256 pixels) but still inside the pick area.
    EXPECT_TRUE(_ui.Pick(0.5 + 258 * px, 0.25));
    EXPECT_FALSE(_ui.Pick(0.5 + 261 * px, 0.25));
}

TEST_F(UIParameterTest, PickUsesBoxSpaceWithYDown)
{
    const double py = 0.002;
    // The box reaches 14 pixels up (smaller y) and 4 pixels down (larger y).
    EXPECT_TRUE(_ui.Pick(0.6, 0.25 - 13 * py));
    EXPECT_FALSE(_ui.Pick(0.6, 0.25 - 15 * py));
    EXPECT_TRUE(_ui.Pick(0.6, 0.25 + 3 * py));
    EXPECT_FALSE(_ui.Pick(0.6, 0.25 + 5 * py));
}

TEST_F(UIParameterTest, PickIsStrictOnEveryEdge)
{
    // Anchor and window chosen so that every edge is an exact binary value.
    _app.SetWinSize(1024, 512);
    _ui.SetPosition(0.5, 0.5);
    const double left = 0.5 - 4.0 / 1024;
    const double right = 0.5 + 260.0 / 1024;
    const double top = 0.5 - 14.0 / 512;
    const double bottom = 0.5 + 4.0 / 512;
    EXPECT_FALSE(_ui.Pick(left, 0.5));
    EXPECT_FALSE(_ui.Pick(right, 0.5));
    EXPECT_FALSE(_ui.Pick(0.6, top));
    EXPECT_FALSE(_ui.Pick(0.6, bottom));
    EXPECT_TRUE(_ui.Pick(std::nextafter(left, 1.0), std::nextafter(top, 1.0)));
    EXPECT_TRUE(_ui.Pick(std::nextafter(right, 0.0), std::nextafter(bottom, 0.0)));
}

TEST_F(UIParameterTest, MeterRunsFromAStubToAQuarterOfTheScreen)
{
    _param.SetValue(0.0);
    EXPECT_DOUBLE_EQ(0.004, _ui.GetMeterLength());
    _param.SetValue(10.0);
    EXPECT_DOUBLE_EQ(0.25, _ui.GetMeterLength());
    _param.SetValue(5.0);
    EXPECT_DOUBLE_EQ(0.004 + 0.123, _ui.GetMeterLength());
}

TEST_F(UIParameterTest, LinkStopsTheOwnerRadiusShortOfItsCentre)
{
    // Box at (0.5, 0.25) in box space: the meter's left end is the pixel
    // (500, (1 - 0.25 - 0.015) * 500) = (500, 367.5).
    double from[2];
    double to[2];
    // Owner 100 pixels right of the meter end, radius 30 pixels.
    _ui.ComputeLinkLine(0.6, 0.735, 30.0, from, to);
    EXPECT_DOUBLE_EQ(500.0, from[0]);
    EXPECT_DOUBLE_EQ(367.5, from[1]);
    EXPECT_NEAR(570.0, to[0], 1e-9);
    EXPECT_NEAR(367.5, to[1], 1e-9);

    // Owner 30 pixels left and 40 up (distance 50), radius 20: the end lies
    // 30 pixels along that direction.
    _ui.ComputeLinkLine(0.47, 0.815, 20.0, from, to);
    EXPECT_NEAR(500.0 - 18.0, to[0], 1e-9);
    EXPECT_NEAR(367.5 + 24.0, to[1], 1e-9);
}

TEST_F(UIParameterTest, LinkPointsAwayWhenTheOwnerIsCloserThanItsRadius)
{
    double from[2];
    double to[2];
    // Owner 10 pixels right, radius 30: the end is 20 pixels to the left.
    _ui.ComputeLinkLine(0.51, 0.735, 30.0, from, to);
    EXPECT_NEAR(480.0, to[0], 1e-9);
    EXPECT_NEAR(367.5, to[1], 1e-9);
}

TEST_F(UIParameterTest, LinkFromTheOwnerCentreItselfStaysFinite)
{
    double from[2];
    double to[2];
    _ui.ComputeLinkLine(0.5, 0.735, 30.0, from, to);
    EXPECT_TRUE(std::isfinite(to[0]));
    EXPECT_TRUE(std::isfinite(to[1]));
    EXPECT_DOUBLE_EQ(from[0], to[0]);
    EXPECT_DOUBLE_EQ(from[1], to[1]);
}
