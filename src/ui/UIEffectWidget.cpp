#include "ui/UIEffectWidget.h"

#include <GL/freeglut.h>

#include <cstdio>

#include "parameters/Parameter.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"
#include "ui/UIWidget.h"

namespace {
// Gap between the widget box and its label or value text, in screen heights.
const double LABEL_GAP = 0.0217;
const double VALUE_GAP = 0.0434;
}  // namespace

UIEffectWidget::UIEffectWidget(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                               double height)
    : UICanvas(screen, style, "", x, y, width, height), _leftMouseDown(false), _param(nullptr), _textRoom(width),
      _valueShown(true)
{
    snprintf(_title, sizeof(_title), "%s", title);
}

UIEffectWidget::~UIEffectWidget()
{
}

void UIEffectWidget::SetParameter(Parameter* param)
{
    _param = param;
    _param->UpdateValue();
}

void UIEffectWidget::Draw()
{
    UICanvas::Draw();
    // The owning panel only draws its widgets while it is visible.
    DrawWidget();
    DrawTitle();
    DrawValue();
}

void UIEffectWidget::DrawWidget()
{
}

void UIEffectWidget::OnMouse(int button, int state, double x, double y)
{
    if (Pick(x, y)) {
        if (button == GLUT_RIGHT_BUTTON && state == GLUT_DOWN && _param != nullptr) {
            _param->SetValue(_param->GetDefaultValue());
        }
        if (button == GLUT_LEFT_BUTTON && state == GLUT_DOWN)
            _leftMouseDown = true;
        _prevDragX = x;
        _prevDragY = y;
    }
    if (button == GLUT_LEFT_BUTTON && state == GLUT_UP)
        _leftMouseDown = false;
}

void UIEffectWidget::DrawCenteredText(double baselineY, const char* text)
{
    double color[4];
    _style->GetUIWindowTitleColor(color);
    UIWidget::SetPulsedColor(color);
    const double centerX = (_x + 0.5 * _width) * _screen->GetWidth();
    const double scale = UIWidget::FitScale(text, _textRoom * _screen->GetWidth());
    UIWidget::DrawText(centerX - 0.5 * UIWidget::GetTextWidth(text, scale), baselineY, text, scale);
}

void UIEffectWidget::DrawTitle()
{
    DrawCenteredText((1.0 - _y + LABEL_GAP) * _screen->GetHeight(), _title);
}

void UIEffectWidget::DrawValue()
{
    if (_param == nullptr || !_valueShown)
        return;
    DrawCenteredText((1.0 - _y - VALUE_GAP - _height) * _screen->GetHeight(), _param->GetValueStr());
}
