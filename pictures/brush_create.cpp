// The brush commands that make brushes: CreateBrush, LoadBrush, CopyBrush, ConvertToBrush,
// GetBrushLink and GrabDesktop.
#include <cstdlib>
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/kernels.h"
#include "gfx/picload.h"
#include "gfx/scale.h"
#include "pictures/brush_commands.h"
#include "pictures/display_object.h"
#include "pictures/cached_picture.h"
#include "pictures/transform_record.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"

enum {
    ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055, ERR_NEGATIVE = 1154, ERR_OUTOFRANGE = 1217, ERR_BADSIZE = 1218,
    ERR_MASKANDALPHA = 1223
};

uint32_t ColourArg(lua_State *L, int i) { return (uint32_t)luaL_numbertoword(luaL_checknumber(L, i)); }

// The id a creating command gives its brush (a handle asks for an automatic one); a numbered
// brush of that number is freed first.
static int ClaimBrushId(lua_State *L, uint32_t number, int isNil, ObjectId *id)
{
    *id = isNil ? ObjectId{0, (void *)1} : ObjectId{number, nullptr};
    return isNil ? 0 : FreeBrushObject(L, *id, 0);
}

int CreateBrushObject(ObjectId *id, int32_t width, int32_t height, uint32_t colour, int withMask, int withAlpha,
                      int clear)
{
    if (width < 1 || height < 1) return ERR_BADSIZE;
    BitMap *bm = AllocBitMap(width, height);
    Mask *mask = withMask ? AllocMask(bm, width, height, 1) : nullptr;
    AlphaChannel *alpha = withAlpha ? AllocAlphaChannel(width, height, 1) : nullptr;
    if (!bm || (withMask && !mask) || (withAlpha && !alpha)) {
        FreeTriple(bm, mask, alpha);
        return ERR_NOMEM;
    }
    RectFillBitMap(bm, 0, 0, width, height, colour & 0xFFFFFF);
    if (mask && !clear) FillMaskRect(mask, 0, 0, width, height, MASKVISIBLE);
    if (alpha && !clear) FillAlphaChannelRect(alpha, 0, 0, width, height, 255);
    int32_t key = mask ? BRUSH_TRANSPARENT_CREATED : -1;
    if (AddBrushNode(id, BRUSHTYPE_BITMAP, width, height, width, 0, nullptr, bm, key, mask, alpha, nullptr)) {
        FreeTriple(bm, mask, alpha);
        return ERR_NOMEM;
    }
    return 0;
}

int CreateBrush(lua_State *L)
{
    CheckArgs(L, 3, 5);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int32_t width = GetIntArg(L, 2), height = GetIntArg(L, 3);
    uint32_t colour = lua_isnoneornil(L, 4) ? 0 : ColourArg(L, 4);
    int withMask = 0, withAlpha = 0, clear = 0;
    if (!lua_isnone(L, 5)) {
        luaL_checktable(L, 5);
        GetFieldSwitch(L, 5, "mask", &withMask);
        GetFieldSwitch(L, 5, "alphachannel", &withAlpha);
        GetFieldSwitch(L, 5, "clear", &clear);
    }
    if (width < 1 || height < 1) return ERR_BADSIZE;
    if (withMask && withAlpha) return ERR_WRONGUSAGE;
    ObjectId id;
    int code = ClaimBrushId(L, number, isNil, &id);
    if (!code) code = CreateBrushObject(&id, width, height, colour, withMask, withAlpha, clear);
    return code ? code : PushNewObjectHandle(L, isNil, id);
}

// ---------------------------------------------------------------------------------------------
// LoadBrush

struct LoadBrushOptions {
    int32_t transparent;           // -1 none
    int loadAlpha;
    int32_t globalAlpha;           // -1 none
    int32_t x, y, width, height;   // cut rectangle; 0 width/height = the picture's
    char *cache, *cachedLoad;
    int cacheAlpha;
};

// The forms of LoadBrush: a table or a transparent colour third; with five arguments a colour
// and two numbers that have no effect; with four the third and fourth are not read.
static void ReadLoadBrushOptions(lua_State *L, LoadBrushOptions *o)
{
    int n = lua_gettop(L);
    if (n == 5) {
        o->transparent = (int32_t)ColourArg(L, 3);
        luaL_checknumber(L, 4);
        luaL_checknumber(L, 5);
        return;
    }
    if (n != 3) return;
    if (!lua_istable(L, 3)) {
        o->transparent = (int32_t)ColourArg(L, 3);
        return;
    }
    uint32_t colour;
    if (GetFieldUInt32(L, 3, "transparency", &colour, nullptr)) o->transparent = (int32_t)colour;
    GetFieldSwitch(L, 3, "loadalpha", &o->loadAlpha);
    GetFieldInt(L, 3, "globalalpha", &o->globalAlpha, nullptr);
    GetFieldInt(L, 3, "x", &o->x, nullptr);
    GetFieldInt(L, 3, "y", &o->y, nullptr);
    GetFieldInt(L, 3, "width", &o->width, nullptr);
    GetFieldInt(L, 3, "height", &o->height, nullptr);
    size_t len;
    GetFieldFileName(L, 3, "cache", 0, nullptr, &o->cache, &len, nullptr);
    GetFieldFileName(L, 3, "cachedload", 0, nullptr, &o->cachedLoad, &len, nullptr);
    GetFieldSwitch(L, 3, "cachealpha", &o->cacheAlpha);
}

// Step 5: the cut rectangle copied out of the words and the alpha channel.
static int CutPicture(const LoadBrushOptions *o, uint32_t **pixels, AlphaChannel **alpha, int32_t *width,
                      int32_t *height)
{
    int32_t w = o->width ? o->width : *width, h = o->height ? o->height : *height;
    if (o->x < 0 || o->y < 0) return ERR_NEGATIVE;
    if (o->x >= *width || o->y >= *height) return ERR_OUTOFRANGE;
    if (w > *width - o->x) w = *width - o->x;
    if (h > *height - o->y) h = *height - o->y;
    if (o->x == 0 && o->y == 0 && w == *width && h == *height) return 0;
    uint32_t *cut = (uint32_t *)MemAlloc((size_t)w * h * 4, 0);
    AlphaChannel *cutAlpha = *alpha ? AllocAlphaChannel(w, h, 0) : nullptr;
    if (!cut || (*alpha && !cutAlpha)) {
        MemFree(cut);
        FreeAlphaChannel(cutAlpha);
        return ERR_NOMEM;
    }
    for (int32_t j = 0; j < h; j++) {
        memcpy(cut + (size_t)j * w, *pixels + (size_t)(o->y + j) * *width + o->x, (size_t)w * 4);
        if (cutAlpha)
            memcpy(cutAlpha->pixels + (size_t)j * cutAlpha->bytesPerRow,
                   (*alpha)->pixels + (size_t)(o->y + j) * (*alpha)->bytesPerRow + o->x, (size_t)w);
    }
    MemFree(*pixels);
    FreeAlphaChannel(*alpha);
    *pixels = cut;
    *alpha = cutAlpha;
    *width = w;
    *height = h;
    return 0;
}

// Step 6: an existing alpha channel scaled by level / 255, else one filled with the level.
static int ApplyGlobalAlpha(int32_t level, AlphaChannel **alpha, int32_t width, int32_t height)
{
    level = level < 0 ? 0 : level > 255 ? 255 : level;
    if (*alpha) {
        ScaleAlpha((*alpha)->pixels, (*alpha)->pixels, level, (*alpha)->bytesPerRow, height);
        return 0;
    }
    *alpha = AllocAlphaChannel(width, height, 0);
    if (!*alpha) return ERR_NOMEM;
    FillAlphaChannelRect(*alpha, 0, 0, width, height, (uint8_t)level);
    return 0;
}

// A brush holds a mask or an alpha channel, never both: with an alpha channel the pixels of the
// key colour become fully transparent in it instead.
static void KeyIntoAlpha(const uint32_t *pixels, int32_t key, AlphaChannel *alpha, int32_t width, int32_t height)
{
    for (int32_t j = 0; j < height; j++)
        for (int32_t i = 0; i < width; i++)
            if (((pixels[(size_t)j * width + i] ^ (uint32_t)key) & 0xFFFFFF) == 0)
                alpha->pixels[(size_t)j * alpha->bytesPerRow + i] = 0;
}

static int LoadBrushCore(ObjectId *id, const char *name, LoadBrushOptions *o)
{
    if (o->transparent != -1 && (o->loadAlpha || o->globalAlpha != -1)) return ERR_MASKANDALPHA;
    if (o->width < 0 || o->height < 0) return ERR_BADSIZE;
    uint32_t *pixels = nullptr;
    AlphaChannel *alpha = nullptr;
    int32_t key, width, height;
    int code = LoadCachedPicture(name, o->loadAlpha, o->cache, o->cachedLoad, o->cacheAlpha, &pixels,
                                 &alpha, &key, &width, &height);
    if (!code) code = CutPicture(o, &pixels, &alpha, &width, &height);
    if (!code && o->globalAlpha != -1) code = ApplyGlobalAlpha(o->globalAlpha, &alpha, width, height);
    if (code) {
        MemFree(pixels);
        FreeAlphaChannel(alpha);
        return code;
    }
    int32_t transparent = key != -1 ? key : o->transparent;
    if (alpha && transparent != -1) {
        KeyIntoAlpha(pixels, transparent, alpha, width, height);
        transparent = -1;
    }
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    if (!RuntimeSettings.preproc) {
        code = BitMapFromARGB(pixels, transparent, width, height, width, &bm, &mask);
        MemFree(pixels);
        pixels = nullptr;
        if (code) {
            FreeAlphaChannel(alpha);
            return code;
        }
    }
    if (AddBrushNode(id, BRUSHTYPE_BITMAP, width, height, width, 0, pixels, bm, transparent, mask, alpha, nullptr)) {
        MemFree(pixels);
        FreeTriple(bm, mask, alpha);
        return ERR_NOMEM;
    }
    return 0;
}

int LoadBrush(lua_State *L)
{
    CheckArgs(L, 2, 5);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    luaL_checkstring(L, 2);
    LoadBrushOptions o;
    memset(&o, 0, sizeof o);
    o.transparent = -1;
    o.globalAlpha = -1;
    ReadLoadBrushOptions(L, &o);
    // A file linked into the applet is found by its name.
    const char *name = ResolveLinkedFileArg(L, 2, 0, nullptr);
    PrintVerbose(GetErrorString(MSG_LOADING_BRUSH), name, 1);
    ObjectId id;
    int code = ClaimBrushId(L, number, isNil, &id);
    if (!code) code = LoadBrushCore(&id, name, &o);
    MemFree(o.cache);
    MemFree(o.cachedLoad);
    if (code) {
        PrintVerboseFailed();
        return code;
    }
    PrintVerboseDone();
    return PushNewObjectHandle(L, isNil, id);
}

// ---------------------------------------------------------------------------------------------
// Copies

// A new brush from copies of the planes (those given), appended under *id.
static int AddBrushCopy(ObjectId *id, const BitMap *bm, const Mask *mask, const AlphaChannel *alpha, int32_t width,
                        int32_t height, int32_t transparent, uint32_t type, uint32_t vectorTransformed,
                        void *vectorData)
{
    BitMap *cb = nullptr;
    Mask *cm = nullptr;
    AlphaChannel *ca = nullptr;
    if (!bm && type == BRUSHTYPE_BITMAP) return ERR_WRONGUSAGE;
    if (bm) {
        int code = CutBitMapRegion(bm, mask, alpha, 0, 0, width, height, &cb, &cm, &ca);
        if (code) return code;
    }
    if (AddBrushNode(id, type, width, height, width, vectorTransformed, nullptr, cb, transparent, cm, ca, vectorData)) {
        FreeTriple(cb, cm, ca);
        return ERR_NOMEM;
    }
    return 0;
}

int CopyBrush(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId src = GetObjectIdArg(L, 1);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 2, &isNil);
    BrushNode *b;
    int code = GetBrushNode(src, &b, 0);
    if (code) return code;
    if (!isNil && !src.handle && src.number == number) return ERR_WRONGUSAGE;
    ObjectId id;
    if ((code = ClaimBrushId(L, number, isNil, &id))) return code;
    code = AddBrushCopy(&id, b->bitmap, b->mask, b->alpha, b->width, b->height, b->transparentColor, b->type,
                        b->vectorTransformed, b->vectorData);
    return code ? code : PushNewObjectHandle(L, isNil, id);
}

// ConvertToBrush and GetBrushLink: a new, independent brush from another object's picture.
static int ConvertCore(lua_State *L, int type, ObjectId source, int brushArg, int32_t frame)
{
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, brushArg, &isNil);
    if (type == OBJTYPE_BRUSH && !isNil && !source.handle && source.number == number) return ERR_WRONGUSAGE;
    ObjectId id;
    int code;
    if (type == OBJTYPE_BRUSH) {
        BrushNode *b;
        if ((code = GetBrushNode(source, &b, 0))) return code;
        if ((code = ClaimBrushId(L, number, isNil, &id))) return code;
        code = AddBrushCopy(&id, b->bitmap, b->mask, b->alpha, b->width, b->height, b->transparentColor,
                            BRUSHTYPE_BITMAP, 0, nullptr);
    } else if (type == OBJTYPE_BGPIC) {
        BGPicNode *bg;
        if ((code = GetBGPicNode(source, &bg, 0))) return code;
        if ((code = ClaimBrushId(L, number, isNil, &id))) return code;
        int32_t key = bg->transparentColor == 0xFFFFFFFFu ? -1 : (int32_t)(bg->transparentColor & 0xFFFFFF);
        code = AddBrushCopy(&id, bg->bitmap, bg->mask, bg->alpha, bg->width, bg->height, key, BRUSHTYPE_BITMAP, 0,
                            nullptr);
    } else if (type == OBJTYPE_ANIM || type == PICSOURCE_TEXTOBJECT || type == OBJTYPE_LAYER ||
               type == PICSOURCE_SPRITE) {
        BitMap *bm;
        Mask *mask;
        AlphaChannel *alpha;
        int32_t w = 0, h = 0;
        int owned;
        if ((code = GetObjectPicture(L, type, source, frame - 1, &bm, &mask, &alpha, &w, &h, &owned))) return code;
        int32_t key = (type == OBJTYPE_LAYER && mask) ? 0x123456 : -1;
        code = ClaimBrushId(L, number, isNil, &id);
        if (!code) code = AddBrushCopy(&id, bm, mask, alpha, w, h, key, BRUSHTYPE_BITMAP, 0, nullptr);
        if (owned) FreeTriple(bm, mask, alpha);
    } else {
        return ERR_WRONGUSAGE;
    }
    return code ? code : PushNewObjectHandle(L, isNil, id);
}

// The source object's id; a layer may also be named by its name (a name no layer has is layer
// 0, which is out of range).
static ObjectId SourceArg(lua_State *L, int type, int i)
{
    if (type != OBJTYPE_LAYER || lua_type(L, i) != LUA_TSTRING) return GetObjectIdArg(L, i);
    int n = LayerNameLookup ? LayerNameLookup(L, lua_tostring(L, i)) : 0;
    ObjectId id = {n > 0 ? (uint32_t)n : 0u, nullptr};
    return id;
}

int ConvertToBrush(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int type = GetIntArg(L, 1);
    ObjectId source = SourceArg(L, type, 2);
    return ConvertCore(L, type, source, 3, GetOptIntArg(L, 4, 1));
}

int GetBrushLink(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int type = GetIntArg(L, 2);
    ObjectId source = SourceArg(L, type, 3);
    return ConvertCore(L, type, source, 1, GetOptIntArg(L, 4, 1));
}

int GrabDesktop(lua_State *L)
{
    CheckArgs(L, 1, 2);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int32_t sw = 0, sh = 0;
    OsGetAttr(nullptr, 14, &sw, nullptr);
    OsGetAttr(nullptr, 15, &sh, nullptr);
    int32_t x = 0, y = 0, w = sw, h = sh;
    if (!lua_isnone(L, 2)) {
        luaL_checktable(L, 2);
        GetFieldInt(L, 2, "x", &x, nullptr);
        GetFieldInt(L, 2, "y", &y, nullptr);
        GetFieldInt(L, 2, "width", &w, nullptr);
        GetFieldInt(L, 2, "height", &h, nullptr);
        if (x < 0 || y < 0) return ERR_WRONGUSAGE;
        if (w > sw - x) w = sw - x;
        if (h > sh - y) h = sh - y;
        if (w < 1 || h < 1) return ERR_WRONGUSAGE;
    }
    ObjectId id;
    int code = ClaimBrushId(L, number, isNil, &id);
    if (code) return code;
    int32_t gw = 0, gh = 0;
    uint32_t *pixels = OsGrabScreen(x, y, w, h, &gw, &gh);
    if (!pixels) return ERR_NOMEM;
    BitMap *bm = nullptr;
    code = BitMapFromARGB(pixels, -1, gw, gh, gw, &bm, nullptr);
    free(pixels);
    if (code) return code;
    if (AddBrushNode(&id, BRUSHTYPE_BITMAP, gw, gh, gw, 0, nullptr, bm, -1, nullptr, nullptr, nullptr)) {
        FreeBitMap(bm);
        return ERR_NOMEM;
    }
    return PushNewObjectHandle(L, isNil, id);
}
