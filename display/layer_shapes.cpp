// Shape layers (boxes, circles, ellipses, arcs, lines, polygons) are drawn again through the
// shape renderer whenever the layer code derives a turned, scaled or display-scaled state of
// them, instead of resampling the image the shape was first drawn as: edges, outlines,
// shadows and anti-aliasing stay as sharp as a shape drawn straight at that size and angle.
#include <cstring>

#include "display/draw_targets.h"
#include "display/layer.h"
#include "pictures/draw_render.h"

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
    FreeShapeTriple(c->bitmap, c->mask, c->alpha);
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

static int DrawForCapture(const DrawTarget *target, const ShapeLayerState *st, const ShapeTransform *tf,
                          ShapeCapture *out)
{
    memset(out, 0, sizeof *out);
    const int f = DRAWFLAG_LAYERSTATE;
    int code;
    switch (st->type) {
    case SHAPE_BOX:
        code = DrawBox(target, out, nullptr, &st->style, st->x, st->y, st->shapeWidth, st->shapeHeight, st->colour,
                       st->roundlevel, tf, nullptr, f);
        break;
    case SHAPE_CIRCLE:
    case SHAPE_ELLIPSE:
        code = DrawEllipseShape(target, out, nullptr, &st->style, st->type, st->x, st->y, st->xradius, st->yradius,
                                st->colour, tf, nullptr, f);
        break;
    case SHAPE_ARC:
        code = DrawArcShape(target, out, nullptr, &st->style, st->x, st->y, st->xradius, st->yradius, st->start,
                            st->end, st->clockwise, st->colour, tf, nullptr, f);
        break;
    case SHAPE_POLYGON:
        code = DrawPolygonShape(target, out, nullptr, &st->style, st->x, st->y, st->shapeWidth, st->shapeHeight,
                                st->points, st->count, st->colour, tf, nullptr, f);
        break;
    case SHAPE_LINE:
        code = DrawLineShape(target, out, nullptr, &st->style, st->x, st->y, st->x + st->x1, st->y + st->y1,
                             st->x + st->x2, st->y + st->y2, st->colour, st->thickness, tf, nullptr, f);
        break;
    default: return 1055;
    }
    if (!code && !out->bitmap) code = 1000;
    if (code) {
        FreeShapeTriple(out->bitmap, out->mask, out->alpha);
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
        FreeShapeTriple(now.bitmap, now.mask, now.alpha);
        return code;
    }
    FreeShapeTriple(straight.bitmap, straight.mask, straight.alpha);
    *bitmap = now.bitmap;
    *mask = now.mask;
    *alpha = now.alpha;
    *width = now.width;
    *height = now.height;
    *offsetX = now.x - straight.x;
    *offsetY = now.y - straight.y;
    return 0;
}
