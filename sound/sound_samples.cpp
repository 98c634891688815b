// The sample commands: loading and creating samples, playing several together, their volume,
// panning and pitch, and the queries.
#include <cstdio>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "runtime/vm/values.h"
#include "sound/audio_output.h"
#include "sound/sample_file.h"
#include "sound/sound_lib.h"

enum { MAX_PLAY_PAIRS = 4 };

// Reads the id (or Nil) of a creating command; a numbered sample that exists is freed first.
static ObjectId NewSampleId(lua_State *L, int *isNil)
{
    uint32_t number = GetObjectIdOrNilArg(L, 1, isNil);
    ObjectId id = {*isNil ? 0 : number, nullptr};
    SampleNode *old;
    if (!*isNil && FindSample(id, &old) == 0) {
        OsStopSamples(old->buffer);
        FreeSampleNode(old);
    }
    return id;
}

// Appends a node for the buffer (freed on failure); pushes the handle for an automatic id.
static int AddSample(lua_State *L, ObjectId id, int isNil, SampleBuffer *buffer, uint32_t length,
                     int rate, int formatCode)
{
    SampleNode *n = static_cast<SampleNode *>(MemAlloc(sizeof(SampleNode), 1));
    if (!n) {
        FreeSampleBuffer(buffer);
        return 1000;
    }
    n->id = isNil ? ObjectId{0, n} : id;
    n->buffer = buffer;
    n->volume = 64;
    n->panning = 128;
    n->pitch = rate;
    n->formatCode = formatCode;
    n->length = length;
    SampleNode **p = &Samples;
    while (*p) p = &(*p)->next;
    *p = n;
    if (!isNil) return 0;
    lua_pushlightuserdata(L, n);
    return 1;
}

// LoadSample(id or Nil, file)
int SndLoadSample(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int isNil;
    GetObjectIdOrNilArg(L, 1, &isNil);
    const char *name = ResolveLinkedFileArg(L, 2, 0, nullptr);
    OpenAudioLazily();
    if (SoundState.disabled) return 0;
    ObjectId id = NewSampleId(L, &isNil);
    SetErrorString(name);
    PrintVerbose(GetErrorString(MSG_LOADING_SAMPLE), name, 1);
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) {
        PrintVerboseFailed();
        return 1045;
    }
    FClose(fh);
    SampleBuffer *buffer;
    uint32_t length;
    int rate, formatCode;
    int code = LoadSampleFile(name, &buffer, &length, &rate, &formatCode);
    if (code) {
        PrintVerboseFailed();
        return code;
    }
    int results = AddSample(L, id, isNil, buffer, length, rate, formatCode);
    if (results < 1000) PrintVerboseDone();
    return results;
}

// CreateSample(id or Nil, table, rate): a mono 8-bit signed sample from t[0], t[1] ...
int SndCreateSample(lua_State *L)
{
    CheckArgs(L, 3, 3);
    int rate = luaO_toint32(luaL_checknumber(L, 3));
    luaL_checktable(L, 2);
    if (rate < 1) return 1055;
    int isNil;
    GetObjectIdOrNilArg(L, 1, &isNil);
    OpenAudioLazily();
    if (SoundState.disabled) return 0;
    ObjectId id = NewSampleId(L, &isNil);
    uint32_t count = 0;
    for (;;) {
        lua_rawgeti(L, 2, (int)count);
        int none = lua_isnil(L, -1);
        lua_pop(L, 1);
        if (none) break;
        count++;
    }
    if (!count) return 1055;
    SampleBuffer *b = static_cast<SampleBuffer *>(MemAlloc(sizeof(SampleBuffer), 1));
    if (b) b->data = static_cast<uint8_t *>(MemAlloc(count, 0));
    if (!b || !b->data) {
        FreeSampleBuffer(b);
        return 1000;
    }
    for (uint32_t i = 0; i < count; i++) {
        lua_rawgeti(L, 2, (int)i);
        if (lua_type(L, -1) != LUA_TNUMBER) {
            lua_pop(L, 1);
            FreeSampleBuffer(b);
            char index[16];
            snprintf(index, sizeof index, "%u", i);
            SetErrorString(index);
            return 1189;
        }
        b->data[i] = (uint8_t)luaO_toint32(lua_tonumber(L, -1));
        lua_pop(L, 1);
    }
    b->bits = 8;
    b->bytesPerFrame = 1;
    b->channels = 1;
    b->flags = SAMPLEF_SIGNED;
    b->frames = count;
    return AddSample(L, id, isNil, b, count, rate, 2);
}

// FreeSample(id)
int SndFreeSample(lua_State *L)
{
    CheckArgs(L, 1, 1);
    SampleNode *n;
    int code = LiveSampleArg(L, &n);
    if (code) return SoundOffOr(code);
    OsStopSamples(n->buffer);
    FreeSampleNode(n);
    return 0;
}

// The options of one PlaySample pair. The pass of a sample played for a time must last at
// least 1 ms, and a pitch must be at least 1 Hz.
static int ReadPlayOptions(lua_State *L, int arg, SampleNode *n, int *volume, int *pitch,
                           int *pan, int *timeMs, int *times)
{
    *volume = n->volume;
    *pitch = n->pitch;
    *pan = n->panning;
    *timeMs = -1;
    *times = 1;
    if (lua_istable(L, arg)) {
        double v;
        int i;
        if (GetFieldInt(L, arg, "time", &i, nullptr)) {
            if (i < 1) return 1055;
            *timeMs = i;
        }
        if (GetFieldInt(L, arg, "volume", &i, nullptr)) *volume = i < 0 ? 0 : i > 64 ? 64 : i;
        if (GetFieldDouble(L, arg, "panning", &v, nullptr)) *pan = MapPanning(v);
        if (GetFieldInt(L, arg, "times", &i, nullptr)) {
            *times = i;
            *timeMs = -1;
        }
        if (GetFieldInt(L, arg, "pitch", &i, nullptr)) {
            if (i < 1) return 1055;
            *pitch = i;
        }
    } else if (!lua_isnoneornil(L, arg)) {
        *times = luaO_toint32(luaL_checknumber(L, arg));
    }
    if (*timeMs >= 0 && (int64_t)n->buffer->frames * 1000 / *pitch < 1) return 1055;
    return 0;
}

// PlaySample(id [, options or times], ...): up to four samples starting in the same instant.
int SndPlaySample(lua_State *L)
{
    CheckArgs(L, 1, 0);
    int pairs = (lua_gettop(L) + 1) / 2;
    if (pairs > MAX_PLAY_PAIRS) return 1055;
    if (SoundState.disabled) return 0;
    for (int p = 0; p < pairs; p++) {
        int arg = 2 * p + 1;
        SampleNode *n;
        int code = FindSample(GetObjectIdArg(L, arg), &n);
        int volume, pitch, pan, timeMs, times;
        if (!code) code = ReadPlayOptions(L, arg + 1, n, &volume, &pitch, &pan, &timeMs, &times);
        if (!code)
            code = OsPlaySample(n->buffer, n->id, n->formatCode, n->length, pitch, volume, pan,
                                timeMs, times);
        if (code) {
            // The channels of the earlier pairs must not linger prepared.
            OsReleasePreparedChannels();
            return code;
        }
    }
    OsStartPreparedChannels();
    return 0;
}

// StopSample(id)
int SndStopSample(lua_State *L)
{
    CheckArgs(L, 1, 1);
    SampleNode *n;
    int code = LiveSampleArg(L, &n);
    if (code) return SoundOffOr(code);
    if (SoundState.audioOpen) OsStopSamples(n->buffer);
    return 0;
}

// WaitSampleEnd(id)
int SndWaitSampleEnd(lua_State *L)
{
    CheckArgs(L, 1, 1);
    SampleNode *n;
    int code = LiveSampleArg(L, &n);
    if (code) return SoundOffOr(code);
    if (!SoundState.audioOpen) return 0;
    while (OsIsSamplePlaying(n->buffer)) {
        if (OsPumpEvents(L, nullptr)) break;
        OsSleepMillis(L, 10);
    }
    return 0;
}

// IsSamplePlaying(id)
int SndIsSamplePlaying(lua_State *L)
{
    CheckArgs(L, 1, 1);
    SampleNode *n;
    int code = FindSample(GetObjectIdArg(L, 1), &n);
    if (code) return code;
    lua_pushnumber(L, SoundState.audioOpen ? OsIsSamplePlaying(n->buffer) : 0);
    return 1;
}

// Stores one of volume, pitch or pan (the others -1) and applies volume and pan to the
// sample's playing channels.
static int ApplySampleParams(lua_State *L, int volume, int pitch, int pan)
{
    ObjectId id = GetObjectIdArg(L, 1);
    if (SoundState.disabled || !SoundState.audioOpen) return 0;
    SampleNode *n;
    int code = FindSample(id, &n);
    if (code) return code;
    if (volume != -1) n->volume = volume < 0 ? 0 : volume > 64 ? 64 : volume;
    if (pitch != -1) n->pitch = pitch;
    if (pan != -1) n->panning = pan;
    if (pitch == -1) OsSetSampleParams(n->buffer, -1, n->volume, n->panning);
    return 0;
}

// SetVolume(id, volume): a number or a percentage of 64
int SndSetVolume(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int v = luaO_toint32(GetNumberOrPercentArg(L, 2, 64, 0, nullptr));
    return ApplySampleParams(L, v < 0 ? 0 : v, -1, -1);
}

// SetPanning(id, pan)
int SndSetPanning(lua_State *L)
{
    CheckArgs(L, 2, 2);
    return ApplySampleParams(L, -1, -1, MapPanning(luaL_checknumber(L, 2)));
}

// SetPitch(id, rate): for later plays; a rate below 1 Hz is refused.
int SndSetPitch(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int rate = luaO_toint32(luaL_checknumber(L, 2));
    if (rate < 1) return 1055;
    return ApplySampleParams(L, -1, rate, -1);
}

// IsSample(file)
int SndIsSample(lua_State *L)
{
    CheckArgs(L, 1, 1);
    const char *name = ResolveLinkedFileArg(L, 1, 0, nullptr);
    SampleFile *sf;
    int ok = 0;
    if (OpenSampleFile(name, 0, &sf) == 0) {
        ok = sf->dataSize && sf->bytesPerFrame && sf->bits;
        CloseSampleFile(sf);
    }
    lua_pushnumber(L, ok);
    return 1;
}

// IsSound(): 1 when the output is open or opens now (a failure here does not switch sound off)
int SndIsSound(lua_State *L)
{
    CheckArgs(L, 0, 0);
    if (!SoundState.disabled && !SoundState.audioOpen && OsOpenAudio(SoundState.masterVolume) == 0)
        SoundState.audioOpen = 1;
    lua_pushnumber(L, !SoundState.disabled && SoundState.audioOpen);
    return 1;
}

// SetMasterVolume(volume): kept; it has no audible effect on this platform
int SndSetMasterVolume(lua_State *L)
{
    CheckArgs(L, 1, 1);
    OsSetMasterVolume(luaO_toint32(GetNumberOrPercentArg(L, 1, 64, 0, nullptr)));
    return 0;
}
