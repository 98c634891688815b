// The brush of a picture backfill drawn onto the backfill's BGPic (display_pending.h).
#include "display/display_pending.h"

#include "display/bgpic.h"
#include "display/display.h"
#include "pictures/brush.h"

void DrawBrushOnBGPic(lua_State *L, void *brushHandle, void *bgpicHandle, int32_t x, int32_t y)
{
    (void)L;
    BrushNode *b;
    BGPicNode *pic;
    if (GetBrushNode({0, brushHandle}, &b, 0) || GetBGPicNode({0, bgpicHandle}, &pic, 0)) return;
    if (!b->bitmap || !pic->sourceBitMap) return;
    x = ResolveXPos(x, b->width, pic->sourceWidth, 0.0);
    y = ResolveYPos(y, b->height, pic->sourceHeight, 0.0);
    // Every image set of the BGPic at its source size gets the brush (a fresh BGPic shares one).
    BitMap *sets[3] = {pic->sourceBitMap, pic->bitmap, pic->shownBitMap};
    for (int i = 0; i < 3; i++) {
        BitMap *dst = sets[i];
        if (!dst || (i > 0 && dst == sets[0]) || (i > 1 && dst == sets[1])) continue;
        if (dst->width != pic->sourceWidth || dst->height != pic->sourceHeight) continue;
        SafeBlt(b->bitmap, 0, 0, dst, x, y, b->width, b->height, b->width, b->height, dst->width, dst->height,
                SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES | SAFEBLT_NOWINDOW, b->mask, b->alpha, nullptr);
    }
}
