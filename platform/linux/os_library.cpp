// Shared libraries opened on demand.
#include <dlfcn.h>

#include <cstring>

#include "platform/os.h"

int OsOpenLibrary(const char *library, const char *const *names, void *routines, size_t size)
{
    memset(routines, 0, size);
    size_t count = 0;
    while (names[count]) count++;
    if (count * sizeof(void *) != size) return 1;
    void *lib = library ? dlopen(library, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!lib) return 1;
    for (size_t i = 0; i < count; i++) {
        // A function pointer has the representation of the address dlsym returns.
        void *address = dlsym(lib, names[i]);
        if (!address) {
            memset(routines, 0, size);
            dlclose(lib);
            return 1;
        }
        memcpy((char *)routines + i * sizeof(void *), &address, sizeof(void *));
    }
    return 0;
}
