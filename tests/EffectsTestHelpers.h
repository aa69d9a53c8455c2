#pragma once

#include <cstdlib>
#include <vector>

#include "effects/Effect.h"
#include "parameters/Parameter.h"

// Uniform noise in [-amplitude, amplitude], repeatable through srand.
inline std::vector<float> RandomSamples(size_t n, float amplitude = 0.9f)
{
    std::vector<float> x(n);
    for (float& v : x)
        v = amplitude * (2.0f * std::rand() / float(RAND_MAX) - 1.0f);
    return x;
}

// Sets a parameter as the effects window would.
inline void SetParam(Effect* effect, int idx, double value)
{
    effect->GetParameter(idx)->SetValue(value);
}

inline void SwitchOn(Effect* effect, bool on = true)
{
    SetParam(effect, 0, on ? 1.0 : 0.0);
}

// Runs a whole interleaved signal through the effect in blocks of blockFrames.
inline void ProcessInBlocks(Effect* effect, std::vector<float>* signal, int nChan, int blockFrames)
{
    int totalFrames = (int)(signal->size() / nChan);
    std::vector<float> block;
    for (int start = 0; start < totalFrames; start += blockFrames) {
        int n = std::min(blockFrames, totalFrames - start);
        block.assign(signal->begin() + (long)start * nChan, signal->begin() + (long)(start + n) * nChan);
        effect->Process(&block, n, nChan);
        std::copy(block.begin(), block.end(), signal->begin() + (long)start * nChan);
    }
}
