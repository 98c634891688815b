// Per-pixel work of the transition effects PIXELZOOM, DISSOLVE, ROLL/WALLPAPER, WATER and
// STRUDEL (swirl). The effect routines own the frame loop, the buffers and the parameters; a
// kernel turns one frame's parameters into pixels. Two pictures are mixed per channel with
// d = b + (((a - b) * t) >> 8); a level of 255 gives the target picture exactly.
#pragma once
#include <cstdint>
#include "gfx/pixels.h"

// Source and destination planes shared by the records (pixel row lengths in pixels).
struct TransitionPlanes {
  const uint8_t *src;
  uint8_t *dst;
  const uint8_t *srcMask;  // or nullptr
  uint8_t *dstMask;        // or nullptr
  const uint8_t *srcAlpha; // or nullptr
  uint8_t *dstAlpha;       // or nullptr
  int32_t srcModulo, dstModulo;
  int32_t srcMaskBytesPerRow, dstMaskBytesPerRow;
  int32_t srcAlphaBytesPerRow, dstAlphaBytesPerRow;
  int32_t width, height;
  PixelFormat format;
};

// Pixel zoom: N x N blocks, each filled with its top-left source pixel. A block size below 1
// draws nothing.
void PixelZoom32(const TransitionPlanes *p, int32_t blockSize);
void PixelZoom24(const TransitionPlanes *p, int32_t blockSize);
void PixelZoom16(const TransitionPlanes *p, int32_t blockSize);

struct DissolveRecord {
  const uint8_t *srcPlane;  // mask or alpha plane, or nullptr
  uint8_t *dstPlane;
  int32_t width, height;
  int32_t srcBytesPerRow, dstBytesPerRow;
  const uint8_t *thresholds;  // width x height bytes, row after row
  int32_t alpha;              // 1: 8-bit planes, 0: 1-bit masks
  int32_t direction;          // 1: pixels vanish as the step grows, 0: they appear
};
void DissolveStep(const DissolveRecord *r, int32_t step);

struct RollRecord {
  TransitionPlanes planes;
  const double *lines;  // one entry per rolled line
  int32_t count;        // n
  int32_t position;     // p
  int32_t columns;      // non-zero: columns, 0: rows
  int32_t bytesPerPixel;
  // Results of RollStep.
  int32_t copied;
  int32_t firstLine;    // -100000 when none
};
// Copies the rectangle (sx, sy, width, height) to (dx, dy), honouring the source mask or alpha.
int RollLine32(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t dx, int32_t dy);
int RollLine24(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t dx, int32_t dy);
int RollLine16(const TransitionPlanes *p, int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t dx, int32_t dy);
void RollStep(RollRecord *r);

// Entries of the sine and cosine tables: entry k = sin(k * 0.001).
enum { TRANSITION_TABLE_SIZE = 6300 };

struct WaterRecord {
  const uint8_t *target;  // read
  const uint8_t *start;   // read
  uint8_t *dst;
  int32_t targetModulo, startModulo, dstModulo;
  int32_t width, height;
  PixelFormat format;
  int32_t centreX, centreY;
  double wavelength, amplitude, ampPerStep;
  int32_t halfSteps;      // N: the effect runs from step 0 to 2N
  double maxDistance;     // D
  double *sine;           // TRANSITION_TABLE_SIZE entries (WaterWave)
  uint16_t *distance;     // rows 0 .. height / 2 of width entries (WaterWave): row |y| holds the
                          // distances of the two picture rows y rows from the centre row
  int64_t cursor;
  const uint8_t *srcPlane;  // optional source alpha plane
  int32_t srcPlaneBytesPerRow;
  uint8_t *dstPlane;
  int32_t dstPlaneBytesPerRow;
  int32_t reverse;
  double currentAmplitude;  // set by the step
  // Working tables of the step (WaterWave): the displacement factor of every distance, and
  // width x height 4-byte pixels for the start and target pictures mixed.
  double *factors;
  int32_t factorCount;
  uint32_t *mixed;
  int32_t tableWidth, tableHeight;  // the size the tables were built for
};
// Fills the sine table and the distance table (ISqrt of x² + y² from the picture's centre) and
// sets maxDistance when it is 0. 0, or 1000 when a table is larger than the graphics core allows
// or cannot be allocated. WaterFree frees the tables. A step draws nothing unless width and
// height are those the tables were built for.
int WaterWave(WaterRecord *r);
void WaterFree(WaterRecord *r);
// The source point of pixel (x, y) at step s; takes the distance of the next pixel (row after
// row from the cursor).
void WaterPoint(WaterRecord *r, int32_t step, int32_t x, int32_t y, int32_t *sx, int32_t *sy);
void WaterStep32(WaterRecord *r, int32_t step);
void WaterStep24(WaterRecord *r, int32_t step);
void WaterStep16(WaterRecord *r, int32_t step);

struct StrudelRecord {
  const uint8_t *target;
  const uint8_t *start;
  uint8_t *dst;
  int32_t targetModulo, startModulo, dstModulo;
  int32_t width, height;
  PixelFormat format;
  double *sine, *cosine;  // TRANSITION_TABLE_SIZE entries each (StrudelRotate)
  const uint8_t *srcPlane;
  int32_t srcPlaneBytesPerRow;
  uint8_t *dstPlane;
  int32_t dstPlaneBytesPerRow;
  int32_t reverse;
  // Set-up tables (StrudelRotate), for the size width x height of that call: the integer
  // radius of every pixel inside the swirl (0xFFFF outside it), row after row; the columns of
  // every row from its first to past its last pixel inside (two entries a row, 0 0 for none);
  // and the stretched offset of every column and row from the centre.
  uint16_t *radii;
  int32_t *spans;
  double *offsetX, *offsetY;
  int32_t tableWidth, tableHeight;
  // Working tables of the step: the cosine and sine of the turn of every integer radius, and
  // width x height 4-byte pixels for the start and target pictures mixed.
  double *turnCos, *turnSin;
  int32_t radiusCount;
  uint32_t *mixed;
};
// Fills the sine and cosine tables and the tables of the pixels' places for width x height.
// 0, or 1000 when a table is larger than the graphics core allows or cannot be allocated (or the
// longer side exceeds 131069 pixels, past the range of the radius table).
// StrudelFree frees them all.
int StrudelRotate(StrudelRecord *r);
void StrudelFree(StrudelRecord *r);
// Step s from 0 to 720; nothing is drawn unless width and height are those of StrudelRotate.
void StrudelStep32(StrudelRecord *r, int32_t step);
void StrudelStep24(StrudelRecord *r, int32_t step);
void StrudelStep16(StrudelRecord *r, int32_t step);
