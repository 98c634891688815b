// Big- and little-endian readers and writers over the file layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "runtime/endian.h"
#include "runtime/filelayer.h"

namespace {

TEST(Endian, WriteThenReadBothOrders)
{
    char path[] = "/tmp/kv_endian_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    FileHandle *fh = FOpen(path, FMODE_WRITE);
    ASSERT_NE(fh, nullptr);
    EXPECT_EQ(WriteBE32(fh, 0x01020304u), 1);
    EXPECT_EQ(WriteLE32(fh, 0x01020304u), 1);
    EXPECT_EQ(WriteBE16(fh, 0xfffeu), 1);
    EXPECT_EQ(WriteLE16(fh, 0x8001u), 1);
    FClose(fh);

    fh = FOpen(path, FMODE_READ);
    ASSERT_NE(fh, nullptr);
    unsigned char raw[12];
    ASSERT_EQ(FRead(fh, raw, 12), 12u);
    const unsigned char expect[12] = {1, 2, 3, 4, 4, 3, 2, 1, 0xff, 0xfe, 0x01, 0x80};
    for (int i = 0; i < 12; i++) EXPECT_EQ(raw[i], expect[i]) << i;
    FSeek(fh, 0, FSEEK_START);
    EXPECT_EQ(ReadBE32(fh), 0x01020304u);
    EXPECT_EQ(ReadLE32(fh), 0x01020304u);
    EXPECT_EQ(ReadBE16(fh), -2);        // signed
    EXPECT_EQ(ReadLE16(fh), -32767);
    EXPECT_EQ(FEof(fh), 1);
    FClose(fh);

    // Writing through a read-only handle reports the failure.
    fh = FOpen(path, FMODE_READ);
    EXPECT_EQ(WriteBE32(fh, 1), 0);
    FClose(fh);
    unlink(path);
}

}  // namespace
