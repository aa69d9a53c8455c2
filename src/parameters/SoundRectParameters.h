#pragma once

#include "parameters/Parameter.h"

class UISoundRect;

// The display settings of a sound rect view, edited in its pie menu.
class SoundRectParameter : public ProviderParameter {
protected:
    SoundRectParameter(App* app, int idx, const char* name, double minValue, double maxValue, double defaultValue,
                       ValueText::Formatter formatter);

    virtual void ApplyToRect(UISoundRect* rect) = 0;
    virtual double ReadFromRect(const UISoundRect* rect) const = 0;

    void Apply(ParameterProvider* provider) override;
    bool ReadValue(ParameterProvider* provider, double* value) override;
    ParameterProvider* GetCurrentProvider() const override;
    int GetCurrentParamIdx() const override;
};

// Waveform, spectrogram or chromagram.
class ParameterSoundRectType : public SoundRectParameter {
public:
    ParameterSoundRectType(App* app, int idx);

protected:
    void ApplyToRect(UISoundRect* rect) override;
    double ReadFromRect(const UISoundRect* rect) const override;
};

// Scales the normalised level before the contrast curve of the images.
class ParameterColorRange : public SoundRectParameter {
public:
    ParameterColorRange(App* app, int idx);

protected:
    void ApplyToRect(UISoundRect* rect) override;
    double ReadFromRect(const UISoundRect* rect) const override;
};

// Steepness of the S-curve that maps levels to grey in the images.
class ParameterColorContrast : public SoundRectParameter {
public:
    ParameterColorContrast(App* app, int idx);

protected:
    void ApplyToRect(UISoundRect* rect) override;
    double ReadFromRect(const UISoundRect* rect) const override;
};

// Whether time runs left to right or bottom to top.
class ParameterSoundRectOrientation : public SoundRectParameter {
public:
    ParameterSoundRectOrientation(App* app, int idx);

protected:
    void ApplyToRect(UISoundRect* rect) override;
    double ReadFromRect(const UISoundRect* rect) const override;
};
