// Text laid out again when scaled: a scaled text layer shows text rendered at the scaled size
// (not a blown-up picture), and DisplayTextObject's option table scales, anchors and checks.
#include <algorithm>
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/layer.h"
#include "gfx/blit.h"
#include "gfx/scale.h"
#include "pictures/display_object.h"
#include "tests/text/text_fixture.h"
#include "text/text_layers.h"
#include "text/text_objects.h"
#include "text/text_print.h"

namespace {

using namespace textfix;

// Number of pixels that differ between two pictures of the same size (-1 for other sizes).
int32_t Differences(const BitMap *a, int32_t aw, const BitMap *b, int32_t bw, int32_t h)
{
    if (aw != bw) return -1;
    int32_t n = 0;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < aw; x++)
            if (ReadBitMapPixel(a, x, y, 0) != ReadBitMapPixel(b, x, y, 0)) n++;
    return n;
}

int32_t AlphaDifferences(const AlphaChannel *a, const AlphaChannel *b, int32_t w, int32_t h)
{
    int32_t n = 0;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            if (a->pixels[y * a->bytesPerRow + x] != b->pixels[y * b->bytesPerRow + x]) n++;
    return n;
}

class TextLayers : public TextTest {
protected:
    void UseSans(int size)
    {
        ASSERT_EQ(0, Call(TxSetFont, {":::default_sans", size}));
        GetFontSettings()->style = TEXTSTYLE_ANTIALIAS;
    }
};

// A #TEXTOUT layer scaled by 2 comes back as the text laid out at twice the size, pixel for pixel
// what a text object scaled to 200% shows; the blown-up picture differs. A state without text is
// left to the layer code.
TEST_F(TextLayers, ScaledLayerEqualsTextRenderedAtThatSize)
{
    UseSans(16);
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Crisp Text"}));
    ASSERT_EQ(0, Call(TxScaleTextObject, {1, "200%", KEEPASPRAT}));
    TextObjectNode *n = nullptr;
    ASSERT_EQ(0, FindTextObject({1, nullptr}, 0, &n));
    RenderedTextImage want;
    memset(&want, 0, sizeof want);
    want.bitmap = n->bitmap;
    want.alpha = n->alpha;
    want.drawnWidth = n->width;
    want.height = n->height;
    TextState small = State("Crisp Text");
    RenderedTextImage img;
    ASSERT_EQ(0, Render(&small, &img));

    LayerState *s = NewLayerState(nullptr);
    s->bitmap = img.bitmap;
    s->mask = img.mask;
    s->alpha = img.alpha;
    s->width = img.drawnWidth;
    s->height = img.height;
    ASSERT_EQ(0, KeepLayerText(s, &small, nullptr, img.offsetX, img.offsetY));
    kvLayer layer;
    memset(&layer, 0, sizeof layer);
    layer.type = LAYERTYPE_TEXTOUT;
    layer.sourceState = layer.transformedState = layer.drawnState = s;
    InitTransform(&layer.transform);
    TransformRecord t;
    InitTransform(&t);
    t.a = t.d = t.scaleX = t.scaleY = 2.0;

    ASSERT_NE(nullptr, TextLayerHooks.render);
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    int32_t w, h, ox, oy;
    ASSERT_EQ(0, TextLayerHooks.render(&layer, &t, &bm, &mask, &alpha, &w, &h, &ox, &oy));
    EXPECT_EQ(want.drawnWidth, w);
    EXPECT_EQ(want.height, h);
    EXPECT_EQ(0, ox);
    EXPECT_EQ(0, oy);
    ASSERT_NE(nullptr, alpha);
    EXPECT_EQ(0, AlphaDifferences(alpha, want.alpha, w, h));
    EXPECT_EQ(0, Differences(bm, w, want.bitmap, want.drawnWidth, h));

    // The picture blown up is not the same (blocky edges).
    BitMap *sbm = nullptr;
    Mask *smask = nullptr;
    AlphaChannel *salpha = nullptr;
    int32_t sw, sh, sox, soy;
    ASSERT_EQ(0, TransformImageRegion(&t, img.bitmap, img.mask, img.alpha, 0, 0, img.drawnWidth, img.height, &sbm,
                                      &smask, &salpha, &sw, &sh, &sox, &soy));
    ASSERT_NE(nullptr, salpha);
    EXPECT_GT(AlphaDifferences(salpha, want.alpha, std::min(sw, w), std::min(sh, h)), 20);
    FreeTriple(sbm, smask, salpha);
    FreeTriple(bm, mask, alpha);

    // The layer code's scale pass for a display scaled by 2 draws the same text.
    DisplayRecord display;
    BGPicNode picture;
    memset(&display, 0, sizeof display);
    memset(&picture, 0, sizeof picture);
    display.layerScale = 1;
    display.scaleWidth = 400;
    display.scaleHeight = 200;
    display.scaleX = display.scaleY = 2.0;
    display.bgpic = &picture;
    CurrentDisplay = &display;
    CurrentPicture = &picture;
    ASSERT_EQ(0, BuildLayerState(&layer, BUILD_SCALEPASS));
    CurrentDisplay = nullptr;
    CurrentPicture = nullptr;
    LayerState *drawn = layer.drawnState;
    ASSERT_NE(s, drawn);
    EXPECT_EQ(want.drawnWidth, drawn->drawnWidth);
    ASSERT_NE(nullptr, drawn->alpha);
    EXPECT_EQ(0, AlphaDifferences(drawn->alpha, want.alpha, want.drawnWidth, want.height));
    FreeLayerState(LAYERTYPE_TEXTOUT, drawn);
    layer.drawnState = s;

    // A turn is left to the layer code; an unknown state or other layer kinds too.
    t.b = 0.5;
    EXPECT_EQ(-1, TextLayerHooks.render(&layer, &t, &bm, &mask, &alpha, &w, &h, &ox, &oy));
    t.b = 0.0;
    layer.type = OBJTYPE_BRUSH;
    EXPECT_EQ(-1, TextLayerHooks.render(&layer, &t, &bm, &mask, &alpha, &w, &h, &ox, &oy));
    layer.type = LAYERTYPE_TEXTOUT;
    FreeLayerState(LAYERTYPE_TEXTOUT, s);
    LayerState *other = NewLayerState(nullptr);
    layer.sourceState = other;
    EXPECT_EQ(-1, TextLayerHooks.render(&layer, &t, &bm, &mask, &alpha, &w, &h, &ox, &oy));
    FreeLayerState(LAYERTYPE_TEXTOUT, other);
}

class DisplayOptions : public TextLayers {
protected:
    DisplayRecord display;
    BGPicNode picture;
    void SetUp() override
    {
        TextLayers::SetUp();
        memset(&display, 0, sizeof display);
        memset(&picture, 0, sizeof picture);
        display.displayBitMap = AllocBitMap(200, 80);
        display.width = picture.width = 200;
        display.height = picture.height = 80;
        display.outputType = OBJTYPE_DISPLAY;
        display.state = DISPSTATE_OPEN;
        CurrentDisplay = &display;
        CurrentPicture = &picture;
    }
    void TearDown() override
    {
        CurrentDisplay = nullptr;
        CurrentPicture = nullptr;
        FreeBitMap(display.displayBitMap);
        TextLayers::TearDown();
    }
    struct Box {
        int32_t x1, y1, x2, y2;
    };
    // Clears the display, draws object 1 at (x, y) with the options (none: no table) and returns
    // the box of the lit pixels; the command's code goes to *code.
    Box Draw(int32_t x, int32_t y, std::vector<std::pair<const char *, double>> options, int *code,
             bool table = true)
    {
        RectFillBitMap(display.displayBitMap, 0, 0, 200, 80, 0);
        *code = Run([&](lua_State *L) {
            lua_pushnumber(L, 1);
            lua_pushnumber(L, x);
            lua_pushnumber(L, y);
            if (table) {
                lua_newtable(L);
                for (auto &o : options) {
                    lua_pushstring(L, o.first);
                    lua_pushnumber(L, o.second);
                    lua_settable(L, -3);
                }
            } else {
                lua_pushstring(L, "scalex");
            }
            return TxDisplayTextObject(L);
        });
        Box b = {INT32_MAX, INT32_MAX, -1, -1};
        for (int32_t py = 0; py < 80; py++)
            for (int32_t px = 0; px < 200; px++)
                if (ReadBitMapPixel(display.displayBitMap, px, py, 0) != 0) {
                    b.x1 = std::min(b.x1, px);
                    b.y1 = std::min(b.y1, py);
                    b.x2 = std::max(b.x2, px);
                    b.y2 = std::max(b.y2, py);
                }
        return b;
    }
};

// The table's scale, anchor and checks take effect on top of the object's own size.
TEST_F(DisplayOptions, ScaleAnchorAndBadOptions)
{
    UseSans(16);
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Wide"}));
    int code;
    Box plain = Draw(20, 10, {}, &code);
    ASSERT_EQ(0, code);
    ASSERT_GT(plain.x2, plain.x1);
    int32_t pw = plain.x2 - plain.x1 + 1, ph = plain.y2 - plain.y1 + 1;

    Box twice = Draw(20, 10, {{"scalex", 2}, {"scaley", 2}}, &code);
    ASSERT_EQ(0, code);
    EXPECT_NEAR(2 * pw, twice.x2 - twice.x1 + 1, 3);
    EXPECT_NEAR(2 * ph, twice.y2 - twice.y1 + 1, 3);
    EXPECT_NEAR(plain.x1, twice.x1, 2);

    // With the anchor in the middle the object's centre lies at x.
    TextObjectNode *n = nullptr;
    ASSERT_EQ(0, FindTextObject({1, nullptr}, 0, &n));
    Box anchored = Draw(100, 10, {{"anchorx", 0.5}}, &code);
    ASSERT_EQ(0, code);
    EXPECT_EQ(plain.x1 + 80 - n->width / 2, anchored.x1);
    Box rotated = Draw(100, 40, {{"rotate", 90}}, &code);
    ASSERT_EQ(0, code);
    EXPECT_NEAR(pw, rotated.y2 - rotated.y1 + 1, 3);

    // The object's own scale stays under the options.
    ASSERT_EQ(0, Call(TxScaleTextObject, {1, "200%", KEEPASPRAT}));
    Box both = Draw(0, 0, {{"scalex", 0.5}, {"scaley", 0.5}}, &code);
    ASSERT_EQ(0, code);
    EXPECT_NEAR(pw, both.x2 - both.x1 + 1, 3);

    struct Bad {
        const char *key;
        double value;
        int code;
    } bad[] = {{"anchorx", 1.5}, {"anchory", -0.1}};
    for (const Bad &b : bad) {
        Draw(0, 0, {{b.key, b.value}}, &code);
        EXPECT_EQ(1055, code) << b.key;
    }
    Draw(0, 0, {}, &code, false);
    EXPECT_NE(0, code);
    EXPECT_EQ(1175, Call(TxDisplayTextObject, {2, 0, 0}));
}

} // namespace
