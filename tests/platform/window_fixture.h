// A window of the dummy video driver with recording upcalls: every posted event and every call
// upward is kept for the test to look at.
#pragma once
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os.h"

struct PostedEvent {
    void *owner;
    uint32_t type, a, b, c;
    std::string extra;
};

struct Recorder {
    std::vector<PostedEvent> events;
    int closeHandler = 0;
    int onlyDisplay = 1;
    int displayMode = 0;
    int switchedTo = -2;
    int resizes = 0;
    int refreshes = 0;
    int geometryCalls = 0;
    volatile int stop = 0;
};

inline Recorder *TheRecorder = nullptr;

inline void RegisterRecorder(Recorder *r)
{
    TheRecorder = r;
    OsSetUpcalls(nullptr);
    OsUpcalls up = {};
    up.postEvent = [](void *owner, uint32_t type, uint32_t a, uint32_t b, uint32_t c,
                      const void *extra, size_t size) {
        TheRecorder->events.push_back({owner, type, a, b, c, std::string((const char *)extra, extra ? size : 0)});
    };
    up.hasCloseHandler = [](void *) { return TheRecorder->closeHandler; };
    up.geometryChanged = [](void *, int32_t, int32_t, int32_t, int32_t) { TheRecorder->geometryCalls++; };
    up.refresh = [](void *) { TheRecorder->refreshes++; };
    up.switchMode = [](lua_State *, void *, int mode) { TheRecorder->switchedTo = mode; };
    up.resizeDone = [](lua_State *, void *, int32_t, int32_t) { TheRecorder->resizes++; };
    up.isOnlyDisplay = [](void *) { return TheRecorder->onlyDisplay; };
    up.displayMode = [](void *) { return TheRecorder->displayMode; };
    up.stopFlag = &r->stop;
    OsSetUpcalls(&up);
}

// A clock the test moves by hand.
inline OsTimeVal FakeNow = {1000, 0};
inline void FakeClock(OsTimeVal *out)
{
    *out = FakeNow;
}
inline void AdvanceMicros(int64_t micros)
{
    OsTimeVal d = {(uint32_t)(micros / 1000000), (uint32_t)(micros % 1000000)};
    OsAddTime(&FakeNow, &d);
}

class WindowTest : public ::testing::Test {
protected:
    Recorder rec;
    OsWindowRecord *win = nullptr;
    int owner = 0;

    void SetUp() override
    {
        ASSERT_EQ(OsInit(), 0);
        RegisterRecorder(&rec);
        ASSERT_EQ(OsAllocWindowRecord(&owner, &win), 0);
        ASSERT_EQ(OsOpenWindow(win, 0, 10, 20, 320, 200, "Test", 1, nullptr), 0);
        Drain();
        rec.events.clear();
        rec.geometryCalls = rec.refreshes = rec.resizes = 0;
    }

    void TearDown() override
    {
        OsFreeWindowRecord(win);
        OsSetClock(nullptr);
        OsSetTag(8, 1);
        OsSetTag(9, 0);
        OsSetTag(10, 0);
        OsSetTag(16, 0);
        OsSetUpcalls(nullptr);
        OsShutdown();
    }

    // Runs the pump until SDL's queue is empty; returns the last pump result.
    int Drain()
    {
        int r = 0;
        for (int i = 0; i < 1000; i++) {
            SDL_PumpEvents();
            if (!SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) break;
            r = OsPumpEvents(nullptr, nullptr);
        }
        return r;
    }

    // One more pump pass once the 10 ms pace has passed (the quit checks run).
    int PumpOnce()
    {
        SDL_Delay(11);
        return OsPumpEvents(nullptr, nullptr);
    }

    void PushWindowEvent(Uint8 kind, int data1 = 0, int data2 = 0)
    {
        SDL_Event e = {};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = win->windowId;
        e.window.event = kind;
        e.window.data1 = data1;
        e.window.data2 = data2;
        SDL_PushEvent(&e);
    }
};
