// Speed of the layer redraw and of the damage merge.
//
// Redraw: a 1920 x 1080 BGPic under 50 brush layers of 256 x 256 (a third each opaque,
// disc-masked and 50% transparent), in ms and as the time of a memcpy of the bytes it writes
// divided by its time (target >= 0.5).
// RefreshDirtyRects' merge: 10,000 random rectangles on 1920 x 1080, 4 x 4 (sparse) and 16 x 16
// (dense), against the plain one-pass merge in the same run (targets: >= 10x faster sparse, no
// slower dense, the same rectangles out).
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_timing.h"
#include "display/bgpic.h"
#include "display/layer.h"
#include "display/display_pending.h"
#include "gfx/blit.h"
#include "pictures/brush.h"
#include "runtime/libraries.h"
#include "tests/layers/merge_reference.h"

namespace {

ObjectId MakeBrush(uint32_t number, uint32_t colour, bool disc)
{
    const int32_t n = 256;
    BitMap *bm = AllocBitMap(n, n);
    RectFillBitMap(bm, 0, 0, n, n, colour);
    Mask *mask = nullptr;
    if (disc) {
        mask = AllocMask(bm, n, n, 1);
        for (int32_t y = 0; y < n; y++)
            for (int32_t x = 0; x < n; x++) {
                int32_t dx = x - n / 2, dy = y - n / 2;
                PutMaskRowBit(mask->pixels + y * mask->bytesPerRow, x, dx * dx + dy * dy < n * n / 4);
            }
    }
    ObjectId id = {number, nullptr};
    AddBrushNode(&id, BRUSHTYPE_BITMAP, n, n, n, 0, nullptr, bm, -1, mask, nullptr, nullptr);
    return id;
}

void BenchRedraw()
{
    const int32_t w = 1920, h = 1080;
    BitMap *bg = AllocBitMap(w, h);
    RectFillBitMap(bg, 0, 0, w, h, 0x203040);
    ObjectId picId = {1, nullptr};
    AddBGPicNode(&picId, 0, w, h, w, nullptr, bg, nullptr, 0xFFFFFFFF, nullptr, nullptr, 0, nullptr);
    BGPicNode *pic;
    GetBGPicNode(picId, &pic, 0);
    CurrentDisplay = nullptr;
    CurrentPicture = pic;
    ObjectId brushes[3] = {MakeBrush(1, 0xC0C0C0, false), MakeBrush(2, 0x00A0FF, true), MakeBrush(3, 0xFF8000, false)};
    for (int i = 0; i < 50; i++) {
        LayerOptions o;
        memset(&o, 0, sizeof o);
        if (i % 3 == 2) o.transparency = 128;
        int32_t x = (i * 197) % (w - 256), y = (i * 131) % (h - 256);
        AddObjectLayerOptions(nullptr, OBJTYPE_BRUSH, brushes[i % 3], 0, 0, x, y, 256, 256, nullptr, &o, nullptr,
                              nullptr, nullptr, -1, 0);
    }
    BitMap *dst = AllocBitMap(w, h);
    double redraw = BenchBestTime([&] { Redraw(nullptr, pic, dst, 0, 0, w, h, 0, REDRAW_NOSPRITES); }, 100);
    // Layer 1 (opaque) covers its centre, the background the far corner.
    if (ReadBitMapPixel(dst, 128, 128, 0) != 0xC0C0C0 || ReadBitMapPixel(dst, w - 1, h - 1, 0) != 0x203040)
        printf("Redraw drew the wrong picture\n");
    size_t bytes = (size_t)w * h * 4 + (size_t)50 * 256 * 256 * 4;
    std::vector<uint8_t> from(bytes), to(bytes);
    double copy = BenchBestTime([&] { memcpy(to.data(), from.data(), bytes); }, 100);
    printf("Redraw 1920x1080 + 50 layers: %.2f ms, memcpy of its bytes %.2f ms, ratio %.2f (target >= 0.5)\n",
           redraw * 1e3, copy * 1e3, copy / redraw);
    FreeLayer(pic, 1);
    FreeBitMap(dst);
    FreeBGPicNode(pic);
    FreeAllBrushes(nullptr);
    CurrentPicture = nullptr;
}

void BenchMerge(const char *label, int32_t size)
{
    const int32_t n = 10000;
    std::vector<DirtyRect> input = RandomRects(n, size, 1920, 1080, 12345u + (uint32_t)size);
    std::vector<DirtyRect> plain, fast;
    double tPlain = BenchBestTime([&] {
        plain = input;
        PlainMerge(plain.data(), n);
    }, 20);
    double tFast = BenchBestTime([&] {
        fast = input;
        DirtyRectList list = {fast.data(), n, n};
        MergeDirtyRects(&list);
    }, 200);
    bool same = memcmp(plain.data(), fast.data(), sizeof(DirtyRect) * (size_t)n) == 0;
    printf("Merge 10000 %s rectangles %dx%d: %.3f ms against %.3f ms plain, %.1fx faster, %s\n", label, size, size,
           tFast * 1e3, tPlain * 1e3, tPlain / tFast, same ? "same rectangles" : "DIFFERENT RECTANGLES");
}

}  // namespace

int main()
{
    BenchRedraw();
    BenchMerge("sparse", 4);
    BenchMerge("dense", 16);
    return 0;
}
