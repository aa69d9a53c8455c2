#include "effects/ReverbEffect.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "effects/Reverb.h"
#include "parameters/EffectParameters.h"
#include "sound/EngineRate.h"

ReverbEffect::ReverbEffect()
{
    AddParameter(new ParameterEffectOn(ON_PARAM));
    AddParameter(new ParameterReverbEffectOrder(ORDER_PARAM));
    AddParameter(new ParameterReverbEffectFeedDryIn(FEED_DRY_IN_PARAM));
    AddParameter(new ParameterReverbEffectFeedWetOut(FEED_WET_OUT_PARAM));
    AddParameter(new ParameterReverbEffectDryMix(DRY_MIX_PARAM));
    AddParameter(new ParameterReverbEffectDelayTime(DELAY_TIME_PARAM));
    AddParameter(new ParameterReverbEffectDecay(DECAY_PARAM));
    for (Reverb*& reverb : _reverbs)
        reverb = new Reverb(INITIAL_ORDER, MAX_BLOCK_FRAMES);
    _left.reserve(MAX_BLOCK_FRAMES);
    _right.reserve(MAX_BLOCK_FRAMES);
    FollowRate();
}

void ReverbEffect::FollowRate()
{
    for (Reverb* reverb : _reverbs)
        reverb->Reserve(GetUpperBound(ORDER_PARAM), LinesOf(GetUpperBound(DELAY_TIME_PARAM)));
    // The rings take their full size now rather than on the first audio block.
    UpdateParameters();
}

int ReverbEffect::LinesOf(int referenceSamples)
{
    // The knob counts frames at the reference rate. Lines as many seconds
    // long at every rate keep the room's size and colour, and, the decay
    // being a gain per pass round them, its reverberation time.
    return std::max(1, (int)std::lround(EngineRate::FromReferenceFrames(referenceSamples)));
}

ReverbEffect::~ReverbEffect()
{
    for (Reverb* reverb : _reverbs)
        delete reverb;
}

// Order and delay time size the network: a value outside the knob's range
// (from a damaged session) would divide by zero or ask for huge rings.
int ReverbEffect::GetBoundedInt(ParamIdx idx) const
{
    double value = _params[idx]->GetValue();
    _params[idx]->CheckValueBounds(&value);
    return (int)value;
}

int ReverbEffect::GetUpperBound(ParamIdx idx) const
{
    double value = std::numeric_limits<double>::max();
    _params[idx]->CheckValueBounds(&value);
    return (int)value;
}

void ReverbEffect::UpdateParameters()
{
    int order = GetBoundedInt(ORDER_PARAM);
    int delayTime = GetBoundedInt(DELAY_TIME_PARAM);
    for (Reverb* reverb : _reverbs) {
        reverb->SetOrder(order);
        reverb->SetFeedDryIn(_params[FEED_DRY_IN_PARAM]->GetValue());
        reverb->SetFeedWetOut(_params[FEED_WET_OUT_PARAM]->GetValue());
        reverb->SetDrySignalMix(_params[DRY_MIX_PARAM]->GetValue());
        reverb->SetDelayTapTime(LinesOf(delayTime));
        reverb->SetDecay(_params[DECAY_PARAM]->GetValue());
    }
}

void ReverbEffect::ClearState()
{
    for (Reverb* reverb : _reverbs)
        reverb->Clear();
}

void ReverbEffect::SettleGlides()
{
    for (Reverb* reverb : _reverbs)
        reverb->SettleMixes();
}

void ReverbEffect::ProcessOn(std::vector<float>* buffer, int nFrames, int nChan)
{
    // The dry and wet mixes glide over the whole block, across its pieces.
    for (Reverb* reverb : _reverbs)
        reverb->StartGlide(nFrames);
    if (nChan == 1) {
        _reverbs[0]->Process(buffer->data(), nFrames);
        return;
    }
    for (int done = 0; done < nFrames; done += MAX_BLOCK_FRAMES)
        ProcessStereoPiece(buffer->data() + (long)done * nChan, std::min(nFrames - done, MAX_BLOCK_FRAMES), nChan);
}

void ReverbEffect::ProcessStereoPiece(float* frames, int nFrames, int nChan)
{
    _left.resize(nFrames);
    _right.resize(nFrames);
    for (int i = 0; i < nFrames; i++) {
        _left[i] = frames[(long)i * nChan];
        _right[i] = frames[(long)i * nChan + 1];
    }
    _reverbs[0]->Process(&_left);
    _reverbs[1]->Process(&_right);
    for (int i = 0; i < nFrames; i++) {
        frames[(long)i * nChan] = _left[i];
        frames[(long)i * nChan + 1] = _right[i];
    }
}
