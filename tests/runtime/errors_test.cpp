// Error tables, message filling and the error argument.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "runtime/catalog.h"
#include "runtime/errors.h"

namespace {

// Conversion specifiers of a text ("%%" is none).
std::string Specifiers(const char *s)
{
    std::string out;
    for (; *s; s++) {
        if (s[0] != '%') continue;
        if (s[1] == '%') {
            s++;
            continue;
        }
        out += '%';
        while (s[1] && strchr("-+ #0123456789.l", s[1])) out += *++s;
        if (s[1]) out += *++s;
    }
    return out;
}

std::string Format(int code, const char *str = "", long num = 0)
{
    char buf[ERR_TEXT_SIZE];
    SetErrorString(str);
    SetErrorNumber(num);
    return FormatErrorMessage(code, buf, sizeof buf);
}

TEST(ErrorTables, CodeTableShape)
{
    std::set<int> used;
    int own = 0;
    for (int code = ERR_FIRST_CODE; code <= ERR_LAST_CODE; code++) {
        int n = GetErrorMessageNumber(code);
        if (code == 1064 || code == 1239 || code == 1265) {
            EXPECT_EQ(n, -1) << code;
            continue;
        }
        ASSERT_GE(n, 0) << code;
        ASSERT_LT(n, ERR_MESSAGE_COUNT) << code;
        EXPECT_TRUE(used.insert(n).second) << "message " << n << " shared by code " << code;
        const char *text = GetBuiltInErrorString(n);
        ASSERT_NE(text, nullptr) << code;
        // One argument at most, and only of the forms the filler knows.
        std::string spec = Specifiers(text);
        EXPECT_TRUE(spec == "" || spec == "%s" || spec == "%d" || spec == "%ld")
            << code << ": " << text;
        own++;
    }
    EXPECT_EQ(own, 425);
    // The message table holds 509 texts, one for every message number.
    for (int n = 0; n < ERR_MESSAGE_COUNT; n++) EXPECT_NE(GetBuiltInErrorString(n), nullptr) << n;
    EXPECT_EQ(GetErrorMessageNumber(999), -2);
    EXPECT_EQ(GetErrorMessageNumber(1428), -2);
    EXPECT_EQ(GetBuiltInErrorString(-1), nullptr);
    EXPECT_EQ(GetBuiltInErrorString(ERR_MESSAGE_COUNT), nullptr);
}

TEST(ErrorTables, PinnedMessageNumbers)
{
    EXPECT_EQ(GetErrorMessageNumber(1000), 13);
    struct {
        int n;
        const char *text;
    } pinned[] = {
        {13, "Out of memory!"}, {91, "Unknown error code!"}, {92, "current line"},
        {94, "OK"}, {95, "done"}, {97, "Opening script %s"}, {98, "Loading animation %s"},
        {106, "Compiling script"}, {108, "failed"}, {109, "Loading sample %s"},
        {116, "Cannot open font %s with size %ld!"}, {194, "File"},
        {262, "Loading sprite %s"}, {278, "Loading music %s"}, {280, "In function"},
        {287, "Loading applet %s"}, {307, "Cancel"}, {338, "Yes"}, {339, "No"},
        {402, "Error"}, {410, "Opening font %s"},
    };
    for (const auto &p : pinned) EXPECT_STREQ(GetBuiltInErrorString(p.n), p.text) << p.n;
}

TEST(ErrorText, Filling)
{
    SetLoadedCatalog(nullptr);
    struct {
        int code;
        const char *str;
        long num;
        const char *expected;
    } cases[] = {
        // Unknown codes, 0-999 included, never index the table.
        {5000, "", 0, "Unknown error code!"},
        {0, "", 0, "Unknown error code!"},
        {999, "", 0, "Unknown error code!"},
        {-7, "", 0, "Unknown error code!"},
        {1428, "", 0, "Unknown error code!"},
        {1091, "", 0, "Unknown error code!"},
        // Plain texts and the two argument kinds.
        {1000, "ignored", 5, "Out of memory!"},
        {1055, "", 0, "Wrong usage/parameters for this command!\nRead the documentation!"},
        {1211, "game.kvs", 0, "game.kvs is no Kestrovia applet!"},
        {1174, "", 7, "Could not find brush 7!"},
        {1138, "", -3, "Number expected in argument -3!"},
        {1189, "speed", 0, "Number expected in table argument \"speed\"!"},
        {1369, "bg", 0, "Cannot find layer \"bg\" in current BGPic!"},
        // A linked file's virtual name shows the file's own name.
        {1213, ":::chunk100:20*pic.png/home/u/app.kva", 0, "File pic.png does not exist!"},
        {1211, ":::chunkS0:20*intro.kva/7f00aa", 0, "intro.kva is no Kestrovia applet!"},
        // The file-part codes show the file part of a path; other codes the whole string.
        {1045, "/home/u/data/pic.iff", 0, "Cannot read file pic.iff !"},
        {1358, "/x/y/z.bin", 0, "Image file \"z.bin\" is in an unknown/unsupported format!"},
        {1170, "dir/a.png", 0, "Image \"a.png\" does not have an alpha channel!"},
        {1044, "/a/b", 0, "Cannot open file b !"},
        {1213, "/home/u/data/pic.iff", 0, "File /home/u/data/pic.iff does not exist!"},
        // No message of their own: the error string itself, never used as a template.
        {1064, "Cannot open font x with size 10!", 0, "Cannot open font x with size 10!"},
        {1239, "100%s %d %n done", 4, "100%s %d %n done"},
        {1265, "raw text", 0, "raw text"},
        {1239, "", 0, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Format(c.code, c.str, c.num), c.expected) << c.code << " / " << c.str;
}

TEST(ErrorText, BufferBounds)
{
    char buf[16];
    memset(buf, 'X', sizeof buf);
    SetErrorString("");
    FormatErrorMessage(1000, buf, 8);
    EXPECT_STREQ(buf, "Out of ");
    EXPECT_EQ(buf[8], 'X');

    std::string longName(3000, 'n');
    SetErrorString(longName.c_str());
    char big[64];
    FormatErrorMessage(1211, big, sizeof big);
    EXPECT_EQ(strlen(big), sizeof big - 1);
    FormatErrorMessage(1239, big, sizeof big);
    EXPECT_EQ(strlen(big), sizeof big - 1);

    buf[0] = 'X';
    FormatErrorMessage(1000, buf, 1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(FormatErrorMessage(1000, nullptr, 10), nullptr);
}

TEST(ErrorText, SetErrorStringCopiesWithBound)
{
    std::string longText(5000, 'a');
    char *buf = SetErrorString(longText.c_str());
    EXPECT_EQ(buf, GetErrorArgString());
    EXPECT_EQ(strlen(buf), (size_t)ERR_STRING_SIZE - 1);

    SetErrorString("abcdef");
    SetErrorString(GetErrorArgString() + 2);    // overlapping copy
    EXPECT_STREQ(GetErrorArgString(), "cdef");
    SetErrorString(nullptr);
    EXPECT_STREQ(GetErrorArgString(), "");
}

}  // namespace
