// A small X client for the X server tests:
//   xtool pixel X Y [X Y ...]   the root window's colour at each point, as RRGGBB, one a line
//   xtool close WINDOW          asks the window manager to close the window (_NET_CLOSE_WINDOW),
//                               as a task bar or a pager does
//   xtool extents WINDOW        the frame extents the window manager set: left right top bottom
//   xtool type WINDOW           the window's _NET_WM_WINDOW_TYPE and _NET_WM_STATE atoms
//   xtool origin WINDOW         where the window's content lies on the screen: x y
//   xtool wm SECONDS            waits until a window manager runs and answers a request for a
//                               window's frame; 1 when none did in time
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

static Display *D;

static unsigned long PropertyWords(Window w, const char *name, Atom type, unsigned long *out, int max)
{
    Atom actual;
    int format;
    unsigned long n = 0, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(D, w, XInternAtom(D, name, False), 0, max, False, type, &actual, &format, &n,
                           &after, &data) != Success || !data || format != 32) {
        if (data) XFree(data);
        return 0;
    }
    for (unsigned long i = 0; i < n; i++) out[i] = ((unsigned long *)data)[i];
    XFree(data);
    return n;
}

static int Pixel(int argc, char **argv)
{
    Window root = DefaultRootWindow(D);
    for (int i = 0; i + 1 < argc; i += 2) {
        int x = atoi(argv[i]), y = atoi(argv[i + 1]);
        XImage *img = XGetImage(D, root, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img) return 1;
        unsigned long p = XGetPixel(img, 0, 0);
        printf("%02lx%02lx%02lx\n", (p & img->red_mask) >> 16, (p & img->green_mask) >> 8, p & img->blue_mask);
        XDestroyImage(img);
    }
    return 0;
}

// A request about window w to the window manager, as pagers and task bars send it.
static void SendToWindowManager(Window w, const char *message, long word0, long word1)
{
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(D, message, False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = word0;
    e.xclient.data.l[1] = word1;
    XSendEvent(D, DefaultRootWindow(D), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(D, False);
}

static int Close(Window w)
{
    SendToWindowManager(w, "_NET_CLOSE_WINDOW", CurrentTime, 2);   // 2: from a pager
    return 0;
}

static int Extents(Window w)
{
    unsigned long v[4] = {0, 0, 0, 0};
    if (PropertyWords(w, "_NET_FRAME_EXTENTS", XA_CARDINAL, v, 4) != 4) {
        printf("none\n");
        return 0;
    }
    printf("%lu %lu %lu %lu\n", v[0], v[1], v[2], v[3]);
    return 0;
}

static int Type(Window w)
{
    unsigned long v[32];
    const char *props[] = {"_NET_WM_WINDOW_TYPE", "_NET_WM_STATE"};
    for (const char *p : props) {
        unsigned long n = PropertyWords(w, p, XA_ATOM, v, 32);
        for (unsigned long i = 0; i < n; i++) {
            char *name = XGetAtomName(D, (Atom)v[i]);
            printf("%s\n", name ? name : "?");
            if (name) XFree(name);
        }
    }
    return 0;
}

static int Origin(Window w)
{
    int x, y;
    Window child;
    if (!XTranslateCoordinates(D, w, DefaultRootWindow(D), 0, 0, &x, &y, &child)) return 1;
    printf("%d %d\n", x, y);
    return 0;
}

// A window manager that follows the usual conventions names its check window on the root, and
// once it manages windows it tells a window that is not yet shown the frame it would get.
static int WaitForManager(double seconds)
{
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    Window probe = XCreateSimpleWindow(D, DefaultRootWindow(D), 0, 0, 10, 10, 0, 0, 0);
    unsigned long v[4];
    for (;;) {
        if (PropertyWords(DefaultRootWindow(D), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, v, 1) == 1) {
            SendToWindowManager(probe, "_NET_REQUEST_FRAME_EXTENTS", 0, 0);
            struct timespec pause = {0, 20000000};
            nanosleep(&pause, nullptr);
            if (PropertyWords(probe, "_NET_FRAME_EXTENTS", XA_CARDINAL, v, 4) == 4) return 0;
        }
        clock_gettime(CLOCK_MONOTONIC, &now);
        if ((double)(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9 > seconds) return 1;
        struct timespec pause = {0, 20000000};
        nanosleep(&pause, nullptr);
    }
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: xtool pixel|close|extents|type|origin|wm ARGS\n");
        return 2;
    }
    D = XOpenDisplay(nullptr);
    if (!D) {
        fprintf(stderr, "xtool: no X display\n");
        return 2;
    }
    int rc = 2;
    const char *what = argv[1];
    Window w = (Window)strtoul(argv[2], nullptr, 0);
    if (!strcmp(what, "pixel")) rc = Pixel(argc - 2, argv + 2);
    else if (!strcmp(what, "close")) rc = Close(w);
    else if (!strcmp(what, "extents")) rc = Extents(w);
    else if (!strcmp(what, "type")) rc = Type(w);
    else if (!strcmp(what, "origin")) rc = Origin(w);
    else if (!strcmp(what, "wm")) rc = WaitForManager(atof(argv[2]));
    XCloseDisplay(D);
    return rc;
}
