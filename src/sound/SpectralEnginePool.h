#pragma once

#include <atomic>
#include <chrono>
#include <vector>

class SpectroToSamples;

// Resynthesis engines for the voices of one sound rect, made ahead of need.
//
// A voice gets the engines of what its rect shows when it is made, on the GUI
// thread. When the rect turns to another picture, or the voice's grains start
// to be stretched, the voice takes a set from here on the audio thread, where
// nothing may be allocated; a voice that finds none plays that grain without
// and counts a miss. The GUI thread makes what was asked for (the voices a
// view change concerns, and the misses) between frames, outside the scene
// lock, hands it over under the lock, and frees sets nobody took for a while,
// so the memory of a picture nobody plays goes back.
class SpectralEnginePool {
public:
    static constexpr int MAX_CHANNELS = 2;
    static constexpr int NUM_TYPES = 2;

    // One engine per channel of the sound (null beyond its channels).
    struct EngineSet {
        SpectroToSamples* engines[MAX_CHANNELS] = {nullptr, nullptr};
    };

    // Ready sets that nobody took or missed for unusedLifetime are freed.
    explicit SpectralEnginePool(std::chrono::milliseconds unusedLifetime = std::chrono::seconds(2));
    virtual ~SpectralEnginePool();
    SpectralEnginePool(const SpectralEnginePool&) = delete;
    SpectralEnginePool& operator=(const SpectralEnginePool&) = delete;

    // The engine every set of the type clones for the channel; owned by the caller, who outlives the pool's use.
    void SetPrototype(int type, int chan, const SpectroToSamples* prototype);
    bool HasPrototype(int type) const;
    // A fresh set of the type, owned by the caller. Allocates: not on the audio thread.
    EngineSet MakeSet(int type) const;

    // Audio thread, under the scene lock: a ready set, or false (and a miss counted).
    bool Take(int type, EngineSet* set);

    // The voices reading the rect, counted as they are made and deleted.
    void AddReader() { _readers++; }
    void RemoveReader() { _readers--; }
    int Readers() const { return _readers; }
    // That many voices will want a set of the type soon (their rect now shows it).
    void Expect(int type, int count);

    // The three steps of a refill on the GUI thread, between frames: make
    // what was asked for, outside the scene lock; hand it over (and take the
    // sets unused for long back), under it; free what was taken back, outside it.
    void Prepare();
    void Install();
    // True when it freed any.
    bool FreeUnused();
    // All three, where no other thread renders (tests, benchmarks).
    void Refill();

    int ReadySets(int type) const { return _readyCount[type]; }

private:
    static void DeleteSet(const EngineSet& set);

    const std::chrono::milliseconds _unusedLifetime;
    const SpectroToSamples* _prototypes[NUM_TYPES][MAX_CHANNELS];
    std::atomic<int> _readers;
    // Sets asked for since the last Prepare: expected ones and misses.
    std::atomic<int> _wanted[NUM_TYPES];
    // The ready sets (audio thread and Install, under the scene lock) and
    // their count, readable without it.
    std::vector<EngineSet> _ready[NUM_TYPES];
    std::atomic<int> _readyCount[NUM_TYPES];
    // Whether the audio thread took or missed a set since the last Install.
    bool _used[NUM_TYPES];
    std::chrono::steady_clock::time_point _lastUse[NUM_TYPES];
    // GUI thread only: sets made and not yet handed over, and sets to free.
    std::vector<EngineSet> _prepared[NUM_TYPES];
    std::vector<EngineSet> _unused;
};
