// The inline format tags of printed text: [b], [i], [u], [color=...], [shadow=...], [edge=...]
// with their closing forms, and the "[[" / "]]" escapes.
#pragma once
#include <cstdint>

#include "text/text_state.h"

struct lua_State;

// The colour stack of one text: one entry for every opening colour tag the parser can accept.
struct TagColourStack {
    uint32_t *colours;
    int32_t depth, capacity;
};

// The number of opening colour tags in the text: every '[' followed by blanks, TABs, CR or LF
// and the five letters "color" in any case. This bounds the depth of the colour stack.
int32_t CountColourTags(const char *text, int32_t length);

// Reads the tag that starts at text[*pos] ('[' not followed by '['), applies it to *settings and
// the colour stack and moves *pos behind the closing ']'. 0, or 1251, 1252, 1253, 1108, 1024,
// 1055, 1018, the constant lookup's error (with the error argument set).
int ParseTextTag(lua_State *L, const char *text, int32_t length, int32_t *pos, FontSettings *settings,
                 TagColourStack *stack);
