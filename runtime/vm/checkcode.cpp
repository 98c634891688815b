// The code checker: symbolic execution over a prototype's code with the opcode mode table.
// It is a security boundary: bytecode also arrives from data files, and a prototype that
// passes must never make the interpreter read or write outside its frame, its constants,
// its upvalues or its code.
#include "runtime/vm/bytecode.h"

#define check(x) \
  if (!(x)) return 0;

#define checkreg(pt, reg) check((reg) < (pt)->maxstacksize)

static int precheck(const Proto *pt) {
  check(pt->maxstacksize <= MAXSTACK);
  check(pt->sizecode > 0);
  check(pt->sizelineinfo == pt->sizecode || pt->sizelineinfo == 0);
  check(GET_OPCODE(pt->code[pt->sizecode - 1]) == OP_RETURN);
  // the fixed parameters and the table of extra arguments live in registers
  check(pt->numparams + (pt->is_vararg ? 1 : 0) <= pt->maxstacksize);
  check(pt->sizeupvalues == 0 || pt->sizeupvalues == pt->nups);
  return 1;
}

static int checkRK(const Proto *pt, int r) {
  if (ISK(r)) return INDEXK(r) < pt->sizek;
  return r < pt->maxstacksize;
}

// An instruction that leaves its results open (CALL with C = 0) must be followed by one
// that takes them up to the top. The consumer's first register must lie below the
// producer's results, so that the count it computes from the top is never negative.
static int checkopenop(const Proto *pt, int pc) {
  Instruction prod = pt->code[pc];
  Instruction i = pt->code[pc + 1];
  int a = GETARG_A(i), pa = GETARG_A(prod);
  switch (GET_OPCODE(i)) {
    case OP_CALL:
    case OP_TAILCALL:
      check(GETARG_B(i) == 0);
      check(a < pa);
      return 1;
    case OP_RETURN:
      check(GETARG_B(i) == 0);
      check(a <= pa);
      return 1;
    case OP_SETLISTO:
      check(a < pa);
      return 1;
    default:
      return 0;
  }
}

Instruction luaG_symbexec(const Proto *pt, int lastpc, int reg) {
  int pc;
  int last;  // stores the position of the last instruction that changed `reg'
  check(precheck(pt));
  if (lastpc > pt->sizecode) lastpc = pt->sizecode;
  last = pt->sizecode - 1;  // points to the final return (a `neutral' instruction)
  for (pc = 0; pc < lastpc; pc++) {
    const Instruction i = pt->code[pc];
    const int op = GET_OPCODE(i);
    const int a = GETARG_A(i);
    int b = 0;
    int c = 0;
    check(op < NUM_OPCODES);
    if (op != OP_JMP) checkreg(pt, a);
    switch (getOpMode(op)) {
      case iABC:
        b = GETARG_B(i);
        c = GETARG_C(i);
        if (testOpMode(op, OPMODE_BREG)) checkreg(pt, b);
        if (testOpMode(op, OPMODE_BRK)) check(checkRK(pt, b));
        if (testOpMode(op, OPMODE_CRK)) check(checkRK(pt, c));
        break;
      case iABx:
        b = GETARG_Bx(i);
        if (testOpMode(op, OPMODE_KBX)) check(b < pt->sizek);
        break;
      case iAsBx: {
        b = GETARG_sBx(i);
        int dest = pc + 1 + b;
        check(0 <= dest && dest < pt->sizecode);
        break;
      }
      case iAJ:
        b = GETARG_sJ(i);
        break;
    }
    if (testOpMode(op, OPMODE_SETSA)) {
      if (a == reg) last = pc;  // change register `a'
    }
    if (testOpMode(op, OPMODE_TEST)) {
      check(pc + 2 < pt->sizecode);  // check skip
      check(GET_OPCODE(pt->code[pc + 1]) == OP_JMP);
    }
    switch (op) {
      case OP_LOADBOOL:
        check(c == 0 || pc + 2 < pt->sizecode);  // check its jump
        break;
      case OP_LOADNIL:
        if (a <= reg && reg <= b) last = pc;  // set registers from `a' to `b'
        break;
      case OP_GETUPVAL:
      case OP_SETUPVAL:
        check(b < pt->nups);
        break;
      case OP_GETGLOBAL:
      case OP_SETGLOBAL:
        check(ttisstring(&pt->k[b]));
        break;
      case OP_SELF:
        checkreg(pt, a + 1);
        if (reg == a + 1) last = pc;
        break;
      case OP_CONCAT:
        check(c < MAXSTACK && b < c);
        break;
      case OP_JMP: {
        int dest = pc + 1 + b;
        check(0 <= dest && dest < pt->sizecode);
        // follow forward jumps that stay within the range
        if (reg != NO_REG && pc < dest && dest <= lastpc) pc += b;
        break;
      }
      case OP_CALL:
      case OP_TAILCALL:
        if (b != 0) checkreg(pt, a + b - 1);
        c--;  // c = number of returns
        if (c == -1) {
          check(checkopenop(pt, pc));
        } else if (c != 0) {
          checkreg(pt, a + c - 1);
        }
        if (reg >= a) last = pc;  // affect all registers above base
        break;
      case OP_RETURN:
        if (c != 1) {  // not a Gosub return
          b--;  // b = number of returns
          if (b > 0) checkreg(pt, a + b - 1);
        }
        break;
      case OP_FORLOOP:
        checkreg(pt, a + 2);
        break;
      case OP_TFORPREP:
        checkreg(pt, a + 1);
        break;
      case OP_TFORLOOP:
        // the generator and its two arguments are copied to A+C+3..A+C+5 and called there;
        // its C + 1 results arrive from A+C+3 (up to A+2C+3) before they move down to A+2
        checkreg(pt, a + c + 5);
        checkreg(pt, a + 2 * c + 3);
        if (reg >= a) last = pc;
        break;
      case OP_SETLIST:
        checkreg(pt, a + (b & (32 - 1)) + 1);
        break;
      case OP_CLOSURE: {
        check(b < pt->sizep);
        int nup = pt->p[b]->nups;
        check(pc + nup < pt->sizecode);
        for (int j = 1; j <= nup; j++) {
          int op1 = GET_OPCODE(pt->code[pc + j]);
          check(op1 == OP_GETUPVAL || op1 == OP_MOVE);
        }
        break;
      }
      default:
        break;
    }
  }
  return pt->code[last];
}

int luaG_checkcode(const Proto *pt) {
  return luaG_symbexec(pt, pt->sizecode, NO_REG) != 0;
}
