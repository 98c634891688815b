// Animation decoding hooks: this platform decodes no animation format of its own, so every
// anim file is read by the program's own decoders.
#include "platform/os.h"

int OsLoadAnim(void *animFile)
{
    return 0;
}

int OsGetAnimFrame(void *animFile, int frame)
{
    return 0;
}

int OsGetAnimDelay(void *animFile, int frame)
{
    return 0;
}

void OsFreeAnim(void *animFile) {}
