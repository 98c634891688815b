// DrawShape: a shape record and the draw style turned into outlines, sizes and positions, the
// picture rendered and then drawn onto the target, handed to the layer code as a shape layer
// or given back to a layer being re-rendered. Also the layer re-render entries.
#include <cmath>
#include <cstring>

#include "gfx/coverage.h"
#include "pictures/draw_render.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055 };

void FreeShapeLayerState(ShapeLayerState *state) {
  if (!state) return;
  FreeBitMap(state->bitmap);
  FreeMask(state->mask);
  FreeAlphaChannel(state->alpha);
  MemFree(state->points);
  MemFree(state);
}

int MakeShapeLayer(const DrawTarget *target, const ShapeRecord *rec, int32_t type, int32_t x, int32_t y,
                   int32_t width, int32_t height, BitMap *bitmap, Mask *mask, AlphaChannel *alpha,
                   int32_t insertPos, int32_t flags) {
  const DrawTargetHooks *hooks = target->hooks;
  if (!hooks || !hooks->addLayer) {
    FreeTriple(bitmap, mask, alpha);
    return 0;
  }
  ShapeLayerState *st = (ShapeLayerState *)MemAlloc(sizeof(ShapeLayerState), 1);
  double *points = nullptr;
  if (st && type == SHAPE_POLYGON && rec->points && rec->count > 0) {
    points = (double *)MemAlloc(sizeof(double) * 2 * (size_t)rec->count, 0);
    if (points) memcpy(points, rec->points, sizeof(double) * 2 * (size_t)rec->count);
  }
  if (!st || (type == SHAPE_POLYGON && rec->points && rec->count > 0 && !points)) {
    MemFree(st);
    FreeTriple(bitmap, mask, alpha);
    return ERR_NOMEM;
  }
  st->type = type;
  st->x = x;
  st->y = y;
  st->width = width;
  st->height = height;
  st->imageX = rec->boxX;
  st->imageY = rec->boxY;
  st->transform = rec->transform;
  st->layerOptions = rec->layerOptions;
  st->bitmap = bitmap;
  st->mask = mask;
  st->alpha = alpha;
  st->style = *rec->style;
  st->colour = rec->colour;
  st->shapeWidth = rec->width;
  st->shapeHeight = rec->height;
  st->roundlevel = rec->roundlevel;
  st->xradius = rec->xradius;
  st->yradius = rec->yradius;
  st->start = rec->start;
  st->end = rec->end;
  st->clockwise = rec->clockwise;
  st->x1 = rec->x1;
  st->y1 = rec->y1;
  st->x2 = rec->x2;
  st->y2 = rec->y2;
  st->thickness = rec->thickness;
  st->points = points;
  st->count = points ? rec->count : 0;
  return hooks->addLayer(target->user, st, insertPos, flags);
}

int PlaceShapeImage(const DrawTarget *target, ShapeRecord *rec, int32_t imageX, int32_t imageY, int32_t width,
                    int32_t height, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int deferred, int32_t flags) {
  const DrawTargetHooks *hooks = target->hooks;
  const int32_t ax = (int32_t)(rec->width * rec->transform.anchorX);
  const int32_t ay = (int32_t)(rec->height * rec->transform.anchorY);
  // The layer code places images by their anchor point.
  rec->layerX = deferred ? rec->x : imageX + ax;
  rec->layerY = deferred ? rec->y : imageY + ay;
  rec->imageX = imageX;
  rec->imageY = imageY;
  if (flags & DRAWFLAG_LAYERSTATE) {
    if (hooks && hooks->updateLayerGeometry)
      return hooks->updateLayerGeometry(target->user, rec->layer, rec->layerState, rec->layerX, rec->layerY, width,
                                        height, bitmap, mask, alpha, flags);
    FreeTriple(bitmap, mask, alpha);
    return 0;
  }
  if (target->layersOn) {
    const int32_t insertPos = (flags & DRAWFLAG_RERENDER) ? rec->insertPos : -1;
    const int rc = MakeShapeLayer(target, rec, rec->type, rec->layerX, rec->layerY, width, height, bitmap, mask,
                                  alpha, insertPos, flags | DRAWFLAG_LAYERNEW);
    if (rc) return rc;
    // The layer owns the images now; they stay alive while it exists.
    const bool redraw = rec->fullRedraw || (rec->layerOptions && hooks && hooks->optionsNeedRedraw &&
                                            hooks->optionsNeedRedraw(target->user, rec->layerOptions));
    if (redraw || deferred || !(hooks && hooks->addLayer)) return 0;
  }
  if (!(flags & (DRAWFLAG_RERENDER | DRAWFLAG_NOBLIT)) && bitmap) {
    if (target->kind == DRAWTARGET_BGPIC && target->layersOn) {
      if (hooks && hooks->damage) hooks->damage(target->user, imageX, imageY, width, height);
    } else if (target->layersOn) {
      // The area is recomposed from the background and the layers, not blended over again
      // (that would double the soft edges); the window is asked to show it.
      if (target->kind == DRAWTARGET_DISPLAY && hooks && hooks->bltToWindow)
        hooks->bltToWindow(target->user, imageX, imageY, width, height);
    } else {
      BlitShapeImage(target, imageX, imageY, bitmap, mask, alpha, width, height);
      if (target->kind == DRAWTARGET_DISPLAY && hooks && hooks->bltToWindow)
        hooks->bltToWindow(target->user, imageX, imageY, width, height);
    }
  }
  if (!target->layersOn) FreeTriple(bitmap, mask, alpha);
  return 0;
}

// Fills the derived style fields of the record from the (clamped) style copy.
static void DeriveStyleFields(ShapeRecord *rec, const DrawStyle *st) {
  rec->fillStyle = st->fillStyle;
  const bool effects = st->fillStyle != FILLNONE;
  rec->edgeSize = effects && (st->formStyle & FORM_EDGE) ? st->edgeSize : 0;
  rec->edgeOn = rec->edgeSize > 0;
  rec->edgeTransparency = rec->edgeOn ? (int32_t)(st->edgeColour >> 24) : 0;
  rec->shadowSize = effects && (st->formStyle & FORM_SHADOW) ? st->shadowSize : 0;
  rec->shadowOn = rec->shadowSize > 0;
  rec->shadowTransparency = rec->shadowOn ? (int32_t)(st->shadowColour >> 24) : 0;
  rec->shadowDirection = st->shadowDirection;
  rec->edgeRGB = st->edgeColour & 0xFFFFFF;
  rec->shadowRGB = st->shadowColour & 0xFFFFFF;
  rec->antialias = (st->formStyle & FORM_ANTIALIAS) != 0;
}

// Rounds generated points to integers; false when one lies beyond the size limit.
static bool RoundPoints(const double *in, int32_t count, int32_t *out) {
  for (int32_t i = 0; i < 2 * count; i++) {
    if (!(std::fabs(in[i]) <= (double)kMaxShapeCoordinate)) return false;
    out[i] = (int32_t)std::lrint(in[i]);
  }
  return true;
}

struct Bounds {
  int64_t minX, minY, maxX, maxY;
};
static void Grow(Bounds *b, const int32_t *pts, int32_t count) {
  for (int32_t i = 0; i < count; i++) {
    if (pts[2 * i] < b->minX) b->minX = pts[2 * i];
    if (pts[2 * i + 1] < b->minY) b->minY = pts[2 * i + 1];
    if (pts[2 * i] > b->maxX) b->maxX = pts[2 * i];
    if (pts[2 * i + 1] > b->maxY) b->maxY = pts[2 * i + 1];
  }
}
static void MovePoints(int32_t *pts, int32_t count, int64_t dx, int64_t dy) {
  for (int32_t i = 0; i < count; i++) {
    pts[2 * i] = (int32_t)(pts[2 * i] + dx);
    pts[2 * i + 1] = (int32_t)(pts[2 * i + 1] + dy);
  }
}

static int RenderAndPlace(const DrawTarget *target, ShapeRecord *rec, int32_t flags) {
  if (rec->width < 1 || rec->height < 1) return ERR_WRONGUSAGE;
  if (rec->type == SHAPE_POLYGON && (rec->count < 2 || rec->count > MAX_POLYGON_POINTS || !rec->points))
    return ERR_WRONGUSAGE;
  const int prc = PrepareDrawTarget(target);
  if (prc) return prc;
  rec->x = ResolveTargetPos(target, 0, rec->x, rec->width, rec->transform.anchorX);
  rec->y = ResolveTargetPos(target, 1, rec->y, rec->height, rec->transform.anchorY);
  DrawStyle st = rec->style ? *rec->style : *GetDrawStyle();
  rec->style = &st;
  const ShapeTransform saved = rec->transform;
  int deferred = 0;
  if (target->layersOn && !IsIdentityMatrix(rec->transform.m) && !(flags & DRAWFLAG_LAYERSTATE)) {
    // The layer code turns the shape itself.
    deferred = 1;
    rec->transform.m[0] = rec->transform.m[3] = 1;
    rec->transform.m[1] = rec->transform.m[2] = 0;
  } else {
    const double s0 = std::fabs(rec->transform.m[0]);
    const double shadow = std::rint(st.shadowSize * s0), thick = std::rint(st.thickness * s0);
    st.shadowSize = shadow > 1e6 ? 1000000 : (int32_t)shadow;
    st.thickness = thick > 1e6 ? 1000000 : thick < 1 ? 1 : (int32_t)thick;
  }
  ClampDrawStyle(&st);
  DeriveStyleFields(rec, &st);
  const int32_t w = rec->width, h = rec->height;
  const int32_t e = rec->edgeSize, s = rec->shadowSize;
  const int32_t t = rec->fillStyle == FILLNONE && st.thickness > 1
                        ? (st.thickness > MAX_COVERAGE_THICKNESS ? MAX_COVERAGE_THICKNESS : st.thickness)
                        : 0;
  // Every size in 64 bits against the limit of a picture before anything is generated.
  const double *m = rec->transform.m;
  const double tw = std::fabs(m[0]) * w + std::fabs(m[2]) * h, th = std::fabs(m[1]) * w + std::fabs(m[3]) * h;
  const int64_t margin = 2 * (int64_t)e + s + 5 + t + 2;
  if (!deferred && (!(tw <= (double)kMaxShapeCoordinate) || !(th <= (double)kMaxShapeCoordinate) ||
                    CheckShapeImageSize((int64_t)tw + margin, (int64_t)th + margin)))
    return ERR_NOMEM;
  if (deferred) {
    rec->transform = saved;
    return PlaceShapeImage(target, rec, rec->x, rec->y, w, h, nullptr, nullptr, nullptr, 1, flags);
  }

  // Outlines in the shape box's coordinates.
  double *gen = DrawDoublePoints(0), *work = DrawDoublePoints(1);
  int32_t *body = DrawIntPoints(0), *edge = DrawIntPoints(2);
  const bool turned = !IsIdentityMatrix(m);
  const bool generated = rec->type != SHAPE_POLYGON && !(rec->type == SHAPE_BOX && rec->roundlevel == 0);
  int32_t n = ShapeOutline(rec, w, h, &rec->transform, gen);
  const int32_t skip = rec->type == SHAPE_ARC ? 2 : 0;
  if (n - skip < 1 || !RoundPoints(gen, n, body)) return n - skip < 1 ? 0 : ERR_NOMEM;
  Bounds ub = {INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
  if (skip) Grow(&ub, body, 2);  // an arc's image covers its whole ellipse
  memmove(body, body + 2 * skip, sizeof(int32_t) * 2 * (size_t)(n - skip));
  n -= skip;
  const int32_t px = (int32_t)(w * rec->transform.anchorX), py = (int32_t)(h * rec->transform.anchorY);
  if (turned && !generated) {
    int32_t a, b, c, d;
    TransformPointsAbout(body, n, px, py, m, 0, &a, &b, &c, &d);
  }
  int32_t en = 0;
  if (rec->edgeOn) {
    int32_t ex = e, ey = e;  // where the body's box sits in the edge's coordinates
    if (rec->type == SHAPE_POLYGON) {
      en = PolygonEdgeOutline(rec->points, rec->count, e, work, edge, &ex, &ey);
      if (en < 0) return ERR_NOMEM;
    } else {
      // Turned about the edge box's centre, then moved as the body is turned about its anchor.
      ShapeTransform centred = rec->transform;
      centred.anchorX = centred.anchorY = 0.5;
      const int32_t gn = ShapeOutline(rec, w + 2 * e, h + 2 * e, &centred, gen);
      if (gn - skip < 1 || !RoundPoints(gen + 2 * skip, gn - skip, edge)) return ERR_NOMEM;
      en = gn - skip;
      if (generated) {
        int64_t sx, sy;
        ShapeAnchorShift(m, w, h, rec->transform.anchorX, rec->transform.anchorY, &sx, &sy);
        MovePoints(edge, en, sx, sy);
      }
    }
    if (turned && !generated) {
      int32_t a, b, c, d;
      TransformPointsAbout(edge, en, px + ex, py + ey, m, 0, &a, &b, &c, &d);
    }
    MovePoints(edge, en, -(int64_t)ex, -(int64_t)ey);
  }
  Bounds bb = {INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN}, eb = bb;
  Grow(&bb, body, n);
  Grow(&ub, body, n);
  if (en) {
    Grow(&eb, edge, en);
    Grow(&ub, edge, en);
  }
  // Outlines to their own boxes; the union box is the outer picture before the shadow.
  MovePoints(body, n, -bb.minX, -bb.minY);
  if (en) MovePoints(edge, en, -eb.minX, -eb.minY);
  rec->boxX = (int32_t)ub.minX;
  rec->boxY = (int32_t)ub.minY;
  rec->bodyWidth = (int32_t)(bb.maxX - bb.minX + 1);
  rec->bodyHeight = (int32_t)(bb.maxY - bb.minY + 1);
  const int32_t edgeW = en ? (int32_t)(eb.maxX - eb.minX + 1) : 0, edgeH = en ? (int32_t)(eb.maxY - eb.minY + 1) : 0;
  rec->outerWidth = (int32_t)(ub.maxX - ub.minX + 1);
  rec->outerHeight = (int32_t)(ub.maxY - ub.minY + 1);
  int32_t bodyX = (int32_t)(bb.minX - ub.minX), bodyY = (int32_t)(bb.minY - ub.minY);
  int32_t edgeX = en ? (int32_t)(eb.minX - ub.minX) : 0, edgeY = en ? (int32_t)(eb.minY - ub.minY) : 0;

  // Shadow: the picture grows toward the shadow; the shadow's outline is the edge's or the body's.
  const int32_t d = rec->shadowDirection;
  const int32_t left = (d >= 5 && d <= 7) ? s : 0, up = (d == 0 || d == 1 || d == 7) ? s : 0;
  const int32_t sdx = (d >= 1 && d <= 3) ? s : 0, sdy = (d >= 3 && d <= 5) ? s : 0;
  int64_t iw = (int64_t)rec->outerWidth + ((d == 0 || d == 4) ? 0 : s);
  int64_t ih = (int64_t)rec->outerHeight + ((d == 2 || d == 6) ? 0 : s);
  int32_t shadowX = (en ? edgeX : bodyX) + sdx, shadowY = (en ? edgeY : bodyY) + sdy;
  bodyX += left;
  bodyY += up;
  edgeX += left;
  edgeY += up;
  int64_t imgX = (int64_t)rec->boxX - left, imgY = (int64_t)rec->boxY - up;
  if (rec->antialias) {
    iw += 5;
    ih += 5;
    imgX -= 2;
    imgY -= 2;
    bodyX += 2;
    bodyY += 2;
    edgeX += 2;
    edgeY += 2;
    shadowX += 2;
    shadowY += 2;
  }
  if (t > 1) {
    iw += t;
    ih += t;
    imgX -= t / 2;
    imgY -= t / 2;
    rec->bodyWidth += t;
    rec->bodyHeight += t;
    MovePoints(body, n, t / 2, t / 2);
  }
  if (CheckShapeImageSize(iw, ih)) return ERR_NOMEM;
  rec->imageWidth = (int32_t)iw;
  rec->imageHeight = (int32_t)ih;
  rec->bodyX = bodyX;
  rec->bodyY = bodyY;
  BitMap *bm;
  Mask *mask;
  AlphaChannel *alpha;
  int rc = RenderShapeImage(rec, body, n, edge, en, edgeX, edgeY, shadowX, shadowY, edgeW, edgeH, &bm, &mask, &alpha);
  if (rc) return rc;
  rec->transform = saved;
  // The shape's box has its anchor point at (x, y).
  const int64_t boxLeft = (int64_t)rec->x - (int32_t)(w * saved.anchorX);
  const int64_t boxTop = (int64_t)rec->y - (int32_t)(h * saved.anchorY);
  return PlaceShapeImage(target, rec, (int32_t)(boxLeft + imgX), (int32_t)(boxTop + imgY), rec->imageWidth,
                         rec->imageHeight, bm, mask, alpha, 0, flags);
}

int DrawShape(const DrawTarget *target, ShapeRecord *rec, int32_t flags) {
  if (OpenDrawTables()) return ERR_NOMEM;
  // The record refers to a clamped copy of the style while it is drawn.
  const DrawStyle *given = rec->style;
  const int rc = RenderAndPlace(target, rec, flags);
  rec->style = given;
  return rc;
}

// ---- Layer re-render entries ------------------------------------------------------------------

void InitShapeRecord(ShapeRecord *rec, int32_t type, void *layer, void *layerState, const DrawStyle *style,
                     int32_t x, int32_t y, uint32_t colour, const ShapeTransform *transform, void *layerOptions,
                     int32_t flags, int32_t insertPos) {
  memset(rec, 0, sizeof *rec);
  rec->type = type;
  rec->x = x;
  rec->y = y;
  rec->colour = colour;
  rec->style = style;
  rec->transform = transform ? *transform : IdentityTransform();
  rec->layerOptions = layerOptions;
  rec->insertPos = insertPos;
  if (flags & DRAWFLAG_LAYERSTATE) {
    rec->layer = layer;
    rec->layerState = layerState;
  }
}

int DrawPolygonShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t x,
                     int32_t y, int32_t width, int32_t height, const double *points, int32_t count, uint32_t colour,
                     const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos) {
  ShapeRecord rec;
  InitShapeRecord(&rec, SHAPE_POLYGON, layer, layerState, style, x, y, colour, transform, layerOptions, flags, insertPos);
  rec.width = width;
  rec.height = height;
  rec.points = points;
  rec.count = count;
  return DrawShape(target, &rec, flags);
}

// Box size of a radius: 2 r + 1, refused beyond the size limit.
static int RadiusBox(int32_t radius, int32_t *size) {
  const int64_t v = 2 * (int64_t)radius + 1;
  if (v > kMaxShapeCoordinate) return ERR_NOMEM;
  *size = (int32_t)v;
  return 0;
}

int DrawArcShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t x,
                 int32_t y, int32_t xradius, int32_t yradius, int32_t start, int32_t end, int32_t clockwise,
                 uint32_t colour, const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos) {
  if (xradius < 1 || yradius < 1 || start < 0 || end < 0) return ERR_WRONGUSAGE;
  if (start == end) return 0;
  ShapeRecord rec;
  InitShapeRecord(&rec, SHAPE_ARC, layer, layerState, style, x, y, colour, transform, layerOptions, flags, insertPos);
  rec.xradius = xradius;
  rec.yradius = yradius;
  rec.start = start;
  rec.end = end;
  rec.clockwise = clockwise;
  int rc = RadiusBox(xradius, &rec.width);
  if (!rc) rc = RadiusBox(yradius, &rec.height);
  return rc ? rc : DrawShape(target, &rec, flags);
}

int DrawEllipseShape(const DrawTarget *target, void *layer, void *layerState, const DrawStyle *style, int32_t type,
                     int32_t x, int32_t y, int32_t xradius, int32_t yradius, uint32_t colour,
                     const ShapeTransform *transform, void *layerOptions, int32_t flags, int32_t insertPos) {
  if (xradius < 1 || yradius < 1) return ERR_WRONGUSAGE;
  ShapeRecord rec;
  InitShapeRecord(&rec, type == SHAPE_CIRCLE ? SHAPE_CIRCLE : SHAPE_ELLIPSE, layer, layerState, style, x, y, colour,
                  transform, layerOptions, flags, insertPos);
  rec.xradius = xradius;
  rec.yradius = yradius;
  int rc = RadiusBox(xradius, &rec.width);
  if (!rc) rc = RadiusBox(yradius, &rec.height);
  return rc ? rc : DrawShape(target, &rec, flags);
}
