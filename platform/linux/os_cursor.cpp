// Mouse pointers. SDL's pointer is global, so a window's pointer is applied when it gains the
// focus. Without SDL pointers (the dummy driver) a handle still exists and is kept.
#include <SDL.h>
#include <cstdlib>

#include "platform/linux/os_internal.h"

struct OsCursor {
    SDL_Cursor *sdl;   // none where SDL has no pointers
};

static SDL_Cursor *BusyCursor = nullptr;
static SDL_Cursor *ArrowCursor = nullptr;

OsCursor *OsCreateCursor(const uint32_t *argb, int32_t hotX, int32_t hotY, int32_t width,
                         int32_t height)
{
    if (!argb || width < 1 || height < 1 || width > 4096 || height > 4096) return nullptr;
    OsCursor *c = (OsCursor *)calloc(1, sizeof(OsCursor));
    if (!c) return nullptr;
    if (OsVideoStarted()) {
        SDL_Surface *s = SDL_CreateRGBSurfaceWithFormatFrom((void *)argb, width, height, 32, width * 4,
                                                            SDL_PIXELFORMAT_ARGB8888);
        if (s) {
            if (hotX < 0 || hotX >= width) hotX = 0;
            if (hotY < 0 || hotY >= height) hotY = 0;
            c->sdl = SDL_CreateColorCursor(s, hotX, hotY);
            SDL_FreeSurface(s);
        }
    }
    return c;
}

void OsFreeCursor(OsCursor *cursor)
{
    if (!cursor) return;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next)
        if (cursor->sdl && w->cursor == cursor->sdl) {
            w->cursor = nullptr;
            OsApplyCursor(w);
        }
    if (cursor->sdl) SDL_FreeCursor(cursor->sdl);
    free(cursor);
}

static SDL_Cursor *SystemCursor(SDL_Cursor **slot, SDL_SystemCursor id)
{
    if (!*slot && OsVideoStarted()) *slot = SDL_CreateSystemCursor(id);
    return *slot;
}

void OsFreeSystemCursors(void)
{
    if (BusyCursor) SDL_FreeCursor(BusyCursor);
    if (ArrowCursor) SDL_FreeCursor(ArrowCursor);
    BusyCursor = ArrowCursor = nullptr;
}

void OsApplyCursor(OsWindowRecord *win)
{
    if (!win || !win->window || !OsVideoStarted()) return;
    // SDL's pointer is one for all windows: a window sets it only while it has the focus.
    int focus = win->active || SDL_GetKeyboardFocus() == win->window || SDL_GetMouseFocus() == win->window;
    if (!focus) return;
    if (win->pointerHidden) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    SDL_Cursor *c = win->cursor ? win->cursor : SystemCursor(&ArrowCursor, SDL_SYSTEM_CURSOR_ARROW);
    if (c) SDL_SetCursor(c);
    SDL_ShowCursor(SDL_ENABLE);
}

void OsSetCursor(OsWindowRecord *win, OsCursor *cursor, int kind)
{
    if (!win) return;
    if (kind == 1) win->cursor = SystemCursor(&BusyCursor, SDL_SYSTEM_CURSOR_WAIT);
    else if (kind == 2 && cursor) win->cursor = cursor->sdl;
    else win->cursor = nullptr;
    win->pointerHidden = 0;
    OsApplyCursor(win);
}

void OsShowCursor(OsWindowRecord *win)
{
    if (!win) return;
    win->pointerHidden = 0;
    OsApplyCursor(win);
}

void OsHideCursor(OsWindowRecord *win)
{
    if (!win) return;
    win->pointerHidden = 1;
    OsApplyCursor(win);
}

void OsResetCursor(void)
{
    if (!OsVideoStarted()) return;
    SDL_Cursor *c = SystemCursor(&ArrowCursor, SDL_SYSTEM_CURSOR_ARROW);
    if (c) SDL_SetCursor(c);
}

void OsWarpPointer(OsWindowRecord *win, int32_t x, int32_t y)
{
    if (!win || !win->window) return;
    int32_t wx = x, wy = y;   // window coordinates, as attributes 6 and 7 report them
    SDL_WarpMouseInWindow(win->window, wx, wy);
    // The position is known at once: the dummy driver's own motion after a warp names no
    // window, so the pump would not give it to this one.
    int32_t oldX = win->mouseX, oldY = win->mouseY;
    win->mouseX = wx;
    win->mouseY = wy;
    // Where the warp reaches no real pointer (headless) the motion is posted here, so a warp
    // always moves the pointer the player knows.
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = win->windowId;
    e.motion.x = wx;
    e.motion.y = wy;
    e.motion.xrel = wx - oldX;
    e.motion.yrel = wy - oldY;
    SDL_PushEvent(&e);
}
