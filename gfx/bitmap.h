// Bitmaps (colour pixels), masks (1 bit a pixel) and alpha channels (8 bits a
// pixel): the three planes of every picture, their allocation, release, the
// BitMapInfo view the kernels work on, and single-pixel access.
#pragma once
#include <cstddef>
#include <cstdint>
#include "gfx/pixels.h"
#include "runtime/memory.h"

// Colour plane. Rows run top to bottom from `pixels`, `bytesPerRow` apart.
struct BitMap {
  int32_t width;          // pixels of a row that belong to the picture
  int32_t height;         // rows
  uint8_t *pixels;        // first byte of the top row
  int32_t bytesPerRow;
  int32_t bytesPerPixel;  // 2, 3 or 4; every allocated bitmap has 4
  PixelFormat format;     // every allocated bitmap has PIXFMT_BGRX32 (11)
  void *surface;          // platform drawing surface; none on this platform
};

// 1 bit a pixel, most significant bit first: pixel x of a row is bit
// 0x80 >> (x & 7) of byte x >> 3; a set bit is visible.
struct Mask {
  uint8_t *pixels;
  int32_t width;
  int32_t height;
  int32_t bytesPerRow;  // width / 8 + 1 when allocated here
  int32_t notOwned;     // 1: the memory belongs to someone else, never freed here
};

// 8 bits a pixel, 0 transparent to 255 opaque. Same field order as Mask.
struct AlphaChannel {
  uint8_t *pixels;
  int32_t width;
  int32_t height;
  int32_t bytesPerRow;  // width rounded up to a multiple of 4 when allocated here
  int32_t notOwned;
};

// What the kernels see of a locked bitmap.
struct BitMapInfo {
  uint8_t *pixels;
  int32_t valid;          // 0 until LockBitMap filled it
  PixelFormat format;
  int32_t bytesPerPixel;  // 2, 3 or 4
  int32_t modulo;         // bytes per row / bytes per pixel: the row length in pixels
  int32_t width;
  int32_t height;
};

// Largest pixel buffer of one plane in bytes; a larger width x height fails
// like an exhausted allocator. Under the fuzzers, whose memory is small, the
// largest block they allocate.
#ifdef KV_FUZZING
constexpr uint64_t kMaxPlaneBytes = FUZZ_MAX_BLOCK;
#else
constexpr uint64_t kMaxPlaneBytes = 0x7FFFFFFFu;
#endif

// Whether a bitmap of width x height (4 bytes a pixel) stays within kMaxPlaneBytes; sizes
// are checked with it, in 64 bits, before anything of that size is allocated.
inline bool BitMapSizeFits(int64_t width, int64_t height) {
  return width >= 0 && height >= 0 && width <= (int64_t)kMaxPlaneBytes && height <= (int64_t)kMaxPlaneBytes &&
         (uint64_t)width * (uint64_t)height * 4u <= kMaxPlaneBytes;
}

// Whether a table of `count` entries of `size` bytes each stays within kMaxPlaneBytes, worked
// out before anything is allocated.
inline bool TableFits(uint64_t count, uint64_t size) { return size > 0 && count <= kMaxPlaneBytes / size; }

// No plane is this wide or high (a row of it would exceed kMaxPlaneBytes), so a coordinate
// beyond it lies outside every picture. Positions are kept within -kCoordLimit..kCoordLimit:
// a position plus a size, or the distance of two positions, then never leaves 32 bits.
constexpr int32_t kCoordLimit = 1 << 29;
inline int32_t ClampCoord(int64_t v) {
  return v < -kCoordLimit ? -kCoordLimit : v > kCoordLimit ? kCoordLimit : (int32_t)v;
}
// A 64-bit result held within 32 bits.
inline int32_t SaturateInt32(int64_t v) { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int32_t)v; }
// The same for a computed double (NaN gives 0).
inline int32_t ClampCoordD(double v) {
  if (!(v == v)) return 0;
  return v <= -kCoordLimit ? -kCoordLimit : v >= kCoordLimit ? kCoordLimit : (int32_t)v;
}

// Mask bytes per row that belongs to a width (width / 8 + 1).
inline int32_t MaskBytesPerRow(int32_t width) { return width / 8 + 1; }
// Alpha bytes per row that belongs to a width (rounded up to a multiple of 4).
inline int32_t AlphaBytesPerRow(int32_t width) { return (width + 3) & ~3; }

// Cuts the rectangle to the part that lies on a width x height area from (0, 0). Returns
// whether anything is left (width and height at least 1); the rectangle is then changed. The
// edges are worked out in 64 bits, so any rectangle is cut, never wrapped.
inline bool ClipRectToArea(int32_t *x, int32_t *y, int32_t *w, int32_t *h, int32_t width, int32_t height) {
  int64_t x1 = *x, y1 = *y, x2 = x1 + *w, y2 = y1 + *h;
  if (x1 < 0) x1 = 0;
  if (y1 < 0) y1 = 0;
  if (x2 > width) x2 = width;
  if (y2 > height) y2 = height;
  if (x2 - x1 < 1 || y2 - y1 < 1) return false;
  *x = (int32_t)x1;
  *y = (int32_t)y1;
  *w = (int32_t)(x2 - x1);
  *h = (int32_t)(y2 - y1);
  return true;
}

// Allocation and release. Alloc* return nullptr when the size is negative,
// exceeds kMaxPlaneBytes or memory is exhausted; nothing half-built survives.
// Bitmap pixels are not cleared.
BitMap *AllocBitMap(int32_t width, int32_t height);
BitMap *AllocDisplayBitMap(int32_t width, int32_t height);
void FreeBitMap(BitMap *bitmap);  // nullptr is ignored
// `owner` is accepted and ignored (callers pass the bitmap of the triple or 0).
Mask *AllocMask(const BitMap *owner, int32_t width, int32_t height, int clear);
void FreeMask(Mask *mask);  // nullptr: nothing; wrapped memory is not freed
Mask *WrapMask(uint8_t *pixels, int32_t bytesPerRow);
void SetMaskMemory(Mask *mask, uint8_t *pixels, int32_t bytesPerRow);
AlphaChannel *AllocAlphaChannel(int32_t width, int32_t height, int clear);
void FreeAlphaChannel(AlphaChannel *alpha);
AlphaChannel *WrapAlphaChannel(uint8_t *pixels, int32_t width, int32_t height, int32_t bytesPerRow);
void SetAlphaChannelMemory(AlphaChannel *alpha, uint8_t *pixels, int32_t bytesPerRow);
// One static header each, overwritten by every call.
Mask *TempMaskHeader(uint8_t *pixels, int32_t ignored, int32_t width, int32_t height);
AlphaChannel *TempAlphaHeader(uint8_t *pixels, int32_t bytesPerRow);

// Fills `info` (valid flag cleared first); 0 for a nullptr bitmap, else 1.
int LockBitMap(const BitMap *bitmap, BitMapInfo *info);
// Ends one LockBitMap; does nothing.
void UnLockBitMap(void);

// Attribute numbers of GetBitMapAttr.
enum BitMapAttr {
  BMA_WIDTH = 0,               // BitMap width
  BMA_ALPHA_BYTESPERROW = 1,   // AlphaChannel bytes per row
  BMA_MASK_BYTESPERROW = 2,    // Mask bytes per row
  BMA_ALPHA_PIXELS = 3,        // AlphaChannel pixel pointer
  BMA_MASK_PIXELS = 4,         // Mask pixel pointer
  BMA_MASK_ROWBYTES_FOR = 11,  // width / 8 + 1 of a BitMap
  BMA_ROW_PIXELS = 17,         // row length in pixels of a BitMap
  BMA_HEIGHT = 18,             // BitMap height
  BMA_DEPTH = 21               // 32
};
// The attribute of a BitMap, Mask or AlphaChannel (which one the attribute
// says); 0 for an unknown attribute or a nullptr record.
intptr_t GetBitMapAttr(const void *record, int attribute);

// Mask modes: how a source bit combines into a destination mask bit.
enum MaskMode {
  MASKVISIBLE = 0,      // set where the source is set
  MASKINVISIBLE = 1,    // clear where the source is set
  MASKVANILLACOPY = 2,  // copy the source bit
  MASKXOR = 3,          // toggle where the source is set
  MASKAND = 4,          // clear where the source is clear
  MASKOR = 5            // set where the source is set
};

// Bit x of a mask row: 1 visible, 0 not.
inline int MaskRowBit(const uint8_t *row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
// Sets (on != 0) or clears bit x of a mask row.
inline void PutMaskRowBit(uint8_t *row, int32_t x, int on) {
  const uint8_t bit = (uint8_t)(0x80 >> (x & 7));
  if (on) row[x >> 3] |= bit;
  else row[x >> 3] &= (uint8_t)~bit;
}
// Applies a mask mode to the bit of *byte as if the source bit were set.
inline void ApplyMaskMode(uint8_t *byte, uint8_t bit, uint32_t mode) {
  switch (mode) {
    case MASKVISIBLE:
    case MASKVANILLACOPY:
    case MASKOR: *byte |= bit; break;
    case MASKINVISIBLE: *byte &= (uint8_t)~bit; break;
    case MASKXOR: *byte ^= bit; break;
    default: break;  // MASKAND with a set source, and unknown modes: unchanged
  }
}

// Single-pixel access. Coordinates outside the plane read 0 and write nothing.
// maskFlag 0: `record` is a BitMap and the value 0xRRGGBB; else `record` is a
// Mask, reading gives 0 or 1 and writing applies the value as a mask mode
// with a set source bit.
uint32_t ReadBitMapPixel(const void *record, int32_t x, int32_t y, int maskFlag);
void WriteBitMapPixel(void *record, int32_t x, int32_t y, uint32_t value, int maskFlag);
// One-pixel line from (x1, y1) to (x2, y2) inclusive in colour 0xRRGGBB;
// coordinates are 16-bit; pixels outside the bitmap are skipped.
void DrawBitMapLine(BitMap *bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb);

// New MemAlloc'd buffer of width x height words 0xXXRRGGBB from the top-left
// corner of the bitmap; nullptr on failure or for a nullptr bitmap or a
// rectangle larger than the bitmap.
uint32_t *BitMapToARGB(const BitMap *bitmap, int32_t width, int32_t height);
// New bitmap of width x height from the words (source rows `rowLength` words
// apart); with keyColour != -1 also a cleared mask with the bit set for every
// pixel whose low 24 bits differ from the key. Stores the bitmap and the mask
// (nullptr without a key colour; `outMask` may be nullptr then). 0 or 1000.
int BitMapFromARGB(const uint32_t *words, int32_t keyColour, int32_t width, int32_t height,
                   int32_t rowLength, BitMap **outBitMap, Mask **outMask);

// Platform hooks with no work on this platform.
void GraphicsSync(void);
int GetBlitCapabilities(void);  // always 0
void AcceleratedAlphaBlit(void);
void AcceleratedCrossFade(void);
