// Latin-1 <-> UTF-8 conversions of paths and names.
#include <cstring>

#include "platform/linux/os_internal.h"
#include "runtime/memory.h"

// Length of the valid UTF-8 sequence at p, 0 when it is none.
static int Utf8SequenceLength(const unsigned char *p, unsigned *codepoint)
{
    unsigned c = p[0];
    int extra;
    unsigned cp;
    if (c < 0x80) {
        *codepoint = c;
        return 1;
    }
    if (c >= 0xc2 && c <= 0xdf) extra = 1, cp = c & 0x1f;
    else if (c >= 0xe0 && c <= 0xef) extra = 2, cp = c & 0x0f;
    else if (c >= 0xf0 && c <= 0xf4) extra = 3, cp = c & 0x07;
    else return 0;
    for (int i = 1; i <= extra; i++) {
        if ((p[i] & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3f);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10ffff))) return 0;
    *codepoint = cp;
    return extra + 1;
}

static int IsValidUtf8(const char *text, int *hasHigh)
{
    const unsigned char *p = (const unsigned char *)text;
    *hasHigh = 0;
    while (*p) {
        unsigned cp;
        int n = Utf8SequenceLength(p, &cp);
        if (!n) return 0;
        if (n > 1) *hasHigh = 1;
        p += n;
    }
    return 1;
}

char *Latin1ToUtf8(const char *text)
{
    size_t n = strlen(text);
    int hasHigh;
    if (IsValidUtf8(text, &hasHigh)) {
        char *copy = (char *)MemAlloc(n + 1, 0);
        if (copy) memcpy(copy, text, n + 1);
        return copy;
    }
    char *out = (char *)MemAlloc(2 * n + 1, 0);
    if (!out) return nullptr;
    char *o = out;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p < 0x80) {
            *o++ = (char)*p;
        } else {
            *o++ = (char)(0xc0 | (*p >> 6));
            *o++ = (char)(0x80 | (*p & 0x3f));
        }
    }
    *o = 0;
    return out;
}

char *Utf8ToLatin1(const char *text)
{
    size_t n = strlen(text);
    char *out = (char *)MemAlloc(n + 1, 0);
    if (!out) return nullptr;
    const unsigned char *p = (const unsigned char *)text;
    unsigned char *o = (unsigned char *)out;
    while (*p) {
        unsigned cp;
        int len = Utf8SequenceLength(p, &cp);
        if (!len) {
            MemFree(out);
            return nullptr;
        }
        *o++ = cp <= 0xff ? (unsigned char)cp : '?';
        p += len;
    }
    *o = 0;
    return out;
}
