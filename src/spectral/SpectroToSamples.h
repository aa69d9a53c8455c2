#pragma once

#include <vector>

class OverlapAdd;
class OverlapAddProcessor;
class PitchShiftOverlapAddProcessor;

// Band-limited resynthesis of one channel of one sound from its stored
// short-time spectrum: an inverse-FFT overlap-add engine whose frames are
// written by a resynthesis processor (spectrogram or chromagram band),
// followed by the pitch stage.
//
// The engine keeps its rings and any surplus output from one call to the
// next, so consecutive grains of a voice continue one synthesis stream.
// Process runs on the audio thread and allocates nothing once a request
// fits in the reserved room.
class SpectroToSamples {
public:
    // Owns processor.
    explicit SpectroToSamples(OverlapAddProcessor* processor);
    virtual ~SpectroToSamples();
    SpectroToSamples(const SpectroToSamples&) = delete;
    SpectroToSamples& operator=(const SpectroToSamples&) = delete;

    // A fresh engine around a copy of the processor (same spectrum, column
    // position, band and stretch); owned by the caller.
    SpectroToSamples* Clone() const;

    // samples becomes the resynthesis of the frames selSamples[0] ...
    // selSamples[1] of the channel, read backwards when direction < 0,
    // within the band selFreq (two fractions); the columns advance by
    // timeStretch per synthesised frame and pitchShift spaces the frames.
    void Process(std::vector<float>* samples, const double* selSamples, const double* selFreq, double timeStretch,
                 double direction, double pitchShift);

private:
    // Fills samples with the next output of the stream, synthesising frames
    // while the engine holds too little; the surplus stays in the engine.
    void TakeOutput(std::vector<float>* samples);

    OverlapAdd* _overlapAdd;
    OverlapAddProcessor* _processor;
    PitchShiftOverlapAddProcessor* _pitchProcessor;
    // The engine's pending output, read hop by hop: never more than two hops.
    std::vector<float> _pending;
};
