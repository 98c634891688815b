// Loading the picture of a new brush or anim: from the preprocessor's graphics cache when the
// object was stored there, else from its file, stored in the cache when asked.
#pragma once
#include <cstdint>

struct AlphaChannel;

// The picture's words and (loadAlpha) alpha channel. With the preprocessor on, `cachedLoad`
// (may be none) names the cache entry to take instead of the file, and `cache` (may be none)
// the entry to store the loaded picture under, with its alpha channel when cacheAlpha is set.
// *key receives the file's transparent colour, or -1. Returns 0 or an error code; nothing stays
// allocated after a failure, also when storing in the cache fails.
int LoadCachedPicture(const char *name, int loadAlpha, const char *cache, const char *cachedLoad, int cacheAlpha,
                      uint32_t **pixels, AlphaChannel **alpha, int32_t *key, int32_t *width, int32_t *height);
