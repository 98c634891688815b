// Script values and the collectable objects of the virtual machine: the tagged
// value TObject, strings, userdata, tables, prototypes, upvalues and closures.
#pragma once
#include <stddef.h>
#include <stdint.h>

// lua_Number, lua_CFunction and the value kinds LUA_TNONE .. LUA_TTHREAD.
#include "runtime/vm/api.h"

union GCObject;
struct Table;

typedef unsigned char lu_byte;
typedef uint32_t lu_hash;
// Byte counts of the runtime's memory accounting (real sizes of this build).
typedef size_t lu_mem;
// One instruction word (same typedef as in runtime/vm/opcodes.h).
typedef uint32_t Instruction;

// Internal value kinds (after the script's LUA_TNIL .. LUA_TTHREAD), never seen by the script.
#define LUA_NUMTAGS 9
#define LUA_TPROTO (LUA_NUMTAGS + 0)
#define LUA_TUPVAL (LUA_NUMTAGS + 1)

// Header shared by every collectable object: next object of its collector list,
// its tag and its mark byte (bits in gc.h).
#define CommonHeader \
  GCObject *next;    \
  lu_byte tt;        \
  lu_byte marked

struct GCheader {
  CommonHeader;
};

union Value {
  GCObject *gc;
  void *p;
  lua_Number n;
  int b;
};

// One script value: a tag and its payload.
struct TObject {
  int tt;
  Value value;
};

typedef TObject *StkId;  // index into a thread's stack

// ---- tag tests ----
#define ttype(o) ((o)->tt)
#define ttisnil(o) (ttype(o) == LUA_TNIL)
#define ttisnumber(o) (ttype(o) == LUA_TNUMBER)
#define ttisstring(o) (ttype(o) == LUA_TSTRING)
#define ttistable(o) (ttype(o) == LUA_TTABLE)
#define ttisfunction(o) (ttype(o) == LUA_TFUNCTION)
#define ttisboolean(o) (ttype(o) == LUA_TBOOLEAN)
#define ttisuserdata(o) (ttype(o) == LUA_TUSERDATA)
#define ttisthread(o) (ttype(o) == LUA_TTHREAD)
#define ttislightuserdata(o) (ttype(o) == LUA_TLIGHTUSERDATA)
#define iscollectable(o) (ttype(o) >= LUA_TSTRING)

// ---- payload readers (the object types and gco2* casts are in state.h) ----
#define gcvalue(o) ((o)->value.gc)
#define pvalue(o) ((o)->value.p)
#define nvalue(o) ((o)->value.n)
#define bvalue(o) ((o)->value.b)
#define tsvalue(o) (&(o)->value.gc->ts)
#define uvalue(o) (&(o)->value.gc->u)
#define clvalue(o) (&(o)->value.gc->cl)
#define hvalue(o) (&(o)->value.gc->h)
#define thvalue(o) (&(o)->value.gc->th)

// ---- payload writers ----
#define setnilvalue(obj) ((obj)->tt = LUA_TNIL)
#define setnvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TNUMBER; i_o->value.n = (x); } while (0)
#define setbvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TBOOLEAN; i_o->value.b = (x); } while (0)
#define setpvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TLIGHTUSERDATA; i_o->value.p = (x); } while (0)
#define setsvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TSTRING; i_o->value.gc = (GCObject *)(x); } while (0)
#define setuvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TUSERDATA; i_o->value.gc = (GCObject *)(x); } while (0)
#define setthvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TTHREAD; i_o->value.gc = (GCObject *)(x); } while (0)
#define setclvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TFUNCTION; i_o->value.gc = (GCObject *)(x); } while (0)
#define sethvalue(obj, x) \
  do { TObject *i_o = (obj); i_o->tt = LUA_TTABLE; i_o->value.gc = (GCObject *)(x); } while (0)
#define setobj(obj1, obj2) \
  do { const TObject *o2 = (obj2); TObject *o1 = (obj1); o1->tt = o2->tt; o1->value = o2->value; } while (0)

// Same operations named by destination (stack, table, new slot); all plain copies.
#define setobjs2s setobj
#define setobj2s setobj
#define setsvalue2s setsvalue
#define setobjt2t setobj
#define setobj2t setobj
#define setobj2n setobj
#define setsvalue2n setsvalue

#define setttype(obj, t) ((obj)->tt = (t))

// ---- strings and userdata ----

// Interned string: header, then `len` bytes and a NUL (getstr). Strings may hold
// NUL bytes. The mark byte's bit 16 fixes a string (never collected).
struct TString {
  CommonHeader;
  lu_byte reserved;
  lu_hash hash;
  uint32_t len;
  uint32_t nodehint;  // node index where a string-keyed lookup last found this key
};
#define getstr(ts) ((char *)((ts) + 1))
#define svalue(o) getstr(tsvalue(o))
// Real allocated size of a string of l bytes (header, bytes, terminating zero).
#define sizestring(l) (sizeof(TString) + (size_t)(l) + 1)

// Full userdata: header, then `len` bytes of data (getudata).
struct Udata {
  CommonHeader;
  Table *metatable;
  uint32_t len;
};
#define getudata(u) ((void *)((u) + 1))
#define sizeudata(l) (sizeof(Udata) + (size_t)(l))

// ---- prototypes, upvalues and closures ----

struct LocVar {
  TString *varname;
  int startpc;  // first instruction where the variable is active
  int endpc;    // first instruction where it is dead
};

// A script function as loaded from bytecode. Every array is owned by the
// prototype and freed by luaF_freeproto with its size field.
struct Proto {
  CommonHeader;
  TObject *k;          // constants
  Instruction *code;
  Proto **p;           // nested prototypes
  int *lineinfo;       // source line of each instruction (or none)
  LocVar *locvars;
  TString **upvalues;  // upvalue names (or none)
  TString *source;
  int sizeupvalues;
  int sizek;
  int sizecode;
  int sizelineinfo;
  int sizep;
  int sizelocvars;
  int lineDefined;
  GCObject *gclist;
  lu_byte nups;        // number of upvalues
  lu_byte numparams;
  lu_byte is_vararg;
  lu_byte maxstacksize;
};

// An upvalue: while open, v points at the stack slot and the upvalue sits in the
// thread's open list (linked through `next`, highest slot first); once closed,
// v points at `value` and the upvalue is in the collector's root list.
struct UpVal {
  CommonHeader;
  TObject *v;
  TObject value;
};

#define ClosureHeader \
  CommonHeader;       \
  lu_byte isC;        \
  lu_byte nupvalues;  \
  GCObject *gclist

struct CClosure {
  ClosureHeader;
  lua_CFunction f;
  TObject upvalue[1];  // nupvalues entries
};

struct LClosure {
  ClosureHeader;
  Proto *p;
  TObject g;           // the table of globals
  UpVal *upvals[1];    // nupvalues entries
};

union Closure {
  CClosure c;
  LClosure l;
};

#define iscfunction(o) (ttype(o) == LUA_TFUNCTION && clvalue(o)->c.isC)
#define isLfunction(o) (ttype(o) == LUA_TFUNCTION && !clvalue(o)->c.isC)

// Real sizes of closures with n upvalues.
#define sizeCclosure(n) (offsetof(CClosure, upvalue) + sizeof(TObject) * (size_t)(n))
#define sizeLclosure(n) (offsetof(LClosure, upvals) + sizeof(UpVal *) * (size_t)(n))

// ---- tables ----

struct Node {
  TObject i_key;
  TObject i_val;
  int32_t next;      // offset of the next node of the same chain from this one (0: none)
  uint32_t keyhash;  // a string key's hash: placing keys reads no string
};

// Array part for the keys 1..sizearray, chained scatter hash of 2^lsizenode
// nodes for every other key. A table without nodes points at the global
// state's shared dummy node, which is never written.
struct Table {
  CommonHeader;
  lu_byte flags;       // bit e: event e has no tag method (cleared by luaH_set)
  lu_byte lsizenode;   // log2 of the node count
  Table *metatable;    // the default metatable when none was set
  TObject *array;
  Node *node;
  Node *firstfree;     // every node above it is in use
  GCObject *gclist;
  int sizearray;
  int lastnext;        // node index luaH_next returned last: where the next call looks first
};

#define gkey(n) (&(n)->i_key)
#define gval(n) (&(n)->i_val)
#define gnext(n) ((n)->next != 0 ? (n) + (n)->next : (Node *)NULL)
#define twoto(x) (1 << (x))
#define sizenode(t) (twoto((t)->lsizenode))

// The shared nil value returned by failed lookups (never written).
extern const TObject luaO_nilobject;
