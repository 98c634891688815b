// Disk bitmap fonts: reading the contents and size files, measuring and drawing text, and the
// built-in 8x8 font. A size file is read whole and every field, table and pointer is checked
// against its length before use, so a damaged file is simply no font.
#include "text/bitmap_font.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "text/font_file.h"
#include "text/text_codes.h"

// Size files above this are no fonts (glyph strips of real fonts are a few hundred kilobytes).
static const size_t kMaxFontFileSize = 16u << 20;
// Largest glyph picture of a colour font, in pixels.
static const uint64_t kMaxColourPixels = 1u << 24;
// Offsets inside a size file.
enum {
    SF_FILE_ID = 50, SF_TEXTFONT = 110, SF_COLORFONT = 142, SF_HUNK_DATA = 32,
    CONTENTS_ENTRY_SIZE = 260, CONTENTS_NAME_SIZE = 256
};

static int EndsWithFont(const char *name)
{
    size_t n = strlen(name);
    return n >= 5 && strcasecmp(name + n - 5, ".font") == 0;
}

int FindBitmapFontFile(const char *name, char *path, size_t size)
{
    const char *suffix = EndsWithFont(name) ? "" : ".font";
    const char *prefixes[] = {"", "Fonts/"};
    for (const char *prefix : prefixes) {
        int n = snprintf(path, size, "%s%s%s", prefix, name, suffix);
        if (n < 0 || (size_t)n >= size) continue;
        FileHandle *fh = FOpen(path, FMODE_READ);
        if (fh) {
            FClose(fh);
            return 1;
        }
    }
    return 0;
}

// The size file's name for a contents entry; 1, or 0 when it can't be built.
static int SizeFileName(const char *contents, const char *entry, char *out, size_t size)
{
    ChunkNameParts parts;
    if (ParseChunkName(contents, &parts)) {
        // Linked: the entry names a linked file by its offset relative to the applet.
        if (strncmp(entry, ":::chunk", 8) != 0 || parts.memory) return 0;
        const char *p = entry + 8;
        unsigned long long offset = 0;
        if (*p < '0' || *p > '9') return 0;
        while (*p >= '0' && *p <= '9') {
            if (offset > (UINT64_MAX - 9) / 10) return 0;
            offset = offset * 10 + (unsigned)(*p++ - '0');
        }
        int64_t start = GetLinkedAppletStart();
        if (start < 0 || offset > (unsigned long long)INT64_MAX - (unsigned long long)start) return 0;
        int n = snprintf(out, size, ":::chunk%llu%s%s", offset + (unsigned long long)start, p, parts.container);
        return n >= 0 && (size_t)n < size;
    }
    size_t dirLength = (size_t)(DirPartEnd(contents) - contents);
    if (dirLength >= size) return 0;
    memcpy(out, contents, dirLength);
    out[dirLength] = 0;
    return AddPart(out, entry, size);
}

// Finds the entry of the requested size in a contents file: 1 with the size file's name.
static int FindSizeFile(const char *contents, int32_t size, char *sizeFile, size_t capacity)
{
    uint8_t *data;
    size_t length;
    if (!ReadWholeFontFile(contents, kMaxFontFileSize, &data, &length)) return 0;
    uint32_t id, count;
    int found = 0;
    if (PeekBE16(data, length, 0, &id) && (id == 0x0f00 || id == 0x0f02) && PeekBE16(data, length, 2, &count)) {
        for (uint32_t i = 0; i < count && !found; i++) {
            uint64_t at = 4 + (uint64_t)i * CONTENTS_ENTRY_SIZE;
            uint32_t ySize;
            if (!PeekBE16(data, length, at + CONTENTS_NAME_SIZE, &ySize)) break;
            char entry[CONTENTS_NAME_SIZE];
            memcpy(entry, data + at, CONTENTS_NAME_SIZE);
            entry[CONTENTS_NAME_SIZE - 1] = 0;
            if ((int32_t)ySize != size || strcmp(entry, "::incomplete") == 0) continue;
            found = SizeFileName(contents, entry, sizeFile, capacity);
            if (!found) break;
        }
    }
    MemFree(data);
    return found;
}

static void FreeGlyphs(BitmapFontGlyphs *g)
{
    if (!g) return;
    FreeMask(g->glyphMask);
    if (!g->staticData) {
        MemFree(g->glyphData);
        MemFree(g->locations);
    }
    MemFree(g->spacing);
    MemFree(g->kerning);
    MemFree(g);
}

// A copy of `count` 16-bit entries at pointer p (relative to the hunk data); none on failure.
static int16_t *ReadTable16(const uint8_t *d, size_t n, uint32_t p, uint32_t count)
{
    uint64_t at = (uint64_t)p + SF_HUNK_DATA;
    if (!InsideBuffer(n, at, (uint64_t)count * 2)) return nullptr;
    int16_t *table = (int16_t *)MemAlloc((size_t)count * 2, 0);
    if (!table) return nullptr;
    for (uint32_t i = 0; i < count; i++) table[i] = (int16_t)(d[at + 2 * i] << 8 | d[at + 2 * i + 1]);
    return table;
}

// Composes a colour font's glyph picture from its planes and colour table into the handle.
static int ReadColourGlyphs(const uint8_t *d, size_t n, BitmapFontGlyphs *g, FontHandle *font)
{
    uint32_t depth, planePick, colourTable;
    if (!InsideBuffer(n, SF_COLORFONT, 12 + 32) || !PeekBE32(d, n, SF_COLORFONT + 8, &colourTable)) return 0;
    depth = d[SF_COLORFONT + 2];
    planePick = d[SF_COLORFONT + 6];
    if (depth > 8) depth = 8;
    uint64_t planeBytes = (uint64_t)g->ySize * (uint64_t)g->modulo;
    const uint8_t *planes[8];
    int planeCount = 0;
    for (uint32_t i = 0; i < depth; i++) {
        if (!(planePick & (1u << i))) continue;
        uint32_t p;
        PeekBE32(d, n, SF_COLORFONT + 12 + 4 * (uint64_t)planeCount, &p);
        uint64_t at = (uint64_t)p + SF_HUNK_DATA;
        if (!InsideBuffer(n, at, planeBytes)) return 0;
        planes[planeCount++] = d + at;
    }
    // A picture without planes has no glyphs; one beyond kMaxColourPixels is no real font.
    if (planeCount == 0 || planeBytes * 8 > kMaxColourPixels) return 0;
    uint32_t colourCount, colours;
    uint64_t table = (uint64_t)colourTable + SF_HUNK_DATA;
    if (!PeekBE16(d, n, table + 2, &colourCount) || !PeekBE32(d, n, table + 4, &colours)) return 0;
    uint64_t coloursAt = (uint64_t)colours + SF_HUNK_DATA;
    if (!InsideBuffer(n, coloursAt, (uint64_t)colourCount * 2)) return 0;

    int32_t width = g->modulo * 8, height = g->ySize;
    uint32_t *words = (uint32_t *)MemAlloc((size_t)width * (size_t)height * 4, 0);
    Mask *mask = AllocMask(nullptr, width, height, 1);
    BitMap *bitmap = nullptr;
    if (!words || !mask) goto fail;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            uint32_t index = 0;
            size_t byte = (size_t)y * (size_t)g->modulo + (size_t)(x >> 3);
            for (int i = 0; i < planeCount; i++)
                if (planes[i][byte] & (0x80 >> (x & 7))) index |= 1u << i;
            uint32_t rgb = BITMAPFONT_KEY_COLOUR;
            if (index != 0) {
                PutMaskRowBit(mask->pixels + (size_t)y * (size_t)mask->bytesPerRow, x, 1);
                rgb = 0;
                if (index < colourCount) {
                    uint32_t w = (uint32_t)d[coloursAt + 2 * index] << 8 | d[coloursAt + 2 * index + 1];
                    rgb = ((w >> 8) & 15) * 0x110000 + ((w >> 4) & 15) * 0x1100 + (w & 15) * 0x11;
                }
            }
            words[(size_t)y * (size_t)width + (size_t)x] = rgb;
        }
    }
    if (BitMapFromARGB(words, -1, width, height, width, &bitmap, nullptr) != 0) goto fail;
    MemFree(words);
    font->glyphBitMap = bitmap;
    font->glyphMask = mask;
    return 1;
fail:
    MemFree(words);
    FreeMask(mask);
    return 0;
}

// Reads a size file into a new glyph record; none when it is no valid font.
static BitmapFontGlyphs *ReadSizeFile(const char *path, FontHandle *font)
{
    uint8_t *d;
    size_t n;
    if (!ReadWholeFontFile(path, kMaxFontFileSize, &d, &n)) return nullptr;
    BitmapFontGlyphs *g = (BitmapFontGlyphs *)MemAlloc(sizeof(BitmapFontGlyphs), 1);
    uint32_t id, v[8], glyphPtr, locPtr, spacingPtr, kernPtr;
    if (!g || !PeekBE16(d, n, SF_FILE_ID, &id) || id != 0x0f80 || !InsideBuffer(n, SF_TEXTFONT, 32)) goto fail;
    PeekBE16(d, n, SF_TEXTFONT, &v[0]);
    g->ySize = (int32_t)v[0];
    g->style = d[SF_TEXTFONT + 2];
    g->flags = d[SF_TEXTFONT + 3];
    PeekBE16(d, n, SF_TEXTFONT + 4, &v[1]);
    PeekBE16(d, n, SF_TEXTFONT + 6, &v[2]);
    PeekBE16(d, n, SF_TEXTFONT + 8, &v[3]);
    PeekBE16(d, n, SF_TEXTFONT + 10, &v[4]);
    g->xSize = (int32_t)v[1];
    g->baseline = (int32_t)v[2];
    g->boldSmear = (int32_t)v[3];
    g->accessors = (int32_t)v[4];
    g->lowChar = d[SF_TEXTFONT + 12];
    g->highChar = d[SF_TEXTFONT + 13];
    PeekBE32(d, n, SF_TEXTFONT + 14, &glyphPtr);
    PeekBE16(d, n, SF_TEXTFONT + 18, &v[5]);
    g->modulo = (int32_t)v[5];
    PeekBE32(d, n, SF_TEXTFONT + 20, &locPtr);
    PeekBE32(d, n, SF_TEXTFONT + 24, &spacingPtr);
    PeekBE32(d, n, SF_TEXTFONT + 28, &kernPtr);
    if (g->ySize < 1 || g->modulo < 1 || g->highChar < g->lowChar) goto fail;
    g->glyphCount = g->highChar - g->lowChar + 2;

    {   // Locations: every glyph must lie inside the strip.
        uint64_t at = (uint64_t)locPtr + SF_HUNK_DATA;
        if (!InsideBuffer(n, at, (uint64_t)g->glyphCount * 4)) goto fail;
        g->locations = (uint32_t *)MemAlloc((size_t)g->glyphCount * 4, 0);
        if (!g->locations) goto fail;
        for (int32_t i = 0; i < g->glyphCount; i++) {
            PeekBE32(d, n, at + 4 * (uint64_t)i, &g->locations[i]);
            if ((g->locations[i] >> 16) + (g->locations[i] & 0xFFFF) > (uint32_t)g->modulo * 8) goto fail;
        }
    }
    if (spacingPtr && !(g->spacing = ReadTable16(d, n, spacingPtr, (uint32_t)g->glyphCount))) goto fail;
    if (kernPtr && !(g->kerning = ReadTable16(d, n, kernPtr, (uint32_t)g->glyphCount))) goto fail;

    font->kind = FONTKIND_BITMAP;
    if (g->style & BITMAPFONT_COLOUR) {
        if (!ReadColourGlyphs(d, n, g, font)) goto fail;
        font->kind = FONTKIND_COLOURBITMAP;
    } else {
        uint64_t at = (uint64_t)glyphPtr + SF_HUNK_DATA, bytes = (uint64_t)g->ySize * (uint64_t)g->modulo;
        if (!InsideBuffer(n, at, bytes)) goto fail;
        g->glyphData = (uint8_t *)MemAlloc((size_t)bytes, 0);
        if (!g->glyphData) goto fail;
        memcpy(g->glyphData, d + at, (size_t)bytes);
        g->glyphMask = WrapMask(g->glyphData, g->modulo);
        if (!g->glyphMask) goto fail;
        g->glyphMask->width = g->modulo * 8;
        g->glyphMask->height = g->ySize;
    }
    MemFree(d);
    return g;
fail:
    MemFree(d);
    FreeGlyphs(g);
    return nullptr;
}

int LoadBitmapFont(const char *name, int32_t size, FontHandle *font)
{
    char contents[KV_PATH_SIZE], ownName[KV_PATH_SIZE], sizeFile[KV_PATH_SIZE];
    if (IsVirtualName(name)) {
        if (strlen(name) >= sizeof contents) return 0;
        strcpy(contents, name);
        snprintf(ownName, sizeof ownName, "%s", GetFilePart(name));
    } else {
        int n = snprintf(contents, sizeof contents, "%s%s", name, EndsWithFont(name) ? "" : ".font");
        if (n < 0 || (size_t)n >= sizeof contents) return 0;
        snprintf(ownName, sizeof ownName, "%s", GetFilePart(name));
    }
    if (EndsWithFont(ownName)) ownName[strlen(ownName) - 5] = 0;
    if (!FindSizeFile(contents, size, sizeFile, sizeof sizeFile)) return 0;
    BitmapFontGlyphs *g = ReadSizeFile(sizeFile, font);
    if (!g) return 0;
    font->engineData = g;
    font->lineHeight = font->unscaledLineHeight = g->ySize;
    font->baseline = font->unscaledBaseline = g->baseline;
    font->size = size;
    font->antiAlias = 0;
    font->scalable = 0;
    snprintf(font->name, sizeof font->name, "%s", ownName);
    return 1;
}

void CloseBitmapFont(FontHandle *font)
{
    FreeGlyphs((BitmapFontGlyphs *)font->engineData);
    font->engineData = nullptr;
    FreeBitMap(font->glyphBitMap);
    FreeMask(font->glyphMask);
    font->glyphBitMap = nullptr;
    font->glyphMask = nullptr;
}

static int IsFixedWidth(const BitmapFontGlyphs *g)
{
    return !(g->flags & BITMAPFONT_PROPORTIONAL) && !g->spacing && !g->kerning;
}

int BitmapFontTextLength(FontHandle *font, const char *text, int32_t length, int32_t style, int32_t encoding,
                         TextMetrics *metrics)
{
    const BitmapFontGlyphs *g = (const BitmapFontGlyphs *)font->engineData;
    int utf8 = encoding == ENCODING_UTF8;
    metrics->lineHeight = g->ySize;
    metrics->inkTop = -g->baseline;
    metrics->inkBottom = g->ySize - g->baseline - 1;
    int64_t pen = 0, least = 0, greatest = 0;
    int32_t count = 0;
    for (int32_t pos = 0; pos < length;) {
        int32_t glyph = BitmapFontGlyphIndex(g, NextTextCode(text, length, &pos, utf8));
        count++;
        if (g->kerning) pen += g->kerning[glyph];
        int64_t right = pen + (int64_t)(g->locations[glyph] & 0xFFFF);
        if (pen < least) least = pen;
        if (right > greatest) greatest = right;
        pen += g->spacing ? g->spacing[glyph] : g->xSize;
        if (pen < least) least = pen;
        if (pen > greatest) greatest = pen;
    }
    if (IsFixedWidth(g)) {
        metrics->advance = count * g->xSize;
        metrics->inkLeft = 0;
        metrics->inkRight = metrics->advance - 1;
    } else {
        metrics->advance = (int32_t)pen;
        metrics->inkLeft = (int32_t)least;
        metrics->inkRight = (int32_t)greatest - 1;
    }
    return 0;
}

// Clips a glyph rectangle at (*dx, *dy) of size *w x *h (source at *sx, *sy) to the clip
// rectangle and the target's size; 0 when nothing is left.
static int ClipGlyph(int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy, int32_t *w, int32_t *h, const FontClip *clip,
                     int32_t targetWidth, int32_t targetHeight)
{
    int32_t left = clip ? clip->x : 0, top = clip ? clip->y : 0;
    int64_t right = clip ? (int64_t)clip->x + clip->width : targetWidth;
    int64_t bottom = clip ? (int64_t)clip->y + clip->height : targetHeight;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > targetWidth) right = targetWidth;
    if (bottom > targetHeight) bottom = targetHeight;
    if (*dx < left) { *sx += left - *dx; *w -= left - *dx; *dx = left; }
    if (*dy < top) { *sy += top - *dy; *h -= top - *dy; *dy = top; }
    if ((int64_t)*dx + *w > right) *w = (int32_t)(right - *dx);
    if ((int64_t)*dy + *h > bottom) *h = (int32_t)(bottom - *dy);
    return *w >= 1 && *h >= 1;
}

int RenderBitmapFontText(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text,
                         int32_t length, int32_t style, int32_t encoding, const FontClip *clip, int32_t colour)
{
    const BitmapFontGlyphs *g = (const BitmapFontGlyphs *)font->engineData;
    if (!target) return 0;
    int utf8 = encoding == ENCODING_UTF8;
    int coverage = colour == -1, alphaTarget = coverage && (style & TEXTSTYLE_ANTIALIAS);
    int32_t tw, th;
    if (!coverage) tw = ((BitMap *)target)->width, th = ((BitMap *)target)->height;
    else if (alphaTarget) tw = ((AlphaChannel *)target)->width, th = ((AlphaChannel *)target)->height;
    else tw = ((Mask *)target)->width, th = ((Mask *)target)->height;
    int colourFont = font->kind == FONTKIND_COLOURBITMAP;
    const Mask *glyphs = colourFont ? font->glyphMask : g->glyphMask;
    if (!glyphs || (colourFont && !font->glyphBitMap)) return 0;

    int64_t pen = x;
    for (int32_t pos = 0; pos < length;) {
        int32_t glyph = BitmapFontGlyphIndex(g, NextTextCode(text, length, &pos, utf8));
        if (g->kerning) pen += g->kerning[glyph];
        int32_t sx = (int32_t)(g->locations[glyph] >> 16), sy = 0;
        int32_t w = (int32_t)(g->locations[glyph] & 0xFFFF), h = g->ySize;
        int32_t dx = (int32_t)pen, dy = y;
        if (pen > INT32_MIN && pen < INT32_MAX && ClipGlyph(&sx, &sy, &dx, &dy, &w, &h, clip, tw, th)) {
            if (colourFont && !coverage) {
                BltMask(font->glyphBitMap, sx, sy, (BitMap *)target, dx, dy, w, h, glyphs);
            } else if (alphaTarget) {
                MaskToAlphaRect(glyphs, sx, sy, (AlphaChannel *)target, dx, dy, w, h, 255);
            } else if (coverage) {
                BltMaskToMask(glyphs, sx, sy, (Mask *)target, dx, dy, w, h, MASKVISIBLE);
                BitMap *picture = (BitMap *)second;
                if (colourFont && picture && dx + w <= picture->width && dy + h <= picture->height)
                    BltBitMap(font->glyphBitMap, sx, sy, picture, dx, dy, w, h);
            } else {
                BltTemplate(glyphs, sx, sy, (BitMap *)target, dx, dy, w, h, (uint32_t)colour & 0xFFFFFF);
            }
        }
        pen += g->spacing ? g->spacing[glyph] : g->xSize;
    }
    return 0;
}

int MakeBuiltinFont(FontHandle **result)
{
    FontHandle *font = (FontHandle *)MemAlloc(sizeof(FontHandle), 1);
    BitmapFontGlyphs *g = (BitmapFontGlyphs *)MemAlloc(sizeof(BitmapFontGlyphs), 1);
    Mask *mask = WrapMask(const_cast<uint8_t *>(TopazGlyphData), TOPAZ_MODULO);
    if (!font || !g || !mask) {
        MemFree(font);
        MemFree(g);
        FreeMask(mask);
        return 1000;
    }
    mask->width = TOPAZ_MODULO * 8;
    mask->height = 8;
    g->ySize = 8;
    g->xSize = 8;
    g->baseline = 6;
    g->boldSmear = 1;
    g->lowChar = 32;
    g->highChar = 255;
    g->glyphCount = TOPAZ_GLYPH_COUNT;
    g->modulo = TOPAZ_MODULO;
    g->glyphData = const_cast<uint8_t *>(TopazGlyphData);
    g->locations = const_cast<uint32_t *>(TopazLocations);
    g->glyphMask = mask;
    g->staticData = 1;
    strcpy(font->name, "topaz");
    font->size = 8;
    font->lineHeight = font->unscaledLineHeight = 8;
    font->baseline = font->unscaledBaseline = 6;
    font->kind = FONTKIND_BITMAP;
    font->xScale = font->yScale = 1.0;
    font->engineData = g;
    *result = font;
    return 0;
}

void FreeBitmapFont(FontHandle *font)
{
    if (!font) return;
    FreeGlyphs((BitmapFontGlyphs *)font->engineData);
    MemFree(font);
}
