// Platform start-up services: time values, mutexes, dates, paths, temporary files, requesters.
#include <gtest/gtest.h>

#include <SDL.h>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/os.h"
#include "runtime/memory.h"

namespace {

TEST(OsTime, SubAddAndCompare)
{
    OsTimeVal a = {5, 100}, b = {3, 200};
    OsSubTime(&a, &b);
    EXPECT_EQ(a.seconds, 1u);
    EXPECT_EQ(a.micros, 999900u);
    OsTimeVal c = {1, 999999}, d = {0, 1};
    OsAddTime(&c, &d);
    EXPECT_EQ(c.seconds, 2u);
    EXPECT_EQ(c.micros, 0u);

    struct { OsTimeVal a, b; int r; } cases[] = {
        {{1, 5}, {1, 5}, 0}, {{1, 6}, {1, 5}, 1}, {{1, 5}, {1, 6}, -1},
        {{2, 0}, {1, 999999}, 1}, {{1, 999999}, {2, 0}, -1},
    };
    for (auto &t : cases) EXPECT_EQ(OsCmpTime(&t.a, &t.b), t.r);
}

TEST(OsTime, MonotonicClockAndInjectedClock)
{
    OsTimeVal t1, t2;
    OsGetSysTime(&t1);
    OsGetSysTime(&t2);
    EXPECT_LE(OsCmpTime(&t1, &t2), 0);
    EXPECT_LT(t1.micros, 1000000u);

    OsSetClock([](OsTimeVal *out) { *out = {42, 7}; });
    OsGetSysTime(&t1);
    EXPECT_EQ(t1.seconds, 42u);
    EXPECT_EQ(t1.micros, 7u);
    EXPECT_DOUBLE_EQ(OsGetTimeSeconds(), 42.000007);
    OsSetClock(nullptr);
    OsGetSysTime(&t1);
    EXPECT_NE(t1.seconds, 42u);
}

TEST(OsDates, TimeToDateRoundTripAndDateStrings)
{
    int date[6] = {30, 15, 12, 5, 2, 2009};   // 5 March 2009 12:15:30
    time_t t = OsDateToTime(date);
    ASSERT_NE(t, 0);
    int back[6];
    OsTimeToDate(t, back);
    for (int i = 0; i < 6; i++) EXPECT_EQ(back[i], date[i]);

    char t1[64], t2[64];
    OsGetDateString(1, t1, t2);
    int m, d, y, h, mi, s;
    EXPECT_EQ(sscanf(t1, "%2d-%2d-%2d", &m, &d, &y), 3) << t1;
    EXPECT_EQ(strlen(t1), 8u);
    EXPECT_EQ(sscanf(t2, "%2d:%2d:%2d", &h, &mi, &s), 3) << t2;
    OsGetDateString(2, t1, nullptr);
    EXPECT_EQ(strlen(t1), 8u);
    OsGetDateString(0, t1, nullptr);
    EXPECT_GT(strlen(t1), 0u);
    OsGetDateString(3, t1, nullptr);
    EXPECT_GT(strlen(t1), 0u);

    // Dates never touch the process locale: numbers still print the "C" way.
    EXPECT_STREQ(setlocale(LC_NUMERIC, nullptr), "C");
    char num[16];
    snprintf(num, sizeof(num), "%.1f", 1.5);
    EXPECT_STREQ(num, "1.5");
}

TEST(OsMutex, RecursiveLockNeedsAsManyUnlocks)
{
    OsMutex *m = OsCreateMutex();
    ASSERT_NE(m, nullptr);
    OsLockMutex(m);
    OsLockMutex(m);
    EXPECT_EQ(OsTryLockMutex(m), 1);   // the owner may lock again
    OsUnlockMutex(m);
    auto otherThreadGets = [m] {
        std::atomic<int> got{-1};
        std::thread t([&] {
            got = OsTryLockMutex(m);
            if (got) OsUnlockMutex(m);
        });
        t.join();
        return got.load();
    };
    EXPECT_EQ(otherThreadGets(), 0);
    OsUnlockMutex(m);
    EXPECT_EQ(otherThreadGets(), 0);   // still locked once
    OsUnlockMutex(m);
    EXPECT_EQ(otherThreadGets(), 1);
    OsDeleteMutex(m);
    OsDeleteMutex(nullptr);
}

TEST(OsProcess, TempFilesAreCreatedAtomically)
{
    char a[1024], b[1024];
    ASSERT_EQ(OsTempFileName(a, sizeof(a)), 1);
    ASSERT_EQ(OsTempFileName(b, sizeof(b)), 1);
    EXPECT_STRNE(a, b);
    struct stat st;
    EXPECT_EQ(stat(a, &st), 0);   // the file exists already: nobody else can take the name
    EXPECT_EQ(st.st_size, 0);
    unlink(a);
    unlink(b);
    char tiny[8];
    EXPECT_EQ(OsTempFileName(tiny, sizeof(tiny)), 0);
    EXPECT_STREQ(tiny, "");
}

TEST(OsProcess, ExecutableAndBundlePaths)
{
    char exe[1024], bundle[1024];
    ASSERT_EQ(OsGetExecutablePath(0, nullptr, exe, sizeof(exe)), 1);
    EXPECT_EQ(access(exe, X_OK), 0) << exe;
    ASSERT_EQ(OsGetBundlePath(bundle, sizeof(bundle)), 1);
    const char *slash = strrchr(exe, '/');
    ASSERT_NE(slash, nullptr);
    EXPECT_EQ(std::string(bundle), std::string(exe, (size_t)(slash - exe)));
    char small[4];
    EXPECT_EQ(OsGetExecutablePath(0, nullptr, small, sizeof(small)), 0);
    EXPECT_EQ(OsGetBundlePath(small, sizeof(small)), 0);

    char args[16] = "junk";
    OsGetLaunchArgs(0, nullptr, args, sizeof(args));
    EXPECT_STREQ(args, "");
    EXPECT_EQ(OsGetLaunchDocument(), nullptr);
    EXPECT_GT(OsGetPhysicalMemory(), 0u);
}

TEST(OsPaths, FullPathChangeDirAndNativePath)
{
    char cwd[1024], full[1024];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    EXPECT_EQ(OsFullPath("no_such_file_here.txt", full, sizeof(full)), 1);
    EXPECT_EQ(std::string(full), std::string(cwd) + "/no_such_file_here.txt");
    EXPECT_EQ(OsFullPath("/abs/missing", full, sizeof(full)), 1);
    EXPECT_STREQ(full, "/abs/missing");
    char small[4];
    EXPECT_EQ(OsFullPath("/abs/missing", small, sizeof(small)), 0);

    char *previous = OsChangeDir("/");
    ASSERT_NE(previous, nullptr);
    EXPECT_STREQ(previous, cwd);
    char now[1024];
    EXPECT_STREQ(getcwd(now, sizeof(now)), "/");
    char *root = OsChangeDir(previous);
    EXPECT_STREQ(root, "/");
    EXPECT_STREQ(getcwd(now, sizeof(now)), cwd);
    MemFree(root);
    MemFree(previous);

    char *n = OsNativePath("a\\b\\c");
    EXPECT_STREQ(n, "a/b/c");
    MemFree(n);
    n = OsNativePath("caf\xe9");            // Latin-1 e acute
    EXPECT_STREQ(n, "caf\xc3\xa9");
    MemFree(n);
    n = OsNativePath("caf\xc3\xa9");        // already UTF-8: kept
    EXPECT_STREQ(n, "caf\xc3\xa9");
    MemFree(n);
}

TEST(OsPaths, LocksSpeakLatin1)
{
    char tmpl[] = "/tmp/kv_oslock_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    char real[1024];
    ASSERT_NE(realpath(tmpl, real), nullptr);   // locks report real paths
    std::string dir = real;
    FILE *f = fopen((dir + "/caf\xc3\xa9.txt").c_str(), "wb");   // UTF-8 on disk
    ASSERT_NE(f, nullptr);
    fputs("abc", f);
    fclose(f);

    OsLockHandle *lock = OsLock((dir + "/caf\xe9.txt").c_str(), 0);   // Latin-1 from the script
    ASSERT_NE(lock, nullptr);
    OsFileInfo info;
    EXPECT_EQ(OsExamineLock(lock, &info), 0);
    EXPECT_EQ(info.size, 3);
    EXPECT_EQ(info.directory, 0);
    char path[1024];
    ASSERT_EQ(OsLockPath(lock, path, sizeof(path)), 1);
    EXPECT_EQ(std::string(path), dir + "/caf\xe9.txt");
    int isDir = -1;
    EXPECT_EQ(OsCheckDirLock(lock, &isDir), 1250);
    EXPECT_EQ(isDir, 0);
    OsUnLock(lock);

    lock = OsLock(dir.c_str(), 0);
    ASSERT_NE(lock, nullptr);
    const char *name = nullptr;
    ASSERT_EQ(OsExamineNext(lock, &name, &isDir, &info), 1);
    EXPECT_STREQ(name, "caf\xe9.txt");
    EXPECT_EQ(isDir, 0);
    EXPECT_EQ(OsExamineNext(lock, &name, &isDir, &info), 0);   // "." and ".." never come
    OsUnLock(lock);

    EXPECT_EQ(OsLock((dir + "/missing").c_str(), 0), nullptr);
    EXPECT_EQ(OsLock(dir.c_str(), 1), nullptr);   // write locks are refused
    char *previous = OsChangeDir(dir.c_str());
    lock = OsLock("", 0);   // "" is the current directory
    ASSERT_NE(lock, nullptr);
    OsLockPath(lock, path, sizeof(path));
    EXPECT_EQ(std::string(path), dir);
    OsUnLock(lock);
    MemFree(OsChangeDir(previous));
    MemFree(previous);

    EXPECT_EQ(OsDelete((dir + "/caf\xe9.txt").c_str()), 1);
    EXPECT_EQ(OsDelete(dir.c_str()), 1);
    EXPECT_EQ(OsDelete(dir.c_str()), 0);
}

TEST(OsRequester, HeadlessRequestersNeverBlock)
{
    // The tests run with the dummy video driver: no real display.
    ASSERT_EQ(OsHasRealDisplay(), 0);
    EXPECT_EQ(OsRequester("Title", "Body", "Yes|No", OS_REQ_CAUTION), 0);   // as cancelled
    EXPECT_EQ(OsRequester("Title", "Body", nullptr, OS_REQ_STOP), 0);
    OsSetRequesterHook(1, 2);
    EXPECT_EQ(OsRequester("Title", "Body", "A|B|C", OS_REQ_NOTE), 2);
    OsSetRequesterHook(0, 0);
}

TEST(OsStart, InitStartsNoVideoSystem)
{
    ASSERT_EQ(OsInit(), 0);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 0);   // no display: nothing to do
    ASSERT_EQ(OsInitVideo(), 0);                    // the dummy driver
    EXPECT_NE(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(OsHasRealDisplay(), 0);
    for (int i = 0; i < 1000; i++) OsPumpEvents(nullptr, nullptr);
    OsShutdown();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    OsShutdown();   // twice is harmless
}

}  // namespace
