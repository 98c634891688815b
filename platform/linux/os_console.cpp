// Console output.
#include "platform/os.h"

#include <cstdlib>

#include <SDL.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/linux/os_internal.h"

int OsPrintF(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vprintf(format, ap);
    va_end(ap);
    return n;
}
