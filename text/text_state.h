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
