// Recomposing damaged areas: Redraw (background, visible layers bottom to top, a layer in
// transition from its transition buffers, sprites), the refresh of one rectangle on the
// display, and the damage lists with their merge.
#include <cstring>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "platform/os.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000 };

DirtyRectList LayerDamage;

int RectsOverlap(int32_t ax1, int32_t ay1, int32_t ax2, int32_t ay2, int32_t bx1, int32_t by1, int32_t bx2, int32_t by2)
{
    return !(bx1 > ax2 || bx2 < ax1 || by1 > ay2 || by2 < ay1);
}

// The background of a redraw: see the REDRAW_* flags.
static const BitMap *RedrawBackground(const DisplayRecord *d, const BGPicNode *bg, int flags)
{
    if (flags & REDRAW_OWNSIZE) return bg->bitmap;
    if (flags & REDRAW_SHOWNBG) return bg->shownBitMap;
    if (flags & REDRAW_DISPLAYBG) return d ? d->displayBitMap : nullptr;
    if (d && d->bgpic == bg && d->displayBitMap) return d->displayBitMap;
    return bg->shownBitMap;
}

// A copy of the image (same size) whose rectangle is tinted; none when memory is short.
static BitMap *TintedCopy(const BitMap *bm, int32_t sx, int32_t sy, int32_t w, int32_t h, uint32_t rgb, int32_t level)
{
    BitMap *t = AllocBitMap(bm->width, bm->height);
    if (!t) return nullptr;
    BltBitMap(bm, sx, sy, t, sx, sy, w, h);
    TintBitMapRect(t, sx, sy, w, h, rgb, level);
    return t;
}

// Blends the layer with its opacity into dst; under a shaped clip region through a copy of the
// destination that is then blitted through the region.
static void BlendLayer(BitMap *dst, const BitMap *bm, const Mask *mask, const AlphaChannel *alpha, int32_t sx,
                       int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t level,
                       const ClipRegionNode *region)
{
    if (!region || !region->mask) {
        BltBitMapTransparent(dst, bm, mask, dx, dy, sx, sy, w, h, level, alpha, alpha ? alpha->width : 0,
                             alpha ? alpha->height : 0);
        return;
    }
    BitMap *tmp = AllocBitMap(w, h);
    if (!tmp) return;
    BltBitMap(dst, dx, dy, tmp, 0, 0, w, h);
    BltBitMapTransparent(tmp, bm, mask, 0, 0, sx, sy, w, h, level, alpha, alpha ? alpha->width : 0,
                         alpha ? alpha->height : 0);
    SafeBlt(tmp, 0, 0, dst, dx, dy, w, h, w, h, dst->width, dst->height, SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES, nullptr,
            nullptr, region);
    FreeBitMap(tmp);
}

static void DrawLayer(const kvLayer *l, const LayerState *s, BitMap *dst, int32_t x, int32_t y, int32_t w, int32_t h)
{
    int32_t x2 = x + w - 1, y2 = y + h - 1;
    const ClipRegionNode *region = s->clipRegion;
    if (region) {
        if (region->x > x) x = region->x;
        if (region->y > y) y = region->y;
        if (region->x + region->width - 1 < x2) x2 = region->x + region->width - 1;
        if (region->y + region->height - 1 < y2) y2 = region->y + region->height - 1;
    }
    int32_t lx2 = s->drawnX + s->drawnWidth - 1, ly2 = s->drawnY + s->drawnHeight - 1;
    if (x > x2 || y > y2 || !RectsOverlap(x, y, x2, y2, s->drawnX, s->drawnY, lx2, ly2)) return;
    int32_t ix = x > s->drawnX ? x : s->drawnX, iy = y > s->drawnY ? y : s->drawnY;
    int32_t iw = (x2 < lx2 ? x2 : lx2) - ix + 1, ih = (y2 < ly2 ? y2 : ly2) - iy + 1;
    if (ix + iw > dst->width) iw = dst->width - ix;
    if (iy + ih > dst->height) ih = dst->height - iy;
    if (iw < 1 || ih < 1) return;
    const BitMap *bm;
    const Mask *mask;
    const AlphaChannel *alpha;
    int32_t sx, sy;
    if (s->fxBitMap) {
        // A layer in transition is drawn from the transition's buffers, which cover its drawn
        // rectangle from the top left; a buffer smaller than the rectangle (the layer grew
        // before the transition was rebuilt) shows what it covers.
        bm = s->fxBitMap;
        mask = s->fxMask;
        alpha = s->fxAlpha;
        sx = ix - s->drawnX;
        sy = iy - s->drawnY;
        if (mask && (mask->width < bm->width || mask->height < bm->height)) return;
        if (alpha && (alpha->width < bm->width || alpha->height < bm->height)) return;
        if (sx + iw > bm->width) iw = bm->width - sx;
        if (sy + ih > bm->height) ih = bm->height - sy;
        if (iw < 1 || ih < 1) return;
    } else {
        if (GetLayerBitmaps(l, s, &bm, &mask, &alpha, &sx, &sy) || !bm) return;
        sx += ix - s->drawnX;
        sy += iy - s->drawnY;
        if (sx < 0 || sy < 0 || sx + iw > bm->width || sy + ih > bm->height) return;
    }
    BitMap *tinted = nullptr;
    if (l->tint) {
        tinted = TintedCopy(bm, sx, sy, iw, ih, l->tintColor, l->tint);
        if (!tinted) return;
        bm = tinted;
    }
    if (l->transparency)
        BlendLayer(dst, bm, mask, alpha, sx, sy, ix, iy, iw, ih, 255 - l->transparency, region);
    else
        SafeBlt(bm, sx, sy, dst, ix, iy, iw, ih, bm->width, bm->height, dst->width, dst->height,
                SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES, mask, alpha, region);
    FreeBitMap(tinted);
}

int Redraw(DisplayRecord *display, BGPicNode *bgpic, BitMap *dst, int32_t x, int32_t y, int32_t width,
           int32_t height, int offset, int flags)
{
    if (width < 1 || height < 1) {
        OsPrintF("ERROR! REDRAW CALLED WITH WIDTH/HEIGHT <= 0\n");
        return 0;
    }
    if (x < 0 || y < 0) {
        OsPrintF("ERROR! REDRAW CALLED WITH NEGATIVE X/Y COORDINATES\n");
        return 0;
    }
    if (!dst) {
        OsPrintF("ERROR! REDRAW CALLED WITHOUT DSTBM\n");
        return 0;
    }
    if (!bgpic) return 0;
    int own = flags & REDRAW_OWNSIZE;
    int32_t pw = own ? bgpic->width : bgpic->shownWidth, ph = own ? bgpic->height : bgpic->shownHeight;
    if (x + width > pw) width = pw - x;
    if (y + height > ph) height = ph - y;
    // A rectangle that starts at or beyond the picture's edge has nothing left to draw.
    if (width < 1 || height < 1) return 0;
    if (!(flags & REDRAW_SPRITESONLY)) {
        const BitMap *src = RedrawBackground(display, bgpic, flags);
        if (src)
            SafeBlt(src, x, y, dst, x, y, width, height, src->width, src->height, dst->width, dst->height,
                    SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES, nullptr, nullptr, nullptr);
        if (bgpic->layers.first)
            for (ListNode *n = bgpic->layers.first; n->succ; n = n->succ) {
                const kvLayer *l = (const kvLayer *)n;
                if (l->type == LAYERTYPE_NOOBJECT || l->hidden || l->pending) continue;
                DrawLayer(l, own ? l->transformedState : l->drawnState, dst, x, y, width, height);
            }
    }
    if (!(flags & REDRAW_NOSPRITES)) DrawSpriteInstances(bgpic, dst, x, y, width, height);
    return 0;
}

void RefreshDisplayRect(int32_t x, int32_t y, int32_t w, int32_t h)
{
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *bg = d ? d->bgpic : nullptr;
    if (!bg || !d->backBuffer) return;
    if (!ClipRectToArea(&x, &y, &w, &h, bg->shownWidth, bg->shownHeight)) return;
    BitMap *bb = d->backBuffer;
    Redraw(d, bg, bb, x, y, w, h, 0, 0);
    SafeBlt(bb, x, y, nullptr, x, y, w, h, bb->width, bb->height, bb->width, bb->height,
            SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES, nullptr, nullptr, nullptr);
}

void RefreshArea(int32_t x, int32_t y, int32_t w, int32_t h)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d) return;
    if (d->outputType == OBJTYPE_DISPLAY) RefreshDisplayRect(x, y, w, h);
    else if (d->outputType == OBJTYPE_BGPIC)
        AppendDirtyRect(&d->dirty, ClampCoord(x), ClampCoord(y), ClampCoord((int64_t)x + w - 1),
                        ClampCoord((int64_t)y + h - 1));
}

void RefreshLayerRect(const kvLayer *l, const DirtyRect *old)
{
    const LayerState *s = l->drawnState;
    int32_t x1 = s->drawnX, y1 = s->drawnY, x2 = x1 + s->drawnWidth - 1, y2 = y1 + s->drawnHeight - 1;
    if (old) {
        if (old->x1 < x1) x1 = old->x1;
        if (old->y1 < y1) y1 = old->y1;
        if (old->x2 > x2) x2 = old->x2;
        if (old->y2 > y2) y2 = old->y2;
    }
    RefreshArea(x1, y1, x2 - x1 + 1, y2 - y1 + 1);
}

int AppendDirtyRect(DirtyRectList *list, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (list->count >= list->capacity) {
        DirtyRect *grown = (DirtyRect *)MemAlloc(sizeof(DirtyRect) * (size_t)(list->capacity + 1024), 0);
        if (!grown) return ERR_NOMEM;
        if (list->count) memcpy(grown, list->rects, sizeof(DirtyRect) * (size_t)list->count);
        MemFree(list->rects);
        list->rects = grown;
        list->capacity += 1024;
    }
    list->rects[list->count++] = {x1, y1, x2, y2};
    return 0;
}

int AddDirtyRect(DirtyRectList *list, const LayerState *s)
{
    return AppendDirtyRect(list, s->drawnX, s->drawnY, s->drawnX + s->drawnWidth - 1, s->drawnY + s->drawnHeight - 1);
}

// ---------------------------------------------------------------------------------------------
// The merge. Rectangle i, in index order, absorbs every other live rectangle j that overlaps it,
// j taken in index order against i's box as grown so far. Between two absorptions the box stays
// the same, so the next one absorbed is the live rectangle of smallest index beyond the last
// absorbed one that overlaps the box: a grid of cells finds it without looking at every
// rectangle. A box spread over many cells goes on with the plain scan, which then costs no
// more than the plain merge would.

enum { GRID_CELLS = 64, GRID_WIDE = 16 };

struct MergeGrid {
    int32_t originX, originY, cellW, cellH, cols, rows;
    int32_t *start;    // cols * rows + 1 offsets into index
    int32_t *index;    // rectangle numbers per cell, ascending
    int32_t *wide;     // rectangles that cover more than GRID_WIDE cells or grew out of their cells
    int32_t wideCount;
    uint8_t *isWide;
};

static int32_t CellOf(int32_t v, int32_t origin, int32_t size, int32_t count)
{
    int64_t c = ((int64_t)v - origin) / size;
    return c < 0 ? 0 : c >= count ? count - 1 : (int32_t)c;
}

static void CellRange(const MergeGrid *g, const DirtyRect *r, int32_t *c1, int32_t *c2, int32_t *r1, int32_t *r2)
{
    *c1 = CellOf(r->x1, g->originX, g->cellW, g->cols);
    *c2 = CellOf(r->x2, g->originX, g->cellW, g->cols);
    *r1 = CellOf(r->y1, g->originY, g->cellH, g->rows);
    *r2 = CellOf(r->y2, g->originY, g->cellH, g->rows);
}

static int IsWide(int32_t c1, int32_t c2, int32_t r1, int32_t r2)
{
    return (int64_t)(c2 - c1 + 1) * (r2 - r1 + 1) > GRID_WIDE;
}

static int BuildMergeGrid(MergeGrid *g, const DirtyRect *r, int32_t n)
{
    memset(g, 0, sizeof *g);
    int32_t minX = r[0].x1, minY = r[0].y1, maxX = r[0].x2, maxY = r[0].y2;
    for (int32_t i = 1; i < n; i++) {
        if (r[i].x1 < minX) minX = r[i].x1;
        if (r[i].y1 < minY) minY = r[i].y1;
        if (r[i].x2 > maxX) maxX = r[i].x2;
        if (r[i].y2 > maxY) maxY = r[i].y2;
    }
    g->originX = minX;
    g->originY = minY;
    g->cols = g->rows = GRID_CELLS;
    g->cellW = (int32_t)(((int64_t)maxX - minX) / GRID_CELLS + 1);
    g->cellH = (int32_t)(((int64_t)maxY - minY) / GRID_CELLS + 1);
    int32_t cells = g->cols * g->rows;
    g->start = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)(cells + 1), 1);
    g->wide = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)n, 0);
    g->isWide = (uint8_t *)MemAlloc((size_t)n, 1);
    if (!g->start || !g->wide || !g->isWide) return ERR_NOMEM;
    int64_t total = 0;
    for (int32_t i = 0; i < n; i++) {
        int32_t c1, c2, r1, r2;
        CellRange(g, &r[i], &c1, &c2, &r1, &r2);
        if (IsWide(c1, c2, r1, r2)) continue;
        for (int32_t row = r1; row <= r2; row++)
            for (int32_t col = c1; col <= c2; col++) g->start[row * g->cols + col + 1]++;
        total += (int64_t)(c2 - c1 + 1) * (r2 - r1 + 1);
    }
    for (int32_t c = 0; c < cells; c++) g->start[c + 1] += g->start[c];
    g->index = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)(total + 1), 0);
    int32_t *fill = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)cells, 0);
    if (!g->index || !fill) {
        MemFree(fill);
        return ERR_NOMEM;
    }
    memcpy(fill, g->start, sizeof(int32_t) * (size_t)cells);
    for (int32_t i = 0; i < n; i++) {
        int32_t c1, c2, r1, r2;
        CellRange(g, &r[i], &c1, &c2, &r1, &r2);
        if (IsWide(c1, c2, r1, r2)) {
            g->wide[g->wideCount++] = i;
            g->isWide[i] = 1;
            continue;
        }
        for (int32_t row = r1; row <= r2; row++)
            for (int32_t col = c1; col <= c2; col++) g->index[fill[row * g->cols + col]++] = i;
    }
    MemFree(fill);
    return 0;
}

static void FreeMergeGrid(MergeGrid *g)
{
    MemFree(g->start);
    MemFree(g->index);
    MemFree(g->wide);
    MemFree(g->isWide);
}

static int Absorbs(const DirtyRect *box, const DirtyRect *j)
{
    return j->x1 != DIRTY_MERGED && RectsOverlap(box->x1, box->y1, box->x2, box->y2, j->x1, j->y1, j->x2, j->y2);
}

static void Absorb(DirtyRect *box, DirtyRect *j)
{
    if (j->x1 < box->x1) box->x1 = j->x1;
    if (j->y1 < box->y1) box->y1 = j->y1;
    if (j->x2 > box->x2) box->x2 = j->x2;
    if (j->y2 > box->y2) box->y2 = j->y2;
    j->x1 = DIRTY_MERGED;
}

// The live rectangle of smallest index above `after` (not i) that overlaps the box, or -1.
static int32_t NextOverlap(const MergeGrid *g, DirtyRect *r, int32_t i, int32_t after, const DirtyRect *box,
                           int32_t c1, int32_t c2, int32_t r1, int32_t r2)
{
    int32_t best = -1;
    for (int32_t row = r1; row <= r2; row++)
        for (int32_t col = c1; col <= c2; col++) {
            int32_t cell = row * g->cols + col;
            for (int32_t k = g->start[cell]; k < g->start[cell + 1]; k++) {
                int32_t j = g->index[k];
                if (best >= 0 && j >= best) break;
                if (j > after && j != i && Absorbs(box, &r[j])) {
                    best = j;
                    break;
                }
            }
        }
    // Wide and grown rectangles, in no order.
    for (int32_t k = 0; k < g->wideCount; k++) {
        int32_t j = g->wide[k];
        if (j > after && j != i && (best < 0 || j < best) && Absorbs(box, &r[j])) best = j;
    }
    return best;
}

static void MergeFrom(DirtyRect *r, int32_t n, int32_t i, int32_t after, DirtyRect *box)
{
    for (int32_t j = after + 1; j < n; j++)
        if (j != i && Absorbs(box, &r[j])) Absorb(box, &r[j]);
}

void MergeDirtyRects(DirtyRectList *list)
{
    DirtyRect *r = list->rects;
    int32_t n = list->count;
    MergeGrid g;
    if (n < 64 || BuildMergeGrid(&g, r, n)) {
        if (n >= 64) FreeMergeGrid(&g);
        for (int32_t i = 0; i < n; i++)
            if (r[i].x1 != DIRTY_MERGED) MergeFrom(r, n, i, -1, &r[i]);
        return;
    }
    for (int32_t i = 0; i < n; i++) {
        if (r[i].x1 == DIRTY_MERGED) continue;
        if (g.wideCount > 256 && g.wideCount > n / 16) {
            // Too much has grown out of its cells: the plain scan is cheaper from here on.
            MergeFrom(r, n, i, -1, &r[i]);
            continue;
        }
        DirtyRect box = r[i];
        int32_t c1, c2, r1, r2, after = -1;
        CellRange(&g, &box, &c1, &c2, &r1, &r2);
        const int32_t oc1 = c1, oc2 = c2, or1 = r1, or2 = r2;
        for (;;) {
            CellRange(&g, &box, &c1, &c2, &r1, &r2);
            if (IsWide(c1, c2, r1, r2)) {
                MergeFrom(r, n, i, after, &box);
                break;
            }
            int32_t j = NextOverlap(&g, r, i, after, &box, c1, c2, r1, r2);
            if (j < 0) break;
            Absorb(&box, &r[j]);
            after = j;
        }
        r[i] = box;
        // A box that grew beyond the cells it is listed in is looked at by every later search.
        CellRange(&g, &box, &c1, &c2, &r1, &r2);
        if (!g.isWide[i] && (c1 != oc1 || c2 != oc2 || r1 != or1 || r2 != or2)) {
            g.isWide[i] = 1;
            g.wide[g.wideCount++] = i;
        }
    }
    FreeMergeGrid(&g);
}

void RefreshDirtyRects(DirtyRectList *list)
{
    MergeDirtyRects(list);
    for (int32_t i = 0; i < list->count; i++) {
        const DirtyRect *r = &list->rects[i];
        if (r->x1 == DIRTY_MERGED) continue;
        RefreshDisplayRect(r->x1, r->y1, r->x2 - r->x1 + 1, r->y2 - r->y1 + 1);
    }
    list->count = 0;
}
