#include "effects/RatioEffect.h"

#include "parameters/EffectParameters.h"

RatioEffect::RatioEffect(Parameter* ratioParam) : _ratio(0.0)
{
    AddParameter(new ParameterEffectOn(ON_PARAM));
    AddParameter(ratioParam);
}

RatioEffect::~RatioEffect()
{
}

void RatioEffect::UpdateParameters()
{
    SetRatio(_params[RATIO_PARAM]->GetValue());
}
