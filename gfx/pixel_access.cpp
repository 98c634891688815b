// Single-pixel access, one-pixel lines and the conversions between a bitmap
// and an array of 32-bit colour words. There is no drawing surface behind a
// bitmap on this platform: these work on the pixels directly and check the
// coordinates themselves.
#include "gfx/bitmap.h"
#include "gfx/kernels.h"
#include "runtime/memory.h"
#include <cstring>

static bool MaskInside(const Mask *m, int32_t x, int32_t y) {
  if (!m->pixels || x < 0 || y < 0) return false;
  if ((int64_t)x >= (int64_t)m->bytesPerRow * 8) return false;
  if (m->width > 0 && x >= m->width) return false;
  if (m->height > 0 && y >= m->height) return false;
  return true;
}

static bool BitMapInside(const BitMap *bm, int32_t x, int32_t y) {
  return bm->pixels && x >= 0 && y >= 0 && x < bm->width && y < bm->height;
}

static uint8_t *PixelAddress(const BitMap *bm, int32_t x, int32_t y) {
  return bm->pixels + (ptrdiff_t)y * bm->bytesPerRow + (ptrdiff_t)x * bm->bytesPerPixel;
}

uint32_t ReadBitMapPixel(const void *record, int32_t x, int32_t y, int maskFlag) {
  if (!record) return 0;
  if (maskFlag) {
    const Mask *m = (const Mask *)record;
    if (!MaskInside(m, x, y)) return 0;
    return (uint32_t)MaskRowBit(m->pixels + (ptrdiff_t)y * m->bytesPerRow, x);
  }
  const BitMap *bm = (const BitMap *)record;
  if (!BitMapInside(bm, x, y)) return 0;
  uint8_t rgb[3] = {0, 0, 0};
  ReadPixelRGB(PixelAddress(bm, x, y), bm->format, rgb);
  return (uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2];
}

void WriteBitMapPixel(void *record, int32_t x, int32_t y, uint32_t value, int maskFlag) {
  if (!record) return;
  if (maskFlag) {
    Mask *m = (Mask *)record;
    if (!MaskInside(m, x, y)) return;
    ApplyMaskMode(&m->pixels[(ptrdiff_t)y * m->bytesPerRow + (x >> 3)], (uint8_t)(0x80 >> (x & 7)), value);
    return;
  }
  BitMap *bm = (BitMap *)record;
  if (!BitMapInside(bm, x, y)) return;
  uint8_t rgb[3] = {(uint8_t)(value >> 16), (uint8_t)(value >> 8), (uint8_t)value};
  WritePixelRGB(PixelAddress(bm, x, y), bm->format, rgb);
}

void DrawBitMapLine(BitMap *bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
  if (!bitmap || !bitmap->pixels) return;
  int32_t x = (int16_t)x1, y = (int16_t)y1, ex = (int16_t)x2, ey = (int16_t)y2;
  int32_t dx = ex > x ? ex - x : x - ex, sx = ex > x ? 1 : -1;
  int32_t dy = ey > y ? ey - y : y - ey, sy = ey > y ? 1 : -1;
  int32_t err = dx - dy;
  uint8_t c[3] = {(uint8_t)(rgb >> 16), (uint8_t)(rgb >> 8), (uint8_t)rgb};
  for (;;) {
    if (BitMapInside(bitmap, x, y)) WritePixelRGB(PixelAddress(bitmap, x, y), bitmap->format, c);
    if (x == ex && y == ey) break;
    int32_t e2 = 2 * err;
    if (e2 > -dy) { err -= dy; x += sx; }
    if (e2 < dx) { err += dx; y += sy; }
  }
}

uint32_t *BitMapToARGB(const BitMap *bitmap, int32_t width, int32_t height) {
  if (!bitmap || width < 0 || height < 0 || width > bitmap->width || height > bitmap->height) return nullptr;
  uint64_t bytes = (uint64_t)width * (uint64_t)height * 4;
  if (bytes == 0 || bytes > kMaxPlaneBytes) return nullptr;
  uint32_t *out = (uint32_t *)MemAlloc((size_t)bytes, 0);
  if (!out) return nullptr;
  uint32_t *o = out;
  for (int32_t j = 0; j < height; j++) {
    const uint8_t *row = bitmap->pixels + (ptrdiff_t)j * bitmap->bytesPerRow;
    if (bitmap->format == PIXFMT_BGRX32) {
      for (int32_t i = 0; i < width; i++) {
        uint32_t v;
        memcpy(&v, row + i * 4, 4);
        *o++ = __builtin_bswap32(v);
      }
    } else if (bitmap->format == PIXFMT_XRGB32) {
      memcpy(o, row, (size_t)width * 4);
      o += width;
    } else {
      for (int32_t i = 0; i < width; i++) {
        uint8_t c[3] = {0, 0, 0};
        ReadPixelRGB(row + (ptrdiff_t)i * bitmap->bytesPerPixel, bitmap->format, c);
        *o++ = (uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2];
      }
    }
  }
  return out;
}

int BitMapFromARGB(const uint32_t *words, int32_t keyColour, int32_t width, int32_t height, int32_t rowLength,
                   BitMap **outBitMap, Mask **outMask) {
  BitMap *bm = AllocBitMap(width, height);
  if (!bm) return 1000;
  for (int32_t j = 0; j < height; j++) {
    const uint32_t *src = words + (ptrdiff_t)j * rowLength;
    uint32_t *dst = (uint32_t *)(bm->pixels + (ptrdiff_t)j * bm->bytesPerRow);
    if (bm->format == PIXFMT_BGRX32)
      for (int32_t i = 0; i < width; i++) dst[i] = __builtin_bswap32(src[i]);
    else
      memcpy(dst, src, (size_t)width * 4);
  }
  Mask *mask = nullptr;
  if (keyColour != -1) {
    mask = AllocMask(bm, width, height, 1);
    if (!mask) {
      FreeBitMap(bm);
      return 1000;
    }
    MaskFromKeyColor32((const uint8_t *)words, mask->pixels, width, height, mask->bytesPerRow,
                       (uint32_t)keyColour & 0xFFFFFF, rowLength, 0xFFFFFF);
  }
  *outBitMap = bm;
  if (outMask) *outMask = mask;
  else FreeMask(mask);
  return 0;
}
