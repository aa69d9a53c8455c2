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
    // The output held back is never longer than the longest request.
    _heldBack.reserve(MAX_REQUEST_FRAMES);
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
    return _heldBack.size() + (HOP - _outPos);
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
    double start = direction > 0.0 ? selSamples[0] : selSamples[1] - 1.0;
    _processor->SetSpectroColNum((start + speed * (double)Waiting()) / HOP);

    size_t held = std::min(_heldBack.size(), count);
    std::copy_n(_heldBack.begin(), held, samples->begin());
    _heldBack.erase(_heldBack.begin(), _heldBack.begin() + held);
    TakeOutput(samples, held);

    // A grain pitched up is heard for the window's worth of frames; what
    // follows them comes again at the start of the next window.
    if (pitchShift > 1.0) {
        size_t heard = std::min(count, (size_t)std::ceil(count / pitchShift));
        _heldBack.insert(_heldBack.begin(), samples->begin() + heard, samples->end());
    }
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
