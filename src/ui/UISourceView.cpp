#include "ui/UISourceView.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "app/Time.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UIGrain.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"
#include "ui/UIWidget.h"

namespace {
const double MAX_SEL_RAD = 19.0;
const double MIN_SEL_RAD = 15.0;
const double LAMBDA = 0.997;
// The ring is a band this many pixels wide.
const double RING_WIDTH = 5.0;
const int RING_SLICES = 128;
const int RING_LOOPS = 2;
// The breathing starts an eighth of a cycle in.
const double RING_PHASE = 0.125;
const double MUTE_LINE_WIDTH = 3.0;
// Half the size of the mute cross, in screen widths and heights.
const double MUTE_CROSS_HALF = 0.01;
// A source over no rect keeps this much of its ring's strength.
const double SILENT_DIMMING = 0.3;
// The selection ring stands this many pixels outside the widest ring.
const double SELECTION_GAP = 5.0;
const int SELECTION_POINTS = 48;
}  // namespace

UISourceView::UISourceView(Source* source, UIStyle* style, UIScreen* screen, double x, double y,
                           const std::vector<SoundRect*>& rects)
    : _isOn(false), _isSelected(true), _startTime(Time::Instance()->GetSeconds()), _freq(1.0), _x(x), _y(y),
      _selRad(MIN_SEL_RAD), _lambda(LAMBDA), _targetRad(MAX_SEL_RAD), _maxSelRad(MAX_SEL_RAD), _minSelRad(MIN_SEL_RAD),
      _rects(rects), _style(style), _screen(screen), _source(source)
{
}

UISourceView::~UISourceView()
{
    for (UIGrain* marker : _uiGrains)
        delete marker;
}

void UISourceView::AddMarker()
{
    _uiGrains.push_back(new UIGrain(_style, _screen, _x, _y));
}

bool UISourceView::Pick(double x, double y)
{
    const double dx = (x - _x) * _screen->GetWidth();
    const double dy = (y - _y) * _screen->GetHeight();
    return std::sqrt(dx * dx + dy * dy) < _maxSelRad;
}

void UISourceView::PlaceAt(double x, double y)
{
    const double dx = x - _x;
    const double dy = y - _y;
    _x = x;
    _y = y;
    for (UIGrain* marker : _uiGrains)
        marker->MoveTo(marker->GetX() + dx, marker->GetY() + dy);
}

void UISourceView::UpdatePosition(double x, double y)
{
    // The pie menu lays the boxes out around the source wherever it is.
    PlaceAt(x, y);
}

bool UISourceView::PickParameters(double x, double y)
{
    for (int i = 0; i < _source->GetNumParams(); i++) {
        const UIParameter* box = _source->GetParameter(i)->GetUI();
        if (box != nullptr && box->Pick(x, y)) {
            SetCurrentParameter(i);
            return true;
        }
    }
    SetCurrentParameter(-1);
    return false;
}

void UISourceView::UpdateStyle(UIStyle* style)
{
    _style = style;
    for (UIGrain* marker : _uiGrains)
        marker->UpdateStyle(style);
    for (int i = 0; i < _source->GetNumParams(); i++) {
        UIParameter* box = _source->GetParameter(i)->GetUI();
        if (box != nullptr)
            box->UpdateStyle(style);
    }
}

void UISourceView::Draw()
{
    const double t = Time::Instance()->GetSeconds() - _startTime;
    _selRad = _minSelRad + 0.5 * (_maxSelRad - _minSelRad) * std::sin(2.0 * M_PI * (_freq * t + RING_PHASE));
    DrawRing();
    for (UIGrain* marker : _uiGrains)
        marker->Draw();
    if (_source->IsMuted())
        DrawMuteCross();
    if (_isSelected)
        DrawSelectionRing();
}

bool UISourceView::LiesOverARect() const
{
    for (const SoundRect* rect : _rects) {
        if (rect->GetUI()->Pick(_x, _y))
            return true;
    }
    return false;
}

void UISourceView::SetRingColour() const
{
    double colour[4];
    if (_isSelected)
        _style->GetGrainColorSelected(colour);
    else
        _style->GetGrainColor(colour);
    if (!LiesOverARect())
        colour[3] *= SILENT_DIMMING;
    glColor4dv(colour);
}

void UISourceView::DrawSelectionRing() const
{
    const double radius = _maxSelRad + RING_WIDTH + SELECTION_GAP;
    const double cx = _x * _screen->GetWidth(), cy = _y * _screen->GetHeight();
    double points[SELECTION_POINTS][2];
    for (int i = 0; i < SELECTION_POINTS; i++) {
        const double angle = 2.0 * M_PI * i / SELECTION_POINTS;
        points[i][0] = cx + radius * std::cos(angle);
        points[i][1] = cy + radius * std::sin(angle);
    }
    UIWidget::OutlineSelection(_style, points, SELECTION_POINTS);
}

void UISourceView::DrawRing() const
{
    SetRingColour();
    glPushMatrix();
    glTranslated(_x * _screen->GetWidth(), _y * _screen->GetHeight(), 0.0);
    GLUquadric* quadric = gluNewQuadric();
    gluDisk(quadric, _selRad, _selRad + RING_WIDTH, RING_SLICES, RING_LOOPS);
    gluDeleteQuadric(quadric);
    glPopMatrix();
}

void UISourceView::DrawMuteCross() const
{
    const double width = _screen->GetWidth();
    const double height = _screen->GetHeight();
    const double cx = _x * width, cy = _y * height;
    const double hx = MUTE_CROSS_HALF * width, hy = MUTE_CROSS_HALF * height;
    SetRingColour();
    glLineWidth((GLfloat)MUTE_LINE_WIDTH);
    glBegin(GL_LINES);
    glVertex2d(cx - hx, cy - hy);
    glVertex2d(cx + hx, cy + hy);
    glVertex2d(cx + hx, cy - hy);
    glVertex2d(cx - hx, cy + hy);
    glEnd();
}

void UISourceView::Serialize(Serializer* serializer)
{
    serializer->PutBool(_isOn);
    serializer->PutBool(_isSelected);
    serializer->PutDouble(_startTime);
    SerializeSpread(serializer);
    for (double value : {_freq, _x, _y, _selRad, _lambda, _maxSelRad, _minSelRad, _targetRad})
        serializer->PutDouble(value);
}

void UISourceView::UnSerialize(Serializer* serializer)
{
    serializer->GetBool(&_isOn);
    serializer->GetBool(&_isSelected);
    // The breathing's start time.
    serializer->Skip(sizeof(double));
    UnSerializeSpread(serializer);
    // Its frequency, which the source's duration sets again.
    serializer->Skip(sizeof(double));
    double x = _x, y = _y;
    serializer->GetDoubleIn(&x, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&y, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    PlaceAt(x, y);
    // Ring radius, its decay, and its bounds and target.
    serializer->Skip(5 * sizeof(double));
}
