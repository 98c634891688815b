// The text behind text layers: each #PRINT, #TEXTOUT and #TEXTOBJECT layer keeps in its source
// state a copy of the text state that drew it, so that a scaled layer shows text rendered at the
// scaled size instead of a scaled picture, and so that its text can be read and changed.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"
#include "text/text_state.h"

struct LayerOptions;
struct LayerState;
struct lua_State;
struct TextState;
struct TransformRecord;
struct kvLayer;

// Gives the state (whose x, y is the images' corner) a copy of the text with the transform it was
// laid out with (none: identity) and the images' corner from the layout origin; the copy's x, y
// become that origin. Replaces any text the state had. 0 or 1000 (the state unchanged).
int KeepLayerText(LayerState *state, const TextState *text, const TransformRecord *base, int32_t cornerX,
                  int32_t cornerY);
// Adds a layer of the kind showing the rendering's images (the layer owns them from here on, also
// when adding fails) with their corner at (x, y), transformed by t with the layer options lo
// (both may be none), keeping the text as KeepLayerText does. 0, 1000 or AddLayer's error.
int AddTextImagesLayer(int kind, const ObjectId *source, RenderedTextImage *image, int32_t x, int32_t y,
                       const TextState *text, const TransformRecord *base, int32_t cornerX, int32_t cornerY,
                       const TransformRecord *t, const LayerOptions *lo, int32_t insertPos, int flags, kvLayer **out);
// The layer's text rendered through the transform t (a positive scale): images, size and their
// corner relative to the layer's anchored position, as TransformImageRegion gives them. -1 when
// the layer keeps no text, its font can't scale or t turns or mirrors it (the caller transforms
// its picture then, as it does any picture's), else 0 or an error code.
int RenderTextLayer(const kvLayer *layer, const TransformRecord *t, BitMap **bitmap, Mask **mask,
                    AlphaChannel **alpha, int32_t *width, int32_t *height, int32_t *offsetX, int32_t *offsetY);
// Whether text is laid out again at a new size for the transform t (a positive scale and a font
// that can scale); else its picture is transformed.
int TextScalesByLayout(const TextState *text, const TransformRecord *t);
// The text laid out again through the positive scale t on top of the transform it was drawn with
// (base, none: identity): images, size and corner relative to the anchored position of a
// width x height picture whose corner lies at (cornerX, cornerY) from the text origin, as
// TransformImageRegion gives them. -1 when the font can't scale or t turns or mirrors (the
// caller transforms the picture then), else 0 or an error. The text keeps the line breaks and
// tab results of this layout.
int RenderScaledText(TextState *text, int kind, const TransformRecord *base, int32_t cornerX, int32_t cornerY,
                     int32_t width, int32_t height, const TransformRecord *t, BitMap **bitmap, Mask **mask,
                     AlphaChannel **alpha, int32_t *outWidth, int32_t *outHeight, int32_t *offsetX, int32_t *offsetY);
// Hands RenderTextLayer to the layer code; L reads the constants of format tags.
void InstallTextLayerHooks(lua_State *L);
// Takes it back.
void RemoveTextLayerHooks(void);
