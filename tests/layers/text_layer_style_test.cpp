// A text layer's text, font size and colour changed through its style: the layer is laid out
// anew from its own text state, pixel for pixel what TextOut draws with those settings, keeps its
// place in the list and its look, and stays crisp when scaled afterwards. The before and after
// pictures are written to build/previews/text_layer_style.png. Text layers in a bitmap font
// scaled, turned and mirrored about their anchors come out as brush layers of their pictures
// do (build/previews/text_layer_anchor.png).
#include <SDL.h>
#include <SDL_image.h>
#include <sys/stat.h>

#include <string>

#include "display/bgpic.h"
#include "display/display_pending.h"
#include "gfx/blit.h"
#include "tests/draw/draw_display_fixture.h"
#include "text/text_objects.h"
#include "text/text_state.h"

namespace {

struct TextLayerStyleTest : DrawDisplayTest {
    void SetUp() override
    {
        DrawDisplayTest::SetUp();
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenTextLib(L), 0);
        lua_settop(L, 0);
    }
    void TearDown() override
    {
        // The layers hold fonts of the text library: they go first.
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        CloseTextLib(L);
        DrawDisplayTest::TearDown();
    }
    static kvLayer *Layer(int n) { return GetLayerByIndex(CurrentPicture, n); }
    // Number of pixels in which the two layers' source images differ (bitmap colour where the
    // alpha is set, and the alpha itself); -1 when their sizes differ.
    static int Differences(const LayerState *a, const LayerState *b)
    {
        if (a->width != b->width || a->height != b->height || !a->alpha || !b->alpha) return -1;
        int n = 0;
        for (int y = 0; y < a->height; y++)
            for (int x = 0; x < a->width; x++) {
                uint8_t va = a->alpha->pixels[y * a->alpha->bytesPerRow + x];
                uint8_t vb = b->alpha->pixels[y * b->alpha->bytesPerRow + x];
                if (va != vb || (va && ReadBitMapPixel(a->bitmap, x, y, 0) != ReadBitMapPixel(b->bitmap, x, y, 0)))
                    n++;
            }
        return n;
    }
    // Number of lit pixels of the image.
    static int Lit(const LayerState *s)
    {
        int n = 0;
        for (int y = 0; y < s->drawnHeight; y++)
            for (int x = 0; x < s->drawnWidth; x++) n += s->alpha->pixels[y * s->alpha->bytesPerRow + x] != 0;
        return n;
    }
};

TEST_F(TextLayerStyleTest, NewTextSizeAndColourAreLaidOutAsTextOutDrawsThem)
{
    const int W = 360, H = 150;
    DisplayRecord *d = OpenDisplay(W, H);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("SetFont", {":::default_sans", 16}), 0);
    ASSERT_EQ(Call("SetFontStyle", {TEXTSTYLE_ANTIALIAS}), 0);
    ASSERT_EQ(Call("SetFontColor", {0xFF4020u}), 0);
    ASSERT_EQ(Call("TextOut", {10, 10, "Before"}), 0);
    ASSERT_EQ(Call("SetLayerName", {1, "words"}), 0);
    ASSERT_EQ(Call("SetLayerTint", {1, 0x000000u, 0}), 0);
    ASSERT_EQ(Call("CreateBrush", {1, 4, 4, 0x00FF00u}), 0);
    ASSERT_EQ(Call("DisplayBrush", {1, 300, 130}), 0);
    BitMap *before = AllocBitMap(W, H);
    ASSERT_NE(before, nullptr);
    BltBitMap(d->backBuffer, 0, 0, before, 0, 0, W, H);

    Arg style = Arg::Texts({{"text", "After a change"}});
    style.fields = {{"fontsize", 28}, {"color", 0x30C0FF}, {"transparency", 40}};
    ASSERT_EQ(Call("SetLayerStyle", {"words", style}), 0);
    kvLayer *changed = Layer(1);
    ASSERT_EQ(changed->type, LAYERTYPE_TEXTOUT);
    EXPECT_STREQ(changed->name, "words");
    EXPECT_EQ(changed->transparency, 40);
    EXPECT_EQ(Layer(2)->type, OBJTYPE_BRUSH);
    const TextState *text = changed->sourceState->text;
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->text, "After a change");
    EXPECT_EQ(text->settings.colour, 0x30C0FFu);

    // The same text drawn straight with those settings.
    ASSERT_EQ(Call("SetFont", {":::default_sans", 28}), 0);
    ASSERT_EQ(Call("SetFontStyle", {TEXTSTYLE_ANTIALIAS}), 0);
    ASSERT_EQ(Call("SetFontColor", {0x30C0FFu}), 0);
    ASSERT_EQ(Call("TextOut", {10, 80, "After a change"}), 0);
    const LayerState *straight = Layer(3)->sourceState;
    EXPECT_GT(changed->sourceState->width, 2 * 60);
    EXPECT_EQ(Differences(changed->sourceState, straight), 0);
    EXPECT_EQ(changed->sourceState->x, 10);
    EXPECT_EQ(changed->sourceState->y - straight->y, 10 - 80);
    // The window shows the new text where the old one was.
    EXPECT_GT(Lit(changed->drawnState), 200);

    BitMap *after = AllocBitMap(W, H);
    ASSERT_NE(after, nullptr);
    BltBitMap(d->backBuffer, 0, 0, after, 0, 0, W, H);
    int changedPixels = 0;
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < W; x++) changedPixels += ReadBitMapPixel(before, x, y, 0) != ReadBitMapPixel(after, x, y, 0);
    EXPECT_GT(changedPixels, 300);

    // Scaled afterwards, the new text is laid out again at twice its size.
    ASSERT_EQ(Call("ScaleLayer", {1, "200%", "200%"}), 0);
    const LayerState *scaled = Layer(1)->drawnState;
    EXPECT_NEAR(scaled->drawnWidth, 2 * straight->width, 4);
    EXPECT_GT(Lit(scaled), 3 * Lit(straight));

    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    BitMap *sheet = AllocBitMap(W, 2 * H);
    ASSERT_NE(sheet, nullptr);
    BltBitMap(before, 0, 0, sheet, 0, 0, W, H);
    BltBitMap(after, 0, 0, sheet, 0, H, W, H);
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom(sheet->pixels, sheet->width, sheet->height, 32,
                                                              sheet->bytesPerRow, SDL_PIXELFORMAT_BGRX8888);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(IMG_SavePNG(surface, (dir + "/text_layer_style.png").c_str()), 0);
    SDL_FreeSurface(surface);
    FreeBitMap(sheet);
    FreeBitMap(before);
    FreeBitMap(after);
}

// With the display scaling layers, the new text is laid out at the display's scale too.
TEST_F(TextLayerStyleTest, DisplayScaledLayerIsLaidOutFromItsNewText)
{
    DisplayRecord *d = OpenDisplay(200, 100);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("SetFont", {":::default_sans", 12}), 0);
    ASSERT_EQ(Call("SetFontStyle", {TEXTSTYLE_ANTIALIAS}), 0);
    ASSERT_EQ(Call("TextOut", {5, 5, "ab"}), 0);
    d->layerScale = 1;
    d->scaleWidth = 400;
    d->scaleHeight = 200;
    d->scaleX = d->scaleY = 2.0;
    ASSERT_EQ(RebuildAllLayers(L, d), 0);
    ASSERT_EQ(Call("SetLayerStyle", {1, Arg::Texts({{"text", "a longer text"}})}), 0);
    const kvLayer *l = Layer(1);
    const LayerState *src = l->sourceState, *drawn = l->drawnState;
    ASSERT_NE(drawn, src);
    EXPECT_NEAR(drawn->drawnWidth, 2 * src->width, 4);
    EXPECT_NEAR(drawn->drawnHeight, 2 * src->height, 4);
    EXPECT_EQ(drawn->drawnX, 10);
    // Pixel for pixel the text laid out at twice the size, not a blown-up picture.
    ASSERT_EQ(Call("CreateTextObject", {1, "a longer text"}), 0);
    ASSERT_EQ(Call("ScaleTextObject", {1, "200%", "200%"}), 0);
    TextObjectNode *n = nullptr;
    ASSERT_EQ(FindTextObject({1, nullptr}, 0, &n), 0);
    ASSERT_EQ(drawn->drawnWidth, n->width);
    ASSERT_EQ(drawn->drawnHeight, n->height);
    ASSERT_TRUE(drawn->alpha && n->alpha);
    int differ = 0;
    for (int y = 0; y < n->height; y++)
        for (int x = 0; x < n->width; x++)
            differ += drawn->alpha->pixels[y * drawn->alpha->bytesPerRow + x] != n->alpha->pixels[y * n->alpha->bytesPerRow + x];
    EXPECT_EQ(differ, 0);
    d->layerScale = 0;
    d->scaleWidth = d->scaleHeight = 0;
    d->scaleX = d->scaleY = 1.0;
}

// The built-in bitmap font's text layers scaled by 2, turned by 90 and mirrored, anchored at 0,
// 0.5 and 1: each is drawn at the place and with the pixels of a brush layer of its picture
// transformed alike. The sheet shows each text with its brush to the right of it.
TEST_F(TextLayerStyleTest, BitmapTextTransformsAboutItsAnchorAsABrushDoes)
{
    const int W = 450, H = 240, CellW = 150, CellH = 80, BrushDx = 60;
    DisplayRecord *d = OpenDisplay(W, H);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("SetFontColor", {0xFFD040u}), 0);
    const double anchors[] = {0.0, 0.5, 1.0};
    auto transform = [&](int row, int layer) {
        switch (row) {
        case 0: return Call("ScaleLayer", {layer, "200%", "200%"});
        case 1: return Call("RotateLayer", {layer, 90});
        default: return Call("TransformLayer", {layer, -1, 0, 0, 1});
        }
    };
    int n = 0;
    for (int row = 0; row < 3; row++)
        for (double anchor : anchors) {
            int x = (n % 3) * CellW + 40, y = row * CellH + 30;
            ASSERT_EQ(Call("TextOut", {x, y, "Hi"}), 0);
            ASSERT_EQ(Call("ConvertToBrush", {OBJTYPE_LAYER, 2 * n + 1, n + 1}), 0);
            ASSERT_EQ(Call("DisplayBrush", {n + 1, x + BrushDx, y}), 0);
            for (int layer : {2 * n + 1, 2 * n + 2}) {
                ASSERT_EQ(Call("SetLayerAnchor", {layer, anchor, anchor}), 0);
                ASSERT_EQ(transform(row, layer), 0);
            }
            const LayerState *text = Layer(2 * n + 1)->drawnState, *brush = Layer(2 * n + 2)->drawnState;
            EXPECT_EQ(brush->drawnX - text->drawnX, BrushDx) << row << " " << anchor;
            EXPECT_EQ(brush->drawnY, text->drawnY) << row << " " << anchor;
            ASSERT_EQ(brush->drawnWidth, text->drawnWidth) << row << " " << anchor;
            ASSERT_EQ(brush->drawnHeight, text->drawnHeight) << row << " " << anchor;
            int differ = 0;
            for (int py = 0; py < text->drawnHeight; py++)
                for (int px = 0; px < text->drawnWidth; px++)
                    differ += ReadBitMapPixel(text->mask, px, py, 1) != ReadBitMapPixel(brush->mask, px, py, 1) ||
                              ReadBitMapPixel(text->bitmap, px, py, 0) != ReadBitMapPixel(brush->bitmap, px, py, 0);
            EXPECT_EQ(differ, 0) << row << " " << anchor;
            n++;
        }

    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom(d->backBuffer->pixels, W, H, 32,
                                                              d->backBuffer->bytesPerRow, SDL_PIXELFORMAT_BGRX8888);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(IMG_SavePNG(surface, (dir + "/text_layer_anchor.png").c_str()), 0);
    SDL_FreeSurface(surface);
}

}  // namespace
