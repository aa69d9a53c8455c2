#include "parameters/SourceParameters.h"

#include <cmath>
#include <cstdio>

#include "app/App.h"
#include "sources/GrainCloud.h"
#include "sources/GrainSource.h"
#include "sources/Source.h"
#include "ui/UIGrainCloud.h"

namespace {
const char* const ENVELOPE_LABELS[] = {"HANNING", "TRIANGLE", "EXPDEC", "REXPDEC", "SINC", "HAND_DRAWN"};
const char* const DIRECTION_LABELS[] = {"FORWARD", "BACKWARD", "RANDOM"};
const char* const SPATIAL_MODE_LABELS[] = {"UNITY", "STEREO", "AROUND"};

// Enum values travel as the parameter value truncated toward zero.
int AsInt(double value)
{
    return static_cast<int>(value);
}

// Spatial channel argument that keeps the source's current channel.
const int KEEP_CHANNEL = -1;
}  // namespace

SourceParameter::SourceParameter(App* app, int idx, const char* name, double minValue, double maxValue,
                                 double defaultValue, ValueText::Formatter formatter, double powFactor)
    : ProviderParameter(app, idx, ParameterProvider::SOURCE, name, minValue, maxValue, defaultValue, formatter,
                        powFactor)
{
}

ParameterProvider* SourceParameter::GetCurrentProvider() const
{
    return _app->GetCurrentSource();
}

int SourceParameter::GetCurrentParamIdx() const
{
    return _app->GetCurrentSourceParamIdx();
}

void SourceKindParameter::Apply(ParameterProvider* provider)
{
    Source* source = static_cast<Source*>(provider);
    switch (source->GetSourceType()) {
    case Source::GRAIN_CLOUD:
    case Source::SINGLE_GRAIN:
    case Source::LOOP_SOURCE:
        ApplyToGrainSource(static_cast<GrainSource*>(source));
        break;
    default:
        break;
    }
}

bool SourceKindParameter::ReadValue(ParameterProvider* provider, double* value)
{
    Source* source = static_cast<Source*>(provider);
    switch (source->GetSourceType()) {
    case Source::GRAIN_CLOUD:
    case Source::SINGLE_GRAIN:
    case Source::LOOP_SOURCE:
        return ReadFromGrainSource(static_cast<GrainSource*>(source), value);
    default:
        return false;
    }
}

void CloudParameter::ApplyToGrainSource(GrainSource* source)
{
    if (source->GetSourceType() == Source::GRAIN_CLOUD)
        ApplyToCloud(static_cast<GrainCloud*>(source));
}

bool CloudParameter::ReadFromGrainSource(GrainSource* source, double* value)
{
    if (source->GetSourceType() != Source::GRAIN_CLOUD)
        return false;
    *value = ReadFromCloud(static_cast<GrainCloud*>(source));
    return true;
}

void CloudViewParameter::ApplyToCloud(GrainCloud* cloud)
{
    UIGrainCloud* view = static_cast<UIGrainCloud*>(cloud->GetUI());
    if (view != nullptr)
        ApplyToView(view);
}

double CloudViewParameter::ReadFromCloud(GrainCloud* cloud)
{
    UIGrainCloud* view = static_cast<UIGrainCloud*>(cloud->GetUI());
    return view != nullptr ? ReadFromView(view) : _value;
}

ParameterNumGrains::ParameterNumGrains(App* app, int idx)
    : CloudParameter(app, idx, "Voices", 1.0, 100.0, 8.0, ValueText::Integer)
{
}

void ParameterNumGrains::ApplyToCloud(GrainCloud* cloud)
{
    const int difference = AsInt(_value) - static_cast<int>(cloud->GetNumGrains());
    for (int i = 0; i < difference; i++)
        cloud->AddGrain();
    for (int i = 0; i < -difference; i++)
        cloud->RemoveGrain();
}

double ParameterNumGrains::ReadFromCloud(GrainCloud* cloud)
{
    return cloud->GetNumGrains();
}

ParameterDuration::ParameterDuration(App* app, int idx)
    : SourceKindParameter(app, idx, "Duration", 0.5, 5000.0, 500.0, ValueText::Milliseconds, 3.0)
{
}

void ParameterDuration::ApplyToGrainSource(GrainSource* source)
{
    source->SetDurationMs(_value);
}

bool ParameterDuration::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetDurationMs();
    return true;
}

ParameterEnvelope::ParameterEnvelope(App* app, int idx)
    : SourceKindParameter(app, idx, "Envelope", 0.0, 5.0, 0.0, nullptr)
{
    SetLabels(ENVELOPE_LABELS);
}

void ParameterEnvelope::ApplyToGrainSource(GrainSource* source)
{
    source->SetEnvelopeType(AsInt(_value));
}

bool ParameterEnvelope::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetEnvelopeType();
    return true;
}

ParameterMotionX::ParameterMotionX(App* app, int idx)
    : CloudViewParameter(app, idx, "X", 0.0, 1.0, 0.0, ValueText::FractionAsPercent)
{
}

void ParameterMotionX::ApplyToView(UIGrainCloud* view)
{
    view->SetXRandExtent(_value);
}

double ParameterMotionX::ReadFromView(UIGrainCloud* view)
{
    return view->GetXRandExtent();
}

ParameterMotionY::ParameterMotionY(App* app, int idx)
    : CloudViewParameter(app, idx, "Y", 0.0, 1.0, 0.0, ValueText::FractionAsPercent)
{
}

void ParameterMotionY::ApplyToView(UIGrainCloud* view)
{
    view->SetYRandExtent(_value);
}

double ParameterMotionY::ReadFromView(UIGrainCloud* view)
{
    return view->GetYRandExtent();
}

ParameterMotionXY::ParameterMotionXY(App* app, int idx)
    : CloudViewParameter(app, idx, "XY", 0.0, 4.0, 0.0, nullptr), _xExtent(0.0), _yExtent(0.0)
{
}

void ParameterMotionXY::ApplyToView(UIGrainCloud* view)
{
    view->SetRandExtentCoeff(_value);
}

double ParameterMotionXY::ReadFromView(UIGrainCloud* view)
{
    _xExtent = view->GetXRandExtent();
    _yExtent = view->GetYRandExtent();
    return view->GetRandExtentCoeff();
}

void ParameterMotionXY::FormatValue(char* text, size_t size) const
{
    // The factor, then the spread it gives across and up, in percent of the window.
    char factor[64], across[64], up[64];
    ValueText::Ratio(factor, sizeof(factor), _value);
    ValueText::FractionAsPercent(across, sizeof(across), _value * _xExtent);
    ValueText::FractionAsPercent(up, sizeof(up), _value * _yExtent);
    snprintf(text, size, "%s (%s, %s)", factor, across, up);
}

ParameterDirection::ParameterDirection(App* app, int idx)
    : SourceKindParameter(app, idx, "Direction", 0.0, 2.0, 0.0, nullptr)
{
    SetLabels(DIRECTION_LABELS);
}

void ParameterDirection::ApplyToGrainSource(GrainSource* source)
{
    source->SetDirection(AsInt(_value));
}

bool ParameterDirection::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetDirection();
    return true;
}

ParameterOverlap::ParameterOverlap(App* app, int idx)
    : CloudParameter(app, idx, "Overlap", 0.0, 1.0, 1.0, ValueText::Number), _voices(1.0)
{
}

void ParameterOverlap::ApplyToCloud(GrainCloud* cloud)
{
    cloud->SetOverlap(_value);
}

double ParameterOverlap::ReadFromCloud(GrainCloud* cloud)
{
    _voices = cloud->GetNumGrains();
    return cloud->GetOverlap();
}

void ParameterOverlap::FormatValue(char* text, size_t size) const
{
    // The value is an exponent of the voice count: 0 plays one grain at a
    // time, 1 keeps every voice sounding at once.
    char exponent[64], atOnce[64];
    ValueText::Number(exponent, sizeof(exponent), _value);
    ValueText::Number(atOnce, sizeof(atOnce), std::pow(_voices, _value));
    snprintf(text, size, "%s (%s at once)", exponent, atOnce);
}

ParameterPitch::ParameterPitch(App* app, int idx)
    : SourceKindParameter(app, idx, "Pitch", 0.1, 5.0, 1.0, ValueText::PitchRatio)
{
}

void ParameterPitch::ApplyToGrainSource(GrainSource* source)
{
    source->SetPitch(_value);
}

bool ParameterPitch::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetPitch();
    return true;
}

ParameterLFOFreq::ParameterLFOFreq(App* app, int idx)
    : SourceKindParameter(app, idx, "LFO Freq", 0.1, 1.0, 1.0, ValueText::Hertz)
{
}

void ParameterLFOFreq::ApplyToGrainSource(GrainSource* source)
{
    source->SetPitchLFOFreq(_value);
}

bool ParameterLFOFreq::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetPitchLFOFreq();
    return true;
}

ParameterLFOAmp::ParameterLFOAmp(App* app, int idx)
    : SourceKindParameter(app, idx, "LFO Amount", 0.0, 1.0, 0.0, ValueText::RatioSwing)
{
}

void ParameterLFOAmp::ApplyToGrainSource(GrainSource* source)
{
    source->SetPitchLFOAmount(_value);
}

bool ParameterLFOAmp::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetPitchLFOAmount();
    return true;
}

ParameterSpatialize::ParameterSpatialize(App* app, int idx)
    : SourceKindParameter(app, idx, "Spatial Mode", 0.0, 2.0, 0.0, nullptr)
{
    SetLabels(SPATIAL_MODE_LABELS);
}

void ParameterSpatialize::ApplyToGrainSource(GrainSource* source)
{
    source->SetSpatialMode(AsInt(_value), KEEP_CHANNEL);
}

bool ParameterSpatialize::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetSpatialMode();
    return true;
}

ParameterVolume::ParameterVolume(App* app, int idx)
    : SourceKindParameter(app, idx, "Volume", -60.0, 6.0, 0.0, ValueText::Decibels)
{
}

void ParameterVolume::ApplyToGrainSource(GrainSource* source)
{
    source->SetVolumeDb(_value);
}

bool ParameterVolume::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetVolumeDb();
    return true;
}

ParameterRange::ParameterRange(App* app, int idx)
    : SourceKindParameter(app, idx, "Range", 0.0, 100.0, 50.0, ValueText::Percent)
{
}

void ParameterRange::ApplyToGrainSource(GrainSource* source)
{
    source->SetRange(_value);
}

bool ParameterRange::ReadFromGrainSource(GrainSource* source, double* value)
{
    *value = source->GetRange();
    return true;
}

ParameterTimeStretch::ParameterTimeStretch(App* app, int idx)
    : SourceParameter(app, idx, "Time Stretch", 0.0, 2.0, 1.0, ValueText::Ratio, 2.0)
{
}

void ParameterTimeStretch::Apply(ParameterProvider* provider)
{
    static_cast<Source*>(provider)->SetTimeStretch(_value);
}

bool ParameterTimeStretch::ReadValue(ParameterProvider* provider, double* value)
{
    *value = static_cast<Source*>(provider)->GetTimeStretch();
    return true;
}
