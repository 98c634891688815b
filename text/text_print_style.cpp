// The text library's font settings and measuring commands.
#include <cstring>

#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "text/font.h"
#include "text/text_layout.h"
#include "text/text_lib.h"
#include "text/text_print.h"

// SetFont(name, size [, table])
int TxSetFont(lua_State *L)
{
    CheckArgs(L, 2, 3);
    FontHandle *font;
    int code = OpenFontArgs(L, 1, &font);
    if (code) return code;
    FontSettings *s = GetFontSettings();
    s->font = font;
    s->style = TEXTSTYLE_NORMAL;
    return 0;
}

// SetFontColor(colour)
int TxSetFontColor(lua_State *L)
{
    CheckArgs(L, 1, 1);
    GetFontSettings()->colour = (uint32_t)luaL_checkinteger(L, 1);
    return 0;
}

// SetFontStyle(style [, colour [, size [, direction]]])
int TxSetFontStyle(lua_State *L)
{
    CheckArgs(L, 1, 4);
    int n = lua_gettop(L);
    int32_t style = GetIntArg(L, 1);
    FontSettings *s = GetFontSettings();
    if (style & TEXTSTYLE_NORMAL) {
        s->style = TEXTSTYLE_NORMAL;
        return 0;
    }
    if (style != TEXTSTYLE_SHADOW && style != TEXTSTYLE_EDGE && n > 1) return 1193;
    // Every argument is read before the settings change: a bad one raises and leaves them as
    // they were (sizes unchecked by the clamp below among them).
    uint32_t colour = n >= 2 ? (uint32_t)luaL_checkinteger(L, 2) : 0;
    int32_t size = n >= 3 ? GetIntArg(L, 3) : 0;
    int32_t direction = n >= 4 && style == TEXTSTYLE_SHADOW ? GetIntArg(L, 4) : 0;
    if (style == TEXTSTYLE_SHADOW) {
        if (n >= 2) s->shadowColour = colour;
        if (n >= 3) s->shadowSize = size;
        if (n >= 4) s->shadowDirection = direction;
    } else if (style == TEXTSTYLE_EDGE) {
        if (n >= 2) s->edgeColour = colour;
        if (n >= 3) s->edgeSize = size;
    }
    s->style |= style;
    ClampTextSettings(s);
    return 0;
}

// SetDefaultEncoding(encoding)
int TxSetDefaultEncoding(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int32_t e = GetIntArg(L, 1);
    if (e < 0 || e > 1) return 1055;
    SetDefaultEncoding(e);
    return 0;
}

// TextHeight(text): the current font's line height.
int TxTextHeight(lua_State *L)
{
    CheckArgs(L, 1, 1);
    luaL_checkstring(L, 1);
    FontHandle *font = GetCurrentFont() ? GetCurrentFont() : GetBuiltinFont();
    lua_pushnumber(L, font ? font->lineHeight : 0);
    return 1;
}

// Measures argument 1 in the current settings (no tags interpreted); encoding at argument 2.
static int MeasureArg(lua_State *L, TextMetrics *m)
{
    size_t length;
    const char *text = luaL_checklstring(L, 1, &length);
    int32_t encoding = GetOptIntArg(L, 2, GetDefaultEncoding());
    if (encoding < 0 || encoding > 1) return 1055;
    memset(m, 0, sizeof *m);
    if (!length) return 0;
    return MeasureStyledText(text, (int32_t)length, encoding, m, GetFontSettings());
}

// TextWidth(text [, encoding])
int TxTextWidth(lua_State *L)
{
    CheckArgs(L, 1, 2);
    TextMetrics m;
    int code = MeasureArg(L, &m);
    if (code) return code;
    lua_pushnumber(L, m.advance);
    return 1;
}

// TextExtent(text [, encoding])
int TxTextExtent(lua_State *L)
{
    CheckArgs(L, 1, 2);
    TextMetrics m;
    int code = MeasureArg(L, &m);
    if (code) return code;
    int empty = m.lineHeight == 0;
    lua_newtable(L);
    SetFieldInt(L, "minx", empty ? 0 : m.inkLeft + m.leftExtension);
    SetFieldInt(L, "maxx", empty ? 0 : m.inkRight + m.rightExtension);
    SetFieldInt(L, "miny", empty ? 0 : m.inkTop + m.topExtension);
    SetFieldInt(L, "maxy", empty ? 0 : m.inkBottom + m.bottomExtension);
    SetFieldInt(L, "width", m.advance);
    SetFieldInt(L, "height", m.lineHeight);
    return 1;
}
