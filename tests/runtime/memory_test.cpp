#include "runtime/memory.h"

#include <gtest/gtest.h>

TEST(MemAlloc, ZeroSizeGivesNone)
{
    EXPECT_EQ(MemAlloc(0, 1), nullptr);
    EXPECT_EQ(MemAlloc(0, 0), nullptr);
}

TEST(MemAlloc, ClearedBlockIsZero)
{
    unsigned char *p = static_cast<unsigned char *>(MemAlloc(64, 1));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; i++) EXPECT_EQ(p[i], 0);
    MemFree(p);
    MemFree(nullptr);
}
