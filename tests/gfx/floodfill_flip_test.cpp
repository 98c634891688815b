// Flood fill (span seeding, area limits, deep areas) and the flip of a
// picture with its mask and alpha channel.
#include <gtest/gtest.h>
#include "gfx/kernels.h"
#include "gfx_fixture.h"

namespace {

int Fill(const BitMap *bm, FloodFillRecord *r, int x, int y) {
  switch (bm->bytesPerPixel) {
    case 4: return FloodFill32(r, x, y, 0xFFFFFFFF);
    case 3: return FloodFill24(r, x, y);
    default: return FloodFill16(r, x, y);
  }
}

class FloodFillTest : public ::testing::TestWithParam<PixelFormat> {};

// A ring of border colour with a hole in the middle: the fill reaches
// everything inside the ring and nothing outside.
TEST_P(FloodFillTest, FillsInsideBorderOnly) {
  const PixelFormat f = GetParam();
  const uint32_t border = 0xF80000, fill = 0x00F800, other = 0x0000F8, bg = 0x808080;
  BitMap *bm = MakeTestBitMap(f, 20, 12);
  for (int y = 0; y < 12; y++)
    for (int x = 0; x < 23; x++) SetRGB(bm, x, y, bg);
  for (int x = 2; x < 18; x++) SetRGB(bm, x, 1, border), SetRGB(bm, x, 10, border);
  for (int y = 1; y < 11; y++) SetRGB(bm, 2, y, border), SetRGB(bm, 17, y, border);
  for (int x = 6; x < 12; x++) SetRGB(bm, x, 5, border);  // a wall inside, reached around
  SetRGB(bm, 9, 8, other);
  FloodFillRecord r = {bm->pixels, 20, 12, bm->bytesPerRow / bm->bytesPerPixel,
                       RGBToPixel(border, f), RGBToPixel(fill, f), 0, 0};
  const auto before = Snapshot(bm);
  // A seed on the border changes nothing.
  EXPECT_EQ(Fill(bm, &r, 2, 4), 0);
  EXPECT_EQ(Snapshot(bm), before);
  EXPECT_EQ(Fill(bm, &r, 8, 3), 0);
  for (int y = 0; y < 12; y++)
    for (int x = 0; x < 23; x++) {
      bool inside = x > 2 && x < 17 && y > 1 && y < 10 && !(y == 5 && x >= 6 && x < 12);
      bool isBorder = GetRGB(bm, x, y) == Representable(border, f) &&
                      ((y == 1 || y == 10) ? x >= 2 && x < 18 : (x == 2 || x == 17 || (y == 5 && x >= 6 && x < 12)));
      if (inside) {
        ASSERT_EQ(GetRGB(bm, x, y), Representable(fill, f)) << x << "," << y;
      } else if (!isBorder) {
        ASSERT_EQ(GetRGB(bm, x, y), Representable(bg, f)) << x << "," << y;
      }
    }
  FreeTestBitMap(bm);
}

TEST_P(FloodFillTest, SeedOutsideTheAreaOnAnySideDoesNothing) {
  const PixelFormat f = GetParam();
  BitMap *bm = MakeTestBitMap(f, 10, 8);
  FillPattern(bm, 3);
  // The area is the middle of the bitmap; seeds just outside each side.
  FloodFillRecord r = {bm->pixels, 4, 3, bm->bytesPerRow / bm->bytesPerPixel,
                       RGBToPixel(0x123456, f), RGBToPixel(0xFFFFFF, f), 3, 2};
  const auto before = Snapshot(bm);
  for (auto xy : std::vector<std::pair<int, int>>{{2, 3}, {7, 3}, {4, 1}, {4, 5}, {-1, -1}, {1000, 3}, {4, 100000}}) {
    EXPECT_EQ(Fill(bm, &r, xy.first, xy.second), 0);
    EXPECT_EQ(Snapshot(bm), before) << xy.first << "," << xy.second;
  }
  // Inside the area the fill stays in the area.
  Fill(bm, &r, 4, 3);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 13; x++) {
      bool inArea = x >= 3 && x < 7 && y >= 2 && y < 5;
      if (!inArea)
        ASSERT_EQ(memcmp(PixelPtr(bm, x, y), before.data() + (PixelPtr(bm, x, y) - bm->pixels), bm->bytesPerPixel), 0);
      else
        ASSERT_EQ(GetRGB(bm, x, y), Representable(0xFFFFFF, f));
    }
  FreeTestBitMap(bm);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, FloodFillTest, ::testing::ValuesIn(AllFormats()));

TEST(FloodFill, FillColourStopsSeedingButNotTheSpan) {
  // Row 1 already holds the fill colour: it seeds nothing, so row 0,
  // reachable only through row 1, stays. The seed's own span in row 2 is
  // filled; a seed on a fill-coloured pixel still fills its span.
  BitMap *bm = MakeTestBitMap(PIXFMT_BGRX32, 5, 4, 0);
  const uint32_t B = 0xFF0000, F = 0x00FF00, O = 0x000000;
  const uint32_t pic[4][5] = {{O, O, O, O, O}, {F, F, F, F, F}, {O, O, F, O, B}, {B, B, B, B, B}};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 5; x++) SetRGB(bm, x, y, pic[y][x]);
  FloodFillRecord r = {bm->pixels, 5, 4, 5, RGBToPixel(B, PIXFMT_BGRX32), RGBToPixel(F, PIXFMT_BGRX32), 0, 0};
  FloodFill32(&r, 2, 2, 0xFFFFFF00);
  for (int x = 0; x < 5; x++) {
    EXPECT_EQ(GetRGB(bm, x, 0), O);
    EXPECT_EQ(GetRGB(bm, x, 1), F);
    EXPECT_EQ(GetRGB(bm, x, 2), x < 4 ? F : B);
  }
  FreeTestBitMap(bm);
}

// A 2000 x 2000 comb: one spine row and a thousand one-pixel teeth separated
// by border columns, every tooth its own seed, all reached in one fill. A
// recursive fill of this depth would exhaust the stack.
TEST(FloodFill, LargeCombDoesNotCrash) {
  const int n = 2000;
  BitMap *bm = AllocBitMap(n, n);
  ASSERT_NE(bm, nullptr);
  const uint32_t border = RGBToPixel(0xFFFFFF, PIXFMT_BGRX32), fill = RGBToPixel(0x0000FF, PIXFMT_BGRX32);
  uint32_t *px = (uint32_t *)(void *)bm->pixels;
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) px[y * n + x] = (y < n - 1 && x % 2 == 1) ? border : 0;
  BitMapInfo info;
  LockBitMap(bm, &info);
  EXPECT_EQ(FloodFillRect(&info, 0, 0, 0xFFFFFF, 0x0000FF), 0);
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++)
      if (!(y < n - 1 && x % 2 == 1)) {
        ASSERT_EQ(px[y * n + x], fill) << x << "," << y;
      }
  // A serpentine: one path through every row, alternating ends.
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      bool wall = (y % 2 == 1) && !((y / 2) % 2 == 0 ? x == n - 1 : x == 0);
      px[y * n + x] = wall ? border : 0;
    }
  EXPECT_EQ(FloodFillRect(&info, 0, 0, 0xFFFFFF, 0x0000FF), 0);
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++)
      if (px[y * n + x] != border) {
        ASSERT_EQ(px[y * n + x], fill) << x << "," << y;
      }
  EXPECT_EQ(px[(n - 2) * n + (n - 1)], fill);
  EXPECT_EQ(px[(n - 1) * n + 5], border);
  UnLockBitMap();
  FreeBitMap(bm);
}

// ---- Flip ------------------------------------------------------------------

class FlipTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(FlipTest, FlipsAndDoubleFlipRestores) {
  const int width = std::get<0>(GetParam()), bpp = std::get<1>(GetParam());
  const PixelFormat f = bpp == 4 ? PIXFMT_BGRX32 : bpp == 3 ? PIXFMT_RGB24 : PIXFMT_RGB16;
  for (int h : {4, 5}) {
    BitMap *bm = MakeTestBitMap(f, width, h);
    FillPattern(bm, width);
    Mask *m = AllocMask(nullptr, width, h, 0);
    for (int i = 0; i < m->bytesPerRow * h; i++) m->pixels[i] = (uint8_t)(i * 37 + 11);
    AlphaChannel *al = AllocAlphaChannel(width, h, 0);
    for (int i = 0; i < al->bytesPerRow * h; i++) al->pixels[i] = (uint8_t)(i * 7);
    const auto pix0 = Snapshot(bm);
    const std::vector<uint8_t> m0(m->pixels, m->pixels + m->bytesPerRow * h);
    const std::vector<uint8_t> a0(al->pixels, al->pixels + al->bytesPerRow * h);
    std::vector<uint8_t> scratch(m->bytesPerRow);
    for (int dir : {0, 1}) {
      FlipRecord r = {bm->pixels, width, h, bm->bytesPerRow / bpp, m->pixels, m->bytesPerRow,
                      al->pixels, al->bytesPerRow, dir, bpp, scratch.data()};
      FlipPixels(&r);
      BitMap orig = *bm;
      orig.pixels = const_cast<uint8_t *>(pix0.data());
      Mask om = *m;
      om.pixels = const_cast<uint8_t *>(m0.data());
      for (int y = 0; y < h; y++)
        for (int x = 0; x < width; x++) {
          const int ox = dir ? width - 1 - x : x, oy = dir ? y : h - 1 - y;
          ASSERT_EQ(memcmp(PixelPtr(bm, x, y), PixelPtr(&orig, ox, oy), bpp), 0) << dir << " " << x << "," << y;
          ASSERT_EQ(MaskBit(m, x, y), MaskBit(&om, ox, oy)) << dir << " " << x << "," << y;
          ASSERT_EQ(al->pixels[y * al->bytesPerRow + x], a0[oy * al->bytesPerRow + ox]);
        }
      // Bits after the last pixel of a row do not move into the row.
      if (dir) {
        for (int y = 0; y < h; y++)
          for (int x = width; x < m->bytesPerRow * 8; x++) ASSERT_EQ(MaskBit(m, x, y), MaskBit(&om, x, y));
      }
      FlipPixels(&r);
      EXPECT_EQ(Snapshot(bm), pix0);
      EXPECT_EQ(std::vector<uint8_t>(m->pixels, m->pixels + m->bytesPerRow * h), m0);
      EXPECT_EQ(std::vector<uint8_t>(al->pixels, al->pixels + al->bytesPerRow * h), a0);
    }
    FreeMask(m);
    FreeAlphaChannel(al);
    FreeTestBitMap(bm);
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, FlipTest,
                         ::testing::Combine(::testing::Values(8, 9, 13, 1), ::testing::Values(2, 3, 4)));

}  // namespace

namespace {

// The recursive boundary fill as the steps describe it, on a plain array of
// colour indices (0 border, 1 fill, others anything else).
struct RefFill {
  std::vector<int> &px;
  int w, h;
  int &At(int x, int y) { return px[y * w + x]; }
  void Fill(int x, int y) {
    if (x < 0 || At(x, y) == 0) return;
    At(x, y) = 1;
    int l = x, r = x;
    while (l - 1 >= 0 && At(l - 1, y) != 0) At(--l, y) = 1;
    while (r + 1 < w && At(r + 1, y) != 0) At(++r, y) = 1;
    for (int ny : {y - 1, y + 1}) {
      if (ny < 0 || ny >= h) continue;
      bool seeding = true;
      for (int wx = l; wx <= r; wx++) {
        const int v = At(wx, ny);
        if (v == 0 || v == 1) seeding = true;
        else if (seeding) {
          seeding = false;
          Fill(wx, ny);
        }
      }
    }
  }
};

// Random pictures with pre-filled pixels (which stop the seeding but not the
// span): the fill on its explicit seed stack gives what the recursive fill of
// the steps gives.
TEST(FloodFill, MatchesTheRecursiveFill) {
  const int w = 13, h = 9;
  const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x000000, 0x0000FF};
  uint32_t s = 99;
  auto rnd = [&] { return (s = s * 1103515245u + 12345) >> 16; };
  BitMap *bm = MakeTestBitMap(PIXFMT_BGRX32, w, h, 0);
  for (int round = 0; round < 400; round++) {
    std::vector<int> px(w * h);
    for (int &v : px) {
      const uint32_t r = rnd() % 10;
      v = r < 3 ? 0 : r < 5 ? 1 : r < 8 ? 2 : 3;
    }
    const int sx = (int)(rnd() % w), sy = (int)(rnd() % h);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) SetRGB(bm, x, y, colours[px[y * w + x]]);
    RefFill ref{px, w, h};
    ref.Fill(sx, sy);
    FloodFillRecord r = {bm->pixels, w, h, w, RGBToPixel(colours[0], PIXFMT_BGRX32),
                         RGBToPixel(colours[1], PIXFMT_BGRX32), 0, 0};
    ASSERT_EQ(FloodFill32(&r, sx, sy, 0xFFFFFF00), 0);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        ASSERT_EQ(GetRGB(bm, x, y), colours[px[y * w + x]]) << "round " << round << " at " << x << "," << y;
  }
  FreeTestBitMap(bm);
}

}  // namespace
