#include "effects/StereoWidener.h"

#include <cmath>

namespace {
const float EIGHTH_TURN = 0.7853982f;

StereoWidener::Complex Multiply(const StereoWidener::Complex& a, const StereoWidener::Complex& b)
{
    return {a._re * b._re - a._im * b._im, a._re * b._im + a._im * b._re};
}
}  // namespace

StereoWidener::StereoWidener()
    : _angle0{std::cos(-EIGHTH_TURN), std::sin(-EIGHTH_TURN)}, _angle1{std::cos(EIGHTH_TURN), std::sin(EIGHTH_TURN)}
{
}

StereoWidener::~StereoWidener()
{
}

void StereoWidener::Process(std::vector<float>* buffer, int nFrames, int nChan, double width) const
{
    float* frame = buffer->data();
    for (int i = 0; i < nFrames; i++, frame += nChan)
        StereoWiden(frame, frame + 1, width, _angle0, _angle1);
}

void StereoWidener::StereoWiden(float* l, float* r, double width, const Complex& angle0, const Complex& angle1)
{
    Complex midSide = Multiply({*l, *r}, angle0);
    midSide._im *= (float)width;
    Complex out = Multiply(midSide, angle1);
    *l = out._re;
    *r = out._im;
}
