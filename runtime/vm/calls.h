// Calls, stack growth, protected calls and the raising of coded errors.
#pragma once
#include <cstddef>
#include "runtime/vm/state.h"

// Limits.
#define LUA_MAXCI 4096        // call records
#define LUA_MAXCCALLS 200     // nested luaD_call depth
#define LUA_MAXCSTACK 2048    // slots one frame may claim through lua_checkstack

// Positions that survive a stack or call-record reallocation.
#define savestack(L, p) ((char *)(p) - (char *)(L)->stack)
#define restorestack(L, n) ((TObject *)((char *)(L)->stack + (n)))
#define saveci(L, p) ((char *)(p) - (char *)(L)->base_ci)
#define restoreci(L, n) ((CallInfo *)((char *)(L)->base_ci + (n)))

// Makes room for n more slots above the top.
#define luaD_checkstack(L, n)                                                        \
  do {                                                                               \
    if ((char *)(L)->stack_last - (char *)(L)->top <= (ptrdiff_t)(n) * (ptrdiff_t)sizeof(TObject)) \
      luaD_growstack(L, n);                                                          \
  } while (0)
#define incr_top(L)          \
  do {                       \
    luaD_checkstack(L, 1);   \
    (L)->top++;              \
  } while (0)

typedef void (*Pfunc)(lua_State *L, void *ud);

// Prepares a call of the value at func with the arguments above it. Returns null for a
// script function (its frame is pushed; luaV_execute runs it). For a native function it
// runs the handler and returns the position of its first result; when the handler returned
// an error code or a Gosub request (-1/-2), *code receives it and the result is the top
// (no results). The native's call record stays pushed until luaD_poscall.
StkId luaD_precall(lua_State *L, StkId func, int *code);
// A complete call; returns the error code a native callee returned (0 otherwise).
int luaD_call(lua_State *L, StkId func, int nResults);
// Moves the results from firstResult up to the top into the function's slot, pads with nil
// to `wanted` (-1: all), pops the call record and its Gosub entries.
void luaD_poscall(lua_State *L, int wanted, StkId firstResult);
void luaD_callhook(lua_State *L, int event, int line);

// Runs f under a protected call; on a raise restores the call records, nCcalls, allowhook,
// the Gosub count and the stack top (oldtop) to what they were at entry and returns the code.
int luaD_pcall(lua_State *L, Pfunc func, void *u, ptrdiff_t oldtop, ptrdiff_t ef);
int luaD_rawrunprotected(lua_State *L, Pfunc f, void *ud);
// Raises code to the innermost protected call; without one, runs the panic function and
// ends the process with status 1.
[[noreturn]] void luaD_throw(lua_State *L, int code);

void luaD_reallocCI(lua_State *L, int newsize);
void luaD_reallocstack(lua_State *L, int newsize);
void luaD_growstack(lua_State *L, int n);
