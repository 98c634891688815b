// X11 errors: Xlib's own handler ends the program on any error the server reports, and the server
// reports some that come of a race and harm nothing (a window that went away just before a request
// named it). The player's handler lets them pass.
#include <SDL.h>
#include <X11/Xlib.h>
#include <cstring>

#include "platform/linux/os_internal.h"

static int IgnoreError(Display *display, XErrorEvent *error)
{
    return 0;
}

void OsKeepXErrorsQuiet(void)
{
    const char *driver = SDL_GetCurrentVideoDriver();
    if (driver && strcmp(driver, "x11") == 0) XSetErrorHandler(IgnoreError);
}
