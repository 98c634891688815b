// The clipboard commands. Texts go straight to the platform's clipboard; pictures are brushes,
// turned into 0xAARRGGBB words and back by the brush library's two hooks.
#include "display/display.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "stdlib/system.h"

BrushPixelsFunc ClipboardBrushPixels = nullptr;
NewBrushFunc ClipboardNewBrush = nullptr;

// The platform reports every change: our own sets and clears, and other programs' texts found
// when a window gains the focus. Event 15 goes to the displays that handle it.
static void ClipboardChanged(void)
{
    if (DisplayListMutex) OsLockMutex(DisplayListMutex);
    for (DisplayRecord *d = DisplayList; d; d = d->next) {
        if (d->handlers[SLOT_CLIPBOARDCHANGE].function != -1) PostEvent(d, OS_EV_CLIPBOARD, 0, 0, 0, nullptr);
    }
    if (DisplayListMutex) OsUnlockMutex(DisplayListMutex);
}

void WatchClipboardChanges(int on)
{
    OsSetClipboardChangeHandler(on ? ClipboardChanged : nullptr);
}

// The brush's picture; without a brush library no brush can be found.
static int BrushPixels(lua_State *L, const ObjectId *id, uint32_t **pixels, int32_t *width,
                       int32_t *height, int *hasAlpha)
{
    if (ClipboardBrushPixels) return ClipboardBrushPixels(L, id, pixels, width, height, hasAlpha);
    if (id->handle) return 1041;
    SetErrorNumber((long)id->number);
    return 1174;
}

// SetClipboard(kind, data): #CLIPBOARD_TEXT with a text, #CLIPBOARD_IMAGE with a brush.
int SysSetClipboard(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int kind = GetIntArg(L, 1);
    if (kind == SYS_CLIPBOARD_TEXT) return OsSetClipboardText(luaL_checkstring(L, 2));
    if (kind != SYS_CLIPBOARD_IMAGE) return SYS_ERR_WRONGUSAGE;
    ObjectId id = GetObjectIdArg(L, 2);
    uint32_t *pixels = nullptr;
    int32_t width = 0, height = 0;
    int hasAlpha = 0;
    int code = BrushPixels(L, &id, &pixels, &width, &height, &hasAlpha);
    if (code) return code;
    code = OsSetClipboardImage(pixels, width, height, hasAlpha);
    MemFree(pixels);
    return code;
}

// GetClipboard(): the kind and the contents (a text, or the handle of a new brush); empty,
// sound and unknown contents give the kind alone.
int SysGetClipboard(lua_State *L)
{
    CheckArgs(L, 0, 0);
    OsClipboardData data;
    int code = OsGetClipboard(&data);
    if (code) return code;
    int results = 1;
    lua_pushnumber(L, data.kind);
    if (data.kind == OS_CLIP_TEXT) {
        lua_pushstring(L, data.text);
        results = 2;
    } else if (data.kind == OS_CLIP_IMAGE) {
        // Until a brush library takes the picture, it can't be handed to the script.
        code = ClipboardNewBrush ? ClipboardNewBrush(L, data.pixels, data.width, data.height, data.hasAlpha)
                                 : 1365;
        results = 2;
    }
    OsFreeClipboardData(&data);
    return code ? code : results;
}

int SysPeekClipboard(lua_State *L)
{
    CheckArgs(L, 0, 0);
    int kind;
    int code = OsPeekClipboard(&kind);
    if (code) return code;
    lua_pushnumber(L, kind);
    return 1;
}

// ClearClipboard(): the platform tells the displays through the change notification.
int SysClearClipboard(lua_State *L)
{
    CheckArgs(L, 0, 0);
    return OsClearClipboard();
}
