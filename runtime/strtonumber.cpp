// StrToNumber: the parser of numeric texts (option values, constants in texts). Kept apart from
// the handler support so that the option parser can use it without the interpreter.
#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "runtime/handler_support.h"

static int HexDigit(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Digits of base 16 or 2 at *pp, saturating at 4294967295; -1 when there is none.
static double ScanUnsigned(const char **pp, int base)
{
    const char *p = *pp;
    uint64_t v = 0;
    int count = 0;
    for (;;) {
        int d = HexDigit((unsigned char)*p);
        if (d < 0 || d >= base) break;
        v = v * (uint64_t)base + (uint64_t)d;
        if (v > 0xffffffffull) v = 0xffffffffull;
        p++;
        count++;
    }
    *pp = p;
    return count ? (double)v : -1;
}

double StrToNumber(const char *text, int *used, int *error)
{
    int err = 0;
    double v = 0;
    const char *p = text ? text : "";
    int negative = 0;
    if (*p == '-') {
        negative = 1;
        p++;
    }
    if (*p == '$' || *p == '%' || (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))) {
        int base = 16;
        if (*p == '$') {
            p++;
            if (*p == '-') {
                negative = 1;
                p++;
            }
        } else if (*p == '%') {
            base = 2;
            p++;
        } else {
            p += 2;
        }
        v = ScanUnsigned(&p, base);
        if (v < 0) err = 1018;
    } else if (isdigit((unsigned char)*p)) {
        char *end;
        v = strtod(p, &end);
        p = end;
    } else {
        err = 1024;
    }
    if (error) *error = err;
    if (err) {
        if (used) *used = 0;
        return 0;
    }
    if (used) *used = (int)(p - text);
    return negative ? -v : v;
}
