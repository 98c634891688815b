// Character codes of Latin-1 and UTF-8 texts.
#include "text/text_codes.h"

uint32_t NextTextCode(const char *text, int32_t length, int32_t *pos, int utf8)
{
    const uint8_t *s = (const uint8_t *)text;
    int32_t i = *pos;
    uint32_t c = s[i];
    if (!utf8 || c < 0x80) {
        *pos = i + 1;
        return c;
    }
    // Lead byte: continuation bytes that follow, the bits it carries, the least code point.
    static const struct {
        uint32_t mask, lead, bits;
        int extra;
        uint32_t min;
    } leads[] = {{0xE0, 0xC0, 0x1F, 1, 0x80}, {0xF0, 0xE0, 0x0F, 2, 0x800}, {0xF8, 0xF0, 0x07, 3, 0x10000}};
    int extra = 0;
    uint32_t min = 0;
    for (const auto &l : leads) {
        if ((c & l.mask) == l.lead) {
            extra = l.extra;
            min = l.min;
            c &= l.bits;
            break;
        }
    }
    if (extra == 0) {
        *pos = i + 1;
        return '?';
    }
    if (i + extra >= length) {
        *pos = i + 1;
        return '?';
    }
    for (int k = 1; k <= extra; k++) {
        uint32_t b = s[i + k];
        if ((b & 0xC0) != 0x80) {
            *pos = i + 1;
            return '?';
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        *pos = i + 1;
        return '?';
    }
    *pos = i + 1 + extra;
    return c;
}
