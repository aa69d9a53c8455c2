#pragma once

#include "effects/Effect.h"
#include "effects/GainRamp.h"

// Gain in decibels, and a mute that silences whatever the gain. A new gain
// is reached over one block, so a knob swept from a controller never clicks.
class VolumeEffect : public Effect {
public:
    enum ParamIdx { ON_PARAM = 0, VOLUME_PARAM = 1, MUTE_PARAM = 2, NUM_PARAMS = 3 };

    VolumeEffect();
    virtual ~VolumeEffect();

    void SetVolume(double db);
    void SetMute(bool mute) { _mute = mute; }

protected:
    void UpdateParameters() override;
    void SettleGlides() override { _volume.Settle(); }
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;

private:
    GainRamp _volume;
    bool _mute;
};
