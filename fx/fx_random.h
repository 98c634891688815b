// The one random source of the transition effects: the random effect choice, the effects'
// own random choices (band sizes, fade colours, dissolve thresholds, puzzle order). A 48-bit
// linear congruential generator that tests seed to get the same run every time.
#pragma once
#include <cstddef>
#include <cstdint>

// Restarts the sequence from a seed (the generator starts as if seeded with 0).
void FxSeedRandom(uint64_t seed);
// Next value, 0 to 0x7FFFFFFF.
int32_t FxRand(void);
// Next value in [0, 1).
double FxRandUnit(void);
// Fills out[0 .. n) with FxRand() % modulus (1 to 256) as n calls in turn would, and leaves the
// sequence where they leave it.
void FxRandBytes(uint8_t *out, size_t n, int32_t modulus);
