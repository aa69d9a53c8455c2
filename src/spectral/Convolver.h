#pragma once

#include <kiss_fftr.h>

#include <vector>

// Convolves a stream, block by block, with a fixed impulse response. The part
// of each block's response that rings past the block is carried into the next.
//
// The product is taken in the frequency domain (overlap-add): each block is cut
// into segments short enough that segment and response fit one transform
// without wrapping around, so the cost per sample grows with log(response size)
// instead of with the response size.
class Convolver {
public:
    explicit Convolver(const std::vector<float>& ir);
    virtual ~Convolver();
    // The transform plans are owned; a copy would free them twice.
    Convolver(const Convolver&) = delete;
    Convolver& operator=(const Convolver&) = delete;

    // Forgets the carried tail, so that the next block starts from silence.
    void Reset();
    // Keeps the carried tail; the next block rings with the new response.
    void SetIR(const std::vector<float>& ir);
    // out receives in.size() values: the response to this block plus the tail of the earlier ones.
    void Process(const std::vector<float>& in, std::vector<float>* out);

private:
    void PrepareTransforms(int fftSize);
    void FreeTransforms();
    // Adds the response to count input values, starting at in, into dst.
    void AddSegmentResponse(const float* in, size_t count, float* dst);

    std::vector<float> _ir;
    std::vector<float> _prevAdditionalSamples;

    int _fftSize;
    // Input values per segment: a segment's response then fills exactly one transform.
    size_t _segmentSize;
    kiss_fftr_cfg _forward;
    kiss_fftr_cfg _inverse;
    std::vector<kiss_fft_cpx> _irSpectrum;
    std::vector<kiss_fft_cpx> _spectrum;
    std::vector<float> _segment;
};
