#include "parameters/EffectParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
const char* const PERCENT_FORMAT = "%.1f %%";
const char* const GAIN_FORMAT = "%.3f";
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
                                             double defaultValue, const char* format, Display display, double powFactor)
    : EffectParameter(idx, name, minValue, maxValue, defaultValue, powFactor), _format(format), _display(display)
{
    UpdateValue();
}

void NumberEffectParameter::UpdateValue()
{
    char text[256];
    if (_display == INTEGER)
        snprintf(text, sizeof(text), _format, (int)std::clamp(_value, _minValue, _maxValue));
    else
        snprintf(text, sizeof(text), _format, _value);
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
    : NumberEffectParameter(idx, "Ratio", 0.0, 100.0, 0.0, PERCENT_FORMAT, DECIMAL, RATIO_CURVE)
{
}

ParameterSaturationEffectRatio::ParameterSaturationEffectRatio(int idx)
    : NumberEffectParameter(idx, "Ratio", 0.0, 100.0, 0.0, PERCENT_FORMAT, DECIMAL, RATIO_CURVE)
{
}

ParameterDelayEffectTime::ParameterDelayEffectTime(int idx)
    : NumberEffectParameter(idx, "Time", 1.0, 5000.0, 1000.0, "%d ms", INTEGER)
{
}

ParameterDelayEffectFeedback::ParameterDelayEffectFeedback(int idx)
    : NumberEffectParameter(idx, "Feedback", 0.0, 100.0, 50.0, PERCENT_FORMAT, DECIMAL)
{
}

ParameterDelayEffectWetMix::ParameterDelayEffectWetMix(int idx)
    : NumberEffectParameter(idx, "Wet", 0.0, 100.0, 50.0, PERCENT_FORMAT, DECIMAL)
{
}

ParameterStereoEffectPan::ParameterStereoEffectPan(int idx)
    : NumberEffectParameter(idx, "Pan", -100.0, 100.0, 0.0, PERCENT_FORMAT, DECIMAL)
{
}

ParameterStereoEffectWidth::ParameterStereoEffectWidth(int idx)
    : NumberEffectParameter(idx, "Width", -100.0, 100.0, 0.0, PERCENT_FORMAT, DECIMAL)
{
}

ParameterReverbEffectOrder::ParameterReverbEffectOrder(int idx)
    : NumberEffectParameter(idx, "Order", 1.0, 10.0, 8.0, "%d", INTEGER)
{
}

ParameterReverbEffectFeedDryIn::ParameterReverbEffectFeedDryIn(int idx)
    : NumberEffectParameter(idx, "Feed Dry In", 0.0, 1.0, 0.2, GAIN_FORMAT, DECIMAL)
{
}

ParameterReverbEffectFeedWetOut::ParameterReverbEffectFeedWetOut(int idx)
    : NumberEffectParameter(idx, "Feed Wet Out", 0.0, 1.0, 0.2, GAIN_FORMAT, DECIMAL)
{
}

ParameterReverbEffectDryMix::ParameterReverbEffectDryMix(int idx)
    : NumberEffectParameter(idx, "Dry Mix", 0.0, 1.0, 0.7, GAIN_FORMAT, DECIMAL)
{
}

ParameterReverbEffectDelayTime::ParameterReverbEffectDelayTime(int idx)
    : NumberEffectParameter(idx, "Delay Time", 1.0, 10000.0, 7000.0, "%d", INTEGER)
{
}

ParameterReverbEffectDecay::ParameterReverbEffectDecay(int idx)
    : NumberEffectParameter(idx, "Decay", 0.0, 1.0, 0.95, GAIN_FORMAT, DECIMAL)
{
}

ParameterVolumeEffectVolume::ParameterVolumeEffectVolume(int idx)
    : NumberEffectParameter(idx, "Volume", -12.0, 12.0, 0.0, "%.1f dB", DECIMAL)
{
}

ParameterVolumeEffectMute::ParameterVolumeEffectMute(int idx) : SwitchEffectParameter(idx, "Mute", "", "muted")
{
}
