// Screen fades through the gamma ramps of the player's windows: OsFadeOut takes the ramps of
// every open window (the reservation) and steps them down to black in 0.5 s; OsFadeIn steps
// them back up in 1.0 s and puts each window's own ramp back exactly. Where the video driver
// has no ramps or refuses one (Wayland, the dummy driver) no window joins, the reservation
// fails and the token is 0: the caller's fade is skipped.
//
// While a reservation holds, a window that opens joins the fade at the current level (screen
// mode switches close and reopen every window between the two fades) and a window that closes
// gets its own ramp back first. The reservation lasts 10 s at most: the pump ends an older one,
// and OsShutdown ends any, so the screens never stay dark after the player.
#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <time.h>

#include "platform/linux/os_internal.h"

enum {
    FADE_OUT_MICROS = 500000,
    FADE_IN_MICROS = 1000000,
    FADE_STEP_MICROS = 10000,
    FADE_RESERVATION_MICROS = 10000000,
    FADE_LEVEL_ONE = 65536   // fixed-point level: full brightness
};

static int SdlGetRamp(SDL_Window *window, uint16_t ramp[OS_GAMMA_RAMP])
{
    return SDL_GetWindowGammaRamp(window, ramp, ramp + 256, ramp + 512);
}

static int SdlSetRamp(SDL_Window *window, const uint16_t ramp[OS_GAMMA_RAMP])
{
    return SDL_SetWindowGammaRamp(window, ramp, ramp + 256, ramp + 512);
}

// The monotonic clock, not OsGetSysTime: the test-input clock behind that one only moves with
// its file.
static const OsFadeHooks SystemHooks = {SdlGetRamp, SdlSetRamp, OsMonotonicMicros, OsSleepMicros};
static OsFadeHooks Hooks = SystemHooks;

static int Token = 0;           // the reservation's token; 0 while there is none
static int LastToken = 0;
static int64_t ReservedAt = 0;
static int Level = FADE_LEVEL_ONE;

void OsSetFadeHooks(const OsFadeHooks *hooks)
{
    Hooks = hooks ? *hooks : SystemHooks;
}

// The window's own ramp scaled to the level.
static int ApplyLevel(OsWindowRecord *win, int level)
{
    uint16_t ramp[OS_GAMMA_RAMP];
    for (int i = 0; i < OS_GAMMA_RAMP; i++)
        ramp[i] = (uint16_t)(((uint32_t)win->fadeRamp[i] * (uint32_t)level) >> 16);
    return Hooks.setRamp(win->window, ramp);
}

// Takes the window's ramp into the fade; 0 when the driver has none or refuses to set one.
static int Adopt(OsWindowRecord *win)
{
    if (!win->window || win->fadeRamp) return win->fadeRamp != nullptr;
    uint16_t *ramp = (uint16_t *)malloc(OS_GAMMA_RAMP * sizeof(uint16_t));
    if (!ramp) return 0;
    // Setting the window's own ramp again shows whether the driver takes ramps at all.
    if (Hooks.getRamp(win->window, ramp) != 0 || Hooks.setRamp(win->window, ramp) != 0) {
        free(ramp);
        return 0;
    }
    win->fadeRamp = ramp;
    return 1;
}

void OsFadeReleaseWindow(OsWindowRecord *win)
{
    if (!win || !win->fadeRamp) return;
    if (win->window) Hooks.setRamp(win->window, win->fadeRamp);
    free(win->fadeRamp);
    win->fadeRamp = nullptr;
}

void OsFadeAdoptWindow(OsWindowRecord *win)
{
    if (Token && win && Adopt(win) && Level != FADE_LEVEL_ONE) ApplyLevel(win, Level);
}

void OsFadeEnd(void)
{
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next) OsFadeReleaseWindow(w);
    Token = 0;
    Level = FADE_LEVEL_ONE;
}

void OsFadeExpire(void)
{
    if (Token && Hooks.nowMicros() - ReservedAt >= FADE_RESERVATION_MICROS) OsFadeEnd();
}

static void ApplyToAll(int level)
{
    Level = level;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next)
        if (w->fadeRamp && w->window) ApplyLevel(w, level);
}

static int AnyHeld(void)
{
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next)
        if (w->fadeRamp && w->window) return 1;
    return 0;
}

// Steps every held window from the current level to `to` in `micros`; without the wait flag,
// with no window held (all closed since the fade out) or when a signal waits for the pump, the
// end level is set at once.
static void Ramp(int to, int64_t micros, int wait)
{
    const int from = Level;
    const int64_t start = Hooks.nowMicros();
    while (wait && AnyHeld() && !OsSignalPending()) {
        int64_t t = Hooks.nowMicros() - start;
        if (t < 0) t = 0;
        if (t >= micros) break;
        ApplyToAll(from + (int)((int64_t)(to - from) * t / micros));
        int64_t left = micros - t;
        Hooks.sleepMicros(left < FADE_STEP_MICROS ? left : (int64_t)FADE_STEP_MICROS);
    }
    ApplyToAll(to);
}

void OsFadeOut(int *token, int wait)
{
    if (token) *token = 0;
    if (Token || !token || !OsVideoStarted()) return;
    int held = 0;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next) held += Adopt(w);
    if (!held) return;
    Token = LastToken = LastToken == 0x7fffffff ? 1 : LastToken + 1;
    ReservedAt = Hooks.nowMicros();
    Level = FADE_LEVEL_ONE;
    *token = Token;
    Ramp(0, FADE_OUT_MICROS, wait);
}

void OsFadeIn(int token, int wait)
{
    if (!token || token != Token) return;
    Ramp(FADE_LEVEL_ONE, FADE_IN_MICROS, wait);
    OsFadeEnd();
}
