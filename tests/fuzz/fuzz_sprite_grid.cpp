// Cutting a picture into a grid of sprite frames with untrusted geometry (the values of
// LoadSprite's options and CreateSprite's arguments): sizes, counts and offsets from the input,
// over a small source picture, with and without deferred conversion.
#include <cstdint>
#include <cstring>

#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "pictures/anim_build.h"
#include "runtime/memory.h"

static int32_t Word(const uint8_t *&p, size_t &n)
{
    int32_t v = 0;
    if (n >= 4) {
        memcpy(&v, p, 4);
        p += 4;
        n -= 4;
    }
    // Mostly small values, now and then a huge one.
    return (v & 0x100) ? v : v % 40;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    int raw = data[0] & 1, withAlpha = data[0] & 2, withMask = data[0] & 4;
    const uint8_t *p = data + 1;
    size_t n = size - 1;
    AnimBuildRequest req;
    memset(&req, 0, sizeof req);
    req.grid = 1;
    req.frameWidth = Word(p, n);
    req.frameHeight = Word(p, n);
    req.frames = Word(p, n);
    req.framesPerRow = Word(p, n);
    req.x = Word(p, n);
    req.y = Word(p, n);
    req.sourceWidth = 32;
    req.sourceHeight = 24;
    BitMap *bm = AllocBitMap(32, 24);
    RectFillBitMap(bm, 0, 0, 32, 24, 0x123456);
    AlphaChannel *alpha = withAlpha ? AllocAlphaChannel(32, 24, 1) : nullptr;
    Mask *mask = withMask && !withAlpha ? AllocMask(bm, 32, 24, 1) : nullptr;
    uint32_t *words = raw ? BitMapToARGB(bm, 32, 24) : nullptr;
    req.bitmap = raw ? nullptr : bm;
    req.mask = raw ? nullptr : mask;
    req.alpha = alpha;
    req.rawPixels = words;
    AnimFrames frames;
    if (CutAnimFrames(&req, &frames) == 0) FreeAnimFrames(&frames);
    MemFree(words);
    FreeBitMap(bm);
    FreeMask(mask);
    FreeAlphaChannel(alpha);
    return 0;
}
