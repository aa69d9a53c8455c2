#include "spectral/Stereoizer.h"

#include <kiss_fft.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "spectral/Convolver.h"
#include "spectral/Scale.h"

namespace {
// Centre of rand()'s range, so that the mask draws are symmetric around 0.
const double RAND_CENTRE = 1073741824.0;
const double GAIN_DB = 6.0;
}  // namespace

Stereoizer::Stereoizer(double width)
    : _width(width), _block(IR_SIZE, 0.0f), _blockL(IR_SIZE, 0.0f), _blockR(IR_SIZE, 0.0f)
{
    std::vector<float> irL, irR;
    GenerateIRs(&irL, &irR);
    _convolverL = new Convolver(irL);
    _convolverR = new Convolver(irR);
}

Stereoizer::~Stereoizer()
{
    delete _convolverL;
    delete _convolverR;
}

void Stereoizer::Reset()
{
    _convolverL->Reset();
    _convolverR->Reset();
}

void Stereoizer::SetWidth(double width)
{
    _width = width;
}

void Stereoizer::GenerateIRs(std::vector<float>* irL, std::vector<float>* irR)
{
    // With the raw range of rand() the arctangent saturates: each bin is 0 or 1.
    std::vector<float> mask(IR_SIZE), complement(IR_SIZE);
    for (int i = 0; i < IR_SIZE; i++) {
        double r = (float)std::rand() - RAND_CENTRE;
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
    // A short last block is padded with silence: the convolution is causal,
    // but its rounding is not, and values left from an earlier block or an
    // earlier sound would leak into the kept outputs as faint noise, which
    // normalisation then raises to full level in a silent sound.
    for (size_t pos = 0; pos < size; pos += IR_SIZE) {
        size_t count = std::min((size_t)IR_SIZE, size - pos);
        std::copy_n(mono.begin() + pos, count, _block.begin());
        std::fill(_block.begin() + count, _block.end(), 0.0f);
        _convolverL->Process(_block, &_blockL);
        _convolverR->Process(_block, &_blockR);
        std::copy_n(_blockL.begin(), count, left->begin() + pos);
        std::copy_n(_blockR.begin(), count, right->begin() + pos);
    }
    AdjustGain(left);
    AdjustGain(right);
}

void Stereoizer::AdjustGain(std::vector<float>* buf)
{
    float gain = (float)Scale::DbToAmp(GAIN_DB);
    for (float& x : *buf)
        x *= gain;
}
