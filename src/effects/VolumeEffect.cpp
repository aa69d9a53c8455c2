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
    _volume.SetTarget(Scale::DbToAmp(db));
}

void VolumeEffect::UpdateParameters()
{
    SetVolume(_params[VOLUME_PARAM]->GetValue());
    // Muted exactly when the text says "muted".
    SetMute(_params[MUTE_PARAM]->GetValue() >= 0.5);
}

void VolumeEffect::ProcessOn(std::vector<float>* buffer, int nFrames, int nChan)
{
    float* data = buffer->data();
    if (_mute) {
        std::fill(data, data + (long)nFrames * nChan, 0.0f);
        return;
    }
    for (int i = 0; i < nFrames; i++) {
        const double gain = _volume.At(i, nFrames);
        for (int c = 0; c < nChan; c++, data++)
            *data = (float)(gain * *data);
    }
}
