// GetAttribute: one provider per object type answers the attributes of its objects. This file
// holds the command, the provider table and the providers of the display side (displays,
// BGPics, clip regions, pointers); attributes_objects.cpp those of the other libraries.
#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "platform/os.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "text/font.h"
#include "text/text_lib.h"

enum { ATTR_TYPES = 46, ERR_WRONGUSAGE = 1055, ERR_UNKNOWNATTR = 1080 };

static AttributeProvider Providers[ATTR_TYPES];

void SetAttributeProvider(int type, AttributeProvider provider)
{
    if (type >= 0 && type < ATTR_TYPES) Providers[type] = provider;
}

void PushObjectIdResult(lua_State *L, const ObjectId *id)
{
    if (!id) lua_pushnumber(L, -1);
    else if (id->handle) lua_pushlightuserdata(L, id->handle);
    else lua_pushnumber(L, id->number);
}

static int PushInt(lua_State *L, double v)
{
    lua_pushnumber(L, v);
    return 1;
}

int GfxGetAttribute(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int type = luaL_checkinteger(L, 1);
    int attribute = luaL_checkinteger(L, 3);
    if (type < 0 || type >= ATTR_TYPES || !Providers[type]) return ERR_WRONGUSAGE;
    return Providers[type](L, attribute);
}

static int CountLayerNodes(const BGPicNode *b)
{
    int n = 0;
    if (!b || !b->layers.first) return 0;
    for (const ListNode *l = b->layers.first; l->succ; l = l->succ) n++;
    return n;
}

// ---------------------------------------------------------------------------------------------
// #DISPLAY

// Three results: what drawing goes to.
static int PushOutputDevice(lua_State *L, const DisplayRecord *d)
{
    const BGPicNode *pic = (d == CurrentDisplay && CurrentPicture) ? CurrentPicture : d->bgpic;
    ObjectId none = {0, nullptr};
    const ObjectId *picId = pic ? &pic->id : &none;
    if (d->doubleBuffer) {
        lua_pushnumber(L, OBJTYPE_DOUBLEBUFFER);
        lua_pushnumber(L, 0);
    } else if (d->outputType == OBJTYPE_DISPLAY) {
        lua_pushnumber(L, OBJTYPE_DISPLAY);
        PushObjectIdResult(L, &d->id);
    } else if (d->outputType == OBJTYPE_BGPIC) {
        lua_pushnumber(L, OBJTYPE_BGPIC);
        PushObjectIdResult(L, picId);
        lua_pushnumber(L, 0);
        return 3;
    } else {
        lua_pushnumber(L, d->selection ? d->selection->selectionKind : d->outputType);
        PushObjectIdResult(L, picId);
        lua_pushnumber(L, d->outputType);
        return 3;
    }
    lua_pushnumber(L, 0);
    return 3;
}

static int32_t ScreenAttr(int attribute)
{
    int32_t v = 0;
    OsGetAttr(nullptr, attribute, &v, nullptr);
    return v;
}

static int FlagAttr(lua_State *L, const DisplayRecord *d, uint32_t flag) { return PushInt(L, (d->flags & flag) ? 1 : 0); }

static int DisplayAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountDisplays());
    ObjectId id = GetObjectIdArg(L, 2);
    DisplayRecord *d = CurrentDisplay;
    if (id.handle || id.number) {
        int code = FindDisplay(id, &d);
        if (code) return code;
    } else if (!d) {
        return ERR_WRONGUSAGE;
    }
    const BGPicNode *b = d->bgpic;
    switch (attribute) {
    case 0: return PushInt(L, b ? b->width : d->width);
    case 1: return PushInt(L, b ? b->height : d->height);
    case 2: return PushInt(L, ScreenAttr(14) - d->borderWidth);
    case 3: return PushInt(L, ScreenAttr(15) - d->borderHeight);
    case 4: PushObjectIdResult(L, b ? &b->id : nullptr); return 1;
    case 6: return PushInt(L, CountLayerNodes(b));
    case 7: return PushInt(L, d->x);
    case 8: return PushInt(L, d->y);
    case 21: return PushInt(L, d->cursorX);
    case 22: return PushInt(L, d->cursorY);
    case 24: return PushInt(L, d->borderLeft);
    case 25: return PushInt(L, d->borderTop);
    case 26: return PushInt(L, d->borderWidth - d->borderLeft);
    case 27: return PushInt(L, d->borderHeight - d->borderTop);
    case 28: return PushInt(L, ScreenAttr(14));
    case 29: return PushInt(L, ScreenAttr(15));
    case 30: case 31: case 32: case 33: case 34: case 35: {
        const FontHandle *font = GetCurrentFont();
        return font && PushFontHandleAttribute(L, font, attribute) == 1 ? 1 : ERR_UNKNOWNATTR;
    }
    case 38: PushObjectIdResult(L, d->pointer ? &d->pointer->id : nullptr); return 1;
    case 40: return PushInt(L, d->state);
    case 41: return PushInt(L, d->activate);
    case 42:
    case 43: return PushInt(L, d->autoScale ? SCALEMODE_AUTO : d->layerScale ? SCALEMODE_LAYER : SCALEMODE_NONE);
    case 44: return PushInt(L, d->scaleWidth ? d->scaleWidth : d->width);
    case 45: return PushInt(L, d->scaleHeight ? d->scaleHeight : d->height);
    case 46: return FlagAttr(L, d, DISPF_BORDERLESS);
    case 47: return FlagAttr(L, d, DISPF_FIXED);
    case 48: return FlagAttr(L, d, DISPF_SIZEABLE);
    case 49: return FlagAttr(L, d, DISPF_NOHIDE);
    case 50: return FlagAttr(L, d, DISPF_NOMODESWITCH);
    case 51: lua_pushstring(L, d->title); return 1;
    case 52: return PushInt(L, d->leftMargin);
    case 53: return PushInt(L, d->rightMargin);
    case 54: return PushOutputDevice(L, d);
    case 55: return PushInt(L, (d->doubleBuffer || d->bufferedPresentation) ? 1 : 0);
    case 56: return PushInt(L, ScreenAttr(5));
    case 61: return FlagAttr(L, d, DISPF_NOCLOSE);
    case 63: return PushInt(L, GraphicsMaskMode);
    case 64: return PushInt(L, GraphicsAlphaIntensity);
    }
    return ERR_UNKNOWNATTR;
}

// ---------------------------------------------------------------------------------------------
// #BGPIC, #CLIPREGION, #POINTER

static int BGPicAttribute(lua_State *L, int attribute)
{
    // BGPics freed while still in use are hidden from the script: they are not counted.
    if (attribute == ATTR_COUNT) return PushInt(L, CountBGPics());
    BGPicNode *b;
    int code = GetBGPicNode(GetObjectIdArg(L, 2), &b, 0);
    if (code) return code;
    switch (attribute) {
    case 0: return PushInt(L, b->width);
    case 1: return PushInt(L, b->height);
    case 5: return PushInt(L, (int32_t)b->transparentColor);
    case 6: return PushInt(L, CountLayerNodes(b));
    case 9: return PushInt(L, b->vectorSource ? 1 : 0);
    case 16: return PushInt(L, b->mask ? 1 : 0);
    case 17: return PushInt(L, b->alpha ? 1 : 0);
    case 39: {
        const ClipRegionNode *r = CurrentPicture ? CurrentPicture->clipRegion : nullptr;
        PushObjectIdResult(L, r ? &r->id : nullptr);
        return 1;
    }
    }
    return ERR_UNKNOWNATTR;
}

static int ClipRegionAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountClipRegions());
    ClipRegionNode *r;
    int code = FindClipRegion(GetObjectIdArg(L, 2), &r, 0);
    if (code) return code;
    switch (attribute) {
    case 0: return PushInt(L, r->width);
    case 1: return PushInt(L, r->height);
    case 7: return PushInt(L, r->x);
    case 8: return PushInt(L, r->y);
    }
    return ERR_UNKNOWNATTR;
}

static int PointerAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountPointers());
    PointerNode *p;
    int code = FindPointer(GetObjectIdArg(L, 2), &p);
    if (code) return code;
    switch (attribute) {
    case 0: return PushInt(L, p->width);
    case 1: return PushInt(L, p->height);
    case 9: return PushInt(L, p->kind);
    }
    return ERR_UNKNOWNATTR;
}

void RegisterObjectAttributeProviders(void);
void RegisterLayerAttributeProvider(void);

void RegisterAttributeProviders(void)
{
    SetAttributeProvider(OBJTYPE_DISPLAY, DisplayAttribute);
    SetAttributeProvider(OBJTYPE_BGPIC, BGPicAttribute);
    SetAttributeProvider(OBJTYPE_CLIPREGION, ClipRegionAttribute);
    SetAttributeProvider(OBJTYPE_POINTER, PointerAttribute);
    RegisterObjectAttributeProviders();
    RegisterLayerAttributeProvider();
}
