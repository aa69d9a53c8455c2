#pragma once

#include "effects/Effect.h"

// Lowers the resolution of every sample, from clean to two levels.
class BitCrushEffect : public Effect {
public:
    enum ParamIdx { ON_PARAM = 0, RATIO_PARAM = 1, NUM_PARAMS = 2 };

    BitCrushEffect();
    virtual ~BitCrushEffect();

    void SetRatio(double percent) { _ratio = 0.01 * percent; }

protected:
    void UpdateParameters() override;
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;

private:
    double _ratio;
};
