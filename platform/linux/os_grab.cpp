// Screen grabs. Under X11 the root window is read with XGetImage, so other programs' windows are
// included; elsewhere (the dummy driver, Wayland) the player's own window surfaces are laid over
// black at their positions.
#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdlib>
#include <cstring>

#include "platform/linux/os_internal.h"

// The rectangle clipped to the screen (sw x sh at the origin); 0 when nothing is left.
static int ClipToScreen(int32_t *x, int32_t *y, int32_t *w, int32_t *h, int32_t sw, int32_t sh)
{
    int64_t x0 = *x, y0 = *y, x1 = x0 + *w, y1 = y0 + *h;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > sw) x1 = sw;
    if (y1 > sh) y1 = sh;
    if (x0 >= x1 || y0 >= y1) return 0;
    *x = (int32_t)x0, *y = (int32_t)y0, *w = (int32_t)(x1 - x0), *h = (int32_t)(y1 - y0);
    return 1;
}

static uint32_t *GrabX11(int32_t x, int32_t y, int32_t w, int32_t h, int32_t *ow, int32_t *oh, int *tried)
{
    *tried = 0;
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "x11") != 0) return nullptr;
    Display *d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    *tried = 1;
    Window root = DefaultRootWindow(d);
    XWindowAttributes attr;
    uint32_t *out = nullptr;
    if (XGetWindowAttributes(d, root, &attr) && ClipToScreen(&x, &y, &w, &h, attr.width, attr.height)) {
        XImage *img = XGetImage(d, root, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (img) {
            out = (uint32_t *)malloc((size_t)w * (size_t)h * 4);
            if (out) {
                int fast = img->bits_per_pixel == 32 && img->red_mask == 0xff0000 &&
                           img->green_mask == 0xff00 && img->blue_mask == 0xff;
                for (int32_t row = 0; row < h; row++) {
                    uint32_t *dst = out + (size_t)row * (size_t)w;
                    if (fast) {
                        const char *line = img->data + (size_t)row * (size_t)img->bytes_per_line;
                        const uint32_t *src = (const uint32_t *)line;
                        for (int32_t col = 0; col < w; col++) dst[col] = src[col] & 0xffffff;
                        continue;
                    }
                    for (int32_t col = 0; col < w; col++) {
                        unsigned long p = XGetPixel(img, col, row);
                        auto channel = [](unsigned long v, unsigned long mask) -> uint32_t {
                            if (!mask) return 0;
                            int shift = __builtin_ctzl(mask);
                            unsigned long max = mask >> shift;
                            return (uint32_t)(((v & mask) >> shift) * 255 / max);
                        };
                        dst[col] = channel(p, img->red_mask) << 16 | channel(p, img->green_mask) << 8 |
                                   channel(p, img->blue_mask);
                    }
                }
                *ow = w;
                *oh = h;
            }
            XDestroyImage(img);
        }
    }
    XCloseDisplay(d);
    return out;
}

// The player's own windows over black.
static uint32_t *GrabOwnWindows(int32_t x, int32_t y, int32_t w, int32_t h, int32_t *ow, int32_t *oh)
{
    SDL_Rect screen = {0, 0, 1024, 768};
    if (OsVideoStarted()) SDL_GetDisplayBounds(0, &screen);
    if (!ClipToScreen(&x, &y, &w, &h, screen.w, screen.h)) return nullptr;
    uint32_t *out = (uint32_t *)calloc((size_t)w * (size_t)h, 4);
    if (!out) return nullptr;
    for (OsWindowRecord *win = OsWindowList(); win; win = win->next) {
        SDL_Surface *s = OsGetWindowSurface(win);
        if (!s || win->windowState != 1) continue;
        int wx, wy;
        SDL_GetWindowPosition(win->window, &wx, &wy);
        // The part of the grab rectangle the window covers, in 64 bits: a window may lie as far
        // off the screen as a script moved it.
        int64_t sx = (int64_t)x - wx, sy = (int64_t)y - wy, dx = 0, dy = 0, cw = w, ch = h;
        if (sx < 0) dx = -sx, cw += sx, sx = 0;
        if (sy < 0) dy = -sy, ch += sy, sy = 0;
        if (sx + cw > s->w) cw = s->w - sx;
        if (sy + ch > s->h) ch = s->h - sy;
        if (cw <= 0 || ch <= 0) continue;
        if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) continue;
        int bpp = s->format->BytesPerPixel;
        for (int64_t row = 0; row < ch; row++) {
            const uint8_t *src = (const uint8_t *)s->pixels + (size_t)(sy + row) * (size_t)s->pitch;
            src += (size_t)sx * (size_t)bpp;
            uint32_t *dst = out + (size_t)(dy + row) * (size_t)w + dx;
            for (int64_t col = 0; col < cw; col++, src += bpp) {
                Uint32 p = 0;
                memcpy(&p, src, (size_t)bpp);
                Uint8 r, g, b;
                SDL_GetRGB(p, s->format, &r, &g, &b);
                dst[col] = (uint32_t)r << 16 | (uint32_t)g << 8 | b;
            }
        }
        if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    }
    *ow = w;
    *oh = h;
    return out;
}

uint32_t *OsGrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, int32_t *outWidth,
                       int32_t *outHeight)
{
    *outWidth = *outHeight = 0;
    if (width <= 0 || height <= 0 || OsInitVideo()) return nullptr;
    OsPresentAll();   // what the windows show is what is on the screen
    int tried;
    uint32_t *pixels = GrabX11(x, y, width, height, outWidth, outHeight, &tried);
    if (pixels || tried) return pixels;
    return GrabOwnWindows(x, y, width, height, outWidth, outHeight);
}
