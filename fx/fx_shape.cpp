// Effects that uncover the new picture through a growing shape: SUN (an ellipse), STAR (a
// five-pointed star) and CLOCKWIPE (a hand sweeping clockwise from twelve o'clock). Every frame
// the shape's polygon is clipped to the area and filled into a 1-bit shape mask, through which
// the source is drawn over the before image; on a layer being hidden the shape is cut out of
// the layer instead. The frame that ends an effect shows the whole area, so that no edge of the
// rasterised polygon is left behind. All three can seek.
#include <cstring>
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "runtime/memory.h"

namespace {

struct ShapeState {
  BitMap *frame;            // composition buffer (outside real-time layer mode)
  Mask *shape;              // what the shape uncovered so far
  AlphaChannel *shapeAlpha; // the shape limited to the source's alpha
  int32_t *pointsA, *pointsB;  // polygon and the clip steps' output, `capacity` points each
  int32_t *scratch;         // FillPolygonMask's work buffer
  int32_t capacity;
  int32_t size;             // SUN, STAR
  int32_t counting;         // frames are being counted: nothing is drawn
  int32_t hand, prevHand;   // CLOCKWIPE: positions along the border, clockwise
  int32_t swept;            // CLOCKWIPE: the hand is back at the top
};

ShapeState *State(TransitionRecord *r) { return (ShapeState *)r->privateState; }

// Set-up shared by the three: buffers for polygons of up to `points` points. Each of the four
// clip steps can double the points of a non-convex polygon, so the buffers hold 16 times as many
// (and the first point repeated). 0 or 1000.
int ShapeSetup(TransitionRecord *r, int32_t points) {
  if (FxAllocPrivate(r, sizeof(ShapeState))) return 1000;
  ShapeState *st = State(r);
  st->capacity = 16 * points + 2;
  st->pointsA = (int32_t *)MemAlloc(sizeof(int32_t) * 2 * (size_t)st->capacity, 0);
  st->pointsB = (int32_t *)MemAlloc(sizeof(int32_t) * 2 * (size_t)st->capacity, 0);
  st->scratch = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)st->capacity, 0);
  st->shape = AllocMask(nullptr, FxAtLeast1(r->width), FxAtLeast1(r->height), 1);
  if (!st->pointsA || !st->pointsB || !st->scratch || !st->shape) return 1000;
  if (r->alpha && !r->reverse && !(st->shapeAlpha = AllocAlphaChannel(r->width, r->height, 1))) return 1000;
  if (!r->realTimeLayer && !(st->frame = AllocBitMap(r->width, r->height))) return 1000;
  return 0;
}

void ShapeFree(TransitionRecord *r) {
  ShapeState *st = State(r);
  MemFree(st->pointsA);
  MemFree(st->pointsB);
  MemFree(st->scratch);
  FreeBitMap(st->frame);
  FreeMask(st->shape);
  FreeAlphaChannel(st->shapeAlpha);
  memset(st, 0, sizeof *st);
}

// Clips the polygon in pointsA (count points) to the area; returns the points left and where
// they are.
int32_t ClipToArea(TransitionRecord *r, ShapeState *st, int32_t count, int32_t **out) {
  static const int kinds[4] = {CLIPEDGE_LEFT, CLIPEDGE_TOP, CLIPEDGE_RIGHT, CLIPEDGE_BOTTOM};
  const int32_t values[4] = {0, 0, r->width - 1, r->height - 1};
  int32_t *in = st->pointsA, *to = st->pointsB;
  for (int k = 0; k < 4 && count > 0; k++) {
    in[2 * count] = in[0];
    in[2 * count + 1] = in[1];
    count = ClipPolygonEdge(count, in, to, values[k], kinds[k]);
    int32_t *t = in;
    in = to;
    to = t;
  }
  *out = in;
  return count;
}

// Whether every point is a corner of the area.
bool OnlyCorners(const TransitionRecord *r, const int32_t *p, int32_t count) {
  for (int32_t i = 0; i < count; i++) {
    const int32_t x = p[2 * i], y = p[2 * i + 1];
    if ((x != 0 && x != r->width - 1) || (y != 0 && y != r->height - 1)) return false;
  }
  return true;
}

// Seek start: the area back to its state before the effect, the shape empty.
void ClearShape(TransitionRecord *r, ShapeState *st) {
  FxRestartArea(r);
  FillMaskRect(st->shape, 0, 0, r->width, r->height, MASKINVISIBLE);
  if (st->shapeAlpha) FillAlphaChannelRect(st->shapeAlpha, 0, 0, r->width, r->height, 0);
}

// Adds the clipped polygon (or, with `whole`, the whole area) to the shape and draws the box
// (x, y, w, h) of it; ends the frame in phase 1.
void DrawShape(TransitionRecord *r, ShapeState *st, const int32_t *points, int32_t count, bool whole, int32_t bx,
               int32_t by, int32_t bw, int32_t bh) {
  Mask *m = st->shape;
  if (whole) FillMaskRect(m, 0, 0, r->width, r->height, MASKVISIBLE);
  else if (count > 0) FillPolygonMask(m->pixels, m->bytesPerRow, r->width, r->height, st->scratch, points, count);
  GraphicsSync();
  if (r->realTimeLayer && r->reverse) {
    FxLayerView v;
    if (FxLayerBuffers(r, &v)) {
      if (v.alpha) ClipAlphaByMask(m, v.alpha, r->alpha, r->width, r->height, 1);
      else if (v.mask) BltMaskToMask(m, 0, 0, v.mask, 0, 0, r->width, r->height, MASKINVISIBLE);
    }
    FxEndLayerFrame(r);
    return;
  }
  if (r->mask && !r->reverse) BltMaskToMask(r->mask, 0, 0, m, 0, 0, r->width, r->height, MASKAND);
  if (st->shapeAlpha) ClipAlphaByMask(m, st->shapeAlpha, r->alpha, r->width, r->height, 0);
  FxMaskedBlit(r, r->source, bx, by, bw, bh, st->shapeAlpha ? nullptr : m, st->shapeAlpha, st->frame,
               FXDRAW_KEEPEXTRA);
  FxEndFrame(r);
}

// Counts the frames of a routine by running it in counting mode, then resets the run.
template <class Reset>
void CountFrames(TransitionRecord *r, FxStepFunc step, Reset reset) {
  ShapeState *st = State(r);
  st->counting = 1;
  r->phase = FXPHASE_RUN;
  int32_t done = 0, n = 0;
  while (!done) {
    step(r, &done);
    n++;
  }
  st->counting = 0;
  r->phase = FXPHASE_SETUP;
  r->frame = 0;
  r->frames = n;
  reset(st);
}

// Ellipse or star sizes: the side along the longer dimension is `size`, the other the size in
// proportion (plus one).
void ShapeSides(const TransitionRecord *r, int32_t size, int32_t least, int32_t *sw, int32_t *sh) {
  const int32_t l = r->width > r->height ? r->width : r->height, s = r->width > r->height ? r->height : r->width;
  const double ratio = l > 0 ? (double)s / l : 1.0;
  int32_t other = (int32_t)(size * ratio + 1.0);
  if (other < least) other = least;
  *sw = r->width >= r->height ? size : other;
  *sh = r->width >= r->height ? other : size;
}

// Start of a frame of SUN or STAR, whose shape grows by the step from the step plus 10: a seek
// starts from the empty shape at the frame's size. False for any other phase.
bool BeginSized(TransitionRecord *r) {
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return false;
  ShapeState *st = State(r);
  if (r->phase == FXPHASE_SEEK) {
    st->size = r->frame * r->speed + 10;
    ClearShape(r, st);
  } else if (!st->counting) {
    FxRevealLayer(r);
  }
  return true;
}

}  // namespace

// ---- SUN ----

int FxSun(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (ShapeSetup(r, 363)) return 1000;
    r->speed = FxClamp(FxStepsForSpeed(r->speed, r->width > r->height ? r->width : r->height, 12, 6, 24), 1, 100);
    State(r)->size = r->speed + 10;
    const int32_t s = r->speed;
    CountFrames(r, FxSun, [s](ShapeState *st) { st->size = s + 10; });
    return 0;
  }
  if (!BeginSized(r)) return 0;
  ShapeState *st = State(r);
  int32_t ax, ay;
  ShapeSides(r, st->size, 3, &ax, &ay);
  ax |= 1;
  ay |= 1;
  int32_t count = ArcPolygon(st->pointsA, ax / 2, ay / 2, 0, 360);
  for (int32_t i = 0; i < count; i++) {
    st->pointsA[2 * i] += (r->width - ax) / 2;
    st->pointsA[2 * i + 1] += (r->height - ay) / 2;
  }
  int32_t *clipped;
  count = ClipToArea(r, st, count, &clipped);
  // An ellipse whose axes are past 1.5 times the longer side covers the area whatever the
  // rounding of its points.
  const int32_t longer = r->width > r->height ? r->width : r->height;
  const bool whole = OnlyCorners(r, clipped, count) || st->size > longer + longer / 2 + 4;
  if (whole) FxSetDone(done);
  if (!st->counting) DrawShape(r, st, clipped, count, whole, 0, 0, r->width, r->height);
  st->size += r->speed;
  return 0;
}

void FxSunFree(TransitionRecord *r, int) { ShapeFree(r); }

// ---- STAR ----

int FxStar(TransitionRecord *r, int32_t *done) {
  const int32_t w = r->width, h = r->height;
  if (r->phase == FXPHASE_SETUP) {
    if (ShapeSetup(r, 11)) return 1000;
    const int32_t s = FxClamp(FxStepsForSpeed(r->speed, w > h ? w : h, 12, 6, 24), 1, 100);
    r->speed = s;
    State(r)->size = s + 10;
    if (w >= h) {
      r->frames = FxCeilDiv(4 * w - s - 10, s, 0);
    } else {
      int32_t n = 1;
      for (int64_t size = s + 10; (int64_t)(size * (double)w / h + 1.0) < 4 * (int64_t)w; size += s) n++;
      r->frames = n;
    }
    return 0;
  }
  if (!BeginSized(r)) return 0;
  ShapeState *st = State(r);
  int32_t sw, sh;
  ShapeSides(r, st->size, 1, &sw, &sh);
  if (sw >= 4 * w) {
    FxSetDone(done);
    DrawShape(r, st, nullptr, 0, true, 0, 0, w, h);
  } else {
    const int32_t ox = (w - sw) / 2, oy = (h - sh) / 2;
    const int32_t a = (int32_t)(sh * 0.375), b = (int32_t)(sw * 0.3), c = (int32_t)(sw * 0.4),
                  d = (int32_t)(sh * 0.6), e = sw / 5;
    const int32_t star[22] = {0, a, c, a, sw / 2, 0, sw - c, a, sw - 1, a, sw - b, d,
                              sw - e, sh - 1, sw / 2, sh - sh / 4, e, sh - 1, b, d, 0, a};
    for (int i = 0; i < 11; i++) {
      st->pointsA[2 * i] = star[2 * i] + ox;
      st->pointsA[2 * i + 1] = star[2 * i + 1] + oy;
    }
    int32_t *clipped;
    const int32_t count = ClipToArea(r, st, 11, &clipped);
    DrawShape(r, st, clipped, count, false, ox > 0 ? ox : 0, oy > 0 ? oy : 0, sw < w ? sw : w, sh < h ? sh : h);
  }
  st->size += r->speed;
  return 0;
}

void FxStarFree(TransitionRecord *r, int) { ShapeFree(r); }

// ---- CLOCKWIPE ----

namespace {

// Length of the border path (clockwise, from the top left corner).
int32_t Perimeter(const TransitionRecord *r) { return 2 * (r->width - 1) + 2 * (r->height - 1); }

// The border point at position q along the path.
void BorderPoint(const TransitionRecord *r, int32_t q, int32_t *x, int32_t *y) {
  const int32_t w1 = r->width - 1, h1 = r->height - 1, p = Perimeter(r);
  if (p > 0) q %= p;
  if (q < w1) *x = q, *y = 0;
  else if (q < w1 + h1) *x = w1, *y = q - w1;
  else if (q < 2 * w1 + h1) *x = w1 - (q - w1 - h1), *y = h1;
  else *x = 0, *y = h1 - (q - 2 * w1 - h1);
  if (p == 0) *x = 0, *y = 0;
}

// The sector of the hand's sweep from `from` to `to`: the centre, the border points and the
// corners passed between them. Returns the points.
int32_t Sector(const TransitionRecord *r, int32_t *pts, int32_t from, int32_t to) {
  const int32_t w1 = r->width - 1, h1 = r->height - 1, p = Perimeter(r);
  const int32_t cx = r->width / 2, cy = r->height / 2;
  int32_t n = 0;
  auto put = [&](int32_t x, int32_t y) {
    pts[2 * n] = x;
    pts[2 * n + 1] = y;
    n++;
  };
  put(cx, cy);
  int32_t x, y;
  BorderPoint(r, from, &x, &y);
  put(x, y);
  if (p > 0) {
    const int32_t corners[4] = {w1, w1 + h1, 2 * w1 + h1, p};
    for (int32_t lap = 0; lap <= 1; lap++)
      for (int32_t c : corners) {
        const int32_t q = c + lap * p;
        if (q > from && q < to) {
          BorderPoint(r, q, &x, &y);
          put(x, y);
        }
      }
  }
  BorderPoint(r, to, &x, &y);
  put(x, y);
  put(cx, cy);
  return n;
}

// The hand's next position: s further along the border, stopping one past the top middle.
void AdvanceHand(TransitionRecord *r, ShapeState *st) {
  const int32_t end = r->width / 2 + Perimeter(r) + 1;
  st->prevHand = st->hand;
  if (st->hand >= end) st->swept = 1;
  st->hand = st->hand + r->speed > end ? end : st->hand + r->speed;
}

void ResetHand(TransitionRecord *r, ShapeState *st) {
  st->prevHand = r->width / 2;
  st->hand = r->width / 2 + r->speed;
  st->swept = 0;
}

}  // namespace

int FxClockWipe(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (ShapeSetup(r, 10)) return 1000;
    r->speed = FxClamp(FxSpeedValue(r->speed, 10, 15, 5), 1, 30);
    ResetHand(r, State(r));
    TransitionRecord *rec = r;
    CountFrames(r, FxClockWipe, [rec](ShapeState *st) { ResetHand(rec, st); });
    return 0;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  ShapeState *st = State(r);
  const bool seek = r->phase == FXPHASE_SEEK;
  if (seek) {
    ClearShape(r, st);
    ResetHand(r, st);
    for (int32_t i = 1; i < r->frame; i++) AdvanceHand(r, st);
  } else if (!st->counting) {
    FxRevealLayer(r);
  }
  if (st->swept) {
    FxSetDone(done);
    if (!st->counting) DrawShape(r, st, nullptr, 0, true, 0, 0, r->width, r->height);
  } else if (!st->counting) {
    // A seek draws the whole sweep up to the hand.
    const int32_t from = seek ? r->width / 2 : st->prevHand;
    int32_t count = Sector(r, st->pointsA, from, st->hand);
    int32_t x0 = r->width, y0 = r->height;
    for (int32_t i = 0; i < count; i++) {
      if (st->pointsA[2 * i] < x0) x0 = st->pointsA[2 * i];
      if (st->pointsA[2 * i + 1] < y0) y0 = st->pointsA[2 * i + 1];
    }
    if (seek) x0 = y0 = 0;
    int32_t *clipped;
    count = ClipToArea(r, st, count, &clipped);
    DrawShape(r, st, clipped, count, false, x0, y0, r->width - x0, r->height - y0);
  }
  AdvanceHand(r, st);
  return 0;
}

void FxClockWipeFree(TransitionRecord *r, int) { ShapeFree(r); }
