// Test pictures of any pixel format: a bitmap whose rows are wider than its
// width (so a kernel that strays past its rectangle shows), filled with a
// pattern, with helpers to read channels through the format's converter.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>
#include "gfx/bitmap.h"
#include "gfx/pixels.h"
#include "runtime/memory.h"

// A bitmap of `format` with `pad` spare pixels at the end of every row.
inline BitMap *MakeTestBitMap(PixelFormat format, int32_t width, int32_t height, int32_t pad = 3) {
  BitMap *bm = (BitMap *)MemAlloc(sizeof(BitMap), 1);
  bm->width = width;
  bm->height = height;
  bm->bytesPerPixel = PixelFormatBytes(format);
  bm->format = format;
  bm->bytesPerRow = (width + pad) * bm->bytesPerPixel;
  bm->pixels = (uint8_t *)MemAlloc((size_t)bm->bytesPerRow * height, 1);
  return bm;
}
inline void FreeTestBitMap(BitMap *bm) {
  MemFree(bm->pixels);
  MemFree(bm);
}
inline uint8_t *PixelPtr(const BitMap *bm, int32_t x, int32_t y) {
  return bm->pixels + (ptrdiff_t)y * bm->bytesPerRow + (ptrdiff_t)x * bm->bytesPerPixel;
}
inline uint32_t GetRGB(const BitMap *bm, int32_t x, int32_t y) {
  uint8_t c[3];
  ReadPixelRGB(PixelPtr(bm, x, y), bm->format, c);
  return (uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2];
}
inline void SetRGB(BitMap *bm, int32_t x, int32_t y, uint32_t rgb) {
  uint8_t c[3] = {(uint8_t)(rgb >> 16), (uint8_t)(rgb >> 8), (uint8_t)rgb};
  WritePixelRGB(PixelPtr(bm, x, y), bm->format, c);
}
// A colour that survives the format's narrowing unchanged.
inline uint32_t Representable(uint32_t rgb, PixelFormat format) { return PixelToRGB(RGBToPixel(rgb, format), format); }
// Fills the whole bitmap (padding included) with a deterministic pattern.
inline void FillPattern(BitMap *bm, uint32_t seed = 1) {
  uint32_t s = seed * 2654435761u + 12345;
  for (int32_t y = 0; y < bm->height; y++)
    for (int32_t x = 0; x < bm->bytesPerRow / bm->bytesPerPixel; x++) {
      s = s * 1103515245u + 12345;
      SetRGB(bm, x, y, (s >> 8) & 0xFFFFFF);
    }
}
inline std::vector<uint8_t> Snapshot(const BitMap *bm) {
  return std::vector<uint8_t>(bm->pixels, bm->pixels + (size_t)bm->bytesPerRow * bm->height);
}
inline bool MaskBit(const Mask *m, int32_t x, int32_t y) {
  return (m->pixels[(ptrdiff_t)y * m->bytesPerRow + (x >> 3)] >> (7 - (x & 7))) & 1;
}
inline void SetMaskBit(Mask *m, int32_t x, int32_t y, bool on) {
  uint8_t &b = m->pixels[(ptrdiff_t)y * m->bytesPerRow + (x >> 3)];
  if (on) b |= (uint8_t)(0x80 >> (x & 7));
  else b &= (uint8_t)~(0x80 >> (x & 7));
}

// Every pixel format, for parameterised tests.
inline std::vector<PixelFormat> AllFormats() {
  std::vector<PixelFormat> v;
  for (PixelFormat f = 0; f < PIXFMT_COUNT; f++) v.push_back(f);
  return v;
}
