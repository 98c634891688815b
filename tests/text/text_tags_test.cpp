// The format tags: texts turned into runs (text, style, colours) or refused with the parser's
// codes; nested colours; the colour stack holding every opening colour tag the parser accepts.
#include <string>

#include "runtime/errors.h"
#include "text/text_tags.h"
#include "tests/text/text_fixture.h"

namespace {

using namespace textfix;

class TextTags : public TextTest {
protected:
    // The runs of the text as "text/style/colour" joined by '|', or "error CODE".
    std::string Runs(const char *text, int noTags = 0)
    {
        TextState st = State(text);
        TextRun *runs = nullptr;
        char *buffer = nullptr;
        int code = Run([&](lua_State *L) { return LayoutTextRuns(L, &st, TEXTKIND_TEXTOUT, noTags, &runs, &buffer); });
        if (code) return "error " + std::to_string(code);
        std::string s;
        char part[64];
        for (TextRun *r = runs; r; r = r->next) {
            snprintf(part, sizeof part, "/%d/%X", r->settings.style, r->settings.colour);
            s += (s.empty() ? "" : "|") + std::string(r->text, r->length) + part;
        }
        FreeTextRuns(runs, buffer);
        return s;
    }
};

TEST_F(TextTags, TextsToRunsOrCodes)
{
    struct Case {
        const char *text;
        const char *runs;
    } cases[] = {
        {"[[b]]", "[b]/1/FFFFFF"},
        {"[B]x[/b]y", "x/3/FFFFFF|y/1/FFFFFF"},
        {"[ b ]x[ / b ]y", "x/3/FFFFFF|y/1/FFFFFF"},
        {"[i][u]x", "x/13/FFFFFF"},
        {"a[b]b c[/b]d", "a/1/FFFFFF|b /3/FFFFFF|c/3/FFFFFF|d/1/FFFFFF"},
        {"[color=$FF]a[color=%11]b[/color]c[/color]d",
         "a/1/FF|b/1/3|c/1/FF|d/1/FFFFFF"},
        {"[color = 0x80000000 ]a", "a/1/80000000"},
        {"[color=-5]a", "a/1/0"},
        {"[color=99999999999]a", "a/1/FFFFFFFF"},
        {"[color=#SHDWSOUTH]a", "a/1/4"},
        {"[bold]x", "error 1251"},
        {"[x]", "error 1251"},
        {"[", "error 1251"},
        {"[b x]", "error 1108"},
        {"[/b x]", "error 1108"},
        {"a]b", "error 1252"},
        {"[/color]", "error 1252"},
        {"[color]a", "error 1253"},
        {"[color=\"1\"]a", "error 1024"},
        {"[color=#SANS]a", "error 1024"},
        {"[color=$]a", "error 1018"},
        {"[color=#NOSUCHNAME]a", "error 1042"},
        {"[color=$FF", "error 1108"},
        {"[shadow=$FF,65]a", "error 1055"},
        {"[shadow=$FF,0]a", "error 1055"},
        {"[edge=$FF,9]a", "error 1055"},
    };
    for (const Case &c : cases) EXPECT_EQ(c.runs, Runs(c.text)) << c.text;
    // Without tags the brackets are characters.
    EXPECT_EQ("[b]x]/1/FFFFFF", Runs("[b]x]", 1));
}

TEST_F(TextTags, ShadowAndEdgeValues)
{
    TextState st = State("[shadow]a[/shadow][shadow=$123456, 7 , #SHDWWEST]b[edge = $654321,3]c[/edge]d");
    TextRun *runs = nullptr;
    char *buffer = nullptr;
    ASSERT_EQ(0, Run([&](lua_State *L) { return LayoutTextRuns(L, &st, TEXTKIND_TEXTOUT, 0, &runs, &buffer); }));
    const FontSettings *s[4];
    int n = 0;
    for (TextRun *r = runs; r && n < 4; r = r->next) s[n++] = &r->settings;
    ASSERT_EQ(4, n);
    // A shadow without values keeps the current colour, size and direction.
    EXPECT_EQ(TEXTSTYLE_NORMAL | TEXTSTYLE_SHADOW, s[0]->style);
    EXPECT_EQ(0u, s[0]->shadowColour);
    EXPECT_EQ(4, s[0]->shadowSize);
    EXPECT_EQ(3, s[0]->shadowDirection);
    EXPECT_EQ(0x123456u, s[1]->shadowColour);
    EXPECT_EQ(7, s[1]->shadowSize);
    EXPECT_EQ(6, s[1]->shadowDirection);
    EXPECT_EQ(TEXTSTYLE_NORMAL | TEXTSTYLE_SHADOW | TEXTSTYLE_EDGE, s[2]->style);
    EXPECT_EQ(0x654321u, s[2]->edgeColour);
    EXPECT_EQ(3, s[2]->edgeSize);
    EXPECT_EQ(TEXTSTYLE_NORMAL | TEXTSTYLE_SHADOW, s[3]->style);
    FreeTextRuns(runs, buffer);
}

// Every spelling of an opening colour tag the parser takes has its place on the stack, also
// with TABs, CR and LF between the bracket and the name.
TEST_F(TextTags, ColourStackHoldsEveryOpeningTag)
{
    for (const char *open : {"[\tcolor=$FF]", "[ COLOR=$FF]", "[\t \tColor = $FF]"}) {
        std::string text;
        for (int i = 0; i < 300; i++) text += open;
        text += "x";
        for (int i = 0; i < 300; i++) text += "[/color]";
        text += "y";
        EXPECT_EQ("x/1/FF|y/1/FFFFFF", Runs(text.c_str())) << open;
    }
    const char *counted = "[\r\ncolor=1][\tcolor=2][color=3]";
    EXPECT_EQ(3, CountColourTags(counted, (int32_t)strlen(counted)));
}

}  // namespace
