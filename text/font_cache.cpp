// The font cache, opening fonts by name and size (default names, linked font files, the
// built-in font, disk bitmap fonts, the two outline engines) and the dispatch of every font
// operation to the engine of the font's kind.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "text/bitmap_font.h"
#include "text/font.h"
#include "text/font_manager.h"
#include "text/inbuilt_font.h"
#include "text/native_font.h"

static FontCacheEntry *FontCache = nullptr;
static FontHandle *BuiltinFont = nullptr;

FontCacheEntry *GetFontCache(void) { return FontCache; }
FontHandle *GetBuiltinFont(void) { return BuiltinFont; }

// ---------------------------------------------------------------------------------------------
// Dispatch by kind

static int BitmapMeasure(FontHandle *f, const char *t, int32_t n, int32_t s, int32_t e, TextMetrics *m)
{
    return BitmapFontTextLength(f, t, n, s, e, m);
}
static int BitmapRender(FontHandle *f, void *t, void *s2, int32_t x, int32_t y, const char *s, int32_t n, int32_t st,
                        int32_t e, const FontClip *c, int32_t col)
{
    return RenderBitmapFontText(f, t, s2, x, y, s, n, st, e, c, col);
}
static int NoStyles(int32_t bit) { return 0; }

static int NativeMeasure(FontHandle *f, const char *t, int32_t n, int32_t s, int32_t e, TextMetrics *m)
{
    return OsTextExtent(f, t, n, s, e == ENCODING_UTF8, m);
}
static int NativeRender(FontHandle *f, void *t, void *s2, int32_t x, int32_t y, const char *s, int32_t n, int32_t st,
                        int32_t e, const FontClip *c, int32_t col)
{
    return OsRenderText(f, t, s2, x, y, s, n, st, e == ENCODING_UTF8, c, col);
}

static int InbuiltMeasure(FontHandle *f, const char *t, int32_t n, int32_t s, int32_t e, TextMetrics *m)
{
    return MeasureInbuiltText(f, t, n, s, e == ENCODING_UTF8, m);
}
static int InbuiltRender(FontHandle *f, void *t, void *s2, int32_t x, int32_t y, const char *s, int32_t n, int32_t st,
                         int32_t e, const FontClip *c, int32_t col)
{
    return RenderInbuiltText(f, t, s2, x, y, s, n, st, e == ENCODING_UTF8, c, col);
}

struct FontEngineOps {
    int (*measure)(FontHandle *, const char *, int32_t, int32_t, int32_t, TextMetrics *);
    int (*render)(FontHandle *, void *, void *, int32_t, int32_t, const char *, int32_t, int32_t, int32_t,
                  const FontClip *, int32_t);
    void (*close)(FontHandle *);
    void (*scale)(FontHandle *, double, double);   // none: the kind does not scale
    void (*freeCache)(FontHandle *);                // none: the kind has no glyph cache
    int (*styles)(int32_t styleBit);
};

// Indexed by kind 1 to 4.
static const FontEngineOps EngineOps[] = {
    {BitmapMeasure, BitmapRender, CloseBitmapFont, nullptr, nullptr, NoStyles},
    {BitmapMeasure, BitmapRender, CloseBitmapFont, nullptr, nullptr, NoStyles},
    {NativeMeasure, NativeRender, OsCloseFont, OsSetFontScale, nullptr, OsNativeFontQuery},
    {InbuiltMeasure, InbuiltRender, CloseInbuiltFont, SetInbuiltFontScale, FreeInbuiltGlyphCache, NoStyles},
};

static const FontEngineOps *OpsOf(const FontHandle *font)
{
    if (!font || font->kind < FONTKIND_BITMAP || font->kind > FONTKIND_INBUILT) return nullptr;
    return &EngineOps[font->kind - 1];
}

int RenderFontRun(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text,
                  int32_t length, int32_t style, int32_t encoding, const FontClip *clip, int32_t colour)
{
    if (!font) font = BuiltinFont;
    const FontEngineOps *ops = OpsOf(font);
    if (!ops || length <= 0) return 0;
    return ops->render(font, target, second, x, y, text, length, style, encoding, clip, colour);
}

int MeasureFontRun(FontHandle *font, const char *text, int32_t length, int32_t style, int32_t encoding,
                   TextMetrics *metrics)
{
    if (!font) font = BuiltinFont;
    const FontEngineOps *ops = OpsOf(font);
    if (!ops) return 0;
    return ops->measure(font, text, length < 0 ? 0 : length, style, encoding, metrics);
}

int FontEngineStyles(FontHandle *font, int32_t styleBit)
{
    const FontEngineOps *ops = OpsOf(font);
    return ops ? ops->styles(styleBit) : 0;
}

void SetFontScale(FontHandle *font, double xScale, double yScale)
{
    if (!font || !font->scalable) return;
    if (font->xScale == xScale && font->yScale == yScale) return;
    font->xScale = xScale;
    font->yScale = yScale;
    font->lineHeight = (int32_t)ceil(font->unscaledLineHeight * yScale);
    font->baseline = (int32_t)ceil(font->unscaledBaseline * yScale);
    const FontEngineOps *ops = OpsOf(font);
    if (ops && ops->scale) ops->scale(font, xScale, yScale);
}

void FreeFontGlyphCache(FontHandle *font)
{
    const FontEngineOps *ops = OpsOf(font);
    if (ops && ops->freeCache) ops->freeCache(font);
}

void UnloadFont(FontHandle *font)
{
    if (!font || font == BuiltinFont) return;
    const FontEngineOps *ops = OpsOf(font);
    if (ops) ops->close(font);
    MemFree(font);
}

void FreeFontCache(void)
{
    while (FontCache) {
        FontCacheEntry *next = FontCache->next;
        UnloadFont(FontCache->font);
        MemFree(FontCache);
        FontCache = next;
    }
}

// ---------------------------------------------------------------------------------------------
// Opening

static int CannotOpen(const char *name, int32_t size)
{
    char text[ERR_STRING_SIZE];
    snprintf(text, sizeof text, GetErrorString(MSG_CANNOT_OPEN_FONT), name, (long)size);
    SetErrorString(text);
    return 1064;
}

// Linked font files begin with a flags word: 2 = an outline or native font (else a disk bitmap
// font), 4 = a length and that many bytes follow and are skipped.
enum { LINKED_FONT_OUTLINE = 2, LINKED_FONT_EXTRA = 4 };

// Reads the header of a linked font and names the section behind it. 0, or 1045.
static int OpenLinkedFontHeader(const char *name, uint32_t *flags, char *section, size_t size)
{
    FileHandle *fh = FOpen(name, FMODE_READ);
    ChunkNameParts parts;
    uint8_t word[4];
    int ok = fh && ParseChunkName(name, &parts) && FRead(fh, word, 4) == 4;
    uint64_t header = 4;
    if (ok) {
        *flags = (uint32_t)word[0] << 24 | (uint32_t)word[1] << 16 | (uint32_t)word[2] << 8 | word[3];
        if ((*flags & LINKED_FONT_OUTLINE) && (*flags & LINKED_FONT_EXTRA)) {
            ok = FRead(fh, word, 4) == 4;
            uint32_t extra = (uint32_t)word[0] << 24 | (uint32_t)word[1] << 16 | (uint32_t)word[2] << 8 | word[3];
            header = 8 + (uint64_t)extra;
        }
    }
    // The skipped bytes must lie inside the section.
    ok = ok && header <= parts.size;
    FClose(fh);
    if (ok) {
        char own[KV_PATH_SIZE];
        snprintf(own, sizeof own, "%s", GetFilePart(name));
        uint32_t rest = (uint32_t)(parts.size - header);
        if (parts.memory) {
            uintptr_t address = 0;
            sscanf(parts.container, "%lx", (unsigned long *)&address);
            ok = MakeChunkName(own, section, size, -1, rest, (int64_t)parts.offset, nullptr,
                               (const void *)(address + (uintptr_t)header)) != nullptr;
        } else {
            ok = MakeChunkName(own, section, size, (int64_t)(parts.offset + header), rest, 0, parts.container,
                               nullptr) != nullptr;
        }
    }
    if (!ok) {
        SetErrorString(name);
        return 1045;
    }
    return 0;
}

int LoadFont(const char *name, int32_t size, int32_t engine, int32_t cacheFlag, int linked, FontHandle **result)
{
    char section[KV_PATH_SIZE];
    const char *data = name;
    int outlineFile = 0, bitmapContainer = 0;
    if (linked && IsVirtualName(name)) {
        uint32_t flags;
        int code = OpenLinkedFontHeader(name, &flags, section, sizeof section);
        if (code) return code;
        data = section;
        outlineFile = (flags & LINKED_FONT_OUTLINE) != 0;
        bitmapContainer = !outlineFile;
    }
    if (size < 1) return CannotOpen(name, size);
    FontHandle *font = (FontHandle *)MemAlloc(sizeof(FontHandle), 1);
    if (!font) return 1000;
    font->xScale = font->yScale = 1.0;
    int opened = 0;
    if (engine == FONTENGINE_INBUILT) {
        opened = !bitmapContainer && OpenInbuiltFont(data, size, cacheFlag, font);
    } else if (engine == FONTENGINE_NATIVE) {
        if (!linked && strcasecmp(name, "topaz") == 0 && size == 8) {
            MemFree(font);
            *result = BuiltinFont;
            return 0;
        }
        if (!outlineFile) {
            char path[KV_PATH_SIZE];
            if (bitmapContainer) opened = LoadBitmapFont(data, size, font);
            else if (FindBitmapFontFile(name, path, sizeof path)) opened = LoadBitmapFont(path, size, font);
            if (!opened) CloseBitmapFont(font);
        }
        if (!opened && !bitmapContainer) opened = OsOpenFont(data, size, cacheFlag, font);
    }
    if (!opened) {
        MemFree(font);
        return CannotOpen(name, size);
    }
    *result = font;
    return 0;
}

// Maps the default-font names; engine becomes 4 for the outline defaults.
static const char *MapDefaultName(const char *name, int32_t *engine)
{
    static const struct {
        const char *name, *mapped;
        int inbuilt;
    } defaults[] = {{":::default_bitmap", "topaz", 0},
                    {":::default_truetype", "Bitstream Vera Sans", 1},
                    {":::default_sans", "Bitstream Vera Sans", 1},
                    {":::default_serif", "Bitstream Vera Serif", 1},
                    {":::default_mono", "Bitstream Vera Sans Mono", 1}};
    for (const auto &d : defaults) {
        if (strcmp(name, d.name) != 0) continue;
        if (d.inbuilt) *engine = FONTENGINE_INBUILT;
        return d.mapped;
    }
    return name;
}

static FontHandle *FindCachedFont(const char *name, int32_t size, int32_t engine, int32_t cacheFlag)
{
    for (FontCacheEntry *e = FontCache; e; e = e->next) {
        if (e->cacheFlag == cacheFlag && e->engine == engine && e->size == size && strcasecmp(e->name, name) == 0) {
            SetFontScale(e->font, 1.0, 1.0);
            return e->font;
        }
    }
    return nullptr;
}

int OpenCachedFont(const char *name, int32_t size, int32_t engine, int32_t cacheFlag, int linked,
                   FontHandle **result)
{
    char mapped[FONT_CACHE_NAME_SIZE];
    name = MapDefaultName(name, &engine);
    if (strlen(name) >= sizeof mapped) return CannotOpen(name, size);
    strcpy(mapped, name);
    if (!IsVirtualName(mapped)) {
        if (engine != FONTENGINE_INBUILT && (DirPartEnd(mapped) != mapped || strchr(mapped, '/'))) return 1335;
        size_t n = strlen(mapped);
        if (n >= 5 && strcasecmp(mapped + n - 5, ".font") == 0) mapped[n - 5] = 0;
    }
    for (int attempt = 0; attempt < 2; attempt++) {
        FontHandle *font = FindCachedFont(mapped, size, engine, cacheFlag);
        if (font) {
            *result = font;
            return 0;
        }
        int code = LoadFont(mapped, size, engine, cacheFlag, linked, &font);
        if (code == 0) {
            FontCacheEntry *entry = (FontCacheEntry *)MemAlloc(sizeof(FontCacheEntry), 1);
            if (!entry) {
                UnloadFont(font);
                return 1000;
            }
            strcpy(entry->name, mapped);
            entry->size = size;
            entry->engine = engine;
            entry->cacheFlag = cacheFlag;
            entry->font = font;
            FontCacheEntry **tail = &FontCache;
            while (*tail) tail = &(*tail)->next;
            *tail = entry;
            *result = font;
            return 0;
        }
        if (engine != FONTENGINE_INBUILT || code != 1064) return code;
        engine = FONTENGINE_NATIVE;
    }
    return 1064;
}

static const FontCacheEntry *EntryOf(const FontHandle *font)
{
    for (const FontCacheEntry *e = FontCache; e; e = e->next)
        if (e->font == font) return e;
    return nullptr;
}

const char *FontOpenName(const FontHandle *font)
{
    if (!font) font = BuiltinFont;
    const FontCacheEntry *e = EntryOf(font);
    return e ? e->name : font ? font->name : "";
}

int ReopenFont(const FontHandle *font, const char *name, int linked, int32_t size, int32_t engine, int32_t cacheFlag,
               FontHandle **result)
{
    if (!font) font = BuiltinFont;
    const FontCacheEntry *e = EntryOf(font);
    if (!name) {
        // The built-in font is no cache entry: it is topaz at its own size.
        name = e ? e->name : font ? font->name : "topaz";
        linked = 0;
    }
    if (size == FONT_KEEP) size = font ? font->size : 8;
    if (engine == FONT_KEEP)
        engine = e ? e->engine : font && font->kind == FONTKIND_INBUILT ? FONTENGINE_INBUILT : FONTENGINE_NATIVE;
    if (cacheFlag == FONT_KEEP) cacheFlag = e ? e->cacheFlag : 1;
    return OpenCachedFont(name, size, engine, cacheFlag, linked, result);
}

// ---------------------------------------------------------------------------------------------
// Start and end

int InitFontSystem(FontHandle **builtin)
{
    if (!BuiltinFont && MakeBuiltinFont(&BuiltinFont) != 0) return 1000;
    if (builtin) *builtin = BuiltinFont;
    int code = InitNativeFontEngine();
    int inbuilt = InitFreeTypeEngine();
    return code ? code : inbuilt;
}

void FontSystemCleanup(void)
{
    FreeBitmapFont(BuiltinFont);
    BuiltinFont = nullptr;
    OsFontCleanup();
    FreeTypeShutdown();
    FreeFontList();
}
