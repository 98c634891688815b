// Latin-1 <-> UTF-8 conversions of paths and names.
#include <cstdlib>
#include <cstring>

#include "platform/linux/os_internal.h"
#include "platform/linux/os_requester_internal.h"

// Length of the valid UTF-8 sequence at p, 0 when it is none (the text's terminator ends any
// sequence, so no bound is needed).
static int Utf8SequenceLength(const unsigned char *p, unsigned *codepoint)
{
    return DecodeUtf8(p, (size_t)-1, codepoint);
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
        char *copy = (char *)malloc(n + 1);
        if (copy) memcpy(copy, text, n + 1);
        return copy;
    }
    return Latin1TextToUtf8(text);
}

char *Utf8ToLatin1(const char *text)
{
    size_t n = strlen(text);
    char *out = (char *)malloc(n + 1);
    if (!out) return nullptr;
    const unsigned char *p = (const unsigned char *)text;
    unsigned char *o = (unsigned char *)out;
    while (*p) {
        unsigned cp;
        int len = Utf8SequenceLength(p, &cp);
        if (!len) {
            free(out);
            return nullptr;
        }
        *o++ = cp <= 0xff ? (unsigned char)cp : '?';
        p += len;
    }
    *o = 0;
    return out;
}
