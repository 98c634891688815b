// Latin-1 <-> UTF-8 conversions of paths and names.
//
// Scripts see Latin-1 texts; names on disk are bytes, mostly UTF-8. A name is handed to a
// script as Latin-1 when it is valid UTF-8 of Latin-1 characters only, else as its raw bytes
// (a Latin-1 name copied from another system, a name with characters beyond Latin-1).
// OsNativePath (os_paths.cpp) turns a script's path back, component by component: the UTF-8
// form of a component when that exists, else its raw bytes when those exist. So every name a
// listing gives names the same file again. (A folder holding both a name and the raw Latin-1
// bytes of the same text cannot tell them apart: the UTF-8 one wins.)
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

static int IsValidUtf8(const char *text)
{
    const unsigned char *p = (const unsigned char *)text;
    while (*p) {
        unsigned cp;
        int n = Utf8SequenceLength(p, &cp);
        if (!n) return 0;
        p += n;
    }
    return 1;
}

char *Latin1ToUtf8(const char *text)
{
    if (IsValidUtf8(text)) {
        size_t n = strlen(text);
        char *copy = (char *)malloc(n + 1);
        if (copy) memcpy(copy, text, n + 1);
        return copy;
    }
    return Latin1TextToUtf8(text);
}

size_t Latin1PartToUtf8(const char *text, size_t n, char *out)
{
    size_t len = 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)text[i];
        if (c < 0x80) {
            out[len++] = (char)c;
        } else {
            out[len++] = (char)(0xc0 | (c >> 6));
            out[len++] = (char)(0x80 | (c & 0x3f));
        }
    }
    return len;
}

int Utf8PartIsValid(const char *text, size_t n)
{
    const unsigned char *p = (const unsigned char *)text;
    const unsigned char *end = p + n;
    while (p < end) {
        unsigned cp;
        int len = DecodeUtf8(p, (size_t)(end - p), &cp);
        if (!len) return 0;
        p += len;
    }
    return 1;
}

// The Latin-1 form of the n bytes at name into out (room for n bytes), or 0 when they are not
// valid UTF-8 of Latin-1 characters alone.
static size_t Utf8PartToLatin1(const char *name, size_t n, char *out)
{
    const unsigned char *p = (const unsigned char *)name;
    const unsigned char *end = p + n;
    size_t len = 0;
    while (p < end) {
        unsigned cp;
        int step = DecodeUtf8(p, (size_t)(end - p), &cp);
        if (!step || cp > 0xff) return 0;
        out[len++] = (char)cp;
        p += step;
    }
    return len;
}

char *NativeToScriptText(const char *native)
{
    size_t n = strlen(native);
    char *out = (char *)malloc(n + 1);
    if (!out) return nullptr;
    size_t len = 0;
    const char *p = native;
    while (*p) {
        if (*p == '/') {
            out[len++] = *p++;
            continue;
        }
        size_t part = strcspn(p, "/");
        size_t latin = Utf8PartToLatin1(p, part, out + len);
        if (latin) {
            len += latin;
        } else {
            memcpy(out + len, p, part);
            len += part;
        }
        p += part;
    }
    out[len] = 0;
    return out;
}
