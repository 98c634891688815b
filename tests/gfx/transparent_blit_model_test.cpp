// BlendPixels, BltAlphaBitMap with a level and BltBitMapTransparent against
// the code they were before they were made one-pass kernels: the per-pixel
// blend, the alpha blit that copies opaque 32-pixel blocks whole, and the
// transparent blit that first scaled the alpha channel into a temporary plane
// with ScaleAlpha. Byte for byte, on random pictures of odd sizes with padding
// between rows, in every format, with every mask bit offset, with levels in
// and out of 0..255, and with source and destination rectangles that overlap
// in one picture (the old loops read each pixel after the pixels to its left
// were written).
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "gfx/bitmap.h"
#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"
#include "gfx/scale.h"

namespace {

// ---- The old code ----------------------------------------------------------

uint32_t ModelMixWords(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t lo = ((a & 0x00FF00FFu) * iw + (b & 0x00FF00FFu) * w) >> 8 & 0x00FF00FFu;
  const uint32_t hi = (((a >> 8) & 0x00FF00FFu) * iw + ((b >> 8) & 0x00FF00FFu) * w) & 0xFF00FF00u;
  return lo | hi;
}

// a + (((b - a) * w) >> 8) per channel; 32-bit pixels get a zero spare byte.
template <class L>
typename L::Raw ModelMix(typename L::Raw a, typename L::Raw b, uint32_t w) {
  if constexpr (L::kBytes == 4) return ModelMixWords(a, b, w) & ~L::kSpare;
  else return L::FromRGB(MixRGB(L::ToRGB(a), L::ToRGB(b), (int32_t)w));
}

// d = s + (((d - s) * (255 - level)) >> 8) pixel by pixel, where the mask bit
// (the first pixel's at maskBitX of each mask row) is set.
template <class L>
void ModelBlend(const BlendPlanes &pl, int32_t width, int32_t height, int32_t level, int32_t srcModulo,
                int32_t dstModulo, int32_t maskBytesPerRow) {
  const uint32_t w = (uint32_t)(255 - std::clamp(level, 0, 255));
  for (int32_t j = 0; j < height; j++) {
    const uint8_t *s = pl.src + (ptrdiff_t)j * srcModulo * L::kBytes;
    uint8_t *d = pl.dst + (ptrdiff_t)j * dstModulo * L::kBytes;
    for (int32_t i = 0; i < width; i++) {
      if (pl.mask) {
        const int32_t bit = pl.maskBitX + i;
        if (!(pl.mask[(ptrdiff_t)j * maskBytesPerRow + (bit >> 3)] & (0x80 >> (bit & 7)))) continue;
      }
      L::Store(d + i * L::kBytes, ModelMix<L>(L::Load(s + i * L::kBytes), L::Load(d + i * L::kBytes), w));
    }
  }
}

// One alpha row: 32-pixel blocks whose alpha is all 255 are copied whole
// (memmove), all other pixels one by one from left to right: a = 0 keeps,
// 255 copies, others d + (((s - d) * a) >> 8).
template <class L>
void ModelAlphaRow(const uint8_t *s, uint8_t *d, const uint8_t *a, int32_t width) {
  for (int32_t i0 = 0; i0 < width; i0 += 32) {
    const int32_t n = std::min(32, width - i0);
    if (n == 32 && std::all_of(a + i0, a + i0 + 32, [](uint8_t v) { return v == 255; })) {
      memmove(d + i0 * L::kBytes, s + i0 * L::kBytes, 32 * L::kBytes);
      continue;
    }
    for (int32_t i = i0; i < i0 + n; i++) {
      const typename L::Raw sv = L::Load(s + i * L::kBytes), dv = L::Load(d + i * L::kBytes);
      L::Store(d + i * L::kBytes, a[i] == 0 ? dv : a[i] == 255 ? sv : ModelMix<L>(dv, sv, a[i]));
    }
  }
}

// The alpha blit with a level: the alpha rows first scaled by ScaleAlpha into
// a temporary plane.
template <class L>
void ModelAlphaBlit(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                    uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                    const uint8_t *alpha, int32_t alphaBytesPerRow, int32_t level) {
  std::vector<uint8_t> scaled((size_t)width * height);
  for (int32_t j = 0; j < height; j++)
    ScaleAlpha(alpha + (ptrdiff_t)(ay + j) * alphaBytesPerRow + ax, &scaled[(size_t)j * width], level, width, 1);
  for (int32_t j = 0; j < height; j++)
    ModelAlphaRow<L>(src + ((ptrdiff_t)(sy + j) * srcModulo + sx) * L::kBytes,
                     dst + ((ptrdiff_t)(dy + j) * dstModulo + dx) * L::kBytes, &scaled[(size_t)j * width], width);
}

// ---- Pictures --------------------------------------------------------------

struct Rng {
  uint32_t s;
  uint32_t Next() {
    s = s * 1103515245u + 12345u;
    return s >> 8 ^ s << 13;
  }
  int32_t Range(int32_t lo, int32_t hi) { return lo + (int32_t)(Next() % (uint32_t)(hi - lo + 1)); }
};

void FillRandom(Rng &rng, std::vector<uint8_t> &bytes) {
  for (uint8_t &b : bytes) b = (uint8_t)rng.Next();
}

// Runs of 0, of 255 and of random values with odd lengths, so that opaque
// blocks, block borders inside runs and every value occur.
void FillAlpha(Rng &rng, std::vector<uint8_t> &plane) {
  for (size_t i = 0; i < plane.size();) {
    const size_t run = 1 + rng.Next() % 90;
    const uint32_t kind = rng.Next() % 3;
    for (size_t k = 0; k < run && i < plane.size(); k++, i++)
      plane[i] = kind == 0 ? 0 : kind == 1 ? 255 : (uint8_t)rng.Next();
  }
}

// Mask bytes: random bits, all set or all clear.
void FillMask(Rng &rng, std::vector<uint8_t> &mask) {
  for (uint8_t &b : mask) {
    const uint32_t kind = rng.Next() % 4;
    b = kind == 0 ? 0 : kind == 1 ? 0xFF : (uint8_t)rng.Next();
  }
}

// Widths around mask bytes, the old 32-pixel blocks and the kernels' 256-pixel
// pieces; the pictures have padding so that rectangles sit at odd offsets.
struct Shape {
  int32_t width, height;
};
const Shape kShapes[] = {{1, 1}, {2, 3}, {7, 2}, {9, 3}, {31, 2}, {33, 3}, {64, 2}, {65, 3}, {255, 2}, {257, 3}, {300, 2}};

const int32_t kBlendLevels[] = {0, 1, 128, 254, 255, -7, 300};
const int32_t kAlphaLevels[] = {255, 0, 1, 77, 254, -3, 256, 1000};

// Calls fn(format, layout) with the layout the kernels use for the format.
template <class Fn>
void WithKernelLayout(PixelFormat f, Fn &&fn) {
  if (PixelFormatBytes(f) == 3) WithLayout24(f, [&](auto L) { fn(f, L); });
  else if (!WithFormat32(f, [&](auto L) { fn(f, L); })) WithFormat16(f, [&](auto L) { fn(f, L); });
}
template <class Fn>
void ForEveryFormat(Fn &&fn) {
  for (PixelFormat f = 0; f < PIXFMT_COUNT; f++) WithKernelLayout(f, fn);
}

void BlendKernel(int bytes, const BlendPlanes *pl, int32_t w, int32_t h, int32_t level, PixelFormat f, int32_t sm,
                 int32_t dm, int32_t mbpr) {
  if (bytes == 4) BlendPixels32(pl, w, h, level, f, sm, dm, mbpr);
  else if (bytes == 3) BlendPixels24(pl, w, h, level, f, sm, dm, mbpr);
  else BlendPixels16(pl, w, h, level, f, sm, dm, mbpr);
}

void AlphaKernel(int bytes, const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t sm, uint8_t *dst,
                 int32_t dx, int32_t dy, int32_t dm, int32_t w, int32_t h, const uint8_t *alpha, int32_t abpr,
                 PixelFormat f, int32_t level) {
  if (bytes == 4) BltAlphaBitMapLevel32(src, sx, sy, ax, ay, sm, dst, dx, dy, dm, w, h, alpha, abpr, f, level);
  else if (bytes == 3) BltAlphaBitMapLevel24(src, sx, sy, ax, ay, sm, dst, dx, dy, dm, w, h, alpha, abpr, f, level);
  else BltAlphaBitMapLevel16(src, sx, sy, ax, ay, sm, dst, dx, dy, dm, w, h, alpha, abpr, f, level);
}

// ---- Kernels ---------------------------------------------------------------

TEST(TransparentBlitModel, BlendMatchesModelWithAndWithoutMask) {
  Rng rng{11};
  ForEveryFormat([&](PixelFormat f, auto L) {
    using Lay = decltype(L);
    for (const Shape &sh : kShapes)
      for (int32_t maskShift : {-1, 0, 3, 7})  // -1: no mask
        for (int32_t level : kBlendLevels) {
          const int32_t srcModulo = sh.width + 5, dstModulo = sh.width + 2, rows = sh.height + 2;
          const int32_t maskX = maskShift < 0 ? 0 : 8 + maskShift, maskBytesPerRow = (maskX + sh.width) / 8 + 2;
          std::vector<uint8_t> src((size_t)srcModulo * rows * Lay::kBytes), want((size_t)dstModulo * rows * Lay::kBytes);
          std::vector<uint8_t> mask((size_t)maskBytesPerRow * rows);
          FillRandom(rng, src);
          FillRandom(rng, want);
          FillMask(rng, mask);
          std::vector<uint8_t> got = want;
          const uint8_t *m = maskShift < 0 ? nullptr : mask.data() + maskBytesPerRow;
          BlendPlanes model = {src.data() + (srcModulo + 3) * Lay::kBytes, want.data() + (dstModulo + 1) * Lay::kBytes,
                               m, maskX};
          BlendPlanes kernel = model;
          kernel.dst = got.data() + (dstModulo + 1) * Lay::kBytes;
          ModelBlend<Lay>(model, sh.width, sh.height, level, srcModulo, dstModulo, maskBytesPerRow);
          BlendKernel(Lay::kBytes, &kernel, sh.width, sh.height, level, f, srcModulo, dstModulo, maskBytesPerRow);
          ASSERT_EQ(want, got) << "format " << (int)f << " " << sh.width << "x" << sh.height << " mask " << maskShift
                               << " level " << level;
        }
  });
}

TEST(TransparentBlitModel, AlphaBlitWithLevelMatchesScaledPlaneModel) {
  Rng rng{23};
  ForEveryFormat([&](PixelFormat f, auto L) {
    using Lay = decltype(L);
    for (const Shape &sh : kShapes)
      for (int32_t level : kAlphaLevels) {
        const int32_t srcModulo = sh.width + 4, dstModulo = sh.width + 3, alphaBytesPerRow = sh.width + 6;
        const int32_t rows = sh.height + 3, sx = 3, sy = 1, ax = 5, ay = 2, dx = 2, dy = 1;
        std::vector<uint8_t> src((size_t)srcModulo * rows * Lay::kBytes), alpha((size_t)alphaBytesPerRow * rows);
        std::vector<uint8_t> want((size_t)dstModulo * rows * Lay::kBytes);
        FillRandom(rng, src);
        FillRandom(rng, want);
        FillAlpha(rng, alpha);
        std::vector<uint8_t> got = want;
        ModelAlphaBlit<Lay>(src.data(), sx, sy, ax, ay, srcModulo, want.data(), dx, dy, dstModulo, sh.width, sh.height,
                            alpha.data(), alphaBytesPerRow, level);
        AlphaKernel(Lay::kBytes, src.data(), sx, sy, ax, ay, srcModulo, got.data(), dx, dy, dstModulo, sh.width,
                    sh.height, alpha.data(), alphaBytesPerRow, f, level);
        ASSERT_EQ(want, got) << "format " << (int)f << " " << sh.width << "x" << sh.height << " level " << level;
      }
  });
}

// Source and destination rectangles in one picture, the destination a few
// pixels or a row before or after the source, across mask bytes, blocks and
// pieces.
TEST(TransparentBlitModel, OverlappingRectanglesMatchModel) {
  Rng rng{37};
  const int32_t width = 300, height = 4, modulo = 340, rows = 8, sx = 12, sy = 2;
  for (PixelFormat format : {PIXFMT_BGRX32, PIXFMT_XRGB32, PIXFMT_RGB24, PIXFMT_RGB16}) {
    WithKernelLayout(format, [&](PixelFormat f, auto L) {
      using Lay = decltype(L);
      for (int32_t oy : {-1, 0, 1})
        for (int32_t ox : {-33, -9, -1, 0, 1, 2, 9, 33}) {
          const int32_t dx = sx + ox, dy = sy + oy;
          std::vector<uint8_t> picture((size_t)modulo * rows * Lay::kBytes), alpha((size_t)modulo * rows);
          std::vector<uint8_t> mask((size_t)(modulo / 8 + 1) * rows);
          FillRandom(rng, picture);
          FillAlpha(rng, alpha);
          FillMask(rng, mask);
          for (int32_t level : {255, 100}) {
            std::vector<uint8_t> want = picture, got = picture;
            ModelAlphaBlit<Lay>(want.data(), sx, sy, sx, sy, modulo, want.data(), dx, dy, modulo, width, height,
                                alpha.data(), modulo, level);
            AlphaKernel(Lay::kBytes, got.data(), sx, sy, sx, sy, modulo, got.data(), dx, dy, modulo, width, height,
                        alpha.data(), modulo, f, level);
            ASSERT_EQ(want, got) << "alpha, format " << (int)f << " offset " << ox << "," << oy << " level " << level;
          }
          for (bool masked : {false, true}) {
            std::vector<uint8_t> want = picture, got = picture;
            const int32_t mbpr = modulo / 8 + 1;
            BlendPlanes model = {want.data() + ((ptrdiff_t)sy * modulo + sx) * Lay::kBytes,
                                 want.data() + ((ptrdiff_t)dy * modulo + dx) * Lay::kBytes,
                                 masked ? mask.data() + (ptrdiff_t)sy * mbpr : nullptr, sx};
            BlendPlanes kernel = {got.data() + ((ptrdiff_t)sy * modulo + sx) * Lay::kBytes,
                                  got.data() + ((ptrdiff_t)dy * modulo + dx) * Lay::kBytes, model.mask, sx};
            ModelBlend<Lay>(model, width, height, 90, modulo, modulo, mbpr);
            BlendKernel(Lay::kBytes, &kernel, width, height, 90, f, modulo, modulo, mbpr);
            ASSERT_EQ(want, got) << "blend, format " << (int)f << " offset " << ox << "," << oy << " mask " << masked;
          }
        }
    });
  }
}

// ---- BltBitMapTransparent ---------------------------------------------------

// The front end as it was: clipped to both bitmaps and to the alpha size, the
// alpha channel scaled into a temporary plane of the alpha size, then drawn.
void ModelBltBitMapTransparent(BitMap *dst, const BitMap *src, const Mask *srcMask, int32_t dx, int32_t dy,
                               int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t level,
                               const AlphaChannel *srcAlpha, int32_t alphaWidth, int32_t alphaHeight) {
  if (sx < 0) { width += sx; dx -= sx; sx = 0; }
  if (sy < 0) { height += sy; dy -= sy; sy = 0; }
  if (dx < 0) { width += dx; sx -= dx; dx = 0; }
  if (dy < 0) { height += dy; sy -= dy; dy = 0; }
  int32_t sw = src->width, sh = src->height;
  if (srcAlpha) {
    alphaWidth = std::min(alphaWidth, srcAlpha->bytesPerRow);
    if (srcAlpha->height > 0) alphaHeight = std::min(alphaHeight, srcAlpha->height);
    sw = std::min(sw, alphaWidth);
    sh = std::min(sh, alphaHeight);
  }
  width = std::min(width, std::min(sw - sx, dst->width - dx));
  height = std::min(height, std::min(sh - sy, dst->height - dy));
  if (width < 1 || height < 1) return;
  const int32_t sm = src->bytesPerRow / 4, dm = dst->bytesPerRow / 4;
  if (srcAlpha) {
    std::vector<uint8_t> tmp((size_t)alphaWidth * alphaHeight);
    for (int32_t j = 0; j < alphaHeight; j++)
      ScaleAlpha(srcAlpha->pixels + (ptrdiff_t)j * srcAlpha->bytesPerRow, &tmp[(size_t)j * alphaWidth], level,
                 alphaWidth, 1);
    for (int32_t j = 0; j < height; j++)
      ModelAlphaRow<PixFmt11>(src->pixels + ((ptrdiff_t)(sy + j) * sm + sx) * 4,
                              dst->pixels + ((ptrdiff_t)(dy + j) * dm + dx) * 4,
                              &tmp[(size_t)(sy + j) * alphaWidth + sx], width);
    return;
  }
  BlendPlanes pl = {src->pixels + ((ptrdiff_t)sy * sm + sx) * 4, dst->pixels + ((ptrdiff_t)dy * dm + dx) * 4,
                    srcMask ? srcMask->pixels + (ptrdiff_t)sy * srcMask->bytesPerRow : nullptr, sx};
  ModelBlend<PixFmt11>(pl, width, height, level, sm, dm, srcMask ? srcMask->bytesPerRow : 0);
}

void Randomise(Rng &rng, BitMap *bm) {
  for (size_t i = 0; i < (size_t)bm->bytesPerRow * bm->height; i++) bm->pixels[i] = (uint8_t)rng.Next();
}

// Random rectangles, many partly outside either bitmap or the alpha size;
// with an alpha channel (smaller than the source, and as large), with a mask,
// with neither, and with the source bitmap as its own destination.
TEST(TransparentBlitModel, BltBitMapTransparentMatchesModel) {
  Rng rng{41};
  BitMap *src = AllocBitMap(293, 7), *dst = AllocBitMap(281, 9);
  Mask *mask = AllocMask(src, 293, 7, 0);
  AlphaChannel *alpha = AllocAlphaChannel(293, 7, 0);
  ASSERT_TRUE(src && dst && mask && alpha);
  std::vector<uint8_t> alphaBytes((size_t)alpha->bytesPerRow * alpha->height);
  std::vector<uint8_t> maskBytes((size_t)mask->bytesPerRow * mask->height);
  for (int round = 0; round < 400; round++) {
    Randomise(rng, src);
    FillAlpha(rng, alphaBytes);
    memcpy(alpha->pixels, alphaBytes.data(), alphaBytes.size());
    FillMask(rng, maskBytes);
    memcpy(mask->pixels, maskBytes.data(), maskBytes.size());
    const int kind = round % 4;  // 0 alpha, 1 small alpha, 2 mask, 3 neither
    const bool self = round % 5 == 0;
    BitMap *target = self ? src : dst;
    const int32_t sx = rng.Range(-20, 300), sy = rng.Range(-3, 8), dx = rng.Range(-20, 290), dy = rng.Range(-3, 10);
    const int32_t w = rng.Range(0, 320), h = rng.Range(0, 12);
    const int32_t level = kAlphaLevels[rng.Next() % 8];
    const AlphaChannel *a = kind <= 1 ? alpha : nullptr;
    const int32_t aw = kind == 1 ? rng.Range(1, 292) : 293, ah = kind == 1 ? rng.Range(1, 7) : 7;
    if (!self) Randomise(rng, dst);
    // The model draws into a copy of the target (a copy of the source too when
    // they are one bitmap, so that it reads what it writes).
    BitMap copy = *target;
    std::vector<uint8_t> modelPixels(target->pixels, target->pixels + (size_t)target->bytesPerRow * target->height);
    copy.pixels = modelPixels.data();
    BitMap srcCopy = *src;
    if (self) srcCopy.pixels = modelPixels.data();
    ModelBltBitMapTransparent(&copy, &srcCopy, kind == 2 ? mask : nullptr, dx, dy, sx, sy, w, h, level, a, aw, ah);
    ASSERT_EQ(BltBitMapTransparent(target, src, kind == 2 ? mask : nullptr, dx, dy, sx, sy, w, h, level, a, aw, ah), 0);
    ASSERT_EQ(0, memcmp(modelPixels.data(), target->pixels, modelPixels.size()))
        << "round " << round << " kind " << kind << " self " << self << " rect " << sx << "," << sy << " -> " << dx
        << "," << dy << " " << w << "x" << h << " level " << level;
  }
  FreeAlphaChannel(alpha);
  FreeMask(mask);
  FreeBitMap(dst);
  FreeBitMap(src);
}

}  // namespace
