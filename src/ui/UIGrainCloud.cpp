#include "ui/UIGrainCloud.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "app/Time.h"
#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrain.h"
#include "ui/UIParameter.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRect.h"
#include "ui/UIStyle.h"

namespace {
// Spread of a new cloud in pixels.
const double INITIAL_SPREAD_PIXELS = 3.0;
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

// Uniform in 0..1 from the process-wide generator, in single precision.
float RandomUnit()
{
    return (float)rand() / 2147483648.0f;
}
}  // namespace

UIGrainCloud::UIGrainCloud(GrainCloud* grain, UIStyle* style, UIScreen* screen, double x, double y, unsigned numVoices,
                           const std::vector<SoundRect*>& rects)
    : _isOn(false), _isSelected(true), _startTime(Time::Instance()->GetSeconds()),
      _xRandExtent(INITIAL_SPREAD_PIXELS / screen->GetWidth()),
      _yRandExtent(INITIAL_SPREAD_PIXELS / screen->GetHeight()), _randExtentCoeff(1.0), _freq(1.0), _x(x), _y(y),
      _selRad(MIN_SEL_RAD), _lambda(LAMBDA), _targetRad(MAX_SEL_RAD), _maxSelRad(MAX_SEL_RAD), _minSelRad(MIN_SEL_RAD),
      _rects(rects), _style(style), _screen(screen), _grain(grain)
{
    for (unsigned i = 0; i < numVoices; i++)
        AddGrain();
}

UIGrainCloud::~UIGrainCloud()
{
    for (UIGrain* marker : _uiGrains)
        delete marker;
}

void UIGrainCloud::AddGrain()
{
    _uiGrains.push_back(new UIGrain(_style, _screen, _x, _y));
}

void UIGrainCloud::RemoveGrain()
{
    if (_uiGrains.size() <= 1)
        return;
    delete _uiGrains.back();
    _uiGrains.pop_back();
}

double UIGrainCloud::TriangularOffset(double extent)
{
    // Two draws in a fixed order, so a seeded generator gives the same cloud.
    const float first = RandomUnit();
    const float second = RandomUnit();
    return first * extent - second * extent;
}

void UIGrainCloud::GetTriggerPos(unsigned idx, double* playPos, double* playVol, double dur)
{
    if (idx >= _uiGrains.size())
        return;
    const double newY = _y + TriangularOffset(_yRandExtent * _randExtentCoeff);
    const double newX = _x + TriangularOffset(_xRandExtent * _randExtentCoeff);
    for (unsigned i = 0; i < _rects.size(); i++) {
        const UISoundRect* rectView = _rects[i]->GetUI();
        if (rectView != nullptr)
            rectView->GetNormedPosition(playPos, playVol, newX, newY, i);
    }
    // The marker flashes even where the grain misses every rect: the cloud
    // still spent a voice on it.
    _uiGrains[idx]->TriggerAt(newX, newY, dur);
}

bool UIGrainCloud::Pick(double x, double y)
{
    const double dx = (x - _x) * _screen->GetWidth();
    const double dy = (y - _y) * _screen->GetHeight();
    return std::sqrt(dx * dx + dy * dy) < _maxSelRad;
}

void UIGrainCloud::PlaceAt(double x, double y)
{
    const double dx = x - _x;
    const double dy = y - _y;
    _x = x;
    _y = y;
    for (UIGrain* marker : _uiGrains)
        marker->MoveTo(marker->GetX() + dx, marker->GetY() + dy);
}

void UIGrainCloud::UpdatePosition(double x, double y)
{
    const double dx = x - _x;
    const double dy = y - _y;
    PlaceAt(x, y);
    // Parameter boxes live in box space, whose y runs downward.
    for (int i = 0; i < _grain->GetNumParams(); i++) {
        UIParameter* box = _grain->GetParameter(i)->GetUI();
        if (box == nullptr)
            continue;
        box->TranslateX(dx);
        box->TranslateY(-dy);
    }
}

bool UIGrainCloud::PickParameters(double x, double y)
{
    for (int i = 0; i < _grain->GetNumParams(); i++) {
        const UIParameter* box = _grain->GetParameter(i)->GetUI();
        if (box != nullptr && box->Pick(x, y)) {
            _grain->SetCurrentParamIdx((GrainCloud::ParamIndex)i);
            return true;
        }
    }
    _grain->SetCurrentParamIdx(GrainCloud::NO_PARAMETER);
    return false;
}

void UIGrainCloud::UpdateStyle(UIStyle* style)
{
    _style = style;
    for (UIGrain* marker : _uiGrains)
        marker->UpdateStyle(style);
    for (int i = 0; i < _grain->GetNumParams(); i++) {
        UIParameter* box = _grain->GetParameter(i)->GetUI();
        if (box != nullptr)
            box->UpdateStyle(style);
    }
}

void UIGrainCloud::Draw()
{
    DrawRing();
    for (UIGrain* marker : _uiGrains)
        marker->Draw();
    if (_grain->IsMuted())
        DrawMuteCross();
}

void UIGrainCloud::SetRingColour() const
{
    double colour[4];
    if (_isSelected)
        _style->GetGrainColorSelected(colour);
    else
        _style->GetGrainColor(colour);
    glColor4dv(colour);
}

void UIGrainCloud::DrawRing()
{
    const double t = Time::Instance()->GetSeconds() - _startTime;
    _selRad = _minSelRad + 0.5 * (_maxSelRad - _minSelRad) * std::sin(2.0 * M_PI * (_freq * t + RING_PHASE));

    SetRingColour();

    glPushMatrix();
    glTranslated(_x * _screen->GetWidth(), _y * _screen->GetHeight(), 0.0);
    GLUquadric* quadric = gluNewQuadric();
    gluDisk(quadric, _selRad, _selRad + RING_WIDTH, RING_SLICES, RING_LOOPS);
    gluDeleteQuadric(quadric);
    glPopMatrix();
}

void UIGrainCloud::DrawMuteCross() const
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

void UIGrainCloud::Serialize(Serializer* serializer)
{
    serializer->PutBool(_isOn);
    serializer->PutBool(_isSelected);
    for (double value : {_startTime, _xRandExtent, _yRandExtent, _randExtentCoeff, _freq, _x, _y, _selRad, _lambda,
                         _maxSelRad, _minSelRad, _targetRad})
        serializer->PutDouble(value);
}

void UIGrainCloud::UnSerialize(Serializer* serializer)
{
    serializer->GetBool(&_isOn);
    serializer->GetBool(&_isSelected);
    // The breathing's start time.
    serializer->Skip(sizeof(double));
    serializer->GetDoubleIn(&_xRandExtent, 0.0, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&_yRandExtent, 0.0, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&_randExtentCoeff, 0.0, Serializer::MAX_SCENE_EXTENT);
    // Its frequency, which the cloud's duration sets again.
    serializer->Skip(sizeof(double));
    double x = _x, y = _y;
    serializer->GetDoubleIn(&x, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    serializer->GetDoubleIn(&y, -Serializer::MAX_SCENE_EXTENT, Serializer::MAX_SCENE_EXTENT);
    PlaceAt(x, y);
    // Ring radius, its decay, and its bounds and target.
    serializer->Skip(5 * sizeof(double));
}
