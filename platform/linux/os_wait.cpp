// Waiting: short waits sleep, long ones keep the event pump running so that windows stay
// responsive and a quit request ends the wait. OsWaitForEvent blocks until there is something
// to do: an SDL event, a timer due, a signal or a wake-up from another thread.
#include <SDL.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/linux/os_internal.h"

enum {
    WAIT_PUMP_ABOVE_MS = 100,   // longer waits pump events
    WAIT_SLICE_MS = 10,         // the pump's own pace: it does nothing sooner
    WAIT_EVENT_SLICE_MS = 20    // how often a blocked wait looks at signals and wake-ups
};

static std::atomic<int> WakeRequested{0};

int64_t OsMonotonicMicros(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

void OsSleepMicros(int64_t micros)
{
    timespec ts = {(time_t)(micros / 1000000), (long)(micros % 1000000) * 1000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Waits up to `micros` for an SDL event (left in the queue): 1 when one is there.
static int WaitSlice(int64_t micros)
{
    if (!OsVideoStarted()) {
        OsSleepMicros(micros);
        return 0;
    }
    int ms = (int)((micros + 999) / 1000);
    return SDL_WaitEventTimeout(nullptr, ms) == 1;
}

void OsSleepMillis(lua_State *L, int millis)
{
    if (millis > 0) OsSleepMicros((int64_t)millis * 1000);
}

int OsWaitMillis(lua_State *L, int millis)
{
    if (millis <= 0) return 0;
    if (millis <= WAIT_PUMP_ABOVE_MS) {
        OsSleepMicros((int64_t)millis * 1000);
        return 0;
    }
    // The deadline is kept in microseconds so that the wait is never shorter than asked.
    int64_t deadline = OsMonotonicMicros() + (int64_t)millis * 1000;
    for (;;) {
        if (OsPumpEvents(L, nullptr)) return 1;
        int64_t left = deadline - OsMonotonicMicros();
        if (left <= 0) return 0;
        WaitSlice(left < WAIT_SLICE_MS * 1000 ? left : WAIT_SLICE_MS * 1000);
    }
}

int OsWaitForEvent(lua_State *L)
{
    for (;;) {
        // OsTakeAudioWake: the mixer has queued a loop or end notification for the script.
        if (WakeRequested.exchange(0) || OsTakeAudioWake() || OsSignalPending()) break;
        if (OsVideoStarted() && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) break;
        int64_t timer = OsTimerWaitMicros();
        if (timer == 0) break;
        if (OsFeedTestInput()) break;   // the test's next group of input events
        OsPresentDue();
        int64_t slice = WAIT_EVENT_SLICE_MS * 1000;
        if (timer > 0 && timer < slice) slice = timer;
        if (WaitSlice(slice)) break;
    }
    return 0;
}

void OsWakeEventLoop(void)
{
    WakeRequested = 1;
    uint32_t type = OsWakeEventType();
    if (type && OsVideoStarted()) {
        SDL_Event e = {};
        e.type = type;
        SDL_PushEvent(&e);
    }
}
