// The event library: script callbacks for input, window, timer and sound events (the resumable
// dispatcher), display and global event handlers, BGPic buttons, intervals and timeouts,
// old-style label actions and key-down objects, and the polling and waiting commands.
#pragma once
#include <cstdint>

#include "display/display.h"
#include "runtime/handler_support.h"
#include "runtime/settings.h"

struct lua_State;
struct DisplayRecord;
struct BGPicNode;
struct kvLayer;
struct OsTimerNode;

// ---------------------------------------------------------------------------------------------
// Buttons (event_buttons.cpp)

enum { SIMPLEBUTTON = 0, LAYERBUTTON = 1 };
enum {
    BTN_ONMOUSEOVER, BTN_ONMOUSEOUT, BTN_ONMOUSEDOWN, BTN_ONMOUSEUP, BTN_ONRIGHTMOUSEDOWN,
    BTN_ONRIGHTMOUSEUP, BTN_ONMIDMOUSEDOWN, BTN_ONMIDMOUSEUP, BUTTON_CALLBACKS
};

struct kvBGPicButton {
    kvBGPicButton *next;           // the BGPic's list, newest first
    uint32_t type;                 // SIMPLEBUTTON or LAYERBUTTON
    ObjectId id;
    int32_t x1, y1, x2, y2;        // inclusive box in picture coordinates
    uint32_t enabled;
    uint32_t leftPressed, rightPressed, midPressed;
    uint32_t over;
    int32_t callbacks[BUTTON_CALLBACKS];   // registry references, -1 none
    kvLayer *layer;
    uint32_t pixelTest, activeWhenHidden;
    int32_t userdata;
};

// Enabled and, for a layer button, its layer shown or the button active while hidden.
int ButtonEligible(const kvBGPicButton *button);
// Whether the point (window coordinates of the display) lies on the button.
int ButtonHitTest(DisplayRecord *display, const kvBGPicButton *button, int32_t x, int32_t y);
// Unlinks and frees one button of the BGPic, moving the dispatcher off it first.
void FreeButton(BGPicNode *bgpic, kvBGPicButton *button);
// Frees every button of a BGPic (the BGPic is being freed).
void FreeBGPicButtons(BGPicNode *bgpic);
// Frees the button that belongs to a layer (the layer is being deleted); none: nothing.
void FreeLayerButton(BGPicNode *bgpic, kvLayer *layer);

int MakeButton(lua_State *L);
int DeleteButton(lua_State *L);
int EnableButton(lua_State *L);
int DisableButton(lua_State *L);
int DumpButtons(lua_State *L);

// ---------------------------------------------------------------------------------------------
// Intervals and timeouts (event_timers.cpp)

struct CallbackTimerNode {
    CallbackTimerNode *next;
    ObjectId id;
    int32_t function;
    int32_t millis;
    int32_t userdata;
};

extern CallbackTimerNode *IntervalList, *TimeoutList;
// Unlinks the node of the list and returns it; none when absent.
CallbackTimerNode *TakeTimerNode(CallbackTimerNode **list, const OsTimerId *id);
CallbackTimerNode *FindTimerNode(CallbackTimerNode *list, const OsTimerId *id);
void FreeCallbackTimers(void);

int SetInterval(lua_State *L);
int SetTimeout(lua_State *L);
int ClearInterval(lua_State *L);
int ClearTimeout(lua_State *L);
int ChangeInterval(lua_State *L);

// ---------------------------------------------------------------------------------------------
// Old-style actions (event_actions.cpp)

enum {
    EVA_ONBUTTONOVER = 1, EVA_ONBUTTONCLICK = 2, EVA_ONKEYDOWN = 3, EVA_ONBUTTONRIGHTCLICK = 5,
    EVA_MOVEWINDOW = 6, EVA_SIZEWINDOW = 7, EVA_INACTIVEWINDOW = 8, EVA_ACTIVEWINDOW = 9,
    EVA_CLOSEWINDOW = 10, EVA_ONBUTTONCLICKALL = 11, EVA_ONBUTTONRIGHTCLICKALL = 12,
    EVA_ONBUTTONOVERALL = 13, EVA_ONKEYDOWNALL = 14
};

struct EventActionNode {
    EventActionNode *next;
    int32_t type;
    int32_t id;
    int32_t x1, y1, x2, y2;
    char *keyName;
    uint32_t enabled;
};

extern EventActionNode *EventActions;
extern EventActionNode *CurrentOverAction;

// Step 5 of a pass: the first queued event that matches an enabled action requests its label
// jump (1, the events up to it removed), else 0. The caller does not hold the queue lock.
int MatchQueuedActions(lua_State *L);
// Step 7: an over action under the pointer of the current display requests its jump (1), else 0.
int MatchOverActions(lua_State *L);
void FreeEventActions(void);

int CreateButton(lua_State *L);
int RemoveButton(lua_State *L);
int ModifyButton(lua_State *L);
int CreateKeyDown(lua_State *L);
int RemoveKeyDown(lua_State *L);
int ModifyKeyDown(lua_State *L);
int EnableEvent(lua_State *L);
int DisableEvent(lua_State *L);
int ClearEvents(lua_State *L);
int WhileMouseOn(lua_State *L);
int BreakWhileMouseOn(lua_State *L);
int GetEventCode(lua_State *L);

// ---------------------------------------------------------------------------------------------
// Handlers (event_handlers.cpp)

enum { GLOBAL_HANDLER_SLOTS = 4, SLOT_ONSAMPLELOOP = 0, SLOT_ONSAMPLEEND = 1, SLOT_ONMUSICEND = 2 };
enum {
    SLOT_ONKEYDOWN = 0, SLOT_ONKEYUP = 1, SLOT_ONMOUSEMOVE = 2, SLOT_MOVEWINDOW = 4,
    SLOT_SIZEWINDOW = 5, SLOT_ACTIVEWINDOW = 6, SLOT_INACTIVEWINDOW = 7, SLOT_HIDEWINDOW = 8,
    SLOT_SHOWWINDOW = 9, SLOT_ONMOUSEDOWN = 10, SLOT_ONMOUSEUP = 11, SLOT_ONRIGHTMOUSEDOWN = 12,
    SLOT_ONRIGHTMOUSEUP = 13, SLOT_ONWHEELDOWN = 14, SLOT_ONWHEELUP = 15, SLOT_MODESWITCH = 16,
    SLOT_ONMIDMOUSEDOWN = 19, SLOT_ONMIDMOUSEUP = 20
};
extern EventHandlerSlot GlobalHandlers[GLOBAL_HANDLER_SLOTS];
// The display's close-handled flag: a closewindow function or the old-style close switch (the
// platform's quit check asks it through the hasCloseHandler upcall).
int DisplayCloseHandled(const DisplayRecord *display);

int InstallEventHandler(lua_State *L);

// ---------------------------------------------------------------------------------------------
// The dispatcher (event_dispatch.cpp)

enum {
    MSG_NONE = 0, MSG_BUTTON = 1, MSG_KEY = 2, MSG_PLAIN = 3, MSG_SIZED = 4, MSG_MOVED = 5,
    MSG_INTERVAL = 6, MSG_TIMEOUT = 7, MSG_MOUSEMOVE = 8, MSG_SOUND = 9, MSG_JUMP = 11,
    MSG_MODESWITCH = 12, MSG_DROP = 13
};

struct EventDispatchState {
    uint32_t phase;                 // 0, 1, 2, 3, 5, 6 or 7
    OsTimerNode *timerIterator;     // none: from the list head (or the walk has ended)
    int timersDone;                 // the timer walk reached the end of the list
    EventRecord event;              // the queued event being served
    kvBGPicButton *currentButton;   // the button the over/out walk looks at next
    kvBGPicButton *hitButton;
    kvBGPicButton *pressedButton;
    BGPicNode *buttonPicture;       // whose buttons the over/out walk goes through
    DisplayRecord *currentDisplay;  // the mouse-move and over/out scans are at this display
    int currentDisplayGone;         // that display was freed: the mouse-move scan ends there,
                                    // the over/out walk starts again from the head
};

struct PendingCallback {
    DisplayRecord *display;
    int kind;
    BGPicNode *bgpic;
    kvBGPicButton *button;
    int32_t function;
    int32_t userdata;
    ObjectId id;                    // timer and sound messages
    int32_t x, y;
    char action[32];
    char key[32];
    int32_t time;
    uint32_t starts;
    const char *drops;              // zero-ended names, ended by an empty one
    int savedTop;
};

extern EventDispatchState *DispatchState;
// The interpreter state the library was opened with (for references released outside a call).
extern lua_State *EventLibState;

int DispatchEvents(lua_State *L, EventDispatchState *state, int fromWhileMouseOn, PendingCallback *pc);
// A display is being freed: the dispatcher drops the event it serves for it and no scan comes
// back to it (a new display may be given its memory before the next call).
void ForgetDispatchedDisplay(DisplayRecord *display);
int BuildEventMessage(lua_State *L, EventDispatchState *state, PendingCallback *pc);
int WaitEventCore(lua_State *L, EventDispatchState *state, int wait);
// Whether the display is still in the display list.
int DisplayIsListed(const DisplayRecord *display);
// A point in window coordinates converted to the display's picture coordinates (border strips
// off, divided by the scale factors, truncated).
void WindowToDisplay(const DisplayRecord *display, int32_t x, int32_t y, int32_t *dx, int32_t *dy);
// The current pointer position in the display's coordinates; 0, 0 when it is closed.
void DisplayPointer(const DisplayRecord *display, int32_t *x, int32_t *y);

int WaitEvent(lua_State *L);
int CheckEvent(lua_State *L);

// ---------------------------------------------------------------------------------------------
// Key names (event_keys.cpp)

struct KeyNameEntry {
    const char *name;
    uint32_t code;
};
enum { KEYNAME_ROWS = 52, KEYROW_FIRSTKEY = 9, KEYROW_LASTKEY = 43, KEYROW_LASTQUALIFIER = 51 };
extern const KeyNameEntry KeyNameTable[KEYNAME_ROWS];
// The code of a name among rows first..last (without regard to case); 0 when absent.
uint32_t LookupKeyName(const char *name, int first, int last);
// The name of a key code among rows first..last, or none.
const char *KeyCodeName(uint32_t code, int first, int last);
// The text of a key as an OnKeyDown message gives it.
void MessageKeyText(uint32_t code, char out[32]);
// The text of a key as old-style key actions match it.
void ActionKeyText(uint32_t code, char out[32]);

// ---------------------------------------------------------------------------------------------
// Polling and waiting commands (event_input.cpp)

extern uint32_t LastKeyDownCode;
int WaitLeftMouse(lua_State *L);
int WaitRightMouse(lua_State *L);
int WaitMidMouse(lua_State *L);
int WaitKeyDown(lua_State *L);
int IsKeyDown(lua_State *L);
int WhileRightMouseDown(lua_State *L);
int WhileMouseDown(lua_State *L);
int WhileKeyDown(lua_State *L);
int IsLeftMouse(lua_State *L);
int IsRightMouse(lua_State *L);
int IsMidMouse(lua_State *L);
int SetEventTimeout(lua_State *L);
int LeftMouseQuit(lua_State *L);
int EscapeQuit(lua_State *L);
int CtrlCQuit(lua_State *L);
int FreeEventCache(lua_State *L);
int MouseX(lua_State *L);
int MouseY(lua_State *L);
int ResetKeyStates(lua_State *L);
int JoyDir(lua_State *L);
int JoyFire(lua_State *L);
int CountJoysticks(lua_State *L);
