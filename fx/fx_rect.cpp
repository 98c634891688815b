// Growing rectangle (RECT...) and shrinking rectangle (RECTBACK...): each frame draws the part
// of the source between the previous rectangle and the new one.
#include "fx/fx_effects.h"
#include "fx/fx_support.h"

namespace {

struct Box {
  int32_t x, y, w, h;  // relative to the object; w or h 0 is empty
};

struct RectState {
  int32_t size;
  Box prev;
};

RectState *State(TransitionRecord *r) { return (RectState *)r->privateState; }

enum { NEAR = 0, MIDDLE = 1, FAR = 2 };
// Anchors of the nine directions (centre, north, north-east ... north-west).
const int8_t kAnchorX[9] = {MIDDLE, MIDDLE, FAR, FAR, FAR, MIDDLE, NEAR, NEAR, NEAR};
const int8_t kAnchorY[9] = {MIDDLE, NEAR, NEAR, MIDDLE, FAR, FAR, FAR, MIDDLE, NEAR};

int32_t Place(int32_t total, int32_t *len, int anchor, int growOdd) {
  int32_t free = total - *len;
  if (anchor == NEAR) return 0;
  if (anchor == FAR) return free;
  if (growOdd && free % 2) {
    (*len)++;
    free--;
  }
  return free / 2;
}

// The rectangle whose side along the image's longer dimension is `size`, the other side in the
// image's proportion.
Box BoxForSize(const TransitionRecord *r, int32_t size, int ax, int ay, int growOdd) {
  const int32_t w = r->width, h = r->height;
  const int32_t longSide = w >= h ? w : h, shortSide = w >= h ? h : w;
  const double ratio = longSide > 0 ? (double)shortSide / longSide : 1.0;
  int32_t other = FxAtLeast1((int32_t)(size * ratio + 1.0));
  Box b;
  b.w = w >= h ? size : other;
  b.h = w >= h ? other : size;
  if (b.w > w) b.w = w;
  if (b.h > h) b.h = h;
  b.x = Place(w, &b.w, ax, growOdd);
  b.y = Place(h, &b.h, ay, growOdd);
  return b;
}

bool Empty(const Box &b) { return b.w < 1 || b.h < 1; }

// Draws the part of `outer` that lies outside `inner`: up to four strips.
void DrawDifference(TransitionRecord *r, const Box &outer, const Box &inner) {
  if (Empty(outer)) return;
  int32_t ix0 = inner.x > outer.x ? inner.x : outer.x, iy0 = inner.y > outer.y ? inner.y : outer.y;
  int32_t ix1 = inner.x + inner.w < outer.x + outer.w ? inner.x + inner.w : outer.x + outer.w;
  int32_t iy1 = inner.y + inner.h < outer.y + outer.h ? inner.y + inner.h : outer.y + outer.h;
  if (Empty(inner) || ix1 <= ix0 || iy1 <= iy0) {
    FxDrawPiece(r, outer.x, outer.y, outer.w, outer.h);
    return;
  }
  FxDrawPiece(r, outer.x, outer.y, outer.w, iy0 - outer.y);
  FxDrawPiece(r, outer.x, iy1, outer.w, outer.y + outer.h - iy1);
  FxDrawPiece(r, outer.x, iy0, ix0 - outer.x, iy1 - iy0);
  FxDrawPiece(r, ix1, iy0, outer.x + outer.w - ix1, iy1 - iy0);
}

int RectSetup(TransitionRecord *r, int back) {
  if (FxAllocPrivate(r, sizeof(RectState))) return 1000;
  const int32_t l = r->width > r->height ? r->width : r->height;
  int32_t step = FxStepsForSpeed(r->speed, l, 70, 30, 200);
  if (step > l / 4) step = 1;
  r->speed = step;
  r->frames = FxCeilDiv(l - step, step, 0);
  State(r)->size = back ? l - step : step;
  return 0;
}

}  // namespace

int FxRect(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) return RectSetup(r, 0);
  if (!FxBeginFrame(r)) return 0;
  RectState *s = State(r);
  const int32_t l = r->width > r->height ? r->width : r->height, step = r->speed;
  const int d = r->effect - FX_RECTCENTER;
  if (r->frame == 0) {
    s->size = step;
    s->prev = Box{0, 0, 0, 0};
  }
  Box now;
  if (s->size >= l) {
    now = Box{0, 0, r->width, r->height};
    s->size = l - step;
    FxSetDone(done);
  } else {
    now = BoxForSize(r, s->size, kAnchorX[d], kAnchorY[d], 1);
  }
  DrawDifference(r, now, s->prev);
  s->prev = now;
  s->size += step;
  FxEndFrame(r);
  return 0;
}

int FxRectBack(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) return RectSetup(r, 1);
  if (!FxBeginFrame(r)) return 0;
  RectState *s = State(r);
  const int32_t l = r->width > r->height ? r->width : r->height, step = r->speed;
  const int d = r->effect - FX_RECTBACKCENTER;
  if (r->frame == 0) {
    s->size = l - step;
    s->prev = Box{0, 0, r->width, r->height};
  }
  Box now{0, 0, 0, 0};
  if (s->size < 1) FxSetDone(done);
  // The part still to come shrinks towards the side opposite the named one.
  else now = BoxForSize(r, s->size, 2 - kAnchorX[d], 2 - kAnchorY[d], 0);
  DrawDifference(r, s->prev, now);
  s->prev = now;
  s->size -= step;
  FxEndFrame(r);
  return 0;
}
