// Smaller operations on picture triples: cutting out a region, tinting a rectangle, blending
// with a level, a mask from a key colour, and the integer polygon fill into a 1-bit mask.
#include <cstring>
#include <utility>

#include "gfx/blit.h"
#include "gfx/kernels.h"
#include "gfx/scale.h"
#include "runtime/memory.h"

int CutBitMapRegion(const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha, int32_t x, int32_t y,
                    int32_t width, int32_t height, BitMap **outBitMap, Mask **outMask, AlphaChannel **outAlpha) {
  if (width < 1 || height < 1 || x < 0 || y < 0) return 1055;
  if (!TripleRectInside(bitmap, mask, alpha, x, y, width, height)) return 1055;
  BitMap *nb = nullptr;
  Mask *nm = nullptr;
  AlphaChannel *na = nullptr;
  if ((bitmap && !(nb = AllocBitMap(width, height))) || (mask && !(nm = AllocMask(nb, width, height, 1))) ||
      (alpha && !(na = AllocAlphaChannel(width, height, 0)))) {
    FreeTriple(nb, nm, na);
    return 1000;
  }
  if (bitmap) {
    if (bitmap->format == nb->format) {
      BltBitMap(bitmap, x, y, nb, 0, 0, width, height);
    } else {
      for (int32_t j = 0; j < height; j++)
        for (int32_t i = 0; i < width; i++) WriteBitMapPixel(nb, i, j, ReadBitMapPixel(bitmap, x + i, y + j, 0), 0);
    }
  }
  if (mask) BltMaskToMask(mask, x, y, nm, 0, 0, width, height, MASKVANILLACOPY);
  if (alpha)
    CombineAlpha(alpha->pixels, x, y, na->pixels, 0, 0, width, height, alpha->bytesPerRow, na->bytesPerRow, 0, 0);
  HandOutTriple(nb, nm, na, outBitMap, outMask, outAlpha);
  return 0;
}

int TintBitMapRect(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                   int32_t level) {
  BitMapInfo info;
  if (!LockBitMap(bitmap, &info)) return 1152;
  // Only the part of the rectangle that lies on the bitmap.
  if (ClipRectToArea(&x, &y, &width, &height, info.width, info.height))
    TintRect(&info, x, y, width, height, rgb, level);
  UnLockBitMap();
  return 0;
}

int BltBitMapTransparent(BitMap *dst, const BitMap *src, const Mask *srcMask, int32_t dx, int32_t dy, int32_t sx,
                         int32_t sy, int32_t width, int32_t height, int32_t level, const AlphaChannel *srcAlpha,
                         int32_t alphaWidth, int32_t alphaHeight) {
  if (!dst || !src) return 1152;
  // Clip to both bitmaps (and to the alpha channel's size when one is used).
  if (sx < 0) { width += sx; dx -= sx; sx = 0; }
  if (sy < 0) { height += sy; dy -= sy; sy = 0; }
  if (dx < 0) { width += dx; sx -= dx; dx = 0; }
  if (dy < 0) { height += dy; sy -= dy; dy = 0; }
  int32_t sw = src->width, sh = src->height;
  if (srcAlpha) {
    // The blit reads no more of the source alpha channel than it holds.
    if (alphaWidth > srcAlpha->bytesPerRow) alphaWidth = srcAlpha->bytesPerRow;
    if (srcAlpha->height > 0 && alphaHeight > srcAlpha->height) alphaHeight = srcAlpha->height;
    if (alphaWidth < sw) sw = alphaWidth;
    if (alphaHeight < sh) sh = alphaHeight;
  }
  if ((int64_t)sx + width > sw) width = sw - sx;
  if ((int64_t)sy + height > sh) height = sh - sy;
  if ((int64_t)dx + width > dst->width) width = dst->width - dx;
  if ((int64_t)dy + height > dst->height) height = dst->height - dy;
  if (width < 1 || height < 1) return 0;

  BitMapInfo si, di;
  if (!LockBitMapPair(src, &si, dst, &di)) return 1152;
  // With an alpha channel, the source alpha scaled by level / 255 draws the
  // picture; the blit scales each byte on the way.
  if (srcAlpha) AlphaBitMapRect(&si, sx, sy, &di, dx, dy, width, height, srcAlpha, sx, sy, level);
  else BlendRect(&si, sx, sy, &di, dx, dy, width, height, srcMask, level);
  UnLockBitMap();
  UnLockBitMap();
  return 0;
}

Mask *MaskFromColor(const BitMap *bitmap, int32_t width, int32_t height, uint32_t keyRgb) {
  BitMapInfo info;
  if (!LockBitMap(bitmap, &info)) return nullptr;
  if (width > info.width) width = info.width;
  if (height > info.height) height = info.height;
  Mask *m = AllocMask(bitmap, width < 0 ? 0 : width, height < 0 ? 0 : height, 1);
  if (m && width > 0 && height > 0) {
    const uint32_t key = RGBToPixel(keyRgb & 0xFFFFFF, info.format);
    MaskFromKeyColorRect(&info, 0, 0, width, height, m->pixels, m->bytesPerRow, key,
                         info.format == PIXFMT_XRGB32 ? 0xFFFFFFu : 0xFFFFFF00u);
  }
  UnLockBitMap();
  return m;
}

void FillPolygonMask(uint8_t *mask, int32_t bytesPerRow, int32_t width, int32_t height, int32_t *scratch,
                     const int32_t *points, int32_t count) {
  if (!mask || !scratch || !points || count < 1 || width < 1 || height < 1) return;
  int32_t minY = points[1], maxY = points[1];
  for (int32_t i = 1; i < count; i++) {
    if (points[2 * i + 1] < minY) minY = points[2 * i + 1];
    if (points[2 * i + 1] > maxY) maxY = points[2 * i + 1];
  }
  // Only the rows of the mask.
  const int32_t yFirst = minY < 0 ? 0 : minY, yLast = maxY > height - 1 ? height - 1 : maxY;
  for (int32_t y = yFirst; y <= yLast; y++) {
    int32_t n = 0;
    for (int32_t i = 0; i < count; i++) {
      const int32_t j = i + 1 < count ? i + 1 : 0;
      int64_t x0 = points[2 * i], y0 = points[2 * i + 1], x1 = points[2 * j], y1 = points[2 * j + 1];
      if (y0 == y1) continue;
      if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
      }
      const bool on = (y0 <= y && y < y1) || (y == maxY && y0 < y && y <= y1);
      if (!on) continue;
      const double cross = (double)((float)((y - y0) * (x1 - x0)) / (float)(y1 - y0)) + 0.5 + (double)x0;
      int32_t x;
      if (cross >= 2147483647.0) x = INT32_MAX;
      else if (cross <= -2147483648.0) x = INT32_MIN;
      else x = (int32_t)cross;
      // Insertion sort, ascending.
      int32_t k = n++;
      while (k > 0 && scratch[k - 1] > x) {
        scratch[k] = scratch[k - 1];
        k--;
      }
      scratch[k] = x;
    }
    uint8_t *row = mask + (ptrdiff_t)y * bytesPerRow;
    for (int32_t k = 0; k + 1 < n; k += 2) {
      int32_t a = scratch[k], b = scratch[k + 1];
      if (a < 0) a = 0;
      if (b > width - 1) b = width - 1;
      for (int32_t x = a; x <= b; x++) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
    }
  }
}
