// The style engine: changing existing layers from a style table (position, transform,
// transparency, tint, visibility, clip region, stacking, the source object and, through
// layer_shapes.cpp and layer_text.cpp, the shape or text shown), reading the style back, moving
// layers, and telling a rotation from a general matrix.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/draw_targets.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "display/layer_shapes.h"
#include "display/layer_text.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/brush.h"
#include "pictures/draw_style.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/vm/values.h"
#include "text/text_layout.h"
#include "text/text_objects.h"

enum {
    ERR_NOTENOUGH = 1014, ERR_USAGE = 1055, ERR_RANGE = 1081, ERR_STRORNUM = 1183, ERR_BADSIZE = 1218,
    ERR_NOLAYER = 1369
};

int MatrixToRotation(const double m[4], double *scaleX, double *scaleY)
{
    if (OpenDrawTables()) return 0;
    const double *cosT = DrawCosTable(), *sinT = DrawSinTable();
    // Entry k holds the angle 360 - k: cos(360 - k) = cos k, sin(360 - k) = -sin k.
    // A cosine that is zero but for rounding counts for either sign.
    auto column = [&](double p, double q, double qSign, double *scale) {
        for (int k = 0; k <= 360; k++) {
            double c = cosT[k], s = sinT[k] * qSign;
            if (fabs(c) >= 1e-9 && (p >= 0.0 ? c < 0.0 : c >= 0.0)) continue;
            double byCos = fabs(c) < 1e-9 ? NAN : p / c, bySin = fabs(s) < 1e-9 ? NAN : q / s;
            double v;
            if (std::isnan(byCos)) {
                if (fabs(p) > 1e-9) continue;
                v = bySin;
            } else if (std::isnan(bySin)) {
                if (fabs(q) > 1e-9) continue;
                v = byCos;
            } else {
                if (fabs(byCos - bySin) > 0.0001) continue;
                v = byCos;
            }
            if (std::isnan(v)) continue;
            *scale = v;
            return k;
        }
        return -1;
    };
    // Both columns must turn by the same angle: a matrix whose columns turn by different angles
    // is a shear.
    double sx = 0.0, sy = 0.0;
    int k1 = column(m[0], m[1], 1.0, &sx), k2 = column(m[3], m[2], -1.0, &sy);
    if (k1 < 0 || k2 < 0 || (k1 % 360) != (k2 % 360)) return 0;
    if (scaleX) *scaleX = sx;
    if (scaleY) *scaleY = sy;
    return 1;
}

// A layer coordinate after a move: kept (KEEPPOSITION), moved by v (relative) or v itself,
// within kCoordLimit.
static int32_t MovedCoord(int32_t now, int32_t v, int relative)
{
    if (v == KEEPPOSITION) return now;
    return ClampCoord(relative ? (int64_t)now + v : v);
}

static void DrawnRect(const LayerState *s, DirtyRect *r)
{
    *r = {s->drawnX, s->drawnY, s->drawnX + s->drawnWidth - 1, s->drawnY + s->drawnHeight - 1};
}

static void Widen(DirtyRect *r, const DirtyRect *o)
{
    if (o->x1 < r->x1) r->x1 = o->x1;
    if (o->y1 < r->y1) r->y1 = o->y1;
    if (o->x2 > r->x2) r->x2 = o->x2;
    if (o->y2 > r->y2) r->y2 = o->y2;
}

void SetLayerPosition(kvLayer *l, DirtyRect *damage, int32_t x, int32_t y, int flags, int relative,
                      DirtyRectList *list)
{
    DirtyRect old, now;
    DrawnRect(l->drawnState, &old);
    LayerState *src = l->sourceState;
    int32_t nx = MovedCoord(src->x, x, relative & 1), ny = MovedCoord(src->y, y, relative & 2);
    double fx, fy;
    DisplayScalesLayers(CurrentDisplay, &fx, &fy);
    PlaceLayerState(l, src, nx, ny, 1.0, 1.0);
    if (l->transformedState != src) PlaceLayerState(l, l->transformedState, nx, ny, 1.0, 1.0);
    if (l->drawnState != l->transformedState) PlaceLayerState(l, l->drawnState, nx, ny, fx, fy);
    DrawnRect(l->drawnState, &now);
    Widen(&now, &old);
    if (damage) {
        Widen(damage, &now);
        now = *damage;
    }
    if (flags & 1) return;
    if (list) AppendDirtyRect(list, now.x1, now.y1, now.x2, now.y2);
    else RefreshArea(now.x1, now.y1, now.x2 - now.x1 + 1, now.y2 - now.y1 + 1);
}

// ---------------------------------------------------------------------------------------------
// Reading a style table

enum { CHANGE_CONTENT = 1, CHANGE_TRANSFORM = 2, CHANGE_POSITION = 4, CHANGE_LOOK = 8, CHANGE_CLIP = 16 };

struct StyleChange {
    int kinds;
    int32_t type;
    ObjectId source;
    int32_t partX, partY, partWidth, partHeight;
    int partGiven;
    int32_t frame;                  // anim layers: the 0-based frame to show
    TransformRecord transform;
    int32_t x, y, relative;
    int32_t transparency, tint, hidden;
    uint32_t tintColor;
    int clipGiven;
    ClipRegionNode *clip;
    int noClipTransform;
    int32_t z;
    int shapeGiven;                 // shape layers: the shape to draw
    ShapeContent shape;
    int textGiven;                  // text layers: the text to lay out
    TextContent text;
};

// A switch field: 1 with *out set when present, else 0.
static int FieldSwitch(lua_State *L, int t, const char *key, int *out)
{
    lua_pushstring(L, key);
    lua_gettable(L, t);
    int present = !lua_isnil(L, -1);
    lua_pop(L, 1);
    if (present) GetFieldSwitch(L, t, key, out);
    return present;
}

int ReadStyleInt(lua_State *L, int t, const char *key, int32_t *v, int *changed)
{
    int found = 0, n = *v;
    GetFieldInt(L, t, key, &n, &found);
    if (!found) return 0;
    *v = n;
    *changed = 1;
    return 1;
}

void ReadStyleColour(lua_State *L, int t, const char *key, uint32_t *v, int *changed)
{
    int found = 0;
    GetFieldUInt32(L, t, key, v, &found);
    if (found) *changed = 1;
}

static int IsObjectLayerType(int32_t type)
{
    return type == OBJTYPE_BRUSH || type == LAYERTYPE_BRUSHPART || type == LAYERTYPE_BGPICPART;
}

// Layer types whose content is a source object the "id" key names.
static int HasSourceObject(int32_t type)
{
    return IsObjectLayerType(type) || type == OBJTYPE_ANIM;
}

// The size of the new source object (0 when it can't be found: its error).
static int SourceSize(int32_t type, ObjectId id, int32_t *w, int32_t *h)
{
    if (type == OBJTYPE_ANIM) {
        AnimNode *a;
        int code = FindAnim(id, &a, 0);
        if (code) return code;
        *w = a->width;
        *h = a->height;
        return 0;
    }
    if (type == LAYERTYPE_BGPICPART) {
        BGPicNode *b;
        int code = GetBGPicNode(id, &b, 0);
        if (code) return code;
        *w = b->width;
        *h = b->height;
        return 0;
    }
    BrushNode *b;
    int code = GetBrushNode(id, &b, 0);
    if (code) return code;
    *w = b->width;
    *h = b->height;
    return 0;
}

// The "frame" of an anim layer (1-based; 0 the next, after the last the first; -1 the last),
// counted in the anim the layer will show. A new anim keeps the frame number where it can.
static int ReadFrame(lua_State *L, int t, const kvLayer *l, StyleChange *c, int newSource)
{
    AnimNode *a;
    int code = FindAnim(c->source, &a, FINDANIM_PRIVATE);
    if (code) return code;
    int32_t count = a->frameCount, now = l->type == OBJTYPE_ANIM ? l->sourceState->frame : 0;
    if (now < 0 || now >= count) now = 0;
    c->frame = now;
    int given = 0, v;
    GetFieldInt(L, t, "frame", &v, &given);
    if (given && (code = AnimFrameIndex(count, now, v, &c->frame))) return code;
    if (newSource || c->frame != l->sourceState->frame) c->kinds |= CHANGE_CONTENT;
    return 0;
}

// The content of text layers: the text keys, or a text object's "id" (needed to become one).
static int ReadTextKeys(lua_State *L, int t, const kvLayer *l, StyleChange *c)
{
    int changed = 0, code;
    if (c->type == LAYERTYPE_TEXTOBJECT) {
        TextContent *tc = &c->text;
        memset(tc, 0, sizeof *tc);
        tc->kind = LAYERTYPE_TEXTOBJECT;
        tc->source = l->source;
        GetFieldObjectId(L, t, "id", &tc->source, &changed);
        if (c->type != l->type && !changed) return ERR_NOTENOUGH;
        TextObjectNode *n;
        if (changed && (code = FindTextObject(tc->source, 0, &n))) return code;
    } else if ((code = ReadTextContent(L, t, l, c->type, &c->text, &changed))) {
        return code;
    }
    if (changed) {
        c->kinds |= CHANGE_CONTENT;
        c->textGiven = 1;
    }
    return 0;
}

static int ReadContent(lua_State *L, int t, const kvLayer *l, StyleChange *c)
{
    int given = 0, code;
    int type = l->type;
    if (GetFieldInt(L, t, "type", &type, &given) && type != l->type) {
        if (!HasSourceObject(type) && !IsShapeLayerKind(type) && !IsTextLayerKind(type) &&
            type != LAYERTYPE_TEXTOBJECT)
            return ERR_USAGE;
        c->kinds |= CHANGE_CONTENT;
    }
    c->type = type;
    if (IsTextLayerKind(type) || type == LAYERTYPE_TEXTOBJECT) return ReadTextKeys(L, t, l, c);
    // A shape layer made without its shape's record keeps its picture.
    if (IsShapeLayerKind(type) && (type != l->type || ShapeLayerParams(l->type, l->sourceState))) {
        int changed = 0;
        if ((code = ReadShapeContent(L, t, l, type, &c->shape, &changed))) return code;
        c->shapeGiven = 1;
        if (changed) c->kinds |= CHANGE_CONTENT;
        return 0;
    }
    int idGiven = 0;
    GetFieldObjectId(L, t, "id", &c->source, &idGiven);
    if (type != l->type && !idGiven && !HasSourceObject(l->type)) return ERR_NOTENOUGH;
    if (idGiven) c->kinds |= CHANGE_CONTENT;
    int32_t w = l->sourceState->width, h = l->sourceState->height;
    if (idGiven || type != l->type) {
        int32_t ow, oh;
        if ((code = SourceSize(type, c->source, &ow, &oh))) return code;
        if ((idGiven || type == OBJTYPE_ANIM) && type != LAYERTYPE_BRUSHPART && type != LAYERTYPE_BGPICPART) {
            w = ow;
            h = oh;
        }
    }
    c->partWidth = w;
    c->partHeight = h;
    int pg[4] = {0, 0, 0, 0};
    GetFieldInt(L, t, "partx", &c->partX, &pg[0]);
    GetFieldInt(L, t, "party", &c->partY, &pg[1]);
    GetFieldInt(L, t, "partwidth", &c->partWidth, &pg[2]);
    GetFieldInt(L, t, "partheight", &c->partHeight, &pg[3]);
    if (pg[0] || pg[1] || pg[2] || pg[3]) {
        c->kinds |= CHANGE_CONTENT;
        if (c->type == OBJTYPE_BRUSH) c->type = LAYERTYPE_BRUSHPART;
    }
    if (c->partX < 0 || c->partY < 0) return 1154;
    if (c->partWidth < 1 || c->partHeight < 1) return ERR_BADSIZE;
    if (c->type == LAYERTYPE_BRUSHPART || c->type == LAYERTYPE_BGPICPART) {
        // The part is cut to its source, as DisplayBrushPart cuts it: a part origin outside the
        // source is out of range.
        int32_t sw, sh;
        if ((code = SourceSize(c->type, c->source, &sw, &sh))) return code;
        if (c->partX >= sw || c->partY >= sh) return 1217;
        if (c->partWidth > sw - c->partX) c->partWidth = sw - c->partX;
        if (c->partHeight > sh - c->partY) c->partHeight = sh - c->partY;
    }
    if (c->type == OBJTYPE_ANIM) return ReadFrame(L, t, l, c, idGiven || type != l->type);
    return 0;
}

static int ReadScale(lua_State *L, int t, const char *key, double *scale, int32_t *target, int *changed)
{
    double v;
    int found = 0;
    if (!GetFieldDouble(L, t, key, &v, &found)) return 0;
    if (v == 0.0 || !std::isfinite(v)) return ERR_BADSIZE;
    if (v != *scale) {
        *scale = v;
        *target = 0;
        *changed = 1;
    }
    return 0;
}

static int ReadSize(lua_State *L, int t, const char *key, double *scale, int32_t *target, int *changed)
{
    double v;
    int isPercent = 0, found = 0;
    if (!GetFieldPercent(L, t, key, 0.0, 1, &v, &isPercent, &found)) return 0;
    *changed = 1;
    if (isPercent) {
        if (!(v > 0.0) || !std::isfinite(v)) return ERR_BADSIZE;
        *scale = v;
        *target = 0;
    } else {
        // A size beyond 32 bits is held at the largest, which no picture reaches:
        // drawing the layer at it then fails with 1000.
        if (!(v >= 0.0)) return ERR_BADSIZE;
        *target = luaO_toint32(v);
        *scale = 1.0;
    }
    return 0;
}

static int ReadTransform(lua_State *L, int t, StyleChange *c)
{
    TransformRecord *tr = &c->transform;
    int changed = 0, code;
    double m[4];
    int found = 0;
    if (GetFieldNumberArray4(L, t, "transform", m, &found)) {
        // A matrix without an inverse can't be drawn.
        if (m[0] == 0.0 || m[3] == 0.0 || CheckTransformMatrix(m)) return ERR_USAGE;
        memcpy(tr->explicitMatrix, m, sizeof m);
        tr->explicitFlag = 1;
        tr->scaleX = tr->scaleY = 1.0;
        tr->width = tr->height = 0;
        tr->rotate = 0;
        changed = 1;
    }
    int plain = 0;
    if ((code = ReadScale(L, t, "scalex", &tr->scaleX, &tr->width, &plain))) return code;
    if ((code = ReadScale(L, t, "scaley", &tr->scaleY, &tr->height, &plain))) return code;
    if ((code = ReadSize(L, t, "width", &tr->scaleX, &tr->width, &plain))) return code;
    if ((code = ReadSize(L, t, "height", &tr->scaleY, &tr->height, &plain))) return code;
    int rotate;
    if (GetFieldInt(L, t, "rotate", &rotate, nullptr) && rotate % 360 != tr->rotate) {
        tr->rotate = rotate % 360;
        plain = 1;
    }
    if (plain) tr->explicitFlag = 0;
    int smooth;
    if (FieldSwitch(L, t, "smoothscale", &smooth) && smooth != tr->smoothScale) {
        tr->smoothScale = smooth;
        changed = 1;
    }
    if (changed || plain) c->kinds |= CHANGE_TRANSFORM;
    return 0;
}

static int ReadPosition(lua_State *L, int t, StyleChange *c)
{
    double a;
    if (GetFieldDouble(L, t, "anchorx", &a, nullptr)) {
        if (!(a >= 0.0 && a <= 1.0)) return ERR_USAGE;
        c->transform.anchorX = a;
        c->kinds |= CHANGE_POSITION;
    }
    if (GetFieldDouble(L, t, "anchory", &a, nullptr)) {
        if (!(a >= 0.0 && a <= 1.0)) return ERR_USAGE;
        c->transform.anchorY = a;
        c->kinds |= CHANGE_POSITION;
    }
    int v;
    if (GetFieldInt(L, t, "x", &v, nullptr)) {
        c->x = v;
        c->kinds |= CHANGE_POSITION;
    }
    if (GetFieldInt(L, t, "y", &v, nullptr)) {
        c->y = v;
        c->kinds |= CHANGE_POSITION;
    }
    if (GetFieldInt(L, t, "translatex", &v, nullptr)) {
        c->x = v;
        c->relative |= 1;
        c->kinds |= CHANGE_POSITION;
    }
    if (GetFieldInt(L, t, "translatey", &v, nullptr)) {
        c->y = v;
        c->relative |= 2;
        c->kinds |= CHANGE_POSITION;
    }
    return 0;
}

static int ReadLevel(lua_State *L, int t, const char *key, int32_t *level, int *changed)
{
    double v;
    if (!GetFieldPercent(L, t, key, 255.0, 0, &v, nullptr, nullptr)) return 0;
    int32_t n = !(v > 0) ? 0 : v > 255 ? 255 : (int32_t)v;
    if (n != *level) {
        *level = n;
        *changed = 1;
    }
    return 0;
}

static int ReadLook(lua_State *L, int t, kvLayer *l, StyleChange *c)
{
    int changed = 0, code;
    if ((code = ReadLevel(L, t, "transparency", &c->transparency, &changed))) return code;
    if ((code = ReadLevel(L, t, "tint", &c->tint, &changed))) return code;
    uint32_t colour;
    if (GetFieldUInt32(L, t, "tintcolor", &colour, nullptr) && colour != c->tintColor) {
        c->tintColor = colour;
        changed = 1;
    }
    int hidden;
    if (FieldSwitch(L, t, "hidden", &hidden) && (hidden ? 1 : 0) != c->hidden) {
        c->hidden = hidden ? 1 : 0;
        changed = 1;
    }
    ObjectId clip;
    int found = 0;
    if (GetFieldObjectId(L, t, "clipregion", &clip, &found)) {
        c->clipGiven = 1;
        if (!clip.handle && clip.number == 0xFFFFFFFFu) c->clip = nullptr;
        else if ((code = FindClipRegion(clip, &c->clip, 0))) return code;
        c->kinds |= CHANGE_CLIP;
    }
    int noClip;
    if (FieldSwitch(L, t, "nocliptransform", &noClip)) {
        c->noClipTransform = noClip;
        c->kinds |= CHANGE_CLIP;
    }
    int z;
    if (GetFieldInt(L, t, "z", &z, nullptr)) {
        if (z < 0) return ERR_USAGE;
        c->z = z;
    }
    if (changed) c->kinds |= CHANGE_LOOK;
    return 0;
}

// Moves the layer to position z (0 or beyond the end: top). True when the order changed.
int MoveLayerInList(BGPicNode *pic, kvLayer *l, int32_t z)
{
    int32_t count = CountLayers(pic), now = GetLayerIndex(pic, l);
    if (z == 0 || z > count) z = count;
    if (z == now) return 0;
    RemoveNode((ListNode *)l);
    if (z == 1) AddHead(&pic->layers, (ListNode *)l);
    else {
        kvLayer *after = GetLayerByIndex(pic, z - 1);
        if (after) InsertNode(&pic->layers, (ListNode *)l, (ListNode *)after);
        else AddTail(&pic->layers, (ListNode *)l);
    }
    return 1;
}

// Puts a copy of the anim's frame (0-based) into an anim layer's source state.
static int ShowAnimFrame(LayerState *src, ObjectId id, int32_t frame)
{
    AnimNode *a;
    BitMap *bm;
    Mask *mk;
    AlphaChannel *al;
    int owned, code = FindAnim(id, &a, FINDANIM_PRIVATE);
    if (!code) code = FetchAnimFrame(a, frame, 1, 0, &bm, &mk, &al, &owned);
    if (code) return code;
    FreeTriple(src->bitmap, src->mask, src->alpha);
    src->bitmap = bm;
    src->mask = mk;
    src->alpha = al;
    src->frame = frame;
    src->frameCount = a->frameCount;
    return 0;
}

int SetLayerFrameValue(kvLayer *l, int32_t value)
{
    AnimNode *a;
    int code = FindAnim(l->source, &a, FINDANIM_PRIVATE);
    if (code) return code;
    int32_t now = l->sourceState->frame, frame;
    if (now < 0 || now >= a->frameCount) now = 0;
    if ((code = AnimFrameIndex(a->frameCount, now, value, &frame))) return code;
    if (frame == l->sourceState->frame && l->sourceState->bitmap) return 0;
    if ((code = ShowAnimFrame(l->sourceState, l->source, frame))) return code;
    return BuildLayerState(l, BUILD_DRAWN);
}

// Draws a shape layer anew from the change in place of the old record, which is freed.
static int RebuildShape(BGPicNode *pic, kvLayer *l, StyleChange *c, DirtyRectList *damage)
{
    LayerOptions lo;
    memset(&lo, 0, sizeof lo);
    if (l->name) snprintf(lo.name, sizeof lo.name, "%s", l->name);
    memcpy(lo.group, l->group, sizeof lo.group);
    lo.group[sizeof lo.group - 1] = 0;
    lo.hidden = c->hidden;
    lo.transparency = c->transparency;
    lo.tint = c->tint;
    lo.tintColor = c->tintColor;
    int32_t index = GetLayerIndex(pic, l);
    lo.insertPos = index;
    const LayerState *src = l->sourceState;
    int32_t x = MovedCoord(src->x, c->x, c->relative & 1), y = MovedCoord(src->y, c->y, c->relative & 2);
    // The new record takes the name; the old one gives it back when drawing fails.
    char *name = l->name;
    l->name = nullptr;
    kvLayer *now;
    int code = RebuildShapeLayer(pic, index, &c->shape, &lo, &now);
    if (code) {
        l->name = name;
        return code;
    }
    MemFree(name);
    LayerState *ns = now->sourceState;
    if (c->clipGiven) ns->clipRegion = c->clip;
    now->noClipTransform = c->noClipTransform;
    if (c->shape.placed) {
        // A line's end points place it; a position given with them moves it further.
        x = MovedCoord(ns->x, c->x, c->relative & 1);
        y = MovedCoord(ns->y, c->y, c->relative & 2);
    } else {
        x = ClampCoord((int64_t)x + c->shape.shiftX);
        y = ClampCoord((int64_t)y + c->shape.shiftY);
    }
    now->transform = c->transform;
    now->anchorX = c->transform.anchorX;
    now->anchorY = c->transform.anchorY;
    PlaceLayerState(now, ns, x, y, 1.0, 1.0);
    GetObjectMatrix(&now->transform, ns->width, ns->height);
    if ((code = BuildLayerState(now, BUILD_DRAWN))) return code;
    AddDirtyRect(damage, now->drawnState);
    return 0;
}

static int ApplyChange(lua_State *L, int t, BGPicNode *pic, kvLayer *l, DirtyRectList *damage, StyleChange &c)
{
    c.source = l->source;
    c.partX = l->sourceState->partX;
    c.partY = l->sourceState->partY;
    c.transform = l->transform;
    c.transform.anchorX = l->anchorX;
    c.transform.anchorY = l->anchorY;
    c.x = c.y = KEEPPOSITION;
    c.transparency = l->transparency;
    c.tint = l->tint;
    c.tintColor = l->tintColor;
    c.hidden = l->hidden;
    c.clip = l->sourceState->clipRegion;
    c.noClipTransform = l->noClipTransform;
    c.z = -1;
    int code;
    if ((code = ReadContent(L, t, l, &c))) return code;
    if ((code = ReadTransform(L, t, &c))) return code;
    if ((code = ReadPosition(L, t, &c))) return code;
    if ((code = ReadLook(L, t, l, &c))) return code;
    if (c.z >= 0 && MoveLayerInList(pic, l, c.z)) c.kinds |= CHANGE_LOOK;
    l->hidden = c.hidden;
    l->transparency = c.transparency;
    l->tint = c.tint;
    l->tintColor = c.tintColor;
    l->anchorX = c.transform.anchorX;
    l->anchorY = c.transform.anchorY;
    l->noClipTransform = c.noClipTransform;
    LayerState *src = l->sourceState;
    // A clip change reaches states of their own (which hold transformed copies) by rebuilding.
    if ((c.kinds & CHANGE_CLIP) && (src->clipRegion || c.clip) && l->transformedState != src)
        c.kinds |= CHANGE_TRANSFORM;
    if (c.clipGiven) src->clipRegion = c.clip;
    if (c.kinds & CHANGE_CONTENT) {
        AddDirtyRect(damage, l->drawnState);
        if (c.shapeGiven) return RebuildShape(pic, l, &c, damage);
        if (c.textGiven) {
            if ((code = RebuildTextLayer(L, l, &c.text, c.x, c.y, c.relative))) return code;
            l->transform = c.transform;
            GetObjectMatrix(&l->transform, src->width, src->height);
            if ((code = BuildLayerState(l, BUILD_DRAWN))) return code;
            AddDirtyRect(damage, l->drawnState);
            return 0;
        }
        l->type = c.type;
        l->source = c.source;
        if (c.type == OBJTYPE_ANIM && (code = ShowAnimFrame(src, c.source, c.frame))) return code;
        // An object shown in place of a text: the text goes.
        FreeTextState(src->text);
        src->text = nullptr;
        if (src->bitmap && IsObjectLayerType(c.type)) {
            FreeTriple(src->bitmap, src->mask, src->alpha);
            src->bitmap = nullptr;
            src->mask = nullptr;
            src->alpha = nullptr;
        }
        src->partX = c.partX;
        src->partY = c.partY;
        // The new content is drawn at its own size, straight from the source.
        src->width = src->drawnWidth = c.partWidth;
        src->height = src->drawnHeight = c.partHeight;
        memset(src->renderOffset, 0, sizeof src->renderOffset);
        int32_t x = MovedCoord(src->x, c.x, c.relative & 1), y = MovedCoord(src->y, c.y, c.relative & 2);
        PlaceLayerState(l, src, x, y, 1.0, 1.0);
        l->transform = c.transform;
        GetObjectMatrix(&l->transform, src->width, src->height);
        if ((code = BuildLayerState(l, BUILD_DRAWN))) return code;
        AddDirtyRect(damage, l->drawnState);
        return 0;
    }
    if (!(c.kinds & (CHANGE_POSITION | CHANGE_TRANSFORM | CHANGE_CLIP))) {
        if (c.kinds & CHANGE_LOOK) AddDirtyRect(damage, l->drawnState);
        return 0;
    }
    if (c.kinds & CHANGE_POSITION) {
        int32_t x = c.x, y = c.y;
        if (x != KEEPPOSITION && !(c.relative & 1)) x = ResolveXPos(x, src->width, 0, l->anchorX);
        if (y != KEEPPOSITION && !(c.relative & 2)) y = ResolveYPos(y, src->height, 0, l->anchorY);
        DirtyRect r;
        DrawnRect(l->drawnState, &r);
        SetLayerPosition(l, &r, x, y, 1, c.relative, nullptr);
        AppendDirtyRect(damage, r.x1, r.y1, r.x2, r.y2);
    } else {
        AddDirtyRect(damage, l->drawnState);
    }
    if (!(c.kinds & CHANGE_TRANSFORM)) {
        // The anchors and the smoothing wait in the record for the next transform.
        c.transform.a = l->transform.a;
        c.transform.b = l->transform.b;
        c.transform.c = l->transform.c;
        c.transform.d = l->transform.d;
        l->transform = c.transform;
        return 0;
    }
    // A transform that can't be drawn (a picture past the size limit) is not kept while the layer
    // still shows its old states, and later changes start from the transform they were made with.
    const TransformRecord before = l->transform;
    const LayerState *shown = l->transformedState;
    l->transform = c.transform;
    GetObjectMatrix(&l->transform, src->width, src->height);
    if ((code = BuildLayerState(l, BUILD_DRAWN))) {
        if (l->transformedState == shown) l->transform = before;
        return code;
    }
    AddDirtyRect(damage, l->drawnState);
    return 0;
}

static int ApplyToLayer(lua_State *L, int t, BGPicNode *pic, kvLayer *l, DirtyRectList *damage)
{
    StyleChange c;
    memset(&c, 0, sizeof c);
    // A new text read from the table stays on the stack until the layer has it.
    int top = lua_gettop(L);
    int code = ApplyChange(L, t, pic, l, damage, c);
    lua_settop(L, top);
    FreeShapeContent(&c.shape);
    return code;
}

// The layers a selector names: a position, a name, or every member of a group.
static int SelectLayers(lua_State *L, int i, BGPicNode *pic, kvLayer **list, int32_t *count, int32_t max)
{
    *count = 0;
    if (lua_type(L, i) == LUA_TSTRING) {
        const char *name = lua_tostring(L, i);
        int32_t pos = FindLayerByName(name);
        if (pos) {
            list[(*count)++] = GetLayerByIndex(pic, pos);
            return 0;
        }
        if (pic && pic->layers.first)
            for (ListNode *n = pic->layers.first; n->succ; n = n->succ) {
                kvLayer *l = (kvLayer *)n;
                if (!l->group[0] || strcasecmp(l->group, name)) continue;
                if (*count >= max) return 1066;
                list[(*count)++] = l;
            }
        if (*count) return 0;
        SetErrorString(name);
        return ERR_NOLAYER;
    }
    if (lua_type(L, i) != LUA_TNUMBER) {
        SetErrorNumber(i);
        return ERR_STRORNUM;
    }
    kvLayer *l = GetLayerByIndex(pic, GetIntArg(L, i));
    if (!l) return ERR_RANGE;
    list[(*count)++] = l;
    return 0;
}

int SelectLayerArgs(lua_State *L, int i, kvLayer **list, int32_t *count, int32_t max)
{
    return SelectLayers(L, i, CurrentPicture, list, count, max);
}

int ApplyLayerStyle(lua_State *L, int first, int flags)
{
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *pic = CurrentPicture;
    int toBGPic = d && d->outputType == OBJTYPE_BGPIC;
    DirtyRectList *damage = toBGPic ? &d->dirty : &LayerDamage;
    if (!toBGPic) LayerDamage.count = 0;
    int top = lua_gettop(L), code = 0;
    static kvLayer *selected[256];
    for (int i = first; i + 1 <= top && !code; i += 2) {
        luaL_checktable(L, i + 1);
        int32_t count;
        if ((code = SelectLayers(L, i, pic, selected, &count, 256))) break;
        for (int32_t k = 0; k < count && !code; k++) code = ApplyToLayer(L, i + 1, pic, selected[k], damage);
    }
    if (pic) pic->layersChanged = 1;
    if (!code && !flags && !toBGPic) {
        int running = 0;
        if (pic && pic->layers.first)
            for (ListNode *n = pic->layers.first; n->succ; n = n->succ) running |= ((kvLayer *)n)->transitionRunning;
        if (!running) RefreshDirtyRects(&LayerDamage);
    }
    // The layers may have let go of objects freed while they showed them, also when a later
    // change failed.
    PurgeBrushNodes();
    PurgeAnimNodes();
    FlushPendingBGPics();
    FlushTextObjects();
    FlushClipRegions();
    return code;
}

// ---------------------------------------------------------------------------------------------
// GetLayerStyle

static void SetFieldBool(lua_State *L, const char *key, int value)
{
    lua_pushstring(L, key);
    lua_pushboolean(L, value);
    lua_settable(L, -3);
}

void PushLayerStyle(lua_State *L, kvLayer *l)
{
    const LayerState *s = l->sourceState;
    const TransformRecord *t = &l->transform;
    lua_newtable(L);
    if (IsObjectLayerType(l->type)) {
        SetFieldObjectId(L, "id", l->source);
        SetFieldInt(L, "partx", s->partX);
        SetFieldInt(L, "party", s->partY);
        SetFieldInt(L, "partwidth", s->width);
        SetFieldInt(L, "partheight", s->height);
    }
    if (l->type == OBJTYPE_ANIM) {
        SetFieldObjectId(L, "id", l->source);
        SetFieldInt(L, "frame", s->frame + 1);
    }
    if (l->type == LAYERTYPE_TEXTOBJECT) SetFieldObjectId(L, "id", l->source);
    PushShapeContent(L, l);
    PushTextContent(L, l);
    SetFieldInt(L, "x", s->x);
    SetFieldInt(L, "y", s->y);
    SetFieldInt(L, "width", t->width ? t->width : (int32_t)lrint(s->width * t->scaleX));
    SetFieldInt(L, "height", t->height ? t->height : (int32_t)lrint(s->height * t->scaleY));
    SetFieldInt(L, "rotate", t->rotate);
    SetFieldDouble(L, "scalex", t->scaleX);
    SetFieldDouble(L, "scaley", t->scaleY);
    SetFieldDouble(L, "anchorx", l->anchorX);
    SetFieldDouble(L, "anchory", l->anchorY);
    SetFieldBool(L, "smoothscale", t->smoothScale);
    lua_pushstring(L, "transform");
    lua_newtable(L);
    double m[4] = {1.0, 0.0, 0.0, 1.0};
    if (t->explicitFlag) memcpy(m, t->explicitMatrix, sizeof m);
    for (int i = 0; i < 4; i++) {
        lua_pushnumber(L, m[i]);
        lua_rawseti(L, -2, i);
    }
    lua_settable(L, -3);
    SetFieldInt(L, "transparency", l->transparency);
    SetFieldInt(L, "tint", l->tint);
    SetFieldInt(L, "tintcolor", (int)l->tintColor);
    SetFieldBool(L, "hidden", l->hidden);
    if (s->clipRegion) SetFieldObjectId(L, "clipregion", s->clipRegion->id);
    else SetFieldInt(L, "clipregion", -1);
    SetFieldString(L, "group", l->group);
    SetFieldString(L, "name", l->name ? l->name : "");
}
