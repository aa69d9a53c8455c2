#include <gtest/gtest.h>

#include <cmath>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/CanvasView.h"
#include "parameters/Parameter.h"
#include "sources/GrainCloud.h"
#include "ui/UIParameter.h"
#include "ui/UIPieMenu.h"
#include "ui/UISource.h"

namespace {

const int W = 960;
const int H = 600;
const double CLOUD_X = 0.5;
const double CLOUD_Y = 0.6;

// A grain cloud, the current parameter provider, whose boxes the pie menu
// laid out when the cloud was added. Boxes are in window pixels, y up.
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
    const PieBox& Box(int idx) { return _cloud->GetParameter(idx)->GetUI()->GetBox(); }
    // The cloud's centre on screen, through the pan and zoom.
    double CentreX() { return CLOUD_X * W * _app.GetView()->GetZoom() - _app.GetView()->GetPositionX(); }
    double CentreY() { return CLOUD_Y * H * _app.GetView()->GetZoom() - _app.GetView()->GetPositionY(); }
    // A window pixel as the scene units the menu receives.
    double SceneX(double x) { return (x + _app.GetView()->GetPositionX()) / (W * _app.GetView()->GetZoom()); }
    double SceneY(double y) { return (y + _app.GetView()->GetPositionY()) / (H * _app.GetView()->GetZoom()); }
    // Drags the current box by `pixels` on screen along the line from the
    // centre to the box (outward when positive) and `across` pixels across it.
    void Drag(int idx, double pixels, double across = 0.0)
    {
        const double ox = Box(idx).CenterX() - CentreX(), oy = Box(idx).CenterY() - CentreY();
        const double length = std::hypot(ox, oy);
        const double ux = ox / length, uy = oy / length;
        const double dx = pixels * ux - across * uy, dy = pixels * uy + across * ux;
        _menu->OnMouseDrag(dx / (W * _app.GetView()->GetZoom()), dy / (H * _app.GetView()->GetZoom()));
    }

    App _app;
    GrainCloud* _cloud = nullptr;
    UIPieMenu* _menu = nullptr;
};

}  // namespace

TEST_F(PieMenuTest, BoxesRingTheCloudOnScreenAndKeepTheirSizeAtAnyZoom)
{
    // Voices, the first box, straight right of the cloud at its height.
    EXPECT_GT(Box(GrainCloud::NUMGRAINS).left, CentreX());
    EXPECT_LT(Box(GrainCloud::NUMGRAINS).bottom, CentreY());
    EXPECT_GT(Box(GrainCloud::NUMGRAINS).Top(), CentreY());
    // Direction, a quarter of the ring further on (6 of 15), on the left.
    EXPECT_LT(Box(GrainCloud::DIRECTION).Right(), CentreX());
    const double width = Box(GrainCloud::PITCH).width, height = Box(GrainCloud::PITCH).height;

    // Zoomed in twice about the window's centre and scrolled: the boxes
    // follow the cloud on screen at the same size.
    _app.GetView()->ApplyZoom(2.0, W / 2.0, H / 2.0);
    _app.GetView()->TranslatePositionX(-100);
    _menu->SetVisible(true);
    _menu->InitFromParameters();
    EXPECT_GT(Box(GrainCloud::NUMGRAINS).left, CentreX());
    EXPECT_LT(Box(GrainCloud::NUMGRAINS).bottom, CentreY());
    EXPECT_GT(Box(GrainCloud::NUMGRAINS).Top(), CentreY());
    EXPECT_LT(Box(GrainCloud::DIRECTION).Right(), CentreX());
    EXPECT_DOUBLE_EQ(Box(GrainCloud::PITCH).width, width);
    EXPECT_DOUBLE_EQ(Box(GrainCloud::PITCH).height, height);
}

TEST_F(PieMenuTest, APressPicksTheBoxUnderItAtAnyPanAndZoom)
{
    _menu->SetVisible(true);
    _app.GetView()->ApplyZoom(0.5, 100, 100);
    _app.GetView()->TranslatePositionY(40);
    _menu->InitFromParameters();
    for (int idx : {int(GrainCloud::PITCH), int(GrainCloud::VOLUME), int(GrainCloud::NUMGRAINS)}) {
        const PieBox box = Box(idx);
        EXPECT_TRUE(_menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, SceneX(box.left + 2),
                                   SceneY(box.CenterY())));
        EXPECT_EQ(_app.GetCurrentSourceParamIdx(), idx);
    }
    // Beside every box: no pick.
    EXPECT_FALSE(
        _menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, SceneX(CentreX()), SceneY(CentreY())));
    EXPECT_EQ(_app.GetCurrentSourceParamIdx(), -1);
}

TEST_F(PieMenuTest, AClosedMenuIgnoresPressesButDragsStillApply)
{
    ASSERT_FALSE(_menu->IsVisible());
    _cloud->SetCurrentParamIdx(GrainCloud::VOLUME);
    const PieBox pitch = Box(GrainCloud::PITCH);
    const double x = SceneX(pitch.CenterX()), y = SceneY(pitch.CenterY());
    EXPECT_FALSE(_menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, x, y));
    EXPECT_FALSE(_menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, x, y));
    ASSERT_EQ(_app.GetCurrentSourceParamIdx(), GrainCloud::VOLUME);

    // Volume -60..6 dB at sensitivity 6: a sixth of the window's height
    // inward sweeps the whole range, a twelfth half of it.
    Drag(GrainCloud::VOLUME, -H / 12.0);
    EXPECT_NEAR(_cloud->GetVolumeDb(), -33.0, 1e-4);
    EXPECT_STREQ(_cloud->GetParameter(GrainCloud::VOLUME)->GetUI()->GetValueStr(), "-33 dB");

    _menu->SetVisible(true);
    EXPECT_TRUE(_menu->OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, x, y));
    EXPECT_EQ(_app.GetCurrentSourceParamIdx(), GrainCloud::PITCH);
}

TEST_F(PieMenuTest, DraggingOutwardRaisesInwardLowersSidewaysKeepsTheValue)
{
    _cloud->SetCurrentParamIdx(GrainCloud::PITCH);
    // Pitch 0.1..5 at sensitivity 1, from 1: a tenth of the height outward
    // adds a tenth of the range; under zoom the screen step counts the same.
    _app.GetView()->ApplyZoom(2.0, W / 2.0, H / 2.0);
    Drag(GrainCloud::PITCH, H / 10.0);
    EXPECT_NEAR(_cloud->GetPitch(), 1.0 + 0.49, 1e-6);
    Drag(GrainCloud::PITCH, 0.0, 200.0);
    EXPECT_NEAR(_cloud->GetPitch(), 1.0 + 0.49, 1e-6) << "across the line to the centre";
    Drag(GrainCloud::PITCH, -H / 20.0);
    EXPECT_NEAR(_cloud->GetPitch(), 1.0 + 0.245, 1e-6);
    Drag(GrainCloud::PITCH, 5.0 * H);
    EXPECT_DOUBLE_EQ(_cloud->GetPitch(), 5.0) << "far beyond the range";
    Drag(GrainCloud::PITCH, -H / 10.0);
    EXPECT_NEAR(_cloud->GetPitch(), 5.0 - 0.49, 1e-6) << "the way back starts at the top of the range";
}

TEST_F(PieMenuTest, SlowDragStepsAddUpOnParametersThatMoveInWholeSteps)
{
    // Voices 1..100 at sensitivity 3: a voice is 2 pixels of a 600-pixel
    // window, more than any single step of this drag. 20 pixels in half
    // pixel steps add 9.9 voices to the cloud's 6, counted whole.
    _cloud->SetCurrentParamIdx(GrainCloud::NUMGRAINS);
    ASSERT_EQ(_cloud->GetNumGrains(), 6u);
    for (int i = 0; i < 40; i++)
        Drag(GrainCloud::NUMGRAINS, 0.5);
    EXPECT_EQ(_cloud->GetNumGrains(), 15u);
}
