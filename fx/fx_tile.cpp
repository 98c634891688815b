// Effects that uncover the source in pieces drawn straight from it: SWISS (four rectangles grow
// from the corners until only a cross of the old picture is left, then it goes too), SPIRAL (a
// band runs around a grid towards the centre, one block a frame) and PUZZLE (square tiles in a
// random order). They draw only in phase 1 and start over on the first frame; the frame that
// ends each of them uncovers the whole area, so that no piece the grid's rounding misses stays
// behind.
#include <cstring>
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_random.h"
#include "fx/fx_support.h"
#include "runtime/memory.h"

namespace {

int32_t Longer(const TransitionRecord *r) { return r->width > r->height ? r->width : r->height; }

// ---- SWISS ----

struct SwissState {
  int32_t t, px, py;
};

// Draws the rectangle (x, y, w, h) of the top left corner and its mirror images in the other three.
void FourCorners(TransitionRecord *r, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (w < 1 || h < 1) return;
  const int32_t mx = r->width - x - w, my = r->height - y - h;
  FxUncover(r, x, y, w, h);
  FxUncover(r, mx, y, w, h);
  FxUncover(r, x, my, w, h);
  FxUncover(r, mx, my, w, h);
}

// ---- SPIRAL ----

struct SpiralState {
  int32_t pos, leg, counting;
};

struct Leg {
  int vertical;
  int32_t fixed, from, to;
};

Leg SpiralLeg(const TransitionRecord *r, int32_t leg) {
  const int32_t w = r->width, h = r->height, cw = w / 7 + 1, rh = h / 6 + 1, s = r->speed;
  switch (leg) {
    case 0: return Leg{1, w - cw, 0, h - 1};
    case 1: return Leg{0, h - rh, w - cw - s, 0};
    case 2: return Leg{1, 0, h - rh - s, 0};
    case 3: return Leg{0, 0, cw, w - cw};
    case 4: return Leg{1, w - 2 * cw, rh, h - rh};
    case 5: return Leg{0, h - 2 * rh, w - 2 * cw - s, cw};
    case 6: return Leg{1, cw, h - 2 * rh - s, rh};
    case 7: return Leg{0, rh, 2 * cw, w - 2 * cw};
    case 8: return Leg{1, w - 3 * cw, 2 * rh, h - 2 * rh};
    case 9: return Leg{0, 3 * rh, w - 3 * cw - s, 2 * cw};
    case 10: return Leg{1, 2 * cw, 3 * rh - s, 2 * rh};
    default: return Leg{0, 2 * rh, 3 * cw, w - 3 * cw};
  }
}

// ---- PUZZLE ----

struct PuzzleState {
  int32_t next, count, columns, rows;
  int32_t *order;
};

}  // namespace

int FxSwiss(TransitionRecord *r, int32_t *done) {
  const int32_t m = Longer(r);
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(SwissState))) return 1000;
    r->speed = FxClamp(FxStepsForSpeed(r->speed, m, 120, 60, 240), 1, 30);
    // At least one frame: a 1x1 object has no half to grow over.
    r->frames = FxAtLeast1(FxCeilDiv(m / 2, r->speed, 1));
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  SwissState *sw = (SwissState *)r->privateState;
  if (r->frame == 0) memset(sw, 0, sizeof *sw);
  sw->t += r->speed;
  const double ratio = m > 0 ? (double)(r->width > r->height ? r->height : r->width) / m : 1.0;
  const int32_t other = FxAtLeast1((int32_t)(ratio * sw->t + 1.0));
  const int32_t hx = r->width >= r->height ? sw->t : other, vy = r->width >= r->height ? other : sw->t;
  if (sw->t >= m / 2) {
    FxSetDone(done);
    FxUncover(r, 0, 0, r->width, r->height);
  } else {
    // Only what each corner grew since the previous frame.
    FourCorners(r, sw->px, 0, hx - sw->px, vy);
    FourCorners(r, 0, sw->py, sw->px, vy - sw->py);
  }
  sw->px = hx;
  sw->py = vy;
  FxEndFrame(r);
  return 0;
}

int FxSpiral(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(SpiralState))) return 1000;
    r->speed = FxClamp(FxSpeedValue(r->speed, 10, 15, 5), 1, 30);
    SpiralState *sp = (SpiralState *)r->privateState;
    // Count the frames by running the band without drawing.
    sp->counting = 1;
    r->phase = FXPHASE_RUN;
    int32_t finished = 0, n = 0;
    while (!finished) {
      FxSpiral(r, &finished);
      n++;
    }
    memset(sp, 0, sizeof *sp);
    r->phase = FXPHASE_SETUP;
    r->frames = n;
    return 0;
  }
  if (r->phase != FXPHASE_RUN) return 0;
  SpiralState *sp = (SpiralState *)r->privateState;
  if (!sp->counting) {
    FxRevealLayer(r);
    if (r->frame == 0) sp->pos = sp->leg = 0;
  }
  const Leg leg = SpiralLeg(r, sp->leg);
  const int32_t s = r->speed;
  const bool last = sp->leg == 11 && sp->pos == leg.to;
  if (!sp->counting) {
    if (last) FxUncover(r, 0, 0, r->width, r->height);
    else if (leg.vertical) FxUncover(r, leg.fixed, sp->pos, r->width / 7 + 1, s);
    else FxUncover(r, sp->pos, leg.fixed, s, r->height / 6 + 1);
    FxEndFrame(r);
  }
  if (last) {
    FxSetDone(done);
  } else if (sp->pos == leg.to) {
    sp->leg++;
    sp->pos = SpiralLeg(r, sp->leg).from;
  } else if (sp->pos < leg.to) {
    // A leg may start past its end (a row lower than the step): the band moves towards the
    // end from either side and stops on it.
    sp->pos = sp->pos + s > leg.to ? leg.to : sp->pos + s;
  } else {
    sp->pos = sp->pos - s < leg.to ? leg.to : sp->pos - s;
  }
  return 0;
}

int FxPuzzle(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(PuzzleState))) return 1000;
    PuzzleState *p = (PuzzleState *)r->privateState;
    const int32_t s = FxStepsForSpeed(r->speed, r->width, 20, 10, 30);
    r->speed = s < 5 ? 5 : s;
    p->columns = r->width / r->speed + 1;
    p->rows = r->height / r->speed + 1;
    p->count = p->columns * p->rows;
    r->frames = p->count;
    p->order = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)p->count, 0);
    uint8_t *used = (uint8_t *)MemAlloc((size_t)p->count, 1);
    if (!p->order || !used) {
      MemFree(used);
      return 1000;
    }
    // Each slot takes a random tile; a tile already taken gives way to the nearest free one
    // below it, else above it.
    const int32_t n = p->count;
    for (int32_t i = 0; i < n; i++) {
      int32_t k = (int32_t)(n * FxRandUnit());
      if (k >= n) k = n - 1;
      int32_t pick = -1;
      for (int32_t j = k; j >= 0 && pick < 0; j--)
        if (!used[j]) pick = j;
      for (int32_t j = k + 1; j < n && pick < 0; j++)
        if (!used[j]) pick = j;
      used[pick] = 1;
      p->order[i] = pick;
    }
    MemFree(used);
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  PuzzleState *p = (PuzzleState *)r->privateState;
  if (r->frame == 0) p->next = 0;
  if (p->next >= p->count - 1) FxSetDone(done);
  if (p->next < p->count) {
    const int32_t t = p->order[p->next], s = r->speed;
    FxUncover(r, t % p->columns * s, t / p->columns * s, s, s);
  }
  p->next++;
  FxEndFrame(r);
  return 0;
}

void FxPuzzleFree(TransitionRecord *r, int) {
  PuzzleState *p = (PuzzleState *)r->privateState;
  MemFree(p->order);
  p->order = nullptr;
}
