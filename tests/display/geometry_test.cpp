// Position constants, #KEEPASPRAT sizes, the blit rectangle clip and the proportional fit of a
// scaled display.
#include <gtest/gtest.h>

#include <cstring>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"

namespace {

struct PosCase {
    int32_t v, size, total;
    double anchor;
    int32_t want;
};

TEST(ResolvePos, ConstantsAgainstAGivenTotal)
{
    const PosCase xs[] = {
        {POS_CENTER, 100, 640, 0, 270},
        {POS_CENTER - 10, 100, 640, 0, 260},
        {POS_CENTER + 4999, 100, 640, 0, 270 + 4999},
        {POS_CENTER + 5000, 100, 640, 0, POS_CENTER + 5000},   // no constant: unchanged
        {POS_CENTER - 4999, 100, 640, 0, 270 - 4999},
        {POS_CENTER, 101, 640, 0, 269},                        // (640 - 101) / 2 truncates
        {POS_CENTER, 700, 640, 0, -30},                        // toward zero, not down
        {POS_LEFT + 5, 100, 640, 0, 5},
        {POS_RIGHT, 100, 640, 0, 540},
        {POS_RIGHT, 800, 640, 0, -160},                        // not clamped
        {POS_LEFTOUT, 100, 640, 0, -100},
        {POS_RIGHTOUT - 1, 100, 640, 0, 639},
        {POS_CENTER, 100, 640, 0.5, 320},                      // anchor adds trunc(size x anchor)
        {POS_TOP, 100, 640, 0, POS_TOP},                       // a y constant on the x axis
        {17, 100, 640, 0, 17},
    };
    for (const PosCase &c : xs) EXPECT_EQ(ResolveXPos(c.v, c.size, c.total, c.anchor), c.want) << c.v;
    EXPECT_EQ(ResolveYPos(POS_BOTTOM, 10, 480, 0), 470);
    EXPECT_EQ(ResolveYPos(POS_TOPOUT, 10, 480, 0), -10);
    EXPECT_EQ(ResolveYPos(POS_BOTTOMOUT + 2, 10, 480, 0), 482);
    EXPECT_EQ(ResolveYPos(POS_LEFT, 10, 480, 0), POS_LEFT);
}

TEST(ResolvePos, TotalZeroUsesTheCurrentPictureOrItsClipRegion)
{
    BGPicNode pic;
    memset(&pic, 0, sizeof pic);
    pic.width = 640;
    pic.height = 480;
    CurrentPicture = &pic;
    EXPECT_EQ(ResolveXPos(POS_CENTER, 100, 0, 0), 270);
    EXPECT_EQ(ResolveYPos(POS_CENTER, 80, 0, 0), 200);

    ClipRegionNode region;
    memset(&region, 0, sizeof region);
    region.x = 100;
    region.y = 50;
    region.width = 200;
    region.height = 100;
    pic.clipRegion = &region;
    EXPECT_EQ(ResolveXPos(POS_CENTER, 100, 0, 0), 150);   // centred in the region, origin added
    EXPECT_EQ(ResolveYPos(POS_BOTTOM, 10, 0, 0), 140);
    EXPECT_EQ(ResolveXPos(30, 100, 0, 0), 30);            // plain coordinates are not moved

    // No current picture: the total is 0 (nothing is read through a null picture).
    CurrentPicture = nullptr;
    EXPECT_EQ(ResolveXPos(POS_CENTER, 100, 0, 0), -50);
    EXPECT_EQ(ResolveXPos(POS_RIGHT, 100, 0, 0), -100);
}

TEST(KeepAspectRatio, CompletesOneSideAndRefusesBadSizes)
{
    struct Case {
        int32_t sw, sh, w, h;
        int code;
        int32_t ww, wh;
    } cases[] = {
        {640, 480, KEEPASPRAT, 100, 0, 133, 100},      // 133.33 truncated
        {3, 2, KEEPASPRAT, 3, 0, 5, 3},                // 4.5 rounds up
        {640, 480, 320, KEEPASPRAT, 0, 320, 240},
        {1000, 1, 100, KEEPASPRAT, 0, 100, 1},         // 0.1 would be no size at all
        {1, 1000, KEEPASPRAT, 100, 0, 1, 100},
        {640, 480, 200, 300, 0, 200, 300},             // nothing to complete
        {640, 480, KEEPASPRAT, KEEPASPRAT, 1055, KEEPASPRAT, KEEPASPRAT},
        {640, 480, 0, KEEPASPRAT, 1218, 0, KEEPASPRAT},
        {0, 480, KEEPASPRAT, 10, 1218, KEEPASPRAT, 10},
        {640, 480, 10, -5, 1218, 10, -5},
    };
    for (const Case &c : cases) {
        int32_t w = c.w, h = c.h;
        EXPECT_EQ(ApplyKeepAspectRatio(c.sw, c.sh, &w, &h), c.code) << c.sw << "x" << c.sh << " " << c.w << "," << c.h;
        EXPECT_EQ(w, c.ww);
        EXPECT_EQ(h, c.wh);
    }
}

TEST(ClipBltRect, DestinationAndRegionLimits)
{
    // Negative destination: the source start moves by the same amount.
    int32_t sx = 0, sy = 0, dx = -3, dy = -2, w = 8, h = 8;
    ClipBltRect(nullptr, &sx, &sy, &dx, &dy, &w, &h, 8, 8, 8, 8, 0);
    EXPECT_EQ(sx, 3);
    EXPECT_EQ(sy, 2);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 6);

    // A region larger than the destination never lets the blit run past the destination.
    ClipRegionNode r;
    memset(&r, 0, sizeof r);
    r.x = 2;
    r.y = 2;
    r.width = 100;
    r.height = 100;
    sx = sy = 0;
    dx = 0;
    dy = 5;
    w = h = 50;
    ClipBltRect(&r, &sx, &sy, &dx, &dy, &w, &h, 50, 50, 8, 8, 1);
    EXPECT_EQ(dx, 2);
    EXPECT_EQ(sx, 2);
    EXPECT_EQ(w, 6);
    EXPECT_EQ(h, 3);

    // The region's own edge when it lies inside the destination; the use flag off ignores it.
    r.width = 3;
    sx = sy = dx = dy = 0;
    w = h = 8;
    ClipBltRect(&r, &sx, &sy, &dx, &dy, &w, &h, 8, 8, 8, 8, 1);
    EXPECT_EQ(w, 3);
    sx = sy = dx = dy = 0;
    w = h = 8;
    ClipBltRect(&r, &sx, &sy, &dx, &dy, &w, &h, 8, 8, 8, 8, 0);
    EXPECT_EQ(w, 8);
}

// Coordinates and sizes at the ends of the 32-bit range: what lies outside is cut away, nothing
// wraps round into the picture, and resolved positions stay within kCoordLimit.
TEST(ClipBltRect, FarOutsideIsCutNotWrapped)
{
    const int32_t kMin = INT32_MIN, kMax = INT32_MAX;
    struct Case {
        int32_t sx, dx, w;
        int32_t wantSx, wantDx, wantW;   // wantW 0: nothing left
    } cases[] = {
        {0, kMin, 8, 0, 0, 0},
        {0, kMin, kMax, 0, 0, 0},
        {0, kMax, 8, 0, 0, 0},
        {0, kMax - 3, kMax, 0, 0, 0},
        {0, -3, kMax, 3, 0, 5},            // reaches in from the left: cut to the source
        {2, 5, kMax, 2, 5, 3},             // cut to the destination's right edge
    };
    for (const Case &c : cases) {
        int32_t sx = c.sx, sy = 0, dx = c.dx, dy = 0, w = c.w, h = 4;
        ClipBltRect(nullptr, &sx, &sy, &dx, &dy, &w, &h, 8, 8, 8, 8, 0);
        if (c.wantW == 0) {
            EXPECT_TRUE(w < 1 || h < 1) << c.dx << " " << c.w;
            continue;
        }
        EXPECT_EQ(sx, c.wantSx) << c.dx;
        EXPECT_EQ(dx, c.wantDx) << c.dx;
        EXPECT_EQ(w, c.wantW) << c.dx;
    }
    // A region whose far edge lies beyond 2^31.
    ClipRegionNode r;
    memset(&r, 0, sizeof r);
    r.x = 4;
    r.width = kMax;
    r.height = kMax;
    int32_t sx = 0, sy = 0, dx = 0, dy = 0, w = 8, h = 8;
    ClipBltRect(&r, &sx, &sy, &dx, &dy, &w, &h, 8, 8, 8, 8, 1);
    EXPECT_EQ(dx, 4);
    EXPECT_EQ(w, 4);

    int32_t x = kMin, y = 0, cw = kMax, ch = 5;
    EXPECT_FALSE(ClipRectToArea(&x, &y, &cw, &ch, 8, 8));
    x = -3, cw = kMax;
    ASSERT_TRUE(ClipRectToArea(&x, &y, &cw, &ch, 8, 8));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(cw, 8);

    EXPECT_EQ(ResolveXPos(kMax, 10, 640, 0), kCoordLimit);
    EXPECT_EQ(ResolveXPos(kMin, 10, 640, 0), -kCoordLimit);
    EXPECT_EQ(ResolveXPos(POS_RIGHT, kMin, 640, 0), kCoordLimit);
    EXPECT_EQ(ResolveXPos(POS_LEFTOUT, kMax, 640, 1.0), -kCoordLimit);
}

TEST(ScaleFit, KeepProportionsSplitsTheRestIntoStrips)
{
    int32_t sw, sh, strips[4];
    FitProportionally(640, 480, 1000, 600, &sw, &sh, strips);
    EXPECT_EQ(sw, 800);
    EXPECT_EQ(sh, 600);
    EXPECT_EQ(strips[0], 100);
    EXPECT_EQ(strips[2], 100);
    EXPECT_EQ(strips[1], 0);
    EXPECT_EQ(strips[3], 0);
    FitProportionally(640, 480, 641, 1000, &sw, &sh, strips);   // width first
    EXPECT_EQ(sw, 641);
    EXPECT_EQ(sh, 480);
    EXPECT_EQ(strips[1] + strips[3], 520);
    EXPECT_EQ(strips[3] - strips[1], 0);
    FitProportionally(3, 3, 10, 7, &sw, &sh, strips);           // odd rest: right gets one more
    EXPECT_EQ(sw, 7);
    EXPECT_EQ(strips[0], 1);
    EXPECT_EQ(strips[2], 2);
}

}  // namespace
