#include "sources/SingleGrain.h"

#include <algorithm>
#include <cmath>

#include "session/Serializer.h"

#include "sources/AudioSource.h"

namespace {
const double FRAMES_PER_MS = 44.1;
}  // namespace

SingleGrain::SingleGrain(App* app, const std::vector<SamplesProvider*>& rects)
    : SingleVoiceSource(app, rects, SINGLE_GRAIN, false), _localTime(0), _bangTime(GetDurationMs() * FRAMES_PER_MS)
{
}

SingleGrain::SingleGrain(const SingleGrain* origin)
    : SingleVoiceSource(origin), _localTime(origin->_localTime), _bangTime(origin->_bangTime)
{
}

void SingleGrain::DurationChanged()
{
    SingleVoiceSource::DurationChanged();
    _bangTime = GetDurationMs() * FRAMES_PER_MS;
}

Source* SingleGrain::Clone()
{
    return new SingleGrain(this);
}

void SingleGrain::NextBuffer(std::vector<float>* accumBuff, unsigned numFrames)
{
    if (IsMuted())
        return;
    // Queued for the next grain: the sounding one keeps its pitch.
    _source->SetPitch(VoicePitch(GetPitch()));
    // A trigger comes at the frame the interval falls on, whatever the
    // block length; the clock keeps the fraction of a frame.
    const double interval = std::max(_bangTime, 1.0);
    unsigned at = 0;
    while (true) {
        const double wait = std::max(std::ceil(interval - _localTime), 0.0);
        if (wait >= (double)(numFrames - at))
            break;
        _source->NextBuffer(accumBuff, (unsigned)wait, at);
        at += (unsigned)wait;
        _localTime = std::max(_localTime + wait - interval, 0.0);
        Trigger();
    }
    _source->NextBuffer(accumBuff, numFrames - at, at);
    _localTime += numFrames - at;
}

void SingleGrain::Trigger()
{
    AimAtView();
    QueueSettings();
    // Every grain draws its own direction in RANDOM_DIR mode.
    _source->SetDirection(GrainModes::Direction(GetDirection(), &_random));
    QueueLFOPitch();
    // The gains always mark the queue, so a grain that starts takes all of
    // the above; a grain still sounding ignores the trigger.
    _source->SetChannelMultipliers(_spatializer.Next(_spatialMode));
    _source->Play(_playPositions.data(), _playVols.data());
}

void SingleGrain::SerializeClock(Serializer* serializer)
{
    serializer->PutLong((long)_localTime);
    serializer->PutDouble(_bangTime);
}

size_t SingleGrain::ClockRecordBytes() const
{
    return sizeof(long) + sizeof(double);
}
