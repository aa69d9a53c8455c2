#include "ui/UICanvas.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cstdio>

#include "ui/UIScreen.h"
#include "ui/UIStyle.h"
#include "ui/UIWidget.h"

UICanvas::UICanvas(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height)
    : _screen(screen), _style(style), _x(x), _y(y), _width(width), _height(height), _mouseDown(false), _prevDragX(0.0),
      _prevDragY(0.0), _visible(false), _drawBorder(false), _centerTitle(false), _titleReserve(0.0)
{
    snprintf(_title, sizeof(_title), "%s", title);
}

UICanvas::~UICanvas()
{
}

void UICanvas::SetVisible(bool visible)
{
    _visible = visible;
}

void UICanvas::GetContentsRect(double* x, double* y, double* width, double* height) const
{
    const double titleHeight = _title[0] != '\0' ? UIWidget::TITLE_HEIGHT : 0.0;
    *x = _x;
    *y = _y + titleHeight + UIWidget::CONTENTS_MARGIN;
    *width = _width;
    *height = _height - titleHeight - 2.0 * UIWidget::CONTENTS_MARGIN;
}

bool UICanvas::Contains(double x, double y) const
{
    return x >= _x && y >= _y && x <= _x + _width && y < _y + _height;
}

bool UICanvas::Pick(double x, double y)
{
    return _visible && Contains(x, y);
}

void UICanvas::OnMouse(int button, int state, double x, double y)
{
    if (!_visible)
        return;
    // A release anywhere ends the drag, so a drag that left the canvas does not stick.
    if (button == GLUT_LEFT_BUTTON && state == GLUT_UP)
        _mouseDown = false;
    if (!Contains(x, y))
        return;
    if (button == GLUT_LEFT_BUTTON && state == GLUT_DOWN) {
        _mouseDown = true;
        _prevDragX = x;
        _prevDragY = y;
    }
}

void UICanvas::OnMouseDrag(double x, double y, double fineDragFactor)
{
    if (!_visible || !_mouseDown)
        return;
    const double dx = (x - _prevDragX) * fineDragFactor;
    const double dy = (y - _prevDragY) * fineDragFactor;
    _prevDragX = x;
    _prevDragY = y;
    OnMouseDragNorm((x - _x) / _width, (y - _y) / _height, dx / _width, dy / _height, Contains(x, y));
}

void UICanvas::OnMouseDragNorm(double, double, double, double, bool)
{
}

void UICanvas::Draw()
{
    if (!_visible)
        return;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawTitle();
    DrawContents();
    if (_drawBorder)
        DrawBorder();
}

void UICanvas::DrawTitle()
{
    if (_title[0] == '\0')
        return;
    const double w = _screen->GetWidth();
    const double h = _screen->GetHeight();
    double color[4];
    _style->GetUIWindowTitleColor(color);
    UIWidget::SetPulsedColor(color);
    glLineWidth(_style->GetParamLineWidth());
    const double inset = UIWidget::TITLE_INSET * h;
    const double room = (_width - _titleReserve) * w - 2.0 * inset;
    const double scale = UIWidget::FitScale(_title, room);
    const double textWidth = UIWidget::GetTextWidth(_title, scale);
    // Centred in the room the title row leaves, or from its left inset.
    const double offset = _centerTitle ? inset + 0.5 * (room - textWidth) : inset;
    UIWidget::DrawText(_x * w + offset, (1.0 - _y - UIWidget::TITLE_BASELINE) * h, _title, scale);
}

void UICanvas::DrawContents()
{
    // Sets the state that subclass contents and widgets draw in.
    double color[4];
    _style->GetUIWindowTitleColor(color);
    UIWidget::SetPulsedColor(color);
    glLineWidth(_style->GetUIWindowContentsLineWidth());
}

void UICanvas::DrawBorder()
{
    double corners[4][2];
    UIWidget::ComputeCorners(corners, _screen, _x, _y, _width, _height);
    double color[4];
    _style->GetUIWindowBorderColor(color);
    UIWidget::SetPulsedColor(color);
    glLineWidth(_style->GetUIWindowContentsLineWidth());
    UIWidget::OutlineCorners(corners);
}
