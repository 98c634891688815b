// Axis-aligned boxes: rectangle fills straight onto the output target when nothing stands in
// the way, else a small picture triple; rounded, turned, anti-aliased and thick-outlined boxes
// go through DrawShape.
#include <cstring>

#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "pictures/draw_render.h"

enum { ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055 };

// A rectangle cut to the clip rectangle, with the sides that were cut.
struct ClippedRect {
  int32_t x, y, width, height;
  int32_t cut;  // SIDE_* flags
};

static ClippedRect ClipRect(int64_t x, int64_t y, int64_t w, int64_t h, const DrawClip &clip) {
  ClippedRect r = {0, 0, 0, 0, 0};
  int64_t l = x, t = y, rr = x + w, b = y + h;
  if (l < clip.x) { l = clip.x; r.cut |= SIDE_LEFT; }
  if (t < clip.y) { t = clip.y; r.cut |= SIDE_TOP; }
  if (rr > (int64_t)clip.x + clip.width) { rr = (int64_t)clip.x + clip.width; r.cut |= SIDE_RIGHT; }
  if (b > (int64_t)clip.y + clip.height) { b = (int64_t)clip.y + clip.height; r.cut |= SIDE_BOTTOM; }
  if (rr <= l || b <= t) return r;
  r.x = (int32_t)l;
  r.y = (int32_t)t;
  r.width = (int32_t)(rr - l);
  r.height = (int32_t)(b - t);
  return r;
}

void DrawRectTriple(BitMap *bitmap, int32_t x, int32_t y, int32_t width, int32_t height, Mask *mask,
                    AlphaChannel *alpha, uint32_t rgb, int32_t transparency, int filled) {
  const int32_t rects[5][4] = {{x, y, width, height},
                               {x, y, 1, height},
                               {x, y, width, 1},
                               {x + width - 1, y, 1, height},
                               {x, y + height - 1, width, 1}};
  for (int i = filled ? 0 : 1; i < (filled ? 1 : 5); i++) {
    const int32_t *r = rects[i];
    if (r[2] < 1 || r[3] < 1) continue;
    if (bitmap) RectFillBitMap(bitmap, r[0], r[1], r[2], r[3], rgb & 0xFFFFFF);
    if (mask) FillMaskRect(mask, r[0], r[1], r[2], r[3], MASKVISIBLE);
    if (alpha) FillAlphaChannelRect(alpha, r[0], r[1], r[2], r[3], (uint8_t)(255 - (transparency & 255)));
  }
}

// One side of DrawBoxSides.
static void FillSide(const DrawTarget *target, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t x, int32_t y,
                     int32_t w, int32_t h, uint32_t rgb, int32_t transparency, int32_t alphaValue, int32_t maskMode) {
  if (w < 1 || h < 1) return;
  if (bitmap) {
    if (transparency) TintBitMapRect(bitmap, x, y, w, h, rgb, 255 - transparency);
    else RectFillBitMap(bitmap, x, y, w, h, rgb);
  } else if (target && target->kind == DRAWTARGET_DISPLAY && target->hooks && target->hooks->windowRectFill) {
    target->hooks->windowRectFill(target->user, x, y, w, h, rgb);
  }
  if (mask) FillMaskRect(mask, x, y, w, h, maskMode);
  if (alpha) FillAlphaChannelRect(alpha, x, y, w, h, (uint8_t)alphaValue);
}

void DrawBoxSides(const DrawTarget *target, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t x, int32_t y,
                  int32_t width, int32_t height, int32_t cutSides, uint32_t rgb, int32_t transparency,
                  int32_t alphaValue, int32_t maskMode) {
  if (width < 1 || height < 1) return;
  rgb &= 0xFFFFFF;
  transparency &= 255;
  const bool top = !(cutSides & SIDE_TOP), bottom = !(cutSides & SIDE_BOTTOM) && height > 1;
  const bool left = !(cutSides & SIDE_LEFT), right = !(cutSides & SIDE_RIGHT) && width > 1;
  // Rows take the corners; columns run between the drawn rows, so no pixel is drawn twice.
  if (top) FillSide(target, bitmap, mask, alpha, x, y, width, 1, rgb, transparency, alphaValue, maskMode);
  if (bottom)
    FillSide(target, bitmap, mask, alpha, x, y + height - 1, width, 1, rgb, transparency, alphaValue, maskMode);
  const int32_t cy = y + (top ? 1 : 0), ch = height - (top ? 1 : 0) - (bottom ? 1 : 0);
  if (left) FillSide(target, bitmap, mask, alpha, x, cy, 1, ch, rgb, transparency, alphaValue, maskMode);
  if (right) FillSide(target, bitmap, mask, alpha, x + width - 1, cy, 1, ch, rgb, transparency, alphaValue, maskMode);
}

// The box handed to DrawShape.
static int BoxAsShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t x,
                      int32_t y, int32_t width, int32_t height, uint32_t colour, int32_t roundlevel,
                      const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos) {
  ShapeRecord rec;
  InitShapeRecord(&rec, SHAPE_BOX, layer, layerState, style, x, y, colour, transform, layerOptions, flags, insertPos);
  rec.width = width;
  rec.height = height;
  rec.roundlevel = roundlevel;
  return DrawShape(target, &rec, flags);
}

// Geometry of a plain box with edge e and shadow s, relative to its box's top-left corner.
struct BoxLayout {
  int32_t e, s, T, edgeT, shadowT;
  int32_t left, up;              // how far the picture reaches left of and above the edge
  int32_t shadowDX, shadowDY;    // shadow offset from the edge (or body) rectangle
  int64_t imageWidth, imageHeight;
};

static BoxLayout LayOutBox(const DrawStyle *st, int32_t width, int32_t height, uint32_t colour) {
  BoxLayout b;
  memset(&b, 0, sizeof b);
  const bool effects = st->fillStyle != FILLNONE;
  b.e = effects && (st->formStyle & FORM_EDGE) ? st->edgeSize : 0;
  b.s = effects && (st->formStyle & FORM_SHADOW) ? st->shadowSize : 0;
  b.T = (int32_t)(colour >> 24);
  b.edgeT = b.e ? (int32_t)(st->edgeColour >> 24) : 0;
  b.shadowT = b.s ? (int32_t)(st->shadowColour >> 24) : 0;
  const int32_t d = st->shadowDirection, s = b.s;
  b.left = (d >= 5 && d <= 7) ? s : 0;
  b.up = (d == 0 || d == 1 || d == 7) ? s : 0;
  ShadowOffset(d, s, &b.shadowDX, &b.shadowDY);
  b.imageWidth = (int64_t)width + 2 * b.e + ((d == 0 || d == 4) ? 0 : s);
  b.imageHeight = (int64_t)height + 2 * b.e + ((d == 2 || d == 6) ? 0 : s);
  return b;
}

// Paints the gradient or texture of a body rectangle. 0 or the texture lookup's error.
static int PaintBodyFill(BitMap *bitmap, int32_t x, int32_t y, int32_t w, int32_t h, const DrawStyle *st,
                         const double m[4], int smooth) {
  if (!bitmap) return 0;
  if (st->fillStyle == FILLGRADIENT) {
    DrawGradient(bitmap, x, y, w, h, st->gradientStart & 0xFFFFFF, st->gradientEnd & 0xFFFFFF, st->gradientAngle);
    return 0;
  }
  if (st->fillStyle == FILLTEXTURE) return TileBrushScaled(bitmap, x, y, w, h, st, m, smooth);
  return 0;
}

// Direct drawing onto a display with layers off: window and back buffer.
static int DrawBoxOnDisplay(const DrawTarget *tg, const DrawStyle *st, const ClippedRect &body, int64_t bx, int64_t by,
                            int32_t w, int32_t h, uint32_t rgb) {
  const DrawTargetHooks *hooks = tg->hooks;
  if (st->fillStyle == FILLCOLOR) {
    if (hooks && hooks->windowRectFill) hooks->windowRectFill(tg->user, body.x, body.y, body.width, body.height, rgb);
    if (tg->bitmap) RectFillBitMap(tg->bitmap, body.x, body.y, body.width, body.height, rgb);
  } else if (st->fillStyle == FILLNONE) {
    DrawBoxSides(tg, nullptr, nullptr, nullptr, body.x, body.y, body.width, body.height, body.cut, rgb, 0, 255, 0);
    if (tg->bitmap)
      DrawBoxSides(tg, tg->bitmap, nullptr, nullptr, body.x, body.y, body.width, body.height, body.cut, rgb, 0, 255, 0);
  } else {
    if (tg->bitmap)
      DrawGradient(tg->bitmap, (int32_t)bx, (int32_t)by, w, h, st->gradientStart & 0xFFFFFF,
                   st->gradientEnd & 0xFFFFFF, st->gradientAngle);
    if (hooks && hooks->bltToWindow) hooks->bltToWindow(tg->user, body.x, body.y, body.width, body.height);
  }
  return 0;
}

// Direct drawing onto a selected brush, mask or alpha channel.
static int DrawBoxOffScreen(const DrawTarget *tg, const DrawStyle *st, const BoxLayout &b, const ClippedRect &body,
                            const ClippedRect &edge, const ClippedRect &shadow, int64_t bx, int64_t by, int32_t w,
                            int32_t h, uint32_t rgb, const double m[4]) {
  BitMap *bm = tg->bitmap;
  const int fill = st->fillStyle;
  if (bm) {
    if (b.s && shadow.width) RectFillBitMap(bm, shadow.x, shadow.y, shadow.width, shadow.height, st->shadowColour & 0xFFFFFF);
    if (b.e && edge.width) RectFillBitMap(bm, edge.x, edge.y, edge.width, edge.height, st->edgeColour & 0xFFFFFF);
    if (fill == FILLCOLOR && body.width) {
      if (b.T) TintBitMapRect(bm, body.x, body.y, body.width, body.height, rgb, 255 - b.T);
      else RectFillBitMap(bm, body.x, body.y, body.width, body.height, rgb);
    } else if (fill == FILLNONE) {
      DrawBoxSides(tg, bm, nullptr, nullptr, body.x, body.y, body.width, body.height, body.cut, rgb, b.T, 255, 0);
    } else if (fill == FILLGRADIENT) {
      DrawGradient(bm, (int32_t)bx, (int32_t)by, w, h, st->gradientStart & 0xFFFFFF, st->gradientEnd & 0xFFFFFF,
                   st->gradientAngle);
    } else if (body.width) {
      // The tiles start at the body's corner, which the clip has not cut.
      const int rc = TileBrushScaled(bm, body.x, body.y, body.width, body.height, st, m, tg->smoothScale);
      if (rc) return rc;
    }
  }
  const bool solid = fill == FILLCOLOR || (bm && fill != FILLNONE);
  const ClippedRect &outer = b.e ? edge : body;
  if (tg->mask) {
    const int32_t mode = bm ? MASKVANILLACOPY : tg->maskMode;
    if (b.s && shadow.width) FillMaskRect(tg->mask, shadow.x, shadow.y, shadow.width, shadow.height, mode);
    if (solid && outer.width) FillMaskRect(tg->mask, outer.x, outer.y, outer.width, outer.height, mode);
    if (fill == FILLNONE)
      DrawBoxSides(tg, nullptr, tg->mask, nullptr, body.x, body.y, body.width, body.height, body.cut, rgb, 0, 0, mode);
  }
  if (tg->alpha) {
    const int32_t v = bm || tg->alphaIntensity < 0 ? 255 : (tg->alphaIntensity > 255 ? 255 : tg->alphaIntensity);
    if (b.s && shadow.width) FillAlphaChannelRect(tg->alpha, shadow.x, shadow.y, shadow.width, shadow.height, (uint8_t)v);
    if (solid && outer.width) FillAlphaChannelRect(tg->alpha, outer.x, outer.y, outer.width, outer.height, (uint8_t)v);
    if (fill == FILLNONE)
      DrawBoxSides(tg, nullptr, nullptr, tg->alpha, body.x, body.y, body.width, body.height, body.cut, rgb, 0, v, 0);
  }
  return 0;
}

int DrawBox(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t x, int32_t y,
            int32_t width, int32_t height, uint32_t colour, int32_t roundlevel, const ShapeTransform *transform,
            void *layerOptions, int32_t flags, int32_t insertPos) {
  if (width < 1 || height < 1) return ERR_WRONGUSAGE;
  if (roundlevel > 100) roundlevel = 100;
  if (roundlevel < 0) roundlevel = 0;
  const ShapeTransform tf = transform ? *transform : IdentityTransform();
  DrawStyle st = style ? *style : *GetDrawStyle();
  ClampDrawStyle(&st);
  if (roundlevel || !IsIdentityMatrix(tf.m) || (st.fillStyle == FILLNONE && st.thickness > 1) ||
      (st.formStyle & FORM_ANTIALIAS))
    return BoxAsShape(target, layer, layerState, &st, x, y, width, height, colour, roundlevel, &tf, layerOptions,
                      flags, insertPos);

  const BoxLayout b = LayOutBox(&st, width, height, colour);
  const uint32_t rgb = colour & 0xFFFFFF;
  if (CheckShapeImageSize(b.imageWidth, b.imageHeight)) return ERR_NOMEM;
  const int kind = target->kind;
  const DrawTargetHooks *hooks = target->hooks;
  const bool offScreen = IsOffScreenTarget(target);
  const int prc = PrepareDrawTarget(target);
  if (prc) return prc;
  x = ResolveTargetPos(target, 0, x, width, tf.anchorX);
  y = ResolveTargetPos(target, 1, y, height, tf.anchorY);
  const int64_t bx = (int64_t)x - (int32_t)(width * tf.anchorX), by = (int64_t)y - (int32_t)(height * tf.anchorY);
  const DrawClip clip = TargetClipRect(target);
  const ClippedRect body = ClipRect(bx, by, width, height, clip);
  const ClippedRect edge = ClipRect(bx - b.e, by - b.e, width + 2 * (int64_t)b.e, height + 2 * (int64_t)b.e, clip);
  const ClippedRect shadow = b.e ? ClipRect(bx - b.e + b.shadowDX, by - b.e + b.shadowDY, width + 2 * (int64_t)b.e,
                                            height + 2 * (int64_t)b.e, clip)
                                 : ClipRect(bx + b.shadowDX, by + b.shadowDY, width, height, clip);
  const bool display = kind == DRAWTARGET_DISPLAY;
  bool direct = offScreen || (display && !target->layersOn && st.fillStyle < FILLTEXTURE && !b.e && !b.s);
  direct = direct && !(display && b.T) && !(kind == DRAWTARGET_BRUSH && (b.T || b.edgeT || b.shadowT) && (b.e || b.s));
  direct = direct && !clip.mask && !(display && target->pictureHasAlpha);
  direct = direct && !(st.fillStyle == FILLGRADIENT && body.cut) &&
           !(st.fillStyle == FILLTEXTURE && (body.cut & (SIDE_LEFT | SIDE_TOP)));
  direct = direct && !(body.width && hooks && hooks->overlapsSprites &&
                       hooks->overlapsSprites(target->user, body.x, body.y, body.width, body.height));
  if (direct) {
    if (display) return body.width ? DrawBoxOnDisplay(target, &st, body, bx, by, width, height, rgb) : 0;
    return DrawBoxOffScreen(target, &st, b, body, edge, shadow, bx, by, width, height, rgb, tf.m);
  }

  // Picture path.
  const int32_t iw = (int32_t)b.imageWidth, ih = (int32_t)b.imageHeight;
  BitMap *bm;
  Mask *mask;
  AlphaChannel *alpha;
  if (AllocShapeTriple(iw, ih, b.T || b.edgeT || b.shadowT, 0, &bm, &mask, &alpha)) return ERR_NOMEM;
  const int32_t ox = b.left, oy = b.up;  // edge corner inside the picture
  if (b.s)
    DrawRectTriple(bm, ox + b.shadowDX, oy + b.shadowDY, width + 2 * b.e, height + 2 * b.e, mask, alpha,
                   st.shadowColour, b.shadowT, 1);
  if (b.e) DrawRectTriple(bm, ox, oy, width + 2 * b.e, height + 2 * b.e, mask, alpha, st.edgeColour, b.edgeT, 1);
  DrawRectTriple(bm, ox + b.e, oy + b.e, width, height, mask, alpha, rgb, b.T, st.fillStyle != FILLNONE);
  const int rc = PaintBodyFill(bm, ox + b.e, oy + b.e, width, height, &st, tf.m, target->smoothScale);
  if (rc) {
    FreeTriple(bm, mask, alpha);
    return rc;
  }
  ShapeRecord rec;
  InitShapeRecord(&rec, SHAPE_BOX, layer, layerState, &st, x, y, colour, &tf, layerOptions, flags, insertPos);
  rec.width = width;
  rec.height = height;
  rec.boxX = -b.e - b.left;
  rec.boxY = -b.e - b.up;
  return PlaceShapeImage(target, &rec, (int32_t)(bx + rec.boxX), (int32_t)(by + rec.boxY), iw, ih, bm, mask, alpha, 0,
                         flags);
}
