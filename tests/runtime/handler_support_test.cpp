// Argument checks, percentages, numeric texts, constant names, option-table fields and the
// command-table registry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>

#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

namespace {

// Runs body as a native function called in a protected call with the given arguments already
// pushed by `args`; returns 0 or the raised code.
const std::function<void(lua_State *)> *CurrentBody;

int RunBody(lua_State *L)
{
    (*CurrentBody)(L);
    return 0;
}

struct HandlerTest : ::testing::Test {
    lua_State *L = nullptr;
    void SetUp() override
    {
        L = lua_open();
        ASSERT_NE(L, nullptr);
    }
    void TearDown() override
    {
        if (L) lua_close(L);
        FreeCommandTables();
        LayerNameLookup = nullptr;
    }
    int Call(const std::function<void(lua_State *)> &args,
             const std::function<void(lua_State *)> &body)
    {
        CurrentBody = &body;
        lua_settop(L, 0);
        lua_pushcfunction(L, RunBody);
        int base = lua_gettop(L);
        args(L);
        int code = lua_pcall(L, lua_gettop(L) - base, 0, 0);
        lua_settop(L, 0);
        return code;
    }
};

TEST_F(HandlerTest, CheckArgs)
{
    struct {
        int min, max, n, code;
    } cases[] = {
        {0, 0, 0, 0},    {0, 0, 1, 1193}, {1, 0, 1, 0},    {1, 0, 9, 0},
        {1, 0, 0, 1014}, {2, 3, 1, 1014}, {2, 3, 2, 0},    {2, 3, 3, 0},
        {2, 3, 4, 1193}, {0, 2, 0, 0},    {0, 2, 3, 1193}, {3, 3, 3, 0},
    };
    for (const auto &c : cases) {
        int code = Call([&](lua_State *L) { for (int i = 0; i < c.n; i++) lua_pushnumber(L, i); },
                        [&](lua_State *L) { EXPECT_EQ(CheckArgs(L, c.min, c.max), L); });
        EXPECT_EQ(code, c.code) << c.min << "," << c.max << " with " << c.n;
    }
}

TEST_F(HandlerTest, NumberOrPercent)
{
    enum { NUM, STR, NIL, TAB, BOOL };
    struct {
        int type;
        double num;
        const char *str;
        double reference;
        int allowOver100;
        int code;
        double result;
        int isPercent;
    } cases[] = {
        {NUM, 17.5, nullptr, 640, 0, 0, 17.5, 0},
        {NIL, 0, nullptr, 640, 0, 0, 0, 0},
        {STR, 0, "50%", 640, 0, 0, 320, 0},
        {STR, 0, "50%", 0, 0, 0, 0.5, 1},
        {STR, 0, "100%", 200, 0, 0, 200, 0},
        {STR, 0, "0%", 200, 0, 0, 0, 0},
        {STR, 0, "12.5", 640, 0, 0, 12.5, 0},
        {STR, 0, " 33", 640, 0, 0, 33, 0},
        {STR, 0, "150%", 100, 0, 1184, 0, 0},
        {STR, 0, "150%", 100, 1, 0, 150, 0},
        {STR, 0, "-5%", 100, 1, 1184, 0, 0},
        {STR, 0, "-5", 100, 0, 0, -5, 0},
        {STR, 0, "abc", 100, 0, 1184, 0, 0},
        {STR, 0, "%", 100, 0, 1184, 0, 0},
        {STR, 0, "", 100, 0, 1184, 0, 0},
        {STR, 0, "0x10", 100, 0, 0, 0, 0},
        {TAB, 0, nullptr, 100, 0, 1183, 0, 0},
        {BOOL, 0, nullptr, 100, 0, 1183, 0, 0},
    };
    for (const auto &c : cases) {
        double got = -1;
        int pct = -1;
        SetErrorNumber(0);
        int code = Call(
            [&](lua_State *L) {
                lua_pushnumber(L, 1);       // the value is argument 2
                if (c.type == NUM) lua_pushnumber(L, c.num);
                else if (c.type == STR) lua_pushstring(L, c.str);
                else if (c.type == NIL) lua_pushnil(L);
                else if (c.type == TAB) lua_newtable(L);
                else lua_pushboolean(L, 1);
            },
            [&](lua_State *L) { got = GetNumberOrPercentArg(L, 2, c.reference, c.allowOver100, &pct); });
        const char *what = c.str ? c.str : "(value)";
        EXPECT_EQ(code, c.code) << what;
        if (code) {
            EXPECT_EQ(GetErrorArgNumber(), 2) << what;
            continue;
        }
        EXPECT_DOUBLE_EQ(got, c.result) << what;
        EXPECT_EQ(pct, c.isPercent) << what;
    }
}

TEST(StrToNumber, Forms)
{
    struct {
        const char *text;
        double value;
        int used;
        int error;
    } cases[] = {
        {"$ff", 255, 3, 0},
        {"%101", 5, 4, 0},
        {"-0x10", -16, 5, 0},
        {"0X1f", 31, 4, 0},
        {"1e3", 1000, 3, 0},
        {"12.5xyz", 12.5, 4, 0},
        {"-5", -5, 2, 0},
        {"$-10", -16, 4, 0},
        {"-$ff", -255, 4, 0},
        {"$ffffffff", 4294967295.0, 9, 0},
        {"$123456789ab", 4294967295.0, 12, 0},
        {"7 apples", 7, 1, 0},
        {"abc", 0, 0, 1024},
        {"", 0, 0, 1024},
        {"-", 0, 0, 1024},
        {" 5", 0, 0, 1024},
        {"$", 0, 0, 1018},
        {"$g", 0, 0, 1018},
        {"0x", 0, 0, 1018},
        {"%", 0, 0, 1018},
        {"%2", 0, 0, 1018},
    };
    for (const auto &c : cases) {
        int used = -1, error = -1;
        double v = StrToNumber(c.text, &used, &error);
        EXPECT_EQ(error, c.error) << c.text;
        EXPECT_EQ(used, c.used) << c.text;
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
    EXPECT_DOUBLE_EQ(StrToNumber("42", nullptr, nullptr), 42);
}

TEST_F(HandlerTest, ParseConstantName)
{
    static const luaL_Constant constants[] = {
        {"CENTER", nullptr, -100000}, {"SANS", "sans-font", 0}, {"MY$VAR!", nullptr, 5},
        {nullptr, nullptr, 0}};
    luaL_registerconstants(L, constants);
    struct {
        const char *text;
        int code;
        int used;
        int kind;
        double value;
        const char *str;
    } cases[] = {
        {"#Center", 0, 7, CONSTANT_NUMBER, -100000, nullptr},
        {"#CENTER+10", 0, 7, CONSTANT_NUMBER, -100000, nullptr},
        {"#sans", 0, 5, CONSTANT_STRING, 0, "sans-font"},
        {"#my$var!", 0, 8, CONSTANT_NUMBER, 5, nullptr},
        {"Center", 1055, -1, -1, 0, nullptr},
        {"", 1055, -1, -1, 0, nullptr},
        {"#1abc", 1018, -1, -1, 0, nullptr},
        {"#", 1018, -1, -1, 0, nullptr},
        {"#nothere", 1042, -1, -1, 0, nullptr},
    };
    for (const auto &c : cases) {
        int used = -1, kind = -1;
        double value = 0;
        const char *str = nullptr;
        EXPECT_EQ(ParseConstantName(L, c.text, &used, &kind, &value, &str), c.code) << c.text;
        EXPECT_EQ(used, c.used) << c.text;
        EXPECT_EQ(kind, c.kind) << c.text;
        if (c.kind == CONSTANT_NUMBER) {
            EXPECT_EQ(value, c.value) << c.text;
        }
        if (c.kind == CONSTANT_STRING) {
            EXPECT_STREQ(str, c.str) << c.text;
        }
    }
    // A name longer than 64 characters is cut there (and then not found).
    std::string longName = "#" + std::string(80, 'a');
    EXPECT_EQ(ParseConstantName(L, longName.c_str(), nullptr, nullptr, nullptr, nullptr), 1042);
}

TEST_F(HandlerTest, ObjectIds)
{
    static int node;
    ObjectId a = {}, b = {};
    uint32_t n = 0;
    int isNil = -1;
    EXPECT_EQ(Call(
                  [](lua_State *L) {
                      lua_pushlightuserdata(L, &node);
                      lua_pushnumber(L, 12.9);
                      lua_pushnil(L);
                  },
                  [&](lua_State *L) {
                      a = GetObjectIdArg(L, 1);
                      b = GetObjectIdArg(L, 2);
                      n = GetObjectIdOrNilArg(L, 3, &isNil);
                  }),
              0);
    EXPECT_EQ(a.handle, &node);
    EXPECT_EQ(a.number, 0u);
    EXPECT_EQ(b.handle, nullptr);
    EXPECT_EQ(b.number, 12u);
    EXPECT_EQ(isNil, 1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(Call([](lua_State *L) { lua_pushstring(L, "x"); },
                   [](lua_State *L) { GetObjectIdArg(L, 1); }),
              1138);
}

// A table of option fields at argument 1.
void PushOptions(lua_State *L)
{
    lua_newtable(L);
    SetFieldInt(L, "x", -7);
    SetFieldDouble(L, "speed", 2.5);
    SetFieldString(L, "name", "a rather long layer name");
    SetFieldString(L, "word", "abc");
    SetFieldString(L, "pct", "25%");
    ObjectId id = {9, nullptr};
    SetFieldObjectId(L, "brush", id);
    static int node;
    ObjectId h = {0, &node};
    SetFieldObjectId(L, "handle", h);
    lua_pushstring(L, "rect");
    lua_newtable(L);
    for (int k = 0; k < 4; k++) {
        lua_pushnumber(L, 10 * (k + 1));
        lua_rawseti(L, -2, k);
    }
    lua_settable(L, -3);
    lua_pushstring(L, "short");
    lua_newtable(L);
    for (int k = 1; k < 4; k++) {       // entry 0 missing
        lua_pushnumber(L, k);
        lua_rawseti(L, -2, k);
    }
    lua_settable(L, -3);
}

TEST_F(HandlerTest, FieldGetters)
{
    int code = Call(PushOptions, [](lua_State *L) {
        int top = lua_gettop(L);
        int found = 0, i = 0;
        uint32_t u = 0;
        double d = 0;
        EXPECT_EQ(GetFieldInt(L, 1, "x", &i, &found), 1);
        EXPECT_EQ(i, -7);
        EXPECT_EQ(found, 1);
        EXPECT_EQ(GetFieldUInt32(L, -1, "x", &u, nullptr), 1);    // relative index
        EXPECT_EQ(u, 0xFFFFFFF9u);
        EXPECT_EQ(GetFieldDouble(L, 1, "speed", &d, nullptr), 1);
        EXPECT_EQ(d, 2.5);

        found = 0;
        i = 123;
        EXPECT_EQ(GetFieldInt(L, 1, "missing", &i, &found), 0);    // output left alone
        EXPECT_EQ(i, 123);
        EXPECT_EQ(found, 0);

        char small[8];
        memset(small, 'X', sizeof small);
        EXPECT_EQ(GetFieldStringCopy(L, 1, "name", small, 5, nullptr), 1);
        EXPECT_STREQ(small, "a ra");        // cut to the capacity
        EXPECT_EQ(small[5], 'X');
        EXPECT_EQ(GetFieldStringCopy(L, 1, "word", small, sizeof small, nullptr), 1);
        EXPECT_STREQ(small, "abc");

        char *copy = nullptr;
        size_t len = 0;
        EXPECT_EQ(GetFieldFileName(L, 1, "name", 0, nullptr, &copy, &len, &found), 1);
        EXPECT_STREQ(copy, "a rather long layer name");
        EXPECT_EQ(len, strlen(copy));
        MemFree(copy);

        ObjectId id = {};
        EXPECT_EQ(GetFieldObjectId(L, 1, "brush", &id, nullptr), 1);
        EXPECT_EQ(id.number, 9u);
        EXPECT_EQ(id.handle, nullptr);
        EXPECT_EQ(GetFieldObjectId(L, 1, "handle", &id, nullptr), 1);
        EXPECT_EQ(id.number, 0u);
        EXPECT_NE(id.handle, nullptr);

        int pct = 0;
        EXPECT_EQ(GetFieldPercent(L, 1, "pct", 400, 0, &d, &pct, nullptr), 1);
        EXPECT_EQ(d, 100);
        EXPECT_EQ(GetFieldPercent(L, 1, "pct", 0, 0, &d, &pct, nullptr), 1);
        EXPECT_EQ(d, 0.25);
        EXPECT_EQ(pct, 1);

        double four[4] = {};
        EXPECT_EQ(GetFieldNumberArray4(L, 1, "rect", four, nullptr), 1);
        EXPECT_EQ(four[0], 10);
        EXPECT_EQ(four[3], 40);

        EXPECT_EQ(lua_gettop(L), top);      // every getter restores the stack
    });
    EXPECT_EQ(code, 0);
}

TEST_F(HandlerTest, FieldErrorsNameTheKey)
{
    struct {
        std::function<void(lua_State *)> get;
        int code;
        const char *errorString;
    } cases[] = {
        {[](lua_State *L) { uint32_t u; GetFieldUInt32(L, 1, "word", &u, nullptr); }, 1189, "word"},
        {[](lua_State *L) { int i; GetFieldInt(L, 1, "name", &i, nullptr); }, 1189, "name"},
        {[](lua_State *L) { char b[4]; GetFieldStringCopy(L, 1, "rect", b, 4, nullptr); }, 1247, "rect"},
        {[](lua_State *L) { double f[4]; GetFieldNumberArray4(L, 1, "short", f, nullptr); }, 1014, nullptr},
        {[](lua_State *L) { double f[4]; GetFieldNumberArray4(L, 1, "x", f, nullptr); }, 1140, nullptr},
        {[](lua_State *L) { int l; GetFieldLayer(L, 1, "word", &l, nullptr); }, 1369, "word-layer"},
        {[](lua_State *L) { int l; GetFieldLayer(L, 1, "rect", &l, nullptr); }, 1055, nullptr},
    };
    for (const auto &c : cases) {
        SetErrorString("");
        EXPECT_EQ(Call(PushOptions, c.get), c.code);
        if (c.errorString && strcmp(c.errorString, "word-layer") == 0) {
            EXPECT_STREQ(GetErrorArgString(), "abc");
        } else if (c.errorString) {
            EXPECT_STREQ(GetErrorArgString(), c.errorString);
        }
    }
}

TEST_F(HandlerTest, FieldLayerByName)
{
    LayerNameLookup = [](lua_State *, const char *name) { return strcmp(name, "abc") == 0 ? 3 : 0; };
    int layer = 0;
    EXPECT_EQ(Call(PushOptions, [&](lua_State *L) {
                  EXPECT_EQ(GetFieldLayer(L, 1, "word", &layer, nullptr), 1);
                  EXPECT_EQ(layer, 3);
                  EXPECT_EQ(GetFieldLayer(L, 1, "x", &layer, nullptr), 1);
                  EXPECT_EQ(layer, -7);
              }),
              0);
}

int Dummy(lua_State *)
{
    return 0;
}

std::string ReadFile(const std::string &path)
{
    std::string s;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return s;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

TEST_F(HandlerTest, CommandTablesAndExports)
{
    static const luaL_reg first[] = {{"LoadBrush", Dummy}, {"FreeBrush", Dummy}, {nullptr, nullptr}};
    static const luaL_reg second[] = {{"Wait", Dummy}, {nullptr, nullptr}};
    ASSERT_EQ(RegisterCommandTable(first, "brush"), 0);
    ASSERT_EQ(RegisterCommandTable(second, "system"), 0);
    EXPECT_STREQ(FindCommandName("loadbrush"), "LoadBrush");
    EXPECT_STREQ(FindCommandName("WAIT"), "Wait");
    EXPECT_EQ(FindCommandName("nothere"), nullptr);

    std::string path = testing::TempDir() + "kv_commands_test.txt";
    EXPECT_EQ(ExportCommandList(path.c_str()), 1);
    EXPECT_EQ(ReadFile(path), "::brush\n2\nLoadBrush\nFreeBrush\n::system\n1\nWait\n::end\n");

    static const luaL_Constant constants[] = {{"CENTER", nullptr, 1}, {nullptr, nullptr, 0}};
    luaL_registerconstants(L, constants);
    EXPECT_EQ(ExportConstants(L, path.c_str()), 1);
    EXPECT_EQ(ReadFile(path), "center\n");
    EXPECT_EQ(lua_gettop(L), 0);
    unlink(path.c_str());

    EXPECT_EQ(ExportCommandList("/no/such/dir/x.txt"), 0);
    FreeCommandTables();
    EXPECT_EQ(GetCommandTables(), nullptr);
}

}  // namespace

namespace {

TEST(ProgressLines, QuietSuppressesThem)
{
    int quiet = RuntimeSettings.quiet;
    RuntimeSettings.quiet = 0;
    testing::internal::CaptureStdout();
    PrintVerbose("Loading brush %s", "/home/u/pics/logo.png", 1);
    PrintVerboseDone();
    PrintVerbose("Compiling script", nullptr, 0);
    PrintVerboseFailed();
    RuntimeSettings.quiet = 1;
    PrintVerbose("Loading brush %s", "x.png", 1);
    PrintVerboseDone();
    PrintVerboseFailed();
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    RuntimeSettings.quiet = quiet;
    EXPECT_EQ(out, "Loading brush logo.png...done\nCompiling scriptfailed\n");
}

}  // namespace
