#include "ui/UIKnobWidget.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "parameters/Parameter.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"

namespace {
// A drag over a third of the screen height sweeps the whole range.
const double DRAG_GAIN = 3.0;
// Pointer angle, counter-clockwise from the x axis: 210 degrees at value 0
// down to -30 degrees at value 1.
const double ANGLE_AT_ZERO = 210.0;
const double ANGLE_SWEEP = 240.0;
const double POINTER_INNER = 0.15;
}  // namespace

UIKnobWidget::UIKnobWidget(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width,
                           double height)
    : UIEffectWidget(screen, style, title, x, y, width, height)
{
}

UIKnobWidget::~UIKnobWidget()
{
}

void UIKnobWidget::OnMouseDrag(double x, double y, double fineDragFactor)
{
    if (!_leftMouseDown)
        return;
    const double dx = (x - _prevDragX) * fineDragFactor;
    const double dy = (y - _prevDragY) * fineDragFactor;
    _prevDragX = x;
    _prevDragY = y;
    if (_param == nullptr)
        return;
    // Horizontal moves are rescaled so that a pixel counts the same both
    // ways; moving up turns the knob up.
    const double aspect = _screen->GetWidth() / _screen->GetHeight();
    const double step = std::fabs(dx) > std::fabs(dy) ? aspect * dx : -dy;
    _param->SetNormalizedValue(_param->GetNormalizedValue() + DRAG_GAIN * step);
}

void UIKnobWidget::DrawWidget()
{
    const double w = _screen->GetWidth();
    const double h = _screen->GetHeight();
    const double r = 0.5 * _width * w;
    const double lineWidth = _style->GetParamLineWidth();
    glPushMatrix();
    glTranslated(_x * w + r, (1.0 - _y) * h - r, 0.0);
    GLUquadric* quadric = gluNewQuadric();
    gluQuadricDrawStyle(quadric, GLU_FILL);
    gluDisk(quadric, r - lineWidth, r, 64, 1);
    gluDeleteQuadric(quadric);
    if (_param != nullptr) {
        const double angle = (ANGLE_AT_ZERO - ANGLE_SWEEP * _param->GetNormalizedValue()) * M_PI / 180.0;
        glLineWidth(lineWidth);
        glBegin(GL_LINES);
        glVertex2d(POINTER_INNER * r * std::cos(angle), POINTER_INNER * r * std::sin(angle));
        glVertex2d(r * std::cos(angle), r * std::sin(angle));
        glEnd();
    }
    glPopMatrix();
}
