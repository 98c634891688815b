// The event pump, installed as the interpreter's line hook and called by every waiting loop.
// It must cost next to nothing per script line: with an empty queue it returns within 10 ms of
// its last run after one queue look and one clock read.
#include <SDL.h>

#include "platform/linux/os_internal.h"

enum { PUMP_PACE_MICROS = 10000, REAP_PACE_MICROS = 1000000 };

static OsTimeVal LastPump = {0, 0};
static OsTimeVal LastReap = {0, 0};
static uint32_t WakeType = 0;

int OsCtrlCQuit = 1, OsLeftMouseQuit = 0, OsEscapeQuit = 0;

uint32_t OsWakeEventType(void)
{
    return WakeType;
}

void OsTrimEventTypes(void)
{
    // Every event the pump takes should be one it uses.
    static const Uint32 Unused[] = {
        SDL_JOYAXISMOTION, SDL_JOYBALLMOTION, SDL_JOYHATMOTION, SDL_JOYBUTTONDOWN, SDL_JOYBUTTONUP,
        SDL_JOYDEVICEADDED, SDL_JOYDEVICEREMOVED, SDL_JOYBATTERYUPDATED, SDL_CONTROLLERAXISMOTION,
        SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLERBUTTONUP, SDL_CONTROLLERDEVICEADDED,
        SDL_CONTROLLERDEVICEREMOVED, SDL_CONTROLLERDEVICEREMAPPED, SDL_CONTROLLERTOUCHPADDOWN,
        SDL_CONTROLLERTOUCHPADMOTION, SDL_CONTROLLERTOUCHPADUP, SDL_CONTROLLERSENSORUPDATE,
        SDL_FINGERDOWN, SDL_FINGERUP, SDL_FINGERMOTION, SDL_DOLLARGESTURE, SDL_DOLLARRECORD,
        SDL_MULTIGESTURE, SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED, SDL_SENSORUPDATE,
        SDL_KEYMAPCHANGED, SDL_TEXTEDITING, SDL_TEXTEDITING_EXT, SDL_SYSWMEVENT, SDL_LOCALECHANGED,
        SDL_DISPLAYEVENT, SDL_RENDER_TARGETS_RESET, SDL_RENDER_DEVICE_RESET, SDL_APP_TERMINATING,
        SDL_APP_LOWMEMORY, SDL_APP_WILLENTERBACKGROUND, SDL_APP_DIDENTERBACKGROUND,
        SDL_APP_WILLENTERFOREGROUND, SDL_APP_DIDENTERFOREGROUND, SDL_QUIT,
    };
    for (Uint32 type : Unused) SDL_EventState(type, SDL_IGNORE);
    // The mouse's synthetic touch events and the touch's synthetic mouse events are off too.
    SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
    if (!WakeType) {
        Uint32 type = SDL_RegisterEvents(1);
        if (type != (Uint32)-1) WakeType = type;
    }
}

// The quit conditions and the requests each window carries; the flags are cleared on every pass.
// A mode switch or a finished resize is handed up only after the walk: the display side may
// close and reopen windows, which changes the list. Both come from one event, and a pass takes
// one event, so there is at most one of each.
static int CheckWindows(lua_State *L)
{
    int quit = 0;
    void *switchOwner = nullptr, *resizeOwner = nullptr;
    int switchTo = 0;
    int32_t width = 0, height = 0;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next) {
        if (w->leftButton && OsLeftMouseQuit) quit = 1;
        if (w->escape && OsEscapeQuit) quit = 1;
        if (w->ctrlC && OsCtrlCQuit) quit = 1;
        if (w->pendingModeSwitch != -1) {
            switchOwner = w->owner;
            switchTo = w->pendingModeSwitch;
            w->pendingModeSwitch = -1;
        }
        if (w->resized) {
            resizeOwner = w->owner;
            width = w->width;
            height = w->height;
        }
        if (w->closeRequested && !(OsUp.hasCloseHandler && OsUp.hasCloseHandler(w->owner))) quit = 1;
        w->closeRequested = 0;
        w->resized = 0;
        w->ctrlC = 0;
        w->escape = 0;
    }
    if (switchOwner && OsUp.switchMode) OsUp.switchMode(L, switchOwner, switchTo);
    if (resizeOwner && OsUp.resizeDone) OsUp.resizeDone(L, resizeOwner, width, height);
    return quit;
}

int OsPumpEvents(lua_State *L, lua_Debug *ar)
{
    OsTimeVal now;
    OsGetSysTime(&now);
    int video = OsVideoStarted();
    if (!OsSignalPending() && !(video && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT))) {
        int64_t since = OsTimeDiffMicros(&now, &LastPump);
        if (since >= 0 && since < PUMP_PACE_MICROS) return OsStopSet();
    }
    if (video) {
        SDL_PumpEvents();
        SDL_Event e;
        if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) OsTranslateEvent(&e);
    }
    OsApplySignals();
    if (CheckWindows(L)) OsSetStop();
    OsPresentDue();

    int64_t sinceReap = OsTimeDiffMicros(&now, &LastReap);
    int reap = sinceReap < 0 || sinceReap >= REAP_PACE_MICROS;
    if (reap) {
        LastReap = now;
        OsFadeExpire();
    }
    if (OsUp.audioPump) OsUp.audioPump(reap);
    LastPump = now;
    return OsStopSet();
}
