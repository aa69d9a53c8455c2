#include "parameters/SourceParameters.h"

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
                                 double defaultValue, const char* format, double powFactor)
    : ProviderParameter(app, idx, ParameterProvider::SOURCE, name, minValue, maxValue, defaultValue, format, powFactor)
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

ParameterNumGrains::ParameterNumGrains(App* app, int idx) : CloudParameter(app, idx, "Voices", 1.0, 100.0, 8.0, nullptr)
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

void ParameterNumGrains::FormatValue(char* text, size_t size) const
{
    snprintf(text, size, "%d", AsInt(_value));
}

ParameterDuration::ParameterDuration(App* app, int idx)
    : SourceKindParameter(app, idx, "Duration", 0.5, 5000.0, 500.0, "%g ms", 3.0)
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

ParameterMotionX::ParameterMotionX(App* app, int idx) : CloudViewParameter(app, idx, "X", 0.0, 1.0, 0.0, "%g")
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

ParameterMotionY::ParameterMotionY(App* app, int idx) : CloudViewParameter(app, idx, "Y", 0.0, 1.0, 0.0, "%g")
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
    snprintf(text, size, "%g, %g", _value * _xExtent, _value * _yExtent);
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

// Shown with "ms" like the duration, although the value is a 0..1 exponent
// of the voice count.
ParameterOverlap::ParameterOverlap(App* app, int idx) : CloudParameter(app, idx, "Overlap", 0.0, 1.0, 1.0, "%g ms")
{
}

void ParameterOverlap::ApplyToCloud(GrainCloud* cloud)
{
    cloud->SetOverlap(_value);
}

double ParameterOverlap::ReadFromCloud(GrainCloud* cloud)
{
    return cloud->GetOverlap();
}

ParameterPitch::ParameterPitch(App* app, int idx) : SourceKindParameter(app, idx, "Pitch", 0.1, 5.0, 1.0, "%g")
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

ParameterLFOFreq::ParameterLFOFreq(App* app, int idx) : SourceKindParameter(app, idx, "LFO Freq", 0.1, 1.0, 1.0, "%g")
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

ParameterLFOAmp::ParameterLFOAmp(App* app, int idx) : SourceKindParameter(app, idx, "LFO Amount", 0.0, 1.0, 0.0, "%g")
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

ParameterVolume::ParameterVolume(App* app, int idx) : SourceKindParameter(app, idx, "Volume", -60.0, 6.0, 0.0, "%g dB")
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

ParameterRange::ParameterRange(App* app, int idx) : SourceKindParameter(app, idx, "Range", 0.0, 100.0, 50.0, "%g %%")
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
    : SourceParameter(app, idx, "Time Stretch", 0.0, 2.0, 1.0, "%.2f", 2.0)
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
