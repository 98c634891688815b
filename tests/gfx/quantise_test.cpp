// The colour quantiser: palette sizes, the transparent slot, mapping and dithering.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "gfx/quantise.h"
#include "tests/gfx/gfx_fixture.h"

namespace {

struct Result {
  int ok;
  int32_t count;
  std::vector<uint8_t> index;
  uint32_t palette[256];
};

Result Quantise(const BitMap *bm, int32_t wanted, int32_t transparent, int reserve, int dither) {
  Result r;
  r.count = wanted;
  r.index.assign((size_t)bm->width * bm->height, 0xEE);
  r.ok = QuantizeBitMap(bm->pixels, bm->format, bm->bytesPerPixel, bm->width, bm->height,
                        bm->bytesPerRow / bm->bytesPerPixel, r.index.data(), r.palette, &r.count, transparent, reserve,
                        dither);
  return r;
}

TEST(Quantise, FourColoursGiveFourEntries) {
  for (PixelFormat f : {PIXFMT_BGRX32, PIXFMT_RGB24, PIXFMT_RGB16}) {
    BitMap *bm = MakeTestBitMap(f, 8, 8);
    const uint32_t colours[4] = {0xF80000, 0x00FC00, 0x0000F8, 0xF8FCF8};
    for (int32_t y = 0; y < 8; y++)
      for (int32_t x = 0; x < 8; x++) SetRGB(bm, x, y, colours[(x / 4) + 2 * (y / 4)]);
    for (int dither = 0; dither < 2; dither++) {
      Result r = Quantise(bm, 16, -1, 0, dither);
      ASSERT_EQ(r.ok, 1);
      EXPECT_EQ(r.count, 4) << f;
      // Every pixel maps to the palette entry of its own colour.
      for (int32_t y = 0; y < 8; y++)
        for (int32_t x = 0; x < 8; x++) {
          const uint32_t want = colours[(x / 4) + 2 * (y / 4)];
          const uint32_t got = r.palette[r.index[y * 8 + x]];
          EXPECT_NEAR((int)(got >> 16), (int)(want >> 16), 4);
          EXPECT_NEAR((int)(got >> 8 & 255), (int)(want >> 8 & 255), 2);
          EXPECT_NEAR((int)(got & 255), (int)(want & 255), 4);
        }
    }
    FreeTestBitMap(bm);
  }
}

TEST(Quantise, TransparentOnlyPictureGivesCountTwo) {
  BitMap *bm = MakeTestBitMap(PIXFMT_BGRX32, 5, 3);
  for (int32_t y = 0; y < 3; y++)
    for (int32_t x = 0; x < 5; x++) SetRGB(bm, x, y, 0x00FF00);
  for (int dither = 0; dither < 2; dither++) {
    Result r = Quantise(bm, 16, 0x00FF00, 0, dither);
    ASSERT_EQ(r.ok, 1);
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.palette[0], 0xFFFFFFu);  // the empty box is white
    EXPECT_EQ(r.palette[1], 0x00FF00u);
    for (uint8_t i : r.index) EXPECT_EQ(i, 1);
  }
  FreeTestBitMap(bm);
}

TEST(Quantise, ReservedSlotAndWantedLimits) {
  BitMap *bm = MakeTestBitMap(PIXFMT_BGRX32, 32, 32);
  FillPattern(bm, 9);
  Result r = Quantise(bm, 16, 0x123456, 0, 0);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.count, 17);
  EXPECT_EQ(r.palette[16], 0x123456u);
  r = Quantise(bm, 300, -1, 1, 0);
  EXPECT_EQ(r.count, 256);  // 255 boxes and the reserved slot
  EXPECT_EQ(r.palette[255], 0u);
  r = Quantise(bm, 300, -1, 0, 1);
  EXPECT_EQ(r.count, 256);
  for (uint8_t i : r.index) EXPECT_LT(i, 256);
  // Identical pixels map to the same index without dithering.
  r = Quantise(bm, 8, -1, 0, 0);
  EXPECT_LE(r.count, 8);
  for (int32_t i = 0; i < 32 * 32; i++)
    for (int32_t j = i + 1; j < i + 40 && j < 32 * 32; j++)
      if (GetRGB(bm, i % 32, i / 32) == GetRGB(bm, j % 32, j / 32)) {
        EXPECT_EQ(r.index[i], r.index[j]);
      }
  FreeTestBitMap(bm);
}

// Serpentine Floyd-Steinberg against a plain model: errors in sixteenths limited by the table,
// a fresh error row for the row below, the nearest palette colour of the value's cell by the
// weighted distance (first colour on ties), and transparent pixels spreading nothing.
TEST(Quantise, DitheringFollowsTheErrorDiffusionModel) {
  const int32_t w = 23, h = 9;
  BitMap *bm = MakeTestBitMap(PIXFMT_BGRX32, w, h);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) SetRGB(bm, x, y, (uint32_t)(x * 11) << 16 | (uint32_t)(y * 28) << 8 | (uint32_t)((x * y * 7) & 255));
  const uint32_t key = 0x010203;
  SetRGB(bm, 5, 2, key);
  SetRGB(bm, 17, 3, key);
  Result plain = Quantise(bm, 6, (int32_t)key, 0, 0);
  Result dith = Quantise(bm, 6, (int32_t)key, 0, 1);
  ASSERT_EQ(dith.ok, 1);
  ASSERT_EQ(dith.count, plain.count);
  const int32_t boxes = dith.count - 1;
  for (int32_t i = 0; i < dith.count; i++) ASSERT_EQ(dith.palette[i], plain.palette[i]);
  auto limit = [](int32_t e) {
    const int32_t a = e < 0 ? -e : e, v = a < 16 ? a : a < 48 ? 16 + (a - 16) / 2 : 32;
    return e < 0 ? -v : v;
  };
  auto nearest = [&](const int32_t v[3]) {
    const int32_t c[3] = {(v[0] >> 3) * 8 + 4, (v[1] >> 2) * 4 + 2, (v[2] >> 3) * 8 + 4}, wt[3] = {2, 3, 1};
    int32_t best = 0, bestD = INT32_MAX;
    for (int32_t i = 0; i < boxes; i++) {
      int32_t d = 0;
      for (int ch = 0; ch < 3; ch++) {
        const int32_t diff = wt[ch] * (c[ch] - (int32_t)(dith.palette[i] >> (16 - 8 * ch) & 255));
        d += diff * diff;
      }
      if (d < bestD) { bestD = d; best = i; }
    }
    return best;
  };
  std::vector<int32_t> err((size_t)(w + 2) * 3, 0);
  for (int32_t y = 0; y < h; y++) {
    const int32_t dir = y % 2 ? -1 : 1;
    std::vector<int32_t> next((size_t)(w + 2) * 3, 0);
    int32_t carried[3] = {0, 0, 0};
    for (int32_t i = 0; i < w; i++) {
      const int32_t x = dir > 0 ? i : w - 1 - i, pos = x + 1;
      const uint32_t rgb = GetRGB(bm, x, y);
      if (rgb == key) {
        ASSERT_EQ(dith.index[y * w + x], boxes);
        continue;
      }
      int32_t v[3];
      for (int ch = 0; ch < 3; ch++) {
        const int32_t e = limit((carried[ch] + err[pos * 3 + ch] + 8) >> 4);
        const int32_t val = (int32_t)(rgb >> (16 - 8 * ch) & 255) + e;
        v[ch] = val < 0 ? 0 : val > 255 ? 255 : val;
      }
      const int32_t idx = nearest(v);
      ASSERT_EQ(dith.index[y * w + x], idx) << x << "," << y;
      for (int ch = 0; ch < 3; ch++) {
        const int32_t d = v[ch] - (int32_t)(dith.palette[idx] >> (16 - 8 * ch) & 255);
        carried[ch] = 7 * d;
        next[(pos - dir) * 3 + ch] += 3 * d;
        next[pos * 3 + ch] += 5 * d;
        next[(pos + dir) * 3 + ch] += d;
      }
    }
    err = next;
  }
  FreeTestBitMap(bm);
}

TEST(Quantise, DitheringAPaletteColourGivesAUniformPlane) {
  // A two-colour picture: the palette holds both colours exactly (cell centres), so a
  // single-colour region dithers without error.
  BitMap *bm = MakeTestBitMap(PIXFMT_BGRX32, 9, 7);
  for (int32_t y = 0; y < 7; y++)
    for (int32_t x = 0; x < 9; x++) SetRGB(bm, x, y, 0x0C0604);  // cell centre (8*1+4, 4*1+2, 8*0+4)
  Result r = Quantise(bm, 4, -1, 0, 1);
  ASSERT_EQ(r.ok, 1);
  ASSERT_EQ(r.count, 1);
  EXPECT_EQ(r.palette[0], 0x0C0604u);
  for (uint8_t i : r.index) EXPECT_EQ(i, r.index[0]);
  FreeTestBitMap(bm);
}

}  // namespace
