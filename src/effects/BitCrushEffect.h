#pragma once

#include "effects/RatioEffect.h"

// Lowers the resolution of every sample, from clean to two levels.
class BitCrushEffect : public RatioEffect {
public:
    BitCrushEffect();
    virtual ~BitCrushEffect();

protected:
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;
};
