// Runtime settings (tag lists served by the runtime and by handler chains of the libraries) and
// the input event queue that the platform's event handlers fill and the event dispatcher drains.
#pragma once
#include <cstdint>
#include <type_traits>

#include "platform/os.h"

struct lua_State;
struct DisplayRecord;

// ---------------------------------------------------------------------------------------------
// Runtime tags

enum {
    RTAG_EVENTAGE = 1,          // event age limit in ms (1500)
    RTAG_QUIET = 2,             // no progress lines (0)
    RTAG_NOSOUND = 3,           // sound library
    RTAG_MASTERVOLUME = 4,      // sound library
    RTAG_MASKMODE = 5,          // graphics library
    RTAG_PREPROC = 6,           // declared objects are being created (0)
    RTAG_ALPHAINTENSITY = 7,    // graphics library
    RTAG_CALLBACKNEST = 11,     // callback nesting: writing non-zero adds 1, writing 0 subtracts 1
    RTAG_EXITONERROR = 12,      // exit-on-error (1); reads are passed on to the get chain
    RTAG_LINEINFO = 23,         // line information in error reports (0); reads passed on
};

// The settings the runtime owns. Plain words of the main thread; read them directly or through
// GetRuntimeTags. SetRuntimeTags works before InitRuntime.
struct RuntimeSettingsRecord {
    int eventAge;
    int quiet;
    int preproc;
    int callbackNesting;    // never below 0
    int exitOnError;
    int lineInfo;
};
extern RuntimeSettingsRecord RuntimeSettings;

// One (tag, value) pair; for reading, value is the address of the result (an int for the
// runtime's tags; the library handlers document their own). A list ends with tag 0.
struct RuntimeTag {
    uint32_t tag;
    intptr_t value;
};

// Handlers return non-zero when they served the tag.
typedef int (*SetTagHandler)(lua_State *L, uint32_t tag, intptr_t value);
typedef int (*GetTagHandler)(lua_State *L, uint32_t tag, void *result);

// Append a handler to the write or read chain (registration order): 0 or 1000.
int AddSetTagHandler(SetTagHandler handler);
int AddGetTagHandler(GetTagHandler handler);

// Serve a list ended by tag 0; return the number of tags served (a tag that nobody serves is
// skipped and not counted).
int SetRuntimeTagList(lua_State *L, const RuntimeTag *tags);
int GetRuntimeTagList(lua_State *L, const RuntimeTag *tags);

template <typename T> inline intptr_t RuntimeTagWord(T v)
{
    if constexpr (std::is_pointer_v<T>) return reinterpret_cast<intptr_t>(v);
    else if constexpr (std::is_null_pointer_v<T>) return 0;
    else return static_cast<intptr_t>(v);
}

// SetRuntimeTags(L, tag, value, tag, value, ..., 0) and GetRuntimeTags(L, tag, &result, ..., 0).
template <typename... A> inline int SetRuntimeTags(lua_State *L, A... args)
{
    static_assert(sizeof...(A) % 2 == 1, "tag list: (tag, value) pairs ended by 0");
    const intptr_t words[] = {RuntimeTagWord(args)..., 0};
    RuntimeTag tags[sizeof...(A) / 2 + 1];
    for (unsigned i = 0; i <= sizeof...(A) / 2; i++) {
        tags[i].tag = (uint32_t)words[2 * i];
        tags[i].value = words[2 * i + 1];
    }
    return SetRuntimeTagList(L, tags);
}
template <typename... A> inline int GetRuntimeTags(lua_State *L, A... args)
{
    static_assert(sizeof...(A) % 2 == 1, "tag list: (tag, pointer) pairs ended by 0");
    const intptr_t words[] = {RuntimeTagWord(args)..., 0};
    RuntimeTag tags[sizeof...(A) / 2 + 1];
    for (unsigned i = 0; i <= sizeof...(A) / 2; i++) {
        tags[i].tag = (uint32_t)words[2 * i];
        tags[i].value = words[2 * i + 1];
    }
    return GetRuntimeTagList(L, tags);
}

// ---------------------------------------------------------------------------------------------
// Input event queue

enum { EVENT_QUEUE_SLOTS = 256 };

// Input event types posted by the platform layer.
enum {
    IEVENT_LEFTBUTTON = 1, IEVENT_RIGHTBUTTON = 2, IEVENT_KEY = 3, IEVENT_MOVEWINDOW = 4,
    IEVENT_SIZEWINDOW = 5, IEVENT_INACTIVE = 6, IEVENT_CLOSEWINDOW = 7, IEVENT_ACTIVE = 8,
    IEVENT_COLLAPSE = 9, IEVENT_EXPAND = 10, IEVENT_WHEELUP = 11, IEVENT_WHEELDOWN = 12,
    IEVENT_DROP = 14, IEVENT_MIDBUTTON = 16,
};

struct EventSlot {
    uint32_t type;
    uint32_t a, b, c;
    OsTimeVal stamp;            // OsGetSysTime when queued
    DisplayRecord *display;     // cleared when that display closes
    void *extra;                // owned by the slot (MemAlloc), or none
};

// The dispatcher's copy of one queued event (GetEventAt).
struct EventRecord {
    DisplayRecord *display;
    uint32_t type;
    uint32_t x, y;
    uint32_t down;
    uint32_t keyCode;
    void *extra;                // owned by the record once taken from the queue
};

// The queue: EVENT_QUEUE_SLOTS slots in arrival order from slot 0, EventQueueCount of them used.
// Read them only while holding the queue lock.
extern EventSlot *EventQueue;
extern int EventQueueCount;
void LockEventQueue(void);
void UnlockEventQueue(void);

// Appends an event stamped with the current time. A full queue drops the event, and with it its
// extra allocation, which is freed.
void PostEvent(DisplayRecord *display, uint32_t type, uint32_t a, uint32_t b, uint32_t c,
               void *extra);
// Copies slot `index` into the record: display, type and extra always; x, y, down for types
// 1, 2, 16; x, y for 14; down (a), the second parameter in y (b) and the key code (c) for 3.
// With takeExtra set the extra passes to the record. Returns index + 1, or 0 when there is no
// such event. The caller holds the queue lock.
int GetEventAt(int index, EventRecord *record, int takeExtra);
// Removes the first n + 1 events (-1: all), freeing their extras; n above 255 does nothing.
// lock 0: the caller already holds the queue lock.
void RemoveEvents(lua_State *L, int n, int lock);
// Removes every event up to the last one older than the event age limit.
void DropStaleEvents(lua_State *L);
// Time the player itself held the queue (from `since` until now, as a screen-mode switch with
// its fades) does not age the queued events: their stamps move forward by it, to now at most.
void HoldEventAges(const OsTimeVal *since);
// Clears the display of the queued events of a display being freed, then tells the event
// library (DisplayEventsForgotten, may be none), whose dispatcher may be serving one of them.
void ForgetDisplayEvents(DisplayRecord *display);
extern void (*DisplayEventsForgotten)(DisplayRecord *display);

// ---------------------------------------------------------------------------------------------
// Allocates the event queue (cleared) and creates its mutex: 0, 1000, or 1298 ("Error allocating
// semaphore object!"). The linked-file name buffer and the error context's texts are static
// storage of their files and need no allocation.
int InitRuntime(void);
// Frees both handler chains, the command-table registry, queued extras, the queue, the mutex
// and the buffers. Safe without InitRuntime and when called twice.
void FreeRuntime(void);
