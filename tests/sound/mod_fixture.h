// Builds ProTracker modules in memory for the replayer tests, the fuzz target's seed and the
// benchmark: a song of given patterns, 31 sample headers and sample data.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/mod_player.h"

struct ModSampleSpec {
    std::vector<int8_t> data;   // even length
    int volume = 64;
    int finetune = 0;
    int loopStart = 0;          // bytes (even)
    int loopLength = 2;         // bytes; 2 means no loop
};

struct ModBuilder {
    std::vector<uint8_t> order;             // pattern numbers of the song
    int patterns = 1;
    std::vector<uint8_t> cells;             // patterns x 64 rows x 4 channels x 4 bytes
    ModSampleSpec samples[32];              // 1..31

    explicit ModBuilder(int patternCount = 1) : patterns(patternCount)
    {
        cells.assign((size_t)patternCount * 1024, 0);
        for (int i = 0; i < patternCount; i++) order.push_back((uint8_t)i);
    }

    // Writes one cell: sample number, period, effect, parameter.
    void Cell(int pattern, int row, int channel, int sample, int period, int effect, int param)
    {
        uint8_t *c = &cells[(size_t)pattern * 1024 + row * 16 + channel * 4];
        c[0] = (uint8_t)((sample & 0xF0) | ((period >> 8) & 0x0F));
        c[1] = (uint8_t)(period & 0xFF);
        c[2] = (uint8_t)(((sample & 0x0F) << 4) | (effect & 0x0F));
        c[3] = (uint8_t)param;
    }

    std::vector<uint8_t> Build(int songLengthOverride = -1) const
    {
        std::vector<uint8_t> m(1084, 0);
        memcpy(m.data(), "fixture", 7);
        for (int n = 1; n <= 31; n++) {
            uint8_t *h = &m[20 + 30 * (n - 1)];
            const ModSampleSpec &s = samples[n];
            int words = (int)s.data.size() / 2;
            h[22] = (uint8_t)(words >> 8);
            h[23] = (uint8_t)words;
            h[24] = (uint8_t)(s.finetune & 15);
            h[25] = (uint8_t)s.volume;
            h[26] = (uint8_t)((s.loopStart / 2) >> 8);
            h[27] = (uint8_t)(s.loopStart / 2);
            h[28] = (uint8_t)((s.loopLength / 2) >> 8);
            h[29] = (uint8_t)(s.loopLength / 2);
        }
        m[950] = (uint8_t)(songLengthOverride >= 0 ? songLengthOverride : (int)order.size());
        m[951] = 127;
        for (size_t i = 0; i < order.size() && i < 128; i++) m[952 + i] = order[i];
        memcpy(&m[1080], "M.K.", 4);
        m.insert(m.end(), cells.begin(), cells.end());
        for (int n = 1; n <= 31; n++)
            for (int8_t b : samples[n].data) m.push_back((uint8_t)b);
        return m;
    }
};

// A square wave of `period` bytes a cycle, `cycles` cycles long.
inline std::vector<int8_t> SquareWave(int period, int cycles, int amplitude = 100)
{
    std::vector<int8_t> v;
    for (int c = 0; c < cycles; c++)
        for (int i = 0; i < period; i++) v.push_back((int8_t)(i < period / 2 ? amplitude : -amplitude));
    return v;
}

// A player built from module bytes (kept alive by the owner of `bytes`).
struct ModInstance {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> record;
    ModulePlayer *mp = nullptr;

    explicit ModInstance(std::vector<uint8_t> data, int rate = 48000) : bytes(std::move(data))
    {
        size_t size = ModInit(nullptr, bytes.data(), bytes.size(), rate);
        if (!size) return;
        record.assign(size, 0);
        mp = reinterpret_cast<ModulePlayer *>(record.data());
        ModInit(mp, bytes.data(), bytes.size(), rate);
    }
    // Renders frames of interleaved stereo.
    std::vector<int16_t> Render(int frames)
    {
        std::vector<int16_t> out((size_t)frames * 2);
        ModRender(mp, out.data(), out.data() + 1, 4, frames, 0, 16, 2);
        return out;
    }
};

// One row as it starts playing: the frame and the row's song position and number.
struct RowStart {
    long frame;
    int pos, row;
};

// Renders frame by frame and lists the rows as they are read, until `rows` were read or
// `frames` rendered.
inline std::vector<RowStart> RowStarts(ModInstance &mi, long frames, size_t rows = (size_t)-1)
{
    std::vector<RowStart> starts;
    int pos = mi.mp->songPos, row = mi.mp->row;
    int16_t frame[2];
    for (long f = 0; f < frames && starts.size() < rows; f++) {
        ModRender(mi.mp, frame, frame + 1, 4, 1, 0, 16, 2);
        if (mi.mp->songPos != pos || mi.mp->row != row) {
            starts.push_back({f, pos, row});
            pos = mi.mp->songPos;
            row = mi.mp->row;
        }
    }
    return starts;
}
