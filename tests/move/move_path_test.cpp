// Position sequences of moves, computed without drawing: diagonals with a remainder, the bounce
// and damping swings, SMOOTHOUT, the sine and curve paths, huge speeds and coordinates near the
// 32-bit limits. Writes build/previews/move_paths.png with one row per style.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "display/graphics.h"
#include "display/moveobject.h"
#include "gfx/blit.h"

namespace {

struct Point {
    int64_t x, y;
    bool operator==(const Point &o) const { return x == o.x && y == o.y; }
};

MoveContext Make(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t w, int32_t h, int32_t style, int32_t speed,
                 double amplitude = 50)
{
    MoveContext c;
    memset(&c, 0, sizeof c);
    c.x = x1;
    c.y = y1;
    c.endX = x2;
    c.endY = y2;
    c.width = w;
    c.height = h;
    c.style = style;
    MoveSetupPath(&c, speed, amplitude);
    return c;
}

// Every position a move draws, in order (at most `limit`; more means it never arrived).
std::vector<Point> Path(MoveContext c, size_t limit = 100000)
{
    std::vector<Point> out;
    int32_t finished = 0;
    while (!finished && out.size() < limit) {
        MoveAdvance(&c, &finished);
        out.push_back({c.x, c.y});
    }
    return out;
}

// The points where the path turns around on the axis, and its last point.
std::vector<int64_t> Turns(const std::vector<Point> &p, bool vertical)
{
    std::vector<int64_t> out;
    for (size_t i = 1; i + 1 < p.size(); i++) {
        int64_t a = vertical ? p[i - 1].y : p[i - 1].x, b = vertical ? p[i].y : p[i].x,
                c = vertical ? p[i + 1].y : p[i + 1].x;
        if ((b - a) * (c - b) < 0) out.push_back(b);
    }
    out.push_back(vertical ? p.back().y : p.back().x);
    return out;
}

TEST(MovePath, DiagonalSpreadsTheRemainderOverTheSlowerAxis)
{
    struct Case {
        const char *what;
        int32_t x2, y2, w, h;
        std::vector<Point> expected;
    } cases[] = {
        // Wider than high: x moves by the speed, y by 7 / 3 = 2 plus one pixel on the first step.
        {"wide", 25, 7, 20, 10, {{10, 3}, {20, 5}, {25, 7}}},
        {"tall", 7, 25, 10, 20, {{3, 10}, {5, 20}, {7, 25}}},
        // Square: x is the slower axis; its step is 0 and the remainder alone carries it.
        {"square", 2, 25, 10, 10, {{1, 10}, {2, 20}, {2, 25}}},
        {"up-left tall", -7, -25, 10, 20, {{-3, -10}, {-5, -20}, {-7, -25}}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_EQ(Path(Make(0, 0, k.x2, k.y2, k.w, k.h, MOVESTYLE_STRAIGHT, 10)), k.expected);
    }
}

TEST(MovePath, BounceAndDampedSwingPastTheEnd)
{
    struct Case {
        const char *what;
        int32_t x1, y1, x2, y2, style;
        bool vertical;
        std::vector<int64_t> turns;
    } cases[] = {
        {"bounce right", 0, 0, 100, 0, MOVESTYLE_BOUNCE, false, {260, 20, 140, 80, 110, 100}},
        {"bounce up", 0, 100, 0, 0, MOVESTYLE_BOUNCE, true, {-160, 80, -40, 20, -10, 0}},
        {"damped left", 300, 0, 100, 0, MOVESTYLE_DAMPED, false, {20, 100}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<Point> p = Path(Make(k.x1, k.y1, k.x2, k.y2, 10, 10, k.style, 10));
        EXPECT_EQ(Turns(p, k.vertical), k.turns);
    }
    // The steps: 10 out to +160, 5 back, 3, 2, then 1 for the last two approaches.
    std::vector<Point> p = Path(Make(0, 0, 100, 0, 10, 10, MOVESTYLE_BOUNCE, 10));
    std::vector<int64_t> steps;
    for (size_t i = 1; i < p.size(); i++) {
        int64_t s = std::llabs(p[i].x - p[i - 1].x);
        if (steps.empty() || steps.back() != s) steps.push_back(s);
    }
    EXPECT_EQ(steps, (std::vector<int64_t>{10, 5, 3, 2, 1}));
    // Damped: three quarters of the step out to end + 80, half of that back.
    p = Path(Make(0, 0, 100, 0, 10, 10, MOVESTYLE_DAMPED, 10));
    EXPECT_EQ(p[10], (Point{108, 0}));
    EXPECT_EQ(Turns(p, false), (std::vector<int64_t>{180, 100}));
    EXPECT_EQ(p[p.size() - 2], (Point{104, 0}));
}

TEST(MovePath, SmoothOutSlowsWithinSixStepsOfTheEnd)
{
    std::vector<Point> p = Path(Make(0, 0, 200, 0, 10, 10, MOVESTYLE_SMOOTHOUT, 10));
    ASSERT_EQ(p.back(), (Point{200, 0}));
    int64_t previous = 0, lastStep = 10;
    for (const Point &q : p) {
        int64_t step = q.x - previous;
        if (previous < 140) EXPECT_EQ(step, 10) << "at " << previous;   // 60 = six steps from the end
        else if (q.x < 200) EXPECT_TRUE(step == lastStep - 1 || (step == 1 && lastStep == 1)) << "at " << previous;
        EXPECT_GE(step, 1);
        lastStep = step;
        previous = q.x;
    }
    EXPECT_EQ(p[14].x, 149);   // the first slowed step: 9
}

TEST(MovePath, SinePathsReturnToTheirStartIndexAndEndOnTheEndPoint)
{
    // n = 20 steps of sine step 2: the index starts at 79 - 40 = 39.
    MoveContext c = Make(0, 100, 200, 100, 10, 10, MOVESTYLE_SINE, 10);
    EXPECT_EQ(c.sineIndex, 39);
    std::vector<Point> p = Path(c);
    EXPECT_EQ(p[0], (Point{10, (int64_t)(100 + 50 * sin(0.08 * 40))}));
    EXPECT_EQ(p.back(), (Point{200, 100}));
    // n x sine step = 79 x 1: the path starts at index 0.
    c = Make(0, 100, 316, 100, 10, 10, MOVESTYLE_SINE, 4);
    EXPECT_EQ(c.sineIndex, 0);
    EXPECT_EQ(Path(c)[0].y, (int64_t)(100 + 50 * sin(0.08)));
    // BIGSINE swings by the amplitude given (half the picture's height).
    p = Path(Make(0, 200, 600, 200, 10, 10, MOVESTYLE_BIGSINE, 10, 150));
    int64_t low = 200, high = 200;
    for (const Point &q : p) low = std::min(low, q.y), high = std::max(high, q.y);
    EXPECT_GT(high, 340);
    EXPECT_LT(low, 60);
    EXPECT_EQ(p.back(), (Point{600, 200}));
}

TEST(MovePath, SineOffTheHorizontalIsAStraightMove)
{
    for (int32_t style : {MOVESTYLE_SINE, MOVESTYLE_BIGSINE}) {
        EXPECT_EQ(Path(Make(5, 0, 5, 30, 10, 10, style, 10)),
                  (std::vector<Point>{{5, 10}, {5, 20}, {5, 30}}));
        EXPECT_EQ(Path(Make(0, 0, 30, 30, 20, 10, style, 10)),
                  Path(Make(0, 0, 30, 30, 20, 10, MOVESTYLE_STRAIGHT, 10)));
    }
}

TEST(MovePath, SpeedAboveTheSineTableStaysInsideIt)
{
    // Speed 400: sine step 100 is more than the table holds; every height stays on the wave.
    for (int32_t style : {MOVESTYLE_SINE, MOVESTYLE_BIGSINE}) {
        MoveContext c = Make(0, 100, 20000, 100, 10, 10, style, 400);
        EXPECT_GE(c.sineIndex, 0);
        EXPECT_LT(c.sineIndex, MOVE_SINE_ENTRIES);
        std::vector<Point> p = Path(c);
        for (const Point &q : p) {
            EXPECT_GE(q.y, 50);
            EXPECT_LE(q.y, 150);
        }
        EXPECT_EQ(p.back(), (Point{20000, 100}));
    }
}

TEST(MovePath, CurvesLeaveTheLineOnTheirSideAndEndOnTheEndPoint)
{
    for (int32_t style : {MOVESTYLE_LOWERCURVE, MOVESTYLE_UPPERCURVE}) {
        for (int32_t x2 : {300, -300}) {
            std::vector<Point> p = Path(Make(0, 200, x2, 200, 10, 10, style, 10));
            EXPECT_EQ(p.back(), (Point{x2, 200}));
            EXPECT_EQ(p.size(), 30u);
            int64_t far = p[14].y - 200;   // half way: 150 sin(~pi/2)
            EXPECT_NEAR((double)far, style == MOVESTYLE_LOWERCURVE ? 149.0 : -149.0, 2.0);
        }
    }
}

TEST(MovePath, HugeCoordinatesAndSpeedsNeitherOverflowNorTurnAround)
{
    // 4,000,000,000 pixels to the right: too far for a 32-bit difference.
    std::vector<Point> p = Path(Make(-2000000000, 0, 2000000000, 0, 10, 10, MOVESTYLE_STRAIGHT, 1000000000));
    EXPECT_EQ(p, (std::vector<Point>{{-1000000000, 0}, {0, 0}, {1000000000, 0}, {2000000000, 0}}));
    p = Path(Make(-2000000000, 0, 2000000000, 0, 10, 10, MOVESTYLE_STRAIGHT, 10), 5);
    EXPECT_EQ(p[0].x, -1999999990);
    // Swing targets beyond the range stop at its edge instead of wrapping to the other side.
    p = Path(Make(0, 0, 2000000000, 0, 10, 10, MOVESTYLE_BOUNCE, 100000000), 60);
    std::vector<int64_t> turns = Turns(p, false);
    ASSERT_GE(turns.size(), 3u);
    EXPECT_EQ(turns[0], INT32_MAX);
    EXPECT_EQ(turns[1], 1200000000);
    for (int32_t style : {MOVESTYLE_DAMPED, MOVESTYLE_SMOOTHOUT, MOVESTYLE_STRAIGHT}) {
        SCOPED_TRACE(style);
        p = Path(Make(0, 0, 2000000000, 2000000000, 10, 10, style, 1500000000), 1000);
        ASSERT_LT(p.size(), 1000u);
        EXPECT_EQ(p.back(), (Point{2000000000, 2000000000}));
        EXPECT_GT(p[0].x, 0);
        p = Path(Make(INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, 10, 10, style, INT32_MAX), 1000);
        ASSERT_LT(p.size(), 1000u);
        EXPECT_EQ(p.back(), (Point{INT32_MIN, INT32_MAX}));
        if (style == MOVESTYLE_DAMPED) EXPECT_EQ(Turns(p, true)[0], INT32_MAX);
    }
    MoveContext c = Make(0, 0, INT32_MAX, 0, 10, 10, MOVESTYLE_SINE, INT32_MAX);
    EXPECT_EQ(Path(c, 10).back(), (Point{INT32_MAX, 0}));
    EXPECT_EQ(MoveCountSteps(&c, 1000), 2);
}

TEST(MovePath, SpeedAndAnimSpeedArguments)
{
    struct Case {
        int32_t argument, speed, spriteDelay, animDelay;
    } cases[] = {
        {-1, 10, 60, 60}, {-2, 15, 0, 0}, {-3, 5, 160, 160}, {-4, 0, 60, MOVESPEED_DEFAULT},
        {-5, 0, 0, 0},    {0, 0, 0, 0},   {7, 7, 140, 140},  {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.argument);
        EXPECT_EQ(MoveResolveSpeed(k.argument), k.speed);
        EXPECT_EQ(MoveFrameDelay(k.argument, MOVEKIND_SPRITE), k.spriteDelay);
        EXPECT_EQ(MoveFrameDelay(k.argument, MOVEKIND_ANIM), k.animDelay);
    }
}

// One row per style: each path drawn as dots, the start green, the end red.
TEST(MovePath, PreviewOfEveryStyle)
{
    const int32_t rowHeight = 420, width = 720;
    const int32_t styles = 8;
    BitMap *bm = AllocBitMap(width, rowHeight * styles);
    ASSERT_NE(bm, nullptr);
    RectFillBitMap(bm, 0, 0, width, rowHeight * styles, 0x202020);
    for (int32_t s = 0; s < styles; s++) {
        const int32_t base = s * rowHeight + rowHeight / 2;
        RectFillBitMap(bm, 0, s * rowHeight, width, 1, 0x606060);
        // The straight row goes diagonally so that it shows something besides a line.
        MoveContext c = s == MOVESTYLE_STRAIGHT ? Make(40, base - 150, 560, base + 150, 10, 10, s, 10)
                                                : Make(40, base, 560, base, 10, 10, s, 10, s == MOVESTYLE_BIGSINE ? 150 : 50);
        RectFillBitMap(bm, 38, c.y - 2, 5, 5, 0x00FF00);
        for (const Point &p : Path(c))
            if (p.x >= 0 && p.x + 3 <= width && p.y >= s * rowHeight && p.y + 3 <= (s + 1) * rowHeight)
                RectFillBitMap(bm, (int32_t)p.x, (int32_t)p.y, 3, 3, 0xFFFFFF);
        RectFillBitMap(bm, c.endX - 2, c.endY - 2, 5, 5, 0xFF0000);
    }
    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    EXPECT_EQ(SaveImageFile(IMGFMT_PNG, bm, width, rowHeight * styles, (dir + "/move_paths.png").c_str(), nullptr,
                            0xFFFFFFFF, nullptr, 90, 256, 0),
              0);
    FreeBitMap(bm);
}

}  // namespace
