// Speed of moving sprites: 200 masked 64 x 64 sprites on a 1280 x 720 display under the dummy
// video driver, each moved a few pixels per frame with ShowSpriteAt (recomposition of the
// damaged rectangle and its copy to the window included). Printed as a ratio of a memcpy of the
// bytes the frame touches, measured in the same run: 4 bytes x (each recomposed rectangle's
// area, counted once for the background and once for the window copy, plus every sprite pixel
// blitted into it). Target: at most 3.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_display.h"
#include "bench/bench_timing.h"
#include "display/bgpic.h"
#include "display/display.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

const int Count = 200, Size = 64, Width = 1280, Height = 720;

// Sprite i's position in frame parity f: a grid of start points, moved by 3 pixels.
void Position(int i, int f, int32_t *x, int32_t *y)
{
    *x = (i * 97) % (Width - Size - 8) + (f ? 3 : 0);
    *y = (i * 53) % (Height - Size - 8) + (f ? 2 : 0);
}

int64_t Intersect(int32_t ax, int32_t ay, int32_t aw, int32_t ah, int32_t bx, int32_t by, int32_t bw, int32_t bh)
{
    int64_t w = std::min(ax + aw, bx + bw) - std::max(ax, bx), h = std::min(ay + ah, by + bh) - std::max(ay, by);
    return w > 0 && h > 0 ? w * h : 0;
}

// The bytes one frame touches when every sprite moves from parity f to 1 - f, one after the other.
int64_t FrameBytes(int f)
{
    std::vector<int32_t> xs(Count), ys(Count);
    for (int i = 0; i < Count; i++) Position(i, f, &xs[i], &ys[i]);
    int64_t pixels = 0;
    for (int i = 0; i < Count; i++) {
        int32_t nx, ny;
        Position(i, 1 - f, &nx, &ny);
        int32_t ux = std::min(xs[i], nx), uy = std::min(ys[i], ny);
        int32_t uw = std::max(xs[i], nx) + Size - ux, uh = std::max(ys[i], ny) + Size - uy;
        xs[i] = nx;
        ys[i] = ny;
        pixels += 2 * (int64_t)uw * uh;
        for (int j = 0; j < Count; j++) pixels += Intersect(ux, uy, uw, uh, xs[j], ys[j], Size, Size);
    }
    return pixels * 4;
}

}  // namespace

int main()
{
    lua_State *L = StartBenchInterpreter(0);
    lua_newtable(L);
    SetFieldInt(L, "width", Width);
    SetFieldInt(L, "height", Height);
    SetFieldInt(L, "fillstyle", 2);
    SetFieldInt(L, "gradientstartcolor", 0x204080);
    SetFieldInt(L, "gradientendcolor", 0xF0C020);
    DisplayRecord *d = OpenBenchDisplay(L, 1);
    MakeDisplayCurrent(d);

    // One masked frame: a disc in a square.
    for (int i = 0; i < Count; i++) {
        BitMap **bm = (BitMap **)MemAlloc(sizeof(BitMap *), 1);
        Mask **mk = (Mask **)MemAlloc(sizeof(Mask *), 1);
        AlphaChannel **al = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *), 1);
        bm[0] = AllocBitMap(Size, Size);
        RectFillBitMap(bm[0], 0, 0, Size, Size, 0xC02040 + i);
        mk[0] = AllocMask(nullptr, Size, Size, 1);
        for (int y = 0; y < Size; y++)
            for (int x = 0; x < Size; x++)
                if ((x - 32) * (x - 32) + (y - 32) * (y - 32) < 31 * 31)
                    PutMaskRowBit(mk[0]->pixels + y * mk[0]->bytesPerRow, x, 1);
        ObjectId id = {(uint32_t)i + 1, nullptr};
        AddSpriteRecord(&id, Size, Size, 1, 0xFFFFFFFF, bm, mk, al, nullptr, 0, nullptr, nullptr);
        int32_t x, y;
        Position(i, 0, &x, &y);
        ShowSpriteAt(L, id, x, y, 1);
    }

    int parity = 0;
    double frame = BenchBestTime([&] {
        for (int i = 0; i < Count; i++) {
            int32_t x, y;
            Position(i, 1 - parity, &x, &y);
            ShowSpriteAt(L, {(uint32_t)i + 1, nullptr}, x, y, 1);
        }
        parity = 1 - parity;
    });
    size_t bytes = (size_t)FrameBytes(0);
    std::vector<uint8_t> a(bytes, 1), b(bytes);
    double copy = BenchBestTime([&] { memcpy(b.data(), a.data(), bytes); });
    printf("sprites: %d masked %dx%d sprites moved on %dx%d: %.3f ms a frame, %.1f MB touched\n", Count, Size, Size,
           Width, Height, frame * 1e3, bytes / 1e6);
    printf("sprites: ratio to memcpy %.2f (target <= 3)\n", frame / copy);

    CurrentDisplay = nullptr;
    FreeAllDisplays(L);
    FreeAllSprites(L);
    lua_close(L);
    FreeRuntime();
    return 0;
}
