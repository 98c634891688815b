// SaveSnapshot: the current display's picture, its window with the frame, or the whole screen,
// written by the picture writer.
#include <cstdlib>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "gfx/blit.h"
#include "platform/os.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

enum { ERR_WRONGUSAGE = 1055, ERR_DISPLAYCLOSED = 1347 };

// A screen rectangle as a new bitmap. None when nothing of it could be read.
static BitMap *GrabScreenBitMap(int32_t x, int32_t y, int32_t width, int32_t height)
{
    int32_t w = 0, h = 0;
    uint32_t *words = OsGrabScreen(x, y, width, height, &w, &h);
    if (!words) return nullptr;
    BitMap *bm = nullptr;
    if (BitMapFromARGB(words, -1, w, h, w, &bm, nullptr)) bm = nullptr;
    free(words);
    return bm;
}

// The display's picture at its BGPic's size: the double buffer, the drawn display picture
// without layers, else the BGPic recomposed with its layers into a new bitmap.
static int DisplayPicture(DisplayRecord *d, const BitMap **out, BitMap **owned)
{
    *owned = nullptr;
    BGPicNode *b = d->bgpic;
    if (!b) return ERR_WRONGUSAGE;
    if (d->doubleBuffer && d->doubleBufferBitMap) {
        *out = d->doubleBufferBitMap;
        return 0;
    }
    const BitMap *shown = d->displayBitMap;
    if (!d->layersEnabled && !b->sprites && shown && shown->width == b->width && shown->height == b->height) {
        *out = shown;
        return 0;
    }
    BitMap *bm = AllocBitMap(b->width, b->height);
    if (!bm) return 1000;
    RectFillBitMap(bm, 0, 0, b->width, b->height, 0);
    if (Redraw(d, b, bm, 0, 0, b->width, b->height, 0, 0)) {
        FreeBitMap(bm);
        return 1000;
    }
    *out = *owned = bm;
    return 0;
}

int GfxSaveSnapshot(lua_State *L)
{
    CheckArgs(L, 1, 4);
    const char *name = luaL_checkstring(L, 1);
    int type = luaL_optinteger(L, 2, SNAP_WINDOW);
    int format = luaL_optinteger(L, 3, IMGFMT_BMP);
    int quality, colours, dither;
    GetSaveOptions(L, 4, &quality, &colours, &dither);
    DisplayRecord *d = CurrentDisplay;
    const BitMap *bm = nullptr;
    BitMap *owned = nullptr;
    if (type == SNAP_DISPLAY) {
        if (!d) return ERR_WRONGUSAGE;
        int code = DisplayPicture(d, &bm, &owned);
        if (code) return code;
    } else if (type == SNAP_DESKTOP) {
        int32_t sw = 0, sh = 0;
        OsGetAttr(nullptr, 14, &sw, nullptr);
        OsGetAttr(nullptr, 15, &sh, nullptr);
        bm = owned = GrabScreenBitMap(0, 0, sw, sh);
    } else if (type == SNAP_WINDOW) {
        if (!d || d->state != DISPSTATE_OPEN) return ERR_DISPLAYCLOSED;
        bm = owned = GrabScreenBitMap(d->x, d->y, d->width + d->borderWidth, d->height + d->borderHeight);
    } else {
        return ERR_WRONGUSAGE;
    }
    if (!bm) return 1000;
    int code = SaveImageFile(format, bm, bm->width, bm->height, name, nullptr, 0xFFFFFFFFu, nullptr, quality,
                             colours, dither);
    FreeBitMap(owned);
    return code;
}
