// sqcompiler.h: the parser/code generator of one compilation (internal).
// SQCompiler parses by recursive descent and emits register code in one pass; the
// methods are split by concept over sqcompiler_expr.cpp (materialisation and operators),
// sqcompiler_primary.cpp (primaries, calls, functions, classes) and sqcompiler_stmt.cpp
// (statements and the entry point).
#pragma once
#include <cmath>
#include <cstring>
#include <memory>

#include "sqfuncstate.h"

struct SQCompiler {
  SQVM *v;
  SQSharedState *ss;
  SQLexer lex;
  SQFuncState *fs = nullptr;
  Val sourcename;
  int tok = 0;
  int depth = 0;  // nesting of expressions and statements (bounds the C recursion)
  struct Nest {
    SQCompiler *c;
    explicit Nest(SQCompiler *cc) : c(cc) {
      if (++c->depth > 100) c->Error("expression or statement nested too deeply");
    }
    ~Nest() { c->depth--; }
  };
  // ---------------------------------------------------------------- helpers
  [[noreturn]] void Error(const char *fmt, ...);
  void Lex() { tok = lex.Lex(); }
  std::string TokStr(int t);
  void Expect(int t);
  Val ExpectIdent();
  bool IsEndOfStatement();
  void OptionalSemicolon();
  Val CurString() { return val_str(str_new(ss, lex._buf.data(), (SQInteger)lex._buf.size())); }
  // ------------------------------------------------------- materialisation
  void Discharge(Exp &e);
  // Puts the value into register `r` (r must be allocated by the caller).
  void ToReg(Exp &e, SQInteger r);
  // Value into a fresh register on top of the temporaries.
  SQInteger ToNextReg(Exp &e);
  // Value in any register (locals are used in place).
  SQInteger ToAnyReg(Exp &e);
  Exp RegExp(SQInteger r);
  Exp RelocExp(SQInteger pc);
  bool IsTemp(SQInteger r) { return r >= fs->nactive(); }
  // Moves a result computed in register `val` (above the temporaries of `target`) down
  // to the lowest free register after releasing the target's registers.
  Exp ResultAfterStore(const Exp &target, SQInteger val, bool discard);
  // ------------------------------------------------------------ constants
  // Const-table lookup for an identifier (enums resolve their member here too).
  bool ConstLookup(SQString *name, Exp &out);
  void ConstToExp(const SQObject &c, Exp &out);
  Val ParseConstValue();
  // ---------------------------------------------------------- expressions
  Exp Expression(bool discard = false);
  // "a, b, c": evaluates each for its side effects and yields the last (parentheses,
  // conditions).
  Exp CommaExpression();
  // Evaluates e (whose temporaries sit at or above r) into register r and frees them.
  void ToRegAfter(Exp &e, SQInteger r);
  int ArithOpFor(int assignop);
  Exp Assign(Exp &e, int op, bool discard);
  Exp LogicalOr();
  Exp LogicalAnd();
  Exp Binary(Exp &l, int op, Exp &r);
  // Left operands are evaluated before the right operand is parsed (evaluation order).
  void PrepLeft(Exp &e);
  bool FoldArith(Exp &l, int op, Exp &r);
  Exp BitOr();
  Exp BitXor();
  Exp BitAnd();
  Exp Equality();
  Exp Compare();
  Exp Shift();
  Exp Additive();
  Exp Multiplicative();
  Exp UnaryOp(int op);
  Exp Unary();
  Exp IncDec(Exp &e, SQInteger d, bool postfix, bool discard);
  Exp Postfix();
  Exp Call(Exp &f);
  Exp Identifier(const Val &name);
  Exp Primary();
  // Parses "key = value" items up to `close`; returns how many.
  SQInteger TableBody(SQInteger r, int close);
  // ------------------------------------------------------------ functions
  Exp FunctionExp(const Val &name, bool lambda);
  void FinishProto(SQFuncState *f);
  void ReturnValue(Exp &e);
  // ---------------------------------------------------------------- classes
  Exp ClassExp();
  // ------------------------------------------------------------ statements
  void Statement();
  // Evaluates an expression for its side effects only (a pending GET may still raise).
  void DiscardExp(Exp &e);
  void ScopedStatement();
  SQBlock *FindBlock(bool forcontinue);
  void LeaveTo(SQBlock *b);
  SQBlock *PushLoop(bool isloop);
  void PopLoop(SQBlock *b, SQInteger breaktarget, SQInteger conttarget);
  // Emits a jump taken when the condition is false.
  SQInteger JumpIfFalse(Exp &e);
  Exp Condition();
  void IfStatement();
  // Emits the loop's back edge: a copy of the condition [condpc, jf) whose final exit jump
  // is inverted to jump back to the body, so an iteration runs one jump instead of two.
  void LoopBackEdge(SQInteger condpc, SQInteger jf, SQInteger bodystart);
  void WhileStatement();
  void DoWhileStatement();
  void OptionalSemicolonAfterDo();
  void ForStatement();
  void ForeachStatement();
  void SwitchStatement();
  void LocalDecls();
  void LocalStatement();
  void TryStatement();
  // "function a.b.c(...)" and "function a::b(...)" store into a field path.
  void FunctionStatement();
  Exp SlotPathTarget(Val &name);
  void ClassStatement();
  void EnumStatement();
  void ConstStatement();
  // ---------------------------------------------------------------- entry
  void CompileMain(Val &out);
};
