#pragma once

// Conversions between the units the instrument works in: decibels and
// amplitudes, FFT bins and hertz, hertz and mels, and the contrast curve
// used to shape normalised values.
class Scale {
public:
    enum Type { LINEAR = 0, LOG = 1, MEL = 2 };

    virtual ~Scale() {}

    static double DbToAmp(double db);
    // Level of amp in [minDb, maxDb] mapped to [0, 1]; the sign of amp is kept.
    static double AmpToDbNorm(double amp, double minDb, double maxDb);
    static double HzPerBin(int fftSize, double sampleRate);
    static double HzToMel(double hz);
    static double MelToHz(double mel);
    // S-curve on [0, 1] through (0.5, 0.5); contrast a = 0.5 leaves t as it is,
    // a towards 1 steepens the curve, a towards 0 flattens it.
    static double Sigmoid(double t, double a);
};
