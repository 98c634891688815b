// Mouse pointers: the pointer list (standard pointers and pointers made from a brush's image),
// the current pointer of each display, and the commands that create, set, free, show, hide and
// move the pointer. A pointer that a display still shows is only marked when it is freed or
// replaced, and goes at the next SetPointer.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/sprite.h"
#include "pictures/brush.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

PointerNode *PointerList = nullptr;

enum { OBJTYPE_POINTERKIND = 36, STANDARD_POINTER_SIZE = 16 };

int FindPointer(ObjectId id, PointerNode **out)
{
    for (PointerNode *p = PointerList; p; p = p->next)
        if (!p->pendingFree && ObjectIdMatches(p->id, id)) {
            *out = p;
            return 0;
        }
    *out = nullptr;
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1320;
}

int CountPointers(void)
{
    int n = 0;
    for (PointerNode *p = PointerList; p; p = p->next) n++;
    return n;
}

static int ShownByDisplay(const PointerNode *p)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next)
        if (d->pointer == p) return 1;
    return 0;
}

static void Unlink(PointerNode *p)
{
    for (PointerNode **link = &PointerList; *link; link = &(*link)->next)
        if (*link == p) {
            *link = p->next;
            break;
        }
    OsFreeCursor(p->cursor);
    MemFree(p);
}

// Frees the pointer, or only marks it while a display shows it.
static void ReleasePointer(PointerNode *p)
{
    if (ShownByDisplay(p)) {
        p->pendingFree = 1;
        p->id.number = 0;
        p->id.handle = p;
    } else {
        Unlink(p);
    }
}

static void FreeUnusedPendingPointers(void)
{
    PointerNode *p = PointerList;
    while (p) {
        PointerNode *next = p->next;
        if (p->pendingFree && !ShownByDisplay(p)) Unlink(p);
        p = next;
    }
}

void FreeAllPointers(void)
{
    while (PointerList) Unlink(PointerList);
}

int MakeImagePointer(PointerNode *p, const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha, int32_t width,
                     int32_t height, int32_t hotX, int32_t hotY)
{
    if (hotX < 0) hotX = width / 2;
    if (hotY < 0) hotY = height / 2;
    if (hotX > width - 1) hotX = width - 1;
    if (hotY > height - 1) hotY = height - 1;
    uint32_t *argb = MakeARGBImage(bitmap, width, height, mask, alpha, 0, 1);
    if (!argb) return 1000;
    p->cursor = OsCreateCursor(argb, hotX, hotY, width, height);
    MemFree(argb);
    if (!p->cursor) return 1321;
    p->width = width;
    p->height = height;
    p->kind = STDPTR_CUSTOM;
    return 0;
}

// CreatePointer(id, #BRUSH, brush [, hot x, hot y]).
static int CursorFromBrush(lua_State *L, PointerNode *p)
{
    BrushNode *brush;
    int code = GetBrushNode(GetObjectIdArg(L, 3), &brush, 0);
    if (code) return code;
    if (!brush->bitmap) return 1321;
    return MakeImagePointer(p, brush->bitmap, brush->mask, brush->alpha, brush->width, brush->height,
                            luaL_optinteger(L, 4, -1), luaL_optinteger(L, 5, -1));
}

int GfxCreatePointer(lua_State *L)
{
    CheckArgs(L, 3, 6);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int type = luaL_checkinteger(L, 2);
    if (!isNil) {
        PointerNode *old;
        if (FindPointer(ObjectId{number, nullptr}, &old) == 0) ReleasePointer(old);
    }
    // The pointer is made in a node of the stack: the arguments are read on the way, a bad one
    // raises, and nothing may be allocated by then.
    PointerNode made;
    memset(&made, 0, sizeof made);
    int code = 0;
    if (type == OBJTYPE_BRUSH) {
        code = CursorFromBrush(L, &made);
    } else if (type == OBJTYPE_POINTERKIND) {
        int kind = luaL_checkinteger(L, 3);
        if (kind != STDPTR_SYSTEM && kind != STDPTR_BUSY) code = 1055;
        made.kind = (uint32_t)kind;
        int32_t v = STANDARD_POINTER_SIZE;
        made.width = OsGetAttr(nullptr, 12, &v, nullptr) ? v : STANDARD_POINTER_SIZE;
        v = STANDARD_POINTER_SIZE;
        made.height = OsGetAttr(nullptr, 13, &v, nullptr) ? v : STANDARD_POINTER_SIZE;
    } else if (type == OBJTYPE_SPRITE) {
        code = CursorFromSprite(L, &made);
    } else {
        code = 1055;
    }
    PointerNode *p = code ? nullptr : (PointerNode *)MemAlloc(sizeof(PointerNode), 0);
    if (!p) {
        OsFreeCursor(made.cursor);
        return code ? code : 1000;
    }
    *p = made;
    p->id.number = isNil ? 0 : number;
    p->id.handle = isNil ? p : nullptr;
    PointerNode **link = &PointerList;
    while (*link) link = &(*link)->next;
    *link = p;
    if (!isNil) return 0;
    lua_pushlightuserdata(L, p);
    return 1;
}

void ApplyDisplayPointer(DisplayRecord *d)
{
    if (!d || !d->window) return;
    const PointerNode *p = d->pointer;
    OsSetCursor(d->window, p ? p->cursor : nullptr, p ? (int)p->kind : STDPTR_SYSTEM);
    if (d->pointerHidden) OsHideCursor(d->window);
}

int GfxSetPointer(lua_State *L)
{
    CheckArgs(L, 1, 1);
    PointerNode *p;
    int code = FindPointer(GetObjectIdArg(L, 1), &p);
    if (code) return code;
    DisplayRecord *d = CurrentDisplay;
    if (d) {
        d->pointer = p;
        d->pointerHidden = 0;
        if (d->state == DISPSTATE_OPEN) ApplyDisplayPointer(d);
    }
    FreeUnusedPendingPointers();
    return 0;
}

int GfxFreePointer(lua_State *L)
{
    CheckArgs(L, 1, 1);
    PointerNode *p;
    int code = FindPointer(GetObjectIdArg(L, 1), &p);
    if (code) return code;
    ReleasePointer(p);
    return 0;
}

int GfxShowPointer(lua_State *L)
{
    CheckArgs(L, 0, 1);
    DisplayRecord *d = CurrentDisplay;
    if (!d) return 0;
    d->pointerHidden = 0;
    if (d->state == DISPSTATE_OPEN) OsShowCursor(d->window);
    return 0;
}

int GfxHidePointer(lua_State *L)
{
    CheckArgs(L, 0, 0);
    DisplayRecord *d = CurrentDisplay;
    if (!d) return 0;
    d->pointerHidden = 1;
    if (d->state == DISPSTATE_OPEN) OsHideCursor(d->window);
    return 0;
}

// Position constants are resolved with the current pointer's size against the current picture
// (its active clip region or its size); the window gets the point at the display's scale.
int GfxMovePointer(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int32_t x = luaL_checkinteger(L, 1), y = luaL_checkinteger(L, 2);
    DisplayRecord *d = CurrentDisplay;
    if (!d) return 0;
    int32_t w = d->pointer ? d->pointer->width : STANDARD_POINTER_SIZE;
    int32_t h = d->pointer ? d->pointer->height : STANDARD_POINTER_SIZE;
    x = ResolveXPos(x, w, 0, 0);
    y = ResolveYPos(y, h, 0, 0);
    if (d->state == DISPSTATE_OPEN && d->window)
        OsWarpPointer(d->window, (int32_t)(x * d->scaleX), (int32_t)(y * d->scaleY));
    return 0;
}
