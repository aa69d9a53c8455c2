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
// 2 pi as the LFO has always taken it, in single precision.
const double LFO_TWO_PI = 6.2831854820251465;
const double MIN_PITCH = 1e-4;
// Pie-menu drag sensitivity of each parameter, by ParamIndex.
const double SENSITIVITIES[SingleVoiceSource::NUM_PARAMS] = {3, 6, 6, 1, 4, 3, 6, 6, 4, 6};
}  // namespace

SingleVoiceSource::SingleVoiceSource(App* app, const std::vector<SamplesProvider*>& rects, SourceType kind, bool loop)
    : GrainSource(app, rects.size()), _source(nullptr), _ui(nullptr), _params{}, _currentParamIdx(NO_PARAMETER)
{
    _sourceType = kind;
    _source = new AudioSource(rects, GetEnvelope(), _duration, _pitch, GetTimeStretch());
    _source->SetLoop(loop);
    SetVolumeDb(0.0);
    _source->SetRange(_range);
    _source->SetDurationMs(_duration);
    InitParameters();
}

SingleVoiceSource::SingleVoiceSource(const SingleVoiceSource* origin)
    : GrainSource(origin), _source(origin->_source->Clone()), _ui(origin->_ui),
      _currentParamIdx(origin->_currentParamIdx)
{
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

void SingleVoiceSource::InitParameters()
{
    _params[DURATION] = new ParameterDuration(_app, DURATION);
    _params[ENVELOPE] = new ParameterEnvelope(_app, ENVELOPE);
    _params[DIRECTION] = new ParameterDirection(_app, DIRECTION);
    _params[PITCH] = new ParameterPitch(_app, PITCH);
    _params[P_LFO_FREQ] = new ParameterLFOFreq(_app, P_LFO_FREQ);
    _params[P_LFO_AMP] = new ParameterLFOAmp(_app, P_LFO_AMP);
    _params[SPATIALIZE] = new ParameterSpatialize(_app, SPATIALIZE);
    _params[VOLUME] = new ParameterVolume(_app, VOLUME);
    _params[RANGE] = new ParameterRange(_app, RANGE);
    _params[TIME_STRETCH] = new ParameterTimeStretch(_app, TIME_STRETCH);
    for (int i = 0; i < NUM_PARAMS; i++)
        _params[i]->SetSensivity(SENSITIVITIES[i]);
}

void SingleVoiceSource::ForEachVoice(const VoiceAction& action)
{
    action(_source);
}

void SingleVoiceSource::DurationChanged()
{
    if (_ui != nullptr)
        _ui->SetDuration(_duration);
}

void SingleVoiceSource::RectAdded(SoundRect* rect)
{
    if (!_isClone && _ui != nullptr)
        _ui->AddRect(rect);
}

void SingleVoiceSource::QueueSettings()
{
    _source->SetDurationMs(_duration);
    _source->SetPitch(VoicePitch(_pitch));
    _source->SetEnvelopeType(_envelopeType);
    _source->SetTimeStretch(GetTimeStretch());
    _source->SetVolume(VoiceVolume());
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
    ResetPlayPositions();
    if (_ui != nullptr)
        _ui->GetTriggerPos(_playPositions.data(), _playVols.data(), _playPositions.size(), _duration);
}

Parameter* SingleVoiceSource::GetCurrentParameter()
{
    return _currentParamIdx == NO_PARAMETER ? nullptr : _params[_currentParamIdx];
}

Parameter* SingleVoiceSource::GetParameter(int idx)
{
    return idx >= 0 && idx < NUM_PARAMS ? _params[idx] : nullptr;
}

unsigned SingleVoiceSource::CountSoundingGrains() const
{
    return _source->IsPlaying() ? 1 : 0;
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

void SingleVoiceSource::SetCurrentParamIndex(int idx)
{
    _currentParamIdx = (idx >= 0 && idx < NUM_PARAMS) ? ParamIndex(idx) : NO_PARAMETER;
}
