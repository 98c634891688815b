// Text layers changed through their style: the text keys read in their order with their
// errors, the text laid out anew in the layer's place (the text stays where it was unless a
// position or, for printed text, a cursor is given), and the keys read back.
#include "display/layer_text.h"

#include <climits>
#include <cstring>

#include "display/display.h"
#include "display/layer.h"
#include "gfx/bitmap.h"
#include "gfx/scale.h"
#include "pictures/transform_record.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/vm/auxlib.h"
#include "text/font.h"
#include "text/text_layout.h"
#include "text/text_lib.h"
#include "text/text_objects.h"
#include "text/text_print.h"

enum { ERR_NOMEM = 1000, ERR_NOTENOUGH = 1014, ERR_USAGE = 1055, ERR_LIMIT = 1066, ERR_NUMBER = 1189,
       ERR_CONSTANT = 1337 };

// Margins, cursor and tab stops are kept within this many pixels of 0: far beyond any picture,
// and small enough that laying out and scaling them stays within 32 bits.
constexpr int32_t TEXT_COORD_LIMIT = 1 << 24;
// Tab stops a style table may give.
enum { STYLE_TAB_STOPS = 31 };

int IsTextLayerKind(int32_t type) { return type == LAYERTYPE_TEXTOUT || type == LAYERTYPE_PRINT; }

static int32_t ClampTextCoord(int32_t v)
{
    return v < -TEXT_COORD_LIMIT ? -TEXT_COORD_LIMIT : v > TEXT_COORD_LIMIT ? TEXT_COORD_LIMIT : v;
}

static int HasKey(lua_State *L, int t, const char *key)
{
    lua_pushstring(L, key);
    lua_gettable(L, t);
    int present = !lua_isnil(L, -1);
    lua_pop(L, 1);
    return present;
}

// The starting point: the layer's own text, else a new text in the current font settings (for
// #PRINT at the display's cursor, within its margins and tab stops).
static void StartContent(const kvLayer *l, int32_t type, TextContent *c)
{
    TextState *st = &c->state;
    const TextState *old = IsTextLayerKind(l->type) ? l->sourceState->text : nullptr;
    if (!old) {
        if (type == LAYERTYPE_PRINT) InitPrintState(st, "");
        else InitTextState(st, "", TEXTALIGN_LEFT, 0, GetDefaultEncoding());
        c->cursorGiven = type == LAYERTYPE_PRINT;
        return;
    }
    *st = *old;
    memset(st->images, 0, sizeof st->images);
    st->cachedDrawing = nullptr;
    // Breaks and tabs recorded for the old text don't fit a changed one.
    st->wordBreaks = nullptr;
    st->wordBreakCount = 0;
    st->tabResults = nullptr;
    st->tabResultCount = 0;
    if (type == LAYERTYPE_PRINT && l->type != LAYERTYPE_PRINT) {
        // Text drawn at a position becomes text printed at the display's cursor.
        TextState at;
        InitPrintState(&at, "");
        st->alignment = TEXTALIGN_LEFT;
        st->cursorX = at.cursorX;
        st->cursorY = at.cursorY;
        st->leftMargin = at.leftMargin;
        st->wrapWidth = at.wrapWidth;
        memcpy(st->tabStops, at.tabStops, sizeof st->tabStops);
        st->tabCount = at.tabCount;
        c->cursorGiven = 1;
    } else if (type == LAYERTYPE_TEXTOUT && l->type == LAYERTYPE_PRINT) {
        // Printed text becomes text at a position, wrapped at the width its right margin gave.
        st->cursorX = st->cursorY = 0;
        st->leftMargin = 0;
        memset(st->tabStops, 0, sizeof st->tabStops);
        st->tabCount = 0;
    }
}

static int ReadStyleKeys(lua_State *L, int t, FontSettings *s, int *changed)
{
    ReadStyleColour(L, t, "color", &s->colour, changed);
    int32_t bits = 0;
    // As SetFontStyle: #NORMAL resets, other bits are added to it.
    if (ReadStyleInt(L, t, "fontstyle", &bits, changed))
        s->style = (bits & TEXTSTYLE_NORMAL) ? TEXTSTYLE_NORMAL : s->style | bits;
    if (ReadStyleInt(L, t, "fontstyleclear", &bits, changed)) s->style &= ~bits;
    ReadStyleInt(L, t, "shadowdir", &s->shadowDirection, changed);
    ReadStyleColour(L, t, "shadowcolor", &s->shadowColour, changed);
    ReadStyleInt(L, t, "shadowsize", &s->shadowSize, changed);
    ReadStyleColour(L, t, "edgecolor", &s->edgeColour, changed);
    ReadStyleInt(L, t, "edgesize", &s->edgeSize, changed);
    ClampTextSettings(s);
    return 0;
}

static int ReadLayoutKeys(lua_State *L, int t, int32_t type, TextState *st, int *changed)
{
    int32_t v = 0;
    if (ReadStyleInt(L, t, "encoding", &v, changed)) {
        if (v < 0 || v > 1) return ERR_USAGE;
        st->encoding = v;
    }
    if (type == LAYERTYPE_TEXTOUT) ReadStyleInt(L, t, "align", &st->alignment, changed);
    if (type == LAYERTYPE_PRINT && ReadStyleInt(L, t, "leftmargin", &v, changed)) {
        if (v < 0) return ERR_USAGE;
        st->leftMargin = ClampTextCoord(v);
    }
    if (ReadStyleInt(L, t, "rightmargin", &v, changed)) {
        if (v < 0) return ERR_USAGE;
        st->wrapWidth = ClampTextCoord(v);
    }
    return 0;
}

// "cursorx" and "cursory" of printed text: no position constants, no position keys beside them;
// a cursor x outside the margins goes to the left margin.
static int ReadCursorKeys(lua_State *L, int t, TextContent *c, int *changed)
{
    TextState *st = &c->state;
    int32_t x = 0, y = 0;
    int gx = ReadStyleInt(L, t, "cursorx", &x, changed), gy = ReadStyleInt(L, t, "cursory", &y, changed);
    if (!gx && !gy) return 0;
    if (gx && (x == POS_CENTER || x == POS_LEFT || x == POS_RIGHT)) return ERR_CONSTANT;
    if (gy && (y == POS_CENTER || y == POS_TOP || y == POS_BOTTOM)) return ERR_CONSTANT;
    static const char *const positionKeys[] = {"x", "y", "translatex", "translatey", "anchorx", "anchory"};
    for (const char *key : positionKeys)
        if (HasKey(L, t, key)) return ERR_USAGE;
    if (gx) st->cursorX = (x < st->leftMargin || x > st->wrapWidth) ? st->leftMargin : x;
    if (gy) st->cursorY = ClampTextCoord(y);
    c->cursorGiven = 1;
    return 0;
}

// "tabs": a table of at most 31 positions from index 0 on, kept in ascending order.
static int ReadTabs(lua_State *L, int t, TextState *st, int *changed)
{
    lua_pushstring(L, "tabs");
    lua_gettable(L, t);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    int code = 0;
    int32_t stops[TEXT_TAB_STOPS], n = 0;
    if (!lua_istable(L, -1)) code = ERR_NUMBER;
    for (int i = 0; !code; i++) {
        lua_pushnumber(L, i);
        lua_gettable(L, -2);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            break;
        }
        if (!lua_isnumber(L, -1)) code = ERR_NUMBER;
        else if (n >= STYLE_TAB_STOPS) code = ERR_LIMIT;
        else {
            double d = lua_tonumber(L, -1);
            int32_t v = !(d > -TEXT_COORD_LIMIT) ? -TEXT_COORD_LIMIT : d > TEXT_COORD_LIMIT ? TEXT_COORD_LIMIT : (int32_t)d;
            int32_t k = n++;
            while (k > 0 && stops[k - 1] > v) {
                stops[k] = stops[k - 1];
                k--;
            }
            stops[k] = v;
        }
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    if (code == ERR_NUMBER) SetErrorString("tabs");
    if (code) return code;
    memset(st->tabStops, 0, sizeof st->tabStops);
    memcpy(st->tabStops, stops, sizeof(int32_t) * (size_t)n);
    st->tabCount = n;
    *changed = 1;
    return 0;
}

// "fontsize", "font" and "fontengine" open the font anew (with "fontcache"); what is not given
// is taken from the font the text has.
static int ReadFontKeys(lua_State *L, int t, FontSettings *s, int *changed)
{
    int32_t size = FONT_KEEP, engine = FONT_KEEP, cache = FONT_KEEP;
    int sizeGiven = ReadStyleInt(L, t, "fontsize", &size, changed);
    int top = lua_gettop(L);
    lua_pushstring(L, "font");
    lua_gettable(L, t);
    const char *name = nullptr;
    int linked = 0;
    if (!lua_isnil(L, -1)) {
        const char *given = luaL_checknamedstring(L, lua_gettop(L), "font");
        int found = 0;
        name = ResolveLinkedFile(L, given, 1, &found);
        linked = name != given;
        *changed = 1;
    }
    int engineGiven = ReadStyleInt(L, t, "fontengine", &engine, changed);
    ReadStyleInt(L, t, "fontcache", &cache, changed);
    // Given values never mean "as before": a hugely negative size or engine fails to open.
    if (sizeGiven && size == FONT_KEEP) size = 0;
    if (engineGiven && engine == FONT_KEEP) engine = -1;
    int code = 0;
    if (sizeGiven || name || engineGiven) {
        FontHandle *font;
        code = ReopenFont(s->font, name, linked, size, engine, cache, &font);
        if (!code) s->font = font;
    }
    lua_settop(L, top);
    return code;
}

int ReadTextContent(lua_State *L, int t, const kvLayer *l, int32_t type, TextContent *c, int *changed)
{
    memset(c, 0, sizeof *c);
    c->kind = type;
    StartContent(l, type, c);
    TextState *st = &c->state;
    int fromOtherFamily = !IsTextLayerKind(l->type) || !l->sourceState->text;
    if (type != l->type) *changed = 1;
    int code;
    if ((code = ReadStyleKeys(L, t, &st->settings, changed))) return code;
    if ((code = ReadLayoutKeys(L, t, type, st, changed))) return code;
    if (type == LAYERTYPE_PRINT) {
        if ((code = ReadCursorKeys(L, t, c, changed))) return code;
        if ((code = ReadTabs(L, t, st, changed))) return code;
    }
    if ((code = ReadFontKeys(L, t, &st->settings, changed))) return code;
    // The text stays on the stack for the caller: a number converted there lives as long.
    lua_pushstring(L, "text");
    lua_gettable(L, t);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return fromOtherFamily ? ERR_NOTENOUGH : 0;
    }
    st->text = (char *)luaL_checknamedstring(L, lua_gettop(L), "text");
    *changed = 1;
    return 0;
}

int RebuildTextLayer(lua_State *L, kvLayer *l, TextContent *c, int32_t x, int32_t y, int relative)
{
    LayerState *src = l->sourceState;
    const TextState *old = src->text;
    RenderedTextImage img;
    memset(&img, 0, sizeof img);
    int32_t cornerX, cornerY;
    TextState *text;
    TransformRecord base;
    int code;
    if (c->kind == LAYERTYPE_TEXTOBJECT) {
        const TextObjectNode *n;
        if ((code = TextObjectLayerPicture(c->source, &img, &cornerX, &cornerY, &n))) return code;
        text = CopyTextState(n->state);
        base = n->transform;
        c->source = n->id;
    } else {
        // Text that keeps its kind keeps the transform it was laid out with.
        if (l->type == c->kind && old) base = src->textBase;
        else InitTransform(&base);
        code = RenderFormattedText(L, nullptr, 0, &c->state, c->kind, 0, &base, nullptr, TEXTRENDER_LAYEREXISTS, &img);
        if (code) return code;
        cornerX = c->kind == LAYERTYPE_PRINT ? img.firstLineOffset + img.offsetX : img.offsetX;
        cornerY = img.offsetY;
        text = CopyTextState(&c->state);
    }
    if (!text) {
        FreeRenderedTextImage(&img);
        return ERR_NOMEM;
    }
    // The layout origin: the display's cursor line for text printed anew, else where the old
    // text had it (printed text following a change of its left margin).
    int64_t ox, oy;
    if (c->kind == LAYERTYPE_PRINT && c->cursorGiven) {
        ox = text->leftMargin;
        oy = text->cursorY;
    } else if (old) {
        ox = (int64_t)src->x - src->textCornerX;
        oy = (int64_t)src->y - src->textCornerY;
        if (l->type == LAYERTYPE_PRINT && c->kind == LAYERTYPE_PRINT) ox += (int64_t)text->leftMargin - old->leftMargin;
        // Printed text becoming text at a position starts where its first line started.
        else if (l->type == LAYERTYPE_PRINT) ox += (int64_t)old->cursorX - old->leftMargin;
    } else {
        ox = src->x;
        oy = src->y;
    }
    int64_t nx = ox + cornerX, ny = oy + cornerY;
    if (x != KEEPPOSITION) nx = (relative & 1) ? nx + x : ResolveXPos(x, img.drawnWidth, 0, l->anchorX);
    if (y != KEEPPOSITION) ny = (relative & 2) ? ny + y : ResolveYPos(y, img.height, 0, l->anchorY);

    FreeTriple(src->bitmap, src->mask, src->alpha);
    src->bitmap = img.bitmap;
    src->mask = img.mask;
    src->alpha = img.alpha;
    src->width = src->drawnWidth = img.drawnWidth;
    src->height = src->drawnHeight = img.height;
    memset(src->renderOffset, 0, sizeof src->renderOffset);
    src->partX = src->partY = 0;
    src->frame = src->frameCount = src->frameExtra = 0;
    FreeTextState(src->text);
    text->x = SaturateInt32(ox);
    text->y = SaturateInt32(oy);
    src->text = text;
    src->textBase = base;
    src->textCornerX = cornerX;
    src->textCornerY = cornerY;
    l->type = c->kind;
    l->source = c->kind == LAYERTYPE_TEXTOBJECT ? c->source : ObjectId{0, nullptr};
    PlaceLayerState(l, src, SaturateInt32(nx), SaturateInt32(ny), 1.0, 1.0);
    return 0;
}

void PushTextContent(lua_State *L, const kvLayer *l)
{
    const TextState *st = IsTextLayerKind(l->type) ? l->sourceState->text : nullptr;
    if (!st) return;
    const FontSettings *s = &st->settings;
    SetFieldInt(L, "color", (int)s->colour);
    SetFieldInt(L, "fontstyle", s->style);
    SetFieldInt(L, "shadowdir", s->shadowDirection);
    SetFieldInt(L, "shadowcolor", (int)s->shadowColour);
    SetFieldInt(L, "shadowsize", s->shadowSize);
    SetFieldInt(L, "edgecolor", (int)s->edgeColour);
    SetFieldInt(L, "edgesize", s->edgeSize);
    SetFieldInt(L, "encoding", st->encoding);
    if (l->type == LAYERTYPE_TEXTOUT) SetFieldInt(L, "align", st->alignment);
    if (l->type == LAYERTYPE_PRINT) SetFieldInt(L, "leftmargin", st->leftMargin);
    SetFieldInt(L, "rightmargin", st->wrapWidth);
    if (l->type == LAYERTYPE_PRINT) {
        SetFieldInt(L, "cursorx", st->cursorX);
        SetFieldInt(L, "cursory", st->cursorY);
        lua_pushstring(L, "tabs");
        lua_newtable(L);
        for (int32_t i = 0; i < st->tabCount && i < TEXT_TAB_STOPS; i++) {
            lua_pushnumber(L, st->tabStops[i]);
            lua_rawseti(L, -2, i);
        }
        lua_settable(L, -3);
    }
    const FontHandle *font = FontOf(s);
    if (font) SetFieldInt(L, "fontsize", font->size);
    SetFieldString(L, "font", FontOpenName(font));
    SetFieldString(L, "text", st->text ? st->text : "");
}
