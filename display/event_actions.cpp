// Old-style event actions: buttons as plain boxes in display coordinates, key-down objects and
// window events that make the interpreter run a label as a subroutine, and WhileMouseOn.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "display/display.h"
#include "display/event.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "runtime/vm/gosub.h"
#include "runtime/vm/interpwords.h"

EventActionNode *EventActions = nullptr;
EventActionNode *CurrentOverAction = nullptr;
static int AllModeFlags[4];   // ONBUTTONCLICKALL, ONBUTTONRIGHTCLICKALL, ONBUTTONOVERALL, ONKEYDOWNALL
static int32_t EventCode = 0;

static EventActionNode *AppendAction(int32_t type, int32_t id, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    EventActionNode *n = (EventActionNode *)MemAlloc(sizeof(EventActionNode), 1);
    if (!n) return nullptr;
    n->type = type;
    n->id = id;
    n->x1 = x1;
    n->y1 = y1;
    n->x2 = x2;
    n->y2 = y2;
    n->enabled = 1;
    EventActionNode **link = &EventActions;
    while (*link) link = &(*link)->next;
    *link = n;
    return n;
}

static EventActionNode *FindAction(int32_t type, int32_t id)
{
    for (EventActionNode *n = EventActions; n; n = n->next)
        if (n->type == type && n->id == id) return n;
    return nullptr;
}

static void FreeAction(EventActionNode *n)
{
    for (EventActionNode **link = &EventActions; *link; link = &(*link)->next)
        if (*link == n) {
            *link = n->next;
            break;
        }
    if (CurrentOverAction == n) CurrentOverAction = nullptr;
    if (n->type == EVA_CLOSEWINDOW && CurrentDisplay && DisplayIsListed(CurrentDisplay)) CurrentDisplay->closeSwitch = 0;
    MemFree(n->keyName);
    MemFree(n);
}

void FreeEventActions(void)
{
    while (EventActions) FreeAction(EventActions);
}

// The label an action jumps to, and whether it exists; sets EventCode in ALL mode.
static int ActionLabel(lua_State *L, const EventActionNode *a, int *index)
{
    static const char *const Bases[] = {nullptr, "ONBUTTONOVER", "ONBUTTONCLICK", "ONKEYDOWN", nullptr,
                                        "ONBUTTONRIGHTCLICK"};
    static const int AllFlag[] = {-1, 2, 0, 3, -1, 1};
    char label[64];
    if (a->type >= EVA_MOVEWINDOW && a->type <= EVA_CLOSEWINDOW) {
        snprintf(label, sizeof label, "%s", KeyNameTable[a->type - EVA_MOVEWINDOW].name);
    } else if (a->type >= 1 && a->type <= 5 && Bases[a->type]) {
        int all = AllModeFlags[AllFlag[a->type]];
        if (all) snprintf(label, sizeof label, "%sALL", Bases[a->type]);
        else snprintf(label, sizeof label, "%s%d", Bases[a->type], (int)a->id);
    } else {
        return 0;
    }
    for (char *p = label; *p; p++) *p = (char)tolower((unsigned char)*p);
    *index = FindLabel(L, label);
    if (*index < 0) return 0;
    if (a->type >= 1 && a->type <= 5 && AllModeFlags[AllFlag[a->type]]) EventCode = a->id;
    return 1;
}

static int InBox(const EventActionNode *a, int32_t x, int32_t y)
{
    return x >= a->x1 && x <= a->x2 && y >= a->y1 && y <= a->y2;
}

// Whether the queued event matches the action.
static int EventMatches(const EventRecord *e, const EventActionNode *a)
{
    static const uint32_t WindowEvents[] = {IEVENT_MOVEWINDOW, IEVENT_SIZEWINDOW, IEVENT_INACTIVE, IEVENT_ACTIVE,
                                            IEVENT_CLOSEWINDOW};
    int32_t x, y;
    switch (a->type) {
    case EVA_ONBUTTONCLICK:
    case EVA_ONBUTTONRIGHTCLICK:
        if (e->type != (a->type == EVA_ONBUTTONCLICK ? IEVENT_LEFTBUTTON : IEVENT_RIGHTBUTTON) || !e->down) return 0;
        // The event's own display gives the strips and the scale.
        WindowToDisplay(e->display, (int32_t)e->x, (int32_t)e->y, &x, &y);
        return InBox(a, x, y);
    case EVA_ONKEYDOWN: {
        if (e->type != IEVENT_KEY || !e->down || !a->keyName) return 0;
        char text[32];
        ActionKeyText(e->keyCode, text);
        return strcasecmp(text, a->keyName) == 0;
    }
    default:
        if (a->type >= EVA_MOVEWINDOW && a->type <= EVA_CLOSEWINDOW)
            return e->type == WindowEvents[a->type - EVA_MOVEWINDOW];
        return 0;
    }
}

int MatchQueuedActions(lua_State *L)
{
    DropStaleEvents(L);
    LockEventQueue();
    for (int i = 0; EventActions && i < EventQueueCount; i++) {
        EventRecord e = {};
        GetEventAt(i, &e, 0);
        if (!e.display) continue;
        for (EventActionNode *a = EventActions; a; a = a->next) {
            if (!a->enabled || !EventMatches(&e, a)) continue;
            int index;
            if (!ActionLabel(L, a, &index)) break;   // no label: the next event is tried
            if (a->type == EVA_ONKEYDOWN) LastKeyDownCode = e.keyCode;
            JumpOffset = index - CurrentPcIndex;
            RemoveEvents(L, i, 0);
            UnlockEventQueue();
            return 1;
        }
    }
    UnlockEventQueue();
    return 0;
}

int MatchOverActions(lua_State *L)
{
    DisplayRecord *d = CurrentDisplay;
    if (!EventActions || !d || d->state != DISPSTATE_OPEN) return 0;
    int32_t x, y;
    DisplayPointer(d, &x, &y);
    for (EventActionNode *a = EventActions; a; a = a->next) {
        if (a->type != EVA_ONBUTTONOVER || !a->enabled || !InBox(a, x, y)) continue;
        int index;
        if (!ActionLabel(L, a, &index)) continue;
        CurrentOverAction = a;
        JumpOffset = index - CurrentPcIndex;
        return 1;
    }
    return 0;
}

static int IntArg(lua_State *L, int i) { return GetIntArg(L, i); }

int CreateButton(lua_State *L)
{
    CheckArgs(L, 5, 5);
    int32_t id = IntArg(L, 1), x1 = IntArg(L, 2), y1 = IntArg(L, 3), x2 = IntArg(L, 4), y2 = IntArg(L, 5);
    static const int32_t Types[] = {EVA_ONBUTTONOVER, EVA_ONBUTTONCLICK, EVA_ONBUTTONRIGHTCLICK};
    for (int32_t type : Types) AppendAction(type, id, x1, y1, x2, y2);
    return 0;
}

int RemoveButton(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int32_t id = IntArg(L, 1);
    static const int32_t Types[] = {EVA_ONBUTTONOVER, EVA_ONBUTTONCLICK, EVA_ONBUTTONRIGHTCLICK};
    for (int32_t type : Types)
        if (EventActionNode *a = FindAction(type, id)) FreeAction(a);
    return 0;
}

int ModifyButton(lua_State *L)
{
    CheckArgs(L, 5, 5);
    int32_t id = IntArg(L, 1), x1 = IntArg(L, 2), y1 = IntArg(L, 3), x2 = IntArg(L, 4), y2 = IntArg(L, 5);
    static const int32_t Types[] = {EVA_ONBUTTONOVER, EVA_ONBUTTONCLICK, EVA_ONBUTTONRIGHTCLICK};
    for (int32_t type : Types)
        if (EventActionNode *a = FindAction(type, id)) {
            a->x1 = x1;
            a->y1 = y1;
            a->x2 = x2;
            a->y2 = y2;
        }
    return 0;
}

static char *CopyText(const char *text)
{
    size_t n = strlen(text) + 1;
    char *copy = (char *)MemAlloc(n, 0);
    if (copy) memcpy(copy, text, n);
    return copy;
}

int CreateKeyDown(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int32_t id = IntArg(L, 1);
    char *key = CopyText(luaL_checkstring(L, 2));
    if (!key) return 1000;
    EventActionNode *a = AppendAction(EVA_ONKEYDOWN, id, 0, 0, 0, 0);
    if (!a) {
        MemFree(key);
        return 1000;
    }
    a->keyName = key;
    return 0;
}

int RemoveKeyDown(lua_State *L)
{
    CheckArgs(L, 1, 1);
    if (EventActionNode *a = FindAction(EVA_ONKEYDOWN, IntArg(L, 1))) FreeAction(a);
    return 0;
}

int ModifyKeyDown(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int32_t id = IntArg(L, 1);
    const char *text = luaL_checkstring(L, 2);
    EventActionNode *a = FindAction(EVA_ONKEYDOWN, id);
    if (!a) return 0;
    char *key = CopyText(text);
    if (!key) return 1000;
    a->x1 = a->y1 = a->x2 = a->y2 = 0;
    MemFree(a->keyName);
    a->keyName = key;
    return 0;
}

static int SetEventEnabled(lua_State *L, int enabled)
{
    CheckArgs(L, 2, 2);
    int32_t type = IntArg(L, 1), id = IntArg(L, 2);
    if (type == EVA_CLOSEWINDOW && CurrentDisplay) CurrentDisplay->closeSwitch = (uint32_t)enabled;
    if (type >= EVA_ONBUTTONCLICKALL && type <= EVA_ONKEYDOWNALL) AllModeFlags[type - EVA_ONBUTTONCLICKALL] = enabled;
    if (EventActionNode *a = FindAction(type, id)) a->enabled = (uint32_t)enabled;
    return 0;
}

int EnableEvent(lua_State *L) { return SetEventEnabled(L, 1); }
int DisableEvent(lua_State *L) { return SetEventEnabled(L, 0); }

int ClearEvents(lua_State *L)
{
    CheckArgs(L, 0, 0);
    // Only the actions go: a close box switched off by EnableEvent(#CLOSEWINDOW) stays so until
    // DisableEvent.
    FreeEventActions();
    return 0;
}

int GetEventCode(lua_State *L)
{
    CheckArgs(L, 0, 0);
    lua_pushnumber(L, EventCode);
    return 1;
}

int BreakWhileMouseOn(lua_State *L)
{
    CheckArgs(L, 0, 0);
    CurrentOverAction = nullptr;
    return 0;
}

int WhileMouseOn(lua_State *L)
{
    CheckArgs(L, 0, 0);
    if (!CurrentOverAction) return 0;
    int jump = 0;
    int32_t x, y;
    DisplayPointer(CurrentDisplay, &x, &y);
    PendingCallback pc = {};
    while (CurrentOverAction && InBox(CurrentOverAction, x, y)) {
        int rc = DispatchEvents(L, DispatchState, 1, &pc);
        if (rc > 0) return rc;
        if (rc == -1) {
            jump = 1;
            break;
        }
        if (pc.kind != MSG_NONE) break;
        OsWaitForEvent(L);
        if (OsPumpEvents(L, nullptr)) break;
        DisplayPointer(CurrentDisplay, &x, &y);
    }
    return jump ? -2 : 0;
}
