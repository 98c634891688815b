// Opcode names and the opcode mode table.
#include "runtime/vm/opcodes.h"

const char *const luaP_opnames[NUM_OPCODES] = {
    "MOVE",   "LOADK",  "LOADBOOL", "LOADNIL", "GETUPVAL", "GETGLOBAL", "GETTABLE", "SETGLOBAL", "SETUPVAL",
    "SETTABLE", "NEWTABLE", "ADD",   "SUB",     "MUL",      "DIV",       "DIVINT",   "MOD",       "LSH",
    "RSH",    "OR",     "AND",      "XOR",     "POW",      "UNM",       "NOT",      "BNOT",      "CONCAT",
    "JMP",    "EQ",     "LT",       "LE",      "TEST",     "CALL",      "TAILCALL", "RETURN",    "FORLOOP",
    "TFORLOOP", "TFORPREP", "SETLIST", "SETLISTO", "CLOSE", "CLOSURE", "SELF"};

/* bits 0-1 format, 0x04 B register, 0x08 B RK, 0x10 C RK, 0x20 sets A, 0x40 Bx constant, 0x80 test */
const unsigned char luaP_opmodes[NUM_OPCODES] = {
    0x24, /* MOVE */
    0x61, /* LOADK */
    0x20, /* LOADBOOL */
    0x24, /* LOADNIL */
    0x20, /* GETUPVAL */
    0x61, /* GETGLOBAL */
    0x34, /* GETTABLE */
    0x41, /* SETGLOBAL */
    0x00, /* SETUPVAL */
    0x18, /* SETTABLE */
    0x20, /* NEWTABLE */
    0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, /* ADD .. POW */
    0x24, /* UNM */
    0x24, /* NOT */
    0x24, /* BNOT */
    0x34, /* CONCAT */
    0x03, /* JMP */
    0x98, /* EQ */
    0x98, /* LT */
    0x98, /* LE */
    0xA4, /* TEST */
    0x00, /* CALL */
    0x00, /* TAILCALL */
    0x00, /* RETURN */
    0x02, /* FORLOOP */
    0x80, /* TFORLOOP */
    0x02, /* TFORPREP */
    0x01, /* SETLIST */
    0x01, /* SETLISTO */
    0x00, /* CLOSE */
    0x21, /* CLOSURE */
    0x34, /* SELF */
};

const char *luaP_opname(int op) {
  if (op < 0 || op >= NUM_OPCODES) return "?";
  return luaP_opnames[op];
}
