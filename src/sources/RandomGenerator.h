#pragma once

#include <cstdint>

class Serializer;

// A source's own random numbers, for the audio thread: the C library's
// generator takes a lock on every draw. Draws the same sequence as srand and
// rand of the GNU C library for the same seed, so a seeded source plays the
// grains it always played.
class RandomGenerator {
public:
    explicit RandomGenerator(unsigned seed = 1);
    virtual ~RandomGenerator() {}

    void Seed(unsigned seed);
    // 0 ... 2^31 - 1, as rand().
    int Next();
    // [0, 1) in single precision, as the sources have always drawn it.
    float NextUnit() { return (float)Next() / 2147483648.0f; }

    // The whole state: a generator read back draws on as the saved one would have.
    void Serialize(Serializer* serializer) const;
    // False (the generator unchanged) when the record is not a state this generator can reach.
    bool UnSerialize(Serializer* serializer);

private:
    static const int DEGREE = 31;
    static const int SEPARATION = 3;
    // The last DEGREE values of the additive feedback; _index is where the
    // next one goes.
    uint32_t _state[DEGREE];
    int _index;
};
