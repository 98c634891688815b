// Runtime settings and the input event queue.
#include "runtime/settings.h"

#include <cstring>

#include "runtime/handler_support.h"
#include "runtime/memory.h"

RuntimeSettingsRecord RuntimeSettings = {1500, 0, 0, 0, 1, 0};

// ---------------------------------------------------------------------------------------------
// Tag-handler chains, in registration order.

struct SetTagNode {
    SetTagNode *next;
    SetTagHandler handler;
};
struct GetTagNode {
    GetTagNode *next;
    GetTagHandler handler;
};

static SetTagNode *SetTagChain = nullptr;
static GetTagNode *GetTagChain = nullptr;

int AddSetTagHandler(SetTagHandler handler)
{
    SetTagNode *node = (SetTagNode *)MemAlloc(sizeof(SetTagNode), 1);
    if (!node) return 1000;
    node->handler = handler;
    SetTagNode **p = &SetTagChain;
    while (*p) p = &(*p)->next;
    *p = node;
    return 0;
}

int AddGetTagHandler(GetTagHandler handler)
{
    GetTagNode *node = (GetTagNode *)MemAlloc(sizeof(GetTagNode), 1);
    if (!node) return 1000;
    node->handler = handler;
    GetTagNode **p = &GetTagChain;
    while (*p) p = &(*p)->next;
    *p = node;
    return 0;
}

static void FreeTagChains(void)
{
    while (SetTagChain) {
        SetTagNode *next = SetTagChain->next;
        MemFree(SetTagChain);
        SetTagChain = next;
    }
    while (GetTagChain) {
        GetTagNode *next = GetTagChain->next;
        MemFree(GetTagChain);
        GetTagChain = next;
    }
}

static int SetOwnedTag(uint32_t tag, intptr_t value)
{
    switch (tag) {
    case RTAG_EVENTAGE: RuntimeSettings.eventAge = (int)value; return 1;
    case RTAG_QUIET: RuntimeSettings.quiet = (int)value; return 1;
    case RTAG_PREPROC: RuntimeSettings.preproc = (int)value; return 1;
    case RTAG_CALLBACKNEST:
        if (value) RuntimeSettings.callbackNesting++;
        else if (RuntimeSettings.callbackNesting > 0) RuntimeSettings.callbackNesting--;
        return 1;
    case RTAG_EXITONERROR: RuntimeSettings.exitOnError = (int)value; return 1;
    case RTAG_LINEINFO: RuntimeSettings.lineInfo = (int)value; return 1;
    }
    return 0;
}

static int GetOwnedTag(uint32_t tag, int *result)
{
    switch (tag) {
    case RTAG_EVENTAGE: *result = RuntimeSettings.eventAge; return 1;
    case RTAG_QUIET: *result = RuntimeSettings.quiet; return 1;
    case RTAG_PREPROC: *result = RuntimeSettings.preproc; return 1;
    case RTAG_CALLBACKNEST: *result = RuntimeSettings.callbackNesting; return 1;
    }
    return 0;
}

int SetRuntimeTagList(lua_State *L, const RuntimeTag *tags)
{
    int served = 0;
    for (; tags->tag != 0; tags++) {
        if (SetOwnedTag(tags->tag, tags->value)) {
            served++;
            continue;
        }
        for (SetTagNode *n = SetTagChain; n; n = n->next) {
            if (n->handler(L, tags->tag, tags->value)) {
                served++;
                break;
            }
        }
    }
    return served;
}

int GetRuntimeTagList(lua_State *L, const RuntimeTag *tags)
{
    int served = 0;
    for (; tags->tag != 0; tags++) {
        void *result = reinterpret_cast<void *>(tags->value);
        if (!result) continue;
        if (GetOwnedTag(tags->tag, (int *)result)) {
            served++;
            continue;
        }
        for (GetTagNode *n = GetTagChain; n; n = n->next) {
            if (n->handler(L, tags->tag, result)) {
                served++;
                break;
            }
        }
    }
    return served;
}

// ---------------------------------------------------------------------------------------------
// The input event queue

EventSlot *EventQueue = nullptr;
int EventQueueCount = 0;
void (*DisplayEventsForgotten)(DisplayRecord *display) = nullptr;
static OsMutex *EventQueueMutex = nullptr;

void LockEventQueue(void)
{
    OsLockMutex(EventQueueMutex);
}

void UnlockEventQueue(void)
{
    OsUnlockMutex(EventQueueMutex);
}

void PostEvent(DisplayRecord *display, uint32_t type, uint32_t a, uint32_t b, uint32_t c,
               void *extra)
{
    LockEventQueue();
    int dropped = !EventQueue || EventQueueCount >= EVENT_QUEUE_SLOTS;
    if (!dropped) {
        EventSlot *s = &EventQueue[EventQueueCount++];
        s->type = type;
        s->a = a;
        s->b = b;
        s->c = c;
        OsGetSysTime(&s->stamp);
        s->display = display;
        s->extra = extra;
    }
    UnlockEventQueue();
    // The queue owns the extra from the call on; a dropped event takes it along.
    if (dropped) MemFree(extra);
}

// The platform posts its input events here; it lends the extra (the drop list), so the queue
// keeps a copy.
static void PostPlatformEvent(void *owner, uint32_t type, uint32_t a, uint32_t b, uint32_t c,
                              const void *extra, size_t extraSize)
{
    void *copy = nullptr;
    if (extra && extraSize) {
        copy = MemAlloc(extraSize, 0);
        if (!copy) return;
        memcpy(copy, extra, extraSize);
    }
    PostEvent((DisplayRecord *)owner, type, a, b, c, copy);
}

static const int PlatformPostRegistered = [] {
    OsUpcalls up = {};
    up.postEvent = PostPlatformEvent;
    OsSetUpcalls(&up);
    return 1;
}();

int GetEventAt(int index, EventRecord *record, int takeExtra)
{
    if (!EventQueue || index < 0 || index >= EventQueueCount) return 0;
    EventSlot *s = &EventQueue[index];
    record->display = s->display;
    record->type = s->type;
    record->extra = s->extra;
    switch (s->type) {
    case IEVENT_LEFTBUTTON:
    case IEVENT_RIGHTBUTTON:
    case IEVENT_MIDBUTTON:
        record->x = s->a;
        record->y = s->b;
        record->down = s->c;
        break;
    case IEVENT_DROP:
        record->x = s->a;
        record->y = s->b;
        break;
    case IEVENT_KEY:
        record->down = s->a;
        record->y = s->b;
        record->keyCode = s->c;
        break;
    }
    if (takeExtra) s->extra = nullptr;
    return index + 1;
}

// Removes the first `count` events; the caller holds the lock.
static void RemoveFirst(int count)
{
    if (count >= EventQueueCount) count = EventQueueCount;
    for (int i = 0; i < count; i++) {
        MemFree(EventQueue[i].extra);
        EventQueue[i].extra = nullptr;
    }
    int rest = EventQueueCount - count;
    if (rest > 0) memmove(EventQueue, EventQueue + count, (size_t)rest * sizeof(EventSlot));
    memset(EventQueue + rest, 0, (size_t)count * sizeof(EventSlot));
    EventQueueCount = rest;
}

void RemoveEvents(lua_State *L, int n, int lock)
{
    if (!EventQueue) return;
    if (n > EVENT_QUEUE_SLOTS - 1) return;
    if (lock) LockEventQueue();
    if (n < 0 || n == EVENT_QUEUE_SLOTS - 1 || n + 1 >= EventQueueCount) RemoveFirst(EventQueueCount);
    else RemoveFirst(n + 1);
    if (lock) UnlockEventQueue();
}

void DropStaleEvents(lua_State *L)
{
    if (!EventQueue) return;
    LockEventQueue();
    OsTimeVal now;
    OsGetSysTime(&now);
    int last = -1;
    for (int i = 0; i < EventQueueCount; i++) {
        OsTimeVal age = now;
        const OsTimeVal *stamp = &EventQueue[i].stamp;
        if (OsCmpTime(&age, stamp) < 0) continue;   // stamped after now: not old
        OsSubTime(&age, stamp);
        uint64_t ms = (uint64_t)age.seconds * 1000 + age.micros / 1000;
        if (RuntimeSettings.eventAge >= 0 && ms > (uint64_t)RuntimeSettings.eventAge) last = i;
    }
    if (last >= 0) RemoveFirst(last + 1);
    UnlockEventQueue();
}

void HoldEventAges(const OsTimeVal *since)
{
    if (!EventQueue) return;
    LockEventQueue();
    OsTimeVal now, held;
    OsGetSysTime(&now);
    held = now;
    if (OsCmpTime(&held, since) > 0) {
        OsSubTime(&held, since);
        for (int i = 0; i < EventQueueCount; i++) {
            OsTimeVal *stamp = &EventQueue[i].stamp;
            OsAddTime(stamp, &held);
            if (OsCmpTime(stamp, &now) > 0) *stamp = now;   // posted during the hold: never in the future
        }
    }
    UnlockEventQueue();
}

void ForgetDisplayEvents(DisplayRecord *display)
{
    if (EventQueue) {
        LockEventQueue();
        for (int i = 0; i < EventQueueCount; i++)
            if (EventQueue[i].display == display) EventQueue[i].display = nullptr;
        UnlockEventQueue();
    }
    if (DisplayEventsForgotten) DisplayEventsForgotten(display);
}

// ---------------------------------------------------------------------------------------------

int InitRuntime(void)
{
    if (EventQueue) return 0;
    EventQueue = (EventSlot *)MemAlloc(EVENT_QUEUE_SLOTS * sizeof(EventSlot), 1);
    if (!EventQueue) return 1000;
    EventQueueCount = 0;
    EventQueueMutex = OsCreateMutex();
    if (!EventQueueMutex) {
        MemFree(EventQueue);
        EventQueue = nullptr;
        return 1298;
    }
    return 0;
}

void FreeRuntime(void)
{
    FreeTagChains();
    FreeCommandTables();
    if (EventQueue) {
        for (int i = 0; i < EventQueueCount; i++) MemFree(EventQueue[i].extra);
        MemFree(EventQueue);
        EventQueue = nullptr;
        EventQueueCount = 0;
    }
    OsDeleteMutex(EventQueueMutex);
    EventQueueMutex = nullptr;
}
