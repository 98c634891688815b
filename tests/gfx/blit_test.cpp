// The low-level blits over every pixel format: copy, masked copy, template,
// fill, and the mask-plane operations.
#include <gtest/gtest.h>
#include <functional>
#include "gfx/blit.h"
#include "gfx_fixture.h"

namespace {

const int W = 40, H = 12;

// Raw pixel value at (x, y) as bytes, for exact comparisons.
std::vector<uint8_t> RawAt(const BitMap *bm, int x, int y) {
  return std::vector<uint8_t>(PixelPtr(bm, x, y), PixelPtr(bm, x, y) + bm->bytesPerPixel);
}

// Checks that `dst` equals `before` except inside the rectangle, where
// `expect(x, y)` gives the raw bytes the pixel must hold.
void CheckRect(const BitMap *dst, const std::vector<uint8_t> &before, int dx, int dy, int w, int h,
               const std::function<std::vector<uint8_t>(int, int)> &expect) {
  const int bpp = dst->bytesPerPixel, rowPixels = dst->bytesPerRow / bpp;
  for (int y = 0; y < dst->height; y++)
    for (int x = 0; x < rowPixels; x++) {
      const uint8_t *p = PixelPtr(dst, x, y);
      std::vector<uint8_t> got(p, p + bpp);
      std::vector<uint8_t> want;
      if (x >= dx && x < dx + w && y >= dy && y < dy + h) want = expect(x - dx, y - dy);
      else want.assign(before.begin() + (p - dst->pixels), before.begin() + (p - dst->pixels) + bpp);
      ASSERT_EQ(got, want) << "pixel " << x << "," << y;
    }
}

Mask *MakeMask(int w, int h, const std::function<bool(int, int)> &bit) {
  Mask *m = AllocMask(nullptr, w, h, 1);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) SetMaskBit(m, x, y, bit(x, y));
  return m;
}

class BlitFormatTest : public ::testing::TestWithParam<PixelFormat> {
 protected:
  void SetUp() override {
    src = MakeTestBitMap(GetParam(), W, H);
    dst = MakeTestBitMap(GetParam(), W, H);
    FillPattern(src, 1);
    FillPattern(dst, 2);
  }
  void TearDown() override {
    FreeTestBitMap(src);
    FreeTestBitMap(dst);
  }
  BitMap *src = nullptr, *dst = nullptr;
};

TEST_P(BlitFormatTest, BltBitMapCopiesRawRectangle) {
  const auto before = Snapshot(dst);
  BltBitMap(src, 3, 2, dst, 7, 4, 21, 6);
  CheckRect(dst, before, 7, 4, 21, 6, [&](int i, int j) { return RawAt(src, 3 + i, 2 + j); });
}

TEST_P(BlitFormatTest, BltBitMapWithinOneBitmapOverlapping) {
  // Scroll down and right by a few pixels inside the same bitmap.
  BitMap *copy = MakeTestBitMap(GetParam(), W, H);
  memcpy(copy->pixels, src->pixels, (size_t)src->bytesPerRow * H);
  BltBitMap(src, 0, 0, src, 2, 3, 30, 8);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 30; x++) ASSERT_EQ(RawAt(src, x + 2, y + 3), RawAt(copy, x, y)) << x << "," << y;
  memcpy(src->pixels, copy->pixels, (size_t)src->bytesPerRow * H);
  BltBitMap(src, 3, 4, src, 1, 1, 30, 8);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 30; x++) ASSERT_EQ(RawAt(src, x + 1, y + 1), RawAt(copy, x + 3, y + 4)) << x << "," << y;
  FreeTestBitMap(copy);
}

TEST_P(BlitFormatTest, BltMaskClearSetCheckerAtUnalignedX) {
  struct MaskKind {
    const char *name;
    std::function<bool(int, int)> bit;
  } kinds[] = {{"clear", [](int, int) { return false; }},
               {"set", [](int, int) { return true; }},
               {"checker", [](int x, int y) { return ((x + y) & 1) != 0; }},
               {"random", [](int x, int y) { return ((x * 7919 + y * 104729) >> 3) % 3 == 0; }}};
  for (auto &k : kinds) {
    Mask *m = MakeMask(W, H, k.bit);
    for (int sx : {0, 1, 3, 5, 8, 13}) {
      for (int w : {1, 2, 7, 8, 9, 20}) {
        FillPattern(dst, 2);
        const auto before = Snapshot(dst);
        BltMask(src, sx, 1, dst, 4, 2, w, 5, m);
        SCOPED_TRACE(std::string(k.name) + " sx=" + std::to_string(sx) + " w=" + std::to_string(w));
        // The mask belongs to the source: bit (sx + i, sy + j).
        CheckRect(dst, before, 4, 2, w, 5, [&](int i, int j) {
          return k.bit(sx + i, 1 + j) ? RawAt(src, sx + i, 1 + j) : std::vector<uint8_t>(
              before.begin() + (PixelPtr(dst, 4 + i, 2 + j) - dst->pixels),
              before.begin() + (PixelPtr(dst, 4 + i, 2 + j) - dst->pixels) + dst->bytesPerPixel);
        });
      }
    }
    FreeMask(m);
  }
}

TEST_P(BlitFormatTest, BltTemplateStoresConvertedColour) {
  Mask *t = MakeMask(W, H, [](int x, int y) { return (x * 3 + y) % 4 == 1; });
  const auto before = Snapshot(dst);
  const uint32_t value = RGBToPixel(0x123456, GetParam());
  BltTemplate(t, 5, 2, dst, 1, 3, 17, 6, 0x123456);
  CheckRect(dst, before, 1, 3, 17, 6, [&](int i, int j) {
    if (MaskBit(t, 5 + i, 2 + j)) {
      std::vector<uint8_t> v(dst->bytesPerPixel);
      if (dst->bytesPerPixel == 3) v = {(uint8_t)(value >> 16), (uint8_t)(value >> 8), (uint8_t)value};
      else memcpy(v.data(), &value, v.size());
      return v;
    }
    size_t off = PixelPtr(dst, 1 + i, 3 + j) - dst->pixels;
    return std::vector<uint8_t>(before.begin() + off, before.begin() + off + dst->bytesPerPixel);
  });
  EXPECT_EQ(GetRGB(dst, 1, 3), Representable(0x123456, GetParam()));  // template bit (5, 2) is set
  FreeMask(t);
}

TEST_P(BlitFormatTest, RectFillFillsOnlyTheRectangle) {
  const auto before = Snapshot(dst);
  RectFillBitMap(dst, 2, 1, 33, 9, 0xA0B0C0);
  CheckRect(dst, before, 2, 1, 33, 9, [&](int, int) {
    std::vector<uint8_t> v(dst->bytesPerPixel);
    uint8_t rgb[3] = {0xA0, 0xB0, 0xC0};
    WritePixelRGB(v.data(), dst->format, rgb);
    return v;
  });
  // Empty rectangles draw nothing.
  const auto after = Snapshot(dst);
  RectFillBitMap(dst, 2, 1, 0, 9, 0);
  RectFillBitMap(dst, 2, 1, 5, -1, 0);
  EXPECT_EQ(Snapshot(dst), after);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BlitFormatTest, ::testing::ValuesIn(AllFormats()));

TEST(Blit, TemplateByteOrder24) {
  Mask *t = MakeMask(4, 1, [](int, int) { return true; });
  BitMap *rgb = MakeTestBitMap(PIXFMT_RGB24, 4, 1, 0), *bgr = MakeTestBitMap(PIXFMT_BGR24, 4, 1, 0);
  BltTemplate(t, 0, 0, rgb, 1, 0, 1, 1, 0x112233);
  BltTemplate(t, 0, 0, bgr, 1, 0, 1, 1, 0x112233);
  EXPECT_EQ(RawAt(rgb, 1, 0), (std::vector<uint8_t>{0x11, 0x22, 0x33}));
  EXPECT_EQ(RawAt(bgr, 1, 0), (std::vector<uint8_t>{0x33, 0x22, 0x11}));
  EXPECT_EQ(RawAt(rgb, 0, 0), (std::vector<uint8_t>{0, 0, 0}));
  RectFillBitMap(rgb, 2, 0, 2, 1, 0x445566);
  EXPECT_EQ(RawAt(rgb, 3, 0), (std::vector<uint8_t>{0x44, 0x55, 0x66}));
  FreeTestBitMap(rgb);
  FreeTestBitMap(bgr);
  FreeMask(t);
}

TEST(Blit, MismatchedPixelSizesAndNullsDrawNothing) {
  BitMap *a = MakeTestBitMap(PIXFMT_BGRX32, 8, 4), *b = MakeTestBitMap(PIXFMT_RGB16, 8, 4);
  FillPattern(a);
  FillPattern(b, 5);
  const auto before = Snapshot(b);
  Mask *m = MakeMask(8, 4, [](int, int) { return true; });
  BltBitMap(a, 0, 0, b, 0, 0, 8, 4);
  BltMask(a, 0, 0, b, 0, 0, 8, 4, m);
  BltBitMap(nullptr, 0, 0, b, 0, 0, 8, 4);
  BltMask(nullptr, 0, 0, b, 0, 0, 8, 4, m);
  BltMask(a, 0, 0, b, 0, 0, 8, 4, nullptr);
  BltTemplate(nullptr, 0, 0, b, 0, 0, 8, 4, 0);
  RectFillBitMap(nullptr, 0, 0, 8, 4, 0);
  EXPECT_EQ(Snapshot(b), before);

  testing::internal::CaptureStdout();
  BltBitMap(a, 0, 0, nullptr, 0, 0, 8, 4);
  BltMask(a, 0, 0, nullptr, 0, 0, 8, 4, m);
  BltTemplate(m, 0, 0, nullptr, 0, 0, 8, 4, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR! BLTBITMAP() CALLED WITH DST=NULL!\n"
            "ERROR! BLTMASK() CALLED WITH DST=NULL!\n"
            "ERROR! BLTTEMPLATE() CALLED WITH DST=NULL!\n");
  FreeMask(m);
  FreeTestBitMap(a);
  FreeTestBitMap(b);
}

// Destination bit for a source bit s and destination bit d under each mode.
bool MaskModeRef(int mode, bool s, bool d) {
  switch (mode) {
    case 0: return s ? true : d;
    case 1: return s ? false : d;
    case 2: return s;
    case 3: return s != d;
    case 4: return s && d;
    case 5: return s || d;
  }
  return d;
}

TEST(MaskPlanes, BltMaskToMaskEveryMode) {
  const int mw = 45, mh = 6;
  auto srcBit = [](int x, int y) { return ((x * 5 + y * 3) % 7) < 3; };
  auto dstBit = [](int x, int y) { return ((x + y * 11) % 5) < 2; };
  for (int mode = 0; mode <= 7; mode++)
    for (int sx : {0, 3, 9})
      for (int dx : {0, 5, 8}) {
        Mask *s = MakeMask(mw, mh, srcBit), *d = MakeMask(mw, mh, dstBit);
        const int w = 29, h = 4, sy = 1, dy = 2;
        BltMaskToMask(s, sx, sy, d, dx, dy, w, h, mode);
        for (int y = 0; y < mh; y++)
          for (int x = 0; x < mw; x++) {
            bool inside = x >= dx && x < dx + w && y >= dy && y < dy + h;
            bool want = inside ? MaskModeRef(mode, srcBit(sx + x - dx, sy + y - dy), dstBit(x, y)) : dstBit(x, y);
            ASSERT_EQ(MaskBit(d, x, y), want) << "mode " << mode << " sx " << sx << " dx " << dx << " at " << x
                                              << "," << y;
          }
        FreeMask(s);
        FreeMask(d);
      }
}

TEST(MaskPlanes, XorTwiceRestoresAndFillModes) {
  auto pat = [](int x, int y) { return ((x ^ y) & 3) == 1; };
  Mask *s = MakeMask(30, 4, [](int x, int) { return x % 3 == 0; });
  Mask *d = MakeMask(30, 4, pat);
  BltMaskToMask(s, 1, 0, d, 2, 0, 25, 4, MASKXOR);
  BltMaskToMask(s, 1, 0, d, 2, 0, 25, 4, MASKXOR);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 30; x++) ASSERT_EQ(MaskBit(d, x, y), pat(x, y));
  FreeMask(s);

  for (int mode = 0; mode <= 6; mode++)
    for (int x0 : {0, 3, 8}) {
      for (int y = 0; y < 4; y++)
        for (int x = 0; x < 30; x++) SetMaskBit(d, x, y, pat(x, y));
      FillMaskRect(d, x0, 1, 13, 2, mode);
      for (int y = 0; y < 4; y++)
        for (int x = 0; x < 30; x++) {
          bool inside = x >= x0 && x < x0 + 13 && y >= 1 && y < 3;
          ASSERT_EQ(MaskBit(d, x, y), inside ? MaskModeRef(mode == 4 ? 99 : mode, true, pat(x, y)) : pat(x, y))
              << mode << " " << x << "," << y;
        }
    }
  FreeMask(d);
}

}  // namespace

namespace {

// Rows long enough for the runs of whole mask bytes: a set stretch, a clear
// stretch and a random one, at aligned and unaligned source x.
class BltMaskLongRowTest : public ::testing::TestWithParam<PixelFormat> {};

TEST_P(BltMaskLongRowTest, MatchesPerPixelReference) {
  const int w = 420, h = 3;
  BitMap *src = MakeTestBitMap(GetParam(), w, h), *dst = MakeTestBitMap(GetParam(), w, h);
  FillPattern(src, 21);
  auto bit = [](int x, int y) {
    if (x < 150) return true;
    if (x < 260) return false;
    return ((x * 2654435761u + y * 40503u) >> 13) % 2 == 0;
  };
  Mask *m = MakeMask(w, h, bit);
  for (int sx : {0, 3, 8}) {
    FillPattern(dst, 22);
    const auto before = Snapshot(dst);
    BltMask(src, sx, 0, dst, 1, 0, w - 10, h, m);
    SCOPED_TRACE("sx " + std::to_string(sx));
    CheckRect(dst, before, 1, 0, w - 10, h, [&](int i, int j) {
      if (bit(sx + i, j)) return RawAt(src, sx + i, j);
      size_t off = PixelPtr(dst, 1 + i, j) - dst->pixels;
      return std::vector<uint8_t>(before.begin() + off, before.begin() + off + dst->bytesPerPixel);
    });
  }
  FreeMask(m);
  FreeTestBitMap(src);
  FreeTestBitMap(dst);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BltMaskLongRowTest, ::testing::ValuesIn(AllFormats()));

}  // namespace

namespace {

// Fills of pictures larger than the cache take the processor's string store:
// odd and even start columns and widths, and whole rows as one block, must
// still fill exactly the rectangle.
TEST(Blit, LargeRectFillStaysInRectangle) {
  struct Case { int32_t pad, x, y, w, h; } cases[] = {
      {3, 1, 3, 1100, 1990},  // starts 4 bytes past an 8-byte boundary, then an odd count
      {3, 2, 0, 1099, 1994},  // aligned start, odd width
      {0, 0, 0, 1101, 1999},  // whole rows: one block of an odd count
  };
  const uint32_t rgb = 0x123456;
  for (PixelFormat f : {PIXFMT_BGRX32, PIXFMT_XRGB32}) {
    BitMap *bm = MakeTestBitMap(f, 1101, 2000, 0);
    for (const Case &c : cases) {
      bm->bytesPerRow = (1101 + c.pad) * 4;
      for (size_t i = 0; i < (size_t)1101 * 2000; i++) memcpy(bm->pixels + 4 * i, &i, 4);
      RectFillBitMap(bm, c.x, c.y, c.w, c.h, rgb);
      const uint32_t v = RGBToPixel(rgb, f);
      const int32_t rowPixels = bm->bytesPerRow / 4;
      for (size_t i = 0; i < (size_t)1101 * 2000 / rowPixels * rowPixels; i++) {
        const int32_t x = (int32_t)(i % rowPixels), y = (int32_t)(i / rowPixels);
        const bool inside = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h;
        uint32_t got;
        memcpy(&got, bm->pixels + 4 * i, 4);
        ASSERT_EQ(got, inside ? v : (uint32_t)i) << "format " << f << " pad " << c.pad << " at " << x << "," << y;
      }
    }
    bm->bytesPerRow = 1101 * 4;
    FreeTestBitMap(bm);
  }
}

}  // namespace
