#include "parameters/Parameter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/App.h"
#include "session/Serializer.h"
#include "ui/UIParameter.h"

Parameter::Parameter(App* app, int idx)
    : _app(app), _idx(idx), _value(-1.0), _minValue(-1.0), _maxValue(-1.0), _defaultValue(-1.0), _powFactor(1.0),
      _uiParam(nullptr), _sensivity(1.0), _valueStr()
{
    if (_app != nullptr)
        _uiParam = new UIParameter(this, _app->GetScreen(), _app->GetStyle());
}

Parameter::~Parameter()
{
    delete _uiParam;
}

const char* Parameter::GetValueStr() const
{
    return _uiParam != nullptr ? _uiParam->GetValueStr() : _valueStr;
}

void Parameter::SetValueStr(const char* valueStr)
{
    snprintf(_valueStr, sizeof(_valueStr), "%s", valueStr);
    if (_uiParam != nullptr)
        _uiParam->SetValueStr(valueStr);
}

void Parameter::SetName(const char* name)
{
    if (_uiParam != nullptr)
        _uiParam->SetName(name);
}

void Parameter::SetNormalizedValue(double n)
{
    _value = ValueAtNormalized(n);
    SetValue(_value);
}

double Parameter::ValueAtNormalized(double n) const
{
    n = std::clamp(n, 0.0, 1.0);
    return _minValue + (_maxValue - _minValue) * std::pow(n, _powFactor);
}

double Parameter::GetNormalizedValue() const
{
    const double range = _maxValue - _minValue;
    if (range <= 0.0)
        return 0.0;
    // Effect parameters and typed values may lie outside the bounds; a
    // fractional power of a negative ratio would give NaN and poison every
    // later drag.
    const double ratio = std::clamp((_value - _minValue) / range, 0.0, 1.0);
    return std::pow(ratio, 1.0 / _powFactor);
}

void Parameter::CheckValueBounds(double* value) const
{
    *value = std::clamp(*value, _minValue, _maxValue);
}

void Parameter::SetValueCheckBounds(double value)
{
    CheckValueBounds(&value);
    _value = value;
}

ProviderParameter::ProviderParameter(App* app, int idx, ParameterProvider::Type providerType, const char* name,
                                     double minValue, double maxValue, double defaultValue,
                                     ValueText::Formatter formatter, double powFactor)
    : Parameter(app, idx), _providerType(providerType), _formatter(formatter), _labels(nullptr), _numLabels(0)
{
    Define(name, minValue, maxValue, defaultValue, powFactor);
}

void ProviderParameter::SetLabels(const char* const* labels, int numLabels)
{
    _labels = labels;
    _numLabels = numLabels;
}

void ProviderParameter::SetValue(ParameterProvider* provider, double value)
{
    if (provider == nullptr || provider->GetParamProviderType() != _providerType)
        return;
    SetValueCheckBounds(value);
    Apply(provider);
}

void ProviderParameter::SetValue(double value)
{
    SetValue(GetCurrentProvider(), value);
}

void ProviderParameter::UpdateValue()
{
    const bool enumerated = _labels != nullptr;
    const char* typed = _app->GetParamValueString();
    if (!enumerated && typed != nullptr) {
        // Only the parameter being typed into echoes the text; the others
        // keep showing their last value.
        if (_idx == GetCurrentParamIdx())
            SetValueStr(typed);
        return;
    }
    ParameterProvider* provider = GetCurrentProvider();
    double value = 0.0;
    if (provider == nullptr || !ReadValue(provider, &value))
        return;
    _value = value;
    CheckValueBounds(&_value);
    char text[VALUE_STR_SIZE];
    FormatValue(text, sizeof(text));
    SetValueStr(text);
}

void ProviderParameter::TakeValueFrom(ParameterProvider* provider)
{
    double value = 0.0;
    if (provider == nullptr || provider->GetParamProviderType() != _providerType || !ReadValue(provider, &value))
        return;
    _value = value;
    CheckValueBounds(&_value);
}

void ProviderParameter::FormatValue(char* text, size_t size) const
{
    if (_labels == nullptr) {
        _formatter(text, size, _value);
        return;
    }
    const int index = static_cast<int>(_value);
    snprintf(text, size, "%s", index >= 0 && index < _numLabels ? _labels[index] : "");
}

void Parameter::Serialize(Serializer* serializer) const
{
    serializer->PutInt(_idx);
    serializer->PutDouble(_value);
    serializer->PutDouble(_sensivity);
    if (_uiParam != nullptr)
        _uiParam->Serialize(serializer);
}

void Parameter::UnSerialize(Serializer* serializer)
{
    int idx = 0;
    serializer->GetInt(&idx);
    double value = _value;
    if (serializer->GetDouble(&value) && std::isfinite(value))
        SetValue(value);
    double sensivity = _sensivity;
    if (serializer->GetDouble(&sensivity) && std::isfinite(sensivity) && sensivity > 0.0 && sensivity <= MAX_SENSIVITY)
        SetSensivity(sensivity);
    if (_uiParam != nullptr)
        _uiParam->UnSerialize(serializer);
}

void Parameter::Define(const char* name, double minValue, double maxValue, double defaultValue, double powFactor)
{
    SetName(name);
    _minValue = minValue;
    _maxValue = maxValue;
    _defaultValue = defaultValue;
    _value = defaultValue;
    _powFactor = powFactor;
}
