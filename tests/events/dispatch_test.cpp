// The event dispatcher against real displays of the dummy video driver, with native callbacks
// that change what the dispatcher is walking: buttons deleting themselves, intervals clearing
// themselves, displays freed and BGPics swapped in the middle of a pass. Run under the
// sanitizers, these show that no phase resumes on freed memory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/event.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

namespace {

std::vector<std::string> Log;
lua_State *TheState = nullptr;

// Calls a command by name with number arguments; returns its code.
int Command(const char *name, std::initializer_list<double> args)
{
    lua_State *L = TheState;
    int top = lua_gettop(L);
    lua_pushstring(L, name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    for (double a : args) lua_pushnumber(L, a);
    int code = lua_call(L, (int)args.size(), 0);
    lua_settop(L, top);
    return code;
}

std::string Field(lua_State *L, const char *key)
{
    lua_pushstring(L, key);
    lua_gettable(L, 1);
    std::string s;
    if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER) s = lua_tostring(L, -1);
    lua_pop(L, 1);
    return s;
}

// "action id" of the message; buttons add "button".
int LogMessage(lua_State *L)
{
    std::string entry = Field(L, "action") + " " + Field(L, "id");
    if (!Field(L, "width").empty() && !Field(L, "mousedown").empty()) entry += " button";
    Log.push_back(entry);
    return 0;
}

struct EventTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    void SetUp() override
    {
        Log.clear();
        ASSERT_NO_FATAL_FAILURE(StartAppletInterpreter(&L, &applet));
        TheState = L;
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenDisplayLib(L), 0);
        ASSERT_EQ(OpenEventLib(L), 0);
        lua_settop(L, 0);
    }
    void TearDown() override
    {
        CloseEventLib(L);
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        lua_close(L);
        FreeRuntime();
        OsFreeTimers();
    }
    DisplayRecord *Make(uint32_t id)
    {
        lua_newtable(L);
        SetFieldInt(L, "width", 200);
        SetFieldInt(L, "height", 100);
        DisplayRecord *d = nullptr;
        EXPECT_EQ(CreateDisplayCore(L, id, 0, lua_gettop(L), &d), 0);
        lua_settop(L, 0);
        if (d) {
            EXPECT_EQ(OpenWindowForDisplay(L, d, 1), 0);
            MakeDisplayCurrent(d);
        }
        return d;
    }
    // Pushes a table {key = function, ...}.
    void PushHandlers(std::initializer_list<std::pair<const char *, lua_CFunction>> handlers)
    {
        lua_newtable(L);
        for (auto &h : handlers) {
            lua_pushstring(L, h.first);
            lua_pushcclosure(L, h.second, 0);
            lua_settable(L, -3);
        }
    }
    int Install(std::initializer_list<std::pair<const char *, lua_CFunction>> handlers)
    {
        lua_pushstring(L, "installeventhandler");
        lua_gettable(L, LUA_GLOBALSINDEX);
        PushHandlers(handlers);
        int code = lua_call(L, 1, 0);
        lua_settop(L, 0);
        return code;
    }
    int Button(uint32_t id, int x, int y, int w, int h, std::initializer_list<std::pair<const char *, lua_CFunction>> handlers)
    {
        lua_pushstring(L, "makebutton");
        lua_gettable(L, LUA_GLOBALSINDEX);
        for (double a : {(double)id, 0.0, (double)x, (double)y, (double)w, (double)h}) lua_pushnumber(L, a);
        PushHandlers(handlers);
        int code = lua_call(L, 7, 0);
        lua_settop(L, 0);
        return code;
    }
    int Timer(const char *command, uint32_t id, lua_CFunction f, int ms)
    {
        lua_pushstring(L, command);
        lua_gettable(L, LUA_GLOBALSINDEX);
        lua_pushnumber(L, id);
        lua_pushcclosure(L, f, 0);
        lua_pushnumber(L, ms);
        int code = lua_call(L, 3, 0);
        lua_settop(L, 0);
        return code;
    }
    // Runs CheckEvent n times; returns the number of callbacks that ran.
    int Check(int n)
    {
        int ran = 0;
        for (int i = 0; i < n; i++) {
            lua_pushstring(L, "checkevent");
            lua_gettable(L, LUA_GLOBALSINDEX);
            EXPECT_EQ(lua_call(L, 0, 1), 0);
            lua_pushstring(L, "triggered");
            lua_gettable(L, -2);
            ran += lua_tonumber(L, -1) != 0;
            lua_settop(L, 0);
        }
        return ran;
    }
    static void MovePointer(DisplayRecord *d, int x, int y)
    {
        d->window->mouseX = x;
        d->window->mouseY = y;
        d->window->mouseMoved = 1;
        OsGetSysTime(&d->window->mouseMovedTime);
    }
};

TEST_F(EventTest, AClickRunsTheDisplayHandlerThenTheButton)
{
    DisplayRecord *d = Make(1);
    ASSERT_EQ(Install({{"onmousedown", LogMessage}}), 0);
    ASSERT_EQ(Button(7, 10, 10, 30, 30, {{"onmousedown", LogMessage}, {"onmouseup", LogMessage}}), 0);
    PostEvent(d, IEVENT_LEFTBUTTON, 20, 20, 1, nullptr);
    PostEvent(d, IEVENT_LEFTBUTTON, 20, 20, 0, nullptr);
    EXPECT_EQ(Check(4), 3);
    std::vector<std::string> want = {"OnMouseDown 1", "OnMouseDown 7 button", "OnMouseUp 7 button"};
    EXPECT_EQ(Log, want);
}

TEST_F(EventTest, OverlappingButtonsAndAReleaseOutside)
{
    DisplayRecord *d = Make(1);
    ASSERT_EQ(Button(1, 0, 0, 50, 50, {{"onmousedown", LogMessage}, {"onmouseup", LogMessage}}), 0);
    ASSERT_EQ(Button(2, 20, 20, 50, 50, {{"onmouseover", LogMessage}}), 0);
    // The newer button takes the press but has no down callback: nothing runs, and the older
    // one under it is not reached.
    PostEvent(d, IEVENT_LEFTBUTTON, 30, 30, 1, nullptr);
    // A press on the older one alone, released outside every button: the state is cleared.
    PostEvent(d, IEVENT_LEFTBUTTON, 5, 5, 1, nullptr);
    PostEvent(d, IEVENT_LEFTBUTTON, 150, 90, 0, nullptr);
    Check(4);
    std::vector<std::string> want = {"OnMouseDown 1 button"};
    EXPECT_EQ(Log, want);
    for (kvBGPicButton *b = d->bgpic->buttons; b; b = b->next) EXPECT_EQ(b->leftPressed, 0u) << b->id.number;
}

TEST_F(EventTest, OutBeforeOverAndNoOverWhileAnotherIsPressed)
{
    DisplayRecord *d = Make(1);
    ASSERT_EQ(Button(1, 0, 0, 20, 20, {{"onmouseover", LogMessage}, {"onmouseout", LogMessage}, {"onmousedown", LogMessage}}), 0);
    ASSERT_EQ(Button(2, 40, 0, 20, 20, {{"onmouseover", LogMessage}, {"onmouseout", LogMessage}}), 0);
    MovePointer(d, 5, 5);
    Check(2);
    MovePointer(d, 45, 5);
    Check(3);
    std::vector<std::string> want = {"OnMouseOver 1 button", "OnMouseOut 1 button", "OnMouseOver 2 button"};
    EXPECT_EQ(Log, want);
    Log.clear();
    // Held down on button 1, the pointer crosses button 2 without an over.
    MovePointer(d, 5, 5);
    PostEvent(d, IEVENT_LEFTBUTTON, 5, 5, 1, nullptr);
    Check(4);
    MovePointer(d, 45, 5);
    Check(3);
    // Button 2 keeps its over state while button 1 is pressed: only the pressed one counts.
    std::vector<std::string> held = {"OnMouseDown 1 button", "OnMouseOver 1 button", "OnMouseOut 1 button"};
    EXPECT_EQ(Log, held);
}

int DeleteButtonOne(lua_State *L)
{
    LogMessage(L);
    EXPECT_EQ(Command("deletebutton", {1}), 0);
    return 0;
}

TEST_F(EventTest, ACallbackDeletesItsOwnButton)
{
    DisplayRecord *d = Make(1);
    ASSERT_EQ(Button(2, 0, 0, 100, 100, {{"onmouseover", LogMessage}, {"onmouseup", LogMessage}}), 0);
    ASSERT_EQ(Button(1, 0, 0, 50, 50, {{"onmousedown", DeleteButtonOne}, {"onmouseover", DeleteButtonOne}}), 0);
    // The over walk: button 1 (newest, first) is hit and deletes itself in its over callback.
    MovePointer(d, 10, 10);
    Check(3);
    // A press that deletes the button it is served for, then the release reaches button 2.
    ASSERT_EQ(Button(1, 0, 0, 50, 50, {{"onmousedown", DeleteButtonOne}}), 0);
    PostEvent(d, IEVENT_LEFTBUTTON, 10, 10, 1, nullptr);
    PostEvent(d, IEVENT_LEFTBUTTON, 10, 10, 0, nullptr);
    Check(3);
    std::vector<std::string> want = {"OnMouseOver 1 button", "OnMouseDown 1 button"};
    EXPECT_EQ(Log, want);
    EXPECT_EQ(d->bgpic->buttons->id.number, 2u);
    EXPECT_EQ(d->bgpic->buttons->next, nullptr);
}

int ClearIntervalTwo(lua_State *L)
{
    Log.push_back("clear " + Field(L, "id"));
    EXPECT_EQ(Command("clearinterval", {2}), 0);
    return 0;
}

int ChangeOwnInterval(lua_State *L)
{
    Log.push_back("change " + Field(L, "id"));
    EXPECT_EQ(Command("changeinterval", {3, 5000}), 0);
    return 0;
}

TEST_F(EventTest, IntervalsClearOrChangeTimersOfThePass)
{
    Make(1);
    // Interval 1 clears interval 2, the timer the walk would look at next.
    ASSERT_EQ(Timer("setinterval", 1, ClearIntervalTwo, 1000), 0);
    ASSERT_EQ(Timer("setinterval", 2, LogMessage, 1000), 0);
    ASSERT_EQ(Timer("setinterval", 3, ChangeOwnInterval, 1000), 0);
    ASSERT_EQ(Timer("settimeout", 4, LogMessage, 1), 0);
    EXPECT_EQ(Timer("setinterval", 5, LogMessage, 0), 1055);
    OsWaitMillis(L, 5);
    Check(3);
    std::vector<std::string> want = {"clear 1", "change 3", "Timeout 4"};
    EXPECT_EQ(Log, want);
    EXPECT_EQ(Command("clearinterval", {2}), 1194);
    EXPECT_EQ(Command("cleartimeout", {4}), 1195);
    EXPECT_EQ(Command("clearinterval", {3}), 0);
    EXPECT_EQ(Command("clearinterval", {1}), 0);
}

int FreeDisplayTwo(lua_State *L)
{
    LogMessage(L);
    EXPECT_EQ(Command("freedisplay", {2}), 0);
    return 0;
}

TEST_F(EventTest, ACallbackFreesTheDisplayBeingServed)
{
    DisplayRecord *one = Make(1);
    ASSERT_EQ(Install({{"onmousemove", FreeDisplayTwo}}), 0);
    DisplayRecord *two = Make(2);
    ASSERT_EQ(Install({{"onmousemove", LogMessage}, {"onkeydown", FreeDisplayTwo}}), 0);
    ASSERT_EQ(Button(1, 0, 0, 50, 50, {{"onmouseover", FreeDisplayTwo}}), 0);
    MakeDisplayCurrent(one);
    MovePointer(two, 10, 10);
    PostEvent(two, IEVENT_KEY, 1, 0, 'a', nullptr);
    PostEvent(two, IEVENT_KEY, 0, 0, 'a', nullptr);
    // Display 2's mouse move, then its key callback frees it with its next event queued.
    Check(4);
    EXPECT_EQ(CountDisplays(), 1);
    // An over callback frees the display whose buttons the walk is on.
    two = Make(2);
    ASSERT_EQ(Button(2, 0, 0, 50, 50, {{"onmouseover", LogMessage}}), 0);
    ASSERT_EQ(Button(1, 0, 0, 50, 50, {{"onmouseover", FreeDisplayTwo}}), 0);
    MakeDisplayCurrent(one);
    MovePointer(two, 10, 10);
    Check(3);
    EXPECT_EQ(CountDisplays(), 1);
    std::vector<std::string> want = {"OnMouseMove 2", "OnKeyDown 2", "OnMouseOver 1 button"};
    EXPECT_EQ(Log, want);
}

// A display freed by its own first-stage callback: the dispatcher lets go of it at once, so
// that a display made later in its memory is not served the freed one's event.
TEST_F(EventTest, TheDispatcherForgetsTheEventOfAFreedDisplay)
{
    DisplayRecord *one = Make(1);
    DisplayRecord *two = Make(2);
    ASSERT_EQ(Install({{"onmousedown", FreeDisplayTwo}}), 0);
    ASSERT_EQ(Button(1, 0, 0, 50, 50, {{"onmousedown", LogMessage}}), 0);
    MakeDisplayCurrent(one);
    PostEvent(two, IEVENT_LEFTBUTTON, 1, 10, 10, nullptr);
    ASSERT_EQ(Check(1), 1);
    EXPECT_EQ(DispatchState->phase, 5u);
    EXPECT_EQ(DispatchState->event.display, nullptr);
    EXPECT_EQ(Check(1), 0);
    std::vector<std::string> want = {"OnMouseDown 2"};
    EXPECT_EQ(Log, want);
}

BGPicNode *OtherPicture = nullptr;

// Shows another picture on the display and frees the one whose buttons are being walked.
int SwapPicture(lua_State *L)
{
    LogMessage(L);
    DisplayRecord *d = CurrentDisplay;
    BGPicNode *old = d->bgpic;
    d->bgpic = OtherPicture;
    CurrentPicture = OtherPicture;
    FreeBGPicButtons(old);
    return 0;
}

TEST_F(EventTest, ShowingAnotherPictureEndsTheOldButtonsWalk)
{
    DisplayRecord *d = Make(1);
    BGPicNode *own = d->bgpic;
    ObjectId id = {0, (void *)1};
    ASSERT_EQ(AddBGPicNode(&id, 1, 200, 100, 0, nullptr, nullptr, nullptr, 0xFFFFFFFF, nullptr, nullptr, 0, nullptr), 0);
    OtherPicture = BGPicList;
    while (OtherPicture->next) OtherPicture = OtherPicture->next;
    ASSERT_EQ(Button(2, 0, 0, 100, 100, {{"onmouseover", LogMessage}}), 0);
    ASSERT_EQ(Button(1, 0, 0, 100, 100, {{"onmouseover", SwapPicture}}), 0);
    MovePointer(d, 10, 10);
    Check(4);
    std::vector<std::string> want = {"OnMouseOver 1 button"};
    EXPECT_EQ(Log, want);
    EXPECT_EQ(own->buttons, nullptr);
    d->bgpic = own;
    CurrentPicture = own;
    FreeBGPicNode(OtherPicture);
}

TEST_F(EventTest, DumpButtonsListsTheCurrentPicture)
{
    Make(1);
    ASSERT_EQ(Button(1, 5, 6, 10, 20, {{"onmousedown", LogMessage}}), 0);
    ASSERT_EQ(Button(2, 0, 0, 1, 1, {{"onmousedown", LogMessage}}), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Command("dumpbuttons", {}), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("sizeof(kvBGPicButton): 100\nButtons: 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("(1) Type: 0 - X1: 0 - Y1: 0 - X2: 0 - Y2: 0\n(2) Type: 0 - X1: 5 - Y1: 6 - X2: 14 - Y2: 25\n"),
              std::string::npos)
        << out;
}

TEST(EventKeys, MessageKeyTexts)
{
    struct Case {
        uint32_t code;
        const char *text;
    } cases[] = {{0x110, "        "}, {0x112, "\n"}, {0x111, "\n"}, {0x114, " "}, {0x113, "ESC"},
                 {0x105, "F1"},       {0x100, "UP"}, {0x11E, "PAUSE"}, {'a', "a"}, {0xE9, "\xe9"}};
    for (const Case &c : cases) {
        char text[32];
        MessageKeyText(c.code, text);
        EXPECT_STREQ(text, c.text) << std::hex << c.code;
    }
    char text[32];
    ActionKeyText(0x110, text);
    EXPECT_STREQ(text, "TAB");
    EXPECT_EQ(LookupKeyName("lshift", KEYROW_FIRSTKEY, KEYROW_LASTQUALIFIER), 0x80010000u);
    EXPECT_EQ(LookupKeyName("lshift", KEYROW_FIRSTKEY, KEYROW_LASTKEY), 0u);
    EXPECT_EQ(LookupKeyName("closewindow", KEYROW_FIRSTKEY, KEYROW_LASTQUALIFIER), 0u);
}

int PushKeyDown(lua_State *L, const char *key)
{
    lua_pushstring(L, "iskeydown");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushstring(L, key);
    int code = lua_call(L, 1, 1);
    int result = code ? -code : (int)lua_tonumber(L, -1);
    lua_settop(L, 0);
    return result;
}

TEST_F(EventTest, KeyArgumentsAndJoystickButtons)
{
    DisplayRecord *d = Make(1);
    // A Latin-1 letter is its unsigned byte: a valid key-state index.
    d->window->keys[0xE9] = 1;
    EXPECT_EQ(PushKeyDown(L, "\xe9"), 1);
    EXPECT_EQ(PushKeyDown(L, "a"), 0);
    EXPECT_EQ(PushKeyDown(L, " "), -1055);
    EXPECT_EQ(PushKeyDown(L, ""), -1055);
    EXPECT_EQ(PushKeyDown(L, "NOSUCHKEY"), -1055);
    EXPECT_EQ(Command("joyfire", {0, 33}), 1055);
    EXPECT_EQ(Command("joyfire", {0, -1}), 1055);
}

TEST(EventLibrary, ThePlayerListsTheEventCommandsInTableOrder)
{
    std::string list = std::string(KV_BINARY_DIR) + "/events_private1.txt";
    std::string command = std::string(KV_BINARY_DIR) + "/KestroviaPlayer none.kva -private1 " + list;
    ASSERT_EQ(system(command.c_str()), 0);
    std::ifstream in(list);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    size_t at = all.find("::event\n");
    ASSERT_NE(at, std::string::npos) << all;
    std::istringstream lines(all.substr(at + 8));
    int count = 0;
    lines >> count;
    EXPECT_EQ(count, 47);
    std::vector<std::string> names;
    std::string name;
    while (lines >> name && name.rfind("::", 0) != 0) names.push_back(name);
    ASSERT_EQ(names.size(), 47u);
    EXPECT_EQ(names[0], "WaitLeftMouse");
    EXPECT_EQ(names[26], "CheckEvent");
    EXPECT_EQ(names[30], "MakeButton");
    EXPECT_EQ(names[46], "CountJoysticks");
    remove(list.c_str());
}

}  // namespace
