#pragma once

#include <atomic>

// The shared audio clock: seconds of audio produced so far. Only the audio
// callback advances it, so everything scheduled or animated by it stands
// still while no audio runs. Views read it on the drawing thread while the
// audio thread advances it, hence the atomic.
class Time {
public:
    virtual ~Time() {}
    static Time* Instance();
    double GetSeconds() const { return _sec.load(std::memory_order_relaxed); }
    void AddSeconds(double sec) { _sec.store(GetSeconds() + sec, std::memory_order_relaxed); }

private:
    Time() : _sec(0.0) {}
    std::atomic<double> _sec;
};
