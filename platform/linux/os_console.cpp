// Console output and the alert requester.
#include "platform/os.h"

#include <SDL.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/linux/os_internal.h"
#include "runtime/memory.h"

int OsPrintF(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vprintf(format, ap);
    va_end(ap);
    return n;
}

static int RequesterHookSet = 0;
static int RequesterHookAnswer = 0;

void OsSetRequesterHook(int enabled, int answer)
{
    RequesterHookSet = enabled;
    RequesterHookAnswer = answer;
}

enum { MAX_REQ_BUTTONS = 32 };

// The fallback of every requester that cannot be shown: the title and the text (with its own
// line breaks) on standard error, ended by one line feed.
static int PrintRequester(const char *title, const char *text, const char *buttons)
{
    fprintf(stderr, "%s: %s%s%s%s\n", title ? title : "", text ? text : "", buttons ? " [" : "",
            buttons ? buttons : "", buttons ? "]" : "");
    fflush(stderr);
    if (RequesterHookSet) return RequesterHookAnswer;
    return buttons ? -1 : 0;
}

int OsRequester(const char *title, const char *text, const char *buttons, int icon)
{
    if (RequesterHookSet || !OsHasRealDisplay()) return PrintRequester(title, text, buttons);

    // Split the list; a 33rd label fails the requester.
    char *labels[MAX_REQ_BUTTONS];
    int count = 0;
    char *list = Latin1ToUtf8(buttons ? buttons : "OK");
    if (!list) return -1;
    for (char *p = list;;) {
        if (count == MAX_REQ_BUTTONS) {
            MemFree(list);
            return -1;
        }
        labels[count++] = p;
        char *bar = strchr(p, '|');
        if (!bar) break;
        *bar = 0;
        p = bar + 1;
    }

    SDL_MessageBoxButtonData data[MAX_REQ_BUTTONS];
    for (int i = 0; i < count; i++) {
        data[i].flags = 0;
        if (i == 0 && count < 3) data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (i == 1 && count == 2) data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        data[i].buttonid = i;
        data[i].text = labels[i];
    }
    Uint32 flags = icon == OS_REQ_STOP ? SDL_MESSAGEBOX_ERROR
                   : (icon == OS_REQ_NOTE || icon == OS_REQ_PLAIN || icon == 4) ? SDL_MESSAGEBOX_INFORMATION
                                                                                 : SDL_MESSAGEBOX_WARNING;
#if SDL_VERSION_ATLEAST(2, 0, 12)
    flags |= SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
#endif
    char *utitle = Latin1ToUtf8(title ? title : "");
    char *utext = Latin1ToUtf8(text ? text : "");
    SDL_MessageBoxData box;
    memset(&box, 0, sizeof(box));
    box.flags = flags;
    box.title = utitle ? utitle : "";
    box.message = utext ? utext : "";
    box.numbuttons = count;
    box.buttons = data;
    int chosen = -1;
    int status = SDL_ShowMessageBox(&box, &chosen);
    MemFree(utitle);
    MemFree(utext);
    MemFree(list);
    if (status != 0) return PrintRequester(title, text, buttons);
    if (!buttons) return 0;
    if (chosen < 0) return 0;   // closed without a choice: the cancel (last) button
    return chosen + 1 == count ? 0 : chosen + 1;
}
