// The interpreter loop and the value operations that may run tag methods.
#pragma once
#include "runtime/vm/state.h"
#include "runtime/vm/tagmethods.h"

// Runs the script function whose frame luaD_precall has just pushed. Returns the position of
// the first result when it returns to a native caller, or null when it stopped (StopFlag).
StkId luaV_execute(lua_State *L);

// t[key] into *res with __index. strict: a key missing at the end of the chain raises 1159
// (GETTABLE); otherwise it gives nil (GETGLOBAL, SELF, lua_gettable). res lies on the stack.
void luaV_gettable(lua_State *L, const TObject *t, TObject *key, StkId res, int strict);
// t[key] = val with __newindex.
void luaV_settable(lua_State *L, const TObject *t, TObject *key, StkId val);
// Concatenates `total` values ending at register `last` of the running frame into the first.
void luaV_concat(lua_State *L, int total, int last);
// Arithmetic with conversion (nil 0, numeric strings) and the operator's tag method.
void luaV_arith(lua_State *L, StkId ra, const TObject *rb, const TObject *rc, TMS op);

// Calls tag method f with (p1, p2) and pushes its first result on the stack top.
void luaV_callTMres(lua_State *L, const TObject *f, const TObject *p1, const TObject *p2);
// Calls tag method f with (p1, p2, p3) and no results.
void luaV_callTM(lua_State *L, const TObject *f, const TObject *p1, const TObject *p2,
                 const TObject *p3);
