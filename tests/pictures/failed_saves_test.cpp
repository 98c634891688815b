// Saves that fail on a full disk: the platform's picture saving and the AVI writer leave an
// older file whole and nothing of the new one under any name (the AVI index's temporary file
// included), and a stream still open at the end of the script that can't be completed says so
// on standard error. The disks are small file systems mounted by the test (skipped where it
// can't mount them).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "pictures/anim_stream.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "tests/common/small_disk.h"
#include "tests/pictures/picture_fixture.h"

namespace {

const std::string kOld = "old picture\n";

std::vector<std::string> Names(const std::string &dir) {
  std::vector<std::string> names;
  DIR *d = opendir(dir.c_str());
  if (!d) return names;
  while (dirent *e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != ".." && n != ".filler") names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Contents(const std::string &path) {
  const std::vector<uint8_t> b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

// Noise, which no encoder packs small.
std::vector<uint32_t> Noise(int w, int h) {
  std::vector<uint32_t> v((size_t)w * h);
  uint32_t x = 12345;
  for (uint32_t &p : v) {
    x = x * 1103515245u + 12345u;
    p = x >> 8 & 0xFFFFFF;
  }
  return v;
}

class FailedSaves : public ::testing::Test {
 protected:
  std::string dir, disk, temp, oldTemp;
  bool hadTemp = false;
  void SetUp() override {
    char tmpl[] = "/tmp/kv_pics_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    disk = dir + "/disk";
    temp = dir + "/tmp";
    mkdir(temp.c_str(), 0755);
    if (const char *t = getenv("TMPDIR")) {
      hadTemp = true;
      oldTemp = t;
    }
    setenv("TMPDIR", temp.c_str(), 1);  // where the AVI writer keeps its index
    if (!MountSmallDisk(disk, 256)) GTEST_SKIP() << "no small disk (needs root)";
  }
  void TearDown() override {
    if (hadTemp) setenv("TMPDIR", oldTemp.c_str(), 1);
    else unsetenv("TMPDIR");
    const std::string cmd = "umount -q '" + disk + "' 2>/dev/null; rm -rf '" + dir + "'";
    (void)!system(cmd.c_str());
  }
  // Older files of the names, then a disk with at most `leave` bytes free.
  void Prepare(const std::vector<std::string> &names, long leave) {
    for (const std::string &n : names) WriteBytes(disk + "/" + n, std::vector<uint8_t>(kOld.begin(), kOld.end()));
    ASSERT_TRUE(FillDisk(disk, leave));
  }
  void ExpectOnly(const std::vector<std::string> &names) {
    EXPECT_EQ(Names(disk), names);
    for (const std::string &n : names) EXPECT_TRUE(Contents(disk + "/" + n) == kOld) << n << " is no longer the older file";
    EXPECT_TRUE(Names(temp).empty());
  }
};

TEST_F(FailedSaves, PlatformPictureSavesKeepTheOlderFile) {
  Prepare({"old.jpg", "old.png"}, 0);
  const std::vector<uint32_t> px = Noise(64, 64);
  EXPECT_EQ(OsSavePNG((disk + "/old.png").c_str(), px.data(), 64, 64, 0), 1277);
  EXPECT_EQ(OsSaveJPEG((disk + "/old.jpg").c_str(), px.data(), 64, 64, 90), 1315);
  ExpectOnly({"old.jpg", "old.png"});
}

TEST_F(FailedSaves, AviStreamThatRunsOutOfRoomLeavesNothing) {
  Prepare({"old.avi"}, 40960);  // the header fits, a few frames do not
  const int W = 160, H = 120;
  const std::vector<uint32_t> px = Noise(W, H);
  BitMap *bm = nullptr;
  ASSERT_EQ(BitMapFromARGB(px.data(), -1, W, H, W, &bm, nullptr), 0);
  ObjectId id = {0, (void *)1};
  AnimStreamNode *s;
  ASSERT_EQ(BeginAnimStreamNode(&id, (disk + "/old.avi").c_str(), W, H, ANIMSTREAM_AVI, 25, 100, &s), 0);
  GifFrameOptions o;
  int err = 0;
  for (int i = 0; i < 20 && !err; i++) err = WriteAnimStreamFrame(s, bm, 0, 0, &o);
  EXPECT_EQ(err, 1005);
  EXPECT_EQ(WriteAnimStreamFrame(s, bm, 0, 0, &o), 1005);
  EXPECT_EQ(FinishAnimStream(s), 1005);
  ExpectOnly({"old.avi"});
  // Nothing fits: the header itself fails, and the index's temporary file goes too.
  ASSERT_TRUE(FillDisk(disk, 0));
  EXPECT_EQ(BeginAnimStreamNode(&id, (disk + "/old.avi").c_str(), W, H, ANIMSTREAM_AVI, 25, 100, &s), 1005);
  ExpectOnly({"old.avi"});
  FreeBitMap(bm);
}

TEST_F(FailedSaves, StreamOpenAtTheEndIsToldOnStandardError) {
  Prepare({"old.gif"}, 0);
  const std::string path = disk + "/old.gif";
  ObjectId id = {7, nullptr};
  AnimStreamNode *s;
  ASSERT_EQ(BeginAnimStreamNode(&id, path.c_str(), 8, 8, ANIMSTREAM_GIF, 25, 90, &s), 0);
  BitMap *bm = AllocBitMap(8, 8);
  GifFrameOptions o;
  EXPECT_EQ(WriteAnimStreamFrame(s, bm, 0, 0, &o), 0);  // still held by the writer
  FreeBitMap(bm);
  testing::internal::CaptureStderr();
  FreeAllAnimStreams();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Could not write all characters to file!\nCheck if there is enough free space!\nFile: " + path +
                "\n");
  ExpectOnly({"old.gif"});
}

}  // namespace
