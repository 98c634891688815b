// Speed of Flip: a 1920 x 1080 double buffer shown in its window (dummy video driver) without
// the frame wait, against a reference of this run: one memcpy of the frame plus one
// SDL_BlitSurface of it into the window surface. Printed as reference time / Flip time.
// Target: >= 0.9.
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_display.h"
#include "bench/bench_timing.h"
#include "display/display.h"
#include "display/output_select.h"
#include "gfx/blit.h"
#include "platform/os.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

int main()
{
    const int W = 1920, H = 1080;
    lua_State *L = StartBenchInterpreter(1);
    lua_newtable(L);
    SetFieldInt(L, "width", W);
    SetFieldInt(L, "height", H);
    DisplayRecord *d = OpenBenchDisplay(L, 1);
    MakeDisplayCurrent(d);
    if (BeginDoubleBuffer(L)) {
        fprintf(stderr, "cannot begin double buffering\n");
        return 1;
    }
    RectFillBitMap(d->outputBitMap, 0, 0, W, H, 0x336699);

    SDL_Surface *window = SDL_GetWindowSurface(d->window->window);
    std::vector<uint32_t> a((size_t)W * H, 0x336699), b((size_t)W * H);
    SDL_Surface *frame = SDL_CreateRGBSurfaceWithFormatFrom(b.data(), W, H, 32, W * 4, SDL_PIXELFORMAT_XRGB8888);
    if (!window || !frame) {
        fprintf(stderr, "no window surface\n");
        return 1;
    }
    double reference = BenchBestTime([&] {
        memcpy(b.data(), a.data(), b.size() * 4);
        SDL_BlitSurface(frame, nullptr, window, nullptr);
    });
    double flip = BenchBestTime([&] { FlipDisplay(d); });
    printf("%-38s %7.3f ms   %5.2f x reference speed   (target >= 0.90)   reference %.3f ms\n",
           "Flip 1920x1080, no frame wait", flip * 1e3, reference / flip, reference * 1e3);

    SDL_FreeSurface(frame);
    FreeAllDisplays(L);
    lua_close(L);
    FreeRuntime();
    OsShutdown();
    return 0;
}
