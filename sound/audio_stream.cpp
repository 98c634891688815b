// The music stream: a buffer of two halves of one second each. The render thread plays a
// ready half and hands it back; the streaming thread refills the halves that are not ready,
// rewinding the file for further passes. At most one stream plays.
#include <pthread.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "runtime/memory.h"
#include "sound/audio_output.h"
#include "sound/sample_file.h"

static uint8_t *Halves[2];
static int64_t HalfFrames[2];
static std::atomic<int> Ready[2];
static int64_t HalfCapacity;        // frames of one half
static int PlayIndex, FillIndex;
static int Supplying;               // the render side holds the half at PlayIndex
static std::atomic<int> EndFlag{0};
static std::atomic<int> RefillPending{0};
static std::atomic<int> Busy{0};    // the thread is filling
static AudioChannel *StreamChannel;

static std::mutex StreamMutex;
static std::condition_variable StreamCond;
static int Request, Quit;
static pthread_t Thread;
static int ThreadRunning;

static int64_t TimeMs(const OsTimeVal &t)
{
    return (int64_t)t.seconds * 1000 + t.micros / 1000;
}

static int Running(const OsTimeVal &t)
{
    return t.seconds || t.micros;
}

// Fills half `index` from the file; with passes left the file is rewound as often as needed.
// Returns 0 when the stream has no more data after this half.
static int FillHalf(AudioChannel *ch, int index)
{
    SampleFile *sf = ch->stream;
    int64_t got = 0;
    int more = 1;
    while (got < HalfCapacity) {
        int end = 0;
        got += ReadSampleData(sf, Halves[index] + got * sf->readBytesPerFrame, HalfCapacity - got, &end);
        if (!end) break;
        LockChannels();
        int passesLeft = sf->frames > 0 && (ch->passesAll == 0 || ch->passCounter < ch->passesAll);
        if (passesLeft) {
            ch->passCounter++;
            sf->position = 0;   // the clock keeps running across passes
        }
        UnlockChannels();
        if (!passesLeft) {
            more = 0;
            break;
        }
    }
    HalfFrames[index] = got;
    if (got > 0) Ready[index].store(1, std::memory_order_release);
    return more;
}

static void *StreamThread(void *)
{
    OsRaiseThreadPriority();
    std::unique_lock<std::mutex> lock(StreamMutex);
    for (;;) {
        while (!Quit && !Request) StreamCond.wait(lock);
        if (Quit) break;
        Request = 0;
        Busy.store(1);
        lock.unlock();
        while (!EndFlag.load() && !Ready[FillIndex].load(std::memory_order_acquire)) {
            int more = FillHalf(StreamChannel, FillIndex);
            FillIndex ^= 1;
            if (!more) EndFlag.store(1, std::memory_order_release);
        }
        lock.lock();
        Busy.store(0);
    }
    return nullptr;
}

// Wakes the streaming thread without waiting: a busy mutex leaves the request pending.
static void RequestRefill(void)
{
    if (!ThreadRunning) return;
    std::unique_lock<std::mutex> lock(StreamMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        RefillPending.store(1);
        return;
    }
    Request = 1;
    RefillPending.store(0);
    StreamCond.notify_one();
}

int64_t StreamSupply(AudioChannel *ch)
{
    if (Supplying) {
        Ready[PlayIndex].store(0, std::memory_order_release);
        PlayIndex ^= 1;
        Supplying = 0;
        RequestRefill();
    } else if (RefillPending.load()) {
        RequestRefill();
    }
    if (Ready[PlayIndex].load(std::memory_order_acquire)) {
        ch->conv.span = Halves[PlayIndex];
        Supplying = 1;
        return HalfFrames[PlayIndex];
    }
    if (EndFlag.load(std::memory_order_acquire) && !Ready[PlayIndex].load(std::memory_order_acquire))
        return -1;
    return 0;
}

int StreamStart(AudioChannel *ch)
{
    SampleFile *sf = ch->stream;
    HalfCapacity = sf->rate / (sf->framesPerPacket > 0 ? sf->framesPerPacket : 1);
    if (HalfCapacity < 1) HalfCapacity = 1;
    size_t halfBytes = (size_t)HalfCapacity * (size_t)sf->readBytesPerFrame;
    Halves[0] = static_cast<uint8_t *>(MemAlloc(2 * halfBytes, 1));
    if (!Halves[0]) return 1000;
    Halves[1] = Halves[0] + halfBytes;
    StreamChannel = ch;
    Ready[0].store(0);
    Ready[1].store(0);
    EndFlag.store(0);
    RefillPending.store(0);
    PlayIndex = 0;
    Supplying = 0;
    ch->singleHalf = sf->frames - sf->position <= HalfCapacity && ch->passCounter == ch->passesAll;
    int more = FillHalf(ch, 0);
    FillIndex = 1;
    if (ch->singleHalf || !more) {
        EndFlag.store(1);
        return 0;
    }
    Quit = 0;
    Request = 1;
    if (pthread_create(&Thread, nullptr, StreamThread, nullptr) != 0) {
        MemFree(Halves[0]);
        Halves[0] = Halves[1] = nullptr;
        return 1287;
    }
    ThreadRunning = 1;
    return 0;
}

void StreamStop(void)
{
    if (ThreadRunning) {
        {
            std::lock_guard<std::mutex> lock(StreamMutex);
            Quit = 1;
            Request = 1;
        }
        StreamCond.notify_one();
        pthread_join(Thread, nullptr);
        ThreadRunning = 0;
    }
    MemFree(Halves[0]);
    Halves[0] = Halves[1] = nullptr;
    StreamChannel = nullptr;
    Ready[0].store(0);
    Ready[1].store(0);
    Busy.store(0);
}

int StreamWaitIdle(int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited++) {
        int idle;
        {
            std::lock_guard<std::mutex> lock(StreamMutex);
            idle = !ThreadRunning || (!Request && !Busy.load());
        }
        if (idle && !RefillPending.load()) return 1;
        OsSleepMillis(nullptr, 1);
    }
    return 0;
}

int64_t StreamDurationMs(SampleFile *sf)
{
    return sf->rate > 0 ? sf->frames * 1000 / sf->rate : 0;
}

int64_t StreamPositionMs(SampleFile *sf)
{
    // The start time is written by the render side when the stream's clock starts.
    LockChannels();
    OsTimeVal start = sf->startTime;
    UnlockChannels();
    if (!Running(start)) return TimeMs(sf->storedTime);
    OsTimeVal now;
    OsGetSysTime(&now);
    OsSubTime(&now, &start);
    int64_t duration = StreamDurationMs(sf);
    int64_t t = TimeMs(now) + TimeMs(sf->storedTime);
    return duration > 0 ? t % duration : t;
}

void StopStreamChannel(SampleFile *sf, int pause, int32_t *passCounter, int64_t *resumeFrame)
{
    LockChannels();
    OsPostAudioEvents();
    AudioChannel *ch = nullptr;
    for (AudioChannel &c : AudioChannels)
        if (c.state.load() == CH_STREAM && c.stream == sf) ch = &c;
    if (!ch) {
        UnlockChannels();
        return;
    }
    ch->state.store(CH_FREE);      // the render side no longer looks at it
    int32_t passes = ch->passCounter;
    UnlockChannels();
    // The thread takes the channel mutex to rewind, so it is joined outside of it.
    StreamStop();

    int64_t duration = StreamDurationMs(sf);
    int64_t stored = TimeMs(sf->storedTime);
    if (pause && Running(sf->startTime)) {
        OsTimeVal now;
        OsGetSysTime(&now);
        OsSubTime(&now, &sf->startTime);
        int64_t elapsed = TimeMs(now);
        int64_t played = elapsed + sf->startOffsetMs;
        sf->startOffsetMs = played;
        if (duration > 0) passes = (int32_t)(played / duration + 1);
        stored = duration > 0 ? (elapsed + stored) % duration : 0;
    }
    if (pause) {
        int64_t frame = stored * sf->rate / 1000;
        sf->position = frame < sf->frames ? frame : 0;
        if (resumeFrame) *resumeFrame = sf->position;
    } else {
        sf->position = 0;
        stored = 0;
    }
    sf->storedTime.seconds = (uint32_t)(stored / 1000);
    sf->storedTime.micros = (uint32_t)(stored % 1000 * 1000);
    sf->startTime = OsTimeVal{0, 0};
    if (passCounter) *passCounter = passes;
    LockChannels();
    ClearChannel(ch);
    UnlockChannels();
}
