// Stand-ins for the command libraries that are not built yet. Each open function
// registers nothing and returns 0; each close function does nothing. Whoever builds a
// library deletes its entries here.
#include "runtime/libraries.h"

#include "runtime/applet.h"
#include "runtime/errors.h"

int OpenGraphicsLib(lua_State *L) { return 0; }
int OpenDrawLib(lua_State *L) { return 0; }
int OpenMoveObjectLib(lua_State *L) { return 0; }
int OpenEventLib(lua_State *L) { return 0; }
int OpenLayersLib(lua_State *L) { return 0; }
int OpenAnimLib(lua_State *L) { return 0; }
int OpenBrushLib(lua_State *L) { return 0; }
int OpenBGPicLib(lua_State *L) { return 0; }
int OpenTransitionFXLib(lua_State *L) { return 0; }
int OpenSpriteLib(lua_State *L) { return 0; }

void CloseGraphicsLib(lua_State *L) {}
void CloseDrawLib(lua_State *L) {}
void CloseLayersLib(lua_State *L) {}
void CloseEventLib(lua_State *L) {}
void FreeAllBrushes(lua_State *L) {}
void FreeAllBGPics(lua_State *L) {}
void FreeAllSprites(lua_State *L) {}
void FreeAllAnims(lua_State *L) {}

int GraphicsSetTagHandler(lua_State *L, uint32_t tag, intptr_t value) { return 0; }
int GraphicsGetTagHandler(lua_State *L, uint32_t tag, void *result) { return 0; }
