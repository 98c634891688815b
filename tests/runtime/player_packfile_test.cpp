// Packed files: KVPK round trips, corrupt streams, offsets, linked sources, and the refusal to
// pack or unpack a file onto itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/packfile.h"
#include "runtime/vm/api.h"

namespace {

std::string ReadAll(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    return data;
}

void WriteAll(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class PackFileTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/kvpack.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string P(const char *name) { return dir + "/" + name; }
};

std::string Pseudorandom(size_t n, unsigned seed)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        // Mix random bytes with runs so that the data compresses but not trivially.
        s[i] = (i / 700) % 2 ? (char)(seed >> 24) : (char)('a' + (i % 26));
    }
    return s;
}

TEST_F(PackFileTest, RoundTripGivesTheSameBytes)
{
    // Sizes around the 16384-byte buffers, and an empty file.
    for (size_t size : {(size_t)0, (size_t)1, (size_t)16383, (size_t)16384, (size_t)16385, (size_t)100000}) {
        SCOPED_TRACE(size);
        std::string data = Pseudorandom(size, (unsigned)size);
        WriteAll(P("src"), data);
        int64_t packedSize = -1, unpackedSize = -1;
        ASSERT_EQ(DeflateFile("KVPK", P("src").c_str(), P("packed").c_str(), &packedSize), 0);
        std::string packed = ReadAll(P("packed"));
        EXPECT_EQ(packedSize, (int64_t)packed.size());
        ASSERT_GE(packed.size(), 8u);
        EXPECT_EQ(packed.substr(0, 8), std::string("KVPK\0\0\0\0", 8));
        ASSERT_EQ(InflateFile("KVPK", P("packed").c_str(), P("back").c_str(), 0, &unpackedSize), 0);
        EXPECT_EQ(unpackedSize, (int64_t)size);
        EXPECT_TRUE(ReadAll(P("back")) == data);
    }
}

TEST_F(PackFileTest, EmptyFileIsHeaderAndAnEmptyStream)
{
    WriteAll(P("empty"), "");
    ASSERT_EQ(DeflateFile("KVPK", P("empty").c_str(), P("packed").c_str(), nullptr), 0);
    std::string packed = ReadAll(P("packed"));
    // zlib header, a final empty block and the Adler-32 of nothing (1).
    EXPECT_EQ(packed.size(), 8u + 8u);
    EXPECT_EQ(packed.substr(packed.size() - 4), std::string("\0\0\0\1", 4));
}

TEST_F(PackFileTest, CorruptAndTruncatedStreamsFail)
{
    WriteAll(P("src"), Pseudorandom(50000, 7));
    ASSERT_EQ(DeflateFile("KVPK", P("src").c_str(), P("packed").c_str(), nullptr), 0);
    std::string packed = ReadAll(P("packed"));

    std::string corrupt = packed;
    corrupt[corrupt.size() / 2] ^= 0x55;
    corrupt[corrupt.size() / 2 + 1] ^= 0xaa;
    WriteAll(P("corrupt"), corrupt);
    EXPECT_EQ(InflateFile("KVPK", P("corrupt").c_str(), P("out1").c_str(), 0, nullptr), 1309);

    WriteAll(P("truncated"), packed.substr(0, packed.size() - 10));
    EXPECT_EQ(InflateFile("KVPK", P("truncated").c_str(), P("out2").c_str(), 0, nullptr), 1309);

    WriteAll(P("headeronly"), packed.substr(0, 8));
    EXPECT_EQ(InflateFile("KVPK", P("headeronly").c_str(), P("out3").c_str(), 0, nullptr), 1309);

    // A damaged zlib header is a data error too.
    std::string badHeader = packed;
    badHeader[8] = 0x12;
    WriteAll(P("badheader"), badHeader);
    EXPECT_EQ(InflateFile("KVPK", P("badheader").c_str(), P("out4").c_str(), 0, nullptr), 1309);
}

TEST_F(PackFileTest, WrongMagicCreatesNoDestination)
{
    WriteAll(P("plain"), "this is no packed file at all");
    EXPECT_EQ(InflateFile("KVPK", P("plain").c_str(), P("out").c_str(), 0, nullptr), 1310);
    EXPECT_FALSE(Exists(P("out")));
    WriteAll(P("tiny"), "KV");
    EXPECT_EQ(InflateFile("KVPK", P("tiny").c_str(), P("out").c_str(), 0, nullptr), 1310);
    EXPECT_FALSE(Exists(P("out")));
}

TEST_F(PackFileTest, MissingSourceAndUnwritableDestination)
{
    EXPECT_EQ(DeflateFile("KVPK", P("nothere").c_str(), P("out").c_str(), nullptr), 1045);
    EXPECT_STREQ(GetErrorArgString(), P("nothere").c_str());
    EXPECT_EQ(InflateFile("KVPK", P("nothere").c_str(), P("out").c_str(), 0, nullptr), 1045);
    WriteAll(P("src"), "abc");
    EXPECT_EQ(DeflateFile("KVPK", P("src").c_str(), P("no/such/dir/out").c_str(), nullptr), 1052);
}

TEST_F(PackFileTest, StreamAtAnOffsetWithItsOwnMagic)
{
    std::string data = Pseudorandom(30000, 3);
    WriteAll(P("src"), data);
    ASSERT_EQ(DeflateFile("KVZ\0", P("src").c_str(), P("packed").c_str(), nullptr), 0);
    std::string prefix(12345, 'x');
    WriteAll(P("combined"), prefix + ReadAll(P("packed")));
    int64_t size = 0;
    ASSERT_EQ(InflateFile("KVZ\0", P("combined").c_str(), P("back").c_str(), (int64_t)prefix.size(), &size), 0);
    EXPECT_EQ(size, (int64_t)data.size());
    EXPECT_TRUE(ReadAll(P("back")) == data);
    // The same bytes with the wrong magic are refused.
    EXPECT_EQ(InflateFile("KVPK", P("combined").c_str(), P("back2").c_str(), (int64_t)prefix.size(), nullptr), 1310);
}

TEST_F(PackFileTest, LinkedFileIsUnpackedFromItsContainer)
{
    std::string data = Pseudorandom(20000, 9);
    WriteAll(P("src"), data);
    ASSERT_EQ(DeflateFile("KVPK", P("src").c_str(), P("packed").c_str(), nullptr), 0);
    std::string packed = ReadAll(P("packed"));
    WriteAll(P("container"), std::string(100, 'c') + packed + std::string(50, 't'));
    char name[KV_PATH_SIZE];
    ASSERT_NE(MakeChunkName("data.pak", name, sizeof name, 100, (uint32_t)packed.size(), 0,
                            P("container").c_str(), nullptr), nullptr);
    ASSERT_EQ(InflateFile("KVPK", name, P("back").c_str(), 0, nullptr), 0);
    EXPECT_TRUE(ReadAll(P("back")) == data);
}

TEST_F(PackFileTest, FileIsNeverPackedOrUnpackedOntoItself)
{
    std::string data = Pseudorandom(40000, 11);
    WriteAll(P("src"), data);
    // The same name, and another spelling of the same file.
    std::string other = dir + "/./sub/../src";
    mkdir(P("sub").c_str(), 0755);
    EXPECT_EQ(DeflateFile("KVPK", P("src").c_str(), P("src").c_str(), nullptr), 1052);
    EXPECT_EQ(DeflateFile("KVPK", P("src").c_str(), other.c_str(), nullptr), 1052);
    EXPECT_TRUE(ReadAll(P("src")) == data);

    ASSERT_EQ(DeflateFile("KVPK", P("src").c_str(), P("packed").c_str(), nullptr), 0);
    std::string packed = ReadAll(P("packed"));
    EXPECT_EQ(InflateFile("KVPK", P("packed").c_str(), P("packed").c_str(), 0, nullptr), 1052);
    EXPECT_TRUE(ReadAll(P("packed")) == packed);

    // A hard link is the same file under another name.
    ASSERT_EQ(link(P("packed").c_str(), P("hardlink").c_str()), 0);
    EXPECT_EQ(InflateFile("KVPK", P("packed").c_str(), P("hardlink").c_str(), 0, nullptr), 1052);
    EXPECT_TRUE(ReadAll(P("packed")) == packed);

    // A linked file's container is the file being read.
    WriteAll(P("container"), std::string(10, 'c') + packed);
    char name[KV_PATH_SIZE];
    ASSERT_NE(MakeChunkName("x.pak", name, sizeof name, 10, (uint32_t)packed.size(), 0,
                            P("container").c_str(), nullptr), nullptr);
    std::string before = ReadAll(P("container"));
    EXPECT_EQ(InflateFile("KVPK", name, P("container").c_str(), 0, nullptr), 1052);
    EXPECT_TRUE(ReadAll(P("container")) == before);
}

TEST_F(PackFileTest, CommandsReturnTheSizes)
{
    lua_State *L = lua_open();
    ASSERT_NE(L, nullptr);
    std::string data = Pseudorandom(5000, 5);
    WriteAll(P("src"), data);

    lua_settop(L, 0);
    lua_pushstring(L, P("src").c_str());
    lua_pushstring(L, P("packed").c_str());
    ASSERT_EQ(CompressFileCmd(L), 1);
    EXPECT_EQ(lua_tonumber(L, -1), (lua_Number)ReadAll(P("packed")).size());

    lua_settop(L, 0);
    lua_pushstring(L, P("packed").c_str());
    lua_pushstring(L, P("back").c_str());
    ASSERT_EQ(DecompressFileCmd(L), 1);
    EXPECT_EQ(lua_tonumber(L, -1), 5000);
    EXPECT_TRUE(ReadAll(P("back")) == data);

    // A source linked into the applet is read from its container.
    std::string packed = ReadAll(P("packed"));
    WriteAll(P("applet"), std::string(64, 'a') + packed);
    LinkedFileEntry entry = {};
    snprintf(entry.name, sizeof entry.name, "%s", "data.pak");
    entry.offset = 64;
    entry.size = (uint32_t)packed.size();
    std::string container = P("applet");
    SetLinkedFiles(&entry, 0, container.c_str());
    lua_settop(L, 0);
    lua_pushstring(L, "Data.PAK");
    lua_pushstring(L, P("fromlinked").c_str());
    EXPECT_EQ(DecompressFileCmd(L), 1);
    SetLinkedFiles(nullptr, 0, nullptr);
    EXPECT_TRUE(ReadAll(P("fromlinked")) == data);

    lua_settop(L, 0);
    lua_pushstring(L, P("packed").c_str());
    lua_pushstring(L, P("packed").c_str());
    EXPECT_EQ(DecompressFileCmd(L), 1052);
    lua_settop(L, 0);
    lua_pushstring(L, P("src").c_str());
    lua_pushstring(L, P("src").c_str());
    EXPECT_EQ(CompressFileCmd(L), 1052);
    EXPECT_TRUE(ReadAll(P("src")) == data);
    lua_close(L);
}

}  // namespace
