// The layer code with the libraries around it: text objects freed with their last layer, the
// asynchronous drawings that use layers, DisplayObject's flags on the way to the layer
// functions, and GetAttribute for #LAYER.
#include "display/asyncdraw.h"
#include "display/display_pending.h"
#include "pictures/display_object.h"
#include "tests/integration/wiring_fixture.h"
#include "text/text_objects.h"

namespace {

TEST_F(WiringTest, AFreedTextObjectGoesWithTheLastLayerShowingIt)
{
    OpenLayerDisplay(64, 32);
    ASSERT_EQ(Call("CreateTextObject", {1, "Hi"}), 0);
    ASSERT_EQ(Call("DisplayTextObject", {1, 0, 0}), 0);
    ASSERT_EQ(Call("DisplayTextObject", {1, 20, 0}), 0);
    ASSERT_EQ(Call("FreeTextObject", {1}), 0);
    EXPECT_EQ(CountTextObjects(), 1);   // still shown
    ASSERT_EQ(Call("RemoveLayer", {1}), 0);
    EXPECT_EQ(CountTextObjects(), 1);   // by the other layer
    ASSERT_EQ(Call("RemoveLayer", {1}), 0);
    EXPECT_EQ(CountTextObjects(), 0);

    // All layers at once.
    ASSERT_EQ(Call("CreateTextObject", {2, "Ho"}), 0);
    ASSERT_EQ(Call("DisplayTextObject", {2, 0, 0}), 0);
    ASSERT_EQ(Call("FreeTextObject", {2}), 0);
    ASSERT_EQ(Call("FreeLayers", {}), 0);
    EXPECT_EQ(CountTextObjects(), 0);
}

// An asynchronous drawing whose frames go into one layer; it records the layer notices.
struct Probe {
    kvLayer *target;
    std::vector<std::pair<int, void *>> notices;
};

intptr_t ProbeControl(int op, void *argument, void *userdata)
{
    Probe *p = (Probe *)userdata;
    if (op == ADCTL_TARGET) *(void **)argument = p->target;
    else if (op == ADCTL_LAYERREPLACED || op == ADCTL_LAYERCHANGED) p->notices.push_back({op, argument});
    return 0;
}

int ProbeFrame(void *, int32_t *finished)
{
    *finished = 1;
    return 0;
}

// Redraws layer n (none: a new layer) showing brush 1 at x, y with DisplayObject's flags.
int Redisplay(lua_State *L, kvLayer *layer, int32_t x, int32_t y, int flags)
{
    return DisplayObject(L, layer, nullptr, OBJTYPE_BRUSH, {1, nullptr}, 0, 0, 0, x, y, 0, 0, 0, 0, nullptr, nullptr,
                         nullptr, nullptr, flags);
}

TEST_F(WiringTest, TheLayerCommandsSeeTheAsyncDrawingOnALayer)
{
    OpenLayerDisplay(16, 16);
    ASSERT_EQ(Call("CreateBrush", {1, 4, 4, 0xFF0000}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 0, 0}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 8, 8}), 0);
    kvLayer *used = Layer(1);
    Probe probe{used, {}};
    ASSERT_EQ(AddAsyncDraw(ADF_FX, ProbeFrame, nullptr, nullptr, nullptr, ProbeControl, &probe, nullptr), 0);

    EXPECT_EQ(Call("RemoveLayer", {1}), 1372);
    EXPECT_EQ(Call("FreeLayers", {}), 1372);
    EXPECT_EQ(Call("DisableLayers", {}), 1329);
    EXPECT_EQ(Call("SelectLayer", {1}), 1404);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Call("RemoveLayer", {2}), 0);   // no drawing uses it

    // Replacing the used layer tells the drawing before the old record goes.
    ASSERT_EQ(Redisplay(L, used, 3, 3, DOBJ_REDRAWLAYER), 0);
    ASSERT_FALSE(probe.notices.empty());
    EXPECT_EQ(probe.notices[0].first, ADCTL_LAYERREPLACED);
    EXPECT_EQ(probe.notices[0].second, (void *)used);
    probe.target = nullptr;
    FreeAsyncDraws(L, d);
}

TEST_F(WiringTest, DisplayObjectFlagsReachTheLayerFunctionsAsTheirOwn)
{
    OpenLayerDisplay(16, 16);
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, 0x00FF00}), 0);
    for (int x : {0, 4, 8}) ASSERT_EQ(Call("DisplayBrush", {1, x, 0}), 0);

    // "Don't draw directly" (1) is no hidden layer (AddLayer's 1).
    ASSERT_EQ(Redisplay(L, nullptr, 12, 0, DOBJ_NODIRECT), 0);
    ASSERT_EQ(Count(), 4);
    EXPECT_FALSE(Layer(4)->hidden);
    EXPECT_EQ(Back(12, 0), 0x00FF00u);

    // Redrawing (8) replaces the layer in its place; without 8 a layer is added on top.
    kvLayer *old = Layer(2);
    ASSERT_EQ(Redisplay(L, old, 6, 6, DOBJ_REDRAWLAYER), 0);
    ASSERT_EQ(Count(), 4);
    EXPECT_NE(Layer(2), old);
    EXPECT_EQ(Layer(2)->sourceState->x, 6);
    EXPECT_EQ(Layer(3)->sourceState->x, 8);
    ASSERT_EQ(Redisplay(L, Layer(2), 10, 10, 0), 0);
    EXPECT_EQ(Count(), 5);
    EXPECT_EQ(Layer(5)->sourceState->x, 10);
}

TEST_F(WiringTest, GetAttributeAnswersForLayers)
{
    ASSERT_EQ(Call("CreateBrush", {1, 6, 4, 0xFF0000}), 0);
    d = OpenDisplay(32, 32);
    ASSERT_TRUE(d);
    EXPECT_EQ(Call("GetAttribute", {22, 1, 0}), 1078);   // layers off
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 3, 5}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 10, 12, Arg::Texts({{"name", "Ship"}, {"group", "Fleet"}})}), 0);
    ASSERT_EQ(Call("HideLayer", {2}), 0);
    Arg doubled = Arg::Transform({2, 0, 0, 2});
    ASSERT_EQ(Call("DisplayBrush", {1, 0, 0, doubled}), 0);
    // Layer 4: frame 2 of a three-frame anim.
    ASSERT_EQ(Call("CreateBrush", {5, 12, 4, 0x00FF00}), 0);
    ASSERT_EQ(Call("CreateAnim", {7, 5, 4, 4, 3, 3}), 0);
    ASSERT_EQ(Call("SetAnimFrameDelay", {7, 2, 40}), 0);
    ASSERT_EQ(Call("DisplayAnimFrame", {7, 0, 20, 2}), 0);

    struct Case {
        Arg layer;
        int attribute;
        double value;
    };
    const Case cases[] = {
        {1, 0, 6},        {1, 1, 4},        {1, 7, 3},   {1, 8, 5},  {1, 9, 3},  {1, 10, 1},
        {"Ship", 10, 0},  {"Ship", 13, 2},  {"Ship", 7, 10}, {2, 6, 4}, {3, 0, 6}, {3, 67, 12},
        {3, 68, 8},       {4, 9, 4},        {4, 11, 3},  {4, 12, 2}, {4, 37, 40},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(Call("GetAttribute", {22, c.layer, c.attribute}), 0) << c.attribute;
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0], c.value) << c.attribute;
    }
    lua_settop(L, 0);
    lua_pushstring(L, "getattribute");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushnumber(L, 22);
    lua_pushstring(L, "Ship");
    lua_pushnumber(L, 62);
    ASSERT_EQ(lua_call(L, 3, 1), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "Fleet");
    lua_settop(L, 0);

    struct Error {
        Arg layer;
        int attribute, code;
    };
    const Error errors[] = {
        {5, 0, 1081}, {0, 0, 1081}, {"Nobody", 0, 1369}, {1, 11, 1155}, {1, 36, 1311}, {1, 99, 1080},
    };
    for (const Error &e : errors) EXPECT_EQ(Call("GetAttribute", {22, e.layer, e.attribute}), e.code) << e.attribute;
}

}  // namespace
