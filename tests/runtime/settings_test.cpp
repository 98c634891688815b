// Runtime tags with their handler chains, and the input event queue.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/memory.h"
#include "runtime/settings.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Tags

std::vector<int> Calls;   // handler id * 1000 + tag, in call order

int SetA(lua_State *, uint32_t tag, intptr_t value)
{
    Calls.push_back(1000 + (int)tag);
    return tag == 5;
}
int SetB(lua_State *, uint32_t tag, intptr_t value)
{
    Calls.push_back(2000 + (int)tag);
    return tag == 5 || tag == 7;
}
int GetA(lua_State *, uint32_t tag, void *result)
{
    if (tag != 8) return 0;
    uint32_t *words = (uint32_t *)result;   // an ObjectId in, a value out
    words[0] = words[0] * 10;
    return 1;
}

class RuntimeTagsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Calls.clear();
        RuntimeSettings = {1500, 0, 0, 0, 1, 0};
    }
    void TearDown() override { FreeRuntime(); }
};

TEST_F(RuntimeTagsTest, OwnedTagsAndDefaults)
{
    int age = 0, quiet = -1, preproc = -1;
    EXPECT_EQ(GetRuntimeTags(nullptr, RTAG_EVENTAGE, &age, RTAG_QUIET, &quiet, RTAG_PREPROC, &preproc, 0), 3);
    EXPECT_EQ(age, 1500);
    EXPECT_EQ(quiet, 0);
    EXPECT_EQ(preproc, 0);
    EXPECT_EQ(SetRuntimeTags(nullptr, RTAG_EVENTAGE, 200, RTAG_QUIET, 1, RTAG_EXITONERROR, 0, RTAG_LINEINFO, 1, 0), 4);
    EXPECT_EQ(RuntimeSettings.eventAge, 200);
    EXPECT_EQ(RuntimeSettings.quiet, 1);
    EXPECT_EQ(RuntimeSettings.exitOnError, 0);
    EXPECT_EQ(RuntimeSettings.lineInfo, 1);
    // Reads of 12 and 23 are passed on; with no handler they are not served.
    int v;
    EXPECT_EQ(GetRuntimeTags(nullptr, RTAG_EXITONERROR, &v, RTAG_LINEINFO, &v, 0), 0);
    EXPECT_EQ(SetRuntimeTags(nullptr, 0), 0);
}

TEST_F(RuntimeTagsTest, CallbackNestingCountsAndNeverGoesNegative)
{
    SetRuntimeTags(nullptr, RTAG_CALLBACKNEST, 1, 0);
    SetRuntimeTags(nullptr, RTAG_CALLBACKNEST, 1, 0);
    SetRuntimeTags(nullptr, RTAG_CALLBACKNEST, 0, 0);
    int nest = -1;
    GetRuntimeTags(nullptr, RTAG_CALLBACKNEST, &nest, 0);
    EXPECT_EQ(nest, 1);
    SetRuntimeTags(nullptr, RTAG_CALLBACKNEST, 0, RTAG_CALLBACKNEST, 0, RTAG_CALLBACKNEST, 0, 0);
    EXPECT_EQ(RuntimeSettings.callbackNesting, 0);
    SetRuntimeTags(nullptr, RTAG_CALLBACKNEST, 7, 0);   // any non-zero value adds one
    EXPECT_EQ(RuntimeSettings.callbackNesting, 1);
}

TEST_F(RuntimeTagsTest, ForeignTagsWalkTheChainsInRegistrationOrder)
{
    ASSERT_EQ(AddSetTagHandler(SetA), 0);
    ASSERT_EQ(AddSetTagHandler(SetB), 0);
    ASSERT_EQ(AddGetTagHandler(GetA), 0);

    // 5 is served by the first handler only; 7 by the second; 99 by nobody and not counted.
    EXPECT_EQ(SetRuntimeTags(nullptr, 5, 1, 7, -1, 99, 3, RTAG_QUIET, 1, 0), 3);
    EXPECT_EQ(Calls, (std::vector<int>{1005, 1007, 2007, 1099, 2099}));

    uint32_t id[2] = {4, 0};
    int dummy;
    EXPECT_EQ(GetRuntimeTags(nullptr, 8, id, 9, &dummy, 0), 1);
    EXPECT_EQ(id[0], 40u);

    // FreeRuntime empties the chains.
    FreeRuntime();
    Calls.clear();
    EXPECT_EQ(SetRuntimeTags(nullptr, 5, 1, 0), 0);
    EXPECT_TRUE(Calls.empty());
}

// ---------------------------------------------------------------------------------------------
// Event queue

OsTimeVal FakeNow;
void FakeClock(OsTimeVal *out)
{
    *out = FakeNow;
}

DisplayRecord *const DisplayA = reinterpret_cast<DisplayRecord *>(0x1000);
DisplayRecord *const DisplayB = reinterpret_cast<DisplayRecord *>(0x2000);
void *Extra(int tag)
{
    int *p = (int *)MemAlloc(sizeof(int), 0);
    *p = tag;
    return p;
}

class EventQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeNow = {1000, 0};
        OsSetClock(FakeClock);
        RuntimeSettings.eventAge = 1500;
        ASSERT_EQ(InitRuntime(), 0);
    }
    void TearDown() override
    {
        FreeRuntime();   // frees the extras still queued (the leak checker watches)
        OsSetClock(nullptr);
    }
};

TEST_F(EventQueueTest, FullQueueDropsNewEventsAndFreesTheirExtras)
{
    for (int i = 0; i < 257; i++) PostEvent(DisplayA, IEVENT_KEY, 1, 0, (uint32_t)i, Extra(i));
    EXPECT_EQ(EventQueueCount, 256);
    LockEventQueue();
    EventRecord r;
    int next = 0;
    for (int i = 0; i < 256; i++) {
        next = GetEventAt(next, &r, 0);
        ASSERT_EQ(next, i + 1);
        EXPECT_EQ(r.keyCode, (uint32_t)i);
        EXPECT_EQ(*(int *)r.extra, i);
    }
    EXPECT_EQ(GetEventAt(256, &r, 0), 0);
    UnlockEventQueue();
}

TEST_F(EventQueueTest, GetEventAtFillsByTypeAndTakesTheExtra)
{
    PostEvent(DisplayA, IEVENT_LEFTBUTTON, 10, 20, 1, nullptr);
    PostEvent(DisplayB, IEVENT_DROP, 30, 40, 0, Extra(7));
    PostEvent(DisplayB, IEVENT_KEY, 1, 0, 275, nullptr);
    EventRecord r;
    memset(&r, 0, sizeof(r));
    EXPECT_EQ(GetEventAt(0, &r, 0), 1);
    EXPECT_EQ(r.display, DisplayA);
    EXPECT_EQ(r.type, 1u);
    EXPECT_EQ(r.x, 10u);
    EXPECT_EQ(r.y, 20u);
    EXPECT_EQ(r.down, 1u);
    EXPECT_EQ(GetEventAt(1, &r, 1), 2);
    EXPECT_EQ(r.x, 30u);
    ASSERT_NE(r.extra, nullptr);
    EXPECT_EQ(EventQueue[1].extra, nullptr);   // the record owns it now
    MemFree(r.extra);
    EXPECT_EQ(GetEventAt(2, &r, 0), 3);
    EXPECT_EQ(r.down, 1u);
    EXPECT_EQ(r.keyCode, 275u);
    EXPECT_EQ(GetEventAt(-1, &r, 0), 0);
}

TEST_F(EventQueueTest, RemoveEventsCases)
{
    for (int i = 0; i < 6; i++) PostEvent(nullptr, IEVENT_KEY, 1, 0, (uint32_t)i, Extra(i));
    RemoveEvents(nullptr, 0, 1);        // the first
    EXPECT_EQ(EventQueueCount, 5);
    EXPECT_EQ(EventQueue[0].c, 1u);
    RemoveEvents(nullptr, 1, 1);        // two more
    EXPECT_EQ(EventQueueCount, 3);
    EXPECT_EQ(EventQueue[0].c, 3u);
    EXPECT_EQ(*(int *)EventQueue[2].extra, 5);   // the rest keep their extras
    RemoveEvents(nullptr, 300, 1);      // above 255: nothing
    EXPECT_EQ(EventQueueCount, 3);
    LockEventQueue();
    RemoveEvents(nullptr, 10, 0);       // more than queued: empties it (caller holds the lock)
    UnlockEventQueue();
    EXPECT_EQ(EventQueueCount, 0);
    for (int i = 0; i < 3; i++) PostEvent(nullptr, IEVENT_KEY, 1, 0, 0, Extra(i));
    RemoveEvents(nullptr, -1, 1);
    EXPECT_EQ(EventQueueCount, 0);
    for (int i = 0; i < 3; i++) PostEvent(nullptr, IEVENT_KEY, 1, 0, 0, Extra(i));
    RemoveEvents(nullptr, 255, 1);
    EXPECT_EQ(EventQueueCount, 0);
}

TEST_F(EventQueueTest, DropStaleEventsRemovesUpToTheLastOldOne)
{
    FakeNow = {1000, 0};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 1, Extra(1));   // 3.0 s old at the check
    FakeNow = {1000, 900000};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 2, nullptr);    // 2.1 s
    FakeNow = {1001, 0};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 3, Extra(3));   // 2.0 s: the last stale one
    FakeNow = {1002, 0};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 4, nullptr);    // 1.0 s
    FakeNow = {1002, 600000};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 5, Extra(5));   // 0.4 s
    FakeNow = {1003, 0};
    DropStaleEvents(nullptr);
    ASSERT_EQ(EventQueueCount, 2);
    EXPECT_EQ(EventQueue[0].c, 4u);
    EXPECT_EQ(EventQueue[1].c, 5u);
    // Exactly at the limit is not older than it.
    FakeNow = {1003, 500000};
    DropStaleEvents(nullptr);
    EXPECT_EQ(EventQueueCount, 2);
    FakeNow = {1003, 501000};
    DropStaleEvents(nullptr);
    EXPECT_EQ(EventQueueCount, 1);
}

TEST_F(EventQueueTest, HeldTimeDoesNotAgeEvents)
{
    FakeNow = {1000, 0};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 1, nullptr);    // 1.2 s old when the hold starts
    FakeNow = {1001, 0};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 2, nullptr);
    OsTimeVal since = {1001, 200000};
    FakeNow = {1002, 500000};
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 3, nullptr);    // during the hold
    FakeNow = {1003, 0};
    HoldEventAges(&since);                               // held 1.8 s
    EXPECT_EQ(EventQueue[0].stamp.seconds, 1001u);
    EXPECT_EQ(EventQueue[0].stamp.micros, 800000u);
    EXPECT_EQ(EventQueue[2].stamp.seconds, 1003u);       // never stamped in the future
    EXPECT_EQ(EventQueue[2].stamp.micros, 0u);
    DropStaleEvents(nullptr);
    EXPECT_EQ(EventQueueCount, 3);
    FakeNow = {1003, 400000};                            // the first is 1.6 s old now
    DropStaleEvents(nullptr);
    ASSERT_EQ(EventQueueCount, 2);
    EXPECT_EQ(EventQueue[0].c, 2u);
    since = {1004, 0};                                   // a hold that starts after now moves nothing
    HoldEventAges(&since);
    EXPECT_EQ(EventQueue[0].stamp.seconds, 1002u);
}

TEST_F(EventQueueTest, ForgottenDisplayLeavesItsEventsWithoutDisplay)
{
    PostEvent(DisplayB, IEVENT_SIZEWINDOW, 0, 0, 0, nullptr);
    PostEvent(DisplayA, IEVENT_MOVEWINDOW, 0, 0, 0, Extra(1));
    ForgetDisplayEvents(DisplayA);
    ASSERT_EQ(EventQueueCount, 2);
    EXPECT_EQ(EventQueue[0].display, DisplayB);
    EXPECT_EQ(EventQueue[1].display, nullptr);
    EXPECT_EQ(EventQueue[1].type, (uint32_t)IEVENT_MOVEWINDOW);
}

TEST(EventQueueLifecycle, PostBeforeInitDropsAndFreeIsRepeatable)
{
    PostEvent(nullptr, IEVENT_KEY, 1, 0, 0, Extra(1));   // no queue yet: dropped, freed
    EXPECT_EQ(EventQueueCount, 0);
    ASSERT_EQ(InitRuntime(), 0);
    FreeRuntime();
    FreeRuntime();
}

}  // namespace
