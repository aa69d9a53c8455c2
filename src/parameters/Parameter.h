#pragma once

#include <cstddef>

#include "parameters/ParameterProvider.h"
#include "parameters/ValueText.h"

class App;
class Serializer;
class UIParameter;

// One editable value with bounds, a default, a curve that maps a 0..1
// control position to the value, a pie-menu drag sensitivity and the text
// shown for it. Subclasses decide where a new value goes: to the owning
// source or sound rect, or kept here for an effect to read each block.
class Parameter {
public:
    static constexpr int VALUE_STR_SIZE = 255;
    // Beyond this a pie-menu drag would leap across the whole range at once.
    static constexpr double MAX_SENSIVITY = 1e6;

    // app is null for effect parameters; the others get a pie-menu box.
    Parameter(App* app, int idx);
    virtual ~Parameter();
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    // Applies value to provider; does nothing for a provider of the wrong kind.
    virtual void SetValue(ParameterProvider* provider, double value) = 0;
    // Applies value to the current owner, or stores it (effect parameters).
    virtual void SetValue(double value) = 0;
    // Refreshes the value and its text from the owner.
    virtual void UpdateValue() = 0;
    // Takes the value provider holds, so that a save records what sounds and
    // not what the box showed last (or its default, when it never showed).
    // Values held by the parameter itself (effect parameters) stay.
    virtual void TakeValueFrom(ParameterProvider* /*provider*/) {}

    double GetValue() const { return _value; }
    double GetDefaultValue() const { return _defaultValue; }
    double GetMinValue() const { return _minValue; }
    double GetMaxValue() const { return _maxValue; }
    // The text of the pie-menu box when there is one.
    const char* GetValueStr() const;
    // Longer texts are cut to VALUE_STR_SIZE - 1 characters. Value texts are
    // only written on the GUI thread, which also draws them.
    void SetValueStr(const char* valueStr);
    // Only the pie-menu box shows the name; without one it is not kept.
    void SetName(const char* name);

    // n is clamped into 0..1 and mapped through the curve: min + (max - min) * n^powFactor.
    void SetNormalizedValue(double n);
    // The value that SetNormalizedValue(n) would set, for any owner.
    double ValueAtNormalized(double n) const;
    // Inverse of the curve; a value outside the bounds counts as the nearest bound.
    double GetNormalizedValue() const;

    void SetSensivity(double sensivity) { _sensivity = sensivity; }
    double GetSensivity() const { return _sensivity; }
    int GetIndex() const { return _idx; }
    UIParameter* GetUI() const { return _uiParam; }

    void CheckValueBounds(double* value) const;
    void SetValueCheckBounds(double value);

    // Index, value and sensitivity, then the pie-menu box's place.
    void Serialize(Serializer* serializer) const;
    // A value that is missing or not a number keeps the current one, so a
    // damaged file can never feed garbage to an owner or an effect.
    void UnSerialize(Serializer* serializer);

protected:
    // What every concrete parameter sets right after construction: its name,
    // bounds, default (which is also its starting value) and curve.
    void Define(const char* name, double minValue, double maxValue, double defaultValue, double powFactor);

    App* _app;
    int _idx;
    double _value;
    double _minValue;
    double _maxValue;
    double _defaultValue;
    // Above 1: finer control near the lower bound; below 1: near the upper one.
    double _powFactor;
    UIParameter* _uiParam;
    double _sensivity;
    char _valueStr[VALUE_STR_SIZE];
};

// A parameter owned by a source or a sound rect view. A new value is clamped
// and handed to the owner's setter; the text is read back from the owner of
// the moment, except while the performer types a value for this parameter,
// when the typed text itself is shown.
class ProviderParameter : public Parameter {
public:
    // Does nothing, not even storing the value, unless provider is of this
    // parameter's provider type.
    void SetValue(ParameterProvider* provider, double value) override;
    // Applies value to the App's current owner of this parameter's kind.
    void SetValue(double value) override;
    void UpdateValue() override;
    void TakeValueFrom(ParameterProvider* provider) override;

protected:
    // formatter writes the text of _value, unless labels are set.
    ProviderParameter(App* app, int idx, ParameterProvider::Type providerType, const char* name, double minValue,
                      double maxValue, double defaultValue, ValueText::Formatter formatter, double powFactor = 1.0);

    // Makes this an enumerated parameter: its text is the label of the value
    // truncated to int (empty outside the table), and typed text is never shown.
    void SetLabels(const char* const* labels, int numLabels);
    template <size_t N>
    void SetLabels(const char* const (&labels)[N])
    {
        SetLabels(labels, static_cast<int>(N));
    }

    // Calls the owner's setter with the clamped _value.
    virtual void Apply(ParameterProvider* provider) = 0;
    // Reads the owner's live value; false when this owner has none.
    virtual bool ReadValue(ParameterProvider* provider, double* value) = 0;
    // The App's current owner of this kind and its picked parameter index.
    virtual ParameterProvider* GetCurrentProvider() const = 0;
    virtual int GetCurrentParamIdx() const = 0;
    // Writes the text of the clamped _value.
    virtual void FormatValue(char* text, size_t size) const;

private:
    ParameterProvider::Type _providerType;
    ValueText::Formatter _formatter;
    const char* const* _labels;
    int _numLabels;
};
