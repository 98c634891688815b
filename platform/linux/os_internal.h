// Words shared by the files of the Linux platform layer, not part of its interface.
#pragma once
#include <cstddef>

// Non-zero once OsInitVideo has brought up SDL's video and event subsystems.
int OsVideoStarted(void);

// Text conversions between the script's Latin-1 and the system's UTF-8. Both return a MemAlloc
// allocation or none. Latin1ToUtf8 keeps a text that already is valid UTF-8 with non-ASCII
// characters as it is (paths from the command line and the environment arrive that way).
char *Latin1ToUtf8(const char *text);
// The script's text of a native name or path (see os_text.cpp), component by component: the
// Latin-1 form of a component that is valid UTF-8 of Latin-1 characters alone, else its bytes as
// they are. malloc'd, or none.
char *NativeToScriptText(const char *native);
// The UTF-8 form of the n Latin-1 bytes at text into out (room for 2 * n bytes, not terminated);
// returns its length.
size_t Latin1PartToUtf8(const char *text, size_t n, char *out);
// 1 when the n bytes at text are valid UTF-8.
int Utf8PartIsValid(const char *text, size_t n);

// ---------------------------------------------------------------------------------------------
// Windows, input and refresh (shared by the window, pump, refresh and pointer files)
#include "platform/os.h"

union SDL_Event;

// The registered upcalls (fields none until registered) and the stop flag behind them.
extern OsUpcalls OsUp;
int OsStopSet(void);
void OsSetStop(void);
// Posts an event through the upcall; none owner or no upcall: nothing.
void OsPost(OsWindowRecord *win, uint32_t type, uint32_t a, uint32_t b, uint32_t c,
            const void *extra = nullptr, size_t extraSize = 0);

// The quit switches (OsSetTag 8, 9, 10).
extern int OsCtrlCQuit, OsLeftMouseQuit, OsEscapeQuit;

// The platform's window list and lookup by SDL window id (none when unknown).
OsWindowRecord *OsWindowList(void);
OsWindowRecord *OsWindowById(uint32_t id);

// Lets the X server's errors about vanished windows pass instead of ending the program (video
// start under X11).
void OsKeepXErrorsQuiet(void);
// The pointer relative to the window's content area, also outside the window.
void OsPointerInWindow(const OsWindowRecord *win, int32_t *x, int32_t *y);
// Translates one SDL event into window state and posted events.
void OsTranslateEvent(SDL_Event *e);
struct SDL_KeyboardEvent;
void OsTranslateKey(OsWindowRecord *win, SDL_KeyboardEvent *k);
void OsTranslateText(OsWindowRecord *win, const char *text);
// Forgets the held modifiers (a window lost the focus: their releases go elsewhere).
void OsForgetModifiers(void);
// The key code of an SDL keycode that names a special key (keypad Enter: 3), else 0.
int OsSpecialKeyCode(int32_t keycode);
// Applies signals that arrived since the last call (closes, Control+C, the stop flag).
void OsApplySignals(void);
// Non-zero while a signal waits to be applied.
int OsSignalPending(void);

// The user event that wakes waits (registered when video starts; 0 before).
uint32_t OsWakeEventType(void);
// Disables the SDL event types the player never uses; called once video is up.
void OsTrimEventTypes(void);

// Refresh: adds a window-coordinate rectangle (clipped to the window surface) to the dirty list;
// presents a window's dirty rectangles; presents when a monitor period passed since the last.
void OsAddDirty(OsWindowRecord *win, int32_t x, int32_t y, int32_t width, int32_t height);
void OsPresentWindow(OsWindowRecord *win);
void OsPresentDue(void);
// The window's drawing surface (fetched again after a resize), or none.
SDL_Surface *OsGetWindowSurface(OsWindowRecord *win);
// The current frame-rate limit; OsSetFrameLimit 0 ends the override.
int OsFrameLimit(void);
void OsSetFrameLimit(int32_t limit);
// Re-reads the monitor rate from the screen's current mode.
void OsRefreshMonitorRate(void);

// Microseconds until the first timer falls due (0 when one is due now), -1 with no timers.
int64_t OsTimerWaitMicros(void);
// The monotonic clock in microseconds, and a sleep of the whole time (resumed after signals).
int64_t OsMonotonicMicros(void);
void OsSleepMicros(int64_t micros);
// Frees the busy and invisible pointers made on first use.
void OsFreeSystemCursors(void);
// Applies a window's pointer (hidden, custom or arrow) when it has the focus.
void OsApplyCursor(OsWindowRecord *win);
// Screen fades (os_fade.cpp). A ramp is OS_GAMMA_RAMP words: red, green and blue, 256 each.
// The hooks reach the windows' gamma ramps (0 on success) and the clock the fades step by; tests
// put fakes here, OsSetFadeHooks(nullptr) puts SDL's ramps and the monotonic clock back.
enum { OS_GAMMA_RAMP = 768 };
struct OsFadeHooks {
    int (*getRamp)(SDL_Window *window, uint16_t ramp[OS_GAMMA_RAMP]);
    int (*setRamp)(SDL_Window *window, const uint16_t ramp[OS_GAMMA_RAMP]);
    int64_t (*nowMicros)(void);
    void (*sleepMicros)(int64_t micros);
};
void OsSetFadeHooks(const OsFadeHooks *hooks);
// While a fade holds the screens: a window that opens joins it at the current level; one that
// closes gets its own ramp back first (OsOpenWindow, OsCloseWindow).
void OsFadeAdoptWindow(OsWindowRecord *win);
void OsFadeReleaseWindow(OsWindowRecord *win);
// Ends a reservation held for 10 s or more (the pump, once a second).
void OsFadeExpire(void);
// Puts every held window's ramp back and ends the reservation (OsShutdown).
void OsFadeEnd(void);

// The screen mode chosen by OsSetScreenMode, or none: the window goes full screen in it when it
// covers the whole screen.
int OsSwitchedModeFor(OsWindowRecord *win);
// The signed difference a - b in microseconds.
int64_t OsTimeDiffMicros(const OsTimeVal *a, const OsTimeVal *b);

// Names the path a failed call was about in the error message (through the upcall).
void OsNameInError(const char *path);

// SDL_image's routines, the library opened on first use; none when it can't be opened.
struct SDL_RWops;
struct OsImageRoutines {
    int (*isPNG)(SDL_RWops *src);
    int (*isJPG)(SDL_RWops *src);
    int (*isTIF)(SDL_RWops *src);
    int (*isWEBP)(SDL_RWops *src);
    SDL_Surface *(*loadTyped)(SDL_RWops *src, int freesrc, const char *type);
    int (*savePNG)(SDL_Surface *surface, SDL_RWops *dst, int freedst);
    int (*saveJPG)(SDL_Surface *surface, SDL_RWops *dst, int freedst, int quality);
};
const OsImageRoutines *OsImageLibrary(void);
// The type name of the raster formats pictures are decoded from ("PNG", "JPG", "TIF", "WEBP"),
// or none for anything else the library knows: its other readers (GIF among them, which frees a
// wild pointer on crafted files) are not meant for untrusted bytes.
const char *OsImageRasterType(const OsImageRoutines *img, SDL_RWops *rw);
