#pragma once

#include <cstddef>
#include <vector>

class FrameScratch;
class SpectroToSamplesOverlapAddProcessor;

// Band-limited resynthesis of one channel of one sound from its stored
// short-time spectrum: an inverse-FFT overlap-add engine whose frames are
// written by a phase-vocoder processor (spectrogram or chromagram band).
//
// The engine keeps only its stream: the overlap-add of the frames made so
// far, the output given out ahead of a window, and (in the processor) the
// running phases, so consecutive grains of a voice continue one synthesis
// stream. A cloud holds hundreds of engines, so what a frame needs only
// while it is made (the spectrum, the transformed frame, the interpolated
// column) is leased from a pool shared by every engine (see ScratchPool):
// one per thread rendering at that moment, made when the first engine is
// built. Process runs on the audio thread and allocates nothing once a
// request fits in the reserved room.
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
    // pitchShift. The next call goes on from where the stream is.
    void Process(std::vector<float>* samples, const double* selSamples, const double* selFreq, double timeStretch,
                 double direction, double pitchShift);

private:
    // Fills samples from filled on with the next output of the stream,
    // synthesising frames while the engine holds too little; the surplus
    // stays in the engine.
    void TakeOutput(std::vector<float>* samples, size_t filled);
    // Gives the finished hop up and adds the next frame one hop later.
    void SynthesiseFrame(FrameScratch* scratch);
    // Output made earlier and not yet heard, in frames.
    size_t Waiting() const;

    SpectroToSamplesOverlapAddProcessor* _processor;
    // The synthesis window, shared by every engine.
    const std::vector<float>* _window;
    // The overlap-add of the frames so far, one frame long, starting where
    // the latest frame starts: its first hop has received every frame that
    // overlaps it and is output, given out up to _outPos; the rest waits
    // for the frames to come.
    std::vector<float> _overlap;
    size_t _outPos;
};
