#include "fx/fx_offscreen.h"

#include <cstring>
#include "fx/fx_catalogue.h"

void FxInitOffscreen(TransitionRecord *r, int32_t effect, int32_t speed, int32_t parameter, BitMap *source,
                     Mask *mask, AlphaChannel *alpha, BitMap *before, BitMap *target, int32_t x, int32_t y) {
  memset(r, 0, sizeof *r);
  r->kind = FXKIND_BRUSH;
  r->effect = effect;
  r->speed = r->givenSpeed = speed;
  r->parameter = parameter;
  r->source = source;
  r->mask = mask;
  r->alpha = alpha;
  r->before = before;
  r->target = target;
  r->width = source ? source->width : 0;
  r->height = source ? source->height : 0;
  r->pictureWidth = target ? target->width : 0;
  r->pictureHeight = target ? target->height : 0;
  r->x = x;
  r->y = y;
  r->blitFlags = FXBLIT_PLAIN;
  r->undoLevel = 1;
  r->bgpicX = r->bgpicY = FX_POSITION_UNSET;
}

int FxRunOffscreen(TransitionRecord *r, int32_t maxFrames, FxFrameHook hook, void *user, int32_t *framesDrawn) {
  int32_t drawn = 0;
  int rc = FxInstallEffect(r);
  if (!rc) {
    r->phase = FXPHASE_SETUP;
    rc = r->step(r, nullptr);
  }
  if (!rc) {
    r->phase = FXPHASE_RUN;
    int32_t done = 0;
    while (!done && drawn < maxFrames) {
      rc = r->step(r, &done);
      if (rc) break;
      drawn++;
      if (hook && hook(r, user)) break;
    }
    if (done) r->finished = 1;
  }
  FxFreeEffectState(r, r->finished);
  if (framesDrawn) *framesDrawn = drawn;
  return rc;
}
