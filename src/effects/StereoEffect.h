#pragma once

#include "effects/Effect.h"
#include "effects/GainRamp.h"

class StereoWidener;

// Width of the stereo image, then a constant-power pan; a new pan is
// reached over one block, so a knob swept from a controller never clicks.
class StereoEffect : public Effect {
public:
    enum ParamIdx { ON_PARAM = 0, PAN_PARAM = 1, WIDTH_PARAM = 2, NUM_PARAMS = 3 };

    StereoEffect();
    virtual ~StereoEffect();

    // -1 (left) .. 1 (right).
    void SetPan(double pan) { _pan.SetTarget(pan); }
    // Side-signal factor: 0 mono, 1 unchanged.
    void SetWidth(double width) { _width = width; }

    // The side factor of a Width knob value: -100 .. 0 maps linearly onto
    // 0 .. 1, 0 .. 100 bends steeply up to 5.
    static double WidthFactor(double widthPercent);

protected:
    void UpdateParameters() override;
    void SettleGlides() override { _pan.Settle(); }
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;

private:
    // The balance from -1 to 1, ramped like a gain.
    GainRamp _pan;
    double _width;
    StereoWidener* _widener;
};
