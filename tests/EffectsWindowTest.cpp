#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/App.h"
#include "app/FloatingWindows.h"
#include "app/Selection.h"
#include "effects/Effect.h"
#include "effects/EffectsBox.h"
#include "effects/RatioEffect.h"
#include "effects/VolumeEffect.h"
#include "parameters/Parameter.h"
#include "sources/Source.h"
#include "ui/UIEffect.h"
#include "ui/UIEffectWidget.h"
#include "ui/UIEffectsCanvas.h"
#include "ui/UIWidget.h"
#include "ui/UIWindow.h"

namespace {

const int BUTTON_LEFT = 0;
const int DOWN = 0;
const int UP = 1;

class EffectsWindowTest : public ::testing::Test {
protected:
    void Build(int w, int h)
    {
        _app.SetWinSize(w, h);
        _app.GetWindows()->BuildFloatingWindows();
        _canvas = _app.GetWindows()->GetEffectsCanvas();
    }
    void SetUp() override { Build(1000, 600); }

    UIEffectWidget* Widget(EffectsBox::EffectIdx effect, int idx) { return _canvas->GetEffect(effect)->GetWidget(idx); }
    // A left click in the middle of a control, in window fractions.
    void ClickOn(UIEffectWidget* widget)
    {
        const double x = widget->GetX() + 0.5 * widget->GetWidth();
        const double y = widget->GetY() + 0.5 * widget->GetHeight();
        _canvas->OnMouse(BUTTON_LEFT, DOWN, x, y);
        _canvas->OnMouse(BUTTON_LEFT, UP, x, y);
    }
    Parameter* Param(EffectsBox* chain, EffectsBox::EffectIdx effect, int idx)
    {
        return chain->GetEffect(effect)->GetParameter(idx);
    }

    App _app;
    UIEffectsCanvas* _canvas = nullptr;
};

}  // namespace

TEST_F(EffectsWindowTest, EveryControlIsBoundToTheSameParameterOfTheChainOpened)
{
    EffectsBox* master = _app.GetMasterEffectsBox();
    _app.GetWindows()->OpenEffectsWindow(true);
    EXPECT_STREQ("Effects | Master", _app.GetWindows()->GetEffectsWindow()->GetTitle());
    EXPECT_TRUE(_app.GetWindows()->GetEffectsWindow()->IsVisible());
    for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
        const auto idx = EffectsBox::EffectIdx(e);
        ASSERT_EQ(master->GetEffect(idx)->GetNumParams(), _canvas->GetEffect(idx)->GetNumWidgets()) << e;
        for (int i = 0; i < master->GetEffect(idx)->GetNumParams(); i++)
            EXPECT_EQ(Param(master, idx, i), Widget(idx, i)->GetParameter()) << e << " " << i;
    }
    // A click on the crush panel's checkbox switches the master's bit crush on.
    ClickOn(Widget(EffectsBox::EFFECT_BIT_CRUSH, UIEffect::ON_PARAM));
    EXPECT_TRUE(master->GetEffect(EffectsBox::EFFECT_BIT_CRUSH)->IsOn());
    EXPECT_FALSE(master->GetEffect(EffectsBox::EFFECT_SATURATION)->IsOn());
}

TEST_F(EffectsWindowTest, RebindingShowsTheChainOpenedLastAndWithoutASourceKeepsTheBindings)
{
    _app.AddGrainCloud(500, 300);
    EffectsBox* chain = _app.GetCurrentSource()->GetEffectsBox();
    EffectsBox* master = _app.GetMasterEffectsBox();
    Param(chain, EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM)->SetValue(-6.0);
    Param(master, EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM)->SetValue(6.0);
    UIEffectWidget* volume = Widget(EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM);

    _app.GetWindows()->OpenEffectsWindow(false);
    EXPECT_STREQ("Effects | Source", _app.GetWindows()->GetEffectsWindow()->GetTitle());
    EXPECT_STREQ("-6 dB", volume->GetParameter()->GetValueStr());
    _app.GetWindows()->OpenEffectsWindow(true);
    EXPECT_STREQ("6 dB", volume->GetParameter()->GetValueStr());
    _app.GetWindows()->OpenEffectsWindow(false);
    EXPECT_EQ(chain, _app.GetWindows()->GetEffectsWindowChain());

    // No source current: the source's chain stays bound under the source title.
    _app.GetWindows()->OpenEffectsWindow(true);
    _app.GetSelection()->Deselect(Selection::SOURCE);
    _app.GetWindows()->OpenEffectsWindow(false);
    EXPECT_STREQ("Effects | Source", _app.GetWindows()->GetEffectsWindow()->GetTitle());
    EXPECT_EQ(master, _app.GetWindows()->GetEffectsWindowChain());
    EXPECT_EQ(Param(master, EffectsBox::EFFECT_VOLUME, VolumeEffect::VOLUME_PARAM), volume->GetParameter());
}

TEST_F(EffectsWindowTest, DeletingTheSourceWhoseChainIsShownMovesTheWindowToTheMaster)
{
    _app.AddGrainCloud(500, 300);
    _app.GetWindows()->OpenEffectsWindow(false);
    _app.DelSelectedSource();
    EXPECT_EQ(_app.GetMasterEffectsBox(), _app.GetWindows()->GetEffectsWindowChain());
    EXPECT_STREQ("Effects | Master", _app.GetWindows()->GetEffectsWindow()->GetTitle());
    // The controls now edit the master, not freed memory.
    ClickOn(Widget(EffectsBox::EFFECT_VOLUME, VolumeEffect::MUTE_PARAM));
    EXPECT_DOUBLE_EQ(
        1.0, Param(_app.GetMasterEffectsBox(), EffectsBox::EFFECT_VOLUME, VolumeEffect::MUTE_PARAM)->GetValue());
}

TEST_F(EffectsWindowTest, AHiddenWindowIgnoresClicks)
{
    _app.GetWindows()->OpenEffectsWindow(true);
    _app.GetWindows()->CloseEffectsWindow();
    Parameter* on = Param(_app.GetMasterEffectsBox(), EffectsBox::EFFECT_VOLUME, UIEffect::ON_PARAM);
    ClickOn(Widget(EffectsBox::EFFECT_VOLUME, UIEffect::ON_PARAM));
    EXPECT_DOUBLE_EQ(0.0, on->GetValue());
    _app.GetWindows()->OpenEffectsWindow(true);
    ClickOn(Widget(EffectsBox::EFFECT_VOLUME, UIEffect::ON_PARAM));
    EXPECT_DOUBLE_EQ(1.0, on->GetValue()) << "one press toggles once";
}

// Knob centres as fractions of their panel's width, controls 1 on; the
// on/off box sits in the top-right corner of every panel.
TEST_F(EffectsWindowTest, ControlsKeepTheirPlacesAcrossAspectRatiosAndStaySquareInPixels)
{
    const std::vector<std::pair<EffectsBox::EffectIdx, std::vector<double>>> layout = {
        {EffectsBox::EFFECT_VOLUME, {0.33, 0.66}},
        {EffectsBox::EFFECT_STEREO, {0.33, 0.66}},
        {EffectsBox::EFFECT_SATURATION, {0.5}},
        {EffectsBox::EFFECT_BIT_CRUSH, {0.5}},
        {EffectsBox::EFFECT_DELAY, {1 / 6.0, 3 / 6.0, 5 / 6.0}},
        {EffectsBox::EFFECT_REVERB, {1 / 12.0, 3 / 12.0, 5 / 12.0, 7 / 12.0, 9 / 12.0, 11 / 12.0}},
    };
    for (auto size : {std::pair<int, int>(800, 600), std::pair<int, int>(1200, 600)}) {
        Build(size.first, size.second);
        const double aspect = double(size.first) / size.second;
        for (const auto& [idx, fractions] : layout) {
            const UIEffect* panel = _canvas->GetEffect(idx);
            ASSERT_EQ(int(fractions.size()) + 1, panel->GetNumWidgets());
            for (int i = 0; i < panel->GetNumWidgets(); i++) {
                const UIEffectWidget* w = panel->GetWidget(i);
                EXPECT_NEAR(w->GetWidth() * aspect, w->GetHeight(), 1e-12) << idx << " " << i;
                if (i == 0) {
                    EXPECT_NEAR(panel->GetX() + panel->GetWidth() - 0.01, w->GetX() + w->GetWidth(), 1e-12);
                    continue;
                }
                const double centre = (w->GetX() + 0.5 * w->GetWidth() - panel->GetX()) / panel->GetWidth();
                EXPECT_NEAR(fractions[i - 1], centre, 1e-12) << idx << " " << i;
                // One knob width above the panel's middle line.
                EXPECT_NEAR(panel->GetY() + 0.5 * panel->GetHeight(), w->GetY() + w->GetWidth(), 1e-12);
            }
        }
    }
    // The standard window: the panels end where the window's contents do, less the gaps.
    const UIEffect* reverb = _canvas->GetEffect(EffectsBox::EFFECT_REVERB);
    EXPECT_NEAR(0.8802, reverb->GetX() + reverb->GetWidth(), 1e-4);
    EXPECT_NEAR(0.8568, reverb->GetY() + reverb->GetHeight(), 1e-4);
}

TEST_F(EffectsWindowTest, WindowTitlesAreCutAt254Characters)
{
    const std::string longTitle(300, 'x');
    _app.GetWindows()->GetEffectsWindow()->SetTitle(longTitle.c_str());
    EXPECT_EQ(longTitle.substr(0, 254), _app.GetWindows()->GetEffectsWindow()->GetTitle());
}

// Every label and value, at both ends of its parameter's range, fits the room
// of its control at a readable size; the rooms of neighbours never meet and
// stay inside their panel.
TEST_F(EffectsWindowTest, EveryLabelAndValueFitsItsPanelAtEveryWindowSize)
{
    // Stroke text narrower than 6 pixels a character is hard to read.
    const double readableScale = 0.06;
    for (auto size : {std::pair<int, int>(800, 600), std::pair<int, int>(960, 600), std::pair<int, int>(1366, 768),
                      std::pair<int, int>(1920, 1080)}) {
        Build(size.first, size.second);
        _app.GetWindows()->OpenEffectsWindow(true);
        const double width = size.first;
        for (int e = 0; e < EffectsBox::NUM_EFFECTS; e++) {
            const UIEffect* panel = _canvas->GetEffect(EffectsBox::EffectIdx(e));
            double previousRight = panel->GetX();
            for (int i = 1; i < panel->GetNumWidgets(); i++) {
                const UIEffectWidget* w = panel->GetWidget(i);
                const double centre = w->GetX() + 0.5 * w->GetWidth();
                const double left = centre - 0.5 * w->GetTextRoom(), right = centre + 0.5 * w->GetTextRoom();
                EXPECT_GE(left, previousRight) << size.first << " panel " << e << " control " << i;
                EXPECT_LE(right, panel->GetX() + panel->GetWidth()) << size.first << " panel " << e << " control " << i;
                previousRight = right;
                Parameter* param = w->GetParameter();
                const double value = param->GetValue();
                for (double n : {0.0, 1.0}) {
                    param->SetNormalizedValue(n);
                    for (const char* text : {w->GetLabel(), param->GetValueStr()}) {
                        EXPECT_GE(UIWidget::FitScale(text, w->GetTextRoom() * width), readableScale)
                            << size.first << " panel " << e << " '" << text << "'";
                    }
                }
                param->SetValue(value);
            }
        }
        _app.GetWindows()->CloseEffectsWindow();
    }
}
