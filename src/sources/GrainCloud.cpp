#include "sources/GrainCloud.h"

#include <algorithm>
#include <cmath>

#include "app/Time.h"
#include "parameters/SourceParameters.h"
#include "session/Serializer.h"
#include "sound/EngineRate.h"
#include "sound/SoundRect.h"
#include "sources/AudioSource.h"
#include "sources/Envelope.h"
#include "sources/GrainModes.h"
#include "ui/UIGrainCloud.h"

namespace {
const double MIN_PITCH = 1e-4;
// Room for the largest voice count the Voices parameter asks for, and a
// margin, so the audio thread never grows the voice lists.
const size_t VOICE_CAPACITY = 128;
// A voice not yet rendered in the current block.
const unsigned NOT_STARTED = ~0u;
// Pie-menu drag sensitivity of each parameter, by ParamIndex.
const double SENSITIVITIES[GrainCloud::NUM_PARAMS] = {3, 3, 6, 2, 2, 1, 6, 3, 1, 4, 3, 6, 6, 4, 6};

// Makes room for count pointers; only ever called on the GUI thread.
void EnsureCapacity(std::vector<AudioSource*>* voices, size_t count)
{
    if (voices->capacity() < count)
        voices->reserve(std::max(count, 2 * voices->capacity()));
}
}  // namespace

GrainCloud::GrainCloud(App* app, const std::vector<SamplesProvider*>& rects, double numVoices)
    : GrainSource(app, rects.size()), _uiGrainCloud(nullptr), _pendingRemovals(0), _localTime(0), _bangTime(0.0),
      _nextGrain(0), _blockTimeStretch(1.0), _blockVoicePitch(1.0), _overlap(1.0), _overlapNorm(1.0),
      _sampProviders(rects), _params{}, _currentParamIdx(NO_PARAMETER)
{
    _sourceType = GRAIN_CLOUD;
    _sources.reserve(VOICE_CAPACITY);
    _renderedTo.reserve(VOICE_CAPACITY);
    _pendingVoices.reserve(VOICE_CAPACITY);
    _retiredVoices.reserve(VOICE_CAPACITY);
    // The first voices read forward, as the direction mode starts.
    const unsigned count = std::max(1u, (unsigned)numVoices);
    for (unsigned i = 0; i < count; i++)
        _sources.push_back(new AudioSource(_sampProviders, GetEnvelope(), _duration, _pitch, GetTimeStretch()));
    SetVolumeDb(0.0);
    SetOverlap(1.0);
    InitParameters();
}

GrainCloud::GrainCloud(const GrainCloud* origin)
    : GrainSource(origin), _uiGrainCloud(origin->_uiGrainCloud), _pendingRemovals(origin->_pendingRemovals),
      _localTime(origin->_localTime), _bangTime(origin->_bangTime), _nextGrain(origin->_nextGrain),
      _blockTimeStretch(origin->_blockTimeStretch), _blockVoicePitch(origin->_blockVoicePitch),
      _overlap(origin->_overlap), _overlapNorm(origin->_overlapNorm), _sampProviders(origin->_sampProviders),
      _currentParamIdx(origin->_currentParamIdx)
{
    std::copy(origin->_params, origin->_params + NUM_PARAMS, _params);
    _sources.reserve(std::max(VOICE_CAPACITY, origin->_sources.capacity()));
    _renderedTo.reserve(_sources.capacity());
    _pendingVoices.reserve(std::max(VOICE_CAPACITY, origin->_pendingVoices.capacity()));
    _retiredVoices.reserve(std::max(VOICE_CAPACITY, (size_t)_pendingRemovals));
    for (AudioSource* voice : origin->_sources)
        _sources.push_back(voice->Clone());
    for (AudioSource* voice : origin->_pendingVoices)
        _pendingVoices.push_back(voice->Clone());
}

GrainCloud::~GrainCloud()
{
    ForEachVoice([](AudioSource* voice) { delete voice; });
    ReleaseRetiredVoices();
    if (_isClone)
        return;
    for (Parameter* param : _params)
        delete param;
    delete _uiGrainCloud;
}

void GrainCloud::InitParameters()
{
    _params[NUMGRAINS] = new ParameterNumGrains(_app, NUMGRAINS);
    _params[DURATION] = new ParameterDuration(_app, DURATION);
    _params[ENVELOPE] = new ParameterEnvelope(_app, ENVELOPE);
    _params[MOTIONX] = new ParameterMotionX(_app, MOTIONX);
    _params[MOTIONY] = new ParameterMotionY(_app, MOTIONY);
    _params[MOTIONXY] = new ParameterMotionXY(_app, MOTIONXY);
    _params[DIRECTION] = new ParameterDirection(_app, DIRECTION);
    _params[OVERLAP] = new ParameterOverlap(_app, OVERLAP);
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

// Setters reach the waiting voices too, so a voice arrives playing like the others.
void GrainCloud::ForEachVoice(const VoiceAction& action)
{
    for (AudioSource* voice : _sources)
        action(voice);
    for (AudioSource* voice : _pendingVoices)
        action(voice);
}

void GrainCloud::DurationChanged()
{
    UpdateBangTime();
    if (_uiGrainCloud != nullptr)
        _uiGrainCloud->SetDuration(_duration);
}

void GrainCloud::RectAdded(SoundRect* rect)
{
    _sampProviders.push_back(rect);
    if (!_isClone && _uiGrainCloud != nullptr)
        _uiGrainCloud->AddRect(rect);
}

void GrainCloud::SetOverlap(double t)
{
    _overlapNorm = std::clamp(t, 0.0, 1.0);
    _overlap = std::exp(std::log((double)_sources.size()) * _overlapNorm);
    UpdateBangTime();
}

void GrainCloud::UpdateBangTime()
{
    _bangTime = _duration * EngineRate::Get() * 0.001 / _overlap;
}

AudioSource* GrainCloud::NewVoice()
{
    AudioSource* voice = new AudioSource(_sampProviders, GetEnvelope(), _duration, _pitch, GetTimeStretch());
    voice->SetEnvelopeType(_envelopeType);
    voice->SetDirection(GrainModes::Direction(_dirMode, &_random));
    voice->SetVolume(VoiceVolume());
    voice->SetRange(_range);
    return voice;
}

unsigned GrainCloud::GetTargetVoiceCount() const
{
    return (unsigned)(_sources.size() + _pendingVoices.size()) - _pendingRemovals;
}

unsigned GrainCloud::GetNumGrains() const
{
    return _uiGrainCloud != nullptr ? _uiGrainCloud->GetNumGrains() : GetTargetVoiceCount();
}

void GrainCloud::AddGrain()
{
    ReleaseRetiredVoices();
    // A removal that has not happened yet is simply called off.
    if (_pendingRemovals > 0) {
        _pendingRemovals--;
    } else {
        EnsureCapacity(&_sources, GetTargetVoiceCount() + 1);
        _renderedTo.reserve(_sources.capacity());
        _pendingVoices.push_back(NewVoice());
    }
    if (_uiGrainCloud != nullptr)
        _uiGrainCloud->AddGrain();
}

void GrainCloud::RemoveGrain()
{
    ReleaseRetiredVoices();
    if (GetTargetVoiceCount() > 1) {
        // A voice that has not started playing is dropped at once.
        if (!_pendingVoices.empty()) {
            delete _pendingVoices.back();
            _pendingVoices.pop_back();
        } else {
            _pendingRemovals++;
            EnsureCapacity(&_retiredVoices, _pendingRemovals);
        }
    }
    if (_uiGrainCloud != nullptr)
        _uiGrainCloud->RemoveGrain();
}

void GrainCloud::ReleaseRetiredVoices()
{
    for (AudioSource* voice : _retiredVoices)
        delete voice;
    _retiredVoices.clear();
}

void GrainCloud::ApplyPendingVoiceChange()
{
    if (!_pendingVoices.empty()) {
        AudioSource* voice = _pendingVoices.front();
        _pendingVoices.erase(_pendingVoices.begin());
        voice->SetTimeStretch(GetTimeStretch());
        _sources.push_back(voice);
        SetOverlap(_overlapNorm);
    } else if (_pendingRemovals > 0) {
        _pendingRemovals--;
        if (_sources.size() > 1) {
            if (_nextGrain >= _sources.size() - 1)
                _nextGrain = 0;
            _retiredVoices.push_back(_sources.back());
            _sources.pop_back();
        }
        SetOverlap(_overlapNorm);
    }
}

void GrainCloud::NextBuffer(std::vector<float>* accumBuff, unsigned numFrames)
{
    ApplyPendingVoiceChange();
    if (IsMuted())
        return;
    _blockTimeStretch = GetTimeStretch();
    _blockVoicePitch = VoicePitch(_pitch);
    _renderedTo.assign(_sources.size(), NOT_STARTED);
    // Every grain starts at the frame its onset falls on, as many in a block
    // as the inter-onset time asks for; the clock keeps the fraction of a
    // frame, so the grain rate does not depend on the block length.
    const double interval = std::max(_bangTime, 1.0);
    unsigned at = 0;
    while (true) {
        const double wait = std::max(std::ceil(interval - _localTime), 0.0);
        if (wait >= (double)(numFrames - at))
            break;
        at += (unsigned)wait;
        _localTime = std::max(_localTime + wait - interval, 0.0);
        TriggerNextGrain(accumBuff, at);
    }
    _localTime += numFrames - at;
    for (size_t k = 0; k < _sources.size(); k++)
        RenderVoiceTo(k, accumBuff, numFrames);
}

// Renders voice k from where it stopped in the block up to frame to.
void GrainCloud::RenderVoiceTo(size_t k, std::vector<float>* accumBuff, unsigned to)
{
    if (_renderedTo[k] == NOT_STARTED)
        StartVoiceBlock(k);
    const unsigned from = _renderedTo[k];
    if (to > from)
        _sources[k]->NextBuffer(accumBuff, to - from, from);
    _renderedTo[k] = to;
}

// Queued settings take effect at every block, and every voice follows the
// cloud's pitch, the MIDI note and the wheel from one. Done as the voice is
// first rendered in the block rather than for all voices beforehand: a voice's
// state is then fetched from memory once per block, not twice.
void GrainCloud::StartVoiceBlock(size_t k)
{
    AudioSource* voice = _sources[k];
    voice->SetTimeStretch(_blockTimeStretch);
    voice->SetPitch(_blockVoicePitch);
    voice->UpdateParams();
    _renderedTo[k] = 0;
}

double GrainCloud::LFOPitch() const
{
    const double t = Time::Instance()->GetSeconds();
    // The swing can cross zero; a voice at pitch 0 would divide by it.
    return std::max(std::fabs(std::sin(t * _pitchLFOFreq * 2.0 * M_PI) * _pitchLFOAmount + _pitch), MIN_PITCH);
}

void GrainCloud::TriggerNextGrain(std::vector<float>* accumBuff, unsigned at)
{
    ResetPlayPositions();
    if (_uiGrainCloud != nullptr)
        _uiGrainCloud->GetTriggerPos(_nextGrain, _playPositions.data(), _playVols.data(), _playPositions.size(),
                                     _duration, &_random);
    // The voice is where the block is at the onset: its last grain may just have ended.
    RenderVoiceTo(_nextGrain, accumBuff, at);
    AudioSource* voice = _sources[_nextGrain];
    voice->UpdateParams();
    // The modulated pitch holds until the end of the grain's first block.
    if (_pitchLFOAmount > 0.0 && _pitchLFOFreq > 0.0)
        voice->SetPitch(VoicePitch(LFOPitch()));
    voice->SetChannelMultipliers(_spatializer.Next(_spatialMode));
    // A voice still sounding its last grain skips this turn and gets the next.
    if (voice->Play(_playPositions.data(), _playVols.data()))
        _nextGrain = (_nextGrain + 1) % (uint32_t)_sources.size();
}

Parameter* GrainCloud::GetCurrentParameter()
{
    return _currentParamIdx == NO_PARAMETER ? nullptr : _params[_currentParamIdx];
}

Parameter* GrainCloud::GetParameter(int idx)
{
    return idx >= 0 && idx < NUM_PARAMS ? _params[idx] : nullptr;
}

unsigned GrainCloud::CountSoundingGrains() const
{
    unsigned count = 0;
    for (const AudioSource* voice : _sources)
        count += voice->IsPlaying() ? 1 : 0;
    return count;
}

double GrainCloud::GetUIRadius()
{
    return _uiGrainCloud != nullptr ? _uiGrainCloud->GetRadius() : 0.0;
}

Source* GrainCloud::Clone()
{
    return new GrainCloud(this);
}

void GrainCloud::RegisterUI(UISource* ui)
{
    _uiGrainCloud = dynamic_cast<UIGrainCloud*>(ui);
    if (_uiGrainCloud != nullptr)
        _uiGrainCloud->SetDuration(_duration);
}

UISource* GrainCloud::GetUI()
{
    return _uiGrainCloud;
}

void GrainCloud::SetCurrentParamIndex(int idx)
{
    _currentParamIdx = (idx >= 0 && idx < NUM_PARAMS) ? ParamIndex(idx) : NO_PARAMETER;
}

void GrainCloud::SerializeClock(Serializer* serializer)
{
    serializer->PutBool(!_pendingVoices.empty());
    serializer->PutBool(_pendingRemovals > 0);
    serializer->PutLong((long)_localTime);
    serializer->PutDouble(_bangTime);
}

size_t GrainCloud::ClockRecordBytes() const
{
    return 2 * sizeof(int) + sizeof(long) + sizeof(double);
}

void GrainCloud::SerializeVoiceCount(Serializer* serializer)
{
    serializer->PutInt((int)GetNumGrains());
    serializer->PutDouble(_overlap);
    serializer->PutDouble(_overlapNorm);
}

size_t GrainCloud::VoiceCountRecordBytes() const
{
    return sizeof(int) + 2 * sizeof(double);
}
