#pragma once

#include <cstdint>

// Converts a sound from the rate it was recorded at to the engine's, band-
// limited, with libsoxr's high-quality linear-phase filters: what lies below
// 91 % of the lower rate's Nyquist frequency passes flat (within 0.01 dB),
// whatever lies above it is gone (more than 100 dB down) rather than folded
// back as an alias, and the sound keeps its place in time (no delay). A
// sound is converted one channel per core.
class Resampler {
public:
    Resampler(double fromRate, double toRate);
    virtual ~Resampler() {}

    double GetFromRate() const { return _fromRate; }
    double GetToRate() const { return _toRate; }
    // Whether the rates differ at all: a sound at the engine's rate is kept as it is.
    bool Changes() const { return _fromRate != _toRate; }
    // How many frames a sound of numFrames frames has once converted: as
    // many seconds at the new rate.
    uint64_t ConvertedFrames(uint64_t numFrames) const;
    // Converts the numFrames interleaved frames of numChans channels of in
    // into out, which holds ConvertedFrames(numFrames) frames of numChans
    // channels, each channel on a core of its own; false when the library
    // fails. A sound whose peak lies beyond full scale (a float file may hold
    // up to 3.4e38) comes out at full scale: the filters' sums would
    // overflow it into infinities, and its level is set afterwards anyway.
    bool Convert(const float* in, uint64_t numFrames, unsigned numChans, float* out) const;

private:
    // One channel of it, times gain, into the same channel of out.
    bool ConvertChannel(const float* in, uint64_t numFrames, unsigned numChans, unsigned chan, float gain,
                        float* out) const;

    double _fromRate;
    double _toRate;
};
