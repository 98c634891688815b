// Transition kernels: first and last steps give the start and the target picture, pixel zoom,
// dissolve, roll, and the guarded corner cases (1 x 1 water, block sizes below 1).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "gfx/kernels.h"
#include "gfx/transition_kernels.h"
#include "tests/gfx/gfx_fixture.h"

namespace {

void Compare(const BitMap *a, const BitMap *b, const char *what) {
  for (int32_t y = 0; y < a->height; y++)
    for (int32_t x = 0; x < a->width; x++) ASSERT_EQ(GetRGB(a, x, y), GetRGB(b, x, y)) << what << " " << x << "," << y;
}

WaterRecord Water(BitMap *target, BitMap *start, BitMap *dst) {
  WaterRecord r;
  memset(&r, 0, sizeof r);
  r.target = target->pixels;
  r.start = start->pixels;
  r.dst = dst->pixels;
  r.targetModulo = target->bytesPerRow / target->bytesPerPixel;
  r.startModulo = start->bytesPerRow / start->bytesPerPixel;
  r.dstModulo = dst->bytesPerRow / dst->bytesPerPixel;
  r.width = dst->width;
  r.height = dst->height;
  r.format = dst->format;
  r.centreX = dst->width / 2;
  r.centreY = dst->height / 2;
  r.wavelength = 6;
  r.amplitude = 0.3;
  r.ampPerStep = 0.05;
  r.halfSteps = 10;
  return r;
}

StrudelRecord Swirl(BitMap *target, BitMap *start, BitMap *dst) {
  StrudelRecord r;
  memset(&r, 0, sizeof r);
  r.target = target->pixels;
  r.start = start->pixels;
  r.dst = dst->pixels;
  r.targetModulo = target->bytesPerRow / target->bytesPerPixel;
  r.startModulo = start->bytesPerRow / start->bytesPerPixel;
  r.dstModulo = dst->bytesPerRow / dst->bytesPerPixel;
  r.width = dst->width;
  r.height = dst->height;
  r.format = dst->format;
  return r;
}

void WaterStep(WaterRecord *r, int32_t s, int bpp) {
  if (bpp == 4) WaterStep32(r, s);
  else if (bpp == 3) WaterStep24(r, s);
  else WaterStep16(r, s);
}
void SwirlStep(StrudelRecord *r, int32_t s, int bpp) {
  if (bpp == 4) StrudelStep32(r, s);
  else if (bpp == 3) StrudelStep24(r, s);
  else StrudelStep16(r, s);
}

TEST(TransitionKernels, WaterAndSwirlStartAtTheStartAndEndAtTheTarget) {
  for (PixelFormat f : AllFormats()) {
    for (auto [w, h] : {std::pair<int32_t, int32_t>{13, 9}, {8, 11}, {1, 1}, {1, 5}}) {
      BitMap *target = MakeTestBitMap(f, w, h), *start = MakeTestBitMap(f, w, h), *dst = MakeTestBitMap(f, w, h);
      FillPattern(target, 3);
      FillPattern(start, 4);
      const int bpp = dst->bytesPerPixel;
      WaterRecord wr = Water(target, start, dst);
      ASSERT_EQ(WaterWave(&wr), 0);
      WaterStep(&wr, 0, bpp);
      Compare(dst, start, "water first");
      WaterStep(&wr, 7, bpp);  // a distorted step in between stays inside the pictures
      WaterStep(&wr, 2 * wr.halfSteps, bpp);
      Compare(dst, target, "water last");
      WaterFree(&wr);
      StrudelRecord sr = Swirl(target, start, dst);
      ASSERT_EQ(StrudelRotate(&sr), 0);
      SwirlStep(&sr, 0, bpp);
      Compare(dst, start, "swirl first");
      SwirlStep(&sr, 300, bpp);
      SwirlStep(&sr, 720, bpp);
      Compare(dst, target, "swirl last");
      StrudelFree(&sr);
      FreeTestBitMap(target);
      FreeTestBitMap(start);
      FreeTestBitMap(dst);
    }
  }
}

TEST(TransitionKernels, SwirlRadiusIsTheIntegerSquareRoot) {
  // The swirl takes the integer square root through the double square root; both agree on
  // the squares and their neighbours over the whole 32-bit range.
  for (int64_t m = 0; m <= 46340; m++)
    for (int64_t n : {m * m - 1, m * m, m * m + 1}) {
      if (n < 0 || n > INT32_MAX) continue;
      ASSERT_EQ((int32_t)std::sqrt((double)n), ISqrt((int32_t)n)) << n;
    }
  EXPECT_EQ((int32_t)std::sqrt((double)INT32_MAX), ISqrt(INT32_MAX));
}

TEST(TransitionKernels, WaterWithASourcePlaneWritesTheDestinationPlane) {
  BitMap *target = MakeTestBitMap(PIXFMT_BGRX32, 4, 4), *start = MakeTestBitMap(PIXFMT_BGRX32, 4, 4),
         *dst = MakeTestBitMap(PIXFMT_BGRX32, 4, 4);
  FillPattern(target, 1);
  std::vector<uint8_t> plane(16, 200), out(16, 9);
  plane[5] = 0;
  WaterRecord r = Water(target, start, dst);
  r.srcPlane = plane.data();
  r.srcPlaneBytesPerRow = 4;
  r.dstPlane = out.data();
  r.dstPlaneBytesPerRow = 4;
  r.ampPerStep = 0;
  ASSERT_EQ(WaterWave(&r), 0);
  WaterStep32(&r, 20);
  EXPECT_EQ(out[0], 200);
  EXPECT_EQ(out[5], 0);
  EXPECT_EQ(GetRGB(dst, 0, 0), GetRGB(target, 0, 0));
  r.reverse = 1;
  WaterStep32(&r, 20);
  EXPECT_EQ(out[0], 0);
  WaterFree(&r);
  FreeTestBitMap(target);
  FreeTestBitMap(start);
  FreeTestBitMap(dst);
}

TEST(TransitionKernels, PixelZoomBlocks) {
  for (PixelFormat f : {PIXFMT_BGRX32, PIXFMT_BGR24, PIXFMT_RGB16}) {
    BitMap *src = MakeTestBitMap(f, 7, 5), *dst = MakeTestBitMap(f, 7, 5);
    FillPattern(src, 2);
    TransitionPlanes p;
    memset(&p, 0, sizeof p);
    p.src = src->pixels;
    p.dst = dst->pixels;
    p.srcModulo = src->bytesPerRow / src->bytesPerPixel;
    p.dstModulo = dst->bytesPerRow / dst->bytesPerPixel;
    p.width = 7;
    p.height = 5;
    p.format = f;
    auto zoom = [&](int32_t n) {
      if (src->bytesPerPixel == 4) PixelZoom32(&p, n);
      else if (src->bytesPerPixel == 3) PixelZoom24(&p, n);
      else PixelZoom16(&p, n);
    };
    zoom(1);
    Compare(dst, src, "zoom 1");
    zoom(3);
    for (int32_t y = 0; y < 5; y++)
      for (int32_t x = 0; x < 7; x++) EXPECT_EQ(GetRGB(dst, x, y), GetRGB(src, x / 3 * 3, y / 3 * 3));
    // Block sizes below 1 draw nothing (and end).
    std::vector<uint8_t> before = Snapshot(dst);
    zoom(0);
    zoom(-4);
    EXPECT_EQ(before, Snapshot(dst));
    FreeTestBitMap(src);
    FreeTestBitMap(dst);
  }
  // Mask and alpha: an invisible top-left pixel hides its block.
  BitMap *src = MakeTestBitMap(PIXFMT_BGRX32, 4, 2), *dst = MakeTestBitMap(PIXFMT_BGRX32, 4, 2);
  std::vector<uint8_t> sa = {0, 9, 9, 9, 9, 9, 70, 9}, da(8, 1);
  TransitionPlanes p;
  memset(&p, 0, sizeof p);
  p.src = src->pixels;
  p.dst = dst->pixels;
  p.srcModulo = p.dstModulo = 7;
  p.srcAlpha = sa.data();
  p.dstAlpha = da.data();
  p.srcAlphaBytesPerRow = p.dstAlphaBytesPerRow = 4;
  p.width = 4;
  p.height = 2;
  p.format = PIXFMT_BGRX32;
  PixelZoom32(&p, 2);
  EXPECT_EQ(da, (std::vector<uint8_t>{0, 0, 9, 9, 0, 0, 9, 9}));
  // A source with a mask but no alpha plane, drawn into an alpha plane: a visible block is
  // opaque (writing 0 there would hide the very blocks the mask shows), an invisible one 0.
  uint8_t sm[2] = {0x40, 0x00};  // row 0: pixel 1 set; the block of pixel 0 is invisible
  p.srcAlpha = nullptr;
  p.srcMask = sm;
  p.srcMaskBytesPerRow = 1;
  PixelZoom32(&p, 1);
  EXPECT_EQ(da, (std::vector<uint8_t>{0, 255, 0, 0, 0, 0, 0, 0}));
  FreeTestBitMap(src);
  FreeTestBitMap(dst);
}

TEST(TransitionKernels, WaterPhaseOfAVeryShortWaveIsBroughtIntoRangeQuickly) {
  // A wave far shorter than a pixel puts the phase millions of turns away (or at infinity);
  // taking off one turn at a time would not end in any useful time.
  BitMap *target = MakeTestBitMap(PIXFMT_BGRX32, 40, 30), *start = MakeTestBitMap(PIXFMT_BGRX32, 40, 30),
         *dst = MakeTestBitMap(PIXFMT_BGRX32, 40, 30);
  FillPattern(target, 8);
  FillPattern(start, 9);
  for (double wl : {1e-9, 1e-300}) {
    WaterRecord r = Water(target, start, dst);
    r.wavelength = wl;
    ASSERT_EQ(WaterWave(&r), 0);
    WaterStep32(&r, 3);
    int32_t sx = -1, sy = -1;
    r.cursor = 5;
    WaterPoint(&r, 3, 5, 0, &sx, &sy);
    EXPECT_TRUE(sx >= 0 && sx < 40 && sy >= 0 && sy < 30);
    WaterStep32(&r, 2 * r.halfSteps);
    Compare(dst, target, "short wave last");
    WaterFree(&r);
  }
  FreeTestBitMap(target);
  FreeTestBitMap(start);
  FreeTestBitMap(dst);
}

TEST(TransitionKernels, WaterOfAnInfiniteWaveStaysInsideThePictures) {
  // An infinite wavelength makes the factor infinite; on the centre row and column the offset
  // from the centre is 0, and 0 times infinity is not a number: such a point stays at 0 instead
  // of becoming a coordinate far outside the picture.
  BitMap *target = MakeTestBitMap(PIXFMT_BGRX32, 9, 7), *start = MakeTestBitMap(PIXFMT_BGRX32, 9, 7),
         *dst = MakeTestBitMap(PIXFMT_BGRX32, 9, 7);
  FillPattern(target, 5);
  FillPattern(start, 6);
  WaterRecord r = Water(target, start, dst);
  r.wavelength = INFINITY;
  ASSERT_EQ(WaterWave(&r), 0);
  for (int32_t s = 0; s <= 2 * r.halfSteps; s++) WaterStep32(&r, s);
  Compare(dst, target, "infinite wave last");
  int32_t sx = -1, sy = -1;
  r.cursor = 4 * 9 + 4;
  WaterPoint(&r, 3, 4, 4, &sx, &sy);
  EXPECT_TRUE(sx >= 0 && sx < 9 && sy >= 0 && sy < 7) << sx << "," << sy;
  WaterFree(&r);
  FreeTestBitMap(target);
  FreeTestBitMap(start);
  FreeTestBitMap(dst);
}

TEST(TransitionKernels, DissolveAndRoll) {
  std::vector<uint8_t> th = {0, 50, 100, 150, 200, 250};
  std::vector<uint8_t> src(6, 77), dst(6, 1);
  DissolveRecord d = {src.data(), dst.data(), 6, 1, 6, 6, th.data(), 1, 1};
  DissolveStep(&d, 100);
  EXPECT_EQ(dst, (std::vector<uint8_t>{0, 0, 77, 77, 77, 77}));
  d.direction = 0;
  DissolveStep(&d, 100);
  EXPECT_EQ(dst, (std::vector<uint8_t>{77, 77, 0, 0, 0, 0}));
  uint8_t mask[1] = {0};
  DissolveRecord m = {nullptr, mask, 6, 1, 1, 1, th.data(), 0, 0};
  DissolveStep(&m, 160);
  EXPECT_EQ(mask[0], 0xF0);

  BitMap *s = MakeTestBitMap(PIXFMT_BGRX32, 4, 4), *t = MakeTestBitMap(PIXFMT_BGRX32, 4, 4);
  FillPattern(s, 6);
  RollRecord r;
  memset(&r, 0, sizeof r);
  r.planes.src = s->pixels;
  r.planes.dst = t->pixels;
  r.planes.srcModulo = r.planes.dstModulo = 7;
  r.planes.width = r.planes.height = 4;
  r.planes.format = PIXFMT_BGRX32;
  r.bytesPerPixel = 4;
  std::vector<double> lines(3, 0.0);
  r.lines = lines.data();
  r.count = 3;
  r.position = 2;  // destination rows 0..2 from source row 2
  RollStep(&r);
  EXPECT_EQ(r.copied, 3);
  EXPECT_EQ(r.firstLine, 0);
  for (int32_t x = 0; x < 4; x++) EXPECT_EQ(GetRGB(t, x, 1), GetRGB(s, x, 2));
  r.position = 100;
  RollStep(&r);
  EXPECT_EQ(r.copied, 0);
  EXPECT_EQ(r.firstLine, -100000);
  FreeTestBitMap(s);
  FreeTestBitMap(t);
}

}  // namespace
