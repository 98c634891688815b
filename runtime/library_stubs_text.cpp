// Stand-ins for the text library until it is built. Whoever builds it deletes this file.
#include "runtime/libraries.h"

int OpenTextLib(lua_State *L) { return 0; }
void CloseTextLib(lua_State *L) {}
