// The plain one-pass merge of damage rectangles that the layers' fast merge must agree with,
// and random rectangle sets for it (used by the layer tests and benchmarks).
#pragma once
#include <cstdint>
#include <vector>

#include "display/layer.h"

// The merge every rectangle list must come out of unchanged: rectangle i in index order absorbs
// each other live rectangle j, in index order, that overlaps its box as grown so far.
inline void PlainMerge(DirtyRect *r, int32_t n)
{
    for (int32_t i = 0; i < n; i++) {
        if (r[i].x1 == DIRTY_MERGED) continue;
        for (int32_t j = 0; j < n; j++) {
            if (j == i || r[j].x1 == DIRTY_MERGED) continue;
            if (r[j].x1 > r[i].x2 || r[j].x2 < r[i].x1 || r[j].y1 > r[i].y2 || r[j].y2 < r[i].y1) continue;
            if (r[j].x1 < r[i].x1) r[i].x1 = r[j].x1;
            if (r[j].y1 < r[i].y1) r[i].y1 = r[j].y1;
            if (r[j].x2 > r[i].x2) r[i].x2 = r[j].x2;
            if (r[j].y2 > r[i].y2) r[i].y2 = r[j].y2;
            r[j].x1 = DIRTY_MERGED;
        }
    }
}

// n random rectangles of size x size on a width x height picture (fixed seed).
inline std::vector<DirtyRect> RandomRects(int32_t n, int32_t size, int32_t width, int32_t height, uint32_t seed)
{
    std::vector<DirtyRect> v((size_t)n);
    for (DirtyRect &r : v) {
        seed = seed * 1664525u + 1013904223u;
        int32_t x = (int32_t)((seed >> 8) % (uint32_t)(width - size));
        seed = seed * 1664525u + 1013904223u;
        int32_t y = (int32_t)((seed >> 8) % (uint32_t)(height - size));
        r = {x, y, x + size - 1, y + size - 1};
    }
    return v;
}
