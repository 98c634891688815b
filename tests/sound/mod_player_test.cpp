// The module replayer on modules built in memory: the size check, tick timing, pitch, sample
// switching and loops, and the guards against reading or writing outside the module.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "sound/mod_player.h"
#include "tests/sound/mod_fixture.h"

namespace {

TEST(ModInit, AcceptsAModuleOnlyWhenEveryPatternIsPresent)
{
    ModBuilder b(10);
    std::vector<uint8_t> m = b.Build();
    m.resize(1084 + 10 * 1024);     // no sample data at all
    EXPECT_EQ(3072u * 10 + 2916, ModInit(nullptr, m.data(), m.size(), 48000));
    ModInstance ok(m);
    ASSERT_NE(ok.mp, nullptr);
    EXPECT_EQ(10, ok.mp->patterns);
    ok.Render(48000);              // plays silence, reads nothing beyond the data

    std::vector<uint8_t> shortByOne(m.begin(), m.end() - 1);
    EXPECT_EQ(0u, ModInit(nullptr, shortByOne.data(), shortByOne.size(), 48000));
    std::vector<uint8_t> noMark = m;
    memcpy(&noMark[1080], "M!K!", 4);
    EXPECT_EQ(0u, ModInit(nullptr, noMark.data(), noMark.size(), 48000));
    EXPECT_EQ(0u, ModInit(nullptr, m.data(), 100, 48000));
}

TEST(ModRender, RowsFollowSpeedAndTempo)
{
    ModBuilder b;
    b.Cell(0, 4, 0, 0, 0, 0xF, 0x20);  // tempo 32: 7500 internal samples a tick
    b.Cell(0, 6, 0, 0, 0, 0xF, 0x1F);  // speed 31
    ModInstance mi(b.Build());
    ASSERT_NE(mi.mp, nullptr);
    std::vector<RowStart> rows = RowStarts(mi, 960 + 5760 * 4 + 3750 * 6 * 2 + 3750 * 31 + 10);
    ASSERT_GE(rows.size(), 8u);
    EXPECT_EQ(960, rows[0].frame);     // the first tick comes after one tick's time
    for (int i = 1; i < 4; i++) EXPECT_EQ(5760, rows[i].frame - rows[i - 1].frame) << i;
    EXPECT_EQ(7500, mi.mp->samplesPerTick);
    EXPECT_EQ(3750 * 6, rows[5].frame - rows[4].frame);
    EXPECT_EQ(3750 * 31, rows[7].frame - rows[6].frame);
}

// Mean distance in frames between rising zero crossings of one side.
double MeanPeriod(const std::vector<int16_t> &pcm, int side, size_t skip)
{
    long first = -1, last = -1, cycles = 0;
    for (size_t f = skip + 1; f < pcm.size() / 2; f++) {
        if (pcm[2 * (f - 1) + side] < 0 && pcm[2 * f + side] >= 0) {
            if (first < 0) first = (long)f;
            else cycles++;
            last = (long)f;
        }
    }
    return cycles ? double(last - first) / cycles : 0;
}

TEST(ModRender, PeriodSetsThePitchAndChannelsTheirSide)
{
    ModBuilder b;
    b.samples[1].data = SquareWave(16, 64);
    b.samples[1].loopStart = 0;
    b.samples[1].loopLength = 16 * 64;
    b.Cell(0, 0, 1, 1, 428, 0, 0);     // channel 1 plays all left
    ModInstance mi(b.Build());
    std::vector<int16_t> pcm = mi.Render(48000);
    int32_t step = 1172874197 / ((428 * 96000) / 50);
    double expected = 16.0 * 16384 / step / 2;   // frames a cycle at two internal samples a frame
    EXPECT_NEAR(expected, MeanPeriod(pcm, 0, 2000), expected * 0.005);
    long right = 0;
    for (size_t f = 0; f < pcm.size() / 2; f++) right += std::abs(pcm[2 * f + 1]);
    EXPECT_EQ(0, right);
}

TEST(ModRender, PendingSampleTakesOverWhenTheLoopWraps)
{
    ModBuilder b;
    b.samples[2].data = SquareWave(16, 8);
    b.samples[2].loopLength = 16 * 8;
    b.samples[3].data = SquareWave(32, 8);
    b.samples[3].loopLength = 32 * 8;
    b.Cell(0, 0, 0, 2, 428, 0, 0);
    b.Cell(0, 1, 0, 3, 0, 0, 0);       // sample without a period: pending
    ModInstance mi(b.Build());
    RowStarts(mi, 960 + 5760 + 1);     // row 1 read
    EXPECT_EQ(2, mi.mp->channels[0].sample);
    EXPECT_EQ(3, mi.mp->channels[0].pendingSample);
    mi.Render(2000);                   // the 128-byte loop wraps within a few hundred frames
    EXPECT_EQ(3, mi.mp->channels[0].sample);
    EXPECT_EQ(0, mi.mp->channels[0].pendingSample);
}

TEST(ModRender, SampleWithoutLoopPlaysOnceAndStops)
{
    ModBuilder b;
    b.samples[1].data = SquareWave(16, 4);
    b.samples[1].loopLength = 2;
    b.Cell(0, 0, 0, 1, 428, 0, 0);
    ModInstance mi(b.Build());
    mi.Render(1100);
    EXPECT_GE(mi.mp->channels[0].position, 0);
    mi.Render(1000);
    EXPECT_EQ(-1, mi.mp->channels[0].position);
}

// Guards: each module would make the replayer read or write outside its data without them.
TEST(ModRender, StaysInsideTheModuleData)
{
    {   // a truncated module: the sample keeps the bytes present, its loop is cut to them
        ModBuilder b;
        b.samples[1].data = SquareWave(16, 16);
        b.samples[1].loopStart = 64;
        b.samples[1].loopLength = 192;
        b.Cell(0, 0, 0, 1, 428, 0, 0);
        std::vector<uint8_t> m = b.Build();
        m.resize(m.size() - 100);      // 156 of 256 bytes present
        ModInstance mi(m);
        ASSERT_NE(mi.mp, nullptr);
        EXPECT_EQ(156 << 14, mi.mp->samples[1].length);
        EXPECT_EQ(156 << 14, mi.mp->samples[1].loopEnd);
        EXPECT_EQ(92 << 14, mi.mp->samples[1].loopLength);
        mi.Render(48000);
        EXPECT_GE(mi.mp->channels[0].position, 64 << 14);
    }
    {   // a song length above 128 counts as 128
        ModBuilder b;
        ModInstance mi(b.Build(200));
        EXPECT_EQ(128, mi.mp->songLength);
    }
    {   // a 9xx offset past the loop's end wraps into the loop
        ModBuilder b;
        b.samples[1].data = SquareWave(16, 16);
        b.samples[1].loopStart = 32;
        b.samples[1].loopLength = 64;
        b.Cell(0, 0, 0, 1, 428, 0x9, 0x20);    // offset 8192 bytes, sample 256 bytes
        ModInstance mi(b.Build());
        mi.Render(1000);
        int32_t pos = mi.mp->channels[0].position;
        EXPECT_GE(pos, 32 << 14);
        EXPECT_LT(pos, 96 << 14);
    }
    {   // fine slides below period 0 are silence, not a backwards read
        ModBuilder b;
        b.samples[1].data = SquareWave(16, 16);
        b.samples[1].loopLength = 256;
        b.Cell(0, 0, 0, 1, 113, 0, 0);
        for (int r = 1; r < 12; r++) b.Cell(0, r, 0, 0, 0, 0xE, 0x1F);
        ModInstance mi(b.Build());
        mi.Render(5760 * 12);
        EXPECT_LE(mi.mp->channels[0].period, 0);
        std::vector<int16_t> pcm = mi.Render(1000);
        for (int16_t s : pcm) EXPECT_EQ(0, s);
    }
    {   // the invert-loop offset stays inside a short loop; bytes outside it are untouched
        ModBuilder b;
        b.samples[1].data = SquareWave(8, 4);
        b.samples[1].loopStart = 8;
        b.samples[1].loopLength = 4;
        b.Cell(0, 0, 0, 1, 428, 0xE, 0xFF);
        for (int r = 1; r < 64; r++) b.Cell(0, r, 0, 0, 0, 0xE, 0xFF);
        std::vector<uint8_t> m = b.Build();
        std::vector<uint8_t> original = m;
        ModInstance mi(m);
        mi.Render(5760 * 20);
        EXPECT_LT(mi.mp->channels[0].funkOffset, 4);
        size_t data = mi.bytes.size() - 32;
        for (size_t i = 0; i < 32; i++) {
            if (i >= 8 && i < 12) continue;
            EXPECT_EQ(original[data + i], mi.bytes[data + i]) << i;
        }
    }
}

TEST(ModRender, JumpPastTheSongEndRestartsAndFlagsTheEnd)
{
    ModBuilder b(2);
    b.Cell(0, 0, 0, 0, 0, 0xB, 5);     // position 5 of a 2-position song
    ModInstance mi(b.Build());
    mi.Render(961);
    EXPECT_EQ(0, mi.mp->songPos);
    EXPECT_EQ(0, mi.mp->row);
    EXPECT_TRUE(mi.mp->flags & MODF_SONG_ENDED);
}

TEST(ModRender, PositionRequestJumpsToRowZero)
{
    ModBuilder b(3);
    ModInstance mi(b.Build());
    mi.Render(5760 * 3);
    ModRequestPosition(mi.mp, 2);
    ModApplyRequest(mi.mp);
    EXPECT_EQ(2, mi.mp->songPos);
    EXPECT_EQ(0, mi.mp->row);
    ModRequestPosition(mi.mp, 99);     // outside the song: back to the start
    ModApplyRequest(mi.mp);
    EXPECT_EQ(0, mi.mp->songPos);
    ModRequestPosition(mi.mp, 1);      // two requests before a render: the later one wins
    ModRequestPosition(mi.mp, 2);
    ModApplyRequest(mi.mp);
    EXPECT_EQ(2, mi.mp->songPos);
    ModRequestPosition(mi.mp, -1);
    ModApplyRequest(mi.mp);
    EXPECT_EQ(0, mi.mp->songPos);
}

TEST(ModRender, ShownPositionFollowsEveryRow)
{
    ModBuilder b(2);
    ModInstance mi(b.Build());
    int pos = -1, row = -1;
    ModGetPosition(mi.mp, &pos, &row);
    EXPECT_EQ(0, pos);
    EXPECT_EQ(0, row);
    for (int frames = 0; frames < 5760 * 70; frames += 997) {
        mi.Render(997);
        ModGetPosition(mi.mp, &pos, &row);
        ASSERT_EQ(mi.mp->songPos, pos) << frames;
        ASSERT_EQ(mi.mp->row, row) << frames;
    }
    EXPECT_EQ(1, pos);                 // past the first pattern
    ModRequestPosition(mi.mp, 0);
    ModApplyRequest(mi.mp);
    ModGetPosition(mi.mp, &pos, &row);
    EXPECT_EQ(0, pos);
    EXPECT_EQ(0, row);
}

// Requests made by another thread while the renderer runs: every one arrives with its own
// position, none is lost when it comes while the renderer takes the one before, and the
// position read meanwhile is always one the renderer has shown.
TEST(ModRender, RequestsFromAnotherThreadAreTakenWhole)
{
    ModBuilder b(4);
    ModInstance mi(b.Build());
    std::atomic<bool> done{false};
    std::thread renderer([&] {
        int16_t frame[2];
        while (!done.load()) {
            ModApplyRequest(mi.mp);
            ModRender(mi.mp, frame, frame + 1, 4, 1, 0, 16, 2);
        }
    });
    int lost = -1, torn = -1;
    for (int i = 0; i < 3000 && lost < 0 && torn < 0; i++) {
        int want = 1 + i % 3;
        ModRequestPosition(mi.mp, want);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        for (;;) {
            int pos, row;
            ModGetPosition(mi.mp, &pos, &row);
            if (pos < 0 || pos > 3 || row < 0 || row > 63) torn = i;
            if (pos == want) break;
            if (std::chrono::steady_clock::now() > until) {
                lost = i;
                break;
            }
            std::this_thread::yield();
        }
    }
    done.store(true);
    renderer.join();
    EXPECT_EQ(-1, lost) << "request lost";
    EXPECT_EQ(-1, torn) << "position outside the song";
}

}  // namespace
