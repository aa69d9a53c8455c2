#include "sources/RandomGenerator.h"

#include <algorithm>

#include "session/Serializer.h"

namespace {
const int64_t LCG_MODULUS = 2147483647;
const int64_t LCG_MULTIPLIER = 16807;
// The values the seeding discards before the first draw.
const int WARM_UP = 310;
}  // namespace

RandomGenerator::RandomGenerator(unsigned seed) : _state{}, _index(0)
{
    Seed(seed);
}

// The table starts as a multiplicative congruential sequence from the seed;
// each draw then adds the value 31 back to the one 3 back.
void RandomGenerator::Seed(unsigned seed)
{
    int64_t word = seed == 0 ? 1 : (int32_t)seed;
    _state[0] = (uint32_t)word;
    for (int i = 1; i < DEGREE; i++) {
        word = (LCG_MULTIPLIER * word) % LCG_MODULUS;
        if (word < 0)
            word += LCG_MODULUS;
        _state[i] = (uint32_t)word;
    }
    _index = SEPARATION;
    for (int i = 0; i < WARM_UP; i++)
        Next();
}

int RandomGenerator::Next()
{
    // The new value replaces the one at _index, DEGREE draws old, adding
    // to it the one SEPARATION places before it in the table.
    const int back = (_index + DEGREE - SEPARATION) % DEGREE;
    const uint32_t value = _state[_index] + _state[back];
    _state[_index] = value;
    _index = (_index + 1) % DEGREE;
    return (int)(value >> 1);
}

void RandomGenerator::Serialize(Serializer* serializer) const
{
    serializer->PutInt(_index);
    for (uint32_t word : _state)
        serializer->PutInt((int)word);
}

bool RandomGenerator::UnSerialize(Serializer* serializer)
{
    int index = -1;
    uint32_t state[DEGREE];
    bool read = serializer->GetInt(&index);
    for (uint32_t& word : state) {
        int value = 0;
        read = read && serializer->GetInt(&value);
        word = (uint32_t)value;
    }
    // Seeding never leaves every word zero, from where every draw would be 0.
    if (!read || index < 0 || index >= DEGREE || std::all_of(state, state + DEGREE, [](uint32_t w) { return w == 0; }))
        return false;
    std::copy_n(state, DEGREE, _state);
    _index = index;
    return true;
}
