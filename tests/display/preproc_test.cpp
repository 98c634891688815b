// Declared objects are made by calling the commands by name: recording commands stand in for
// them and show the arguments and option tables each declaration turns into.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/player.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"

namespace {

std::string Calls;
int FailWith = 0;

std::string Value(lua_State *L, int i);

std::string Table(lua_State *L, int t)
{
    std::vector<std::string> fields;
    lua_pushnil(L);
    while (lua_next(L, t)) {
        std::string key = lua_type(L, -2) == LUA_TSTRING ? lua_tostring(L, -2) : Value(L, lua_gettop(L) - 1);
        fields.push_back(key + "=" + Value(L, lua_gettop(L)));
        lua_pop(L, 1);
    }
    std::sort(fields.begin(), fields.end());
    std::string s = "{";
    for (size_t i = 0; i < fields.size(); i++) s += (i ? ", " : "") + fields[i];
    return s + "}";
}

std::string Value(lua_State *L, int i)
{
    switch (lua_type(L, i)) {
    case LUA_TNUMBER: {
        char b[32];
        snprintf(b, sizeof b, "%.14g", lua_tonumber(L, i));
        return b;
    }
    case LUA_TSTRING: return std::string("\"") + lua_tostring(L, i) + "\"";
    case LUA_TTABLE: return Table(L, i);
    case LUA_TNIL: return "nil";
    default: return "?";
    }
}

// Records "name(arg, arg, ...)" and returns FailWith.
int Record(lua_State *L, const char *name)
{
    std::string s = std::string(name) + "(";
    for (int i = 1; i <= lua_gettop(L); i++) s += (i > 1 ? ", " : "") + Value(L, i);
    Calls += s + ")\n";
    return FailWith;
}

int RecCreateDisplay(lua_State *L) { return Record(L, "createdisplay"); }
int RecLoadBrush(lua_State *L) { return Record(L, "loadbrush"); }
int RecOpenFile(lua_State *L) { return Record(L, "openfile"); }

struct PreprocTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord *applet = nullptr;
    ClArgsRecord *clargs = nullptr;
    void SetUp() override
    {
        Calls.clear();
        FailWith = 0;
        L = lua_open();
        applet = new AppletRecord();
        memset(applet, 0, sizeof *applet);
        SetAppletDisplayDefaults(applet);
        clargs = new ClArgsRecord();
        memset(clargs, 0, sizeof *clargs);
        clargs->quiet = 1;
        strcpy(clargs->scriptPath, "/tmp/applet.kva");
        lua_register(L, "createdisplay", RecCreateDisplay);
        lua_register(L, "loadbrush", RecLoadBrush);
        lua_register(L, "openfile", RecOpenFile);
    }
    void TearDown() override
    {
        FreeAppletContents(applet);
        delete applet;
        delete clargs;
        lua_close(L);
        SetRuntimeTags(L, RTAG_PREPROC, 0, RTAG_LINEINFO, 0, 0);
    }
    DisplayDecl *Display(uint32_t id, int line)
    {
        DisplayDecl d;
        memset(&d, 0, sizeof d);
        strcpy(d.title, "Two");
        d.x = 5;
        d.y = 6;
        d.width = 100;
        d.height = 50;
        d.fillStyle = 1;
        d.color = 0x123456;
        EXPECT_EQ(AddPreprocObject(applet, PREPROC_DISPLAY, id, "", 0, 0, line, 1, &d), 0);
        PreprocObject *o = applet->objects;
        while (o->next) o = o->next;
        return (DisplayDecl *)o->block;
    }
};

const char *DefaultDisplay = "createdisplay(1, {active=1, color=0, fillstyle=1, height=480, title=\"Kestrovia\", "
                             "width=640, x=-100000, y=-100000})\n";

TEST_F(PreprocTest, NoDeclarationsGiveTheDefaultDisplay)
{
    ASSERT_EQ(CreatePreprocObjects(L, clargs, applet), 0);
    EXPECT_EQ(Calls, DefaultDisplay);
    EXPECT_EQ(applet->objects, nullptr);   // the declarations are freed
}

TEST_F(PreprocTest, GlobalDisplayOptionsAreMergedUnlessDeclaredOrReset)
{
    applet->displayFlags = DISPF_BORDERLESS | DISPF_SIZEABLE;
    DisplayDecl *two = Display(2, 7);
    two->givenMask = DISPF_BORDERLESS;   // the applet set (and cleared) borderless itself
    ASSERT_EQ(CreatePreprocObjects(L, clargs, applet), 0);
    EXPECT_EQ(Calls, "createdisplay(2, {color=1193046, fillstyle=1, height=50, sizeable=1, title=\"Two\", width=100, "
                     "x=5, y=6})\n"
                     "createdisplay(1, {active=1, borderless=1, color=0, fillstyle=1, height=480, sizeable=1, "
                     "title=\"Kestrovia\", width=640, x=-100000, y=-100000})\n");

    // Section 0x1d (reset display settings) keeps the option out.
    Calls.clear();
    applet->noGlobalDisplaySettings = 1;
    ASSERT_EQ(CreatePreprocObjects(L, clargs, applet), 0);
    EXPECT_EQ(Calls, DefaultDisplay);
}

TEST_F(PreprocTest, DisplayFlagsBGPicAndRegions)
{
    DisplayDecl *d = Display(1, 3);
    d->flags = DISPF_BGPIC | DISPF_LAYERSCALE | DISPF_HIDDEN;
    d->bgpicId = 9;
    d->scaleWidth = 320;
    d->scaleHeight = 240;
    d->dragRegionCount = 1;
    d->dragRegions[0] = {14, 1, 2, 3, 4};
    ASSERT_EQ(CreatePreprocObjects(L, clargs, applet), 0);
    EXPECT_EQ(Calls, "createdisplay(1, {bgpic=9, dragregion={0={height=4, type=14, width=3, x=1, y=2}}, hidden=1, "
                     "scaleheight=240, scalemode=2, scalewidth=320, title=\"Two\", x=5, y=6})\n");
}

TEST_F(PreprocTest, SharedPictureFilesUseTheCacheAndLinkedFilesTheirVirtualNames)
{
    PictureDeclBlock b;
    memset(&b, 0, sizeof b);
    b.globalAlpha = -1;
    ASSERT_EQ(AddPreprocObject(applet, PREPROC_BRUSH, 1, "/tmp/pic.png", 0xFFFFFFFF, 0, 2, 1, &b), 0);
    ASSERT_EQ(AddPreprocObject(applet, PREPROC_BRUSH, 2, "/TMP/PIC.PNG", 0xFFFFFFFF, 1, 3, 1, &b), 0);
    ASSERT_EQ(AddPreprocObject(applet, PREPROC_FILE, 3, "/tmp/data.txt", 0, 0, 4, 1, nullptr), 0);
    PreprocObject *file = applet->objects->next->next;
    file->linkOffset = 100;
    file->linkSize = 20;
    ASSERT_EQ(CreatePreprocObjects(L, clargs, applet), 0);
    EXPECT_EQ(Calls, "loadbrush(1, \"/tmp/pic.png\", {cache=\"/tmp/pic.png\", cachealpha=1, height=0, loadalpha=0, "
                     "transparency=4294967295, width=0, x=0, y=0})\n"
                     "loadbrush(2, \"/TMP/PIC.PNG\", {cachedload=\"/TMP/PIC.PNG\", height=0, loadalpha=1, "
                     "transparency=4294967295, width=0, x=0, y=0})\n"
                     "openfile(3, \":::chunk100:20*data.txt//tmp/applet.kva\", 1005)\n" +
                         std::string(DefaultDisplay));
}

TEST_F(PreprocTest, AReturnedErrorNamesTheLineAndCommand)
{
    Display(1, 12);
    FailWith = 1055;
    EXPECT_EQ(CreatePreprocObjects(L, clargs, applet), 1055);
    EXPECT_EQ(ErrorLine, 12);
    EXPECT_STREQ(GetErrorCommandName(), "CreateDisplay");
    SetErrorCommandName(nullptr);
}

TEST_F(PreprocTest, AKindWithoutItsCommandIsRefused)
{
    ASSERT_EQ(AddPreprocObject(applet, PREPROC_SAMPLE, 1, "/tmp/a.wav", 0, 0, 2, 1, nullptr), 0);
    EXPECT_EQ(CreatePreprocObjects(L, clargs, applet), 1064);
    EXPECT_EQ(Calls, "");
}

}  // namespace
