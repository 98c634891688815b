// Shape layers (boxes, circles, ellipses, arcs, lines, polygons) are drawn again through the
// shape renderer whenever the layer code derives a turned, scaled or display-scaled state of
// them, instead of resampling the image the shape was first drawn as: edges, outlines,
// shadows and anti-aliasing stay as sharp as a shape drawn straight at that size and angle.
#include <cstring>

#include "display/layer_shapes.h"

#include "display/draw_targets.h"
#include "display/layer.h"
#include "pictures/draw_commands.h"
#include "pictures/draw_render.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

// The thickest line the renderer draws.
enum { MAX_LINE_THICKNESS = 64 };

// The images the renderer hands over for a layer state, and where it put them.
struct ShapeCapture {
    int32_t x, y, width, height;
    BitMap *bitmap;
    Mask *mask;
    AlphaChannel *alpha;
};

static int CaptureShapeImage(void *, void *layer, void *, int32_t x, int32_t y, int32_t width, int32_t height,
                             BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t)
{
    ShapeCapture *c = (ShapeCapture *)layer;
    FreeTriple(c->bitmap, c->mask, c->alpha);
    *c = {x, y, width, height, bitmap, mask, alpha};
    return 0;
}

// Only the hand-over: nothing is drawn onto a picture, prepared, resolved or damaged.
static const DrawTargetHooks CaptureHooks = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, CaptureShapeImage, nullptr, nullptr, nullptr,
};

// A picture-path target of the current display's settings (mask mode, texture smoothing)
// whose only output is the capture. 0 or 1347 without a display.
static int CaptureTarget(DrawTarget *target)
{
    int code = GetDisplayDrawTarget(nullptr, target);
    if (code) return code;
    target->kind = DRAWTARGET_DISPLAY;
    target->bitmap = nullptr;
    target->mask = nullptr;
    target->alpha = nullptr;
    target->hasClipRegion = 0;
    target->layersOn = 1;
    target->pictureHasAlpha = 0;
    target->doubleBuffer = 0;
    target->hooks = &CaptureHooks;
    target->user = nullptr;
    return 0;
}

// Draws the shape through one of the renderer's entries: at (x, y) (a line's box), a line
// between the absolute end points `ends`.
static int DrawShapeParams(const DrawTarget *target, const ShapeLayerState *st, int32_t x, int32_t y,
                           const int32_t ends[4], const ShapeTransform *tf, void *layer, void *options, int32_t flags,
                           int32_t insertPos)
{
    switch (st->type) {
    case SHAPE_BOX:
        return DrawBox(target, layer, nullptr, &st->style, x, y, st->shapeWidth, st->shapeHeight, st->colour,
                       st->roundlevel, tf, options, flags, insertPos);
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE:
        return DrawEllipseShape(target, layer, nullptr, &st->style, st->type, x, y, st->xradius, st->yradius,
                                st->colour, tf, options, flags, insertPos);
    case SHAPE_ARC:
        return DrawArcShape(target, layer, nullptr, &st->style, x, y, st->xradius, st->yradius, st->start, st->end,
                            st->clockwise, st->colour, tf, options, flags, insertPos);
    case SHAPE_POLYGON:
        return DrawPolygonShape(target, layer, nullptr, &st->style, x, y, st->shapeWidth, st->shapeHeight,
                                st->points, st->count, st->colour, tf, options, flags, insertPos);
    case SHAPE_LINE:
        return DrawLineShape(target, layer, nullptr, &st->style, x, y, ends[0], ends[1], ends[2], ends[3],
                             st->colour, st->thickness, tf, options, flags, insertPos);
    default: return 1055;
    }
}

static int DrawForCapture(const DrawTarget *target, const ShapeLayerState *st, const ShapeTransform *tf,
                          ShapeCapture *out)
{
    memset(out, 0, sizeof *out);
    const int32_t ends[4] = {ClampCoord((int64_t)st->x + st->x1), ClampCoord((int64_t)st->y + st->y1),
                             ClampCoord((int64_t)st->x + st->x2), ClampCoord((int64_t)st->y + st->y2)};
    int code = DrawShapeParams(target, st, st->x, st->y, ends, tf, out, nullptr, DRAWFLAG_LAYERSTATE, -1);
    if (!code && !out->bitmap) code = 1000;
    if (code) {
        FreeTriple(out->bitmap, out->mask, out->alpha);
        memset(out, 0, sizeof *out);
    }
    return code;
}

int RenderShapeLayerState(const kvLayer *l, const double m[4], BitMap **bitmap, Mask **mask, AlphaChannel **alpha,
                          int32_t *width, int32_t *height, int32_t *offsetX, int32_t *offsetY)
{
    const ShapeLayerState *st = ShapeLayerParams(l->type, l->sourceState);
    if (!st) return -1;
    DrawTarget target;
    if (CaptureTarget(&target)) return -1;
    // The shape turns about the anchor point of its own box, as when it is drawn turned.
    ShapeTransform plain = IdentityTransform(), turned = plain;
    plain.anchorX = turned.anchorX = l->anchorX;
    plain.anchorY = turned.anchorY = l->anchorY;
    memcpy(turned.m, m, sizeof turned.m);
    ShapeCapture straight, now;
    int code = DrawForCapture(&target, st, &turned, &now);
    if (code) return code;
    // Where the unturned shape lies: the source state's image sits at the layer's anchored
    // position, so the turned image goes where it lies relative to that one.
    if ((code = DrawForCapture(&target, st, &plain, &straight))) {
        FreeTriple(now.bitmap, now.mask, now.alpha);
        return code;
    }
    FreeTriple(straight.bitmap, straight.mask, straight.alpha);
    *bitmap = now.bitmap;
    *mask = now.mask;
    *alpha = now.alpha;
    *width = now.width;
    *height = now.height;
    *offsetX = now.x - straight.x;
    *offsetY = now.y - straight.y;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Shape content from a style table

int IsShapeLayerKind(int32_t type)
{
    return type == LAYERTYPE_BOX || type == LAYERTYPE_CIRCLE || type == LAYERTYPE_ELLIPSE || type == LAYERTYPE_LINE ||
           type == LAYERTYPE_POLYGON || type == LAYERTYPE_ARC;
}

static int IsRoundKind(int32_t type)
{
    return type == SHAPE_CIRCLE || type == SHAPE_ELLIPSE || type == SHAPE_ARC;
}

// How far a line's picture reaches beyond its end points (anti-aliasing and thickness).
static int32_t LineGrow(const DrawStyle *style, int32_t thickness)
{
    if (thickness > MAX_LINE_THICKNESS) thickness = MAX_LINE_THICKNESS;
    if (thickness <= 1) return 0;
    return ((style->formStyle & FORM_ANTIALIAS) ? 2 : 0) + thickness / 2;
}

// The absolute end points of a line layer. A line drawn straight remembers them from its
// picture's corner, one the layer code turns from the corner of the line's own box.
static void LineEnds(const kvLayer *l, const ShapeLayerState *st, int32_t e[4])
{
    int32_t grow = IsIdentityMatrix(st->transform.m) ? 0 : LineGrow(&st->style, st->thickness);
    const LayerState *s = l->sourceState;
    e[0] = ClampCoord((int64_t)s->x + grow + st->x1);
    e[1] = ClampCoord((int64_t)s->y + grow + st->y1);
    e[2] = ClampCoord((int64_t)s->x + grow + st->x2);
    e[3] = ClampCoord((int64_t)s->y + grow + st->y2);
}

// The colour and draw style keys, then the style kept within its ranges.
static void ReadShapeLook(lua_State *L, int t, ShapeLayerState *st, int *changed)
{
    DrawStyle *ds = &st->style;
    ReadStyleColour(L, t, "color", &st->colour, changed);
    int32_t bits = 0;
    if (ReadStyleInt(L, t, "formstyle", &bits, changed))
        ds->formStyle = bits == FORM_NORMAL ? (uint32_t)FORM_NORMAL : ds->formStyle | (uint32_t)bits;
    if (ReadStyleInt(L, t, "formstyleclear", &bits, changed)) ds->formStyle &= ~(uint32_t)bits;
    ReadStyleInt(L, t, "shadowdir", &ds->shadowDirection, changed);
    ReadStyleColour(L, t, "shadowcolor", &ds->shadowColour, changed);
    ReadStyleInt(L, t, "shadowsize", &ds->shadowSize, changed);
    ReadStyleColour(L, t, "edgecolor", &ds->edgeColour, changed);
    ReadStyleInt(L, t, "edgesize", &ds->edgeSize, changed);
    ReadStyleInt(L, t, "fillstyle", &ds->fillStyle, changed);
    ReadStyleInt(L, t, "gradientstyle", &ds->gradientType, changed);
    ReadStyleInt(L, t, "gradientangle", &ds->gradientAngle, changed);
    ReadStyleColour(L, t, "gradientstartcolor", &ds->gradientStart, changed);
    ReadStyleColour(L, t, "gradientendcolor", &ds->gradientEnd, changed);
    int found = 0;
    GetFieldObjectId(L, t, "texturebrush", &ds->texture, &found);
    if (found) *changed = 1;
    ReadStyleInt(L, t, "texturex", &ds->textureX, changed);
    ReadStyleInt(L, t, "texturey", &ds->textureY, changed);
    ReadStyleInt(L, t, "outlinethickness", &ds->thickness, changed);
    ClampDrawStyle(ds);
}

// The points of a polygon layer being restyled live in buffers kept for all calls (one restyle
// runs at a time, and the layer state made from them copies them): a style key read later that
// raises then loses nothing.
static double KeptPoints[2 * (MAX_POLYGON_POINTS + 1)];
static double GivenPoints[2 * (MAX_POLYGON_POINTS + 1)];

static int ReadVertices(lua_State *L, int t, ShapeContent *c, int *given)
{
    lua_pushstring(L, "vertices");
    lua_gettable(L, t);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        SetErrorString("vertices");
        return 1189;
    }
    int32_t n = 0, w = 0, h = 0, mx = 0, my = 0;
    int code = ReadPolygonTable(L, lua_gettop(L), 0, GivenPoints, &n, &w, &h, &mx, &my);
    lua_pop(L, 1);
    // Fewer than two points make no polygon.
    if (!code && n < 3) code = 1055;
    if (code) return code;
    ShapeLayerState *st = &c->shape;
    st->points = GivenPoints;
    st->count = n;
    st->shapeWidth = w;
    st->shapeHeight = h;
    c->shiftX = mx;
    c->shiftY = my;
    *given = 1;
    return 0;
}

// The geometry keys of the kind; `kept` tells the old shape already has the kind's geometry.
static int ReadGeometry(lua_State *L, int t, int32_t oldType, ShapeContent *c, int *changed)
{
    ShapeLayerState *st = &c->shape;
    int32_t type = st->type;
    int kept = type == oldType;
    // Only new values are checked: a layer keeps working with what it was drawn with.
    int given = 0;
    switch (type) {
    case SHAPE_BOX:
        ReadStyleInt(L, t, "sizex", &st->shapeWidth, &given);
        ReadStyleInt(L, t, "sizey", &st->shapeHeight, &given);
        ReadStyleInt(L, t, "roundlevel", &st->roundlevel, &given);
        if (given) *changed = 1;
        if ((given || !kept) && (st->shapeWidth < 1 || st->shapeHeight < 1)) return 1055;
        return 0;
    case SHAPE_CIRCLE:
        if (ReadStyleInt(L, t, "radius", &st->xradius, &given)) st->yradius = st->xradius;
        else if (!IsRoundKind(oldType)) return 1014;
        else st->yradius = st->xradius;
        break;
    case SHAPE_ELLIPSE:
    case SHAPE_ARC: {
        int a = ReadStyleInt(L, t, "radiusa", &st->xradius, &given), b = ReadStyleInt(L, t, "radiusb", &st->yradius, &given);
        if (!IsRoundKind(oldType) && !(a && b)) return 1014;
        if (type == SHAPE_ARC) {
            int s = ReadStyleInt(L, t, "startangle", &st->start, &given), e = ReadStyleInt(L, t, "endangle", &st->end, &given);
            if (!kept && !(s && e)) return 1014;
            if (!kept) st->clockwise = 1;
            ReadStyleInt(L, t, "clockwise", &st->clockwise, &given);
            if (given && (st->start < 0 || st->end < 0 || st->start == st->end)) return 1055;
        }
        break;
    }
    case SHAPE_LINE: {
        int g[4] = {ReadStyleInt(L, t, "x1", &st->x1, &given), ReadStyleInt(L, t, "y1", &st->y1, &given),
                    ReadStyleInt(L, t, "x2", &st->x2, &given), ReadStyleInt(L, t, "y2", &st->y2, &given)};
        if (!kept && !(g[0] && g[1] && g[2] && g[3])) return 1014;
        if (!kept) st->thickness = 1;
        int thick = ReadStyleInt(L, t, "thickness", &st->thickness, &given);
        // The end points place a line (its picture reaches beyond them by its thickness).
        c->placed = 1;
        if (given) *changed = 1;
        if (st->thickness < 1) {
            if (thick) return 1055;
            st->thickness = 1;
        }
        return 0;
    }
    case SHAPE_POLYGON: {
        int code = ReadVertices(L, t, c, &given);
        if (code) return code;
        if (given) *changed = 1;
        else if (!kept) return 1014;
        return 0;
    }
    default: return 1055;
    }
    if (given) *changed = 1;
    if ((given || !kept) && (st->xradius < 1 || st->yradius < 1)) return 1055;
    return 0;
}

int ReadShapeContent(lua_State *L, int t, const kvLayer *l, int32_t type, ShapeContent *c, int *changed)
{
    memset(c, 0, sizeof *c);
    ShapeLayerState *st = &c->shape;
    const ShapeLayerState *old = ShapeLayerParams(l->type, l->sourceState);
    int32_t oldType = old ? old->type : 0;
    if (old) {
        *st = *old;
        st->bitmap = nullptr;
        st->mask = nullptr;
        st->alpha = nullptr;
        st->layerOptions = nullptr;
        st->points = nullptr;
        st->count = 0;
        if (old->type == SHAPE_POLYGON && old->points && old->count > 0) {
            if (old->count > MAX_POLYGON_POINTS + 1) return 1000;
            memcpy(KeptPoints, old->points, sizeof(double) * 2 * (size_t)old->count);
            st->points = KeptPoints;
            st->count = old->count;
        }
        if (old->type == SHAPE_LINE) {
            int32_t e[4];
            LineEnds(l, old, e);
            st->x1 = e[0];
            st->y1 = e[1];
            st->x2 = e[2];
            st->y2 = e[3];
        }
    } else {
        // From another family: the current draw style, and the layer's size for a box.
        st->style = *GetDrawStyle();
        st->colour = 0xFFFFFF;
        st->shapeWidth = l->sourceState->width;
        st->shapeHeight = l->sourceState->height;
        st->thickness = 1;
        st->clockwise = 1;
    }
    st->transform = IdentityTransform();
    st->type = type;
    if (type != oldType) *changed = 1;
    ReadShapeLook(L, t, st, changed);
    int code = ReadGeometry(L, t, oldType, c, changed);
    if (code) FreeShapeContent(c);
    return code;
}

void FreeShapeContent(ShapeContent *c)
{
    c->shape.points = nullptr;
    c->shape.count = 0;
}

int RebuildShapeLayer(BGPicNode *pic, int32_t index, const ShapeContent *c, const LayerOptions *lo, kvLayer **out)
{
    DrawTarget target;
    int code = GetDisplayDrawTarget(nullptr, &target);
    if (code) return code;
    // Only a layer comes of it: nothing is drawn onto the picture or the window.
    target.kind = DRAWTARGET_DISPLAY;
    target.bitmap = nullptr;
    target.mask = nullptr;
    target.alpha = nullptr;
    target.hasClipRegion = 0;
    target.layersOn = 1;
    target.doubleBuffer = 0;
    const ShapeLayerState *st = &c->shape;
    kvLayer *old = GetLayerByIndex(pic, index);
    ShapeTransform tf = IdentityTransform();
    tf.anchorX = old->anchorX;
    tf.anchorY = old->anchorY;
    const LayerState *s = old->sourceState;
    int32_t x = ClampCoord((int64_t)s->x + c->shiftX), y = ClampCoord((int64_t)s->y + c->shiftY);
    const int32_t ends[4] = {st->x1, st->y1, st->x2, st->y2};
    if (st->type == SHAPE_LINE) {
        x = ends[0] < ends[2] ? ends[0] : ends[2];
        y = ends[1] < ends[3] ? ends[1] : ends[3];
    }
    code = DrawShapeParams(&target, st, x, y, ends, &tf, nullptr, (void *)lo, DRAWFLAG_RERENDER, index);
    if (code) return code;
    kvLayer *now = GetLayerByIndex(pic, index);
    // A layer that is still the old one was not replaced: the drawing made nothing.
    if (!now || now == old) return 1000;
    *out = now;
    return 0;
}

void PushShapeContent(lua_State *L, const kvLayer *l)
{
    const ShapeLayerState *st = ShapeLayerParams(l->type, l->sourceState);
    if (!st) return;
    const DrawStyle *ds = &st->style;
    SetFieldInt(L, "color", (int)st->colour);
    SetFieldInt(L, "formstyle", (int)ds->formStyle);
    SetFieldInt(L, "shadowdir", ds->shadowDirection);
    SetFieldInt(L, "shadowcolor", (int)ds->shadowColour);
    SetFieldInt(L, "shadowsize", ds->shadowSize);
    SetFieldInt(L, "edgecolor", (int)ds->edgeColour);
    SetFieldInt(L, "edgesize", ds->edgeSize);
    SetFieldInt(L, "fillstyle", ds->fillStyle);
    SetFieldInt(L, "gradientstyle", ds->gradientType);
    SetFieldInt(L, "gradientangle", ds->gradientAngle);
    SetFieldInt(L, "gradientstartcolor", (int)ds->gradientStart);
    SetFieldInt(L, "gradientendcolor", (int)ds->gradientEnd);
    SetFieldObjectId(L, "texturebrush", ds->texture);
    SetFieldInt(L, "texturex", ds->textureX);
    SetFieldInt(L, "texturey", ds->textureY);
    SetFieldInt(L, "outlinethickness", ds->thickness);
    switch (st->type) {
    case SHAPE_BOX:
        SetFieldInt(L, "sizex", st->shapeWidth);
        SetFieldInt(L, "sizey", st->shapeHeight);
        SetFieldInt(L, "roundlevel", st->roundlevel);
        break;
    case SHAPE_CIRCLE: SetFieldInt(L, "radius", st->xradius); break;
    case SHAPE_ARC:
        SetFieldInt(L, "startangle", st->start);
        SetFieldInt(L, "endangle", st->end);
        SetFieldInt(L, "clockwise", st->clockwise);
        [[fallthrough]];
    case SHAPE_ELLIPSE:
        SetFieldInt(L, "radiusa", st->xradius);
        SetFieldInt(L, "radiusb", st->yradius);
        break;
    case SHAPE_LINE: {
        int32_t e[4];
        LineEnds(l, st, e);
        SetFieldInt(L, "x1", e[0]);
        SetFieldInt(L, "y1", e[1]);
        SetFieldInt(L, "x2", e[2]);
        SetFieldInt(L, "y2", e[3]);
        SetFieldInt(L, "thickness", st->thickness);
        break;
    }
    case SHAPE_POLYGON: {
        SetFieldInt(L, "numvertices", st->count);
        lua_pushstring(L, "vertices");
        lua_newtable(L);
        for (int32_t i = 0; i < 2 * st->count; i++) {
            lua_pushnumber(L, st->points[i]);
            lua_rawseti(L, -2, i);
        }
        lua_settable(L, -3);
        break;
    }
    }
}
