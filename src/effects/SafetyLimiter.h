#pragma once

#include <atomic>
#include <cstdint>

// The last stage of the master output: keeps the sound card and every
// recording within full scale, whatever the mix adds up to.
//
// Frames whose louder channel stays at or below -1 dBFS come out bit for bit
// (delayed by the look-ahead). Louder ones ask for the gain that brings them
// onto a soft knee that rises from -1 dBFS towards full scale without ever
// reaching it. The gain that is applied is the moving average, over the
// look-ahead, of the smallest gain any frame of the look-ahead asks for, so
// the gain glides down before a peak instead of jumping at it (no clipped
// edges), and each frame gets at most the gain it asked for (no overshoot).
// After the peaks the gain comes back with a 100 ms time constant. Measured:
// a steady mix at twice full scale then keeps the limiter's distortion 35 dB
// under the signal, and a lone 40 ms grain at three times full scale leaves
// the rest of the mix more than 1 dB down for 180 ms after it; 10 ms would
// free the mix after 12 ms but distort at -23 dB, 300 ms would hold it down
// for half a second. Both channels get the same gain: the image stays put.
// NaN and infinite samples become silence before anything else.
class SafetyLimiter {
public:
    static constexpr int LOOKAHEAD_FRAMES = 64;
    // -1 dBFS.
    static constexpr double THRESHOLD = 0.8912509381337456;
    static constexpr double CEILING = 0.99;
    static constexpr double RELEASE_SECONDS = 0.1;

    explicit SafetyLimiter(double sampleRate);
    // With no block being made: the release lasts as long at the new rate.
    void SetSampleRate(double sampleRate);
    virtual ~SafetyLimiter() {}
    SafetyLimiter(const SafetyLimiter&) = delete;
    SafetyLimiter& operator=(const SafetyLimiter&) = delete;

    // Interleaved stereo, in place; the output lags the input by GetLatencyFrames.
    void Process(float* frames, int nFrames);

    static int GetLatencyFrames() { return LOOKAHEAD_FRAMES - 1; }
    // Frames that left with a gain below 1 so far; safe to read from any thread.
    uint64_t GetLimitedFrames() const { return _limitedFrames.load(std::memory_order_relaxed); }
    // The gain a frame whose louder channel has this level asks for.
    static double RequiredGain(double level);

private:
    // Takes in the gain the newest frame asks for; returns the smallest one
    // asked for within the look-ahead.
    double NextLookAheadMinimum(double required);
    double NextEnvelope(double target);
    // Moves the averaging window on by one frame; returns the gain to apply.
    double NextGain(double envelope);

    double _releaseCoefficient;
    float _delayed[2 * LOOKAHEAD_FRAMES];
    double _reductions[LOOKAHEAD_FRAMES];
    int _pos;
    // The sliding minimum of the required gains: a ring of (frame, gain) in
    // which the gains rise from front to back, each frame kept only while no
    // later one asks for less. O(1) per frame however long the look-ahead.
    uint32_t _frame;
    uint32_t _minFrames[LOOKAHEAD_FRAMES];
    double _minGains[LOOKAHEAD_FRAMES];
    int _minFront;
    int _minCount;
    double _envelope;
    // Sum and count of the non-zero (1 - envelope) values of the window; with
    // none left, the gain is exactly 1 again, whatever rounding the sum collected.
    double _reductionSum;
    int _numReductions;
    std::atomic<uint64_t> _limitedFrames;
};
