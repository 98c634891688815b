// The text-object store and its commands.
#include "text/text_objects.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "pictures/display_object.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "text/font.h"
#include "text/text_layers.h"
#include "text/text_layout.h"
#include "text/text_lib.h"
#include "text/text_transform.h"

static TextObjectNode *TextObjects = nullptr;

static void Append(TextObjectNode *node);

// Whether any layer of any BGPic shows the node.
static int Shown(const TextObjectNode *n) { return IsObjectUsedByLayers(OBJTYPE_TEXTOBJECT, n->id, nullptr); }

// The private copy a layer showing a node gets before the node changes: listed, pending-free,
// known by its handle only.
static int CopyForLayers(void *userdata, ObjectId *newId)
{
    TextObjectNode *copy = CopyTextObjectNode((const TextObjectNode *)userdata);
    if (!copy) return 1000;
    copy->id.number = 0;
    copy->id.handle = copy;
    copy->pendingFree = 1;
    Append(copy);
    newId->number = 0;
    newId->handle = copy;
    return 0;
}

int FindTextObject(ObjectId id, int flags, TextObjectNode **out)
{
    *out = nullptr;
    for (TextObjectNode *n = TextObjects; n; n = n->next) {
        if (n->pendingFree && !(flags & TOBJ_PENDING)) continue;
        if (!ObjectIdMatches(n->id, id)) continue;
        if (flags & TOBJ_FORCHANGE) {
            if (n->locked) return 1314;
            if (!(flags & TOBJ_NOCOPY)) {
                int code = ForEachLayerUsingObject(OBJTYPE_TEXTOBJECT, n->id, CopyForLayers, n, nullptr);
                if (code) return code;
            }
        }
        *out = n;
        return 0;
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1175;
}

int CountTextObjects(void)
{
    int n = 0;
    for (TextObjectNode *t = TextObjects; t; t = t->next) n++;
    return n;
}

void FreeTextObjectNode(TextObjectNode *n)
{
    if (!n) return;
    FreeTriple(n->bitmap, n->mask, n->alpha);
    FreeTextState(n->state);
    MemFree(n);
}

static void Unlink(TextObjectNode *node)
{
    for (TextObjectNode **p = &TextObjects; *p; p = &(*p)->next)
        if (*p == node) {
            *p = node->next;
            return;
        }
}

static void Append(TextObjectNode *node)
{
    TextObjectNode **tail = &TextObjects;
    while (*tail) tail = &(*tail)->next;
    node->next = nullptr;
    *tail = node;
}

void FlushTextObjects(void)
{
    for (TextObjectNode **p = &TextObjects; *p;) {
        TextObjectNode *n = *p;
        if (n->pendingFree && !Shown(n)) {
            *p = n->next;
            FreeTextObjectNode(n);
        } else {
            p = &n->next;
        }
    }
}

void FreeAllTextObjects(void)
{
    while (TextObjects) {
        TextObjectNode *n = TextObjects;
        TextObjects = n->next;
        FreeTextObjectNode(n);
    }
}

int FreeTextObjectById(ObjectId id, int report)
{
    TextObjectNode *n;
    int code = FindTextObject(id, 0, &n);
    if (code) return report ? code : 0;
    if (n->locked) return 1314;
    if (Shown(n)) {
        RekeyLayersUsingObject(OBJTYPE_TEXTOBJECT, n->id, n);
        n->id.number = 0;
        n->id.handle = n;
        n->pendingFree = 1;
        return 0;
    }
    Unlink(n);
    FreeTextObjectNode(n);
    return 0;
}

TextObjectNode *CopyTextObjectNode(const TextObjectNode *src)
{
    TextObjectNode *n = (TextObjectNode *)MemAlloc(sizeof *n, 1);
    if (!n) return nullptr;
    *n = *src;
    n->next = nullptr;
    n->locked = n->pendingFree = 0;
    n->bitmap = nullptr;
    n->mask = nullptr;
    n->alpha = nullptr;
    n->state = CopyTextState(src->state);
    int32_t w = src->bitmap->width, h = src->bitmap->height;
    n->bitmap = AllocBitMap(w, h);
    if (n->bitmap) BltBitMap(src->bitmap, 0, 0, n->bitmap, 0, 0, w, h);
    if (src->mask && (n->mask = AllocMask(n->bitmap, w, h, 0)))
        memcpy(n->mask->pixels, src->mask->pixels, (size_t)src->mask->bytesPerRow * h);
    if (src->alpha && (n->alpha = AllocAlphaChannel(w, h, 0)))
        memcpy(n->alpha->pixels, src->alpha->pixels, (size_t)src->alpha->bytesPerRow * h);
    if (!n->state || !n->bitmap || (src->mask && !n->mask) || (src->alpha && !n->alpha)) {
        FreeTextObjectNode(n);
        return nullptr;
    }
    return n;
}

// The node's images, sizes and offsets from a rendering (the old images are freed).
static void TakeImages(TextObjectNode *n, RenderedTextImage *img)
{
    FreeTriple(n->bitmap, n->mask, n->alpha);
    n->bitmap = img->bitmap;
    n->mask = img->mask;
    n->alpha = img->alpha;
    n->width = img->drawnWidth;
    n->height = img->height;
    n->offsetX = img->offsetX;
    n->offsetY = img->offsetY;
}

// Lists a new node under its number, or under its handle (returned to the script) for Nil.
static int ListNewNode(lua_State *L, TextObjectNode *n, uint32_t number, int isNil)
{
    n->id.number = isNil ? 0 : number;
    n->id.handle = isNil ? n : nullptr;
    Append(n);
    if (!isNil) return 0;
    lua_pushlightuserdata(L, n);
    return 1;
}

// CreateTextObject(id, text [, align [, wordwrap [, encoding]]])
int TxCreateTextObject(lua_State *L)
{
    CheckArgs(L, 2, 5);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    const char *text = luaL_checkstring(L, 2);
    int32_t align = GetOptIntArg(L, 3, TEXTALIGN_LEFT);
    int32_t wrap = GetOptIntArg(L, 4, 0);
    int32_t encoding = GetOptIntArg(L, 5, GetDefaultEncoding());
    if (wrap < 0 || encoding < 0 || encoding > 1) return 1055;
    if (!isNil) {
        int code = FreeTextObjectById({number, nullptr}, 0);
        if (code) return code;
    }
    TextState st;
    InitTextState(&st, text, align, wrap, encoding);
    RenderedTextImage img;
    int code = RenderFormattedText(L, nullptr, 0, &st, TEXTKIND_TEXTOBJECT, 0, nullptr, nullptr, 0, &img);
    if (code) return code;
    TextObjectNode *n = (TextObjectNode *)MemAlloc(sizeof *n, 1);
    if (n) n->state = CopyTextState(&st);
    if (!n || !n->state) {
        MemFree(n);
        FreeRenderedTextImage(&img);
        return 1000;
    }
    TakeImages(n, &img);
    n->unscaledWidth = n->width;
    n->unscaledHeight = n->height;
    InitTransform(&n->transform);
    return ListNewNode(L, n, number, isNil);
}

int TransformObjectRendering(const TransformRecord *t, FontHandle *font, RenderedTextImage *image)
{
    Matrix2D m;
    if (!ResidualTransform(t, font, &m)) return 0;
    RenderedTextImage out;
    int32_t ox = image->offsetX, oy = image->offsetY;
    int code = TransformTextImage(&m, t->smoothScale, image, &out, &ox, &oy);
    FreeRenderedTextImage(image);
    if (code) return code;
    // A turned (or mirrored) object is a new picture, drawn with its corner at the text origin as
    // a turned brush is; one that is only scaled keeps the text origin where it was.
    if (!IsPositiveScale(t)) ox = oy = 0;
    *image = out;
    image->offsetX = ox;
    image->offsetY = oy;
    return 0;
}

// The picture the node shows: its own images, already scaled and turned by its transform. *ox,
// *oy: the picture's corner from the text origin.
static void NodePicture(const TextObjectNode *n, RenderedTextImage *view, int32_t *ox, int32_t *oy)
{
    memset(view, 0, sizeof *view);
    view->bitmap = n->bitmap;
    view->mask = n->mask;
    view->alpha = n->alpha;
    view->drawnWidth = n->width;
    view->fullWidth = n->bitmap->width;
    view->height = n->height;
    *ox = n->offsetX;
    *oy = n->offsetY;
}

// Copies of the node's images (*out, owned by the caller).
static int OwnPicture(const TextObjectNode *n, RenderedTextImage *out)
{
    memset(out, 0, sizeof *out);
    TextObjectNode *copy = CopyTextObjectNode(n);
    if (!copy) return 1000;
    out->bitmap = copy->bitmap;
    out->mask = copy->mask;
    out->alpha = copy->alpha;
    out->drawnWidth = n->width;
    out->fullWidth = copy->bitmap->width;
    out->height = n->height;
    copy->bitmap = nullptr;
    copy->mask = nullptr;
    copy->alpha = nullptr;
    FreeTextObjectNode(copy);
    return 0;
}

int TextObjectLayerPicture(ObjectId id, RenderedTextImage *image, int32_t *cornerX, int32_t *cornerY,
                           const TextObjectNode **node)
{
    memset(image, 0, sizeof *image);
    TextObjectNode *n;
    int code = FindTextObject(id, 0, &n);
    if (code) return code;
    *cornerX = n->offsetX;
    *cornerY = n->offsetY;
    if ((code = OwnPicture(n, image))) return code;
    *node = n;
    return 0;
}

// A layer of the node's picture with its corner at (x, y), transformed by t with the layer
// options lo (both may be none); the layer gets images of its own and a copy of the node's text,
// so that it can be laid out again when it is scaled.
static int AddTextLayerWith(const TextObjectNode *n, int32_t x, int32_t y, const TransformRecord *t,
                            const LayerOptions *lo, int32_t insertPos, int flags, kvLayer **out)
{
    int32_t px, py;
    ResolveTextCorner(x, y, n->width, n->height, n->offsetX, n->offsetY, t, &px, &py);
    RenderedTextImage own;
    int code = OwnPicture(n, &own);
    if (code) return code;
    if (lo && lo->insertPos > 0) insertPos = lo->insertPos;
    return AddTextImagesLayer(TEXTKIND_TEXTOBJECT, &n->id, &own, px, py, n->state, &n->transform, n->offsetX,
                              n->offsetY, t, lo, insertPos, flags, out);
}

int AddTextLayer(lua_State *L, const TextObjectNode *n, int32_t x, int32_t y, int32_t insertPos, int flags,
                 kvLayer **out)
{
    return AddTextLayerWith(n, x, y, nullptr, nullptr, insertPos, flags, out);
}

int DrawTextObject(lua_State *L, ObjectId id, int32_t x, int32_t y, int optionIndex)
{
    TextObjectNode *n;
    int code = FindTextObject(id, 0, &n);
    if (code) return code;
    // The options transform the object's current picture, on top of its own scale and turn.
    TransformRecord t;
    LayerOptions lo;
    code = PrepareTransformedImage(L, optionIndex, n->width, n->height, 0, 0,
                                   (n->state->settings.style & TEXTSTYLE_ANTIALIAS) != 0, &t, &lo,
                                   PTI_INIT | PTI_NEEDTABLE);
    if (code) return code;
    code = CheckTransformMatrix(&t.a);
    if (code) return code;
    DisplayRecord *d = CurrentDisplay;
    if (d && d->layersEnabled)
        return AddTextLayerWith(n, x, y, &t, &lo, -1, ADDLAYER_SCALE, nullptr);
    RenderedTextImage view;
    int32_t ox, oy, px, py;
    NodePicture(n, &view, &ox, &oy);
    ResolveTextCorner(x, y, view.drawnWidth, view.height, ox, oy, &t, &px, &py);
    return DrawTextThrough(n->state, TEXTKIND_TEXTOBJECT, &n->transform, &view, ox, oy, px, py, &t);
}

// DisplayTextObject(id, x, y [, table])
int TxDisplayTextObject(lua_State *L)
{
    CheckArgs(L, 3, 4);
    ObjectId id = GetObjectIdArg(L, 1);
    int32_t x = GetIntArg(L, 2), y = GetIntArg(L, 3);
    return DrawTextObject(L, id, x, y, 4);
}

// FreeTextObject(id)
int TxFreeTextObject(lua_State *L)
{
    CheckArgs(L, 1, 1);
    return FreeTextObjectById(GetObjectIdArg(L, 1), 1);
}

// The node takes the transform, is laid out again for it (the recorded breaks kept) and takes
// the picture: drawn at the new size in a scalable font, and transformed by what the font could
// not do (all of it in a font that can't scale, the turn in any font), so that its images and
// size are those of the picture shown. A picture past the graphics core's limit gives 1000; on
// any failure the node keeps the transform and images it had.
static int Retransform(lua_State *L, TextObjectNode *n, const TransformRecord *t)
{
    TransformRecord was = n->transform;
    n->transform = *t;
    GetObjectMatrix(&n->transform, n->unscaledWidth, n->unscaledHeight);
    int code = CheckTransformMatrix(&n->transform.a);
    if (!code) {
        const Matrix2D m = {n->transform.a, n->transform.b, n->transform.c, n->transform.d};
        int32_t w, h;
        TransformedSize(&m, n->unscaledWidth, n->unscaledHeight, &w, &h, nullptr, nullptr);
        if (!BitMapSizeFits(w, h)) code = 1000;
    }
    RenderedTextImage img;
    if (!code)
        code = RenderFormattedText(L, nullptr, 0, n->state, TEXTKIND_TEXTOBJECT, 0, &n->transform, nullptr,
                                   TEXTRENDER_KEEPTABLES | 32, &img);
    if (!code) code = TransformObjectRendering(&n->transform, FontOf(&n->state->settings), &img);
    if (code) {
        n->transform = was;
        return code;
    }
    TakeImages(n, &img);
    return 0;
}

// ScaleTextObject(id, width, height)
int TxScaleTextObject(lua_State *L)
{
    CheckArgs(L, 3, 3);
    TextObjectNode *n;
    int code = FindTextObject(GetObjectIdArg(L, 1), TOBJ_FORCHANGE, &n);
    if (code) return code;
    int32_t w = GetSizeArg(L, 2, n->unscaledWidth);
    int32_t h = GetSizeArg(L, 3, n->unscaledHeight);
    if (w == KEEPASPRAT || h == KEEPASPRAT) {
        code = ApplyKeepAspectRatio(n->unscaledWidth, n->unscaledHeight, &w, &h);
        if (code) return code;
    }
    if (w < 1 || h < 1) return 1218;
    TransformRecord t = n->transform;
    t.width = w;
    t.height = h;
    t.scaleX = t.scaleY = 1.0;
    return Retransform(L, n, &t);
}

// RotateTextObject(id, angle)
int TxRotateTextObject(lua_State *L)
{
    CheckArgs(L, 2, 2);
    TextObjectNode *n;
    int code = FindTextObject(GetObjectIdArg(L, 1), TOBJ_FORCHANGE, &n);
    if (code) return code;
    TransformRecord t = n->transform;
    t.rotate = GetIntArg(L, 2) % 360;
    t.scaleX = t.scaleY = 1.0;
    return Retransform(L, n, &t);
}

// CopyTextObject(source, dest)
int TxCopyTextObject(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId src = GetObjectIdArg(L, 1);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 2, &isNil);
    if (!isNil && !src.handle && src.number == number) return 1055;
    TextObjectNode *n;
    int code = FindTextObject(src, 0, &n);
    if (code) return code;
    if (!isNil && (code = FreeTextObjectById({number, nullptr}, 0))) return code;
    TextObjectNode *copy = CopyTextObjectNode(n);
    if (!copy) return 1000;
    return ListNewNode(L, copy, number, isNil);
}

int TextObjectPictureSource(lua_State *L, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask,
                            AlphaChannel **alpha, int32_t *width, int32_t *height, int *owned)
{
    TextObjectNode *n;
    int code = FindTextObject(id, 0, &n);
    if (code) return code;
    *bitmap = n->bitmap;
    *mask = n->mask;
    *alpha = n->alpha;
    *width = n->width;
    *height = n->height;
    *owned = 0;
    return 0;
}

// GetAttribute's answer for #TEXTOBJECT: 0 width, 1 height, 30-35 the font's attributes, 36 the
// text, 60 the number of text objects.
int TextObjectAttribute(lua_State *L, int attribute)
{
    if (attribute == 60) {
        lua_pushnumber(L, CountTextObjects());
        return 1;
    }
    TextObjectNode *n;
    int code = FindTextObject(GetObjectIdArg(L, 2), 0, &n);
    if (code) return code;
    switch (attribute) {
    case 0: lua_pushnumber(L, n->width); return 1;
    case 1: lua_pushnumber(L, n->height); return 1;
    case 36: lua_pushstring(L, n->state->text ? n->state->text : ""); return 1;
    default: return PushFontHandleAttribute(L, FontOf(&n->state->settings), attribute);
    }
}
