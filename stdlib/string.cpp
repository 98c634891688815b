// The string library: 26 commands on byte strings. A character is one byte; positions count
// from 0; case is changed and compared with tolower/toupper of the C locale (the process locale
// is never changed). Misuse gives 1055.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/values.h"

enum { ERR_WRONGUSAGE = 1055 };

// Width selectors of BinStr (the system library's #INTEGER, #SHORT/#WORD, #BYTE).
enum { WIDTH_INTEGER = 1, WIDTH_SHORT = 6, WIDTH_BYTE = 7 };

// Whether len bytes at a and b are the same; exact 0 compares through tolower.
static int SameBytes(const char *a, const char *b, size_t len, int exact)
{
    if (exact) return memcmp(a, b, len) == 0;
    for (size_t i = 0; i < len; i++) {
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) return 0;
    }
    return 1;
}

// Position of the first occurrence of sub in s at or after from (the whole match inside s),
// or -1.
static long FindBytes(const char *s, size_t len, const char *sub, size_t sublen, size_t from,
                      int exact)
{
    if (sublen == 0 || sublen > len) return -1;
    int first = exact ? (unsigned char)sub[0] : tolower((unsigned char)sub[0]);
    for (size_t i = from; i + sublen <= len; i++) {
        int c = exact ? (unsigned char)s[i] : tolower((unsigned char)s[i]);
        if (c == first && SameBytes(s + i + 1, sub + 1, sublen - 1, exact)) return (long)i;
    }
    return -1;
}

// Pushes bytes [from, to) of s, clipped to the string; nothing when the range is empty.
static void PushSlice(lua_State *L, const char *s, size_t len, long long from, long long to)
{
    if (from < 0) from = 0;
    if (to > (long long)len) to = (long long)len;
    if (to <= from) lua_pushliteral(L, "");
    else lua_pushlstring(L, s + from, (size_t)(to - from));
}

static int HexStr(lua_State *L)
{
    CheckArgs(L, 1, 1);
    char text[16];
    snprintf(text, sizeof text, "$%X", (unsigned)(uint32_t)luaL_checkinteger(L, 1));
    lua_pushstring(L, text);
    return 1;
}

static int AddStr(lua_State *L)
{
    CheckArgs(L, 2, 2);
    size_t la, lb;
    const char *a = luaL_checklstring(L, 1, &la);
    const char *b = luaL_checklstring(L, 2, &lb);
    luaL_Buffer B;
    luaL_buffinit(L, &B);
    luaL_addlstring(&B, a, la);
    luaL_addlstring(&B, b, lb);
    luaL_pushresult(&B);
    return 1;
}

static int LeftStr(lua_State *L)
{
    CheckArgs(L, 2, 2);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    int n = GetIntArg(L, 2);
    PushSlice(L, s, len, 0, n);
    return 1;
}

static int RightStr(lua_State *L)
{
    CheckArgs(L, 2, 2);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    int n = GetIntArg(L, 2);
    if (n < 1) lua_pushliteral(L, "");
    else PushSlice(L, s, len, (long long)len - n, (long long)len);
    return 1;
}

// A negative position counts the window [pos, pos + len) from before the string: only the
// part of the window inside the string is given.
static int MidStr(lua_State *L)
{
    CheckArgs(L, 3, 3);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    int pos = GetIntArg(L, 2);
    int n = GetIntArg(L, 3);
    if (n < 1 || (long long)pos >= (long long)len) lua_pushliteral(L, "");
    else PushSlice(L, s, len, pos, (long long)pos + n);
    return 1;
}

static int Chr(lua_State *L)
{
    CheckArgs(L, 1, 1);
    uint32_t code = (uint32_t)GetIntArg(L, 1);
    if (code > 255) return ERR_WRONGUSAGE;
    char c = (char)code;
    lua_pushlstring(L, &c, code ? 1 : 0);
    return 1;
}

static int UnleftStr(lua_State *L)
{
    CheckArgs(L, 2, 2);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    int n = GetIntArg(L, 2);
    if (n < 0) return ERR_WRONGUSAGE;
    PushSlice(L, s, len, 0, (long long)len - n);
    return 1;
}

static int UnrightStr(lua_State *L)
{
    CheckArgs(L, 2, 2);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    int n = GetIntArg(L, 2);
    if (n < 0) return ERR_WRONGUSAGE;
    PushSlice(L, s, len, n, (long long)len);
    return 1;
}

// The "%.14g" text of x, cut behind the decimal point: digits 0 drops the point and the
// fraction, d > 0 keeps at most d fraction digits (no rounding), a negative count keeps the
// point alone. An exponent ("e-07") is no part of the fraction and always stays.
static int StrStr(lua_State *L)
{
    CheckArgs(L, 1, 2);
    lua_Number x = luaL_checknumber(L, 1);
    int digits = GetOptIntArg(L, 2, 2);
    char text[64];
    snprintf(text, sizeof text, "%.14g", x);
    char *point = strchr(text, '.');
    if (!point) {
        lua_pushstring(L, text);
        return 1;
    }
    char *exponent = strpbrk(point, "eE");
    size_t fraction = exponent ? (size_t)(exponent - point - 1) : strlen(point + 1);
    size_t keep;                       // bytes kept from the point on
    if (digits == 0) keep = 0;
    else if (digits < 0) keep = 1;
    else if ((size_t)digits >= fraction) keep = 1 + fraction;
    else keep = 1 + (size_t)digits;
    size_t head = (size_t)(point - text) + keep;
    char out[64];
    memcpy(out, text, head);
    strcpy(out + head, exponent ? exponent : "");
    lua_pushstring(L, out);
    return 1;
}

static int Val(lua_State *L)
{
    CheckArgs(L, 1, 1);
    const char *s = luaL_checkstring(L, 1);
    int used = 0, error = 0;
    lua_Number n = StrToNumber(s, &used, &error);
    if (error) {
        n = 0;
        used = 0;
    }
    lua_pushnumber(L, n);
    lua_pushnumber(L, used);
    return 2;
}

// LowerStr and UpperStr: the string with every byte passed through convert.
static int ConvertCase(lua_State *L, int (*convert)(int))
{
    CheckArgs(L, 1, 1);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    luaL_Buffer B;
    luaL_buffinit(L, &B);
    for (size_t i = 0; i < len; i++) luaL_addchar(&B, convert((unsigned char)s[i]));
    luaL_pushresult(&B);
    return 1;
}

static int LowerStr(lua_State *L) { return ConvertCase(L, tolower); }
static int UpperStr(lua_State *L) { return ConvertCase(L, toupper); }

static int Asc(lua_State *L)
{
    CheckArgs(L, 1, 1);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    lua_pushnumber(L, len ? (unsigned char)s[0] : 0);
    return 1;
}

static int StrLen(lua_State *L)
{
    CheckArgs(L, 1, 1);
    size_t len;
    luaL_checklstring(L, 1, &len);
    lua_pushnumber(L, (lua_Number)len);
    return 1;
}

static int BinStr(lua_State *L)
{
    CheckArgs(L, 1, 2);
    lua_Number n = luaL_checknumber(L, 1);
    int type = GetOptIntArg(L, 2, WIDTH_INTEGER);
    // The narrow widths take the low bits of the same 32-bit word, so that a number above
    // 2147483647 keeps its own low bits instead of those of a saturated signed value.
    uint32_t word = luaO_toword32(n);
    int bits;
    switch (type) {
    case WIDTH_INTEGER: bits = 32; break;
    case WIDTH_SHORT: word &= 0xFFFF; bits = 16; break;
    case WIDTH_BYTE: word &= 0xFF; bits = 8; break;
    default: bits = 0; word = 0; break;
    }
    char text[33];
    for (int i = 0; i < bits; i++) text[i] = (word >> (bits - 1 - i)) & 1 ? '1' : '0';
    lua_pushlstring(L, text, (size_t)bits);
    return 1;
}

// The pieces between the separators, under the keys 0, 1, 2, ...; the last piece is the rest
// of s whole (NUL bytes included).
static int SplitStr(lua_State *L)
{
    CheckArgs(L, 2, 2);
    size_t len, seplen;
    const char *s = luaL_checklstring(L, 1, &len);
    const char *sep = luaL_checklstring(L, 2, &seplen);
    if (seplen != 1) return ERR_WRONGUSAGE;
    lua_newtable(L);
    int count = 0;
    size_t start = 0;
    for (size_t i = 0; i < len; i++) {
        if (s[i] != sep[0]) continue;
        lua_pushlstring(L, s + start, i - start);
        lua_rawseti(L, -2, count++);
        start = i + 1;
    }
    lua_pushlstring(L, s + start, len - start);
    lua_rawseti(L, -2, count++);
    lua_pushnumber(L, count);
    return 2;
}

static int PadNum(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int n = GetIntArg(L, 1);
    int width = GetIntArg(L, 2);
    if (width < 1 || n < 0) return ERR_WRONGUSAGE;
    char digits[16];
    int len = snprintf(digits, sizeof digits, "%d", n);
    if (len >= width) {
        lua_pushlstring(L, digits, (size_t)len);
        return 1;
    }
    // The text is made in one block at once (a block of the collector's, so that running out
    // of memory for the string itself loses nothing).
    char *text = (char *)lua_newuserdata(L, (size_t)width);
    memset(text, '0', (size_t)(width - len));
    memcpy(text + (width - len), digits, (size_t)len);
    lua_pushlstring(L, text, (size_t)width);
    return 1;
}

static int StrToArray(lua_State *L)
{
    CheckArgs(L, 1, 1);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    if (len > 0x7FFFFFFF) return 1000;   // list keys are 32-bit: such a list cannot be built
    lua_newtable(L);
    for (size_t i = 0; i < len; i++) {
        lua_pushnumber(L, (unsigned char)s[i]);
        lua_rawseti(L, -2, (int)i);
    }
    lua_pushnumber(L, 0);
    lua_rawseti(L, -2, (int)len);
    return 1;
}

static int TrimStr(lua_State *L)
{
    CheckArgs(L, 3, 3);
    size_t len, clen;
    const char *s = luaL_checklstring(L, 1, &len);
    const char *c = luaL_checklstring(L, 2, &clen);
    int side = GetIntArg(L, 3);
    if (clen != 1) return ERR_WRONGUSAGE;
    size_t from = 0, to = len;
    if (side == 0) {
        while (from < to && s[from] == c[0]) from++;
    } else {
        while (to > from && s[to - 1] == c[0]) to--;
    }
    lua_pushlstring(L, s + from, to - from);
    return 1;
}

static int ToString(lua_State *L)
{
    CheckArgs(L, 1, 1);
    if (luaL_callmeta(L, 1, "__tostring")) return 1;
    char text[64];
    switch (lua_type(L, 1)) {
    case LUA_TNIL: lua_pushliteral(L, "Nil"); return 1;
    case LUA_TBOOLEAN: lua_pushstring(L, lua_toboolean(L, 1) ? "true" : "false"); return 1;
    case LUA_TNUMBER:
        lua_pushvalue(L, 1);
        lua_tostring(L, -1);
        return 1;
    case LUA_TSTRING: lua_pushvalue(L, 1); return 1;
    case LUA_TTABLE: snprintf(text, sizeof text, "Table: %p", lua_topointer(L, 1)); break;
    case LUA_TFUNCTION: snprintf(text, sizeof text, "Function: %p", lua_topointer(L, 1)); break;
    case LUA_TTHREAD: snprintf(text, sizeof text, "Thread: %p", lua_topointer(L, 1)); break;
    default: snprintf(text, sizeof text, "UserData: %p", lua_touserdata(L, 1)); break;
    }
    lua_pushstring(L, text);
    return 1;
}

// Reads s as an unsigned number in base 2..36 the way a 32-bit strtoul does: leading white
// space and one sign are accepted, a value beyond 32 bits saturates to 4294967295, a '-'
// negates modulo 2^32. Only white space may follow the digits; no digits at all gives 0.
static uint32_t ReadUnsigned(const char *s, size_t len, int base)
{
    size_t i = 0;
    while (i < len && isspace((unsigned char)s[i])) i++;
    int negative = 0;
    if (i < len && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= len || isspace((unsigned char)s[i]) || s[i] == '+' || s[i] == '-') return 0;
    char *end;
    errno = 0;
    unsigned long long v = strtoull(s + i, &end, base);
    if (end == s + i) return 0;
    for (size_t k = (size_t)(end - s); k < len; k++) {
        if (!isspace((unsigned char)s[k])) return 0;
    }
    if (errno == ERANGE || v > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    uint32_t w = (uint32_t)v;
    return negative ? (uint32_t)(0u - w) : w;
}

static int ToNumber(lua_State *L)
{
    CheckArgs(L, 1, 2);
    int base = GetOptIntArg(L, 2, 10);
    if (base < 2 || base > 36) return ERR_WRONGUSAGE;
    if (base == 10) {
        int t = lua_type(L, 1);
        lua_pushnumber(L, (t == LUA_TNUMBER || t == LUA_TSTRING) ? lua_tonumber(L, 1) : 0);
        return 1;
    }
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    lua_pushnumber(L, ReadUnsigned(s, len, base));
    return 1;
}

static int UnmidStr(lua_State *L)
{
    CheckArgs(L, 3, 3);
    size_t len;
    const char *s = luaL_checklstring(L, 1, &len);
    int pos = GetIntArg(L, 2);
    int n = GetIntArg(L, 3);
    if (pos < 0 || n < 0) return ERR_WRONGUSAGE;
    if (n == 0 || (size_t)pos >= len) {
        lua_pushvalue(L, 1);
        return 1;
    }
    size_t end = (size_t)pos + (size_t)n;
    if (end > len) end = len;
    luaL_Buffer B;
    luaL_buffinit(L, &B);
    luaL_addlstring(&B, s, (size_t)pos);
    luaL_addlstring(&B, s + end, len - end);
    luaL_pushresult(&B);
    return 1;
}

// FindStr(s, sub [, exact = 1 [, start = 0]]): the position of the first match at or after
// start, or -1; CountStr (same arguments): the number of matches that do not overlap.
static int SearchStr(lua_State *L, int countAll)
{
    CheckArgs(L, 2, 4);
    size_t len, sublen;
    const char *s = luaL_checklstring(L, 1, &len);
    const char *sub = luaL_checklstring(L, 2, &sublen);
    int exact = GetOptIntArg(L, 3, 1);
    int start = GetOptIntArg(L, 4, 0);
    if (start < 0) return ERR_WRONGUSAGE;
    long at = -1;
    if (len && sublen && (size_t)start < len) at = FindBytes(s, len, sub, sublen, (size_t)start, exact);
    if (!countAll) {
        lua_pushnumber(L, at);
        return 1;
    }
    int count = 0;
    while (at >= 0) {
        count++;
        at = FindBytes(s, len, sub, sublen, (size_t)at + sublen, exact);
    }
    lua_pushnumber(L, count);
    return 1;
}

static int FindStr(lua_State *L) { return SearchStr(L, 0); }
static int CountStr(lua_State *L) { return SearchStr(L, 1); }

static int InsertStr(lua_State *L)
{
    CheckArgs(L, 3, 4);
    size_t len, tlen;
    const char *s = luaL_checklstring(L, 1, &len);
    const char *text = luaL_checklstring(L, 2, &tlen);
    int pos = GetIntArg(L, 3);
    int overwrite = GetOptIntArg(L, 4, 0);
    if (pos < 0) return ERR_WRONGUSAGE;
    if (tlen == 0) {
        lua_pushvalue(L, 1);
        return 1;
    }
    if (len == 0) {
        lua_pushvalue(L, 2);
        return 1;
    }
    size_t at = (size_t)pos < len ? (size_t)pos : len;
    size_t rest = at;                  // where the bytes of s after the text resume
    if (overwrite) rest = at + tlen < len ? at + tlen : len;
    luaL_Buffer B;
    luaL_buffinit(L, &B);
    luaL_addlstring(&B, s, at);
    luaL_addlstring(&B, text, tlen);
    luaL_addlstring(&B, s + rest, len - rest);
    luaL_pushresult(&B);
    return 1;
}

static int ReplaceStr(lua_State *L)
{
    CheckArgs(L, 3, 5);
    size_t len, slen, rlen;
    const char *s = luaL_checklstring(L, 1, &len);
    const char *search = luaL_checklstring(L, 2, &slen);
    const char *repl = luaL_checklstring(L, 3, &rlen);
    int exact = GetOptIntArg(L, 4, 1);
    int start = GetOptIntArg(L, 5, 0);
    if (start < 0) return ERR_WRONGUSAGE;
    if (slen == 0 || (size_t)start >= len) {
        lua_pushvalue(L, 1);
        return 1;
    }
    luaL_Buffer B;
    luaL_buffinit(L, &B);
    size_t done = 0;                   // bytes of s already copied
    long at = FindBytes(s, len, search, slen, (size_t)start, exact);
    while (at >= 0) {
        luaL_addlstring(&B, s + done, (size_t)at - done);
        luaL_addlstring(&B, repl, rlen);
        done = (size_t)at + slen;
        at = FindBytes(s, len, search, slen, done, exact);
    }
    luaL_addlstring(&B, s + done, len - done);
    luaL_pushresult(&B);
    return 1;
}

static const luaL_reg StringCommands[] = {
    {"HexStr", HexStr},
    {"AddStr", AddStr},
    {"LeftStr", LeftStr},
    {"RightStr", RightStr},
    {"MidStr", MidStr},
    {"Chr", Chr},
    {"UnleftStr", UnleftStr},
    {"UnrightStr", UnrightStr},
    {"StrStr", StrStr},
    {"Val", Val},
    {"LowerStr", LowerStr},
    {"UpperStr", UpperStr},
    {"Asc", Asc},
    {"StrLen", StrLen},
    {"BinStr", BinStr},
    {"SplitStr", SplitStr},
    {"PadNum", PadNum},
    {"StrToArray", StrToArray},
    {"TrimStr", TrimStr},
    {"ToString", ToString},
    {"ToNumber", ToNumber},
    {"UnmidStr", UnmidStr},
    {"CountStr", CountStr},
    {"InsertStr", InsertStr},
    {"FindStr", FindStr},
    {"ReplaceStr", ReplaceStr},
    {nullptr, nullptr},
};

int OpenStringLib(lua_State *L)
{
    luaL_openlib(L, nullptr, StringCommands, 0);
    return RegisterCommandTable(StringCommands, "string");
}
