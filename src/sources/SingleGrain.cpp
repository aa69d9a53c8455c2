#include "sources/SingleGrain.h"

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
    RenderInHalves(numFrames, [&](unsigned frames, unsigned offset) { RenderSubBlock(accumBuff, frames, offset); });
}

void SingleGrain::RenderSubBlock(std::vector<float>* accumBuff, unsigned numFrames, unsigned offset)
{
    if (numFrames == 0)
        return;
    if (_bangTime < _localTime)
        Trigger();
    _localTime += numFrames;
    // Queued for the next grain: the sounding one keeps its pitch.
    _source->SetPitch(VoicePitch(GetPitch()));
    _source->NextBuffer(accumBuff, numFrames, offset);
}

void SingleGrain::Trigger()
{
    _localTime = 0;
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
