// 48-bit linear congruential generator: x' = (a x + c) mod 2^48.
#include "fx/fx_random.h"

#include "gfx/pixel_layout.h"
#include "gfx/row_bands.h"

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

namespace {

// x' = A x + C (mod 2^48): k steps of the generator as one map.
struct Affine {
  uint64_t a, c;
};

Affine Then(Affine f, Affine g) { return {(g.a * f.a) & kMask48, (g.a * f.c + g.c) & kMask48}; }

Affine Steps(uint64_t k) {
  Affine result{1, 0}, step{kMultiplier, kIncrement};
  for (; k; k >>= 1) {
    if (k & 1) result = Then(result, step);
    step = Then(step, step);
  }
  return result;
}

// kLanes interleaved runs of the sequence, each stepping kLanes places a round
// (x' = A x + C with A = a^kLanes): independent multiplies instead of one chain. The products
// are of 24- and 32-bit halves, which vector units multiply directly:
//   x A mod 2^48 = xl al + 2^24 ((xl ah + xh al) mod 2^24), x = xh 2^24 + xl, A = ah 2^24 + al.
enum { kLanes = 16, kChunk = kLanes * 4096 };

struct RandBlock {
  uint8_t *out;
  size_t rounds;       // whole rounds of kLanes values
  uint64_t first;      // the state before the block's first value
  Affine lanes;        // kLanes steps
  uint32_t m, reciprocal;
  int shift;
};

KV_VECTOR_CLONES void RandRounds(uint64_t *lane, uint8_t *out, size_t rounds, const RandBlock *b) {
  const uint32_t al = (uint32_t)(b->lanes.a & 0xFFFFFF), ah = (uint32_t)(b->lanes.a >> 24);
  const uint64_t c = b->lanes.c;
  const uint32_t m = b->m, reciprocal = b->reciprocal;
  const int shift = b->shift;
  for (size_t r = 0; r < rounds; r++) {
    uint8_t *o = out + r * kLanes;
    for (int k = 0; k < kLanes; k++) {
      const uint32_t v = (uint32_t)(lane[k] >> 17);
      o[k] = (uint8_t)(v - (uint32_t)(((uint64_t)v * reciprocal) >> shift) * m);
    }
    for (int k = 0; k < kLanes; k++) {
      const uint64_t x = lane[k];
      const uint32_t xl = (uint32_t)x & 0xFFFFFF, xh = (uint32_t)(x >> 24);
      const uint64_t mid = (uint64_t)xl * ah + (uint64_t)xh * al;
      lane[k] = ((uint64_t)xl * al + (mid << 24) + c) & kMask48;
    }
  }
}

// Chunks [first, end) of kChunk values: each starts its runs from the state the block's start
// reaches after that many values, so the chunks can be made in any order.
void RandChunks(void *user, int32_t first, int32_t end) {
  const RandBlock *b = (const RandBlock *)user;
  const Affine one{kMultiplier, kIncrement};
  for (int32_t chunk = first; chunk < end; chunk++) {
    const size_t start = (size_t)chunk * kChunk / kLanes;  // in rounds
    const size_t rounds = b->rounds - start < (size_t)kChunk / kLanes ? b->rounds - start : (size_t)kChunk / kLanes;
    const Affine to = Steps((uint64_t)start * kLanes + 1);
    uint64_t lane[kLanes];
    lane[0] = (to.a * b->first + to.c) & kMask48;
    for (int k = 1; k < kLanes; k++) lane[k] = (one.a * lane[k - 1] + one.c) & kMask48;
    RandRounds(lane, b->out + start * kLanes, rounds, b);
  }
}

}  // namespace

void FxRandBytes(uint8_t *out, size_t n, int32_t modulus) {
  if (modulus < 1 || modulus > 256) return;
  const uint32_t m = (uint32_t)modulus;
  // v % m for the 31-bit values by a multiply: with 2^L >= m, k = 31 + L and M = 2^k / m + 1,
  // (v M) >> k is v / m exactly, as v (M m - 2^k) < 2^31 m <= 2^k; M < 2^32 as m > 2^(L-1).
  int shift = 31;
  while (((uint32_t)1 << (shift - 31)) < m) shift++;
  RandBlock b{out, n / kLanes, gState, Steps(kLanes), m, (uint32_t)(((uint64_t)1 << shift) / m + 1), shift};
  // Large blocks are made in chunks on several cores; every chunk's values are the same as in
  // one pass.
  const size_t chunks = (b.rounds * kLanes + kChunk - 1) / kChunk;
  if (chunks > 0) RunRowBands((int32_t)chunks, 4, RandChunks, &b);
  const size_t whole = b.rounds * kLanes;
  const Affine all = Steps(whole);
  gState = (all.a * gState + all.c) & kMask48;
  for (size_t i = whole; i < n; i++) out[i] = (uint8_t)((uint32_t)FxRand() % m);
}
