// Event files of the headless input hook from untrusted bytes: every group is pushed to a
// window of the dummy video driver and translated, until the file is used up and the stop flag
// is set.
#include <SDL.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "platform/os.h"

static volatile int Stop = 0;
static OsWindowRecord *Window = nullptr;
static int Owner = 0;

static int Setup(void)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (OsInit() != 0) return 0;
    OsUpcalls up = {};
    up.stopFlag = &Stop;
    OsSetUpcalls(&up);
    if (OsAllocWindowRecord(&Owner, &Window) != 0) return 0;
    unsetenv("KV_TEST_INPUT");
    return OsOpenWindow(Window, 0, 0, 0, 64, 48, "", 0, nullptr) == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int ready = Setup();
    if (!ready) return 0;
    static char path[64] = "";
    if (!path[0]) snprintf(path, sizeof path, "/tmp/kv_fuzz_testinput_%d", (int)getpid());
    FILE *f = fopen(path, "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    setenv("KV_TEST_INPUT", path, 1);
    Stop = 0;
    if (OsStartTestInput()) {
        while (!Stop) OsFeedTestInput();
        OsStopTestInput();
    }
    unsetenv("KV_TEST_INPUT");
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    Stop = 0;
    return 0;
}
