// Test-only input: a script of events pushed to a window through SDL's own queue, so that they
// travel the same road as real input. The KV_TEST_INPUT environment variable hands one to the
// first window as it opens.
#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/linux/os_internal.h"

struct KeyName {
    const char *name;
    SDL_Keycode sym;
};

static const KeyName KeyNames[] = {
    {"UP", SDLK_UP}, {"DOWN", SDLK_DOWN}, {"RIGHT", SDLK_RIGHT}, {"LEFT", SDLK_LEFT},
    {"HELP", SDLK_HELP}, {"F1", SDLK_F1}, {"F2", SDLK_F2}, {"F3", SDLK_F3}, {"F4", SDLK_F4},
    {"F5", SDLK_F5}, {"F6", SDLK_F6}, {"F7", SDLK_F7}, {"F8", SDLK_F8}, {"F9", SDLK_F9},
    {"F10", SDLK_F10}, {"F11", SDLK_F11}, {"F12", SDLK_F12}, {"F13", SDLK_F13}, {"F14", SDLK_F14},
    {"F15", SDLK_F15}, {"F16", SDLK_F16}, {"BACKSPACE", SDLK_BACKSPACE}, {"TAB", SDLK_TAB},
    {"ENTER", SDLK_KP_ENTER}, {"RETURN", SDLK_RETURN}, {"ESC", SDLK_ESCAPE}, {"SPACE", SDLK_SPACE},
    {"DEL", SDLK_DELETE}, {"INSERT", SDLK_INSERT}, {"HOME", SDLK_HOME}, {"END", SDLK_END},
    {"PAGEUP", SDLK_PAGEUP}, {"PAGEDOWN", SDLK_PAGEDOWN}, {"PRINT", SDLK_PRINTSCREEN},
    {"PAUSE", SDLK_PAUSE},
};

static void Push(SDL_Event *e)
{
    e->common.timestamp = SDL_GetTicks();
    SDL_PushEvent(e);
}

static void PushKey(OsWindowRecord *win, const char *name)
{
    SDL_Keycode sym = 0;
    for (const KeyName &k : KeyNames)
        if (strcasecmp(k.name, name) == 0) sym = k.sym;
    int character = !sym && name[0];
    unsigned char first = (unsigned char)name[0];
    if (character) sym = first < 0x80 ? SDL_tolower(first) : first;
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.windowID = win->windowId;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    Push(&e);
    if (character) {
        SDL_Event t = {};
        t.type = SDL_TEXTINPUT;
        t.text.windowID = win->windowId;
        strncpy(t.text.text, name, sizeof t.text.text - 1);
        Push(&t);
    }
    e.type = SDL_KEYUP;
    e.key.state = SDL_RELEASED;
    Push(&e);
}

static void PushButton(OsWindowRecord *win, int down, int button)
{
    static const Uint8 Buttons[] = {0, SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE};
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = win->windowId;
    e.button.button = button >= 1 && button <= 3 ? Buttons[button] : (Uint8)button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = win->mouseX;
    e.button.y = win->mouseY;
    Push(&e);
}

// One command of the script (text up to its end); 0 when it is not understood.
static int PushCommand(OsWindowRecord *win, char *command, int32_t *x, int32_t *y)
{
    while (*command == ' ') command++;
    char *arg = strchr(command, ' ');
    if (arg) *arg++ = 0;
    else arg = command + strlen(command);
    SDL_Event e = {};
    if (strcmp(command, "move") == 0) {
        if (sscanf(arg, "%d %d", x, y) != 2) return 0;
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = win->windowId;
        e.motion.x = *x;
        e.motion.y = *y;
        win->mouseX = *x;   // buttons pushed behind it happen where the pointer went
        win->mouseY = *y;
        Push(&e);
    } else if (strcmp(command, "down") == 0 || strcmp(command, "up") == 0) {
        PushButton(win, command[0] == 'd', atoi(arg));
    } else if (strcmp(command, "key") == 0) {
        if (!*arg) return 0;
        PushKey(win, arg);
    } else if (strcmp(command, "text") == 0) {
        e.type = SDL_TEXTINPUT;
        e.text.windowID = win->windowId;
        strncpy(e.text.text, arg, sizeof e.text.text - 1);
        Push(&e);
    } else if (strcmp(command, "wheel") == 0) {
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = win->windowId;
        e.wheel.y = atoi(arg) > 0 ? 1 : -1;
        Push(&e);
    } else if (strcmp(command, "close") == 0) {
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = win->windowId;
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        Push(&e);
    } else {
        return 0;
    }
    return 1;
}

int OsPushTestInput(OsWindowRecord *win, const char *script)
{
    if (!win || !win->window || !script) return 0;
    char *copy = strdup(script);
    if (!copy) return 0;
    int pushed = 0;
    int32_t x = win->mouseX, y = win->mouseY;
    int32_t keepX = win->mouseX, keepY = win->mouseY;
    for (char *save = nullptr, *command = strtok_r(copy, ";", &save); command;
         command = strtok_r(nullptr, ";", &save))
        pushed += PushCommand(win, command, &x, &y);
    // The pointer the pump knows moves only when the motion events are taken.
    win->mouseX = keepX;
    win->mouseY = keepY;
    free(copy);
    return pushed;
}
