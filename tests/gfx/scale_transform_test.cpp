// Scaling (nearest and smooth, exact bytes of pixels, mask and alpha), the step tables, the
// affine transformation of the triple, and a picture for the eye written as PNG.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "gfx/bitmap.h"
#include "gfx/picload.h"
#include "gfx/scale.h"
#include "platform/os.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "tests/gfx/gfx_fixture.h"

namespace {

// A format-11 picture whose pixel (x, y) is Colour(x, y).
uint32_t Colour(int32_t x, int32_t y) { return (uint32_t)(x * 40 + 7) << 16 | (uint32_t)(y * 50 + 3) << 8 | (uint32_t)(x * y * 9 + 1); }

BitMap *Picture(int32_t w, int32_t h) {
  BitMap *bm = AllocBitMap(w, h);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) SetRGB(bm, x, y, Colour(x, y));
  return bm;
}

uint8_t AlphaAt(const AlphaChannel *a, int32_t x, int32_t y) { return a->pixels[(ptrdiff_t)y * a->bytesPerRow + x]; }

TEST(Scale, NearestReadsTheSourceColumnsOfTheFixedPointSteps) {
  struct Case { int32_t sw, sh, nw, nh; };
  for (Case c : {Case{2, 1, 4, 1}, Case{4, 2, 2, 1}, Case{4, 3, 8, 6}, Case{5, 3, 3, 7}, Case{7, 5, 7, 5}}) {
    BitMap *src = Picture(c.sw, c.sh);
    Mask *mask = AllocMask(src, c.sw, c.sh, 1);
    AlphaChannel *alpha = AllocAlphaChannel(c.sw, c.sh, 1);
    for (int32_t y = 0; y < c.sh; y++)
      for (int32_t x = 0; x < c.sw; x++) {
        SetMaskBit(mask, x, y, (x + y) % 2 == 0);
        alpha->pixels[y * alpha->bytesPerRow + x] = (uint8_t)(x * 30 + y * 7 + 1);
      }
    BitMap *ob = nullptr;
    Mask *om = nullptr;
    AlphaChannel *oa = nullptr;
    ASSERT_EQ(ScaleBitMapTriple(src, mask, alpha, 0, 0, nullptr, c.sw, c.sh, c.nw, c.nh, 0, &ob, &om, &oa), 0);
    ASSERT_TRUE(ob && om && oa);
    const uint32_t sxStep = (uint32_t)((double)c.sw * 65536.0 / c.nw), syStep = (uint32_t)((double)c.sh * 65536.0 / c.nh);
    for (int32_t j = 0; j < c.nh; j++)
      for (int32_t k = 0; k < c.nw; k++) {
        const int32_t x = (int32_t)(((uint64_t)k * sxStep) >> 16), y = (int32_t)(((uint64_t)j * syStep) >> 16);
        ASSERT_EQ(0, memcmp(PixelPtr(ob, k, j), PixelPtr(src, x, y), 4)) << k << "," << j;
        EXPECT_EQ(MaskBit(om, k, j), MaskBit(mask, x, y));
        EXPECT_EQ(AlphaAt(oa, k, j), AlphaAt(alpha, x, y));
      }
    FreeBitMap(ob);
    FreeMask(om);
    FreeAlphaChannel(oa);
    FreeBitMap(src);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
  }
}

TEST(Scale, TwoToFourAndFourToTwo) {
  BitMap *src = Picture(4, 1);
  BitMap *a = nullptr, *b = nullptr;
  ASSERT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, nullptr, 2, 1, 4, 1, 0, &a, nullptr, nullptr), 0);
  ASSERT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, nullptr, 4, 1, 2, 1, 0, &b, nullptr, nullptr), 0);
  const int32_t up[4] = {0, 0, 1, 1}, down[2] = {0, 2};
  for (int k = 0; k < 4; k++) EXPECT_EQ(GetRGB(a, k, 0), Colour(up[k], 0));
  for (int k = 0; k < 2; k++) EXPECT_EQ(GetRGB(b, k, 0), Colour(down[k], 0));
  FreeBitMap(a);
  FreeBitMap(b);
  FreeBitMap(src);
}

TEST(Scale, SmoothGivesTheFixedPointMixExactly) {
  BitMap *src = AllocBitMap(2, 1);
  SetRGB(src, 0, 0, 0x000000);
  SetRGB(src, 1, 0, 0xFF640A);
  AlphaChannel *alpha = AllocAlphaChannel(2, 1, 1);
  alpha->pixels[1] = 200;
  BitMap *out = nullptr;
  AlphaChannel *oa = nullptr;
  ASSERT_EQ(ScaleBitMapTriple(src, nullptr, alpha, 0, 0, nullptr, 2, 1, 3, 1, 1, &out, nullptr, &oa), 0);
  // step = trunc(1 * 65536 / 3) = 21845: fractions 0, 21845, 43690 of the first pair.
  EXPECT_EQ(GetRGB(out, 0, 0), 0x000000u);
  EXPECT_EQ(GetRGB(out, 1, 0), (84u << 16) | (33u << 8) | 3u);
  EXPECT_EQ(GetRGB(out, 2, 0), (169u << 16) | (66u << 8) | 6u);
  EXPECT_EQ(AlphaAt(oa, 0, 0), 0);
  EXPECT_EQ(AlphaAt(oa, 1, 0), 66);
  EXPECT_EQ(AlphaAt(oa, 2, 0), 133);
  FreeBitMap(out);
  FreeAlphaChannel(oa);
  FreeBitMap(src);
  FreeAlphaChannel(alpha);
}

TEST(Scale, SmoothOfOnePixelWideOrHighSourceStaysInsideIt) {
  // Bitmaps exactly as large as the picture: a read past the last column or row leaves the
  // buffer (the sanitizer build catches it); the values show the fraction is 0 there.
  struct Case { int32_t sw, sh, nw, nh; };
  for (Case c : {Case{1, 3, 4, 6}, Case{3, 1, 7, 4}, Case{1, 1, 5, 5}}) {
    BitMap *src = Picture(c.sw, c.sh);
    AlphaChannel *alpha = AllocAlphaChannel(c.sw, c.sh, 1);
    memset(alpha->pixels, 77, (size_t)alpha->bytesPerRow * c.sh);
    BitMap *out = nullptr;
    AlphaChannel *oa = nullptr;
    ASSERT_EQ(ScaleBitMapTriple(src, nullptr, alpha, 0, 0, nullptr, c.sw, c.sh, c.nw, c.nh, 1, &out, nullptr, &oa), 0);
    for (int32_t j = 0; j < c.nh; j++)
      for (int32_t k = 0; k < c.nw; k++) {
        const uint32_t want = c.sw == 1 && c.sh == 1 ? Colour(0, 0) : c.sw == 1 ? GetRGB(out, 0, j) : GetRGB(out, k, 0);
        EXPECT_EQ(GetRGB(out, k, j), want);
      }
    for (int32_t j = 0; j < c.nh; j++)
      for (int32_t k = 0; k < c.nw; k++) EXPECT_EQ(AlphaAt(oa, k, j), 77);
    FreeBitMap(out);
    FreeAlphaChannel(oa);
    FreeBitMap(src);
    FreeAlphaChannel(alpha);
  }
}

TEST(Scale, EveryPixelFormatIntoATargetAndEdgeCases) {
  for (PixelFormat f : AllFormats()) {
    BitMap *src = MakeTestBitMap(f, 3, 2);
    BitMap *dst = MakeTestBitMap(f, 6, 4);
    FillPattern(src, 5);
    std::vector<uint8_t> before = Snapshot(dst);
    ASSERT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, dst, 3, 2, 6, 4, 0, nullptr, nullptr, nullptr), 0);
    for (int32_t j = 0; j < 4; j++)
      for (int32_t k = 0; k < 6; k++)
        EXPECT_EQ(0, memcmp(PixelPtr(dst, k, j), PixelPtr(src, k / 2, j / 2), dst->bytesPerPixel)) << f;
    // The padding of the target's rows stays untouched.
    std::vector<uint8_t> after = Snapshot(dst);
    for (int32_t j = 0; j < 4; j++)
      for (int32_t b = 6 * dst->bytesPerPixel; b < dst->bytesPerRow; b++)
        EXPECT_EQ(after[j * dst->bytesPerRow + b], before[j * dst->bytesPerRow + b]);
    // Into a new (format 11) bitmap: the same colours, converted; smooth of two equal rows
    // stays exact too.
    for (int smooth = 0; smooth < 2; smooth++) {
      BitMap *made = nullptr;
      ASSERT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, nullptr, 3, 2, 6, 4, smooth, &made, nullptr, nullptr), 0);
      for (int32_t j = 0; j < 4 && !smooth; j++)
        for (int32_t k = 0; k < 6; k++) EXPECT_EQ(GetRGB(made, k, j), GetRGB(src, k / 2, j / 2)) << f;
      EXPECT_EQ(GetRGB(made, 0, 0), GetRGB(src, 0, 0));
      FreeBitMap(made);
    }
    // Smooth of a uniform picture stays uniform in every format.
    BitMap *flat = MakeTestBitMap(f, 3, 3);
    const uint32_t c = Representable(0x80C040, f);
    for (int32_t y = 0; y < 3; y++)
      for (int32_t x = 0; x < 3; x++) SetRGB(flat, x, y, c);
    ASSERT_EQ(ScaleBitMapTriple(flat, nullptr, nullptr, 0, 0, dst, 3, 3, 5, 4, 1, nullptr, nullptr, nullptr), 0);
    for (int32_t j = 0; j < 4; j++)
      for (int32_t k = 0; k < 5; k++) EXPECT_EQ(GetRGB(dst, k, j), c) << f;
    FreeTestBitMap(flat);
    FreeTestBitMap(src);
    FreeTestBitMap(dst);
  }
  BitMap *src = Picture(4, 4);
  BitMap *out = (BitMap *)1;
  EXPECT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, nullptr, 4, 4, 0, 5, 0, &out, nullptr, nullptr), 0);
  EXPECT_EQ(out, (BitMap *)1);  // a new size below 1 stores nothing
  EXPECT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 2, 2, nullptr, 4, 4, 8, 8, 0, &out, nullptr, nullptr), 1055);
  // A corner offset reads from there.
  out = nullptr;
  ASSERT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 1, 2, nullptr, 2, 2, 2, 2, 0, &out, nullptr, nullptr), 0);
  EXPECT_EQ(GetRGB(out, 1, 1), Colour(2, 3));
  FreeBitMap(out);
  FreeBitMap(src);
  FreeScaleTables(nullptr);
  FreeScaleTables(nullptr);  // twice is harmless
}

// The scaler against a plain per-pixel model of the fixed-point sampling, in every format and
// over sizes that take every row path (enlargements, reductions by more than a half, rows
// wide enough for the vector forms), with a source corner offset and all three planes.
struct ScaleModel {
  static uint32_t Step(int32_t from, int32_t to) { return (uint32_t)((double)(float)from * 65536.0 / (double)(float)to); }
  static int32_t Lerp(int32_t tl, int32_t tr, int32_t bl, int32_t br, int32_t fx, int32_t fy) {
    const int32_t top = (tl + (((tr - tl) * fx) >> 16)) & 255, bottom = (bl + (((br - bl) * fx) >> 16)) & 255;
    return top + (((bottom - top) * fy) >> 16);
  }
};

TEST(Scale, EveryFormatAndSizeMatchesThePerPixelModel) {
  uint32_t seed = 99;
  auto rnd = [&](int32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (int32_t)((seed >> 8) % (uint32_t)n);
  };
  // Fixed sizes that reach the ends of long rows in both directions, then random ones.
  const int32_t fixed[][2] = {{70, 53}, {64, 90}, {40, 17}, {33, 100}, {100, 33}, {48, 47}};
  for (PixelFormat f : AllFormats())
    for (int round = 0; round < 24; round++) {
      int32_t sw = 1 + rnd(round < 6 ? 9 : 70), sh = 1 + rnd(9), nw = 1 + rnd(round % 3 ? 90 : 12);
      const int32_t nh = 1 + rnd(12), ox = rnd(4), oy = rnd(3), smooth = round & 1;
      if (round >= 12) {
        sw = fixed[(round - 12) / 2][0];
        nw = fixed[(round - 12) / 2][1];
      }
      BitMap *src = MakeTestBitMap(f, sw + ox, sh + oy, 0), *dst = MakeTestBitMap(f, nw, nh);
      FillPattern(src, (uint32_t)round + 1);
      Mask *mask = AllocMask(nullptr, sw + ox, sh + oy, 1), *om = AllocMask(nullptr, nw, nh, 1);
      AlphaChannel *alpha = AllocAlphaChannel(sw + ox, sh + oy, 1), *oa = AllocAlphaChannel(nw, nh, 1);
      for (int32_t y = 0; y < sh + oy; y++)
        for (int32_t x = 0; x < sw + ox; x++) {
          SetMaskBit(mask, x, y, rnd(3) != 0);
          alpha->pixels[(ptrdiff_t)y * alpha->bytesPerRow + x] = (uint8_t)rnd(256);
        }
      const bool withMask = round % 4 < 2;  // the smooth alpha is mixed whether or not a mask is scaled
      ScaleParams p;
      memset(&p, 0, sizeof p);
      p.src = PixelPtr(src, ox, oy);
      p.dst = dst->pixels;
      p.srcMask = withMask ? mask->pixels + (ptrdiff_t)oy * mask->bytesPerRow : nullptr;
      p.dstMask = withMask ? om->pixels : nullptr;
      p.srcMaskBitX = ox;
      p.srcAlpha = alpha->pixels + (ptrdiff_t)oy * alpha->bytesPerRow + ox;
      p.dstAlpha = oa->pixels;
      p.srcWidth = sw;
      p.srcHeight = sh;
      p.dstWidth = nw;
      p.dstHeight = nh;
      p.srcModulo = src->bytesPerRow / src->bytesPerPixel;
      p.dstModulo = dst->bytesPerRow / dst->bytesPerPixel;
      p.srcMaskBytesPerRow = mask->bytesPerRow;
      p.dstMaskBytesPerRow = om->bytesPerRow;
      p.srcAlphaBytesPerRow = alpha->bytesPerRow;
      p.dstAlphaBytesPerRow = oa->bytesPerRow;
      p.smooth = smooth;
      p.format = f;
      p.bytesPerPixel = src->bytesPerPixel;
      ASSERT_EQ(ScaleStepTables(&p), 0);
      ScaleBitMap(&p);
      const uint64_t cs = ScaleModel::Step(sw - smooth, nw), rs = ScaleModel::Step(sh - smooth, nh);
      for (int32_t j = 0; j < nh; j++)
        for (int32_t k = 0; k < nw; k++) {
          const int32_t x = (int32_t)((k * cs) >> 16), y = (int32_t)((j * rs) >> 16);
          const int32_t fx = (int32_t)((k * cs) & 0xFFFF), fy = (int32_t)((j * rs) & 0xFFFF);
          const int32_t x1 = x + 1 < sw ? x + 1 : x, y1 = y + 1 < sh ? y + 1 : y;
          const auto at = [&](int32_t xx, int32_t yy) { return alpha->pixels[(ptrdiff_t)(oy + yy) * alpha->bytesPerRow + ox + xx]; };
          const char *what = smooth ? "smooth" : "nearest";
          if (!smooth) {
            ASSERT_EQ(0, memcmp(PixelPtr(dst, k, j), PixelPtr(src, ox + x, oy + y), dst->bytesPerPixel))
                << what << " format " << f << " " << sw << "x" << sh << "->" << nw << "x" << nh << " at " << k << "," << j;
            ASSERT_EQ(oa->pixels[(ptrdiff_t)j * oa->bytesPerRow + k], at(x, y));
          } else {
            const uint32_t c[4] = {GetRGB(src, ox + x, oy + y), GetRGB(src, ox + x1, oy + y), GetRGB(src, ox + x, oy + y1),
                                   GetRGB(src, ox + x1, oy + y1)};
            uint8_t want[3];
            for (int ch = 0; ch < 3; ch++) {
              const int sh8 = 16 - 8 * ch;
              want[ch] = (uint8_t)ScaleModel::Lerp(c[0] >> sh8 & 255, c[1] >> sh8 & 255, c[2] >> sh8 & 255,
                                                   c[3] >> sh8 & 255, fx, fy);
            }
            uint8_t got[4] = {0, 0, 0, 0}, model[4] = {0, 0, 0, 0};
            memcpy(got, PixelPtr(dst, k, j), dst->bytesPerPixel);
            WritePixelRGB(model, f, want);
            ASSERT_EQ(0, memcmp(got, model, dst->bytesPerPixel))
                << what << " format " << f << " " << sw << "x" << sh << "->" << nw << "x" << nh << " at " << k << "," << j;
            ASSERT_EQ(oa->pixels[(ptrdiff_t)j * oa->bytesPerRow + k],
                      ScaleModel::Lerp(at(x, y), at(x1, y), at(x, y1), at(x1, y1), fx, fy));
          }
          if (withMask) {
            ASSERT_EQ(MaskBit(om, k, j), MaskBit(mask, ox + x, oy + y)) << k << "," << j;
          }
        }
      FreeTestBitMap(src);
      FreeTestBitMap(dst);
      FreeMask(mask);
      FreeMask(om);
      FreeAlphaChannel(alpha);
      FreeAlphaChannel(oa);
    }
  FreeScaleTables(nullptr);
}

TEST(Transform, SizeOfTheTransformedRectangle) {
  int32_t w, h;
  double mx, my;
  Matrix2D id = {1, 0, 0, 1}, rot = {0, 1, -1, 0};
  TransformedSize(&id, 10, 10, &w, &h, &mx, &my);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  TransformedSize(&rot, 10, 10, &w, &h, &mx, &my);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(mx, -10);
  EXPECT_EQ(my, 0);
}

TEST(Transform, QuarterTurnOfThreeByTwoWithItsMask) {
  BitMap *src = Picture(3, 2);
  Mask *mask = AllocMask(src, 3, 2, 1);
  SetMaskBit(mask, 0, 0, true);
  SetMaskBit(mask, 2, 0, true);
  SetMaskBit(mask, 1, 1, true);
  Matrix2D rot = {0, 1, -1, 0};
  for (int smooth = 0; smooth < 2; smooth++) {
    BitMap *ob = nullptr;
    Mask *om = nullptr;
    AlphaChannel *oa = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_EQ(TransformBitMapTriple(src, mask, nullptr, 0, 0, 3, 2, &rot, smooth, &ob, &om, &oa, &w, &h), 0);
    ASSERT_EQ(w, 2);
    ASSERT_EQ(h, 3);
    EXPECT_EQ(oa, nullptr);
    ASSERT_NE(om, nullptr);
    for (int32_t Y = 0; Y < 3; Y++)
      for (int32_t X = 0; X < 2; X++) {
        const int32_t x = Y, y = 1 - X;
        EXPECT_EQ(MaskBit(om, X, Y), MaskBit(mask, x, y)) << X << "," << Y;
        if (!smooth && MaskBit(mask, x, y)) {
          EXPECT_EQ(GetRGB(ob, X, Y), Colour(x, y));
        }
      }
    FreeBitMap(ob);
    FreeMask(om);
  }
  FreeBitMap(src);
  FreeMask(mask);
}

TEST(Transform, ResultWithoutTransparencyGetsAMaskOnTheRectangleOnly) {
  BitMap *src = Picture(5, 4);
  Matrix2D id = {1, 0, 0, 1}, rot = {0, -1, 1, 0};
  for (const Matrix2D *m : {&id, &rot})
    for (int smooth = 0; smooth < 2; smooth++) {
      BitMap *ob = nullptr;
      Mask *om = nullptr;
      int32_t w, h;
      ASSERT_EQ(TransformBitMapTriple(src, nullptr, nullptr, 0, 0, 5, 4, m, smooth, &ob, &om, nullptr, &w, &h), 0);
      EXPECT_EQ(w * h, 20);
      for (int32_t y = 0; y < h; y++) {
        for (int32_t x = 0; x < w; x++) EXPECT_TRUE(MaskBit(om, x, y));
        for (int32_t x = w; x < om->bytesPerRow * 8; x++) EXPECT_FALSE(MaskBit(om, x, y));
      }
      if (m == &id) {  // the identity copies the picture, smooth included
        for (int32_t y = 0; y < 4; y++)
          for (int32_t x = 0; x < 5; x++) EXPECT_EQ(GetRGB(ob, x, y), Colour(x, y));
      }
      FreeBitMap(ob);
      FreeMask(om);
    }
  // A turn by 45 degrees leaves the corners of the bounding box transparent.
  const double c = std::sqrt(0.5);
  Matrix2D r45 = {c, c, -c, c};
  Mask *om = nullptr;
  AlphaChannel *alpha = AllocAlphaChannel(5, 4, 0);
  memset(alpha->pixels, 255, (size_t)alpha->bytesPerRow * 4);
  AlphaChannel *oa = nullptr;
  int32_t w, h;
  ASSERT_EQ(TransformBitMapTriple(src, nullptr, alpha, 0, 0, 5, 4, &r45, 1, nullptr, &om, &oa, &w, &h), 0);
  EXPECT_EQ(om, nullptr);
  EXPECT_EQ(AlphaAt(oa, 0, 0), 0);
  EXPECT_EQ(AlphaAt(oa, w - 1, h - 1), 0);
  EXPECT_EQ(AlphaAt(oa, w / 2, h / 2), 255);
  FreeAlphaChannel(oa);
  FreeAlphaChannel(alpha);
  FreeBitMap(src);
}

// Every destination pixel whose centre maps inside the source is drawn with the source pixel
// under it, and no other: for turns, scalings, shears and mirrorings (pixels whose centre lies
// within a hair of the source's edge may go either way).
TEST(Transform, CoversExactlyThePixelsWhoseCentreMapsIntoTheSource) {
  const int32_t sw = 7, sh = 5;
  BitMap *src = Picture(sw, sh);
  const double a30 = 30 * M_PI / 180, a73 = 73 * M_PI / 180;
  const Matrix2D ms[] = {{std::cos(a30), std::sin(a30), -std::sin(a30), std::cos(a30)},
                         {std::cos(a73), -std::sin(a73), std::sin(a73), std::cos(a73)},
                         {2.5, 0, 0, 1.5},
                         {0.6, 0, 0, 0.45},
                         {1, 0.4, 0.7, 1},
                         {-1, 0, 0, 1},
                         {-1.3, 0.2, -0.5, -0.8}};
  for (const Matrix2D &m : ms) {
    BitMap *ob = nullptr;
    Mask *om = nullptr;
    int32_t w, h;
    ASSERT_EQ(TransformBitMapTriple(src, nullptr, nullptr, 0, 0, sw, sh, &m, 0, &ob, &om, nullptr, &w, &h), 0);
    double minX, minY;
    int32_t w2, h2;
    TransformedSize(&m, sw, sh, &w2, &h2, &minX, &minY);
    const double det = m.a * m.d - m.c * m.b;
    int drawn = 0;
    for (int32_t Y = 0; Y < h; Y++)
      for (int32_t X = 0; X < w; X++) {
        const double px = X + 0.5 + minX, py = Y + 0.5 + minY;
        const double sx = (m.d * px - m.c * py) / det, sy = (-m.b * px + m.a * py) / det;
        const double edge = std::fmin(std::fmin(std::fabs(sx), std::fabs(sx - sw)), std::fmin(std::fabs(sy), std::fabs(sy - sh)));
        if (edge < 1e-6) continue;
        const bool inside = sx > 0 && sx < sw && sy > 0 && sy < sh;
        ASSERT_EQ(MaskBit(om, X, Y), inside) << "matrix " << (&m - ms) << " at " << X << "," << Y;
        if (inside) {
          drawn++;
          ASSERT_EQ(GetRGB(ob, X, Y), Colour((int32_t)sx, (int32_t)sy)) << "matrix " << (&m - ms) << " at " << X << "," << Y;
        }
      }
    EXPECT_GT(drawn, 0);
    FreeBitMap(ob);
    FreeMask(om);
  }
  FreeBitMap(src);
}

TEST(Transform, SingularMatrixIsRefused) {
  BitMap *src = Picture(4, 4);
  const Matrix2D bad[] = {{1, 1, 1, 1}, {0, 0, 0, 0}, {2, 0, 4, 0}, {NAN, 0, 0, 1}, {1, 0, 0, INFINITY}};
  for (const Matrix2D &m : bad) {
    BitMap *ob = (BitMap *)1;
    int32_t w = -1, h = -1;
    EXPECT_EQ(TransformBitMapTriple(src, nullptr, nullptr, 0, 0, 4, 4, &m, 0, &ob, nullptr, nullptr, &w, &h), 1055);
    EXPECT_EQ(ob, (BitMap *)1);
    TransformParams p;
    memset(&p, 0, sizeof p);
    p.m = m;
    p.srcWidth = p.srcHeight = p.dstWidth = p.dstHeight = 4;
    EXPECT_EQ(TransformBitMap(&p), 1055);
  }
  // A rectangle reaching below a plane shorter than the bitmap is refused as well.
  Mask *shortMask = AllocMask(src, 4, 2, 1);
  const Matrix2D id = {1, 0, 0, 1};
  BitMap *ob = nullptr;
  EXPECT_EQ(TransformBitMapTriple(src, shortMask, nullptr, 0, 1, 4, 2, &id, 0, &ob, nullptr, nullptr, nullptr, nullptr), 1055);
  EXPECT_EQ(ob, nullptr);
  FreeMask(shortMask);
  FreeBitMap(src);
}

// A scaled and turned picture for the eye: <build>/gfx_preview_scaled_rotated.png.
TEST(Transform, WritesAScaledAndRotatedPreview) {
  const int32_t w = 64, h = 48;
  BitMap *src = AllocBitMap(w, h);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const bool check = ((x / 8) + (y / 8)) % 2 == 0;
      SetRGB(src, x, y, check ? (uint32_t)(x * 4) << 16 | (uint32_t)(y * 5) << 8 | 0x40 : 0xF0F0F0);
    }
  BitMap *big = nullptr, *turned = nullptr;
  Mask *tm = nullptr;
  ASSERT_EQ(ScaleBitMapTriple(src, nullptr, nullptr, 0, 0, nullptr, w, h, w * 3, h * 3, 1, &big, nullptr, nullptr), 0);
  const double a = 30 * M_PI / 180;
  Matrix2D m = {std::cos(a), std::sin(a), -std::sin(a), std::cos(a)};
  int32_t tw, th;
  ASSERT_EQ(TransformBitMapTriple(big, nullptr, nullptr, 0, 0, w * 3, h * 3, &m, 1, &turned, &tm, nullptr, &tw, &th), 0);
  uint32_t *argb = BitMapToARGB(turned, tw, th);
  ASSERT_NE(argb, nullptr);
  for (int32_t y = 0; y < th; y++)
    for (int32_t x = 0; x < tw; x++)
      argb[y * tw + x] = (argb[y * tw + x] & 0xFFFFFF) | (MaskBit(tm, x, y) ? 0xFF000000u : 0);
  const std::string path = std::string(KV_BINARY_DIR) + "/gfx_preview_scaled_rotated.png";
  ASSERT_EQ(OsSavePNG(path.c_str(), argb, tw, th, 1), 0);
  uint32_t *back = nullptr;
  AlphaChannel *ba = nullptr;
  int32_t bw, bh;
  ASSERT_EQ(LoadImageFile(path.c_str(), 0, 0, 0, 1, &back, &ba, nullptr, nullptr, &bw, &bh), 0);
  EXPECT_EQ(bw, tw);
  EXPECT_EQ(bh, th);
  EXPECT_EQ(AlphaAt(ba, 0, 0), 0);
  EXPECT_EQ(AlphaAt(ba, tw / 2, th / 2), 255);
  EXPECT_EQ(back[(th / 2) * tw + tw / 2], argb[(th / 2) * tw + tw / 2] & 0xFFFFFF);
  MemFree(back);
  FreeAlphaChannel(ba);
  MemFree(argb);
  FreeBitMap(src);
  FreeBitMap(big);
  FreeBitMap(turned);
  FreeMask(tm);
}

}  // namespace
