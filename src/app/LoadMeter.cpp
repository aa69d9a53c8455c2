#include "app/LoadMeter.h"

#include <algorithm>
#include <cstdio>

#include "sound/EngineRate.h"

namespace {
const double PERCENT = 100.0;
}  // namespace

LoadMeter::LoadMeter() : _current(0.0), _overBudget(0), _blocks(0), _frames(0), _slot(NO_SLOT)
{
    for (std::atomic<double>& peak : _slotPeaks)
        peak.store(0.0);
}

void LoadMeter::Start()
{
    _start = std::chrono::steady_clock::now();
}

void LoadMeter::Stop(unsigned frames)
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - _start;
    Record(elapsed.count(), frames);
}

void LoadMeter::Record(double seconds, unsigned frames)
{
    if (frames == 0)
        return;
    // The budget of a block is the time it lasts at the engine's rate.
    const double rate = EngineRate::Get();
    const double load = seconds * rate / frames;
    const unsigned long long slotFrames = (unsigned long long)(PEAK_SECONDS / NUM_SLOTS * rate);
    const unsigned long long slot = _frames / slotFrames;
    _frames += frames;
    std::atomic<double>& peak = _slotPeaks[slot % NUM_SLOTS];
    // The first block of a slot starts it afresh: what it held is a whole
    // window old.
    peak.store(slot != _slot ? load : std::max(peak.load(), load));
    _slot = slot;
    _current.store(load);
    _blocks.fetch_add(1);
    if (load > 1.0)
        _overBudget.fetch_add(1);
}

double LoadMeter::GetPeak() const
{
    double peak = 0.0;
    for (const std::atomic<double>& slot : _slotPeaks)
        peak = std::max(peak, slot.load());
    return peak;
}

void LoadMeter::Describe(char* text, size_t size) const
{
    snprintf(text, size, "load %.0f%% peak %.0f%% over %lu", GetCurrent() * PERCENT, GetPeak() * PERCENT,
             GetBlocksOverBudget());
}
