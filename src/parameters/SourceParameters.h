#pragma once

#include "parameters/Parameter.h"

class GrainCloud;
class GrainSource;
class UIGrainCloud;

// A parameter of a sound source; the App's current source is its owner of
// the moment, and the typed text it echoes is that of the source's picked
// parameter.
class SourceParameter : public ProviderParameter {
protected:
    SourceParameter(App* app, int idx, const char* name, double minValue, double maxValue, double defaultValue,
                    ValueText::Formatter formatter, double powFactor = 1.0);

    ParameterProvider* GetCurrentProvider() const override;
    int GetCurrentParamIdx() const override;
};

// A source parameter whose setter and getter belong to the grain settings
// every kind of source has, or to grain clouds alone. A parameter that a
// kind does not have leaves sources of that kind alone.
class SourceKindParameter : public SourceParameter {
protected:
    using SourceParameter::SourceParameter;

    virtual void ApplyToGrainSource(GrainSource* source) = 0;
    virtual bool ReadFromGrainSource(GrainSource* source, double* value) = 0;

    void Apply(ParameterProvider* provider) override;
    bool ReadValue(ParameterProvider* provider, double* value) override;
};

// A setting only grain clouds have; other kinds are left alone.
class CloudParameter : public SourceKindParameter {
protected:
    using SourceKindParameter::SourceKindParameter;

    virtual void ApplyToCloud(GrainCloud* cloud) = 0;
    virtual double ReadFromCloud(GrainCloud* cloud) = 0;

    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// A grain-cloud parameter that shapes the cloud's spatial spread, which the
// cloud's view owns.
class CloudViewParameter : public CloudParameter {
protected:
    using CloudParameter::CloudParameter;

    virtual void ApplyToView(UIGrainCloud* view) = 0;
    virtual double ReadFromView(UIGrainCloud* view) = 0;

    void ApplyToCloud(GrainCloud* cloud) override;
    // A cloud without a view yet keeps the parameter's last value.
    double ReadFromCloud(GrainCloud* cloud) override;
};

// Number of grain voices of a cloud.
class ParameterNumGrains : public CloudParameter {
public:
    ParameterNumGrains(App* app, int idx);

protected:
    // Adds or removes one voice per missing or surplus voice.
    void ApplyToCloud(GrainCloud* cloud) override;
    double ReadFromCloud(GrainCloud* cloud) override;
};

// Grain duration in milliseconds; the cubic curve gives fine control over short grains.
class ParameterDuration : public SourceKindParameter {
public:
    ParameterDuration(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// Grain envelope shape.
class ParameterEnvelope : public SourceKindParameter {
public:
    ParameterEnvelope(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// Horizontal spread of a cloud in scene units.
class ParameterMotionX : public CloudViewParameter {
public:
    ParameterMotionX(App* app, int idx);

protected:
    void ApplyToView(UIGrainCloud* view) override;
    double ReadFromView(UIGrainCloud* view) override;
};

// Vertical spread of a cloud in scene units.
class ParameterMotionY : public CloudViewParameter {
public:
    ParameterMotionY(App* app, int idx);

protected:
    void ApplyToView(UIGrainCloud* view) override;
    double ReadFromView(UIGrainCloud* view) override;
};

// Scales both spreads of a cloud at once; its text shows the two effective
// spreads rather than the coefficient.
class ParameterMotionXY : public CloudViewParameter {
public:
    ParameterMotionXY(App* app, int idx);

protected:
    void ApplyToView(UIGrainCloud* view) override;
    double ReadFromView(UIGrainCloud* view) override;
    void FormatValue(char* text, size_t size) const override;

private:
    // The spreads read with the coefficient, for the text.
    double _xExtent;
    double _yExtent;
};

// Playback direction of the grains.
class ParameterDirection : public SourceKindParameter {
public:
    ParameterDirection(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// How many grains of a cloud overlap, as a power of the voice count.
class ParameterOverlap : public CloudParameter {
public:
    ParameterOverlap(App* app, int idx);

protected:
    void ApplyToCloud(GrainCloud* cloud) override;
    double ReadFromCloud(GrainCloud* cloud) override;
    // The exponent and the number of grains it keeps sounding at once.
    void FormatValue(char* text, size_t size) const override;

private:
    // The cloud's voice count when the value was last read.
    double _voices;
};

// Pitch factor of the grains.
class ParameterPitch : public SourceKindParameter {
public:
    ParameterPitch(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// Frequency of the pitch LFO in Hz.
class ParameterLFOFreq : public SourceKindParameter {
public:
    ParameterLFOFreq(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// Depth of the pitch LFO, added to the pitch factor.
class ParameterLFOAmp : public SourceKindParameter {
public:
    ParameterLFOAmp(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// How grains are spread over the output channels.
class ParameterSpatialize : public SourceKindParameter {
public:
    ParameterSpatialize(App* app, int idx);

protected:
    // Keeps the source's spatial channel.
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// Source volume in dB, down to where a source all but falls silent, so that
// pulling its box to the centre takes it out of the mix.
class ParameterVolume : public SourceKindParameter {
public:
    ParameterVolume(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// Width of the band that spectral rects resynthesise.
class ParameterRange : public SourceKindParameter {
public:
    ParameterRange(App* app, int idx);

protected:
    void ApplyToGrainSource(GrainSource* source) override;
    bool ReadFromGrainSource(GrainSource* source, double* value) override;
};

// Time stretch of any source; the square curve gives fine control near 0.
class ParameterTimeStretch : public SourceParameter {
public:
    ParameterTimeStretch(App* app, int idx);

protected:
    void Apply(ParameterProvider* provider) override;
    bool ReadValue(ParameterProvider* provider, double* value) override;
};
