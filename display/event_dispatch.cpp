// The event dispatcher: one resumable pass over fired timers, sound notifications, mouse moves,
// old-style actions, queued events and button over/out, running at most one script callback
// per call; the message table of a callback; WaitEvent and CheckEvent.
#include <cstdio>
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/event.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "runtime/vm/interpwords.h"
#include "sound/audio_output.h"

EventDispatchState *DispatchState = nullptr;
lua_State *EventLibState = nullptr;

int DisplayIsListed(const DisplayRecord *display)
{
    for (DisplayRecord *d = DisplayList; d; d = d->next)
        if (d == display) return 1;
    return 0;
}

void WindowToDisplay(const DisplayRecord *d, int32_t x, int32_t y, int32_t *dx, int32_t *dy)
{
    double sx = d && d->scaleX > 0 ? d->scaleX : 1.0, sy = d && d->scaleY > 0 ? d->scaleY : 1.0;
    *dx = (int32_t)((x - (d ? d->stripLeft : 0)) / sx);
    *dy = (int32_t)((y - (d ? d->stripTop : 0)) / sy);
}

void DisplayPointer(const DisplayRecord *d, int32_t *x, int32_t *y)
{
    *x = *y = 0;
    if (!d || d->state != DISPSTATE_OPEN || !d->window) return;
    int32_t wx = 0, wy = 0;
    OsGetAttr(d->window, 6, &wx, nullptr);
    OsGetAttr(d->window, 7, &wy, nullptr);
    WindowToDisplay(d, wx, wy, x, y);
}

void ForgetDispatchedDisplay(DisplayRecord *display)
{
    EventDispatchState *s = DispatchState;
    if (!s || !display) return;
    if (s->event.display == display) s->event.display = nullptr;
    if (s->currentDisplay == display) {
        s->currentDisplay = nullptr;
        s->currentDisplayGone = 1;
    }
}

// The mouse-move and over/out scans start from the head of the display list.
static void RestartDisplayScan(EventDispatchState *s)
{
    s->currentDisplay = nullptr;
    s->currentDisplayGone = 0;
}

static void SetPending(PendingCallback *pc, DisplayRecord *display, int kind, const EventHandlerSlot *slot,
                       const char *action)
{
    pc->display = display;
    pc->kind = kind;
    pc->function = slot->function;
    pc->userdata = slot->userdata;
    snprintf(pc->action, sizeof pc->action, "%s", action);
}

// ---------------------------------------------------------------------------------------------
// Timers (phase 1) and sound notifications (phase 2)

static int ServeTimers(lua_State *L, EventDispatchState *s, PendingCallback *pc)
{
    while (!s->timersDone) {
        int kind;
        OsTimerId id;
        OsTimerNode *next = OsCheckTimer(s->timerIterator, &kind, &id);
        s->timerIterator = next;
        if (!next) s->timersDone = 1;
        if (kind == OS_TIMER_INTERVAL) {
            CallbackTimerNode *n = FindTimerNode(IntervalList, &id);
            if (!n) continue;
            EventHandlerSlot slot = {n->function, n->userdata};
            SetPending(pc, nullptr, MSG_INTERVAL, &slot, "Interval");
            pc->id = n->id;
            return BuildEventMessage(L, s, pc);
        }
        if (kind == OS_TIMER_TIMEOUT) {
            CallbackTimerNode *n = TakeTimerNode(&TimeoutList, &id);
            if (!n) continue;
            EventHandlerSlot slot = {n->function, n->userdata};
            SetPending(pc, nullptr, MSG_TIMEOUT, &slot, "Timeout");
            pc->id = n->id;
            MemFree(n);
            int rc = BuildEventMessage(L, s, pc);
            // The references outlive the node until the call is over.
            if (slot.function != -1) luaL_unref(L, LUA_REGISTRYINDEX, slot.function);
            if (slot.userdata != -1) luaL_unref(L, LUA_REGISTRYINDEX, slot.userdata);
            return rc;
        }
    }
    return 0;
}

static int ServeSound(lua_State *L, EventDispatchState *s, PendingCallback *pc)
{
    int kind;
    ObjectId id;
    int32_t time;
    uint32_t starts;
    // The mixer's notifications are moved here too, not only by the pump: the pump runs at
    // its own pace, and a wait woken by the mixer must find the notification that woke it.
    OsPostAudioEvents();
    if (GlobalHandlers[SLOT_ONSAMPLELOOP].function == -1 && GlobalHandlers[SLOT_ONSAMPLEEND].function == -1 &&
        GlobalHandlers[SLOT_ONMUSICEND].function == -1) {
        // Nobody listens: what is left from removed handlers goes, so that a handler installed
        // later does not hear of old sounds.
        while (TakeAudioEvent(&kind, &id, &time, &starts)) {
        }
        return 0;
    }
    while (TakeAudioEvent(&kind, &id, &time, &starts)) {
        int slot = kind == 6 ? SLOT_ONSAMPLELOOP : kind == 5 ? SLOT_ONSAMPLEEND : kind == 7 ? SLOT_ONMUSICEND : -1;
        if (slot < 0 || GlobalHandlers[slot].function == -1) continue;
        static const char *const Actions[] = {"OnSampleLoop", "OnSampleEnd", "OnMusicEnd"};
        SetPending(pc, nullptr, MSG_SOUND, &GlobalHandlers[slot], Actions[slot]);
        pc->id = id;
        pc->time = time;
        pc->starts = starts;
        return BuildEventMessage(L, s, pc);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Mouse moves (phase 3)

static int MouseMoveDue(DisplayRecord *d)
{
    if (d->handlers[SLOT_ONMOUSEMOVE].function == -1 || !d->window || !d->window->mouseMoved) return 0;
    OsTimeVal now;
    OsGetSysTime(&now);
    if (OsCmpTime(&now, &d->window->mouseMovedTime) < 0) return 1;
    OsSubTime(&now, &d->window->mouseMovedTime);
    uint64_t ms = (uint64_t)now.seconds * 1000 + now.micros / 1000;
    return RuntimeSettings.eventAge < 0 || ms <= (uint64_t)RuntimeSettings.eventAge;
}

static int ServeMouseMoves(lua_State *L, EventDispatchState *s, PendingCallback *pc)
{
    // The display served last was freed: the scan ends here.
    DisplayRecord *d = s->currentDisplayGone ? nullptr : s->currentDisplay ? s->currentDisplay->next : DisplayList;
    for (; d; d = d->next) {
        if (!MouseMoveDue(d)) continue;
        s->currentDisplay = d;
        SetPending(pc, d, MSG_MOUSEMOVE, &d->handlers[SLOT_ONMOUSEMOVE], "OnMouseMove");
        DisplayPointer(d, &pc->x, &pc->y);
        return BuildEventMessage(L, s, pc);
    }
    RestartDisplayScan(s);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Queued events (phases 5 and 6)

// First stage: the display's own mouse and wheel handlers. Returns 1 when a callback ran.
static int MouseHandlerStage(lua_State *L, EventDispatchState *s, PendingCallback *pc, int *rc)
{
    const EventRecord *e = &s->event;
    int slot = -1;
    const char *action = nullptr;
    switch (e->type) {
    case IEVENT_LEFTBUTTON:
        slot = e->down ? SLOT_ONMOUSEDOWN : SLOT_ONMOUSEUP;
        action = e->down ? "OnMouseDown" : "OnMouseUp";
        break;
    case IEVENT_RIGHTBUTTON:
        slot = e->down ? SLOT_ONRIGHTMOUSEDOWN : SLOT_ONRIGHTMOUSEUP;
        action = e->down ? "OnRightMouseDown" : "OnRightMouseUp";
        break;
    case IEVENT_MIDBUTTON:
        slot = e->down ? SLOT_ONMIDMOUSEDOWN : SLOT_ONMIDMOUSEUP;
        action = e->down ? "OnMidMouseDown" : "OnMidMouseUp";
        break;
    case IEVENT_WHEELUP: slot = SLOT_ONWHEELUP; action = "OnWheelUp"; break;
    case IEVENT_WHEELDOWN: slot = SLOT_ONWHEELDOWN; action = "OnWheelDown"; break;
    default: return 0;
    }
    DisplayRecord *d = e->display;
    if (d->handlers[slot].function == -1) return 0;
    SetPending(pc, d, MSG_PLAIN, &d->handlers[slot], action);
    s->phase = 5;
    *rc = BuildEventMessage(L, s, pc);
    return 1;
}

// The buttons of the BGPic shown on the event's display, for a press or a release.
static int ButtonStage(lua_State *L, EventDispatchState *s, PendingCallback *pc, int *rc)
{
    const EventRecord *e = &s->event;
    DisplayRecord *d = e->display;
    BGPicNode *pic = d->bgpic;
    int which = e->type == IEVENT_LEFTBUTTON ? 0 : e->type == IEVENT_RIGHTBUTTON ? 1 : 2;
    static const char *const Actions[3][2] = {{"OnMouseUp", "OnMouseDown"},
                                              {"OnRightMouseUp", "OnRightMouseDown"},
                                              {"OnMidMouseUp", "OnMidMouseDown"}};
    static const int Down[3] = {BTN_ONMOUSEDOWN, BTN_ONRIGHTMOUSEDOWN, BTN_ONMIDMOUSEDOWN};
    for (kvBGPicButton *b = pic ? pic->buttons : nullptr; b; b = b->next) {
        if (!ButtonEligible(b) || !ButtonHitTest(d, b, (int32_t)e->x, (int32_t)e->y)) continue;
        uint32_t *pressed = which == 0 ? &b->leftPressed : which == 1 ? &b->rightPressed : &b->midPressed;
        if (!e->down && !*pressed) continue;
        *pressed = e->down ? 1 : 0;
        int32_t function = b->callbacks[Down[which] + (e->down ? 0 : 1)];
        if (function == -1) return 0;
        EventHandlerSlot slot = {function, b->userdata};
        SetPending(pc, d, MSG_BUTTON, &slot, Actions[which][e->down ? 1 : 0]);
        pc->bgpic = pic;
        pc->button = b;
        *rc = BuildEventMessage(L, s, pc);
        return 1;
    }
    if (!e->down)
        for (kvBGPicButton *b = pic ? pic->buttons : nullptr; b; b = b->next)
            if (b->enabled) *(which == 0 ? &b->leftPressed : which == 1 ? &b->rightPressed : &b->midPressed) = 0;
    return 0;
}

// Second stage: buttons and the display's other handlers.
static int SecondStage(lua_State *L, EventDispatchState *s, PendingCallback *pc, int *rc)
{
    const EventRecord *e = &s->event;
    DisplayRecord *d = e->display;
    int slot = -1, kind = MSG_PLAIN;
    const char *action = nullptr;
    switch (e->type) {
    case IEVENT_LEFTBUTTON:
    case IEVENT_RIGHTBUTTON:
    case IEVENT_MIDBUTTON:
        return ButtonStage(L, s, pc, rc);
    case IEVENT_KEY:
        slot = e->down ? SLOT_ONKEYDOWN : SLOT_ONKEYUP;
        action = e->down ? "OnKeyDown" : "OnKeyUp";
        kind = MSG_KEY;
        break;
    case IEVENT_MOVEWINDOW: slot = SLOT_MOVEWINDOW; action = "MoveWindow"; kind = MSG_MOVED; break;
    case IEVENT_SIZEWINDOW: slot = SLOT_SIZEWINDOW; action = "SizeWindow"; kind = MSG_SIZED; break;
    case IEVENT_INACTIVE: slot = SLOT_INACTIVEWINDOW; action = "InactiveWindow"; break;
    case IEVENT_CLOSEWINDOW: slot = SLOT_CLOSEWINDOW; action = "CloseWindow"; break;
    case IEVENT_ACTIVE: slot = SLOT_ACTIVEWINDOW; action = "ActiveWindow"; break;
    case IEVENT_COLLAPSE: slot = SLOT_HIDEWINDOW; action = "HideWindow"; break;
    case IEVENT_EXPAND: slot = SLOT_SHOWWINDOW; action = "ShowWindow"; break;
    case 13: slot = SLOT_MODESWITCH; action = "ModeSwitch"; kind = MSG_MODESWITCH; break;
    case IEVENT_DROP: slot = SLOT_ONDROPFILE; action = "OnDropFile"; kind = MSG_DROP; break;
    case 15: slot = SLOT_CLIPBOARDCHANGE; action = "ClipboardChange"; break;
    default: return 0;
    }
    if (d->handlers[slot].function == -1) return 0;
    SetPending(pc, d, kind, &d->handlers[slot], action);
    if (kind == MSG_KEY) MessageKeyText(e->keyCode, pc->key);
    if (kind == MSG_DROP) {
        pc->x = (int32_t)e->x;
        pc->y = (int32_t)e->y;
        pc->drops = (const char *)e->extra;
    }
    *rc = BuildEventMessage(L, s, pc);
    return 1;
}

static void FreeEventExtra(EventDispatchState *s)
{
    MemFree(s->event.extra);
    s->event.extra = nullptr;
}

// Phases 5 and 6. Returns 1 when a callback ran (*rc its result).
static int ServeQueue(lua_State *L, EventDispatchState *s, PendingCallback *pc, int *rc)
{
    for (;;) {
        if (s->phase == 5) {
            // The first stage's callback may have freed the event's display (which forgets it).
            int ran = 0;
            if (s->event.display) ran = SecondStage(L, s, pc, rc);
            FreeEventExtra(s);
            s->phase = 6;
            if (ran) return 1;
        }
        DropStaleEvents(L);
        LockEventQueue();
        EventRecord e = {};
        int got = GetEventAt(0, &e, 1);
        if (got) RemoveEvents(L, 0, 0);
        UnlockEventQueue();
        if (!got) return 0;
        s->event = e;
        if (!e.display) {
            FreeEventExtra(s);
            continue;
        }
        if (MouseHandlerStage(L, s, pc, rc)) return 1;
        s->phase = 5;
    }
}

// ---------------------------------------------------------------------------------------------
// Button over and out (phase 7)

// Finds the pressed and hit buttons of the display's BGPic for the pointer.
static void ScanButtons(EventDispatchState *s, DisplayRecord *d)
{
    s->buttonPicture = d->bgpic;
    s->hitButton = s->pressedButton = nullptr;
    s->currentButton = d->bgpic ? d->bgpic->buttons : nullptr;
    int32_t x = d->window ? d->window->mouseX : 0, y = d->window ? d->window->mouseY : 0;
    for (kvBGPicButton *b = s->currentButton; b && !(s->hitButton && s->pressedButton); b = b->next) {
        if (!ButtonEligible(b)) continue;
        if (b->leftPressed || b->rightPressed || b->midPressed) s->pressedButton = b;
        if (!s->hitButton && ButtonHitTest(d, b, x, y)) s->hitButton = b;
    }
}

static int RunButtonCallback(lua_State *L, EventDispatchState *s, PendingCallback *pc, DisplayRecord *d,
                             kvBGPicButton *b, int which, const char *action)
{
    EventHandlerSlot slot = {b->callbacks[which], b->userdata};
    SetPending(pc, d, MSG_BUTTON, &slot, action);
    pc->bgpic = s->buttonPicture;
    pc->button = b;
    return BuildEventMessage(L, s, pc);
}

// Walks the current display's buttons from s->currentButton. Returns 1 when a callback ran.
static int WalkOverOut(lua_State *L, EventDispatchState *s, PendingCallback *pc, int *rc)
{
    DisplayRecord *d = s->currentDisplay;
    BGPicNode *pic = s->buttonPicture;
    // A BGPic shown in the meantime ends the walk of the old one's buttons.
    if (!pic || d->bgpic != pic) return 0;
    for (kvBGPicButton *b = s->currentButton; b; b = b->next) {
        if (!ButtonEligible(b) || (s->pressedButton && b != s->pressedButton)) continue;
        if (b == s->hitButton && !b->over) {
            if (!s->pressedButton) {
                kvBGPicButton *out = nullptr;
                for (kvBGPicButton *o = pic->buttons; o; o = o->next)
                    if (o != b && o->over) {
                        o->over = 0;
                        if (!out && ButtonEligible(o) && o->callbacks[BTN_ONMOUSEOUT] != -1) out = o;
                    }
                if (out) {
                    s->currentButton = pic->buttons;
                    *rc = RunButtonCallback(L, s, pc, d, out, BTN_ONMOUSEOUT, "OnMouseOut");
                    return 1;
                }
            }
            b->over = 1;
            if (b->callbacks[BTN_ONMOUSEOVER] == -1) continue;
            s->currentButton = b->next;
            *rc = RunButtonCallback(L, s, pc, d, b, BTN_ONMOUSEOVER, "OnMouseOver");
            return 1;
        }
        if (b != s->hitButton && b->over) {
            b->over = 0;
            if (b->callbacks[BTN_ONMOUSEOUT] == -1) continue;
            s->currentButton = b->next;
            *rc = RunButtonCallback(L, s, pc, d, b, BTN_ONMOUSEOUT, "OnMouseOut");
            return 1;
        }
    }
    return 0;
}

static int ServeOverOut(lua_State *L, EventDispatchState *s, PendingCallback *pc, int *rc)
{
    for (;;) {
        // A display freed by a callback left the walk at none: it starts again from the head.
        s->currentDisplayGone = 0;
        if (s->currentDisplay && WalkOverOut(L, s, pc, rc)) return 1;
        DisplayRecord *d = s->currentDisplay ? s->currentDisplay->next : DisplayList;
        while (d && !(d->window && d->window->mouseMoved)) d = d->next;
        s->currentDisplay = d;
        if (!d) return 0;
        d->window->mouseMoved = 0;
        ScanButtons(s, d);
    }
}

// ---------------------------------------------------------------------------------------------

int DispatchEvents(lua_State *L, EventDispatchState *s, int fromWhileMouseOn, PendingCallback *pc)
{
    pc->kind = MSG_NONE;
    int rc = 0;
    switch (s->phase) {
    case 0:
        s->timerIterator = nullptr;
        s->timersDone = 0;
        s->currentButton = s->hitButton = s->pressedButton = nullptr;
        s->buttonPicture = nullptr;
        RestartDisplayScan(s);
        s->phase = 1;
        [[fallthrough]];
    case 1:
        if ((rc = ServeTimers(L, s, pc)) != 0 || pc->kind) return rc;
        s->phase = 2;
        [[fallthrough]];
    case 2:
        if ((rc = ServeSound(L, s, pc)) != 0 || pc->kind) return rc;
        s->phase = 3;
        RestartDisplayScan(s);
        [[fallthrough]];
    case 3:
        if ((rc = ServeMouseMoves(L, s, pc)) != 0 || pc->kind) return rc;
        if (MatchQueuedActions(L)) {
            s->phase = 0;
            pc->kind = MSG_JUMP;
            return -1;
        }
        s->phase = 6;
        [[fallthrough]];
    case 5:
    case 6:
        if (ServeQueue(L, s, pc, &rc)) return rc;
        if (!fromWhileMouseOn && MatchOverActions(L)) {
            s->phase = 0;
            pc->kind = MSG_JUMP;
            return -1;
        }
        s->phase = 7;
        RestartDisplayScan(s);
        [[fallthrough]];
    case 7:
        if (ServeOverOut(L, s, pc, &rc)) return rc;
        [[fallthrough]];
    default:
        s->phase = 0;
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// The message table and the call

static void SetFieldRef(lua_State *L, const char *key, int32_t ref)
{
    lua_pushstring(L, key);
    lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
    lua_settable(L, -3);
}

static void DisplayIdField(lua_State *L, const char *key, DisplayRecord *d)
{
    if (d) SetFieldObjectId(L, key, d->id);
    else SetFieldInt(L, key, 0);
}

// "action", two numbers and the display's "id": the sized, moved and mouse-move messages.
static void ActionPairId(lua_State *L, const PendingCallback *pc, const char *key1, int32_t value1,
                         const char *key2, int32_t value2)
{
    SetFieldString(L, "action", pc->action);
    SetFieldInt(L, key1, value1);
    SetFieldInt(L, key2, value2);
    DisplayIdField(L, "id", pc->display);
}

static void FillMessage(lua_State *L, PendingCallback *pc)
{
    DisplayRecord *d = pc->display;
    switch (pc->kind) {
    case MSG_BUTTON: {
        kvBGPicButton *b = pc->button;
        SetFieldObjectId(L, "id", b->id);
        SetFieldString(L, "action", pc->action);
        int layer = b->type == LAYERBUTTON;
        SetFieldInt(L, "x", layer ? 0 : b->x1);
        SetFieldInt(L, "y", layer ? 0 : b->y1);
        SetFieldInt(L, "width", layer ? 0 : b->x2 - b->x1 + 1);
        SetFieldInt(L, "height", layer ? 0 : b->y2 - b->y1 + 1);
        SetFieldInt(L, "mousedown", (int)b->leftPressed);
        SetFieldInt(L, "rightmousedown", (int)b->rightPressed);
        SetFieldInt(L, "midmousedown", (int)b->midPressed);
        DisplayIdField(L, "display", d);
        if (layer) {
            int position = -1;
            const char *name = nullptr;
            LayerButtonInfo(b->layer, &position, &name, nullptr);
            SetFieldInt(L, "layer", position);
            SetFieldString(L, "layername", name ? name : "");
        }
        break;
    }
    case MSG_KEY:
        SetFieldString(L, "action", pc->action);
        SetFieldString(L, "key", pc->key);
        DisplayIdField(L, "id", d);
        break;
    case MSG_SIZED:
        ActionPairId(L, pc, "width", d->width, "height", d->height);
        break;
    case MSG_MOVED:
        ActionPairId(L, pc, "x", d->x, "y", d->y);
        break;
    case MSG_INTERVAL:
    case MSG_TIMEOUT:
        SetFieldString(L, "action", pc->action);
        SetFieldObjectId(L, "id", pc->id);
        break;
    case MSG_MOUSEMOVE:
        ActionPairId(L, pc, "x", pc->x, "y", pc->y);
        break;
    case MSG_SOUND:
        SetFieldString(L, "action", pc->action);
        if (strcmp(pc->action, "OnMusicEnd") != 0) {
            SetFieldInt(L, "time", pc->time);
            SetFieldDouble(L, "starts", pc->starts);
        }
        SetFieldObjectId(L, "id", pc->id);
        break;
    case MSG_MODESWITCH:
        SetFieldString(L, "action", pc->action);
        SetFieldInt(L, "mode", ScreenModeSwitched ? 2 : 1);
        DisplayIdField(L, "id", d);
        break;
    case MSG_DROP: {
        SetFieldString(L, "action", pc->action);
        DisplayIdField(L, "id", d);
        SetFieldInt(L, "x", pc->x);
        SetFieldInt(L, "y", pc->y);
        lua_pushstring(L, "dropfiles");
        lua_newtable(L);
        int n = 0;
        for (const char *p = pc->drops; p && *p; p += strlen(p) + 1) {
            lua_pushstring(L, p);
            lua_rawseti(L, -2, n++);
        }
        lua_settable(L, -3);
        SetFieldInt(L, "numdropfiles", n);
        break;
    }
    default:
        SetFieldString(L, "action", pc->action);
        DisplayIdField(L, "id", d);
        break;
    }
    if (pc->userdata != -1) SetFieldRef(L, "userdata", pc->userdata);
}

int BuildEventMessage(lua_State *L, EventDispatchState *s, PendingCallback *pc)
{
    pc->savedTop = lua_gettop(L);
    lua_checkstack(L, 8);
    lua_rawgeti(L, LUA_REGISTRYINDEX, pc->function);
    lua_newtable(L);
    FillMessage(L, pc);
    // The message stays on the stack below the function for WaitEventCore.
    lua_pushvalue(L, -1);
    lua_insert(L, -3);
    SetRuntimeTags(L, RTAG_CALLBACKNEST, 1, 0);
    int code = lua_pcall(L, 1, LUA_MULTRET, 0);
    SetRuntimeTags(L, RTAG_CALLBACKNEST, 0, 0);
    if (StopFlag) return 1003;
    return code;
}

int WaitEventCore(lua_State *L, EventDispatchState *s, int wait)
{
    if (RuntimeSettings.callbackNesting != 0) return 1055;
    PendingCallback pc = {};
    int midPass = s->phase != 0;
    int rc = DispatchEvents(L, s, 0, &pc);
    if (rc) return rc;
    if (pc.kind == MSG_NONE && midPass && (rc = DispatchEvents(L, s, 0, &pc)) != 0) return rc;
    while (wait && pc.kind == MSG_NONE) {
        if (!IsRecording()) OsWaitForEvent(L);
        if (OsPumpEvents(L, nullptr)) return 0;
        if ((rc = DispatchEvents(L, s, 0, &pc)) != 0) return rc;
    }
    if (pc.kind == MSG_NONE) {
        lua_newtable(L);
        SetFieldInt(L, "nresults", 0);
        SetFieldInt(L, "triggered", 0);
        return 1;
    }
    int message = pc.savedTop + 1;
    int n = lua_gettop(L) - pc.savedTop - 1;
    if (n > 0) {
        lua_pushstring(L, "results");
        lua_newtable(L);
        for (int i = 0; i < n; i++) {
            lua_pushvalue(L, message + 1 + i);
            lua_rawseti(L, -2, i);
        }
        lua_settable(L, message);
    }
    lua_pushvalue(L, message);
    SetFieldInt(L, "nresults", n > 0 ? n : 0);
    SetFieldInt(L, "triggered", 1);
    return 1;
}

int WaitEvent(lua_State *L)
{
    CheckArgs(L, 0, 0);
    if (!CurrentDisplay || CurrentDisplay->state != DISPSTATE_OPEN) return 1347;
    return WaitEventCore(L, DispatchState, 1);
}

int CheckEvent(lua_State *L)
{
    CheckArgs(L, 0, 0);
    return WaitEventCore(L, DispatchState, 0);
}
