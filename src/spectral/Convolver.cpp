#include "spectral/Convolver.h"

#include <algorithm>

namespace {
// The real transform needs an even size, and tinier ones would save nothing.
const int MIN_FFT_SIZE = 16;

// At least twice the response, so that a segment holds at least as many input
// values as the response has taps.
int FftSizeFor(size_t irSize)
{
    int size = MIN_FFT_SIZE;
    while ((size_t)size < 2 * irSize)
        size *= 2;
    return size;
}
}  // namespace

Convolver::Convolver(const std::vector<float>& ir) : _fftSize(0), _segmentSize(0), _forward(nullptr), _inverse(nullptr)
{
    SetIR(ir);
}

Convolver::~Convolver()
{
    FreeTransforms();
}

void Convolver::Reset()
{
    _prevAdditionalSamples.clear();
}

void Convolver::SetIR(const std::vector<float>& ir)
{
    _ir = ir;
    if (_ir.empty())
        return;
    PrepareTransforms(FftSizeFor(_ir.size()));
    _segmentSize = _fftSize - (_ir.size() - 1);

    // The response's spectrum, scaled by 1/N here once, because the inverse
    // transform is unnormalised.
    std::fill(_segment.begin(), _segment.end(), 0.0f);
    float norm = 1.0f / _fftSize;
    for (size_t i = 0; i < _ir.size(); i++)
        _segment[i] = _ir[i] * norm;
    kiss_fftr(_forward, _segment.data(), _irSpectrum.data());
}

void Convolver::PrepareTransforms(int fftSize)
{
    if (fftSize == _fftSize)
        return;
    FreeTransforms();
    _fftSize = fftSize;
    _forward = kiss_fftr_alloc(fftSize, 0, nullptr, nullptr);
    _inverse = kiss_fftr_alloc(fftSize, 1, nullptr, nullptr);
    _segment.assign(fftSize, 0.0f);
    _spectrum.assign(fftSize / 2 + 1, kiss_fft_cpx{0.0f, 0.0f});
    _irSpectrum.assign(fftSize / 2 + 1, kiss_fft_cpx{0.0f, 0.0f});
}

void Convolver::FreeTransforms()
{
    kiss_fftr_free(_forward);
    kiss_fftr_free(_inverse);
    _forward = nullptr;
    _inverse = nullptr;
}

void Convolver::Process(const std::vector<float>& in, std::vector<float>* out)
{
    size_t xs = in.size();
    size_t hs = _ir.size();
    size_t tailSize = hs > 0 ? hs - 1 : 0;
    out->assign(xs + tailSize, 0.0f);

    float* full = out->data();
    if (hs > 0) {
        for (size_t pos = 0; pos < xs; pos += _segmentSize)
            AddSegmentResponse(in.data() + pos, std::min(_segmentSize, xs - pos), full + pos);
    }

    size_t carried = std::min(_prevAdditionalSamples.size(), out->size());
    for (size_t i = 0; i < carried; i++)
        full[i] += _prevAdditionalSamples[i];

    _prevAdditionalSamples.assign(out->begin() + xs, out->end());
    out->resize(xs);
}

void Convolver::AddSegmentResponse(const float* in, size_t count, float* dst)
{
    std::copy_n(in, count, _segment.begin());
    std::fill(_segment.begin() + count, _segment.end(), 0.0f);
    kiss_fftr(_forward, _segment.data(), _spectrum.data());

    for (size_t k = 0; k < _spectrum.size(); k++) {
        kiss_fft_cpx x = _spectrum[k];
        kiss_fft_cpx h = _irSpectrum[k];
        _spectrum[k].r = x.r * h.r - x.i * h.i;
        _spectrum[k].i = x.r * h.i + x.i * h.r;
    }
    kiss_fftri(_inverse, _spectrum.data(), _segment.data());

    // A short segment's response ends early: the rest of the transform is zero.
    size_t responseSize = count + _ir.size() - 1;
    for (size_t i = 0; i < responseSize; i++)
        dst[i] += _segment[i];
}
