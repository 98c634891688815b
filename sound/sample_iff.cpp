// The IFF 8SVX and IFF 16SV readers (numbers big-endian). A stereo BODY holds all left
// samples first, then all right samples.
#include <cstring>

#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "sound/sample_file.h"
#include "sound/sample_readers.h"

static int IffOpen(SampleFile *sf, const char *name, int sixteen)
{
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) return 0;
    uint8_t vhdr[32];
    FSeek(fh, 12, FSEEK_START);
    if (FRead(fh, vhdr, 28) != 28 || memcmp(vhdr, "VHDR", 4) != 0 || ReadBE32(vhdr + 4) != 20) {
        FClose(fh);
        return 0;
    }
    // VHDR body at 20: three counts (12 bytes), rate, octaves, compression, volume.
    int rate = ReadBE16(vhdr + 20);
    int compression = vhdr[23];
    if (compression != 0 || rate < 1) {
        FClose(fh);
        return 0;
    }
    int channels = 1;
    int64_t pos = 40;
    for (;;) {
        uint8_t head[8];
        FSeek(fh, pos, FSEEK_START);
        if (FRead(fh, head, 8) != 8) {
            FClose(fh);
            return 0;
        }
        uint32_t size = ReadBE32(head + 4);
        pos += 8;
        if (memcmp(head, "BODY", 4) == 0) {
            uint64_t present = fh->size > pos ? (uint64_t)(fh->size - pos) : 0;
            if (size > present) size = (uint32_t)present;
            SetPcmLayout(sf, fh, channels, sixteen ? 16 : 8,
                         SAMPLEF_SIGNED | (sixteen ? SAMPLEF_BIGENDIAN : 0), rate, pos, size);
            sf->compression = compression;
            return 1;
        }
        if (memcmp(head, "CHAN", 4) == 0 && size >= 4) {
            uint8_t v[4];
            if (FRead(fh, v, 4) != 4) {
                FClose(fh);
                return 0;
            }
            channels = ReadBE32(v) == 6 ? 2 : 1;
        }
        pos += size + (size & 1);
        if (pos >= fh->size) {
            FClose(fh);
            return 0;
        }
    }
}

int Iff8svxOpen(SampleFile *sf, const char *name)
{
    return IffOpen(sf, name, 0);
}

int Iff16svOpen(SampleFile *sf, const char *name)
{
    return IffOpen(sf, name, 1);
}

int64_t IffRead(SampleFile *sf, void *buffer, int64_t frames, int *end)
{
    int64_t left = sf->frames - sf->position;
    if (left < 0) left = 0;
    if (end) *end = frames > left;
    int64_t n = frames < left ? frames : left;
    int sampleSize = sf->bits / 8;
    uint8_t *out = static_cast<uint8_t *>(buffer);
    if (sf->channels == 1) {
        FSeek(sf->file, sf->dataOffset + sf->position * sampleSize, FSEEK_START);
        n = (int64_t)FRead(sf->file, out, (size_t)(n * sampleSize)) / sampleSize;
    } else if (n > 0) {
        size_t runBytes = (size_t)(n * sampleSize);
        if (sf->scratchSize < runBytes) {
            uint8_t *grown = static_cast<uint8_t *>(MemAlloc(runBytes, 0));
            if (!grown) n = 0;
            else {
                MemFree(sf->scratch);
                sf->scratch = grown;
                sf->scratchSize = runBytes;
            }
        }
        for (int side = 0; side < 2 && n > 0; side++) {
            int64_t at = sf->dataOffset + (side * sf->frames + sf->position) * sampleSize;
            FSeek(sf->file, at, FSEEK_START);
            int64_t got = (int64_t)FRead(sf->file, sf->scratch, (size_t)(n * sampleSize)) / sampleSize;
            if (got < n) n = got;
            for (int64_t i = 0; i < n; i++)
                memcpy(out + (2 * i + side) * sampleSize, sf->scratch + i * sampleSize, sampleSize);
        }
    }
    if (n < 0) n = 0;
    sf->position += n;
    sf->packetsRead = n;
    sf->bytesRead = n * sf->bytesPerFrame;
    return n;
}
