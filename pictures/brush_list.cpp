// The brush list: append, lookup with copy-on-change, free and deferred free, and the building
// of pictures that were loaded while the declared objects were created.
#include "pictures/brush.h"

#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "gfx/scale.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"

enum {
    ERR_NOMEM = 1000, ERR_NOTFOUND = 1041, ERR_ACTIVEBRUSH = 1149, ERR_NOBRUSH = 1174, ERR_LOCKED = 1314,
    ERR_BRUSHTYPE = 1388
};

BrushNode *BrushList = nullptr;
static BrushLayerLinks LayerLinks;

void SetBrushLayerLinks(const BrushLayerLinks *links)
{
    if (links) LayerLinks = *links;
    else memset(&LayerLinks, 0, sizeof LayerLinks);
}

static int BuildBrushBitmap(BrushNode *b);

static int ShownByLayers(ObjectId id) { return LayerLinks.isShown && LayerLinks.isShown(id); }

static int SameId(ObjectId a, ObjectId b) { return a.number == b.number && a.handle == b.handle; }

int AddBrushNode(ObjectId *id, uint32_t type, int32_t width, int32_t height, int32_t rawRowLength,
                 uint32_t vectorTransformed, uint32_t *rawPixels, BitMap *bitmap, int32_t transparentColor,
                 Mask *mask, AlphaChannel *alpha, void *vectorData)
{
    BrushNode *n = (BrushNode *)MemAlloc(sizeof(BrushNode), 1);
    if (!n) return ERR_NOMEM;
    if (id->handle) id->handle = n;
    n->id = *id;
    n->type = type;
    n->width = width;
    n->height = height;
    n->rawRowLength = rawRowLength;
    n->vectorTransformed = vectorTransformed;
    n->rawPixels = rawPixels;
    n->bitmap = bitmap;
    n->transparentColor = transparentColor;
    n->mask = mask;
    n->alpha = alpha;
    n->vectorData = vectorData;
    BrushNode **tail = &BrushList;
    while (*tail) tail = &(*tail)->next;
    *tail = n;
    return 0;
}

int CountBrushes(void)
{
    int n = 0;
    for (BrushNode *b = BrushList; b; b = b->next) n++;
    return n;
}

static int NotFound(ObjectId id)
{
    if (id.handle) return ERR_NOTFOUND;
    SetErrorNumber((long)id.number);
    return ERR_NOBRUSH;
}

int CopyBrushPlanes(const BrushNode *node, BitMap **bitmap, Mask **mask, AlphaChannel **alpha)
{
    *bitmap = nullptr;
    *mask = nullptr;
    *alpha = nullptr;
    if (!node->bitmap) return 0;
    return CutBitMapRegion(node->bitmap, node->mask, node->alpha, 0, 0, node->width, node->height, bitmap, mask,
                           alpha);
}

void ReplaceBrushPlanes(BrushNode *node, BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t width,
                        int32_t height)
{
    if (node->bitmap != bitmap) FreeBitMap(node->bitmap);
    if (node->mask != mask) FreeMask(node->mask);
    if (node->alpha != alpha) FreeAlphaChannel(node->alpha);
    node->bitmap = bitmap;
    node->mask = mask;
    node->alpha = alpha;
    node->width = width;
    node->height = height;
}

// Layers that show the brush get a private copy, marked freed so that it goes with the last
// of them; the brush itself may then change.
static int DetachFromLayers(BrushNode *node)
{
    if (!ShownByLayers(node->id)) return 0;
    BitMap *bm;
    Mask *mask;
    AlphaChannel *alpha;
    if (CopyBrushPlanes(node, &bm, &mask, &alpha)) return ERR_NOMEM;
    ObjectId copy = {0, (void *)1};
    if (AddBrushNode(&copy, node->type, node->width, node->height, node->width, node->vectorTransformed, nullptr,
                     bm, node->transparentColor, mask, alpha, node->vectorData)) {
        FreeTriple(bm, mask, alpha);
        return ERR_NOMEM;
    }
    ((BrushNode *)copy.handle)->freed = 1;
    if (LayerLinks.rekey) LayerLinks.rekey(node->id, copy);
    return 0;
}

int GetBrushNode(ObjectId id, BrushNode **out, int flags)
{
    *out = nullptr;
    BrushNode *found = nullptr;
    for (BrushNode *b = BrushList; b; b = b->next) {
        if (!SameId(b->id, id)) continue;
        if (b->freed && !(flags & BRUSH_FINDFREED)) continue;
        found = b;
        break;
    }
    if (!found) return NotFound(id);
    // Brushes loaded while the declared objects were created get their bitmap at first use
    // when nobody built them yet; every command then works on bitmap, size and planes alike.
    if (found->rawPixels) {
        int code = BuildBrushBitmap(found);
        if (code) return code;
    }
    if ((flags & BRUSH_NOVECTOR) && found->type == BRUSHTYPE_VECTOR) return ERR_BRUSHTYPE;
    if (flags & BRUSH_FORCHANGE) {
        if (found->locked) return ERR_LOCKED;
        if (!(flags & BRUSH_NODETACH)) {
            int code = DetachFromLayers(found);
            if (code) return code;
        }
    }
    *out = found;
    return 0;
}

int IsBrushOutputTarget(const BrushNode *node)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d || !node) return 0;
    if (d->outputType != OBJTYPE_BRUSH && d->outputType != OBJTYPE_MASK && d->outputType != OBJTYPE_ALPHACHANNEL)
        return 0;
    const BGPicNode *sel = d->selection;
    if (!sel || sel->selectionKind != OBJTYPE_BRUSH) return 0;
    return sel->selectionSource == node || SameId(sel->id, node->id);
}

static void FreeNodeContents(BrushNode *n)
{
    MemFree(n->rawPixels);
    FreeBitMap(n->bitmap);
    FreeMask(n->mask);
    FreeAlphaChannel(n->alpha);
    MemFree(n);
}

static void Unlink(BrushNode *node)
{
    for (BrushNode **p = &BrushList; *p; p = &(*p)->next)
        if (*p == node) {
            *p = node->next;
            return;
        }
}

int FreeBrushObject(lua_State *L, ObjectId id, int reportMissing)
{
    BrushNode *node = nullptr;
    for (BrushNode *b = BrushList; b; b = b->next)
        if (!b->freed && SameId(b->id, id)) {
            node = b;
            break;
        }
    if (node && IsBrushOutputTarget(node)) return ERR_ACTIVEBRUSH;
    if (!node) return reportMissing ? NotFound(id) : 0;
    if (node->locked) return ERR_LOCKED;
    if (ShownByLayers(node->id)) {
        ObjectId old = node->id;
        node->id = {0, node};
        node->freed = 1;
        if (LayerLinks.rekey) LayerLinks.rekey(old, node->id);
        return 0;
    }
    Unlink(node);
    FreeNodeContents(node);
    return 0;
}

void PurgeBrushNodes(void)
{
    BrushNode **p = &BrushList;
    while (*p) {
        BrushNode *b = *p;
        if (b->freed && !ShownByLayers(b->id)) {
            *p = b->next;
            FreeNodeContents(b);
        } else {
            p = &b->next;
        }
    }
}

void FreeAllBrushes(lua_State *L)
{
    while (BrushList) {
        BrushNode *b = BrushList;
        BrushList = b->next;
        FreeNodeContents(b);
    }
}

// Bitmap and mask from the raw pixels kept while the declared objects were created; with an
// alpha channel the key colour is already part of it and no mask is made.
static int BuildBrushBitmap(BrushNode *b)
{
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    int code = BitMapFromARGB(b->rawPixels, b->alpha ? -1 : b->transparentColor, b->width, b->height,
                              b->rawRowLength, &bm, b->alpha ? nullptr : &mask);
    if (code) return code;
    FreeBitMap(b->bitmap);
    FreeMask(b->mask);
    b->bitmap = bm;
    b->mask = mask;
    MemFree(b->rawPixels);
    b->rawPixels = nullptr;
    return 0;
}

int BuildPendingBrushBitmaps(void)
{
    for (BrushNode *b = BrushList; b; b = b->next) {
        if (!b->rawPixels) continue;
        int code = BuildBrushBitmap(b);
        if (code) return code;
    }
    return 0;
}
