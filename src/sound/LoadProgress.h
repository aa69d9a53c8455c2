#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

// How far the start-up has come, as the title screen shows it: the sound
// being read or analysed, how many of how many, and the share of the work
// done. Written by the loading threads, read by the drawing thread; it also
// carries the request to give up, which the loading threads check often.
class LoadProgress {
public:
    LoadProgress();
    virtual ~LoadProgress() {}

    // Reading sound index (from 0) of count.
    void SetReading(const std::string& name, int index, int count);
    // Converting the sound being read to the engine's rate.
    void SetConverting(const std::string& name);
    // Analysing: totalWork units (frames of analysed channels) in all.
    void StartAnalysis(long totalWork, int numSounds);
    void SetAnalysing(const std::string& name, int index);
    void AddWork(long amount);
    void Finish();

    // "Reading 'a.wav' (2 of 5)" and the part of the bar to fill, 0 ... 1.
    std::string GetText() const;
    double GetFraction() const;
    bool IsFinished() const { return _finished; }
    // Waits until Finish or the deadline, whichever comes first; true when finished.
    bool WaitForFinish(std::chrono::steady_clock::time_point deadline);

    void Cancel() { _cancelled = true; }
    bool IsCancelled() const { return _cancelled; }

private:
    mutable std::mutex _mutex;
    std::string _verb;
    std::string _name;
    int _index;
    int _count;
    // Reading counts for the first part of the bar, the analysis for the rest.
    double _readFraction;
    std::atomic<long> _workDone;
    std::atomic<long> _totalWork;
    std::atomic<bool> _analysing;
    std::atomic<bool> _finished;
    std::atomic<bool> _cancelled;
    std::condition_variable _finishedSignal;
};
