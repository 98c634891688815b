// The text-object store and its commands.
#include "text/text_objects.h"

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

// The node's images and sizes from a rendering (the old images are freed).
static void TakeImages(TextObjectNode *n, RenderedTextImage *img, int keepOffsets)
{
    FreeTriple(n->bitmap, n->mask, n->alpha);
    n->bitmap = img->bitmap;
    n->mask = img->mask;
    n->alpha = img->alpha;
    n->width = img->drawnWidth;
    n->height = img->height;
    n->offsetX = keepOffsets ? img->offsetX : 0;
    n->offsetY = keepOffsets ? img->offsetY : 0;
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
    TakeImages(n, &img, 1);
    n->unscaledWidth = n->width;
    n->unscaledHeight = n->height;
    InitTransform(&n->transform);
    return ListNewNode(L, n, number, isNil);
}

// The picture the node shows: its own images, or (*turned, owned by the caller) the images
// turned by what is left of its transform. *ox, *oy: the picture's corner from the text origin.
static int NodePicture(const TextObjectNode *n, RenderedTextImage *view, RenderedTextImage *turned, int32_t *ox,
                       int32_t *oy)
{
    memset(view, 0, sizeof *view);
    memset(turned, 0, sizeof *turned);
    view->bitmap = n->bitmap;
    view->mask = n->mask;
    view->alpha = n->alpha;
    view->drawnWidth = n->width;
    view->fullWidth = n->bitmap->width;
    view->height = n->height;
    *ox = n->offsetX;
    *oy = n->offsetY;
    FontHandle *font = n->state->settings.font ? n->state->settings.font : GetBuiltinFont();
    Matrix2D m;
    if (!ResidualTransform(&n->transform, font, &m)) return 0;
    int code = TransformTextImage(&m, n->transform.smoothScale, view, turned, ox, oy);
    if (!code) *view = *turned;
    return code;
}

// A layer of the node's picture with its corner at (x, y), transformed by t with the layer
// options lo (both may be none); the layer gets images of its own and a copy of the node's text,
// so that it can be laid out again when it is scaled.
static int AddPictureLayer(const TextObjectNode *n, RenderedTextImage *view, RenderedTextImage *turned, int32_t x,
                           int32_t y, int32_t cornerX, int32_t cornerY, const TransformRecord *t,
                           const LayerOptions *lo, int32_t insertPos, int flags, kvLayer **out)
{
    if (!turned->bitmap) {
        TextObjectNode *copy = CopyTextObjectNode(n);
        if (!copy) return 1000;
        turned->bitmap = copy->bitmap;
        turned->mask = copy->mask;
        turned->alpha = copy->alpha;
        turned->drawnWidth = view->drawnWidth;
        turned->height = view->height;
        copy->bitmap = nullptr;
        copy->mask = nullptr;
        copy->alpha = nullptr;
        FreeTextObjectNode(copy);
    }
    if (lo && lo->insertPos > 0) insertPos = lo->insertPos;
    return AddTextImagesLayer(TEXTKIND_TEXTOBJECT, &n->id, turned, x, y, n->state, &n->transform, cornerX, cornerY,
                              t, lo, insertPos, flags, out);
}

// The picture's corner for a text origin at x, y (position constants place the picture's box
// as if it had no anchor).
static void ResolveCorner(int32_t x, int32_t y, int32_t width, int32_t height, int32_t ox, int32_t oy,
                          const TransformRecord *t, int32_t *px, int32_t *py)
{
    double ax = t ? t->anchorX : 0.0, ay = t ? t->anchorY : 0.0;
    *px = IsXPosConstant(x) ? ResolveXPos(x, width, 0, ax) : ClampCoord((int64_t)x + ox);
    *py = IsYPosConstant(y) ? ResolveYPos(y, height, 0, ay) : ClampCoord((int64_t)y + oy);
}

static int AddTextLayerWith(const TextObjectNode *n, int32_t x, int32_t y, const TransformRecord *t,
                            const LayerOptions *lo, int32_t insertPos, int flags, kvLayer **out)
{
    RenderedTextImage view, turned;
    int32_t ox, oy, px, py;
    int code = NodePicture(n, &view, &turned, &ox, &oy);
    if (code) return code;
    ResolveCorner(x, y, view.drawnWidth, view.height, ox, oy, t, &px, &py);
    return AddPictureLayer(n, &view, &turned, px, py, ox, oy, t, lo, insertPos, flags, out);
}

int AddTextLayer(lua_State *L, const TextObjectNode *n, int32_t x, int32_t y, int32_t insertPos, int flags,
                 kvLayer **out)
{
    return AddTextLayerWith(n, x, y, nullptr, nullptr, insertPos, flags, out);
}

// Draws the node's picture transformed by t (not the identity) with its anchor at (x, y): a
// scale lays the text out again at the new size, anything else transforms the picture.
static int BlitTransformed(TextObjectNode *n, const RenderedTextImage *view, int32_t x, int32_t y, int32_t ox,
                           int32_t oy, const TransformRecord *t)
{
    RenderedTextImage out;
    memset(&out, 0, sizeof out);
    int32_t rx, ry;
    int code = RenderScaledText(n->state, TEXTKIND_TEXTOBJECT, &n->transform, ox, oy, view->drawnWidth,
                                view->height, t, &out.bitmap, &out.mask, &out.alpha, &out.drawnWidth, &out.height,
                                &rx, &ry);
    if (code < 0)
        code = TransformImageRegion(t, view->bitmap, view->mask, view->alpha, 0, 0, view->drawnWidth, view->height,
                                    &out.bitmap, &out.mask, &out.alpha, &out.drawnWidth, &out.height, &rx, &ry);
    if (code) return code;
    out.fullWidth = out.bitmap ? out.bitmap->width : out.drawnWidth;
    int32_t px, py;
    ResolveCorner(x, y, view->drawnWidth, view->height, ox, oy, t, &px, &py);
    px -= (int32_t)trunc(view->drawnWidth * t->anchorX);
    py -= (int32_t)trunc(view->height * t->anchorY);
    code = BlitTextImage(&out, px + rx, py + ry);
    FreeRenderedTextImage(&out);
    return code;
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
    if (d && d->layersEnabled && d->outputType == OBJTYPE_DISPLAY)
        return AddTextLayerWith(n, x, y, &t, &lo, -1, ADDLAYER_SCALE, nullptr);
    RenderedTextImage view, turned;
    int32_t ox, oy;
    if ((code = NodePicture(n, &view, &turned, &ox, &oy))) return code;
    if (IsIdentityTransform(&t)) {
        int32_t px, py;
        ResolveCorner(x, y, view.drawnWidth, view.height, ox, oy, nullptr, &px, &py);
        code = BlitTextImage(&view, px - (int32_t)trunc(view.drawnWidth * t.anchorX),
                             py - (int32_t)trunc(view.height * t.anchorY));
    } else {
        code = BlitTransformed(n, &view, x, y, ox, oy, &t);
    }
    FreeRenderedTextImage(&turned);
    return code;
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

// Lays the node out again for its transform (the recorded breaks kept) and takes the images.
static int Rerender(lua_State *L, TextObjectNode *n)
{
    GetObjectMatrix(&n->transform, n->unscaledWidth, n->unscaledHeight);
    int code = CheckTransformMatrix(&n->transform.a);
    if (code) return code;
    RenderedTextImage img;
    code = RenderFormattedText(L, nullptr, 0, n->state, TEXTKIND_TEXTOBJECT, 0, &n->transform, nullptr,
                               TEXTRENDER_KEEPTABLES | 32, &img);
    if (code) return code;
    TakeImages(n, &img, n->transform.rotate % 360 == 0);
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
    n->transform.width = w;
    n->transform.height = h;
    n->transform.scaleX = n->transform.scaleY = 1.0;
    return Rerender(L, n);
}

// RotateTextObject(id, angle)
int TxRotateTextObject(lua_State *L)
{
    CheckArgs(L, 2, 2);
    TextObjectNode *n;
    int code = FindTextObject(GetObjectIdArg(L, 1), TOBJ_FORCHANGE, &n);
    if (code) return code;
    n->transform.rotate = GetIntArg(L, 2) % 360;
    n->transform.scaleX = n->transform.scaleY = 1.0;
    return Rerender(L, n);
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
    default: {
        FontHandle *font = n->state->settings.font ? n->state->settings.font : GetBuiltinFont();
        return PushFontHandleAttribute(L, font, attribute);
    }
    }
}
