// The layer list of a BGPic: adding (with replacement), removing, freeing, addressing and naming
// layers, and the states a layer keeps.
#include <cmath>
#include <cstring>
#include <strings.h>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/event.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/brush.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "text/text_layout.h"
#include "text/text_objects.h"

enum { ERR_NOMEM = 1000, ERR_NAMETAKEN = 1161, ERR_NAMETOOLONG = 1373 };

LayerLinks LayerHooks;

LayerState *NewLayerState(const LayerState *from)
{
    LayerState *s = (LayerState *)MemAlloc(sizeof(LayerState), 1);
    if (!s) return nullptr;
    if (from) {
        *s = *from;
        s->bitmap = nullptr;
        s->mask = nullptr;
        s->alpha = nullptr;
        s->fxBitMap = nullptr;
        s->fxMask = nullptr;
        s->fxAlpha = nullptr;
        s->clipRegion = nullptr;
        s->text = nullptr;
    }
    return s;
}

TextLayerLinks TextLayerHooks = {nullptr};

void FreeLayerState(int type, LayerState *s)
{
    if (!s) return;
    FreeTextState(s->text);
    FreeTriple(s->bitmap, s->mask, s->alpha);
    FreeTriple(s->fxBitMap, s->fxMask, s->fxAlpha);
    // A transformed copy of the clip region belongs to the state.
    if (s->clipRegion && s->clipRegion->temporary) {
        FreeClipRegionMask(s->clipRegion);
        MemFree(s->clipRegion);
    }
    MemFree(s);
}

// Each distinct state once: the drawn state when it is neither of the others, the transformed
// one when it is not the source state, and the source state.
static void FreeLayerStates(kvLayer *l)
{
    if (l->drawnState != l->transformedState && l->drawnState != l->sourceState)
        FreeLayerState(l->type, l->drawnState);
    if (l->transformedState != l->sourceState) FreeLayerState(l->type, l->transformedState);
    FreeLayerState(l->type, l->sourceState);
    l->sourceState = l->transformedState = l->drawnState = nullptr;
}

kvLayer *GetLayerByIndex(BGPicNode *bgpic, int32_t n)
{
    if (!bgpic || n < 1 || !bgpic->layers.first) return nullptr;
    for (ListNode *node = bgpic->layers.first; node->succ; node = node->succ)
        if (--n == 0) return (kvLayer *)node;
    return nullptr;
}

int32_t CountLayers(const BGPicNode *bgpic)
{
    int32_t n = 0;
    if (!bgpic || !bgpic->layers.first) return 0;
    for (ListNode *node = bgpic->layers.first; node->succ; node = node->succ) n++;
    return n;
}

int32_t GetLayerIndex(BGPicNode *bgpic, const kvLayer *layer)
{
    int32_t n = 0;
    if (!bgpic || !bgpic->layers.first) return 0;
    for (ListNode *node = bgpic->layers.first; node->succ; node = node->succ) {
        n++;
        if ((kvLayer *)node == layer) return n;
    }
    return 0;
}

BGPicNode *FindLayerPicture(const kvLayer *layer)
{
    for (BGPicNode *b = BGPicList; b; b = b->next)
        if (GetLayerIndex(b, layer)) return b;
    DisplayRecord *d = CurrentDisplay;
    if (d && d->selection && GetLayerIndex(d->selection, layer)) return d->selection;
    if (d && d->doubleBufferPicture && GetLayerIndex(d->doubleBufferPicture, layer)) return d->doubleBufferPicture;
    return nullptr;
}

int32_t FindLayerByName(const char *name)
{
    int32_t n = 0;
    BGPicNode *pic = CurrentPicture;
    if (!pic || !pic->layers.first) return 0;
    for (ListNode *node = pic->layers.first; node->succ; node = node->succ) {
        n++;
        const kvLayer *l = (const kvLayer *)node;
        if (l->name && !strcasecmp(l->name, name)) return n;
    }
    return 0;
}

int SetLayerNameRec(BGPicNode *bgpic, kvLayer *layer, const char *name)
{
    size_t len = strlen(name);
    if (len > 255) return ERR_NAMETOOLONG;
    if (bgpic && bgpic->layers.first)
        for (ListNode *node = bgpic->layers.first; node->succ; node = node->succ) {
            const kvLayer *l = (const kvLayer *)node;
            if ((l->name && !strcasecmp(l->name, name)) || !strcasecmp(l->group, name)) return ERR_NAMETAKEN;
        }
    char *copy = (char *)MemAlloc(len + 1, 0);
    if (!copy) return ERR_NOMEM;
    memcpy(copy, name, len + 1);
    MemFree(layer->name);
    layer->name = copy;
    return 0;
}

// Inclusive overlap of two drawn rectangles; the far edges are 64-bit, since a rectangle may
// start anywhere in the 32-bit range.
static int DrawnRectsOverlap(const LayerState *a, const LayerState *b)
{
    return (int64_t)b->drawnX <= (int64_t)a->drawnX + a->drawnWidth - 1 &&
           (int64_t)a->drawnX <= (int64_t)b->drawnX + b->drawnWidth - 1 &&
           (int64_t)b->drawnY <= (int64_t)a->drawnY + a->drawnHeight - 1 &&
           (int64_t)a->drawnY <= (int64_t)b->drawnY + b->drawnHeight - 1;
}

int LayerIsUncovered(const kvLayer *layer)
{
    const LayerState *s = layer->drawnState;
    for (const kvLayer *l = layer->succ; l && l->succ; l = l->succ) {
        if (l->hidden || l->pending || l->type == LAYERTYPE_NOOBJECT) continue;
        if (l->drawnState && DrawnRectsOverlap(s, l->drawnState)) return 0;
    }
    return 1;
}

void CommitPendingLayers(BGPicNode *bgpic)
{
    if (!bgpic || !bgpic->layers.first) return;
    for (ListNode *node = bgpic->layers.first; node->succ; node = node->succ) ((kvLayer *)node)->pending = 0;
}

static void LinkLayer(BGPicNode *pic, kvLayer *l, int32_t pos)
{
    if (pos == 1) {
        AddHead(&pic->layers, (ListNode *)l);
        return;
    }
    kvLayer *after = pos >= 2 ? GetLayerByIndex(pic, pos - 1) : nullptr;
    if (after) InsertNode(&pic->layers, (ListNode *)l, (ListNode *)after);
    else AddTail(&pic->layers, (ListNode *)l);
}

// Frees the objects of the layer's source kind that were marked for freeing while shown.
static void PurgeLayerSources(int type)
{
    if (type == OBJTYPE_BRUSH || type == LAYERTYPE_BRUSHPART) PurgeBrushNodes();
    if (type == OBJTYPE_ANIM) PurgeAnimNodes();
    if (type == LAYERTYPE_BGPICPART) FlushPendingBGPics();
    if (type == LAYERTYPE_TEXTOBJECT) FlushTextObjects();
    FlushClipRegions();
}

int AddLayer(int type, const ObjectId *source, const TransformRecord *transform, const LayerOptions *options,
             LayerState *state, int32_t insertPos, int flags, kvLayer **out)
{
    if (out) *out = nullptr;
    BGPicNode *pic = CurrentPicture;
    DisplayRecord *d = CurrentDisplay;
    kvLayer *l = pic ? (kvLayer *)MemAlloc(sizeof(kvLayer), 1) : nullptr;
    if (!l) {
        FreeLayerState(type, state);
        return ERR_NOMEM;
    }
    if (!pic->layers.first) NewList(&pic->layers);
    // 1. (positions kept within kCoordLimit, as PlaceLayerState keeps them)
    state->x = ClampCoord(state->x);
    state->y = ClampCoord(state->y);
    state->anchoredX = state->x;
    state->anchoredY = state->y;
    state->drawnX = state->x;
    state->drawnY = state->y;
    state->drawnWidth = state->width;
    state->drawnHeight = state->height;
    // 2.
    int code = 0;
    int hidden = flags & ADDLAYER_HIDDEN;
    if (options) {
        l->transparency = options->transparency;
        l->tint = options->tint;
        l->tintColor = options->tintColor;
        if (options->hidden) hidden = 1;
        memcpy(l->group, options->group, sizeof l->group);
        l->group[sizeof l->group - 1] = 0;
        if (options->name[0]) code = SetLayerNameRec(pic, l, options->name);
    }
    if (code) {
        FreeLayerState(type, state);
        MemFree(l);
        return code;
    }
    // 3.
    l->type = type;
    l->hidden = hidden ? 1 : 0;
    l->pending = !hidden && d && d->outputType == OBJTYPE_BGPIC && d->bgpic == pic;
    l->sourceState = l->transformedState = l->drawnState = state;
    if (!(flags & ADDLAYER_REPLACE)) state->clipRegion = pic->clipRegion;
    pic->layersChanged = 1;
    // 4.
    if (transform) {
        l->transform = *transform;
        l->anchorX = transform->anchorX;
        l->anchorY = transform->anchorY;
        if (type != LAYERTYPE_LINE) {
            int32_t ox = lrint(state->width * l->anchorX), oy = lrint(state->height * l->anchorY);
            state->anchoredX = state->drawnX = ClampCoord((int64_t)state->x - ox);
            state->anchoredY = state->drawnY = ClampCoord((int64_t)state->y - oy);
        }
    } else {
        InitTransform(&l->transform);
    }
    // 5.
    if (source) l->source = *source;
    l->createdAs = l->source;
    // 6.
    LinkLayer(pic, l, insertPos);
    // 7.
    kvLayer *old = nullptr;
    if ((flags & ADDLAYER_REPLACE) && l->succ && l->succ->succ) {
        old = l->succ;
        for (kvBGPicButton *b = pic->buttons; b; b = b->next)
            if (b->layer == old) b->layer = l;
        l->noClipTransform = old->noClipTransform;
        state->clipRegion = old->sourceState->clipRegion;
    }
    // 8.
    int identity = IsIdentityTransform(&l->transform);
    if (!identity) code = BuildLayerState(l, BUILD_DRAWN);
    else if ((flags & ADDLAYER_SCALE) && DisplayScalesLayers(d, nullptr, nullptr))
        code = BuildLayerState(l, BUILD_SCALEPASS | BUILD_DRAWN | (old ? BUILD_NOPREVIOUS : 0));
    if (!code && old && LayerHooks.notifyAsync) code = LayerHooks.notifyAsync(0, old);
    if (code) {
        // 10.
        if (old)
            for (kvBGPicButton *b = pic->buttons; b; b = b->next)
                if (b->layer == l) b->layer = old;
        RemoveNode((ListNode *)l);
        FreeLayerStates(l);
        MemFree(l->name);
        MemFree(l);
        return code;
    }
    if (old) RemoveLayerRec(old, 1, nullptr, nullptr);
    if (out) *out = l;
    // 9. Nothing else draws a new layer, so every visible one is recomposed; a replacement
    // covers its old rectangle, which its caller refreshes.
    if (l->hidden) return 0;
    if (!old || l->transparency || l->tint) RefreshLayerRect(l, nullptr);
    return 0;
}

int AddObjectLayerOptions(lua_State *L, uint32_t type, ObjectId source, int32_t partX, int32_t partY, int32_t x,
                          int32_t y, int32_t width, int32_t height, const TransformRecord *transform,
                          const LayerOptions *options, BitMap *bitmap, Mask *mask, AlphaChannel *alpha,
                          int32_t insertPos, int flags)
{
    LayerState *s = NewLayerState(nullptr);
    if (!s) {
        FreeTriple(bitmap, mask, alpha);
        return ERR_NOMEM;
    }
    s->bitmap = bitmap;
    s->mask = mask;
    s->alpha = alpha;
    s->x = x;
    s->y = y;
    s->width = width;
    s->height = height;
    s->partX = partX;
    s->partY = partY;
    if (options && options->insertPos > 0) insertPos = options->insertPos;
    // Shown objects follow the display's layer scaling from the start.
    return AddLayer((int)type, &source, transform, options, s, insertPos, flags | ADDLAYER_SCALE, nullptr);
}

int AddObjectLayer(lua_State *L, uint32_t type, ObjectId source, int32_t partX, int32_t partY, int32_t x, int32_t y,
                   int32_t width, int32_t height, const TransformRecord *transform, BitMap *bitmap, Mask *mask,
                   AlphaChannel *alpha, int32_t insertPos, int flags)
{
    return AddObjectLayerOptions(L, type, source, partX, partY, x, y, width, height, transform, nullptr, bitmap, mask,
                                 alpha, insertPos, flags);
}

void RemoveLayerRec(kvLayer *l, int keepArea, DirtyRect *area, DirtyRectList *list)
{
    const LayerState *s = l->drawnState;
    DirtyRect r = {s->drawnX, s->drawnY, s->drawnX + s->drawnWidth - 1, s->drawnY + s->drawnHeight - 1};
    if (area) *area = r;
    BGPicNode *pic = FindLayerPicture(l);
    int type = l->type;
    if (!keepArea && !l->hidden) {
        l->type = LAYERTYPE_NOOBJECT;
        if (list) AppendDirtyRect(list, r.x1, r.y1, r.x2, r.y2);
        else if (CurrentDisplay && pic == CurrentDisplay->bgpic)
            RefreshArea(r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
    }
    FreeLayerButton(pic, l);
    FreeLayerStates(l);
    MemFree(l->name);
    RemoveNode((ListNode *)l);
    MemFree(l);
    PurgeLayerSources(type);
}

void FreeLayer(BGPicNode *bgpic, int flush)
{
    if (!bgpic || !bgpic->layers.first) return;
    while (!IsListEmpty(&bgpic->layers)) {
        kvLayer *l = (kvLayer *)bgpic->layers.first;
        FreeLayerButton(bgpic, l);
        FreeLayerStates(l);
        MemFree(l->name);
        RemoveNode((ListNode *)l);
        MemFree(l);
    }
    bgpic->layersChanged = 1;
    if (flush) {
        PurgeBrushNodes();
        PurgeAnimNodes();
        FlushPendingBGPics();
        FlushClipRegions();
        FlushTextObjects();
    }
}

int GetLayerBitmaps(const kvLayer *layer, const LayerState *state, const BitMap **bitmap, const Mask **mask,
                    const AlphaChannel **alpha, int32_t *sx, int32_t *sy)
{
    *sx = *sy = 0;
    if (state->bitmap || state->mask || state->alpha) {
        *bitmap = state->bitmap;
        *mask = state->mask;
        *alpha = state->alpha;
        return 0;
    }
    *bitmap = nullptr;
    *mask = nullptr;
    *alpha = nullptr;
    const LayerState *src = layer->sourceState;
    switch (layer->type) {
    case OBJTYPE_BRUSH:
    case LAYERTYPE_BRUSHPART: {
        BrushNode *b;
        int code = GetBrushNode(layer->source, &b, BRUSH_FINDFREED);
        if (code) return code;
        *bitmap = b->bitmap;
        *mask = b->mask;
        *alpha = b->alpha;
        break;
    }
    case LAYERTYPE_BGPICPART: {
        BGPicNode *b;
        int code = GetBGPicNode(layer->source, &b, BGPIC_PENDING);
        if (code) return code;
        *bitmap = b->bitmap;
        *mask = b->mask;
        *alpha = b->alpha;
        break;
    }
    case OBJTYPE_ANIM: return AnimLayerBitmaps(layer, bitmap, mask, alpha);
    default: return 1055;
    }
    if (layer->type != OBJTYPE_BRUSH) {
        *sx = src->partX;
        *sy = src->partY;
    }
    return 0;
}

// How many layers of any BGPic show the object as a brush.
static int CountBrushUsers(ObjectId id)
{
    int n = 0;
    for (BGPicNode *b = BGPicList; b; b = b->next) {
        if (!b->layers.first) continue;
        for (ListNode *node = b->layers.first; node->succ; node = node->succ) {
            const kvLayer *l = (const kvLayer *)node;
            if ((l->type == OBJTYPE_BRUSH || l->type == LAYERTYPE_BRUSHPART) && ObjectIdMatches(l->source, id)) n++;
        }
    }
    return n;
}

// Text and shape layers hold the picture they show, drawn without the layer's transform, in
// their source state.
static int IsPictureLayerType(int32_t type)
{
    switch (type) {
    case LAYERTYPE_TEXTOBJECT: case LAYERTYPE_TEXTOUT: case LAYERTYPE_PRINT: case LAYERTYPE_BOX:
    case LAYERTYPE_CIRCLE: case LAYERTYPE_ELLIPSE: case LAYERTYPE_LINE: case LAYERTYPE_POLYGON: case LAYERTYPE_ARC:
        return 1;
    default: return 0;
    }
}

// A text or shape layer becomes a brush layer, so that it can be drawn into: its picture goes
// to a new brush that belongs to the layer, the text or shape behind it is dropped, and the
// layer shows the brush where the picture was, with its own transform still applied. 0, 1055
// (no picture) or 1000: before the brush is made the layer is left unchanged, after it only
// the drawing through the transform can fail.
static int ConvertPictureLayer(kvLayer *l)
{
    LayerState *src = l->sourceState;
    int32_t w = src->drawnWidth, h = src->drawnHeight;
    if (!src->bitmap || w < 1 || h < 1 || w > src->bitmap->width || h > src->bitmap->height) return 1055;
    LayerState *ns = NewLayerState(nullptr);
    if (!ns) return ERR_NOMEM;
    // A wrapped text's planes may be wider than its picture: the brush gets the picture alone.
    BitMap *bm = src->bitmap;
    Mask *m = src->mask;
    AlphaChannel *a = src->alpha;
    int cut = bm->width != w || bm->height != h;
    if (cut && CutBitMapRegion(src->bitmap, src->mask, src->alpha, 0, 0, w, h, &bm, &m, &a)) {
        MemFree(ns);
        return ERR_NOMEM;
    }
    ObjectId id = {0, (void *)1};
    if (AddBrushNode(&id, BRUSHTYPE_BITMAP, w, h, w, 0, nullptr, bm, -1, m, a, nullptr)) {
        if (cut) FreeTriple(bm, m, a);
        MemFree(ns);
        return ERR_NOMEM;
    }
    ((BrushNode *)id.handle)->freed = 1;
    if (!cut) {
        src->bitmap = nullptr;
        src->mask = nullptr;
        src->alpha = nullptr;
    }
    int32_t oldType = l->type, drawnX = src->drawnX, drawnY = src->drawnY;
    const LayerState *shown = l->drawnState;
    DirtyRect old = {shown->drawnX, shown->drawnY, shown->drawnX + shown->drawnWidth - 1,
                     shown->drawnY + shown->drawnHeight - 1};
    ns->clipRegion = src->clipRegion;
    MoveTransitionBuffers(ns, l->drawnState);
    FreeLayerStates(l);
    l->type = OBJTYPE_BRUSH;
    l->source = id;
    l->sourceState = l->transformedState = l->drawnState = ns;
    ns->width = ns->drawnWidth = w;
    ns->height = ns->drawnHeight = h;
    // The picture stays where it was: its corner at the old one, whatever the anchor.
    PlaceLayerState(l, ns, ClampCoord((int64_t)drawnX + lrint(w * l->anchorX)),
                    ClampCoord((int64_t)drawnY + lrint(h * l->anchorY)), 1.0, 1.0);
    BGPicNode *pic = FindLayerPicture(l);
    if (pic) pic->layersChanged = 1;
    PurgeLayerSources(oldType);
    // A turned or display-scaled layer shows the brush through its transform from now on: the
    // brush is resampled where the text or shape was drawn again, so the area is shown anew.
    if (IsIdentityTransform(&l->transform) && !DisplayScalesLayers(CurrentDisplay, nullptr, nullptr)) return 0;
    int code = BuildLayerState(l, BUILD_DRAWN);
    RefreshLayerRect(l, &old);
    return code;
}

int ConvertLayerToBitmap(kvLayer *layer, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha)
{
    if (LayerHooks.usedByAsync && LayerHooks.usedByAsync(layer)) return 1404;
    if (layer->type == OBJTYPE_ANIM) return ConvertAnimLayer(layer, frame, bitmap, mask, alpha);
    if (IsPictureLayerType(layer->type)) {
        int code = ConvertPictureLayer(layer);
        if (code) return code;
    }
    LayerState *src = layer->sourceState;
    if (layer->type == OBJTYPE_BRUSH || layer->type == LAYERTYPE_BRUSHPART) {
        BrushNode *b;
        int code = GetBrushNode(layer->source, &b, BRUSH_FINDFREED);
        if (code) return code;
        // The layer draws into a brush of its own: one that belongs to layers and that no other
        // layer shows, else a copy.
        if (!b->freed || CountBrushUsers(layer->source) > 1) {
            BitMap *bm;
            Mask *m;
            AlphaChannel *a;
            if (CopyBrushPlanes(b, &bm, &m, &a)) return ERR_NOMEM;
            ObjectId copy = {0, (void *)1};
            if (AddBrushNode(&copy, b->type, b->width, b->height, b->width, b->vectorTransformed, nullptr, bm,
                             b->transparentColor, m, a, b->vectorData)) {
                FreeTriple(bm, m, a);
                return ERR_NOMEM;
            }
            b = (BrushNode *)copy.handle;
            b->freed = 1;
            layer->source = copy;
        }
        *bitmap = b->bitmap;
        *mask = b->mask;
        *alpha = b->alpha;
        return 0;
    }
    if (layer->type == LAYERTYPE_BGPICPART) {
        // The part becomes the layer's own image.
        if (!src->bitmap) {
            const BitMap *bm;
            const Mask *m;
            const AlphaChannel *a;
            int32_t sx, sy;
            int code = GetLayerBitmaps(layer, src, &bm, &m, &a, &sx, &sy);
            if (code) return code;
            code = CutBitMapRegion(bm, m, a, sx, sy, src->width, src->height, &src->bitmap, &src->mask, &src->alpha);
            if (code) return code;
            PurgeLayerSources(LAYERTYPE_BGPICPART);
        }
        *bitmap = src->bitmap;
        *mask = src->mask;
        *alpha = src->alpha;
        return 0;
    }
    return 1055;
}
