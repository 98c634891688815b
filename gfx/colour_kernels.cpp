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

// The gray of one 0x00RRGGBB colour in doubles, as GrayRows computes it from
// its tables: the same products, summed in the same order. The products and
// sums are separate statements, so no compiler fuses them into multiply-adds
// (and GCC is also told not to).
#if defined(__GNUC__) && !defined(__clang__)
#define KV_NO_FP_CONTRACT __attribute__((optimize("fp-contract=off")))
#else
#define KV_NO_FP_CONTRACT
#endif
KV_NO_FP_CONTRACT static inline uint32_t GrayOfRGB(uint32_t c) {
  const double r = (double)(int32_t)(c >> 16 & 0xFF) * 0.299;
  const double g = (double)(int32_t)(c >> 8 & 0xFF) * 0.587;
  const double b = (double)(int32_t)(c & 0xFF) * 0.114;
  double sum = r + g;
  sum = sum + b;
  return (uint32_t)(int32_t)sum;
}

// The double sum truncates to floor((299 R + 587 G + 114 B) / 1000), except
// where that sum is an exact multiple of 1000: there it may round to just
// below the integer. For given G and B at most one R in 0..255 makes the sum
// a multiple (299 is invertible modulo 1000), so one bit per (G, B) says
// whether that colour's gray is one less than the quotient.
struct GrayExactBits {
  uint32_t words[65536 / 32];
  GrayExactBits() {
    for (uint32_t gb = 0; gb < 65536; gb++) {
      uint32_t bit = 0;
      for (uint32_t r = 0; r < 256; r++) {
        const uint32_t s = 299 * r + 587 * (gb >> 8) + 114 * (gb & 0xFF);
        if (s % 1000 == 0) {
          bit = GrayOfRGB(r << 16 | gb) != s / 1000;
          break;
        }
      }
      if (gb % 32 == 0) words[gb / 32] = 0;
      words[gb / 32] |= bit << (gb % 32);
    }
  }
};
static const uint32_t *GrayExactWords() {
  static const GrayExactBits bits;
  return bits.words;
}

// One row of 32-bit pixels: the quotient floor((299 R + 587 G + 114 B) / 1000)
// in integers, less the correction bit where the sum is an exact multiple
// (looked up for every pixel: a branch would keep the loop from being
// vectorised).
template <class L>
KV_VECTOR_CLONES static void GrayRow32(uint8_t *__restrict row, int32_t width, const uint32_t *__restrict exactWords) {
  for (int32_t k = 0; k < width; k++) {
    uint8_t *p = row + (ptrdiff_t)k * 4;
    const uint32_t c = L::ToRGB(L::Load(p));
    const uint32_t gb = c & 0xFFFF;
    const uint32_t s = 299 * (c >> 16 & 0xFF) + 587 * (c >> 8 & 0xFF) + 114 * (c & 0xFF);
    const uint32_t q = ((s >> 3) * 67109u) >> 23;  // s / 1000 for every s up to 255000
    const uint32_t exact = (uint32_t)(s == q * 1000);
    L::Store(p, L::FromRGB((q - (exact & exactWords[gb >> 5] >> (gb & 31))) * 0x010101u));
  }
}

void BrushToGray32(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * 4;
  const uint32_t *exactWords = GrayExactWords();
  WithFormat32(format, [&](auto L) {
    uint8_t *row = pixels;
    for (int32_t y = 0; y < height; y++, row += step) GrayRow32<decltype(L)>(row, width, exactWords);
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
