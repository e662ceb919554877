// sqfuncstate.h: per-function code generation state of the compiler.
//
// Register discipline: register 0 is 'this', then parameters, then active locals in
// declaration order (local k lives in register k); temporaries are allocated above the
// active locals as a stack, so at every statement boundary freereg == number of locals.
#pragma once
#include <map>

#include "sqlexer.h"
#include "sqopcodes.h"

enum ExpKind {
  E_VOID,    // no value
  E_NULL, E_TRUE, E_FALSE,
  E_INT,     // ival
  E_FLT,     // fval
  E_K,       // literal index in `info`
  E_REG,     // value in register `info` (a temporary when >= nactive)
  E_LOCAL,   // local variable in register `info` (assignable)
  E_RELOC,   // instruction at pc `info` computes the value; its target is patched later
  E_OUTER,   // outer variable `info`
  E_FIELD,   // R[info][R[key]]
  E_FIELDK,  // R[info][K[key]]
  E_BASE,    // the 'base' keyword
};

struct Exp {
  ExpKind k = E_VOID;
  SQInteger info = 0;
  SQInteger key = 0;
  SQInteger ival = 0;
  SQFloat fval = 0;
  bool fallback = false;  // field lookup through 'this' falls back to the root table
  bool frombase = false;  // field of 'base': calls pass the current 'this'
};

struct SQBlock {
  SQInteger nlocals;       // active locals when the block was opened
  bool isloop = false;     // target of break and continue
  bool isswitch = false;   // target of break only
  SQInteger ntraps = 0;    // try nesting when the loop/switch opened
  std::vector<SQInteger> breaks, continues;
};

struct SQFuncState {
  struct Local {
    Val name;
    SQInteger reg;
    SQInteger startpc;
    bool captured = false;
  };
  SQFuncState *parent = nullptr;
  SQSharedState *ss;
  Val protoholder;
  SQFunctionProto *proto;
  std::vector<Local> locals;
  SQInteger freereg = 0;
  SQInteger maxreg = 0;
  SQInteger ntraps = 0;
  SQInteger lastline = -1;
  SQInteger lastcallpc = -1;
  SQInteger lastjumptarget = -1;  // highest pc a patched jump lands on
  bool hasclosures = false;
  std::vector<SQBlock *> blocks;
  std::map<std::pair<int, long long>, SQInteger> literalmap;

  SQFuncState(SQSharedState *s, SQFuncState *p);
  ~SQFuncState();
  SQFuncState(const SQFuncState &) = delete;
  SQFuncState &operator=(const SQFuncState &) = delete;
  SQInteger nactive() const { return (SQInteger)locals.size(); }
  SQInteger pc() const { return (SQInteger)proto->_code.size(); }
  SQInteger Emit(int op, SQInteger a = 0, SQInteger b = 0, SQInteger c = 0, SQInteger x = 0);
  SQInstr &At(SQInteger pc) { return proto->_code[pc]; }
  void PatchJump(SQInteger jpc, SQInteger target);
  void PatchToHere(SQInteger jpc) { PatchJump(jpc, pc()); }
  SQInteger AllocReg();
  void FreeReg(SQInteger r);
  void FreeExp(const Exp &e);
  SQInteger Literal(const SQObject &o);
  SQInteger StringLiteral(const char *s, SQInteger len = -1);
  SQInteger DeclareLocal(const Val &name);
  SQInteger FindLocal(const SQString *name) const;
  SQInteger FindOuter(SQString *name);
  SQInteger FindOuterNoAdd(SQString *name) const;
  void CloseScopeTo(SQInteger nlocals);
  void SetLine(SQInteger line);
};
