#pragma once

#include <cstddef>
#include <vector>

class OverlapAdd;
class SpectroToSamplesOverlapAddProcessor;

// Band-limited resynthesis of one channel of one sound from its stored
// short-time spectrum: an inverse-FFT overlap-add engine whose frames are
// written by a phase-vocoder processor (spectrogram or chromagram band).
//
// The engine keeps its rings, its running phases and any surplus output from
// one call to the next, so consecutive grains of a voice continue one
// synthesis stream. Process runs on the audio thread and allocates nothing
// once a request fits in the reserved room.
class SpectroToSamples {
public:
    // The longest request served without allocating, in frames.
    static const int MAX_REQUEST_FRAMES = 8192;

    // Owns processor.
    explicit SpectroToSamples(SpectroToSamplesOverlapAddProcessor* processor);
    virtual ~SpectroToSamples();
    SpectroToSamples(const SpectroToSamples&) = delete;
    SpectroToSamples& operator=(const SpectroToSamples&) = delete;

    // A fresh engine around a copy of the processor (same spectrum, column
    // position, band and stretch); owned by the caller.
    SpectroToSamples* Clone() const;

    // samples becomes selSamples[1] - selSamples[0] frames of the channel
    // within the band selFreq (two fractions), starting at selSamples[0]
    // (at selSamples[1] - 1 backwards when direction < 0), moving through the
    // sound timeStretch * pitchShift frames per frame and transposed by
    // pitchShift. Played at a pitch above 1, the window lasts the first
    // 1 / pitchShift of the samples; the rest is where the stream goes next,
    // and the next call starts with it again.
    void Process(std::vector<float>* samples, const double* selSamples, const double* selFreq, double timeStretch,
                 double direction, double pitchShift);

private:
    // Fills samples from filled on with the next output of the stream,
    // synthesising frames while the engine holds too little; the surplus
    // stays in the engine.
    void TakeOutput(std::vector<float>* samples, size_t filled);
    // Output made earlier and not yet heard, in frames.
    size_t Waiting();

    OverlapAdd* _overlapAdd;
    SpectroToSamplesOverlapAddProcessor* _processor;
    // The engine's pending output, read hop by hop: never more than two hops.
    std::vector<float> _pending;
    // Output given out ahead of the window and to be given again first.
    std::vector<float> _heldBack;
};
