#include "effects/BitCrushEffect.h"

#include "parameters/EffectParameters.h"
#include "spectral/DSP.h"

BitCrushEffect::BitCrushEffect() : RatioEffect(new ParameterBitCrushEffectRatio(RATIO_PARAM))
{
}

BitCrushEffect::~BitCrushEffect()
{
}

void BitCrushEffect::ProcessOn(std::vector<float>* buffer, int, int)
{
    DSP::BitCrush(buffer, _ratio);
}
