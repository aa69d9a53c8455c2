#include "sound/Resampler.h"

#include <soxr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "sound/SoundLoader.h"

namespace {
// Frames handed to the library at a time: the channel's stretch is gathered
// from the interleaved sound into a block small enough to stay in the
// core's cache, and the converted block spread back into the sound.
const size_t BLOCK_FRAMES = 32768;

// 20-bit precision: every alias and image of a full-scale tone lies about
// 120 dB down; linear phase, so that the converted sound stays in time.
soxr_quality_spec_t Quality()
{
    return soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
}
}  // namespace

Resampler::Resampler(double fromRate, double toRate) : _fromRate(fromRate), _toRate(toRate)
{
}

uint64_t Resampler::ConvertedFrames(uint64_t numFrames) const
{
    if (!Changes())
        return numFrames;
    return (uint64_t)std::llround((double)numFrames * _toRate / _fromRate);
}

bool Resampler::Convert(const float* in, uint64_t numFrames, unsigned numChans, float* out) const
{
    float peak = 0.0f;
    for (uint64_t i = 0; i < numFrames * numChans; i++)
        peak = std::max(peak, std::fabs(in[i]));
    const float gain = peak > 1.0f ? 1.0f / peak : 1.0f;
    std::atomic<bool> converted(true);
    SoundLoader::ParallelFor(numChans, [&](size_t chan) {
        if (!ConvertChannel(in, numFrames, numChans, (unsigned)chan, gain, out))
            converted = false;
    });
    return converted;
}

bool Resampler::ConvertChannel(const float* in, uint64_t numFrames, unsigned numChans, unsigned chan, float gain,
                               float* out) const
{
    const uint64_t outFrames = ConvertedFrames(numFrames);
    soxr_error_t error = nullptr;
    soxr_quality_spec_t quality = Quality();
    soxr_t soxr = soxr_create(_fromRate, _toRate, 1, &error, nullptr, &quality, nullptr);
    if (soxr == nullptr || error != nullptr)
        return false;
    std::vector<float> inBlock(BLOCK_FRAMES);
    std::vector<float> outBlock((size_t)std::ceil(BLOCK_FRAMES * _toRate / _fromRate) + 64);
    uint64_t read = 0;
    uint64_t written = 0;
    // The library holds back what its filters still need; a last call
    // without input (null) gives out the rest.
    for (;;) {
        size_t count = (size_t)std::min<uint64_t>(BLOCK_FRAMES, numFrames - read);
        for (size_t i = 0; i < count; i++)
            inBlock[i] = in[(read + i) * numChans + chan] * gain;
        bool last = count == 0;
        size_t used = 0;
        size_t made = 0;
        error =
            soxr_process(soxr, last ? nullptr : inBlock.data(), count, &used, outBlock.data(), outBlock.size(), &made);
        if (error != nullptr)
            break;
        // Never more than the sound's length at the new rate; were the
        // library to give less, the frames left keep what out held.
        size_t kept = (size_t)std::min<uint64_t>(made, outFrames - written);
        for (size_t i = 0; i < kept; i++)
            out[(written + i) * numChans + chan] = outBlock[i];
        written += kept;
        read += used;
        if (last && made == 0)
            break;
    }
    soxr_delete(soxr);
    return error == nullptr;
}
