// The one table through which the platform reaches the layers above it, and the stop flag.
#include <cstring>

#include "platform/linux/os_internal.h"

OsUpcalls OsUp;
static volatile int OwnStopFlag = 0;

void OsSetUpcalls(const OsUpcalls *upcalls)
{
    if (!upcalls) {
        memset(&OsUp, 0, sizeof OsUp);
        return;
    }
    // Several layers register their own entries: only the fields given replace the old ones.
    const void *const *from = (const void *const *)upcalls;
    void **to = (void **)&OsUp;
    for (size_t i = 0; i < sizeof OsUp / sizeof(void *); i++)
        if (from[i]) to[i] = (void *)from[i];
}

int OsStopSet(void)
{
    return OsUp.stopFlag ? *OsUp.stopFlag != 0 : OwnStopFlag != 0;
}

void OsSetStop(void)
{
    if (OsUp.stopFlag) *OsUp.stopFlag = 1;
    else OwnStopFlag = 1;
}

void OsPost(OsWindowRecord *win, uint32_t type, uint32_t a, uint32_t b, uint32_t c,
            const void *extra, size_t extraSize)
{
    if (win && OsUp.postEvent) OsUp.postEvent(win->owner, type, a, b, c, extra, extraSize);
}

void OsNameInError(const char *path)
{
    if (OsUp.setErrorString) OsUp.setErrorString(path);
}
