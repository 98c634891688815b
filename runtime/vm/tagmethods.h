// Tag-method (metamethod) events and their lookup.
#pragma once
#include "runtime/vm/object.h"

// The 23 events, in this order (names "__index" ... "__call").
enum TMS {
  TM_INDEX,
  TM_NEWINDEX,
  TM_GC,
  TM_MODE,
  TM_EQ,  // last event whose absence the metatable's flags byte can cache
  TM_ADD,
  TM_SUB,
  TM_MUL,
  TM_DIV,
  TM_DIVINT,
  TM_MOD,
  TM_LSH,
  TM_RSH,
  TM_OR,
  TM_AND,
  TM_XOR,
  TM_POW,
  TM_UNM,
  TM_NOT,
  TM_LT,
  TM_LE,
  TM_CONCAT,
  TM_CALL,
  TM_N  // number of events
};

// Event names, indexed by TMS.
extern const char *const luaT_eventname[TM_N];
// Type names indexed by tag 0..8 ("nil" ... "thread").
extern const char *const luaT_typenames[LUA_NUMTAGS];

// Interns the 23 event names into G(L)->tmname and fixes them.
void luaT_init(lua_State *L);
// The tag method of event `event` in metatable `events`, or null. On none, for
// the events the flags byte can hold (bit < 8), records the absence.
const TObject *luaT_gettm(Table *events, TMS event, TString *ename);
// The tag method of a table's or full userdata's metatable; null for any other
// kind and when there is none.
const TObject *luaT_gettmbyobj(lua_State *L, const TObject *o, TMS event);

// Cached lookup in a metatable `et` (may be null): the flags byte short-cuts
// events known to be absent.
#define gfasttm(g, et, e) \
  ((et) == NULL ? NULL                                                       \
   : ((unsigned)(e) < 8 && ((et)->flags & (1u << (e)))) ? NULL              \
                                                        : luaT_gettm(et, e, (g)->tmname[e]))
#define fasttm(l, et, e) gfasttm(G(l), et, e)
