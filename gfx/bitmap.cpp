// Allocation and release of bitmaps, masks and alpha channels, LockBitMap and
// the attribute query.
#include "gfx/bitmap.h"
#include "runtime/memory.h"

// Bytes of a plane of `height` rows of `bytesPerRow`, or 0 when the size is
// negative or above the plane limit (computed in 64 bits so that a huge
// width x height cannot wrap round to a small buffer).
static size_t PlaneBytes(int64_t bytesPerRow, int64_t height) {
  if (bytesPerRow < 0 || height < 0 || bytesPerRow > (int64_t)kMaxPlaneBytes) return 0;
  uint64_t n = (uint64_t)bytesPerRow * (uint64_t)height;
  if (n > kMaxPlaneBytes) return 0;
  return (size_t)n;
}

BitMap *AllocBitMap(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return nullptr;
  size_t bytes = PlaneBytes((int64_t)width * 4, height);
  if (!bytes) return nullptr;
  BitMap *bm = (BitMap *)MemAlloc(sizeof(BitMap), 1);
  if (!bm) return nullptr;
  bm->pixels = (uint8_t *)MemAlloc(bytes, 0);
  if (!bm->pixels) {
    MemFree(bm);
    return nullptr;
  }
  bm->width = width;
  bm->height = height;
  bm->bytesPerRow = width * 4;
  bm->bytesPerPixel = 4;
  bm->format = PIXFMT_BGRX32;
  bm->surface = nullptr;
  return bm;
}

BitMap *AllocDisplayBitMap(int32_t width, int32_t height) { return AllocBitMap(width, height); }

void FreeBitMap(BitMap *bitmap) {
  if (!bitmap) return;
  MemFree(bitmap->pixels);
  MemFree(bitmap);
}

// A new mask or alpha channel (P: Mask or AlphaChannel, which share their fields) of `height`
// rows of `bytesPerRow`, the memory cleared when `clear`.
template <class P>
static P *AllocPlane(int32_t width, int32_t height, int32_t bytesPerRow, int clear) {
  size_t bytes = PlaneBytes(bytesPerRow, height);
  if (!bytes) return nullptr;
  P *plane = (P *)MemAlloc(sizeof(P), 1);
  if (!plane) return nullptr;
  plane->pixels = (uint8_t *)MemAlloc(bytes, clear);
  if (!plane->pixels) {
    MemFree(plane);
    return nullptr;
  }
  plane->width = width;
  plane->height = height;
  plane->bytesPerRow = bytesPerRow;
  return plane;
}

template <class P>
static void FreePlane(P *plane) {
  if (!plane) return;
  if (!plane->notOwned) MemFree(plane->pixels);
  MemFree(plane);
}

Mask *AllocMask(const BitMap *owner, int32_t width, int32_t height, int clear) {
  (void)owner;
  if (width < 0 || height < 0) return nullptr;
  return AllocPlane<Mask>(width, height, MaskBytesPerRow(width), clear);
}

void FreeMask(Mask *mask) { FreePlane(mask); }

Mask *WrapMask(uint8_t *pixels, int32_t bytesPerRow) {
  Mask *m = (Mask *)MemAlloc(sizeof(Mask), 1);
  if (!m) return nullptr;
  m->pixels = pixels;
  m->bytesPerRow = bytesPerRow;
  m->notOwned = 1;
  return m;
}

void SetMaskMemory(Mask *mask, uint8_t *pixels, int32_t bytesPerRow) {
  mask->pixels = pixels;
  mask->bytesPerRow = bytesPerRow;
  mask->notOwned = 1;
}

AlphaChannel *AllocAlphaChannel(int32_t width, int32_t height, int clear) {
  if (width < 0 || height < 0 || width > 0x7FFFFFF0) return nullptr;
  return AllocPlane<AlphaChannel>(width, height, AlphaBytesPerRow(width), clear);
}

void FreeAlphaChannel(AlphaChannel *alpha) { FreePlane(alpha); }

AlphaChannel *WrapAlphaChannel(uint8_t *pixels, int32_t width, int32_t height, int32_t bytesPerRow) {
  AlphaChannel *a = (AlphaChannel *)MemAlloc(sizeof(AlphaChannel), 1);
  if (!a) return nullptr;
  a->pixels = pixels;
  a->width = width;
  a->height = height;
  a->bytesPerRow = bytesPerRow;
  a->notOwned = 1;
  return a;
}

void SetAlphaChannelMemory(AlphaChannel *alpha, uint8_t *pixels, int32_t bytesPerRow) {
  alpha->pixels = pixels;
  alpha->bytesPerRow = bytesPerRow;
  alpha->notOwned = 1;
}

static Mask tempMask;
static AlphaChannel tempAlpha;

Mask *TempMaskHeader(uint8_t *pixels, int32_t ignored, int32_t width, int32_t height) {
  (void)ignored;
  tempMask.pixels = pixels;
  tempMask.width = width;
  tempMask.height = height;
  tempMask.bytesPerRow = MaskBytesPerRow(width);
  tempMask.notOwned = 1;
  return &tempMask;
}

AlphaChannel *TempAlphaHeader(uint8_t *pixels, int32_t bytesPerRow) {
  tempAlpha.pixels = pixels;
  tempAlpha.bytesPerRow = bytesPerRow;
  tempAlpha.notOwned = 1;
  return &tempAlpha;
}

int LockBitMap(const BitMap *bitmap, BitMapInfo *info) {
  info->valid = 0;
  if (!bitmap) return 0;
  info->pixels = bitmap->pixels;
  info->format = bitmap->format;
  info->bytesPerPixel = bitmap->bytesPerPixel;
  info->modulo = bitmap->bytesPerPixel ? bitmap->bytesPerRow / bitmap->bytesPerPixel : 0;
  info->width = bitmap->width;
  info->height = bitmap->height;
  info->valid = 1;
  return 1;
}

void UnLockBitMap(void) {}

intptr_t GetBitMapAttr(const void *record, int attribute) {
  if (!record) return 0;
  const BitMap *bm = (const BitMap *)record;
  const Mask *m = (const Mask *)record;
  const AlphaChannel *a = (const AlphaChannel *)record;
  switch (attribute) {
    case BMA_WIDTH: return bm->width;
    case BMA_ALPHA_BYTESPERROW: return a->bytesPerRow;
    case BMA_MASK_BYTESPERROW: return m->bytesPerRow;
    case BMA_ALPHA_PIXELS: return (intptr_t)a->pixels;
    case BMA_MASK_PIXELS: return (intptr_t)m->pixels;
    case BMA_MASK_ROWBYTES_FOR: return MaskBytesPerRow(bm->width);
    case BMA_ROW_PIXELS: return bm->bytesPerPixel ? bm->bytesPerRow / bm->bytesPerPixel : 0;
    case BMA_HEIGHT: return bm->height;
    case BMA_DEPTH: return 32;
  }
  return 0;
}

void GraphicsSync(void) {}
int GetBlitCapabilities(void) { return 0; }
void AcceleratedAlphaBlit(void) {}
void AcceleratedCrossFade(void) {}
