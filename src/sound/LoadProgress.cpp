#include "sound/LoadProgress.h"

#include <algorithm>

namespace {
// Reading and conditioning take about a fifth of a cold start.
const double READ_SHARE = 0.2;
}  // namespace

LoadProgress::LoadProgress()
    : _verb("Reading"), _index(0), _count(0), _readFraction(0.0), _workDone(0), _totalWork(0), _analysing(false),
      _finished(false), _cancelled(false)
{
}

void LoadProgress::SetReading(const std::string& name, int index, int count)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _verb = "Reading";
    _name = name;
    _index = index;
    _count = count;
    _readFraction = count > 0 ? (double)index / count : 0.0;
}

void LoadProgress::SetConverting(const std::string& name)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _verb = "Converting";
    _name = name;
}

void LoadProgress::StartAnalysis(long totalWork, int numSounds)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _verb = "Analysing";
    _count = numSounds;
    _readFraction = 1.0;
    _workDone = 0;
    _totalWork = totalWork;
    _analysing = true;
}

void LoadProgress::SetAnalysing(const std::string& name, int index)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _name = name;
    _index = index;
}

void LoadProgress::AddWork(long amount)
{
    _workDone += amount;
}

void LoadProgress::Finish()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _finished = true;
    }
    _finishedSignal.notify_all();
}

bool LoadProgress::WaitForFinish(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(_mutex);
    return _finishedSignal.wait_until(lock, deadline, [this]() { return _finished.load(); });
}

std::string LoadProgress::GetText() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_count == 0)
        return "Looking for sounds...";
    return _verb + " '" + _name + "' (" + std::to_string(_index + 1) + " of " + std::to_string(_count) + ")";
}

double LoadProgress::GetFraction() const
{
    if (_finished)
        return 1.0;
    if (!_analysing) {
        std::lock_guard<std::mutex> lock(_mutex);
        return READ_SHARE * _readFraction;
    }
    long total = _totalWork;
    double analysed = total > 0 ? std::min(1.0, (double)_workDone / total) : 1.0;
    return READ_SHARE + (1.0 - READ_SHARE) * analysed;
}
