// The bgpic library: fourteen commands that create, load, show, scale, convert, copy and free
// BGPics and select them for off-screen drawing.
#include <cstring>

#include "display/bgpic.h"
#include "display/bgpic_commands.h"
#include "display/display.h"
#include "display/output_select.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "pictures/brush.h"
#include "pictures/display_object.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

enum {
    ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055, ERR_BADSIZE = 1218, ERR_SHOWNSIZE = 1366, ERR_SELECTED = 1378,
    ERR_VECTORBRUSH = 1391, ERR_VECTORBGPIC = 1392
};

int FreeOlderBGPic(lua_State *L, ObjectId id, int isNil)
{
    return isNil ? 0 : FreeBGPicObject(L, id, 0);
}

static uint32_t ColourArgAt(lua_State *L, int i) { return (uint32_t)luaL_numbertoword(luaL_checknumber(L, i)); }

// Width and height arguments at i and i + 1, defaulting to the current picture's size.
static void SizeArgs(lua_State *L, int i, int32_t *width, int32_t *height)
{
    *width = CurrentPicture ? CurrentPicture->width : 0;
    *height = CurrentPicture ? CurrentPicture->height : 0;
    if (!lua_isnoneornil(L, i)) *width = GetIntArg(L, i);
    if (!lua_isnoneornil(L, i + 1)) *height = GetIntArg(L, i + 1);
}

// A rendered BGPic of width x height drawn from the fill settings (which it then owns).
static int AddRenderedBGPic(ObjectId *id, int32_t width, int32_t height, BGPicFillSpec *fill)
{
    BitMap *bm;
    Mask *mask;
    AlphaChannel *alpha;
    int code = MakeBGPicImages(nullptr, fill, 0xFFFFFFFFu, width, height, width, &bm, &mask, &alpha);
    if (!code) code = AddBGPicNode(id, 1, width, height, width, nullptr, bm, nullptr, 0xFFFFFFFFu, mask, alpha, 0, fill);
    if (code) {
        FreeTriple(bm, mask, alpha);
        FreeBitMap(fill->texture);
    }
    return code;
}

static int DisplayBGPic(lua_State *L)
{
    CheckArgs(L, 1, 2);
    ObjectId id = GetObjectIdArg(L, 1);
    int x = KEEPPOSITION, y = KEEPPOSITION;
    if (!lua_isnone(L, 2)) {
        luaL_checktable(L, 2);
        GetFieldInt(L, 2, "x", &x, nullptr);
        GetFieldInt(L, 2, "y", &y, nullptr);
    }
    return DisplayBGPicCore(L, id, x, y, 0, nullptr, nullptr);
}

static int DisplayBGPicPart(lua_State *L)
{
    CheckArgs(L, 5, 8);
    ObjectId id = GetObjectIdArg(L, 1);
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3), w = GetIntArg(L, 4), h = GetIntArg(L, 5);
    int32_t dx = GetOptIntArg(L, 6, x), dy = GetOptIntArg(L, 7, y);
    int withLayers = 0, options = 0;
    if (lua_istable(L, 8)) {
        options = 8;
        lua_pushstring(L, "layers");
        lua_gettable(L, 8);
        withLayers = lua_toboolean(L, -1);
        lua_pop(L, 1);
    } else if (!lua_isnoneornil(L, 8)) {
        withLayers = GetIntArg(L, 8) != 0;
    }
    return DisplayObject(L, nullptr, nullptr, OBJTYPE_BGPICPART, id, 0, x, y, dx, dy, w, h, withLayers, options,
                         nullptr, nullptr, nullptr, nullptr, 0);
}

static int ScaleBGPic(lua_State *L)
{
    CheckArgs(L, 3, 4);
    ObjectId id = GetObjectIdArg(L, 1);
    if (IsBGPicOutputTarget(id)) return ERR_SELECTED;
    BGPicNode *b;
    int code = GetBGPicNode(id, &b, BGPIC_FORCHANGE);
    if (code) return code;
    if (IsBGPicShownByDisplay(b)) return ERR_SHOWNSIZE;
    int32_t w = GetSizeArg(L, 2, b->width);
    int32_t h = GetSizeArg(L, 3, b->height);
    int smooth = GetOptIntArg(L, 4, 0);
    if (w == KEEPASPRAT || h == KEEPASPRAT) {
        if ((code = ApplyKeepAspectRatio(b->width, b->height, &w, &h))) return code;
    }
    if (w < 1 || h < 1) return ERR_BADSIZE;
    return ResizeBGPicImages(b, w, h, smooth);
}

// CreateGradientBGPic and CreateRainbowBGPic.
static int CreateGradientBGPic(lua_State *L)
{
    CheckArgs(L, 4, 7);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    int type = GetIntArg(L, 2);
    BGPicFillSpec fill;
    memset(&fill, 0, sizeof fill);
    fill.kind = 2;
    fill.color1 = ColourArgAt(L, 3) & 0xFFFFFF;
    fill.color2 = ColourArgAt(L, 4) & 0xFFFFFF;
    int32_t w, h;
    SizeArgs(L, 5, &w, &h);
    fill.angle = type == 0 ? 0 : type == 1 ? 90 : GetOptIntArg(L, 7, 0);
    if (w < 1 || h < 1) return ERR_BADSIZE;
    int code = FreeOlderBGPic(L, id, isNil);
    if (!code) code = AddRenderedBGPic(&id, w, h, &fill);
    return code ? code : PushNewObjectHandle(L, isNil, id);
}

static int CreateTexturedBGPic(lua_State *L)
{
    CheckArgs(L, 2, 6);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    ObjectId brushId = GetObjectIdArg(L, 2);
    int32_t w, h;
    SizeArgs(L, 3, &w, &h);
    BGPicFillSpec fill;
    memset(&fill, 0, sizeof fill);
    fill.kind = 3;
    fill.textureBrush = brushId.number;
    fill.textureX = GetOptIntArg(L, 5, 0);
    fill.textureY = GetOptIntArg(L, 6, 0);
    if (w < 1 || h < 1) return ERR_BADSIZE;
    BrushNode *brush;
    int code = GetBrushNode(brushId, &brush, 0);
    if (code) return code;
    if (!brush->bitmap) return ERR_WRONGUSAGE;
    fill.textureWidth = brush->width;
    fill.textureHeight = brush->height;
    if (CutBitMapRegion(brush->bitmap, nullptr, nullptr, 0, 0, brush->width, brush->height, &fill.texture, nullptr,
                        nullptr))
        return ERR_NOMEM;
    code = FreeOlderBGPic(L, id, isNil);
    if (code) {
        FreeBitMap(fill.texture);
        return code;
    }
    code = AddRenderedBGPic(&id, w, h, &fill);
    return code ? code : PushNewObjectHandle(L, isNil, id);
}

static int BrushToBGPic(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId brushId = GetObjectIdArg(L, 1);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 2, &isNil);
    BrushNode *brush;
    int code = GetBrushNode(brushId, &brush, 0);
    if (code) return code;
    if (brush->type == BRUSHTYPE_VECTOR && brush->vectorTransformed) return ERR_VECTORBRUSH;
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    if (CutBitMapRegion(brush->bitmap, brush->mask, brush->alpha, 0, 0, brush->width, brush->height, &bm, &mask,
                        &alpha))
        return ERR_NOMEM;
    uint32_t key = brush->transparentColor < 0 ? 0xFFFFFFFFu : (uint32_t)brush->transparentColor;
    code = FreeOlderBGPic(L, id, isNil);
    if (!code)
        code = AddBGPicNode(&id, brush->type == BRUSHTYPE_VECTOR, brush->width, brush->height, brush->width, nullptr,
                            bm, nullptr, key, mask, alpha, 0, nullptr);
    if (code) {
        FreeTriple(bm, mask, alpha);
        return code;
    }
    return PushNewObjectHandle(L, isNil, id);
}

static int BGPicToBrush(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId id = GetObjectIdArg(L, 1);
    int isNil;
    ObjectId brushId = GetNewObjectIdArg(L, 2, &isNil);   // the same rule for the brush's id
    BGPicNode *b;
    int code = GetBGPicNode(id, &b, 0);
    if (code) return code;
    if (b->rendered && (b->width != b->sourceWidth || b->height != b->sourceHeight))
        return ERR_VECTORBGPIC;
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    if (CutBitMapRegion(b->bitmap, b->mask, b->alpha, 0, 0, b->width, b->height, &bm, &mask, &alpha)) return ERR_NOMEM;
    int32_t key = b->transparentColor == 0xFFFFFFFFu ? -1 : (int32_t)b->transparentColor;
    code = isNil ? 0 : FreeBrushObject(L, brushId, 0);
    if (!code)
        code = AddBrushNode(&brushId, b->vectorSource ? BRUSHTYPE_VECTOR : BRUSHTYPE_BITMAP, b->width, b->height,
                            b->width, 0, nullptr, bm, key, mask, alpha, nullptr);
    if (code) {
        FreeTriple(bm, mask, alpha);
        return code;
    }
    return PushNewObjectHandle(L, isNil, brushId);
}

static int CreateBGPic(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    int32_t w = GetIntArg(L, 2), h = GetIntArg(L, 3);
    uint32_t colour = lua_isnoneornil(L, 4) ? 0 : ColourArgAt(L, 4) & 0xFFFFFF;
    if (w < 1 || h < 1) return ERR_WRONGUSAGE;
    int code = FreeOlderBGPic(L, id, isNil);
    if (code) return code;
    BitMap *bm = AllocBitMap(w, h);
    if (!bm) return ERR_NOMEM;
    RectFillBitMap(bm, 0, 0, w, h, colour);
    code = AddBGPicNode(&id, 0, w, h, w, nullptr, bm, nullptr, 0xFFFFFFFFu, nullptr, nullptr, 0, nullptr);
    if (code) {
        FreeBitMap(bm);
        return code;
    }
    return PushNewObjectHandle(L, isNil, id);
}

static int FreeBGPic(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return FreeBGPicObject(L, GetObjectIdArg(L, 1), 1);
}

static int CopyBGPic(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId sourceId = GetObjectIdArg(L, 1);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 2, &isNil);
    BGPicNode *source;
    int code = GetBGPicNode(sourceId, &source, 0);
    if (code) return code;
    if (!isNil && !source->id.handle && source->id.number == id.number) return ERR_WRONGUSAGE;
    if ((code = FreeOlderBGPic(L, id, isNil))) return code;
    if ((code = CopyBGPicCore(source, &id))) return code;
    return PushNewObjectHandle(L, isNil, id);
}

static const luaL_reg BGPicCommands[] = {
    {"DisplayBGPic", DisplayBGPic},
    {"DisplayBGPicPart", DisplayBGPicPart},
    {"ScaleBGPic", ScaleBGPic},
    {"CreateGradientBGPic", CreateGradientBGPic},
    {"CreateRainbowBGPic", CreateGradientBGPic},
    {"CreateTexturedBGPic", CreateTexturedBGPic},
    {"BrushToBGPic", BrushToBGPic},
    {"BGPicToBrush", BGPicToBrush},
    {"CreateBGPic", CreateBGPic},
    {"FreeBGPic", FreeBGPic},
    {"LoadBGPic", LoadBGPic},
    {"SelectBGPic", SelectBGPic},
    {"EndSelect", EndSelect},
    {"CopyBGPic", CopyBGPic},
    {nullptr, nullptr}};

int OpenBGPicLib(lua_State *L)
{
    luaL_openlib(L, nullptr, BGPicCommands, 0);
    return RegisterCommandTable(BGPicCommands, "bgpic");
}
