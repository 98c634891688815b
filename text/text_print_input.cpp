// InKeyStr: a line of text typed on the current display, echoed at the text cursor.
#include "text/text_print_input.h"

#include <clocale>
#include <cstring>
#include <cwctype>
#include <locale.h>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/layer.h"
#include "gfx/blit.h"
#include "platform/os.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "text/text_layout.h"
#include "text/text_print.h"

// The character classes come from a locale of our own, so the program's locale is never set.
static locale_t ClassLocale(void)
{
    static locale_t loc = (locale_t)0;
    if (!loc) loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    if (!loc) loc = newlocale(LC_CTYPE_MASK, "C", (locale_t)0);
    return loc;
}

int KeyCharAccepted(int32_t type, int32_t code)
{
    if (code < 0 || code > 255) return 0;
    locale_t loc = ClassLocale();
    wint_t c = (wint_t)code;
    int blank = code == ' ';
    switch (type) {
    case KEYTYPE_ALL: return blank || iswgraph_l(c, loc);
    case KEYTYPE_ALNUM: return blank || iswalnum_l(c, loc);
    case KEYTYPE_ALPHA: return blank || iswalpha_l(c, loc);
    case KEYTYPE_DIGIT: return iswdigit_l(c, loc) != 0;
    case KEYTYPE_HEX: return iswxdigit_l(c, loc) != 0;
    default: return 0;
    }
}

int ApplyInputKey(KeyInput *in, int32_t code)
{
    if (code == OS_KEY_BACKSPACE) {
        // Nothing typed: nothing to take back.
        if (in->count == 0) return KEY_IGNORED;
        in->count--;
        in->text[in->count] = in->stars[in->count] = 0;
        return KEY_ERASED;
    }
    // The keypad's Enter key arrives as the character 3.
    if (code == OS_KEY_RETURN || code == OS_KEY_ENTER || code == 3) return KEY_END;
    if (code == OS_KEY_TAB || code == OS_KEY_SPACE) code = ' ';
    if (code > 255 || code < 0) return KEY_IGNORED;
    if (in->maxLength > 0 && in->count >= in->maxLength) return KEY_IGNORED;
    if (!KeyCharAccepted(in->type, code)) return KEY_IGNORED;
    if (in->count >= KEYINPUT_MAX) return KEY_END;
    in->text[in->count] = (char)code;
    in->stars[in->count] = '*';
    in->count++;
    in->text[in->count] = in->stars[in->count] = 0;
    return KEY_TYPED;
}

// The refusals of the output targets InKeyStr can't echo on.
static int InputRefusal(const DisplayRecord *d)
{
    if (!d || d->state == DISPSTATE_CLOSED || !CurrentPicture) return 1347;
    switch (d->outputType) {
    case OBJTYPE_DISPLAY: return 0;
    case OBJTYPE_BRUSH:
        // An anim frame is selected as a brush whose picture was built for the anim.
        if (d->doubleBuffer) return 1229;
        return CurrentPicture->selectionKind == OBJTYPE_ANIM ? 1339 : 1082;
    case OBJTYPE_ANIM: return 1339;
    case OBJTYPE_BGPIC: return 1056;
    case OBJTYPE_MASK: return 1147;
    case OBJTYPE_ALPHACHANNEL: return 1167;
    default: return 1347;
    }
}

// How typed characters are shown until the input ends: with layers on each echoed character is
// a layer of its own, taken away again by BACKSPACE; without layers the picture as it was before
// the input is put back and the remaining characters are echoed anew.
struct Echo {
    int useLayers;
    BitMap *saved;
    int32_t startX, startY;
    int32_t cursor[KEYINPUT_MAX][2];    // the cursor before each typed character
    kvLayer *layers[KEYINPUT_MAX];
};

static void RestorePicture(const BitMap *saved)
{
    if (!saved) return;
    SafeBlt(saved, 0, 0, nullptr, 0, 0, saved->width, saved->height, saved->width, saved->height,
            CurrentPicture->width, CurrentPicture->height, SAFEBLT_DISPLAYBITMAP | SAFEBLT_NOPLANES, nullptr, nullptr,
            nullptr);
}

static int EchoCharacter(lua_State *L, Echo *e, const KeyInput *in)
{
    int32_t i = in->count - 1;
    e->cursor[i][0] = CurrentDisplay->cursorX;
    e->cursor[i][1] = CurrentDisplay->cursorY;
    char one[2] = {in->password ? '*' : in->text[i], 0};
    int code = PrintAtCursor(L, one, 1);
    e->layers[i] = nullptr;
    if (!code && e->useLayers) e->layers[i] = GetLayerByIndex(CurrentPicture, CountLayers(CurrentPicture));
    return code;
}

// Takes back the character that was at position in->count.
static int EraseCharacter(lua_State *L, Echo *e, const KeyInput *in)
{
    int32_t i = in->count;
    if (e->useLayers) {
        if (e->layers[i]) RemoveLayerRec(e->layers[i], 0, nullptr, nullptr);
        SetTextCursor(e->cursor[i][0], e->cursor[i][1]);
        return 0;
    }
    RestorePicture(e->saved);
    SetTextCursor(e->startX, e->startY);
    for (int32_t k = 0; k < in->count; k++) {
        char one[2] = {in->password ? '*' : in->text[k], 0};
        int code = PrintAtCursor(L, one, 1);
        if (code) return code;
    }
    return 0;
}

// The echoed characters give way to the whole text printed once at the input's start.
static int FinishEcho(lua_State *L, Echo *e, const KeyInput *in)
{
    if (e->useLayers) {
        for (int32_t i = in->count - 1; i >= 0; i--)
            if (e->layers[i]) RemoveLayerRec(e->layers[i], 0, nullptr, nullptr);
    } else {
        RestorePicture(e->saved);
    }
    SetTextCursor(e->startX, e->startY);
    return in->count ? PrintAtCursor(L, in->password ? in->stars : in->text, 1) : 0;
}

// InKeyStr(type [, maxlen [, password]])
int TxInKeyStr(lua_State *L)
{
    CheckArgs(L, 1, 3);
    int32_t type = GetIntArg(L, 1), maxLength = GetOptIntArg(L, 2, 0);
    int password = lua_gettop(L) >= 3 && lua_toboolean(L, 3);
    DisplayRecord *d = CurrentDisplay;
    int code = InputRefusal(d);
    if (code) return code;
    KeyInput *in = (KeyInput *)MemAlloc(sizeof(KeyInput), 1);
    Echo *e = (Echo *)MemAlloc(sizeof(Echo), 1);
    if (!in || !e) {
        MemFree(in);
        MemFree(e);
        return 1000;
    }
    in->type = type;
    in->maxLength = maxLength;
    in->password = password;
    e->useLayers = d->layersEnabled != 0;
    e->startX = d->cursorX;
    e->startY = d->cursorY;
    if (!e->useLayers && d->displayBitMap) {
        e->saved = AllocBitMap(d->displayBitMap->width, d->displayBitMap->height);
        if (e->saved) BltBitMap(d->displayBitMap, 0, 0, e->saved, 0, 0, e->saved->width, e->saved->height);
    }
    int done = 0;
    while (!done && !code) {
        if (OsPumpEvents(L, nullptr)) break;
        DropStaleEvents(L);
        LockEventQueue();
        for (int i = 0; i < EventQueueCount && !done && !code; i++) {
            const EventSlot *ev = &EventQueue[i];
            if (ev->type != OS_EV_KEY || !ev->a) continue;
            switch (ApplyInputKey(in, (int32_t)ev->c)) {
            case KEY_TYPED: code = EchoCharacter(L, e, in); break;
            case KEY_ERASED: code = EraseCharacter(L, e, in); break;
            case KEY_END: done = 1; break;
            default: break;
            }
        }
        RemoveEvents(L, -1, 0);
        UnlockEventQueue();
        if (!done && !code) OsWaitForEvent(L);
    }
    if (!code) code = FinishEcho(L, e, in);
    FreeBitMap(e->saved);
    if (!code) lua_pushlstring(L, in->text, in->count);
    MemFree(in);
    MemFree(e);
    return code ? code : 1;
}
