// Command-level fuzz target: the input is a short script, one command call a line, run on a
// headless display with every command library open, as a careless or hostile applet would.
//
// Script lines (blank lines and lines starting with ';' are skipped; at most 64 calls):
//   NAME ARG ARG ...        or   NAME(ARG, ARG, ...)
// NAME is any registered command (any case). Arguments, separated by blanks, commas or brackets:
//   12  -1  0.5  1e300  -inf  nan  0x10  $FF00FF   numbers, read at run time (strtod)
//   "text"                    a string (no escapes; paths that could leave the work folder are
//                             replaced, see SafeString)
//   *N                        a string of N letters (at most 16384)
//   #NAME                     a constant of the constant registry (else the text "#NAME")
//   nil  true  false          those values
//   @                         the last light userdata a call returned (an object handle), or nil
//   @1 ... @8                 the handles calls returned, in order: the first, the second ...
//                             (the ninth takes slot 1 again), or nil; so an asynchronous object
//                             or a timer made several lines earlier can still be stepped, ended
//                             or cleared
//   fn  fn1  fnerr            native functions (handlers, callbacks, compare functions): one
//                             that does nothing, one that always gives 1, one that raises 1055
//   fn[LINE]                  a function that runs the script line LINE (no ']' in it) each
//                             time it is called, two calls deep at most
//   {key=ARG ARG ...}         a table: named fields, and bare values at 0, 1, 2, ...
//   other words               the word as a string
// The first line "layers" turns layers on after the fixed objects are made.
//
// Lines starting with '!' are input to the player's windows, written as lines of the platform's
// test input (platform/linux/os_testinput.cpp), pushed through SDL's queue of the dummy video
// driver and taken in at once:
//   !press X Y [right|middle]  !release X Y [right|middle]  !click X Y [right|middle]
//   !move X Y   !wheel up|down   !key NAME [down|up]  (a key name as ESC, F1, RETURN, LSHIFT
//   or one character; without a state: down and up)   !drop NAME ...  (files dropped)
//   !window close|moved|sized|focus|blur|hide|show
//   !display N      later input goes to the Nth window (allocation order, from 1)
//   !clock MS       moves the harness's clock on by MS milliseconds (at most 600000), so that
//                   intervals and timeouts fall due
// Each counts as a call. Handlers, intervals and timeouts run where the player runs them: in
// CheckEvent (and the other commands that dispatch events). As the player's line hook does,
// the event pump also runs once before every line of the script.
//
// Every input ends through the player's shutdown (PlayerCleanup), as an applet's end does, with
// the code of the script's last line as the final error (reported on the debug device): what
// is still open then (displays, layers, asynchronous objects, timers, selections, pending
// pictures) is closed in the player's own order, and leaks are caught by LeakSanitizer.
//
// Before the script, fixed objects are made: brushes 1 (plain) and 2 (loaded, with a mask),
// BGPic 2, text object 1, anim 1, sample 1, music 1, sprite 1, memory block 1 and clip region 1
// on display 1 (160 x 120). Files are read and written in a work folder made for the run (also
// TMPDIR), emptied and refilled with the fixture files before every input.
//
// Each call runs protected: an argument error, or an error code the command returns, ends only
// that call. The argument count is held
// within the bounds the command's CheckArgs gives (missing arguments are 1). Commands that wait
// for input or time, open requesters, start programs or use the system clipboard are left out.
// Time is a clock of the harness's own that advances 4 ms at every reading on this thread and
// starts at the same time for every input, as the random numbers do, so every run is the same;
// a call that reads it for more than 1 s of that time is stopped like a quit request ends it
// (effects, moves, anims, waits of the event pump). Waits that sleep on the real clock are
// stopped the same way after 0.25 s of real time.
//
// FUZZ_COMMANDS_SKIP="Cmd1,Cmd2" leaves more commands out (triage); FUZZ_COMMANDS_TRACE=1 prints
// every call and its result code on standard error, and keeps the player's standard output.
#include <SDL.h>
#include <dirent.h>
#include <fontconfig/fontconfig.h>
#include <ftw.h>
#include <sanitizer/lsan_interface.h>
#include <pthread.h>
#include <sndfile.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fx/fx_random.h"
#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"
#include "runtime/player.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"
#include "tests/sound/mod_fixture.h"

namespace {

// Calls of one input: lines of the script, and all calls with those of callbacks.
enum { CALLS_MAX = 64, ALL_CALLS_MAX = 256, ARGS_MAX = 16, DEPTH_MAX = 4, STRING_MAX = 16384, INPUT_MAX = 16384 };

// Waits for input or time, requesters, programs, URLs and the system clipboard.
const char *const LeftOut[] = {
    "WaitLeftMouse", "WaitRightMouse", "WaitMidMouse", "WaitKeyDown", "WaitEvent", "WhileMouseDown",
    "WhileRightMouseDown", "WhileKeyDown", "WhileMouseOn", "WaitTimer", "Wait", "VWait", "SetFPSLimit",
    "WaitSampleEnd", "WaitPatternPosition", "WaitSongPosition", "InKeyStr", "SystemRequest",
    "FileRequest", "PathRequest", "StringRequest", "SetClipboard", "GetClipboard", "PeekClipboard",
    "ClearClipboard", "OpenURL", "Execute", "Run", nullptr,
};

// The objects every input starts with.
const char SetupScript[] =
    "CreateBrush 1 32 24 $FF0000\n"
    "LoadBrush 2 \"pic.bmp\"\n"
    "SetBrushTransparency 2 $00FF00\n"
    "CreateBGPic 2 64 48 $0000FF\n"
    "CreateTextObject 1 \"Fuzz [b]text[/b]\"\n"
    "CreateAnim 1 1 16 12 3 2\n"
    "LoadSample 1 \"snd.wav\"\n"
    "OpenMusic 1 \"tune.flac\"\n"
    "CreateSprite 1 #BRUSH 1\n"
    "AllocMem 1 256\n"
    "CreateClipRegion 1 #BOX 10 10 100 80\n";

// The fixture files, made once by the player itself (pictures) and by libsndfile (sounds).
const char FixtureScript[] =
    "CreateBrush 1 24 16 $FF8000\n"
    "Box 0 0 12 8 $00FF00\n"
    "SaveBrush 1 \"pic.bmp\"\n"
    "SaveBrush 1 \"pic.png\" 0 #IMGFMT_PNG\n"
    "CreateAnim 1 1 8 8 3 3\n"
    "SaveAnim 1 \"anim.gif\"\n";

struct Command {
    const char *name;
    lua_CFunction func;
    int min, max;      // CheckArgs bounds (max 0: none); min -1 when the probe never reached it
};

std::vector<Command> Commands;
std::string StartDir, WorkDir, FixtureDir;
bool Trace = false;

// ---------------------------------------------------------------------------------------------
// The clock

pthread_t MainThread;
std::atomic<uint64_t> FakeMicros{1000000000ull};
uint64_t CallDeadline = ~0ull;
timespec CallStart;

double MillisSince(const timespec &t)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - t.tv_sec) * 1e3 + (now.tv_nsec - t.tv_nsec) / 1e6;
}

// Readings on the fuzzing thread move the clock on; other threads (the mixer) only read it.
void FakeClock(OsTimeVal *out)
{
    uint64_t now = FakeMicros.load();
    if (pthread_equal(pthread_self(), MainThread)) {
        now = FakeMicros += 4000;
        if (now > CallDeadline || (CallDeadline != ~0ull && MillisSince(CallStart) > 250)) StopFlag = 1;
    }
    out->seconds = (uint32_t)(now / 1000000);
    out->micros = (uint32_t)(now % 1000000);
}

// ---------------------------------------------------------------------------------------------
// Files

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

void RemoveTree(const std::string &dir)
{
    nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void CopyFile(const std::string &from, const std::string &to)
{
    FILE *in = fopen(from.c_str(), "rb");
    if (!in) return;
    FILE *out = fopen(to.c_str(), "wb");
    char buf[8192];
    size_t n;
    while (out && (n = fread(buf, 1, sizeof buf, in)) > 0) fwrite(buf, 1, n, out);
    if (out) fclose(out);
    fclose(in);
}

const char *const FixtureFiles[] = {"pic.bmp",  "pic.png",   "anim.gif", "snd.wav",
                                    "tune.wav", "tune.flac", "tune.mod", nullptr};

// The work folder as the last reset left it: its entries and their sizes and times.
std::string WorkDirState;

std::string ReadWorkDirState()
{
    std::string state;
    DIR *dir = opendir(WorkDir.c_str());
    if (!dir) return state;
    std::vector<std::string> names;
    while (dirent *e = readdir(dir)) names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        struct stat st;
        if (lstat((WorkDir + "/" + name).c_str(), &st) != 0) continue;
        char line[256];
        snprintf(line, sizeof line, "/%llu %o %lld.%ld", (unsigned long long)st.st_size, (unsigned)st.st_mode,
                 (long long)st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        state += name + line;
    }
    return state;
}

// The work folder holds the fixture files and nothing else; it is made again only when the last
// input changed it.
void ResetWorkDir()
{
    if (WorkDirState.empty() || ReadWorkDirState() != WorkDirState) {
        if (chdir(StartDir.c_str()) != 0) abort();
        RemoveTree(WorkDir);
        if (mkdir(WorkDir.c_str(), 0700) != 0 || chdir(WorkDir.c_str()) != 0) abort();
        for (int i = 0; FixtureFiles[i]; i++) CopyFile(FixtureDir + "/" + FixtureFiles[i], FixtureFiles[i]);
        WorkDirState = ReadWorkDirState();
    }
    if (chdir(WorkDir.c_str()) != 0) abort();
}

void WriteSound(const char *path, int format, int frames, int rate)
{
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    SNDFILE *f = sf_open(path, SFM_WRITE, &info);
    if (!f) return;
    std::vector<short> wave((size_t)frames);
    for (int i = 0; i < frames; i++) wave[(size_t)i] = (short)(8000 * sin(i * 0.05));
    sf_write_short(f, wave.data(), frames);
    sf_close(f);
}

void WriteModule(const char *path)
{
    ModBuilder m;
    m.samples[1].data = SquareWave(32, 16);
    for (int row = 0; row < 64; row += 4) m.Cell(0, row, row / 4 % 4, 1, 428, 0, 0);
    std::vector<uint8_t> bytes = m.Build();
    FILE *f = fopen(path, "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// ---------------------------------------------------------------------------------------------
// Arguments

// The last light userdata a call returned, the slots of @1 ... @8 and how many handles were
// kept, the calls left to the input, and the depth of calls made by callbacks.
enum { HANDLE_SLOTS = 8 };
void *LastHandle, *Handles[HANDLE_SLOTS];
int HandlesKept, CallsLeft, CallbackDepth;
// The code of the last line of the script (not of a callback's): the applet's final error.
int FinalCode;

void KeepHandle(void *handle)
{
    LastHandle = handle;
    Handles[HandlesKept++ % HANDLE_SLOTS] = handle;
}

struct Reader {
    const char *p, *end;
    bool AtEnd() const { return p >= end; }
    void SkipSeparators()
    {
        while (p < end && (*p == ' ' || *p == '\t' || *p == ',' || *p == '(' || *p == ')' || *p == '\r')) p++;
    }
    // A word: up to a separator, a bracket, '=' or the end of the line.
    std::string Word()
    {
        const char *s = p;
        while (p < end && !strchr(" \t,()\r{}=\"", *p)) p++;
        return std::string(s, (size_t)(p - s));
    }
};

// A path that could reach outside the work folder (absolute, a parent, a volume or home
// prefix) is replaced by a plain name, so that no call touches other files.
void PushSafeString(lua_State *L, const std::string &s)
{
    bool unsafe = !s.empty() && (s[0] == '/' || s[0] == '~' || s.find("..") != std::string::npos ||
                                 s.find(':') != std::string::npos);
    if (unsafe) lua_pushstring(L, "unsafe.txt");
    else lua_pushlstring(L, s.data(), s.size());
}

int DoNothing(lua_State *)
{
    return 0;
}

int GiveOne(lua_State *L)
{
    lua_pushnumber(L, 1);
    return 1;
}

int RaiseError(lua_State *L)
{
    lua_error(L, 1055);
}

int RunLine(lua_State *L, Reader *r);

// Calls the command below its arguments as the interpreter does, so that an error code it
// returns is raised like one it raises (and shows in the trace).
int CallCommand(lua_State *L)
{
    int code = lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    if (code) lua_error(L, code);
    return lua_gettop(L);
}

// fn[LINE]: runs the line kept as its upvalue.
int RunCallbackLine(lua_State *L)
{
    if (CallbackDepth >= 2) return 0;
    const char *text = lua_tostring(L, lua_upvalueindex(1));
    std::string line(text ? text : "", text ? lua_strlen(L, lua_upvalueindex(1)) : 0);
    Reader r = {line.data(), line.data() + line.size()};
    CallbackDepth++;
    RunLine(L, &r);
    CallbackDepth--;
    return 0;
}

void PushValue(lua_State *L, Reader *r, int depth);

// The table of {key=value value ...}; the '{' is read.
void PushTable(lua_State *L, Reader *r, int depth)
{
    lua_newtable(L);
    int index = 0;
    for (int entries = 0; entries < 64; entries++) {
        r->SkipSeparators();
        if (r->AtEnd()) return;
        if (*r->p == '}') {
            r->p++;
            return;
        }
        const char *save = r->p;
        std::string key = r->Word();
        if (!key.empty() && r->p < r->end && *r->p == '=') {
            r->p++;
            char *stop = nullptr;
            double n = strtod(key.c_str(), &stop);
            if (stop && *stop == 0) lua_pushnumber(L, n);
            else lua_pushlstring(L, key.data(), key.size());
            r->SkipSeparators();
            PushValue(L, r, depth + 1);
            lua_settable(L, -3);
            continue;
        }
        r->p = save;
        if (r->p < r->end && *r->p == '=') r->p++;   // a stray '='
        lua_pushnumber(L, index++);
        PushValue(L, r, depth + 1);
        lua_settable(L, -3);
    }
}

void PushValue(lua_State *L, Reader *r, int depth)
{
    if (r->AtEnd()) {
        lua_pushnil(L);
        return;
    }
    char c = *r->p;
    if (r->end - r->p >= 3 && memcmp(r->p, "fn[", 3) == 0) {
        const char *s = r->p + 3;
        const char *close = (const char *)memchr(s, ']', (size_t)(r->end - s));
        if (!close) close = r->end;
        lua_pushlstring(L, s, (size_t)(close - s));
        lua_pushcclosure(L, RunCallbackLine, 1);
        r->p = close < r->end ? close + 1 : close;
        return;
    }
    if (c == '"') {
        const char *s = ++r->p;
        while (r->p < r->end && *r->p != '"') r->p++;
        PushSafeString(L, std::string(s, (size_t)(r->p - s)));
        if (r->p < r->end) r->p++;
        return;
    }
    if (c == '{') {
        r->p++;
        if (depth >= DEPTH_MAX) {
            // Too deep: the nested table is read and thrown away.
            PushTable(L, r, depth);
            lua_pop(L, 1);
            lua_pushnil(L);
        } else {
            PushTable(L, r, depth);
        }
        return;
    }
    if (c == '}' || c == '=') {
        r->p++;
        lua_pushnil(L);
        return;
    }
    std::string w = r->Word();
    if (w.empty()) {
        r->p++;
        lua_pushnil(L);
        return;
    }
    if (w[0] == '*') {
        long n = strtol(w.c_str() + 1, nullptr, 10);
        if (n < 0) n = 0;
        if (n > STRING_MAX) n = STRING_MAX;
        std::string s((size_t)n, 'A');
        for (long i = 0; i < n; i++) s[(size_t)i] = (char)('A' + i % 26);
        lua_pushlstring(L, s.data(), s.size());
        return;
    }
    if (w[0] == '#') {
        int used = 0, kind = 0;
        double value = 0;
        const char *str = nullptr;
        if (ParseConstantName(L, w.c_str(), &used, &kind, &value, &str) == 0 && used == (int)w.size()) {
            if (kind == CONSTANT_NUMBER) lua_pushnumber(L, value);
            else PushSafeString(L, str ? str : "");
        } else {
            PushSafeString(L, w);
        }
        return;
    }
    if (w[0] == '$') {
        char *stop = nullptr;
        unsigned long long v = strtoull(w.c_str() + 1, &stop, 16);
        if (stop && *stop == 0 && w.size() > 1) {
            lua_pushnumber(L, (double)v);
            return;
        }
    }
    if (strcasecmp(w.c_str(), "nil") == 0) lua_pushnil(L);
    else if (strcasecmp(w.c_str(), "true") == 0) lua_pushboolean(L, 1);
    else if (strcasecmp(w.c_str(), "false") == 0) lua_pushboolean(L, 0);
    else if (w[0] == '@' && (w.size() == 1 || (w.size() == 2 && w[1] >= '1' && w[1] <= '0' + HANDLE_SLOTS))) {
        void *handle = w.size() == 1 ? LastHandle : Handles[w[1] - '1'];
        if (handle) lua_pushlightuserdata(L, handle);
        else lua_pushnil(L);
    } else if (w == "fn") {
        lua_pushcfunction(L, DoNothing);
    } else if (w == "fn1") {
        lua_pushcfunction(L, GiveOne);
    } else if (w == "fnerr") {
        lua_pushcfunction(L, RaiseError);
    } else {
        char *stop = nullptr;
        double n = strtod(w.c_str(), &stop);
        if (stop && *stop == 0) lua_pushnumber(L, n);
        else PushSafeString(L, w);
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

bool IsLeftOut(const char *name)
{
    for (int i = 0; LeftOut[i]; i++)
        if (strcasecmp(LeftOut[i], name) == 0) return true;
    const char *skip = getenv("FUZZ_COMMANDS_SKIP");
    if (skip) {
        size_t n = strlen(name);
        for (const char *p = skip; (p = strcasestr(p, name)); p += n)
            if ((p == skip || p[-1] == ',') && (p[n] == 0 || p[n] == ',')) return true;
    }
    return false;
}

// Every registered command that may run, with the argument bounds its CheckArgs gives: each is
// called once with no arguments while the probe is on, which stops it at CheckArgs.
void LearnCommands(lua_State *L)
{
    for (CommandTableNode *t = GetCommandTables(); t; t = t->next)
        for (const luaL_reg *r = t->commands; r && r->name; r++) {
            if (IsLeftOut(r->name)) continue;
            CheckArgsProbe = {1, 0, 0, 0};
            lua_pushcfunction(L, r->func);
            lua_pcall(L, 0, LUA_MULTRET, 0);
            lua_settop(L, 0);
            StopFlag = 0;
            Command c = {r->name, r->func, -1, 0};
            if (CheckArgsProbe.reached) {
                c.min = CheckArgsProbe.min;
                c.max = CheckArgsProbe.max;
            }
            Commands.push_back(c);
        }
    CheckArgsProbe = {};
}

const Command *FindCommand(const std::string &name)
{
    for (const Command &c : Commands)
        if (strcasecmp(c.name, name.c_str()) == 0) return &c;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Input to the windows

int InputWindow = 1;   // !display N
std::string InputFile; // the group of test input a '!' line gives

OsWindowRecord *TargetWindow()
{
    int n = 1;
    for (OsWindowRecord *w = OsFirstWindowRecord(); w; w = w->next, n++)
        if (n == InputWindow) return w->window ? w : nullptr;
    return nullptr;
}

int Clamp(long v, long lo, long hi)
{
    return (int)(v < lo ? lo : v > hi ? hi : v);
}

const char *const InputSteps[] = {"press", "release", "click", "move", "wheel", "key", "window", "drop", nullptr};

// A '!' line (the '!' is read). Input is a group of the platform's test input, for the window
// of !display N, which the test input pushes through SDL's queue and translates at once; the
// pump then runs once, as the line hook would next (quit requests, resizes, mode switches).
void RunInputStep(lua_State *L, Reader *r)
{
    std::string step = r->Word();
    r->SkipSeparators();
    std::string rest(r->p, (size_t)(r->end - r->p));
    rest.erase(std::remove(rest.begin(), rest.end(), '\r'), rest.end());
    int known = 0;
    for (int i = 0; InputSteps[i]; i++) known |= step == InputSteps[i];
    OsWindowRecord *w = known ? TargetWindow() : nullptr;
    if (Trace) fprintf(stderr, "%*s!%s %s%s\n", 2 * CallbackDepth, "", step.c_str(), rest.c_str(), known && !w ? " (no window)" : "");
    if (step == "clock") {
        FakeMicros += (uint64_t)Clamp(atol(rest.c_str()), 0, 600000) * 1000;
        return;
    }
    if (step == "display") {
        InputWindow = Clamp(atol(rest.c_str()), 1, 64);
        return;
    }
    if (!w || rest.empty()) return;
    std::string group = "display " + std::to_string(InputWindow) + "\n";
    if (step == "click") group += "press " + rest + "\nrelease " + rest + "\n";
    else if (step == "key" && rest.find(' ') == std::string::npos) group += "key " + rest + " down\nkey " + rest + " up\n";
    else group += step + " " + rest + "\n";
    FILE *f = fopen(InputFile.c_str(), "wb");
    if (!f) return;
    fwrite(group.data(), 1, group.size(), f);
    fclose(f);
    // The test input brings a clock of its own, the harness's is put back at once.
    setenv("KV_TEST_INPUT", InputFile.c_str(), 1);
    if (OsStartTestInput()) {
        OsSetClock(FakeClock);
        OsFeedTestInput();
        OsStopTestInput();
    }
    unsetenv("KV_TEST_INPUT");
    OsSetClock(FakeClock);
    OsPumpEvents(L, nullptr);
}

// Runs one line; returns 0 when it named no command or no call is left. A callback's call runs
// within the time of the call that runs the callback.
int RunLine(lua_State *L, Reader *r)
{
    r->SkipSeparators();
    if (r->p < r->end && *r->p == '!') {
        if (CallsLeft <= 0) return 0;
        CallsLeft--;
        r->p++;
        RunInputStep(L, r);
        if (!CallbackDepth) StopFlag = FinalCode = 0;
        return 1;
    }
    std::string name = r->Word();
    const Command *c = FindCommand(name);
    if (!c || CallsLeft <= 0) return 0;
    CallsLeft--;
    const bool nested = CallbackDepth > 0;
    lua_settop(L, 0);
    lua_pushcfunction(L, CallCommand);
    lua_pushcfunction(L, c->func);
    int n = 0;
    for (r->SkipSeparators(); !r->AtEnd() && n < ARGS_MAX; r->SkipSeparators(), n++) PushValue(L, r, 0);
    if (c->min >= 0) {
        int most = c->min == 0 && c->max == 0 ? 0 : c->max > 0 ? c->max : ARGS_MAX;
        if (n > most) {
            lua_settop(L, 2 + most);
            n = most;
        }
        for (; n < c->min; n++) lua_pushnumber(L, 1);
    }
    if (!nested) {
        CallDeadline = FakeMicros.load() + 1000000;
        clock_gettime(CLOCK_MONOTONIC, &CallStart);
    }
    int code = lua_pcall(L, n + 1, LUA_MULTRET, 0);
    const double millis = MillisSince(CallStart);
    for (int i = 1; i <= lua_gettop(L); i++)
        if (lua_type(L, i) == LUA_TLIGHTUSERDATA) KeepHandle(lua_touserdata(L, i));
    if (Trace) fprintf(stderr, "%*s%s/%d -> %d (%.1f ms)\n", 2 * CallbackDepth, "", c->name, n, code, millis);
    lua_settop(L, 0);
    if (!nested) {
        CallDeadline = ~0ull;
        StopFlag = 0;
        FinalCode = code;
    }
    return 1;
}

// Runs a script of lines; at most CALLS_MAX calls.
void RunScript(lua_State *L, const char *text, size_t size)
{
    Reader r = {text, text};
    const char *end = text + size;
    int calls = 0;
    while (r.p < end && calls < CALLS_MAX) {
        const char *eol = (const char *)memchr(r.p, '\n', (size_t)(end - r.p));
        if (!eol) eol = end;
        r.end = eol;
        if (r.p < eol && *r.p != ';') {
            OsPumpEvents(L, nullptr);
            StopFlag = 0;
            calls += RunLine(L, &r);
        }
        r.p = eol + 1;
    }
}

// ---------------------------------------------------------------------------------------------
// The player around the script

struct Session {
    lua_State *L;
    ClArgsRecord *clargs;
    AppletRecord *applet;
};

// The player's start-up up to the first display (160 x 120), without an applet file.
bool StartSession(Session *s)
{
    StopFlag = 0;
    LastErrorCode = 0;
    SetMemAllocLiveBytes(0);
    RuntimeSettings.exitOnError = 1;
    RuntimeSettings.callbackNesting = 0;
    RuntimeSettings.quiet = 1;
    s->clargs = (ClArgsRecord *)MemAlloc(sizeof(ClArgsRecord), 1);
    s->applet = (AppletRecord *)MemAlloc(sizeof(AppletRecord), 1);
    s->L = lua_open();
    if (!s->clargs || !s->applet || !s->L) abort();
    s->clargs->quiet = 1;
    s->clargs->masterVolume = 30;
    s->clargs->debugDevice = 1;   // the final report goes to standard output, not to a requester
    snprintf(s->clargs->scriptPath, sizeof s->clargs->scriptPath, "fuzz.kva");
    SetAppletDisplayDefaults(s->applet);
    if (AddDefaultDisplayDecl(s->applet, "")) abort();
    DisplayDecl *decl = (DisplayDecl *)s->applet->objects->block;
    decl->width = 160;
    decl->height = 120;
    lua_State *L = s->L;
    SetRuntimeTags(L, RTAG_QUIET, 1, 0);
    if (InitRuntime()) abort();
    SetUpRegistry(L, s->clargs, s->applet);
    if (OpenAllLibraries(L)) abort();
    // Every input starts from the same clock and the same random numbers (effects, colours,
    // Rnd), so that it runs again the same way.
    FakeMicros = 1000000000ull;
    FxSeedRandom(0);
    srand48(0);
    srand(0);
    if (AddSetTagHandler(GraphicsSetTagHandler) || AddSetTagHandler(SoundSetTagHandler) ||
        AddGetTagHandler(GraphicsGetTagHandler) || AddGetTagHandler(SoundGetTagHandler))
        abort();
    SetRuntimeTags(L, RTAG_NOSOUND, 0, RTAG_MASTERVOLUME, 30, 0);
    if (CreatePreprocObjects(L, s->clargs, s->applet) || OpenInitialDisplay(L, "")) {
        fprintf(stderr, "fuzz_commands: the first display did not open\n");
        abort();
    }
    SetRuntimeTags(L, RTAG_LINEINFO, 1, 0);
    lua_settop(L, 0);
    return true;
}

// The player's shutdown, as at the end of an applet; nothing pumps the windows' last events,
// but the video system is quit with them.
void EndSession(Session *s, int code)
{
    PlayerCleanup(code, s->L, s->clargs, s->applet);
    StopFlag = 0;
}

void MakeFixtures()
{
    if (chdir(FixtureDir.c_str()) != 0) abort();
    WriteSound("snd.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1600, 8000);
    WriteSound("tune.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4000, 8000);
    WriteSound("tune.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 4000, 8000);
    WriteModule("tune.mod");
    Session s;
    StartSession(&s);
    LearnCommands(s.L);
    CallsLeft = ALL_CALLS_MAX;
    RunScript(s.L, FixtureScript, sizeof FixtureScript - 1);
    EndSession(&s, 0);
    for (int i = 0; FixtureFiles[i]; i++)
        if (access(FixtureFiles[i], R_OK) != 0) {
            fprintf(stderr, "fuzz_commands: fixture %s was not made\n", FixtureFiles[i]);
            abort();
        }
    if (chdir(StartDir.c_str()) != 0) abort();
}

void Cleanup()
{
    if (chdir(StartDir.c_str()) != 0) return;
    size_t cut = WorkDir.rfind('/');
    if (cut != std::string::npos) RemoveTree(WorkDir.substr(0, cut));
}

void Init()
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Trace = getenv("FUZZ_COMMANDS_TRACE") != nullptr;
    char top[] = "/tmp/fuzz_commands.XXXXXX";
    if (!mkdtemp(top)) abort();
    FixtureDir = std::string(top) + "/fixtures";
    InputFile = std::string(top) + "/input.events";
    WorkDir = std::string(top) + "/work";
    // The work folder is there from the start: the fuzzer's fork and merge modes keep their
    // files in TMPDIR of a process that runs no input.
    if (mkdir(FixtureDir.c_str(), 0700) != 0 || mkdir(WorkDir.c_str(), 0700) != 0) abort();
    setenv("TMPDIR", WorkDir.c_str(), 1);
    atexit(Cleanup);
    // The player prints debug output and dumps on standard output; the fuzzer reports on
    // standard error.
    if (!Trace && !freopen("/dev/null", "w", stdout)) abort();
    MainThread = pthread_self();
    // Fontconfig's first configuration load loses a few blocks inside its parser, once a process.
    __lsan_disable();
    FcInit();
    __lsan_enable();
    // The player's start (OsInit) would also take SIGINT and SIGTERM, which end the fuzzer.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    OsSetClock(FakeClock);
    // Frames are paced on the real clock: with a limit this high no frame waits for the next.
    OsSetTag(16, 1000000);
    RuntimeSettings.quiet = 1;
    MakeFixtures();
}

// The path of a relative argument from the starting folder.
std::string Absolute(const std::string &path)
{
    return path.empty() || path[0] == '/' ? path : StartDir + "/" + path;
}

}  // namespace

// Inputs run in a work folder of their own, so the paths the fuzzer reads and writes during the
// run (corpus folders, artifacts) are made absolute first; without an artifact prefix the
// artifacts go to the starting folder, as they would without the work folder.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static std::vector<std::string> args;
    static std::vector<char *> pointers;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) abort();
    StartDir = cwd;
    const char *const pathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-merge_control_file=",
                                     "-features_dir=", nullptr};
    bool prefix = false;
    for (int i = 0; i < *argc; i++) {
        std::string a = (*argv)[i];
        if (i > 0 && a[0] != '-') a = Absolute(a);
        for (int k = 0; pathFlags[k]; k++) {
            size_t n = strlen(pathFlags[k]);
            if (a.compare(0, n, pathFlags[k]) == 0) {
                a = pathFlags[k] + Absolute(a.substr(n));
                if (k == 0) prefix = true;
            }
        }
        args.push_back(a);
    }
    if (!prefix) args.push_back("-artifact_prefix=" + StartDir + "/");
    for (std::string &a : args) pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    *argc = (int)args.size();
    *argv = pointers.data();
    Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > INPUT_MAX) return 0;
    ResetWorkDir();
    Session s;
    StartSession(&s);
    LastHandle = nullptr;
    memset(Handles, 0, sizeof Handles);
    HandlesKept = 0;
    InputWindow = 1;
    CallsLeft = ALL_CALLS_MAX;
    RunScript(s.L, SetupScript, sizeof SetupScript - 1);
    const char *text = (const char *)data;
    if (size >= 6 && memcmp(text, "layers", 6) == 0 && (size == 6 || text[6] == '\n' || text[6] == '\r'))
        RunScript(s.L, "EnableLayers\n", 13);
    FinalCode = 0;
    RunScript(s.L, text, size);
    EndSession(&s, FinalCode);
    // Back to the fuzzer's folder, where its relative corpus paths lead.
    if (chdir(StartDir.c_str()) != 0) abort();
    return 0;
}
