// Helper programs of the requesters and the clipboard (zenity, kdialog, xclip, wl-copy,
// wl-paste, xdg-open): found on PATH, started with posix_spawnp so that no shell ever reads
// their arguments, and watched while the event pump keeps running, so that the player's windows
// stay alive and a stop request ends a dialog.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "platform/linux/os_requester_internal.h"
#include "platform/os.h"

extern char **environ;

static int HelperTestMode = 0;
static lua_State *PumpState = nullptr;

void OsSetHelperPumpState(lua_State *L)
{
    PumpState = L;
}

void OsSetHelperTestMode(int on)
{
    HelperTestMode = on;
}

int HelperProgramsAllowed(void)
{
    return HelperTestMode || OsHasRealDisplay();
}

int FindOnPath(const char *name)
{
    const char *path = getenv("PATH");
    if (!path || !*path) path = "/usr/local/bin:/usr/bin:/bin";
    std::string dir;
    for (const char *p = path;; p++) {
        if (*p != ':' && *p) {
            dir += *p;
            continue;
        }
        std::string file = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st;
        if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0)
            return 1;
        if (!*p) return 0;
        dir.clear();
    }
}

static long MillisNow(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Spawns argv with standard input from inFd (or /dev/null for -1), standard output into outFd
// (or /dev/null for -1) and standard error to /dev/null. The child's default signal actions
// are restored. The pid, or -1.
static pid_t Spawn(char *const argv[], int inFd, int outFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    if (inFd >= 0) posix_spawn_file_actions_adddup2(&actions, inFd, 0);
    else posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    else posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    sigaddset(&defaults, SIGCHLD);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid;
    int err = posix_spawnp(&pid, argv[0], &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return err == 0 ? pid : -1;
}

static void CloseFd(int *fd)
{
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

// Waits for the child, retrying after signals; the status, or -1.
static int Reap(pid_t pid, int options)
{
    int status;
    pid_t got;
    while ((got = waitpid(pid, &status, options)) < 0 && errno == EINTR) {
    }
    if (got == pid) return status;
    return got == 0 ? -2 : -1;   // -2: still running (WNOHANG)
}

// Reads what the pipe holds now. 0 at the end of the output, 1 when more may come, -1 when
// the output grew past the limit or memory ran out.
static int ReadAvailable(int fd, HelperRun *run, size_t *capacity)
{
    for (;;) {
        if (run->outputSize + 4096 + 1 > *capacity) {
            size_t want = *capacity ? *capacity * 2 : 8192;
            char *grown = (char *)realloc(run->output, want);
            if (!grown) return -1;
            run->output = grown;
            *capacity = want;
        }
        ssize_t n = read(fd, run->output + run->outputSize, 4096);
        if (n > 0) {
            run->outputSize += (size_t)n;
            if (run->outputSize > run->maxOutput) return -1;
            continue;
        }
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 1 : -1;
    }
}

int RunHelper(HelperRun *run)
{
    run->output = nullptr;
    run->outputSize = 0;
    run->exitStatus = -1;
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    // A socket rather than a pipe for the input: MSG_NOSIGNAL keeps a helper that ends early
    // from raising SIGPIPE in the player.
    if (run->inputSize && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
        return HELPER_FAILED;
    if (run->captureOutput && pipe2(out, O_CLOEXEC) != 0) {
        CloseFd(&in[0]);
        CloseFd(&in[1]);
        return HELPER_FAILED;
    }
    pid_t pid = Spawn(run->argv, in[0], out[1]);
    CloseFd(&in[0]);
    CloseFd(&out[1]);
    if (pid < 0) {
        CloseFd(&in[1]);
        CloseFd(&out[0]);
        return HELPER_FAILED;
    }
    if (in[1] >= 0) fcntl(in[1], F_SETFL, fcntl(in[1], F_GETFL) | O_NONBLOCK);
    if (out[0] >= 0) fcntl(out[0], F_SETFL, fcntl(out[0], F_GETFL) | O_NONBLOCK);

    size_t written = 0, capacity = 0;
    long start = MillisNow();
    int result = -1, status = -1, gone = 0;
    while (result < 0) {
        struct pollfd fds[2];
        int n = 0;
        if (out[0] >= 0) fds[n++] = {out[0], POLLIN, 0};
        if (in[1] >= 0) fds[n++] = {in[1], POLLOUT, 0};
        poll(fds, (nfds_t)n, 10);

        if (in[1] >= 0) {
            ssize_t sent = send(in[1], (const char *)run->input + written, run->inputSize - written,
                                MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) written += (size_t)sent;
            // A helper that stops reading has all it wants: its exit status tells the rest.
            if (written == run->inputSize || (sent < 0 && errno != EAGAIN && errno != EINTR))
                CloseFd(&in[1]);
        }
        if (out[0] >= 0) {
            int r = ReadAvailable(out[0], run, &capacity);
            if (r < 0) result = HELPER_FAILED;
            else if (r == 0) CloseFd(&out[0]);
        }
        if (result < 0 && out[0] < 0) {
            status = Reap(pid, WNOHANG);
            if (status >= 0) {
                result = WIFEXITED(status) ? HELPER_EXITED : HELPER_SIGNALLED;
                break;
            }
            if (status == -1) result = HELPER_FAILED, gone = 1;
        }
        if (result < 0 && OsPumpEvents(PumpState, nullptr)) result = HELPER_STOPPED;
        if (result < 0 && run->timeoutMillis > 0 && MillisNow() - start > run->timeoutMillis)
            result = HELPER_TIMEOUT;
    }
    CloseFd(&in[1]);
    CloseFd(&out[0]);
    if (status < 0 && !gone) {
        // Ended from here: the helper is killed and reaped.
        kill(pid, SIGKILL);
        Reap(pid, 0);
    } else if (result == HELPER_EXITED) {
        run->exitStatus = WEXITSTATUS(status);
    }
    if (run->output) run->output[run->outputSize] = 0;
    if (result != HELPER_EXITED) {
        free(run->output);
        run->output = nullptr;
        run->outputSize = 0;
    }
    return result;
}

static void *ReapInBackground(void *pid)
{
    Reap((pid_t)(intptr_t)pid, 0);
    return nullptr;
}

int SpawnReaped(char *const argv[])
{
    pid_t pid = Spawn(argv, -1, -1);
    if (pid < 0) return 0;
    pthread_t thread;
    pthread_attr_t attr;
    int started = pthread_attr_init(&attr) == 0;
    if (started) {
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        started = pthread_create(&thread, &attr, ReapInBackground, (void *)(intptr_t)pid) == 0;
        pthread_attr_destroy(&attr);
    }
    // Without a thread the child is waited for here.
    if (!started) Reap(pid, 0);
    return 1;
}

char *Latin1TextToUtf8(const char *text)
{
    size_t n = strlen(text);
    char *out = (char *)malloc(2 * n + 1);
    if (!out) return nullptr;
    char *o = out;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p < 0x80) {
            *o++ = (char)*p;
        } else {
            *o++ = (char)(0xc0 | (*p >> 6));
            *o++ = (char)(0x80 | (*p & 0x3f));
        }
    }
    *o = 0;
    return out;
}

int DecodeUtf8(const unsigned char *p, size_t left, unsigned *codepoint)
{
    unsigned c = p[0];
    int extra;
    unsigned cp;
    if (c < 0x80) {
        *codepoint = c;
        return 1;
    }
    if (c >= 0xc2 && c <= 0xdf) extra = 1, cp = c & 0x1f;
    else if (c >= 0xe0 && c <= 0xef) extra = 2, cp = c & 0x0f;
    else if (c >= 0xf0 && c <= 0xf4) extra = 3, cp = c & 0x07;
    else return 0;
    if ((size_t)extra >= left) return 0;
    for (int i = 1; i <= extra; i++) {
        if ((p[i] & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3f);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xd800 && cp <= 0xdfff))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10ffff)))
        return 0;
    *codepoint = cp;
    return extra + 1;
}

char *Utf8TextToLatin1(const char *text, size_t length)
{
    char *out = (char *)malloc(length + 1);
    if (!out) return nullptr;
    const unsigned char *p = (const unsigned char *)text, *end = p + length;
    unsigned char *o = (unsigned char *)out;
    while (p < end && *p) {
        unsigned cp;
        int n = DecodeUtf8(p, (size_t)(end - p), &cp);
        if (!n) {
            *o++ = *p++;
            continue;
        }
        *o++ = cp <= 0xff ? (unsigned char)cp : '?';
        p += n;
    }
    *o = 0;
    return out;
}

int OsOpenURL(const char *url)
{
    if (!url || !*url) return 0;
    // Without a desktop there is nothing to show the page on (and a test must not open one).
    if (!HelperProgramsAllowed()) {
        fprintf(stderr, "OpenURL: no display to open %s on\n", url);
        return 0;
    }
    char *utf8 = Latin1TextToUtf8(url);
    if (!utf8) return 0;
    char *argv[3] = {(char *)"xdg-open", utf8, nullptr};
    SpawnReaped(argv);
    free(utf8);
    return 0;
}
