// 48-bit linear congruential generator: x' = (a x + c) mod 2^48.
#include "fx/fx_random.h"

namespace {
constexpr uint64_t kMultiplier = 0x5DEECE66Dull;
constexpr uint64_t kIncrement = 0xB;
constexpr uint64_t kMask48 = (1ull << 48) - 1;

uint64_t gState = 0x330E;  // the state a seed of 0 gives

uint64_t Advance(void) {
  gState = (gState * kMultiplier + kIncrement) & kMask48;
  return gState;
}
}  // namespace

void FxSeedRandom(uint64_t seed) { gState = ((seed & 0xFFFFFFFFull) << 16 | 0x330E) & kMask48; }

int32_t FxRand(void) { return (int32_t)(Advance() >> 17); }

double FxRandUnit(void) { return (double)Advance() / (double)(1ull << 48); }
