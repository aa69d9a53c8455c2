#include "effects/BitCrushEffect.h"

#include "parameters/EffectParameters.h"
#include "spectral/DSP.h"

BitCrushEffect::BitCrushEffect() : _ratio(0.0)
{
    AddParameter(new ParameterEffectOn(ON_PARAM));
    AddParameter(new ParameterBitCrushEffectRatio(RATIO_PARAM));
}

BitCrushEffect::~BitCrushEffect()
{
}

void BitCrushEffect::UpdateParameters()
{
    SetRatio(_params[RATIO_PARAM]->GetValue());
}

void BitCrushEffect::ProcessOn(std::vector<float>* buffer, int, int)
{
    DSP::BitCrush(buffer, _ratio);
}
