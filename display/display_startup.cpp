// Opening the displays when the applet starts: the display mode (asking the user for mode 3),
// the screen mode, the backfill, desktop mode, and the windows of every display not hidden.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_modes.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "pictures/anim.h"
#include "pictures/brush.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

// Desktop mode: display 1 draws on a picture of the desktop. The player sees only its own
// windows (none yet), so the desktop it gets is black.
static void FillDesktop(BGPicNode *b)
{
    if (b->sourceBitMap) RectFillBitMap(b->sourceBitMap, 0, 0, b->sourceBitMap->width, b->sourceBitMap->height, 0);
}

// Steps 2-4: display mode, desktop mode, requester, screen mode. *backfillOn and *s filled.
static int PrepareScreen(lua_State *L, AppletRecord *applet, DisplayRecord *d1, int desktop, int *mode,
                         int *backfillOn, BackfillSettings *s)
{
    AppletBackfill(applet, s);
    *backfillOn = s->kind != BACKFILL_NONE;
    if (desktop) {
        if (IsRecording()) return 1316;
        if (d1->autoScale || d1->layerScale) return 1312;
        d1->flags |= DISPF_BORDERLESS | DISPF_FIXED | DISPF_NOMODESWITCH | DISPF_NOHIDE | DISPF_ACTIVE;
        *backfillOn = 0;
    } else {
        if (*mode == 3)
            *mode = OsRequester(d1->title, "Please select desired display mode!", "Full screen|Windowed", OS_REQ_PLAIN) == 1
                        ? 2 : 1;
        if (*mode == 2 || *mode == 4 || *mode == 6) {
            memset(s, 0, sizeof *s);
            s->kind = BACKFILL_COLOR;
            s->hideMenuBar = 1;
            *backfillOn = 1;
            d1->flags |= DISPF_BORDERLESS | DISPF_FIXED;
            if (*mode != 6) IgnoreAppletBackfill = 1;
            else *mode = 1;
        }
    }
    if (OsPrepareScreen(*mode, applet->backfillKind, applet->titleBarWord) && *mode != 1) {
        int32_t w, h;
        FitDisplayToScreen(applet, d1, &w, &h);
        int token = 0;
        OsFadeOut(&token, 1);
        int32_t depth = applet->depth > 0 ? applet->depth : 0;
        int code = OsSetScreenMode(w, h, depth);
        OsFadeIn(token, 1);
        if (code) return code;
        ScreenModeSwitched = 1;
    }
    return 0;
}

int OpenInitialDisplay(lua_State *L, const char *private3)
{
    AppletRecord *applet = GetAppletRecord(L);
    // 1
    DisplayRecord *d1;
    ObjectId one = {1, nullptr};
    int code = FindDisplay(one, &d1);
    if (code) return code;
    int mode = applet && applet->displayMode ? applet->displayMode : 1;
    int desktop = applet && applet->desktopSizedFirstDisplay;

    // 2-4
    int backfillOn = 0;
    BackfillSettings s;
    if (applet && (code = PrepareScreen(L, applet, d1, desktop, &mode, &backfillOn, &s))) return code;

    // 5
    PrintVerbose("Preparing display", nullptr, 0);
    if (!RuntimeSettings.quiet) OsPrintF("\n");
    if ((code = ConvertPendingRawBGPics())) return code;
    if ((code = BuildPendingBrushBitmaps())) return code;
    if ((code = ConvertSpriteFrames())) return code;
    if ((code = BuildPendingAnimBitmaps())) return code;
    if (backfillOn && (code = CreateDisplayBGPic(L, &s))) return code;

    // 6
    if (!RuntimeSettings.quiet) OsPrintF("And Action!\n");
    SetRuntimeTags(L, RTAG_QUIET, 1, 0);

    // 7
    if (desktop && d1->bgpic) FillDesktop(d1->bgpic);

    // 8
    for (DisplayRecord *d = DisplayList; d; d = d->next) {
        if (!d->bgpic) continue;
        if ((code = AttachBGPicToDisplay(d, d->bgpic))) return code;
        if ((d->autoScale || d->layerScale) && d->scaleWidth &&
            (code = OpenDisplayWindow(L, d, 0, 0, d->width, d->height, 0, d->smoothScale, 1)))
            return code;
    }

    // 9
    if (desktop) OsSetUIMode(backfillOn ? (s.hideMenuBar ? 2 : 1) : 2);
    else if (backfillOn) OsSetUIMode(s.hideMenuBar ? 2 : 1);

    // 10
    DisplayRecord *current = nullptr;
    for (DisplayRecord *d = DisplayList; d; d = d->next) {
        if (d->flags & DISPF_HIDDEN) continue;
        int active = (d->flags & DISPF_ACTIVE) != 0;
        if ((code = OpenWindowForDisplay(L, d, active))) return code;
        if (active && !current && !d->backdrop) current = d;
    }
    if (current) OsActivateWindow(current->window);
    else current = d1;
    MakeDisplayCurrent(current);
    return 0;
}
