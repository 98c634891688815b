// Auxiliary library: argument readers with the program's error codes, registry access,
// library and constant registration, string buffers, references and table sizes.
//
// Argument readers take the argument's position n (from 1). "Absent" means beyond the last
// argument given, which differs from an explicit Nil: the opt* readers give their default only
// for an absent argument. On a wrong value a reader sets the message argument (SetErrorNumber
// with n, or SetErrorString with the field name for the *named* readers of option-table
// fields) and raises its code; it never returns then:
//   1138 "Number expected in argument %ld!"        luaL_check/optnumber, luaL_check/optinteger
//   1139 "String expected in argument %ld!"        luaL_check/optlstring
//   1140 "Table expected in argument %ld!"         luaL_checktable
//   1185 "Function expected in argument %ld!"      luaL_checkfunction
//   1189 "Number expected in table argument "%s"!" luaL_checknamednumber/-integer
//   1247 "String expected in table argument "%s"!" luaL_checknamedlstring
#pragma once
#include <cstdint>
#include "runtime/vm/api.h"

// One command of a library's (name, handler) table; the table ends with a null name.
struct luaL_reg {
    const char *name;
    lua_CFunction func;
};

// One named constant of a library's constant table; the table ends with a null name.
// A row with a string value defines a string constant, every other a number constant.
// Names are written in upper case without the '#'.
struct luaL_Constant {
    const char *name;
    const char *str;
    lua_Number num;
};

// Registry access; the key is a NUL-terminated text.
void *luaL_getregpointer(lua_State *L, const char *key);
const char *luaL_getregstring(lua_State *L, const char *key);
lua_Number luaL_getregnumber(lua_State *L, const char *key);
void luaL_setregpointer(lua_State *L, const char *key, void *p);
void luaL_setregstring(lua_State *L, const char *key, const char *s);
void luaL_setregnumber(lua_State *L, const char *key, lua_Number n);

// Argument readers.
void luaL_checktable(lua_State *L, int narg);
void luaL_checkfunction(lua_State *L, int narg);
// A string, or a number converted to its text in place.
const char *luaL_checklstring(lua_State *L, int narg, size_t *len);
const char *luaL_optlstring(lua_State *L, int narg, const char *def, size_t *len);
// `idx` is the stack index of a value read from an option table under `field`.
const char *luaL_checknamedlstring(lua_State *L, int idx, const char *field, size_t *len);
// A number, or a string that converts (decimal, "$"/"0x" hexadecimal); Nil is no number here.
lua_Number luaL_checknumber(lua_State *L, int narg);
lua_Number luaL_optnumber(lua_State *L, int narg, lua_Number def);
lua_Number luaL_checknamednumber(lua_State *L, int idx, const char *field);
// The number as a 32-bit word: truncated toward zero; negatives give their two's complement
// (below -2147483648: 0x80000000), larger values are clamped to 4294967295. Returned as an
// int holding that word (cast to uint32_t for the unsigned view): -3.9 -> -3 (0xFFFFFFFD),
// 5e9 -> -1 (0xFFFFFFFF), NaN -> 0.
int luaL_checkinteger(lua_State *L, int narg);
int luaL_optinteger(lua_State *L, int narg, int def);
int luaL_checknamedinteger(lua_State *L, int idx, const char *field);
// The number-conversion word rule alone (used by the readers above).
int luaL_numbertoword(lua_Number n);
// A callback's number result; never raises: *code = 1190 when the value is no number, else 0.
lua_Number luaL_getnumberresult(lua_State *L, int idx, int *code);

#define luaL_checkstring(L, n) (luaL_checklstring(L, (n), nullptr))
#define luaL_optstring(L, n, d) (luaL_optlstring(L, (n), (d), nullptr))
#define luaL_checknamedstring(L, i, f) (luaL_checknamedlstring(L, (i), (f), nullptr))

// Registers every handler of `l` under its lower-cased name: with a library name into the
// global table of that name (created when missing), else into the table on the stack top
// (below the `nup` upvalues, which every handler shares and which are popped at the end).
void luaL_openlib(lua_State *L, const char *libname, const luaL_reg *l, int nup);

// Stores each constant under its lower-cased name in registry["constants"] (created when
// missing); a later definition of the same name replaces an earlier one.
void luaL_registerconstants(lua_State *L, const luaL_Constant *defs);
// Looks a constant up without regard to case. Returns 1 when found: a number constant is
// written to *num (and *str set to null), a string constant to *str; either out may be null.
int luaL_getconstant(lua_State *L, const char *name, const char **str, lua_Number *num);

int luaL_getmetafield(lua_State *L, int obj, const char *field);
int luaL_callmeta(lua_State *L, int obj, const char *field);

// References: luaL_ref pops the top value and stores it in the table at `t`, returning its
// reference (LUA_REFNIL for Nil); luaL_unref frees a reference for reuse.
#define LUA_NOREF (-2)
#define LUA_REFNIL (-1)
int luaL_ref(lua_State *L, int t);
void luaL_unref(lua_State *L, int t, int ref);

// Table sizes: field "n", else the size table, else the count of keys 1, 2, ... in a row.
int luaL_getn(lua_State *L, int t);
void luaL_setn(lua_State *L, int t, int n);

// String buffers: pieces go to the inline area and are pushed on the stack when it is full.
// Between luaL_buffinit and luaL_pushresult the stack above the buffer's pieces belongs to
// the buffer (luaL_addvalue takes the value on the top).
#define LUAL_BUFFERSIZE 1024
struct luaL_Buffer {
    char *p;
    int lvl;
    lua_State *L;
    char buffer[LUAL_BUFFERSIZE];
};
#define luaL_addchar(B, c) \
    ((void)((B)->p < ((B)->buffer + LUAL_BUFFERSIZE) || luaL_prepbuffer(B)), (*(B)->p++ = (char)(c)))
#define luaL_addsize(B, n) ((B)->p += (n))
void luaL_buffinit(lua_State *L, luaL_Buffer *B);
char *luaL_prepbuffer(luaL_Buffer *B);
void luaL_addlstring(luaL_Buffer *B, const char *s, size_t l);
void luaL_addstring(luaL_Buffer *B, const char *s);
void luaL_addvalue(luaL_Buffer *B);
void luaL_pushresult(luaL_Buffer *B);
