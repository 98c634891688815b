// What other parts of the display code ask of layers: which layers show an object and their
// re-keying to a copy, freeing a BGPic's layers, clip regions going away, the layer buttons'
// view of a layer, and whether layers may be switched on.
#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display_pending.h"
#include "display/event.h"
#include "display/layer.h"
#include "pictures/brush.h"

// A layer of this type shows an object of this kind (BGPics are shown as BGPic parts).
static int ShowsKind(int32_t layerType, uint32_t kind)
{
    if (kind == OBJTYPE_BRUSH || kind == LAYERTYPE_BRUSHPART)
        return layerType == OBJTYPE_BRUSH || layerType == LAYERTYPE_BRUSHPART;
    if (kind == OBJTYPE_BGPIC || kind == LAYERTYPE_BGPICPART)
        return layerType == LAYERTYPE_BGPICPART || layerType == LAYERTYPE_NOOBJECT;
    return layerType == (int32_t)kind || layerType == LAYERTYPE_NOOBJECT;
}

// Calls fn for every layer of every BGPic (and of the selection records) until it returns non-zero.
template <typename F> static int ForEveryLayer(F fn)
{
    BGPicNode *extra[2] = {CurrentDisplay ? CurrentDisplay->selection : nullptr,
                           CurrentDisplay ? CurrentDisplay->doubleBufferPicture : nullptr};
    for (BGPicNode *b = BGPicList;; b = b->next) {
        if (!b) break;
        if (b->layers.first)
            for (ListNode *n = b->layers.first; n->succ;) {
                ListNode *next = n->succ;
                if (fn(b, (kvLayer *)n)) return 1;
                n = next;
            }
    }
    for (BGPicNode *b : extra) {
        if (!b || !b->layers.first) continue;
        for (ListNode *n = b->layers.first; n->succ; n = n->succ)
            if (fn(b, (kvLayer *)n)) return 1;
    }
    return 0;
}

int IsObjectUsedByLayers(uint32_t kind, ObjectId id, const kvLayer *skip)
{
    return ForEveryLayer([&](BGPicNode *, kvLayer *l) {
        return l != skip && ShowsKind(l->type, kind) && ObjectIdMatches(l->source, id);
    });
}

int RekeyLayersUsingObject(uint32_t kind, ObjectId id, void *newHandle)
{
    int done = 0;
    ForEveryLayer([&](BGPicNode *, kvLayer *l) {
        if (!ShowsKind(l->type, kind) || !ObjectIdMatches(l->source, id)) return 0;
        l->source = {0, newHandle};
        done = 1;
        // A transition on the layer takes its images again: a layer drawn straight from its
        // source now draws from the copy, and the object's own planes may go with the change
        // that follows.
        if (l->transitionAttached && LayerHooks.notifyAsync) LayerHooks.notifyAsync(ADCTL_LAYERCHANGED, l);
        return 0;
    });
    return done;
}

int ForEachLayerUsingObject(uint32_t kind, ObjectId id, LayerCopyFunc copy, void *userdata, void **outHandle)
{
    if (outHandle) *outHandle = nullptr;
    if (!IsObjectUsedByLayers(kind, id, nullptr)) return 0;
    ObjectId newId = {0, (void *)1};
    int code = copy(userdata, &newId);
    if (code) return code;
    RekeyLayersUsingObject(kind, id, newId.handle);
    if (outHandle) *outHandle = newId.handle;
    return 0;
}

void ForgetLayerClipRegion(ClipRegionNode *region)
{
    ForEveryLayer([&](BGPicNode *, kvLayer *l) {
        LayerState *states[3] = {l->sourceState, l->transformedState, l->drawnState};
        for (LayerState *s : states)
            if (s && s->clipRegion == region) s->clipRegion = nullptr;
        return 0;
    });
}

int CountAllLayers(void)
{
    int n = 0;
    for (BGPicNode *b = BGPicList; b; b = b->next) n += CountLayers(b);
    return n;
}

void FreeBGPicLayers(lua_State *L, BGPicNode *bgpic, int flag)
{
    FreeLayer(bgpic, flag);
}

// The brushes ask whether a layer shows a brush and re-key layers to a brush's copy (connected
// when the layers library opens).
static int BrushShown(ObjectId id)
{
    return IsObjectUsedByLayers(OBJTYPE_BRUSH, id, nullptr);
}

static void BrushRekey(ObjectId from, ObjectId to) { RekeyLayersUsingObject(OBJTYPE_BRUSH, from, to.handle); }

void ConnectBrushLayers(void)
{
    static const BrushLayerLinks links = {BrushShown, BrushRekey};
    SetBrushLayerLinks(&links);
}

// ---------------------------------------------------------------------------------------------
// Layer buttons

kvLayer *GetButtonLayer(BGPicNode *bgpic, int position)
{
    return GetLayerByIndex(bgpic, position);
}

int LayerButtonInfo(const kvLayer *layer, int *position, const char **name, int *hidden)
{
    BGPicNode *pic = FindLayerPicture(layer);
    if (!pic) {
        if (position) *position = -1;
        return 0;
    }
    if (position) *position = GetLayerIndex(pic, layer);
    if (name) *name = layer->name ? layer->name : "";
    if (hidden) *hidden = layer->hidden ? 1 : 0;
    return 1;
}

int LayerButtonHitTest(DisplayRecord *display, const kvLayer *layer, int pixelTest, int32_t x, int32_t y)
{
    if (!FindLayerPicture(layer)) return 0;
    int32_t px, py;
    WindowToDisplay(display, x, y, &px, &py);
    const LayerState *s = layer->drawnState;
    if (px < s->drawnX || py < s->drawnY || px >= s->drawnX + s->drawnWidth || py >= s->drawnY + s->drawnHeight)
        return 0;
    if (!pixelTest) return 1;
    const BitMap *bm;
    const Mask *mask;
    const AlphaChannel *alpha;
    int32_t sx, sy;
    if (GetLayerBitmaps(layer, s, &bm, &mask, &alpha, &sx, &sy)) return 0;
    sx += px - s->drawnX;
    sy += py - s->drawnY;
    if (mask && (sx >= mask->width || sy >= mask->height || !MaskRowBit(mask->pixels + sy * mask->bytesPerRow, sx)))
        return 0;
    if (alpha && (sx >= alpha->width || sy >= alpha->height || !alpha->pixels[sy * alpha->bytesPerRow + sx]))
        return 0;
    return 1;
}

int CanEnableLayers(lua_State *L, DisplayRecord *d)
{
    if (d->asyncDraws) return 1329;
    if (d->doubleBuffer || d->bufferedPresentation) return 1229;
    if (d->outputType != OBJTYPE_DISPLAY) return 1163;
    if (d->bgpic && d->bgpic->sprites) return 1224;
    return 0;
}
