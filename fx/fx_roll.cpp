// ROLLTOP, ROLLLEFT, WALLPAPERTOP and WALLPAPERLEFT: the source unrolls over the before image
// from the top (or the left) like paper from a cylinder. The lines the roll has passed lie flat;
// the cylinder's band shows the coming lines bent over it (the roll kernel copies them into a
// work bitmap). Reversed, on a layer being hidden, the paper rolls back up and leaves nothing.
// WALLPAPER differs from ROLL only in the size of the cylinder. Seekable.
#include <cmath>
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"
#include "gfx/transition_kernels.h"
#include "runtime/memory.h"

namespace {

struct RollState {
  BitMap *band;             // the cylinder's lines (work bitmap A)
  BitMap *compose;          // the before image with the lines over it (work bitmap B)
  Mask *bandMask;           // the band's visibility with a masked source
  AlphaChannel *bandAlpha;  // the band's visibility with a translucent source
  double *arc;              // one angle a cylinder line
  RollRecord kernel;
  int32_t position;         // the roll's line
  int32_t flatEdge;         // lines before it lie flat
  int32_t lastEnd;          // the band's last line on the previous frame (reversed)
};

int32_t Lines(const TransitionRecord *r) { return r->effect == FX_ROLLLEFT || r->effect == FX_WALLPAPERLEFT ? r->width : r->height; }

// The rectangle of lines [from, to).
void LineRect(const TransitionRecord *r, int32_t from, int32_t to, int32_t *x, int32_t *y, int32_t *w, int32_t *h) {
  const bool columns = r->effect == FX_ROLLLEFT || r->effect == FX_WALLPAPERLEFT;
  if (columns) *x = from, *y = 0, *w = to - from, *h = r->height;
  else *x = 0, *y = from, *w = r->width, *h = to - from;
}

// Lines [from, to) of the source lying flat, or (band) of the cylinder, over the before image.
void DrawLines(TransitionRecord *r, RollState *st, int32_t from, int32_t to, bool band) {
  if (to <= from) return;
  int32_t x, y, w, h;
  LineRect(r, from, to, &x, &y, &w, &h);
  if (band) FxMaskedBlit(r, st->band, x, y, w, h, st->bandMask, st->bandAlpha, st->compose, 0);
  else FxMaskedBlit(r, r->source, x, y, w, h, r->mask, r->alpha, st->compose, 0);
}

// The source's planes for the kernel, taken before every frame (not at set-up): an asynchronous
// roll over a layer takes the layer's images anew whenever the layer is rebuilt, at the same
// size too.
void TakeSourcePlanes(const TransitionRecord *r, RollState *st) {
  RollRecord &k = st->kernel;
  k.planes.src = r->source->pixels;
  k.planes.srcModulo = r->source->bytesPerRow / r->source->bytesPerPixel;
  k.planes.format = r->source->format;
  k.bytesPerPixel = r->source->bytesPerPixel == st->band->bytesPerPixel ? r->source->bytesPerPixel : 0;
  k.planes.srcMask = nullptr;
  k.planes.dstMask = nullptr;
  k.planes.srcAlpha = nullptr;
  k.planes.dstAlpha = nullptr;
  if (r->mask && st->bandMask) {
    k.planes.srcMask = r->mask->pixels;
    k.planes.srcMaskBytesPerRow = r->mask->bytesPerRow;
    k.planes.dstMask = st->bandMask->pixels;
    k.planes.dstMaskBytesPerRow = st->bandMask->bytesPerRow;
  } else if (r->alpha && st->bandAlpha) {
    k.planes.srcAlpha = r->alpha->pixels;
    k.planes.srcAlphaBytesPerRow = r->alpha->bytesPerRow;
    k.planes.dstAlpha = st->bandAlpha->pixels;
    k.planes.dstAlphaBytesPerRow = st->bandAlpha->bytesPerRow;
  }
}

// Runs the kernel for the roll at `p`; the band's first line, or p + 1 when nothing was copied.
int32_t Cylinder(RollState *st, int32_t p) {
  st->kernel.position = p;
  RollStep(&st->kernel);
  return st->kernel.copied ? st->kernel.firstLine : p + 1;
}

}  // namespace

int FxRoll(TransitionRecord *r, int32_t *done) {
  const int32_t d = Lines(r);
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(RollState))) return 1000;
    RollState *st = (RollState *)r->privateState;
    const bool wallpaper = r->effect == FX_WALLPAPERTOP || r->effect == FX_WALLPAPERLEFT;
    int32_t n = wallpaper ? d / 2 : d / 12;
    if (n < 20) n = 20;
    int32_t s = r->speed == FXSPEED_FAST ? 5 : r->speed == FXSPEED_NORMAL ? 2 : r->speed == FXSPEED_SLOW ? 1 : r->speed / 5;
    r->speed = s = FxClamp(s, 1, 8);
    r->frames = FxCeilDiv(d, s, 1);
    st->position = r->reverse ? d : 0;
    st->lastEnd = d - 1;
    if (!(st->arc = (double *)MemAlloc(sizeof(double) * (size_t)n, 0))) return 1000;
    for (int32_t i = 0; i < n; i++) st->arc[i] = std::asin(1.0 - 2.0 * i / n) + M_PI / 2;
    if (!(st->band = AllocBitMap(r->width, r->height))) return 1000;
    if (!r->realTimeLayer && !(st->compose = AllocBitMap(r->width, r->height))) return 1000;
    if (r->mask && !(st->bandMask = AllocMask(nullptr, r->width, r->height, 1))) return 1000;
    if (r->alpha && !(st->bandAlpha = AllocAlphaChannel(r->width, r->height, 1))) return 1000;
    RollRecord &k = st->kernel;
    k.planes.dst = st->band->pixels;
    k.planes.dstModulo = st->band->bytesPerRow / st->band->bytesPerPixel;
    k.planes.width = r->width;
    k.planes.height = r->height;
    k.lines = st->arc;
    k.count = n;
    k.columns = r->effect == FX_ROLLLEFT || r->effect == FX_WALLPAPERLEFT;
    return 0;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  RollState *st = (RollState *)r->privateState;
  TakeSourcePlanes(r, st);
  const int32_t s = r->speed;
  if (r->phase == FXPHASE_SEEK) {
    st->position = r->reverse ? d - r->frame * s : r->frame * s;
    FxRestartArea(r);
    st->flatEdge = 0;
    st->lastEnd = d - 1;
  } else {
    FxRevealLayer(r);
    st->position += r->reverse ? -s : s;
  }
  const int32_t p = st->position;
  if (!r->reverse) {
    if (p >= d) {
      DrawLines(r, st, st->flatEdge, d, false);
      FxSetDone(done);
    } else {
      const int32_t first = Cylinder(st, p);
      DrawLines(r, st, st->flatEdge, first, false);
      DrawLines(r, st, first, first + st->kernel.copied, true);
      st->flatEdge = first;
    }
  } else if (p < 1) {
    FxClearArea(r, 0, 0, r->width, r->height, 0);
    FxSetDone(done);
  } else {
    // Rolling back: what the band left behind shows what lies below again.
    const int32_t first = Cylinder(st, p);
    int32_t x, y, w, h;
    LineRect(r, p + 1, st->lastEnd + 1, &x, &y, &w, &h);
    FxClearArea(r, x, y, w, h, 0);
    DrawLines(r, st, first, first + st->kernel.copied, true);
    st->lastEnd = p;
  }
  FxEndFrame(r);
  return 0;
}

void FxRollFree(TransitionRecord *r, int) {
  RollState *st = (RollState *)r->privateState;
  FreeBitMap(st->band);
  FreeBitMap(st->compose);
  FreeMask(st->bandMask);
  FreeAlphaChannel(st->bandAlpha);
  MemFree(st->arc);
  st->band = st->compose = nullptr;
  st->bandMask = nullptr;
  st->bandAlpha = nullptr;
  st->arc = nullptr;
}
