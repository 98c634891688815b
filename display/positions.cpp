// Script coordinates given as position constants (#CENTER and its kin) turned into pixels,
// #KEEPASPRAT sizes completed from the other side, and the generic rectangle clip of blits.
#include <algorithm>
#include <cmath>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"
#include "runtime/errors.h"

enum { POS_RANGE = 4999 };

// The constant a coordinate lies within POS_RANGE of, from the axis' five; 0 when none.
static int32_t NearConstant(int32_t v, const int32_t constants[5])
{
    for (int i = 0; i < 5; i++)
        if (v >= constants[i] - POS_RANGE && v <= constants[i] + POS_RANGE) return constants[i];
    return 0;
}

static const int32_t XConstants[5] = {POS_CENTER, POS_LEFT, POS_RIGHT, POS_LEFTOUT, POS_RIGHTOUT};
static const int32_t YConstants[5] = {POS_CENTER, POS_TOP, POS_BOTTOM, POS_TOPOUT, POS_BOTTOMOUT};

int IsXPosConstant(int32_t x) { return NearConstant(x, XConstants) != 0; }
int IsYPosConstant(int32_t y) { return NearConstant(y, YConstants) != 0; }

// The reference of a total of 0: the current picture's active clip region, else its width.
// Without a current picture the total is 0.
static void PictureReference(int vertical, int32_t *total, int32_t *origin)
{
    *origin = 0;
    *total = 0;
    BGPicNode *pic = CurrentPicture;
    if (!pic) return;
    if (pic->clipRegion) {
        *total = vertical ? pic->clipRegion->height : pic->clipRegion->width;
        *origin = vertical ? pic->clipRegion->y : pic->clipRegion->x;
    } else {
        *total = vertical ? pic->height : pic->width;
    }
}

// constants: center, near edge, far edge, out before, out after. Worked out in 64 bits and kept
// within kCoordLimit, so that what the callers add to a resolved position cannot overflow.
static int32_t ResolvePos(int32_t v, int32_t size, int32_t total, double anchor, const int32_t constants[5],
                          int vertical)
{
    int32_t c = NearConstant(v, constants);
    if (!c) return ClampCoord(v);
    int32_t origin = 0;
    if (total == 0) PictureReference(vertical, &total, &origin);
    int64_t base = origin + (int64_t)ClampCoordD(size * anchor);
    int64_t d = v - c, rest = (int64_t)total - size;
    if (c == constants[0]) return ClampCoord(rest / 2 + base + d);
    if (c == constants[1]) return ClampCoord(base + d);
    if (c == constants[2]) return ClampCoord(rest + base + d);
    if (c == constants[3]) return ClampCoord(base - size + d);
    return ClampCoord(total + base + d);
}

int32_t ResolveXPos(int32_t x, int32_t size, int32_t total, double anchor)
{
    return ResolvePos(x, size, total, anchor, XConstants, 0);
}

int32_t ResolveYPos(int32_t y, int32_t size, int32_t total, double anchor)
{
    return ResolvePos(y, size, total, anchor, YConstants, 1);
}

// Truncated, plus one from a fraction of .5; never below 1, so a very flat or very narrow
// source still gives a drawable size.
static int32_t RoundSide(double v)
{
    if (v >= 2147483647.0) return 2147483647;   // too large for any picture; the size check refuses it
    double whole = floor(v);
    int32_t r = (int32_t)whole + (v - whole >= 0.5 ? 1 : 0);
    return r < 1 ? 1 : r;
}

int ApplyKeepAspectRatio(int32_t srcWidth, int32_t srcHeight, int32_t *width, int32_t *height)
{
    if (srcWidth < 1 || srcHeight < 1 || *width < 1 || *height < 1) return 1218;
    if (*width == KEEPASPRAT && *height == KEEPASPRAT) return 1055;
    double ratio = (double)srcWidth / (double)srcHeight;
    if (*width == KEEPASPRAT) *width = RoundSide(*height * ratio);
    else if (*height == KEEPASPRAT) *height = RoundSide(*width / ratio);
    return 0;
}

void ClipBltRect(const ClipRegionNode *region, int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy,
                 int32_t *width, int32_t *height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
                 int32_t dstHeight, int useRegion)
{
    // In 64 bits: a position far outside the picture is cut away, never wrapped into it.
    int64_t left = 0, top = 0, right = dstWidth, bottom = dstHeight;
    if (region && useRegion) {
        // The region's edges, but never beyond the destination: a region larger than the
        // picture must not let a blit run past its end.
        if (region->x > left) left = region->x;
        if (region->y > top) top = region->y;
        if ((int64_t)region->x + region->width < right) right = (int64_t)region->x + region->width;
        if ((int64_t)region->y + region->height < bottom) bottom = (int64_t)region->y + region->height;
    }
    int64_t x = *dx, y = *dy, srcX = *sx, srcY = *sy, w = *width, h = *height;
    if (x < left) {
        srcX += left - x;
        w -= left - x;
        x = left;
    }
    if (y < top) {
        srcY += top - y;
        h -= top - y;
        y = top;
    }
    w = std::min({w, srcWidth - srcX, right - x});
    h = std::min({h, srcHeight - srcY, bottom - y});
    if (w < 1 || h < 1) {
        // Nothing is left to draw.
        *width = *height = 0;
        return;
    }
    *dx = (int32_t)x;
    *dy = (int32_t)y;
    *sx = (int32_t)srcX;
    *sy = (int32_t)srcY;
    *width = (int32_t)w;
    *height = (int32_t)h;
}
