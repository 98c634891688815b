// The music commands: opening streams and modules, playing, stopping, pausing, resuming and
// seeking the one playing music, its volume, the module positions and the queries.
#include <cstring>

#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/vm/values.h"
#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"
#include "sound/sound_lib.h"

// Stops the playing music: pass counter 1, resume position 0, nothing playing or paused.
static int StopPlayingMusic(void)
{
    MusicNode *m = SoundState.playing;
    if (!m) return 0;
    int32_t passes = 1;
    int64_t resume = 0;
    int code = OsStopMusic(m->kind, m->decoder, 0, &passes, &resume);
    if (code) return code;
    m->passCounter = 1;
    m->resumePosition = 0;
    m->paused = 0;
    SoundState.playing = SoundState.paused = nullptr;
    return 0;
}

// Starts a music after stopping the playing one; it becomes the playing music.
static int StartMusic(MusicNode *m)
{
    int code = StopPlayingMusic();
    if (code) return code;
    code = OsPlayMusic(m->kind, m->decoder, m->id, m->times, m->passCounter, m->volume);
    if (code) return code;
    SoundState.playing = m;
    SoundState.paused = nullptr;
    m->paused = 0;
    return 0;
}

// OpenMusic / LoadModule(id or Nil, file)
int SndOpenMusic(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    const char *name = ResolveLinkedFileArg(L, 2, 0, nullptr);
    if (SoundState.disabled) return 0;
    MusicNode *old;
    ObjectId id = {isNil ? 0 : number, nullptr};
    if (!isNil && FindMusic(id, &old) == 0) {
        if (SoundState.playing == old) StopPlayingMusic();
        FreeMusicNode(old);
    }
    OpenAudioLazily();
    if (SoundState.disabled) return 0;
    PrintVerbose(GetErrorString(MSG_LOADING_MUSIC), name, 1);
    int kind;
    void *decoder;
    int code = LoadMusicFile(name, &kind, &decoder);
    if (code) {
        PrintVerboseFailed();
        return code;
    }
    MusicNode *m = static_cast<MusicNode *>(MemAlloc(sizeof(MusicNode), 1));
    if (!m) {
        if (kind == MUSIC_MODULE) FreeModulePlayer(static_cast<ModulePlayer *>(decoder));
        else CloseSampleFile(static_cast<SampleFile *>(decoder));
        return 1000;
    }
    m->id = isNil ? ObjectId{0, m} : id;
    m->decoder = decoder;
    m->kind = kind;
    m->volume = 64;
    m->passCounter = 1;
    MusicNode **p = &Musics;
    while (*p) p = &(*p)->next;
    *p = m;
    PrintVerboseDone();
    if (!isNil) return 0;
    lua_pushlightuserdata(L, m);
    return 1;
}

// CloseMusic / FreeModule(id)
int SndCloseMusic(lua_State *L)
{
    CheckArgs(L, 1, 1);
    MusicNode *m;
    int code = LiveMusicArg(L, &m);
    if (code) return SoundOffOr(code);
    if (SoundState.playing == m) StopPlayingMusic();
    FreeMusicNode(m);
    return 0;
}

// PlayMusic / PlayModule(id [, options or times])
int SndPlayMusic(lua_State *L)
{
    CheckArgs(L, 1, 2);
    MusicNode *m;
    int code = LiveMusicArg(L, &m);
    if (code) return SoundOffOr(code);
    if (lua_istable(L, 2)) {
        int v;
        if (GetFieldInt(L, 2, "volume", &v, nullptr)) m->volume = v < 0 ? 0 : v > 64 ? 64 : v;
        GetFieldInt(L, 2, "times", &m->times, nullptr);
    } else if (lua_gettop(L) >= 2) {
        m->times = lua_isnil(L, 2) ? 1 : luaO_toint32(luaL_checknumber(L, 2));
    }
    return StartMusic(m);
}

// The music named by argument 1, or the playing one without it.
static int PlayingMusicArg(lua_State *L, MusicNode **out)
{
    OsReapChannels();
    if (lua_gettop(L) < 1) {
        if (!SoundState.playing) return 1055;
        *out = SoundState.playing;
        return 0;
    }
    ObjectId id = GetObjectIdArg(L, 1);
    int code = FindMusic(id, out);
    if (code) return code;
    if (SoundState.playing != *out) {
        if (id.handle) return 1319;
        SetErrorNumber((long)id.number);
        return 1232;
    }
    return 0;
}

static int StopOrPauseMusic(lua_State *L, int pause)
{
    CheckArgs(L, 0, 1);
    if (SoundState.disabled) return 0;
    MusicNode *m;
    int code = PlayingMusicArg(L, &m);
    if (code) return code;
    int32_t passes = m->passCounter;
    int64_t resume = 0;
    OsStopMusic(m->kind, m->decoder, pause, &passes, &resume);
    SoundState.playing = nullptr;
    if (pause) {
        m->passCounter = passes;
        m->resumePosition = resume;
        m->paused = 1;
        SoundState.paused = m;
    } else {
        m->passCounter = 1;
        m->resumePosition = 0;
        m->paused = 0;
        SoundState.paused = nullptr;
    }
    return 0;
}

int SndStopMusic(lua_State *L)
{
    return StopOrPauseMusic(L, 0);
}

int SndPauseMusic(lua_State *L)
{
    return StopOrPauseMusic(L, 1);
}

// ResumeMusic / ResumeModule([id])
int SndResumeMusic(lua_State *L)
{
    CheckArgs(L, 0, 1);
    if (SoundState.disabled) return 0;
    MusicNode *m = SoundState.paused;
    if (lua_gettop(L) >= 1) {
        int code = FindMusic(GetObjectIdArg(L, 1), &m);
        if (code) return code;
    } else if (!m) {
        return 1055;
    }
    if (!m->paused) return 1264;
    return StartMusic(m);
}

// SeekMusic(id, ms): streams only
int SndSeekMusic(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId id = GetObjectIdArg(L, 1);
    double ms = luaL_checknumber(L, 2);
    if (SoundState.disabled) return 0;
    MusicNode *m;
    int code = FindMusic(id, &m);
    if (code) return code;
    if (m->kind != MUSIC_STREAM) return 1236;
    SampleFile *sf = static_cast<SampleFile *>(m->decoder);
    if (!(ms >= 0) || ms > StreamDurationMs(sf) - 1) return 1233;
    OsReapChannels();
    if (SoundState.playing != m) {
        OsSeekStreamMs(MUSIC_STREAM, sf, (int64_t)ms);
        return 0;
    }
    int32_t passes = m->passCounter;
    int64_t resume = 0;
    OsStopMusic(m->kind, m->decoder, 1, &passes, &resume);
    m->passCounter = passes;
    SoundState.playing = nullptr;
    OsSeekStreamMs(MUSIC_STREAM, sf, (int64_t)ms);
    m->paused = 1;
    return StartMusic(m);
}

// SetMusicVolume(id, volume): a number or a percentage of 64
int SndSetMusicVolume(lua_State *L)
{
    CheckArgs(L, 2, 2);
    ObjectId id = GetObjectIdArg(L, 1);
    int v = luaO_toint32(GetNumberOrPercentArg(L, 2, 64, 0, nullptr));
    if (SoundState.disabled) return 0;
    MusicNode *m;
    int code = FindMusic(id, &m);
    if (code) return code;
    m->volume = v < 0 ? 0 : v > 64 ? 64 : v;
    OsSetMusicVolume(m->kind, m->decoder, m->volume);
    return 0;
}

// IsMusic / IsModule(file): 1 or 0, and the format name
int SndIsMusic(lua_State *L)
{
    CheckArgs(L, 1, 1);
    const char *name = ResolveLinkedFileArg(L, 1, 0, nullptr);
    FileHandle *fh = FOpen(name, FMODE_READ);
    if (!fh) {
        lua_pushnumber(L, 0);
        lua_pushstring(L, "Unknown");
        return 2;
    }
    uint8_t mark[4] = {};
    FSeek(fh, 1080, FSEEK_START);
    int module = FRead(fh, mark, 4) == 4 && memcmp(mark, "M.K.", 4) == 0;
    FClose(fh);
    if (module) {
        lua_pushnumber(L, 1);
        lua_pushstring(L, "Protracker");
        return 2;
    }
    SampleFile *sf;
    if (OpenSampleFile(name, 0, &sf) == 0) {
        lua_pushnumber(L, 1);
        lua_pushstring(L, GetSampleFormatName(sf));
        CloseSampleFile(sf);
    } else {
        lua_pushnumber(L, 0);
        lua_pushstring(L, "Unknown");
    }
    return 2;
}

// IsMusicPlaying(id)
int SndIsMusicPlaying(lua_State *L)
{
    CheckArgs(L, 1, 1);
    MusicNode *m;
    int code = FindMusic(GetObjectIdArg(L, 1), &m);
    if (code) return code;
    OsReapChannels();
    lua_pushnumber(L, SoundState.playing == m);
    return 1;
}

// The playing module, or none.
static ModulePlayer *PlayingModule(void)
{
    OsReapChannels();
    MusicNode *m = SoundState.playing;
    return m && m->kind == MUSIC_MODULE ? static_cast<ModulePlayer *>(m->decoder) : nullptr;
}

// The playing module's song position (song 1) or row, -1 when no module plays.
static int ModulePosition(MusicNode *m, int song)
{
    if (!m || m->kind != MUSIC_MODULE) return -1;
    int songPos, row;
    ModGetPosition(static_cast<ModulePlayer *>(m->decoder), &songPos, &row);
    return song ? songPos : row;
}

int SndGetPatternPosition(lua_State *L)
{
    CheckArgs(L, 0, 0);
    OsReapChannels();
    lua_pushnumber(L, ModulePosition(SoundState.playing, 0));
    return 1;
}

int SndGetSongPosition(lua_State *L)
{
    CheckArgs(L, 0, 0);
    OsReapChannels();
    lua_pushnumber(L, ModulePosition(SoundState.playing, 1));
    return 1;
}

// PlaySubsong(position): a position outside the song is refused.
int SndPlaySubsong(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int pos = luaL_checkinteger(L, 1);
    if (SoundState.disabled) return 0;
    ModulePlayer *mp = PlayingModule();
    if (!mp || pos < 0 || pos >= mp->songLength) return 1055;
    ModRequestPosition(mp, pos);
    return 0;
}

// Waits while the playing module's row (position) is below the argument.
static int WaitModule(lua_State *L, int song)
{
    CheckArgs(L, 1, 1);
    int target = luaL_checkinteger(L, 1);
    for (;;) {
        OsReapChannels();
        MusicNode *m = SoundState.playing;
        if (!m) return 0;
        if (ModulePosition(m, song) >= target) return 0;
        if (OsPumpEvents(L, nullptr)) return 0;
        OsSleepMillis(L, 10);
    }
}

int SndWaitPatternPosition(lua_State *L)
{
    return WaitModule(L, 0);
}

int SndWaitSongPosition(lua_State *L)
{
    return WaitModule(L, 1);
}
