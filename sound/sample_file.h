// Sound files: recognising the format, the own readers (IFF 8SVX, IFF 16SV, RIFF WAVE), the
// platform decoder for every other file, loading a whole sample into memory and opening a
// music as a module or a stream. All file access goes through the file layer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/os.h"

struct FileHandle;
struct ModulePlayer;

// Sample flags.
enum { SAMPLEF_BIGENDIAN = 1, SAMPLEF_SIGNED = 2, SAMPLEF_FLOAT = 4 };
// Reader kinds.
enum { READER_8SVX = 1, READER_16SV = 2, READER_WAVE = 3, READER_PLATFORM = 4 };
// Music kinds.
enum { MUSIC_STREAM = 1, MUSIC_MODULE = 2 };

// The PCM data of one sample.
struct SampleBuffer {
    uint8_t *data;
    int bits;               // 8 or 16
    int bytesPerFrame;
    int channels;           // 1 or 2
    int flags;              // SAMPLEF_*
    uint32_t frames;
};

struct SampleFile {
    FileHandle *file;
    int bits;               // 8 or 16; platform files: bits per channel, 0 when compressed
    int bytesPerFrame;      // 0 for compressed formats
    int channels;
    int flags;              // SAMPLEF_BIGENDIAN, SAMPLEF_SIGNED
    int rate;
    int compression;        // of an IFF voice header
    uint64_t dataSize;
    int64_t frames;
    int64_t packets;
    int64_t position;       // frame of the next read
    int64_t dataOffset;
    int maxPacketSize;
    int framesPerPacket;
    int64_t bytesRead;      // by the last read
    int64_t packetsRead;
    int kind;               // READER_*
    int formatCode;         // -1 when it is no 8- or 16-bit layout
    int bitRate;            // kbit/s, 0 when unknown
    uint8_t *scratch;       // stereo IFF reads
    size_t scratchSize;
    OsTimeVal storedTime;   // the stream time at which the clock last stood still
    OsTimeVal startTime;    // zero while the clock does not run
    int64_t startOffsetMs;  // the stream time at which the current play began
    int streaming;
    OsAudioFile *platform;
    // What reads deliver: the file's layout, or float frames for platform files that are not
    // 8- or 16-bit PCM.
    int readFlags;          // SAMPLEF_*
    int readBits;           // 8, 16 or 32 (float)
    int readBytesPerFrame;
};

// The format code of a layout (0..5, -1 for any other).
int SampleFormatCode(int bits, int channels, int isSigned);

int OpenSampleFile(const char *name, int streaming, SampleFile **out);
// Frames delivered into buffer (in the read layout); *end (may be none) is 1 when fewer frames
// were left than wanted.
int64_t ReadSampleData(SampleFile *sf, void *buffer, int64_t frames, int *end);
void SeekSampleFile(SampleFile *sf, int64_t frame);
void CloseSampleFile(SampleFile *sf);
const char *GetSampleFormatName(SampleFile *sf);
int LoadSampleFile(const char *name, SampleBuffer **buffer, uint32_t *dataSize, int *rate,
                   int *formatCode);
void FreeSampleBuffer(SampleBuffer *buffer);
// kind MUSIC_STREAM: *decoder is a SampleFile; MUSIC_MODULE: a ModulePlayer (its module data
// is kept by the record: free it with FreeModulePlayer).
int LoadMusicFile(const char *name, int *kind, void **decoder);
void FreeModulePlayer(ModulePlayer *mp);

// Fills the layout of an own reader's PCM data (one frame a packet) and keeps the open file.
void SetPcmLayout(SampleFile *sf, FileHandle *fh, int channels, int bits, int flags, int rate,
                  int64_t dataOffset, uint32_t dataSize);

// The own readers; each returns 1 when it accepts the file (sf->file open at the data).
int Iff8svxOpen(SampleFile *sf, const char *name);
int Iff16svOpen(SampleFile *sf, const char *name);
int WaveOpen(SampleFile *sf, const char *name);
int64_t IffRead(SampleFile *sf, void *buffer, int64_t frames, int *end);
int64_t WaveRead(SampleFile *sf, void *buffer, int64_t frames, int *end);
// The platform decoder behind a file-layer handle: 0 or an error code.
int PlatformOpen(SampleFile *sf, const char *name);
int64_t PlatformRead(SampleFile *sf, void *buffer, int64_t frames, int *end);
void PlatformClose(SampleFile *sf);

// The MPEG probe. MpegTagLength: the length of an ID3v2 tag at the start of the bytes ("ID3",
// version bytes not 0xFF, four size bytes below 0x80: 10 + the 28-bit size, + 10 with a
// footer), else 0. MpegHeaderBitRate: kbit/s of the frame header at h (4 bytes), 0 when it is
// none or names no rate. MpegHasVbrMarker: 1 when "Xing" or "VBRI" lies within the first
// count - 32 bytes. MpegAverageBitRate: the average rate of `bytes` of audio lasting frames at
// rate (bytes a second / 128), held within 0 .. INT32_MAX; 0 without frames or a rate.
int MpegTagLength(const uint8_t *bytes, size_t count);
int MpegHeaderBitRate(const uint8_t *h);
int MpegHasVbrMarker(const uint8_t *bytes, size_t count);
int MpegAverageBitRate(int64_t bytes, int64_t frames, int rate);
