#include "ui/UIPieMenu.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "app/App.h"
#include "app/AppControl.h"
#include "app/CanvasView.h"
#include "app/ParamValueEditor.h"
#include "parameters/Parameter.h"
#include "parameters/ParameterProvider.h"
#include "ui/UIOverlays.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"

UIPieMenu::UIPieMenu(App* app, UIScreen* screen)
    : _app(app), _screen(screen), _visible(false), _dragParam(nullptr), _dragValue(0.0)
{
}

UIPieMenu::~UIPieMenu()
{
}

void UIPieMenu::SetVisible(bool visible)
{
    _visible = visible;
    if (visible)
        InitFromParameters();
}

Parameter* UIPieMenu::GetCurrentParameter(ParameterProvider** provider) const
{
    *provider = _app->GetCurrentParamProvider();
    return *provider != nullptr ? (*provider)->GetCurrentParameter() : nullptr;
}

void UIPieMenu::SceneToWindow(double x, double y, double* wx, double* wy) const
{
    const double zoom = _app->GetView()->GetZoom();
    *wx = x * _screen->GetWidth() * zoom - _app->GetView()->GetPositionX();
    *wy = y * _screen->GetHeight() * zoom - _app->GetView()->GetPositionY();
}

void UIPieMenu::GetLayoutCenter(ParameterProvider* provider, double* x, double* y) const
{
    SceneToWindow(provider->GetUIX(), provider->GetUIY(), x, y);
    *x = std::clamp(*x, PieMenuLayout::MARGIN, _screen->GetWidth() - PieMenuLayout::MARGIN);
    *y = std::clamp(*y, PieMenuLayout::MARGIN, _screen->GetHeight() - PieMenuLayout::MARGIN);
}

void UIPieMenu::InitFromParameters()
{
    ParameterProvider* provider = _app->GetCurrentParamProvider();
    if (provider == nullptr)
        return;
    const int count = provider->GetNumParams();
    const Parameter* current = provider->GetCurrentParameter();
    _labelLengths.assign(size_t(count), 0);
    for (int i = 0; i < count; i++) {
        Parameter* param = provider->GetParameter(i);
        // Values change elsewhere too (MIDI, typed values): lay out the texts as they are now.
        param->UpdateValue();
        UIParameter* box = param->GetUI();
        if (box == nullptr)
            continue;
        // The typed value, until applied, shows on the box it goes to.
        box->SetPending(_app->GetParamEditor()->IsEditingParamString() && param == current);
        _labelLengths[size_t(i)] = box->GetLabelLength();
    }
    double cx, cy;
    SceneToWindow(provider->GetUIX(), provider->GetUIY(), &cx, &cy);
    // Clear of the status line, which names what the menu belongs to.
    _layout.KeepClearBelow(UILoadMeterOverlay::LineTop(_screen->GetWidth()));
    _layout.Compute(_screen->GetWidth(), _screen->GetHeight(), cx, cy,
                    provider->GetUIRadius() * _app->GetView()->GetZoom(), _labelLengths);
    for (int i = 0; i < count; i++) {
        if (UIParameter* box = provider->GetParameter(i)->GetUI())
            box->SetBox(_layout.GetBoxes()[size_t(i)], _layout.GetTextScale());
    }
}

void UIPieMenu::RefreshCurrentParam()
{
    ParameterProvider* provider;
    Parameter* param = GetCurrentParameter(&provider);
    if (param == nullptr)
        return;
    param->UpdateValue();
    _app->OnCurrentParamValueUpdated();
}

void UIPieMenu::Draw()
{
    ParameterProvider* provider = _app->GetCurrentParamProvider();
    if (!_visible || provider == nullptr)
        return;
    InitFromParameters();
    double cx, cy;
    SceneToWindow(provider->GetUIX(), provider->GetUIY(), &cx, &cy);
    const double ownerRadius = provider->GetUIRadius() * _app->GetView()->GetZoom();
    // In window pixels, above the canvas's pan and zoom.
    glPushMatrix();
    glLoadIdentity();
    for (int i = 0; i < provider->GetNumParams(); i++) {
        UIParameter* box = provider->GetParameter(i)->GetUI();
        if (box == nullptr)
            continue;
        box->DrawPieMenuLink(cx, cy, ownerRadius);
        box->Draw();
    }
    glPopMatrix();
}

bool UIPieMenu::OnMouse(int button, int state, double x, double y)
{
    if (!_visible)
        return false;
    const bool pickButton = button == AppControl::BUTTON_LEFT || button == AppControl::BUTTON_RIGHT;
    if (pickButton && state == AppControl::BUTTON_DOWN) {
        InitFromParameters();
        double wx, wy;
        SceneToWindow(x, y, &wx, &wy);
        _dragParam = nullptr;
        return _app->PickParameters(wx, wy);
    }
    if (button == AppControl::BUTTON_LEFT && state == AppControl::BUTTON_UP)
        _app->ResetCurrentParam();
    return false;
}

void UIPieMenu::OnMouseDrag(double dx, double dy)
{
    ParameterProvider* provider;
    Parameter* param = GetCurrentParameter(&provider);
    if (param == nullptr || param->GetUI() == nullptr)
        return;
    // The step on screen, and the direction from the centre to the box.
    const double zoom = _app->GetView()->GetZoom();
    const double stepX = dx * _screen->GetWidth() * zoom;
    const double stepY = dy * _screen->GetHeight() * zoom;
    double cx, cy;
    GetLayoutCenter(provider, &cx, &cy);
    const PieBox& box = param->GetUI()->GetBox();
    const double outX = box.CenterX() - cx, outY = box.CenterY() - cy;
    const double length = std::sqrt(outX * outX + outY * outY);
    if (length <= 0.0)
        return;
    const double outward = (stepX * outX + stepY * outY) / length;
    if (param != _dragParam) {
        _dragParam = param;
        _dragValue = param->GetNormalizedValue();
    }
    _dragValue = std::clamp(_dragValue + param->GetSensivity() * outward / _screen->GetHeight(), 0.0, 1.0);
    param->SetNormalizedValue(_dragValue);
    param->UpdateValue();
    _app->OnCurrentParamValueUpdated();
}
