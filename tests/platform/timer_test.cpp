// Intervals and timeouts on a clock the test moves by hand, and the waits they end.
#include <chrono>
#include <thread>

#include "platform/linux/os_internal.h"
#include "tests/platform/window_fixture.h"

namespace {

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override { OsSetClock(FakeClock); }
    void TearDown() override
    {
        OsFreeTimers();
        OsSetClock(nullptr);
    }

    // One walk of the dispatcher over the list: every (kind, id number) reported.
    std::vector<std::pair<int, uint32_t>> Collect()
    {
        std::vector<std::pair<int, uint32_t>> got;
        OsTimerNode *node = nullptr;
        do {
            int kind;
            OsTimerId id = {};
            node = OsCheckTimer(node, &kind, &id);
            if (kind != OS_TIMER_NONE) got.push_back({kind, id.number});
        } while (node);
        return got;
    }
    using Fired = std::vector<std::pair<int, uint32_t>>;
};

TEST_F(TimerTest, IntervalsFireAtOnceThenOnTheirGrid)
{
    OsTimerId id = {7, nullptr};
    ASSERT_EQ(OsSetTimer(OS_TIMER_START_INTERVAL, &id, 100), 0);
    EXPECT_EQ(Collect(), (Fired{{0, 7}}));   // the first firing comes at once
    EXPECT_EQ(Collect(), Fired{});
    AdvanceMicros(99999);
    EXPECT_EQ(Collect(), Fired{});
    AdvanceMicros(1);
    EXPECT_EQ(Collect(), (Fired{{0, 7}}));
    // Collected late, the next firing stays on the grid: no drift.
    AdvanceMicros(130000);
    EXPECT_EQ(Collect(), (Fired{{0, 7}}));
    AdvanceMicros(70000);
    EXPECT_EQ(Collect(), (Fired{{0, 7}}));
    // Two periods passed before the dispatcher looked: reported once, the missed one skipped.
    AdvanceMicros(250000);
    EXPECT_EQ(Collect(), (Fired{{0, 7}}));
    AdvanceMicros(49999);
    EXPECT_EQ(Collect(), Fired{});
    AdvanceMicros(1);
    EXPECT_EQ(Collect(), (Fired{{0, 7}}));
}

TEST_F(TimerTest, TimeoutsFireOnceAndAreGone)
{
    OsTimerId a = {1, nullptr}, b = {2, nullptr};
    ASSERT_EQ(OsSetTimer(OS_TIMER_START_TIMEOUT, &a, 50), 0);
    ASSERT_EQ(OsSetTimer(OS_TIMER_START_TIMEOUT, &b, 80), 0);
    EXPECT_EQ(OsTimerWaitMicros(), 50000);
    AdvanceMicros(60000);
    EXPECT_EQ(Collect(), (Fired{{1, 1}}));
    EXPECT_EQ(FindOsTimer(OS_TIMER_TIMEOUT, &a, nullptr), nullptr);
    AdvanceMicros(100000);
    EXPECT_EQ(Collect(), (Fired{{1, 2}}));
    EXPECT_EQ(Collect(), Fired{});
    EXPECT_EQ(OsTimerWaitMicros(), -1);
}

TEST_F(TimerTest, RemovingAndChangingById)
{
    OsTimerId a = {1, nullptr}, b = {1, &a}, missing = {9, nullptr};
    ASSERT_EQ(OsSetTimer(OS_TIMER_START_INTERVAL, &a, 10), 0);
    ASSERT_EQ(OsSetTimer(OS_TIMER_START_TIMEOUT, &b, 10), 0);
    // Ids that run nothing: removing and changing do nothing and succeed.
    EXPECT_EQ(OsSetTimer(OS_TIMER_REMOVE_INTERVAL, &missing, 0), 0);
    EXPECT_EQ(OsSetTimer(OS_TIMER_REMOVE_TIMEOUT, &a, 0), 0);   // a is an interval, not a timeout
    EXPECT_EQ(OsSetTimer(OS_TIMER_CHANGE_INTERVAL, &missing, 5), 0);
    EXPECT_EQ(OsSetTimer(9, &a, 5), 0);
    OsTimerNode *next = nullptr;
    OsTimerNode *node = FindOsTimer(OS_TIMER_INTERVAL, &a, &next);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(next, FindOsTimer(OS_TIMER_TIMEOUT, &b, nullptr));

    EXPECT_EQ(Collect(), (Fired{{0, 1}}));
    // A new period makes the interval due at once again.
    ASSERT_EQ(OsSetTimer(OS_TIMER_CHANGE_INTERVAL, &a, 1000), 0);
    EXPECT_EQ(Collect(), (Fired{{0, 1}}));
    AdvanceMicros(20000);
    EXPECT_EQ(Collect(), (Fired{{1, 1}}));   // only the timeout: the interval runs at 1 s now
    ASSERT_EQ(OsSetTimer(OS_TIMER_REMOVE_INTERVAL, &a, 0), 0);
    EXPECT_EQ(FindOsTimer(OS_TIMER_INTERVAL, &a, nullptr), nullptr);
    // A period of 0 is taken as 1 ms, so a due interval can't spin.
    ASSERT_EQ(OsSetTimer(OS_TIMER_START_INTERVAL, &a, 0), 0);
    EXPECT_EQ(Collect(), (Fired{{0, 1}}));
    EXPECT_EQ(Collect(), Fired{});
    AdvanceMicros(1000);
    EXPECT_EQ(Collect(), (Fired{{0, 1}}));
}

TEST_F(TimerTest, WaitForEventReturnsWhenATimerIsDueOrOnAWakeUp)
{
    OsTimerId a = {1, nullptr};
    ASSERT_EQ(OsSetTimer(OS_TIMER_START_TIMEOUT, &a, 0), 0);
    EXPECT_EQ(OsWaitForEvent(nullptr), 0);   // due at once: returns without blocking
    OsFreeTimers();
    OsSetClock(nullptr);
    std::thread waker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        OsWakeEventLoop();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OsWaitForEvent(nullptr), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    waker.join();
}

}  // namespace
