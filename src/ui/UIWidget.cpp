#include "ui/UIWidget.h"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "app/Time.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"

namespace {
double dimming = 1.0;

void DrawCorners(GLenum mode, const double corners[4][2])
{
    glBegin(mode);
    for (int i = 0; i < 4; i++)
        glVertex2d(corners[i][0], corners[i][1]);
    glEnd();
}
}  // namespace

void UIWidget::ComputeCorners(double corners[4][2], const UIScreen* screen, double x, double y, double width,
                              double height)
{
    const double w = screen->GetWidth();
    const double h = screen->GetHeight();
    const double left = x * w;
    const double right = (x + width) * w;
    const double top = (1.0 - y) * h;
    const double bottom = (1.0 - (y + height)) * h;
    corners[0][0] = left;
    corners[0][1] = top;
    corners[1][0] = right;
    corners[1][1] = top;
    corners[2][0] = right;
    corners[2][1] = bottom;
    corners[3][0] = left;
    corners[3][1] = bottom;
}

double UIWidget::GetAlphaPulse()
{
    return dimming * (0.8 + 0.2 * std::sin(Time::Instance()->GetSeconds() * M_PI / 2.0));
}

void UIWidget::SetPulsedColor(const double color[4])
{
    glColor4f(color[0], color[1], color[2], color[3] * GetAlphaPulse());
}

void UIWidget::FillCorners(const double corners[4][2])
{
    DrawCorners(GL_QUADS, corners);
}

void UIWidget::FillWindowBackground(const UIStyle* style, const double corners[4][2])
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    double color[4];
    style->GetBackgroundColor(color);
    glColor4d(color[0], color[1], color[2], 1.0);
    FillCorners(corners);
    style->GetUIWindowBackgroundColor(color);
    SetPulsedColor(color);
    FillCorners(corners);
}

void UIWidget::OutlineCorners(const double corners[4][2])
{
    DrawCorners(GL_LINE_LOOP, corners);
}

void UIWidget::OutlineSelection(const UIStyle* style, const double (*points)[2], int count)
{
    // The shadow reaches this many pixels beyond the line on either side.
    const double shadowSpread = 2.0;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    double color[4];
    style->GetSelectionShadowColor(color);
    for (int pass = 0; pass < 2; pass++) {
        const double width = style->GetSelectionLineWidth() + (pass == 0 ? 2.0 * shadowSpread : 0.0);
        glLineWidth(static_cast<float>(width));
        glColor4dv(color);
        glBegin(GL_LINE_LOOP);
        for (int i = 0; i < count; i++)
            glVertex2dv(points[i]);
        glEnd();
        style->GetSelectionColor(color);
    }
}

void UIWidget::DrawText(double x, double y, const char* text, double scale)
{
    glPushMatrix();
    glTranslated(x, y, 0.0);
    glScaled(scale, scale, scale);
    for (const char* c = text; *c != '\0'; c++)
        glutStrokeCharacter(GLUT_STROKE_MONO_ROMAN, *c);
    glPopMatrix();
}

double UIWidget::GetTextWidth(const char* text, double scale)
{
    return scale * CHAR_ADVANCE * double(strlen(text));
}

double UIWidget::FitScale(const char* text, double room)
{
    const double width = GetTextWidth(text);
    if (width <= room)
        return TEXT_SCALE;
    return room > 0.0 ? TEXT_SCALE * room / width : 0.0;
}

void UIWidget::SetDimming(double factor)
{
    dimming = factor;
}
