// Per-pixel kernels: colour (invert, tint, gray, replace, key mask), 8-bit
// plane and mask kernels, blend, gradient and alpha blits, flood fill, flip,
// and ISqrt. Each colour kernel exists once per pixel size (32 = 4 bytes,
// 24 = 3 bytes, 16 = 2 bytes); the *Rect front ends at the bottom pick the
// member from a locked bitmap's BitMapInfo.
//
// Kernels never allocate (except the flood fill's seed stack), never clip and
// touch nothing outside the rectangle they are given: width pixels a row,
// rows `modulo` pixels apart. A width or height below 1 changes nothing.
// Colours are 0xRRGGBB unless a kernel says "pixel value" (the value in the
// plane's own layout, see RGBToPixel). Channel work on 32-bit pixels stores
// the result with the spare byte 0; 16-bit pixels are widened by shifting and
// narrowed to the top bits of each channel.
#pragma once
#include <cstdint>
#include "gfx/bitmap.h"
#include "gfx/pixels.h"

// ---- Colour kernels --------------------------------------------------------

// Bitwise complement of every pixel: the whole 32-bit word (spare byte
// included), the three bytes, or the 16-bit word. `pixels` is the first pixel.
void InvertPixels32(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo);
void InvertPixels24(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo);
void InvertPixels16(uint8_t *pixels, int32_t width, int32_t height, int32_t modulo);
// Complements every byte of `height` whole rows of a mask or alpha plane.
void InvertPlane(uint8_t *plane, int32_t height, int32_t bytesPerRow);

// Each channel c becomes c + (((t - c) * level) >> 8), t the colour's channel
// (level 0 keeps, 256 gives the colour). `pixels` is the plane's origin; the
// rectangle starts at (x, y). TintPixels16 takes its colour as an RGB565 word
// (the colour reaches the 16-bit kernel already narrowed).
void TintPixels32(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                  int32_t level, int32_t modulo, PixelFormat format);
void TintPixels24(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                  int32_t level, int32_t modulo, PixelFormat format);
void TintPixels16(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb565,
                  int32_t level, int32_t modulo, PixelFormat format);

// gray = trunc(R * 0.299 + G * 0.587 + B * 0.114) into all three channels.
void BrushToGray32(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo);
void BrushToGray24(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo);
void BrushToGray16(uint8_t *pixels, int32_t width, int32_t height, PixelFormat format, int32_t modulo);

// `pairs`: pixel values (old, new, old, new ..., 0xFFFFFFFF). 32-bit compares
// (pixel & compareMask) and 16-bit the word, each against the pixel's current
// value (pairs chain: red->green, green->blue turns red blue); 24-bit compares
// the value the pixel had before any replacement (the last matching pair wins).
void ReplaceColors32(int32_t width, int32_t height, const uint32_t *pairs, uint8_t *pixels, int32_t modulo,
                     uint32_t compareMask);
void ReplaceColors24(int32_t width, int32_t height, const uint32_t *pairs, uint8_t *pixels, int32_t modulo);
void ReplaceColors16(int32_t width, int32_t height, const uint32_t *pairs, uint8_t *pixels, int32_t modulo);

// Writes every bit of a width x height mask rectangle (rows start at bit 0 of
// `mask`, `maskBytesPerRow` apart): set where the pixel differs from the key
// pixel value, clear where it equals it.
void MaskFromKeyColor32(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo, uint32_t compareMask);
void MaskFromKeyColor24(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo);
void MaskFromKeyColor16(const uint8_t *pixels, uint8_t *mask, int32_t width, int32_t height,
                        int32_t maskBytesPerRow, uint32_t key, int32_t modulo);

// ---- Plane and mask kernels ------------------------------------------------

// Writes `value` into the plane where the mask bit (maskX + i, maskY + j) is set.
void MaskToAlpha(const uint8_t *mask, int32_t maskX, int32_t maskY, int32_t maskBytesPerRow, uint8_t *plane,
                 int32_t planeX, int32_t planeY, int32_t planeBytesPerRow, int32_t width, int32_t height,
                 uint8_t value);
void FillPlaneRect(uint8_t *plane, int32_t x, int32_t y, int32_t width, int32_t height, int32_t bytesPerRow,
                   uint8_t value);
// d = s * level / 255 over width x height contiguous bytes (src may be dst).
void ScaleAlpha(const uint8_t *src, uint8_t *dst, int32_t level, int32_t width, int32_t height);
// Each destination mask bit becomes the clip bit, ANDed with the bit of the
// optional second mask (`and2` may be nullptr).
void CopyMaskRect(const uint8_t *clip, int32_t clipX, int32_t clipY, int32_t clipBytesPerRow, uint8_t *dst,
                  int32_t dstX, int32_t dstY, int32_t dstBytesPerRow, const uint8_t *and2, int32_t and2X,
                  int32_t and2Y, int32_t and2BytesPerRow, int32_t width, int32_t height);
// Plane form: the destination byte becomes the source byte where the clip bit
// is set and 0 elsewhere.
void CopyMaskRectToPlane(const uint8_t *clip, int32_t clipX, int32_t clipY, int32_t clipBytesPerRow,
                         const uint8_t *src, int32_t srcX, int32_t srcY, int32_t srcBytesPerRow, uint8_t *dst,
                         int32_t dstX, int32_t dstY, int32_t dstBytesPerRow, int32_t width, int32_t height);
// Alpha-plane combine by mode: 0 (and unknown) d = s; 1 d = s where s != 0;
// 2 d = 255 - s where s; 3 d = 255 where s; 4 d = s * value / 255 where s;
// 5 d = 255 - s where s and d; 6 d = value where s; 7 d = s where s and d, else 0.
void CombineAlpha(const uint8_t *src, int32_t sx, int32_t sy, uint8_t *dst, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, int32_t srcBytesPerRow, int32_t dstBytesPerRow, int mode,
                  int32_t value);
// 8-bit source against a destination mask: 0 and 2 bit = (s == 255); 1 bit =
// (s != 255); 3 toggle where s == 255; 5 set where s == 255; 4 and > 5 nothing.
void CombineMask(const uint8_t *src, int32_t sx, int32_t sy, int32_t srcBytesPerRow, uint8_t *dst, int32_t dx,
                 int32_t dy, int32_t dstBytesPerRow, int32_t width, int32_t height, int mode);

// ---- Blend, gradient and alpha blits ---------------------------------------

struct BlendPlanes {
  const uint8_t *src;   // first source pixel of the rectangle
  uint8_t *dst;         // first destination pixel
  const uint8_t *mask;  // row of the first pixel, or nullptr
  int32_t maskBitX;     // bit offset of the first pixel in that row
};
// d = s + (((d - s) * (255 - level)) >> 8) per channel, where the mask bit is set.
void BlendPixels32(const BlendPlanes *planes, int32_t width, int32_t height, int32_t level, PixelFormat format,
                   int32_t srcModulo, int32_t dstModulo, int32_t maskBytesPerRow);
void BlendPixels24(const BlendPlanes *planes, int32_t width, int32_t height, int32_t level, PixelFormat format,
                   int32_t srcModulo, int32_t dstModulo, int32_t maskBytesPerRow);
void BlendPixels16(const BlendPlanes *planes, int32_t width, int32_t height, int32_t level, PixelFormat format,
                   int32_t srcModulo, int32_t dstModulo, int32_t maskBytesPerRow);

// Linear gradient from colour 1 to colour 2 at an angle in degrees (0 top to
// bottom, 90 left to right). `pixels` is the plane's origin.
void DrawGradient32(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                    uint32_t rgb2, int32_t angle, int32_t modulo, PixelFormat format);
void DrawGradient24(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                    uint32_t rgb2, int32_t angle, int32_t modulo, PixelFormat format);
void DrawGradient16(uint8_t *pixels, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                    uint32_t rgb2, int32_t angle, int32_t modulo, PixelFormat format);

// Per-pixel alpha: a = 0 keeps, 255 copies, else d + (((s - d) * a) >> 8).
// Planes are origins; the rectangle starts at (sx, sy), (ax, ay), (dx, dy).
void BltAlphaBitMap32(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                      uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                      const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format);
void BltAlphaBitMap24(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                      uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                      const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format);
void BltAlphaBitMap16(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                      uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                      const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format);
// The same with each alpha byte first scaled by level / 255 as ScaleAlpha
// does (a * level / 255, kept to 8 bits), without a scaled copy of the plane.
// Level 255 is the plain alpha blit.
void BltAlphaBitMapLevel32(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                           uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                           const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format, int32_t level);
void BltAlphaBitMapLevel24(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                           uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                           const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format, int32_t level);
void BltAlphaBitMapLevel16(const uint8_t *src, int32_t sx, int32_t sy, int32_t ax, int32_t ay, int32_t srcModulo,
                           uint8_t *dst, int32_t dx, int32_t dy, int32_t dstModulo, int32_t width, int32_t height,
                           const uint8_t *alpha, int32_t alphaBytesPerRow, PixelFormat format, int32_t level);

// Coverage blit (anti-aliased shapes and text). All planes are origins.
struct AlphaChannelBltParams {
  const uint8_t *coverage;  // 8-bit coverage plane
  int32_t cx, cy, coverageBytesPerRow;
  uint8_t *dst;
  int32_t dx, dy, dstModulo;
  int32_t width, height;
  uint8_t *dstAlpha;        // destination alpha plane (modes 2, 3) or nullptr
  int32_t dstAlphaBytesPerRow;
  PixelFormat format;
  uint32_t colour;          // pixel value for 4 and 2 bytes, 0xRRGGBB for 3 bytes
  int32_t mode;             // 0 copy, 1 mix, 2 mix + alpha, 3 16-bit coverage + alpha, 4 1/64 coverage
  int32_t level;            // 0..255 (modes 2, 3)
  const uint16_t *coverage16;  // 16-bit coverage plane (mode 3) or nullptr
  int32_t coverage16RowLength; // in 16-bit entries
  const uint8_t *src;       // source pixels or nullptr (then the colour is used),
  int32_t srcModulo;        // addressed at (cx, cy) like the coverage plane
};
void BltAlphaChannel32(const AlphaChannelBltParams *p);
void BltAlphaChannel24(const AlphaChannelBltParams *p);
void BltAlphaChannel16(const AlphaChannelBltParams *p);

// Integer square root: the largest r with r * r <= x; -1 for x < 0.
int32_t ISqrt(int32_t x);

// ---- Flood fill and flip ---------------------------------------------------

// Colours are pixel values (for 3 bytes b0 << 16 | b1 << 8 | b2 of memory order).
struct FloodFillRecord {
  uint8_t *pixels;  // plane origin
  int32_t width, height, modulo;
  uint32_t border, fill;
  int32_t left, top;  // the area is left..left+width-1, top..top+height-1
};
// Boundary fill from (x, y). A seed outside the area changes nothing. Returns
// 0, or 1000 when the seed stack cannot grow (the fill then stops).
int FloodFill32(const FloodFillRecord *rec, int32_t x, int32_t y, uint32_t compareMask);
int FloodFill24(const FloodFillRecord *rec, int32_t x, int32_t y);
int FloodFill16(const FloodFillRecord *rec, int32_t x, int32_t y);

struct FlipRecord {
  uint8_t *pixels;
  int32_t width, height, modulo;
  uint8_t *mask;         // or nullptr
  int32_t maskBytesPerRow;
  uint8_t *alpha;        // or nullptr
  int32_t alphaBytesPerRow;
  int32_t direction;     // 0 vertical (top to bottom), else horizontal
  int32_t bytesPerPixel; // 2, 3 or 4
  uint8_t *scratch;      // at least one mask row
};
void FlipPixels(const FlipRecord *rec);

// ---- Front ends over a locked bitmap (pick the member by bytes per pixel;
// other pixel sizes change nothing) -------------------------------------------

void InvertRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height);
// Colour 0xRRGGBB; level 0..256.
void TintRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
              int32_t level);
void GrayRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height);
// Pairs are pixel values; compareMask is used for 4-byte pixels only.
void ReplaceColorsRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height,
                       const uint32_t *pairs, uint32_t compareMask);
// Key is a pixel value; compareMask for 4-byte pixels only.
void MaskFromKeyColorRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height,
                          uint8_t *mask, int32_t maskBytesPerRow, uint32_t key, uint32_t compareMask);
// Source and destination share the pixel size (the destination's decides).
void BlendRect(const BitMapInfo *src, int32_t sx, int32_t sy, const BitMapInfo *dst, int32_t dx, int32_t dy,
               int32_t width, int32_t height, const Mask *mask, int32_t level);
// The alpha scaled by level / 255 on the way when level is not 255.
void AlphaBitMapRect(const BitMapInfo *src, int32_t sx, int32_t sy, const BitMapInfo *dst, int32_t dx,
                     int32_t dy, int32_t width, int32_t height, const AlphaChannel *alpha, int32_t ax, int32_t ay,
                     int32_t level = 255);
void AlphaChannelRect(const BitMapInfo *dst, AlphaChannelBltParams *p);  // fills dst, format, picks member
void GradientRect(const BitMapInfo *info, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1,
                  uint32_t rgb2, int32_t angle);
// Border and fill are 0xRRGGBB, converted with RGBToPixel; the area is the
// whole bitmap. 4-byte pixels compare through 0xFFFFFF (format 10) or
// 0xFFFFFF00 (other formats) so the spare byte is ignored. 0 or 1000.
int FloodFillRect(const BitMapInfo *info, int32_t x, int32_t y, uint32_t borderRgb, uint32_t fillRgb);
