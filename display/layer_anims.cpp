// The layers library's side of anim layers: inserting an anim as a layer, a layer that owns an
// anim of blank frames (CreateLayer "frames"), and changing the frame count of a layer's anim.
#include "display/bgpic.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000, ERR_USAGE = 1055, ERR_BADFRAME = 1094, ERR_BADSIZE = 1218, ERR_DISKBASED = 1338 };

// Transparent colour of the frames of a layer's own anim created with a mask.
static const int32_t CREATED_TRANSPARENT = 0xAFC0DE;

int AnimFrameIndex(int32_t count, int32_t now, int32_t value, int32_t *index)
{
    if (value == 0) *index = count > 0 ? (now + 1) % count : 0;
    else if (value == -1) *index = count - 1;
    else if (value < 1 || value > count) return ERR_BADFRAME;
    else *index = value - 1;
    return 0;
}

int AddAnimLayerAt(ObjectId id, int32_t x, int32_t y, int32_t insertPos, int hidden, int32_t frameValue,
                   kvLayer **out)
{
    AnimNode *node;
    int code = FindAnim(id, &node, 0);
    if (code) return code;
    int32_t frame;
    if ((code = AnimFrameIndex(node->frameCount, 0, frameValue, &frame))) return code;
    LayerOptions o = {};
    o.hidden = hidden;
    o.insertPos = insertPos;
    x = ResolveXPos(x, node->width, 0, 0.0);
    y = ResolveYPos(y, node->height, 0, 0.0);
    return AddAnimLayer(node->id, x, y, node->width, node->height, nullptr, &o, frame, out);
}

// A frame of width x height filled with the colour; its mask or alpha channel all opaque, or
// all transparent with clear.
static int NewFilledFrame(int32_t width, int32_t height, uint32_t colour, int withMask, int withAlpha, int clear,
                          BitMap **bm, Mask **mask, AlphaChannel **alpha)
{
    *bm = AllocBitMap(width, height);
    *mask = withMask && *bm ? AllocMask(*bm, width, height, 1) : nullptr;
    *alpha = withAlpha ? AllocAlphaChannel(width, height, 1) : nullptr;
    if (!*bm || (withMask && !*mask) || (withAlpha && !*alpha)) {
        FreeTriple(*bm, *mask, *alpha);
        *bm = nullptr;
        *mask = nullptr;
        *alpha = nullptr;
        return ERR_NOMEM;
    }
    RectFillBitMap(*bm, 0, 0, width, height, colour & 0xFFFFFF);
    if (*mask && !clear) FillMaskRect(*mask, 0, 0, width, height, MASKVISIBLE);
    if (*alpha && !clear) FillAlphaChannelRect(*alpha, 0, 0, width, height, 255);
    return 0;
}

int CreateAnimLayer(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour, int withMask,
                    int withAlpha, int clear, int32_t frames)
{
    if (width < 1 || height < 1) return ERR_BADSIZE;
    BitMap **bitmaps;
    Mask **masks;
    AlphaChannel **alphas;
    int code = AllocFrameArrays(frames, &bitmaps, &masks, &alphas);
    if (code) return code;
    for (int32_t k = 0; k < frames && !code; k++)
        code = NewFilledFrame(width, height, colour, withMask, withAlpha, clear, &bitmaps[k], &masks[k], &alphas[k]);
    ObjectId id = {0, (void *)1};
    AnimNode *node = nullptr;
    if (code || AddAnimNode(&id, width, height, frames, 0, withMask ? CREATED_TRANSPARENT : -1, bitmaps, masks,
                            alphas, nullptr, &node)) {
        FreeFrameArrays(bitmaps, masks, alphas, nullptr, frames);
        return ERR_NOMEM;
    }
    // The anim belongs to the layer: private, and freed once no layer shows it.
    node->isPrivate = 1;
    kvLayer *l;
    code = AddAnimLayer(id, ResolveXPos(x, width, 0, 0.0), ResolveYPos(y, height, 0, 0.0), width, height, nullptr,
                        nullptr, 0, &l);
    if (code) {
        PurgeAnimNodes();
        return code;
    }
    RefreshLayerRect(l, nullptr);
    return 0;
}

// How many layers of any BGPic show the anim.
static int CountAnimUsers(ObjectId id)
{
    int n = 0;
    for (BGPicNode *b = BGPicList; b; b = b->next) {
        if (!b->layers.first) continue;
        for (ListNode *node = b->layers.first; node->succ; node = node->succ) {
            const kvLayer *l = (const kvLayer *)node;
            if (l->type == OBJTYPE_ANIM && ObjectIdMatches(l->source, id)) n++;
        }
    }
    return n;
}

// The anim of the layer, made the layer's own first: the script's anim, or one other layers
// show, is copied and the layer switched to the copy. 0 or an error code.
static int OwnLayerAnim(kvLayer *layer, AnimNode **out)
{
    AnimNode *node;
    int code = FindAnim(layer->source, &node, FINDANIM_PRIVATE);
    if (code) return code;
    if (!node->isPrivate || CountAnimUsers(layer->source) > 1) {
        ObjectId copyId = {0, (void *)1};
        AnimNode *copy;
        if ((code = CopyAnimNode(node, &copyId, &copy))) return code;
        copy->isPrivate = 1;
        layer->source = copyId;
        node = copy;
    }
    *out = node;
    return 0;
}

int SetAnimLayerFrameCount(kvLayer *layer, int32_t frames, int32_t position)
{
    if (frames < 1) return ERR_USAGE;
    AnimNode *node;
    int code = FindAnim(layer->source, &node, FINDANIM_PRIVATE);
    if (code) return code;
    if (frames != node->frameCount) {
        if ((code = OwnLayerAnim(layer, &node))) return code;
        if ((code = ResizeAnimFrames(node, frames - node->frameCount, position))) return code;
    }
    LayerState *s = layer->sourceState;
    int32_t shown = s->frame, frame = shown < node->frameCount ? shown : 0;
    // The frame is fetched again: its content may have moved.
    s->frame = -1;
    code = SetAnimLayerFrame(layer, frame);
    if (code) s->frame = frame;
    PurgeAnimNodes();
    return code;
}

int AnimLayerBitmaps(const kvLayer *layer, const BitMap **bitmap, const Mask **mask, const AlphaChannel **alpha)
{
    AnimNode *node;
    int code = FindAnim(layer->source, &node, FINDANIM_PRIVATE);
    if (code) return code;
    if (node->diskBased) return ERR_DISKBASED;
    BitMap *bm;
    Mask *mk;
    AlphaChannel *al;
    int owned;
    if ((code = FetchAnimFrame(node, layer->sourceState->frame, 0, 0, &bm, &mk, &al, &owned))) return code;
    *bitmap = bm;
    *mask = mk;
    *alpha = al;
    return 0;
}

int ConvertAnimLayer(kvLayer *layer, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha)
{
    AnimNode *node;
    int code = FindAnim(layer->source, &node, FINDANIM_PRIVATE);
    if (code) return code;
    if (node->diskBased) return ERR_DISKBASED;
    if (frame < 0 || frame >= node->frameCount) return ERR_BADFRAME;
    if ((code = OwnLayerAnim(layer, &node))) return code;
    int owned;
    if ((code = FetchAnimFrame(node, frame, 0, 0, bitmap, mask, alpha, &owned))) return code;
    // From now on the layer shows its frame straight from its anim, not a copy of it, so
    // what is drawn appears whenever that frame is shown.
    LayerState *s = layer->sourceState;
    FreeTriple(s->bitmap, s->mask, s->alpha);
    s->bitmap = nullptr;
    s->mask = nullptr;
    s->alpha = nullptr;
    if (s->frame < 0 || s->frame >= node->frameCount) s->frame = 0;
    s->frameCount = node->frameCount;
    PurgeAnimNodes();
    return 0;
}
