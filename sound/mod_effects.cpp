// The replayer's tick engine: reading rows (notes and tick-0 effects), moving through the song,
// and the effects that run on every tick.
#include "sound/mod_effects.h"
#include "sound/mod_tables.h"

enum { PERIOD_MIN = 113, PERIOD_MAX = 856 };
enum { CHF_SKIP_PERIOD = 1, CHF_TONE_PORTA = 2 };

static int32_t ClampPeriod(int32_t p)
{
    return p < PERIOD_MIN ? PERIOD_MIN : p > PERIOD_MAX ? PERIOD_MAX : p;
}

static int32_t ClampVolume(int32_t v)
{
    return v < 0 ? 0 : v > 63 ? 63 : v;
}

// 18.14 sample bytes per internal sample; 0 for a period of 0 or less (silence).
static int32_t PeriodStep(const ModulePlayer *mp, int32_t period)
{
    if (period <= 0) return 0;
    int64_t div = ((int64_t)period * mp->mixRate) / 50;
    return div > 0 ? (int32_t)(1172874197LL / div) : 0;
}

// The index of a period in a finetune row (35 when it is not there).
static int RowIndex(const int16_t *row, int32_t period)
{
    for (int n = 0; n < 36; n++)
        if (row[n] == period) return n;
    return ModNoteIndex(period);
}

static int32_t WaveValue(int wave, int pos)
{
    switch (wave & 3) {
    case 0: return pos < 32 ? ModVibratoTable[pos] : -ModVibratoTable[pos - 32];
    case 2: return pos < 32 ? 255 : -255;
    default: return pos < 32 ? pos * 8 : pos * 8 - 512;
    }
}

static void StartNote(ModulePlayer *mp, ModuleChannel *ch, int32_t cellPeriod)
{
    int32_t p = ModPeriodRow(ch->finetune)[ModNoteIndex(cellPeriod)];
    ch->basePeriod = ch->targetPeriod = ch->period = p;
    ch->step = PeriodStep(mp, p);
    ch->position = ch->sample ? 0 : -1;
    ch->vibratoPos = ch->tremoloPos = 0;
    ch->arpeggioBase = p;
}

void ModSwitchPendingSample(ModulePlayer *mp, ModuleChannel *ch)
{
    const ModuleSample *old = &mp->samples[ch->sample];
    ch->sample = ch->pendingSample;
    ch->pendingSample = 0;
    const ModuleSample *s = &mp->samples[ch->sample];
    if (s->loopLength > (2 << 14))
        ch->position = s->loopStart + (ch->position - old->loopEnd) % s->loopLength;
    else
        ch->position = -1;
}

static void PatternLoop(ModulePlayer *mp, ModuleChannel *ch, int y, int row)
{
    if (y == 0) {
        ch->loopRow = row;
        if (ch->loopState != 2) ch->loopState = 1;
        return;
    }
    if (ch->loopState != 2) {
        ch->loopCount = y;
        ch->loopState = 2;
    } else if (--ch->loopCount <= 0) {
        ch->loopState = 0;
        return;
    }
    mp->jumpPos = mp->songPos;
    mp->breakRow = ch->loopRow;
}

static void ExtendedEffect(ModulePlayer *mp, ModuleChannel *ch, const ModuleCell *cell, int row)
{
    int y = cell->y;
    switch (cell->x) {
    case 0x0:
        if (mp->flags & MODF_FILTER_CMD) mp->filterOn = !(y & 1);
        break;
    case 0x1:
    case 0x2:
        if (y) {
            int32_t d = cell->x == 1 ? -y : y;
            ch->basePeriod += d;
            ch->targetPeriod += d;
            ch->period = ch->basePeriod;
            ch->step = PeriodStep(mp, ch->period);
        }
        break;
    case 0x3: ch->glissFunk = (ch->glissFunk & 0xF0) | y; break;
    case 0x4: ch->vibratoWave = y; break;
    case 0x5:
        if (cell->period) {
            ch->finetune = y;
            StartNote(mp, ch, cell->period);
        }
        break;
    case 0x6: PatternLoop(mp, ch, y, row); break;
    case 0x7: ch->tremoloWave = y; break;
    case 0x9:
        ch->retrigInterval = y;
        if (y) {
            if (ch->sample) ch->position = 0;
            ch->retrigCounter = y + 1;
        }
        break;
    case 0xA: ch->volume = ClampVolume(ch->volume + y); break;
    case 0xB: ch->volume = ClampVolume(ch->volume - y); break;
    case 0xC: ch->noteCutCounter = y + 1; break;
    case 0xD:
        if (cell->period && y) {
            ch->position = -1;
            ch->retrigInterval = 0;
            ch->retrigCounter = y + 1;
        }
        break;
    case 0xE: mp->patternDelay = y; break;
    case 0xF: ch->glissFunk = (y << 4) | (ch->glissFunk & 15); break;
    }
}

static void ReadCell(ModulePlayer *mp, ModuleChannel *ch, const ModuleCell *cell, int row)
{
    int eff = cell->effect, sample = cell->sample, period = cell->period;
    ch->savedVolume = ch->volume;
    if (sample) ch->sampleMemory = sample;
    int keepVolume = period && !sample && (eff == 0x0 || eff == 0xC || eff == 0xF);
    int hadVibrato = ch->vibratoActive;
    ch->flags &= ~CHF_TONE_PORTA;
    ch->vibratoActive = ch->tremoloActive = 0;
    ch->volumeSlide = ch->portaStep = ch->arpeggio = 0;
    ch->retrigCounter = ch->noteCutCounter = 0;
    if (!period && hadVibrato && eff != 4 && eff != 6) ch->period = ch->basePeriod;

    if (sample >= 1 && sample <= 31) {
        if (!period) {
            if (sample != ch->sample) ch->pendingSample = sample;
        } else {
            ch->sample = sample;
            ch->pendingSample = 0;
            ch->finetune = mp->samples[sample].finetune;
        }
        int v = mp->samples[sample].volume;
        if (!keepVolume) ch->volume = v > 63 ? 63 : v;
    } else if (period && !sample && ch->sampleMemory >= 1 && ch->sampleMemory <= 31) {
        ch->sample = ch->sampleMemory;
        ch->volume = ch->savedVolume;
    }
    if (period && eff != 3 && eff != 5) StartNote(mp, ch, period);

    int x = cell->x, y = cell->y, param = cell->param;
    switch (eff) {
    case 0x0:
        if (param) ch->arpeggio = param;
        break;
    case 0x1:
    case 0x2:
        ch->portaStep = eff == 1 ? -param : param;
        ch->flags |= CHF_SKIP_PERIOD;
        break;
    case 0x3:
    case 0x5:
        if (eff == 3 && param) ch->tonePortaSpeed = param;
        if (eff == 5) ch->volumeSlide = x ? x : -y;
        if (period) ch->targetPeriod = ModPeriodRow(ch->finetune)[ModNoteIndex(period)];
        ch->flags |= CHF_TONE_PORTA | CHF_SKIP_PERIOD;
        break;
    case 0x4:
    case 0x6:
        if (eff == 4) {
            if (y) ch->vibratoDepth = y;
            if (x) ch->vibratoSpeed = x;
        } else {
            ch->volumeSlide = x ? x : -y;
        }
        ch->vibratoActive = 1;
        ch->flags |= CHF_SKIP_PERIOD;
        break;
    case 0x7:
        if (y) ch->tremoloDepth = 2 * y;
        if (x) ch->tremoloSpeed = x;
        ch->tremoloActive = 1;
        break;
    case 0x9:
        if (period) {
            if (param) ch->offsetMemory = param * 256;
            if (ch->sample) ch->position = ch->offsetMemory << 14;
        }
        break;
    case 0xA: ch->volumeSlide = x ? x : -y; break;
    case 0xB:
        // A jump to or past the song's end goes to its start; any jump back ends the song.
        if (param >= mp->songLength) {
            mp->jumpPos = 0;
            mp->flags |= MODF_SONG_ENDED;
        } else {
            mp->jumpPos = param;
            if (param <= mp->songPos) mp->flags |= MODF_SONG_ENDED;
        }
        break;
    case 0xC: ch->volume = param > 63 ? 63 : param; break;
    case 0xD: {
        int r = x * 10 + y;
        mp->breakRow = r > 63 ? 0 : r;
        break;
    }
    case 0xE: ExtendedEffect(mp, ch, cell, row); break;
    case 0xF:
        if (param == 0) {
            mp->flags |= MODF_SONG_ENDED;
        } else if (param < 0x20) {
            mp->speed = param;
        } else {
            mp->tempo = param;
            mp->samplesPerTick = mp->mixRate * 60 / (param * 24);
        }
        break;
    }
}

static void ReadRow(ModulePlayer *mp)
{
    int row = mp->row;
    const ModuleCell *cells = ModPatternCells(mp) + mp->order[mp->songPos] * 256 + row * 4;
    mp->breakRow = -1;
    mp->jumpPos = -1;
    for (int c = 0; c < 4; c++) ReadCell(mp, &mp->channels[c], &cells[c], row);

    int pos;
    if (mp->jumpPos >= 0 || mp->breakRow >= 0) {
        pos = mp->jumpPos >= 0 ? mp->jumpPos : mp->songPos + 1;
        mp->row = mp->breakRow >= 0 ? mp->breakRow : 0;
    } else if (++mp->row >= 64) {
        mp->row = 0;
        pos = mp->songPos + 1;
    } else {
        pos = mp->songPos;
    }
    if (pos >= mp->songLength || pos >= MOD_POSITIONS) {
        pos = 0;
        mp->flags |= MODF_SONG_ENDED;
        mp->songEnds++;
    }
    mp->songPos = pos;
    mp->breakRow = -1;
    mp->jumpPos = -1;
    ModShowPosition(mp);
}

// The invert-loop effect: walks an offset through the loop, inverting one byte a step. The
// offset stays inside the loop.
static void Funk(ModulePlayer *mp, ModuleChannel *ch)
{
    int speed = ch->glissFunk >> 4;
    if (!speed || !ch->sample) return;
    ch->funkCounter += ModFunkTable[speed];
    if (ch->funkCounter % 8) return;
    ch->funkCounter = 0;
    ModuleSample *s = &mp->samples[ch->sample];
    int32_t loopBytes = s->loopLength >> 14;
    if (loopBytes <= 0) return;
    if (++ch->funkOffset >= loopBytes) ch->funkOffset = 0;
    if (s->loopStart) {
        uint8_t *b = s->data + (s->loopStart >> 14) + ch->funkOffset;
        *b = (uint8_t)~*b;
    }
}

static void PeriodEffects(ModulePlayer *mp, ModuleChannel *ch)
{
    if (ch->portaStep) {
        ch->period = ClampPeriod(ch->period + ch->portaStep);
        ch->basePeriod = ch->period;
    }
    const int16_t *row = ModPeriodRow(ch->finetune);
    int32_t stepPeriod = ch->period;
    if (ch->flags & CHF_TONE_PORTA) {
        int32_t p = ch->period, t = ch->targetPeriod, s = ch->tonePortaSpeed;
        if (p < t) p = p + s > t ? t : p + s;
        else if (p > t) p = p - s < t ? t : p - s;
        ch->period = ch->basePeriod = ClampPeriod(p);
        stepPeriod = ch->period;
        if (ch->glissFunk & 15) {
            for (int n = 0; n < 36; n++) {
                if (row[n] <= ch->period) {
                    stepPeriod = row[n];
                    break;
                }
            }
        }
    }
    if (ch->arpeggio) {
        int nibble = (ch->arpeggio >> ((2 - mp->ticksLeft % 3) * 4)) & 15;
        int idx = RowIndex(row, ch->arpeggioBase) + nibble;
        stepPeriod = row[idx > 35 ? 35 : idx];
    }
    if (ch->vibratoActive) {
        ch->vibratoPos = (ch->vibratoPos + ch->vibratoSpeed) & 63;
        int32_t v = WaveValue(ch->vibratoWave, ch->vibratoPos);
        ch->period = ClampPeriod(ch->basePeriod + ((v * ch->vibratoDepth) >> 7));
        stepPeriod = ch->period;
    }
    ch->step = PeriodStep(mp, stepPeriod);
}

static void VolumeEffects(ModuleChannel *ch)
{
    ch->volume = ClampVolume(ch->volume + ch->volumeSlide);
    ch->outVolume = ch->volume;
    if (ch->tremoloActive) {
        ch->tremoloPos = (ch->tremoloPos + ch->tremoloSpeed) & 63;
        int32_t v = WaveValue(ch->tremoloWave, ch->tremoloPos);
        ch->outVolume = ClampVolume(ch->volume + ((v * ch->tremoloDepth) >> 8));
    }
    if (ch->noteCutCounter > 0 && --ch->noteCutCounter == 0) ch->volume = ch->outVolume = 0;
    if (ch->retrigCounter > 0 && --ch->retrigCounter == 0) {
        if (ch->sample) ch->position = 0;
        ch->retrigCounter = ch->retrigInterval;
    }
}

void ModTick(ModulePlayer *mp)
{
    if (mp->ticksLeft <= 0) {
        if (mp->patternDelay > 0) mp->patternDelay--;
        else ReadRow(mp);
        mp->ticksLeft = mp->speed;
    }
    mp->ticksLeft--;
    for (int c = 0; c < 4; c++) {
        ModuleChannel *ch = &mp->channels[c];
        Funk(mp, ch);
        if (ch->flags & CHF_SKIP_PERIOD) ch->flags &= ~CHF_SKIP_PERIOD;
        else PeriodEffects(mp, ch);
        VolumeEffects(ch);
    }
}
