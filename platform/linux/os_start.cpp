// Start and end of the platform layer, and the hooks that do nothing on this platform.
//
// SDL is started lazily: OsInit touches no video system, so a player that never opens a display
// runs without one; OsInitVideo brings up video and events for the first display.
#include "platform/os.h"

#include <SDL.h>
#include <cstdlib>
#include <cstring>

#include "platform/linux/os_internal.h"

static int VideoStarted = 0;

int OsInit(void)
{
    // Leave SIGINT/SIGTERM/SIGHUP to the player; SDL must not turn them into quit events.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    OsInstallSignals();
    return 0;
}

void OsShutdown(void)
{
    OsSetUIMode(0);
    OsFreeTimers();
    OsFreeJoysticks();
    OsFreeSystemCursors();
    OsFadeEnd();
    OsRestoreScreenMode();
    // Windows whose displays are still open go with the video system; their records stay.
    for (OsWindowRecord *w = OsFirstWindowRecord(); w; w = w->next) OsCloseWindow(w);
    if (VideoStarted) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        VideoStarted = 0;
    }
    if (SDL_WasInit(0)) SDL_Quit();
}

int OsInitVideo(void)
{
    if (VideoStarted) return 0;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A full-screen window stays when it loses the focus: the backdrop behind the displays loses
    // it to them at once, and a display only hides when the script or the user hides it.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return 1010;
    VideoStarted = 1;
    OsKeepXErrorsQuiet();
    OsTrimEventTypes();
    return 0;
}

static int IsHeadlessDriver(const char *name)
{
    return name && (strcmp(name, "dummy") == 0 || strcmp(name, "offscreen") == 0);
}

int OsHasRealDisplay(void)
{
    if (VideoStarted) return !IsHeadlessDriver(SDL_GetCurrentVideoDriver());
    if (IsHeadlessDriver(getenv("SDL_VIDEODRIVER"))) return 0;
    const char *x = getenv("DISPLAY");
    const char *w = getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

void OsNullHook(void) {}
void OsOpenDebugDevice(void) {}
int OsUsePubScreen(const char *name) { return 0; }
void OsOpenCatalog(void) {}
void OsCloseCatalog(void) {}

const char *OsGetCatalogString(void *catalog, int number, const char *defaultText)
{
    return defaultText;
}

// Whether the pump may touch SDL's event queue.
int OsVideoStarted(void)
{
    return VideoStarted;
}
