// The RIFF WAVE reader (numbers little-endian): PCM, 8-bit unsigned or 16-bit signed, mono or
// stereo. Anything else is left to the platform decoder.
#include <cstring>

#include "runtime/filelayer.h"
#include "sound/sample_file.h"
#include "sound/sample_readers.h"

int WaveOpen(SampleFile *sf, const char *name)
{
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) return 0;
    int channels = 0, rate = 0, bits = 0;
    int64_t pos = 12;
    for (;;) {
        uint8_t head[8];
        FSeek(fh, pos, FSEEK_START);
        if (FRead(fh, head, 8) != 8) break;
        uint32_t size = ReadLE32(head + 4);
        pos += 8;
        // A chunk reaching past the end of the file holds only the bytes present.
        uint64_t present = fh->size > pos ? (uint64_t)(fh->size - pos) : 0;
        if (size > present) size = (uint32_t)present;
        if (memcmp(head, "fmt ", 4) == 0) {
            uint8_t f[16];
            if (size != 16 || FRead(fh, f, 16) != 16) break;
            channels = ReadLE16(f + 2);
            rate = (int)ReadLE32(f + 4);
            bits = ReadLE16(f + 14);
            if (ReadLE16(f) != 1 || (channels != 1 && channels != 2) || rate < 1 ||
                (bits != 8 && bits != 16))
                break;
        } else if (memcmp(head, "data", 4) == 0) {
            if (rate < 1) break;
            SetPcmLayout(sf, fh, channels, bits, bits == 16 ? SAMPLEF_SIGNED : 0, rate, pos, size);
            return 1;
        }
        pos += size + (size & 1);
    }
    FClose(fh);
    return 0;
}

int64_t WaveRead(SampleFile *sf, void *buffer, int64_t frames, int *end)
{
    int64_t left = sf->frames - sf->position;
    if (left < 0) left = 0;
    if (end) *end = frames > left;
    int64_t n = frames < left ? frames : left;
    FSeek(sf->file, sf->dataOffset + sf->position * sf->bytesPerFrame, FSEEK_START);
    n = n > 0 ? (int64_t)FRead(sf->file, buffer, (size_t)(n * sf->bytesPerFrame)) / sf->bytesPerFrame : 0;
    sf->position += n;
    sf->packetsRead = n;
    sf->bytesRead = n * sf->bytesPerFrame;
    return n;
}
