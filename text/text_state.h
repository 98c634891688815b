// The layout state of a text and the font settings it carries. Every text object, printed text
// and text layer keeps its own TextState; the text library keeps one current FontSettings.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"

struct FontHandle;

// Style bits of FontSettings.style.
enum {
    TEXTSTYLE_NORMAL = 1,
    TEXTSTYLE_BOLD = 2,
    TEXTSTYLE_ITALIC = 4,
    TEXTSTYLE_UNDERLINED = 8,
    TEXTSTYLE_ANTIALIAS = 16,
    TEXTSTYLE_SHADOW = 32,
    TEXTSTYLE_EDGE = 64
};

// Text encodings.
enum { ENCODING_ISO8859_1 = 0, ENCODING_UTF8 = 1 };

// Eight words, in this order.
struct FontSettings {
    int32_t style;              // or-ed TEXTSTYLE_* bits
    uint32_t colour;            // 0xTTRRGGBB: T is a transparency (0 opaque)
    uint32_t shadowColour;
    uint32_t edgeColour;
    int32_t shadowSize;         // 1..64
    int32_t shadowDirection;    // 0 north .. 7 north-west
    int32_t edgeSize;           // 1..64
    FontHandle *font;
};

// Eleven words: what measuring a run gives.
struct TextMetrics {
    int32_t advance;
    int32_t lineHeight;
    int32_t inkLeft, inkTop, inkRight, inkBottom;   // relative to the pen on the baseline
    int32_t totalWidth;
    int32_t topExtension, bottomExtension, leftExtension, rightExtension;
};

// One picture triple rendered for a state.
struct TextImages {
    BitMap *bitmap;
    Mask *mask;
    AlphaChannel *alpha;
};

// The layout state of one text, in field order.
struct TextState {
    TextImages images[2];       // renderings made by the layer code (owned)
    void *cachedDrawing;        // cached drawing record (owned)
    int32_t x, y;
    int32_t width, height;
    int32_t unused[10];
    FontSettings settings;      // style in force at the start of the text
    char *text;                 // owned NUL-terminated copy
    int32_t alignment;          // #LEFT, #CENTER or #RIGHT
    int32_t cursorX, cursorY;
    int32_t leftMargin;
    int32_t wrapWidth;
    int32_t tabStops[32];
    int32_t tabCount;
    int32_t *wordBreaks;        // count + 1 words
    int32_t wordBreakCount;
    int32_t *tabResults;
    int32_t tabResultCount;
    int32_t encoding;           // ENCODING_*
};

// Kinds of RenderFormattedText (the callers' object kinds).
enum { TEXTKIND_TEXTOBJECT = 8, TEXTKIND_TEXTOUT = 9, TEXTKIND_PRINT = 11 };
// Render flags of RenderFormattedText beyond those passed on to the layer code.
enum { TEXTRENDER_LAYEREXISTS = 8, TEXTRENDER_KEEPTABLES = 16, TEXTRENDER_SCALECURSOR = 64 };
// Alignments (the position constants #LEFT, #CENTER, #RIGHT).
enum { TEXTALIGN_LEFT = -90000, TEXTALIGN_CENTER = -100000, TEXTALIGN_RIGHT = -80000 };
enum { TEXT_TAB_STOPS = 32 };

// One piece of text of one style on one line, in text order.
struct TextRun {
    TextRun *next;
    const char *text;           // into the layout buffer (tags and escapes removed)
    int32_t length;             // bytes
    int32_t x;                  // pen start within the text image, before alignment
    int32_t y;                  // top of the run's line
    TextMetrics metrics;
    FontSettings settings;
};

// What the run renderer makes of a text.
struct RenderedTextImage {
    BitMap *bitmap;
    Mask *mask;                 // one of the two planes
    AlphaChannel *alpha;
    int32_t offsetX, offsetY;   // where the image's top left lies relative to the text origin
    int32_t drawnWidth;         // at most the wrap width
    int32_t fullWidth;          // width of the planes
    int32_t height;
    int32_t firstLineOffset;    // x at which the first line starts within the image
};
