#include "sound/LiveRing.h"

#include <algorithm>
#include <cmath>

#include "sound/EngineRate.h"
#include "spectral/WaveformEnvelope.h"

namespace {
// Between the oldest frame shown and the write point: room for the spectral
// analysis to lag, and for a grain at the oldest end to read backward.
const double MARGIN_SECONDS = 2.0;

// Frames first rounded to the nearest whole one: a length read back in
// seconds (a saved scene's) lies a rounding error beyond the frames it was
// made of, and would otherwise grow by a whole alignment at every reload.
long AlignUp(double frames, int alignment)
{
    return (long)std::ceil(std::round(frames) / alignment) * alignment;
}

float Clean(float x)
{
    if (!std::isfinite(x))
        return 0.0f;
    return std::clamp(x, -1.0f, 1.0f);
}
}  // namespace

LiveRing::LiveRing(int alignment)
    : _rate(EngineRate::Get()), _alignment(std::max(alignment, 1)),
      _capacity(AlignUp((MAX_SECONDS + MARGIN_SECONDS) * _rate, _alignment)), _length(0),
      _samples((size_t)(2 * _capacity * CHANNELS), 0.0f), _written(0), _writeFrame(0), _frozen(false), _resuming(false),
      _seamLength(0), _seamFramesLeft(0), _gain(1.0f), _peak(0.0f)
{
    SetLengthSeconds(DEFAULT_SECONDS);
}

void LiveRing::SetLengthSeconds(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = DEFAULT_SECONDS;
    _length = AlignUp(std::clamp(seconds, MIN_SECONDS, MAX_SECONDS) * _rate, _alignment);
}

double LiveRing::GetLengthSeconds() const
{
    return _length / _rate;
}

void LiveRing::SetFrozen(bool frozen)
{
    // The seam is made by the audio thread, the only writer of the frames.
    if (_frozen && !frozen)
        _resuming = true;
    _frozen = frozen;
}

void LiveRing::Write(const float* input, unsigned numFrames, unsigned numChannels)
{
    if (input == nullptr || numChannels == 0)
        return;
    if (_resuming && !_frozen) {
        // The new input overlaps the frozen sound's last frames; a ring that
        // was frozen almost at once has fewer of them.
        _seamLength = (int)std::min<int64_t>(SEAM_FRAMES, GetWritten());
        _seamFramesLeft = _seamLength;
        _resuming = false;
    }
    const float gain = _gain;
    float peak = 0.0f;
    unsigned stored = 0;
    for (unsigned i = 0; i < numFrames; i++) {
        const float* frame = input + (size_t)i * numChannels;
        const float left = Clean(frame[0] * gain);
        const float right = numChannels > 1 ? Clean(frame[1] * gain) : left;
        peak = std::max(peak, std::max(std::fabs(left), std::fabs(right)));
        if (_frozen)
            continue;
        if (_seamFramesLeft > 0) {
            MixIntoSeam(left, right);
            continue;
        }
        Store(left, right);
        stored++;
    }
    if (peak > _peak.load(std::memory_order_relaxed))
        _peak.store(peak, std::memory_order_relaxed);
    _written.fetch_add(stored, std::memory_order_release);
}

void LiveRing::MixIntoSeam(float left, float right)
{
    const long frame = RingFrame((int64_t)_writeFrame - _seamFramesLeft);
    // Neither end of the ramp is reached inside it, so the seam's first
    // frame already holds some of the new sound and its last some of the old.
    const float level = (float)(_seamLength - _seamFramesLeft + 1) / (float)(_seamLength + 1);
    const float in[CHANNELS] = {left, right};
    for (long copy : {frame, frame + _capacity}) {
        float* sample = &_samples[(size_t)(copy * CHANNELS)];
        for (int c = 0; c < CHANNELS; c++)
            sample[c] += level * (in[c] - sample[c]);
    }
    _seamFramesLeft--;
}

void LiveRing::Store(float left, float right)
{
    float* first = &_samples[(size_t)(_writeFrame * CHANNELS)];
    float* second = first + _capacity * CHANNELS;
    first[0] = second[0] = left;
    first[1] = second[1] = right;
    _writeFrame = _writeFrame + 1 == _capacity ? 0 : _writeFrame + 1;
}

long LiveRing::RingFrame(int64_t written) const
{
    const long frame = (long)(written % _capacity);
    return frame < 0 ? frame + _capacity : frame;
}

long LiveRing::OldestShownFrame(int64_t written) const
{
    return RingFrame(written - _length);
}

double LiveRing::FrameAt(double fraction) const
{
    const double offset = std::clamp(fraction, 0.0, 1.0) * _length;
    double frame = (double)OldestShownFrame(GetWritten()) + offset;
    if (frame >= _capacity)
        frame -= _capacity;
    // From the middle of the first copy to the middle of the second.
    return frame < 0.5 * _capacity ? frame + _capacity : frame;
}

void LiveRing::RefreshEnvelope(WaveformEnvelope* envelope, int64_t from, int64_t to) const
{
    // Beyond a capacity back, every frame has been written over since.
    for (int64_t w = std::max(from, to - _capacity); w < to;) {
        const long first = RingFrame(w);
        const long end = (long)std::min<int64_t>(first + (to - w), _capacity);
        envelope->Refresh(first, end);
        envelope->Refresh(first + _capacity, end + _capacity);
        w += end - first;
    }
}

float LiveRing::TakePeak()
{
    return _peak.exchange(0.0f, std::memory_order_relaxed);
}
