// Sprites on two open displays under the dummy driver: freeing a sprite (and the links made
// from it) removes its instances from every BGPic, releasing a clip region reaches every BGPic,
// the output checks, blits under a sprite, and frames kept as ARGB words until a display exists.
// Writes build/previews/sprites.png.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "display/bgpic.h"
#include "display/clipregion.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/graphics.h"
#include "display/sprite.h"
#include "gfx/blit.h"
#include "pictures/anim_build.h"
#include "runtime/applet.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "tests/common/display_fixture.h"

namespace {

const uint32_t Gray = 0x404040, Red = 0xFF0000, Green = 0x00FF00;

struct SpriteTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord applet;
    DisplayRecord *d1 = nullptr, *d2 = nullptr;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StartDisplayInterpreter(&L, &applet));
        d1 = Open(1);
        d2 = Open(2);
        MakeDisplayCurrent(d1);
    }
    void TearDown() override
    {
        CurrentDisplay = nullptr;
        FreeAllDisplays(L);
        FreeAllBGPics(L);
        FreeAllSprites(L);
        lua_close(L);
        FreeRuntime();
    }
    DisplayRecord *Open(uint32_t id)
    {
        return OpenTestDisplay(L, id, 64, 48, Gray);
    }
    // A sprite of `frames` 8 x 8 frames of the colours given, each with a mask whose left
    // column is clear.
    SpriteNode *Make(uint32_t id, std::initializer_list<uint32_t> colours)
    {
        int32_t n = (int32_t)colours.size();
        BitMap **bm = (BitMap **)MemAlloc(sizeof(BitMap *) * n, 1);
        Mask **mk = (Mask **)MemAlloc(sizeof(Mask *) * n, 1);
        AlphaChannel **al = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *) * n, 1);
        int32_t i = 0;
        for (uint32_t c : colours) {
            bm[i] = AllocBitMap(8, 8);
            RectFillBitMap(bm[i], 0, 0, 8, 8, c);
            mk[i] = AllocMask(nullptr, 8, 8, 1);
            FillMaskRect(mk[i], 1, 0, 7, 8, MASKVISIBLE);
            i++;
        }
        ObjectId oid = {id, nullptr};
        SpriteNode *s = nullptr;
        EXPECT_EQ(AddSpriteRecord(&oid, 8, 8, n, 0xFFFFFFFF, bm, mk, al, nullptr, 0, nullptr, &s), 0);
        return s;
    }
    SpriteNode *Link(uint32_t id, std::initializer_list<uint32_t> sources)
    {
        ObjectId ids[4];
        int32_t n = 0;
        for (uint32_t s : sources) ids[n++] = {s, nullptr};
        AnimBuildRequest req;
        memset(&req, 0, sizeof req);
        req.targetId = {id, nullptr};
        req.sourceKind = ANIMSRC_SPRITES;
        req.targetKind = ANIMTARGET_SPRITE;
        req.sprites = ids;
        req.spriteCount = n;
        EXPECT_EQ(BuildAnim(L, &req), 0);
        SpriteNode *s = nullptr;
        GetSprite(req.targetId, &s, 0);
        return s;
    }
    static uint32_t Back(DisplayRecord *d, int x, int y) { return ReadBitMapPixel(d->backBuffer, x, y, 0) & 0xFFFFFF; }
};

TEST_F(SpriteTest, FreeingASpriteRemovesItsInstancesAndThoseOfItsLinksFromEveryPicture)
{
    Make(1, {Red, Green});
    Make(2, {Green});
    Link(3, {1, 2});
    MakeDisplayCurrent(d2);
    ASSERT_EQ(ShowSpriteAt(L, {1, nullptr}, 10, 10, 0), 0);
    ASSERT_EQ(ShowSpriteAt(L, {3, nullptr}, 30, 10, 3), 0);
    EXPECT_EQ(Back(d2, 14, 14), Red);
    EXPECT_EQ(Back(d2, 10, 14), Gray);   // the clear mask column
    EXPECT_EQ(Back(d2, 34, 14), Green);  // the link's frame 3 is frame 1 of sprite 2
    MakeDisplayCurrent(d1);
    ASSERT_EQ(ShowSpriteAt(L, {1, nullptr}, 0, 0, 2), 0);
    EXPECT_EQ(FreeSpriteIfUnlocked(L, {1, nullptr}, 1), 0);
    EXPECT_EQ(d1->bgpic->sprites, nullptr);
    EXPECT_EQ(d2->bgpic->sprites, nullptr);
    EXPECT_EQ(Back(d2, 14, 14), Gray);
    EXPECT_EQ(Back(d2, 34, 14), Gray);
    SpriteNode *s;
    EXPECT_EQ(GetSprite({3, nullptr}, &s, 0), 1219);   // the link went with its source
    EXPECT_EQ(GetSprite({2, nullptr}, &s, 0), 0);      // the other source stays
    EXPECT_EQ(FreeSpriteIfUnlocked(L, {1, nullptr}, 1), 1219);
    EXPECT_EQ(FreeSpriteIfUnlocked(L, {1, nullptr}, 0), 0);
    s->locked = 1;
    EXPECT_EQ(FreeSpriteIfUnlocked(L, {2, nullptr}, 1), 1314);
    s->locked = 0;
}

TEST_F(SpriteTest, ReleasingAClipRegionClearsItFromTheInstancesOfEveryPicture)
{
    Make(1, {Red});
    Make(2, {Red});
    ClipRegionNode region;
    memset(&region, 0, sizeof region);
    region.width = 12;
    region.height = 12;
    d1->bgpic->clipRegion = d2->bgpic->clipRegion = &region;
    ASSERT_EQ(ShowSpriteAt(L, {1, nullptr}, 8, 8, 1), 0);
    MakeDisplayCurrent(d2);
    ASSERT_EQ(ShowSpriteAt(L, {2, nullptr}, 8, 8, 1), 0);
    EXPECT_EQ(Back(d2, 13, 13), Gray);   // cut by the region
    EXPECT_EQ(Back(d2, 11, 11), Red);
    d1->bgpic->clipRegion = d2->bgpic->clipRegion = nullptr;
    EXPECT_EQ(ReleaseSpriteClipRegion(&region), 0);
    EXPECT_EQ(d1->bgpic->sprites->clipRegion, nullptr);
    EXPECT_EQ(d2->bgpic->sprites->clipRegion, nullptr);
    EXPECT_EQ(Back(d2, 13, 13), Red);    // refreshed without the region
    EXPECT_EQ(ReleaseSpriteClipRegion(&region), -1);
}

TEST_F(SpriteTest, OutputChecks)
{
    Make(1, {Red});
    BGPicNode selection;
    memset(&selection, 0, sizeof selection);
    const struct { uint32_t type; int doubleBuffer; uint32_t selectionKind; int layers; int code; } cases[] = {
        {OBJTYPE_BRUSH, 1, OBJTYPE_BRUSH, 0, 1229}, {OBJTYPE_BRUSH, 0, OBJTYPE_ANIM, 0, 1339},
        {OBJTYPE_BRUSH, 0, OBJTYPE_BRUSH, 0, 1082}, {OBJTYPE_BGPIC, 0, 0, 1, 1056},
        {OBJTYPE_MASK, 0, 0, 0, 1147},              {OBJTYPE_ALPHACHANNEL, 0, 0, 0, 1167},
        {OBJTYPE_DISPLAY, 0, 0, 1, 1162},           {OBJTYPE_DISPLAY, 0, 0, 0, 0},
    };
    for (auto &c : cases) {
        d1->outputType = c.type;
        d1->doubleBuffer = c.doubleBuffer;
        d1->selection = c.selectionKind ? &selection : nullptr;
        selection.selectionKind = c.selectionKind;
        d1->layersEnabled = c.layers;
        EXPECT_EQ(CheckSpriteOutput(), c.code) << c.type << " " << c.layers;
    }
    d1->selection = nullptr;
    SpriteInstance *inst;
    EXPECT_EQ(GetOnScreenSprite({1, nullptr}, &inst), 1220);
    EXPECT_EQ(GetOnScreenSprite({0, &selection}, &inst), 1325);
    EXPECT_EQ(ShowSpriteAt(L, {1, nullptr}, 0, 0, 2), 1094);
    EXPECT_EQ(ShowSpriteAt(L, {1, nullptr}, 0, 0, -1), 1094);
}

TEST_F(SpriteTest, ABlitUnderASpriteGoesUnderIt)
{
    Make(1, {Red});
    ASSERT_EQ(ShowSpriteAt(L, {1, nullptr}, 20, 20, 1), 0);
    BitMap *green = AllocBitMap(16, 16);
    RectFillBitMap(green, 0, 0, 16, 16, Green);
    // Into the display's picture: kept there, the sprite stays on top.
    SafeBlt(green, 0, 0, nullptr, 16, 16, 16, 16, 16, 16, 64, 48, SAFEBLT_DISPLAYBITMAP, nullptr, nullptr, nullptr);
    EXPECT_EQ(ReadBitMapPixel(d1->displayBitMap, 24, 24, 0) & 0xFFFFFF, Green);
    EXPECT_EQ(Back(d1, 24, 24), Red);
    EXPECT_EQ(Back(d1, 20, 24), Green);   // under the clear mask column
    EXPECT_EQ(Back(d1, 17, 17), Green);
    // To the window only: the picture is untouched.
    RectFillBitMap(green, 0, 0, 16, 16, 0x0000FF);
    SafeBlt(green, 0, 0, nullptr, 22, 20, 16, 16, 16, 16, 64, 48, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(ReadBitMapPixel(d1->displayBitMap, 34, 22, 0) & 0xFFFFFF, Gray);
    EXPECT_EQ(Back(d1, 34, 22), 0x0000FFu);
    EXPECT_EQ(Back(d1, 24, 22), Red);
    FreeBitMap(green);

    // A picture for a person to look at: two sprites over the display's picture.
    Make(2, {Green});
    ASSERT_EQ(ShowSpriteAt(L, {2, nullptr}, 26, 26, 1), 0);
    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    EXPECT_EQ(SaveImageFile(IMGFMT_PNG, d1->backBuffer, 64, 48, (dir + "/sprites.png").c_str(), nullptr, 0xFFFFFFFF,
                            nullptr, 90, 256, 0),
              0);
    RemoveAllSprites(0);
    EXPECT_EQ(d1->bgpic->sprites, nullptr);
    EXPECT_EQ(Back(d1, 24, 24), Green);
}

TEST_F(SpriteTest, FramesLoadedBeforeADisplayStayARGBUntilConverted)
{
    std::string dir = std::string(KV_BINARY_DIR) + "/previews";
    mkdir(dir.c_str(), 0755);
    std::string file = dir + "/sprite_strip.png";
    BitMap *strip = AllocBitMap(16, 8);
    RectFillBitMap(strip, 0, 0, 8, 8, Red);
    RectFillBitMap(strip, 8, 0, 8, 8, Green);
    AlphaChannel *alpha = AllocAlphaChannel(16, 8, 0);
    memset(alpha->pixels, 0x80, (size_t)alpha->bytesPerRow * 8);
    ASSERT_EQ(SaveImageFile(IMGFMT_PNG, strip, 16, 8, file.c_str(), nullptr, 0xFFFFFFFF, alpha, 90, 256, 0), 0);
    FreeBitMap(strip);
    FreeAlphaChannel(alpha);

    lua_newtable(L);
    SetFieldInt(L, "width", 8);
    SetFieldInt(L, "height", 8);
    SetFieldInt(L, "frames", 2);
    SetFieldInt(L, "loadalpha", 1);
    RuntimeSettings.preproc = 1;
    ObjectId id = {5, nullptr};
    ASSERT_EQ(LoadAnimObject(L, ANIMTARGET_SPRITE, &id, file.c_str(), 1), 0);
    SpriteNode *s = SpriteList;
    while (s && s->id.number != 5) s = s->next;
    ASSERT_NE(s, nullptr);
    EXPECT_NE(s->pendingFrames, nullptr);
    EXPECT_EQ(s->bitmaps, nullptr);
    EXPECT_EQ(s->pendingFrames[1][0] >> 24, 0x80u);
    RuntimeSettings.preproc = 0;
    ASSERT_EQ(ConvertSpriteFrames(), 0);
    EXPECT_EQ(s->pendingFrames, nullptr);
    BitMap *bm;
    Mask *mask;
    AlphaChannel *a;
    ASSERT_EQ(GetSpriteFrame(s, 1, &bm, &mask, &a), 1);
    EXPECT_EQ(ReadBitMapPixel(bm, 0, 0, 0) & 0xFFFFFF, Green);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->pixels[0], 0x80);
    EXPECT_EQ(mask, nullptr);

    // Mask and alpha channel exclude each other.
    SetFieldInt(L, "transparency", 0);
    EXPECT_EQ(LoadAnimObject(L, ANIMTARGET_SPRITE, &id, file.c_str(), 1), 1223);
    lua_settop(L, 0);
}

}  // namespace
