// Input polling and waiting: mouse buttons, keys, pointer position, joysticks, the quit
// switches and the event age limit.
#include <cctype>
#include <cstring>

#include "display/display.h"
#include "display/event.h"
#include "platform/os.h"
#include "runtime/errors.h"

uint32_t LastKeyDownCode = 0;

enum { ERR_USAGE = 1055, ERR_CLOSED = 1347 };
enum { TAG_CTRLCQUIT = 8, TAG_LEFTMOUSEQUIT = 9, TAG_ESCAPEQUIT = 10 };
enum { MOUSE_LEFT, MOUSE_RIGHT, MOUSE_MID };

static OsWindowRecord *CurrentWindow(void)
{
    return CurrentDisplay ? CurrentDisplay->window : nullptr;
}

static int DisplayOpen(void)
{
    return CurrentDisplay && CurrentDisplay->state == DISPSTATE_OPEN && CurrentDisplay->window;
}

static int ButtonDown(int which)
{
    OsWindowRecord *w = CurrentWindow();
    if (!w) return 0;
    return (which == MOUSE_LEFT ? w->leftButton : which == MOUSE_RIGHT ? w->rightButton : w->midButton) != 0;
}

static int KeyState(uint32_t code)
{
    OsWindowRecord *w = CurrentWindow();
    return w && code < OS_KEY_STATES ? w->keys[code] : 0;
}

// One wait step: block until a platform event arrives, then pump. 1 when the program must quit.
static int WaitStep(lua_State *L)
{
    OsWaitForEvent(L);
    return OsPumpEvents(L, nullptr);
}

// Waits while the button is (down = 1) or is not (down = 0) held. 1 when the program must quit.
static int WaitButton(lua_State *L, int which, int down)
{
    while (ButtonDown(which) == down)
        if (WaitStep(L)) return 1;
    return 0;
}

static int WaitClick(lua_State *L, int which)
{
    CheckArgs(L, 0, 0);
    if (!DisplayOpen()) return ERR_CLOSED;
    if (!ButtonDown(which) && WaitButton(L, which, 0)) return 0;
    if (WaitButton(L, which, 1)) return 0;
    RemoveEvents(L, -1, 1);
    return 0;
}

int WaitLeftMouse(lua_State *L) { return WaitClick(L, MOUSE_LEFT); }
int WaitRightMouse(lua_State *L) { return WaitClick(L, MOUSE_RIGHT); }
int WaitMidMouse(lua_State *L) { return WaitClick(L, MOUSE_MID); }

// The code of a key argument: one graphic character (its unsigned byte, so a Latin-1 letter is
// a valid key-state index) or a name among rows 9..last. 0 when it is neither.
static uint32_t KeyArgCode(lua_State *L, int i, int last)
{
    size_t len = 0;
    const char *text = luaL_checklstring(L, i, &len);
    if (len == 1) {
        unsigned char c = (unsigned char)text[0];
        return c > 0x20 && c != 0x7f && (c < 0x80 || c >= 0xa0) ? c : 0;
    }
    return LookupKeyName(text, KEYROW_FIRSTKEY, last);
}

int IsKeyDown(lua_State *L)
{
    CheckArgs(L, 1, 1);
    uint32_t code = KeyArgCode(L, 1, KEYROW_LASTQUALIFIER);
    if (!code) return ERR_USAGE;
    int down;
    if (code & OS_QUAL_MARK) down = (OsGetQualifiers() & code) == code;
    else down = KeyState(code);
    lua_pushnumber(L, down ? 1 : 0);
    return 1;
}

// Waits while the key is (down = 1) or is not (down = 0) held. 1 when the program must quit.
static int WaitKey(lua_State *L, uint32_t code, int down)
{
    while ((KeyState(code) != 0) == down)
        if (WaitStep(L)) return 1;
    return 0;
}

int WaitKeyDown(lua_State *L)
{
    CheckArgs(L, 1, 1);
    uint32_t code = KeyArgCode(L, 1, KEYROW_LASTKEY);
    if (!code) return ERR_USAGE;
    if (!DisplayOpen()) return ERR_CLOSED;
    if (WaitKey(L, code, 1) || WaitKey(L, code, 0) || WaitKey(L, code, 1)) return 0;
    RemoveEvents(L, -1, 1);
    return 0;
}

int WhileMouseDown(lua_State *L)
{
    CheckArgs(L, 0, 0);
    WaitButton(L, MOUSE_LEFT, 1);
    return 0;
}

int WhileRightMouseDown(lua_State *L)
{
    CheckArgs(L, 0, 0);
    WaitButton(L, MOUSE_RIGHT, 1);
    return 0;
}

int WhileKeyDown(lua_State *L)
{
    CheckArgs(L, 0, 0);
    WaitKey(L, LastKeyDownCode, 1);
    return 0;
}

static int PushButtonState(lua_State *L, int which)
{
    CheckArgs(L, 0, 0);
    lua_pushnumber(L, ButtonDown(which));
    return 1;
}

int IsLeftMouse(lua_State *L) { return PushButtonState(L, MOUSE_LEFT); }
int IsRightMouse(lua_State *L) { return PushButtonState(L, MOUSE_RIGHT); }
int IsMidMouse(lua_State *L) { return PushButtonState(L, MOUSE_MID); }

int SetEventTimeout(lua_State *L)
{
    CheckArgs(L, 1, 1);
    SetRuntimeTags(L, RTAG_EVENTAGE, GetIntArg(L, 1), 0);
    return 0;
}

static int QuitSwitch(lua_State *L, int tag)
{
    CheckArgs(L, 1, 1);
    OsSetTag(tag, GetIntArg(L, 1) != 0);
    return 0;
}

int LeftMouseQuit(lua_State *L) { return QuitSwitch(L, TAG_LEFTMOUSEQUIT); }
int EscapeQuit(lua_State *L) { return QuitSwitch(L, TAG_ESCAPEQUIT); }
int CtrlCQuit(lua_State *L) { return QuitSwitch(L, TAG_CTRLCQUIT); }

int FreeEventCache(lua_State *L)
{
    CheckArgs(L, 0, 0);
    RemoveEvents(L, -1, 1);
    return 0;
}

static int PushPointer(lua_State *L, int y)
{
    CheckArgs(L, 0, 0);
    int32_t px, py;
    DisplayPointer(CurrentDisplay, &px, &py);
    lua_pushnumber(L, y ? py : px);
    return 1;
}

int MouseX(lua_State *L) { return PushPointer(L, 0); }
int MouseY(lua_State *L) { return PushPointer(L, 1); }

int ResetKeyStates(lua_State *L)
{
    CheckArgs(L, 0, 0);
    if (CurrentDisplay) ResetDisplayInput(CurrentDisplay);
    return 0;
}

int JoyDir(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int direction = 0;
    int err = OsReadJoystick(GetIntArg(L, 1), &direction, nullptr);
    if (err) return err;
    lua_pushnumber(L, direction);
    return 1;
}

int JoyFire(lua_State *L)
{
    CheckArgs(L, 1, 2);
    int port = GetIntArg(L, 1);
    int button = GetOptIntArg(L, 2, 1);
    // A negative button would shift by a negative amount.
    if (button > 32 || button < 0) return ERR_USAGE;
    uint32_t buttons = 0;
    int err = OsReadJoystick(port, nullptr, &buttons);
    if (err) return err;
    if (button == 0) lua_pushnumber(L, buttons);
    else lua_pushnumber(L, (buttons >> (button - 1)) & 1);
    return 1;
}

int CountJoysticks(lua_State *L)
{
    CheckArgs(L, 0, 0);
    int count = 0;
    int err = OsCountJoysticks(&count);
    if (err) return err;
    lua_pushnumber(L, count);
    return 1;
}
