// Coverage drawing: shapes are drawn into an 8-bit coverage image (0 nothing, 255 covered) by
// OpenCV's line and polygon routines, then plotted onto a bitmap pixel by pixel, each pixel
// moved toward the colour (or a pattern picture) by its coverage, with clipping and the
// target's own mask and alpha plane kept up to date. The plotter also draws anti-aliased and
// thick lines directly.
#pragma once
#include <cstdint>
#include "gfx/pixels.h"

// Filled by the caller; the fields up to mask mode are read by the plotter in this order.
struct PlotContext {
  uint8_t *dst;             // destination pixels (origin)
  int32_t dstModulo;        // row length in pixels
  int32_t bytesPerPixel;    // 2, 3 or 4
  const uint8_t *pattern;   // pattern pixels of the same layout, or nullptr for the plain colour
  int32_t patternModulo;    // row length in pixels (3-byte targets use dstModulo)
  uint8_t *dstMask;         // 1-bit plane or nullptr
  int32_t dstMaskBytesPerRow;
  uint8_t *dstAlpha;        // 8-bit plane or nullptr
  int32_t dstAlphaBytesPerRow;
  int32_t thickness;        // thick lines
  PixelFormat format;
  uint32_t colour;          // the colour as a pixel value of the target (RGBToPixel)
  int32_t coverage;         // 0..255, set per pixel by the drivers
  int32_t level;            // overall opacity 0..255
  uint32_t r, g, b;         // the colour's channels
  int32_t clip;             // non-zero: clip to the rectangle and clip mask below
  int32_t clipX, clipY, clipWidth, clipHeight;
  const uint8_t *clipMask;  // addressed from the clip rectangle's corner, or nullptr
  int32_t clipMaskBytesPerRow;
  int32_t maskMode;         // MaskMode applied to the destination mask for every plotted pixel
  // Size of the destination: every plot outside 0..width-1, 0..height-1 is dropped, with or
  // without the clip flag.
  int32_t dstWidth, dstHeight;
};

// Plots one pixel with ctx->coverage. Coverage 0 leaves the pixel and the alpha byte as they
// are (the mask mode still applies).
void PlotCoverage(PlotContext *ctx, int32_t x, int32_t y);
// Plots (x + i, y + j) for every non-zero byte of a width x height coverage plane. flat: the
// context's coverage as it is; else the byte, scaled by level / 255 when the level is not 255.
void PlotCoverageMask(const uint8_t *mask, int32_t x, int32_t y, PlotContext *ctx, int32_t width, int32_t height,
                      int32_t maskBytesPerRow, int flat);
// Anti-aliased one-pixel line: coverage pairs (255 - f, f) on the two pixels across the line.
void DrawLineAA(PlotContext *ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Line of ctx->thickness made of pixel runs, each plotted with ctx->coverage.
void DrawThickLine(PlotContext *ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// An 8-bit coverage image over memory of our own: rows rowStep bytes apart (a multiple of 4).
struct CoverageImage {
  uint8_t *pixels;
  int32_t width, height, rowStep;
};
// Largest line thickness the mask routines draw.
enum { MAX_COVERAGE_THICKNESS = 255 };

// A zeroed coverage image; stores its pixel pointer and row step (both may be nullptr).
// nullptr when it can't be made.
CoverageImage *CreateCoverageMask(int32_t width, int32_t height, uint8_t **data, int32_t *rowStep);
// Resets the status word and frees the image (nullptr is ignored).
void FreeCoverageMask(CoverageImage *image);
// Line of value 255 (anti-aliased when aa is set, else 8-connected) of the thickness (below 1
// draws 1). Returns 0; 1055 and nothing drawn for a thickness above 255; 1000 or 1055 when the
// drawing routine fails (its status is kept, see CoverageStatus).
int MaskLine(CoverageImage *image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int aa, int32_t thickness);
// Thickness non-zero: the closed outline as lines of that thickness (above 255 or negative:
// 1055, nothing drawn); 0: the filled polygon. points holds count pairs x, y; no points draw
// nothing. Results as MaskLine.
int MaskPolygon(CoverageImage *image, const int32_t *points, int32_t count, int aa, int32_t thickness);
// The status of the last mask routine: 0, or the negative code of the drawing library.
int CoverageStatus(void);
