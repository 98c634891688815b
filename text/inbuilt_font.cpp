// The inbuilt outline font engine. FreeType parses and rasterises; sizing, the two glyph caches
// (character codes below 256, regular style), pair kerning, the measure prefix cache and the
// placement of glyphs into bitmaps, masks and alpha channels are done here. Font files are read
// through the file layer, so linked fonts and font resources inside larger files work alike.
#include "text/inbuilt_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_SYNTHESIS_H

#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/os.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "text/default_fonts.h"
#include "text/font_manager.h"
#include "text/glyph_draw.h"
#include "text/text_codes.h"

enum { GLYPH_CACHE_SIZE = 256, PREFIX_CACHE_SIZE = 1024 };

struct CachedGlyph {
    FT_Glyph glyph;             // a bitmap glyph, or none
    FT_Pos advance;             // untransformed horizontal advance, 26.6
};

// Where the FreeType stream reads from.
struct FontStreamSource {
    FileHandle *file;
    int64_t base;
    int64_t size;
};

// The measure prefix cache: the last measured text with its result, and where measuring its
// last character began, so that a longer text resumes there (kerning of that character with the
// next one is then applied as a fresh measurement would).
struct PrefixCache {
    char text[PREFIX_CACHE_SIZE];
    int32_t length;             // 0: empty
    int32_t style, utf8;
    double xScale, yScale;
    int32_t lastStart;          // byte offset of the last character
    int32_t penBeforeLast;
    int32_t minX, minY, maxX, maxY;
    TextMetrics metrics;
};

struct InbuiltFontRecord {
    FT_StreamRec stream;
    FontStreamSource source;
    FT_Face face;
    FileHandle *file;
    int32_t emSize;             // pixels of the em found when opening (at 72 x 72 dpi)
    PrefixCache prefix;
    char *temporaryPath;        // a collection face extracted by the font manager
    int32_t cacheFlag;
    CachedGlyph aaCache[GLYPH_CACHE_SIZE];
    CachedGlyph monoCache[GLYPH_CACHE_SIZE];
};

static FT_Library FreeTypeLibrary = nullptr;

int InitFreeTypeEngine(void)
{
    if (FreeTypeLibrary) return 0;
    return FT_Init_FreeType(&FreeTypeLibrary) == 0 ? 0 : 1386;
}

void FreeTypeShutdown(void)
{
    if (FreeTypeLibrary) FT_Done_FreeType(FreeTypeLibrary);
    FreeTypeLibrary = nullptr;
}

static unsigned long FreeTypeStreamRead(FT_Stream stream, unsigned long offset, unsigned char *buffer,
                                        unsigned long count)
{
    FontStreamSource *s = (FontStreamSource *)stream->descriptor.pointer;
    if (count == 0) return offset <= (unsigned long)s->size ? 0 : 1;
    if (offset >= (unsigned long)s->size) return 0;
    if (count > (unsigned long)s->size - offset) count = (unsigned long)s->size - offset;
    FSeek(s->file, s->base + (int64_t)offset, FSEEK_START);
    return (unsigned long)FRead(s->file, buffer, count);
}

static void FreeGlyphCaches(InbuiltFontRecord *r)
{
    for (int i = 0; i < GLYPH_CACHE_SIZE; i++) {
        if (r->aaCache[i].glyph) FT_Done_Glyph(r->aaCache[i].glyph);
        if (r->monoCache[i].glyph) FT_Done_Glyph(r->monoCache[i].glyph);
        r->aaCache[i].glyph = r->monoCache[i].glyph = nullptr;
    }
}

static void FreeRecord(InbuiltFontRecord *r)
{
    if (!r) return;
    FreeGlyphCaches(r);
    if (r->face) FT_Done_Face(r->face);
    FClose(r->file);
    if (r->temporaryPath) {
        OsDelete(r->temporaryPath);
        MemFree(r->temporaryPath);
    }
    MemFree(r);
}

// Highest bitmap top and deepest descent of the glyphs of the codes; 0 when none loads.
static int GlyphExtent(FT_Face face, const uint32_t *codes, int count, int32_t *top, int32_t *descent)
{
    int loaded = 0;
    *top = *descent = 0;
    for (int i = 0; i < count; i++) {
        FT_UInt index = FT_Get_Char_Index(face, codes[i]);
        if (!index || FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_NO_AUTOHINT) != 0) continue;
        int32_t t = face->glyph->bitmap_top, d = (int32_t)face->glyph->bitmap.rows - t;
        if (!loaded || t > *top) *top = t;
        if (!loaded || d > *descent) *descent = d;
        loaded = 1;
    }
    return loaded;
}

static void ComputeBaseline(FontHandle *font, InbuiltFontRecord *r)
{
    static const uint32_t codes[] = {'A', 192, 196, 'q'};
    int32_t top, descent;
    if (GlyphExtent(r->face, codes, 4, &top, &descent))
        font->baseline = (font->lineHeight + top - descent + 1) / 2;
    else
        font->baseline = font->lineHeight * 3 / 4;
}

// Opens the face of a name into the record; 1 or 0.
static int OpenFace(InbuiltFontRecord *r, const char *name)
{
    const DefaultFont *builtin = IsVirtualName(name) ? nullptr : FindDefaultFont(name);
    if (builtin) return FT_New_Memory_Face(FreeTypeLibrary, builtin->data, builtin->length, 0, &r->face) == 0;

    char *path = nullptr;
    int64_t base = 0, length = 0;
    size_t n = strlen(name);
    if (IsVirtualName(name) || (n >= 4 && (strcasecmp(name + n - 4, ".ttf") == 0 || strcasecmp(name + n - 4, ".otf") == 0))) {
        path = (char *)MemAlloc(n + 1, 0);
        if (!path) return 0;
        memcpy(path, name, n + 1);
    } else {
        int temporary;
        path = FindSystemFont(name, -1, 0, 0, &base, &length, &temporary);
        if (!path) return 0;
        if (temporary) r->temporaryPath = path;
    }
    r->file = FOpen(path, FMODE_READ);
    if (path != r->temporaryPath) MemFree(path);
    if (!r->file) return 0;
    if (base == 0 || length <= 0) {
        FSeek(r->file, 0, FSEEK_END);
        length = FSeek(r->file, 0, FSEEK_START);
        base = 0;
    }
    if (length <= 0 || length > 0x7FFFFFFF) return 0;
    r->source = {r->file, base, length};
    r->stream.size = (unsigned long)length;
    r->stream.descriptor.pointer = &r->source;
    r->stream.read = FreeTypeStreamRead;
    FT_Open_Args args;
    memset(&args, 0, sizeof args);
    args.flags = FT_OPEN_STREAM;
    args.stream = &r->stream;
    return FT_Open_Face(FreeTypeLibrary, &args, 0, &r->face) == 0;
}

int OpenInbuiltFont(const char *name, int32_t pixelSize, int32_t cacheFlag, FontHandle *font)
{
    if (!FreeTypeLibrary || pixelSize < 1) return 0;
    InbuiltFontRecord *r = (InbuiltFontRecord *)MemAlloc(sizeof(InbuiltFontRecord), 1);
    if (!r) return 0;
    r->cacheFlag = cacheFlag;
    if (!OpenFace(r, name) || FT_Set_Char_Size(r->face, 0, 0x1900, 72, 72) != 0) {
        FreeRecord(r);
        return 0;
    }
    uint32_t codes[255 - 33 + 1];
    for (uint32_t c = 33; c <= 255; c++) codes[c - 33] = c;
    int32_t top, descent;
    if (!GlyphExtent(r->face, codes, 255 - 33 + 1, &top, &descent) || top + descent <= 0) {
        FreeRecord(r);
        return 0;
    }
    int64_t em = (int64_t)pixelSize * 100 / (top + descent);
    if (em < 2) em = 2;
    if (em > 0x7FFF || FT_Set_Pixel_Sizes(r->face, 0, (FT_UInt)(em - 1)) != 0) {
        FreeRecord(r);
        return 0;
    }
    r->emSize = (int32_t)em;
    font->kind = FONTKIND_INBUILT;
    font->scalable = 1;
    font->antiAlias = 1;
    font->size = pixelSize;
    font->lineHeight = font->unscaledLineHeight = pixelSize;
    font->engineData = r;
    ComputeBaseline(font, r);
    font->unscaledBaseline = font->baseline;
    const char *family = r->face->family_name ? r->face->family_name : "";
    const char *style = r->face->style_name ? r->face->style_name : "";
    if (style[0] && !IsRegularStyleName(style))
        snprintf(font->name, sizeof font->name, "%s %s", family, style);
    else
        snprintf(font->name, sizeof font->name, "%s", family);
    return 1;
}

void CloseInbuiltFont(FontHandle *font)
{
    FreeRecord((InbuiltFontRecord *)font->engineData);
    font->engineData = nullptr;
}

void FreeInbuiltGlyphCache(FontHandle *font)
{
    InbuiltFontRecord *r = (InbuiltFontRecord *)font->engineData;
    if (r) FreeGlyphCaches(r);
}

void SetInbuiltFontScale(FontHandle *font, double xScale, double yScale)
{
    InbuiltFontRecord *r = (InbuiltFontRecord *)font->engineData;
    if (!r) return;
    FreeGlyphCaches(r);
    r->prefix.length = 0;
    FT_Matrix m;
    m.xx = (FT_Fixed)lround(xScale * 65536.0);
    m.xy = m.yx = 0;
    m.yy = (FT_Fixed)lround(yScale * 65536.0);
    FT_Set_Transform(r->face, &m, nullptr);
    ComputeBaseline(font, r);
}

// One rendered glyph: its bitmap, its left and top and its untransformed advance (26.6).
struct GlyphImage {
    const FT_Bitmap *bitmap;
    int32_t left, top;
    FT_Pos advance;
};

// Loads (or takes from the cache) the glyph of a character; 0, or -1 when it fails.
static int LoadGlyphCached(InbuiltFontRecord *r, uint32_t code, FT_UInt index, int32_t style, GlyphImage *out)
{
    int cacheable = r->cacheFlag && code < GLYPH_CACHE_SIZE && !(style & (TEXTSTYLE_BOLD | TEXTSTYLE_ITALIC));
    CachedGlyph *slot = nullptr;
    if (cacheable) {
        slot = (style & TEXTSTYLE_ANTIALIAS) ? &r->aaCache[code] : &r->monoCache[code];
        if (slot->glyph) {
            FT_BitmapGlyph g = (FT_BitmapGlyph)slot->glyph;
            *out = {&g->bitmap, g->left, g->top, slot->advance};
            return 0;
        }
    }
    if (FT_Load_Glyph(r->face, index, FT_LOAD_NO_AUTOHINT) != 0) return -1;
    FT_GlyphSlot gs = r->face->glyph;
    if (style & TEXTSTYLE_BOLD) FT_GlyphSlot_Embolden(gs);
    if (style & TEXTSTYLE_ITALIC) FT_GlyphSlot_Oblique(gs);
    if (FT_Render_Glyph(gs, GlyphRenderMode(style)) != 0) return -1;
    *out = {&gs->bitmap, gs->bitmap_left, gs->bitmap_top, gs->metrics.horiAdvance};
    if (slot) {
        FT_Glyph copy;
        if (FT_Get_Glyph(gs, &copy) == 0) {
            if (copy->format == FT_GLYPH_FORMAT_BITMAP) {
                slot->glyph = copy;
                slot->advance = gs->metrics.horiAdvance;
                FT_BitmapGlyph g = (FT_BitmapGlyph)copy;
                *out = {&g->bitmap, g->left, g->top, slot->advance};
            } else {
                FT_Done_Glyph(copy);
            }
        }
    }
    return 0;
}

// The advance of a character in pixels, with the kerning toward the next glyph (0: none).
static int32_t CharacterAdvance(const InbuiltFontRecord *r, const FontHandle *font, FT_Pos advance, FT_UInt index,
                                FT_UInt next)
{
    int64_t kerning = 0;
    if (next && FT_HAS_KERNING(r->face)) {
        FT_Vector k;
        if (FT_Get_Kerning(r->face, index, next, FT_KERNING_UNSCALED, &k) == 0) kerning = (int16_t)k.x;
    }
    int64_t ppem = r->face->size->metrics.x_ppem ? r->face->size->metrics.x_ppem : 1;
    int64_t units = r->face->units_per_EM ? r->face->units_per_EM : 1;
    int64_t value = (((int64_t)advance << 10) / ppem + (kerning << 16) / units) * r->emSize / 65536;
    return (int32_t)lround((double)value * font->xScale);
}

// Walks the characters of a text from byte `start` with the pen at `pen`: calls `glyph` for
// every character whose glyph loads, with the pen before it; returns the pen after the text and
// the byte offset of the last character in *lastStart and the pen before it in *penBeforeLast.
typedef void (*GlyphVisitor)(void *context, int32_t pen, uint32_t code, const GlyphImage *image);
static int32_t WalkText(InbuiltFontRecord *r, FontHandle *font, const char *text, int32_t length, int32_t start,
                        int32_t pen, int32_t style, int utf8, GlyphVisitor visit, void *context, int32_t *lastStart,
                        int32_t *penBeforeLast)
{
    int32_t pos = start;
    if (lastStart) {
        *lastStart = start;
        *penBeforeLast = pen;
    }
    uint32_t code = pos < length ? NextTextCode(text, length, &pos, utf8) : 0;
    FT_UInt index = start < length ? FT_Get_Char_Index(r->face, code) : 0;
    int32_t codeStart = start;
    while (codeStart < length) {
        int32_t nextStart = pos;
        uint32_t next = pos < length ? NextTextCode(text, length, &pos, utf8) : 0;
        FT_UInt nextIndex = nextStart < length ? FT_Get_Char_Index(r->face, next) : 0;
        GlyphImage image;
        if (lastStart) {
            *lastStart = codeStart;
            *penBeforeLast = pen;
        }
        if (index && LoadGlyphCached(r, code, index, style, &image) == 0) {
            visit(context, pen, code, &image);
            pen += CharacterAdvance(r, font, image.advance, index, nextIndex);
        }
        code = next;
        index = nextIndex;
        codeStart = nextStart;
    }
    return pen;
}

struct InkBox {
    int32_t minX, minY, maxX, maxY;
};

static void WidenInk(void *context, int32_t pen, uint32_t code, const GlyphImage *image)
{
    if (code == 32) return;
    InkBox *box = (InkBox *)context;
    int32_t left = pen + image->left, right = left + (int32_t)image->bitmap->width;
    int32_t top = -image->top, bottom = top + (int32_t)image->bitmap->rows;
    if (left < box->minX) box->minX = left;
    if (top < box->minY) box->minY = top;
    if (right > box->maxX) box->maxX = right;
    if (bottom > box->maxY) box->maxY = bottom;
}

// 1 when a UTF-8 text ends inside an incomplete sequence (a longer text may complete it).
static int EndsInsideSequence(const char *text, int32_t length)
{
    for (int32_t back = 1; back <= 3 && back <= length; back++) {
        uint8_t b = (uint8_t)text[length - back];
        if ((b & 0xC0) == 0x80) continue;
        int need = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        return need > back;
    }
    return 0;
}

int MeasureInbuiltText(FontHandle *font, const char *text, int32_t length, int32_t style, int utf8,
                       TextMetrics *metrics)
{
    InbuiltFontRecord *r = (InbuiltFontRecord *)font->engineData;
    memset(metrics, 0, sizeof *metrics);
    metrics->lineHeight = font->lineHeight;
    if (!r) return 0;
    PrefixCache *p = &r->prefix;
    InkBox box = {10000, 10000, 0, 0};
    int32_t start = 0, pen = 0;
    if (p->length > 0 && length > p->length && p->style == style && p->utf8 == utf8 && p->xScale == font->xScale &&
        p->yScale == font->yScale && memcmp(p->text, text, (size_t)p->length) == 0) {
        start = p->lastStart;
        pen = p->penBeforeLast;
        box = {p->minX, p->minY, p->maxX, p->maxY};
    }
    int32_t lastStart, penBeforeLast;
    pen = WalkText(r, font, text, length, start, pen, style, utf8, WidenInk, &box, &lastStart, &penBeforeLast);
    metrics->advance = pen;
    metrics->inkLeft = box.minX == 10000 ? 0 : box.minX;
    metrics->inkTop = box.minY == 10000 ? 0 : box.minY;
    metrics->inkRight = box.maxX;
    metrics->inkBottom = box.maxY;
    p->length = 0;
    if (length > 0 && length < PREFIX_CACHE_SIZE && !(utf8 && EndsInsideSequence(text, length))) {
        memcpy(p->text, text, (size_t)length);
        p->length = length;
        p->style = style;
        p->utf8 = utf8;
        p->xScale = font->xScale;
        p->yScale = font->yScale;
        p->lastStart = lastStart;
        p->penBeforeLast = penBeforeLast;
        p->minX = box.minX;
        p->minY = box.minY;
        p->maxX = box.maxX;
        p->maxY = box.maxY;
        p->metrics = *metrics;
    }
    return 0;
}

struct RenderContext {
    void *target;
    int32_t y;
    const FontClip *clip;
    int32_t colour;
};

static void DrawGlyph(void *context, int32_t pen, uint32_t code, const GlyphImage *image)
{
    RenderContext *c = (RenderContext *)context;
    DrawGlyphBitmap(image->bitmap, c->target, pen + image->left, c->y - image->top, c->clip, c->colour);
}

int RenderInbuiltText(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text,
                      int32_t length, int32_t style, int utf8, const FontClip *clip, int32_t colour)
{
    InbuiltFontRecord *r = (InbuiltFontRecord *)font->engineData;
    if (!r || !target) return 0;
    RenderContext c = {target, y + font->baseline, clip, colour};
    WalkText(r, font, text, length, 0, x, style, utf8, DrawGlyph, &c, nullptr, nullptr);
    return 0;
}
