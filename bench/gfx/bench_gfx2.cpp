// Speed of scaling, transformation and the water and swirl transition steps, measured in the
// same run as memcpy of the same bytes:
//   nearest scaling        ratio to memcpy of the destination bytes   (goal >= 0.5)
//   smooth scaling         destination megapixels per second          (goal >= 150)
//   nearest / smooth turn  destination megapixels per second          (goal >= 100 / >= 40)
//   water / swirl step     milliseconds per step at 640 x 480         (goal <= 5)
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bench/bench_timing.h"
#include "gfx/bitmap.h"
#include "gfx/scale.h"
#include "gfx/transition_kernels.h"
#include "runtime/memory.h"

namespace {

BitMap *Picture(int32_t w, int32_t h) {
  BitMap *bm = AllocBitMap(w, h);
  uint32_t s = 12345;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      s = s * 1103515245u + 12345;
      memcpy(bm->pixels + (ptrdiff_t)y * bm->bytesPerRow + x * 4, &s, 4);
    }
  return bm;
}

const char *Verdict(bool ok) { return ok ? "ok" : "BELOW GOAL"; }

}  // namespace

int main() {
  const int32_t sw = 640, sh = 480;
  BitMap *src = Picture(sw, sh);
  printf("%-34s %10s %10s %s\n", "operation", "measured", "goal", "");

  // Scaling up 2x and down to 0.75 into a kept target (the redraw path: no allocation).
  struct ScaleCase { const char *name; int32_t w, h; };
  const ScaleCase cases[] = {{"640x480 -> 1280x960", 1280, 960}, {"640x480 -> 480x360", 480, 360}};
  for (const ScaleCase &c : cases) {
    BitMap *dst = AllocBitMap(c.w, c.h);
    const size_t bytes = (size_t)c.w * c.h * 4;
    uint8_t *a = (uint8_t *)MemAlloc(bytes, 1), *b = (uint8_t *)MemAlloc(bytes, 1);
    // Real memory on both sides: pages that were only ever cleared may all be the one shared
    // zero page, which copies from the cache and makes the reference unfairly fast.
    memset(a, 0x5A, bytes);
    const double tCopy = BenchBestTime([&] { memcpy(b, a, bytes); }, 500, 0.2, 3);
    const double tNear = BenchBestTime([&] { ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, dst, sw, sh, c.w, c.h, 0, nullptr, nullptr, nullptr); }, 500, 0.2, 3);
    const double tSmooth = BenchBestTime([&] { ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, dst, sw, sh, c.w, c.h, 1, nullptr, nullptr, nullptr); }, 500, 0.2, 3);
    const double ratio = tCopy / tNear, mpx = (double)c.w * c.h / tSmooth / 1e6;
    printf("nearest scale %-20s %9.2fx %9s  %s (ratio to memcpy; %.1f us vs %.1f us)\n", c.name, ratio, ">= 0.50",
           Verdict(ratio >= 0.5), tNear * 1e6, tCopy * 1e6);
    printf("smooth scale  %-20s %7.0f Mpx/s %5s  %s\n", c.name, mpx, ">= 150", Verdict(mpx >= 150));
    MemFree(a);
    MemFree(b);
    FreeBitMap(dst);
  }

  // Rotation by 30 degrees of the whole picture (the planes are made once; the timed part is
  // the per-pixel mapping).
  const double ang = 30 * M_PI / 180;
  const Matrix2D m = {std::cos(ang), std::sin(ang), -std::sin(ang), std::cos(ang)};
  int32_t tw, th;
  double minX, minY;
  TransformedSize(&m, sw, sh, &tw, &th, &minX, &minY);
  BitMap *turned = AllocBitMap(tw, th);
  Mask *tmask = AllocMask(nullptr, tw, th, 1);
  for (int smooth = 0; smooth < 2; smooth++) {
    TransformParams p;
    memset(&p, 0, sizeof p);
    p.src = src->pixels;
    p.srcModulo = sw;
    p.srcWidth = sw;
    p.srcHeight = sh;
    p.dst = turned->pixels;
    p.dstModulo = tw;
    p.dstWidth = tw;
    p.dstHeight = th;
    p.dstMask = tmask->pixels;
    p.dstMaskBytesPerRow = tmask->bytesPerRow;
    p.format = src->format;
    p.bytesPerPixel = 4;
    p.m = m;
    p.tx = -minX;
    p.ty = -minY;
    p.smooth = smooth;
    const double t = BenchBestTime([&] { TransformBitMap(&p); }, 500, 0.2, 3);
    const double mpx = (double)sw * sh / t / 1e6;  // source pixels drawn (the covered area)
    const double goal = smooth ? 40 : 100;
    printf("%-34s %7.0f Mpx/s %5s%-3.0f %s\n", smooth ? "smooth rotation 30 deg 640x480" : "nearest rotation 30 deg 640x480",
           mpx, ">= ", goal, Verdict(mpx >= goal));
  }
  FreeBitMap(turned);
  FreeMask(tmask);

  // Water and swirl steps at 640 x 480.
  BitMap *target = Picture(sw, sh), *out = AllocBitMap(sw, sh);
  WaterRecord w;
  memset(&w, 0, sizeof w);
  w.target = target->pixels;
  w.start = src->pixels;
  w.dst = out->pixels;
  w.targetModulo = w.startModulo = w.dstModulo = sw;
  w.width = sw;
  w.height = sh;
  w.format = src->format;
  w.centreX = sw / 2;
  w.centreY = sh / 2;
  w.wavelength = 40;
  w.amplitude = 0.2;
  w.ampPerStep = 0.01;
  w.halfSteps = 25;
  if (WaterWave(&w) == 0) {
    const double t = BenchBestTime([&] { WaterStep32(&w, 17); }, 500, 0.2, 3) * 1000;
    printf("%-34s %8.2f ms %6s  %s\n", "water step 640x480", t, "<= 5", Verdict(t <= 5));
    WaterFree(&w);
  }
  StrudelRecord s;
  memset(&s, 0, sizeof s);
  s.target = target->pixels;
  s.start = src->pixels;
  s.dst = out->pixels;
  s.targetModulo = s.startModulo = s.dstModulo = sw;
  s.width = sw;
  s.height = sh;
  s.format = src->format;
  if (StrudelRotate(&s) == 0) {
    const double t = BenchBestTime([&] { StrudelStep32(&s, 300); }, 500, 0.2, 3) * 1000;
    printf("%-34s %8.2f ms %6s  %s\n", "swirl step 640x480", t, "<= 5", Verdict(t <= 5));
    StrudelFree(&s);
  }
  FreeBitMap(target);
  FreeBitMap(out);
  FreeBitMap(src);
  FreeStepTables();
  return 0;
}
