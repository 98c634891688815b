// Debug information, error raising and the call tracer.
#pragma once
#include "runtime/vm/state.h"

#define isLua(ci) (!((ci)->state & CI_C))
#define pcRel(pc, p) ((int)((pc) - (p)->code) - 1)
#define luaG_line(f, pc) (((f)->lineinfo && (pc) >= 0 && (pc) < (f)->sizelineinfo) ? (f)->lineinfo[pc] : 0)
#define resethookcount(L) ((L)->hookcount = (L)->basehookcount)

// Index of the instruction the record is executing (-1 for natives / before the first).
int luaG_currentpc(CallInfo *ci);
// Refreshes the saved positions of all frames (first line hook).
void luaG_inithooks(lua_State *L);
// Name and kind ("global", "local", "field", "method") the code gives register stackpos of a
// script record; null when it has none.
const char *luaG_getobjname(CallInfo *ci, int stackpos, const char **name);

// Sets ErrorLine (current instruction's line; -1 for natives and before the first
// instruction), updates the error context and raises code.
[[noreturn]] void luaG_runerror(lua_State *L, int code);
// As luaG_runerror with the error string set to the value's name and the suffix ("??" when
// the value has no name).
[[noreturn]] void luaG_typeerror(lua_State *L, const TObject *o, int code, const char *suffix);

// Prints the "Now calling ..." line of the running native call (DebugOutput).
void luaG_tracecall(lua_State *L);
