// Script coordinates given as position constants (#CENTER and its kin) turned into pixels,
// #KEEPASPRAT sizes completed from the other side, and the generic rectangle clip of blits.
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

// constants: center, near edge, far edge, out before, out after.
static int32_t ResolvePos(int32_t v, int32_t size, int32_t total, double anchor, const int32_t constants[5],
                          int vertical)
{
    int32_t c = NearConstant(v, constants);
    if (!c) return v;
    int32_t origin = 0;
    if (total == 0) PictureReference(vertical, &total, &origin);
    int32_t base = origin + (int32_t)(size * anchor);
    int32_t d = v - c;
    if (c == constants[0]) return (total - size) / 2 + base + d;
    if (c == constants[1]) return base + d;
    if (c == constants[2]) return total - size + base + d;
    if (c == constants[3]) return base - size + d;
    return total + base + d;
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
    int32_t left = 0, top = 0, right = dstWidth, bottom = dstHeight;
    if (region && useRegion) {
        // The region's edges, but never beyond the destination: a region larger than the
        // picture must not let a blit run past its end.
        if (region->x > left) left = region->x;
        if (region->y > top) top = region->y;
        if (region->x + region->width < right) right = region->x + region->width;
        if (region->y + region->height < bottom) bottom = region->y + region->height;
    }
    if (*dx < left) {
        int32_t d = left - *dx;
        *sx += d;
        *width -= d;
        *dx = left;
    }
    if (*dy < top) {
        int32_t d = top - *dy;
        *sy += d;
        *height -= d;
        *dy = top;
    }
    if (*width > srcWidth - *sx) *width = srcWidth - *sx;
    if (*height > srcHeight - *sy) *height = srcHeight - *sy;
    if (*width > right - *dx) *width = right - *dx;
    if (*height > bottom - *dy) *height = bottom - *dy;
}
