// sqopcodes.h: the bytecode of the register machine.
//
// Every instruction is 8 bytes:
//
//   bits  0..7   op
//   bits  8..15  a   (usually the target register)
//   bits 16..23  b   (register)
//   bits 24..31  c   (register or small flags)
//   bits 32..63  x   (signed: literal index, jump offset, immediate, packed operands)
//
// R[n] is register n of the current frame (R[0] is 'this'), K[n] literal n of the function.
// Jump offsets are relative to the instruction after the jump. NOREG (0xFF) in a register
// field means "none".
#pragma once

#define SQ_OPCODES(X)                                                          \
  X(LOAD)        /* R[a] = K[x] */                                             \
  X(LOADINT)     /* R[a] = integer x */                                        \
  X(LOADFLOAT)   /* R[a] = float with the bits of x */                         \
  X(LOADBOOL)    /* R[a] = x != 0 */                                           \
  X(LOADNULLS)   /* R[a .. a+x) = null */                                      \
  X(MOVE)        /* R[a] = R[b] */                                             \
  X(LOADROOT)    /* R[a] = root table of the closure */                        \
  X(GETOUTER)    /* R[a] = outer x */                                          \
  X(SETOUTER)    /* outer x = R[a] */                                          \
  X(GET)         /* R[a] = R[b][R[c]]; x&1: fall back to the root table */     \
  X(GETK)        /* R[a] = R[b][K[x]]; c&1: fall back to the root table */     \
  X(SET)         /* R[a][R[b]] = R[c]; x&1: fall back to the root table */     \
  X(SETK)        /* R[a][K[x]] = R[c]; b&1: fall back to the root table */     \
  X(NEWSLOT)     /* R[a][R[b]] <- R[c] */                                      \
  X(NEWMEMBER)   /* class R[a]: R[b] <- R[c], attrs R[x&0xFF], static x>>8 */  \
  X(DELETE)      /* R[a] = delete R[b][R[c]] */                                \
  X(NEWTABLE)    /* R[a] = {} with room for x slots */                         \
  X(NEWARRAY)    /* R[a] = [] with room for x items */                         \
  X(APPEND)      /* R[a].append(R[b]) */                                       \
  X(ADD) X(SUB) X(MUL) X(DIV) X(MOD) /* R[a] = R[b] op R[c] */                 \
  X(ADDI)        /* R[a] = R[b] + x (x an integer immediate) */                \
  X(BAND) X(BOR) X(BXOR) X(SHL) X(SHR) X(USHR) /* R[a] = R[b] op R[c] */       \
  X(UNM) X(NOT) X(BNOT) /* R[a] = op R[b] */                                   \
  X(EQ) X(NE) X(LT) X(LE) X(GT) X(GE) /* R[a] = R[b] op R[c] */                \
  X(CMP3)        /* R[a] = R[b] <=> R[c] */                                    \
  X(JMP)         /* ip += x */                                                 \
  X(JZ)          /* if !R[a] then ip += x */                                   \
  X(JNZ)         /* if R[a] then ip += x */                                    \
  X(JLTF)        /* if !(R[a] < R[b]) then ip += x */                          \
  X(JLT)         /* if R[a] < R[b] then ip += x */                             \
  X(JLTFK)       /* if !(R[a] < K[b]) then ip += x */                          \
  X(JLTK)        /* if R[a] < K[b] then ip += x */                             \
  X(CALL)        /* R[a] = R[b](R[b+1] .. R[b+c]); c counts 'this' */          \
  X(TAILCALL)    /* return R[b](R[b+1] .. R[b+c]) */                           \
  X(PREPCALL)    /* R[a+1] = R[b]; R[a] = R[b][R[c]]; x&1: root fallback */    \
  X(PREPCALLK)   /* R[a+1] = R[b]; R[a] = R[b][K[x]]; c&1: root fallback */    \
  X(RETURN)      /* return b ? R[a] : null */                                  \
  X(CLOSURE)     /* R[a] = closure of function x, defaults from R[b..] */      \
  X(CLASS)       /* R[a] = class extending R[b], attributes R[c] */            \
  X(FOREACH)     /* R[a] container, R[a+1] iterator, R[a+2] key, R[a+3] value; \
                    at the end ip += x */                                      \
  X(TYPEOF)      /* R[a] = typeof R[b] */                                      \
  X(INSTANCEOF)  /* R[a] = R[b] instanceof R[c] */                             \
  X(IN)          /* R[a] = R[b] in R[c] */                                     \
  X(CLONE)       /* R[a] = clone R[b] */                                       \
  X(THROW)       /* throw R[a] */                                              \
  X(PUSHTRAP)    /* try: exception into R[a], handler at ip + x */            \
  X(POPTRAP)     /* leave x try blocks */                                      \
  X(CLOSE)       /* close outers of registers >= a */                          \
  X(YIELD)       /* yield b ? R[a] : null; R[c] = null when resumed */         \
  X(RESUME)      /* R[a] = resume R[b] */                                      \
  X(GETBASE)     /* R[a] = base class of the running method */

enum SQOpcode : unsigned char {
#define SQ_OP_ENUM(name) OP_##name,
  SQ_OPCODES(SQ_OP_ENUM)
#undef SQ_OP_ENUM
  OP_COUNT
};

constexpr unsigned char NOREG = 0xFF;
