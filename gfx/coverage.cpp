// Coverage drawing: the pixel plotter with its line drivers, and the coverage-image routines
// over OpenCV. The OpenCV calls (gfx/coverage_raster.cpp) are the only place outside the
// interpreter where an exception can arise; they are caught there and turned into status codes.
#include "gfx/coverage.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "gfx/bitmap.h"
#include "gfx/coverage_raster.h"
#include "gfx/pixel_layout.h"
#include "runtime/memory.h"

// ---- The plotter ----------------------------------------------------------------------------

template <class L>
static void PlotPixel(PlotContext *ctx, uint8_t *p, int32_t x, int32_t y) {
  typename L::Raw colour;
  uint32_t rgb;
  if (ctx->pattern) {
    const int32_t modulo = L::kBytes == 3 ? ctx->dstModulo : ctx->patternModulo;
    colour = L::Load(ctx->pattern + ((ptrdiff_t)y * modulo + x) * L::kBytes);
    rgb = L::ToRGB(colour);
  } else {
    colour = (typename L::Raw)ctx->colour;
    rgb = (ctx->r & 255) << 16 | (ctx->g & 255) << 8 | (ctx->b & 255);
  }
  if (ctx->coverage >= 255 || ctx->dstAlpha) {
    L::Store(p, colour);
    return;
  }
  L::Store(p, L::FromRGB(MixRGB(L::ToRGB(L::Load(p)), rgb, ctx->coverage)));
}

void PlotCoverage(PlotContext *ctx, int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= ctx->dstWidth || y >= ctx->dstHeight) return;
  if (ctx->clip) {
    const int32_t cx = x - ctx->clipX, cy = y - ctx->clipY;
    if (cx < 0 || cy < 0 || cx >= ctx->clipWidth || cy >= ctx->clipHeight) return;
    if (ctx->clipMask && !MaskRowBit(ctx->clipMask + (ptrdiff_t)cy * ctx->clipMaskBytesPerRow, cx))
      return;
  }
  if (ctx->coverage > 0) {
    uint8_t *p = ctx->dst + ((ptrdiff_t)y * ctx->dstModulo + x) * ctx->bytesPerPixel;
    if (ctx->bytesPerPixel == PixelFormatBytes(ctx->format))
      WithFormat(ctx->format, [&](auto layout) { PlotPixel<decltype(layout)>(ctx, p, x, y); });
    if (ctx->dstAlpha) ctx->dstAlpha[(ptrdiff_t)y * ctx->dstAlphaBytesPerRow + x] = (uint8_t)(ctx->coverage > 255 ? 255 : ctx->coverage);
  }
  if (ctx->dstMask) {
    ApplyMaskMode(ctx->dstMask + (ptrdiff_t)y * ctx->dstMaskBytesPerRow + (x >> 3), (uint8_t)(0x80 >> (x & 7)),
                  (uint32_t)ctx->maskMode);
  }
}

void PlotCoverageMask(const uint8_t *mask, int32_t x, int32_t y, PlotContext *ctx, int32_t width, int32_t height,
                      int32_t maskBytesPerRow, int flat) {
  if (!mask || !ctx) return;
  for (int32_t j = 0; j < height; j++) {
    const uint8_t *row = mask + (ptrdiff_t)j * maskBytesPerRow;
    for (int32_t i = 0; i < width; i++) {
      if (!row[i]) continue;
      if (!flat) ctx->coverage = ctx->level != 255 ? ctx->level * row[i] / 255 : row[i];
      PlotCoverage(ctx, x + i, y + j);
    }
  }
}

static inline int32_t ByLevel(const PlotContext *ctx, int32_t c) { return ctx->level != 255 ? c * ctx->level / 255 : c; }

void DrawLineAA(PlotContext *ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (x1 == x2 && y1 == y2) {
    ctx->coverage = ByLevel(ctx, 255);
    PlotCoverage(ctx, x1, y1);
    return;
  }
  const int64_t adx = std::llabs((int64_t)x2 - x1), ady = std::llabs((int64_t)y2 - y1);
  // Walk the major axis from its lower end; the minor coordinate runs in 16.16 fixed point.
  const bool xMajor = adx > ady;
  int64_t a0 = xMajor ? x1 : y1, a1 = xMajor ? x2 : y2, b0 = xMajor ? y1 : x1, b1 = xMajor ? y2 : x2;
  if (a0 > a1) {
    std::swap(a0, a1);
    std::swap(b0, b1);
  }
  const int64_t slope = ((b1 - b0) * 65536) / (a1 - a0);
  int64_t b = b0 * 65536;
  // Only the part of the major axis that lies on the destination is walked.
  const int64_t limit = (xMajor ? ctx->dstWidth : ctx->dstHeight) - 1;
  if (a0 < 0) {
    b += slope * -a0;
    a0 = 0;
  }
  if (a1 > limit) a1 = limit;
  for (int64_t a = a0; a <= a1; a++, b += slope) {
    const int32_t f = (int32_t)((b >> 8) & 0xFF);
    const int64_t m = b >> 16;
    if (m < -1 || m > INT32_MAX - 1) continue;
    ctx->coverage = ByLevel(ctx, 255 - f);
    if (xMajor) PlotCoverage(ctx, (int32_t)a, (int32_t)m);
    else PlotCoverage(ctx, (int32_t)m, (int32_t)a);
    ctx->coverage = ByLevel(ctx, f);
    if (xMajor) PlotCoverage(ctx, (int32_t)a, (int32_t)(m + 1));
    else PlotCoverage(ctx, (int32_t)(m + 1), (int32_t)a);
  }
}

// The steps of a line's major axis a (from *a to *aEnd, major extent da, minor extent db, the
// minor coordinate *b moving by bs, Bresenham's error *err) that lie before 0 or from `size` on
// plot nothing: the walk starts at 0 with the minor coordinate and error it would have there,
// and ends at size - 1.
static void SkipToArea(int64_t *a, int64_t *aEnd, int64_t *b, int64_t bs, int64_t *err, int64_t da, int64_t db,
                       int64_t size) {
  if (*aEnd > size - 1) *aEnd = size - 1;
  if (*a >= 0 || da == 0) return;
  // After k steps the minor coordinate moved floor((2 db k + da - 1) / (2 da)) times.
  const __int128 k = -*a;
  const __int128 moves = (2 * (__int128)db * k + da - 1) / (2 * (__int128)da);
  *b += bs * (int64_t)moves;
  *err = (int64_t)(2 * (__int128)db * (k + 1) - da - 2 * (__int128)da * moves);
  *a = 0;
}

void DrawThickLine(PlotContext *ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const int64_t dx = std::llabs((int64_t)x2 - x1), dy = std::llabs((int64_t)y2 - y1);
  const double angle = std::atan2((double)dy, (double)dx);
  const bool steep = dx < dy;
  const double t = steep ? std::sin(angle) : std::cos(angle);
  int64_t n = 0;
  if (t != 0) {
    const double v = ctx->thickness / t;
    n = v >= 1e9 ? 1000000000 : (int64_t)v;
  }
  if ((dx == 0 && dy == 0) || n <= 0) n = 1;
  const int64_t offset = n / 2;
  // Runs across the destination only.
  const int64_t runLimit = (steep ? ctx->dstWidth : ctx->dstHeight);
  if (steep) {
    int64_t x = y1 <= y2 ? x1 : x2, y = y1 <= y2 ? y1 : y2, yEnd = y1 <= y2 ? y2 : y1;
    const int64_t xEnd = y1 <= y2 ? x2 : x1, xs = xEnd >= x ? 1 : -1;
    int64_t err = 2 * dx - dy;
    SkipToArea(&y, &yEnd, &x, xs, &err, dy, dx, ctx->dstHeight);
    for (; y <= yEnd; y++) {
      if (y >= 0 && y < ctx->dstHeight) {
        int64_t from = x - offset, to = from + n - 1;
        if (from < 0) from = 0;
        if (to > runLimit - 1) to = runLimit - 1;
        for (int64_t i = from; i <= to; i++) PlotCoverage(ctx, (int32_t)i, (int32_t)y);
      }
      if (err > 0) {
        x += xs;
        err += 2 * (dx - dy);
      } else {
        err += 2 * dx;
      }
    }
  } else {
    int64_t x = x1 <= x2 ? x1 : x2, y = x1 <= x2 ? y1 : y2, xEnd = x1 <= x2 ? x2 : x1;
    const int64_t yEnd = x1 <= x2 ? y2 : y1, ys = yEnd >= y ? 1 : -1;
    int64_t err = 2 * dy - dx;
    SkipToArea(&x, &xEnd, &y, ys, &err, dx, dy, ctx->dstWidth);
    for (; x <= xEnd; x++) {
      if (x >= 0 && x < ctx->dstWidth) {
        int64_t from = y - offset, to = from + n - 1;
        if (from < 0) from = 0;
        if (to > runLimit - 1) to = runLimit - 1;
        for (int64_t i = from; i <= to; i++) PlotCoverage(ctx, (int32_t)x, (int32_t)i);
      }
      if (err > 0) {
        y += ys;
        err += 2 * (dy - dx);
      } else {
        err += 2 * dy;
      }
    }
  }
}

// ---- Coverage images over OpenCV ------------------------------------------------------------

static int gCoverageStatus = 0;

int CoverageStatus(void) { return gCoverageStatus; }

CoverageImage *CreateCoverageMask(int32_t width, int32_t height, uint8_t **data, int32_t *rowStep) {
  if (data) *data = nullptr;
  if (rowStep) *rowStep = 0;
  if (width < 1 || height < 1 || width > INT32_MAX - 3) return nullptr;
  const int32_t step = (width + 3) & ~3;
  if ((uint64_t)step * (uint64_t)height > kMaxPlaneBytes) return nullptr;
  CoverageImage *img = (CoverageImage *)MemAlloc(sizeof(CoverageImage), 1);
  if (!img) return nullptr;
  img->pixels = (uint8_t *)MemAlloc((size_t)step * (size_t)height, 1);
  if (!img->pixels) {
    MemFree(img);
    return nullptr;
  }
  img->width = width;
  img->height = height;
  img->rowStep = step;
  if (data) *data = img->pixels;
  if (rowStep) *rowStep = step;
  return img;
}

void FreeCoverageMask(CoverageImage *image) {
  gCoverageStatus = 0;
  if (!image) return;
  MemFree(image->pixels);
  MemFree(image);
}

// The drawing library's failure as our code: memory 1000, anything else 1055.
static int FailureCode(int status) {
  gCoverageStatus = status < 0 ? status : cv::Error::StsError;
  return status == cv::Error::StsNoMem ? 1000 : 1055;
}

int MaskLine(CoverageImage *image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int aa, int32_t thickness) {
  gCoverageStatus = 0;
  if (!image || !image->pixels) return 1055;
  if (thickness > MAX_COVERAGE_THICKNESS) {
    gCoverageStatus = cv::Error::StsOutOfRange;
    return 1055;
  }
  if (thickness < 1) thickness = 1;
  const int status = RasterLine(image, x1, y1, x2, y2, thickness, aa ? cv::LINE_AA : cv::LINE_8);
  return status ? FailureCode(status) : 0;
}

// One clipping pass of a closed polygon against the half-plane sign * (coordinate axis) <=
// sign * value; returns the output count (out holds 2 x n points).
static int32_t ClipPass(const double *in, int32_t n, double *out, int axis, double value, double sign) {
  int32_t m = 0;
  for (int32_t i = 0; i < n; i++) {
    const double *a = in + 2 * i, *b = in + 2 * ((i + 1) % n);
    const bool ina = sign * a[axis] <= sign * value, inb = sign * b[axis] <= sign * value;
    if (ina) {
      out[2 * m] = a[0];
      out[2 * m + 1] = a[1];
      m++;
    }
    if (ina != inb) {
      const double t = (value - a[axis]) / (b[axis] - a[axis]);
      out[2 * m + axis] = value;
      out[2 * m + 1 - axis] = a[1 - axis] + t * (b[1 - axis] - a[1 - axis]);
      m++;
    }
  }
  return m;
}

// The drawing routines walk every row (and edge) of a polygon, however far it reaches outside
// the image. A polygon with points far outside is therefore first clipped to the image grown
// by a margin wider than the line; what is cut off lies outside the image. Returns the number
// of points written to *out (MemAlloc'd), 0 when nothing remains, -1 when memory runs out.
static int32_t ClipFarPolygon(const int32_t *points, int32_t count, int32_t width, int32_t height, int32_t margin,
                              cv::Point **out) {
  double *a = (double *)MemAlloc(sizeof(double) * 2 * 16 * (size_t)count, 0);
  double *b = (double *)MemAlloc(sizeof(double) * 2 * 16 * (size_t)count, 0);
  if (!a || !b) {
    MemFree(a);
    MemFree(b);
    return -1;
  }
  for (int32_t i = 0; i < 2 * count; i++) a[i] = points[i];
  int32_t n = count;
  n = ClipPass(a, n, b, 0, -margin, -1);
  n = ClipPass(b, n, a, 0, (double)width + margin, 1);
  n = ClipPass(a, n, b, 1, -margin, -1);
  n = ClipPass(b, n, a, 1, (double)height + margin, 1);
  MemFree(b);
  cv::Point *pts = n > 0 ? (cv::Point *)MemAlloc(sizeof(cv::Point) * (size_t)n, 0) : nullptr;
  if (n > 0 && !pts) {
    MemFree(a);
    return -1;
  }
  for (int32_t i = 0; i < n; i++) pts[i] = cv::Point((int)std::lround(a[2 * i]), (int)std::lround(a[2 * i + 1]));
  MemFree(a);
  *out = pts;
  return n;
}

int MaskPolygon(CoverageImage *image, const int32_t *points, int32_t count, int aa, int32_t thickness) {
  gCoverageStatus = 0;
  if (!image || !image->pixels) return 1055;
  if (!points || count < 1) return 0;
  if (thickness > MAX_COVERAGE_THICKNESS || thickness < 0) {
    gCoverageStatus = cv::Error::StsOutOfRange;
    return 1055;
  }
  const int32_t margin = thickness + 4;
  bool far = false;
  for (int32_t i = 0; i < count && !far; i++)
    far = points[2 * i] < -margin || points[2 * i] > (int64_t)image->width + margin || points[2 * i + 1] < -margin ||
          points[2 * i + 1] > (int64_t)image->height + margin;
  cv::Point *pts = nullptr;
  if (far) {
    if (count > INT32_MAX / 64) return FailureCode(cv::Error::StsNoMem);
    count = ClipFarPolygon(points, count, image->width, image->height, margin, &pts);
    if (count < 0) return FailureCode(cv::Error::StsNoMem);
    if (count == 0) return 0;
  } else {
    pts = (cv::Point *)MemAlloc(sizeof(cv::Point) * (size_t)count, 0);
    if (!pts) return FailureCode(cv::Error::StsNoMem);
    for (int32_t i = 0; i < count; i++) pts[i] = cv::Point(points[2 * i], points[2 * i + 1]);
  }
  const int status = RasterPolygon(image, pts, count, thickness, aa ? cv::LINE_AA : cv::LINE_8);
  MemFree(pts);
  return status ? FailureCode(status) : 0;
}
