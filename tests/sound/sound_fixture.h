// Sound files built by the tests: IFF 8SVX/16SV and RIFF WAVE writers, and a scratch folder.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <sndfile.h>
#include <unistd.h>

typedef std::vector<uint8_t> Bytes;

inline void PutBE32(Bytes &b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(v >> s));
}
inline void PutBE16(Bytes &b, uint32_t v)
{
    b.push_back((uint8_t)(v >> 8));
    b.push_back((uint8_t)v);
}
inline void PutLE32(Bytes &b, uint32_t v)
{
    for (int s = 0; s < 32; s += 8) b.push_back((uint8_t)(v >> s));
}
inline void PutLE16(Bytes &b, uint32_t v)
{
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}
inline void PutId(Bytes &b, const char *id)
{
    b.insert(b.end(), id, id + 4);
}

// An IFF voice file: "8SVX" or "16SV", mono or stereo (CHAN 6), with the BODY as given.
inline Bytes IffVoice(const char *type, int rate, int stereo, const Bytes &body, int compression = 0)
{
    Bytes b;
    PutId(b, "FORM");
    PutBE32(b, 0);
    PutId(b, type);
    PutId(b, "VHDR");
    PutBE32(b, 20);
    PutBE32(b, (uint32_t)body.size());
    PutBE32(b, 0);
    PutBE32(b, 32);
    PutBE16(b, (uint32_t)rate);
    b.push_back(1);
    b.push_back((uint8_t)compression);
    PutBE32(b, 0x10000);
    PutId(b, "NAME");
    PutBE32(b, 3);
    b.insert(b.end(), {'a', 'b', 'c', 0});   // odd size and its pad byte
    if (stereo) {
        PutId(b, "CHAN");
        PutBE32(b, 4);
        PutBE32(b, 6);
    }
    PutId(b, "BODY");
    PutBE32(b, (uint32_t)body.size());
    b.insert(b.end(), body.begin(), body.end());
    uint32_t formSize = (uint32_t)b.size() - 8;
    for (int i = 0; i < 4; i++) b[4 + i] = (uint8_t)(formSize >> (24 - 8 * i));
    return b;
}

// A RIFF WAVE file with a "LIST" chunk before "fmt " and an odd-sized chunk before "data".
// dataSize -1: the real size.
inline Bytes Wave(int channels, int rate, int bits, const Bytes &data, int formatTag = 1,
                  long dataSize = -1)
{
    Bytes b;
    PutId(b, "RIFF");
    PutLE32(b, 0);
    PutId(b, "WAVE");
    PutId(b, "LIST");
    PutLE32(b, 4);
    PutId(b, "INFO");
    PutId(b, "fmt ");
    PutLE32(b, 16);
    PutLE16(b, (uint32_t)formatTag);
    PutLE16(b, (uint32_t)channels);
    PutLE32(b, (uint32_t)rate);
    PutLE32(b, (uint32_t)((int64_t)rate * channels * bits / 8));
    PutLE16(b, (uint32_t)(channels * bits / 8));
    PutLE16(b, (uint32_t)bits);
    PutId(b, "junk");
    PutLE32(b, 5);
    b.insert(b.end(), {1, 2, 3, 4, 5, 0});
    PutId(b, "data");
    PutLE32(b, (uint32_t)(dataSize < 0 ? (long)data.size() : dataSize));
    b.insert(b.end(), data.begin(), data.end());
    uint32_t riffSize = (uint32_t)b.size() - 8;
    for (int i = 0; i < 4; i++) b[4 + i] = (uint8_t)(riffSize >> (8 * i));
    return b;
}

// Formats libsndfile writes whose decoders are hard to stream: MPEG layer III (the decoder keeps
// its own place in the file) and GSM 6.10 in WAVE (it cannot seek, not even to its start).
struct StreamFormat {
    const char *name;
    int format, rate;
};
inline const StreamFormat HardToSeekFormats[] = {
    {"tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 22050},
    {"gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000},
};

// A scratch folder of the test, removed with it.
struct ScratchDir {
    std::string path;
    ScratchDir()
    {
        char t[] = "/tmp/kvsoundXXXXXX";
        path = mkdtemp(t);
    }
    ~ScratchDir()
    {
        std::string cmd = "rm -rf '" + path + "'";
        if (system(cmd.c_str())) {}
    }
    std::string Write(const char *name, const Bytes &bytes) const
    {
        std::string p = path + "/" + name;
        FILE *f = fopen(p.c_str(), "wb");
        if (f) {
            fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
        }
        return p;
    }
};
