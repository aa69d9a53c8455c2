#pragma once

#include <vector>

#include "spectral/OverlapAddProcessor.h"

// Last stage of a resynthesis chain. The pitch of resynthesised grains
// comes from the spacing of the synthesised frames (the engine spaces them
// by the pitch factor while each still emits one hop); this stage brings
// every synthesised frame back to the frame length before it is emitted.
class PitchShiftOverlapAddProcessor : public OverlapAddProcessor {
public:
    PitchShiftOverlapAddProcessor(int fftSize, double sampleRate);
    ~PitchShiftOverlapAddProcessor() override {}

    void ProcessOutSamples(std::vector<float>* buf, int chanNum) override;

    void SetPitchShift(double pitchShift) { _pitchShift = pitchShift; }
    double GetPitchShift() const { return _pitchShift; }

private:
    int _fftSize;
    double _sampleRate;
    double _pitchShift;
    // Sized once: resampling runs on the audio thread.
    std::vector<float> _resampled;
};
