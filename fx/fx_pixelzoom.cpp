// PIXELZOOM1 and PIXELZOOM2: the picture shown in square blocks, each filled with its top left
// pixel by the pixel-zoom kernel. PIXELZOOM1 brings the source in from blocks of 24 down to
// single pixels; PIXELZOOM2 first breaks the before image up into ever larger blocks, then
// brings the source in as PIXELZOOM1 does; reversed (a layer being hidden), the source breaks
// up and vanishes. Seekable: a frame depends on its number only.
#include "fx/fx_compose.h"
#include "fx/fx_effects.h"
#include "fx/fx_support.h"
#include "gfx/blit.h"
#include "gfx/transition_kernels.h"

namespace {

struct PixelZoomState {
  BitMap *block;            // the picture in blocks
  Mask *blockMask;          // its visibility, with a masked source
  AlphaChannel *blockAlpha; // its visibility, with a translucent source
  BitMap *compose;          // the before image with the blocks over it
  int32_t frame;
  int32_t twoPart;          // the before image breaks up first (PIXELZOOM2)
};

// Fills the block buffer (and its planes when the source is shown) from `pic` in blocks of n.
void FillBlocks(TransitionRecord *r, PixelZoomState *z, const BitMap *pic, bool source, int32_t n) {
  BitMapInfo si, di;
  if (!LockBitMap(pic, &si)) return;
  UnLockBitMap();
  if (!LockBitMap(z->block, &di)) return;
  UnLockBitMap();
  if (si.bytesPerPixel != di.bytesPerPixel) return;
  if (n <= 1) {
    BltBitMap(pic, 0, 0, z->block, 0, 0, r->width, r->height);
    return;
  }
  TransitionPlanes p{};
  p.src = si.pixels;
  p.dst = di.pixels;
  p.srcModulo = si.modulo;
  p.dstModulo = di.modulo;
  p.width = r->width;
  p.height = r->height;
  p.format = si.format;
  if (source && r->mask && z->blockMask) {
    p.srcMask = r->mask->pixels;
    p.srcMaskBytesPerRow = r->mask->bytesPerRow;
    p.dstMask = z->blockMask->pixels;
    p.dstMaskBytesPerRow = z->blockMask->bytesPerRow;
  } else if (source && r->alpha && z->blockAlpha) {
    p.srcAlpha = r->alpha->pixels;
    p.srcAlphaBytesPerRow = r->alpha->bytesPerRow;
    p.dstAlpha = z->blockAlpha->pixels;
    p.dstAlphaBytesPerRow = z->blockAlpha->bytesPerRow;
  }
  if (si.bytesPerPixel == 4) PixelZoom32(&p, n);
  else if (si.bytesPerPixel == 3) PixelZoom24(&p, n);
  else if (si.bytesPerPixel == 2) PixelZoom16(&p, n);
}

}  // namespace

int FxPixelZoom(TransitionRecord *r, int32_t *done) {
  if (r->phase == FXPHASE_SETUP) {
    if (FxAllocPrivate(r, sizeof(PixelZoomState))) return 1000;
    PixelZoomState *z = (PixelZoomState *)r->privateState;
    // On a layer PIXELZOOM2 needs the emulated picture for its first part.
    z->twoPart = r->effect == FX_PIXELZOOM2 && !r->reverse && (!r->realTimeLayer || r->bgpicEmu);
    r->frames = z->twoPart ? 49 : 25;
    if (!(z->block = AllocBitMap(r->width, r->height))) return 1000;
    // Blocks that stay invisible are never filled, yet a layer takes their pixels too.
    RectFillBitMap(z->block, 0, 0, r->width, r->height, 0);
    if (r->mask && !(z->blockMask = AllocMask(nullptr, r->width, r->height, 1))) return 1000;
    if (r->alpha && !(z->blockAlpha = AllocAlphaChannel(r->width, r->height, 1))) return 1000;
    if ((r->mask || r->alpha) && !(z->compose = AllocBitMap(r->width, r->height))) return 1000;
    return 0;
  }
  if (r->phase != FXPHASE_RUN && r->phase != FXPHASE_SEEK) return 0;
  PixelZoomState *z = (PixelZoomState *)r->privateState;
  if (r->phase == FXPHASE_SEEK) {
    z->frame = r->frame;
  } else {
    FxRevealLayer(r);
    z->frame++;
  }
  const int32_t f = z->frame;
  if (f >= r->frames) FxSetDone(done);
  if (r->reverse && f >= r->frames) {
    // The last frame of a hide leaves nothing of the source.
    FxClearArea(r, 0, 0, r->width, r->height, 0);
    FxEndFrame(r);
    return 0;
  }
  const bool before = z->twoPart && f < 24 && r->before;
  if (z->twoPart && r->bgpicEmu) FxRefreshSources(r, f < 24 ? 3 : 2);
  // The block size; the last frame's size falls to 0, which is a plain copy (1).
  int32_t n = r->reverse ? f + 1 : z->twoPart ? (f < 24 ? f + 1 : 49 - f) : 25 - f;
  if (n < 1) n = 1;
  const BitMap *pic = before ? r->before : r->source;
  const bool planes = !before && (r->mask || r->alpha);
  if (!planes || n > 1) FillBlocks(r, z, pic, !before, n);
  if (!planes) {
    FxPut(r, FxPic{z->block, nullptr, nullptr}, 0, 0, r->width, r->height, 0, 0, 0);
  } else if (n == 1) {
    FxMaskedBlit(r, r->source, 0, 0, r->width, r->height, r->mask, r->alpha, z->compose, 0);
  } else {
    FxMaskedBlit(r, z->block, 0, 0, r->width, r->height, z->blockMask, z->blockAlpha, z->compose, 0);
  }
  FxEndFrame(r);
  return 0;
}

void FxPixelZoomFree(TransitionRecord *r, int) {
  PixelZoomState *z = (PixelZoomState *)r->privateState;
  FreeBitMap(z->compose);
  FreeMask(z->blockMask);
  FreeAlphaChannel(z->blockAlpha);
  FreeBitMap(z->block);
  z->compose = z->block = nullptr;
  z->blockMask = nullptr;
  z->blockAlpha = nullptr;
}
