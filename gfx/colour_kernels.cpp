// Colour kernels that recolour a rectangle in place (invert, tint, gray,
// replace colours) and derive a mask from a key colour. Each is written once
// over the pixel layout; the named members pick the layout of their size.
#include "gfx/kernels.h"
#include "gfx/pixel_layout.h"

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

void BrushToGray32(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo) {
  WithFormat32(format, [&](auto L) { GrayRows<decltype(L)>(pixels, width, height, modulo); });
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

void MaskFromKeyColor32(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo, uint32_t compareMask) {
  KeyMaskRows<PixSize32>(pixels, mask, width, height, maskBytesPerRow, key, modulo, compareMask);
}
void MaskFromKeyColor24(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo) {
  KeyMaskRows<PixSize24>(pixels, mask, width, height, maskBytesPerRow, key, modulo, 0xFFFFFFFFu);
}
void MaskFromKeyColor16(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo) {
  KeyMaskRows<PixSize16>(pixels, mask, width, height, maskBytesPerRow, key, modulo, 0xFFFFFFFFu);
}
