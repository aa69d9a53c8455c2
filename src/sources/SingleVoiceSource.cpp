#include "sources/SingleVoiceSource.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "app/Time.h"
#include "parameters/SourceParameters.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "ui/UIVoiceSource.h"

namespace {
const double INITIAL_DURATION_MS = 500.0;
const double INITIAL_RANGE = 10.0;
// The single-precision 0.01 the LFO frequency starts from.
const double INITIAL_LFO_FREQ = (double)0.01f;
// 2 pi as the LFO has always taken it, in single precision.
const double LFO_TWO_PI = 6.2831854820251465;
const double MIN_PITCH = 1e-4;
const double MIN_VOLUME_DB = -60.0;
const double MAX_VOLUME_DB = 6.0;
// Pie-menu drag sensitivity of each parameter, by ParamIndex.
const double SENSITIVITIES[SingleVoiceSource::NUM_PARAMS] = {3, 6, 6, 1, 4, 3, 6, 6, 4, 6};
}  // namespace

SingleVoiceSource::SingleVoiceSource(App* app, const std::vector<SamplesProvider*>& rects, SourceType kind, bool loop)
    : _source(nullptr), _spatialMode(UNITY), _playPositions(rects.size(), -1.0), _playVols(rects.size(), 0.0),
      _ui(nullptr), _channelLocation(-1), _volumeDb(0.0), _normedVol(1.0), _range(INITIAL_RANGE), _pitch(1.0),
      _duration(INITIAL_DURATION_MS), _pitchLFOFreq(INITIAL_LFO_FREQ), _pitchLFOAmount(0.0), _dirMode(FORWARD),
      _envelopeType(Envelope::HANNING), _params{}, _currentParamIdx(NO_PARAMETER)
{
    _sourceType = kind;
    srand((unsigned)time(nullptr));
    _source = new AudioSource(rects, GetEnvelope(), _duration, _pitch, GetTimeStretch());
    _source->SetLoop(loop);
    SetVolumeDb(0.0);
    _source->SetRange(_range);
    _source->SetDurationMs(_duration);
    InitParameters(app);
}

SingleVoiceSource::SingleVoiceSource(const SingleVoiceSource* origin)
    : _source(origin->_source->Clone()), _spatializer(origin->_spatializer), _spatialMode(origin->_spatialMode),
      _playPositions(origin->_playPositions), _playVols(origin->_playVols), _ui(origin->_ui),
      _channelLocation(origin->_channelLocation), _volumeDb(origin->_volumeDb), _normedVol(origin->_normedVol),
      _range(origin->_range), _pitch(origin->_pitch), _duration(origin->_duration),
      _pitchLFOFreq(origin->_pitchLFOFreq), _pitchLFOAmount(origin->_pitchLFOAmount), _dirMode(origin->_dirMode),
      _envelopeType(origin->_envelopeType), _currentParamIdx(origin->_currentParamIdx)
{
    origin->Source::Clone(this);
    std::copy(origin->_params, origin->_params + NUM_PARAMS, _params);
}

SingleVoiceSource::~SingleVoiceSource()
{
    delete _source;
    if (_isClone)
        return;
    for (Parameter* param : _params)
        delete param;
    delete _ui;
}

void SingleVoiceSource::InitParameters(App* app)
{
    _params[DURATION] = new ParameterDuration(app, DURATION);
    _params[ENVELOPE] = new ParameterEnvelope(app, ENVELOPE);
    _params[DIRECTION] = new ParameterDirection(app, DIRECTION);
    _params[PITCH] = new ParameterPitch(app, PITCH);
    _params[P_LFO_FREQ] = new ParameterLFOFreq(app, P_LFO_FREQ);
    _params[P_LFO_AMP] = new ParameterLFOAmp(app, P_LFO_AMP);
    _params[SPATIALIZE] = new ParameterSpatialize(app, SPATIALIZE);
    _params[VOLUME] = new ParameterVolume(app, VOLUME);
    _params[RANGE] = new ParameterRange(app, RANGE);
    _params[TIME_STRETCH] = new ParameterTimeStretch(app, TIME_STRETCH);
    for (int i = 0; i < NUM_PARAMS; i++)
        _params[i]->SetSensivity(SENSITIVITIES[i]);
}

void SingleVoiceSource::SetDurationMs(double durationMs)
{
    _duration = durationMs;
    _source->SetDurationMs(durationMs);
    if (_ui != nullptr)
        _ui->SetDuration(durationMs);
}

double SingleVoiceSource::VoicePitch(double p) const
{
    return p * GetMidiNotePitch() * GetMidiPitchWheelValue();
}

void SingleVoiceSource::SetPitch(double pitch)
{
    _pitch = std::max(pitch, MIN_PITCH);
    _source->SetPitch(VoicePitch(_pitch));
}

void SingleVoiceSource::SetVolumeDb(double volumeDb)
{
    _volumeDb = std::clamp(volumeDb, MIN_VOLUME_DB, MAX_VOLUME_DB);
    _normedVol = std::pow(10.0, 0.05 * _volumeDb);
    _source->SetVolume(_normedVol);
}

void SingleVoiceSource::SetRange(double range)
{
    _range = range;
    _source->SetRange(range);
}

void SingleVoiceSource::SetDirection(int mode)
{
    _dirMode = GrainModes::Wrap(mode, GrainModes::NUM_DIRECTION_MODES);
    _source->SetDirection(GrainModes::Direction(_dirMode));
}

void SingleVoiceSource::SetEnvelopeType(int type)
{
    _envelopeType = GrainModes::Wrap(type, Envelope::NUM_ENVELOPES);
    _source->SetEnvelopeType(_envelopeType);
}

void SingleVoiceSource::SetPitchLFOFreq(double freq)
{
    _pitchLFOFreq = std::fabs(freq);
}

void SingleVoiceSource::SetPitchLFOAmount(double amount)
{
    _pitchLFOAmount = std::max(amount, 0.0);
}

void SingleVoiceSource::SetSpatialMode(int mode, int channel)
{
    _spatialMode = GrainModes::Wrap(mode, Spatializer::NUM_SPATIAL_MODES);
    if (channel >= 0)
        _channelLocation = channel;
}

void SingleVoiceSource::QueueSettings()
{
    _source->SetDurationMs(_duration);
    _source->SetPitch(VoicePitch(_pitch));
    _source->SetEnvelopeType(_envelopeType);
    _source->SetTimeStretch(GetTimeStretch());
    _source->SetVolume(_normedVol);
    _source->SetRange(_range);
}

void SingleVoiceSource::QueueLFOPitch()
{
    if (_pitchLFOAmount <= 0.0 || _pitchLFOFreq <= 0.0)
        return;
    const double t = Time::Instance()->GetSeconds();
    // The swing can cross zero; a voice at pitch 0 would divide by it.
    const double pitch = std::fabs(std::sin(t * _pitchLFOFreq * LFO_TWO_PI) * _pitchLFOAmount + _pitch);
    _source->SetPitch(VoicePitch(std::max(pitch, MIN_PITCH)));
}

void SingleVoiceSource::AimAtView()
{
    std::fill(_playPositions.begin(), _playPositions.end(), -1.0);
    std::fill(_playVols.begin(), _playVols.end(), 0.0);
    if (_ui != nullptr)
        _ui->GetTriggerPos(_playPositions.data(), _playVols.data(), _duration);
}

Parameter* SingleVoiceSource::GetCurrentParameter()
{
    return _currentParamIdx == NO_PARAMETER ? nullptr : _params[_currentParamIdx];
}

Parameter* SingleVoiceSource::GetParameter(int idx)
{
    return idx >= 0 && idx < NUM_PARAMS ? _params[idx] : nullptr;
}

double SingleVoiceSource::GetUIX()
{
    return _ui != nullptr ? _ui->GetX() : 0.0;
}

double SingleVoiceSource::GetUIY()
{
    return _ui != nullptr ? _ui->GetY() : 0.0;
}

double SingleVoiceSource::GetUIRadius()
{
    return _ui != nullptr ? _ui->GetRadius() : 0.0;
}

void SingleVoiceSource::RegisterUI(UISource* ui)
{
    _ui = dynamic_cast<UIVoiceSource*>(ui);
    if (_ui != nullptr)
        _ui->SetDuration(_duration);
}

UISource* SingleVoiceSource::GetUI()
{
    return _ui;
}
