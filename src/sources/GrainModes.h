#pragma once

class RandomGenerator;

// The direction modes every kind of source offers its grains, and the
// wrapping rule of all enumerated source settings.
namespace GrainModes {
enum DirectionMode { FORWARD = 0, BACKWARD = 1, RANDOM_DIR = 2 };
const int NUM_DIRECTION_MODES = 3;

// A remainder in 0 .. count - 1; a negative one selects the last mode.
int Wrap(int value, int count);
// +1 or -1 for a grain in the given direction mode: a fresh toss of the
// source's generator for RANDOM_DIR.
double Direction(int mode, RandomGenerator* random);
}  // namespace GrainModes
