// Texts with format tags from untrusted bytes, laid out and rendered in the built-in font: the
// first byte chooses the alignment, wrap width and kind (printed text with tab stops or a text
// object); the rest is the text.
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "text/text_layout.h"
#include "text/text_lib.h"

static lua_State *L = nullptr;

static int Open(lua_State *L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    return OpenTextLib(L);
}

struct Job {
    TextState *st;
    int kind;
};

static int Layout(lua_State *L)
{
    Job *job = (Job *)lua_touserdata(L, 1);
    RenderedTextImage img;
    memset(&img, 0, sizeof img);
    int code = RenderFormattedText(L, nullptr, 0, job->st, TEXTKIND_TEXTOBJECT, 0, nullptr, nullptr,
                                   job->kind == TEXTKIND_PRINT ? TEXTRENDER_KEEPTABLES : 0, &img);
    if (!code) FreeRenderedTextImage(&img);
    // A second layout follows the recorded tables.
    if (!code && job->st->wordBreaks) {
        code = RenderFormattedText(L, nullptr, 0, job->st, TEXTKIND_TEXTOBJECT, 0, nullptr, nullptr, 0, &img);
        if (!code) FreeRenderedTextImage(&img);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 4096) return 0;
    if (!L) {
        L = lua_open();
        lua_cpcall(L, Open, nullptr);
    }
    std::string text((const char *)data + 1, size - 1);
    text = text.c_str();        // up to the first NUL
    static const int32_t aligns[4] = {TEXTALIGN_LEFT, TEXTALIGN_CENTER, TEXTALIGN_RIGHT, TEXTALIGN_LEFT};
    TextState st;
    InitTextState(&st, text.c_str(), aligns[data[0] & 3], (data[0] >> 2 & 3) * 24, data[0] >> 4 & 1);
    int kind = data[0] & 0x20 ? TEXTKIND_PRINT : TEXTKIND_TEXTOBJECT;
    if (kind == TEXTKIND_PRINT) {
        st.leftMargin = 3;
        st.wrapWidth += 60;
        st.cursorX = 20;
        st.tabCount = data[0] >> 6;
        for (int i = 0; i < st.tabCount; i++) st.tabStops[i] = 10 + 17 * i;
    }
    Job job = {&st, kind};
    lua_cpcall(L, Layout, &job);
    // The tables the layout kept belong to the state.
    MemFree(st.wordBreaks);
    MemFree(st.tabResults);
    return 0;
}
