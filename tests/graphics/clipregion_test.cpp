// Clip regions through their commands on two BGPics: creation limits and the cut at the
// top-left edge, SetClipRegion's fit check, freeing while another picture is current, deferred
// freeing while a layer clips with a region, a blit under a region larger than its (shrunk)
// picture, and the transformed copies layers clip with.
#include <gtest/gtest.h>

#include <string>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "gfx/bitmap.h"
#include "gfx/blit.h"
#include "pictures/brush.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

const double NIL = -123456789;

// Rows of a mask: '#' set, '.' clear.
std::string MaskRows(const Mask *m, int32_t w, int32_t h)
{
    std::string s;
    for (int32_t y = 0; y < h; y++) {
        for (int32_t x = 0; x < w; x++) s += MaskRowBit(m->pixels + y * m->bytesPerRow, x) ? '#' : '.';
        s += '\n';
    }
    return s;
}

// "x,y wxh" of a region.
std::string Rect(const ClipRegionNode *r)
{
    return std::to_string(r->x) + "," + std::to_string(r->y) + " " + std::to_string(r->width) + "x" +
           std::to_string(r->height);
}

Mask *MaskFrom(const char *rows, int32_t w, int32_t h)
{
    Mask *m = AllocMask(nullptr, w, h, 1);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            if (rows[y * w + x] == '#') PutMaskRowBit(m->pixels + y * m->bytesPerRow, x, 1);
    return m;
}

struct ClipRegionTest : ::testing::Test {
    lua_State *L = nullptr;
    BGPicNode *a = nullptr, *b = nullptr;

    BGPicNode *MakeBGPic(uint32_t number, int32_t size)
    {
        ObjectId id = {number, nullptr};
        BitMap *bm = AllocBitMap(size, size);
        RectFillBitMap(bm, 0, 0, size, size, 0);
        EXPECT_EQ(AddBGPicNode(&id, 0, size, size, 0, nullptr, bm, nullptr, 0xFFFFFFFF, nullptr, nullptr, 0, nullptr),
                  0);
        BGPicNode *n;
        EXPECT_EQ(GetBGPicNode(id, &n, 0), 0);
        return n;
    }
    void SetUp() override
    {
        ASSERT_EQ(InitRuntime(), 0);
        L = lua_open();
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenGraphicsLib(L), 0);
        lua_settop(L, 0);
        a = MakeBGPic(101, 8);
        b = MakeBGPic(102, 16);
        CurrentDisplay = nullptr;
        CurrentPicture = a;
    }
    void TearDown() override
    {
        SetClipRegionLayerLinks(nullptr);
        CloseGraphicsLib(L);
        CurrentPicture = nullptr;
        FreeBGPicNode(a);
        FreeBGPicNode(b);
        lua_close(L);
        FreeRuntime();
    }
    // Calls a command with number arguments (NIL = Nil, a pointer = light userdata); its code.
    int Call(const char *name, std::initializer_list<double> args, void *handle = nullptr)
    {
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        for (double v : args) {
            if (v == NIL) lua_pushnil(L);
            else lua_pushnumber(L, v);
        }
        if (handle) lua_pushlightuserdata(L, handle);
        int code = lua_call(L, (int)args.size() + (handle ? 1 : 0), 0);
        lua_settop(L, 0);
        return code;
    }
    ClipRegionNode *Region(uint32_t n)
    {
        ClipRegionNode *r = nullptr;
        FindClipRegion(ObjectId{n, nullptr}, &r, 0);
        return r;
    }
};

TEST_F(ClipRegionTest, CreationLimitsAndTheTopLeftCut)
{
    struct Case {
        double x, y, w, h;
        int code;
        const char *rect;
    } cases[] = {
        {-20, 0, 100, 10, 0, "0,0 80x10"},          // cut at the left edge
        {3, -5, 4, 6, 0, "3,0 4x1"},                // cut at the top edge
        {-100, 0, 100, 10, 1055, ""},               // wholly left of the picture
        {0, -10, 5, 10, 1055, ""},                  // wholly above
        {0, 0, 0, 5, 1055, ""},                     // no width
        {0, 0, 5, -1, 1055, ""},                    // negative height
        {-100000, -60000, 4, 2, 0, "2,6 4x2"},      // #CENTER, #BOTTOM on the 8 x 8 picture
        {20, 20, 40, 40, 0, "20,20 40x40"},         // right of and below the picture: kept whole
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " " + std::to_string(c.w));
        ASSERT_EQ(Call("createclipregion", {1, 14, c.x, c.y, c.w, c.h}), c.code);
        ClipRegionNode *r = Region(1);
        if (c.code) continue;
        ASSERT_TRUE(r);
        EXPECT_EQ(Rect(r), c.rect);
        EXPECT_EQ(r->mask, nullptr);
    }
    EXPECT_EQ(Call("createclipregion", {2, 99, 0, 0, 4, 4}), 1055);
    EXPECT_EQ(CountClipRegions(), 1);   // each creation replaced region 1
}

TEST_F(ClipRegionTest, ShapedRegionsCopyAndCutTheBrushMask)
{
    ObjectId plain = {7, nullptr}, shaped = {8, nullptr};
    ASSERT_EQ(AddBrushNode(&plain, BRUSHTYPE_BITMAP, 4, 4, 0, 0, nullptr, AllocBitMap(4, 4), -1, nullptr, nullptr,
                           nullptr),
              0);
    ASSERT_EQ(AddBrushNode(&shaped, BRUSHTYPE_BITMAP, 4, 4, 0, 0, nullptr, AllocBitMap(4, 4), 0,
                           MaskFrom("#...""##..""###.""####", 4, 4), nullptr, nullptr),
              0);
    EXPECT_EQ(Call("createclipregion", {1, 28, 7, 0, 0}), 1172);
    EXPECT_EQ(Call("createclipregion", {1, 28, 99, 0, 0}), 1174);
    ASSERT_EQ(Call("createclipregion", {1, 28, 8, -1, -2}), 0);
    ClipRegionNode *r = Region(1);
    ASSERT_TRUE(r && r->mask);
    EXPECT_EQ(r->width, 3);
    EXPECT_EQ(r->height, 2);
    EXPECT_EQ(MaskRows(r->mask, 3, 2), "##.\n###\n");
    // The region owns its copy: freeing the brush leaves it intact.
    ASSERT_EQ(FreeBrushObject(L, shaped, 1), 0);
    EXPECT_EQ(MaskRows(r->mask, 3, 2), "##.\n###\n");
    FreeBrushObject(L, plain, 1);
}

TEST_F(ClipRegionTest, SetClipRegionFitsThePicture)
{
    DisplayRecord d = {};
    d.outputType = OBJTYPE_DISPLAY;
    CurrentDisplay = &d;
    ASSERT_EQ(Call("createclipregion", {1, 14, 0, 0, 8, 8}), 0);
    ASSERT_EQ(Call("createclipregion", {2, 14, 0, 0, 9, 8}), 0);
    ASSERT_EQ(Call("createclipregion", {3, 14, 2, 3, 4, 4}), 0);
    EXPECT_EQ(Call("setclipregion", {1}), 0);
    EXPECT_EQ(Call("setclipregion", {2}), 1225);
    EXPECT_EQ(Call("setclipregion", {3}), 0);
    EXPECT_EQ(a->clipRegion, Region(3));
    EXPECT_EQ(d.cursorX, 2);
    EXPECT_EQ(d.cursorY, 0);
    EXPECT_EQ(d.leftMargin, 2);
    EXPECT_EQ(d.rightMargin, 5);
    EXPECT_EQ(Call("setclipregion", {4}), 1215);
    EXPECT_EQ(Call("setclipregion", {-1}), 0);
    EXPECT_EQ(a->clipRegion, nullptr);
    EXPECT_EQ(d.rightMargin, 7);
    d.outputType = OBJTYPE_MASK;
    EXPECT_EQ(Call("setclipregion", {1}), 1055);
    CurrentDisplay = nullptr;
}

// The region was active on a picture that is not current when it is freed: that picture must
// forget it too (the sanitizer build sees a read of freed memory otherwise).
TEST_F(ClipRegionTest, FreeingForgetsTheRegionOnEveryPicture)
{
    ASSERT_EQ(Call("createclipregion", {1, 14, 1, 1, 4, 4}), 0);
    ASSERT_EQ(Call("setclipregion", {1}), 0);
    CurrentPicture = b;
    ASSERT_EQ(Call("freeclipregion", {1}), 0);
    EXPECT_EQ(a->clipRegion, nullptr);
    EXPECT_EQ(Call("freeclipregion", {1}), 1215);
    CurrentPicture = a;
    BitMap *src = AllocBitMap(8, 8);
    RectFillBitMap(src, 0, 0, 8, 8, 0xFF0000);
    SafeBlt(src, 0, 0, a->bitmap, 0, 0, 8, 8, 8, 8, 8, 8, SAFEBLT_NOPLANES, nullptr, nullptr, a->clipRegion);
    EXPECT_EQ(ReadBitMapPixel(a->bitmap, 0, 0, 0), 0xFF0000u);
    FreeBitMap(src);
}

const ClipRegionNode *ShownRegion = nullptr;

TEST_F(ClipRegionTest, RegionsUsedByALayerAreFreedLater)
{
    ClipRegionLayerLinks links = {[](const ClipRegionNode *r) { return r == ShownRegion ? 1 : 0; }, nullptr};
    SetClipRegionLayerLinks(&links);
    ASSERT_EQ(Call("createclipregion", {1, 14, 0, 0, 4, 4}), 0);
    ShownRegion = Region(1);
    ASSERT_EQ(Call("freeclipregion", {1}), 0);
    EXPECT_EQ(Region(1), nullptr);
    EXPECT_EQ(CountClipRegions(), 1);
    EXPECT_TRUE(ShownRegion->pendingFree);
    EXPECT_EQ(ShownRegion->id.handle, ShownRegion);
    // A pending region can't be freed by its handle either.
    EXPECT_EQ(Call("freeclipregion", {}, (void *)ShownRegion), 1041);
    ASSERT_EQ(Call("createclipregion", {1, 14, 0, 0, 2, 2}), 0);
    EXPECT_EQ(CountClipRegions(), 2);
    FlushClipRegions();
    EXPECT_EQ(CountClipRegions(), 2);
    ShownRegion = nullptr;
    FlushClipRegions();
    EXPECT_EQ(CountClipRegions(), 1);
    EXPECT_EQ(Region(1)->width, 2);
}

// A region made for the picture at its old size stays active when the picture shrinks: blits
// under it must stay inside the picture.
TEST_F(ClipRegionTest, BlitUnderARegionLargerThanItsPictureStaysInside)
{
    ASSERT_EQ(Call("createclipregion", {1, 14, 2, 2, 6, 6}), 0);
    ASSERT_EQ(Call("setclipregion", {1}), 0);
    ASSERT_EQ(ResizeBGPicImages(a, 4, 4, 0), 0);
    ASSERT_EQ(a->bitmap->width, 4);
    RectFillBitMap(a->bitmap, 0, 0, 4, 4, 0);
    BitMap *src = AllocBitMap(8, 8);
    RectFillBitMap(src, 0, 0, 8, 8, 0x00FF00);
    SafeBlt(src, 0, 0, a->bitmap, 0, 0, 8, 8, 8, 8, a->width, a->height, SAFEBLT_NOPLANES, nullptr, nullptr,
            a->clipRegion);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(ReadBitMapPixel(a->bitmap, x, y, 0), (x >= 2 && y >= 2) ? 0x00FF00u : 0u) << x << "," << y;
    FreeBitMap(src);
}

TEST_F(ClipRegionTest, TransformedCopies)
{
    const double twice[4] = {2, 0, 0, 2}, quarter[4] = {0, 1, -1, 0};
    ASSERT_EQ(Call("createclipregion", {1, 14, 3, 4, 5, 6}), 0);
    ClipRegionNode *box = TransformClipRegion(Region(1), 0, 0, twice, nullptr, 0, 0);
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->temporary);
    EXPECT_EQ(box->mask, nullptr);
    EXPECT_EQ(Rect(box), "6,8 10x12");
    MemFree(box);

    // A quarter turn about the region's corner: x' = -y, y' = x.
    ASSERT_EQ(Call("createclipregion", {2, 14, 10, 20, 4, 2}), 0);
    ClipRegionNode *turned = TransformClipRegion(Region(2), 0, 0, quarter, nullptr, 0, 0);
    ASSERT_TRUE(turned && turned->mask);
    EXPECT_EQ(Rect(turned), "9,20 2x4");
    EXPECT_EQ(MaskRows(turned->mask, 2, 4), "##\n##\n##\n##\n");
    FreeClipRegionMask(turned);
    EXPECT_EQ(turned->mask, nullptr);
    MemFree(turned);

    // A shaped region doubled: every mask pixel becomes a 2 x 2 block.
    ObjectId brush = {9, nullptr};
    ASSERT_EQ(AddBrushNode(&brush, BRUSHTYPE_BITMAP, 2, 2, 0, 0, nullptr, AllocBitMap(2, 2), 0,
                           MaskFrom("#..#", 2, 2), nullptr, nullptr),
              0);
    ASSERT_EQ(Call("createclipregion", {3, 28, 9, 1, 1}), 0);
    ClipRegionNode *shape = TransformClipRegion(Region(3), 0, 0, twice, nullptr, 0, 0);
    ASSERT_TRUE(shape && shape->mask);
    EXPECT_EQ(Rect(shape), "1,1 4x4");
    EXPECT_EQ(MaskRows(shape->mask, 4, 4), "##..\n##..\n..##\n..##\n");
    FreeClipRegionMask(shape);
    MemFree(shape);
    FreeBrushObject(L, brush, 1);
}

}  // namespace
