// BGPics on headless displays: rendered pictures, loading with a mask or an alpha channel,
// scaling from the source, pending free across two displays, start-up loading, off-screen
// selections and double buffering. Writes bgpics.png into the build folder.
#include <gtest/gtest.h>

#include <SDL.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/output_select.h"
#include "gfx/blit.h"
#include "pictures/brush.h"
#include "pictures/brush_commands.h"
#include "pictures/display_object.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

namespace {

// A command argument: a number, a string or Nil.
struct Arg {
    int kind;
    double number;
    const char *text;
    Arg(double n) : kind(0), number(n), text(nullptr) {}
    Arg(int n) : kind(0), number(n), text(nullptr) {}
    Arg(uint32_t n) : kind(0), number(n), text(nullptr) {}
    Arg(const char *s) : kind(1), number(0), text(s) {}
    Arg(std::nullptr_t) : kind(2), number(0), text(nullptr) {}
};

int MaskModeForTest = MASKVISIBLE;
int MaskModeTag(lua_State *, uint32_t tag, void *result)
{
    if (tag != RTAG_MASKMODE) return 0;
    *(int *)result = MaskModeForTest;
    return 1;
}

struct BGPicTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartDisplayInterpreter(&L, &applet));
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenBGPicLib(L), 0);
        lua_settop(L, 0);
        // The brush library's rows of the output commands.
        lua_register(L, "selectbrush", SelectBrush);
        lua_register(L, "selectmask", SelectMask);
        lua_register(L, "selectalphachannel", SelectAlphaChannel);
        lua_register(L, "begindoublebuffer", BeginDoubleBuffer);
        lua_register(L, "enddoublebuffer", EndDoubleBuffer);
        lua_register(L, "flip", Flip);
        MaskModeForTest = MASKVISIBLE;
    }
    void TearDown() override
    {
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        while (BrushList) FreeBrushObject(L, BrushList->id, 1);
        lua_close(L);
        FreeRuntime();
        RuntimeSettings.preproc = 0;
    }
    DisplayRecord *Open(uint32_t id, int w, int h, uint32_t colour = 0)
    {
        DisplayRecord *d = OpenTestDisplay(L, id, w, h, colour);
        MakeDisplayCurrent(d);
        return d;
    }
    int Call(const char *name, std::initializer_list<Arg> args)
    {
        std::string lower(name);
        for (char &c : lower) c = (char)tolower(c);
        lua_pushstring(L, lower.c_str());
        lua_gettable(L, LUA_GLOBALSINDEX);
        for (const Arg &a : args) {
            if (a.kind == 0) lua_pushnumber(L, a.number);
            else if (a.kind == 1) lua_pushstring(L, a.text);
            else lua_pushnil(L);
        }
        int code = lua_call(L, (int)args.size(), 0);
        lua_settop(L, 0);
        return code;
    }
    BGPicNode *Find(uint32_t number)
    {
        BGPicNode *b = nullptr;
        return GetBGPicNode({number, nullptr}, &b, 0) == 0 ? b : nullptr;
    }
    BrushNode *MakeBrush(uint32_t number, int w, int h, uint32_t colour, int withAlpha)
    {
        ObjectId id = {number, nullptr};
        EXPECT_EQ(CreateBrushObject(&id, w, h, colour, 0, withAlpha, 0), 0);
        BrushNode *b = nullptr;
        GetBrushNode(id, &b, 0);
        return b;
    }
};

uint32_t Pixel(const BitMap *bm, int x, int y) { return ReadBitMapPixel(bm, x, y, 0) & 0xFFFFFF; }

uint32_t Red(uint32_t c) { return c >> 16 & 0xFF; }
uint32_t Blue(uint32_t c) { return c & 0xFF; }

int MaskBit(const Mask *m, int x, int y) { return MaskRowBit(m->pixels + y * m->bytesPerRow, x); }

std::string TempFile(const char *name) { return std::string(KV_BINARY_DIR) + "/" + name; }

// An 8-bit BMP of w x h from palette indexes (rows top to bottom).
void WriteBMP8(const std::string &path, int w, int h, const uint32_t *palette, int colours, const uint8_t *indexes)
{
    int row = (w + 3) & ~3;
    uint32_t offset = 14 + 40 + 256 * 4, size = offset + row * h;
    std::vector<uint8_t> f;
    auto u16 = [&](uint32_t v) { f.push_back(v & 0xFF); f.push_back(v >> 8 & 0xFF); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    f.push_back('B');
    f.push_back('M');
    u32(size); u32(0); u32(offset);
    u32(40); u32(w); u32(h); u16(1); u16(8); u32(0); u32(row * h); u32(2835); u32(2835); u32(256); u32(0);
    for (int i = 0; i < 256; i++) {
        uint32_t c = i < colours ? palette[i] : 0;
        f.push_back(c & 0xFF); f.push_back(c >> 8 & 0xFF); f.push_back(c >> 16 & 0xFF); f.push_back(0);
    }
    for (int y = h - 1; y >= 0; y--)
        for (int x = 0; x < row; x++) f.push_back(x < w ? indexes[y * w + x] : 0);
    FILE *fp = fopen(path.c_str(), "wb");
    ASSERT_TRUE(fp);
    fwrite(f.data(), 1, f.size(), fp);
    fclose(fp);
}

// ---------------------------------------------------------------------------------------------

TEST_F(BGPicTest, GradientDirectionsAndRainbowOnTheDisplay)
{
    DisplayRecord *d = Open(1, 32, 32);
    ASSERT_EQ(Call("CreateGradientBGPic", {2, 0, 0xFF0000, 0x0000FF, 32, 32, 90}), 0);   // angle ignored
    ASSERT_EQ(Call("CreateGradientBGPic", {3, 1, 0xFF0000, 0x0000FF, 32, 32}), 0);
    ASSERT_EQ(Call("CreateRainbowBGPic", {4, 1, 0xFF0000, 0x0000FF, 32, 32}), 0);

    ASSERT_EQ(Call("DisplayBGPic", {2}), 0);
    BitMap *shown = d->displayBitMap;
    // Type 0: top to bottom, rows even.
    EXPECT_GT(Red(Pixel(shown, 16, 0)), 0xE0u);
    EXPECT_GT(Blue(Pixel(shown, 16, 31)), 0xE0u);
    EXPECT_EQ(Pixel(shown, 0, 10), Pixel(shown, 31, 10));
    ASSERT_EQ(Call("DisplayBGPic", {3}), 0);
    shown = d->displayBitMap;
    EXPECT_GT(Red(Pixel(shown, 0, 16)), 0xE0u);
    EXPECT_GT(Blue(Pixel(shown, 31, 16)), 0xE0u);
    EXPECT_EQ(Pixel(shown, 10, 0), Pixel(shown, 10, 31));

    BGPicNode *g = Find(3), *r = Find(4);
    ASSERT_TRUE(g && r);
    EXPECT_EQ(g->rendered, 1u);
    EXPECT_EQ(memcmp(g->bitmap->pixels, r->bitmap->pixels, (size_t)g->bitmap->bytesPerRow * 32), 0);
}

TEST_F(BGPicTest, CreationErrorsAndDefaultSize)
{
    Open(1, 24, 16);
    EXPECT_EQ(Call("CreateBGPic", {2, 0, 10}), 1055);
    EXPECT_EQ(Call("CreateGradientBGPic", {2, 0, 0, 0xFFFFFF, 0, 10}), 1218);
    EXPECT_EQ(Call("LoadBGPic", {2, "no-such-file.png", 0}), 1045);
    // Without a size a rendered BGPic takes the current picture's.
    ASSERT_EQ(Call("CreateGradientBGPic", {2, 0, 0, 0xFFFFFF}), 0);
    EXPECT_EQ(Find(2)->width, 24);
    EXPECT_EQ(Find(2)->height, 16);
    EXPECT_EQ(Call("CopyBGPic", {2, 2}), 1055);
    EXPECT_EQ(Call("FreeBGPic", {9}), 1177);
}

TEST_F(BGPicTest, LoadsAlphaPNGAndKeyedBMP)
{
    Open(1, 16, 16);
    // 4 x 4 PNG: alpha runs 0, 85, 170, 255 across.
    uint32_t argb[16];
    for (int i = 0; i < 16; i++) argb[i] = (uint32_t)(i % 4 * 85) << 24 | 0x00FF8000;
    std::string png = TempFile("bgpic_alpha.png");
    ASSERT_EQ(OsSavePNG(png.c_str(), argb, 4, 4, 1), 0);
    lua_pushstring(L, "loadbgpic");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushnumber(L, 2);
    lua_pushstring(L, png.c_str());
    lua_newtable(L);
    lua_pushstring(L, "loadalpha");
    lua_pushboolean(L, 1);
    lua_settable(L, -3);
    ASSERT_EQ(lua_call(L, 3, 0), 0);
    BGPicNode *b = Find(2);
    ASSERT_TRUE(b && b->alpha && !b->mask);
    for (int x = 0; x < 4; x++) EXPECT_EQ(b->alpha->pixels[b->alpha->bytesPerRow + x], x * 85) << x;
    EXPECT_EQ(Pixel(b->bitmap, 1, 1), 0xFF8000u);

    // 8-bit BMP whose colour 1 is the key: a mask without those pixels, the file's palette kept.
    uint32_t palette[2] = {0x102030, 0xFF00FF};
    uint8_t idx[16] = {0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    std::string bmp = TempFile("bgpic_key.bmp");
    WriteBMP8(bmp, 4, 4, palette, 2, idx);
    ASSERT_EQ(Call("LoadBGPic", {3, bmp.c_str(), 0xFF00FF}), 0);
    b = Find(3);
    ASSERT_TRUE(b && b->mask && !b->alpha);
    for (int i = 0; i < 16; i++) EXPECT_EQ(MaskBit(b->mask, i % 4, i / 4), idx[i] ? 0 : 1) << i;
    ASSERT_TRUE(b->palette);
    EXPECT_EQ(b->palette[0], 0x102030u);
    EXPECT_EQ(Pixel(b->bitmap, 0, 0), 0x102030u);
}

TEST_F(BGPicTest, ScaleUpAndBackGivesTheSource)
{
    DisplayRecord *d = Open(1, 16, 16);
    ASSERT_EQ(Call("CreateBGPic", {2, 5, 3}), 0);
    BGPicNode *b = Find(2);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) WriteBitMapPixel(b->bitmap, x, y, (uint32_t)(x * 40 << 16 | y * 90), 0);
    ASSERT_EQ(Call("ScaleBGPic", {2, 13, 7, 1}), 0);
    EXPECT_EQ(b->width, 13);
    EXPECT_NE(b->bitmap, b->sourceBitMap);
    ASSERT_EQ(Call("ScaleBGPic", {2, "100%", "100%"}), 0);   // unchanged size: nothing happens
    ASSERT_EQ(Call("ScaleBGPic", {2, 5, 3, 1}), 0);
    ASSERT_EQ(b->width, 5);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) EXPECT_EQ(Pixel(b->bitmap, x, y), (uint32_t)(x * 40 << 16 | y * 90)) << x << y;
    ASSERT_EQ(Call("ScaleBGPic", {2, 10, KEEPASPRAT}), 0);
    EXPECT_EQ(b->height, 6);
    // A shown BGPic keeps its size.
    ASSERT_EQ(Call("DisplayBGPic", {2}), 0);
    EXPECT_EQ(Call("ScaleBGPic", {2, 20, 20}), 1366);
    EXPECT_EQ(d->bgpic, b);
}

TEST_F(BGPicTest, FreedShownBGPicStaysUntilTheDisplaySwitches)
{
    DisplayRecord *d = Open(1, 8, 8);
    ASSERT_EQ(Call("CreateBGPic", {2, 8, 8, 0x00FF00}), 0);
    ASSERT_EQ(Call("CreateBGPic", {3, 8, 8, 0x0000FF}), 0);
    ASSERT_EQ(Call("DisplayBGPic", {2}), 0);
    BGPicNode *shown = d->bgpic;
    int count = CountBGPics();
    ASSERT_EQ(Call("FreeBGPic", {2}), 0);
    EXPECT_EQ(CountBGPics(), count - 1);
    EXPECT_EQ(d->bgpic, shown);
    EXPECT_EQ(Pixel(shown->bitmap, 0, 0), 0x00FF00u);
    EXPECT_EQ(Find(2), nullptr);
    EXPECT_EQ(Call("FreeBGPic", {2}), 1177);
    ASSERT_EQ(Call("CreateBGPic", {2, 4, 4, 0xFF0000}), 0);   // the number is free at once
    EXPECT_NE(Find(2), shown);
    EXPECT_EQ(CountBGPics(), count);
    ASSERT_EQ(Call("DisplayBGPic", {3}), 0);
    for (BGPicNode *b = BGPicList; b; b = b->next) EXPECT_NE(b, shown);
}

// A BGPic freed while display 2 (not current) shows it: display 1 switching pictures must not
// take it away from display 2 (ASan reports a use of freed images otherwise).
TEST_F(BGPicTest, PendingBGPicStaysWhileAnotherDisplayShowsIt)
{
    ASSERT_EQ(Call("CreateBGPic", {5, 8, 8, 0x123456}), 0);
    ASSERT_EQ(Call("CreateBGPic", {6, 8, 8, 0x654321}), 0);
    ASSERT_EQ(Call("CreateBGPic", {7, 8, 8, 0x111111}), 0);
    DisplayRecord *d2 = Open(2, 8, 8);
    ASSERT_EQ(Call("DisplayBGPic", {5}), 0);
    DisplayRecord *d1 = Open(1, 8, 8);
    BGPicNode *five = d2->bgpic;
    EXPECT_EQ(Call("SelectBGPic", {5, 0}), 1377);   // another display shows it
    ASSERT_EQ(Call("FreeBGPic", {5}), 0);
    EXPECT_EQ(five->pendingFree, 1u);
    ASSERT_EQ(Call("DisplayBGPic", {6}), 0);   // display 1 changes: flushes pending BGPics
    bool listed = false;
    for (BGPicNode *b = BGPicList; b; b = b->next) listed |= b == five;
    ASSERT_TRUE(listed);
    EXPECT_EQ(Pixel(five->bitmap, 3, 3), 0x123456u);
    RefreshDisplay(d2, 0);
    // Display 2 moves on: now it goes.
    ASSERT_EQ(Call("SelectDisplay", {2}), 0);
    ASSERT_EQ(Call("DisplayBGPic", {7}), 0);
    for (BGPicNode *b = BGPicList; b; b = b->next) EXPECT_NE(b, five);
    EXPECT_EQ(d1->bgpic, Find(6));
}

TEST_F(BGPicTest, StartUpLoadKeepsRawPixelsUntilConvert)
{
    uint32_t argb[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    std::string png = TempFile("bgpic_startup.png");
    ASSERT_EQ(OsSavePNG(png.c_str(), argb, 2, 2, 0), 0);
    RuntimeSettings.preproc = 1;
    ASSERT_EQ(Call("LoadBGPic", {7, png.c_str(), 0x00FF00}), 0);
    RuntimeSettings.preproc = 0;
    BGPicNode *b = nullptr;
    ASSERT_EQ(GetBGPicNode({7, nullptr}, &b, 0), 0);
    EXPECT_TRUE(b->rawPixels);
    EXPECT_EQ(b->bitmap, nullptr);
    ASSERT_EQ(ConvertPendingRawBGPics(), 0);
    EXPECT_EQ(b->rawPixels, nullptr);
    ASSERT_TRUE(b->bitmap && b->mask);
    EXPECT_EQ(b->shownBitMap, b->bitmap);
    EXPECT_EQ(Pixel(b->bitmap, 1, 1), 0xFFFFFFu);
    EXPECT_EQ(MaskBit(b->mask, 1, 0), 0);
    EXPECT_EQ(MaskBit(b->mask, 0, 0), 1);

    // An alpha channel loaded in start-up mode survives the conversion.
    uint32_t argb2[4] = {0x00FF0000, 0x40FF0000, 0x80FF0000, 0xFFFF0000};
    ASSERT_EQ(OsSavePNG(png.c_str(), argb2, 2, 2, 1), 0);
    RuntimeSettings.preproc = 1;
    lua_pushstring(L, "loadbgpic");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushnumber(L, 8);
    lua_pushstring(L, png.c_str());
    lua_newtable(L);
    SetFieldInt(L, "loadalpha", 1);
    ASSERT_EQ(lua_call(L, 3, 0), 0);
    RuntimeSettings.preproc = 0;
    ASSERT_EQ(ConvertPendingRawBGPics(), 0);
    b = Find(8);
    ASSERT_TRUE(b && b->bitmap && b->alpha);
    EXPECT_EQ(b->alpha->pixels[b->alpha->bytesPerRow + 1], 0xFF);
    EXPECT_EQ(b->alpha->pixels[1], 0x40);
}

TEST_F(BGPicTest, CopyIsDeepAndKeepsTheScaledSets)
{
    Open(1, 8, 8);
    ASSERT_EQ(Call("CreateBGPic", {2, 4, 4, 0xABCDEF}), 0);
    ASSERT_EQ(Call("ScaleBGPic", {2, 8, 6}), 0);
    ASSERT_EQ(Call("CopyBGPic", {2, 3}), 0);
    BGPicNode *a = Find(2), *c = Find(3);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->width, 8);
    EXPECT_EQ(c->sourceWidth, 4);
    EXPECT_NE(c->bitmap, a->bitmap);
    EXPECT_NE(c->bitmap, c->sourceBitMap);
    EXPECT_EQ(c->shownBitMap, c->bitmap);
    ASSERT_EQ(Call("FreeBGPic", {2}), 0);
    EXPECT_EQ(Pixel(c->bitmap, 7, 5), 0xABCDEFu);
}

// ---------------------------------------------------------------------------------------------
// Off-screen output

TEST_F(BGPicTest, SelectMaskMakesAVisibleMaskAndDropsTheAlpha)
{
    DisplayRecord *d = Open(1, 16, 16);
    BrushNode *brush = MakeBrush(1, 8, 8, 0x00FF00, 1);
    ASSERT_TRUE(brush && brush->alpha && !brush->mask);
    ASSERT_EQ(Call("SelectMask", {1}), 0);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_MASK);
    EXPECT_EQ(Call("SelectMask", {1}), 0);   // the same target again: nothing happens
    ASSERT_EQ(AddGetTagHandler(MaskModeTag), 0);
    MaskModeForTest = MASKINVISIBLE;
    // DisplayBrush of a 3 x 2 brush at (2, 4) into the selected mask.
    MakeBrush(2, 3, 2, 0xFF0000, 0);
    ASSERT_EQ(DisplayBrushAt(L, {2, nullptr}, 2, 4), 0);
    MaskModeForTest = MASKVISIBLE;
    ASSERT_EQ(Call("EndSelect", {}), 0);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_DISPLAY);
    EXPECT_EQ(CurrentPicture, d->bgpic);
    ASSERT_TRUE(brush->mask);
    EXPECT_EQ(brush->alpha, nullptr);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            bool drawn = x >= 2 && x < 5 && y >= 4 && y < 6;
            EXPECT_EQ(MaskBit(brush->mask, x, y), drawn ? 0 : 1) << x << "," << y;
        }
    EXPECT_EQ(Pixel(brush->bitmap, 3, 4), 0x00FF00u);   // the colour plane was not drawn into
}

TEST_F(BGPicTest, SelectionErrors)
{
    DisplayRecord *d = Open(1, 16, 16);
    MakeBrush(1, 4, 4, 0, 0);
    ASSERT_EQ(Call("CreateGradientBGPic", {2, 0, 0, 0xFFFFFF, 8, 8}), 0);
    ASSERT_EQ(Call("CreateBGPic", {3, 8, 8}), 0);
    ASSERT_EQ(Call("CreateBGPic", {4, 8, 8}), 0);
    EXPECT_EQ(Call("SelectBGPic", {2, 0}), 1390);
    ASSERT_EQ(Call("DisplayBGPic", {4}), 0);
    EXPECT_EQ(Call("SelectBGPic", {nullptr, 0}), 1377);
    EXPECT_EQ(Call("SelectBGPic", {3}), 1078);   // layers off
    EXPECT_EQ(Call("SelectMask", {1, OBJTYPE_ANIM}), 1014);
    EXPECT_EQ(Call("EndSelect", {}), 0);
    ASSERT_EQ(Call("SelectBGPic", {3, 1}), 0);
    EXPECT_EQ(Call("FreeBGPic", {3}), 1378);
    EXPECT_EQ(Call("ScaleBGPic", {3, 4, 4}), 1378);
    EXPECT_EQ(Call("BeginDoubleBuffer", {}), 1082);
    ASSERT_EQ(Call("SelectBrush", {1}), 0);   // ends the BGPic selection first
    EXPECT_EQ(Call("FreeBGPic", {3}), 0);
    EXPECT_EQ(FreeBrushObject(L, {1, nullptr}, 1), 1149);
    ASSERT_EQ(Call("EndSelect", {}), 0);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_DISPLAY);
}

TEST_F(BGPicTest, SelectBGPicWithLayersKeepsThemOn)
{
    DisplayRecord *other = Open(2, 8, 8);
    ASSERT_EQ(Call("CreateBGPic", {3, 8, 8}), 0);
    ASSERT_EQ(Call("DisplayBGPic", {3}), 0);
    DisplayRecord *d = Open(1, 16, 16);
    d->layersEnabled = 1;
    ASSERT_EQ(Call("CreateBGPic", {4, 8, 8}), 0);
    EXPECT_EQ(Call("SelectBGPic", {3}), 1367);   // display 2 shows it
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_DISPLAY);
    ASSERT_EQ(Call("SelectBGPic", {nullptr}), 0);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_BGPIC);
    EXPECT_EQ(CurrentPicture, d->bgpic);
    EXPECT_EQ(d->layersEnabled, 1u);
    ASSERT_EQ(Call("SelectBGPic", {nullptr}), 0);   // already the target
    EXPECT_EQ(Call("BeginDoubleBuffer", {}), 1056);
    // Another BGPic: the running selection ends first.
    ASSERT_EQ(Call("SelectBGPic", {4}), 0);
    EXPECT_EQ(CurrentPicture, Find(4));
    ASSERT_EQ(Call("EndSelect", {}), 0);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_DISPLAY);
    EXPECT_EQ(CurrentPicture, d->bgpic);
    EXPECT_EQ(d->layersEnabled, 1u);
    EXPECT_EQ(other->outputType, (uint32_t)OBJTYPE_DISPLAY);
}

TEST_F(BGPicTest, DrawingIntoAScaledBGPicRescalesItAtEndSelect)
{
    DisplayRecord *d = Open(1, 16, 16);
    ASSERT_EQ(Call("CreateBGPic", {2, 4, 4, 0x000000}), 0);
    ASSERT_EQ(Call("ScaleBGPic", {2, 8, 8}), 0);
    BGPicNode *b = Find(2);
    ASSERT_EQ(Call("SelectBGPic", {2, 0}), 0);
    BitMap *dst;
    ASSERT_EQ(GetOutputBitmap(d, &dst), 0);
    ASSERT_EQ(dst, b->sourceBitMap);
    RectFillBitMap(dst, 0, 0, 2, 4, 0xFF0000);   // the left half
    EXPECT_EQ(Pixel(b->bitmap, 1, 1), 0u);
    ASSERT_EQ(Call("EndSelect", {}), 0);
    EXPECT_EQ(b->width, 8);
    EXPECT_EQ(Pixel(b->bitmap, 3, 7), 0xFF0000u);
    EXPECT_EQ(Pixel(b->bitmap, 4, 0), 0u);
    EXPECT_EQ(b->shownBitMap, b->bitmap);
}

TEST_F(BGPicTest, DoubleBufferFlipAndSelectionInside)
{
    DisplayRecord *d = Open(1, 16, 8, 0x0000FF);
    MakeBrush(1, 4, 4, 0xFFFFFF, 0);
    EXPECT_EQ(Call("Flip", {}), 1244);
    EXPECT_EQ(Call("EndDoubleBuffer", {}), 1244);
    ASSERT_EQ(Call("BeginDoubleBuffer", {}), 0);
    EXPECT_EQ(Call("BeginDoubleBuffer", {}), 1229);
    EXPECT_EQ(Call("EndSelect", {}), 1055);
    BitMap *drawing = d->outputBitMap;
    ASSERT_TRUE(drawing);
    EXPECT_EQ(Pixel(drawing, 0, 0), 0u);   // starts black
    RectFillBitMap(drawing, 0, 0, 16, 8, 0xFF0000);

    // A selection inside the double buffer ends back in it.
    ASSERT_EQ(Call("SelectBrush", {1}), 0);
    EXPECT_EQ(d->doubleBuffer, 0u);
    EXPECT_EQ(CurrentPicture, d->selection);
    ASSERT_EQ(Call("EndSelect", {}), 0);
    EXPECT_EQ(d->doubleBuffer, 1u);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_BRUSH);
    EXPECT_EQ(d->outputBitMap, drawing);
    EXPECT_EQ(CurrentPicture, d->doubleBufferPicture);

    ASSERT_EQ(FlipDisplay(d), 0);
    EXPECT_EQ(Pixel(d->frontBuffer, 15, 7), 0xFF0000u);
    SDL_Surface *s = SDL_GetWindowSurface(d->window->window);
    ASSERT_TRUE(s);
    uint32_t v = 0;
    memcpy(&v, (uint8_t *)s->pixels + 3 * s->pitch + 5 * s->format->BytesPerPixel, s->format->BytesPerPixel);
    uint8_t r, g, bl;
    SDL_GetRGB(v, s->format, &r, &g, &bl);
    EXPECT_EQ(r, 0xFF);
    EXPECT_EQ(bl, 0);
    ASSERT_EQ(Call("EndDoubleBuffer", {}), 0);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_DISPLAY);
    EXPECT_EQ(CurrentPicture, d->bgpic);
    EXPECT_EQ(Pixel(d->displayBitMap, 8, 4), 0xFF0000u);
    EXPECT_EQ(d->frontBuffer, nullptr);
}

TEST_F(BGPicTest, WritesThePreviewOfRenderedBGPics)
{
    Open(1, 64, 64);
    BrushNode *tile = MakeBrush(1, 8, 8, 0xFFFF00, 0);
    RectFillBitMap(tile->bitmap, 0, 0, 4, 4, 0x800080);
    RectFillBitMap(tile->bitmap, 4, 4, 4, 4, 0x008080);
    const int angles[4] = {0, 45, 90, 225};
    for (int i = 0; i < 4; i++) ASSERT_EQ(Call("CreateGradientBGPic", {10 + i, 2, 0xFF4000, 0x0040FF, 64, 64, angles[i]}), 0);
    ASSERT_EQ(Call("CreateTexturedBGPic", {14, 1, 64, 64, 2, 3}), 0);
    BGPicNode *t = Find(14);
    ASSERT_TRUE(t);
    EXPECT_EQ(Pixel(t->bitmap, 0, 0), Pixel(tile->bitmap, 2, 3));
    // Freeing the brush leaves the texture's own copy.
    ASSERT_EQ(FreeBrushObject(L, {1, nullptr}, 1), 0);
    ASSERT_EQ(Call("ScaleBGPic", {14, 32, 32}), 0);
    ASSERT_EQ(Call("ScaleBGPic", {14, 64, 64}), 0);

    std::vector<uint32_t> sheet(5 * 66 * 64, 0xFF000000);
    for (int i = 0; i < 5; i++) {
        BGPicNode *b = Find(10 + i);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) sheet[y * 5 * 66 + i * 66 + x] = 0xFF000000 | Pixel(b->bitmap, x, y);
    }
    std::string path = TempFile("bgpics.png");
    EXPECT_EQ(OsSavePNG(path.c_str(), sheet.data(), 5 * 66, 64, 0), 0);
}

}  // namespace
