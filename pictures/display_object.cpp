// DisplayObject: looks the object up, reads its transform, resolves positions, clips the part,
// transforms a copy when the matrix is not the identity and blits it onto the current output.
#include "pictures/display_object.h"

#include <cmath>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "display/output_select.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/brush.h"
#include "runtime/errors.h"

enum {
    ERR_NEGATIVE = 1154, ERR_NOANIM = 1176, ERR_OUTOFRANGE = 1217, ERR_BADSIZE = 1218, ERR_LAYERSON = 1271,
    ERR_BRUSHTYPE = 1388, ERR_VECTORLAYER = 1389
};

enum { SOURCE_ANIM, SOURCE_TEXTOBJECT, SOURCE_LAYER, SOURCE_SPRITE, SOURCE_KINDS };
static ObjectPictureSource Sources[SOURCE_KINDS];

static int SourceSlot(int type)
{
    switch (type) {
    case OBJTYPE_ANIM: return SOURCE_ANIM;
    case PICSOURCE_TEXTOBJECT: return SOURCE_TEXTOBJECT;
    case OBJTYPE_LAYER: return SOURCE_LAYER;
    case PICSOURCE_SPRITE: return SOURCE_SPRITE;
    default: return -1;
    }
}

void SetObjectPictureSource(int type, ObjectPictureSource source)
{
    int slot = SourceSlot(type);
    if (slot >= 0) Sources[slot] = source;
}

int GetObjectPicture(lua_State *L, int type, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask,
                     AlphaChannel **alpha, int32_t *width, int32_t *height, int *owned)
{
    *bitmap = nullptr;
    *mask = nullptr;
    *alpha = nullptr;
    *owned = 0;
    int slot = SourceSlot(type);
    if (slot >= 0 && Sources[slot]) return Sources[slot](L, id, frame, bitmap, mask, alpha, width, height, owned);
    if (type == OBJTYPE_LAYER) return (CurrentDisplay && CurrentDisplay->layersEnabled) ? 1081 : 1078;
    SetErrorNumber((long)id.number);
    if (id.handle) return 1041;
    return type == OBJTYPE_ANIM ? ERR_NOANIM : type == PICSOURCE_TEXTOBJECT ? 1175 : type == PICSOURCE_SPRITE ? 1219 : 1055;
}

int TransformImageRegion(const TransformRecord *t, const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha,
                         int32_t sx, int32_t sy, int32_t width, int32_t height, BitMap **outBitMap, Mask **outMask,
                         AlphaChannel **outAlpha, int32_t *outWidth, int32_t *outHeight, int32_t *offsetX,
                         int32_t *offsetY)
{
    *outBitMap = nullptr;
    *outMask = nullptr;
    *outAlpha = nullptr;
    // The corners of the region turned about the anchor: A + M (p - A).
    double ax = width * t->anchorX, ay = height * t->anchorY;
    double cx[4] = {0, (double)width - 1, 0, (double)width - 1}, cy[4] = {0, 0, (double)height - 1, (double)height - 1};
    double minX = INFINITY, minY = INFINITY;
    for (int i = 0; i < 4; i++) {
        double px = cx[i] - ax, py = cy[i] - ay;
        minX = fmin(minX, ax + t->a * px + t->c * py);
        minY = fmin(minY, ay + t->b * px + t->d * py);
    }
    *offsetX = ClampCoordD(trunc(minX));
    *offsetY = ClampCoordD(trunc(minY));
    if (IsPositiveScale(t)) {
        TransformRecordSize(t, width, height, outWidth, outHeight);
        if (!bitmap) return 0;
        return ScaleBitMapTriple(bitmap, mask, alpha, sx, sy, nullptr, width, height, *outWidth, *outHeight,
                                 t->smoothScale, outBitMap, outMask, outAlpha);
    }
    Matrix2D m = {t->a, t->b, t->c, t->d};
    if (!bitmap) {
        TransformedSize(&m, width, height, outWidth, outHeight, nullptr, nullptr);
        return 0;
    }
    return TransformBitMapTriple(bitmap, mask, alpha, sx, sy, width, height, &m, t->smoothScale, outBitMap, outMask,
                                 outAlpha, outWidth, outHeight);
}

// The picture an object shows: its planes, its size and whether this call owns the planes.
struct ObjectPicture {
    const BitMap *bitmap;
    const Mask *mask;
    const AlphaChannel *alpha;
    int32_t width, height;
    int owned;
    BitMap *ownedBitMap;
    Mask *ownedMask;
    AlphaChannel *ownedAlpha;
    BrushNode *brush;
};

static int LookUpObject(lua_State *L, int type, ObjectId id, int32_t frame, int flags, ObjectPicture *p)
{
    DisplayRecord *d = CurrentDisplay;
    if (type == OBJTYPE_BRUSH || type == OBJTYPE_BRUSHPART) {
        BrushNode *b;
        int code = GetBrushNode(id, &b, (flags & DOBJ_REDRAWLAYER) ? BRUSH_FINDFREED : 0);
        if (code) return code;
        // Showing the brush that drawing goes to ends that selection first.
        if (IsBrushOutputTarget(b)) SetBGPicOutput(L, d);
        if (b->type == BRUSHTYPE_VECTOR && type == OBJTYPE_BRUSHPART) return ERR_BRUSHTYPE;
        p->brush = b;
        p->bitmap = b->bitmap;
        p->mask = b->mask;
        p->alpha = b->alpha;
        p->width = b->width;
        p->height = b->height;
        return 0;
    }
    if (type == OBJTYPE_ANIM) {
        int code = GetObjectPicture(L, type, id, frame, &p->ownedBitMap, &p->ownedMask, &p->ownedAlpha, &p->width,
                                    &p->height, &p->owned);
        p->bitmap = p->ownedBitMap;
        p->mask = p->ownedMask;
        p->alpha = p->ownedAlpha;
        return code;
    }
    BGPicNode *bg = nullptr;
    if (id.number == 0xFFFFFFFFu && !id.handle) {
        bg = d ? d->bgpic : nullptr;
        if (!bg) {
            SetErrorNumber(-1);
            return 1177;
        }
    } else {
        int code = GetBGPicNode(id, &bg, 0);
        if (code) return code;
    }
    p->bitmap = bg->bitmap;
    p->mask = bg->mask;
    p->alpha = bg->alpha;
    p->width = bg->width;
    p->height = bg->height;
    return 0;
}

static void FreeObjectPicture(ObjectPicture *p)
{
    if (p->owned) FreeTriple(p->ownedBitMap, p->ownedMask, p->ownedAlpha);
}

// Step 10: the part drawn onto the output target through its mask or alpha channel: the
// display's picture (and window), or a selected brush, mask or alpha channel, which is prepared
// for drawing first. 0 or the preparation's error.
static int DrawDirect(const BitMap *bm, const Mask *mask, const AlphaChannel *alpha, int32_t sx, int32_t sy,
                      int32_t x, int32_t y, int32_t w, int32_t h)
{
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *pic = CurrentPicture;
    if (!bm) return 0;
    BitMap *dst = nullptr;
    int flags = SAFEBLT_DISPLAYBITMAP;
    int32_t dw = pic ? pic->width : 0, dh = pic ? pic->height : 0;
    if (d && d->outputType == OBJTYPE_DISPLAY) {
        if (d->layerScale && d->scaleWidth && (d->scaleX != 1.0 || d->scaleY != 1.0)) return 0;
        if (d->displayBitMap) {
            dw = d->displayBitMap->width;
            dh = d->displayBitMap->height;
        }
    } else if (d) {
        int code = GetOutputBitmap(d, &dst);
        if (code) return code;
        flags = 0;
        if (dst) {
            dw = dst->width;
            dh = dst->height;
        }
    }
    SafeBlt(bm, sx, sy, dst, x, y, w, h, bm->width, bm->height, dw, dh, flags, mask, alpha,
            pic ? pic->clipRegion : nullptr);
    return 0;
}

int DisplayObject(lua_State *L, void *layer, DirtyRect *damage, int type, ObjectId id, int32_t frame, int32_t sx,
                  int32_t sy, int32_t x, int32_t y, int32_t width, int32_t height, int copyFlag, int optionIndex,
                  TransformRecord *transform, LayerOptions *layerOptions, BitMap **outBitMap, int *outOwned,
                  int flags)
{
    if (outBitMap) *outBitMap = nullptr;
    if (outOwned) *outOwned = 0;
    if (type != OBJTYPE_BRUSH && type != OBJTYPE_BRUSHPART && type != OBJTYPE_ANIM && type != OBJTYPE_BGPICPART)
        return 0;
    // Re-rendering belongs to layers, which this build does not have.
    if (flags & DOBJ_RERENDER) return ERR_LAYERSON;

    // 1.
    ObjectPicture pic = {};
    int code = LookUpObject(L, type, id, frame, flags, &pic);
    if (code) {
        FreeObjectPicture(&pic);
        return code;
    }
    if (type == OBJTYPE_BRUSH || type == OBJTYPE_ANIM) {
        sx = sy = 0;
        width = pic.width;
        height = pic.height;
    }
    // 2.
    if (width < 1 || height < 1) {
        FreeObjectPicture(&pic);
        return ERR_BADSIZE;
    }
    // 3.
    TransformRecord local;
    LayerOptions localOptions;
    TransformRecord *t = transform;
    if (t) {
        if (flags & DOBJ_REDRAWLAYER) GetObjectMatrix(t, width, height);
    } else {
        t = &local;
        code = PrepareTransformedImage(L, optionIndex, width, height, 0, 0, 0, t, &localOptions,
                                       PTI_INIT | (type == OBJTYPE_BGPICPART ? 0 : PTI_NEEDTABLE));
        if (code) {
            FreeObjectPicture(&pic);
            return code;
        }
    }
    // 4.
    sx = ResolveXPos(sx, width, pic.width, 0.0);
    sy = ResolveYPos(sy, height, pic.height, 0.0);
    if (type == OBJTYPE_BGPICPART && x == -1) x = sx;
    if (type == OBJTYPE_BGPICPART && y == -1) y = sy;
    x = ResolveXPos(x, width, 0, t->anchorX);
    y = ResolveYPos(y, height, 0, t->anchorY);
    // 5.
    if (sx < 0 || sy < 0) code = ERR_NEGATIVE;
    else if (sx >= pic.width || sy >= pic.height) code = ERR_OUTOFRANGE;
    if (code) {
        FreeObjectPicture(&pic);
        return code;
    }
    if (width > pic.width - sx) width = pic.width - sx;
    if (height > pic.height - sy) height = pic.height - sy;

    DisplayRecord *d = CurrentDisplay;
    int layersOn = d && d->layersEnabled;
    int identity = IsIdentityTransform(t);
    if (layersOn && pic.brush && pic.brush->type == BRUSHTYPE_VECTOR && !identity) {
        FreeObjectPicture(&pic);
        return ERR_VECTORLAYER;
    }
    // 7. A BGPic part handed out instead of drawn.
    if (type == OBJTYPE_BGPICPART && outBitMap) {
        if (!layersOn) {
            if (sx == 0 && sy == 0 && width == pic.width && height == pic.height) {
                *outBitMap = (BitMap *)pic.bitmap;
            } else {
                code = CutBitMapRegion(pic.bitmap, nullptr, nullptr, sx, sy, width, height, outBitMap, nullptr,
                                       nullptr);
                if (outOwned && !code) *outOwned = 1;
            }
        }
        FreeObjectPicture(&pic);
        return code;
    }
    // 9. With layers on the object becomes a layer of the current picture (anim layers come
    // with the anim library).
    if (layersOn) {
        FreeObjectPicture(&pic);
        if (type == OBJTYPE_ANIM)
            return AddAnimLayer(id, x, y, width, height, t, t == &local ? &localOptions : layerOptions, frame,
                                nullptr);
        ObjectId source = id;
        if (type == OBJTYPE_BGPICPART && id.number == 0xFFFFFFFFu && !id.handle) source = d->bgpic->id;
        // The layer functions get 2 (follow the layer scaling), plus 8 (replace the layer at
        // insertPos) when a layer is redrawn; hidden comes only from the layer options.
        int layerFlags = ADDLAYER_SCALE;
        int32_t insertPos = -1;
        if (flags & DOBJ_REDRAWLAYER) {
            layerFlags |= ADDLAYER_REPLACE;
            if (layer) insertPos = GetLayerIndex(FindLayerPicture((kvLayer *)layer), (kvLayer *)layer);
        }
        return AddObjectLayerOptions(L, (uint32_t)type, source, sx, sy, x, y, width, height, t,
                                     t == &local ? &localOptions : layerOptions, nullptr, nullptr, nullptr, insertPos,
                                     layerFlags);
    }
    // 8.
    const BitMap *bm = pic.bitmap;
    const Mask *mask = pic.mask;
    const AlphaChannel *alpha = pic.alpha;
    BitMap *tb = nullptr;
    Mask *tm = nullptr;
    AlphaChannel *ta = nullptr;
    int32_t drawX = x - (int32_t)trunc(width * t->anchorX), drawY = y - (int32_t)trunc(height * t->anchorY);
    int32_t dw = width, dh = height, dsx = sx, dsy = sy;
    if (!identity) {
        int32_t offX, offY;
        const BitMap *src = (pic.brush && pic.brush->type == BRUSHTYPE_VECTOR) ? nullptr : bm;
        code = TransformImageRegion(t, src, mask, alpha, sx, sy, width, height, &tb, &tm, &ta, &dw, &dh, &offX, &offY);
        if (code) {
            FreeObjectPicture(&pic);
            return code;
        }
        bm = tb;
        mask = tm;
        alpha = ta;
        dsx = dsy = 0;
        drawX += offX;
        drawY += offY;
    }
    // 10.
    if (!(flags & (DOBJ_REDRAWLAYER | DOBJ_NODIRECT)) && bm)
        code = DrawDirect(bm, mask, alpha, dsx, dsy, drawX, drawY, dw, dh);
    // 11.
    FreeTriple(tb, tm, ta);
    FreeObjectPicture(&pic);
    return code;
}

int DisplayBrushAt(lua_State *L, ObjectId id, int32_t x, int32_t y)
{
    return DisplayObject(L, nullptr, nullptr, OBJTYPE_BRUSH, id, 0, 0, 0, x, y, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                         nullptr, 0);
}
