#include "sources/GrainSource.h"

#include "parameters/Parameter.h"
#include "session/Serializer.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "ui/UISource.h"

namespace {
const double INITIAL_DURATION_MS = 500.0;
const double INITIAL_RANGE = 10.0;
// The single-precision 0.01 the LFO frequency starts from.
const double INITIAL_LFO_FREQ = (double)0.01f;
const double MIN_PITCH = 1e-4;
const double MIN_VOLUME_DB = -60.0;
const double MAX_VOLUME_DB = 6.0;
}  // namespace

GrainSource::GrainSource(App* app, size_t numRects)
    : _app(app), _spatialMode(UNITY), _channelLocation(-1), _volumeDb(0.0), _normedVol(1.0), _range(INITIAL_RANGE),
      _pitch(1.0), _duration(INITIAL_DURATION_MS), _pitchLFOFreq(INITIAL_LFO_FREQ), _pitchLFOAmount(0.0),
      _dirMode(FORWARD), _envelopeType(Envelope::HANNING), _playPositions(numRects, -1.0), _playVols(numRects, 0.0),
      _random((unsigned)time(nullptr))
{
}

GrainSource::GrainSource(const GrainSource* origin)
    : _app(origin->_app), _spatializer(origin->_spatializer), _spatialMode(origin->_spatialMode),
      _channelLocation(origin->_channelLocation), _volumeDb(origin->_volumeDb), _normedVol(origin->_normedVol),
      _range(origin->_range), _pitch(origin->_pitch), _duration(origin->_duration),
      _pitchLFOFreq(origin->_pitchLFOFreq), _pitchLFOAmount(origin->_pitchLFOAmount), _dirMode(origin->_dirMode),
      _envelopeType(origin->_envelopeType), _playPositions(origin->_playPositions), _playVols(origin->_playVols),
      _random(origin->_random)
{
    origin->Source::Clone(this);
}

void GrainSource::SetDurationMs(double durationMs)
{
    _duration = durationMs;
    ForEachVoice([durationMs](AudioSource* voice) { voice->SetDurationMs(durationMs); });
    DurationChanged();
}

double GrainSource::VoicePitch(double p) const
{
    return p * GetMidiNotePitch() * GetPitchBendFactor();
}

void GrainSource::SetPitch(double pitch)
{
    _pitch = std::max(pitch, MIN_PITCH);
    const double voicePitch = VoicePitch(_pitch);
    ForEachVoice([voicePitch](AudioSource* voice) { voice->SetPitch(voicePitch); });
}

void GrainSource::SetVolumeDb(double volumeDb)
{
    _volumeDb = std::clamp(volumeDb, MIN_VOLUME_DB, MAX_VOLUME_DB);
    _normedVol = std::pow(10.0, 0.05 * _volumeDb);
    ForEachVoice([this](AudioSource* voice) { voice->SetVolume(VoiceVolume()); });
}

void GrainSource::SetNoteLevel(double level)
{
    Source::SetNoteLevel(level);
    // A copy gets its level before it first sounds, so the grains it took
    // over in flight play at that level too, without a step.
    ForEachVoice([this](AudioSource* voice) { voice->SetVolumeAtOnce(VoiceVolume()); });
}

void GrainSource::SetRange(double range)
{
    _range = range;
    ForEachVoice([range](AudioSource* voice) { voice->SetRange(range); });
}

void GrainSource::SetDirection(int mode)
{
    _dirMode = GrainModes::Wrap(mode, GrainModes::NUM_DIRECTION_MODES);
    ForEachVoice([this](AudioSource* voice) { voice->SetDirection(GrainModes::Direction(_dirMode, &_random)); });
}

void GrainSource::SetEnvelopeType(int type)
{
    _envelopeType = GrainModes::Wrap(type, Envelope::NUM_ENVELOPES);
    ForEachVoice([this](AudioSource* voice) { voice->SetEnvelopeType(_envelopeType); });
}

void GrainSource::SetPitchLFOFreq(double freq)
{
    _pitchLFOFreq = std::fabs(freq);
}

void GrainSource::SetPitchLFOAmount(double amount)
{
    _pitchLFOAmount = std::max(amount, 0.0);
}

void GrainSource::SetSpatialMode(int mode, int channel)
{
    _spatialMode = GrainModes::Wrap(mode, Spatializer::NUM_SPATIAL_MODES);
    if (channel >= 0)
        _channelLocation = channel;
}

void GrainSource::AddRect(SoundRect* rect)
{
    _playPositions.push_back(-1.0);
    _playVols.push_back(0.0);
    ForEachVoice([rect](AudioSource* voice) { voice->AddProvider(rect); });
    RectAdded(rect);
}

void GrainSource::ResetPlayPositions()
{
    std::fill(_playPositions.begin(), _playPositions.end(), -1.0);
    std::fill(_playVols.begin(), _playVols.end(), 0.0);
}

double GrainSource::GetUIX()
{
    UISource* ui = GetUI();
    return ui != nullptr ? ui->GetX() : 0.0;
}

double GrainSource::GetUIY()
{
    UISource* ui = GetUI();
    return ui != nullptr ? ui->GetY() : 0.0;
}

namespace {
// The spatial sweep and mode, channel, volume, gain and range; then pitch,
// duration, LFO frequency and amount, direction and envelope type.
const size_t SPATIAL_AND_LEVEL_BYTES = 5 * sizeof(int) + 3 * sizeof(double);
const size_t PITCH_AND_SHAPE_BYTES = 4 * sizeof(double) + 2 * sizeof(int);
}  // namespace

void GrainSource::Serialize(Serializer* serializer)
{
    Source::Serialize(serializer);
    SerializeClock(serializer);
    _spatializer.Serialize(serializer);
    serializer->PutInt(_spatialMode);
    serializer->PutInt(_channelLocation);
    serializer->PutDouble(_volumeDb);
    serializer->PutDouble(_normedVol);
    serializer->PutDouble(_range);
    SerializeVoiceCount(serializer);
    serializer->PutDouble(_pitch);
    serializer->PutDouble(_duration);
    serializer->PutDouble(_pitchLFOFreq);
    serializer->PutDouble(_pitchLFOAmount);
    serializer->PutInt(_dirMode);
    serializer->PutInt(_envelopeType);
    SerializeParameters(serializer);
    Parameter* current = GetCurrentParameter();
    serializer->PutInt(current != nullptr ? current->GetIndex() : -1);
}

void GrainSource::UnSerialize(Serializer* serializer)
{
    Source::UnSerialize(serializer);
    serializer->Skip(ClockRecordBytes() + SPATIAL_AND_LEVEL_BYTES + VoiceCountRecordBytes() + PITCH_AND_SHAPE_BYTES);
    UnSerializeParameters(serializer);
    int paramIdx = -1;
    if (serializer->GetInt(&paramIdx))
        SetCurrentParamIndex(paramIdx);
}
