#include "effects/DelayEffect.h"

#include <algorithm>
#include <limits>

#include "effects/DelayLine.h"
#include "parameters/EffectParameters.h"
#include "sound/EngineRate.h"

DelayEffect::DelayEffect() : _timeSamples(INITIAL_TIME_SAMPLES), _feedback(0.0), _wetMix(0.5)
{
    AddParameter(new ParameterEffectOn(ON_PARAM));
    AddParameter(new ParameterDelayEffectTime(TIME_PARAM));
    AddParameter(new ParameterDelayEffectFeedback(FEEDBACK_PARAM));
    AddParameter(new ParameterDelayEffectWetMix(WET_MIX_PARAM));
    for (DelayLine*& line : _delayLines)
        line = new DelayLine(_timeSamples);
    FollowRate();
}

void DelayEffect::FollowRate()
{
    // Room for the longest delay up front: turning the Time knob then never
    // allocates on the audio thread.
    double maxMs = std::numeric_limits<double>::max();
    _params[TIME_PARAM]->CheckValueBounds(&maxMs);
    const int maxSamples = (int)(maxMs * 0.001 * EngineRate::Get());
    for (DelayLine* line : _delayLines)
        line->Reserve(maxSamples);
    UpdateParameters();
}

DelayEffect::~DelayEffect()
{
    for (DelayLine* line : _delayLines)
        delete line;
}

void DelayEffect::SetTime(double ms)
{
    _params[TIME_PARAM]->CheckValueBounds(&ms);
    _timeSamples = (int)(ms * 0.001 * EngineRate::Get());
}

void DelayEffect::UpdateParameters()
{
    SetTime(_params[TIME_PARAM]->GetValue());
    SetFeedback(_params[FEEDBACK_PARAM]->GetValue());
    SetWetMix(_params[WET_MIX_PARAM]->GetValue());
    for (DelayLine* line : _delayLines)
        line->SetDelay(_timeSamples);
}

void DelayEffect::ClearState()
{
    for (DelayLine* line : _delayLines)
        line->Reset();
}

void DelayEffect::ProcessOn(std::vector<float>* buffer, int nFrames, int nChan)
{
    int nLines = std::min(nChan, NUM_LINES);
    for (int i = 0; i < nFrames; i++) {
        float* frame = buffer->data() + (long)i * nChan;
        const double wetMix = _wetMix.At(i, nFrames);
        for (int k = 0; k < nLines; k++) {
            float x = frame[k];
            DelayLine* line = _delayLines[k];
            float delayed = line->Peek();
            float d = line->Process((float)(_feedback * delayed + x));
            frame[k] = (float)(wetMix * d + x);
        }
    }
}
