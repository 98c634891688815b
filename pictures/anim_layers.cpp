// Anim frames as layers: a layer of type #ANIM owns a copy of the frame it shows (so it keeps
// showing it while the anim changes or is freed) and remembers the frame number; changing the
// frame replaces the copy and redraws the layer's rectangle.
#include "display/bgpic.h"
#include "display/layer.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000 };

// A copy of a frame of the anim a layer shows (freed anims are found too).
static int CopyLayerFrame(ObjectId id, int32_t frame, AnimNode **node, BitMap **bm, Mask **mk, AlphaChannel **al)
{
    int code = FindAnim(id, node, FINDANIM_PRIVATE);
    if (code) return code;
    int owned;
    return FetchAnimFrame(*node, frame, 1, 0, bm, mk, al, &owned);
}

int AddAnimLayer(ObjectId id, int32_t x, int32_t y, int32_t width, int32_t height, const TransformRecord *transform,
                 const LayerOptions *options, int32_t frame, kvLayer **out)
{
    if (out) *out = nullptr;
    AnimNode *node;
    BitMap *bm;
    Mask *mk;
    AlphaChannel *al;
    int code = CopyLayerFrame(id, frame, &node, &bm, &mk, &al);
    if (code) return code;
    LayerState *s = NewLayerState(nullptr);
    if (!s) {
        FreeTriple(bm, mk, al);
        return ERR_NOMEM;
    }
    s->bitmap = bm;
    s->mask = mk;
    s->alpha = al;
    s->x = x;
    s->y = y;
    s->width = width;
    s->height = height;
    s->frame = frame;
    s->frameCount = node->frameCount;
    int32_t insertPos = options && options->insertPos > 0 ? options->insertPos : -1;
    return AddLayer(OBJTYPE_ANIM, &id, transform, options, s, insertPos, ADDLAYER_SCALE, out);
}

int SetAnimLayerFrame(kvLayer *layer, int32_t frame)
{
    LayerState *s = layer->sourceState;
    if (s->frame == frame && s->bitmap) return 0;
    AnimNode *node;
    BitMap *bm;
    Mask *mk;
    AlphaChannel *al;
    int code = CopyLayerFrame(layer->source, frame, &node, &bm, &mk, &al);
    if (code) return code;
    const LayerState *d = layer->drawnState;
    DirtyRect old = {d->drawnX, d->drawnY, d->drawnX + d->drawnWidth - 1, d->drawnY + d->drawnHeight - 1};
    FreeTriple(s->bitmap, s->mask, s->alpha);
    s->bitmap = bm;
    s->mask = mk;
    s->alpha = al;
    s->frame = frame;
    s->frameCount = node->frameCount;
    if ((code = BuildLayerState(layer, 0))) return code;
    if (!layer->hidden) RefreshLayerRect(layer, &old);
    return 0;
}

// The topmost layer of the current picture that shows the anim.
kvLayer *FindTopAnimLayer(ObjectId id)
{
    BGPicNode *pic = CurrentPicture;
    if (!pic || !pic->layers.first) return nullptr;
    for (ListNode *n = pic->layers.last; n && n->pred; n = n->pred) {
        kvLayer *l = (kvLayer *)n;
        if (l->type == OBJTYPE_ANIM && ObjectIdMatches(l->source, id)) return l;
    }
    return nullptr;
}
