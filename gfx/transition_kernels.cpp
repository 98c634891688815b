// Transition kernels: pixel zoom, dissolve, roll, water and swirl.
#include "gfx/transition_kernels.h"

#include <cmath>
#include <cstring>

#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"
#include "gfx/row_bands.h"
#include "runtime/memory.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3", "fp-contract=off")
#endif

// Bit (x, y) of a mask plane with rows bpr bytes apart.
static inline int MaskTest(const uint8_t *plane, int32_t bpr, int32_t x, int32_t y) {
  return MaskRowBit(plane + (ptrdiff_t)y * bpr, x);
}
static inline void MaskPut(uint8_t *plane, int32_t bpr, int32_t x, int32_t y, int on) {
  PutMaskRowBit(plane + (ptrdiff_t)y * bpr, x, on);
}
// Mixing weight of a level: 255 gives the target exactly.
static inline uint32_t LevelWeight(int32_t t) { return t >= 255 ? 256u : t <= 0 ? 0u : (uint32_t)t; }

// ---- Pixel zoom -------------------------------------------------------------------------------

template <class S>
static void PixelZoomT(const TransitionPlanes *p, int32_t n) {
  if (n < 1 || !p->src || !p->dst) return;
  for (int32_t by = 0; by < p->height; by += n) {
    const int32_t bh = p->height - by < n ? p->height - by : n;
    for (int32_t bx = 0; bx < p->width; bx += n) {
      const int32_t bw = p->width - bx < n ? p->width - bx : n;
      int visible = 1;
      uint8_t alpha = 255;
      if (p->srcMask) visible = MaskTest(p->srcMask, p->srcMaskBytesPerRow, bx, by);
      else if (p->srcAlpha) {
        alpha = p->srcAlpha[(ptrdiff_t)by * p->srcAlphaBytesPerRow + bx];
        visible = alpha != 0;
      }
      const typename S::Raw c = S::Load(p->src + ((ptrdiff_t)by * p->srcModulo + bx) * S::kBytes);
      for (int32_t j = by; j < by + bh; j++) {
        uint8_t *row = p->dst + (ptrdiff_t)j * p->dstModulo * S::kBytes;
        for (int32_t i = bx; i < bx + bw; i++) {
          if (visible) S::Store(row + (ptrdiff_t)i * S::kBytes, c);
          if (p->dstMask) MaskPut(p->dstMask, p->dstMaskBytesPerRow, i, j, visible);
          else if (p->dstAlpha) p->dstAlpha[(ptrdiff_t)j * p->dstAlphaBytesPerRow + i] = visible ? alpha : 0;
        }
      }
    }
  }
}

void PixelZoom32(const TransitionPlanes *p, int32_t n) { PixelZoomT<PixSize32>(p, n); }
void PixelZoom24(const TransitionPlanes *p, int32_t n) { PixelZoomT<PixSize24>(p, n); }
void PixelZoom16(const TransitionPlanes *p, int32_t n) { PixelZoomT<PixSize16>(p, n); }

// ---- Dissolve ---------------------------------------------------------------------------------

// A pixel is kept when (its threshold < s) equals `below`; s is brought into 0..256 first,
// which gives every threshold byte the same answer.
static inline uint16_t DissolveLimit(int32_t s) { return (uint16_t)(s < 0 ? 0 : s > 256 ? 256 : s); }

// One row of an 8-bit plane: the source value (255 without a source) where kept, else 0.
KV_VECTOR_CLONES static void DissolveAlphaRow(const uint8_t *__restrict th, const uint8_t *__restrict src,
                                              uint8_t *__restrict dst, int32_t width, uint16_t limit, int below) {
  const uint8_t flip = below ? 0 : 0xFF;
  if (src) {
    for (int32_t x = 0; x < width; x++) dst[x] = (uint8_t)(((th[x] < limit ? 0xFF : 0) ^ flip) & src[x]);
  } else {
    for (int32_t x = 0; x < width; x++) dst[x] = (uint8_t)((th[x] < limit ? 0xFF : 0) ^ flip);
  }
}

// One row of a 1-bit mask: eight pixels a byte, limited by the source mask's byte; the bits of
// a last partial byte are set one by one so that those past the width keep their value.
static void DissolveMaskRow(const uint8_t *th, const uint8_t *src, uint8_t *dst, int32_t width, uint16_t limit,
                            int below) {
  const int32_t whole = width >> 3;
  for (int32_t i = 0; i < whole; i++, th += 8) {
    uint32_t bits = 0;
    for (int k = 0; k < 8; k++) bits |= (uint32_t)((th[k] < limit) == (below != 0)) << (7 - k);
    dst[i] = (uint8_t)(src ? bits & src[i] : bits);
  }
  for (int32_t x = whole * 8; x < width; x++, th++) {
    const int on = (*th < limit) == (below != 0) && (!src || MaskRowBit(src, x));
    PutMaskRowBit(dst, x, on);
  }
}

void DissolveStep(const DissolveRecord *r, int32_t s) {
  if (!r || !r->dstPlane || !r->thresholds || r->width < 1) return;
  const uint16_t limit = DissolveLimit(s);
  const int below = r->direction == 1 ? 0 : 1;
  for (int32_t y = 0; y < r->height; y++) {
    const uint8_t *th = r->thresholds + (ptrdiff_t)y * r->width;
    const uint8_t *src = r->srcPlane ? r->srcPlane + (ptrdiff_t)y * r->srcBytesPerRow : nullptr;
    uint8_t *dst = r->dstPlane + (ptrdiff_t)y * r->dstBytesPerRow;
    if (r->alpha) DissolveAlphaRow(th, src, dst, r->width, limit, below);
    else DissolveMaskRow(th, src, dst, r->width, limit, below);
  }
}

// ---- Roll -------------------------------------------------------------------------------------

// One row of a rolled rectangle: `width` pixels from column sx of source row sy to column dx of
// destination row dy, honouring the source mask or alpha.
template <class S>
static void RollRow(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t width, int32_t dx, int32_t dy) {
  const uint8_t *s = p->src + ((ptrdiff_t)sy * p->srcModulo + sx) * S::kBytes;
  uint8_t *d = p->dst + ((ptrdiff_t)dy * p->dstModulo + dx) * S::kBytes;
  if (p->srcMask) {
    const uint8_t *sm = p->srcMask + (ptrdiff_t)sy * p->srcMaskBytesPerRow;
    uint8_t *dm = p->dstMask ? p->dstMask + (ptrdiff_t)dy * p->dstMaskBytesPerRow : nullptr;
    for (int32_t i = 0; i < width; i++) {
      const int on = MaskRowBit(sm, sx + i);
      if (on) S::Store(d + (ptrdiff_t)i * S::kBytes, S::Load(s + (ptrdiff_t)i * S::kBytes));
      if (dm) PutMaskRowBit(dm, dx + i, on);
    }
  } else if (p->srcAlpha) {
    const uint8_t *sa = p->srcAlpha + (ptrdiff_t)sy * p->srcAlphaBytesPerRow + sx;
    uint8_t *da = p->dstAlpha ? p->dstAlpha + (ptrdiff_t)dy * p->dstAlphaBytesPerRow + dx : nullptr;
    for (int32_t i = 0; i < width; i++) {
      if (sa[i]) S::Store(d + (ptrdiff_t)i * S::kBytes, S::Load(s + (ptrdiff_t)i * S::kBytes));
      if (da) da[i] = sa[i];
    }
  } else {
    memmove(d, s, (size_t)width * S::kBytes);
  }
}

template <class S>
static int RollLineT(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  for (int32_t j = 0; j < h; j++) RollRow<S>(p, sx, sy + j, w, dx, dy + j);
  return 1;
}

int RollLine32(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  return RollLineT<PixSize32>(p, sx, sy, w, h, dx, dy);
}
int RollLine24(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  return RollLineT<PixSize24>(p, sx, sy, w, h, dx, dy);
}
int RollLine16(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  return RollLineT<PixSize16>(p, sx, sy, w, h, dx, dy);
}

// A rolled line: destination line `to` takes source line `from`.
struct RollPair {
  int32_t to, from;
};

// Rolled columns, row by row (a column at a time would touch a new row of memory with every
// pixel): each destination column of the list takes its source column.
template <class S>
static void RollColumns(const TransitionPlanes *p, const RollPair *pairs, int32_t n) {
  for (int32_t y = 0; y < p->height; y++) {
    const uint8_t *s = p->src + (ptrdiff_t)y * p->srcModulo * S::kBytes;
    uint8_t *d = p->dst + (ptrdiff_t)y * p->dstModulo * S::kBytes;
    if (p->srcMask) {
      const uint8_t *sm = p->srcMask + (ptrdiff_t)y * p->srcMaskBytesPerRow;
      uint8_t *dm = p->dstMask ? p->dstMask + (ptrdiff_t)y * p->dstMaskBytesPerRow : nullptr;
      for (int32_t i = 0; i < n; i++) {
        const int on = MaskRowBit(sm, pairs[i].from);
        if (on) S::Store(d + (ptrdiff_t)pairs[i].to * S::kBytes, S::Load(s + (ptrdiff_t)pairs[i].from * S::kBytes));
        if (dm) PutMaskRowBit(dm, pairs[i].to, on);
      }
    } else if (p->srcAlpha) {
      const uint8_t *sa = p->srcAlpha + (ptrdiff_t)y * p->srcAlphaBytesPerRow;
      uint8_t *da = p->dstAlpha ? p->dstAlpha + (ptrdiff_t)y * p->dstAlphaBytesPerRow : nullptr;
      for (int32_t i = 0; i < n; i++) {
        const uint8_t a = sa[pairs[i].from];
        if (a) S::Store(d + (ptrdiff_t)pairs[i].to * S::kBytes, S::Load(s + (ptrdiff_t)pairs[i].from * S::kBytes));
        if (da) da[pairs[i].to] = a;
      }
    } else {
      for (int32_t i = 0; i < n; i++)
        S::Store(d + (ptrdiff_t)pairs[i].to * S::kBytes, S::Load(s + (ptrdiff_t)pairs[i].from * S::kBytes));
    }
  }
}

template <class S>
static void RollStepT(RollRecord *r) {
  const TransitionPlanes *p = &r->planes;
  const double f = 2 * M_PI / r->count;
  const int32_t limit = r->columns ? p->width : p->height;
  // Columns are gathered a batch at a time and copied row by row; rows are copied at once.
  enum { kBatch = 256 };
  RollPair batch[kBatch];
  int32_t n = 0;
  for (int32_t i = 0; i < r->count; i++) {
    const int64_t dl = (int64_t)r->position - r->count + 1 + i;
    const double off = r->lines[i] / f;
    if (!(off > -1e9 && off < 1e9)) continue;
    const int64_t sl = (int64_t)r->position + (int64_t)off;
    if (dl < 0 || dl >= limit || sl < 0 || sl >= limit) continue;
    if (!r->copied) r->firstLine = (int32_t)dl;
    r->copied++;
    if (!r->columns) {
      RollRow<S>(p, 0, (int32_t)sl, p->width, 0, (int32_t)dl);
      continue;
    }
    batch[n++] = RollPair{(int32_t)dl, (int32_t)sl};
    if (n == kBatch) {
      RollColumns<S>(p, batch, n);
      n = 0;
    }
  }
  if (n) RollColumns<S>(p, batch, n);
}

void RollStep(RollRecord *r) {
  r->copied = 0;
  r->firstLine = -100000;
  if (r->count < 1 || !r->lines) return;
  if (r->bytesPerPixel == 4) RollStepT<PixSize32>(r);
  else if (r->bytesPerPixel == 3) RollStepT<PixSize24>(r);
  else if (r->bytesPerPixel == 2) RollStepT<PixSize16>(r);
}

// ---- Water and swirl: the shared gather --------------------------------------------------------

static double *SineTable(int cosine) {
  double *t = (double *)MemAlloc(sizeof(double) * TRANSITION_TABLE_SIZE, 0);
  if (!t) return nullptr;
  double a = 0;
  for (int k = 0; k < TRANSITION_TABLE_SIZE; k++, a += 0.001) t[k] = cosine ? std::cos(a) : std::sin(a);
  return t;
}

// What a water or swirl frame reads and writes, taken out of the record once a frame so that
// the pixel loops keep it in registers (stores through the destination could alias the record).
struct GatherView {
  const uint8_t *target, *start, *srcPlane;
  uint8_t *dst, *dstPlane;
  ptrdiff_t targetRow, startRow, dstRow, srcPlaneRow, dstPlaneRow;  // bytes
  uint32_t weight;        // mixing weight of the level
  uint32_t *mixed;        // 4-byte pixels without a source plane: start and target mixed, or nullptr
  int32_t mixedRow;       // pixels a row of `mixed`
  uint8_t planeOf[256];   // destination plane value of every source plane value
};

// One row of 4-byte pixels of the start and the target picture mixed at weight w.
template <class L>
KV_VECTOR_CLONES static void MixRow32(const uint32_t *__restrict start, const uint32_t *__restrict target,
                                      uint32_t *__restrict out, int32_t n, uint32_t w) {
  for (int32_t i = 0; i < n; i++) out[i] = MixWords(start[i], target[i], w) & ~L::kSpare;
}

// Rows a band of a frame has at least: smaller pictures are drawn by the calling thread alone.
enum { kMinBandRows = 64 };

// Rows [first, end) of the start and target pictures mixed into the view's working plane.
template <class L>
static void MixBand(void *user, int32_t first, int32_t end) {
  const GatherView *v = (const GatherView *)user;
  for (int32_t y = first; y < end; y++)
    MixRow32<L>((const uint32_t *)(v->start + y * v->startRow), (const uint32_t *)(v->target + y * v->targetRow),
                v->mixed + (ptrdiff_t)y * v->mixedRow, v->mixedRow, v->weight);
}

// The view of a frame at level t. With 4-byte pixels, no source plane and a working plane of
// width x height pixels, the whole start and target pictures are mixed into the working plane
// first: a pixel's mix does not depend on where it lands, so the gather then takes one pixel.
template <class L, class R>
static void FillGatherView(const R *r, int32_t t, uint32_t *work, GatherView *v) {
  v->target = r->target;
  v->start = r->start;
  v->dst = r->dst;
  v->targetRow = (ptrdiff_t)r->targetModulo * L::kBytes;
  v->startRow = (ptrdiff_t)r->startModulo * L::kBytes;
  v->dstRow = (ptrdiff_t)r->dstModulo * L::kBytes;
  v->srcPlane = r->srcPlane;
  v->srcPlaneRow = r->srcPlaneBytesPerRow;
  v->dstPlane = r->dstPlane;
  v->dstPlaneRow = r->dstPlaneBytesPerRow;
  v->weight = LevelWeight(t);
  v->mixed = nullptr;
  v->mixedRow = r->width;
  if (r->srcPlane) {
    for (int32_t pv = 0; pv < 256; pv++)
      v->planeOf[pv] = (uint8_t)(r->reverse ? pv * (255 - t) / 255 : t * pv / 255);
    return;
  }
  if constexpr (L::kBytes == 4) {
    if (!work) return;
    v->mixed = work;
    RunRowBands(r->height, kMinBandRows, MixBand<L>, v);
  }
}

// Source points of up to this many pixels are worked out before their pixels are gathered.
enum { kGatherRun = 256 };

// The pixel a source coordinate falls on, kept inside 0 .. last: p <= 0 gives 0, p >= last gives
// last, others their integer part; a coordinate that is not a number gives 0. Written as a
// clamp of the double so that a row of them vectorises.
static inline int32_t ClampToPixel(double p, double last) {
  const double q = p > 0 ? p : 0;
  return (int32_t)(q < last ? q : last);
}

// 4-byte pixels of the mixed plane (rows `row` pixels apart, fewer than 2^31 pixels) at the
// source points.
KV_VECTOR_CLONES static void GatherMixed32(const uint32_t *__restrict mixed, int32_t row, const int32_t *__restrict sx,
                                           const int32_t *__restrict sy, uint32_t *__restrict d, int32_t n) {
  for (int32_t i = 0; i < n; i++) d[i] = mixed[sy[i] * row + sx[i]];
}

// Destination pixels (x0 .. x0 + n) of row y from the source points (sx[i], sy[i]): the start
// and the target picture mixed at the level, or with a source plane the target pixel where the
// plane is not 0 and the destination plane set from the level.
template <class L>
static void GatherRow(const GatherView &v, int32_t x0, int32_t y, const int32_t *sx, const int32_t *sy, int32_t n) {
  uint8_t *d = v.dst + (ptrdiff_t)y * v.dstRow + (ptrdiff_t)x0 * L::kBytes;
  if (v.mixed) {
    GatherMixed32(v.mixed, v.mixedRow, sx, sy, (uint32_t *)d, n);
    return;
  }
  if (!v.srcPlane) {
    const uint32_t w = v.weight;
    for (int32_t i = 0; i < n; i++, d += L::kBytes) {
      const typename L::Raw a = L::Load(v.start + sy[i] * v.startRow + (ptrdiff_t)sx[i] * L::kBytes);
      const typename L::Raw b = L::Load(v.target + sy[i] * v.targetRow + (ptrdiff_t)sx[i] * L::kBytes);
      L::Store(d, MixPixel<L>(a, b, w));
    }
    return;
  }
  uint8_t *da = v.dstPlane ? v.dstPlane + (ptrdiff_t)y * v.dstPlaneRow + x0 : nullptr;
  for (int32_t i = 0; i < n; i++, d += L::kBytes) {
    const uint8_t pv = v.srcPlane[sy[i] * v.srcPlaneRow + sx[i]];
    if (pv) L::Store(d, L::Load(v.target + sy[i] * v.targetRow + (ptrdiff_t)sx[i] * L::kBytes));
    if (da) da[i] = v.planeOf[pv];
  }
}

// Destination pixels (x0 .. x0 + n) of row y that are their own sources.
template <class L>
static void GatherInPlace(const GatherView &v, int32_t x0, int32_t y, int32_t n, int32_t *sx, int32_t *sy) {
  if (v.mixed) {
    if (n > 0)
      memcpy(v.dst + (ptrdiff_t)y * v.dstRow + (ptrdiff_t)x0 * 4, v.mixed + (ptrdiff_t)y * v.mixedRow + x0,
             (size_t)n * 4);
    return;
  }
  for (int32_t x = x0; x < x0 + n; x += kGatherRun) {
    const int32_t run = x0 + n - x < kGatherRun ? x0 + n - x : kGatherRun;
    for (int32_t i = 0; i < run; i++) sx[i] = x + i, sy[i] = y;
    GatherRow<L>(v, x, y, sx, sy, run);
  }
}

// ---- Water ------------------------------------------------------------------------------------

// Row |y| of the distance table: ISqrt(x² + y²), at most ISqrt(INT32_MAX), for x from
// -(width / 2) on. The double square root gives the same integer below 2^31; the sum is exact in
// doubles below 2^31 and rounds to at least INT32_MAX above it.
KV_VECTOR_CLONES static void DistanceRow(uint16_t *__restrict row, int32_t width, int32_t y) {
  const double y2 = (double)y * y;
  for (int32_t i = 0; i < width; i++) {
    const double x = (double)(i - width / 2), s = x * x + y2;
    row[i] = (uint16_t)(int32_t)std::sqrt(s < 2147483647.0 ? s : 2147483647.0);
  }
}

int WaterWave(WaterRecord *r) {
  if (r->width < 1 || r->height < 1) return 1000;
  const uint64_t n = (uint64_t)r->width * (uint64_t)r->height;
  const uint64_t half = (uint64_t)r->width * (uint64_t)(r->height / 2 + 1);
  if (!TableFits(n, 4) || !TableFits(half, 2)) return 1000;
  r->sine = SineTable(0);
  r->distance = (uint16_t *)MemAlloc((size_t)half * 2, 0);
  r->mixed = (uint32_t *)MemAlloc((size_t)n * 4, 0);
  r->factors = nullptr;
  if (!r->sine || !r->distance || !r->mixed) {
    WaterFree(r);
    return 1000;
  }
  int32_t largest = 0;
  for (int32_t y = 0; y <= r->height / 2; y++) {
    uint16_t *row = r->distance + (ptrdiff_t)y * r->width;
    DistanceRow(row, r->width, y);
    for (int32_t x = 0; x < r->width; x++) largest = row[x] > largest ? row[x] : largest;
  }
  if (r->maxDistance <= 0) r->maxDistance = largest;
  r->cursor = 0;
  r->factorCount = largest + 1;
  r->factors = (double *)MemAlloc(sizeof(double) * (size_t)r->factorCount, 0);
  if (!r->factors) {
    WaterFree(r);
    return 1000;
  }
  r->tableWidth = r->width;
  r->tableHeight = r->height;
  return 0;
}

// The distance table's row of picture row y.
static inline const uint16_t *DistanceRowOf(const WaterRecord *r, int32_t y) {
  const int32_t dy = y - r->height / 2;
  return r->distance + (ptrdiff_t)(dy < 0 ? -dy : dy) * r->width;
}

void WaterFree(WaterRecord *r) {
  MemFree(r->sine);
  MemFree(r->distance);
  MemFree(r->factors);
  MemFree(r->mixed);
  r->sine = nullptr;
  r->distance = nullptr;
  r->factors = nullptr;
  r->mixed = nullptr;
  r->factorCount = 0;
  r->tableWidth = r->tableHeight = 0;
}

// The displacement factor a of a pixel at distance d in step s.
static double WaterFactor(const WaterRecord *r, int32_t s, double d) {
  const double D = r->maxDistance, wl = r->wavelength;
  double a = 0;
  // A picture without extent (a single pixel) or a wave without length is not distorted.
  if (D > 0 && wl > 0 && r->currentAmplitude != 0) {
    const double twoPi = 6.28318530717959;
    double phi = (d / wl) * twoPi - s;
    // Whole turns are added or taken off one at a time, as long as that takes few of them; a
    // phase thousands of turns away (a wave far shorter than a pixel) is first brought near in
    // one step so that it cannot take practically forever. A phase that is not finite leaves
    // the point where it is.
    if (!std::isfinite(phi)) return 0;
    if (std::fabs(phi) > 1000 * twoPi) phi = std::fmod(phi, twoPi);
    while (phi < 0) phi += twoPi;
    while (phi >= twoPi) phi -= twoPi;
    int32_t k = (int32_t)(phi / 0.001);
    if (k >= TRANSITION_TABLE_SIZE) k = TRANSITION_TABLE_SIZE - 1;
    a = r->currentAmplitude * r->sine[k] * (D - d) / D;
    if (d != 0) a *= wl / d;
  }
  return a;
}

// A pixel's displaced point: it moves along its ray from the centre by the factor. An infinite
// factor on the centre line gives a coordinate that is not a number, which stays at 0.
static inline void WaterDisplace(const WaterRecord *r, double a, int32_t x, int32_t y, int32_t *sx, int32_t *sy) {
  *sx = ClampToPixel(x + (x - r->centreX) * a, r->width - 1);
  *sy = ClampToPixel(y + (y - r->centreY) * a, r->height - 1);
}

void WaterPoint(WaterRecord *r, int32_t s, int32_t x, int32_t y, int32_t *sx, int32_t *sy) {
  const int64_t at = r->cursor++;
  const int32_t d = DistanceRowOf(r, (int32_t)(at / r->width))[at % r->width];
  WaterDisplace(r, WaterFactor(r, s, d), x, y, sx, sy);
}

// Source points of pixels (x0 .. x0 + n) of row y: every pixel moves along its ray from the
// centre by the factor of its distance.
KV_VECTOR_CLONES static void WaterPoints(const uint16_t *__restrict dist, const double *__restrict factors,
                                         int32_t x0, int32_t y, int32_t n, int32_t cx, int32_t cy, double lastX,
                                         double lastY, int32_t *__restrict sx, int32_t *__restrict sy) {
  for (int32_t i = 0; i < n; i++) {
    const int32_t x = x0 + i;
    const double a = factors[dist[i]];
    sx[i] = ClampToPixel(x + (x - cx) * a, lastX);
    sy[i] = ClampToPixel(y + (y - cy) * a, lastY);
  }
}

// What the bands of a water frame share.
struct WaterFrame {
  const WaterRecord *r;
  GatherView view;
};

template <class L>
static void WaterBand(void *user, int32_t first, int32_t end) {
  const WaterFrame *f = (const WaterFrame *)user;
  const WaterRecord *r = f->r;
  const int32_t w = r->width, h = r->height;
  int32_t sx[kGatherRun], sy[kGatherRun];
  for (int32_t y = first; y < end; y++)
    for (int32_t x0 = 0; x0 < w; x0 += kGatherRun) {
      const int32_t run = w - x0 < kGatherRun ? w - x0 : kGatherRun;
      WaterPoints(DistanceRowOf(r, y) + x0, r->factors, x0, y, run, r->centreX, r->centreY, w - 1, h - 1, sx, sy);
      GatherRow<L>(f->view, x0, y, sx, sy, run);
    }
}

template <class L>
static void WaterStepT(WaterRecord *r, int32_t s) {
  if (!r->distance || !r->sine || !r->factors || r->width < 1 || r->height < 1) return;
  if (r->width != r->tableWidth || r->height != r->tableHeight) return;
  const int32_t n = r->halfSteps < 1 ? 1 : r->halfSteps;
  int32_t t = (int32_t)((int64_t)s * 255 / (2 * n));
  t = t < 0 ? 0 : t > 255 ? 255 : t;
  r->currentAmplitude = (s < n ? s : 2 * n - s) * r->ampPerStep;
  // The factor depends on the distance only: one per distance and step.
  for (int32_t d = 0; d < r->factorCount; d++) r->factors[d] = WaterFactor(r, s, d);
  WaterFrame f{r, {}};
  FillGatherView<L>(r, t, r->mixed, &f.view);
  RunRowBands(r->height, kMinBandRows, WaterBand<L>, &f);
  r->cursor = (int64_t)r->width * r->height;
}

void WaterStep32(WaterRecord *r, int32_t s) { WithFormat32(r->format, [&](auto l) { WaterStepT<decltype(l)>(r, s); }); }
void WaterStep24(WaterRecord *r, int32_t s) { WithFormat24(r->format, [&](auto l) { WaterStepT<decltype(l)>(r, s); }); }
void WaterStep16(WaterRecord *r, int32_t s) { WithFormat16(r->format, [&](auto l) { WaterStepT<decltype(l)>(r, s); }); }

// ---- Swirl ------------------------------------------------------------------------------------

// Radius table entry of a pixel outside the swirl.
enum { kOutsideSwirl = 0xFFFF };

// The swirl's centre, radius and stretch of a width x height picture: the shorter axis is
// stretched so that the swirl is a circle over the longer one.
struct SwirlShape {
  double cx, cy, R, fx, fy;
  bool stretchX;  // the x axis is the stretched one (divided back after the turn)
};
static SwirlShape SwirlShapeOf(int32_t width, int32_t height) {
  SwirlShape g;
  g.cx = width / 2.0;
  g.cy = height / 2.0;
  g.R = g.cx > g.cy ? g.cx : g.cy;
  g.fx = g.fy = 1;
  if (width > height) g.fy = (double)width / height;
  else g.fx = (double)height / width;
  g.stretchX = !(width > height);
  return g;
}

// One row of the radius table: the integer radius of every pixel inside the swirl (squared
// stretched distance dd below R2 <= 2^32), kOutsideSwirl elsewhere. The radius is the integer
// square root of the integer part of dd, through the correctly rounded double square root: for
// every n below 2^52 its integer part is the integer square root (ISqrt below 2^31). Written
// without branches so that a row of them vectorises: the integer part is taken by 32-bit
// truncation below 2^31 and above it, and the flags select by multiplying.
KV_VECTOR_CLONES static void RadiusRow(uint16_t *__restrict row, const double *__restrict offsetX, double dy,
                                       double R2, int32_t width) {
  const double half = 2147483648.0;
  for (int32_t x = 0; x < width; x++) {
    const double dx = offsetX[x], dd = dx * dx + dy * dy;
    const int32_t inside = dd < R2, below = dd < half;
    const double d = dd * inside;
    const double whole = (double)(int32_t)(d * below) + ((double)(int32_t)(d - half) + half) * (1 - below);
    const int32_t radius = (int32_t)std::sqrt(whole);
    row[x] = (uint16_t)(radius | (inside - 1));
  }
}

int StrudelRotate(StrudelRecord *r) {
  // Radii below R fit 16 bits beside the mark of the pixels outside up to a longer side of
  // 2 x 65534 + 1 pixels. A picture without pixels draws nothing and needs no tables of places;
  // the others are checked against the graphics core's limit before anything is allocated.
  const int32_t longer = r->width > r->height ? r->width : r->height;
  const bool places = r->width >= 1 && r->height >= 1;
  const uint64_t n = places ? (uint64_t)r->width * (uint64_t)r->height : 0;
  if (longer / 2 >= kOutsideSwirl || !TableFits(n, sizeof(uint32_t)) ||
      (places && (!TableFits((uint64_t)r->width, sizeof(double)) || !TableFits((uint64_t)r->height, sizeof(double)))))
    return 1000;
  r->radiusCount = (longer > 0 ? longer : 0) / 2 + 2;
  r->sine = SineTable(0);
  r->cosine = SineTable(1);
  r->turnCos = (double *)MemAlloc(sizeof(double) * (size_t)r->radiusCount, 0);
  r->turnSin = (double *)MemAlloc(sizeof(double) * (size_t)r->radiusCount, 0);
  if (!r->sine || !r->cosine || !r->turnCos || !r->turnSin) {
    StrudelFree(r);
    return 1000;
  }
  if (!places) return 0;
  r->radii = (uint16_t *)MemAlloc(sizeof(uint16_t) * (size_t)n, 0);
  r->mixed = (uint32_t *)MemAlloc(sizeof(uint32_t) * (size_t)n, 0);
  r->spans = (int32_t *)MemAlloc(sizeof(int32_t) * 2 * (size_t)r->height, 0);
  r->offsetX = (double *)MemAlloc(sizeof(double) * (size_t)r->width, 0);
  r->offsetY = (double *)MemAlloc(sizeof(double) * (size_t)r->height, 0);
  if (!r->radii || !r->mixed || !r->spans || !r->offsetX || !r->offsetY) {
    StrudelFree(r);
    return 1000;
  }
  const SwirlShape g = SwirlShapeOf(r->width, r->height);
  for (int32_t x = 0; x < r->width; x++) r->offsetX[x] = (x - g.cx) * g.fx;
  for (int32_t y = 0; y < r->height; y++) r->offsetY[y] = (y - g.cy) * g.fy;
  // Columns x and width - x, and rows y and height - y, lie equally far from the centre (their
  // offsets are exact negatives): the right half of a row and the lower rows are copies.
  const int32_t w = r->width, computed = w / 2 + 1 < w ? w / 2 + 1 : w;
  for (int32_t y = 0; y < r->height; y++) {
    uint16_t *row = r->radii + (ptrdiff_t)y * w;
    if (2 * (int64_t)y > r->height) {
      memcpy(row, r->radii + (ptrdiff_t)(r->height - y) * w, sizeof(uint16_t) * (size_t)w);
    } else {
      RadiusRow(row, r->offsetX, r->offsetY[y], g.R * g.R, computed);
      for (int32_t x = computed; x < w; x++) row[x] = row[w - x];
    }
    int32_t first = 0, end = r->width;
    while (first < end && row[first] == kOutsideSwirl) first++;
    while (end > first && row[end - 1] == kOutsideSwirl) end--;
    r->spans[2 * y] = first < end ? first : 0;
    r->spans[2 * y + 1] = first < end ? end : 0;
  }
  r->tableWidth = r->width;
  r->tableHeight = r->height;
  return 0;
}

void StrudelFree(StrudelRecord *r) {
  MemFree(r->sine);
  MemFree(r->cosine);
  MemFree(r->turnCos);
  MemFree(r->turnSin);
  MemFree(r->radii);
  MemFree(r->mixed);
  MemFree(r->spans);
  MemFree(r->offsetX);
  MemFree(r->offsetY);
  r->sine = r->cosine = nullptr;
  r->turnCos = r->turnSin = nullptr;
  r->radii = nullptr;
  r->mixed = nullptr;
  r->spans = nullptr;
  r->offsetX = r->offsetY = nullptr;
  r->radiusCount = 0;
  r->tableWidth = r->tableHeight = 0;
}

// Source points of pixels (x0 .. x0 + n) of row y: a pixel inside the swirl is turned about
// the centre by the angle of its radius (on the stretched axes, the stretch then taken off);
// one outside is its own source.
KV_VECTOR_CLONES static void SwirlPoints(const uint16_t *__restrict radii, const double *__restrict offsetX,
                                         double dy, const double *__restrict turnCos,
                                         const double *__restrict turnSin, const SwirlShape &g, int32_t x0,
                                         int32_t y, int32_t n, double lastX, double lastY,
                                         int32_t *__restrict sx, int32_t *__restrict sy) {
  for (int32_t i = 0; i < n; i++) {
    const int32_t rad = radii[i], k = rad == kOutsideSwirl ? 0 : rad;
    const double c = turnCos[k], sn = turnSin[k], dx = offsetX[i];
    double px = dx * c - dy * sn, py = dx * sn + dy * c;
    if (g.stretchX) px /= g.fx;
    else py /= g.fy;
    px += g.cx;
    py += g.cy;
    const int32_t tx = ClampToPixel(px, lastX), ty = ClampToPixel(py, lastY);
    sx[i] = rad == kOutsideSwirl ? x0 + i : tx;
    sy[i] = rad == kOutsideSwirl ? y : ty;
  }
}

// What the bands of a swirl frame share.
struct SwirlFrame {
  const StrudelRecord *r;
  GatherView view;
  SwirlShape g;
  bool still;  // no turn (the first and the last step)
};

template <class L>
static void SwirlBand(void *user, int32_t firstRow, int32_t endRow) {
  const SwirlFrame *f = (const SwirlFrame *)user;
  const StrudelRecord *r = f->r;
  const int32_t w = r->width, h = r->height;
  int32_t sx[kGatherRun], sy[kGatherRun];
  for (int32_t y = firstRow; y < endRow; y++) {
    // Pixels outside the swirl, and all of them without a turn, are their own sources.
    const int32_t first = f->still ? 0 : r->spans[2 * y], end = f->still ? 0 : r->spans[2 * y + 1];
    GatherInPlace<L>(f->view, 0, y, first < end ? first : w, sx, sy);
    for (int32_t x0 = first; x0 < end; x0 += kGatherRun) {
      const int32_t run = end - x0 < kGatherRun ? end - x0 : kGatherRun;
      SwirlPoints(r->radii + (ptrdiff_t)y * w + x0, r->offsetX + x0, r->offsetY[y], r->turnCos, r->turnSin, f->g, x0,
                  y, run, w - 1, h - 1, sx, sy);
      GatherRow<L>(f->view, x0, y, sx, sy, run);
    }
    if (first < end) GatherInPlace<L>(f->view, end, y, w - end, sx, sy);
  }
}

template <class L>
static void StrudelStepT(StrudelRecord *r, int32_t s) {
  if (!r->sine || !r->cosine || !r->turnCos || !r->turnSin || !r->radii || !r->spans || r->width < 1 || r->height < 1)
    return;
  if (r->width != r->tableWidth || r->height != r->tableHeight) return;
  int32_t t = s * 255 / 720;
  t = t < 0 ? 0 : t > 255 ? 255 : t;
  const double angle = (s <= 359 ? s : 720 - s) * 0.017453292519943295;
  const SwirlShape g = SwirlShapeOf(r->width, r->height);
  // The turn depends on the integer radius only: one per radius and step.
  for (int32_t i = 0; i < r->radiusCount; i++) {
    const double q = i / g.R, u = 1 - q;
    const double kf = angle * u * u / 0.001;
    const int32_t k = kf <= 0 ? 0 : kf >= TRANSITION_TABLE_SIZE - 1 ? TRANSITION_TABLE_SIZE - 1 : (int32_t)kf;
    r->turnCos[i] = r->cosine[k];
    r->turnSin[i] = r->sine[k];
  }
  SwirlFrame f{r, {}, g, angle == 0};
  FillGatherView<L>(r, t, r->mixed, &f.view);
  RunRowBands(r->height, kMinBandRows, SwirlBand<L>, &f);
}

void StrudelStep32(StrudelRecord *r, int32_t s) { WithFormat32(r->format, [&](auto l) { StrudelStepT<decltype(l)>(r, s); }); }
void StrudelStep24(StrudelRecord *r, int32_t s) { WithFormat24(r->format, [&](auto l) { StrudelStepT<decltype(l)>(r, s); }); }
void StrudelStep16(StrudelRecord *r, int32_t s) { WithFormat16(r->format, [&](auto l) { StrudelStepT<decltype(l)>(r, s); }); }
