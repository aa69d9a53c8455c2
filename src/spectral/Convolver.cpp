#include "spectral/Convolver.h"

#include <algorithm>

Convolver::Convolver(const std::vector<float>& ir) : _ir(ir)
{
}

void Convolver::Reset()
{
    _prevAdditionalSamples.clear();
}

void Convolver::SetIR(const std::vector<float>& ir)
{
    _ir = ir;
}

void Convolver::Process(const std::vector<float>& in, std::vector<float>* out)
{
    size_t xs = in.size();
    size_t hs = _ir.size();
    size_t tailSize = hs > 0 ? hs - 1 : 0;
    out->assign(xs + tailSize, 0.0f);

    // One impulse-response tap at a time, so the inner loop runs straight along both buffers.
    float* full = out->data();
    for (size_t j = 0; j < hs; j++) {
        float tap = _ir[j];
        float* dst = full + j;
        for (size_t i = 0; i < xs; i++)
            dst[i] += tap * in[i];
    }

    size_t carried = std::min(_prevAdditionalSamples.size(), out->size());
    for (size_t i = 0; i < carried; i++)
        full[i] += _prevAdditionalSamples[i];

    _prevAdditionalSamples.assign(out->begin() + xs, out->end());
    out->resize(xs);
}
