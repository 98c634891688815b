// Keyboard translation: special keys to key codes 256-290, printable keys to Latin-1 codes from
// SDL's text input, the qualifiers and the mode-switch keys.
#include <SDL.h>

#include "platform/linux/os_internal.h"

struct SpecialKey {
    SDL_Keycode sym;
    int code;
};

static const SpecialKey SpecialKeys[] = {
    {SDLK_UP, OS_KEY_UP}, {SDLK_DOWN, OS_KEY_DOWN}, {SDLK_RIGHT, OS_KEY_RIGHT},
    {SDLK_LEFT, OS_KEY_LEFT}, {SDLK_HELP, OS_KEY_HELP}, {SDLK_F1, OS_KEY_F1}, {SDLK_F2, OS_KEY_F2},
    {SDLK_F3, OS_KEY_F3}, {SDLK_F4, OS_KEY_F4}, {SDLK_F5, OS_KEY_F5}, {SDLK_F6, OS_KEY_F6},
    {SDLK_F7, OS_KEY_F7}, {SDLK_F8, OS_KEY_F8}, {SDLK_F9, OS_KEY_F9}, {SDLK_F10, OS_KEY_F10},
    {SDLK_F11, OS_KEY_F11}, {SDLK_F12, OS_KEY_F12}, {SDLK_F13, OS_KEY_F13}, {SDLK_F14, OS_KEY_F14},
    {SDLK_F15, OS_KEY_F15}, {SDLK_F16, OS_KEY_F16}, {SDLK_BACKSPACE, OS_KEY_BACKSPACE},
    {SDLK_TAB, OS_KEY_TAB}, {SDLK_RETURN, OS_KEY_RETURN}, {SDLK_RETURN2, OS_KEY_RETURN},
    // The Enter key of the keypad gives the character 3, as the original Enter key does.
    {SDLK_KP_ENTER, 3}, {SDLK_ESCAPE, OS_KEY_ESC}, {SDLK_SPACE, OS_KEY_SPACE},
    {SDLK_DELETE, OS_KEY_DEL}, {SDLK_INSERT, OS_KEY_INSERT}, {SDLK_HOME, OS_KEY_HOME},
    {SDLK_END, OS_KEY_END}, {SDLK_PAGEUP, OS_KEY_PAGEUP}, {SDLK_PAGEDOWN, OS_KEY_PAGEDOWN},
    {SDLK_PRINTSCREEN, OS_KEY_PRINT}, {SDLK_PAUSE, OS_KEY_PAUSE},
};

int OsSpecialKeyCode(int32_t keycode)
{
    for (const SpecialKey &k : SpecialKeys)
        if (k.sym == keycode) return k.code;
    return 0;
}

// The modifiers of the last key event: pushed input changes them like real input.
static Uint16 KeyMods = 0;
// The code each scancode posted on its way down, so that the key-up posts the same code.
static int CodeOfScancode[SDL_NUM_SCANCODES];

void OsForgetModifiers(void)
{
    KeyMods = 0;
}

uint32_t OsGetQualifiers(void)
{
    uint32_t q = OS_QUAL_MARK;
    if (KeyMods & KMOD_SHIFT) q |= OS_QUAL_LSHIFT;
    if (KeyMods & KMOD_ALT) q |= OS_QUAL_LALT;
    if (KeyMods & KMOD_GUI) q |= OS_QUAL_LCOMMAND;
    if (KeyMods & KMOD_CTRL) q |= OS_QUAL_LCONTROL;
    return q;
}

// The first character of a UTF-8 text when it has a Latin-1 form, else -1.
static int FirstLatin1(const char *text)
{
    const unsigned char *p = (const unsigned char *)text;
    if (p[0] < 0x80) return p[0] ? p[0] : -1;
    if ((p[0] & 0xe0) == 0xc0 && (p[1] & 0xc0) == 0x80) {
        int c = (p[0] & 0x1f) << 6 | (p[1] & 0x3f);
        return c >= 0x80 && c <= 0xff ? c : -1;
    }
    return -1;
}

static void PostKey(OsWindowRecord *win, int down, int code)
{
    if (code < OS_KEY_STATES) win->keys[code] = (uint8_t)down;
    OsPost(win, OS_EV_KEY, (uint32_t)down, 0, (uint32_t)code);
    if (code == OS_KEY_ESC) win->escape = 1;
}

// The mode-switch keys (Command or Alt with Return, on the key-up) of an only display.
static void CheckModeSwitch(OsWindowRecord *win, const SDL_KeyboardEvent *k)
{
    if (k->type != SDL_KEYUP || k->keysym.sym != SDLK_RETURN) return;
    if (!(k->keysym.mod & (KMOD_GUI | KMOD_ALT))) return;
    if (win->flags & OS_WF_NOMODESWITCH) return;
    if (!OsUp.isOnlyDisplay || !OsUp.isOnlyDisplay(win->owner)) return;
    if (OsUp.requesterOpen && OsUp.requesterOpen(win->owner)) return;
    int mode = OsUp.displayMode ? OsUp.displayMode(win->owner) : 0;
    win->pendingModeSwitch = mode == 0 ? 1 : 0;
    OsPost(win, OS_EV_MODESWITCH, 0, 0, 0);
}

void OsTranslateKey(OsWindowRecord *win, SDL_KeyboardEvent *k)
{
    int down = k->type == SDL_KEYDOWN;
    KeyMods = k->keysym.mod;
    SDL_Scancode sc = k->keysym.scancode;
    if ((unsigned)sc >= SDL_NUM_SCANCODES) sc = SDL_SCANCODE_UNKNOWN;
    // The text SDL queues right behind a key-down belongs to that key (only the very next event:
    // a later text belongs to a later key).
    SDL_Event text;
    int hasText = down && SDL_PeepEvents(&text, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
                  text.type == SDL_TEXTINPUT && text.text.windowID == k->windowID;
    if (hasText) SDL_PeepEvents(&text, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
    if (!win) return;

    if (k->keysym.mod & KMOD_CTRL) {
        // With Control held only Control+C counts, and it posts nothing; nor does the key's
        // release, should Control be let go first.
        if (down && k->keysym.sym == SDLK_c) win->ctrlC = 1;
        if (down && sc != SDL_SCANCODE_UNKNOWN) CodeOfScancode[sc] = -1;
        else if (!down) CodeOfScancode[sc] = 0;
        return;
    }
    CheckModeSwitch(win, k);

    int code = OsSpecialKeyCode(k->keysym.sym);
    if (!code) {
        if (!down) {
            // A key-up posts what its key-down posted (-1: nothing).
            code = CodeOfScancode[sc];
            if (!code && k->keysym.sym > 0 && k->keysym.sym < 256) code = k->keysym.sym;
            CodeOfScancode[sc] = 0;
        } else {
            if (hasText) code = FirstLatin1(text.text.text);   // above U+00FF: -1, nothing
            else if (k->keysym.sym > 0 && k->keysym.sym < 256) code = k->keysym.sym;
            if (sc != SDL_SCANCODE_UNKNOWN) CodeOfScancode[sc] = code ? code : -1;
        }
    }
    if (code > 0) PostKey(win, down, code);
}

// Text without a key of its own (input methods, pushed text): each Latin-1 character is
// pressed and released.
void OsTranslateText(OsWindowRecord *win, const char *text)
{
    const unsigned char *p = (const unsigned char *)text;
    while (*p) {
        int n = *p < 0x80 ? 1 : (*p & 0xe0) == 0xc0 ? 2 : (*p & 0xf0) == 0xe0 ? 3 : 4;
        int c = FirstLatin1((const char *)p);
        if (c > 0) {
            PostKey(win, 1, c == ' ' ? OS_KEY_SPACE : c);
            PostKey(win, 0, c == ' ' ? OS_KEY_SPACE : c);
        }
        for (int i = 0; i < n && *p; i++) p++;
    }
}
