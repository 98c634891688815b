// The interpreter state (one per thread), the global state shared by all
// threads, call records and the record of the VM's error jump.
#pragma once
#include "runtime/vm/object.h"
#include "runtime/vm/tagmethods.h"

// Stack and call-record sizes.
#define EXTRA_STACK 5          // slots reserved above the last usable one
#define BASIC_STACK_SIZE 40    // a new stack: 40 + 5 slots, last usable slot 39
#define BASIC_CI_SIZE 8        // a new call-record array

// CallInfo state bits.
#define CI_C (1 << 0)          // native function
#define CI_HASFRAME (1 << 1)   // script frame with a live program counter
#define CI_CALLING (1 << 2)    // calling another script function
#define CI_SAVEDPC (1 << 3)    // program counter saved in savedpc
#define CI_YIELD (1 << 4)      // yielded

// One call record.
struct CallInfo {
  StkId base;                  // first register of the function
  StkId top;                   // top for this function
  int state;                   // CI_* bits
  const Instruction *savedpc;
  const Instruction **pc;      // the running loop's program counter
  int tailcalls;               // tail calls lost under this record
};

#define ci_func(ci) (clvalue((ci)->base - 1))

// The C++ form of the VM's error jump. luaD_rawrunprotected keeps one
// lua_longjmp on its own frame, chained through `previous` in L->errorJmp;
// luaD_throw stores the code in the innermost record's status and throws a
// lua_ErrorThrow carrying the same code. Nothing else throws or catches it.
struct lua_longjmp {
  lua_longjmp *previous;
  volatile int status;         // the raised error code, 0 until a raise
};

struct lua_ErrorThrow {
  int code;
};

// The string table: 2^k buckets of chains of TStrings.
struct stringtable {
  GCObject **hash;
  uint32_t nuse;               // number of strings
  int size;                    // number of buckets
};

// A growable byte buffer (concatenation and the loader's scratch space).
struct Mbuffer {
  char *buffer;
  size_t size;
};

// Where a global read found its name last, per instruction address (hashed). Only a hint:
// the node is used when the global table's node array and its size are still the same (then
// the node lies in the live array) and its key and value are checked.
#define GLOBALHINT_SIZE 256
struct GlobalHint {
  const Node *nodes;
  const Node *node;
  int lsizenode;
};

struct global_State {
  stringtable strt;
  Mbuffer buff;                // concatenation / scratch buffer
  lua_CFunction panic;         // called when a code is raised outside every protected call
  GCObject *rootgc;            // every collectable object except strings and userdata
  GCObject *rootudata;         // every userdata
  GCObject *tmudata;           // userdata waiting for their finaliser
  GCObject *weak;              // weak tables found during the current collection
  lu_mem GCthreshold;
  lu_mem nblocks;              // bytes in use by the runtime
  int gcfinalising;            // finalisers are running (no nested finaliser pass)
  TObject registry;
  TObject defaultmeta;         // the default metatable (its own metatable)
  lua_State *mainthread;
  Node dummynode[1];           // shared node of tables without a hash part
  TString *tmname[TM_N];       // the event names, interned and fixed
  GlobalHint globalhint[GLOBALHINT_SIZE];
};

// One thread of the interpreter.
struct lua_State {
  CommonHeader;
  StkId top;                   // first free slot
  StkId base;                  // first register of the running function
  global_State *l_G;
  CallInfo *ci;                // running call record
  StkId stack_last;            // last usable slot
  StkId stack;
  int stacksize;
  CallInfo *end_ci;            // one past the call-record array
  CallInfo *base_ci;           // the call-record array
  unsigned short size_ci;
  unsigned short nCcalls;      // nested luaD_call depth
  lu_byte hookmask;            // LUA_MASKCALL 1, RET 2, LINE 4, COUNT 8
  lu_byte allowhook;           // 0 while a hook runs
  lu_byte hookinit;            // 0 until saved positions were refreshed for hooks
  int basehookcount;
  int hookcount;
  lua_Hook hook;
  TObject _gt;                 // table of globals
  GCObject *openupval;         // open upvalues of this stack, highest slot first
  GCObject *gclist;
  lua_longjmp *errorJmp;       // innermost error jump record
  ptrdiff_t errfunc;           // stack offset of the error function (kept, never called)
};

#define G(L) ((L)->l_G)
#define gt(L) (&(L)->_gt)
#define registry(L) (&G(L)->registry)
#define defaultmeta(L) (&G(L)->defaultmeta)

// Any collectable object.
union GCObject {
  GCheader gch;
  TString ts;
  Udata u;
  Closure cl;
  Table h;
  Proto p;
  UpVal uv;
  lua_State th;
};

// Conversions between GCObject and the object kinds.
#define gcotots(o) (&(o)->ts)
#define gcotou(o) (&(o)->u)
#define gcotocl(o) (&(o)->cl)
#define gcotoh(o) (&(o)->h)
#define gcotop(o) (&(o)->p)
#define gcotouv(o) (&(o)->uv)
#define ngcotouv(o) ((UpVal *)(o))  // also for a null pointer
#define gcototh(o) (&(o)->th)
#define valtogco(v) ((GCObject *)(v))

// Thread life (state.cpp).
lua_State *luaE_newthread(lua_State *L);
void luaE_freethread(lua_State *L, lua_State *L1);

// Creates the interpreter state; none when memory runs out during creation.
lua_State *lua_open(void);
// Runs the pending finalisers and frees everything.
void lua_close(lua_State *L);

// Size counted for the state and the global state at creation.
#define LUA_STATE_SIZE (sizeof(lua_State) + sizeof(global_State))
