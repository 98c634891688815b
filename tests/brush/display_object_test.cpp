// Brushes shown on a headless display with layers off: anchors and position constants, parts
// and their refusals, transformed copies, the transform option reader and the transformed size.
// Writes build/previews/brush_display.png.
#include "tests/brush/brush_fixture.h"

#include <cmath>

#include "display/bgpic.h"
#include "gfx/blit.h"
#include "pictures/display_object.h"
#include "runtime/errors.h"
#include "pictures/transform_record.h"

namespace {

using Fields = std::initializer_list<std::pair<std::string, double>>;
const uint32_t Red = 0xFF0000;

// The columns of row y of the window that show the colour, as "first..last" (or "none").
std::string Span(DisplayRecord *d, int y, uint32_t colour, int width)
{
    int first = -1, last = -1;
    for (int x = 0; x < width; x++)
        if (WindowPixel(d, x, y) == colour) {
            if (first < 0) first = x;
            last = x;
        }
    return first < 0 ? "none" : std::to_string(first) + ".." + std::to_string(last);
}

TEST_F(BrushTest, AnchorsAndPositionConstants)
{
    DisplayRecord *d = OpenDisplay(200, 60);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Call("CreateBrush", {1, 40, 10, Red}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 100, 0, Arg(Fields{{"anchorx", 0.5}})}), 0);
    EXPECT_EQ(Span(d, 5, Red, 200), "80..119");
    ASSERT_EQ(Call("DisplayBrush", {1, 100, 20, Arg(Fields{{"anchorx", 1.0}, {"anchory", 1.0}})}), 0);
    EXPECT_EQ(Span(d, 15, Red, 200), "60..99");
    EXPECT_EQ(Span(d, 20, Red, 200), "none");
    // #CENTER places the box as if there were no anchor.
    ASSERT_EQ(Call("DisplayBrush", {1, POS_CENTER, 40, Arg(Fields{{"anchorx", 0.9}})}), 0);
    EXPECT_EQ(Span(d, 45, Red, 200), "80..119");
    ASSERT_EQ(Call("DisplayBrush", {1, POS_RIGHT, POS_BOTTOM}), 0);
    EXPECT_EQ(Span(d, 59, Red, 200), "160..199");
    EXPECT_EQ(Call("DisplayBrush", {1, 0, 0, Arg(Fields{{"anchorx", 1.0001}})}), 1055);
    EXPECT_EQ(Call("DisplayBrush", {1, 0, 0, 5}), 1140);
    EXPECT_EQ(Call("DisplayBrush", {2, 0, 0}), 1174);
}

TEST_F(BrushTest, PartsMasksAndHandles)
{
    DisplayRecord *d = OpenDisplay(100, 40);
    ASSERT_EQ(Call("CreateBrush", {1, 40, 10, Red}), 0);
    EXPECT_EQ(Call("DisplayBrushPart", {1, 40, 0, 0, 0, 5, 5}), 1217);
    EXPECT_EQ(Call("DisplayBrushPart", {1, -1, 0, 0, 0, 5, 5}), 1154);
    EXPECT_EQ(Call("DisplayBrushPart", {1, 0, 10, 0, 0, 5, 5}), 1217);
    EXPECT_EQ(Call("DisplayBrushPart", {1, 0, 0, 0, 0, 0, 5}), 1218);
    // A part reaching past the brush is cut at its edge.
    ASSERT_EQ(Call("DisplayBrushPart", {1, 30, 0, 5, 0, 50, 3}), 0);
    EXPECT_EQ(Span(d, 1, Red, 100), "5..14");
    EXPECT_EQ(Span(d, 3, Red, 100), "none");

    // Through a mask: only visible pixels reach the window.
    ASSERT_EQ(Call("CreateBrush", {nullptr, 8, 2, 0x00FF00, Arg(Fields{{"mask", 1}, {"clear", 1}})}), 0);
    BrushNode *m = (BrushNode *)handle;
    WriteBitMapPixel(m->mask, 2, 0, MASKVISIBLE, 1);
    WriteBitMapPixel(m->mask, 5, 0, MASKVISIBLE, 1);
    lua_settop(L, 0);
    lua_pushstring(L, "displaybrush");
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushlightuserdata(L, m);
    lua_pushnumber(L, 50);
    lua_pushnumber(L, 20);
    ASSERT_EQ(lua_call(L, 3, 0), 0);
    EXPECT_EQ(WindowPixel(d, 52, 20), 0x00FF00u);
    EXPECT_EQ(WindowPixel(d, 55, 20), 0x00FF00u);
    EXPECT_EQ(WindowPixel(d, 53, 20), 0u);
    EXPECT_EQ(WindowPixel(d, 52, 21), 0u);
}

TEST_F(BrushTest, TransformedDrawingLeavesTheBrushAlone)
{
    DisplayRecord *d = OpenDisplay(120, 80);
    ASSERT_EQ(Call("CreateBrush", {1, 40, 10, Red}), 0);
    BrushNode *b = Brush(1);
    BitMap *before = b->bitmap;
    ASSERT_EQ(Call("DisplayBrush", {1, 10, 10, Arg(Fields{{"rotate", 90}})}), 0);
    EXPECT_EQ(b->bitmap, before);
    EXPECT_EQ(b->width, 40);
    EXPECT_EQ(b->height, 10);
    EXPECT_EQ(b->mask, nullptr);
    // A quarter turn counter-clockwise about the top left corner: 10 wide, 40 tall, standing
    // on the anchor's row.
    EXPECT_EQ(Span(d, 5, Red, 120), "10..19");
    EXPECT_EQ(Span(d, 12, Red, 120), "none");

    // A pure scale about the centre: 80 x 20 centred on (60, 60).
    ASSERT_EQ(Call("DisplayBrush", {1, 60, 60, Arg(Fields{{"scalex", 2}, {"scaley", 2}, {"anchorx", 0.5}, {"anchory", 0.5}})}), 0);
    EXPECT_EQ(Span(d, 60, Red, 120), "20..99");
    EXPECT_EQ(Call("DisplayBrush", {1, 0, 0, Arg::Transform({1, 2, 0.5, 1})}), 1055);
    EXPECT_EQ(Call("DisplayBrush", {1, 0, 0, Arg(Fields{{"scalex", 0}})}), 1055);

}

// A picture for a person to look at: one loaded brush shown plain, scaled, rotated about its
// centre, tinted, through a disc mask and transformed by a shear.
TEST_F(BrushTest, Gallery)
{
    const int W = 320, H = 120;
    DisplayRecord *d = OpenDisplay(W, H);
    std::string path = BrushTestPath("gallery.bmp");
    WriteBMP24(path, 48, 32, [](int x, int y) -> uint32_t {
        uint32_t c = (uint32_t)(x * 5) << 16 | (uint32_t)(y * 7) << 8 | 0x60;
        return (x / 8 + y / 8) % 2 ? c : c ^ 0x808080;
    });
    ASSERT_EQ(Call("LoadBrush", {1, path}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 8, 8}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 64, 8, Arg(Fields{{"scalex", 1.5}, {"scaley", 2.5}, {"smoothscale", 1}})}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 170, 45, Arg(Fields{{"rotate", 30}, {"anchorx", 0.5}, {"anchory", 0.5}, {"smoothscale", 1}})}), 0);
    ASSERT_EQ(Call("CopyBrush", {1, 2}), 0);
    ASSERT_EQ(Call("TintBrush", {2, 0xFF8000, "50%"}), 0);
    ASSERT_EQ(Call("DisplayBrush", {2, 230, 8}), 0);
    ASSERT_EQ(Call("CreateBrush", {3, 48, 32, 0, Arg(Fields{{"mask", 1}, {"clear", 1}})}), 0);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 48; x++)
            if ((x - 24) * (x - 24) + (y - 16) * (y - 16) < 15 * 15) WriteBitMapPixel(Brush(3)->mask, x, y, MASKVISIBLE, 1);
    ASSERT_EQ(Call("MixBrush", {3, 1, 255}), 0);
    ASSERT_EQ(Call("DisplayBrush", {3, 8, 70}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 230, 70, Arg::Transform({1, 0, 0.6, 1})}), 0);

    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    OsMakeDir(dir.c_str());
    std::vector<uint32_t> words((size_t)W * H);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) words[(size_t)y * W + x] = WindowPixel(d, x, y);
    EXPECT_EQ(OsSavePNG((dir + "/brush_display.png").c_str(), words.data(), W, H, 0), 0);
    EXPECT_EQ(WindowPixel(d, 8 + 47, 8 + 31), BrushPixel(Brush(1), 47, 31));
    EXPECT_EQ(WindowPixel(d, 8, 70), 0u);   // outside the disc
}

TEST_F(BrushTest, DrawingIntoASelectedBrushAndShowingIt)
{
    DisplayRecord *d = OpenDisplay(60, 40);
    ASSERT_EQ(Call("CreateBrush", {1, 20, 10, 0x000080}), 0);
    ASSERT_EQ(Call("CreateBrush", {2, 4, 4, Red}), 0);
    ASSERT_EQ(Call("SelectBrush", {1}), 0);
    ASSERT_EQ(Call("DisplayBrush", {2, 3, 2}), 0);
    EXPECT_EQ(Call("TintBrush", {1, 0, 10}), 1149);
    EXPECT_EQ(Call("FreeBrush", {1}), 1149);
    EXPECT_EQ(WindowPixel(d, 3, 2), 0u);   // nothing reached the window
    // Showing the selected brush ends the selection first.
    ASSERT_EQ(Call("DisplayBrush", {1, 10, 20}), 0);
    EXPECT_EQ(d->outputType, (uint32_t)OBJTYPE_DISPLAY);
    EXPECT_EQ(WindowPixel(d, 13, 22), Red);
    EXPECT_EQ(WindowPixel(d, 12, 22), 0x000080u);
    EXPECT_EQ(BrushPixel(Brush(1), 6, 5), Red);
}

// A stand-in anim library: frame n is a 4 x 4 picture of colour 0x10 * (n + 1), owned by the
// caller.
int FakeAnimFrames(lua_State *, ObjectId id, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha,
                   int32_t *width, int32_t *height, int *owned)
{
    if (id.number != 5) {
        SetErrorNumber((long)id.number);
        return 1176;
    }
    if (frame < 0 || frame >= 3) return 1094;
    *bitmap = AllocBitMap(4, 4);
    RectFillBitMap(*bitmap, 0, 0, 4, 4, 0x10u * (frame + 1));
    *width = *height = 4;
    *owned = 1;
    return 0;
}

TEST_F(BrushTest, AnimFramesAndBGPicParts)
{
    DisplayRecord *d = OpenDisplay(40, 30);
    EXPECT_EQ(DisplayObject(L, nullptr, nullptr, OBJTYPE_ANIM, {5, nullptr}, 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr,
                            nullptr, nullptr, nullptr, 0),
              1176);   // no anim library
    SetObjectPictureSource(OBJTYPE_ANIM, FakeAnimFrames);
    ASSERT_EQ(DisplayObject(L, nullptr, nullptr, OBJTYPE_ANIM, {5, nullptr}, 1, 0, 0, 10, 10, 0, 0, 0, 0, nullptr,
                            nullptr, nullptr, nullptr, 0),
              0);
    EXPECT_EQ(WindowPixel(d, 13, 13), 0x20u);
    EXPECT_EQ(WindowPixel(d, 14, 13), 0u);
    EXPECT_EQ(DisplayObject(L, nullptr, nullptr, OBJTYPE_ANIM, {5, nullptr}, 3, 0, 0, 0, 0, 0, 0, 0, 0, nullptr,
                            nullptr, nullptr, nullptr, 0),
              1094);
    // ConvertToBrush counts frames from 1.
    ASSERT_EQ(Call("ConvertToBrush", {OBJTYPE_ANIM, 5, 1, 3}), 0);
    EXPECT_EQ(BrushPixel(Brush(1), 0, 0), 0x30u);
    SetObjectPictureSource(OBJTYPE_ANIM, nullptr);

    // The shown BGPic (id -1) handed out: itself when whole, a copy of a part.
    ASSERT_NE(d->bgpic, nullptr);
    BitMap *out = nullptr;
    int owned = -1;
    ASSERT_EQ(DisplayObject(L, nullptr, nullptr, OBJTYPE_BGPICPART, {0xFFFFFFFFu, nullptr}, 0, 0, 0, 0, 0, 40, 30, 0,
                            0, nullptr, nullptr, &out, &owned, 0),
              0);
    EXPECT_EQ(out, d->bgpic->bitmap);
    EXPECT_EQ(owned, 0);
    ASSERT_EQ(DisplayObject(L, nullptr, nullptr, OBJTYPE_BGPICPART, {0xFFFFFFFFu, nullptr}, 0, 30, 20, 0, 0, 40, 30,
                            0, 0, nullptr, nullptr, &out, &owned, 0),
              0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(owned, 1);
    EXPECT_EQ(out->width, 10);
    EXPECT_EQ(out->height, 10);
    FreeBitMap(out);
}

// The option reader on a table pushed as argument 1 of an otherwise empty stack.
struct OptionCase {
    const char *what;
    Arg table;
    int code;
};

TEST_F(BrushTest, TransformOptionReader)
{
    TransformRecord t;
    LayerOptions lo;
    auto read = [&](const Arg &a, int flags = PTI_INIT | PTI_NEEDTABLE) {
        lua_settop(L, 0);
        Push(a);
        int code = PrepareTransformedImage(L, 1, 40, 10, 0, 0, 1, &t, &lo, flags);
        lua_settop(L, 0);
        return code;
    };
    ASSERT_EQ(read(Arg(Fields{{"rotate", 370}})), 0);
    EXPECT_EQ(t.rotate, 10);
    ASSERT_EQ(read(Arg(Fields{{"rotate", -370}})), 0);
    EXPECT_EQ(t.rotate, -10);
    ASSERT_EQ(read(Arg(Fields{{"anchorx", 1.0}, {"anchory", 0}})), 0);
    EXPECT_EQ(t.anchorX, 1.0);
    OptionCase refused[] = {
        {"anchorx past 1", Arg(Fields{{"anchorx", 1.0001}}), 1055},
        {"negative anchory", Arg(Fields{{"anchory", -0.1}}), 1055},
        {"scalex 0", Arg(Fields{{"scalex", 0}}), 1055},
        {"scaley not finite", Arg(Fields{{"scaley", INFINITY}}), 1055},
        {"singular matrix", Arg::Transform({2, 4, 1, 2}), 1055},
        {"matrix with a NaN", Arg::Transform({1, NAN, 0, 1}), 1055},
        {"negative insert position", Arg(Fields{{"insertpos", -1}}), 1370},
        {"no table", Arg(3), 1140},
    };
    for (const OptionCase &c : refused) EXPECT_EQ(read(c.table), c.code) << c.what;
    EXPECT_EQ(read(Arg(3), PTI_INIT), 0);
    // A layer name of 256 characters is one too many.
    for (int len : {255, 256}) {
        lua_settop(L, 0);
        lua_newtable(L);
        SetFieldString(L, "name", std::string(len, 'n').c_str());
        EXPECT_EQ(PrepareTransformedImage(L, 1, 40, 10, 0, 0, 0, &t, &lo, PTI_INIT), len == 256 ? 1373 : 0);
        if (len == 255) EXPECT_EQ(strlen(lo.name), 255u);
    }

    // The explicit matrix replaces scale and rotation; smoothscale comes from the default.
    ASSERT_EQ(read(Arg::Transform({0.5, 0.25, -1, 2})), 0);
    EXPECT_EQ(t.explicitFlag, 1);
    EXPECT_EQ(t.b, 0.25);
    EXPECT_EQ(t.smoothScale, 1);
    // Width and height against the 40 x 10 source.
    ASSERT_EQ(read(Arg(Fields{{"width", 80}, {"height", 5}})), 0);
    EXPECT_EQ(t.a, 2.0);
    EXPECT_EQ(t.d, 0.5);

    // Layer options: only an insert position inside the stack, hidden, transparency or tint ask
    // for a full redraw (no layers here: positions 0 and 1 are the ends).
    struct { Fields f; int redraw; } layer[] = {
        {{{"insertpos", 0}}, 0}, {{{"insertpos", 1}}, 0}, {{{"insertpos", 2}}, 1},
        {{{"hidden", 1}}, 1}, {{{"transparency", 10}}, 1}, {{{"tint", 300}}, 1}, {{{"tintcolor", 0xFF}}, 0},
    };
    for (auto &c : layer) {
        ASSERT_EQ(read(Arg(c.f)), 0);
        EXPECT_EQ(lo.fullRedraw, c.redraw);
    }
    EXPECT_EQ(lo.tintColor, 0xFFu);
    ASSERT_EQ(read(Arg(Fields{{"tint", 300}})), 0);
    EXPECT_EQ(lo.tint, 255);
}

TEST(TransformRecordSize, ScalesRotationsAndTheSmallestSide)
{
    TransformRecord t;
    InitTransform(&t);
    int32_t w, h;
    TransformRecordSize(&t, 5, 7, &w, &h);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 7);
    t.a = t.d = 0.1;
    TransformRecordSize(&t, 5, 5, &w, &h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 1);
    double m[4];
    MakeTransformMatrix(m, 0, 0, 40, 10, 1, 1, 90);
    t.a = m[0], t.b = m[1], t.c = m[2], t.d = m[3];
    TransformRecordSize(&t, 40, 10, &w, &h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 40);
    // Counter-clockwise on the screen: the right-hand end of a bar goes up.
    EXPECT_EQ(m[0], 0.0);
    EXPECT_EQ(m[1], -1.0);
}

}  // namespace
