// The transformed copies of a clip region that transformed or scaled layers clip with: a shaped
// region's mask transformed about an anchor, a box scaled directly, and any other box turned
// into a mask of its mapped quadrilateral.
#include <cmath>

#include "display/display.h"
#include "display/graphics.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "runtime/memory.h"

// The mapped bounding box of the region's corner pixels (0, 0) .. (w - 1, h - 1) about the anchor
// point, as an offset from the region's position; the corners themselves go to quad[8] relative
// to that offset (in outline order), when asked.
static void MapBoxCorners(const ClipRegionNode *r, double ax, double ay, const double m[4], int32_t *offX,
                          int32_t *offY, int32_t *width, int32_t *height, int32_t *quad)
{
    const double px = ax * r->width, py = ay * r->height;
    const double cx[4] = {0, (double)(r->width - 1), (double)(r->width - 1), 0};
    const double cy[4] = {0, 0, (double)(r->height - 1), (double)(r->height - 1)};
    double xs[4], ys[4];
    double minX = 100000, minY = 100000, maxX = -100000, maxY = -100000;
    for (int i = 0; i < 4; i++) {
        double dx = cx[i] - px, dy = cy[i] - py;
        xs[i] = m[0] * dx + m[2] * dy + px;
        ys[i] = m[1] * dx + m[3] * dy + py;
        minX = fmin(minX, xs[i]);
        minY = fmin(minY, ys[i]);
        maxX = fmax(maxX, xs[i]);
        maxY = fmax(maxY, ys[i]);
    }
    *offX = (int32_t)floor(minX);
    *offY = (int32_t)floor(minY);
    *width = (int32_t)floor(maxX) - *offX + 1;
    *height = (int32_t)floor(maxY) - *offY + 1;
    if (quad)
        for (int i = 0; i < 4; i++) {
            quad[2 * i] = (int32_t)floor(xs[i]) - *offX;
            quad[2 * i + 1] = (int32_t)floor(ys[i]) - *offY;
        }
}

// A shaped region: its mask transformed about the anchor.
static int TransformShape(const ClipRegionNode *r, double ax, double ay, const double m[4], ClipRegionNode *out)
{
    Matrix2D mx = {m[0], m[1], m[2], m[3]};
    int32_t nw, nh;
    double minX, minY;
    TransformedSize(&mx, r->width, r->height, &nw, &nh, &minX, &minY);
    Mask *mask = nullptr;
    if (TransformBitMapTriple(nullptr, r->mask, nullptr, 0, 0, r->width, r->height, &mx, 0, nullptr, &mask, nullptr,
                              &nw, &nh))
        return 1000;
    double px = ax * r->width, py = ay * r->height;
    out->x = r->x + (int32_t)floor(px + minX - (m[0] * px + m[2] * py));
    out->y = r->y + (int32_t)floor(py + minY - (m[1] * px + m[3] * py));
    out->width = nw;
    out->height = nh;
    out->mask = mask;
    return 0;
}

// Any other box: a mask of the mapped quadrilateral.
static int TransformBox(const ClipRegionNode *r, double ax, double ay, const double m[4], ClipRegionNode *out)
{
    int32_t offX, offY, w, h, quad[8];
    MapBoxCorners(r, ax, ay, m, &offX, &offY, &w, &h, quad);
    Mask *mask = AllocMask(nullptr, w, h, 1);
    if (!mask) return 1000;
    if (FillPolygonToMask(mask, quad, 4)) {
        FreeMask(mask);
        return 1000;
    }
    out->x = r->x + offX;
    out->y = r->y + offY;
    out->width = w;
    out->height = h;
    out->mask = mask;
    return 0;
}

// Scales without rotation or shear keep a box a box; mirroring needs the general path.
static int IsPlainScale(const ClipRegionNode *r, const double m[4])
{
    return !r->mask && m[1] == 0 && m[2] == 0 && m[0] > 0 && m[3] > 0;
}

ClipRegionNode *TransformClipRegion(const ClipRegionNode *region, double anchorX, double anchorY, const double m[4],
                                    const double second[4], int relative, int useDisplayScale)
{
    if (!region) return nullptr;
    ClipRegionNode *out = (ClipRegionNode *)MemAlloc(sizeof(ClipRegionNode), 1);
    if (!out) return nullptr;
    out->temporary = 1;
    out->id = region->id;
    double sx = CurrentDisplay ? CurrentDisplay->scaleX : 1.0, sy = CurrentDisplay ? CurrentDisplay->scaleY : 1.0;
    double scale[4] = {sx, 0, 0, sy};
    const double *mat = useDisplayScale ? scale : m;
    int code;
    if (region->mask) {
        code = TransformShape(region, anchorX, anchorY, mat, out);
    } else if (IsPlainScale(region, mat)) {
        out->x = (int32_t)(region->x * mat[0]);
        out->y = (int32_t)(region->y * mat[3]);
        out->width = (int32_t)(region->width * mat[0]);
        out->height = (int32_t)(region->height * mat[3]);
        code = 0;
    } else {
        code = TransformBox(region, anchorX, anchorY, mat, out);
    }
    if (!code && relative && !useDisplayScale && second) {
        // The position follows the second matrix, then the display's scale.
        int32_t offX, offY, w, h;
        MapBoxCorners(region, anchorX, anchorY, second, &offX, &offY, &w, &h, nullptr);
        out->x = (int32_t)((region->x + offX) * sx);
        out->y = (int32_t)((region->y + offY) * sy);
    }
    if (!code) code = ClipRegionRect(&out->x, &out->y, &out->width, &out->height, &out->mask, 0, 1);
    if (code) {
        FreeMask(out->mask);
        MemFree(out);
        return nullptr;
    }
    out->maskBytesPerRow = out->mask ? out->mask->bytesPerRow : 0;
    return out;
}

void FreeClipRegionMask(ClipRegionNode *region)
{
    if (!region || !region->temporary) return;
    FreeMask(region->mask);
    region->mask = nullptr;
}
