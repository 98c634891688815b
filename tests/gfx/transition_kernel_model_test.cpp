// The dissolve, roll, water and swirl kernels against the plain per-pixel code they were first
// written as (kept here as the models): byte for byte, pixels and visibility planes, on random
// pictures of odd sizes with padding between rows, in every pixel format, at many steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"
#include "gfx/transition_kernels.h"
#include "tests/gfx/gfx_fixture.h"

namespace {

// ---- The models -------------------------------------------------------------------------------

int ModelMaskTest(const uint8_t *plane, int32_t bpr, int32_t x, int32_t y) {
  return MaskRowBit(plane + (ptrdiff_t)y * bpr, x);
}
void ModelMaskPut(uint8_t *plane, int32_t bpr, int32_t x, int32_t y, int on) {
  PutMaskRowBit(plane + (ptrdiff_t)y * bpr, x, on);
}
uint32_t ModelLevelWeight(int32_t t) { return t >= 255 ? 256u : t <= 0 ? 0u : (uint32_t)t; }

void ModelDissolve(const DissolveRecord *r, int32_t s) {
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
        const int on = kept && (!r->srcPlane || ModelMaskTest(r->srcPlane, r->srcBytesPerRow, x, y));
        ModelMaskPut(r->dstPlane, r->dstBytesPerRow, x, y, on);
      }
    }
}

template <class S>
void ModelRollLine(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
  for (int32_t j = 0; j < h; j++)
    for (int32_t i = 0; i < w; i++) {
      const int32_t x = sx + i, y = sy + j, X = dx + i, Y = dy + j;
      const uint8_t *s = p->src + ((ptrdiff_t)y * p->srcModulo + x) * S::kBytes;
      uint8_t *d = p->dst + ((ptrdiff_t)Y * p->dstModulo + X) * S::kBytes;
      if (p->srcMask) {
        const int on = ModelMaskTest(p->srcMask, p->srcMaskBytesPerRow, x, y);
        if (on) S::Store(d, S::Load(s));
        if (p->dstMask) ModelMaskPut(p->dstMask, p->dstMaskBytesPerRow, X, Y, on);
      } else if (p->srcAlpha) {
        const uint8_t a = p->srcAlpha[(ptrdiff_t)y * p->srcAlphaBytesPerRow + x];
        if (a) S::Store(d, S::Load(s));
        if (p->dstAlpha) p->dstAlpha[(ptrdiff_t)Y * p->dstAlphaBytesPerRow + X] = a;
      } else {
        S::Store(d, S::Load(s));
      }
    }
}

template <class S>
void ModelRoll(RollRecord *r) {
  r->copied = 0;
  r->firstLine = -100000;
  if (r->count < 1 || !r->lines) return;
  const double f = 2 * M_PI / r->count;
  const int32_t limit = r->columns ? r->planes.width : r->planes.height;
  for (int32_t i = 0; i < r->count; i++) {
    const int64_t dl = (int64_t)r->position - r->count + 1 + i;
    const double off = r->lines[i] / f;
    if (!(off > -1e9 && off < 1e9)) continue;
    const int64_t sl = (int64_t)r->position + (int64_t)off;
    if (dl < 0 || dl >= limit || sl < 0 || sl >= limit) continue;
    if (r->columns) ModelRollLine<S>(&r->planes, (int32_t)sl, 0, 1, r->planes.height, (int32_t)dl, 0);
    else ModelRollLine<S>(&r->planes, 0, (int32_t)sl, r->planes.width, 1, 0, (int32_t)dl);
    if (!r->copied) r->firstLine = (int32_t)dl;
    r->copied++;
  }
}

std::vector<double> ModelSineTable(int cosine) {
  std::vector<double> t(TRANSITION_TABLE_SIZE);
  double a = 0;
  for (int k = 0; k < TRANSITION_TABLE_SIZE; k++, a += 0.001) t[k] = cosine ? std::cos(a) : std::sin(a);
  return t;
}
const std::vector<double> modelSine = ModelSineTable(0), modelCosine = ModelSineTable(1);

template <class L, class R>
void ModelWriteFromPoint(const R *r, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t t, uint32_t w) {
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

// The water step as it computed every pixel's factor from its distance in the frame.
template <class L>
void ModelWater(const WaterRecord *in, int32_t s) {
  WaterRecord rec = *in;
  WaterRecord *r = &rec;
  const std::vector<double> &sine = modelSine;
  std::vector<int32_t> distance;
  for (int64_t y = -(r->height / 2); y < r->height - r->height / 2; y++)
    for (int64_t x = -(r->width / 2); x < r->width - r->width / 2; x++) {
      const int64_t q = x * x + y * y;
      distance.push_back(ISqrt(q > INT32_MAX ? INT32_MAX : (int32_t)q));
    }
  const int32_t n = r->halfSteps < 1 ? 1 : r->halfSteps;
  int32_t t = (int32_t)((int64_t)s * 255 / (2 * n));
  t = t < 0 ? 0 : t > 255 ? 255 : t;
  const uint32_t w = ModelLevelWeight(t);
  const double amplitude = (s < n ? s : 2 * n - s) * r->ampPerStep;
  auto factor = [&](double d) {
    const double D = r->maxDistance, wl = r->wavelength;
    double a = 0;
    if (D > 0 && wl > 0 && amplitude != 0) {
      const double twoPi = 6.28318530717959;
      double phi = (d / wl) * twoPi - s;
      if (!std::isfinite(phi)) return 0.0;
      if (std::fabs(phi) > 1000 * twoPi) phi = std::fmod(phi, twoPi);
      while (phi < 0) phi += twoPi;
      while (phi >= twoPi) phi -= twoPi;
      int32_t k = (int32_t)(phi / 0.001);
      if (k >= TRANSITION_TABLE_SIZE) k = TRANSITION_TABLE_SIZE - 1;
      a = amplitude * sine[k] * (D - d) / D;
      if (d != 0) a *= wl / d;
    }
    return a;
  };
  size_t cursor = 0;
  for (int32_t y = 0; y < r->height; y++)
    for (int32_t x = 0; x < r->width; x++) {
      const double a = factor(distance[cursor++]);
      const double px = x + (x - r->centreX) * a, py = y + (y - r->centreY) * a;
      const int32_t sx = px <= 0 ? 0 : px >= r->width - 1 ? r->width - 1 : (int32_t)px;
      const int32_t sy = py <= 0 ? 0 : py >= r->height - 1 ? r->height - 1 : (int32_t)py;
      ModelWriteFromPoint<L>(r, x, y, sx, sy, t, w);
    }
}

// The swirl step as it worked out every pixel's distance, radius and turn in the frame.
template <class L>
void ModelSwirl(const StrudelRecord *r, int32_t s) {
  const std::vector<double> &sine = modelSine, &cosine = modelCosine;
  int32_t t = s * 255 / 720;
  t = t < 0 ? 0 : t > 255 ? 255 : t;
  const uint32_t w = ModelLevelWeight(t);
  const double angle = (s <= 359 ? s : 720 - s) * 0.017453292519943295;
  const double cx = r->width / 2.0, cy = r->height / 2.0, R = cx > cy ? cx : cy;
  double fx = 1, fy = 1;
  if (r->width > r->height) fy = (double)r->width / r->height;
  else fx = (double)r->height / r->width;
  const double R2 = R * R;
  const bool stretchX = !(r->width > r->height);
  for (int32_t y = 0; y < r->height; y++) {
    const double dy = (y - cy) * fy;
    for (int32_t x = 0; x < r->width; x++) {
      int32_t sx = x, sy = y;
      const double dx = (x - cx) * fx, dd = dx * dx + dy * dy;
      if (angle != 0 && dd < R2) {
        const int32_t radius = (int32_t)std::sqrt((double)(int32_t)dd);
        const double q = radius / R, u = 1 - q;
        const double kf = angle * u * u / 0.001;
        const int32_t k = kf <= 0 ? 0 : kf >= TRANSITION_TABLE_SIZE - 1 ? TRANSITION_TABLE_SIZE - 1 : (int32_t)kf;
        const double c = cosine[k], sn = sine[k];
        double px = dx * c - dy * sn, py = dx * sn + dy * c;
        if (stretchX) px /= fx;
        else py /= fy;
        px += cx;
        py += cy;
        sx = px <= 0 ? 0 : px >= r->width - 1 ? r->width - 1 : (int32_t)px;
        sy = py <= 0 ? 0 : py >= r->height - 1 ? r->height - 1 : (int32_t)py;
      }
      ModelWriteFromPoint<L>(r, x, y, sx, sy, t, w);
    }
  }
}

// ---- Pictures ---------------------------------------------------------------------------------

struct Rng {
  uint32_t s;
  uint32_t Next() {
    s = s * 1103515245u + 12345u;
    return s >> 8 ^ s << 13;
  }
};

// Odd sizes, wide and tall (the swirl stretches the shorter axis), lines and single pixels.
struct Size {
  int32_t width, height;
};
const Size kSizes[] = {{1, 1}, {1, 7}, {9, 1}, {13, 9}, {8, 11}, {31, 17}, {17, 31}, {40, 40}, {259, 3}, {67, 45}};

// A bitmap with padding after every row, every byte random.
BitMap *RandomBitMap(Rng &rng, PixelFormat f, int32_t w, int32_t h) {
  BitMap *bm = MakeTestBitMap(f, w, h, 1 + (int32_t)(rng.Next() % 5));
  for (int32_t i = 0; i < bm->bytesPerRow * h; i++) bm->pixels[i] = (uint8_t)rng.Next();
  return bm;
}
// A plane of `bytesPerRow` x h random bytes; with `sparse` about a quarter of them 0 and a
// quarter 255.
std::vector<uint8_t> RandomPlane(Rng &rng, int32_t bytesPerRow, int32_t h, bool sparse = false) {
  std::vector<uint8_t> p((size_t)bytesPerRow * h);
  for (uint8_t &b : p) {
    b = (uint8_t)rng.Next();
    if (sparse && rng.Next() % 2) b = rng.Next() % 2 ? 0 : 255;
  }
  return p;
}

int32_t Modulo(const BitMap *bm) { return bm->bytesPerRow / bm->bytesPerPixel; }

// A copy of a bitmap with the same rows.
BitMap *Clone(const BitMap *bm) {
  BitMap *c = MakeTestBitMap(bm->format, bm->width, bm->height, Modulo(bm) - bm->width);
  memcpy(c->pixels, bm->pixels, (size_t)bm->bytesPerRow * bm->height);
  return c;
}

// ---- Dissolve ---------------------------------------------------------------------------------

TEST(TransitionKernelModel, DissolveMatchesTheModel) {
  Rng rng{3};
  for (const Size &z : kSizes)
    for (int alpha = 0; alpha <= 1; alpha++)
      for (int direction = 0; direction <= 1; direction++)
        for (int withSource = 0; withSource <= 1; withSource++) {
          const int32_t bpr = alpha ? z.width + 3 : z.width / 8 + 2;
          std::vector<uint8_t> th = RandomPlane(rng, z.width, z.height), src = RandomPlane(rng, bpr, z.height, true);
          // Thresholds of every value the effect draws, and 255 which it does not.
          for (uint8_t &b : th) b = (uint8_t)(rng.Next() % 257 > 255 ? 255 : b % 255);
          std::vector<uint8_t> want = RandomPlane(rng, bpr, z.height), got = want;
          DissolveRecord r{withSource ? src.data() : nullptr, nullptr, z.width, z.height, bpr, bpr, th.data(),
                           alpha, direction};
          for (int32_t s : {-3, 0, 1, 77, 128, 254, 255, 256, 400}) {
            r.dstPlane = want.data();
            ModelDissolve(&r, s);
            r.dstPlane = got.data();
            DissolveStep(&r, s);
            ASSERT_EQ(want, got) << z.width << "x" << z.height << " alpha " << alpha << " direction " << direction
                                 << " source " << withSource << " step " << s;
          }
        }
}

// ---- Roll -------------------------------------------------------------------------------------

TEST(TransitionKernelModel, RollMatchesTheModel) {
  Rng rng{5};
  for (PixelFormat f : {PIXFMT_BGRX32, PIXFMT_RGB24, PIXFMT_RGB16})
    for (const Size &z : kSizes)
      for (int columns = 0; columns <= 1; columns++)
        for (int planes = 0; planes < 4; planes++) {  // none, mask, alpha, source plane only
          BitMap *src = RandomBitMap(rng, f, z.width, z.height);
          BitMap *want = RandomBitMap(rng, f, z.width, z.height), *got = Clone(want);
          const int32_t bpr = planes == 1 ? z.width / 8 + 2 : z.width + 2;
          std::vector<uint8_t> srcPlane = RandomPlane(rng, bpr, z.height, true);
          std::vector<uint8_t> wantPlane = RandomPlane(rng, bpr, z.height), gotPlane = wantPlane;
          // More lines than the picture has (positions past both ends), angles as the effect
          // makes them and a few that are not finite.
          const int32_t lines = (columns ? z.width : z.height) + 300;
          std::vector<double> arc(lines);
          for (int32_t i = 0; i < lines; i++) arc[i] = std::asin(1.0 - 2.0 * i / lines) + M_PI / 2;
          arc[lines / 3] = NAN;
          arc[lines / 2] = INFINITY;
          RollRecord r;
          memset(&r, 0, sizeof r);
          r.planes.srcModulo = Modulo(src);
          r.planes.dstModulo = Modulo(want);
          r.planes.width = z.width;
          r.planes.height = z.height;
          r.planes.format = f;
          r.planes.src = src->pixels;
          r.lines = arc.data();
          r.count = lines;
          r.columns = columns;
          r.bytesPerPixel = src->bytesPerPixel;
          for (int32_t position : {0, 1, 5, z.width / 2, lines - 1, lines + 3}) {
            r.position = position;
            RollRecord m = r;
            auto use = [&](RollRecord *k, BitMap *dst, std::vector<uint8_t> &plane) {
              k->planes.dst = dst->pixels;
              if (planes == 1) {
                k->planes.srcMask = srcPlane.data();
                k->planes.dstMask = plane.data();
                k->planes.srcMaskBytesPerRow = k->planes.dstMaskBytesPerRow = bpr;
              } else if (planes >= 2) {
                k->planes.srcAlpha = srcPlane.data();
                k->planes.dstAlpha = planes == 2 ? plane.data() : nullptr;
                k->planes.srcAlphaBytesPerRow = k->planes.dstAlphaBytesPerRow = bpr;
              }
            };
            use(&m, want, wantPlane);
            use(&r, got, gotPlane);
            if (src->bytesPerPixel == 4) ModelRoll<PixSize32>(&m);
            else if (src->bytesPerPixel == 3) ModelRoll<PixSize24>(&m);
            else ModelRoll<PixSize16>(&m);
            RollStep(&r);
            const std::string what = std::to_string(z.width) + "x" + std::to_string(z.height) + " format " +
                                     std::to_string(f) + " columns " + std::to_string(columns) + " planes " +
                                     std::to_string(planes) + " position " + std::to_string(position);
            ASSERT_EQ(m.copied, r.copied) << what;
            ASSERT_EQ(m.firstLine, r.firstLine) << what;
            ASSERT_EQ(Snapshot(want), Snapshot(got)) << what;
            ASSERT_EQ(wantPlane, gotPlane) << what;
          }
          FreeTestBitMap(src);
          FreeTestBitMap(want);
          FreeTestBitMap(got);
        }
}

// ---- Water and swirl --------------------------------------------------------------------------

// The frames of a water or swirl record at the given steps, drawn by the kernel and by the
// model into copies of the same destination (and destination plane), must be the same bytes.
// Planes: 0 none, 1 a source plane and a destination plane, 2 a source plane only.
template <class R, class Kernel, class Model>
void CompareFrames(Rng &rng, PixelFormat f, const Size &z, int planes, int reverse, const std::vector<int32_t> &steps,
                   R base, Kernel kernel, Model model, const char *what) {
  BitMap *target = RandomBitMap(rng, f, z.width, z.height), *start = RandomBitMap(rng, f, z.width, z.height);
  BitMap *want = RandomBitMap(rng, f, z.width, z.height), *got = Clone(want);
  const int32_t bpr = z.width + 1 + (int32_t)(rng.Next() % 4);
  std::vector<uint8_t> srcPlane = RandomPlane(rng, bpr, z.height, true);
  std::vector<uint8_t> wantPlane = RandomPlane(rng, bpr, z.height), gotPlane = wantPlane;
  base.target = target->pixels;
  base.start = start->pixels;
  base.targetModulo = Modulo(target);
  base.startModulo = Modulo(start);
  base.dstModulo = Modulo(want);
  base.format = f;
  base.reverse = reverse;
  if (planes) {
    base.srcPlane = srcPlane.data();
    base.srcPlaneBytesPerRow = base.dstPlaneBytesPerRow = bpr;
  }
  for (int32_t s : steps) {
    R m = base;
    m.dst = want->pixels;
    m.dstPlane = planes == 1 ? wantPlane.data() : nullptr;
    model(&m, s);
    base.dst = got->pixels;
    base.dstPlane = planes == 1 ? gotPlane.data() : nullptr;
    kernel(&base, s);
    ASSERT_EQ(Snapshot(want), Snapshot(got)) << what << " " << z.width << "x" << z.height << " format " << (int)f
                                             << " planes " << planes << " reverse " << reverse << " step " << s;
    ASSERT_EQ(wantPlane, gotPlane) << what << " plane, step " << s;
  }
  FreeTestBitMap(target);
  FreeTestBitMap(start);
  FreeTestBitMap(want);
  FreeTestBitMap(got);
}

template <class R>
void KernelFor(PixelFormat f, R *r, int32_t s, void (*k32)(R *, int32_t), void (*k24)(R *, int32_t),
               void (*k16)(R *, int32_t)) {
  const int bytes = PixelFormatBytes(f);
  (bytes == 4 ? k32 : bytes == 3 ? k24 : k16)(r, s);
}

struct Wave {
  double wavelength, maxDistance;
  int32_t halfSteps;
};

// Water of a wave on a picture of the size, at steps 0 to 2N, against the model.
void CompareWater(Rng &rng, PixelFormat f, const Size &z, int planes, int reverse, const Wave &wave) {
  WaterRecord r;
  memset(&r, 0, sizeof r);
  r.width = z.width;
  r.height = z.height;
  r.centreX = z.width / 2;
  r.centreY = z.height / 2;
  r.wavelength = wave.wavelength;
  r.maxDistance = wave.maxDistance;
  r.ampPerStep = 0.05;
  r.halfSteps = wave.halfSteps;
  ASSERT_EQ(WaterWave(&r), 0);
  std::vector<int32_t> steps;
  for (int32_t s = 0; s <= 2 * wave.halfSteps; s++) steps.push_back(s);
  CompareFrames(
      rng, f, z, planes, reverse, steps, r,
      [&](WaterRecord *k, int32_t s) { KernelFor(f, k, s, WaterStep32, WaterStep24, WaterStep16); },
      [&](WaterRecord *m, int32_t s) { WithFormat(f, [&](auto l) { ModelWater<decltype(l)>(m, s); }); }, "water");
  WaterFree(&r);
}

// The swirl on a picture of the size at the steps, against the model.
void CompareSwirl(Rng &rng, PixelFormat f, const Size &z, int planes, int reverse, const std::vector<int32_t> &steps) {
  StrudelRecord r;
  memset(&r, 0, sizeof r);
  r.width = z.width;
  r.height = z.height;
  ASSERT_EQ(StrudelRotate(&r), 0);
  CompareFrames(
      rng, f, z, planes, reverse, steps, r,
      [&](StrudelRecord *k, int32_t s) { KernelFor(f, k, s, StrudelStep32, StrudelStep24, StrudelStep16); },
      [&](StrudelRecord *m, int32_t s) { WithFormat(f, [&](auto l) { ModelSwirl<decltype(l)>(m, s); }); }, "swirl");
  StrudelFree(&r);
}

TEST(TransitionKernelModel, WaterMatchesTheModel) {
  Rng rng{7};
  // The effect's wavelengths and speeds, a short wave, and a given largest distance.
  const Wave waves[] = {{32, 0, 5}, {8, 0, 25}, {3, 0, 4}, {16, 20, 6}};
  for (PixelFormat f : AllFormats())
    for (const Size &z : kSizes)
      for (const Wave &wave : waves)
        for (int planes = 0; planes < 3; planes++) CompareWater(rng, f, z, planes, planes == 1 && z.width % 2, wave);
}

TEST(TransitionKernelModel, SwirlMatchesTheModel) {
  Rng rng{9};
  std::vector<int32_t> steps = {0, 1, 2, 359, 360, 361, 718, 719, 720};
  for (int32_t s = 3; s < 720; s += 17) steps.push_back(s);
  for (PixelFormat f : AllFormats())
    for (const Size &z : kSizes)
      for (int planes = 0; planes < 3; planes++) CompareSwirl(rng, f, z, planes, planes == 1 && z.height % 2, steps);
}

// Pictures of 64 rows and more are drawn in bands of rows at the same time: the frames must
// be the same as the model's all the same, at the bands' edges too.
TEST(TransitionKernelModel, WaterAndSwirlInBandsMatchTheModel) {
  Rng rng{11};
  for (PixelFormat f : {PIXFMT_BGRX32, PIXFMT_RGB24, PIXFMT_RGB16})
    for (const Size &z : {Size{211, 130}, Size{97, 301}})
      for (int planes = 0; planes < 3; planes++) {
        CompareWater(rng, f, z, planes, planes == 1, Wave{16, 0, 4});
        CompareSwirl(rng, f, z, planes, 0, {0, 90, 359, 500, 720});
      }
}

}  // namespace
