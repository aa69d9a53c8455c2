#include "spectral/SpectroToSamples.h"

#include <algorithm>
#include <cmath>

#include "spectral/OverlapAdd.h"
#include "spectral/SamplesToSpectro.h"
#include "spectral/SpectroToSamplesOverlapAddProcessor.h"

namespace {
// The resynthesis walks the columns with the hop they were analysed with.
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;
const int OVERLAP = SamplesToSpectro::OVERLAP;
const int HOP = SamplesToSpectro::HOP;

// One hop of silence to push an engine on with: it synthesises, it has
// nothing to analyse. Read-only, so every engine shares it.
const std::vector<float> SILENCE(HOP, 0.0f);
}  // namespace

SpectroToSamples::SpectroToSamples(SpectroToSamplesOverlapAddProcessor* processor)
    : _overlapAdd(new OverlapAdd(FFT_SIZE, OVERLAP, false, true, 1)), _processor(processor)
{
    _overlapAdd->AddProcessor(_processor);
    _pending.reserve(2 * HOP);
    _heldBack.reserve(2 * MAX_REQUEST_FRAMES);
}

SpectroToSamples::~SpectroToSamples()
{
    delete _overlapAdd;
    delete _processor;
}

SpectroToSamples* SpectroToSamples::Clone() const
{
    return new SpectroToSamples(static_cast<SpectroToSamplesOverlapAddProcessor*>(_processor->Clone()));
}

size_t SpectroToSamples::Waiting()
{
    _overlapAdd->GetOutSamples(&_pending);
    return _heldBack.size() + _pending.size();
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
    _overlapAdd->GetOutSamples(&_pending);
    while (filled < samples->size()) {
        size_t n = std::min(_pending.size(), samples->size() - filled);
        std::copy_n(_pending.begin(), n, samples->begin() + filled);
        _overlapAdd->FlushOutSamples((int)n);
        filled += n;
        if (filled == samples->size())
            return;
        _overlapAdd->Feed(SILENCE, HOP, 1);
        _overlapAdd->GetOutSamples(&_pending);
    }
}
