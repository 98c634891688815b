// Text objects: creation and replacement, lookups and freeing, rotation and scaling (also of
// copies), copies onto themselves, and a wrapped outline-font object keeping its line breaks.
#include <cmath>

#include "display/display.h"
#include "tests/text/text_fixture.h"
#include "text/text_objects.h"
#include "text/text_print.h"

namespace {

using namespace textfix;

class TextObjects : public TextTest {
protected:
    TextObjectNode *Node(uint32_t number)
    {
        TextObjectNode *n = nullptr;
        FindTextObject({number, nullptr}, 0, &n);
        return n;
    }
};

TEST_F(TextObjects, CreateReplaceFindAndFree)
{
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Hello"}));
    TextObjectNode *n = Node(1);
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(40, n->width);
    EXPECT_EQ(9, n->height);
    EXPECT_EQ(40, n->unscaledWidth);
    EXPECT_STREQ("Hello", n->state->text);
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Hi"}));
    EXPECT_EQ(1, CountTextObjects());
    EXPECT_EQ(16, Node(1)->width);
    void *handle = nullptr;
    ASSERT_EQ(0, Call(TxCreateTextObject, {Arg::Nil(), "x"}, nullptr, &handle));
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(2, CountTextObjects());
    EXPECT_EQ(0, Call(TxFreeTextObject, {1}));
    EXPECT_EQ(1175, Call(TxFreeTextObject, {1}));
    EXPECT_EQ(1055, Call(TxCreateTextObject, {3, "x", TEXTALIGN_LEFT, -1}));
    EXPECT_EQ(1055, Call(TxCreateTextObject, {3, "x", TEXTALIGN_LEFT, 0, 2}));
    EXPECT_EQ(1251, Call(TxCreateTextObject, {3, "[bold]"}));
    EXPECT_EQ(1, CountTextObjects());   // a layout error leaves no node
}

TEST_F(TextObjects, RotateStoresTheAngleModulo360)
{
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Turn"}));
    ASSERT_EQ(0, Call(TxRotateTextObject, {1, 450}));
    EXPECT_EQ(90, Node(1)->transform.rotate);
    EXPECT_EQ(0, Node(1)->offsetX);
    ASSERT_EQ(0, Call(TxRotateTextObject, {1, -30}));
    EXPECT_EQ(-30, Node(1)->transform.rotate);
    EXPECT_EQ(1175, Call(TxRotateTextObject, {2, 10}));
}

TEST_F(TextObjects, ScaleByPercentWithKeepAspectRatio)
{
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Wide"}));
    ASSERT_EQ(0, Call(TxScaleTextObject, {1, "200%", KEEPASPRAT}));
    TextObjectNode *n = Node(1);
    EXPECT_EQ(64, n->transform.width);
    EXPECT_EQ(18, n->transform.height);
    EXPECT_DOUBLE_EQ(2.0, n->transform.a);
    EXPECT_DOUBLE_EQ(2.0, n->transform.d);
    EXPECT_EQ(1055, Call(TxScaleTextObject, {1, KEEPASPRAT, KEEPASPRAT}));
    EXPECT_EQ(1218, Call(TxScaleTextObject, {1, 0, 10}));
}

// A copy takes its source's unscaled size and transform, so scaling and turning it work.
TEST_F(TextObjects, CopiesCanBeScaledAndTurned)
{
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "Copy"}));
    ASSERT_EQ(0, Call(TxRotateTextObject, {1, 30}));
    EXPECT_EQ(1055, Call(TxCopyTextObject, {1, 1}));
    ASSERT_EQ(0, Call(TxCopyTextObject, {1, 2}));
    TextObjectNode *c = Node(2);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(32, c->unscaledWidth);
    EXPECT_EQ(9, c->unscaledHeight);
    EXPECT_EQ(30, c->transform.rotate);
    ASSERT_EQ(0, Call(TxScaleTextObject, {2, "50%", KEEPASPRAT}));
    EXPECT_EQ(16, Node(2)->transform.width);
    ASSERT_EQ(0, Call(TxRotateTextObject, {2, 0}));
    EXPECT_DOUBLE_EQ(0.5, Node(2)->transform.a);
    // The copy is independent of its source.
    ASSERT_EQ(0, Call(TxFreeTextObject, {1}));
    EXPECT_STREQ("Copy", Node(2)->state->text);
    void *handle = nullptr;
    ASSERT_EQ(0, Call(TxCopyTextObject, {2, Arg::Nil()}, nullptr, &handle));
    EXPECT_NE(nullptr, handle);
}

// A wrapped text in a scalable font is re-laid out at each scale along the breaks its first
// re-rendering made, so its line count never changes.
TEST_F(TextObjects, WrappedOutlineTextKeepsItsBreaks)
{
    ASSERT_EQ(0, Call(TxSetFont, {":::default_sans", 20}));
    ASSERT_EQ(0, Call(TxCreateTextObject, {1, "one two three four five six seven", TEXTALIGN_LEFT, 130}));
    TextObjectNode *n = Node(1);
    int32_t lines = (n->height - 1) / 20;
    ASSERT_GE(lines, 2);
    EXPECT_EQ(nullptr, n->state->wordBreaks);
    ASSERT_EQ(0, Call(TxScaleTextObject, {1, "200%", KEEPASPRAT}));
    ASSERT_NE(nullptr, n->state->wordBreaks);
    int32_t breaks = n->state->wordBreakCount;
    std::vector<int32_t> first(n->state->wordBreaks, n->state->wordBreaks + breaks);
    EXPECT_EQ(lines, (n->height - 1) / 40);
    ASSERT_EQ(0, Call(TxScaleTextObject, {1, "137%", KEEPASPRAT}));
    EXPECT_EQ(breaks, n->state->wordBreakCount);
    EXPECT_EQ(first, std::vector<int32_t>(n->state->wordBreaks, n->state->wordBreaks + breaks));
    EXPECT_EQ(lines, (n->height - 1) / (int32_t)ceil(20 * n->transform.d));
    EXPECT_GT(n->width, n->unscaledWidth);
    // The font is back at its own size afterwards.
    EXPECT_EQ(20, GetCurrentFont()->lineHeight);
}

}  // namespace
