#include "sources/AudioSource.h"

#include <algorithm>
#include <cmath>

#include "sound/EngineRate.h"
#include "sound/SamplesProvider.h"
#include "sources/Envelope.h"
#include "sources/SincKernels.h"
#include "sources/VoicePasses.h"

namespace {
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
// (220 frames at the reference rate) instead of starting it at full level.
const unsigned ENTRY_FADE_REFERENCE_FRAMES = 220;
unsigned EntryFadeFrames()
{
    return EngineRate::ScaledFrames(ENTRY_FADE_REFERENCE_FRAMES);
}

// A voice renders its blocks in stretches of at most this many frames, each
// as separate passes (envelope, each sound, output) over these arrays. One
// set per thread serves every voice the thread renders, without allocating.
const unsigned MAX_CHUNK_FRAMES = 1024;
struct ChunkScratch {
    float envelope[MAX_CHUNK_FRAMES];
    // The voice's sounds summed, stereo interleaved as the output.
    float mix[OUTPUT_CHANNELS * MAX_CHUNK_FRAMES];
};
thread_local ChunkScratch chunkScratch;

// Where a run of frames read at a whole-frame step adds its sound.
struct FrameRun {
    float gain;
    float frac;
    const float* envelope;
    float* mix;
};

// Adds frames frame, frame + step, ... each interpolated with the frame back
// from it at the run's fixed fraction. Inlined where it is called with
// constant steps, so those loops are vectorised.
inline __attribute__((always_inline)) void AddFrameRun(const FrameRun& run, const float* frame, long step, long back,
                                                       size_t frames)
{
    // The fraction weighs the frame, the rest the one back from it.
    const float frameWeight = run.gain * run.frac, backWeight = run.gain * (1.0f - run.frac);
    const float* envelope = run.envelope;
    float* mix = run.mix;
    for (size_t j = 0; j < frames; j++) {
        const float* f = frame + (long)j * step;
        mix[2 * j] += (f[0] * frameWeight + f[back] * backWeight) * envelope[j];
        mix[2 * j + 1] += (f[1] * frameWeight + f[back + 1] * backWeight) * envelope[j];
    }
}

// Adds frames read at a fractional step from pos on, each interpolated
// between the frame under its position (origin + whole part * stride) and
// the one before it. Positions are pos + j * increment, computed side by side.
void AddInterpolatedRun(const FrameRun& run, const float* origin, long stride, double pos, double increment,
                        size_t frames)
{
    const float gain = run.gain;
    const float* envelope = run.envelope;
    float* mix = run.mix;
    for (size_t j = 0; j < frames; j++) {
        // The position needs double precision on long sounds, its fraction does not.
        const double at = pos + (double)j * increment;
        const long whole = (long)at;
        const float frac = (float)(at - (double)whole);
        const float* f = origin + whole * stride;
        mix[2 * j] += gain * (f[0] * frac + f[-stride] * (1.0f - frac)) * envelope[j];
        mix[2 * j + 1] += gain * (f[1] * frac + f[1 - stride] * (1.0f - frac)) * envelope[j];
    }
}

// std::floor without the library call, exact for the frame positions a voice reaches.
double FastFloor(double x)
{
    const double whole = (double)(long long)x;
    return whole > x ? whole - 1.0 : whole;
}

}  // namespace

AudioSource::AudioSource(const std::vector<SamplesProvider*>& providers, Envelope* envelope, double durationMs,
                         double pitch, double timeStretch)
    : _loop(false), _isPlaying(false), _newParam(false), _durationMs(durationMs), _queuedDurationMs(durationMs),
      // Half of what UpdateParams computes: a voice that plays before its
      // first queue application (a loop source's first block) runs at this length.
      _durationSamps(std::ceil(durationMs * EngineRate::Get() * MS_TO_SECONDS)), _pitch(pitch), _queuedPitch(pitch),
      _timeStretch(timeStretch), _queuedTimeStretch(timeStretch),
      // Forward, as a new source's direction box says, until the source
      // gives the voice its mode's direction.
      _direction(1.0), _queuedDirection(_direction), _step(_direction * _pitch), _localAtten(1.0),
      _queuedLocalAtten(1.0), _chanMults{1.0f, 1.0f}, _queuedChanMults{1.0f, 1.0f}, _envelopeType(Envelope::HANNING),
      _queuedEnvelopeType(Envelope::HANNING), _envStep(ENVELOPE_LENGTH / _durationSamps), _envPos(0.0),
      _envelope(envelope), _envelopeTable(&envelope->GetEnvelope(Envelope::HANNING)), _range(DEFAULT_RANGE),
      _isClone(false)
{
    for (SamplesProvider* provider : providers)
        AddProvider(provider);
    SincKernels::Prepare();
}

void AudioSource::AddProvider(SamplesProvider* provider)
{
    _sampProviders.push_back(provider->Clone());
    _sampProviders.back()->PrepareToRead(_queuedTimeStretch);
    // Not under the grain sounding now: the next one may start on it.
    _reads.emplace_back();
    _reads.back().framesSinceEntry = EntryFadeFrames();
    ReserveFetchRoom((int)_sampProviders.size() - 1);
    _activeSampProviders.reserve(_sampProviders.size());
}

// The providers' GetSamples resize the buffer they are given. Rendering
// empties each buffer before a fetch, which keeps its capacity. Reserving
// room for a half block of 512 frames at sixteen times the speed (or the
// whole sound, if shorter) keeps fetching allocation-free up to the highest
// pitch with its LFO, bent up an octave; only notes far above that grow a
// buffer, once. A block of a loop may cover several cycles of a short
// window, more frames than a short sound holds.
void AudioSource::ReserveFetchRoom(int p)
{
    SamplesProvider* provider = _sampProviders[p];
    const size_t channels = (size_t)std::max(provider->GetNumChannels(), 2);
    const size_t soundFrames = size_t(std::max(provider->GetNumFrames(), 0));
    const size_t frames = _loop ? MAX_RESERVED_FETCH_FRAMES : std::min(soundFrames, MAX_RESERVED_FETCH_FRAMES);
    _reads[p].fetchBuffer.reserve(frames * channels);
    if (_loop)
        _segment.reserve(MAX_RESERVED_FETCH_FRAMES * channels);
}

AudioSource::~AudioSource()
{
    for (SamplesProvider* provider : _sampProviders)
        delete provider;
}

void AudioSource::SetLoop(bool loop)
{
    _loop = loop;
    for (int p = 0; p < (int)_reads.size(); p++)
        ReserveFetchRoom(p);
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

void AudioSource::SetVolumeAtOnce(double volume)
{
    SetVolume(volume);
    _localAtten = _queuedLocalAtten;
}

void AudioSource::UpdateParams()
{
    _localAtten = _queuedLocalAtten;
    _pitch = _queuedPitch;
    _timeStretch = _queuedTimeStretch;
    _durationMs = _queuedDurationMs;
    // Interleaved samples of the grain: the envelope runs for twice the
    // duration while the window spans the duration once.
    _durationSamps = std::ceil(_durationMs * EngineRate::Get() * MS_TO_SECONDS * OUTPUT_CHANNELS);
    _envStep = ENVELOPE_LENGTH / _durationSamps;
    _direction = _queuedDirection;
    _step = _pitch * _direction;
    _envelopeType = _queuedEnvelopeType;
    _envelopeTable = &_envelope->GetEnvelope(_envelopeType);
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
    const unsigned entryFade = EntryFadeFrames();
    for (int p : _activeSampProviders) {
        RestartInWindow(p);
        _reads[p].framesSinceEntry = entryFade;
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
            _reads[i].isActive = false;
            continue;
        }
        const bool entering = !_reads[i].isActive;
        _reads[i].isActive = true;
        _activeSampProviders.push_back((int)i);
        double frames = _sampProviders[i]->GetNumFrames();
        _reads[i].startPosition = std::floor(frames * positions[i] - 1.0);
        _reads[i].endPosition = std::min(_reads[i].startPosition + WindowFrames((int)i), frames);
        _reads[i].paramY = paramY[i];
        // A sounding loop that has just moved onto a sound starts that
        // sound's window afresh: its old read position and last frames
        // belong to another time.
        if (entering && _isPlaying) {
            RestartInWindow((int)i);
            _reads[i].framesSinceEntry = 0;
        }
    }
}

bool AudioSource::NextBuffer(std::vector<float>* out, unsigned numFrames, unsigned bufOffset)
{
    if (!_isPlaying || numFrames == 0)
        return false;
    const double n = numFrames;
    // Source frames per output frame, exactly: the read position carries its
    // fraction from block to block.
    const double spf = std::fabs(_step);

    bool newCycle = false;
    for (int p : _activeSampProviders) {
        _reads[p].blockStart = _reads[p].position;
        if (_loop)
            newCycle = FetchLoop(p, (int)std::ceil(n * spf)) || newCycle;
        else if (!ReadInPlace(p))
            Fetch(p, FetchFrames(p, n, spf));
        // A provider that transposes by itself delivers whole output frames
        // from where the block starts: there is nothing between them to read.
        if (_sampProviders[p]->InternalPitchShift())
            _reads[p].position = FastFloor(_reads[p].position);
    }

    for (unsigned done = 0; done < numFrames;) {
        const unsigned chunk = std::min(numFrames - done, MAX_CHUNK_FRAMES);
        // The grain ended within the chunk.
        if (RenderChunk(out, chunk, bufOffset + done, spf) < chunk)
            return newCycle;
        done += chunk;
    }

    // The fetch buffer always runs forward (a backward fetch arrives
    // reversed), so where the next block starts is set here, in the sound's
    // own direction, and stretched. The frame before it leads into the next
    // block's first one.
    for (int p : _activeSampProviders) {
        const BlockFrames& frames = _reads[p].frames;
        const double start = _reads[p].blockStart;
        const long next = (long)FastFloor(start - FastFloor(start) + n * ReadIncrement(p, spf));
        _reads[p].prevSamps[0] = frames.Sample(2 * (next - 1));
        _reads[p].prevSamps[1] = frames.Sample(2 * (next - 1) + 1);
        _reads[p].position = start + _step * n * _timeStretch;
        if (_loop)
            _reads[p].position = WrapIntoWindow(p, _reads[p].position);
    }
    return newCycle;
}

// Frames of the provider a block reads, one per output frame when the
// provider transposes by itself, and the one after the last for interpolating.
int AudioSource::FetchFrames(int p, double n, double spf) const
{
    if (_sampProviders[p]->InternalPitchShift())
        return (int)n;
    const double start = _reads[p].blockStart;
    return (int)std::ceil(start - FastFloor(start) + n * spf) + 1;
}

double AudioSource::ReadIncrement(int p, double spf) const
{
    return _sampProviders[p]->InternalPitchShift() ? 1.0 : spf;
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
    provider->SetParamY(_reads[p].paramY);
    provider->SetRange(_range);
    double pos = _reads[p].position;
    std::vector<float>* buf = &_reads[p].fetchBuffer;
    // A provider that cannot serve a request leaves the buffer untouched:
    // emptied first, it can never replay the previous block's frames.
    buf->clear();
    if (_step > 0.0)
        provider->GetSamples(buf, pos, pos + count, _timeStretch, _direction, _pitch);
    else
        provider->GetSamples(buf, std::max((int)(pos - count), 0), pos, _timeStretch, _direction, _pitch);
    UseFetchBuffer(p);
}

// A stereo sound served as stored is read where it lies instead of being
// copied, band-limited between its frames.
bool AudioSource::ReadInPlace(int p)
{
    SamplesProvider* provider = _sampProviders[p];
    const float* samples = nullptr;
    float gain = 1.0f;
    provider->SetParamY(_reads[p].paramY);
    if (provider->GetNumChannels() != OUTPUT_CHANNELS || !provider->GetStoredSamples(_timeStretch, &samples, &gain))
        return false;
    _reads[p].frames = BlockFrames{samples, 1, OUTPUT_CHANNELS * (long)provider->GetNumFrames(), gain, true};
    return true;
}

void AudioSource::UseFetchBuffer(int p)
{
    const std::vector<float>& buf = _reads[p].fetchBuffer;
    _reads[p].frames = BlockFrames{buf.data(), 1, (long)buf.size(), 1.0f, false};
}

// Fills the fetch buffer with count frames of the window from the read
// position on, starting the window over at the exact frame where it ends, as
// often as the block needs. A read position outside the window (the window
// moved away from it) starts the window over first. True when the window
// started over.
bool AudioSource::FetchLoop(int p, int count)
{
    SamplesProvider* provider = _sampProviders[p];
    provider->SetParamY(_reads[p].paramY);
    provider->SetRange(_range);
    _reads[p].fetchBuffer.clear();
    const double start = _reads[p].startPosition, end = _reads[p].endPosition;
    // Not one whole frame to loop over: silence.
    if (end - start < 1.0) {
        UseFetchBuffer(p);
        return false;
    }
    const bool forward = _step > 0.0;
    double pos = _reads[p].position;
    bool newCycle = forward ? (pos < start || pos >= end) : (pos <= start || pos > end);
    if (newCycle) {
        RestartInWindow(p);
        pos = _reads[p].position;
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
    UseFetchBuffer(p);
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
    _reads[p].fetchBuffer.insert(_reads[p].fetchBuffer.end(), _segment.begin(), _segment.end());
}

// Where a loop's read position lands after moving past its window's edge:
// as far into the window again, so the cycle keeps its length.
double AudioSource::WrapIntoWindow(int p, double pos) const
{
    const double start = _reads[p].startPosition, length = _reads[p].endPosition - start;
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
    _reads[p].position = _direction > 0.0 ? _reads[p].startPosition : _reads[p].endPosition;
    _reads[p].prevSamps[0] = 0.0;
    _reads[p].prevSamps[1] = 0.0;
}

// Renders up to frames frames from offset on; returns how many sounded
// before the grain ended.
unsigned AudioSource::RenderChunk(std::vector<float>* out, unsigned frames, unsigned offset, double spf)
{
    ChunkScratch& scratch = chunkScratch;
    const unsigned sounding = FillEnvelope(scratch.envelope, frames);
    // A grain off every sound keeps its length in silence: nothing to add.
    if (_activeSampProviders.empty())
        return sounding;
    std::fill_n(scratch.mix, OUTPUT_CHANNELS * sounding, 0.0f);
    for (int p : _activeSampProviders) {
        if (_reads[p].frames.stored)
            AddStoredFrames(p, spf, scratch.envelope, sounding, scratch.mix);
        else
            AddProviderFrames(p, ReadIncrement(p, spf), scratch.envelope, sounding, scratch.mix);
    }
    if (out != nullptr)
        WriteFrames(out, offset, scratch.mix, sounding);
    return sounding;
}

// The envelope level of each frame, until the walk passes the table's last
// entry (a loop starts it over instead). Returns the frames filled.
unsigned AudioSource::FillEnvelope(float* envelope, unsigned frames)
{
    const double step = _envStep;
    double pos = _envPos;
    for (unsigned i = 0; i < frames;) {
        if (_loop && pos > LAST_ENVELOPE_ENTRY)
            pos -= LAST_ENVELOPE_ENTRY;
        if (pos > LAST_ENVELOPE_ENTRY) {
            _envPos = 0.0;
            _isPlaying = false;
            return i;
        }
        // The frames before the walk can reach the last entry need no check;
        // the one that may reach it is checked on its own.
        const double safe = std::floor((LAST_ENVELOPE_ENTRY - pos) / step);
        const unsigned run = safe >= 1.0 ? (unsigned)std::min(safe, (double)(frames - i)) : 1u;
        FillEnvelopeRun(envelope + i, pos, run);
        pos += run * step;
        i += run;
    }
    _envPos = pos;
    return frames;
}

// run levels from the table position pos on.
void AudioSource::FillEnvelopeRun(float* envelope, double pos, unsigned run) const
{
    // Between the last entry and the end of the walk the last entry stands in
    // for the one after it: the shape holds its final level instead of
    // dropping to an edge within one step.
    VoicePasses::FillLevels(_envelopeTable->data(), _envelopeTable->size(), pos, _envStep, envelope, run);
}

// Linear interpolation between the frame under the read position and the one
// before it (the previous block's last frame at a block start, 0 at a grain
// start), weighted by the fractional part of the position, added
// into the mix. The voice's per-sound state lives in locals for the loop.
void AudioSource::AddProviderFrames(int p, double increment, const float* envelope, unsigned frames, float* mix)
{
    const BlockFrames block = _reads[p].frames;
    // The fetch starts at the whole frame under the block's first position.
    const double blockStart = FastFloor(_reads[p].blockStart);
    // A short delivery (the end of the sound) holds a frame near its end.
    const long lastFrame = block.size / 2 - 2;
    double pos = _reads[p].position;
    double prevLeft = _reads[p].prevSamps[0], prevRight = _reads[p].prevSamps[1];
    unsigned sinceEntry = _reads[p].framesSinceEntry;
    const unsigned entryFade = EntryFadeFrames();
    // Frame k of the block, k - 1 and the held frame all lie within a whole
    // stereo delivery of two frames or more, and a whole-frame step keeps the
    // fraction: runs of such frames are read without bounds checks or
    // position arithmetic.
    const bool wholeFrames = block.size >= 4 && block.size % 2 == 0;
    const long wholeStep = increment >= 1.0 && increment == FastFloor(increment) ? (long)increment : 0;
    const float* first = block.first;
    const long stride = OUTPUT_CHANNELS * block.direction;
    const float gain = block.gain;
    for (unsigned i = 0; i < frames;) {
        const double whole = FastFloor(pos);
        long k = (long)(whole - blockStart);
        if (2 * k >= block.size)
            k = lastFrame;
        const double frac = pos - whole;
        if (wholeStep > 0 && wholeFrames && sinceEntry >= entryFade && k > 0 && 2 * k < block.size) {
            // Frames k, k + step, ... up to the block's last frame.
            const unsigned run = std::min<unsigned>(frames - i, (unsigned)((block.size / 2 - 1 - k) / wholeStep + 1));
            const float* frame = first + k * stride;
            const long step = wholeStep * stride;
            const FrameRun frameRun{gain, (float)frac, envelope + i, mix + OUTPUT_CHANNELS * i};
            // Reading one frame on, forward or backward, is most of what voices do.
            if (step == OUTPUT_CHANNELS)
                AddFrameRun(frameRun, frame, OUTPUT_CHANNELS, -OUTPUT_CHANNELS, run);
            else if (step == -OUTPUT_CHANNELS)
                AddFrameRun(frameRun, frame, -OUTPUT_CHANNELS, OUTPUT_CHANNELS, run);
            else
                AddFrameRun(frameRun, frame, step, -stride, run);
            const float* last = frame + (long)(run - 1) * step - stride;
            prevLeft = last[0] * gain;
            prevRight = last[1] * gain;
            pos += run * increment;
            i += run;
            continue;
        }
        // Between whole frames: once past the block's first frame, the frame
        // under the read position is its whole part less a fixed offset.
        const long maxFrame = block.size / 2 - 1;
        const unsigned run =
            wholeStep == 0 && wholeFrames && sinceEntry >= entryFade && k > 0 && k <= maxFrame && increment > 0.0
                ? (unsigned)std::min((double)(frames - i), (maxFrame - k) / increment)
                : 0u;
        if (run > 0) {
            const long offset = (long)whole - k;
            const FrameRun frameRun{gain, 0.0f, envelope + i, mix + OUTPUT_CHANNELS * i};
            AddInterpolatedRun(frameRun, first - offset * stride, stride, pos, increment, run);
            const long lastK = (long)(pos + (run - 1) * increment) - offset;
            const float* last = first + (lastK - 1) * stride;
            prevLeft = last[0] * gain;
            prevRight = last[1] * gain;
            pos += run * increment;
            i += run;
            continue;
        }
        if (k > 0) {
            prevLeft = block.Sample(2 * (k - 1));
            prevRight = block.Sample(2 * (k - 1) + 1);
        }
        double env = envelope[i];
        if (sinceEntry < entryFade)
            env *= (double)sinceEntry++ / entryFade;
        mix[2 * i] += (block.Sample(2 * k) * frac + prevLeft * (1.0 - frac)) * env;
        mix[2 * i + 1] += (block.Sample(2 * k + 1) * frac + prevRight * (1.0 - frac)) * env;
        pos += increment;
        i++;
    }
    _reads[p].position = pos;
    _reads[p].prevSamps[0] = prevLeft;
    _reads[p].prevSamps[1] = prevRight;
    _reads[p].framesSinceEntry = sinceEntry;
}

// Reads the stored sound itself: at its own rate from whole frames as they
// are, between frames through the band-limiting kernel of the rate. The
// position runs forward through the block as through a fetch buffer; the
// frame heard is the one before it, read backward from the block's start
// when the grain runs backward.
void AudioSource::AddStoredFrames(int p, double increment, const float* envelope, unsigned frames, float* mix)
{
    const BlockFrames& block = _reads[p].frames;
    const double start = _reads[p].blockStart, offset = _reads[p].position - start;
    const bool forward = _direction > 0.0;
    const double y0 = forward ? start - 1.0 + offset : start - offset;
    const double dy = forward ? increment : -increment;
    const long soundFrames = block.size / OUTPUT_CHANNELS;
    float faded[MAX_CHUNK_FRAMES];
    const float* levels = EnteringLevels(p, envelope, frames, faded);
    if (increment == 1.0 && y0 == FastFloor(y0))
        VoicePasses::AddFrames(block.first, soundFrames, (long)y0, forward ? 1 : -1, block.gain, levels, mix, frames);
    else
        SincKernels::AddRun(SincKernels::ForRate(increment), block.first, soundFrames, y0, dy, levels, block.gain, mix,
                            frames);
    _reads[p].position += frames * increment;
}

// The envelope, faded in over the first frames of a sound a loop has just
// moved onto (copied into faded then).
const float* AudioSource::EnteringLevels(int p, const float* envelope, unsigned frames, float* faded)
{
    unsigned sinceEntry = _reads[p].framesSinceEntry;
    const unsigned entryFade = EntryFadeFrames();
    if (sinceEntry >= entryFade)
        return envelope;
    std::copy_n(envelope, frames, faded);
    for (unsigned i = 0; i < frames && sinceEntry < entryFade; i++)
        faded[i] *= (float)sinceEntry++ / entryFade;
    _reads[p].framesSinceEntry = sinceEntry;
    return faded;
}

void AudioSource::WriteFrames(std::vector<float>* out, unsigned offset, const float* mix, unsigned frames) const
{
    // One gain per channel, in single precision like the samples.
    const float leftGain = (float)(_localAtten * _chanMults[0]), rightGain = (float)(_localAtten * _chanMults[1]);
    VoicePasses::MixInto(out->data() + OUTPUT_CHANNELS * offset, mix, leftGain, rightGain, frames);
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
    copy->_envelopeTable = _envelopeTable;
    copy->_range = _range;
    for (size_t p = 0; p < _reads.size(); p++)
        copy->_reads[p].ContinueGrain(_reads[p]);
    return copy;
}
