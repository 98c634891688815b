// Bytecode: the buffered input stream, the reader (luaU_undump), the writer (luaU_dump) and
// the code checker every loaded prototype passes (luaG_checkcode).
//
// Chunk layout: a 21-byte header (ESC "KVB", endianness byte, eight size bytes, a test
// number), then the main function record. Every multi-byte field is in the byte order the
// header names; the writer always writes little-endian (byte 4 = 1).
#pragma once
#include <cstddef>

#include "runtime/vm/api.h"
#include "runtime/vm/object.h"
#include "runtime/vm/opcodes.h"
#include "runtime/vm/state.h"

#define LUA_SIGNATURE "\033KVB"
#define LUAC_HEADERSIZE 21
#define TEST_NUMBER ((lua_Number)31415926.535897933)

// Prototypes nested deeper than this are refused.
#define LUAU_MAXNESTING 200

// Load error codes.
#define BCERR_EOF 1198        // "Unexpected end of file!"
#define BCERR_SIZES 1199      // "Virtual machine data type mismatch!"
#define BCERR_INT 1200        // "Bad integer in bytecode!"
#define BCERR_UPVALUES 1201   // "Bad upvalues in bytecode!"
#define BCERR_CONSTANT 1202   // "Bad constant type in bytecode!"
#define BCERR_CODE 1203       // "Bad bytecode!"
#define BCERR_SIGNATURE 1204  // "Bad bytecode signature!"
#define BCERR_NUMBER 1205     // "Unknown number format in bytecode!"
#define BCERR_NOTUSER 1324    // "Specified function is not a user function!"

// ---- buffered input stream ----

#define EOZ (-1)

struct ZIO {
  size_t n;              // bytes left in the current block
  const char *p;         // next byte
  lua_Chunkreader reader;
  void *data;            // reader data
  const char *name;      // chunk name
};

void luaZ_init(ZIO *z, lua_Chunkreader reader, void *data, const char *name);
// Pulls the next block; returns its first byte (consumed) or EOZ.
int luaZ_fill(ZIO *z);
// The next byte without consuming it, or EOZ.
int luaZ_lookahead(ZIO *z);
// Copies n bytes across blocks; returns the count it could not read (0 = all read).
size_t luaZ_read(ZIO *z, void *b, size_t n);
// A scratch buffer of at least n bytes (grows buff; raises 1000 when memory runs out).
char *luaZ_openspace(lua_State *L, Mbuffer *buff, size_t n);
void luaZ_freebuffer(lua_State *L, Mbuffer *buff);

#define zgetc(z) (((z)->n--) > 0 ? (int)((unsigned char)(*(z)->p++)) : luaZ_fill(z))

// ---- reader and writer ----

// Reads a whole chunk from the stream (buff is scratch space the caller frees) and returns
// the checked main prototype; every failure is raised with its code.
Proto *luaU_undump(lua_State *L, ZIO *z, Mbuffer *buff);
// Writes the header and the function record of f; returns 0 or the first non-zero answer
// of the writer (nothing is written after it).
int luaU_dump(lua_State *L, const Proto *f, lua_Chunkwriter w, void *data);
// Byte order the writer uses: 1 (little-endian).
int luaU_endianness(void);

// ---- code checker ----

// 1 when the prototype's code is safe to run, 0 when it must be refused.
int luaG_checkcode(const Proto *pt);
// Symbolic execution of the code up to lastpc (exclusive). With reg = NO_REG it checks the
// whole code and returns 0 on a violation; otherwise it returns the instruction that last
// set register reg before lastpc (for the debug names of values), following forward jumps.
#define NO_REG MAXSTACK
Instruction luaG_symbexec(const Proto *pt, int lastpc, int reg);
