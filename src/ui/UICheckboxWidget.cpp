#include "ui/UICheckboxWidget.h"

#include <GL/gl.h>

#include "parameters/Parameter.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"

namespace {
// Half-extent of the cross relative to the box.
const double CROSS_SIZE = 0.8;
}  // namespace

UICheckboxWidget::UICheckboxWidget(UIScreen* screen, UIStyle* style, const char* title, double x, double y,
                                   double width, double height)
    : UIEffectWidget(screen, style, title, x, y, width, height)
{
}

UICheckboxWidget::~UICheckboxWidget()
{
}

void UICheckboxWidget::OnMouse(int button, int state, double x, double y)
{
    UIEffectWidget::OnMouse(button, state, x, y);
    // The release has already cleared the flag, so it does not flip back.
    if (_leftMouseDown && _param != nullptr) {
        _param->SetValue(_param->GetValue() <= 0.5 ? 1.0 : 0.0);
    }
}

void UICheckboxWidget::DrawWidget()
{
    const double w = _screen->GetWidth();
    const double h = _screen->GetHeight();
    const double half = 0.5 * _width * w;
    glPushMatrix();
    glTranslated(_x * w + half, (1.0 - _y) * h - half, 0.0);
    glLineWidth(_style->GetParamLineWidth());
    glBegin(GL_LINE_LOOP);
    glVertex2d(-half, -half);
    glVertex2d(half, -half);
    glVertex2d(half, half);
    glVertex2d(-half, half);
    glEnd();
    if (_param != nullptr && _param->GetValue() >= 1.0) {
        const double c = CROSS_SIZE * half;
        glBegin(GL_LINES);
        glVertex2d(-c, -c);
        glVertex2d(c, c);
        glVertex2d(-c, c);
        glVertex2d(c, -c);
        glEnd();
    }
    glPopMatrix();
}
