// The display side of the effect routines: drawing a piece onto the current display, filling
// the window, showing a changed region of a layer transition, re-capturing changed source
// pictures, the view of a layer's transition buffers; the buffers themselves and the release
// of a record.
#include "fx/fx_engine.h"

#include <algorithm>
#include <cstring>
#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "fx/fx_catalogue.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "platform/os.h"
#include "runtime/memory.h"

namespace {

int32_t SourceWidth(const TransitionRecord *r, const BitMap *src) {
  return src == r->source && r->width > 0 ? r->width : src->width;
}
int32_t SourceHeight(const TransitionRecord *r, const BitMap *src) {
  return src == r->source && r->height > 0 ? r->height : src->height;
}

void DrawToDisplay(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                   int32_t width, int32_t height, const Mask *mask, const AlphaChannel *alpha, int32_t blitFlags) {
  SafeBlt(src, sx, sy, nullptr, dx, dy, width, height, SourceWidth(r, src), SourceHeight(r, src), r->pictureWidth,
          r->pictureHeight, blitFlags, mask, alpha, CurrentPicture ? CurrentPicture->clipRegion : nullptr);
}

void FillWindow(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb) {
  DisplayRecord *d = CurrentDisplay;
  if (!d) return;
  // The display's picture keeps what the window shows, so that a later refresh agrees.
  if (d->displayBitMap && !d->layersEnabled) {
    int32_t sx = x, sy = y, dx = x, dy = y, w = width, h = height;
    if (FxClipPair(&sx, &sy, &dx, &dy, &w, &h, d->displayBitMap->width, d->displayBitMap->height,
                   d->displayBitMap->width, d->displayBitMap->height))
      RectFillBitMap(d->displayBitMap, dx, dy, w, h, rgb);
  }
  if (d->window) OsWindowRectFill(d->window, x, y, width, height, rgb);
}

void BltBackToWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
  DisplayRecord *d = CurrentDisplay;
  if (d && d->backBuffer) BltToWindow(d->backBuffer, x, y, d, x, y, width, height, 1);
}

BitMap *BackBuffer(void) { return CurrentDisplay ? CurrentDisplay->backBuffer : nullptr; }

int LayerView(kvLayer *layer, FxLayerView *view) {
  LayerState *s = layer ? layer->drawnState : nullptr;
  if (!s) return 0;
  view->bitmap = s->fxBitMap;
  view->mask = s->fxMask;
  view->alpha = s->fxAlpha;
  view->x = s->drawnX;
  view->y = s->drawnY;
  view->width = s->drawnWidth;
  view->height = s->drawnHeight;
  return s->fxBitMap || s->fxMask || s->fxAlpha ? 1 : 0;
}

void RevealLayer(kvLayer *layer) {
  layer->hidden = 0;
  layer->pending = 0;
}

void MoveLayerTo(kvLayer *layer, int32_t x, int32_t y, int option) {
  (void)option;
  SetLayerPosition(layer, nullptr, x, y, 0, 0, nullptr);
}

// Recomposes a rectangle of the display's back buffer (a layer in transition is drawn from its
// transition buffers there, in its place among the layers) and copies it to the window.
void RedrawRect(DisplayRecord *d, int32_t x, int32_t y, int32_t width, int32_t height, int toWindow) {
  BitMap *back = d->backBuffer;
  if (!back || !d->bgpic) return;
  int32_t sx = x, sy = y;
  if (!FxClipPair(&sx, &sy, &x, &y, &width, &height, back->width, back->height, back->width, back->height)) return;
  Redraw(d, d->bgpic, back, x, y, width, height, 0, 0);
  if (toWindow) BltToWindow(back, x, y, d, x, y, width, height, 1);
}

// Whether a region of a layer in transition can be copied straight from the source: the
// layer is drawn from its transition buffers, as it is (shown, no transparency, no tint, no
// shaped clip region), the region lies inside those buffers, and nothing else is drawn over it
// (no visible layer above overlaps the layer, no sprite overlaps the region). With an opaque
// piece (no source mask or alpha, no erase) the recomposition would give exactly the source.
bool LayerRegionIsPlain(const DisplayRecord *d, const kvLayer *l, int32_t x, int32_t y, int32_t width,
                        int32_t height) {
  const LayerState *s = l ? l->drawnState : nullptr;
  if (!s || !s->fxBitMap || l->hidden || l->pending || l->type == LAYERTYPE_NOOBJECT) return false;
  if (l->transparency || l->tint || (s->clipRegion && s->clipRegion->mask)) return false;
  const BitMap *fx = s->fxBitMap;
  if ((s->fxMask && (s->fxMask->width < fx->width || s->fxMask->height < fx->height)) ||
      (s->fxAlpha && (s->fxAlpha->width < fx->width || s->fxAlpha->height < fx->height)))
    return false;
  const int32_t w = fx->width < s->drawnWidth ? fx->width : s->drawnWidth;
  const int32_t h = fx->height < s->drawnHeight ? fx->height : s->drawnHeight;
  if (x < s->drawnX || y < s->drawnY || (int64_t)x + width > (int64_t)s->drawnX + w ||
      (int64_t)y + height > (int64_t)s->drawnY + h)
    return false;
  if (!GetLayerIndex(d->bgpic, l) || !LayerIsUncovered(l)) return false;
  return !RectOverlapsSprites(d->bgpic, x, y, width, height);
}

// Copies the region straight to the window, or into the back buffer of an autoscaled display
// (shown from there at the frame's end, or at once with FXDRAW_FORCEWINDOW). False when the
// region has to be recomposed instead.
bool CopyRegionDirect(TransitionRecord *r, DisplayRecord *d, const BitMap *src, int32_t sx, int32_t sy,
                      int32_t dx, int32_t dy, int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight,
                      int32_t flags) {
  BitMap *back = d->backBuffer;
  const LayerState *s = r->layer->drawnState;
  if (!src || !back || !d->bgpic || !s) return false;
  const bool scaledWindow = d->scaleWidth && (d->scaleWidth != back->width || d->scaleHeight != back->height);
  if (scaledWindow && !r->displayScaled) return false;
  if (srcWidth > src->width) srcWidth = src->width;
  if (srcHeight > src->height) srcHeight = src->height;
  if (!FxClipPair(&sx, &sy, &dx, &dy, &width, &height, srcWidth, srcHeight, back->width, back->height)) return false;
  if (const ClipRegionNode *region = s->clipRegion) {
    // A plain region: only its rectangle of the layer is drawn.
    int64_t x1 = dx > region->x ? dx : region->x, y1 = dy > region->y ? dy : region->y;
    int64_t x2 = std::min<int64_t>((int64_t)dx + width, (int64_t)region->x + region->width);
    int64_t y2 = std::min<int64_t>((int64_t)dy + height, (int64_t)region->y + region->height);
    if (x2 <= x1 || y2 <= y1) return false;
    sx += (int32_t)(x1 - dx);
    sy += (int32_t)(y1 - dy);
    dx = (int32_t)x1;
    dy = (int32_t)y1;
    width = (int32_t)(x2 - x1);
    height = (int32_t)(y2 - y1);
  }
  if (!LayerRegionIsPlain(d, r->layer, dx, dy, width, height)) return false;
  if (r->displayScaled) {
    BltBitMap(src, sx, sy, back, dx, dy, width, height);
    if (flags & FXDRAW_FORCEWINDOW) BltToWindow(back, dx, dy, d, dx, dy, width, height, 1);
  } else {
    BltToWindow(src, sx, sy, d, dx, dy, width, height, 0);
  }
  return true;
}

void BlitRegion(TransitionRecord *r, const BitMap *src, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, const Mask *mask,
                const AlphaChannel *alpha, int32_t flags) {
  DisplayRecord *d = CurrentDisplay;
  if (!d || d->outputType != OBJTYPE_DISPLAY) return;
  if (!mask && !alpha && !(flags & FXDRAW_ERASE) && r->layer &&
      CopyRegionDirect(r, d, src, sx, sy, dx, dy, width, height, srcWidth, srcHeight, flags))
    return;
  const int toWindow = !(r->displayScaled && !(flags & FXDRAW_FORCEWINDOW));
  RedrawRect(d, dx, dy, width, height, toWindow);
}

// A snapshot of the shown picture (without the record's layer) over the object's rectangle.
void ComposeUnderObject(TransitionRecord *r, BitMap *into, int keepLayerVisible) {
  DisplayRecord *d = CurrentDisplay;
  if (!d || !into) return;
  if (!d->layersEnabled) {
    // Without layers the display's picture holds everything drawn so far.
    const BitMap *pic = d->displayBitMap;
    if (pic) FxCopyRegion(pic, r->x, r->y, into, 0, 0, r->width, r->height, pic->width, pic->height, into->width,
                          into->height);
    return;
  }
  if (!d->bgpic) return;
  int32_t w = r->pictureWidth, h = r->pictureHeight;
  BitMap *tmp = AllocBitMap(w > 0 ? w : 1, h > 0 ? h : 1);
  if (!tmp) return;
  int32_t x = r->x, y = r->y, sx = 0, sy = 0, cw = r->width, ch = r->height;
  if (FxClipPair(&x, &y, &sx, &sy, &cw, &ch, w, h, r->width, r->height)) {
    const uint32_t hidden = r->layer ? r->layer->hidden : 0;
    if (r->layer && !keepLayerVisible) r->layer->hidden = 1;
    Redraw(d, d->bgpic, tmp, x, y, cw, ch, 0, 0);
    if (r->layer) r->layer->hidden = hidden;
    BltBitMap(tmp, x, y, into, sx, sy, cw, ch);
  }
  FreeBitMap(tmp);
}

int RefreshSources(TransitionRecord *r, int which) {
  int done = 0;
  if ((which & 1) && CurrentPicture && CurrentPicture->layersChanged && r->before) {
    ComposeUnderObject(r, r->before, 0);
    CurrentPicture->layersChanged = 0;
    done |= 1;
  }
  BGPicNode *emu = (which & 2) ? FxEmulatedBGPic(r) : nullptr;
  if (emu && emu->layersChanged && r->source && !FxComposeEmulatedBGPic(r)) done |= 2;
  return done;
}

}  // namespace

void FxInstallDisplayHooks(void) {
  FxHooks h;
  memset(&h, 0, sizeof h);
  h.drawToDisplay = DrawToDisplay;
  h.fillWindow = FillWindow;
  h.bltToWindow = BltBackToWindow;
  h.backBuffer = BackBuffer;
  h.blitRegion = BlitRegion;
  h.refreshSources = RefreshSources;
  h.layerView = LayerView;
  h.revealLayer = RevealLayer;
  h.setLayerPosition = MoveLayerTo;
  FxSetHooks(&h);
}

// Fills `into` with what lies under the object on the shown picture (the engine's before image);
// the record's layer is left out unless keepLayerVisible.
void FxComposeUnderObject(TransitionRecord *r, BitMap *into, int keepLayerVisible) {
  ComposeUnderObject(r, into, keepLayerVisible);
}

// ---------------------------------------------------------------------------------------------
// Layer transition buffers

static int IsMixingEffect(int32_t e) { return (e >= 115 && e <= 117) || (e >= 134 && e <= 138); }

int AllocLayerFXBuffers(TransitionRecord *r) {
  kvLayer *l = r->layer;
  if (!l || !l->drawnState) return 0;
  LayerState *s = l->drawnState;
  if (l->type == LAYERTYPE_BRUSHPART || l->type == LAYERTYPE_BGPICPART) {
    r->savedPartOffset[0] = s->partX;
    r->savedPartOffset[1] = s->partY;
    s->partX = s->partY = 0;
  }
  const int32_t w = r->width > 0 ? r->width : 1, h = r->height > 0 ? r->height : 1;
  const int hiding = r->kind == FXKIND_HIDELAYER || r->kind == FXKIND_REMOVELAYER;
  if (!s->fxBitMap && !(s->fxBitMap = AllocBitMap(w, h))) return 1000;
  RectFillBitMap(s->fxBitMap, 0, 0, w, h, 0);
  if (!r->alpha && !IsMixingEffect(r->effect)) {
    if (!FxIsPictureOnly(r->effect) && !s->fxMask && !(s->fxMask = AllocMask(nullptr, w, h, 1))) return 1000;
    if (r->async && r->mask && !r->extraMask && !(r->extraMask = AllocMask(nullptr, w, h, 1))) return 1000;
  } else {
    if (!s->fxAlpha && !(s->fxAlpha = AllocAlphaChannel(w, h, 1))) return 1000;
    if (r->async && !r->extraAlpha && !(r->extraAlpha = AllocAlphaChannel(w, h, 1))) return 1000;
    if (IsMixingEffect(r->effect) && hiding) {
      if (r->source) BltBitMap(r->source, 0, 0, s->fxBitMap, 0, 0, w, h);
      PrepareFxMask(s->fxAlpha, r->mask, r->alpha, w, h);
      return 0;
    }
  }
  if (hiding)
    FxDrawStep(r->source, 0, 0, s->fxBitMap, s->fxMask, s->fxAlpha, 0, 0, w, h, r->width, r->height, w, h, r->mask,
               r->alpha, r, FXDRAW_NOREFRESH);
  return 0;
}

static void FreeStateBuffers(LayerState *s) {
  if (!s) return;
  FreeBitMap(s->fxBitMap);
  FreeMask(s->fxMask);
  FreeAlphaChannel(s->fxAlpha);
  s->fxBitMap = nullptr;
  s->fxMask = nullptr;
  s->fxAlpha = nullptr;
}

void FxFreeLayerStateBuffers(kvLayer *l) {
  FreeStateBuffers(l->sourceState);
  if (l->transformedState != l->sourceState) FreeStateBuffers(l->transformedState);
  if (l->drawnState != l->transformedState && l->drawnState != l->sourceState) FreeStateBuffers(l->drawnState);
}

void FreeLayerFXBuffers(TransitionRecord *r) {
  kvLayer *l = r->layer;
  r->layerBuffers = 0;
  if (!l) return;
  FxFreeLayerStateBuffers(l);
  if (l->drawnState && (l->type == LAYERTYPE_BRUSHPART || l->type == LAYERTYPE_BGPICPART)) {
    l->drawnState->partX = r->savedPartOffset[0];
    l->drawnState->partY = r->savedPartOffset[1];
  }
  l->transitionRunning = 0;
  if (r->pendingRemove) {
    r->pendingRemove = 0;
    RemoveLayerRec(l, 0, nullptr, nullptr);
    r->layer = nullptr;
  } else if (r->pendingHide) {
    r->pendingHide = 0;
    // An abandoned show leaves the layer hidden, an abandoned hide leaves it shown.
    l->hidden = r->kind == FXKIND_LAYER ? 1 : 0;
    RefreshLayerRect(l, nullptr);
  } else if (CurrentDisplay && CurrentDisplay->bgpic == FindLayerPicture(l)) {
    // The layer is drawn from its own images again.
    RefreshLayerRect(l, nullptr);
  }
}

void FxUnlockObject(TransitionRecord *r) {
  if (r->lock && *r->lock > 0) (*r->lock)--;
  r->lock = nullptr;
}

void FreeTransitionRecord(TransitionRecord *r, int completed) {
  if (!r) return;
  FxUnlockObject(r);
  if (r->layerBuffers) FreeLayerFXBuffers(r);
  FxFreeEffectState(r, completed);
  if (r->ownsSource) FreeBitMap(r->source);
  if (r->ownsMask) FreeMask(r->mask);
  if (r->ownsAlpha) FreeAlphaChannel(r->alpha);
  FreeBitMap(r->before);
  FreeBitMap(r->spare);
  FreeMask(r->extraMask);
  FreeAlphaChannel(r->extraAlpha);
  FxEndBGPicEmulation(r->layer);
  if (r->layer && !completed) {
    kvLayer *l = r->layer;
    l->transitionAttached = 0;
    if (r->kind == FXKIND_LAYER && !r->finished) l->hidden = 1;
    if (CurrentDisplay && CurrentDisplay->bgpic == FindLayerPicture(l)) RefreshLayerRect(l, nullptr);
  } else if (r->layer) {
    r->layer->transitionAttached = 0;
  }
  MemFree(r);
}
