#pragma once

class App;
class ParameterProvider;

// One editable value with bounds, a default, a curve that maps a 0..1
// control position to the value, a pie-menu drag sensitivity and the text
// shown for it. Subclasses decide where a new value goes: to the owning
// source or sound rect, or kept here for an effect to read each block.
class Parameter {
public:
    static const int VALUE_STR_SIZE = 255;

    // app is null for effect parameters.
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

    double GetValue() const { return _value; }
    double GetDefaultValue() const { return _defaultValue; }
    const char* GetValueStr() const { return _valueStr; }
    // Longer texts are cut to VALUE_STR_SIZE - 1 characters.
    void SetValueStr(const char* valueStr);
    void SetName(const char* name);

    // n is clamped into 0..1 and mapped through the curve: min + (max - min) * n^powFactor.
    void SetNormalizedValue(double n);
    // Inverse of the curve; a value outside the bounds counts as the nearest bound.
    double GetNormalizedValue() const;

    void SetSensivity(double sensivity) { _sensivity = sensivity; }
    double GetSensivity() const { return _sensivity; }
    int GetIndex() const { return _idx; }

    void CheckValueBounds(double* value) const;
    void SetValueCheckBounds(double value);

protected:
    App* _app;
    int _idx;
    double _value;
    double _minValue;
    double _maxValue;
    double _defaultValue;
    // Above 1: finer control near the lower bound; below 1: near the upper one.
    double _powFactor;
    double _sensivity;
    char _valueStr[VALUE_STR_SIZE];
};
