// The list of asynchronous drawing objects, the queries the layer and display code make of it,
// and the three graphics commands that advance, finish and cancel an object.
#include "display/asyncdraw.h"

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

AsyncDrawNode *AsyncDrawList = nullptr;

// The display's own word for its objects (its first one, or none), which the display and layer
// code test; kept in step with the list for every listed display.
static void SyncDisplay(DisplayRecord *display)
{
    DisplayRecord *d = DisplayList;
    while (d && d != display) d = d->next;
    if (!d) return;
    d->asyncDraws = nullptr;
    for (AsyncDrawNode *n = AsyncDrawList; n && !d->asyncDraws; n = n->next)
        if (n->display == d) d->asyncDraws = n;
}

int AddAsyncDraw(int kind, AsyncDrawFunc draw, AsyncDrawFunc second, AsyncDrawEndFunc finish,
                 AsyncDrawEndFunc freeFunc, AsyncDrawControlFunc control, void *userdata, AsyncDrawNode **out)
{
    AsyncDrawNode *n = (AsyncDrawNode *)MemAlloc(sizeof(AsyncDrawNode), 1);
    if (!n) return 1000;
    n->id.handle = n;
    n->display = CurrentDisplay;
    n->kind = kind;
    n->draw = draw;
    n->second = second;
    n->finish = finish;
    n->free = freeFunc;
    n->control = control;
    n->userdata = userdata;
    AsyncDrawNode **link = &AsyncDrawList;
    while (*link) link = &(*link)->next;
    *link = n;
    SyncDisplay(n->display);
    if (out) *out = n;
    return 0;
}

int HasAsyncDraws(const DisplayRecord *display)
{
    for (AsyncDrawNode *n = AsyncDrawList; n; n = n->next)
        if (n->display == display) return 1;
    return 0;
}

int CountAsyncDraws(void)
{
    int count = 0;
    for (AsyncDrawNode *n = AsyncDrawList; n; n = n->next) count++;
    return count;
}

static intptr_t Control(AsyncDrawNode *n, int op, void *argument)
{
    return n->control ? n->control(op, argument, n->userdata) : 0;
}

void NotifyAsyncDraws(int op, void *argument)
{
    for (AsyncDrawNode *n = AsyncDrawList; n; n = n->next) Control(n, op, argument);
}

static void *TargetOf(AsyncDrawNode *n)
{
    void *target = nullptr;
    Control(n, ADCTL_TARGET, &target);
    return target;
}

int IsUsedByAsyncDraw(const void *object)
{
    if (!object) return 0;
    for (AsyncDrawNode *n = AsyncDrawList; n; n = n->next)
        if (TargetOf(n) == object) return 1;
    return 0;
}

BGPicNode *PollAsyncDraws(DisplayRecord *display)
{
    for (AsyncDrawNode *n = AsyncDrawList; n; n = n->next) {
        if (n->kind != ADF_FX || n->display != display) continue;
        void *picture = nullptr;
        Control(n, ADCTL_BUSY, &picture);
        if (picture) return (BGPicNode *)picture;
    }
    return nullptr;
}

int FindAsyncDraw(ObjectId id, AsyncDrawNode **out)
{
    for (AsyncDrawNode *n = AsyncDrawList; n; n = n->next) {
        if (ObjectIdMatches(n->id, id)) {
            *out = n;
            return 0;
        }
    }
    // The objects are anonymous: a handle that is gone is as missing as any number.
    SetErrorNumber((long)id.number);
    return 1326;
}

static void Unlink(AsyncDrawNode *node)
{
    for (AsyncDrawNode **link = &AsyncDrawList; *link; link = &(*link)->next) {
        if (*link == node) {
            *link = node->next;
            SyncDisplay(node->display);
            return;
        }
    }
}

// Ends an object: its free callback (with the finished flag given) and the node. The node is
// unlinked first so that the owner's callback never sees it in the list.
static void EndObject(AsyncDrawNode *n, int32_t finished)
{
    Unlink(n);
    if (n->free) n->free(n->userdata, finished);
    MemFree(n);
}

void FreeAsyncDraws(lua_State *L, DisplayRecord *display)
{
    AsyncDrawNode *n = AsyncDrawList;
    while (n) {
        AsyncDrawNode *next = n->next;
        if (!display || n->display == display) EndObject(n, 0);
        n = next;
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

int CheckDisplayOutput(const DisplayRecord *d, int allowBGPic)
{
    if (!d) return 1055;
    switch (d->outputType) {
    case OBJTYPE_BRUSH:
        if (d->doubleBuffer) return 1229;
        if (d->selection && d->selection->selectionKind == OBJTYPE_ANIM) return 1339;
        return 1082;
    case OBJTYPE_MASK: return 1147;
    case OBJTYPE_ALPHACHANNEL: return 1167;
    case OBJTYPE_BGPIC: return allowBGPic ? 0 : 1056;
    default: return 0;
    }
}

// The rectangle of the layer the object draws into goes on the display's damage list; an
// object that names no layer damages nothing.
static void AddTargetDamage(AsyncDrawNode *n, DisplayRecord *d)
{
    const kvLayer *layer = (const kvLayer *)TargetOf(n);
    if (!layer || !layer->drawnState) return;
    const LayerState *s = layer->drawnState;
    if (s->drawnWidth < 1 || s->drawnHeight < 1) return;
    DirtyRectList *list = &d->dirty;
    if (list->count == list->capacity) {
        // Grows by 1024 entries; a failed growth drops the rectangle.
        DirtyRect *grown = (DirtyRect *)MemAlloc(sizeof(DirtyRect) * (size_t)(list->capacity + 1024), 0);
        if (!grown) return;
        for (int32_t i = 0; i < list->count; i++) grown[i] = list->rects[i];
        MemFree(list->rects);
        list->rects = grown;
        list->capacity += 1024;
    }
    list->rects[list->count++] = {s->drawnX, s->drawnY, s->drawnX + s->drawnWidth - 1, s->drawnY + s->drawnHeight - 1};
}

static int DrawNextFrame(AsyncDrawNode *n, DisplayRecord *d)
{
    if (d->outputType != OBJTYPE_BGPIC) return n->draw ? n->draw(n->userdata, &n->finished) : 0;
    Control(n, ADCTL_BGPICFRAME, (void *)1);
    int code = n->draw ? n->draw(n->userdata, &n->finished) : 0;
    Control(n, ADCTL_BGPICFRAME, (void *)0);
    if (code) return code;
    AddTargetDamage(n, d);
    return 0;
}

// Completes an object: its finish callback, then its end.
static void Complete(AsyncDrawNode *n, int32_t finished)
{
    if (n->finish) n->finish(n->userdata, finished);
    // The finish callback may have ended objects of its own; ours is looked up again by its id.
    AsyncDrawNode *again;
    if (FindAsyncDraw(n->id, &again) == 0) EndObject(again, finished);
}

static int LookUpArg(lua_State *L, AsyncDrawNode **out)
{
    return FindAsyncDraw(GetObjectIdArg(L, 1), out);
}

int GfxAsyncDrawFrame(lua_State *L)
{
    CheckArgs(L, 1, 2);
    DisplayRecord *d = CurrentDisplay;
    int code = CheckDisplayOutput(d, 1);
    if (code) return code;
    AsyncDrawNode *n;
    if ((code = LookUpArg(L, &n))) return code;
    if (n->display != d) return 1379;
    if (lua_isnoneornil(L, 2)) {
        if (n->finished) {
            Complete(n, 1);
            lua_pushnumber(L, 1);
            return 1;
        }
        if ((code = DrawNextFrame(n, d))) return code;
        lua_pushnumber(L, 0);
        return 1;
    }
    if (!d->layersEnabled) return 1078;
    int32_t frame = GetIntArg(L, 2);
    if (frame < 0) frame = 0;
    int32_t current = (int32_t)Control(n, ADCTL_CURRENTFRAME, nullptr);
    int32_t count = (int32_t)Control(n, ADCTL_FRAMES, nullptr);
    if ((count < frame || frame == 0) && n->finished) {
        Complete(n, 1);
        lua_pushnumber(L, 1);
        return 1;
    }
    if (frame > count) return 1094;
    int result = 0;
    if (frame == current) {
        // Nothing to draw, also for frame 0 before the first frame.
    } else if (frame == 0 || frame == current + 1) {
        if ((code = DrawNextFrame(n, d))) return code;
    } else {
        if ((code = (int)Control(n, ADCTL_JUMP, &frame))) return code;
        if (d->outputType == OBJTYPE_BGPIC) AddTargetDamage(n, d);
        else Control(n, ADCTL_SHOW, nullptr);
        n->finished = frame == count;
        result = n->finished;
    }
    lua_pushnumber(L, result);
    return 1;
}

int GfxFinishAsyncDraw(lua_State *L)
{
    CheckArgs(L, 1, 1);
    AsyncDrawNode *n;
    int code = LookUpArg(L, &n);
    if (code) return code;
    Complete(n, n->finished);
    return 0;
}

int GfxCancelAsyncDraw(lua_State *L)
{
    CheckArgs(L, 1, 1);
    AsyncDrawNode *n;
    int code = LookUpArg(L, &n);
    if (code) return code;
    EndObject(n, 0);
    return 0;
}

int AsyncDrawAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) {
        lua_pushnumber(L, CountAsyncDraws());
        return 1;
    }
    AsyncDrawNode *n;
    int code = FindAsyncDraw(GetObjectIdArg(L, 2), &n);
    if (code) return code;
    switch (attribute) {
    case ATTR_TYPE: lua_pushnumber(L, n->kind); return 1;
    case 11: lua_pushnumber(L, n->control ? (double)Control(n, ADCTL_FRAMES, nullptr) : -1); return 1;
    case 12: lua_pushnumber(L, n->control ? (double)Control(n, ADCTL_CURRENTFRAME, nullptr) : -1); return 1;
    default: return 1080;
    }
}

static int NotifyFromLayers(int op, kvLayer *layer)
{
    NotifyAsyncDraws(op, layer);
    return 0;
}

static int UsedFromLayers(const kvLayer *layer) { return IsUsedByAsyncDraw(layer); }

void InstallAsyncDraws(void)
{
    SetAttributeProvider(OBJTYPE_ASYNCDRAW, AsyncDrawAttribute);
    // Only these two links: the others belong to other libraries.
    LayerHooks.notifyAsync = NotifyFromLayers;
    LayerHooks.usedByAsync = UsedFromLayers;
}
