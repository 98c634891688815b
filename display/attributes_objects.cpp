// GetAttribute's providers for the objects of the other libraries: brushes, samples and music
// (asked through the sound library's runtime tags), memory blocks, fonts, files, directories,
// event handlers, intervals and timeouts.
#include <strings.h>

#include "display/display.h"
#include "display/event.h"
#include "display/graphics.h"
#include "pictures/brush.h"
#include "runtime/errors.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "sound/sound_lib.h"
#include "stdlib/dos.h"
#include "stdlib/memblock.h"
#include "text/font.h"

enum { ERR_UNKNOWNATTR = 1080 };

static int PushInt(lua_State *L, double v)
{
    lua_pushnumber(L, v);
    return 1;
}

static int BrushAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountBrushes());
    BrushNode *b;
    int code = GetBrushNode(GetObjectIdArg(L, 2), &b, 0);
    if (code) return code;
    switch (attribute) {
    case 0: return PushInt(L, b->width);
    case 1: return PushInt(L, b->height);
    case 5: return PushInt(L, b->transparentColor);
    case 9: return PushInt(L, b->type);
    case 16: return PushInt(L, b->mask ? 1 : 0);
    case 17: return PushInt(L, b->alpha ? 1 : 0);
    }
    return ERR_UNKNOWNATTR;
}

// ---------------------------------------------------------------------------------------------
// Sound: the sound library answers runtime tags with the object's words.

// Asks one tag; the words hold the id on entry. 0 when no handler served it.
static int AskSound(lua_State *L, uint32_t tag, const ObjectId *id, SoundAttributeWords *w)
{
    w->first = (intptr_t)id->number;
    w->second = reinterpret_cast<intptr_t>(id->handle);
    return GetRuntimeTags(L, tag, w, 0);
}

static int PushSoundWord(lua_State *L, uint32_t tag, const ObjectId *id)
{
    SoundAttributeWords w;
    return PushInt(L, AskSound(L, tag, id, &w) ? (double)w.first : -1);
}

static int SampleAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountSamples());
    ObjectId id = GetObjectIdArg(L, 2);
    SampleNode *n;
    int code = FindSample(id, &n);
    if (code) return code;
    switch (attribute) {
    case ATTR_TYPE: return PushSoundWord(L, 8, &id);
    case ATTR_DURATION: return PushSoundWord(L, 9, &id);
    case ATTR_PITCH: return PushSoundWord(L, 10, &id);
    case ATTR_POSITION: {
        SoundAttributeWords w;
        int served = AskSound(L, 17, &id, &w);
        lua_pushnumber(L, served ? (double)w.first : -1);
        lua_pushnumber(L, served ? (double)w.second : -1);
        return 2;
    }
    }
    return ERR_UNKNOWNATTR;
}

static int MusicAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountMusics());
    ObjectId id = GetObjectIdArg(L, 2);
    MusicNode *m;
    int code = FindMusic(id, &m);
    if (code) return code;
    switch (attribute) {
    case ATTR_TYPE: return PushSoundWord(L, 22, &id);
    case ATTR_DURATION: return PushSoundWord(L, 15, &id);
    case ATTR_PITCH: return PushSoundWord(L, 21, &id);
    case ATTR_POSITION: return PushSoundWord(L, 16, &id);
    case ATTR_BITRATE: return PushSoundWord(L, 20, &id);
    case ATTR_FORMAT: {
        SoundAttributeWords w;
        const char *name = AskSound(L, 18, &id, &w) ? reinterpret_cast<const char *>(w.second) : nullptr;
        lua_pushstring(L, name ? name : "");
        return 1;
    }
    }
    return ERR_UNKNOWNATTR;
}

// ---------------------------------------------------------------------------------------------
// Memory blocks, fonts, files, directories

static int MemoryAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountMemBlocks());
    int32_t size;
    int code = GetMemBlockSize(GetObjectIdArg(L, 2), &size);
    if (code) return code;
    return attribute == ATTR_SIZE ? PushInt(L, size) : ERR_UNKNOWNATTR;
}

static int FontAttribute(lua_State *L, int attribute)
{
    ObjectId id = {0, nullptr};
    if (attribute != ATTR_COUNT) id = GetObjectIdArg(L, 2);
    return GetFontAttribute(L, id, attribute);
}

static int FileAttribute(lua_State *L, int attribute)
{
    if (attribute == ATTR_COUNT) return PushInt(L, CountOpenFiles());
    FileNode *f;
    int code = FindFile(GetObjectIdArg(L, 2), &f);
    if (code) return code;
    return attribute == ATTR_MODE ? PushInt(L, f->mode) : ERR_UNKNOWNATTR;
}

static int DirectoryAttribute(lua_State *L, int attribute)
{
    return attribute == ATTR_COUNT ? PushInt(L, CountOpenDirectories()) : ERR_UNKNOWNATTR;
}

// ---------------------------------------------------------------------------------------------
// Callbacks: the function or user data of a registry reference; 0 when there is none.

static int PushReference(lua_State *L, int32_t ref)
{
    if (ref == -1) lua_pushnumber(L, 0);
    else lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
    return 1;
}

static const char *const GlobalEventNames[] = {"onsampleloop", "onsampleend", "onmusicend", "onarexx"};

// The slot of an event name: the current display's for the 21 display events, else a global one.
static int FindEventSlot(const char *name, const EventHandlerSlot **slot)
{
    *slot = nullptr;
    for (int i = 0; i < DISPLAY_HANDLER_SLOTS; i++)
        if (!strcasecmp(name, DisplayHandlerNames[i])) {
            if (CurrentDisplay) *slot = &CurrentDisplay->handlers[i];
            return 0;
        }
    for (int i = 0; i < GLOBAL_HANDLER_SLOTS; i++)
        if (!strcasecmp(name, GlobalEventNames[i])) {
            *slot = &GlobalHandlers[i];
            return 0;
        }
    SetErrorString(name);
    return 1222;
}

static int EventHandlerAttribute(lua_State *L, int attribute)
{
    const char *name = luaL_checkstring(L, 2);
    const EventHandlerSlot *slot;
    int code = FindEventSlot(name, &slot);
    if (code) return code;
    if (attribute == ATTR_FUNCTION) return PushReference(L, slot ? slot->function : -1);
    if (attribute == ATTR_USERDATA) return PushReference(L, slot ? slot->userdata : -1);
    return ERR_UNKNOWNATTR;
}

static int TimerAttribute(lua_State *L, int attribute, CallbackTimerNode *list, int notFound)
{
    ObjectId id = GetObjectIdArg(L, 2);
    OsTimerId tid = {id.number, id.handle};
    CallbackTimerNode *n = FindTimerNode(list, &tid);
    if (!n) {
        if (id.handle) return 1041;
        SetErrorNumber((long)id.number);
        return notFound;
    }
    switch (attribute) {
    case ATTR_FUNCTION: return PushReference(L, n->function);
    case ATTR_USERDATA: return PushReference(L, n->userdata);
    case ATTR_DURATION: return PushInt(L, n->millis);
    }
    return ERR_UNKNOWNATTR;
}

static int IntervalAttribute(lua_State *L, int attribute) { return TimerAttribute(L, attribute, IntervalList, 1194); }
static int TimeoutAttribute(lua_State *L, int attribute) { return TimerAttribute(L, attribute, TimeoutList, 1195); }

void RegisterObjectAttributeProviders(void)
{
    SetAttributeProvider(OBJTYPE_BRUSH, BrushAttribute);
    SetAttributeProvider(OBJTYPE_SAMPLE, SampleAttribute);
    SetAttributeProvider(OBJTYPE_MUSIC, MusicAttribute);
    SetAttributeProvider(OBJTYPE_MEMORY, MemoryAttribute);
    SetAttributeProvider(OBJTYPE_FONT, FontAttribute);
    SetAttributeProvider(OBJTYPE_FILE, FileAttribute);
    SetAttributeProvider(OBJTYPE_DIRECTORY, DirectoryAttribute);
    SetAttributeProvider(OBJTYPE_EVENTHANDLER, EventHandlerAttribute);
    SetAttributeProvider(OBJTYPE_INTERVAL, IntervalAttribute);
    SetAttributeProvider(OBJTYPE_TIMEOUT, TimeoutAttribute);
}
