// The clipboard's helper programs (os_clipboard_helper.cpp), used by os_clipboard.cpp.
#pragma once
#include <cstdint>

struct OsClipboardData;

// The kind the helper's list of offered types gives (OS_CLIP_...), or -1 when there is no
// helper or its list can't be read (SDL's text clipboard then decides alone).
int ClipboardHelperKind(void);
// Reads the offered picture into data (pixels, width, height, hasAlpha). 0, 1000, or 1365
// when it can't be read or decoded.
int ClipboardHelperGetImage(OsClipboardData *data);
// Offers the picture as PNG. 0, 1000, or 1368 (also when there is no helper).
int ClipboardHelperPutImage(const uint32_t *pixels, int32_t width, int32_t height, int hasAlpha);
// Empties the clipboard where the helper can (Wayland); elsewhere taking the text suffices.
void ClipboardHelperClear(void);
