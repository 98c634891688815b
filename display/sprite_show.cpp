// Sprites on pictures: showing, moving and removing instances, drawing them over the
// background, and recomposing a blit that lands under them.
#include <algorithm>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

enum { REDRAW_WITHOUT_SPRITES = 1, REDRAW_ONLY_SPRITES = 2 };

static int PictureHasLayers(const BGPicNode *pic)
{
    return pic->layers.last && !IsListEmpty(&pic->layers);
}

int CheckSpriteOutput(void)
{
    DisplayRecord *d = CurrentDisplay;
    int code = CheckDisplayOutput(d, 0);
    if (code) return code;
    if (d->layersEnabled || (CurrentPicture && PictureHasLayers(CurrentPicture))) return 1162;
    return CurrentPicture ? 0 : 1055;
}

// The window copy of a back-buffer rectangle (the whole picture, scaled, on a scaled display).
static void ShowBackBufferRect(DisplayRecord *d, int32_t x, int32_t y, int32_t w, int32_t h)
{
    BltToWindow(d->backBuffer, x, y, d, x, y, w, h, d->autoScale && d->scaleWidth ? 1 : 0);
}

void RefreshSpriteRect(DisplayRecord *d, int32_t x, int32_t y, int32_t w, int32_t h)
{
    BGPicNode *pic = d->bgpic;
    if (!pic || !d->backBuffer) return;
    if (!ClipRectToArea(&x, &y, &w, &h, pic->shownWidth, pic->shownHeight)) return;
    Redraw(d, pic, d->backBuffer, x, y, w, h, 0, 0);
    ShowBackBufferRect(d, x, y, w, h);
}

// Every display showing the picture gets the rectangle recomposed.
static void RefreshPictureRect(const BGPicNode *pic, int32_t x, int32_t y, int32_t w, int32_t h)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next)
        if (d->bgpic == pic) RefreshSpriteRect(d, x, y, w, h);
}

static int Overlap(int32_t ax, int32_t ay, int32_t aw, int32_t ah, int32_t bx, int32_t by, int32_t bw, int32_t bh)
{
    return ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah;
}

int RectOverlapsSprites(const BGPicNode *bgpic, int32_t x, int32_t y, int32_t width, int32_t height)
{
    for (SpriteInstance *i = bgpic->sprites; i; i = i->next)
        if (Overlap(i->x, i->y, i->width, i->height, x, y, width, height)) return 1;
    return 0;
}

SpriteInstance *FindSpriteInstance(const BGPicNode *bgpic, const SpriteNode *sprite)
{
    for (SpriteInstance *i = bgpic->sprites; i; i = i->next)
        if (i->sprite == sprite) return i;
    return nullptr;
}

int GetOnScreenSprite(ObjectId id, SpriteInstance **out)
{
    if (CurrentPicture) {
        for (SpriteInstance *i = CurrentPicture->sprites; i; i = i->next) {
            if (ObjectIdMatches(i->id, id)) {
                *out = i;
                return 0;
            }
        }
    }
    if (id.handle) return 1325;
    SetErrorNumber((long)id.number);
    return 1220;
}

static void UnlinkInstance(BGPicNode *pic, SpriteInstance *inst)
{
    for (SpriteInstance **link = &pic->sprites; *link; link = &(*link)->next) {
        if (*link == inst) {
            *link = inst->next;
            return;
        }
    }
}

int ShowSpriteAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t frame)
{
    SpriteNode *s;
    int code = GetSprite(id, &s, 0);
    if (code) return code;
    if (frame < 0 || frame > s->frameCount) return 1094;
    BGPicNode *pic = CurrentPicture;
    DisplayRecord *d = CurrentDisplay;
    if (!pic || !d) return 1055;
    x = ResolveXPos(x, s->width, 0, 0.0);
    y = ResolveYPos(y, s->height, 0, 0.0);
    SpriteInstance *inst = FindSpriteInstance(pic, s);
    if (inst) {
        int32_t next = frame ? frame : (inst->frame >= s->frameCount ? 1 : inst->frame + 1);
        if (next == inst->frame && x == inst->x && y == inst->y) return 0;
        int32_t ox = inst->x, oy = inst->y;
        inst->frame = next;
        inst->x = x;
        inst->y = y;
        int32_t w = inst->width, h = inst->height;
        if (Overlap(ox, oy, w, h, x, y, w, h)) {
            int32_t ux = std::min(ox, x), uy = std::min(oy, y);
            RefreshSpriteRect(d, ux, uy, std::max(ox, x) + w - ux, std::max(oy, y) + h - uy);
        } else {
            RefreshSpriteRect(d, ox, oy, w, h);
            RefreshSpriteRect(d, x, y, w, h);
        }
        return 0;
    }
    inst = (SpriteInstance *)MemAlloc(sizeof(SpriteInstance), 1);
    if (!inst) return 1000;
    inst->id = s->id;
    inst->x = x;
    inst->y = y;
    inst->width = s->width;
    inst->height = s->height;
    inst->frame = frame ? frame : 1;
    inst->sprite = s;
    inst->clipRegion = pic->clipRegion;
    SpriteInstance **link = &pic->sprites;
    while (*link) link = &(*link)->next;
    *link = inst;
    RefreshSpriteRect(d, x, y, inst->width, inst->height);
    return 0;
}

int RemoveSpriteInstance(SpriteInstance *inst)
{
    BGPicNode *pic = CurrentPicture;
    UnlinkInstance(pic, inst);
    RefreshPictureRect(pic, inst->x, inst->y, inst->width, inst->height);
    MemFree(inst);
    return 0;
}

// Every picture that may hold instances: the BGPic list (every display's picture is in it).
static void RemoveInstancesFrom(BGPicNode *pic, const SpriteNode *sprite)
{
    SpriteInstance **link = &pic->sprites;
    while (*link) {
        SpriteInstance *inst = *link;
        if (inst->sprite != sprite) {
            link = &inst->next;
            continue;
        }
        *link = inst->next;
        RefreshPictureRect(pic, inst->x, inst->y, inst->width, inst->height);
        MemFree(inst);
    }
}

void RemoveSpriteEverywhere(const SpriteNode *sprite)
{
    for (BGPicNode *pic = BGPicList; pic; pic = pic->next) RemoveInstancesFrom(pic, sprite);
}

int IsSpriteShown(const SpriteNode *sprite)
{
    for (BGPicNode *pic = BGPicList; pic; pic = pic->next)
        if (FindSpriteInstance(pic, sprite)) return 1;
    return 0;
}

void FreeOnScreenSprites(lua_State *L, BGPicNode *bgpic)
{
    if (!bgpic) return;
    while (SpriteInstance *inst = bgpic->sprites) {
        bgpic->sprites = inst->next;
        MemFree(inst);
    }
}

int RemoveAllSprites(int keep)
{
    BGPicNode *pic = CurrentPicture;
    DisplayRecord *d = CurrentDisplay;
    for (SpriteInstance *i = pic->sprites; i; i = i->next)
        if (i->sprite->locked) return 1314;
    if (keep && pic->sprites && d->backBuffer) {
        // The picture with its sprites becomes what the display shows underneath.
        RefreshSpriteRect(d, 0, 0, pic->shownWidth, pic->shownHeight);
        if (d->displayBitMap) {
            int32_t w = std::min(d->backBuffer->width, d->displayBitMap->width);
            int32_t h = std::min(d->backBuffer->height, d->displayBitMap->height);
            BltBitMap(d->backBuffer, 0, 0, d->displayBitMap, 0, 0, w, h);
        }
        FreeOnScreenSprites(nullptr, pic);
        return 0;
    }
    while (SpriteInstance *inst = pic->sprites) RemoveSpriteInstance(inst);
    return 0;
}

int ReleaseSpriteClipRegion(const ClipRegionNode *region)
{
    int used = 0;
    for (BGPicNode *pic = BGPicList; pic; pic = pic->next) {
        int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0, any = 0;
        for (SpriteInstance *i = pic->sprites; i; i = i->next) {
            if (i->clipRegion != region) continue;
            i->clipRegion = nullptr;
            if (!any) {
                x1 = i->x;
                y1 = i->y;
                x2 = i->x + i->width;
                y2 = i->y + i->height;
            }
            x1 = std::min(x1, i->x);
            y1 = std::min(y1, i->y);
            x2 = std::max(x2, i->x + i->width);
            y2 = std::max(y2, i->y + i->height);
            any = used = 1;
        }
        if (any) RefreshPictureRect(pic, x1, y1, x2 - x1, y2 - y1);
    }
    return used ? 0 : -1;
}

void DrawSpriteInstances(BGPicNode *bgpic, BitMap *dst, int32_t x, int32_t y, int32_t width, int32_t height)
{
    for (SpriteInstance *i = bgpic->sprites; i; i = i->next) {
        int32_t rx = x, ry = y, rx2 = x + width, ry2 = y + height;
        if (const ClipRegionNode *r = i->clipRegion) {
            rx = std::max(rx, r->x);
            ry = std::max(ry, r->y);
            rx2 = std::min(rx2, r->x + r->width);
            ry2 = std::min(ry2, r->y + r->height);
        }
        int32_t ix = std::max(rx, i->x), iy = std::max(ry, i->y);
        int32_t iw = std::min(rx2, i->x + i->width) - ix, ih = std::min(ry2, i->y + i->height) - iy;
        if (iw < 1 || ih < 1) continue;
        BitMap *bm = nullptr;
        Mask *mask = nullptr;
        AlphaChannel *alpha = nullptr;
        if (!GetSpriteFrame(i->sprite, i->frame - 1, &bm, &mask, &alpha) || !bm) continue;
        SafeBlt(bm, ix - i->x, iy - i->y, dst, ix, iy, iw, ih, bm->width, bm->height, dst->width, dst->height,
                SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES, mask, alpha, i->clipRegion);
    }
}

void RecomposeWithSprites(DisplayRecord *d, const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx,
                          int32_t dy, int32_t w, int32_t h, int flags, const Mask *srcMask,
                          const AlphaChannel *srcAlpha, const ClipRegionNode *region)
{
    BGPicNode *pic = CurrentPicture;
    BitMap *bb = d->backBuffer;
    int inner = flags | SAFEBLT_NOSPRITES;
    // The rectangle is already clipped: the bounds passed on only keep it as it is.
    int32_t sw = sx + w, sh = sy + h;
    if (dst || !bb || !pic || d->bgpic != pic) {
        // A blit into a bitmap of its own stays there; only the display's background copy is
        // shown again with its sprites on top.
        SafeBlt(src, sx, sy, dst, dx, dy, w, h, sw, sh, dx + w, dy + h, inner, srcMask, srcAlpha, region);
        if (dst && dst == d->displayBitMap && !(flags & SAFEBLT_NOWINDOW)) RefreshSpriteRect(d, dx, dy, w, h);
        return;
    }
    if (flags & SAFEBLT_DISPLAYBITMAP) {
        SafeBlt(src, sx, sy, nullptr, dx, dy, w, h, sw, sh, dx + w, dy + h, inner | SAFEBLT_NOWINDOW, srcMask,
                srcAlpha, region);
        Redraw(d, pic, bb, dx, dy, w, h, 0, 0);
    } else {
        Redraw(d, pic, bb, dx, dy, w, h, 0, REDRAW_WITHOUT_SPRITES);
        SafeBlt(src, sx, sy, bb, dx, dy, w, h, sw, sh, dx + w, dy + h, inner | SAFEBLT_NOPLANES, srcMask, srcAlpha,
                region);
        Redraw(d, pic, bb, dx, dy, w, h, 0, REDRAW_ONLY_SPRITES);
    }
    if (!(flags & SAFEBLT_NOWINDOW)) ShowBackBufferRect(d, dx, dy, w, h);
}
