// The native text engine over fontconfig, FreeType and HarfBuzz. A font is the installed face
// whose full name equals the requested name (case ignored), or a linked font file read into
// memory. Its pixel size is searched so that ascent + descent equals the requested height; runs
// are shaped by HarfBuzz and their glyphs rendered by FreeType, scaled by the handle's scale.
#include "text/native_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include <hb-ft.h>
#include <hb.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "text/font_file.h"
#include "text/font_manager.h"
#include "text/glyph_draw.h"
#include "text/shaper_library.h"
#include "text/text_codes.h"

static const size_t kMaxLinkedFontSize = 64u << 20;

struct NativeFontRecord {
    FT_Face face;
    hb_font_t *shaper;
    hb_buffer_t *buffer;
    uint8_t *memory;            // bytes of a linked font (FreeType reads them while the face lives)
    uint32_t codes[NATIVE_TEXT_LIMIT];
};

static FT_Library NativeLibrary = nullptr;

int InitNativeFontEngine(void)
{
    if (NativeLibrary) return 0;
    return FT_Init_FreeType(&NativeLibrary) == 0 ? 0 : 1386;
}

void OsFontCleanup(void)
{
    if (NativeLibrary) FT_Done_FreeType(NativeLibrary);
    NativeLibrary = nullptr;
}

static void FreeRecord(NativeFontRecord *r)
{
    if (!r) return;
    // A shaper or buffer exists only once the shaper library is open.
    if (r->buffer) ShaperLibrary()->bufferDestroy(r->buffer);
    if (r->shaper) ShaperLibrary()->fontDestroy(r->shaper);
    if (r->face) FT_Done_Face(r->face);
    MemFree(r->memory);
    MemFree(r);
}

// Latin-1 text as UTF-8 (at most size - 1 bytes); 0 when it does not fit.
static int Latin1ToUtf8(const char *text, char *out, size_t size)
{
    size_t n = 0;
    for (const uint8_t *p = (const uint8_t *)text; *p; p++) {
        if (n + 3 > size) return 0;
        if (*p < 0x80) out[n++] = (char)*p;
        else out[n++] = (char)(0xC0 | (*p >> 6)), out[n++] = (char)(0x80 | (*p & 0x3F));
    }
    out[n] = 0;
    return 1;
}

// Finds the installed face whose full name equals name: 1 with its file (UTF-8) and index.
static int FindInstalledFace(const char *name, char *file, size_t size, int *index, char *fullName, size_t nameSize)
{
    char wanted[1024];
    if (!Latin1ToUtf8(name, wanted, sizeof wanted)) return 0;
    FcPattern *pattern = FcPatternCreate();
    FcObjectSet *objects = FcObjectSetBuild(FC_FULLNAME, FC_FILE, FC_INDEX, (char *)nullptr);
    FcFontSet *set = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    int found = 0;
    for (int i = 0; set && i < set->nfont; i++) {
        FcChar8 *full, *path;
        int faceIndex = 0;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &path) != FcResultMatch) continue;
        FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &faceIndex);
        for (int k = 0; FcPatternGetString(set->fonts[i], FC_FULLNAME, k, &full) == FcResultMatch; k++) {
            if (strcasecmp((const char *)full, wanted) != 0) continue;
            // Several files may carry the name: the first path wins, so the choice is stable.
            if (!found || strcmp((const char *)path, file) < 0) {
                snprintf(file, size, "%s", (const char *)path);
                snprintf(fullName, nameSize, "%s", (const char *)full);
                *index = faceIndex;
                found = 1;
            }
            break;
        }
    }
    if (set) FcFontSetDestroy(set);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    return found;
}

// Pixels of ascent and descent at the face's current size.
static void LineExtent(FT_Face face, int32_t *ascent, int32_t *descent)
{
    *ascent = (int32_t)((face->size->metrics.ascender + 63) >> 6);
    *descent = (int32_t)((-face->size->metrics.descender + 63) >> 6);
}

// UTF-8 text into the Latin-1 handle name.
static void SetHandleName(FontHandle *font, const char *utf8)
{
    int32_t length = (int32_t)strlen(utf8), pos = 0;
    size_t n = 0;
    while (pos < length && n + 1 < 1024) {
        uint32_t c = NextTextCode(utf8, length, &pos, 1);
        font->name[n++] = (char)(c > 255 ? '?' : c);
    }
    font->name[n] = 0;
}

int OsOpenFont(const char *name, int32_t pixelSize, int32_t flags, FontHandle *font)
{
    if (!NativeLibrary || pixelSize < 1) return 0;
    NativeFontRecord *r = (NativeFontRecord *)MemAlloc(sizeof(NativeFontRecord), 1);
    if (!r) return 0;
    char faceName[1024] = "";
    if (IsVirtualName(name)) {
        size_t size;
        if (!ReadWholeFontFile(name, kMaxLinkedFontSize, &r->memory, &size) ||
            FT_New_Memory_Face(NativeLibrary, r->memory, (FT_Long)size, 0, &r->face) != 0) {
            FreeRecord(r);
            return 0;
        }
        const char *family = r->face->family_name ? r->face->family_name : "";
        const char *style = r->face->style_name ? r->face->style_name : "";
        if (style[0] && !IsRegularStyleName(style)) snprintf(faceName, sizeof faceName, "%s %s", family, style);
        else snprintf(faceName, sizeof faceName, "%s", family);
    } else {
        char file[4096];
        int index = 0;
        if (!FindInstalledFace(name, file, sizeof file, &index, faceName, sizeof faceName) ||
            FT_New_Face(NativeLibrary, file, index, &r->face) != 0) {
            FreeRecord(r);
            return 0;
        }
    }
    if (!FT_IS_SCALABLE(r->face) || r->face->ascender - r->face->descender <= 0) {
        FreeRecord(r);
        return 0;
    }
    // Search the pixel size whose ascent + descent is the requested height.
    int64_t pixels = lround((double)pixelSize * r->face->units_per_EM / (r->face->ascender - r->face->descender));
    if (pixels < 1) pixels = 1;
    int direction = 0;
    int32_t ascent = 0, descent = 0;
    for (int step = 0; step < 4096; step++) {
        if (pixels > 0xFFFF || FT_Set_Pixel_Sizes(r->face, 0, (FT_UInt)pixels) != 0) {
            FreeRecord(r);
            return 0;
        }
        LineExtent(r->face, &ascent, &descent);
        int32_t height = ascent + descent;
        if (height == pixelSize) break;
        if (height < pixelSize) {
            if (direction < 0) break;
            direction = 1;
            pixels++;
        } else {
            if (direction > 0 || pixels == 1) break;
            direction = -1;
            pixels--;
        }
    }
    const ShaperRoutines *hb = ShaperLibrary();
    if (hb) {
        r->shaper = hb->fontCreateReferenced(r->face);
        r->buffer = hb->bufferCreate();
    }
    if (!r->shaper || !hb->bufferAllocationSuccessful(r->buffer)) {
        FreeRecord(r);
        return 0;
    }
    font->kind = FONTKIND_NATIVE;
    font->scalable = 1;
    font->antiAlias = 1;
    font->size = pixelSize;
    font->lineHeight = font->unscaledLineHeight = ascent + descent;
    font->baseline = font->unscaledBaseline = ascent;
    font->engineData = r;
    SetHandleName(font, faceName);
    (void)flags;
    return 1;
}

void OsCloseFont(FontHandle *font)
{
    FreeRecord((NativeFontRecord *)font->engineData);
    font->engineData = nullptr;
}

int OsNativeFontQuery(int32_t styleBit)
{
    return styleBit == TEXTSTYLE_BOLD || styleBit == TEXTSTYLE_ITALIC;
}

void OsSetFontScale(FontHandle *font, double xScale, double yScale) {}

struct NativeInk {
    int32_t minX, minY, maxX, maxY;
    int any;
};

// Shapes the text and renders every glyph; with a target the glyphs are drawn, and the ink box
// and the advance are gathered either way. 0, 1066 or 1304.
static int LayOutRun(FontHandle *font, const char *text, int32_t length, int32_t style, int utf8, void *target,
                     int32_t x, int32_t y, const FontClip *clip, int32_t colour, int32_t *advance, NativeInk *ink)
{
    NativeFontRecord *r = (NativeFontRecord *)font->engineData;
    *ink = {0, 0, 0, 0, 0};
    *advance = 0;
    if (!r) return 0;
    if (length > NATIVE_TEXT_LIMIT) return 1066;
    int32_t count = 0;
    for (int32_t pos = 0; pos < length;) r->codes[count++] = NextTextCode(text, length, &pos, utf8);
    const ShaperRoutines *hb = ShaperLibrary();   // open: the font has a shaper
    hb->bufferClearContents(r->buffer);
    hb->bufferAddCodepoints(r->buffer, r->codes, count, 0, count);
    hb->bufferGuessSegmentProperties(r->buffer);
    hb->shape(r->shaper, r->buffer, nullptr, 0);
    if (!hb->bufferAllocationSuccessful(r->buffer)) return 1304;
    unsigned int glyphCount;
    hb_glyph_info_t *info = hb->bufferGetGlyphInfos(r->buffer, &glyphCount);
    hb_glyph_position_t *position = hb->bufferGetGlyphPositions(r->buffer, &glyphCount);

    FT_Matrix m;
    m.xx = (FT_Fixed)lround(font->xScale * 65536.0);
    m.xy = m.yx = 0;
    m.yy = (FT_Fixed)lround(font->yScale * 65536.0);
    FT_Set_Transform(r->face, &m, nullptr);
    int64_t pen = 0;   // 26.6, unscaled
    int code = 0;
    for (unsigned int i = 0; i < glyphCount && code == 0; i++) {
        if (FT_Load_Glyph(r->face, info[i].codepoint, FT_LOAD_NO_AUTOHINT) != 0) {
            code = 1304;
            break;
        }
        FT_GlyphSlot gs = r->face->glyph;
        if (style & TEXTSTYLE_BOLD) FT_GlyphSlot_Embolden(gs);
        if (style & TEXTSTYLE_ITALIC) FT_GlyphSlot_Oblique(gs);
        if (FT_Render_Glyph(gs, GlyphRenderMode(style)) != 0) {
            code = 1304;
            break;
        }
        int32_t gx = (int32_t)(((double)(pen + position[i].x_offset) * font->xScale) / 64.0) + gs->bitmap_left;
        int32_t gy = -(int32_t)(((double)position[i].y_offset * font->yScale) / 64.0) - gs->bitmap_top;
        if (gs->bitmap.width > 0 && gs->bitmap.rows > 0) {
            int32_t right = gx + (int32_t)gs->bitmap.width, bottom = gy + (int32_t)gs->bitmap.rows;
            if (!ink->any || gx < ink->minX) ink->minX = gx;
            if (!ink->any || gy < ink->minY) ink->minY = gy;
            if (!ink->any || right > ink->maxX) ink->maxX = right;
            if (!ink->any || bottom > ink->maxY) ink->maxY = bottom;
            ink->any = 1;
            if (target) DrawGlyphBitmap(&gs->bitmap, target, x + gx, y + font->baseline + gy, clip, colour);
        }
        pen += position[i].x_advance;
    }
    FT_Set_Transform(r->face, nullptr, nullptr);
    *advance = (int32_t)(((double)pen * font->xScale) / 64.0);
    return code;
}

int OsTextExtent(FontHandle *font, const char *text, int32_t length, int32_t style, int utf8, TextMetrics *metrics)
{
    int32_t advance;
    NativeInk ink;
    int code = LayOutRun(font, text, length, style, utf8, nullptr, 0, 0, nullptr, 0, &advance, &ink);
    if (code) return code;
    metrics->advance = advance;
    metrics->lineHeight = font->lineHeight;
    metrics->inkLeft = ink.minX;
    metrics->inkTop = ink.minY;
    metrics->inkRight = ink.maxX;
    metrics->inkBottom = ink.maxY;
    return 0;
}

int OsRenderText(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text, int32_t length,
                 int32_t style, int utf8, const FontClip *clip, int32_t colour)
{
    if (!target) return 0;
    int32_t advance;
    NativeInk ink;
    return LayOutRun(font, text, length, style, utf8, target, x, y, clip, colour, &advance, &ink);
}
