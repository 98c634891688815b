// Waiting: short waits sleep, long ones keep the event pump running so that windows stay
// responsive and a quit request ends the wait.
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/os.h"

enum {
    WAIT_PUMP_ABOVE_MS = 100,   // longer waits pump events
    WAIT_SLICE_MS = 10          // the pump's own pace: it does nothing sooner
};

static int64_t MonotonicMicros(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

// Sleeps the whole time, resuming after signals.
static void SleepMicros(int64_t micros)
{
    timespec ts = {(time_t)(micros / 1000000), (long)(micros % 1000000) * 1000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void OsSleepMillis(lua_State *L, int millis)
{
    if (millis > 0) SleepMicros((int64_t)millis * 1000);
}

int OsWaitMillis(lua_State *L, int millis)
{
    if (millis <= 0) return 0;
    if (millis <= WAIT_PUMP_ABOVE_MS) {
        SleepMicros((int64_t)millis * 1000);
        return 0;
    }
    // The deadline is kept in microseconds so that the wait is never shorter than asked.
    int64_t deadline = MonotonicMicros() + (int64_t)millis * 1000;
    for (;;) {
        int64_t left = deadline - MonotonicMicros();
        if (left <= 0) return 0;
        SleepMicros(left < WAIT_SLICE_MS * 1000 ? left : WAIT_SLICE_MS * 1000);
        if (OsPumpEvents(L, nullptr)) return 1;
    }
}
