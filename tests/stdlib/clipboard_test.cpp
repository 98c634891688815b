// The clipboard under the dummy video driver (SDL keeps the text inside the process), with and
// without a fake xclip, at the platform level and through the system library's commands.
#include <gtest/gtest.h>

#include <SDL.h>
#include <string>
#include <vector>

#include "display/display.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "stdlib/system.h"
#include "tests/stdlib/fake_helpers.h"

namespace {

std::string GetText()
{
    OsClipboardData d;
    EXPECT_EQ(0, OsGetClipboard(&d));
    EXPECT_EQ(d.kind, OS_CLIP_TEXT);
    std::string text = d.text ? d.text : "<none>";
    OsFreeClipboardData(&d);
    return text;
}

int Peek()
{
    int kind = -1;
    EXPECT_EQ(0, OsPeekClipboard(&kind));
    return kind;
}

TEST(ClipboardText, RoundTripsAndLineEnds)
{
    struct {
        const char *put, *back;
    } cases[] = {
        {"a\nb", "a\nb"},
        {"a\rb", "a\nb"},
        {"a\r\nb\r\n", "a\nb\n"},
        {"\xe9t\xe9 \xff", "\xe9t\xe9 \xff"},   // Latin-1 travels as UTF-8 and comes back
        // Characters that Mac OS Roman lacks no longer end the text.
        {"a\xa6\xb2\xbd\xd0\xd7\xdd\xde\xf0\xfd\xfe z", "a\xa6\xb2\xbd\xd0\xd7\xdd\xde\xf0\xfd\xfe z"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(0, OsSetClipboardText(c.put));
        EXPECT_EQ(Peek(), OS_CLIP_TEXT);
        EXPECT_EQ(GetText(), c.back) << c.put;
    }
    ASSERT_EQ(0, OsSetClipboardText("\xe9t\xe9 \xff"));
    char *system = SDL_GetClipboardText();
    EXPECT_STREQ(system, "\xc3\xa9t\xc3\xa9 \xc3\xbf");
    SDL_free(system);
}

// Texts other programs put: characters above U+00FF read as '?'; CR LF and CR become LF.
TEST(ClipboardText, OtherProgramsTexts)
{
    ASSERT_EQ(0, OsInitVideo());
    SDL_SetClipboardText("x\xe2\x82\xacy\r\nl2\rl3 \xf0\x9f\x98\x80.");
    EXPECT_EQ(GetText(), "x?y\nl2\nl3 ?.");
}

TEST(ClipboardText, ClearLeavesItEmpty)
{
    ASSERT_EQ(0, OsSetClipboardText("something"));
    ASSERT_EQ(0, OsClearClipboard());
    EXPECT_EQ(Peek(), OS_CLIP_EMPTY);
    OsClipboardData d;
    ASSERT_EQ(0, OsGetClipboard(&d));
    EXPECT_EQ(d.kind, OS_CLIP_EMPTY);
    EXPECT_EQ(d.text, nullptr);
    OsFreeClipboardData(&d);
}

int Changes = 0;
void CountChange(void)
{
    Changes++;
}

TEST(ClipboardText, ChangesAreReportedOnceEach)
{
    OsSetClipboardChangeHandler(CountChange);
    Changes = 0;
    ASSERT_EQ(0, OsSetClipboardText("mine"));
    EXPECT_EQ(Changes, 1);
    OsClipboardFocusGained();                   // still our own text
    EXPECT_EQ(Changes, 1);
    SDL_SetClipboardText("another program's");  // changed behind the player's back
    OsClipboardFocusGained();
    EXPECT_EQ(Changes, 2);
    OsClipboardFocusGained();
    EXPECT_EQ(Changes, 2);
    ASSERT_EQ(0, OsClearClipboard());
    EXPECT_EQ(Changes, 3);
    OsClipboardFocusGained();
    EXPECT_EQ(Changes, 3);
    OsSetClipboardChangeHandler(nullptr);
}

// A 3 x 2 picture with opaque, half and fully transparent pixels.
const std::vector<uint32_t> Picture = {0xff102030, 0x80405060, 0x00708090,
                                       0xffffffff, 0x01000000, 0xfe0a0b0c};

TEST(ClipboardPicture, WithoutAHelperPuttingAPictureFails)
{
    EXPECT_EQ(1368, OsSetClipboardImage(Picture.data(), 3, 2, 1));
}

// xclip as a fake: it keeps what -i receives and offers it as image/png.
void AddFakeXclip(FakeHelpers &fakes)
{
    fakes.Add("xclip", "case \"$*\" in\n"
                       "*TARGETS*) /bin/cat \"$0.targets\" ;;\n"
                       "*-i*) /bin/cat > \"$0.data\"; printf 'TARGETS\\nimage/png\\n' > \"$0.targets\" ;;\n"
                       "*-o*) /bin/cat \"$0.data\" ;;\n"
                       "esac");
}

TEST(ClipboardPicture, RoundTripThroughXclipKeepsEveryPixel)
{
    FakeHelpers fakes;
    AddFakeXclip(fakes);
    int changes = Changes = 0;
    OsSetClipboardChangeHandler(CountChange);
    ASSERT_EQ(0, OsSetClipboardImage(Picture.data(), 3, 2, 1));
    changes = Changes;
    OsSetClipboardChangeHandler(nullptr);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(fakes.Args("xclip"), (std::vector<std::string>{"-selection", "clipboard", "-t", "image/png", "-i"}));
    EXPECT_EQ(fakes.File("xclip.data").compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);

    EXPECT_EQ(Peek(), OS_CLIP_IMAGE);
    OsClipboardData d;
    ASSERT_EQ(0, OsGetClipboard(&d));
    EXPECT_EQ(fakes.Args("xclip"), (std::vector<std::string>{"-selection", "clipboard", "-t", "image/png", "-o"}));
    ASSERT_EQ(d.kind, OS_CLIP_IMAGE);
    ASSERT_EQ(d.width, 3);
    ASSERT_EQ(d.height, 2);
    EXPECT_EQ(d.hasAlpha, 1);
    EXPECT_EQ(std::vector<uint32_t>(d.pixels, d.pixels + 6), Picture);
    OsFreeClipboardData(&d);

    // Without alpha the picture goes out opaque.
    ASSERT_EQ(0, OsSetClipboardImage(Picture.data(), 3, 2, 0));
    ASSERT_EQ(0, OsGetClipboard(&d));
    ASSERT_EQ(d.kind, OS_CLIP_IMAGE);
    for (int i = 0; i < 6; i++) EXPECT_EQ(d.pixels[i], Picture[i] | 0xff000000u) << i;
    OsFreeClipboardData(&d);
}

TEST(ClipboardPicture, TheOfferedTypesGiveTheKind)
{
    struct {
        const char *targets;
        int kind;
    } cases[] = {
        {"TARGETS\nTIMESTAMP\nx-special/gnome-copied-files\ntext/uri-list\n", OS_CLIP_UNKNOWN},
        {"TARGETS\nimage/png\nUTF8_STRING\n", OS_CLIP_IMAGE},
        {"TARGETS\nUTF8_STRING\nimage/png\n", OS_CLIP_TEXT},
        {"text/plain;charset=utf-8\r\n", OS_CLIP_TEXT},
        {"TARGETS\nTIMESTAMP\n", OS_CLIP_EMPTY},
        {"", OS_CLIP_EMPTY},
    };
    FakeHelpers fakes;
    AddFakeXclip(fakes);
    ASSERT_EQ(0, OsSetClipboardText("text"));
    for (const auto &c : cases) {
        fakes.Write("xclip.targets", c.targets);
        EXPECT_EQ(Peek(), c.kind) << c.targets;
    }
    // Unknown contents come back as their kind alone.
    fakes.Write("xclip.targets", cases[0].targets);
    OsClipboardData d;
    ASSERT_EQ(0, OsGetClipboard(&d));
    EXPECT_EQ(d.kind, OS_CLIP_UNKNOWN);
    EXPECT_EQ(d.text, nullptr);
    EXPECT_EQ(d.pixels, nullptr);
    OsFreeClipboardData(&d);
    // A helper that fails leaves the text clipboard to decide.
    fakes.Add("xclip", "exit 1");
    EXPECT_EQ(Peek(), OS_CLIP_TEXT);
    // A picture that can't be decoded is a read error.
    AddFakeXclip(fakes);
    fakes.Write("xclip.targets", "image/png\n");
    fakes.Write("xclip.data", "no picture");
    ASSERT_EQ(1365, OsGetClipboard(&d));
    OsFreeClipboardData(&d);
    // Only raster formats are decoded, PNG first: a GIF offer is passed over (the decoder
    // library's GIF reader is not safe on untrusted bytes), and one alone is a read error.
    fakes.Write("xclip.targets", "TARGETS\nimage/gif\nimage/png\n");
    fakes.Write("xclip.data", "GIF89a");
    ASSERT_EQ(1365, OsGetClipboard(&d));
    OsFreeClipboardData(&d);
    EXPECT_EQ(fakes.Args("xclip"), (std::vector<std::string>{"-selection", "clipboard", "-t", "image/png", "-o"}));
    fakes.Write("xclip.targets", "TARGETS\nimage/gif\n");
    fakes.Write("xclip.args", "");
    ASSERT_EQ(1365, OsGetClipboard(&d));
    OsFreeClipboardData(&d);
    EXPECT_NE(fakes.Args("xclip"), (std::vector<std::string>{"-selection", "clipboard", "-t", "image/gif", "-o"}));
}

// ---- the commands ----

struct Arg {
    int isString;
    double number;
    const char *text;
};
Arg N(double n) { return {0, n, nullptr}; }
Arg S(const char *s) { return {1, 0, s}; }

struct CallRequest {
    const char *name;
    std::vector<Arg> args;
    int code;
    int results;
    std::vector<std::string> values;   // results as texts (numbers through lua_tostring)
};

int DoCall(lua_State *L)
{
    CallRequest *r = static_cast<CallRequest *>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_pushstring(L, r->name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    for (const Arg &a : r->args) {
        if (a.isString) lua_pushstring(L, a.text);
        else lua_pushnumber(L, a.number);
    }
    r->code = lua_call(L, (int)r->args.size(), LUA_MULTRET);
    r->results = lua_gettop(L);
    for (int i = 1; i <= r->results; i++) {
        const char *s = lua_tostring(L, i);
        r->values.push_back(s ? s : "<?>");
    }
    lua_settop(L, 0);
    return 0;
}

int OpenLibs(lua_State *L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenSystemLib(L);
    lua_settop(L, 0);
    return 0;
}

// A brush library stand-in: brush 1 holds Picture; new brushes are recorded.
std::vector<uint32_t> NewBrushPixels;
int NewBrushes = 0;

int FakeBrushPixels(lua_State *L, const ObjectId *id, uint32_t **pixels, int32_t *width, int32_t *height,
                    int *hasAlpha)
{
    if (id->number != 1) {
        SetErrorNumber((long)id->number);
        return 1174;
    }
    *pixels = (uint32_t *)MemAlloc(Picture.size() * 4, 0);
    memcpy(*pixels, Picture.data(), Picture.size() * 4);
    *width = 3;
    *height = 2;
    *hasAlpha = 1;
    return 0;
}

int FakeNewBrush(lua_State *L, const uint32_t *pixels, int32_t width, int32_t height, int hasAlpha)
{
    NewBrushPixels.assign(pixels, pixels + width * height);
    NewBrushes++;
    lua_pushstring(L, "new brush");
    return 0;
}

// Two displays, the first with a clipboardchange handler, the second without.
DisplayRecord Watching, Ignoring;

int ClipboardEvents(DisplayRecord *display)
{
    int n = 0;
    for (int i = 0; i < EventQueueCount; i++)
        if (EventQueue[i].type == OS_EV_CLIPBOARD && EventQueue[i].display == display) n++;
    return n;
}

class ClipboardCommands : public ::testing::Test {
protected:
    lua_State *L = nullptr;
    void SetUp() override
    {
        ASSERT_EQ(0, InitRuntime());
        RemoveEvents(nullptr, -1, 1);
        for (DisplayRecord *d : {&Watching, &Ignoring}) {
            memset(d, 0, sizeof *d);
            for (EventHandlerSlot &slot : d->handlers) slot = {-1, -1};
        }
        Watching.handlers[SLOT_CLIPBOARDCHANGE].function = 1;
        Watching.next = &Ignoring;
        DisplayList = &Watching;
        L = lua_open();
        ASSERT_NE(L, nullptr);
        ASSERT_EQ(0, lua_cpcall(L, OpenLibs, nullptr));
    }
    void TearDown() override
    {
        DisplayList = nullptr;
        RemoveEvents(nullptr, -1, 1);
        ClipboardBrushPixels = nullptr;
        ClipboardNewBrush = nullptr;
        CloseSystemLib(L);
        lua_close(L);
        FreeCommandTables();
    }
    CallRequest Call(const char *name, std::vector<Arg> args)
    {
        CallRequest r = {name, args, -1, 0, {}};
        EXPECT_EQ(0, lua_cpcall(L, DoCall, &r)) << name;
        return r;
    }
};

TEST_F(ClipboardCommands, TextKindsAndClearing)
{
    CallRequest r = Call("setclipboard", {N(1), S("caf\xe9\n")});
    ASSERT_EQ(r.code, 0);
    r = Call("getclipboard", {});
    EXPECT_EQ(r.values, (std::vector<std::string>{"1", "caf\xe9\n"}));
    EXPECT_EQ(Call("peekclipboard", {}).values, (std::vector<std::string>{"1"}));
    ASSERT_EQ(Call("clearclipboard", {}).code, 0);
    EXPECT_EQ(Call("peekclipboard", {}).values, (std::vector<std::string>{"0"}));
    r = Call("getclipboard", {});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.values, (std::vector<std::string>{"0"}));   // the kind alone
    // The set and the clear, once each, only to the display with a clipboardchange handler.
    EXPECT_EQ(ClipboardEvents(&Watching), 2);
    EXPECT_EQ(ClipboardEvents(&Ignoring), 0);
    // Another program's text, found when a window gains the focus.
    SDL_SetClipboardText("from elsewhere");
    OsClipboardFocusGained();
    EXPECT_EQ(ClipboardEvents(&Watching), 3);
    OsClipboardFocusGained();
    EXPECT_EQ(ClipboardEvents(&Watching), 3);
    EXPECT_EQ(Call("setclipboard", {N(3), S("x")}).code, 1055);
    EXPECT_EQ(Call("setclipboard", {N(0), S("x")}).code, 1055);
}

TEST_F(ClipboardCommands, PicturesAreBrushes)
{
    // No brush library: brush 5 can't be found.
    CallRequest r = Call("setclipboard", {N(2), N(5)});
    EXPECT_EQ(r.code, 1174);
    EXPECT_EQ(GetErrorArgNumber(), 5);

    ClipboardBrushPixels = FakeBrushPixels;
    ClipboardNewBrush = FakeNewBrush;
    EXPECT_EQ(Call("setclipboard", {N(2), N(7)}).code, 1174);
    EXPECT_EQ(Call("setclipboard", {N(2), N(1)}).code, 1368);   // no helper

    FakeHelpers fakes;
    AddFakeXclip(fakes);
    ASSERT_EQ(Call("setclipboard", {N(2), N(1)}).code, 0);
    EXPECT_EQ(ClipboardEvents(&Watching), 1);
    NewBrushes = 0;
    r = Call("getclipboard", {});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.values, (std::vector<std::string>{"2", "new brush"}));
    EXPECT_EQ(NewBrushes, 1);
    EXPECT_EQ(NewBrushPixels, Picture);
}

}  // namespace
