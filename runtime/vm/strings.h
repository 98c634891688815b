// Interned strings and the global string table; full userdata creation.
#pragma once
#include "runtime/vm/object.h"

#define MINSTRTABSIZE 32
#define MAX_STRTAB_SIZE ((1 << 30) - 1)
// Mark bit that fixes an object (never collected).
#define FIXEDBIT 4
#define luaS_fix(s) ((s)->marked |= (1 << FIXEDBIT))

// Hash of l bytes (every byte up to 31 bytes, at most 32 sampled bytes beyond).
lu_hash luaS_hash(const char *str, size_t l);
// The interned string of these bytes, created when new.
TString *luaS_newlstr(lua_State *L, const char *str, size_t l);
TString *luaS_new(lua_State *L, const char *str);
#define luaS_newliteral(L, s) luaS_newlstr(L, "" s, sizeof(s) - 1)
// Rehashes every string into newsize buckets (a power of two).
void luaS_resize(lua_State *L, int newsize);
// As luaS_resize, but gives 0 (table unchanged) when memory runs out.
int luaS_tryresize(lua_State *L, int newsize);
// Frees the bucket array (the strings are freed by the collector).
void luaS_freeall(lua_State *L);
// New full userdata of s bytes (default metatable, finaliser pending),
// linked into the userdata list.
Udata *luaS_newudata(lua_State *L, size_t s);
