// Window refresh: rectangles of a display's pictures copied into its window surface, window
// primitives, the dirty list, presentation and frame pacing. Every write is clipped to the
// window surface and to its source.
#include <SDL.h>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/linux/os_internal.h"

enum { DIRTY_MAX = 64, PACE_RESET_MICROS = 1000000 };

static int MonitorRate = 60;
static int FrameLimit = 60;
static int FrameLimitOverride = 0;

void OsRefreshMonitorRate(void)
{
    SDL_DisplayMode mode;
    int rate = 0;
    if (OsVideoStarted() && SDL_GetCurrentDisplayMode(0, &mode) == 0) rate = mode.refresh_rate;
    MonitorRate = rate > 0 ? rate : 60;
    if (!FrameLimitOverride) FrameLimit = MonitorRate;
}

int OsMonitorRate(void)
{
    return MonitorRate;
}

int OsFrameLimit(void)
{
    return FrameLimit;
}

void OsSetFrameLimit(int32_t limit)
{
    FrameLimitOverride = limit > 0;
    FrameLimit = limit > 0 ? limit : MonitorRate;
}

SDL_Surface *OsGetWindowSurface(OsWindowRecord *win)
{
    return win && win->window ? SDL_GetWindowSurface(win->window) : nullptr;
}

void OsAddDirty(OsWindowRecord *win, int32_t x, int32_t y, int32_t width, int32_t height)
{
    SDL_Surface *s = OsGetWindowSurface(win);
    if (!s || width <= 0 || height <= 0) return;
    int64_t x2 = (int64_t)x + width - 1, y2 = (int64_t)y + height - 1;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (x2 >= s->w) x2 = s->w - 1;
    if (y2 >= s->h) y2 = s->h - 1;
    if (x > x2 || y > y2) return;
    OsRect r = {x, y, (int32_t)x2, (int32_t)y2};
    if (win->dirtyCount == win->dirtyMax) {
        if (win->dirtyMax < DIRTY_MAX) {
            int max = win->dirtyMax ? win->dirtyMax * 2 : 8;
            OsRect *grown = (OsRect *)realloc(win->dirty, (size_t)max * sizeof(OsRect));
            if (grown) {
                win->dirty = grown;
                win->dirtyMax = max;
            }
        }
        if (win->dirtyCount == win->dirtyMax) {
            // Too many pieces (or no memory): one rectangle around them all.
            OsRect *b = &win->dirty[0];
            if (!win->dirtyMax) {
                win->dirty = (OsRect *)malloc(sizeof(OsRect));
                if (!win->dirty) return;
                win->dirtyMax = 1;
                win->dirty[0] = r;
                win->dirtyCount = 1;
                return;
            }
            for (int i = 1; i < win->dirtyCount; i++) {
                const OsRect *d = &win->dirty[i];
                if (d->x1 < b->x1) b->x1 = d->x1;
                if (d->y1 < b->y1) b->y1 = d->y1;
                if (d->x2 > b->x2) b->x2 = d->x2;
                if (d->y2 > b->y2) b->y2 = d->y2;
            }
            win->dirtyCount = 1;
        }
    }
    win->dirty[win->dirtyCount++] = r;
}

// The present log (KV_PRESENT_LOG): -1 not looked at yet, -2 off, else the open file.
static int PresentLog = -1;

// Appends the CLOCK_MONOTONIC time of a present, in microseconds, to the present log.
static void LogPresent(void)
{
    if (PresentLog == -1) {
        const char *path = getenv("KV_PRESENT_LOG");
        PresentLog = path && *path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -2;
        if (PresentLog < 0) PresentLog = -2;
    }
    if (PresentLog < 0) return;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[32];
    int n = snprintf(line, sizeof line, "%lld\n", (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000);
    if (write(PresentLog, line, (size_t)n) != n) PresentLog = -2;
}

void OsPresentWindow(OsWindowRecord *win)
{
    if (!win || !win->window || !win->dirtyCount) return;
    SDL_Surface *s = OsGetWindowSurface(win);
    SDL_Rect rects[DIRTY_MAX];
    int n = 0;
    for (int i = 0; s && i < win->dirtyCount && n < DIRTY_MAX; i++) {
        // The window may have shrunk since the rectangle was drawn.
        const OsRect *d = &win->dirty[i];
        int32_t x2 = d->x2 < s->w ? d->x2 : s->w - 1, y2 = d->y2 < s->h ? d->y2 : s->h - 1;
        if (x2 >= d->x1 && y2 >= d->y1) rects[n++] = {d->x1, d->y1, x2 - d->x1 + 1, y2 - d->y1 + 1};
    }
    if (n) {
        SDL_UpdateWindowSurfaceRects(win->window, rects, n);
        if (PresentLog != -2) LogPresent();
    }
    win->dirtyCount = 0;
    win->presentCount++;
    OsGetSysTime(&win->lastShown);
}

void OsPresentDue(void)
{
    OsTimeVal now;
    OsGetSysTime(&now);
    int64_t period = 1000000 / MonitorRate;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next) {
        if (!w->dirtyCount) continue;
        int64_t since = OsTimeDiffMicros(&now, &w->lastShown);
        if (since < 0 || since >= period) OsPresentWindow(w);
    }
}

void OsPresentAll(void)
{
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next) OsPresentWindow(w);
}

void OsFlushDisplay(lua_State *L, OsWindowRecord *win)
{
    if (!win) return;
    if (FrameLimit <= MonitorRate) {
        OsPresentWindow(win);
    } else {
        // More frames than the screen shows: present the share of them the screen can show.
        win->presentCredit += MonitorRate;
        if (win->presentCredit >= FrameLimit) {
            win->presentCredit -= FrameLimit;
            OsPresentWindow(win);
        }
    }
    // Frames keep to a grid of the period, so sleeping late never adds up to drift.
    int64_t period = 1000000 / FrameLimit;
    OsTimeVal now;
    OsGetSysTime(&now);
    OsTimeVal deadline = win->lastPresent;
    OsTimeVal step = {(uint32_t)(period / 1000000), (uint32_t)(period % 1000000)};
    OsAddTime(&deadline, &step);
    int64_t wait = OsTimeDiffMicros(&deadline, &now);
    if (wait > 0 && wait <= period && OsTimeDiffMicros(&now, &win->lastPresent) < PACE_RESET_MICROS) {
        OsSleepMicros(wait);
        win->lastPresent = deadline;
    } else {
        win->lastPresent = now;
    }
}

// ---------------------------------------------------------------------------------------------
// Pixel copies

// Row y of a pixel buffer and of a surface.
static uint32_t *BufferRow(const OsPixelBuffer *b, int64_t y)
{
    return (uint32_t *)((uint8_t *)b->pixels + (size_t)y * (size_t)b->bytesPerRow);
}

static uint8_t *SurfaceRow(const SDL_Surface *s, int64_t y)
{
    return (uint8_t *)s->pixels + (size_t)y * (size_t)s->pitch;
}

// How a source pixel becomes a surface pixel.
enum CopyKind { COPY_SAME, COPY_SWAP, COPY_SDL };

static CopyKind CopyKindOf(int srcFormat, const SDL_Surface *s)
{
    Uint32 f = s->format->format;
    if (srcFormat == 10) {
        if (f == SDL_PIXELFORMAT_RGB888 || f == SDL_PIXELFORMAT_ARGB8888) return COPY_SAME;
        if (f == SDL_PIXELFORMAT_BGRX8888 || f == SDL_PIXELFORMAT_BGRA8888) return COPY_SWAP;
    } else {
        if (f == SDL_PIXELFORMAT_BGRX8888 || f == SDL_PIXELFORMAT_BGRA8888) return COPY_SAME;
        if (f == SDL_PIXELFORMAT_RGB888 || f == SDL_PIXELFORMAT_ARGB8888) return COPY_SWAP;
    }
    return COPY_SDL;
}

// Byte order reversed, four pixels at a time where SSE2 is there (every x86-64).
static void SwapRow(uint32_t *dst, const uint32_t *src, int32_t n)
{
    int32_t i = 0;
#ifdef __SSE2__
    for (; i + 4 <= n; i += 4) {
        __m128i v = _mm_loadu_si128((const __m128i *)(src + i));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));   // bytes within halves
        v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));              // then the halves
        v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
        _mm_storeu_si128((__m128i *)(dst + i), v);
    }
#endif
    for (; i < n; i++) dst[i] = __builtin_bswap32(src[i]);
}

static void CopyRow(uint32_t *dst, const uint32_t *src, int32_t n, CopyKind kind)
{
    if (kind == COPY_SAME) memcpy(dst, src, (size_t)n * 4);
    else SwapRow(dst, src, n);
}

static SDL_Surface *WrapSource(const OsPixelBuffer *src)
{
    Uint32 format = src->format == 10 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_BGRX8888;
    return SDL_CreateRGBSurfaceWithFormatFrom(src->pixels, src->width, src->height, 32,
                                              src->bytesPerRow, format);
}

// Clips a w x h copy from (sx, sy) of a sw0 x sh0 source to (dx, dy) of a dw0 x dh0 target.
// 0 when nothing is left.
static int ClipCopy(int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy, int32_t *w, int32_t *h,
                    int32_t sw0, int32_t sh0, int32_t dw0, int32_t dh0)
{
    int64_t x0 = *sx, y0 = *sy, x1 = *dx, y1 = *dy, ww = *w, hh = *h;
    if (x0 < 0) ww += x0, x1 -= x0, x0 = 0;
    if (y0 < 0) hh += y0, y1 -= y0, y0 = 0;
    if (x1 < 0) ww += x1, x0 -= x1, x1 = 0;
    if (y1 < 0) hh += y1, y0 -= y1, y1 = 0;
    if (x0 + ww > sw0) ww = sw0 - x0;
    if (y0 + hh > sh0) hh = sh0 - y0;
    if (x1 + ww > dw0) ww = dw0 - x1;
    if (y1 + hh > dh0) hh = dh0 - y1;
    if (ww <= 0 || hh <= 0) return 0;
    *sx = (int32_t)x0, *sy = (int32_t)y0, *dx = (int32_t)x1, *dy = (int32_t)y1;
    *w = (int32_t)ww, *h = (int32_t)hh;
    return 1;
}

static void CopyUnscaled(const OsPixelBuffer *src, int32_t sx, int32_t sy, SDL_Surface *s,
                         int32_t dx, int32_t dy, int32_t w, int32_t h, CopyKind kind)
{
    if (kind == COPY_SDL) {
        SDL_Surface *wrap = WrapSource(src);
        if (!wrap) return;
        SDL_Rect from = {sx, sy, w, h}, to = {dx, dy, w, h};
        SDL_BlitSurface(wrap, &from, s, &to);
        SDL_FreeSurface(wrap);
        return;
    }
    for (int32_t y = 0; y < h; y++) {
        const uint32_t *row = BufferRow(src, sy + y) + sx;
        uint32_t *out = (uint32_t *)SurfaceRow(s, dy + y) + dx;
        CopyRow(out, row, w, kind);
    }
}

// The w x h rectangle at (sx, sy) drawn as sw x sh at (dx, dy), nearest pixel; target pixels
// whose source would lie outside the source buffer are left alone.
static void CopyScaled(const OsPixelBuffer *src, int32_t sx, int32_t sy, int32_t w, int32_t h,
                       SDL_Surface *s, int32_t dx, int32_t dy, int32_t sw, int32_t sh, CopyKind kind)
{
    int32_t cx0 = dx < 0 ? 0 : dx, cy0 = dy < 0 ? 0 : dy;
    int64_t cx1 = (int64_t)dx + sw, cy1 = (int64_t)dy + sh;
    if (cx1 > s->w) cx1 = s->w;
    if (cy1 > s->h) cy1 = s->h;
    if (cx0 >= cx1 || cy0 >= cy1) return;
    int32_t n = (int32_t)(cx1 - cx0);
    int32_t *column = (int32_t *)malloc((size_t)n * sizeof(int32_t));
    if (!column) return;
    for (int32_t i = 0; i < n; i++) {
        int64_t x = sx + ((int64_t)(cx0 + i - dx) * w) / sw;
        column[i] = x >= 0 && x < src->width ? (int32_t)x : -1;
    }
    for (int32_t ty = cy0; ty < cy1; ty++) {
        int64_t y = sy + ((int64_t)(ty - dy) * h) / sh;
        if (y < 0 || y >= src->height) continue;
        const uint32_t *row = BufferRow(src, y);
        uint32_t *out = (uint32_t *)SurfaceRow(s, ty) + cx0;
        for (int32_t i = 0; i < n; i++) {
            if (column[i] < 0) continue;
            uint32_t p = row[column[i]];
            if (kind == COPY_SWAP) p = __builtin_bswap32(p);
            else if (kind == COPY_SDL) {
                uint8_t r, g, b;
                if (src->format == 10) r = p >> 16, g = p >> 8, b = p;
                else r = p >> 8, g = p >> 16, b = p >> 24;
                p = SDL_MapRGB(s->format, r, g, b);
                if (s->format->BytesPerPixel != 4) {
                    uint8_t *o = SurfaceRow(s, ty) + (size_t)(cx0 + i) * s->format->BytesPerPixel;
                    memcpy(o, &p, s->format->BytesPerPixel);
                    continue;
                }
            }
            out[i] = p;
        }
    }
    free(column);
}

void OsBltToWindow(const OsPixelBuffer *src, int32_t sx, int32_t sy, OsWindowRecord *win,
                   int32_t dx, int32_t dy, int32_t width, int32_t height, int32_t sw, int32_t sh,
                   int flags)
{
    if (!src || !src->pixels || !win) return;
    if (win->windowState != 1 && !(flags & OS_BLT_FORCE)) return;
    SDL_Surface *s = OsGetWindowSurface(win);
    if (!s || width <= 0 || height <= 0) return;
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) return;
    CopyKind kind = CopyKindOf(src->format, s);
    if (sw && sh) {
        if (sw > 0 && sh > 0) {
            CopyScaled(src, sx, sy, width, height, s, win->offsetX, win->offsetY, sw, sh, kind);
            OsAddDirty(win, win->offsetX, win->offsetY, sw, sh);
        }
    } else {
        int32_t tx = win->offsetX + dx, ty = win->offsetY + dy;
        if (ClipCopy(&sx, &sy, &tx, &ty, &width, &height, src->width, src->height, s->w, s->h)) {
            if (kind == COPY_SDL && SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
            CopyUnscaled(src, sx, sy, s, tx, ty, width, height, kind);
            if (kind == COPY_SDL && SDL_MUSTLOCK(s)) SDL_LockSurface(s);
            OsAddDirty(win, tx, ty, width, height);
        }
    }
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
}

// ---------------------------------------------------------------------------------------------
// Window primitives (display coordinates; the content offset is added)

static SDL_Surface *ShownSurface(OsWindowRecord *win)
{
    return win && win->windowState == 1 ? OsGetWindowSurface(win) : nullptr;
}

static Uint32 MapColour(SDL_Surface *s, uint32_t colour)
{
    return SDL_MapRGB(s->format, (Uint8)(colour >> 16), (Uint8)(colour >> 8), (Uint8)colour);
}

void OsWindowRectFill(OsWindowRecord *win, int32_t x, int32_t y, int32_t width, int32_t height,
                      uint32_t colour)
{
    SDL_Surface *s = ShownSurface(win);
    if (!s || width <= 0 || height <= 0) return;
    int64_t x0 = (int64_t)x + win->offsetX, y0 = (int64_t)y + win->offsetY;
    int64_t x1 = x0 + width, y1 = y0 + height;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > s->w) x1 = s->w;
    if (y1 > s->h) y1 = s->h;
    if (x0 >= x1 || y0 >= y1) return;
    SDL_Rect r = {(int)x0, (int)y0, (int)(x1 - x0), (int)(y1 - y0)};
    SDL_FillRect(s, &r, MapColour(s, colour));
    OsAddDirty(win, r.x, r.y, r.w, r.h);
}

// One pixel of a locked surface; outside it nothing.
static void PutPixel(SDL_Surface *s, int64_t x, int64_t y, Uint32 value)
{
    if (x < 0 || y < 0 || x >= s->w || y >= s->h) return;
    int bpp = s->format->BytesPerPixel;
    uint8_t *p = SurfaceRow(s, y) + (size_t)x * (size_t)bpp;
    if (bpp == 4) *(uint32_t *)p = value;
    else memcpy(p, &value, (size_t)bpp);
}

void OsWindowWritePixel(OsWindowRecord *win, int32_t x, int32_t y, uint32_t colour)
{
    SDL_Surface *s = ShownSurface(win);
    if (!s) return;
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) return;
    int64_t px = (int64_t)x + win->offsetX, py = (int64_t)y + win->offsetY;
    PutPixel(s, px, py, MapColour(s, colour));
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    if (px >= 0 && py >= 0 && px < s->w && py < s->h) OsAddDirty(win, (int32_t)px, (int32_t)py, 1, 1);
}

void OsWindowDrawLine(OsWindowRecord *win, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      uint32_t colour)
{
    SDL_Surface *s = ShownSurface(win);
    if (!s) return;
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) return;
    Uint32 value = MapColour(s, colour);
    int64_t ax = (int64_t)x1 + win->offsetX, ay = (int64_t)y1 + win->offsetY;
    int64_t bx = (int64_t)x2 + win->offsetX, by = (int64_t)y2 + win->offsetY;
    // Bresenham over the whole line; only the pixels on the surface are written.
    int64_t ddx = bx > ax ? bx - ax : ax - bx, ddy = by > ay ? by - ay : ay - by;
    int sxStep = ax < bx ? 1 : -1, syStep = ay < by ? 1 : -1;
    int64_t err = ddx - ddy, x = ax, y = ay;
    for (;;) {
        PutPixel(s, x, y, value);
        if (x == bx && y == by) break;
        int64_t e2 = 2 * err;
        if (e2 > -ddy) err -= ddy, x += sxStep;
        if (e2 < ddx) err += ddx, y += syStep;
    }
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    int64_t left = ax < bx ? ax : bx, top = ay < by ? ay : by;
    int64_t w = ddx + 1, h = ddy + 1;
    if (left < -0x40000000 || top < -0x40000000 || w > 0x7fffffff || h > 0x7fffffff) return;
    OsAddDirty(win, (int32_t)left, (int32_t)top, (int32_t)w, (int32_t)h);
}

// The part [*from, *to) of a run of n steps starting at `start` that stays inside [0, limit).
static void ClipRun(int64_t start, int64_t limit, int64_t *from, int64_t *to)
{
    if (start + *from < 0) *from = -start;
    if (start + *to > limit) *to = limit - start;
}

void OsMergeAlpha(OsWindowRecord *win, const OsPixelBuffer *src, int32_t sx, int32_t sy,
                  OsPixelBuffer *dst, int32_t dx, int32_t dy, int32_t width, int32_t height)
{
    if (!win || !win->shapeAlpha || !dst || !dst->pixels || (src && !src->pixels)) return;
    // The shape alpha is read at the destination position; the rectangle stays inside the
    // shape, the destination and the source.
    int64_t x0 = 0, x1 = width, y0 = 0, y1 = height;
    ClipRun(dx, win->width, &x0, &x1);
    ClipRun(dx, dst->width, &x0, &x1);
    ClipRun(dy, win->height, &y0, &y1);
    ClipRun(dy, dst->height, &y0, &y1);
    if (src) {
        ClipRun(sx, src->width, &x0, &x1);
        ClipRun(sy, src->height, &y0, &y1);
    }
    if (x0 >= x1 || y0 >= y1) return;
    int shift = dst->format == 11 ? 0 : 24;
    for (int64_t y = y0; y < y1; y++) {
        const uint8_t *a = win->shapeAlpha + (size_t)(dy + y) * (size_t)win->width + dx;
        uint32_t *out = BufferRow(dst, dy + y) + dx;
        const uint32_t *in = src ? BufferRow(src, sy + y) + sx : out;
        for (int64_t x = x0; x < x1; x++) out[x] = in[x] | (uint32_t)a[x] << shift;
    }
}
