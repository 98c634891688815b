// Dos-library and file-system behaviour that golden scripts cannot set up: symbolic links while
// deleting and copying, boolean values in stored tables, the registered command tables, and the
// platform calls under the library (protection bits, no-replace renames, temporary names,
// launching with quoting and reaping).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"
#include "tests/common/small_disk.h"

namespace {

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

int OpenLibs(lua_State *L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenStringLib(L);
    lua_settop(L, 0);
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenSystemLib(L);
    lua_settop(L, 0);
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenDosLib(L);
    lua_settop(L, 0);
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    OpenMemBlockLib(L);
    lua_settop(L, 0);
    return 0;
}

struct CallRequest {
    const char *name;
    std::function<int(lua_State *)> push;   // pushes the arguments, returns their count
    std::function<void(lua_State *)> check; // looks at the results (stack from index 1)
    int code;
};

int DoCall(lua_State *L)
{
    CallRequest *r = static_cast<CallRequest *>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_pushstring(L, r->name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    int n = r->push ? r->push(L) : 0;
    r->code = lua_call(L, n, LUA_MULTRET);
    if (r->check) r->check(L);
    lua_settop(L, 0);
    return 0;
}

class DosLib : public ::testing::Test {
protected:
    lua_State *L = nullptr;
    std::string dir;
    char previous[4096];

    void SetUp() override
    {
        ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
        char tmpl[] = "/tmp/kvdostest.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(0, chdir(dir.c_str()));
        L = lua_open();
        ASSERT_NE(L, nullptr);
        ASSERT_EQ(0, lua_cpcall(L, OpenLibs, nullptr));
    }
    void TearDown() override
    {
        CloseDosLib(L);
        FreeAllMemBlocks(L);
        CloseSystemLib(L);
        lua_close(L);
        FreeCommandTables();
        ASSERT_EQ(0, chdir(previous));
        std::string cmd = "chmod -R u+rwx '" + dir + "' && rm -rf '" + dir + "'";
        ASSERT_EQ(0, system(cmd.c_str()));
    }

    int Call(const char *name, std::function<int(lua_State *)> push,
             std::function<void(lua_State *)> check = nullptr)
    {
        CallRequest r = {name, push, check, -1};
        EXPECT_EQ(0, lua_cpcall(L, DoCall, &r)) << name;
        return r.code;
    }
    int CallS(const char *name, const char *a, const char *b = nullptr)
    {
        return Call(name, [&](lua_State *L) {
            lua_pushstring(L, a);
            if (b) lua_pushstring(L, b);
            return b ? 2 : 1;
        });
    }
};

// ---- symbolic links ----

TEST_F(DosLib, DeletingATreeRemovesLinksButNeverWalksIntoThem)
{
    ASSERT_EQ(0, mkdir("outside", 0755));
    WriteText("outside/keep.txt", "precious");
    ASSERT_EQ(0, mkdir("tree", 0755));
    ASSERT_EQ(0, mkdir("tree/sub", 0755));
    WriteText("tree/sub/f.txt", "x");
    ASSERT_EQ(0, symlink((dir + "/outside").c_str(), "tree/sub/link"));
    ASSERT_EQ(0, symlink("/nonexistent/target", "tree/dangling"));

    EXPECT_EQ(0, CallS("deletefile", "tree"));
    EXPECT_FALSE(Exists("tree"));
    EXPECT_EQ("precious", ReadText("outside/keep.txt"));

    // A link named directly is removed itself; with a trailing slash nothing happens.
    ASSERT_EQ(0, symlink((dir + "/outside").c_str(), "direct"));
    EXPECT_EQ(0, CallS("deletefile", "direct/"));
    EXPECT_TRUE(Exists("direct"));
    EXPECT_EQ(0, CallS("deletefile", "direct"));
    EXPECT_FALSE(Exists("direct"));
    EXPECT_EQ("precious", ReadText("outside/keep.txt"));
}

TEST_F(DosLib, CopyingATreeDoesNotFollowALinkBackIntoItself)
{
    ASSERT_EQ(0, mkdir("src", 0755));
    WriteText("src/a.txt", "a");
    ASSERT_EQ(0, symlink((dir + "/src").c_str(), "src/loop"));
    ASSERT_EQ(0, mkdir("dst", 0755));
    ASSERT_EQ(0, symlink((dir + "/dst").c_str(), "src/todst"));

    EXPECT_EQ(0, CallS("copyfile", "src", "dst"));
    EXPECT_EQ("a", ReadText("dst/a.txt"));
    EXPECT_FALSE(Exists("dst/loop"));
    EXPECT_FALSE(Exists("dst/todst"));
    // Into its own subtree through a link to it: refused before anything is created.
    EXPECT_EQ(1055, CallS("copyfile", "src", "src/loop/inner"));
    EXPECT_FALSE(Exists("src/inner"));
}

// ---- callbacks ----

int RaisingCallback(lua_State *L)
{
    lua_error(L, 1234);
}

int StoppingCallback(lua_State *L)
{
    StopFlag = 1;
    lua_pushnumber(L, 2);
    return 1;
}

TEST_F(DosLib, ACallbackErrorEndsTheCommandAndAStopAbortsIt)
{
    WriteText("f.txt", "x");
    auto withCallback = [](lua_CFunction cb) {
        return [cb](lua_State *L) {
            lua_pushstring(L, "f.txt");
            lua_pushcfunction(L, cb);
            return 2;
        };
    };
    EXPECT_EQ(1234, Call("deletefile", withCallback(RaisingCallback)));
    EXPECT_TRUE(Exists("f.txt"));
    EXPECT_EQ(0, Call("deletefile", withCallback(StoppingCallback)));
    StopFlag = 0;
    EXPECT_TRUE(Exists("f.txt"));
    EXPECT_EQ(1234, Call("copyfile", [](lua_State *L) {
                  lua_pushstring(L, "f.txt");
                  lua_pushstring(L, "out");
                  lua_pushnil(L);
                  lua_pushcfunction(L, RaisingCallback);
                  return 4;
              }));
    EXPECT_FALSE(Exists("out/f.txt"));   // the partial copy is removed
}

// Answers 2 (go on) to everything but the status call for a directory named "sub": 1 (abort).
int AbortAtSubCallback(lua_State *L)
{
    lua_pushstring(L, "file");
    lua_gettable(L, 1);
    const char *file = lua_tostring(L, -1);
    size_t len = file ? strlen(file) : 0;
    int atSub = len >= 4 && strcmp(file + len - 4, "/sub") == 0;
    lua_pushstring(L, "action");
    lua_gettable(L, 1);
    int status = lua_tonumber(L, -1) == 0;
    lua_pushnumber(L, atSub && status ? 1 : 2);
    return 1;
}

TEST_F(DosLib, AnAbortAskedForASubdirectoryEndsTheWholeDelete)
{
    ASSERT_EQ(0, mkdir("t", 0755));
    ASSERT_EQ(0, mkdir("t/sub", 0755));
    WriteText("t/a.txt", "a");
    WriteText("t/sub/c.txt", "c");
    WriteText("t/z.txt", "z");
    EXPECT_EQ(0, Call("deletefile", [](lua_State *L) {
                  lua_pushstring(L, "t");
                  lua_pushcfunction(L, AbortAtSubCallback);
                  return 2;
              }));
    EXPECT_FALSE(Exists("t/a.txt"));
    EXPECT_FALSE(Exists("t/sub/c.txt"));
    EXPECT_TRUE(Exists("t/sub"));     // the abort came before it was removed
    EXPECT_TRUE(Exists("t/z.txt"));   // and nothing after it was touched
    EXPECT_EQ(1234, Call("deletefile", [](lua_State *L) {
                  lua_pushstring(L, "t/sub");
                  lua_pushcfunction(L, RaisingCallback);
                  return 2;
              }));
    EXPECT_TRUE(Exists("t/sub"));
}

// ---- full and read-only disks ----

// Whatever does not reach the disk is told: a folder on a read-only disk that DeleteFile cannot
// remove, a temporary folder that takes no new file, a file still open at the end of the script
// whose last bytes do not fit.
TEST_F(DosLib, FailuresOnFullAndReadOnlyDisksAreTold)
{
    if (!MountSmallDisk(dir + "/ro", 64) || !MountSmallDisk(dir + "/full", 64))
        GTEST_SKIP() << "no small disks (needs root)";
    ASSERT_EQ(0, mkdir("ro/empty", 0755));
    ASSERT_EQ(1, MakeDiskReadOnly(dir + "/ro"));
    ASSERT_EQ(1, FillDisk(dir + "/full", 0));

    EXPECT_EQ(1143, CallS("deletefile", "ro/empty"));
    EXPECT_TRUE(Exists("ro/empty"));

    const char *saved = getenv("TMPDIR");
    std::string previousTmp = saved ? saved : "";
    setenv("TMPDIR", (dir + "/ro").c_str(), 1);
    EXPECT_EQ(1052, Call("gettempfilename", nullptr));
    std::string named = GetErrorArgString();
    if (saved) setenv("TMPDIR", previousTmp.c_str(), 1);
    else unsetenv("TMPDIR");
    EXPECT_EQ(0u, named.find(dir + "/ro/kestrovia-")) << named;

    EXPECT_EQ(0, Call("openfile", [](lua_State *L) {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "full/notes.txt");
                  lua_pushnumber(L, 1006);
                  return 3;
              }));
    EXPECT_EQ(0, Call("writeline", [](lua_State *L) {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "my precious notes");
                  return 2;
              }));
    fflush(stderr);
    int kept = dup(2);
    FILE *log = fopen("stderr.log", "w+");
    ASSERT_NE(log, nullptr);
    dup2(fileno(log), 2);
    CloseDosLib(L);
    fflush(stderr);
    dup2(kept, 2);
    close(kept);
    fclose(log);
    EXPECT_EQ("Error: Could not write all characters to file!\n"
              "Check if there is enough free space!\nFile: full/notes.txt\n",
              ReadText("stderr.log"));

    umount2((dir + "/ro").c_str(), MNT_DETACH);
    umount2((dir + "/full").c_str(), MNT_DETACH);
}

// ---- stored tables ----

TEST_F(DosLib, WriteTableLeavesOutBooleanPairsAndReadsBackTheRest)
{
    ASSERT_EQ(0, Call("openfile", [](lua_State *L) {
                  lua_pushnumber(L, 1);
                  lua_pushstring(L, "t.bin");
                  lua_pushnumber(L, 1006);
                  return 3;
              }));
    ASSERT_EQ(0, Call("writetable", [](lua_State *L) {
                  lua_pushnumber(L, 1);
                  lua_newtable(L);
                  lua_pushstring(L, "flag");
                  lua_pushboolean(L, 1);
                  lua_rawset(L, -3);
                  lua_pushstring(L, "n");
                  lua_pushnumber(L, 5);
                  lua_rawset(L, -3);
                  return 2;
              }));
    ASSERT_EQ(0, Call("closefile", [](lua_State *L) {
                  lua_pushnumber(L, 1);
                  return 1;
              }));
    // "KVT0", one string-keyed number, the end byte.
    EXPECT_EQ(std::string("KVT0\x03\x00\x00\x00\x01n\x02\x40\x14\0\0\0\0\0\0\0", 20), ReadText("t.bin"));
    ASSERT_EQ(0, Call("openfile", [](lua_State *L) {
                  lua_pushnumber(L, 2);
                  lua_pushstring(L, "t.bin");
                  return 2;
              }));
    int type = -1;
    double n = 0;
    ASSERT_EQ(0, Call("readtable",
                      [](lua_State *L) {
                          lua_pushnumber(L, 2);
                          return 1;
                      },
                      [&](lua_State *L) {
                          lua_pushstring(L, "flag");
                          lua_rawget(L, 1);
                          type = lua_type(L, -1);
                          lua_pushstring(L, "n");
                          lua_rawget(L, 1);
                          n = lua_tonumber(L, -1);
                      }));
    EXPECT_EQ(LUA_TNIL, type);
    EXPECT_EQ(5, n);
}

// ---- command tables ----

TEST(DosCommands, TheTablesHold52DosAnd9MemblockCommands)
{
    lua_State *L = lua_open();
    ASSERT_NE(L, nullptr);
    ASSERT_EQ(0, lua_cpcall(L, OpenLibs, nullptr));
    int dos = -1, memblock = -1;
    for (CommandTableNode *n = GetCommandTables(); n; n = n->next) {
        int count = 0;
        while (n->commands[count].name) count++;
        if (strcmp(n->libName, "dos") == 0) dos = count;
        if (strcmp(n->libName, "memblock") == 0) memblock = count;
    }
    EXPECT_EQ(52, dos);
    EXPECT_EQ(9, memblock);
    struct { const char *name; double value; } constants[] = {
        {"EOF", -1}, {"MODE_READWRITE", 1004}, {"MODE_READ", 1005}, {"MODE_WRITE", 1006},
        {"FREESPACE", 1}, {"USEDSPACE", 0}, {"IO_UNBUFFERED", 1}, {"COPYFILE_UNPROTECT", 2},
        {"DELETEFILE_UNPROTECT", 1}, {"FILEATTR_NORMAL", 65536}, {"FILEATTR_EXECUTE_OTH", 16384},
        {"FILEATTR_READONLY", 32768}, {"FILEATTR_DELETE_USR", 4}, {"DOSTYPE_DIRECTORY", 1},
    };
    for (const auto &c : constants) {
        lua_Number value = 12345;
        EXPECT_EQ(1, luaL_getconstant(L, c.name, nullptr, &value)) << c.name;
        EXPECT_EQ(c.value, value) << c.name;
    }
    lua_close(L);
    FreeCommandTables();
}

// The player's command-list export names them all.
TEST(DosCommands, ThePlayerListsThemWithPrivate1)
{
    std::string player = std::string(KV_BINARY_DIR) + "/KestroviaPlayer";
    if (access(player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player built";
    char tmpl[] = "/tmp/kvcmdlist.XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string cmd = "'" + player + "' none.kva -private1 '" + tmpl + "' -quiet >/dev/null 2>&1";
    ASSERT_EQ(0, system(cmd.c_str()));
    std::string list = ReadText(tmpl);
    unlink(tmpl);
    EXPECT_NE(list.find("::dos\n52\nOpenFile\nEof\n"), std::string::npos) << list;
    EXPECT_NE(list.find("ReadTable\nWriteTable\nGetCurrentDirectory\n"), std::string::npos);
    EXPECT_NE(list.find("::memblock\n9\nAllocMem\n"), std::string::npos);
}

// A linked program whose temporary copy cannot be written (the file-size limit of the player's
// process stops the copy) is not kept: the next Execute copies again and reports the same error
// instead of starting the truncated copy.
TEST(DosCommands, AFailedCopyOfALinkedProgramIsNotReused)
{
    std::string player = std::string(KV_BINARY_DIR) + "/KestroviaPlayer";
    std::string kvasm = std::string(KV_BINARY_DIR) + "/kvasm";
    if (access(player.c_str(), X_OK) != 0 || access(kvasm.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no player or kvasm built";
    char tmpl[] = "/tmp/kvlinkcopy.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::string tool = "#!/bin/sh\necho ran >> ran.txt\n" + std::string(8192, '#') + "\n";
    WriteText(dir + "/bigtool", tool);
    WriteText(dir + "/t.kvs", ".link \"tool\" \"bigtool\"\n"
                              "  cmd ExitOnError(0)\n"
                              "  cmd Execute(\"tool\")\n"
                              "  cmd r10 = GetLastError()\n"
                              "  cmd Execute(\"tool\")\n"
                              "  cmd r11 = GetLastError()\n"
                              "  cmd DebugPrint(r10, r11)\n"
                              "  return r0\n");
    std::string cd = "cd '" + dir + "' && ";
    ASSERT_EQ(0, system((cd + "'" + kvasm + "' -o t.kva t.kvs >/dev/null 2>&1").c_str()));
    // 1 block of file size: the 8 KB copy cannot be written; SIGXFSZ is ignored so that the
    // write fails instead of ending the player.
    std::string run = cd + "TMPDIR='" + dir + "' sh -c \"trap '' XFSZ; ulimit -f 1; exec '" + player +
                      "' t.kva -debugdevice 1 -quiet\" > out.txt 2>/dev/null";
    ASSERT_EQ(0, system(run.c_str()));
    EXPECT_EQ("1005 1005\n", ReadText(dir + "/out.txt"));
    EXPECT_FALSE(Exists(dir + "/ran.txt"));
    std::string leftovers = cd + "ls kestrovia-* >/dev/null 2>&1";
    EXPECT_NE(0, system(leftovers.c_str()));   // no temporary copy is left behind
    ASSERT_EQ(0, system(("rm -rf '" + dir + "'").c_str()));
}

// ---- platform calls ----

class OsFiles : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/kvosfiles.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(0, system(cmd.c_str()));
    }
    std::string P(const char *name) { return dir + "/" + name; }
};

mode_t ModeOf(const std::string &path)
{
    struct stat st;
    EXPECT_EQ(0, stat(path.c_str(), &st));
    return st.st_mode & 0777;
}

TEST_F(OsFiles, ProtectionBitsMapOneToOne)
{
    std::string f = P("f");
    WriteText(f, "x");
    struct Case { uint32_t flags; mode_t mode; } cases[] = {
        {1 | 2, 0600},
        {0x10000, 0644},
        {0x10000 | 8 | 0x4000, 0644},
        {8 | 0x800 | 0x4000, 0111},
        {0x200 | 0x400 | 0x1000 | 0x2000, 0066},
        {4 | 16 | 32, 0},   // flags without a permission bit
    };
    for (const Case &c : cases) {
        EXPECT_EQ(1, OsSetProtection(f.c_str(), c.flags));
        EXPECT_EQ(c.mode, ModeOf(f)) << std::hex << c.flags;
    }
    EXPECT_EQ(0, OsSetProtection(P("missing").c_str(), 1));
}

TEST_F(OsFiles, RenameNeverReplaces)
{
    WriteText(P("a"), "A");
    WriteText(P("b"), "B");
    EXPECT_EQ(0, OsRename(P("a").c_str(), P("b").c_str()));
    EXPECT_EQ("B", ReadText(P("b")));
    EXPECT_EQ(1, OsRename(P("a").c_str(), P("c").c_str()));
    EXPECT_EQ("A", ReadText(P("c")));
    EXPECT_FALSE(Exists(P("a")));
}

TEST_F(OsFiles, DatesDirectoriesAndTemporaryNames)
{
    std::string f = P("f");
    WriteText(f, "x");
    int64_t times[2] = {1000000000, 1200000000};
    EXPECT_EQ(1, OsSetFileDate(f.c_str(), times));
    struct stat st;
    ASSERT_EQ(0, stat(f.c_str(), &st));
    EXPECT_EQ(1000000000, st.st_atime);
    EXPECT_EQ(1200000000, st.st_mtime);

    EXPECT_EQ(0, OsMakeDir(P("d").c_str()));
    EXPECT_EQ(0755u, ModeOf(P("d")) & 0755u);
    EXPECT_EQ(1084, OsMakeDir(P("d").c_str()));

    char a[1024], b[1024];
    ASSERT_EQ(1, OsTempFileNameSuffix(a, sizeof(a), ".png"));
    ASSERT_EQ(1, OsTempFileNameSuffix(b, sizeof(b), ".png"));
    EXPECT_STRNE(a, b);
    EXPECT_TRUE(Exists(a));
    EXPECT_EQ(std::string(".png"), std::string(a).substr(strlen(a) - 4));
    unlink(a);
    unlink(b);
    EXPECT_EQ(0, OsTempFileNameSuffix(a, 8, ""));

    ASSERT_EQ(0, symlink(f.c_str(), P("l").c_str()));
    EXPECT_EQ(1, OsIsSymLink(P("l").c_str()));
    EXPECT_EQ(0, OsIsSymLink(f.c_str()));

    char volume[1024];
    EXPECT_EQ(0, OsGetVolumeName(dir.c_str(), volume, sizeof(volume)));
    EXPECT_EQ(0u, dir.find(volume));   // the mount point is a prefix of the path
    uint64_t freeBytes, usedBytes;
    EXPECT_EQ(0, OsGetVolumeInfo(dir.c_str(), &freeBytes, &usedBytes));
    EXPECT_GT(usedBytes, 0u);
    EXPECT_EQ(0, OsMatchPattern("*", "abc"));
}

bool WaitForFile(const std::string &path, const std::string &text)
{
    for (int i = 0; i < 500; i++) {
        if (ReadText(path) == text) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(OsFiles, LaunchSplitsQuotesAndReapsEveryChild)
{
    // A program whose path holds a blank and a quote: the shell must see it as one word.
    std::string tool = P("my 'tool");
    WriteText(tool, "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n");
    ASSERT_EQ(0, chmod(tool.c_str(), 0700));

    EXPECT_EQ(0, OsLaunch(tool.c_str(), "one \"two three\"", 0));
    EXPECT_EQ("one|two three|", ReadText(P("args.txt")));

    EXPECT_EQ(0, OsLaunch(tool.c_str(), "-x \"a b\" c", 1));
    EXPECT_TRUE(WaitForFile(P("args.txt"), "-x|a b|c|"));

    std::string many;
    for (int i = 0; i < 128; i++) many += "w ";
    EXPECT_EQ(1055, OsLaunch(tool.c_str(), many.c_str(), 1));
    EXPECT_EQ(1055, OsLaunch(tool.c_str(), "\"open", 1));
    EXPECT_EQ(0, OsLaunch(P("missing").c_str(), nullptr, 1));   // the exec fails in the child

    // Shell characters in the path start nothing else.
    std::string evil = P("x;touch injected");
    EXPECT_EQ(0, OsLaunch(evil.c_str(), nullptr, 0));
    EXPECT_FALSE(Exists("injected"));
    EXPECT_FALSE(Exists(P("injected")));

    // No child of this process is left behind, running or as a zombie.
    EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
}

}  // namespace
