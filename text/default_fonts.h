// The three default outline fonts compiled into the program (their bytes are generated into
// the build from the installed TrueType files, lengths checked; see embed_default_fonts.cmake).
#pragma once
#include <cstdint>

struct DefaultFont {
    const char *name;       // family name
    const uint8_t *data;
    uint32_t length;
};

enum { DEFAULT_FONT_COUNT = 3 };
extern const DefaultFont DefaultFonts[DEFAULT_FONT_COUNT];

// The default font of that family name (case ignored), or none.
const DefaultFont *FindDefaultFont(const char *name);
