#pragma once

// Takes the DC offset out of the master output, just before the safety
// limiter: a sound from a cheap recorder sits on an offset, and a cloud of
// its grains (or very short grains over a sound's start) puts a steady push
// on the speaker cones that nobody hears but that eats the limiter's room.
//
// A one-pole high-pass, y[n] = x[n] - x[n-1] + R y[n-1], on each channel of
// the interleaved stereo, with R = exp(-2 pi fc / rate). Its corner fc is
// 2 Hz: the level at 20 Hz, the lowest a listener hears, drops by 0.043 dB
// (20 / sqrt(20^2 + 2^2)); a corner of 5 Hz would take 0.26 dB off there,
// and 3 Hz 0.1 dB. An offset that comes in dies away with a time constant of
// 1 / (2 pi 2 Hz) = 80 ms, so a second's mean is back under 1e-3 of full
// scale well within the first second. Doing it on the master rather than at
// each sound's load also catches the DC that the grains' envelopes, the live
// rects and the effects make.
//
// What it leaves after a sound ends (the offset the sound had, dying away)
// is cut to zero under -120 dBFS: the silence that follows is exact.
//
// The state is kept in double: at 96000 Hz, 1 - R is 1.3e-4, and a float
// pole that close to 1 would leave an offset of its own.
class DcBlocker {
public:
    static constexpr double CORNER_HZ = 2.0;
    // -120 dBFS.
    static constexpr double SILENCE = 1e-6;

    explicit DcBlocker(double sampleRate);
    // With no block being made: the corner stays at CORNER_HZ at the new rate.
    void SetSampleRate(double sampleRate);
    virtual ~DcBlocker() {}

    // Interleaved stereo, in place; NaN and infinite samples become silence.
    void Process(float* frames, int nFrames);
    double GetPole() const { return _pole; }

private:
    static double PoleFor(double sampleRate);

    double _pole;
    double _lastInput[2];
    double _lastOutput[2];
};
