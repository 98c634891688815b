// The text library's global state: the current font settings and the default encoding.
#pragma once
#include <cstdint>

#include "text/text_state.h"

// The current font settings (the layer code copies them into new text layers).
FontSettings *GetFontSettings(void);
// The FontHandle of the current settings.
FontHandle *GetCurrentFont(void);
int32_t GetDefaultEncoding(void);
void SetDefaultEncoding(int32_t encoding);
