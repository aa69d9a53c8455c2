#include "sources/GrainModes.h"

#include "sources/RandomGenerator.h"

namespace GrainModes {

int Wrap(int value, int count)
{
    const int mode = value % count;
    return mode < 0 ? count - 1 : mode;
}

double Direction(int mode, RandomGenerator* random)
{
    switch (mode) {
    case FORWARD:
        return 1.0;
    case BACKWARD:
        return -1.0;
    default:
        // Heads or tails: +1 or -1.
        return random->NextUnit() > 0.5 ? 1.0 : -1.0;
    }
}

}  // namespace GrainModes
