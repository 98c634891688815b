// A headless display with the graphics, draw, sprite and layers libraries open, and ReadPixel
// as a call, for tests that judge drawn shapes by their pixels.
#pragma once
#include "tests/brush/brush_fixture.h"

#include "display/layer.h"

struct DrawDisplayTest : BrushTest {
    void SetUp() override
    {
        BrushTest::SetUp();
        for (int (*open)(lua_State *) : {OpenGraphicsLib, OpenDrawLib, OpenSpriteLib, OpenLayersLib}) {
            lua_pushvalue(L, LUA_GLOBALSINDEX);
            ASSERT_EQ(open(L), 0);
            lua_settop(L, 0);
        }
    }
    void TearDown() override
    {
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        FreeAllSprites(L);
        CloseLayersLib(L);
        CloseDrawLib(L);
        CloseGraphicsLib(L);
        BrushTest::TearDown();
    }
    uint32_t Read(int x, int y)
    {
        EXPECT_EQ(Call("ReadPixel", {x, y}), 0);
        return results.empty() ? 0xDEAD : (uint32_t)results[0];
    }
};
