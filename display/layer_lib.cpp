// The layers command library: switching layers on and off, adding, restacking, showing, hiding,
// removing, naming, restyling and batching layers, and the collision test.
#include <cstring>

#include "display/bgpic.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "display/output_select.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/display_object.h"
#include "pictures/brush.h"
#include "pictures/brush_commands.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

enum {
    ERR_NOMEM = 1000, ERR_USAGE = 1055, ERR_LIMIT = 1066, ERR_NOLAYERS = 1078, ERR_RANGE = 1081,
    ERR_SELECTBRUSH = 1082, ERR_SELECTMASK = 1147, ERR_NOTANIM = 1155, ERR_OFFSCREEN = 1163,
    ERR_SELECTALPHA = 1167, ERR_SCALING = 1313, ERR_ASYNCMODE = 1329, ERR_SELECTANIM = 1339,
    ERR_BADINSERT = 1370, ERR_ASYNC = 1372
};

int LayerGuard(void)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d) return ERR_NOLAYERS;
    switch (d->outputType) {
    case OBJTYPE_BRUSH:
        return (CurrentPicture && CurrentPicture->selectionKind == OBJTYPE_ANIM) ? ERR_SELECTANIM : ERR_SELECTBRUSH;
    case OBJTYPE_MASK: return ERR_SELECTMASK;
    case OBJTYPE_ALPHACHANNEL: return ERR_SELECTALPHA;
    default: break;
    }
    return d->layersEnabled && CurrentPicture ? 0 : ERR_NOLAYERS;
}

// The damage list of a command: the display's while the shown BGPic is the output target,
// else the emptied global one.
static DirtyRectList *DamageList(void)
{
    DisplayRecord *d = CurrentDisplay;
    if (d->outputType == OBJTYPE_BGPIC) return &d->dirty;
    LayerDamage.count = 0;
    return &LayerDamage;
}

static void FlushDamage(DirtyRectList *list)
{
    if (list == &LayerDamage) RefreshDirtyRects(list);
}

// One layer by position or name.
static int OneLayer(lua_State *L, int i, kvLayer **out)
{
    int32_t count;
    int code = SelectLayerArgs(L, i, out, &count, 1);
    if (code == ERR_LIMIT) return ERR_RANGE;
    return code;
}

// Runs the style engine on argument 1 (the layer) with a table of the given fields, each taken
// from the argument after it in `args` (0 ends).
static int StyleFromArgs(lua_State *L, const char *const *keys, const int *args)
{
    int code = LayerGuard();
    if (code) return code;
    int top = lua_gettop(L);
    lua_pushvalue(L, 1);
    lua_newtable(L);
    for (int k = 0; keys[k]; k++) {
        if (args[k] > top) continue;
        lua_pushstring(L, keys[k]);
        lua_pushvalue(L, args[k]);
        lua_settable(L, -3);
    }
    return ApplyLayerStyle(L, top + 1, 0);
}

// ---------------------------------------------------------------------------------------------

static int Undo(lua_State *L)
{
    CheckArgs(L, 1, 4);
    int code = LayerGuard();
    if (code) return code;
    int32_t type = GetIntArg(L, 1);
    ObjectId id;
    int withId = lua_gettop(L) >= 2 && !lua_isnil(L, 2);
    if (withId) id = GetObjectIdArg(L, 2);
    int32_t n = GetOptIntArg(L, 3, 1);
    int keep = GetOptIntArg(L, 4, 0);
    return UndoLayer(CurrentPicture, type, withId ? &id : nullptr, n, keep, nullptr, nullptr);
}

static int EnableLayers(lua_State *L)
{
    CheckArgs(L, 0, 0);
    DisplayRecord *d = CurrentDisplay;
    if (!d) return ERR_NOLAYERS;
    int code = CanEnableLayers(L, d);
    if (code) return code;
    if (d->layersEnabled) return 0;
    d->layersEnabled = 1;
    // With layers off drawing went into the display bitmap alone; the back buffer, which the
    // window and ReadPixel show from now on, is composed again from it (and the picture's layers).
    RefreshDisplay(d, 0);
    return 0;
}

static int DisableLayers(lua_State *L)
{
    CheckArgs(L, 0, 0);
    DisplayRecord *d = CurrentDisplay;
    if (!d) return ERR_NOLAYERS;
    if (d->asyncDraws) return ERR_ASYNCMODE;
    if (d->outputType != OBJTYPE_DISPLAY) return ERR_OFFSCREEN;
    if (d->layerScale) return ERR_SCALING;
    d->layersEnabled = 0;
    return 0;
}

static void RectOf(const kvLayer *l, DirtyRect *r)
{
    const LayerState *s = l->drawnState;
    *r = {s->drawnX, s->drawnY, s->drawnX + s->drawnWidth - 1, s->drawnY + s->drawnHeight - 1};
}

static int SwapLayers(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int code = LayerGuard();
    if (code) return code;
    kvLayer *a, *b;
    if ((code = OneLayer(L, 1, &a)) || (code = OneLayer(L, 2, &b))) return code;
    if (a == b) return ERR_USAGE;
    BGPicNode *pic = CurrentPicture;
    int32_t pa = GetLayerIndex(pic, a), pb = GetLayerIndex(pic, b);
    if (pa > pb) {
        kvLayer *t = a;
        a = b;
        b = t;
        int32_t p = pa;
        pa = pb;
        pb = p;
    }
    MoveLayerInList(pic, a, pb);
    MoveLayerInList(pic, b, pa);
    pic->layersChanged = 1;
    DirtyRect o;
    RectOf(b, &o);
    RefreshLayerRect(a, &o);
    return 0;
}

static int InsertLayer(lua_State *L)
{
    CheckArgs(L, 5, 6);
    int code = LayerGuard();
    if (code) return code;
    int32_t pos;
    if (lua_type(L, 1) == LUA_TSTRING) {
        kvLayer *l;
        if ((code = OneLayer(L, 1, &l))) return code;
        pos = GetLayerIndex(CurrentPicture, l);
    } else {
        pos = GetIntArg(L, 1);
    }
    if (pos < 0) return ERR_BADINSERT;
    int32_t type = GetIntArg(L, 2);
    if (type != OBJTYPE_BRUSH && type != OBJTYPE_ANIM && type != OBJTYPE_TEXTOBJECT) return ERR_USAGE;
    int hidden = GetOptIntArg(L, 6, 0) != 0;
    kvLayer *l;
    if (type == OBJTYPE_ANIM)
        code = AddAnimLayerAt(GetObjectIdArg(L, 3), GetIntArg(L, 4), GetIntArg(L, 5), pos, hidden, 1, &l);
    else if (type == OBJTYPE_TEXTOBJECT)
        code = AddTextObjectLayerAt(L, GetObjectIdArg(L, 3), GetIntArg(L, 4), GetIntArg(L, 5), pos == 0 ? -1 : pos,
                                    hidden, &l);
    else
        code = AddBrushLayerAt(L, GetObjectIdArg(L, 3), GetIntArg(L, 4), GetIntArg(L, 5), pos == 0 ? -1 : pos, hidden, &l);
    if (code) return code;
    if (!hidden) RefreshLayerRect(l, nullptr);
    return 0;
}

// The members' bounding box over their anchored positions and content sizes.
static void GroupBox(kvLayer **list, int32_t count, DirtyRect *box)
{
    for (int32_t k = 0; k < count; k++) {
        const LayerState *s = list[k]->sourceState;
        DirtyRect r = {s->anchoredX, s->anchoredY, s->anchoredX + s->width - 1, s->anchoredY + s->height - 1};
        if (k == 0) *box = r;
        if (r.x1 < box->x1) box->x1 = r.x1;
        if (r.y1 < box->y1) box->y1 = r.y1;
        if (r.x2 > box->x2) box->x2 = r.x2;
        if (r.y2 > box->y2) box->y2 = r.y2;
    }
}

static kvLayer *Selected[256];

static int ShowOrHide(lua_State *L, int hide)
{
    CheckArgs(L, 1, hide ? 2 : 3);
    int code = LayerGuard();
    if (code) return code;
    int32_t count;
    if ((code = SelectLayerArgs(L, 1, Selected, &count, 256))) return code;
    DirtyRectList *list = DamageList();
    int move = !hide && lua_gettop(L) >= 2;
    int32_t x = move ? GetOptIntArg(L, 2, KEEPPOSITION) : KEEPPOSITION;
    int32_t y = move ? GetOptIntArg(L, 3, KEEPPOSITION) : KEEPPOSITION;
    if (move && count > 1) {
        // A group moves as a whole: its bounding box lands on the position.
        DirtyRect box;
        GroupBox(Selected, count, &box);
        int32_t bw = box.x2 - box.x1 + 1, bh = box.y2 - box.y1 + 1;
        int32_t dx = x == KEEPPOSITION ? 0 : ResolveXPos(x, bw, 0, 0.0) - box.x1;
        int32_t dy = y == KEEPPOSITION ? 0 : ResolveYPos(y, bh, 0, 0.0) - box.y1;
        for (int32_t k = 0; k < count; k++) {
            Selected[k]->hidden = 0;
            SetLayerPosition(Selected[k], nullptr, dx, dy, 0, 3, list);
        }
    } else {
        for (int32_t k = 0; k < count; k++) {
            kvLayer *l = Selected[k];
            l->hidden = hide;
            if (move) {
                const LayerState *s = l->sourceState;
                int32_t lx = x == KEEPPOSITION ? x : ResolveXPos(x, s->width, 0, l->anchorX);
                int32_t ly = y == KEEPPOSITION ? y : ResolveYPos(y, s->height, 0, l->anchorY);
                SetLayerPosition(l, nullptr, lx, ly, 0, 0, list);
            } else {
                AddDirtyRect(list, l->drawnState);
            }
        }
    }
    CurrentPicture->layersChanged = 1;
    FlushDamage(list);
    return 0;
}

static int ShowLayer(lua_State *L) { return ShowOrHide(L, 0); }
static int HideLayer(lua_State *L) { return ShowOrHide(L, 1); }

static int RemoveLayer(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int code = LayerGuard();
    if (code) return code;
    int32_t count;
    if ((code = SelectLayerArgs(L, 1, Selected, &count, 256))) return code;
    for (int32_t k = 0; k < count; k++)
        if (LayerHooks.usedByAsync && LayerHooks.usedByAsync(Selected[k])) return ERR_ASYNC;
    DirtyRectList *list = DamageList();
    for (int32_t k = 0; k < count; k++) RemoveLayerRec(Selected[k], 0, nullptr, list);
    CurrentPicture->layersChanged = 1;
    FlushDamage(list);
    return 0;
}

static int SetLayerTransparency(lua_State *L)
{
    CheckArgs(L, 2, 2);
    static const char *const keys[] = {"transparency", nullptr};
    static const int args[] = {2};
    return StyleFromArgs(L, keys, args);
}

static int SetLayerTint(lua_State *L)
{
    CheckArgs(L, 3, 3);
    static const char *const keys[] = {"tintcolor", "tint", nullptr};
    static const int args[] = {2, 3};
    return StyleFromArgs(L, keys, args);
}

static int AddMove(lua_State *L)
{
    CheckArgs(L, 3, 6);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int32_t type = GetIntArg(L, 2);
    ObjectId object = {0, nullptr};
    int32_t x = 0, y = 0, extra = 0;
    switch (type) {
    case MOVE_UNDO:
        x = GetIntArg(L, 3);
        if (lua_gettop(L) >= 4 && !lua_isnil(L, 4)) object = GetObjectIdArg(L, 4);
        y = GetOptIntArg(L, 5, 0);
        break;
    case OBJTYPE_LAYER:
    case MOVE_HIDELAYER:
    case MOVE_REMOVELAYER:
    case MOVE_NEXTFRAME2:
        if (lua_type(L, 3) == LUA_TSTRING) {
            object.number = (uint32_t)FindLayerByName(lua_tostring(L, 3));
            if (!object.number) {
                SetErrorString(lua_tostring(L, 3));
                return 1369;
            }
        } else {
            object.number = (uint32_t)GetIntArg(L, 3);
        }
        x = GetOptIntArg(L, 4, 0);
        y = GetOptIntArg(L, 5, 0);
        extra = GetOptIntArg(L, 6, 0);
        break;
    default:
        object = GetObjectIdArg(L, 3);
        x = GetOptIntArg(L, 4, 0);
        y = GetOptIntArg(L, 5, 0);
        extra = GetOptIntArg(L, 6, 0);
        break;
    }
    MoveQueue *q;
    int code = AddMoveEntry(L, &q, isNil, number, type, object, x, y, extra);
    if (code) return code;
    if (!isNil) return 0;
    lua_pushlightuserdata(L, q);
    return 1;
}

static int ClearMove(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return ClearMoveQueue(GetObjectIdArg(L, 1));
}

static int DoMove(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return ApplyMoveQueue(L, GetObjectIdArg(L, 1));
}

static int FreeLayers(lua_State *L)
{
    CheckArgs(L, 0, 1);
    int code = LayerGuard();
    if (code) return code;
    int redraw = GetOptIntArg(L, 1, 1) != 0;
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *pic = CurrentPicture;
    if (LayerHooks.usedByAsync && pic->layers.first)
        for (ListNode *n = pic->layers.first; n->succ; n = n->succ)
            if (LayerHooks.usedByAsync((kvLayer *)n)) return ERR_ASYNC;
    int toBGPic = d->outputType == OBJTYPE_BGPIC;
    if (toBGPic && redraw && pic != d->bgpic) return ERR_USAGE;
    BitMap *bb = d->backBuffer, *keep = d->displayBitMap;
    int32_t w = pic->shownWidth, h = pic->shownHeight;
    if (redraw && bb && keep && pic == d->bgpic) {
        // The display goes on showing what the layers showed.
        Redraw(d, pic, bb, 0, 0, w, h, 0, REDRAW_NOSPRITES);
        BltBitMap(bb, 0, 0, keep, 0, 0, w, h);
    }
    FreeLayer(pic, 1);
    if (redraw || pic != d->bgpic) return 0;
    if (toBGPic) {
        AppendDirtyRect(&d->dirty, 0, 0, w - 1, h - 1);
    } else if (bb && keep && pic->shownBitMap) {
        // The bare background is shown again.
        Redraw(d, pic, bb, 0, 0, w, h, 0, REDRAW_NOSPRITES | REDRAW_SHOWNBG);
        BltBitMap(bb, 0, 0, keep, 0, 0, w, h);
        RefreshDisplayRect(0, 0, w, h);
    }
    return 0;
}

static int NextFrame(lua_State *L)
{
    CheckArgs(L, 1, 4);
    int code = LayerGuard();
    if (code) return code;
    kvLayer *l;
    if ((code = OneLayer(L, 1, &l))) return code;
    if (l->type != OBJTYPE_ANIM) return ERR_NOTANIM;
    // The style engine moves the layer and shows the frame (0: the next one).
    int top = lua_gettop(L);
    int32_t x = GetOptIntArg(L, 2, KEEPPOSITION), y = GetOptIntArg(L, 3, KEEPPOSITION);
    int32_t frame = GetOptIntArg(L, 4, 0);
    lua_pushvalue(L, 1);
    lua_newtable(L);
    if (x != KEEPPOSITION) SetFieldInt(L, "x", x);
    if (y != KEEPPOSITION) SetFieldInt(L, "y", y);
    SetFieldInt(L, "frame", frame);
    return ApplyLayerStyle(L, top + 1, 0);
}

static int SetLayerName(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int code = LayerGuard();
    if (code) return code;
    BGPicNode *pic = CurrentPicture;
    int32_t pos = GetIntArg(L, 1);
    if (pos <= 0) pos = CountLayers(pic);
    kvLayer *l = GetLayerByIndex(pic, pos);
    if (!l) return ERR_RANGE;
    const char *name = luaL_checklstring(L, 2, nullptr);
    MemFree(l->name);
    l->name = nullptr;
    if (!name[0]) return 0;
    return SetLayerNameRec(pic, l, name);
}

static int Collision(lua_State *L)
{
    CheckArgs(L, 3, 0);
    int result = 0;
    int code = CollisionCommand(L, &result);
    if (code) return code;
    lua_pushboolean(L, result);
    return 1;
}

static const char *TypeName(int32_t type)
{
    switch (type) {
    case OBJTYPE_BRUSH: return "BRUSH";
    case OBJTYPE_ANIM: return "ANIM";
    case LAYERTYPE_NOOBJECT: return "NOOBJECT";
    case LAYERTYPE_TEXTOBJECT: return "TEXTOBJECT";
    case LAYERTYPE_TEXTOUT: return "TEXTOUT";
    case LAYERTYPE_PRINT: return "PRINT";
    case LAYERTYPE_BRUSHPART: return "BRUSHPART";
    case LAYERTYPE_BGPICPART: return "BGPICPART";
    case LAYERTYPE_BOX: return "BOX";
    case LAYERTYPE_CIRCLE: return "CIRCLE";
    case LAYERTYPE_ELLIPSE: return "ELLIPSE";
    case LAYERTYPE_LINE: return "LINE";
    case LAYERTYPE_POLYGON: return "POLYGON";
    case LAYERTYPE_ARC: return "ARC";
    default: return "UNKNOWN";
    }
}

static int DumpLayers(lua_State *L)
{
    CheckArgs(L, 0, 1);
    int code = LayerGuard();
    if (code) return code;
    int which = GetOptIntArg(L, 1, 0);
    BGPicNode *pic = CurrentPicture;
    OsPrintF("LAYER SYSTEM INFO - BGPIC: %d (%p)\nsizeof(kvLayer): %d\nLayers: %d\n", (int)pic->id.number,
             pic->id.handle, (int)sizeof(kvLayer), (int)CountLayers(pic));
    int32_t n = 0;
    for (ListNode *node = pic->layers.first; node && node->succ; node = node->succ) {
        const kvLayer *l = (const kvLayer *)node;
        const LayerState *s = which == 1 ? l->transformedState : which == 2 ? l->drawnState : l->sourceState;
        OsPrintF("(%d) %s #%d (%p / \"%s\") - X: %d (%d) - Y: %d (%d) - Width: %d (%d) - Height: %d (%d) - "
                 "Visible: %d\n",
                 (int)++n, TypeName(l->type), (int)l->source.number, l->source.handle, l->name ? l->name : "", s->x,
                 s->drawnX, s->y, s->drawnY, s->width, s->drawnWidth, s->height, s->drawnHeight, l->hidden ? 0 : 1);
    }
    return 0;
}

static int ScaleLayer(lua_State *L)
{
    CheckArgs(L, 3, 4);
    static const char *const keys[] = {"width", "height", "smoothscale", nullptr};
    static const int args[] = {2, 3, 4};
    return StyleFromArgs(L, keys, args);
}

static int RotateLayer(lua_State *L)
{
    CheckArgs(L, 2, 3);
    static const char *const keys[] = {"rotate", "smoothscale", nullptr};
    static const int args[] = {2, 3};
    return StyleFromArgs(L, keys, args);
}

static int SetLayerStyle(lua_State *L)
{
    CheckArgs(L, 2, 0);
    int code = LayerGuard();
    if (code) return code;
    return ApplyLayerStyle(L, 1, 0);
}

static int GetLayerStyle(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int code = LayerGuard();
    if (code) return code;
    kvLayer *l;
    if ((code = OneLayer(L, 1, &l))) return code;
    PushLayerStyle(L, l);
    return 1;
}

static int TransformLayer(lua_State *L)
{
    CheckArgs(L, 5, 6);
    int code = LayerGuard();
    if (code) return code;
    int top = lua_gettop(L);
    lua_pushvalue(L, 1);
    lua_newtable(L);
    lua_pushstring(L, "transform");
    lua_newtable(L);
    for (int i = 0; i < 4; i++) {
        lua_pushvalue(L, 2 + i);
        lua_rawseti(L, -2, i);
    }
    lua_settable(L, -3);
    if (top >= 6) {
        lua_pushstring(L, "smoothscale");
        lua_pushvalue(L, 6);
        lua_settable(L, -3);
    }
    return ApplyLayerStyle(L, top + 1, 0);
}

static int SetLayerAnchor(lua_State *L)
{
    CheckArgs(L, 3, 3);
    static const char *const keys[] = {"anchorx", "anchory", nullptr};
    static const int args[] = {2, 3};
    return StyleFromArgs(L, keys, args);
}

static int LayerExists(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int code = LayerGuard();
    if (code) return code;
    lua_pushboolean(L, FindLayerByName(luaL_checklstring(L, 1, nullptr)) != 0);
    return 1;
}

static int SetLayerZPos(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int code = LayerGuard();
    if (code) return code;
    kvLayer *l;
    if ((code = OneLayer(L, 1, &l))) return code;
    BGPicNode *pic = CurrentPicture;
    int32_t z = GetIntArg(L, 2), now = GetLayerIndex(pic, l);
    if (z < 0 || z == now) return ERR_USAGE;
    if (MoveLayerInList(pic, l, z)) {
        pic->layersChanged = 1;
        RefreshLayerRect(l, nullptr);
    }
    return 0;
}

static int TranslateLayer(lua_State *L)
{
    CheckArgs(L, 3, 3);
    int code = LayerGuard();
    if (code) return code;
    kvLayer *l;
    if ((code = OneLayer(L, 1, &l))) return code;
    SetLayerPosition(l, nullptr, GetIntArg(L, 2), GetIntArg(L, 3), 0, 3, nullptr);
    CurrentPicture->layersChanged = 1;
    return 0;
}

static int SelectLayer(lua_State *L)
{
    CheckArgs(L, 1, 3);
    int code = LayerGuard();
    if (code) return code;
    kvLayer *l;
    if ((code = OneLayer(L, 1, &l))) return code;
    ObjectId id = {(uint32_t)GetLayerIndex(CurrentPicture, l), nullptr};
    return SelectOutput(L, OBJTYPE_LAYER, id, OBJTYPE_BRUSH, GetOptIntArg(L, 3, 0), GetOptIntArg(L, 2, 0));
}

static int CreateLayer(lua_State *L)
{
    CheckArgs(L, 4, 5);
    int code = LayerGuard();
    if (code) return code;
    int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2), w = GetIntArg(L, 3), h = GetIntArg(L, 4);
    uint32_t colour = 0;
    int mask = 0, alpha = 0, clear = 0, frames = 0;
    if (lua_gettop(L) >= 5) {
        luaL_checktable(L, 5);
        GetFieldUInt32(L, 5, "color", &colour, nullptr);
        GetFieldSwitch(L, 5, "mask", &mask);
        GetFieldSwitch(L, 5, "alphachannel", &alpha);
        GetFieldSwitch(L, 5, "clear", &clear);
        GetFieldInt(L, 5, "frames", &frames, nullptr);
    }
    if ((mask && alpha) || frames < 0) return ERR_USAGE;
    if (frames > 0) return CreateAnimLayer(x, y, w, h, colour, mask, alpha, clear, frames);
    ObjectId id = {0, (void *)1};
    if ((code = CreateBrushObject(&id, w, h, colour, mask, alpha, clear))) return code;
    kvLayer *l;
    if ((code = AddBrushLayerAt(L, id, x, y, -1, 0, &l))) {
        FreeBrushObject(L, id, 0);
        return code;
    }
    // The brush belongs to the layer and goes with it.
    BrushNode *b;
    if (!GetBrushNode(id, &b, 0)) b->freed = 1;
    RefreshLayerRect(l, nullptr);
    return 0;
}

static int ModifyLayerFrames(lua_State *L)
{
    CheckArgs(L, 2, 3);
    int code = LayerGuard();
    if (code) return code;
    kvLayer *l;
    if ((code = OneLayer(L, 1, &l))) return code;
    if (l->type != OBJTYPE_ANIM) return ERR_NOTANIM;
    return SetAnimLayerFrameCount(l, GetIntArg(L, 2), GetOptIntArg(L, 3, 0));
}

static int GetLayerAtPos(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int code = LayerGuard();
    if (code) return code;
    int32_t x = GetIntArg(L, 1), y = GetIntArg(L, 2);
    BGPicNode *pic = CurrentPicture;
    int32_t pos = CountLayers(pic);
    for (kvLayer *l = (kvLayer *)pic->layers.last; pos > 0; l = l->pred, pos--) {
        const LayerState *s = l->drawnState;
        if (x >= s->drawnX && y >= s->drawnY && x < s->drawnX + s->drawnWidth && y < s->drawnY + s->drawnHeight) {
            lua_pushnumber(L, pos);
            lua_pushstring(L, l->name ? l->name : "");
            return 2;
        }
    }
    lua_pushnumber(L, 0);
    lua_pushstring(L, "");
    return 2;
}

static const luaL_reg LayersCommands[] = {
    {"Undo", Undo},
    {"EnableLayers", EnableLayers},
    {"DisableLayers", DisableLayers},
    {"SwapLayers", SwapLayers},
    {"InsertLayer", InsertLayer},
    {"ShowLayer", ShowLayer},
    {"HideLayer", HideLayer},
    {"RemoveLayer", RemoveLayer},
    {"SetLayerTransparency", SetLayerTransparency},
    {"SetLayerLight", SetLayerTint},
    {"SetLayerTint", SetLayerTint},
    {"AddMove", AddMove},
    {"ClearMove", ClearMove},
    {"DoMove", DoMove},
    {"FreeLayers", FreeLayers},
    {"NextFrame", NextFrame},
    {"SetLayerName", SetLayerName},
    {"Collision", Collision},
    {"DumpLayers", DumpLayers},
    {"ScaleLayer", ScaleLayer},
    {"RotateLayer", RotateLayer},
    {"SetLayerStyle", SetLayerStyle},
    {"GetLayerStyle", GetLayerStyle},
    {"TransformLayer", TransformLayer},
    {"SetLayerAnchor", SetLayerAnchor},
    {"LayerExists", LayerExists},
    {"SetLayerZPos", SetLayerZPos},
    {"TranslateLayer", TranslateLayer},
    {"SelectLayer", SelectLayer},
    {"CreateLayer", CreateLayer},
    {"ModifyLayerFrames", ModifyLayerFrames},
    {"GetLayerAtPos", GetLayerAtPos},
    {nullptr, nullptr},
};

static int LookUpLayerName(lua_State *L, const char *name)
{
    return FindLayerByName(name);
}

// The clip regions ask whether a layer clips with a region.
static int RegionShown(const ClipRegionNode *region)
{
    int shown = 0;
    for (BGPicNode *b = BGPicList; b && !shown; b = b->next) {
        if (!b->layers.first) continue;
        for (ListNode *n = b->layers.first; n->succ && !shown; n = n->succ) {
            const kvLayer *l = (const kvLayer *)n;
            shown = l->sourceState->clipRegion == region || l->drawnState->clipRegion == region;
        }
    }
    return shown;
}

static void RegionForget(const ClipRegionNode *region)
{
    ForgetLayerClipRegion((ClipRegionNode *)region);
}

// The picture of a layer (ConvertToBrush and kin): copies of its drawn images.
static int LayerPicture(lua_State *L, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha,
                        int32_t *width, int32_t *height, int *owned)
{
    int code = LayerGuard();
    if (code) return code;
    kvLayer *l = GetLayerByIndex(CurrentPicture, (int32_t)id.number);
    if (!l) return ERR_RANGE;
    const LayerState *s = l->drawnState;
    const BitMap *bm;
    const Mask *m;
    const AlphaChannel *a;
    int32_t sx, sy;
    if ((code = GetLayerBitmaps(l, s, &bm, &m, &a, &sx, &sy))) return code;
    if ((code = CutBitMapRegion(bm, m, a, sx, sy, s->drawnWidth, s->drawnHeight, bitmap, mask, alpha))) return code;
    *width = s->drawnWidth;
    *height = s->drawnHeight;
    *owned = 1;
    return 0;
}

int OpenLayersLib(lua_State *L)
{
    FreeDirtyRectList(&LayerDamage);
    LayerDamage.rects = (DirtyRect *)MemAlloc(sizeof(DirtyRect) * 1024, 0);
    if (!LayerDamage.rects) return ERR_NOMEM;
    LayerDamage.capacity = 1024;
    LayerDamage.count = 0;
    ConnectBrushLayers();
    static const ClipRegionLayerLinks regionLinks = {RegionShown, RegionForget};
    SetClipRegionLayerLinks(&regionLinks);
    LayerNameLookup = LookUpLayerName;
    SetObjectPictureSource(OBJTYPE_LAYER, LayerPicture);
    luaL_openlib(L, nullptr, LayersCommands, 0);
    return RegisterCommandTable(LayersCommands, "layers");
}

void CloseLayersLib(lua_State *L)
{
    FreeAllMoveQueues();
    FreeDirtyRectList(&LayerDamage);
    LayerNameLookup = nullptr;
    SetObjectPictureSource(OBJTYPE_LAYER, nullptr);
}
