// Effects that uncover the source in growing bands, blocks or rectangles: FLOW (the last
// uncovered line stretched over the rest, so that the picture seems to flow in), SPLIT (bands
// moving apart in two halves), UPNDOWN (eight strips uncovered in pairs, one down and one up),
// QUADRECT (rectangles growing in the quarters) and DIAGONAL (blocks along a diagonal front).
// FLOW can seek; the others draw only in phase 1, start over on the first frame and uncover the
// whole area on their last one.
#include <cstring>
#include <initializer_list>
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "gfx/scale.h"

namespace {

int32_t Longer(const TransitionRecord *r) { return r->width > r->height ? r->width : r->height; }

// ---- FLOW ----

struct FlowState {
  BitMap *frame;  // outside real-time layer mode
  int32_t p;      // the line up to which the source is uncovered (from the member's edge)
  // Column members: one row of the stretched column with its visibility, so that the stretch
  // is drawn a row at a time (a column at a time copies one pixel a row).
  BitMap *line;
  Mask *lineMask;
  AlphaChannel *lineAlpha;
};

// The axis of a member: lines are rows (t) or columns, counted from the far edge when `far`.
struct Lines {
  int t, far;
  int32_t d, across;
  // The rectangle of `n` lines from `line`.
  void Rect(int32_t line, int32_t n, int32_t *x, int32_t *y, int32_t *w, int32_t *h) const {
    if (far) line = d - line - n;
    if (t) *x = 0, *y = line, *w = across, *h = n;
    else *x = line, *y = 0, *w = n, *h = across;
  }
};

Lines FlowLines(const TransitionRecord *r) {
  const int e = r->effect - FX_HFLOWTOP;  // top, bottom, left, right
  const int t = e < 2;
  return Lines{t, e & 1, t ? r->height : r->width, t ? r->width : r->height};
}

// Source lines [from, from + n) copied to `to` (n lines): into the frame buffer through the
// source's planes, or into the layer's buffers.
void FlowCopy(TransitionRecord *r, FlowState *f, const Lines &l, int32_t from, int32_t n, int32_t to) {
  int32_t sx, sy, dx, dy, w, h;
  l.Rect(from, n, &sx, &sy, &w, &h);
  l.Rect(to, n, &dx, &dy, &w, &h);
  if (r->realTimeLayer) {
    FxPut(r, FxSourcePic(r), sx, sy, w, h, dx, dy, FXDRAW_NOREFRESH | FXDRAW_KEEPEXTRA);
    return;
  }
  FxSafeBlt(r, r->source, sx, sy, f->frame, dx, dy, w, h, r->width, r->height, r->width, r->height, r->mask, r->alpha,
            3);
}

// Column members: source column p - 1 stretched over the columns from p to the far edge, the
// same pixels as a copy of the column to each of them, drawn a row at a time: the row's pixel
// and visibility spread over the line row, which is then drawn like a piece of the source.
void FlowSpreadColumn(TransitionRecord *r, FlowState *f, const Lines &l, int32_t p) {
  int32_t sx, sy, dx, dy, w, h;
  l.Rect(p - 1, 1, &sx, &sy, &w, &h);
  l.Rect(p, l.d - p, &dx, &dy, &w, &h);
  const BitMap *src = r->source;
  if (!src || !f->line || w < 1 || sx < 0 || sx >= src->width || sx >= r->width) return;
  const int32_t rows = src->height < r->height ? src->height : r->height, bpp = f->line->bytesPerPixel;
  uint8_t *row = f->line->pixels;
  const int32_t n = w < f->line->width ? w : f->line->width;
  for (int32_t y = 0; y < rows; y++) {
    BltBitMap(src, sx, y, f->line, 0, 0, 1, 1);
    for (int32_t k = 1; k < n; k *= 2) memcpy(row + (size_t)k * bpp, row, (size_t)(k < n - k ? k : n - k) * bpp);
    if (f->lineMask)
      memset(f->lineMask->pixels, MaskRowBit(r->mask->pixels + (ptrdiff_t)y * r->mask->bytesPerRow, sx) ? 0xFF : 0,
             (size_t)f->lineMask->bytesPerRow);
    if (f->lineAlpha)
      memset(f->lineAlpha->pixels, r->alpha->pixels[(ptrdiff_t)y * r->alpha->bytesPerRow + sx],
             (size_t)f->lineAlpha->bytesPerRow);
    const Mask *mask = f->lineMask;
    const AlphaChannel *alpha = f->lineAlpha;
    if (r->realTimeLayer)
      FxPut(r, FxPic{f->line, mask, alpha}, 0, 0, n, 1, dx, y, FXDRAW_NOREFRESH | FXDRAW_KEEPEXTRA);
    else
      FxSafeBlt(r, f->line, 0, 0, f->frame, dx, y, n, 1, f->line->width, 1, r->width, r->height, mask, alpha, 3);
  }
}

// The source's lines [0 .. p) as they are from `first` on, and the lines from p to the far edge
// filled with line p - 1; then shown from line `first` on.
void FlowDraw(TransitionRecord *r, FlowState *f, const Lines &l, int32_t first, int32_t p) {
  if (first < 0) first = 0;  // a step longer than the picture
  int32_t x, y, w, h;
  l.Rect(first, l.d - first, &x, &y, &w, &h);
  if (!r->realTimeLayer && (r->mask || r->alpha) && r->before)
    FxCopyRegion(r->before, x, y, f->frame, x, y, w, h, r->width, r->height, r->width, r->height);
  if (p > first) FlowCopy(r, f, l, first, p - first, first);
  if (!l.t && f->line && p >= 1 && p < l.d) FlowSpreadColumn(r, f, l, p);
  else
    for (int32_t line = p; line < l.d && p >= 1; line++) FlowCopy(r, f, l, p - 1, 1, line);
  if (r->realTimeLayer) {
    if (r->phase == FXPHASE_RUN && !r->noRefresh) {
      FxLayerView v;
      if (FxLayerBuffers(r, &v))
        FxBlitRegion(r, v.bitmap, x, y, r->x + x, r->y + y, w, h, v.width, v.height, v.mask, v.alpha, 0);
    }
  } else {
    FxPut(r, FxPic{f->frame, nullptr, nullptr}, x, y, w, h, x, y, 0);
  }
}

int Flow(TransitionRecord *r, int32_t *done) {
  const Lines l = FlowLines(r);
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(FlowState))) return 1000;
    FlowState *f = (FlowState *)r->privateState;
    const int32_t s = FxClamp(l.t ? FxStepsForSpeed(r->speed, l.d, 50, 20, 120) : FxStepsForSpeed(r->speed, l.d, 30, 10, 80), 1, 30);
    r->speed = s;
    f->p = r->reverse ? l.d - s : s;
    r->frames = r->reverse ? FxCeilDiv(l.d - 2 * s, s, 0) : FxCeilDiv(l.d - s, s, 0);
    if (!r->realTimeLayer && !(f->frame = AllocBitMap(r->width, r->height))) return 1000;
    if (!l.t && r->width > 0) {
      if (!(f->line = AllocBitMap(r->width, 1))) return 1000;
      if (r->mask && !(f->lineMask = AllocMask(nullptr, r->width, 1, 1))) return 1000;
      if (r->alpha && !(f->lineAlpha = AllocAlphaChannel(r->width, 1, 1))) return 1000;
    }
    return 0;
  }
  FlowState *f = (FlowState *)r->privateState;
  const int32_t s = r->speed;
  if (r->phase == FXPHASE_SEEK) {
    const int32_t q = r->frame * s;
    int32_t at = r->reverse ? l.d - q : q;
    at = FxClamp(at, 0, l.d);
    if (at < 1) FxClearArea(r, 0, 0, r->width, r->height, 0);
    else FlowDraw(r, f, l, 0, at);
    f->p = r->reverse ? at - s : at + s;
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  if (!r->reverse && f->p >= l.d) {
    f->p = l.d;
    FxSetDone(done);
  } else if (r->reverse && f->p <= s) {
    // A layer being hidden ends wholly transparent.
    f->p = s;
    FxSetDone(done);
    FxClearArea(r, 0, 0, r->width, r->height, 0);
    f->p -= s;
    FxEndFrame(r);
    return 0;
  }
  FlowDraw(r, f, l, f->p - s, f->p);
  f->p += r->reverse ? -s : s;
  FxEndFrame(r);
  return 0;
}

// ---- SPLIT ----

struct SplitState {
  int32_t a, b;
};

// ---- UPNDOWN ----

struct UpNDownState {
  int32_t offset, pass;
};

// ---- QUADRECT ----

struct QuadState {
  int32_t pw, ph, t, stageStart, second;
};

struct Box {
  int32_t x, y, w, h;
};

// Uncovers the part of `outer` outside `inner` (inner lies within outer or is empty).
void UncoverRing(TransitionRecord *r, const Box &o, const Box &i) {
  if (i.w < 1 || i.h < 1) {
    FxUncover(r, o.x, o.y, o.w, o.h);
    return;
  }
  FxUncover(r, o.x, o.y, o.w, i.y - o.y);
  FxUncover(r, o.x, i.y + i.h, o.w, o.y + o.h - i.y - i.h);
  FxUncover(r, o.x, i.y, i.x - o.x, i.h);
  FxUncover(r, i.x + i.w, i.y, o.x + o.w - i.x - i.w, i.h);
}

// The rectangle of side u (in proportion on the shorter side) centred in a quarter.
Box QuarterRect(const TransitionRecord *r, int32_t u) {
  const int32_t w = r->width, h = r->height, m = Longer(r);
  const double ratio = m > 0 ? (double)(w > h ? h : w) / m : 1.0;
  const int32_t other = FxAtLeast1((int32_t)(ratio * u + 1.0));
  Box b{0, 0, w >= h ? u : other, w >= h ? other : u};
  if (b.w >= w / 2 || b.h >= h / 2) return Box{0, 0, w / 2, h / 2};
  b.x = (w / 2 - b.w) / 2;
  b.y = (h / 2 - b.h) / 2;
  return b;
}

// The two quarters of a stage: top left and bottom right first, then top right and bottom left.
void StageRects(const TransitionRecord *r, int second, const Box &q, Box out[2]) {
  const int32_t rightX = r->width / 2 + r->width % 2, lowY = r->height / 2 + r->height % 2;
  out[0] = Box{q.x + (second ? rightX : 0), q.y, q.w, q.h};
  out[1] = Box{q.x + (second ? 0 : rightX), q.y + lowY, q.w, q.h};
}

}  // namespace

int FxHFlowTop(TransitionRecord *r, int32_t *done) { return Flow(r, done); }
int FxHFlowBottom(TransitionRecord *r, int32_t *done) { return Flow(r, done); }
int FxVFlowLeft(TransitionRecord *r, int32_t *done) { return Flow(r, done); }
int FxVFlowRight(TransitionRecord *r, int32_t *done) { return Flow(r, done); }

void FxFlowFree(TransitionRecord *r, int) {
  FlowState *f = (FlowState *)r->privateState;
  FreeBitMap(f->frame);
  FreeTriple(f->line, f->lineMask, f->lineAlpha);
  f->frame = nullptr;
  f->line = nullptr;
  f->lineMask = nullptr;
  f->lineAlpha = nullptr;
}

int FxSplit(TransitionRecord *r, int32_t *done) {
  const int t = r->effect == FX_VSPLIT;
  const int32_t size = t ? r->height : r->width, q = size / 4;
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(SplitState))) return 1000;
    r->speed = FxClamp(FxStepsForSpeed(r->speed, Longer(r), 120, 60, 240), 1, 30);
    r->frames = FxCeilDiv(q + r->speed, r->speed, 1);
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  SplitState *sp = (SplitState *)r->privateState;
  const int32_t s = r->speed;
  if (r->frame == 0) {
    sp->a = q + s;
    sp->b = q - s;
  }
  sp->a -= s;
  sp->b += s;
  if (sp->b > size / 2) sp->b = size / 2;
  if (sp->a < 1) {
    sp->a = 0;
    FxSetDone(done);
    FxUncover(r, 0, 0, r->width, r->height);
  } else {
    const int32_t next = size / 2 + size % 2;
    for (int32_t half = 0; half < 2; half++)
      for (int32_t at : {sp->a + half * next, sp->b + half * next}) {
        if (t) FxUncover(r, 0, at, r->width, s);
        else FxUncover(r, at, 0, s, r->height);
      }
  }
  FxEndFrame(r);
  return 0;
}

int FxUpNDown(TransitionRecord *r, int32_t *done) {
  const int32_t h = r->height, w8 = r->width / 8 + 1;
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(UpNDownState))) return 1000;
    r->speed = FxClamp(FxStepsForSpeed(r->speed, Longer(r), 60, 30, 120), 1, 30);
    r->frames = FxCeilDiv(4 * h, r->speed, 0);
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  UpNDownState *u = (UpNDownState *)r->privateState;
  if (r->frame == 0) u->offset = u->pass = 0;
  static const int32_t kDown[4] = {0, 3, 4, 7}, kUp[4] = {1, 2, 5, 6};
  const int32_t s = r->speed, pass = u->offset >= h ? u->offset / h : 0, row = u->offset >= h ? u->offset % h : u->offset;
  if (pass != u->pass) {
    // The strips of the pass that ended are finished whole.
    FxUncover(r, kDown[u->pass] * w8, 0, w8, h);
    FxUncover(r, kUp[u->pass] * w8, 0, w8, h);
    u->pass = pass > 4 ? 4 : pass;
  }
  if (pass >= 4) {
    FxSetDone(done);
    FxUncover(r, 0, 0, r->width, h);
  } else {
    FxUncover(r, kDown[pass] * w8, row, w8, s + 2);
    FxUncover(r, kUp[pass] * w8, (h - row - s > 1 ? h - row - s : 1) - 1, w8, s + 2);
  }
  u->offset += s;
  FxEndFrame(r);
  return 0;
}

int FxQuadRect(TransitionRecord *r, int32_t *done) {
  const int32_t m = Longer(r);
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(QuadState))) return 1000;
    r->speed = FxClamp(FxStepsForSpeed(r->speed, m, 120, 60, 240), 1, 30);
    r->frames = FxCeilDiv(m, r->speed, 1);
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  QuadState *qs = (QuadState *)r->privateState;
  if (r->frame == 0) memset(qs, 0, sizeof *qs);
  qs->t += r->speed;
  if (qs->t >= m) {
    FxSetDone(done);
    FxUncover(r, 0, 0, r->width, r->height);
    FxEndFrame(r);
    return 0;
  }
  const Box now = QuarterRect(r, qs->t - qs->stageStart);
  Box prev = qs->pw ? QuarterRect(r, qs->pw) : Box{0, 0, 0, 0};
  Box at[2], was[2];
  StageRects(r, qs->second, now, at);
  StageRects(r, qs->second, prev, was);
  for (int k = 0; k < 2; k++) UncoverRing(r, at[k], qs->pw ? was[k] : Box{0, 0, 0, 0});
  if (!qs->second && qs->t >= m / 2) {
    // The first two quarters are finished whole before the other two start.
    StageRects(r, 0, Box{0, 0, r->width / 2 + r->width % 2, r->height / 2 + r->height % 2}, at);
    for (const Box &b : at) FxUncover(r, b.x, b.y, b.w, b.h);
    qs->second = 1;
    qs->stageStart = qs->t;
    qs->pw = 0;
  } else {
    qs->pw = qs->t - qs->stageStart;  // the side the previous rectangle was made from
  }
  FxEndFrame(r);
  return 0;
}

int FxDiagonal(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(SplitState))) return 1000;
    int32_t s = FxStepsForSpeed(r->speed, r->width, 60, 20, 130);
    if (s > r->width / 4) s = 1;
    r->speed = s;
    r->frames = FxCeilDiv(r->width + r->height - s, s, 0);
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  SplitState *dg = (SplitState *)r->privateState;  // a: front, b: rows of blocks
  const int32_t s = r->speed, end = r->width + r->height;
  if (r->frame == 0) dg->a = s, dg->b = 0;
  if (dg->b < r->height / s + 1) dg->b++;
  if (dg->a >= end) {
    dg->a = end;
    FxSetDone(done);
    FxUncover(r, 0, 0, r->width, r->height);
  } else {
    for (int32_t i = 0; i < dg->b; i++) FxUncover(r, dg->a - (i + 1) * s, i * s, s, s);
  }
  dg->a += s;
  FxEndFrame(r);
  return 0;
}
