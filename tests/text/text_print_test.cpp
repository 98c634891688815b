// Print, NPrint and TextOut onto a display without layers: the pixels they leave in the
// display's picture, the cursor afterwards, wrapping at the right margin, tabs, centred text
// and transparent colours.
#include <SDL.h>
#include <SDL_image.h>
#include <sys/stat.h>

#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "gfx/blit.h"
#include "tests/text/text_fixture.h"
#include "text/text_objects.h"
#include "text/text_print.h"

namespace {

using namespace textfix;

class TextPrint : public TextTest {
protected:
    DisplayRecord display;
    BGPicNode picture;
    // The script's "tostring", which Print uses, for numbers and strings.
    static int ToString(lua_State *L)
    {
        lua_pushstring(L, lua_tostring(L, 1));
        return 1;
    }
    void SetUp() override
    {
        TextTest::SetUp();
        Run([](lua_State *L) {
            lua_pushstring(L, "tostring");
            lua_pushcfunction(L, ToString);
            lua_settable(L, LUA_GLOBALSINDEX);
            return 0;
        });
        memset(&display, 0, sizeof display);
        memset(&picture, 0, sizeof picture);
        Resize(48, 20);
        display.outputType = OBJTYPE_DISPLAY;
        display.state = DISPSTATE_OPEN;
        CurrentDisplay = &display;
        CurrentPicture = &picture;
    }
    void TearDown() override
    {
        CurrentDisplay = nullptr;
        CurrentPicture = nullptr;
        ForgetDisplayTabStops(&display);
        FreeBitMap(display.displayBitMap);
        TextTest::TearDown();
    }
    void Resize(int32_t w, int32_t h)
    {
        FreeBitMap(display.displayBitMap);
        display.displayBitMap = AllocBitMap(w, h);
        RectFillBitMap(display.displayBitMap, 0, 0, w, h, 0);
        display.width = picture.width = w;
        display.height = picture.height = h;
        display.leftMargin = 0;
        display.rightMargin = w - 1;
        display.cursorX = display.cursorY = 0;
    }
    // Rows of the display's picture: '#' for the text colour, '.' for black, '+' otherwise.
    std::string Screen(uint32_t colour = 0xFFFFFF)
    {
        std::string s;
        const BitMap *bm = display.displayBitMap;
        for (int32_t y = 0; y < bm->height; y++) {
            for (int32_t x = 0; x < bm->width; x++) {
                uint32_t c = ReadBitMapPixel(bm, x, y, 0);
                s += c == colour ? '#' : c == 0 ? '.' : '+';
            }
            s += '\n';
        }
        return s;
    }
};

TEST_F(TextPrint, PrintAtTheCursorAndWrapAtTheMargin)
{
    Resize(40, 18);
    display.leftMargin = 8;
    display.cursorX = 24;
    display.cursorY = 1;
    ASSERT_EQ(0, Call(TxPrint, {"H i"}));
    EXPECT_EQ("........................................\n"
              "........................##...##.........\n"
              "........................##...##.........\n"
              "........................##...##.........\n"
              "........................#######.........\n"
              "........................##...##.........\n"
              "........................##...##.........\n"
              "........................##...##.........\n"
              "........................................\n"
              "...........##...........................\n"
              "........................................\n"
              "..........###...........................\n"
              "...........##...........................\n"
              "...........##...........................\n"
              "...........##...........................\n"
              "..........####..........................\n"
              "........................................\n"
              "........................................\n",
              Screen());
    // The second word went to the next line at the left margin; the cursor is behind it.
    EXPECT_EQ(16, display.cursorX);
    EXPECT_EQ(9, display.cursorY);
    ASSERT_EQ(0, Call(TxNPrint, {"a", 5}));
    EXPECT_EQ(8, display.cursorX);
    EXPECT_EQ(17, display.cursorY);
}

TEST_F(TextPrint, TabsWithoutStopsStartANewLine)
{
    ASSERT_EQ(0, Call(TxPrint, {"\t"}));
    EXPECT_EQ(0, display.cursorX);
    EXPECT_EQ(8, display.cursorY);
    ASSERT_EQ(0, Call(TxAddTab, {20, 4}));
    ASSERT_EQ(0, Call(TxPrint, {"\tx\t"}));
    EXPECT_EQ(20, display.cursorX);
    EXPECT_EQ(8, display.cursorY);
    // The x stands in the cell from the first stop (4) on, nothing left of it.
    std::string screen = Screen();
    int inCell = 0, before = 0;
    for (int y = 8; y < 16; y++)
        for (int x = 0; x < 12; x++) (x < 4 ? before : inCell) += screen[y * 49 + x] == '#';
    EXPECT_EQ(0, before);
    EXPECT_GT(inCell, 6);
}

TEST_F(TextPrint, TextOutCentredWithTransparency)
{
    GetFontSettings()->colour = 0x80FF0000;   // level 127
    ASSERT_EQ(0, Call(TxTextOut, {POS_CENTER, 2, "l"}));
    uint32_t c = ReadBitMapPixel(display.displayBitMap, 20 + 2, 2, 0);
    EXPECT_NEAR(127, (int)(c >> 16), 1);        // red at half strength over black
    EXPECT_EQ(0u, c & 0x00FFFF);
    // The glyph's 8-pixel cell lies in the middle of the 48 pixels (at 20); its ink starts at 2.
    EXPECT_EQ(std::string(22, '.') + "###" + std::string(23, '.'), Screen(c).substr(2 * 49, 48));
    EXPECT_EQ(0, display.cursorX);             // TextOut leaves the cursor alone
    EXPECT_EQ(1055, Call(TxTextOut, {0, 0, "x", TEXTALIGN_LEFT, -1}));
    EXPECT_EQ(1347, [&] { CurrentDisplay = nullptr; return Call(TxPrint, {"x"}); }());
}

// A bad argument raises before SetFontStyle changes anything: a size given before it is not
// kept beyond the limits the style's drawing works within.
TEST_F(TextPrint, SetFontStyleWithABadArgumentChangesNothing)
{
    FontSettings *s = GetFontSettings();
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_SHADOW, 0x000000, 4, 3}));
    const FontSettings before = *s;
    EXPECT_GE(Call(TxSetFontStyle, {TEXTSTYLE_SHADOW, 0x00FF00, 2147483647, "right"}), 1000);
    EXPECT_GE(Call(TxSetFontStyle, {TEXTSTYLE_EDGE, "red", 2147483647}), 1000);
    EXPECT_EQ(s->shadowSize, before.shadowSize);
    EXPECT_EQ(s->shadowColour, before.shadowColour);
    EXPECT_EQ(s->shadowDirection, before.shadowDirection);
    EXPECT_EQ(s->edgeSize, before.edgeSize);
    EXPECT_EQ(s->style, before.style);
    ASSERT_EQ(0, Call(TxTextOut, {0, 0, "still measured"}));
}

// A picture for a person to look at: tags, styles, shadow, edge, anti-aliased outline text and
// a turned text object, drawn through Print, TextOut and DisplayTextObject.
TEST_F(TextPrint, Gallery)
{
    Resize(480, 300);
    RectFillBitMap(display.displayBitMap, 0, 0, 480, 300, 0x303848);
    display.leftMargin = 10;
    display.rightMargin = 469;
    display.cursorX = 10;
    display.cursorY = 8;
    FontSettings *s = GetFontSettings();
    ASSERT_EQ(0, Call(TxNPrint, {"Hello [b]bold[/b] [i]italic[/i] [u]underlined[/u] [color=$FF4040]red "
                                 "[color=$40FF40]green[/color] red again[/color]"}));
    ASSERT_EQ(0, Call(TxNPrint, {"[shadow=$000000,2,#SHDWSOUTHEAST]shadow[/shadow] [edge=$0093DD,1]edge[/edge] "
                                 "[color=$80FFFF00]half transparent[/color] [[tags]] kept"}));
    ASSERT_EQ(0, Call(TxSetFont, {":::default_sans", 32}));
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_ANTIALIAS}));
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_SHADOW, 0x000000, 4, 3}));
    ASSERT_EQ(0, Call(TxTextOut, {POS_CENTER, 40, "Shadowed Sans"}));
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_NORMAL}));
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_ANTIALIAS}));
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_EDGE, 0xC00000, 3}));
    s->colour = 0xFFFFFF;
    ASSERT_EQ(0, Call(TxTextOut, {POS_CENTER, 90, "Edged [i]Sans[/i]", TEXTALIGN_LEFT}));
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_NORMAL}));
    ASSERT_EQ(0, Call(TxSetFontStyle, {TEXTSTYLE_ANTIALIAS}));
    s->colour = 0xFFD040;
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Turned [b]object[/b]\nsecond line", TEXTALIGN_CENTER}));
    TextObjectNode *n = nullptr;
    ASSERT_EQ(0, FindTextObject({1, nullptr}, 0, &n));
    int32_t flatHeight = n->height;
    ASSERT_EQ(0, Call(TxRotateTextObject, {1, 30}));
    BitMap *before = AllocBitMap(480, 300);
    BltBitMap(display.displayBitMap, 0, 0, before, 0, 0, 480, 300);
    ASSERT_EQ(0, Call(TxDisplayTextObject, {1, POS_CENTER, 190}));
    // The turned object reaches further down than it would lying flat.
    int32_t lowest = 0;
    for (int32_t y = 190; y < 300; y++)
        for (int32_t x = 0; x < 480; x++)
            if (ReadBitMapPixel(display.displayBitMap, x, y, 0) != ReadBitMapPixel(before, x, y, 0)) lowest = y;
    FreeBitMap(before);
    EXPECT_GT(lowest, 190 + flatHeight + 10);

    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    BitMap *bm = display.displayBitMap;
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom(bm->pixels, bm->width, bm->height, 32, bm->bytesPerRow,
                                                              SDL_PIXELFORMAT_BGRX8888);
    ASSERT_NE(nullptr, surface);
    EXPECT_EQ(0, IMG_SavePNG(surface, (dir + "/text_gallery.png").c_str()));
    SDL_FreeSurface(surface);
}

}  // namespace
