// Message and choice requesters (SDL message boxes) and the test hooks that answer every kind
// of requester without showing anything.
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/os_requester_internal.h"
#include "platform/os.h"

// ---- test hooks ----

static int FixedHookSet = 0;
static int FixedHookAnswer = 0;

// The answers of OsSetRequesterAnswers: all lines in one text, taken from AnswerNext on.
static std::string *AnswerText = nullptr;
static size_t AnswerNext = 0;
static std::string AnswerLine;
static int AnswersFromEnvironmentChecked = 0;

void OsSetRequesterHook(int enabled, int answer)
{
    FixedHookSet = enabled;
    FixedHookAnswer = answer;
}

void OsSetRequesterAnswers(const char *answers)
{
    delete AnswerText;
    AnswerText = answers ? new std::string(answers) : nullptr;
    AnswerNext = 0;
    AnswersFromEnvironmentChecked = 1;
}

// The file named by KV_REQUESTER_ANSWERS becomes the answers, once, unless a hook came first.
static void LoadAnswersFromEnvironment(void)
{
    if (AnswersFromEnvironmentChecked) return;
    AnswersFromEnvironmentChecked = 1;
    const char *path = getenv("KV_REQUESTER_ANSWERS");
    if (!path || !*path || FixedHookSet) return;
    FILE *f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "KV_REQUESTER_ANSWERS: cannot read %s; every requester is cancelled\n", path);
        OsSetRequesterAnswers("");
        return;
    }
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    fclose(f);
    OsSetRequesterAnswers(text.c_str());
}

int TakeHookAnswer(const char **answer)
{
    LoadAnswersFromEnvironment();
    if (!AnswerText) return FixedHookSet ? REQ_HOOK_CANCEL : REQ_HOOK_NONE;
    if (AnswerNext >= AnswerText->size()) return REQ_HOOK_CANCEL;
    size_t end = AnswerText->find('\n', AnswerNext);
    if (end == std::string::npos) end = AnswerText->size();
    AnswerLine.assign(*AnswerText, AnswerNext, end - AnswerNext);
    AnswerNext = end + 1;
    if (!AnswerLine.empty() && AnswerLine.back() == '\r') AnswerLine.pop_back();
    if (AnswerLine == "<cancel>") return REQ_HOOK_CANCEL;
    *answer = AnswerLine.c_str();
    return REQ_HOOK_ANSWER;
}

void PrintRequesterLine(const char *title, const char *text, const char *buttons)
{
    fprintf(stderr, "%s: %s%s%s%s\n", title ? title : "", text ? text : "", buttons ? " [" : "",
            buttons ? buttons : "", buttons ? "]" : "");
    fflush(stderr);
}

// ---- message requesters ----

static const char *Labels[4] = {"OK", "Cancel", "Yes", "No"};
static std::string LabelStore[4];

void OsSetRequesterLabels(const char *ok, const char *cancel, const char *yes, const char *no)
{
    const char *given[4] = {ok, cancel, yes, no};
    for (int i = 0; i < 4; i++) {
        if (!given[i]) continue;
        LabelStore[i] = given[i];
        Labels[i] = LabelStore[i].c_str();
    }
}

// The result of a click on button `clicked` (counted from 1; 0 = closed without a choice) of a
// requester of that kind with `count` buttons.
static int ResultOfClick(int kind, int count, int clicked)
{
    if (clicked < 1 || clicked > count) return 0;
    switch (kind) {
    case OS_REQKIND_OKCANCEL:
    case OS_REQKIND_YESNO:
        return clicked == 1 ? 1 : 0;
    case OS_REQKIND_YESNOCANCEL:
        return clicked <= 2 ? clicked : 0;
    case OS_REQKIND_BUTTONS:
        return clicked == count ? 0 : clicked;
    default:
        return 0;
    }
}

// Splits the labels of a requester into `labels` (pointers into `store`): the caller's list for
// kind 4, else the standard buttons of the kind. The count, or -1 for a 33rd label.
static int SplitLabels(const char *buttons, int kind, std::string &store, const char **labels)
{
    static const int standard[4][3] = {{0, 1, -1}, {2, 3, -1}, {2, 3, 1}, {0, -1, -1}};
    if (kind != OS_REQKIND_BUTTONS) {
        int count = 0;
        for (int i = 0; i < 3 && standard[kind][i] >= 0; i++) labels[count++] = Labels[standard[kind][i]];
        return count;
    }
    store = buttons;
    int count = 0;
    for (size_t start = 0;;) {
        if (count == OS_REQ_MAX_BUTTONS) return -1;
        size_t bar = store.find('|', start);
        labels[count++] = store.c_str() + start;
        if (bar == std::string::npos) break;
        store[bar] = 0;
        start = bar + 1;
    }
    return count;
}

// Shows the SDL message box; the clicked button counted from 1, 0 when closed without a
// choice, -1 when it could not be shown.
static int ShowMessageBox(const char *title, const char *text, const char **labels, int count,
                          int kind, int icon)
{
    SDL_MessageBoxButtonData data[OS_REQ_MAX_BUTTONS];
    char *utf8[OS_REQ_MAX_BUTTONS];
    int ok = 1;
    for (int i = 0; i < count; i++) {
        utf8[i] = Latin1TextToUtf8(labels[i]);
        ok = ok && utf8[i];
        data[i].flags = 0;
        // Standard requesters: the first button is the default, the second the cancel button;
        // the caller's buttons: so only with fewer than 3 / exactly 2 of them.
        int standard = kind != OS_REQKIND_BUTTONS;
        if (i == 0 && (standard || count < 3)) data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (i == 1 && (standard || count == 2)) data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        data[i].buttonid = i;
        data[i].text = utf8[i] ? utf8[i] : "";
    }
    Uint32 flags = icon == OS_REQ_STOP ? SDL_MESSAGEBOX_ERROR
                   : (icon == OS_REQ_NOTE || icon == OS_REQ_PLAIN || icon == 4) ? SDL_MESSAGEBOX_INFORMATION
                                                                                 : SDL_MESSAGEBOX_WARNING;
#if SDL_VERSION_ATLEAST(2, 0, 12)
    flags |= SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
#endif
    char *utitle = Latin1TextToUtf8(title);
    char *utext = Latin1TextToUtf8(text);
    int clicked = -1;
    if (ok && utitle && utext) {
        SDL_MessageBoxData box;
        memset(&box, 0, sizeof(box));
        box.flags = flags;
        box.title = utitle;
        box.message = utext;
        box.numbuttons = count;
        box.buttons = data;
        int chosen = -1;
        if (SDL_ShowMessageBox(&box, &chosen) == 0) clicked = chosen < 0 ? 0 : chosen + 1;
    }
    free(utitle);
    free(utext);
    for (int i = 0; i < count; i++) free(utf8[i]);
    return clicked;
}

int OsRunRequester(const char *title, const char *text, const char *buttons, int kind, int icon)
{
    if (!title) title = "";
    if (!text) text = "";
    if (kind == OS_REQKIND_BUTTONS && !buttons) kind = OS_REQKIND_OK;
    if (kind < OS_REQKIND_OKCANCEL || kind > OS_REQKIND_BUTTONS) kind = OS_REQKIND_OK;
    std::string store;
    const char *labels[OS_REQ_MAX_BUTTONS];
    int count = SplitLabels(buttons, kind, store, labels);
    if (count < 0) return -1;
    const char *shownList = kind == OS_REQKIND_BUTTONS ? buttons : nullptr;

    LoadAnswersFromEnvironment();
    if (FixedHookSet && !AnswerText) {
        PrintRequesterLine(title, text, shownList);
        return FixedHookAnswer;
    }
    const char *answer = nullptr;
    int hook = TakeHookAnswer(&answer);
    if (hook != REQ_HOOK_NONE) {
        PrintRequesterLine(title, text, shownList);
        return hook == REQ_HOOK_ANSWER ? ResultOfClick(kind, count, atoi(answer)) : 0;
    }
    int clicked = OsHasRealDisplay() ? ShowMessageBox(title, text, labels, count, kind, icon) : -1;
    if (clicked < 0) {
        // Nothing could be shown: the text goes to standard error and the requester is
        // cancelled.
        PrintRequesterLine(title, text, shownList);
        return 0;
    }
    return ResultOfClick(kind, count, clicked);
}

int OsRequester(const char *title, const char *text, const char *buttons, int icon)
{
    return OsRunRequester(title, text, buttons, buttons ? OS_REQKIND_BUTTONS : OS_REQKIND_OK, icon);
}

int OsSystemRequest(const char *title, const char *text, const char *buttons)
{
    return OsRequester(title, text, buttons, OS_REQ_PLAIN);
}
