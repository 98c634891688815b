// The sound file readers on files the tests build: which reader takes a file, the layout it
// reports, the bytes a whole load delivers, the files handed on to the platform decoder, and
// the MPEG probe.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <climits>
#include <cstring>

#include "gfx/bitmap.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "sound/sample_file.h"
#include "tests/sound/sound_fixture.h"

namespace {

Bytes Ramp(size_t n, int start = 0)
{
    Bytes b;
    for (size_t i = 0; i < n; i++) b.push_back((uint8_t)(start + i));
    return b;
}

// A file written by libsndfile (the platform decoder's own formats), or "" when it cannot.
std::string WriteWithSndfile(const ScratchDir &dir, const char *name, int format, int channels,
                             int frames, int rate = 44100)
{
    std::string p = dir.path + "/" + name;
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(p.c_str(), SFM_WRITE, &info);
    if (!f) return "";
    std::vector<short> pcm((size_t)frames * channels);
    for (size_t i = 0; i < pcm.size(); i++) pcm[i] = (short)((i % 200) * 150 - 15000);
    sf_writef_short(f, pcm.data(), frames);
    sf_close(f);
    return p;
}

struct ReaderCase {
    const char *what;
    Bytes file;
    int kind, bits, channels, formatCode, rate;
    int64_t frames;
    const char *formatName;
};

TEST(SampleFile, ReadersRecogniseAndDescribeTheirFiles)
{
    ScratchDir dir;
    std::vector<ReaderCase> cases = {
        {"8svx mono", IffVoice("8SVX", 8000, 0, Ramp(1000)), READER_8SVX, 8, 1, 2, 8000, 1000, "IFF 8SVX"},
        {"8svx stereo", IffVoice("8SVX", 11025, 1, Ramp(2000)), READER_8SVX, 8, 2, 3, 11025, 1000, "IFF 8SVX"},
        {"16sv mono", IffVoice("16SV", 22050, 0, Ramp(600)), READER_16SV, 16, 1, 4, 22050, 300, "IFF 16SV"},
        {"wave 8-bit", Wave(1, 8000, 8, Ramp(101)), READER_WAVE, 8, 1, 0, 8000, 101, "RIFF WAVE"},
        {"wave 8-bit stereo", Wave(2, 8000, 8, Ramp(100)), READER_WAVE, 8, 2, 1, 8000, 50, "RIFF WAVE"},
        {"wave 16-bit stereo", Wave(2, 44100, 16, Ramp(400)), READER_WAVE, 16, 2, 5, 44100, 100, "RIFF WAVE"},
        // a data chunk that claims more than the file holds keeps the bytes present
        {"wave short data", Wave(1, 8000, 16, Ramp(200), 1, 1000000), READER_WAVE, 16, 1, 4, 8000, 100, "RIFF WAVE"},
        // layouts the own reader leaves to the platform decoder
        {"wave 24-bit", Wave(1, 8000, 24, Ramp(300)), READER_PLATFORM, 24, 1, -1, 8000, 100, "RIFF WAVE"},
        {"wave 3 channels", Wave(3, 8000, 16, Ramp(600)), READER_PLATFORM, 16, 3, -1, 8000, 100, "RIFF WAVE"},
    };
    for (const ReaderCase &c : cases) {
        std::string path = dir.Write("f", c.file);
        SampleFile *sf = nullptr;
        ASSERT_EQ(0, OpenSampleFile(path.c_str(), 0, &sf)) << c.what;
        EXPECT_EQ(c.kind, sf->kind) << c.what;
        EXPECT_EQ(c.bits, sf->bits) << c.what;
        EXPECT_EQ(c.channels, sf->channels) << c.what;
        EXPECT_EQ(c.formatCode, sf->formatCode) << c.what;
        EXPECT_EQ(c.rate, sf->rate) << c.what;
        EXPECT_EQ(c.frames, sf->frames) << c.what;
        EXPECT_STREQ(c.formatName, GetSampleFormatName(sf)) << c.what;
        CloseSampleFile(sf);
    }
}

TEST(SampleFile, WholeLoadsKeepTheStoredLayout)
{
    ScratchDir dir;
    // stereo 8SVX: left block then right block, delivered interleaved left first
    Bytes body = Ramp(1000, 0);
    Bytes right = Ramp(1000, 100);
    body.insert(body.end(), right.begin(), right.end());
    std::string path = dir.Write("stereo.8svx", IffVoice("8SVX", 8000, 1, body));
    SampleBuffer *b;
    uint32_t size;
    int rate, code;
    ASSERT_EQ(0, LoadSampleFile(path.c_str(), &b, &size, &rate, &code));
    EXPECT_EQ(2000u, size);
    EXPECT_EQ(1000u, b->frames);
    EXPECT_EQ(3, code);
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ((uint8_t)i, b->data[2 * i]) << i;
        ASSERT_EQ((uint8_t)(100 + i), b->data[2 * i + 1]) << i;
    }
    FreeSampleBuffer(b);

    // 16SV words stay big-endian, WAVE bytes stay unsigned; the data behind the odd chunk
    path = dir.Write("w.16sv", IffVoice("16SV", 8000, 0, Ramp(8, 1)));
    ASSERT_EQ(0, LoadSampleFile(path.c_str(), &b, &size, &rate, &code));
    EXPECT_EQ(SAMPLEF_SIGNED | SAMPLEF_BIGENDIAN, b->flags);
    EXPECT_EQ(0, memcmp(b->data, Ramp(8, 1).data(), 8));
    FreeSampleBuffer(b);
    path = dir.Write("w.wav", Wave(1, 8000, 8, Ramp(5, 200)));
    ASSERT_EQ(0, LoadSampleFile(path.c_str(), &b, &size, &rate, &code));
    EXPECT_EQ(0, b->flags);
    EXPECT_EQ(0, memcmp(b->data, Ramp(5, 200).data(), 5));
    FreeSampleBuffer(b);
}

TEST(SampleFile, LayoutsThatCannotBeSamples)
{
    ScratchDir dir;
    SampleBuffer *b = nullptr;
    uint32_t size;
    int rate, code;
    std::string p24 = dir.Write("w24.wav", Wave(1, 8000, 24, Ramp(300)));
    EXPECT_EQ(1299, LoadSampleFile(p24.c_str(), &b, &size, &rate, &code));
    std::string p3 = dir.Write("w3.wav", Wave(3, 8000, 16, Ramp(600)));
    EXPECT_EQ(1299, LoadSampleFile(p3.c_str(), &b, &size, &rate, &code));
    EXPECT_EQ(1045, LoadSampleFile((dir.path + "/missing").c_str(), &b, &size, &rate, &code));
    std::string junk = dir.Write("junk", Ramp(3000));
    EXPECT_EQ(1235, LoadSampleFile(junk.c_str(), &b, &size, &rate, &code));
    EXPECT_EQ(nullptr, b);

    // a chunk list claiming more bytes than the file holds is refused before the platform
    // decoder sees it (the decoder spun for ever on such a file); a short data chunk is not
    Bytes bad = {'R', 'I', 'F', 'F', 0xCE, 1, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 0xF8, 0xFF, 0xFF, 0xFF};
    bad.resize(349, 0xFF);
    std::string pbad = dir.Write("bad.wav", bad);
    EXPECT_EQ(1235, LoadSampleFile(pbad.c_str(), &b, &size, &rate, &code));
    // the same inside a LIST that itself fits (a file the decoder spun on for ever), while a
    // well-formed LIST in front of the format goes through
    const Bytes badList = {
        0x52, 0x49, 0x46, 0x46, 0xCE, 0x01, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x4C, 0x49, 0x53, 0x54, 0x8D, 0x00,
        0x00, 0x00, 0xA8, 0x00, 0x00, 0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0x60, 0x20, 0x00, 0x04, 0xC9, 0xC0, 0x57,
        0x41, 0x56, 0x45, 0x4C, 0x49, 0x53, 0x54, 0x04, 0x00, 0x00, 0x00, 0x49, 0x4E, 0x46, 0x4F, 0xFF, 0xFF, 0xD9,
        0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x44, 0x33, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x52, 0x4D, 0x00, 0x00, 0x01, 0xD0, 0x39, 0x00, 0xFF, 0xFF, 0x01, 0x00,
        0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0xFF, 0xD9, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x39, 0x00, 0xFF, 0xFF, 0x01, 0x7C, 0x00, 0x00, 0x00, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x32, 0x76, 0x06, 0xEB, 0x00, 0x00, 0x00,
        0xFF, 0xD9, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x66, 0x6D, 0x74, 0x20, 0x10, 0x00, 0x00, 0x27, 0x00, 0x01, 0x00,
        0x02, 0x00, 0x40, 0x1F, 0x00, 0x00, 0x00};
    std::string pbadList = dir.Write("badlist.wav", badList);
    EXPECT_EQ(1235, LoadSampleFile(pbadList.c_str(), &b, &size, &rate, &code));
    Bytes listed = Wave(1, 8000, 24, Ramp(300));
    const Bytes info = {'L', 'I', 'S', 'T', 18, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 5, 0, 0, 0,
                        'k', 'v', 's', '1', 0, 0};
    listed.insert(listed.begin() + 12, info.begin(), info.end());
    listed[4] = (uint8_t)(listed.size() - 8);
    listed[5] = (uint8_t)((listed.size() - 8) >> 8);
    std::string plisted = dir.Write("listed.wav", listed);
    SampleFile *listedFile = nullptr;
    ASSERT_EQ(0, OpenSampleFile(plisted.c_str(), 1, &listedFile));
    EXPECT_EQ(100, listedFile->frames);
    CloseSampleFile(listedFile);
    Bytes shortData = Wave(3, 8000, 16, Ramp(600));
    shortData.resize(shortData.size() - 100);
    std::string pshort = dir.Write("short.wav", shortData);
    SampleFile *shortFile = nullptr;
    if (OpenSampleFile(pshort.c_str(), 0, &shortFile) == 0) CloseSampleFile(shortFile);

    // a rate of 0 is refused by every reader, so no duration can divide by it
    for (const Bytes &f : {Wave(1, 0, 8, Ramp(100)), IffVoice("8SVX", 0, 0, Ramp(100))}) {
        std::string p = dir.Write("rate0", f);
        SampleFile *sf = nullptr;
        EXPECT_NE(0, OpenSampleFile(p.c_str(), 0, &sf));
        EXPECT_EQ(nullptr, sf);
    }
    // a compressed voice header is left to the platform decoder
    std::string pc = dir.Write("c.8svx", IffVoice("8SVX", 8000, 0, Ramp(100), 1));
    SampleFile *sf = nullptr;
    int r = OpenSampleFile(pc.c_str(), 0, &sf);
    if (r == 0) {
        EXPECT_EQ(READER_PLATFORM, sf->kind);
        CloseSampleFile(sf);
    }
}

TEST(SampleFile, CompressedFilesStreamAsMusicOnly)
{
    ScratchDir dir;
    std::string mp3 = WriteWithSndfile(dir, "tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 44100);
    if (mp3.empty()) GTEST_SKIP() << "libsndfile cannot write MPEG here";
    SampleBuffer *b;
    uint32_t size;
    int rate, code;
    EXPECT_EQ(1279, LoadSampleFile(mp3.c_str(), &b, &size, &rate, &code));
    int kind;
    void *decoder;
    ASSERT_EQ(0, LoadMusicFile(mp3.c_str(), &kind, &decoder));
    ASSERT_EQ(MUSIC_STREAM, kind);
    SampleFile *sf = static_cast<SampleFile *>(decoder);
    EXPECT_EQ(0, sf->bits);
    EXPECT_STREQ("MPEG Audio", GetSampleFormatName(sf));
    EXPECT_GT(sf->bitRate, 0);
    std::vector<float> pcm(4096);
    int end = 0;
    EXPECT_EQ(4096, ReadSampleData(sf, pcm.data(), 4096, &end));
    EXPECT_EQ(0, end);
    CloseSampleFile(sf);
}

// Decoders that keep their own place in the file (MPEG) or cannot seek at all (GSM 6.10) read
// on to the last frame in the one-second steps of a stream, with the values libsndfile decodes;
// a rewind at the end, a seek ahead and a seek back then deliver the frames from there.
TEST(SampleFile, PlatformStreamsReadOnAndSeek)
{
    ScratchDir dir;
    for (const StreamFormat &c : HardToSeekFormats) {
        std::string path = WriteWithSndfile(dir, c.name, c.format, 1, c.rate * 3, c.rate);
        if (path.empty()) GTEST_SKIP() << "libsndfile cannot write " << c.name << " here";
        SF_INFO info = {};
        SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(nullptr, f) << c.name;
        std::vector<float> decoded((size_t)info.frames);
        ASSERT_EQ(info.frames, sf_readf_float(f, decoded.data(), info.frames)) << c.name;
        sf_close(f);

        SampleFile *sf = nullptr;
        ASSERT_EQ(0, OpenSampleFile(path.c_str(), 1, &sf)) << c.name;
        ASSERT_EQ(info.frames, sf->frames) << c.name;
        std::vector<float> pcm(decoded.size() + c.rate);
        int64_t got = 0;
        int end = 0;
        while (!end && got < sf->frames) {
            int64_t n = ReadSampleData(sf, &pcm[got], c.rate, &end);
            if (n == 0) break;
            got += n;
        }
        EXPECT_EQ(info.frames, got) << c.name;
        for (int64_t i = 0; i < got; i++) ASSERT_NEAR(decoded[i], pcm[i], 1e-4) << c.name << " frame " << i;
        for (int64_t from : {(int64_t)0, info.frames / 2, info.frames / 4}) {
            SeekSampleFile(sf, from);
            ASSERT_EQ(c.rate, ReadSampleData(sf, pcm.data(), c.rate, nullptr)) << c.name << " from " << from;
            for (int64_t i = 0; i < c.rate; i++)
                ASSERT_NEAR(decoded[from + i], pcm[i], 1e-4) << c.name << " from " << from << " frame " << i;
        }
        CloseSampleFile(sf);
    }
}

// A sample value of a loaded buffer scaled to 16 bits, as libsndfile decodes it.
int Sample16(const SampleBuffer *b, size_t i)
{
    const uint8_t *p = b->data + i * (b->bits / 8);
    if (b->bits == 8) return ((b->flags & SAMPLEF_SIGNED) ? (int8_t)p[0] : p[0] - 128) * 256;
    return (b->flags & SAMPLEF_BIGENDIAN) ? (int16_t)(p[0] << 8 | p[1]) : (int16_t)(p[0] | p[1] << 8);
}

// Platform containers whose PCM lies in the file as it is load as samples with the decoder's
// own values. A compressed or packed one reports no bits whatever subtype libsndfile names
// (FLAC names 16-bit PCM, whose raw bytes are compressed), so it is music only and streams as
// floats to the last frame.
TEST(SampleFile, OnlyContainersOfPlainPcmLoadAsSamples)
{
    ScratchDir dir;
    const int frames = 3000;
    struct Case {
        const char *name;
        int format, channels, code;
    } cases[] = {
        {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 0},
        {"a.au", SF_FORMAT_AU | SF_FORMAT_PCM_S8, 1, 0},
        {"a.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 1, 0},
        {"a.voc", SF_FORMAT_VOC | SF_FORMAT_PCM_U8, 2, 0},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 1279},
        {"b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, 1, 1279},
        {"a.sds", SF_FORMAT_SDS | SF_FORMAT_PCM_16, 1, 1279},
    };
    for (const Case &c : cases) {
        std::string path = WriteWithSndfile(dir, c.name, c.format, c.channels, frames);
        ASSERT_FALSE(path.empty()) << c.name;
        SF_INFO info = {};
        SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(nullptr, f) << c.name;
        std::vector<short> decoded((size_t)frames * c.channels);
        ASSERT_EQ(frames, sf_readf_short(f, decoded.data(), frames)) << c.name;
        sf_close(f);

        SampleBuffer *b = nullptr;
        uint32_t size;
        int rate, code;
        ASSERT_EQ(c.code, LoadSampleFile(path.c_str(), &b, &size, &rate, &code)) << c.name;
        if (b) {
            ASSERT_EQ((uint32_t)frames, b->frames) << c.name;
            for (size_t i = 0; i < decoded.size(); i++) ASSERT_EQ(decoded[i], Sample16(b, i)) << c.name << " " << i;
            FreeSampleBuffer(b);
            continue;
        }
        SampleFile *sf = nullptr;
        ASSERT_EQ(0, OpenSampleFile(path.c_str(), 1, &sf)) << c.name;
        EXPECT_EQ(0, sf->bits) << c.name;
        std::vector<float> pcm(decoded.size() + 1024 * c.channels);
        int64_t got = 0;
        int end = 0;
        while (!end && got <= frames) got += ReadSampleData(sf, &pcm[got * c.channels], 1024, &end);
        EXPECT_EQ(frames, got) << c.name;
        for (size_t i = 0; i < decoded.size(); i++) ASSERT_NEAR(decoded[i] / 32768.0, pcm[i], 1e-4) << c.name << " " << i;
        CloseSampleFile(sf);
    }
}

TEST(SampleFile, LinkedFilesOpenThroughTheFileLayer)
{
    // a 24-bit WAVE held in memory goes to the platform decoder through the file layer
    Bytes file = Wave(1, 8000, 24, Ramp(300));
    ASSERT_EQ(0, RegisterMemorySection(file.data(), file.size()));
    char name[KV_PATH_SIZE];
    ASSERT_NE(nullptr, MakeChunkName("linked.wav", name, sizeof name, -1, (uint32_t)file.size(),
                                     (int64_t)(uintptr_t)file.data(), "", file.data()));
    SampleFile *sf = nullptr;
    ASSERT_EQ(0, OpenSampleFile(name, 1, &sf));
    EXPECT_EQ(READER_PLATFORM, sf->kind);
    EXPECT_EQ(100, sf->frames);
    float pcm[100];
    EXPECT_EQ(100, ReadSampleData(sf, pcm, 100, nullptr));
    CloseSampleFile(sf);
    UnregisterMemorySection(file.data());
}

// A sample or a module larger than the core's size limit is refused before anything is
// allocated or read (sparse files, so the test writes next to nothing).
TEST(SampleFile, FilesBeyondTheSizeLimitAreRefused)
{
    ScratchDir dir;
    const off_t size = (off_t)kMaxPlaneBytes + 4096;
    Bytes wave = Wave(1, 8000, 16, Bytes(), 1, 0x7FFFFFFFL + 2048);
    Bytes mod(1084, 0);
    memcpy(&mod[1080], "M.K.", 4);
    std::string pw = dir.Write("big.wav", wave), pm = dir.Write("big.mod", mod);
    ASSERT_EQ(0, truncate(pw.c_str(), size));
    ASSERT_EQ(0, truncate(pm.c_str(), size));
    SampleBuffer *b = nullptr;
    uint32_t dataSize;
    int rate, code, kind;
    void *decoder = nullptr;
    EXPECT_EQ(1000, LoadSampleFile(pw.c_str(), &b, &dataSize, &rate, &code));
    EXPECT_EQ(nullptr, b);
    EXPECT_EQ(1000, LoadMusicFile(pm.c_str(), &kind, &decoder));
    EXPECT_EQ(nullptr, decoder);
}

TEST(SampleFile, ModulesLoadAsModules)
{
    ScratchDir dir;
    Bytes mod(1084 + 1024, 0);
    memcpy(&mod[1080], "M.K.", 4);
    mod[950] = 1;
    int kind;
    void *decoder;
    std::string p = dir.Write("a.mod", mod);
    ASSERT_EQ(0, LoadMusicFile(p.c_str(), &kind, &decoder));
    EXPECT_EQ(MUSIC_MODULE, kind);
    FreeModulePlayer(static_cast<ModulePlayer *>(decoder));
    mod[952] = 3;   // names four patterns, holds one
    p = dir.Write("b.mod", mod);
    EXPECT_EQ(1235, LoadMusicFile(p.c_str(), &kind, &decoder));
}

TEST(MpegProbe, HeadersTagsAndMarkers)
{
    struct HeaderCase {
        uint8_t h[4];
        int kbits;
    } headers[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, 128},   // MPEG-1 layer III, index 9
        {{0xFF, 0xFB, 0xE0, 0x00}, 320},
        {{0xFF, 0xFD, 0x50, 0x00}, 80},    // MPEG-1 layer II, index 5
        {{0xFF, 0xFF, 0x10, 0x00}, 32},    // MPEG-1 layer I, index 1
        {{0xFF, 0xF3, 0x80, 0x00}, 64},    // MPEG-2 layer III, index 8
        {{0xFF, 0xF5, 0x80, 0x00}, 64},    // MPEG-2 layer II shares the row
        {{0xFF, 0xF7, 0x80, 0x00}, 128},   // MPEG-2 layer I
        {{0xFF, 0xE3, 0x80, 0x00}, 0},     // MPEG-2.5: none
        {{0xFF, 0xEB, 0x80, 0x00}, 0},     // reserved version
        {{0xFF, 0xF9, 0x80, 0x00}, 0},     // reserved layer
        {{0xFF, 0xFB, 0xF0, 0x00}, 0},     // bad bit-rate index
        {{0xFE, 0xFB, 0x90, 0x00}, 0},     // no sync
    };
    for (const HeaderCase &c : headers)
        EXPECT_EQ(c.kbits, MpegHeaderBitRate(c.h)) << std::hex << (int)c.h[1] << " " << (int)c.h[2];

    uint8_t tag[10] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0x02, 0x01};
    EXPECT_EQ(10 + 257, MpegTagLength(tag, 10));
    tag[5] = 0x10;                      // footer
    EXPECT_EQ(20 + 257, MpegTagLength(tag, 10));
    tag[8] = 0x80;                      // not synchsafe
    EXPECT_EQ(0, MpegTagLength(tag, 10));
    tag[8] = 0;
    tag[3] = 0xFF;
    EXPECT_EQ(0, MpegTagLength(tag, 10));

    Bytes frame(100, 0);
    memcpy(&frame[36], "Xing", 4);
    EXPECT_EQ(1, MpegHasVbrMarker(frame.data(), frame.size()));
    EXPECT_EQ(0, MpegHasVbrMarker(frame.data(), 60));   // only within the first count - 32
    memcpy(&frame[36], "VBRI", 4);
    EXPECT_EQ(1, MpegHasVbrMarker(frame.data(), frame.size()));
}

// The average rate of a variable-rate file: bytes a second / 128. A decoder that reports a few
// frames for a large file gives a quotient past any int, which is held at the largest.
TEST(MpegProbe, AverageBitRateStaysWithinInt)
{
    struct Case {
        int64_t bytes, frames;
        int rate;
        int want;
    } cases[] = {
        {16000 * 60, 44100 * 60, 44100, 125},          // 16000 bytes a second
        {INT64_C(1) << 40, 1, 48000, INT_MAX},         // a terabyte in one frame
        {INT64_MAX, 1, INT_MAX, INT_MAX},
        {1000, 0, 44100, 0},                           // no frames
        {1000, 100, 0, 0},                             // no rate
        {-500, 100, 44100, 0},                         // a tag longer than the file
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.want, MpegAverageBitRate(c.bytes, c.frames, c.rate)) << c.bytes << " " << c.frames;
}

}  // namespace
