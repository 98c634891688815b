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
int OpenTextLib(lua_State *L) { return 0; }
int OpenAnimLib(lua_State *L) { return 0; }
int OpenDisplayLib(lua_State *L) { return 0; }
int OpenSoundLib(lua_State *L) { return 0; }
int OpenBrushLib(lua_State *L) { return 0; }
int OpenBGPicLib(lua_State *L) { return 0; }
int OpenTransitionFXLib(lua_State *L) { return 0; }
int OpenSpriteLib(lua_State *L) { return 0; }

void CloseGraphicsLib(lua_State *L) {}
void CloseDrawLib(lua_State *L) {}
void CloseTextLib(lua_State *L) {}
void CloseLayersLib(lua_State *L) {}
void CloseEventLib(lua_State *L) {}
void FreeAllBrushes(lua_State *L) {}
void FreeAllBGPics(lua_State *L) {}
void FreeAllSprites(lua_State *L) {}
void FreeAllAnims(lua_State *L) {}
void FreeSoundObjects(lua_State *L) {}
void FreeAllDisplays(lua_State *L) {}
void StopAllSound(lua_State *L) {}

int GraphicsSetTagHandler(lua_State *L, uint32_t tag, intptr_t value) { return 0; }
int SoundSetTagHandler(lua_State *L, uint32_t tag, intptr_t value) { return 0; }
int GraphicsGetTagHandler(lua_State *L, uint32_t tag, void *result) { return 0; }
int SoundGetTagHandler(lua_State *L, uint32_t tag, void *result) { return 0; }

// Until the libraries that create objects and displays exist, an applet that declares any
// object or display (the display sections of the container declare one) is refused with a
// message that says so. An applet without declarations runs without opening a display.
int CreatePreprocObjects(lua_State *L, ClArgsRecord *clargs, AppletRecord *applet)
{
    if (!applet->objects) return 0;
    SetErrorString("This player cannot create the objects and displays that the applet declares yet!");
    return 1064;
}

// The first display is opened only for a declared display, which CreatePreprocObjects refuses
// for now: nothing to open.
int OpenInitialDisplay(lua_State *L, const char *private3) { return 0; }
