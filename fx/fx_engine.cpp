// DoTransitionFX: one transition from the command's record to its last frame, or to an
// asynchronous drawing object the script advances.
#include "fx/fx_engine.h"

#include <cstring>
#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "display/output_select.h"
#include "fx/fx_async.h"
#include "fx/fx_catalogue.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "pictures/brush.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "text/text_objects.h"

namespace {

int gPacing = 1;
FxFrameObserver gObserver;
void *gObserverUser;

ObjectId RecordId(const TransitionRecord *r) { return ObjectId{r->idNumber, r->idHandle}; }

// The output check: 0 to go on, else the error. *keepOutput is set when an asynchronous
// transition may draw while the shown BGPic stays selected.
int CheckTarget(lua_State *L, TransitionRecord *r, DisplayRecord *d, int *keepOutput) {
  *keepOutput = 0;
  if (d->doubleBuffer) EndDisplayDoubleBuffer(L, d);
  if (d->outputType == OBJTYPE_DISPLAY) return 0;
  const BGPicNode *sel = d->selection;
  const ObjectId id = RecordId(r);
  if (sel && ((r->kind == FXKIND_BGPIC && d->outputType == OBJTYPE_BGPIC && sel->selectionKind == OBJTYPE_BGPIC &&
               ObjectIdMatches(sel->id, id)) ||
              (r->kind == FXKIND_BRUSH && sel->selectionKind == OBJTYPE_BRUSH && ObjectIdMatches(sel->id, id))))
    return 0;
  if (r->async && d->layersEnabled && d->outputType == OBJTYPE_BGPIC) {
    if (sel && d->bgpic && ObjectIdMatches(sel->id, d->bgpic->id)) {
      *keepOutput = 1;
      return 0;
    }
    return 1056;
  }
  return CheckDisplayOutput(d, 0);
}

int IsLayerKind(int32_t kind) {
  return kind == FXKIND_LAYER || kind == FXKIND_HIDELAYER || kind == FXKIND_REMOVELAYER;
}

int IsScroll(int32_t effect) { return effect >= FX_SCROLLLEFT && effect <= FX_SCROLLNORTHWEST; }

// Adds the object as a new hidden top layer and turns the record into a LAYER transition of it.
int ContinueAsLayer(TransitionRecord *r) {
  r->kind = FXKIND_LAYER;
  r->idNumber = (uint32_t)CountLayers(CurrentPicture);
  r->idHandle = nullptr;
  return 0;
}

// The object's own planes, drawn straight (not owned).
void UsePlanes(TransitionRecord *r, int32_t width, int32_t height, BitMap *bitmap, Mask *mask, AlphaChannel *alpha) {
  r->width = width;
  r->height = height;
  r->source = bitmap;
  r->mask = mask;
  r->alpha = alpha;
}

int ResolveBrush(lua_State *L, TransitionRecord *r, DisplayRecord *d, int *added) {
  BrushNode *b;
  int code = GetBrushNode(RecordId(r), &b, 0);
  if (code) return code;
  b->locked++;
  r->lock = (int32_t *)&b->locked;
  r->x = ResolveXPos(r->x, b->width, 0, 0.0);
  r->y = ResolveYPos(r->y, b->height, 0, 0.0);
  if (!d->layersEnabled) {
    UsePlanes(r, b->width, b->height, b->bitmap, b->mask, b->alpha);
    return 0;
  }
  code = AddObjectLayer(L, OBJTYPE_BRUSH, b->id, 0, 0, r->x, r->y, b->width, b->height, nullptr, nullptr, nullptr,
                        nullptr, -1, ADDLAYER_HIDDEN);
  if (code) return code;
  *added = 1;
  return ContinueAsLayer(r);
}

int ResolveTextObject(lua_State *L, TransitionRecord *r, DisplayRecord *d, int *added) {
  TextObjectNode *n;
  int code = FindTextObject(RecordId(r), 0, &n);
  if (code) return code;
  n->locked++;
  r->lock = (int32_t *)&n->locked;
  r->x = IsXPosConstant(r->x) ? ResolveXPos(r->x, n->width, 0, 0.0) : ClampCoord((int64_t)r->x + n->offsetX);
  r->y = IsYPosConstant(r->y) ? ResolveYPos(r->y, n->height, 0, 0.0) : ClampCoord((int64_t)r->y + n->offsetY);
  if (!d->layersEnabled) {
    UsePlanes(r, n->width, n->height, n->bitmap, n->mask, n->alpha);
    return 0;
  }
  // The text layer keeps images of its own.
  TextObjectNode *copy = CopyTextObjectNode(n);
  if (!copy) return 1000;
  BitMap *bm = copy->bitmap;
  Mask *m = copy->mask;
  AlphaChannel *a = copy->alpha;
  copy->bitmap = nullptr;
  copy->mask = nullptr;
  copy->alpha = nullptr;
  FreeTextObjectNode(copy);
  code = AddObjectLayer(L, LAYERTYPE_TEXTOBJECT, n->id, 0, 0, r->x, r->y, n->width, n->height, nullptr, bm, m, a, -1,
                        ADDLAYER_HIDDEN);
  if (code) return code;
  *added = 1;
  return ContinueAsLayer(r);
}

int ResolveBGPicPart(lua_State *L, TransitionRecord *r, DisplayRecord *d, int *added) {
  BGPicNode *b;
  int code = GetBGPicNode(RecordId(r), &b, 0);
  if (code) return code;
  if (r->width < 1 || r->height < 1 || r->partX < 0 || r->partY < 0 || (int64_t)r->partX + r->width > b->width ||
      (int64_t)r->partY + r->height > b->height)
    return 1055;
  b->locked++;
  r->lock = (int32_t *)&b->locked;
  r->x = ResolveXPos(r->x, r->width, 0, 0.0);
  r->y = ResolveYPos(r->y, r->height, 0, 0.0);
  if (d->layersEnabled) {
    code = AddObjectLayer(L, LAYERTYPE_BGPICPART, b->id, r->partX, r->partY, r->x, r->y, r->width, r->height, nullptr,
                          nullptr, nullptr, nullptr, -1, ADDLAYER_HIDDEN);
    if (code) return code;
    *added = 1;
    return ContinueAsLayer(r);
  }
  code = CutBitMapRegion(b->bitmap, b->mask, b->alpha, r->partX, r->partY, r->width, r->height, &r->source, &r->mask,
                         &r->alpha);
  r->ownsSource = r->ownsMask = r->ownsAlpha = 1;
  return code;
}

int IsOpaque(const BGPicNode *b) { return b && b->transparentColor == 0xFFFFFFFFu && !b->alpha && !b->mask; }

int ResolveBGPic(lua_State *L, TransitionRecord *r, DisplayRecord *d) {
  BGPicNode *b;
  int code = GetBGPicNode(RecordId(r), &b, 0);
  if (code) return code;
  if (!IsOpaque(b) || !IsOpaque(d->bgpic)) return 1055;
  BitMap *now = nullptr, *old = nullptr;
  code = DisplayBGPicCore(L, b->id, r->bgpicX == FX_POSITION_UNSET ? KEEPPOSITION : r->bgpicX,
                          r->bgpicY == FX_POSITION_UNSET ? KEEPPOSITION : r->bgpicY, 1, &now, &old);
  if (code) return code;
  r->bgpic = b;
  r->source = now;
  r->ownsSource = 1;
  r->before = old;
  r->width = now->width;
  r->height = now->height;
  r->x = r->y = 0;
  // The window keeps the old picture until the effect draws the new one.
  BitMap *buffers[2] = {d->displayBitMap, d->backBuffer};
  for (BitMap *buf : buffers)
    if (buf) FxCopyRegion(old, 0, 0, buf, 0, 0, old->width, old->height, old->width, old->height, buf->width,
                          buf->height);
  return 0;
}

}  // namespace

int FxTakeLayerImages(TransitionRecord *r, kvLayer *l) {
  const LayerState *s = l->drawnState;
  const BitMap *bm = nullptr;
  const Mask *m = nullptr;
  const AlphaChannel *a = nullptr;
  int32_t sx = 0, sy = 0;
  int code = GetLayerBitmaps(l, s, &bm, &m, &a, &sx, &sy);
  if (code) return code;
  if (!bm) return 1055;
  if (sx || sy || bm->width != r->width || bm->height != r->height) {
    if (sx + r->width > bm->width || sy + r->height > bm->height) return 1055;
    code = CutBitMapRegion(bm, m, a, sx, sy, r->width, r->height, &r->source, &r->mask, &r->alpha);
    r->ownsSource = r->ownsMask = r->ownsAlpha = 1;
    return code;
  }
  r->source = (BitMap *)bm;
  r->mask = (Mask *)m;
  r->alpha = (AlphaChannel *)a;
  return 0;
}

namespace {

// What lies under the layer, as a new bitmap of its drawn size (the picture a hide draws).
int TakeUnderLayer(TransitionRecord *r, DisplayRecord *d, kvLayer *l) {
  BitMap *under = AllocBitMap(r->width, r->height);
  if (!under) return 1000;
  RectFillBitMap(under, 0, 0, r->width, r->height, 0);
  const int32_t type = l->type;
  l->type = LAYERTYPE_NOOBJECT;
  FxComposeUnderObject(r, under, 0);
  l->type = type;
  (void)d;
  r->source = under;
  r->ownsSource = 1;
  return 0;
}

int OverlappedFromAbove(BGPicNode *pic, kvLayer *l) {
  const LayerState *s = l->drawnState;
  const int32_t x1 = s->drawnX, y1 = s->drawnY, x2 = x1 + s->drawnWidth - 1, y2 = y1 + s->drawnHeight - 1;
  for (kvLayer *o = (kvLayer *)pic->layers.last; o && o != l && o->pred; o = o->pred) {
    const LayerState *t = o->drawnState;
    if (!o->hidden && t && RectsOverlap(x1, y1, x2, y2, t->drawnX, t->drawnY, t->drawnX + t->drawnWidth - 1,
                                        t->drawnY + t->drawnHeight - 1))
      return 1;
  }
  return 0;
}

int PrepareLayer(TransitionRecord *r, DisplayRecord *d) {
  if (!d->layersEnabled) return 1078;
  kvLayer *l = GetLayerByIndex(CurrentPicture, (int32_t)r->idNumber);
  if (!l) return 1081;
  if (l->transitionAttached || IsUsedByAsyncDraw(l)) return 1371;
  r->layer = l;
  int code;
  if (r->bgpicEmu && (code = FxPrepareBGPicEmulation(r, d))) return code;
  const LayerState *s = l->drawnState;
  r->x = s->drawnX;
  r->y = s->drawnY;
  r->width = s->drawnWidth;
  r->height = s->drawnHeight;
  if (r->width < 1 || r->height < 1) return 1055;
  if (IsScroll(r->effect)) {
    r->layerOriginX = l->sourceState->x;
    r->layerOriginY = l->sourceState->y;
    if ((code = FxTakeLayerImages(r, l))) return code;
    return r->bgpicEmu ? FxComposeEmulatedBGPic(r) : 0;
  }
  r->realTimeLayer = r->forceRealTimeLayers || r->async || r->bgpicEmu || l->transparency || l->tint ||
                     s->clipRegion || r->displayScaled || (r->reverse && FxIsReverseCapable(r->effect)) ||
                     OverlappedFromAbove(CurrentPicture, l);
  code = (r->reverse && !r->realTimeLayer) ? TakeUnderLayer(r, d, l) : FxTakeLayerImages(r, l);
  if (code) return code;
  if (r->realTimeLayer) {
    r->layerBuffers = 1;
    l->transitionRunning = 1;
    if ((code = AllocLayerFXBuffers(r))) return code;
    if (d->outputType == OBJTYPE_DISPLAY && !l->hidden && !l->pending) RefreshLayerRect(l, nullptr);
    if (r->bgpicEmu && (code = FxComposeEmulatedBGPic(r))) return code;
  }
  return 0;
}

int LiesInPicture(const TransitionRecord *r) {
  return r->x < r->pictureWidth && r->y < r->pictureHeight && r->x + r->width > 0 && r->y + r->height > 0;
}

// A masked or translucent source outside real-time mode becomes one opaque picture of the
// object over what lies under it.
int FlattenSource(TransitionRecord *r) {
  BitMap *flat = AllocBitMap(r->width, r->height);
  if (!flat) return 1000;
  RectFillBitMap(flat, 0, 0, r->width, r->height, 0);
  FxComposeUnderObject(r, flat, 0);
  if (r->alpha) BltAlphaBitMap(r->source, 0, 0, flat, 0, 0, r->width, r->height, r->alpha);
  else BltMask(r->source, 0, 0, flat, 0, 0, r->width, r->height, r->mask);
  if (r->ownsSource) FreeBitMap(r->source);
  if (r->ownsMask) FreeMask(r->mask);
  if (r->ownsAlpha) FreeAlphaChannel(r->alpha);
  r->source = flat;
  r->ownsSource = 1;
  r->mask = nullptr;
  r->alpha = nullptr;
  r->ownsMask = r->ownsAlpha = 0;
  return 0;
}

int NeedsBefore(const TransitionRecord *r) {
  const FxEffectEntry *e = FxEffectInfo(r->effect);
  if (!e || FxRunsStandIn(r->effect)) return 0;
  if (e->flags & FXF_BEFORE_ALWAYS) return 1;
  return r->realTimeLayer ? (e->flags & FXF_BEFORE_REALTIME) != 0 : (e->flags & FXF_BEFORE_PLAIN) != 0;
}

int TakeBefore(TransitionRecord *r) {
  BitMap *before = AllocBitMap(r->width, r->height);
  if (!before) return 1000;
  RectFillBitMap(before, 0, 0, r->width, r->height, 0);
  const FxEffectEntry *e = FxEffectInfo(r->effect);
  const int hiding = r->kind == FXKIND_HIDELAYER || r->kind == FXKIND_REMOVELAYER;
  int keepVisible = hiding && e && (e->flags & FXF_KEEP_HIDDEN_VISIBLE) &&
                    !(r->effect == 115 && r->realTimeLayer);
  FxComposeUnderObject(r, before, keepVisible);
  r->before = before;
  return 0;
}

// The end state of an abandoned run (the display changed size): the command runs it again.
void AbandonRun(TransitionRecord *r, int addedLayer) {
  kvLayer *l = r->layer;
  if (!l) return;
  if (IsScroll(r->effect)) return;  // the scroll's free routine moves it back
  if (addedLayer) {
    if (r->layerBuffers) r->pendingRemove = 1;
    else {
      RemoveLayerRec(l, 0, nullptr, nullptr);
      r->layer = nullptr;
    }
    return;
  }
  if (r->layerBuffers) {
    r->pendingHide = 1;
    return;
  }
  l->hidden = r->kind == FXKIND_LAYER ? 1 : 0;
  RefreshLayerRect(l, nullptr);
}

// The work after the last frame of a synchronous run (FinishAsyncDraw does the same).
void EndWork(TransitionRecord *r) {
  kvLayer *l = r->layer;
  if (l && r->kind == FXKIND_HIDELAYER) l->hidden = 1;
  if (l && r->kind == FXKIND_REMOVELAYER) {
    if (r->layerBuffers) r->pendingRemove = 1;
  }
  if (r->layerBuffers) FreeLayerFXBuffers(r);
  FxUnlockObject(r);
  l = r->layer;
  if (l && r->kind == FXKIND_REMOVELAYER) {
    RemoveLayerRec(l, 0, nullptr, nullptr);
    r->layer = nullptr;
  } else if (l) {
    l->transitionRunning = 0;
    // Pieces drawn straight to the window: the back buffer is recomposed from the layers.
    RefreshLayerRect(l, nullptr);
  }
  r->finished = 1;
}

void ShowNewPicture(TransitionRecord *r, DisplayRecord *d) {
  if (r->kind != FXKIND_BGPIC || r->resized || !r->source) return;
  BitMap *buffers[2] = {d->displayBitMap, d->backBuffer};
  for (BitMap *buf : buffers)
    if (buf) FxCopyRegion(r->source, 0, 0, buf, 0, 0, r->width, r->height, r->width, r->height, buf->width,
                          buf->height);
  BitMap *from = d->backBuffer ? d->backBuffer : r->source;
  BltToWindow(from, 0, 0, d, 0, 0, r->width, r->height, 1);
}

int PictureWidth(DisplayRecord *d) { return d->bgpic ? d->bgpic->shownWidth : d->width; }
int PictureHeight(DisplayRecord *d) { return d->bgpic ? d->bgpic->shownHeight : d->height; }

int RunFrames(lua_State *L, TransitionRecord *r, TransitionRecord *caller, DisplayRecord *d, int addedLayer) {
  r->phase = FXPHASE_RUN;
  const int32_t pw = PictureWidth(d), ph = PictureHeight(d);
  int32_t done = 0;
  while (!done) {
    if (OsPumpEvents(L, nullptr)) return 0;
    if ((PictureWidth(d) != pw || PictureHeight(d) != ph) && !r->displayScaled) {
      r->resized = 1;
      if (r->kind != FXKIND_BGPIC) caller->restart = 1;
      AbandonRun(r, addedLayer);
      return 0;
    }
    int code = r->step(r, &done);
    if (code) return code;
    if (gObserver) gObserver(r, gObserverUser);
    if (gPacing) VWaitDisplay(L);
  }
  EndWork(r);
  return 0;
}

int Fail(TransitionRecord *r, int addedLayer, int code) {
  if (addedLayer && r->layer) {
    if (r->layerBuffers) FreeLayerFXBuffers(r);
    RemoveLayerRec(r->layer, 0, nullptr, nullptr);
    r->layer = nullptr;
  }
  FreeTransitionRecord(r, 0);
  return code;
}

}  // namespace

void FxSetPacing(int on) { gPacing = on ? 1 : 0; }

void FxSetFrameObserver(FxFrameObserver observer, void *user) {
  gObserver = observer;
  gObserverUser = user;
}

int DoTransitionFX(TransitionRecord *caller) {
  lua_State *L = caller->state;
  // A number outside the table is refused before anything changes.
  if (caller->effect < 0 || caller->effect > FX_RANDOMEFFECT) return 1055;
  DisplayRecord *d = CurrentDisplay;
  if (!d || !d->bgpic) return 1055;
  TransitionRecord *r = (TransitionRecord *)MemAlloc(sizeof(TransitionRecord), 1);
  if (!r) return 1000;
  *r = *caller;
  r->layer = nullptr;
  r->privateState = nullptr;
  r->lock = nullptr;
  r->givenSpeed = r->speed;
  if (r->effect == FX_UNNAMED) r->effect = FX_RANDOMEFFECT;
  int keepOutput = 0, addedLayer = 0;
  int code = CheckTarget(L, r, d, &keepOutput);
  if (code) return Fail(r, 0, code);
  const int anyEffect = r->kind == FXKIND_BGPIC || (r->kind == FXKIND_LAYER && r->bgpicEmu);
  if (r->effect == FX_RANDOMEFFECT) r->effect = FxRandomEffect(!anyEffect);
  if (!anyEffect && FxIsPictureOnly(r->effect)) r->effect = FX_HSTRIPES;
  if (d->outputType != OBJTYPE_DISPLAY && !keepOutput && (code = SetBGPicOutput(L, d))) return Fail(r, 0, code);
  if (r->reverse) r->effect = FxReverseEffect(r->effect);
  r->displayScaled = d->autoScale && d->scaleWidth ? 1 : 0;
  r->pictureWidth = PictureWidth(d);
  r->pictureHeight = PictureHeight(d);
  switch (r->kind) {
    case FXKIND_BRUSH: code = ResolveBrush(L, r, d, &addedLayer); break;
    case FXKIND_TEXTOBJECT: code = ResolveTextObject(L, r, d, &addedLayer); break;
    case FXKIND_BGPICPART: code = ResolveBGPicPart(L, r, d, &addedLayer); break;
    case FXKIND_BGPIC: code = ResolveBGPic(L, r, d); break;
    default: break;
  }
  if (code) return Fail(r, addedLayer, code);
  if (IsLayerKind(r->kind) && (code = PrepareLayer(r, d))) return Fail(r, addedLayer, code);
  r->pictureWidth = PictureWidth(d);
  r->pictureHeight = PictureHeight(d);
  if (r->width < 1 || r->height < 1 || !r->source) return Fail(r, addedLayer, 1055);
  if (r->kind != FXKIND_BGPIC && !r->realTimeLayer && (r->mask || r->alpha) && LiesInPicture(r) &&
      !FxIsSelfComposing(r->effect) && (code = FlattenSource(r)))
    return Fail(r, addedLayer, code);
  if (r->kind != FXKIND_BGPIC && NeedsBefore(r) && (code = TakeBefore(r))) return Fail(r, addedLayer, code);
  r->target = nullptr;
  r->blitFlags = (r->displayScaled ? FXBLIT_SCALED : FXBLIT_PLAIN) |
                 (r->kind == FXKIND_BGPIC && d->layersEnabled ? FXBLIT_LAYERS : 0);
  if ((code = FxInstallEffect(r))) return Fail(r, addedLayer, code);
  r->phase = FXPHASE_SETUP;
  if ((code = r->step(r, nullptr))) return Fail(r, addedLayer, code);
  if (r->async) {
    AsyncDrawNode *node = nullptr;
    r->phase = FXPHASE_RUN;
    if ((code = AddAsyncDraw(ADF_FX, AsyncFXDraw, nullptr, AsyncFXFinish, AsyncFXFree, AsyncFXControl, r, &node)))
      return Fail(r, addedLayer, code);
    if (r->layer) r->layer->transitionAttached = 1;
    lua_pushlightuserdata(L, node);
    return 1;
  }
  code = RunFrames(L, r, caller, d, addedLayer);
  ShowNewPicture(r, d);
  FreeTransitionRecord(r, code ? 0 : 1);
  return code;
}
