// The anim store and the library's building blocks on a display under the dummy driver:
// lookup, inserting and removing frames (with their delays), disk-based anims and their
// scaling, the still-picture fallback of "fromdisk", copies, locking, and plays (synchronous
// and asynchronous) over the saved background.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "gfx/draw_routines.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/anim_build.h"
#include "pictures/anim_file.h"
#include "pictures/anim_stream.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

namespace {

const uint32_t Gray = 0x404040, Red = 0xFF0000, Green = 0x00FF00, Blue = 0x0000FF;

std::string TempName(const char *leaf) { return std::string(KV_BINARY_DIR) + "/anim_test_" + leaf; }

struct AnimTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    DisplayRecord *d = nullptr;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartDisplayInterpreter(&L, &applet));
        d = OpenTestDisplay(L, 1, 64, 48, Gray);
        ASSERT_FALSE(HasFailure());
        MakeDisplayCurrent(d);
    }
    void TearDown() override
    {
        while (AsyncDrawList) {
            AsyncDrawNode *n = AsyncDrawList;
            AsyncDrawList = n->next;
            if (n->free) n->free(n->userdata, 0);
            MemFree(n);
        }
        FreeAllAnims(L);
        CurrentDisplay = nullptr;
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        lua_close(L);
        FreeRuntime();
    }
    // An in-memory anim of 8 x 8 frames of the colours given; with masks, each frame's left
    // half is clear.
    AnimNode *Make(uint32_t number, std::initializer_list<uint32_t> colours, int withMask = 0)
    {
        int32_t n = (int32_t)colours.size();
        BitMap **bm;
        Mask **mk;
        AlphaChannel **al;
        EXPECT_EQ(AllocFrameArrays(n, &bm, &mk, &al), 0);
        int32_t i = 0;
        for (uint32_t c : colours) {
            bm[i] = AllocBitMap(8, 8);
            RectFillBitMap(bm[i], 0, 0, 8, 8, c);
            if (withMask) {
                mk[i] = AllocMask(nullptr, 8, 8, 1);
                for (int y = 0; y < 8; y++) mk[i]->pixels[y * mk[i]->bytesPerRow] = 0x0F;
            }
            i++;
        }
        ObjectId id = {number, nullptr};
        AnimNode *node = nullptr;
        EXPECT_EQ(AddAnimNode(&id, 8, 8, n, 0, -1, bm, mk, al, nullptr, &node), 0);
        return node;
    }
    static uint32_t FrameColour(AnimNode *node, int32_t frame, int x = 4, int y = 4)
    {
        BitMap *bm;
        Mask *mk;
        AlphaChannel *al;
        int owned;
        if (FetchAnimFrame(node, frame, 0, 0, &bm, &mk, &al, &owned)) return 0xDEADBEEF;
        uint32_t c = ReadBitMapPixel(bm, x, y, 0) & 0xFFFFFF;
        if (owned) FreeTriple(bm, mk, al);
        return c;
    }
    // The primary colour a pixel is nearest to (GIF frames come back through the quantiser).
    static uint32_t Nearest(uint32_t c)
    {
        uint32_t r = c >> 16 & 255, g = c >> 8 & 255, b = c & 255;
        if (r > 200 && g < 50 && b < 50) return Red;
        if (g > 200 && r < 50 && b < 50) return Green;
        if (b > 200 && r < 50 && g < 50) return Blue;
        return c;
    }
    uint32_t Shown(int x, int y) { return ReadBitMapPixel(d->displayBitMap, x, y, 0) & 0xFFFFFF; }
    // A GIF animation of 16 x 8 frames in the colours given, each with a delay of 40 ms.
    std::string WriteGif(const char *leaf, std::initializer_list<uint32_t> colours)
    {
        std::string name = TempName(leaf);
        ObjectId id = {0, (void *)1};
        AnimStreamNode *s;
        EXPECT_EQ(BeginAnimStreamNode(&id, name.c_str(), 16, 8, ANIMSTREAM_GIF, 25, 90, &s), 0);
        BitMap *bm = AllocBitMap(16, 8);
        GifFrameOptions o;
        o.delay = 40;
        o.optimize = 0;
        for (uint32_t c : colours) {
            RectFillBitMap(bm, 0, 0, 16, 8, c);
            EXPECT_EQ(WriteAnimStreamFrame(s, bm, 0, 0, &o), 0);
        }
        FreeBitMap(bm);
        EXPECT_EQ(FinishAnimStream(s), 0);
        return name;
    }
};

TEST_F(AnimTest, LookupSkipsPrivateNodesAndNamesTheMissingAnim)
{
    AnimNode *a = Make(3, {Red});
    AnimNode *found;
    EXPECT_EQ(FindAnim({3, nullptr}, &found, 0), 0);
    EXPECT_EQ(found, a);
    a->isPrivate = 1;
    EXPECT_EQ(FindAnim({3, nullptr}, &found, 0), 1176);
    char text[128];
    EXPECT_STREQ(FormatErrorMessage(1176, text, sizeof text), "Could not find anim 3!");
    EXPECT_EQ(FindAnim({3, nullptr}, &found, FINDANIM_PRIVATE), 0);
    EXPECT_EQ(FindAnim({0, (void *)a}, &found, 0), 1041);
    a->isPrivate = 0;
    a->lockCount = 1;
    EXPECT_EQ(FindAnim({3, nullptr}, &found, FINDANIM_FORCHANGE), 1314);
    EXPECT_EQ(FreeAnimObject(L, {3, nullptr}, 1), 1314);
    a->lockCount = 0;
    EXPECT_EQ(FreeAnimObject(L, {3, nullptr}, 1), 0);
    EXPECT_EQ(FreeAnimObject(L, {3, nullptr}, 1), 1176);
    EXPECT_EQ(FreeAnimObject(L, {3, nullptr}, 0), 0);
    EXPECT_EQ(CountAnims(), 0);
}

// Inserting and removing frames: the order of the frames and of their delays, and the limits.
TEST_F(AnimTest, ResizeFramesKeepsDelaysWithTheirFramesAndRefusesBadPositions)
{
    struct Case {
        int32_t count, position;
        int code;
        const char *order;   // frame colours afterwards: R G B, 0 for a new black frame
    } cases[] = {
        {1, 0, 0, "RGB0"},   {2, 1, 0, "00RGB"},  {1, 4, 0, "RGB0"},  // right behind the last one
        {1, 5, 1055, "RGB"},  // further than that wrote past the arrays
        {-1, 0, 0, "RG"},     {-2, 2, 0, "R"},     {-1, 2, 0, "RB"},
        {-3, 0, 1055, "RGB"}, {-2, 3, 1055, "RGB"}, {0, 0, 1055, "RGB"}, {1, -1, 1055, "RGB"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " at " + std::to_string(c.position));
        AnimNode *a = Make(1, {Red, Green, Blue});
        a->delays[0] = 10;
        a->delays[1] = 20;
        a->delays[2] = 30;
        EXPECT_EQ(ResizeAnimFrames(a, c.count, c.position), c.code);
        std::string order;
        std::string delays, expectDelays;
        for (int32_t i = 0; i < a->frameCount; i++) {
            uint32_t col = FrameColour(a, i);
            char ch = col == Red ? 'R' : col == Green ? 'G' : col == Blue ? 'B' : col == 0 ? '0' : '?';
            order += ch;
            delays += std::to_string(a->delays[i]) + " ";
            expectDelays += std::string(ch == 'R' ? "10" : ch == 'G' ? "20" : ch == 'B' ? "30" : "-1") + " ";
        }
        EXPECT_EQ(order, c.order);
        EXPECT_EQ(delays, expectDelays);
        EXPECT_EQ(FreeAnimObject(L, {1, nullptr}, 1), 0);
    }
}

TEST_F(AnimTest, InsertedFramesTakeThePlanesOfTheFirstFrame)
{
    AnimNode *a = Make(1, {Red}, 1);
    ASSERT_EQ(ResizeAnimFrames(a, 1, 0), 0);
    ASSERT_NE(a->masks[1], nullptr);
    EXPECT_EQ(a->masks[1]->pixels[0], 0);   // cleared: the new frame is invisible
    EXPECT_EQ(a->alphas[1], nullptr);
    a->diskBased = 1;
    EXPECT_EQ(ResizeAnimFrames(a, 1, 0), 1338);
    a->diskBased = 0;
}

TEST_F(AnimTest, DiskBasedAnimDecodesScalesAndCopiesFromItsFile)
{
    std::string gif = WriteGif("disk.gif", {Red, Green, Blue});
    ObjectId id = {5, nullptr};
    ASSERT_EQ(LoadAnimFromFile(L, &id, gif.c_str(), 0, 1), 0);
    AnimNode *a;
    ASSERT_EQ(FindAnim(id, &a, 0), 0);
    EXPECT_EQ(a->diskBased, 1u);
    EXPECT_EQ(a->frameCount, 3);
    EXPECT_EQ(a->bitmaps, nullptr);
    EXPECT_EQ(AnimFrameDelay(a, 1), 40);   // from the file while the entry is not set
    a->delays[1] = 7;
    EXPECT_EQ(AnimFrameDelay(a, 1), 7);
    EXPECT_EQ(Nearest(FrameColour(a, 2)), Blue);
    EXPECT_EQ(Nearest(FrameColour(a, 0)), Red);      // backwards: the file is read again
    ASSERT_EQ(ScaleAnimNode(a, 32, 4, 0), 0);
    BitMap *bm;
    Mask *mk;
    AlphaChannel *al;
    int owned;
    ASSERT_EQ(FetchAnimFrame(a, 1, 0, 0, &bm, &mk, &al, &owned), 0);
    EXPECT_EQ(owned, 1);
    EXPECT_EQ(bm->width, 32);
    EXPECT_EQ(bm->height, 4);
    FreeTriple(bm, mk, al);
    ASSERT_EQ(FetchAnimFrame(a, 1, 0, 1, &bm, &mk, &al, &owned), 0);
    EXPECT_EQ(bm->width, 16);   // unscaled: the file's size
    FreeTriple(bm, mk, al);
    EXPECT_EQ(FetchAnimFrame(a, 3, 0, 0, &bm, &mk, &al, &owned), 1094);

    ObjectId copyId = {6, nullptr};
    AnimNode *copy;
    ASSERT_EQ(CopyAnimNode(a, &copyId, &copy), 0);
    EXPECT_EQ(copy->diskBased, 1u);
    EXPECT_NE(copy->animFile, a->animFile);
    EXPECT_EQ(copy->delays[1], 7);
    EXPECT_EQ(Nearest(FrameColour(copy, 1, 4, 2)), Green);
    remove(gif.c_str());
}

// "fromdisk" on a picture that is no anim file used to make a disk-based anim without a file.
TEST_F(AnimTest, FromDiskOnAStillPictureBuildsInMemory)
{
    std::string bmp = TempName("still.bmp");
    uint32_t words[4 * 2] = {Red, Red, Green, Green, Red, Red, Green, Green};
    ASSERT_EQ(WriteBMP(bmp.c_str(), words, 4, 2), 0);
    lua_newtable(L);
    SetFieldInt(L, "fromdisk", 1);
    SetFieldInt(L, "width", 2);
    SetFieldInt(L, "height", 2);
    ObjectId id = {2, nullptr};
    ASSERT_EQ(LoadAnimFromFile(L, &id, bmp.c_str(), lua_gettop(L), 0), 0);
    AnimNode *a;
    ASSERT_EQ(FindAnim(id, &a, 0), 0);
    EXPECT_EQ(a->diskBased, 0u);
    EXPECT_EQ(a->frameCount, 1);
    EXPECT_EQ(FrameColour(a, 0, 0, 0), Red);
    // "frames" and "fromdisk" together are refused.
    SetFieldInt(L, "frames", 2);
    EXPECT_EQ(LoadAnimFromFile(L, &id, bmp.c_str(), lua_gettop(L), 0), 1055);
    lua_settop(L, 0);
    remove(bmp.c_str());
}

// Pixels from the graphics cache have no file either: "fromdisk" builds them in memory too.
TEST_F(AnimTest, FromDiskWithCachedPixelsBuildsInMemory)
{
    uint32_t words[4] = {Red, Green, Blue, Red};
    ASSERT_EQ(AddToGfxCache("strip", 4, 1, words, nullptr), 0);
    RuntimeSettings.preproc = 1;
    lua_newtable(L);
    SetFieldInt(L, "fromdisk", 1);
    SetFieldString(L, "cachedload", "strip");
    ObjectId id = {3, nullptr};
    int code = LoadAnimFromFile(L, &id, "not read", lua_gettop(L), 0);
    RuntimeSettings.preproc = 0;
    lua_settop(L, 0);
    FreeGfxCache();
    ASSERT_EQ(code, 0);
    AnimNode *a;
    ASSERT_EQ(FindAnim(id, &a, 0), 0);
    EXPECT_EQ(a->diskBased, 0u);
    EXPECT_EQ(FrameColour(a, 0, 1, 0), Green);
}

TEST_F(AnimTest, AnimFileFramesCarryTheirDelaysAndTheTransparentMask)
{
    std::string gif = WriteGif("mem.gif", {Red, Green});
    ObjectId id = {0, (void *)1};
    ASSERT_EQ(LoadAnimFromFile(L, &id, gif.c_str(), 0, 0), 0);
    AnimNode *a;
    ASSERT_EQ(FindAnim(id, &a, 0), 0);
    EXPECT_EQ(id.handle, (void *)a);
    EXPECT_EQ(a->diskBased, 0u);
    EXPECT_EQ(a->delays[0], 40);
    EXPECT_EQ(a->delays[1], 40);
    uint32_t green = FrameColour(a, 1);
    EXPECT_EQ(Nearest(green), Green);
    EXPECT_EQ(a->masks[0], nullptr);
    lua_pushnumber(L, green);
    ObjectId keyed = {4, nullptr};
    ASSERT_EQ(LoadAnimFromFile(L, &keyed, gif.c_str(), 1, 0), 0);
    ASSERT_EQ(FindAnim(keyed, &a, 0), 0);
    ASSERT_NE(a->masks[1], nullptr);
    EXPECT_EQ(a->masks[1]->pixels[0], 0);      // the green frame's colour is the transparent one
    EXPECT_EQ(a->masks[0]->pixels[0], 0xFF);
    lua_settop(L, 0);
    remove(gif.c_str());
}

// Declared anims are loaded before a display exists: their frames stay words until one opens.
TEST_F(AnimTest, FramesLoadedBeforeADisplayWaitAsWords)
{
    std::string gif = WriteGif("declared.gif", {Red, Green});
    RuntimeSettings.preproc = 1;
    ObjectId id = {7, nullptr};
    ASSERT_EQ(LoadAnimFromFile(L, &id, gif.c_str(), 0, 0), 0);
    ObjectId sprite = {7, nullptr};
    int handled;
    ASSERT_EQ(LoadFromAnimFile(ANIMTARGET_SPRITE, &sprite, gif.c_str(), -1, &handled), 0);
    EXPECT_EQ(handled, 1);
    RuntimeSettings.preproc = 0;
    AnimNode *a;
    ASSERT_EQ(FindAnim(id, &a, 0), 0);
    ASSERT_NE(a->rawPixels, nullptr);
    EXPECT_NE(a->rawPixels[1], nullptr);
    EXPECT_EQ(a->bitmaps[1], nullptr);
    EXPECT_EQ(a->delays[1], 40);
    ASSERT_EQ(BuildPendingAnimBitmaps(), 0);
    EXPECT_EQ(a->rawPixels[1], nullptr);
    ASSERT_NE(a->bitmaps[1], nullptr);
    EXPECT_EQ(Nearest(FrameColour(a, 1)), Green);
    SpriteNode *s;
    ASSERT_EQ(GetSprite(sprite, &s, 0), 0);
    EXPECT_EQ(s->frameCount, 2);
    // A picture that is no anim file is left to the still-picture loader.
    EXPECT_EQ(LoadFromAnimFile(ANIMTARGET_SPRITE, &sprite, "no such file", -1, &handled), 0);
    EXPECT_EQ(handled, 0);
    FreeAllSprites(L);
    remove(gif.c_str());
}

TEST_F(AnimTest, SyncPlayDrawsEveryFrameOverTheSavedBackground)
{
    AnimNode *a = Make(1, {Red, Green}, 1);
    void *handle = nullptr;
    ASSERT_EQ(PlayAnimObject(L, a, 10, 10, -2, 2, 0, 0, &handle), 0);
    EXPECT_EQ(Shown(16, 14), Green);   // the last frame's visible half
    EXPECT_EQ(Shown(11, 14), Gray);    // the clear half shows the background, not the red frame
    EXPECT_EQ(a->lockCount, 0);
    // Partly outside the display: the background is clipped, the frame drawn where it shows.
    ASSERT_EQ(PlayAnimObject(L, a, 58, -4, -2, 1, 0, 0, &handle), 0);
    EXPECT_EQ(Shown(63, 2), Green);
    EXPECT_EQ(PlayAnimObject(L, a, 100, 100, -2, 1, 0, 0, &handle), 1055);
    // A frame without planes goes straight to the display, clipped to it.
    AnimNode *b = Make(2, {Blue});
    ASSERT_EQ(PlayAnimObject(L, b, 60, 44, -2, 1, 0, 0, &handle), 0);
    EXPECT_EQ(Shown(63, 47), Blue);
    EXPECT_EQ(a->lockCount, 0);
}

TEST_F(AnimTest, AsyncPlayLocksTheAnimUntilItsObjectGoes)
{
    AnimNode *a = Make(1, {Red, Green, Blue});
    void *handle = nullptr;
    ASSERT_EQ(PlayAnimObject(L, a, 0, 0, -2, 1, 1, 0, &handle), 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(a->lockCount, 1);
    EXPECT_EQ(FreeAnimObject(L, a->id, 1), 1314);
    AsyncDrawNode *n = AsyncDrawList;
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, ADF_ANIM);
    EXPECT_EQ(n->control(ADCTL_FRAMES, nullptr, n->userdata), 3);
    int32_t finished = 0;
    uint32_t seen[3];
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(n->draw(n->userdata, &finished), 0);
        seen[i] = Shown(4, 4);
    }
    EXPECT_EQ(seen[0], Red);
    EXPECT_EQ(seen[1], Green);
    EXPECT_EQ(seen[2], Blue);
    EXPECT_EQ(finished, 1);
    AsyncDrawList = n->next;
    n->free(n->userdata, 1);
    MemFree(n);
    EXPECT_EQ(a->lockCount, 0);
}

TEST_F(AnimTest, SpeedConstantsBecomeFrameTimes)
{
    struct {
        int32_t speed, ms;
    } cases[] = {{-2, 0}, {-1, 60}, {-3, 160}, {-7, 0}, {0, 0}, {5, 100}, {-4, -4}};
    for (auto c : cases) EXPECT_EQ(AnimSpeedToDelay(c.speed), c.ms) << c.speed;
}

}  // namespace
