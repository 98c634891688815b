// The text library opened on a fresh interpreter state for the text tests, with helpers that
// lay out and render texts in the built-in font and show pictures as rows of '#' and '.'.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "text/font.h"
#include "text/text_layout.h"
#include "text/text_lib.h"

namespace textfix {

class TextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        L = lua_open();
        ASSERT_EQ(0, Run([](lua_State *L) {
            lua_pushvalue(L, LUA_GLOBALSINDEX);
            return OpenTextLib(L);
        }));
    }
    void TearDown() override
    {
        CloseTextLib(L);
        lua_close(L);
        FreeCommandTables();
    }
    // Runs body inside a protected call; its return value or the raised code comes back.
    int Run(std::function<int(lua_State *)> body)
    {
        struct Box {
            std::function<int(lua_State *)> *body;
            int result;
        } box = {&body, 0};
        int raised = lua_cpcall(L, [](lua_State *L) {
            Box *b = (Box *)lua_touserdata(L, 1);
            lua_settop(L, 0);
            b->result = (*b->body)(L);
            return 0;
        }, &box);
        return raised ? raised : box.result;
    }
    // A state for the text in the current settings.
    TextState State(const char *text, int32_t align = TEXTALIGN_LEFT, int32_t wrap = 0)
    {
        TextState st;
        InitTextState(&st, text, align, wrap, ENCODING_ISO8859_1);
        return st;
    }
    // The rendering of a text object for the state; the code on failure.
    int Render(TextState *st, RenderedTextImage *img, int noTags = 0)
    {
        return Run([&](lua_State *L) {
            return RenderFormattedText(L, nullptr, 0, st, TEXTKIND_TEXTOBJECT, noTags, nullptr, nullptr, 0, img);
        });
    }
    // An argument of Call: a number, a string or Nil.
    struct Arg {
        int kind;   // 0 number, 1 string, 2 nil
        double number;
        const char *text;
        Arg(double v) : kind(0), number(v), text(nullptr) {}
        Arg(int v) : kind(0), number(v), text(nullptr) {}
        Arg(const char *s) : kind(1), number(0), text(s) {}
        static Arg Nil() { Arg a(0.0); a.kind = 2; return a; }
    };
    // Calls a command handler with the arguments; its return value or the raised code. The first
    // result (a number, or a handle's address) goes to *result when given.
    int Call(int (*handler)(lua_State *), std::vector<Arg> args, double *result = nullptr, void **handle = nullptr)
    {
        return Run([&](lua_State *L) {
            for (const Arg &a : args) {
                if (a.kind == 0) lua_pushnumber(L, a.number);
                else if (a.kind == 1) lua_pushstring(L, a.text);
                else lua_pushnil(L);
            }
            int n = handler(L);
            if (n >= 1 && n < 1000) {
                if (result) *result = lua_tonumber(L, -n);
                if (handle) *handle = lua_touserdata(L, -n);
            }
            return n >= 1000 ? n : 0;
        });
    }
    lua_State *L = nullptr;
};

// Each row of the picture: '#' where the mask is set (or the alpha is not 0), '.' elsewhere.
inline std::vector<std::string> Rows(const RenderedTextImage &img)
{
    std::vector<std::string> rows;
    for (int32_t y = 0; y < img.height; y++) {
        std::string row;
        for (int32_t x = 0; x < img.fullWidth; x++) {
            int on = img.mask ? MaskRowBit(img.mask->pixels + (size_t)y * img.mask->bytesPerRow, x)
                              : img.alpha->pixels[(size_t)y * img.alpha->bytesPerRow + x] != 0;
            row += on ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

inline std::string Joined(const std::vector<std::string> &rows)
{
    std::string s;
    for (const std::string &r : rows) s += r + "\n";
    return s;
}

}  // namespace textfix
