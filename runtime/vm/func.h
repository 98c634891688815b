// Closures, upvalues and prototypes.
#pragma once
#include "runtime/vm/object.h"

// Native closure with n upvalues (linked into the collector).
Closure *luaF_newCclosure(lua_State *L, int nelems);
// Script closure with n upvalues (null pointers to be filled) and globals e.
Closure *luaF_newLclosure(lua_State *L, int nelems, const TObject *e);
// New prototype, every field zero.
Proto *luaF_newproto(lua_State *L);
// The open upvalue of a stack slot, created and inserted in order when missing.
UpVal *luaF_findupval(lua_State *L, StkId level);
// Closes every open upvalue at or above the level.
void luaF_close(lua_State *L, StkId level);
void luaF_freeproto(lua_State *L, Proto *f);
void luaF_freeclosure(lua_State *L, Closure *c);
// Name of the local_number-th (from 1) local variable active at pc, or null.
const char *luaF_getlocalname(const Proto *func, int local_number, int pc);
