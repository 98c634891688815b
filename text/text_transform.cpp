// Text shown through a transform without layers, placed as a picture of it would be.
#include "text/text_transform.h"

#include <cmath>
#include <cstring>

#include "display/display.h"
#include "gfx/bitmap.h"
#include "pictures/display_object.h"
#include "pictures/transform_record.h"
#include "text/text_layers.h"
#include "text/text_layout.h"

void ResolveTextCorner(int32_t x, int32_t y, int32_t width, int32_t height, int32_t ox, int32_t oy,
                       const TransformRecord *t, int32_t *px, int32_t *py)
{
    double ax = t ? t->anchorX : 0.0, ay = t ? t->anchorY : 0.0;
    *px = IsXPosConstant(x) ? ResolveXPos(x, width, 0, ax) : ClampCoord((int64_t)x + ox);
    *py = IsYPosConstant(y) ? ResolveYPos(y, height, 0, ay) : ClampCoord((int64_t)y + oy);
}

int DrawTextThrough(const TextState *text, int kind, const TransformRecord *base, const RenderedTextImage *picture,
                    int32_t cornerX, int32_t cornerY, int32_t px, int32_t py, const TransformRecord *t)
{
    const int32_t w = picture->drawnWidth, h = picture->height;
    // The untransformed picture's corner: the anchor point lies at (px, py).
    const int64_t x = (int64_t)px - (int64_t)trunc(w * t->anchorX), y = (int64_t)py - (int64_t)trunc(h * t->anchorY);
    if (IsIdentityTransform(t)) return BlitTextImage(picture, ClampCoord(x), ClampCoord(y));
    RenderedTextImage out;
    memset(&out, 0, sizeof out);
    int32_t rx = 0, ry = 0;
    int code = -1;
    if (TextScalesByLayout(text, t)) {
        // Laid out from a copy, so that the text keeps the line breaks it had.
        TextState *copy = CopyTextState(text);
        if (!copy) return 1000;
        code = RenderScaledText(copy, kind, base, cornerX, cornerY, w, h, t, &out.bitmap, &out.mask, &out.alpha,
                                &out.drawnWidth, &out.height, &rx, &ry);
        FreeTextState(copy);
    }
    if (code < 0)
        code = TransformImageRegion(t, picture->bitmap, picture->mask, picture->alpha, 0, 0, w, h, &out.bitmap,
                                    &out.mask, &out.alpha, &out.drawnWidth, &out.height, &rx, &ry);
    if (code) return code;
    out.fullWidth = out.bitmap ? out.bitmap->width : out.drawnWidth;
    code = BlitTextImage(&out, ClampCoord(x + rx), ClampCoord(y + ry));
    FreeRenderedTextImage(&out);
    return code;
}
