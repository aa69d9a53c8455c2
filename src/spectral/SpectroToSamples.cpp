#include "spectral/SpectroToSamples.h"

#include <algorithm>

#include "spectral/OverlapAdd.h"
#include "spectral/PitchShiftOverlapAddProcessor.h"
#include "spectral/SamplesToSpectro.h"

namespace {
// The resynthesis walks the columns with the hop they were analysed with.
const int FFT_SIZE = SamplesToSpectro::FFT_SIZE;
const int OVERLAP = SamplesToSpectro::OVERLAP;
const int HOP = SamplesToSpectro::HOP;

// One hop of silence to push an engine on with: it synthesises, it has
// nothing to analyse. Read-only, so every engine shares it.
const std::vector<float> SILENCE(HOP, 0.0f);
}  // namespace

SpectroToSamples::SpectroToSamples(OverlapAddProcessor* processor)
    : _overlapAdd(new OverlapAdd(FFT_SIZE, OVERLAP, false, true, 1)), _processor(processor),
      _pitchProcessor(new PitchShiftOverlapAddProcessor(FFT_SIZE, SamplesToSpectro::SAMPLE_RATE))
{
    _overlapAdd->AddProcessor(_processor);
    _overlapAdd->AddProcessor(_pitchProcessor);
    _pending.reserve(2 * HOP);
}

SpectroToSamples::~SpectroToSamples()
{
    delete _overlapAdd;
    delete _processor;
    delete _pitchProcessor;
}

SpectroToSamples* SpectroToSamples::Clone() const
{
    return new SpectroToSamples(_processor->Clone());
}

void SpectroToSamples::Process(std::vector<float>* samples, const double* selSamples, const double* selFreq,
                               double timeStretch, double direction, double pitchShift)
{
    double band[2] = {selFreq[0], selFreq[1]};
    _processor->SetSelFreq(band);
    _processor->SetTimeStretch(timeStretch * direction);
    _overlapAdd->SetSynthTimeStretch(pitchShift);
    _pitchProcessor->SetPitchShift(pitchShift);

    samples->resize((size_t)std::max((int)(selSamples[1] - selSamples[0]), 0));
    // A backward grain starts from the last frame of its window.
    double start = direction > 0.0 ? selSamples[0] : selSamples[1] - 1.0;
    _processor->SetSpectroColNum(start / HOP);
    TakeOutput(samples);
}

void SpectroToSamples::TakeOutput(std::vector<float>* samples)
{
    size_t filled = 0;
    _overlapAdd->GetOutSamples(&_pending);
    for (;;) {
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
