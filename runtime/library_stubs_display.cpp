// Stand-ins for the display library and the start-up steps that create declared objects until it is built. Whoever builds it deletes this file.
#include "runtime/libraries.h"

#include "runtime/applet.h"
#include "runtime/errors.h"

int OpenDisplayLib(lua_State *L) { return 0; }
void FreeAllDisplays(lua_State *L) {}

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
