#include "ui/UIEffect.h"

#include <algorithm>

#include "parameters/Parameter.h"
#include "ui/UICheckboxWidget.h"
#include "ui/UIKnobWidget.h"
#include "ui/UIScreen.h"
#include "ui/UIWidget.h"

namespace {
// The on/off box: its size and its gap to the panel's right edge, in window widths.
const double SWITCH_SIZE = 0.02;
const double SWITCH_RIGHT_GAP = 0.01;
// Its gap to the panel's top, in window widths.
const double SWITCH_TOP_GAP = 0.01;
// Kept between the texts of neighbouring controls, in window widths.
const double TEXT_GAP = 0.015;
// An effect that is off draws its panel at this strength.
const double OFF_DIMMING = 0.45;
}  // namespace

UIEffect::UIEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height,
                   int numParams)
    : UICanvas(screen, style, title, x, y, width, height), _widgets(numParams, nullptr)
{
    _centerTitle = true;
    _drawBorder = true;
    // The title keeps clear of the on/off box at the right end of its row.
    _titleReserve = SWITCH_SIZE + 2.0 * SWITCH_RIGHT_GAP;
    const double aspect = GetAspect();
    _widgets[ON_PARAM] = new UICheckboxWidget(screen, style, "", x + width - SWITCH_SIZE - SWITCH_RIGHT_GAP,
                                              y + SWITCH_TOP_GAP * aspect, SWITCH_SIZE, SWITCH_SIZE * aspect);
    // Its state shows as its cross and as the panel's strength, not as a text
    // that would run into the title.
    _widgets[ON_PARAM]->SetValueShown(false);
}

UIEffect::~UIEffect()
{
    for (UIEffectWidget* widget : _widgets)
        delete widget;
}

double UIEffect::GetAspect() const
{
    return _screen->GetWidth() / _screen->GetHeight();
}

void UIEffect::AddControls(const ControlSpec* specs, int count, double size)
{
    const double aspect = GetAspect();
    for (int i = 0; i < count && i + 1 < GetNumWidgets(); i++) {
        const double x = _x + specs[i].across * _width - 0.5 * size;
        const double y = _y + 0.5 * _height - size;
        UIEffectWidget*& widget = _widgets[i + 1];
        if (specs[i].kind == KNOB)
            widget = new UIKnobWidget(_screen, _style, specs[i].label, x, y, size, size * aspect);
        else
            widget = new UICheckboxWidget(_screen, _style, specs[i].label, x, y, size, size * aspect);
        widget->SetTextRoom(TextRoom(specs, count, i));
    }
}

double UIEffect::TextRoom(const ControlSpec* specs, int count, int i) const
{
    // Twice the distance to the nearest neighbour or panel edge: centred
    // texts of that width never meet their neighbours' or leave the panel.
    double half = std::min(specs[i].across, 1.0 - specs[i].across);
    if (i > 0)
        half = std::min(half, 0.5 * (specs[i].across - specs[i - 1].across));
    if (i + 1 < count)
        half = std::min(half, 0.5 * (specs[i + 1].across - specs[i].across));
    return 2.0 * half * _width - TEXT_GAP;
}

void UIEffect::SetParameter(int idx, Parameter* param)
{
    if (idx >= 0 && idx < GetNumWidgets() && _widgets[idx] != nullptr)
        _widgets[idx]->SetParameter(param);
}

void UIEffect::SetVisible(bool visible)
{
    UICanvas::SetVisible(visible);
    for (UIEffectWidget* widget : _widgets)
        widget->SetVisible(visible);
}

void UIEffect::OnMouse(int button, int state, double x, double y)
{
    UICanvas::OnMouse(button, state, x, y);
    // Every control sees every event and decides by its own pick test.
    for (UIEffectWidget* widget : _widgets)
        widget->OnMouse(button, state, x, y);
}

void UIEffect::OnMouseDrag(double x, double y, double fineDragFactor)
{
    UICanvas::OnMouseDrag(x, y, fineDragFactor);
    for (UIEffectWidget* widget : _widgets)
        widget->OnMouseDrag(x, y, fineDragFactor);
}

void UIEffect::DrawContents()
{
    UICanvas::DrawContents();
    for (UIEffectWidget* widget : _widgets)
        widget->Draw();
}

void UIEffect::Draw()
{
    const Parameter* on = _widgets[ON_PARAM]->GetParameter();
    if (on != nullptr && on->GetValue() < 0.5)
        UIWidget::SetDimming(OFF_DIMMING);
    UICanvas::Draw();
    UIWidget::SetDimming(1.0);
}

void UIEffect::UpdateStyle(UIStyle* style)
{
    UICanvas::UpdateStyle(style);
    for (UIEffectWidget* widget : _widgets)
        widget->UpdateStyle(style);
}

UIRatioEffect::UIRatioEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                             double height)
    : UIEffect(screen, style, title, x, y, width, height, 2)
{
    static const ControlSpec CONTROLS[] = {{"Ratio", KNOB, 0.5}};
    AddControls(CONTROLS, width / 3.0);
}

UIDelayEffect::UIDelayEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                             double height)
    : UIEffect(screen, style, title, x, y, width, height, 4)
{
    // Each knob in the middle of a third, so that its texts have a third's width.
    static const ControlSpec CONTROLS[] = {
        {"Time", KNOB, 1.0 / 6}, {"Feedback", KNOB, 3.0 / 6}, {"Dry/Wet", KNOB, 5.0 / 6}};
    AddControls(CONTROLS, width / 6.0);
}

UIStereoEffect::UIStereoEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                               double height)
    : UIEffect(screen, style, title, x, y, width, height, 3)
{
    static const ControlSpec CONTROLS[] = {{"Pan", KNOB, 0.33}, {"Width", KNOB, 0.66}};
    AddControls(CONTROLS, width / 6.0);
}

UIReverbEffect::UIReverbEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                               double height)
    : UIEffect(screen, style, title, x, y, width, height, 7)
{
    // Each knob in the middle of a sixth of the panel.
    static const ControlSpec CONTROLS[] = {{"Order", KNOB, 1.0 / 12},   {"Dry In", KNOB, 3.0 / 12},
                                           {"Wet Out", KNOB, 5.0 / 12}, {"Dry Mix", KNOB, 7.0 / 12},
                                           {"Delay", KNOB, 9.0 / 12},   {"Decay", KNOB, 11.0 / 12}};
    AddControls(CONTROLS, height / 6.0);
}

UIVolumeEffect::UIVolumeEffect(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                               double height)
    : UIEffect(screen, style, title, x, y, width, height, 3)
{
    static const ControlSpec CONTROLS[] = {{"Volume", KNOB, 0.33}, {"Mute", CHECKBOX, 0.66}};
    AddControls(CONTROLS, width / 6.0);
}
