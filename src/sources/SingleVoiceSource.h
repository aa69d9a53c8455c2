#pragma once

#include <vector>

#include "sources/GrainSource.h"

class App;
class AudioSource;
class Parameter;
class SamplesProvider;
class UIVoiceSource;

// What the single grain and the loop source share: one grain voice aimed at
// the centre of the source's view and ten parameters. The two kinds differ
// in when the voice plays.
class SingleVoiceSource : public GrainSource {
public:
    enum ParamIndex {
        NO_PARAMETER = -1,
        DURATION = 0,
        ENVELOPE,
        DIRECTION,
        PITCH,
        P_LFO_FREQ,
        P_LFO_AMP,
        SPATIALIZE,
        VOLUME,
        RANGE,
        TIME_STRETCH
    };
    static constexpr int NUM_PARAMS = 10;

    virtual ~SingleVoiceSource();

    // The one voice, for those who watch it play.
    const AudioSource* GetVoice() const { return _source; }
    unsigned CountSoundingGrains() const override;

    Parameter* GetCurrentParameter() override;
    Parameter* GetParameter(int idx) override;
    int GetNumParams() override { return NUM_PARAMS; }
    double GetUIRadius() override;
    void SetCurrentParamIdx(ParamIndex idx) { _currentParamIdx = idx; }
    void SetCurrentParamIndex(int idx) override;
    void ResetCurrentParameterIndex() override { _currentParamIdx = NO_PARAMETER; }
    void RegisterUI(UISource* ui) override;
    UISource* GetUI() override;

protected:
    // rects: every sound rect of the scene, in scene order. A looping voice
    // reads its window over and over.
    SingleVoiceSource(App* app, const std::vector<SamplesProvider*>& rects, SourceType kind, bool loop);
    // The clone constructor: shares the view and the parameters and
    // continues the voice where the origin's is.
    explicit SingleVoiceSource(const SingleVoiceSource* origin);

    // Queues the source's settings on the voice; the direction is left to
    // the kind.
    void QueueSettings();
    // The pitch of the LFO at the clock's time, queued when the LFO runs.
    void QueueLFOPitch();
    // Where the view's centre falls on the rects (nothing without a view).
    void AimAtView();
    // The view breathes once per grain duration.
    void DurationChanged() override;
    void RectAdded(SoundRect* rect) override;

    AudioSource* _source;

private:
    void InitParameters();
    void ForEachVoice(const VoiceAction& action) override;

    UIVoiceSource* _ui;
    Parameter* _params[NUM_PARAMS];
    ParamIndex _currentParamIdx;
};
