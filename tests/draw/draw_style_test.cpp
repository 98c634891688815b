// The draw style: defaults, the clamp, the SetFormStyle and SetFillStyle rules, the library's
// constants and its tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "pictures/draw_style.h"

static StyleArgs Args(std::initializer_list<double> values) {
  StyleArgs a;
  memset(&a, 0, sizeof a);
  for (double v : values)
    if (a.count < 5) a.value[a.count++] = v;
  return a;
}

TEST(DrawStyle, DefaultsAndClamp) {
  DrawStyle st;
  memset(&st, 0x55, sizeof st);
  ResetDrawStyle(&st);
  EXPECT_EQ(st.fillStyle, 0);
  EXPECT_EQ(st.formStyle, 1u);
  EXPECT_EQ(st.gradientType, 2);
  EXPECT_EQ(st.gradientStart, 0x0000FFu);
  EXPECT_EQ(st.edgeSize, 2);
  EXPECT_EQ(st.edgeColour, 0x0093DDu);
  EXPECT_EQ(st.shadowSize, 4);
  EXPECT_EQ(st.shadowDirection, 3);
  EXPECT_EQ(st.thickness, 1);
  EXPECT_EQ(st.texture.handle, nullptr);

  struct Case {
    int32_t thickness, shadow, edge, direction, fill;
    int32_t wantThickness, wantShadow, wantEdge, wantDirection, wantFill;
  } cases[] = {
      {0, 0, 0, -1, -1, 1, 1, 1, 3, 0},
      {-5, 65, 100, 8, 4, 1, 64, 64, 3, 0},
      {7, 64, 1, 7, 3, 7, 64, 1, 7, 3},
  };
  for (const Case &c : cases) {
    st.thickness = c.thickness;
    st.shadowSize = c.shadow;
    st.edgeSize = c.edge;
    st.shadowDirection = c.direction;
    st.fillStyle = c.fill;
    ClampDrawStyle(&st);
    EXPECT_EQ(st.thickness, c.wantThickness);
    EXPECT_EQ(st.shadowSize, c.wantShadow);
    EXPECT_EQ(st.edgeSize, c.wantEdge);
    EXPECT_EQ(st.shadowDirection, c.wantDirection);
    EXPECT_EQ(st.fillStyle, c.wantFill);
  }
}

TEST(DrawStyle, FormStyleRules) {
  DrawStyle st;
  ResetDrawStyle(&st);
  // Flags accumulate on top of the normal bit; only a style with bit 0 clears them.
  StyleArgs aa = Args({16}), shadow = Args({32});
  EXPECT_EQ(ApplyFormStyle(&st, &aa), 0);
  EXPECT_EQ(ApplyFormStyle(&st, &shadow), 0);
  EXPECT_EQ(st.formStyle, 1u | 16u | 32u);
  StyleArgs normalShadow = Args({1 | 32});
  EXPECT_EQ(ApplyFormStyle(&st, &normalShadow), 0);
  EXPECT_EQ(st.formStyle, 1u);

  // A combined or anti-alias style with further arguments is refused and changes nothing.
  StyleArgs aaExtra = Args({16, 1});
  EXPECT_EQ(ApplyFormStyle(&st, &aaExtra), 1193);
  EXPECT_EQ(st.formStyle, 1u);

  StyleArgs edge = Args({64, 0x80FF0000, 100});
  EXPECT_EQ(ApplyFormStyle(&st, &edge), 0);
  EXPECT_EQ(st.edgeSize, 64);
  EXPECT_EQ(st.edgeColour, 0x80FF0000u);
  // Four arguments store the edge flag alone.
  StyleArgs edgeFour = Args({64, 0x123456, 9, 1});
  EXPECT_EQ(ApplyFormStyle(&st, &edgeFour), 0);
  EXPECT_EQ(st.edgeSize, 64);
  EXPECT_EQ(st.edgeColour, 0x80FF0000u);

  StyleArgs shadowAll = Args({32, 0x00FF00, 0, 7});
  EXPECT_EQ(ApplyFormStyle(&st, &shadowAll), 0);
  EXPECT_EQ(st.shadowColour, 0x00FF00u);
  EXPECT_EQ(st.shadowSize, 1);
  EXPECT_EQ(st.shadowDirection, 7);
  StyleArgs badDirection = Args({32, 0, 5, 9});
  EXPECT_EQ(ApplyFormStyle(&st, &badDirection), 0);
  EXPECT_EQ(st.shadowDirection, 3);
  EXPECT_EQ(st.formStyle, 1u | 32u | 64u);
}

TEST(DrawStyle, FillStyleRules) {
  DrawStyle st;
  ResetDrawStyle(&st);
  StyleArgs none = Args({0, 5.9});
  EXPECT_EQ(ApplyFillStyle(&st, &none), 0);
  EXPECT_EQ(st.thickness, 5);
  StyleArgs noneDefault = Args({0}), noneZero = Args({0, 0});
  EXPECT_EQ(ApplyFillStyle(&st, &noneDefault), 0);
  EXPECT_EQ(st.thickness, 1);
  st.thickness = 9;
  EXPECT_EQ(ApplyFillStyle(&st, &noneZero), 0);
  EXPECT_EQ(st.thickness, 1);

  StyleArgs gradient = Args({2, 2, 0xFF0000, 0x00FF00, 45});
  EXPECT_EQ(ApplyFillStyle(&st, &gradient), 0);
  EXPECT_EQ(st.fillStyle, 2);
  EXPECT_EQ(st.gradientStart, 0xFF0000u);
  EXPECT_EQ(st.gradientEnd, 0x00FF00u);
  EXPECT_EQ(st.gradientAngle, 45);
  // Values read before a missing argument stay stored.
  StyleArgs shortGradient = Args({2, 3, 0x0000FF});
  EXPECT_EQ(ApplyFillStyle(&st, &shortGradient), 1138);
  EXPECT_EQ(st.gradientType, 3);
  EXPECT_EQ(st.gradientStart, 0x0000FFu);
  EXPECT_EQ(st.gradientEnd, 0x00FF00u);

  StyleArgs texture = Args({3, 0, -4, 7});
  texture.texture.number = 12;
  EXPECT_EQ(ApplyFillStyle(&st, &texture), 0);
  EXPECT_EQ(st.fillStyle, 3);
  EXPECT_EQ(st.texture.number, 12u);
  EXPECT_EQ(st.textureX, -4);
  EXPECT_EQ(st.textureY, 7);

  for (double bad : {4.0, -1.0}) {
    StyleArgs a = Args({bad});
    EXPECT_EQ(ApplyFillStyle(&st, &a), 1055);
    EXPECT_EQ(st.fillStyle, 3);
  }
}

TEST(DrawStyle, ShadowOffsetsAndTables) {
  const int32_t want[8][2] = {{0, -4}, {4, -4}, {4, 0}, {4, 4}, {0, 4}, {-4, 4}, {-4, 0}, {-4, -4}};
  for (int d = 0; d < 8; d++) {
    int32_t dx, dy;
    ShadowOffset(d, 4, &dx, &dy);
    EXPECT_EQ(dx, want[d][0]) << d;
    EXPECT_EQ(dy, want[d][1]) << d;
  }
  ASSERT_EQ(OpenDrawTables(), 0);
  ASSERT_EQ(OpenDrawTables(), 0);
  for (int i : {0, 30, 90, 180, 270, 360}) {
    EXPECT_NEAR(DrawCosTable()[i], std::cos(i * M_PI / 180), 1e-12);
    EXPECT_NEAR(DrawSinTable()[i], -std::sin(i * M_PI / 180), 1e-12);
  }
  ASSERT_NE(DrawIntPoints(2), nullptr);
  CloseDrawTables();
  EXPECT_EQ(DrawCosTable(), nullptr);
  EXPECT_EQ(DrawDoublePoints(0), nullptr);
}
