#pragma once

#include "effects/Effect.h"

class Reverb;

// A feedback-delay-network reverb per channel. Unlike the other effects it
// also runs on a one-channel block.
class ReverbEffect : public Effect {
public:
    enum ParamIdx {
        ON_PARAM = 0,
        ORDER_PARAM = 1,
        FEED_DRY_IN_PARAM = 2,
        FEED_WET_OUT_PARAM = 3,
        DRY_MIX_PARAM = 4,
        DELAY_TIME_PARAM = 5,
        DECAY_PARAM = 6,
        NUM_PARAMS = 7
    };
    static constexpr int NUM_REVERBS = 2;
    static constexpr int INITIAL_ORDER = 4;
    // Longest piece a reverb processes at once; longer blocks go in pieces.
    static constexpr int MAX_BLOCK_FRAMES = 2048;

    ReverbEffect();
    virtual ~ReverbEffect();

    const Reverb* GetReverb(int channel) const { return _reverbs[channel]; }
    void FollowRate() override;

protected:
    void UpdateParameters() override;
    void SettleGlides() override;
    void ClearState() override;
    void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) override;
    int GetMinChannels() const override { return 1; }

private:
    // The engine frames of the Delay Time knob's reference frames.
    static int LinesOf(int referenceSamples);
    // The parameter's value truncated to int, within its bounds.
    int GetBoundedInt(ParamIdx idx) const;
    int GetUpperBound(ParamIdx idx) const;
    void ProcessStereoPiece(float* frames, int nFrames, int nChan);

    Reverb* _reverbs[NUM_REVERBS];
    // Left and right of the piece being processed, reused across blocks.
    std::vector<float> _left;
    std::vector<float> _right;
};
