#pragma once

#include <vector>

// Band-limited reading of a stereo sound between its frames: Kaiser-windowed
// sinc kernels whose cutoff follows the read rate. Read faster than its own
// rate, a sound is band-limited to what the output can carry (Nyquist / rate)
// before it is resampled, so pitched-up grains do not fold their highs down;
// read at its own rate or slower, the kernel only removes the images between
// the frames.
//
// One kernel per sixteenth of an octave of rate from 1 to 8, each rounded up
// to the next rate so that nothing above the output's Nyquist passes. Each
// is a table of phases between two frames, interpolated linearly. The tables
// are built once, on first use, and shared by every voice.
class SincKernels {
public:
    struct Kernel {
        // Frames each output frame is computed from, a multiple of 8.
        int taps;
        // Rows of taps coefficients, one per phase.
        const float* rows;
        // Per row, the step to the next row.
        const float* slopes;
    };
    static const int PHASES = 32;

    // Builds the kernels, if not yet done; before any voice plays, so
    // that the audio thread never does.
    static void Prepare();
    // The kernel for reading at rate frames of the sound per output frame.
    static const Kernel& ForRate(double rate);

    // Adds gain * envelope[i] * the sound at y0 + i * dy (in frames, stereo
    // interleaved, silent outside its soundFrames frames) into the stereo
    // interleaved mix, frame i at mix[2 * i], for count frames.
    static void AddRun(const Kernel& kernel, const float* sound, long soundFrames, double y0, double dy,
                       const float* envelope, float gain, float* mix, unsigned count);

private:
    SincKernels();
    static const SincKernels& Instance();
    void Build(double scale, std::vector<float>* rows, std::vector<float>* slopes, int* taps) const;

    // The run as compiled for this machine's vector units.
    void (*_addRun)(const Kernel&, const float*, long, double, double, const float*, float, float*, unsigned);
    std::vector<Kernel> _kernels;
    std::vector<std::vector<float>> _rows;
    std::vector<std::vector<float>> _slopes;
};
