// The replayer's tables: periods of 16 finetunes x 36 notes, the vibrato sine and the funk
// speeds.
#include <cmath>

#include "sound/mod_tables.h"

const uint8_t ModVibratoTable[32] = {
    0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
    255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24,
};

const uint8_t ModFunkTable[16] = {0, 5, 6, 7, 8, 10, 11, 13, 16, 19, 22, 26, 32, 43, 64, 128};

// Finetune 0; the other rows are these periods tuned by eighths of a semitone (finetune 1..7
// up, 8..15 meaning -8..-1 down).
static const int16_t BasePeriods[36] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
};

static int16_t Periods[16][36];

static int BuildPeriods(void)
{
    for (int ft = 0; ft < 16; ft++) {
        int f = ft < 8 ? ft : ft - 16;
        for (int n = 0; n < 36; n++)
            Periods[ft][n] = (int16_t)std::lround(BasePeriods[n] * std::pow(2.0, -f / 96.0));
    }
    return 1;
}
static const int PeriodsBuilt = BuildPeriods();

const int16_t *ModPeriodRow(int finetune)
{
    (void)PeriodsBuilt;
    return Periods[finetune & 15];
}

int ModNoteIndex(int period)
{
    for (int n = 0; n < 36; n++)
        if (BasePeriods[n] == period) return n;
    return 35;
}
