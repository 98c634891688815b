// The present log that start-up timing reads: with KV_PRESENT_LOG set, every present that
// updates the screen appends its CLOCK_MONOTONIC time in microseconds, and nothing else does.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/os.h"

namespace {

long long NowMicros() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

std::vector<long long> ReadLog(const std::string &path) {
    std::vector<long long> times;
    FILE *f = fopen(path.c_str(), "r");
    long long t;
    while (f && fscanf(f, "%lld", &t) == 1) times.push_back(t);
    if (f) fclose(f);
    return times;
}

TEST(PresentLog, EveryPresentThatUpdatesTheScreenAppendsItsTime) {
    const std::string path = std::string(KV_BINARY_DIR) + "/present_log_test.log";
    unlink(path.c_str());
    // Read once, at the first present of the process: set before anything is presented.
    setenv("KV_PRESENT_LOG", path.c_str(), 1);
    ASSERT_EQ(OsInit(), 0);
    int owner = 0;
    OsWindowRecord *win = nullptr;
    ASSERT_EQ(OsAllocWindowRecord(&owner, &win), 0);
    ASSERT_EQ(OsOpenWindow(win, 0, 0, 0, 64, 48, "Log", 1, nullptr), 0);

    const long long before = NowMicros();
    OsPresentAll();   // the black first frame
    OsPresentAll();   // nothing changed: no present
    OsWindowRectFill(win, 0, 0, 8, 8, 0xFF0000);
    OsPresentAll();
    const long long after = NowMicros();
    const std::vector<long long> times = ReadLog(path);

    OsFreeWindowRecord(win);
    OsShutdown();
    unsetenv("KV_PRESENT_LOG");
    unlink(path.c_str());
    ASSERT_EQ(times.size(), 2u);
    EXPECT_LE(before, times[0]);
    EXPECT_LE(times[0], times[1]);
    EXPECT_LE(times[1], after);
}

}  // namespace
