// The font manager: faces of plain files, collections and resource files, bitmap contents files,
// name records, style classification, the fontconfig listing, collection extraction, and walks
// through damaged files that must stay inside them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "tests/text/font_fixtures.h"
#include "text/font_manager.h"

namespace {

using namespace fontfix;

const std::string &TestDir()
{
    static std::string dir = UseTestFontFolder(KV_BINARY_DIR, "manager");
    return dir;
}

const SystemFontEntry *Find(const char *fullName)
{
    for (const SystemFontEntry *e = GetFontList(); e; e = e->next)
        if (strcmp(e->fullName, fullName) == 0) return e;
    return nullptr;
}

std::vector<std::string> Names()
{
    std::vector<std::string> names;
    for (const SystemFontEntry *e = GetFontList(); e; e = e->next) names.push_back(e->fullName);
    return names;
}

TEST(FontManager, ScansEveryKindOfFontFile)
{
    FreeFontList();
    ASSERT_EQ(0, ScanFontDirectory((TestDir() + "/faces").c_str(), 0));
    const SystemFontEntry *regular = Find("Kestrel Test Sans Regular");
    const SystemFontEntry *bare = Find("Kestrel Test Sans");
    ASSERT_TRUE(regular && bare);
    EXPECT_EQ(80, regular->weight);
    EXPECT_EQ(0, regular->collectionOffset);
    EXPECT_EQ((int64_t)RenamedDefaultFont(FamilyStyle(KV_TEST_SANS, "Regular")).size(), regular->length);

    const SystemFontEntry *collection = Find("Kestrel Collection Bold");
    ASSERT_TRUE(collection);
    EXPECT_EQ(16, collection->collectionOffset);
    EXPECT_EQ(200, collection->weight);
    EXPECT_EQ(nullptr, Find("Kestrel Collection"));   // Bold is no regular style

    const SystemFontEntry *resource = Find("Kestrel Resource Italic");
    ASSERT_TRUE(resource);
    EXPECT_EQ(260, resource->resourceBase);
    EXPECT_EQ((int64_t)RenamedDefaultFont(FamilyStyle(KV_TEST_RESOURCE, "Italic")).size(), resource->length);
    EXPECT_EQ(100, resource->slant);

    // The German family record (0x0407) is ignored; the English one counts.
    const SystemFontEntry *names = Find("Kestrel Names Light Oblique");
    ASSERT_TRUE(names);
    EXPECT_EQ(50, names->weight);
    EXPECT_EQ(110, names->slant);
    for (const std::string &n : Names()) EXPECT_EQ(std::string::npos, n.find("Deutsch"));

    // Bitmap contents file with the sizes 8, 11, 8.
    const SystemFontEntry *bitmap = Find("kestrel");
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(1, bitmap->bitmap);
    ASSERT_EQ(2, bitmap->sizeCount);
    EXPECT_EQ(8, bitmap->sizes[0]);
    EXPECT_EQ(11, bitmap->sizes[1]);

    // Listing mode leaves the bare family out.
    FreeFontList();
    ScanFontDirectory((TestDir() + "/faces").c_str(), 1);
    EXPECT_NE(nullptr, Find("Kestrel Test Sans Regular"));
    EXPECT_EQ(nullptr, Find("Kestrel Test Sans"));
    FreeFontList();
}

TEST(FontManager, FirstFaceOfANameWins)
{
    FreeFontList();
    ASSERT_EQ(0, AddFontEntry("first.ttf", "Foo", "Bold", 0, 0, 10, 0, nullptr, 0));
    ASSERT_EQ(0, AddFontEntry("second.ttf", "FOO", "bold", 0, 0, 20, 0, nullptr, 0));
    ASSERT_EQ(1u, Names().size());
    EXPECT_STREQ("first.ttf", GetFontList()->path);
    FreeFontList();
}

TEST(FontManager, StyleWords)
{
    struct Case {
        const char *style;
        int weight, slant;
    } cases[] = {{"", 80, 0},           {"Regular", 80, 0},         {"Bold", 200, 0},
                 {"Bold Italic", 200, 100}, {"semi-bold oblique", 180, 110}, {"ULTRA-BLACK", 215, 0},
                 {"Thin", 0, 0},        {"Book", 75, 0},           {"Extra Bold", 200, 0},
                 {"Medium Roman", 100, 0}};
    for (const Case &c : cases) {
        int32_t w, s;
        ClassifyFontStyle(c.style, &w, &s);
        EXPECT_EQ(c.weight, w) << c.style;
        EXPECT_EQ(c.slant, s) << c.style;
    }
    for (const char *r : {"Regular", "PLAIN", "normal", "Book", "roman"}) EXPECT_EQ(1, IsRegularStyleName(r)) << r;
    EXPECT_EQ(0, IsRegularStyleName("Bold"));
}

TEST(FontManager, ListsFontconfigFilesSortedByPath)
{
    TestDir();
    FreeFontList();
    BuildFontList(1);
    std::vector<std::string> names = Names();
    // fontconfig knows the plain file and the collection (sorted by path); the names-only face
    // and the resource file are no fonts to it. "Fonts" does not exist here.
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ("Kestrel Collection Bold", names[0]);
    EXPECT_EQ("Kestrel Test Sans Regular", names[1]);
    FreeFontList();
}

TEST(FontManager, ScansTheFontsFolderOfTheCurrentDirectory)
{
    std::string work = TestDir() + "/cwd";
    mkdir(work.c_str(), 0755);
    ASSERT_TRUE(WriteDiskFont(work + "/Fonts", "local", {9}, ProportionalFont()));
    char *previous = OsChangeDir(work.c_str());
    FreeFontList();
    BuildFontList(1);
    const SystemFontEntry *local = Find("local");
    ASSERT_TRUE(local);
    EXPECT_EQ(1, local->bitmap);
    FreeFontList();
    MemFree(OsChangeDir(previous));
    MemFree(previous);
}

TEST(FontManager, CollectionFaceIsExtractedIntoATemporaryFile)
{
    TestDir();
    FreeFontList();
    int64_t base, length;
    int temporary;
    char *path = FindSystemFont("kestrel collection bold", -1, 0, 0, &base, &length, &temporary);
    ASSERT_NE(nullptr, path);
    EXPECT_EQ(1, temporary);
    FileHandle *fh = FOpen(path, FMODE_READ);
    ASSERT_NE(nullptr, fh);
    char family[FONT_NAME_TEXT_SIZE], style[FONT_NAME_TEXT_SIZE];
    EXPECT_EQ(1, ReadFontNames(fh, family, style, 0));
    EXPECT_STREQ(KV_TEST_COLLECTION, family);
    FClose(fh);
    OsDelete(path);
    MemFree(path);
    // By family, weight and slant; the plain-file flag skips collections.
    path = FindSystemFont(KV_TEST_COLLECTION, 200, 0, 1, &base, &length, &temporary);
    EXPECT_EQ(nullptr, path);
    path = FindSystemFont(KV_TEST_SANS, 80, 0, 1, &base, &length, &temporary);
    ASSERT_NE(nullptr, path);
    EXPECT_EQ(0, temporary);
    MemFree(path);
    EXPECT_EQ(nullptr, FindSystemFont("No Such Face", -1, 0, 0, &base, &length, &temporary));
    FreeFontList();
}

// Damaged files: every truncation and a set of bad offsets must leave the scan inside the file.
TEST(FontManager, DamagedFilesAreSkippedSafely)
{
    std::string dir = TestDir() + "/damaged";
    mkdir(dir.c_str(), 0755);
    const Bytes names = NamesOnlyFace(FamilyStyle("Broken", "Regular"));
    const Bytes ttc = CollectionOf(names);
    const Bytes dfont = ResourceFileOf(names);
    struct Source {
        const char *file;
        const Bytes *bytes;
    } sources[] = {{"/x.ttf", &names}, {"/x.ttc", &ttc}, {"/x.dfont", &dfont}};
    for (const Source &s : sources) {
        for (size_t n = 0; n < s.bytes->size(); n++) {
            unlink((dir + "/x.ttf").c_str());
            unlink((dir + "/x.ttc").c_str());
            unlink((dir + "/x.dfont").c_str());
            ASSERT_TRUE(WriteFile(dir + s.file, Bytes(s.bytes->begin(), s.bytes->begin() + (long)n)));
            FreeFontList();
            ScanFontDirectory(dir.c_str(), 0);
            // Whatever is found carries the real names; a resource cut short is no face.
            for (const std::string &name : Names()) EXPECT_TRUE(name == "Broken Regular" || name == "Broken") << n;
            if (s.bytes == &dfont && n < 260 + names.size()) {
                EXPECT_TRUE(Names().empty()) << n;
            }
        }
        unlink((dir + s.file).c_str());
    }
    struct Patch {
        const char *file;
        const Bytes *bytes;
        size_t at;
        uint32_t value;
    } patches[] = {
        {"/x.ttc", &ttc, 8, 0x7FFFFFFF},     // face count
        {"/x.ttc", &ttc, 12, 0xFFFFFFF0},    // face offset
        {"/x.dfont", &dfont, 256, 0x7FFFFFFF},   // resource length
        {"/x.ttf", &names, 20, 0xFFFFFF00},  // name table offset
        {"/x.ttf", &names, 4, 0xFFFF0000},   // table count
        {"/x.ttf", &names, 28 + 2, 0xFFFF0000},  // record count
        {"/x.ttf", &names, 28 + 4, 0xFFFF0000},  // string area
    };
    for (const Patch &p : patches) {
        Bytes bad = *p.bytes;
        if (p.at + 4 <= bad.size()) Set32(bad, p.at, p.value);
        ASSERT_TRUE(WriteFile(dir + p.file, bad));
        FreeFontList();
        EXPECT_EQ(0, ScanFontDirectory(dir.c_str(), 0));
        unlink((dir + p.file).c_str());
    }
    FreeFontList();
    EXPECT_EQ(1286, ScanFontDirectory((dir + "/missing").c_str(), 0));
}

}  // namespace
