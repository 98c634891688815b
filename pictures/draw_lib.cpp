// The draw library "draw": its commands, constants and tables, connected to the displays'
// output targets when it opens.
#include "display/draw_targets.h"
#include "pictures/draw_commands.h"
#include "runtime/libraries.h"

int OpenDrawLib(lua_State *L) {
  const int rc = OpenDrawCommands(L);
  if (rc) return rc;
  ConnectDrawTargets();
  return 0;
}

void CloseDrawLib(lua_State *L) {
  SetDrawTargetProvider(nullptr);
  SetDrawOptionReader(nullptr);
  CloseDrawCommands();
}
