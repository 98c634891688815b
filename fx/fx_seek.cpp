#include "fx/fx_seek.h"

#include "fx/fx_catalogue.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"

// A non-seekable effect at its current frame: its transition buffers are the source masked by
// what the effect revealed so far, which the record's extra mask (or alpha) keeps.
static void RebuildCurrentFrame(TransitionRecord *r) {
  FxLayerView v;
  if (!FxLayerBuffers(r, &v)) return;
  const int32_t w = r->width < v.width ? r->width : v.width, h = r->height < v.height ? r->height : v.height;
  if (v.bitmap && r->source) BltBitMap(r->source, 0, 0, v.bitmap, 0, 0, w, h);
  if (r->mask && r->extraMask && v.mask) {
    BltMaskToMask(r->extraMask, 0, 0, v.mask, 0, 0, w, h, MASKVANILLACOPY);
    BltMaskToMask(r->mask, 0, 0, v.mask, 0, 0, w, h, MASKAND);
  } else if (r->alpha && r->extraAlpha && v.alpha) {
    CombineAlphaChannels(r->extraAlpha, 0, 0, v.alpha, 0, 0, w, h, 0, 0);
    CombineAlphaChannels(r->alpha, 0, 0, v.alpha, 0, 0, w, h, 7, 0);
  }
}

int FxSeek(TransitionRecord *r, int32_t frame, int force) {
  if (!r->step) return 0;
  if (frame < 0) frame = 0;
  if (frame > r->frames) frame = r->frames;
  if (FxIsSeekable(r->effect)) {
    r->phase = FXPHASE_SEEK;
    r->frame = frame;
    int rc = r->step(r, nullptr);
    r->phase = FXPHASE_RUN;
    return rc;
  }
  if (frame == r->frame && !force) {
    RebuildCurrentFrame(r);
    return 0;
  }
  FxLayerView v;
  if (FxLayerBuffers(r, &v))
    FxDrawStep(nullptr, 0, 0, v.bitmap, v.mask, v.alpha, 0, 0, v.width, v.height, v.width, v.height, v.width,
               v.height, nullptr, nullptr, r, FXDRAW_ERASE | FXDRAW_NOREFRESH);
  r->phase = FXPHASE_RUN;
  r->noRefresh = 1;
  r->frame = 0;
  int rc = 0;
  for (int32_t f = 1; f <= frame && !rc; f++) {
    int32_t done = 0;
    rc = r->step(r, &done);
  }
  r->noRefresh = 0;
  r->frame = frame;
  return rc;
}
