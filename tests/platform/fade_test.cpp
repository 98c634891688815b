// Screen fades through the windows' gamma ramps, driven by a fake ramp setter and clock: down to
// black in 0.5 s, up again in 1.0 s with each window's own ramp put back, windows that open or
// close mid-fade, the end of a reservation at shutdown and after 10 s; skipped with token 0
// where the driver takes no ramps.
#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

#include "platform/linux/os_internal.h"
#include "tests/platform/window_fixture.h"

namespace {

typedef std::vector<uint16_t> Ramp;

// A curved ramp of the window's own, so that a put-back ramp is told from a linear one.
Ramp OwnRamp()
{
    Ramp r(OS_GAMMA_RAMP);
    for (int i = 0; i < OS_GAMMA_RAMP; i++) r[i] = (uint16_t)((i % 256) * (i % 256) + 7 * (i / 256) + 1);
    return r;
}

struct SetCall {
    SDL_Window *window;
    int64_t at;
    Ramp ramp;
};

// The fake driver: every window starts with OwnRamp; sleeping moves the clock.
struct FakeGamma {
    int64_t now = 0;
    bool refuse = false;
    std::map<SDL_Window *, Ramp> ramps;
    std::vector<SetCall> sets;
} *Fake = nullptr;

const OsFadeHooks FakeHooks = {
    [](SDL_Window *w, uint16_t *out) {
        auto it = Fake->ramps.find(w);
        Ramp r = it == Fake->ramps.end() ? OwnRamp() : it->second;
        std::copy(r.begin(), r.end(), out);
        return 0;
    },
    [](SDL_Window *w, const uint16_t *in) {
        if (Fake->refuse) return -1;
        Fake->ramps[w] = Ramp(in, in + OS_GAMMA_RAMP);
        Fake->sets.push_back({w, Fake->now, Fake->ramps[w]});
        return 0;
    },
    []() -> int64_t { return Fake->now; },
    [](int64_t micros) { Fake->now += micros; },
};

// The brightness of a ramp as the share of the own ramp's top red entry it keeps (0..1).
double Level(const Ramp &r)
{
    return (double)r[255] / OwnRamp()[255];
}

class FadeTest : public WindowTest {
protected:
    FakeGamma fake;

    void SetUp() override
    {
        WindowTest::SetUp();
        Fake = &fake;
        OsSetFadeHooks(&FakeHooks);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        OsSetFadeHooks(nullptr);
        Fake = nullptr;
    }

    Ramp Current(OsWindowRecord *w) { return fake.ramps.count(w->window) ? fake.ramps[w->window] : OwnRamp(); }

    // The sets of one window from call `from` on, checked to move one way only.
    void ExpectMonotonic(size_t from, bool down)
    {
        double last = down ? 2 : -1;
        for (size_t i = from; i < fake.sets.size(); i++) {
            double l = Level(fake.sets[i].ramp);
            if (down) EXPECT_LE(l, last) << "set " << i;
            else EXPECT_GE(l, last) << "set " << i;
            last = l;
        }
    }
};

TEST_F(FadeTest, DownInHalfASecondUpInOneSecondOwnRampBack)
{
    int token = 0;
    OsFadeOut(&token, 1);
    ASSERT_NE(token, 0);
    EXPECT_EQ(fake.now, 500000);
    EXPECT_GE(fake.sets.size(), 20u);   // stepped, not jumped
    ExpectMonotonic(0, true);
    EXPECT_EQ(Current(win), Ramp(OS_GAMMA_RAMP, 0));
    // Half way down the level is about half.
    for (const SetCall &s : fake.sets)
        if (s.at == 250000) EXPECT_NEAR(Level(s.ramp), 0.5, 0.03);

    size_t upFrom = fake.sets.size();
    OsFadeIn(token, 1);
    EXPECT_EQ(fake.now, 1500000);
    EXPECT_GE(fake.sets.size() - upFrom, 40u);
    ExpectMonotonic(upFrom, false);
    for (const SetCall &s : fake.sets)
        if (s.at == 1000000) EXPECT_NEAR(Level(s.ramp), 0.5, 0.03);
    EXPECT_EQ(Current(win), OwnRamp());
    EXPECT_EQ(win->fadeRamp, nullptr);

    // The reservation is gone: the same token does nothing now.
    size_t sets = fake.sets.size();
    OsFadeIn(token, 1);
    EXPECT_EQ(fake.sets.size(), sets);
    EXPECT_EQ(fake.now, 1500000);
}

// Screen mode switches close and reopen windows between the two fades.
TEST_F(FadeTest, WindowsOpenedOrClosedMidFade)
{
    int token = 0;
    OsFadeOut(&token, 1);
    ASSERT_NE(token, 0);
    OsWindowRecord *second = nullptr;
    int owner2 = 0;
    ASSERT_EQ(OsAllocWindowRecord(&owner2, &second), 0);
    ASSERT_EQ(OsOpenWindow(second, 0, 0, 0, 64, 48, "Second", 0, nullptr), 0);
    EXPECT_EQ(Current(second), Ramp(OS_GAMMA_RAMP, 0));   // opens dark, like the others

    SDL_Window *first = win->window;
    OsCloseWindow(win);
    ASSERT_FALSE(fake.sets.empty());
    EXPECT_EQ(fake.sets.back().window, first);
    EXPECT_EQ(fake.sets.back().ramp, OwnRamp());         // its own ramp back before it went

    OsFadeIn(token, 1);
    EXPECT_EQ(Current(second), OwnRamp());

    // Every window gone before the fade in (the displays freed at exit): nothing to wait for.
    OsFadeOut(&token, 1);
    ASSERT_NE(token, 0);
    SDL_Window *secondWindow = second->window;
    EXPECT_EQ(fake.ramps[secondWindow], Ramp(OS_GAMMA_RAMP, 0));
    OsCloseWindow(second);
    EXPECT_EQ(fake.ramps[secondWindow], OwnRamp());
    const int64_t before = fake.now;
    OsFadeIn(token, 1);
    EXPECT_EQ(fake.now, before);
    OsFreeWindowRecord(second);
}

TEST_F(FadeTest, ReservationEndsAtShutdownAndAfterTenSeconds)
{
    int token = 0;
    OsFadeOut(&token, 1);
    ASSERT_NE(token, 0);
    SDL_Window *w = win->window;
    OsShutdown();   // the player ends mid-fade
    EXPECT_EQ(fake.ramps[w], OwnRamp());
    size_t sets = fake.sets.size();
    OsFadeIn(token, 1);
    EXPECT_EQ(fake.sets.size(), sets);

    ASSERT_EQ(OsOpenWindow(win, 0, 10, 20, 320, 200, "Test", 1, nullptr), 0);
    OsFadeOut(&token, 1);
    ASSERT_NE(token, 0);
    fake.now += 9400000;
    OsFadeExpire();
    EXPECT_EQ(Current(win), Ramp(OS_GAMMA_RAMP, 0));     // 9.9 s: still held
    fake.now += 100000;
    OsFadeExpire();
    EXPECT_EQ(Current(win), OwnRamp());
    sets = fake.sets.size();
    OsFadeIn(token, 1);
    EXPECT_EQ(fake.sets.size(), sets);
}

// No ramps, no fade: the dummy driver has none, and a driver may refuse them. The token is 0,
// no time passes and the fade in does nothing.
TEST_F(FadeTest, SkippedWithTokenZeroWithoutRamps)
{
    for (bool dummy : {true, false}) {
        SCOPED_TRACE(dummy ? "dummy driver" : "refused ramp");
        if (dummy) {
            OsSetFadeHooks(nullptr);
        } else {
            OsSetFadeHooks(&FakeHooks);
            fake.refuse = true;
        }
        int token = -1;
        auto start = std::chrono::steady_clock::now();
        OsFadeOut(&token, 1);
        EXPECT_EQ(token, 0);
        OsFadeIn(token, 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
        EXPECT_EQ(fake.now, 0);
        EXPECT_TRUE(fake.sets.empty());
        EXPECT_EQ(win->fadeRamp, nullptr);
    }
}

}  // namespace
