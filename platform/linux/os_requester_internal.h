// Words shared by the requester and clipboard files of the Linux platform layer: the helper
// programs they run, the test hooks, and the text conversions of what the helpers print.
#pragma once
#include <cstddef>

// Non-zero when dialog and clipboard helpers may run: a real display, or the test mode.
int HelperProgramsAllowed(void);
// 1 when `name` is an executable file in one of the directories of PATH.
int FindOnPath(const char *name);

// How a helper run ended.
enum { HELPER_EXITED = 0, HELPER_SIGNALLED, HELPER_STOPPED, HELPER_TIMEOUT, HELPER_FAILED };

// One run of a helper program, started with posix_spawnp (no shell: every argument reaches it
// as it is) and watched while the event pump keeps running. Standard error goes nowhere.
struct HelperRun {
    char *const *argv;          // argv[0] is looked up on PATH
    const void *input;          // written to its standard input, which is then closed
    size_t inputSize;           // (none: an empty input)
    int captureOutput;          // 1: standard output collected, else discarded
    size_t maxOutput;           // more than this much output ends the run as HELPER_FAILED
    int timeoutMillis;          // 0: no limit
    // Results: the output (malloc'd, with a terminating zero byte past outputSize, or none)
    // and, for HELPER_EXITED, the exit status.
    char *output;
    size_t outputSize;
    int exitStatus;
};
// Runs the helper to its end. When the pump reports the stop flag, or the time runs out, the
// helper is killed (HELPER_STOPPED, HELPER_TIMEOUT). Every child is reaped.
int RunHelper(HelperRun *run);
// Starts a program without waiting for it (standard input, output and error go nowhere); a
// background thread reaps it. 1 when it started.
int SpawnReaped(char *const argv[]);

// The length of the valid UTF-8 sequence at p (of at most `left` bytes; surrogates and
// overlong forms are invalid) with its code point in *codepoint, or 0 when none starts there.
int DecodeUtf8(const unsigned char *p, size_t left, unsigned *codepoint);
// Strict Latin-1 -> UTF-8 (every byte above 127 is one Latin-1 character). malloc'd, or none.
char *Latin1TextToUtf8(const char *text);
// UTF-8 -> Latin-1 of `length` bytes: characters above U+00FF become '?', a byte that starts
// no valid sequence is kept as it is; the result ends at a zero byte. malloc'd, or none.
char *Utf8TextToLatin1(const char *text, size_t length);

// Test hook answers (os_requester.cpp).
enum { REQ_HOOK_NONE = 0, REQ_HOOK_ANSWER = 1, REQ_HOOK_CANCEL = 2 };
// Whether a test hook answers this requester: REQ_HOOK_NONE (show it), REQ_HOOK_CANCEL, or
// REQ_HOOK_ANSWER with *answer pointing at the next answer (valid until the next call).
int TakeHookAnswer(const char **answer);
// The requester line on standard error: title, text and, when given, the button list.
void PrintRequesterLine(const char *title, const char *text, const char *buttons);
