#include "parameters/SoundRectParameters.h"

#include "app/App.h"
#include "ui/UISoundRect.h"

namespace {
const char* const RECT_TYPE_LABELS[] = {"WAVEFORM", "SPECTROGRAM", "CHROMAGRAM"};
const char* const ORIENTATION_LABELS[] = {"HORIZONTAL", "VERTICAL"};
}  // namespace

SoundRectParameter::SoundRectParameter(App* app, int idx, const char* name, double minValue, double maxValue,
                                       double defaultValue, ValueText::Formatter formatter)
    : ProviderParameter(app, idx, ParameterProvider::SOUND_RECT, name, minValue, maxValue, defaultValue, formatter)
{
}

void SoundRectParameter::Apply(ParameterProvider* provider)
{
    ApplyToRect(static_cast<UISoundRect*>(provider));
}

bool SoundRectParameter::ReadValue(ParameterProvider* provider, double* value)
{
    *value = ReadFromRect(static_cast<UISoundRect*>(provider));
    return true;
}

ParameterProvider* SoundRectParameter::GetCurrentProvider() const
{
    return _app->GetCurrentSoundRect();
}

int SoundRectParameter::GetCurrentParamIdx() const
{
    return _app->GetCurrentRectParamIdx();
}

ParameterSoundRectType::ParameterSoundRectType(App* app, int idx)
    : SoundRectParameter(app, idx, "Type", 0.0, 2.0, 0.0, nullptr)
{
    SetLabels(RECT_TYPE_LABELS);
}

void ParameterSoundRectType::ApplyToRect(UISoundRect* rect)
{
    rect->SetRectType(static_cast<UISoundRect::RectType>(static_cast<int>(_value)));
}

double ParameterSoundRectType::ReadFromRect(const UISoundRect* rect) const
{
    return rect->GetRectType();
}

ParameterColorRange::ParameterColorRange(App* app, int idx)
    : SoundRectParameter(app, idx, "Range", 0.0, 2.0, 1.0, ValueText::Ratio)
{
}

void ParameterColorRange::ApplyToRect(UISoundRect* rect)
{
    rect->SetColorRange(_value);
}

double ParameterColorRange::ReadFromRect(const UISoundRect* rect) const
{
    return rect->GetColorRange();
}

ParameterColorContrast::ParameterColorContrast(App* app, int idx)
    : SoundRectParameter(app, idx, "Contrast", 0.01, 0.99, 0.5, ValueText::Number)
{
}

void ParameterColorContrast::ApplyToRect(UISoundRect* rect)
{
    rect->SetColorContrast(_value);
}

double ParameterColorContrast::ReadFromRect(const UISoundRect* rect) const
{
    return rect->GetColorContrast();
}

ParameterSoundRectOrientation::ParameterSoundRectOrientation(App* app, int idx)
    : SoundRectParameter(app, idx, "Orientation", 0.0, 1.0, 0.0, nullptr)
{
    SetLabels(ORIENTATION_LABELS);
}

void ParameterSoundRectOrientation::ApplyToRect(UISoundRect* rect)
{
    rect->SetOrientation(static_cast<UISoundRect::Orientation>(static_cast<int>(_value)));
}

double ParameterSoundRectOrientation::ReadFromRect(const UISoundRect* rect) const
{
    return rect->GetOrientation();
}
