// The applet container reader: sections, declaration layouts by version, malformed containers,
// packed and appended applets, linked files and labels.
#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/packfile.h"
#include "runtime/player.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "tests/common/small_disk.h"
#include "tests/runtime/applet_fixture.h"

namespace {

class AppletTest : public ::testing::Test {
protected:
    std::string dir;
    char savedCwd[PATH_MAX];
    lua_State *L = nullptr;
    ClArgsRecord *clargs = nullptr;
    AppletRecord *applet = nullptr;

    void SetUp() override
    {
        ASSERT_NE(getcwd(savedCwd, sizeof savedCwd), nullptr);
        char tmpl[] = "/tmp/kvapplet.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        L = lua_open();
        ASSERT_NE(L, nullptr);
        clargs = (ClArgsRecord *)MemAlloc(sizeof(ClArgsRecord), 1);
        applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
        SetAppletDisplayDefaults(applet);
        RuntimeSettings.quiet = 1;
        AppendedAppletOffset = 0;
    }
    void TearDown() override
    {
        SetLinkedFiles(nullptr, 0, nullptr);
        FreeAppletContents(applet);
        MemFree(applet);
        MemFree(clargs);
        lua_close(L);
        DeleteTempFiles();
        AppendedAppletOffset = 0;
        RuntimeSettings.quiet = 0;
        ASSERT_EQ(chdir(savedCwd), 0);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string P(const std::string &name) { return dir + "/" + name; }

    int Load(const std::string &data, const char *name = "t.kva")
    {
        WriteFileBytes(P(name), data);
        snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s", P(name).c_str());
        return LoadScriptFile(clargs, applet, L);
    }

    double Label(const char *name)
    {
        lua_pushstring(L, "labels");
        lua_rawget(L, LUA_REGISTRYINDEX);
        if (lua_type(L, -1) != LUA_TTABLE) {
            lua_pop(L, 1);
            return -1;
        }
        lua_pushstring(L, name);
        lua_rawget(L, -2);
        double v = lua_type(L, -1) == LUA_TNUMBER ? lua_tonumber(L, -1) : -1;
        lua_pop(L, 2);
        return v;
    }
};

PreprocObject *Nth(AppletRecord *a, int n)
{
    PreprocObject *o = a->objects;
    while (o && n-- > 0) o = o->next;
    return o;
}

TEST_F(AppletTest, MinimalAppletLoads)
{
    ASSERT_EQ(Load(Applet("")), 0);
    EXPECT_EQ(clargs->isApplet, 1u);
    EXPECT_EQ(applet->bytecodeLength, MinimalBytecode().size());
    EXPECT_EQ(std::string((char *)applet->bytecode, applet->bytecodeLength), MinimalBytecode());
    EXPECT_EQ(applet->objects, nullptr);
    // The running code is an applet.
    lua_pushstring(L, "script");
    lua_rawget(L, LUA_REGISTRYINDEX);
    EXPECT_STREQ(lua_tostring(L, -1), ":none:");
    lua_pop(L, 1);
    // The path became absolute and the current directory the script's.
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.c_str(), real), nullptr);
    EXPECT_STREQ(cwd, real);
    EXPECT_EQ(clargs->scriptPath[0], '/');
}

struct MalformedCase {
    const char *what;
    std::string data;
    int code;
    const char *errorString;  // nullptr: not checked
};

TEST_F(AppletTest, MalformedContainersGiveTheirErrors)
{
    std::string kva("KVA\0", 4);
    std::string big(300, 'n');
    const MalformedCase cases[] = {
        {"empty file", "", 1211, "t.kva"},
        {"magic only", kva, 1211, "t.kva"},
        {"wrong magic", std::string("KVB\0\x01\0\0\0\0", 9), 1211, "t.kva"},
        {"plain script text", "Print(\"hello\")\n", 1211, "t.kva"},
        {"unknown tag", kva + "\x7f", 1210, nullptr},
        {"unknown tag 0x1f", kva + "\x1f", 1210, nullptr},
        {"no bytecode section", kva + "\x07", 1198, nullptr},
        {"truncated colour", kva + "\x05\x01\x02", 1198, nullptr},
        {"truncated version", kva + "\x0a\x04", 1198, nullptr},
        {"bytecode longer than file", kva + std::string("\x01\x00\x00\x10\x00", 5) + "abc", 1198, nullptr},
        {"bytecode length 0xffffffff", kva + std::string("\x01\xff\xff\xff\xff", 5), 1198, nullptr},
        {"skip section beyond end", kva + std::string("\x00\x7f\xff\xff\xff", 5), 1198, nullptr},
        {"version 4.8", kva + std::string("\x0a\x04\x08", 3), 1209, "4.8"},
        {"version 5.0", kva + std::string("\x0a\x05\x00", 3), 1209, "5.0"},
        {"negative 16-bit skip length", kva + std::string("\x04\xff\xfe", 3) + "xyz", 1198, nullptr},
        {"unterminated label", kva + std::string("\x09\0\0\0\x01\0\0\0\0", 9) + "abc", 1198, nullptr},
        {"label name too long", kva + std::string("\x09\0\0\0\x01\0\0\0\0", 9) + big + std::string(1, 0), 1210, nullptr},
        {"info text too long", kva + "\x0b" + big + std::string(1, 0), 1210, nullptr},
        {"source file name unterminated", kva + std::string("\x08\0\0\0\x01\0\0\0\x01\0\0\0\x02\0\0\0\0", 17) + "x.kvs", 1198, nullptr},
        {"backfill kind 9", kva + "\x11\x09", 1210, nullptr},
        {"truncated flag section", kva + "\x12", 1198, nullptr},
        {"huge linked file count", kva + std::string("\x1a\xff\xff\xff\xff\0\0\0\0", 9) + "a" + std::string(1, 0), 1198, nullptr},
        {"linked data beyond end", kva + std::string("\x1a\0\0\0\x01\0\0\0\0", 9) + "a" + std::string(1, 0) + std::string("\0\0\x10\0", 4) + "abc", 1198, nullptr},
        {"linked data elsewhere outside", kva + std::string("\x1a\0\0\0\x01\0\0\0\0", 9) + "a" + std::string(1, 0) + std::string("\xff\xff\xff\xff\0\0\0\x10\x7f\0\0\0", 12), 1210, nullptr},
    };
    for (const MalformedCase &c : cases) {
        SCOPED_TRACE(c.what);
        FreeAppletContents(applet);
        clargs->isApplet = 0;
        SetErrorString("");
        EXPECT_EQ(Load(c.data), c.code);
        if (c.errorString) {
            EXPECT_STREQ(GetErrorArgString(), c.errorString);
        }
    }
}

TEST_F(AppletTest, MissingFileIs1213)
{
    snprintf(clargs->scriptPath, sizeof clargs->scriptPath, "%s", P("absent.kva").c_str());
    EXPECT_EQ(LoadScriptFile(clargs, applet, L), 1213);
    EXPECT_STREQ(GetErrorArgString(), P("absent.kva").c_str());
}

TEST_F(AppletTest, VersionsUpTo47AreAcceptedAndLaterSectionsIgnored)
{
    ASSERT_EQ(Load(Applet(std::string("\x0a\x04\x07", 3))), 0);
    FreeAppletContents(applet);
    // Anything behind the bytecode section is never read, however malformed.
    ASSERT_EQ(Load(Applet("") + "\x7f\x0a\x09\x09\x01\xff"), 0);
}

// One declaration of section 0x02 (without its block).
Bytes Decl(unsigned type, uint32_t id, uint32_t nameOffset, uint32_t nameLength, uint32_t linkOffset = 0,
           uint32_t linkSize = 0, uint32_t p1 = 0, uint32_t p2 = 0, uint32_t line = 0)
{
    Bytes b;
    b.u8(type).u32(id).u32(nameOffset).u32(nameLength).u32(linkOffset).u32(linkSize).u32(p1).u32(p2).u32(line);
    return b;
}

TEST_F(AppletTest, DeclarationsFollowTheFormatVersion)
{
    // The names lie in a skipped section at known offsets: "KVA\0" (4 bytes), then section
    // 0x00 (tag and length, 5 bytes) holding the names.
    std::string names = std::string("pic.png\0", 8) + std::string("anim.gif\0", 9) + std::string("font\0", 5);
    Bytes s;
    s.u8(0x00).u32((uint32_t)names.size()).raw(names);
    const uint32_t picName = 4 + 5, animName = picName + 8, fontName = animName + 9;

    // Before any version section: the oldest layout (no BGPic block, no anim fields).
    Bytes oldDecls;
    oldDecls.u8(0x02).u32(3);
    oldDecls.raw(Decl(0, 1, picName, 8, 0, 0, 0xffffffff, 1, 10).s);
    oldDecls.raw(Decl(2, 2, animName, 9, 0, 0, 0, 0, 11).s);
    oldDecls.raw(Decl(1, 3, picName, 8, 0, 0, 5, 0, 12).s).u16(10).u16(20).u16(0xfffb).u16(7).u16(0xffff);

    // Version 4.7: BGPic block, anim with from-disk flag and size fields, display block.
    Bytes newDecls;
    newDecls.u8(0x0a).u8(4).u8(7).u8(0x02).u32(4);
    newDecls.raw(Decl(0, 4, picName, 8, 0, 0, 0, 0, 20).s)
        .u8(2).u32(0x112233).u32(0x445566).u16(0xffa6).u32(9).u32(1).u32(2);
    newDecls.raw(Decl(2, 5, animName, 9, 0, 0, 0, 0, 21).s).u8(1).u16(32).u16(48).u16(4).u16(2).u16(0).u16(0);
    newDecls.raw(Decl(9, 6, fontName, 5, 0, 0, 24, 0x10002, 22).s);
    newDecls.raw(Decl(10, 2, 0, 0, 0, 0, 0, 0, 23).s)
        .u32(0).u32(10).u32(20).u32(320).u32(200).u32(0xff00ff).u32(DISPF_BORDERLESS).u32(DISPF_BORDERLESS)
        .u32(0).u32(0)
        .u32(2).u32(1).u32(0).u32(0).u32(10).u32(10).u32(2).u32(5).u32(5).u32(1).u32(1)
        .u32(0)
        .u16(5).raw("Hello")
        .u8(3).u32(0x0000ff).u16(45).u32(8).u32(3).u32(4);

    ASSERT_EQ(Load(Applet(s.s + oldDecls.s + newDecls.s)), 0);

    PreprocObject *bg = Nth(applet, 0);
    ASSERT_NE(bg, nullptr);
    EXPECT_EQ(bg->type, PREPROC_BGPIC);
    EXPECT_EQ(bg->id, 1u);
    EXPECT_EQ(bg->param1, 0xffffffffu);
    EXPECT_EQ(bg->line, 10);
    EXPECT_EQ(bg->fileName[0], '/');
    EXPECT_STREQ(GetFilePart(bg->fileName), "pic.png");
    EXPECT_EQ(((BGPicDeclBlock *)bg->block)->fillStyle, 0);
    EXPECT_EQ(std::string(bg->containerPath), std::string(clargs->scriptPath));

    PreprocObject *anim = Nth(applet, 1);
    ASSERT_NE(anim, nullptr);
    PictureDeclBlock *ab = (PictureDeclBlock *)anim->block;
    EXPECT_EQ(ab->width, 0);
    EXPECT_EQ(ab->frames, 0);
    EXPECT_EQ(ab->globalAlpha, 0);

    PreprocObject *brush = Nth(applet, 2);
    ASSERT_NE(brush, nullptr);
    PictureDeclBlock *bb = (PictureDeclBlock *)brush->block;
    EXPECT_EQ(bb->width, 10);
    EXPECT_EQ(bb->height, 20);
    EXPECT_EQ(bb->x, -5);
    EXPECT_EQ(bb->y, 7);
    EXPECT_EQ(bb->globalAlpha, -1);

    PreprocObject *bg2 = Nth(applet, 3);
    ASSERT_NE(bg2, nullptr);
    BGPicDeclBlock *b2 = (BGPicDeclBlock *)bg2->block;
    EXPECT_EQ(b2->fillStyle, 2);
    EXPECT_EQ(b2->color1, 0x112233u);
    EXPECT_EQ(b2->color2, 0x445566u);
    EXPECT_EQ(b2->gradientAngle, -90);
    EXPECT_EQ(b2->textureY, 2);

    PreprocObject *anim2 = Nth(applet, 4);
    PictureDeclBlock *a2 = (PictureDeclBlock *)anim2->block;
    EXPECT_EQ(a2->fromDisk, 1);
    EXPECT_EQ(a2->width, 32);
    EXPECT_EQ(a2->height, 48);
    EXPECT_EQ(a2->frames, 4);
    EXPECT_EQ(a2->framesPerRow, 2);

    PreprocObject *font = Nth(applet, 5);
    EXPECT_EQ(font->type, PREPROC_FONT);
    EXPECT_STREQ(font->fileName, "font");  // fonts keep their name
    EXPECT_EQ(font->param2, 0x10002u);

    PreprocObject *disp = Nth(applet, 6);
    ASSERT_NE(disp, nullptr);
    DisplayDecl *d = (DisplayDecl *)disp->block;
    EXPECT_STREQ(d->title, "Hello");
    EXPECT_EQ(d->x, 10);
    EXPECT_EQ(d->width, 320);
    EXPECT_EQ(d->color, 0xff00ffu);
    EXPECT_EQ(d->dragRegionCount, 2);
    EXPECT_EQ(d->dragRegions[0].type, 1);
    EXPECT_EQ(d->dragRegions[0].width, 10);
    EXPECT_EQ(d->dragRegions[1].type, 2);
    EXPECT_EQ(d->dragRegions[1].x, 5);
    EXPECT_EQ(d->sizeRegionCount, 0);
    EXPECT_EQ(d->fillStyle, 3);
    EXPECT_EQ(d->gradientAngle, 45);
    EXPECT_EQ(d->textureY, 4);
    EXPECT_EQ(Nth(applet, 7), nullptr);
}

TEST_F(AppletTest, DeclarationFieldsAreRangeChecked)
{
    struct Case {
        const char *what;
        std::string sections;
        int code;
    } cases[] = {
        {"name beyond the file", Bytes().u8(0x02).u32(1).raw(Decl(8, 1, 100000, 5).s).s, 1210},
        {"name length beyond the file", Bytes().u8(0x02).u32(1).raw(Decl(8, 1, 4, 0xfffffff0).s).s, 1210},
        {"linked data beyond the file", Bytes().u8(0x02).u32(1).raw(Decl(8, 1, 0, 0, 10, 0x7fffffff).s).s, 1210},
        {"unknown type", Bytes().u8(0x02).u32(1).raw(Decl(11, 1, 0, 0).s).s, 1210},
        {"title too long", Bytes().u8(0x02).u32(1).raw(Decl(10, 1, 0, 0).s).u32(0).u32(0).u32(0).u32(0).u32(0)
             .u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u16(0xffff).raw(std::string(300, 't')).s, 1210},
        {"too many regions", Bytes().u8(0x02).u32(1).raw(Decl(10, 1, 0, 0).s).u32(0).u32(0).u32(0).u32(0).u32(0)
             .u32(0).u32(0).u32(0).u32(0).u32(0).u32(65).raw(std::string(65 * 20, '\0')).s, 1210},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FreeAppletContents(applet);
        EXPECT_EQ(Load(Applet(c.sections)), c.code);
    }
    // A declaration cut short by the end of the file.
    FreeAppletContents(applet);
    EXPECT_EQ(Load(std::string("KVA\0", 4) + Bytes().u8(0x02).u32(2).raw(Decl(3, 1, 0, 0).s).u8(1).u32(2).s), 1198);
}

TEST_F(AppletTest, DisplaySectionsEditOneDefaultDisplay)
{
    Bytes s;
    s.u8(0x03).u16(800).u16(600);          // size
    s.u8(0x05).u32(0x123456);              // colour
    s.u8(0x06).u32(0xfffffff6).u32(30);    // position (-10, 30)
    s.u8(0x12).u8(1);                      // borderless
    s.u8(0x13).u8(0);                      // fixed: given, not set
    s.u8(0x1c).u8(1).u32(400).u32(300).u8(1);
    s.u8(0x1e).u8(1);                      // no hide
    s.u8(0x16).u16(1024).u16(768);
    s.u8(0x17).u8(24);
    s.u8(0x10).u8(2);
    s.u8(0x15).u8(1);
    s.u8(0x07);
    s.u8(0x11).u8(4).u32(7).u32(100).u32(200).u32(0xff).u32(0xff00).u8(1);
    ASSERT_EQ(Load(Applet(std::string("\x0a\x04\x00", 3) + s.s)), 0);
    PreprocObject *o = applet->objects;
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->next, nullptr);
    EXPECT_EQ(o->type, PREPROC_DISPLAY);
    EXPECT_EQ(o->id, 1u);
    DisplayDecl *d = (DisplayDecl *)o->block;
    EXPECT_STREQ(d->title, "Kestrovia");
    EXPECT_EQ(d->width, 800);
    EXPECT_EQ(d->height, 600);
    EXPECT_EQ(d->color, 0x123456u);
    EXPECT_EQ(d->x, -10);
    EXPECT_EQ(d->y, 30);
    EXPECT_EQ(d->fillStyle, 1);
    EXPECT_EQ(d->flags, (uint32_t)(DISPF_ACTIVE | DISPF_BORDERLESS | DISPF_LAYERSCALE | DISPF_SMOOTHSCALE | DISPF_NOHIDE));
    EXPECT_TRUE(d->givenMask & DISPF_FIXED);
    EXPECT_TRUE(d->givenMask & DISPF_BORDERLESS);
    EXPECT_TRUE(d->givenMask & DISPF_LAYERSCALE);
    EXPECT_EQ(d->scaleWidth, 400);
    EXPECT_EQ(applet->scrWidth, 1024);
    EXPECT_EQ(applet->scrHeight, 768);
    EXPECT_EQ(applet->depth, 24);
    EXPECT_EQ(applet->displayMode, 2);
    EXPECT_EQ(applet->titleBarWord, 1);
    EXPECT_EQ(applet->desktopSizedFirstDisplay, 1);
    EXPECT_EQ(applet->backfillKind, 4);
    EXPECT_EQ(applet->backfillBrushId, 7u);
    EXPECT_EQ(applet->backfillPicX, 100);
    EXPECT_EQ(applet->backfillEndColor, 0xff00);
    EXPECT_EQ(applet->scalePicture, 1);

    // Section 0x1d resets the display settings and marks that the options do not apply.
    FreeAppletContents(applet);
    ASSERT_EQ(Load(Applet(Bytes().u8(0x16).u16(1).u16(2).u8(0x1d).s)), 0);
    EXPECT_EQ(applet->scrWidth, -1);
    EXPECT_EQ(applet->backfillPicX, -100000);
    EXPECT_EQ(applet->noGlobalDisplaySettings, 1);
}

TEST_F(AppletTest, SourceRangesLabelsInfoTextsAndLinkedFiles)
{
    Bytes s;
    s.u8(0x08).u32(2).u32(1).u32(10).u32(0).cstr("main.kvs").u32(11).u32(20).u32(5).cstr("inc.kvs");
    s.u8(0x1b).u32(1).u32(21).u32(30).u32(0).cstr("other.kvs").cstr("othersource");
    s.u8(0x09).u32(2).u32(0).cstr("start").u32(3).cstr("loop");
    s.u8(0x0b).cstr("Title").u8(0x0f).cstr("Description");
    size_t dataPos = 4 + s.size() + 1 + 4 + 4 + 13 + 4;  // position of the inline data
    s.u8(0x1a).u32(2).u32(0).cstr("a/b/data.txt").u32(5).raw("HELLO").cstr("::font:Sans").u32(0xffffffff).u32(3).u32(4);
    ASSERT_EQ(Load(Applet(s.s, MinimalBytecode(4))), 0);

    SourceRange *r = applet->sourceRanges;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->firstLine, 1);
    EXPECT_STREQ(r->fileName, "main.kvs");
    EXPECT_STREQ(r->sourceName, clargs->scriptPath);
    ASSERT_NE(r->next, nullptr);
    EXPECT_EQ(r->next->lineOffset, 5);
    ASSERT_NE(r->next->next, nullptr);
    EXPECT_STREQ(r->next->next->sourceName, "othersource");

    EXPECT_EQ(Label("start"), 0);
    EXPECT_EQ(Label("loop"), 3);
    EXPECT_STREQ(applet->infoTexts[0], "Title");
    EXPECT_STREQ(applet->infoTexts[4], "Description");

    LinkedFileEntry *e = applet->linkedFiles;
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->name, "a/b/data.txt");
    EXPECT_EQ(e->offset, (int32_t)dataPos);
    EXPECT_EQ(e->size, 5u);
    ASSERT_NE(e->next, nullptr);
    EXPECT_STREQ(e->next->name, "::font:Sans");
    EXPECT_EQ(e->next->offset, 4);
    EXPECT_EQ(e->next->size, 3u);

    // The file layer reads the linked file from the applet.
    const char *vname = ResolveLinkedFile(L, "A/B/DATA.TXT", 0, nullptr);
    FileHandle *fh = FOpen(vname, FMODE_READ);
    ASSERT_NE(fh, nullptr);
    char buf[16] = {0};
    EXPECT_EQ(FRead(fh, buf, sizeof buf), 5u);
    FClose(fh);
    EXPECT_STREQ(buf, "HELLO");

    // The labels lie inside the four instructions of the main chunk.
    EXPECT_EQ(CompileScript(L, clargs, applet), 0);
}

// Many small sections, each adding one entry to a list of the record, load in linear time: a
// malformed container of a few megabytes must not keep the player busy for minutes.
TEST_F(AppletTest, ManySmallSectionsLoadQuickly)
{
    const int n = 25000;
    Bytes s;
    for (int i = 0; i < n; i++) {
        s.u8(0x08).u32(1).u32(1).u32(2).u32(0).u8(0);
        s.u8(0x02).u32(1).raw(Decl(8, (uint32_t)i, 0, 0).s);
        s.u8(0x1a).u32(1).u32(0).cstr("f").u32(0);
    }
    s.u8(0x03).u16(10).u16(20);
    time_t begin = time(nullptr);
    ASSERT_EQ(Load(Applet(s.s)), 0);
    EXPECT_LE(time(nullptr) - begin, 3);     // about 10 s when every append walks its list
    int objects = 0, ranges = 0, links = 0;
    for (PreprocObject *o = applet->objects; o; o = o->next) objects++;
    for (SourceRange *r = applet->sourceRanges; r; r = r->next) ranges++;
    for (LinkedFileEntry *e = applet->linkedFiles; e; e = e->next) links++;
    EXPECT_EQ(objects, n + 1);      // the declarations and the default display, in file order
    EXPECT_EQ(ranges, n);
    EXPECT_EQ(links, n);
    EXPECT_EQ(Nth(applet, n - 1)->id, (uint32_t)(n - 1));
    EXPECT_EQ(Nth(applet, n)->type, PREPROC_DISPLAY);
    EXPECT_EQ(((DisplayDecl *)Nth(applet, n)->block)->height, 20);
}

TEST_F(AppletTest, LabelOutsideTheMainChunkIsRefused)
{
    for (uint32_t value : {1u, 100u, 0xffffffffu}) {
        SCOPED_TRACE(value);
        FreeAppletContents(applet);
        lua_settop(L, 0);
        lua_pushstring(L, "labels");
        lua_pushnil(L);
        lua_rawset(L, LUA_REGISTRYINDEX);
        ASSERT_EQ(Load(Applet(Bytes().u8(0x09).u32(2).u32(0).cstr("ok").u32(value).cstr("bad").s)), 0);
        EXPECT_EQ(CompileScript(L, clargs, applet), 1210);
    }
}

// An applet behind other bytes, as it is appended to the player: the locator's offset says
// where it starts.
TEST_F(AppletTest, AppendedAppletPlainAndPackedReadsItsLinkedFile)
{
    Bytes s;
    s.u8(0x1a).u32(1).u32(0).cstr("data.txt").u32(11).raw("linked data");
    std::string appletBytes = Applet(s.s);
    std::string exe(5000, 'E');

    // Plain.
    AppendedAppletOffset = (uint32_t)exe.size();
    ASSERT_EQ(Load(exe + appletBytes, "player"), 0);
    EXPECT_EQ(applet->appletStart, (int64_t)exe.size());
    EXPECT_EQ(AppendedAppletOffset, (uint32_t)exe.size());
    {
        FileHandle *fh = FOpen(ResolveLinkedFile(L, "data.txt", 0, nullptr), FMODE_READ);
        ASSERT_NE(fh, nullptr);
        char buf[32] = {0};
        EXPECT_EQ(FRead(fh, buf, sizeof buf), 11u);
        FClose(fh);
        EXPECT_STREQ(buf, "linked data");
    }

    // Packed: "KVZ\0", 4 zero bytes and the zlib stream of the applet.
    SetLinkedFiles(nullptr, 0, nullptr);
    FreeAppletContents(applet);
    clargs->isApplet = 0;
    WriteFileBytes(P("plain.kva"), appletBytes);
    ASSERT_EQ(DeflateFile("KVZ\0", P("plain.kva").c_str(), P("packed.kvz").c_str(), nullptr), 0);
    std::string packed = ReadFileBytes(P("packed.kvz"));
    AppendedAppletOffset = (uint32_t)exe.size();
    ASSERT_EQ(Load(exe + packed, "player2"), 0);
    EXPECT_EQ(applet->appletStart, 0);
    // The base that later steps add to linked-data offsets is 0 for the unpacked copy too.
    EXPECT_EQ(AppendedAppletOffset, 0u);
    std::string unpacked = clargs->scriptPath;
    EXPECT_NE(unpacked, P("player2"));
    EXPECT_EQ(ReadFileBytes(unpacked), appletBytes);
    {
        FileHandle *fh = FOpen(ResolveLinkedFile(L, "data.txt", 0, nullptr), FMODE_READ);
        ASSERT_NE(fh, nullptr);
        char buf[32] = {0};
        EXPECT_EQ(FRead(fh, buf, sizeof buf), 11u);
        FClose(fh);
        EXPECT_STREQ(buf, "linked data");
    }
    // The temporary file goes at shutdown.
    DeleteTempFiles();
    struct stat st;
    EXPECT_NE(stat(unpacked.c_str(), &st), 0);
}

// An error raised outside every protected call ends the process at once (status 1); the
// temporary files are deleted on that way out too.
TEST_F(AppletTest, TemporaryFilesGoWhenTheProcessEndsAbruptly)
{
    std::string path = P("unpacked.tmp");
    WriteFileBytes(path, "x");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        AddTempFile(path.c_str());
        exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0);
}

TEST_F(AppletTest, PackedAppletWithCorruptStream)
{
    WriteFileBytes(P("plain.kva"), Applet(""));
    ASSERT_EQ(DeflateFile("KVZ\0", P("plain.kva").c_str(), P("packed.kvz").c_str(), nullptr), 0);
    std::string packed = ReadFileBytes(P("packed.kvz"));
    packed.resize(packed.size() - 6);
    EXPECT_EQ(Load(packed), 1309);
}

// A packed applet unpacked into a full temporary folder fails with the write error, and one
// whose temporary file cannot be made there names that file.
TEST_F(AppletTest, PackedAppletInAFullOrReadOnlyTemporaryFolder)
{
    std::string tmp = P("tmp");
    if (!MountSmallDisk(tmp, 64)) GTEST_SKIP() << "no small disk (needs root)";
    WriteFileBytes(P("plain.kva"), Applet(""));
    ASSERT_EQ(DeflateFile("KVZ\0", P("plain.kva").c_str(), P("packed.kvz").c_str(), nullptr), 0);
    std::string packed = ReadFileBytes(P("packed.kvz"));
    ASSERT_EQ(1, FillDisk(tmp, 0));
    const char *saved = getenv("TMPDIR");
    std::string previousTmp = saved ? saved : "";
    setenv("TMPDIR", tmp.c_str(), 1);
    EXPECT_EQ(Load(packed), 1005);
    ASSERT_EQ(1, MakeDiskReadOnly(tmp));
    EXPECT_EQ(Load(packed), 1052);
    std::string named = GetErrorArgString();
    if (saved) setenv("TMPDIR", previousTmp.c_str(), 1);
    else unsetenv("TMPDIR");
    EXPECT_EQ(0u, named.find(tmp + "/kestrovia-")) << named;
    DeleteTempFiles();
    umount2(tmp.c_str(), MNT_DETACH);
}

TEST_F(AppletTest, LocatorHoldsTheNoAppletMark)
{
    EXPECT_EQ(ReadAppletLocatorOffset(), 0xdeadc0deu);
    EXPECT_EQ(AppletLocator[0], 'K');
    EXPECT_EQ(AppletLocator[8], 'Q');
    EXPECT_EQ(AppletLocator[51], 0x1a);
    EXPECT_EQ(AppletLocator[52], 0);
}

TEST_F(AppletTest, DefaultDisplayDeclaration)
{
    ASSERT_EQ(AddDefaultDisplayDecl(applet, ""), 0);
    ASSERT_EQ(AddDefaultDisplayDecl(applet, "My title"), 0);
    DisplayDecl *d = (DisplayDecl *)applet->objects->block;
    EXPECT_STREQ(d->title, "Kestrovia");
    EXPECT_EQ(d->x, -100000);
    EXPECT_EQ(d->y, -100000);
    EXPECT_EQ(d->width, 640);
    EXPECT_EQ(d->height, 480);
    EXPECT_EQ(d->fillStyle, 1);
    EXPECT_EQ(d->flags, (uint32_t)DISPF_ACTIVE);
    EXPECT_EQ(applet->objects->param1, 0xffffffffu);
    EXPECT_STREQ(((DisplayDecl *)applet->objects->next->block)->title, "My title");
}

}  // namespace
