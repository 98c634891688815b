// The graphics library's colour commands (channels, mixing, the random colour, palette pens),
// the picture probe IsPicture, frame pacing (VWait and the frame-rate limit) and the video
// recorder's clock, which this platform does not have.
#include <cstdlib>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "gfx/picload.h"
#include "platform/os.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

static const int RANDOM_COLOURS = 246, FPS_TAG = 16;

static uint32_t ColourArg(lua_State *L, int i) { return (uint32_t)luaL_checkinteger(L, i); }

static int PushWord(lua_State *L, uint32_t v)
{
    lua_pushnumber(L, (lua_Number)v);
    return 1;
}

int GfxRed(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return PushWord(L, ColourArg(L, 1) >> 16 & 0xFF);
}

int GfxGreen(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return PushWord(L, ColourArg(L, 1) >> 8 & 0xFF);
}

int GfxBlue(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return PushWord(L, ColourArg(L, 1) & 0xFF);
}

// The channels are not clamped: RGB(300, 0, 0) is 300 << 16.
int GfxRGB(lua_State *L)
{
    CheckArgs(L, 3, 3);
    int32_t r = luaL_checkinteger(L, 1), g = luaL_checkinteger(L, 2), b = luaL_checkinteger(L, 3);
    lua_pushnumber(L, (lua_Number)(int32_t)((uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b));
    return 1;
}

int GfxARGB(lua_State *L)
{
    CheckArgs(L, 2, 2);
    uint32_t a = ColourArg(L, 1), c = ColourArg(L, 2);
    return PushWord(L, a << 24 | c);
}

// Per channel c1 + (((c2 - c1) * level) >> 8), the shift arithmetic (rounding down).
static uint32_t MixChannels(uint32_t c1, uint32_t c2, int32_t level)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int32_t a = (int32_t)(c1 >> shift & 0xFF), b = (int32_t)(c2 >> shift & 0xFF);
        int32_t d = (b - a) * level;
        int32_t v = a + (d >= 0 ? d >> 8 : -((-d + 255) >> 8));
        out |= (uint32_t)(v & 0xFF) << shift;
    }
    return out;
}

// The level is 0..255 or a percentage of 255; a level outside that range is refused (a negative
// level would mix beyond the first colour).
int GfxMixRGB(lua_State *L)
{
    CheckArgs(L, 3, 3);
    uint32_t c1 = ColourArg(L, 1), c2 = ColourArg(L, 2);
    double level = GetNumberOrPercentArg(L, 3, 255, 0, nullptr);
    if (!(level >= 0 && level <= 255)) return 1055;
    return PushWord(L, MixChannels(c1, c2, (int32_t)level));
}

// Every bitmap of this platform holds 32-bit pixels, so every colour is kept as it is.
int GfxGetRealColor(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return PushWord(L, ColourArg(L, 1));
}

// 246 distinct 12-bit colours: the first twelve fixed, the others taken in a scattered order
// from the whole 12-bit range.
static const uint16_t FirstColours[12] = {0xCCC, 0x000, 0xFFF, 0x888, 0xA20, 0xD50,
                                          0xEB0, 0x080, 0x6B0, 0x170, 0x5BC, 0x367};

static const uint16_t *RandomColourTable(void)
{
    static uint16_t table[RANDOM_COLOURS];
    static bool built = false;
    if (built) return table;
    static bool used[4096];
    int n = 0;
    for (; n < 12; n++) {
        table[n] = FirstColours[n];
        used[FirstColours[n]] = true;
    }
    for (uint32_t k = 1; n < RANDOM_COLOURS; k++) {
        uint16_t v = (uint16_t)(k * 1237u % 4096u);   // 1237 is odd: a permutation of 0..4095
        if (used[v]) continue;
        used[v] = true;
        table[n++] = v;
    }
    built = true;
    return table;
}

// 0xRGB with each nibble times 17.
static uint32_t Widen12(uint16_t v)
{
    return (uint32_t)(v >> 8 & 15) * 17 << 16 | (uint32_t)(v >> 4 & 15) * 17 << 8 | (uint32_t)(v & 15) * 17;
}

int GfxGetRandomColor(lua_State *L)
{
    CheckArgs(L, 0, 0);
    int i = (int)(drand48() * RANDOM_COLOURS);
    if (i >= RANDOM_COLOURS) i = RANDOM_COLOURS - 1;
    return PushWord(L, Widen12(RandomColourTable()[i]));
}

int GfxGetPen(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int32_t n = luaL_checkinteger(L, 1);
    if (n < 0) n = 0;
    if (n > 255) n = 255;
    const BGPicNode *pic = CurrentPicture;
    if (!pic || !pic->palette) return PushWord(L, 0xFFFFFFFFu);
    return PushWord(L, pic->palette[n] & 0xFFFFFF);
}

int GfxIsPicture(lua_State *L)
{
    CheckArgs(L, 1, 1);
    const char *name = ResolveLinkedFileArg(L, 1, 0, nullptr);
    uint32_t *pixels = nullptr, *palette = nullptr;
    AlphaChannel *alpha = nullptr;
    int32_t w = 0, h = 0;
    int code = LoadImageFile(name, &palette, 0, 0, LOADALPHA_OPTIONAL, &pixels, &alpha, nullptr, nullptr, &w, &h);
    int hasAlpha = !code && alpha;
    MemFree(pixels);
    MemFree(palette);
    FreeAlphaChannel(alpha);
    lua_pushnumber(L, code ? 0 : 1);
    lua_newtable(L);
    SetFieldInt(L, "width", code ? 0 : w);
    SetFieldInt(L, "height", code ? 0 : h);
    SetFieldInt(L, "alpha", hasAlpha ? 1 : 0);
    return 2;
}

int GfxVWait(lua_State *L)
{
    CheckArgs(L, 0, 0);
    OsFlushDisplay(L, CurrentDisplay ? CurrentDisplay->window : nullptr);
    return 0;
}

int GfxSetFPSLimit(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int32_t fps = luaL_checkinteger(L, 1);
    OsSetTag(FPS_TAG, fps < 0 ? 0 : fps);
    return 0;
}

int GfxGetFPSLimit(lua_State *L)
{
    CheckArgs(L, 0, 0);
    int32_t v = 0;
    OsGetAttr(nullptr, FPS_TAG, &v, nullptr);
    lua_pushnumber(L, v);
    return 1;
}

// No video recorder exists on this platform.
int GfxDumpVideoTime(lua_State *L)
{
    CheckArgs(L, 0, 0);
    lua_pushnumber(L, -1);
    return 1;
}
