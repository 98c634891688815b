// Shared libraries opened on demand: every routine or none.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/os.h"

namespace {

struct Routines {
    size_t (*strlen)(const char *);
    void *(*memchr)(const void *, int, size_t);
};

TEST(OpenLibrary, ResolvesEveryRoutineOrNone) {
    static const char *const found[] = {"strlen", "memchr", nullptr};
    static const char *const oneMissing[] = {"strlen", "kv_no_such_routine", nullptr};
    static const char *const tooFew[] = {"strlen", nullptr};
    struct Case {
        const char *library;
        const char *const *names;
        int result;
    } cases[] = {
            {"libc.so.6", found, 0},
            {"libc.so.6", oneMissing, 1},
            {"libc.so.6", tooFew, 1},   // the names do not fill the struct
            {"libkv-no-such-library.so.1", found, 1},
            {nullptr, found, 1},
    };
    for (const Case &c : cases) {
        Routines r;
        memset(&r, 0xAB, sizeof r);
        ASSERT_EQ(OsOpenLibrary(c.library, c.names, &r, sizeof r), c.result) << (c.library ? c.library : "none");
        EXPECT_EQ(r.strlen != nullptr, c.result == 0);
        EXPECT_EQ(r.memchr != nullptr, c.result == 0);
    }
    Routines r;
    ASSERT_EQ(OsOpenLibrary("libc.so.6", found, &r, sizeof r), 0);
    EXPECT_EQ(r.strlen("four"), 4u);
    const char text[] = "abc";
    EXPECT_EQ(r.memchr(text, 'c', 3), text + 2);
}

}  // namespace
