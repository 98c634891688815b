// The print cursor of each display and the commands that print and draw text onto the current
// output (with layers off: straight through SafeBlt).
#include "text/text_print.h"

#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/output_select.h"
#include "pictures/transform_record.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "display/layer.h"
#include "text/text_layers.h"
#include "text/text_layout.h"
#include "text/text_lib.h"
#include "runtime/vm/values.h"

static DisplayTabStops *TabStopList = nullptr;

DisplayTabStops *GetDisplayTabStops(const DisplayRecord *display, int create)
{
    // The id is compared too, so that a new display made where a freed one was starts empty.
    for (DisplayTabStops *t = TabStopList; t; t = t->next)
        if (t->display == display && t->id.number == display->id.number && t->id.handle == display->id.handle)
            return t;
    if (!create || !display) return nullptr;
    ForgetDisplayTabStops(display);
    DisplayTabStops *t = (DisplayTabStops *)MemAlloc(sizeof *t, 1);
    if (!t) return nullptr;
    t->display = display;
    t->id = display->id;
    t->next = TabStopList;
    TabStopList = t;
    return t;
}

void ForgetDisplayTabStops(const DisplayRecord *display)
{
    for (DisplayTabStops **p = &TabStopList; *p; p = &(*p)->next)
        if ((*p)->display == display) {
            DisplayTabStops *t = *p;
            *p = t->next;
            MemFree(t);
            return;
        }
}

void FreeAllDisplayTabStops(void)
{
    while (TabStopList) {
        DisplayTabStops *t = TabStopList;
        TabStopList = t->next;
        MemFree(t);
    }
}

// ---------------------------------------------------------------------------------------------
// Output

int AddTextImageLayer(lua_State *L, int kind, RenderedTextImage *img, int32_t x, int32_t y, const TextState *st,
                      const TransformRecord *transform)
{
    if (!CurrentPicture) return 1347;
    int32_t cornerX = kind == TEXTKIND_PRINT ? img->firstLineOffset + img->offsetX : img->offsetX;
    // The layer shows the text through the transform as it shows a brush; shown text follows
    // the display's layer scaling from the start.
    return AddTextImagesLayer(kind, nullptr, img, x, y, st, nullptr, cornerX, img->offsetY, transform, nullptr, -1,
                              ADDLAYER_SCALE, nullptr);
}

int BlitTextImage(const RenderedTextImage *img, int32_t x, int32_t y)
{
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *pic = CurrentPicture;
    if (!d || !pic || !img->bitmap) return 1347;
    // Off-screen the selected target is prepared first; a mask or alpha-channel selection has no
    // colour plane (none) and takes the text's shape through SafeBlt's output planes.
    BitMap *dst = nullptr;
    int flags = SAFEBLT_DISPLAYBITMAP;
    if (d->outputType != OBJTYPE_DISPLAY) {
        int code = GetOutputBitmap(d, &dst);
        if (code) return code;
        flags = 0;
    }
    SafeBlt(img->bitmap, 0, 0, dst, x, y, img->drawnWidth, img->height, img->fullWidth, img->height, pic->width,
            pic->height, flags, img->mask, img->alpha, pic->clipRegion);
    return 0;
}

void SetTextCursor(int32_t x, int32_t y)
{
    if (!CurrentDisplay) return;
    CurrentDisplay->cursorX = ClampCoord(x);
    CurrentDisplay->cursorY = ClampCoord(y);
}

// ---------------------------------------------------------------------------------------------
// Printing

void InitPrintState(TextState *st, const char *text)
{
    InitTextState(st, text, TEXTALIGN_LEFT, 0, GetDefaultEncoding());
    DisplayRecord *d = CurrentDisplay;
    st->x = POS_CENTER;
    if (!d) return;
    st->cursorX = d->cursorX;
    st->cursorY = d->cursorY;
    st->leftMargin = d->leftMargin;
    st->wrapWidth = d->rightMargin;
    const DisplayTabStops *t = GetDisplayTabStops(d, 0);
    if (t) {
        memcpy(st->tabStops, t->stops, sizeof st->tabStops);
        st->tabCount = t->count;
    }
}

int PrintAtCursor(lua_State *L, const char *text, int noTags)
{
    if (!CurrentDisplay) return 1347;
    TextState st;
    InitPrintState(&st, text);
    return RenderFormattedText(L, nullptr, 0, &st, TEXTKIND_PRINT, noTags, nullptr, nullptr, 0, nullptr);
}

// The arguments as texts joined by blanks (as "tostring" turns them into texts), LF appended
// when asked; left on the stack top.
static const char *JoinArguments(lua_State *L, int lineFeed)
{
    int n = lua_gettop(L);
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    for (int i = 1; i <= n; i++) {
        if (i > 1) luaL_addlstring(&b, " ", 1);
        lua_pushstring(L, "tostring");
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        const char *s = lua_tostring(L, -1);
        luaL_addstring(&b, s ? s : "");
        lua_pop(L, 1);
    }
    if (lineFeed) luaL_addlstring(&b, "\n", 1);
    luaL_pushresult(&b);
    return lua_tostring(L, -1);
}

// Print(value, ...)
int TxPrint(lua_State *L)
{
    CheckArgs(L, 1, 0);
    return PrintAtCursor(L, JoinArguments(L, 0), 0);
}

// NPrint(value, ...)
int TxNPrint(lua_State *L)
{
    CheckArgs(L, 1, 0);
    return PrintAtCursor(L, JoinArguments(L, 1), 0);
}

// ---------------------------------------------------------------------------------------------
// TextOut

// The buffer holds 32768 words; a table of WORDWRAP_TABLE_LIMIT entries or more is refused.
enum { WORDWRAP_TABLE_WORDS = 32768, WORDWRAP_TABLE_LIMIT = 32767 };
static int32_t *WordWrapBuffer = nullptr;

void FreeWordWrapBuffer(void)
{
    MemFree(WordWrapBuffer);
    WordWrapBuffer = nullptr;
}

// The "wordwraptable" array of the table at t: entries from index 0 up to the first missing one.
static int ReadWordWrapTable(lua_State *L, int t, int32_t **table, int32_t *count)
{
    lua_pushstring(L, "wordwraptable");
    lua_gettable(L, t);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        SetErrorString("wordwraptable");
        return 1140;
    }
    if (!WordWrapBuffer) {
        WordWrapBuffer = (int32_t *)MemAlloc(WORDWRAP_TABLE_WORDS * sizeof(int32_t), 1);
        if (!WordWrapBuffer) {
            lua_pop(L, 1);
            return 1000;
        }
    }
    int32_t n = 0;
    for (;; n++) {
        lua_pushnumber(L, n);
        lua_gettable(L, -2);
        int missing = lua_isnil(L, -1);
        if (!missing && n + 1 >= WORDWRAP_TABLE_LIMIT) {
            lua_pop(L, 2);
            return 1066;
        }
        if (!missing) WordWrapBuffer[n] = luaO_toint32(lua_tonumber(L, -1));
        lua_pop(L, 1);
        if (missing) break;
    }
    lua_pop(L, 1);
    *table = WordWrapBuffer;
    *count = n;
    return 0;
}

// TextOut(x, y, text [, table or align [, wordwrap]])
int TxTextOut(lua_State *L)
{
    CheckArgs(L, 3, 5);
    TextState st;
    int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
    InitTextState(&st, luaL_checkstring(L, 3), TEXTALIGN_LEFT, 0, GetDefaultEncoding());
    st.x = x;
    st.y = y;
    TransformRecord transform;
    int code = PrepareTransformedImage(L, 4, 0, 0, 0, 0, (st.settings.style & TEXTSTYLE_ANTIALIAS) != 0, &transform,
                                       nullptr, PTI_INIT | PTI_NOSIZE | PTI_NOROTATE);
    if (code) return code;
    if (lua_gettop(L) == 4 && lua_istable(L, 4)) {
        int align = TEXTALIGN_LEFT, wrap = 0, encoding = st.encoding;
        GetFieldInt(L, 4, "align", &align, nullptr);
        GetFieldInt(L, 4, "wordwrap", &wrap, nullptr);
        GetFieldInt(L, 4, "encoding", &encoding, nullptr);
        st.alignment = align;
        st.wrapWidth = wrap;
        st.encoding = encoding;
        if ((code = ReadWordWrapTable(L, 4, &st.wordBreaks, &st.wordBreakCount))) return code;
    } else {
        st.alignment = GetOptIntArg(L, 4, TEXTALIGN_LEFT);
        st.wrapWidth = GetOptIntArg(L, 5, 0);
    }
    if (st.wrapWidth < 0 || st.encoding < 0 || st.encoding > 1) return 1055;
    return RenderFormattedText(L, nullptr, 0, &st, TEXTKIND_TEXTOUT, 0, &transform, nullptr, 0, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Cursor, margins and tab stops

static DisplayRecord *NeedDisplay(void) { return CurrentDisplay; }

// Locate(x, y)
int TxLocate(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
    if (x == POS_LEFT || x == POS_RIGHT || x == POS_CENTER || y == POS_TOP || y == POS_BOTTOM || y == POS_CENTER)
        return 1337;
    DisplayRecord *d = NeedDisplay();
    if (!d) return 1347;
    d->cursorY = ClampCoord(y);   // the lines printed from there are placed below it
    d->cursorX = (x >= d->leftMargin && x <= d->rightMargin) ? x : d->leftMargin;
    return 0;
}

// SetMargins(left, right)
int TxSetMargins(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int32_t left = GetIntArg(L, 1), right = GetIntArg(L, 2);
    if (left >= right) return 1055;
    DisplayRecord *d = NeedDisplay();
    if (!d || !CurrentPicture) return 1347;
    if (left < 0) left = 0;
    if (right > CurrentPicture->width - 1) right = CurrentPicture->width - 1;
    // After clamping the margins must still enclose at least one pixel.
    if (left >= right) return 1055;
    d->leftMargin = left;
    d->rightMargin = right;
    d->cursorX = left;
    d->cursorY = 0;
    return 0;
}

// AddTab(pos, ...)
int TxAddTab(lua_State *L)
{
    CheckArgs(L, 1, 0);
    DisplayRecord *d = NeedDisplay();
    if (!d) return 1347;
    int n = lua_gettop(L);
    for (int i = 1; i <= n; i++) {
        int32_t pos = GetIntArg(L, i);
        DisplayTabStops *t = GetDisplayTabStops(d, 1);
        if (!t) return 1000;
        if (t->count >= TEXT_TAB_STOPS) return 1066;
        if (pos < 0) return 1154;
        int32_t k = t->count;
        while (k > 0 && t->stops[k - 1] > pos) {
            t->stops[k] = t->stops[k - 1];
            k--;
        }
        t->stops[k] = pos;
        t->count++;
    }
    return 0;
}

// ResetTabs()
int TxResetTabs(lua_State *L)
{
    CheckArgs(L, 0, 0);
    if (CurrentDisplay) ForgetDisplayTabStops(CurrentDisplay);
    return 0;
}
