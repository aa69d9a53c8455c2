#include "parameters/Parameter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

Parameter::Parameter(App* app, int idx)
    : _app(app),
      _idx(idx),
      _value(-1.0),
      _minValue(-1.0),
      _maxValue(-1.0),
      _defaultValue(-1.0),
      _powFactor(1.0),
      _sensivity(1.0),
      _valueStr() {}

Parameter::~Parameter() {}

void Parameter::SetValueStr(const char* valueStr) {
    snprintf(_valueStr, sizeof(_valueStr), "%s", valueStr);
}

// The name is only shown by the on-scene box, which parameters without one
// do not have, so there is nothing to keep here.
void Parameter::SetName(const char*) {}

void Parameter::SetNormalizedValue(double n) {
    n = std::clamp(n, 0.0, 1.0);
    _value = _minValue + (_maxValue - _minValue) * std::pow(n, _powFactor);
    SetValue(_value);
}

double Parameter::GetNormalizedValue() const {
    const double range = _maxValue - _minValue;
    if (range <= 0.0) return 0.0;
    // Effect parameters and typed values may lie outside the bounds; a
    // fractional power of a negative ratio would give NaN and poison every
    // later drag.
    const double ratio = std::clamp((_value - _minValue) / range, 0.0, 1.0);
    return std::pow(ratio, 1.0 / _powFactor);
}

void Parameter::CheckValueBounds(double* value) const {
    *value = std::clamp(*value, _minValue, _maxValue);
}

void Parameter::SetValueCheckBounds(double value) {
    CheckValueBounds(&value);
    _value = value;
}
