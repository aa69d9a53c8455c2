#pragma once

#include <cstddef>
#include <vector>

class Convolver;

// Turns a mono sound into a decorrelated stereo pair: every frequency bin of
// a random spectral mask goes to one channel or the other, so both channels
// together still add up to the original sound. The mask is drawn from a seed,
// so that one seed always spreads a sound the same way.
class Stereoizer {
public:
    explicit Stereoizer(double width, unsigned seed = 1);
    Stereoizer(const Stereoizer&) = delete;
    Stereoizer& operator=(const Stereoizer&) = delete;
    virtual ~Stereoizer();

    // Draws the mask of this seed and drops the convolution tails.
    void Seed(unsigned seed);
    // Drops the convolution tails, so that one sound does not ring into the next.
    void Reset();
    // Sharpness of the mask; takes effect at the next Seed.
    void SetWidth(double width);
    // left and right are resized to the length of mono.
    void Process(const std::vector<float>& mono, std::vector<float>* left, std::vector<float>* right);
    // The next count (at most IR_SIZE) values of a sound, spread into
    // left[i * stride] and right[i * stride]: one block of Process, for a
    // caller that holds neither the whole mono sound nor separate channels.
    void ProcessBlock(const float* mono, size_t count, float* left, float* right, size_t stride);

    // Impulse responses of the seed's two complementary masks; irL + irR is
    // an impulse of height IR_SIZE at time 0.
    void GenerateIRs(std::vector<float>* irL, std::vector<float>* irR) const;
    // Unnormalised inverse FFT of a real spectrum; outReal receives the real parts.
    static void ComputeIFFT(const std::vector<float>& inReal, std::vector<float>* outReal);

    static constexpr int IR_SIZE = 2048;

private:
    double _width;
    unsigned _seed;
    Convolver* _convolverL;
    std::vector<float> _block;
    std::vector<float> _blockL;
};
