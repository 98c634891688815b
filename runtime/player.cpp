// The life of the player process: start-up in a fixed order, running the applet, and the one
// shutdown path that closes everything and reports the final error once.
#include "runtime/player.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/options.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"
#include "runtime/vm/object.h"
#include "runtime/vm/state.h"

uint32_t AppendedAppletOffset = 0;

static TempFileNode *TempFiles = nullptr;

int AddTempFile(const char *path)
{
    // An error raised outside every protected call ends the process without PlayerCleanup;
    // the temporary files go then too.
    static int atExitInstalled = 0;
    if (!atExitInstalled) atExitInstalled = atexit(DeleteTempFiles) == 0;
    TempFileNode *node = (TempFileNode *)MemAlloc(sizeof(TempFileNode), 1);
    if (!node) return 1000;
    size_t len = strlen(path);
    node->path = (char *)MemAlloc(len + 1, 0);
    if (!node->path) {
        MemFree(node);
        return 1000;
    }
    memcpy(node->path, path, len + 1);
    node->next = TempFiles;
    TempFiles = node;
    return 0;
}

void DeleteTempFiles(void)
{
    while (TempFiles) {
        TempFileNode *next = TempFiles->next;
        OsDelete(TempFiles->path);
        MemFree(TempFiles->path);
        MemFree(TempFiles);
        TempFiles = next;
    }
}

// ---------------------------------------------------------------------------------------------
// Loading the bytecode

struct BlobReader {
    const unsigned char *data;
    size_t size;
    int done;
};

// Hands the whole blob over once.
static const char *ReadBlob(lua_State *L, void *ud, size_t *size)
{
    BlobReader *r = (BlobReader *)ud;
    if (r->done || r->size == 0) {
        *size = 0;
        return nullptr;
    }
    r->done = 1;
    *size = r->size;
    return (const char *)r->data;
}

static void PumpHook(lua_State *L, lua_Debug *ar)
{
    OsPumpEvents(L, ar);
}

// Every label of the registry table "labels" must name an instruction of the main chunk
// (the function on the stack top); anything else is a malformed applet (1210).
static int CheckLabels(lua_State *L)
{
    const TObject *f = L->top - 1;
    if (!isLfunction(f)) return 1210;
    int sizecode = clvalue(f)->l.p->sizecode;
    lua_pushstring(L, "labels");
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (lua_type(L, -1) != LUA_TTABLE) {
        lua_pop(L, 1);
        return 0;
    }
    int code = 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        if (lua_type(L, -1) != LUA_TNUMBER) code = 1210;
        else {
            lua_Number v = lua_tonumber(L, -1);
            if (!(v >= 0 && v < sizecode)) code = 1210;
        }
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return code;
}

int CompileScript(lua_State *L, ClArgsRecord *clargs, AppletRecord *applet)
{
    PrintVerbose(GetErrorString(MSG_COMPILING_SCRIPT), nullptr, 1);
    SetRuntimeTags(L, RTAG_LINEINFO, 1, 0);
    BlobReader reader = {applet->bytecode, applet->bytecodeLength, 0};
    int code = lua_load(L, ReadBlob, &reader, clargs->scriptPath);
    if (!code) code = CheckLabels(L);
    if (code) {
        PrintVerboseFailed();   // the final report then starts a line of its own
        return code;
    }
    SetRuntimeTags(L, RTAG_LINEINFO, 0, 0);
    lua_sethook(L, PumpHook, LUA_MASKLINE, 0);
    PrintVerboseDone();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Shutdown

static void FreeUserArgs(ClArgsRecord *clargs)
{
    while (clargs->userArgs) {
        UserArgNode *next = clargs->userArgs->next;
        MemFree(clargs->userArgs->name);
        MemFree(clargs->userArgs->value);
        MemFree(clargs->userArgs);
        clargs->userArgs = next;
    }
}

static void ReportFinalError(lua_State *L, int code, ClArgsRecord *clargs)
{
    const char *file = nullptr;
    int line = 0;
    GetErrorText(L, code, clargs->errorText, sizeof clargs->errorText, &file, &line);
    if (clargs->debugDevice) {
        if (file) {
            OsPrintF("%s:%d: %s\n", file, line, clargs->errorText);
        } else {
            const char *error = GetErrorString(MSG_ERROR);
            OsPrintF("%s: %s\n", error ? error : "Error", clargs->errorText);
        }
    } else {
        ShowErrorRequester(L, clargs->errorText, 0, OS_REQ_STOP);
    }
}

int PlayerCleanup(int code, lua_State *L, ClArgsRecord *clargs, AppletRecord *applet)
{
    // 1-2
    for (int i = 0; i < ICON_OPTION_COUNT; i++) {
        MemFree(clargs->iconFiles[i]);
        clargs->iconFiles[i] = nullptr;
    }
    SetRuntimeTags(L, RTAG_PREPROC, 0, RTAG_QUIET, clargs->quiet, 0);

    // 3
    OsNullHook();
    CloseAllLibraries(L);

    // 4
    FreeUserArgs(clargs);
    MemFree(clargs->private1File);
    MemFree(clargs->private2File);
    clargs->private1File = nullptr;
    clargs->private2File = nullptr;

    // 5
    if (code > 0 && code != 1003) ReportFinalError(L, code, clargs);

    // 6-7
    FreeRuntime();
    SetLinkedFiles(nullptr, 0, nullptr);
    FreeAppletContents(applet);
    MemFree(applet);

    // 8-10
    lua_close(L);
    DeleteTempFiles();
    MemFree(clargs);
    FreeCatalog();
    OsShutdown();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Start-up

void SetUpRegistry(lua_State *L, ClArgsRecord *clargs, AppletRecord *applet)
{
    luaL_setregpointer(L, "applet", applet);
    luaL_setregpointer(L, "clargs", clargs);
    lua_pushstring(L, "inclevels");
    lua_newtable(L);
    lua_pushstring(L, "count");
    lua_pushnumber(L, 0);
    lua_rawset(L, -3);
    lua_rawset(L, LUA_REGISTRYINDEX);
    lua_pushstring(L, "_g");
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    lua_rawset(L, LUA_GLOBALSINDEX);
    lua_settop(L, 0);
}

// Steps 7 to 10: the option text, the script, the configuration file, the options applied.
static int ReadStartupOptions(int argc, char **argv, ClArgsRecord *clargs, AppletRecord *applet)
{
    OptionsRecord opts;
    InitOptionsRecord(&opts);
    char *text = (char *)MemAlloc(OPTION_TEXT_SIZE, 1);
    if (!text) return 1000;

    // 7: the option text comes from the command line (there is no desktop launch text here).
    int code = GatherOptionText(argc, argv, text, OPTION_TEXT_SIZE);
    if (!code) code = ParseOptionText(&opts, text);
    if (!code) StoreCompileOutput(clargs, &opts);

    // 8: the script. An appended applet is always the executable itself.
    if (!code) {
        const char *script = nullptr;
        if (AppendedAppletOffset) script = clargs->exePath;
        else if (opts.value[OPT_SCRIPT]) script = opts.value[OPT_SCRIPT];
        else script = OsGetLaunchDocument();
        if (!script || !*script) code = 1003;
        else if (strlen(script) >= sizeof clargs->scriptPath) {
            SetErrorString(script);
            code = 1213;
        } else {
            snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s", script);
        }
    }

    // 9
    if (!code) {
        char ini[KV_PATH_SIZE];
        if (MakeConfigFileName(clargs->scriptPath, AppendedAppletOffset != 0, ini, sizeof ini))
            code = ReadConfigFile(&opts, ini);
    }
    // 10
    if (!code) code = ApplyStartupOptions(clargs, &opts, applet);
    FreeOptionsRecord(&opts);
    MemFree(text);
    return code;
}

static int RunMainChunk(lua_State *L)
{
    // The main chunk was left at the bottom of the stack by CompileScript.
    lua_settop(L, 1);
    return lua_pcall(L, 0, 0, 0);
}

int PlayerMain(int argc, char **argv)
{
    // 1
    ClArgsRecord *clargs = (ClArgsRecord *)MemAlloc(sizeof(ClArgsRecord), 1);
    AppletRecord *applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
    if (!clargs || !applet) {
        MemFree(clargs);
        MemFree(applet);
        printf("Not enough memory.\n");
        return 0;
    }
    // 2
    lua_State *L = lua_open();
    if (!L) {
        printf("Not enough memory.\n");
        MemFree(clargs);
        MemFree(applet);
        return 0;
    }
    // 3
    int code = OsInit();
    if (code) return PlayerCleanup(code, L, clargs, applet);
    LoadCatalog("PROGDIR:Kestrovia.catalog");   // a missing catalog is no error
    // 4
    SetAppletDisplayDefaults(applet);
    clargs->masterVolume = 30;
    // 5
    uint32_t offset = ReadAppletLocatorOffset();
    if (offset != 0xdeadc0deu) AppendedAppletOffset = offset;
    // 6
    if (!OsGetExecutablePath(argc, argv, clargs->exePath, sizeof clargs->exePath))
        clargs->exePath[0] = 0;

    // 7-10: options (command line, configuration file)
    code = ReadStartupOptions(argc, argv, clargs, applet);
    if (code) return PlayerCleanup(code, L, clargs, applet);

    // 11
    if (AppendedAppletOffset) clargs->quiet = 1;
    SetRuntimeTags(L, RTAG_QUIET, clargs->quiet, 0);
    // 12
    code = InitRuntime();
    if (code) return PlayerCleanup(code, L, clargs, applet);
    // 13
    SetUpRegistry(L, clargs, applet);
    // 14
    code = OpenAllLibraries(L);
    if (code) return PlayerCleanup(code, L, clargs, applet);
    // 15
    if (AddSetTagHandler(GraphicsSetTagHandler) || AddSetTagHandler(SoundSetTagHandler) ||
        AddGetTagHandler(GraphicsGetTagHandler) || AddGetTagHandler(SoundGetTagHandler))
        return PlayerCleanup(1000, L, clargs, applet);
    // 16
    SetRuntimeTags(L, RTAG_NOSOUND, clargs->soundOff, RTAG_MASTERVOLUME, clargs->masterVolume, 0);
    // 17
    if (clargs->private1File || clargs->private2File) {
        if (clargs->private1File) ExportCommandList(clargs->private1File);
        if (clargs->private2File) ExportConstants(L, clargs->private2File);
        return PlayerCleanup(0, L, clargs, applet);
    }
    // 18
    code = LoadScriptFile(clargs, applet, L);
    if (code) return PlayerCleanup(code, L, clargs, applet);
    // 19
    code = CompileScript(L, clargs, applet);
    if (code) return PlayerCleanup(code, L, clargs, applet);
    // 20
    if (clargs->compile) return PlayerCleanup(1212, L, clargs, applet);
    // 21
    code = CreatePreprocObjects(L, clargs, applet);
    if (code) return PlayerCleanup(code, L, clargs, applet);
    // 22
    code = OpenInitialDisplay(L, clargs->private3);
    if (code) return PlayerCleanup(code, L, clargs, applet);
    // 23
    SetRuntimeTags(L, RTAG_LINEINFO, 1, 0);
    // 24
    code = RunMainChunk(L);
    return PlayerCleanup(code, L, clargs, applet);
}
