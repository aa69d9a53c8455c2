#include "ui/UIParameter.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/Time.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"
#include "ui/UIWidget.h"

namespace {
// An empty value still shows a stub of the meter, in pixels at full size.
const double METER_STUB = 4.0;

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
    : _name(), _valueStr(), _pending(false), _box(), _textScale(PieMenuLayout::FULL_TEXT_SCALE), _param(param),
      _screen(screen), _style(style)
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

void UIParameter::GetLabel(char* label, size_t size) const
{
    if (_pending)
        snprintf(label, size, "%s: %s%c", _name, _valueStr, CARET);
    else
        snprintf(label, size, "%s: %s", _name, _valueStr);
}

size_t UIParameter::GetLabelLength() const
{
    char label[2 * TEXT_SIZE + 3];
    GetLabel(label, sizeof(label));
    return strlen(label);
}

void UIParameter::SetBox(const PieBox& box, double textScale)
{
    _box = box;
    _textScale = textScale;
}

double UIParameter::GetMeterLength() const
{
    const double stub = METER_STUB * Shrink();
    const double full = std::max(stub, _box.width - 2.0 * PieMenuLayout::TEXT_PADDING * Shrink());
    return stub + (full - stub) * _param->GetNormalizedValue();
}

void UIParameter::ComputeLinkLine(double centerX, double centerY, double ownerRadius, double from[2],
                                  double to[2]) const
{
    // The edge that faces the centre: a box right of it links from its left edge.
    from[0] = _box.CenterX() >= centerX ? _box.left : _box.Right();
    from[1] = _box.CenterY();
    const double dx = centerX - from[0];
    const double dy = centerY - from[1];
    const double distance = std::sqrt(dx * dx + dy * dy);
    const double scale = distance > ownerRadius ? (distance - ownerRadius) / distance : 0.0;
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
    const double corners[4][2] = {
        {_box.left, _box.Top()}, {_box.Right(), _box.Top()}, {_box.Right(), _box.bottom}, {_box.left, _box.bottom}};
    UIWidget::FillWindowBackground(_style, corners);
    double color[4];
    if (_pending)
        _style->GetPendingColor(color);
    else
        _style->GetUIWindowBorderColor(color);
    UIWidget::SetPulsedColor(color);
    glLineWidth(static_cast<float>(_style->GetUIWindowBorderWidth()));
    UIWidget::OutlineCorners(corners);
}

void UIParameter::DrawLabel() const
{
    char label[2 * TEXT_SIZE + 3];
    GetLabel(label, sizeof(label));
    double color[4];
    if (_pending)
        _style->GetPendingColor(color);
    else
        _style->GetParamColor(color);
    SetColorAlphaScaled(color, ParamPulse());
    glLineWidth(static_cast<float>(_style->GetParamLineWidth()));
    UIWidget::DrawText(_box.left + PieMenuLayout::TEXT_PADDING * Shrink(),
                       _box.bottom + PieMenuLayout::BASELINE * Shrink(), label, _textScale);
}

void UIParameter::DrawMeter() const
{
    const double left = _box.left + PieMenuLayout::TEXT_PADDING * Shrink();
    const double y = _box.bottom + PieMenuLayout::METER_HEIGHT * Shrink();
    double color[4];
    _style->GetParamMeterColor(color);
    SetColorAlphaScaled(color, 0.5 * ParamPulse());
    glLineWidth(static_cast<float>(_style->GetParamMeterLineWidth()));
    glBegin(GL_LINES);
    glVertex2d(left, y);
    glVertex2d(left + GetMeterLength(), y);
    glEnd();
}

void UIParameter::DrawPieMenuLink(double centerX, double centerY, double ownerRadius)
{
    double from[2];
    double to[2];
    ComputeLinkLine(centerX, centerY, ownerRadius, from, to);
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
    serializer->PutDouble(_box.left / _screen->GetWidth());
    serializer->PutDouble(1.0 - _box.Top() / _screen->GetHeight());
}

void UIParameter::UnSerialize(Serializer* serializer)
{
    double x = NAN, y = NAN;
    serializer->GetDouble(&x);
    serializer->GetDouble(&y);
    // A place off any sensible canvas is not taken; the next layout places the box anyway.
    if (std::isfinite(x) && std::isfinite(y) && std::fabs(x) < Serializer::MAX_SCENE_EXTENT &&
        std::fabs(y) < Serializer::MAX_SCENE_EXTENT) {
        _box.left = x * _screen->GetWidth();
        _box.bottom = (1.0 - y) * _screen->GetHeight() - _box.height;
    }
}
