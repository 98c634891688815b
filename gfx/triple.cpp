// Checks and bookkeeping shared by the operations that make a new picture triple (scale,
// transform, cut).
#include "gfx/scale.h"

bool TripleRectInside(const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha, int32_t x, int32_t y,
                      int32_t width, int32_t height) {
  if (bitmap && ((int64_t)x + width > bitmap->width || (int64_t)y + height > bitmap->height)) return false;
  if (mask && ((int64_t)x + width > (int64_t)mask->bytesPerRow * 8 ||
               (mask->height > 0 && (int64_t)y + height > mask->height)))
    return false;
  if (alpha && ((int64_t)x + width > alpha->bytesPerRow || (alpha->height > 0 && (int64_t)y + height > alpha->height)))
    return false;
  return true;
}

int LockBitMapPair(const BitMap *src, BitMapInfo *si, const BitMap *dst, BitMapInfo *di) {
  if (!LockBitMap(src, si)) return 0;
  if (!LockBitMap(dst, di)) {
    UnLockBitMap();
    return 0;
  }
  return 1;
}

void FreeTriple(BitMap *bitmap, Mask *mask, AlphaChannel *alpha) {
  FreeBitMap(bitmap);
  FreeMask(mask);
  FreeAlphaChannel(alpha);
}

void HandOutTriple(BitMap *bitmap, Mask *mask, AlphaChannel *alpha, BitMap **outBitMap, Mask **outMask,
                   AlphaChannel **outAlpha) {
  if (outBitMap) *outBitMap = bitmap;
  else FreeBitMap(bitmap);
  if (outMask) *outMask = mask;
  else FreeMask(mask);
  if (outAlpha) *outAlpha = alpha;
  else FreeAlphaChannel(alpha);
}
