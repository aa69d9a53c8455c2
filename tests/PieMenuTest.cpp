#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/App.h"
#include "app/AppControl.h"
#include "parameters/Parameter.h"
#include "sources/GrainCloud.h"
#include "ui/UIParameter.h"
#include "ui/UIPieMenu.h"
#include "ui/UISource.h"

namespace {

// A window twice as wide as high: a horizontal box-space offset is half the
// on-screen distance it stands for.
const int W = 1000;
const int H = 500;
const double ASPECT = 2.0;
const double CLOUD_X = 0.5;
const double CLOUD_Y = 0.6;

// A grain cloud, the current parameter provider, whose boxes the pie menu laid
// out when the cloud was added. Geometry is checked in screen heights.
class PieMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _app.SetWinSize(W, H);
        _app.AddGrainCloud(CLOUD_X * W, CLOUD_Y * H);
        _cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
        _cloud->SeedRandom(5);
        _menu = _app.GetPieMenu();
    }
    UIParameter* Box(int idx) { return _cloud->GetParameter(idx)->GetUI(); }
    // Offset of a box from the cloud's centre on screen, in screen heights, y down.
    double OffsetX(int idx) { return (Box(idx)->GetPosX() - CLOUD_X) * ASPECT; }
    double OffsetY(int idx) { return Box(idx)->GetPosY() - (1.0 - CLOUD_Y); }
    double Distance(int idx) { return std::hypot(OffsetX(idx), OffsetY(idx)); }
    // Drags the current box so that it lands at the on-screen offset (ox, oy)
    // from the centre, y down; the drag step is in scene units, y up.
    void DragBoxTo(int idx, double ox, double oy)
    {
        _menu->OnMouseDrag((ox - OffsetX(idx)) / ASPECT, -(oy - OffsetY(idx)));
    }

    App _app;
    GrainCloud* _cloud = nullptr;
    UIPieMenu* _menu = nullptr;
};

}  // namespace

TEST_F(PieMenuTest, BoxesSitEvenlyOnTheRingFirstToTheRightAtTheDistanceOfTheirValue)
{
    const int n = GrainCloud::NUM_PARAMS;
    for (int i = 0; i < n; i++) {
        Parameter* param = _cloud->GetParameter(i);
        const double expected = 0.2 + param->GetNormalizedValue() / param->GetSensivity();
        // In every direction, although x offsets count double in this window.
        EXPECT_NEAR(Distance(i), expected, 1e-9) << param->GetUI()->GetName();
        double angle = std::atan2(OffsetY(i), OffsetX(i));
        if (angle < -1e-9)
            angle += 2 * M_PI;
        EXPECT_NEAR(angle * 180 / M_PI, 360.0 * i / n, 1e-6) << param->GetUI()->GetName();
    }
    // The first box lies straight to the right; its box-space offset is half its distance.
    EXPECT_DOUBLE_EQ(Box(0)->GetPosY(), 1.0 - CLOUD_Y);
    const Parameter* voices = _cloud->GetParameter(GrainCloud::NUMGRAINS);
    EXPECT_NEAR(Box(0)->GetPosX() - CLOUD_X, (0.2 + voices->GetNormalizedValue() / voices->GetSensivity()) / 2, 1e-12);
}

TEST_F(PieMenuTest, AClosedMenuIgnoresPressesButDragsStillApply)
{
    ASSERT_FALSE(_menu->IsVisible());
    _cloud->SetCurrentParamIdx(GrainCloud::VOLUME);
    // A press right on the pitch box: an open menu would pick it.
    const double x = Box(GrainCloud::PITCH)->GetPosX() + 0.01;
    const double y = 1.0 - Box(GrainCloud::PITCH)->GetPosY();
    EXPECT_FALSE(_menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, x, y));
    EXPECT_FALSE(_menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, x, y));
    ASSERT_EQ(_app.GetCurrentSourceParamIdx(), GrainCloud::VOLUME);

    // Volume -60..6 dB at sensitivity 6: half way out of the ring is -27 dB.
    DragBoxTo(GrainCloud::VOLUME, 0.0, -(0.2 + 0.5 / 6));
    EXPECT_NEAR(_cloud->GetVolumeDb(), -27.0, 1e-4);
    EXPECT_STREQ(Box(GrainCloud::VOLUME)->GetValueStr(), "-27 dB");

    _menu->SetVisible(true);
    EXPECT_TRUE(_menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, x, y));
    EXPECT_EQ(_app.GetCurrentSourceParamIdx(), GrainCloud::PITCH);
}

TEST_F(PieMenuTest, DraggingOutwardRaisesInwardLowersSidewaysKeepsTheValue)
{
    _cloud->SetCurrentParamIdx(GrainCloud::PITCH);
    // Pitch 0.1..5 at sensitivity 1: a quarter out of the ring is 0.1 + 4.9 / 4.
    DragBoxTo(GrainCloud::PITCH, 0.0, 0.45);
    EXPECT_NEAR(_cloud->GetPitch(), 0.1 + 4.9 * 0.25, 1e-6);
    DragBoxTo(GrainCloud::PITCH, -0.45, 0.0);
    EXPECT_NEAR(_cloud->GetPitch(), 0.1 + 4.9 * 0.25, 1e-6) << "the same distance the other way round";
    DragBoxTo(GrainCloud::PITCH, -1.5, 0.0);
    EXPECT_DOUBLE_EQ(_cloud->GetPitch(), 5.0) << "beyond the ring's outer edge";
    DragBoxTo(GrainCloud::PITCH, 0.1, 0.1);
    EXPECT_DOUBLE_EQ(_cloud->GetPitch(), 0.1) << "inside the inner radius";
}

TEST_F(PieMenuTest, ABoxDraggedOntoTheCentreGivesZeroAndStaysThereWhenReplaced)
{
    _cloud->SetCurrentParamIdx(GrainCloud::VOLUME);
    DragBoxTo(GrainCloud::VOLUME, 0.0, 0.0);
    EXPECT_DOUBLE_EQ(_cloud->GetVolumeDb(), -60.0);
    EXPECT_DOUBLE_EQ(_cloud->GetParameter(GrainCloud::VOLUME)->GetNormalizedValue(), 0.0);

    // A value set elsewhere (typed): the box has no direction to move along.
    _cloud->SetVolumeDb(0.0);
    _menu->UpdateCurrentParamPos();
    EXPECT_DOUBLE_EQ(Box(GrainCloud::VOLUME)->GetPosX(), CLOUD_X);
    EXPECT_DOUBLE_EQ(Box(GrainCloud::VOLUME)->GetPosY(), 1.0 - CLOUD_Y);
}

TEST_F(PieMenuTest, ReplacingABoxKeepsItsDirectionAtTheNewValuesDistance)
{
    _cloud->SetCurrentParamIdx(GrainCloud::DURATION);
    // Up and to the left, at 45 degrees on screen.
    DragBoxTo(GrainCloud::DURATION, -0.2, -0.2);
    _cloud->SetDurationMs(5000.0);
    _menu->UpdateCurrentParamPos();
    const double s = _cloud->GetParameter(GrainCloud::DURATION)->GetSensivity();
    EXPECT_NEAR(OffsetX(GrainCloud::DURATION), -(0.2 + 1.0 / s) / std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(OffsetY(GrainCloud::DURATION), -(0.2 + 1.0 / s) / std::sqrt(2.0), 1e-6);
}
