#pragma once

#include <vector>

#include "effects/CircularBuffer.h"
#include "effects/GainRamp.h"

// A feedback delay network for one channel: `order` delay lines whose
// lengths grow geometrically up to the delay time, each fed with the input
// and with all lines mixed through a scaled Hadamard matrix and a decay
// gain; the output is the dry input plus every line.
//
//   d_n(t) = feedDryIn x(t - tap_n) + sum_i H[n][i] decay d_i(t - tap_n)
//   y(t)   = drySignalMix x(t) + sum_n feedWetOut d_n(t)
//
// The rings are addressed relative to the start of the current block, so
// they hold the delay time plus one block; longer blocks are processed in
// pieces that fit.
class Reverb {
public:
    Reverb(int order, int maxNumSamples);
    virtual ~Reverb();

    // Room for every order and delay time up to these, so that turning the
    // knobs later never allocates on the audio thread.
    void Reserve(int maxOrder, int maxDelayTime);
    // Changing the order clears the rings; the taps follow at the next SetDelayTapTime.
    void SetOrder(int order);
    void SetFeedDryIn(double gain);
    // The two mixes of the output glide to a new value over the samples
    // that the last StartGlide announced (at once without one), so that a
    // knob swept from a controller never clicks.
    void SetFeedWetOut(double gain);
    void SetDecay(double gain);
    void SetDrySignalMix(double gain);
    // The next n samples processed glide from the mixes of the last block to
    // the ones set since; Settle makes the new ones hold at once.
    void StartGlide(int n);
    void SettleMixes();
    // Taps D^(1/order), D^(2/order) .. D samples; a new time clears the rings.
    void SetDelayTapTime(int samples);

    // Silences the rings, keeping their size (no allocation).
    void Clear();

    void Process(std::vector<float>* samples);
    void Process(float* samples, int n);

    // Sylvester construction of the largest power-of-two Hadamard block that
    // fits, scaled by value, in the top-left corner of m; the rest of m is kept.
    static void GenerateHadamardMatrix(std::vector<std::vector<float>>* m, double value);

    int GetOrder() const { return _order; }
    const std::vector<int>& GetDelayTaps() const { return _delayTaps; }
    const std::vector<std::vector<float>>& GetFeedbackMatrix() const { return _feedbackMatrix; }

private:
    void Init();
    void ProcessBlock(float* samples, int n);
    float ProcessMainLine(int z);
    // Line n's next sample, written at ring index now from the rings' samples at past.
    float ProcessDelayLine(int now, int past, int n);
    void SetRingCapacities(int capacity);
    // Rows leaving the matrix wait in _spareRows, keeping their storage, for
    // a later higher order.
    void ResizeFeedbackMatrix();

    CircularBuffer<float> _inputBuffer;
    // At least _order rings; those beyond it are unused until the order grows.
    std::vector<CircularBuffer<float>> _delayBuffer;
    std::vector<std::vector<float>> _feedbackMatrix;
    std::vector<std::vector<float>> _spareRows;
    std::vector<double> _feedDryIn;
    GainRamp _feedWetOut;
    GainRamp _drySignalMix;
    // Where the output is in the glide of the mixes, of how many samples.
    int _glidePos;
    int _glideLength;
    std::vector<int> _delayTaps;
    std::vector<double> _decay;
    int _order;
    int _maxNumSamples;
    int _delayTime;
};
