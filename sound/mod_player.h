// The ProTracker module replayer: four-channel "M.K." modules with 31 samples. ModInit checks a
// module held in memory and builds a ModulePlayer from it; ModRender runs the tick engine and
// mixes the four channels into signed 16-bit stereo. Reads no file, takes no lock, allocates
// nothing.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    MOD_PATTERN_BYTES = 3072,       // one converted pattern: 64 rows x 4 cells x 12 bytes
    MOD_RECORD_FIXED = 2916,        // the fixed part of the record; the patterns follow it
    MOD_HEADER_BYTES = 1084,        // header up to and including "M.K."
    MOD_FILE_PATTERN_BYTES = 1024,
    MOD_POSITIONS = 128,
};

// Player flags.
enum {
    MODF_STOP_AT_END = 1,       // never set by the player: songs repeat
    MODF_FILTER_CMD = 4,        // the E0x filter command is obeyed
    MODF_SONG_ENDED = 8,        // the song has ended or jumped back
};

// Lengths and loop values are bytes in 18.14 fixed point.
struct ModuleSample {
    char name[23];
    uint8_t *data;              // signed bytes; writable for the invert-loop effect
    int32_t length;
    int32_t loopStart;
    int32_t loopLength;
    int32_t loopEnd;
    uint8_t finetune;           // 0..15 (8..15 meaning -8..-1)
    uint8_t volume;             // 0..64
};

struct ModuleChannel {
    int32_t sample;             // the playing sample 1..31, 0 none
    int32_t sampleMemory;
    int32_t position;           // 18.14; -1 when silent
    int32_t basePeriod;
    int32_t step;               // 18.14 per internal sample
    int32_t offsetMemory;
    int32_t portaStep;
    int32_t volume;
    int32_t savedVolume;
    int32_t outVolume;
    int32_t volumeSlide;
    int32_t pan;                // the left side's share, 0..255
    int32_t finetune;
    int32_t flags;              // bit 0 skip period effects this tick, bit 1 tone portamento
    int32_t tonePortaSpeed;
    int32_t targetPeriod;
    int32_t period;             // current period
    int32_t retrigInterval;
    int32_t noteCutCounter;
    int32_t retrigCounter;
    int32_t arpeggio;
    int32_t arpeggioBase;
    int32_t vibratoSpeed, vibratoDepth, vibratoActive, vibratoPos;
    int32_t tremoloSpeed, tremoloDepth, tremoloActive, tremoloPos;
    int32_t vibratoWave;
    int32_t tremoloWave;
    int32_t glissFunk;          // glissando in the low nibble, funk speed in the high one
    int32_t funkCounter;
    int32_t funkOffset;
    int32_t pendingSample;
    int32_t loopRow, loopCount, loopState;
};

struct ModuleCell {
    int32_t period;
    int32_t sample;
    uint8_t effect, x, y, param;
};

struct ModulePlayer {
    char songName[21];
    int16_t patterns;
    int16_t songLength;
    ModuleSample samples[32];   // 1..31 used
    ModuleChannel channels[4];
    uint8_t order[MOD_POSITIONS];
    int32_t flags;
    int32_t mixRate;            // 2 x the output rate
    int32_t masterVolume;       // 256
    int32_t songPos;
    int32_t row;                // the next row to read
    int32_t speed;
    int32_t tempo;
    int32_t samplesPerTick;
    int32_t sampleCounter;
    int32_t ticksLeft;
    int32_t patternDelay;
    int32_t breakRow;           // -1 none
    int32_t jumpPos;            // -1 none
    int32_t filterOn;
    int32_t songEnds;
    float filterB, filterA;
    float filterLeft[4], filterRight[4];
    int32_t lastLeft, lastRight;
    // Shared with the main thread, each one word read and written atomically only (the
    // functions below): a position request (MOD_REQUEST | row << 8 | song position, 0 none), and
    // the song position << 8 | row as the renderer last left them.
    uint32_t request;
    uint32_t shownPosition;
    uint8_t *moduleData;
    size_t moduleSize;
};
static_assert(sizeof(ModulePlayer) <= MOD_RECORD_FIXED, "module record grew past its fixed part");

// The converted patterns of a record.
inline ModuleCell *ModPatternCells(ModulePlayer *mp)
{
    return reinterpret_cast<ModuleCell *>(reinterpret_cast<uint8_t *>(mp) + MOD_RECORD_FIXED);
}

// Number of patterns a module names (the highest order entry + 1), or 0 when it is too short to
// hold an order list.
int ModPatternCount(const uint8_t *data, size_t size);
// 1 when the data is a module this replayer accepts: "M.K." at 1080 and every pattern present.
int ModCheck(const uint8_t *data, size_t size);

// With no player: the size of the record for this module (3072 x patterns + 2916), or 0 when
// the module fails the size check. With a record of that size: builds it and returns 1 (0 when
// the module fails the check). The record keeps `data` (not copied; it must stay valid and
// writable while the record lives) for re-initialisation.
size_t ModInit(ModulePlayer *mp, uint8_t *data, size_t size, int outputRate);
// Writes `frames` frames at left and right (each advanced by `stride` bytes a frame); only 16
// bits and 2 channels are supported.
void ModRender(ModulePlayer *mp, int16_t *left, int16_t *right, int stride, int frames,
               int unused, int bits, int channels);
// Asks for a jump to song position `pos`, row 0, applied by ModApplyRequest (the audio output
// calls it before each render). Any thread may ask while the renderer runs: a later request
// replaces one not yet applied.
enum { MOD_REQUEST = 1u << 16 };
void ModRequestPosition(ModulePlayer *mp, int pos);
void ModApplyRequest(ModulePlayer *mp);
// The song position and the next row to be read, as one consistent pair; any thread may ask
// while the renderer runs.
void ModGetPosition(ModulePlayer *mp, int *songPos, int *row);
// The renderer makes its song position and row the shown ones.
void ModShowPosition(ModulePlayer *mp);
