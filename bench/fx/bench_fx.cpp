// Frame times of every effect family at 640x480 and 1920x1080, without pacing:
// mean and worst frame in ms and as a ratio of the 60 Hz budget (16.7 ms; below 1.00 fits).
// Each family runs on a whole opaque picture and on a masked object of three quarters the size.
// Then a layer transition on a 1280x720 display under the dummy video driver, per frame: the
// layer uncovered (its pieces go straight to the window) and under a small layer above it (every
// piece is recomposed from the layers).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "bench/bench_display.h"
#include "bench/bench_timing.h"
#include "fx/fx_engine.h"
#include "fx/fx_offscreen.h"
#include "fx/fx_random.h"
#include "gfx/blit.h"
#include "runtime/applet.h"
#include "runtime/memory.h"

namespace {

const double kBudgetMs = 1000.0 / 60.0;

double NowMs() { return BenchNow() * 1000.0; }

struct Timing {
  double last, sum, worst;
  int frames;
};

int Tick(TransitionRecord *, void *user) {
  Timing *t = (Timing *)user;
  const double now = NowMs(), d = now - t->last;
  t->sum += d;
  if (d > t->worst) t->worst = d;
  t->frames++;
  t->last = NowMs();
  return 0;
}

BitMap *Filled(int32_t w, int32_t h, uint32_t seed) {
  BitMap *bm = AllocBitMap(w, h);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) WriteBitMapPixel(bm, x, y, (uint32_t)(x * 7 + y * 13) * seed & 0xFFFFFF, 0);
  return bm;
}

Mask *Ellipse(int32_t w, int32_t h) {
  Mask *m = AllocMask(nullptr, w, h, 1);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const double dx = (x + 0.5) / w * 2 - 1, dy = (y + 0.5) / h * 2 - 1;
      if (dx * dx + dy * dy <= 1) PutMaskRowBit(m->pixels + (size_t)y * m->bytesPerRow, x, 1);
    }
  return m;
}

// Runs one effect; adds its frames to the family's timing.
void RunOnce(int32_t effect, int32_t w, int32_t h, bool masked, Timing *t) {
  BitMap *picture = Filled(w, h, 3);
  const int32_t ow = masked ? w * 3 / 4 : w, oh = masked ? h * 3 / 4 : h, ox = (w - ow) / 2, oy = (h - oh) / 2;
  BitMap *source = Filled(ow, oh, 5), *before = AllocBitMap(ow, oh);
  BltBitMap(picture, ox, oy, before, 0, 0, ow, oh);
  Mask *mask = masked ? Ellipse(ow, oh) : nullptr;
  TransitionRecord r;
  FxSeedRandom(1);
  FxInitOffscreen(&r, effect, FXSPEED_NORMAL, FX_RANDOMPARAMETER, source, mask, nullptr, before, picture, ox, oy);
  int32_t drawn = 0;
  t->last = NowMs();
  FxRunOffscreen(&r, 100000, Tick, t, &drawn);
  FreeMask(mask);
  FreeBitMap(before);
  FreeBitMap(source);
  FreeBitMap(picture);
}

// ---- A layer transition on a display ----

int CallAndRaise(lua_State *L) {
  int code = lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
  if (code) lua_error(L, code);
  return 0;
}

// Calls a command with number arguments; the options table, when given, holds the effect.
void Command(lua_State *L, const char *name, std::initializer_list<double> args, int effect = -1) {
  lua_settop(L, 0);
  lua_pushcfunction(L, CallAndRaise);
  lua_pushstring(L, name);
  lua_gettable(L, LUA_GLOBALSINDEX);
  for (double a : args) lua_pushnumber(L, a);
  if (effect >= 0) {
    lua_newtable(L);
    SetFieldInt(L, "type", effect);
    SetFieldInt(L, "speed", FXSPEED_NORMAL);
    SetFieldInt(L, "forcerealtimelayers", 1);
  }
  if (lua_pcall(L, lua_gettop(L) - 1, 0, 0)) {
    fprintf(stderr, "%s failed\n", name);
    exit(1);
  }
  lua_settop(L, 0);
}

void FrameTick(const TransitionRecord *r, void *user) { Tick((TransitionRecord *)r, user); }

// Mean frame time of ShowLayerFX on layer 1: the best run of seven.
double LayerFrameMs(lua_State *L, int32_t effect) {
  double best = 0;
  for (int run = 0; run < 7; run++) {
    Timing t{0, 0, 0, 0};
    FxSetFrameObserver(FrameTick, &t);
    Command(L, "hidelayer", {1});
    FxSeedRandom(1);
    t.last = NowMs();
    Command(L, "showlayerfx", {1}, effect);
    FxSetFrameObserver(nullptr, nullptr);
    const double mean = t.frames ? t.sum / t.frames : 0;
    if (run == 0 || mean < best) best = mean;
  }
  return best;
}

void BenchLayerTransition() {
  lua_State *L = StartBenchInterpreter(1);
  AppletRecord applet;
  memset(&applet, 0, sizeof applet);
  SetAppletDisplayDefaults(&applet);
  luaL_setregpointer(L, "applet", &applet);
  for (int (*open)(lua_State *) : {OpenBrushLib, OpenGraphicsLib, OpenLayersLib, OpenBGPicLib, OpenTransitionFXLib}) {
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    open(L);
    lua_settop(L, 0);
  }
  lua_newtable(L);
  SetFieldInt(L, "width", 1280);
  SetFieldInt(L, "height", 720);
  SetFieldInt(L, "color", 0x203040);
  MakeDisplayCurrent(OpenBenchDisplay(L, 1));
  FxSetPacing(0);
  Command(L, "createbrush", {2, 960, 540, 0xC08040});
  Command(L, "createbrush", {3, 64, 64, 0x40C0F0});
  Command(L, "enablelayers", {});
  Command(L, "displaybrush", {2, 160, 90});
  const int32_t effect = 0;  // HSTRIPES
  const double uncovered = LayerFrameMs(L, effect);
  Command(L, "displaybrush", {3, 120, 60});
  const double covered = LayerFrameMs(L, effect);
  printf("\nlayer transition 960x540 on 1280x720 (hstripes): uncovered %.3f ms/frame, under a layer %.3f ms/frame, "
         "ratio %.2f\n",
         uncovered, covered, uncovered > 0 ? covered / uncovered : 0);
  CurrentDisplay = nullptr;
  FreeAllDisplays(L);
  lua_close(L);
  FreeRuntime();
}

struct Family {
  const char *name;
  std::vector<int32_t> effects;
  bool masked;  // composes a masked source itself
};

}  // namespace

int main() {
  const Family families[] = {
      {"stripes", {0, 3, 7, 10}, false},      {"blinds", {14, 18, 19, 23}, false},
      {"curtains", {24, 25, 26, 27}, false},  {"bars", {28}, false},
      {"quarters", {29}, false},              {"reveal", {30, 31, 32, 33}, false},
      {"lines", {34, 35, 36, 37}, false},     {"rect", {38, 42}, false},
      {"rectback", {88, 92}, false},          {"stretch", {55, 56, 59}, true},
      {"zoom", {61, 65}, true},               {"zoomin/zoomout", {118, 119}, false},
      {"strangepush", {99, 100}, true},
      // Mixing, moving, shape, pixel and growing-band effects. WATER and STRUDEL run a
      // per-pixel kernel every frame: their target is one budget at 640x480, two at 1920x1080.
      {"fade/blend", {116, 117}, true},       {"crossfade", {115}, false},
      {"dissolve", {139}, false},             {"strudel", {138}, false},
      {"water", {134, 137}, false},           {"push", {78, 80}, false},
      {"slide", {101}, false},                {"card", {111}, false},
      {"gates", {74, 77}, false},             {"turndown", {128}, false},
      {"sun", {114}, false},                  {"star", {98}, false},
      {"clockwipe", {97}, false},             {"swiss", {106}, false},
      {"spiral", {105}, false},               {"puzzle", {82}, false},
      {"pixelzoom", {132, 133}, true},        {"flipcoin", {124, 126}, false},
      {"crush", {120, 122}, false},           {"roll/wallpaper", {84, 87}, true},
      {"flow", {70, 73}, true},               {"split", {108, 109}, false},
      {"upndown", {110}, false},              {"quadrect", {107}, false},
      {"diagonal", {83}, false},
  };
  const struct {
    int32_t w, h;
  } sizes[] = {{640, 480}, {1920, 1080}};
  printf("%-16s %-8s %-10s %10s %10s %8s %8s\n", "family", "object", "size", "mean ms", "worst ms", "mean/16.7",
         "worst/16.7");
  for (const Family &f : families)
    for (int masked = 0; masked <= (f.masked ? 1 : 0); masked++)
      for (auto s : sizes) {
        Timing t{0, 0, 0, 0};
        for (int32_t e : f.effects) RunOnce(e, s.w, s.h, masked, &t);
        const double mean = t.frames ? t.sum / t.frames : 0;
        char size[16];
        snprintf(size, sizeof size, "%dx%d", s.w, s.h);
        printf("%-16s %-8s %-10s %10.3f %10.3f %8.2f %8.2f\n", f.name, masked ? "masked" : "picture", size, mean,
               t.worst, mean / kBudgetMs, t.worst / kBudgetMs);
      }
  BenchLayerTransition();
  return 0;
}
