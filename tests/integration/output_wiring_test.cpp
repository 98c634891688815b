// Off-screen text output through the prepared selection target, and the picture writer's GIF
// format read back by the program's own reader and by SDL2_image.
#include <SDL_image.h>

#include "display/graphics.h"
#include "tests/integration/wiring_fixture.h"

namespace {

// Pixels of the brush's colour plane that are no longer `rgb`.
int ChangedPixels(const BrushNode *b, uint32_t rgb)
{
    int n = 0;
    for (int y = 0; y < b->height; y++)
        for (int x = 0; x < b->width; x++) n += ReadBitMapPixel(b->bitmap, x, y, 0) != rgb;
    return n;
}

TEST_F(WiringTest, TextIntoAMaskOrAlphaSelectionLeavesTheColoursAlone)
{
    d = OpenDisplay(32, 32);
    ASSERT_TRUE(d);
    ASSERT_EQ(Call("SetFontColor", {0xFFFFFF}), 0);
    struct Case {
        const char *select;
        bool coloursChange;
    };
    const Case cases[] = {{"SelectBrush", true}, {"SelectMask", false}, {"SelectAlphaChannel", false}};
    for (const Case &c : cases) {
        ASSERT_EQ(Call("CreateBrush", {1, 48, 24, 0x102030}), 0);
        ASSERT_EQ(Call(c.select, {1}), 0) << c.select;
        ASSERT_EQ(Call("TextOut", {0, 0, "WWW"}), 0) << c.select;
        ASSERT_EQ(Call("EndSelect", {}), 0);
        BrushNode *b = Brush(1);
        EXPECT_EQ(ChangedPixels(b, 0x102030) > 0, c.coloursChange) << c.select;
        if (!c.coloursChange) {
            EXPECT_TRUE(b->mask || b->alpha) << c.select;
        }
        ASSERT_EQ(Call("FreeBrush", {1}), 0);
    }
}

std::string OutPath(const char *name) { return std::string(KV_BINARY_DIR) + "/wire_" + name; }

// Loads a picture file with SDL2_image as 0xRRGGBB words (empty when it fails).
std::vector<uint32_t> LoadWithSDL(const std::string &path, int *w, int *h)
{
    std::vector<uint32_t> out;
    SDL_Surface *s = IMG_Load(path.c_str());
    if (!s) return out;
    SDL_Surface *c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(s);
    if (!c) return out;
    *w = c->w;
    *h = c->h;
    for (int y = 0; y < c->h; y++)
        for (int x = 0; x < c->w; x++) out.push_back(((uint32_t *)((uint8_t *)c->pixels + y * c->pitch))[x]);
    SDL_FreeSurface(c);
    return out;
}

// The quantiser works on a 5-6-5-bit histogram: a colour comes back within a few steps.
bool Near(uint32_t a, uint32_t b)
{
    for (int shift : {0, 8, 16})
        if (abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF)) > 8) return false;
    return true;
}

uint32_t Quadrant(int x, int y) { return x < 4 ? (y < 3 ? 0xFF0000u : 0x00FF00u) : (y < 3 ? 0x000000u : 0xFFFF00u); }

TEST_F(WiringTest, SaveBrushAndSaveSnapshotWriteGIF)
{
    std::string bmp = OutPath("quadrants.bmp"), gif = OutPath("quadrants.gif");
    WriteBMP24(bmp, 8, 6, Quadrant);
    ASSERT_EQ(Call("LoadBrush", {1, bmp}), 0);
    ASSERT_EQ(Call("SaveBrush", {1, gif, 0, IMGFMT_GIF}), 0);

    // Our reader.
    ASSERT_EQ(Call("LoadBrush", {2, gif}), 0);
    BrushNode *b = Brush(2);
    ASSERT_EQ(b->width, 8);
    ASSERT_EQ(b->height, 6);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 8; x++) {
            uint32_t rgb = ReadBitMapPixel(b->bitmap, x, y, 0);
            EXPECT_TRUE(Near(rgb, Quadrant(x, y))) << x << "," << y << ": " << std::hex << rgb;
            // The writer's spare transparent slot is used by no pixel: black stays visible.
            if (b->mask) {
                EXPECT_NE(ReadBitMapPixel(b->mask, x, y, 1), 0u) << x << "," << y;
            }
        }

    // SDL2_image.
    int w = 0, h = 0;
    std::vector<uint32_t> px = LoadWithSDL(gif, &w, &h);
    ASSERT_EQ(px.size(), 48u) << IMG_GetError();
    ASSERT_EQ(w, 8);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 8; x++) {
            EXPECT_TRUE(Near(px[y * 8 + x], Quadrant(x, y))) << x << "," << y;
            EXPECT_EQ(px[y * 8 + x] >> 24, 0xFFu) << x << "," << y;
        }

    // A masked brush keeps its shape: the transparent colour fills the clear pixels and becomes
    // the file's transparent slot.
    ASSERT_EQ(Call("LoadBrush", {3, bmp, Arg({{"transparency", 0x00FF00}})}), 0);
    ASSERT_NE(Brush(3)->mask, nullptr);
    std::string masked = OutPath("masked.gif");
    ASSERT_EQ(Call("SaveBrush", {3, masked, 0x00FF00, IMGFMT_GIF}), 0);
    ASSERT_EQ(Call("LoadBrush", {4, masked}), 0);
    b = Brush(4);
    ASSERT_NE(b->mask, nullptr);
    EXPECT_EQ(ReadBitMapPixel(b->mask, 0, 5, 1), 0u);
    EXPECT_NE(ReadBitMapPixel(b->mask, 0, 0, 1), 0u);
    px = LoadWithSDL(masked, &w, &h);
    ASSERT_EQ(px.size(), 48u);
    EXPECT_EQ(px[5 * 8] >> 24, 0u);
    EXPECT_EQ(px[0] >> 24, 0xFFu);
    EXPECT_TRUE(Near(px[0], 0xFF0000));

    // A snapshot of the display.
    d = OpenDisplay(20, 10);
    ASSERT_TRUE(d);
    ASSERT_EQ(Call("DisplayBrush", {1, 0, 0}), 0);
    std::string snap = OutPath("snapshot.gif");
    ASSERT_EQ(Call("SaveSnapshot", {snap, 1, IMGFMT_GIF}), 0);
    px = LoadWithSDL(snap, &w, &h);
    ASSERT_EQ(w, 20);
    ASSERT_EQ(h, 10);
    EXPECT_TRUE(Near(px[0], 0xFF0000));
    EXPECT_TRUE(Near(px[9 * 20 + 19], 0));

    // Errors of the writer: colours outside 2..256, a file that can't be made.
    EXPECT_EQ(Call("SaveBrush", {1, gif, 0, IMGFMT_GIF, Arg({{"colors", 1}})}), 1055);
    EXPECT_EQ(Call("SaveBrush", {1, "/nonexistent-dir/x.gif", 0, IMGFMT_GIF}), 1052);
}

}  // namespace
