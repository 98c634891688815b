// Recursive mutexes: the one lock type of the program.
#include "platform/os.h"

#include <cstdlib>

#include <pthread.h>


struct OsMutex {
    pthread_mutex_t mutex;
};

OsMutex *OsCreateMutex(void)
{
    OsMutex *m = (OsMutex *)calloc(1, sizeof(OsMutex));
    if (!m) return nullptr;
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) {
        free(m);
        return nullptr;
    }
    int ok = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
             pthread_mutex_init(&m->mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    if (!ok) {
        free(m);
        return nullptr;
    }
    return m;
}

void OsDeleteMutex(OsMutex *m)
{
    if (!m) return;
    pthread_mutex_destroy(&m->mutex);
    free(m);
}

void OsLockMutex(OsMutex *m)
{
    if (m) pthread_mutex_lock(&m->mutex);
}

int OsTryLockMutex(OsMutex *m)
{
    if (!m) return 0;
    return pthread_mutex_trylock(&m->mutex) == 0 ? 1 : 0;
}

void OsUnlockMutex(OsMutex *m)
{
    if (m) pthread_mutex_unlock(&m->mutex);
}
