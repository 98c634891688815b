// Turned and scaled shape layers are drawn again at their new angle and size: their pixels equal
// those of the same shape drawn straight with that transform, not a resampled picture of the
// shape as it was first drawn.
#include <string>
#include <vector>

#include "tests/draw/draw_display_fixture.h"

namespace {

struct LayerShapesTest : DrawDisplayTest {
    std::vector<uint32_t> Area(int x0, int w, int h)
    {
        std::vector<uint32_t> v;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) v.push_back(Read(x0 + x, y));
        return v;
    }
};

// One shape drawn once straight with a transform table (layers off) and once as a plain
// layer that the style engine then transforms.
struct ShapeCase {
    const char *name;
    int formStyle;        // 1 plain, 16 anti-aliased
    int box;              // a box instead of an ellipse
    std::vector<std::pair<std::string, double>> transform;
};

TEST_F(LayerShapesTest, TransformedShapeLayerEqualsShapeDrawnStraight)
{
    const ShapeCase cases[] = {
        {"ellipse turned 30", 1, 0, {{"rotate", 30}}},
        {"soft ellipse turned 45", 16, 0, {{"rotate", 45}}},
        {"soft ellipse scaled 2 x 1.5", 16, 0, {{"scalex", 2}, {"scaley", 1.5}}},
        {"box turned 20", 1, 1, {{"rotate", 20}}},
    };
    const int W = 80, H = 80;
    for (const ShapeCase &c : cases) {
        SCOPED_TRACE(c.name);
        DisplayRecord *d = OpenDisplay(2 * W, H);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(Call("SetFillStyle", {1}), 0);
        ASSERT_EQ(Call("SetFormStyle", {c.formStyle}), 0);
        Arg table(nullptr);
        table.kind = Arg::TABLE;
        table.fields = c.transform;
        if (c.box) ASSERT_EQ(Call("Box", {20, 25, 30, 12, 0xFFAA00u, table}), 0);
        else ASSERT_EQ(Call("Ellipse", {20, 25, 14, 6, 0xFFAA00u, table}), 0);
        std::vector<uint32_t> straight = Area(0, W, H);

        ASSERT_EQ(Call("EnableLayers", {}), 0);
        if (c.box) ASSERT_EQ(Call("Box", {W + 20, 25, 30, 12, 0xFFAA00u}), 0);
        else ASSERT_EQ(Call("Ellipse", {W + 20, 25, 14, 6, 0xFFAA00u}), 0);
        ASSERT_EQ(CountLayers(d->bgpic), 1);
        EXPECT_EQ(GetLayerByIndex(d->bgpic, 1)->type, c.box ? LAYERTYPE_BOX : LAYERTYPE_ELLIPSE);
        ASSERT_EQ(Call("SetLayerStyle", {1, table}), 0);
        std::vector<uint32_t> layered = Area(W, W, H);

        int differ = 0, shown = 0;
        for (size_t i = 0; i < straight.size(); i++) {
            differ += layered[i] != straight[i];
            shown += straight[i] != 0;
        }
        EXPECT_EQ(differ, 0);
        EXPECT_GT(shown, 100);
        // And the window shows what the picture holds.
        for (int y = 0; y < H; y += 3)
            for (int x = 0; x < W; x += 3) ASSERT_EQ(WindowPixel(d, W + x, y), layered[(size_t)y * W + x]) << x << "," << y;
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        ASSERT_EQ(Call("SetFormStyle", {1}), 0);
    }
}

// Turning back to 0 gives the shape as first drawn; turning again draws it anew each time.
TEST_F(LayerShapesTest, TurningBackRestoresTheShape)
{
    DisplayRecord *d = OpenDisplay(80, 60);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Call("SetFillStyle", {1}), 0);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("Ellipse", {30, 25, 16, 5, 0x00FF00u}), 0);
    std::vector<uint32_t> first = Area(0, 80, 60);
    ASSERT_EQ(Call("RotateLayer", {1, 60}), 0);
    ASSERT_EQ(Call("RotateLayer", {1, 120}), 0);
    EXPECT_NE(Area(0, 80, 60), first);
    ASSERT_EQ(Call("RotateLayer", {1, 0}), 0);
    EXPECT_EQ(Area(0, 80, 60), first);
}

}  // namespace
