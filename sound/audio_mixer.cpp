// The mixer: MixRender runs on the device thread. It try-locks the channel mutex (silence when
// the main thread holds it), pulls every playing channel through its converter into the
// output, and queues the channels' loop and end notifications. It never blocks or allocates.
#include <cmath>
#include <cstring>

#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"

static const uint64_t ONE = 1ull << 32;
static int OutputRate = 48000;
static OsTimeVal RenderTime;

void MixSetOutputRate(int rate)
{
    if (rate > 0) OutputRate = rate;
}

int MixGetOutputRate(void)
{
    return OutputRate;
}

int SetupConverter(ChannelConverter *cv, int bits, int channels, int flags, int rate)
{
    memset(cv, 0, sizeof(ChannelConverter));
    if ((channels != 1 && channels != 2) || rate < 1) return 1280;
    if (flags & SAMPLEF_FLOAT) {
        if (bits != 32) return 1280;
        cv->layout = CONV_F32;
    } else if (bits == 8) {
        cv->layout = (flags & SAMPLEF_SIGNED) ? CONV_S8 : CONV_U8;
    } else if (bits == 16) {
        if (!(flags & SAMPLEF_SIGNED)) return 1280;
        cv->layout = (flags & SAMPLEF_BIGENDIAN) ? CONV_S16BE : CONV_S16LE;
    } else {
        return 1280;
    }
    cv->channels = channels;
    cv->bytesPerFrame = channels * bits / 8;
    cv->step = ((uint64_t)rate << 32) / (uint64_t)OutputRate;
    if (!cv->step) cv->step = 1;
    cv->frac = 2 * ONE;     // two frames are due before the first output
    return 0;
}

// Balance with unity at the centre: volume v (0..64) gives cbrt(v / 64); pan p (0 left .. 255
// right, 128 centre) keeps the nearer side at full gain and lowers the other one.
void SetChannelGains(AudioChannel *ch, int volume, int pan)
{
    float g = (float)std::cbrt((volume < 0 ? 0 : volume > 64 ? 64 : volume) / 64.0);
    float p = pan == 128 ? 0.5f : (pan < 0 ? 0 : pan > 255 ? 255 : pan) / 255.0f;
    ch->gainLeft = g * (p <= 0.5f ? 1.0f : 2.0f * (1.0f - p));
    ch->gainRight = g * (p >= 0.5f ? 1.0f : 2.0f * p);
}

void PushNote(AudioChannel *ch, int kind, int32_t a, int32_t b, int32_t c)
{
    uint32_t head = ch->noteHead.load(std::memory_order_relaxed);
    if (head - ch->noteTail.load(std::memory_order_acquire) >= AUDIO_NOTES) return;
    ch->notes[head % AUDIO_NOTES] = {kind, a, b, c};
    ch->noteHead.store(head + 1, std::memory_order_release);
    OsWakeMainThread();
}

// A sample pass begins: its clock restarts and a loop handler hears of it.
static void BeginPass(AudioChannel *ch)
{
    ch->passStart = RenderTime;
    if (WantSampleLoop.load(std::memory_order_relaxed))
        PushNote(ch, AUDIO_SAMPLE_LOOP, ch->passMs, ch->passCounter, ch->lastPassMs);
}

static int64_t SampleSupply(AudioChannel *ch)
{
    const SampleBuffer *s = ch->sample;
    for (int tries = 0; tries < 2; tries++) {
        int last = ch->passesAll && ch->passCounter >= ch->passesAll;
        int64_t limit = last ? ch->endFrame : (int64_t)s->frames;
        int64_t left = limit - ch->position;
        if (left > 0) {
            ch->conv.span = s->data + ch->position * s->bytesPerFrame;
            ch->position += left;
            return left;
        }
        if (last || !s->frames) return -1;
        ch->position = 0;
        ch->passCounter++;
        BeginPass(ch);
    }
    return -1;
}

static int64_t ModuleSupply(AudioChannel *ch)
{
    ModApplyRequest(ch->module);
    ModRender(ch->module, ch->modBuffer, ch->modBuffer + 1, 4, MOD_BLOCK_FRAMES, 0, 16, 2);
    ch->conv.span = reinterpret_cast<const uint8_t *>(ch->modBuffer);
    return MOD_BLOCK_FRAMES;
}

// The next source frames of a channel: >0 frames at conv.span, 0 none yet, -1 none any more.
static int64_t ChannelInput(AudioChannel *ch)
{
    switch (ch->state.load(std::memory_order_acquire)) {
    case CH_SAMPLE: return SampleSupply(ch);
    case CH_MODULE: return ModuleSupply(ch);
    case CH_STREAM: return StreamSupply(ch);
    default: return -1;
    }
}

template <int Layout> static inline float Decode(const uint8_t *p)
{
    if constexpr (Layout == CONV_U8) return ((int)p[0] - 128) * (1.0f / 128.0f);
    else if constexpr (Layout == CONV_S8) return (int8_t)p[0] * (1.0f / 128.0f);
    else if constexpr (Layout == CONV_S16LE) return (int16_t)(p[0] | (p[1] << 8)) * (1.0f / 32768.0f);
    else if constexpr (Layout == CONV_S16BE) return (int16_t)((p[0] << 8) | p[1]) * (1.0f / 32768.0f);
    else {
        float f;
        memcpy(&f, p, sizeof f);
        return f;
    }
}

// Adds `frames` converted frames of the channel into out. Stops early (the rest silent) when
// the source has nothing yet or has ended.
template <int Layout, int Channels> static void Convert(AudioChannel *ch, float *out, int frames)
{
    ChannelConverter *cv = &ch->conv;
    const int size = Channels * (Layout == CONV_F32 ? 4 : Layout >= CONV_S16LE ? 2 : 1);
    const int sampleSize = size / Channels;
    float a0 = cv->a[0], a1 = cv->a[1], b0 = cv->b[0], b1 = cv->b[1];
    const float gl = ch->gainLeft, gr = ch->gainRight;
    uint64_t frac = cv->frac;
    const uint64_t step = cv->step;
    for (int i = 0; i < frames; i++) {
        while (frac >= ONE) {
            if (!cv->spanLeft && !cv->drained) {
                int64_t n = ChannelInput(ch);
                if (n == 0) goto done;
                if (n < 0) cv->drained = 1;
                else cv->spanLeft = n;
            }
            frac -= ONE;
            a0 = b0;
            a1 = b1;
            if (cv->drained) {
                if (cv->tail++) {
                    ch->ended = 1;
                    goto done;
                }
            } else {
                b0 = Decode<Layout>(cv->span);
                b1 = Channels == 2 ? Decode<Layout>(cv->span + sampleSize) : b0;
                cv->span += size;
                cv->spanLeft--;
            }
        }
        {
            float t = (float)(uint32_t)frac * (1.0f / 4294967296.0f);
            out[2 * i] += (a0 + (b0 - a0) * t) * gl;
            out[2 * i + 1] += (a1 + (b1 - a1) * t) * gr;
        }
        frac += step;
    }
done:
    cv->a[0] = a0;
    cv->a[1] = a1;
    cv->b[0] = b0;
    cv->b[1] = b1;
    cv->frac = frac;
}

typedef void (*ConvertFunc)(AudioChannel *ch, float *out, int frames);
static const ConvertFunc Converters[5][2] = {
    {Convert<CONV_U8, 1>, Convert<CONV_U8, 2>},
    {Convert<CONV_S8, 1>, Convert<CONV_S8, 2>},
    {Convert<CONV_S16LE, 1>, Convert<CONV_S16LE, 2>},
    {Convert<CONV_S16BE, 1>, Convert<CONV_S16BE, 2>},
    {Convert<CONV_F32, 1>, Convert<CONV_F32, 2>},
};

static void PreRender(AudioChannel *ch, int state)
{
    if (!ch->restartClock) return;
    ch->restartClock = 0;
    if (state == CH_SAMPLE) BeginPass(ch);
    else if (state == CH_STREAM) ch->stream->startTime = RenderTime;
}

static void PostRender(AudioChannel *ch, int state)
{
    if (!ch->ended) return;
    if (state == CH_SAMPLE && WantSampleEnd.load(std::memory_order_relaxed))
        PushNote(ch, AUDIO_SAMPLE_END, ch->passMs, ch->passCounter, ch->lastPassMs);
    else if (state == CH_STREAM && WantMusicEnd.load(std::memory_order_relaxed))
        PushNote(ch, AUDIO_MUSIC_END, 0, 0, 0);
    ch->finished = 1;
    OsWakeMainThread();
}

void MixRender(float *out, int frames)
{
    memset(out, 0, sizeof(float) * 2 * (size_t)(frames > 0 ? frames : 0));
    if (frames <= 0 || !TryLockChannels()) return;
    OsGetSysTime(&RenderTime);
    for (int c = 0; c < AUDIO_CHANNELS; c++) {
        AudioChannel *ch = &AudioChannels[c];
        int state = ch->state.load(std::memory_order_acquire);
        if (state < CH_SAMPLE || ch->finished) continue;
        PreRender(ch, state);
        if (!ch->ended) Converters[ch->conv.layout][ch->conv.channels - 1](ch, out, frames);
        PostRender(ch, state);
    }
    UnlockChannels();
}
