// The script's font objects (#FONT) and the font commands of the text library.
#include <cstring>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "text/font.h"
#include "text/text_lib.h"

static FontNode *FontNodes = nullptr;

int FindFont(ObjectId id, FontNode **out)
{
    for (FontNode *n = FontNodes; n; n = n->next) {
        if (ObjectIdMatches(n->id, id)) {
            *out = n;
            return 0;
        }
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1334;
}

int CountFonts(void)
{
    int n = 0;
    for (FontNode *f = FontNodes; f; f = f->next) n++;
    return n;
}

static void FreeFontNode(FontNode *node)
{
    for (FontNode **p = &FontNodes; *p; p = &(*p)->next) {
        if (*p == node) {
            *p = node->next;
            break;
        }
    }
    MemFree(node);
}

void FreeAllFontNodes(void)
{
    while (FontNodes) FreeFontNode(FontNodes);
}

int OpenFontArgs(lua_State *L, int index, FontHandle **result)
{
    int linked = 0;
    const char *resolved = ResolveLinkedFileArg(L, index, 1, &linked);
    char name[KV_PATH_SIZE];
    if (strlen(resolved) >= sizeof name) {
        SetErrorString(resolved);
        return 1064;
    }
    strcpy(name, resolved);
    int32_t size = GetIntArg(L, index + 1);
    int engine = FONTENGINE_NATIVE, cache = 1;
    if (lua_gettop(L) == index + 2) {
        luaL_checktable(L, index + 2);
        GetFieldInt(L, index + 2, "engine", &engine, nullptr);
        GetFieldInt(L, index + 2, "cache", &cache, nullptr);
    }
    PrintVerbose(GetErrorString(MSG_OPENING_FONT), name, 1);
    int code = OpenCachedFont(name, size, engine, cache, linked, result);
    if (code) PrintVerboseFailed();
    return code;
}

// OpenFont(id, name, size [, table])
int TxOpenFont(lua_State *L)
{
    CheckArgs(L, 3, 4);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    if (!isNil) {
        FontNode *old;
        if (FindFont({number, nullptr}, &old) == 0) FreeFontNode(old);
    }
    FontHandle *font;
    int code = OpenFontArgs(L, 2, &font);
    if (code) return code;
    FontNode *node = (FontNode *)MemAlloc(sizeof(FontNode), 1);
    if (!node) return 1000;
    node->id.number = isNil ? 0 : number;
    node->id.handle = isNil ? node : nullptr;
    node->font = font;
    FontNode **tail = &FontNodes;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    PrintVerboseDone();
    if (isNil) {
        lua_pushlightuserdata(L, node);
        return 1;
    }
    return 0;
}

// CloseFont(id)
int TxCloseFont(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FontNode *node;
    int code = FindFont(GetObjectIdArg(L, 1), &node);
    if (code) return code;
    FreeFontNode(node);
    return 0;
}

// UseFont(id)
int TxUseFont(lua_State *L)
{
    CheckArgs(L, 1, 1);
    FontNode *node;
    int code = FindFont(GetObjectIdArg(L, 1), &node);
    if (code) return code;
    FontSettings *settings = GetFontSettings();
    settings->font = node->font;
    settings->style = TEXTSTYLE_NORMAL;
    return 0;
}

// FreeGlyphCache(flag [, id]): flag 0 frees the glyph caches of every cached font.
int TxFreeGlyphCache(lua_State *L)
{
    CheckArgs(L, 1, 2);
    if (GetIntArg(L, 1) == 0) {
        for (FontCacheEntry *e = GetFontCache(); e; e = e->next) FreeFontGlyphCache(e->font);
        return 0;
    }
    FontNode *node;
    int code = FindFont(GetObjectIdArg(L, 2), &node);
    if (code) return code;
    FreeFontGlyphCache(node->font);
    return 0;
}

// Attribute numbers of the font attributes and of the object count.
enum {
    ATTR_FONTASCENDER = 30, ATTR_FONTDESCENDER = 31, ATTR_FONTNAME = 32, ATTR_FONTSIZE = 33,
    ATTR_FONTSCALABLE = 34, ATTR_FONTAA = 35, ATTR_COUNT = 60
};

int PushFontHandleAttribute(lua_State *L, const FontHandle *font, int attribute)
{
    switch (attribute) {
    case ATTR_FONTASCENDER: lua_pushnumber(L, font->baseline); return 1;
    case ATTR_FONTDESCENDER: lua_pushnumber(L, font->lineHeight - font->baseline); return 1;
    case ATTR_FONTNAME: lua_pushstring(L, font->name); return 1;
    case ATTR_FONTSIZE: lua_pushnumber(L, font->size); return 1;
    case ATTR_FONTSCALABLE: lua_pushnumber(L, font->scalable); return 1;
    case ATTR_FONTAA: lua_pushnumber(L, font->antiAlias); return 1;
    default: return 1080;
    }
}

int GetFontAttribute(lua_State *L, ObjectId id, int attribute)
{
    if (attribute == ATTR_COUNT) {
        lua_pushnumber(L, CountFonts());
        return 1;
    }
    FontNode *node;
    int code = FindFont(id, &node);
    if (code) return code;
    return PushFontHandleAttribute(L, node->font, attribute);
}
