// Process-wide words of the interpreter (main thread only, not locked).
#pragma once
#include <cstdint>

struct lua_State;

// Non-zero: the interpreter returns before its next instruction at every level, and the
// outermost protected call returns 0. Set by the event pump's quit checks, End and ReportError.
extern int StopFlag;
// The code last stored by ReportError; cleared before every native call but GetLastError's.
extern int LastErrorCode;
// Script line of the current error, -1 when there is none.
extern int ErrorLine;
// Non-zero: every native call is printed (DebugOutput).
extern int CallTraceFlag;
// Index of the instruction after the CALL being executed, counted from the first instruction
// of the calling frame's code. A handler asking for a label Gosub sets
// JumpOffset = label index - CurrentPcIndex and returns -1 or -2.
extern int CurrentPcIndex;
extern int JumpOffset;

// Gosub return addresses. Each entry belongs to the frame (call record) that pushed it:
// RETURN with C = 1 pops only entries of the running frame, and a frame's entries are dropped
// when it returns or an error unwinds it.
#define GOSUB_STACK_SIZE 4096
struct GosubEntry {
    const uint32_t *pc;   // instruction to continue at
    lua_State *L;         // thread of the frame
    int level;            // index of the frame's call record
};
extern GosubEntry GosubStack[GOSUB_STACK_SIZE];
extern int GosubCount;

// The command whose handler must not clear LastErrorCode (the system library's GetLastError).
extern int (*GetLastErrorHandler)(lua_State *L);
