#include "sources/AudioSource.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sound/SamplesProvider.h"
#include "sources/Envelope.h"

namespace {
const double SAMPLE_RATE = 44100.0;
const double MS_TO_SECONDS = 0.001;
const int OUTPUT_CHANNELS = 2;
const size_t MAX_RESERVED_FETCH_FRAMES = 8192;
const double NOT_ON_PROVIDER = -1.0;
const double DEFAULT_RANGE = 10.0;
// The envelope walk runs over 2048 entries whatever the grain length, and a
// grain ends once the position passes the last of them.
const double ENVELOPE_LENGTH = 2048.0;
const double LAST_ENVELOPE_ENTRY = 2047.0;

double RandomDirection()
{
    return (float)rand() / 2147483648.0 < 0.5 ? 1.0 : -1.0;
}

// Frames outside what the provider delivered (nothing at all for a window
// starting before the sound) sound as silence.
float SampleOrSilence(const std::vector<float>& buf, long idx)
{
    return idx >= 0 && idx < (long)buf.size() ? buf[idx] : 0.0f;
}

float ClampToUnit(float x)
{
    return std::clamp(x, -1.0f, 1.0f);
}
}  // namespace

AudioSource::AudioSource(const std::vector<SamplesProvider*>& providers, Envelope* envelope, double durationMs,
                         double pitch, double timeStretch)
    : _loop(false), _isPlaying(false), _newParam(false), _durationMs(durationMs), _queuedDurationMs(durationMs),
      // Half of what UpdateParams computes: a voice that plays before its
      // first queue application (a loop source's first block) runs at this length.
      _durationSamps(std::ceil(durationMs * SAMPLE_RATE * MS_TO_SECONDS)), _pitch(pitch), _queuedPitch(pitch),
      _timeStretch(timeStretch), _queuedTimeStretch(timeStretch), _direction(RandomDirection()),
      _queuedDirection(_direction), _step(_direction * _pitch), _localAtten(1.0), _queuedLocalAtten(1.0),
      _chanMults(OUTPUT_CHANNELS, 1.0f), _queuedChanMults(OUTPUT_CHANNELS, 1.0f), _envelopeType(Envelope::HANNING),
      _queuedEnvelopeType(Envelope::HANNING), _envStep(ENVELOPE_LENGTH / _durationSamps), _envPos(0.0),
      _envelope(envelope), _envelopeSamples(envelope->GetEnvelope(Envelope::HANNING)), _range(DEFAULT_RANGE),
      _isClone(false)
{
    for (SamplesProvider* provider : providers)
        _sampProviders.push_back(provider->Clone());
    size_t count = providers.size();
    _paramY.assign(count, 0.0);
    _positions.assign(count, 0.0);
    _startPositions.assign(count, 0.0);
    _endPositions.assign(count, 0.0);
    _prevSamps[0].assign(count, 0.0);
    _prevSamps[1].assign(count, 0.0);
    _blockStarts.assign(count, 0.0);
    // The providers' GetSamples resize the buffer they are given. Rendering
    // empties each buffer before a fetch, which keeps its capacity. Reserving
    // room for a half block of 512 frames at sixteen times the speed (or the
    // whole sound, if shorter) keeps fetching allocation-free up to the
    // highest pitch with its LFO, bent up an octave; only notes far above
    // that grow a buffer, once.
    _fetchBuffers.resize(count);
    for (size_t i = 0; i < count; i++) {
        SamplesProvider* provider = _sampProviders[i];
        size_t frames = std::min<size_t>(size_t(std::max(provider->GetNumFrames(), 0)), MAX_RESERVED_FETCH_FRAMES);
        _fetchBuffers[i].reserve(frames * size_t(std::max(provider->GetNumChannels(), 2)));
    }
    _activeSampProviders.reserve(count);
}

AudioSource::~AudioSource()
{
    for (SamplesProvider* provider : _sampProviders)
        delete provider;
}

void AudioSource::SetDurationMs(double durationMs)
{
    _queuedDurationMs = std::fabs(durationMs);
    if (_queuedDurationMs != _durationMs)
        _newParam = true;
}

void AudioSource::SetPitch(double pitch)
{
    _queuedPitch = pitch;
    if (pitch != _pitch)
        _newParam = true;
}

void AudioSource::SetTimeStretch(double timeStretch)
{
    _queuedTimeStretch = timeStretch;
    if (timeStretch != _timeStretch)
        _newParam = true;
}

void AudioSource::SetDirection(double direction)
{
    _queuedDirection = direction;
    if (direction != _direction)
        _newParam = true;
}

void AudioSource::SetEnvelopeType(unsigned type)
{
    _queuedEnvelopeType = type;
    if (type != _envelopeType)
        _newParam = true;
}

void AudioSource::SetChannelMultipliers(const std::vector<float>& mults)
{
    _queuedChanMults[0] = mults[0];
    _queuedChanMults[1] = mults[1];
    _newParam = true;
}

void AudioSource::SetVolume(double volume)
{
    _queuedLocalAtten = std::fabs(volume);
}

void AudioSource::UpdateParams()
{
    _localAtten = _queuedLocalAtten;
    _pitch = _queuedPitch;
    _timeStretch = _queuedTimeStretch;
    _durationMs = _queuedDurationMs;
    // Interleaved samples of the grain: the envelope runs for twice the
    // duration while the window spans the duration once.
    _durationSamps = std::ceil(_durationMs * SAMPLE_RATE * MS_TO_SECONDS * OUTPUT_CHANNELS);
    _envStep = ENVELOPE_LENGTH / _durationSamps;
    _direction = _queuedDirection;
    _step = _pitch * _direction;
    _envelopeType = _queuedEnvelopeType;
    // Same size every time, so the copy reuses the storage.
    _envelopeSamples = _envelope->GetEnvelope(_envelopeType);
    _chanMults = _queuedChanMults;
    _newParam = false;
}

bool AudioSource::Play(const double* positions, const double* paramY)
{
    if (_isPlaying)
        return false;
    _isPlaying = true;
    if (_newParam)
        UpdateParams();
    AimWindows(positions, paramY);
    for (int p : _activeSampProviders) {
        _positions[p] = _direction > 0.0 ? _startPositions[p] : _endPositions[p];
        _prevSamps[0][p] = 0.0;
        _prevSamps[1][p] = 0.0;
    }
    _envPos = 0.0;
    return true;
}

void AudioSource::Update(const double* positions, const double* paramY)
{
    if (_newParam)
        UpdateParams();
    AimWindows(positions, paramY);
}

void AudioSource::AimWindows(const double* positions, const double* paramY)
{
    _activeSampProviders.clear();
    for (size_t i = 0; i < _sampProviders.size(); i++) {
        if (positions[i] == NOT_ON_PROVIDER)
            continue;
        _activeSampProviders.push_back((int)i);
        double frames = _sampProviders[i]->GetNumFrames();
        _startPositions[i] = std::floor(frames * positions[i] - 1.0);
        double windowFrames = _durationSamps / _sampProviders[i]->GetNumChannels();
        _endPositions[i] = std::min(_startPositions[i] + windowFrames, frames);
        _paramY[i] = paramY[i];
    }
}

bool AudioSource::NextBuffer(std::vector<float>* out, unsigned numFrames, unsigned bufOffset)
{
    // An empty block has no read rate to quantise and moves nothing.
    if (!_isPlaying || numFrames == 0)
        return false;
    double n = numFrames;
    // Source frames per output frame, quantised so that a block reads a whole
    // number of frames.
    double spf = (double)(int)(n * std::fabs(_step)) / n;
    int count = (int)(n * spf);

    bool newCycle = false;
    for (int p : _activeSampProviders) {
        if (Fetch(p, count)) {
            newCycle = true;
            RewindWindow(p, n * spf);
            Fetch(p, count);
        }
        _blockStarts[p] = _positions[p];
    }

    for (unsigned i = 0; i < numFrames; i++) {
        double env = 0.0;
        if (!NextEnvelopeValue(&env))
            return newCycle;
        float left = 0.0f, right = 0.0f;
        for (int p : _activeSampProviders) {
            AddProviderFrame(p, env, &left, &right);
            _positions[p] += _sampProviders[p]->InternalPitchShift() ? spf / _pitch : spf;
        }
        if (out != nullptr)
            WriteFrame(out, bufOffset + i, left, right);
    }

    // The last fetched frame leads into the next block's first one. The
    // fetch buffer always runs forward (a backward fetch arrives reversed), so
    // where the next block starts is set here, in the sound's own direction,
    // and stretched.
    for (int p : _activeSampProviders) {
        const std::vector<float>& buf = _fetchBuffers[p];
        long size = (long)buf.size();
        _prevSamps[0][p] = SampleOrSilence(buf, size - 2);
        _prevSamps[1][p] = SampleOrSilence(buf, size - 1);
        _positions[p] = _blockStarts[p] + _step * n * _timeStretch;
    }
    return newCycle;
}

bool AudioSource::Fetch(int p, int count)
{
    SamplesProvider* provider = _sampProviders[p];
    provider->SetParamY(_paramY[p]);
    provider->SetRange(_range);
    double blockMin = provider->GetBlockMinSamples();
    double pos = _positions[p];
    double start = _startPositions[p];
    std::vector<float>* buf = &_fetchBuffers[p];
    // A provider that cannot serve a request leaves the buffer untouched:
    // emptied first, it can never replay the previous block's frames.
    buf->clear();
    if (_step > 0.0) {
        provider->GetSamples(buf, pos, pos + count, _timeStretch, _direction, _pitch);
        return _endPositions[p] <= blockMin + count + pos;
    }
    int first = (int)(pos - count);
    int from = first < start ? (int)start : first;
    provider->GetSamples(buf, from, pos, _timeStretch, _direction, _pitch);
    return first < start;
}

// A forward grain starts its window over; a backward one jumps back to one
// block (and the provider's look-ahead) before the window's end.
void AudioSource::RewindWindow(int p, double blockFrames)
{
    if (_direction > 0.0)
        _positions[p] = _startPositions[p];
    else if (_direction < 0.0)
        _positions[p] = _endPositions[p] - blockFrames - 1.0 - _sampProviders[p]->GetBlockMinSamples();
}

bool AudioSource::NextEnvelopeValue(double* value)
{
    if (_loop && _envPos > LAST_ENVELOPE_ENTRY)
        _envPos -= LAST_ENVELOPE_ENTRY;
    if (_envPos > LAST_ENVELOPE_ENTRY) {
        _envPos = 0.0;
        _isPlaying = false;
        return false;
    }
    // Between the last entry and the end of the walk the last entry stands in
    // for the one after it: the shape holds its final level instead of
    // dropping to an edge within one step.
    size_t last = _envelopeSamples.size() - 1;
    size_t a = std::min((size_t)std::floor(_envPos), last);
    double frac = _envPos - std::floor(_envPos);
    *value = _envelopeSamples[a] * (1.0 - frac) + _envelopeSamples[std::min(a + 1, last)] * frac;
    _envPos += _envStep;
    return true;
}

// Linear interpolation between the fetched frame under the read position and
// the one before it (the previous block's last frame at a block start, 0 at a
// grain start), weighted by the fractional part of the position.
void AudioSource::AddProviderFrame(int p, double env, float* left, float* right)
{
    const std::vector<float>& buf = _fetchBuffers[p];
    long size = (long)buf.size();
    double pos = _positions[p];
    long k = (long)(std::floor(pos) - _blockStarts[p]);
    // A short delivery (the end of the sound) holds a frame near its end.
    if (2 * k >= size)
        k = size / 2 - 2;
    if (k > 0) {
        _prevSamps[0][p] = SampleOrSilence(buf, 2 * (k - 1));
        _prevSamps[1][p] = SampleOrSilence(buf, 2 * (k - 1) + 1);
    }
    double frac = pos - std::floor(pos);
    *left += (SampleOrSilence(buf, 2 * k) * frac + _prevSamps[0][p] * (1.0 - frac)) * env;
    *right += (SampleOrSilence(buf, 2 * k + 1) * frac + _prevSamps[1][p] * (1.0 - frac)) * env;
}

void AudioSource::WriteFrame(std::vector<float>* out, unsigned frame, float left, float right) const
{
    float* dest = out->data() + OUTPUT_CHANNELS * frame;
    dest[0] = ClampToUnit(dest[0] + _localAtten * (left * _chanMults[0]));
    dest[1] = ClampToUnit(dest[1] + _localAtten * (right * _chanMults[1]));
}

AudioSource* AudioSource::Clone()
{
    AudioSource* copy = new AudioSource(_sampProviders, _envelope, _durationMs, _pitch, _timeStretch);
    copy->_isClone = true;
    copy->_loop = _loop;
    copy->_isPlaying = _isPlaying;
    copy->_newParam = _newParam;
    copy->_queuedDurationMs = _queuedDurationMs;
    copy->_durationSamps = _durationSamps;
    copy->_queuedPitch = _queuedPitch;
    copy->_queuedTimeStretch = _queuedTimeStretch;
    copy->_direction = _direction;
    copy->_queuedDirection = _queuedDirection;
    copy->_step = _step;
    copy->_localAtten = _localAtten;
    copy->_queuedLocalAtten = _queuedLocalAtten;
    copy->_chanMults = _chanMults;
    copy->_queuedChanMults = _queuedChanMults;
    copy->_activeSampProviders = _activeSampProviders;
    copy->_envelopeType = _envelopeType;
    copy->_queuedEnvelopeType = _queuedEnvelopeType;
    copy->_envStep = _envStep;
    copy->_envPos = _envPos;
    copy->_envelopeSamples = _envelopeSamples;
    copy->_paramY = _paramY;
    copy->_range = _range;
    copy->_positions = _positions;
    copy->_startPositions = _startPositions;
    copy->_endPositions = _endPositions;
    copy->_prevSamps[0] = _prevSamps[0];
    copy->_prevSamps[1] = _prevSamps[1];
    return copy;
}
