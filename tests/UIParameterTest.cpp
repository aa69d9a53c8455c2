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

// A box 200 by 26 pixels with its bottom left corner at (500, 300), y up.
class UIParameterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(1000, 500);
        _ui.SetBox(PieBox{500.0, 300.0, 200.0, 26.0}, PieMenuLayout::FULL_TEXT_SCALE);
    }

    App _app;
    PlainParameter _param{nullptr};
    UIParameter _ui{&_param, _app.GetScreen(), nullptr};
};

}  // namespace

TEST_F(UIParameterTest, TextsAreCutAt254CharactersAndJoinedWithAColon)
{
    UIParameter ui(&_param, _app.GetScreen(), nullptr);
    EXPECT_STREQ("", ui.GetName());
    EXPECT_STREQ("", ui.GetValueStr());
    _ui.SetName("Pitch");
    _ui.SetValueStr("x2 (+12 st)");
    char label[600];
    _ui.GetLabel(label, sizeof(label));
    EXPECT_STREQ("Pitch: x2 (+12 st)", label);
    EXPECT_EQ(_ui.GetLabelLength(), strlen(label));

    const std::string longText(300, 'v');
    _ui.SetName(longText.c_str());
    _ui.SetValueStr(longText.c_str());
    EXPECT_EQ(longText.substr(0, 254), _ui.GetName());
    EXPECT_EQ(longText.substr(0, 254), _ui.GetValueStr());
}

TEST_F(UIParameterTest, APendingValueEndsWithTheCaretUntilApplied)
{
    _ui.SetName("Pitch");
    _ui.SetValueStr("2.5");
    _ui.SetPending(true);
    char label[600];
    _ui.GetLabel(label, sizeof(label));
    EXPECT_STREQ("Pitch: 2.5_", label);
    EXPECT_EQ(_ui.GetLabelLength(), strlen("Pitch: 2.5_"));
    // Nothing typed yet: the caret alone says where the digits go.
    _ui.SetValueStr("");
    _ui.GetLabel(label, sizeof(label));
    EXPECT_STREQ("Pitch: _", label);
    _ui.SetPending(false);
    _ui.GetLabel(label, sizeof(label));
    EXPECT_STREQ("Pitch: ", label);
}

TEST_F(UIParameterTest, PickTakesTheBoxWithItsLeftAndBottomEdgesOnly)
{
    EXPECT_TRUE(_ui.Pick(500.0, 300.0));
    EXPECT_TRUE(_ui.Pick(std::nextafter(700.0, 0.0), std::nextafter(326.0, 0.0)));
    EXPECT_FALSE(_ui.Pick(700.0, 310.0));
    EXPECT_FALSE(_ui.Pick(600.0, 326.0));
    EXPECT_FALSE(_ui.Pick(std::nextafter(500.0, 0.0), 310.0));
    EXPECT_FALSE(_ui.Pick(600.0, std::nextafter(300.0, 0.0)));
}

TEST_F(UIParameterTest, MeterRunsFromAStubToTheBoxsInnerWidth)
{
    _param.SetValue(0.0);
    EXPECT_DOUBLE_EQ(4.0, _ui.GetMeterLength());
    _param.SetValue(10.0);
    EXPECT_DOUBLE_EQ(200.0 - 2 * PieMenuLayout::TEXT_PADDING, _ui.GetMeterLength());
    _param.SetValue(5.0);
    EXPECT_DOUBLE_EQ(4.0 + 0.5 * (190.0 - 4.0), _ui.GetMeterLength());
    // Smaller text, a smaller stub.
    _ui.SetBox(PieBox{500.0, 300.0, 100.0, 13.0}, 0.5 * PieMenuLayout::FULL_TEXT_SCALE);
    _param.SetValue(0.0);
    EXPECT_DOUBLE_EQ(2.0, _ui.GetMeterLength());
}

TEST_F(UIParameterTest, LinkRunsFromTheEdgeFacingTheCentreAndStopsTheOwnerRadiusShort)
{
    double from[2];
    double to[2];
    // Owner 100 pixels left of the box's left edge at its middle height, radius 30.
    _ui.ComputeLinkLine(400.0, 313.0, 30.0, from, to);
    EXPECT_DOUBLE_EQ(500.0, from[0]);
    EXPECT_DOUBLE_EQ(313.0, from[1]);
    EXPECT_NEAR(430.0, to[0], 1e-9);
    EXPECT_NEAR(313.0, to[1], 1e-9);

    // Owner right of the box: the line leaves its right edge. 30 right and
    // 40 up (distance 50), radius 20: the end lies 30 along that direction.
    _ui.ComputeLinkLine(730.0, 353.0, 20.0, from, to);
    EXPECT_DOUBLE_EQ(700.0, from[0]);
    EXPECT_NEAR(700.0 + 18.0, to[0], 1e-9);
    EXPECT_NEAR(313.0 + 24.0, to[1], 1e-9);
}

TEST_F(UIParameterTest, NoLinkWhenTheBoxLiesWithinTheOwnersRadius)
{
    double from[2];
    double to[2];
    _ui.ComputeLinkLine(490.0, 313.0, 30.0, from, to);
    EXPECT_DOUBLE_EQ(from[0], to[0]);
    EXPECT_DOUBLE_EQ(from[1], to[1]);
    _ui.ComputeLinkLine(500.0, 313.0, 30.0, from, to);
    EXPECT_TRUE(std::isfinite(to[0]));
    EXPECT_DOUBLE_EQ(from[0], to[0]);
}
