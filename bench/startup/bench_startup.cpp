// Start-up to the first frame: the real player runs an applet that opens only its default
// 640 x 480 display and ends. The first frame is the first present the player logs through
// KV_PRESENT_LOG (CLOCK_MONOTONIC microseconds), measured from the moment just before the
// process is spawned, so exec and dynamic loading count. Beside it, in paired rounds, the wall
// time of `lua5.4 -e ''` from spawn to exit. Medians of RUNS rounds (default 11). Target: first
// frame <= 30 ms. Headless: SDL's dummy video and audio drivers.
//   bench_startup [PLAYER]    PLAYER: another player binary to time (default: this build's)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char **environ;

static long long NowMicros(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

// Runs argv (searched on PATH) with its output discarded; the wall time from just before the
// spawn to its exit in *micros and the spawn moment in *start. -1 when it could not run or
// failed, else 0.
static int Run(char *const argv[], long long *start, long long *micros)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    *start = NowMicros();
    int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    *micros = NowMicros() - *start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

// The first time in the present log, or -1 when there is none.
static long long FirstPresent(const char *path)
{
    FILE *f = fopen(path, "r");
    if (!f) return -1;
    long long t = -1;
    if (fscanf(f, "%lld", &t) != 1) t = -1;
    fclose(f);
    return t;
}

static double MedianMs(std::vector<long long> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    double m = n % 2 ? (double)v[n / 2] : ((double)v[n / 2 - 1] + (double)v[n / 2]) / 2;
    return m / 1000.0;
}

int main(int argc, char **argv)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const char *runsText = getenv("RUNS");
    int runs = runsText && atoi(runsText) > 0 ? atoi(runsText) : 11;

    char dir[] = "/tmp/kv_bench_startup_XXXXXX";
    if (!mkdtemp(dir)) {
        printf("startup: no temporary folder\n");
        return 1;
    }
    std::string source = std::string(dir) + "/empty.kvs", applet = std::string(dir) + "/empty.kva";
    std::string log = std::string(dir) + "/present.log";
    FILE *f = fopen(source.c_str(), "w");
    if (!f || fputs("return r0\n", f) < 0 || fclose(f) != 0) {
        printf("startup: cannot write %s\n", source.c_str());
        return 1;
    }
    long long start, micros;
    char *assemble[] = {(char *)KV_KVASM_EXE, (char *)"-o", (char *)applet.c_str(), (char *)source.c_str(), nullptr};
    if (Run(assemble, &start, &micros)) {
        printf("startup: %s failed\n", KV_KVASM_EXE);
        return 1;
    }

    const char *playerExe = argc > 1 ? argv[1] : KV_PLAYER_EXE;
    char *player[] = {(char *)playerExe, (char *)applet.c_str(), (char *)"-quiet", nullptr};
    char *lua[] = {(char *)"lua5.4", (char *)"-e", (char *)"", nullptr};
    int haveLua = 1;
    std::vector<long long> frame, exitTime, luaTime;
    for (int r = 0; r < runs; r++) {
        unlink(log.c_str());
        setenv("KV_PRESENT_LOG", log.c_str(), 1);
        int code = Run(player, &start, &micros);
        unsetenv("KV_PRESENT_LOG");
        long long shown = FirstPresent(log.c_str());
        if (code || shown < 0) {
            printf("startup: the player %s (present log %s)\n", code ? "failed" : "presented no frame", log.c_str());
            return 1;
        }
        frame.push_back(shown - start);
        exitTime.push_back(micros);
        if (haveLua && Run(lua, &start, &micros) == 0) luaTime.push_back(micros);
        else haveLua = 0;
    }
    unlink(log.c_str());
    unlink(applet.c_str());
    unlink(source.c_str());
    rmdir(dir);

    double first = MedianMs(frame);
    printf("startup of %s (headless: SDL dummy video and audio drivers; medians of %d paired runs)\n", playerExe,
           runs);
    printf("  first frame of the default 640x480 display %7.2f ms   (player exit %7.2f ms)\n", first,
           MedianMs(exitTime));
    if (haveLua) {
        double l = MedianMs(luaTime);
        printf("  lua5.4 -e ''                               %7.2f ms   first frame / lua5.4 %.1f\n", l, first / l);
    } else {
        printf("  lua5.4 -e ''                               not run (lua5.4 missing or failing)\n");
    }
    printf("  target: first frame <= 30 ms: %s\n", first <= 30.0 ? "met" : "MISSED");
    return 0;
}
