// Value rules of the script language: truth, number and string conversion,
// equality and order, and the integer views of numbers. The saturating
// conversions here are the one place where a double becomes a 32-bit integer.
#pragma once
#include "runtime/vm/object.h"
#include "runtime/vm/tagmethods.h"

// ---- 32-bit views of a double (never undefined behaviour) ----

// Signed view: truncated toward zero; NaN gives 0; values beyond the int32
// range saturate to INT32_MIN / INT32_MAX.
int32_t luaO_toint32(lua_Number d);
// Unsigned view (bit operators): clamped to 0..4294967295 (negatives, -0 and
// NaN give 0), then truncated toward zero.
uint32_t luaO_touint32(lua_Number d);
// Integer argument word: truncated toward zero; negatives in two's complement
// (saturating at -2^31), values above 4294967295 clamp to 4294967295; NaN 0.
uint32_t luaO_toword32(lua_Number d);
// Signed quotient and remainder truncated toward zero (remainder takes the sign
// of the dividend); b must not be 0; INT32_MIN / -1 gives INT32_MIN, remainder 0.
int32_t luaO_idiv(int32_t a, int32_t b);
int32_t luaO_imod(int32_t a, int32_t b);
// Shift count of LSH/RSH: the count's signed view masked with 31.
#define luaO_shiftcount(d) ((unsigned)luaO_toint32(d) & 31u)

// Arithmetic of two numbers for the events TM_ADD ... TM_UNM, TM_NOT (b is
// ignored for the unary ones): stores the result and returns 0, or returns
// 1089 (division by zero) for DIV by 0 and DIVINT/MOD by a divisor truncating
// to 0. Returns 1030 for an event that is not arithmetic.
int luaO_arith(TMS op, lua_Number a, lua_Number b, lua_Number *res);

// ---- truth ----

// The interpreter's truth (NOT, TEST): nil, false, the number 0 (also -0) and
// the empty string are false.
int luaO_isfalse(const TObject *o);
#define l_isfalse(o) luaO_isfalse(o)
// Truth of a comparison tag method's first result: false for nil and 0 only.
#define luaO_tmresfalse(o) (ttisnil(o) || (ttisnumber(o) && nvalue(o) == 0))

// ---- small value operations ----

// Equality without metamethods.
int luaO_rawequalObj(const TObject *t1, const TObject *t2);
// floor(log2 x), -1 for 0.
int luaO_log2(uint32_t x);
// String to number: decimal by strtod, or 32-bit unsigned hexadecimal after
// "$" or "0x"; trailing white space allowed. Returns 1 and the value, or 0.
int luaO_str2d(const char *s, lua_Number *result);
// Printable chunk name ("=name", "@file" or [string "first line"]).
void luaO_chunkid(char *out, const char *source, int bufflen);

// ---- conversions used by the interpreter and the API ----

// A number from a value: numbers stay, nil gives 0, strings go through
// luaO_str2d (the result is written to *n). Null when it does not convert.
const TObject *luaV_tonumber(const TObject *obj, TObject *n);
#define tonumber(o, n) (ttisnumber(o) || (((o) = luaV_tonumber(o, n)) != NULL))
// Replaces a number by its "%.14g" text and nil by the empty string, in place.
// Returns 1 when the slot now holds a string, 0 for other kinds.
int luaV_tostring(lua_State *L, StkId obj);
#define tostring(L, o) ((ttype(o) == LUA_TSTRING) || (luaV_tostring(L, o)))

// ---- comparison (may run __eq/__lt/__le, may raise 1030/1130) ----

// Equality of two values by the language's rules (nil equals 0 and "").
int luaV_equalval(lua_State *L, const TObject *t1, const TObject *t2);
#define equalobj(L, o1, o2) luaV_equalval(L, o1, o2)
// Less-than; casesens 0 compares strings case-insensitively.
int luaV_lessthan(lua_State *L, const TObject *l, const TObject *r, int casesens);
// Less-or-equal (case-sensitive).
int luaV_lessequal(lua_State *L, const TObject *l, const TObject *r);
// Segment-wise string order across embedded NULs: <0, 0, >0.
int luaV_strcmp(const TString *ls, const TString *rs, int casesens);
