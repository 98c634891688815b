// The sound attributes of the attribute query (runtime get-tags 8 to 22): the caller hands two
// words holding the object's number and handle and gets the result back in them.
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"
#include "sound/sound_lib.h"

// A format code as a script constant.
static int FormatConstant(int code)
{
    switch (code) {
    case 0:
    case 2: return SND_MONO8;
    case 1:
    case 3: return SND_STEREO8;
    case 4: return SND_MONO16;
    case 5: return SND_STEREO16;
    default: return -1;
    }
}

static int SampleAttribute(uint32_t tag, SampleNode *n, SoundAttributeWords *w)
{
    const SampleBuffer *b = n->buffer;
    switch (tag) {
    case 8: w->first = FormatConstant(n->formatCode); return 1;
    case 9: {
        int64_t frames = b->bytesPerFrame ? n->length / b->bytesPerFrame : 0;
        w->first = (intptr_t)(frames * 1000 / n->pitch);
        return 1;
    }
    case 10: w->first = n->pitch; return 1;
    case 17: {
        if (!SoundState.audioOpen) return 0;
        int32_t ms = -1, passes = -1;
        OsSamplePosition(n->buffer, &ms, &passes);
        w->first = ms;
        w->second = passes;
        return 1;
    }
    }
    return 0;
}

static int MusicAttribute(uint32_t tag, MusicNode *m, SoundAttributeWords *w)
{
    int module = m->kind == MUSIC_MODULE;
    SampleFile *sf = module ? nullptr : static_cast<SampleFile *>(m->decoder);
    switch (tag) {
    case 15: w->first = module ? -1 : (intptr_t)StreamDurationMs(sf); return 1;
    case 16:
        OsReapChannels();
        w->first = module ? -1 : (intptr_t)StreamPositionMs(sf);
        return 1;
    case 18:
        w->second = reinterpret_cast<intptr_t>(module ? "Protracker" : GetSampleFormatName(sf));
        return 1;
    case 20: w->first = module ? -1 : sf->bitRate; return 1;
    case 21: w->first = module ? 48000 : sf->rate; return 1;
    case 22: w->first = module ? SND_STEREO16 : FormatConstant(sf->formatCode); return 1;
    }
    return 0;
}

int SoundGetTagHandler(lua_State *L, uint32_t tag, void *result)
{
    SoundAttributeWords *w = static_cast<SoundAttributeWords *>(result);
    ObjectId id = {(uint32_t)w->first, reinterpret_cast<void *>(w->second)};
    int sampleTag = tag == 8 || tag == 9 || tag == 10 || tag == 17;
    int musicTag = tag == 15 || tag == 16 || tag == 18 || tag == 20 || tag == 21 || tag == 22;
    if (sampleTag) {
        SampleNode *n;
        if (FindSample(id, &n)) return 0;
        return SampleAttribute(tag, n, w);
    }
    if (musicTag) {
        MusicNode *m;
        if (FindMusic(id, &m)) return 0;
        return MusicAttribute(tag, m, w);
    }
    return 0;
}
