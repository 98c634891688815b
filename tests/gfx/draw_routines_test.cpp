// Drawing routines of the graphics library: tiling, bounds, arcs, polygon clipping, colour
// mixing, the alpha front ends and the image cache.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "gfx/draw_routines.h"
#include "runtime/memory.h"
#include "tests/gfx/gfx_fixture.h"

namespace {

TEST(DrawRoutines, TileWithStartOffsetFillsTheWholeArea) {
  // Texture 4 x 3 whose pixel (x, y) is 0x0000xy.
  BitMap *tex = AllocBitMap(4, 3);
  std::vector<uint32_t> raw(12);
  for (int32_t y = 0; y < 3; y++)
    for (int32_t x = 0; x < 4; x++) {
      SetRGB(tex, x, y, (uint32_t)(x << 4 | y));
      raw[y * 4 + x] = (uint32_t)(x << 4 | y);
    }
  struct Case { int32_t w, h, sx, sy; };
  for (Case c : {Case{10, 5, 3, 2}, Case{4, 3, 0, 0}, Case{9, 7, -1, -4}, Case{5, 4, 8, 7}, Case{1, 1, 3, 2}}) {
    BitMap *dst = AllocBitMap(c.w + 2, c.h + 2);
    memset(dst->pixels, 0xEE, (size_t)dst->bytesPerRow * dst->height);
    std::vector<uint32_t> block((size_t)c.w * c.h, 0xDEAD);
    TileBitMap(dst, 1, 1, c.w, c.h, tex, c.sx, c.sy, 4, 3, 0, 0);
    TileBitMap(block.data(), 0, 0, c.w, c.h, raw.data(), c.sx, c.sy, 4, 3, 1, 4);
    const int32_t ox = ((c.sx % 4) + 4) % 4, oy = ((c.sy % 3) + 3) % 3;
    for (int32_t y = 0; y < c.h; y++)
      for (int32_t x = 0; x < c.w; x++) {
        const uint32_t want = (uint32_t)(((x + ox) % 4) << 4 | ((y + oy) % 3));
        ASSERT_EQ(GetRGB(dst, x + 1, y + 1), want) << c.w << "x" << c.h << " at " << x << "," << y;
        ASSERT_EQ(block[y * c.w + x], want);
      }
    EXPECT_EQ(GetRGB(dst, 0, 0), 0xEEEEEEu);  // outside the rectangle untouched
    EXPECT_EQ(GetRGB(dst, c.w + 1, c.h + 1), 0xEEEEEEu);
    FreeBitMap(dst);
  }
  FreeBitMap(tex);
}

TEST(DrawRoutines, BoundsArcsClippingAndMixing) {
  const double id[4] = {1, 0, 0, 1}, rot[4] = {0, 1, -1, 0};
  int32_t x, y, w, h;
  GetTransformedBounds(10, 20, 5, 3, 0, 0, id, &x, &y, &w, &h);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 3);
  GetTransformedBounds(10, 20, 5, 3, 0, 0, rot, &x, &y, &w, &h);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 5);
  EXPECT_EQ(x, 8);

  std::vector<int32_t> pts(2 * 400);
  EXPECT_EQ(ArcPolygon(pts.data(), 10, 10, 0, 360), 361);
  EXPECT_EQ(pts[0], 10 + (21 * 1024) / 2048);  // angle 0: cos 1024
  EXPECT_EQ(pts[1], 10);
  EXPECT_EQ(pts[2 * 30 + 1], 10 + (21 * 512) / 2048);  // sin 30 is exactly 512
  const int32_t n = ArcPolygon(pts.data(), 10, 6, 0, 90);
  EXPECT_EQ(n, 93);  // 91 points, the centre and the start point again
  EXPECT_EQ(pts[2 * 91], 10);
  EXPECT_EQ(pts[2 * 91 + 1], 6);
  EXPECT_EQ(pts[2 * 92], pts[0]);

  // A square 0..10 clipped at x = 5 from the left keeps its right half.
  const int32_t sq[] = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};
  int32_t out[16];
  const int32_t m = ClipPolygonEdge(4, sq, out, 5, CLIPEDGE_LEFT);
  ASSERT_EQ(m, 4);
  for (int32_t i = 0; i < m; i++) EXPECT_GE(out[2 * i], 5);
  EXPECT_EQ(ClipPolygonEdge(4, sq, out, 20, CLIPEDGE_TOP), 0);
  EXPECT_EQ(ClipPolygonEdge(4, sq, out, 20, CLIPEDGE_BOTTOM), 4);

  EXPECT_EQ(MixColors(0x000000, 0xFFFFFF, 256), 0xFFFFFFu);
  EXPECT_EQ(MixColors(0x102030, 0xFFFFFF, 0), 0x102030u);
  EXPECT_EQ(MixColors(0xFF0000, 0x00FF00, 128), 0x7F7F00u);
}

TEST(DrawRoutines, AlphaFrontEndsAndNullDestinations) {
  BitMap *dst = AllocBitMap(4, 4);
  memset(dst->pixels, 0, (size_t)dst->bytesPerRow * 4);
  AlphaChannel *cov = AllocAlphaChannel(4, 4, 1);
  cov->pixels[cov->bytesPerRow + 1] = 255;
  cov->pixels[cov->bytesPerRow + 2] = 128;
  BltAlphaChannel(cov, 0, 0, dst, 0, 0, 4, 4, 0xFF0000, 1, nullptr, 255, 0, 0, nullptr);
  EXPECT_EQ(GetRGB(dst, 1, 1), 0xFF0000u);
  EXPECT_EQ(GetRGB(dst, 2, 1), 0x7F0000u);
  EXPECT_EQ(GetRGB(dst, 0, 0), 0u);
  // Clipped: a rectangle hanging over every edge draws only what overlaps.
  BltAlphaChannelClipped(cov, -2, -2, dst, -1, -1, 10, 10, 0x00FF00, 1, nullptr, 255, 0, 0, nullptr, 4, 4, 4, 4);
  // A missing destination is reported on the console, word for word.
  testing::internal::CaptureStdout();
  DrawGradient(nullptr, 0, 0, 1, 1, 0, 0, 0);
  BltAlphaChannel(cov, 0, 0, nullptr, 0, 0, 1, 1, 0, 0, nullptr, 0, 0, 0, nullptr);
  BltAlphaBitMap(dst, 0, 0, nullptr, 0, 0, 1, 1, cov);
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR! DRAWGRADIENT() CALLED WITH DST=NULL!\n"
            "ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!\n"
            "ERROR! BLTALPHABITMAP() CALLED WITH DST=NULL!\n");
  DrawGradient(dst, 0, 0, 4, 4, 0x000000, 0xFFFFFF, 0);
  EXPECT_EQ(GetRGB(dst, 0, 0), 0u);

  AlphaChannel *a = AllocAlphaChannel(4, 4, 1);
  FillAlphaChannelRect(a, 1, 1, 2, 2, 50);
  EXPECT_EQ(a->pixels[a->bytesPerRow + 1], 50);
  CombineAlphaChannelsClipped(cov, 0, 0, a, -1, -1, 8, 8, 3, 0, 4, 4, 4, 4);
  EXPECT_EQ(a->pixels[0], 255);  // cov (1,1) lands at (0,0): mode 3 sets 255
  Mask *mk = AllocMask(nullptr, 4, 4, 1);
  AlphaToMaskRect(cov, 0, 0, mk, 0, 0, 4, 4, 0);
  EXPECT_TRUE(MaskBit(mk, 1, 1));
  EXPECT_FALSE(MaskBit(mk, 2, 1));
  MaskToAlphaRect(mk, 0, 0, a, 0, 0, 4, 4, 7);
  EXPECT_EQ(a->pixels[a->bytesPerRow + 1], 7);
  FreeMask(mk);
  FreeAlphaChannel(a);
  FreeAlphaChannel(cov);
  FreeBitMap(dst);
}

TEST(DrawRoutines, ImageCache) {
  uint32_t px[6] = {1, 2, 3, 4, 5, 6};
  AlphaChannel *alpha = AllocAlphaChannel(3, 2, 1);
  alpha->pixels[alpha->bytesPerRow + 2] = 99;
  ASSERT_EQ(AddToGfxCache("Pic.PNG", 3, 2, px, alpha), 0);
  ASSERT_EQ(AddToGfxCache("plain.png", 3, 2, px, nullptr), 0);
  FreeAlphaChannel(alpha);
  int32_t w, h;
  uint32_t *p = nullptr;
  AlphaChannel *a = nullptr;
  ASSERT_EQ(GetFromGfxCache("pic.png", 1, &w, &h, &p, &a), 0);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(p[5], 6u);
  EXPECT_EQ(a->pixels[a->bytesPerRow + 2], 99);
  MemFree(p);
  FreeAlphaChannel(a);
  EXPECT_EQ(GetFromGfxCache("plain.png", 1, &w, &h, &p, &a), 1246);
  EXPECT_EQ(GetFromGfxCache("missing.png", 0, &w, &h, &p, &a), 1246);
  ASSERT_EQ(GetFromGfxCache("PLAIN.PNG", 0, &w, &h, &p, &a), 0);
  EXPECT_EQ(a, nullptr);
  MemFree(p);
  FreeGfxCache();
  EXPECT_EQ(GetFromGfxCache("pic.png", 0, &w, &h, &p, &a), 1246);
  FreeGfxCache();
}

}  // namespace
