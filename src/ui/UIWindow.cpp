#include "ui/UIWindow.h"

#include <GL/gl.h>

#include <cstdio>

#include "ui/UICanvas.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"
#include "ui/UIWidget.h"

UIWindow::UIWindow(UIScreen* screen, UIStyle* style, const char* title, double x, double y, double width, double height)
    : _screen(screen), _style(style), _visible(true), _x(x), _y(y), _width(width), _height(height)
{
    SetTitle(title);
}

UIWindow::~UIWindow()
{
}

void UIWindow::SetTitle(const char* title)
{
    snprintf(_title, sizeof(_title), "%s", title);
}

void UIWindow::SetVisible(bool visible)
{
    _visible = visible;
    for (UICanvas* canvas : _canvas)
        canvas->SetVisible(visible);
}

void UIWindow::AddCanvas(UICanvas* canvas)
{
    _canvas.push_back(canvas);
}

void UIWindow::GetContentsRect(double* x, double* y, double* width, double* height) const
{
    *x = _x;
    *y = _y + UIWidget::TITLE_HEIGHT + UIWidget::CONTENTS_MARGIN;
    *width = _width;
    *height = _height - UIWidget::TITLE_HEIGHT - 2.0 * UIWidget::CONTENTS_MARGIN;
}

void UIWindow::UpdateStyle(UIStyle* style)
{
    _style = style;
    for (UICanvas* canvas : _canvas)
        canvas->UpdateStyle(style);
}

void UIWindow::Draw()
{
    if (!_visible)
        return;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    double corners[4][2];
    UIWidget::ComputeCorners(corners, _screen, _x, _y, _width, _height);
    UIWidget::FillWindowBackground(_style, corners);
    for (UICanvas* canvas : _canvas)
        canvas->Draw();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawBorder(corners);
    DrawTitle();
}

void UIWindow::DrawBorder(const double corners[4][2])
{
    double color[4];
    _style->GetUIWindowBorderColor(color);
    UIWidget::SetPulsedColor(color);
    glLineWidth(_style->GetUIWindowBorderWidth());
    UIWidget::OutlineCorners(corners);
}

void UIWindow::DrawTitle()
{
    const double w = _screen->GetWidth();
    const double h = _screen->GetHeight();
    double color[4];
    _style->GetUIWindowTitleColor(color);
    UIWidget::SetPulsedColor(color);
    // The title strokes with the border's line width, which is still set; a
    // long one (a parameter's name and value) shrinks to the window's width.
    const double inset = UIWidget::TITLE_INSET * h;
    UIWidget::DrawText(_x * w + inset, (1.0 - _y - UIWidget::TITLE_BASELINE) * h, _title,
                       UIWidget::FitScale(_title, _width * w - 2.0 * inset));
    const double ruleY = (1.0 - _y - UIWidget::TITLE_HEIGHT) * h;
    glLineWidth(_style->GetUIWindowTitleBoxBorderWidth());
    glBegin(GL_LINES);
    glVertex2d(_x * w, ruleY);
    glVertex2d((_x + _width) * w, ruleY);
    glEnd();
}
