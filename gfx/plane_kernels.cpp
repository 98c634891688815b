// Kernels on 8-bit planes (alpha channels, coverage) and 1-bit masks.
#include "gfx/kernels.h"
#include <cstring>
#include "gfx/pixel_layout.h"

// The compiler's full optimisation (vectorisation with epilogues) for these
// inner loops, also in builds that optimise less.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#endif

void MaskToAlpha(const uint8_t *mask, int32_t maskX, int32_t maskY, int32_t maskBytesPerRow, uint8_t *plane,
                 int32_t planeX, int32_t planeY, int32_t planeBytesPerRow, int32_t width, int32_t height,
                 uint8_t value) {
  if (width <= 0 || height <= 0) return;
  const uint8_t *mrow = mask + (ptrdiff_t)maskY * maskBytesPerRow;
  uint8_t *prow = plane + (ptrdiff_t)planeY * planeBytesPerRow + planeX;
  for (; height > 0; height--, mrow += maskBytesPerRow, prow += planeBytesPerRow) {
    MaskBitWalker w;
    w.Start(mrow, maskX);
    for (int32_t i = 0; i < width; i++, w.Next())
      if (w.Test()) prow[i] = value;
  }
}

void FillPlaneRect(uint8_t *plane, int32_t x, int32_t y, int32_t width, int32_t height, int32_t bytesPerRow,
                   uint8_t value) {
  if (width <= 0 || height <= 0) return;
  uint8_t *row = plane + (ptrdiff_t)y * bytesPerRow + x;
  for (; height > 0; height--, row += bytesPerRow) memset(row, value, (size_t)width);
}

void ScaleAlpha(const uint8_t *src, uint8_t *dst, int32_t level, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return;
  const size_t n = (size_t)width * (size_t)height;
  // Division by 255 through a table: one entry per source byte.
  uint8_t table[256];
  for (int32_t s = 0; s < 256; s++) table[s] = (uint8_t)((s * level) / 255);
  for (size_t i = 0; i < n; i++) dst[i] = table[src[i]];
}

void CopyMaskRect(const uint8_t *clip, int32_t clipX, int32_t clipY, int32_t clipBytesPerRow, uint8_t *dst,
                  int32_t dstX, int32_t dstY, int32_t dstBytesPerRow, const uint8_t *and2, int32_t and2X,
                  int32_t and2Y, int32_t and2BytesPerRow, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return;
  const uint8_t *crow = clip + (ptrdiff_t)clipY * clipBytesPerRow;
  uint8_t *drow = dst + (ptrdiff_t)dstY * dstBytesPerRow;
  const uint8_t *arow = and2 ? and2 + (ptrdiff_t)and2Y * and2BytesPerRow : nullptr;
  for (int32_t j = 0; j < height; j++, crow += clipBytesPerRow, drow += dstBytesPerRow) {
    MaskBitWalker c, a;
    c.Start(crow, clipX);
    if (arow) a.Start(arow, and2X);
    uint8_t *d = drow + (dstX >> 3);
    uint8_t dbit = (uint8_t)(0x80 >> (dstX & 7));
    for (int32_t i = 0; i < width; i++) {
      bool on = c.Test();
      c.Next();
      if (arow) {
        on = on && a.Test();
        a.Next();
      }
      if (on) *d |= dbit;
      else *d &= (uint8_t)~dbit;
      dbit >>= 1;
      if (!dbit) { dbit = 0x80; d++; }
    }
    if (arow) arow += and2BytesPerRow;
  }
}

void CopyMaskRectToPlane(const uint8_t *clip, int32_t clipX, int32_t clipY, int32_t clipBytesPerRow,
                         const uint8_t *src, int32_t srcX, int32_t srcY, int32_t srcBytesPerRow, uint8_t *dst,
                         int32_t dstX, int32_t dstY, int32_t dstBytesPerRow, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return;
  const uint8_t *crow = clip + (ptrdiff_t)clipY * clipBytesPerRow;
  const uint8_t *srow = src + (ptrdiff_t)srcY * srcBytesPerRow + srcX;
  uint8_t *drow = dst + (ptrdiff_t)dstY * dstBytesPerRow + dstX;
  for (; height > 0; height--, crow += clipBytesPerRow, srow += srcBytesPerRow, drow += dstBytesPerRow) {
    MaskBitWalker c;
    c.Start(crow, clipX);
    for (int32_t i = 0; i < width; i++, c.Next()) drow[i] = c.Test() ? srow[i] : 0;
  }
}

// One row of CombineAlpha, the mode fixed at compile time so the loop has no
// branch on it.
template <int M>
static inline void CombineAlphaRow(const uint8_t *s, uint8_t *d, int32_t width, int32_t value) {
  for (int32_t i = 0; i < width; i++) {
    const int32_t sv = s[i], dv = d[i];
    int32_t r = dv;
    switch (M) {
      case 0: r = sv; break;
      case 1: r = sv ? sv : dv; break;
      case 2: r = sv ? 255 - sv : dv; break;
      case 3: r = sv ? 255 : dv; break;
      case 4: r = sv ? sv * value / 255 : dv; break;
      case 5: r = (sv && dv) ? 255 - sv : dv; break;
      case 6: r = sv ? value : dv; break;
      case 7: r = (sv && dv) ? sv : 0; break;
    }
    d[i] = (uint8_t)r;
  }
}

template <int M>
static void CombineAlphaRows(const uint8_t *s, uint8_t *d, int32_t width, int32_t height, int32_t sbpr,
                             int32_t dbpr, int32_t value) {
  for (; height > 0; height--, s += sbpr, d += dbpr) CombineAlphaRow<M>(s, d, width, value);
}

void CombineAlpha(const uint8_t *src, int32_t sx, int32_t sy, uint8_t *dst, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t srcBytesPerRow, int32_t dstBytesPerRow, int mode,
                  int32_t value) {
  if (width <= 0 || height <= 0) return;
  const uint8_t *s = src + (ptrdiff_t)sy * srcBytesPerRow + sx;
  uint8_t *d = dst + (ptrdiff_t)dy * dstBytesPerRow + dx;
  switch (mode) {
    case 1: CombineAlphaRows<1>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
    case 2: CombineAlphaRows<2>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
    case 3: CombineAlphaRows<3>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
    case 4: CombineAlphaRows<4>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
    case 5: CombineAlphaRows<5>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
    case 6: CombineAlphaRows<6>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
    case 7: CombineAlphaRows<7>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
    default: CombineAlphaRows<0>(s, d, width, height, srcBytesPerRow, dstBytesPerRow, value); break;
  }
}

void CombineMask(const uint8_t *src, int32_t sx, int32_t sy, int32_t srcBytesPerRow, uint8_t *dst, int32_t dx,
                 int32_t dy, int32_t dstBytesPerRow, int32_t width, int32_t height, int mode) {
  // Mode 4 is accepted and leaves the destination unchanged, as do modes above 5.
  if (width <= 0 || height <= 0 || mode < 0 || mode == 4 || mode > 5) return;
  const uint8_t *srow = src + (ptrdiff_t)sy * srcBytesPerRow + sx;
  uint8_t *drow = dst + (ptrdiff_t)dy * dstBytesPerRow;
  for (; height > 0; height--, srow += srcBytesPerRow, drow += dstBytesPerRow) {
    uint8_t *d = drow + (dx >> 3);
    uint8_t dbit = (uint8_t)(0x80 >> (dx & 7));
    for (int32_t i = 0; i < width; i++) {
      const bool full = srow[i] == 255;
      switch (mode) {
        case 0:
        case 2: if (full) *d |= dbit; else *d &= (uint8_t)~dbit; break;
        case 1: if (full) *d &= (uint8_t)~dbit; else *d |= dbit; break;
        case 3: if (full) *d ^= dbit; break;
        case 5: if (full) *d |= dbit; break;
      }
      dbit >>= 1;
      if (!dbit) { dbit = 0x80; d++; }
    }
  }
}
