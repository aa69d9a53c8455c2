#include "effects/VolumeEffect.h"

#include <algorithm>

#include "parameters/EffectParameters.h"
#include "spectral/Scale.h"

VolumeEffect::VolumeEffect() : _volume(1.0), _mute(false)
{
    AddParameter(new ParameterEffectOn(ON_PARAM));
    AddParameter(new ParameterVolumeEffectVolume(VOLUME_PARAM));
    AddParameter(new ParameterVolumeEffectMute(MUTE_PARAM));
}

VolumeEffect::~VolumeEffect()
{
}

void VolumeEffect::SetVolume(double db)
{
    _volume = Scale::DbToAmp(db);
}

void VolumeEffect::UpdateParameters()
{
    SetVolume(_params[VOLUME_PARAM]->GetValue());
    // Muted exactly when the text says "muted".
    SetMute(_params[MUTE_PARAM]->GetValue() >= 0.5);
}

void VolumeEffect::ProcessOn(std::vector<float>* buffer, int nFrames, int nChan)
{
    float* end = buffer->data() + (long)nFrames * nChan;
    if (_mute) {
        std::fill(buffer->data(), end, 0.0f);
        return;
    }
    for (float* s = buffer->data(); s != end; s++)
        *s = (float)(_volume * *s);
}
