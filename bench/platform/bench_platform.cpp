// Window refresh speed and frame pacing under the dummy video driver.
// 1. Presenting a 1920 x 1080 frame (blit into the window surface + present) as a ratio of a
//    memcpy of the same bytes measured in the same run; target <= 1.5 (lower is faster).
// 2. OsFlushDisplay at limit 60: the mean period over 120 frames; target within 1 % of 16.67 ms.
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_timing.h"
#include "platform/os.h"

int main()
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (OsInit() != 0) return 1;
    OsWindowRecord *win = nullptr;
    int owner = 0;
    const int W = 1920, H = 1080;
    if (OsAllocWindowRecord(&owner, &win) || OsOpenWindow(win, 0, 0, 0, W, H, "bench", 0, nullptr)) {
        printf("no window\n");
        return 1;
    }
    std::vector<uint32_t> frame((size_t)W * H), copy((size_t)W * H);
    for (size_t i = 0; i < frame.size(); i++) frame[i] = (uint32_t)(i * 2654435761u);
    OsPixelBuffer buf = {frame.data(), W, H, W * 4, 11};

    double tMemcpy = BenchBestTime([&] { memcpy(copy.data(), frame.data(), frame.size() * 4); });
    double tPresent = BenchBestTime([&] {
        OsBltToWindow(&buf, 0, 0, win, 0, 0, W, H, 0, 0, 0);
        OsPresentAll();
    });
    double ratio = tPresent / tMemcpy;
    printf("%-40s %8.3f ms  memcpy %8.3f ms  ratio %5.2f  (target <= 1.50) %s\n", "present 1920x1080 frame",
           tPresent * 1e3, tMemcpy * 1e3, ratio, ratio <= 1.5 ? "ok" : "SLOW");

    OsSetTag(16, 60);
    const int frames = 120;
    OsFlushDisplay(nullptr, win);
    double start = BenchNow();
    for (int i = 0; i < frames; i++) {
        OsWindowWritePixel(win, i, 0, 0xffffff);
        OsFlushDisplay(nullptr, win);
    }
    double mean = (BenchNow() - start) / frames * 1e3;
    double off = std::fabs(mean - 1000.0 / 60) / (1000.0 / 60) * 100;
    printf("%-40s %8.3f ms  (target 16.667 ms within 1 %%: off by %.2f %%) %s\n", "paced frame at limit 60", mean,
           off, off <= 1.0 ? "ok" : "OFF");

    OsFreeWindowRecord(win);
    OsShutdown();
    return 0;
}
