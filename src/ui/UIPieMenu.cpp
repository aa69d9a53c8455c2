#include "ui/UIPieMenu.h"

#include <algorithm>
#include <cmath>

#include "app/App.h"
#include "app/AppControl.h"
#include "parameters/Parameter.h"
#include "parameters/ParameterProvider.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"

namespace {
// The distance of a box for a normalised value, and back. A higher
// sensitivity packs the whole range into a shorter drag.
double DistanceOfValue(double normalizedValue, double sensitivity)
{
    return UIPieMenu::INNER_RADIUS + normalizedValue / sensitivity;
}

double ValueOfDistance(double distance, double sensitivity)
{
    return std::clamp(sensitivity * (distance - UIPieMenu::INNER_RADIUS), 0.0, 1.0);
}
}  // namespace

UIPieMenu::UIPieMenu(App* app, UIScreen* screen) : _app(app), _screen(screen), _visible(false)
{
}

UIPieMenu::~UIPieMenu()
{
}

double UIPieMenu::GetAspect() const
{
    return _screen->GetWidth() / _screen->GetHeight();
}

Parameter* UIPieMenu::GetCurrentParameter(ParameterProvider** provider) const
{
    *provider = _app->GetCurrentParamProvider();
    return *provider != nullptr ? (*provider)->GetCurrentParameter() : nullptr;
}

void UIPieMenu::PlaceBox(Parameter* param, ParameterProvider* provider, double cos, double sin, double distance) const
{
    // Box space runs downward, so the centre (x, y) of the provider is (x, 1 - y) there.
    param->GetUI()->SetPosition(provider->GetUIX() + cos * distance / GetAspect(),
                                (1.0 - provider->GetUIY()) + sin * distance);
}

void UIPieMenu::InitFromParameters()
{
    ParameterProvider* provider = _app->GetCurrentParamProvider();
    if (provider == nullptr)
        return;
    const int count = provider->GetNumParams();
    for (int i = 0; i < count; i++) {
        Parameter* param = provider->GetParameter(i);
        if (param->GetUI() == nullptr)
            continue;
        param->UpdateValue();
        // With y downward, increasing angles run clockwise on screen.
        const double angle = 2.0 * M_PI * i / count;
        PlaceBox(param, provider, std::cos(angle), std::sin(angle),
                 DistanceOfValue(param->GetNormalizedValue(), param->GetSensivity()));
    }
}

void UIPieMenu::UpdateCurrentParamPos()
{
    ParameterProvider* provider;
    Parameter* param = GetCurrentParameter(&provider);
    if (param == nullptr || param->GetUI() == nullptr)
        return;
    const UIParameter* box = param->GetUI();
    float a = float((box->GetPosX() - provider->GetUIX()) * GetAspect());
    float b = float(box->GetPosY() - (1.0 - provider->GetUIY()));
    const float length = std::sqrt(a * a + b * b);
    // A box lying on the centre has no direction: it stays there.
    if (length > 0.0f) {
        a /= length;
        b /= length;
    }
    param->UpdateValue();
    _app->OnCurrentParamValueUpdated();
    PlaceBox(param, provider, a, b, DistanceOfValue(param->GetNormalizedValue(), param->GetSensivity()));
}

void UIPieMenu::Draw()
{
    ParameterProvider* provider = _app->GetCurrentParamProvider();
    if (!_visible || provider == nullptr)
        return;
    for (int i = 0; i < provider->GetNumParams(); i++) {
        Parameter* param = provider->GetParameter(i);
        if (param->GetUI() == nullptr)
            continue;
        // Values change elsewhere too (MIDI, typed values): show them as they are now.
        param->UpdateValue();
        param->GetUI()->Draw();
        param->GetUI()->DrawPieMenuLink(provider->GetUIX(), provider->GetUIY(), provider->GetUIRadius());
    }
}

bool UIPieMenu::OnMouse(int button, int state, double x, double y)
{
    if (!_visible)
        return false;
    const bool pickButton = button == AppControl::BUTTON_LEFT || button == AppControl::BUTTON_RIGHT;
    if (pickButton && state == AppControl::BUTTON_DOWN)
        return _app->PickParameters(x, 1.0 - y);
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
    // The box follows the pointer freely, sideways too; only its distance counts.
    UIParameter* box = param->GetUI();
    box->TranslateX(dx);
    box->TranslateY(-dy);
    const float a = float((box->GetPosX() - provider->GetUIX()) * GetAspect());
    const float b = float(box->GetPosY() - (1.0 - provider->GetUIY()));
    const float distance = std::sqrt(a * a + b * b);
    param->SetNormalizedValue(ValueOfDistance(distance, param->GetSensivity()));
    param->UpdateValue();
    _app->OnCurrentParamValueUpdated();
}
