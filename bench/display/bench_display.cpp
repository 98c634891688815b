// Speed of the display output path under the dummy video driver: refreshing a 1920 x 1080
// display (back buffer to the window, then presented), as milliseconds and as a ratio of a
// memcpy of the frame's bytes measured in the same run; and an automatically scaled display
// (960 x 540 shown at 1920 x 1080) in output megapixels per second, nearest and smooth.
// Targets: refresh at most 8 ms; scaled nearest >= 250 Mpx/s, smooth >= 124 Mpx/s.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_display.h"
#include "bench/bench_timing.h"
#include "display/display.h"
#include "platform/os.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

DisplayRecord *Make(lua_State *L, uint32_t id, int w, int h, int scaleW, int scaleH, int smooth)
{
    lua_newtable(L);
    SetFieldInt(L, "width", w);
    SetFieldInt(L, "height", h);
    SetFieldInt(L, "fillstyle", 2);
    SetFieldInt(L, "gradientstartcolor", 0x204080);
    SetFieldInt(L, "gradientendcolor", 0xF0C020);
    if (scaleW) {
        SetFieldInt(L, "scalemode", SCALEMODE_AUTO);
        SetFieldInt(L, "scalewidth", scaleW);
        SetFieldInt(L, "scaleheight", scaleH);
        SetFieldInt(L, "smoothscale", smooth);
    }
    return OpenBenchDisplay(L, id);
}

}  // namespace

int main()
{
    lua_State *L = StartBenchInterpreter(0);

    const size_t frameBytes = (size_t)1920 * 1080 * 4;
    std::vector<uint8_t> a(frameBytes, 1), b(frameBytes);
    double memcpyTime = BenchBestTime([&] { memcpy(b.data(), a.data(), frameBytes); });

    DisplayRecord *full = Make(L, 1, 1920, 1080, 0, 0, 0);
    double refresh = BenchBestTime([&] {
        RefreshDisplay(full, 0);
        OsPresentAll();
    });
    printf("%-36s %8.2f ms   %6.2f x memcpy of the frame   (target <= 8 ms)\n", "RefreshDisplay 1920x1080 + present",
           refresh * 1e3, refresh / memcpyTime);

    const double outPixels = 1920.0 * 1080.0;
    const struct {
        const char *name;
        int smooth;
        double target;
    } scaled[] = {{"autoscale 960x540 -> 1920x1080 nearest", 0, 250}, {"autoscale 960x540 -> 1920x1080 smooth", 1, 124}};
    for (int i = 0; i < 2; i++) {
        DisplayRecord *d = Make(L, 2 + i, 960, 540, 1920, 1080, scaled[i].smooth);
        double t = BenchBestTime([&] {
            RefreshDisplay(d, 0);
            OsPresentAll();
        });
        printf("%-36s %8.1f Mpx/s (%.2f ms)   (target >= %.0f)\n", scaled[i].name, outPixels / t / 1e6, t * 1e3,
               scaled[i].target);
    }

    FreeAllDisplays(L);
    lua_close(L);
    FreeRuntime();
    OsShutdown();
    return 0;
}
