// Start-up across the libraries: declared objects made by their commands, the pending images
// built before the first display opens, a picture backfill drawn from a declared brush, and a
// freed display forgetting its print state.
#include "display/bgpic.h"
#include "display/display_pending.h"
#include "runtime/errors.h"
#include "runtime/player.h"
#include "tests/integration/wiring_fixture.h"
#include "text/text_print.h"

namespace {

TEST_F(WiringTest, AFreedDisplayLeavesNoTabStopsBehind)
{
    DisplayRecord rec;
    memset(&rec, 0, sizeof rec);
    rec.state = DISPSTATE_CLOSED;
    rec.id = {77, nullptr};
    DisplayTabStops *t = GetDisplayTabStops(&rec, 1);
    ASSERT_NE(t, nullptr);
    t->count = 1;
    FreeDisplayContents(L, &rec, 0);
    // A display made later at the same address with the same number starts without them.
    EXPECT_EQ(GetDisplayTabStops(&rec, 0), nullptr);
}

// A backfill made from declared brush 1 (6 x 4: red, its right half white) on a blue screen.
struct BackfillCase {
    const char *name;
    int kind;
    int32_t x, y;   // the picture's position: pixels, or #CENTER (-100000) plus a difference
};

struct BackfillTest : WiringTest, ::testing::WithParamInterface<BackfillCase> {};

uint32_t HalfWhite(int x, int) { return x < 3 ? 0xFF0000u : 0xFFFFFFu; }

TEST_P(BackfillTest, DeclaredObjectsAndTheBackfillComeUpAtStart)
{
    const BackfillCase &c = GetParam();
    std::string brushFile = BrushTestPath("wire_backfill.bmp"), picFile = BrushTestPath("wire_bgpic.bmp");
    WriteBMP24(brushFile, 6, 4, HalfWhite);
    WriteBMP24(picFile, 40, 30, [](int, int) { return 0x00FF00u; });
    PictureDeclBlock pb;
    memset(&pb, 0, sizeof pb);
    pb.globalAlpha = -1;
    ASSERT_EQ(AddPreprocObject(&applet, PREPROC_BRUSH, 1, brushFile.c_str(), 0xFFFFFFFF, 0, 2, 1, &pb), 0);
    ASSERT_EQ(AddPreprocObject(&applet, PREPROC_BRUSH, 3, picFile.c_str(), 0xFFFFFFFF, 0, 3, 1, &pb), 0);
    ASSERT_EQ(AddPreprocObject(&applet, PREPROC_BGPIC, 2, picFile.c_str(), 0xFFFFFFFF, 0, 4, 1, nullptr), 0);
    DisplayDecl dd;
    memset(&dd, 0, sizeof dd);
    strcpy(dd.title, "Wired");
    dd.flags = DISPF_BGPIC;
    dd.bgpicId = 2;
    dd.x = dd.y = -100000;
    dd.fillStyle = 1;
    ASSERT_EQ(AddPreprocObject(&applet, PREPROC_DISPLAY, 1, "", 0, 0, 5, 1, &dd), 0);
    applet.backfillKind = c.kind;
    applet.backfillBrushId = 1;
    applet.backfillStartColor = 0x0000FF;
    applet.backfillPicX = c.x;
    applet.backfillPicY = c.y;

    ClArgsRecord clargs;
    memset(&clargs, 0, sizeof clargs);
    clargs.quiet = 1;
    ASSERT_EQ(CreatePreprocObjects(L, &clargs, &applet), 0);
    // Declared brushes keep raw pixels (a lookup would build them, so the list is walked).
    int declared = 0;
    for (BrushNode *b = BrushList; b; b = b->next) declared += b->rawPixels != nullptr;
    EXPECT_EQ(declared, 2);
    ASSERT_EQ(OpenInitialDisplay(L, ""), 0);
    for (BrushNode *b = BrushList; b; b = b->next) {
        EXPECT_EQ(b->rawPixels, nullptr) << b->id.number;
        EXPECT_NE(b->bitmap, nullptr) << b->id.number;
    }
    DisplayRecord *d1;
    ASSERT_EQ(FindDisplay({1, nullptr}, &d1), 0);
    ASSERT_NE(d1->bgpic, nullptr);
    EXPECT_EQ(d1->bgpic->id.number, 2u);
    EXPECT_EQ(ReadBitMapPixel(d1->bgpic->bitmap, 39, 29, 0), 0x00FF00u);

    // The backdrop display stands first in the list and shows the backfill BGPic.
    DisplayRecord *back = DisplayList;
    ASSERT_NE(back, d1);
    ASSERT_NE(back->bgpic, nullptr);
    const BitMap *bm = back->bgpic->bitmap;
    ASSERT_NE(bm, nullptr);
    if (c.kind == BACKFILL_TEXTURE) {
        // Tiled from the corner.
        for (int x : {0, 3, 6, 9, 17})
            for (int y : {0, 3, 4}) EXPECT_EQ(ReadBitMapPixel(bm, x, y, 0), HalfWhite(x % 6, y % 4)) << x << "," << y;
        return;
    }
    auto resolve = [](int32_t v, int32_t total, int32_t size) {
        return v < -90000 ? (total - size) / 2 + (v + 100000) : v;
    };
    int ox = resolve(c.x, bm->width, 6), oy = resolve(c.y, bm->height, 4);
    for (int y = -1; y <= 4; y++)
        for (int x = -1; x <= 6; x++) {
            bool inside = x >= 0 && x < 6 && y >= 0 && y < 4;
            EXPECT_EQ(ReadBitMapPixel(bm, ox + x, oy + y, 0), inside ? HalfWhite(x, y) : 0x0000FFu) << x << "," << y;
        }
}

const BackfillCase BackfillCases[] = {
    {"PictureCentred", BACKFILL_PICTURE, -100000, -100000},
    {"PictureAtAPosition", BACKFILL_PICTURE, 10, 20},
    {"PictureNearTheCentre", BACKFILL_PICTURE, -100000 + 3, 5},
    {"Texture", BACKFILL_TEXTURE, -100000, -100000},
};
INSTANTIATE_TEST_SUITE_P(Kinds, BackfillTest, ::testing::ValuesIn(BackfillCases),
                         [](const ::testing::TestParamInfo<BackfillCase> &i) { return std::string(i.param.name); });

}  // namespace
