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
// Rows of 32-bit pixels are mixed in 16-bit halves: each half of a pixel word
// holds two channel bytes, and (d * (256 - w) + s * w) >> 8 of one byte,
// which equals d + (((s - d) * w) >> 8), never exceeds 255 * 256 for a weight
// w of 0..256. So the loops run on 16-bit lanes with 16-bit multiplies, which
// every x86-64 vector unit has. A row is mixed in pieces of kPiece pixels:
// each pixel's weight and keep mask are first spread to its two halves in
// small arrays on the stack, then one flat loop mixes the piece. Every source,
// destination and alpha byte is read once.

enum { kPiece = 256 };

// A piece's weights (0..256) and keep masks, one of each per 16-bit half:
// pixel i owns halves 2i (its low 16 bits) and 2i + 1.
struct HalfWeights {
  uint16_t w[2 * kPiece];
  uint16_t keep[2 * kPiece];
};

// Gives pixel i of the piece the weight wt (0..256) in both halves. Where
// `clear` is 0xFFFF its spare byte is cleared: spare is the spare byte's mask
// in the pixel word, split into the masks of its low and high halves.
static inline void SetPixelWeight(HalfWeights *hw, int32_t i, uint16_t wt, uint16_t clear, uint32_t spare) {
  hw->w[2 * i] = wt;
  hw->w[2 * i + 1] = wt;
  hw->keep[2 * i] = (uint16_t)~(clear & (uint16_t)spare);
  hw->keep[2 * i + 1] = (uint16_t)~(clear & (uint16_t)(spare >> 16));
}

// Each byte of d becomes (d * (256 - w) + s * w) >> 8 with its half's weight,
// and the half is then ANDed with its keep mask. The sums are taken modulo
// 2^16, which loses nothing. s may be d; a destination ahead of the source in
// the same row reads what the earlier halves wrote, as a pixel loop would.
static inline void MixHalves(const uint8_t *s, uint8_t *d, const HalfWeights *hw, int32_t halves) {
  for (int32_t k = 0; k < halves; k++) {
    uint16_t sv, dv;
    memcpy(&sv, s + 2 * k, 2);
    memcpy(&dv, d + 2 * k, 2);
    const uint16_t w = hw->w[k], iw = (uint16_t)(256 - w);
    const uint16_t lo = (uint16_t)((uint16_t)((dv & 0xFF) * iw + (sv & 0xFF) * w) >> 8);
    const uint16_t hi = (uint16_t)((dv >> 8) * iw + (sv >> 8) * w) & 0xFF00;
    const uint16_t r = (uint16_t)((lo | hi) & hw->keep[k]);
    memcpy(d + 2 * k, &r, 2);
  }
}

// Mixes s into d by per-pixel alpha: a = 0 keeps the whole pixel (weight 0),
// a = 255 copies the whole source pixel (weight 256), others mix and clear
// the spare byte. s and d may be the same row.
template <uint32_t spare>
KV_VECTOR_CLONES static void AlphaRow32(const uint8_t *s, uint8_t *d, const uint8_t *a, int32_t width) {
  HalfWeights hw;
  for (int32_t i0 = 0; i0 < width; i0 += kPiece) {
    const int32_t n = width - i0 < kPiece ? width - i0 : kPiece;
    for (int32_t i = 0; i < n; i++) {
      const uint16_t av = a[i0 + i];
      const uint16_t wt = (uint16_t)(av + ((av + 1) >> 8));  // 255 -> 256
      SetPixelWeight(&hw, i, wt, (wt & 0xFF) ? 0xFFFF : 0, spare);
    }
    MixHalves(s + (ptrdiff_t)i0 * 4, d + (ptrdiff_t)i0 * 4, &hw, 2 * n);
  }
}

// Rows mixed with one weight (0..256) everywhere; the spare byte is cleared.
template <uint32_t spare>
KV_VECTOR_CLONES static void ConstRows32(const uint8_t *s, uint8_t *d, int32_t width, int32_t height,
                                         ptrdiff_t sstep, ptrdiff_t dstep, uint32_t wt) {
  HalfWeights hw;
  const int32_t filled = width < kPiece ? width : kPiece;
  for (int32_t i = 0; i < filled; i++) SetPixelWeight(&hw, i, (uint16_t)wt, 0xFFFF, spare);
  for (; height > 0; height--, s += sstep, d += dstep)
    for (int32_t i0 = 0; i0 < width; i0 += kPiece) {
      const int32_t n = width - i0 < kPiece ? width - i0 : kPiece;
      MixHalves(s + (ptrdiff_t)i0 * 4, d + (ptrdiff_t)i0 * 4, &hw, 2 * n);
    }
}

// The same where the mask bit is set; pixels with a clear bit keep every
// byte. `m` is the mask row, `bitX` the bit of the first pixel.
template <uint32_t spare>
KV_VECTOR_CLONES static void MaskedRows32(const uint8_t *s, uint8_t *d, const uint8_t *m, int32_t bitX,
                                          int32_t width, int32_t height, ptrdiff_t sstep, ptrdiff_t dstep,
                                          int32_t maskBytesPerRow, uint32_t wt) {
  HalfWeights hw;
  const int32_t skew = bitX & 7;
  for (; height > 0; height--, s += sstep, d += dstep, m += maskBytesPerRow) {
    const uint8_t *mb = m + (bitX >> 3);
    uint8_t head;
    for (int32_t i = 0, n; i < width; i += n) {
      // A piece takes the bits of ceil(n / 8) mask bytes, its first pixel at
      // 0x80. A row whose first pixel is not at 0x80 begins with a piece up
      // to the next mask byte, its bits moved to the top.
      const uint8_t *bits = mb;
      if (i == 0 && skew) {
        head = (uint8_t)(*mb++ << skew);
        bits = &head;
        n = 8 - skew < width ? 8 - skew : width;
      } else {
        n = width - i < kPiece ? width - i : kPiece;
        mb += kPiece / 8;
      }
      for (int32_t b = 0; b < (n + 7) / 8; b++) {
        const uint32_t byte = bits[b];
        for (int32_t k = 0; k < 8; k++) {
          // Whole pixel words here: the compiler spreads a byte's bits best so.
          const uint32_t on = (byte & (0x80u >> k)) ? ~0u : 0u;
          const uint32_t pair = (wt | wt << 16) & on, keep = ~(spare & on);
          memcpy(&hw.w[2 * (8 * b + k)], &pair, 4);
          memcpy(&hw.keep[2 * (8 * b + k)], &keep, 4);
        }
      }
      MixHalves(s + (ptrdiff_t)i * 4, d + (ptrdiff_t)i * 4, &hw, 2 * n);
    }
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
  if constexpr (L::kBytes == 4) {
    // s + (((d - s) * w) >> 8): d moved toward s by 256 - w.
    if (m) MaskedRows32<L::kSpare>(s, d, m, pl->maskBitX, width, height, sstep, dstep, maskBytesPerRow, 256 - w);
    else ConstRows32<L::kSpare>(s, d, width, height, sstep, dstep, 256 - w);
    return;
  }
  for (; height > 0; height--, s += sstep, d += dstep) {
    if (!m) {
      for (int32_t i = 0; i < width; i++)
        L::Store(d + i * L::kBytes, MixPixel<L>(L::Load(s + i * L::kBytes), L::Load(d + i * L::kBytes), w));
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
  if constexpr (L::kBytes == 4) AlphaRow32<L::kSpare>(s, d, a, width);
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

// Alpha bytes scaled by level / 255 as ScaleAlpha does (a * level / 255,
// truncated, kept to 8 bits). For levels 0..255 the division is
// (t + 1 + (t >> 8)) >> 8 of t = a * level, exact for every t up to 255 * 255.
KV_VECTOR_CLONES static void ScaleAlphaRow(const uint8_t *a, uint8_t *out, int32_t n, int32_t level) {
  if (level >= 0 && level <= 255) {
    for (int32_t i = 0; i < n; i++) {
      const uint16_t t = (uint16_t)(a[i] * level);
      out[i] = (uint8_t)((uint16_t)(t + 1 + (t >> 8)) >> 8);
    }
  } else {
    for (int32_t i = 0; i < n; i++) out[i] = (uint8_t)((int64_t)a[i] * level / 255);
  }
}

template <class L>
static void AlphaBitMapRows(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                            uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                            const uint8_t *alpha, int32_t alphaBytesPerRow, int32_t level) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t sstep = (ptrdiff_t)srcModulo * L::kBytes, dstep = (ptrdiff_t)dstModulo * L::kBytes;
  const uint8_t *s = src + sy * sstep + (ptrdiff_t)sx * L::kBytes;
  uint8_t *d = dst + dy * dstep + (ptrdiff_t)dx * L::kBytes;
  const uint8_t *a = alpha + (ptrdiff_t)ay * alphaBytesPerRow + ax;
  for (; height > 0; height--, s += sstep, d += dstep, a += alphaBytesPerRow) {
    if (level == 255) {
      AlphaRowByBlocks<L>(s, d, a, width);
      continue;
    }
    // Another level scales the row's alpha piece by piece on the way.
    uint8_t scaled[kPiece];
    for (int32_t i0 = 0; i0 < width; i0 += kPiece) {
      const int32_t n = width - i0 < kPiece ? width - i0 : kPiece;
      ScaleAlphaRow(a + i0, scaled, n, level);
      AlphaRowByBlocks<L>(s + (ptrdiff_t)i0 * L::kBytes, d + (ptrdiff_t)i0 * L::kBytes, scaled, n);
    }
  }
}

#define ALPHABITMAP_PARAMS                                                                                        \
  const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo, uint8_t *dst, int32_t dx, \
      int32_t dy, int32_t dstModulo, int32_t width, int32_t height, const uint8_t *alpha, int32_t alphaBytesPerRow, \
      PixelFormat format
#define ALPHABITMAP_ARGS src, sx, sy, ax, ay, srcModulo, dst, dx, dy, dstModulo, width, height, alpha, alphaBytesPerRow
void BltAlphaBitMapLevel32(ALPHABITMAP_PARAMS, int32_t level) {
  WithFormat32(format, [&](auto L) { AlphaBitMapRows<decltype(L)>(ALPHABITMAP_ARGS, level); });
}
void BltAlphaBitMapLevel24(ALPHABITMAP_PARAMS, int32_t level) {
  WithLayout24(format, [&](auto L) { AlphaBitMapRows<decltype(L)>(ALPHABITMAP_ARGS, level); });
}
void BltAlphaBitMapLevel16(ALPHABITMAP_PARAMS, int32_t level) {
  WithFormat16(format, [&](auto L) { AlphaBitMapRows<decltype(L)>(ALPHABITMAP_ARGS, level); });
}
void BltAlphaBitMap32(ALPHABITMAP_PARAMS) { BltAlphaBitMapLevel32(ALPHABITMAP_ARGS, format, 255); }
void BltAlphaBitMap24(ALPHABITMAP_PARAMS) { BltAlphaBitMapLevel24(ALPHABITMAP_ARGS, format, 255); }
void BltAlphaBitMap16(ALPHABITMAP_PARAMS) { BltAlphaBitMapLevel16(ALPHABITMAP_ARGS, format, 255); }
#undef ALPHABITMAP_PARAMS
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
          AlphaRow32<L::kSpare>(s ? s + (ptrdiff_t)i0 * 4 : (const uint8_t *)(void *)colourRow,
                                d + (ptrdiff_t)i0 * 4, a, n);
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
