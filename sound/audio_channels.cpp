// The channel table and the main thread's operations on it: opening and closing the output,
// preparing and stopping samples, starting and stopping musics, reaping ended channels and
// moving their notifications into the sound event list.
#include <cstring>

#include "runtime/memory.h"
#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"

AudioChannel AudioChannels[AUDIO_CHANNELS];
std::atomic<int> WantSampleLoop{0}, WantSampleEnd{0}, WantMusicEnd{0};
void (*AudioStreamEndedHook)(SampleFile *stream) = nullptr;

static OsMutex *ChannelMutex = nullptr;
static int AudioOpen = 0;

void LockChannels(void)
{
    OsLockMutex(ChannelMutex);
}

void UnlockChannels(void)
{
    OsUnlockMutex(ChannelMutex);
}

int TryLockChannels(void)
{
    return ChannelMutex && OsTryLockMutex(ChannelMutex);
}

void ClearChannel(AudioChannel *ch)
{
    ch->state.store(CH_FREE);
    ch->sample = nullptr;
    ch->module = nullptr;
    ch->stream = nullptr;
    memset(&ch->conv, 0, sizeof ch->conv);
    ch->id = ObjectId{0, nullptr};
    ch->restartClock = ch->ended = ch->finished = 0;
    ch->passMs = ch->passCounter = ch->passesAll = ch->lastPassMs = 0;
    ch->position = ch->endFrame = 0;
    ch->passStart = OsTimeVal{0, 0};
    ch->modBuffer = nullptr;
    ch->volume = 0;
    ch->singleHalf = 0;
    ch->noteHead.store(0);
    ch->noteTail.store(0);
}

// Hands a slot whose every field is set to the render side: the mixer reads a channel only
// under the channel mutex, so the state is stored under it too and the fields written before
// are seen with it.
static void PublishChannel(AudioChannel *ch, int state)
{
    LockChannels();
    ch->state.store(state, std::memory_order_release);
    UnlockChannels();
}

int OsInitAudio(void)
{
    for (AudioChannel &ch : AudioChannels) ClearChannel(&ch);
    if (!ChannelMutex) ChannelMutex = OsCreateMutex();
    return ChannelMutex ? 0 : 1298;
}

int OsOpenAudio(int masterVolume)
{
    int rate = 0;
    if (OsOpenAudioDevice(MixRender, &rate)) return 1267;
    MixSetOutputRate(rate);
    AudioOpen = 1;
    return 0;
}

void OsStopAudio(void)
{
    OsPauseAudioDevice(1);
}

void OsCloseAudio(void)
{
    OsCloseAudioDevice();
    AudioOpen = 0;
    if (ChannelMutex) {
        for (AudioChannel &ch : AudioChannels) {
            if (ch.state.load() == CH_STREAM) StreamStop(STREAM_STOP_WAIT_MS);
            MemFree(ch.modBuffer);
            ClearChannel(&ch);
        }
        StreamCollect(STREAM_STOP_WAIT_MS);
    }
    OsDeleteMutex(ChannelMutex);
    ChannelMutex = nullptr;
    FreeAudioEvents();
}

void OsSetMasterVolume(int volume)
{
}

void OsPostAudioEvents(void)
{
    if (!ChannelMutex) return;
    for (AudioChannel &ch : AudioChannels) {
        uint32_t tail = ch.noteTail.load(std::memory_order_relaxed);
        uint32_t head = ch.noteHead.load(std::memory_order_acquire);
        for (; tail != head; tail++) {
            const AudioNote &n = ch.notes[tail % AUDIO_NOTES];
            PostAudioEvent(n.kind, ch.id, n.a, n.b, n.c);
        }
        ch.noteTail.store(tail, std::memory_order_release);
    }
}

// Frees a sample or module channel (the caller holds the channel mutex).
static void FreeChannel(AudioChannel *ch)
{
    MemFree(ch->modBuffer);
    ClearChannel(ch);
}

void OsReapChannels(void)
{
    if (!ChannelMutex) return;
    // The finished stream is stopped outside the lock: stopping joins the streaming thread,
    // which takes the channel mutex to rewind. Notifications are moved under the lock, so a
    // channel's last ones are taken before it is freed.
    SampleFile *endedStream = nullptr;
    StreamCollect(0);
    LockChannels();
    OsPostAudioEvents();
    for (AudioChannel &ch : AudioChannels) {
        if (!ch.finished) continue;
        if (ch.state.load() == CH_STREAM) endedStream = ch.stream;
        else FreeChannel(&ch);
    }
    UnlockChannels();
    if (endedStream) {
        StopStreamChannel(endedStream, 0, nullptr, nullptr);
        if (AudioStreamEndedHook) AudioStreamEndedHook(endedStream);
    }
}

static AudioChannel *FreeSlot(void)
{
    for (AudioChannel &ch : AudioChannels)
        if (ch.state.load() == CH_FREE) return &ch;
    return nullptr;
}

int OsPlaySample(SampleBuffer *sample, ObjectId id, int formatCode, uint32_t length, int pitch,
                 int volume, int pan, int timeMs, int times)
{
    OsReapChannels();
    AudioChannel *ch = FreeSlot();
    if (!ch) return 1289;
    if (pitch < 1) return 1055;
    int code = SetupConverter(&ch->conv, sample->bits, sample->channels, sample->flags, pitch);
    if (code) {
        ClearChannel(ch);
        return code;
    }
    ch->id = id;
    ch->sample = sample;
    ch->passMs = (int32_t)((int64_t)sample->frames * 1000 / pitch);
    ch->passCounter = 1;
    ch->restartClock = 1;
    if (timeMs >= 0 && ch->passMs > 0) {
        ch->passesAll = timeMs / ch->passMs + 1;
        ch->lastPassMs = timeMs % ch->passMs;
        ch->endFrame = (int64_t)pitch * ch->lastPassMs / 1000;
    } else {
        ch->passesAll = times < 0 ? 1 : times;
        ch->lastPassMs = ch->passMs;
        ch->endFrame = sample->frames;
    }
    SetChannelGains(ch, volume, pan);
    PublishChannel(ch, CH_PREPARED);
    return 0;
}

void OsStartPreparedChannels(void)
{
    LockChannels();
    for (AudioChannel &ch : AudioChannels) {
        int prepared = CH_PREPARED;
        ch.state.compare_exchange_strong(prepared, CH_SAMPLE);
    }
    UnlockChannels();
}

void OsReleasePreparedChannels(void)
{
    LockChannels();
    for (AudioChannel &ch : AudioChannels)
        if (ch.state.load() == CH_PREPARED) FreeChannel(&ch);
    UnlockChannels();
}

void OsStopSamples(SampleBuffer *sample)
{
    if (!ChannelMutex) return;
    LockChannels();
    OsPostAudioEvents();
    for (AudioChannel &ch : AudioChannels) {
        int state = ch.state.load();
        if ((state == CH_PREPARED || state == CH_SAMPLE) && (!sample || ch.sample == sample))
            FreeChannel(&ch);
    }
    UnlockChannels();
}

void OsSetSampleParams(SampleBuffer *sample, int pitch, int volume, int pan)
{
    if (pitch != -1 || !ChannelMutex) return;
    LockChannels();
    for (AudioChannel &ch : AudioChannels) {
        int state = ch.state.load();
        if ((state == CH_PREPARED || state == CH_SAMPLE) && ch.sample == sample)
            SetChannelGains(&ch, volume, pan);
    }
    UnlockChannels();
}

int OsIsSamplePlaying(SampleBuffer *sample)
{
    if (!ChannelMutex) return 0;
    OsReapChannels();
    for (AudioChannel &ch : AudioChannels)
        if (ch.state.load() == CH_SAMPLE && ch.sample == sample) return 1;
    return 0;
}

int OsSamplePosition(SampleBuffer *sample, int32_t *ms, int32_t *passes)
{
    if (!ChannelMutex) return 0;
    OsReapChannels();
    for (AudioChannel &ch : AudioChannels) {
        if (ch.state.load() != CH_SAMPLE || ch.sample != sample) continue;
        LockChannels();
        OsTimeVal now;
        OsGetSysTime(&now);
        int started = ch.passStart.seconds || ch.passStart.micros;
        OsSubTime(&now, &ch.passStart);
        *ms = started ? (int32_t)(now.seconds * 1000 + now.micros / 1000) : 0;
        *passes = ch.passCounter - 1;
        UnlockChannels();
        return 1;
    }
    return 0;
}

static AudioChannel *MusicChannel(int kind, void *decoder)
{
    for (AudioChannel &ch : AudioChannels) {
        int state = ch.state.load();
        if (kind == MUSIC_MODULE && state == CH_MODULE && ch.module == decoder) return &ch;
        if (kind == MUSIC_STREAM && state == CH_STREAM && ch.stream == decoder) return &ch;
    }
    return nullptr;
}

int OsPlayMusic(int kind, void *decoder, ObjectId id, int times, int passCounter, int volume)
{
    OsReapChannels();
    AudioChannel *ch = FreeSlot();
    if (!ch) return 1289;
    ch->id = id;
    ch->volume = volume;
    if (kind == MUSIC_MODULE) {
        ch->module = static_cast<ModulePlayer *>(decoder);
        ch->modBuffer = static_cast<int16_t *>(MemAlloc(MOD_BUFFER_BYTES, 1));
        if (!ch->modBuffer) {
            ClearChannel(ch);
            return 1000;
        }
        if (SetupConverter(&ch->conv, 16, 2, SAMPLEF_SIGNED, 48000)) {
            FreeChannel(ch);
            return 1280;
        }
        SetChannelGains(ch, volume, 128);
        PublishChannel(ch, CH_MODULE);
        return 0;
    }
    SampleFile *sf = static_cast<SampleFile *>(decoder);
    ch->stream = sf;
    ch->restartClock = 1;
    ch->position = sf->position;
    ch->passesAll = times;
    ch->passCounter = passCounter;
    sf->startOffsetMs = sf->rate > 0 ? sf->position * 1000 / sf->rate : 0;
    int code = SetupConverter(&ch->conv, sf->readBits, sf->channels, sf->readFlags, sf->rate);
    if (!code) code = StreamStart(ch);
    if (code) {
        ClearChannel(ch);
        return code;
    }
    SetChannelGains(ch, volume, 128);
    PublishChannel(ch, CH_STREAM);
    return 0;
}

int OsStopMusic(int kind, void *decoder, int pause, int32_t *passCounter, int64_t *resumeFrame)
{
    if (!ChannelMutex) return 0;
    if (kind == MUSIC_STREAM) {
        StopStreamChannel(static_cast<SampleFile *>(decoder), pause, passCounter, resumeFrame);
        return 0;
    }
    LockChannels();
    OsPostAudioEvents();
    AudioChannel *ch = MusicChannel(kind, decoder);
    if (ch) FreeChannel(ch);
    UnlockChannels();
    ModulePlayer *mp = static_cast<ModulePlayer *>(decoder);
    if (!pause) ModInit(mp, mp->moduleData, mp->moduleSize, 48000);
    return 0;
}

void OsSetMusicVolume(int kind, void *decoder, int volume)
{
    if (!ChannelMutex) return;
    LockChannels();
    AudioChannel *ch = MusicChannel(kind, decoder);
    if (ch) {
        ch->volume = volume;
        SetChannelGains(ch, volume, 128);
    }
    UnlockChannels();
}

void OsSeekStreamMs(int kind, SampleFile *stream, int64_t ms)
{
    if (kind == MUSIC_STREAM && !StreamHoldsFile(stream)) SeekSampleFile(stream, ms * stream->rate / 1000);
}

ModulePlayer *OsFindModuleChannel(ModulePlayer *module)
{
    return MusicChannel(MUSIC_MODULE, module) ? module : nullptr;
}
