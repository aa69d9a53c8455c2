#include "effects/SaturationEffect.h"

#include "parameters/EffectParameters.h"
#include "spectral/DSP.h"

SaturationEffect::SaturationEffect() : _ratio(0.0)
{
    AddParameter(new ParameterEffectOn(ON_PARAM));
    AddParameter(new ParameterSaturationEffectRatio(RATIO_PARAM));
}

SaturationEffect::~SaturationEffect()
{
}

void SaturationEffect::UpdateParameters()
{
    SetRatio(_params[RATIO_PARAM]->GetValue());
}

void SaturationEffect::ProcessOn(std::vector<float>* buffer, int, int)
{
    DSP::Saturation(buffer, _ratio);
}
