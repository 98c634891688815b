// The brush commands through the interpreter: LoadBrush's options, creating and copying, the
// change commands with their refusals, and copy-on-change while layers show a brush.
#include "tests/brush/brush_fixture.h"

#include <cmath>

#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/kernels.h"

namespace {

const double NoColour = 4294967295.0;

// A 40 x 20 BMP: red, with a blue pixel at (0, 0) and a green column at x = 39.
std::string FortyPixelBMP()
{
    std::string path = BrushTestPath("forty.bmp");
    WriteBMP24(path, 40, 20, [](int x, int y) -> uint32_t {
        if (x == 0 && y == 0) return 0x0000FF;
        return x == 39 ? 0x00FF00 : 0xFF0000;
    });
    return path;
}

// A 4 x 2 PNG with alpha: column x has alpha 60 x x + 15.
std::string AlphaPNG()
{
    std::string path = BrushTestPath("alpha.png");
    uint32_t px[8];
    for (int i = 0; i < 8; i++) px[i] = (uint32_t)(60 * (i % 4) + 15) << 24 | 0x336699;
    EXPECT_EQ(OsSavePNG(path.c_str(), px, 4, 2, 1), 0);
    return path;
}

using Fields = std::initializer_list<std::pair<std::string, double>>;

TEST_F(BrushTest, LoadBrushOptions)
{
    std::string bmp = FortyPixelBMP();
    struct Case {
        const char *what;
        Fields options;
        int code;
        int width, height;
    } cases[] = {
        {"transparency with loadalpha", {{"transparency", 0xFF0000}, {"loadalpha", 1}}, 1223, 0, 0},
        {"transparency with globalalpha", {{"transparency", 0xFF0000}, {"globalalpha", 10}}, 1223, 0, 0},
        {"no transparency with loadalpha (a declared brush)", {{"transparency", NoColour}, {"loadalpha", 0}}, 0, 40, 20},
        {"x 10, width 0", {{"x", 10}, {"width", 0}}, 0, 30, 20},
        {"a rectangle reaching out", {{"x", 5}, {"y", 5}, {"width", 100}, {"height", 100}}, 0, 35, 15},
        {"negative width", {{"width", -1}}, 1218, 0, 0},
        {"negative height", {{"height", -5}}, 1218, 0, 0},
        {"negative x", {{"x", -1}}, 1154, 0, 0},
        {"x at the width", {{"x", 40}}, 1217, 0, 0},
        {"y past the height", {{"y", 25}}, 1217, 0, 0},
        {"loadalpha on a picture without alpha", {{"loadalpha", 1}}, 1170, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Call("LoadBrush", {1, bmp, Arg(c.options)}), c.code);
        if (c.code) {
            EXPECT_EQ(Brush(1), nullptr);
            continue;
        }
        BrushNode *b = Brush(1);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->width, c.width);
        EXPECT_EQ(b->height, c.height);
        EXPECT_EQ(b->bitmap->width, c.width);
        EXPECT_EQ(b->mask, nullptr);
        EXPECT_EQ(b->alpha, nullptr);
        ASSERT_EQ(Call("FreeBrush", {1}), 0);
    }
    EXPECT_EQ(Call("LoadBrush", {1, BrushTestPath("missing.bmp")}), 1045);
}

TEST_F(BrushTest, LoadBrushTransparencyAndAlpha)
{
    std::string bmp = FortyPixelBMP();
    // A transparent colour, as an option or as the old third and five-argument forms.
    for (Arg third : {Arg(Fields{{"transparency", 0x0000FF}}), Arg(0x0000FF)}) {
        ASSERT_EQ(Call("LoadBrush", {1, bmp, third}), 0);
        BrushNode *b = Brush(1);
        ASSERT_NE(b->mask, nullptr);
        EXPECT_EQ(b->transparentColor, 0x0000FF);
        EXPECT_EQ(ReadBitMapPixel(b->mask, 0, 0, 1), 0u);
        EXPECT_EQ(ReadBitMapPixel(b->mask, 1, 0, 1), 1u);
    }
    ASSERT_EQ(Call("LoadBrush", {2, bmp, 0x00FF00, 7, 8}), 0);
    EXPECT_EQ(ReadBitMapPixel(Brush(2)->mask, 39, 3, 1), 0u);
    EXPECT_EQ(Call("LoadBrush", {2, bmp, 0x00FF00, 7, "x"}), 1138);

    // globalalpha 128 on a picture without alpha: an alpha channel of 128 everywhere.
    ASSERT_EQ(Call("LoadBrush", {3, bmp, Arg(Fields{{"globalalpha", 128}})}), 0);
    BrushNode *g = Brush(3);
    ASSERT_NE(g->alpha, nullptr);
    EXPECT_EQ(g->mask, nullptr);
    for (int y = 0; y < 20; y += 19)
        for (int x = 0; x < 40; x += 13) EXPECT_EQ(g->alpha->pixels[y * g->alpha->bytesPerRow + x], 128);

    // loadalpha keeps the file's alpha; globalalpha scales it.
    std::string png = AlphaPNG();
    ASSERT_EQ(Call("LoadBrush", {4, png, Arg(Fields{{"loadalpha", 1}})}), 0);
    ASSERT_NE(Brush(4)->alpha, nullptr);
    EXPECT_EQ(Brush(4)->alpha->pixels[3], 195);
    ASSERT_EQ(Call("LoadBrush", {5, png, Arg(Fields{{"loadalpha", 1}, {"globalalpha", 128}, {"x", 1}})}), 0);
    BrushNode *s = Brush(5);
    EXPECT_EQ(s->width, 3);
    EXPECT_EQ(s->alpha->pixels[0], 75 * 128 / 255);
    EXPECT_EQ(s->alpha->pixels[2], 195 * 128 / 255);
}

// A 2 x 1 GIF: index 0 green (the transparent index), index 1 red.
std::string TransparentGIF()
{
    const uint8_t bytes[] = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0,
                             0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00,
                             0x21, 0xF9, 4, 1, 0, 0, 0, 0,
                             0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0,
                             2, 2, 0x44, 0x0A, 0, 0x3B};
    std::string path = BrushTestPath("key.gif");
    FILE *f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    fwrite(bytes, 1, sizeof bytes, f);
    fclose(f);
    return path;
}

TEST_F(BrushTest, TheFilesKeyColourMasksOrJoinsTheAlphaChannel)
{
    std::string gif = TransparentGIF();
    // The file's transparent colour replaces the one given.
    ASSERT_EQ(Call("LoadBrush", {1, gif, 0x0000FF}), 0);
    BrushNode *b = Brush(1);
    EXPECT_EQ(b->transparentColor, 0x00FF00);
    ASSERT_NE(b->mask, nullptr);
    EXPECT_EQ(ReadBitMapPixel(b->mask, 0, 0, 1), 0u);
    EXPECT_EQ(ReadBitMapPixel(b->mask, 1, 0, 1), 1u);
    // With an alpha channel the key colour becomes transparent in it: never mask and alpha both.
    ASSERT_EQ(Call("LoadBrush", {2, gif, Arg(Fields{{"globalalpha", 128}})}), 0);
    b = Brush(2);
    EXPECT_EQ(b->mask, nullptr);
    ASSERT_NE(b->alpha, nullptr);
    EXPECT_EQ(b->alpha->pixels[0], 0);
    EXPECT_EQ(b->alpha->pixels[1], 128);
}

// While the declared objects are created a brush keeps its raw pixels; the image cache serves a
// second brush of the same file; the bitmaps are built later, or at the first command.
TEST_F(BrushTest, DeclaredBrushesAndTheImageCache)
{
    std::string bmp = FortyPixelBMP();
    SetRuntimeTags(L, RTAG_PREPROC, 1, 0);
    ASSERT_EQ(Call("LoadBrush", {1, bmp, Arg(Fields{{"transparency", 0x00FF00}})}), 0);
    ASSERT_EQ(Call("LoadBrush", {2, bmp, Arg::Texts({{"cache", "shared"}})}), 0);
    ASSERT_EQ(Call("LoadBrush", {3, "no such file", Arg::Texts({{"cachedload", "shared"}})}), 0);
    for (uint32_t n = 1; n <= 3; n++) {
        BrushNode *b = nullptr;
        for (BrushNode *i = BrushList; i; i = i->next)
            if (i->id.number == n) b = i;
        ASSERT_NE(b, nullptr);
        EXPECT_NE(b->rawPixels, nullptr);
        EXPECT_EQ(b->bitmap, nullptr);
        EXPECT_EQ(b->width, 40);
    }
    SetRuntimeTags(L, RTAG_PREPROC, 0, 0);
    // A command on a brush that was never built: the backfill scales a declared brush.
    ASSERT_EQ(Call("ScaleBrush", {3, 80, 10}), 0);
    EXPECT_EQ(Brush(3)->bitmap->width, 80);
    EXPECT_EQ(Brush(3)->rawPixels, nullptr);
    ASSERT_EQ(BuildPendingBrushBitmaps(), 0);
    for (BrushNode *i = BrushList; i; i = i->next) {
        EXPECT_EQ(i->rawPixels, nullptr);
        ASSERT_NE(i->bitmap, nullptr);
    }
    EXPECT_EQ(ReadBitMapPixel(Brush(1)->mask, 39, 0, 1), 0u);
    EXPECT_EQ(Brush(2)->mask, nullptr);
    FreeGfxCache();
}

TEST_F(BrushTest, GrabDesktopRectangle)
{
    int32_t sw = 0, sh = 0;
    OsGetAttr(nullptr, 14, &sw, nullptr);
    OsGetAttr(nullptr, 15, &sh, nullptr);
    ASSERT_GT(sw, 20);
    EXPECT_EQ(Call("GrabDesktop", {1, Arg(Fields{{"x", -1}})}), 1055);
    EXPECT_EQ(Call("GrabDesktop", {1, Arg(Fields{{"x", sw}})}), 1055);
    ASSERT_EQ(Call("GrabDesktop", {1, Arg(Fields{{"x", sw - 20}, {"y", 2}, {"width", 100}, {"height", 3}})}), 0);
    EXPECT_EQ(Brush(1)->width, 20);
    EXPECT_EQ(Brush(1)->height, 3);
    EXPECT_EQ(Brush(1)->mask, nullptr);
    EXPECT_EQ(Brush(1)->transparentColor, -1);
}

TEST_F(BrushTest, CreateAndCopy)
{
    EXPECT_EQ(Call("CreateBrush", {1, 0, 10}), 1218);
    EXPECT_EQ(Call("CreateBrush", {1, 10, -2}), 1218);
    EXPECT_EQ(Call("CreateBrush", {1, 10, 10, 0, Arg(Fields{{"mask", 1}, {"alphachannel", 1}})}), 1055);

    ASSERT_EQ(Call("CreateBrush", {1, 12, 4, 0x123456, Arg(Fields{{"mask", 1}, {"clear", 1}})}), 0);
    BrushNode *b = Brush(1);
    EXPECT_EQ(b->transparentColor, 0xAFC0DE);
    EXPECT_EQ(BrushPixel(b, 11, 3), 0x123456u);
    EXPECT_EQ(ReadBitMapPixel(b->mask, 5, 2, 1), 0u);
    ASSERT_EQ(Call("CreateBrush", {2, 3, 3, 0, Arg(Fields{{"alphachannel", 1}})}), 0);
    EXPECT_EQ(Brush(2)->alpha->pixels[0], 255);
    EXPECT_EQ(Brush(2)->transparentColor, -1);

    // Nil: an automatic id, handed back as the result.
    ASSERT_EQ(Call("CreateBrush", {nullptr, 5, 5}), 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(((BrushNode *)handle)->id.handle, handle);

    EXPECT_EQ(Call("CopyBrush", {1, 1}), 1055);
    EXPECT_EQ(Call("CopyBrush", {9, 3}), 1174);
    ASSERT_EQ(Call("CopyBrush", {1, 2}), 0);   // replaces brush 2
    BrushNode *c = Brush(2);
    EXPECT_EQ(c->width, 12);
    EXPECT_EQ(c->transparentColor, 0xAFC0DE);
    ASSERT_NE(c->mask, nullptr);
    EXPECT_NE(c->bitmap, b->bitmap);
    EXPECT_EQ(CountBrushes(), 3);
    ASSERT_EQ(Call("ConvertToBrush", {3, 1, 7}), 0);
    EXPECT_EQ(Brush(7)->width, 12);
    EXPECT_EQ(Call("ConvertToBrush", {3, 1, 1}), 1055);
    EXPECT_EQ(Call("ConvertToBrush", {99, 1, 8}), 1055);
    EXPECT_EQ(Call("GetBrushLink", {8, 22, 1}), 1078);   // layers off
}

TEST_F(BrushTest, ChangesOfSizeAndShape)
{
    ASSERT_EQ(Call("CreateBrush", {1, 40, 10, 0xFF0000}), 0);
    ASSERT_EQ(Call("ScaleBrush", {1, "50%", 100000}), 0);   // #KEEPASPRAT
    EXPECT_EQ(Brush(1)->width, 20);
    EXPECT_EQ(Brush(1)->height, 5);
    EXPECT_EQ(Call("ScaleBrush", {1, 100000, 100000}), 1055);
    EXPECT_EQ(Call("ScaleBrush", {1, 0, 5}), 1218);

    ASSERT_EQ(Call("RotateBrush", {1, 90}), 0);
    EXPECT_EQ(Brush(1)->width, 5);
    EXPECT_EQ(Brush(1)->height, 20);
    EXPECT_EQ(Call("RotateBrush", {1, 30, 0}), 1055);

    struct Case {
        const char *what;
        std::vector<double> m;
        int code;
    } matrices[] = {
        {"zero on the diagonal", {0, 1, -1, 0}, 1055},
        {"zero determinant", {1, 2, 0.5, 1}, 1055},
        {"not a number", {NAN, 0, 0, 1}, 1055},
        {"infinite", {1, INFINITY, 0, 1}, 1055},
        {"double width", {2, 0, 0, 1}, 0},
    };
    for (const Case &c : matrices) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Call("TransformBrush", {1, c.m[0], c.m[1], c.m[2], c.m[3]}), c.code);
    }
    EXPECT_EQ(Brush(1)->width, 10);
    EXPECT_EQ(Call("TransformBrush", {9, 1, 0, 0, 1}), 1174);

    ASSERT_EQ(Call("CreateBrush", {2, 30, 20}), 0);
    EXPECT_EQ(Call("CropBrush", {2, 0, 0, 0, 5}), 1218);
    EXPECT_EQ(Call("CropBrush", {2, -1, 0, 5, 5}), 1154);
    EXPECT_EQ(Call("CropBrush", {2, 30, 0, 5, 5}), 1217);
    ASSERT_EQ(Call("CropBrush", {2, 25, 10, 50, 50}), 0);
    EXPECT_EQ(Brush(2)->width, 5);
    EXPECT_EQ(Brush(2)->height, 10);
    ASSERT_EQ(Call("CropBrush", {2, POS_CENTER, 0, 3, 1}), 0);   // centred in the 5 columns
    EXPECT_EQ(Brush(2)->width, 3);
}

TEST_F(BrushTest, ChangesOfColour)
{
    ASSERT_EQ(Call("CreateBrush", {1, 4, 4, 0xFF0000}), 0);
    ASSERT_EQ(Call("ReplaceColors", {1, Arg::List({-1, 0x00FF00})}), 0);   // ends at once
    EXPECT_EQ(BrushPixel(Brush(1), 0, 0), 0xFF0000u);
    EXPECT_EQ(Call("ReplaceColors", {1, Arg::List({0xFF0000})}), 1055);
    ASSERT_EQ(Call("ReplaceColors", {1, Arg::List({0xFF0000, 0x00FF00, 0x00FF00, 0x0000FF})}), 0);
    EXPECT_EQ(BrushPixel(Brush(1), 3, 3), 0x0000FFu);

    ASSERT_EQ(Call("TintBrush", {1, 0xFF0000, "100%"}), 0);
    EXPECT_EQ(BrushPixel(Brush(1), 1, 1) >> 16, 0xFEu);
    ASSERT_EQ(Call("InvertBrush", {1}), 0);
    EXPECT_EQ(BrushPixel(Brush(1), 1, 1) >> 16, 0x01u);

    EXPECT_EQ(Call("FloodFill", {1, 1, 1, 0xFFFFFF}), 1138);   // the border colour is missing
    EXPECT_EQ(Call("FloodFill", {1, 4, 0, 0xFFFFFF, 0}), 1217);
    EXPECT_EQ(Call("FloodFill", {1, -1, 0, 0xFFFFFF, 0}), 1154);
    ASSERT_EQ(Call("FloodFill", {1, 0, 0, 0xFFFFFF, 0x123456}), 0);
    EXPECT_EQ(BrushPixel(Brush(1), 3, 2), 0xFFFFFFu);

    ASSERT_EQ(Call("CreateBrush", {2, 2, 2, 0x0000FF}), 0);
    ASSERT_EQ(Call("MixBrush", {1, 2, 255}), 0);   // over the common 2 x 2 area only
    EXPECT_EQ(BrushPixel(Brush(1), 1, 1), 0x0000FFu);
    EXPECT_EQ(BrushPixel(Brush(1), 2, 2), 0xFFFFFFu);

    EXPECT_EQ(Call("SetAlphaIntensity", {-1}), 0);
    EXPECT_EQ(Call("SetAlphaIntensity", {256}), 1055);
    EXPECT_EQ(Call("SetAlphaIntensity", {-2}), 1055);
}

TEST_F(BrushTest, MasksAlphaAndTrimming)
{
    ASSERT_EQ(Call("CreateBrush", {1, 10, 6, 0x00FF00}), 0);
    EXPECT_EQ(Call("TrimBrush", {1}), 0);   // no mask: nothing changes
    EXPECT_EQ(results, (std::vector<double>{0, 0}));
    EXPECT_EQ(Brush(1)->width, 10);
    EXPECT_EQ(Call("InvertMask", {1}), 1055);
    EXPECT_EQ(Call("InvertAlphaChannel", {1}), 1055);

    // A mask made from a colour; #NOTRANSPARENCY and -1 remove it.
    WriteBitMapPixel(Brush(1)->bitmap, 4, 3, 0xFF0000, 0);
    WriteBitMapPixel(Brush(1)->bitmap, 6, 4, 0xFF0000, 0);
    ASSERT_EQ(Call("SetBrushTransparency", {1, 0x00FF00}), 0);
    EXPECT_EQ(ReadBitMapPixel(Brush(1)->mask, 4, 3, 1), 1u);
    EXPECT_EQ(ReadBitMapPixel(Brush(1)->mask, 0, 0, 1), 0u);
    ASSERT_EQ(Call("TrimBrush", {1}), 0);
    EXPECT_EQ(results, (std::vector<double>{4, 3}));
    EXPECT_EQ(Brush(1)->width, 3);
    EXPECT_EQ(Brush(1)->height, 2);
    for (Arg none : {Arg(NoColour), Arg(-1)}) {
        ASSERT_EQ(Call("SetBrushTransparency", {1, 0x00FF00}), 0);
        ASSERT_EQ(Call("SetBrushTransparency", {1, none}), 0);
        EXPECT_EQ(Brush(1)->mask, nullptr);
    }

    // All visible, inverted: only the padding bits of each mask row are set, and they belong
    // to no pixel, so the brush is fully transparent.
    ASSERT_EQ(Call("CreateBrush", {2, 10, 3, 0, Arg(Fields{{"mask", 1}})}), 0);
    ASSERT_EQ(Call("InvertMask", {2}), 0);
    EXPECT_NE(Brush(2)->mask->pixels[1], 0);
    EXPECT_EQ(Call("TrimBrush", {2}), 1383);
    ASSERT_EQ(Call("CreateBrush", {3, 10, 3, 0, Arg(Fields{{"alphachannel", 1}, {"clear", 1}})}), 0);
    EXPECT_EQ(Call("TrimBrush", {3}), 1383);
    ASSERT_EQ(Call("InvertAlphaChannel", {3}), 0);
    EXPECT_EQ(Call("TrimBrush", {3}), 0);
    EXPECT_EQ(results, (std::vector<double>{0, 0}));

    ASSERT_EQ(Call("DeleteMask", {2}), 0);
    EXPECT_EQ(Brush(2)->mask, nullptr);
    EXPECT_EQ(Brush(2)->transparentColor, -1);
    ASSERT_EQ(Call("DeleteAlphaChannel", {3}), 0);
    EXPECT_EQ(Brush(3)->alpha, nullptr);

    // Flipping left to right carries the mask along.
    ASSERT_EQ(Call("CreateBrush", {4, 9, 2, 0, Arg(Fields{{"mask", 1}, {"clear", 1}})}), 0);
    WriteBitMapPixel(Brush(4)->mask, 0, 1, MASKVISIBLE, 1);
    ASSERT_EQ(Call("FlipBrush", {4, 1}), 0);
    EXPECT_EQ(ReadBitMapPixel(Brush(4)->mask, 8, 1, 1), 1u);
    EXPECT_EQ(ReadBitMapPixel(Brush(4)->mask, 0, 1, 1), 0u);
}

// Stand-in layer code: brushes listed here count as shown by a layer.
std::vector<ObjectId> Shown;
int IsShown(ObjectId id)
{
    for (ObjectId s : Shown)
        if (s.number == id.number && s.handle == id.handle) return 1;
    return 0;
}
void Rekey(ObjectId from, ObjectId to)
{
    for (ObjectId &s : Shown)
        if (s.number == from.number && s.handle == from.handle) s = to;
}

TEST_F(BrushTest, CopyOnChangeWhileLayersShowABrush)
{
    BrushLayerLinks links = {IsShown, Rekey};
    SetBrushLayerLinks(&links);
    ASSERT_EQ(Call("CreateBrush", {1, 4, 4, 0xFF0000}), 0);
    Shown = {{1, nullptr}};
    // A change leaves the shown picture alone: the layer now shows a private copy.
    ASSERT_EQ(Call("TintBrush", {1, 0x0000FF, 255}), 0);
    EXPECT_EQ(CountBrushes(), 2);
    ASSERT_NE(Shown[0].handle, nullptr);
    BrushNode *copy = (BrushNode *)Shown[0].handle;
    EXPECT_EQ(copy->freed, 1u);
    EXPECT_EQ(BrushPixel(copy, 0, 0), 0xFF0000u);
    EXPECT_EQ(BrushPixel(Brush(1), 0, 0) & 0xFF, 0xFEu);

    // Freeing a shown brush only marks it; the number is free again at once.
    Shown.push_back({1, nullptr});
    ASSERT_EQ(Call("FreeBrush", {1}), 0);
    EXPECT_EQ(Brush(1), nullptr);
    EXPECT_EQ(CountBrushes(), 2);
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2}), 0);
    EXPECT_EQ(CountBrushes(), 3);
    PurgeBrushNodes();   // both still shown
    EXPECT_EQ(CountBrushes(), 3);
    Shown.clear();
    PurgeBrushNodes();
    EXPECT_EQ(CountBrushes(), 1);
    EXPECT_EQ(Call("FreeBrush", {5}), 1174);
}

TEST_F(BrushTest, LockedBrushesRefuseChanges)
{
    ASSERT_EQ(Call("CreateBrush", {1, 4, 4}), 0);
    Brush(1)->locked = 1;
    for (const char *cmd : {"InvertBrush", "BrushToGray", "DeleteMask", "TrimBrush"}) EXPECT_EQ(Call(cmd, {1}), 1314) << cmd;
    EXPECT_EQ(Call("FreeBrush", {1}), 1314);
    Brush(1)->locked = 0;
}

}  // namespace
