// What the real player reports of itself: the system library's 57 commands in the -private1
// list, and GetProgramInfo of a player that carries its applet appended.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const std::string Player = std::string(KV_BINARY_DIR) + "/KestroviaPlayer";
const std::string Kvasm = std::string(KV_BINARY_DIR) + "/kvasm";

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SystemCommands, ThePlayerListsAll57)
{
    if (access(Player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player built";
    char tmpl[] = "/tmp/kvsyslist.XXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string cmd = "'" + Player + "' none.kva -private1 '" + tmpl + "' -quiet >/dev/null 2>&1";
    ASSERT_EQ(0, system(cmd.c_str()));
    std::string list = ReadText(tmpl);
    unlink(tmpl);
    size_t at = list.find("::system\n57\n");
    ASSERT_NE(at, std::string::npos) << list;
    EXPECT_NE(list.find("GetConstant\nSystemRequest\nFileRequest\nPathRequest\nStringRequest\n"
                        "SetClipboard\nGetClipboard\nPeekClipboard\nClearClipboard\nOpenURL\n"
                        "GetVersion\nGetCommandLine\nGetProgramInfo\nGetMemoryInfo\n::",
                        at),
              std::string::npos)
        << list;
}

// Assembles the script in a fresh directory and runs it, as an applet file, or appended to a
// copy of the player named "myprogram"; its standard output.
std::string RunScript(const std::string &script, bool appended)
{
    char tmpl[] = "/tmp/kvsysprogram.XXXXXX";
    if (!mkdtemp(tmpl)) return "<no directory>";
    std::string dir = tmpl, cd = "cd '" + dir + "' && ";
    std::ofstream(dir + "/s.kvs") << script;
    std::string assemble = "'" + Kvasm + "' " + (appended ? "--append '" + Player + "' -o myprogram " : "") + "s.kvs";
    std::string run = appended ? "./myprogram" : "'" + Player + "' s.kva -quiet";
    std::string out = "<failed>";
    if (system((cd + assemble + " >/dev/null 2>&1").c_str()) == 0 &&
        system((cd + run + " -debugdevice 1 > out.txt 2>/dev/null").c_str()) == 0)
        out = ReadText(dir + "/out.txt");
    if (system(("/bin/rm -rf '" + dir + "'").c_str()) != 0) out += "<not removed>";
    return out;
}

TEST(SystemCommands, AnAppendedAppletIsAProgramOfTwoResults)
{
    if (access(Player.c_str(), X_OK) != 0 || access(Kvasm.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no player or kvasm built";
    EXPECT_EQ(RunScript(".func collect vararg\n"
                        "  return r0, 1\n"
                        ".end\n"
                        "  closure r0, collect\n"
                        "  getglobal r1, \"getprograminfo\"\n"
                        "  call r1, 0, *\n"
                        "  call r0, *, 1\n"
                        "  cmd r1 = RawGet(r0, \"n\")\n"
                        "  cmd r2 = RawGet(r0, 0)\n"
                        "  cmd r3 = RawGet(r0, 1)\n"
                        "  cmd r3 = FilePart(r3)\n"
                        "  cmd DebugPrint(r1, r2, r3)\n"
                        "  return r0\n",
                        true),
              "2 2 myprogram\n");
}

// The memory size is the machine's, saturated rather than wrapped at 4294967295.
TEST(SystemCommands, GetMemoryInfoSaturates)
{
    if (access(Player.c_str(), X_OK) != 0 || access(Kvasm.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no player or kvasm built";
    unsigned long long bytes = (unsigned long long)sysconf(_SC_PHYS_PAGES) * (unsigned long long)sysconf(_SC_PAGESIZE);
    if (bytes > 4294967295ull) bytes = 4294967295ull;
    EXPECT_EQ(RunScript("  cmd r1 = GetMemoryInfo(#FASTMEMORY)\n"
                        "  cmd DebugPrint(r1)\n"
                        "  return r0\n",
                        false),
              std::to_string(bytes) + "\n");
}

}  // namespace
