// Test-only input: an event file whose groups of events are pushed through SDL's own queue and
// translated like real input, one group each time the player would block waiting for an event.
//
// KV_TEST_INPUT names the file. One event a line, groups split by blank lines, '#' starts a
// comment line:
//   press X Y [right|middle] / release X Y [right|middle]   a button at window position X, Y
//   move X Y                                                  the pointer
//   wheel up|down
//   key NAME|CHAR down|up          a key name (ESC, F1, RETURN, LSHIFT ...) or one character
//   window close|moved|sized|focus|blur|hide|show
//   drop PATH...                   files dropped at the pointer (blank-separated paths)
//   clock MS                       advances the clock behind time stamps and timers
//   display N                      later lines go to the Nth window (allocation order, from 1)
// When the file is used up, the next block sets the stop flag, so no test waits forever.
#include <SDL.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <strings.h>

#include "platform/linux/os_internal.h"

struct KeyName {
    const char *name;
    SDL_Keycode sym;
    Uint16 mod;   // the modifier a qualifier key holds while down
};

static const KeyName KeyNames[] = {
    {"UP", SDLK_UP, 0}, {"DOWN", SDLK_DOWN, 0}, {"RIGHT", SDLK_RIGHT, 0}, {"LEFT", SDLK_LEFT, 0},
    {"HELP", SDLK_HELP, 0}, {"F1", SDLK_F1, 0}, {"F2", SDLK_F2, 0}, {"F3", SDLK_F3, 0},
    {"F4", SDLK_F4, 0}, {"F5", SDLK_F5, 0}, {"F6", SDLK_F6, 0}, {"F7", SDLK_F7, 0},
    {"F8", SDLK_F8, 0}, {"F9", SDLK_F9, 0}, {"F10", SDLK_F10, 0}, {"F11", SDLK_F11, 0},
    {"F12", SDLK_F12, 0}, {"F13", SDLK_F13, 0}, {"F14", SDLK_F14, 0}, {"F15", SDLK_F15, 0},
    {"F16", SDLK_F16, 0}, {"BACKSPACE", SDLK_BACKSPACE, 0}, {"TAB", SDLK_TAB, 0},
    {"ENTER", SDLK_KP_ENTER, 0}, {"RETURN", SDLK_RETURN, 0}, {"ESC", SDLK_ESCAPE, 0},
    {"SPACE", SDLK_SPACE, 0}, {"DEL", SDLK_DELETE, 0}, {"INSERT", SDLK_INSERT, 0},
    {"HOME", SDLK_HOME, 0}, {"END", SDLK_END, 0}, {"PAGEUP", SDLK_PAGEUP, 0},
    {"PAGEDOWN", SDLK_PAGEDOWN, 0}, {"PRINT", SDLK_PRINTSCREEN, 0}, {"PAUSE", SDLK_PAUSE, 0},
    {"LSHIFT", SDLK_LSHIFT, KMOD_LSHIFT}, {"RSHIFT", SDLK_RSHIFT, KMOD_RSHIFT},
    {"LALT", SDLK_LALT, KMOD_LALT}, {"RALT", SDLK_RALT, KMOD_RALT},
    {"LCOMMAND", SDLK_LGUI, KMOD_LGUI}, {"RCOMMAND", SDLK_RGUI, KMOD_RGUI},
    {"LCONTROL", SDLK_LCTRL, KMOD_LCTRL}, {"RCONTROL", SDLK_RCTRL, KMOD_RCTRL},
};

static char *Script = nullptr;        // the whole file
static char *Next = nullptr;          // the first line not pushed yet
static int Active = 0;
static int TargetIndex = 1;           // "display N"
static Uint16 HeldMods = 0;
static int64_t ClockOffsetMicros = 0;

// The clock behind stamps and timers: the monotonic clock plus what "clock" lines added.
static void TestClock(OsTimeVal *out)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    int64_t micros = (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000 + ClockOffsetMicros;
    out->seconds = (uint32_t)(micros / 1000000);
    out->micros = (uint32_t)(micros % 1000000);
}

static OsWindowRecord *Target(void)
{
    int n = 1;
    for (OsWindowRecord *w = OsWindowList(); w; w = w->next, n++)
        if (n == TargetIndex) return w;
    return nullptr;
}

static void Push(SDL_Event *e)
{
    e->common.timestamp = SDL_GetTicks();
    // An event type SDL filters out is translated at once, so no line is lost.
    if (SDL_PushEvent(e) != 1) OsTranslateEvent(e);
}

// Translates what the line pushed, in order.
static void TranslatePushed(void)
{
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) OsTranslateEvent(&e);
}

static void PushMotion(OsWindowRecord *win, int32_t x, int32_t y)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = win->windowId;
    e.motion.x = x;
    e.motion.y = y;
    Push(&e);
}

static int PushButton(OsWindowRecord *win, int down, const char *arg)
{
    int x, y;
    char which[16] = "";
    if (sscanf(arg, "%d %d %15s", &x, &y, which) < 2) return 0;
    Uint8 button = SDL_BUTTON_LEFT;
    if (strcmp(which, "right") == 0) button = SDL_BUTTON_RIGHT;
    else if (strcmp(which, "middle") == 0) button = SDL_BUTTON_MIDDLE;
    else if (which[0]) return 0;
    // A click somewhere else moves the pointer there first, as a real one does.
    if (x != win->mouseX || y != win->mouseY) PushMotion(win, x, y);
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = win->windowId;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = y;
    Push(&e);
    return 1;
}

static int PushKey(OsWindowRecord *win, const char *arg)
{
    char name[64], state[8];
    if (sscanf(arg, "%63s %7s", name, state) != 2) return 0;
    int down = strcmp(state, "down") == 0;
    if (!down && strcmp(state, "up") != 0) return 0;
    SDL_Keycode sym = 0;
    Uint16 mod = 0;
    for (const KeyName &k : KeyNames)
        if (strcasecmp(k.name, name) == 0) {
            sym = k.sym;
            mod = k.mod;
        }
    int character = !sym && name[0] && !name[1];
    if (!sym && !character) return 0;
    if (character) {
        unsigned char c = (unsigned char)name[0];
        sym = c < 0x80 ? SDL_tolower(c) : c;
    }
    if (mod) HeldMods = down ? (Uint16)(HeldMods | mod) : (Uint16)(HeldMods & ~mod);
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = win->windowId;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    e.key.keysym.mod = HeldMods;
    Push(&e);
    if (character && down) {
        SDL_Event t = {};
        t.type = SDL_TEXTINPUT;
        t.text.windowID = win->windowId;
        t.text.text[0] = name[0];
        Push(&t);
    }
    return 1;
}

// A window coordinate moved by a few pixels, held within 32 bits (a script may have put the
// window at the edge of the range).
static int32_t Nudged(int64_t v)
{
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int32_t)v;
}

static int PushWindowEvent(OsWindowRecord *win, const char *arg)
{
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = win->windowId;
    if (strcmp(arg, "close") == 0) {
        e.window.event = SDL_WINDOWEVENT_CLOSE;
    } else if (strcmp(arg, "moved") == 0) {
        e.window.event = SDL_WINDOWEVENT_MOVED;
        e.window.data1 = Nudged((int64_t)win->x + win->borders[0] + 10);
        e.window.data2 = Nudged((int64_t)win->y + win->borders[1] + 10);
    } else if (strcmp(arg, "sized") == 0) {
        e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
        e.window.data1 = Nudged((int64_t)win->width + 10);
        e.window.data2 = Nudged((int64_t)win->height + 10);
    } else if (strcmp(arg, "focus") == 0) {
        e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    } else if (strcmp(arg, "blur") == 0) {
        e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    } else if (strcmp(arg, "hide") == 0) {
        e.window.event = SDL_WINDOWEVENT_MINIMIZED;
    } else if (strcmp(arg, "show") == 0) {
        e.window.event = SDL_WINDOWEVENT_RESTORED;
    } else {
        return 0;
    }
    Push(&e);
    return 1;
}

static int PushDrop(OsWindowRecord *win, char *arg)
{
    SDL_Event e = {};
    e.type = SDL_DROPBEGIN;
    e.drop.windowID = win->windowId;
    Push(&e);
    int n = 0;
    for (char *save = nullptr, *path = strtok_r(arg, " ", &save); path; path = strtok_r(nullptr, " ", &save)) {
        SDL_Event f = {};
        f.type = SDL_DROPFILE;
        f.drop.windowID = win->windowId;
        f.drop.file = SDL_strdup(path);   // the translation frees it
        Push(&f);
        n++;
    }
    e.type = SDL_DROPCOMPLETE;
    Push(&e);
    return n > 0;
}

// One line; 0 when it is not understood (it is skipped with a note on stderr).
static int PushLine(char *line)
{
    while (*line == ' ' || *line == '\t') line++;
    if (!*line || *line == '#') return 1;
    char *arg = strchr(line, ' ');
    if (arg) *arg++ = 0;
    else arg = line + strlen(line);
    while (*arg == ' ') arg++;
    if (strcmp(line, "clock") == 0) {
        ClockOffsetMicros += (int64_t)atoi(arg) * 1000;
        return 1;
    }
    if (strcmp(line, "display") == 0) {
        TargetIndex = atoi(arg);
        return TargetIndex >= 1;
    }
    OsWindowRecord *win = Target();
    if (!win || !win->window) return 0;
    if (strcmp(line, "press") == 0 || strcmp(line, "release") == 0) return PushButton(win, line[0] == 'p', arg);
    if (strcmp(line, "move") == 0) {
        int x, y;
        if (sscanf(arg, "%d %d", &x, &y) != 2) return 0;
        PushMotion(win, x, y);
        return 1;
    }
    if (strcmp(line, "wheel") == 0) {
        if (strcmp(arg, "up") != 0 && strcmp(arg, "down") != 0) return 0;
        SDL_Event e = {};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = win->windowId;
        e.wheel.y = arg[0] == 'u' ? 1 : -1;
        Push(&e);
        return 1;
    }
    if (strcmp(line, "key") == 0) return PushKey(win, arg);
    if (strcmp(line, "window") == 0) return PushWindowEvent(win, arg);
    if (strcmp(line, "drop") == 0) return PushDrop(win, arg);
    return 0;
}

int OsStartTestInput(void)
{
    if (Active) return 1;
    const char *path = getenv("KV_TEST_INPUT");
    if (!path || !*path) return 0;
    FILE *f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "KV_TEST_INPUT: cannot open %s\n", path);
        return 0;
    }
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    Script = (char *)calloc(1, size > 0 ? (size_t)size + 1 : 1);
    if (Script && size > 0 && fread(Script, 1, (size_t)size, f) != (size_t)size) Script[0] = 0;
    fclose(f);
    if (!Script) return 0;
    Next = Script;
    Active = 1;
    TargetIndex = 1;
    HeldMods = 0;
    ClockOffsetMicros = 0;
    OsSetClock(TestClock);
    return 1;
}

void OsStopTestInput(void)
{
    if (!Active) return;
    free(Script);
    Script = Next = nullptr;
    Active = 0;
    OsSetClock(nullptr);
}

// Whether the line starting at p (up to '\n' or the end) holds only blanks.
static int BlankLine(const char *p)
{
    while (*p == ' ' || *p == '\t' || *p == '\r') p++;
    return *p == '\n' || !*p;
}

int OsFeedTestInput(void)
{
    if (!Active) return 0;
    // Blank lines before a group belong to no group.
    while (*Next && BlankLine(Next)) {
        char *end = strchr(Next, '\n');
        Next = end ? end + 1 : Next + strlen(Next);
    }
    if (!*Next) {
        OsSetStop();
        return 1;
    }
    // The group: every line up to a blank line or the end.
    while (*Next && !BlankLine(Next)) {
        char *end = Next + strcspn(Next, "\n");
        int atEnd = !*end;
        *end = 0;
        if (end > Next && end[-1] == '\r') end[-1] = 0;
        if (!PushLine(Next)) fprintf(stderr, "KV_TEST_INPUT: line not understood: %s\n", Next);
        TranslatePushed();
        Next = atEnd ? end : end + 1;
    }
    // One event left in the queue makes the next pump do its whole pass (quit checks of a close
    // or Esc included) instead of returning within its pace.
    SDL_Event wake = {};
    wake.type = OsWakeEventType();
    if (wake.type) SDL_PushEvent(&wake);
    return 1;
}
