// The one random source of the transition effects: the random effect choice, the effects'
// own random choices (band sizes, fade colours, dissolve thresholds, puzzle order). A 48-bit
// linear congruential generator that tests seed to get the same run every time.
#pragma once
#include <cstdint>

// Restarts the sequence from a seed (the generator starts as if seeded with 0).
void FxSeedRandom(uint64_t seed);
// Next value, 0 to 0x7FFFFFFF.
int32_t FxRand(void);
// Next value in [0, 1).
double FxRandUnit(void);
