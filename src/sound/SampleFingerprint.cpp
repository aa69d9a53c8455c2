#include "sound/SampleFingerprint.h"

#include <algorithm>

SampleFingerprint::SampleFingerprint(size_t maxSamples) : _pieces((maxSamples + PIECE_SAMPLES - 1) / PIECE_SAMPLES)
{
}

void SampleFingerprint::Feed(size_t at, const float* samples, size_t count)
{
    while (count > 0) {
        size_t take = std::min(count, PIECE_SAMPLES - at % PIECE_SAMPLES);
        _pieces[at / PIECE_SAMPLES].Update(samples, take * sizeof(float));
        samples += take;
        at += take;
        count -= take;
    }
}

uint64_t SampleFingerprint::Digest(size_t numSamples) const
{
    size_t numPieces = (numSamples + PIECE_SAMPLES - 1) / PIECE_SAMPLES;
    std::vector<uint64_t> digests(numPieces);
    for (size_t i = 0; i < numPieces; i++)
        digests[i] = _pieces[i].Digest();
    // The length goes in too: a sound and its first pieces differ.
    ContentHash whole(numSamples);
    whole.Update(digests.data(), digests.size() * sizeof(uint64_t));
    return whole.Digest();
}

uint64_t SampleFingerprint::Of(const float* samples, size_t count)
{
    SampleFingerprint fingerprint(count);
    fingerprint.Feed(0, samples, count);
    return fingerprint.Digest(count);
}
