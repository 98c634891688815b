// #NAME constants: resolved from the constant tables the player's libraries register.
// The libraries are opened once, in a state of their own, on the first lookup.
#include <cstdio>
#include <cstdlib>

#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tools/kvasm/kvasm_lib.h"

namespace {

lua_State *ConstState;
int ConstStateTried;

int OpenCode;

int OpenLibraries(lua_State *L) {
  OpenCode = OpenAllLibraries(L);
  return 0;
}

void CloseConstState() {
  if (ConstState) lua_close(ConstState);
  ConstState = nullptr;
}

lua_State *GetConstState() {
  if (!ConstStateTried) {
    ConstStateTried = 1;
    ConstState = lua_open();
    atexit(CloseConstState);
    if (ConstState) {
      int code = lua_cpcall(ConstState, OpenLibraries, nullptr);
      if (!code) code = OpenCode;
      if (code) fprintf(stderr, "kvasm: warning: opening the libraries for #constants gave error %d\n", code);
      lua_settop(ConstState, 0);
    }
  }
  return ConstState;
}

}  // namespace

int AsmLookupConstant(const std::string &name, AsmConst *out) {
  lua_State *L = GetConstState();
  if (!L) return 0;
  const char *str = nullptr;
  lua_Number num = 0;
  if (!luaL_getconstant(L, name.c_str(), &str, &num)) return 0;
  if (str) {
    out->kind = 4;
    out->str = str;
  } else {
    out->kind = 3;
    out->num = num;
  }
  return 1;
}
