// Opened fonts, the font cache shared by every user, the script's font objects and the dispatch
// of every font operation to the engine of the font's kind. The rest of the text system reaches
// fonts only through the operations here.
#pragma once
#include <climits>
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"
#include "text/text_state.h"

struct lua_State;

// Kinds of FontHandle.
enum { FONTKIND_BITMAP = 1, FONTKIND_COLOURBITMAP = 2, FONTKIND_NATIVE = 3, FONTKIND_INBUILT = 4 };
// Engines a font is opened with.
enum { FONTENGINE_NATIVE = 0, FONTENGINE_INBUILT = 4 };
enum { FONT_NAME_SIZE = 2048, FONT_CACHE_NAME_SIZE = 1024 };

// One opened font.
struct FontHandle {
    char name[FONT_NAME_SIZE];  // NUL-terminated name of the font
    int32_t size;               // requested size in pixels
    int32_t lineHeight;         // at the current scale
    int32_t baseline;           // pixels from the line top to the baseline, at the current scale
    int32_t unscaledLineHeight;
    int32_t unscaledBaseline;
    int32_t kind;               // FONTKIND_*
    int32_t scalable;           // SetFontScale works
    int32_t antiAlias;          // the engine can render coverage
    double xScale, yScale;      // 1.0 after opening
    void *engineData;           // engine record (BitmapFontGlyphs for kinds 1 and 2)
    BitMap *glyphBitMap;        // kind 2: the glyph picture
    Mask *glyphMask;            // kind 2: its transparency
};

// One shared opened font (singly linked, in opening order; owns its FontHandle).
struct FontCacheEntry {
    FontCacheEntry *next;
    char name[FONT_CACHE_NAME_SIZE];    // the name as mapped by OpenCachedFont
    int32_t size;
    int32_t engine;                     // the engine actually used
    int32_t cacheFlag;
    FontHandle *font;
};

// A script font object (#FONT); the cache owns the font.
struct FontNode {
    FontNode *next;
    ObjectId id;
    FontHandle *font;
};

// The clip rectangle of RenderFontRun.
struct FontClip {
    int32_t x, y, width, height;
};

// ---------------------------------------------------------------------------------------------
// Opening and closing

// Opens a font (or reuses a cached one): the default names are mapped, directory parts and
// ".font" endings handled, the cache consulted, else LoadFont; a failed inbuilt opening is tried
// once more with the native engine. linked: the name came from the applet's linked fonts.
// 0 with *result set, or 1000, 1045, 1064, 1335.
int OpenCachedFont(const char *name, int32_t size, int32_t engine, int32_t cacheFlag, int linked,
                   FontHandle **result);
// The name a font was opened by through the cache (its own name when it was not).
const char *FontOpenName(const FontHandle *font);
// Opens the font again with whichever of name, size, engine and cache flag are given (none, or
// FONT_KEEP for the numbers: as the font was opened; font none: the built-in font). 0 with
// *result set, or OpenCachedFont's error.
enum { FONT_KEEP = INT32_MIN };
int ReopenFont(const FontHandle *font, const char *name, int linked, int32_t size, int32_t engine, int32_t cacheFlag,
               FontHandle **result);
// Opens a new FontHandle; 0 or 1000, 1045, 1064.
int LoadFont(const char *name, int32_t size, int32_t engine, int32_t cacheFlag, int linked,
             FontHandle **result);
// Closes a font by its kind and frees the handle; the built-in font is left alone.
void UnloadFont(FontHandle *font);
// Unloads every cache entry (shutdown).
void FreeFontCache(void);
// The cache list (opening order).
FontCacheEntry *GetFontCache(void);

// Builds the built-in font, starts the native and the inbuilt engine. 0 or the first error.
int InitFontSystem(FontHandle **builtin);
// Frees the built-in font, ends the engines and the font manager's list.
void FontSystemCleanup(void);
// The built-in 8x8 font (none before InitFontSystem).
FontHandle *GetBuiltinFont(void);

// ---------------------------------------------------------------------------------------------
// Operations by kind

// Draws text with the pen at x and the line top at y, clipped to clip. colour -1 draws coverage:
// into a Mask target (set bits), or, with TEXTSTYLE_ANTIALIAS, into an AlphaChannel target;
// colour bitmap fonts then put their glyph picture into `second` (a BitMap). Otherwise target is
// a BitMap drawn in colour 0xRRGGBB. font none = the built-in font. 0 or an engine error.
int RenderFontRun(FontHandle *font, void *target, void *second, int32_t x, int32_t y, const char *text,
                  int32_t length, int32_t style, int32_t encoding, const FontClip *clip, int32_t colour);
// Advance width and ink box of a run; 0 or an engine error.
int MeasureFontRun(FontHandle *font, const char *text, int32_t length, int32_t style, int32_t encoding,
                   TextMetrics *metrics);
// 1 when the font's engine draws that style bit itself.
int FontEngineStyles(FontHandle *font, int32_t styleBit);
// Scales a scalable font: line height and baseline follow, the engine is told.
void SetFontScale(FontHandle *font, double xScale, double yScale);
void FreeFontGlyphCache(FontHandle *font);

// ---------------------------------------------------------------------------------------------
// Script font objects

// Finds a FontNode: 0, 1334 "Could not find font %ld!" or 1041 for a handle.
int FindFont(ObjectId id, FontNode **out);
int CountFonts(void);
// Frees every FontNode (the fonts stay cached).
void FreeAllFontNodes(void);
// Reads name (argument index), size and the optional {engine, cache} table and opens the font
// through the cache. Raises argument errors; returns 0 or an opening error.
int OpenFontArgs(lua_State *L, int index, FontHandle **result);

// Script commands of the text library that deal with fonts.
int TxOpenFont(lua_State *L);
int TxCloseFont(lua_State *L);
int TxUseFont(lua_State *L);
int TxFreeGlyphCache(lua_State *L);

// GetAttribute's answer for #FONT (43): attributes 30-35 of the font object id, 60 the number
// of font objects. Pushes the result and returns 1, or returns 1334, 1041 or 1080.
int GetFontAttribute(lua_State *L, ObjectId id, int attribute);
// Pushes font attribute 30-35 of any FontHandle; 1 or 1080.
int PushFontHandleAttribute(lua_State *L, const FontHandle *font, int attribute);
