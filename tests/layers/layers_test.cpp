// Layers on an 8 x 8 display: composition of opaque, transparent, tinted, hidden and pending
// layers in the back buffer, the redraw rectangle rules, insert positions, state ownership,
// buttons going with their layers, names, the guard, copy-on-change of shown brushes, FreeLayers
// on the window, and the drawing of a selected layer. Writes layers.png into the build folder.
#include <cmath>

#include "display/clipregion.h"
#include "display/event.h"
#include "display/layer.h"
#include "runtime/memory.h"
#include "tests/layers/layer_fixture.h"

namespace {

const uint32_t Grey = 0xC8C8C8;

TEST_F(LayerTest, ComposesOpaqueTransparentTintedAndSkipsHiddenLayers)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    Show(1, 0, 0);
    Show(1, 4, 0, Arg({{"transparency", 128}}));
    Show(1, 0, 4, Arg({{"tint", 128}, {"tintcolor", 0x0000FF}}));
    Show(1, 4, 4, Arg({{"hidden", 1}}));
    ASSERT_EQ(Count(), 4);
    // 200 over 0 at 50%: 200 + ((0 - 200) * 128 >> 8) = 100; tint 128 toward 0x0000FF: red and
    // green 200 -> 100, blue 200 + (55 * 128 >> 8) = 227.
    struct Case {
        int x, y;
        uint32_t want;
    } cases[] = {{0, 0, Grey}, {1, 1, Grey}, {2, 0, 0}, {4, 0, 0x646464}, {5, 1, 0x646464},
                 {0, 4, 0x6464E3}, {4, 4, 0}, {5, 5, 0}};
    for (const Case &c : cases) {
        EXPECT_EQ(Back(c.x, c.y), c.want) << c.x << "," << c.y;
        EXPECT_EQ(WindowPixel(d, c.x, c.y), c.want) << c.x << "," << c.y;
    }
    // A pending layer is not drawn even where its rectangle is recomposed.
    Layer(1)->pending = 1;
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(Back(0, 0), 0u);
    Layer(1)->pending = 0;
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(Back(0, 0), Grey);

    // A picture for a person to look at.
    std::vector<uint32_t> argb(64);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) argb[y * 8 + x] = 0xFF000000u | Back(x, y);
    EXPECT_EQ(OsSavePNG((std::string(KV_BINARY_DIR) + "/layers.png").c_str(), argb.data(), 8, 8, 0), 0);
}

TEST_F(LayerTest, RedrawRectanglesAtAndBeyondThePictureEdges)
{
    ASSERT_EQ(Call("CreateBrush", {1, 8, 8, Grey}), 0);
    Show(1, 0, 0);
    auto scribble = [&] { RectFillBitMap(d->backBuffer, 0, 0, 8, 8, 0x123456); };
    // Negative and empty rectangles draw nothing.
    scribble();
    Redraw(d, d->bgpic, d->backBuffer, -1, 0, 4, 4, 0, 0);
    Redraw(d, d->bgpic, d->backBuffer, 0, 0, 0, 4, 0, 0);
    EXPECT_EQ(Back(0, 0), 0x123456u);
    // A rectangle that starts at the right or bottom edge has nothing left after the cut.
    Redraw(d, d->bgpic, d->backBuffer, 8, 0, 4, 4, 0, 0);
    Redraw(d, d->bgpic, d->backBuffer, 0, 9, 4, 4, 0, 0);
    EXPECT_EQ(Back(7, 0), 0x123456u);
    // A refresh partly left of and above the picture is redrawn from 0, 0; wholly outside: nothing.
    RefreshArea(-2, -2, 4, 4);
    EXPECT_EQ(Back(0, 0), Grey);
    EXPECT_EQ(Back(1, 1), Grey);
    EXPECT_EQ(Back(2, 2), 0x123456u);
    RefreshArea(-4, 0, 4, 4);
    RefreshArea(8, 0, 4, 4);
    EXPECT_EQ(Back(0, 3), 0x123456u);
}

TEST_F(LayerTest, InsertPositions)
{
    for (uint32_t b = 1; b <= 4; b++) ASSERT_EQ(Call("CreateBrush", {b, 1, 1, 0xFFFFFF}), 0);
    struct Case {
        int32_t pos, want;
    } cases[] = {{1, 1}, {-1, 4}, {0, 4}, {2, 2}, {3, 3}, {4, 4}, {9, 4}};
    for (const Case &c : cases) {
        FreeLayer(CurrentPicture, 1);
        for (uint32_t b = 1; b <= 3; b++) Show(b, 0, 0);
        ASSERT_EQ(AddObjectLayer(L, OBJTYPE_BRUSH, {4, nullptr}, 0, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr,
                                 c.pos, 0),
                  0);
        ASSERT_EQ(Count(), 4);
        EXPECT_EQ(Layer(c.want)->source.number, 4u) << c.pos;
    }
    // On an empty list every position gives a list of one.
    FreeLayer(CurrentPicture, 1);
    ASSERT_EQ(AddObjectLayer(L, OBJTYPE_BRUSH, {4, nullptr}, 0, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr, 3,
                             0),
              0);
    EXPECT_EQ(Count(), 1);
    // InsertLayer refuses a negative position and puts 0 on top.
    EXPECT_EQ(Call("InsertLayer", {-1, 3, 1, 0, 0}), 1370);
    EXPECT_EQ(Call("InsertLayer", {0, 3, 2, 0, 0}), 0);
    EXPECT_EQ(Layer(2)->source.number, 2u);
}

TEST_F(LayerTest, StatesOfPlainTransformedAndScaledLayersAreFreedOnce)
{
    ASSERT_EQ(Call("CreateBrush", {1, 4, 2, Grey}), 0);
    Show(1, 0, 0);
    Show(1, 2, 2);
    Show(1, 4, 4);
    kvLayer *plain = Layer(1), *turned = Layer(2), *scaled = Layer(3);
    EXPECT_TRUE(plain->sourceState == plain->transformedState && plain->transformedState == plain->drawnState);
    ASSERT_EQ(Call("RotateLayer", {2, 90}), 0);
    EXPECT_NE(turned->transformedState, turned->sourceState);
    EXPECT_EQ(turned->drawnState, turned->transformedState);
    EXPECT_EQ(turned->drawnState->drawnWidth, 2);
    EXPECT_EQ(turned->drawnState->drawnHeight, 4);
    // ConvertToBrush(#LAYER) takes what the layer shows: the turned picture.
    ASSERT_EQ(Call("ConvertToBrush", {22, 2, 7}), 0);
    ASSERT_NE(Brush(7), nullptr);
    EXPECT_EQ(Brush(7)->width, 2);
    EXPECT_EQ(Brush(7)->height, 4);
    EXPECT_EQ(Call("ConvertToBrush", {22, 9, 8}), 1081);
    // Display scaling by 2 gives every layer a drawn state of its own.
    d->layerScale = 1;
    d->scaleWidth = d->scaleHeight = 16;
    d->scaleX = d->scaleY = 2.0;
    ASSERT_EQ(RebuildAllLayers(L, d), 0);
    EXPECT_NE(scaled->drawnState, scaled->transformedState);
    EXPECT_EQ(scaled->drawnState->drawnWidth, 8);
    EXPECT_NE(turned->drawnState, turned->transformedState);
    DropScaledLayerStates(CurrentPicture);
    EXPECT_EQ(turned->drawnState, turned->transformedState);
    ASSERT_EQ(RebuildAllLayers(L, d), 0);
    // A layer added now is scaled from the start.
    Show(1, 1, 1);
    kvLayer *added = Layer(4);
    EXPECT_NE(added->drawnState, added->transformedState);
    EXPECT_EQ(added->drawnState->drawnX, 2);
    EXPECT_EQ(added->drawnState->drawnHeight, 4);
    RemoveLayerRec(added, 1, nullptr, nullptr);
    // Each state goes once (the sanitizer build finds a second free).
    RemoveLayerRec(scaled, 1, nullptr, nullptr);
    RemoveLayerRec(turned, 1, nullptr, nullptr);
    RemoveLayerRec(plain, 1, nullptr, nullptr);
    EXPECT_EQ(Count(), 0);
    d->layerScale = 0;
    d->scaleWidth = d->scaleHeight = 0;
    d->scaleX = d->scaleY = 1.0;
}

// A layer button as the event library makes it.
kvBGPicButton *AddButton(BGPicNode *pic, kvLayer *layer)
{
    kvBGPicButton *b = (kvBGPicButton *)MemAlloc(sizeof(kvBGPicButton), 1);
    b->type = LAYERBUTTON;
    b->layer = layer;
    for (int32_t &c : b->callbacks) c = -1;
    b->userdata = -1;
    b->next = pic->buttons;
    pic->buttons = b;
    return b;
}

TEST_F(LayerTest, ButtonsGoWithTheirLayersOnEveryPath)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    BGPicNode *pic = CurrentPicture;
    Show(1, 0, 0);
    Show(1, 2, 2);
    AddButton(pic, Layer(1));
    AddButton(pic, Layer(2));
    ASSERT_EQ(Call("RemoveLayer", {1}), 0);
    ASSERT_NE(pic->buttons, nullptr);
    EXPECT_EQ(pic->buttons->next, nullptr);
    EXPECT_EQ(pic->buttons->layer, Layer(1));
    ASSERT_EQ(Call("FreeLayers", {0}), 0);   // without redraw too
    EXPECT_EQ(pic->buttons, nullptr);
    Show(1, 0, 0);
    AddButton(pic, Layer(1));
    ASSERT_EQ(Call("Undo", {3, 1}), 0);
    EXPECT_EQ(pic->buttons, nullptr);
    EXPECT_EQ(Count(), 0);
}

TEST_F(LayerTest, NamesGuardAndEnableErrors)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    Show(1, 0, 0);
    Show(1, 2, 2);
    ASSERT_EQ(Call("SetLayerName", {1, "Hero"}), 0);
    EXPECT_EQ(Call("SetLayerName", {2, "HERO"}), 1161);
    strcpy(Layer(2)->group, "enemies");
    EXPECT_EQ(Call("SetLayerName", {0, "Enemies"}), 1161);
    EXPECT_EQ(Call("SetLayerName", {2, std::string(256, 'n')}), 1373);
    EXPECT_EQ(Call("SetLayerName", {3, "x"}), 1081);
    ASSERT_EQ(Call("SetLayerName", {2, std::string(255, 'n')}), 0);
    EXPECT_EQ(Call("HideLayer", {"nobody"}), 1369);
    ASSERT_EQ(Call("HideLayer", {"hero"}), 0);
    EXPECT_TRUE(Layer(1)->hidden);
    // The guard in its order; nothing changes while it fails.
    struct Case {
        uint32_t output, selectionKind, layers;
        int want;
    } cases[] = {{OBJTYPE_BRUSH, 0, 1, 1082},     {OBJTYPE_BRUSH, OBJTYPE_ANIM, 1, 1339},
                 {OBJTYPE_MASK, 0, 0, 1147},      {OBJTYPE_ALPHACHANNEL, 0, 0, 1167},
                 {OBJTYPE_DISPLAY, 0, 0, 1078}};
    uint32_t kind = CurrentPicture->selectionKind;
    for (const Case &c : cases) {
        d->outputType = c.output;
        CurrentPicture->selectionKind = c.selectionKind;
        d->layersEnabled = c.layers;
        EXPECT_EQ(Call("RemoveLayer", {1}), c.want) << c.output;
    }
    d->outputType = OBJTYPE_DISPLAY;
    CurrentPicture->selectionKind = kind;
    EXPECT_EQ(Count(), 2);
    d->outputType = OBJTYPE_BGPIC;
    EXPECT_EQ(Call("EnableLayers", {}), 1163);
    d->outputType = OBJTYPE_DISPLAY;
    d->doubleBuffer = 1;
    EXPECT_EQ(Call("EnableLayers", {}), 1229);
    d->doubleBuffer = 0;
    EXPECT_EQ(Call("EnableLayers", {}), 0);
    EXPECT_TRUE(d->layersEnabled);
}

TEST_F(LayerTest, ChangedOrFreedBrushesKeepTheirLayersUnchanged)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    Show(1, 0, 0);
    ASSERT_EQ(Call("TintBrush", {1, 0xFF0000, 255}), 0);
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(Back(0, 0), Grey);
    EXPECT_NE(BrushPixel(Brush(1), 0, 0), Grey);
    ASSERT_EQ(Call("FreeBrush", {1}), 0);
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(Back(1, 1), Grey);
    ASSERT_EQ(Call("FreeLayers", {0}), 0);
    // The copies the layer kept went with it.
    EXPECT_EQ(BrushList, nullptr);
}

TEST_F(LayerTest, FreeLayersKeepsOrDropsThePicture)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    Show(1, 3, 3);
    EXPECT_EQ(WindowPixel(d, 3, 3), Grey);
    ASSERT_EQ(Call("FreeLayers", {}), 0);
    EXPECT_EQ(Count(), 0);
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(WindowPixel(d, 3, 3), Grey);
    Show(1, 5, 5);
    ASSERT_EQ(Call("FreeLayers", {0}), 0);
    EXPECT_EQ(WindowPixel(d, 3, 3), 0u);
    EXPECT_EQ(WindowPixel(d, 5, 5), 0u);
}

TEST_F(LayerTest, DrawingIntoOneOfTwoLayersOfABrushChangesOnlyThatLayer)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    Show(1, 0, 0);
    Show(1, 4, 4);
    BitMap *bm;
    Mask *mask;
    AlphaChannel *alpha;
    ASSERT_EQ(ConvertLayerToBitmap(Layer(2), 0, &bm, &mask, &alpha), 0);
    RectFillBitMap(bm, 0, 0, 2, 2, 0x00FF00);
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(Back(0, 0), Grey);
    EXPECT_EQ(Back(4, 4), 0x00FF00u);
    EXPECT_EQ(BrushPixel(Brush(1), 0, 0), Grey);
    // A second conversion keeps the layer's own brush.
    ObjectId own = Layer(2)->source;
    ASSERT_EQ(ConvertLayerToBitmap(Layer(2), 0, &bm, &mask, &alpha), 0);
    EXPECT_TRUE(ObjectIdMatches(Layer(2)->source, own));
}

TEST_F(LayerTest, StylesRoundTripAndRefuseBadMatrices)
{
    ASSERT_EQ(Call("CreateBrush", {1, 4, 2, Grey}), 0);
    Show(1, 1, 1);
    ASSERT_EQ(Call("ScaleLayer", {1, "50%", "100%"}), 0);
    kvLayer *l = Layer(1);
    EXPECT_EQ(l->transform.width, 0);
    EXPECT_DOUBLE_EQ(l->transform.scaleX, 0.5);
    EXPECT_EQ(l->drawnState->drawnWidth, 2);
    ASSERT_EQ(Call("RotateLayer", {1, 30}), 0);
    ASSERT_EQ(Call("TransformLayer", {1, 2, 0, 0, 1}), 0);
    EXPECT_EQ(l->transform.rotate, 0);
    EXPECT_DOUBLE_EQ(l->transform.scaleX, 1.0);
    EXPECT_EQ(l->drawnState->drawnWidth, 8);
    PushLayerStyle(L, l);
    lua_pushstring(L, "transform");
    lua_gettable(L, -2);
    lua_rawgeti(L, -1, 0);
    EXPECT_EQ(lua_tonumber(L, -1), 2.0);
    lua_settop(L, 0);
    struct Case {
        std::vector<double> m;
        int want;
    } cases[] = {{{0, 1, 1, 1}, 1055}, {{1, 0, 0, 0}, 1055}, {{1, 2, 2, 4}, 1055}, {{1, INFINITY, 0, 1}, 1055},
                 {{1, 0, NAN, 1}, 1055}, {{1, 0.5, 0, 1}, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(Call("SetLayerStyle", {1, Arg::Transform(c.m)}), c.want) << c.m[0] << c.m[1] << c.m[2] << c.m[3];
    EXPECT_EQ(Call("SetLayerStyle", {1, Arg({{"width", -4}})}), 1218);
    EXPECT_EQ(Call("SetLayerStyle", {1, Arg({{"scalex", 0}})}), 1218);
    EXPECT_EQ(Call("SetLayerStyle", {1, Arg({{"anchorx", 1.5}})}), 1055);
    // An empty table changes nothing.
    DirtyRect before = {l->drawnState->drawnX, l->drawnState->drawnY, l->drawnState->drawnWidth, 0};
    ASSERT_EQ(Call("SetLayerStyle", {1, Arg({})}), 0);
    EXPECT_EQ(l->drawnState->drawnX, before.x1);
    EXPECT_EQ(l->drawnState->drawnWidth, before.x2);
}

TEST(LayerMatrix, MakeTransformMatrixTable)
{
    struct Case {
        int32_t tw, th, w, h;
        double sx, sy;
        int32_t angle;
        double m[4];
    } cases[] = {
        {0, 0, 10, 10, 1.0, 1.0, 0, {1, 0, 0, 1}},
        {20, 5, 10, 10, 1.0, 1.0, 0, {2, 0, 0, 0.5}},
        {0, 0, 10, 10, 3.0, 0.5, 0, {3, 0, 0, 0.5}},
        {0, 0, 10, 10, 1.0, 1.0, 90, {0, -1, 1, 0}},
        {0, 0, 10, 10, 2.0, 1.0, 180, {-2, 0, 0, -1}},
        {0, 0, 10, 10, 1.0, 1.0, -90, {0, 1, -1, 0}},
        {0, 0, 10, 10, 1.0, 1.0, 45, {M_SQRT1_2, -M_SQRT1_2, M_SQRT1_2, M_SQRT1_2}},
    };
    for (const Case &c : cases) {
        double m[4];
        MakeTransformMatrix(m, c.tw, c.th, c.w, c.h, c.sx, c.sy, c.angle);
        for (int i = 0; i < 4; i++) EXPECT_NEAR(m[i], c.m[i], 1e-12) << c.angle << " entry " << i;
    }
}

TEST(LayerMatrix, MatrixToRotationTable)
{
    struct Case {
        int32_t angle;
        double sx, sy;
    } rotations[] = {{0, 1, 1}, {30, 2, 2}, {90, 1, 3}, {135, 0.5, 0.5}, {180, 1, 1}, {270, 2, 1}, {359, 1, 1}};
    for (const Case &c : rotations) {
        double m[4], sx = 0, sy = 0;
        MakeTransformMatrix(m, 0, 0, 10, 10, c.sx, c.sy, c.angle);
        ASSERT_TRUE(MatrixToRotation(m, &sx, &sy)) << c.angle;
        // On a zero cosine the turn by the opposite angle with negated scales is as good.
        EXPECT_NEAR(fabs(sx), c.sx, 1e-6) << c.angle;
        EXPECT_NEAR(fabs(sy), c.sy, 1e-6) << c.angle;
        EXPECT_GT(sx * sy, 0.0) << c.angle;
    }
    const double shears[][4] = {{1, 0.5, 0, 1}, {1, 0, 0.3, 1}, {1, 1, 1, 1}, {2, 1, -3, 1}};
    for (const auto &m : shears) EXPECT_FALSE(MatrixToRotation(m, nullptr, nullptr)) << m[1] << " " << m[2];
}

TEST(LayerDamage, FastMergeAgreesWithThePlainMerge)
{
    struct Case {
        int32_t n, size;
    } cases[] = {{10000, 4}, {10000, 16}, {300, 64}, {63, 30}};
    for (const Case &c : cases) {
        std::vector<DirtyRect> plain = RandomRects(c.n, c.size, 1920, 1080, (uint32_t)c.size * 7919u);
        std::vector<DirtyRect> fast = plain;
        PlainMerge(plain.data(), c.n);
        DirtyRectList list = {fast.data(), c.n, c.n};
        MergeDirtyRects(&list);
        ASSERT_EQ(memcmp(plain.data(), fast.data(), sizeof(DirtyRect) * (size_t)c.n), 0) << c.n << " of " << c.size;
    }
    // Two overlapping damages become one rectangle.
    DirtyRect two[] = {{0, 0, 3, 3}, {2, 2, 5, 6}};
    DirtyRectList list = {two, 2, 2};
    MergeDirtyRects(&list);
    EXPECT_EQ(two[0].x1, 0);
    EXPECT_EQ(two[0].x2, 5);
    EXPECT_EQ(two[0].y2, 6);
    EXPECT_EQ(two[1].x1, DIRTY_MERGED);
}

TEST(LayerDamage, MoveQueueDamageAtAnyCoordinateIsKept)
{
    static MoveQueue q;
    memset(&q, 0, sizeof q);
    q.count = 3;
    q.damage[0] = {10000, 0, 10003, 3};
    q.damage[1] = {20, 20, 23, 23};
    q.damage[2] = {22, 22, 30, 30};
    q.state[0] = q.state[1] = q.state[2] = MOVE_DONE | MOVE_DAMAGE;
    MergeMoveDamage(&q);
    EXPECT_EQ(q.state[0] & MOVE_MERGED, 0u);
    EXPECT_EQ(q.damage[0].x1, 10000);
    EXPECT_EQ(q.state[1] & MOVE_MERGED, 0u);
    EXPECT_EQ(q.damage[1].x2, 30);
    EXPECT_NE(q.state[2] & MOVE_MERGED, 0u);
}

TEST(LayerCollision, BoxesMasksAndAlphaChannels)
{
    auto box = [](int32_t x, int32_t y, int32_t w, int32_t h) {
        return CollisionBox{x, y, w, h, nullptr, nullptr, 0, 0, nullptr};
    };
    CollisionBox a = box(10, 10, 5, 5);
    CollisionBox touching = box(14, 10, 5, 5), apart = box(15, 10, 5, 5);
    EXPECT_TRUE(BoxesCollide(&a, &touching));
    EXPECT_FALSE(BoxesCollide(&a, &apart));
    // Two 4 x 4 masks: left half set on one, right half on the other, overlapping by two
    // columns where only clear pixels meet.
    Mask *left = AllocMask(nullptr, 4, 4, 1), *right = AllocMask(nullptr, 4, 4, 1);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            PutMaskRowBit(left->pixels + y * left->bytesPerRow, x, x < 2);
            PutMaskRowBit(right->pixels + y * right->bytesPerRow, x, x >= 2);
        }
    CollisionBox l = {0, 0, 4, 4, left, nullptr, 0, 0, nullptr};
    CollisionBox r = {2, 0, 4, 4, right, nullptr, 0, 0, nullptr};
    EXPECT_FALSE(BoxesCollide(&l, &r));
    r.x = 0;   // now the right half of l meets the right half of r: both clear on l
    EXPECT_FALSE(BoxesCollide(&l, &r));
    r.x = -1;  // r's column 2 lies on l's column 1
    EXPECT_TRUE(BoxesCollide(&l, &r));
    // With a mask and an alpha channel a pixel needs both.
    AlphaChannel *alpha = AllocAlphaChannel(4, 4, 1);
    CollisionBox both = {0, 0, 4, 4, left, alpha, 0, 0, nullptr};
    CollisionBox solid = box(0, 0, 4, 4);
    EXPECT_FALSE(BoxesCollide(&both, &solid));
    alpha->pixels[0] = 1;
    EXPECT_TRUE(BoxesCollide(&both, &solid));
    FreeMask(left);
    FreeMask(right);
    FreeAlphaChannel(alpha);
}

TEST_F(LayerTest, MoveQueuesAddThenMoveAndKeepTheirLimits)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    ASSERT_EQ(Call("AddMove", {1, 3, 1, 2, 2}), 0);
    ASSERT_EQ(Call("DoMove", {1}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Back(2, 2), Grey);
    ASSERT_EQ(Call("ClearMove", {1}), 0);
    ASSERT_EQ(Call("AddMove", {1, 3, 1, 5, 5}), 0);
    ASSERT_EQ(Call("DoMove", {1}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Back(2, 2), 0u);
    EXPECT_EQ(Back(5, 5), Grey);
    for (int i = 1; i < 512; i++) ASSERT_EQ(Call("AddMove", {1, 25, 1}), 0);
    EXPECT_EQ(Call("AddMove", {1, 25, 1}), 1066);
    EXPECT_EQ(Call("ClearMove", {99}), 1182);
    EXPECT_EQ(Call("DoMove", {99}), 1182);
    // Undo: the n-th match from the top; beyond the matches nothing happens.
    Show(1, 0, 0);
    Show(1, 6, 0);
    EXPECT_EQ(Call("Undo", {3, 1, 5}), 0);
    EXPECT_EQ(Count(), 3);
    ASSERT_EQ(Call("Undo", {3, 1, 2}), 0);
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Layer(2)->sourceState->x, 6);
    EXPECT_EQ(Call("Collision", {14, 0, 0, 5, 5, 4, 4, 5, 5}), 0);
    EXPECT_EQ(results.size(), 0u);   // a boolean result
}

TEST_F(LayerTest, GroupsMoveAndGoAsAWhole)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    Show(1, 0, 0);
    Show(1, 4, 4);
    Show(1, 6, 0);
    strcpy(Layer(1)->group, "pair");
    strcpy(Layer(2)->group, "pair");
    // The group's box (0, 0)-(5, 5) lands on 2, 2: every member moves by 2, 2.
    ASSERT_EQ(Call("ShowLayer", {"PAIR", 2, 2}), 0);
    EXPECT_EQ(Layer(1)->sourceState->x, 2);
    EXPECT_EQ(Layer(2)->sourceState->y, 6);
    EXPECT_EQ(Layer(3)->sourceState->x, 6);
    EXPECT_EQ(Back(0, 0), 0u);
    EXPECT_EQ(Back(2, 2), Grey);
    EXPECT_EQ(Back(7, 7), Grey);
    ASSERT_EQ(Call("RemoveLayer", {"pair"}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Back(2, 2), 0u);
    EXPECT_EQ(Back(6, 0), Grey);
}

TEST_F(LayerTest, ClipRegionsCutLayersAndTurnWithThem)
{
    ClipRegionNode region;
    memset(&region, 0, sizeof region);
    region.width = 4;
    region.height = 8;
    CurrentPicture->clipRegion = &region;
    ASSERT_EQ(Call("CreateBrush", {1, 8, 2, Grey}), 0);
    Show(1, 0, 0);
    CurrentPicture->clipRegion = nullptr;
    EXPECT_EQ(Back(3, 1), Grey);
    EXPECT_EQ(Back(4, 1), 0u);
    // A turned layer clips with a turned copy of its own; the source keeps the region itself.
    ASSERT_EQ(Call("SetLayerStyle", {1, Arg({{"rotate", 90}, {"anchorx", 0.5}, {"anchory", 0.5}})}), 0);
    kvLayer *l = Layer(1);
    EXPECT_EQ(l->sourceState->clipRegion, &region);
    ASSERT_NE(l->drawnState->clipRegion, nullptr);
    EXPECT_NE(l->drawnState->clipRegion, &region);
    EXPECT_TRUE(l->drawnState->clipRegion->temporary);
    ASSERT_EQ(Call("SetLayerStyle", {1, Arg({{"nocliptransform", 1}})}), 0);
    EXPECT_EQ(l->drawnState->clipRegion, &region);
    ASSERT_EQ(Call("SetLayerStyle", {1, Arg({{"nocliptransform", 0}, {"clipregion", -1}})}), 0);
    EXPECT_EQ(l->sourceState->clipRegion, nullptr);
    EXPECT_EQ(l->drawnState->clipRegion, nullptr);
}

struct LayerBGPicTest : LayerTest {
    void SetUp() override
    {
        LayerTest::SetUp();
        lua_pushvalue(L, LUA_GLOBALSINDEX);
        ASSERT_EQ(OpenBGPicLib(L), 0);
        lua_settop(L, 0);
    }
};

TEST_F(LayerBGPicTest, LayersAddedWhileTheShownPictureIsSelectedAppearAtEndSelect)
{
    ASSERT_EQ(Call("CreateBrush", {1, 2, 2, Grey}), 0);
    ASSERT_EQ(Call("SelectBGPic", {nullptr}), 0);
    Show(1, 3, 3);
    ASSERT_EQ(Count(), 1);
    EXPECT_TRUE(Layer(1)->pending);
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(WindowPixel(d, 3, 3), 0u);
    ASSERT_EQ(Call("EndSelect", {}), 0);
    EXPECT_FALSE(Layer(1)->pending);
    EXPECT_EQ(WindowPixel(d, 3, 3), Grey);
}

TEST_F(LayerBGPicTest, ChangedOrFreedBGPicsKeepTheirPartLayersUnchanged)
{
    ASSERT_EQ(Call("CreateBGPic", {5, 4, 4, 0x00FF00}), 0);
    ASSERT_EQ(Call("DisplayBGPicPart", {5, 0, 0, 2, 2, 1, 1}), 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Layer(1)->type, LAYERTYPE_BGPICPART);
    EXPECT_EQ(WindowPixel(d, 1, 1), 0x00FF00u);
    EXPECT_EQ(WindowPixel(d, 3, 3), 0u);
    ASSERT_EQ(Call("ScaleBGPic", {5, 1, 1}), 0);
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(WindowPixel(d, 2, 2), 0x00FF00u);
    EXPECT_EQ(Layer(1)->drawnState->drawnWidth, 2);
    ASSERT_EQ(Call("FreeBGPic", {5}), 0);
    RefreshDisplayRect(0, 0, 8, 8);
    EXPECT_EQ(WindowPixel(d, 2, 2), 0x00FF00u);
    // The copy the layer kept goes with it.
    auto listed = [] {
        int n = 0;
        for (BGPicNode *b = BGPicList; b; b = b->next) n++;
        return n;
    };
    int before = listed();
    ASSERT_EQ(Call("FreeLayers", {0}), 0);
    EXPECT_EQ(listed(), before - 1);
    EXPECT_EQ(WindowPixel(d, 2, 2), 0u);
}

}  // namespace
