// The four low-level blits (copy, masked copy, template, fill), each written
// once over the pixel size, and their front ends.
#include "gfx/blit.h"
#include <cstdio>
#include <cstring>
#include <cwchar>
#include "gfx/pixel_layout.h"

// The compiler's full optimisation (vectorisation with epilogues) for these
// inner loops, also in builds that optimise less.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#endif

// ---- Kernels ---------------------------------------------------------------

template <class P>
static void CopyRect(const BltCopyParams *p) {
  if (p->width <= 0 || p->height <= 0) return;
  const ptrdiff_t sstep = (ptrdiff_t)p->srcModulo * P::kBytes, dstep = (ptrdiff_t)p->dstModulo * P::kBytes;
  const uint8_t *s = p->src + p->sy * sstep + (ptrdiff_t)p->sx * P::kBytes;
  uint8_t *d = p->dst + p->dy * dstep + (ptrdiff_t)p->dx * P::kBytes;
  size_t rowBytes = (size_t)p->width * P::kBytes;
  int32_t h = p->height;
  if (p->width == p->srcModulo && p->width == p->dstModulo) {  // whole rows: one block
    memmove(d, s, rowBytes * (size_t)h);
    return;
  }
  // A copy inside one plane to a lower position runs bottom up so that rows
  // are read before they are overwritten; memmove takes care of each row.
  if ((uintptr_t)d > (uintptr_t)s && (uintptr_t)d < (uintptr_t)s + (uintptr_t)(h * sstep)) {
    s += (h - 1) * sstep;
    d += (h - 1) * dstep;
    for (; h > 0; h--, s -= sstep, d -= dstep) memmove(d, s, rowBytes);
    return;
  }
  for (; h > 0; h--, s += sstep, d += dstep) memmove(d, s, rowBytes);
}

// Masked copy of one row. The mask bit of pixel i is bit (mx + i); the row is
// walked as a head up to the next mask byte boundary, whole mask bytes (a full
// byte copies eight pixels at once, an empty one skips them) and a tail.
// Mask byte -> eight bytes, 0xFF for each set bit, in pixel order.
struct BitBytesTable {
  uint64_t v[256];
  constexpr BitBytesTable() : v() {
    for (int b = 0; b < 256; b++)
      for (int k = 0; k < 8; k++)
        if (b & (0x80 >> k)) v[b] |= (uint64_t)0xFF << (8 * k);
  }
};
static constexpr BitBytesTable kBitBytes;

// n pixels where the per-pixel byte mask is 0xFF; without branches, so that
// the compiler turns the selects into vector blends.
template <class P>
static inline void SelectRun(uint8_t *d, const uint8_t *s, const uint8_t *mb, int32_t n) {
  if constexpr (P::kBytes == 3) {
    for (int32_t i = 0; i < n; i++)
      if (mb[i]) memcpy(d + i * 3, s + i * 3, 3);
  } else {
    typedef typename P::Raw Raw;
    for (int32_t i = 0; i < n; i++) {
      const Raw m = (Raw)(int8_t)mb[i];
      Raw sv, dv;
      memcpy(&sv, s + i * P::kBytes, P::kBytes);
      memcpy(&dv, d + i * P::kBytes, P::kBytes);
      dv = (Raw)((sv & m) | (dv & (Raw)~m));
      memcpy(d + i * P::kBytes, &dv, P::kBytes);
    }
  }
}

// Masked copy of one row. The mask bit of pixel i is bit (mx + i); the row is
// walked as a head up to the next mask byte boundary, runs of up to eight
// whole mask bytes (all set: a plain copy, all clear: skipped, else selected
// pixel by pixel: 4-byte pixels eight at a time with a lane mask made from the
// mask byte, others through a spread of one byte a pixel) and a tail.
template <class P>
KV_VECTOR_CLONES static void MaskedRow(const uint8_t *s, uint8_t *d, const uint8_t *mrow, int32_t mx, int32_t width) {
  const uint8_t *m = mrow + (mx >> 3);
  int32_t i = 0;
  int32_t head = (8 - (mx & 7)) & 7;
  if (head > width) head = width;
  if (head) {
    uint8_t bit = (uint8_t)(0x80 >> (mx & 7));
    for (; i < head; i++, bit >>= 1)
      if (*m & bit) memcpy(d + i * P::kBytes, s + i * P::kBytes, P::kBytes);
    m++;
  }
  uint8_t spread[64];
  while (i + 8 <= width) {
    int32_t nb = (width - i) >> 3;
    if (nb > 8) nb = 8;
    uint64_t word = 0;
    memcpy(&word, m, (size_t)nb);
    const uint64_t full = nb == 8 ? ~(uint64_t)0 : (((uint64_t)1 << (8 * nb)) - 1);
    if (word == full) {
      // Extend over the following all-set mask bytes and copy the run at once.
      int32_t run = nb;
      uint64_t next;
      while (i + (run + 8) * 8 <= width && (memcpy(&next, m + run, 8), next == ~(uint64_t)0)) run += 8;
      while (i + (run + 1) * 8 <= width && m[run] == 0xFF) run++;
      memcpy(d + i * P::kBytes, s + i * P::kBytes, (size_t)run * 8 * P::kBytes);
      nb = run;
    } else if (word != 0) {
      if constexpr (P::kBytes == 4) {
        typedef uint32_t V8 __attribute__((vector_size(32)));
        const V8 bits = {0x80, 0x40, 0x20, 0x10, 8, 4, 2, 1};
        for (int32_t q = 0; q < nb; q++) {
          uint8_t *dq = d + (i + 8 * q) * 4;
          const uint8_t *sq = s + (i + 8 * q) * 4;
          V8 sv, dv;
          memcpy(&sv, sq, 32);
          memcpy(&dv, dq, 32);
          const V8 sel = (V8)((V8{} + (uint32_t)m[q]) & bits) != 0;
          dv = (sv & sel) | (dv & ~sel);
          memcpy(dq, &dv, 32);
        }
      } else {
        for (int32_t q = 0; q < nb; q++) memcpy(spread + 8 * q, &kBitBytes.v[m[q]], 8);
        SelectRun<P>(d + i * P::kBytes, s + i * P::kBytes, spread, nb * 8);
      }
    }
    i += nb * 8;
    m += nb;
  }
  if (i < width) {
    uint8_t bit = 0x80;
    for (; i < width; i++, bit >>= 1)
      if (*m & bit) memcpy(d + i * P::kBytes, s + i * P::kBytes, P::kBytes);
  }
}

template <class P>
static void MaskRect(const BltMaskParams *p) {
  if (p->width <= 0 || p->height <= 0) return;
  const ptrdiff_t sstep = (ptrdiff_t)p->srcModulo * P::kBytes, dstep = (ptrdiff_t)p->dstModulo * P::kBytes;
  const uint8_t *s = p->src + p->sy * sstep + (ptrdiff_t)p->sx * P::kBytes;
  uint8_t *d = p->dst + p->dy * dstep + (ptrdiff_t)p->dx * P::kBytes;
  const uint8_t *m = p->mask + (ptrdiff_t)p->sy * p->maskBytesPerRow;
  for (int32_t h = p->height; h > 0; h--, s += sstep, d += dstep, m += p->maskBytesPerRow)
    MaskedRow<P>(s, d, m, p->sx, p->width);
}

template <class P>
static void TemplateRect(const BltTemplateParams *p) {
  if (p->width <= 0 || p->height <= 0) return;
  const ptrdiff_t dstep = (ptrdiff_t)p->dstModulo * P::kBytes;
  uint8_t *d = p->dst + p->dy * dstep + (ptrdiff_t)p->dx * P::kBytes;
  const uint8_t *t = p->tmpl + (ptrdiff_t)p->sy * p->tmplBytesPerRow;
  const typename P::Raw v = (typename P::Raw)p->value;
  for (int32_t h = p->height; h > 0; h--, d += dstep, t += p->tmplBytesPerRow) {
    MaskBitWalker w;
    w.Start(t, p->sx);
    uint8_t *dd = d;
    for (int32_t i = 0; i < p->width; i++, dd += P::kBytes, w.Next())
      if (w.Test()) P::Store(dd, v);
  }
}

// Fills larger than this many bytes in all (with rows of at least
// kStringFillRowBytes) use the processor's string store where there is one.
constexpr uint64_t kStringFillBytes = 8u << 20;
constexpr uint64_t kStringFillRowBytes = 1024;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KV_STRING_FILL 1
// `count` 32-bit values from the 4-byte aligned `d` on with `rep stosq`.
// Out of the cache it writes whole lines without reading them first, which
// vector stores cannot: about a quarter faster on pictures larger than the
// cache, as fast as memset. In the cache its start-up cost makes it slower
// on short rows, hence the size limits above.
static inline void StringFill32(uint8_t *d, uint32_t value, size_t count) {
  if ((uintptr_t)d & 4) {
    memcpy(d, &value, 4);
    d += 4;
    count--;
  }
  size_t words = count >> 1;
  const uint64_t pair = (uint64_t)value * 0x100000001ull;
  __asm__ volatile("rep stosq" : "+D"(d), "+c"(words) : "a"(pair) : "memory");
  if (count & 1) memcpy(d, &value, 4);
}
#endif

template <class P>
static void FillRect(uint8_t *pixels, int32_t modulo, int32_t x, int32_t y, int32_t width, int32_t height,
                     uint32_t value) {
  if (width <= 0 || height <= 0) return;
  const ptrdiff_t step = (ptrdiff_t)modulo * P::kBytes;
  uint8_t *d = pixels + y * step + (ptrdiff_t)x * P::kBytes;
  if constexpr (P::kBytes == 4) {
    // wmemset is the C library's tuned fill of 32-bit units (wchar_t is 32
    // bits here); rows that are not 4-byte aligned take the plain loop.
    static_assert(sizeof(wchar_t) == 4, "32-bit fill through wmemset");
    if (width == modulo) {  // whole rows: one block
      width *= height;
      height = 1;
    }
    const bool bytewise = (value & 0xFF) * 0x01010101u == value;  // e.g. black in every format
#ifdef KV_STRING_FILL
    const bool large = (uint64_t)width * 4 * (uint64_t)height >= kStringFillBytes &&
                       (uint64_t)width * 4 >= kStringFillRowBytes;
#endif
    for (; height > 0; height--, d += step) {
      if (bytewise) {
        memset(d, (int)(value & 0xFF), (size_t)width * 4);
#ifdef KV_STRING_FILL
      } else if (large && (uintptr_t)d % 4 == 0) {
        StringFill32(d, value, (size_t)width);
#endif
      } else if ((uintptr_t)d % alignof(wchar_t) == 0) {
        wmemset((wchar_t *)(void *)d, (wchar_t)value, (size_t)width);
      } else {
        for (int32_t i = 0; i < width; i++) P::Store(d + i * 4, value);
      }
    }
  } else {
    // Build the first row, then copy it into the others.
    uint8_t *first = d;
    for (int32_t i = 0; i < width; i++) P::Store(first + i * P::kBytes, (typename P::Raw)value);
    for (d += step, height--; height > 0; height--, d += step) memcpy(d, first, (size_t)width * P::kBytes);
  }
}

void BltBitMap32(const BltCopyParams *p) { CopyRect<PixSize32>(p); }
void BltBitMap24(const BltCopyParams *p) { CopyRect<PixSize24>(p); }
void BltBitMap16(const BltCopyParams *p) { CopyRect<PixSize16>(p); }
void BltMask32(const BltMaskParams *p) { MaskRect<PixSize32>(p); }
void BltMask24(const BltMaskParams *p) { MaskRect<PixSize24>(p); }
void BltMask16(const BltMaskParams *p) { MaskRect<PixSize16>(p); }
void BltTemplate32(const BltTemplateParams *p) { TemplateRect<PixSize32>(p); }
void BltTemplate24(const BltTemplateParams *p) { TemplateRect<PixSize24>(p); }
void BltTemplate16(const BltTemplateParams *p) { TemplateRect<PixSize16>(p); }
void RectFill32(uint8_t *pixels, int32_t modulo, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) {
  FillRect<PixSize32>(pixels, modulo, x, y, width, height, value);
}
void RectFill24(uint8_t *pixels, int32_t modulo, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) {
  FillRect<PixSize24>(pixels, modulo, x, y, width, height, value);
}
void RectFill16(uint8_t *pixels, int32_t modulo, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) {
  FillRect<PixSize16>(pixels, modulo, x, y, width, height, value);
}

// ---- Front ends ------------------------------------------------------------

void BltBitMap(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t width,
               int32_t height) {
  if (!dst) {
    fputs("ERROR! BLTBITMAP() CALLED WITH DST=NULL!\n", stdout);
    return;
  }
  BitMapInfo si, di;
  if (!LockBitMap(src, &si)) return;
  LockBitMap(dst, &di);
  // Raw copy: a destination of another pixel size would be overrun.
  if (si.bytesPerPixel == di.bytesPerPixel) {
    BltCopyParams p = {si.pixels, di.pixels, sx, sy, dx, dy, width, height, si.modulo, di.modulo};
    switch (si.bytesPerPixel) {
      case 4: BltBitMap32(&p); break;
      case 3: BltBitMap24(&p); break;
      case 2: BltBitMap16(&p); break;
    }
  }
  UnLockBitMap();
  UnLockBitMap();
}

void BltMask(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t width,
             int32_t height, const Mask *mask) {
  if (!dst) {
    fputs("ERROR! BLTMASK() CALLED WITH DST=NULL!\n", stdout);
    return;
  }
  BitMapInfo si, di;
  if (!mask || !LockBitMap(src, &si)) return;
  LockBitMap(dst, &di);
  if (si.bytesPerPixel == di.bytesPerPixel) {
    BltMaskParams p = {si.pixels, di.pixels, mask->pixels, sx, sy, dx, dy, width, height,
                       si.modulo, mask->bytesPerRow, di.modulo};
    switch (si.bytesPerPixel) {
      case 4: BltMask32(&p); break;
      case 3: BltMask24(&p); break;
      case 2: BltMask16(&p); break;
    }
  }
  UnLockBitMap();
  UnLockBitMap();
}

void BltTemplate(const Mask *tmpl, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t width,
                 int32_t height, uint32_t rgb) {
  if (!dst) {
    fputs("ERROR! BLTTEMPLATE() CALLED WITH DST=NULL!\n", stdout);
    return;
  }
  BitMapInfo di;
  if (!tmpl || !LockBitMap(dst, &di)) return;
  BltTemplateParams p = {tmpl->pixels, di.pixels, sx, sy, dx, dy, width, height,
                         tmpl->bytesPerRow, di.modulo, RGBToPixel(rgb, di.format)};
  switch (di.bytesPerPixel) {
    case 4: BltTemplate32(&p); break;
    case 3: BltTemplate24(&p); break;
    case 2: BltTemplate16(&p); break;
  }
  UnLockBitMap();
}

void RectFillBitMap(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb) {
  BitMapInfo di;
  if (!LockBitMap(bitmap, &di)) return;
  uint32_t v = RGBToPixel(rgb, di.format);
  switch (di.bytesPerPixel) {
    case 4: RectFill32(di.pixels, di.modulo, x, y, width, height, v); break;
    case 3: RectFill24(di.pixels, di.modulo, x, y, width, height, v); break;
    case 2: RectFill16(di.pixels, di.modulo, x, y, width, height, v); break;
  }
  UnLockBitMap();
}

// ---- Mask planes -----------------------------------------------------------

// The mask mode fixed at compile time so the loop has no branch on it.
template <int kMode>
static void MaskToMaskRows(const uint8_t *srow, int32_t sx, int32_t srcBytesPerRow, uint8_t *drow, int32_t dx,
                           int32_t dstBytesPerRow, int32_t width, int32_t height) {
  for (; height > 0; height--, srow += srcBytesPerRow, drow += dstBytesPerRow) {
    MaskBitWalker s;
    MaskBitCursor d;
    s.Start(srow, sx);
    d.Start(drow, dx);
    for (int32_t i = 0; i < width; i++, s.Next(), d.Next()) {
      const bool sb = s.Test();
      switch (kMode) {
        case MASKOR: if (sb) d.Set(); break;
        case MASKINVISIBLE: if (sb) d.Clear(); break;
        case MASKVANILLACOPY: d.Put(sb); break;
        case MASKXOR: if (sb) d.Toggle(); break;
        case MASKAND: if (!sb) d.Clear(); break;
      }
    }
  }
}

void BltMaskToMask(const Mask *src, int32_t sx, int32_t sy, Mask *dst, int32_t dx, int32_t dy, int32_t width,
                   int32_t height, int mode) {
  if (!src || !dst || width <= 0 || height <= 0 || mode < 0 || mode > 5) return;
  const uint8_t *srow = src->pixels + (ptrdiff_t)sy * src->bytesPerRow;
  uint8_t *drow = dst->pixels + (ptrdiff_t)dy * dst->bytesPerRow;
  const int32_t sbpr = src->bytesPerRow, dbpr = dst->bytesPerRow;
  switch (mode) {
    case MASKVISIBLE:
    case MASKOR: MaskToMaskRows<MASKOR>(srow, sx, sbpr, drow, dx, dbpr, width, height); break;
    case MASKINVISIBLE: MaskToMaskRows<MASKINVISIBLE>(srow, sx, sbpr, drow, dx, dbpr, width, height); break;
    case MASKVANILLACOPY: MaskToMaskRows<MASKVANILLACOPY>(srow, sx, sbpr, drow, dx, dbpr, width, height); break;
    case MASKXOR: MaskToMaskRows<MASKXOR>(srow, sx, sbpr, drow, dx, dbpr, width, height); break;
    case MASKAND: MaskToMaskRows<MASKAND>(srow, sx, sbpr, drow, dx, dbpr, width, height); break;
  }
}

void FillMaskRect(Mask *mask, int32_t x, int32_t y, int32_t width, int32_t height, int mode) {
  if (!mask || width <= 0 || height <= 0) return;
  int op;  // 0 set, 1 clear, 2 toggle
  switch (mode) {
    case MASKVISIBLE: case MASKVANILLACOPY: case MASKOR: op = 0; break;
    case MASKINVISIBLE: op = 1; break;
    case MASKXOR: op = 2; break;
    default: return;
  }
  uint8_t *row = mask->pixels + (ptrdiff_t)y * mask->bytesPerRow;
  const int32_t first = x >> 3, last = (x + width - 1) >> 3;
  const uint8_t headBits = (uint8_t)(0xFF >> (x & 7));
  const uint8_t tailBits = (uint8_t)(0xFF << (7 - ((x + width - 1) & 7)));
  for (int32_t j = 0; j < height; j++, row += mask->bytesPerRow) {
    for (int32_t b = first; b <= last; b++) {
      uint8_t bits = 0xFF;
      if (b == first) bits &= headBits;
      if (b == last) bits &= tailBits;
      if (op == 0) row[b] |= bits;
      else if (op == 1) row[b] &= (uint8_t)~bits;
      else row[b] ^= bits;
    }
  }
}
