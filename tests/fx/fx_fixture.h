// Pictures for the effect tests: patterned bitmaps, masks and alpha channels of any size, the
// picture a plain display of the object gives, and comparisons that name the first difference.
#pragma once
#include <cstdint>
#include <string>
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"

inline uint32_t PatternColour(int32_t x, int32_t y, uint32_t seed) {
  uint32_t s = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^ seed * 83492791u;
  s = s * 1103515245u + 12345u;
  return (s >> 8) & 0xFFFFFF;
}

inline BitMap *PatternBitMap(int32_t w, int32_t h, uint32_t seed) {
  BitMap *bm = AllocBitMap(w, h);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) WriteBitMapPixel(bm, x, y, PatternColour(x, y, seed), 0);
  return bm;
}

inline BitMap *CopyBitMap(const BitMap *src) {
  BitMap *bm = AllocBitMap(src->width, src->height);
  BltBitMap(src, 0, 0, bm, 0, 0, src->width, src->height);
  return bm;
}

// A mask with a diagonal band and a hole pattern (about two thirds visible).
inline Mask *PatternMask(int32_t w, int32_t h) {
  Mask *m = AllocMask(nullptr, w, h, 1);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++)
      if ((x + 2 * y) % 3) PutMaskRowBit(m->pixels + (size_t)y * m->bytesPerRow, x, 1);
  return m;
}

inline AlphaChannel *PatternAlpha(int32_t w, int32_t h) {
  AlphaChannel *a = AllocAlphaChannel(w, h, 1);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) a->pixels[(size_t)y * a->bytesPerRow + x] = (uint8_t)((x * 37 + y * 91) % 256);
  return a;
}

// Clips a copy of w x h from (sx, sy) of a plane of sw x sh to (dx, dy) of one of dw x dh.
inline bool ClipCopy(int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy, int32_t *w, int32_t *h, int32_t sw,
                     int32_t sh, int32_t dw, int32_t dh) {
  if (*dx < 0) { *sx -= *dx; *w += *dx; *dx = 0; }
  if (*dy < 0) { *sy -= *dy; *h += *dy; *dy = 0; }
  if (*sx < 0) { *dx -= *sx; *w += *sx; *sx = 0; }
  if (*sy < 0) { *dy -= *sy; *h += *sy; *sy = 0; }
  if (*sx + *w > sw) *w = sw - *sx;
  if (*sy + *h > sh) *h = sh - *sy;
  if (*dx + *w > dw) *w = dw - *dx;
  if (*dy + *h > dh) *h = dh - *dy;
  return *w > 0 && *h > 0;
}

// The picture after drawing the object plainly at (x, y), clipped to the picture.
inline BitMap *PlainResult(const BitMap *picture, const BitMap *src, const Mask *mask, const AlphaChannel *alpha,
                           int32_t x, int32_t y) {
  BitMap *out = CopyBitMap(picture);
  int32_t sx = 0, sy = 0, w = src->width, h = src->height;
  if (!ClipCopy(&sx, &sy, &x, &y, &w, &h, src->width, src->height, out->width, out->height)) return out;
  if (alpha) BltAlphaBitMap(src, sx, sy, out, x, y, w, h, alpha);
  else if (mask) BltMask(src, sx, sy, out, x, y, w, h, mask);
  else BltBitMap(src, sx, sy, out, x, y, w, h);
  return out;
}

// The object-sized part of a picture at (x, y); black where the object lies outside it.
inline BitMap *CutOut(const BitMap *picture, int32_t x, int32_t y, int32_t w, int32_t h) {
  BitMap *out = AllocBitMap(w, h);
  RectFillBitMap(out, 0, 0, w, h, 0);
  int32_t dx = 0, dy = 0;
  if (ClipCopy(&x, &y, &dx, &dy, &w, &h, picture->width, picture->height, w, h))
    BltBitMap(picture, x, y, out, dx, dy, w, h);
  return out;
}

// "" when the rectangles hold the same colours, else where they first differ.
inline std::string DiffRect(const BitMap *a, int32_t ax, int32_t ay, const BitMap *b, int32_t bx, int32_t by,
                            int32_t w, int32_t h) {
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      uint32_t pa = ReadBitMapPixel(a, ax + x, ay + y, 0), pb = ReadBitMapPixel(b, bx + x, by + y, 0);
      if (pa != pb) return "pixel " + std::to_string(x) + "," + std::to_string(y);
    }
  return "";
}

inline std::string DiffPictures(const BitMap *a, const BitMap *b) {
  return DiffRect(a, 0, 0, b, 0, 0, a->width, a->height);
}

// Whether a pixel outside the rectangle (x, y, w, h) differs between the two pictures.
inline bool ChangedOutside(const BitMap *a, const BitMap *b, int32_t rx, int32_t ry, int32_t rw, int32_t rh) {
  for (int32_t y = 0; y < a->height; y++)
    for (int32_t x = 0; x < a->width; x++) {
      if (x >= rx && x < rx + rw && y >= ry && y < ry + rh) continue;
      if (ReadBitMapPixel(a, x, y, 0) != ReadBitMapPixel(b, x, y, 0)) return true;
    }
  return false;
}
