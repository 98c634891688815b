// The sound event list: end and loop notifications in arrival order, waiting for the event
// dispatcher (TakeAudioEvent).
#include <mutex>

#include "runtime/memory.h"
#include "sound/audio_output.h"

struct AudioEvent {
    AudioEvent *next;
    int kind;
    ObjectId id;
    int32_t time;
    uint32_t starts;
};

static AudioEvent *First = nullptr, *Last = nullptr;
static std::mutex ListMutex;

void PostAudioEvent(int kind, ObjectId id, int32_t a, int32_t b, int32_t c)
{
    AudioEvent *e = static_cast<AudioEvent *>(MemAlloc(sizeof(AudioEvent), 1));
    if (!e) return;
    e->kind = kind;
    e->id = id;
    e->time = (b - 1) * a + (kind == AUDIO_SAMPLE_END ? c : 0);
    e->starts = (uint32_t)b;
    std::lock_guard<std::mutex> lock(ListMutex);
    if (Last) Last->next = e;
    else First = e;
    Last = e;
}

int TakeAudioEvent(int *kind, ObjectId *id, int32_t *time, uint32_t *starts)
{
    AudioEvent *e;
    {
        std::lock_guard<std::mutex> lock(ListMutex);
        e = First;
        if (!e) return 0;
        First = e->next;
        if (!First) Last = nullptr;
    }
    *kind = e->kind;
    *id = e->id;
    *time = e->time;
    *starts = e->starts;
    MemFree(e);
    return 1;
}

void FreeAudioEvents(void)
{
    std::lock_guard<std::mutex> lock(ListMutex);
    while (First) {
        AudioEvent *e = First;
        First = e->next;
        MemFree(e);
    }
    Last = nullptr;
}
