// The message catalog: overriding built-in texts, and truncated or malicious catalogs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "runtime/catalog.h"
#include "runtime/errors.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void PutBE32(Bytes &b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) b.push_back((unsigned char)(v >> s));
}

void PutTag(Bytes &b, const char *tag)
{
    b.insert(b.end(), tag, tag + 4);
}

// An IFF catalog: FORM CTLG, an FVER chunk, then STRS with the entries. lengthIncludesZero
// chooses which of the two length conventions the writer used.
Bytes MakeCatalog(const std::vector<std::pair<uint32_t, std::string>> &entries,
                  bool lengthIncludesZero = true, bool endMark = false)
{
    Bytes strs;
    for (const auto &e : entries) {
        PutBE32(strs, e.first);
        PutBE32(strs, (uint32_t)e.second.size() + (lengthIncludesZero ? 1 : 0));
        strs.insert(strs.end(), e.second.begin(), e.second.end());
        strs.push_back(0);
        while (strs.size() % 4) strs.push_back(0);
    }
    if (endMark) PutBE32(strs, 0xffffffffu);

    Bytes body;
    PutTag(body, "CTLG");
    PutTag(body, "FVER");
    std::string ver = "$VER: Kestrovia.catalog 1.0 (10.12.2026) test fixture with padding text";
    PutBE32(body, (uint32_t)ver.size() + 1);
    body.insert(body.end(), ver.begin(), ver.end());
    body.push_back(0);
    if (body.size() % 2) body.push_back(0);
    PutTag(body, "STRS");
    PutBE32(body, (uint32_t)strs.size());
    body.insert(body.end(), strs.begin(), strs.end());

    Bytes file;
    PutTag(file, "FORM");
    PutBE32(file, (uint32_t)body.size());
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

class CatalogTest : public ::testing::Test {
protected:
    void TearDown() override { FreeCatalog(); }
    void Load(const Bytes &b)
    {
        MessageCatalog *cat = ParseCatalog(b.data(), b.size());
        ASSERT_NE(cat, nullptr);
        SetLoadedCatalog(cat);
    }
    std::string Text(int code, const char *str = "", long num = 0)
    {
        char buf[ERR_TEXT_SIZE];
        SetErrorString(str);
        SetErrorNumber(num);
        return FormatErrorMessage(code, buf, sizeof buf);
    }
};

TEST_F(CatalogTest, EntriesReplaceBuiltInTexts)
{
    int brush = GetErrorMessageNumber(1174);
    int applet = GetErrorMessageNumber(1211);
    for (bool includesZero : {true, false}) {
        Load(MakeCatalog({{13, "Kein Speicher!"},
                          {(uint32_t)brush, "Pinsel %ld fehlt!"},
                          {(uint32_t)applet, "%s ist kein Applet!"},
                          {95, "fertig"},
                          {1000, "abcd"}},     // a number beyond the table: never asked for
                         includesZero));
        EXPECT_EQ(Text(1000), "Kein Speicher!");
        EXPECT_EQ(Text(1174, "", 7), "Pinsel 7 fehlt!");
        EXPECT_EQ(Text(1211, "x.kva"), "x.kva ist kein Applet!");
        EXPECT_STREQ(GetErrorString(95), "fertig");
        EXPECT_STREQ(GetErrorString(94), "OK");       // not in the catalog
        FreeCatalog();
        EXPECT_EQ(Text(1000), "Out of memory!");
    }
}

TEST_F(CatalogTest, TextWithOtherSpecifiersIsIgnored)
{
    int brush = GetErrorMessageNumber(1174);
    int applet = GetErrorMessageNumber(1211);
    int timer = GetErrorMessageNumber(1181);
    Load(MakeCatalog({{(uint32_t)brush, "Pinsel %s fehlt!"},       // string for a number
                      {(uint32_t)applet, "%s %s %n"},                // extra and dangerous ones
                      {(uint32_t)timer, "Zeitgeber %d fehlt!"},     // %d for %ld
                      {13, "100%% belegt"}}));                       // "%%" is no specifier
    EXPECT_EQ(Text(1174, "", 7), "Could not find brush 7!");
    EXPECT_EQ(Text(1211, "a"), "a is no Kestrovia applet!");
    EXPECT_EQ(Text(1181, "", 2), "Could not find timer 2!");
    EXPECT_EQ(Text(1000), "100% belegt");
}

TEST(CatalogSpecifiers, Comparison)
{
    struct {
        const char *a, *b;
        int same;
    } cases[] = {
        {"x %s y", "%s z", 1}, {"%ld", "%ld!", 1}, {"%ld", "%d", 0}, {"%s", "", 0},
        {"", "", 1}, {"", "50%%", 1}, {"a", "%", 0}, {"%s", "%s%s", 0}, {nullptr, "plain", 1},
        {nullptr, "%s", 0}, {"%s", "%5s", 0}, {"%s", "%n", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SameConversionSpecifiers(c.a, c.b), c.same) << (c.a ? c.a : "(none)") << " / " << c.b;
    EXPECT_EQ(SameConversionSpecifiers("x", nullptr), 0);
}

TEST(CatalogParse, RejectsWhatIsNoCatalog)
{
    Bytes good = MakeCatalog({{13, "Kein Speicher!"}});
    ASSERT_GT(good.size(), 100u);

    Bytes small(good.begin(), good.begin() + 100);
    EXPECT_EQ(ParseCatalog(small.data(), small.size()), nullptr);
    for (int at : {0, 8, 12}) {
        Bytes bad = good;
        bad[at] ^= 0x20;
        EXPECT_EQ(ParseCatalog(bad.data(), bad.size()), nullptr) << at;
    }
    Bytes noStrs = good;
    for (size_t i = 16; i + 4 <= noStrs.size(); i++)
        if (memcmp(&noStrs[i], "STRS", 4) == 0) noStrs[i] = 'X';
    EXPECT_EQ(ParseCatalog(noStrs.data(), noStrs.size()), nullptr);
    EXPECT_EQ(ParseCatalog(nullptr, 500), nullptr);
}

TEST(CatalogParse, TruncatedCatalogNeverReadsPastItsEnd)
{
    Bytes good = MakeCatalog({{1, "first"}, {2, "second text"}, {13, "Kein Speicher!"}});
    // Every prefix: the walk stops inside the bytes it has (ASan checks the reads, as the copy
    // is exactly the prefix plus the end mark).
    for (size_t n = 101; n <= good.size(); n++) {
        MessageCatalog *cat = ParseCatalog(good.data(), n);
        if (!cat) continue;
        for (uint32_t k : {1u, 2u, 13u, 99u}) {
            const char *t = FindCatalogString(cat, k);
            if (t) {
                EXPECT_LT((size_t)((const unsigned char *)t - cat->data) + strlen(t), n);
            }
        }
        FreeMessageCatalog(cat);
    }
    MessageCatalog *full = ParseCatalog(good.data(), good.size());
    ASSERT_NE(full, nullptr);
    EXPECT_STREQ(FindCatalogString(full, 13), "Kein Speicher!");
    FreeMessageCatalog(full);
}

TEST(CatalogParse, MaliciousLengthsAndMissingTerminators)
{
    // An entry length near 4 GiB, and a last text without its zero byte.
    Bytes cat = MakeCatalog({{1, "one"}, {2, "two"}});
    size_t strs = 0;
    for (size_t i = 16; i + 4 <= cat.size(); i++)
        if (memcmp(&cat[i], "STRS", 4) == 0) {
            strs = i;
            break;
        }
    size_t first = strs + 8;
    Bytes huge = cat;
    huge[first + 4] = huge[first + 5] = huge[first + 6] = huge[first + 7] = 0xff;
    MessageCatalog *c = ParseCatalog(huge.data(), huge.size());
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(FindCatalogString(c, 1), "one");
    EXPECT_EQ(FindCatalogString(c, 2), nullptr);
    FreeMessageCatalog(c);

    Bytes open = cat;
    while (open.back() == 0) open.pop_back();    // "two" now ends the file unterminated
    c = ParseCatalog(open.data(), open.size());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(FindCatalogString(c, 2), nullptr);
    FreeMessageCatalog(c);

    // The end mark inside the file ends the walk.
    Bytes marked = MakeCatalog({{1, "one"}}, true, true);
    marked.insert(marked.end(), {0, 0, 0, 2, 0, 0, 0, 4, 'x', 'y', 'z', 0});
    c = ParseCatalog(marked.data(), marked.size());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(FindCatalogString(c, 2), nullptr);
    FreeMessageCatalog(c);
}

TEST(CatalogParse, RandomDamageIsHarmless)
{
    Bytes good = MakeCatalog({{13, "Kein Speicher!"}, {91, "Unbekannt!"}, {95, "fertig"},
                              {(uint32_t)GetErrorMessageNumber(1174), "Pinsel %ld fehlt!"}});
    std::mt19937 rng(1234);
    for (int round = 0; round < 2000; round++) {
        Bytes b = good;
        int hits = 1 + (int)(rng() % 8);
        for (int h = 0; h < hits; h++) b[16 + rng() % (b.size() - 16)] = (unsigned char)rng();
        if (rng() % 4 == 0) b.resize(101 + rng() % (b.size() - 100));
        MessageCatalog *cat = ParseCatalog(b.data(), b.size());
        if (!cat) continue;
        SetLoadedCatalog(cat);
        char buf[ERR_TEXT_SIZE];
        SetErrorNumber(1);
        SetErrorString("s");
        for (int code = 1000; code <= 1427; code += 7) FormatErrorMessage(code, buf, sizeof buf);
        for (int n = 0; n < ERR_MESSAGE_COUNT; n++) GetErrorString(n);
    }
    FreeCatalog();
}

TEST_F(CatalogTest, LoadCatalogFromFile)
{
    std::string path = testing::TempDir() + "kv_catalog_test.catalog";
    Bytes b = MakeCatalog({{13, "Speicher voll!"}});
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);

    EXPECT_EQ(LoadCatalog(path.c_str()), 1);
    EXPECT_EQ(Text(1000), "Speicher voll!");
    EXPECT_EQ(LoadCatalog((path + ".missing").c_str()), 0);   // drops the old one
    EXPECT_EQ(GetLoadedCatalog(), nullptr);
    EXPECT_EQ(Text(1000), "Out of memory!");

    f = fopen(path.c_str(), "wb");
    fwrite("FORM", 1, 4, f);    // too short to be a catalog
    fclose(f);
    EXPECT_EQ(LoadCatalog(path.c_str()), 0);
    unlink(path.c_str());
}

}  // namespace
