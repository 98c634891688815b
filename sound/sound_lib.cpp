// The sound library's registration, state, lazily opened output, runtime tags and shutdown.
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/settings.h"
#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"
#include "sound/sound_lib.h"

SoundLibraryState SoundState;
SampleNode *Samples = nullptr;
MusicNode *Musics = nullptr;

void OpenAudioLazily(void)
{
    if (SoundState.disabled || SoundState.audioOpen) return;
    if (OsOpenAudio(SoundState.masterVolume)) SoundState.disabled = 1;
    else SoundState.audioOpen = 1;
}

int FindSample(ObjectId id, SampleNode **out)
{
    for (SampleNode *n = Samples; n; n = n->next) {
        if (ObjectIdMatches(n->id, id)) {
            *out = n;
            return 0;
        }
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1178;
}

int FindMusic(ObjectId id, MusicNode **out)
{
    for (MusicNode *n = Musics; n; n = n->next) {
        if (ObjectIdMatches(n->id, id)) {
            *out = n;
            return 0;
        }
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1231;
}

int LiveSampleArg(lua_State *L, SampleNode **out)
{
    ObjectId id = GetObjectIdArg(L, 1);
    return SoundState.disabled ? (int)SOUND_OFF : FindSample(id, out);
}

int LiveMusicArg(lua_State *L, MusicNode **out)
{
    ObjectId id = GetObjectIdArg(L, 1);
    return SoundState.disabled ? (int)SOUND_OFF : FindMusic(id, out);
}

void FreeSampleNode(SampleNode *node)
{
    for (SampleNode **p = &Samples; *p; p = &(*p)->next) {
        if (*p == node) {
            *p = node->next;
            break;
        }
    }
    FreeSampleBuffer(node->buffer);
    MemFree(node);
}

void FreeMusicNode(MusicNode *node)
{
    for (MusicNode **p = &Musics; *p; p = &(*p)->next) {
        if (*p == node) {
            *p = node->next;
            break;
        }
    }
    if (SoundState.playing == node) SoundState.playing = nullptr;
    if (SoundState.paused == node) SoundState.paused = nullptr;
    if (node->kind == MUSIC_MODULE) FreeModulePlayer(static_cast<ModulePlayer *>(node->decoder));
    else CloseStreamFile(static_cast<SampleFile *>(node->decoder));
    MemFree(node);
}

void ResetMusicState(void)
{
    SoundState.playing = nullptr;
}

// A stream ended by itself: it is no longer the playing music, if it still was.
static void MusicStreamEnded(SampleFile *stream)
{
    if (SoundState.playing && SoundState.playing->decoder == stream) {
        SoundState.playing->passCounter = 1;
        ResetMusicState();
    }
}

int CountSamples(void)
{
    int n = 0;
    for (SampleNode *s = Samples; s; s = s->next) n++;
    return n;
}

int CountMusics(void)
{
    int n = 0;
    for (MusicNode *m = Musics; m; m = m->next) n++;
    return n;
}

int MapPanning(double pan)
{
    if (pan == -90000) return 0;        // #LEFT
    if (pan == -80000) return 255;      // #RIGHT
    if (pan == -100000) return 128;     // #CENTER
    return !(pan > 0) ? 0 : pan > 255 ? 255 : (int)pan;
}

int SoundSetTagHandler(lua_State *L, uint32_t tag, intptr_t value)
{
    switch (tag) {
    case RTAG_NOSOUND: SoundState.disabled = value != 0; return 1;
    case RTAG_MASTERVOLUME: SoundState.masterVolume = (int)value; return 1;
    case 13: WantSampleLoop.store(value != 0); return 1;
    case 14: WantSampleEnd.store(value != 0); return 1;
    case 19: WantMusicEnd.store(value != 0); return 1;
    default: return 0;
    }
}

// The event pump's audio upcall: notifications on every pass, the reap once a second.
static void SoundAudioPump(int reap)
{
    if (reap) OsReapChannels();
    else OsPostAudioEvents();
}

static const luaL_reg SoundCommands[] = {
    {"LoadSample", SndLoadSample},
    {"CreateSample", SndCreateSample},
    {"FreeSample", SndFreeSample},
    {"PlaySample", SndPlaySample},
    {"StopSample", SndStopSample},
    {"WaitSampleEnd", SndWaitSampleEnd},
    {"IsSamplePlaying", SndIsSamplePlaying},
    {"SetVolume", SndSetVolume},
    {"SetPanning", SndSetPanning},
    {"SetPitch", SndSetPitch},
    {"IsSample", SndIsSample},
    {"IsSound", SndIsSound},
    {"SetMasterVolume", SndSetMasterVolume},
    {"OpenMusic", SndOpenMusic},
    {"LoadModule", SndOpenMusic},
    {"CloseMusic", SndCloseMusic},
    {"FreeModule", SndCloseMusic},
    {"PlayMusic", SndPlayMusic},
    {"PlayModule", SndPlayMusic},
    {"StopMusic", SndStopMusic},
    {"StopModule", SndStopMusic},
    {"PauseMusic", SndPauseMusic},
    {"PauseModule", SndPauseMusic},
    {"ResumeMusic", SndResumeMusic},
    {"ResumeModule", SndResumeMusic},
    {"SeekMusic", SndSeekMusic},
    {"SetMusicVolume", SndSetMusicVolume},
    {"IsMusic", SndIsMusic},
    {"IsModule", SndIsMusic},
    {"IsMusicPlaying", SndIsMusicPlaying},
    {"GetPatternPosition", SndGetPatternPosition},
    {"GetSongPosition", SndGetSongPosition},
    {"PlaySubsong", SndPlaySubsong},
    {"WaitPatternPosition", SndWaitPatternPosition},
    {"WaitSongPosition", SndWaitSongPosition},
    {nullptr, nullptr},
};

static const luaL_Constant SoundConstants[] = {
    {"MONO8", nullptr, SND_MONO8},
    {"MONO16", nullptr, SND_MONO16},
    {"STEREO8", nullptr, SND_STEREO8},
    {"STEREO16", nullptr, SND_STEREO16},
    {"SAMPLE", nullptr, OBJ_SAMPLE},
    {"MUSIC", nullptr, OBJ_MUSIC},
    {nullptr, nullptr, 0},
};

int OpenSoundLib(lua_State *L)
{
    luaL_openlib(L, nullptr, SoundCommands, 0);
    int err = RegisterCommandTable(SoundCommands, "sound");
    if (err) return err;
    luaL_registerconstants(L, SoundConstants);
    AudioStreamEndedHook = MusicStreamEnded;
    OsUpcalls upcalls = {};
    upcalls.audioPump = SoundAudioPump;
    OsSetUpcalls(&upcalls);
    return OsInitAudio();
}

void StopAllSound(lua_State *L)
{
    if (!SoundState.audioOpen) return;
    if (SoundState.playing) {
        MusicNode *m = SoundState.playing;
        int32_t passes;
        int64_t resume;
        OsStopMusic(m->kind, m->decoder, 0, &passes, &resume);
        m->passCounter = 1;
        m->resumePosition = 0;
        m->paused = 0;
        SoundState.playing = SoundState.paused = nullptr;
    }
    OsStopSamples(nullptr);
    OsStopAudio();
}

// The output is closed before the objects are freed, so that neither the render thread nor
// the streaming thread can still reach a freed sample or stream.
void FreeSoundObjects(lua_State *L)
{
    OsCloseAudio();
    SoundState.audioOpen = 0;
    while (Samples) FreeSampleNode(Samples);
    while (Musics) FreeMusicNode(Musics);
    SoundState.playing = SoundState.paused = nullptr;
}
