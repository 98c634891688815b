// The audio output without a device: PCM pulled from MixRender, the channel table, the
// notifications, modules and streams.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "runtime/memory.h"
#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"
#include "tests/sound/mod_fixture.h"
#include "tests/sound/sound_fixture.h"

namespace {

// A settable clock for the pass and stream clocks.
OsTimeVal FakeNow = {1000, 0};
void FakeClock(OsTimeVal *out)
{
    *out = FakeNow;
}
void Advance(int ms)
{
    OsTimeVal d = {(uint32_t)(ms / 1000), (uint32_t)(ms % 1000 * 1000)};
    OsAddTime(&FakeNow, &d);
}

struct Buffer {
    SampleBuffer b = {};
    std::vector<uint8_t> bytes;
    Buffer(std::vector<uint8_t> data, int bits, int channels, int flags) : bytes(std::move(data))
    {
        b.data = bytes.data();
        b.bits = bits;
        b.channels = channels;
        b.bytesPerFrame = bits / 8 * channels;
        b.flags = flags;
        b.frames = (uint32_t)(bytes.size() / b.bytesPerFrame);
    }
};

class AudioOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, OsInitAudio());
        MixSetOutputRate(48000);
        OsSetClock(FakeClock);
        WantSampleLoop = WantSampleEnd = WantMusicEnd = 0;
        AudioStreamEndedHook = nullptr;
    }
    void TearDown() override
    {
        OsCloseAudio();
        OsSetClock(nullptr);
    }
    std::vector<float> Render(int frames)
    {
        std::vector<float> out((size_t)frames * 2);
        MixRender(out.data(), frames);
        return out;
    }
    int Play(Buffer &s, int pitch, int timeMs = -1, int times = 1, int volume = 64, int pan = 128)
    {
        int code = OsPlaySample(&s.b, ObjectId{7, nullptr}, 0, 0, pitch, volume, pan, timeMs, times);
        if (!code) OsStartPreparedChannels();
        return code;
    }
};

std::vector<uint8_t> Square(int period, int cycles)
{
    std::vector<uint8_t> v;
    for (int c = 0; c < cycles; c++)
        for (int i = 0; i < period; i++) v.push_back(i < period / 2 ? 100 : (uint8_t)-100);
    return v;
}

TEST_F(AudioOutput, SquareWaveKeepsItsPitch)
{
    Buffer s(Square(16, 1000), 8, 1, SAMPLEF_SIGNED);
    ASSERT_EQ(0, Play(s, 8000, -1, 0));
    std::vector<float> pcm = Render(48000);
    long first = -1, last = -1, cycles = 0;
    for (size_t f = 1000; f < pcm.size() / 2; f++) {
        if (pcm[2 * (f - 1)] < 0 && pcm[2 * f] >= 0) {
            if (first < 0) first = (long)f;
            else cycles++;
            last = (long)f;
        }
    }
    ASSERT_GT(cycles, 100);
    EXPECT_NEAR(96.0, double(last - first) / cycles, 96 * 0.005);
}

TEST_F(AudioOutput, ConvertersReadEveryLayout)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> frame;
        int bits, channels, flags;
        float left, right;
    } cases[] = {
        {"u8", {192}, 8, 1, 0, 0.5f, 0.5f},
        {"s8", {0xC0}, 8, 1, SAMPLEF_SIGNED, -0.5f, -0.5f},
        {"s16le stereo", {0x00, 0x40, 0x00, 0xC0}, 16, 2, SAMPLEF_SIGNED, 0.5f, -0.5f},
        {"s16be", {0x40, 0x00}, 16, 1, SAMPLEF_SIGNED | SAMPLEF_BIGENDIAN, 0.5f, 0.5f},
        {"u8 stereo", {0, 255}, 8, 2, 0, -1.0f, 127 / 128.0f},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> data;
        for (int i = 0; i < 1000; i++) data.insert(data.end(), c.frame.begin(), c.frame.end());
        Buffer s(data, c.bits, c.channels, c.flags);
        ASSERT_EQ(0, Play(s, 44100)) << c.what;
        std::vector<float> pcm = Render(100);
        EXPECT_FLOAT_EQ(c.left, pcm[100]) << c.what;
        EXPECT_FLOAT_EQ(c.right, pcm[101]) << c.what;
        OsStopSamples(nullptr);
    }
    Buffer s16(std::vector<uint8_t>(100, 0), 16, 1, 0);   // unsigned 16-bit: no converter
    EXPECT_EQ(1280, Play(s16, 8000));
}

TEST_F(AudioOutput, VolumeAndPanning)
{
    Buffer s(std::vector<uint8_t>(4000, 64), 8, 1, SAMPLEF_SIGNED);    // 0.5
    struct Case {
        int volume, pan;
        float left, right;
    } cases[] = {
        {64, 128, 0.5f, 0.5f}, {8, 128, 0.25f, 0.25f}, {64, 0, 0.5f, 0.0f},
        {64, 255, 0.0f, 0.5f}, {0, 128, 0.0f, 0.0f},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(0, Play(s, 8000, -1, 1, c.volume, c.pan));
        std::vector<float> pcm = Render(10);
        EXPECT_NEAR(c.left, pcm[10], 1e-6) << c.volume << " " << c.pan;
        EXPECT_NEAR(c.right, pcm[11], 1e-6) << c.volume << " " << c.pan;
        OsSetSampleParams(&s.b, -1, 64, 128);
        pcm = Render(10);
        EXPECT_NEAR(0.5f, pcm[10], 1e-6);
        OsStopSamples(&s.b);
    }
}

TEST_F(AudioOutput, TimedPlayLoopsAndCutsTheLastPass)
{
    WantSampleLoop = WantSampleEnd = 1;
    Buffer s(std::vector<uint8_t>(8000, 50), 8, 1, SAMPLEF_SIGNED);    // 1 s at 8000 Hz
    ASSERT_EQ(0, Play(s, 8000, 2500));
    long sounding = 0;
    for (int block = 0; block < 300; block++) {
        std::vector<float> pcm = Render(480);
        for (size_t f = 0; f < 480; f++) sounding += pcm[2 * f] != 0;
        OsPostAudioEvents();
    }
    EXPECT_NEAR(120000, sounding, 1);
    EXPECT_EQ(0, OsIsSamplePlaying(&s.b));
    struct Expected {
        int kind;
        int32_t time;
        uint32_t starts;
    } expected[] = {{6, 0, 1}, {6, 1000, 2}, {6, 2000, 3}, {5, 2500, 3}};
    for (const Expected &e : expected) {
        int kind;
        ObjectId id;
        int32_t time;
        uint32_t starts;
        ASSERT_EQ(1, TakeAudioEvent(&kind, &id, &time, &starts));
        EXPECT_EQ(e.kind, kind);
        EXPECT_EQ(e.time, time);
        EXPECT_EQ(e.starts, starts);
        EXPECT_EQ(7u, id.number);
    }
    int kind;
    ObjectId id;
    int32_t time;
    uint32_t starts;
    EXPECT_EQ(0, TakeAudioEvent(&kind, &id, &time, &starts));
}

TEST_F(AudioOutput, WithoutHandlersNoEventsButThePositionCounts)
{
    Buffer s(std::vector<uint8_t>(8000, 50), 8, 1, SAMPLEF_SIGNED);
    ASSERT_EQ(0, Play(s, 8000, -1, 2));
    Render(480);
    Advance(250);
    Render(480);
    int32_t ms = -1, passes = -1;
    ASSERT_EQ(1, OsSamplePosition(&s.b, &ms, &passes));
    EXPECT_EQ(250, ms);
    EXPECT_EQ(0, passes);
    for (int i = 0; i < 250; i++) Render(480);
    OsReapChannels();
    int kind;
    ObjectId id;
    int32_t time;
    uint32_t starts;
    EXPECT_EQ(0, TakeAudioEvent(&kind, &id, &time, &starts));
    EXPECT_EQ(0, OsIsSamplePlaying(&s.b));
}

TEST_F(AudioOutput, ChannelsRunOutAndStopsFreeThem)
{
    Buffer a(std::vector<uint8_t>(100, 50), 8, 1, SAMPLEF_SIGNED);
    Buffer b(std::vector<uint8_t>(100, 50), 8, 1, SAMPLEF_SIGNED);
    for (int i = 0; i < 4; i++) ASSERT_EQ(0, Play(a, 8000, -1, 0));
    for (int i = 0; i < 4; i++) ASSERT_EQ(0, Play(b, 8000, -1, 0));
    EXPECT_EQ(1289, Play(a, 8000));
    OsStopSamples(&a.b);                // every channel of a, and only those
    EXPECT_EQ(0, OsIsSamplePlaying(&a.b));
    EXPECT_EQ(1, OsIsSamplePlaying(&b.b));
    std::vector<float> pcm = Render(10);
    EXPECT_NEAR(4 * 50 / 128.0, pcm[10], 1e-5);

    // prepared channels are released with the sample's stop and by a failed PlaySample
    OsStopSamples(nullptr);
    ASSERT_EQ(0, OsPlaySample(&a.b, ObjectId{1, nullptr}, 2, 100, 8000, 64, 128, -1, 1));
    OsStopSamples(&a.b);
    ASSERT_EQ(0, OsPlaySample(&a.b, ObjectId{1, nullptr}, 2, 100, 8000, 64, 128, -1, 1));
    OsReleasePreparedChannels();
    for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load());
}

TEST_F(AudioOutput, RenderIsSilentWhileTheChannelsAreLocked)
{
    Buffer s(std::vector<uint8_t>(8000, 50), 8, 1, SAMPLEF_SIGNED);
    ASSERT_EQ(0, Play(s, 8000));
    std::vector<float> pcm;
    LockChannels();
    std::thread render([&] { pcm = Render(10); });
    render.join();
    UnlockChannels();
    for (float v : pcm) EXPECT_EQ(0.0f, v);
    EXPECT_NE(0.0f, Render(10)[0]);
}

TEST_F(AudioOutput, ModulePlaysAndJumpsOnRequest)
{
    ModBuilder b(3);
    b.samples[1].data = SquareWave(16, 8);
    b.samples[1].loopLength = 128;
    b.Cell(0, 0, 0, 1, 428, 0, 0);
    ModInstance mi(b.Build());
    ASSERT_EQ(0, OsPlayMusic(MUSIC_MODULE, mi.mp, ObjectId{1, nullptr}, 0, 1, 64));
    EXPECT_EQ(mi.mp, OsFindModuleChannel(mi.mp));
    std::vector<float> pcm = Render(4800);
    float energy = 0;
    for (float v : pcm) energy += std::fabs(v);
    EXPECT_GT(energy, 10);
    ModRequestPosition(mi.mp, 2);
    Render(1000);
    EXPECT_EQ(2, mi.mp->songPos);
    int32_t passes;
    int64_t resume;
    OsStopMusic(MUSIC_MODULE, mi.mp, 0, &passes, &resume);
    EXPECT_EQ(nullptr, OsFindModuleChannel(mi.mp));
    EXPECT_EQ(0, mi.mp->songPos);       // stopping starts it again from the beginning
}

SampleFile *StreamOf(const ScratchDir &dir, const Bytes &wav)
{
    std::string p = dir.Write("s.wav", wav);
    int kind;
    void *decoder = nullptr;
    if (LoadMusicFile(p.c_str(), &kind, &decoder)) return nullptr;
    return static_cast<SampleFile *>(decoder);
}

SampleFile *EndedStream = nullptr;
void RecordEnd(SampleFile *s)
{
    EndedStream = s;
}

TEST_F(AudioOutput, TwoSecondStreamIsBitExact)
{
    ScratchDir dir;
    Bytes data;
    uint32_t x = 12345;
    for (int i = 0; i < 96000 * 2; i++) {
        x = x * 1103515245 + 12345;
        PutLE16(data, x >> 16);
    }
    SampleFile *sf = StreamOf(dir, Wave(2, 48000, 16, data));
    ASSERT_NE(nullptr, sf);
    WantMusicEnd = 1;
    EndedStream = nullptr;
    AudioStreamEndedHook = RecordEnd;
    ASSERT_EQ(0, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{3, nullptr}, 1, 1, 64));
    std::vector<int16_t> got;
    for (int block = 0; block < 210; block++) {
        ASSERT_TRUE(StreamWaitIdle(5000));
        std::vector<float> pcm = Render(480);
        for (float v : pcm) got.push_back((int16_t)std::lrint(v * 32768.0f));
    }
    ASSERT_GE(got.size(), 96000u * 2);
    for (size_t i = 0; i < 96000 * 2; i++)
        ASSERT_EQ((int16_t)(data[2 * i] | (data[2 * i + 1] << 8)), got[i]) << i;
    for (size_t i = 96000 * 2; i < got.size(); i++) ASSERT_EQ(0, got[i]) << i;
    // the render side only marked the end; the main thread's reap forgets the stream
    EXPECT_EQ(nullptr, EndedStream);
    OsReapChannels();
    EXPECT_EQ(sf, EndedStream);
    int kind;
    ObjectId id;
    int32_t time;
    uint32_t starts;
    ASSERT_EQ(1, TakeAudioEvent(&kind, &id, &time, &starts));
    EXPECT_EQ(AUDIO_MUSIC_END, kind);
    EXPECT_EQ(3u, id.number);
    for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load());
    CloseSampleFile(sf);
}

TEST_F(AudioOutput, ShortStreamNeedsNoThreadAndPausedStreamResumesInItsPass)
{
    ScratchDir dir;
    SampleFile *sf = StreamOf(dir, Wave(1, 8000, 8, Bytes(4000, 200)));   // 0.5 s
    ASSERT_NE(nullptr, sf);
    ASSERT_EQ(0, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{1, nullptr}, 1, 1, 64));
    int single = 0;
    for (AudioChannel &ch : AudioChannels)
        if (ch.state.load() == CH_STREAM) single = ch.singleHalf;
    EXPECT_EQ(1, single);
    int32_t passes;
    int64_t resume;
    OsStopMusic(MUSIC_STREAM, sf, 0, &passes, &resume);
    CloseSampleFile(sf);

    sf = StreamOf(dir, Wave(1, 8000, 8, Bytes(16000, 200)));              // 2 s
    ASSERT_NE(nullptr, sf);
    ASSERT_EQ(0, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{1, nullptr}, 0, 1, 64));
    Render(480);                        // starts the stream's clock
    Advance(2500);
    EXPECT_EQ(500, StreamPositionMs(sf));
    OsStopMusic(MUSIC_STREAM, sf, 1, &passes, &resume);
    EXPECT_EQ(2, passes);
    EXPECT_EQ(4000, resume);
    EXPECT_EQ(500, StreamPositionMs(sf));
    OsSeekStreamMs(MUSIC_STREAM, sf, 1500);
    EXPECT_EQ(12000, sf->position);
    CloseSampleFile(sf);
}

// Readers that never set the end flag: the first yields 1000 frames and then nothing, the
// second nothing at all.
std::atomic<int> ReaderCalls{0};
int64_t ThousandThenNothing(SampleFile *, void *, int64_t frames, int *)
{
    return ReaderCalls++ ? 0 : std::min<int64_t>(frames, 1000);
}
int64_t Nothing(SampleFile *, void *, int64_t, int *)
{
    ReaderCalls++;
    return 0;
}

// A stream whose reads run short without the end flag ends all the same, also when it should
// repeat without end: a short read is the file's end, and a pass that yields nothing from its
// start is not repeated.
TEST_F(AudioOutput, StreamsWhoseReadsRunShortEnd)
{
    ScratchDir dir;
    struct Case {
        const char *what;
        StreamReadFunc reader;
        int times;
    } cases[] = {
        {"once, short", ThousandThenNothing, 1},
        {"endless, short", ThousandThenNothing, 0},
        {"endless, nothing", Nothing, 0},
    };
    for (const Case &c : cases) {
        SampleFile *sf = StreamOf(dir, Wave(1, 8000, 16, Bytes(8000 * 2 * 3, 1)));   // 3 s
        ASSERT_NE(nullptr, sf);
        ReaderCalls = 0;
        SetStreamReader(c.reader);
        ASSERT_EQ(0, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{1, nullptr}, c.times, 1, 64)) << c.what;
        int ended = 0;
        for (int block = 0; block < 1000 && !ended; block++) {
            ASSERT_TRUE(StreamWaitIdle(2000)) << c.what << ": the streaming thread never rests";
            Render(480);
            for (AudioChannel &ch : AudioChannels) ended |= ch.finished;
        }
        EXPECT_TRUE(ended) << c.what;
        EXPECT_LT(ReaderCalls, 10) << c.what;
        OsReapChannels();
        for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load()) << c.what;
        SetStreamReader(nullptr);
        CloseSampleFile(sf);
    }
}

// A reader that delivers its first call and then blocks until it is let go.
std::mutex GateMutex;
std::condition_variable GateCond;
bool GateOpen = false;
int64_t BlocksAfterTheFirstRead(SampleFile *, void *, int64_t frames, int *)
{
    if (ReaderCalls++ == 0) return frames;
    std::unique_lock<std::mutex> lock(GateMutex);
    GateCond.wait(lock, [] { return GateOpen; });
    return frames;
}
void OpenGate(bool open)
{
    std::lock_guard<std::mutex> lock(GateMutex);
    GateOpen = open;
    GateCond.notify_all();
}

// Stopping waits for a streaming thread stuck in a read a bounded time. The thread keeps its
// file until it ends: meanwhile no stream starts, the file neither seeks nor closes; once the
// read returns, the thread is collected and the file closed as asked.
TEST_F(AudioOutput, StopWaitsForAStuckStreamABoundedTime)
{
    ScratchDir dir;
    SampleFile *sf = StreamOf(dir, Wave(1, 8000, 16, Bytes(8000 * 2 * 3, 1)));
    SampleFile *other = StreamOf(dir, Wave(1, 8000, 16, Bytes(8000 * 2 * 3, 1)));
    ASSERT_NE(nullptr, sf);
    ASSERT_NE(nullptr, other);
    ReaderCalls = 0;
    OpenGate(false);
    SetStreamReader(BlocksAfterTheFirstRead);
    ASSERT_EQ(0, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{1, nullptr}, 0, 1, 64));
    while (ReaderCalls < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    auto started = std::chrono::steady_clock::now();
    std::future<void> stop = std::async(std::launch::async, [&] {
        int32_t passes;
        int64_t resume;
        OsStopMusic(MUSIC_STREAM, sf, 1, &passes, &resume);
    });
    bool returned = stop.wait_for(std::chrono::milliseconds(STREAM_STOP_WAIT_MS + 2000)) == std::future_status::ready;
    long waited = (long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    if (!returned) OpenGate(true);
    stop.wait();
    ASSERT_TRUE(returned) << "StopMusic waited for the stuck thread";
    EXPECT_GE(waited, STREAM_STOP_WAIT_MS - 50);
    for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load());

    EXPECT_EQ(1287, OsPlayMusic(MUSIC_STREAM, other, ObjectId{2, nullptr}, 1, 1, 64));
    for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load());
    int64_t position = sf->position;
    OsSeekStreamMs(MUSIC_STREAM, sf, 1500);
    EXPECT_EQ(position, sf->position);
    CloseStreamFile(sf);                // left to the collection

    OpenGate(true);
    StreamCollect(2000);
    SetStreamReader(nullptr);
    ASSERT_EQ(0, OsPlayMusic(MUSIC_STREAM, other, ObjectId{2, nullptr}, 1, 1, 64));
    int32_t passes;
    int64_t resume;
    OsStopMusic(MUSIC_STREAM, other, 0, &passes, &resume);
    CloseSampleFile(other);
}

// The two halves of a stream are checked against the core's size limit before they are made:
// a WAVE file claiming two billion frames a second asks for 16 GB.
TEST_F(AudioOutput, StreamHalvesBeyondTheSizeLimitAreRefused)
{
    ScratchDir dir;
    SampleFile *sf = StreamOf(dir, Wave(2, 0x7FFFFFFF, 16, Bytes(4000, 0)));
    ASSERT_NE(nullptr, sf);
    EXPECT_EQ(1000, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{1, nullptr}, 1, 1, 64));
    for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load());
    CloseSampleFile(sf);
}

TEST_F(AudioOutput, CompressedStreamPlaysAsFloats)
{
    ScratchDir dir;
    std::string mp3 = dir.path + "/tone.mp3";
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SNDFILE *f = sf_open(mp3.c_str(), SFM_WRITE, &info);
    if (!f) GTEST_SKIP() << "libsndfile cannot write MPEG here";
    std::vector<short> pcm(44100);
    for (size_t i = 0; i < pcm.size(); i++) pcm[i] = (short)(std::sin(i * 0.0627) * 16000);
    sf_writef_short(f, pcm.data(), (sf_count_t)pcm.size());
    sf_close(f);
    int kind;
    void *decoder;
    ASSERT_EQ(0, LoadMusicFile(mp3.c_str(), &kind, &decoder));
    SampleFile *sf = static_cast<SampleFile *>(decoder);
    ASSERT_EQ(0, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{1, nullptr}, 1, 1, 64));
    float peak = 0;
    for (int block = 0; block < 50; block++) {
        ASSERT_TRUE(StreamWaitIdle(5000));
        for (float v : Render(480)) peak = std::fmax(peak, std::fabs(v));
    }
    EXPECT_GT(peak, 0.3f);
    int32_t passes;
    int64_t resume;
    OsStopMusic(MUSIC_STREAM, sf, 0, &passes, &resume);
    CloseSampleFile(sf);
}

TEST_F(AudioOutput, StreamOfMoreThanTwoChannelsIsRefused)
{
    ScratchDir dir;
    SampleFile *sf = StreamOf(dir, Wave(3, 8000, 16, Bytes(6000, 0)));
    ASSERT_NE(nullptr, sf);
    EXPECT_EQ(1280, OsPlayMusic(MUSIC_STREAM, sf, ObjectId{1, nullptr}, 1, 1, 64));
    for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load());
    CloseSampleFile(sf);
}

}  // namespace
