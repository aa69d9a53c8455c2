#include "spectral/Scale.h"

#include <algorithm>
#include <cmath>

double Scale::DbToAmp(double db)
{
    return std::pow(10.0, db / 20.0);
}

double Scale::AmpToDbNorm(double amp, double minDb, double maxDb)
{
    // Silence has no level in decibels: log10(0) is -inf, which the clamp turns into minDb.
    double db = std::clamp(20.0 * std::log10(std::fabs(amp)), minDb, maxDb);
    double norm = (db - minDb) / (maxDb - minDb);
    return amp < 0.0 ? -norm : norm;
}

double Scale::HzPerBin(int fftSize, double sampleRate)
{
    return sampleRate / fftSize;
}

double Scale::HzToMel(double hz)
{
    return 2595.0 * std::log10(1.0 + hz / 700.0);
}

double Scale::MelToHz(double mel)
{
    return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0);
}

double Scale::Sigmoid(double t, double a)
{
    t = std::clamp(t, 0.0, 1.0);
    double k = (1.0 - 2.0 * t) * (1.0 / (1.0 - a) - 2.0);
    if (t < 0.5)
        return t / (k + 1.0);
    return (k - t) / (k - 1.0);
}
