// The replayer's order of rows and their onsets against libopenmpt on modules that jump: pattern
// break, a jump back, a pattern loop and a pattern delay.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/sound/mod_fixture.h"

#ifdef KV_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.h>
#endif

namespace {

typedef RowStart Onset;

// Our rows as they start playing.
std::vector<Onset> OwnTrace(const std::vector<uint8_t> &module, int rows)
{
    ModInstance mi(module);
    return RowStarts(mi, 48000L * 120, (size_t)rows);
}

#ifdef KV_HAVE_OPENMPT
// libopenmpt's rows, sampled every 48 frames (1 ms).
std::vector<Onset> ReferenceTrace(const std::vector<uint8_t> &module, int rows)
{
    openmpt_module *m = openmpt_module_create_from_memory2(module.data(), module.size(), nullptr,
                                                           nullptr, nullptr, nullptr, nullptr,
                                                           nullptr, nullptr);
    std::vector<Onset> out;
    if (!m) return out;
    openmpt_module_set_repeat_count(m, -1);
    openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 1);
    int16_t buf[2 * 48];
    out.push_back({0, openmpt_module_get_current_order(m), openmpt_module_get_current_row(m)});
    for (long f = 0; (int)out.size() < rows && f < 48000L * 120; f += 48) {
        if (openmpt_module_read_interleaved_stereo(m, 48000, 48, buf) == 0) break;
        int pos = openmpt_module_get_current_order(m), row = openmpt_module_get_current_row(m);
        if (pos != out.back().pos || row != out.back().row) out.push_back({f + 48, pos, row});
    }
    openmpt_module_destroy(m);
    return out;
}
#endif

void ExpectSameTrace(const std::vector<uint8_t> &module, int rows)
{
#ifndef KV_HAVE_OPENMPT
    GTEST_SKIP() << "libopenmpt is not installed";
#else
    std::vector<Onset> own = OwnTrace(module, rows), ref = ReferenceTrace(module, rows);
    ASSERT_EQ((size_t)rows, own.size());
    ASSERT_EQ((size_t)rows, ref.size());
    for (int i = 0; i < rows; i++) {
        EXPECT_EQ(ref[i].pos, own[i].pos) << "onset " << i;
        EXPECT_EQ(ref[i].row, own[i].row) << "onset " << i;
        long ownAt = own[i].frame - own[0].frame, refAt = ref[i].frame - ref[0].frame;
        EXPECT_LE(std::labs(ownAt - refAt), 48) << "onset " << i;
    }
#endif
}

// A note on every row of channel 0, so every row sounds.
ModBuilder Notes(int patterns)
{
    ModBuilder b(patterns);
    b.samples[1].data = SquareWave(16, 8);
    b.samples[1].loopLength = 128;
    for (int p = 0; p < patterns; p++)
        for (int r = 0; r < 64; r++) b.Cell(p, r, 0, 1, 428, 0, 0);
    return b;
}

TEST(ModTrace, PatternBreakToRow64GoesToRowZero)
{
    ModBuilder b = Notes(2);
    b.Cell(0, 2, 1, 0, 0, 0xD, 0x64);
    ExpectSameTrace(b.Build(), 70);
}

TEST(ModTrace, BackwardJumpRepeatsPositions)
{
    ModBuilder b = Notes(3);
    b.Cell(2, 3, 1, 0, 0, 0xB, 1);
    b.Cell(0, 4, 2, 0, 0, 0xD, 0);
    b.Cell(1, 4, 2, 0, 0, 0xD, 0);
    std::vector<Onset> own = OwnTrace(b.Build(), 20);
    ASSERT_EQ(20u, own.size());
    EXPECT_EQ(1, own[14].pos);         // 0:0-4, 1:0-4, 2:0-3, then 1:0 again
    EXPECT_EQ(0, own[14].row);
    ExpectSameTrace(b.Build(), 40);
}

TEST(ModTrace, PatternLoopPlaysItsRowsThreeTimes)
{
    ModBuilder b = Notes(1);
    b.Cell(0, 8, 1, 0, 0, 0xE, 0x60);
    b.Cell(0, 15, 1, 0, 0, 0xE, 0x62);
    std::vector<Onset> own = OwnTrace(b.Build(), 8 + 24 + 1);
    ASSERT_EQ(33u, own.size());
    for (int pass = 0; pass < 3; pass++)
        for (int r = 0; r < 8; r++) EXPECT_EQ(8 + r, own[8 + pass * 8 + r].row);
    EXPECT_EQ(16, own[32].row);
    ExpectSameTrace(b.Build(), 60);
}

TEST(ModTrace, PatternDelayRepeatsTheRowsTicks)
{
    ModBuilder b = Notes(1);
    b.Cell(0, 2, 1, 0, 0, 0xE, 0xE2);
    std::vector<Onset> own = OwnTrace(b.Build(), 5);
    ASSERT_EQ(5u, own.size());
    EXPECT_EQ(5760 * 3, own[3].frame - own[2].frame);
    ExpectSameTrace(b.Build(), 30);
}

}  // namespace
