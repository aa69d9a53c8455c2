#pragma once

// The shared audio clock: seconds of audio produced so far. Only the audio
// callback advances it, so everything scheduled or animated by it stands
// still while no audio runs.
class Time {
public:
    virtual ~Time() {}
    static Time* Instance();
    double GetSeconds() const { return _sec; }
    void AddSeconds(double sec) { _sec += sec; }

private:
    Time() : _sec(0.0) {}
    double _sec;
};
