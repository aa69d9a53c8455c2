#pragma once

#include <vector>

// Small signal algorithms shared by the spectral processors.
class Algos {
public:
    virtual ~Algos() {}

    // Resamples in to the length out already has, interpolating linearly
    // between neighbouring input samples. The last output sample is the last
    // input sample, and no sample past the end of in is read.
    static void LinearResample(const std::vector<float>& in, std::vector<float>* out);
};
