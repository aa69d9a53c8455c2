#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "SineFile.h"
#include "app/App.h"
#include "app/AppControl.h"
#include "app/CanvasView.h"
#include "app/Controllers.h"
#include "app/ParamValueEditor.h"
#include "app/ScreenMessage.h"
#include "app/Selection.h"
#include "app/SourceReleases.h"
#include "effects/DcBlocker.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "effects/SafetyLimiter.h"
#include "midi/MidiLearn.h"
#include "midi/MidiQueue.h"
#include "parameters/Parameter.h"
#include "sound/EngineRate.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "sources/GrainSource.h"
#include "sources/Source.h"
#include "ui/UIOverlays.h"
#include "ui/UIParameter.h"
#include "ui/UIPieMenu.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"
#include "ui/UISourceView.h"

namespace {

const int W = 1000;
const int H = 500;
const int NO_MOD = 0;

// A scene of three sound rects in a window of W x H pixels, loaded the way the
// instrument loads them, with the rects placed where each test wants them.
class SceneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zoltasceneXXXXXX";
        _dir = mkdtemp(pattern);
        for (int i = 0; i < 3; i++)
            WriteSine(_dir + "/s" + std::to_string(i) + ".wav", 4410);
        _app.SetWinSize(W, H);
        _app.SetAudioPath(_dir + "/");
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        ASSERT_TRUE(_app.LoadSounds());
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(_app.GetSoundRects().size(), 3u);
        // Out of the way until a test places them.
        for (int i = 0; i < 3; i++)
            Place(i, 5.0 + i, 5.0, 0.1, 0.1);
        // The performer has left the title screen.
        _app.SetMenuFlag(false);
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf " + _dir;
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    UISoundRect* View(int i) { return _app.GetSoundRects()[i]->GetUI(); }
    // Centre and size in window fractions.
    void Place(int i, double x, double y, double w, double h)
    {
        View(i)->SetDimensions(w, h);
        View(i)->UpdateRectPosition(x, y);
    }
    AppControl& Control() { return *_app.GetControl(); }
    // Window pixels (y down) of a canvas point given in window fractions (y up), at zoom 1 and no pan.
    int PixelX(double nx) { return int(nx * W); }
    int PixelY(double ny) { return int(H - ny * H); }
    void Click(double nx, double ny)
    {
        Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, PixelX(nx), PixelY(ny), NO_MOD);
        Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, PixelX(nx), PixelY(ny), NO_MOD);
    }
    // Window pixels (y down) of a point just inside a parameter box's left edge.
    int BoxX(const UIParameter* box) { return int(box->GetBox().left) + 10; }
    int BoxY(const UIParameter* box) { return H - int(box->GetBox().CenterY()); }
    // Holds the left button on a parameter box and drags the pointer by
    // (dx, dy) window pixels, y down, in steps of 10 pixels.
    void DragBox(const UIParameter* box, int dx, int dy)
    {
        int x = BoxX(box), y = BoxY(box);
        Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, x, y, NO_MOD);
        const int steps = std::max(1, std::max(std::abs(dx), std::abs(dy)) / 10);
        for (int i = 1; i <= steps; i++)
            Control().OnMouseDrag(x + dx * i / steps, y + dy * i / steps);
        Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, x + dx, y + dy, NO_MOD);
    }
    void AddCloudAt(double nx, double ny)
    {
        Control().OnMousePassiveMotion(PixelX(nx), PixelY(ny));
        Control().OnKeyboard('1', 0, 0, NO_MOD);
    }
    std::string _dir;
    App _app;
};

TEST_F(SceneTest, KeyOneAddsASelectedCloudAtThePointerAndDeselectsTheRect)
{
    Place(0, 0.5, 0.5, 0.4, 0.4);
    Click(0.5, 0.5);
    ASSERT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 0);
    AddCloudAt(0.3, 0.6);
    ASSERT_EQ(_app.GetSources().size(), 1u);
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), 0);
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), -1);
    EXPECT_NEAR(_app.GetSources()[0]->GetUI()->GetX(), 0.3, 1.0 / W);
    EXPECT_NEAR(_app.GetSources()[0]->GetUI()->GetY(), 0.6, 1.0 / H);
    AddCloudAt(0.7, 0.6);
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), 1) << "the newest cloud is selected";
    EXPECT_EQ(_app.GetNoteSources().size(), 2u);
}

TEST_F(SceneTest, ClickingOverlappingRectsKeepsTheSelectedOneElseTakesTheFirst)
{
    Place(0, 0.5, 0.5, 0.4, 0.4);
    Place(1, 0.6, 0.5, 0.4, 0.4);
    Place(2, 0.65, 0.5, 0.4, 0.4);
    Click(0.75, 0.5);  // only rects 1 and 2 lie here
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 1);
    Click(0.55, 0.5);  // all three: rect 1 was selected and is still under the pointer
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 1);
    EXPECT_TRUE(View(1)->GetSelectState());
    Click(0.82, 0.5);  // only rect 2
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 2);
    EXPECT_FALSE(View(1)->GetSelectState());
    Click(0.55, 0.5);  // all three, rect 2 selected before: it stays
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 2);
    Click(0.05, 0.95);  // empty canvas
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), -1);
    EXPECT_FALSE(View(2)->GetSelectState());
}

TEST_F(SceneTest, ASourceOverARectWinsTheClick)
{
    Place(0, 0.5, 0.5, 0.4, 0.4);
    AddCloudAt(0.5, 0.5);
    Click(0.2, 0.9);
    ASSERT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), -1);
    Click(0.5, 0.5);
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), 0);
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), -1);
}

TEST_F(SceneTest, DraggingMovesTheSelectedSourceOrRectByThePointerStep)
{
    Place(0, 0.5, 0.5, 0.2, 0.2);
    Click(0.5, 0.5);
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, 500, 250, NO_MOD);
    Control().OnMouseDrag(550, 200);
    EXPECT_NEAR(View(0)->GetX(), 0.55, 1e-9);
    EXPECT_NEAR(View(0)->GetY(), 0.6, 1e-9);
    // With Shift held the same pointer move goes ten times less far.
    Control().OnSpecialKey(AppControl::KEY_SHIFT_L, 0, 0, AppControl::MOD_SHIFT);
    Control().OnMouseDrag(600, 150);
    EXPECT_NEAR(View(0)->GetX(), 0.555, 1e-9);
    EXPECT_NEAR(View(0)->GetY(), 0.61, 1e-9);
}

// The rect's corners on screen, window pixels with y down: left, top, right, bottom.
struct ScreenRect {
    double left, top, right, bottom;
};

TEST_F(SceneTest, ResizingMovesTheCornerUnderThePointerOneToOneAtAnyZoomAndKeepsTheOppositeOne)
{
    for (unsigned char key : {AppControl::KEY_RESIZE, AppControl::KEY_RESIZE_US}) {
        for (double zoom : {1.0, 2.0, 0.5}) {
            SCOPED_TRACE(std::to_string(key) + " at zoom " + std::to_string(zoom));
            _app.GetView()->ApplyZoom(zoom / _app.GetView()->GetZoom(), 0, 0);
            Place(0, 0.5, 0.5, 0.2, 0.2);
            auto onScreen = [&]() {
                const double z = _app.GetView()->GetZoom(), px = _app.GetView()->GetPositionX(),
                             py = _app.GetView()->GetPositionY();
                const UISoundRect* v = View(0);
                return ScreenRect{(v->GetX() - 0.5 * v->GetWidth()) * W * z - px,
                                  H - ((v->GetY() + 0.5 * v->GetHeight()) * H * z - py),
                                  (v->GetX() + 0.5 * v->GetWidth()) * W * z - px,
                                  H - ((v->GetY() - 0.5 * v->GetHeight()) * H * z - py)};
            };
            const ScreenRect before = onScreen();
            // Pressed just inside the top right corner, dragged 80 pixels right and 40 up.
            const int x = int(before.right) - 4, y = int(before.top) + 4;
            Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, x, y, NO_MOD);
            ASSERT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 0);
            Control().OnKeyboard(key, 0, 0, NO_MOD);
            ASSERT_EQ(_app.GetSelection()->GetDragMode(), 1);
            for (int step = 1; step <= 8; step++)
                Control().OnMouseDrag(x + 10 * step, y - 5 * step);
            Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, x + 80, y - 40, NO_MOD);
            Control().OnKeyUp(key, 0, 0);
            EXPECT_EQ(_app.GetSelection()->GetDragMode(), 0);
            const ScreenRect after = onScreen();
            // One scene pixel of rounding in the pointer's position, at most.
            const double slack = 1.0 * zoom + 1e-9;
            EXPECT_NEAR(after.right, before.right + 80, slack);
            EXPECT_NEAR(after.top, before.top - 40, slack);
            EXPECT_NEAR(after.left, before.left, 1e-9) << "the opposite corner stays";
            EXPECT_NEAR(after.bottom, before.bottom, 1e-9);
        }
    }
}

TEST_F(SceneTest, ResizingStopsAtTheSmallestSizeWithoutMovingTheRect)
{
    Place(0, 0.5, 0.5, 0.2, 0.2);  // 200 x 100 pixels around (500, 250)
    Click(0.5, 0.5);
    Control().OnKeyboard(AppControl::KEY_RESIZE_US, 0, 0, NO_MOD);
    // The left edge dragged 300 pixels right: the rect keeps its 60-pixel
    // smallest width and its right edge.
    _app.GetSelection()->ScaleSoundRect(400, 250, 300, 0);
    EXPECT_NEAR(View(0)->GetWidth() * W, 200, 1e-9);
    _app.GetSelection()->ScaleSoundRect(400, 250, 130, 0);
    EXPECT_NEAR(View(0)->GetWidth() * W, 70, 1e-9);
    EXPECT_NEAR((View(0)->GetX() + 0.5 * View(0)->GetWidth()) * W, 600, 1e-9);
    EXPECT_NEAR(View(0)->GetHeight() * H, 100, 1e-9);
    Control().OnKeyUp(AppControl::KEY_RESIZE_US, 0, 0);
}

TEST_F(SceneTest, ReleasingTheResizeKeyMakesTheNextDragStepZero)
{
    Place(0, 0.5, 0.5, 0.2, 0.2);
    Click(0.5, 0.5);
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, 500, 250, NO_MOD);
    Control().OnKeyboard(AppControl::KEY_RESIZE, 0, 0, NO_MOD);
    Control().OnKeyUp(AppControl::KEY_RESIZE, 0, 0);
    Control().OnMouseDrag(560, 250);
    EXPECT_NEAR(View(0)->GetX(), 0.5, 1e-12) << "first step after the release is zero";
    Control().OnMouseDrag(570, 250);
    EXPECT_NEAR(View(0)->GetX(), 0.51, 1e-9);
}

TEST_F(SceneTest, ZoomKeepsThePointUnderTheCentreAndStopsAtAQuarter)
{
    auto canvasX = [&](double windowX) {
        return (_app.GetView()->GetPositionX() + windowX) / _app.GetView()->GetZoom();
    };
    auto canvasY = [&](double windowY) {
        return (_app.GetView()->GetPositionY() + windowY) / _app.GetView()->GetZoom();
    };
    double beforeX = canvasX(300), beforeY = canvasY(120);
    _app.GetView()->ApplyZoom(1.7, 300, 120);
    EXPECT_DOUBLE_EQ(_app.GetView()->GetZoom(), 1.7);
    EXPECT_NEAR(canvasX(300), beforeX, 1e-9);
    EXPECT_NEAR(canvasY(120), beforeY, 1e-9);
    _app.GetView()->ApplyZoom(0.1, 10, 10);
    EXPECT_DOUBLE_EQ(_app.GetView()->GetZoom(), 1.7) << "below 0.25: ignored";
    EXPECT_NEAR(canvasX(300), beforeX, 1e-9);
    // The wheel zooms by 10 % a step about the pointer.
    Control().OnMouseWheel(0, -1, 300, H - 120);
    EXPECT_DOUBLE_EQ(_app.GetView()->GetZoom(), 1.7 * 0.9);
    EXPECT_NEAR(canvasX(300), beforeX, 1e-9);
}

TEST_F(SceneTest, AltDragZoomsAboutWhereAltWasPressed)
{
    Control().OnSpecialKey(AppControl::KEY_ALT_L, 200, 100, AppControl::MOD_ALT);
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, 200, 100, AppControl::MOD_ALT);
    Control().OnMouseDrag(200, 120);  // 20 px down: dy = -20 in canvas units
    EXPECT_DOUBLE_EQ(_app.GetView()->GetZoom(), 1.1);
}

TEST_F(SceneTest, BackspaceRemovesTheSelectedSourceOnlyWhenNothingIsTyped)
{
    AddCloudAt(0.3, 0.3);
    _app.GetParamEditor()->BeginParamStringEditing();
    Control().OnKeyboard('4', 0, 0, NO_MOD);
    Control().OnKeyboard(AppControl::KEY_BACKSPACE, 0, 0, NO_MOD);
    EXPECT_EQ(_app.GetSources().size(), 1u) << "Backspace edited the typed value";
    EXPECT_EQ(_app.GetParamValueString(), nullptr);
    Control().OnKeyboard(AppControl::KEY_ESCAPE, 0, 0, NO_MOD);
    ASSERT_FALSE(_app.GetParamEditor()->IsEditingParamString());
    Control().OnKeyboard(AppControl::KEY_BACKSPACE, 0, 0, NO_MOD);
    EXPECT_TRUE(_app.GetSources().empty());
    EXPECT_TRUE(_app.GetNoteSources().empty());
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), -1);
}

TEST_F(SceneTest, TypedValueModeCapturesDigitsAndPutsTheSignInFront)
{
    AddCloudAt(0.3, 0.3);
    _app.GetParamEditor()->BeginParamStringEditing();
    for (unsigned char key : {'3', '&', '.', '5', '-'})
        Control().OnKeyboard(key, 0, 0, NO_MOD);
    ASSERT_NE(_app.GetParamValueString(), nullptr);
    EXPECT_STREQ(_app.GetParamValueString(), "-31.5");
    EXPECT_EQ(_app.GetSources().size(), 1u) << "'1' typed a digit instead of adding a cloud";
    Control().OnMouseWheel(0, 1, 10, 10);
    EXPECT_EQ(_app.GetView()->GetZoom(), 1.0) << "the wheel does nothing while typing";
    Control().OnKeyboard(AppControl::KEY_ENTER, 0, 0, NO_MOD);
    EXPECT_FALSE(_app.GetParamEditor()->IsEditingParamString());
    EXPECT_EQ(_app.GetParamValueString(), nullptr);
}

TEST_F(SceneTest, TypedDurationBelowAMillisecondAppliesOneMillisecond)
{
    AddCloudAt(0.3, 0.3);
    GrainCloud* cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
    cloud->SetCurrentParamIdx(GrainCloud::DURATION);
    _app.GetParamEditor()->BeginParamStringEditing();
    for (unsigned char key : {'0', '.', '5'})
        Control().OnKeyboard(key, 0, 0, NO_MOD);
    Control().OnKeyboard(AppControl::KEY_ENTER, 0, 0, NO_MOD);
    EXPECT_DOUBLE_EQ(cloud->GetDurationMs(), 1.0);
    EXPECT_DOUBLE_EQ(cloud->GetParameter(GrainCloud::DURATION)->GetValue(), 1.0);
}

TEST_F(SceneTest, WithoutACurrentParameterATypedValueChangesNothing)
{
    Place(0, 0.5, 0.5, 0.4, 0.4);
    Click(0.5, 0.5);
    View(0)->PickParameters(-100, -100);
    ASSERT_EQ(_app.GetCurrentRectParamIdx(), -1);
    _app.GetParamEditor()->BeginParamStringEditing();
    for (unsigned char key : {'1', '.', '9'})
        Control().OnKeyboard(key, 0, 0, NO_MOD);
    Control().OnKeyboard(AppControl::KEY_ENTER, 0, 0, NO_MOD);
    EXPECT_EQ(View(0)->GetRectType(), UISoundRect::WAVEFORM);
    EXPECT_FALSE(_app.GetParamEditor()->IsEditingParamString()) << "Enter ends the mode all the same";
}

TEST_F(SceneTest, TypedRectTypeIsTruncatedNotRounded)
{
    Place(0, 0.5, 0.5, 0.4, 0.4);
    Click(0.5, 0.5);
    // Only the type's box lies at the picked point.
    for (int i = 0; i < View(0)->GetNumParams(); i++)
        View(0)->GetParameter(i)->GetUI()->SetBox(PieBox{5000.0, 5000.0, 100.0, 20.0}, 0.1);
    View(0)->GetParameter(UISoundRect::TYPE)->GetUI()->SetBox(PieBox{200.0, 300.0, 100.0, 20.0}, 0.1);
    ASSERT_TRUE(View(0)->PickParameters(210.0, 310.0));
    ASSERT_EQ(_app.GetCurrentRectParamIdx(), UISoundRect::TYPE);
    _app.GetParamEditor()->BeginParamStringEditing();
    for (unsigned char key : {'1', '.', '9'})
        Control().OnKeyboard(key, 0, 0, NO_MOD);
    Control().OnKeyboard(AppControl::KEY_ENTER, 0, 0, NO_MOD);
    EXPECT_EQ(View(0)->GetRectType(), UISoundRect::SPECTROGRAM);
}

TEST_F(SceneTest, SourcesRenderOnlyOffTheTitleScreen)
{
    Place(0, 0.5, 0.5, 0.6, 0.6);
    AddCloudAt(0.5, 0.5);
    // The cloud seeds its generator with the time: fix it, and the voices' directions with it.
    GrainCloud* cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
    cloud->SeedRandom(3);
    cloud->SetDirection(GrainCloud::RANDOM_DIR);
    std::vector<float> out(2 * 1024);
    _app.SetMenuFlag(true);
    double energy = 0;
    for (int b = 0; b < 20; b++) {
        _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
        for (float v : out)
            energy += v * v;
    }
    EXPECT_EQ(energy, 0.0);
    _app.SetMenuFlag(false);
    for (int b = 0; b < 40; b++) {
        _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
        for (float v : out) {
            ASSERT_TRUE(std::isfinite(v));
            ASSERT_LE(std::fabs(v), 1.0f);
            energy += v * v;
        }
    }
    EXPECT_GT(energy, 1.0);
}

TEST_F(SceneTest, NoteSourcesFollowTheirSourceWhenAnEarlierOneIsRemoved)
{
    AddCloudAt(0.2, 0.2);
    AddCloudAt(0.8, 0.8);
    MidiQueue* queue = _app.GetControllers()->GetMidiQueue();
    queue->PushMessage(0, {0x90, 84, 100});  // the selected (second) cloud gets a note
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[1].size(), 1u);
    Source* note = _app.GetNoteSources()[1][0];
    EXPECT_EQ(note->GetId(), _app.GetSources()[1]->GetId());
    EXPECT_DOUBLE_EQ(note->GetMidiNotePitch(), 2.0);
    Click(0.2, 0.2);
    Control().OnKeyboard(AppControl::KEY_DELETE, 0, 0, NO_MOD);
    ASSERT_EQ(_app.GetSources().size(), 1u);
    ASSERT_EQ(_app.GetNoteSources().size(), 1u);
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u);
    EXPECT_EQ(_app.GetNoteSources()[0][0], note);
    EXPECT_TRUE(_app.GetControllers()->IsPlayingNoteSource());
    queue->PushMessage(0, {0x80, 84, 0});
    _app.GetControllers()->UpdateMidiIn();
    EXPECT_FALSE(_app.GetControllers()->IsPlayingNoteSource());
}

TEST_F(SceneTest, ANoteOnOfVelocityZeroEndsTheNoteLikeANoteOff)
{
    AddCloudAt(0.5, 0.5);
    MidiQueue* queue = _app.GetControllers()->GetMidiQueue();
    queue->PushMessage(0, {0x90, 60, 100});
    queue->PushMessage(0, {0x90, 67, 90});
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 2u);
    queue->PushMessage(0, {0x90, 60, 0});
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u);
    EXPECT_EQ(_app.GetNoteSources()[0][0]->GetMidiNote(), 67);
}

TEST_F(SceneTest, MidiLostToAFullQueueIsSaidOnScreenAtMostOnceASecond)
{
    MidiQueue* notes = _app.GetControllers()->GetMidiQueue();
    MidiQueue* knobs = _app.GetControllers()->GetMidiLearn()->GetQueue();
    const auto burst = [&](MidiQueue* queue, size_t count, std::vector<unsigned char> message) {
        for (size_t i = 0; i < count; i++)
            queue->PushMessage(0, message);
    };
    burst(notes, MidiQueue::CAPACITY + 6, {0xF8});
    burst(knobs, MidiQueue::CAPACITY + 1, {0xB0, 21, 64});
    _app.GetControllers()->UpdateMidiIn();
    const std::string said = _app.GetMessage()->GetText();
    EXPECT_NE(said.find("MIDI input: 7 messages lost"), std::string::npos) << said;
    EXPECT_TRUE(_app.GetMessage()->IsError());
    // More lost within the second: said with the next message, not now.
    burst(notes, MidiQueue::CAPACITY + 2, {0xF8});
    _app.GetControllers()->UpdateMidiIn();
    EXPECT_EQ(_app.GetMessage()->GetText(), said);
}

TEST(NoteKeyTest, LettersOfTheThreeRowsMapAroundNote72)
{
    EXPECT_EQ(AppControl::NoteOfKey('w'), 60);
    EXPECT_EQ(AppControl::NoteOfKey('N'), 65);
    EXPECT_EQ(AppControl::NoteOfKey('q'), 65);
    EXPECT_EQ(AppControl::NoteOfKey('J'), 71);
    EXPECT_EQ(AppControl::NoteOfKey('k'), 72);
    EXPECT_EQ(AppControl::NoteOfKey('a'), 72);
    EXPECT_EQ(AppControl::NoteOfKey('M'), 74);
    EXPECT_EQ(AppControl::NoteOfKey('p'), 81);
    EXPECT_EQ(AppControl::NoteOfKey('1'), -1);
    EXPECT_EQ(AppControl::NoteOfKey(' '), -1);
    // Every letter plays, from 60 to 81.
    for (char c = 'a'; c <= 'z'; c++) {
        int note = AppControl::NoteOfKey(c);
        EXPECT_GE(note, 60) << c;
        EXPECT_LE(note, 81) << c;
    }
}

}  // namespace

TEST_F(SceneTest, EveryRectsBoxesOpenAroundItWhereverItWasMoved)
{
    // The rects were moved after loading: Space lays their boxes out where they are now.
    for (int i = 0; i < 3; i++)
        Place(i, 0.15 + 0.2 * i, 0.5, 0.1, 0.1);
    for (int i = 0; i < 3; i++) {
        Click(0.15 + 0.2 * i, 0.5);
        ASSERT_EQ(_app.GetSelection()->GetSelectedRectIndex(), i);
        Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
        ASSERT_TRUE(_app.IsPieMenuOpen()) << i;
        // Type, the first box, right of the centre, about its height.
        const PieBox& type = View(i)->GetParameter(UISoundRect::TYPE)->GetUI()->GetBox();
        EXPECT_GT(type.left, View(i)->GetX() * W) << i;
        EXPECT_NEAR(type.CenterY(), 0.5 * H, PieMenuLayout::BOX_HEIGHT) << i;
        Control().OnKeyUp(AppControl::KEY_SPACE, 0, 0);
    }
}

TEST_F(SceneTest, SpaceOpensTheMenuOverASelectionOnlyAndReleasingItKeepsTheValues)
{
    Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
    EXPECT_FALSE(_app.IsPieMenuOpen()) << "nothing is selected";
    Control().OnKeyUp(AppControl::KEY_SPACE, 0, 0);

    Place(0, 0.5, 0.5, 0.6, 0.6);
    AddCloudAt(0.5, 0.6);
    GrainCloud* cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
    Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
    ASSERT_TRUE(_app.IsPieMenuOpen());
    // From the volume box to the cloud's centre and beyond: -60 dB.
    const UIParameter* volume = cloud->GetParameter(GrainCloud::VOLUME)->GetUI();
    DragBox(volume, 2 * (int(0.5 * W) - BoxX(volume)), 2 * (int((1.0 - 0.6) * H) - BoxY(volume)));
    EXPECT_DOUBLE_EQ(cloud->GetVolumeDb(), -60.0);
    EXPECT_NEAR(cloud->GetUI()->GetX(), 0.5, 1.0 / W) << "the cloud stays where it is";
    EXPECT_NEAR(cloud->GetUI()->GetY(), 0.6, 1.0 / H);

    // The voices box, right of the cloud, 42 pixels further out: 0.07 screen heights, some twenty voices.
    const UIParameter* voices = cloud->GetParameter(GrainCloud::NUMGRAINS)->GetUI();
    const double voicesBefore = cloud->GetNumGrains();
    DragBox(voices, 42, 0);
    EXPECT_GT(cloud->GetNumGrains(), voicesBefore);

    Control().OnKeyUp(AppControl::KEY_SPACE, 0, 0);
    EXPECT_FALSE(_app.IsPieMenuOpen());
    EXPECT_EQ(_app.GetCurrentSourceParamIdx(), -1);
    EXPECT_DOUBLE_EQ(cloud->GetVolumeDb(), -60.0);
}

TEST_F(SceneTest, DraggingARectsTypeBoxSwitchesItsDisplay)
{
    Place(0, 0.5, 0.5, 0.6, 0.6);
    Click(0.3, 0.5);
    ASSERT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 0);
    Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
    const UIParameter* type = View(0)->GetParameter(UISoundRect::TYPE)->GetUI();
    // Sensitivity 6 over 0..2: 50 pixels outward, 0.1 screen heights, add
    // about 1.2 (a little less, the box being a little below the centre).
    DragBox(type, 50, 0);
    EXPECT_EQ(View(0)->GetRectType(), UISoundRect::SPECTROGRAM);
    EXPECT_STREQ(type->GetValueStr(), "SPECTROGRAM");
    DragBox(type, 100, 0);
    EXPECT_EQ(View(0)->GetRectType(), UISoundRect::CHROMAGRAM);
    DragBox(type, -200, 0);
    EXPECT_EQ(View(0)->GetRectType(), UISoundRect::WAVEFORM);
    EXPECT_NEAR(View(0)->GetX(), 0.5, 1e-12) << "the rect stays where it is";
}

TEST_F(SceneTest, AClickBesideTheBoxesSelectsAnewAndEnterClosesTheMenu)
{
    Place(0, 0.5, 0.5, 0.6, 0.6);
    AddCloudAt(0.5, 0.5);
    Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
    Click(0.25, 0.75);
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), -1);
    EXPECT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 0);
    EXPECT_TRUE(_app.IsPieMenuOpen()) << "now around the rect";
    Control().OnKeyboard(AppControl::KEY_ENTER, 0, 0, NO_MOD);
    EXPECT_FALSE(_app.IsPieMenuOpen());
}

TEST_F(SceneTest, NoteCopiesFollowADraggedParameter)
{
    AddCloudAt(0.5, 0.5);
    GrainCloud* cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
    _app.GetControllers()->GetMidiQueue()->PushMessage(0, {0x90, 60, 100});
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u);
    GrainCloud* note = static_cast<GrainCloud*>(_app.GetNoteSources()[0][0]);
    Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
    DragBox(cloud->GetParameter(GrainCloud::PITCH)->GetUI(), 0, 100);
    EXPECT_NE(cloud->GetPitch(), 1.0);
    EXPECT_DOUBLE_EQ(note->GetPitch(), cloud->GetPitch());
}

TEST_F(SceneTest, ARightClickOnABoxTypesItsValueAndEnterAppliesIt)
{
    AddCloudAt(0.5, 0.5);
    GrainCloud* cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
    Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
    const UIParameter* pitch = cloud->GetParameter(GrainCloud::PITCH)->GetUI();
    const int x = BoxX(pitch), y = BoxY(pitch);
    Control().OnMouse(AppControl::BUTTON_RIGHT, AppControl::BUTTON_DOWN, x, y, NO_MOD);
    Control().OnMouse(AppControl::BUTTON_RIGHT, AppControl::BUTTON_UP, x, y, NO_MOD);
    ASSERT_TRUE(_app.GetParamEditor()->IsEditingParamString());
    ASSERT_EQ(_app.GetCurrentSourceParamIdx(), GrainCloud::PITCH);
    Control().OnKeyUp(AppControl::KEY_SPACE, 0, 0);
    EXPECT_TRUE(_app.IsPieMenuOpen()) << "open until the value is entered";
    for (unsigned char key : {'2', '.', '5'})
        Control().OnKeyboard(key, 0, 0, NO_MOD);
    Control().OnKeyboard(AppControl::KEY_ENTER, 0, 0, NO_MOD);
    EXPECT_DOUBLE_EQ(cloud->GetPitch(), 2.5);
    EXPECT_FALSE(_app.IsPieMenuOpen()) << "Space is no longer held";
    EXPECT_STREQ(pitch->GetValueStr(), "x2.5 (+15.9 st)");
    EXPECT_FALSE(pitch->IsPending());

    // Again with Space held: pending while typed, applied by Enter, and the menu stays.
    Control().OnKeyboard(AppControl::KEY_SPACE, 0, 0, NO_MOD);
    Control().OnMouse(AppControl::BUTTON_RIGHT, AppControl::BUTTON_DOWN, x, y, NO_MOD);
    Control().OnMouse(AppControl::BUTTON_RIGHT, AppControl::BUTTON_UP, x, y, NO_MOD);
    for (unsigned char key : {'4', '.', '5'})
        Control().OnKeyboard(key, 0, 0, NO_MOD);
    _app.GetPieMenu()->InitFromParameters();
    EXPECT_TRUE(pitch->IsPending());
    EXPECT_STREQ(pitch->GetValueStr(), "4.5");
    EXPECT_DOUBLE_EQ(cloud->GetPitch(), 2.5) << "not applied yet";
    Control().OnKeyboard(AppControl::KEY_ENTER, 0, 0, NO_MOD);
    _app.GetPieMenu()->InitFromParameters();
    EXPECT_DOUBLE_EQ(cloud->GetPitch(), 4.5);
    EXPECT_FALSE(pitch->IsPending());
    EXPECT_TRUE(_app.IsPieMenuOpen()) << "Space is still held";
    Control().OnKeyUp(AppControl::KEY_SPACE, 0, 0);
    EXPECT_FALSE(_app.IsPieMenuOpen());
}

namespace {

// Renders blocks until the loop is loud at the block's end, and returns that
// last left sample (0 when it never got loud).
float RenderUntilLoudAtTheEnd(App* app, std::vector<float>* out)
{
    for (int b = 0; b < 200; b++) {
        app->OnAudio(out->data(), nullptr, 1024, 0, 0, nullptr);
        const float last = (*out)[2 * 1023];
        if (std::fabs(last) > 0.05f)
            return last;
    }
    return 0.0f;
}

// The two blocks after the sound was taken away: they go on from where the
// sound was, and from the end of the fade on (heard through the safety
// limiter's look-ahead) nothing comes out but the DC blocker's tail, the
// offset of the last milliseconds dying away: each frame the pole times the
// one before, down to exact silence under -120 dBFS.
void ExpectFadeOut(App* app, float last)
{
    const unsigned silentFrom = SourceReleases::FadeFrames() + SafetyLimiter::GetLatencyFrames();
    std::vector<float> out(2 * 1024), left;
    for (int b = 0; b < 2; b++) {
        app->OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
        for (unsigned i = 0; i < 1024; i++)
            left.push_back(out[2 * i]);
    }
    EXPECT_NEAR(left[0], last, 0.05f);
    EXPECT_NE(left[0], 0.0f);
    for (unsigned i = 1; i < silentFrom; i++)
        ASSERT_LE(std::fabs(left[i]), std::fabs(left[0]) * 2.0f) << "frame " << i;
    const double pole = DcBlocker(EngineRate::Get()).GetPole();
    for (unsigned i = silentFrom + 1; i < left.size(); i++) {
        const double expected = std::fabs(pole * left[i - 1]) < DcBlocker::SILENCE ? 0.0 : pole * left[i - 1];
        ASSERT_NEAR(left[i], expected, 1e-9) << "frame " << i;
    }
    ASSERT_LT(std::fabs(left[silentFrom]), 1e-3f) << "only an offset's tail is left";
}

}  // namespace

TEST_F(SceneTest, ARemovedLoopFadesOutWithinOneBlock)
{
    Place(0, 0.5, 0.5, 0.6, 0.6);
    Control().OnMousePassiveMotion(PixelX(0.5), PixelY(0.5));
    Control().OnKeyboard('3', 0, 0, NO_MOD);
    ASSERT_EQ(_app.GetSources().size(), 1u);
    ASSERT_EQ(_app.GetCurrentSource()->GetSourceType(), Source::LOOP_SOURCE);
    std::vector<float> out(2 * 1024);
    const float last = RenderUntilLoudAtTheEnd(&_app, &out);
    ASSERT_NE(last, 0.0f);
    Control().OnKeyboard(AppControl::KEY_DELETE, 0, 0, NO_MOD);
    ASSERT_TRUE(_app.GetSources().empty());
    ExpectFadeOut(&_app, last);
}

TEST_F(SceneTest, TheTitleScreenFadesTheSourcesOut)
{
    Place(0, 0.5, 0.5, 0.6, 0.6);
    Control().OnMousePassiveMotion(PixelX(0.5), PixelY(0.5));
    Control().OnKeyboard('3', 0, 0, NO_MOD);
    std::vector<float> out(2 * 1024);
    const float last = RenderUntilLoudAtTheEnd(&_app, &out);
    ASSERT_NE(last, 0.0f);
    Control().OnSpecialKey(AppControl::KEY_F10, 0, 0, NO_MOD);
    ASSERT_TRUE(_app.GetMenuFlag());
    ExpectFadeOut(&_app, last);
}

TEST_F(SceneTest, ALoopBackFromItsNoteFadesInInsteadOfSteppingIn)
{
    Place(0, 0.5, 0.5, 0.6, 0.6);
    Control().OnMousePassiveMotion(PixelX(0.5), PixelY(0.5));
    Control().OnKeyboard('3', 0, 0, NO_MOD);
    std::vector<float> out(2 * 1024);
    ASSERT_NE(RenderUntilLoudAtTheEnd(&_app, &out), 0.0f);
    // A note whose copy is all but silent: what comes after it is the loop's own return.
    MidiQueue* queue = _app.GetControllers()->GetMidiQueue();
    queue->PushMessage(0, {0x90, 72, 100});
    _app.GetControllers()->UpdateMidiIn();
    ASSERT_EQ(_app.GetNoteSources()[0].size(), 1u);
    static_cast<GrainSource*>(_app.GetNoteSources()[0][0])->SetVolumeDb(-60.0);
    for (int b = 0; b < 4; b++)
        _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
    queue->PushMessage(0, {0x80, 72, 0});
    _app.GetControllers()->UpdateMidiIn();
    _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
    // The block's sound starts after the limiter's look-ahead; the loop rises
    // from nothing over the fade and is back at its level after it.
    const unsigned start = SafetyLimiter::GetLatencyFrames();
    float opening = 0.0f, after = 0.0f;
    for (unsigned i = start; i < start + 4; i++)
        opening = std::max(opening, std::fabs(out[2 * i]));
    for (unsigned i = start + SourceReleases::FadeFrames(); i < 1024; i++)
        after = std::max(after, std::fabs(out[2 * i]));
    EXPECT_GT(after, 0.05f);
    EXPECT_LT(opening, 0.05f * after);
}

TEST_F(SceneTest, KeysTwoThreeAndTheFrenchQuoteAddSingleGrainsAndLoops)
{
    Control().OnMousePassiveMotion(PixelX(0.3), PixelY(0.6));
    Control().OnKeyboard('2', 0, 0, NO_MOD);
    Control().OnKeyboard('3', 0, 0, NO_MOD);
    Control().OnKeyboard('"', 0, 0, NO_MOD);
    ASSERT_EQ(_app.GetSources().size(), 3u);
    EXPECT_EQ(_app.GetSources()[0]->GetSourceType(), Source::SINGLE_GRAIN);
    EXPECT_EQ(_app.GetSources()[1]->GetSourceType(), Source::LOOP_SOURCE);
    EXPECT_EQ(_app.GetSources()[2]->GetSourceType(), Source::LOOP_SOURCE);
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), 2);
    EXPECT_NEAR(_app.GetSources()[0]->GetUI()->GetX(), 0.3, 1e-3);
    EXPECT_NEAR(_app.GetSources()[0]->GetUI()->GetY(), 0.6, 1e-3);
    EXPECT_EQ(_app.GetNoteSources().size(), 3u);
    // While a value is typed the digits are text.
    _app.GetParamEditor()->BeginParamStringEditing();
    Control().OnKeyboard('2', 0, 0, NO_MOD);
    Control().OnKeyboard('"', 0, 0, NO_MOD);
    EXPECT_STREQ(_app.GetParamValueString(), "23");
    EXPECT_EQ(_app.GetSources().size(), 3u);
}

TEST_F(SceneTest, WhateverTheSourcesDoTheOutputIsFiniteAndWithinFullScale)
{
    // Eight clouds over three rects, one rect holding NaN and huge samples,
    // every chain turned up to +12 dB: the mix alone would reach far beyond
    // full scale and carry NaN.
    std::vector<float> bad(2 * 4410);
    for (size_t i = 0; i < bad.size(); i++)
        bad[i] = float(0.5 * sin(0.01 * i));
    bad[1000] = NAN;
    bad[3001] = INFINITY;
    bad[5000] = 3e38f;
    _app.GetSoundRects()[0]->AssociateSamples(bad, 4410, 2);
    for (int i = 0; i < 3; i++)
        Place(i, 0.5, 0.5, 0.6, 0.6);
    srand(9);
    for (int c = 0; c < 8; c++) {
        AddCloudAt(0.45 + 0.01 * c, 0.5);
        Effect* volume = _app.GetCurrentSource()->GetEffectsBox()->GetEffect(EffectsBox::EFFECT_VOLUME);
        volume->GetParameter(0)->SetValue(1.0);
        volume->GetParameter(1)->SetValue(12.0);
    }
    Effect* master = _app.GetMasterEffectsBox()->GetEffect(EffectsBox::EFFECT_VOLUME);
    master->GetParameter(0)->SetValue(1.0);
    master->GetParameter(1)->SetValue(12.0);
    _app.SetMenuFlag(false);
    std::vector<float> out(2 * 1024);
    double energy = 0.0;
    for (int b = 0; b < 80; b++) {
        _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
        for (float v : out) {
            ASSERT_TRUE(std::isfinite(v));
            ASSERT_LE(std::fabs(v), 1.0f);
            energy += v * v;
        }
    }
    EXPECT_GT(energy, 100.0);
    EXPECT_GT(_app.GetSafetyLimiter()->GetLimitedFrames(), 0u);
}

TEST_F(SceneTest, TheStatusLineNamesTheSelectionCountsTheGrainsAndASourceOverNoRectIsDimmedAndSilent)
{
    Place(0, 0.5, 0.5, 0.4, 0.4);
    Place(1, 0.9, 0.9, 0.06, 0.06);
    Place(2, 0.9, 0.1, 0.06, 0.06);
    UILoadMeterOverlay status(&_app, _app.GetLoadMeter());
    EXPECT_EQ(status.DescribeSelection(), "");
    AddCloudAt(0.5, 0.5);
    GrainCloud* cloud = static_cast<GrainCloud*>(_app.GetCurrentSource());
    cloud->SeedRandom(3);
    const UISourceView* view = static_cast<const UISourceView*>(cloud->GetUI());
    EXPECT_TRUE(view->LiesOverARect());
    EXPECT_EQ(status.DescribeSelection(), "selected: grain cloud");

    // Over the sine, the cloud's grains sound and are counted.
    std::vector<float> out(2 * 1024);
    double energy = 0.0;
    for (int b = 0; b < 30; b++) {
        _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
        for (float v : out)
            energy += v * v;
    }
    EXPECT_GT(energy, 0.0);
    EXPECT_GT(_app.GetSoundingGrains(), 0u);
    EXPECT_LE(_app.GetSoundingGrains(), cloud->GetNumGrains());
    EXPECT_EQ(status.DescribeCounts().rfind("grains " + std::to_string(_app.GetSoundingGrains()) + "  sources 1  ", 0),
              0u);

    // Dragged off every rect: drawn dimmed and said silent, and it is.
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_DOWN, PixelX(0.5), PixelY(0.5), NO_MOD);
    Control().OnMouseDrag(PixelX(0.2), PixelY(0.5));
    Control().OnMouse(AppControl::BUTTON_LEFT, AppControl::BUTTON_UP, PixelX(0.2), PixelY(0.5), NO_MOD);
    ASSERT_EQ(_app.GetCurrentSource(), cloud);
    EXPECT_FALSE(view->LiesOverARect());
    EXPECT_EQ(status.DescribeSelection(), "selected: grain cloud, over no rect: silent");
    for (int b = 0; b < 5; b++)
        _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
    energy = 0.0;
    for (int b = 0; b < 20; b++) {
        _app.OnAudio(out.data(), nullptr, 1024, 0, 0, nullptr);
        for (float v : out)
            energy += v * v;
    }
    EXPECT_EQ(energy, 0.0);

    // A rect selected: its name.
    Click(0.5, 0.5);
    ASSERT_EQ(_app.GetSelection()->GetSelectedRectIndex(), 0);
    EXPECT_EQ(status.DescribeSelection(), std::string("selected: rect ") + View(0)->GetName());
}

TEST_F(SceneTest, AClickThatLeavesTheTitleScreenKeepsTheSelection)
{
    Place(0, 0.5, 0.5, 0.4, 0.4);
    AddCloudAt(0.5, 0.5);
    ASSERT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), 0);
    // Back on the title screen (F10, or a session restored at start-up).
    _app.SetMenuFlag(true);
    Click(0.1, 0.1);
    EXPECT_FALSE(_app.GetMenuFlag());
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), 0) << "the click only left the title screen";
    Click(0.1, 0.1);
    EXPECT_EQ(_app.GetSelection()->GetSelectedSourceIndex(), -1) << "the next click on empty canvas deselects";
}
