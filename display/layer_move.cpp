// Move queues (batches of layer operations applied together, their damage merged and refreshed
// once), Undo, and the collision test of objects and boxes.
#include <algorithm>
#include <cstring>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/layer.h"
#include "display/sprite.h"
#include "pictures/brush.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "text/text_objects.h"

enum {
    ERR_NOMEM = 1000, ERR_NOTFOUND = 1041, ERR_USAGE = 1055, ERR_LIMIT = 1066, ERR_RANGE = 1081,
    ERR_NOQUEUE = 1182, ERR_ASYNC = 1372
};

static MoveQueue *MoveQueues;

enum { MOVE_KEEPVISIBILITY = 2 };

void FreeAllMoveQueues(void)
{
    while (MoveQueues) {
        MoveQueue *q = MoveQueues;
        MoveQueues = q->next;
        MemFree(q);
    }
}

static int FindMoveQueue(ObjectId id, MoveQueue **out)
{
    for (MoveQueue *q = MoveQueues; q; q = q->next)
        if (ObjectIdMatches(q->id, id)) {
            *out = q;
            return 0;
        }
    *out = nullptr;
    if (id.handle) return ERR_NOTFOUND;
    SetErrorNumber((long)id.number);
    return ERR_NOQUEUE;
}

static int UsedByAsync(const kvLayer *l)
{
    return LayerHooks.usedByAsync && LayerHooks.usedByAsync(l);
}

int UndoLayer(BGPicNode *pic, int32_t type, const ObjectId *id, int32_t n, int keep, DirtyRect *area, int *removed)
{
    if (removed) *removed = 0;
    if (!pic || !pic->layers.first || n < 1) return 0;
    ObjectId none = {0, nullptr};
    for (kvLayer *l = (kvLayer *)pic->layers.last; l && l->pred; l = l->pred) {
        if (l->type != type) continue;
        ObjectId want = id ? *id : none;
        int match = id ? ObjectIdMatches(l->createdAs, want) : (!l->createdAs.number && !l->createdAs.handle);
        if (!match || --n > 0) continue;
        if (UsedByAsync(l)) return ERR_ASYNC;
        RemoveLayerRec(l, keep, area, nullptr);
        pic->layersChanged = 1;
        if (removed) *removed = 1;
        return 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// AddMove, ClearMove

int AddMoveEntry(lua_State *L, MoveQueue **queue, int isNil, uint32_t number, int32_t type, ObjectId object,
                 int32_t x, int32_t y, int32_t extra)
{
    MoveQueue *q = nullptr;
    ObjectId id = {number, nullptr};
    if (!isNil) FindMoveQueue(id, &q);
    if (!q) {
        q = (MoveQueue *)MemAlloc(sizeof(MoveQueue), 1);
        if (!q) return ERR_NOMEM;
        q->id = isNil ? ObjectId{0, q} : id;
        MoveQueue **tail = &MoveQueues;
        while (*tail) tail = &(*tail)->next;
        *tail = q;
    }
    *queue = q;
    if (q->count >= MOVEQUEUE_ENTRIES) return ERR_LIMIT;
    int32_t i = q->count++;
    q->type[i] = type;
    q->object[i] = object;
    q->x[i] = x;
    q->y[i] = y;
    q->extra[i] = extra;
    q->state[i] = 0;
    return 0;
}

int ClearMoveQueue(ObjectId id)
{
    MoveQueue *q;
    int code = FindMoveQueue(id, &q);
    if (code) return code;
    for (MoveQueue **p = &MoveQueues; *p; p = &(*p)->next)
        if (*p == q) {
            *p = q->next;
            break;
        }
    MemFree(q);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// DoMove

static void SetDamage(MoveQueue *q, int32_t i, const DirtyRect *r)
{
    q->damage[i] = *r;
    q->state[i] |= MOVE_DAMAGE;
}

static void LayerRect(const kvLayer *l, DirtyRect *r)
{
    const LayerState *s = l->drawnState;
    *r = {s->drawnX, s->drawnY, s->drawnX + s->drawnWidth - 1, s->drawnY + s->drawnHeight - 1};
}

// Moves a layer for an entry (extra 0 shows it, 1 hides it, MOVE_KEEPVISIBILITY keeps it) and
// records the damage.
static void MoveEntryLayer(MoveQueue *q, int32_t i, kvLayer *l, int32_t extra)
{
    const LayerState *s = l->sourceState;
    int32_t x = q->x[i], y = q->y[i];
    if (x != KEEPPOSITION) x = ResolveXPos(x, s->width, 0, l->anchorX);
    if (y != KEEPPOSITION) y = ResolveYPos(y, s->height, 0, l->anchorY);
    DirtyRect r;
    LayerRect(l, &r);
    int wasHidden = l->hidden;
    SetLayerPosition(l, &r, x, y, 1, 0, nullptr);
    if (extra == 0) l->hidden = 0;
    else if (extra == 1) l->hidden = 1;
    if (!wasHidden || !l->hidden) SetDamage(q, i, &r);
}

// A brush as a new layer at the position (insertPos -1: on top); its rectangle is the damage.
int AddBrushLayerAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t insertPos, int hidden, kvLayer **out)
{
    BrushNode *b;
    int code = GetBrushNode(id, &b, 0);
    if (code) return code;
    x = ResolveXPos(x, b->width, 0, 0.0);
    y = ResolveYPos(y, b->height, 0, 0.0);
    LayerOptions o;
    memset(&o, 0, sizeof o);
    o.hidden = hidden;
    code = AddObjectLayerOptions(L, OBJTYPE_BRUSH, b->id, 0, 0, x, y, b->width, b->height, nullptr, &o, nullptr,
                                 nullptr, nullptr, insertPos, 0);
    if (code) return code;
    // The new layer is the one now at the insert position.
    BGPicNode *pic = CurrentPicture;
    int32_t n = CountLayers(pic);
    *out = GetLayerByIndex(pic, insertPos < 1 || insertPos > n ? n : insertPos);
    return 0;
}

int AddTextObjectLayerAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t insertPos, int hidden,
                         kvLayer **out)
{
    TextObjectNode *n;
    int code = FindTextObject(id, 0, &n);
    if (code) return code;
    return AddTextLayer(L, n, x, y, insertPos, ADDLAYER_SCALE | (hidden ? ADDLAYER_HIDDEN : 0), out);
}

static int FirstPass(lua_State *L, BGPicNode *pic, MoveQueue *q, int32_t i)
{
    DirtyRect r;
    kvLayer *l = nullptr;
    int32_t type = q->type[i];
    if (type == OBJTYPE_LAYER || type == MOVE_HIDELAYER || type == MOVE_REMOVELAYER || type == MOVE_NEXTFRAME2) {
        l = GetLayerByIndex(pic, (int32_t)q->object[i].number);
        if (!l) return ERR_RANGE;
    }
    switch (type) {
    case MOVE_UNDO: {
        int removed, n = q->y[i] ? q->y[i] : 1;
        int code = UndoLayer(pic, q->x[i], &q->object[i], n, 1, &r, &removed);
        if (code) return code;
        if (removed) SetDamage(q, i, &r);
        break;
    }
    case MOVE_REMOVELAYER:
        if (UsedByAsync(l)) return ERR_ASYNC;
        RemoveLayerRec(l, 1, &r, nullptr);
        SetDamage(q, i, &r);
        break;
    case OBJTYPE_LAYER: MoveEntryLayer(q, i, l, q->extra[i]); break;
    case MOVE_INSERTBRUSH: {
        kvLayer *added;
        int code = AddBrushLayerAt(L, q->object[i], q->x[i], q->y[i], q->extra[i], 0, &added);
        if (code) return code;
        LayerRect(added, &r);
        SetDamage(q, i, &r);
        break;
    }
    case MOVE_HIDELAYER:
        LayerRect(l, &r);
        if (!l->hidden) SetDamage(q, i, &r);
        l->hidden = 1;
        break;
    case MOVE_NEXTFRAME2: {
        if (l->type != OBJTYPE_ANIM) return ERR_USAGE;
        int code = SetLayerFrameValue(l, q->extra[i]);
        if (code) return code;
        MoveEntryLayer(q, i, l, MOVE_KEEPVISIBILITY);
        break;
    }
    default: return 0;
    }
    q->state[i] |= MOVE_DONE;
    return 0;
}

static int SecondPass(BGPicNode *pic, MoveQueue *q)
{
    if (!pic->layers.first) return 0;
    for (ListNode *n = pic->layers.first; n->succ; n = n->succ) {
        kvLayer *l = (kvLayer *)n;
        if (l->type != OBJTYPE_BRUSH && l->type != OBJTYPE_ANIM && l->type != LAYERTYPE_TEXTOBJECT) continue;
        for (int32_t i = 0; i < q->count; i++) {
            if ((q->state[i] & MOVE_DONE) || !ObjectIdMatches(l->createdAs, q->object[i])) continue;
            if (l->type == OBJTYPE_ANIM) {
                if (q->type[i] != MOVE_NEXTFRAME) continue;
                int code = SetLayerFrameValue(l, q->extra[i]);
                if (code) return code;
                MoveEntryLayer(q, i, l, MOVE_KEEPVISIBILITY);
            } else if (l->type == LAYERTYPE_TEXTOBJECT) {
                if (q->type[i] != LAYERTYPE_TEXTOBJECT) continue;
                MoveEntryLayer(q, i, l, 0);
            } else if (q->type[i] == OBJTYPE_BRUSH) {
                MoveEntryLayer(q, i, l, 0);
            } else if (q->type[i] == MOVE_HIDEBRUSH) {
                DirtyRect r;
                LayerRect(l, &r);
                if (!l->hidden) SetDamage(q, i, &r);
                l->hidden = 1;
            } else {
                continue;
            }
            q->state[i] |= MOVE_DONE;
        }
    }
    return 0;
}

static int ThirdPass(lua_State *L, MoveQueue *q)
{
    for (int32_t i = 0; i < q->count; i++) {
        if (q->state[i] & MOVE_DONE) continue;
        kvLayer *added;
        int code;
        if (q->type[i] == MOVE_NEXTFRAME)
            code = AddAnimLayerAt(q->object[i], q->x[i], q->y[i], 0, 0, q->extra[i], &added);
        else if (q->type[i] == OBJTYPE_BRUSH)
            code = AddBrushLayerAt(L, q->object[i], q->x[i], q->y[i], -1, 0, &added);
        else if (q->type[i] == LAYERTYPE_TEXTOBJECT)
            code = AddTextObjectLayerAt(L, q->object[i], q->x[i], q->y[i], -1, 0, &added);
        else
            return ERR_USAGE;
        if (code) return code;
        DirtyRect r;
        LayerRect(added, &r);
        SetDamage(q, i, &r);
        q->state[i] |= MOVE_DONE;
    }
    return 0;
}

void MergeMoveDamage(MoveQueue *q)
{
    for (int32_t i = 0; i < q->count; i++) {
        if ((q->state[i] & (MOVE_DAMAGE | MOVE_MERGED)) != MOVE_DAMAGE) continue;
        DirtyRect *a = &q->damage[i];
        for (int32_t j = 0; j < q->count; j++) {
            if (j == i || (q->state[j] & (MOVE_DAMAGE | MOVE_MERGED)) != MOVE_DAMAGE) continue;
            const DirtyRect *b = &q->damage[j];
            if (!RectsOverlap(a->x1, a->y1, a->x2, a->y2, b->x1, b->y1, b->x2, b->y2)) continue;
            if (b->x1 < a->x1) a->x1 = b->x1;
            if (b->y1 < a->y1) a->y1 = b->y1;
            if (b->x2 > a->x2) a->x2 = b->x2;
            if (b->y2 > a->y2) a->y2 = b->y2;
            q->state[j] |= MOVE_MERGED;
        }
    }
}

int ApplyMoveQueue(lua_State *L, ObjectId id)
{
    MoveQueue *q;
    int code = FindMoveQueue(id, &q);
    if (code) return code;
    if ((code = LayerGuard())) return code;
    BGPicNode *pic = CurrentPicture;
    pic->layersChanged = 1;
    for (int32_t i = 0; i < q->count; i++) q->state[i] = 0;
    for (int32_t i = 0; i < q->count && !code; i++) code = FirstPass(L, pic, q, i);
    if (!code) code = SecondPass(pic, q);
    if (!code) code = ThirdPass(L, q);
    MergeMoveDamage(q);
    for (int32_t i = 0; i < q->count; i++)
        if ((q->state[i] & (MOVE_DAMAGE | MOVE_MERGED)) == MOVE_DAMAGE) {
            const DirtyRect *r = &q->damage[i];
            RefreshArea(r->x1, r->y1, r->x2 - r->x1 + 1, r->y2 - r->y1 + 1);
        }
    return code;
}

// ---------------------------------------------------------------------------------------------
// Collisions

// (x, y) lies in the box, so the offsets into its planes are small whatever the box's place.
static int PixelShows(const CollisionBox *b, int64_t x, int64_t y)
{
    int32_t px = (int32_t)(b->planeX + x - b->x), py = (int32_t)(b->planeY + y - b->y);
    if (b->mask && !MaskRowBit(b->mask->pixels + (ptrdiff_t)py * b->mask->bytesPerRow, px)) return 0;
    if (b->alpha && !b->alpha->pixels[(ptrdiff_t)py * b->alpha->bytesPerRow + px]) return 0;
    const ClipRegionNode *r = b->region;
    if (r && r->mask &&
        !MaskRowBit(r->mask->pixels + (ptrdiff_t)(y - r->y) * r->mask->bytesPerRow, (int32_t)(x - r->x)))
        return 0;
    return 1;
}

// The edges in 64 bits: a box given far out, or reaching beyond 2^31, is compared as it is.
int BoxesCollide(const CollisionBox *a, const CollisionBox *b)
{
    if (a->width < 1 || a->height < 1 || b->width < 1 || b->height < 1) return 0;
    int64_t ax2 = (int64_t)a->x + a->width - 1, ay2 = (int64_t)a->y + a->height - 1;
    int64_t bx2 = (int64_t)b->x + b->width - 1, by2 = (int64_t)b->y + b->height - 1;
    int64_t x1 = std::max<int64_t>(a->x, b->x), y1 = std::max<int64_t>(a->y, b->y);
    int64_t x2 = std::min(ax2, bx2), y2 = std::min(ay2, by2);
    if (x1 > x2 || y1 > y2) return 0;
    int planes = a->mask || a->alpha || (a->region && a->region->mask) || b->mask || b->alpha ||
                 (b->region && b->region->mask);
    if (!planes) return 1;
    for (int64_t y = y1; y <= y2; y++)
        for (int64_t x = x1; x <= x2; x++)
            if (PixelShows(a, x, y) && PixelShows(b, x, y)) return 1;
    return 0;
}

static int BrushBox(lua_State *L, int i, CollisionBox *c)
{
    BrushNode *b;
    int code = GetBrushNode(GetObjectIdArg(L, i), &b, 0);
    if (code) return code;
    *c = {GetIntArg(L, i + 1), GetIntArg(L, i + 2), b->width, b->height, b->mask, b->alpha, 0, 0, nullptr};
    return 0;
}

// A layer's drawn rectangle cut by its clip region, with the offsets into its images.
static int LayerBox(lua_State *L, int i, CollisionBox *c)
{
    kvLayer *list[1];
    int32_t count;
    int code = SelectLayerArgs(L, i, list, &count, 1);
    if (code) return code == ERR_LIMIT ? ERR_RANGE : code;
    const kvLayer *l = list[0];
    const LayerState *s = l->drawnState;
    const BitMap *bm;
    int32_t sx, sy;
    *c = {s->drawnX, s->drawnY, s->drawnWidth, s->drawnHeight, nullptr, nullptr, 0, 0, s->clipRegion};
    if (s->fxBitMap || s->fxMask || s->fxAlpha) {
        c->mask = s->fxMask;
        c->alpha = s->fxAlpha;
    } else if (GetLayerBitmaps(l, s, &bm, &c->mask, &c->alpha, &sx, &sy) == 0) {
        c->planeX = sx;
        c->planeY = sy;
    }
    const ClipRegionNode *r = s->clipRegion;
    if (r) {
        int32_t x1 = c->x > r->x ? c->x : r->x, y1 = c->y > r->y ? c->y : r->y;
        int32_t x2 = c->x + c->width < r->x + r->width ? c->x + c->width : r->x + r->width;
        int32_t y2 = c->y + c->height < r->y + r->height ? c->y + c->height : r->y + r->height;
        c->planeX += x1 - c->x;
        c->planeY += y1 - c->y;
        c->x = x1;
        c->y = y1;
        c->width = x2 - x1;
        c->height = y2 - y1;
    }
    return 0;
}

// A sprite where it is shown on the current picture: a missing sprite gives its not-found error,
// one that is not shown 1220 (1325 for a handle).
static int SpriteBox(lua_State *L, int i, CollisionBox *c)
{
    ObjectId id = GetObjectIdArg(L, i);
    SpriteNode *sprite;
    SpriteInstance *inst;
    int code = GetSprite(id, &sprite, 0);
    if (!code) code = GetOnScreenSprite(id, &inst);
    if (code) return code;
    BitMap *bm;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    GetSpriteFrame(inst->sprite, inst->frame - 1, &bm, &mask, &alpha);
    *c = {inst->x, inst->y, inst->width, inst->height, mask, alpha, 0, 0, inst->clipRegion};
    return 0;
}

static void ArgBox(lua_State *L, int i, CollisionBox *c)
{
    *c = {GetIntArg(L, i), GetIntArg(L, i + 1), GetIntArg(L, i + 2), GetIntArg(L, i + 3), nullptr, nullptr, 0, 0,
          nullptr};
}

enum { KIND_BOX = 14, KIND_SPRITE = 32, KIND_BRUSH_VS_BOX = 46, KIND_LAYER_VS_BOX = 47, KIND_SPRITE_VS_BOX = 48 };

int CollisionCommand(lua_State *L, int *result)
{
    CollisionBox a, b;
    int code = 0;
    switch (GetIntArg(L, 1)) {
    case OBJTYPE_BRUSH:
        if (!(code = BrushBox(L, 2, &a))) code = BrushBox(L, 5, &b);
        break;
    case KIND_BRUSH_VS_BOX:
        if (!(code = BrushBox(L, 2, &a))) ArgBox(L, 5, &b);
        break;
    case KIND_BOX:
        ArgBox(L, 2, &a);
        ArgBox(L, 6, &b);
        break;
    case OBJTYPE_LAYER:
        if (!(code = LayerGuard()) && !(code = LayerBox(L, 2, &a))) code = LayerBox(L, 3, &b);
        break;
    case KIND_LAYER_VS_BOX:
        if (!(code = LayerGuard()) && !(code = LayerBox(L, 2, &a))) ArgBox(L, 3, &b);
        break;
    case KIND_SPRITE:
        if (!(code = SpriteBox(L, 2, &a))) code = SpriteBox(L, 3, &b);
        break;
    case KIND_SPRITE_VS_BOX:
        if (!(code = SpriteBox(L, 2, &a))) ArgBox(L, 3, &b);
        break;
    default: return ERR_USAGE;
    }
    if (code) return code;
    *result = BoxesCollide(&a, &b);
    return 0;
}
