// Lines: a thin opaque line straight into the window and the back buffer, a thin line straight
// into a selected brush, mask or alpha channel, everything else through a small picture.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "gfx/draw_routines.h"
#include "pictures/draw_render.h"

enum { ERR_NOMEM = 1000, MAX_LINE_THICKNESS = 64 };

// Thin line onto the display: clipped, then drawn into the window and the back buffer. False
// when a sprite lies under it (the picture path draws it then).
static bool ThinLineOnDisplay(const DrawTarget *tg, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
  const DrawClip clip = TargetClipRect(tg);
  if (!ClipLineSpan(&x1, &y1, &x2, &y2, clip.x, clip.x + clip.width - 1)) return true;
  if (!ClipLineSpan(&y1, &x1, &y2, &x2, clip.y, clip.y + clip.height - 1)) return true;
  const DrawTargetHooks *hooks = tg->hooks;
  const int32_t lx = x1 < x2 ? x1 : x2, ly = y1 < y2 ? y1 : y2;
  if (hooks && hooks->overlapsSprites &&
      hooks->overlapsSprites(tg->user, lx, ly, std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1))
    return false;
  if (hooks && hooks->windowDrawLine) hooks->windowDrawLine(tg->user, x1, y1, x2, y2, rgb);
  if (tg->bitmap) DrawBitMapLine(tg->bitmap, x1, y1, x2, y2, rgb);
  return true;
}

int DrawLineShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t boxX,
                  int32_t boxY, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, int32_t thickness,
                  const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos) {
  const DrawStyle st = style ? *style : *GetDrawStyle();
  const ShapeTransform tf = transform ? *transform : IdentityTransform();
  const int32_t T = (int32_t)(colour >> 24);
  const uint32_t rgb = colour & 0xFFFFFF;
  const int aa = (st.formStyle & FORM_ANTIALIAS) != 0;
  const int kind = target->kind;
  const bool offScreen = IsOffScreenTarget(target);
  const int prc = PrepareDrawTarget(target);
  if (prc) return prc;
  // The box corner is kept within the same bounds as the resolved end points.
  boxX = ClampCoord(boxX);
  boxY = ClampCoord(boxY);
  x1 = ResolveTargetPos(target, 0, x1, 1, tf.anchorX);
  y1 = ResolveTargetPos(target, 1, y1, 1, tf.anchorY);
  x2 = ResolveTargetPos(target, 0, x2, 1, tf.anchorX);
  y2 = ResolveTargetPos(target, 1, y2, 1, tf.anchorY);
  ShapeRecord rec;
  InitShapeRecord(&rec, SHAPE_LINE, layer, layerState, &st, 0, 0, colour, &tf, layerOptions, flags, insertPos);
  rec.thickness = thickness;
  int64_t w = std::llabs((int64_t)x2 - x1) + 1, h = std::llabs((int64_t)y2 - y1) + 1;
  if (!IsIdentityMatrix(tf.m)) {
    if (target->layersOn && !(flags & DRAWFLAG_LAYERSTATE)) {
      // The layer code turns the line itself.
      rec.x = boxX;
      rec.y = boxY;
      rec.width = (int32_t)(w > INT32_MAX ? INT32_MAX : w);
      rec.height = (int32_t)(h > INT32_MAX ? INT32_MAX : h);
      rec.x1 = x1 - boxX;
      rec.y1 = y1 - boxY;
      rec.x2 = x2 - boxX;
      rec.y2 = y2 - boxY;
      return PlaceShapeImage(target, &rec, boxX, boxY, rec.width, rec.height, nullptr, nullptr, nullptr, 1, flags);
    }
    // Both ends turned about the anchor point of the line's box.
    const int64_t px = (x1 < x2 ? x1 : x2) + (int64_t)(w * tf.anchorX), py = (y1 < y2 ? y1 : y2) + (int64_t)(h * tf.anchorY);
    const double *m = tf.m;
    const double limit = (double)kMaxShapeCoordinate;
    const double dx1 = x1 - px, dy1 = y1 - py, dx2 = x2 - px, dy2 = y2 - py;
    const double nx1 = px + std::trunc(m[0] * dx1 + m[2] * dy1), ny1 = py + std::trunc(m[1] * dx1 + m[3] * dy1);
    const double nx2 = px + std::trunc(m[0] * dx2 + m[2] * dy2), ny2 = py + std::trunc(m[1] * dx2 + m[3] * dy2);
    if (!(std::fabs(nx1) < limit && std::fabs(ny1) < limit && std::fabs(nx2) < limit && std::fabs(ny2) < limit))
      return ERR_NOMEM;
    x1 = (int32_t)nx1;
    y1 = (int32_t)ny1;
    x2 = (int32_t)nx2;
    y2 = (int32_t)ny2;
    const double t = std::rint(thickness * std::fabs(m[0]));
    thickness = t > (double)MAX_LINE_THICKNESS ? (int32_t)MAX_LINE_THICKNESS : (int32_t)t;
    w = std::llabs((int64_t)x2 - x1) + 1;
    h = std::llabs((int64_t)y2 - y1) + 1;
  }
  if (thickness < 1) thickness = 1;
  if (thickness > MAX_LINE_THICKNESS) thickness = MAX_LINE_THICKNESS;
  const DrawClip clip = TargetClipRect(target);
  if (!T && !clip.mask && !target->layersOn && kind == DRAWTARGET_DISPLAY && !aa && thickness == 1 &&
      !target->pictureHasAlpha) {
    if (ThinLineOnDisplay(target, x1, y1, x2, y2, rgb)) return 0;
  } else if (offScreen && thickness == 1) {
    const int32_t ends[4] = {x1, y1, x2, y2};
    if (target->bitmap)
      return DrawShapePath(0, 0, 1, 1, target->bitmap, ends, 2, rgb, T, MASKVANILLACOPY, 0, target->mask,
                           target->alpha, &clip, nullptr, 1, 1, aa, &st);
    if (target->mask)
      DrawShapePath(0, 0, 1, 1, nullptr, ends, 2, rgb, 0, target->maskMode, 0, target->mask, nullptr, &clip, nullptr,
                    1, 1, 0, &st);
    if (target->alpha) {
      const int32_t intensity = target->alphaIntensity;
      const int32_t level = intensity < 0 || intensity > 255 ? 255 : intensity;
      DrawShapePath(0, 0, 1, 1, nullptr, ends, 2, rgb, 255 - level, target->maskMode, 0, nullptr, target->alpha,
                    &clip, nullptr, 1, 1, aa && intensity < 0, &st);
    }
    return 0;
  }

  // Picture path: the line's box, grown for anti-aliasing and thickness.
  int64_t ix = x1 < x2 ? x1 : x2, iy = y1 < y2 ? y1 : y2, iw = w, ih = h;
  int32_t ex1 = (int32_t)(x1 - ix), ey1 = (int32_t)(y1 - iy), ex2 = (int32_t)(x2 - ix), ey2 = (int32_t)(y2 - iy);
  int32_t grow = 0;
  if (aa && thickness > 1) {
    iw += 5;
    ih += 5;
    grow += 2;
  }
  if (thickness > 1) {
    iw += thickness;
    ih += thickness;
    grow += thickness / 2;
  }
  ix -= grow;
  iy -= grow;
  ex1 += grow;
  ey1 += grow;
  ex2 += grow;
  ey2 += grow;
  if (w > kMaxShapeCoordinate || h > kMaxShapeCoordinate || CheckShapeImageSize(iw, ih)) return ERR_NOMEM;
  BitMap *bm;
  Mask *mask;
  AlphaChannel *alpha;
  if (AllocShapeTriple((int32_t)iw, (int32_t)ih, T || aa, 0, &bm, &mask, &alpha)) return ERR_NOMEM;
  const int32_t ends[4] = {ex1, ey1, ex2, ey2};
  const int rc = DrawShapePath(0, 0, (int32_t)iw, (int32_t)ih, bm, ends, 2, rgb, T, MASKVISIBLE, 0, mask, alpha, nullptr,
                               nullptr, 1, thickness, aa, &st);
  if (rc) {
    FreeTriple(bm, mask, alpha);
    return rc;
  }
  // The layer remembers the line in its box.
  rec.x = (int32_t)(x1 < x2 ? x1 : x2) + (int32_t)(w * tf.anchorX);
  rec.y = (int32_t)(y1 < y2 ? y1 : y2) + (int32_t)(h * tf.anchorY);
  rec.width = (int32_t)w;
  rec.height = (int32_t)h;
  rec.x1 = ex1;
  rec.y1 = ey1;
  rec.x2 = ex2;
  rec.y2 = ey2;
  rec.boxX = -grow;
  rec.boxY = -grow;
  return PlaceShapeImage(target, &rec, (int32_t)ix, (int32_t)iy, (int32_t)iw, (int32_t)ih, bm, mask, alpha, 0, flags);
}
