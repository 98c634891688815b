// The system library's handlers, shared between its files: system_lib.cpp holds the library's
// open and close functions, its one command table and its constants; the handlers live in one
// file per concern.
#pragma once
#include <cstdint>

struct lua_State;

enum { SYS_ERR_WRONGUSAGE = 1055 };

// Type codes of GetType and the width selectors of the bit commands (library constants).
enum {
    SYS_TYPE_NIL = 0, SYS_TYPE_NUMBER = 2, SYS_TYPE_STRING = 3, SYS_TYPE_TABLE = 4,
    SYS_TYPE_FUNCTION = 5, SYS_TYPE_USERDATA = 8, SYS_TYPE_LIGHTUSERDATA = 9,
    SYS_TYPE_THREAD = 10, SYS_TYPE_BOOLEAN = -1,
};
enum { SYS_SECONDS = 0, SYS_MILLISECONDS = 1, SYS_TICKS = 2 };
enum { SYS_DATEYEAR = 0, SYS_DATEMONTH = 1, SYS_DATEDAY = 2, SYS_DATETIME = 3 };

// system_timers.cpp: timer objects and waiting.
int SysStartTimer(lua_State *L);
int SysStopTimer(lua_State *L);
int SysGetTimer(lua_State *L);
int SysPauseTimer(lua_State *L);
int SysResumeTimer(lua_State *L);
int SysResetTimer(lua_State *L);
int SysWaitTimer(lua_State *L);
int SysWait(lua_State *L);
// Frees every timer (the library's close).
void FreeAllTimers(void);

// system_dates.cpp: date and time texts.
int SysGetDate(lua_State *L);
int SysGetTime(lua_State *L);
int SysGetWeekday(lua_State *L);
int SysGetDateNum(lua_State *L);
int SysCompareDates(lua_State *L);

// system_debug.cpp: catalog commands, End and the debug output.
int SysOpenCatalog(lua_State *L);
int SysCloseCatalog(lua_State *L);
int SysGetCatalogString(lua_State *L);
int SysEnd(lua_State *L);
int SysDebugPrint(lua_State *L);
int SysDebugOutput(lua_State *L);

// system_tables.cpp: types, lists, sorting, copying, metatables and traversal.
int SysGetType(lua_State *L);
int SysIIf(lua_State *L);
int SysListItems(lua_State *L);
int SysInsertItem(lua_State *L);
int SysRemoveItem(lua_State *L);
int SysUnpack(lua_State *L);
int SysSort(lua_State *L);
int SysCopyTable(lua_State *L);
int SysGetMetaTable(lua_State *L);
int SysSetMetaTable(lua_State *L);
int SysRawEqual(lua_State *L);
int SysRawGet(lua_State *L);
int SysRawSet(lua_State *L);
int SysNextItem(lua_State *L);
int SysPairs(lua_State *L);
int SysIPairs(lua_State *L);

// system_errors.cpp: the collector and errors.
int SysGCInfo(lua_State *L);
int SysCollectGarbage(lua_State *L);
int SysError(lua_State *L);
int SysExitOnError(lua_State *L);
int SysGetLastError(lua_State *L);
int SysGetErrorName(lua_State *L);
int SysGetConstant(lua_State *L);

// system_requesters.cpp: message, file, folder and text requesters.
int SysSystemRequest(lua_State *L);
int SysFileRequest(lua_State *L);
int SysPathRequest(lua_State *L);
int SysStringRequest(lua_State *L);
enum { SYS_REQ_NORMAL = 0, SYS_REQ_MULTISELECT = 1, SYS_REQ_SAVEMODE = 2 };
enum { SYS_INPUT_ALL = 0, SYS_INPUT_NUMERICAL = 3 };
// Marks the current display's requester as open (1) or closed (0) around every requester, so
// that the mode-switch keys are ignored meanwhile; to be set by the display library (the
// platform asks through its requesterOpen upcall). None: nothing is marked.
typedef void (*RequesterStateFunc)(lua_State *L, int open);
extern RequesterStateFunc RequesterStateHook;
// The standard button labels from the message texts, handed to the platform (library open).
void SetRequesterLabels(void);

// system_clipboard.cpp: the clipboard.
int SysSetClipboard(lua_State *L);
int SysGetClipboard(lua_State *L);
int SysPeekClipboard(lua_State *L);
int SysClearClipboard(lua_State *L);
enum { SYS_CLIPBOARD_TEXT = 1, SYS_CLIPBOARD_IMAGE = 2 };
// Registers (on 1) or removes (on 0) the platform's clipboard-change notification, which posts
// event 15 to every display whose "clipboardchange" handler slot holds a function.
void WatchClipboardChanges(int on);
// Clipboard pictures are brushes; the brush library sets both.
// The picture of brush `id` as width x height words 0xAARRGGBB (MemAlloc'd, the caller frees it)
// and whether the brush has a mask or an alpha channel. 0, or the lookup error with its
// argument set (1174 "Could not find brush %ld!", 1041 for a handle).
struct ObjectId;
typedef int (*BrushPixelsFunc)(lua_State *L, const ObjectId *id, uint32_t **pixels, int32_t *width,
                               int32_t *height, int *hasAlpha);
// A new brush with an automatic identifier made from the pixels (copied); pushes its handle.
// 0, or an error code (nothing pushed).
typedef int (*NewBrushFunc)(lua_State *L, const uint32_t *pixels, int32_t width, int32_t height,
                            int hasAlpha);
extern BrushPixelsFunc ClipboardBrushPixels;
extern NewBrushFunc ClipboardNewBrush;

// system_program.cpp: URLs and what the program knows of itself.
int SysOpenURL(lua_State *L);
int SysGetVersion(lua_State *L);
int SysGetCommandLine(lua_State *L);
int SysGetProgramInfo(lua_State *L);
int SysGetMemoryInfo(lua_State *L);
