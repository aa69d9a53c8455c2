#include "spectral/Stereoizer.h"

#include <kiss_fft.h>

#include <algorithm>
#include <cmath>

#include "sources/RandomGenerator.h"
#include "spectral/Convolver.h"
#include "spectral/Scale.h"

namespace {
// Centre of the generator's range, so that the mask draws are symmetric around 0.
const double RAND_CENTRE = 1073741824.0;
const double GAIN_DB = 6.0;
}  // namespace

Stereoizer::Stereoizer(double width, unsigned seed)
    : _width(width), _seed(seed), _convolverL(nullptr), _block(IR_SIZE, 0.0f), _blockL(IR_SIZE, 0.0f)
{
    Seed(seed);
}

Stereoizer::~Stereoizer()
{
    delete _convolverL;
}

void Stereoizer::Seed(unsigned seed)
{
    _seed = seed;
    std::vector<float> irL, irR;
    GenerateIRs(&irL, &irR);
    delete _convolverL;
    _convolverL = new Convolver(irL);
}

void Stereoizer::Reset()
{
    _convolverL->Reset();
}

void Stereoizer::SetWidth(double width)
{
    _width = width;
}

void Stereoizer::GenerateIRs(std::vector<float>* irL, std::vector<float>* irR) const
{
    // With the generator's raw range the arctangent saturates: each bin is 0 or 1.
    RandomGenerator random(_seed);
    std::vector<float> mask(IR_SIZE), complement(IR_SIZE);
    for (int i = 0; i < IR_SIZE; i++) {
        double r = (float)random.Next() - RAND_CENTRE;
        mask[i] = (float)(0.5 + std::atan(r * _width) / M_PI);
        complement[i] = 1.0f - mask[i];
    }
    ComputeIFFT(mask, irL);
    ComputeIFFT(complement, irR);
}

void Stereoizer::ComputeIFFT(const std::vector<float>& inReal, std::vector<float>* outReal)
{
    int n = (int)inReal.size();
    std::vector<kiss_fft_cpx> in(n), out(n);
    for (int i = 0; i < n; i++) {
        in[i].r = inReal[i];
        in[i].i = 0.0f;
    }
    kiss_fft_cfg cfg = kiss_fft_alloc(n, 1, nullptr, nullptr);
    kiss_fft(cfg, in.data(), out.data());
    kiss_fft_free(cfg);
    outReal->resize(n);
    for (int i = 0; i < n; i++)
        (*outReal)[i] = out[i].r;
}

void Stereoizer::Process(const std::vector<float>& mono, std::vector<float>* left, std::vector<float>* right)
{
    size_t size = mono.size();
    left->resize(size);
    right->resize(size);
    for (size_t pos = 0; pos < size; pos += IR_SIZE)
        ProcessBlock(mono.data() + pos, std::min((size_t)IR_SIZE, size - pos), left->data() + pos, right->data() + pos,
                     1);
}

void Stereoizer::ProcessBlock(const float* mono, size_t count, float* left, float* right, size_t stride)
{
    // A short last block is padded with silence: the convolution is causal,
    // but its rounding is not, and values left from an earlier block or an
    // earlier sound would leak into the kept outputs as faint noise, which
    // normalisation then raises to full level in a silent sound.
    count = std::min(count, (size_t)IR_SIZE);
    std::copy_n(mono, count, _block.begin());
    std::fill(_block.begin() + count, _block.end(), 0.0f);
    _convolverL->Process(_block, &_blockL);
    // The masks are complementary, so the right response is an impulse of
    // height IR_SIZE less the left one: one convolution serves both channels.
    // The gain makes up for the level each channel loses by keeping about
    // half the spectrum.
    // The difference is taken in double, so that it rounds only once.
    const float gain = (float)Scale::DbToAmp(GAIN_DB);
    for (size_t i = 0; i < count; i++) {
        left[i * stride] = _blockL[i] * gain;
        right[i * stride] = (float)(((double)IR_SIZE * _block[i] - _blockL[i]) * gain);
    }
}
