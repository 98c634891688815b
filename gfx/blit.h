// The low-level blits: copy, masked copy, template, rectangle fill, and the
// plane operations on masks. None of them clips: callers pass rectangles that
// lie inside both planes.
#pragma once
#include <cstdint>
#include "gfx/bitmap.h"

// Copies the rectangle pixel for pixel (raw: source and destination share
// pixel size and format; a destination of another pixel size is not drawn).
void BltBitMap(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
               int32_t width, int32_t height);
// Copies the source pixels whose bit (sx + i, sy + j) of `mask` is set.
void BltMask(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
             int32_t width, int32_t height, const Mask *mask);
// Writes colour 0xRRGGBB into every destination pixel whose template bit
// (sx + i, sy + j) is set.
void BltTemplate(const Mask *tmpl, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
                 int32_t width, int32_t height, uint32_t rgb);
// Fills the rectangle with colour 0xRRGGBB.
void RectFillBitMap(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb);
// Combines source mask bits into destination bits with a MaskMode; a mode
// above 5 changes nothing.
void BltMaskToMask(const Mask *src, int32_t sx, int32_t sy, Mask *dst, int32_t dx, int32_t dy,
                   int32_t width, int32_t height, int mode);
// Applies a MaskMode with an all-set source to a rectangle of the mask.
void FillMaskRect(Mask *mask, int32_t x, int32_t y, int32_t width, int32_t height, int mode);

// Kernel parameter blocks (row lengths of colour planes in pixels, of masks in
// bytes).
struct BltCopyParams {
  const uint8_t *src;
  uint8_t *dst;
  int32_t sx, sy, dx, dy, width, height;
  int32_t srcModulo, dstModulo;
};
struct BltMaskParams {
  const uint8_t *src;
  uint8_t *dst;
  const uint8_t *mask;
  int32_t sx, sy, dx, dy, width, height;
  int32_t srcModulo, maskBytesPerRow, dstModulo;
};
struct BltTemplateParams {
  const uint8_t *tmpl;
  uint8_t *dst;
  int32_t sx, sy, dx, dy, width, height;
  int32_t tmplBytesPerRow, dstModulo;
  uint32_t value;  // pixel value in the destination's layout (RGBToPixel)
};

// One kernel per call and pixel size.
void BltBitMap32(const BltCopyParams *p);
void BltBitMap24(const BltCopyParams *p);
void BltBitMap16(const BltCopyParams *p);
void BltMask32(const BltMaskParams *p);
void BltMask24(const BltMaskParams *p);
void BltMask16(const BltMaskParams *p);
void BltTemplate32(const BltTemplateParams *p);
void BltTemplate24(const BltTemplateParams *p);
void BltTemplate16(const BltTemplateParams *p);
void RectFill32(uint8_t *pixels, int32_t modulo, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value);
void RectFill24(uint8_t *pixels, int32_t modulo, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value);
void RectFill16(uint8_t *pixels, int32_t modulo, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value);
