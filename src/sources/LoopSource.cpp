#include "sources/LoopSource.h"

#include "sources/AudioSource.h"

LoopSource::LoopSource(App* app, const std::vector<SamplesProvider*>& rects)
    : SingleVoiceSource(app, rects, LOOP_SOURCE, true)
{
}

LoopSource::LoopSource(const LoopSource* origin) : SingleVoiceSource(origin)
{
}

Source* LoopSource::Clone()
{
    return new LoopSource(this);
}

void LoopSource::NextBuffer(std::vector<float>* accumBuff, unsigned numFrames)
{
    // A muted loop keeps its place and resumes from it.
    if (IsMuted())
        return;
    AimAtView();
    // Starts the loop the first time; afterwards it only re-aims the window
    // (and applies what the previous block queued).
    _source->Play(_playPositions.data(), _playVols.data());
    _source->Update(_playPositions.data(), _playVols.data());
    QueueSettings();
    QueueLFOPitch();
    _source->SetChannelMultipliers(_spatializer.GetChannelMults());
    if (_source->NextBuffer(accumBuff, numFrames, 0)) {
        _spatializer.Next(_spatialMode);
        SetDirection(GetDirection());
    }
}
