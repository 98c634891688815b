// Moves run against a real (dummy-driver) display: sprite frames stepped by the frame timer on
// a test clock, an asynchronous layer move that outlives a replace of its layer, the first
// layers-off step restoring only the object's rectangles, the stop of a synchronous move, and
// the embedded mode that the transition engine steps and frees itself.
#include <cstring>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/layer.h"
#include "display/moveobject.h"
#include "display/sprite.h"
#include "fx/fx_scroll.h"
#include "gfx/blit.h"
#include "runtime/vm/interpwords.h"
#include "tests/brush/brush_fixture.h"

namespace {

const uint32_t Black = 0, Red = 0xFF0000, Green = 0x00FF00, Blue = 0x0000FF;

OsTimeVal TestNow;
void TestClock(OsTimeVal *out) { *out = TestNow; }
void SetClockMillis(uint32_t ms) { TestNow = {1000 + ms / 1000, (ms % 1000) * 1000}; }

struct MoveRunTest : BrushTest {
    DisplayRecord *d = nullptr;
    void SetUp() override
    {
        BrushTest::SetUp();
        for (int (*open)(lua_State *) : {OpenGraphicsLib, OpenLayersLib, OpenSpriteLib, OpenMoveObjectLib}) {
            lua_pushvalue(L, LUA_GLOBALSINDEX);
            ASSERT_EQ(open(L), 0);
            lua_settop(L, 0);
        }
        d = OpenDisplay(160, 120);
        ASSERT_TRUE(d && d->displayBitMap);
        SetClockMillis(0);
        OsSetClock(TestClock);
    }
    void TearDown() override
    {
        OsSetClock(nullptr);
        FreeAllSprites(L);
        CloseLayersLib(L);
        BrushTest::TearDown();
    }
    uint32_t Picture(int x, int y) { return ReadBitMapPixel(d->displayBitMap, x, y, 0) & 0xFFFFFF; }
    // The newest asynchronous object (the list keeps creation order).
    AsyncDrawNode *Newest()
    {
        AsyncDrawNode *n = AsyncDrawList;
        while (n && n->next) n = n->next;
        return n;
    }
    int Frame(AsyncDrawNode *n)
    {
        int32_t finished = 0;
        EXPECT_EQ(n->draw(n->userdata, &finished), 0);
        return finished;
    }
    // A transition's description of a 10 x 10 object moving at speed 10.
    FxMoveContext Embedded(int32_t type, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
    {
        FxMoveContext fx;
        memset(&fx, 0, sizeof fx);
        fx.state = L;
        fx.objectType = type;
        fx.width = fx.height = 10;
        fx.startX = x1;
        fx.startY = y1;
        fx.endX = x2;
        fx.endY = y2;
        fx.speed = 10;
        return fx;
    }
    SpriteNode *MakeSprite(uint32_t id, std::initializer_list<uint32_t> colours)
    {
        int32_t n = (int32_t)colours.size(), i = 0;
        BitMap **bm = (BitMap **)MemAlloc(sizeof(BitMap *) * n, 1);
        Mask **mk = (Mask **)MemAlloc(sizeof(Mask *) * n, 1);
        AlphaChannel **al = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *) * n, 1);
        for (uint32_t c : colours) {
            bm[i] = AllocBitMap(8, 8);
            RectFillBitMap(bm[i++], 0, 0, 8, 8, c);
        }
        ObjectId oid = {id, nullptr};
        SpriteNode *s = nullptr;
        EXPECT_EQ(AddSpriteRecord(&oid, 8, 8, n, 0xFFFFFFFF, bm, mk, al, nullptr, 0, nullptr, &s), 0);
        return s;
    }
};

TEST_F(MoveRunTest, SpriteFramesFollowTheFrameTimer)
{
    SpriteNode *s = MakeSprite(1, {Red, Green, Blue});
    // animspeed 1: a frame every 20 ms.
    ASSERT_EQ(Call("MoveSprite", {1, 0, 0, 100, 0, {{"speed", 10}, {"animspeed", 1}, {"async", 1}}}), 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(s->locked, 1);
    AsyncDrawNode *n = Newest();
    SpriteInstance *on = nullptr;
    // Clock at each step, and the frame shown by it: a frame becomes due once the timer has
    // passed, is shown by the next step, which re-arms the timer a frame delay later.
    struct Step {
        uint32_t clock;
        int32_t frame;
    } steps[] = {{10, 1}, {25, 1}, {30, 2}, {44, 2}, {50, 2}, {55, 3}, {80, 3}, {81, 1}, {85, 1}};
    int32_t x = 0;
    for (const Step &k : steps) {
        SetClockMillis(k.clock);
        Frame(n);
        x += 10;
        ASSERT_EQ(GetOnScreenSprite({1, nullptr}, &on), 0);
        EXPECT_EQ(on->frame, k.frame) << "at " << k.clock << " ms";
        EXPECT_EQ(on->x, x);
    }
    EXPECT_EQ(Call("FreeSprite", {1}), 1314);
    // Cancel through the list: the lock goes with the move.
    ASSERT_EQ(lua_gettop(L), 0);
    lua_pushlightuserdata(L, n->id.handle);
    ASSERT_EQ(GfxCancelAsyncDraw(L), 0);
    lua_settop(L, 0);
    EXPECT_EQ(s->locked, 0);
    EXPECT_EQ(Call("FreeSprite", {1}), 0);
}

TEST_F(MoveRunTest, AsyncLayerMoveFollowsAReplacedLayerAndHoldsIt)
{
    ASSERT_EQ(Call("CreateBrush", {1, 10, 10, Red}), 0);
    ASSERT_EQ(Call("CreateBrush", {2, 10, 10, Green}), 0);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 0, 0}), 0);
    ASSERT_EQ(Call("MoveLayer", {1, 0, 0, 50, 0, {{"async", 1}}}), 0);
    AsyncDrawNode *n = Newest();
    EXPECT_EQ(Frame(n), 0);
    kvLayer *old = GetLayerByIndex(CurrentPicture, 1);
    EXPECT_EQ(old->drawnState->x, 10);
    EXPECT_EQ(Call("RemoveLayer", {1}), 1372);
    // Brush 2 replaces the moving layer.
    ASSERT_EQ(AddObjectLayerOptions(L, OBJTYPE_BRUSH, {2, nullptr}, 0, 0, 10, 0, 10, 10, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, 1, ADDLAYER_REPLACE),
              0);
    ASSERT_EQ(CountLayers(CurrentPicture), 1);
    kvLayer *now = GetLayerByIndex(CurrentPicture, 1);
    EXPECT_TRUE(IsUsedByAsyncDraw(now));
    int finished = 0;
    for (int i = 0; i < 10 && !finished; i++) finished = Frame(n);
    EXPECT_TRUE(finished);
    EXPECT_EQ(now->drawnState->x, 50);
    EXPECT_EQ(ReadBitMapPixel(d->backBuffer, 55, 5, 0) & 0xFFFFFF, Green);
    EXPECT_EQ(ReadBitMapPixel(d->backBuffer, 5, 5, 0) & 0xFFFFFF, Black);
    lua_pushlightuserdata(L, n->id.handle);
    ASSERT_EQ(GfxFinishAsyncDraw(L), 0);
    lua_settop(L, 0);
    EXPECT_EQ(Call("RemoveLayer", {1}), 0);
}

TEST_F(MoveRunTest, FirstLayersOffStepRestoresOnlyTheObjectsRectangles)
{
    ASSERT_EQ(Call("CreateBrush", {1, 10, 10, Red}), 0);
    ASSERT_EQ(Call("CreateBrush", {2, 4, 4, Green}), 0);
    ASSERT_EQ(Call("MoveBrush", {1, 100, 100, 120, 100, {{"async", 1}}}), 0);
    // Drawn after the move took its background, between the picture's corner and the start.
    ASSERT_EQ(Call("DisplayBrush", {2, 10, 10}), 0);
    AsyncDrawNode *n = Newest();
    Frame(n);
    EXPECT_EQ(Picture(11, 11), Green);
    EXPECT_EQ(Picture(112, 105), Red);
    Frame(n);
    EXPECT_EQ(Picture(105, 105), Black);
    EXPECT_EQ(Picture(125, 105), Red);
    lua_pushlightuserdata(L, n->id.handle);
    ASSERT_EQ(GfxCancelAsyncDraw(L), 0);
    lua_settop(L, 0);
}

TEST_F(MoveRunTest, EmbeddedMoveIsSteppedAndFreedByItsCaller)
{
    BitMap *bm = AllocBitMap(10, 10);
    RectFillBitMap(bm, 0, 0, 10, 10, Red);
    struct Case {
        const char *what;
        int32_t x1, y1, x2, y2, frames;
    } cases[] = {
        // #LEFTOUT resolves to -10: six steps of 10 to x 50.
        {"from outside", FXPOS_LEFTOUT, 20, 50, 20, 6},
        // Start on the end: it starts 10 pixels left of and above it, one step away.
        {"start on the end", 50, 20, 50, 20, 1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        RectFillBitMap(d->displayBitMap, 0, 0, 160, 120, Black);
        FxMoveContext fx = Embedded(FXMOVE_NOOBJECT, k.x1, k.y1, k.x2, k.y2);
        fx.bitmap = bm;
        ASSERT_EQ(FxGetMoveObject(), MoveObjectEmbedded);
        ASSERT_EQ(MoveObjectEmbedded(&fx), 0);
        ASSERT_TRUE(fx.step && fx.free);
        EXPECT_EQ(fx.frames, k.frames);
        int32_t done = 0, frames = 0;
        while (!done && frames < 100) {
            ASSERT_EQ(fx.step(&fx, &done), 0);
            frames++;
        }
        EXPECT_EQ(frames, k.frames);
        EXPECT_EQ(Picture(55, 25), Red);
        EXPECT_EQ(Picture(45, 15), Black);
        fx.free(&fx, 1);
        EXPECT_EQ(fx.moverState, nullptr);
    }
    FreeBitMap(bm);
}

TEST_F(MoveRunTest, EmbeddedLayerMoveMovesTheLayer)
{
    ASSERT_EQ(Call("CreateBrush", {1, 10, 10, Red}), 0);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 0, 0}), 0);
    kvLayer *l = GetLayerByIndex(CurrentPicture, 1);
    FxMoveContext fx = Embedded(FXMOVE_LAYER, FXPOS_RIGHTOUT, 0, 40, 0);
    fx.layer = l;
    fx.style = MOVESTYLE_BOUNCE;
    ASSERT_EQ(MoveObjectEmbedded(&fx), 0);
    EXPECT_EQ(l->drawnState->x, 160);
    int32_t done = 0, frames = 0;
    while (!done && frames < 1000) {
        ASSERT_EQ(fx.step(&fx, &done), 0);
        frames++;
    }
    EXPECT_EQ(frames, fx.frames);
    EXPECT_EQ(l->drawnState->x, 40);
    fx.free(&fx, 1);
}

TEST_F(MoveRunTest, SynchronousMoveStopsWhenThePumpSaysSoAndLetsGoOfItsBrush)
{
    ASSERT_EQ(Call("CreateBrush", {1, 10, 10, Red}), 0);
    ASSERT_EQ(Call("SetFPSLimit", {100000}), 0);
    ASSERT_EQ(Call("MoveBrush", {1, 0, 0, 100, 0}), 0);
    EXPECT_EQ(Picture(105, 5), Red);
    // The program must quit: the move ends before its first step.
    lua_settop(L, 0);
    for (int v : {1, 0, 0, 0, 100}) lua_pushnumber(L, v);
    StopFlag = 1;
    EXPECT_EQ(ParseMoveArgs(L, MOVEKIND_BRUSH), 0);
    StopFlag = 0;
    lua_settop(L, 0);
    EXPECT_EQ(Picture(5, 15), Black);
    EXPECT_EQ(Picture(5, 105), Black);
    BrushNode *b;
    ASSERT_EQ(GetBrushNode({1, nullptr}, &b, 0), 0);
    EXPECT_EQ(b->locked, 0u);
}

}  // namespace
