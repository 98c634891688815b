// The text behind each text layer, and laying it out again at the size the layer code asks for.
#include "text/text_layers.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "display/layer.h"
#include "gfx/bitmap.h"
#include "gfx/scale.h"
#include "pictures/display_object.h"
#include "pictures/transform_record.h"
#include "runtime/memory.h"
#include "text/font.h"
#include "text/text_layout.h"
#include "text/text_lib.h"
#include "text/text_objects.h"

static lua_State *TextLibState = nullptr;


int KeepLayerText(LayerState *state, const TextState *text, const TransformRecord *base, int32_t cornerX,
                  int32_t cornerY)
{
    TextState *copy = CopyTextState(text);
    if (!copy) return 1000;
    // The text laid out at the layer's position: its origin.
    copy->x = SaturateInt32((int64_t)state->x - cornerX);
    copy->y = SaturateInt32((int64_t)state->y - cornerY);
    FreeTextState(state->text);
    state->text = copy;
    if (base) state->textBase = *base;
    else InitTransform(&state->textBase);
    state->textCornerX = cornerX;
    state->textCornerY = cornerY;
    return 0;
}

int AddTextImagesLayer(int kind, const ObjectId *source, RenderedTextImage *img, int32_t x, int32_t y,
                       const TextState *text, const TransformRecord *base, int32_t cornerX, int32_t cornerY,
                       const TransformRecord *t, const LayerOptions *lo, int32_t insertPos, int flags, kvLayer **out)
{
    if (out) *out = nullptr;
    LayerState *s = NewLayerState(nullptr);
    if (!s) {
        FreeRenderedTextImage(img);
        return 1000;
    }
    s->bitmap = img->bitmap;
    s->mask = img->mask;
    s->alpha = img->alpha;
    s->x = x;
    s->y = y;
    s->width = img->drawnWidth;
    s->height = img->height;
    img->bitmap = nullptr;
    img->mask = nullptr;
    img->alpha = nullptr;
    if (KeepLayerText(s, text, base, cornerX, cornerY)) {
        FreeLayerState(kind, s);
        return 1000;
    }
    return AddLayer(kind, source, t, lo, s, insertPos, flags, out);
}

// Lays the text out through the matrix m: the rendering with its offsets from the text
// origin (for #PRINT the first line's start too).
static int Relayout(TextState *text, int kind, const TransformRecord *m, RenderedTextImage *img)
{
    // The layer's own copy records the line breaks of its first layout, so that every later
    // size breaks the lines at the same words.
    int flags = TEXTRENDER_LAYEREXISTS | TEXTRENDER_KEEPTABLES | TEXTRENDER_SCALECURSOR;
    int code = RenderFormattedText(TextLibState, nullptr, 0, text, kind, 0, m, nullptr, flags, img);
    if (code || kind != TEXTKIND_TEXTOBJECT) return code;
    // A text object's rendering comes back unturned: turned as the object's picture is.
    return TransformObjectRendering(m, FontOf(&text->settings), img);
}

int TextScalesByLayout(const TextState *text, const TransformRecord *t)
{
    if (!IsPositiveScale(t)) return 0;
    // A font drawn at one size only: its picture is scaled as any picture is.
    const FontHandle *font = FontOf(&text->settings);
    return !font || font->scalable;
}

int RenderScaledText(TextState *text, int kind, const TransformRecord *base, int32_t cornerX, int32_t cornerY,
                     int32_t width, int32_t height, const TransformRecord *t, BitMap **bitmap, Mask **mask,
                     AlphaChannel **alpha, int32_t *outWidth, int32_t *outHeight, int32_t *offsetX, int32_t *offsetY)
{
    if (!TextScalesByLayout(text, t)) return -1;
    // Where the picture scaled about the anchor would have its corner.
    int code = TransformImageRegion(t, nullptr, nullptr, nullptr, 0, 0, width, height, bitmap, mask, alpha,
                                    outWidth, outHeight, offsetX, offsetY);
    if (code) return code;
    // The text laid out at the new size is about that large: past the picture limit it is
    // refused before the font is scaled to it.
    if (!BitMapSizeFits(*outWidth, *outHeight)) return 1000;
    TransformRecord m, identity;
    InitTransform(&m);
    if (!base) {
        InitTransform(&identity);
        base = &identity;
    }
    m.a = t->a * base->a;
    m.c = t->a * base->c;
    m.b = t->d * base->b;
    m.d = t->d * base->d;
    m.scaleX = t->a;
    m.scaleY = t->d;
    m.smoothScale = base->smoothScale || t->smoothScale;
    RenderedTextImage img;
    if ((code = Relayout(text, kind, &m, &img))) return code;
    // The text's own ink offsets at the new size replace the scaled old ones.
    int32_t newX = kind == TEXTKIND_PRINT ? img.firstLineOffset + img.offsetX : img.offsetX;
    *offsetX += (int32_t)lrint(newX - cornerX * t->a);
    *offsetY += (int32_t)lrint(img.offsetY - cornerY * t->d);
    *bitmap = img.bitmap;
    *mask = img.mask;
    *alpha = img.alpha;
    *outWidth = img.drawnWidth;
    *outHeight = img.height;
    return 0;
}

int RenderTextLayer(const kvLayer *layer, const TransformRecord *t, BitMap **bitmap, Mask **mask,
                    AlphaChannel **alpha, int32_t *width, int32_t *height, int32_t *offsetX, int32_t *offsetY)
{
    if (layer->type != LAYERTYPE_TEXTOBJECT && layer->type != LAYERTYPE_TEXTOUT && layer->type != LAYERTYPE_PRINT)
        return -1;
    const LayerState *src = layer->sourceState;
    if (!src->text) return -1;
    return RenderScaledText(src->text, layer->type, &src->textBase, src->textCornerX, src->textCornerY, src->width,
                            src->height, t, bitmap, mask, alpha, width, height, offsetX, offsetY);
}

void InstallTextLayerHooks(lua_State *L)
{
    TextLibState = L;
    TextLayerHooks.render = RenderTextLayer;
}

void RemoveTextLayerHooks(void)
{
    TextLayerHooks.render = nullptr;
    TextLibState = nullptr;
}
