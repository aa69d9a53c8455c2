#include "ui/UIGrain.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "app/Time.h"
#include "ui/UIScreen.h"
#include "ui/UIStyle.h"

namespace {
const double DEF_SIZE = 10.0;
const double ON_SIZE = 30.0;
// The flash decays with a time constant of this fraction of the grain.
const double DECAY_FRACTION = 0.8;
// Below this blue level the flash is no longer visible.
const double FADED_BLUE = 0.001;
const int BLUE = 2;
}  // namespace

UIGrain::UIGrain(UIStyle* style, UIScreen* screen, double x, double y)
    : _sequence(0), _x(x), _y(y), _triggerTime(Time::Instance()->GetSeconds()), _durSec(0.0), _triggerCount(0),
      _fadedTrigger(0), _style(style), _screen(screen)
{
}

double UIGrain::GetX() const
{
    return ReadState().x;
}

double UIGrain::GetY() const
{
    return ReadState().y;
}

double UIGrain::GetTriggerTime() const
{
    return ReadState().triggerTime;
}

void UIGrain::MoveTo(double x, double y)
{
    Publish(x, y, _triggerTime.load(), _durSec.load(), _triggerCount.load());
}

void UIGrain::Trigger(double durMs)
{
    TriggerAt(_x.load(), _y.load(), durMs);
}

void UIGrain::TriggerAt(double x, double y, double durMs)
{
    Publish(x, y, Time::Instance()->GetSeconds(), 0.001 * durMs, _triggerCount.load() + 1);
}

void UIGrain::Publish(double x, double y, double triggerTime, double durSec, unsigned triggerCount)
{
    const unsigned sequence = _sequence.load();
    _sequence.store(sequence + 1);
    _x.store(x);
    _y.store(y);
    _triggerTime.store(triggerTime);
    _durSec.store(durSec);
    _triggerCount.store(triggerCount);
    _sequence.store(sequence + 2);
}

UIGrain::State UIGrain::ReadState() const
{
    // A publication takes a handful of stores, so a retry is rare and short.
    for (;;) {
        const unsigned before = _sequence.load();
        State state{_x.load(), _y.load(), _triggerTime.load(), _durSec.load(), _triggerCount.load()};
        if (before % 2 == 0 && _sequence.load() == before)
            return state;
    }
}

bool UIGrain::ComputeFlash(double now, Flash* flash)
{
    const State state = ReadState();
    if (state.triggerCount == _fadedTrigger)
        return false;
    // The clock may have been read just before the trigger it is compared with.
    const double elapsed = std::max(0.0, now - state.triggerTime);
    const double decay = state.durSec > 0.0 ? std::exp(-elapsed / (DECAY_FRACTION * state.durSec)) : 0.0;
    flash->x = state.x;
    flash->y = state.y;
    flash->size = DEF_SIZE + (ON_SIZE - DEF_SIZE) * (1.0 - decay);
    flash->colourFactor = decay;

    double colour[4] = {0.0, 0.0, 0.0, 0.0};
    if (_style != nullptr)
        _style->GetGrainDrawColor(colour);
    if (colour[BLUE] * decay < FADED_BLUE)
        _fadedTrigger = state.triggerCount;
    return true;
}

void UIGrain::Draw()
{
    Flash flash;
    if (!ComputeFlash(Time::Instance()->GetSeconds(), &flash))
        return;
    double colour[4];
    _style->GetGrainDrawColor(colour);
    const double f = flash.colourFactor;
    glColor4d(colour[0] * f, colour[1] * f, colour[2] * f, colour[3] * f);

    GLfloat savedSize;
    glGetFloatv(GL_POINT_SIZE, &savedSize);
    glPointSize((GLfloat)flash.size);
    glBegin(GL_POINTS);
    glVertex2d(flash.x * _screen->GetWidth(), flash.y * _screen->GetHeight());
    glEnd();
    glPointSize(savedSize);
}
