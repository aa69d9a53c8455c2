#pragma once

#include <vector>

// What a grain voice needs from a sound: the samples of a window of frames,
// shaped by the cross-axis position of the request.
class SamplesProvider {
public:
    virtual ~SamplesProvider() {}

    // A provider of the same kind, owned by the caller.
    virtual SamplesProvider* Clone() = 0;
    // Called on the GUI thread for a new clone: builds what its reads at this
    // stretch need, so that the audio thread need not.
    virtual void PrepareToRead(double /*timeStretch*/) {}
    // Cross-axis position (0 ... 1) of the next requests.
    virtual void SetParamY(double paramY) = 0;
    // Band width of the next requests.
    virtual void SetRange(double range) = 0;
    virtual int GetNumSamples() = 0;
    virtual int GetNumChannels() = 0;
    virtual int GetNumFrames() = 0;
    // How many frames before the end of a read window the window counts as finished.
    virtual int GetBlockMinSamples() = 0;
    // True when the provider applies the pitch itself, so the voice must not
    // speed up its read position for it.
    virtual bool InternalPitchShift() = 0;
    // Fills out with the interleaved frames of the window [start, end).
    virtual void GetSamples(std::vector<float>* out, double start, double end, double timeStretch, double direction,
                            double pitch) = 0;
    // When a read at this stretch delivers the stored interleaved samples
    // times a gain, unchanged otherwise, the voice may read them in place:
    // sets samples (numFrames frames of GetNumChannels each) and gain, true.
    virtual bool GetStoredSamples(double /*timeStretch*/, const float** /*samples*/, float* /*gain*/) { return false; }
};
