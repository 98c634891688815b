// The audio output: eight channels, each with its own converter from its source's format and
// rate to the device's float stereo, mixed by MixRender on the device's thread; one music
// stream decoded ahead by a streaming thread; end and loop notifications handed to the main
// thread through a lock-free queue per channel and the sound event list.
//
// Every operation below runs on the main thread. MixRender runs on the device thread; it only
// try-locks the channel mutex and renders silence when it is busy. A slot reaches the mixer by
// its state, stored under the channel mutex after every other field of the slot is set.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/os.h"
#include "runtime/handler_support.h"

struct SampleBuffer;
struct SampleFile;
struct ModulePlayer;

enum { AUDIO_CHANNELS = 8 };
// Channel states.
enum { CH_FREE = 0, CH_PREPARED = 1, CH_SAMPLE = 2, CH_MODULE = 3, CH_STREAM = 4 };
// Notification kinds.
enum { AUDIO_SAMPLE_END = 5, AUDIO_SAMPLE_LOOP = 6, AUDIO_MUSIC_END = 7 };
// Frames of a module block rendered at a time (at 48000 Hz), and the module buffer size.
enum { MOD_BLOCK_FRAMES = 512, MOD_BUFFER_BYTES = 192000 };

// Source layouts of the converters.
enum { CONV_U8 = 0, CONV_S8 = 1, CONV_S16LE = 2, CONV_S16BE = 3, CONV_F32 = 4 };

// Resampling by linear interpolation between the last two source frames a and b, with a 32.32
// step of source frames per output frame.
struct ChannelConverter {
    int layout;             // CONV_*
    int channels;           // 1 or 2
    int bytesPerFrame;
    uint64_t step;
    uint64_t frac;          // position between a and b; a new frame is due at 1.0 or more
    float a[2], b[2];
    const uint8_t *span;    // source frames supplied and not yet taken
    int64_t spanLeft;
    int drained;            // the source has no more frames
    int tail;               // frames taken since it drained
};

struct AudioNote {
    int kind;
    int32_t a, b, c;        // pass duration, pass counter, last pass ms
};
enum { AUDIO_NOTES = 8 };

struct AudioChannel {
    SampleBuffer *sample;
    ModulePlayer *module;
    SampleFile *stream;
    ChannelConverter conv;
    std::atomic<int> state;
    ObjectId id;
    int restartClock;
    int ended;
    int finished;
    int32_t passMs;
    int64_t position;       // frame within the sample
    int32_t passCounter;
    int32_t passesAll;      // 0: without end
    int64_t endFrame;       // of the last pass
    int32_t lastPassMs;
    OsTimeVal passStart;
    int16_t *modBuffer;
    int volume;
    int singleHalf;
    float gainLeft, gainRight;
    // Notifications written by the render thread, taken by the main thread.
    AudioNote notes[AUDIO_NOTES];
    std::atomic<uint32_t> noteHead, noteTail;
};

extern AudioChannel AudioChannels[AUDIO_CHANNELS];

// The three handler flags (runtime tags 13, 14 and 19).
extern std::atomic<int> WantSampleLoop, WantSampleEnd, WantMusicEnd;

// Called on the main thread when it frees a stream channel that ended by itself: the sound
// library forgets the stream as its playing music if it still is. None: nothing is called.
extern void (*AudioStreamEndedHook)(SampleFile *stream);

// ---------------------------------------------------------------------------------------------
// Lifecycle

int OsInitAudio(void);                  // 0, 1298
int OsOpenAudio(int masterVolume);      // 0, 1267
void OsStopAudio(void);
void OsCloseAudio(void);
void OsSetMasterVolume(int volume);     // nothing on this platform
// Frees the channels whose sound has ended (after moving their notifications); the event pump
// calls it at most once a second through its audio upcall, every channel operation first.
void OsReapChannels(void);
// Moves every channel's pending notifications into the sound event list (every pump pass).
// Both do nothing before OsInitAudio.
void OsPostAudioEvents(void);
// The output rate the mixer renders at (the device's; tests set it directly).
void MixSetOutputRate(int rate);
int MixGetOutputRate(void);

// Fills `frames` frames of interleaved float stereo: every playing channel converted and
// mixed, with the notifications of the render.
void MixRender(float *out, int frames);

// ---------------------------------------------------------------------------------------------
// Samples

// Readies a channel for the sample (silent until OsStartPreparedChannels). timeMs -1: none.
// 0, 1289, 1280.
int OsPlaySample(SampleBuffer *sample, ObjectId id, int formatCode, uint32_t length, int pitch,
                 int volume, int pan, int timeMs, int times);
void OsStartPreparedChannels(void);
// Frees every prepared channel (a PlaySample that failed on a later pair).
void OsReleasePreparedChannels(void);
// Stops every channel that holds the sample (prepared or playing), or with none every sample
// channel.
void OsStopSamples(SampleBuffer *sample);
void OsSetSampleParams(SampleBuffer *sample, int pitch, int volume, int pan);
int OsIsSamplePlaying(SampleBuffer *sample);
// ms since the current pass began and completed passes of the first channel holding it; the
// outputs are untouched when none does. 1 when one does.
int OsSamplePosition(SampleBuffer *sample, int32_t *ms, int32_t *passes);

// ---------------------------------------------------------------------------------------------
// Music

int OsPlayMusic(int kind, void *decoder, ObjectId id, int times, int passCounter, int volume);
int OsStopMusic(int kind, void *decoder, int pause, int32_t *passCounter, int64_t *resumeFrame);
void OsSetMusicVolume(int kind, void *decoder, int volume);
void OsSeekStreamMs(int kind, SampleFile *stream, int64_t ms);
ModulePlayer *OsFindModuleChannel(ModulePlayer *module);
// The stream's position in ms (its stored time while the clock stands, else the running time
// modulo the duration).
int64_t StreamPositionMs(SampleFile *stream);
int64_t StreamDurationMs(SampleFile *stream);

// Stream internals shared by the channel code and the streaming thread (audio_stream.cpp).
// The longest a stop waits for the streaming thread, in ms.
enum { STREAM_STOP_WAIT_MS = 1000 };
// 0, 1000 (the halves would pass the core's size limit), 1287 (no thread, or the thread of a
// stopped stream is still finishing).
int StreamStart(AudioChannel *ch);
// Stops the stream's thread and frees its buffers (the channel is already detached). 1, or 0
// when the thread did not end within waitMs: it then keeps its buffers and its file until it is
// collected (StreamCollect, CloseStreamFile, the next StreamStart).
int StreamStop(int waitMs);
// Collects a thread left running by a stop once it has ended, waiting up to waitMs for it.
void StreamCollect(int waitMs);
// 1 while such a thread still reads the file: the file is not to be moved or played.
int StreamHoldsFile(SampleFile *stream);
// Closes a stream's file, or leaves the closing to the collection while such a thread reads it.
void CloseStreamFile(SampleFile *stream);
// The render side: frames of the next ready half (>0), 0 when none is ready yet, -1 at the end.
int64_t StreamSupply(AudioChannel *ch);
// Waits until the streaming thread has served every request (tests); 1, or 0 on timeout.
int StreamWaitIdle(int timeoutMs);
// The streaming thread's reader: ReadSampleData, unless a test puts its own (none restores it).
typedef int64_t (*StreamReadFunc)(SampleFile *stream, void *buffer, int64_t frames, int *end);
void SetStreamReader(StreamReadFunc reader);
void StopStreamChannel(SampleFile *stream, int pause, int32_t *passCounter, int64_t *resumeFrame);

// ---------------------------------------------------------------------------------------------
// Events

// Appends an event: time = (b - 1) x a, plus c for kind 5; starts = b. Out of memory drops it.
void PostAudioEvent(int kind, ObjectId id, int32_t a, int32_t b, int32_t c);
// Removes the oldest event: 1 when one was taken, else 0.
int TakeAudioEvent(int *kind, ObjectId *id, int32_t *time, uint32_t *starts);
void FreeAudioEvents(void);

// Internal to the channel code: the channel mutex, and converter setup.
void LockChannels(void);
void UnlockChannels(void);
int TryLockChannels(void);
// 0, or 1280 when the layout cannot be converted.
int SetupConverter(ChannelConverter *cv, int bits, int channels, int flags, int rate);
void SetChannelGains(AudioChannel *ch, int volume, int pan);
// Queues a notification on the render thread (dropped when the queue is full).
void PushNote(AudioChannel *ch, int kind, int32_t a, int32_t b, int32_t c);
void ClearChannel(AudioChannel *ch);
