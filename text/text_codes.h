// Character codes of a text in one of the two encodings.
#pragma once
#include <cstdint>

// The next character code of text[*pos..length): a Latin-1 byte, or with utf8 set one UTF-8
// sequence decoded ('?' for an invalid or truncated one, which consumes one byte). Advances *pos.
uint32_t NextTextCode(const char *text, int32_t length, int32_t *pos, int utf8);
