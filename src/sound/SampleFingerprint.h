#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/ContentHash.h"

// The fingerprint of a sound's samples, made of the fingerprints of pieces
// of a fixed size: stretches of the sound that start on a piece can be
// fingerprinted on different cores, in any order, while they are read, and
// the whole still gets one value, the same as in one go.
class SampleFingerprint {
public:
    static const size_t PIECE_SAMPLES = 1 << 18;

    // Room for a sound of up to maxSamples samples.
    explicit SampleFingerprint(size_t maxSamples);
    virtual ~SampleFingerprint() {}

    // Samples from the at-th on. Each piece is fed in order, by one thread
    // at a time; different pieces may be fed at once.
    void Feed(size_t at, const float* samples, size_t count);
    // The fingerprint of the first numSamples samples, all of them fed.
    uint64_t Digest(size_t numSamples) const;

    static uint64_t Of(const float* samples, size_t count);

private:
    std::vector<ContentHash> _pieces;
};
