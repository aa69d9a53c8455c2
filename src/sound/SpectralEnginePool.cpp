#include "sound/SpectralEnginePool.h"

#include <algorithm>

#include "spectral/SpectroToSamples.h"

SpectralEnginePool::SpectralEnginePool(std::chrono::milliseconds unusedLifetime)
    : _unusedLifetime(unusedLifetime), _prototypes{{nullptr, nullptr}, {nullptr, nullptr}},
      _readers(0), _wanted{0, 0}, _readyCount{0, 0}, _used{false, false}
{
    auto now = std::chrono::steady_clock::now();
    for (auto& time : _lastUse)
        time = now;
}

SpectralEnginePool::~SpectralEnginePool()
{
    for (int type = 0; type < NUM_TYPES; type++) {
        for (const EngineSet& set : _ready[type])
            DeleteSet(set);
        for (const EngineSet& set : _prepared[type])
            DeleteSet(set);
    }
    FreeUnused();
}

void SpectralEnginePool::DeleteSet(const EngineSet& set)
{
    for (SpectroToSamples* engine : set.engines)
        delete engine;
}

void SpectralEnginePool::SetPrototype(int type, int chan, const SpectroToSamples* prototype)
{
    _prototypes[type][chan] = prototype;
}

bool SpectralEnginePool::HasPrototype(int type) const
{
    return _prototypes[type][0] != nullptr || _prototypes[type][1] != nullptr;
}

SpectralEnginePool::EngineSet SpectralEnginePool::MakeSet(int type) const
{
    EngineSet set;
    for (int chan = 0; chan < MAX_CHANNELS; chan++) {
        const SpectroToSamples* prototype = _prototypes[type][chan];
        set.engines[chan] = prototype != nullptr ? prototype->Clone() : nullptr;
    }
    return set;
}

bool SpectralEnginePool::Take(int type, EngineSet* set)
{
    _used[type] = true;
    if (_ready[type].empty()) {
        _wanted[type]++;
        return false;
    }
    *set = _ready[type].back();
    _ready[type].pop_back();
    _readyCount[type] = (int)_ready[type].size();
    return true;
}

void SpectralEnginePool::Expect(int type, int count)
{
    if (HasPrototype(type))
        _wanted[type] += count;
}

void SpectralEnginePool::Prepare()
{
    for (int type = 0; type < NUM_TYPES; type++) {
        // A voice takes one set of a type at most; a voice that missed
        // several grains in a row counts once.
        int wanted = std::min(_wanted[type].exchange(0), (int)_readers);
        int missing = wanted - _readyCount[type] - (int)_prepared[type].size();
        for (int i = 0; i < missing; i++)
            _prepared[type].push_back(MakeSet(type));
    }
}

void SpectralEnginePool::Install()
{
    auto now = std::chrono::steady_clock::now();
    for (int type = 0; type < NUM_TYPES; type++) {
        std::vector<EngineSet>& ready = _ready[type];
        if (_used[type] || !_prepared[type].empty())
            _lastUse[type] = now;
        _used[type] = false;
        ready.insert(ready.end(), _prepared[type].begin(), _prepared[type].end());
        _prepared[type].clear();
        if (now - _lastUse[type] > _unusedLifetime) {
            _unused.insert(_unused.end(), ready.begin(), ready.end());
            ready.clear();
        }
        _readyCount[type] = (int)ready.size();
    }
}

bool SpectralEnginePool::FreeUnused()
{
    bool freed = !_unused.empty();
    for (const EngineSet& set : _unused)
        DeleteSet(set);
    _unused.clear();
    return freed;
}

void SpectralEnginePool::Refill()
{
    Prepare();
    Install();
    FreeUnused();
}
