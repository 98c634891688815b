// Asynchronous drawing objects driven by the graphics commands, with a stub owner of N frames
// that counts its callbacks: finishing, cancelling, frame arguments, damage of a BGPic output,
// owners without optional callbacks, and the display the object belongs to.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

namespace {

void GetGlobal(lua_State *L, const char *name)
{
    lua_pushstring(L, name);
    lua_gettable(L, LUA_GLOBALSINDEX);
}

// An owner of `frames` frames: each callback appends its name (and flag) to the log.
struct Owner {
    int32_t frames = 3, current = 0;
    std::string log;
    kvLayer *layer = nullptr;
};

int Draw(void *u, int32_t *finished)
{
    Owner *o = (Owner *)u;
    o->current++;
    o->log += "draw ";
    if (o->current == o->frames) *finished = 1;
    return 0;
}
void Finish(void *u, int32_t flag) { ((Owner *)u)->log += "finish" + std::to_string(flag) + " "; }
void Free(void *u, int32_t flag) { ((Owner *)u)->log += "free" + std::to_string(flag) + " "; }
intptr_t Control(int op, void *arg, void *u)
{
    Owner *o = (Owner *)u;
    switch (op) {
    case ADCTL_FRAMES: return o->frames;
    case ADCTL_CURRENTFRAME: return o->current;
    case ADCTL_JUMP:
        o->current = *(int32_t *)arg;
        o->log += "jump" + std::to_string(o->current) + " ";
        return 0;
    case ADCTL_SHOW: o->log += "show "; return 0;
    case ADCTL_TARGET: *(void **)arg = o->layer; return 0;
    case ADCTL_BGPICFRAME: o->log += (arg ? "begin " : "end "); return 0;
    default: return 0;
    }
}

struct AsyncDrawTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    DisplayRecord *d1 = nullptr, *d2 = nullptr;
    // Owners outlive the objects: TearDown frees what a test left.
    Owner owners[3];
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartDisplayInterpreter(&L, &applet));
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenGraphicsLib(L), 0);
        lua_settop(L, 0);
        ASSERT_EQ(CreateDisplayCore(L, 1, 0, 0, &d1), 0);
        ASSERT_EQ(CreateDisplayCore(L, 2, 0, 0, &d2), 0);
        MakeDisplayCurrent(d1);
        d1->layersEnabled = 1;
    }
    void TearDown() override
    {
        FreeAsyncDraws(L, nullptr);
        CurrentDisplay = nullptr;
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        CloseGraphicsLib(L);
        lua_close(L);
        FreeRuntime();
    }
    AsyncDrawNode *Add(Owner *o, bool finish = true, bool control = true)
    {
        AsyncDrawNode *n = nullptr;
        EXPECT_EQ(AddAsyncDraw(ADF_FX, Draw, nullptr, finish ? Finish : nullptr, Free, control ? Control : nullptr, o,
                               &n),
                  0);
        return n;
    }
    // Calls a command with the object's handle and an optional frame. Returns the error code,
    // or 0 with the first result in *result.
    int Call(const char *name, AsyncDrawNode *n, int frame = -1, double *result = nullptr)
    {
        GetGlobal(L, name);
        lua_pushlightuserdata(L, n);
        if (frame >= 0) lua_pushnumber(L, frame);
        int code = lua_call(L, frame >= 0 ? 2 : 1, 1);
        if (!code && result) *result = lua_tonumber(L, -1);
        lua_settop(L, 0);
        return code;
    }
    double Frame(AsyncDrawNode *n, int frame = -1)
    {
        double r = -1;
        EXPECT_EQ(Call("asyncdrawframe", n, frame, &r), 0);
        return r;
    }
};

TEST_F(AsyncDrawTest, LastFrameReturns0ThenTheNextCallCompletesAndTheHandleIsGone)
{
    Owner &o = owners[0];
    AsyncDrawNode *n = Add(&o);
    EXPECT_EQ(Frame(n), 0);
    EXPECT_EQ(Frame(n), 0);
    EXPECT_EQ(Frame(n), 0);   // draws the last frame
    EXPECT_EQ(o.log, "draw draw draw ");
    EXPECT_EQ(Frame(n), 1);
    EXPECT_EQ(o.log, "draw draw draw finish1 free1 ");
    EXPECT_EQ(Call("asyncdrawframe", n), 1326);
    EXPECT_EQ(Call("cancelasyncdraw", n), 1326);
    EXPECT_EQ(CountAsyncDraws(), 0);
}

TEST_F(AsyncDrawTest, CancelFreesOnlyAndFinishCompletesFirst)
{
    Owner &a = owners[0], &b = owners[1];
    AsyncDrawNode *na = Add(&a), *nb = Add(&b);
    EXPECT_EQ(Frame(na), 0);
    EXPECT_EQ(Call("cancelasyncdraw", na), 0);
    EXPECT_EQ(a.log, "draw free0 ");
    EXPECT_EQ(Call("finishasyncdraw", nb), 0);
    EXPECT_EQ(b.log, "finish0 free0 ");
    EXPECT_EQ(CountAsyncDraws(), 0);
}

TEST_F(AsyncDrawTest, FrameArguments)
{
    Owner &o = owners[0];
    o.frames = 5;
    AsyncDrawNode *n = Add(&o);
    EXPECT_EQ(Frame(n, 0), 0);   // frame 0 before the first frame draws nothing
    EXPECT_EQ(o.log, "");
    EXPECT_EQ(Frame(n, 1), 0);   // the next frame
    EXPECT_EQ(Frame(n, 1), 0);   // the current frame again: nothing
    EXPECT_EQ(Frame(n, 0), 0);   // frame 0 after the first: the next frame
    EXPECT_EQ(o.log, "draw draw ");
    EXPECT_EQ(Call("asyncdrawframe", n, 6), 1094);   // beyond the count of an unfinished object
    EXPECT_EQ(Frame(n, 4), 0);   // a jump: shown on the display
    EXPECT_EQ(Frame(n, 5), 0);   // current + 1 is drawn, not jumped to
    EXPECT_EQ(o.log, "draw draw jump4 show draw ");
    EXPECT_EQ(Frame(n, 9), 1);   // finished: a frame beyond the count completes it
    EXPECT_EQ(o.log, "draw draw jump4 show draw finish1 free1 ");

    Owner &p = owners[1];
    p.frames = 4;
    AsyncDrawNode *m = Add(&p);
    EXPECT_EQ(Frame(m, 4), 1);   // a jump to the last frame finishes
    EXPECT_EQ(Frame(m), 1);
    EXPECT_EQ(p.log, "jump4 show finish1 free1 ");

    Owner &q = owners[2];
    AsyncDrawNode *k = Add(&q);
    d1->layersEnabled = 0;
    EXPECT_EQ(Call("asyncdrawframe", k, 1), 1078);
    EXPECT_EQ(Frame(k), 0);   // without a frame layers are not needed
}

TEST_F(AsyncDrawTest, BGPicOutputBracketsTheFrameAndDamagesTheTargetLayerOnly)
{
    LayerState state;
    memset(&state, 0, sizeof state);
    state.drawnX = 10;
    state.drawnY = 20;
    state.drawnWidth = 30;
    state.drawnHeight = 40;
    kvLayer layer;
    memset(&layer, 0, sizeof layer);
    layer.drawnState = &state;
    Owner &o = owners[0], &none = owners[1];
    o.layer = &layer;
    AsyncDrawNode *n = Add(&o), *m = Add(&none);
    d1->outputType = OBJTYPE_BGPIC;
    EXPECT_EQ(Frame(n), 0);
    EXPECT_EQ(o.log, "begin draw end ");
    ASSERT_EQ(d1->dirty.count, 1);
    EXPECT_EQ(d1->dirty.rects[0].x1, 10);
    EXPECT_EQ(d1->dirty.rects[0].y1, 20);
    EXPECT_EQ(d1->dirty.rects[0].x2, 39);
    EXPECT_EQ(d1->dirty.rects[0].y2, 59);
    EXPECT_EQ(Frame(m), 0);   // names no layer: no damage
    EXPECT_EQ(Frame(m, 3), 1);   // a jump with BGPic output damages instead of showing
    EXPECT_EQ(none.log, "begin draw end jump3 ");
    EXPECT_EQ(d1->dirty.count, 1);
    EXPECT_TRUE(IsUsedByAsyncDraw(&layer));
    EXPECT_FALSE(IsUsedByAsyncDraw(&state));
    d1->outputType = OBJTYPE_DISPLAY;
}

TEST_F(AsyncDrawTest, OwnerWithoutFinishAndControl)
{
    Owner &o = owners[0];
    o.frames = 1;
    AsyncDrawNode *n = Add(&o, false, false);
    // No control: 0 frames, so any frame number is out of range and attributes answer -1.
    EXPECT_EQ(Call("asyncdrawframe", n, 1), 1094);
    GetGlobal(L, "getattribute");
    lua_pushnumber(L, OBJTYPE_ASYNCDRAW);
    lua_pushlightuserdata(L, n);
    lua_pushnumber(L, 11);
    ASSERT_EQ(lua_call(L, 3, 1), 0);
    EXPECT_EQ(lua_tonumber(L, -1), -1);
    lua_settop(L, 0);
    d1->outputType = OBJTYPE_BGPIC;
    EXPECT_EQ(Frame(n), 0);
    EXPECT_EQ(Frame(n), 1);
    EXPECT_EQ(o.log, "draw free1 ");
    EXPECT_EQ(d1->dirty.count, 0);
    d1->outputType = OBJTYPE_DISPLAY;
}

TEST_F(AsyncDrawTest, ObjectsBelongToTheirDisplay)
{
    Owner &o = owners[0], &p = owners[1];
    MakeDisplayCurrent(d2);
    AsyncDrawNode *n = Add(&o);
    MakeDisplayCurrent(d1);
    Add(&p);
    EXPECT_EQ(Call("asyncdrawframe", n), 1379);
    GetGlobal(L, "freedisplay");
    lua_pushnumber(L, 2);
    EXPECT_EQ(lua_call(L, 1, 0), 1380);
    lua_settop(L, 0);
    EXPECT_TRUE(HasAsyncDraws(d2));
    FreeAsyncDraws(L, d2);   // the display's BGPic changes: its objects go, others stay
    EXPECT_EQ(o.log, "free0 ");
    EXPECT_FALSE(HasAsyncDraws(d2));
    EXPECT_EQ(CountAsyncDraws(), 1);
    GetGlobal(L, "freedisplay");
    lua_pushnumber(L, 2);
    EXPECT_EQ(lua_call(L, 1, 0), 0);
    lua_settop(L, 0);
}

TEST_F(AsyncDrawTest, OutputChecksAndPolling)
{
    Owner &o = owners[0];
    AsyncDrawNode *n = Add(&o);
    const struct { uint32_t type; int doubleBuffer; int code; } cases[] = {
        {OBJTYPE_BRUSH, 1, 1229}, {OBJTYPE_BRUSH, 0, 1082}, {OBJTYPE_MASK, 0, 1147}, {OBJTYPE_ALPHACHANNEL, 0, 1167},
    };
    for (auto &c : cases) {
        d1->outputType = c.type;
        d1->doubleBuffer = c.doubleBuffer;
        EXPECT_EQ(Call("asyncdrawframe", n), c.code) << c.type;
    }
    d1->outputType = OBJTYPE_DISPLAY;
    d1->doubleBuffer = 0;
    EXPECT_EQ(o.log, "");
    EXPECT_EQ(PollAsyncDraws(d1), nullptr);
}

}  // namespace
