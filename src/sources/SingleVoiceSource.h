#pragma once

#include <vector>

#include "sources/GrainModes.h"
#include "sources/Source.h"
#include "sources/Spatializer.h"

class App;
class AudioSource;
class Parameter;
class SamplesProvider;
class UIVoiceSource;

// What the single grain and the loop source share: one grain voice aimed at
// the centre of the source's view, ten parameters, and the settings that
// shape the voice (duration, envelope, direction, pitch and its LFO, spatial
// mode, volume, band range). The two kinds differ in when the voice plays.
class SingleVoiceSource : public Source {
public:
    enum DirectionMode {
        FORWARD = GrainModes::FORWARD,
        BACKWARD = GrainModes::BACKWARD,
        RANDOM_DIR = GrainModes::RANDOM_DIR
    };
    enum SpatialMode { UNITY = Spatializer::UNITY, STEREO = Spatializer::STEREO, AROUND = Spatializer::AROUND };
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

    virtual void SetDurationMs(double durationMs);
    double GetDurationMs() const { return _duration; }
    void SetPitch(double pitch);
    double GetPitch() const { return _pitch; }
    void SetVolumeDb(double volumeDb);
    double GetVolumeDb() const { return _volumeDb; }
    void SetRange(double range);
    double GetRange() const { return _range; }
    // The voice takes the direction at once (a fresh toss for RANDOM_DIR).
    void SetDirection(int mode);
    int GetDirection() const { return _dirMode; }
    void SetEnvelopeType(int type);
    int GetEnvelopeType() const { return _envelopeType; }
    void SetPitchLFOFreq(double freq);
    double GetPitchLFOFreq() const { return _pitchLFOFreq; }
    void SetPitchLFOAmount(double amount);
    double GetPitchLFOAmount() const { return _pitchLFOAmount; }
    // channel < 0 keeps the stored channel.
    void SetSpatialMode(int mode, int channel);
    int GetSpatialMode() const { return _spatialMode; }
    int GetSpatialChannel() const { return _channelLocation; }

    // The one voice, for those who watch it play.
    const AudioSource* GetVoice() const { return _source; }

    Parameter* GetCurrentParameter() override;
    Parameter* GetParameter(int idx) override;
    int GetNumParams() override { return NUM_PARAMS; }
    double GetUIX() override;
    double GetUIY() override;
    double GetUIRadius() override;
    void SetCurrentParamIdx(ParamIndex idx) { _currentParamIdx = idx; }
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
    // The pitch the voice plays for p: transposed by the MIDI note and bent by the wheel.
    double VoicePitch(double p) const;

    AudioSource* _source;
    Spatializer _spatializer;
    int _spatialMode;
    std::vector<double> _playPositions;
    std::vector<double> _playVols;

private:
    void InitParameters(App* app);

    UIVoiceSource* _ui;
    int _channelLocation;
    double _volumeDb;
    double _normedVol;
    double _range;
    double _pitch;
    double _duration;
    double _pitchLFOFreq;
    double _pitchLFOAmount;
    int _dirMode;
    int _envelopeType;
    Parameter* _params[NUM_PARAMS];
    ParamIndex _currentParamIdx;
};
