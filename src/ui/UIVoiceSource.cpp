#include "ui/UIVoiceSource.h"

#include "app/Time.h"
#include "sound/SoundRect.h"
#include "sources/SingleVoiceSource.h"
#include "ui/UIGrain.h"
#include "ui/UISoundRect.h"
#include "ui/UISourceDrawing.h"

namespace {
const double MAX_SEL_RAD = 19.0;
const double MIN_SEL_RAD = 15.0;
const double LAMBDA = 0.997;
}  // namespace

UIVoiceSource::UIVoiceSource(SingleVoiceSource* source, UIStyle* style, UIScreen* screen, double x, double y,
                             std::vector<SoundRect*>* rects)
    : _isOn(false), _isSelected(true), _startTime(Time::Instance()->GetSeconds()), _freq(1.0), _x(x), _y(y),
      _selRad(MIN_SEL_RAD), _lambda(LAMBDA), _maxSelRad(MAX_SEL_RAD), _minSelRad(MIN_SEL_RAD), _targetRad(MAX_SEL_RAD),
      _uiGrain(new UIGrain(style, screen, x, y)), _rects(rects), _style(style), _screen(screen), _source(source)
{
}

UIVoiceSource::~UIVoiceSource()
{
    delete _uiGrain;
}

void UIVoiceSource::GetTriggerPos(double* playPos, double* playVol, double dur)
{
    bool hit = false;
    for (unsigned i = 0; i < _rects->size(); i++) {
        const UISoundRect* rectView = (*_rects)[i]->GetUI();
        if (rectView != nullptr && rectView->GetNormedPosition(playPos, playVol, _x, _y, i))
            hit = true;
    }
    // Off every rect the grain is silent, and the marker shows no grain.
    if (hit)
        _uiGrain->TriggerAt(_x, _y, dur);
    else
        _uiGrain->MoveTo(_x, _y);
}

bool UIVoiceSource::Pick(double x, double y)
{
    return UISourceDrawing::IsWithin(_screen, x, y, _x, _y, _maxSelRad);
}

void UIVoiceSource::UpdatePosition(double x, double y)
{
    const double dx = x - _x;
    const double dy = y - _y;
    _x = x;
    _y = y;
    _uiGrain->MoveTo(_uiGrain->GetX() + dx, _uiGrain->GetY() + dy);
    UISourceDrawing::MoveParameterBoxes(_source, dx, dy);
}

bool UIVoiceSource::PickParameters(double x, double y)
{
    const int picked = UISourceDrawing::PickParameterBox(_source, x, y);
    _source->SetCurrentParamIdx((SingleVoiceSource::ParamIndex)picked);
    return picked >= 0;
}

void UIVoiceSource::UpdateStyle(UIStyle* style)
{
    _style = style;
    _uiGrain->UpdateStyle(style);
    UISourceDrawing::RestyleParameterBoxes(_source, style);
}

void UIVoiceSource::Draw()
{
    const double t = Time::Instance()->GetSeconds() - _startTime;
    _selRad = UISourceDrawing::BreathingRadius(_minSelRad, _maxSelRad, _freq, t);
    UISourceDrawing::DrawRing(_style, _screen, _isSelected, _x, _y, _selRad);
    _uiGrain->Draw();
    if (_source->IsMuted())
        UISourceDrawing::DrawMuteCross(_style, _screen, _isSelected, _x, _y);
}
