// Translation of SDL's window, mouse, wheel and drop events into window state and posted events.
#include <SDL.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/linux/os_internal.h"

static void Button(OsWindowRecord *win, const SDL_MouseButtonEvent *b)
{
    int down = b->type == SDL_MOUSEBUTTONDOWN;
    win->mouseX = b->x;
    win->mouseY = b->y;
    switch (b->button) {
    case SDL_BUTTON_LEFT:
        win->leftButton = down;
        OsPost(win, OS_EV_LEFTBUTTON, (uint32_t)b->x, (uint32_t)b->y, (uint32_t)down);
        break;
    case SDL_BUTTON_RIGHT:
        win->rightButton = down;
        OsPost(win, OS_EV_RIGHTBUTTON, (uint32_t)b->x, (uint32_t)b->y, (uint32_t)down);
        break;
    case SDL_BUTTON_MIDDLE:
        win->midButton = down;
        OsPost(win, OS_EV_MIDBUTTON, (uint32_t)b->x, (uint32_t)b->y, (uint32_t)down);
        break;
    default:
        break;
    }
}

static void Motion(OsWindowRecord *win, int32_t x, int32_t y)
{
    win->mouseX = x;
    win->mouseY = y;
    win->mouseMoved = 1;
    OsGetSysTime(&win->mouseMovedTime);
}

// Stores a new geometry in the record and the owner; the player's own moves and sizes were
// recorded before they were made, so they arrive here unchanged and post nothing.
static int GeometryChanged(OsWindowRecord *win, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (x == win->x && y == win->y && w == win->width && h == win->height) return 0;
    win->x = x;
    win->y = y;
    win->width = w;
    win->height = h;
    if (OsUp.geometryChanged) OsUp.geometryChanged(win->owner, x, y, w, h);
    return 1;
}

// The window that last had the focus, apart from a backdrop (by id: the record may be gone).
static uint32_t LastFocusedId = 0;

// A backdrop takes no focus: a click on it gives the focus back to the window that last had it,
// else to the first window shown. 1 when the focus was handed on.
static int HandFocusOn(OsWindowRecord *win)
{
    if (!(win->flags & OS_WF_BACKDROP)) {
        LastFocusedId = win->windowId;
        return 0;
    }
    OsWindowRecord *to = OsWindowById(LastFocusedId);
    if (!to || (to->flags & OS_WF_BACKDROP) || to->windowState != 1) {
        to = nullptr;
        for (OsWindowRecord *w = OsWindowList(); w && !to; w = w->next)
            if (w->window && !(w->flags & OS_WF_BACKDROP) && w->windowState == 1) to = w;
    }
    if (!to) return 0;
    SDL_RaiseWindow(to->window);
    return 1;
}

static void Window(OsWindowRecord *win, const SDL_WindowEvent *e)
{
    switch (e->event) {
    case SDL_WINDOWEVENT_MOVED: {
        // SDL reports the client area; the display knows the outer frame, whose borders are
        // known only once the window is mapped.
        int top, left, bottom, right;
        if (SDL_GetWindowBordersSize(win->window, &top, &left, &bottom, &right) == 0) {
            win->borders[0] = left;
            win->borders[1] = top;
            win->borders[2] = left + right;
            win->borders[3] = top + bottom;
        }
        if (GeometryChanged(win, e->data1 - win->borders[0], e->data2 - win->borders[1], win->width,
                            win->height))
            OsPost(win, OS_EV_MOVED, 0, 0, 0);
        break;
    }
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (GeometryChanged(win, win->x, win->y, e->data1, e->data2)) {
            win->resized = 1;
            OsPost(win, OS_EV_SIZED, 0, 0, 0);
        }
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (HandFocusOn(win)) break;
        win->active = 1;
        OsPost(win, OS_EV_ACTIVE, 0, 0, 0);
        OsApplyCursor(win);
        OsClipboardFocusGained();   // the clipboard may have changed while another program had the focus
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        win->active = 0;
        memset(win->keys, 0, sizeof win->keys);
        OsForgetModifiers();
        OsPost(win, OS_EV_INACTIVE, 0, 0, 0);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        if (win->windowState != 2) {
            win->windowState = 2;
            OsPost(win, OS_EV_COLLAPSED, 0, 0, 0);
        }
        break;
    case SDL_WINDOWEVENT_RESTORED:
        if (win->windowState == 2) {
            win->windowState = 1;
            OsPost(win, OS_EV_EXPANDED, 0, 0, 0);
        }
        break;
    case SDL_WINDOWEVENT_CLOSE:
        if (win->flags & (OS_WF_NOCLOSE | OS_WF_BACKDROP)) break;
        win->closeRequested = 1;
        OsPost(win, OS_EV_CLOSE, 0, 0, 0);
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        if (OsUp.refresh) OsUp.refresh(win->owner);
        OsAddDirty(win, 0, 0, 0x7fffffff, 0x7fffffff);
        break;
    default:
        break;
    }
}

// Paths of one drop: collected from SDL_DROPBEGIN to SDL_DROPCOMPLETE, Latin-1, each ended by a
// zero byte.
static char *DropList = nullptr;
static size_t DropLength = 0;

// The Latin-1 form of a UTF-8 path into out (at least strlen(path) + 1 bytes); 0 when it has
// none (a character above U+00FF or a broken sequence).
static int PathToLatin1(const char *path, char *out)
{
    const unsigned char *p = (const unsigned char *)path;
    size_t n = 0;
    while (*p) {
        if (*p < 0x80) {
            out[n++] = (char)*p++;
        } else if ((*p == 0xc2 || *p == 0xc3) && (p[1] & 0xc0) == 0x80) {
            out[n++] = (char)((*p & 0x1f) << 6 | (p[1] & 0x3f));
            p += 2;
        } else {
            return 0;
        }
    }
    out[n] = 0;
    return 1;
}

static void DropFile(const char *path)
{
    size_t len = strlen(path);
    char *latin1 = (char *)malloc(len + 1);
    if (!latin1) return;
    if (PathToLatin1(path, latin1) && latin1[0]) {
        size_t n = strlen(latin1);
        char *grown = (char *)realloc(DropList, DropLength + n + 2);
        if (grown) {
            DropList = grown;
            memcpy(DropList + DropLength, latin1, n + 1);
            DropLength += n + 1;
        }
    }
    free(latin1);
}

static void DropComplete(OsWindowRecord *win)
{
    if (win && win->dropTarget && DropLength) {
        DropList[DropLength] = 0;   // the list ends with an empty string
        int32_t x, y;
        OsPointerInWindow(win, &x, &y);
        OsPost(win, OS_EV_DROP, (uint32_t)x, (uint32_t)y, 0, DropList, DropLength + 1);
    }
    free(DropList);
    DropList = nullptr;
    DropLength = 0;
}

void OsTranslateEvent(SDL_Event *e)
{
    switch (e->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        OsTranslateKey(OsWindowById(e->key.windowID), &e->key);
        break;
    case SDL_TEXTINPUT: {
        OsWindowRecord *win = OsWindowById(e->text.windowID);
        if (win) OsTranslateText(win, e->text.text);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        OsWindowRecord *win = OsWindowById(e->button.windowID);
        if (win) Button(win, &e->button);
        break;
    }
    case SDL_MOUSEMOTION: {
        OsWindowRecord *win = OsWindowById(e->motion.windowID);
        if (win) Motion(win, e->motion.x, e->motion.y);
        break;
    }
    case SDL_MOUSEWHEEL: {
        OsWindowRecord *win = OsWindowById(e->wheel.windowID);
        // A sideways wheel is no wheel up or down.
        if (win && e->wheel.y) OsPost(win, e->wheel.y > 0 ? OS_EV_WHEELUP : OS_EV_WHEELDOWN, 0, 0, 0);
        break;
    }
    case SDL_WINDOWEVENT: {
        OsWindowRecord *win = OsWindowById(e->window.windowID);
        if (win) Window(win, &e->window);
        break;
    }
    case SDL_DROPBEGIN:
        DropComplete(nullptr);   // forget a drop that never completed
        break;
    case SDL_DROPFILE:
        if (e->drop.file) DropFile(e->drop.file);
        SDL_free(e->drop.file);
        break;
    case SDL_DROPTEXT:
        SDL_free(e->drop.file);
        break;
    case SDL_DROPCOMPLETE:
        DropComplete(OsWindowById(e->drop.windowID));
        break;
    case SDL_CLIPBOARDUPDATE:
        OsClipboardFocusGained();
        break;
    default:
        // SDL_QUIT is ignored: signals and window closes end the player.
        break;
    }
}
