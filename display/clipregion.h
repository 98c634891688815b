// The clip-region record: a rectangle of a picture, or the visible pixels of a brush's mask inside
// one. The output path clips against the current picture's active region.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/handler_support.h"

struct ClipRegionNode {
    ClipRegionNode *next;
    ObjectId id;
    int32_t x, y, width, height;   // picture coordinates
    Mask *mask;                    // shaped regions: 1 = inside, addressed from (x, y); else none
    int32_t maskBytesPerRow;
    uint32_t pendingFree;
    uint32_t locked;
    uint32_t temporary;
};
