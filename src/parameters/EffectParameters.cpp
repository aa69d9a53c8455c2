#include "parameters/EffectParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// The ratios are cube-root curves: most of the knob's travel goes to the
// gentle settings, the harsh ones are squeezed into the top end.
const double RATIO_CURVE = 1.0 / 3.0;
}  // namespace

EffectParameter::EffectParameter(int idx, const char* name, double minValue, double maxValue, double defaultValue,
                                 double powFactor)
    : Parameter(nullptr, idx)
{
    Define(name, minValue, maxValue, defaultValue, powFactor);
}

void EffectParameter::SetValue(ParameterProvider*, double)
{
}

void EffectParameter::SetValue(double value)
{
    // Every value enters here, from a knob, a typed text or a session file:
    // the effects then only ever read values within the bounds.
    if (std::isnan(value))
        return;
    SetValueCheckBounds(value);
    UpdateValue();
}

NumberEffectParameter::NumberEffectParameter(int idx, const char* name, double minValue, double maxValue,
                                             double defaultValue, ValueText::Formatter formatter, double powFactor)
    : EffectParameter(idx, name, minValue, maxValue, defaultValue, powFactor), _formatter(formatter)
{
    UpdateValue();
}

void NumberEffectParameter::UpdateValue()
{
    char text[256];
    _formatter(text, sizeof(text), _value);
    SetValueStr(text);
}

SwitchEffectParameter::SwitchEffectParameter(int idx, const char* name, const char* offText, const char* onText)
    : EffectParameter(idx, name, 0.0, 1.0, 0.0, 1.0), _offText(offText), _onText(onText)
{
    UpdateValue();
}

void SwitchEffectParameter::UpdateValue()
{
    SetValueStr(_value < 0.5 ? _offText : _onText);
}

ParameterEffectOn::ParameterEffectOn(int idx) : SwitchEffectParameter(idx, "On", "off", "on")
{
}

ParameterBitCrushEffectRatio::ParameterBitCrushEffectRatio(int idx)
    : NumberEffectParameter(idx, "Ratio", 0.0, 100.0, 0.0, ValueText::Percent, RATIO_CURVE)
{
}

ParameterSaturationEffectRatio::ParameterSaturationEffectRatio(int idx)
    : NumberEffectParameter(idx, "Ratio", 0.0, 100.0, 0.0, ValueText::Percent, RATIO_CURVE)
{
}

ParameterDelayEffectTime::ParameterDelayEffectTime(int idx)
    : NumberEffectParameter(idx, "Time", 1.0, 5000.0, 1000.0, ValueText::Milliseconds)
{
}

ParameterDelayEffectFeedback::ParameterDelayEffectFeedback(int idx)
    : NumberEffectParameter(idx, "Feedback", 0.0, 100.0, 50.0, ValueText::Percent)
{
}

ParameterDelayEffectWetMix::ParameterDelayEffectWetMix(int idx)
    : NumberEffectParameter(idx, "Wet", 0.0, 100.0, 50.0, ValueText::Percent)
{
}

ParameterStereoEffectPan::ParameterStereoEffectPan(int idx)
    : NumberEffectParameter(idx, "Pan", -100.0, 100.0, 0.0, ValueText::Percent)
{
}

ParameterStereoEffectWidth::ParameterStereoEffectWidth(int idx)
    : NumberEffectParameter(idx, "Width", -100.0, 100.0, 0.0, ValueText::Percent)
{
}

ParameterReverbEffectOrder::ParameterReverbEffectOrder(int idx)
    : NumberEffectParameter(idx, "Order", 1.0, 10.0, 8.0, ValueText::Integer)
{
}

ParameterReverbEffectFeedDryIn::ParameterReverbEffectFeedDryIn(int idx)
    : NumberEffectParameter(idx, "Feed Dry In", 0.0, 1.0, 0.2, ValueText::FractionAsPercent)
{
}

ParameterReverbEffectFeedWetOut::ParameterReverbEffectFeedWetOut(int idx)
    : NumberEffectParameter(idx, "Feed Wet Out", 0.0, 1.0, 0.2, ValueText::FractionAsPercent)
{
}

ParameterReverbEffectDryMix::ParameterReverbEffectDryMix(int idx)
    : NumberEffectParameter(idx, "Dry Mix", 0.0, 1.0, 0.7, ValueText::FractionAsPercent)
{
}

ParameterReverbEffectDelayTime::ParameterReverbEffectDelayTime(int idx)
    : NumberEffectParameter(idx, "Delay Time", 1.0, 10000.0, 7000.0, ValueText::SamplesAsMilliseconds)
{
}

ParameterReverbEffectDecay::ParameterReverbEffectDecay(int idx)
    : NumberEffectParameter(idx, "Decay", 0.0, 1.0, 0.95, ValueText::FractionAsPercent)
{
}

ParameterVolumeEffectVolume::ParameterVolumeEffectVolume(int idx)
    : NumberEffectParameter(idx, "Volume", -12.0, 12.0, 0.0, ValueText::Decibels)
{
}

ParameterVolumeEffectMute::ParameterVolumeEffectMute(int idx) : SwitchEffectParameter(idx, "Mute", "", "muted")
{
}
