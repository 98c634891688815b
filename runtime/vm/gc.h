// Stop-the-world mark-and-sweep collector with weak tables and finalisers.
#pragma once
#include "runtime/vm/object.h"

// Mark byte bits.
#define MARKBIT 0        // value 1: reached in this collection
#define KEYWEAKBIT 1     // value 2 on tables: weak keys
#define VALUEWEAKBIT 2   // value 4 on tables: weak values
#define FINALBIT 1       // value 2 on userdata: finaliser not yet scheduled
// FIXEDBIT (value 16) is in strings.h.
#define KEYWEAK (1 << KEYWEAKBIT)
#define VALUEWEAK (1 << VALUEWEAKBIT)

#define ismarked(x) ((x)->gch.marked & (1 << MARKBIT))

// Allocation check: run a full collection when the bytes in use reached the
// threshold. The GC-stress build (KV_GC_STRESS) collects at every check.
#ifdef KV_GC_STRESS
#define luaC_checkGC(L) luaC_collectgarbage(L)
#else
#define luaC_checkGC(L)                                  \
  do {                                                   \
    if (G(L)->nblocks >= G(L)->GCthreshold) luaC_collectgarbage(L); \
  } while (0)
#endif

// Puts a new object at the head of the root list with mark 0.
void luaC_link(lua_State *L, GCObject *o, lu_byte tt);
// One full collection, then the pending finalisers.
void luaC_collectgarbage(lua_State *L);
// Moves unreachable userdata with a __gc tag method (or every one with `all`)
// to the finaliser list; returns their total size.
size_t luaC_separateudata(lua_State *L, int all);
// Runs the pending finalisers.
void luaC_callGCTM(lua_State *L);
// Frees unmarked objects (every object when `all` is set).
void luaC_sweep(lua_State *L, int all);
// Frees one object by its tag.
void luaC_freeobj(lua_State *L, GCObject *o);
