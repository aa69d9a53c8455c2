#include "ui/UIEffectsCanvas.h"

#include "ui/UIEffect.h"

namespace {
// Gap between panels and around them, and what each panel gives up of its
// third of the width (or half of the height) to the gaps.
const double GAP = 0.02;
const double PANEL_SHRINK = 0.0266;
}  // namespace

UIEffectsCanvas::UIEffectsCanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                                 double height)
    : UICanvas(screen, style, title, x, y, width, height), _effects()
{
    GenerateContents();
}

UIEffectsCanvas::~UIEffectsCanvas()
{
    for (UIEffect* effect : _effects)
        delete effect;
}

void UIEffectsCanvas::GenerateContents()
{
    double cx, cy, cw, ch;
    GetContentsRect(&cx, &cy, &cw, &ch);
    const double pw = cw / 3.0 - PANEL_SHRINK;
    const double ph = ch / 2.0 - PANEL_SHRINK;
    const double top = cy + GAP;
    const double bottom = cy + 2.0 * GAP + ph;
    // Sat and Crush share the third column of the top row.
    _effects[EffectsBox::EFFECT_VOLUME] = new UIVolumeEffect(_screen, _style, "Volume", cx + GAP, top, pw, ph);
    _effects[EffectsBox::EFFECT_STEREO] =
        new UIStereoEffect(_screen, _style, "Stereo", cx + 2.0 * GAP + pw, top, pw, ph);
    _effects[EffectsBox::EFFECT_SATURATION] =
        new UISaturationEffect(_screen, _style, "Sat", cx + 3.0 * GAP + 2.0 * pw, top, pw / 2.0 - GAP / 2.0, ph);
    _effects[EffectsBox::EFFECT_BIT_CRUSH] =
        new UIBitCrushEffect(_screen, _style, "Crush", cx + 3.5 * GAP + 2.5 * pw, top, pw / 2.0 - GAP / 2.0, ph);
    _effects[EffectsBox::EFFECT_DELAY] = new UIDelayEffect(_screen, _style, "Delay", cx + GAP, bottom, pw, ph);
    _effects[EffectsBox::EFFECT_REVERB] =
        new UIReverbEffect(_screen, _style, "Reverb", cx + 2.0 * GAP + pw, bottom, 2.0 * pw + GAP, ph);
}

void UIEffectsCanvas::SetVisible(bool visible)
{
    UICanvas::SetVisible(visible);
    for (UIEffect* effect : _effects)
        effect->SetVisible(visible);
}

void UIEffectsCanvas::OnMouse(int button, int state, double x, double y)
{
    UICanvas::OnMouse(button, state, x, y);
    for (UIEffect* effect : _effects)
        effect->OnMouse(button, state, x, y);
}

void UIEffectsCanvas::OnMouseDrag(double x, double y, double fineDragFactor)
{
    UICanvas::OnMouseDrag(x, y, fineDragFactor);
    for (UIEffect* effect : _effects)
        effect->OnMouseDrag(x, y, fineDragFactor);
}

void UIEffectsCanvas::DrawContents()
{
    for (UIEffect* effect : _effects)
        effect->Draw();
}

void UIEffectsCanvas::UpdateStyle(UIStyle* style)
{
    UICanvas::UpdateStyle(style);
    for (UIEffect* effect : _effects)
        effect->UpdateStyle(style);
}
