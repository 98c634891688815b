// A ShowLayerFX with "bgpicemu": the layer stands in for a BGPic (the "bgpic" option) during the
// transition, so the transition's source is that BGPic fully composed (background, layers,
// sprites), and is composed again whenever the BGPic's layers change.
#include "fx/fx_engine.h"

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "fx/fx_catalogue.h"
#include "gfx/blit.h"

BGPicNode *FxEmulatedBGPic(TransitionRecord *r) {
  if (!r->bgpicEmu || !r->emulatedBGPic) return nullptr;
  // The script may free the BGPic while an asynchronous run goes on: only a BGPic still in
  // the list is drawn from.
  for (BGPicNode *b = BGPicList; b; b = b->next)
    if (b == r->emulatedBGPic && !b->pendingFree) return b;
  r->emulatedBGPic = nullptr;
  return nullptr;
}

int FxComposeEmulatedBGPic(TransitionRecord *r) {
  BGPicNode *emu = FxEmulatedBGPic(r);
  if (!emu || !r->source || r->width < 1 || r->height < 1) return 0;
  if (!r->ownsSource) {
    // The source is still the layer's own image: the composition goes into a copy, so that the
    // layer shows its own picture again once the transition ends.
    BitMap *own = AllocBitMap(r->width, r->height);
    if (!own) return 1000;
    BltBitMap(r->source, 0, 0, own, 0, 0, r->width, r->height);
    r->source = own;
    r->ownsSource = 1;
  }
  DisplayRecord *d = CurrentDisplay;
  const int scaled = d && d->layerScale && d->scaleWidth;
  Redraw(d, emu, r->source, 0, 0, r->width, r->height, 0, scaled ? REDRAW_SHOWNBG : REDRAW_OWNSIZE);
  emu->layersChanged = 0;
  return 0;
}

int FxPrepareBGPicEmulation(TransitionRecord *r, DisplayRecord *d) {
  kvLayer *l = r->layer;
  if (CurrentPicture) CurrentPicture->layersChanged = 0;
  if (FxIsPictureOnly(r->effect)) l->fxEmulation |= LAYERFX_PICTUREEFFECT;
  if (r->effect >= FX_SCROLLLEFT && r->effect <= FX_SCROLLNORTHWEST) l->fxEmulation |= LAYERFX_SCROLLEMULATION;
  BGPicNode *emu = FxEmulatedBGPic(r);
  if (!emu || !d->layerScale || !d->scaleWidth ||
      (emu->shownWidth == d->scaleWidth && emu->shownHeight == d->scaleHeight))
    return 0;
  // The emulated picture at the layers' scaled size. Rescaling sets the display's scale
  // factors from the picture it is given: those of the shown picture are put back.
  const double scaleX = d->scaleX, scaleY = d->scaleY;
  int code = ScaleBGPicToDisplay(d, emu, 0);
  if (emu == d->bgpic) return code;
  d->scaleX = scaleX;
  d->scaleY = scaleY;
  if (code) return code;
  return RebuildAllLayers(nullptr, d);
}

void FxEndBGPicEmulation(kvLayer *layer) {
  if (!layer) return;
  layer->fxEmulation = 0;
}
