#include <gtest/gtest.h>

#include <GL/freeglut.h>

#include <cmath>
#include <vector>

#include "app/App.h"
#include "app/Time.h"
#include "parameters/Parameter.h"
#include "ui/UICanvas.h"
#include "ui/UICheckboxWidget.h"
#include "ui/UIKnobWidget.h"
#include "ui/UIStyleManager.h"
#include "ui/UIWidget.h"
#include "ui/UIWindow.h"

namespace {

const int LEFT = GLUT_LEFT_BUTTON;
const int RIGHT = GLUT_RIGHT_BUTTON;
const int DOWN = GLUT_DOWN;
const int UP = GLUT_UP;

// An effect-like parameter that keeps what it is given and counts refreshes.
class RecordingParameter : public Parameter {
public:
    RecordingParameter(double minValue, double maxValue, double defaultValue, double powFactor) : Parameter(nullptr, 0)
    {
        _minValue = minValue;
        _maxValue = maxValue;
        _defaultValue = defaultValue;
        _value = defaultValue;
        _powFactor = powFactor;
    }
    void SetValue(ParameterProvider*, double) override {}
    void SetValue(double value) override { _value = value; }
    void UpdateValue() override { _updates++; }
    int _updates = 0;
};

struct DragReport {
    double nx, ny, dx, dy;
    bool inside;
};

class RecordingCanvas : public UICanvas {
public:
    RecordingCanvas(UIScreen* screen, UIStyle* style, const char* title)
        : UICanvas(screen, style, title, 0.25, 0.25, 0.5, 0.5)
    {
    }
    void OnMouseDragNorm(double nx, double ny, double dx, double dy, bool inside) override
    {
        _reports.push_back({nx, ny, dx, dy, inside});
    }
    std::vector<DragReport> _reports;
};

class WidgetTest : public ::testing::Test {
protected:
    // One application for the suite: it only provides the screen size here.
    static void SetUpTestSuite() { _app = new App(); }
    static void TearDownTestSuite()
    {
        delete _app;
        _app = nullptr;
    }
    void SetUp() override { _app->SetWinSize(1000, 500); }
    UIScreen* Screen() { return _app->GetScreen(); }
    UIStyle* Style() { return _styles.GetCurrentStyle(); }

    static App* _app;
    UIStyleManager _styles;
};

App* WidgetTest::_app = nullptr;

void ExpectRect(double x, double y, double w, double h, double gx, double gy, double gw, double gh)
{
    EXPECT_NEAR(x, gx, 1e-12);
    EXPECT_NEAR(y, gy, 1e-12);
    EXPECT_NEAR(w, gw, 1e-12);
    EXPECT_NEAR(h, gh, 1e-12);
}

}  // namespace

TEST_F(WidgetTest, CornersArePixelsWithYUp)
{
    double c[4][2];
    UIWidget::ComputeCorners(c, Screen(), 0.1, 0.2, 0.5, 0.4);
    const double expected[4][2] = {{100, 400}, {600, 400}, {600, 200}, {100, 200}};
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(expected[i][0], c[i][0], 1e-9) << i;
        EXPECT_NEAR(expected[i][1], c[i][1], 1e-9) << i;
    }
    // A resize rescales everything in proportion.
    _app->SetWinSize(2000, 1000);
    UIWidget::ComputeCorners(c, Screen(), 0.1, 0.2, 0.5, 0.4);
    EXPECT_NEAR(1200.0, c[2][0], 1e-9);
    EXPECT_NEAR(400.0, c[2][1], 1e-9);
}

TEST_F(WidgetTest, AlphaPulseFollowsTheAudioClock)
{
    Time* time = Time::Instance();
    const double start = time->GetSeconds();
    const double expected[][2] = {{0.0, 0.8}, {1.0, 1.0}, {2.0, 0.8}, {3.0, 0.6}, {5.0, 1.0}};
    for (const auto& e : expected) {
        time->AddSeconds(e[0] - time->GetSeconds());
        EXPECT_NEAR(e[1], UIWidget::GetAlphaPulse(), 1e-12) << "t=" << e[0];
    }
    time->AddSeconds(start - time->GetSeconds());
}

TEST_F(WidgetTest, ContentsRectLeavesRoomForTheTitle)
{
    double x, y, w, h;
    UIWindow window(Screen(), Style(), "Effects", 0.1, 0.1, 0.8, 0.8);
    window.GetContentsRect(&x, &y, &w, &h);
    ExpectRect(0.1, 0.1 + 0.0434 + 0.015, 0.8, 0.8 - 0.0434 - 0.03, x, y, w, h);

    UICanvas titled(Screen(), Style(), "LFO", 0.1, 0.1, 0.8, 0.8);
    titled.GetContentsRect(&x, &y, &w, &h);
    ExpectRect(0.1, 0.1 + 0.0434 + 0.015, 0.8, 0.8 - 0.0434 - 0.03, x, y, w, h);

    UICanvas untitled(Screen(), Style(), "", 0.1, 0.1, 0.8, 0.8);
    untitled.GetContentsRect(&x, &y, &w, &h);
    ExpectRect(0.1, 0.115, 0.8, 0.77, x, y, w, h);
}

TEST_F(WidgetTest, PickIncludesAllEdgesButTheBottom)
{
    RecordingCanvas canvas(Screen(), Style(), "");
    EXPECT_FALSE(canvas.Pick(0.5, 0.5));  // hidden until its window is shown
    canvas.SetVisible(true);
    EXPECT_TRUE(canvas.Pick(0.25, 0.5));   // left
    EXPECT_TRUE(canvas.Pick(0.75, 0.5));   // right
    EXPECT_TRUE(canvas.Pick(0.5, 0.25));   // top
    EXPECT_FALSE(canvas.Pick(0.5, 0.75));  // bottom
    EXPECT_TRUE(canvas.Pick(0.5, 0.7499));
    EXPECT_FALSE(canvas.Pick(0.2499, 0.5));
    EXPECT_FALSE(canvas.Pick(0.7501, 0.5));
    EXPECT_FALSE(canvas.Pick(0.5, 0.2499));
    canvas.SetVisible(false);
    EXPECT_FALSE(canvas.Pick(0.5, 0.5));
}

TEST_F(WidgetTest, WindowVisibilityCascadesToItsCanvases)
{
    UIWindow window(Screen(), Style(), "LFO", 0.01, 0.01, 0.25, 0.25);
    RecordingCanvas canvas(Screen(), Style(), "");
    window.AddCanvas(&canvas);
    EXPECT_TRUE(window.IsVisible());
    window.SetVisible(false);
    EXPECT_FALSE(window.IsVisible());
    EXPECT_FALSE(canvas.Pick(0.5, 0.5));
    window.SetVisible(true);
    EXPECT_TRUE(canvas.Pick(0.5, 0.5));
}

TEST_F(WidgetTest, CanvasDragReportsRelativePositionAndLeavesTheCanvas)
{
    RecordingCanvas canvas(Screen(), Style(), "");
    canvas.SetVisible(true);
    canvas.OnMouseDrag(0.6, 0.5, 1.0);  // no press yet
    EXPECT_TRUE(canvas._reports.empty());

    canvas.OnMouse(LEFT, DOWN, 0.5, 0.5);
    canvas.OnMouseDrag(0.625, 0.5, 1.0);
    canvas.OnMouseDrag(0.875, 0.375, 1.0);
    canvas.OnMouseDrag(0.8875, 0.375, 0.1);
    ASSERT_EQ(3u, canvas._reports.size());
    const DragReport& in = canvas._reports[0];
    EXPECT_DOUBLE_EQ(0.75, in.nx);
    EXPECT_DOUBLE_EQ(0.5, in.ny);
    EXPECT_DOUBLE_EQ(0.25, in.dx);
    EXPECT_DOUBLE_EQ(0.0, in.dy);
    EXPECT_TRUE(in.inside);
    const DragReport& out = canvas._reports[1];
    EXPECT_DOUBLE_EQ(1.25, out.nx);
    EXPECT_DOUBLE_EQ(0.25, out.ny);
    EXPECT_DOUBLE_EQ(0.5, out.dx);
    EXPECT_DOUBLE_EQ(-0.25, out.dy);
    EXPECT_FALSE(out.inside);
    // The fine factor scales the movement, not the position.
    EXPECT_NEAR(1.275, canvas._reports[2].nx, 1e-12);
    EXPECT_NEAR(0.0025, canvas._reports[2].dx, 1e-12);

    // Releasing outside the canvas still ends the drag.
    canvas.OnMouse(LEFT, UP, 0.95, 0.95);
    canvas.OnMouseDrag(0.5, 0.5, 1.0);
    EXPECT_EQ(3u, canvas._reports.size());
}

TEST_F(WidgetTest, CanvasDragStartsOnlyFromAVisibleInsidePress)
{
    RecordingCanvas canvas(Screen(), Style(), "");
    canvas.OnMouse(LEFT, DOWN, 0.5, 0.5);  // hidden
    canvas.OnMouseDrag(0.6, 0.5, 1.0);
    canvas.SetVisible(true);
    canvas.OnMouse(LEFT, DOWN, 0.5, 0.75);  // on the bottom edge
    canvas.OnMouseDrag(0.6, 0.5, 1.0);
    canvas.OnMouse(RIGHT, DOWN, 0.5, 0.5);
    canvas.OnMouseDrag(0.6, 0.5, 1.0);
    EXPECT_TRUE(canvas._reports.empty());
    canvas.OnMouse(LEFT, DOWN, 0.25, 0.25);  // top-left corner
    canvas.OnMouseDrag(0.3, 0.25, 1.0);
    ASSERT_EQ(1u, canvas._reports.size());
    EXPECT_DOUBLE_EQ(0.1, canvas._reports[0].dx);
}

TEST_F(WidgetTest, BindingAParameterRefreshesIt)
{
    RecordingParameter param(0.0, 1.0, 0.5, 1.0);
    UIKnobWidget knob(Screen(), Style(), "Dry/Wet", 0.25, 0.25, 0.1, 0.2);
    EXPECT_EQ(nullptr, knob.GetParameter());
    knob.SetParameter(&param);
    EXPECT_EQ(&param, knob.GetParameter());
    EXPECT_EQ(1, param._updates);
}

TEST_F(WidgetTest, KnobDragTurnsTheNormalisedValue)
{
    RecordingParameter param(0.0, 1.0, 0.5, 1.0);
    UIKnobWidget knob(Screen(), Style(), "Feedback", 0.25, 0.25, 0.1, 0.2);
    knob.SetParameter(&param);
    knob.SetVisible(true);

    knob.OnMouseDrag(0.4, 0.3, 1.0);  // no press: nothing
    EXPECT_DOUBLE_EQ(0.5, param.GetValue());

    knob.OnMouse(LEFT, DOWN, 0.3, 0.3);
    // Mostly horizontal: 3 * (W/H) * dx with W/H = 2.
    knob.OnMouseDrag(0.31, 0.301, 1.0);
    EXPECT_NEAR(0.5 + 3 * 2 * 0.01, param.GetValue(), 1e-9);
    // Mostly vertical, upwards: 3 * |dy|.
    knob.OnMouseDrag(0.311, 0.281, 1.0);
    EXPECT_NEAR(0.56 + 3 * 0.02, param.GetValue(), 1e-9);
    // Downwards decreases, scaled by the fine factor.
    knob.OnMouseDrag(0.311, 0.381, 0.1);
    EXPECT_NEAR(0.62 - 3 * 0.01, param.GetValue(), 1e-9);

    // The value stays within the bounds.
    knob.OnMouseDrag(0.311, -0.5, 1.0);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());
    knob.OnMouseDrag(0.311, 0.9, 1.0);
    EXPECT_DOUBLE_EQ(0.0, param.GetValue());

    // A release anywhere stops the knob.
    knob.OnMouse(LEFT, UP, 0.9, 0.9);
    knob.OnMouseDrag(0.311, 0.5, 1.0);
    EXPECT_DOUBLE_EQ(0.0, param.GetValue());
}

TEST_F(WidgetTest, KnobWorksInNormalisedSpaceOfACurvedParameter)
{
    // pow factor 2 over 0..100: 25 sits at the middle of the knob.
    RecordingParameter param(0.0, 100.0, 25.0, 2.0);
    UIKnobWidget knob(Screen(), Style(), "Time", 0.25, 0.25, 0.1, 0.2);
    knob.SetParameter(&param);
    knob.SetVisible(true);
    knob.OnMouse(LEFT, DOWN, 0.3, 0.3);
    knob.OnMouseDrag(0.31, 0.3, 1.0);
    EXPECT_NEAR(100.0 * 0.56 * 0.56, param.GetValue(), 1e-9);
}

TEST_F(WidgetTest, RightPressRestoresTheDefault)
{
    RecordingParameter param(0.0, 1.0, 0.25, 1.0);
    param.SetValue(0.9);
    UIKnobWidget knob(Screen(), Style(), "Gain", 0.25, 0.25, 0.1, 0.2);
    knob.SetParameter(&param);
    knob.SetVisible(true);
    knob.OnMouse(RIGHT, DOWN, 0.5, 0.5);  // outside
    EXPECT_DOUBLE_EQ(0.9, param.GetValue());
    knob.OnMouse(RIGHT, DOWN, 0.3, 0.3);
    EXPECT_DOUBLE_EQ(0.25, param.GetValue());
    // The right button does not turn the knob.
    knob.OnMouseDrag(0.35, 0.3, 1.0);
    EXPECT_DOUBLE_EQ(0.25, param.GetValue());
}

TEST_F(WidgetTest, CheckboxTogglesOncePerLeftPress)
{
    RecordingParameter param(0.0, 1.0, 1.0, 1.0);
    param.SetValue(0.0);
    UICheckboxWidget box(Screen(), Style(), "On", 0.25, 0.25, 0.05, 0.1);
    box.SetParameter(&param);
    box.SetVisible(true);

    box.OnMouse(LEFT, DOWN, 0.26, 0.26);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());
    box.OnMouse(LEFT, UP, 0.26, 0.26);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());
    box.OnMouse(LEFT, DOWN, 0.26, 0.26);
    box.OnMouse(LEFT, UP, 0.26, 0.26);
    EXPECT_DOUBLE_EQ(0.0, param.GetValue());

    box.OnMouse(LEFT, DOWN, 0.5, 0.5);  // outside
    box.OnMouse(LEFT, UP, 0.5, 0.5);
    EXPECT_DOUBLE_EQ(0.0, param.GetValue());

    // Half-way values flip by the 0.5 threshold.
    param.SetValue(0.5);
    box.OnMouse(LEFT, DOWN, 0.26, 0.26);
    box.OnMouse(LEFT, UP, 0.26, 0.26);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());
    param.SetValue(0.7);
    box.OnMouse(LEFT, DOWN, 0.26, 0.26);
    box.OnMouse(LEFT, UP, 0.26, 0.26);
    EXPECT_DOUBLE_EQ(0.0, param.GetValue());

    // Right press restores the default without toggling.
    box.OnMouse(RIGHT, DOWN, 0.26, 0.26);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());

    box.SetVisible(false);
    box.OnMouse(LEFT, DOWN, 0.26, 0.26);
    EXPECT_DOUBLE_EQ(1.0, param.GetValue());
}
