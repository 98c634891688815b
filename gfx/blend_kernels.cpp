// Kernels that mix one picture into another: the level blend, the per-pixel
// alpha blit and the coverage blit. Each is written once over the format
// layout; the channel step is the same everywhere: a + (((b - a) * w) >> 8)
// with a signed product and an arithmetic shift.
#include "gfx/kernels.h"
#include <cstring>
#include "gfx/pixel_layout.h"

// The compiler's full optimisation (vectorisation with epilogues) for these
// inner loops, also in builds that optimise less.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#endif

// ---- 32-bit rows ----------------------------------------------------------
//
// Whole rows of 32-bit pixels mixed with MixWords, written without branches
// so that the compiler vectorises them.

// MixWords with one multiply per channel pair instead of two: each 16-bit lane
// of a * 256 + (b - a) * w equals a * (256 - w) + b * w, which lies in
// [0, 65280], so the lanes' borrows cancel in the 32-bit sum and the result is
// the same bit for bit.
static inline uint32_t MixWordsByDifference(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t alo = a & 0x00FF00FFu, blo = b & 0x00FF00FFu;
  const uint32_t ahi = (a >> 8) & 0x00FF00FFu, bhi = (b >> 8) & 0x00FF00FFu;
  const uint32_t lo = ((alo << 8) + (blo - alo) * w) >> 8 & 0x00FF00FFu;
  const uint32_t hi = ((a & 0xFF00FF00u) + (bhi - ahi) * w) & 0xFF00FF00u;
  return lo | hi;
}

// Per-pixel weights from an alpha row: a = 0 keeps the whole pixel (weight 0),
// a = 255 copies the whole source pixel (weight 256), others mix and clear the
// spare byte. s and d may be the same row.
template <class L>
KV_VECTOR_CLONES static void AlphaRow32(const uint8_t *s, uint8_t *d, const uint8_t *a, int32_t width) {
  for (int32_t i = 0; i < width; i++) {
    const uint32_t av = a[i];
    const uint32_t wt = av + ((av + 1) >> 8);                        // 255 -> 256
    const uint32_t keep = (wt & 0xFF) ? ~L::kSpare : ~0u;           // whole pixel for weight 0 or 256
    uint32_t sv, dv;
    memcpy(&sv, s + 4 * i, 4);
    memcpy(&dv, d + 4 * i, 4);
    const uint32_t r = MixWordsByDifference(dv, sv, wt) & keep;
    memcpy(d + 4 * i, &r, 4);
  }
}

// The same with one weight for the whole row; the spare byte is cleared.
template <class L>
KV_VECTOR_CLONES static void ConstRow32(const uint8_t *s, uint8_t *d, uint32_t wt, int32_t width) {
  for (int32_t i = 0; i < width; i++) {
    uint32_t sv, dv;
    memcpy(&sv, s + 4 * i, 4);
    memcpy(&dv, d + 4 * i, 4);
    const uint32_t r = MixWords(dv, sv, wt) & ~L::kSpare;
    memcpy(d + 4 * i, &r, 4);
  }
}

// ---- BlendPixels: d = s + (((d - s) * (255 - level)) >> 8) -----------------

template <class L>
static void BlendRows(const BlendPlanes *pl, int32_t width, int32_t height, int32_t level, int32_t srcModulo,
                      int32_t dstModulo, int32_t maskBytesPerRow) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t sstep = (ptrdiff_t)srcModulo * L::kBytes, dstep = (ptrdiff_t)dstModulo * L::kBytes;
  const uint8_t *s = pl->src;
  uint8_t *d = pl->dst;
  const uint8_t *m = pl->mask;
  const uint32_t w = (uint32_t)(255 - (level < 0 ? 0 : level > 255 ? 255 : level));
  for (; height > 0; height--, s += sstep, d += dstep) {
    if (!m) {
      if constexpr (L::kBytes == 4) {
        // s + (((d - s) * w) >> 8): d moved toward s by 256 - w.
        ConstRow32<L>(s, d, 256 - w, width);
      } else {
        for (int32_t i = 0; i < width; i++)
          L::Store(d + i * L::kBytes, MixPixel<L>(L::Load(s + i * L::kBytes), L::Load(d + i * L::kBytes), w));
      }
      continue;
    }
    MaskBitWalker mw;
    mw.Start(m, pl->maskBitX);
    for (int32_t i = 0; i < width; i++, mw.Next()) {
      if (!mw.Test()) continue;
      L::Store(d + i * L::kBytes, MixPixel<L>(L::Load(s + i * L::kBytes), L::Load(d + i * L::kBytes), w));
    }
    m += maskBytesPerRow;
  }
}

void BlendPixels32(const BlendPlanes *planes, int32_t width, int32_t height, int32_t level, PixelFormat format,
                   int32_t srcModulo, int32_t dstModulo, int32_t maskBytesPerRow) {
  WithFormat32(format, [&](auto L) {
    BlendRows<decltype(L)>(planes, width, height, level, srcModulo, dstModulo, maskBytesPerRow);
  });
}
void BlendPixels24(const BlendPlanes *planes, int32_t width, int32_t height, int32_t level, PixelFormat format,
                   int32_t srcModulo, int32_t dstModulo, int32_t maskBytesPerRow) {
  WithLayout24(format, [&](auto L) {
    BlendRows<decltype(L)>(planes, width, height, level, srcModulo, dstModulo, maskBytesPerRow);
  });
}
void BlendPixels16(const BlendPlanes *planes, int32_t width, int32_t height, int32_t level, PixelFormat format,
                   int32_t srcModulo, int32_t dstModulo, int32_t maskBytesPerRow) {
  WithFormat16(format, [&](auto L) {
    BlendRows<decltype(L)>(planes, width, height, level, srcModulo, dstModulo, maskBytesPerRow);
  });
}

// ---- BltAlphaBitMap: a = 0 keeps, 255 copies, else d + (((s - d) * a) >> 8) --

// One row of 3- or 2-byte pixels.
template <class L>
static void AlphaRowN(const uint8_t *s, uint8_t *d, const uint8_t *a, int32_t width) {
  for (int32_t i = 0; i < width; i++) {
    const int32_t av = a[i];
    const typename L::Raw sv = L::Load(s + i * L::kBytes), dv = L::Load(d + i * L::kBytes);
    const typename L::Raw mixed = MixPixel<L>(dv, sv, (uint32_t)av);
    L::Store(d + i * L::kBytes, av == 0 ? dv : av == 255 ? sv : mixed);
  }
}

template <class L>
static inline void AlphaSpan(const uint8_t *s, uint8_t *d, const uint8_t *a, int32_t width) {
  if constexpr (L::kBytes == 4) AlphaRow32<L>(s, d, a, width);
  else AlphaRowN<L>(s, d, a, width);
}

// One row in blocks of kAlphaBlock pixels: a block whose alpha is all 0 is
// left alone, one whose alpha is all 255 is copied; runs of other blocks are
// mixed in one go. Pictures with an alpha channel are mostly clear or opaque.
enum { kAlphaBlock = 32 };
template <class L>
static void AlphaRowByBlocks(const uint8_t *s, uint8_t *d, const uint8_t *a, int32_t width) {
  const ptrdiff_t bpp = L::kBytes;
  int32_t i = 0, start = 0;  // start: first pixel not yet drawn
  for (; i + kAlphaBlock <= width; i += kAlphaBlock) {
    // Most mixed blocks show it in their first eight alpha bytes.
    uint64_t any, all;
    memcpy(&any, a + i, 8);
    if (any != 0 && any != ~(uint64_t)0) continue;
    all = any;
    for (int k = 8; k < kAlphaBlock; k += 8) {
      uint64_t q;
      memcpy(&q, a + i + k, 8);
      any |= q;
      all &= q;
    }
    if (any != 0 && all != ~(uint64_t)0) continue;
    if (i > start) AlphaSpan<L>(s + start * bpp, d + start * bpp, a + start, i - start);
    if (any) memmove(d + i * bpp, s + i * bpp, (size_t)kAlphaBlock * bpp);
    start = i + kAlphaBlock;
  }
  if (width > start) AlphaSpan<L>(s + start * bpp, d + start * bpp, a + start, width - start);
}

template <class L>
static void AlphaBitMapRows(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                            uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                            const uint8_t *alpha, int32_t alphaBytesPerRow) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t sstep = (ptrdiff_t)srcModulo * L::kBytes, dstep = (ptrdiff_t)dstModulo * L::kBytes;
  const uint8_t *s = src + sy * sstep + (ptrdiff_t)sx * L::kBytes;
  uint8_t *d = dst + dy * dstep + (ptrdiff_t)dx * L::kBytes;
  const uint8_t *a = alpha + (ptrdiff_t)ay * alphaBytesPerRow + ax;
  for (; height > 0; height--, s += sstep, d += dstep, a += alphaBytesPerRow) AlphaRowByBlocks<L>(s, d, a, width);
}

#define ALPHABITMAP_ARGS src, sx, sy, ax, ay, srcModulo, dst, dx, dy, dstModulo, width, height, alpha, alphaBytesPerRow
void BltAlphaBitMap32(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                      uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                      const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format) {
  WithFormat32(format, [&](auto L) { AlphaBitMapRows<decltype(L)>(ALPHABITMAP_ARGS); });
}
void BltAlphaBitMap24(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                      uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                      const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format) {
  WithLayout24(format, [&](auto L) { AlphaBitMapRows<decltype(L)>(ALPHABITMAP_ARGS); });
}
void BltAlphaBitMap16(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                      uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                      const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format) {
  WithFormat16(format, [&](auto L) { AlphaBitMapRows<decltype(L)>(ALPHABITMAP_ARGS); });
}
#undef ALPHABITMAP_ARGS

// ---- BltAlphaChannel: coverage blit ----------------------------------------

// One row for modes 0, 1 and 4 (no destination alpha). kMode 4 counts the
// coverage in 1/64 steps: 64 is full, other values are multiplied by 4.
template <class L, int kMode>
static inline void CoverageRow(const uint8_t *cov, uint8_t *d, const uint8_t *s, typename L::Raw colourRaw,
                               int32_t width) {
  for (int32_t i = 0; i < width; i++) {
    int32_t a = cov[i];
    if (a == 0) continue;
    const typename L::Raw cRaw = s ? L::Load(s + i * L::kBytes) : colourRaw;
    uint8_t *dp = d + i * L::kBytes;
    if (kMode == 0) {
      L::Store(dp, cRaw);
      continue;
    }
    if (kMode == 4) {
      if (a == 64) {
        L::Store(dp, cRaw);
        continue;
      }
      a = (a * 4) & 0xFF;
    }
    if (a == 255) {
      L::Store(dp, cRaw);
      continue;
    }
    L::Store(dp, MixPixel<L>(L::Load(dp), cRaw, (uint32_t)a));
  }
}

template <class L>
static void CoverageRows(const AlphaChannelBltParams *p, uint32_t colourRGB) {
  if (p->width <= 0 || p->height <= 0) return;
  const typename L::Raw colourRaw = L::FromRGB(colourRGB);
  const ptrdiff_t dstep = (ptrdiff_t)p->dstModulo * L::kBytes, sstep = (ptrdiff_t)p->srcModulo * L::kBytes;
  uint8_t *d = p->dst + p->dy * dstep + (ptrdiff_t)p->dx * L::kBytes;
  const uint8_t *s = p->src ? p->src + p->cy * sstep + (ptrdiff_t)p->cx * L::kBytes : nullptr;
  const int32_t mode = p->mode;
  if (mode == 2 || mode == 3) {
    if (mode == 3 && !p->coverage16) return;
    const uint8_t *cov = p->coverage + (ptrdiff_t)p->cy * p->coverageBytesPerRow + p->cx;
    const uint16_t *cov16 = mode == 3 ? p->coverage16 + (ptrdiff_t)p->cy * p->coverage16RowLength + p->cx : nullptr;
    uint8_t *da = p->dstAlpha ? p->dstAlpha + (ptrdiff_t)p->dy * p->dstAlphaBytesPerRow + p->dx : nullptr;
    // Mode 3 always mixes the colour.
    if (mode == 3) s = nullptr;
    for (int32_t j = 0; j < p->height; j++) {
      for (int32_t i = 0; i < p->width; i++) {
        const int32_t a = mode == 3 ? (cov16[i] & 0xFF) : cov[i];
        if (a == 0) continue;
        uint8_t *dp = d + i * L::kBytes;
        const typename L::Raw cRaw = s ? L::Load(s + i * L::kBytes) : colourRaw;
        const int32_t dav = da ? da[i] : 1;
        if (dav != 0) {
          L::Store(dp, MixPixel<L>(L::Load(dp), cRaw, (uint32_t)a));
          if (da) da[i] = (uint8_t)(((((a - dav) * a) >> 8) + dav) * p->level / 255);
        } else {
          L::Store(dp, cRaw);
          da[i] = (uint8_t)(p->level * a / 255);
        }
      }
      d += dstep;
      if (s) s += sstep;
      if (cov16) cov16 += p->coverage16RowLength;
      else cov += p->coverageBytesPerRow;
      if (da) da += p->dstAlphaBytesPerRow;
    }
    return;
  }
  const uint8_t *cov = p->coverage + (ptrdiff_t)p->cy * p->coverageBytesPerRow + p->cx;
  if constexpr (L::kBytes == 4) {
    if (mode == 1 || mode == 4) {
      // Modes 1 and 4 are the alpha row mix: a = 0 keeps, 255 (mode 4: 64)
      // writes the colour, others mix. Chunks of the colour and of mode 4's
      // rescaled coverage stand in for a source row and an alpha row.
      constexpr int32_t kChunk = 512;
      uint32_t colourRow[kChunk];
      uint8_t alphaRow[kChunk];
      if (!s)
        for (int32_t i = 0; i < kChunk; i++) colourRow[i] = colourRaw;
      for (int32_t j = 0; j < p->height; j++, d += dstep, cov += p->coverageBytesPerRow) {
        for (int32_t i0 = 0; i0 < p->width; i0 += kChunk) {
          const int32_t n = p->width - i0 < kChunk ? p->width - i0 : kChunk;
          const uint8_t *a = cov + i0;
          if (mode == 4) {
            for (int32_t i = 0; i < n; i++) alphaRow[i] = a[i] == 64 ? 255 : (uint8_t)(a[i] * 4);
            a = alphaRow;
          }
          AlphaRow32<L>(s ? s + (ptrdiff_t)i0 * 4 : (const uint8_t *)(void *)colourRow, d + (ptrdiff_t)i0 * 4, a, n);
        }
        if (s) s += sstep;
      }
      return;
    }
  }
  for (int32_t j = 0; j < p->height; j++, d += dstep, cov += p->coverageBytesPerRow) {
    if (mode == 1) CoverageRow<L, 1>(cov, d, s, colourRaw, p->width);
    else if (mode == 4) CoverageRow<L, 4>(cov, d, s, colourRaw, p->width);
    else CoverageRow<L, 0>(cov, d, s, colourRaw, p->width);
    if (s) s += sstep;
  }
}

void BltAlphaChannel32(const AlphaChannelBltParams *p) {
  WithFormat32(p->format, [&](auto L) {
    using Lay = decltype(L);
    CoverageRows<Lay>(p, Lay::ToRGB(p->colour));
  });
}
void BltAlphaChannel24(const AlphaChannelBltParams *p) {
  // The 24-bit member takes the colour as 0xRRGGBB.
  WithLayout24(p->format, [&](auto L) { CoverageRows<decltype(L)>(p, p->colour & 0xFFFFFF); });
}
void BltAlphaChannel16(const AlphaChannelBltParams *p) {
  WithFormat16(p->format, [&](auto L) {
    using Lay = decltype(L);
    CoverageRows<Lay>(p, Lay::ToRGB((uint16_t)p->colour));
  });
}
