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
// A loop that moves onto a sound mid-envelope fades that sound in over 5 ms
// instead of starting it at full level.
const unsigned ENTRY_FADE_FRAMES = 220;

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
    _isActive.assign(count, 0);
    _framesSinceEntry.assign(count, ENTRY_FADE_FRAMES);
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

void AudioSource::SetLoop(bool loop)
{
    _loop = loop;
    if (!loop)
        return;
    // A block may cover several cycles of a short window, more frames than
    // a short sound holds.
    for (size_t i = 0; i < _fetchBuffers.size(); i++) {
        const size_t channels = (size_t)std::max(_sampProviders[i]->GetNumChannels(), 2);
        _fetchBuffers[i].reserve(MAX_RESERVED_FETCH_FRAMES * channels);
        _segment.reserve(MAX_RESERVED_FETCH_FRAMES * channels);
    }
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
    // A new grain rises with its envelope.
    for (int p : _activeSampProviders) {
        RestartInWindow(p);
        _framesSinceEntry[p] = ENTRY_FADE_FRAMES;
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
        if (positions[i] == NOT_ON_PROVIDER) {
            _isActive[i] = 0;
            continue;
        }
        const bool entering = !_isActive[i];
        _isActive[i] = 1;
        _activeSampProviders.push_back((int)i);
        double frames = _sampProviders[i]->GetNumFrames();
        _startPositions[i] = std::floor(frames * positions[i] - 1.0);
        _endPositions[i] = std::min(_startPositions[i] + WindowFrames((int)i), frames);
        _paramY[i] = paramY[i];
        // A sounding loop that has just moved onto a sound starts that
        // sound's window afresh: its old read position and last frames
        // belong to another time.
        if (entering && _isPlaying) {
            RestartInWindow((int)i);
            _framesSinceEntry[i] = 0;
        }
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
        if (_loop)
            newCycle = FetchLoop(p, count) || newCycle;
        else
            Fetch(p, count);
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
        if (_loop)
            _positions[p] = WrapIntoWindow(p, _positions[p]);
    }
    return newCycle;
}

// A grain's window is what it reads: its envelope's length at its pitch and
// stretch. A loop's window is one duration of the sound, read over and over,
// in whole frames so that every cycle has the same length.
double AudioSource::WindowFrames(int p) const
{
    if (_loop)
        return std::floor(_durationSamps / _sampProviders[p]->GetNumChannels());
    return _durationSamps * std::fabs(_pitch) * _timeStretch;
}

// A grain reads straight on: forward from the read position, or backward up
// to it (the provider delivers that stretch reversed). Only the sound's own
// edges bound the read.
void AudioSource::Fetch(int p, int count)
{
    SamplesProvider* provider = _sampProviders[p];
    provider->SetParamY(_paramY[p]);
    provider->SetRange(_range);
    double pos = _positions[p];
    std::vector<float>* buf = &_fetchBuffers[p];
    // A provider that cannot serve a request leaves the buffer untouched:
    // emptied first, it can never replay the previous block's frames.
    buf->clear();
    if (_step > 0.0)
        provider->GetSamples(buf, pos, pos + count, _timeStretch, _direction, _pitch);
    else
        provider->GetSamples(buf, std::max((int)(pos - count), 0), pos, _timeStretch, _direction, _pitch);
}

// Fills the fetch buffer with count frames of the window from the read
// position on, starting the window over at the exact frame where it ends, as
// often as the block needs. A read position outside the window (the window
// moved away from it) starts the window over first. True when the window
// started over.
bool AudioSource::FetchLoop(int p, int count)
{
    SamplesProvider* provider = _sampProviders[p];
    provider->SetParamY(_paramY[p]);
    provider->SetRange(_range);
    _fetchBuffers[p].clear();
    const double start = _startPositions[p], end = _endPositions[p];
    // Not one whole frame to loop over: silence.
    if (end - start < 1.0)
        return false;
    const bool forward = _step > 0.0;
    double pos = _positions[p];
    bool newCycle = forward ? (pos < start || pos >= end) : (pos <= start || pos > end);
    if (newCycle) {
        RestartInWindow(p);
        pos = _positions[p];
    }
    for (int remaining = count; remaining > 0;) {
        int available = forward ? (int)(end - pos) : (int)(pos - start);
        if (available <= 0) {
            pos = forward ? start : end;
            newCycle = true;
            continue;
        }
        int frames = std::min(remaining, available);
        if (forward)
            FetchLoopSegment(p, pos, pos + frames);
        else
            FetchLoopSegment(p, pos - frames, pos);
        pos += forward ? frames : -frames;
        remaining -= frames;
    }
    // A block that ends on the window's edge completes a cycle too; the next
    // one starts the window over.
    return newCycle || (forward ? pos >= end : pos <= start);
}

// Appends the frames from ... to of provider p to its fetch buffer (reversed
// when reading backward), whole even where the provider delivers fewer.
void AudioSource::FetchLoopSegment(int p, double from, double to)
{
    SamplesProvider* provider = _sampProviders[p];
    _segment.clear();
    provider->GetSamples(&_segment, from, to, _timeStretch, _direction, _pitch);
    _segment.resize((size_t)(int)(to - from) * (size_t)provider->GetNumChannels(), 0.0f);
    _fetchBuffers[p].insert(_fetchBuffers[p].end(), _segment.begin(), _segment.end());
}

// Where a loop's read position lands after moving past its window's edge:
// as far into the window again, so the cycle keeps its length.
double AudioSource::WrapIntoWindow(int p, double pos) const
{
    const double start = _startPositions[p], length = _endPositions[p] - start;
    if (length < 1.0)
        return start;
    double offset = std::fmod(pos - start, length);
    if (offset < 0.0)
        offset += length;
    // Read backward, the position is the end of the next read: the window's
    // start itself stands for its end.
    if (_step <= 0.0 && offset == 0.0)
        offset = length;
    return start + offset;
}

// A forward read starts at the window's first frame, a backward one at its end.
void AudioSource::RestartInWindow(int p)
{
    _positions[p] = _direction > 0.0 ? _startPositions[p] : _endPositions[p];
    _prevSamps[0][p] = 0.0;
    _prevSamps[1][p] = 0.0;
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
    if (_framesSinceEntry[p] < ENTRY_FADE_FRAMES)
        env *= (double)_framesSinceEntry[p]++ / ENTRY_FADE_FRAMES;
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
    copy->SetLoop(_loop);
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
    copy->_isActive = _isActive;
    copy->_framesSinceEntry = _framesSinceEntry;
    return copy;
}
