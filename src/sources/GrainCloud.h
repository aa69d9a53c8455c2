#pragma once

#include <cstdint>
#include <vector>

#include "sources/GrainSource.h"

class App;
class AudioSource;
class Parameter;
class SamplesProvider;
class UIGrainCloud;

// A cloud of overlapping grains: a new grain every inter-onset time, played
// round robin by a pool of grain voices, each grain at a random point of the
// cloud's spread (chosen by the view). Wherever that point falls on sound
// rects the grain plays from each of them.
//
// The voice pool changes only between audio blocks. New voices are built on
// the GUI thread and wait in a pending list until the audio thread takes one
// per block; removed voices are parked and freed on the GUI thread, so the
// audio thread neither allocates nor frees.
class GrainCloud : public GrainSource {
public:
    enum ParamIndex {
        NO_PARAMETER = -1,
        NUMGRAINS = 0,
        DURATION,
        ENVELOPE,
        MOTIONX,
        MOTIONY,
        MOTIONXY,
        DIRECTION,
        OVERLAP,
        PITCH,
        P_LFO_FREQ,
        P_LFO_AMP,
        SPATIALIZE,
        VOLUME,
        RANGE,
        TIME_STRETCH
    };
    static constexpr int NUM_PARAMS = 15;

    // rects: every sound rect of the scene, in scene order.
    GrainCloud(App* app, const std::vector<SamplesProvider*>& rects, double numVoices);
    virtual ~GrainCloud();

    // t in 0..1: voice count^t grains overlap.
    void SetOverlap(double t);
    double GetOverlap() const { return _overlapNorm; }
    // Inter-onset time in frames.
    double GetBangTime() const { return _bangTime; }

    // GUI thread, under the application lock: one voice more or less from
    // the next audio block on, and one marker more or less at once. A cloud
    // never drops below one voice.
    void AddGrain();
    void RemoveGrain();
    // The number of voices the cloud is heading for (its marker count).
    unsigned GetNumGrains() const;
    // The voices playing now.
    unsigned GetNumVoices() const { return (unsigned)_sources.size(); }
    // The grains sounding now.
    unsigned CountSoundingGrains() const override;

    Parameter* GetCurrentParameter() override;
    Parameter* GetParameter(int idx) override;
    int GetNumParams() override { return NUM_PARAMS; }
    double GetUIRadius() override;
    void SetCurrentParamIdx(ParamIndex idx) { _currentParamIdx = idx; }
    void ResetCurrentParameterIndex() override { _currentParamIdx = NO_PARAMETER; }

    // Shares this cloud's view and parameters; its voices continue the
    // sounding grains.
    Source* Clone() override;
    void NextBuffer(std::vector<float>* accumBuff, unsigned numFrames) override;
    void RegisterUI(UISource* ui) override;
    UISource* GetUI() override;

    void SetCurrentParamIndex(int idx) override;

protected:
    // Voice flags, local clock and trigger interval; voice count and overlap.
    void SerializeClock(Serializer* serializer) override;
    size_t ClockRecordBytes() const override;
    void SerializeVoiceCount(Serializer* serializer) override;
    size_t VoiceCountRecordBytes() const override;

private:
    // The clone constructor.
    explicit GrainCloud(const GrainCloud* origin);

    void InitParameters();
    AudioSource* NewVoice();
    void ForEachVoice(const VoiceAction& action) override;
    void DurationChanged() override;
    void RectAdded(SoundRect* rect) override;
    // Voice count including the pending changes.
    unsigned GetTargetVoiceCount() const;
    void ReleaseRetiredVoices();
    void ApplyPendingVoiceChange();
    void RenderVoiceTo(size_t k, std::vector<float>* accumBuff, unsigned to);
    void StartVoiceBlock(size_t k);
    void TriggerNextGrain(std::vector<float>* accumBuff, unsigned at);
    void UpdateBangTime();
    double LFOPitch() const;

    UIGrainCloud* _uiGrainCloud;
    // Voices built by AddGrain, waiting for the audio thread.
    std::vector<AudioSource*> _pendingVoices;
    unsigned _pendingRemovals;
    // Voices taken out by the audio thread, waiting to be freed.
    std::vector<AudioSource*> _retiredVoices;
    // Frames since the last onset, with the fraction the inter-onset time leaves.
    double _localTime;
    double _bangTime;
    uint32_t _nextGrain;
    // The stretch and pitch every voice takes in the current block.
    double _blockTimeStretch;
    double _blockVoicePitch;
    std::vector<AudioSource*> _sources;
    // Per voice, the frame of the current block it has been rendered up to.
    std::vector<unsigned> _renderedTo;
    double _overlap;
    double _overlapNorm;
    std::vector<SamplesProvider*> _sampProviders;
    Parameter* _params[NUM_PARAMS];
    ParamIndex _currentParamIdx;
};
