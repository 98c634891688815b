// Allocation failures in the brush code: a failing allocation gives 1000 and leaves the brush as
// it was (SetBrushTransparency keeps its old mask), and nothing stays allocated.
//
// This program brings its own MemAlloc/MemFree (the library's are then not linked in), which
// fail the n-th allocation on request and count what is still allocated.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pictures/brush.h"
#include "pictures/brush_commands.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"

namespace {
long gFailAt = -1;  // allocation number that fails (-1: none)
long gCount = 0;    // allocations since arming
long gLive = 0;     // blocks allocated and not yet freed
}  // namespace

void *MemAlloc(size_t size, int clear)
{
    if (size == 0) return nullptr;
    if (gFailAt >= 0 && gCount++ == gFailAt) return nullptr;
    void *p = clear ? calloc(1, size) : malloc(size);
    if (p) gLive++;
    return p;
}

void MemFree(void *block)
{
    if (!block) return;
    gLive--;
    free(block);
}

namespace {

void Arm(long n)
{
    gCount = 0;
    gFailAt = n;
}

TEST(BrushAllocFail, SetBrushTransparencyKeepsTheOldMaskOnFailure)
{
    lua_State *L = lua_open();
    ObjectId id = {1, nullptr};
    ASSERT_EQ(CreateBrushObject(&id, 9, 3, 0x00FF00, 1, 0, 0), 0);
    BrushNode *b;
    ASSERT_EQ(GetBrushNode(id, &b, 0), 0);
    Mask *old = b->mask;
    for (long n = 0;; n++) {
        lua_settop(L, 0);
        lua_pushnumber(L, 1);
        lua_pushnumber(L, 0x00FF00);
        Arm(n);
        int code = SetBrushTransparency(L);
        Arm(-1);
        if (code == 0) {
            EXPECT_NE(b->mask, nullptr);
            EXPECT_EQ(b->transparentColor, 0x00FF00);
            EXPECT_EQ(ReadBitMapPixel(b->mask, 0, 0, 1), 0u);   // the key colour is invisible now
            break;
        }
        ASSERT_EQ(code, 1000) << n;
        EXPECT_EQ(b->mask, old) << n;   // the brush is as it was
        EXPECT_EQ(ReadBitMapPixel(b->mask, 0, 0, 1), 1u);
        ASSERT_LT(n, 10);
    }
    FreeAllBrushes(L);
    lua_close(L);
    EXPECT_EQ(gLive, 0);
}

TEST(BrushAllocFail, CreateBrushLeavesNothingBehind)
{
    for (long n = 0;; n++) {
        ObjectId id = {2, nullptr};
        Arm(n);
        int code = CreateBrushObject(&id, 20, 5, 0, 0, 1, 0);
        Arm(-1);
        if (code == 0) break;
        ASSERT_EQ(code, 1000) << n;
        EXPECT_EQ(CountBrushes(), 0);
        EXPECT_EQ(gLive, 0) << n;
        ASSERT_LT(n, 10);
    }
    EXPECT_EQ(CountBrushes(), 1);
    FreeAllBrushes(nullptr);
    EXPECT_EQ(gLive, 0);
}

}  // namespace
