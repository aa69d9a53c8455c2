#include "effects/Effect.h"

#include <algorithm>
#include <cmath>

#include "parameters/Parameter.h"
#include "session/Serializer.h"

namespace {
void SerializeParameter(const Parameter* param, Serializer* serializer)
{
    serializer->PutInt(param->GetIndex());
    serializer->PutDouble(param->GetValue());
    serializer->PutDouble(param->GetSensivity());
}

// A value that is missing or not a number keeps the current one: an effect
// fed NaN would size its buffers from garbage.
void UnSerializeParameter(Parameter* param, Serializer* serializer)
{
    int idx = 0;
    serializer->GetInt(&idx);
    double value = param->GetValue();
    if (serializer->GetDouble(&value) && std::isfinite(value))
        param->SetValue(value);
    double sensivity = param->GetSensivity();
    serializer->GetDouble(&sensivity);
    param->SetSensivity(sensivity);
}
}

Effect::Effect() : _params(), _numParams(0)
{
}

Effect::~Effect()
{
    for (int i = 0; i < _numParams; i++)
        delete _params[i];
}

void Effect::AddParameter(Parameter* param)
{
    _params[_numParams++] = param;
}

bool Effect::IsOn() const
{
    return _params[0]->GetValue() >= 0.5;
}

void Effect::Process(std::vector<float>* buffer, int nFrames, int nChan)
{
    if (nChan < GetMinChannels())
        return;
    UpdateParameters();
    if (!IsOn())
        return;
    nFrames = std::min(nFrames, (int)(buffer->size() / nChan));
    if (nFrames > 0)
        ProcessOn(buffer, nFrames, nChan);
}

void Effect::Serialize(Serializer* serializer)
{
    for (int i = 0; i < _numParams; i++)
        SerializeParameter(_params[i], serializer);
}

void Effect::UnSerialize(Serializer* serializer)
{
    for (int i = 0; i < _numParams; i++)
        UnSerializeParameter(_params[i], serializer);
    UpdateParameters();
}
