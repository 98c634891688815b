// HSTRANGEPUSH / VSTRANGEPUSH: the new image is pushed in from two opposite sides at once, the
// odd rows from one side and the even rows from the other.
#include <cstring>
#include "fx/fx_effects.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "runtime/memory.h"

namespace {

struct PushState {
  int32_t size;
  BitMap *work;               // W x H frame outside real-time layer mode
  Mask *lineMask[2];          // plane 0 keeps the odd rows, plane 1 the even rows
  AlphaChannel *lineAlpha[2];
};

void FreeLines(PushState *s) {
  for (int i = 0; i < 2; i++) {
    FreeMask(s->lineMask[i]);
    FreeAlphaChannel(s->lineAlpha[i]);
    s->lineMask[i] = nullptr;
    s->lineAlpha[i] = nullptr;
  }
}

// Copies of the source's mask or alpha (all visible without either), each with every other row
// cleared, starting at row i. 0 or 1000.
int FxStrangePushLines(TransitionRecord *r, PushState *s) {
  const int32_t w = r->width, h = r->height;
  for (int i = 0; i < 2; i++) {
    if (r->alpha) {
      AlphaChannel *a = s->lineAlpha[i] = AllocAlphaChannel(w, h, 1);
      if (!a) return 1000;
      CombineAlphaChannelsClipped(r->alpha, 0, 0, a, 0, 0, w, h, 0, 0, w, h, w, h);
      for (int32_t y = i; y < h; y += 2) memset(a->pixels + (size_t)y * a->bytesPerRow, 0, (size_t)a->bytesPerRow);
    } else {
      Mask *m = s->lineMask[i] = AllocMask(nullptr, w, h, 1);
      if (!m) return 1000;
      if (r->mask) BltMaskToMask(r->mask, 0, 0, m, 0, 0, w, h, MASKVANILLACOPY);
      else FillMaskRect(m, 0, 0, w, h, MASKVISIBLE);
      for (int32_t y = i; y < h; y += 2) memset(m->pixels + (size_t)y * m->bytesPerRow, 0, (size_t)m->bytesPerRow);
    }
  }
  return 0;
}

void RestoreWork(TransitionRecord *r, PushState *s) {
  if (!s->work) return;
  if (r->before)
    FxCopyRegion(r->before, 0, 0, s->work, 0, 0, r->width, r->height, r->before->width, r->before->height, r->width,
                 r->height);
  else RectFillBitMap(s->work, 0, 0, r->width, r->height, 0);
}

int32_t Distance(const TransitionRecord *r) { return r->effect == FX_HSTRANGEPUSH ? r->width : r->height; }

// Draws the part (sx, sy, w, h) of the source at (dx, dy) through line plane i.
void Push(TransitionRecord *r, PushState *s, const FxLayerView &v, int i, int32_t sx, int32_t sy, int32_t dx,
          int32_t dy, int32_t w, int32_t h) {
  if (w < 1 || h < 1) return;
  if (r->realTimeLayer) {
    FxDrawStep(r->source, sx, sy, v.bitmap, v.mask, v.alpha, dx, dy, w, h, r->width, r->height, v.width, v.height,
               s->lineMask[i], s->lineAlpha[i], r, FXDRAW_COMBINE | FXDRAW_BLEND | FXDRAW_NOREFRESH);
  } else {
    FxSafeBlt(r, r->source, sx, sy, s->work, dx, dy, w, h, r->width, r->height, r->width, r->height, s->lineMask[i],
              s->lineAlpha[i], 0);
  }
}

}  // namespace

int FxStrangePush(TransitionRecord *r, int32_t *done) {
  const int32_t d = Distance(r), w = r->width, h = r->height;
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(PushState))) return 1000;
    PushState *s = (PushState *)r->privateState;
    int32_t step = FxStepsForSpeed(r->speed, d, 60, 30, 120);
    if (step > d) step = FxAtLeast1(d);  // the same single frame, and no overflow of the size
    if (step & 1) step++;
    r->speed = step;
    if (!r->realTimeLayer) {
      if (!(s->work = AllocBitMap(w, h))) return 1000;
      RestoreWork(r, s);
    }
    if (FxStrangePushLines(r, s)) return 1000;
    s->size = r->reverse ? d - step : step;
    r->frames = FxCeilDiv(d - step, step, 0);
    return 0;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  PushState *s = (PushState *)r->privateState;
  const int32_t step = r->speed;
  if (r->phase == FXPHASE_RUN) {
    FxRevealLayer(r);
  } else {
    FreeLines(s);
    if (FxStrangePushLines(r, s)) return 1000;
    RestoreWork(r, s);
    s->size = r->reverse ? d - r->frame * step : r->frame * step;
  }
  if (r->reverse && s->size < 1) {
    s->size = 0;
    FxSetDone(done);
  } else if (!r->reverse && s->size >= d) {
    s->size = d;
    FxSetDone(done);
  }
  FxLayerView v;
  if (r->realTimeLayer) {
    if (!FxLayerBuffers(r, &v)) return 0;
    if (v.mask) FillMaskRect(v.mask, 0, 0, v.width, v.height, MASKINVISIBLE);
    if (v.alpha) FillAlphaChannelRect(v.alpha, 0, 0, v.width, v.height, 0);
  } else if (r->mask || r->alpha) {
    RestoreWork(r, s);
  }
  const int32_t n = s->size;
  if (r->effect == FX_VSTRANGEPUSH) {
    Push(r, s, v, 0, 0, h - n, 0, 0, w, n);
    Push(r, s, v, 1, 0, 0, 0, h - n, w, n);
  } else {
    Push(r, s, v, 0, w - n, 0, 0, 0, n, h);
    Push(r, s, v, 1, 0, 0, w - n, 0, n, h);
  }
  if (!r->realTimeLayer)
    FxSafeBlt(r, s->work, 0, 0, r->target, r->x, r->y, w, h, w, h, r->pictureWidth, r->pictureHeight, nullptr,
              nullptr, r->blitFlags);
  s->size += r->reverse ? -step : step;
  if (r->phase == FXPHASE_RUN) {
    if (r->realTimeLayer && !r->noRefresh)
      FxBlitRegion(r, v.bitmap, 0, 0, v.x, v.y, v.width, v.height, v.width, v.height, v.mask, v.alpha,
                   FXDRAW_FORCEWINDOW);
    FxEndFrame(r);
  }
  return 0;
}

void FxStrangePushFree(TransitionRecord *r, int completed) {
  PushState *s = (PushState *)r->privateState;
  if (!s) return;
  FreeLines(s);
  FreeBitMap(s->work);
  s->work = nullptr;
}
