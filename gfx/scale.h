// Operations that make a new picture triple (bitmap, mask, alpha channel) from an existing one
// or change one in place: scaling (nearest or smooth, 16.16 fixed point), affine transformation
// by a 2x2 matrix, cutting out a region, tinting, blending with a level, a mask from a key
// colour, and filling an integer polygon into a 1-bit mask.
#pragma once
#include <cstdint>
#include "gfx/bitmap.h"

// ---- Shared by the triple operations -----------------------------------------------------

// Whether the width x height rectangle at (x, y) (x, y >= 0) lies inside every plane given (a
// mask or alpha plane without a recorded height is taken to be tall enough).
bool TripleRectInside(const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha, int32_t x, int32_t y,
                      int32_t width, int32_t height);
// Frees the planes of a triple (any may be nullptr).
void FreeTriple(BitMap *bitmap, Mask *mask, AlphaChannel *alpha);
// Locks both bitmaps (src and dst may be the same); when the second cannot be locked the first
// is unlocked again. 1, or 0 with nothing locked. Both are released by two UnLockBitMap calls.
int LockBitMapPair(const BitMap *src, BitMapInfo *si, const BitMap *dst, BitMapInfo *di);
// Stores each new plane in its output, or frees it where the output is nullptr.
void HandOutTriple(BitMap *bitmap, Mask *mask, AlphaChannel *alpha, BitMap **outBitMap, Mask **outMask,
                   AlphaChannel **outAlpha);

// ---- Scaling ------------------------------------------------------------------------------

// Parameter block of ScaleBitMap (filled by ScaleBitMapTriple). Absent planes are nullptr.
struct ScaleParams {
  const uint8_t *src;        // source pixels, already at the source rectangle's corner
  uint8_t *dst;              // destination pixels
  const uint8_t *srcMask;    // source mask row of the corner
  uint8_t *dstMask;
  const uint8_t *srcAlpha;   // source alpha at the corner
  uint8_t *dstAlpha;
  int32_t srcMaskBitX;       // bit offset of the corner in the source mask row
  int32_t srcY;
  int32_t srcWidth, srcHeight;
  int32_t dstWidth, dstHeight;
  int32_t srcModulo, dstModulo;  // row lengths in pixels
  int32_t srcMaskBytesPerRow, dstMaskBytesPerRow;
  int32_t srcAlphaBytesPerRow, dstAlphaBytesPerRow;
  int32_t smooth;
  PixelFormat format;
  int32_t bytesPerPixel;     // 4, 3 or 2; other sizes draw nothing
  const uint32_t *colSteps;  // dstWidth + 1 entries (ScaleStepTables)
  const uint32_t *rowSteps;  // dstHeight + 1 entries
};

// Scales the triple to newWidth x newHeight. With a target bitmap only the colour pixels are
// scaled into its top left corner and nothing is stored in the outputs; otherwise new planes
// are made for the planes the source has (a mask when srcMask, an alpha channel when srcAlpha)
// and stored. A new width or height below 1 returns 0 and stores nothing. 0, 1000 or 1152.
int ScaleBitMapTriple(const BitMap *src, const Mask *srcMask, const AlphaChannel *srcAlpha, int32_t sx,
                      int32_t sy, BitMap *target, int32_t srcWidth, int32_t srcHeight, int32_t newWidth,
                      int32_t newHeight, int smooth, BitMap **outBitMap, Mask **outMask,
                      AlphaChannel **outAlpha);
// Scales the planes the block names (the step tables must be filled for its sizes).
void ScaleBitMap(const ScaleParams *p);
// The process-wide step tables grown to at least (cols + 1) and (rows + 1) entries and filled
// for the block's sizes and smooth flag; sets p->colSteps and p->rowSteps. 0 or 1000.
int ScaleStepTables(ScaleParams *p);
// Frees both step tables (shutdown); the next scaling allocates them again.
void FreeStepTables(void);

// ---- Transformation ----------------------------------------------------------------------

// x' = a x + c y, y' = b x + d y.
struct Matrix2D {
  double a, b, c, d;
};

// Bounding box of the transformed width x height rectangle; minX and minY may be nullptr.
void TransformedSize(const Matrix2D *m, int32_t width, int32_t height, int32_t *newWidth, int32_t *newHeight,
                     double *minX, double *minY);

struct TransformParams {
  const uint8_t *src;  // source origin
  int32_t srcModulo;   // pixels
  int32_t srcWidth, srcHeight;
  const uint8_t *srcMask;   // row 0 of the source rectangle, bit offset srcMaskBitX
  int32_t srcMaskBitX, srcMaskBytesPerRow;
  const uint8_t *srcAlpha;  // at the source rectangle's corner
  int32_t srcAlphaBytesPerRow;
  uint8_t *dst;
  int32_t dstModulo;
  int32_t dstWidth, dstHeight;
  uint8_t *dstMask;
  int32_t dstMaskBytesPerRow;
  uint8_t *dstAlpha;
  int32_t dstAlphaBytesPerRow;
  PixelFormat format;
  int32_t bytesPerPixel;
  Matrix2D m;
  double tx, ty;  // translation of the forward map
  int32_t smooth;
};

// Transforms the width x height rectangle at (sx, sy) of the triple by the matrix into new
// planes that start at (0, 0): a bitmap (when src is given), and an alpha channel when the
// source has one, else a mask; the uncovered corners stay transparent. 0, 1000, 1152, or 1055
// for a singular (or not finite) matrix.
int TransformBitMapTriple(const BitMap *src, const Mask *srcMask, const AlphaChannel *srcAlpha, int32_t sx,
                          int32_t sy, int32_t width, int32_t height, const Matrix2D *m, int smooth,
                          BitMap **outBitMap, Mask **outMask, AlphaChannel **outAlpha, int32_t *newWidth,
                          int32_t *newHeight);
// Inverse-maps every destination pixel of the transformed area. Returns 0, or 1055 when the
// matrix is singular (nothing is drawn then).
int TransformBitMap(const TransformParams *p);

// ---- Other triple operations ---------------------------------------------------------------

// New planes (those the source has) of width x height holding the region at (x, y). 0, 1000,
// or 1055 when the region does not lie inside the source.
int CutBitMapRegion(const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha, int32_t x, int32_t y,
                    int32_t width, int32_t height, BitMap **outBitMap, Mask **outMask, AlphaChannel **outAlpha);
// Moves every pixel of the rectangle toward colour 0xRRGGBB by level / 256. 0 or 1152.
int TintBitMapRect(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                   int32_t level);
// Draws the source over the destination with opacity level (0..255): through the source alpha
// scaled by level / 255 when given, else blended where the source mask is set. 0 or 1152.
int BltBitMapTransparent(BitMap *dst, const BitMap *src, const Mask *srcMask, int32_t dx, int32_t dy, int32_t sx,
                         int32_t sy, int32_t width, int32_t height, int32_t level, const AlphaChannel *srcAlpha,
                         int32_t alphaWidth, int32_t alphaHeight);
// A new mask of width x height, set where the pixel differs from the key colour 0xRRGGBB (the
// spare byte of 32-bit pixels ignored); nullptr when the lock or the allocation fails.
Mask *MaskFromColor(const BitMap *bitmap, int32_t width, int32_t height, uint32_t keyRgb);
// Fills the polygon (count pairs of x, y) into a mask of width x height, clipped to it. scratch
// holds at least count integers.
void FillPolygonMask(uint8_t *mask, int32_t bytesPerRow, int32_t width, int32_t height, int32_t *scratch,
                     const int32_t *points, int32_t count);
