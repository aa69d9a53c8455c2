#pragma once

#include <cstddef>

// The passes a grain voice makes over a stretch of output frames, apart from
// reading between the frames of a sound (SincKernels): its envelope, a sound
// at whole frames, and the voice into the output. Each is compiled for any
// x86-64 processor and for AVX2 with FMA; the machine's units choose once.
class VoicePasses {
public:
    // The levels of an envelope table at pos, pos + step, ... (count of them),
    // each between the two entries around it; from the last entry on, the
    // last entry holds. pos is never below 0; the first level is that at pos
    // itself, even for an endless step (a grain of no length).
    static void FillLevels(const float* table, size_t tableSize, double pos, double step, float* levels,
                           unsigned count);
    // Adds gain * levels[i] * the frame first + direction * i of a stereo
    // interleaved sound (silent outside its soundFrames frames) into the
    // stereo interleaved mix, frame i at mix[2 * i]; direction is 1 or -1.
    static void AddFrames(const float* sound, long soundFrames, long first, long direction, float gain,
                          const float* levels, float* mix, unsigned count);
    // Adds a stereo interleaved mix into the output, with a gain per
    // channel, each sample held to -1 ... 1.
    static void MixInto(float* out, const float* mix, float leftGain, float rightGain, unsigned count);

private:
    struct Versions;
    static const Versions& Chosen();
};
