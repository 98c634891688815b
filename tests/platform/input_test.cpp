// The event pump under the dummy video driver: SDL events pushed with SDL_PushEvent travel the
// same road as real input and come out as posted events, window state and quit decisions.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/platform/window_fixture.h"

namespace {

struct KeyCase {
    const char *what;
    SDL_Keycode sym;
    SDL_Scancode scancode;
    Uint16 mod;
    const char *text;   // the text input SDL queues behind the key-down, or none
    int code;           // posted key code, 0 for nothing
};

class KeyTest : public WindowTest {
protected:
    void PushKey(const KeyCase &k, int down)
    {
        SDL_Event e = {};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = win->windowId;
        e.key.keysym.sym = k.sym;
        e.key.keysym.scancode = k.scancode;
        e.key.keysym.mod = k.mod;
        SDL_PushEvent(&e);
        if (down && k.text) {
            SDL_Event t = {};
            t.type = SDL_TEXTINPUT;
            t.text.windowID = win->windowId;
            strcpy(t.text.text, k.text);
            SDL_PushEvent(&t);
        }
    }
};

TEST_F(KeyTest, KeysPostTheirCodesDownAndUp)
{
    const KeyCase cases[] = {
        {"a", SDLK_a, SDL_SCANCODE_A, 0, "a", 97},
        {"e acute", 0xe9, SDL_SCANCODE_2, 0, "\xc3\xa9", 233},
        {"shifted A", SDLK_a, SDL_SCANCODE_A, KMOD_LSHIFT, "A", 65},
        {"space", SDLK_SPACE, SDL_SCANCODE_SPACE, 0, " ", 276},
        {"F11", SDLK_F11, SDL_SCANCODE_F11, 0, nullptr, 278},
        {"keypad Enter", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 0, nullptr, 3},
        {"Return", SDLK_RETURN, SDL_SCANCODE_RETURN, 0, nullptr, 274},
        {"Esc", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, nullptr, 275},
        {"key without text", SDLK_b, SDL_SCANCODE_B, 0, nullptr, 98},
        {"euro sign", SDLK_e, SDL_SCANCODE_E, KMOD_RALT, "\xe2\x82\xac", 0},
        {"Control+C", SDLK_c, SDL_SCANCODE_C, KMOD_LCTRL, nullptr, 0},
        {"Control+A", SDLK_a, SDL_SCANCODE_A, KMOD_LCTRL, nullptr, 0},
    };
    for (const KeyCase &k : cases) {
        SCOPED_TRACE(k.what);
        rec.events.clear();
        PushKey(k, 1);
        Drain();
        if (k.code) EXPECT_EQ(win->keys[k.code], 1);
        PushKey(k, 0);
        Drain();
        if (!k.code) {
            // The euro sign's key-up has no code either: nothing at all is posted.
            EXPECT_TRUE(rec.events.empty());
            continue;
        }
        ASSERT_EQ(rec.events.size(), 2u);
        EXPECT_EQ(rec.events[0].type, (uint32_t)OS_EV_KEY);
        EXPECT_EQ(rec.events[0].a, 1u);
        EXPECT_EQ(rec.events[0].c, (uint32_t)k.code);
        EXPECT_EQ(rec.events[1].a, 0u);
        EXPECT_EQ(rec.events[1].c, (uint32_t)k.code);   // the key-up posts the key-down's code
        EXPECT_EQ(rec.events[0].owner, &owner);
        EXPECT_EQ(win->keys[k.code], 0);
    }
}

TEST_F(KeyTest, AKeyPressedWithControlPostsNoReleaseEither)
{
    PushKey({"", SDLK_a, SDL_SCANCODE_A, KMOD_LCTRL, nullptr, 0}, 1);
    PushKey({"", SDLK_a, SDL_SCANCODE_A, 0, nullptr, 0}, 0);   // Control was let go first
    Drain();
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(KeyTest, QualifiersFollowTheKeyEvents)
{
    PushKey({"", SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT | KMOD_LALT, nullptr, 0}, 1);
    Drain();
    EXPECT_EQ(OsGetQualifiers(), OS_QUAL_MARK | OS_QUAL_LSHIFT | OS_QUAL_LALT);
    PushKey({"", SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_RCTRL, nullptr, 0}, 0);
    Drain();
    EXPECT_EQ(OsGetQualifiers(), OS_QUAL_MARK | OS_QUAL_LCONTROL);   // right-hand keys count as left
    // Their releases go to another program once the window loses the focus.
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Drain();
    EXPECT_EQ(OsGetQualifiers(), OS_QUAL_MARK);
}

TEST_F(KeyTest, ControlCAndEscapeStopOnlyWhileTheirSwitchIsOn)
{
    OsSetClock(FakeClock);
    PushKey({"", SDLK_c, SDL_SCANCODE_C, KMOD_LCTRL, nullptr, 0}, 1);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 1);   // CtrlCQuit is on by default
    EXPECT_TRUE(rec.events.empty());

    rec.stop = 0;
    OsSetTag(8, 0);
    PushKey({"", SDLK_c, SDL_SCANCODE_C, KMOD_LCTRL, nullptr, 0}, 1);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 0);

    // Escape with EscapeQuit off is forgotten at once: switching it on later stops nothing.
    PushKey({"", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, nullptr, 0}, 1);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 0);
    EXPECT_EQ(win->escape, 0);
    OsSetTag(10, 1);
    AdvanceMicros(20000);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 0);
    PushKey({"", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, nullptr, 0}, 1);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 1);
}

TEST_F(KeyTest, ModeSwitchKeysOnlyForAnOnlyDisplayThatAllowsIt)
{
    const KeyCase altReturn = {"", SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_LALT, nullptr, 274};
    struct {
        int only;
        uint32_t flags;
        int switched;
    } cases[] = {{1, 0, 1}, {0, 0, -2}, {1, OS_WF_NOMODESWITCH, -2}};
    for (auto &c : cases) {
        rec.onlyDisplay = c.only;
        rec.switchedTo = -2;
        rec.events.clear();
        win->flags = c.flags;
        PushKey(altReturn, 1);
        PushKey(altReturn, 0);
        Drain();
        PumpOnce();
        EXPECT_EQ(rec.switchedTo, c.switched);
        int modeEvents = 0, keyEvents = 0;
        for (auto &e : rec.events) {
            modeEvents += e.type == OS_EV_MODESWITCH;
            keyEvents += e.type == OS_EV_KEY;
        }
        EXPECT_EQ(modeEvents, c.switched == 1 ? 1 : 0);
        EXPECT_EQ(keyEvents, 2);   // the Return key itself is posted as well
    }
    // From full screen back to a window.
    rec.onlyDisplay = 1;
    rec.displayMode = 1;
    win->flags = 0;
    PushKey(altReturn, 0);
    Drain();
    PumpOnce();
    EXPECT_EQ(rec.switchedTo, 0);
}

TEST_F(WindowTest, ButtonsWheelAndMotion)
{
    struct {
        Uint8 button;
        uint32_t type;
        int *state;
    } cases[] = {{SDL_BUTTON_LEFT, OS_EV_LEFTBUTTON, &win->leftButton},
                 {SDL_BUTTON_RIGHT, OS_EV_RIGHTBUTTON, &win->rightButton},
                 {SDL_BUTTON_MIDDLE, OS_EV_MIDBUTTON, &win->midButton}};
    for (auto &c : cases) {
        rec.events.clear();
        SDL_Event e = {};
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.windowID = win->windowId;
        e.button.button = c.button;
        e.button.x = 12;
        e.button.y = 34;
        SDL_PushEvent(&e);
        Drain();
        EXPECT_EQ(*c.state, 1);
        e.type = SDL_MOUSEBUTTONUP;
        SDL_PushEvent(&e);
        Drain();
        EXPECT_EQ(*c.state, 0);
        ASSERT_EQ(rec.events.size(), 2u);
        EXPECT_EQ(rec.events[0].type, c.type);
        EXPECT_EQ(rec.events[0].a, 12u);
        EXPECT_EQ(rec.events[0].b, 34u);
        EXPECT_EQ(rec.events[0].c, 1u);
        EXPECT_EQ(rec.events[1].c, 0u);
    }
    rec.events.clear();
    for (int y : {2, -1, 0}) {
        SDL_Event e = {};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = win->windowId;
        e.wheel.y = y;
        e.wheel.x = y == 0 ? 3 : 0;
        SDL_PushEvent(&e);
    }
    Drain();
    ASSERT_EQ(rec.events.size(), 2u);   // the sideways wheel is neither up nor down
    EXPECT_EQ(rec.events[0].type, (uint32_t)OS_EV_WHEELUP);
    EXPECT_EQ(rec.events[1].type, (uint32_t)OS_EV_WHEELDOWN);

    // A warp moves the pointer the player knows (attributes 6 and 7), also headless.
    win->mouseMoved = 0;
    OsWarpPointer(win, 50, 60);
    Drain();
    int32_t x = 0, y = 0;
    ASSERT_EQ(OsGetAttr(win, 6, &x, nullptr), 1);
    ASSERT_EQ(OsGetAttr(win, 7, &y, nullptr), 1);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 60);
    EXPECT_EQ(win->mouseMoved, 1);
}

TEST_F(WindowTest, LeftMouseQuitHoldsWhileTheButtonIsDown)
{
    OsSetTag(9, 1);
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = win->windowId;
    e.button.button = SDL_BUTTON_LEFT;
    SDL_PushEvent(&e);
    EXPECT_EQ(Drain(), 1);
}

TEST_F(WindowTest, BorderlessWindowsTakeClicksLikeOthers)
{
    // A borderless window over the whole screen (a backdrop): its clicks are posted as usual.
    OsWindowRecord *backdrop = nullptr;
    int other = 0;
    ASSERT_EQ(OsAllocWindowRecord(&other, &backdrop), 0);
    ASSERT_EQ(OsOpenWindow(backdrop, OS_WF_BORDERLESS, 0, 0, 1024, 768, "", 0, nullptr), 0);
    Drain();
    rec.events.clear();
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = backdrop->windowId;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = 5;
    e.button.y = 5;
    SDL_PushEvent(&e);
    Drain();
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].owner, &other);
    EXPECT_EQ(rec.events[0].type, (uint32_t)OS_EV_LEFTBUTTON);
    int32_t borders[4];
    OsGetBorderSizes(OS_WF_BORDERLESS, borders);
    EXPECT_EQ(borders[0] | borders[1] | borders[2] | borders[3], 0);
    OsFreeWindowRecord(backdrop);
}

TEST_F(WindowTest, CloseStopsOnlyWithoutACloseHandler)
{
    for (int handler : {1, 0}) {
        rec.closeHandler = handler;
        rec.events.clear();
        PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
        EXPECT_EQ(Drain(), handler ? 0 : 1);
        ASSERT_EQ(rec.events.size(), 1u);
        EXPECT_EQ(rec.events[0].type, (uint32_t)OS_EV_CLOSE);
    }
}

TEST_F(WindowTest, MovesAndSizesPostOnlyWhenTheyDiffer)
{
    // The player's own size and position are recorded first: SDL's report of them is silent.
    OsSizeWindow(win, 300, 180);
    OsMoveWindow(win, 40, 50);
    PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 300, 180);
    PushWindowEvent(SDL_WINDOWEVENT_MOVED, 40 + win->borders[0], 50 + win->borders[1]);
    Drain();
    PumpOnce();
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(rec.resizes, 0);

    PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 400, 250);
    PushWindowEvent(SDL_WINDOWEVENT_MOVED, 70 + win->borders[0], 80 + win->borders[1]);
    Drain();
    PumpOnce();
    ASSERT_EQ(rec.events.size(), 2u);
    EXPECT_EQ(rec.events[0].type, (uint32_t)OS_EV_SIZED);
    EXPECT_EQ(rec.events[1].type, (uint32_t)OS_EV_MOVED);
    EXPECT_EQ(rec.geometryCalls, 2);
    EXPECT_EQ(rec.resizes, 1);   // the display is rebuilt for the new size once
    EXPECT_EQ(win->width, 400);
    EXPECT_EQ(win->x, 70);
}

TEST_F(WindowTest, FocusCollapseAndExpose)
{
    win->keys[97] = 1;
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    PushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    PushWindowEvent(SDL_WINDOWEVENT_RESTORED);   // not collapsed: nothing
    PushWindowEvent(SDL_WINDOWEVENT_EXPOSED);
    Drain();
    EXPECT_EQ(win->keys[97], 0);   // a window that loses the focus forgets its held keys
    std::vector<uint32_t> types;
    for (auto &e : rec.events) types.push_back(e.type);
    std::vector<uint32_t> want = {OS_EV_INACTIVE, OS_EV_ACTIVE, OS_EV_COLLAPSED, OS_EV_EXPANDED};
    EXPECT_EQ(types, want);
    EXPECT_EQ(rec.refreshes, 1);
    EXPECT_EQ(win->windowState, 1);
}

TEST_F(WindowTest, DropsPostOneListOfLatin1Paths)
{
    auto drop = [&](std::vector<const char *> files) {
        SDL_Event e = {};
        e.type = SDL_DROPBEGIN;
        e.drop.windowID = win->windowId;
        SDL_PushEvent(&e);
        for (const char *f : files) {
            e.type = SDL_DROPFILE;
            e.drop.file = SDL_strdup(f);
            SDL_PushEvent(&e);
        }
        e.type = SDL_DROPCOMPLETE;
        e.drop.file = nullptr;
        SDL_PushEvent(&e);
        Drain();
    };
    drop({"a", "b"});
    EXPECT_TRUE(rec.events.empty());   // no drop target yet
    OsUpdateDropTarget(win, 1);
    drop({"a", "\xe2\x82\xac.txt", "b"});   // the euro sign has no Latin-1 form: left out
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].type, (uint32_t)OS_EV_DROP);
    EXPECT_EQ(rec.events[0].extra, std::string("a\0b\0\0", 5));
    rec.events.clear();
    drop({"/tmp/caf\xc3\xa9"});
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].extra, std::string("/tmp/caf\xe9\0\0", 11));
    rec.events.clear();
    drop({});
    drop({"\xe2\x82\xac"});
    EXPECT_TRUE(rec.events.empty());   // an empty drop posts nothing
}

TEST_F(WindowTest, ThePumpRestsTenMillisecondsWhenNothingIsQueued)
{
    OsSetClock(FakeClock);
    AdvanceMicros(20000);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 0);
    win->closeRequested = 1;
    AdvanceMicros(5000);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 0);   // too soon: the windows are not looked at
    EXPECT_EQ(win->closeRequested, 1);
    AdvanceMicros(5000);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 1);
    EXPECT_EQ(win->closeRequested, 0);
}

TEST_F(WindowTest, SignalsCloseEveryWindowOrStop)
{
    raise(SIGTERM);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 1);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_EQ(rec.events[0].type, (uint32_t)OS_EV_CLOSE);

    // Control+C in the terminal is Control+C in the windows.
    rec.stop = 0;
    rec.events.clear();
    raise(SIGINT);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 1);
    EXPECT_TRUE(rec.events.empty());

    // With no window open, SIGINT stops while CtrlCQuit is on and SIGHUP always.
    OsCloseWindow(win);
    rec.stop = 0;
    OsSetTag(8, 0);
    raise(SIGINT);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 0);
    raise(SIGHUP);
    EXPECT_EQ(OsPumpEvents(nullptr, nullptr), 1);
}

TEST(Signals, ASecondSignalWhileTheFirstWaitsEndsTheProcess)
{
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OsInstallSignals();
        raise(SIGTERM);   // taken: waits for a pump that never comes
        raise(SIGTERM);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

TEST(TestInput, EventFileGroupsArePushedWhenTheWaitWouldBlock)
{
    Recorder rec;
    rec.closeHandler = 1;   // the close box posts its event without stopping
    ASSERT_EQ(OsInit(), 0);
    RegisterRecorder(&rec);
    char path[] = "/tmp/kvtestinputXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char text[] = "press 10 20\nrelease 10 20\n\n\nkey a down\nkey a up\nwheel down\nkey F11 down\n"
                        "bogus\nwindow close\n";
    ASSERT_EQ(write(fd, text, sizeof text - 1), (ssize_t)(sizeof text - 1));
    close(fd);
    setenv("KV_TEST_INPUT", path, 1);
    OsWindowRecord *win = nullptr;
    int owner = 0;
    ASSERT_EQ(OsAllocWindowRecord(&owner, &win), 0);
    ASSERT_EQ(OsOpenWindow(win, 0, 0, 0, 200, 100, "", 1, nullptr), 0);
    unsetenv("KV_TEST_INPUT");
    for (int i = 0; i < 100 && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); i++)
        OsPumpEvents(nullptr, nullptr);
    rec.events.clear();
    auto got = [&] {
        std::vector<std::vector<uint32_t>> v;
        for (auto &e : rec.events) v.push_back({e.type, e.a, e.b, e.c});
        rec.events.clear();
        return v;
    };
    // Each wait is followed by the pump, as in the player; it takes what the group left queued.
    auto block = [] {
        OsWaitForEvent(nullptr);
        for (int i = 0; i < 10 && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); i++) OsPumpEvents(nullptr, nullptr);
    };
    block();   // first group
    std::vector<std::vector<uint32_t>> first = {{1, 10, 20, 1}, {1, 10, 20, 0}};
    EXPECT_EQ(got(), first);
    EXPECT_EQ(win->mouseX, 10);
    block();   // second group, the blank lines between them skipped
    std::vector<std::vector<uint32_t>> second = {{3, 1, 0, 97}, {3, 0, 0, 97}, {12, 0, 0, 0}, {3, 1, 0, 278}, {7, 0, 0, 0}};
    EXPECT_EQ(got(), second);
    EXPECT_EQ(rec.stop, 0);
    block();   // used up: the stop flag instead of a hang
    EXPECT_NE(rec.stop, 0);
    OsStopTestInput();
    unlink(path);
    OsFreeWindowRecord(win);
    OsSetUpcalls(nullptr);
    OsShutdown();
}

}  // namespace
