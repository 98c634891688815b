// File layer: plain files, sections of containers and of memory, virtual and PROGDIR: names,
// linked-file resolution, path routines and lock wrappers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/vm/api.h"

namespace {

std::string ReadAll(const std::string &path)
{
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    int c;
    while ((c = fgetc(f)) != EOF) out.push_back((char)c);
    fclose(f);
    return out;
}

void WriteAll(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

class FileLayerTest : public ::testing::Test {
protected:
    std::string dir;
    std::string container;   // 100 bytes 'a', the 20 bytes "0123456789ABCDEFGHIJ", 30 bytes 'z'

    void SetUp() override
    {
        char tmpl[] = "/tmp/kv_filelayer_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        container = dir + "/container.bin";
        WriteAll(container, std::string(100, 'a') + "0123456789ABCDEFGHIJ" + std::string(30, 'z'));
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string ChunkName(uint64_t offset, uint32_t size)
    {
        char buf[KV_PATH_SIZE];
        EXPECT_NE(MakeChunkName("inner/data.bin", buf, sizeof(buf), (int64_t)offset, size, 0,
                                container.c_str(), nullptr),
                  nullptr);
        return buf;
    }
};

TEST_F(FileLayerTest, SectionReadsExactlyItsBytes)
{
    std::string name = ChunkName(100, 20);
    EXPECT_EQ(name, ":::chunk100:20*data.bin/" + container);
    FileHandle *fh = FOpen(name.c_str(), FMODE_READ);
    ASSERT_NE(fh, nullptr);
    EXPECT_EQ(fh->size, 20);
    char buf[64] = {0};
    EXPECT_EQ(FRead(fh, buf, 50), 20u);
    EXPECT_EQ(std::string(buf, 20), "0123456789ABCDEFGHIJ");
    EXPECT_EQ(FGetC(fh), -1);
    EXPECT_EQ(FEof(fh), 1);
    EXPECT_EQ(FRead(fh, buf, 5), 0u);
    EXPECT_EQ(FClose(fh), 1);
}

TEST_F(FileLayerTest, SectionSeeksClampAtBothEnds)
{
    FileHandle *fh = FOpen(ChunkName(100, 20).c_str(), FMODE_READ);
    ASSERT_NE(fh, nullptr);
    // Past the end: lands at the end.
    FSeek(fh, 1000, FSEEK_START);
    EXPECT_EQ(fh->position, 20);
    EXPECT_EQ(FGetC(fh), -1);
    // From the end: lands at the end without touching the size.
    EXPECT_EQ(FSeek(fh, 0, FSEEK_END), 20);
    EXPECT_EQ(fh->size, 20);
    // Before the start: lands at the start, never in the container's bytes before it.
    FSeek(fh, -50, FSEEK_START);
    EXPECT_EQ(fh->position, 0);
    EXPECT_EQ(FGetC(fh), '0');
    FSeek(fh, -1000, FSEEK_CURRENT);
    EXPECT_EQ(FGetC(fh), '0');
    FSeek(fh, -3, FSEEK_END);
    EXPECT_EQ(FGetC(fh), 'H');
    // Seeking back and forth returns the previous position.
    EXPECT_EQ(FSeek(fh, 5, FSEEK_START), 18);
    EXPECT_EQ(FGetC(fh), '5');
    FClose(fh);
}

TEST_F(FileLayerTest, VirtualNamesAreRefusedForWriting)
{
    std::string name = ChunkName(100, 20);
    EXPECT_EQ(FOpen(name.c_str(), FMODE_WRITE), nullptr);
    EXPECT_EQ(FOpen(name.c_str(), FMODE_READWRITE), nullptr);
    EXPECT_EQ(ReadAll(container).size(), 150u);   // the container is untouched
}

TEST_F(FileLayerTest, MalformedVirtualNamesFail)
{
    const char *names[] = {":::chunk", ":::chunkx:1*a/b", ":::chunk1:*a/b", ":::chunk1:2*nobar",
                           ":::chunk1:2/a", ":::chunk-5:2*a/b"};
    for (const char *n : names) EXPECT_EQ(FOpen(n, FMODE_READ), nullptr) << n;
    // A container that does not exist.
    EXPECT_EQ(FOpen((":::chunk0:2*a/" + dir + "/missing").c_str(), FMODE_READ), nullptr);
    // A section whose end lies beyond the largest file offset: its end could not be computed
    // (seeking in it overflowed).
    EXPECT_EQ(FOpen((":::chunk9223372036854775000:5000*a/" + container).c_str(), FMODE_READ), nullptr);
    EXPECT_EQ(FOpen((":::chunk1:9223372036854775807*a/" + container).c_str(), FMODE_READ), nullptr);
}

TEST_F(FileLayerTest, ReadWriteDirectionChangesInReadWriteMode)
{
    std::string path = dir + "/rw.txt";
    WriteAll(path, "abcdef");
    FileHandle *fh = FOpen(path.c_str(), FMODE_READWRITE);
    ASSERT_NE(fh, nullptr);
    EXPECT_EQ(fh->size, 6);
    EXPECT_EQ(FGetC(fh), 'a');
    EXPECT_EQ(FGetC(fh), 'b');
    EXPECT_EQ(FWrite(fh, "XY", 2), 2u);    // read -> write
    EXPECT_EQ(FGetC(fh), 'e');             // write -> read
    EXPECT_EQ(FPutC(fh, 'Q'), 'Q');        // read -> write
    EXPECT_EQ(fh->position, 6);
    EXPECT_EQ(FPutC(fh, '!'), '!');        // grows the file
    EXPECT_EQ(fh->size, 7);
    FSeek(fh, 0, FSEEK_START);
    char buf[16] = {0};
    EXPECT_EQ(FRead(fh, buf, sizeof(buf)), 7u);
    EXPECT_STREQ(buf, "abXYeQ!");
    FClose(fh);
    EXPECT_EQ(ReadAll(path), "abXYeQ!");
}

TEST_F(FileLayerTest, ReadWriteModeCreatesMissingFileAndWriteModeHasNoSize)
{
    std::string path = dir + "/new.txt";
    FileHandle *fh = FOpen(path.c_str(), FMODE_READWRITE);
    ASSERT_NE(fh, nullptr);
    EXPECT_EQ(fh->size, 0);
    FWrite(fh, "hi", 2);
    FClose(fh);
    EXPECT_EQ(ReadAll(path), "hi");

    fh = FOpen(path.c_str(), FMODE_WRITE);
    ASSERT_NE(fh, nullptr);
    EXPECT_EQ(fh->size, -1);
    FWrite(fh, "12345", 5);
    EXPECT_EQ(FSeek(fh, -2, FSEEK_END), 5);   // unknown size: seeks the stream's end
    EXPECT_EQ(fh->position, 3);
    FPutC(fh, 'x');
    FClose(fh);
    EXPECT_EQ(ReadAll(path), "123x5");

    EXPECT_EQ(FOpen((dir + "/missing.txt").c_str(), FMODE_READ), nullptr);
    // A directory is no file, neither directly nor as a container.
    EXPECT_EQ(FOpen(dir.c_str(), FMODE_READ), nullptr);
    EXPECT_EQ(FOpen((":::chunk0:2*a/" + dir).c_str(), FMODE_READ), nullptr);
}

TEST_F(FileLayerTest, ProgDirNamesOpenBesideTheExecutable)
{
    char exe[KV_PATH_SIZE];
    ASSERT_EQ(OsGetExecutablePath(0, nullptr, exe, sizeof(exe)), 1);
    *DirPartEnd(exe) = 0;
    std::string folder = std::string(exe) + "kv_progdir_" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    WriteAll(folder + "/inside.txt", "progdir!");
    std::string name = "PROGDIR:kv_progdir_" + std::to_string(getpid()) + "/inside.txt";
    FileHandle *fh = FOpen(name.c_str(), FMODE_READ);
    ASSERT_NE(fh, nullptr);
    char buf[16] = {0};
    EXPECT_EQ(FRead(fh, buf, sizeof(buf)), 8u);
    EXPECT_STREQ(buf, "progdir!");
    FClose(fh);
    unlink((folder + "/inside.txt").c_str());
    rmdir(folder.c_str());
}

TEST_F(FileLayerTest, MemorySectionsOnlyOpenRegisteredMemory)
{
    static const char data[] = "memory section bytes";
    char name[KV_PATH_SIZE];
    ASSERT_NE(MakeChunkName("m.txt", name, sizeof(name), -1, 6, 0, nullptr, data + 7), nullptr);
    EXPECT_EQ(strncmp(name, ":::chunkS0:6*m.txt/", 19), 0);
    // Not registered: refused, so a script-made name cannot read arbitrary memory.
    EXPECT_EQ(FOpen(name, FMODE_READ), nullptr);

    ASSERT_EQ(RegisterMemorySection(data, sizeof(data)), 0);
    FileHandle *fh = FOpen(name, FMODE_READ);
    ASSERT_NE(fh, nullptr);
    char buf[16] = {0};
    EXPECT_EQ(FRead(fh, buf, sizeof(buf)), 6u);
    EXPECT_STREQ(buf, "sectio");
    EXPECT_EQ(FGetC(fh), -1);
    FSeek(fh, -2, FSEEK_CURRENT);
    EXPECT_EQ(FGetC(fh), 'i');
    EXPECT_EQ(FPutC(fh, 'x'), -1);   // never written through
    FClose(fh);

    // A range running past the registered block is refused too.
    ASSERT_NE(MakeChunkName("m.txt", name, sizeof(name), -1, 100, 0, nullptr, data + 7), nullptr);
    EXPECT_EQ(FOpen(name, FMODE_READ), nullptr);
    UnregisterMemorySection(data);
    ASSERT_NE(MakeChunkName("m.txt", name, sizeof(name), -1, 6, 0, nullptr, data + 7), nullptr);
    EXPECT_EQ(FOpen(name, FMODE_READ), nullptr);
}

TEST(FileLayerNames, FixedBuffersFailCleanlyOnTruncation)
{
    char small[24];
    memset(small, 'x', sizeof(small));
    EXPECT_EQ(MakeChunkName("file.txt", small, sizeof(small), 100, 20, 0, "/some/long/container/path", nullptr), nullptr);
    EXPECT_STREQ(small, "");

    char path[12] = "dir";
    EXPECT_EQ(AddPart(path, "toolongname", sizeof(path)), 0);
    EXPECT_STREQ(path, "dir");
    EXPECT_EQ(AddPart(path, "file.txt", sizeof(path)), 0);   // one byte short
    EXPECT_EQ(AddPart(path, "file.tx", sizeof(path)), 1);    // fits exactly
    EXPECT_STREQ(path, "dir/file.tx");
}

TEST(FileLayerNames, GetFilePartAndDirPartEnd)
{
    struct { const char *path, *file, *dirEnd; } cases[] = {
        {":::chunk100:20*pic.png//home/u/app.kva", "pic.png", nullptr},
        {"a", "a", "a"},
        {"dir/", "", ""},
        {"a/b/c.txt", "c.txt", "c.txt"},
        {"a\\b\\c.txt", "c.txt", "c.txt"},
        {"PROGDIR:x.png", "x.png", "x.png"},
        {"PROGDIR:sub/x.png", "x.png", "x.png"},
        {"/file", "file", "file"},
        {"//file", "file", "file"},
        {"name.txt", "name.txt", "name.txt"},
    };
    for (auto &c : cases) {
        EXPECT_STREQ(GetFilePart(c.path), c.file) << c.path;
        if (c.dirEnd) {
            EXPECT_STREQ(DirPartEnd(c.path), c.dirEnd) << c.path;
        }
    }
    char path[64] = "";
    EXPECT_EQ(AddPart(path, "x", sizeof(path)), 1);
    EXPECT_STREQ(path, "x");
    strcpy(path, "a\\");
    AddPart(path, "b", sizeof(path));
    EXPECT_STREQ(path, "a\\b");
}

TEST_F(FileLayerTest, ResolveLinkedFileFindsFilesAndFonts)
{
    // An applet that starts 4 bytes into its container; data offsets are relative to that.
    LinkedFileEntry pic = {}, font = {}, ttf = {};
    strcpy(pic.name, "gfx/Pic.png");
    pic.offset = 96;     // absolute 100
    pic.size = 5;
    strcpy(font.name, "::font:MyFont");
    font.offset = 101;   // absolute 105
    font.size = 3;
    strcpy(ttf.name, "sans.ttf");
    strcpy(ttf.container, "/elsewhere/fonts.bin");
    ttf.offset = 0;
    ttf.size = 7;
    pic.next = &font;
    font.next = &ttf;

    const char *plain = "gfx/pic.png";
    EXPECT_EQ(ResolveLinkedFile(nullptr, plain, 0, nullptr), plain);   // no list yet

    SetLinkedFiles(&pic, 4, container.c_str());
    int fontFound = -1;
    const char *r = ResolveLinkedFile(nullptr, "GFX/PIC.PNG", 0, &fontFound);
    EXPECT_EQ(std::string(r), ":::chunk100:5*Pic.png/" + container);
    EXPECT_EQ(fontFound, 0);
    FileHandle *fh = FOpen(r, FMODE_READ);
    ASSERT_NE(fh, nullptr);
    char buf[8] = {0};
    EXPECT_EQ(FRead(fh, buf, 8), 5u);
    EXPECT_STREQ(buf, "01234");
    FClose(fh);

    r = ResolveLinkedFile(nullptr, "myfont.font", 1, &fontFound);
    EXPECT_EQ(std::string(r), ":::chunk105:3*MyFont/" + container);
    EXPECT_EQ(fontFound, 1);
    r = ResolveLinkedFile(nullptr, "MyFont", 1, &fontFound);
    EXPECT_EQ(fontFound, 1);

    // Fonts are not plain files and plain files are not fonts.
    const char *name = "MyFont";
    EXPECT_EQ(ResolveLinkedFile(nullptr, name, 0, &fontFound), name);
    EXPECT_EQ(fontFound, 0);
    name = "gfx/pic.png";
    EXPECT_EQ(ResolveLinkedFile(nullptr, name, 1, &fontFound), name);

    // A .ttf font name is looked up as a plain linked file, in its own container.
    r = ResolveLinkedFile(nullptr, "Sans.TTF", 1, &fontFound);
    EXPECT_STREQ(r, ":::chunk4:7*sans.ttf//elsewhere/fonts.bin");
    EXPECT_EQ(fontFound, 0);

    name = "other.png";
    EXPECT_EQ(ResolveLinkedFile(nullptr, name, 0, &fontFound), name);

    // The same on a command argument.
    lua_State *L = lua_open();
    ASSERT_NE(L, nullptr);
    lua_pushstring(L, "myfont");
    lua_pushstring(L, "other.png");
    int linked = -1;
    r = ResolveLinkedFileArg(L, 1, 1, &linked);
    EXPECT_EQ(linked, 1);
    EXPECT_EQ(std::string(r), ":::chunk105:3*MyFont/" + container);
    r = ResolveLinkedFileArg(L, 2, 0, &linked);
    EXPECT_EQ(linked, 0);
    EXPECT_STREQ(r, "other.png");
    lua_close(L);
    SetLinkedFiles(nullptr, 0, nullptr);
}

int ResolveNonString(lua_State *L)
{
    ResolveLinkedFileArg(L, 1, 0, nullptr);
    return 0;
}

TEST(FileLayerArgs, NonStringArgumentRaises1139)
{
    lua_State *L = lua_open();
    ASSERT_NE(L, nullptr);
    lua_pushcfunction(L, ResolveNonString);
    lua_newtable(L);
    EXPECT_EQ(lua_pcall(L, 1, 0, 0), 1139);
    lua_close(L);
}

TEST_F(FileLayerTest, LockWrappersAnswerForVirtualNames)
{
    std::string name = ChunkName(100, 20);
    FileLock *lock = LockFile(name.c_str(), 0);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(lock->os, nullptr);
    OsFileInfo info;
    EXPECT_EQ(ExamineLock(lock, &info), 0);
    EXPECT_EQ(info.size, 20);
    EXPECT_EQ(info.flags, 15u);
    EXPECT_EQ(info.directory, 0);
    int date[6];
    OsTimeToDate((time_t)info.times[1], date);
    EXPECT_EQ(date[3], 16);
    EXPECT_EQ(date[4], 7);
    EXPECT_EQ(date[5], 1982);
    int isDir = -1;
    EXPECT_EQ(CheckDirLock(lock, &isDir), 1250);
    EXPECT_EQ(isDir, 0);
    EXPECT_STREQ(GetErrorArgString(), name.c_str());
    char path[KV_PATH_SIZE], cwd[KV_PATH_SIZE];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    EXPECT_EQ(GetLockPath(lock, path, sizeof(path)), 1);
    EXPECT_EQ(std::string(path), std::string(cwd) + "/data.bin");
    EXPECT_EQ(ReadNextDirEntry(lock, nullptr, nullptr, nullptr), 0);
    UnLockFile(lock);
}

TEST_F(FileLayerTest, LockWrappersOverPlatformLocks)
{
    WriteAll(dir + "/one.txt", "1");
    mkdir((dir + "/sub").c_str(), 0755);
    FileLock *lock = LockFile(dir.c_str(), 0);
    ASSERT_NE(lock, nullptr);
    int isDir = 0;
    EXPECT_EQ(CheckDirLock(lock, &isDir), 0);
    EXPECT_EQ(isDir, 1);
    int seen = 0, dirs = 0;
    const char *entry;
    while (ReadNextDirEntry(lock, &entry, &isDir, nullptr)) {
        EXPECT_STRNE(entry, ".");
        EXPECT_STRNE(entry, "..");
        seen++;
        dirs += isDir;
    }
    EXPECT_EQ(seen, 3);   // container.bin, one.txt, sub
    EXPECT_EQ(dirs, 1);
    UnLockFile(lock);

    lock = LockFile((dir + "/one.txt").c_str(), 0);
    ASSERT_NE(lock, nullptr);
    OsFileInfo info;
    ExamineLock(lock, &info);
    EXPECT_EQ(info.size, 1);
    EXPECT_EQ(CheckDirLock(lock, &isDir), 1250);
    UnLockFile(lock);
    EXPECT_EQ(LockFile((dir + "/missing").c_str(), 0), nullptr);
}

}  // namespace
