#pragma once

#include <vector>

class Parameter;
class Serializer;

// One stage of an effects chain, processing interleaved blocks in place on
// the audio thread. Effects never hear about parameter changes: each block
// starts by reading the parameters into the working state (also while the
// effect is off, so buffer sizes follow the knobs), and an effect whose On
// parameter is below 0.5 passes the block through untouched. An effect that
// is on never takes in a NaN or infinite sample (they are silenced first), and
// should it put one out all the same, the block's bad samples are silenced
// and its state is cleared: one bad block never poisons the blocks after it.
class Effect {
public:
    static constexpr int MAX_PARAMS = 7;

    virtual ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    // nFrames beyond what the buffer holds are not processed.
    virtual void Process(std::vector<float>* buffer, int nFrames, int nChan);
    // The parameters in index order, then (on reading) the state derived from them.
    virtual void Serialize(Serializer* serializer);
    virtual void UnSerialize(Serializer* serializer);

    // idx is the effect's own ParamIdx; index 0 is always its On switch.
    Parameter* GetParameter(int idx) const { return _params[idx]; }
    int GetNumParams() const { return _numParams; }
    bool IsOn() const;
    // GUI thread, with no block being made: the engine's rate changed, and
    // whatever the effect sizes by it (its longest echo) is sized anew.
    virtual void FollowRate() {}

protected:
    Effect();

    // Takes ownership; parameters are added in index order.
    void AddParameter(Parameter* param);
    // The gains an effect glides over each block (GainRamp) take their new
    // values at once instead, when the effect did not sound in the block
    // before: there is nothing then that a jump could click against.
    virtual void SettleGlides() {}
    // Copies the parameter values into the working state.
    virtual void UpdateParameters() = 0;
    // The effect's own processing of a block it is switched on for.
    virtual void ProcessOn(std::vector<float>* buffer, int nFrames, int nChan) = 0;
    // Fewer channels pass untouched.
    virtual int GetMinChannels() const { return 2; }
    // Silences whatever the effect keeps from earlier blocks (echoes, tails).
    virtual void ClearState() {}

    Parameter* _params[MAX_PARAMS];
    int _numParams;

private:
    bool _soundedLastBlock;
};
