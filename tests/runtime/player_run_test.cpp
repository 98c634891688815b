// The player binary end to end: start-up choices, the final report, exports, malformed and
// packed applets, and applets appended to a copy of the player.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <dirent.h>

#include "runtime/packfile.h"
#include "tests/common/command_output.h"
#include "tests/runtime/applet_fixture.h"

namespace {

const std::string Player = std::string(KV_BINARY_DIR) + "/KestroviaPlayer";

struct RunResult {
    std::string out;
    int status;
};

class PlayerRunTest : public ::testing::Test {
protected:
    std::string dir, tmp;
    void SetUp() override
    {
        char tmpl[] = "/tmp/kvplayer.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        tmp = dir + "/tmp";
        mkdir(tmp.c_str(), 0700);
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string P(const std::string &name) { return dir + "/" + name; }

    // Runs a command line in the test directory with TMPDIR pointing at a private folder and
    // a time limit, so that a hang fails instead of blocking.
    // With stderrOnly the result holds standard error instead of standard output.
    RunResult Run(const std::string &args, const std::string &program = Player, bool stderrOnly = false)
    {
        std::string cmd = "cd '" + dir + "' && TMPDIR='" + tmp +
                          "' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 20 '" + program + "' " + args +
                          (stderrOnly ? " 2>&1 >/dev/null" : " 2>/dev/null");
        RunResult r;
        r.status = RunCommandOutput(cmd, &r.out);
        return r;
    }

    int TempFilesLeft()
    {
        int n = 0;
        DIR *d = opendir(tmp.c_str());
        if (!d) return -1;
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') n++;
        closedir(d);
        return n;
    }

    // A copy of the player with the applet appended and the locator pointing at it.
    std::string AppendToPlayer(const std::string &appletBytes, const std::string &name)
    {
        std::string exe = ReadFileBytes(Player);
        std::string pattern("KVZ\0\0\0\0\0Quorvane", 16);
        size_t at = exe.find(pattern);
        if (at == std::string::npos) return "";
        uint32_t offset = (uint32_t)exe.size();
        exe[at + 40] = (char)(offset >> 24);
        exe[at + 41] = (char)(offset >> 16);
        exe[at + 42] = (char)(offset >> 8);
        exe[at + 43] = (char)offset;
        WriteFileBytes(P(name), exe + appletBytes);
        chmod(P(name).c_str(), 0755);
        return P(name);
    }
};

std::string FailingApplet(int line)
{
    Bytes s;
    s.u8(0x08).u32(1).u32(1).u32(100).u32(0).cstr("t.kvs");
    return Applet(s.s, FailingBytecode(line));
}

TEST_F(PlayerRunTest, NoArgumentsEndsSilently)
{
    RunResult r = Run("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(PlayerRunTest, FailingScriptReportsFileLineAndMessageOnce)
{
    WriteFileBytes(P("t.kva"), FailingApplet(3));
    RunResult r = Run("t.kva -debugdevice 1 -quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "t.kvs:3: Function nofunc() not found!\n");

    // Without QUIET the progress lines come first and the report is the one line after them.
    r = Run("t.kva -debugdevice 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Opening script t.kva...done\nCompiling script...done\nLoading applet t.kva...done\n"
                     "Preparing display\nAnd Action!\nt.kvs:3: Function nofunc() not found!\n");

    // A progress line cut short by an error ends with "failed"; the report has a line of its own.
    WriteFileBytes(P("bad.kva"), std::string("KVA\0\x55", 5));
    r = Run("bad.kva -debugdevice 1");
    EXPECT_EQ(r.out, "Opening script bad.kva...failed\nError: Unknown section in applet!\n");
    WriteFileBytes(P("bad.kva"), Applet("", "not bytecode"));
    r = Run("bad.kva -debugdevice 1");
    EXPECT_EQ(r.out, "Opening script bad.kva...done\nCompiling script...failed\n---:-1: Bad bytecode signature!\n");

    // SCRIPTALIAS names the script in the progress line.
    r = Run("t.kva -debugdevice 1 -scriptalias shown.kva");
    EXPECT_EQ(r.out.substr(0, 27), "Opening script shown.kva...");
}

TEST_F(PlayerRunTest, CleanAppletEndsSilently)
{
    WriteFileBytes(P("ok.kva"), Applet(""));
    RunResult r = Run("ok.kva -debugdevice 1 -quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(PlayerRunTest, CompileOptionIsRefusedAfterLoading)
{
    WriteFileBytes(P("ok.kva"), Applet(""));
    RunResult r = Run("ok.kva -compile out -debugdevice 1 -quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Error: Compilation is not possible with KestroviaPlayer!\n");
}

TEST_F(PlayerRunTest, Private1WritesTheCommandListAndLoadsNothing)
{
    RunResult r = Run("-private1 cmds.txt doesnotexist.kva -debugdevice 1 -quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    std::string list = ReadFileBytes(P("cmds.txt"));
    ASSERT_GE(list.size(), 6u);
    EXPECT_EQ(list.substr(list.size() - 6), "::end\n");

    r = Run("-private2 consts.txt doesnotexist.kva -debugdevice 1 -quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    struct stat st;
    EXPECT_EQ(stat(P("consts.txt").c_str(), &st), 0);
}

TEST_F(PlayerRunTest, StartupErrorsAreReported)
{
    struct Case {
        const char *what;
        std::string data;  // written to t.kva unless empty
        std::string args;
        std::string out;
    } cases[] = {
        {"missing file", "", "missing.kva -debugdevice 1 -quiet", "Error: File missing.kva does not exist!\n"},
        {"plain text", "Print(1)\n", "t.kva -debugdevice 1 -quiet", "Error: t.kva is no Kestrovia applet!\n"},
        {"too short", "KVA", "t.kva -debugdevice 1 -quiet", "Error: t.kva is no Kestrovia applet!\n"},
        {"unknown tag", std::string("KVA\0\x55", 5), "t.kva -debugdevice 1 -quiet", "Error: Unknown section in applet!\n"},
        {"truncated", std::string("KVA\0\x05\x01", 6), "t.kva -debugdevice 1 -quiet", "Error: Unexpected end of file!\n"},
        {"version 4.8", std::string("KVA\0\x0a\x04\x08", 7), "t.kva -debugdevice 1 -quiet",
         "Error: This applet requires at least Kestrovia 4.8!\n"},
        {"version 5.0", std::string("KVA\0\x0a\x05\x00", 7), "t.kva -debugdevice 1 -quiet",
         "Error: This applet requires at least Kestrovia 5.0!\n"},
        {"negative 16-bit length", std::string("KVA\0\x04\xff\xff", 7) + "abc", "t.kva -debugdevice 1 -quiet",
         "Error: Unexpected end of file!\n"},
        // The bytecode is loaded with line information on, but no line is known yet.
        {"bad bytecode", Applet("", "not bytecode"), "t.kva -debugdevice 1 -quiet", "---:-1: Bad bytecode signature!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.data.empty()) WriteFileBytes(P("t.kva"), c.data);
        RunResult r = Run(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
    }
}

// An error found before the options are applied is shown in a requester, which on a headless
// run is one line on standard error.
TEST_F(PlayerRunTest, OptionErrorBeforeDebugDeviceGoesToTheRequester)
{
    RunResult r = Run("a.kva b.kva -debugdevice 1", Player, true);
    EXPECT_NE(r.out.find("Wrong arguments specified!"), std::string::npos) << r.out;
    r = Run("a.kva b.kva -debugdevice 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(PlayerRunTest, DeclaredDisplayOpens)
{
    // A display section declares the first display: the applet runs with it.
    WriteFileBytes(P("t.kva"), Applet(Bytes().u8(0x03).u16(320).u16(200).s));
    RunResult r = Run("t.kva -debugdevice 1 -quiet");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST_F(PlayerRunTest, PackedAppletRunsLikeThePlainOneAndLeavesNoTemporaryFile)
{
    WriteFileBytes(P("plain.kva"), FailingApplet(7));
    ASSERT_EQ(DeflateFile("KVZ\0", P("plain.kva").c_str(), P("packed.kva").c_str(), nullptr), 0);
    RunResult plain = Run("plain.kva -debugdevice 1 -quiet");
    RunResult packed = Run("packed.kva -debugdevice 1 -quiet");
    EXPECT_EQ(plain.out, "t.kvs:7: Function nofunc() not found!\n");
    EXPECT_EQ(packed.out, plain.out);
    EXPECT_EQ(packed.status, 0);
    EXPECT_EQ(TempFilesLeft(), 0);

    // A packed applet with a damaged stream fails and still leaves nothing behind.
    std::string bytes = ReadFileBytes(P("packed.kva"));
    bytes.resize(bytes.size() - 5);
    WriteFileBytes(P("broken.kva"), bytes);
    RunResult broken = Run("broken.kva -debugdevice 1 -quiet");
    EXPECT_EQ(broken.out, "Error: Invalid or incomplete deflate data (zlib)!\n");
    EXPECT_EQ(TempFilesLeft(), 0);
}

TEST_F(PlayerRunTest, PlayerHoldsExactlyOneLocator)
{
    std::string exe = ReadFileBytes(Player);
    std::string locator("KVZ\0\0\0\0\0Quorvane", 16);
    locator += std::string(24, '\0');
    locator += std::string("\xde\xad\xc0\xde\xc0\xde\xca\xfe\xc0\xca\xc0\x1a\0", 13);
    ASSERT_EQ(locator.size(), 53u);
    size_t first = exe.find(locator);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(exe.find(locator, first + 1), std::string::npos);
}

TEST_F(PlayerRunTest, AppendedAppletAlwaysRunsItsOwnApplet)
{
    std::string failing = FailingApplet(5);
    std::string exe = AppendToPlayer(failing, "plainapp");
    ASSERT_FALSE(exe.empty());
    // Quiet is forced: no progress lines, only the report.
    RunResult r = Run("-debugdevice 1", exe);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "t.kvs:5: Function nofunc() not found!\n");
    // A named script is ignored.
    WriteFileBytes(P("other.kva"), Applet(""));
    r = Run("other.kva -debugdevice 1", exe);
    EXPECT_EQ(r.out, "t.kvs:5: Function nofunc() not found!\n");

    // Packed and appended.
    WriteFileBytes(P("plain.kva"), failing);
    ASSERT_EQ(DeflateFile("KVZ\0", P("plain.kva").c_str(), P("packed.kvz").c_str(), nullptr), 0);
    std::string packedExe = AppendToPlayer(ReadFileBytes(P("packed.kvz")), "packedapp");
    r = Run("-debugdevice 1", packedExe);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "t.kvs:5: Function nofunc() not found!\n");
    EXPECT_EQ(TempFilesLeft(), 0);

    // An appended applet that ends normally prints nothing.
    std::string quietExe = AppendToPlayer(Applet(""), "okapp");
    r = Run("", quietExe);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

// Copies of the player with an applet appended by kvasm --append (plain and packed) run their
// own applet and read the file linked into it; no file of that name exists on disk.
TEST_F(PlayerRunTest, AppendedAppletReadsItsLinkedFile)
{
    const std::string kvasm = std::string(KV_BINARY_DIR) + "/kvasm";
    struct stat st;
    ASSERT_EQ(stat(kvasm.c_str(), &st), 0) << "kvasm is built with the player";
    WriteFileBytes(P("source.txt"), "linked line\nsecond\n");
    WriteFileBytes(P("reader.kvs"),
                   ".link \"data.txt\" \"source.txt\"\n"
                   "  cmd OpenFile(1, \"data.txt\")\n"
                   "  cmd r5 = ReadLine(1)\n"
                   "  cmd DebugPrint(\"read:\", r5)\n"
                   "  cmd CloseFile(1)\n"
                   "  return r0\n");
    for (const char *pack : {"", " --pack"}) {
        SCOPED_TRACE(pack);
        std::string exe = P(std::string("reader") + (pack[0] ? "_packed" : "_plain"));
        std::string cmd = "cd '" + dir + "' && '" + kvasm + "' --append '" + Player + "'" + pack +
                          " -o '" + exe + "' reader.kvs >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        RunResult r = Run("other.kva -debugdevice 1", exe);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "read: linked line\n");
        EXPECT_EQ(TempFilesLeft(), 0);
    }
    EXPECT_NE(stat(P("data.txt").c_str(), &st), 0);
}

}  // namespace
