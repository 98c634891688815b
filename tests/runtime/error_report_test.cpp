// The place of an error (source range, line) in GetErrorText and the error requester's body.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"

namespace {

struct ErrorPlaceTest : ::testing::Test {
    lua_State *L = nullptr;
    AppletRecord *applet = nullptr;
    SourceRange ranges[2] = {};

    void SetUp() override
    {
        L = lua_open();
        ASSERT_NE(L, nullptr);
        applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
        // Lines 1-50 of the compiled code come from main.kvs, 51-80 from an included file.
        ranges[0] = {&ranges[1], 1, 50, 0, "main.kvs", "main.kvs"};
        ranges[1] = {nullptr, 51, 80, 10, "/home/u/lib/include.kvs", "main.kvs"};
        applet->sourceRanges = ranges;
        luaL_setregpointer(L, "applet", applet);
        luaL_setregstring(L, "script", ":none:");
        SetErrorSourceFile("main.kvs");
        ResetErrorContext();
        RuntimeSettings.lineInfo = 1;
        OsSetRequesterHook(1, 1);
    }
    void TearDown() override
    {
        OsSetRequesterHook(0, 0);
        RuntimeSettings.lineInfo = 0;
        ResetErrorContext();
        SetErrorSourceFile(nullptr);
        lua_close(L);
        MemFree(applet);
    }
};

TEST_F(ErrorPlaceTest, FileAndLineFromTheSourceRanges)
{
    struct {
        int errorLine;
        const char *source;
        const char *file;
        int line;
    } cases[] = {
        {10, "main.kvs", "main.kvs", 10},
        {60, "main.kvs", "/home/u/lib/include.kvs", 20},   // 60 - 51 + 10 + 1
        {81, "main.kvs", "---", -1},                        // no range holds the line
        {10, "other.kvs", "---", -1},
        {-1, "main.kvs", "---", -1},
    };
    char buf[ERR_TEXT_SIZE];
    for (const auto &c : cases) {
        ErrorLine = c.errorLine;
        SetErrorSourceFile(c.source);
        const char *file = nullptr;
        int line = 0;
        SetErrorNumber(4);
        EXPECT_STREQ(GetErrorText(L, 1181, buf, sizeof buf, &file, &line), "Could not find timer 4!");
        ASSERT_NE(file, nullptr);
        EXPECT_STREQ(file, c.file) << c.errorLine;
        EXPECT_EQ(line, c.line) << c.errorLine;
        EXPECT_EQ(GetCurrentLine(L), c.line);
    }

    // Line information off: no place at all.
    RuntimeSettings.lineInfo = 0;
    const char *file = "x";
    int line = 5;
    GetErrorText(L, 1000, buf, sizeof buf, &file, &line);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(line, 0);
}

TEST_F(ErrorPlaceTest, RequesterBody)
{
    ErrorLine = 60;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowErrorRequester(L, "Out of memory!", 0, OS_REQ_STOP), 1);
    SetErrorCommandName("LoadBrush");
    ShowErrorRequester(L, "Out of memory!", 0, OS_REQ_STOP);
    ShowErrorRequester(L, "Plain text", 1, OS_REQ_STOP);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("KestroviaPlayer"), std::string::npos) << out;
    EXPECT_NE(out.find("Out of memory!\nFile: include.kvs (current line: 20)"), std::string::npos) << out;
    EXPECT_NE(out.find("Out of memory!\nFile: include.kvs (current line: 20 - In function: LoadBrush)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Plain text"), std::string::npos) << out;
}

TEST_F(ErrorPlaceTest, ContextResets)
{
    SetErrorCommandName("Wait");
    ErrorLine = 12;
    ResetErrorContext();
    EXPECT_STREQ(GetErrorCommandName(), "----");
    EXPECT_EQ(ErrorLine, -1);
    std::string longName(500, 'c');
    SetErrorCommandName(longName.c_str());
    EXPECT_LT(strlen(GetErrorCommandName()), 500u);
}

}  // namespace
