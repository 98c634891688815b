// Event-loop timers: the script's intervals and timeouts. A timer never calls the script; the
// dispatcher walks the list with OsCheckTimer and collects what has fallen due. Due times are
// kept on OsGetSysTime's clock, so a test clock drives them.
#include <cstdlib>

#include "platform/linux/os_internal.h"

struct OsTimerNode {
    OsTimerNode *next;
    uint32_t kind;          // OS_TIMER_INTERVAL or OS_TIMER_TIMEOUT
    OsTimerId id;
    OsTimeVal due;
    int64_t periodMicros;   // intervals only
};

static OsTimerNode *TimerList = nullptr;

int64_t OsTimeDiffMicros(const OsTimeVal *a, const OsTimeVal *b)
{
    int64_t seconds = (int64_t)a->seconds - (int64_t)b->seconds;
    return seconds * 1000000 + ((int64_t)a->micros - (int64_t)b->micros);
}

static void AddMicros(OsTimeVal *t, int64_t micros)
{
    OsTimeVal d = {(uint32_t)(micros / 1000000), (uint32_t)(micros % 1000000)};
    OsAddTime(t, &d);
}

static int SameId(const OsTimerId *a, const OsTimerId *b)
{
    return a->number == b->number && a->handle == b->handle;
}

OsTimerNode *FindOsTimer(int kind, const OsTimerId *id, OsTimerNode **next)
{
    for (OsTimerNode *n = TimerList; n; n = n->next)
        if (n->kind == (uint32_t)kind && SameId(&n->id, id)) {
            if (next) *next = n->next;
            return n;
        }
    if (next) *next = nullptr;
    return nullptr;
}

static void Unlink(OsTimerNode *node)
{
    for (OsTimerNode **link = &TimerList; *link; link = &(*link)->next)
        if (*link == node) {
            *link = node->next;
            free(node);
            return;
        }
}

int OsSetTimer(int op, const OsTimerId *id, int32_t millis)
{
    if (op < 0 || op > OS_TIMER_CHANGE_INTERVAL || !id) return 0;
    OsTimeVal now;
    OsGetSysTime(&now);
    if (op == OS_TIMER_START_INTERVAL || op == OS_TIMER_START_TIMEOUT) {
        OsTimerNode *node = (OsTimerNode *)calloc(1, sizeof(OsTimerNode));
        if (!node) return 1000;
        node->kind = op == OS_TIMER_START_INTERVAL ? OS_TIMER_INTERVAL : OS_TIMER_TIMEOUT;
        node->id = *id;
        node->due = now;
        if (node->kind == OS_TIMER_INTERVAL) {
            // Due at once, then once per period; a period below 1 ms would spin.
            node->periodMicros = (int64_t)(millis < 1 ? 1 : millis) * 1000;
        } else {
            AddMicros(&node->due, (int64_t)(millis < 0 ? 0 : millis) * 1000);
        }
        OsTimerNode **link = &TimerList;
        while (*link) link = &(*link)->next;
        *link = node;
        return 0;
    }
    int kind = op == OS_TIMER_REMOVE_TIMEOUT ? OS_TIMER_TIMEOUT : OS_TIMER_INTERVAL;
    OsTimerNode *node = FindOsTimer(kind, id, nullptr);
    if (!node) return 0;
    if (op == OS_TIMER_CHANGE_INTERVAL) {
        node->due = now;
        node->periodMicros = (int64_t)(millis < 1 ? 1 : millis) * 1000;
    } else {
        Unlink(node);
    }
    return 0;
}

OsTimerNode *OsCheckTimer(OsTimerNode *from, int *kind, OsTimerId *id)
{
    *kind = OS_TIMER_NONE;
    OsTimerNode *node = from ? from : TimerList;
    if (!node) return nullptr;
    OsTimerNode *next = node->next;
    OsTimeVal now;
    OsGetSysTime(&now);
    int64_t late = OsTimeDiffMicros(&now, &node->due);
    if (late < 0) return next;
    *kind = (int)node->kind;
    *id = node->id;
    if (node->kind == OS_TIMER_INTERVAL) {
        // The next firing stays on the period's grid; firings missed meanwhile are skipped.
        AddMicros(&node->due, (late / node->periodMicros + 1) * node->periodMicros);
    } else {
        Unlink(node);
    }
    return next;
}

void OsFreeTimers(void)
{
    while (TimerList) {
        OsTimerNode *next = TimerList->next;
        free(TimerList);
        TimerList = next;
    }
}

int64_t OsTimerWaitMicros(void)
{
    if (!TimerList) return -1;
    OsTimeVal now;
    OsGetSysTime(&now);
    int64_t best = -1;
    for (OsTimerNode *n = TimerList; n; n = n->next) {
        int64_t left = OsTimeDiffMicros(&n->due, &now);
        if (left < 0) left = 0;
        if (best < 0 || left < best) best = left;
    }
    return best;
}
