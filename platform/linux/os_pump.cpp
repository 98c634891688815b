// The event pump, installed as the interpreter's line hook and called by every waiting loop.
// It must cost next to nothing per script line: with no video system running it only reports
// the stop flag, and otherwise it looks at SDL's queue at most every 10 ms.
#include "platform/os.h"

#include <SDL.h>

#include "platform/linux/os_internal.h"
#include "runtime/vm/interpwords.h"

static OsTimeVal LastPump = {0, 0};

int OsPumpEvents(lua_State *L, lua_Debug *ar)
{
    if (OsVideoStarted()) {
        OsTimeVal now;
        OsGetSysTime(&now);
        OsTimeVal since = now;
        OsSubTime(&since, &LastPump);
        int recent = since.seconds == 0 && since.micros < 10000;
        if (!recent || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
            LastPump = now;
            SDL_PumpEvents();
            SDL_Event e;
            // The translation of window and input events comes with the displays; until then
            // one event is taken per run so the queue never fills.
            SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        }
    }
    return StopFlag ? 1 : 0;
}
