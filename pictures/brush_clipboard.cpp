// Brushes on the clipboard: SetClipboard puts a brush's picture there, GetClipboard makes a new
// brush of a picture found there. The system library asks through its two hooks, which the brush
// library sets when it opens.
#include "display/graphics.h"
#include "gfx/scale.h"
#include "pictures/brush.h"
#include "pictures/brush_commands.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "stdlib/system.h"

enum { ERR_NOMEM = 1000, ERR_WRONGUSAGE = 1055 };

// The brush as 0xAARRGGBB words; a mask gives alpha 0 or 255, an alpha channel its own values.
static int BrushClipboardPixels(lua_State *L, const ObjectId *id, uint32_t **pixels, int32_t *width,
                                int32_t *height, int *hasAlpha)
{
    BrushNode *b;
    int code = GetBrushNode(*id, &b, 0);
    if (code) return code;
    if (!b->bitmap) return ERR_WRONGUSAGE;
    *pixels = MakeARGBImage(b->bitmap, b->width, b->height, b->mask, b->alpha, 0, 1);
    if (!*pixels) return ERR_NOMEM;
    *width = b->width;
    *height = b->height;
    *hasAlpha = b->mask || b->alpha;
    return 0;
}

// A new brush with an automatic id: the picture's colours, and its alpha as an alpha channel when
// it has any.
static int NewClipboardBrush(lua_State *L, const uint32_t *pixels, int32_t width, int32_t height, int hasAlpha)
{
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    BitMap *bm = nullptr;
    if (BitMapFromARGB(pixels, -1, width, height, width, &bm, nullptr)) return ERR_NOMEM;
    AlphaChannel *alpha = hasAlpha ? AllocAlphaChannel(width, height, 0) : nullptr;
    if (hasAlpha && !alpha) {
        FreeTriple(bm, nullptr, nullptr);
        return ERR_NOMEM;
    }
    for (int32_t y = 0; alpha && y < height; y++)
        for (int32_t x = 0; x < width; x++)
            alpha->pixels[(size_t)y * alpha->bytesPerRow + x] = (uint8_t)(pixels[(size_t)y * width + x] >> 24);
    ObjectId id = {0, (void *)1};
    if (AddBrushNode(&id, BRUSHTYPE_BITMAP, width, height, width, 0, nullptr, bm, -1, nullptr, alpha, nullptr)) {
        FreeTriple(bm, nullptr, alpha);
        return ERR_NOMEM;
    }
    return PushNewObjectHandle(L, 1, id) == 1 ? 0 : ERR_NOMEM;
}

void ConnectBrushClipboard(void)
{
    ClipboardBrushPixels = BrushClipboardPixels;
    ClipboardNewBrush = NewClipboardBrush;
}
