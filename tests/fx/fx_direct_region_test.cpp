// A layer transition's pieces go straight to the window when nothing is drawn over the layer,
// and are recomposed otherwise. Both ways must show the same frames: every run here is made
// twice, once on the uncovered layer and once under a layer above it that draws nothing (an
// all-clear mask), which forces the recomposition, and the window is compared after each frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/bgpic.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "display/sprite.h"
#include "fx/fx_effects.h"
#include "fx/fx_random.h"
#include "tests/fx/fx_display_fixture.h"

namespace {

enum { PICTURE_W = 61, PICTURE_H = 47, BACKGROUND = 90, OBJECT = 2, COVER = 3, SPRITE = 1, REGION = 1 };
enum { OBJ_X = 12, OBJ_Y = 9, OBJ_W = 37, OBJ_H = 23 };
const uint32_t SPRITE_COLOUR = 0xFF00FF;

// The window after every frame of one run, and how many frames left the display's back buffer
// behind the window (pieces copied straight to the window do that until the end of the run).
struct Recording {
  DisplayRecord *d = nullptr;
  std::vector<std::vector<uint32_t>> frames;
  int backBufferBehind = 0;
} gRun;

std::vector<uint32_t> WindowPixels(DisplayRecord *d) {
  std::vector<uint32_t> v;
  SDL_Surface *s = SDL_GetWindowSurface(d->window->window);
  for (int y = 0; s && y < s->h; y++)
    for (int x = 0; x < s->w; x++) v.push_back(WindowPixel(d, x, y));
  return v;
}

void Observe(const TransitionRecord *, void *) {
  DisplayRecord *d = gRun.d;
  gRun.frames.push_back(WindowPixels(d));
  if (d->scaleWidth) return;
  for (int y = 0; y < PICTURE_H; y++)
    for (int x = 0; x < PICTURE_W; x++)
      if (ReadBitMapPixel(d->backBuffer, x, y, 0) != WindowPixel(d, x, y)) {
        gRun.backBufferBehind++;
        return;
      }
}

std::string FirstDifference(const std::vector<std::vector<uint32_t>> &a, const std::vector<std::vector<uint32_t>> &b) {
  if (a.size() != b.size()) return std::to_string(a.size()) + " frames vs " + std::to_string(b.size());
  for (size_t f = 0; f < a.size(); f++) {
    if (a[f].size() != b[f].size()) return "frame " + std::to_string(f) + " sizes differ";
    for (size_t i = 0; i < a[f].size(); i++)
      if (a[f][i] != b[f][i]) return "frame " + std::to_string(f) + " pixel " + std::to_string(i);
  }
  return "";
}

struct Setting {
  const char *name;
  bool sprite, clipRegion;
};

struct FxDirectRegionTest : FxDisplayTest {
  void SetUp() override {
    BrushTest::SetUp();
    StartFx(Observe, 5, PICTURE_W, PICTURE_H);
    if (HasFailure()) return;
    PaintPatternBrush(BACKGROUND, PICTURE_W, PICTURE_H, 1);
    PaintPatternBrush(OBJECT, OBJ_W, OBJ_H, 2);
    ASSERT_EQ(Call("CreateBrush", {COVER, 14, 12, 0x00FF00}), 0);
    BrushNode *cover = Brush(COVER);
    FreeMask(cover->mask);
    cover->mask = AllocMask(nullptr, 14, 12, 1);   // all clear: draws nothing
    ASSERT_EQ(Call("CreateClipRegion", {REGION, 14, OBJ_X + 5, OBJ_Y + 3, 20, 15}), 0);
    BitMap **bm = (BitMap **)MemAlloc(sizeof(BitMap *), 1);
    Mask **mk = (Mask **)MemAlloc(sizeof(Mask *), 1);
    AlphaChannel **al = (AlphaChannel **)MemAlloc(sizeof(AlphaChannel *), 1);
    bm[0] = AllocBitMap(8, 8);
    RectFillBitMap(bm[0], 0, 0, 8, 8, SPRITE_COLOUR);
    ObjectId id = {SPRITE, nullptr};
    SpriteNode *s = nullptr;
    ASSERT_EQ(AddSpriteRecord(&id, 8, 8, 1, 0xFFFFFFFF, bm, mk, al, nullptr, 0, nullptr, &s), 0);
  }
  void TearDown() override {
    FreeAllSprites(L);
    FxDisplayTest::TearDown();
  }

  // Layers on over the patterned background: layer 1 the object (hidden when asked), layer 2,
  // when asked, the clear cover over part of it; the setting's sprite and clip region.
  void Stage(const Setting &s, bool objectHidden, bool covered) {
    RemoveAllSprites(0);
    if (d->layersEnabled) {
      ASSERT_EQ(Call("FreeLayers", {}), 0);
    }
    d->layersEnabled = 0;
    ASSERT_EQ(Call("DisplayBrush", {BACKGROUND, 0, 0}), 0);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("FreeLayers", {}), 0);
    if (s.clipRegion) {
      ASSERT_EQ(Call("SetClipRegion", {REGION}), 0);
    }
    ASSERT_EQ(Call("DisplayBrush", {OBJECT, OBJ_X, OBJ_Y}), 0);
    if (s.clipRegion) {
      ASSERT_EQ(Call("SetClipRegion", {0}), 0);
    }
    if (objectHidden) {
      ASSERT_EQ(Call("HideLayer", {1}), 0);
    }
    if (covered) {
      ASSERT_EQ(Call("DisplayBrush", {COVER, OBJ_X + 9, OBJ_Y + 4}), 0);
    }
    if (s.sprite) {
      ASSERT_EQ(ShowSpriteAt(L, {SPRITE, nullptr}, OBJ_X + 20, OBJ_Y + 10, 1), 0);
    }
  }

  // The frames of the command on layer 1, run in the layer's transition buffers.
  Recording Frames(const Setting &s, const char *command, bool startHidden, int effect, bool covered) {
    Stage(s, startHidden, covered);
    gRun = Recording();
    gRun.d = d;
    FxSeedRandom(7);
    EXPECT_EQ(Call(command, {1, Arg{{"type", effect}, {"speed", -2}, {"forcerealtimelayers", 1}}}), 0);
    EXPECT_GT(gRun.frames.size(), 0u);
    return gRun;
  }

  // Every effect given, shown and hidden: the same frames uncovered and covered. Returns the
  // number of uncovered runs that copied pieces straight to the window.
  int Compare(const Setting &s, const std::vector<int> &effects) {
    int direct = 0;
    for (const auto &k : {std::make_pair("ShowLayerFX", true), std::make_pair("HideLayerFX", false)})
      for (int e : effects) {
        SCOPED_TRACE(std::string(s.name) + " " + k.first + " effect " + std::to_string(e));
        Recording uncovered = Frames(s, k.first, k.second, e, false);
        Recording covered = Frames(s, k.first, k.second, e, true);
        EXPECT_EQ(FirstDifference(uncovered.frames, covered.frames), "");
        EXPECT_EQ(covered.backBufferBehind, 0);
        if (uncovered.backBufferBehind) direct++;
        int spriteHidden = 0;
        for (const auto &f : uncovered.frames)
          if (s.sprite && f[(size_t)(OBJ_Y + 12) * PICTURE_W + OBJ_X + 22] != SPRITE_COLOUR) spriteHidden++;
        EXPECT_EQ(spriteHidden, 0);
      }
    return direct;
  }
};

TEST_F(FxDirectRegionTest, EveryEffectShowsTheSameFramesUncoveredAndCovered) {
  std::vector<int> all;
  for (int e = 0; e <= 139; e++)
    if (e != FX_UNNAMED) all.push_back(e);
  EXPECT_GT(Compare({"plain", false, false}, all), 40);
}

// A sprite over the layer stays on top, a plain clip region cuts the pieces, and an
// automatically scaled display takes them into its back buffer.
TEST_F(FxDirectRegionTest, SpritesClipRegionsAndScaledDisplays) {
  const std::vector<int> few = {FX_HSTRIPES, FX_RECTCENTER, FX_PUZZLE, FX_CLOCKWIPE, FX_DISSOLVE, FX_SCROLLLEFT};
  EXPECT_GT(Compare({"sprite", true, false}, few), 0);
  EXPECT_GT(Compare({"clip region", false, true}, few), 0);
  ASSERT_EQ(Call("SetDisplayAttributes", {Arg{{"scalemode", 1}, {"scalewidth", 2 * PICTURE_W},
                                              {"scaleheight", 2 * PICTURE_H}}}),
            0);
  ASSERT_TRUE(d->autoScale && d->scaleWidth);
  Compare({"autoscaled", false, false}, few);
}

// The test that sends the pieces of a layer to the recomposition: a shown layer above whose
// drawn rectangle overlaps (edges included) covers it; a hidden one, or one wholly beside it, even
// at the far end of the coordinate range, does not.
TEST_F(FxDirectRegionTest, LayerIsUncoveredByWhatIsAbove) {
  struct Case {
    const char *name;
    int32_t x, y;
    bool hidden, uncovered;
  } cases[] = {
      {"overlapping", OBJ_X + 5, OBJ_Y + 5, false, false},
      {"hidden", OBJ_X + 5, OBJ_Y + 5, true, true},
      {"touching the right edge", OBJ_X + OBJ_W - 1, OBJ_Y, false, false},
      {"just right of it", OBJ_X + OBJ_W, OBJ_Y, false, true},
      {"just above it", OBJ_X, OBJ_Y - 12, false, true},
      {"at the far right", 2147483640, OBJ_Y, false, true},
      {"at the far bottom", OBJ_X, 2147483640, false, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Stage({"plain", false, false}, false, true);
    kvLayer *object = GetLayerByIndex(CurrentPicture, 1), *above = GetLayerByIndex(CurrentPicture, 2);
    ASSERT_TRUE(object && above);
    EXPECT_FALSE(LayerIsUncovered(object));
    // Placed by hand, without the refresh that moving it by command does.
    above->drawnState->drawnX = c.x;
    above->drawnState->drawnY = c.y;
    above->hidden = c.hidden;
    EXPECT_EQ(LayerIsUncovered(object) != 0, c.uncovered);
    above->drawnState->drawnX = OBJ_X + 9;
    above->drawnState->drawnY = OBJ_Y + 4;
    above->hidden = 0;
  }
}

}  // namespace
