// Fuzz target of the applet container reader: any bytes, as a plain or packed applet file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "runtime/applet.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/player.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"

static char ScriptPath[64];
static char StartDir[4096];

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!ScriptPath[0]) {
        snprintf(ScriptPath, sizeof ScriptPath, "/tmp/fuzz_applet.%d.kva", (int)getpid());
        RuntimeSettings.quiet = 1;
        if (!getcwd(StartDir, sizeof StartDir)) StartDir[0] = 0;
    }
    FILE *f = fopen(ScriptPath, "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    lua_State *L = lua_open();
    ClArgsRecord *clargs = (ClArgsRecord *)MemAlloc(sizeof(ClArgsRecord), 1);
    AppletRecord *applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
    if (L && clargs && applet) {
        SetAppletDisplayDefaults(applet);
        snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s", ScriptPath);
        LoadScriptFile(clargs, applet, L);
        SetLinkedFiles(nullptr, 0, nullptr);
        FreeAppletContents(applet);
    }
    MemFree(applet);
    MemFree(clargs);
    if (L) lua_close(L);
    DeleteTempFiles();
    // The loader makes the script's folder the current one; go back so that the fuzzer's
    // relative corpus paths stay valid.
    if (StartDir[0] && chdir(StartDir) != 0) abort();
    return 0;
}
