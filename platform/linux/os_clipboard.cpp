// The clipboard: text through SDL's clipboard (which SDL keeps inside the process under the
// dummy video driver), kinds and pictures through the helper programs of
// os_clipboard_helper.cpp, and the change notification that the event pump triggers on focus.
#include <SDL.h>
#include <cstdlib>
#include <cstring>

#include "platform/linux/os_clipboard_internal.h"
#include "platform/linux/os_internal.h"
#include "platform/linux/os_requester_internal.h"
#include "platform/os.h"

static OsClipboardChangeFunc ChangeHandler = nullptr;
static uint64_t LastTextHash = 0;
static int LastTextHashKnown = 0;

void OsSetClipboardChangeHandler(OsClipboardChangeFunc handler)
{
    ChangeHandler = handler;
}

// FNV-1a over the text's bytes.
static uint64_t HashText(const char *text)
{
    uint64_t h = 14695981039346656037ull;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) h = (h ^ *p) * 1099511628211ull;
    return h;
}

// Remembers the text now on the clipboard; 1 when it differs from the last one seen or set.
static int NoteText(const char *utf8)
{
    uint64_t h = HashText(utf8 ? utf8 : "");
    int changed = LastTextHashKnown && h != LastTextHash;
    LastTextHash = h;
    LastTextHashKnown = 1;
    return changed;
}

static void TellChanged(void)
{
    if (ChangeHandler) ChangeHandler();
}

// SDL's clipboard lives in its video subsystem.
static int ClipboardReady(void)
{
    return OsInitVideo() == 0;
}

void OsClipboardFocusGained(void)
{
    if (!OsVideoStarted()) return;
    char *utf8 = SDL_GetClipboardText();
    int changed = NoteText(utf8);
    SDL_free(utf8);
    if (changed) TellChanged();
}

// UTF-8 -> Latin-1 with every CR LF and every lone CR made one line feed.
static char *ClipboardTextToLatin1(const char *utf8)
{
    char *text = Utf8TextToLatin1(utf8, strlen(utf8));
    if (!text) return nullptr;
    char *o = text;
    for (const char *p = text; *p; p++) {
        if (*p == '\r') {
            *o++ = '\n';
            if (p[1] == '\n') p++;
        } else {
            *o++ = *p;
        }
    }
    *o = 0;
    return text;
}

int OsPeekClipboard(int *kind)
{
    *kind = OS_CLIP_EMPTY;
    if (!ClipboardReady()) return 1364;
    int helperKind = ClipboardHelperKind();
    // An empty text counts as an empty clipboard: clearing leaves one on X11.
    if (helperKind == OS_CLIP_TEXT || helperKind < 0) *kind = SDL_HasClipboardText() ? OS_CLIP_TEXT : OS_CLIP_EMPTY;
    else *kind = helperKind;
    return 0;
}

void OsFreeClipboardData(OsClipboardData *data)
{
    if (!data) return;
    free(data->text);
    free(data->pixels);
    memset(data, 0, sizeof *data);
}

int OsGetClipboard(OsClipboardData *data)
{
    memset(data, 0, sizeof *data);
    int kind;
    int code = OsPeekClipboard(&kind);
    if (code) return code;
    data->kind = kind;
    if (kind == OS_CLIP_IMAGE) return ClipboardHelperGetImage(data);
    if (kind != OS_CLIP_TEXT) return 0;
    char *utf8 = SDL_GetClipboardText();
    if (!utf8) return 1365;
    NoteText(utf8);
    data->text = ClipboardTextToLatin1(utf8);
    SDL_free(utf8);
    if (!data->text) {
        data->kind = OS_CLIP_EMPTY;
        return 1000;
    }
    return 0;
}

int OsSetClipboardText(const char *text)
{
    if (!ClipboardReady()) return 1368;
    char *utf8 = Latin1TextToUtf8(text ? text : "");
    if (!utf8) return 1000;
    int failed = SDL_SetClipboardText(utf8) != 0;
    if (!failed) NoteText(utf8);
    free(utf8);
    if (failed) return 1368;
    TellChanged();
    return 0;
}

int OsSetClipboardImage(const uint32_t *pixels, int32_t width, int32_t height, int hasAlpha)
{
    if (!pixels || width <= 0 || height <= 0) return 1368;
    int code = ClipboardHelperPutImage(pixels, width, height, hasAlpha);
    if (code) return code;
    NoteText("");
    TellChanged();
    return 0;
}

int OsClearClipboard(void)
{
    if (!ClipboardReady()) return 1368;
    if (SDL_SetClipboardText("") != 0) return 1368;
    ClipboardHelperClear();
    NoteText("");
    TellChanged();
    return 0;
}
