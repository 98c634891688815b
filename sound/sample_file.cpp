// Opening sound files by their format, reading, seeking and closing them by reader kind, and
// loading whole samples and musics.
#include <cstring>

#include "gfx/bitmap.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"

int SampleFormatCode(int bits, int channels, int isSigned)
{
    if (channels == 2) {
        if (bits == 8) return isSigned ? 3 : 1;
        if (bits == 16) return 5;
    } else if (channels == 1) {
        if (bits == 8) return isSigned ? 2 : 0;
        if (bits == 16) return 4;
    }
    return -1;
}

void SetPcmLayout(SampleFile *sf, FileHandle *fh, int channels, int bits, int flags, int rate,
                  int64_t dataOffset, uint32_t dataSize)
{
    sf->channels = channels;
    sf->bits = bits;
    sf->flags = flags;
    sf->bytesPerFrame = channels * bits / 8;
    sf->frames = sf->packets = dataSize / sf->bytesPerFrame;
    sf->dataOffset = dataOffset;
    sf->framesPerPacket = 1;
    sf->maxPacketSize = sf->bytesPerFrame;
    sf->dataSize = dataSize;
    sf->rate = rate;
    sf->file = fh;
}

int OpenSampleFile(const char *name, int streaming, SampleFile **out)
{
    *out = nullptr;
    SetErrorString(name);
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) return 1045;
    uint8_t head[64] = {};
    FRead(fh, head, sizeof head);
    FClose(fh);

    int kind = 0;
    if (memcmp(head, "FORM", 4) == 0 && memcmp(head + 8, "8SVX", 4) == 0) kind = READER_8SVX;
    else if (memcmp(head, "FORM", 4) == 0 && memcmp(head + 8, "16SV", 4) == 0) kind = READER_16SV;
    else if (memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "WAVE", 4) == 0) kind = READER_WAVE;

    SampleFile *sf = static_cast<SampleFile *>(MemAlloc(sizeof(SampleFile), 1));
    if (!sf) return 1000;
    sf->streaming = streaming;
    int ok = 0;
    switch (kind) {
    case READER_8SVX: ok = Iff8svxOpen(sf, name); break;
    case READER_16SV: ok = Iff16svOpen(sf, name); break;
    case READER_WAVE: ok = WaveOpen(sf, name); break;
    }
    if (ok) {
        sf->kind = kind;
        sf->readFlags = sf->flags;
        sf->readBits = sf->bits;
        sf->readBytesPerFrame = sf->bytesPerFrame;
    } else {
        memset(sf, 0, sizeof(SampleFile));
        sf->streaming = streaming;
        sf->kind = READER_PLATFORM;
        int code = PlatformOpen(sf, name);
        if (code) {
            MemFree(sf);
            SetErrorString(name);
            return code;
        }
    }
    sf->formatCode = SampleFormatCode(sf->bits, sf->channels, sf->flags & SAMPLEF_SIGNED);
    *out = sf;
    return 0;
}

int64_t ReadSampleData(SampleFile *sf, void *buffer, int64_t frames, int *end)
{
    switch (sf->kind) {
    case READER_8SVX:
    case READER_16SV: return IffRead(sf, buffer, frames, end);
    case READER_WAVE: return WaveRead(sf, buffer, frames, end);
    default: return PlatformRead(sf, buffer, frames, end);
    }
}

void SeekSampleFile(SampleFile *sf, int64_t frame)
{
    if (frame >= 0 && frame < sf->frames) sf->position = frame;
    int64_t us = sf->rate > 0 ? frame * 1000000 / sf->rate : 0;
    sf->storedTime.seconds = (uint32_t)(us / 1000000);
    sf->storedTime.micros = (uint32_t)(us % 1000000);
    sf->startTime.seconds = sf->startTime.micros = 0;
}

void CloseSampleFile(SampleFile *sf)
{
    if (!sf) return;
    if (sf->kind == READER_PLATFORM) PlatformClose(sf);
    MemFree(sf->scratch);
    FClose(sf->file);
    MemFree(sf);
}

const char *GetSampleFormatName(SampleFile *sf)
{
    switch (sf->kind) {
    case READER_8SVX: return "IFF 8SVX";
    case READER_16SV: return "IFF 16SV";
    case READER_WAVE: return "RIFF WAVE";
    default: return OsAudioFormatName(sf->platform);
    }
}

void FreeSampleBuffer(SampleBuffer *buffer)
{
    if (!buffer) return;
    MemFree(buffer->data);
    MemFree(buffer);
}

int LoadSampleFile(const char *name, SampleBuffer **buffer, uint32_t *dataSize, int *rate,
                   int *formatCode)
{
    *buffer = nullptr;
    SampleFile *sf;
    int code = OpenSampleFile(name, 0, &sf);
    if (code) return code;
    if (!sf->dataSize || !sf->bytesPerFrame || !sf->bits) code = 1279;
    else if (sf->formatCode < 0) code = 1299;
    else if (sf->dataSize > kMaxPlaneBytes) code = 1000;
    SampleBuffer *b = nullptr;
    if (!code) {
        b = static_cast<SampleBuffer *>(MemAlloc(sizeof(SampleBuffer), 1));
        if (b) b->data = static_cast<uint8_t *>(MemAlloc((size_t)sf->dataSize, 1));
        if (!b || !b->data) code = 1000;
    }
    if (!code) {
        int64_t frames = ReadSampleData(sf, b->data, sf->frames, nullptr);
        b->bits = sf->bits;
        b->bytesPerFrame = sf->bytesPerFrame;
        b->channels = sf->channels;
        b->flags = sf->flags;
        b->frames = (uint32_t)frames;
        *dataSize = (uint32_t)(frames * sf->bytesPerFrame);
        *rate = sf->rate;
        *formatCode = sf->formatCode;
        *buffer = b;
        b = nullptr;
    }
    FreeSampleBuffer(b);
    CloseSampleFile(sf);
    return code;
}

void FreeModulePlayer(ModulePlayer *mp)
{
    if (!mp) return;
    MemFree(mp->moduleData);
    MemFree(mp);
}

// Reads a whole module and builds its player; 1235 when it fails the size check.
static int LoadModule(FileHandle *fh, int64_t size, ModulePlayer **out)
{
    if ((uint64_t)size > kMaxPlaneBytes) return 1000;
    uint8_t *data = static_cast<uint8_t *>(MemAlloc((size_t)size, 0));
    if (!data) return 1000;
    FSeek(fh, 0, FSEEK_START);
    if ((int64_t)FRead(fh, data, (size_t)size) != size) {
        MemFree(data);
        return 1009;
    }
    size_t recordSize = ModInit(nullptr, data, (size_t)size, 48000);
    if (!recordSize) {
        MemFree(data);
        return 1235;
    }
    ModulePlayer *mp = static_cast<ModulePlayer *>(MemAlloc(recordSize, 1));
    if (!mp) {
        MemFree(data);
        return 1000;
    }
    ModInit(mp, data, (size_t)size, 48000);
    *out = mp;
    return 0;
}

int LoadMusicFile(const char *name, int *kind, void **decoder)
{
    *decoder = nullptr;
    SetErrorString(name);
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) return 1045;
    FSeek(fh, 0, FSEEK_END);
    int64_t size = fh->position;
    uint8_t mark[4] = {};
    FSeek(fh, 1080, FSEEK_START);
    int isModule = size >= 1084 && FRead(fh, mark, 4) == 4 && memcmp(mark, "M.K.", 4) == 0;
    if (isModule) {
        ModulePlayer *mp = nullptr;
        int code = LoadModule(fh, size, &mp);
        FClose(fh);
        if (code) return code;
        *kind = MUSIC_MODULE;
        *decoder = mp;
        return 0;
    }
    FClose(fh);
    SampleFile *sf;
    int code = OpenSampleFile(name, 1, &sf);
    if (code) return code;
    *kind = MUSIC_STREAM;
    *decoder = sf;
    return 0;
}
