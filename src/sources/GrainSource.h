#pragma once

#include <functional>
#include <vector>

#include "sources/GrainModes.h"
#include "sources/RandomGenerator.h"
#include "sources/Source.h"
#include "sources/Spatializer.h"

class App;
class AudioSource;

// What every kind of source sets on its grain voices alike: grain duration,
// envelope, direction mode, pitch and its LFO, volume, band range and
// spatial mode. Each kind says which voices there are and how often they play.
class GrainSource : public Source {
public:
    enum DirectionMode {
        FORWARD = GrainModes::FORWARD,
        BACKWARD = GrainModes::BACKWARD,
        RANDOM_DIR = GrainModes::RANDOM_DIR
    };
    enum SpatialMode { UNITY = Spatializer::UNITY, STEREO = Spatializer::STEREO, AROUND = Spatializer::AROUND };

    void SetDurationMs(double durationMs);
    double GetDurationMs() const { return _duration; }
    void SetPitch(double pitch);
    double GetPitch() const { return _pitch; }
    void SetVolumeDb(double volumeDb);
    double GetVolumeDb() const { return _volumeDb; }
    // A note copy's velocity: its voices play at the volume times the level.
    void SetNoteLevel(double level) override;
    void SetRange(double range);
    double GetRange() const { return _range; }
    // Every voice takes the direction at once (its own toss for RANDOM_DIR).
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
    // The source's own random draws (grain points, directions) start over
    // from seed; a new source seeds them with the time.
    void SeedRandom(unsigned seed) { _random.Seed(seed); }

    // The centre of the view (0 without one).
    double GetUIX() override;
    double GetUIY() override;

    // Any index outside the kind's parameters means none.
    virtual void SetCurrentParamIndex(int idx) = 0;

    // Every voice, waiting ones included, plays from the rect too.
    void AddRect(SoundRect* rect) override;

    // The source base, the kind's clock, the settings every kind has (with a
    // cloud's voice count in their midst), the parameters and the picked one.
    void Serialize(Serializer* serializer) override;
    // The settings come back through the parameters, whose setters hold each
    // value to its range; the stored playing state (clocks, spatial sweep,
    // derived gains) is read past, so a restored source starts afresh.
    void UnSerialize(Serializer* serializer) override;
    void SerializeDraws(Serializer* serializer) const override { _random.Serialize(serializer); }
    bool UnSerializeDraws(Serializer* serializer) override { return _random.UnSerialize(serializer); }

protected:
    using VoiceAction = std::function<void(AudioSource*)>;

    // numRects: the number of sound rects the voices play from.
    GrainSource(App* app, size_t numRects);
    // A copy of the origin's settings and spatialisation state.
    explicit GrainSource(const GrainSource* origin);

    // Every voice the settings reach, waiting ones included.
    virtual void ForEachVoice(const VoiceAction& action) = 0;
    // What follows from a new duration beyond the voices (trigger interval, view).
    virtual void DurationChanged() {}
    // What follows from a rect added beyond the voices there are: the voices
    // made later, and the view (the origin's, which its note copies share).
    virtual void RectAdded(SoundRect* rect) = 0;
    // The kind's own fields of its record: its clock first, then (a cloud's
    // voice count and overlap) between the level and the pitch settings.
    virtual void SerializeClock(Serializer*) {}
    virtual size_t ClockRecordBytes() const { return 0; }
    virtual void SerializeVoiceCount(Serializer*) {}
    virtual size_t VoiceCountRecordBytes() const { return 0; }

    // The pitch a voice plays for p: transposed by the MIDI note and bent by the wheel.
    double VoicePitch(double p) const;
    // The gain of every voice: the volume, times a note copy's level.
    double VoiceVolume() const { return _normedVol * GetNoteLevel(); }
    // No rect under the next grain until the view says where it lands.
    void ResetPlayPositions();

    App* _app;
    Spatializer _spatializer;
    int _spatialMode;
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
    std::vector<double> _playPositions;
    std::vector<double> _playVols;
    RandomGenerator _random;
};
