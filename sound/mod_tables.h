// Tables of the module replayer.
#pragma once
#include <cstdint>

extern const uint8_t ModVibratoTable[32];
extern const uint8_t ModFunkTable[16];
// The 36 periods of a finetune (0..15).
const int16_t *ModPeriodRow(int finetune);
// The index of a period among the 36 finetune-0 periods; 35 when it is none of them.
int ModNoteIndex(int period);
