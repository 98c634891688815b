// The draw commands called the way the interpreter calls them: argument checks, the style
// commands, pixels by target type, and the shape commands' argument rules, drawn onto a target
// supplied through the provider.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "draw_fixture.h"
#include "pictures/draw_commands.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

DrawFixture *gFixture;
int Provide(lua_State *, DrawTarget *t) {
  *t = gFixture->target;
  return 0;
}

// One argument: a number, nil, a string or a table of numbers (from index 0).
struct Arg {
  enum Kind { NUMBER, NIL, STRING, TABLE } kind;
  double number;
  std::string text;
  std::vector<double> table;
  Arg(double n) : kind(NUMBER), number(n) {}
  static Arg Nil() { return Arg(NIL); }
  static Arg Str(const char *s) {
    Arg a(STRING);
    a.text = s;
    return a;
  }
  static Arg Table(std::vector<double> v) {
    Arg a(TABLE);
    a.table = std::move(v);
    return a;
  }

 private:
  explicit Arg(Kind k) : kind(k), number(0) {}
};

struct CallData {
  const char *name;
  const std::vector<Arg> *args;
  int returned;
  double result;
  bool hasResult;
};

int DoCall(lua_State *L) {
  CallData *c = (CallData *)lua_touserdata(L, 1);
  lua_settop(L, 0);
  lua_pushstring(L, c->name);
  lua_gettable(L, LUA_GLOBALSINDEX);
  for (const Arg &a : *c->args) {
    switch (a.kind) {
      case Arg::NUMBER: lua_pushnumber(L, a.number); break;
      case Arg::NIL: lua_pushnil(L); break;
      case Arg::STRING: lua_pushstring(L, a.text.c_str()); break;
      case Arg::TABLE:
        lua_newtable(L);
        for (size_t i = 0; i < a.table.size(); i++) {
          lua_pushnumber(L, a.table[i]);
          lua_rawseti(L, -2, (int)i);
        }
        break;
    }
  }
  c->returned = lua_call(L, (int)c->args->size(), 1);
  c->hasResult = lua_isnumber(L, -1);
  c->result = c->hasResult ? lua_tonumber(L, -1) : 0;
  return 0;
}

int OpenCommands(lua_State *L) {
  lua_pushvalue(L, LUA_GLOBALSINDEX);
  const int rc = OpenDrawCommands(L);
  lua_settop(L, 0);
  return rc;
}

class DrawCommandsTest : public ::testing::Test {
 protected:
  lua_State *L = nullptr;
  DrawFixture fixture{DRAWTARGET_BRUSH, 200, 120, true, true};
  void SetUp() override {
    L = lua_open();
    ASSERT_NE(L, nullptr);
    ASSERT_EQ(lua_cpcall(L, OpenCommands, nullptr), 0);
    gFixture = &fixture;
    SetDrawTargetProvider(Provide);
  }
  void TearDown() override {
    SetDrawTargetProvider(nullptr);
    CloseDrawCommands();
    lua_close(L);
    FreeCommandTables();
  }
  // The code of the call: a raised one, else the one the handler returned.
  int Call(const char *name, std::vector<Arg> args, double *result = nullptr) {
    CallData c = {name, &args, 0, 0, false};
    const int raised = lua_cpcall(L, DoCall, &c);
    if (result) *result = c.hasResult ? c.result : -1;
    return raised ? raised : c.returned;
  }
  double Pixel(int32_t x, int32_t y) {
    double v = -1;
    EXPECT_EQ(Call("readpixel", {(double)x, (double)y}, &v), 0);
    return v;
  }
};

TEST_F(DrawCommandsTest, ArgumentCountsAndNoTarget) {
  EXPECT_EQ(Call("box", {1, 2, 3}), 1014);
  EXPECT_EQ(Call("circle", {1, 2, 3, 4, 5, 6}), 1193);
  EXPECT_EQ(Call("readpixel", {1, 2, 3}), 1193);
  EXPECT_EQ(Call("setformstyle", {}), 1014);
  EXPECT_EQ(Call("box", {1, 2, Arg::Str("x"), 4}), 1138);
  SetDrawTargetProvider(nullptr);
  EXPECT_EQ(Call("plot", {1, 2}), 1347);
}

TEST_F(DrawCommandsTest, FormStyleTable) {
  DrawStyle *st = GetDrawStyle();
  struct Case {
    std::vector<Arg> args;
    int rc;
    uint32_t form;
  } cases[] = {
      {{16}, 0, 1 | 16},
      {{32, 0x112233, 0}, 0, 1 | 16 | 32},
      {{1 | 32}, 0, 1},
      {{16, 1}, 1193, 1},
      {{64, 0xFF0000, 100}, 0, 1 | 64},
  };
  for (Case &c : cases) {
    EXPECT_EQ(Call("setformstyle", c.args), c.rc);
    EXPECT_EQ(st->formStyle, c.form);
  }
  EXPECT_EQ(st->shadowSize, 1);
  EXPECT_EQ(st->shadowColour, 0x112233u);
  EXPECT_EQ(st->edgeSize, 64);
  EXPECT_EQ(Call("setformstyle", {32, Arg::Str("x")}), 1138);
  // SetFillStyle keeps what it read before a bad argument.
  EXPECT_EQ(Call("setfillstyle", {2, 2, 0xFF0000}), 1138);
  EXPECT_EQ(GetErrorArgNumber(), 4);
  EXPECT_EQ(st->gradientStart, 0xFF0000u);
  EXPECT_EQ(Call("setfillstyle", {7}), 1055);
  EXPECT_EQ(Call("setfillstyle", {0, 0}), 0);
  EXPECT_EQ(st->thickness, 1);
}

TEST_F(DrawCommandsTest, PixelsByTarget) {
  fixture.target.hasClipRegion = 1;
  fixture.target.clip = {0, 0, 100, 100, nullptr};
  EXPECT_EQ(Call("plot", {5, 6, 0xFF0000}), 0);
  EXPECT_EQ(Pixel(5, 6), (double)0xFF0000);
  EXPECT_EQ(fixture.alpha->pixels[6 * fixture.alpha->bytesPerRow + 5], 255);
  EXPECT_EQ(ReadBitMapPixel(fixture.mask, 5, 6, 1), 1u);
  // A transparent colour on a brush with an alpha channel: plain colour, alpha 255 - T.
  EXPECT_EQ(Call("plot", {7, 6, 0x400000FF}), 0);
  EXPECT_EQ(Pixel(7, 6), (double)0x0000FF);
  EXPECT_EQ(fixture.alpha->pixels[6 * fixture.alpha->bytesPerRow + 7], 0xBF);
  // Outside the clip region: no error, nothing drawn; ReadPixel refuses.
  EXPECT_EQ(Call("plot", {150, 6, 0xFF0000}), 0);
  EXPECT_EQ(fixture.Pixel(150, 6), 0xFFFFFFu);
  double v;
  EXPECT_EQ(Call("readpixel", {150, 6}, &v), 1168);
  EXPECT_EQ(Call("readpixel", {-1, 6}, &v), 1168);
  // By target type.
  fixture.target.kind = DRAWTARGET_MASK;
  EXPECT_EQ(Pixel(5, 6), 1);
  EXPECT_EQ(Pixel(9, 6), 0);
  fixture.target.kind = DRAWTARGET_ALPHA;
  EXPECT_EQ(Pixel(7, 6), 0xBF);
  fixture.target.alpha = nullptr;
  EXPECT_EQ(Pixel(7, 6), 255);
  fixture.target.kind = DRAWTARGET_MASK;
  fixture.target.mask = nullptr;
  EXPECT_EQ(Pixel(9, 6), 1);
  // Plot with layers is refused; ReadPixel still works.
  fixture.target.kind = DRAWTARGET_DISPLAY;
  fixture.target.layersOn = 1;
  EXPECT_EQ(Call("plot", {5, 6}), 1271);
  EXPECT_EQ(Pixel(5, 6), (double)0xFF0000);
}

TEST_F(DrawCommandsTest, ClsOffScreen) {
  fixture.target.alpha = nullptr;
  fixture.target.mask = nullptr;
  EXPECT_EQ(Call("cls", {0x123456}), 0);
  EXPECT_EQ(Pixel(199, 119), (double)0x123456);
  // A selected alpha channel alone takes the alpha intensity.
  fixture.target.kind = DRAWTARGET_ALPHA;
  fixture.target.bitmap = nullptr;
  fixture.target.alpha = fixture.alpha;
  fixture.target.alphaIntensity = 80;
  EXPECT_EQ(Call("cls", {}), 0);
  EXPECT_EQ(Pixel(3, 3), 80);
}

TEST_F(DrawCommandsTest, ShapeArgumentRules) {
  struct Case {
    const char *name;
    std::vector<Arg> args;
    int rc;
  } cases[] = {
      {"arc", {10, 10, 5, 5, 30, 30}, 0},
      {"arc", {10, 10, 5, 5, -1, 30}, 1055},
      {"ellipse", {10, 10, 0, 5}, 1055},
      {"box", {10, 10, 0, 5}, 1055},
      {"polygon", {0, 0, Arg::Table({0, 0, 5, 5}), 1}, 1055},
      {"polygon", {0, 0, Arg::Table({0, 0, 5, 5}), 1000}, 1055},
      {"polygon", {0, 0, 5, 2}, 1140},
  };
  for (Case &c : cases) EXPECT_EQ(Call(c.name, c.args), c.rc) << c.name;
  EXPECT_EQ(fixture.CountPainted(), 0);
  EXPECT_EQ(Call("polygon", {0, 0, Arg::Table({0, 0, 5, 5, 9}), 3}), 1189);
  EXPECT_STREQ(GetErrorArgString(), "polygon");
  EXPECT_EQ(fixture.CountPainted(), 0);
}

TEST_F(DrawCommandsTest, ShapesDrawn) {
  ASSERT_EQ(Call("setfillstyle", {FILLCOLOR}), 0);
  ASSERT_EQ(Call("circle", {0, 0, 10, 0xFF0000}), 0);
  int32_t x, y, w, h;
  fixture.Painted(&x, &y, &w, &h);
  EXPECT_EQ(w, 21);
  EXPECT_EQ(h, 21);
  EXPECT_EQ(Pixel(10, 10), (double)0xFF0000);
  // A rounded box: corners stay free, the middle of every side is drawn.
  ASSERT_EQ(Call("box", {40, 10, 100, 50, 0x00FF00, 30}), 0);
  EXPECT_EQ(Pixel(40, 10), (double)0xFFFFFF);
  EXPECT_EQ(Pixel(90, 10), (double)0x00FF00);
  EXPECT_EQ(Pixel(40, 35), (double)0x00FF00);
  EXPECT_EQ(Pixel(139, 59), (double)0xFFFFFF);
  // A polygon is placed at its own bounding box.
  ASSERT_EQ(Call("polygon", {150, 70, Arg::Table({10, 10, 30, 10, 30, 30, 10, 30}), 4, 0x0000FF}), 0);
  EXPECT_EQ(Pixel(160, 80), (double)0x0000FF);
  EXPECT_EQ(Pixel(180, 100), (double)0x0000FF);
  EXPECT_EQ(Pixel(181, 100), (double)0xFFFFFF);
  // A line with a rotation after its thickness: a quarter turn about its top-left end.
  ASSERT_EQ(Call("line", {20, 100, 30, 100, 0x000000, 1, 90}), 0);
  EXPECT_EQ(Pixel(20, 95), 0);
  EXPECT_EQ(Pixel(25, 100), (double)0xFFFFFF);
  // A texture brush that does not exist is found missing when a shape is drawn.
  ASSERT_EQ(Call("setfillstyle", {FILLTEXTURE, 77}), 0);
  const int32_t before = fixture.CountPainted();
  EXPECT_EQ(Call("box", {0, 80, 10, 10, 0, 10}), 1174);
  EXPECT_EQ(GetErrorArgNumber(), 77);
  EXPECT_EQ(fixture.CountPainted(), before);
}

}  // namespace
