// The format-tag parser: one tag at a time, applied to the running font settings.
#include "text/text_tags.h"

#include <cctype>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/handler_support.h"

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

static int32_t SkipBlanks(const char *text, int32_t length, int32_t pos)
{
    while (pos < length && IsBlank(text[pos])) pos++;
    return pos;
}

// Whether the letters at pos spell `name` (lower case) without regard to case.
static int NameAt(const char *text, int32_t length, int32_t pos, const char *name)
{
    int32_t n = (int32_t)strlen(name);
    if (pos + n > length) return 0;
    for (int32_t i = 0; i < n; i++)
        if (tolower((unsigned char)text[pos + i]) != name[i]) return 0;
    return 1;
}

int32_t CountColourTags(const char *text, int32_t length)
{
    int32_t count = 0;
    for (int32_t i = 0; i < length; i++) {
        if (text[i] != '[') continue;
        int32_t p = i + 1;
        while (p < length && (IsBlank(text[p]) || text[p] == '\r' || text[p] == '\n')) p++;
        if (NameAt(text, length, p, "color")) count++;
    }
    return count;
}

// One tag value: a number or "#NAME" of a numeric constant, clamped to 0..4294967295.
static int ParseTagValue(lua_State *L, const char *text, int32_t length, int32_t *pos, uint32_t *value)
{
    int32_t p = *pos;
    double v = 0;
    if (p >= length || text[p] == '"') return 1024;
    if (text[p] == '#') {
        // The constant's name ends at the tag's own delimiters.
        char name[72];
        int32_t n = 0;
        while (p + n < length && n < (int32_t)sizeof name - 1 && text[p + n] != ']' && text[p + n] != ',' &&
               !IsBlank(text[p + n]))
            name[n] = text[p + n], n++;
        name[n] = 0;
        int used = 0, kind = 0;
        int code = ParseConstantName(L, name, &used, &kind, &v, nullptr);
        if (code) return code;
        if (kind != CONSTANT_NUMBER) return 1024;
        p += used;
    } else {
        char number[72];
        int32_t n = 0;
        while (p + n < length && n < (int32_t)sizeof number - 1 && text[p + n] != ']') number[n] = text[p + n], n++;
        number[n] = 0;
        int used = 0, error = 0;
        v = StrToNumber(number, &used, &error);
        if (error) return error;
        p += used;
    }
    if (!(v > 0)) v = 0;                     // negative numbers and NaN
    if (v > 4294967295.0) v = 4294967295.0;
    *value = (uint32_t)v;
    *pos = p;
    return 0;
}

// "= v1, v2, ..." behind a tag name: up to `max` values into values[], *count of them read.
static int ParseTagValues(lua_State *L, const char *text, int32_t length, int32_t *pos, uint32_t *values, int max,
                          int *count)
{
    int32_t p = SkipBlanks(text, length, *pos + 1);  // behind '='
    *count = 0;
    for (;;) {
        int code = ParseTagValue(L, text, length, &p, &values[*count]);
        if (code) return code;
        (*count)++;
        p = SkipBlanks(text, length, p);
        if (*count == max || p >= length || text[p] != ',') break;
        p = SkipBlanks(text, length, p + 1);
    }
    *pos = p;
    return 0;
}

static int ExpectClose(const char *text, int32_t length, int32_t *pos)
{
    int32_t p = SkipBlanks(text, length, *pos);
    if (p >= length || text[p] != ']') return 1108;
    *pos = p + 1;
    return 0;
}

static int Fail(int code)
{
    if (code == 1055 || code == 1108 || code == 1251 || code == 1252 || code == 1253 || code == 1024)
        SetErrorNumber(0);
    return code;
}

int ParseTextTag(lua_State *L, const char *text, int32_t length, int32_t *pos, FontSettings *s, TagColourStack *stack)
{
    int32_t p = SkipBlanks(text, length, *pos + 1);
    int closing = 0;
    if (p < length && text[p] == '/') {
        closing = 1;
        p = SkipBlanks(text, length, p + 1);
    }
    if (p >= length) return Fail(1251);
    char first = (char)tolower((unsigned char)text[p]);
    int32_t styleBit = first == 'b' ? TEXTSTYLE_BOLD : first == 'i' ? TEXTSTYLE_ITALIC
                     : first == 'u' ? TEXTSTYLE_UNDERLINED : 0;
    if (styleBit && (p + 1 >= length || IsBlank(text[p + 1]) || text[p + 1] == ']')) {
        p++;
        int code = ExpectClose(text, length, &p);
        if (code) return Fail(code);
        if (closing) s->style &= ~styleBit;
        else s->style |= styleBit;
        *pos = p;
        return 0;
    }
    int kind;   // 0 colour, 1 shadow, 2 edge
    if (NameAt(text, length, p, "color")) kind = 0, p += 5;
    else if (NameAt(text, length, p, "shadow")) kind = 1, p += 6;
    else if (NameAt(text, length, p, "edge")) kind = 2, p += 4;
    else return Fail(1251);
    p = SkipBlanks(text, length, p);
    if (closing) {
        int code = ExpectClose(text, length, &p);
        if (code) return Fail(code);
        if (kind == 0) {
            if (stack->depth == 0) return Fail(1252);
            s->colour = stack->colours[--stack->depth];
        } else {
            s->style &= kind == 1 ? ~TEXTSTYLE_SHADOW : ~TEXTSTYLE_EDGE;
        }
        *pos = p;
        return 0;
    }
    uint32_t values[3];
    int count = 0;
    int hasValues = p < length && text[p] == '=';
    if (kind == 0 && !hasValues) return Fail(1253);
    if (hasValues) {
        int code = ParseTagValues(L, text, length, &p, values, kind == 1 ? 3 : kind == 2 ? 2 : 1, &count);
        if (code) return code == 1024 ? Fail(code) : code;
    }
    int code = ExpectClose(text, length, &p);
    if (code) return Fail(code);
    if (kind == 0) {
        // The stack was sized by CountColourTags; a full one means the counts disagree.
        if (stack->depth >= stack->capacity) return Fail(1252);
        stack->colours[stack->depth++] = s->colour;
        s->colour = values[0];
    } else if (kind == 1) {
        if (count >= 2 && (values[1] < 1 || values[1] > 64)) return Fail(1055);
        s->style |= TEXTSTYLE_SHADOW;
        if (count >= 1) s->shadowColour = values[0];
        if (count >= 2) s->shadowSize = (int32_t)(values[1] & 0xFF);
        if (count >= 3) s->shadowDirection = (int32_t)(values[2] & 0xFF);
    } else {
        if (count >= 2 && (values[1] < 1 || values[1] > 8)) return Fail(1055);
        s->style |= TEXTSTYLE_EDGE;
        if (count >= 1) s->edgeColour = values[0];
        if (count >= 2) s->edgeSize = (int32_t)(values[1] & 0xFF);
    }
    *pos = p;
    return 0;
}
