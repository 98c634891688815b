// The border sizes of a standard window: what the window manager adds around a window's content.
// Under X11 they are measured once on a temporary window that is never shown: the window manager
// is asked for the frame it would give it (_NET_REQUEST_FRAME_EXTENTS) and answers with its
// _NET_FRAME_EXTENTS. Without a window manager a window has no frame. A manager that doesn't
// answer leaves the sizes to the player's windows with borders that are already mapped.
#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstring>

#include "platform/linux/os_internal.h"

enum { FRAME_WAIT_MICROS = 500000, FRAME_POLL_MICROS = 5000 };

// Measured once for each kind: [0] a window of fixed size, [1] one the user can size (window
// managers often give these a handle more).
static int Measured[2];       // 1 once measured (or it can't be)
static int MeasuredOk[2];     // 1 when the measure gave the sizes
static int32_t MeasuredSizes[2][4];

// The 32-bit words of a property, at most max of them; the count read.
static unsigned long ReadWords(Display *d, Window w, Atom property, Atom type, long *out, unsigned long max)
{
    Atom actual;
    int format;
    unsigned long n = 0, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, (long)max, False, type, &actual, &format, &n, &after, &data) !=
            Success ||
        !data || format != 32) {
        if (data) XFree(data);
        return 0;
    }
    if (n > max) n = max;
    for (unsigned long i = 0; i < n; i++) out[i] = ((long *)data)[i];
    XFree(data);
    return n;
}

// Non-zero when the running window manager answers frame requests.
static int ManagerAnswersRequests(Display *d, Atom request)
{
    static long supported[1024];
    unsigned long n = ReadWords(d, DefaultRootWindow(d), XInternAtom(d, "_NET_SUPPORTED", False), XA_ATOM,
                                supported, 1024);
    for (unsigned long i = 0; i < n; i++)
        if ((Atom)supported[i] == request) return 1;
    return 0;
}

// left, right, top, bottom from the manager; 0 when it gave none in time. -1: no manager runs, so
// windows get no frame.
static int AskManager(int sizeable, long extents[4])
{
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "x11") != 0) return 0;
    Display *d = XOpenDisplay(nullptr);
    if (!d) return 0;
    Atom request = XInternAtom(d, "_NET_REQUEST_FRAME_EXTENTS", False);
    Atom frame = XInternAtom(d, "_NET_FRAME_EXTENTS", False);
    long check[1];
    int result = 0;
    if (ReadWords(d, DefaultRootWindow(d), XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False), XA_WINDOW, check, 1) != 1) {
        result = -1;
    } else if (ManagerAnswersRequests(d, request)) {
        Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
        XSelectInput(d, w, PropertyChangeMask);
        if (!sizeable) {
            // As the player's windows of fixed size say it: their smallest and largest size agree.
            XSizeHints *hints = XAllocSizeHints();
            if (hints) {
                hints->flags = PMinSize | PMaxSize;
                hints->min_width = hints->max_width = 100;
                hints->min_height = hints->max_height = 100;
                XSetWMNormalHints(d, w, hints);
                XFree(hints);
            }
        }
        XEvent e;
        memset(&e, 0, sizeof e);
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = request;
        e.xclient.format = 32;
        XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(d);
        for (int64_t waited = 0; waited < FRAME_WAIT_MICROS && !result; waited += FRAME_POLL_MICROS) {
            while (!result && XCheckTypedWindowEvent(d, w, PropertyNotify, &e))
                if (e.xproperty.atom == frame && ReadWords(d, w, frame, XA_CARDINAL, extents, 4) == 4) result = 1;
            if (!result) OsSleepMicros(FRAME_POLL_MICROS);
        }
        XDestroyWindow(d, w);
    }
    XCloseDisplay(d);
    return result;
}

static void Measure(int sizeable)
{
    if (Measured[sizeable]) return;
    // Asked before the first window opens: video starts here where there is a screen.
    if (!OsVideoStarted() && (!OsHasRealDisplay() || OsInitVideo())) return;
    Measured[sizeable] = 1;
    long e[4] = {0, 0, 0, 0};
    int answer = AskManager(sizeable, e);
    if (answer == 0) return;
    for (long &v : e)
        if (v < 0 || v > 4096) v = 0;   // a frame is never larger than a screen
    int32_t *sizes = MeasuredSizes[sizeable];
    sizes[0] = (int32_t)e[0];
    sizes[1] = (int32_t)e[2];
    sizes[2] = (int32_t)(e[0] + e[1]);
    sizes[3] = (int32_t)(e[2] + e[3]);
    MeasuredOk[sizeable] = 1;
}

void OsGetBorderSizes(uint32_t flags, int32_t sizes[4])
{
    sizes[0] = sizes[1] = sizes[2] = sizes[3] = 0;
    if (flags & OS_WF_BORDERLESS) return;
    int sizeable = (flags & OS_WF_SIZEABLE) != 0;
    Measure(sizeable);
    if (MeasuredOk[sizeable]) {
        memcpy(sizes, MeasuredSizes[sizeable], sizeof MeasuredSizes[sizeable]);
        return;
    }
    // Else what a window with borders that is already mapped has; before one exists, 0.
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next) {
        if (!w->window || (w->flags & OS_WF_BORDERLESS)) continue;
        int top = 0, left = 0, bottom = 0, right = 0;
        if (SDL_GetWindowBordersSize(w->window, &top, &left, &bottom, &right) == 0) {
            sizes[0] = left;
            sizes[1] = top;
            sizes[2] = left + right;
            sizes[3] = top + bottom;
            return;
        }
    }
}
