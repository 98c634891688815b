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
