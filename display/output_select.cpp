// Off-screen selection: SelectOutput (brushes, masks, alpha channels and a BGPic's source
// images), SelectBGPic (a BGPic with its layers), EndSelect, and the preparation of a selected
// target before the first drawing into it.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "display/output_select.h"
#include "pictures/anim.h"
#include "pictures/brush.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

enum {
    ERR_NOMEM = 1000, ERR_NOTENOUGHARGS = 1014, ERR_WRONGUSAGE = 1055, ERR_NEEDLAYERS = 1078, ERR_LAYERRANGE = 1081,
    ERR_NOTANIMLAYER = 1155,    ERR_NOANIM = 1176, ERR_SHOWNBGPIC = 1367, ERR_DISPLAYBGPIC = 1377, ERR_BGPICTYPE = 1390
};

enum { DAMAGE_CAPACITY = 1024 };

void InitBGPicRecord(BGPicNode *r, uint32_t kind, void *node, uint32_t frame, const ObjectId *id, BitMap *bitmap,
                     Mask *mask, AlphaChannel *alpha, int32_t width, int32_t height, int clear)
{
    if (clear) {
        memset(r, 0, sizeof *r);
        NewList(&r->layers);
    }
    r->selectionKind = kind;
    r->selectionSource = node;
    r->selectionFrame = frame;
    if (id) r->id = *id;
    else r->id = {0, r};
    r->shownBitMap = r->bitmap = r->sourceBitMap = bitmap;
    r->shownMask = r->mask = r->sourceMask = mask;
    r->shownAlpha = r->alpha = r->sourceAlpha = alpha;
    r->shownWidth = r->width = r->sourceWidth = width;
    r->shownHeight = r->height = r->sourceHeight = height;
    r->transparentColor = 0xFFFFFFFFu;
}

// What a selection names: the node, its planes and size.
struct SelectedObject {
    void *node;
    BitMap *bitmap;
    Mask *mask;
    AlphaChannel *alpha;
    int32_t width, height;
};

static int FindSelectedObject(lua_State *L, uint32_t kind, ObjectId id, int32_t frame, SelectedObject *o)
{
    switch (kind) {
    case OBJTYPE_BRUSH: {
        BrushNode *b;
        int code = GetBrushNode(id, &b, BRUSH_NOVECTOR);
        if (code) return code;
        *o = {b, b->bitmap, b->mask, b->alpha, b->width, b->height};
        return 0;
    }
    case OBJTYPE_BGPIC: {
        BGPicNode *b;
        int code = GetBGPicNode(id, &b, 0);
        if (code) return code;
        if (b->rendered) return ERR_BGPICTYPE;
        if (IsBGPicShownByDisplay(b)) return ERR_DISPLAYBGPIC;
        *o = {b, b->sourceBitMap, b->sourceMask, b->sourceAlpha, b->sourceWidth, b->sourceHeight};
        return 0;
    }
    case OBJTYPE_ANIM: {
        int code = SelectAnimFrame(id, frame, &o->node, &o->bitmap, &o->mask, &o->alpha, &o->width, &o->height);
        if (code) return code;
        return 0;
    }
    case OBJTYPE_LAYER: {
        // A layer of the current picture (1-based position); a frame only for anim layers.
        kvLayer *layer = CurrentPicture ? GetLayerByIndex(CurrentPicture, (int32_t)id.number) : nullptr;
        if (!layer) return ERR_LAYERRANGE;
        if (frame > 0 && layer->type != OBJTYPE_ANIM) return ERR_NOTANIMLAYER;
        if (frame <= 0 && layer->type == OBJTYPE_ANIM) return ERR_NOTENOUGHARGS;
        BitMap *bm;
        Mask *mask;
        AlphaChannel *alpha;
        int code = ConvertLayerToBitmap(layer, frame > 0 ? frame - 1 : 0, &bm, &mask, &alpha);
        if (code) return code;
        if (!bm) return ERR_WRONGUSAGE;
        *o = {layer, bm, mask, alpha, bm->width, bm->height};
        return 0;
    }
    default:
        return ERR_WRONGUSAGE;
    }
}

int SelectOutput(lua_State *L, uint32_t kind, ObjectId id, uint32_t outputType, int32_t frame, int mode)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d) return ERR_WRONGUSAGE;
    BGPicNode *sel = d->selection;
    uint32_t frame0 = frame > 0 ? (uint32_t)(frame - 1) : 0;
    if (sel && CurrentPicture == sel && d->outputType == outputType && sel->selectionKind == kind &&
        sel->selectionFrame == frame0 && ObjectIdMatches(sel->id, id))
        return 0;
    int code;
    if (d->outputType != OBJTYPE_DISPLAY && !d->doubleBuffer && (code = SetBGPicOutput(L, d, 0))) return code;
    SelectedObject o;
    if ((code = FindSelectedObject(L, kind, id, frame, &o))) return code;
    if (!sel) {
        sel = d->selection = (BGPicNode *)MemAlloc(sizeof(BGPicNode), 1);
        if (!sel) return ERR_NOMEM;
        NewList(&sel->layers);
    }
    ObjectId objectId = kind == OBJTYPE_BGPIC ? ((BGPicNode *)o.node)->id
                        : kind == OBJTYPE_BRUSH ? ((BrushNode *)o.node)->id
                                                : id;
    InitBGPicRecord(sel, kind, o.node, frame0, &objectId, o.bitmap, o.mask, o.alpha, o.width, o.height, 0);
    sel->prepared = 0;
    CurrentPicture = sel;
    SaveDisplayOutput(d, outputType == OBJTYPE_BGPIC, o.width);
    d->outputType = outputType;
    if (d->doubleBuffer) {
        d->doubleBuffer = 0;
        d->doubleBufferSuspended = 1;
    }
    d->outputBitMap = nullptr;
    d->outputMask = nullptr;
    d->outputAlpha = nullptr;
    if (outputType == OBJTYPE_MASK) {
        d->outputMask = o.mask;
    } else if (outputType == OBJTYPE_ALPHACHANNEL) {
        d->outputAlpha = o.alpha;
    } else {
        d->outputBitMap = o.bitmap;
        if (mode == SELMODE_COMBO) {
            d->outputMask = o.mask;
            d->outputAlpha = o.alpha;
        }
    }
    return 0;
}

// A mask with every pixel visible, or an alpha channel with every value 255.
static Mask *NewVisibleMask(int32_t w, int32_t h)
{
    Mask *m = AllocMask(nullptr, w, h, 0);
    if (m) memset(m->pixels, 0xFF, (size_t)m->bytesPerRow * (size_t)h);
    return m;
}

static AlphaChannel *NewOpaqueAlpha(int32_t w, int32_t h)
{
    AlphaChannel *a = AllocAlphaChannel(w, h, 0);
    if (a) memset(a->pixels, 0xFF, (size_t)a->bytesPerRow * (size_t)h);
    return a;
}

// MASK output needs a mask and loses the alpha channel; ALPHACHANNEL output the other way round.
// The slots are the object's own (a brush's planes, a BGPic's source set).
static int PrepareSlots(uint32_t outputType, int32_t w, int32_t h, Mask **mask, AlphaChannel **alpha)
{
    if (outputType == OBJTYPE_MASK) {
        if (!*mask && !(*mask = NewVisibleMask(w, h))) return ERR_NOMEM;
        FreeAlphaChannel(*alpha);
        *alpha = nullptr;
    } else if (outputType == OBJTYPE_ALPHACHANNEL) {
        if (!*alpha && !(*alpha = NewOpaqueAlpha(w, h))) return ERR_NOMEM;
        FreeMask(*mask);
        *mask = nullptr;
    }
    return 0;
}

// A BGPic's picture and shown sets stop sharing source planes that are about to go.
static void ForgetSourcePlanes(BGPicNode *b, const Mask *mask, const AlphaChannel *alpha)
{
    if (mask) {
        if (b->mask == mask) b->mask = nullptr;
        if (b->shownMask == mask) b->shownMask = nullptr;
    }
    if (alpha) {
        if (b->alpha == alpha) b->alpha = nullptr;
        if (b->shownAlpha == alpha) b->shownAlpha = nullptr;
    }
}

int GetOutputBitmap(DisplayRecord *d, BitMap **bitmap)
{
    *bitmap = nullptr;
    if (!d) return 0;
    BGPicNode *sel = d->selection;
    int offScreen = d->outputType == OBJTYPE_BRUSH || d->outputType == OBJTYPE_MASK ||
                    d->outputType == OBJTYPE_ALPHACHANNEL;
    if (!offScreen || d->doubleBuffer || !sel || sel->prepared || CurrentPicture != sel) {
        *bitmap = d->outputBitMap;
        return 0;
    }
    Mask *mask;
    AlphaChannel *alpha;
    int code;
    if (sel->selectionKind == OBJTYPE_BRUSH) {
        BrushNode *b;
        if ((code = GetBrushNode(sel->id, &b, BRUSH_FORCHANGE))) return code;
        if ((code = PrepareSlots(d->outputType, b->width, b->height, &b->mask, &b->alpha))) return code;
        sel->selectionSource = b;
        mask = b->mask;
        alpha = b->alpha;
    } else if (sel->selectionKind == OBJTYPE_BGPIC) {
        BGPicNode *b;
        if ((code = GetBGPicNode(sel->id, &b, BGPIC_FORCHANGE))) return code;
        Mask *oldMask = b->sourceMask;
        AlphaChannel *oldAlpha = b->sourceAlpha;
        if ((code = PrepareSlots(d->outputType, b->sourceWidth, b->sourceHeight, &b->sourceMask, &b->sourceAlpha)))
            return code;
        ForgetSourcePlanes(b, oldMask != b->sourceMask ? oldMask : nullptr,
                           oldAlpha != b->sourceAlpha ? oldAlpha : nullptr);
        sel->selectionSource = b;
        mask = b->sourceMask;
        alpha = b->sourceAlpha;
    } else if (sel->selectionKind == OBJTYPE_ANIM) {
        AnimNode *a;
        if ((code = FindAnim(sel->id, &a, FINDANIM_FORCHANGE))) return code;
        uint32_t f = sel->selectionFrame;
        if ((int32_t)f >= a->frameCount || a->diskBased) return ERR_WRONGUSAGE;
        if ((code = PrepareSlots(d->outputType, a->width, a->height, &a->masks[f], &a->alphas[f]))) return code;
        sel->selectionSource = a;
        mask = a->masks[f];
        alpha = a->alphas[f];
    } else if (sel->selectionKind == OBJTYPE_LAYER && d->outputType == OBJTYPE_BRUSH) {
        // A layer's images were made drawable when it was selected.
        sel->prepared = 1;
        *bitmap = d->outputBitMap;
        return 0;
    } else {
        return ERR_WRONGUSAGE;
    }
    sel->shownMask = sel->mask = sel->sourceMask = mask;
    sel->shownAlpha = sel->alpha = sel->sourceAlpha = alpha;
    if (d->outputType == OBJTYPE_MASK) d->outputMask = mask;
    else if (d->outputType == OBJTYPE_ALPHACHANNEL) d->outputAlpha = alpha;
    else if (d->outputMask || d->outputAlpha) {
        // SELMODE_COMBO: the planes the object has now.
        d->outputMask = mask;
        d->outputAlpha = alpha;
    }
    sel->prepared = 1;
    *bitmap = d->outputBitMap;
    return 0;
}

int SelectBGPic(lua_State *L)
{
    CheckArgs(L, 1, 2);
    int mode = GetOptIntArg(L, 2, SELMODE_LAYERS);
    DisplayRecord *d = CurrentDisplay;
    if (!d || !d->bgpic) return ERR_WRONGUSAGE;
    int isNil = lua_isnil(L, 1);
    ObjectId id = isNil ? d->bgpic->id : GetObjectIdArg(L, 1);
    if (mode != SELMODE_LAYERS) return SelectOutput(L, OBJTYPE_BGPIC, id, OBJTYPE_BRUSH, 0, mode);
    BGPicNode *b = d->bgpic;
    int code;
    if (!isNil && (code = GetBGPicNode(id, &b, 0))) return code;
    if (d->outputType == OBJTYPE_BGPIC && CurrentPicture == b) return 0;
    if (d->outputType != OBJTYPE_DISPLAY && !d->doubleBuffer && (code = SetBGPicOutput(L, d, 0))) return code;
    if (!d->layersEnabled) return ERR_NEEDLAYERS;
    if (b != d->bgpic && IsBGPicShownByDisplay(b)) return ERR_SHOWNBGPIC;
    if (!d->dirty.rects) {
        d->dirty.rects = (DirtyRect *)MemAlloc(DAMAGE_CAPACITY * sizeof(DirtyRect), 0);
        if (!d->dirty.rects) return ERR_NOMEM;
        d->dirty.capacity = DAMAGE_CAPACITY;
    }
    d->dirty.count = 0;
    d->outputBitMap = nullptr;
    d->outputMask = nullptr;
    d->outputAlpha = nullptr;
    SaveDisplayOutput(d, 1, b->width);
    CurrentPicture = b;
    d->outputType = OBJTYPE_BGPIC;
    return 0;
}

int EndSelect(lua_State *L)
{
    CheckArgs(L, 0, 0);
    DisplayRecord *d = CurrentDisplay;
    if (!d) return 0;
    if (d->doubleBuffer) return ERR_WRONGUSAGE;
    return SetBGPicOutput(L, d, 0);
}

// SelectMask and SelectAlphaChannel: id [, type = #BRUSH [, frame]].
static int SelectPlane(lua_State *L, uint32_t outputType)
{
    int n = lua_gettop(CheckArgs(L, 1, 3));
    ObjectId id = GetObjectIdArg(L, 1);
    uint32_t kind = (uint32_t)GetOptIntArg(L, 2, OBJTYPE_BRUSH);
    if (kind == OBJTYPE_ANIM && n < 3) return ERR_NOTENOUGHARGS;
    return SelectOutput(L, kind, id, outputType, GetOptIntArg(L, 3, 0), SELMODE_NORMAL);
}

int SelectBrush(lua_State *L)
{
    CheckArgs(L, 1, 2);
    ObjectId id = GetObjectIdArg(L, 1);
    return SelectOutput(L, OBJTYPE_BRUSH, id, OBJTYPE_BRUSH, 0, GetOptIntArg(L, 2, SELMODE_NORMAL));
}

int SelectMask(lua_State *L) { return SelectPlane(L, OBJTYPE_MASK); }

int SelectAlphaChannel(lua_State *L) { return SelectPlane(L, OBJTYPE_ALPHACHANNEL); }
