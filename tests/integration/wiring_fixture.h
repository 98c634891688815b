// Shared set-up of the integration tests: every command library opened through the player's own
// registration table and closed in its shutdown order, with the brush tests' command caller.
#pragma once
#include "display/bgpic.h"
#include "display/layer.h"
#include "runtime/libraries.h"
#include "tests/brush/brush_fixture.h"
#include "tests/common/display_fixture.h"

struct WiringTest : BrushTest {
    DisplayRecord *d = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartAppletInterpreter(&L, &applet));
        SetRuntimeTags(L, RTAG_QUIET, 1, 0);
        ASSERT_EQ(OpenAllLibraries(L), 0);
        lua_settop(L, 0);
    }
    void TearDown() override
    {
        CloseAllLibraries(L);
        lua_close(L);
        FreeRuntime();
    }
    // An open, current display of width x height with layers on.
    void OpenLayerDisplay(int width, int height)
    {
        d = OpenDisplay(width, height);
        ASSERT_TRUE(d && d->backBuffer);
        ASSERT_EQ(Call("EnableLayers", {}), 0);
    }
    uint32_t Back(int x, int y) { return ReadBitMapPixel(d->backBuffer, x, y, 0); }
    kvLayer *Layer(int n) { return GetLayerByIndex(CurrentPicture, n); }
    int Count() { return CountLayers(CurrentPicture); }
};
