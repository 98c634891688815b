// Loading the picture of a new brush or anim through the preprocessor's graphics cache.
#include "pictures/cached_picture.h"

#include "gfx/bitmap.h"
#include "gfx/draw_routines.h"
#include "gfx/picload.h"
#include "runtime/memory.h"
#include "runtime/settings.h"

int LoadCachedPicture(const char *name, int loadAlpha, const char *cache, const char *cachedLoad, int cacheAlpha,
                      uint32_t **pixels, AlphaChannel **alpha, int32_t *key, int32_t *width, int32_t *height)
{
    int preproc = RuntimeSettings.preproc;
    *key = -1;
    if (preproc && cachedLoad) return GetFromGfxCache(cachedLoad, loadAlpha, width, height, pixels, alpha);
    int storeAlpha = preproc && cache && cacheAlpha;
    int mode = loadAlpha ? LOADALPHA_REQUIRE : storeAlpha ? LOADALPHA_OPTIONAL : LOADALPHA_NONE;
    int code = LoadImageFile(name, nullptr, 0, 0, mode, pixels, alpha, nullptr, key, width, height);
    if (code || !(preproc && cache)) return code;
    code = AddToGfxCache(cache, *width, *height, *pixels, *alpha);
    if (code || (storeAlpha && !loadAlpha)) {
        FreeAlphaChannel(*alpha);
        *alpha = nullptr;
    }
    if (code) {
        MemFree(*pixels);
        *pixels = nullptr;
    }
    return code;
}
