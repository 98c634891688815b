// Commands whose bad argument raises after they began their work: the error comes back, and
// nothing they had allocated is left behind (the sanitizer build reports any block lost).
#include "display/graphics.h"
#include "tests/integration/wiring_fixture.h"

namespace {

TEST_F(WiringTest, AnArgumentErrorLosesNothingTheCommandBegan)
{
    d = OpenDisplay(64, 48);
    ASSERT_TRUE(d);
    ASSERT_EQ(Call("CreateBrush", {1, 16, 16, 0xFF0000}), 0);
    ASSERT_EQ(Call("CreateSprite", {1, OBJTYPE_BRUSH, 1}), 0);
    ASSERT_EQ(Call("CreateAnim", {1, 1, 8, 8, 2, 2}), 0);

    EXPECT_EQ(Call("CreateDisplay", {2, Arg::Texts({{"height", "e"}})}), 1189);
    EXPECT_EQ(Call("SetDisplayAttributes", {Arg::Texts({{"width", "wide"}})}), 1189);
    EXPECT_EQ(Call("CreatePointer", {1, OBJTYPE_BRUSH, 1, "x"}), 1138);
    EXPECT_EQ(Call("CreatePointer", {2, OBJTYPE_SPRITE, 1, 1, 1, "x"}), 1138);
    EXPECT_EQ(Call("CreateSprite", {2, OBJTYPE_SPRITE, 1, "x"}), 1138);
    EXPECT_EQ(Call("PlayAnim", {1, 0, 0, {{"transform", 5}}}), 1140);
    // Nothing half-made stays in the lists either.
    EXPECT_EQ(Call("SelectDisplay", {2}), 1344);
}

}  // namespace
