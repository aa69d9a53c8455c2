#pragma once

#include "effects/RatioEffect.h"

// Drives the signal into a hard clip: the higher the ratio, the lower the
// clip level and the louder what remains, up to a square wave at 100 %.
class SaturationEffect : public RatioEffect {
public:
    SaturationEffect();
    virtual ~SaturationEffect();

protected:
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;
};
