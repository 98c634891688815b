// The sound library: sample and music objects, the lazily opened audio output, the runtime
// tags of sound and the sound attributes of the attribute query.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"

struct SampleBuffer;

struct SampleNode {
    SampleNode *next;
    ObjectId id;
    SampleBuffer *buffer;
    int32_t volume;         // 0..64
    int32_t pitch;          // playback rate in Hz, at least 1
    int32_t formatCode;
    uint32_t length;        // bytes
    int32_t panning;        // 0 left .. 255 right
};

struct MusicNode {
    MusicNode *next;
    ObjectId id;
    void *decoder;          // SampleFile (stream) or ModulePlayer (module)
    int32_t kind;           // MUSIC_STREAM, MUSIC_MODULE
    int32_t volume;
    int32_t paused;
    int32_t times;
    int32_t passCounter;
    int64_t resumePosition;
};

struct SoundLibraryState {
    int disabled;
    int audioOpen;
    MusicNode *playing;
    MusicNode *paused;
    int masterVolume;
};
extern SoundLibraryState SoundState;
extern SampleNode *Samples;
extern MusicNode *Musics;

// Script constants: sample formats and the object kinds.
enum { SND_MONO8 = 0, SND_MONO16 = 1, SND_STEREO8 = 2, SND_STEREO16 = 3 };
enum { OBJ_SAMPLE = 2, OBJ_MUSIC = 33 };

// Opens the audio output unless sound is off or it is open; a failed open switches sound off
// for the rest of the run (no error).
void OpenAudioLazily(void);

int FindSample(ObjectId id, SampleNode **out);      // 0, 1178 (number set), 1041
int FindMusic(ObjectId id, MusicNode **out);        // 0, 1231 (number set), 1041
// The object named by argument 1 of a command that does nothing while sound is off: 0 with the
// node, SOUND_OFF while sound is off, or the lookup's error code.
enum { SOUND_OFF = -1 };
int LiveSampleArg(lua_State *L, SampleNode **out);
int LiveMusicArg(lua_State *L, MusicNode **out);
// The result of a handler for such a lookup's code: no results while sound is off.
inline int SoundOffOr(int code)
{
    return code == SOUND_OFF ? 0 : code;
}
void FreeSampleNode(SampleNode *node);
void FreeMusicNode(MusicNode *node);
// Forgets the playing music (a stream that ended by itself).
void ResetMusicState(void);
int CountSamples(void);
int CountMusics(void);
// Pan argument: #LEFT 0, #RIGHT 255, #CENTER 128; others clamped to 0..255.
int MapPanning(double pan);

// The two words an attribute query hands to SoundGetTagHandler: on entry the object's number
// and handle; results replace `first` (tag 18: `second` gets the format name, a const char *;
// tag 17: both words).
struct SoundAttributeWords {
    intptr_t first;
    intptr_t second;
};

// Command handlers (sound_samples.cpp, sound_music.cpp).
int SndLoadSample(lua_State *L);
int SndCreateSample(lua_State *L);
int SndFreeSample(lua_State *L);
int SndPlaySample(lua_State *L);
int SndStopSample(lua_State *L);
int SndWaitSampleEnd(lua_State *L);
int SndIsSamplePlaying(lua_State *L);
int SndSetVolume(lua_State *L);
int SndSetPanning(lua_State *L);
int SndSetPitch(lua_State *L);
int SndIsSample(lua_State *L);
int SndIsSound(lua_State *L);
int SndSetMasterVolume(lua_State *L);
int SndOpenMusic(lua_State *L);
int SndCloseMusic(lua_State *L);
int SndPlayMusic(lua_State *L);
int SndStopMusic(lua_State *L);
int SndPauseMusic(lua_State *L);
int SndResumeMusic(lua_State *L);
int SndSeekMusic(lua_State *L);
int SndSetMusicVolume(lua_State *L);
int SndIsMusic(lua_State *L);
int SndIsMusicPlaying(lua_State *L);
int SndGetPatternPosition(lua_State *L);
int SndGetSongPosition(lua_State *L);
int SndPlaySubsong(lua_State *L);
int SndWaitPatternPosition(lua_State *L);
int SndWaitSongPosition(lua_State *L);
