// Speed of DisplayBrush with layers off: a 640 x 480 brush drawn into a 640 x 480 display's
// back buffer, once through a disc-shaped mask and once through a radial alpha channel, printed
// as the ratio of a memcpy of the brush's bytes to one DisplayBrush, both measured in this run.
// The targets hold for the drawing into the back buffer (the window is detached while it is
// timed); the whole command with the copy of the changed rectangle to the window (dummy video
// driver) is printed beside it.
// Targets: disc mask >= 0.5, radial alpha >= 0.35.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_display.h"
#include "bench/bench_timing.h"
#include "display/display.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "pictures/brush.h"
#include "pictures/brush_commands.h"
#include "pictures/display_object.h"
#include "platform/os.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

const int W = 640, H = 480;

// A brush of the full size filled with a colour ramp; withAlpha: a radial alpha channel, else a
// disc mask.
ObjectId MakeBrush(uint32_t number, int withAlpha)
{
    ObjectId id = {number, nullptr};
    if (CreateBrushObject(&id, W, H, 0, !withAlpha, withAlpha, 1)) {
        fprintf(stderr, "cannot create the brush\n");
        exit(1);
    }
    BrushNode *b;
    GetBrushNode(id, &b, 0);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            WriteBitMapPixel(b->bitmap, x, y, (uint32_t)(x * 255 / W) << 16 | (uint32_t)(y * 255 / H) << 8 | 0x40, 0);
            double r = std::hypot(x - W / 2.0, y - H / 2.0) / (H / 2.0);
            if (withAlpha) b->alpha->pixels[(size_t)y * b->alpha->bytesPerRow + x] = (uint8_t)(r >= 1 ? 0 : 255 * (1 - r));
            else if (r < 1) WriteBitMapPixel(b->mask, x, y, MASKVISIBLE, 1);
        }
    return id;
}

}  // namespace

int main()
{
    lua_State *L = StartBenchInterpreter(1);
    lua_newtable(L);
    SetFieldInt(L, "width", W);
    SetFieldInt(L, "height", H);
    DisplayRecord *d = OpenBenchDisplay(L, 1);
    MakeDisplayCurrent(d);

    const size_t bytes = (size_t)W * H * 4;
    std::vector<uint8_t> a(bytes, 1), b(bytes);
    double memcpyTime = BenchBestTime([&] { memcpy(b.data(), a.data(), bytes); });

    const struct {
        const char *name;
        int alpha;
        double target;
    } cases[] = {{"DisplayBrush 640x480, disc mask", 0, 0.5}, {"DisplayBrush 640x480, radial alpha", 1, 0.35}};
    for (int i = 0; i < 2; i++) {
        ObjectId id = MakeBrush(1 + i, cases[i].alpha);
        double whole = BenchBestTime([&] { DisplayBrushAt(L, id, 0, 0); });
        OsWindowRecord *window = d->window;
        d->window = nullptr;
        double t = BenchBestTime([&] { DisplayBrushAt(L, id, 0, 0); });
        d->window = window;
        printf("%-38s %7.3f ms   %5.2f x memcpy speed   (target >= %.2f)   with the window copy %.3f ms\n",
               cases[i].name, t * 1e3, memcpyTime / t, cases[i].target, whole * 1e3);
    }

    FreeAllBrushes(L);
    FreeAllDisplays(L);
    lua_close(L);
    FreeRuntime();
    OsShutdown();
    return 0;
}
