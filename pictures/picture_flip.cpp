// Mirroring a picture with its mask and alpha channel through the flip kernel.
#include "pictures/picture_flip.h"

#include <cstring>

#include "gfx/kernels.h"
#include "runtime/memory.h"

int FlipPictureTriple(BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t width, int32_t height,
                      int32_t direction)
{
    BitMapInfo info;
    if (!LockBitMap(bitmap, &info)) return 1152;
    FlipRecord r;
    memset(&r, 0, sizeof r);
    r.pixels = info.pixels;
    r.width = width;
    r.height = height;
    r.modulo = info.modulo;
    r.bytesPerPixel = info.bytesPerPixel;
    r.direction = direction;
    if (mask) {
        r.mask = mask->pixels;
        r.maskBytesPerRow = mask->bytesPerRow;
        // A left-to-right flip of the mask goes through a copy of each row.
        if (direction && !(r.scratch = (uint8_t *)MemAlloc((size_t)r.maskBytesPerRow, 0))) {
            UnLockBitMap();
            return 1000;
        }
    }
    if (alpha) {
        r.alpha = alpha->pixels;
        r.alphaBytesPerRow = alpha->bytesPerRow;
    }
    FlipPixels(&r);
    MemFree(r.scratch);
    UnLockBitMap();
    return 0;
}
