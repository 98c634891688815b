// The key-name table: event names, key names and qualifier names with their codes, and the key
// texts of key messages and key actions.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "display/event.h"

const KeyNameEntry KeyNameTable[KEYNAME_ROWS] = {
    // Event names (rows 0-8).
    {"MOVEWINDOW", 6}, {"SIZEWINDOW", 7}, {"INACTIVEWINDOW", 8}, {"ACTIVEWINDOW", 9},
    {"CLOSEWINDOW", 10}, {"ONBUTTONCLICKALL", 11}, {"ONBUTTONRIGHTCLICKALL", 12},
    {"ONBUTTONOVERALL", 13}, {"ONKEYDOWNALL", 14},
    // Key names (rows 9-43).
    {"TAB", 0x110}, {"RETURN", 0x112}, {"ENTER", 0x111}, {"SPACE", 0x114}, {"ESC", 0x113},
    {"UP", 0x100}, {"DOWN", 0x101}, {"RIGHT", 0x102}, {"LEFT", 0x103}, {"HELP", 0x104},
    {"BACKSPACE", 0x10F}, {"DEL", 0x115}, {"F1", 0x105}, {"F2", 0x106}, {"F3", 0x107},
    {"F4", 0x108}, {"F5", 0x109}, {"F6", 0x10A}, {"F7", 0x10B}, {"F8", 0x10C}, {"F9", 0x10D},
    {"F10", 0x10E}, {"F11", 0x116}, {"F12", 0x117}, {"F13", 0x11F}, {"F14", 0x120},
    {"F15", 0x121}, {"F16", 0x122}, {"INSERT", 0x118}, {"HOME", 0x119}, {"END", 0x11A},
    {"PAGEUP", 0x11B}, {"PAGEDOWN", 0x11C}, {"PRINT", 0x11D}, {"PAUSE", 0x11E},
    // Qualifier names (rows 44-51).
    {"LSHIFT", 0x80010000}, {"RSHIFT", 0x80020000}, {"LALT", 0x80040000}, {"RALT", 0x80080000},
    {"LCOMMAND", 0x80100000}, {"RCOMMAND", 0x80200000}, {"LCONTROL", 0x80400000},
    {"RCONTROL", 0x80800000},
};

uint32_t LookupKeyName(const char *name, int first, int last)
{
    for (int i = first; i <= last; i++)
        if (strcasecmp(KeyNameTable[i].name, name) == 0) return KeyNameTable[i].code;
    return 0;
}

const char *KeyCodeName(uint32_t code, int first, int last)
{
    for (int i = first; i <= last; i++)
        if (KeyNameTable[i].code == code) return KeyNameTable[i].name;
    return nullptr;
}

enum { KEY_TAB = 0x110, KEY_ENTER = 0x111, KEY_RETURN = 0x112, KEY_SPACE = 0x114, KEYROW_ESC = 13 };

void MessageKeyText(uint32_t code, char out[32])
{
    // The names from ESC to PAUSE stand for themselves; TAB, ENTER, RETURN and SPACE give text.
    const char *name = KeyCodeName(code, KEYROW_ESC, KEYROW_LASTKEY);
    if (!name && code == KEY_TAB) name = "        ";
    if (!name && (code == KEY_ENTER || code == KEY_RETURN)) name = "\n";
    if (!name && code == KEY_SPACE) name = " ";
    if (name) snprintf(out, 32, "%s", name);
    else snprintf(out, 32, "%c", (char)code);
}

void ActionKeyText(uint32_t code, char out[32])
{
    const char *name = KeyCodeName(code, KEYROW_FIRSTKEY, KEYROW_LASTKEY);
    if (name) snprintf(out, 32, "%s", name);
    else snprintf(out, 32, "%c", (char)code);
}
