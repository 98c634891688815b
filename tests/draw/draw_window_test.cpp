// The draw commands on a real display: what they draw reaches the window exactly as it stands in
// the display's picture, sprites stay on top in the window, and shapes added as layers look
// the same as shapes drawn straight (their soft edges are not blended twice).
#include "tests/draw/draw_display_fixture.h"

namespace {

struct DrawWindowTest : DrawDisplayTest {
    // The first pixel where the window differs from the picture ReadPixel sees, or "same".
    std::string WindowVersusPicture(DisplayRecord *d, int w, int h)
    {
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                if (WindowPixel(d, x, y) != Read(x, y)) return std::to_string(x) + "," + std::to_string(y);
        return "same";
    }
};

TEST_F(DrawWindowTest, WindowShowsWhatWasDrawn)
{
    DisplayRecord *d = OpenDisplay(96, 64);
    ASSERT_NE(d, nullptr);
    // Direct fills, outlines and lines, and pictured shapes: soft, shadowed, gradient, turned.
    ASSERT_EQ(Call("SetFillStyle", {1}), 0);
    ASSERT_EQ(Call("Box", {2, 2, 20, 10, 0xFF0000u}), 0);
    ASSERT_EQ(Call("Plot", {30, 3, 0x00FF00u}), 0);
    ASSERT_EQ(Call("Line", {0, 60, 95, 40, 0xFFFFFFu}), 0);
    ASSERT_EQ(Call("SetFormStyle", {16}), 0);
    ASSERT_EQ(Call("Circle", {40, 5, 12, 0xFFAA00u}), 0);
    ASSERT_EQ(Call("SetFormStyle", {1}), 0);
    ASSERT_EQ(Call("SetFormStyle", {32, 0x40000080u, 3}), 0);
    ASSERT_EQ(Call("SetFillStyle", {2, 2, 0x0000FFu, 0xFFFF00u, 45}), 0);
    ASSERT_EQ(Call("Box", {66, 4, 24, 24, 0}), 0);
    ASSERT_EQ(Call("SetFormStyle", {1}), 0);
    ASSERT_EQ(Call("SetFillStyle", {0}), 0);
    ASSERT_EQ(Call("Box", {4, 30, 30, 20, 0x00FFFFu, 0, 20}), 0);
    EXPECT_EQ(Read(2, 2), 0xFF0000u);
    EXPECT_EQ(Read(30, 3), 0x00FF00u);
    EXPECT_EQ(WindowVersusPicture(d, 96, 64), "same");
}

TEST_F(DrawWindowTest, SpritesStayOnTopInTheWindow)
{
    DisplayRecord *d = OpenDisplay(64, 48);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Call("CreateBrush", {1, 10, 10, 0x0000FFu}), 0);
    ASSERT_EQ(Call("CreateSprite", {1, 3, 1}), 0);   // #BRUSH
    ASSERT_EQ(Call("DisplaySprite", {1, 20, 20}), 0);
    ASSERT_EQ(Call("SetFillStyle", {1}), 0);
    ASSERT_EQ(Call("Box", {15, 15, 20, 20, 0xFF0000u}), 0);   // the picture path, under the sprite
    ASSERT_EQ(Call("Line", {0, 25, 63, 25, 0xFFFFFFu}), 0);
    ASSERT_EQ(Call("Plot", {22, 22, 0x00FF00u}), 0);            // on the sprite: not drawn
    EXPECT_EQ(WindowPixel(d, 25, 22), 0x0000FFu);
    EXPECT_EQ(WindowPixel(d, 25, 25), 0x0000FFu);
    EXPECT_EQ(WindowPixel(d, 16, 16), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 5, 25), 0xFFFFFFu);
    EXPECT_EQ(Read(25, 22), 0xFF0000u);
    EXPECT_EQ(Read(25, 25), 0xFFFFFFu);
    EXPECT_EQ(Read(22, 22), 0xFF0000u);
    // Gone, the sprite leaves the drawing underneath.
    ASSERT_EQ(Call("RemoveSprite", {1}), 0);
    EXPECT_EQ(WindowPixel(d, 25, 22), 0xFF0000u);
    EXPECT_EQ(WindowPixel(d, 25, 25), 0xFFFFFFu);
}

TEST_F(DrawWindowTest, ShapeLayersLookLikeShapesDrawnStraight)
{
    DisplayRecord *d = OpenDisplay(80, 40);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Call("SetFillStyle", {1}), 0);
    ASSERT_EQ(Call("SetFormStyle", {16}), 0);
    ASSERT_EQ(Call("Circle", {4, 4, 12, 0x80FFAA00u}), 0);
    std::vector<uint32_t> straight;
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 30; x++) straight.push_back(Read(x, y));
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("Circle", {44, 4, 12, 0x80FFAA00u}), 0);
    ASSERT_EQ(CountLayers(d->bgpic), 1);
    int differ = 0, soft = 0;
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 30; x++) {
            const uint32_t p = Read(40 + x, y);
            differ += p != straight[(size_t)y * 30 + x];
            soft += p != 0 && p != straight[(size_t)15 * 30 + 15];
            EXPECT_EQ(WindowPixel(d, 40 + x, y), p) << x << "," << y;
        }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(soft, 20);   // the rim is anti-aliased, so the comparison saw soft pixels
}

}  // namespace
