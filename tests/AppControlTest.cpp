#include <gtest/gtest.h>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/CanvasView.h"

namespace {

const int NO_MOD = 0;

class AppControlTest : public ::testing::Test {
protected:
    void SetUp() override { _app.SetWinSize(800, 600); }
    App _app;
    AppControl& Control() { return *_app.GetControl(); }
};

TEST_F(AppControlTest, AnyKeySpecialKeyOrLeftClickLeavesTheTitleScreen)
{
    ASSERT_TRUE(_app.GetMenuFlag());
    Control().OnKeyboard('x', 0, 0, NO_MOD);
    EXPECT_FALSE(_app.GetMenuFlag());

    _app.SetMenuFlag(true);
    Control().OnSpecialKey(AppControl::KEY_SHIFT_L, 0, 0, NO_MOD);
    EXPECT_FALSE(_app.GetMenuFlag());

    _app.SetMenuFlag(true);
    Control().OnMouse(AppControl::BUTTON_RIGHT, AppControl::BUTTON_DOWN, 10, 10, NO_MOD);
    EXPECT_TRUE(_app.GetMenuFlag()) << "only the left button leaves the title screen";
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, 10, 10, NO_MOD);
    EXPECT_FALSE(_app.GetMenuFlag());
}

TEST_F(AppControlTest, ShiftEscIsANormalQuitThatEndsWithStatusZero)
{
    _app.SetMenuFlag(false);
    Control().OnKeyboard(AppControl::KEY_ESCAPE, 0, 0, AppControl::MOD_SHIFT);
    EXPECT_EQ(_app.GetExitStatus(), 0) << "a script must not take a quit for a failed start";
}

TEST_F(AppControlTest, F10AlwaysShowsTheTitleScreen)
{
    _app.SetMenuFlag(false);
    Control().OnSpecialKey(AppControl::KEY_F10, 0, 0, NO_MOD);
    EXPECT_TRUE(_app.GetMenuFlag());
    Control().OnSpecialKey(AppControl::KEY_F10, 0, 0, NO_MOD);
    EXPECT_TRUE(_app.GetMenuFlag()) << "F10 on the title screen keeps it";
}

TEST_F(AppControlTest, ShiftSlowsDragsTenfoldOnlyWhileHeld)
{
    EXPECT_EQ(Control().GetFineDragFactor(), 1.0);
    Control().OnSpecialKey(AppControl::KEY_SHIFT_L, 0, 0, AppControl::MOD_SHIFT);
    EXPECT_EQ(Control().GetFineDragFactor(), 0.1);
    Control().OnSpecialKeyUp(AppControl::KEY_SHIFT_L, 0, 0);
    EXPECT_EQ(Control().GetFineDragFactor(), 1.0);
}

TEST_F(AppControlTest, MouseCoordinatesFollowPanAndZoomWithYUp)
{
    Control().OnMousePassiveMotion(100, 50);
    EXPECT_EQ(Control().GetMouseX(), 100);
    EXPECT_EQ(Control().GetMouseY(), 550);
    // Scrolling right by 10 pixels shows the scene 10 pixels further left.
    Control().OnSpecialKey(AppControl::KEY_RIGHT, 0, 0, NO_MOD);
    EXPECT_EQ(Control().GetMouseX(), 110);
    Control().OnMousePassiveMotion(100, 50);
    EXPECT_EQ(Control().GetMouseX(), 110);
}

TEST_F(AppControlTest, UpAndDownShiftTheStoredPointerAgainstTheScroll)
{
    Control().OnMousePassiveMotion(100, 100);
    int y = Control().GetMouseY();
    Control().OnSpecialKey(AppControl::KEY_UP, 0, 0, NO_MOD);
    EXPECT_EQ(Control().GetMouseY(), y - 10);
    Control().OnSpecialKey(AppControl::KEY_DOWN, 0, 0, NO_MOD);
    EXPECT_EQ(Control().GetMouseY(), y);
}

TEST_F(AppControlTest, LeftAndRightWithOtherModifiersThanCtrlDoNothing)
{
    Control().OnMousePassiveMotion(100, 100);
    Control().OnSpecialKey(AppControl::KEY_LEFT, 0, 0, AppControl::MOD_SHIFT);
    Control().OnSpecialKey(AppControl::KEY_RIGHT, 0, 0, AppControl::MOD_ALT);
    EXPECT_EQ(_app.GetView()->GetPositionX(), 0.0);
    EXPECT_EQ(Control().GetMouseX(), 100);
}

TEST_F(AppControlTest, CtrlDragScrollsTheSceneWithThePointer)
{
    Control().OnSpecialKey(AppControl::KEY_CTRL_L, 0, 0, AppControl::MOD_CTRL);
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, 200, 200, AppControl::MOD_CTRL);
    Control().OnMouseDrag(230, 180);
    // Dragging right by 30 pixels moves the view offset 30 pixels left; up by 20 moves it 20 up.
    EXPECT_DOUBLE_EQ(_app.GetView()->GetPositionX(), -30.0);
    EXPECT_DOUBLE_EQ(_app.GetView()->GetPositionY(), -20.0);
    Control().OnSpecialKeyUp(AppControl::KEY_CTRL_L, 0, 0);
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, 230, 180, NO_MOD);
    Control().OnMouseDrag(300, 300);
    EXPECT_DOUBLE_EQ(_app.GetView()->GetPositionX(), -30.0) << "no button held: no scroll";
}

}  // namespace
