#include "effects/SaturationEffect.h"

#include "parameters/EffectParameters.h"
#include "spectral/DSP.h"

SaturationEffect::SaturationEffect() : RatioEffect(new ParameterSaturationEffectRatio(RATIO_PARAM))
{
}

SaturationEffect::~SaturationEffect()
{
}

void SaturationEffect::ProcessOn(std::vector<float>* buffer, int, int)
{
    DSP::Saturation(buffer, _ratio);
}
