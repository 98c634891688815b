// Coverage drawing (plotter, anti-aliased and thick lines, OpenCV masks) and the integer
// polygon fill into 1-bit masks, with the other small triple operations.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/blit.h"
#include "gfx/coverage.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "runtime/memory.h"
#include "tests/gfx/gfx_fixture.h"

namespace {

// A plot context over a format-11 bitmap, optionally with mask and alpha plane.
struct Target {
  BitMap *bm;
  Mask *mask;
  AlphaChannel *alpha;
  PlotContext ctx;
};

Target MakeTarget(int32_t w, int32_t h, bool withMask, bool withAlpha, uint32_t colour) {
  Target t;
  t.bm = AllocBitMap(w, h);
  memset(t.bm->pixels, 0, (size_t)t.bm->bytesPerRow * h);
  t.mask = withMask ? AllocMask(t.bm, w, h, 1) : nullptr;
  t.alpha = withAlpha ? AllocAlphaChannel(w, h, 1) : nullptr;
  if (t.alpha) memset(t.alpha->pixels, 99, (size_t)t.alpha->bytesPerRow * h);
  memset(&t.ctx, 0, sizeof t.ctx);
  t.ctx.dst = t.bm->pixels;
  t.ctx.dstModulo = t.bm->bytesPerRow / 4;
  t.ctx.bytesPerPixel = 4;
  t.ctx.format = t.bm->format;
  t.ctx.colour = RGBToPixel(colour, t.bm->format);
  t.ctx.r = colour >> 16 & 255;
  t.ctx.g = colour >> 8 & 255;
  t.ctx.b = colour & 255;
  t.ctx.level = 255;
  t.ctx.coverage = 255;
  t.ctx.thickness = 1;
  t.ctx.dstWidth = w;
  t.ctx.dstHeight = h;
  if (t.mask) {
    t.ctx.dstMask = t.mask->pixels;
    t.ctx.dstMaskBytesPerRow = t.mask->bytesPerRow;
  }
  if (t.alpha) {
    t.ctx.dstAlpha = t.alpha->pixels;
    t.ctx.dstAlphaBytesPerRow = t.alpha->bytesPerRow;
  }
  return t;
}
void FreeTarget(Target &t) {
  FreeBitMap(t.bm);
  FreeMask(t.mask);
  FreeAlphaChannel(t.alpha);
}
uint8_t AlphaAt(const AlphaChannel *a, int32_t x, int32_t y) { return a->pixels[(ptrdiff_t)y * a->bytesPerRow + x]; }

TEST(Coverage, PlotBlendsByCoverageAndKeepsTheTargetPlanes) {
  Target t = MakeTarget(4, 4, true, false, 0xFF8000);
  SetRGB(t.bm, 1, 1, 0x204060);
  t.ctx.coverage = 0;
  t.ctx.maskMode = MASKVISIBLE;
  PlotCoverage(&t.ctx, 1, 1);
  EXPECT_EQ(GetRGB(t.bm, 1, 1), 0x204060u);  // unchanged pixel
  EXPECT_TRUE(MaskBit(t.mask, 1, 1));         // but the mask mode applied
  t.ctx.coverage = 128;
  PlotCoverage(&t.ctx, 1, 1);
  const uint32_t want = (uint32_t)(0x20 + (((0xFF - 0x20) * 128) >> 8)) << 16 | (uint32_t)(0x40 + (((0x80 - 0x40) * 128) >> 8)) << 8 |
                        (uint32_t)(0x60 + (((0 - 0x60) * 128) >> 8));
  EXPECT_EQ(GetRGB(t.bm, 1, 1), want);
  t.ctx.maskMode = MASKINVISIBLE;
  PlotCoverage(&t.ctx, 1, 1);
  EXPECT_FALSE(MaskBit(t.mask, 1, 1));
  FreeTarget(t);

  // With an alpha plane: the colour unblended and the coverage into the plane; coverage 0
  // leaves both pixel and alpha alone.
  Target a = MakeTarget(4, 4, false, true, 0x123456);
  a.ctx.coverage = 40;
  PlotCoverage(&a.ctx, 2, 3);
  EXPECT_EQ(GetRGB(a.bm, 2, 3), 0x123456u);
  EXPECT_EQ(AlphaAt(a.alpha, 2, 3), 40);
  a.ctx.coverage = 0;
  PlotCoverage(&a.ctx, 0, 0);
  EXPECT_EQ(GetRGB(a.bm, 0, 0), 0u);
  EXPECT_EQ(AlphaAt(a.alpha, 0, 0), 99);
  FreeTarget(a);
}

TEST(Coverage, PlotClipsToRectangleClipMaskAndDestination) {
  Target t = MakeTarget(8, 4, false, false, 0xFFFFFF);
  uint8_t clipMask[2] = {0xA0, 0x00};  // clip-rect pixels (0,0) and (2,0) visible
  t.ctx.clip = 1;
  t.ctx.clipX = 2;
  t.ctx.clipY = 1;
  t.ctx.clipWidth = 4;
  t.ctx.clipHeight = 2;
  t.ctx.clipMask = clipMask;
  t.ctx.clipMaskBytesPerRow = 1;
  for (int32_t y = -1; y < 6; y++)
    for (int32_t x = -1; x < 10; x++) PlotCoverage(&t.ctx, x, y);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 8; x++)
      EXPECT_EQ(GetRGB(t.bm, x, y), (y == 1 && (x == 2 || x == 4)) ? 0xFFFFFFu : 0u) << x << "," << y;
  FreeTarget(t);
}

TEST(Coverage, AntiAliasedLinePairsSumTo255AndClipEveryRow) {
  // Plot into the alpha plane to read the coverage of each pixel.
  Target t = MakeTarget(16, 8, false, true, 0xFFFFFF);
  memset(t.alpha->pixels, 0, (size_t)t.alpha->bytesPerRow * 8);
  DrawLineAA(&t.ctx, 0, 1, 15, 6);
  for (int32_t x = 0; x < 16; x++) {
    int sum = 0, touched = 0;
    for (int32_t y = 0; y < 8; y++) {
      sum += AlphaAt(t.alpha, x, y);
      touched += AlphaAt(t.alpha, x, y) != 0;
    }
    EXPECT_TRUE(sum == 255 || (touched == 1 && sum == 255)) << x << " sum " << sum;
  }
  FreeTarget(t);

  // A horizontal line: full coverage on it, the row below untouched (coverage 0).
  Target h = MakeTarget(8, 4, false, true, 0x00FF00);
  DrawLineAA(&h.ctx, 0, 2, 7, 2);
  for (int32_t x = 0; x < 8; x++) {
    EXPECT_EQ(AlphaAt(h.alpha, x, 2), 255);
    EXPECT_EQ(AlphaAt(h.alpha, x, 3), 99);
    EXPECT_EQ(GetRGB(h.bm, x, 3), 0u);
  }
  FreeTarget(h);

  // A line along the bottom row and lines far outside write nothing outside the bitmap (the
  // bitmap is exactly as large as the picture, so the sanitizer build sees any stray write).
  Target b = MakeTarget(6, 3, true, true, 0xFF0000);
  DrawLineAA(&b.ctx, -20, 2, 30, 2);
  for (int32_t x = 0; x < 6; x++) EXPECT_EQ(AlphaAt(b.alpha, x, 2), 255);
  DrawLineAA(&b.ctx, 5, -40, 5, 40);
  DrawLineAA(&b.ctx, 2, 2, 9, 5);
  DrawLineAA(&b.ctx, -2000000000, -5, 2000000000, 5);
  b.ctx.level = 128;
  DrawLineAA(&b.ctx, 1, 0, 1, 0);  // a single point takes the level
  EXPECT_EQ(AlphaAt(b.alpha, 1, 0), 128);
  FreeTarget(b);
}

TEST(Coverage, ThickLineRuns) {
  Target t = MakeTarget(10, 10, false, false, 0xFFFFFF);
  t.ctx.thickness = 3;
  DrawThickLine(&t.ctx, 1, 5, 8, 5);
  for (int32_t y = 0; y < 10; y++)
    for (int32_t x = 0; x < 10; x++)
      EXPECT_EQ(GetRGB(t.bm, x, y), (x >= 1 && x <= 8 && y >= 4 && y <= 6) ? 0xFFFFFFu : 0u) << x << "," << y;
  DrawThickLine(&t.ctx, -5, -5, 40, 40);  // clipped runs
  FreeTarget(t);
}

// A thin or thick line that starts outside the picture is walked from the picture's edge: its
// pixels are those of the same line drawn whole onto a bigger picture that holds all of it, in
// every direction; and a line 2^32 pixels long is drawn at once.
TEST(Coverage, ThickLineFromFarOutsideKeepsItsPixels) {
  const int32_t W = 40, H = 30, OX = 1200, OY = 900;
  const int32_t lines[][4] = {{-1000, -37, 50, 20}, {45, 29, -900, -3}, {-17, -800, 30, 45},
                              {5, 40, -3, -777},    {-500, 10, 60, 10}, {-50, -50, 80, 80}};
  for (int32_t thickness : {1, 4})
    for (const auto &l : lines) {
      Target part = MakeTarget(W, H, false, false, 0xFFFFFF);
      Target whole = MakeTarget(OX + W + 100, OY + H + 100, false, false, 0xFFFFFF);
      part.ctx.thickness = whole.ctx.thickness = thickness;
      DrawThickLine(&part.ctx, l[0], l[1], l[2], l[3]);
      DrawThickLine(&whole.ctx, l[0] + OX, l[1] + OY, l[2] + OX, l[3] + OY);
      int32_t lit = 0;
      for (int32_t y = 0; y < H; y++)
        for (int32_t x = 0; x < W; x++) {
          ASSERT_EQ(GetRGB(part.bm, x, y), GetRGB(whole.bm, x + OX, y + OY))
              << l[0] << "," << l[1] << " - " << l[2] << "," << l[3] << " at " << x << "," << y;
          lit += GetRGB(part.bm, x, y) != 0;
        }
      EXPECT_GT(lit, 0);
      FreeTarget(part);
      FreeTarget(whole);
    }
  Target t = MakeTarget(8, 8, false, false, 0xFFFFFF);
  DrawThickLine(&t.ctx, -2147483647 - 1, 3, 2147483647, 3);
  DrawThickLine(&t.ctx, 5, 2147483647, 5, -2147483647 - 1);
  EXPECT_EQ(GetRGB(t.bm, 0, 3), 0xFFFFFFu);
  EXPECT_EQ(GetRGB(t.bm, 5, 0), 0xFFFFFFu);
  FreeTarget(t);
}

TEST(Coverage, MaskLineAndPolygonOverOpenCV) {
  uint8_t *data;
  int32_t step;
  CoverageImage *img = CreateCoverageMask(10, 10, &data, &step);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(step % 4, 0);
  EXPECT_EQ(MaskLine(img, 0, 0, 9, 9, 0, 256), 1055);  // over the thickness limit
  EXPECT_LT(CoverageStatus(), 0);
  for (int32_t i = 0; i < step * 10; i++) ASSERT_EQ(data[i], 0);
  EXPECT_EQ(MaskLine(img, 0, 0, 9, 9, 1, 1), 0);
  EXPECT_EQ(CoverageStatus(), 0);
  EXPECT_EQ(data[5 * step + 5], 255);
  FreeCoverageMask(img);

  const int32_t tri[] = {1, 1, 8, 1, 1, 8};
  CoverageImage *fill = CreateCoverageMask(10, 10, &data, &step);
  ASSERT_EQ(MaskPolygon(fill, tri, 3, 0, 0), 0);
  EXPECT_EQ(data[3 * step + 3], 255);  // inside
  EXPECT_EQ(data[8 * step + 8], 0);
  uint8_t *odata;
  int32_t ostep;
  CoverageImage *outline = CreateCoverageMask(10, 10, &odata, &ostep);
  ASSERT_EQ(MaskPolygon(outline, tri, 3, 0, 1), 0);
  EXPECT_EQ(odata[1 * ostep + 4], 255);  // on the top edge
  EXPECT_EQ(odata[3 * ostep + 3], 0);    // the inside stays empty
  EXPECT_EQ(odata[4 * ostep + 1], 255);  // the left edge
  EXPECT_EQ(MaskPolygon(outline, tri, 3, 0, 300), 1055);
  EXPECT_EQ(MaskPolygon(outline, tri, 0, 0, 0), 0);
  // Coordinates far outside are clipped by the drawing routines, not an error.
  const int32_t far[] = {-2000000000, -2000000000, 2000000000, 5, 3, 2000000000};
  EXPECT_EQ(MaskPolygon(outline, far, 3, 1, 0), 0);
  EXPECT_EQ(MaskPolygon(outline, far, 3, 1, 3), 0);
  const int32_t square[] = {-100000, -100000, 100000, -100000, 100000, 100000, -100000, 100000};
  uint8_t *sdata;
  int32_t sstep;
  CoverageImage *sq = CreateCoverageMask(10, 10, &sdata, &sstep);
  ASSERT_EQ(MaskPolygon(sq, square, 4, 0, 0), 0);  // covers the whole image
  for (int32_t y = 0; y < 10; y++)
    for (int32_t x = 0; x < 10; x++) EXPECT_EQ(sdata[y * sstep + x], 255);
  memset(sdata, 0, (size_t)sstep * 10);
  ASSERT_EQ(MaskPolygon(sq, square, 4, 1, 2), 0);  // its outline lies outside
  for (int32_t y = 0; y < 10; y++)
    for (int32_t x = 0; x < 10; x++) EXPECT_EQ(sdata[y * sstep + x], 0);
  FreeCoverageMask(sq);
  EXPECT_EQ(MaskLine(outline, -2000000000, 0, 2000000000, 9, 1, 5), 0);
  // Plot the filled coverage onto a bitmap at a level.
  Target t = MakeTarget(12, 12, false, false, 0xFFFFFF);
  t.ctx.level = 255;
  PlotCoverageMask(data, 1, 1, &t.ctx, 10, 10, step, 0);
  EXPECT_EQ(GetRGB(t.bm, 4, 4), 0xFFFFFFu);
  EXPECT_EQ(GetRGB(t.bm, 9, 9), 0u);
  FreeTarget(t);
  FreeCoverageMask(fill);
  FreeCoverageMask(outline);
  FreeCoverageMask(nullptr);
  EXPECT_EQ(CreateCoverageMask(0, 5, nullptr, nullptr), nullptr);
}

TEST(PolygonMask, FillsRowsIncludingTheBottomAndClipsToTheMask) {
  Mask *m = AllocMask(nullptr, 10, 8, 1);
  const int32_t tri[] = {2, 1, 7, 1, 2, 6};
  ASSERT_EQ(FillPolygonToMask(m, tri, 3), 0);
  int bottom = 0;
  for (int32_t x = 0; x < 10; x++) bottom += MaskBit(m, x, 6);
  EXPECT_GT(bottom, 0);  // the bottom row is set too
  EXPECT_TRUE(MaskBit(m, 2, 1));
  EXPECT_TRUE(MaskBit(m, 7, 1));
  EXPECT_TRUE(MaskBit(m, 3, 3));
  EXPECT_FALSE(MaskBit(m, 8, 1));
  EXPECT_FALSE(MaskBit(m, 7, 5));
  FreeMask(m);

  // A polygon far larger than the mask: only the mask is written. The mask's memory is exactly
  // its rows, so a stray row or bit shows in the sanitizer build.
  Mask *small = AllocMask(nullptr, 12, 5, 1);
  const int32_t big[] = {-100, -100, 500, -80, 400, 900, -300, 700};
  ASSERT_EQ(FillPolygonToMask(small, big, 4), 0);
  for (int32_t y = 0; y < 5; y++) {
    for (int32_t x = 0; x < 12; x++) EXPECT_TRUE(MaskBit(small, x, y));
    for (int32_t x = 12; x < small->bytesPerRow * 8; x++) EXPECT_FALSE(MaskBit(small, x, y));
  }
  FreeMask(small);
}

TEST(TripleOps, CutTintBlendAndMaskFromColour) {
  BitMap *bm = AllocBitMap(6, 4);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 6; x++) SetRGB(bm, x, y, (uint32_t)(x * 16) << 16 | (uint32_t)y * 16);
  Mask *mask = AllocMask(bm, 6, 4, 1);
  SetMaskBit(mask, 3, 2, true);
  AlphaChannel *alpha = AllocAlphaChannel(6, 4, 1);
  alpha->pixels[2 * alpha->bytesPerRow + 4] = 200;
  BitMap *cb = nullptr;
  Mask *cm = nullptr;
  AlphaChannel *ca = nullptr;
  ASSERT_EQ(CutBitMapRegion(bm, mask, alpha, 2, 1, 3, 2, &cb, &cm, &ca), 0);
  EXPECT_EQ(GetRGB(cb, 0, 0), GetRGB(bm, 2, 1));
  EXPECT_EQ(GetRGB(cb, 2, 1), GetRGB(bm, 4, 2));
  EXPECT_TRUE(MaskBit(cm, 1, 1));
  EXPECT_FALSE(MaskBit(cm, 0, 0));
  EXPECT_EQ(ca->pixels[ca->bytesPerRow + 2], 200);
  EXPECT_EQ(CutBitMapRegion(bm, mask, alpha, 5, 1, 3, 2, &cb, &cm, &ca), 1055);  // outside: refused
  FreeBitMap(cb);
  FreeMask(cm);
  FreeAlphaChannel(ca);

  ASSERT_EQ(TintBitMapRect(bm, 0, 0, 1, 1, 0xFFFFFF, 256), 0);
  EXPECT_EQ(GetRGB(bm, 0, 0), 0xFFFFFFu);
  ASSERT_EQ(TintBitMapRect(bm, -3, -3, 100, 100, 0x000000, 0), 0);  // level 0 and clipped
  EXPECT_EQ(TintBitMapRect(nullptr, 0, 0, 1, 1, 0, 0), 1152);

  // Blend with level 255 copies; through an alpha channel scaled by the level.
  BitMap *dst = AllocBitMap(6, 4);
  memset(dst->pixels, 0, (size_t)dst->bytesPerRow * 4);
  ASSERT_EQ(BltBitMapTransparent(dst, bm, nullptr, 0, 0, 0, 0, 6, 4, 255, nullptr, 0, 0), 0);
  EXPECT_EQ(GetRGB(dst, 5, 3), GetRGB(bm, 5, 3));
  memset(dst->pixels, 0, (size_t)dst->bytesPerRow * 4);
  SetRGB(bm, 4, 2, 0xFFFFFF);
  ASSERT_EQ(BltBitMapTransparent(dst, bm, nullptr, 0, 0, 0, 0, 6, 4, 255, alpha, 6, 4), 0);
  EXPECT_EQ(GetRGB(dst, 4, 2), 0xC7C7C7u);  // 255 * 200 >> 8
  EXPECT_EQ(GetRGB(dst, 0, 0), 0u);
  // An alpha size larger than the channel reads no further than the channel (the sanitizer
  // build sees a stray read).
  memset(dst->pixels, 0, (size_t)dst->bytesPerRow * 4);
  ASSERT_EQ(BltBitMapTransparent(dst, bm, nullptr, 0, 0, 0, 0, 6, 4, 255, alpha, 40, 30), 0);
  EXPECT_EQ(GetRGB(dst, 4, 2), 0xC7C7C7u);
  // A region outside a plane that is shorter than the bitmap is refused too.
  Mask *shortMask = AllocMask(bm, 6, 2, 1);
  cb = nullptr;
  EXPECT_EQ(CutBitMapRegion(bm, shortMask, nullptr, 0, 1, 3, 2, &cb, &cm, nullptr), 1055);
  EXPECT_EQ(cb, nullptr);
  FreeMask(shortMask);

  // MaskFromColor on format 11 ignores the spare byte.
  BitMap *k = AllocBitMap(3, 1);
  SetRGB(k, 0, 0, 0x102030);
  SetRGB(k, 1, 0, 0x102030);
  SetRGB(k, 2, 0, 0x102031);
  k->pixels[4] = 0x5A;  // spare byte of pixel 1
  Mask *km = MaskFromColor(k, 3, 1, 0x102030);
  ASSERT_NE(km, nullptr);
  EXPECT_FALSE(MaskBit(km, 0, 0));
  EXPECT_FALSE(MaskBit(km, 1, 0));
  EXPECT_TRUE(MaskBit(km, 2, 0));
  FreeMask(km);
  FreeBitMap(k);
  FreeBitMap(dst);
  FreeBitMap(bm);
  FreeMask(mask);
  FreeAlphaChannel(alpha);
}

}  // namespace
