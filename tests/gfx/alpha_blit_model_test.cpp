// BltAlphaBitMap32/24/16 against the plain per-pixel alpha blit they were
// first written as: byte for byte, on random pictures of odd sizes with
// padding between rows and offset rectangles, in every format of every pixel
// size, with every alpha value and with long clear and opaque runs (which the
// kernel skips and copies).
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"

namespace {

// The channel step on two 32-bit words, two channels per multiply pair.
uint32_t ModelMixWords(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t lo = ((a & 0x00FF00FFu) * iw + (b & 0x00FF00FFu) * w) >> 8 & 0x00FF00FFu;
  const uint32_t hi = (((a >> 8) & 0x00FF00FFu) * iw + ((b >> 8) & 0x00FF00FFu) * w) & 0xFF00FF00u;
  return lo | hi;
}

// a = 0 keeps, 255 copies, else d + (((s - d) * a) >> 8); 32-bit pixels that
// are mixed get a zero spare byte.
template <class L>
void ModelAlphaBlit(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                    uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                    const uint8_t *alpha, int32_t alphaBytesPerRow) {
  for (int32_t j = 0; j < height; j++) {
    const uint8_t *s = src + ((ptrdiff_t)(sy + j) * srcModulo + sx) * L::kBytes;
    uint8_t *d = dst + ((ptrdiff_t)(dy + j) * dstModulo + dx) * L::kBytes;
    const uint8_t *a = alpha + (ptrdiff_t)(ay + j) * alphaBytesPerRow + ax;
    for (int32_t i = 0; i < width; i++) {
      const uint32_t av = a[i];
      const typename L::Raw sv = L::Load(s + i * L::kBytes), dv = L::Load(d + i * L::kBytes);
      typename L::Raw r;
      if (av == 0) r = dv;
      else if (av == 255) r = sv;
      else if constexpr (L::kBytes == 4) r = ModelMixWords(dv, sv, av) & ~L::kSpare;
      else r = L::FromRGB(MixRGB(L::ToRGB(dv), L::ToRGB(sv), (int32_t)av));
      L::Store(d + i * L::kBytes, r);
    }
  }
}

struct Rng {
  uint32_t s;
  uint32_t Next() {
    s = s * 1103515245u + 12345u;
    return s >> 8 ^ s << 13;
  }
};

// Widths below, at and around the kernel's 32-pixel blocks and its vector
// widths; the pictures are larger so that the rectangle sits at an offset.
struct Shape {
  int32_t width, height;
};
const Shape kShapes[] = {{1, 1}, {3, 2}, {7, 3}, {31, 2}, {32, 3}, {33, 5}, {63, 2}, {65, 3}, {97, 4}, {161, 3}, {259, 2}};

// Alpha rows of every kind: random values, the 256 values in turn, and runs
// of 0 and 255 with odd lengths, so that blocks are clear, opaque or mixed
// and block borders fall inside runs.
void FillAlpha(Rng &rng, std::vector<uint8_t> &plane, int pattern) {
  size_t i = 0;
  while (i < plane.size()) {
    const size_t run = 1 + rng.Next() % 80;
    const uint32_t kind = pattern == 0 ? 3 : pattern == 1 ? 4 : rng.Next() % 4;
    for (size_t k = 0; k < run && i < plane.size(); k++, i++) {
      switch (kind) {
        case 0: plane[i] = 0; break;
        case 1: plane[i] = 255; break;
        case 4: plane[i] = (uint8_t)i; break;
        default: plane[i] = (uint8_t)rng.Next(); break;
      }
    }
  }
}

void FillRandom(Rng &rng, std::vector<uint8_t> &bytes) {
  for (uint8_t &b : bytes) b = (uint8_t)rng.Next();
}

typedef void (*AlphaBlitFn)(const uint8_t *, int32_t, int32_t, int32_t, int32_t, int32_t, uint8_t *, int32_t,
                            int32_t, int32_t, int32_t, int32_t, const uint8_t *, int32_t, PixelFormat);

// Draws with the kernel and the model, into separate pictures and in place
// (source and destination the same rectangle), and compares whole buffers:
// nothing outside the rectangle may change either.
template <class L>
void CheckFormat(PixelFormat format, AlphaBlitFn kernel, uint32_t seed) {
  Rng rng{seed};
  for (const Shape &sh : kShapes)
    for (int pattern = 0; pattern < 3; pattern++) {
      const int32_t srcModulo = sh.width + 5, dstModulo = sh.width + 3, alphaBytesPerRow = sh.width + 7;
      const int32_t rows = sh.height + 3;
      const int32_t sx = 2, sy = 1, ax = 5, ay = 2, dx = 1, dy = 2;
      std::vector<uint8_t> src((size_t)srcModulo * rows * L::kBytes), alpha((size_t)alphaBytesPerRow * rows);
      std::vector<uint8_t> want((size_t)dstModulo * rows * L::kBytes);
      FillRandom(rng, src);
      FillRandom(rng, want);
      FillAlpha(rng, alpha, pattern);
      std::vector<uint8_t> got = want;
      ModelAlphaBlit<L>(src.data(), sx, sy, ax, ay, srcModulo, want.data(), dx, dy, dstModulo, sh.width, sh.height,
                        alpha.data(), alphaBytesPerRow);
      kernel(src.data(), sx, sy, ax, ay, srcModulo, got.data(), dx, dy, dstModulo, sh.width, sh.height, alpha.data(),
             alphaBytesPerRow, format);
      ASSERT_EQ(want, got) << "format " << (int)format << " " << sh.width << "x" << sh.height << " pattern "
                           << pattern;

      std::vector<uint8_t> inPlaceWant = src, inPlaceGot = src;
      ModelAlphaBlit<L>(inPlaceWant.data(), sx, sy, ax, ay, srcModulo, inPlaceWant.data(), sx, sy, srcModulo,
                        sh.width, sh.height, alpha.data(), alphaBytesPerRow);
      kernel(inPlaceGot.data(), sx, sy, ax, ay, srcModulo, inPlaceGot.data(), sx, sy, srcModulo, sh.width, sh.height,
             alpha.data(), alphaBytesPerRow, format);
      ASSERT_EQ(inPlaceWant, inPlaceGot) << "in place, format " << (int)format << " " << sh.width << "x"
                                         << sh.height;
    }
}

TEST(AlphaBlitModel, MatchesModelInEveryFormat) {
  const PixelFormat formats32[] = {PIXFMT_XRGB32, PIXFMT_BGRX32, PIXFMT_RGBX32};
  for (PixelFormat f : formats32)
    WithFormat32(f, [&](auto L) { CheckFormat<decltype(L)>(f, BltAlphaBitMap32, 3 + (uint32_t)f); });
  const PixelFormat formats24[] = {PIXFMT_RGB24, PIXFMT_BGR24};
  for (PixelFormat f : formats24)
    WithLayout24(f, [&](auto L) { CheckFormat<decltype(L)>(f, BltAlphaBitMap24, 5 + (uint32_t)f); });
  for (int f = 0; f < 8; f++)
    WithFormat16((PixelFormat)f, [&](auto L) { CheckFormat<decltype(L)>((PixelFormat)f, BltAlphaBitMap16, 7 + f); });
}

// Every alpha value against every source and destination channel value, in
// the format whose word is 0x00RRGGBB: the mix of each (d, s, a) triple once.
TEST(AlphaBlitModel, MatchesModelForEveryAlphaAndChannelPair) {
  const int32_t width = 256;
  std::vector<uint8_t> src(width * 4), alpha(width), want(width * 4), got;
  for (int32_t a = 0; a < 256; a++) alpha[a] = (uint8_t)a;
  for (uint32_t dv = 0; dv < 256; dv++)
    for (uint32_t sv = 0; sv < 256; sv++) {
      for (int32_t i = 0; i < width; i++) {
        const uint32_t s = 0x5A000000u | sv << 16 | (255 - sv) << 8 | sv, d = 0xA5000000u | dv << 16 | dv << 8 | (255 - dv);
        memcpy(&src[i * 4], &s, 4);
        memcpy(&want[i * 4], &d, 4);
      }
      got = want;
      ModelAlphaBlit<PixFmt10>(src.data(), 0, 0, 0, 0, width, want.data(), 0, 0, width, width, 1, alpha.data(), width);
      BltAlphaBitMap32(src.data(), 0, 0, 0, 0, width, got.data(), 0, 0, width, width, 1, alpha.data(), width,
                       PIXFMT_XRGB32);
      ASSERT_EQ(want, got) << "d " << dv << " s " << sv;
    }
}

}  // namespace
