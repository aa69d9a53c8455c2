#pragma once

#include "parameters/Parameter.h"

// A parameter of an effect. It has no pie-menu box and no owner to call:
// the effect reads the value back at the start of every audio block, so a
// new value is only clamped to the bounds, stored and its text refreshed
// (NaN is ignored).
class EffectParameter : public Parameter {
public:
    void SetValue(ParameterProvider* provider, double value) override;
    void SetValue(double value) override;

protected:
    EffectParameter(int idx, const char* name, double minValue, double maxValue, double defaultValue, double powFactor);
};

// Shows the value with its unit through a formatter.
class NumberEffectParameter : public EffectParameter {
public:
    void UpdateValue() override;

protected:
    NumberEffectParameter(int idx, const char* name, double minValue, double maxValue, double defaultValue,
                          ValueText::Formatter formatter, double powFactor = 1.0);

private:
    ValueText::Formatter _formatter;
};

// A switch: shows offText below 0.5 and onText from 0.5 on.
class SwitchEffectParameter : public EffectParameter {
public:
    void UpdateValue() override;

protected:
    SwitchEffectParameter(int idx, const char* name, const char* offText, const char* onText);

private:
    const char* _offText;
    const char* _onText;
};

// Index 0 of every effect: the effect is bypassed below 0.5.
class ParameterEffectOn : public SwitchEffectParameter {
public:
    explicit ParameterEffectOn(int idx);
};

// Percent of the way from clean (0) to the coarsest quantisation (100).
class ParameterBitCrushEffectRatio : public NumberEffectParameter {
public:
    explicit ParameterBitCrushEffectRatio(int idx);
};

// Percent of the way from clean (0) to a clip at zero level with full make-up gain (100).
class ParameterSaturationEffectRatio : public NumberEffectParameter {
public:
    explicit ParameterSaturationEffectRatio(int idx);
};

class ParameterDelayEffectTime : public NumberEffectParameter {
public:
    explicit ParameterDelayEffectTime(int idx);
};

class ParameterDelayEffectFeedback : public NumberEffectParameter {
public:
    explicit ParameterDelayEffectFeedback(int idx);
};

class ParameterDelayEffectWetMix : public NumberEffectParameter {
public:
    explicit ParameterDelayEffectWetMix(int idx);
};

class ParameterStereoEffectPan : public NumberEffectParameter {
public:
    explicit ParameterStereoEffectPan(int idx);
};

class ParameterStereoEffectWidth : public NumberEffectParameter {
public:
    explicit ParameterStereoEffectWidth(int idx);
};

// Number of delay lines of the reverb's network.
class ParameterReverbEffectOrder : public NumberEffectParameter {
public:
    explicit ParameterReverbEffectOrder(int idx);
};

class ParameterReverbEffectFeedDryIn : public NumberEffectParameter {
public:
    explicit ParameterReverbEffectFeedDryIn(int idx);
};

class ParameterReverbEffectFeedWetOut : public NumberEffectParameter {
public:
    explicit ParameterReverbEffectFeedWetOut(int idx);
};

class ParameterReverbEffectDryMix : public NumberEffectParameter {
public:
    explicit ParameterReverbEffectDryMix(int idx);
};

// Length of the longest delay line, in samples.
class ParameterReverbEffectDelayTime : public NumberEffectParameter {
public:
    explicit ParameterReverbEffectDelayTime(int idx);
};

class ParameterReverbEffectDecay : public NumberEffectParameter {
public:
    explicit ParameterReverbEffectDecay(int idx);
};

class ParameterVolumeEffectVolume : public NumberEffectParameter {
public:
    explicit ParameterVolumeEffectVolume(int idx);
};

class ParameterVolumeEffectMute : public SwitchEffectParameter {
public:
    explicit ParameterVolumeEffectMute(int idx);
};
