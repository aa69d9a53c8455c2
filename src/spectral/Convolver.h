#pragma once

#include <vector>

// Convolves a stream, block by block, with a fixed impulse response. The part
// of each block's response that rings past the block is carried into the next.
class Convolver {
public:
    explicit Convolver(const std::vector<float>& ir);
    virtual ~Convolver() {}

    // Forgets the carried tail, so that the next block starts from silence.
    void Reset();
    void SetIR(const std::vector<float>& ir);
    // out receives in.size() values: the response to this block plus the tail of the earlier ones.
    void Process(const std::vector<float>& in, std::vector<float>* out);

private:
    std::vector<float> _ir;
    std::vector<float> _prevAdditionalSamples;
};
