// CreateDisplay's work: a closed display with its defaults, its options and, unless the script
// named a BGPic, a BGPic of its own made from the fill options.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "gfx/scale.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

int IsRecording(void)
{
    return 0;
}

// Whether the applet runs in desktop mode (display 1 draws on a snapshot of the desktop).
static int DesktopMode(lua_State *L)
{
    AppletRecord *applet = L ? GetAppletRecord(L) : nullptr;
    return applet && applet->desktopSizedFirstDisplay;
}

// The display's own BGPic, of the display's size, filled by its fill options.
static int MakeOwnBGPic(lua_State *L, DisplayRecord *d)
{
    ObjectId id = {0, (void *)1};   // automatic: AddBGPicNode puts in the record's address
    int desktop = 0;
    if (RuntimeSettings.preproc && !d->id.handle && d->id.number == 1) {
        id.number = 1;
        id.handle = nullptr;
        desktop = DesktopMode(L);
        BGPicNode *old;
        if (GetBGPicNode(id, &old, BGPIC_PENDING) == 0) {
            if (desktop) return 1086;
            FreeBGPicNode(old);
        }
    }
    BGPicFillSpec fill;
    memset(&fill, 0, sizeof fill);
    fill.kind = d->fillStyle;
    fill.color1 = d->color;
    fill.color2 = d->gradientEnd;
    fill.angle = d->gradientAngle;
    fill.textureBrush = d->textureBrush;
    fill.textureX = d->textureX;
    fill.textureY = d->textureY;
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    int code;
    if (desktop) {
        // The desktop snapshot is copied in when the display opens.
        bm = AllocBitMap(d->width, d->height);
        code = bm ? 0 : 1000;
    } else {
        code = MakeBGPicImages(nullptr, &fill, 0xFFFFFFFFu, d->width, d->height, d->width, &bm, &mask, &alpha);
    }
    if (code) return code;
    code = AddBGPicNode(&id, 1, d->width, d->height, d->width, nullptr, bm, nullptr, 0xFFFFFFFFu, mask, alpha, 0,
                        &fill);
    if (code) {
        FreeTriple(bm, mask, alpha);
        return code;
    }
    GetBGPicNode(id, &d->bgpic, BGPIC_PENDING);
    d->ownBGPic = d->bgpic;
    return 0;
}

static void FreeHalfBuilt(lua_State *L, DisplayRecord *d)
{
    FreeDisplayContents(L, d, 0);
    MemFree(d);
    FlushPendingBGPics();
}

int CreateDisplayCore(lua_State *L, uint32_t number, int isNil, int t, DisplayRecord **out)
{
    if (IsRecording()) return 1351;
    if (!isNil) {
        ObjectId id = {number, nullptr};
        DisplayRecord *old;
        int code;
        if (FindDisplay(id, &old) == 0 && (code = RemoveDisplay(L, id))) return code;
    }
    // The options are read into a record of the stack: a bad one raises, and nothing may be
    // allocated by then.
    DisplayRecord read;
    memset(&read, 0, sizeof read);
    InitDisplayDefaults(&read);
    read.id.number = isNil ? 0 : number;
    int code = 0, scaleGiven = 0;
    if (t && (code = ParseDisplayOptions(L, t, &read, 1, &scaleGiven))) return code;
    DisplayRecord *d = (DisplayRecord *)MemAlloc(sizeof(DisplayRecord), 0);
    if (!d) return 1000;
    *d = read;
    d->id.handle = isNil ? d : nullptr;
    d->layersEnabled = d->layerScale || (d->flags & DISPF_LAYERS);
    if (!d->autoScale && !d->layerScale) {
        d->stripLeft = d->stripTop = d->stripRight = d->stripBottom = 0;
        d->scaleWidth = d->scaleHeight = 0;
    }
    if (!d->bgpic && (code = MakeOwnBGPic(L, d))) {
        FreeHalfBuilt(L, d);
        return code;
    }
    ResetDisplayCursor(d, d->bgpic->width);
    int scaled = (d->autoScale || d->layerScale) && d->scaleWidth;
    if (scaled) {
        d->width = d->scaleWidth;
        d->height = d->scaleHeight;
    }
    if (!RuntimeSettings.preproc) {
        if ((code = AttachBGPicToDisplay(d, d->bgpic)) ||
            (scaled && (code = OpenDisplayWindow(L, d, 0, 0, d->scaleWidth, d->scaleHeight, 0, d->smoothScale, 1)))) {
            FreeHalfBuilt(L, d);
            return code;
        }
    }
    if ((code = OsAllocWindowRecord(d, &d->window))) {
        FreeHalfBuilt(L, d);
        return code;
    }
    LinkDisplay(d);
    *out = d;
    return 0;
}
