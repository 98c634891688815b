// Colour, blend, gradient and alpha-blit kernels over every pixel format,
// checked against per-pixel references written from the channel rules.
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include "gfx/kernels.h"
#include "gfx_fixture.h"

namespace {

const int W = 23, H = 9;

uint32_t Ch(uint32_t c, int shift) { return c >> shift & 0xFF; }
uint32_t Pack(int32_t r, int32_t g, int32_t b) { return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b; }
// a + (((b - a) * w) >> 8) per channel.
uint32_t Mix(uint32_t a, uint32_t b, int32_t w) {
  int32_t out[3];
  for (int k = 0; k < 3; k++) {
    int32_t ac = (int32_t)Ch(a, 16 - 8 * k), bc = (int32_t)Ch(b, 16 - 8 * k);
    out[k] = ac + (((bc - ac) * w) >> 8);
  }
  return Pack(out[0], out[1], out[2]);
}
bool Is16(PixelFormat f) { return PixelFormatBytes(f) == 2; }

BitMapInfo Info(const BitMap *bm) {
  BitMapInfo i;
  LockBitMap(bm, &i);
  return i;
}

class KernelFormatTest : public ::testing::TestWithParam<PixelFormat> {
 protected:
  void SetUp() override {
    a = MakeTestBitMap(GetParam(), W, H);
    b = MakeTestBitMap(GetParam(), W, H);
    FillPattern(a, 3);
    FillPattern(b, 4);
  }
  void TearDown() override {
    FreeTestBitMap(a);
    FreeTestBitMap(b);
  }
  // Every pixel (padding included): inside the rectangle `want(x, y, old)`,
  // outside unchanged.
  void Expect(const BitMap *bm, const std::vector<uint8_t> &before, int x0, int y0, int w, int h,
              const std::function<uint32_t(int, int, uint32_t)> &want) {
    BitMap old = *bm;
    old.pixels = const_cast<uint8_t *>(before.data());
    for (int y = 0; y < bm->height; y++)
      for (int x = 0; x < bm->bytesPerRow / bm->bytesPerPixel; x++) {
        bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
        if (inside) {
          ASSERT_EQ(GetRGB(bm, x, y), Representable(want(x, y, GetRGB(&old, x, y)), bm->format))
              << "at " << x << "," << y;
        } else {
          ASSERT_EQ(memcmp(PixelPtr(bm, x, y), PixelPtr(&old, x, y), bm->bytesPerPixel), 0)
              << "outside touched at " << x << "," << y;
        }
      }
  }
  BitMap *a = nullptr, *b = nullptr;
};

TEST_P(KernelFormatTest, TintLevels) {
  // The 16-bit member gets its colour as an RGB565 word.
  const uint32_t colour = 0x3C9EF1;  // green keeps one more bit in RGB565 than in RGB555
  const uint32_t target = Is16(GetParam()) ? Representable(colour, PIXFMT_RGB16) : colour;
  for (int level : {0, 1, 128, 255, 256}) {
    FillPattern(a, 3 + level);
    const auto before = Snapshot(a);
    BitMapInfo i = Info(a);
    TintRect(&i, 2, 1, 17, 6, colour, level);
    Expect(a, before, 2, 1, 17, 6, [&](int, int, uint32_t c) { return Mix(c, target, level); });
    if (level == 256 && !Is16(GetParam())) {
      EXPECT_EQ(GetRGB(a, 2, 1), colour);
    }
  }
}

TEST_P(KernelFormatTest, BlendLevelsWithAndWithoutMask) {
  Mask *m = AllocMask(nullptr, W + 3, H, 1);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W + 3; x++) SetMaskBit(m, x, y, (x * 3 + y) % 5 < 3);
  for (int level : {0, 128, 255}) {
    for (bool masked : {false, true}) {
      FillPattern(b, 4 + level);
      const auto before = Snapshot(b);
      BitMapInfo si = Info(a), di = Info(b);
      BlendRect(&si, 5, 2, &di, 1, 3, 15, 5, masked ? m : nullptr, level);
      Expect(b, before, 1, 3, 15, 5, [&](int x, int y, uint32_t d) {
        int sx = x - 1 + 5, sy = y - 3 + 2;
        if (masked && !MaskBit(m, sx, sy)) return d;
        return Mix(GetRGB(a, sx, sy), d, 255 - level);
      });
      if (level == 255 && !masked) {
        EXPECT_EQ(GetRGB(b, 1, 3), GetRGB(a, 5, 2));
      }
    }
  }
  FreeMask(m);
}

TEST_P(KernelFormatTest, AlphaBitMap) {
  AlphaChannel *al = AllocAlphaChannel(W, H, 1);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) al->pixels[y * al->bytesPerRow + x] = (uint8_t)((x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 255 : x * 11 + y);
  const auto before = Snapshot(b);
  BitMapInfo si = Info(a), di = Info(b);
  AlphaBitMapRect(&si, 4, 1, &di, 2, 2, 16, 6, al, 3, 0);
  Expect(b, before, 2, 2, 16, 6, [&](int x, int y, uint32_t d) {
    int i = x - 2, j = y - 2;
    int av = al->pixels[(0 + j) * al->bytesPerRow + 3 + i];
    uint32_t s = GetRGB(a, 4 + i, 1 + j);
    return av == 0 ? d : av == 255 ? s : Mix(d, s, av);
  });
  // All 255 is a plain copy (32-bit: the whole word).
  memset(al->pixels, 255, (size_t)al->bytesPerRow * H);
  AlphaBitMapRect(&si, 0, 0, &di, 0, 0, W, H, al, 0, 0);
  for (int y = 0; y < H; y++)
    ASSERT_EQ(memcmp(PixelPtr(a, 0, y), PixelPtr(b, 0, y), (size_t)W * a->bytesPerPixel), 0);
  FreeAlphaChannel(al);
}

TEST_P(KernelFormatTest, AlphaChannelModes) {
  const PixelFormat f = GetParam();
  const uint32_t colour = 0xE01070;
  const uint32_t colourValue = PixelFormatBytes(f) == 3 ? colour : RGBToPixel(colour, f);
  const uint32_t c = Representable(colour, f);
  AlphaChannel *cov = AllocAlphaChannel(W, H, 1);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) cov->pixels[y * cov->bytesPerRow + x] = (uint8_t)((x * 37 + y * 91) % 7 == 0 ? 0 : (x * 37 + y * 91) % 7 == 1 ? 255 : (x % 3 == 0 ? 64 : x * 13 + y * 7));
  std::vector<uint16_t> cov16(W * H);
  for (int i = 0; i < W * H; i++) cov16[i] = (uint16_t)(0x100 * (i % 3) + cov->pixels[(i / W) * cov->bytesPerRow + i % W]);
  for (int mode : {0, 1, 2, 3, 4, 9}) {
    for (bool withSource : {false, true}) {
      if (mode == 3 && withSource) continue;
      FillPattern(b, 7 + mode);
      AlphaChannel *da = AllocAlphaChannel(W, H, 1);
      for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) da->pixels[y * da->bytesPerRow + x] = (uint8_t)(x % 4 == 0 ? 0 : 40 * (x % 4) + y);
      std::vector<uint8_t> daBefore(da->pixels, da->pixels + da->bytesPerRow * H);
      const auto before = Snapshot(b);
      BitMapInfo di = Info(b), si = Info(a);
      AlphaChannelBltParams p = {};
      p.coverage = cov->pixels;
      p.cx = 2;
      p.cy = 1;
      p.coverageBytesPerRow = cov->bytesPerRow;
      p.dx = 3;
      p.dy = 2;
      p.width = 15;
      p.height = 6;
      p.dstAlpha = da->pixels;
      p.dstAlphaBytesPerRow = da->bytesPerRow;
      p.colour = colourValue;
      p.mode = mode;
      p.level = 200;
      p.coverage16 = cov16.data();
      p.coverage16RowLength = W;
      p.src = withSource ? si.pixels : nullptr;
      p.srcModulo = si.modulo;
      AlphaChannelRect(&di, &p);
      SCOPED_TRACE("mode " + std::to_string(mode) + (withSource ? " source" : " colour"));
      std::vector<uint8_t> daWant = daBefore;
      Expect(b, before, 3, 2, 15, 6, [&](int x, int y, uint32_t d) {
        int cx = x - 3 + 2, cy = y - 2 + 1;
        int av = mode == 3 ? (cov16[cy * W + cx] & 0xFF) : cov->pixels[cy * cov->bytesPerRow + cx];
        uint32_t col = withSource ? GetRGB(a, cx, cy) : c;
        if (av == 0) return d;
        uint8_t &dav = daWant[y * da->bytesPerRow + x];
        switch (mode) {
          case 1: return av == 255 ? col : Mix(d, col, av);
          case 4: return av == 64 ? col : Mix(d, col, (av * 4) & 0xFF);
          case 2:
          case 3:
            if (dav) {
              dav = (uint8_t)(((((av - dav) * av) >> 8) + dav) * 200 / 255);
              return Mix(d, col, av);
            }
            dav = (uint8_t)(200 * av / 255);
            return col;
          default: return col;
        }
      });
      EXPECT_EQ(std::vector<uint8_t>(da->pixels, da->pixels + da->bytesPerRow * H), daWant);
      FreeAlphaChannel(da);
    }
  }
  FreeAlphaChannel(cov);
}

TEST_P(KernelFormatTest, GradientAngles) {
  const uint32_t c1 = 0x10E040, c2 = 0xF02080;
  auto at = [&](int64_t t, int64_t h) {
    int32_t out[3];
    for (int k = 0; k < 3; k++) {
      int64_t a1 = Ch(c1, 16 - 8 * k), a2 = Ch(c2, 16 - 8 * k);
      out[k] = (int32_t)(a1 + (a2 - a1) * t / h);
    }
    return Pack(out[0], out[1], out[2]);
  };
  const int gx = 2, gy = 1, gw = 17, gh = 7;
  struct { int angle; std::function<int64_t(int, int)> t; } cases[] = {
      {0, [&](int, int j) { return (int64_t)j; }},
      {360, [&](int, int j) { return (int64_t)j; }},
      {90, [&](int i, int) { return (int64_t)i * gh / gw; }},
      {180, [&](int, int j) { return (int64_t)(gh - j); }},
      {270, [&](int i, int) { return (int64_t)gh * (gw - i) / gw; }},
      {-90, [&](int i, int) { return (int64_t)gh * (gw - i) / gw; }},
  };
  for (auto &cs : cases) {
    FillPattern(a, 9);
    const auto before = Snapshot(a);
    BitMapInfo i = Info(a);
    GradientRect(&i, gx, gy, gw, gh, c1, c2, cs.angle);
    SCOPED_TRACE("angle " + std::to_string(cs.angle));
    Expect(a, before, gx, gy, gw, gh, [&](int x, int y, uint32_t) { return at(cs.t(x - gx, y - gy), gh); });
  }
  // Diagonals stay within the two colours' range and inside the rectangle.
  for (int angle : {45, 135, 225, 315, 1, 89, 91, 179, 181, 269, 271, 359, -45, 725}) {
    FillPattern(a, 9);
    const auto before = Snapshot(a);
    BitMapInfo i = Info(a);
    GradientRect(&i, gx, gy, gw, gh, c1, c2, angle);
    Expect(a, before, gx, gy, gw, gh, [&](int x, int y, uint32_t) { return GetRGB(a, x, y); });
  }
}

TEST_P(KernelFormatTest, GrayInvertReplace) {
  const PixelFormat f = GetParam();
  // Gray.
  auto before = Snapshot(a);
  BitMapInfo i = Info(a);
  GrayRect(&i, 1, 1, 20, 7);
  Expect(a, before, 1, 1, 20, 7, [](int, int, uint32_t c) {
    uint32_t g = (uint32_t)(Ch(c, 16) * 0.299 + Ch(c, 8) * 0.587 + Ch(c, 0) * 0.114);
    return Pack(g, g, g);
  });
  SetRGB(a, 0, 0, 0xFF0000);
  GrayRect(&i, 0, 0, 1, 1);
  // Pure red grays to 76 (16-bit red reads as 248 and grays to 74).
  EXPECT_EQ(GetRGB(a, 0, 0), Representable(Is16(f) ? 0x4A4A4A : 0x4C4C4C, f));

  // Invert complements the raw bytes; twice restores.
  FillPattern(a, 3);
  before = Snapshot(a);
  InvertRect(&i, 3, 2, 11, 4);
  for (int y = 2; y < 6; y++)
    for (int x = 3; x < 14; x++)
      for (int k = 0; k < a->bytesPerPixel; k++)
        ASSERT_EQ(PixelPtr(a, x, y)[k], (uint8_t)~before[PixelPtr(a, x, y) - a->pixels + k]);
  InvertRect(&i, 3, 2, 11, 4);
  EXPECT_EQ(Snapshot(a), before);

  // Replace: red -> green, green -> blue.
  const uint32_t red = RGBToPixel(0xFF0000, f), green = RGBToPixel(0x00FF00, f), blue = RGBToPixel(0x0000FF, f);
  const uint32_t pairs[] = {red, green, green, blue, 0xFFFFFFFF};
  SetRGB(a, 4, 4, 0xFF0000);
  SetRGB(a, 5, 4, 0x00FF00);
  SetRGB(a, 6, 4, 0x0000FF);
  ReplaceColorsRect(&i, 4, 4, 3, 1, pairs, f == PIXFMT_XRGB32 ? 0xFFFFFF : 0xFFFFFF00);
  const bool chains = PixelFormatBytes(f) != 3;
  EXPECT_EQ(GetRGB(a, 4, 4), Representable(chains ? 0x0000FF : 0x00FF00, f));
  EXPECT_EQ(GetRGB(a, 5, 4), Representable(0x0000FF, f));
  EXPECT_EQ(GetRGB(a, 6, 4), Representable(0x0000FF, f));
}

TEST_P(KernelFormatTest, MaskFromKeyColour) {
  const PixelFormat f = GetParam();
  const uint32_t key = 0x20A0F8;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++)
      if ((x + 2 * y) % 3 == 0) SetRGB(a, x, y, key);
  Mask *m = AllocMask(nullptr, W, H, 0);
  memset(m->pixels, 0xA5, (size_t)m->bytesPerRow * H);
  BitMapInfo i = Info(a);
  const uint32_t cmp = PixelFormatBytes(f) == 4 ? (f == PIXFMT_XRGB32 ? 0xFFFFFF : 0xFFFFFF00) : 0xFFFFFFFF;
  MaskFromKeyColorRect(&i, 0, 0, W, H, m->pixels, m->bytesPerRow, RGBToPixel(key, f), cmp);
  for (int y = 0; y < H; y++) {
    for (int x = 0; x < W; x++) ASSERT_EQ(MaskBit(m, x, y), GetRGB(a, x, y) != Representable(key, f)) << x << "," << y;
    // The spare bit after the last pixel keeps its value.
    EXPECT_EQ(MaskBit(m, W, y), (0xA5 >> (7 - (W & 7))) & 1);
  }
  FreeMask(m);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, KernelFormatTest, ::testing::ValuesIn(AllFormats()));

// A row modulo much wider than the width: every kernel stays in its rectangle.
TEST(Kernels, WideModuloStaysInsideRectangle) {
  for (PixelFormat f : AllFormats()) {
    BitMap *bm = MakeTestBitMap(f, 6, 5, 40), *src = MakeTestBitMap(f, 6, 5, 40);
    FillPattern(bm, 11);
    FillPattern(src, 12);
    Mask *m = AllocMask(nullptr, 64, 5, 0);
    memset(m->pixels, 0xFF, (size_t)m->bytesPerRow * 5);
    AlphaChannel *al = AllocAlphaChannel(64, 5, 0);
    memset(al->pixels, 100, (size_t)al->bytesPerRow * 5);
    const auto before = Snapshot(bm);
    BitMapInfo i = Info(bm), si = Info(src);
    std::function<void()> kernels[] = {
        [&] { InvertRect(&i, 1, 1, 4, 3); },
        [&] { TintRect(&i, 1, 1, 4, 3, 0xFFFFFF, 200); },
        [&] { GrayRect(&i, 1, 1, 4, 3); },
        [&] { BlendRect(&si, 1, 1, &i, 1, 1, 4, 3, m, 100); },
        [&] { AlphaBitMapRect(&si, 1, 1, &i, 1, 1, 4, 3, al, 1, 1); },
        [&] { GradientRect(&i, 1, 1, 4, 3, 0, 0xFFFFFF, 33); },
        [&] {
          FloodFillRecord r = {i.pixels, 4, 3, i.modulo, RGBToPixel(0x123456, f), RGBToPixel(0x654321, f), 1, 1};
          if (i.bytesPerPixel == 4) FloodFill32(&r, 2, 2, 0xFFFFFFFF);
          else if (i.bytesPerPixel == 3) FloodFill24(&r, 2, 2);
          else FloodFill16(&r, 2, 2);
        },
        [&] {
          AlphaChannelBltParams p = {};
          p.coverage = al->pixels;
          p.cx = 1;
          p.cy = 1;
          p.coverageBytesPerRow = al->bytesPerRow;
          p.dx = 1;
          p.dy = 1;
          p.width = 4;
          p.height = 3;
          p.mode = 1;
          AlphaChannelRect(&i, &p);
        },
    };
    for (auto &k : kernels) {
      memcpy(bm->pixels, before.data(), before.size());
      k();
      for (int y = 0; y < 5; y++)
        for (int x = 0; x < 46; x++) {
          if (x >= 1 && x < 5 && y >= 1 && y < 4) continue;
          ASSERT_EQ(memcmp(PixelPtr(bm, x, y), before.data() + (PixelPtr(bm, x, y) - bm->pixels), bm->bytesPerPixel), 0)
              << "format " << f << " at " << x << "," << y;
        }
    }
    FreeMask(m);
    FreeAlphaChannel(al);
    FreeTestBitMap(bm);
    FreeTestBitMap(src);
  }
}

// ---- Plane kernels ---------------------------------------------------------

int CombineRef(int mode, int s, int d, int value) {
  switch (mode) {
    case 1: return s ? s : d;
    case 2: return s ? 255 - s : d;
    case 3: return s ? 255 : d;
    case 4: return s ? s * value / 255 : d;
    case 5: return (s && d) ? 255 - s : d;
    case 6: return s ? value : d;
    case 7: return (s && d) ? s : 0;
    default: return s;
  }
}

TEST(PlaneKernels, CombineAlphaEveryMode) {
  const int bpr = 20, h = 4;
  std::vector<uint8_t> src(bpr * h), dst(bpr * h);
  for (int i = 0; i < bpr * h; i++) {
    src[i] = (uint8_t)(i % 4 == 0 ? 0 : i % 4 == 1 ? 255 : i * 13);
    dst[i] = (uint8_t)(i % 3 == 0 ? 0 : i * 7);
  }
  for (int mode = 0; mode <= 8; mode++) {
    std::vector<uint8_t> d = dst;
    CombineAlpha(src.data(), 2, 1, d.data(), 3, 0, 12, 3, bpr, bpr, mode, 77);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < bpr; x++) {
        int want = dst[y * bpr + x];
        if (x >= 3 && x < 15 && y < 3) want = CombineRef(mode, src[(y + 1) * bpr + x - 1], want, 77);
        ASSERT_EQ(d[y * bpr + x], want) << "mode " << mode << " at " << x << "," << y;
      }
  }
}

TEST(PlaneKernels, CombineMaskEveryMode) {
  const int w = 21, h = 3, sbpr = 24;
  std::vector<uint8_t> src(sbpr * h);
  for (int i = 0; i < sbpr * h; i++) src[i] = (uint8_t)(i % 3 == 0 ? 255 : i % 3 == 1 ? 0 : 254);
  Mask *m = AllocMask(nullptr, w, h, 1);
  auto pat = [](int x, int y) { return (x * 5 + y) % 4 < 2; };
  for (int mode = 0; mode <= 6; mode++) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) SetMaskBit(m, x, y, pat(x, y));
    CombineMask(src.data(), 1, 0, sbpr, m->pixels, 3, 0, m->bytesPerRow, 15, h, mode);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        bool d = pat(x, y), want = d;
        if (x >= 3 && x < 18) {
          bool full = src[y * sbpr + (x - 3 + 1)] == 255;
          switch (mode) {
            case 0: case 2: want = full; break;
            case 1: want = !full; break;
            case 3: want = full ? !d : d; break;
            case 5: want = full || d; break;
          }
        }
        ASSERT_EQ(MaskBit(m, x, y), want) << "mode " << mode << " at " << x << "," << y;
      }
  }
  FreeMask(m);
}

TEST(PlaneKernels, ScaleFillInvertMaskToAlphaCopyMask) {
  std::vector<uint8_t> p(64);
  for (int i = 0; i < 64; i++) p[i] = (uint8_t)(i * 4);
  std::vector<uint8_t> q(64);
  ScaleAlpha(p.data(), q.data(), 255, 8, 8);
  EXPECT_EQ(q, p);
  ScaleAlpha(p.data(), q.data(), 0, 8, 8);
  EXPECT_EQ(q, std::vector<uint8_t>(64, 0));
  ScaleAlpha(p.data(), p.data(), 128, 8, 8);
  EXPECT_EQ(p[63], 252 * 128 / 255);

  std::vector<uint8_t> plane(8 * 4, 1);
  FillPlaneRect(plane.data(), 2, 1, 3, 2, 8, 9);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 8; x++) EXPECT_EQ(plane[y * 8 + x], (x >= 2 && x < 5 && y >= 1 && y < 3) ? 9 : 1);
  InvertPlane(plane.data(), 4, 8);
  EXPECT_EQ(plane[0], 0xFE);
  EXPECT_EQ(plane[8 + 2], 0xF6);

  Mask *m = AllocMask(nullptr, 20, 3, 1);
  for (int x = 0; x < 20; x += 3) SetMaskBit(m, x, 1, true);
  std::vector<uint8_t> al(16 * 3, 5);
  MaskToAlpha(m->pixels, 5, 1, m->bytesPerRow, al.data(), 2, 0, 16, 10, 1, 200);
  for (int x = 0; x < 16; x++) EXPECT_EQ(al[x], (x >= 2 && x < 12 && (x - 2 + 5) % 3 == 0) ? 200 : 5) << x;

  // CopyMaskRect: clip bit AND second mask; plane form copies or zeroes.
  Mask *clip = AllocMask(nullptr, 20, 2, 1), *two = AllocMask(nullptr, 20, 2, 1), *out = AllocMask(nullptr, 20, 2, 0);
  memset(out->pixels, 0xFF, (size_t)out->bytesPerRow * 2);
  for (int x = 0; x < 20; x++) {
    SetMaskBit(clip, x, 0, x % 2 == 0);
    SetMaskBit(two, x, 1, x % 3 == 0);
  }
  CopyMaskRect(clip->pixels, 1, 0, clip->bytesPerRow, out->pixels, 4, 1, out->bytesPerRow, two->pixels, 0, 1,
               two->bytesPerRow, 12, 1);
  for (int x = 0; x < 20; x++) {
    bool want = (x >= 4 && x < 16) ? ((x - 4 + 1) % 2 == 0 && (x - 4) % 3 == 0) : true;
    EXPECT_EQ(MaskBit(out, x, 1), want) << x;
    EXPECT_TRUE(MaskBit(out, x, 0));
  }
  CopyMaskRect(clip->pixels, 0, 0, clip->bytesPerRow, out->pixels, 0, 0, out->bytesPerRow, nullptr, 0, 0, 0, 20, 1);
  for (int x = 0; x < 20; x++) EXPECT_EQ(MaskBit(out, x, 0), x % 2 == 0);
  std::vector<uint8_t> srcPlane(20, 77), dstPlane(20, 9);
  CopyMaskRectToPlane(clip->pixels, 0, 0, clip->bytesPerRow, srcPlane.data(), 0, 0, 20, dstPlane.data(), 1, 0, 20,
                      10, 1);
  for (int x = 0; x < 20; x++) EXPECT_EQ(dstPlane[x], (x >= 1 && x < 11) ? ((x - 1) % 2 == 0 ? 77 : 0) : 9) << x;
  FreeMask(clip);
  FreeMask(two);
  FreeMask(out);
  FreeMask(m);
}

TEST(ISqrt, ExactAcrossTheRange) {
  EXPECT_EQ(ISqrt(-1), -1);
  EXPECT_EQ(ISqrt(INT32_MIN), -1);
  EXPECT_EQ(ISqrt(0), 0);
  EXPECT_EQ(ISqrt(255), 15);
  EXPECT_EQ(ISqrt(256), 16);
  EXPECT_EQ(ISqrt(65535), 255);
  EXPECT_EQ(ISqrt(2147483647), 46340);
  auto check = [](int64_t x) {
    int64_t r = ISqrt((int32_t)x);
    ASSERT_LE(r * r, x) << x;
    ASSERT_GT((r + 1) * (r + 1), x) << x;
  };
  for (int64_t x = 0; x < 70000; x++) check(x);
  // Every square and its neighbours, and a stride across the whole range.
  for (int64_t r = 1; r <= 46340; r++)
    for (int64_t d = -1; d <= 1; d++) check(r * r + d);
  for (int64_t x = 0; x <= INT32_MAX; x += 9973) check(x);
}

}  // namespace

namespace {

// Rows longer than the chunks the 32-bit coverage blit works in.
TEST(Kernels, AlphaChannelWideRows) {
  const int w = 1100, h = 2;
  for (PixelFormat f : {PIXFMT_XRGB32, PIXFMT_BGRX32, PIXFMT_RGBX32, PIXFMT_RGB24, PIXFMT_RGB16}) {
    BitMap *src = MakeTestBitMap(f, w, h), *dst = MakeTestBitMap(f, w, h);
    FillPattern(src, 31);
    std::vector<uint8_t> cov(w * h);
    for (int i = 0; i < w * h; i++) cov[i] = (uint8_t)(i % 5 == 0 ? 0 : i % 5 == 1 ? 255 : i % 7 == 0 ? 64 : i * 29);
    for (int mode : {1, 4}) {
      for (bool withSource : {false, true}) {
        FillPattern(dst, 32);
        BitMap old = *dst;
        const auto before = Snapshot(dst);
        old.pixels = const_cast<uint8_t *>(before.data());
        BitMapInfo di = Info(dst), si = Info(src);
        AlphaChannelBltParams p = {};
        p.coverage = cov.data();
        p.coverageBytesPerRow = w;
        p.width = w;
        p.height = h;
        p.colour = PixelFormatBytes(f) == 3 ? 0x4080C0 : RGBToPixel(0x4080C0, f);
        p.mode = mode;
        p.src = withSource ? si.pixels : nullptr;
        p.srcModulo = si.modulo;
        AlphaChannelRect(&di, &p);
        for (int y = 0; y < h; y++)
          for (int x = 0; x < w; x++) {
            int a = cov[y * w + x];
            uint32_t c = withSource ? GetRGB(src, x, y) : Representable(0x4080C0, f), d = GetRGB(&old, x, y);
            uint32_t want = d;
            if (mode == 4 && a != 0) want = a == 64 ? c : Mix(d, c, (a * 4) & 0xFF);
            if (mode == 1 && a != 0) want = a == 255 ? c : Mix(d, c, a);
            ASSERT_EQ(GetRGB(dst, x, y), Representable(want, f)) << f << " mode " << mode << " at " << x;
          }
      }
    }
    FreeTestBitMap(src);
    FreeTestBitMap(dst);
  }
}

}  // namespace

namespace {

// 32-bit kernels that work on channels store the result with the fourth
// byte 0, whatever it held; invert complements it with the rest.
TEST(Kernels, SpareByteOf32BitPixels) {
  for (PixelFormat f : {PIXFMT_XRGB32, PIXFMT_BGRX32, PIXFMT_RGBX32}) {
    const int spare = f == PIXFMT_XRGB32 ? 3 : 0;
    BitMap *bm = MakeTestBitMap(f, 8, 4), *src = MakeTestBitMap(f, 8, 4);
    AlphaChannel *al = AllocAlphaChannel(8, 4, 0);
    memset(al->pixels, 100, (size_t)al->bytesPerRow * 4);
    auto reset = [&] {
      FillPattern(bm, 5);
      FillPattern(src, 6);
      for (int y = 0; y < 4; y++)
        for (int x = 0; x < 11; x++) PixelPtr(bm, x, y)[spare] = PixelPtr(src, x, y)[spare] = 0xAB;
    };
    BitMapInfo i = Info(bm), si = Info(src);
    struct Case {
      const char *name;
      std::function<void()> run;
      uint8_t want;
    } cases[] = {
        {"tint", [&] { TintRect(&i, 1, 1, 6, 2, 0x336699, 100); }, 0},
        {"gray", [&] { GrayRect(&i, 1, 1, 6, 2); }, 0},
        {"blend", [&] { BlendRect(&si, 1, 1, &i, 1, 1, 6, 2, nullptr, 100); }, 0},
        {"alpha", [&] { AlphaBitMapRect(&si, 1, 1, &i, 1, 1, 6, 2, al, 0, 0); }, 0},
        {"gradient", [&] { GradientRect(&i, 1, 1, 6, 2, 0x102030, 0xF0E0D0, 45); }, 0},
        {"coverage", [&] {
           AlphaChannelBltParams p = {};
           p.coverage = al->pixels;
           p.coverageBytesPerRow = al->bytesPerRow;
           p.dx = 1;
           p.dy = 1;
           p.width = 6;
           p.height = 2;
           p.colour = RGBToPixel(0x336699, f);
           p.mode = 1;
           AlphaChannelRect(&i, &p);
         }, 0},
        {"invert", [&] { InvertRect(&i, 1, 1, 6, 2); }, 0x54},
    };
    for (auto &c : cases) {
      reset();
      c.run();
      for (int y = 0; y < 4; y++)
        for (int x = 0; x < 11; x++) {
          const bool inside = x >= 1 && x < 7 && y >= 1 && y < 3;
          ASSERT_EQ(PixelPtr(bm, x, y)[spare], inside ? c.want : 0xAB)
              << c.name << " format " << f << " at " << x << "," << y;
        }
    }
    FreeAlphaChannel(al);
    FreeTestBitMap(bm);
    FreeTestBitMap(src);
  }
}

}  // namespace
