// Deriving a layer's transformed and drawn states: the layer's own transform, then the display's
// layer scaling, each rendered from the source content into images of its own.
#include <cmath>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "gfx/scale.h"
#include "pictures/display_object.h"

enum { ERR_NOMEM = 1000 };

int DisplayScalesLayers(const DisplayRecord *d, double *fx, double *fy)
{
    int on = d && d->layerScale && d->scaleWidth && d->scaleHeight && d->bgpic == CurrentPicture &&
             (d->scaleX != 1.0 || d->scaleY != 1.0);
    if (fx) *fx = on ? d->scaleX : 1.0;
    if (fy) *fy = on ? d->scaleY : 1.0;
    return on;
}

static void FreeUnshared(kvLayer *l, LayerState *s)
{
    if (s && s != l->sourceState && s != l->transformedState && s != l->drawnState) FreeLayerState(l->type, s);
}

// The buffers of a layer transition move to the state drawn from now on (unless it has some).
void MoveTransitionBuffers(LayerState *to, LayerState *from)
{
    if (!to || !from || from == to || to->fxBitMap || to->fxMask || to->fxAlpha) return;
    to->fxBitMap = from->fxBitMap;
    to->fxMask = from->fxMask;
    to->fxAlpha = from->fxAlpha;
    from->fxBitMap = nullptr;
    from->fxMask = nullptr;
    from->fxAlpha = nullptr;
}

// The drawn state becomes the transformed one.
static void DropDrawnState(kvLayer *l)
{
    LayerState *old = l->drawnState;
    if (old == l->transformedState) return;
    MoveTransitionBuffers(l->transformedState, old);
    l->drawnState = l->transformedState;
    FreeUnshared(l, old);
}

// Every position of a layer stays within kCoordLimit (see ClampCoord), so that its rectangles
// can be worked out in 32 bits.
void PlaceLayerState(const kvLayer *l, LayerState *s, int32_t x, int32_t y, double fx, double fy)
{
    s->x = ClampCoordD(nearbyint(x * fx));
    s->y = ClampCoordD(nearbyint(y * fy));
    s->anchoredX = s->x;
    s->anchoredY = s->y;
    if (l->type != LAYERTYPE_LINE) {
        s->anchoredX = ClampCoordD(s->x - nearbyint(s->width * fx * l->anchorX));
        s->anchoredY = ClampCoordD(s->y - nearbyint(s->height * fy * l->anchorY));
    }
    s->drawnX = ClampCoord((int64_t)s->anchoredX + s->renderOffset[0]);
    s->drawnY = ClampCoord((int64_t)s->anchoredY + s->renderOffset[1]);
}

// The region a derived state clips with: the source state's as it is for a layer whose region
// is not transformed (unless the display scales it), else a transformed copy of its own. A copy
// that can't be made (or of which nothing is left) leaves the source state's region.
static ClipRegionNode *DerivedClipRegion(const kvLayer *l, const TransformRecord *t, int scalePass)
{
    ClipRegionNode *region = l->sourceState->clipRegion;
    if (!region || (!scalePass && l->noClipTransform)) return region;
    const double m[4] = {t->a, t->b, t->c, t->d};
    ClipRegionNode *copy = TransformClipRegion(region, l->anchorX, l->anchorY, m, nullptr, 0,
                                               scalePass && l->noClipTransform);
    return copy ? copy : region;
}

// Renders the source content through the matrix into a new state placed about the anchor.
static int RenderState(kvLayer *l, const TransformRecord *t, double fx, double fy, LayerState **out)
{
    const LayerState *src = l->sourceState;
    LayerState *ns = NewLayerState(src);
    if (!ns) return ERR_NOMEM;
    ns->partX = ns->partY = 0;
    int32_t ow, oh, ox, oy;
    // A shape is drawn again through the matrix; other content is resampled.
    const double m[4] = {t->a, t->b, t->c, t->d};
    int code = RenderShapeLayerState(l, m, &ns->bitmap, &ns->mask, &ns->alpha, &ow, &oh, &ox, &oy);
    // A text layer is laid out again at the new size.
    if (code < 0 && TextLayerHooks.render)
        code = TextLayerHooks.render(l, t, &ns->bitmap, &ns->mask, &ns->alpha, &ow, &oh, &ox, &oy);
    if (code < 0) {
        const BitMap *bm;
        const Mask *mask;
        const AlphaChannel *alpha;
        int32_t sx, sy;
        code = GetLayerBitmaps(l, src, &bm, &mask, &alpha, &sx, &sy);
        if (!code)
            code = TransformImageRegion(t, bm, mask, alpha, sx, sy, src->width, src->height, &ns->bitmap, &ns->mask,
                                        &ns->alpha, &ow, &oh, &ox, &oy);
    }
    if (code) {
        FreeLayerState(l->type, ns);
        return code;
    }
    ns->clipRegion = DerivedClipRegion(l, t, fx != 1.0 || fy != 1.0);
    ns->drawnWidth = ow;
    ns->drawnHeight = oh;
    // The renderers give the corner from the unscaled anchored position, about an anchor point
    // that lies at (width x anchor x, height x anchor y) from it; the display's scaling moves
    // that point, like the anchored position placed below, by its factors (a line is placed
    // by its end points, without an anchor).
    double ax = l->type == LAYERTYPE_LINE ? 0.0 : src->width * l->anchorX * (fx - 1.0);
    double ay = l->type == LAYERTYPE_LINE ? 0.0 : src->height * l->anchorY * (fy - 1.0);
    ns->renderOffset[0] = ClampCoordD(ox + nearbyint(ax));
    ns->renderOffset[1] = ClampCoordD(oy + nearbyint(ay));
    PlaceLayerState(l, ns, src->x, src->y, fx, fy);
    *out = ns;
    return 0;
}

static int BuildState(kvLayer *l, int flags)
{
    DisplayRecord *d = CurrentDisplay;
    TransformRecord t = l->transform;
    t.anchorX = l->anchorX;
    t.anchorY = l->anchorY;
    if (flags & BUILD_SCALEPASS) {
        if (!DisplayScalesLayers(d, nullptr, nullptr)) {
            DropDrawnState(l);
            return 0;
        }
        double fx = d->scaleX, fy = d->scaleY;
        t.a *= fx;
        t.c *= fx;
        t.b *= fy;
        t.d *= fy;
        t.scaleX *= fx;
        t.scaleY *= fy;
        t.smoothScale = d->smoothScale;
        LayerState *ns;
        int code = RenderState(l, &t, fx, fy, &ns);
        if (code) return code;
        LayerState *old = l->drawnState;
        MoveTransitionBuffers(ns, old);
        l->drawnState = ns;
        FreeUnshared(l, old);
        return 0;
    }
    LayerState *oldT = l->transformedState, *oldD = l->drawnState;
    if (IsIdentityTransform(&t)) {
        l->transformedState = l->drawnState = l->sourceState;
    } else {
        LayerState *ns;
        int code = RenderState(l, &t, 1.0, 1.0, &ns);
        if (code) return code;
        l->transformedState = l->drawnState = ns;
    }
    // A layer transition's buffers go on in the state drawn from now on.
    MoveTransitionBuffers(l->drawnState, oldD);
    if (oldD != oldT) FreeUnshared(l, oldD);
    FreeUnshared(l, oldT);
    if (DisplayScalesLayers(d, nullptr, nullptr)) return BuildState(l, BUILD_SCALEPASS);
    return 0;
}

int BuildLayerState(kvLayer *l, int flags)
{
    int code = BuildState(l, flags);
    // The images of the layer's drawn state changed (or a failed build left the old ones):
    // whoever draws from them, an asynchronous transition, takes them again.
    if (LayerHooks.notifyAsync) LayerHooks.notifyAsync(ADCTL_LAYERCHANGED, l);
    return code;
}

int RebuildAllLayers(lua_State *L, DisplayRecord *display)
{
    BGPicNode *pic = display ? display->bgpic : nullptr;
    if (!pic || !pic->layers.first) return 0;
    DisplayRecord *savedDisplay = CurrentDisplay;
    BGPicNode *savedPicture = CurrentPicture;
    CurrentDisplay = display;
    CurrentPicture = pic;
    int code = 0;
    for (ListNode *n = pic->layers.first; n->succ && !code; n = n->succ)
        code = BuildLayerState((kvLayer *)n, BUILD_SCALEPASS | BUILD_DRAWN);
    CurrentDisplay = savedDisplay;
    CurrentPicture = savedPicture;
    return code;
}

void DropScaledLayerStates(BGPicNode *bgpic)
{
    if (!bgpic || !bgpic->layers.first) return;
    for (ListNode *n = bgpic->layers.first; n->succ; n = n->succ) {
        kvLayer *l = (kvLayer *)n;
        if (l->drawnState == l->transformedState) continue;
        int hadFx = l->drawnState->fxBitMap || l->drawnState->fxMask || l->drawnState->fxAlpha;
        DropDrawnState(l);
        if ((hadFx || l->transitionAttached) && LayerHooks.notifyAsync) LayerHooks.notifyAsync(1, l);
    }
}
