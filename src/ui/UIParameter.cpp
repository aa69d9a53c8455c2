#include "ui/UIParameter.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "app/Time.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"
#include "ui/UIWidget.h"

namespace {
// Box around the anchor (the label's baseline origin), in scene pixels.
const double BOX_LEFT = 4.0;
const double BOX_RIGHT = 256.0;
const double BOX_UP = 14.0;
const double BOX_DOWN = 4.0;
// Clicks just past the drawn right edge still pick the box.
const double PICK_RIGHT = 260.0;
// The meter sits this many screen heights under the baseline and runs from
// METER_MIN_LENGTH to METER_MIN_LENGTH + METER_RANGE screen widths, so an
// empty value still shows a stub.
const double METER_DROP = 0.015;
const double METER_MIN_LENGTH = 0.004;
const double METER_RANGE = 0.246;

// Parameter texts breathe faster than the window pulse: one cycle every 1.25 s.
double ParamPulse()
{
    return 0.8 + 0.2 * std::sin(1.6 * M_PI * Time::Instance()->GetSeconds());
}

void SetColorAlphaScaled(const double color[4], double alphaFactor)
{
    glColor4d(color[0], color[1], color[2], color[3] * alphaFactor);
}
}  // namespace

UIParameter::UIParameter(Parameter* param, UIScreen* screen, UIStyle* style)
    : _name(), _valueStr(), _x(0.0), _y(0.0), _param(param), _screen(screen), _style(style)
{
}

UIParameter::~UIParameter()
{
}

void UIParameter::SetName(const char* name)
{
    snprintf(_name, sizeof(_name), "%s", name);
}

void UIParameter::SetValueStr(const char* valueStr)
{
    snprintf(_valueStr, sizeof(_valueStr), "%s", valueStr);
}

void UIParameter::SetPosition(double x, double y)
{
    _x = x;
    _y = y;
}

bool UIParameter::Pick(double x, double y) const
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    return x > _x - BOX_LEFT / width && y > _y - BOX_UP / height && x < _x + PICK_RIGHT / width &&
           y < _y + BOX_DOWN / height;
}

double UIParameter::GetMeterLength() const
{
    return METER_MIN_LENGTH + METER_RANGE * _param->GetNormalizedValue();
}

void UIParameter::ComputeLinkLine(double menuCenterX, double menuCenterY, double menuCenterOffset, double from[2],
                                  double to[2]) const
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    from[0] = _x * width;
    from[1] = (1.0 - _y - METER_DROP) * height;
    const double dx = menuCenterX * width - from[0];
    const double dy = menuCenterY * height - from[1];
    const double distance = std::sqrt(dx * dx + dy * dy);
    // A box anchored on the centre itself has no direction to point in.
    const double scale = distance > 0.0 ? (distance - menuCenterOffset) / distance : 0.0;
    to[0] = from[0] + scale * dx;
    to[1] = from[1] + scale * dy;
}

void UIParameter::Draw()
{
    DrawBox();
    DrawLabel();
    DrawMeter();
}

void UIParameter::DrawBox() const
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    double corners[4][2];
    UIWidget::ComputeCorners(corners, _screen, _x - BOX_LEFT / width, _y - BOX_UP / height,
                             (BOX_LEFT + BOX_RIGHT) / width, (BOX_UP + BOX_DOWN) / height);
    UIWidget::FillWindowBackground(_style, corners);
    double color[4];
    _style->GetUIWindowBorderColor(color);
    UIWidget::SetPulsedColor(color);
    glLineWidth(static_cast<float>(_style->GetUIWindowBorderWidth()));
    UIWidget::OutlineCorners(corners);
}

void UIParameter::DrawLabel() const
{
    char label[2 * TEXT_SIZE + 2];
    snprintf(label, sizeof(label), "%s: %s", _name, _valueStr);
    double color[4];
    _style->GetParamColor(color);
    SetColorAlphaScaled(color, ParamPulse());
    glLineWidth(static_cast<float>(_style->GetParamLineWidth()));
    UIWidget::DrawText(_x * _screen->GetWidth(), (1.0 - _y) * _screen->GetHeight(), label);
}

void UIParameter::DrawMeter() const
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    const double left = _x * width;
    const double y = (1.0 - _y - METER_DROP) * height;
    double color[4];
    _style->GetParamMeterColor(color);
    SetColorAlphaScaled(color, 0.5 * ParamPulse());
    glLineWidth(static_cast<float>(_style->GetParamMeterLineWidth()));
    glBegin(GL_LINES);
    glVertex2d(left, y);
    glVertex2d(left + GetMeterLength() * width, y);
    glEnd();
}

void UIParameter::DrawPieMenuLink(double menuCenterX, double menuCenterY, double menuCenterOffset)
{
    double from[2];
    double to[2];
    ComputeLinkLine(menuCenterX, menuCenterY, menuCenterOffset, from, to);
    double color[4];
    _style->GetParamLinkColor(color);
    SetColorAlphaScaled(color, 0.75 * ParamPulse());
    glLineWidth(static_cast<float>(_style->GetParamLinkLineWidth()));
    glBegin(GL_LINES);
    glVertex2dv(from);
    glVertex2dv(to);
    glEnd();
}

void UIParameter::Serialize(Serializer* serializer) const
{
    serializer->PutDouble(_x);
    serializer->PutDouble(_y);
}

void UIParameter::UnSerialize(Serializer* serializer)
{
    double x = _x, y = _y;
    serializer->GetDouble(&x);
    serializer->GetDouble(&y);
    // A box placed off any sensible canvas stays where it was.
    if (std::isfinite(x) && std::isfinite(y) && std::fabs(x) < Serializer::MAX_SCENE_EXTENT &&
        std::fabs(y) < Serializer::MAX_SCENE_EXTENT) {
        _x = x;
        _y = y;
    }
}
