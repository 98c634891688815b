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

void FxRandBytes(uint8_t *out, size_t n, int32_t modulus) {
  if (modulus < 1 || modulus > 256) return;
  const uint32_t m = (uint32_t)modulus;
  // v % m for the 31-bit values by a multiply: with 2^L >= m, k = 31 + L and M = 2^k / m + 1,
  // (v M) >> k is v / m exactly, as v (M m - 2^k) < 2^31 m <= 2^k; and v M < 2^31 (2^32 + 1).
  int shift = 31;
  while (((uint32_t)1 << (shift - 31)) < m) shift++;
  const uint64_t reciprocal = ((uint64_t)1 << shift) / m + 1;
  auto mod = [&](uint64_t v) { return (uint8_t)(v - ((v * reciprocal) >> shift) * m); };
  // Eight interleaved runs of the sequence, each stepping eight places at once
  // (x' = A x + C with A = a^8, C = c (a^7 + ... + 1), mod 2^48): eight independent multiplies
  // a round instead of a chain of n.
  enum { kLanes = 8 };
  uint64_t a8 = 1, c8 = 0;
  for (int i = 0; i < kLanes; i++) {
    c8 = (c8 * kMultiplier + kIncrement) & kMask48;
    a8 = (a8 * kMultiplier) & kMask48;
  }
  size_t i = 0;
  if (n >= kLanes) {
    uint64_t lane[kLanes];
    for (int k = 0; k < kLanes; k++) lane[k] = Advance();
    for (;;) {
      for (int k = 0; k < kLanes; k++) out[i + k] = mod(lane[k] >> 17);
      i += kLanes;
      if (n - i < kLanes) break;
      for (int k = 0; k < kLanes; k++) lane[k] = (lane[k] * a8 + c8) & kMask48;
    }
    gState = lane[kLanes - 1];
  }
  for (; i < n; i++) out[i] = (uint8_t)((uint32_t)FxRand() % m);
}
