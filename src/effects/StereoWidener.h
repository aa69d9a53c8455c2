#pragma once

#include <vector>

// Scales the side signal of a stereo pair: width 0 folds it to mono, 1 keeps
// it, above 1 widens it. The pair is seen as the complex number L + iR and
// turned by -45 degrees, which puts mid on the real and side on the
// imaginary axis; the side is scaled there and the pair turned back.
class StereoWidener {
public:
    struct Complex {
        float _re;
        float _im;
    };

    StereoWidener();
    virtual ~StereoWidener();

    // Widens the first two channels of nFrames interleaved frames.
    void Process(std::vector<float>* buffer, int nFrames, int nChan, double width) const;
    static void StereoWiden(float* l, float* r, double width, const Complex& angle0, const Complex& angle1);

private:
    Complex _angle0;
    Complex _angle1;
};
