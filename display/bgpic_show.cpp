// DisplayBGPicCore: shows a BGPic on the current display through its attribute table, and for
// transitions captures the old and the new picture.
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "runtime/vm/api.h"

enum { ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055, ERR_RECORDING = 1352 };

// A copy of what the display shows now, at the size of the picture that comes.
static int CaptureOldPicture(DisplayRecord *d, const BGPicNode *next, BitMap **out)
{
    BGPicNode *shown = d->bgpic;
    BitMap *image = GetBGPicDisplayImage(d, shown);
    if (!image) return ERR_NOMEM;
    int32_t w = shown->shownWidth, h = shown->shownHeight;
    if (w > image->width) w = image->width;
    if (h > image->height) h = image->height;
    int keepSize = d->layerScale && d->scaleWidth;
    if (!keepSize && (w != next->shownWidth || h != next->shownHeight))
        return ScaleBitMapTriple(image, nullptr, nullptr, 0, 0, nullptr, w, h, next->shownWidth, next->shownHeight, 0,
                                 out, nullptr, nullptr);
    return CutBitMapRegion(image, nullptr, nullptr, 0, 0, w, h, out, nullptr, nullptr) ? ERR_NOMEM : 0;
}

int DisplayBGPicCore(lua_State *L, ObjectId id, int32_t x, int32_t y, int capture, BitMap **newPicture,
                     BitMap **oldPicture)
{
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *b;
    int code = GetBGPicNode(id, &b, 0);
    if (code) return code;
    if (IsRecording() && (b->sourceMask || b->sourceAlpha)) return ERR_RECORDING;
    if (!d || !d->bgpic) return ERR_WRONGUSAGE;
    BitMap *old = nullptr;
    if (capture && (code = CaptureOldPicture(d, b, &old))) return code;
    lua_newtable(L);
    SetFieldObjectId(L, "bgpic", id);
    if (x != KEEPPOSITION) SetFieldInt(L, "x", x);
    if (y != KEEPPOSITION) SetFieldInt(L, "y", y);
    code = SetDisplayAttributesCore(L, lua_gettop(L), d, 0);
    lua_pop(L, 1);
    if (code) {
        FreeBitMap(old);
        return code;
    }
    if (!capture) return 0;
    BitMap *image = GetBGPicDisplayImage(d, b);
    BitMap *copy = nullptr;
    if (!image || CutBitMapRegion(image, nullptr, nullptr, 0, 0, b->shownWidth < image->width ? b->shownWidth : image->width,
                                  b->shownHeight < image->height ? b->shownHeight : image->height, &copy, nullptr,
                                  nullptr)) {
        FreeBitMap(old);
        return ERR_NOMEM;
    }
    // The effect starts from the old picture.
    BltToWindow(old, 0, 0, d, 0, 0, old->width, old->height, 1);
    *newPicture = copy;
    *oldPicture = old;
    return 0;
}
