// Playing an anim on the display: frame after frame over the saved background, paced by the
// speed or each frame's delay, synchronously inside the command or as an #ADF_ANIM
// asynchronous drawing object the script advances with AsyncDrawFrame.
#include <cmath>
#include <cstring>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/output_select.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/display_object.h"
#include "pictures/transform_record.h"
#include "platform/os.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000, ERR_USAGE = 1055 };
enum { SPEED_DEFAULT = -4 };

struct AnimPlay {
    lua_State *L;
    AnimNode *node;
    DisplayRecord *display;
    BGPicNode *picture;            // the picture the background was saved from
    TransformRecord transform;
    int transformed;
    int32_t drawX, drawY;          // top left corner of the drawn frame on the display
    int32_t drawWidth, drawHeight;
    BitMap *background, *work;     // the display under the frame, and the composition
    int32_t bgX, bgY, bgWidth, bgHeight;
    int32_t frame;                 // next frame to draw (0-based)
    int32_t rounds, times;
    int32_t delay;                 // ms between frames, or SPEED_DEFAULT
    int32_t started;               // a frame was drawn already
    BGPicNode *layerPicture;       // layers on: the picture holding the play's layer
    int32_t layerIndex;            // and its 1-based position there
    OsTimeVal due;                 // when the next frame may be drawn (asynchronous play)
};

int32_t AnimSpeedToDelay(int32_t speed)
{
    switch (speed) {
    case -1: return 3 * 20;
    case -3: return 8 * 20;
    case SPEED_DEFAULT: return SPEED_DEFAULT;
    default: return speed < 0 ? 0 : speed > INT32_MAX / 20 ? INT32_MAX : speed * 20;
    }
}

static int32_t FrameDelay(const AnimPlay *p, int32_t frame)
{
    return p->delay == SPEED_DEFAULT ? AnimFrameDelay(p->node, frame) : p->delay;
}

// Saves the display's picture under the frame's rectangle (clipped to the picture).
static int GrabDisplayRect(AnimPlay *p)
{
    FreeBitMap(p->background);
    FreeBitMap(p->work);
    p->background = p->work = nullptr;
    BitMap *shown = p->display->displayBitMap;
    if (!shown) return ERR_USAGE;
    int32_t x = p->drawX, y = p->drawY, w = p->drawWidth, h = p->drawHeight;
    if (!ClipRectToArea(&x, &y, &w, &h, shown->width, shown->height)) return ERR_USAGE;
    int code = CutBitMapRegion(shown, nullptr, nullptr, x, y, w, h, &p->background, nullptr, nullptr);
    if (code) return code;
    if (!(p->work = AllocBitMap(w, h))) return ERR_NOMEM;
    p->bgX = x;
    p->bgY = y;
    p->bgWidth = w;
    p->bgHeight = h;
    p->picture = CurrentPicture;
    return 0;
}

// Draws one frame: straight onto the display without mask and alpha, else composed with the
// saved background first.
static int DrawFrame(AnimPlay *p, int32_t frame)
{
    if (p->layerPicture) return SetAnimLayerFrame(GetLayerByIndex(p->layerPicture, p->layerIndex), frame);
    BitMap *bm;
    Mask *mk;
    AlphaChannel *al;
    int owned;
    int code = FetchAnimFrame(p->node, frame, 0, 0, &bm, &mk, &al, &owned);
    if (code) return code;
    BitMap *tb = nullptr;
    Mask *tm = nullptr;
    AlphaChannel *ta = nullptr;
    if (p->transformed) {
        int32_t w, h, ox, oy;
        code = TransformImageRegion(&p->transform, bm, mk, al, 0, 0, p->node->width, p->node->height, &tb, &tm, &ta,
                                    &w, &h, &ox, &oy);
        if (owned) FreeTriple(bm, mk, al);
        if (code) return code;
        bm = tb;
        mk = tm;
        al = ta;
        owned = 1;
    }
    int32_t w = p->drawWidth, h = p->drawHeight;
    const BitMap *shown = p->display->displayBitMap;
    if (!shown) {
        code = ERR_USAGE;
    } else if (!mk && !al) {
        SafeBlt(bm, 0, 0, nullptr, p->drawX, p->drawY, w, h, bm->width, bm->height, shown->width, shown->height,
                SAFEBLT_DISPLAYBITMAP, nullptr, nullptr, nullptr);
    } else {
        BltBitMap(p->background, 0, 0, p->work, 0, 0, p->bgWidth, p->bgHeight);
        SafeBlt(bm, 0, 0, p->work, p->drawX - p->bgX, p->drawY - p->bgY, w, h, bm->width, bm->height, p->bgWidth,
                p->bgHeight, SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES, mk, al, nullptr);
        SafeBlt(p->work, 0, 0, nullptr, p->bgX, p->bgY, p->bgWidth, p->bgHeight, p->bgWidth, p->bgHeight,
                shown->width, shown->height, SAFEBLT_DISPLAYBITMAP, nullptr, nullptr, nullptr);
    }
    if (owned) FreeTriple(bm, mk, al);
    return code;
}

// Draws the next frame and moves on; *finished after the last round.
static int Step(AnimPlay *p, int32_t *finished)
{
    if (p->layerPicture) {
        // The layer went (or another took its place): the play ends.
        kvLayer *l = GetLayerByIndex(p->layerPicture, p->layerIndex);
        if (!l || l->type != OBJTYPE_ANIM || !ObjectIdMatches(l->source, p->node->id)) {
            *finished = 1;
            return 0;
        }
    }
    int code = DrawFrame(p, p->frame);
    if (code) return code;
    p->started = 1;
    if (++p->frame >= p->node->frameCount) {
        p->frame = 0;
        p->rounds++;
        if (p->times && p->rounds >= p->times) *finished = 1;
    }
    return 0;
}

static void FreePlay(AnimPlay *p)
{
    if (p->node->lockCount > 0) p->node->lockCount--;
    FreeBitMap(p->background);
    FreeBitMap(p->work);
    MemFree(p);
}

// ---------------------------------------------------------------------------------------------
// Asynchronous play

static int AsyncStep(void *userdata, int32_t *finished)
{
    AnimPlay *p = (AnimPlay *)userdata;
    OsTimeVal now;
    OsGetSysTime(&now);
    if (p->started && OsCmpTime(&now, &p->due) < 0) return 0;
    int32_t delay = FrameDelay(p, p->frame);
    int code = Step(p, finished);
    if (code) return code;
    // The next frame is due one delay after this one was due.
    if (p->due.seconds == 0 && p->due.micros == 0) p->due = now;
    OsTimeVal d = {(uint32_t)(delay / 1000), (uint32_t)(delay % 1000) * 1000};
    OsAddTime(&p->due, &d);
    if (OsCmpTime(&p->due, &now) < 0) p->due = now;
    return 0;
}

static void AsyncFree(void *userdata, int32_t finished) { FreePlay((AnimPlay *)userdata); }

static intptr_t AsyncControl(int op, void *argument, void *userdata)
{
    AnimPlay *p = (AnimPlay *)userdata;
    if (op == ADCTL_TARGET && argument)
        *(void **)argument = p->layerPicture ? GetLayerByIndex(p->layerPicture, p->layerIndex) : nullptr;
    if (op == ADCTL_FRAMES) return p->node->frameCount;
    if (op == ADCTL_CURRENTFRAME) return p->started ? (p->frame ? p->frame : p->node->frameCount) : 0;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Synchronous play

static int RunSync(AnimPlay *p)
{
    OsTimeVal last;
    OsGetSysTime(&last);
    int32_t finished = 0;
    while (!finished) {
        if (OsPumpEvents(p->L, nullptr)) return 0;
        // A new picture under the anim: save the background again.
        if (!p->layerPicture && CurrentPicture != p->picture && !p->display->autoScale) {
            int code = GrabDisplayRect(p);
            if (code) return code;
        }
        int32_t delay = FrameDelay(p, p->frame);
        int code = Step(p, &finished);
        if (code) return code;
        VWaitDisplay(p->L);
        OsTimeVal now;
        OsGetSysTime(&now);
        OsSubTime(&now, &last);
        int32_t spent = (int32_t)(now.seconds * 1000 + now.micros / 1000);
        if (!finished && delay > spent) OsWaitMillis(p->L, delay - spent);
        OsGetSysTime(&last);
    }
    return 0;
}

int PlayAnimObject(lua_State *L, AnimNode *node, int32_t x, int32_t y, int32_t speed, int32_t times, int async,
                   int optionIndex, void **asyncHandle)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d) return ERR_USAGE;
    // The options are read first: a bad one raises, and nothing may be allocated by then.
    int32_t w = node->width, h = node->height;
    TransformRecord transform;
    LayerOptions options;
    int code = PrepareTransformedImage(L, optionIndex, w, h, 0, 0, 0, &transform, &options, PTI_INIT);
    if (code) return code;
    AnimPlay *p = (AnimPlay *)MemAlloc(sizeof(AnimPlay), 1);
    if (!p) return ERR_NOMEM;
    p->L = L;
    p->node = node;
    p->display = d;
    p->times = times < 0 ? 1 : times;
    p->delay = AnimSpeedToDelay(speed);
    p->transform = transform;
    p->transformed = !IsIdentityTransform(&p->transform);
    int32_t ax = ResolveXPos(x, w, 0, p->transform.anchorX), ay = ResolveYPos(y, h, 0, p->transform.anchorY);
    p->drawX = ax - (int32_t)trunc(w * p->transform.anchorX);
    p->drawY = ay - (int32_t)trunc(h * p->transform.anchorY);
    p->drawWidth = w;
    p->drawHeight = h;
    if (p->transformed) {
        int32_t ox, oy;
        BitMap *tb;
        Mask *tm;
        AlphaChannel *ta;
        code = TransformImageRegion(&p->transform, nullptr, nullptr, nullptr, 0, 0, w, h, &tb, &tm, &ta,
                                    &p->drawWidth, &p->drawHeight, &ox, &oy);
        p->drawX += ox;
        p->drawY += oy;
    }
    node->lockCount++;
    if (!code && d->layersEnabled) {
        // Frame 1 becomes a layer; the following frames only change that layer's frame.
        code = DisplayObject(L, nullptr, nullptr, OBJTYPE_ANIM, node->id, 0, 0, 0, x, y, 0, 0, 0, optionIndex, nullptr,
                             nullptr, nullptr, nullptr, 0);
        kvLayer *l = code ? nullptr : FindTopAnimLayer(node->id);
        if (l) {
            p->layerPicture = CurrentPicture;
            p->layerIndex = GetLayerIndex(CurrentPicture, l);
        } else if (!code) {
            code = ERR_USAGE;
        }
    } else if (!code) {
        code = GrabDisplayRect(p);
    }
    if (code) {
        FreePlay(p);
        return code;
    }
    if (async) {
        AsyncDrawNode *n;
        code = AddAsyncDraw(ADF_ANIM, AsyncStep, nullptr, nullptr, AsyncFree, AsyncControl, p, &n);
        if (code) {
            FreePlay(p);
            return code;
        }
        *asyncHandle = n->id.handle;
        return 0;
    }
    code = RunSync(p);
    FreePlay(p);
    return code;
}
