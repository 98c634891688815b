// Screens: modes, the usable area, the platform attributes and tags.
#include <SDL.h>

#include "platform/linux/os_internal.h"

static int ModeSwitched = 0;
static SDL_DisplayMode SwitchedMode;
static int UIModeChanged = 0;
static int FakeFullScreen = 0;
static int MenuBarHidden = 0;

int OsSetScreenMode(int32_t width, int32_t height, int32_t depth)
{
    if (OsInitVideo()) return 1004;
    SDL_DisplayMode want = {};
    want.w = width;
    want.h = height;
    want.format = depth == 16 ? SDL_PIXELFORMAT_RGB565 : (depth == 24 ? SDL_PIXELFORMAT_RGB24 : 0);
    SDL_DisplayMode got;
    if (!SDL_GetClosestDisplayMode(0, &want, &got)) {
        want.format = 0;   // the depth is a hint only
        if (!SDL_GetClosestDisplayMode(0, &want, &got)) return 1004;
    }
    SwitchedMode = got;
    ModeSwitched = 1;
    // A window already covering the screen goes full screen in the new mode at once.
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next)
        if (w->window && OsSwitchedModeFor(w)) w->fullScreen = 1;
    return 0;
}

int OsSwitchedModeFor(OsWindowRecord *win)
{
    if (!ModeSwitched || !win->window) return 0;
    if (win->width < SwitchedMode.w || win->height < SwitchedMode.h) return 0;
    if (SDL_SetWindowDisplayMode(win->window, &SwitchedMode) != 0) return 0;
    return SDL_SetWindowFullscreen(win->window, SDL_WINDOW_FULLSCREEN) == 0;
}

void OsRestoreScreenMode(void)
{
    if (!ModeSwitched) return;
    ModeSwitched = 0;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next)
        if (w->window && w->fullScreen) {
            SDL_SetWindowFullscreen(w->window, 0);
            w->fullScreen = 0;
        }
}

void OsSetUIMode(int mode)
{
    if (mode == 0 && !UIModeChanged) return;
    UIModeChanged = mode != 0;
}

int OsPrepareScreen(int displayMode, int screenWord, int followingWord)
{
    if (displayMode == 1 && screenWord == 0) {
        FakeFullScreen = 1;
        return 0;
    }
    if (displayMode == 1 && followingWord == 0) return 0;
    MenuBarHidden = 1;
    return displayMode != 1;
}

static void ScreenBounds(SDL_Rect *r)
{
    *r = {0, 0, 1024, 768};
    if (OsInitVideo() == 0) SDL_GetDisplayBounds(0, r);
}

void OsGetUsableScreenArea(int32_t area[4])
{
    SDL_Rect r;
    ScreenBounds(&r);
    if (FakeFullScreen && OsVideoStarted()) SDL_GetDisplayUsableBounds(0, &r);
    // There is no menu bar of the player's own: y starts at the screen's top.
    area[0] = r.x;
    area[1] = r.y;
    area[2] = r.w;
    area[3] = r.h;
}

int OsGetAttr(OsWindowRecord *win, int attribute, int32_t *value, int32_t *area)
{
    SDL_Rect r;
    switch (attribute) {
    case 5: {
        SDL_DisplayMode mode;
        int bpp = 32;
        if (OsInitVideo() == 0 && SDL_GetCurrentDisplayMode(0, &mode) == 0)
            bpp = SDL_BYTESPERPIXEL(mode.format) * 8;
        *value = bpp ? bpp : 32;
        return 1;
    }
    case 6:
    case 7: {
        int32_t x = 0, y = 0;
        if (win) OsPointerInWindow(win, &x, &y);
        *value = attribute == 6 ? x : y;
        return 1;
    }
    case 12:
    case 13:
        *value = 16;
        return 1;
    case 14:
    case 15:
        ScreenBounds(&r);
        *value = attribute == 14 ? r.w : r.h;
        return 1;
    case 16:
        *value = OsFrameLimit();
        return 1;
    case 20:
        *value = 1;
        return 1;
    case 22:
        *value = 0;
        return 1;
    case 23:
        if (area) OsGetUsableScreenArea(area);
        *value = 0;
        return 1;
    default:
        return 0;
    }
}

void OsSetTag(int tag, int32_t value)
{
    switch (tag) {
    case 8: OsCtrlCQuit = value; break;
    case 9: OsLeftMouseQuit = value; break;
    case 10: OsEscapeQuit = value; break;
    case 16: OsSetFrameLimit(value); break;
    default: break;
    }
}
