// Clip regions: the region list, lookup, the rectangle cut at the picture's top-left edge, freeing
// (deferred while layers clip with a region) and the three script commands.
#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "pictures/brush.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

ClipRegionNode *ClipRegionList = nullptr;

static ClipRegionLayerLinks LayerLinks = {nullptr, nullptr};

void SetClipRegionLayerLinks(const ClipRegionLayerLinks *links)
{
    LayerLinks = links ? *links : ClipRegionLayerLinks{nullptr, nullptr};
}

static int ShownByLayer(const ClipRegionNode *r) { return LayerLinks.isShown && LayerLinks.isShown(r); }

int FindClipRegion(ObjectId id, ClipRegionNode **out, int flags)
{
    *out = nullptr;
    for (ClipRegionNode *r = ClipRegionList; r; r = r->next) {
        if (r->pendingFree && !(flags & FINDCLIP_PENDING)) continue;
        if (!ObjectIdMatches(r->id, id)) continue;
        if ((flags & FINDCLIP_FORCHANGE) && r->locked) return 1314;
        *out = r;
        return 0;
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1215;
}

int CountClipRegions(void)
{
    int n = 0;
    for (ClipRegionNode *r = ClipRegionList; r; r = r->next) n++;
    return n;
}

static void ForgetOnPicture(BGPicNode *pic, const ClipRegionNode *r)
{
    if (pic && pic->clipRegion == r) pic->clipRegion = nullptr;
}

// No picture keeps the region as its active one: every BGPic, every display's selection and
// double-buffer records, and the current picture.
static void ForgetOnAllPictures(const ClipRegionNode *r)
{
    for (BGPicNode *b = BGPicList; b; b = b->next) ForgetOnPicture(b, r);
    for (DisplayRecord *d = DisplayList; d; d = d->next) {
        ForgetOnPicture(d->bgpic, r);
        ForgetOnPicture(d->selection, r);
        ForgetOnPicture(d->doubleBufferPicture, r);
    }
    ForgetOnPicture(CurrentPicture, r);
}

static void UnlinkAndFree(ClipRegionNode *r)
{
    for (ClipRegionNode **link = &ClipRegionList; *link; link = &(*link)->next)
        if (*link == r) {
            *link = r->next;
            break;
        }
    FreeMask(r->mask);
    MemFree(r);
}

int FreeClipRegionCore(lua_State *L, ObjectId id, int report)
{
    ClipRegionNode *r;
    int code = FindClipRegion(id, &r, 0);
    if (code) return report ? code : 0;
    ForgetOnAllPictures(r);
    ReleaseSpriteClipRegion(r);
    if (ShownByLayer(r)) {
        r->pendingFree = 1;
        r->id.number = 0;
        r->id.handle = r;
    } else {
        UnlinkAndFree(r);
    }
    return 0;
}

void FlushClipRegions(void)
{
    ClipRegionNode *r = ClipRegionList;
    while (r) {
        ClipRegionNode *next = r->next;
        if (r->pendingFree && !ShownByLayer(r)) UnlinkAndFree(r);
        r = next;
    }
}

void FreeAllClipRegions(void)
{
    while (ClipRegionList) {
        ClipRegionNode *r = ClipRegionList;
        if (LayerLinks.forget) LayerLinks.forget(r);
        ForgetOnAllPictures(r);
        ReleaseSpriteClipRegion(r);
        UnlinkAndFree(r);
    }
}

int ClipRegionRect(int32_t *x, int32_t *y, int32_t *width, int32_t *height, Mask **mask, int copy, int freeOld)
{
    // No picture reaches beyond kCoordLimit, so the region ends there at the latest and its
    // right and bottom edges can be worked out in 32 bits afterwards.
    const int32_t x0 = *x, y0 = *y;
    if (!ClipRectToArea(x, y, width, height, kCoordLimit, kCoordLimit)) return 1055;
    const int32_t offX = (int32_t)((int64_t)*x - x0), offY = (int32_t)((int64_t)*y - y0);
    if (!mask || !*mask || (!copy && !offX && !offY)) return 0;
    Mask *cut = AllocMask(nullptr, *width, *height, 1);
    if (!cut) return 1000;
    BltMaskToMask(*mask, offX, offY, cut, 0, 0, *width, *height, MASKVANILLACOPY);
    if (freeOld) FreeMask(*mask);
    *mask = cut;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Commands

// CreateClipRegion(id, #BOX, x, y, width, height) or (id, #SHAPE, brush, x, y).
int GfxCreateClipRegion(lua_State *L)
{
    CheckArgs(L, 2, 6);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int type = luaL_checkinteger(L, 2);
    if (!isNil) FreeClipRegionCore(L, ObjectId{number, nullptr}, 0);
    int32_t x, y, w, h;
    const Mask *shape = nullptr;
    if (type == OBJTYPE_BOX) {
        x = luaL_checkinteger(L, 3);
        y = luaL_checkinteger(L, 4);
        w = luaL_checkinteger(L, 5);
        h = luaL_checkinteger(L, 6);
        if (w < 1 || h < 1) return 1055;
    } else if (type == OBJTYPE_SHAPE) {
        BrushNode *brush;
        int code = GetBrushNode(GetObjectIdArg(L, 3), &brush, 0);
        if (code) return code;
        if (!brush->mask) return 1172;
        shape = brush->mask;
        w = brush->width;
        h = brush->height;
        x = luaL_checkinteger(L, 4);
        y = luaL_checkinteger(L, 5);
    } else {
        return 1055;
    }
    x = ResolveXPos(x, w, 0, 0);
    y = ResolveYPos(y, h, 0, 0);
    if ((int64_t)x + w < 1 || (int64_t)y + h < 1) return 1055;
    Mask *mask = const_cast<Mask *>(shape);
    int code = ClipRegionRect(&x, &y, &w, &h, shape ? &mask : nullptr, 1, 0);
    if (code) return code;
    ClipRegionNode *r = (ClipRegionNode *)MemAlloc(sizeof(ClipRegionNode), 1);
    if (!r) {
        if (shape) FreeMask(mask);
        return 1000;
    }
    r->id.number = isNil ? 0 : number;
    r->id.handle = isNil ? r : nullptr;
    r->x = x;
    r->y = y;
    r->width = w;
    r->height = h;
    r->mask = shape ? mask : nullptr;
    r->maskBytesPerRow = shape ? mask->bytesPerRow : 0;
    ClipRegionNode **link = &ClipRegionList;
    while (*link) link = &(*link)->next;
    *link = r;
    if (!isNil) return 0;
    lua_pushlightuserdata(L, r);
    return 1;
}

static void SetCursorBlock(DisplayRecord *d, int32_t x, int32_t y, int32_t left, int32_t right)
{
    if (!d) return;
    d->cursorX = x;
    d->cursorY = y;
    d->leftMargin = left;
    d->rightMargin = right;
}

// SetClipRegion(id) makes the region the current picture's active one; #NONE removes it.
int GfxSetClipRegion(lua_State *L)
{
    CheckArgs(L, 1, 1);
    ObjectId id = GetObjectIdArg(L, 1);
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *pic = CurrentPicture;
    if (d && (d->outputType == OBJTYPE_MASK || d->outputType == OBJTYPE_ALPHACHANNEL)) return 1055;
    if (!pic) return 1055;
    if (!id.handle && (id.number == 0 || id.number == 0xFFFFFFFFu)) {
        pic->clipRegion = nullptr;
        SetCursorBlock(d, 0, 0, 0, pic->width - 1);
        return 0;
    }
    ClipRegionNode *r;
    int code = FindClipRegion(id, &r, 0);
    if (code) return code;
    if ((int64_t)r->x + r->width > pic->width || (int64_t)r->y + r->height > pic->height) return 1225;
    pic->clipRegion = r;
    SetCursorBlock(d, r->x, 0, r->x, r->x + r->width - 1);
    return 0;
}

int GfxFreeClipRegion(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return FreeClipRegionCore(L, GetObjectIdArg(L, 1), 1);
}
