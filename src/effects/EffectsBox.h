#pragma once

#include <vector>

class Effect;
class Serializer;
class UIEffectsCanvas;

// The fixed chain every source and the master output run through:
// bit crush, saturation, delay, stereo, reverb, volume. A new chain has
// every effect off and passes audio through bit for bit.
class EffectsBox {
public:
    enum EffectIdx {
        EFFECT_BIT_CRUSH = 0,
        EFFECT_SATURATION = 1,
        EFFECT_DELAY = 2,
        EFFECT_STEREO = 3,
        EFFECT_REVERB = 4,
        EFFECT_VOLUME = 5,
        NUM_EFFECTS = 6
    };

    EffectsBox();
    virtual ~EffectsBox();
    EffectsBox(const EffectsBox&) = delete;
    EffectsBox& operator=(const EffectsBox&) = delete;

    // Runs the block through the chain in place.
    void Process(std::vector<float>* buffer, int nFrames, int nChan);
    // GUI thread, with no block being made: every effect follows the engine's new rate.
    void FollowRate();
    void Serialize(Serializer* serializer);
    void UnSerialize(Serializer* serializer);

    Effect* GetEffect(EffectIdx idx) const { return _effects[idx]; }
    // Points every control of the effects window at this chain's parameters.
    void RegisterUI(UIEffectsCanvas* canvas);

private:
    Effect* _effects[NUM_EFFECTS];
};
