// Command-line options, the configuration file and ApplyStartupOptions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/memory.h"
#include "runtime/options.h"
#include "runtime/player.h"

namespace {

// "name=value;name;" for the user-argument list (a name without value has no '=').
std::string UserArgs(const UserArgNode *n)
{
    std::string s;
    for (; n; n = n->next) {
        s += n->name;
        if (n->value) s += std::string("=") + n->value;
        s += ";";
    }
    return s;
}

std::string Value(const OptionsRecord &o, int id)
{
    return o.value[id] ? o.value[id] : "(none)";
}

struct Options {
    OptionsRecord rec;
    Options() { InitOptionsRecord(&rec); }
    ~Options() { FreeOptionsRecord(&rec); }
};

TEST(OptionTable, NamesAndIds)
{
    EXPECT_EQ(sizeof OptionTable / sizeof OptionTable[0], 56u);
    int valueOptions = 0;
    for (const auto &o : OptionTable) {
        EXPECT_GT(o.id, 0);
        EXPECT_LT(o.id, OPTION_SLOT_COUNT);
        EXPECT_EQ(FindOption(o.name), &o);
        valueOptions += o.takesValue;
    }
    EXPECT_EQ(valueOptions, 32);
    EXPECT_EQ(FindOption("debugdevice")->takesValue, 1);
    EXPECT_EQ(FindOption("window")->id, OPT_WINDOW);
    EXPECT_EQ(FindOption("WiNdOw")->id, OPT_WINDOW);
    EXPECT_EQ(FindOption("WIN"), nullptr);           // whole names only
    EXPECT_EQ(FindOption("WINDOWS"), nullptr);
    EXPECT_EQ(FindOption("psn"), nullptr);
}

// The whole table in its order: name, id and whether the option takes a value.
TEST(OptionTable, EveryEntryInOrder)
{
    const char *expected =
        "WINDOW 1,BORDERLESS 2,SIZEABLE 3,BACKFILL 4 V,HIDETITLEBAR 5,BRUSH 6 V,STARTCOLOR 7 V,"
        "ENDCOLOR 8 V,DEPTH 9 V,COMPILE 10 V,QUIET 11,PUBSCREEN 12 V,BRUSHFILE 13 V,"
        "MASTERVOLUME 14 V,FIXED 15,NOSOUND 16,EXETYPE 17 V,SCALEPICTURE 18,PICXPOS 19 V,"
        "PICYPOS 20 V,PICTRANS 21 V,FULLSCREEN 22,PRIVATE1 23 V,PRIVATE2 24 V,USEQUARTZ 25,"
        "NOHIDE 26,OWNSCREEN 27,SCRWIDTH 28 V,SCRHEIGHT 29 V,FAKEFULLSCREEN 30,HIDEPOINTER 31,"
        "NOMODESWITCH 32,LINKFILES 33 V,DEBUGDEVICE 34 V,COMPRESS 35,OVERWRITE 36,AUTOSCALE 37,"
        "SMOOTHSCALE 40,SCALEWIDTH 38 V,SCALEHEIGHT 39 V,LAYERSCALE 41,USEWPA 42,WPAMODE 43 V,"
        "LOCKSETTINGS 48,LINKFONTS 49 V,PRIVATE3 50 V,SCRIPTALIAS 52 V,ICON16X16 53 V,"
        "ICON24X24 54 V,ICON32X32 55 V,ICON48X48 56 V,ICON128X128 57 V,ICON256X256 58 V,"
        "ICON512X512 59 V,KEEPPROPORTIONS 60,FITSCALE 61,";
    std::string table;
    for (const auto &o : OptionTable)
        table += std::string(o.name) + " " + std::to_string(o.id) + (o.takesValue ? " V," : ",");
    EXPECT_EQ(table, expected);
}

TEST(OptionText, Gather)
{
    char buf[64];
    char a0[] = "player", a1[] = "-window", a2[] = "my game.kva", a3[] = "-brush", a4[] = "5";
    char *argv[] = {a0, a1, a2, a3, a4};
    EXPECT_EQ(GatherOptionText(5, argv, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "-window \"my game.kva\" -brush \"5\"");
    EXPECT_EQ(GatherOptionText(1, argv, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GatherOptionText(5, argv, buf, 20), 1060);     // too long: refused, not cut
    EXPECT_STREQ(buf, "");
}

TEST(OptionText, Parse)
{
    struct {
        const char *text;
        int code;
        const char *script;
        const char *user;
        int switchId;       // a switch expected on (0: none)
        int valueId;        // a value option expected (0: none)
        const char *value;
    } cases[] = {
        {"-window \"game.kva\"", 0, "game.kva", "", OPT_WINDOW, 0, nullptr},
        {"-WINDOW game.kva", 0, "game.kva", "", OPT_WINDOW, 0, nullptr},
        {"  -Window   -window  ", 0, "(none)", "", OPT_WINDOW, 0, nullptr},
        {"-foo \"bar\"", 0, "(none)", "foo=bar;", 0, 0, nullptr},
        {"-foo -window \"s\"", 0, "s", "foo;", OPT_WINDOW, 0, nullptr},
        {"-foo", 0, "(none)", "foo;", 0, 0, nullptr},
        {"-win \"s\"", 0, "(none)", "win=s;", 0, 0, nullptr},
        {"-brush \"5\" \"s.kva\"", 0, "s.kva", "", 0, OPT_BRUSH, "5"},
        {"\"s.kva\" -brush 5", 0, "s.kva", "", 0, OPT_BRUSH, "5"},
        {"-debugdevice \"stdout\" \"s\"", 0, "s", "", 0, OPT_DEBUGDEVICE, "stdout"},
        {"-scriptalias \"My Game\" x", 0, "x", "", 0, OPT_SCRIPTALIAS, "My Game"},
        {"-compile \"\" s", 0, "s", "", 0, OPT_COMPILE, ""},
        {"-my_var_2 \"a b\" -x", 0, "(none)", "my_var_2=a b;x;", 0, 0, nullptr},
        // Errors.
        {"-brush", 1060, nullptr, nullptr, 0, 0, nullptr},
        {"-brush -window", 1060, nullptr, nullptr, 0, 0, nullptr},
        {"\"a\" \"b\"", 1060, nullptr, nullptr, 0, 0, nullptr},
        {"a b", 1060, nullptr, nullptr, 0, 0, nullptr},
        {"\"unclosed", 1060, nullptr, nullptr, 0, 0, nullptr},
        {"-brush \"unclosed", 1060, nullptr, nullptr, 0, 0, nullptr},
        {"- x", 1060, nullptr, nullptr, 0, 0, nullptr},
        {"-psn_0_12345", 0, "(none)", "psn_0_12345;", 0, 0, nullptr},
    };
    for (const auto &c : cases) {
        Options o;
        int code = ParseOptionText(&o.rec, c.text);
        EXPECT_EQ(code, c.code) << c.text;
        if (code || c.code) continue;
        EXPECT_EQ(Value(o.rec, OPT_SCRIPT), c.script) << c.text;
        EXPECT_EQ(UserArgs(o.rec.userArgs), c.user) << c.text;
        if (c.switchId) {
            EXPECT_EQ(o.rec.on[c.switchId], 1) << c.text;
        }
        if (c.valueId) {
            EXPECT_EQ(Value(o.rec, c.valueId), c.value) << c.text;
        }
    }
}

TEST(ConfigFile, Parse)
{
    struct {
        const char *text;
        int code;
        int switchId;
        int switchValue;
        int valueId;
        const char *value;
        const char *user;
    } cases[] = {
        {"FULLSCREEN = yes\n", 0, OPT_FULLSCREEN, 1, 0, nullptr, ""},
        {"FULLSCREEN = 0\n", 0, OPT_FULLSCREEN, 0, 0, nullptr, ""},
        {"fullscreen=On", 0, OPT_FULLSCREEN, 1, 0, nullptr, ""},
        {"FullScreen = TRUE\r\n", 0, OPT_FULLSCREEN, 1, 0, nullptr, ""},
        {"FULLSCREEN = 2", 0, OPT_FULLSCREEN, 1, 0, nullptr, ""},
        {"FULLSCREEN = $10", 0, OPT_FULLSCREEN, 1, 0, nullptr, ""},
        {"FULLSCREEN = no", 0, OPT_FULLSCREEN, 0, 0, nullptr, ""},
        {"FULLSCREEN = off", 0, OPT_FULLSCREEN, 0, 0, nullptr, ""},
        {"FULLSCREEN =", 0, OPT_FULLSCREEN, 0, 0, nullptr, ""},
        {"# comment = x\n   [Section]\n\tWINDOW\t=\t1 \n", 0, OPT_WINDOW, 1, 0, nullptr, ""},
        {"SCRWIDTH = 640\nSCRHEIGHT=480", 0, 0, 0, OPT_SCRHEIGHT, "480", ""},
        {"BRUSHFILE = \"my file.png\"  # note\n", 0, 0, 0, OPT_BRUSHFILE, "my file.png", ""},
        {"DEBUGDEVICE = stdout", 0, 0, 0, OPT_DEBUGDEVICE, "stdout", ""},
        {"MyVar = hello world \t\r\nOther=\"\"\n", 0, 0, 0, 0, nullptr, "MyVar=hello world;Other=;"},
        {"A = 1\0B = 2", 0, 0, 0, 0, nullptr, "A=1;"},
        // Errors.
        {"1WINDOW = 1", 1363, 0, 0, 0, nullptr, nullptr},
        {"_WINDOW = 1", 1363, 0, 0, 0, nullptr, nullptr},
        {"WINDOW 1", 1363, 0, 0, 0, nullptr, nullptr},
        {"WINDOW", 1363, 0, 0, 0, nullptr, nullptr},
        {"WINDOW-X = 1", 1363, 0, 0, 0, nullptr, nullptr},
        {"BRUSHFILE = \"open\nWINDOW = 1", 1363, 0, 0, 0, nullptr, nullptr},
        {"BRUSHFILE = \"open", 1363, 0, 0, 0, nullptr, nullptr},
        {"BRUSHFILE = \"a\" junk", 1363, 0, 0, 0, nullptr, nullptr},
    };
    for (const auto &c : cases) {
        Options o;
        o.rec.on[OPT_FULLSCREEN] = 1 - c.switchValue;   // the file wins over the command line
        size_t len = strlen(c.text);
        if (strcmp(c.text, "A = 1") == 0) len = 11;      // includes the zero byte and "B = 2"
        int code = ParseConfigText(&o.rec, c.text, len);
        EXPECT_EQ(code, c.code) << c.text;
        if (code || c.code) continue;
        if (c.switchId) {
            EXPECT_EQ(o.rec.on[c.switchId], c.switchValue) << c.text;
        }
        if (c.valueId) {
            EXPECT_EQ(Value(o.rec, c.valueId), c.value) << c.text;
        }
        EXPECT_EQ(UserArgs(o.rec.userArgs), c.user) << c.text;
    }
}

// A configuration file of many entries is read in linear time, its names kept in file order
// behind those of the command line.
TEST(ConfigFile, ManyEntriesReadQuickly)
{
    Options o;
    ASSERT_EQ(ParseOptionText(&o.rec, "-first \"1\""), 0);
    std::string text;
    const int n = 100000;
    for (int i = 0; i < n; i++) text += "a" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    time_t begin = time(nullptr);
    ASSERT_EQ(ParseConfigText(&o.rec, text.c_str(), text.size()), 0);
    EXPECT_LE(time(nullptr) - begin, 3);    // about 10 s when every entry walks the list
    int count = 0;
    UserArgNode *last = nullptr;
    for (UserArgNode *u = o.rec.userArgs; u; u = u->next, count++) last = u;
    EXPECT_EQ(count, n + 1);
    EXPECT_STREQ(o.rec.userArgs->name, "first");
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last->name, ("a" + std::to_string(n - 1)).c_str());
    EXPECT_STREQ(last->value, std::to_string(n - 1).c_str());
}

TEST(ConfigFile, NameLengthLimit)
{
    Options o;
    std::string ok = std::string(127, 'N') + " = 1";
    EXPECT_EQ(ParseConfigText(&o.rec, ok.c_str(), ok.size()), 0);
    std::string tooLong = std::string(128, 'N') + " = 1";
    EXPECT_EQ(ParseConfigText(&o.rec, tooLong.c_str(), tooLong.size()), 1363);
}

TEST(ConfigFile, CommandLineFirstThenFile)
{
    Options o;
    ASSERT_EQ(ParseOptionText(&o.rec, "-first 1 -window s.kva"), 0);
    const char *ini = "second = 2\nWINDOW = no\nSCRWIDTH = 800\n";
    ASSERT_EQ(ParseConfigText(&o.rec, ini, strlen(ini)), 0);
    EXPECT_EQ(UserArgs(o.rec.userArgs), "first=1;second=2;");
    EXPECT_EQ(o.rec.on[OPT_WINDOW], 0);
    EXPECT_EQ(Value(o.rec, OPT_SCRIPT), "s.kva");       // the option text stays readable
    EXPECT_EQ(Value(o.rec, OPT_SCRWIDTH), "800");
}

TEST(ConfigFile, ReadFromDisk)
{
    std::string path = testing::TempDir() + "kv_options_test.ini";
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("[Settings]\r\nQUIET = yes\r\nTitle = \"Hello\"\r\n", f);
    fclose(f);
    Options o;
    EXPECT_EQ(ReadConfigFile(&o.rec, path.c_str()), 0);
    EXPECT_EQ(o.rec.on[OPT_QUIET], 1);
    EXPECT_EQ(UserArgs(o.rec.userArgs), "Title=Hello;");
    unlink(path.c_str());

    Options none;
    EXPECT_EQ(ReadConfigFile(&none.rec, (path + ".missing").c_str()), 0);   // no file: no error
    EXPECT_EQ(none.rec.userArgs, nullptr);
}

TEST(ConfigFile, NameFromScript)
{
    struct {
        const char *script;
        const char *ini;
    } cases[] = {
        {"/a/b/game.kva", "/a/b/game.ini"},
        {"/x/a.b/game", "/x/a.b/game.ini"},
        {"game.tar.kva", "game.tar.ini"},
        {"game", "game.ini"},
        {"/d/.hidden", "/d/.ini"},
        {"rel/dir/x.", "rel/dir/x.ini"},
    };
    char buf[1024];
    for (const auto &c : cases) {
        ASSERT_EQ(MakeConfigFileName(c.script, 0, buf, sizeof buf), 1) << c.script;
        EXPECT_STREQ(buf, c.ini);
    }
    EXPECT_EQ(MakeConfigFileName("/a/b/game.kva", 0, buf, 13), 0);
    EXPECT_EQ(MakeConfigFileName("/a/b/game.kva", 0, buf, 14), 1);

    // An applet appended to the executable: beside the executable, whatever the path says.
    char dir[1024];
    ASSERT_EQ(OsGetBundlePath(dir, sizeof dir), 1);
    ASSERT_EQ(MakeConfigFileName("/elsewhere/MyApp.bin", 1, buf, sizeof buf), 1);
    EXPECT_EQ(std::string(buf), std::string(dir) + "/MyApp.ini");
}

TEST(LinkFiles, Parse)
{
    struct {
        const char *text;
        int fonts;
        int code;
        const char *names;
    } cases[] = {
        {"a.png\n  \"b c.png\"  \r\n\nA.PNG\nd.wav", 0, 0, "a.png;b c.png;d.wav;"},
        {"times.font\n\"my sans.font\"\nplain\ntimes", 1, 0,
         "::font:times;::font:my sans;::font:plain;"},
        {"a b\n", 0, 1305, nullptr},
        {"\"open\nx", 0, 1305, nullptr},
        {"\"\"\n", 0, 1305, nullptr},
    };
    for (const auto &c : cases) {
        Options o;
        EXPECT_EQ(ParseLinkFileText(&o.rec, c.text, strlen(c.text), c.fonts), c.code) << c.text;
        if (c.code) continue;
        std::string names;
        for (LinkNameNode *n = o.rec.linkNames; n; n = n->next) names += std::string(n->name) + ";";
        EXPECT_EQ(names, c.names);
    }
}

// ---------------------------------------------------------------------------------------------
// ApplyStartupOptions

class ApplyTest : public ::testing::Test {
protected:
    ClArgsRecord *clargs = nullptr;
    AppletRecord *applet = nullptr;
    Options opts;

    void SetUp() override
    {
        clargs = (ClArgsRecord *)MemAlloc(sizeof(ClArgsRecord), 1);
        applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
        // The not-given values of start-up.
        applet->scrWidth = applet->scrHeight = applet->depth = -1;
        applet->titleBarWord = -1;
        applet->backfillStartColor = applet->backfillEndColor = -1;
        applet->backfillPicX = applet->backfillPicY = -100000;
        applet->backfillPicTrans = -1;
        clargs->masterVolume = 30;
    }
    void TearDown() override
    {
        for (UserArgNode *n = clargs->userArgs; n;) {
            UserArgNode *next = n->next;
            MemFree(n->name);
            MemFree(n->value);
            MemFree(n);
            n = next;
        }
        MemFree(clargs->private1File);
        MemFree(clargs->private2File);
        for (char *icon : clargs->iconFiles) MemFree(icon);
        MemFree(clargs);
        MemFree(applet);
    }
    int Apply(const char *text, const char *ini = nullptr)
    {
        int code = ParseOptionText(&opts.rec, text);
        if (code) return -code;
        if (ini && (code = ParseConfigText(&opts.rec, ini, strlen(ini)))) return -code;
        return ApplyStartupOptions(clargs, &opts.rec, applet);
    }
};

TEST_F(ApplyTest, Conflicts)
{
    struct {
        const char *text;
        const char *ini;
        int code;
    } cases[] = {
        {"-autoscale -layerscale", nullptr, 1060},
        {"-fullscreen -fakefullscreen", nullptr, 1060},
        {"-fullscreen", "FAKEFULLSCREEN = yes", 1060},
        {"-ownscreen -fullscreen", nullptr, 1060},
        {"-ownscreen -fakefullscreen", nullptr, 1060},
        {"-backfill stripes", nullptr, 1243},
        {"-backfill color", nullptr, 1243},
        {"-backfill gradient -startcolor 1", nullptr, 1243},
        {"-backfill rainbow -endcolor 1", nullptr, 1243},
        {"-backfill texture", nullptr, 1243},
        {"-backfill picture", nullptr, 1243},
        {"-backfill texture -brush 3 -brushfile x.png", nullptr, 1243},
        {"-exetype linux+foo", nullptr, 1266},
        {"-exetype \"\"", nullptr, 1266},
        {"-exetype +", nullptr, 1266},
        {"-depth abc", nullptr, 1024},
        {"-depth $", nullptr, 1018},
        {"-mastervolume 0x", nullptr, 1018},
        {"-autoscale -scalewidth x%", nullptr, 1024},
        {"-backfill color -startcolor red", nullptr, 1024},
    };
    for (const auto &c : cases) {
        TearDown();
        SetUp();
        FreeOptionsRecord(&opts.rec);
        EXPECT_EQ(Apply(c.text, c.ini), c.code) << c.text;
    }
}

TEST_F(ApplyTest, DisplaySettings)
{
    ASSERT_EQ(Apply("-borderless -sizeable -fixed -nohide -hidepointer -nomodeswitch -usequartz "
                    "-keepproportions -fitscale -autoscale -smoothscale -scalewidth 50% "
                    "-scaleheight 480 -window -hidetitlebar -scrwidth 800 -scrheight $258 "
                    "-depth 24 s.kva"),
              0);
    EXPECT_EQ(applet->displayFlags,
              1u | 2 | 4 | 32 | 16 | 8 | 0x2000 | 0x8000 | 0x10000 | 64 | 128);
    EXPECT_EQ(applet->scaleWidth, -50);
    EXPECT_EQ(applet->scaleHeight, 480);
    EXPECT_EQ(applet->displayMode, 1);
    EXPECT_EQ(applet->titleBarWord, 1);
    EXPECT_EQ(applet->scrWidth, 800);
    EXPECT_EQ(applet->scrHeight, 600);
    EXPECT_EQ(applet->depth, 24);
}

TEST_F(ApplyTest, ScalingNeedsAScaleMode)
{
    ASSERT_EQ(Apply("-scalewidth 50% -smoothscale -layerscale", "SCALEHEIGHT = 25%"), 0);
    EXPECT_EQ(applet->displayFlags, 256u | 128);
    EXPECT_EQ(applet->scaleWidth, -50);
    EXPECT_EQ(applet->scaleHeight, -25);

    TearDown();
    SetUp();
    FreeOptionsRecord(&opts.rec);
    ASSERT_EQ(Apply("-scalewidth 50% -smoothscale"), 0);
    EXPECT_EQ(applet->scaleWidth, 0);
    EXPECT_EQ(applet->displayFlags, 0u);
}

TEST_F(ApplyTest, ScreenModes)
{
    struct {
        const char *text;
        int mode;
    } cases[] = {
        {"-window", 1}, {"-fullscreen", 2}, {"-ownscreen", 5}, {"-fakefullscreen", 6},
        {"-pubscreen Workbench", 1}, {"-window -fullscreen", 2}, {"", 0},
    };
    for (const auto &c : cases) {
        TearDown();
        SetUp();
        FreeOptionsRecord(&opts.rec);
        ASSERT_EQ(Apply(c.text), 0) << c.text;
        EXPECT_EQ(applet->displayMode, c.mode) << c.text;
    }
}

TEST_F(ApplyTest, Backfill)
{
    ASSERT_EQ(Apply("-backfill COLOR -startcolor $ff0000 -picxpos 5"), 0);
    EXPECT_EQ(applet->backfillKind, 1);
    EXPECT_EQ(applet->backfillStartColor, 0xff0000);
    EXPECT_EQ(applet->backfillEndColor, -1);
    EXPECT_EQ(applet->backfillPicX, 5);

    TearDown();
    SetUp();
    FreeOptionsRecord(&opts.rec);
    ASSERT_EQ(Apply("-backfill picture -brushfile \"bg pic.png\" -scalepicture",
                    "PICYPOS = -10\nPICTRANS = 128\n"),
              0);
    EXPECT_EQ(applet->backfillKind, 4);
    EXPECT_STREQ(applet->backfillBrushFile, "bg pic.png");
    EXPECT_EQ(applet->scalePicture, 1);
    EXPECT_EQ(applet->backfillPicX, -100000);
    EXPECT_EQ(applet->backfillPicY, -10);
    EXPECT_EQ(applet->backfillPicTrans, 128);

    TearDown();
    SetUp();
    FreeOptionsRecord(&opts.rec);
    ASSERT_EQ(Apply("-backfill gradient -startcolor 1 -endcolor 0x20 -brush 3"), 0);
    EXPECT_EQ(applet->backfillKind, 2);
    EXPECT_EQ(applet->backfillEndColor, 32);
    EXPECT_EQ(applet->backfillBrushId, 3u);

    // Without BACKFILL its options do nothing.
    TearDown();
    SetUp();
    FreeOptionsRecord(&opts.rec);
    ASSERT_EQ(Apply("-brush 3 -startcolor 5 -scalepicture"), 0);
    EXPECT_EQ(applet->backfillKind, 0);
    EXPECT_EQ(applet->backfillBrushId, 0u);
    EXPECT_EQ(applet->backfillStartColor, -1);
    EXPECT_EQ(applet->scalePicture, 0);
}

TEST_F(ApplyTest, StartupRecordFields)
{
    ASSERT_EQ(Apply("-quiet -nosound -mastervolume 50 -overwrite -lockscreen x -compress "
                    "-locksettings -exetype Linux+MACOS -private1 cmds.txt -private2 consts.txt "
                    "-private3 p3 -scriptalias \"My Alias\" -debugdevice stdout "
                    "-icon16x16 a.png -icon512x512 z.png -compile out.kva -usewpa -wpamode 2",
                    "Extra = 1\n"),
              0);
    EXPECT_EQ(clargs->quiet, 1);
    EXPECT_EQ(clargs->soundOff, 1);
    EXPECT_EQ(clargs->masterVolume, 50);
    EXPECT_EQ(clargs->overwrite, 1);
    EXPECT_EQ(clargs->compress, 1);
    EXPECT_EQ(clargs->lockSettings, 1);
    EXPECT_EQ(clargs->exeType, 0x180u);
    EXPECT_STREQ(clargs->private1File, "cmds.txt");
    EXPECT_STREQ(clargs->private2File, "consts.txt");
    EXPECT_STREQ(clargs->private3, "p3");
    EXPECT_STREQ(clargs->scriptAlias, "My Alias");
    EXPECT_EQ(clargs->debugDevice, 1);
    EXPECT_STREQ(clargs->iconFiles[0], "a.png");
    EXPECT_EQ(clargs->iconFiles[1], nullptr);
    EXPECT_STREQ(clargs->iconFiles[6], "z.png");
    EXPECT_EQ(clargs->compile, 1);
    EXPECT_STREQ(clargs->compileOutput, "out.kva");
    EXPECT_EQ(UserArgs(clargs->userArgs), "lockscreen=x;Extra=1;");
    EXPECT_EQ(opts.rec.userArgs, nullptr);
}

TEST_F(ApplyTest, UserArgsMoveEvenWhenApplyFails)
{
    EXPECT_EQ(Apply("-name value -autoscale -layerscale"), 1060);
    EXPECT_EQ(UserArgs(clargs->userArgs), "name=value;");
    EXPECT_EQ(opts.rec.userArgs, nullptr);
}

TEST_F(ApplyTest, LinkListsOnlyWithCompile)
{
    std::string path = testing::TempDir() + "kv_links_test.txt";
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("a.png\nb c\n", f);       // malformed second line
    fclose(f);
    std::string text = "-linkfiles \"" + path + "\"";
    EXPECT_EQ(Apply(text.c_str()), 0);              // ignored without COMPILE

    TearDown();
    SetUp();
    FreeOptionsRecord(&opts.rec);
    text += " -compile out";
    EXPECT_EQ(Apply(text.c_str()), 1305);

    TearDown();
    SetUp();
    FreeOptionsRecord(&opts.rec);
    EXPECT_EQ(Apply("-compile out -linkfonts /no/such/list"), 1045);
    unlink(path.c_str());
}

}  // namespace
