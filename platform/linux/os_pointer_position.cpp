// Where the pointer is relative to a window's content area, inside the window or not.
#include <SDL.h>
#include <SDL_syswm.h>
#include <algorithm>
#include <cstdint>

#include "platform/linux/os_internal.h"

void OsPointerInWindow(const OsWindowRecord *win, int32_t *x, int32_t *y)
{
    *x = win->mouseX;
    *y = win->mouseY;
    if (!OsHasRealDisplay() || !win->window) return;
    // SDL reports motion only inside the window (clamped to its edge as the pointer leaves) and
    // keeps the global position of the last motion it saw, so the server is asked.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(win->window, &info) && info.subsystem == SDL_SYSWM_X11) {
        Window root, child;
        int rootX, rootY, winX, winY;
        unsigned int mask;
        if (XQueryPointer(info.info.x11.display, info.info.x11.window, &root, &child, &rootX, &rootY, &winX, &winY,
                          &mask)) {
            *x = winX;
            *y = winY;
        }
        return;
    }
    int gx, gy, wx, wy;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(win->window, &wx, &wy);
    // (in 64 bits, held within 32: the window may lie far off the screen)
    *x = (int32_t)std::clamp<int64_t>((int64_t)gx - wx, INT32_MIN, INT32_MAX);
    *y = (int32_t)std::clamp<int64_t>((int64_t)gy - wy, INT32_MIN, INT32_MAX);
}
