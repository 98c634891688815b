// One glyph bitmap into a bitmap, a mask or an alpha channel.
#include "text/glyph_draw.h"

#include "gfx/blit.h"
#include "gfx/draw_routines.h"

void DrawGlyphBitmap(const FT_Bitmap *bitmap, void *target, int32_t x, int32_t y, const FontClip *clip,
                     int32_t colour)
{
    if (!target || bitmap->width == 0 || bitmap->rows == 0 || bitmap->pitch <= 0) return;
    int aa = bitmap->pixel_mode == FT_PIXEL_MODE_GRAY;
    if (!aa && bitmap->pixel_mode != FT_PIXEL_MODE_MONO) return;
    int32_t tw, th;
    if (colour != -1) tw = ((BitMap *)target)->width, th = ((BitMap *)target)->height;
    else if (aa) tw = ((AlphaChannel *)target)->width, th = ((AlphaChannel *)target)->height;
    else tw = ((Mask *)target)->width, th = ((Mask *)target)->height;

    int64_t left = clip ? clip->x : 0, top = clip ? clip->y : 0;
    int64_t right = clip ? (int64_t)clip->x + clip->width : tw, bottom = clip ? (int64_t)clip->y + clip->height : th;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > tw) right = tw;
    if (bottom > th) bottom = th;
    int64_t dx = x, dy = y, sx = 0, sy = 0, w = bitmap->width, h = bitmap->rows;
    if (dx < left) { sx = left - dx; w -= sx; dx = left; }
    if (dy < top) { sy = top - dy; h -= sy; dy = top; }
    if (dx + w > right) w = right - dx;
    if (dy + h > bottom) h = bottom - dy;
    if (w < 1 || h < 1) return;

    if (aa) {
        AlphaChannel glyph = {bitmap->buffer, (int32_t)bitmap->width, (int32_t)bitmap->rows, bitmap->pitch, 1};
        if (colour != -1) {
            BltAlphaChannel(&glyph, (int32_t)sx, (int32_t)sy, (BitMap *)target, (int32_t)dx, (int32_t)dy, (int32_t)w,
                            (int32_t)h, (uint32_t)colour & 0xFFFFFF, 1, nullptr, 255, 0, 0, nullptr);
            return;
        }
        AlphaChannel *alpha = (AlphaChannel *)target;
        for (int64_t row = 0; row < h; row++) {
            const uint8_t *src = bitmap->buffer + (sy + row) * bitmap->pitch + sx;
            uint8_t *dst = alpha->pixels + (dy + row) * alpha->bytesPerRow + dx;
            for (int64_t i = 0; i < w; i++)
                if (src[i]) dst[i] = src[i];
        }
        return;
    }
    Mask glyph = {bitmap->buffer, (int32_t)bitmap->width, (int32_t)bitmap->rows, bitmap->pitch, 1};
    if (colour != -1)
        BltTemplate(&glyph, (int32_t)sx, (int32_t)sy, (BitMap *)target, (int32_t)dx, (int32_t)dy, (int32_t)w,
                    (int32_t)h, (uint32_t)colour & 0xFFFFFF);
    else
        BltMaskToMask(&glyph, (int32_t)sx, (int32_t)sy, (Mask *)target, (int32_t)dx, (int32_t)dy, (int32_t)w,
                      (int32_t)h, MASKVISIBLE);
}
