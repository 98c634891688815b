// Window refresh under the dummy driver, whose window surfaces can be read back: blits, window
// primitives and their clipping, the dirty list, pacing, screen modes and grabs.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/platform/window_fixture.h"

namespace {

// A picture of pixel format 11 (red in bits 8-15, green 16-23, blue 24-31).
struct Picture {
    std::vector<uint32_t> words;
    OsPixelBuffer buf;
    Picture(int w, int h) : words((size_t)w * h)
    {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) words[(size_t)y * w + x] = Format11(Colour(x, y));
        buf = {words.data(), w, h, w * 4, 11};
    }
    static uint32_t Colour(int x, int y)
    {
        return (uint32_t)(x * 40 + 10) << 16 | (uint32_t)(y * 40 + 20) << 8 | 0x33;
    }
    static uint32_t Format11(uint32_t rgb)
    {
        return (rgb >> 16 & 0xff) << 8 | (rgb >> 8 & 0xff) << 16 | (rgb & 0xff) << 24;
    }
};

class RefreshTest : public WindowTest {
protected:
    uint32_t At(int x, int y)
    {
        SDL_Surface *s = SDL_GetWindowSurface(win->window);
        Uint32 p = *(Uint32 *)((Uint8 *)s->pixels + y * s->pitch + x * 4);
        Uint8 r, g, b;
        SDL_GetRGB(p, s->format, &r, &g, &b);
        return (uint32_t)r << 16 | (uint32_t)g << 8 | b;
    }
    void Clear()
    {
        OsWindowRectFill(win, -win->offsetX, -win->offsetY, 4000, 4000, 0);
        OsPresentAll();
    }
    // The one dirty rectangle as x, y, width, height.
    std::vector<int> Dirty()
    {
        if (win->dirtyCount != 1) return {win->dirtyCount};
        const OsRect &r = win->dirty[0];
        return {r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1};
    }
};

TEST_F(RefreshTest, BlitsLandAtTheContentOffsetUnscaledAndScaled)
{
    Picture pic(4, 3);
    win->offsetX = 5;
    win->offsetY = 7;
    Clear();
    OsBltToWindow(&pic.buf, 1, 1, win, 2, 3, 2, 2, 0, 0, 0);
    EXPECT_EQ(At(7, 10), Picture::Colour(1, 1));
    EXPECT_EQ(At(8, 11), Picture::Colour(2, 2));
    EXPECT_EQ(At(9, 10), 0u);   // only the 2 x 2 rectangle
    EXPECT_EQ(Dirty(), (std::vector<int>{7, 10, 2, 2}));

    Clear();
    OsBltToWindow(&pic.buf, 0, 0, win, 0, 0, 4, 3, 8, 6, 0);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 8; x++)
            ASSERT_EQ(At(5 + x, 7 + y), Picture::Colour(x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(At(13, 7), 0u);
    EXPECT_EQ(Dirty(), (std::vector<int>{5, 7, 8, 6}));

    // A picture of 0x00RRGGBB words copies straight.
    std::vector<uint32_t> rgb = {0x123456};
    OsPixelBuffer plain = {rgb.data(), 1, 1, 4, 10};
    OsBltToWindow(&plain, 0, 0, win, 0, 0, 1, 1, 0, 0, 0);
    EXPECT_EQ(At(5, 7), 0x123456u);
}

TEST_F(RefreshTest, EveryWriteIsClippedToTheWindowAndTheSource)
{
    Picture pic(4, 3);
    Clear();
    // Negative source and destination, and sizes far beyond both.
    OsBltToWindow(&pic.buf, -2, -1, win, -1, 0, 100, 100, 0, 0, 0);
    // Source pixel (sx + i, sy + j) goes to (dx + i, dy + j): only real pixels are copied.
    EXPECT_EQ(At(1, 1), Picture::Colour(0, 0));
    EXPECT_EQ(At(4, 3), Picture::Colour(3, 2));
    EXPECT_EQ(At(0, 0), 0u);
    EXPECT_EQ(At(5, 1), 0u);
    EXPECT_EQ(Dirty(), (std::vector<int>{1, 1, 4, 3}));
    Clear();
    OsBltToWindow(&pic.buf, 0, 0, win, 318, 198, 4, 3, 0, 0, 0);
    EXPECT_EQ(At(319, 199), Picture::Colour(1, 1));
    OsBltToWindow(&pic.buf, 0, 0, win, 400, 0, 4, 3, 0, 0, 0);
    OsBltToWindow(&pic.buf, 0, 0, win, -10, -10, 4, 3, 0, 0, 0);
    OsBltToWindow(&pic.buf, 5, 5, win, 0, 0, 4, 3, 0, 0, 0);
    OsBltToWindow(&pic.buf, 0, 0, win, -100, -100, 0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff, 0);
    OsBltToWindow(&pic.buf, 0, 0, win, 0, 0, 4, 3, -8, -6, 0);
    // Scaled, with a source rectangle reaching past the picture: only real pixels are drawn.
    Clear();
    OsBltToWindow(&pic.buf, 2, 0, win, 0, 0, 4, 3, 8, 6, 0);
    EXPECT_EQ(At(0, 0), Picture::Colour(2, 0));
    EXPECT_EQ(At(7, 0), 0u);

    Clear();
    OsWindowRectFill(win, -5, -5, 10, 10, 0xff0000);
    EXPECT_EQ(At(4, 4), 0xff0000u);
    EXPECT_EQ(At(5, 5), 0u);
    EXPECT_EQ(Dirty(), (std::vector<int>{0, 0, 5, 5}));
    OsWindowRectFill(win, 2000, 0, 10, 10, 0xff0000);
    OsWindowRectFill(win, 0x7fffff00, 0x7fffff00, 0x7fffffff, 0x7fffffff, 0xff0000);
    OsWindowWritePixel(win, -1, 0, 0xffffff);
    OsWindowWritePixel(win, 320, 199, 0xffffff);
    OsWindowWritePixel(win, 319, 199, 0x00ff00);
    EXPECT_EQ(At(319, 199), 0x00ff00u);
    OsWindowDrawLine(win, -50, -50, 10, 10, 0x0000ff);
    EXPECT_EQ(At(0, 0), 0x0000ffu);
    EXPECT_EQ(At(10, 10), 0x0000ffu);
    OsWindowDrawLine(win, -1000, 100, 5000, 100, 0x0000ff);
    EXPECT_EQ(At(319, 100), 0x0000ffu);

    // The shape alpha goes into the free byte, inside the shape, the source and the target.
    win->shapeAlpha = (uint8_t *)malloc(320 * 200);
    memset(win->shapeAlpha, 0xAB, 320 * 200);
    Picture dst(4, 3);
    OsMergeAlpha(win, &pic.buf, -1, -1, &dst.buf, -1, -1, 10, 10);
    EXPECT_EQ(dst.words[0], pic.words[0] | 0xAB);
    OsMergeAlpha(win, nullptr, 0, 0, &dst.buf, 318, 198, 10, 10);
    OsMergeAlpha(win, &pic.buf, 3, 2, &dst.buf, 0, 0, 10, 10);
    EXPECT_EQ(dst.words[0], pic.words[2 * 4 + 3] | 0xAB);
    EXPECT_EQ(dst.words[1], pic.words[1] | 0xAB);   // outside the 1 x 1 source: unchanged
}

TEST_F(RefreshTest, ACollapsedWindowIsDrawnOnlyWhenForced)
{
    Picture pic(4, 3);
    Clear();
    PushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    Drain();
    ASSERT_EQ(win->windowState, 2);
    OsBltToWindow(&pic.buf, 0, 0, win, 0, 0, 4, 3, 0, 0, 0);
    OsWindowRectFill(win, 10, 10, 5, 5, 0xffffff);
    OsWindowWritePixel(win, 20, 20, 0xffffff);
    OsWindowDrawLine(win, 30, 30, 40, 40, 0xffffff);
    EXPECT_EQ(At(0, 0), 0u);
    EXPECT_EQ(At(10, 10), 0u);
    EXPECT_EQ(At(20, 20), 0u);
    EXPECT_EQ(At(30, 30), 0u);
    EXPECT_EQ(win->dirtyCount, 0);
    OsBltToWindow(&pic.buf, 0, 0, win, 0, 0, 4, 3, 0, 0, OS_BLT_FORCE);
    EXPECT_EQ(At(0, 0), Picture::Colour(0, 0));
}

TEST_F(RefreshTest, AnUnsupportedShapeGivesAPlainWindow)
{
    std::vector<uint8_t> shape(64 * 32, 0);
    for (int i = 0; i < 64 * 16; i++) shape[i] = 1;
    OsWindowRecord *shaped = nullptr;
    int other = 0;
    ASSERT_EQ(OsAllocWindowRecord(&other, &shaped), 0);
    ASSERT_EQ(OsOpenWindow(shaped, OS_WF_BORDERLESS, 0, 0, 64, 32, "", 0, shape.data()), 0);
    EXPECT_EQ(shaped->shaped, 0);   // the dummy driver has no shaped windows
    ASSERT_NE(shaped->shapeAlpha, nullptr);
    EXPECT_EQ(shaped->shapeAlpha[0], 255);   // the shape is kept for the alpha merge
    EXPECT_EQ(shaped->shapeAlpha[64 * 16], 0);
    OsFreeWindowRecord(shaped);
}

TEST_F(RefreshTest, ALineDirtiesTheBoxOfItsEnds)
{
    OsPresentAll();
    OsWindowDrawLine(win, 10, 5, 2, 9, 0xffffff);
    EXPECT_EQ(Dirty(), (std::vector<int>{2, 5, 9, 5}));
    EXPECT_EQ(At(10, 5), 0xffffffu);
    EXPECT_EQ(At(2, 9), 0xffffffu);
}

TEST_F(RefreshTest, ManyDrawsCollapseIntoOneRectangle)
{
    OsPresentAll();
    for (int i = 0; i < 200; i++) OsWindowWritePixel(win, i, i % 100, 0xffffff);
    ASSERT_GE(win->dirtyCount, 1);
    int32_t x1 = 1 << 30, y1 = 1 << 30, x2 = -1, y2 = -1;
    for (int i = 0; i < win->dirtyCount; i++) {
        x1 = std::min(x1, win->dirty[i].x1);
        y1 = std::min(y1, win->dirty[i].y1);
        x2 = std::max(x2, win->dirty[i].x2);
        y2 = std::max(y2, win->dirty[i].y2);
    }
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y1, 0);
    EXPECT_EQ(x2, 199);
    EXPECT_EQ(y2, 99);
    uint32_t before = win->presentCount;
    OsFlushDisplay(nullptr, win);
    EXPECT_EQ(win->presentCount, before + 1);
    EXPECT_EQ(win->dirtyCount, 0);
}

TEST_F(RefreshTest, AboveTheMonitorRateEveryOtherFrameIsPresented)
{
    ASSERT_EQ(OsMonitorRate(), 60);   // the dummy driver reports no rate
    int32_t limit = 0;
    OsSetTag(16, 120);
    OsGetAttr(nullptr, 16, &limit, nullptr);
    EXPECT_EQ(limit, 120);
    uint32_t before = win->presentCount;
    for (int i = 0; i < 6; i++) {
        OsWindowWritePixel(win, i, 0, 0xffffff);
        OsFlushDisplay(nullptr, win);
    }
    EXPECT_EQ(win->presentCount - before, 3u);
    OsSetTag(16, 0);
    OsGetAttr(nullptr, 16, &limit, nullptr);
    EXPECT_EQ(limit, 60);
    before = win->presentCount;
    for (int i = 0; i < 3; i++) {
        OsWindowWritePixel(win, i, 0, 0xffffff);
        OsFlushDisplay(nullptr, win);
    }
    EXPECT_EQ(win->presentCount - before, 3u);
}

TEST_F(RefreshTest, GrabsAreClippedToTheScreen)
{
    OsMoveWindow(win, 0, 0);
    Picture pic(4, 3);
    Clear();
    OsBltToWindow(&pic.buf, 0, 0, win, 0, 0, 4, 3, 0, 0, 0);
    int32_t w = 0, h = 0;
    uint32_t *px = OsGrabScreen(-10, -10, 30, 30, &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 20);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(px[0], Picture::Colour(0, 0));
    EXPECT_EQ(px[2 * 20 + 3], Picture::Colour(3, 2));
    free(px);
    px = OsGrabScreen(1020, 760, 10, 10, &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 8);
    EXPECT_EQ(px[0], 0u);   // no window there: black
    free(px);
    EXPECT_EQ(OsGrabScreen(1024, 0, 10, 10, &w, &h), nullptr);
    EXPECT_EQ(OsGrabScreen(-20, -20, 10, 10, &w, &h), nullptr);
    EXPECT_EQ(OsGrabScreen(0, 0, 0, 10, &w, &h), nullptr);
}

TEST_F(RefreshTest, ScreenModesAttributesAndFades)
{
    EXPECT_EQ(OsSetScreenMode(100000, 100000, 32), 1004);
    ASSERT_EQ(OsSetScreenMode(1024, 768, 32), 0);
    EXPECT_EQ(win->fullScreen, 0);   // 320 x 200 doesn't cover the screen
    OsWindowRecord *full = nullptr;
    int other = 0;
    ASSERT_EQ(OsAllocWindowRecord(&other, &full), 0);
    ASSERT_EQ(OsOpenWindow(full, OS_WF_BORDERLESS, 0, 0, 1024, 768, "", 1, nullptr), 0);
    EXPECT_EQ(full->fullScreen, 1);
    OsRestoreScreenMode();
    EXPECT_EQ(full->fullScreen, 0);
    OsFreeWindowRecord(full);

    struct {
        int attribute;
        int32_t value;
    } attrs[] = {{5, 32}, {12, 16}, {13, 16}, {14, 1024}, {15, 768}, {20, 1}, {22, 0}};
    for (auto &a : attrs) {
        int32_t v = -1;
        EXPECT_EQ(OsGetAttr(nullptr, a.attribute, &v, nullptr), 1);
        EXPECT_EQ(v, a.value) << a.attribute;
    }
    int32_t v = 0, area[4] = {};
    EXPECT_EQ(OsGetAttr(nullptr, 23, &v, area), 1);
    EXPECT_EQ(area[2], 1024);
    EXPECT_EQ(area[3], 768);
    EXPECT_EQ(OsGetAttr(nullptr, 3, &v, nullptr), 0);   // a bitmap attribute: not the platform's

    int token = -1;
    OsFadeOut(&token, 1);
    EXPECT_EQ(token, 0);   // no fader: the screen is never left black
    OsFadeIn(token, 1);
    // Pointers are handles even where SDL has none to show.
    const uint32_t argb[4] = {0xff000000, 0, 0, 0xffffffff};
    OsCursor *cursor = OsCreateCursor(argb, 1, 1, 2, 2);
    ASSERT_NE(cursor, nullptr);
    OsSetCursor(win, cursor, 2);
    OsHideCursor(win);
    EXPECT_EQ(win->pointerHidden, 1);
    OsShowCursor(win);
    OsFreeCursor(cursor);
    EXPECT_EQ(OsCreateCursor(argb, 0, 0, 0, 2), nullptr);
}

TEST_F(RefreshTest, PreviewOfAWindow)
{
    // A window with a gradient, a scaled picture and a line, grabbed and saved for a person to see.
    OsMoveWindow(win, 0, 0);
    std::vector<uint32_t> grad(320 * 200);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            grad[(size_t)y * 320 + x] =
                Picture::Format11((uint32_t)(x * 255 / 319) << 16 | (uint32_t)(y * 255 / 199) << 8 | 0x80);
    OsPixelBuffer g = {grad.data(), 320, 200, 320 * 4, 11};
    OsBltToWindow(&g, 0, 0, win, 0, 0, 320, 200, 0, 0, 0);
    Picture pic(4, 3);
    win->offsetX = 20;
    win->offsetY = 20;
    OsBltToWindow(&pic.buf, 0, 0, win, 0, 0, 4, 3, 80, 60, 0);
    OsWindowDrawLine(win, 0, 100, 280, 150, 0xffffff);
    int32_t w, h;
    uint32_t *px = OsGrabScreen(0, 0, 320, 200, &w, &h);
    ASSERT_NE(px, nullptr);
    std::string path = std::string(KV_BINARY_DIR) + "/platform_window.png";
    EXPECT_EQ(OsSavePNG(path.c_str(), px, w, h, 0), 0);
    free(px);
}

}  // namespace
