// Mirroring a picture of a brush or a sprite frame together with its mask and alpha channel.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"

// Flips the bitmap, the mask and the alpha channel (each of the last two may be none) of a
// width x height picture in place: direction 0 top to bottom, else left to right. Returns 0,
// 1000 (no memory for the mask row) or 1152 (the bitmap can't be locked).
int FlipPictureTriple(BitMap *bitmap, Mask *mask, AlphaChannel *alpha, int32_t width, int32_t height,
                      int32_t direction);
