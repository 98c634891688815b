// Small drawing routines shared by displays, layers, the draw library, text and transitions:
// front ends that lock bitmaps and pick the kernel for the pixel size, colour mixing, texture
// tiling, transformed bounding boxes, arc and pie point lists, one polygon-clipping step, and a
// named cache of decoded images used while the applet's declared objects are created.
#pragma once
#include <cstdint>
#include "gfx/bitmap.h"

// Gradient from colour 1 to colour 2 (0xRRGGBB) at an angle in degrees over the rectangle.
void DrawGradient(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb1, uint32_t rgb2,
                  int32_t angle);
// Blends colour 0xRRGGBB (or, with a second bitmap, its pixels at the source position) into
// the destination through the 8-bit plane `source` at (sx, sy); mode and dstAlpha as the
// coverage blit takes them; the option words are the level, a 16-bit coverage plane and its
// row length.
void BltAlphaChannel(const AlphaChannel *source, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
                     int32_t width, int32_t height, uint32_t rgb, int32_t mode, AlphaChannel *dstAlpha,
                     intptr_t level, intptr_t coverage16, intptr_t coverage16RowLength, const BitMap *second);
// The same, clipped to the source (srcWidth x srcHeight) and destination sizes.
void BltAlphaChannelClipped(const AlphaChannel *source, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
                            int32_t width, int32_t height, uint32_t rgb, int32_t mode, AlphaChannel *dstAlpha,
                            intptr_t level, intptr_t coverage16, intptr_t coverage16RowLength, const BitMap *second,
                            int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);
// Blends the source over the destination by the alpha channel (addressed like the source).
void BltAlphaBitMap(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy, int32_t width,
                    int32_t height, const AlphaChannel *alpha);
void CombineAlphaChannels(const AlphaChannel *src, int32_t sx, int32_t sy, AlphaChannel *dst, int32_t dx, int32_t dy,
                          int32_t width, int32_t height, int mode, int32_t value);
void CombineAlphaChannelsClipped(const AlphaChannel *src, int32_t sx, int32_t sy, AlphaChannel *dst, int32_t dx,
                                 int32_t dy, int32_t width, int32_t height, int mode, int32_t value, int32_t srcWidth,
                                 int32_t srcHeight, int32_t dstWidth, int32_t dstHeight);
void MaskToAlphaRect(const Mask *mask, int32_t mx, int32_t my, AlphaChannel *alpha, int32_t ax, int32_t ay,
                     int32_t width, int32_t height, uint8_t value);
void FillAlphaChannelRect(AlphaChannel *alpha, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t value);
void AlphaToMaskRect(const AlphaChannel *alpha, int32_t ax, int32_t ay, Mask *mask, int32_t mx, int32_t my,
                     int32_t width, int32_t height, int mode);
// Fills an integer polygon (count pairs x, y) into the mask, clipped to its size. 0 or 1000.
int FillPolygonToMask(Mask *mask, const int32_t *points, int32_t count);
// Per channel c1 + (((c2 - c1) * weight) >> 8), weight 0..256.
uint32_t MixColors(uint32_t rgb1, uint32_t rgb2, int32_t weight);
// Tiles the texture over the rectangle (x, y, width, height), the first tile starting at
// (startX, startY) inside the texture. raw = 0: dest and texture are BitMaps; raw = 1: dest is a
// block of 32-bit words as wide as the rectangle and texture a block of words textureRowLength
// apart.
void TileBitMap(void *dest, int32_t x, int32_t y, int32_t width, int32_t height, const void *texture, int32_t startX,
                int32_t startY, int32_t textureWidth, int32_t textureHeight, int raw, int32_t textureRowLength);
// Bounding box of a width x height rectangle at (x, y) transformed by matrix m (x' = m0 dx +
// m2 dy, y' = m1 dx + m3 dy) around the anchor (fractions of the size).
void GetTransformedBounds(int32_t x, int32_t y, int32_t width, int32_t height, double anchorX, double anchorY,
                          const double m[4], int32_t *outX, int32_t *outY, int32_t *outWidth, int32_t *outHeight);
// Point list (pairs x, y) of an ellipse arc from start to end degrees, relative to the bounding
// box's corner; a pie (centre and start point appended) unless it is the full circle 0..360.
// points needs room for (end - start + 3) pairs. Returns the count.
int32_t ArcPolygon(int32_t *points, int32_t rx, int32_t ry, int32_t start, int32_t end);
// Edge kinds of ClipPolygonEdge.
enum { CLIPEDGE_LEFT = 0, CLIPEDGE_TOP = 1, CLIPEDGE_RIGHT = 2, CLIPEDGE_BOTTOM = 3 };
// One Sutherland-Hodgman step: `in` holds count + 1 pairs (the first repeated at the end), `out`
// room for 2 x count pairs. Returns the number of output points.
int32_t ClipPolygonEdge(int32_t count, const int32_t *in, int32_t *out, int32_t value, int kind);

// Named image cache (names compared without regard to case, at most 1023 characters).
int AddToGfxCache(const char *name, int32_t width, int32_t height, const uint32_t *pixels, const AlphaChannel *alpha);
// Fresh copies of a cached image (free them with MemFree / FreeAlphaChannel). 1246 when the
// name is missing or alpha is wanted and none is cached; 1000.
int GetFromGfxCache(const char *name, int wantAlpha, int32_t *width, int32_t *height, uint32_t **pixels,
                    AlphaChannel **alpha);
void FreeGfxCache(void);
