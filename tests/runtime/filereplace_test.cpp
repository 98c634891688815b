// Saves through the file layer (FMODE_REPLACE): the old file is replaced only by a whole new
// one, keeps its permissions, and a failed or abandoned save leaves it as it was with no partial
// file under any name.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/filelayer.h"
#include "tests/common/small_disk.h"

namespace {

std::string ReadAll(const std::string &path)
{
    std::string out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
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

std::vector<std::string> Names(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != ".." && n != ".filler") names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Writes `data` through a save of path; `discard` gives the save up instead of closing it.
int Save(const std::string &path, const std::string &data, bool discard = false)
{
    FileHandle *fh = FOpen(path.c_str(), FMODE_REPLACE);
    if (!fh) return -1;
    FWrite(fh, data.data(), data.size());
    if (discard) {
        FDiscard(fh);
        return 2;
    }
    return FClose(fh);
}

class FileReplaceTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/kv_replace_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        std::string cmd = "umount -q '" + dir + "/disk' 2>/dev/null; rm -rf '" + dir + "'";
        (void)!system(cmd.c_str());
    }
};

TEST_F(FileReplaceTest, ASaveTakesTheOldFilesPlaceWithItsPermissions)
{
    std::string path = dir + "/notes.txt";
    WriteAll(path, "old contents");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    FileHandle *fh = FOpen(path.c_str(), FMODE_REPLACE);
    ASSERT_NE(fh, nullptr);
    FWrite(fh, "new", 3);
    // Until the close the old file is what the name shows.
    EXPECT_EQ(ReadAll(path), "old contents");
    EXPECT_EQ(FClose(fh), 1);
    EXPECT_EQ(ReadAll(path), "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"notes.txt"});
}

TEST_F(FileReplaceTest, AGivenUpSaveLeavesNothingBehind)
{
    std::string old = dir + "/old.txt";
    WriteAll(old, "keep me");
    EXPECT_EQ(Save(old, "partial", true), 2);
    EXPECT_EQ(ReadAll(old), "keep me");
    EXPECT_EQ(Save(dir + "/new.txt", "partial", true), 2);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"old.txt"});
}

TEST_F(FileReplaceTest, ASymbolicLinkIsWrittenThrough)
{
    std::string target = dir + "/target.txt", link = dir + "/link.txt";
    WriteAll(target, "old");
    ASSERT_EQ(symlink("target.txt", link.c_str()), 0);
    EXPECT_EQ(Save(link, "through the link"), 1);
    EXPECT_EQ(ReadAll(target), "through the link");
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(FileReplaceTest, ADirectoryOrAMissingFolderIsNoSave)
{
    EXPECT_EQ(FOpen(dir.c_str(), FMODE_REPLACE), nullptr);
    EXPECT_EQ(FOpen((dir + "/no/such/file").c_str(), FMODE_REPLACE), nullptr);
}

TEST_F(FileReplaceTest, AFullDeviceIsWrittenInPlaceAndItsFailureReported)
{
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    // A device takes no file beside it; a plain write reports the failure at the close too.
    EXPECT_EQ(Save("/dev/full", "x"), 0);
    FileHandle *fh = FOpen("/dev/full", FMODE_WRITE);
    ASSERT_NE(fh, nullptr);
    FWrite(fh, "x", 1);
    EXPECT_EQ(FClose(fh), 0);
}

TEST_F(FileReplaceTest, AFullDiskKeepsTheOldFile)
{
    std::string disk = dir + "/disk";
    if (!MountSmallDisk(disk, 64)) GTEST_SKIP() << "no private small disk (needs root)";
    std::string path = disk + "/work.txt";
    WriteAll(path, std::string(1000, 'o'));
    ASSERT_TRUE(FillDisk(disk, 8192));
    struct Case {
        const char *what;
        size_t bytes;
    } cases[] = {{"fills the disk midway", 64 * 1024}, {"fits", 100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int closed = Save(path, std::string(c.bytes, 'n'));
        if (c.bytes > 8192) {
            EXPECT_EQ(closed, 0);
            EXPECT_EQ(ReadAll(path), std::string(1000, 'o'));
        } else {
            EXPECT_EQ(closed, 1);
            EXPECT_EQ(ReadAll(path), std::string(c.bytes, 'n'));
        }
        EXPECT_EQ(Names(disk), std::vector<std::string>{"work.txt"});
    }
    // No byte free: the save fails, the file stays.
    ASSERT_TRUE(FillDisk(disk, 0));
    EXPECT_NE(Save(path, std::string(5000, 'n')), 1);
    EXPECT_EQ(ReadAll(path), std::string(100, 'n'));
    EXPECT_EQ(Names(disk), std::vector<std::string>{"work.txt"});
}

TEST_F(FileReplaceTest, AReadOnlyDiskRefusesTheSave)
{
    std::string disk = dir + "/disk";
    if (!MountSmallDisk(disk, 64)) GTEST_SKIP() << "no private small disk (needs root)";
    std::string path = disk + "/work.txt";
    WriteAll(path, "kept");
    ASSERT_TRUE(MakeDiskReadOnly(disk));
    EXPECT_EQ(Save(path, "lost?"), -1);
    EXPECT_EQ(ReadAll(path), "kept");
}

}  // namespace
