// Scaling of a picture triple in 16.16 fixed point, nearest or smooth (bilinear), with the step
// tables kept between calls.
//
// Step tables: entry 0 = 0, entry k + 1 = step + (entry k & 0xFFFF). The low half of entry k is
// destination pixel k's fraction, the high half of entry k + 1 how far the source advances after
// pixel k; so destination column k reads source column floor(k * step / 65536) exactly.
#include "gfx/scale.h"

#include <cstring>

#include "gfx/pixel_layout.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#endif

// The two process-wide tables and their capacities (in destination pixels; a table holds
// capacity + 1 entries).
static uint32_t *gColSteps = nullptr;
static uint32_t *gRowSteps = nullptr;
static int32_t gColCapacity = 0;
static int32_t gRowCapacity = 0;

// Working rows of the colour loops, kept like the tables: the source column and fraction of
// every destination column, and two horizontally mixed source rows (smooth). Capacity in
// destination pixels.
static uint32_t *gScratch = nullptr;
static int32_t gScratchCapacity = 0;
enum { kScratchWordsPerPixel = 4 };

void FreeStepTables(void) {
  MemFree(gColSteps);
  MemFree(gRowSteps);
  MemFree(gScratch);
  gColSteps = gRowSteps = gScratch = nullptr;
  gColCapacity = gRowCapacity = gScratchCapacity = 0;
}

void FreeScaleTables(lua_State *L) {
  (void)L;
  FreeStepTables();
}

// Whether a table of n + 1 entries of `words` 32-bit words each stays within the size limit.
static bool StepTableFits(int32_t n, int words) { return n >= 0 && TableFits((uint64_t)n + 1, (uint64_t)words * 4u); }

// Grows one table to n + 1 entries; a failed growth leaves it empty. 0 or 1000.
static int GrowTable(uint32_t **table, int32_t *capacity, int32_t n) {
  if (n <= *capacity && *table) return 0;
  if (!StepTableFits(n, 1)) return 1000;
  MemFree(*table);
  *table = (uint32_t *)MemAlloc(((size_t)n + 1) * 4, 0);
  *capacity = *table ? n : 0;
  return *table ? 0 : 1000;
}

// step = trunc(from * 65536 / to) with both sizes taken as single-precision floats first. A
// step above 0xFFFF0000 (a shrink by 65536 or more) is held there so that entries cannot wrap.
static uint32_t StepFor(int32_t from, int32_t to) {
  const double s = (double)(float)from * 65536.0 / (double)(float)to;
  if (!(s > 0)) return 0;
  if (s > 4294901760.0) return 0xFFFF0000u;
  return (uint32_t)s;
}

static void FillSteps(uint32_t *table, int32_t n, uint32_t step) {
  uint32_t e = 0;
  table[0] = 0;
  for (int32_t k = 0; k < n; k++) {
    e = step + (e & 0xFFFF);
    table[k + 1] = e;
  }
}

int ScaleStepTables(ScaleParams *p) {
  if (GrowTable(&gColSteps, &gColCapacity, p->dstWidth) || GrowTable(&gRowSteps, &gRowCapacity, p->dstHeight))
    return 1000;
  if (p->dstWidth > gScratchCapacity || !gScratch) {
    if (!StepTableFits(p->dstWidth, kScratchWordsPerPixel)) return 1000;
    MemFree(gScratch);
    gScratch = (uint32_t *)MemAlloc(((size_t)p->dstWidth + 1) * kScratchWordsPerPixel * 4, 0);
    gScratchCapacity = gScratch ? p->dstWidth : 0;
    if (!gScratch) return 1000;
  }
  const int s = p->smooth ? 1 : 0;
  FillSteps(gColSteps, p->dstWidth, StepFor(p->srcWidth - s, p->dstWidth));
  FillSteps(gRowSteps, p->dstHeight, StepFor(p->srcHeight - s, p->dstHeight));
  p->colSteps = gColSteps;
  p->rowSteps = gRowSteps;
  return 0;
}

// ---- Plane helpers ------------------------------------------------------------------------

// a moved toward b by the 16-bit fraction f: a + ((b - a) f >> 16).
static inline int32_t Lerp16(int32_t a, int32_t b, int32_t f) { return a + (((b - a) * f) >> 16); }

// Bilinear step on one channel: the two rows mixed by fx (kept to 8 bits), then those by fy.
static inline int32_t Lerp2(int32_t tl, int32_t tr, int32_t bl, int32_t br, int32_t fx, int32_t fy) {
  return Lerp16(Lerp16(tl, tr, fx) & 255, Lerp16(bl, br, fx) & 255, fy);
}

// Nearest mask and alpha rows (the colour rows are done by the pixel loops). The destination
// mask row is written in whole bytes, bits past the width cleared.
static void NearestPlanesRow(const ScaleParams *p, int32_t sy, int32_t j) {
  const uint32_t *cs = p->colSteps;
  if (p->srcMask && p->dstMask) {
    const uint8_t *mrow = p->srcMask + (ptrdiff_t)sy * p->srcMaskBytesPerRow;
    uint8_t *out = p->dstMask + (ptrdiff_t)j * p->dstMaskBytesPerRow;
    int32_t x = p->srcMaskBitX;
    uint32_t acc = 0;
    int32_t k = 0;
    for (; k < p->dstWidth; k++) {
      acc = acc << 1 | (uint32_t)MaskRowBit(mrow, x);
      if ((k & 7) == 7) {
        out[k >> 3] = (uint8_t)acc;
        acc = 0;
      }
      x += (int32_t)(cs[k + 1] >> 16);
    }
    if (k & 7) out[k >> 3] = (uint8_t)(acc << (8 - (k & 7)));
  }
  if (p->srcAlpha && p->dstAlpha) {
    const uint8_t *arow = p->srcAlpha + (ptrdiff_t)sy * p->srcAlphaBytesPerRow;
    uint8_t *out = p->dstAlpha + (ptrdiff_t)j * p->dstAlphaBytesPerRow;
    int32_t x = 0;
    for (int32_t k = 0; k < p->dstWidth; k++) {
      out[k] = arow[x];
      x += (int32_t)(cs[k + 1] >> 16);
    }
  }
}

// Smooth alpha row (the mask, when there is one, is scaled nearest by NearestPlanesRow).
static void SmoothAlphaRow(const ScaleParams *p, int32_t sy, int32_t fy, int32_t j) {
  const uint8_t *a0 = p->srcAlpha + (ptrdiff_t)sy * p->srcAlphaBytesPerRow;
  const uint8_t *a1 = sy + 1 < p->srcHeight ? a0 + p->srcAlphaBytesPerRow : a0;
  uint8_t *out = p->dstAlpha + (ptrdiff_t)j * p->dstAlphaBytesPerRow;
  const uint32_t *cs = p->colSteps;
  int32_t x = 0;
  for (int32_t k = 0; k < p->dstWidth; k++) {
    const int32_t x1 = x + 1 < p->srcWidth ? x + 1 : x;
    out[k] = (uint8_t)Lerp2(a0[x], a0[x1], a1[x], a1[x1], (int32_t)(cs[k] & 0xFFFF), fy);
    x += (int32_t)(cs[k + 1] >> 16);
  }
}

// ---- Colour rows --------------------------------------------------------------------------

// Source column and fraction of every destination column, from the column table.
static void ColumnsFromSteps(const uint32_t *cs, int32_t width, int32_t *col, int32_t *frac) {
  int32_t x = 0;
  for (int32_t k = 0; k < width; k++) {
    col[k] = x;
    if (frac) frac[k] = (int32_t)(cs[k] & 0xFFFF);
    x += (int32_t)(cs[k + 1] >> 16);
  }
}

template <class S>
static void NearestRow(const uint8_t *srow, uint8_t *drow, const uint32_t *cs, int32_t width) {
  int32_t x = 0;
  for (int32_t k = 0; k < width; k++) {
    S::Store(drow + (ptrdiff_t)k * S::kBytes, S::Load(srow + (ptrdiff_t)x * S::kBytes));
    x += (int32_t)(cs[k + 1] >> 16);
  }
}

// 4-byte pixels through the column list (independent loads the processor can gather).
KV_VECTOR_CLONES static void GatherRow32(const uint32_t *__restrict srow, uint32_t *__restrict drow,
                                         const int32_t *__restrict col, int32_t width) {
  for (int32_t k = 0; k < width; k++) drow[k] = srow[col[k]];
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
// AVX2 form: eight destination pixels come from a window of at most 16 source pixels (every
// enlargement and reductions down to a half), picked from one or two loads by permutes; wider
// windows fall back to single loads.
__attribute__((target("avx2"))) static void GatherRow32Avx2(const uint32_t *srow, uint32_t *drow, const int32_t *col,
                                                             int32_t width, int32_t srcWidth) {
  int32_t k = 0;
  const __m256i seven = _mm256_set1_epi32(7);
  for (; k + 8 <= width; k += 8) {
    const int32_t base = col[k], span = col[k + 7] - base;
    const __m256i idx = _mm256_sub_epi32(_mm256_loadu_si256((const __m256i *)(col + k)), _mm256_set1_epi32(base));
    if (span < 8 && base + 8 <= srcWidth) {
      const __m256i v = _mm256_loadu_si256((const __m256i *)(srow + base));
      _mm256_storeu_si256((__m256i *)(drow + k), _mm256_permutevar8x32_epi32(v, idx));
    } else if (span < 16 && base + 16 <= srcWidth) {
      const __m256i lo = _mm256_loadu_si256((const __m256i *)(srow + base));
      const __m256i hi = _mm256_loadu_si256((const __m256i *)(srow + base + 8));
      const __m256i i7 = _mm256_and_si256(idx, seven);
      const __m256i a = _mm256_permutevar8x32_epi32(lo, i7), b = _mm256_permutevar8x32_epi32(hi, i7);
      _mm256_storeu_si256((__m256i *)(drow + k), _mm256_blendv_epi8(a, b, _mm256_cmpgt_epi32(idx, seven)));
    } else {
      for (int32_t i = 0; i < 8; i++) drow[k + i] = srow[col[k + i]];
    }
  }
  for (; k < width; k++) drow[k] = srow[col[k]];
}
// AVX-512 form: sixteen destination pixels from a window of at most 32 source pixels with one
// two-source permute; wider windows are gathered.
__attribute__((target("avx512f"))) static void GatherRow32Avx512(const uint32_t *srow, uint32_t *drow,
                                                                 const int32_t *col, int32_t width, int32_t srcWidth) {
  int32_t k = 0;
  for (; k + 16 <= width; k += 16) {
    const int32_t base = col[k], span = col[k + 15] - base;
    const __m512i ix = _mm512_loadu_si512((const void *)(col + k));
    if (span < 32 && base + 32 <= srcWidth) {
      const __m512i idx = _mm512_sub_epi32(ix, _mm512_set1_epi32(base));
      const __m512i lo = _mm512_loadu_si512((const void *)(srow + base));
      const __m512i hi = _mm512_loadu_si512((const void *)(srow + base + 16));
      _mm512_storeu_si512((void *)(drow + k), _mm512_permutex2var_epi32(lo, idx, hi));
    } else {
      _mm512_storeu_si512((void *)(drow + k), _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xFFFF, ix, (const void *)srow, 4));
    }
  }
  for (; k < width; k++) drow[k] = srow[col[k]];
}
// Processor features, read once (the feature data is set up first: this runs among the static
// constructors).
static bool CpuHas(int avx512) {
  __builtin_cpu_init();
  return avx512 ? __builtin_cpu_supports("avx512f") : __builtin_cpu_supports("avx2");
}
static const bool gHaveAvx2 = CpuHas(0);
static const bool gHaveAvx512 = CpuHas(1);
#endif

template <class S>
static void GatherRow(const uint8_t *srow, uint8_t *drow, const int32_t *col, int32_t width) {
  for (int32_t k = 0; k < width; k++)
    S::Store(drow + (ptrdiff_t)k * S::kBytes, S::Load(srow + (ptrdiff_t)col[k] * S::kBytes));
}

// Smooth, one source row mixed horizontally: out[k] = 0x00RRGGBB of
// (L + ((R - L) fx >> 16)) & 255 per channel, L and R the pixel at the column and the next one
// (the column itself at the right edge).
template <class L>
KV_VECTOR_CLONES static void MixRowH(const uint8_t *row, uint32_t *out, const int32_t *col, const int32_t *frac,
                                     int32_t width, int32_t srcWidth) {
  for (int32_t k = 0; k < width; k++) {
    const int32_t x = col[k], x1 = x + 1 < srcWidth ? x + 1 : x, fx = frac[k];
    const uint32_t a = L::ToRGB(L::Load(row + (ptrdiff_t)x * L::kBytes));
    const uint32_t b = L::ToRGB(L::Load(row + (ptrdiff_t)x1 * L::kBytes));
    uint32_t o = 0;
    for (int sh = 0; sh <= 16; sh += 8) {
      const int32_t l = (int32_t)(a >> sh & 255), r = (int32_t)(b >> sh & 255);
      o |= (uint32_t)(Lerp16(l, r, fx) & 255) << sh;
    }
    out[k] = o;
  }
}

// Smooth, vertical step: top + ((bottom - top) fy >> 16) per channel, stored in the layout.
template <class L>
KV_VECTOR_CLONES static void MixRowV(const uint32_t *top, const uint32_t *bottom, uint8_t *drow, int32_t fy,
                                     int32_t width) {
  for (int32_t k = 0; k < width; k++) {
    const uint32_t t = top[k], b = bottom[k];
    uint32_t o = 0;
    for (int sh = 0; sh <= 16; sh += 8) {
      const int32_t tv = (int32_t)(t >> sh & 255), bv = (int32_t)(b >> sh & 255);
      o |= (uint32_t)Lerp16(tv, bv, fy) << sh;
    }
    L::Store(drow + (ptrdiff_t)k * L::kBytes, L::FromRGB(o));
  }
}

template <class L>
static void SmoothRow(const uint8_t *r0, const uint8_t *r1, uint8_t *drow, const uint32_t *cs, int32_t width,
                      int32_t srcWidth, int32_t fy) {
  int32_t x = 0;
  for (int32_t k = 0; k < width; k++) {
    const int32_t x1 = x + 1 < srcWidth ? x + 1 : x;
    const int32_t fx = (int32_t)(cs[k] & 0xFFFF);
    const uint32_t tl = L::ToRGB(L::Load(r0 + (ptrdiff_t)x * L::kBytes));
    const uint32_t tr = L::ToRGB(L::Load(r0 + (ptrdiff_t)x1 * L::kBytes));
    const uint32_t bl = L::ToRGB(L::Load(r1 + (ptrdiff_t)x * L::kBytes));
    const uint32_t br = L::ToRGB(L::Load(r1 + (ptrdiff_t)x1 * L::kBytes));
    uint32_t out = 0;
    for (int sh = 16; sh >= 0; sh -= 8)
      out |= (uint32_t)Lerp2((int32_t)(tl >> sh & 255), (int32_t)(tr >> sh & 255), (int32_t)(bl >> sh & 255),
                             (int32_t)(br >> sh & 255), fx, fy)
             << sh;
    L::Store(drow + (ptrdiff_t)k * L::kBytes, L::FromRGB(out));
    x += (int32_t)(cs[k + 1] >> 16);
  }
}

template <class L, bool kSmooth>
static void ScaleColour(const ScaleParams *p) {
  const uint32_t *rs = p->rowSteps;
  const ptrdiff_t srcRow = (ptrdiff_t)p->srcModulo * L::kBytes, dstRow = (ptrdiff_t)p->dstModulo * L::kBytes;
  // The working rows exist when ScaleStepTables made them for at least this width.
  const bool fast = gScratch && gScratchCapacity >= p->dstWidth;
  int32_t *col = fast ? (int32_t *)gScratch : nullptr;
  int32_t *frac = fast ? col + p->dstWidth : nullptr;
  uint32_t *mixed[2] = {fast ? (uint32_t *)(frac + p->dstWidth) : nullptr,
                        fast ? (uint32_t *)(frac + p->dstWidth) + p->dstWidth : nullptr};
  int32_t mixedRow[2] = {-1, -1};
  if (fast) ColumnsFromSteps(p->colSteps, p->dstWidth, col, kSmooth ? frac : nullptr);
  const bool aligned32 = L::kBytes == 4 && (((uintptr_t)p->src | (uintptr_t)p->dst | (uintptr_t)srcRow | (uintptr_t)dstRow) & 3) == 0;
  int32_t sy = 0, prevSy = -1;
  for (int32_t j = 0; j < p->dstHeight; j++) {
    uint8_t *drow = p->dst + (ptrdiff_t)j * dstRow;
    const int32_t fy = (int32_t)(rs[j] & 0xFFFF);
    if constexpr (!kSmooth) {
      const uint8_t *srow = p->src + (ptrdiff_t)sy * srcRow;
      // Rows that read the same source row as the one before are copies of it.
      if (sy == prevSy) memcpy(drow, drow - dstRow, (size_t)p->dstWidth * L::kBytes);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
      else if (fast && aligned32 && gHaveAvx512)
        GatherRow32Avx512((const uint32_t *)srow, (uint32_t *)drow, col, p->dstWidth, p->srcWidth);
      else if (fast && aligned32 && gHaveAvx2)
        GatherRow32Avx2((const uint32_t *)srow, (uint32_t *)drow, col, p->dstWidth, p->srcWidth);
#endif
      else if (fast && aligned32) GatherRow32((const uint32_t *)srow, (uint32_t *)drow, col, p->dstWidth);
      else if (fast) GatherRow<L>(srow, drow, col, p->dstWidth);
      else NearestRow<L>(srow, drow, p->colSteps, p->dstWidth);
    } else {
      const uint8_t *r0 = p->src + (ptrdiff_t)sy * srcRow;
      const int32_t sy1 = sy + 1 < p->srcHeight ? sy + 1 : sy;
      if (fast) {
        // Horizontally mixed source rows are kept while later destination rows use them.
        auto rowOf = [&](int32_t y) -> const uint32_t * {
          for (int i = 0; i < 2; i++)
            if (mixedRow[i] == y) return mixed[i];
          const int i = mixedRow[0] == sy || mixedRow[0] == sy1 ? 1 : 0;
          MixRowH<L>(p->src + (ptrdiff_t)y * srcRow, mixed[i], col, frac, p->dstWidth, p->srcWidth);
          mixedRow[i] = y;
          return mixed[i];
        };
        const uint32_t *top = rowOf(sy);
        const uint32_t *bottom = fy ? rowOf(sy1) : top;
        MixRowV<L>(top, bottom, drow, fy, p->dstWidth);
      } else {
        SmoothRow<L>(r0, r0 + (sy1 - sy) * srcRow, drow, p->colSteps, p->dstWidth, p->srcWidth, fy);
      }
    }
    NearestPlanesRow(p, sy, j);
    if (kSmooth && p->srcAlpha && p->dstAlpha) SmoothAlphaRow(p, sy, fy, j);
    prevSy = sy;
    sy += (int32_t)(rs[j + 1] >> 16);
  }
}

void ScaleBitMap(const ScaleParams *p) {
  if (!p || p->dstWidth < 1 || p->dstHeight < 1 || p->srcWidth < 1 || p->srcHeight < 1) return;
  if (!p->src || !p->dst) {
    // No colour pixels: only the planes.
    int32_t sy = 0;
    for (int32_t j = 0; j < p->dstHeight; j++) {
      NearestPlanesRow(p, sy, j);
      if (p->smooth && p->srcAlpha && p->dstAlpha) SmoothAlphaRow(p, sy, (int32_t)(p->rowSteps[j] & 0xFFFF), j);
      sy += (int32_t)(p->rowSteps[j + 1] >> 16);
    }
    return;
  }
  if (p->bytesPerPixel != PixelFormatBytes(p->format)) return;
  if (!p->smooth) {
    switch (p->bytesPerPixel) {
      case 4: ScaleColour<PixSize32, false>(p); break;
      case 3: ScaleColour<PixSize24, false>(p); break;
      case 2: ScaleColour<PixSize16, false>(p); break;
    }
    return;
  }
  WithFormat(p->format, [&](auto layout) { ScaleColour<decltype(layout), true>(p); });
}

// ---- The triple -------------------------------------------------------------------------

// Colour planes of the block from the locked source (at its corner (sx, sy)) and destination;
// format and pixel size are the source's.
static void SetColourPlanes(ScaleParams *p, const BitMapInfo *si, const BitMapInfo *di, int32_t sx, int32_t sy) {
  p->src = si->pixels + ((ptrdiff_t)sy * si->modulo + sx) * si->bytesPerPixel;
  p->dst = di->pixels;
  p->srcModulo = si->modulo;
  p->dstModulo = di->modulo;
  p->format = si->format;
  p->bytesPerPixel = si->bytesPerPixel;
}

int ScaleBitMapTriple(const BitMap *src, const Mask *srcMask, const AlphaChannel *srcAlpha, int32_t sx,
                      int32_t sy, BitMap *target, int32_t srcWidth, int32_t srcHeight, int32_t newWidth,
                      int32_t newHeight, int smooth, BitMap **outBitMap, Mask **outMask,
                      AlphaChannel **outAlpha) {
  if (newWidth < 1 || newHeight < 1 || srcWidth < 1 || srcHeight < 1) return 0;
  if (sx < 0 || sy < 0) return 1055;
  // The source rectangle must lie inside every plane that is read.
  if (!TripleRectInside(src, srcMask, srcAlpha, sx, sy, srcWidth, srcHeight)) return 1055;

  ScaleParams p;
  memset(&p, 0, sizeof p);
  p.srcWidth = srcWidth;
  p.srcHeight = srcHeight;
  p.dstWidth = newWidth;
  p.dstHeight = newHeight;
  p.smooth = smooth ? 1 : 0;
  if (ScaleStepTables(&p)) return 1000;

  if (target) {
    if (!src) return 0;
    if (target->width < newWidth || target->height < newHeight || target->format != src->format) return 1055;
    BitMapInfo si, di;
    if (!LockBitMapPair(src, &si, target, &di)) return 1152;
    SetColourPlanes(&p, &si, &di, sx, sy);
    ScaleBitMap(&p);
    UnLockBitMap();
    UnLockBitMap();
    return 0;
  }

  BitMap *nb = nullptr;
  Mask *nm = nullptr;
  AlphaChannel *na = nullptr;
  if ((src && !(nb = AllocBitMap(newWidth, newHeight))) || (srcMask && !(nm = AllocMask(nb, newWidth, newHeight, 0))) ||
      (srcAlpha && !(na = AllocAlphaChannel(newWidth, newHeight, 0)))) {
    FreeTriple(nb, nm, na);
    return 1000;
  }
  if (srcMask) {
    p.srcMask = srcMask->pixels + (ptrdiff_t)sy * srcMask->bytesPerRow;
    p.srcMaskBitX = sx;
    p.srcMaskBytesPerRow = srcMask->bytesPerRow;
    p.dstMask = nm->pixels;
    p.dstMaskBytesPerRow = nm->bytesPerRow;
  }
  if (srcAlpha) {
    p.srcAlpha = srcAlpha->pixels + (ptrdiff_t)sy * srcAlpha->bytesPerRow + sx;
    p.srcAlphaBytesPerRow = srcAlpha->bytesPerRow;
    p.dstAlpha = na->pixels;
    p.dstAlphaBytesPerRow = na->bytesPerRow;
  }
  p.srcY = sy;
  if (src) {
    BitMapInfo si, di;
    if (!LockBitMapPair(src, &si, nb, &di)) {
      FreeTriple(nb, nm, na);
      return 1152;
    }
    SetColourPlanes(&p, &si, &di, sx, sy);
    if (si.format == di.format) {
      ScaleBitMap(&p);
    } else {
      // A source of another layout than the new bitmap's: the same sampling, converting each
      // pixel through its channels (slow, but such sources are rare).
      ScaleParams q = p;
      q.src = nullptr;  // planes only
      ScaleBitMap(&q);
      const uint32_t *rs = p.rowSteps, *cs = p.colSteps;
      int32_t y = 0;
      for (int32_t j = 0; j < newHeight; j++) {
        const int32_t y1 = y + 1 < srcHeight ? y + 1 : y, fy = (int32_t)(rs[j] & 0xFFFF);
        int32_t x = 0;
        for (int32_t k = 0; k < newWidth; k++) {
          const int32_t x1 = x + 1 < srcWidth ? x + 1 : x, fx = (int32_t)(cs[k] & 0xFFFF);
          uint8_t c[4][3], out[3];
          ReadPixelRGB(p.src + ((ptrdiff_t)y * p.srcModulo + x) * p.bytesPerPixel, p.format, c[0]);
          if (smooth) {
            ReadPixelRGB(p.src + ((ptrdiff_t)y * p.srcModulo + x1) * p.bytesPerPixel, p.format, c[1]);
            ReadPixelRGB(p.src + ((ptrdiff_t)y1 * p.srcModulo + x) * p.bytesPerPixel, p.format, c[2]);
            ReadPixelRGB(p.src + ((ptrdiff_t)y1 * p.srcModulo + x1) * p.bytesPerPixel, p.format, c[3]);
            for (int ch = 0; ch < 3; ch++) out[ch] = (uint8_t)Lerp2(c[0][ch], c[1][ch], c[2][ch], c[3][ch], fx, fy);
          } else {
            memcpy(out, c[0], 3);
          }
          WritePixelRGB(p.dst + ((ptrdiff_t)j * p.dstModulo + k) * 4, di.format, out);
          x += (int32_t)(cs[k + 1] >> 16);
        }
        y += (int32_t)(rs[j + 1] >> 16);
      }
    }
    UnLockBitMap();
    UnLockBitMap();
  } else {
    ScaleBitMap(&p);
  }
  HandOutTriple(nb, nm, na, outBitMap, outMask, outAlpha);
  return 0;
}
