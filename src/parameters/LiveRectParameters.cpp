#include "parameters/LiveRectParameters.h"

#include "sound/LiveRing.h"
#include "ui/UILiveRect.h"

namespace {
const char* const FREEZE_LABELS[] = {"OFF", "ON"};
const double MIN_GAIN_DB = -24.0;
const double MAX_GAIN_DB = 24.0;
}  // namespace

LiveRectParameter::LiveRectParameter(App* app, int idx, const char* name, double minValue, double maxValue,
                                     double defaultValue, ValueText::Formatter formatter)
    : SoundRectParameter(app, idx, name, minValue, maxValue, defaultValue, formatter)
{
}

void LiveRectParameter::ApplyToRect(UISoundRect* rect)
{
    if (UILiveRect* live = dynamic_cast<UILiveRect*>(rect))
        ApplyToLive(live);
}

double LiveRectParameter::ReadFromRect(const UISoundRect* rect) const
{
    const UILiveRect* live = dynamic_cast<const UILiveRect*>(rect);
    return live != nullptr ? ReadFromLive(live) : _value;
}

ParameterLiveLength::ParameterLiveLength(App* app, int idx)
    : LiveRectParameter(app, idx, "Length", LiveRing::MIN_SECONDS, LiveRing::MAX_SECONDS, LiveRing::DEFAULT_SECONDS,
                        ValueText::Seconds)
{
}

void ParameterLiveLength::ApplyToLive(UILiveRect* rect)
{
    rect->SetLengthSeconds(_value);
}

double ParameterLiveLength::ReadFromLive(const UILiveRect* rect) const
{
    return rect->GetLengthSeconds();
}

ParameterLiveFreeze::ParameterLiveFreeze(App* app, int idx)
    : LiveRectParameter(app, idx, "Freeze", 0.0, 1.0, 0.0, nullptr)
{
    SetLabels(FREEZE_LABELS);
}

void ParameterLiveFreeze::ApplyToLive(UILiveRect* rect)
{
    rect->SetFrozen(_value >= 0.5);
}

double ParameterLiveFreeze::ReadFromLive(const UILiveRect* rect) const
{
    return rect->IsFrozen() ? 1.0 : 0.0;
}

ParameterLiveGain::ParameterLiveGain(App* app, int idx)
    : LiveRectParameter(app, idx, "Input gain", MIN_GAIN_DB, MAX_GAIN_DB, 0.0, ValueText::Decibels)
{
}

void ParameterLiveGain::ApplyToLive(UILiveRect* rect)
{
    rect->SetGainDb(_value);
}

double ParameterLiveGain::ReadFromLive(const UILiveRect* rect) const
{
    return rect->GetGainDb();
}
