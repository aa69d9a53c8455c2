#pragma once

#include "effects/Effect.h"

// Drives the signal into a hard clip: the higher the ratio, the lower the
// clip level and the louder what remains, up to a square wave at 100 %.
class SaturationEffect : public Effect {
public:
    enum ParamIdx { ON_PARAM = 0, RATIO_PARAM = 1, NUM_PARAMS = 2 };

    SaturationEffect();
    virtual ~SaturationEffect();

    void SetRatio(double percent) { _ratio = 0.01 * percent; }

protected:
    void UpdateParameters() override;
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;

private:
    double _ratio;
};
