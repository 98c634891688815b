// BARS (16-pixel cells filled by growing columns, then by growing rows) and QUARTERS (the two
// halves filled by bands travelling down on the left and up on the right).
#include "fx/fx_effects.h"
#include "fx/fx_support.h"

namespace {
struct CellState {
  int32_t pos;
};
CellState *State(TransitionRecord *r) { return (CellState *)r->privateState; }
}  // namespace

int FxBars(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(CellState))) return 1000;
    int32_t step = FxStepsForSpeed(r->speed, 16, 16, 8, 40);
    if (step > 8) step = 8;
    r->speed = step;
    r->frames = FxCeilDiv(23, step + 1, 0);
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  CellState *s = State(r);
  const int32_t w = r->width, h = r->height;
  if (r->frame == 0) s->pos = 0;
  if (s->pos > 22) {
    s->pos = 23;  // the last frame fills whole 16-row cells
    FxSetDone(done);
  }
  const int32_t c = s->pos;
  if (c <= 8) {
    for (int32_t i = 0; i < w / 16; i++) FxDrawPiece(r, 16 * i, 0, c + 1, h);
    FxDrawPiece(r, 16 * (w / 16), 0, w % 16, h);
  } else {
    for (int32_t j = 0; j < h / 16; j++) FxDrawPiece(r, 0, 16 * j, w, c - 7);
    FxDrawPiece(r, 0, 16 * (h / 16), w, h % 16);
  }
  s->pos += r->speed + 1;
  FxEndFrame(r);
  return 0;
}

int FxQuarters(TransitionRecord *r, int32_t *done) {
  const int32_t w = r->width, h = r->height, p = w / 2, q = h / 2;
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(CellState))) return 1000;
    int32_t step = FxStepsForSpeed(r->speed, w, 70, 30, 200);
    if (step > h / 4) step = FxAtLeast1(h / 4);
    r->speed = step;
    r->frames = FxCeilDiv(h - q - step - 1, step + 1, 0);
    return 0;
  }
  if (!FxBeginFrame(r)) return 0;
  CellState *s = State(r);
  const int32_t step = r->speed, band = step + 1, end = h - q - step - 1;
  if (r->frame == 0) s->pos = 0;
  if (s->pos >= end) {
    s->pos = end;
    FxSetDone(done);
  }
  const int32_t pos = s->pos, up1 = h - pos - q - step - 1, up2 = h - pos - step - 1;
  FxDrawPiece(r, 0, pos, p, band);
  FxDrawPiece(r, 0, q + pos, p, band);
  // The right half takes the odd last column of an odd width.
  FxDrawPiece(r, p, up1, w - p, band);
  FxDrawPiece(r, p, up2, w - p, band);
  s->pos += band;
  FxEndFrame(r);
  return 0;
}
