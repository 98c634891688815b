// Sound files read by the platform's decoder. The decoder reads through a file-layer handle,
// so files linked into the applet open like plain files. The MPEG bit rate comes from our own
// probe of the first bytes.
#include <cstdio>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "sound/sample_file.h"

enum { PROBE_BYTES = 16384 };

static int64_t IoSize(void *user)
{
    return static_cast<FileHandle *>(user)->size;
}
static int64_t IoSeek(void *user, int64_t offset, int whence)
{
    FileHandle *fh = static_cast<FileHandle *>(user);
    int origin = whence == SEEK_SET ? FSEEK_START : whence == SEEK_END ? FSEEK_END : FSEEK_CURRENT;
    FSeek(fh, offset, origin);
    return fh->position;
}
static int64_t IoRead(void *user, void *buffer, int64_t count)
{
    return count > 0 ? (int64_t)FRead(static_cast<FileHandle *>(user), buffer, (size_t)count) : 0;
}
static int64_t IoTell(void *user)
{
    return static_cast<FileHandle *>(user)->position;
}

// The bit rate of an MPEG audio file from its first bytes (0 when it has no frame header). The
// file is read through a handle of its own: the decoder keeps its own idea of where its handle
// stands, so moving that one would make it read from the wrong place.
static int ProbeBitRate(const char *name, int64_t frames, int rate, int *bitRate)
{
    *bitRate = 0;
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) {
        SetErrorString(name);
        return 1045;
    }
    uint8_t *buf = static_cast<uint8_t *>(MemAlloc(PROBE_BYTES, 0));
    if (!buf) {
        FClose(fh);
        return 0;
    }
    size_t n = FRead(fh, buf, PROBE_BYTES);
    if (n > 1024) {
        int tag = MpegTagLength(buf, n);
        int vbr = MpegHasVbrMarker(buf, n);
        const uint8_t *h = buf + tag;
        size_t have = (size_t)tag < n ? n - tag : 0;
        if (have < 4) {
            FSeek(fh, tag, FSEEK_START);
            have = FRead(fh, buf, 4);
            h = buf;
        }
        if (have >= 4) *bitRate = MpegHeaderBitRate(h);
        if (vbr && frames > 0 && rate > 0) *bitRate = MpegAverageBitRate(fh->size - tag, frames, rate);
    }
    MemFree(buf);
    FClose(fh);
    return 0;
}

// The platform decoder can spin for ever on a RIFF or IFF file whose chunk list claims more
// bytes than the file holds, or whose LIST chunk holds such a list. Such a file is walked here
// first: every chunk must fit in the file, and every chunk of a RIFF LIST in its LIST, except a
// sample data chunk that runs to the end (files still being written, streams), which the
// decoder copes with. Returns 1 when the file may be handed on.
static int ChunkListFits(FileHandle *fh, int64_t at, int64_t end, int bigEndian, int riff, const char *dataId,
                         int depth)
{
    while (at + 8 <= end) {
        uint8_t chunk[8];
        FSeek(fh, at, FSEEK_START);
        if (FRead(fh, chunk, 8) != 8) break;
        uint32_t length = bigEndian ? (uint32_t)chunk[4] << 24 | chunk[5] << 16 | chunk[6] << 8 | chunk[7]
                                    : (uint32_t)chunk[7] << 24 | chunk[6] << 16 | chunk[5] << 8 | chunk[4];
        if ((int64_t)length > end - at - 8) {
            if (depth == 0 && memcmp(chunk, dataId, 4) == 0) break;
            return 0;
        }
        // a LIST holds its type and then a chunk list of its own
        if (riff && memcmp(chunk, "LIST", 4) == 0 && length >= 4) {
            if (depth >= 4 || !ChunkListFits(fh, at + 12, at + 8 + (int64_t)length, bigEndian, riff, dataId, depth + 1))
                return 0;
        }
        at += 8 + (int64_t)length + (length & 1);
    }
    return 1;
}

static int ChunksFit(FileHandle *fh)
{
    uint8_t head[12];
    FSeek(fh, 0, FSEEK_START);
    size_t got = FRead(fh, head, 12);
    FSeek(fh, 0, FSEEK_START);
    if (got != 12) return 1;
    int riff = memcmp(head, "RIFF", 4) == 0;
    int bigEndian = memcmp(head, "RIFX", 4) == 0 || memcmp(head, "FORM", 4) == 0;
    if (!riff && !bigEndian) return 1;
    const char *dataId = riff || memcmp(head, "RIFX", 4) == 0 ? "data" : "SSND";
    int fits = ChunkListFits(fh, 12, fh->size, bigEndian, riff || memcmp(head, "RIFX", 4) == 0, dataId, 0);
    FSeek(fh, 0, FSEEK_START);
    return fits;
}

int PlatformOpen(SampleFile *sf, const char *name)
{
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) {
        SetErrorString(name);
        return 1045;
    }
    if (!ChunksFit(fh)) {
        FClose(fh);
        return 1235;
    }
    OsAudioFileIO io = {IoSize, IoSeek, IoRead, IoTell, fh};
    OsAudioFileInfo info;
    int code = OsOpenAudioFile(&io, &sf->platform, &info);
    if (code) {
        FClose(fh);
        return code;
    }
    sf->file = fh;
    sf->frames = sf->packets = info.frames;
    sf->rate = info.rate;
    sf->channels = info.channels;
    sf->bits = info.bits;
    sf->bytesPerFrame = info.bits ? info.channels * info.bits / 8 : 0;
    sf->flags = (info.bigEndian ? SAMPLEF_BIGENDIAN : 0) | (info.isSigned ? SAMPLEF_SIGNED : 0);
    sf->dataSize = (uint64_t)sf->bytesPerFrame * (uint64_t)info.frames;
    sf->framesPerPacket = 1;
    sf->maxPacketSize = info.bytesPerFrame;
    sf->readFlags = info.isFloat ? SAMPLEF_FLOAT | SAMPLEF_SIGNED : sf->flags;
    sf->readBits = info.isFloat ? 32 : info.bits;
    sf->readBytesPerFrame = info.bytesPerFrame;
    if (strcmp(OsAudioFormatName(sf->platform), "MPEG Audio") == 0) {
        code = ProbeBitRate(name, info.frames, info.rate, &sf->bitRate);
        if (code) {
            PlatformClose(sf);
            FClose(fh);
            sf->file = nullptr;
            return code;
        }
    }
    return 0;
}

int64_t PlatformRead(SampleFile *sf, void *buffer, int64_t frames, int *end)
{
    int64_t left = sf->frames - sf->position;
    if (left < 0) left = 0;
    if (end) *end = frames > left;
    int64_t n = frames < left ? frames : left;
    n = OsReadAudioFile(sf->platform, sf->position, buffer, n);
    sf->position += n;
    sf->packetsRead = n;
    sf->bytesRead = n * sf->readBytesPerFrame;
    return n;
}

void PlatformClose(SampleFile *sf)
{
    OsCloseAudioFile(sf->platform);
    sf->platform = nullptr;
}
