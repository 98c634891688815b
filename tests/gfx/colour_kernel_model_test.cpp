// BrushToGray32 and MaskFromKeyColor32 against plain per-pixel models (the
// table-driven gray and the bit-by-bit mask the kernels were first written
// as): byte for byte, on random pictures of odd sizes with padding between
// rows, in every 32-bit format.
#include <gtest/gtest.h>
#include <vector>
#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"

namespace {

struct GrayModelTables {
  double r[256], g[256], b[256];
  GrayModelTables() {
    for (int i = 0; i < 256; i++) {
      r[i] = i * 0.299;
      g[i] = i * 0.587;
      b[i] = i * 0.114;
    }
  }
};
const GrayModelTables modelTables;

template <class L>
void GrayModel(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo) {
  for (int32_t y = 0; y < height; y++) {
    uint8_t *p = pixels + (ptrdiff_t)y * modulo * 4;
    for (int32_t i = 0; i < width; i++, p += 4) {
      uint32_t c = L::ToRGB(L::Load(p));
      uint32_t gray = (uint32_t)(modelTables.r[c >> 16 & 0xFF] + modelTables.g[c >> 8 & 0xFF] + modelTables.b[c & 0xFF]);
      L::Store(p, L::FromRGB(gray << 16 | gray << 8 | gray));
    }
  }
}

void GrayModelFor(PixelFormat f, uint8_t *pixels, int32_t width, int32_t height, int32_t modulo) {
  ASSERT_TRUE(WithFormat32(f, [&](auto L) { GrayModel<decltype(L)>(pixels, width, height, modulo); }));
}

void MaskModel(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height, int32_t maskBytesPerRow,
               uint32_t key, int32_t modulo, uint32_t compareMask) {
  for (int32_t y = 0; y < height; y++) {
    const uint8_t *row = pixels + (ptrdiff_t)y * modulo * 4;
    uint8_t *m = mask + (ptrdiff_t)y * maskBytesPerRow;
    for (int32_t i = 0; i < width; i++) {
      const uint8_t bit = (uint8_t)(0x80 >> (i & 7));
      if ((PixSize32::Load(row + i * 4) & compareMask) != key) m[i / 8] |= bit;
      else m[i / 8] &= (uint8_t)~bit;
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

const PixelFormat kFormats32[] = {PIXFMT_XRGB32, PIXFMT_BGRX32, PIXFMT_RGBX32};
struct Shape {
  int32_t width, height, modulo;
};
// Widths below, at and around the kernels' blocks (8 and 16 pixels), with and
// without padding between rows.
const Shape kShapes[] = {{1, 1, 1},   {7, 3, 9},    {8, 2, 8},   {15, 4, 17}, {16, 3, 16},
                         {17, 5, 19}, {33, 7, 40}, {63, 3, 64}, {101, 9, 103}, {257, 2, 260}};

// Random pixels, with gray, white and black ones mixed in: their weighted sums
// are exact multiples of 1000, where the double sum may round below.
std::vector<uint8_t> RandomPicture(Rng &rng, const Shape &s) {
  std::vector<uint8_t> px((size_t)s.modulo * s.height * 4);
  for (size_t i = 0; i < px.size(); i += 4) {
    uint32_t v = rng.Next();
    switch (rng.Next() % 4) {
      case 0: v = (v & 0xFF) * 0x01010101u; break;
      case 1: v = (rng.Next() & 1) ? 0xFFFFFFFFu : 0; break;
      default: break;
    }
    memcpy(&px[i], &v, 4);
  }
  return px;
}

TEST(ColourKernelModel, GrayMatchesModelOnRandomPictures) {
  Rng rng{7};
  for (PixelFormat f : kFormats32)
    for (const Shape &s : kShapes)
      for (int round = 0; round < 4; round++) {
        std::vector<uint8_t> want = RandomPicture(rng, s), got = want;
        GrayModelFor(f, want.data(), s.width, s.height, s.modulo);
        BrushToGray32(got.data(), s.width, s.height, f, s.modulo);
        ASSERT_EQ(want, got) << "format " << (int)f << " " << s.width << "x" << s.height;
      }
}

// Every colour once, in the format whose word is 0x00RRGGBB: rows of 256
// pixels (blue), 256 rows (green) per red value.
TEST(ColourKernelModel, GrayMatchesModelForEveryColour) {
  std::vector<uint8_t> want(256 * 256 * 4), got;
  for (uint32_t r = 0; r < 256; r++) {
    for (uint32_t gb = 0; gb < 65536; gb++) {
      uint32_t v = r << 16 | gb;
      memcpy(&want[gb * 4], &v, 4);
    }
    got = want;
    GrayModelFor(PIXFMT_XRGB32, want.data(), 256, 256, 256);
    BrushToGray32(got.data(), 256, 256, PIXFMT_XRGB32, 256);
    ASSERT_EQ(want, got) << "red " << r;
  }
}

// The same in the two formats whose channels sit at other places in the word
// (the kernel reads them at other bit positions), the spare byte set.
TEST(ColourKernelModel, GrayMatchesModelForEveryColourInTheOtherFormats) {
  for (PixelFormat f : {PIXFMT_BGRX32, PIXFMT_RGBX32}) {
    std::vector<uint8_t> want(256 * 256 * 4), got;
    for (uint32_t r = 0; r < 256; r++) {
      ASSERT_TRUE(WithFormat32(f, [&](auto layout) {
        using L = decltype(layout);
        for (uint32_t gb = 0; gb < 65536; gb++) {
          uint32_t v = L::FromRGB(r << 16 | gb) | L::kSpare;
          memcpy(&want[gb * 4], &v, 4);
        }
      }));
      got = want;
      GrayModelFor(f, want.data(), 256, 256, 256);
      BrushToGray32(got.data(), 256, 256, f, 256);
      ASSERT_EQ(want, got) << "format " << (int)f << " red " << r;
    }
  }
}

TEST(ColourKernelModel, MaskMatchesModelOnRandomPictures) {
  Rng rng{11};
  const uint32_t compareMasks[] = {0xFFFFFFFFu, 0xFFFFFF00u, 0x00FFFFFFu};
  for (const Shape &s : kShapes)
    for (uint32_t cm : compareMasks)
      for (int round = 0; round < 4; round++) {
        // A small palette, so that about half the pixels match the key.
        const uint32_t palette[4] = {rng.Next(), rng.Next(), rng.Next(), rng.Next()};
        const uint32_t key = palette[0] & cm;
        std::vector<uint8_t> px((size_t)s.modulo * s.height * 4);
        for (size_t i = 0; i < px.size(); i += 4) {
          uint32_t v = palette[rng.Next() % 4] ^ (rng.Next() & ~cm);  // bits outside the mask vary
          memcpy(&px[i], &v, 4);
        }
        // Mask rows longer than needed, full of random bits: bits past the
        // width must keep their value.
        const int32_t bytesPerRow = (s.width + 7) / 8 + 3;
        std::vector<uint8_t> want((size_t)bytesPerRow * s.height);
        for (uint8_t &b : want) b = (uint8_t)rng.Next();
        std::vector<uint8_t> got = want;
        MaskModel(px.data(), want.data(), s.width, s.height, bytesPerRow, key, s.modulo, cm);
        MaskFromKeyColor32(px.data(), got.data(), s.width, s.height, bytesPerRow, key, s.modulo, cm);
        ASSERT_EQ(want, got) << s.width << "x" << s.height << " compare mask " << std::hex << cm;
      }
}

}  // namespace
