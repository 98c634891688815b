// Stand-ins for the command libraries that are not built yet. Each open function
// registers nothing and returns 0; each close function does nothing. Whoever builds a
// library deletes its entries here.
#include "runtime/libraries.h"

#include "runtime/applet.h"
#include "runtime/errors.h"

int OpenDrawLib(lua_State *L) { return 0; }
int OpenAnimLib(lua_State *L) { return 0; }
int OpenTransitionFXLib(lua_State *L) { return 0; }

void CloseDrawLib(lua_State *L) {}
void FreeAllAnims(lua_State *L) {}

