// The system library: its one command table, its constants, and its open and close functions.
// The handlers live in system_timers.cpp, system_dates.cpp, system_debug.cpp,
// system_tables.cpp, system_errors.cpp, system_requesters.cpp, system_clipboard.cpp and
// system_program.cpp.
#include "platform/os.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"
#include "stdlib/system.h"

// The time at which the library opened.
static OsTimeVal ProgramClock;

static const luaL_reg SystemCommands[] = {
    {"StartTimer", SysStartTimer},
    {"StopTimer", SysStopTimer},
    {"GetTimer", SysGetTimer},
    {"PauseTimer", SysPauseTimer},
    {"ResumeTimer", SysResumeTimer},
    {"ResetTimer", SysResetTimer},
    {"WaitTimer", SysWaitTimer},
    {"Wait", SysWait},
    {"GetDate", SysGetDate},
    {"GetTime", SysGetTime},
    {"GetWeekday", SysGetWeekday},
    {"GetDateNum", SysGetDateNum},
    {"CompareDates", SysCompareDates},
    {"OpenCatalog", SysOpenCatalog},
    {"CloseCatalog", SysCloseCatalog},
    {"GetCatalogString", SysGetCatalogString},
    {"End", SysEnd},
    {"DebugPrint", SysDebugPrint},
    {"DebugStr", SysDebugPrint},
    {"DebugVal", SysDebugPrint},
    {"DebugOutput", SysDebugOutput},
    {"GetType", SysGetType},
    {"IIf", SysIIf},
    {"ListItems", SysListItems},
    {"InsertItem", SysInsertItem},
    {"RemoveItem", SysRemoveItem},
    {"Unpack", SysUnpack},
    {"Sort", SysSort},
    {"CopyTable", SysCopyTable},
    {"GetMetaTable", SysGetMetaTable},
    {"SetMetaTable", SysSetMetaTable},
    {"RawEqual", SysRawEqual},
    {"RawGet", SysRawGet},
    {"RawSet", SysRawSet},
    {"NextItem", SysNextItem},
    {"Pairs", SysPairs},
    {"IPairs", SysIPairs},
    {"GCInfo", SysGCInfo},
    {"CollectGarbage", SysCollectGarbage},
    {"Error", SysError},
    {"ExitOnError", SysExitOnError},
    {"GetLastError", SysGetLastError},
    {"GetErrorName", SysGetErrorName},
    {"GetConstant", SysGetConstant},
    {"SystemRequest", SysSystemRequest},
    {"FileRequest", SysFileRequest},
    {"PathRequest", SysPathRequest},
    {"StringRequest", SysStringRequest},
    {"SetClipboard", SysSetClipboard},
    {"GetClipboard", SysGetClipboard},
    {"PeekClipboard", SysPeekClipboard},
    {"ClearClipboard", SysClearClipboard},
    {"OpenURL", SysOpenURL},
    {"GetVersion", SysGetVersion},
    {"GetCommandLine", SysGetCommandLine},
    {"GetProgramInfo", SysGetProgramInfo},
    {"GetMemoryInfo", SysGetMemoryInfo},
    {nullptr, nullptr},
};

static const luaL_Constant SystemConstants[] = {
    {"SECONDS", nullptr, 0},
    {"MILLISECONDS", nullptr, 1},
    {"TICKS", nullptr, 2},
    {"DATEYEAR", nullptr, 0},
    {"DATEMONTH", nullptr, 1},
    {"DATEDAY", nullptr, 2},
    {"DATETIME", nullptr, 3},
    {"CHIPMEMORY", nullptr, 0},
    {"FASTMEMORY", nullptr, 1},
    {"NIL", nullptr, 0},
    {"STRING", nullptr, 3},
    {"LONG", nullptr, 1},
    {"FLOAT", nullptr, 1},
    {"INTEGER", nullptr, 1},
    {"NUMBER", nullptr, 2},
    {"FUNCTION", nullptr, 5},
    {"TABLE", nullptr, 4},
    {"USERDATA", nullptr, 8},
    {"LIGHTUSERDATA", nullptr, 9},
    {"THREAD", nullptr, 10},
    {"BYTE", nullptr, 7},
    {"SHORT", nullptr, 6},
    {"WORD", nullptr, 6},
    {"REQ_NORMAL", nullptr, 0},
    {"REQ_MULTISELECT", nullptr, 1},
    {"REQ_SAVEMODE", nullptr, 2},
    {"PRGTYPE_SCRIPT", nullptr, 0},
    {"PRGTYPE_APPLET", nullptr, 1},
    {"PRGTYPE_PROGRAM", nullptr, 2},
    {"REQICON_NONE", nullptr, 0},
    {"REQICON_INFORMATION", nullptr, 1},
    {"REQICON_ERROR", nullptr, 2},
    {"REQICON_WARNING", nullptr, 3},
    {"REQICON_QUESTION", nullptr, 4},
    {"CLIPBOARD_EMPTY", nullptr, 0},
    {"CLIPBOARD_TEXT", nullptr, 1},
    {"CLIPBOARD_IMAGE", nullptr, 2},
    {"CLIPBOARD_SOUND", nullptr, 3},
    {"CLIPBOARD_UNKNOWN", nullptr, 4},
    {"HKEY_CLASSES_ROOT", nullptr, 0},
    {"HKEY_CURRENT_CONFIG", nullptr, 1},
    {"HKEY_LOCAL_MACHINE", nullptr, 2},
    {"HKEY_USERS", nullptr, 3},
    {"HKEY_CURRENT_USER", nullptr, 4},
    {nullptr, nullptr, 0},
};

int OpenSystemLib(lua_State *L)
{
    luaL_openlib(L, nullptr, SystemCommands, 0);
    int err = RegisterCommandTable(SystemCommands, "system");
    if (err) return err;
    luaL_registerconstants(L, SystemConstants);
    GetLastErrorHandler = SysGetLastError;
    OsGetSysTime(&ProgramClock);
    SetRequesterLabels();
    WatchClipboardChanges(1);
    OsSetHelperPumpState(L);
    return 0;
}

void CloseSystemLib(lua_State *L)
{
    FreeAllTimers();
    OsCloseCatalog();
    WatchClipboardChanges(0);
    OsSetHelperPumpState(nullptr);
}
