// The music stream: a buffer of two halves of one second each. The render thread plays a
// ready half and hands it back; the streaming thread refills the halves that are not ready,
// rewinding the file for further passes. At most one stream plays.
//
// Every stream ends: a read that yields fewer frames than asked is the end of the file, and a
// pass that yields nothing is not repeated. Stopping waits for the streaming thread a bounded
// time; a thread still inside a read after that is left to finish on its own: it keeps its
// buffers and its file until the main thread collects it, and no other stream starts meanwhile.
#include <pthread.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>

#include "gfx/bitmap.h"
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
static AudioChannel *StreamChannel; // under the channel mutex; none once the stream is stopped
static SampleFile *StreamFile;      // the file the thread reads

static std::mutex StreamMutex;
static std::condition_variable StreamCond;
static int Request;
static std::atomic<int> Quit{0};
static pthread_t Thread;
static int ThreadRunning;
// A streaming thread that did not end within the stop's wait (main thread only): it still owns
// the halves and StreamFile; CloseOnCollect asks for the file to be closed once it has ended.
static int Orphaned, CloseOnCollect;

static StreamReadFunc Reader = ReadSampleData;

void SetStreamReader(StreamReadFunc reader)
{
    Reader = reader ? reader : ReadSampleData;
}

static int64_t TimeMs(const OsTimeVal &t)
{
    return (int64_t)t.seconds * 1000 + t.micros / 1000;
}

static int Running(const OsTimeVal &t)
{
    return t.seconds || t.micros;
}

// Whether the stream goes on with another pass after the file's end; it then counts the pass
// and rewinds the file (the clock keeps running across passes).
static int NextPass(void)
{
    LockChannels();
    AudioChannel *ch = StreamChannel;
    int next = ch && StreamFile->frames > 0 && (ch->passesAll == 0 || ch->passCounter < ch->passesAll);
    if (next) {
        ch->passCounter++;
        StreamFile->position = 0;
    }
    UnlockChannels();
    return next;
}

// Fills half `index` from the file, rewinding it for further passes. A read that yields fewer
// frames than asked is the file's end, whatever the reader's end flag says; after the last pass
// the rest of the half is zeroed. Returns 0 when the stream has no more data after this half.
static int FillHalf(int index)
{
    const int bytesPerFrame = StreamFile->readBytesPerFrame;
    int64_t got = 0;
    int more = 1, rewound = 0;
    while (got < HalfCapacity) {
        int end = 0;
        int64_t wanted = HalfCapacity - got;
        int64_t n = Reader(StreamFile, Halves[index] + got * bytesPerFrame, wanted, &end);
        if (n < 0) n = 0;
        if (n > wanted) n = wanted;
        got += n;
        // Stopped while reading: the channel mutex may be gone already.
        if (Quit.load()) break;
        if (n == wanted) continue;
        // A pass that yields nothing from its start would be repeated for ever.
        if ((n == 0 && rewound) || !NextPass()) {
            more = 0;
            break;
        }
        rewound = 1;
    }
    if (!more) memset(Halves[index] + got * bytesPerFrame, 0, (size_t)((HalfCapacity - got) * bytesPerFrame));
    HalfFrames[index] = got;
    if (got > 0) Ready[index].store(1, std::memory_order_release);
    return more;
}

static void *StreamThread(void *)
{
    OsRaiseThreadPriority();
    std::unique_lock<std::mutex> lock(StreamMutex);
    for (;;) {
        while (!Quit.load() && !Request) StreamCond.wait(lock);
        if (Quit.load()) break;
        Request = 0;
        Busy.store(1);
        lock.unlock();
        while (!Quit.load() && !EndFlag.load() && !Ready[FillIndex].load(std::memory_order_acquire)) {
            int more = FillHalf(FillIndex);
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

// Frees the buffers of a stream whose thread has ended (or never ran).
static void FreeHalves(void)
{
    MemFree(Halves[0]);
    Halves[0] = Halves[1] = nullptr;
    Ready[0].store(0);
    Ready[1].store(0);
    Busy.store(0);
}

// Joins the streaming thread when it ends within waitMs (0: only when it has ended already).
static int JoinThread(int waitMs)
{
    if (waitMs <= 0) return pthread_tryjoin_np(Thread, nullptr) == 0;
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += waitMs / 1000;
    until.tv_nsec += (long)(waitMs % 1000) * 1000000;
    if (until.tv_nsec >= 1000000000) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000;
    }
    return pthread_timedjoin_np(Thread, nullptr, &until) == 0;
}

// Joins a thread left running by a stop once it has ended, and does what the stop left undone:
// its buffers are freed and its file is closed, or rewound for the next play. 1 when no such
// thread is left.
static int CollectOrphan(int waitMs)
{
    if (!Orphaned) return 1;
    if (!JoinThread(waitMs)) return 0;
    Orphaned = 0;
    FreeHalves();
    if (CloseOnCollect) CloseSampleFile(StreamFile);
    else StreamFile->position = 0;
    CloseOnCollect = 0;
    StreamFile = nullptr;
    return 1;
}

int StreamStart(AudioChannel *ch)
{
    // One set of halves and one thread: a thread still finishing a stopped stream keeps them.
    if (!CollectOrphan(0)) return 1287;
    SampleFile *sf = ch->stream;
    HalfCapacity = sf->rate / (sf->framesPerPacket > 0 ? sf->framesPerPacket : 1);
    if (HalfCapacity < 1) HalfCapacity = 1;
    uint64_t halfBytes = (uint64_t)HalfCapacity * (uint64_t)sf->readBytesPerFrame;
    if (!halfBytes || 2 * halfBytes > kMaxPlaneBytes) return 1000;
    Halves[0] = static_cast<uint8_t *>(MemAlloc(2 * (size_t)halfBytes, 1));
    if (!Halves[0]) return 1000;
    Halves[1] = Halves[0] + halfBytes;
    LockChannels();
    StreamChannel = ch;
    UnlockChannels();
    StreamFile = sf;
    Ready[0].store(0);
    Ready[1].store(0);
    EndFlag.store(0);
    RefillPending.store(0);
    Quit.store(0);
    PlayIndex = 0;
    Supplying = 0;
    ch->singleHalf = sf->frames - sf->position <= HalfCapacity && ch->passCounter == ch->passesAll;
    int more = FillHalf(0);
    FillIndex = 1;
    if (ch->singleHalf || !more) {
        EndFlag.store(1);
        return 0;
    }
    Request = 1;
    if (pthread_create(&Thread, nullptr, StreamThread, nullptr) != 0) {
        FreeHalves();
        return 1287;
    }
    ThreadRunning = 1;
    return 0;
}

int StreamStop(int waitMs)
{
    LockChannels();
    StreamChannel = nullptr;
    UnlockChannels();
    if (ThreadRunning) {
        {
            std::lock_guard<std::mutex> lock(StreamMutex);
            Quit.store(1);
            Request = 1;
        }
        StreamCond.notify_one();
        ThreadRunning = 0;
        if (!JoinThread(waitMs)) {
            Orphaned = 1;
            return 0;
        }
    }
    FreeHalves();
    StreamFile = nullptr;
    return 1;
}

void CloseStreamFile(SampleFile *sf)
{
    if (Orphaned && StreamFile == sf && !CollectOrphan(0)) CloseOnCollect = 1;
    else CloseSampleFile(sf);
}

void StreamCollect(int waitMs)
{
    CollectOrphan(waitMs);
}

int StreamHoldsFile(SampleFile *sf)
{
    return Orphaned && StreamFile == sf && !CollectOrphan(0);
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
    // The thread takes the channel mutex to rewind, so it is joined outside of it. A thread
    // that does not end in time still reads the file: the stream is then stopped, not paused,
    // and the file's position is left to the collection.
    int joined = StreamStop(STREAM_STOP_WAIT_MS);

    int64_t duration = StreamDurationMs(sf);
    int64_t stored = TimeMs(sf->storedTime);
    if (!joined) {
        pause = 0;
        passes = 1;
    }
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
        if (joined) sf->position = 0;
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
