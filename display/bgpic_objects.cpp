// BGPic lifetime: freeing (at once, or pending while a display or a layer still shows the
// BGPic), flushing the pending ones, the deep copy, the copy that layers keep when a BGPic they
// show is changed, and the texture brush of a fill setting.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "gfx/scale.h"
#include "pictures/brush.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000, ERR_LOCKED = 1314, ERR_SELECTED = 1378 };

void FreeBGPicContents(lua_State *L, BGPicNode *b, int flag)
{
    FreeBGPicLayers(L, b, flag);
    FreeOnScreenSprites(L, b);
    FreeBGPicButtons(b);
    FreeBGPicImages(b);
    MemFree(b->rawPixels);
    MemFree(b->palette);
    FreeBitMap(b->fill.texture);
    b->rawPixels = nullptr;
    b->palette = nullptr;
    b->fill.texture = nullptr;
}

int IsBGPicShownByDisplay(const BGPicNode *b)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next)
        if (d->bgpic == b) return 1;
    return 0;
}

// Whether a display still needs the BGPic: it shows it, or it is the display's own.
static int IsBGPicHeldByDisplay(const BGPicNode *b)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next)
        if (d->bgpic == b || d->ownBGPic == b) return 1;
    return 0;
}

int IsBGPicOutputTarget(ObjectId id)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d) return 0;
    if (d->outputType == OBJTYPE_BGPIC) return CurrentPicture && ObjectIdMatches(CurrentPicture->id, id);
    if (d->outputType != OBJTYPE_BRUSH && d->outputType != OBJTYPE_MASK && d->outputType != OBJTYPE_ALPHACHANNEL)
        return 0;
    const BGPicNode *sel = d->selection;
    return sel && !d->doubleBuffer && sel->selectionKind == OBJTYPE_BGPIC && ObjectIdMatches(sel->id, id);
}

int FreeBGPicObject(lua_State *L, ObjectId id, int strict)
{
    if (IsBGPicOutputTarget(id)) return ERR_SELECTED;
    BGPicNode *b;
    int code = GetBGPicNode(id, &b, BGPIC_FORCHANGE | BGPIC_NOCOPY);
    if (code) return (!strict && code != ERR_LOCKED) ? 0 : code;
    ObjectId own = {0, b};
    int rekeyed = RekeyLayersUsingObject(OBJTYPE_BGPIC, b->id, b);
    if (rekeyed || IsBGPicHeldByDisplay(b)) {
        // Hidden from lookups; its number is free at once. FlushPendingBGPics frees it once
        // nothing shows it any more.
        b->id = own;
        b->pendingFree = 1;
        return 0;
    }
    FreeBGPicNode(b);
    return 0;
}

void ReleaseBGPic(BGPicNode *b)
{
    RekeyLayersUsingObject(OBJTYPE_BGPIC, b->id, b);
    b->id = {0, b};
    b->pendingFree = 1;
}

// A pending BGPic that nothing uses any more: no display shows it or owns it, no layer shows
// it, and no transition holds it.
static BGPicNode *UnusedPendingBGPic(void)
{
    for (BGPicNode *b = BGPicList; b; b = b->next)
        if (b->pendingFree && !b->locked && !IsBGPicHeldByDisplay(b) &&
            !IsObjectUsedByLayers(OBJTYPE_BGPIC, b->id, nullptr))
            return b;
    return nullptr;
}

void FlushPendingBGPics(void)
{
    // Freeing a BGPic frees its layers, which may let go of other pending BGPics and flush
    // again from inside. The inner call only asks the outer one to look again; the outer one
    // keeps no place in the list across a free, and starts from the head each time.
    static int flushing = 0, again = 0;
    if (flushing) {
        again = 1;
        return;
    }
    flushing = 1;
    do {
        again = 0;
        while (BGPicNode *b = UnusedPendingBGPic()) {
            for (BGPicNode **p = &BGPicList; *p; p = &(*p)->next)
                if (*p == b) {
                    *p = b->next;
                    break;
                }
            if (CurrentPicture == b) CurrentPicture = nullptr;
            FreeBGPicContents(nullptr, b, 1);
            MemFree(b);
        }
    } while (again);
    flushing = 0;
}

void FreeAllBGPics(lua_State *L)
{
    while (BGPicList) {
        BGPicNode *b = BGPicList;
        BGPicList = b->next;
        if (CurrentPicture == b) CurrentPicture = nullptr;
        FreeBGPicContents(L, b, 1);
        MemFree(b);
    }
}

int CountBGPics(void)
{
    int n = 0;
    for (BGPicNode *b = BGPicList; b; b = b->next)
        if (!b->pendingFree) n++;
    return n;
}

// A full copy of one image set (those planes it has); 0 or 1000 with nothing made.
static int CopySet(const BitMap *bm, const Mask *mask, const AlphaChannel *alpha, int32_t w, int32_t h,
                   BitMap **obm, Mask **omask, AlphaChannel **oalpha)
{
    *obm = nullptr;
    if (omask) *omask = nullptr;
    if (oalpha) *oalpha = nullptr;
    if (!bm && !mask && !alpha) return 0;
    int code = CutBitMapRegion(bm, mask, alpha, 0, 0, w, h, obm, omask, oalpha);
    return code ? ERR_NOMEM : 0;
}

int CopyBGPicCore(const BGPicNode *s, ObjectId *newId)
{
    uint32_t *palette = nullptr;
    BitMap *sb = nullptr, *pb = nullptr, *hb = nullptr, *texture = nullptr;
    Mask *sm = nullptr, *pm = nullptr, *hm = nullptr;
    AlphaChannel *sa = nullptr, *pa = nullptr, *ha = nullptr;
    int pictureCopied = s->bitmap != s->sourceBitMap;
    int shownCopied = s->shownBitMap != s->bitmap && s->shownBitMap != s->sourceBitMap;
    int code = 0;
    if (s->palette) {
        palette = (uint32_t *)MemAlloc(256 * sizeof(uint32_t), 0);
        if (!palette) code = ERR_NOMEM;
        else memcpy(palette, s->palette, 256 * sizeof(uint32_t));
    }
    if (!code) code = CopySet(s->sourceBitMap, s->sourceMask, s->sourceAlpha, s->sourceWidth, s->sourceHeight, &sb, &sm, &sa);
    if (!code && pictureCopied) code = CopySet(s->bitmap, s->mask, s->alpha, s->width, s->height, &pb, &pm, &pa);
    if (!code && shownCopied)
        code = CopySet(s->shownBitMap, s->shownMask, s->shownAlpha, s->shownWidth, s->shownHeight, &hb, &hm, &ha);
    if (!code && s->fill.texture)
        code = CopySet(s->fill.texture, nullptr, nullptr, s->fill.texture->width, s->fill.texture->height, &texture,
                       nullptr, nullptr);
    BGPicFillSpec fill = s->fill;
    fill.texture = texture;
    BGPicNode *copy = nullptr;
    if (!code) {
        code = AddBGPicNode(newId, s->rendered, s->sourceWidth, s->sourceHeight, s->sourceWidth, nullptr, sb, palette,
                            s->transparentColor, sm, sa, s->vectorSource, &fill);
        if (!code) {
            for (copy = BGPicList; copy->next; copy = copy->next) {}
        }
    }
    if (code) {
        MemFree(palette);
        FreeTriple(sb, sm, sa);
        FreeTriple(pb, pm, pa);
        FreeTriple(hb, hm, ha);
        FreeBitMap(texture);
        return code;
    }
    if (pictureCopied) {
        copy->bitmap = pb;
        copy->mask = pm;
        copy->alpha = pa;
        copy->width = s->width;
        copy->height = s->height;
        if (!shownCopied) {
            copy->shownBitMap = pb;
            copy->shownMask = pm;
            copy->shownAlpha = pa;
            copy->shownWidth = s->width;
            copy->shownHeight = s->height;
        }
    }
    if (shownCopied) {
        copy->shownBitMap = hb;
        copy->shownMask = hm;
        copy->shownAlpha = ha;
        copy->shownWidth = s->shownWidth;
        copy->shownHeight = s->shownHeight;
    }
    return 0;
}

// The copy function of ForEachLayerUsingObject: a pending-free copy for the layers.
static int CopyForLayers(void *userdata, ObjectId *newId)
{
    BGPicNode *b = (BGPicNode *)userdata;
    int code = CopyBGPicCore(b, newId);
    if (code) return code;
    BGPicNode *copy;
    if (GetBGPicNode(*newId, &copy, 0) == 0) copy->pendingFree = 1;
    return 0;
}

int DetachBGPicFromLayers(lua_State *L, BGPicNode *b)
{
    if (!IsObjectUsedByLayers(OBJTYPE_BGPIC, b->id, nullptr)) return 0;
    void *handle = nullptr;
    return ForEachLayerUsingObject(OBJTYPE_BGPIC, b->id, CopyForLayers, b, &handle);
}

int GetTextureBrush(uint32_t brush, const BitMap **bitmap, int32_t *width, int32_t *height)
{
    BrushNode *node;
    ObjectId id = {brush, nullptr};
    int code = GetBrushNode(id, &node, 0);
    if (code) return code;
    *bitmap = node->bitmap;
    *width = node->width;
    *height = node->height;
    return 0;
}
