// The anim store: the list, lookup, frame access, copies, copy-on-change while layers show an
// anim, freeing and the conversion of frames decoded before the first display opened.
#include "pictures/anim.h"

#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/layer.h"
#include "gfx/scale.h"
#include "pictures/anim_file.h"
#include "pictures/display_object.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

enum { ERR_NOMEM = 1000, ERR_NOTFOUND = 1041, ERR_RANGE = 1094, ERR_NOANIM = 1176, ERR_FRAME = 1270,
       ERR_LOCKED = 1314, ERR_ACTIVE = 1340 };

AnimNode *AnimList;

// ---------------------------------------------------------------------------------------------
// Layers that show an anim

typedef void (*AnimLayerVisit)(kvLayer *layer, void *data);

// Calls visit for every anim layer of every BGPic that shows the id; returns their number.
static int ForEachAnimLayer(ObjectId id, AnimLayerVisit visit, void *data)
{
    int n = 0;
    for (BGPicNode *pic = BGPicList; pic; pic = pic->next) {
        if (!pic->layers.first) continue;
        for (ListNode *ln = pic->layers.first; ln->succ; ln = ln->succ) {
            kvLayer *layer = (kvLayer *)ln;
            if (layer->type != OBJTYPE_ANIM || !ObjectIdMatches(layer->source, id)) continue;
            n++;
            if (visit) visit(layer, data);
        }
    }
    return n;
}

static void RekeyLayer(kvLayer *layer, void *data) { layer->source = *(ObjectId *)data; }

static int IsShownByLayers(const AnimNode *node) { return ForEachAnimLayer(node->id, nullptr, nullptr) > 0; }

// The layers showing the anim go over to a private copy, so the anim itself may change.
static int DetachFromLayers(AnimNode *node)
{
    if (!IsShownByLayers(node)) return 0;
    ObjectId copyId = {0, (void *)1};
    AnimNode *copy;
    int code = CopyAnimNode(node, &copyId, &copy);
    if (code) return code;
    copy->isPrivate = 1;
    ForEachAnimLayer(node->id, RekeyLayer, &copyId);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Lookup and creation

int FindAnim(ObjectId id, AnimNode **out, int flags)
{
    *out = nullptr;
    for (AnimNode *n = AnimList; n; n = n->next) {
        if (n->isPrivate && !(flags & FINDANIM_PRIVATE)) continue;
        if (n->id.number != id.number || n->id.handle != id.handle) continue;
        if (flags & FINDANIM_FORCHANGE) {
            if (n->lockCount) return ERR_LOCKED;
            if (!(flags & FINDANIM_NOCOPY)) {
                int code = DetachFromLayers(n);
                if (code) return code;
            }
        }
        *out = n;
        return 0;
    }
    if (id.handle) return ERR_NOTFOUND;
    SetErrorNumber((long)id.number);
    return ERR_NOANIM;
}

int AllocFrameArrays(int32_t count, BitMap ***bitmaps, Mask ***masks, AlphaChannel ***alphas)
{
    *bitmaps = (BitMap **)MemAlloc(sizeof(BitMap *) * (size_t)count, 1);
    *masks = (Mask **)MemAlloc(sizeof(Mask *) * (size_t)count, 1);
    *alphas = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *) * (size_t)count, 1);
    if (*bitmaps && *masks && *alphas) return 0;
    FreeFrameArrays(*bitmaps, *masks, *alphas, nullptr, 0);
    *bitmaps = nullptr;
    *masks = nullptr;
    *alphas = nullptr;
    return ERR_NOMEM;
}

static void AppendNode(AnimNode *node)
{
    AnimNode **tail = &AnimList;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
}

int AddAnimNode(ObjectId *id, int32_t width, int32_t height, int32_t frameCount, uint32_t diskBased,
                int32_t transparentColour, BitMap **bitmaps, Mask **masks, AlphaChannel **alphas,
                uint32_t **rawPixels, AnimNode **out)
{
    AnimNode *node = (AnimNode *)MemAlloc(sizeof(AnimNode), 1);
    int32_t *delays = (int32_t *)MemAlloc(sizeof(int32_t) * (size_t)frameCount, 0);
    if (!node || !delays) {
        MemFree(node);
        MemFree(delays);
        return ERR_NOMEM;
    }
    for (int32_t i = 0; i < frameCount; i++) delays[i] = -1;
    if (id->handle) id->handle = node;
    node->id = *id;
    node->width = node->storedWidth = width;
    node->height = node->storedHeight = height;
    node->frameCount = frameCount;
    node->diskBased = diskBased;
    node->transparentColour = transparentColour;
    node->bitmaps = bitmaps;
    node->masks = masks;
    node->alphas = alphas;
    node->rawPixels = rawPixels;
    node->delays = delays;
    AppendNode(node);
    if (out) *out = node;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Frames

// Converts ARGB words into a bitmap and, with a transparent colour, its mask.
static int ConvertWords(const uint32_t *words, int32_t width, int32_t height, int32_t transparentColour,
                        BitMap **bitmap, Mask **mask)
{
    *mask = nullptr;
    return BitMapFromARGB(words, transparentColour, width, height, width, bitmap,
                          transparentColour == -1 ? nullptr : mask);
}

int FetchAnimFrame(AnimNode *node, int32_t index, int copy, int unscaled, BitMap **bitmap, Mask **mask,
                   AlphaChannel **alpha, int *owned)
{
    *bitmap = nullptr;
    *mask = nullptr;
    *alpha = nullptr;
    if (owned) *owned = 0;
    if (index < 0 || index >= node->frameCount) return ERR_RANGE;
    if (!node->diskBased) {
        if (node->rawPixels && node->rawPixels[index] && !node->bitmaps[index]) {
            // Still waiting for the first display: convert this frame now.
            int code = ConvertWords(node->rawPixels[index], node->storedWidth, node->storedHeight,
                                    node->transparentColour, &node->bitmaps[index], &node->masks[index]);
            if (code) return code;
            MemFree(node->rawPixels[index]);
            node->rawPixels[index] = nullptr;
        }
        BitMap *bm = node->bitmaps[index];
        if (!bm) return ERR_FRAME;
        if (!copy) {
            *bitmap = bm;
            *mask = node->masks[index];
            *alpha = node->alphas[index];
            return 0;
        }
        int code = CutBitMapRegion(bm, node->masks[index], node->alphas[index], 0, 0, node->width, node->height,
                                   bitmap, mask, alpha);
        if (!code && owned) *owned = 1;
        return code;
    }
    uint32_t *words = GetAnimFileFrame(node->animFile, index);
    if (!words) return ERR_FRAME;
    BitMap *bm;
    Mask *mk;
    int code = ConvertWords(words, node->storedWidth, node->storedHeight, node->transparentColour, &bm, &mk);
    MemFree(words);
    if (code) return code;
    if (!unscaled && (node->storedWidth != node->width || node->storedHeight != node->height)) {
        BitMap *sb = nullptr;
        Mask *sm = nullptr;
        AlphaChannel *sa = nullptr;
        code = ScaleBitMapTriple(bm, mk, nullptr, 0, 0, nullptr, node->storedWidth, node->storedHeight, node->width,
                                 node->height, (int)node->smoothScale, &sb, &sm, &sa);
        FreeTriple(bm, mk, nullptr);
        if (code) return code;
        bm = sb;
        mk = sm;
    }
    *bitmap = bm;
    *mask = mk;
    if (owned) *owned = 1;
    return 0;
}

int32_t AnimFrameDelay(const AnimNode *node, int32_t index)
{
    if (index < 0 || index >= node->frameCount) return 0;
    if (node->delays[index] != -1) return node->delays[index];
    if (node->diskBased) return GetAnimFileDelay(node->animFile, index);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Copies

int CopyAnimNode(const AnimNode *src, ObjectId *newId, AnimNode **out)
{
    BitMap **bitmaps = nullptr;
    Mask **masks = nullptr;
    AlphaChannel **alphas = nullptr;
    AnimFile *file = nullptr;
    char *name = nullptr;
    int code = 0;
    int32_t n = src->frameCount;
    if (src->diskBased) {
        int32_t w, h, count;
        code = LoadAnimFile(src->fileName, &file, &w, &h, &count);
        if (!code) {
            name = (char *)MemAlloc(strlen(src->fileName) + 1, 0);
            if (!name) code = ERR_NOMEM;
            else strcpy(name, src->fileName);
        }
    } else {
        code = AllocFrameArrays(n, &bitmaps, &masks, &alphas);
        for (int32_t i = 0; i < n && !code; i++) {
            BitMap *bm;
            Mask *mk;
            AlphaChannel *al;
            int owned;
            code = FetchAnimFrame((AnimNode *)src, i, 1, 0, &bm, &mk, &al, &owned);
            if (!code) {
                bitmaps[i] = bm;
                masks[i] = mk;
                alphas[i] = al;
            }
        }
    }
    AnimNode *node = nullptr;
    if (!code)
        code = AddAnimNode(newId, src->width, src->height, n, src->diskBased, src->transparentColour, bitmaps, masks,
                           alphas, nullptr, &node);
    if (code) {
        FreeFrameArrays(bitmaps, masks, alphas, nullptr, n);
        FreeAnimFile(file);
        MemFree(name);
        return code;
    }
    node->storedWidth = src->storedWidth;
    node->storedHeight = src->storedHeight;
    node->animFile = file;
    node->fileName = name;
    memcpy(node->delays, src->delays, sizeof(int32_t) * (size_t)n);
    if (out) *out = node;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Freeing

void FreeFrameArrays(BitMap **bitmaps, Mask **masks, AlphaChannel **alphas, uint32_t **rawPixels, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        if (bitmaps) FreeBitMap(bitmaps[i]);
        if (masks) FreeMask(masks[i]);
        if (alphas) FreeAlphaChannel(alphas[i]);
        if (rawPixels) MemFree(rawPixels[i]);
    }
    MemFree(bitmaps);
    MemFree(masks);
    MemFree(alphas);
    MemFree(rawPixels);
}

void FreeAnimFrames(AnimNode *node)
{
    MemFree(node->delays);
    node->delays = nullptr;
    if (node->diskBased) {
        FreeAnimFile(node->animFile);
        MemFree(node->fileName);
        node->animFile = nullptr;
        node->fileName = nullptr;
        return;
    }
    FreeFrameArrays(node->bitmaps, node->masks, node->alphas, node->rawPixels, node->frameCount);
    node->bitmaps = nullptr;
    node->masks = nullptr;
    node->alphas = nullptr;
    node->rawPixels = nullptr;
}

static void UnlinkAndFree(AnimNode *node)
{
    for (AnimNode **p = &AnimList; *p; p = &(*p)->next) {
        if (*p != node) continue;
        *p = node->next;
        break;
    }
    FreeAnimFrames(node);
    MemFree(node);
}

int IsAnimOutputTarget(const AnimNode *node)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d || d->outputType == OBJTYPE_DISPLAY || !d->selection) return 0;
    return d->selection->selectionKind == OBJTYPE_ANIM && d->selection->selectionSource == node;
}

int FreeAnimObject(lua_State *L, ObjectId id, int report)
{
    AnimNode *node;
    int code = FindAnim(id, &node, 0);
    if (code) return report ? code : 0;
    if (IsAnimOutputTarget(node)) return ERR_ACTIVE;
    if (node->lockCount) return ERR_LOCKED;
    if (IsShownByLayers(node)) {
        // The layers keep showing it under the node's own address until they let go of it.
        ObjectId own = {0, node};
        ForEachAnimLayer(node->id, RekeyLayer, &own);
        node->id = own;
        node->isPrivate = 1;
        return 0;
    }
    UnlinkAndFree(node);
    return 0;
}

void PurgeAnimNodes(void)
{
    AnimNode *n = AnimList;
    while (n) {
        AnimNode *next = n->next;
        if (n->isPrivate && !IsShownByLayers(n)) UnlinkAndFree(n);
        n = next;
    }
}

int BuildPendingAnimBitmaps(void)
{
    int first = 0;
    for (AnimNode *n = AnimList; n; n = n->next) {
        if (n->diskBased || !n->rawPixels) continue;
        for (int32_t i = 0; i < n->frameCount; i++) {
            if (!n->rawPixels[i]) continue;
            int code = ConvertWords(n->rawPixels[i], n->storedWidth, n->storedHeight, n->transparentColour,
                                    &n->bitmaps[i], &n->masks[i]);
            if (code) {
                if (!first) first = code;
                continue;
            }
            MemFree(n->rawPixels[i]);
            n->rawPixels[i] = nullptr;
        }
    }
    return first;
}

int CountAnims(void)
{
    int n = 0;
    for (AnimNode *a = AnimList; a; a = a->next) n++;
    return n;
}

void FreeAllAnimNodes(void)
{
    while (AnimList) {
        AnimNode *n = AnimList;
        AnimList = n->next;
        FreeAnimFrames(n);
        MemFree(n);
    }
}
