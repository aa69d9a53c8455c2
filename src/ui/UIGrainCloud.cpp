#include "ui/UIGrainCloud.h"

#include <cstdlib>

#include "app/Time.h"
#include "parameters/Parameter.h"
#include "sound/SoundRect.h"
#include "sources/GrainCloud.h"
#include "ui/UIGrain.h"
#include "ui/UIScreen.h"
#include "ui/UISoundRect.h"
#include "ui/UISourceDrawing.h"

namespace {
// Spread of a new cloud in pixels.
const double INITIAL_SPREAD_PIXELS = 3.0;
const double MAX_SEL_RAD = 19.0;
const double MIN_SEL_RAD = 15.0;
const double LAMBDA = 0.997;

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
    return UISourceDrawing::IsWithin(_screen, x, y, _x, _y, _maxSelRad);
}

void UIGrainCloud::UpdatePosition(double x, double y)
{
    const double dx = x - _x;
    const double dy = y - _y;
    _x = x;
    _y = y;
    for (UIGrain* marker : _uiGrains)
        marker->MoveTo(marker->GetX() + dx, marker->GetY() + dy);
    UISourceDrawing::MoveParameterBoxes(_grain, dx, dy);
}

bool UIGrainCloud::PickParameters(double x, double y)
{
    const int picked = UISourceDrawing::PickParameterBox(_grain, x, y);
    _grain->SetCurrentParamIdx((GrainCloud::ParamIndex)picked);
    return picked >= 0;
}

void UIGrainCloud::UpdateStyle(UIStyle* style)
{
    _style = style;
    for (UIGrain* marker : _uiGrains)
        marker->UpdateStyle(style);
    UISourceDrawing::RestyleParameterBoxes(_grain, style);
}

void UIGrainCloud::Draw()
{
    const double t = Time::Instance()->GetSeconds() - _startTime;
    _selRad = UISourceDrawing::BreathingRadius(_minSelRad, _maxSelRad, _freq, t);
    UISourceDrawing::DrawRing(_style, _screen, _isSelected, _x, _y, _selRad);
    for (UIGrain* marker : _uiGrains)
        marker->Draw();
    if (_grain->IsMuted())
        UISourceDrawing::DrawMuteCross(_style, _screen, _isSelected, _x, _y);
}
