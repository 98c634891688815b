// SetBGPicOutput: the one end of every off-screen selection. Output goes back into a suspended
// double buffer or to the display; a BGPic whose source images were drawn into gets its
// picture and shown sets made anew from them.
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "display/output_select.h"
#include "gfx/scale.h"

// The source set scaled (not smooth) to width x height into the three slots, whose old planes
// go (those it has). 0 or an error code.
static int RescaleFromSource(const BGPicNode *b, int32_t width, int32_t height, BitMap **bm, Mask **mask,
                             AlphaChannel **alpha)
{
    BitMap *nb = nullptr;
    Mask *nm = nullptr;
    AlphaChannel *na = nullptr;
    int code = ScaleBitMapTriple(b->sourceBitMap, b->sourceMask, b->sourceAlpha, 0, 0, nullptr, b->sourceWidth,
                                 b->sourceHeight, width, height, 0, &nb, b->sourceMask ? &nm : nullptr,
                                 b->sourceAlpha ? &na : nullptr);
    if (code) return code;
    FreeBitMap(*bm);
    if (*mask != b->sourceMask) FreeMask(*mask);
    if (*alpha != b->sourceAlpha) FreeAlphaChannel(*alpha);
    *bm = nb;
    *mask = nm;
    *alpha = na;
    return 0;
}

// A BGPic drawn into through SelectBGPic modes 0/1: its source images changed, so the picture
// set (a scaled BGPic) and the shown set (a display's scale size) follow.
static int RefreshScaledSets(BGPicNode *b)
{
    int pictureDiffers = b->bitmap != b->sourceBitMap;
    int shownDiffers = b->shownBitMap != b->sourceBitMap && b->shownBitMap != b->bitmap;
    // A set that shares the source images and had no mask (alpha) takes the one made for drawing.
    if (!pictureDiffers) {
        if (!b->mask) b->mask = b->sourceMask;
        if (!b->alpha) b->alpha = b->sourceAlpha;
    }
    if (!shownDiffers && b->shownBitMap == b->sourceBitMap) {
        if (!b->shownMask) b->shownMask = b->sourceMask;
        if (!b->shownAlpha) b->shownAlpha = b->sourceAlpha;
    }
    int code;
    if (pictureDiffers) {
        int shownShares = b->shownBitMap == b->bitmap;
        if ((code = RescaleFromSource(b, b->width, b->height, &b->bitmap, &b->mask, &b->alpha))) return code;
        if (shownShares) {
            b->shownBitMap = b->bitmap;
            b->shownMask = b->mask;
            b->shownAlpha = b->alpha;
            return 0;
        }
    }
    if (shownDiffers)
        return RescaleFromSource(b, b->shownWidth, b->shownHeight, &b->shownBitMap, &b->shownMask, &b->shownAlpha);
    return 0;
}

// A layer drawn into: an untransformed, unscaled one is redrawn where it is, any other has its
// states built anew from the changed images.
static int ShowDrawnLayer(DisplayRecord *d, kvLayer *layer)
{
    if (!layer) return 0;
    const TransformRecord *t = &layer->transform;
    double fx = 1.0, fy = 1.0;
    int scaled = DisplayScalesLayers(d, &fx, &fy) && (fx != 1.0 || fy != 1.0);
    if (t->a == 1.0 && t->b == 0.0 && t->c == 0.0 && t->d == 1.0 && !scaled) {
        RefreshLayerRect(layer, nullptr);
        return 0;
    }
    const LayerState *s = layer->drawnState;
    DirtyRect old = {s->drawnX, s->drawnY, s->drawnX + s->drawnWidth - 1, s->drawnY + s->drawnHeight - 1};
    int code = BuildLayerState(layer, 0);
    if (!code) RefreshLayerRect(layer, &old);
    return code;
}

// The selection record's work once a selection of a BGPic's source images ends.
static int FinishSelection(DisplayRecord *d, uint32_t outputType, kvLayer **drawnLayer)
{
    BGPicNode *sel = d->selection;
    if (outputType == OBJTYPE_BGPIC || outputType == OBJTYPE_DISPLAY || !sel || !sel->prepared) return 0;
    sel->prepared = 0;
    if (sel->selectionKind == OBJTYPE_LAYER) {
        // Shown once the display is the output again: refreshing now would reach no window.
        *drawnLayer = (kvLayer *)sel->selectionSource;
        return 0;
    }
    if (sel->selectionKind != OBJTYPE_BGPIC) return 0;
    BGPicNode *b;
    if (GetBGPicNode(sel->id, &b, BGPIC_PENDING)) return 0;
    return RefreshScaledSets(b);
}

int SetBGPicOutput(lua_State *L, DisplayRecord *d, int noRefresh)
{
    // A running double buffer is no selection: EndDisplayDoubleBuffer ends it.
    if (!d || d->doubleBuffer) return 0;
    int current = d == CurrentDisplay;
    uint32_t type = d->outputType;
    kvLayer *drawnLayer = nullptr;
    int code = FinishSelection(d, type, &drawnLayer);
    if (d->doubleBufferSuspended) {
        // Back into the double buffer the selection interrupted.
        if (current) CurrentPicture = d->doubleBufferPicture;
        d->outputBitMap = d->doubleBufferBitMap;
        d->outputMask = nullptr;
        d->outputAlpha = nullptr;
        d->outputType = OBJTYPE_BRUSH;
        d->doubleBuffer = 1;
        d->doubleBufferSuspended = 0;
        RestoreDisplayOutput(d);
        return code;
    }
    BGPicNode *selected = current ? CurrentPicture : nullptr;
    d->outputBitMap = nullptr;
    d->outputMask = nullptr;
    d->outputAlpha = nullptr;
    d->outputType = OBJTYPE_DISPLAY;
    if (type == OBJTYPE_BGPIC && selected == d->bgpic) {
        // The layers added meanwhile are drawn now, all at once.
        CommitPendingLayers(selected);
        if (!noRefresh) RefreshDirtyRects(&d->dirty);
        d->dirty.count = 0;
        RestoreDisplayOutput(d);
        return 0;
    }
    if (current) CurrentPicture = d->bgpic;
    RestoreDisplayOutput(d);
    if (drawnLayer && current && !code) code = ShowDrawnLayer(d, drawnLayer);
    return code;
}
