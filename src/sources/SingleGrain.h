#pragma once

#include <cstdint>
#include <vector>

#include "sources/SingleVoiceSource.h"

// One grain voice repeating one grain at the centre of its view: a trigger
// every grain duration, at the frame it falls on. A trigger that finds the
// grain still sounding only moves the settings and the spatialisation on,
// so a grain starts at every second trigger; each grain keeps every setting,
// its LFO pitch included, from its start to its end.
class SingleGrain : public SingleVoiceSource {
public:
    SingleGrain(App* app, const std::vector<SamplesProvider*>& rects);

    // Trigger interval in frames.
    double GetBangTime() const { return _bangTime; }
    // Frames since the last trigger, with the fraction the interval leaves.
    double GetLocalTime() const { return _localTime; }

    Source* Clone() override;
    void NextBuffer(std::vector<float>* accumBuff, unsigned numFrames) override;

protected:
    // The local clock and the trigger interval.
    void SerializeClock(Serializer* serializer) override;
    size_t ClockRecordBytes() const override;

private:
    explicit SingleGrain(const SingleGrain* origin);

    void DurationChanged() override;
    void Trigger();

    double _localTime;
    double _bangTime;
};
