// Opening fonts through the cache: default names, the built-in font, case-blind sharing, the
// error cases, linked font files with their flags header, disk fonts in "Fonts", the font
// commands with their objects, and GetAttribute's font answers.
#include <gtest/gtest.h>

#include <dirent.h>

#include <functional>
#include <set>
#include <string>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "tests/text/font_fixtures.h"
#include "tests/text/text_fixture.h"
#include "text/font.h"
#include "text/font_manager.h"
#include "text/text_lib.h"

namespace {

using namespace fontfix;

class FontCache : public textfix::TextTest {
protected:
    static void SetUpTestSuite()
    {
        Dir() = UseTestFontFolder(KV_BINARY_DIR, "cache");
        std::string tmp = Dir() + "/tmp";
        mkdir(tmp.c_str(), 0755);
        setenv("TMPDIR", tmp.c_str(), 1);
    }
    static std::string &Dir()
    {
        static std::string dir;
        return dir;
    }
    void TearDown() override
    {
        TextTest::TearDown();
        SetLinkedFiles(nullptr, 0, nullptr);
    }
    FontHandle *Open(const char *name, int size, int engine = FONTENGINE_NATIVE, int linked = 0, int *code = nullptr)
    {
        FontHandle *font = nullptr;
        int c = OpenCachedFont(name, size, engine, 1, linked, &font);
        if (code) *code = c;
        return c ? nullptr : font;
    }
};

TEST_F(FontCache, DefaultNamesOpenTheCompiledInFonts)
{
    FontHandle *sans = Open(":::default_sans", 20);
    ASSERT_NE(nullptr, sans);
    EXPECT_EQ(FONTKIND_INBUILT, sans->kind);
    EXPECT_EQ(20, sans->lineHeight);
    EXPECT_STREQ("Bitstream Vera Sans", sans->name);
    EXPECT_EQ(sans, Open(":::default_truetype", 20));
    EXPECT_EQ(sans, Open("bitstream vera SANS", 20, FONTENGINE_INBUILT));
    EXPECT_NE(sans, Open(":::default_sans", 21));
    FontHandle *serif = Open(":::default_serif", 20), *mono = Open(":::default_mono", 20);
    ASSERT_TRUE(serif && mono);
    EXPECT_STREQ("Bitstream Vera Serif", serif->name);
    EXPECT_STREQ("Bitstream Vera Sans Mono", mono->name);
    // A hit resets the scale.
    SetFontScale(sans, 2.0, 2.0);
    EXPECT_EQ(40, sans->lineHeight);
    EXPECT_EQ(sans, Open(":::default_sans", 20));
    EXPECT_EQ(1.0, sans->xScale);
    EXPECT_EQ(20, sans->lineHeight);
}

TEST_F(FontCache, BuiltinFontAndOpeningErrors)
{
    EXPECT_EQ(GetBuiltinFont(), Open("Topaz", 8));
    EXPECT_EQ(GetBuiltinFont(), Open(":::default_bitmap", 8));
    EXPECT_EQ(GetBuiltinFont(), GetCurrentFont());
    int code;
    EXPECT_EQ(nullptr, Open("Topaz", 9, FONTENGINE_NATIVE, 0, &code));
    EXPECT_EQ(1064, code);
    EXPECT_STREQ("Cannot open font Topaz with size 9!", GetErrorArgString());
    struct Case {
        const char *name;
        int size, engine, code;
    } cases[] = {
        {":::default_sans", 0, FONTENGINE_NATIVE, 1064},     // a size below 1
        {":::default_sans", -5, FONTENGINE_INBUILT, 1064},
        {"Fonts/kestrel", 8, FONTENGINE_NATIVE, 1335},       // a path on the native engine
        {"/usr/share/x.ttf", 8, FONTENGINE_NATIVE, 1335},
        {"/nonexistent/x.ttf", 12, FONTENGINE_INBUILT, 1064}, // passed to the inbuilt engine
        {"No Such Face At All", 12, FONTENGINE_NATIVE, 1064},
        {"kestrel", 8, 2, 1064},                             // no such engine
    };
    for (const Case &c : cases) {
        EXPECT_EQ(nullptr, Open(c.name, c.size, c.engine, 0, &code)) << c.name;
        EXPECT_EQ(c.code, code) << c.name;
    }
}

TEST_F(FontCache, DiskFontsInTheFontsFolder)
{
    std::string work = Dir() + "/work";
    mkdir(work.c_str(), 0755);
    ASSERT_TRUE(WriteDiskFont(work + "/Fonts", "kestrel", {8}, ProportionalFont()));
    char *previous = OsChangeDir(work.c_str());
    FontHandle *font = Open("kestrel.font", 8);
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(FONTKIND_BITMAP, font->kind);
    EXPECT_EQ(font, Open("KESTREL", 8));
    EXPECT_EQ(1, FontEngineStyles(GetBuiltinFont(), TEXTSTYLE_BOLD) == 0);
    MemFree(OsChangeDir(previous));
    MemFree(previous);
}

TEST_F(FontCache, SystemFontsOpenInBothEngines)
{
    FontHandle *inbuilt = Open(KV_TEST_SANS " Regular", 24, FONTENGINE_INBUILT);
    ASSERT_NE(nullptr, inbuilt);
    EXPECT_EQ(FONTKIND_INBUILT, inbuilt->kind);
    EXPECT_STREQ(KV_TEST_SANS, inbuilt->name);
    FontHandle *native = Open(KV_TEST_SANS " Regular", 24);
    ASSERT_NE(nullptr, native);
    EXPECT_EQ(FONTKIND_NATIVE, native->kind);
    EXPECT_EQ(1, FontEngineStyles(native, TEXTSTYLE_BOLD));
    EXPECT_EQ(0, FontEngineStyles(native, TEXTSTYLE_UNDERLINED));
    // A face of a resource file (in "Fonts", which fontconfig does not list) opens at its
    // resource base.
    std::string work = Dir() + "/resource";
    mkdir(work.c_str(), 0755);
    mkdir((work + "/Fonts").c_str(), 0755);
    ASSERT_TRUE(WriteFile(work + "/Fonts/r.dfont", ResourceFileOf(RenamedDefaultFont(FamilyStyle(KV_TEST_RESOURCE, "Italic")))));
    char *previous = OsChangeDir(work.c_str());
    FreeFontList();
    FontHandle *resource = Open(KV_TEST_RESOURCE " Italic", 16, FONTENGINE_INBUILT);
    ASSERT_NE(nullptr, resource);
    EXPECT_STREQ(KV_TEST_RESOURCE " Italic", resource->name);
    FreeFontList();
    MemFree(OsChangeDir(previous));
    MemFree(previous);
}

std::set<std::string> TempFiles(const std::string &dir)
{
    std::set<std::string> names;
    DIR *d = opendir(dir.c_str());
    while (dirent *e = d ? readdir(d) : nullptr)
        if (e->d_name[0] != '.') names.insert(e->d_name);
    if (d) closedir(d);
    return names;
}

TEST_F(FontCache, CollectionTemporaryGoesWhenTheFontCloses)
{
    std::string tmp = Dir() + "/tmp";
    size_t before = TempFiles(tmp).size();
    FontHandle *font = Open(KV_TEST_COLLECTION " Bold", 18, FONTENGINE_INBUILT);
    ASSERT_NE(nullptr, font);
    EXPECT_STREQ(KV_TEST_COLLECTION " Bold", font->name);
    EXPECT_EQ(before + 1, TempFiles(tmp).size());
    FreeFontCache();
    EXPECT_EQ(before, TempFiles(tmp).size());
}

// A container of linked fonts: each entry a flags word, for flag 4 a length and that many
// bytes, then the font data.
struct LinkedContainer {
    Bytes bytes;
    LinkedFileEntry *list = nullptr;
    void Add(const char *name, uint32_t flags, int32_t extra, const Bytes &data, uint32_t declared = 0)
    {
        LinkedFileEntry *e = (LinkedFileEntry *)calloc(1, sizeof(LinkedFileEntry));
        snprintf(e->name, sizeof e->name, "::font:%s", name);
        e->offset = (int32_t)bytes.size();
        Put32(bytes, flags);
        if (extra >= 0) {
            Put32(bytes, declared ? declared : (uint32_t)extra);
            bytes.insert(bytes.end(), (size_t)extra, 0x55);
        }
        bytes.insert(bytes.end(), data.begin(), data.end());
        e->size = (uint32_t)(bytes.size() - (size_t)e->offset);
        e->next = list;
        list = e;
    }
    ~LinkedContainer()
    {
        while (list) {
            LinkedFileEntry *next = list->next;
            free(list);
            list = next;
        }
    }
};

TEST_F(FontCache, LinkedFontsWithTheirFlagsHeader)
{
    Bytes face = RenamedDefaultFont(FamilyStyle("Kestrel Linked", "Regular"));
    LinkedContainer c;
    c.Add("outline", 2, -1, face);
    c.Add("outlineextra", 6, 5, face);
    c.Add("badlength", 6, 5, face, 0x7FFFFFF0);
    // A bitmap container: a contents file whose entry names the size file by its linked offset.
    Bytes sizeFile = SizeFile(ProportionalFont());
    c.bytes.insert(c.bytes.end(), 3, 0);
    size_t sizeOffset = c.bytes.size();
    c.bytes.insert(c.bytes.end(), sizeFile.begin(), sizeFile.end());
    std::string entry = ":::chunk" + std::to_string(sizeOffset) + ":" + std::to_string(sizeFile.size()) + "*8/";
    c.Add("bitmapfont", 0, -1, ContentsFile(0x0f00, {{entry, 8}}));
    std::string container = Dir() + "/linked.bin";
    ASSERT_TRUE(WriteFile(container, c.bytes));
    for (LinkedFileEntry *e = c.list; e; e = e->next) snprintf(e->container, sizeof e->container, "%s", container.c_str());
    SetLinkedFiles(c.list, 0, container.c_str());

    auto linked = [&](const char *name, int engine, int *code, int size = 20) {
        int found = 0;
        char resolved[KV_PATH_SIZE];
        snprintf(resolved, sizeof resolved, "%s", ResolveLinkedFile(L, name, 1, &found));
        EXPECT_EQ(1, found) << name;
        return Open(resolved, size, engine, 1, code);
    };
    int code;
    FontHandle *outline = linked("outline", FONTENGINE_INBUILT, &code);
    ASSERT_NE(nullptr, outline) << code;
    EXPECT_EQ(FONTKIND_INBUILT, outline->kind);
    EXPECT_STREQ("Kestrel Linked", outline->name);
    FontHandle *extra = linked("outlineextra", FONTENGINE_INBUILT, &code);
    ASSERT_NE(nullptr, extra) << code;
    EXPECT_EQ(20, extra->lineHeight);
    FontHandle *native = linked("outline", FONTENGINE_NATIVE, &code);
    ASSERT_NE(nullptr, native) << code;
    EXPECT_EQ(FONTKIND_NATIVE, native->kind);
    EXPECT_STREQ("Kestrel Linked", native->name);
    // The skipped length must lie inside the linked file.
    EXPECT_EQ(nullptr, linked("badlength", FONTENGINE_INBUILT, &code));
    EXPECT_EQ(1045, code);
    // A bitmap container opens as a disk font, also when the inbuilt engine was asked for.
    FontHandle *bitmap = linked("bitmapfont.font", FONTENGINE_NATIVE, &code, 8);
    ASSERT_NE(nullptr, bitmap) << code;
    EXPECT_EQ(FONTKIND_BITMAP, bitmap->kind);
    EXPECT_STREQ("bitmapfont", bitmap->name);
    FontHandle *viaInbuilt = linked("bitmapfont", FONTENGINE_INBUILT, &code, 8);
    ASSERT_NE(nullptr, viaInbuilt) << code;
    EXPECT_EQ(FONTKIND_BITMAP, viaInbuilt->kind);
}

TEST_F(FontCache, FontObjectsAndTheirAttributes)
{
    // OpenFont(1, #SANS, 24); CloseFont and reopening share the cached font.
    auto openFont = [&](int id, const char *name, int size) {
        return Run([=](lua_State *L) {
            if (id) lua_pushnumber(L, id);
            else lua_pushnil(L);
            lua_pushstring(L, name);
            lua_pushnumber(L, size);
            return TxOpenFont(L);
        });
    };
    auto fontOf = [&](ObjectId id) {
        FontNode *node = nullptr;
        return FindFont(id, &node) == 0 ? node->font : nullptr;
    };
    ASSERT_EQ(0, openFont(1, ":::default_sans", 24));
    FontHandle *first = fontOf({1, nullptr});
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(0, Run([](lua_State *L) { lua_pushnumber(L, 1); return TxCloseFont(L); }));
    EXPECT_EQ(0, CountFonts());
    ASSERT_EQ(0, openFont(1, ":::default_sans", 24));
    EXPECT_EQ(first, fontOf({1, nullptr}));
    ASSERT_EQ(0, openFont(1, ":::default_sans", 24));   // reopening the same number replaces it
    EXPECT_EQ(1, CountFonts());
    EXPECT_EQ(1, openFont(0, ":::default_mono", 12));    // Nil: the handle is returned
    EXPECT_EQ(2, CountFonts());
    EXPECT_EQ(1064, openFont(3, "Topaz", 9));
    EXPECT_EQ(2, CountFonts());

    // UseFont makes the node's font current and the style normal.
    GetFontSettings()->style = TEXTSTYLE_BOLD;
    EXPECT_EQ(0, Run([](lua_State *L) { lua_pushnumber(L, 1); return TxUseFont(L); }));
    EXPECT_EQ(first, GetCurrentFont());
    EXPECT_EQ(TEXTSTYLE_NORMAL, GetFontSettings()->style);
    EXPECT_EQ(1334, Run([](lua_State *L) { lua_pushnumber(L, 9); return TxUseFont(L); }));
    EXPECT_EQ(9, GetErrorArgNumber());
    int dummy;
    EXPECT_EQ(1041, Run([&](lua_State *L) { lua_pushlightuserdata(L, &dummy); return TxCloseFont(L); }));
    EXPECT_EQ(0, Run([](lua_State *L) { lua_pushnumber(L, 0); return TxFreeGlyphCache(L); }));
    EXPECT_EQ(0, Run([](lua_State *L) { lua_pushnumber(L, 1); lua_pushnumber(L, 1); return TxFreeGlyphCache(L); }));
    EXPECT_EQ(1334, Run([](lua_State *L) { lua_pushnumber(L, 1); lua_pushnumber(L, 5); return TxFreeGlyphCache(L); }));

    // GetAttribute (#FONT, 1, 30..35) and the count.
    struct Want {
        int attribute;
        double number;
        const char *text;
    } wants[] = {{30, (double)first->baseline, nullptr}, {31, (double)(24 - first->baseline), nullptr},
                 {32, 0, "Bitstream Vera Sans"}, {33, 24, nullptr}, {34, 1, nullptr}, {35, 1, nullptr},
                 {60, 2, nullptr}};
    for (const Want &w : wants) {
        std::string text;
        double number = -1;
        ASSERT_EQ(1, Run([&](lua_State *L) {
            int n = GetFontAttribute(L, {1, nullptr}, w.attribute);
            if (lua_isstring(L, -1) && w.text) text = lua_tostring(L, -1);
            else number = lua_tonumber(L, -1);
            return n;
        })) << w.attribute;
        if (w.text) EXPECT_EQ(w.text, text);
        else EXPECT_EQ(w.number, number) << w.attribute;
    }
    EXPECT_GT(first->baseline, 12);
    EXPECT_EQ(1080, Run([](lua_State *L) { return GetFontAttribute(L, {1, nullptr}, 36); }));
    EXPECT_EQ(1334, Run([](lua_State *L) { return GetFontAttribute(L, {5, nullptr}, 30); }));
    // The built-in font's answers.
    EXPECT_EQ(1, Run([](lua_State *L) { return PushFontHandleAttribute(L, GetBuiltinFont(), 31); }));
}

}  // namespace
