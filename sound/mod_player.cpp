// ModInit and ModRender: building the replayer record and running the tick engine and mixer.
// Rows and tick effects live in mod_effects.cpp.
#include <atomic>
#include <cmath>
#include <cstring>

#include "sound/mod_effects.h"
#include "sound/mod_player.h"

static int ReadU16(const uint8_t *p)
{
    return (p[0] << 8) | p[1];
}

int ModPatternCount(const uint8_t *data, size_t size)
{
    if (!data || size < MOD_HEADER_BYTES) return 0;
    int highest = 0;
    for (int i = 0; i < MOD_POSITIONS; i++)
        if (data[952 + i] > highest) highest = data[952 + i];
    return highest + 1;
}

int ModCheck(const uint8_t *data, size_t size)
{
    int patterns = ModPatternCount(data, size);
    if (!patterns || memcmp(data + 1080, "M.K.", 4) != 0) return 0;
    return (uint64_t)MOD_HEADER_BYTES + (uint64_t)MOD_FILE_PATTERN_BYTES * patterns <= size;
}

// Sample data follows the patterns; each sample keeps only the bytes present, and its loop is
// cut to them (no loop when it starts past them).
static void SetupSamples(ModulePlayer *mp, uint8_t *data, size_t size)
{
    size_t offset = MOD_HEADER_BYTES + (size_t)MOD_FILE_PATTERN_BYTES * mp->patterns;
    for (int n = 1; n <= 31; n++) {
        const uint8_t *h = data + 20 + 30 * (n - 1);
        ModuleSample *s = &mp->samples[n];
        memcpy(s->name, h, 22);
        s->name[22] = 0;
        int32_t length = ReadU16(h + 22) * 2;
        s->finetune = h[24] & 15;
        s->volume = h[25] > 64 ? 64 : h[25];
        int32_t loopStart = ReadU16(h + 26) * 2;
        int32_t loopLength = ReadU16(h + 28) * 2;
        size_t present = offset < size ? size - offset : 0;
        if ((size_t)length > present) length = (int32_t)present;
        s->data = length ? data + offset : nullptr;
        offset += length;
        int32_t loopEnd = loopStart + loopLength;
        if (loopEnd > length) loopEnd = length;
        if (loopStart >= loopEnd) loopStart = loopEnd = 0;
        s->length = length << 14;
        s->loopStart = loopStart << 14;
        s->loopLength = (loopEnd - loopStart) << 14;
        s->loopEnd = loopEnd << 14;
    }
}

size_t ModInit(ModulePlayer *mp, uint8_t *data, size_t size, int outputRate)
{
    if (!ModCheck(data, size) || outputRate < 1) return 0;
    int patterns = ModPatternCount(data, size);
    if (!mp) return (size_t)MOD_PATTERN_BYTES * patterns + MOD_RECORD_FIXED;

    memset(mp, 0, sizeof(ModulePlayer));
    mp->patterns = (int16_t)patterns;
    mp->mixRate = 2 * outputRate;
    mp->masterVolume = 256;
    mp->flags = MODF_FILTER_CMD;
    for (int c = 0; c < 4; c++) {
        mp->channels[c].position = -1;
        mp->channels[c].pan = (c == 1 || c == 2) ? 255 : 0;
    }
    double w = std::atan(4000.0 * M_PI / outputRate);
    mp->filterA = (float)((1.0 - w) / (1.0 + w));
    mp->filterB = (float)((1.0 - mp->filterA) / 2.0);

    memcpy(mp->songName, data, 20);
    mp->songName[20] = 0;
    // A song length above 128 would read past the order list: it counts as 128.
    mp->songLength = (int16_t)(data[950] > (int)MOD_POSITIONS ? (int)MOD_POSITIONS : data[950]);
    memcpy(mp->order, data + 952, MOD_POSITIONS);

    ModuleCell *cells = ModPatternCells(mp);
    const uint8_t *p = data + MOD_HEADER_BYTES;
    for (int i = 0; i < patterns * 256; i++, p += 4) {
        cells[i].sample = (p[0] & 0xF0) | (p[2] >> 4);
        cells[i].period = ((p[0] & 0x0F) << 8) | p[1];
        cells[i].effect = p[2] & 0x0F;
        cells[i].param = p[3];
        cells[i].x = p[3] >> 4;
        cells[i].y = p[3] & 0x0F;
    }
    SetupSamples(mp, data, size);

    mp->speed = 6;
    mp->tempo = 125;
    mp->samplesPerTick = mp->mixRate / 50;
    mp->breakRow = -1;
    mp->jumpPos = -1;
    mp->moduleData = data;
    mp->moduleSize = size;
    return 1;
}

void ModRequestPosition(ModulePlayer *mp, int pos)
{
    // Positions outside the order list are sent as one the song never has.
    uint32_t p = pos >= 0 && pos < MOD_POSITIONS ? (uint32_t)pos : 0xFF;
    std::atomic_ref<uint32_t>(mp->request).store(MOD_REQUEST | p, std::memory_order_release);
}

void ModApplyRequest(ModulePlayer *mp)
{
    uint32_t request = std::atomic_ref<uint32_t>(mp->request).exchange(0, std::memory_order_acquire);
    if (!request) return;
    int pos = (int)(request & 0xFF);
    mp->songPos = pos < mp->songLength ? pos : 0;
    mp->row = (int)(request >> 8 & 63);
    mp->ticksLeft = 0;
    mp->patternDelay = 0;
    mp->breakRow = -1;
    mp->jumpPos = -1;
    ModShowPosition(mp);
}

void ModShowPosition(ModulePlayer *mp)
{
    std::atomic_ref<uint32_t>(mp->shownPosition)
        .store((uint32_t)mp->songPos << 8 | (uint32_t)mp->row, std::memory_order_release);
}

void ModGetPosition(ModulePlayer *mp, int *songPos, int *row)
{
    uint32_t shown = std::atomic_ref<uint32_t>(mp->shownPosition).load(std::memory_order_acquire);
    if (songPos) *songPos = (int)(shown >> 8);
    if (row) *row = (int)(shown & 0xFF);
}

enum { MIX_CHUNK = 512 };   // internal samples mixed at a time

// Adds `run` internal samples of one channel into the sums, channel by channel, in stretches
// that end where the position reaches the loop's or the sample's end.
static void MixChannel(ModulePlayer *mp, ModuleChannel *ch, int32_t *sumL, int32_t *sumR, int run)
{
    int i = 0;
    while (i < run) {
        if (ch->position < 0 || ch->period <= 0) return;
        ModuleSample *s = &mp->samples[ch->sample];
        int32_t limit;
        if (s->loopLength > (2 << 14)) {
            if (ch->position >= s->loopEnd) {
                if (ch->pendingSample) {
                    ModSwitchPendingSample(mp, ch);
                    continue;
                }
                ch->position = s->loopStart + (ch->position - s->loopStart) % s->loopLength;
            }
            limit = s->loopEnd;
        } else {
            if (ch->position >= s->length) {
                ch->position = -1;
                return;
            }
            limit = s->length;
        }
        int32_t step = ch->step, pos = ch->position;
        int n = run - i;
        if (step > 0) {
            int64_t left = ((int64_t)limit - pos + step - 1) / step;
            if (left < n) n = (int)left;
        }
        const int8_t *data = reinterpret_cast<const int8_t *>(s->data);
        const int32_t panL = ch->pan * ch->outVolume, panR = (255 - ch->pan) * ch->outVolume;
        for (int k = 0; k < n; k++) {
            int32_t v = data[pos >> 14];
            sumL[i + k] += v * panL;
            sumR[i + k] += v * panR;
            pos += step;
        }
        ch->position = pos;
        i += n;
    }
}

static inline float FilterSide(float *h, float b, float a, float x)
{
    float y1 = b * (x + h[0]) + a * h[1];
    h[0] = x;
    h[1] = y1;
    float y2 = b * (y1 + h[2]) + a * h[3];
    h[2] = y1;
    h[3] = y2;
    return y2;
}

static inline int32_t Clamp16(int32_t v)
{
    return v < -32768 ? -32768 : v > 32767 ? 32767 : v;
}

void ModRender(ModulePlayer *mp, int16_t *left, int16_t *right, int stride, int frames,
               int unused, int bits, int channels)
{
    if (bits != 16 || channels != 2) return;
    uint8_t *lp = reinterpret_cast<uint8_t *>(left);
    uint8_t *rp = reinterpret_cast<uint8_t *>(right);
    int32_t sumL[MIX_CHUNK], sumR[MIX_CHUNK];
    while (frames > 0) {
        int chunkFrames = frames < MIX_CHUNK / 2 ? frames : MIX_CHUNK / 2;
        int samples = 2 * chunkFrames;
        memset(sumL, 0, sizeof(int32_t) * samples);
        memset(sumR, 0, sizeof(int32_t) * samples);
        // Ticks fall between internal samples: mix the stretches between them.
        for (int i = 0; i < samples;) {
            if (mp->sampleCounter - mp->samplesPerTick >= 0) {
                mp->sampleCounter -= mp->samplesPerTick;
                ModTick(mp);
            }
            int run = mp->samplesPerTick - mp->sampleCounter;
            if (run < 1) run = 1;
            if (run > samples - i) run = samples - i;
            for (int c = 0; c < 4; c++) MixChannel(mp, &mp->channels[c], sumL + i, sumR + i, run);
            mp->sampleCounter += run;
            i += run;
        }
        for (int f = 0; f < chunkFrames; f++) {
            int32_t outL = 0, outR = 0;
            for (int half = 0; half < 2; half++) {
                int32_t l = sumL[2 * f + half] >> 7, r = sumR[2 * f + half] >> 7;
                if (mp->filterOn) {
                    l = (int32_t)FilterSide(mp->filterLeft, mp->filterB, mp->filterA, (float)l);
                    r = (int32_t)FilterSide(mp->filterRight, mp->filterB, mp->filterA, (float)r);
                }
                outL += Clamp16(l);
                outR += Clamp16(r);
            }
            *reinterpret_cast<int16_t *>(lp) = (int16_t)((outL * mp->masterVolume) >> 9);
            *reinterpret_cast<int16_t *>(rp) = (int16_t)((outR * mp->masterVolume) >> 9);
            lp += stride;
            rp += stride;
        }
        frames -= chunkFrames;
    }
}
