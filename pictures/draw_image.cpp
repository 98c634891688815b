// The picture of one shape: shadow, edge and body drawn into a new bitmap with a mask or an
// alpha channel; hard-edged through the plotter, anti-aliased through coverage composition.
#include <cstring>

#include "gfx/coverage.h"
#include "gfx/draw_routines.h"
#include "pictures/draw_compose.h"
#include "pictures/draw_render.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000 };

// The fill picture of a gradient or texture fill: the rectangle (x, y, width, height) of a new
// bitmap of pictureWidth x pictureHeight painted. 0 with *out set, or an error.
static int MakeFillPicture(const ShapeRecord *rec, int32_t pictureWidth, int32_t pictureHeight, int32_t x, int32_t y,
                           int32_t width, int32_t height, BitMap **out) {
  *out = nullptr;
  if (rec->fillStyle != FILLGRADIENT && rec->fillStyle != FILLTEXTURE) return 0;
  BitMap *fill = AllocBitMap(pictureWidth, pictureHeight);
  if (!fill) return ERR_NOMEM;
  memset(fill->pixels, 0, (size_t)fill->bytesPerRow * (size_t)fill->height);
  const DrawStyle *st = rec->style;
  if (rec->fillStyle == FILLGRADIENT) {
    DrawGradient(fill, x, y, width, height, st->gradientStart & 0xFFFFFF, st->gradientEnd & 0xFFFFFF,
                 st->gradientAngle);
  } else {
    const int rc = TileBrushScaled(fill, x, y, width, height, st, rec->transform.m, 0);
    if (rc) {
      FreeBitMap(fill);
      return rc;
    }
  }
  *out = fill;
  return 0;
}

// Filled anti-aliased coverage of an outline in a box of its size plus 5 (points moved by 2).
static CoverageImage *FilledCoverage(const int32_t *points, int32_t count, int32_t width, int32_t height, int *rc) {
  *rc = 0;
  int32_t moved[2 * DRAW_POINT_CAPACITY];
  if (count > DRAW_POINT_CAPACITY) count = DRAW_POINT_CAPACITY;
  uint8_t *data;
  int32_t step;
  CoverageImage *cov = CreateCoverageMask(width + 5, height + 5, &data, &step);
  if (!cov) {
    *rc = ERR_NOMEM;
    return nullptr;
  }
  for (int32_t i = 0; i < 2 * count; i++) moved[i] = points[i] + 2;
  const int r = MaskPolygon(cov, moved, count, 1, 0);
  if (r == ERR_NOMEM) {
    FreeCoverageMask(cov);
    *rc = r;
    return nullptr;
  }
  return cov;
}

int RenderShapeImage(ShapeRecord *rec, const int32_t *body, int32_t bodyCount, const int32_t *edge,
                     int32_t edgeCount, int32_t edgeX, int32_t edgeY, int32_t shadowX, int32_t shadowY,
                     int32_t edgeWidth, int32_t edgeHeight, BitMap **outBitMap, Mask **outMask,
                     AlphaChannel **outAlpha) {
  *outBitMap = nullptr;
  *outMask = nullptr;
  *outAlpha = nullptr;
  const int32_t T = (int32_t)(rec->colour >> 24);
  const uint32_t rgb = rec->colour & 0xFFFFFF;
  const int32_t iw = rec->imageWidth, ih = rec->imageHeight;
  const bool withAlpha = T || rec->antialias || (rec->edgeOn && rec->edgeTransparency) ||
                         (rec->shadowOn && rec->shadowTransparency);
  const bool filled = rec->fillStyle != FILLNONE;
  const int32_t bw = rec->bodyWidth, bh = rec->bodyHeight;
  const bool aa = rec->antialias != 0;
  // A lone anti-aliased body fills the whole picture: every pixel gets written.
  const bool bodyOnly = aa && filled && !rec->shadowOn && !rec->edgeOn && bw + 5 == iw && bh + 5 == ih &&
                        rec->bodyX == 2 && rec->bodyY == 2;
  BitMap *bm;
  Mask *mask;
  AlphaChannel *alpha;
  if (AllocShapeTriple(iw, ih, withAlpha, bodyOnly, &bm, &mask, &alpha)) return ERR_NOMEM;
  BitMap *fill = nullptr;
  int rc = aa ? MakeFillPicture(rec, bw + 5, bh + 5, 0, 0, bw + 5, bh + 5, &fill)
              : MakeFillPicture(rec, iw, ih, rec->bodyX, rec->bodyY, bw, bh, &fill);
  const int32_t *shadowPts = rec->edgeOn ? edge : body;
  const int32_t shadowCount = rec->edgeOn ? edgeCount : bodyCount;
  const int32_t shadowW = rec->edgeOn ? edgeWidth : bw, shadowH = rec->edgeOn ? edgeHeight : bh;
  if (rc) {
    // Nothing drawn.
  } else if (!aa) {
    if (rec->shadowOn)
      rc = DrawShapePath(shadowX, shadowY, shadowW, shadowH, bm, shadowPts, shadowCount, rec->shadowRGB,
                         rec->shadowTransparency, MASKVISIBLE, filled, mask, alpha, nullptr, nullptr, 0, 1, 0,
                         rec->style);
    if (!rc && rec->edgeOn)
      rc = DrawShapePath(edgeX, edgeY, edgeWidth, edgeHeight, bm, edge, edgeCount, rec->edgeRGB,
                         rec->edgeTransparency, MASKVISIBLE, filled, mask, alpha, nullptr, nullptr, 0, 1, 0,
                         rec->style);
    if (!rc)
      rc = DrawShapePath(rec->bodyX, rec->bodyY, bw, bh, bm, body, bodyCount, rgb, T, MASKVISIBLE, filled, mask,
                         alpha, nullptr, fill, 0, 1, 0, rec->style);
  } else if (filled) {
    // Coverage boxes are 5 larger and start 2 up and left of their outline's position.
    CoverageImage *bodyCov = FilledCoverage(body, bodyCount, bw, bh, &rc);
    CoverageImage *edgeCov = !rc && rec->edgeOn ? FilledCoverage(edge, edgeCount, edgeWidth, edgeHeight, &rc) : nullptr;
    if (!rc) {
      const CoverageImage *sc = rec->edgeOn ? edgeCov : bodyCov;
      if (rec->shadowOn)
        ComposeCoverage(bm, alpha, shadowX - 2, shadowY - 2, sc->pixels, sc->rowStep, sc->width, sc->height,
                        rec->shadowRGB, nullptr, 255 - rec->shadowTransparency, 1);
      if (rec->edgeOn)
        ComposeCoverage(bm, alpha, edgeX - 2, edgeY - 2, edgeCov->pixels, edgeCov->rowStep, edgeCov->width,
                        edgeCov->height, rec->edgeRGB, nullptr, 255 - rec->edgeTransparency, !rec->shadowOn);
      ComposeCoverage(bm, alpha, rec->bodyX - 2, rec->bodyY - 2, bodyCov->pixels, bodyCov->rowStep, bodyCov->width,
                      bodyCov->height, rgb, fill, 255 - T, !rec->shadowOn && !rec->edgeOn);
    }
    FreeCoverageMask(bodyCov);
    FreeCoverageMask(edgeCov);
  } else {
    int32_t *moved = (int32_t *)MemAlloc(sizeof(int32_t) * 2 * (size_t)(bodyCount > 0 ? bodyCount : 1), 0);
    if (!moved) {
      rc = ERR_NOMEM;
    } else {
      for (int32_t i = 0; i < 2 * bodyCount; i++) moved[i] = body[i] + 2;
      rc = DrawShapePath(rec->bodyX - 2, rec->bodyY - 2, bw + 5, bh + 5, bm, moved, bodyCount, rgb, T, MASKVISIBLE,
                         0, mask, alpha, nullptr, nullptr, 0, 1, 1, rec->style);
      MemFree(moved);
    }
  }
  FreeBitMap(fill);
  if (rc) {
    FreeTriple(bm, mask, alpha);
    return rc;
  }
  *outBitMap = bm;
  *outMask = mask;
  *outAlpha = alpha;
  return 0;
}
