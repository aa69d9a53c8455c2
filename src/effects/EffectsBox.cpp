#include "effects/EffectsBox.h"

#include "effects/BitCrushEffect.h"
#include "effects/DelayEffect.h"
#include "effects/ReverbEffect.h"
#include "effects/SaturationEffect.h"
#include "effects/StereoEffect.h"
#include "effects/VolumeEffect.h"
#include "ui/UIEffect.h"
#include "ui/UIEffectsCanvas.h"

EffectsBox::EffectsBox()
{
    _effects[EFFECT_VOLUME] = new VolumeEffect();
    _effects[EFFECT_STEREO] = new StereoEffect();
    _effects[EFFECT_BIT_CRUSH] = new BitCrushEffect();
    _effects[EFFECT_SATURATION] = new SaturationEffect();
    _effects[EFFECT_DELAY] = new DelayEffect();
    _effects[EFFECT_REVERB] = new ReverbEffect();
}

EffectsBox::~EffectsBox()
{
    for (Effect* effect : _effects)
        delete effect;
}

void EffectsBox::FollowRate()
{
    for (Effect* effect : _effects)
        effect->FollowRate();
}

void EffectsBox::Process(std::vector<float>* buffer, int nFrames, int nChan)
{
    for (Effect* effect : _effects)
        effect->Process(buffer, nFrames, nChan);
}

void EffectsBox::Serialize(Serializer* serializer)
{
    for (Effect* effect : _effects)
        effect->Serialize(serializer);
}

void EffectsBox::UnSerialize(Serializer* serializer)
{
    for (Effect* effect : _effects)
        effect->UnSerialize(serializer);
}

void EffectsBox::RegisterUI(UIEffectsCanvas* canvas)
{
    for (int e = 0; e < NUM_EFFECTS; e++) {
        UIEffect* panel = canvas->GetEffect((EffectIdx)e);
        for (int i = 0; i < _effects[e]->GetNumParams(); i++)
            panel->SetParameter(i, _effects[e]->GetParameter(i));
    }
}
