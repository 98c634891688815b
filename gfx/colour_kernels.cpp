// Colour kernels that recolour a rectangle in place (invert, tint, gray,
// replace colours) and derive a mask from a key colour. Each is written once
// over the pixel layout; the named members pick the layout of their size.
#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"

#include <cstring>

// The compiler's full optimisation (vectorisation with epilogues) for these
// inner loops, also in builds that optimise less.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#endif

// ---- Invert: raw complement of the whole pixel -----------------------------

// Complements `rowBytes` bytes of each of `height` rows `step` bytes apart.
static void InvertBytes(uint8_t *p, size_t rowBytes, int32_t height, ptrdiff_t step) {
  for (; height > 0; height--, p += step)
    for (size_t i = 0; i < rowBytes; i++) p[i] = (uint8_t)~p[i];
}

template <class P>
static void InvertRows(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo) {
  if (width <= 0 || height <= 0) return;
  InvertBytes(pixels, (size_t)width * P::kBytes, height, (ptrdiff_t)modulo * P::kBytes);
}

void InvertPixels32(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo) {
  InvertRows<PixSize32>(pixels, width, height, modulo);
}
void InvertPixels24(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo) {
  InvertRows<PixSize24>(pixels, width, height, modulo);
}
void InvertPixels16(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo) {
  InvertRows<PixSize16>(pixels, width, height, modulo);
}

void InvertPlane(uint8_t *plane, int32_t height, int32_t bytesPerRow) {
  if (height <= 0 || bytesPerRow <= 0) return;
  InvertBytes(plane, (size_t)bytesPerRow, height, bytesPerRow);
}

// ---- Tint ------------------------------------------------------------------

template <class L>
KV_VECTOR_CLONES static void TintRows(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                     int32_t level, int32_t modulo) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * L::kBytes;
  uint8_t *row = pixels + y * step + (ptrdiff_t)x * L::kBytes;
  const typename L::Raw t = L::FromRGB(rgb);
  const uint32_t w = (uint32_t)(level < 0 ? 0 : level > 256 ? 256 : level);
  for (; height > 0; height--, row += step) {
    uint8_t *p = row;
    for (int32_t i = 0; i < width; i++, p += L::kBytes) {
      if constexpr (L::kBytes == 4) {
        L::Store(p, MixPixel<L>(L::Load(p), t, w));
      } else {
        // The colour's channels are mixed as given, not first narrowed to
        // the pixel's format: a 15-bit format would drop the low green bit
        // of the RGB565 colour the 16-bit member receives.
        L::Store(p, L::FromRGB(MixRGB(L::ToRGB(L::Load(p)), rgb & 0xFFFFFF, (int32_t)w)));
      }
    }
  }
}

void TintPixels32(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                  int32_t level, int32_t modulo, PixelFormat format) {
  WithFormat32(format, [&](auto L) { TintRows<decltype(L)>(pixels, x, y, width, height, rgb, level, modulo); });
}
void TintPixels24(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                  int32_t level, int32_t modulo, PixelFormat format) {
  WithLayout24(format, [&](auto L) { TintRows<decltype(L)>(pixels, x, y, width, height, rgb, level, modulo); });
}
void TintPixels16(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb565,
                  int32_t level, int32_t modulo, PixelFormat format) {
  // The colour arrives as an RGB565 word and is widened by shifting.
  uint32_t rgb = (rgb565 & 0xF800) << 8 | (rgb565 & 0x07E0) << 5 | (rgb565 & 0x1F) << 3;
  WithFormat16(format, [&](auto L) { TintRows<decltype(L)>(pixels, x, y, width, height, rgb, level, modulo); });
}

// ---- Gray ------------------------------------------------------------------

// Per-channel products of the gray weights; the sum of the three table
// entries is the same double sum a per-pixel computation gives.
struct GrayTables {
  double r[256], g[256], b[256];
  GrayTables() {
    for (int i = 0; i < 256; i++) {
      r[i] = i * 0.299;
      g[i] = i * 0.587;
      b[i] = i * 0.114;
    }
  }
};
static const GrayTables grayTables;

template <class L>
static void GrayRows(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * L::kBytes;
  for (; height > 0; height--, pixels += step) {
    uint8_t *p = pixels;
    for (int32_t i = 0; i < width; i++, p += L::kBytes) {
      uint32_t c = L::ToRGB(L::Load(p));
      uint32_t gray = (uint32_t)(grayTables.r[c >> 16 & 0xFF] + grayTables.g[c >> 8 & 0xFF] + grayTables.b[c & 0xFF]);
      L::Store(p, L::FromRGB(gray << 16 | gray << 8 | gray));
    }
  }
}

// The 32-bit member computes, per pixel and without lookups, the doubles
// GrayRows sums from its tables: the same three products, added in the same
// order and truncated, so every colour gets exactly the gray the tables give.
// Products and sums are kept apart and the compiler is told not to fuse them
// into multiply-adds, which would round differently.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("O3", "fp-contract=off")
#endif

template <class L>
static inline void GrayPixel32(uint8_t *p) {
#if defined(__clang__)
#pragma clang fp contract(off)
#endif
  const uint32_t c = L::ToRGB(L::Load(p));
  const double r = (double)(int32_t)(c >> 16 & 0xFF) * 0.299;
  const double g = (double)(int32_t)(c >> 8 & 0xFF) * 0.587;
  const double b = (double)(int32_t)(c & 0xFF) * 0.114;
  double sum = r + g;
  sum = sum + b;
  const uint32_t gray = (uint32_t)(int32_t)sum;
  L::Store(p, L::FromRGB(gray << 16 | gray << 8 | gray));
}

// One row, pixel by pixel: the loop runs in vector lanes (four or eight
// doubles at a time) on any processor.
template <class L>
KV_VECTOR_CLONES static void GrayRow32(uint8_t *__restrict row, int32_t width) {
  for (int32_t k = 0; k < width; k++) GrayPixel32<L>(row + (ptrdiff_t)k * 4);
}

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KV_GRAY_AVX512 1

// Bit position of the channel byte that ToRGB moves to `rgbByte`.
template <class L>
static inline int GrayChannelShift(uint32_t rgbByte) {
  int shift = 0;
  while (shift < 24 && L::ToRGB(0xFFu << shift) != rgbByte) shift += 8;
  return shift;
}

// One channel's product, exact without converting the byte: with the byte
// v kept at its place (bit `shift`) in the low mantissa of 2^52, the double
// holds 2^52 + v * 2^shift, and one multiply-add takes away 2^52's share:
// (2^52 + v * 2^shift) * (w / 2^shift) - 2^52 * (w / 2^shift) is v * w
// exactly before its single rounding, the same double as (double)v * w.
static inline double GrayChannelProduct(uint64_t word, uint64_t byteMask, double weight, double bias) {
  const uint64_t bits = 0x4330000000000000ull | (word & byteMask);  // 2^52 + byte
  double x;
  std::memcpy(&x, &bits, 8);
  return __builtin_fma(x, weight, bias);
}

// The same row for processors with AVX-512 (and so FMA): two pixels per
// 64-bit word, each pixel's doubles in its own lane, truncated straight to
// 64-bit integers. It runs about 1.7 times as fast as GrayRow32, whose
// byte-to-double conversions and narrowing shuffles cost more than the
// arithmetic. The weights are divided by powers of two, which is exact.
template <class L>
__attribute__((target("arch=x86-64-v4"))) static void GrayRow32Avx512(uint8_t *__restrict row, int32_t width) {
  const int rShift = GrayChannelShift<L>(0xFF0000), gShift = GrayChannelShift<L>(0xFF00),
            bShift = GrayChannelShift<L>(0xFF);
  const double rWeight = 0.299 / (double)(1u << rShift), gWeight = 0.587 / (double)(1u << gShift),
               bWeight = 0.114 / (double)(1u << bShift);
  const double rBias = -0x1p52 * rWeight, gBias = -0x1p52 * gWeight, bBias = -0x1p52 * bWeight;
  const uint64_t rMask = 0xFFull << rShift, gMask = 0xFFull << gShift, bMask = 0xFFull << bShift;
  // The three channel bytes are adjacent in every 32-bit format; this is the lowest.
  const int grayShift = __builtin_ctz(L::FromRGB(0x010101));
  const int32_t pairs = width / 2;
#pragma GCC unroll 2
  for (int32_t k = 0; k < pairs; k++) {
    uint8_t *p = row + (ptrdiff_t)k * 8;
    uint64_t word;
    std::memcpy(&word, p, 8);
    const uint64_t high = word >> 32;
    const double r0 = GrayChannelProduct(word, rMask, rWeight, rBias);
    const double g0 = GrayChannelProduct(word, gMask, gWeight, gBias);
    const double b0 = GrayChannelProduct(word, bMask, bWeight, bBias);
    const double r1 = GrayChannelProduct(high, rMask, rWeight, rBias);
    const double g1 = GrayChannelProduct(high, gMask, gWeight, gBias);
    const double b1 = GrayChannelProduct(high, bMask, bWeight, bBias);
    double sum0 = r0 + g0, sum1 = r1 + g1;
    sum0 = sum0 + b0;
    sum1 = sum1 + b1;
    const uint64_t grays = (uint64_t)(int64_t)sum0 | (uint64_t)(int64_t)sum1 << 32;
    const uint64_t out = (grays | grays << 8 | grays << 16) << grayShift;
    std::memcpy(p, &out, 8);
  }
  if (width & 1) GrayPixel32<L>(row + (ptrdiff_t)(width - 1) * 4);
}

static bool GrayHasAvx512() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("x86-64-v4"));
  return has;
}
#endif

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

void BrushToGray32(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * 4;
  WithFormat32(format, [&](auto L) {
    void (*grayRow)(uint8_t *, int32_t) = GrayRow32<decltype(L)>;
#ifdef KV_GRAY_AVX512
    if (GrayHasAvx512()) grayRow = GrayRow32Avx512<decltype(L)>;
#endif
    uint8_t *row = pixels;
    for (int32_t y = 0; y < height; y++, row += step) grayRow(row, width);
  });
}
void BrushToGray24(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo) {
  WithLayout24(format, [&](auto L) { GrayRows<decltype(L)>(pixels, width, height, modulo); });
}
void BrushToGray16(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo) {
  WithFormat16(format, [&](auto L) { GrayRows<decltype(L)>(pixels, width, height, modulo); });
}

// ---- Replace colours -------------------------------------------------------

// kChain: each pair compares the pixel's current value (32 and 16 bits);
// otherwise the value before any replacement (24 bits, the last match wins).
template <class P, bool kChain>
static void ReplaceRows(int32_t width, int32_t height, const uint32_t *pairs, uint8_t *pixels, int32_t modulo,
                        uint32_t compareMask) {
  if (width <= 0 || height <= 0 || !pairs) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * P::kBytes;
  for (; height > 0; height--, pixels += step) {
    uint8_t *p = pixels;
    for (int32_t i = 0; i < width; i++, p += P::kBytes) {
      const uint32_t orig = P::Load(p);
      uint32_t cur = orig;
      for (const uint32_t *q = pairs; q[0] != 0xFFFFFFFFu; q += 2)
        if (((kChain ? cur : orig) & compareMask) == q[0]) cur = q[1];
      if (cur != orig) P::Store(p, (typename P::Raw)cur);
    }
  }
}

void ReplaceColors32(int32_t width, int32_t height, const uint32_t *pairs, uint8_t *pixels, int32_t modulo,
                     uint32_t compareMask) {
  ReplaceRows<PixSize32, true>(width, height, pairs, pixels, modulo, compareMask);
}
void ReplaceColors24(int32_t width, int32_t height, const uint32_t *pairs, uint8_t *pixels, int32_t modulo) {
  ReplaceRows<PixSize24, false>(width, height, pairs, pixels, modulo, 0xFFFFFFFFu);
}
void ReplaceColors16(int32_t width, int32_t height, const uint32_t *pairs, uint8_t *pixels, int32_t modulo) {
  ReplaceRows<PixSize16, true>(width, height, pairs, pixels, modulo, 0xFFFFFFFFu);
}

// ---- Mask from key colour --------------------------------------------------

template <class P>
static void KeyMaskRows(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo, uint32_t compareMask) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * P::kBytes;
  for (; height > 0; height--, pixels += step, mask += maskBytesPerRow) {
    const uint8_t *p = pixels;
    int32_t i = 0;
    for (uint8_t *m = mask; i < width; m++) {
      uint8_t bits = 0;
      const int32_t n = width - i < 8 ? width - i : 8;
      for (int32_t k = 0; k < n; k++, p += P::kBytes)
        if (((uint32_t)P::Load(p) & compareMask) != key) bits |= (uint8_t)(0x80 >> k);
      // Bits past the width in the last byte keep their value.
      const uint8_t cover = (uint8_t)(0xFF00 >> n);
      *m = (uint8_t)((*m & ~cover) | bits);
      i += n;
    }
  }
}

// The whole mask bytes of one row of 32-bit pixels: eight compares give eight
// 0/1 bytes of a word (pixel k in byte k), and one multiply gathers them into
// a byte, the first pixel in the top bit (byte k lands on bit 63 - k of the
// product; no two terms meet, so nothing carries).
KV_VECTOR_CLONES static void KeyMaskBytes32(const uint8_t *p, uint8_t *m, int32_t bytes, uint32_t key,
                                            uint32_t compareMask) {
  for (int32_t j = 0; j < bytes; j++, p += 32) {
    uint8_t differs[8];
    for (int k = 0; k < 8; k++) differs[k] = (uint8_t)((PixSize32::Load(p + k * 4) & compareMask) != key);
    uint64_t x;
    std::memcpy(&x, differs, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    x = __builtin_bswap64(x);  // pixel k in byte k counted from the low end
#endif
    m[j] = (uint8_t)((x * 0x8040201008040201ull) >> 56);
  }
}

void MaskFromKeyColor32(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo, uint32_t compareMask) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * 4;
  const int32_t whole = width / 8;
  for (; height > 0; height--, pixels += step, mask += maskBytesPerRow) {
    KeyMaskBytes32(pixels, mask, whole, key, compareMask);
    // the last, partial byte as the other sizes do it
    if (width > whole * 8)
      KeyMaskRows<PixSize32>(pixels + (ptrdiff_t)whole * 32, mask + whole, width - whole * 8, 1,
                             maskBytesPerRow, key, modulo, compareMask);
  }
}
void MaskFromKeyColor24(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo) {
  KeyMaskRows<PixSize24>(pixels, mask, width, height, maskBytesPerRow, key, modulo, 0xFFFFFFFFu);
}
void MaskFromKeyColor16(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo) {
  KeyMaskRows<PixSize16>(pixels, mask, width, height, maskBytesPerRow, key, modulo, 0xFFFFFFFFu);
}
