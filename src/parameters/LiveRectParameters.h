#pragma once

#include "parameters/SoundRectParameters.h"

class UILiveRect;

// A setting of a live rect, edited in its pie menu beside the display settings.
class LiveRectParameter : public SoundRectParameter {
protected:
    LiveRectParameter(App* app, int idx, const char* name, double minValue, double maxValue, double defaultValue,
                      ValueText::Formatter formatter);

    virtual void ApplyToLive(UILiveRect* rect) = 0;
    virtual double ReadFromLive(const UILiveRect* rect) const = 0;

    // Only live rects have these parameters.
    void ApplyToRect(UISoundRect* rect) override;
    double ReadFromRect(const UISoundRect* rect) const override;
};

// Seconds of the past the rect holds and plays, 1 ... 30.
class ParameterLiveLength : public LiveRectParameter {
public:
    ParameterLiveLength(App* app, int idx);

protected:
    void ApplyToLive(UILiveRect* rect) override;
    double ReadFromLive(const UILiveRect* rect) const override;
};

// Whether the input stops being written, so that the captured moment stays.
class ParameterLiveFreeze : public LiveRectParameter {
public:
    ParameterLiveFreeze(App* app, int idx);

protected:
    void ApplyToLive(UILiveRect* rect) override;
    double ReadFromLive(const UILiveRect* rect) const override;
};

// Gain of the input as it is written, in decibels.
class ParameterLiveGain : public LiveRectParameter {
public:
    ParameterLiveGain(App* app, int idx);

protected:
    void ApplyToLive(UILiveRect* rect) override;
    double ReadFromLive(const UILiveRect* rect) const override;
};
