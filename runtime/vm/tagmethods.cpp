// Tag-method events: names and lookup.
#include "runtime/vm/tagmethods.h"

#include "runtime/vm/state.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"

const char *const luaT_typenames[LUA_NUMTAGS] = {
    "nil", "boolean", "userdata", "number", "string", "table", "function", "userdata", "thread"};

const char *const luaT_eventname[TM_N] = {
    "__index", "__newindex", "__gc",  "__mode", "__eq",  "__add", "__sub",    "__mul",
    "__div",   "__divint",   "__mod", "__lsh",  "__rsh", "__or",  "__and",    "__xor",
    "__pow",   "__unm",      "__not", "__lt",   "__le",  "__concat", "__call"};

void luaT_init(lua_State *L) {
  for (int i = 0; i < TM_N; i++) {
    G(L)->tmname[i] = luaS_new(L, luaT_eventname[i]);
    luaS_fix(G(L)->tmname[i]);
  }
}

const TObject *luaT_gettm(Table *events, TMS event, TString *ename) {
  const TObject *tm = luaH_getstr(events, ename);
  if (ttisnil(tm)) {
    if ((unsigned)event < 8) events->flags |= (lu_byte)(1u << event);
    return NULL;
  }
  return tm;
}

const TObject *luaT_gettmbyobj(lua_State *L, const TObject *o, TMS event) {
  Table *mt;
  switch (ttype(o)) {
    case LUA_TTABLE:
      mt = hvalue(o)->metatable;
      break;
    case LUA_TUSERDATA:
      mt = uvalue(o)->metatable;
      break;
    default:
      return NULL;
  }
  if (mt == NULL) return NULL;
  const TObject *tm = luaH_getstr(mt, G(L)->tmname[event]);
  return ttisnil(tm) ? NULL : tm;
}
