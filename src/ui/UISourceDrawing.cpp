#include "ui/UISourceDrawing.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "parameters/Parameter.h"
#include "parameters/ParameterProvider.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"

namespace {
// The ring is a band this many pixels wide.
const double RING_WIDTH = 5.0;
const int RING_SLICES = 128;
const int RING_LOOPS = 2;
// The breathing starts an eighth of a cycle in.
const double RING_PHASE = 0.125;
const double MUTE_LINE_WIDTH = 3.0;
// Half the size of the mute cross, in screen widths and heights.
const double MUTE_CROSS_HALF = 0.01;

void SetRingColour(const UIStyle* style, bool selected)
{
    double colour[4];
    if (selected)
        style->GetGrainColorSelected(colour);
    else
        style->GetGrainColor(colour);
    glColor4dv(colour);
}
}  // namespace

namespace UISourceDrawing {

double BreathingRadius(double minRadius, double maxRadius, double freq, double t)
{
    return minRadius + 0.5 * (maxRadius - minRadius) * std::sin(2.0 * M_PI * (freq * t + RING_PHASE));
}

void DrawRing(const UIStyle* style, const UIScreen* screen, bool selected, double x, double y, double radius)
{
    SetRingColour(style, selected);
    glPushMatrix();
    glTranslated(x * screen->GetWidth(), y * screen->GetHeight(), 0.0);
    GLUquadric* quadric = gluNewQuadric();
    gluDisk(quadric, radius, radius + RING_WIDTH, RING_SLICES, RING_LOOPS);
    gluDeleteQuadric(quadric);
    glPopMatrix();
}

void DrawMuteCross(const UIStyle* style, const UIScreen* screen, bool selected, double x, double y)
{
    const double width = screen->GetWidth();
    const double height = screen->GetHeight();
    const double cx = x * width, cy = y * height;
    const double hx = MUTE_CROSS_HALF * width, hy = MUTE_CROSS_HALF * height;
    SetRingColour(style, selected);
    glLineWidth((GLfloat)MUTE_LINE_WIDTH);
    glBegin(GL_LINES);
    glVertex2d(cx - hx, cy - hy);
    glVertex2d(cx + hx, cy + hy);
    glVertex2d(cx + hx, cy - hy);
    glVertex2d(cx - hx, cy + hy);
    glEnd();
}

bool IsWithin(const UIScreen* screen, double x, double y, double cx, double cy, double radius)
{
    const double dx = (x - cx) * screen->GetWidth();
    const double dy = (y - cy) * screen->GetHeight();
    return std::sqrt(dx * dx + dy * dy) < radius;
}

void MoveParameterBoxes(ParameterProvider* source, double dx, double dy)
{
    for (int i = 0; i < source->GetNumParams(); i++) {
        UIParameter* box = source->GetParameter(i)->GetUI();
        if (box == nullptr)
            continue;
        box->TranslateX(dx);
        box->TranslateY(-dy);
    }
}

int PickParameterBox(ParameterProvider* source, double x, double y)
{
    for (int i = 0; i < source->GetNumParams(); i++) {
        const UIParameter* box = source->GetParameter(i)->GetUI();
        if (box != nullptr && box->Pick(x, y))
            return i;
    }
    return -1;
}

void RestyleParameterBoxes(ParameterProvider* source, UIStyle* style)
{
    for (int i = 0; i < source->GetNumParams(); i++) {
        UIParameter* box = source->GetParameter(i)->GetUI();
        if (box != nullptr)
            box->UpdateStyle(style);
    }
}

}  // namespace UISourceDrawing
