// Bitmaps, masks and alpha channels: row layouts, size limits, wrapped planes,
// the attribute query, single-pixel access and the ARGB conversions.
#include <gtest/gtest.h>
#include "gfx/bitmap.h"
#include "gfx/kernels.h"
#include "gfx_fixture.h"

namespace {

TEST(BitMapAlloc, RowLayouts) {
  BitMap *bm = AllocBitMap(7, 3);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->bytesPerRow, 28);
  EXPECT_EQ(bm->bytesPerPixel, 4);
  EXPECT_EQ(bm->format, PIXFMT_BGRX32);
  EXPECT_EQ(bm->width, 7);
  EXPECT_EQ(bm->height, 3);
  // Touch the last byte: the buffer covers width x height x 4.
  bm->pixels[7 * 3 * 4 - 1] = 1;
  FreeBitMap(bm);

  struct { int32_t w, maskBpr, alphaBpr; } rows[] = {{0, 1, 0}, {1, 1, 4}, {4, 1, 4}, {5, 1, 8},
                                                    {7, 1, 8}, {8, 2, 8}, {16, 3, 16}, {17, 3, 20}};
  for (auto r : rows) {
    Mask *m = AllocMask(nullptr, r.w, 2, 1);
    ASSERT_NE(m, nullptr) << r.w;
    EXPECT_EQ(m->bytesPerRow, r.maskBpr) << r.w;
    EXPECT_EQ(m->notOwned, 0);
    for (int i = 0; i < m->bytesPerRow * 2; i++) EXPECT_EQ(m->pixels[i], 0);
    FreeMask(m);
    if (r.w > 0) {
      AlphaChannel *a = AllocAlphaChannel(r.w, 2, 1);
      ASSERT_NE(a, nullptr);
      EXPECT_EQ(a->bytesPerRow, r.alphaBpr) << r.w;
      for (int i = 0; i < a->bytesPerRow * 2; i++) EXPECT_EQ(a->pixels[i], 0);
      FreeAlphaChannel(a);
    }
  }
}

// Sizes whose byte count wraps round in 32 bits (or is plainly too large)
// must fail instead of handing out a small buffer.
TEST(BitMapAlloc, HugeSizesFail) {
  const int32_t sizes[][2] = {{65536, 65536},     {0x40000000, 4},   {4, 0x40000000},
                              {0x7FFFFFFF, 0x7FFFFFFF}, {100000, 100000}, {-1, 10}, {10, -1}};
  for (auto &s : sizes) {
    EXPECT_EQ(AllocBitMap(s[0], s[1]), nullptr) << s[0] << "x" << s[1];
    EXPECT_EQ(AllocDisplayBitMap(s[0], s[1]), nullptr);
    EXPECT_EQ(AllocAlphaChannel(s[0], s[1], 0), nullptr);
  }
  // Masks take an eighth: 2^20 x 2^17 wraps 32 bits as bytes.
  EXPECT_EQ(AllocMask(nullptr, 0x7FFFFFF8, 8, 0), nullptr);
  EXPECT_EQ(AllocMask(nullptr, 1 << 20, 1 << 17, 0), nullptr);
  EXPECT_EQ(AllocMask(nullptr, -8, 8, 0), nullptr);

  BitMap *bm = reinterpret_cast<BitMap *>(1);
  Mask *m = reinterpret_cast<Mask *>(1);
  std::vector<uint32_t> words(16);
  EXPECT_EQ(BitMapFromARGB(words.data(), -1, 65536, 65536, 65536, &bm, &m), 1000);
  EXPECT_EQ(bm, reinterpret_cast<BitMap *>(1)) << "nothing stored on failure";
}

TEST(BitMapAlloc, WrappedPlanesKeepTheirMemory) {
  uint8_t mem[64];
  memset(mem, 0x5A, sizeof mem);
  Mask *m = WrapMask(mem, 4);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->notOwned, 1);
  EXPECT_EQ(m->width, 0);
  EXPECT_EQ(m->bytesPerRow, 4);
  FreeMask(m);  // must not free `mem` (ASan would report a bad free)
  AlphaChannel *a = WrapAlphaChannel(mem, 8, 8, 8);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->notOwned, 1);
  FreeAlphaChannel(a);
  EXPECT_EQ(mem[63], 0x5A);

  // Re-pointing an owned mask keeps its old buffer alive for its owner.
  Mask *own = AllocMask(nullptr, 16, 2, 1);
  uint8_t *old = own->pixels;
  SetMaskMemory(own, mem, 8);
  EXPECT_EQ(own->notOwned, 1);
  FreeMask(own);
  MemFree(old);
  AlphaChannel *oa = AllocAlphaChannel(4, 4, 0);
  uint8_t *olda = oa->pixels;
  SetAlphaChannelMemory(oa, mem, 16);
  FreeAlphaChannel(oa);
  MemFree(olda);

  FreeMask(nullptr);
  FreeAlphaChannel(nullptr);
  FreeBitMap(nullptr);
}

TEST(BitMapAlloc, TempHeadersAreStatic) {
  uint8_t a[4], b[4];
  Mask *m1 = TempMaskHeader(a, 0, 16, 3);
  EXPECT_EQ(m1->bytesPerRow, 3);
  Mask *m2 = TempMaskHeader(b, 0, 5, 1);
  EXPECT_EQ(m1, m2);
  EXPECT_EQ(m1->pixels, b);
  AlphaChannel *t = TempAlphaHeader(a, 12);
  EXPECT_EQ(t->pixels, a);
  EXPECT_EQ(t->bytesPerRow, 12);
}

TEST(BitMapLock, FillsInfoAndRefusesNull) {
  BitMapInfo info;
  info.valid = 1;
  EXPECT_EQ(LockBitMap(nullptr, &info), 0);
  EXPECT_EQ(info.valid, 0);
  BitMap *bm = MakeTestBitMap(PIXFMT_RGB24, 10, 4, 2);
  ASSERT_EQ(LockBitMap(bm, &info), 1);
  EXPECT_EQ(info.valid, 1);
  EXPECT_EQ(info.modulo, 12);
  EXPECT_EQ(info.bytesPerPixel, 3);
  EXPECT_EQ(info.format, PIXFMT_RGB24);
  EXPECT_EQ(info.width, 10);
  EXPECT_EQ(info.height, 4);
  EXPECT_EQ(info.pixels, bm->pixels);
  UnLockBitMap();
  FreeTestBitMap(bm);
}

TEST(BitMapAttr, Attributes) {
  BitMap *bm = AllocBitMap(16, 5);
  Mask *m = AllocMask(bm, 16, 5, 1);
  AlphaChannel *a = AllocAlphaChannel(13, 5, 1);
  EXPECT_EQ(GetBitMapAttr(bm, BMA_WIDTH), 16);
  EXPECT_EQ(GetBitMapAttr(bm, BMA_HEIGHT), 5);
  EXPECT_EQ(GetBitMapAttr(bm, BMA_MASK_ROWBYTES_FOR), 3);
  EXPECT_EQ(GetBitMapAttr(bm, BMA_ROW_PIXELS), 16);
  EXPECT_EQ(GetBitMapAttr(bm, BMA_DEPTH), 32);
  EXPECT_EQ(GetBitMapAttr(m, BMA_MASK_PIXELS), (intptr_t)m->pixels);
  EXPECT_EQ(GetBitMapAttr(m, BMA_MASK_BYTESPERROW), 3);
  EXPECT_EQ(GetBitMapAttr(a, BMA_ALPHA_PIXELS), (intptr_t)a->pixels);
  EXPECT_EQ(GetBitMapAttr(a, BMA_ALPHA_BYTESPERROW), 16);
  EXPECT_EQ(GetBitMapAttr(bm, 99), 0);
  EXPECT_EQ(GetBitMapAttr(nullptr, 0), 0);
  FreeAlphaChannel(a);
  FreeMask(m);
  FreeBitMap(bm);
  // Rows of 4096 pixels and more report their full length.
  BitMap *wide = AllocBitMap(5000, 1);
  EXPECT_EQ(GetBitMapAttr(wide, BMA_ROW_PIXELS), 5000);
  FreeBitMap(wide);
}

class PixelAccessTest : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(PixelAccessTest, WriteThenReadAndBounds) {
  const PixelFormat f = GetParam();
  BitMap *bm = MakeTestBitMap(f, 5, 4, 0);
  const uint32_t colours[] = {0x000000, 0xFFFFFF, 0x123456, 0xF8FCF8, 0x808080};
  for (uint32_t c : colours) {
    WriteBitMapPixel(bm, 2, 3, c, 0);
    EXPECT_EQ(ReadBitMapPixel(bm, 2, 3, 0), Representable(c, f)) << std::hex << c;
  }
  // Outside the bitmap: reads 0, writes nothing.
  const auto before = Snapshot(bm);
  for (auto xy : std::vector<std::pair<int, int>>{{-1, 0}, {5, 0}, {0, -1}, {0, 4}, {100000, 100000}}) {
    WriteBitMapPixel(bm, xy.first, xy.second, 0xFFFFFF, 0);
    EXPECT_EQ(ReadBitMapPixel(bm, xy.first, xy.second, 0), 0u);
  }
  EXPECT_EQ(Snapshot(bm), before);
  // Lines are clipped pixel by pixel.
  DrawBitMapLine(bm, -10, -10, 20, 20, 0xFFFFFF);
  for (int i = 0; i < 4; i++) EXPECT_EQ(ReadBitMapPixel(bm, i, i, 0), Representable(0xFFFFFF, f));
  FreeTestBitMap(bm);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, PixelAccessTest, ::testing::ValuesIn(AllFormats()));

TEST(PixelAccess, LineEndpointsAndDirections) {
  BitMap *bm = AllocBitMap(8, 8);
  memset(bm->pixels, 0, 8 * 8 * 4);
  DrawBitMapLine(bm, 6, 1, 1, 1, 0xFF0000);
  for (int x = 0; x < 8; x++) EXPECT_EQ(ReadBitMapPixel(bm, x, 1, 0), (x >= 1 && x <= 6) ? 0xFF0000u : 0u);
  DrawBitMapLine(bm, 3, 7, 3, 2, 0x00FF00);
  for (int y = 2; y < 8; y++) EXPECT_EQ(ReadBitMapPixel(bm, 3, y, 0), 0x00FF00u);
  FreeBitMap(bm);
}

TEST(PixelAccess, MaskModes) {
  Mask *m = AllocMask(nullptr, 12, 2, 1);
  struct { uint32_t mode; bool from0, from1; } modes[] = {
      {MASKVISIBLE, 1, 1}, {MASKINVISIBLE, 0, 0}, {MASKVANILLACOPY, 1, 1},
      {MASKXOR, 1, 0},     {MASKAND, 0, 1},       {MASKOR, 1, 1}, {6, 0, 1}};
  for (auto c : modes) {
    for (int start = 0; start < 2; start++) {
      SetMaskBit(m, 9, 1, start);
      WriteBitMapPixel(m, 9, 1, c.mode, 1);
      EXPECT_EQ(ReadBitMapPixel(m, 9, 1, 1), (uint32_t)(start ? c.from1 : c.from0)) << c.mode << " " << start;
      EXPECT_EQ(ReadBitMapPixel(m, 8, 1, 1), 0u);
    }
  }
  // Mode 3 twice restores.
  SetMaskBit(m, 3, 0, true);
  WriteBitMapPixel(m, 3, 0, MASKXOR, 1);
  WriteBitMapPixel(m, 3, 0, MASKXOR, 1);
  EXPECT_EQ(ReadBitMapPixel(m, 3, 0, 1), 1u);
  // Outside: nothing.
  WriteBitMapPixel(m, 12, 0, MASKVISIBLE, 1);
  WriteBitMapPixel(m, 0, 2, MASKVISIBLE, 1);
  WriteBitMapPixel(m, -1, 0, MASKVISIBLE, 1);
  EXPECT_EQ(ReadBitMapPixel(m, -1, 0, 1), 0u);
  EXPECT_EQ(ReadBitMapPixel(nullptr, 0, 0, 1), 0u);
  FreeMask(m);
}

TEST(ARGB, RoundTripAndKeyMask) {
  const int w = 5, h = 3, row = 7;
  std::vector<uint32_t> words(row * h, 0xDEADBEEF);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) words[y * row + x] = 0xAB000000u | (uint32_t)(y * 0x10101 + x * 0x30201);
  words[1 * row + 2] = 0x77102030;  // key colour with a different top byte
  BitMap *bm = nullptr;
  Mask *m = nullptr;
  ASSERT_EQ(BitMapFromARGB(words.data(), 0x102030, w, h, row, &bm, &m), 0);
  ASSERT_NE(m, nullptr);
  // Format 11: memory bytes are the word reversed: top byte, R, G, B.
  // Pixel (1, 0) is the word 0xAB030201: the top byte lands in the spare byte.
  EXPECT_EQ(bm->pixels[4], 0xAB);
  EXPECT_EQ(bm->pixels[5], 0x03);
  EXPECT_EQ(bm->pixels[6], 0x02);
  EXPECT_EQ(bm->pixels[7], 0x01);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      EXPECT_EQ(ReadBitMapPixel(bm, x, y, 0), words[y * row + x] & 0xFFFFFF);
      EXPECT_EQ(MaskBit(m, x, y), !(x == 2 && y == 1));
    }
  uint32_t *back = BitMapToARGB(bm, w, h);
  ASSERT_NE(back, nullptr);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) EXPECT_EQ(back[y * w + x], words[y * row + x]);
  MemFree(back);
  // A format 11 pixel with bytes 0, R, G, B gives 0x00RRGGBB.
  bm->pixels[0] = 0;
  bm->pixels[1] = 0x11;
  bm->pixels[2] = 0x22;
  bm->pixels[3] = 0x33;
  back = BitMapToARGB(bm, 1, 1);
  EXPECT_EQ(back[0], 0x00112233u);
  MemFree(back);
  EXPECT_EQ(BitMapToARGB(bm, w + 1, h), nullptr);
  EXPECT_EQ(BitMapToARGB(nullptr, 1, 1), nullptr);
  FreeMask(m);
  FreeBitMap(bm);

  ASSERT_EQ(BitMapFromARGB(words.data(), -1, w, h, row, &bm, &m), 0);
  EXPECT_EQ(m, nullptr);
  FreeBitMap(bm);
}

}  // namespace
