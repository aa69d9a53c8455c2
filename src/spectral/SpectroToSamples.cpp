#include "spectral/SpectroToSamples.h"

#include <algorithm>
#include <cmath>

#include "spectral/OverlapAdd.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/ScratchPool.h"
#include "spectral/SpectroToSamplesOverlapAddProcessor.h"
#include "spectral/SynthesisScratch.h"

namespace {
// The resynthesis walks the columns with the hop they were analysed with.
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;
const int HOP = SamplesToSpectro::HOP;
}  // namespace

SpectroToSamples::SpectroToSamples(SpectroToSamplesOverlapAddProcessor* processor)
    : _processor(processor), _window(&OverlapAdd::SharedWindow(FFT_SIZE)), _overlap(FFT_SIZE, 0.0f), _outPos(HOP)
{
    ScratchPool<FrameScratch>::Prepare(FFT_SIZE);
}

SpectroToSamples::~SpectroToSamples()
{
    delete _processor;
}

SpectroToSamples* SpectroToSamples::Clone() const
{
    return new SpectroToSamples(static_cast<SpectroToSamplesOverlapAddProcessor*>(_processor->Clone()));
}

size_t SpectroToSamples::Waiting() const
{
    return HOP - _outPos;
}

void SpectroToSamples::Process(std::vector<float>* samples, const double* selSamples, const double* selFreq,
                               double timeStretch, double direction, double pitchShift)
{
    double band[2] = {selFreq[0], selFreq[1]};
    _processor->SetSelFreq(band);
    // Frames are one hop apart, so a column per frame is a frame of the sound per frame.
    double speed = (direction < 0.0 ? -1.0 : 1.0) * timeStretch * pitchShift;
    _processor->SetTimeStretch(speed);
    _processor->SetPitchShift(pitchShift);

    size_t count = (size_t)std::max((int)(selSamples[1] - selSamples[0]), 0);
    samples->resize(count);
    // A backward grain starts from the last frame of its window. What is
    // already waiting plays first, so the first new frame starts after it.
    // A frame sounds its column at the sound's own speed around its middle:
    // the column is chosen so that its middle is heard where the grain's
    // position has moved to by then.
    double start = direction > 0.0 ? selSamples[0] : selSamples[1] - 1.0;
    const double middle = FFT_SIZE / 2.0;
    _processor->SetSpectroColNum((start + speed * ((double)Waiting() + middle) - middle) / HOP);
    TakeOutput(samples, 0);
}

void SpectroToSamples::TakeOutput(std::vector<float>* samples, size_t filled)
{
    if (filled == samples->size())
        return;
    ScratchPool<FrameScratch>::Lease scratch(FFT_SIZE);
    float* out = samples->data();
    while (true) {
        size_t n = std::min(HOP - _outPos, samples->size() - filled);
        std::copy_n(_overlap.begin() + _outPos, n, out + filled);
        _outPos += n;
        filled += n;
        if (filled == samples->size())
            return;
        SynthesiseFrame(&*scratch);
    }
}

void SpectroToSamples::SynthesiseFrame(FrameScratch* scratch)
{
    std::copy(_overlap.begin() + HOP, _overlap.end(), _overlap.begin());
    std::fill(_overlap.end() - HOP, _overlap.end(), 0.0f);
    _outPos = 0;

    std::vector<float>* spectrum = scratch->Spectrum();
    _processor->ProcessFFT(spectrum, 0);
    // An empty band, or a position outside the sound, adds nothing.
    if (std::all_of(spectrum->begin(), spectrum->end(), [](float v) { return v == 0.0f; }))
        return;
    const float* frame = scratch->InverseTransform();
    // The inverse transform is unnormalised.
    const float norm = 1.0f / (float)FFT_SIZE;
    const float* win = _window->data();
    float* overlap = _overlap.data();
    for (int i = 0; i < FFT_SIZE; i++)
        overlap[i] += frame[i] * norm * win[i];
}
