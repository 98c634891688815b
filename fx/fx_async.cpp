// The callbacks of an asynchronous transition and its answers to the layer code.
#include "fx/fx_async.h"

#include <cmath>
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "fx/fx_catalogue.h"
#include "fx/fx_engine.h"
#include "fx/fx_scroll.h"
#include "fx/fx_seek.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "runtime/memory.h"

namespace {

int IsScroll(int32_t effect) { return effect >= FX_SCROLLLEFT && effect <= FX_SCROLLNORTHWEST; }

void TakeDrawnPosition(TransitionRecord *r) {
  if (!r->layer || !r->layer->drawnState) return;
  r->x = r->layer->drawnState->drawnX;
  r->y = r->layer->drawnState->drawnY;
}

// The layer's current images into the record (owned planes dropped first).
int FetchLayerImages(TransitionRecord *r) {
  kvLayer *l = r->layer;
  if (r->ownsSource) FreeBitMap(r->source);
  if (r->ownsMask) FreeMask(r->mask);
  if (r->ownsAlpha) FreeAlphaChannel(r->alpha);
  r->source = nullptr;
  r->mask = nullptr;
  r->alpha = nullptr;
  r->ownsSource = r->ownsMask = r->ownsAlpha = 0;
  TakeDrawnPosition(r);
  r->width = l->drawnState->drawnWidth;
  r->height = l->drawnState->drawnHeight;
  return FxTakeLayerImages(r, l);
}

// The before image made again at the record's (new) size.
int RemakeBefore(TransitionRecord *r) {
  if (!r->before) return 0;
  FreeBitMap(r->before);
  r->before = AllocBitMap(r->width, r->height);
  if (!r->before) return 1000;
  RectFillBitMap(r->before, 0, 0, r->width, r->height, 0);
  FxComposeUnderObject(r, r->before, 0);
  return 0;
}

// The transition set up again at the layer's new size, resuming at the same share of its run.
int Rebuild(TransitionRecord *r, int replaced) {
  kvLayer *l = r->layer;
  if (!replaced) FxFreeLayerStateBuffers(l);
  FreeMask(r->extraMask);
  FreeAlphaChannel(r->extraAlpha);
  r->extraMask = nullptr;
  r->extraAlpha = nullptr;
  int code = AllocLayerFXBuffers(r);
  if (code) return code;
  FxFreeEffectState(r, 0);
  if (r->bgpicEmu && ((code = RemakeBefore(r)) || (code = FxComposeEmulatedBGPic(r)))) return code;
  const int32_t oldFrame = r->frame, oldFrames = r->frames;
  r->phase = FXPHASE_SETUP;
  r->frame = 0;
  r->frames = 0;
  r->speed = r->givenSpeed;
  if ((code = r->step(r, nullptr))) return code;
  r->phase = FXPHASE_RUN;
  if (oldFrame > 0 && oldFrames > 0) {
    int32_t f = (int32_t)lrint((double)r->frames * oldFrame / oldFrames);
    if (f < 1) f = 1;
    if (f > r->frames) f = r->frames;
    r->frame = f;
  }
  return 0;
}

intptr_t FollowLayer(TransitionRecord *r, kvLayer *layer, int replaced, LayerState *oldDrawn) {
  if (!r->realTimeLayer) {
    if (!IsScroll(r->effect)) return 0;
    if (r->privateState) {
      FxMoveContext *c = (FxMoveContext *)r->privateState;
      c->layer = r->layer;
    }
    if (!r->bgpicEmu) return 0;
    // The scroll keeps its own target position; only the images are taken anew.
    const int32_t x = r->x, y = r->y;
    int code = FetchLayerImages(r);
    r->x = x;
    r->y = y;
    return code ? code : FxComposeEmulatedBGPic(r);
  }
  const int32_t w = r->width, h = r->height;
  int code = FetchLayerImages(r);
  if (code) return code;
  // The layer's fresh images replace the composed picture: the same size composes it again
  // here, a rebuild does it after the new before image.
  if (r->bgpicEmu && r->width == w && r->height == h && (code = FxComposeEmulatedBGPic(r))) return code;
  int rebuilt = 0;
  if (r->width == w && r->height == h) {
    if (replaced) MoveTransitionBuffers(r->layer->drawnState, oldDrawn);
  } else {
    r->rebuilding = 1;
    if ((code = Rebuild(r, replaced))) {
      r->rebuilding = 0;
      return code;
    }
    rebuilt = 1;
  }
  if (r->frame > 0) code = FxSeek(r, r->frame, rebuilt);
  r->rebuilding = 0;
  return code;
}

// The layer's new state taken in. Changes of layers that the work itself causes (a rebuilt
// state while the record is set up again) are not followed again. A record that could not take
// the new images draws no more frames: it holds none that are still valid.
intptr_t LayerChanged(TransitionRecord *r, kvLayer *layer, int replaced, LayerState *oldDrawn) {
  if (!r->layer || (layer != r->layer && !replaced) || r->following || r->finished) return 0;
  r->following = 1;
  intptr_t code = FollowLayer(r, layer, replaced, oldDrawn);
  r->following = 0;
  if (code && r->realTimeLayer) r->stale = 1;
  return code;
}

}  // namespace

int AsyncFXDraw(void *record, int32_t *finished) {
  TransitionRecord *r = (TransitionRecord *)record;
  if (r->finished || r->stale) {
    *finished = 1;
    return 0;
  }
  if (r->bgpicEmu && !FxIsPictureOnly(r->effect) && !IsScroll(r->effect)) {
    // The emulated picture changed since the last frame: the source is composed again and the
    // frames so far drawn again from it.
    BGPicNode *emu = FxEmulatedBGPic(r);
    if (emu && emu->layersChanged) {
      int code = FxComposeEmulatedBGPic(r);
      if (!code) code = FxSeek(r, r->frame, 0);
      if (code) return code;
      if (r->layer) RefreshLayerRect(r->layer, nullptr);
    }
  }
  if (r->realTimeLayer) TakeDrawnPosition(r);
  int32_t done = 0;
  int code = r->step(r, &done);
  if (done) *finished = 1;
  return code;
}

void AsyncFXFinish(void *record, int32_t finished) {
  TransitionRecord *r = (TransitionRecord *)record;
  (void)finished;
  if (r->finished) return;
  kvLayer *l = r->layer;
  const int showing = r->kind == FXKIND_LAYER;
  if (!l && r->source && CurrentDisplay) {
    // Without layers the object ends drawn whole at its place.
    SafeBlt(r->source, 0, 0, nullptr, r->x, r->y, r->width, r->height, r->width, r->height, r->pictureWidth,
            r->pictureHeight, r->blitFlags, r->mask, r->alpha, CurrentPicture ? CurrentPicture->clipRegion : nullptr);
  }
  if (l && showing) {
    l->hidden = 0;
    l->pending = 0;
  }
  if (l && r->kind == FXKIND_HIDELAYER) l->hidden = 1;
  if (l && r->kind == FXKIND_REMOVELAYER && r->layerBuffers) r->pendingRemove = 1;
  if (r->layerBuffers) FreeLayerFXBuffers(r);
  FxUnlockObject(r);
  l = r->layer;
  if (l && r->kind == FXKIND_REMOVELAYER) {
    l->transitionAttached = 0;
    RemoveLayerRec(l, 0, nullptr, nullptr);
    r->layer = nullptr;
  } else if (l) {
    l->transitionRunning = 0;
    if (CurrentDisplay && CurrentDisplay->bgpic == FindLayerPicture(l)) RefreshLayerRect(l, nullptr);
  }
  r->finished = 1;
}

void AsyncFXFree(void *record, int32_t finished) {
  TransitionRecord *r = (TransitionRecord *)record;
  FreeTransitionRecord(r, finished || r->finished);
}

intptr_t AsyncFXControl(int op, void *argument, void *record) {
  TransitionRecord *r = (TransitionRecord *)record;
  switch (op) {
    case 0: {
      kvLayer *old = (kvLayer *)argument;
      if (!old || old != r->layer || !old->pred || !old->pred->pred) return 0;
      LayerState *oldDrawn = old->drawnState;
      old->transitionAttached = 0;
      r->layer = old->pred;
      r->layer->transitionAttached = 1;
      r->layer->transitionRunning = old->transitionRunning;
      r->layer->fxEmulation = old->fxEmulation;
      FxEndBGPicEmulation(old);
      return LayerChanged(r, r->layer, 1, oldDrawn);
    }
    case 1: return LayerChanged(r, (kvLayer *)argument, 0, nullptr);
    case 2: return r->frames;
    case 3: return r->frame;
    case 4: return argument && !r->stale ? FxSeek(r, *(int32_t *)argument, 0) : 0;
    case 5:
      if (r->layer) RefreshLayerRect(r->layer, nullptr);
      return 0;
    case 6:
      if (argument) *(void **)argument = r->layer;
      return 0;
    case 7:
      if (argument && r->bgpicEmu) *(void **)argument = FxEmulatedBGPic(r);
      return 0;
    case 8: r->noRefresh = argument ? 1 : 0; return 0;
    default: return 0;
  }
}
