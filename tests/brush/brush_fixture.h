// Shared set-up of the brush tests: an interpreter with the display and brush libraries, a
// command caller with mixed arguments, small picture files written by the tests, and pixel
// access to brushes and display windows.
#pragma once
#include <gtest/gtest.h>

#include <SDL.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/bgpic.h"
#include "display/display.h"
#include "pictures/brush.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

// One argument of a command call: a number, a string, Nil, or a table of named numbers (a
// table value of four numbers is written with the key "transform").
struct Arg {
    enum Kind { NUM, STR, NIL, TABLE } kind;
    double num = 0;
    std::string str;
    std::vector<std::pair<std::string, double>> fields;
    std::vector<double> matrix;
    Arg(double n) : kind(NUM), num(n) {}
    Arg(int n) : kind(NUM), num(n) {}
    Arg(unsigned n) : kind(NUM), num(n) {}
    Arg(const char *s) : kind(STR), str(s) {}
    Arg(std::string s) : kind(STR), str(std::move(s)) {}
    Arg(std::nullptr_t) : kind(NIL) {}
    Arg(std::initializer_list<std::pair<std::string, double>> f) : kind(TABLE), fields(f) {}
    std::vector<double> list;
    std::vector<std::pair<std::string, std::string>> texts;
    // A table of named texts.
    static Arg Texts(std::vector<std::pair<std::string, std::string>> t)
    {
        Arg a(nullptr);
        a.kind = TABLE;
        a.texts = std::move(t);
        return a;
    }
    // A table of numbers at indexes 0, 1, ...
    static Arg List(std::vector<double> l)
    {
        Arg a(nullptr);
        a.kind = TABLE;
        a.list = std::move(l);
        return a;
    }
    static Arg Transform(std::vector<double> m)
    {
        Arg a(nullptr);
        a.kind = TABLE;
        a.matrix = std::move(m);
        return a;
    }
};

// Calls the command below its arguments and turns a returned error code into a raised one, so
// that one protected call sees both kinds.
inline int CallAndRaise(lua_State *L)
{
    int code = lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    if (code) lua_error(L, code);
    return lua_gettop(L);
}

struct BrushTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    std::vector<double> results;
    void *handle = nullptr;   // light userdata result of the last call, if any

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartAppletInterpreter(&L, &applet));
        SetRuntimeTags(L, RTAG_QUIET, 1, 0);
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenDisplayLib(L), 0);
        lua_settop(L, 0);
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenBrushLib(L), 0);
        lua_settop(L, 0);
    }
    void TearDown() override
    {
        SetBrushLayerLinks(nullptr);
        FreeAllBrushes(L);
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        lua_close(L);
        FreeRuntime();
    }

    void Push(const Arg &a)
    {
        switch (a.kind) {
        case Arg::NUM: lua_pushnumber(L, a.num); break;
        case Arg::STR: lua_pushstring(L, a.str.c_str()); break;
        case Arg::NIL: lua_pushnil(L); break;
        case Arg::TABLE:
            lua_newtable(L);
            for (auto &f : a.fields) {
                lua_pushstring(L, f.first.c_str());
                lua_pushnumber(L, f.second);
                lua_settable(L, -3);
            }
            for (auto &t : a.texts) SetFieldString(L, t.first.c_str(), t.second.c_str());
            for (size_t i = 0; i < a.list.size(); i++) {
                lua_pushnumber(L, a.list[i]);
                lua_rawseti(L, -2, (int)i);
            }
            if (!a.matrix.empty()) {
                lua_pushstring(L, "transform");
                lua_newtable(L);
                for (size_t i = 0; i < a.matrix.size(); i++) {
                    lua_pushnumber(L, a.matrix[i]);
                    lua_rawseti(L, -2, (int)i);
                }
                lua_settable(L, -3);
            }
            break;
        }
    }

    // Calls a command; returns 0 or its error code. Results land in `results` (numbers) and
    // `handle` (a light userdata).
    int Call(const char *name, std::initializer_list<Arg> args)
    {
        results.clear();
        handle = nullptr;
        lua_settop(L, 0);
        std::string lower(name);
        for (char &c : lower) c = (char)tolower((unsigned char)c);
        lua_pushcfunction(L, CallAndRaise);
        lua_pushstring(L, lower.c_str());
        lua_gettable(L, LUA_GLOBALSINDEX);
        for (const Arg &a : args) Push(a);
        int code = lua_pcall(L, (int)args.size() + 1, LUA_MULTRET, 0);
        if (!code)
            for (int i = 1; i <= lua_gettop(L); i++) {
                if (lua_islightuserdata(L, i)) handle = lua_touserdata(L, i);
                else if (lua_isnumber(L, i)) results.push_back(lua_tonumber(L, i));
            }
        lua_settop(L, 0);
        return code;
    }

    static BrushNode *Brush(uint32_t number)
    {
        BrushNode *b = nullptr;
        GetBrushNode({number, nullptr}, &b, 0);
        return b;
    }

    // A display of width x height filled with black, open and current.
    DisplayRecord *OpenDisplay(int width, int height)
    {
        lua_newtable(L);
        SetFieldInt(L, "width", width);
        SetFieldInt(L, "height", height);
        SetFieldInt(L, "color", 0);
        DisplayRecord *d = nullptr;
        EXPECT_EQ(CreateDisplayCore(L, 1, 0, lua_gettop(L), &d), 0);
        lua_settop(L, 0);
        if (!d) return nullptr;
        EXPECT_EQ(OpenWindowForDisplay(L, d, 1), 0);
        MakeDisplayCurrent(d);
        return d;
    }
};

// 0xRRGGBB of a brush pixel, or of its bitmap when it is visible through the mask (else -1).
inline uint32_t BrushPixel(const BrushNode *b, int x, int y) { return ReadBitMapPixel(b->bitmap, x, y, 0); }

// 0xRRGGBB of a window's surface pixel.
inline uint32_t WindowPixel(DisplayRecord *d, int x, int y)
{
    SDL_Surface *s = SDL_GetWindowSurface(d->window->window);
    if (!s || x < 0 || y < 0 || x >= s->w || y >= s->h) return 0xDEAD;
    uint32_t v = 0;
    memcpy(&v, (uint8_t *)s->pixels + y * s->pitch + x * s->format->BytesPerPixel, s->format->BytesPerPixel);
    uint8_t r, g, b;
    SDL_GetRGB(v, s->format, &r, &g, &b);
    return (uint32_t)r << 16 | g << 8 | b;
}

// A path in the build tree for a test's picture file.
inline std::string BrushTestPath(const std::string &name) { return std::string(KV_BINARY_DIR) + "/brush_" + name; }

// Writes a 24-bit BMP of width x height whose pixel (x, y) is colour(x, y).
template <typename F> void WriteBMP24(const std::string &path, int w, int h, F colour)
{
    int row = (w * 3 + 3) & ~3;
    std::vector<uint8_t> b(54 + (size_t)row * h, 0);
    auto le32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i)); };
    b[0] = 'B';
    b[1] = 'M';
    le32(2, (uint32_t)b.size());
    le32(10, 54);
    le32(14, 40);
    le32(18, (uint32_t)w);
    le32(22, (uint32_t)h);
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t c = colour(x, y);
            uint8_t *p = &b[54 + (size_t)(h - 1 - y) * row + x * 3];
            p[0] = (uint8_t)c;
            p[1] = (uint8_t)(c >> 8);
            p[2] = (uint8_t)(c >> 16);
        }
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);
}
