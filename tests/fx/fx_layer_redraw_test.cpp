// A layer in transition drawn by the display's own redraw: a layer above it stays on top in
// every frame, any refresh during the run shows the transition's current frame (not the layer
// whole), and the layer's tint and transparency apply to the transition's frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "fx/fx_catalogue.h"
#include "fx/fx_effects.h"
#include "fx/fx_engine.h"
#include "fx/fx_random.h"
#include "tests/brush/brush_fixture.h"
#include "tests/fx/fx_display_fixture.h"
#include "tests/fx/fx_fixture.h"

namespace {

enum { PICTURE_W = 61, PICTURE_H = 47, BACKGROUND = 90, OBJECT = 2, TOP = 3 };
enum { OBJ_X = 12, OBJ_Y = 9, OBJ_W = 37, OBJ_H = 23 };
enum { TOP_X = 25, TOP_Y = 15, TOP_W = 12, TOP_H = 10 };
const uint32_t TOP_COLOUR = 0x20C0E0;

std::vector<uint32_t> WindowPixels(DisplayRecord *d) {
  std::vector<uint32_t> v;
  for (int y = 0; y < d->height; y++)
    for (int x = 0; x < d->width; x++) v.push_back(WindowPixel(d, x, y));
  return v;
}

// What the observer saw during one run.
struct Watch {
  DisplayRecord *d = nullptr;
  int frames = 0;
  int topCovered = 0;       // frames in which the top layer's rectangle was not all its colour
  int refreshChanged = 0;   // frames that a whole-picture refresh changed on the window
  bool refresh = false;     // refresh after every frame
  std::vector<uint32_t> last;  // the window after the last frame
} gWatch;

void Observe(const TransitionRecord *, void *) {
  Watch &w = gWatch;
  w.frames++;
  bool covered = false;
  for (int y = TOP_Y; y < TOP_Y + TOP_H; y++)
    for (int x = TOP_X; x < TOP_X + TOP_W; x++)
      if (WindowPixel(w.d, x, y) != TOP_COLOUR) covered = true;
  if (covered) w.topCovered++;
  w.last = WindowPixels(w.d);
  if (w.refresh) {
    RefreshArea(0, 0, PICTURE_W, PICTURE_H);
    if (WindowPixels(w.d) != w.last) w.refreshChanged++;
  }
}

std::string FirstDifference(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b) {
  if (a.size() != b.size()) return "sizes differ";
  for (size_t i = 0; i < a.size(); i++)
    if (a[i] != b[i])
      return "pixel " + std::to_string(i % PICTURE_W) + "," + std::to_string(i / PICTURE_W) + ": " +
             std::to_string(a[i]) + " vs " + std::to_string(b[i]);
  return "";
}

struct FxLayerRedrawTest : FxDisplayTest {

  void SetUp() override {
    BrushTest::SetUp();
    StartFx(Observe, 5, PICTURE_W, PICTURE_H);
    if (HasFailure()) return;
    PaintPatternBrush(BACKGROUND, PICTURE_W, PICTURE_H, 1);
    PaintPatternBrush(OBJECT, OBJ_W, OBJ_H, 2);
    ASSERT_EQ(Call("CreateBrush", {TOP, TOP_W, TOP_H, TOP_COLOUR}), 0);
  }


  // Layers on over the patterned background; layer 1 the object (hidden when asked), layer 2,
  // when asked, a plain brush above it that overlaps it.
  void Stage(bool objectHidden, bool withTop) {
    if (d->layersEnabled) {
      ASSERT_EQ(Call("FreeLayers", {}), 0);
    }
    d->layersEnabled = 0;
    ASSERT_EQ(Call("DisplayBrush", {BACKGROUND, 0, 0}), 0);
    ASSERT_EQ(Call("EnableLayers", {}), 0);
    ASSERT_EQ(Call("FreeLayers", {}), 0);
    ASSERT_EQ(Call("DisplayBrush", {OBJECT, OBJ_X, OBJ_Y}), 0);
    if (objectHidden) {
      ASSERT_EQ(Call("HideLayer", {1}), 0);
    }
    if (withTop) {
      ASSERT_EQ(Call("DisplayBrush", {TOP, TOP_X, TOP_Y}), 0);
    }
  }

  // Runs the command on layer 1; forced into the layer's transition buffers when asked (a layer
  // above, a tint or a transparency force that as well).
  void Run(const char *command, int effect, bool refresh, bool forceBuffers = false) {
    gWatch = Watch();
    gWatch.d = d;
    gWatch.refresh = refresh;
    if (forceBuffers) {
      ASSERT_EQ(Call(command, {1, Arg{{"type", effect}, {"speed", -2}, {"forcerealtimelayers", 1}}}), 0);
    } else {
      ASSERT_EQ(Call(command, {1, effect, -2}), 0);
    }
    EXPECT_GT(gWatch.frames, 0);
  }
};

struct Kind {
  const char *command;
  bool startHidden;
};
const Kind kKinds[] = {{"ShowLayerFX", true}, {"HideLayerFX", false}};

// A layer above the transitioning one stays whole on the window in every frame of every
// effect, shown or hidden; and the run ends with both layers as the plain command leaves them.
TEST_F(FxLayerRedrawTest, LayerAboveStaysOnTopInEveryFrame) {
  for (const Kind &k : kKinds) {
    for (int e = 0; e <= 139; e++) {
      if (e == FX_UNNAMED) continue;
      SCOPED_TRACE(std::string(k.command) + " effect " + std::to_string(e));
      Stage(k.startHidden, true);
      Run(k.command, e, false);
      EXPECT_EQ(gWatch.topCovered, 0);
      EXPECT_EQ(WindowPixel(d, TOP_X, TOP_Y), TOP_COLOUR);
    }
  }
}

// A refresh of the whole picture after any frame of a run in the layer's transition buffers
// shows what the frame showed: the layer is composed from the buffers, not from its image.
TEST_F(FxLayerRedrawTest, RefreshMidRunShowsTheTransitionFrame) {
  for (const Kind &k : kKinds) {
    for (bool withTop : {false, true}) {
      for (int e = 0; e <= 139; e++) {
        if (e == FX_UNNAMED) continue;
        SCOPED_TRACE(std::string(k.command) + " effect " + std::to_string(e) + (withTop ? " under a layer" : ""));
        Stage(k.startHidden, withTop);
        Run(k.command, e, true, true);
        EXPECT_EQ(gWatch.refreshChanged, 0);
      }
    }
  }
}

// The transition's frames carry the layer's tint and transparency: the last frame of a shown
// layer (its buffers then hold the whole layer) looks as the plain command leaves it.
TEST_F(FxLayerRedrawTest, TintAndTransparencyApplyToTheFrames) {
  struct Style {
    const char *name;
    int32_t transparency, tint;
  } styles[] = {{"transparent", 100, 0}, {"tinted", 0, 120}, {"both", 60, 200}};
  for (const Style &s : styles) {
    for (int e : {(int)FX_HSTRIPES, (int)FX_CLOCKWIPE}) {
      SCOPED_TRACE(std::string(s.name) + " effect " + std::to_string(e));
      Stage(true, false);
      if (s.transparency) {
        ASSERT_EQ(Call("SetLayerTransparency", {1, s.transparency}), 0);
      }
      if (s.tint) {
        ASSERT_EQ(Call("SetLayerTint", {1, 0xFF4000, s.tint}), 0);
      }
      ASSERT_EQ(Call("ShowLayer", {1}), 0);
      const std::vector<uint32_t> plain = WindowPixels(d);
      ASSERT_EQ(Call("HideLayer", {1}), 0);
      Run("ShowLayerFX", e, false);
      EXPECT_EQ(FirstDifference(gWatch.last, plain), "");
      EXPECT_EQ(FirstDifference(WindowPixels(d), plain), "");
    }
  }
}

}  // namespace
