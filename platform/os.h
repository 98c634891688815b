// The platform layer: the one interface through which the runtime and the libraries reach the
// operating system. The Linux implementation lives in platform/linux/, one file per service.
//
// Paths handed to these calls are the script's own texts. Buffers always come with their size;
// a result that does not fit is refused (0 / none), never cut silently. The platform includes
// nothing of the program's own: it hands plain buffers and structs up (allocated with malloc,
// the allocator behind the runtime's MemAlloc/MemFree) and calls up only through OsUpcalls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <cstdio>

struct lua_State;
struct lua_Debug;

// ---------------------------------------------------------------------------------------------
// Start and end

// Starts the platform layer: keeps SDL away from the process's signals and installs the
// player's own (OsInstallSignals). Starts no video system: SDL's video and event subsystems
// come up with the first display (OsInitVideo). Returns 0.
int OsInit(void);
// Ends the platform layer: removes the timers, frees the joysticks and pointers, puts the
// gamma ramps of a fade back, restores a switched screen mode, closes windows still open (their
// records stay with their owners) and quits whatever SDL subsystems were started. Safe without
// OsInit and when called twice.
void OsShutdown(void);
// Starts SDL video and events on first use; 0 on success, else 1010 ("Unable to open window!").
int OsInitVideo(void);
// Non-zero when a real display is available: the video driver (running, or named by
// SDL_VIDEODRIVER) is not "dummy" or "offscreen", and an X11 or Wayland display is reachable.
int OsHasRealDisplay(void);
// Opens a shared library by the name the dynamic loader knows it by and looks up routines in it
// and its dependencies: routines is a struct of function pointers, one for each of names (the
// list ends with nullptr) in their order, size its size. Libraries most applets never use are
// opened this way on first use rather than at start-up. 0 when the library and every routine
// were found (the library then stays open), else 1 with every pointer none.
int OsOpenLibrary(const char *library, const char *const *names, void *routines, size_t size);

// Hooks that do nothing on this platform.
void OsNullHook(void);
void OsOpenDebugDevice(void);
int OsUsePubScreen(const char *name);   // 0
void OsOpenCatalog(void);
void OsCloseCatalog(void);
const char *OsGetCatalogString(void *catalog, int number, const char *defaultText);

// ---------------------------------------------------------------------------------------------
// Time: {seconds, microseconds}, microseconds 0..999999. Stamps and timers come from a monotonic
// clock, so they never jump with the wall clock.
struct OsTimeVal {
    uint32_t seconds;
    uint32_t micros;
};

void OsGetSysTime(OsTimeVal *out);
// a = a - b, borrowing 1000000 microseconds when a's microseconds are smaller.
void OsSubTime(OsTimeVal *a, const OsTimeVal *b);
// a = a + b, carrying one second when the microseconds exceed 999999.
void OsAddTime(OsTimeVal *a, const OsTimeVal *b);
// -1, 0 or 1: seconds first, then microseconds.
int OsCmpTime(const OsTimeVal *a, const OsTimeVal *b);
// The monotonic clock as seconds plus microseconds / 1000000.
double OsGetTimeSeconds(void);

// Waits that long. Up to 100 ms it sleeps without pumping events and returns 0; longer waits
// keep the event pump running (OsPumpEvents) and return 1 as soon as the program must stop,
// else 0 once the time has passed. Runs on the real monotonic clock (not OsSetClock's).
int OsWaitMillis(lua_State *L, int millis);
// Sleeps that long without pumping events.
void OsSleepMillis(lua_State *L, int millis);

// Replaces the clock behind OsGetSysTime (tests); nullptr restores the system clock.
typedef void (*OsClockFunc)(OsTimeVal *out);
void OsSetClock(OsClockFunc clock);

// Dates (local time through the C library; the process locale is never changed).
// kind 0: short local date into text1 (at most 64 bytes); kind 1: "%.2d-%.2d-%.2d" (month, day,
// year - 2000) into text1 and "%.2d:%.2d:%.2d" into text2; kind 2: the time into text1;
// kind 3: the local weekday name into text1 (at most 64 bytes). Both texts hold 64 bytes.
void OsGetDateString(int kind, char *text1, char *text2);
// Six words: seconds, minutes, hours, day of month, month 0-11, full year (local time).
void OsTimeToDate(time_t t, int date[6]);
// The inverse through mktime with the daylight-saving flag -1; 0 when the date is invalid.
time_t OsDateToTime(const int date[6]);

// ---------------------------------------------------------------------------------------------
// Windows, input, timers, refresh, pointers and joysticks (SDL2)
//
// The platform knows nothing of the displays above it. Each display owns one OsWindowRecord
// (OsAllocWindowRecord) whose `owner` points back at it; the platform keeps its records in one
// list in allocation order and reaches the owner only through the registered OsUpcalls.

// Display flags that the window code reads (the display's own flag word, passed on as it is),
// and OS_WF_BACKDROP, added for the backdrop that covers the screen behind the displays: it stays
// below every other window, is offered in no task bar or window list and takes no close.
enum {
    OS_WF_BORDERLESS = 1, OS_WF_SIZEABLE = 2, OS_WF_FIXED = 4, OS_WF_NOMODESWITCH = 8,
    OS_WF_NOHIDE = 32, OS_WF_USEQUARTZ = 0x2000, OS_WF_NOCLOSE = 0x4000, OS_WF_BACKDROP = 0x40000000
};

// Input event types handed to OsUpcalls.postEvent.
enum {
    OS_EV_LEFTBUTTON = 1, OS_EV_RIGHTBUTTON = 2, OS_EV_KEY = 3, OS_EV_MOVED = 4, OS_EV_SIZED = 5,
    OS_EV_INACTIVE = 6, OS_EV_CLOSE = 7, OS_EV_ACTIVE = 8, OS_EV_COLLAPSED = 9,
    OS_EV_EXPANDED = 10, OS_EV_WHEELUP = 11, OS_EV_WHEELDOWN = 12, OS_EV_MODESWITCH = 13,
    OS_EV_DROP = 14, OS_EV_CLIPBOARD = 15, OS_EV_MIDBUTTON = 16
};

// Key codes above the Latin-1 range (key events carry a Latin-1 code 0-255 or one of these).
enum {
    OS_KEY_UP = 256, OS_KEY_DOWN, OS_KEY_RIGHT, OS_KEY_LEFT, OS_KEY_HELP, OS_KEY_F1, OS_KEY_F2,
    OS_KEY_F3, OS_KEY_F4, OS_KEY_F5, OS_KEY_F6, OS_KEY_F7, OS_KEY_F8, OS_KEY_F9, OS_KEY_F10,
    OS_KEY_BACKSPACE, OS_KEY_TAB, OS_KEY_ENTER, OS_KEY_RETURN, OS_KEY_ESC, OS_KEY_SPACE,
    OS_KEY_DEL, OS_KEY_F11, OS_KEY_F12, OS_KEY_INSERT, OS_KEY_HOME, OS_KEY_END, OS_KEY_PAGEUP,
    OS_KEY_PAGEDOWN, OS_KEY_PRINT, OS_KEY_PAUSE, OS_KEY_F13, OS_KEY_F14, OS_KEY_F15, OS_KEY_F16,
    OS_KEY_STATES = 300   // size of a window's key-state array
};

// Qualifier bits (OsGetQualifiers); bit 31 marks a qualifier word.
enum : uint32_t {
    OS_QUAL_MARK = 0x80000000u, OS_QUAL_LSHIFT = 0x10000, OS_QUAL_RSHIFT = 0x20000,
    OS_QUAL_LALT = 0x40000, OS_QUAL_RALT = 0x80000, OS_QUAL_LCOMMAND = 0x100000,
    OS_QUAL_RCOMMAND = 0x200000, OS_QUAL_LCONTROL = 0x400000, OS_QUAL_RCONTROL = 0x800000
};

// An inclusive rectangle (x1, y1)-(x2, y2).
struct OsRect {
    int32_t x1, y1, x2, y2;
};

// 32-bit pixels handed to the window code: rows of `width` words `bytesPerRow` apart, pixel
// format 11 (red in bits 8-15, green 16-23, blue 24-31, bits 0-7 free) unless `format` says 10
// (0x00RRGGBB). The platform never frees them.
struct OsPixelBuffer {
    uint32_t *pixels;
    int32_t width, height;
    int32_t bytesPerRow;
    int format;
};

struct SDL_Window;
struct SDL_Surface;
struct SDL_Cursor;

// The platform part of one display's window. Fields marked (display) are written by the display
// side; the others belong to the platform and may be read by anyone on the main thread.
struct OsWindowRecord {
    OsWindowRecord *next;           // the platform's list, in allocation order
    void *owner;                    // the display (handed back through OsUpcalls)
    SDL_Window *window;             // none until OsOpenWindow
    uint32_t windowId;              // SDL's id of the window
    uint32_t flags;                 // OS_WF_... given to OsOpenWindow
    int32_t x, y;                   // outer frame position as the display knows it
    int32_t width, height;          // content size as the display knows it
    int32_t offsetX, offsetY;       // (display) where the display's picture starts in the window
    int32_t borders[4];             // left, top, left + right, top + bottom
    int windowState;                // 0 not shown, 1 shown, 2 collapsed
    int fullScreen;                 // 1 while the window covers the screen in a switched mode

    // Flags the pump reads and clears on every pass.
    int closeRequested, resized, ctrlC, escape;
    int pendingModeSwitch;          // -1 none, else the display mode to switch to (1 full, 0 window)
    int dropTarget;                 // OsUpdateDropTarget: drops are accepted

    // Input state kept by the pump (plain fields, read by the display and event code).
    int leftButton, rightButton, midButton;   // 1 while held
    uint8_t keys[OS_KEY_STATES];              // 1 while the key of that code is held
    int32_t mouseX, mouseY;                   // pointer in window coordinates
    int mouseMoved;                           // set by every motion; the event code clears it
    OsTimeVal mouseMovedTime;
    int active;                               // 1 while the window has the input focus

    // Pointer (OsSetCursor, OsHideCursor).
    int pointerHidden;
    SDL_Cursor *cursor;             // none: the system arrow

    // Refresh: rectangles drawn since the last presentation, window coordinates.
    OsRect *dirty;
    int dirtyCount, dirtyMax;
    OsTimeVal lastPresent;          // frame clock of OsFlushDisplay
    OsTimeVal lastShown;            // time of the last presentation on the screen
    uint32_t presentCount;          // presentations so far
    int presentCredit;              // OsFlushDisplay above the monitor rate: share of a presentation

    // Shape of a shaped window: width x height bytes, 0 transparent .. 255 opaque.
    uint8_t *shapeAlpha;
    int shaped;

    // The window's own gamma ramp (768 words) while a fade holds it, else none.
    uint16_t *fadeRamp;
};

// Everything the platform needs from above, registered once with OsSetUpcalls. A field left
// none does nothing (queries answer 0), so the platform also runs alone.
struct OsUpcalls {
    // Queues an input event for the owner. `extra` (drops: the file list) is only lent for the
    // call: the receiver copies extraSize bytes when it keeps them.
    void (*postEvent)(void *owner, uint32_t type, uint32_t a, uint32_t b, uint32_t c,
                      const void *extra, size_t extraSize);
    // Non-zero when the owner has a closewindow handler (a close request then doesn't stop).
    int (*hasCloseHandler)(void *owner);
    // The window was moved or sized by the user: the new outer position and content size, stored
    // in the owner before the event is posted.
    void (*geometryChanged)(void *owner, int32_t x, int32_t y, int32_t width, int32_t height);
    // The window's contents were lost (expose): redraw the whole display into it.
    void (*refresh)(void *owner);
    // The pump applies a pending mode switch (1 full screen, 0 windowed) or a finished user resize
    // (rebuilds the display for its new content size). L is the pump's interpreter state.
    void (*switchMode)(lua_State *L, void *owner, int mode);
    void (*resizeDone)(lua_State *L, void *owner, int32_t width, int32_t height);
    // For the mode-switch keys: non-zero when the owner is the only display; its display mode
    // (0 windowed); non-zero while a requester is open on it.
    int (*isOnlyDisplay)(void *owner);
    int (*displayMode)(void *owner);
    int (*requesterOpen)(void *owner);
    // Hit test of a borderless window: 1 in a drag region, 2 in a size region, else 0.
    int (*hitTest)(void *owner, int32_t x, int32_t y);
    // Audio notifications: called on every pump pass; reap is 1 once a second.
    void (*audioPump)(int reap);
    // Names the path a failed call was about in the error message (the error string).
    void (*setErrorString)(const char *text);
    // The interpreter's stop flag: read by the pump, set to 1 by the quit conditions. None: a
    // flag of the platform's own.
    volatile int *stopFlag;
};
// Registers the fields that are set in the table (several layers register their own fields);
// none clears every field again.
void OsSetUpcalls(const OsUpcalls *upcalls);

// The window record. OsAllocWindowRecord gives a zeroed record (pending mode switch -1, arrow
// pointer) linked into the platform's list: 0, or 1000 ("Out of memory!"). OsFreeWindowRecord
// closes its window first and unlinks it; none is ignored.
int OsAllocWindowRecord(void *owner, OsWindowRecord **out);
void OsFreeWindowRecord(OsWindowRecord *win);
// The first record in the list, or none (tests, the test-input hook).
OsWindowRecord *OsFirstWindowRecord(void);

// Opens the window: outer frame at (x, y), content width x height, `title` Latin-1, `flags`
// OS_WF_...; SDL video starts on first use. With `shape` (width x height bytes, non-zero =
// visible) a shaped window is made where SDL can, else a plain one. Activates it when asked.
// A window opened over the whole screen while OsSetScreenMode has switched the mode goes full
// screen in that mode. 0; 1000 when the shape copy can't be allocated; 1010 ("Unable to open
// window!") when the window can't be created.
int OsOpenWindow(OsWindowRecord *win, uint32_t flags, int32_t x, int32_t y, int32_t width,
                 int32_t height, const char *title, int activate, const uint8_t *shape);
// Presents what is still dirty and destroys the window; the record stays.
void OsCloseWindow(OsWindowRecord *win);
// Left, top, left + right and top + bottom border sizes of a window with these flags: all 0 for
// BORDERLESS or without a window manager; else the frame the window manager gives a standard
// window, measured once on a temporary window that is never shown (where the manager doesn't
// answer, on an open window with borders once it is mapped, else 0).
void OsGetBorderSizes(uint32_t flags, int32_t sizes[4]);
// New content size / outer position; recorded first, so the window's own events stay silent.
void OsSizeWindow(OsWindowRecord *win, int32_t width, int32_t height);
void OsMoveWindow(OsWindowRecord *win, int32_t x, int32_t y);
void OsSetWindowTitle(OsWindowRecord *win, const char *title);   // Latin-1
// Minimises (1) or restores (0); nothing while full screen. 0.
int OsCollapseWindow(OsWindowRecord *win, int collapse);
void OsActivateWindow(OsWindowRecord *win);
// Accepts (1) or refuses (0) dropped files. 0.
int OsUpdateDropTarget(OsWindowRecord *win, int accept);
int OsCanSizeDisplay(void);         // 1
void OsApplySizeLimits(void);       // does nothing
void OsResetInput(OsWindowRecord *win);                  // does nothing
int OsWatchClipboard(OsWindowRecord *win, int on);      // 0, does nothing

// Screens.
// Switches the screen to the available mode closest to width x height (depth in bits is a
// hint); the mode is applied when a window covering it opens or is already open full screen.
// 0, or 1004 ("Error opening screen!") when there is no such mode.
int OsSetScreenMode(int32_t width, int32_t height, int32_t depth);
void OsRestoreScreenMode(void);
// Fades the player's windows to black in 0.5 s and back in 1.0 s through their gamma ramps.
// OsFadeOut reserves the fader for 10 s and stores a token, or 0 when the video driver has no
// ramps or refuses them (the fade is then skipped); without the wait flag the end level is set
// at once. OsFadeIn with that token fades back, puts the windows' own ramps back and releases
// the reservation; without a token it does nothing. OsShutdown puts the ramps back as well.
void OsFadeOut(int *token, int wait);
void OsFadeIn(int token, int wait);
// 1 content hidden, 2 all hidden, 0 normal (after an earlier change): remembered only.
void OsSetUIMode(int mode);
// Platform part of opening the first display: displayMode 1 (full screen) with screenWord 0 is
// fake full screen, displayMode 1 with followingWord 0 needs nothing; otherwise the menu bar is
// hidden and the result is 1: the caller fits the display to the screen. Else 0.
int OsPrepareScreen(int displayMode, int screenWord, int followingWord);
// x, y, width, height of the usable area of the main screen.
void OsGetUsableScreenArea(int32_t area[4]);
// Reads a rectangle of the screen into a new malloc'd array of 0x00RRGGBB words (rows of
// *width words): on X11 the root window (other programs' windows included), elsewhere the
// player's own windows over black. The rectangle is clipped to the screen; *width and *height
// receive the clipped size. None when nothing of it lies on the screen or memory runs out.
uint32_t *OsGrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, int32_t *outWidth,
                       int32_t *outHeight);

// Platform attributes: 5 bits per pixel of the screen (bytes per pixel x 8), 6/7 pointer x/y in
// window coordinates (win needed; on a real screen the global pointer minus the window's content
// position, so also outside the window), 12/13 pointer size 16, 14/15 screen size, 16 the frame-rate
// limit, 20 1, 22 menu-bar height 0, 23 the usable area into area[4] (value 0). Returns 1 with
// *value set for these; 0 for any other attribute (the caller asks the bitmap attributes).
int OsGetAttr(OsWindowRecord *win, int attribute, int32_t *value, int32_t *area);
// Tags: 8 CtrlCQuit, 9 LeftMouseQuit, 10 EscapeQuit, 16 the frame-rate limit (0: the monitor
// rate again); others are ignored.
void OsSetTag(int tag, int32_t value);

// The pump and input.
// One pump step (the interpreter's line hook and the pump of every waiting loop; `ar` is
// ignored): returns at once when SDL's queue is empty and less than 10 ms passed since
// the last run; else translates one event, applies the signals, runs every window's quit
// checks (setting the stop flag), presents dirty windows (at most once per monitor period)
// and calls the audio hook. Returns 1 while the stop flag is set, else 0.
int OsPumpEvents(lua_State *L, lua_Debug *ar);
// The current qualifiers (from the last key event's modifiers): OS_QUAL_MARK | left-hand bits.
uint32_t OsGetQualifiers(void);
// Installs SIGINT (Control+C on every window; with none the stop flag while CtrlCQuit is on),
// SIGTERM and SIGHUP (a close on every window; with none the stop flag), applied by the pump;
// a second signal before the pump took the first ends the process the default way. OsInit
// calls it.
void OsInstallSignals(void);

// Timers: intervals and timeouts of the event library, checked by the pump and the waits on
// OsGetSysTime's clock. The id is the script object's identifier.
struct OsTimerId {
    uint32_t number;
    void *handle;
};
// An opaque node of the timer list.
struct OsTimerNode;
enum { OS_TIMER_INTERVAL = 0, OS_TIMER_TIMEOUT = 1, OS_TIMER_NONE = 8 };
enum {
    OS_TIMER_START_INTERVAL = 0, OS_TIMER_START_TIMEOUT = 1, OS_TIMER_REMOVE_INTERVAL = 2,
    OS_TIMER_REMOVE_TIMEOUT = 3, OS_TIMER_CHANGE_INTERVAL = 4
};
// op 0: an interval due at once, then every millis (at least 1); 1: a timeout due after millis;
// 2/3: remove the interval/timeout of that id (none: nothing); 4: give a running interval a new
// period, due at once again. 0, or 1000 when a node can't be allocated; other ops do nothing.
int OsSetTimer(int op, const OsTimerId *id, int32_t millis);
// The first node of that kind and id, or none; *next receives its successor.
OsTimerNode *FindOsTimer(int kind, const OsTimerId *id, OsTimerNode **next);
// One step of the dispatcher's walk (from none = the list head): looks at that node only; when
// it has fallen due, *kind is 0 (interval; due += period, missed firings skipped) or 1 (timeout;
// the node is freed) and *id its id; else *kind is 8. Returns the next node to look at.
OsTimerNode *OsCheckTimer(OsTimerNode *from, int *kind, OsTimerId *id);
// Removes every timer.
void OsFreeTimers(void);
// Blocks until an SDL event is queued (left in the queue), a timer falls due or
// OsWakeEventLoop is called. 0.
int OsWaitForEvent(lua_State *L);
// Wakes OsWaitForEvent and OsWaitMillis; safe from any thread.
void OsWakeEventLoop(void);

// Refresh and pacing.
// Copies a rectangle of `src` into the window: unscaled to (offsetX + dx, offsetY + dy), or,
// with sw and sh both non-zero, the w x h source scaled (nearest) to sw x sh at the content
// offset. Clipped to the source and the window. Nothing while the window is not shown (state
// 1) unless flags has OS_BLT_FORCE. The drawn rectangle is presented later (pump, waits, flush).
enum { OS_BLT_FORCE = 16 };
void OsBltToWindow(const OsPixelBuffer *src, int32_t sx, int32_t sy, OsWindowRecord *win,
                   int32_t dx, int32_t dy, int32_t width, int32_t height, int32_t sw, int32_t sh,
                   int flags);
// Window primitives in display coordinates (the content offset is added), colour 0xRRGGBB,
// clipped to the window; nothing while the window is not shown.
void OsWindowRectFill(OsWindowRecord *win, int32_t x, int32_t y, int32_t width, int32_t height,
                      uint32_t colour);
void OsWindowWritePixel(OsWindowRecord *win, int32_t x, int32_t y, uint32_t colour);
void OsWindowDrawLine(OsWindowRecord *win, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      uint32_t colour);
// Puts the window's shape alpha (at the destination position) into the free byte of dst's
// pixels (bits 0-7 for format 11, else 24-31): ORed with src's pixels when src is given, else
// into dst's own. Clipped to both buffers and the shape.
void OsMergeAlpha(OsWindowRecord *win, const OsPixelBuffer *src, int32_t sx, int32_t sy,
                  OsPixelBuffer *dst, int32_t dx, int32_t dy, int32_t width, int32_t height);
// Presents the window and sleeps the rest of the frame period of the current limit. Above the
// monitor rate it presents once per monitor period and only paces the other calls.
void OsFlushDisplay(lua_State *L, OsWindowRecord *win);
// Presents every window's dirty rectangles now (waits and the pump call it, paced).
// With KV_PRESENT_LOG=path in the environment, every present that updates the screen appends
// one line to that file: the CLOCK_MONOTONIC time of it in microseconds (for timing start-up).
void OsPresentAll(void);
// The monitor rate: the screen's refresh rate, 60 when the mode reports none.
int OsMonitorRate(void);

// Pointers.
struct OsCursor;
// A pointer from width x height ARGB words (0xAARRGGBB) with its hot spot; a handle even where
// SDL has no pointers (dummy driver). None on bad arguments or no memory.
OsCursor *OsCreateCursor(const uint32_t *argb, int32_t hotX, int32_t hotY, int32_t width,
                         int32_t height);
void OsFreeCursor(OsCursor *cursor);
// kind 0 the arrow, 1 busy, 2 the given handle: stored in the window, shown when it has focus.
void OsSetCursor(OsWindowRecord *win, OsCursor *cursor, int kind);
void OsShowCursor(OsWindowRecord *win);
void OsHideCursor(OsWindowRecord *win);
void OsResetCursor(void);
// Moves the pointer to window coordinates (x, y) and posts the matching motion, so the pointer
// the player knows moves also where no real pointer exists.
void OsWarpPointer(OsWindowRecord *win, int32_t x, int32_t y);

// Joysticks (the list is built on first use; SDL_JoystickUpdate before each read).
enum {
    OS_JOYUP = 0, OS_JOYUPRIGHT, OS_JOYRIGHT, OS_JOYDOWNRIGHT, OS_JOYDOWN, OS_JOYDOWNLEFT,
    OS_JOYLEFT, OS_JOYUPLEFT, OS_JOYNODIR
};
// 0, or 1385 ("Cannot acquire joystick!") when the joystick system can't start.
int OsCountJoysticks(int *count);
// Direction (OS_JOY...) and 32 button bits of joystick `index` (0 based); either may be none.
// 0, 1385, 1000, or 1427 ("No joystick found at specified game port!").
int OsReadJoystick(int index, int *direction, uint32_t *buttons);
void OsFreeJoysticks(void);
// The position -1000..1000 of a value in [min, max] (0 for an empty range); the arithmetic of
// the axes (which widen their range to every value read).
int32_t OsJoyAxisPosition(int32_t value, int32_t min, int32_t max);
// Direction of a position pair (y grows downward; beyond +-500 counts).
int OsJoyDirection(int32_t x, int32_t y);

// Animation decoding hooks: this platform decodes no animation format of its own.
int OsLoadAnim(void *animFile);                  // 0
int OsGetAnimFrame(void *animFile, int frame);   // 0
int OsGetAnimDelay(void *animFile, int frame);   // 0
void OsFreeAnim(void *animFile);

// Test-only input (platform/linux/os_testinput.cpp): KV_TEST_INPUT names an event file, one
// event a line, groups split by blank lines. OsStartTestInput reads it (the first window's
// opening calls it) and puts a test clock behind OsGetSysTime that "clock MS" lines advance; 1
// when a file is in use. Whenever OsWaitForEvent would block, OsFeedTestInput pushes the next
// group to its window through SDL's queue and translates it line by line; with the file used up
// it sets the stop flag. Returns 0 while no file is in use. OsStopTestInput forgets the file.
int OsStartTestInput(void);
int OsFeedTestInput(void);
void OsStopTestInput(void);

// ---------------------------------------------------------------------------------------------
// Recursive mutexes (the same thread may lock again; as many unlocks as locks release it).
struct OsMutex;
OsMutex *OsCreateMutex(void);          // none when creation fails
void OsDeleteMutex(OsMutex *mutex);     // none is ignored
void OsLockMutex(OsMutex *mutex);
int OsTryLockMutex(OsMutex *mutex);     // 1 when locked now, 0 when another thread holds it
void OsUnlockMutex(OsMutex *mutex);

// ---------------------------------------------------------------------------------------------
// Console, requesters, process information

// printf to standard output.
int OsPrintF(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Requesters: see "Requesters, clipboard and URLs" at the end of this file.

// Creates a new empty temporary file atomically (mkstemp) and writes its path into the buffer.
// Returns 1, or 0 when the path does not fit (the buffer then holds "") or the file cannot be
// made (the buffer then holds the name it was to have, "XXXXXX" and all, for the message).
int OsTempFileName(char *buffer, size_t size);

// Bytes of physical memory, saturated at 4294967295.
uint32_t OsGetPhysicalMemory(void);

// The executable's path (/proc/self/exe, else argv[0] made absolute). 1, or 0 when unknown or
// it does not fit. argc/argv may be 0/none.
int OsGetExecutablePath(int argc, char **argv, char *buffer, size_t size);
// The "bundle" of the player: on Linux the directory that holds the executable; the bundle's
// resource folder is that same directory. 1, or 0 when unknown or it does not fit.
int OsGetBundlePath(char *buffer, size_t size);
// Launch arguments of a bundle's property list: there are none on Linux, so always "".
void OsGetLaunchArgs(int argc, char **argv, char *buffer, size_t size);
// The document of a pending open-document event: none on Linux.
const char *OsGetLaunchDocument(void);

// ---------------------------------------------------------------------------------------------
// Paths and the file system (the part the file layer needs)

// The absolute path of a name: its real path; else a relative name joined to the current
// directory; else the name itself. 1, or 0 when the result does not fit the buffer.
int OsFullPath(const char *path, char *buffer, size_t size);
// Makes path the current directory and returns the previous one (malloc'd, for the caller to
// free and perhaps pass back to restore); none when it cannot be allocated (the directory is
// then not changed). A path that cannot be entered leaves the directory as it is.
char *OsChangeDir(const char *path);
// A malloc'd native form of a Latin-1 path, with "\" turned into "/" in paths shorter than 1024
// bytes; none on failure (the caller then uses the path as it is). Component by component: the
// UTF-8 form when a file of that name exists, else the text's own bytes when those name one (a
// name that is no UTF-8 on disk, as listings hand it out), else (a new name) UTF-8, a text that
// already is valid UTF-8 being kept as it is. Listings and lock paths give names the other way
// round, so that each one names the same file again.
char *OsNativePath(const char *path);
// Deletes a file or an empty directory: 1 on success.
int OsDelete(const char *path);
// The name behind the directory part of a path: after the last '/' or '\', else after a ':'
// (a path ending in a separator gives ""; texts shorter than 2 are their own name).
const char *OsFilePart(const char *path);
// Appends name to path (capacity size) with one '/' between them: 1, or 0 when it does not fit
// (path unchanged).
int OsAddPart(char *path, const char *name, size_t size);

// File information of a lock.
struct OsFileInfo {
    int directory;          // 1 for a directory
    int64_t size;
    uint32_t flags;         // FILEATTR bits of the dos library
    int64_t times[3];       // access, modification, change (seconds since the epoch)
};

// A lock on a file or a directory (fields private to the platform layer).
struct OsLockHandle;
// Mode 0 (read) only: a lock for the real path ("" = the current directory), or none when it
// does not exist, is neither a directory nor a regular file, or cannot be opened.
OsLockHandle *OsLock(const char *path, int mode);
void OsUnLock(OsLockHandle *lock);
int OsExamineLock(OsLockHandle *lock, OsFileInfo *info);         // 0
// The next entry of a directory lock ("." and ".." skipped); 1, or 0 at the end. The name
// stays valid until the next call; isDir and info may be none.
int OsExamineNext(OsLockHandle *lock, const char **name, int *isDir, OsFileInfo *info);
void OsEndExamine(OsLockHandle *lock);
// 0 with *isDir = 1 for a directory; for a file *isDir = 0, the error string is set to the
// path and 1250 ("%s is not a directory!") is returned.
int OsCheckDirLock(OsLockHandle *lock, int *isDir);
// The lock's path into the buffer: 1, or 0 when it does not fit.
int OsLockPath(OsLockHandle *lock, char *buffer, size_t size);

// ---------------------------------------------------------------------------------------------
// File-system changes and launching (platform/linux/os_files.cpp). Paths are Latin-1 texts,
// converted with OsNativePath (the text as given when that fails).

// Saving over a file without losing it. OsOpenReplacement opens a new file beside path (in its
// folder, under a hidden name) for reading and writing, and *replacement receives what
// OsCommitReplacement or OsDiscardReplacement needs to finish it. Where no new file can be made
// there (a symbolic link, which is written through; a device or other file that is no regular
// file; a file mounted on its own; a folder that refuses new files), path itself is opened
// ("w+b") and *replacement stays none: the stream is then closed with fclose. A directory, a
// full disk or any other failure gives none with errno set, and the old file stays as it was.
struct OsReplacement;
FILE *OsOpenReplacement(const char *path, OsReplacement **replacement);
// Flushes, syncs and closes the stream, gives the new file the old one's permissions (and owner,
// where allowed) and puts it in the old one's place. 1 on success; 0 removes the new file and
// leaves the old one whole.
int OsCommitReplacement(FILE *stream, OsReplacement *replacement);
// Closes the stream and removes the new file; the old one stays as it was.
void OsDiscardReplacement(FILE *stream, OsReplacement *replacement);

// Renames old to new. Never replaces: an existing new name makes it fail. 1 on success, else 0.
int OsRename(const char *oldPath, const char *newPath);
// Sets the nine permission bits from FILEATTR flags (read/write/execute of owner, group and
// others); FILEATTR_NORMAL (0x10000) gives 0644 whatever else is set. 1 on success.
int OsSetProtection(const char *path, uint32_t flags);
// Sets access (times[0]) and modification (times[1]) time in seconds. 1 on success.
int OsSetFileDate(const char *path, const int64_t times[2]);
// Creates one directory with mode 0755: 0, or 1084 (error string = the path).
int OsMakeDir(const char *path);
// 1 when path names a symbolic link (lstat), whatever it points to; else 0.
int OsIsSymLink(const char *path);
// 1 when path names anything on disk (lstat: a dangling link too); else 0.
int OsNameExists(const char *path);
// 1 when both paths name one and the same file (device and inode), whatever names lead there: a
// hard link, a bind mount, a symbolic link; else 0 (also when either is missing).
int OsSameFile(const char *a, const char *b);
// Like OsTempFileName, with the suffix (e.g. ".png"; none or "" for no suffix) kept at the end of
// the name (mkstemps). 1, or 0.
int OsTempFileNameSuffix(char *buffer, size_t size, const char *suffix);
// Starts a program or opens a document. A name whose file part holds a '.' and that is longer
// than 5 characters without ending in ".app" or ".exe" is a document, opened with xdg-open.
// Otherwise: synchronous runs the program through the shell (its path quoted, then the
// arguments text as it is) and waits; asynchronous starts it with an argument vector (at most
// 128 entries; a double-quoted run is one argument) and returns at once. Every child is reaped.
// Returns 0, 1000 or 1055 (too many arguments, an unterminated quote).
int OsLaunch(const char *program, const char *args, int async);
// The name of the volume that holds path (on Linux: the mount point of its file system) into the
// buffer; 0, or 1 when it cannot be found or does not fit.
int OsGetVolumeName(const char *path, char *buffer, size_t size);
// Free and used bytes of the volume that holds path: 0, or 1 when unknown (both then 0).
int OsGetVolumeInfo(const char *path, uint64_t *freeBytes, uint64_t *usedBytes);
// File comments do not exist here: does nothing, 0.
int OsSetComment(const char *path, const char *comment);
// Wildcard patterns: this platform recognises none. OsParsePattern says whether a text is a
// pattern (always 0); OsMatchPattern whether a name matches one (always 0).
int OsAllocPattern(void);
void OsFreePattern(void);
int OsParsePattern(const char *pattern);
int OsMatchPattern(const char *pattern, const char *name);

// ---------------------------------------------------------------------------------------------
// Picture decoding and encoding (platform/linux/os_images.cpp, over SDL2_image)

// Decodes the first picture of `dataSize` bytes at `data` (the caller reads files, linked ones
// included): PNG, JPEG, TIFF, GIF or WebP. With `pixels` the picture comes back as a malloc'd
// array of width x height words 0x00RRGGBB, rows top to bottom, and, when it carries an alpha
// channel and `alpha` is given, a malloc'd array of width x height alpha bytes (0 transparent ..
// 255 opaque; else none); without `pixels` only the size (and *hasAlpha) is reported. alpha and
// hasAlpha may be none. Sizes are checked in 64 bits. Returns 0; 1000 when memory runs out or
// the header declares more than OS_MAX_PICTURE_PIXELS; 1358 when the bytes are no picture of
// those formats.
int OsLoadImage(const void *data, size_t dataSize, int32_t *width, int32_t *height, uint32_t **pixels,
                uint8_t **alpha, int *hasAlpha);

// Largest picture that this decoder and the program's own picture readers decode, in pixels:
// 2^28, a 16384 x 16384 picture; under the fuzzer, whose memory and time are limited, 2^20.
#ifdef KV_FUZZING
constexpr uint64_t OS_MAX_PICTURE_PIXELS = (uint64_t)1 << 20;
#else
constexpr uint64_t OS_MAX_PICTURE_PIXELS = (uint64_t)1 << 28;
#endif

// Encoded picture bytes in memory (OsEncodeImage without a path).
struct OsData;
enum { OS_IMAGE_PNG = 0, OS_IMAGE_JPEG = 1 };
// Encodes width x height words 0xAARRGGBB (rows bytesPerRow apart) as PNG or JPEG (quality in
// percent, 0..100). With alphaFlag the top byte is the alpha (PNG only), else the picture is
// opaque. The words are never changed. With a path that file of the file system is written (a
// Latin-1 name, as OsNativePath makes it) as OsOpenReplacement saves: an older file is replaced
// only by a whole new one, and a failed write leaves nothing; without a path *data receives the
// bytes. 0, 1000, or 1277 (PNG) / 1315 (JPEG) when encoding or writing fails.
int OsEncodeImage(const char *path, const uint32_t *pixels, int32_t width, int32_t height,
                  int32_t bytesPerRow, int type, int alphaFlag, int quality, OsData **data);
int OsSavePNG(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int alphaFlag);
int OsSaveJPEG(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int quality);
int OsEncodeJPEGToMemory(const uint32_t *pixels, int32_t bytesPerRow, int32_t width, int32_t height,
                         int quality, OsData **data);
// The bytes of encoded data and their count; OsReleaseData frees it (none is ignored).
size_t OsGetDataBytes(const OsData *data, const uint8_t **bytes);
void OsReleaseData(OsData *data);

// ---------------------------------------------------------------------------------------------
// Requesters, clipboard and URLs (platform/linux/os_requester*.cpp, os_clipboard*.cpp)
//
// Texts are Latin-1 on the caller's side. Dialogs open only when a real display is available
// (OsHasRealDisplay): message requesters as SDL message boxes, file, folder and text requesters
// through the helper program zenity, else kdialog, found on PATH and run without a shell while
// the event pump keeps running. When nothing can be shown (no display, no helper, a failure), a
// requester prints one line on standard error and acts as cancelled. Nothing here blocks a
// headless run.

// Requester icon kinds (any other value shows the caution icon).
enum { OS_REQ_PLAIN = 0, OS_REQ_NOTE = 1, OS_REQ_STOP = 2, OS_REQ_CAUTION = 3 };
// Requester kinds: OK and Cancel, Yes and No, Yes, No and Cancel, OK only, the caller's buttons.
enum {
    OS_REQKIND_OKCANCEL = 0, OS_REQKIND_YESNO = 1, OS_REQKIND_YESNOCANCEL = 2, OS_REQKIND_OK = 3,
    OS_REQKIND_BUTTONS = 4
};
enum { OS_REQ_MAX_BUTTONS = 32 };

// A modal message requester of one kind. Kind 4 takes the caller's buttons, labels separated
// by "|" (at most 32): the chosen button's position counted from 1, 0 for the last button or
// when closed without a choice, -1 for a 33rd label or no memory. Kinds 0 and 1: 1 for the
// first button, else 0; kind 2: 1, 2 or 0; kind 3: 0. A requester that cannot be shown prints
// "title: text [buttons]" on standard error and gives 0, like a cancel.
int OsRunRequester(const char *title, const char *text, const char *buttons, int kind, int icon);
// Kind 4 when a button list is given, else kind 3.
int OsRequester(const char *title, const char *text, const char *buttons, int icon);
// OsRequester with the plain icon (the system library's SystemRequest).
int OsSystemRequest(const char *title, const char *text, const char *buttons);
// The labels of the standard buttons (the catalog's texts 94, 307, 338, 339); none keeps a
// label. Defaults: "OK", "Cancel", "Yes", "No".
void OsSetRequesterLabels(const char *ok, const char *cancel, const char *yes, const char *no);

// Test hooks: no requester shows anything while one is set; each prints its stderr line.
// OsSetRequesterHook(1, answer): every message requester returns `answer` as it is, the other
// requesters act as cancelled. OsSetRequesterHook(0, 0) removes it.
void OsSetRequesterHook(int enabled, int answer);
// Answers taken in turn by requesters of every kind, one a line (a final line feed is optional):
// a message requester reads the number of the chosen button counted from 1 (mapped as the kind
// maps a click); a file requester one path or several separated by "|"; a folder requester a
// path; a text requester the text. The line "<cancel>" cancels any requester; so does every
// requester once no answer is left. None removes the answers. When no hook is set, the first
// requester installs the lines of the file named by the environment variable
// KV_REQUESTER_ANSWERS, when that is set.
void OsSetRequesterAnswers(const char *answers);

// File requester modes.
enum { OS_FILEREQ_OPEN = 0, OS_FILEREQ_MULTIPLE = 1, OS_FILEREQ_SAVE = 2 };
// The result of a file or folder requester: malloc'd, freed with OsFreeFileRequest.
struct OsFileRequestResult {
    char *directory;    // Latin-1 directory (file requester) or the chosen folder
    char *names;        // `count` names, each ended by a zero byte
    int count;
    int chosen;         // 1 when the user confirmed
};
// A file requester: a pattern "", beginning with "*" or exactly "#?" shows every file, else extensions
// separated by "|" (with or without their "."; case is ignored); initialPath and initialFile
// (none or "") set the start. Fills the result (cleared first; chosen 0 when cancelled).
// Returns 0, or 1000 ("Out of memory!").
int OsFileRequest(const char *title, const char *pattern, int mode, const char *initialPath,
                  const char *initialFile, OsFileRequestResult *result);
// A folder requester (save set: a folder may be created); the folder comes back as the result's
// directory, with chosen 1. 0 or 1000.
int OsPathRequest(const char *title, int save, const char *initialPath, OsFileRequestResult *result);
void OsFreeFileRequest(OsFileRequestResult *result);

// Size of the text requester's buffer: 1024 bytes of text and the terminator.
enum { OS_STRINGREQ_SIZE = 1025 };
// A text requester. The default text and the entered text are checked the same way, since a
// helper cannot filter keystrokes: with a maximum length above 0 the text is cut to it; when
// numeric is set a default that is no number becomes "0" and an entered text is cut to its
// longest prefix that is one ("0" when none): an optional "-", then digits with at most one
// ".". The text, at most 1024 bytes, always terminated, goes into buffer (OS_STRINGREQ_SIZE
// bytes). Returns 0 when confirmed, 1003 ("User abort!") when cancelled, 1000 on failure.
int OsStringRequest(const char *title, const char *prompt, const char *defaultText, char *buffer,
                    int maxLength, int password, int numeric);
// The numeric rule above: 1 when the whole text passes ("-", "." and "-." do; "" does not).
int OsIsNumericText(const char *text, size_t length);

// Clipboard kinds.
enum { OS_CLIP_EMPTY = 0, OS_CLIP_TEXT = 1, OS_CLIP_IMAGE = 2, OS_CLIP_UNKNOWN = 4 };
// The clipboard's contents (OsGetClipboard): malloc'd, freed with OsFreeClipboardData.
struct OsClipboardData {
    int kind;
    char *text;             // kind 1: Latin-1, line ends as line feeds
    uint32_t *pixels;       // kind 2: width x height words 0xAARRGGBB, rows top to bottom
    int32_t width, height;
    int hasAlpha;           // kind 2: the picture carries alpha (else every alpha byte is 255)
};
// Text goes through SDL's clipboard (kept inside the process under the dummy video driver) as
// UTF-8; characters above U+00FF read as "?", and CR LF and a lone CR as one line feed.
// Pictures and the kinds other than text need a helper: xclip on X11, wl-paste and wl-copy on
// Wayland, used where a real display is available; their targets decide the kind in the
// order offered (text 1, a picture 2, anything else 4), and pictures travel as PNG.
// Returns 0, or 1364 ("Failed to open clipboard!") / 1365 ("Error reading from clipboard!").
int OsPeekClipboard(int *kind);
// Reads the contents; sound or unknown contents come back as their kind alone. 0, 1000, 1364,
// 1365.
int OsGetClipboard(OsClipboardData *data);
void OsFreeClipboardData(OsClipboardData *data);
// Puts a text / a picture (width x height words 0xAARRGGBB; hasAlpha 0 makes it opaque) on the
// clipboard. 0, 1000, or 1368 ("Error writing to clipboard!"), which a picture gives whenever
// no helper can take it.
int OsSetClipboardText(const char *text);
int OsSetClipboardImage(const uint32_t *pixels, int32_t width, int32_t height, int hasAlpha);
// Empties the clipboard. 0 or 1368.
int OsClearClipboard(void);
// Called when clipboard contents change: after every successful set or clear, and from
// OsClipboardFocusGained when the text differs from the last seen or set. None: nobody is told.
typedef void (*OsClipboardChangeFunc)(void);
void OsSetClipboardChangeHandler(OsClipboardChangeFunc handler);
// The pump calls this when one of the player's windows gains the input focus (and may call it
// on SDL_CLIPBOARDUPDATE): compares a hash of the clipboard text with the last seen or set and
// calls the change handler when they differ. The first look only records the hash.
void OsClipboardFocusGained(void);

// Opens a URL (Latin-1 text, handed on as UTF-8) with the desktop's handler: xdg-open, started
// with the URL as its one argument and reaped in the background. Without a real display
// nothing is started and one line goes to standard error. Returns 0; failures are not reported.
int OsOpenURL(const char *url);

// The interpreter state the event pump is given while a helper program runs (the system
// library registers it when it opens; none before).
void OsSetHelperPumpState(lua_State *L);
// Test hook: with on set, the helper programs found on PATH (zenity, kdialog, xclip, wl-copy,
// wl-paste, xdg-open) are used even without a real display, so tests can put fakes there.
void OsSetHelperTestMode(int on);

// ---------------------------------------------------------------------------------------------
// Audio

// The output device (platform/linux/os_audio.cpp, over SDL2). The render function fills
// `frames` frames of interleaved float stereo at the obtained rate; it runs on the device's
// thread and must neither block nor allocate.
typedef void (*OsAudioRenderFunc)(float *out, int frames);
// Opens the default device at 48000 Hz (the device may choose another rate), float32 stereo,
// and starts it. *obtainedRate receives the device rate. 0, or 1267 ("Cannot open audio
// device!").
int OsOpenAudioDevice(OsAudioRenderFunc render, int *obtainedRate);
// Pauses (1) or resumes (0) the device; nothing when it is not open.
void OsPauseAudioDevice(int pause);
// Closes the device (waits for a running render to end); safe when it is not open.
void OsCloseAudioDevice(void);

// Tells the main thread that audio notifications wait (an atomic flag; safe on the device
// thread: no lock, no allocation). OsTakeAudioWake returns the flag and clears it; the pump
// and the waits look at it.
void OsWakeMainThread(void);
int OsTakeAudioWake(void);
// Raises the calling thread's scheduling priority; best effort, failures are ignored.
void OsRaiseThreadPriority(void);

// Sound files through the platform's decoder (platform/linux/os_audio_file.cpp, libsndfile).
// The file's bytes are read through these callbacks, so any source the caller can read works.
struct OsAudioFileIO {
    int64_t (*size)(void *user);
    int64_t (*seek)(void *user, int64_t offset, int whence);    // SEEK_SET/CUR/END; new position
    int64_t (*read)(void *user, void *buffer, int64_t count);   // bytes read
    int64_t (*tell)(void *user);
    void *user;
};
struct OsAudioFileInfo {
    int64_t frames;
    int rate;
    int channels;
    int bits;           // bits per channel of PCM and floating-point data; 0 when compressed or
                        // held by a compressed container (FLAC, Ogg, MPEG, ...)
    int isFloat;        // reads deliver 32-bit floats (every file that is not 8- or 16-bit PCM)
    int bigEndian;      // raw 16-bit reads deliver big-endian words
    int isSigned;       // raw reads deliver signed samples
    int bytesPerFrame;  // of the delivered data
};
struct OsAudioFile;
// Opens the file through io (which must stay valid until OsCloseAudioFile): 0 with *file and
// *info filled; 1235 ("Unknown music format!") when the decoder does not know the data; 1294
// ("Error getting audio file properties!") when it reports no frames, no rate or no channels;
// 1000.
int OsOpenAudioFile(const OsAudioFileIO *io, OsAudioFile **file, OsAudioFileInfo *info);
// Reads up to `frames` frames from the frame position into buffer in the delivered layout:
// 8- and 16-bit PCM as stored in the file, everything else as interleaved 32-bit floats. The
// decoder seeks only when it does not stand at the position; a file it cannot seek in is
// opened again for a position behind it and read on up to one ahead. The number of frames
// read.
int64_t OsReadAudioFile(OsAudioFile *file, int64_t position, void *buffer, int64_t frames);
void OsCloseAudioFile(OsAudioFile *file);
// "AIFF", "AIFC", "RIFF WAVE", "Sound Designer 2", "NeXT", "MPEG Audio", "Core Audio" from
// the decoder's major format; "Mac Audio File" for any other.
const char *OsAudioFormatName(OsAudioFile *file);
