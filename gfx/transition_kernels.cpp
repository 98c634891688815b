// Transition kernels: pixel zoom, dissolve, roll, water and swirl.
#include "gfx/transition_kernels.h"

#include <cmath>
#include <cstring>

#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"
#include "runtime/memory.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
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

void DissolveStep(const DissolveRecord *r, int32_t s) {
  if (!r || !r->dstPlane || !r->thresholds) return;
  const uint8_t *th = r->thresholds;
  for (int32_t y = 0; y < r->height; y++)
    for (int32_t x = 0; x < r->width; x++) {
      const int32_t h = *th++;
      const bool kept = r->direction == 1 ? h >= s : h < s;
      if (r->alpha) {
        uint8_t v = 0;
        if (kept) v = r->srcPlane ? r->srcPlane[(ptrdiff_t)y * r->srcBytesPerRow + x] : 255;
        r->dstPlane[(ptrdiff_t)y * r->dstBytesPerRow + x] = v;
      } else {
        const int on = kept && (!r->srcPlane || MaskTest(r->srcPlane, r->srcBytesPerRow, x, y));
        MaskPut(r->dstPlane, r->dstBytesPerRow, x, y, on);
      }
    }
}

// ---- Roll -------------------------------------------------------------------------------------

template <class S>
static int RollLineT(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  for (int32_t j = 0; j < h; j++)
    for (int32_t i = 0; i < w; i++) {
      const int32_t x = sx + i, y = sy + j, X = dx + i, Y = dy + j;
      const uint8_t *s = p->src + ((ptrdiff_t)y * p->srcModulo + x) * S::kBytes;
      uint8_t *d = p->dst + ((ptrdiff_t)Y * p->dstModulo + X) * S::kBytes;
      if (p->srcMask) {
        const int on = MaskTest(p->srcMask, p->srcMaskBytesPerRow, x, y);
        if (on) S::Store(d, S::Load(s));
        if (p->dstMask) MaskPut(p->dstMask, p->dstMaskBytesPerRow, X, Y, on);
      } else if (p->srcAlpha) {
        const uint8_t a = p->srcAlpha[(ptrdiff_t)y * p->srcAlphaBytesPerRow + x];
        if (a) S::Store(d, S::Load(s));
        if (p->dstAlpha) p->dstAlpha[(ptrdiff_t)Y * p->dstAlphaBytesPerRow + X] = a;
      } else {
        S::Store(d, S::Load(s));
      }
    }
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

void RollStep(RollRecord *r) {
  r->copied = 0;
  r->firstLine = -100000;
  if (r->count < 1 || !r->lines) return;
  int (*copy)(const TransitionPlanes *, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) =
      r->bytesPerPixel == 4 ? RollLine32 : r->bytesPerPixel == 3 ? RollLine24 : r->bytesPerPixel == 2 ? RollLine16 : nullptr;
  if (!copy) return;
  const double f = 2 * M_PI / r->count;
  const int32_t limit = r->columns ? r->planes.width : r->planes.height;
  for (int32_t i = 0; i < r->count; i++) {
    const int64_t dl = (int64_t)r->position - r->count + 1 + i;
    const double off = r->lines[i] / f;
    if (!(off > -1e9 && off < 1e9)) continue;
    const int64_t sl = (int64_t)r->position + (int64_t)off;
    if (dl < 0 || dl >= limit || sl < 0 || sl >= limit) continue;
    if (r->columns) copy(&r->planes, (int32_t)sl, 0, 1, r->planes.height, (int32_t)dl, 0);
    else copy(&r->planes, 0, (int32_t)sl, r->planes.width, 1, 0, (int32_t)dl);
    if (!r->copied) r->firstLine = (int32_t)dl;
    r->copied++;
  }
}

// ---- Water ------------------------------------------------------------------------------------

static double *SineTable(int cosine) {
  double *t = (double *)MemAlloc(sizeof(double) * TRANSITION_TABLE_SIZE, 0);
  if (!t) return nullptr;
  double a = 0;
  for (int k = 0; k < TRANSITION_TABLE_SIZE; k++, a += 0.001) t[k] = cosine ? std::cos(a) : std::sin(a);
  return t;
}

int WaterWave(WaterRecord *r) {
  if (r->width < 1 || r->height < 1) return 1000;
  const uint64_t n = (uint64_t)r->width * (uint64_t)r->height;
  if (n * 4 > kMaxPlaneBytes) return 1000;
  r->sine = SineTable(0);
  r->distance = (int32_t *)MemAlloc((size_t)n * 4, 0);
  r->factors = nullptr;
  if (!r->sine || !r->distance) {
    WaterFree(r);
    return 1000;
  }
  int32_t *d = r->distance, largest = 0;
  for (int64_t y = -(r->height / 2); y < r->height - r->height / 2; y++)
    for (int64_t x = -(r->width / 2); x < r->width - r->width / 2; x++) {
      const int64_t s = x * x + y * y;
      const int32_t v = ISqrt(s > INT32_MAX ? INT32_MAX : (int32_t)s);
      *d++ = v;
      if (v > largest) largest = v;
    }
  if (r->maxDistance <= 0) r->maxDistance = largest;
  r->cursor = 0;
  r->factorCount = largest + 1;
  r->factors = (double *)MemAlloc(sizeof(double) * (size_t)r->factorCount, 0);
  if (!r->factors) {
    WaterFree(r);
    return 1000;
  }
  return 0;
}

void WaterFree(WaterRecord *r) {
  MemFree(r->sine);
  MemFree(r->distance);
  MemFree(r->factors);
  r->sine = nullptr;
  r->distance = nullptr;
  r->factors = nullptr;
  r->factorCount = 0;
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

static inline void WaterDisplace(const WaterRecord *r, double a, int32_t x, int32_t y, int32_t *sx, int32_t *sy) {
  const double px = x + (x - r->centreX) * a, py = y + (y - r->centreY) * a;
  int32_t ix = px <= 0 ? 0 : px >= r->width - 1 ? r->width - 1 : (int32_t)px;
  int32_t iy = py <= 0 ? 0 : py >= r->height - 1 ? r->height - 1 : (int32_t)py;
  *sx = ix;
  *sy = iy;
}

void WaterPoint(WaterRecord *r, int32_t s, int32_t x, int32_t y, int32_t *sx, int32_t *sy) {
  WaterDisplace(r, WaterFactor(r, s, r->distance[r->cursor++]), x, y, sx, sy);
}

// Writes destination pixel (x, y) from source point (sx, sy) at level t: the shared tail of the
// water and swirl steps.
template <class L, class R>
static inline void WriteFromPoint(R *r, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t t, uint32_t w) {
  uint8_t *d = r->dst + ((ptrdiff_t)y * r->dstModulo + x) * L::kBytes;
  const uint8_t *tp = r->target + ((ptrdiff_t)sy * r->targetModulo + sx) * L::kBytes;
  if (!r->srcPlane) {
    const uint8_t *sp = r->start + ((ptrdiff_t)sy * r->startModulo + sx) * L::kBytes;
    L::Store(d, MixPixel<L>(L::Load(sp), L::Load(tp), w));
    return;
  }
  const int32_t pv = r->srcPlane[(ptrdiff_t)sy * r->srcPlaneBytesPerRow + sx];
  uint8_t *da = r->dstPlane ? r->dstPlane + (ptrdiff_t)y * r->dstPlaneBytesPerRow + x : nullptr;
  if (pv) {
    L::Store(d, L::Load(tp));
    if (da) *da = (uint8_t)(r->reverse ? pv * (255 - t) / 255 : t * pv / 255);
  } else if (da) {
    *da = 0;
  }
}

template <class L>
static void WaterStepT(WaterRecord *r, int32_t s) {
  if (!r->distance || !r->sine || r->width < 1 || r->height < 1) return;
  const int32_t n = r->halfSteps < 1 ? 1 : r->halfSteps;
  int32_t t = (int32_t)((int64_t)s * 255 / (2 * n));
  t = t < 0 ? 0 : t > 255 ? 255 : t;
  const uint32_t w = LevelWeight(t);
  r->currentAmplitude = (s < n ? s : 2 * n - s) * r->ampPerStep;
  r->cursor = 0;
  // The factor depends on the distance only: one per distance and step, the same value the
  // water point computes.
  const bool table = r->factors && r->factorCount > 0;
  if (table)
    for (int32_t d = 0; d < r->factorCount; d++) r->factors[d] = WaterFactor(r, s, d);
  for (int32_t y = 0; y < r->height; y++)
    for (int32_t x = 0; x < r->width; x++) {
      int32_t sx, sy;
      const int32_t d = r->distance[r->cursor];
      if (table && d >= 0 && d < r->factorCount) {
        r->cursor++;
        WaterDisplace(r, r->factors[d], x, y, &sx, &sy);
      } else {
        WaterPoint(r, s, x, y, &sx, &sy);
      }
      WriteFromPoint<L>(r, x, y, sx, sy, t, w);
    }
}

void WaterStep32(WaterRecord *r, int32_t s) { WithFormat32(r->format, [&](auto l) { WaterStepT<decltype(l)>(r, s); }); }
void WaterStep24(WaterRecord *r, int32_t s) { WithFormat24(r->format, [&](auto l) { WaterStepT<decltype(l)>(r, s); }); }
void WaterStep16(WaterRecord *r, int32_t s) { WithFormat16(r->format, [&](auto l) { WaterStepT<decltype(l)>(r, s); }); }

// ---- Swirl ------------------------------------------------------------------------------------

int StrudelRotate(StrudelRecord *r) {
  r->sine = SineTable(0);
  r->cosine = SineTable(1);
  const int32_t radius = (r->width > r->height ? r->width : r->height) / 2 + 2;
  r->angleCount = radius > 0 ? radius : 0;
  r->angles = r->angleCount ? (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)r->angleCount, 0) : nullptr;
  if (!r->sine || !r->cosine || !r->angles) {
    StrudelFree(r);
    return 1000;
  }
  return 0;
}

void StrudelFree(StrudelRecord *r) {
  MemFree(r->sine);
  MemFree(r->cosine);
  MemFree(r->angles);
  r->sine = r->cosine = nullptr;
  r->angles = nullptr;
  r->angleCount = 0;
}

// ISqrt of a non-negative 32-bit value through the correctly rounded double square root: for
// every n below 2^52 its integer part is the integer square root, so this equals ISqrt(n) and
// lets the compiler keep the loop free of calls.
static inline int32_t SwirlRadius(int32_t n) { return n < 0 ? -1 : (int32_t)std::sqrt((double)n); }

template <class L>
static void StrudelStepT(StrudelRecord *r, int32_t s) {
  if (!r->sine || !r->cosine || r->width < 1 || r->height < 1) return;
  int32_t t = s * 255 / 720;
  t = t < 0 ? 0 : t > 255 ? 255 : t;
  const uint32_t w = LevelWeight(t);
  const double angle = (s <= 359 ? s : 720 - s) * 0.017453292519943295;
  const double cx = r->width / 2.0, cy = r->height / 2.0, R = cx > cy ? cx : cy;
  double fx = 1, fy = 1;
  if (r->width > r->height) fy = (double)r->width / r->height;
  else fx = (double)r->height / r->width;
  const double R2 = R * R;
  const bool stretchX = !(r->width > r->height);
  // The table entry depends on the integer radius only: one per radius and step.
  auto entryOf = [&](int32_t radius) {
    const double q = radius / R, u = 1 - q;
    const double kf = angle * u * u / 0.001;
    return kf <= 0 ? 0 : kf >= TRANSITION_TABLE_SIZE - 1 ? TRANSITION_TABLE_SIZE - 1 : (int32_t)kf;
  };
  const bool table = r->angles && r->angleCount > 0;
  if (table)
    for (int32_t i = 0; i < r->angleCount; i++) r->angles[i] = entryOf(i);
  for (int32_t y = 0; y < r->height; y++) {
    const double dy = (y - cy) * fy;
    for (int32_t x = 0; x < r->width; x++) {
      int32_t sx = x, sy = y;
      const double dx = (x - cx) * fx, dd = dx * dx + dy * dy;
      // Without rotation (the first and the last step) every pixel is its own source.
      if (angle != 0 && dd < R2) {
        const int32_t radius = SwirlRadius((int32_t)dd);
        const int32_t k = table && radius < r->angleCount ? r->angles[radius] : entryOf(radius);
        const double c = r->cosine[k], sn = r->sine[k];
        // One axis is never stretched: its division by 1 is left out.
        double px = dx * c - dy * sn, py = dx * sn + dy * c;
        if (stretchX) px /= fx;
        else py /= fy;
        px += cx;
        py += cy;
        sx = px <= 0 ? 0 : px >= r->width - 1 ? r->width - 1 : (int32_t)px;
        sy = py <= 0 ? 0 : py >= r->height - 1 ? r->height - 1 : (int32_t)py;
      }
      WriteFromPoint<L>(r, x, y, sx, sy, t, w);
    }
  }
}

void StrudelStep32(StrudelRecord *r, int32_t s) { WithFormat32(r->format, [&](auto l) { StrudelStepT<decltype(l)>(r, s); }); }
void StrudelStep24(StrudelRecord *r, int32_t s) { WithFormat24(r->format, [&](auto l) { StrudelStepT<decltype(l)>(r, s); }); }
void StrudelStep16(StrudelRecord *r, int32_t s) { WithFormat16(r->format, [&](auto l) { StrudelStepT<decltype(l)>(r, s); }); }
