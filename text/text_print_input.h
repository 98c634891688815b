// The typed-text state of InKeyStr and the key rule it follows.
#pragma once
#include <cstdint>

enum { KEYINPUT_MAX = 1024 };
// Input types: #ALL, #ALPHANUMERICAL, #ALPHABETICAL, #NUMERICAL, #HEXNUMERICAL.
enum { KEYTYPE_ALL = 0, KEYTYPE_ALNUM = 1, KEYTYPE_ALPHA = 2, KEYTYPE_DIGIT = 3, KEYTYPE_HEX = 4 };
// What a key did.
enum { KEY_IGNORED = 0, KEY_TYPED = 1, KEY_ERASED = 2, KEY_END = 3 };

struct KeyInput {
    int32_t type, maxLength, password;
    int32_t count;
    char text[KEYINPUT_MAX + 1];
    char stars[KEYINPUT_MAX + 1];
};

// Whether a Latin-1 character code belongs to the input type (blanks where the type allows
// them), by the wide-character classes of a private C.UTF-8 locale.
int KeyCharAccepted(int32_t type, int32_t code);
// Applies one key code (Latin-1 or OS_KEY_*) to the input: KEY_*.
int ApplyInputKey(KeyInput *in, int32_t code);
