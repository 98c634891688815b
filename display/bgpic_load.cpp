// LoadBGPic: a picture file becomes a BGPic (with a key-colour mask or its alpha channel, and a
// palette). While the declared objects are created the pixels stay raw until the first display
// opens.
#include <cstring>

#include "display/bgpic.h"
#include "display/bgpic_commands.h"
#include "gfx/picload.h"
#include "gfx/scale.h"
#include "pictures/transform_record.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

enum { ERR_NOMEM = 1000, ERR_MASKANDALPHA = 1223 };

// The palette given as a table of colours: from index 0 until -1 or 256 entries. None when the
// table holds no colour at 0.
static uint32_t *PaletteFromTable(lua_State *L, int t)
{
    uint32_t *palette = (uint32_t *)MemAlloc(256 * sizeof(uint32_t), 1);
    if (!palette) return nullptr;
    int n = 0;
    for (; n < 256; n++) {
        lua_pushnumber(L, n);
        lua_gettable(L, t);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            break;
        }
        uint32_t colour = (uint32_t)luaL_numbertoword(luaL_checknumber(L, -1));
        lua_pop(L, 1);
        if (colour == 0xFFFFFFFFu) break;
        palette[n] = colour & 0xFFFFFF;
    }
    if (n == 0) {
        MemFree(palette);
        return nullptr;
    }
    return palette;
}

// A transparent colour as the BGPic keeps it: 0xRRGGBB, or 0xFFFFFFFF (-1) for none.
static uint32_t KeyColour(uint32_t colour) { return colour == 0xFFFFFFFFu ? colour : colour & 0xFFFFFF; }

int LoadBGPicCore(ObjectId *id, const char *name, uint32_t transparent, int loadAlpha, uint32_t *givenPalette)
{
    uint32_t *pixels = nullptr, *palette = nullptr;
    AlphaChannel *alpha = nullptr;
    int32_t width = 0, height = 0, key = -1;
    int code = LoadImageFile(name, &palette, 0, 0, loadAlpha ? LOADALPHA_REQUIRE : LOADALPHA_NONE, &pixels, &alpha,
                             nullptr, &key, &width, &height);
    if (code) {
        MemFree(givenPalette);
        return code;
    }
    // The script's palette stands before the file's colour table; the pixels never change.
    if (givenPalette) {
        MemFree(palette);
        palette = givenPalette;
    }
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *none = nullptr;
    if (!RuntimeSettings.preproc) {
        code = MakeBGPicImages(pixels, nullptr, transparent, width, height, width, &bm, &mask, &none);
        MemFree(pixels);
        pixels = nullptr;
    }
    if (!code)
        code = AddBGPicNode(id, 0, width, height, width, pixels, bm, palette, transparent, mask, alpha, 0, nullptr);
    if (code) {
        MemFree(pixels);
        MemFree(palette);
        FreeTriple(bm, mask, alpha);
    }
    return code;
}

int LoadBGPic(lua_State *L)
{
    int n = lua_gettop(CheckArgs(L, 2, 4));
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    const char *name = ResolveLinkedFileArg(L, 2, 0, nullptr);
    uint32_t transparent = 0xFFFFFFFFu;
    int loadAlpha = 0;
    if (lua_istable(L, 3)) {
        uint32_t colour;
        if (GetFieldUInt32(L, 3, "transparency", &colour, nullptr)) transparent = KeyColour(colour);
        GetFieldSwitch(L, 3, "loadalpha", &loadAlpha);
    } else if (!lua_isnoneornil(L, 3)) {
        transparent = KeyColour((uint32_t)luaL_numbertoword(luaL_checknumber(L, 3)));
    }
    if (loadAlpha && transparent != 0xFFFFFFFFu) return ERR_MASKANDALPHA;
    uint32_t *palette = nullptr;
    if (n == 4) {
        luaL_checktable(L, 4);
        palette = PaletteFromTable(L, 4);
    }
    int code = FreeOlderBGPic(L, id, isNil);
    if (code) {
        MemFree(palette);
        return code;
    }
    PrintVerbose(GetErrorString(MSG_LOADING_BGPIC), name, 1);
    code = LoadBGPicCore(&id, name, transparent, loadAlpha, palette);
    if (code) {
        PrintVerboseFailed();
        return code;
    }
    PrintVerboseDone();
    return PushNewObjectHandle(L, isNil, id);
}
