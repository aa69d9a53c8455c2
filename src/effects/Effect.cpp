#include "effects/Effect.h"

#include <algorithm>
#include <cmath>

#include "parameters/Parameter.h"
#include "session/Serializer.h"
#include "spectral/DSP.h"

Effect::Effect() : _params(), _numParams(0), _soundedLastBlock(false)
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
    if (!IsOn()) {
        _soundedLastBlock = false;
        return;
    }
    nFrames = std::min(nFrames, (int)(buffer->size() / nChan));
    if (nFrames <= 0)
        return;
    if (!_soundedLastBlock)
        SettleGlides();
    _soundedLastBlock = true;
    size_t numSamples = (size_t)nFrames * nChan;
    DSP::SilenceNonFinite(buffer->data(), numSamples);
    ProcessOn(buffer, nFrames, nChan);
    if (DSP::SilenceNonFinite(buffer->data(), numSamples) > 0)
        ClearState();
}

void Effect::Serialize(Serializer* serializer)
{
    for (int i = 0; i < _numParams; i++)
        _params[i]->Serialize(serializer);
}

void Effect::UnSerialize(Serializer* serializer)
{
    for (int i = 0; i < _numParams; i++)
        _params[i]->UnSerialize(serializer);
    UpdateParameters();
    // A restored chain starts afresh: its first block plays the stored settings.
    _soundedLastBlock = false;
}
