// Displays with real windows under the dummy video driver (one 1024 x 768 screen): placement,
// the window pixels of colour, gradient and scaled displays, proportional strips, the start-up
// display modes and freeing displays with handlers. Writes build/previews/display_autoscale.png.
#include <gtest/gtest.h>

#include <SDL.h>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "display/bgpic.h"
#include "display/display.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

namespace {

struct WindowTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartDisplayInterpreter(&L, &applet));
    }
    void TearDown() override
    {
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        lua_close(L);
        FreeRuntime();
        OsSetRequesterHook(0, 0);
    }
    // CreateDisplay(id, {key = value, ...}) with integer values; opens and selects it.
    DisplayRecord *Make(uint32_t id, std::initializer_list<std::pair<const char *, int>> options, bool open = true)
    {
        lua_newtable(L);
        for (auto &o : options) SetFieldInt(L, o.first, o.second);
        DisplayRecord *d = nullptr;
        EXPECT_EQ(CreateDisplayCore(L, id, 0, lua_gettop(L), &d), 0);
        lua_settop(L, 0);
        if (d && open) {
            EXPECT_EQ(OpenWindowForDisplay(L, d, 1), 0);
            MakeDisplayCurrent(d);
        }
        return d;
    }
    // Calls a display command with integer arguments; returns its code.
    int Command(const char *name, std::initializer_list<int> args)
    {
        lua_pushstring(L, name);
        lua_gettable(L, LUA_GLOBALSINDEX);
        for (int a : args) lua_pushnumber(L, a);
        int code = lua_call(L, (int)args.size(), 0);
        lua_settop(L, 0);
        return code;
    }
};

// 0xRRGGBB of a window's surface pixel.
uint32_t WindowPixel(DisplayRecord *d, int x, int y)
{
    SDL_Surface *s = SDL_GetWindowSurface(d->window->window);
    if (!s || x < 0 || y < 0 || x >= s->w || y >= s->h) return 0xDEAD;
    uint32_t v = 0;
    memcpy(&v, (uint8_t *)s->pixels + y * s->pitch + x * s->format->BytesPerPixel, s->format->BytesPerPixel);
    uint8_t r, g, b;
    SDL_GetRGB(v, s->format, &r, &g, &b);
    return (uint32_t)r << 16 | g << 8 | b;
}

TEST_F(WindowTest, PlacementOnTheScreen)
{
    DisplayRecord *d = Make(1, {});
    EXPECT_EQ(d->x, 192);
    EXPECT_EQ(d->y, 144);
    EXPECT_EQ(d->window->x, 192);

    DisplayRecord *e = Make(2, {{"x", POS_CENTER - 10}, {"y", POS_BOTTOM}, {"width", 100}, {"height", 50}});
    EXPECT_EQ(e->x, 1024 / 2 - 50 - 10);
    EXPECT_EQ(e->y, 768 - 50);

    // A closed display keeps a moved position as given; it is used when the window opens.
    DisplayRecord *f = Make(3, {{"width", 64}, {"height", 32}}, false);
    ASSERT_EQ(Command("selectdisplay", {3, 1}), 0);
    ASSERT_EQ(Command("movedisplay", {POS_RIGHT, 40}), 0);
    EXPECT_EQ(f->x, POS_RIGHT);
    ASSERT_EQ(Command("opendisplay", {3}), 0);
    EXPECT_EQ(f->x, 1024 - 64);
    EXPECT_EQ(f->y, 40);
    EXPECT_EQ(f->window->x, 1024 - 64);
    // Open, a move goes to the window at once.
    ASSERT_EQ(Command("movedisplay", {POS_CENTER, 7}), 0);
    EXPECT_EQ(f->window->x, 480);
    EXPECT_EQ(f->window->y, 7);
}

TEST_F(WindowTest, ColourGradientAndScaledPixels)
{
    DisplayRecord *c = Make(1, {{"width", 40}, {"height", 30}, {"color", 0x336699}});
    EXPECT_EQ(WindowPixel(c, 0, 0), 0x336699u);
    EXPECT_EQ(WindowPixel(c, 39, 29), 0x336699u);

    DisplayRecord *g = Make(2, {{"width", 40}, {"height", 64}, {"fillstyle", 2}, {"gradientstartcolor", 0xFF0000},
                                {"gradientendcolor", 0x0000FF}});
    uint32_t top = WindowPixel(g, 20, 0), bottom = WindowPixel(g, 20, 63);
    EXPECT_GT(top >> 16, 0xE0u);
    EXPECT_LT(top & 0xFF, 0x20u);
    EXPECT_LT(bottom >> 16, 0x20u);
    EXPECT_GT(bottom & 0xFF, 0xE0u);

    // Twice the size, nearest: every picture pixel becomes a 2 x 2 block.
    DisplayRecord *s = Make(3, {{"width", 40}, {"height", 64}, {"fillstyle", 2}, {"gradientstartcolor", 0xFF0000},
                                {"gradientendcolor", 0x0000FF}, {"scalemode", 1}, {"scalewidth", 80},
                                {"scaleheight", 128}});
    EXPECT_EQ(s->width, 80);
    EXPECT_EQ(s->bgpic->width, 40);
    EXPECT_DOUBLE_EQ(s->scaleX, 2.0);
    for (int y = 0; y < 64; y += 9) {
        uint32_t want = ReadBitMapPixel(s->bgpic->bitmap, 20, y, 0);
        EXPECT_EQ(WindowPixel(s, 40, 2 * y), want) << y;
        EXPECT_EQ(WindowPixel(s, 41, 2 * y + 1), want) << y;
    }
}

TEST_F(WindowTest, KeepProportionsLeavesBlackStrips)
{
    DisplayRecord *d = Make(1, {{"color", 0x00FF00}, {"scalemode", 1}, {"scalewidth", 640}, {"scaleheight", 480},
                                {"keepproportions", 1}});
    // The user made the window 1000 x 600: the picture is fitted into it.
    OsSizeWindow(d->window, 1000, 600);
    ASSERT_EQ(OpenDisplayWindow(L, d, 0, 0, 1000, 600, 0, 0, 0), 0);
    EXPECT_EQ(d->width, 1000);
    EXPECT_EQ(d->scaleWidth, 800);
    EXPECT_EQ(d->scaleHeight, 600);
    EXPECT_EQ(d->stripLeft, 100);
    EXPECT_EQ(d->stripRight, 100);
    EXPECT_EQ(WindowPixel(d, 50, 300), 0u);
    EXPECT_EQ(WindowPixel(d, 950, 300), 0u);
    EXPECT_EQ(WindowPixel(d, 500, 300), 0x00FF00u);
    EXPECT_EQ(WindowPixel(d, 101, 0), 0x00FF00u);
}

TEST_F(WindowTest, AutoscalePreview)
{
    DisplayRecord *d = Make(1, {{"width", 160}, {"height", 90}, {"fillstyle", 2}, {"gradientstartcolor", 0xFFCC00},
                                {"gradientendcolor", 0x3300AA}, {"gradientangle", 30}, {"scalemode", 1},
                                {"smoothscale", 1}, {"scalewidth", 480}, {"scaleheight", 270}});
    SDL_Surface *s = SDL_GetWindowSurface(d->window->window);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->w, 480);
    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    uint32_t *words = (uint32_t *)MemAlloc((size_t)480 * 270 * 4, 0);
    for (int y = 0; y < 270; y++)
        for (int x = 0; x < 480; x++) words[y * 480 + x] = WindowPixel(d, x, y);
    EXPECT_EQ(OsSavePNG((dir + "/display_autoscale.png").c_str(), words, 480, 270, 0), 0);
    EXPECT_EQ(OsSavePNG((std::string(KV_BINARY_DIR) + "/display_autoscale.png").c_str(), words, 480, 270, 0), 0);
    MemFree(words);
    // Smooth scaling blends neighbours: a pixel between two source pixels is no copy of either.
    EXPECT_NE(WindowPixel(d, 0, 0), 0xDEADu);
}

TEST_F(WindowTest, StartUpDisplayModeThreeAsksTheUser)
{
    applet.displayMode = 3;
    Make(1, {}, false);
    OsSetRequesterHook(1, 0);   // nobody answers: windowed
    ASSERT_EQ(OpenInitialDisplay(L, ""), 0);
    EXPECT_EQ(ScreenModeSwitched, 0);
    EXPECT_EQ(CurrentDisplay->state, (uint32_t)DISPSTATE_OPEN);
    EXPECT_FALSE(CurrentDisplay->flags & DISPF_BORDERLESS);
    FreeAllDisplays(L);
    FreeAllBGPics(L);

    lua_pushvalue(L, LUA_GLOBALSINDEX);
    ASSERT_EQ(OpenDisplayLib(L), 0);
    lua_settop(L, 0);
    Make(1, {}, false);
    OsSetRequesterHook(1, 1);   // "Full screen"
    ASSERT_EQ(OpenInitialDisplay(L, ""), 0);
    EXPECT_EQ(ScreenModeSwitched, 1);
    EXPECT_TRUE(CurrentDisplay->flags & DISPF_BORDERLESS);
    EXPECT_TRUE(CurrentDisplay->flags & DISPF_FIXED);
}

TEST_F(WindowTest, FreeingADisplayReleasesItsHandlerReferences)
{
    DisplayRecord *d = Make(2, {}, false);
    int refs[3];
    for (int i = 0; i < 3; i++) {
        lua_newtable(L);
        refs[i] = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    d->handlers[SLOT_CLOSEWINDOW].function = refs[0];
    d->handlers[SLOT_CLOSEWINDOW].userdata = refs[1];
    d->handlers[SLOT_ONDROPFILE].function = refs[2];
    ASSERT_EQ(OpenWindowForDisplay(L, d, 0), 0);
    EXPECT_TRUE(d->window->dropTarget);
    ASSERT_EQ(Command("freedisplay", {2}), 0);
    // The three references are free again: new ones reuse them.
    for (int i = 0; i < 3; i++) {
        lua_newtable(L);
        int r = luaL_ref(L, LUA_REGISTRYINDEX);
        EXPECT_TRUE(r == refs[0] || r == refs[1] || r == refs[2]) << r;
    }
}

TEST_F(WindowTest, DefaultRegionsPercentageScaleAndSharedBGPic)
{
    DisplayRecord *d = Make(1, {{"width", 200}, {"height", 100}});
    EXPECT_EQ(d->dragRegionCount, 1);
    EXPECT_EQ(d->dragRegions[0].width, 200);
    EXPECT_EQ(d->dragRegions[0].height, 15);
    EXPECT_EQ(d->sizeRegions[0].x, 190);
    EXPECT_EQ(d->sizeRegions[0].y, 90);

    // A given region wider than the display is cut to it.
    lua_newtable(L);
    SetFieldInt(L, "width", 50);
    SetFieldInt(L, "height", 40);
    lua_pushstring(L, "dragregion");
    lua_newtable(L);
    lua_newtable(L);
    SetFieldInt(L, "x", 10);
    SetFieldInt(L, "y", 0);
    SetFieldInt(L, "width", 500);
    SetFieldInt(L, "height", 5);
    lua_rawseti(L, -2, 0);
    lua_settable(L, -3);
    DisplayRecord *r = nullptr;
    ASSERT_EQ(CreateDisplayCore(L, 2, 0, 1, &r), 0);
    lua_settop(L, 0);
    ASSERT_EQ(OpenWindowForDisplay(L, r, 0), 0);
    EXPECT_EQ(r->dragRegions[0].width, 40);
    EXPECT_EQ(r->dragRegionsUnscaled[0].width, 500);

    DisplayRecord *p = Make(3, {{"scalemode", 1}, {"scalewidth", -50}}, false);
    EXPECT_EQ(p->scaleWidth, 320);
    EXPECT_EQ(p->scaleHeight, 480);

    // A BGPic shown by one display cannot be given to another.
    ObjectId id = {5, nullptr};
    ASSERT_EQ(AddBGPicNode(&id, 0, 32, 16, 32, nullptr, AllocBitMap(32, 16), nullptr, 0xFFFFFFFF, nullptr, nullptr, 0,
                           nullptr), 0);
    DisplayRecord *b = Make(4, {{"bgpic", 5}}, false);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 32);
    lua_newtable(L);
    SetFieldInt(L, "bgpic", 5);
    DisplayRecord *other = nullptr;
    EXPECT_EQ(CreateDisplayCore(L, 6, 0, 1, &other), 1345);
    lua_settop(L, 0);
    FreeAllDisplays(L);
    FreeAllBGPics(L);
    while (BGPicList) FreeBGPicNode(BGPicList);
}

TEST_F(WindowTest, SetDisplayAttributesResizesScalesAndReopens)
{
    DisplayRecord *d = Make(1, {{"width", 100}, {"height", 60}, {"color", 0x808080}});
    auto Apply = [&](std::initializer_list<std::pair<const char *, int>> options) {
        lua_newtable(L);
        for (auto &o : options) SetFieldInt(L, o.first, o.second);
        int code = SetDisplayAttributesCore(L, lua_gettop(L), d, 0);
        lua_settop(L, 0);
        return code;
    };
    SDL_Window *first = d->window->window;
    ASSERT_EQ(Apply({{"width", 120}, {"height", 50}}), 0);
    EXPECT_EQ(d->bgpic->width, 120);
    EXPECT_EQ(d->width, 120);
    EXPECT_EQ(SDL_GetWindowSurface(d->window->window)->w, 120);
    EXPECT_EQ(WindowPixel(d, 119, 49), 0x808080u);

    // Automatic scaling: the window shows the picture at the scale size; the BGPic keeps its own.
    ASSERT_EQ(Apply({{"scalemode", 1}, {"scalewidth", 240}, {"scaleheight", 100}}), 0);
    EXPECT_EQ(d->width, 240);
    EXPECT_EQ(d->bgpic->width, 120);
    EXPECT_EQ(SDL_GetWindowSurface(d->window->window)->w, 240);
    EXPECT_EQ(WindowPixel(d, 239, 99), 0x808080u);
    ASSERT_EQ(Apply({{"scalemode", 0}}), 0);
    EXPECT_EQ(d->width, 120);
    EXPECT_EQ(d->scaleWidth, 0);
    EXPECT_DOUBLE_EQ(d->scaleX, 1.0);

    // A window flag needs a new window; errors leave the display as it was.
    ASSERT_EQ(Apply({{"borderless", 1}}), 0);
    EXPECT_TRUE(d->window->flags & OS_WF_BORDERLESS);
    EXPECT_EQ(d->state, (uint32_t)DISPSTATE_OPEN);
    (void)first;
    EXPECT_EQ(Apply({{"scalemode", 7}}), 1055);
    EXPECT_EQ(d->width, 120);
}

TEST_F(WindowTest, LayerScalingScalesTheShownPicture)
{
    DisplayRecord *d = Make(1, {{"width", 50}, {"height", 40}, {"fillstyle", 2}, {"gradientstartcolor", 0xFF0000},
                                {"gradientendcolor", 0x0000FF}, {"scalemode", 2}, {"scalewidth", 100},
                                {"scaleheight", 80}});
    EXPECT_TRUE(d->layersEnabled);
    EXPECT_EQ(d->bgpic->width, 50);
    EXPECT_EQ(d->bgpic->shownWidth, 100);
    EXPECT_EQ(d->displayBitMap->width, 100);
    EXPECT_GT(WindowPixel(d, 50, 0) >> 16, 0xE0u);
    EXPECT_GT(WindowPixel(d, 50, 79) & 0xFF, 0xE0u);
    // A new size under layer scaling changes the BGPic; the window keeps the scale size.
    ASSERT_EQ(OpenDisplayWindow(L, d, KEEPPOSITION, KEEPPOSITION, 25, 20, 1, 0, 0), 0);
    EXPECT_EQ(d->bgpic->width, 25);
    EXPECT_EQ(d->bgpic->shownWidth, 100);
    EXPECT_DOUBLE_EQ(d->scaleX, 4.0);
    EXPECT_EQ(SDL_GetWindowSurface(d->window->window)->w, 100);
}

}  // namespace
