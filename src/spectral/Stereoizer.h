#pragma once

#include <vector>

class Convolver;

// Turns a mono sound into a decorrelated stereo pair: every frequency bin of
// a random spectral mask goes to one channel or the other, so both channels
// together still add up to the original sound.
class Stereoizer {
public:
    explicit Stereoizer(double width);
    Stereoizer(const Stereoizer&) = delete;
    Stereoizer& operator=(const Stereoizer&) = delete;
    virtual ~Stereoizer();

    // Drops the convolution tails, so that one sound does not ring into the next.
    void Reset();
    // Sharpness of the mask; takes effect on the next GenerateIRs.
    void SetWidth(double width);
    // left and right are resized to the length of mono.
    void Process(const std::vector<float>& mono, std::vector<float>* left, std::vector<float>* right);

    // Impulse responses of two complementary random masks; irL + irR is an
    // impulse of height IR_SIZE at time 0.
    void GenerateIRs(std::vector<float>* irL, std::vector<float>* irR);
    // Makes up for the level each channel loses by keeping about half the spectrum.
    void AdjustGain(std::vector<float>* buf);
    // Unnormalised inverse FFT of a real spectrum; outReal receives the real parts.
    static void ComputeIFFT(const std::vector<float>& inReal, std::vector<float>* outReal);

    static constexpr int IR_SIZE = 2048;

private:
    double _width;
    Convolver* _convolverL;
    Convolver* _convolverR;
    std::vector<float> _block;
    std::vector<float> _blockL;
    std::vector<float> _blockR;
};
