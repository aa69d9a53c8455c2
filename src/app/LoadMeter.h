#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>

// How much of its time budget the audio callback spends: each block has
// frames / rate seconds to be computed before the device needs it. The
// audio thread measures (a monotonic clock read at each end of the block,
// nothing allocated); the GUI thread reads the current load, the peak of
// the last few seconds and how many blocks went over budget.
class LoadMeter {
public:
    // Audio time the peak looks back over.
    static constexpr double PEAK_SECONDS = 3.0;

    LoadMeter();
    virtual ~LoadMeter() {}
    LoadMeter(const LoadMeter&) = delete;
    LoadMeter& operator=(const LoadMeter&) = delete;

    // Audio thread: around the work of one block of frames.
    void Start();
    void Stop(unsigned frames);
    // Records a block of frames that took seconds to compute.
    void Record(double seconds, unsigned frames);

    // Share of the budget, 1 for a block computed just in time.
    double GetCurrent() const { return _current.load(); }
    double GetPeak() const;
    unsigned long GetBlocksOverBudget() const { return _overBudget.load(); }
    unsigned long GetBlocks() const { return _blocks.load(); }
    // "load 12% peak 40% over 0", for the canvas and the console.
    void Describe(char* text, size_t size) const;

private:
    // The peak window in slots, each holding its loudest block; the oldest
    // slot is forgotten when a new one begins.
    static constexpr int NUM_SLOTS = 6;

    std::chrono::steady_clock::time_point _start;
    std::atomic<double> _current;
    std::atomic<double> _slotPeaks[NUM_SLOTS];
    std::atomic<unsigned long> _overBudget;
    std::atomic<unsigned long> _blocks;
    static constexpr unsigned long long NO_SLOT = ~0ull;

    // Audio frames measured so far, which place each block in its slot, and
    // the slot of the last block.
    unsigned long long _frames;
    unsigned long long _slot;
};
