// Running a move: set-up (output checks, speed, the object and its lock, positions, first
// placement), the three drivers (inside the command, asynchronous, embedded in a transition),
// one drawn step, and the release of everything the move held.
#include <cstring>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display.h"
#include "display/layer.h"
#include "display/moveobject.h"
#include "display/output_select.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "pictures/anim.h"
#include "pictures/brush.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "text/text_objects.h"

enum { ERR_MEMORY = 1000, ERR_ARGS = 1055, ERR_NEEDLAYERS = 1078, ERR_LAYERRANGE = 1081 };
// Blit modes of a layers-off step: into the composition buffer, then onto the display.
enum { MOVEBLT_BUFFER = SAFEBLT_NOCLIP | SAFEBLT_NOSPRITES | SAFEBLT_NOPLANES, MOVEBLT_DISPLAY = SAFEBLT_DISPLAYBITMAP };

// ---------------------------------------------------------------------------------------------
// Release

// A disk anim's frame images are decoded for the move and belong to it.
static void ReleaseFrameImages(MoveContext *c)
{
    if (c->diskAnim) {
        FreeBitMap(c->bitmap);
        FreeMask(c->mask);
        FreeAlphaChannel(c->alpha);
    }
    c->bitmap = nullptr;
    c->mask = nullptr;
    c->alpha = nullptr;
}

void FreeMoveContext(MoveContext *c)
{
    if (!c) return;
    if (c->lockCounter && *c->lockCounter) (*c->lockCounter)--;
    c->lockCounter = nullptr;
    if (c->spriteLocks) {
        for (uint32_t **p = c->spriteLocks; *p; p++)
            if (**p) (**p)--;
        MemFree(c->spriteLocks);
        c->spriteLocks = nullptr;
    }
    FreeBitMap(c->composition);
    FreeBitMap(c->background);
    c->composition = c->background = nullptr;
    ReleaseFrameImages(c);
    if (!c->embedded) MemFree(c);
}

int GrabMoveBackground(MoveContext *c)
{
    FreeBitMap(c->composition);
    FreeBitMap(c->background);
    c->composition = c->background = nullptr;
    BGPicNode *pic = CurrentPicture;
    DisplayRecord *d = CurrentDisplay;
    if (!pic || !d || pic->width < 1 || pic->height < 1) return ERR_ARGS;
    c->composition = AllocBitMap(pic->width, pic->height);
    c->background = AllocBitMap(pic->width, pic->height);
    if (!c->composition || !c->background) return ERR_MEMORY;
    const BitMap *from = d->displayBitMap ? d->displayBitMap : d->backBuffer;
    if (from) {
        int32_t w = from->width < pic->width ? from->width : pic->width;
        int32_t h = from->height < pic->height ? from->height : pic->height;
        BltBitMap(from, 0, 0, c->background, 0, 0, w, h);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// One step

// The layer of a layer move, found again by its position when it left the list.
static kvLayer *MovedLayer(MoveContext *c)
{
    BGPicNode *pic = CurrentPicture;
    if (c->layer && pic && GetLayerIndex(pic, c->layer)) return c->layer;
    c->layer = GetLayerByIndex(pic, c->layerIndex);
    return c->layer;
}

static void AddMillis(OsTimeVal *t, int32_t ms)
{
    if (ms < 0) ms = 0;
    OsTimeVal d = {(uint32_t)(ms / 1000), (uint32_t)(ms % 1000) * 1000};
    OsAddTime(t, &d);
}

// The delay before the frame after `frame`: the move's, or the frame's own for an anim at -4.
static int32_t DelayAfter(const MoveContext *c, int32_t frame)
{
    if (c->frameDelay != MOVESPEED_DEFAULT) return c->frameDelay;
    return c->anim ? AnimFrameDelay((const AnimNode *)c->anim, frame) : 0;
}

// Layers off: the union of the old and new rectangle is restored from the background, the
// object is drawn over it, and the rectangle goes to the display in one blit.
static void DrawComposed(MoveContext *c)
{
    BGPicNode *pic = CurrentPicture;
    if (!pic || !c->background || !c->composition) return;
    int64_t x1 = c->previousX < c->x ? c->previousX : c->x;
    int64_t y1 = c->previousY < c->y ? c->previousY : c->y;
    int64_t x2 = (int64_t)(c->previousX > c->x ? c->previousX : c->x) + c->width;
    int64_t y2 = (int64_t)(c->previousY > c->y ? c->previousY : c->y) + c->height;
    const int64_t pw = c->composition->width, ph = c->composition->height;
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 > pw) x2 = pw;
    if (y2 > ph) y2 = ph;
    if (x2 <= x1 || y2 <= y1) return;
    const int32_t rx = (int32_t)x1, ry = (int32_t)y1, rw = (int32_t)(x2 - x1), rh = (int32_t)(y2 - y1);
    BitMap *comp = c->composition;
    SafeBlt(c->background, rx, ry, comp, rx, ry, rw, rh, c->background->width, c->background->height, comp->width,
            comp->height, MOVEBLT_BUFFER, nullptr, nullptr, nullptr);
    if (c->bitmap)
        SafeBlt(c->bitmap, 0, 0, comp, c->x, c->y, c->width, c->height, c->bitmap->width, c->bitmap->height,
                comp->width, comp->height, MOVEBLT_BUFFER, c->mask, c->alpha, nullptr);
    DisplayRecord *d = CurrentDisplay;
    int32_t dw = d && d->displayBitMap ? d->displayBitMap->width : comp->width;
    int32_t dh = d && d->displayBitMap ? d->displayBitMap->height : comp->height;
    SafeBlt(comp, rx, ry, nullptr, rx, ry, rw, rh, comp->width, comp->height, dw, dh,
            MOVEBLT_DISPLAY | c->extraBlitFlags, nullptr, nullptr, pic->clipRegion);
}

static void Rearm(MoveContext *c)
{
    if (!c->rearm) return;
    AddMillis(&c->frameTimer, DelayAfter(c, c->frame));
    c->rearm = 0;
}

static int Draw(MoveContext *c)
{
    if (c->kind == MOVEKIND_SPRITE) {
        int code = ShowSpriteAt(c->state, c->object, c->x, c->y, c->frame + 1);
        Rearm(c);
        return code;
    }
    if (c->kind == MOVEKIND_LAYER && c->layer) {
        kvLayer *l = c->embedded ? c->layer : MovedLayer(c);
        if (!l) return ERR_LAYERRANGE;
        SetLayerPosition(l, nullptr, c->x, c->y, 0, 0, nullptr);
        return 0;
    }
    if (c->anim && !c->bitmap) {
        int owned = 0;
        int code = FetchAnimFrame((AnimNode *)c->anim, c->frame, 0, 0, &c->bitmap, &c->mask, &c->alpha, &owned);
        if (code) return code;
        c->diskAnim = owned;
        Rearm(c);
    }
    DrawComposed(c);
    return 0;
}

// Frames: once the timer has passed, the next frame is due; its images are fetched by the next
// draw, which also re-arms the timer. A layer shows the new frame at once. 0 or an error code.
static int AdvanceFrame(MoveContext *c)
{
    if (c->frameCount < 1) return 0;
    OsTimeVal now;
    OsGetSysTime(&now);
    if (OsCmpTime(&c->frameTimer, &now) >= 0) return 0;
    int code = 0;
    c->frame = (c->frame + 1) % c->frameCount;
    c->frameTimer = now;
    c->rearm = 1;
    if (c->kind == MOVEKIND_LAYER) {
        kvLayer *l = MovedLayer(c);
        if (l && l->type == MOVEKIND_ANIM) code = SetAnimLayerFrame(l, c->frame);
    }
    ReleaseFrameImages(c);
    return code;
}

int MoveObjectStep(MoveContext *c, int32_t *finished)
{
    MoveAdvance(c, finished);
    c->finished = *finished;
    int code = Draw(c);
    c->previousX = c->x;
    c->previousY = c->y;
    if (code) return code;
    return AdvanceFrame(c);
}

intptr_t MoveObjectHook(int op, void *argument, void *userdata)
{
    MoveContext *c = (MoveContext *)userdata;
    if (op == ADCTL_LAYERREPLACED && c->layer && argument == c->layer) c->layer = c->layer->pred;
    else if (op == ADCTL_TARGET && argument) *(void **)argument = c->kind == MOVEKIND_LAYER ? c->layer : nullptr;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Set-up

static void Lock(MoveContext *c, uint32_t *counter)
{
    c->lockCounter = counter;
    (*counter)++;
}

// A sprite's own lock and those of its source sprites. 0 or 1000.
static int LockSprite(MoveContext *c, SpriteNode *s)
{
    Lock(c, (uint32_t *)&s->locked);
    if (!s->sources) return 0;
    int32_t n = 0;
    while (s->sources[n]) n++;
    c->spriteLocks = (uint32_t **)MemAlloc(sizeof(uint32_t *) * (size_t)(n + 1), 1);
    if (!c->spriteLocks) return ERR_MEMORY;
    for (int32_t i = 0; i < n; i++) {
        c->spriteLocks[i] = (uint32_t *)&s->sources[i]->locked;
        (*c->spriteLocks[i])++;
    }
    return 0;
}

// Looks the object up, locks it and takes its size and images; a layer move finds its layer.
// The text offsets go to *offX, *offY; a layer's anchor to *anchorX, *anchorY.
static int LookUpObject(MoveContext *c, const char *layerName, int32_t *offX, int32_t *offY, double *anchorX,
                        double *anchorY)
{
    switch (c->kind) {
    case MOVEKIND_BRUSH: {
        BrushNode *b;
        int code = GetBrushNode(c->object, &b, 0);
        if (code) return code;
        Lock(c, &b->locked);
        c->width = b->width;
        c->height = b->height;
        c->bitmap = b->bitmap;
        c->mask = b->mask;
        c->alpha = b->alpha;
        return 0;
    }
    case MOVEKIND_ANIM: {
        AnimNode *a;
        int code = FindAnim(c->object, &a, 0);
        if (code) return code;
        Lock(c, (uint32_t *)&a->lockCount);
        c->anim = a;
        c->width = a->width;
        c->height = a->height;
        c->frameCount = a->frameCount;
        c->diskAnim = a->diskBased;
        return 0;
    }
    case MOVEKIND_TEXTOBJECT: {
        TextObjectNode *t;
        int code = FindTextObject(c->object, 0, &t);
        if (code) return code;
        Lock(c, &t->locked);
        c->width = t->width;
        c->height = t->height;
        c->bitmap = t->bitmap;
        c->mask = t->mask;
        c->alpha = t->alpha;
        *offX = t->offsetX;
        *offY = t->offsetY;
        return 0;
    }
    case MOVEKIND_SPRITE: {
        SpriteNode *s;
        int code = GetSprite(c->object, &s, 0);
        if (code) return code;
        c->width = s->width;
        c->height = s->height;
        c->frameCount = s->frameCount;
        return LockSprite(c, s);
    }
    case MOVEKIND_LAYER: {
        if (!CurrentDisplay->layersEnabled) return ERR_NEEDLAYERS;
        int32_t index = layerName ? FindLayerByName(layerName) : (int32_t)c->object.number;
        kvLayer *l = GetLayerByIndex(CurrentPicture, index);
        if (!l || !l->drawnState) return ERR_LAYERRANGE;
        c->layer = l;
        c->layerIndex = index;
        c->object.number = (uint32_t)index;
        const LayerState *s = l->drawnState;
        c->width = s->width;
        c->height = s->height;
        if (c->x == MOVE_USELAYERPOSITION) c->x = s->x;
        if (c->endX == MOVE_USELAYERPOSITION) c->endX = s->x;
        if (c->y == MOVE_USELAYERPOSITION) c->y = s->y;
        if (c->endY == MOVE_USELAYERPOSITION) c->endY = s->y;
        *anchorX = l->anchorX;
        *anchorY = l->anchorY;
        return 0;
    }
    default: return ERR_ARGS;
    }
}

// Layers on: the object's first layer on the current picture, or a new one at the start.
static int FindOrAddLayer(lua_State *L, MoveContext *c)
{
    BGPicNode *pic = CurrentPicture;
    int32_t index = 1;
    for (ListNode *n = pic->layers.first; n && n->succ; n = n->succ, index++) {
        kvLayer *l = (kvLayer *)n;
        if (l->type == c->kind && ObjectIdMatches(l->source, c->object)) {
            c->layer = l;
            c->layerIndex = index;
            return 0;
        }
    }
    kvLayer *l = nullptr;
    int code;
    if (c->kind == MOVEKIND_BRUSH) {
        code = AddBrushLayerAt(L, c->object, c->x, c->y, 0, 0, &l);
    } else if (c->kind == MOVEKIND_ANIM) {
        code = AddAnimLayer(c->object, c->x, c->y, c->width, c->height, nullptr, nullptr, c->frame, &l);
    } else {
        // The text layer is placed by its text origin; the move by the image's corner.
        TextObjectNode *t;
        code = FindTextObject(c->object, 0, &t);
        if (!code) code = AddTextLayer(L, t, c->x - t->offsetX, c->y - t->offsetY, -1, 0, &l);
    }
    if (code) return code;
    if (!l) return ERR_LAYERRANGE;
    c->layer = l;
    c->layerIndex = GetLayerIndex(pic, l);
    return 0;
}

// First placement at the start point.
static int PlaceAtStart(lua_State *L, MoveContext *c)
{
    DisplayRecord *d = CurrentDisplay;
    if (c->kind == MOVEKIND_SPRITE) return ShowSpriteAt(L, c->object, c->x, c->y, 1);
    if (c->kind != MOVEKIND_LAYER && !c->embedded && d->layersEnabled) {
        int code = FindOrAddLayer(L, c);
        if (code) return code;
        c->kind = MOVEKIND_LAYER;
    }
    if (c->kind == MOVEKIND_LAYER && c->layer) {
        SetLayerPosition(c->layer, nullptr, c->x, c->y, 0, 0, nullptr);
        return 0;
    }
    return GrabMoveBackground(c);
}

static int StepAsync(void *userdata, int32_t *finished) { return MoveObjectStep((MoveContext *)userdata, finished); }
static void FreeAsync(void *userdata, int32_t finished)
{
    (void)finished;
    FreeMoveContext((MoveContext *)userdata);
}

// Steps inside the command, one per display refresh, until arrival or a stop.
static int RunSynchronous(lua_State *L, MoveContext *c)
{
    int32_t finished = 0;
    int code = 0;
    while (!finished) {
        if (OsPumpEvents(L, nullptr)) break;
        DisplayRecord *d = CurrentDisplay;
        BGPicNode *pic = CurrentPicture;
        if (c->background && pic && !d->layersEnabled && !d->autoScale &&
            (c->background->width != pic->width || c->background->height != pic->height) &&
            (code = GrabMoveBackground(c)))
            break;
        if ((code = MoveObjectStep(c, &finished))) break;
        VWaitDisplay(L);
    }
    return code;
}

static int SetUp(lua_State *L, MoveContext *c, int32_t speed, int32_t animSpeed, const char *layerName)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d || !CurrentPicture) return ERR_ARGS;
    // 1.
    if (!c->embedded) {
        int code = c->kind == MOVEKIND_SPRITE ? CheckSpriteOutput() : CheckDisplayOutput(d, 0);
        if (code) return code;
    }
    // 2-3.
    const int32_t resolved = MoveResolveSpeed(speed);
    if (!resolved) return ERR_ARGS;
    c->frameDelay = MoveFrameDelay(animSpeed, c->kind);
    // 4.
    int32_t offX = 0, offY = 0;
    double ax = 0.0, ay = 0.0;
    if (!c->embedded) {
        int code = LookUpObject(c, layerName, &offX, &offY, &ax, &ay);
        if (code) return code;
    }
    // 5.
    c->x = ResolveXPos(c->x, c->width, 0, ax) + offX;
    c->endX = ResolveXPos(c->endX, c->width, 0, ax) + offX;
    c->y = ResolveYPos(c->y, c->height, 0, ay) + offY;
    c->endY = ResolveYPos(c->endY, c->height, 0, ay) + offY;
    // 6.
    if (c->x == c->endX && c->y == c->endY) {
        if (!c->embedded) return -1;
        c->x = c->endX - 10;
        c->y = c->endY - 10;
    }
    c->previousX = c->x;
    c->previousY = c->y;
    // 7-9.
    const double amplitude = c->style == MOVESTYLE_BIGSINE ? CurrentPicture->height / 2 : 50;
    MoveSetupPath(c, resolved, amplitude);
    // 10.
    int code = PlaceAtStart(L, c);
    if (code) return code;
    // 11.
    OsGetSysTime(&c->frameTimer);
    AddMillis(&c->frameTimer, DelayAfter(c, 0));
    return 0;
}

int MoveObject(lua_State *L, MoveContext *c, int32_t speed, int32_t animSpeed, const char *layerName, int *results)
{
    *results = 0;
    c->state = L;
    int code = SetUp(L, c, speed, animSpeed, layerName);
    if (code) {
        if (!c->embedded) FreeMoveContext(c);
        return code < 0 ? 0 : code;
    }
    if (c->embedded) {
        c->step = MoveObjectStep;
        c->free = FreeMoveContext;
        return 0;
    }
    if (c->async) {
        AsyncDrawNode *node;
        code = AddAsyncDraw(ADF_MOVEOBJECT, StepAsync, nullptr, nullptr, FreeAsync, MoveObjectHook, c, &node);
        if (code) {
            FreeMoveContext(c);
            return code;
        }
        lua_pushlightuserdata(L, node->id.handle);
        *results = 1;
        return 0;
    }
    code = RunSynchronous(L, c);
    FreeMoveContext(c);
    return code;
}
