// SCROLLLEFT ... SCROLLNORTHWEST: the object slides in from outside the picture (or out to it,
// reversed) through the moving-object engine.
#include "fx/fx_scroll.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"

namespace {
FxMoveObjectFunc gMoveObject;
}

void FxSetMoveObject(FxMoveObjectFunc moveObject) { gMoveObject = moveObject; }
FxMoveObjectFunc FxGetMoveObject(void) { return gMoveObject; }

int FxScroll(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    FxRevealLayer(r);
    if (FxAllocPrivate(r, sizeof(FxMoveContext))) return 1000;
    FxMoveContext *c = (FxMoveContext *)r->privateState;
    c->state = r->state;
    if (r->layer) {
      c->objectType = FXMOVE_LAYER;
      c->layer = r->layer;
    } else {
      c->objectType = FXMOVE_NOOBJECT;
      c->bitmap = r->source;
      c->mask = r->mask;
      c->alpha = r->alpha;
    }
    c->transition = 1;
    c->width = r->width;
    c->height = r->height;
    c->style = r->parameter == FX_RANDOMPARAMETER ? 0 : r->parameter;
    c->speed = r->speed;
    if (r->kind == FXKIND_BGPIC && (r->blitFlags & FXBLIT_LAYERS)) c->flags = FXMOVE_FLAG_BGPIC_LAYERS;
    // Off-screen position by direction: left, right, top, bottom, then the four corners.
    static const int32_t outX[8] = {FXPOS_LEFTOUT, FXPOS_RIGHTOUT, 0, 0,
                                    FXPOS_RIGHTOUT, FXPOS_RIGHTOUT, FXPOS_LEFTOUT, FXPOS_LEFTOUT};
    static const int32_t outY[8] = {0, 0, FXPOS_TOPOUT, FXPOS_BOTTOMOUT,
                                    FXPOS_TOPOUT, FXPOS_BOTTOMOUT, FXPOS_BOTTOMOUT, FXPOS_TOPOUT};
    const int d = r->effect - FX_SCROLLLEFT;
    const int32_t offX = outX[d] ? outX[d] : r->x, offY = outY[d] ? outY[d] : r->y;
    c->startX = r->reverse ? r->x : offX;
    c->startY = r->reverse ? r->y : offY;
    c->endX = r->reverse ? offX : r->x;
    c->endY = r->reverse ? offY : r->y;
    if (!gMoveObject) return 1055;
    int rc = gMoveObject(c);
    r->frames = FxAtLeast1(c->frames);
    return rc;
  }
  if (r->phase != FXPHASE_RUN) return 0;
  FxMoveContext *c = (FxMoveContext *)r->privateState;
  if (r->bgpicEmu) FxRefreshSources(r, 2);
  int rc = c->step ? c->step(c, done) : (FxSetDone(done), 0);
  r->frame++;
  return rc;
}

void FxScrollFree(TransitionRecord *r, int completed) {
  FxMoveContext *c = (FxMoveContext *)r->privateState;
  if (!c) return;
  // A scrolled layer goes back to where it was when the transition began.
  if (r->layer && FxGetHooks()->setLayerPosition)
    FxGetHooks()->setLayerPosition(r->layer, r->layerOriginX, r->layerOriginY, completed);
  if (c->free) c->free(c, completed);
  c->free = nullptr;
  c->step = nullptr;
}
