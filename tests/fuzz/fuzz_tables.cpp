// Table operations driven by the input, checked against std::map: stores,
// deletions, lookups, traversals that delete as they go, and collections.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

#include "runtime/vm/calls.h"
#include "runtime/vm/gc.h"
#include "runtime/vm/state.h"
#include "runtime/vm/strings.h"
#include "runtime/vm/tables.h"
#include "runtime/vm/values.h"

namespace {

struct Run {
  const uint8_t *data;
  size_t size;
};

std::string KeyName(const TObject *k) {
  char buf[64];
  switch (ttype(k)) {
    case LUA_TNIL: return "n:0";
    case LUA_TNUMBER:
      snprintf(buf, sizeof(buf), "n:%.17g", nvalue(k) == 0 ? 0.0 : nvalue(k));
      return buf;
    case LUA_TSTRING: return "s:" + std::string(svalue(k), tsvalue(k)->len);
    case LUA_TBOOLEAN: return bvalue(k) ? "b:1" : "b:0";
    default: return "?";
  }
}

void Check(bool ok) {
  if (!ok) abort();
}

void MakeKey(lua_State *L, uint8_t sel, TObject *k) {
  switch (sel >> 5) {
    case 0: setnvalue(k, (double)(sel & 31) + 1); break;         // array candidates
    case 1: setnvalue(k, (double)(sel & 31) * 37 - 300); break;  // sparse integers
    case 2: setnvalue(k, (double)(sel & 31) / 8.0); break;
    case 3: setnilvalue(k); break;
    case 4: setnvalue(k, (sel & 1) ? -0.0 : 1e10 * (sel & 31)); break;
    case 5: setbvalue(k, sel & 1); break;
    default: {
      char s[4] = {'k', (char)('a' + (sel & 15)), (char)(sel & 16 ? 0 : 'z'), 0};
      setsvalue(k, luaS_newlstr(L, s, 3));
      break;
    }
  }
}

void Body(lua_State *L, void *ud) {
  Run *run = static_cast<Run *>(ud);
  Table *t = luaH_new(L, 0, 0);
  sethvalue(L->top, t);
  L->top++;
  std::map<std::string, double> model;
  for (size_t i = 0; i + 2 < run->size; i += 3) {
    uint8_t op = run->data[i], sel = run->data[i + 1], val = run->data[i + 2];
    StkId ks = L->top;
    MakeKey(L, sel, ks);
    L->top++;
    std::string name = KeyName(ks);
    switch (op % 8) {
      case 0: case 1: case 2:
        setnvalue(luaH_set(L, t, ks), val);
        model[name] = val;
        break;
      case 3: case 4: {
        const TObject *p = luaH_get(t, ks);
        if (!ttisnil(p)) setnilvalue((TObject *)p);
        model.erase(name);
        break;
      }
      case 5: {
        const TObject *p = luaH_get(t, ks);
        auto it = model.find(name);
        Check(it == model.end() ? ttisnil(p) : (ttisnumber(p) && nvalue(p) == it->second));
        break;
      }
      case 6: {  // traversal deleting every entry whose value has the bit of `val`
        StkId key = L->top;
        setnilvalue(key);
        setnilvalue(key + 1);
        L->top += 2;
        size_t visited = 0;
        while (luaH_next(L, t, key)) {
          visited++;
          Check(ttisnumber(key + 1));
          if (((int)nvalue(key + 1) & (val | 1)) == 0) continue;
          model.erase(KeyName(key));
          setnilvalue(luaH_set(L, t, key));
        }
        L->top = key;
        Check(visited <= 4096);
        break;
      }
      default:
        luaC_collectgarbage(L);
        break;
    }
    L->top = ks;
  }
  size_t n = 0;
  StkId key = L->top;
  setnilvalue(key);
  setnilvalue(key + 1);
  L->top += 2;
  while (luaH_next(L, t, key)) {
    auto it = model.find(KeyName(key));
    Check(it != model.end() && nvalue(key + 1) == it->second);
    n++;
  }
  Check(n == model.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 3 * 4000) return 0;
  lua_State *L = lua_open();
  if (L == nullptr) return 0;
  Run run{data, size};
  int code = luaD_rawrunprotected(L, Body, &run);
  Check(code == 0);
  lua_close(L);
  return 0;
}
