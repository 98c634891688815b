// Snapshots and pointers on a real (dummy-driver) display: drawing through a shaped clip region
// seen in a #SNAPDISPLAY PNG (written to build/previews/gfx_shaped_clip.png for a person to look
// at), window and desktop grabs headless, pointers from a brush without SDL cursors, the freed
// current pointer kept until the next SetPointer, and MovePointer's resolved position.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "gfx/blit.h"
#include "gfx/picload.h"
#include "pictures/brush.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

namespace {

const uint32_t Background = 0x204060, Red = 0xFF0000;
const double NIL = -123456789;

struct DisplayGraphicsTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    DisplayRecord *d = nullptr;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartDisplayInterpreter(&L, &applet));
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenGraphicsLib(L), 0);
        lua_settop(L, 0);
        d = OpenTestDisplay(L, 1, 64, 48, Background);
        ASSERT_FALSE(HasFailure());
        MakeDisplayCurrent(d);
    }
    void TearDown() override
    {
        CloseGraphicsLib(L);
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        lua_close(L);
        FreeRuntime();
    }
    // Calls a command with number and string arguments (NIL = Nil); its code. Results are left
    // on the stack.
    int Call(const char *name, std::initializer_list<double> args, const char *text = nullptr, int results = 0)
    {
        lua_settop(L, 0);
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        if (text) lua_pushstring(L, text);
        for (double v : args) {
            if (v == NIL) lua_pushnil(L);
            else lua_pushnumber(L, v);
        }
        return lua_call(L, (int)args.size() + (text ? 1 : 0), results);
    }
    ObjectId Brush(uint32_t number, int32_t w, int32_t h, Mask *mask)
    {
        ObjectId id = {number, nullptr};
        BitMap *bm = AllocBitMap(w, h);
        RectFillBitMap(bm, 0, 0, w, h, Red);
        EXPECT_EQ(AddBrushNode(&id, BRUSHTYPE_BITMAP, w, h, 0, 0, nullptr, bm, mask ? 0 : -1, mask, nullptr, nullptr),
                  0);
        return id;
    }
};

// A disc of radius r in a (2r) x (2r) mask.
Mask *Disc(int32_t r)
{
    Mask *m = AllocMask(nullptr, 2 * r, 2 * r, 1);
    for (int32_t y = 0; y < 2 * r; y++)
        for (int32_t x = 0; x < 2 * r; x++) {
            int32_t dx = 2 * x + 1 - 2 * r, dy = 2 * y + 1 - 2 * r;
            if (dx * dx + dy * dy <= 4 * r * r) PutMaskRowBit(m->pixels + y * m->bytesPerRow, x, 1);
        }
    return m;
}

TEST_F(DisplayGraphicsTest, DrawingThroughAShapedRegionInADisplaySnapshot)
{
    ObjectId disc = Brush(5, 32, 32, Disc(16));
    ASSERT_EQ(Call("createclipregion", {1, 28, 5, 16, 8}), 0);
    ASSERT_EQ(Call("setclipregion", {1}), 0);
    BitMap *fill = AllocBitMap(64, 48);
    RectFillBitMap(fill, 0, 0, 64, 48, Red);
    SafeBlt(fill, 0, 0, nullptr, 0, 0, 64, 48, 64, 48, 64, 48, SAFEBLT_DISPLAYBITMAP, nullptr, nullptr,
            CurrentPicture->clipRegion);
    FreeBitMap(fill);

    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/gfx_shaped_clip.png";
    ASSERT_EQ(Call("savesnapshot", {1, 1}, path.c_str()), 0);
    uint32_t *pixels = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, LOADALPHA_NONE, &pixels, nullptr, nullptr, nullptr, &w, &h), 0);
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 48);
    auto at = [&](int x, int y) { return pixels[y * 64 + x] & 0xFFFFFF; };
    EXPECT_EQ(at(32, 24), Red);          // the disc's centre
    EXPECT_EQ(at(17, 9), Background);    // the region's corner, outside the disc
    EXPECT_EQ(at(5, 24), Background);    // left of the region
    EXPECT_EQ(at(60, 45), Background);
    MemFree(pixels);
    FreeBrushObject(L, disc, 1);
}

TEST_F(DisplayGraphicsTest, WindowAndDesktopSnapshotsHeadless)
{
    std::string path = std::string(KV_BINARY_DIR) + "/test-gfxlib-window.bmp";
    ASSERT_EQ(Call("savesnapshot", {0, 0}, path.c_str()), 0);
    uint32_t *pixels = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, LOADALPHA_NONE, &pixels, nullptr, nullptr, nullptr, &w, &h), 0);
    EXPECT_EQ(w, 64 + d->borderWidth);
    EXPECT_EQ(h, 48 + d->borderHeight);
    EXPECT_EQ(pixels[(h - 1 - (d->borderHeight - d->borderTop)) * w + d->borderLeft] & 0xFFFFFF, Background);
    MemFree(pixels);

    ASSERT_EQ(Call("savesnapshot", {2, 2, 80}, path.c_str()), 0);
    ASSERT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, LOADALPHA_NONE, &pixels, nullptr, nullptr, nullptr, &w, &h), 0);
    int32_t sw = 0, sh = 0;
    OsGetAttr(nullptr, 14, &sw, nullptr);
    OsGetAttr(nullptr, 15, &sh, nullptr);
    EXPECT_EQ(w, sw);
    EXPECT_EQ(h, sh);
    MemFree(pixels);

    EXPECT_EQ(Call("savesnapshot", {3}, path.c_str()), 1055);
    EXPECT_EQ(Call("savesnapshot", {1, 3}, path.c_str()), 0);   // GIF
    CloseDisplayWindow(d);
    EXPECT_EQ(Call("savesnapshot", {0}, path.c_str()), 1347);
    EXPECT_EQ(Call("savesnapshot", {1}, path.c_str()), 0);   // the display's picture needs no window
}

TEST_F(DisplayGraphicsTest, PointersFromABrushAndFreeingTheCurrentOne)
{
    ObjectId brush = Brush(3, 20, 10, nullptr);
    ASSERT_EQ(Call("createpointer", {1, 3, 3, 100, 100}), 0);   // hot spot beyond the image: clamped
    PointerNode *p;
    ASSERT_EQ(FindPointer(ObjectId{1, nullptr}, &p), 0);
    EXPECT_EQ(p->kind, (uint32_t)STDPTR_CUSTOM);
    EXPECT_EQ(p->width, 20);
    EXPECT_EQ(p->height, 10);
    EXPECT_NE(p->cursor, nullptr);
    EXPECT_EQ(Call("createpointer", {2, 36, 2}), 1055);
    EXPECT_EQ(Call("createpointer", {2, 36, 1}), 0);
    EXPECT_EQ(Call("createpointer", {2, 99, 1}), 1055);   // the failed replacement freed pointer 2
    EXPECT_EQ(Call("createpointer", {3, 3, 77}), 1174);

    ASSERT_EQ(Call("setpointer", {1}), 0);
    EXPECT_EQ(d->pointer, p);
    ASSERT_EQ(Call("freepointer", {1}), 0);
    EXPECT_EQ(d->pointer, p);            // still shown
    EXPECT_TRUE(p->pendingFree);
    EXPECT_EQ(Call("setpointer", {1}), 1320);
    EXPECT_EQ(CountPointers(), 1);
    ASSERT_EQ(Call("createpointer", {4, 36, 0}), 0);
    ASSERT_EQ(Call("setpointer", {4}), 0);
    EXPECT_EQ(CountPointers(), 1);       // the pending pointer went with the next SetPointer

    // MovePointer resolves positions with the pointer's size (16 x 16) against the picture.
    ASSERT_EQ(Call("movepointer", {-100000, -100000}), 0);
    EXPECT_EQ(d->window->mouseX, 24);
    EXPECT_EQ(d->window->mouseY, 16);
    FreeBrushObject(L, brush, 1);
}

// A region active on display 1's picture, freed while display 2 is current: display 1 must not
// keep it (drawing there again reads it; the sanitizer build sees a use after free otherwise).
TEST_F(DisplayGraphicsTest, FreeingARegionWhileAnotherDisplayIsCurrent)
{
    ASSERT_EQ(Call("createclipregion", {1, 14, 4, 4, 8, 8}), 0);
    ASSERT_EQ(Call("setclipregion", {1}), 0);
    lua_newtable(L);
    SetFieldInt(L, "width", 32);
    SetFieldInt(L, "height", 32);
    DisplayRecord *other = nullptr;
    ASSERT_EQ(CreateDisplayCore(L, 2, 0, lua_gettop(L), &other), 0);
    lua_settop(L, 0);
    MakeDisplayCurrent(other);
    ASSERT_EQ(Call("freeclipregion", {1}), 0);
    MakeDisplayCurrent(d);
    EXPECT_EQ(CurrentPicture->clipRegion, nullptr);
    BitMap *fill = AllocBitMap(64, 48);
    RectFillBitMap(fill, 0, 0, 64, 48, Red);
    SafeBlt(fill, 0, 0, nullptr, 0, 0, 64, 48, 64, 48, 64, 48, SAFEBLT_DISPLAYBITMAP, nullptr, nullptr,
            CurrentPicture->clipRegion);
    FreeBitMap(fill);
    EXPECT_EQ(ReadBitMapPixel(d->displayBitMap, 0, 0, 0), Red);
}

TEST_F(DisplayGraphicsTest, GetPenReadsTheCurrentPicturesPalette)
{
    ASSERT_EQ(Call("getpen", {3}, nullptr, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), 4294967295.0);
    uint32_t *palette = (uint32_t *)MemAlloc(256 * 4, 1);
    palette[0] = 0x010203;
    palette[3] = 0x0A0B0C;
    palette[255] = 0xABCDEF;
    CurrentPicture->palette = palette;
    struct {
        double pen;
        uint32_t colour;
    } cases[] = {{3, 0x0A0B0C}, {300, 0xABCDEF}, {-7, 0x010203}};
    for (auto &c : cases) {
        ASSERT_EQ(Call("getpen", {c.pen}, nullptr, 1), 0);
        EXPECT_EQ(lua_tonumber(L, -1), (double)c.colour) << c.pen;
    }
    CurrentPicture->palette = nullptr;
    MemFree(palette);
}

}  // namespace
