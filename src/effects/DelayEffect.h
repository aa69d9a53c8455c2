#pragma once

#include <algorithm>

#include "effects/Effect.h"
#include "effects/GainRamp.h"

class DelayLine;

// A feedback echo on each of the two channels. The echo length follows the
// Time knob at every block without clearing what is already echoing.
class DelayEffect : public Effect {
public:
    enum ParamIdx { ON_PARAM = 0, TIME_PARAM = 1, FEEDBACK_PARAM = 2, WET_MIX_PARAM = 3, NUM_PARAMS = 4 };
    static constexpr int NUM_LINES = 2;
    static constexpr int INITIAL_TIME_SAMPLES = 2028;

    DelayEffect();
    virtual ~DelayEffect();

    void FollowRate() override;
    // Takes the milliseconds within the Time parameter's bounds.
    void SetTime(double ms);
    // Held to 0 .. 100 %: beyond it every echo would be louder than the last
    // and a stored value from a damaged session could drive the output to infinity.
    void SetFeedback(double percent) { _feedback = 0.01 * std::clamp(percent, 0.0, 100.0); }
    // Reached over one block, so a knob swept from a controller never clicks.
    void SetWetMix(double percent) { _wetMix.SetTarget(0.01 * percent); }

    const DelayLine* GetDelayLine(int channel) const { return _delayLines[channel]; }

protected:
    // Also brings the rings to the delay's length.
    void UpdateParameters() override;
    void SettleGlides() override { _wetMix.Settle(); }
    void ClearState() override;
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;

private:
    int _timeSamples;
    double _feedback;
    GainRamp _wetMix;
    DelayLine* _delayLines[NUM_LINES];
};
