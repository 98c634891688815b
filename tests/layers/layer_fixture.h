// Shared set-up of the layer tests: the brush tests' interpreter with the layers library open,
// an 8 x 8 display with layers on and pixel access to its back buffer.
#pragma once
#include "display/bgpic.h"
#include "display/display_pending.h"
#include "gfx/blit.h"
#include "display/layer.h"
#include "tests/brush/brush_fixture.h"
#include "tests/layers/merge_reference.h"

struct LayerTest : BrushTest {
    DisplayRecord *d = nullptr;
    void SetUp() override
    {
        BrushTest::SetUp();
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenLayersLib(L), 0);
        lua_settop(L, 0);
        d = OpenDisplay(8, 8);
        ASSERT_TRUE(d && d->backBuffer);
        ASSERT_EQ(Call("EnableLayers", {}), 0);
    }
    void TearDown() override
    {
        CloseLayersLib(L);
        BrushTest::TearDown();
    }
    uint32_t Back(int x, int y) { return ReadBitMapPixel(d->backBuffer, x, y, 0); }
    kvLayer *Layer(int n) { return GetLayerByIndex(CurrentPicture, n); }
    int Count() { return CountLayers(CurrentPicture); }
    // A brush of one colour shown at x, y with the given options.
    void Show(uint32_t brush, int x, int y, Arg options = Arg(nullptr))
    {
        if (options.kind == Arg::NIL) ASSERT_EQ(Call("DisplayBrush", {brush, x, y}), 0);
        else ASSERT_EQ(Call("DisplayBrush", {brush, x, y, options}), 0);
    }
};
