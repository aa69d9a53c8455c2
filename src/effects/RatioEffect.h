#pragma once

#include "effects/Effect.h"

class Parameter;

// An effect driven by one amount, a ratio in percent after the On switch:
// bit crush and saturation.
class RatioEffect : public Effect {
public:
    enum ParamIdx { ON_PARAM = 0, RATIO_PARAM = 1, NUM_PARAMS = 2 };

    virtual ~RatioEffect();

    void SetRatio(double percent) { _ratio = 0.01 * percent; }

protected:
    // ratioParam is the effect's own ratio parameter, owned from here on.
    explicit RatioEffect(Parameter* ratioParam);
    void UpdateParameters() override;

    // The ratio as a fraction, 0 … 1.
    double _ratio;
};
