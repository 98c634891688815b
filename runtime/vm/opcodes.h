// Instruction words of the register machine: field layout, opcodes, names and the
// opcode mode table used by the code checker.
//
// One instruction is an unsigned 32-bit word:
//   OP  bits 0-5   (6)   opcode 0..42
//   C   bits 6-14  (9)   register, RK operand or count
//   B   bits 15-23 (9)   register, RK operand or count
//   A   bits 24-31 (8)   target register
//   Bx  bits 6-23  (18)  unsigned operand (constant or prototype index)
//   sBx bits 6-23  (18)  signed offset = Bx - MAXARG_sBx
//   J   bits 6-29  (24)  JMP offset = J - MAXARG_sJ
//   G   bits 30-31 (2)   JMP flag: 2 = Gosub, 0/1/3 = plain jump
#ifndef KV_RUNTIME_VM_OPCODES_H
#define KV_RUNTIME_VM_OPCODES_H

#include <stdint.h>

typedef uint32_t Instruction;

#define SIZE_OP 6
#define SIZE_C 9
#define SIZE_B 9
#define SIZE_A 8
#define SIZE_Bx (SIZE_C + SIZE_B)
#define SIZE_J 24
#define SIZE_G 2

#define POS_OP 0
#define POS_C (POS_OP + SIZE_OP)
#define POS_B (POS_C + SIZE_C)
#define POS_A (POS_B + SIZE_B)
#define POS_Bx POS_C
#define POS_J POS_C
#define POS_G (POS_J + SIZE_J)

#define MAXARG_A ((1u << SIZE_A) - 1)
#define MAXARG_B ((1u << SIZE_B) - 1)
#define MAXARG_C ((1u << SIZE_C) - 1)
#define MAXARG_Bx ((1u << SIZE_Bx) - 1)
#define MAXARG_sBx ((int)(MAXARG_Bx >> 1)) /* 131071 */
#define MAXARG_J ((1u << SIZE_J) - 1)
#define MAXARG_sJ ((int)(MAXARG_J >> 1)) /* 8388607 */

#define NUM_OPCODES 43
#define MAXSTACK 250 /* registers of one function */
#define MAXINDEXRK 250 /* RK values at or above this name constant (value - 250) */
#define GOSUB_FLAG 2 /* G field of a JMP that pushes the return address */

#define MASK1(n, p) (((1u << (n)) - 1u) << (p))
#define MASK0(n, p) (~MASK1(n, p))

#define GET_OPCODE(i) ((int)(((Instruction)(i) >> POS_OP) & MASK1(SIZE_OP, 0)))
#define GETARG_A(i) ((int)(((Instruction)(i) >> POS_A) & MASK1(SIZE_A, 0)))
#define GETARG_B(i) ((int)(((Instruction)(i) >> POS_B) & MASK1(SIZE_B, 0)))
#define GETARG_C(i) ((int)(((Instruction)(i) >> POS_C) & MASK1(SIZE_C, 0)))
#define GETARG_Bx(i) ((int)(((Instruction)(i) >> POS_Bx) & MASK1(SIZE_Bx, 0)))
#define GETARG_sBx(i) (GETARG_Bx(i) - MAXARG_sBx)
#define GETARG_J(i) ((int)(((Instruction)(i) >> POS_J) & MASK1(SIZE_J, 0)))
#define GETARG_sJ(i) (GETARG_J(i) - MAXARG_sJ)
#define GETARG_G(i) ((int)(((Instruction)(i) >> POS_G) & MASK1(SIZE_G, 0)))

#define SET_OPCODE(i, o) ((i) = (((i) & MASK0(SIZE_OP, POS_OP)) | (((Instruction)(o) << POS_OP) & MASK1(SIZE_OP, POS_OP))))
#define SETARG_A(i, v) ((i) = (((i) & MASK0(SIZE_A, POS_A)) | (((Instruction)(v) << POS_A) & MASK1(SIZE_A, POS_A))))
#define SETARG_B(i, v) ((i) = (((i) & MASK0(SIZE_B, POS_B)) | (((Instruction)(v) << POS_B) & MASK1(SIZE_B, POS_B))))
#define SETARG_C(i, v) ((i) = (((i) & MASK0(SIZE_C, POS_C)) | (((Instruction)(v) << POS_C) & MASK1(SIZE_C, POS_C))))
#define SETARG_Bx(i, v) ((i) = (((i) & MASK0(SIZE_Bx, POS_Bx)) | (((Instruction)(v) << POS_Bx) & MASK1(SIZE_Bx, POS_Bx))))
#define SETARG_sBx(i, v) SETARG_Bx((i), (unsigned)((v) + MAXARG_sBx))
#define SETARG_sJ(i, v) ((i) = (((i) & MASK0(SIZE_J, POS_J)) | (((Instruction)((v) + MAXARG_sJ) << POS_J) & MASK1(SIZE_J, POS_J))))
#define SETARG_G(i, v) ((i) = (((i) & MASK0(SIZE_G, POS_G)) | (((Instruction)(v) << POS_G) & MASK1(SIZE_G, POS_G))))

#define CREATE_ABC(o, a, b, c) \
  ((((Instruction)(o) & MASK1(SIZE_OP, 0)) << POS_OP) | (((Instruction)(a) & MASK1(SIZE_A, 0)) << POS_A) | \
   (((Instruction)(b) & MASK1(SIZE_B, 0)) << POS_B) | (((Instruction)(c) & MASK1(SIZE_C, 0)) << POS_C))
#define CREATE_ABx(o, a, bx) \
  ((((Instruction)(o) & MASK1(SIZE_OP, 0)) << POS_OP) | (((Instruction)(a) & MASK1(SIZE_A, 0)) << POS_A) | \
   (((Instruction)(bx) & MASK1(SIZE_Bx, 0)) << POS_Bx))
#define CREATE_AsBx(o, a, sbx) CREATE_ABx((o), (a), (unsigned)((sbx) + MAXARG_sBx))
/* JMP: offset counted from the instruction after the jump; g = GOSUB_FLAG for a Gosub */
#define CREATE_J(o, sj, g) \
  ((((Instruction)(o) & MASK1(SIZE_OP, 0)) << POS_OP) | \
   (((Instruction)((sj) + MAXARG_sJ) & MASK1(SIZE_J, 0)) << POS_J) | (((Instruction)(g) & MASK1(SIZE_G, 0)) << POS_G))

/* RK operands */
#define ISK(x) ((x) >= MAXINDEXRK)
#define INDEXK(x) ((x) - MAXINDEXRK)
#define RKASK(x) ((x) + MAXINDEXRK)

/* the NEWTABLE array size operand: (b & 7) << (b >> 3) */
#define FB2INT(b) ((int)((unsigned)((b) & 7) << (((b) >> 3) & 31)))

/* SETLIST flushes fields in groups of 32: Bx & ~31 is the key base, (Bx & 31) + 1 the count */
#define LFIELDS_PER_FLUSH 32

typedef enum {
  OP_MOVE,      /*  0 A B    R(A) := R(B) */
  OP_LOADK,     /*  1 A Bx   R(A) := K(Bx) */
  OP_LOADBOOL,  /*  2 A B C  R(A) := number B; if C, skip */
  OP_LOADNIL,   /*  3 A B    R(A)..R(B) := nil */
  OP_GETUPVAL,  /*  4 A B    R(A) := upvalue B */
  OP_GETGLOBAL, /*  5 A Bx   R(A) := globals[K(Bx)] */
  OP_GETTABLE,  /*  6 A B C  R(A) := R(B)[RK(C)] */
  OP_SETGLOBAL, /*  7 A Bx   globals[K(Bx)] := R(A) */
  OP_SETUPVAL,  /*  8 A B    upvalue B := R(A) */
  OP_SETTABLE,  /*  9 A B C  R(A)[RK(B)] := RK(C) */
  OP_NEWTABLE,  /* 10 A B C  R(A) := {} (array size fb2int(B), hash log2 C) */
  OP_ADD,       /* 11 */
  OP_SUB,       /* 12 */
  OP_MUL,       /* 13 */
  OP_DIV,       /* 14 */
  OP_DIVINT,    /* 15 */
  OP_MOD,       /* 16 */
  OP_LSH,       /* 17 */
  OP_RSH,       /* 18 */
  OP_OR,        /* 19 */
  OP_AND,       /* 20 */
  OP_XOR,       /* 21 */
  OP_POW,       /* 22 */
  OP_UNM,       /* 23 A B    R(A) := -R(B) */
  OP_NOT,       /* 24 A B    R(A) := number (R(B) is false) */
  OP_BNOT,      /* 25 A B    R(A) := ~R(B) */
  OP_CONCAT,    /* 26 A B C  R(A) := R(B) .. ... .. R(C) */
  OP_JMP,       /* 27 J G    (G = 2: push return address) pc += J */
  OP_EQ,        /* 28 A B C  if ((RK(B) == RK(C)) ~= A) skip */
  OP_LT,        /* 29 */
  OP_LE,        /* 30 */
  OP_TEST,      /* 31 A B C  if (R(B) is false) == C skip, else R(A) := R(B) */
  OP_CALL,      /* 32 A B C  R(A)..R(A+C-2) := R(A)(R(A+1)..R(A+B-1)) */
  OP_TAILCALL,  /* 33 */
  OP_RETURN,    /* 34 A B C  C = 1: Gosub return; else return R(A)..R(A+B-2) */
  OP_FORLOOP,   /* 35 A sBx  numeric loop step */
  OP_TFORLOOP,  /* 36 A C    generic loop step */
  OP_TFORPREP,  /* 37 A sBx  generic loop set-up */
  OP_SETLIST,   /* 38 A Bx   R(A)[Bx&~31 + i] := R(A+1+i), i < (Bx&31)+1 */
  OP_SETLISTO,  /* 39 A Bx   as SETLIST up to the stack top */
  OP_CLOSE,     /* 40 A      close upvalues from R(A) up */
  OP_CLOSURE,   /* 41 A Bx   R(A) := closure of prototype Bx */
  OP_SELF       /* 42 A B C  R(A+1) := R(B); R(A) := R(B)[RK(C)] */
} OpCode;

/* operand formats (bits 0-1 of a mode byte) */
enum OpMode { iABC = 0, iABx = 1, iAsBx = 2, iAJ = 3 };

/* mode byte bits */
#define OPMODE_BREG 0x04   /* B is a register */
#define OPMODE_BRK 0x08    /* B is register-or-constant */
#define OPMODE_CRK 0x10    /* C is register-or-constant */
#define OPMODE_SETSA 0x20  /* the instruction sets register A */
#define OPMODE_KBX 0x40    /* Bx is a constant index */
#define OPMODE_TEST 0x80   /* next instruction is a jump taken or skipped */

extern const unsigned char luaP_opmodes[NUM_OPCODES];
extern const char *const luaP_opnames[NUM_OPCODES];

#define getOpMode(m) ((enum OpMode)(luaP_opmodes[m] & 3))
#define testOpMode(m, b) ((luaP_opmodes[m] & (b)) != 0)

/* name of an opcode; "?" for 43..63 */
const char *luaP_opname(int op);

#endif
