// The transition engine and the transitionfx commands on a real (headless) display: every
// effect of the first transitions issue's families ends on what the plain command shows, in the
// display's picture, its back buffer and the window; no frame touches a pixel outside the
// object; frames drawn match the record's count; refused calls change nothing; the object's
// lock goes back to 0 once; asynchronous transitions step, seek, finish and cancel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/asyncdraw.h"
#include "display/bgpic.h"
#include "display/display_pending.h"
#include "display/layer.h"
#include "fx/fx_catalogue.h"
#include "fx/fx_engine.h"
#include "fx/fx_random.h"
#include "tests/brush/brush_fixture.h"
#include "tests/fx/fx_display_fixture.h"
#include "tests/fx/fx_fixture.h"

namespace {

struct Rect {
  int32_t x, y, w, h;
};

// What the observer saw of one run.
struct Watch {
  DisplayRecord *d = nullptr;
  Rect area{0, 0, 0, 0};
  std::vector<uint32_t> window;  // the window before the run
  int32_t frames = 0, recordFrames = 0, step = 0;
  int outside = 0;               // frames that changed a window pixel outside the area
  bool checkOutside = true;
};
Watch gWatch;

std::vector<uint32_t> WindowPixels(DisplayRecord *d) {
  std::vector<uint32_t> v;
  for (int y = 0; y < d->height; y++)
    for (int x = 0; x < d->width; x++) v.push_back(WindowPixel(d, x, y));
  return v;
}

std::vector<uint32_t> BitMapPixels(const BitMap *bm, int32_t w, int32_t h) {
  std::vector<uint32_t> v;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) v.push_back(ReadBitMapPixel(bm, x, y, 0) & 0xFFFFFF);
  return v;
}

// Whether a window pixel outside the watched area differs from the window before the run.
bool OutsideChanged() {
  const Watch &w = gWatch;
  const DisplayRecord *d = w.d;
  if (!w.checkOutside || w.window.empty()) return false;
  for (int y = 0; y < d->height; y++)
    for (int x = 0; x < d->width; x++) {
      if (x >= w.area.x && x < w.area.x + w.area.w && y >= w.area.y && y < w.area.y + w.area.h) continue;
      if (WindowPixel(w.d, x, y) != w.window[(size_t)y * d->width + x]) return true;
    }
  return false;
}

void Observe(const TransitionRecord *r, void *) {
  Watch &w = gWatch;
  w.frames++;
  w.recordFrames = r->frames;
  w.step = r->speed;
  if (OutsideChanged()) w.outside++;
}

std::string FirstDifference(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b, int width) {
  if (a.size() != b.size()) return "sizes differ";
  for (size_t i = 0; i < a.size(); i++)
    if (a[i] != b[i])
      return "pixel " + std::to_string(i % width) + "," + std::to_string(i / width) + ": " + std::to_string(a[i]) +
             " vs " + std::to_string(b[i]);
  return "";
}

// The area a transition may change: the object's rectangle, for a scroll the box of its path
// from outside the picture (a straight move: style 0).
Rect Area(int effect, Rect o, int32_t picW, int32_t picH) {
  if (effect < FX_SCROLLLEFT || effect > FX_SCROLLNORTHWEST) return o;
  const int d = effect - FX_SCROLLLEFT;
  static const int outX[8] = {-1, 1, 0, 0, 1, 1, -1, -1}, outY[8] = {0, 0, -1, 1, -1, 1, 1, -1};
  const int32_t sx = outX[d] < 0 ? -o.w : outX[d] > 0 ? picW : o.x;
  const int32_t sy = outY[d] < 0 ? -o.h : outY[d] > 0 ? picH : o.y;
  const int32_t x1 = sx < o.x ? sx : o.x, y1 = sy < o.y ? sy : o.y;
  const int32_t x2 = (sx > o.x ? sx : o.x) + o.w, y2 = (sy > o.y ? sy : o.y) + o.h;
  return Rect{x1, y1, x2 - x1, y2 - y1};
}

// Every effect number but 113, which is the random choice.
std::vector<int> AllEffects() {
  std::vector<int> v;
  for (int e = 0; e <= 139; e++)
    if (e != FX_UNNAMED) v.push_back(e);
  return v;
}

struct FxEngineTest : FxDisplayTest {
  enum { PICTURE_W = 61, PICTURE_H = 47, BACKGROUND = 90, OBJECT = 2, TEXTURE = 91 };

  void SetUp() override {
    BrushTest::SetUp();
    StartFx(Observe, 11, PICTURE_W, PICTURE_H);
    if (HasFailure()) return;
    gWatch = Watch();
    gWatch.d = d;
    MakePatternBrush(BACKGROUND, PICTURE_W, PICTURE_H, 1);
  }

  void MakePatternBrush(uint32_t n, int32_t w, int32_t h, uint32_t seed, bool masked = false) {
    ASSERT_EQ(Call("CreateBrush", {n, w, h, 0}), 0);
    BrushNode *b = Brush(n);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) WriteBitMapPixel(b->bitmap, x, y, PatternColour(x, y, seed), 0);
    if (masked) {
      b->mask = PatternMask(w, h);
      b->transparentColor = 0;
    }
  }

  // The display back at its patterned start: layers off and cleared, the background drawn.
  void ResetPicture(bool layers) {
    if (d->layersEnabled) ASSERT_EQ(Call("FreeLayers", {}), 0);
    d->layersEnabled = 0;
    ASSERT_EQ(Call("DisplayBrush", {BACKGROUND, 0, 0}), 0);
    if (layers) {
      // The background becomes the picture the layers are drawn on.
      ASSERT_EQ(Call("EnableLayers", {}), 0);
      ASSERT_EQ(Call("FreeLayers", {}), 0);
    }
  }

  const BitMap *Picture() const { return d->layersEnabled ? d->backBuffer : d->displayBitMap; }

  struct Shot {
    std::vector<uint32_t> picture, window;
  };
  Shot Take() { return Shot{BitMapPixels(Picture(), d->width, d->height), WindowPixels(d)}; }

  // Calls an asynchronous-draw command with the object's handle and an optional frame (-1:
  // none); *result gets the first result.
  int CallWithHandle(const char *name, void *h, int frame, double *result) {
    lua_settop(L, 0);
    lua_pushcfunction(L, CallAndRaise);
    std::string lower(name);
    for (char &c : lower) c = (char)tolower((unsigned char)c);
    lua_pushstring(L, lower.c_str());
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_pushlightuserdata(L, h);
    if (frame >= 0) lua_pushnumber(L, frame);
    int code = lua_pcall(L, frame >= 0 ? 3 : 2, LUA_MULTRET, 0);
    if (!code && result && lua_gettop(L) >= 1) *result = lua_tonumber(L, 1);
    lua_settop(L, 0);
    return code;
  }

  // The display now shows what `plain` holds, in its picture and in the window.
  void ExpectShows(const Shot &plain) {
    const Shot now = Take();
    EXPECT_EQ(FirstDifference(now.picture, plain.picture, d->width), "");
    EXPECT_EQ(FirstDifference(now.window, plain.window, d->width), "");
  }
  // A synchronous run drew the frames it counted, none of them outside the area.
  void ExpectCountedFramesInside() {
    EXPECT_EQ(gWatch.outside, 0);
    EXPECT_GT(gWatch.frames, 0);
    EXPECT_EQ(gWatch.frames, gWatch.recordFrames);
  }

  void Arm(Rect area) {
    gWatch.frames = 0;
    gWatch.outside = 0;
    gWatch.area = area;
    gWatch.window = WindowPixels(d);
  }
};

// Layers off: a brush (opaque and masked) of several sizes with every effect ends as
// DisplayBrush shows it, never draws outside the brush, and draws the frames it counted.
TEST_F(FxEngineTest, BrushWithLayersOffEndsAsDisplayBrush) {
  struct Shape {
    int32_t w, h, x, y;
  } shapes[] = {{37, 23, 12, 9}, {1, 1, 5, 5}, {1, 9, 3, 2}, {9, 1, 50, 40}};
  for (bool masked : {false, true})
    for (const Shape &s : shapes) {
      MakePatternBrush(OBJECT, s.w, s.h, 2, masked);
      ResetPicture(false);
      ASSERT_EQ(Call("DisplayBrush", {OBJECT, s.x, s.y}), 0);
      const Shot plain = Take();
      for (int e : AllEffects()) {
        SCOPED_TRACE("effect " + std::to_string(e) + " size " + std::to_string(s.w) + "x" + std::to_string(s.h) +
                     (masked ? " masked" : ""));
        ResetPicture(false);
        Arm(Area(e, {s.x, s.y, s.w, s.h}, PICTURE_W, PICTURE_H));
        ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, s.x, s.y, e, -2}), 0);
        ExpectShows(plain);
        ExpectCountedFramesInside();
        EXPECT_EQ(Brush(OBJECT)->locked, 0u);
      }
    }
}

// Layers on, drawn straight and in the layer's transition buffers: the run ends with the same
// layer DisplayBrush adds, in the back buffer and the window.
TEST_F(FxEngineTest, BrushWithLayersOnEndsAsDisplayBrush) {
  MakePatternBrush(OBJECT, 37, 23, 2);
  ResetPicture(true);
  ASSERT_EQ(Call("DisplayBrush", {OBJECT, 12, 9}), 0);
  const Shot plain = Take();
  for (int realTime : {0, 1})
    for (int e : AllEffects()) {
      SCOPED_TRACE("effect " + std::to_string(e) + (realTime ? " real-time" : ""));
      ResetPicture(true);
      Arm(Area(e, {12, 9, 37, 23}, PICTURE_W, PICTURE_H));
      ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, 12, 9, Arg{{"type", e}, {"speed", -2}, {"forcerealtimelayers", realTime}}}),
                0);
      ASSERT_EQ(CountLayers(CurrentPicture), 1);
      EXPECT_EQ(GetLayerByIndex(CurrentPicture, 1)->hidden, 0u);
      ExpectShows(plain);
      ExpectCountedFramesInside();
      EXPECT_EQ(Brush(OBJECT)->locked, 0u);
    }
}

// ShowLayerFX, HideLayerFX and RemoveLayerFX end as ShowLayer, HideLayer and RemoveLayer.
TEST_F(FxEngineTest, LayerCommandsEndAsTheirPlainCommands) {
  MakePatternBrush(OBJECT, 37, 23, 2);
  struct Case {
    const char *fx, *plain;
    bool startHidden;
  } cases[] = {{"ShowLayerFX", "ShowLayer", true}, {"HideLayerFX", "HideLayer", false},
               {"RemoveLayerFX", "RemoveLayer", false}};
  for (const Case &c : cases) {
    ResetPicture(true);
    ASSERT_EQ(Call("DisplayBrush", {OBJECT, 12, 9}), 0);
    if (c.startHidden) ASSERT_EQ(Call("HideLayer", {1}), 0);
    ASSERT_EQ(Call(c.plain, {1}), 0);
    const Shot plain = Take();
    const int layers = CountLayers(CurrentPicture);
    for (int e : AllEffects()) {
      SCOPED_TRACE(std::string(c.fx) + " effect " + std::to_string(e));
      ResetPicture(true);
      ASSERT_EQ(Call("DisplayBrush", {OBJECT, 12, 9}), 0);
      if (c.startHidden) ASSERT_EQ(Call("HideLayer", {1}), 0);
      Arm(Area(e, {12, 9, 37, 23}, PICTURE_W, PICTURE_H));
      ASSERT_EQ(Call(c.fx, {1, e, -2}), 0);
      EXPECT_EQ(CountLayers(CurrentPicture), layers);
      ExpectShows(plain);
      ExpectCountedFramesInside();
    }
  }
}

// A picture transition ends as DisplayBGPic; picture-only effects run as themselves here.
TEST_F(FxEngineTest, PictureTransitionEndsAsDisplayBGPic) {
  MakePatternBrush(TEXTURE, PICTURE_W, PICTURE_H, 9);
  ASSERT_EQ(Call("BrushToBGPic", {TEXTURE, 2}), 0);
  ASSERT_EQ(Call("BrushToBGPic", {BACKGROUND, 3}), 0);
  ASSERT_EQ(Call("DisplayBGPic", {2}), 0);
  const Shot plain = Take();
  for (int e : AllEffects()) {
    SCOPED_TRACE("effect " + std::to_string(e));
    ASSERT_EQ(Call("DisplayBGPic", {3}), 0);
    Arm({0, 0, PICTURE_W, PICTURE_H});
    ASSERT_EQ(Call("DisplayTransitionFX", {2, e, -2}), 0);
    ExpectShows(plain);
    ExpectCountedFramesInside();
  }
}

// The frame counts of the speed rule, counted on a wider display.
TEST_F(FxEngineTest, FramesFollowTheSpeedRule) {
  FreeAllDisplays(L);
  FreeAllBGPics(L);
  d = OpenDisplay(120, 60);
  gWatch.d = d;
  gWatch.checkOutside = false;
  struct Case {
    int effect, speed, w, h, frames, step;
  } cases[] = {
      {3, -1, 100, 40, 100, 1},    // HSTRIPES8: step 1, one frame a column
      {37, -1, 4, 10, 5, 0},       // VLINES: columns 0, 2, 3, 3, 1
      {27, 1000, 10, 100, 26, 1},  // HCLOSECURTAIN: a step above half the height becomes 1
      {99, 3, 40, 20, 0, 4},       // HSTRANGEPUSH: odd steps are raised by 1
      {0, -2, 60, 20, 0, 2},       // HSTRIPES fast: 60 / 30
      {0, -3, 60, 20, 0, 1},       // HSTRIPES slow: 60 / 200 is below 1
      {0, 7, 60, 20, 0, 7},        // a given step
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("effect " + std::to_string(c.effect) + " speed " + std::to_string(c.speed));
    MakePatternBrush(OBJECT, c.w, c.h, 2);
    ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, 0, 0, c.effect, c.speed}), 0);
    EXPECT_EQ(gWatch.frames, gWatch.recordFrames);
    if (c.frames) EXPECT_EQ(gWatch.frames, c.frames);
    if (c.step) EXPECT_EQ(gWatch.step, c.step);
    gWatch.frames = 0;
  }
  // ZOOMIN needs the whole picture: a 100 x 50 picture at speed 10 draws 20 frames.
  MakePatternBrush(TEXTURE, 100, 50, 9);
  ASSERT_EQ(Call("BrushToBGPic", {TEXTURE, 2}), 0);
  gWatch.frames = 0;
  ASSERT_EQ(Call("DisplayTransitionFX", {2, 118, 10}), 0);
  EXPECT_EQ(gWatch.frames, 20);
  EXPECT_EQ(gWatch.recordFrames, 20);
  // On a brush it runs as HSTRIPES.
  MakePatternBrush(OBJECT, 100, 50, 2);
  gWatch.frames = 0;
  ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, 0, 0, 118, 10}), 0);
  EXPECT_NE(gWatch.frames, 20);
}

// Every effect at the three speed constants and two given speeds draws the frames it counted
// and ends on the brush.
TEST_F(FxEngineTest, FramesMatchTheCountAtEverySpeed) {
  MakePatternBrush(OBJECT, 37, 23, 2);
  ResetPicture(false);
  ASSERT_EQ(Call("DisplayBrush", {OBJECT, 12, 9}), 0);
  const Shot plain = Take();
  for (int speed : {-1, -2, -3, 1, 13})
    for (int e : AllEffects()) {
      SCOPED_TRACE("effect " + std::to_string(e) + " speed " + std::to_string(speed));
      ResetPicture(false);
      Arm(Area(e, {12, 9, 37, 23}, PICTURE_W, PICTURE_H));
      ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, 12, 9, e, speed}), 0);
      ExpectShows(plain);
      ExpectCountedFramesInside();
    }
}

// A display resized during a run: the transition is abandoned in a clean state and runs again
// from its first frame at the new size, ending with one layer of the brush.
lua_State *gResizeState;
int gResizeAt;
void ResizeOnce(const TransitionRecord *r, void *user) {
  Observe(r, user);
  if (gWatch.frames != gResizeAt) return;
  lua_pushstring(gResizeState, "changedisplaysize");
  lua_gettable(gResizeState, LUA_GLOBALSINDEX);
  lua_pushnumber(gResizeState, 80);
  lua_pushnumber(gResizeState, 60);
  EXPECT_EQ(lua_call(gResizeState, 2, 0), 0);
}

TEST_F(FxEngineTest, ResizedRunStartsAgain) {
  MakePatternBrush(OBJECT, 37, 23, 2);
  ResetPicture(true);
  gWatch.checkOutside = false;
  gResizeState = L;
  gResizeAt = 3;
  FxSetFrameObserver(ResizeOnce, nullptr);
  ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, 12, 9, 0, 1}), 0);
  EXPECT_EQ(d->width, 80);
  // Three frames of the abandoned run, then the whole run again.
  EXPECT_EQ(gWatch.frames, 3 + gWatch.recordFrames);
  ASSERT_EQ(CountLayers(CurrentPicture), 1);
  EXPECT_EQ(GetLayerByIndex(CurrentPicture, 1)->hidden, 0u);
  EXPECT_EQ(Brush(OBJECT)->locked, 0u);
}

// The control answers of an asynchronous transition: its frame count (HSTRIPES over 100
// columns at normal speed: 100), its frame counter, its layer; no emulated picture without
// "bgpicemu".
TEST_F(FxEngineTest, AsyncControlAnswers) {
  MakePatternBrush(OBJECT, 100, 10, 2);
  ResetPicture(true);
  ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, 0, 0, Arg{{"type", 0}, {"async", 1}}}), 0);
  AsyncDrawNode *n = (AsyncDrawNode *)handle;
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->control(ADCTL_FRAMES, nullptr, n->userdata), 100);
  EXPECT_EQ(n->control(ADCTL_CURRENTFRAME, nullptr, n->userdata), 0);
  ASSERT_EQ(CallWithHandle("AsyncDrawFrame", n, -1, nullptr), 0);
  EXPECT_EQ(n->control(ADCTL_CURRENTFRAME, nullptr, n->userdata), 1);
  void *layer = nullptr;
  EXPECT_EQ(n->control(ADCTL_TARGET, &layer, n->userdata), 0);
  EXPECT_EQ(layer, GetLayerByIndex(CurrentPicture, 1));
  void *untouched = &layer;
  EXPECT_EQ(n->control(ADCTL_BUSY, &untouched, n->userdata), 0);
  EXPECT_EQ(untouched, &layer);
  ASSERT_EQ(CallWithHandle("CancelAsyncDraw", n, -1, nullptr), 0);
}

// Refused calls: effects outside 0-140, and a selected mask, change nothing (no layer is added
// and the picture stays as it was); the brush stays unlocked.
TEST_F(FxEngineTest, RefusedCallsChangeNothing) {
  MakePatternBrush(OBJECT, 37, 23, 2);
  MakePatternBrush(3, 8, 8, 4);
  for (bool layers : {false, true}) {
    ResetPicture(layers);
    const Shot before = Take();
    for (int e : {-1, 141, 1000}) {
      SCOPED_TRACE("effect " + std::to_string(e));
      EXPECT_EQ(Call("DisplayBrushFX", {OBJECT, 12, 9, e}), 1055);
      EXPECT_EQ(Call("ShowLayerFX", {1, e}), 1055);
    }
    EXPECT_EQ(Call("ShowLayerFX", {1, 0}), layers ? 1081 : 1078);
    ASSERT_EQ(Call("SelectMask", {3}), 0);
    EXPECT_EQ(Call("DisplayBrushFX", {OBJECT, 12, 9, 0}), 1147);
    ASSERT_EQ(Call("EndSelect", {}), 0);
    EXPECT_EQ(Call("DisplayBrushFX", {77, 12, 9, 0}), 1174);
    EXPECT_EQ(CountLayers(CurrentPicture), 0);
    const Shot after = Take();
    EXPECT_EQ(FirstDifference(after.picture, before.picture, d->width), "");
    EXPECT_EQ(FirstDifference(after.window, before.window, d->width), "");
    EXPECT_EQ(Brush(OBJECT)->locked, 0u);
  }
}

// Asynchronous transitions of every effect: stepped to the end, after a seek to the middle,
// finished early or cancelled, no step changes a pixel outside the object; the layer ends shown
// (hidden when cancelled) and the brush's lock goes back to 0 exactly once.
TEST_F(FxEngineTest, AsyncTransitionsStepSeekFinishAndCancel) {
  MakePatternBrush(OBJECT, 37, 23, 2);
  ResetPicture(true);
  ASSERT_EQ(Call("DisplayBrush", {OBJECT, 12, 9}), 0);
  const Shot plain = Take();
  enum { STEP, SEEK, FINISH, CANCEL };
  for (int effect : AllEffects())
    for (int how : {STEP, SEEK, FINISH, CANCEL}) {
      SCOPED_TRACE("effect " + std::to_string(effect) + " mode " + std::to_string(how));
      ResetPicture(true);
      Arm(Area(effect, {12, 9, 37, 23}, PICTURE_W, PICTURE_H));
      ASSERT_EQ(Call("DisplayBrushFX", {OBJECT, 12, 9, Arg{{"type", effect}, {"async", 1}}}), 0);
      void *h = handle;
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(Brush(OBJECT)->locked, 1u);
      AsyncDrawNode *n = (AsyncDrawNode *)h;
      const int32_t frames = (int32_t)n->control(ADCTL_FRAMES, nullptr, n->userdata);
      ASSERT_GE(frames, 1);
      ASSERT_NE(GetLayerByIndex(CurrentPicture, 1), nullptr);
      EXPECT_EQ(Call("HideLayerFX", {1}), 1371);
      if (how == STEP || how == SEEK) {
        int calls = 0, outside = 0;
        double done = 0;
        while (done == 0 && calls++ < 10000) {
          const int frame = how == SEEK && calls == 1 && frames > 2 ? frames / 2 : -1;
          ASSERT_EQ(CallWithHandle("AsyncDrawFrame", h, frame, &done), 0);
          outside += OutsideChanged();
        }
        EXPECT_EQ(done, 1);
        EXPECT_EQ(outside, 0);
        ExpectShows(plain);
      } else if (how == FINISH) {
        ASSERT_EQ(CallWithHandle("AsyncDrawFrame", h, -1, nullptr), 0);
        ASSERT_EQ(CallWithHandle("FinishAsyncDraw", h, -1, nullptr), 0);
        ExpectShows(plain);
      } else {
        ASSERT_EQ(CallWithHandle("AsyncDrawFrame", h, -1, nullptr), 0);
        ASSERT_EQ(CallWithHandle("CancelAsyncDraw", h, -1, nullptr), 0);
        EXPECT_EQ(GetLayerByIndex(CurrentPicture, 1)->hidden, 1u);
      }
      EXPECT_EQ(CountAsyncDraws(), 0);
      EXPECT_EQ(Brush(OBJECT)->locked, 0u);
      EXPECT_EQ(GetLayerByIndex(CurrentPicture, 1)->transitionAttached, 0u);
    }
}

}  // namespace
