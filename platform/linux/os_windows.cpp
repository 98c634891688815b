// Window records and the window of each display: open, close, size, move, title, collapse.
#include <SDL.h>
#include <cstdlib>
#include <cstring>

#include "platform/linux/os_internal.h"

static OsWindowRecord *WindowList = nullptr;

OsWindowRecord *OsWindowList(void)
{
    return WindowList;
}

OsWindowRecord *OsFirstWindowRecord(void)
{
    return WindowList;
}

OsWindowRecord *OsWindowById(uint32_t id)
{
    for (OsWindowRecord *w = WindowList; w; w = w->next)
        if (w->window && w->windowId == id) return w;
    return nullptr;
}

int OsAllocWindowRecord(void *owner, OsWindowRecord **out)
{
    *out = nullptr;
    OsWindowRecord *win = (OsWindowRecord *)calloc(1, sizeof(OsWindowRecord));
    if (!win) return 1000;
    win->owner = owner;
    win->pendingModeSwitch = -1;
    OsWindowRecord **link = &WindowList;
    while (*link) link = &(*link)->next;
    *link = win;
    *out = win;
    return 0;
}

void OsFreeWindowRecord(OsWindowRecord *win)
{
    if (!win) return;
    OsCloseWindow(win);
    for (OsWindowRecord **link = &WindowList; *link; link = &(*link)->next)
        if (*link == win) {
            *link = win->next;
            break;
        }
    free(win->dirty);
    free(win);
}

// The window's title as UTF-8 (the script's texts are Latin-1).
static void SetTitle(SDL_Window *window, const char *title)
{
    char utf8[1024];
    size_t n = 0;
    const unsigned char *p = (const unsigned char *)(title ? title : "");
    for (; *p && n + 3 < sizeof utf8; p++) {
        if (*p < 0x80) {
            utf8[n++] = (char)*p;
        } else {
            utf8[n++] = (char)(0xc0 | *p >> 6);
            utf8[n++] = (char)(0x80 | (*p & 0x3f));
        }
    }
    utf8[n] = 0;
    SDL_SetWindowTitle(window, utf8);
}

static SDL_HitTestResult HitTest(SDL_Window *window, const SDL_Point *p, void *data)
{
    OsWindowRecord *win = (OsWindowRecord *)data;
    if (!OsUp.hitTest) return SDL_HITTEST_NORMAL;
    int hit = OsUp.hitTest(win->owner, p->x, p->y);
    if (hit == 1 && !(win->flags & OS_WF_FIXED)) return SDL_HITTEST_DRAGGABLE;
    if (hit == 2 && (win->flags & OS_WF_SIZEABLE)) return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
    return SDL_HITTEST_NORMAL;
}

// A shaped window where SDL offers one; none when it can't (the caller opens a plain one).
static SDL_Window *OpenShaped(OsWindowRecord *win, const char *title, Uint32 sdlFlags)
{
    SDL_Window *w = SDL_CreateShapedWindow(title, (unsigned)win->x, (unsigned)win->y,
                                           (unsigned)win->width, (unsigned)win->height, sdlFlags);
    if (!w) return nullptr;
    SDL_Surface *shape = SDL_CreateRGBSurfaceWithFormat(0, win->width, win->height, 32,
                                                        SDL_PIXELFORMAT_ARGB8888);
    int ok = shape != nullptr;
    if (ok) {
        for (int32_t y = 0; y < win->height; y++) {
            uint32_t *row = (uint32_t *)((uint8_t *)shape->pixels + (size_t)y * (size_t)shape->pitch);
            const uint8_t *a = win->shapeAlpha + (size_t)y * (size_t)win->width;
            for (int32_t x = 0; x < win->width; x++) row[x] = (uint32_t)a[x] << 24;
        }
        SDL_WindowShapeMode mode;
        mode.mode = ShapeModeBinarizeAlpha;
        mode.parameters.binarizationCutoff = 128;
        ok = SDL_SetWindowShape(w, shape, &mode) == 0;
        SDL_FreeSurface(shape);
    }
    if (!ok) {
        SDL_DestroyWindow(w);
        return nullptr;
    }
    return w;
}

int OsOpenWindow(OsWindowRecord *win, uint32_t flags, int32_t x, int32_t y, int32_t width,
                 int32_t height, const char *title, int activate, const uint8_t *shape)
{
    if (!win || width < 1 || height < 1) return 1010;
    if (win->window) OsCloseWindow(win);
    if (OsInitVideo()) return 1010;
    win->flags = flags;
    win->x = x;
    win->y = y;
    win->width = width;
    win->height = height;
    free(win->shapeAlpha);
    win->shapeAlpha = nullptr;
    win->shaped = 0;
    if (shape) {
        win->shapeAlpha = (uint8_t *)malloc((size_t)width * (size_t)height);
        if (!win->shapeAlpha) return 1000;
        size_t n = (size_t)width * (size_t)height;
        for (size_t i = 0; i < n; i++) win->shapeAlpha[i] = shape[i] ? 255 : 0;
    }

    OsRefreshMonitorRate();
    Uint32 sdlFlags = SDL_WINDOW_HIDDEN;
    if (flags & OS_WF_BORDERLESS) sdlFlags |= SDL_WINDOW_BORDERLESS;
    if (flags & OS_WF_SIZEABLE) sdlFlags |= SDL_WINDOW_RESIZABLE;
    // The backdrop is no window of its own for the user: the window manager keeps it below every
    // other window and offers it in no task bar, pager or window list.
    if (flags & OS_WF_BACKDROP) {
        sdlFlags |= SDL_WINDOW_SKIP_TASKBAR;
        SDL_SetHint(SDL_HINT_X11_WINDOW_TYPE, "_NET_WM_WINDOW_TYPE_DESKTOP");
    }
    OsGetBorderSizes(flags, win->borders);
    SDL_Window *w = nullptr;
    // A new window is placed by its outer frame: the window manager puts the frame's corner where
    // the window asks to be (SDL moves it by its content area later, see OsMoveWindow).
    if (win->shapeAlpha) {
        w = OpenShaped(win, "", sdlFlags);
        win->shaped = w != nullptr;   // where shapes are unsupported the window is a plain one
    }
    if (!w) w = SDL_CreateWindow("", x, y, width, height, sdlFlags);
    if (!w) {
        if (flags & OS_WF_BACKDROP) SDL_ResetHint(SDL_HINT_X11_WINDOW_TYPE);
        return 1010;
    }
    win->window = w;
    win->windowId = SDL_GetWindowID(w);
    SetTitle(w, title);
    SDL_SetWindowMinimumSize(w, 16, 16);
    if (flags & OS_WF_BORDERLESS) SDL_SetWindowHitTest(w, HitTest, win);

    if (OsSwitchedModeFor(win)) win->fullScreen = 1;
    SDL_ShowWindow(w);
    if (activate) SDL_RaiseWindow(w);
    win->windowState = 1;
    win->pendingModeSwitch = -1;
    OsGetSysTime(&win->lastPresent);
    win->dirtyCount = 0;
    // The window starts black, whole, so that it never shows stale memory.
    SDL_Surface *s = OsGetWindowSurface(win);
    if (s) {
        SDL_FillRect(s, nullptr, 0);
        OsAddDirty(win, 0, 0, s->w, s->h);
    }
    // (SDL may make the window again for its first surface, so the type holds until then.)
    if (flags & OS_WF_BACKDROP) SDL_ResetHint(SDL_HINT_X11_WINDOW_TYPE);
    OsFadeAdoptWindow(win);
    if (win == WindowList) OsStartTestInput();
    return 0;
}

void OsCloseWindow(OsWindowRecord *win)
{
    if (!win || !win->window) return;
    OsPresentWindow(win);
    OsFadeReleaseWindow(win);
    SDL_DestroyWindow(win->window);
    win->window = nullptr;
    win->windowId = 0;
    win->windowState = 0;
    win->fullScreen = 0;
    win->dirtyCount = 0;
    free(win->shapeAlpha);
    win->shapeAlpha = nullptr;
    win->shaped = 0;
}

void OsSizeWindow(OsWindowRecord *win, int32_t width, int32_t height)
{
    if (!win || width < 1 || height < 1) return;
    win->width = width;
    win->height = height;
    if (win->window) SDL_SetWindowSize(win->window, width, height);
}

void OsMoveWindow(OsWindowRecord *win, int32_t x, int32_t y)
{
    if (!win) return;
    win->x = x;
    win->y = y;
    if (win->window) SDL_SetWindowPosition(win->window, x + win->borders[0], y + win->borders[1]);
}

void OsSetWindowTitle(OsWindowRecord *win, const char *title)
{
    if (win && win->window) SetTitle(win->window, title);
}

int OsCollapseWindow(OsWindowRecord *win, int collapse)
{
    if (!win || !win->window || win->fullScreen) return 0;
    if (collapse) SDL_MinimizeWindow(win->window);
    else SDL_RestoreWindow(win->window);
    return 0;
}

void OsActivateWindow(OsWindowRecord *win)
{
    if (win && win->window) SDL_RaiseWindow(win->window);
}

int OsUpdateDropTarget(OsWindowRecord *win, int accept)
{
    if (win) win->dropTarget = accept != 0;
    return 0;
}

int OsCanSizeDisplay(void)
{
    return 1;
}

void OsApplySizeLimits(void) {}
void OsResetInput(OsWindowRecord *win) {}

int OsWatchClipboard(OsWindowRecord *win, int on)
{
    return 0;
}
