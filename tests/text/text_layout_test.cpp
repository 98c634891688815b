// The line layout: word wrap (a word never split, a wide word that starts a line staying
// there), tabs of printed text, trailing blanks, a given word-break table, 32-bit run positions
// and copies of states.
#include <string>

#include "tests/text/text_fixture.h"

namespace {

using namespace textfix;

class TextLayout : public TextTest {
protected:
    // The runs as "text@x,y" joined by '|', or "error CODE".
    std::string Runs(TextState *st, int kind = TEXTKIND_TEXTOUT)
    {
        TextRun *runs = nullptr;
        char *buffer = nullptr;
        int code = Run([&](lua_State *L) { return LayoutTextRuns(L, st, kind, 0, &runs, &buffer); });
        if (code) return "error " + std::to_string(code);
        std::string s;
        for (TextRun *r = runs; r; r = r->next)
            s += (s.empty() ? "" : "|") + std::string(r->text, r->length) + "@" + std::to_string(r->x) + "," +
                 std::to_string(r->y);
        FreeTextRuns(runs, buffer);
        return s;
    }
    std::string Runs(const char *text, int32_t align = TEXTALIGN_LEFT, int32_t wrap = 0)
    {
        TextState st = State(text, align, wrap);
        return Runs(&st);
    }
};

TEST_F(TextLayout, WrapTrimAndNewLines)
{
    struct Case {
        const char *text;
        int32_t align, wrap;
        const char *runs;
    } cases[] = {
        {"aa bb cc", TEXTALIGN_LEFT, 0, "aa @0,0|bb @24,0|cc@48,0"},
        // Lines break between words only; the blank stays with its word.
        {"aa bb cc", TEXTALIGN_LEFT, 48, "aa @0,0|bb @24,0|cc@0,8"},
        // The blank behind a word is part of its width.
        {"aa bb cc", TEXTALIGN_LEFT, 47, "aa @0,0|bb @0,8|cc@24,8"},
        {"aa bb cc", TEXTALIGN_LEFT, 20, "aa @0,0|bb @0,8|cc@0,16"},
        // A word wider than the wrap width that starts a line stays there: no empty line.
        {"abcdefgh i", TEXTALIGN_LEFT, 30, "abcdefgh @0,0|i@0,8"},
        {"i abcdefgh", TEXTALIGN_LEFT, 30, "i @0,0|abcdefgh@0,8"},
        // Trailing blanks stay for left-aligned text that is not underlined, else they go.
        {"ab  \ncd ", TEXTALIGN_LEFT, 0, "ab @0,0| @24,0|cd @0,8"},
        {"ab  \ncd ", TEXTALIGN_CENTER, 0, "ab@0,0|cd@0,8"},
        {"[u]ab  [/u]x ", TEXTALIGN_LEFT, 0, "ab @0,0| @24,0|x @32,0"},
        {"x [u]ab  ", TEXTALIGN_LEFT, 0, "x @0,0|ab@16,0"},
        {"a\r\nb\tc", TEXTALIGN_LEFT, 0, "a@0,0|b @0,8|c@16,8"},
        {"[b]a[/b]b c", TEXTALIGN_LEFT, 0, "a@0,0|b @8,0|c@24,0"},
    };
    for (const Case &c : cases) EXPECT_EQ(c.runs, Runs(c.text, c.align, c.wrap)) << c.text << " wrap " << c.wrap;
}

// Printed text jumps to the tab stops; without a stop beyond the pen (or none at all, or one
// beyond the wrap width) a TAB starts a new line. The results are recorded for later layouts.
TEST_F(TextLayout, TabsOfPrintedText)
{
    TextState st = State("a\tb\tc\td");
    st.leftMargin = 10;
    st.wrapWidth = 109;         // right margin: the wrap width is 100
    st.cursorX = 10;
    EXPECT_EQ("a@0,0|b@0,8|c@0,16|d@0,24", Runs(&st, TEXTKIND_PRINT));
    st.tabStops[0] = 30;
    st.tabStops[1] = 50;
    st.tabStops[2] = 120;
    st.tabCount = 3;
    EXPECT_EQ("a@0,0|b@20,0|c@40,0|d@0,8", Runs(&st, TEXTKIND_PRINT));
    // The first line starts at the cursor.
    st.cursorX = 60;
    EXPECT_EQ("a@50,0|b@0,8|c@20,8|d@40,8", Runs(&st, TEXTKIND_PRINT));
    // Other kinds take a TAB as a blank.
    EXPECT_EQ("a @0,0|b @16,0|c @32,0|d@48,0", Runs(&st, TEXTKIND_TEXTOUT));
}

TEST_F(TextLayout, GivenWordBreaksAreFollowed)
{
    int32_t breaks[3] = {1, 3, 0};
    TextState st = State("a b c d e", TEXTALIGN_LEFT, 1000);
    st.wordBreaks = breaks;
    st.wordBreakCount = 2;
    EXPECT_EQ("a @0,0|b @0,8|c @16,8|d @0,16|e@16,16", Runs(&st));
}

// Run positions are 32-bit: a line far wider than 32767 pixels keeps its order.
TEST_F(TextLayout, PositionsBeyond16Bits)
{
    std::string text;
    for (int i = 0; i < 5000; i++) text += "x ";
    TextState st = State(text.c_str());
    TextRun *runs = nullptr;
    char *buffer = nullptr;
    ASSERT_EQ(0, Run([&](lua_State *L) { return LayoutTextRuns(L, &st, TEXTKIND_TEXTOUT, 0, &runs, &buffer); }));
    int32_t last = -1, count = 0;
    for (TextRun *r = runs; r; r = r->next, count++) {
        EXPECT_GT(r->x, last);
        last = r->x;
    }
    EXPECT_EQ(5000, count);
    EXPECT_EQ(4999 * 16, last);
    FreeTextRuns(runs, buffer);
    RenderedTextImage img;
    ASSERT_EQ(0, Render(&st, &img));
    EXPECT_EQ(5000 * 16, img.fullWidth);
    EXPECT_EQ(1, MaskRowBit(img.mask->pixels + 3 * img.mask->bytesPerRow, 4999 * 16 + 1));
    FreeRenderedTextImage(&img);
}

TEST_F(TextLayout, StateCopiesOwnTheirTextAndTables)
{
    int32_t breaks[2] = {4, 0}, tabs[3] = {-1, 2, 0};
    TextState st = State("copy me");
    st.wordBreaks = breaks;
    st.wordBreakCount = 1;
    st.tabResults = tabs;
    st.tabResultCount = 2;
    st.images[0].bitmap = (BitMap *)&st;        // never copied
    TextState *c = CopyTextState(&st);
    ASSERT_NE(nullptr, c);
    EXPECT_NE(st.text, c->text);
    EXPECT_STREQ("copy me", c->text);
    EXPECT_EQ(nullptr, c->images[0].bitmap);
    EXPECT_EQ(4, c->wordBreaks[0]);
    EXPECT_EQ(2, c->tabResults[1]);
    FreeTextState(c);
    FontSettings s = {1, 0, 0, 0, 0, 9, 65, nullptr};
    ClampTextSettings(&s);
    EXPECT_EQ(1, s.shadowSize);
    EXPECT_EQ(3, s.shadowDirection);
    EXPECT_EQ(64, s.edgeSize);
}

}  // namespace
