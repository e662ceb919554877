// sqcompiler_stmt.cpp: statements (blocks, control flow, declarations) and the entry
// point sq_compile_source.
#include "sqcompiler.h"

// ------------------------------------------------------------ statements
void SQCompiler::Statement() {
  Nest nest(this);
  fs->SetLine(lex._tokline);
  switch (tok) {
    case ';': Lex(); break;
    case TK_IF: IfStatement(); break;
    case TK_WHILE: WhileStatement(); break;
    case TK_DO: DoWhileStatement(); break;
    case TK_FOR: ForStatement(); break;
    case TK_FOREACH: ForeachStatement(); break;
    case TK_SWITCH: SwitchStatement(); break;
    case TK_LOCAL: LocalStatement(); break;
    case TK_RETURN: {
      Lex();
      if (IsEndOfStatement()) {
        fs->Emit(OP_RETURN, 0, 0);
      } else {
        Exp e = Expression();
        ReturnValue(e);
      }
      OptionalSemicolon();
      break;
    }
    case TK_YIELD: {
      Lex();
      fs->proto->_generator = true;
      if (IsEndOfStatement()) {
        fs->Emit(OP_YIELD, 0, 0, NOREG);
      } else {
        Exp e = Expression();
        SQInteger r = ToAnyReg(e);
        fs->Emit(OP_YIELD, r, 1, NOREG);
        fs->FreeExp(e);
      }
      OptionalSemicolon();
      break;
    }
    case TK_BREAK: {
      Lex();
      SQBlock *b = FindBlock(false);
      if (!b) Error("'break' has to be in a loop block");
      LeaveTo(b);
      b->breaks.push_back(fs->Emit(OP_JMP));
      OptionalSemicolon();
      break;
    }
    case TK_CONTINUE: {
      Lex();
      SQBlock *b = FindBlock(true);
      if (!b) Error("'continue' has to be in a loop block");
      LeaveTo(b);
      b->continues.push_back(fs->Emit(OP_JMP));
      OptionalSemicolon();
      break;
    }
    case TK_FUNCTION: FunctionStatement(); break;
    case TK_CLASS: ClassStatement(); break;
    case TK_ENUM: EnumStatement(); break;
    case TK_CONST: ConstStatement(); break;
    case '{': {
      Lex();
      SQInteger n = fs->nactive();
      while (tok != '}') {
        if (tok == TK_EOF) Error("expected '}'");
        Statement();
      }
      Lex();
      fs->CloseScopeTo(n);
      break;
    }
    case TK_TRY: TryStatement(); break;
    case TK_THROW: {
      Lex();
      Exp e = Expression();
      SQInteger r = ToAnyReg(e);
      fs->Emit(OP_THROW, r);
      fs->FreeExp(e);
      OptionalSemicolon();
      break;
    }
    default: {
      Exp e = Expression(true);
      while (tok == ',') {
        Lex();
        fs->FreeExp(e);
        e = Expression(true);
      }
      DiscardExp(e);
      OptionalSemicolon();
      break;
    }
  }
  fs->freereg = fs->nactive();
}

// Evaluates an expression for its side effects only (a pending GET may still raise).
void SQCompiler::DiscardExp(Exp &e) {
  Discharge(e);
  if (e.k == E_RELOC) ToNextReg(e);
  // "x++" as a statement: drop the copy of the old value.
  SQInteger n = fs->pc();
  if (n >= 2 && fs->lastcallpc != n - 1) {
    SQInstr &mv = fs->At(n - 2);
    SQInstr &add = fs->At(n - 1);
    if (mv.op == OP_MOVE && add.op == OP_ADDI && add.a == add.b && mv.b == add.a && mv.a >= fs->nactive() &&
        e.k == E_REG && e.info == mv.a) {
      mv = add;
      fs->proto->_code.pop_back();
    }
  }
  fs->freereg = fs->nactive();
}

void SQCompiler::ScopedStatement() {
  SQInteger n = fs->nactive();
  Statement();
  fs->CloseScopeTo(n);
}

SQBlock *SQCompiler::FindBlock(bool forcontinue) {
  for (SQInteger i = (SQInteger)fs->blocks.size() - 1; i >= 0; i--) {
    SQBlock *b = fs->blocks[i];
    if (b->isloop) return b;
    if (b->isswitch && !forcontinue) return b;
  }
  return nullptr;
}

void SQCompiler::LeaveTo(SQBlock *b) {
  if (fs->ntraps > b->ntraps) fs->Emit(OP_POPTRAP, 0, 0, 0, fs->ntraps - b->ntraps);
  if (fs->hasclosures && fs->nactive() > b->nlocals) fs->Emit(OP_CLOSE, b->nlocals);
}

SQBlock *SQCompiler::PushLoop(bool isloop) {
  SQBlock *b = new SQBlock();
  b->nlocals = fs->nactive();
  b->isloop = isloop;
  b->isswitch = !isloop;
  b->ntraps = fs->ntraps;
  fs->blocks.push_back(b);
  return b;
}

void SQCompiler::PopLoop(SQBlock *b, SQInteger breaktarget, SQInteger conttarget) {
  for (SQInteger j : b->breaks) fs->PatchJump(j, breaktarget);
  for (SQInteger j : b->continues) fs->PatchJump(j, conttarget);
  fs->blocks.pop_back();
  delete b;
}

// Emits a jump taken when the condition is false.
SQInteger SQCompiler::JumpIfFalse(Exp &e) {
  Discharge(e);
  if (e.k == E_RELOC && fs->At(e.info).op == OP_LT && e.info == fs->pc() - 1) {
    SQInstr &i = fs->At(e.info);
    i.op = OP_JLTF;
    i.a = i.b;
    i.b = i.c;
    i.c = 0;
    // "x < constant": compare against the literal instead of loading it every time.
    SQInteger prevpc = e.info - 1;
    if (prevpc >= 0 && fs->lastjumptarget <= prevpc) {
      SQInstr prev = fs->At(prevpc);
      if ((prev.op == OP_LOADINT || prev.op == OP_LOAD) && prev.a == i.b && prev.a >= fs->nactive() &&
          prev.a != i.a) {
        SQInteger lit = prev.op == OP_LOAD ? prev.x : fs->Literal(Val((SQInteger)prev.x));
        if (lit < 256) {
          SQInstr &p = fs->At(prevpc);
          p.op = OP_JLTFK;
          p.a = i.a;
          p.b = (uint8_t)lit;
          p.c = 0;
          p.x = 0;
          fs->proto->_code.pop_back();
          return prevpc;
        }
      }
    }
    return e.info;
  }
  if (e.k == E_TRUE || e.k == E_INT || e.k == E_FLT || e.k == E_K) {
    bool truth = e.k != E_INT || e.ival != 0;
    if (e.k == E_FLT) truth = e.fval != 0;
    if (truth) return -1;
  }
  SQInteger r = ToAnyReg(e);
  fs->FreeExp(e);
  return fs->Emit(OP_JZ, r, 0, 0, 0);
}

Exp SQCompiler::Condition() {
  Expect('(');
  Exp e = CommaExpression();
  Expect(')');
  return e;
}

void SQCompiler::IfStatement() {
  Lex();
  Exp c = Condition();
  SQInteger jf = JumpIfFalse(c);
  fs->freereg = fs->nactive();
  ScopedStatement();
  if (tok == TK_ELSE) {
    Lex();
    SQInteger jend = fs->Emit(OP_JMP);
    if (jf >= 0) fs->PatchToHere(jf);
    ScopedStatement();
    fs->PatchToHere(jend);
  } else if (jf >= 0) {
    fs->PatchToHere(jf);
  }
}

// Emits the loop's back edge: a copy of the condition [condpc, jf) whose final exit jump
// is inverted to jump back to the body, so an iteration runs one jump instead of two.
void SQCompiler::LoopBackEdge(SQInteger condpc, SQInteger jf, SQInteger bodystart) {
  if (jf < 0) {
    fs->Emit(OP_JMP, 0, 0, 0, condpc - (fs->pc() + 1));
    return;
  }
  for (SQInteger p = condpc; p < jf; p++) {
    SQInstr ins = fs->At(p);
    fs->proto->_code.push_back(ins);
  }
  SQInstr last = fs->At(jf);
  switch (last.op) {
    case OP_JZ: last.op = OP_JNZ; break;
    case OP_JLTF: last.op = OP_JLT; break;
    case OP_JLTFK: last.op = OP_JLTK; break;
    default: break;
  }
  last.x = (int32_t)(bodystart - (fs->pc() + 1));
  fs->proto->_code.push_back(last);
}

void SQCompiler::WhileStatement() {
  Lex();
  SQInteger start = fs->pc();
  Exp c = Condition();
  SQInteger jf = JumpIfFalse(c);
  fs->freereg = fs->nactive();
  SQInteger bodystart = fs->pc();
  SQBlock *b = PushLoop(true);
  ScopedStatement();
  SQInteger conttarget = fs->pc();
  LoopBackEdge(start, jf, bodystart);
  if (jf >= 0) fs->PatchToHere(jf);
  PopLoop(b, fs->pc(), conttarget);
}

void SQCompiler::DoWhileStatement() {
  Lex();
  SQInteger start = fs->pc();
  SQBlock *b = PushLoop(true);
  ScopedStatement();
  if (tok != TK_WHILE) Error("expected 'while'");
  Lex();
  SQInteger condpc = fs->pc();
  Exp c = Condition();
  Discharge(c);
  SQInteger r = ToAnyReg(c);
  fs->FreeExp(c);
  fs->Emit(OP_JNZ, r, 0, 0, start - (fs->pc() + 1));
  PopLoop(b, fs->pc(), condpc);
  OptionalSemicolonAfterDo();
}

void SQCompiler::OptionalSemicolonAfterDo() {
  if (tok == ';') Lex();
}

void SQCompiler::ForStatement() {
  Lex();
  SQInteger scope = fs->nactive();
  Expect('(');
  if (tok == TK_LOCAL) {
    LocalDecls();
  } else if (tok != ';') {
    Exp e = Expression(true);
    while (tok == ',') {
      Lex();
      fs->FreeExp(e);
      e = Expression(true);
    }
    DiscardExp(e);
  }
  Expect(';');
  SQInteger condpc = fs->pc();
  SQInteger jf = -1;
  if (tok != ';') {
    Exp c = Expression();
    jf = JumpIfFalse(c);
    fs->freereg = fs->nactive();
  }
  Expect(';');
  // The increment is compiled here, cut out and re-emitted after the body.
  SQInteger incstart = fs->pc();
  size_t linestart = fs->proto->_lines.size();
  if (tok != ')') {
    Exp e = Expression(true);
    while (tok == ',') {
      Lex();
      fs->FreeExp(e);
      e = Expression(true);
    }
    DiscardExp(e);
  }
  Expect(')');
  std::vector<SQInstr> inc(fs->proto->_code.begin() + incstart, fs->proto->_code.end());
  fs->proto->_code.resize(incstart);
  fs->proto->_lines.resize(linestart);
  fs->lastline = -1;
  SQInteger bodystart = fs->pc();
  SQBlock *b = PushLoop(true);
  ScopedStatement();
  SQInteger conttarget = fs->pc();
  for (const SQInstr &i : inc) fs->proto->_code.push_back(i);
  LoopBackEdge(condpc, jf, bodystart);
  if (jf >= 0) fs->PatchToHere(jf);
  PopLoop(b, fs->pc(), conttarget);
  fs->CloseScopeTo(scope);
}

void SQCompiler::ForeachStatement() {
  Lex();
  Expect('(');
  Val first = ExpectIdent();
  Val keyname, valname;
  if (tok == ',') {
    Lex();
    keyname = first;
    valname = ExpectIdent();
  } else {
    valname = first;
    keyname = val_str(str_new(ss, "@INDEX@"));
  }
  Expect(TK_IN);
  SQInteger scope = fs->nactive();
  Exp c = Expression();
  Expect(')');
  SQInteger cr = ToNextReg(c);
  if (cr != scope) Error("internal error: foreach register");
  fs->DeclareLocal(val_str(str_new(ss, "@CONTAINER@")));
  fs->DeclareLocal(val_str(str_new(ss, "@ITERATOR@")));
  fs->DeclareLocal(keyname);
  fs->DeclareLocal(valname);
  fs->Emit(OP_LOADNULLS, cr + 1, 0, 0, 3);
  SQInteger loop = fs->pc();
  SQInteger jexit = fs->Emit(OP_FOREACH, cr, 0, 0, 0);
  SQBlock *b = PushLoop(true);
  ScopedStatement();
  fs->Emit(OP_JMP, 0, 0, 0, loop - (fs->pc() + 1));
  fs->PatchToHere(jexit);
  PopLoop(b, fs->pc(), loop);
  fs->CloseScopeTo(scope);
}

void SQCompiler::SwitchStatement() {
  Lex();
  Exp c = Condition();
  Expect('{');
  SQInteger scope = fs->nactive();
  SQInteger vr = ToNextReg(c);
  if (vr != scope) Error("internal error: switch register");
  fs->DeclareLocal(val_str(str_new(ss, "@SWITCH@")));
  SQBlock *b = PushLoop(false);
  SQInteger jnext = -1, jbody = -1;
  while (tok == TK_CASE) {
    Lex();
    if (jnext >= 0) {
      // fall-through from the previous body jumps over this test
      jbody = fs->Emit(OP_JMP);
      fs->PatchToHere(jnext);
    }
    Exp e = Expression();
    Expect(':');
    SQInteger er = ToAnyReg(e);
    fs->FreeExp(e);
    SQInteger t = fs->AllocReg();
    fs->Emit(OP_EQ, t, vr, er);
    fs->FreeReg(t);
    jnext = fs->Emit(OP_JZ, t, 0, 0, 0);
    if (jbody >= 0) {
      fs->PatchToHere(jbody);
      jbody = -1;
    }
    SQInteger n = fs->nactive();
    while (tok != TK_CASE && tok != TK_DEFAULT && tok != '}') Statement();
    fs->CloseScopeTo(n);
  }
  if (tok == TK_DEFAULT) {
    Lex();
    Expect(':');
    if (jnext >= 0) {
      jbody = fs->Emit(OP_JMP);
      fs->PatchToHere(jnext);
      fs->PatchToHere(jbody);
      jnext = -1;
    }
    SQInteger n = fs->nactive();
    while (tok != '}') Statement();
    fs->CloseScopeTo(n);
  }
  Expect('}');
  if (jnext >= 0) fs->PatchToHere(jnext);
  PopLoop(b, fs->pc(), 0);
  fs->CloseScopeTo(scope);
}

void SQCompiler::LocalDecls() {
  Lex();  // 'local'
  if (tok == TK_FUNCTION) {
    Lex();
    Val name = ExpectIdent();
    // The name becomes visible after the function (it cannot see itself as a local).
    Exp fn = FunctionExp(name, false);
    SQInteger r = ToNextReg(fn);
    if (r != fs->nactive()) Error("internal error: local register");
    fs->DeclareLocal(name);
    fs->freereg = fs->nactive();
    return;
  }
  for (;;) {
    Val name = ExpectIdent();
    if (tok == '=') {
      Lex();
      Exp e = Expression();
      SQInteger r = ToNextReg(e);
      if (r != fs->nactive()) Error("internal error: local register");
      fs->DeclareLocal(name);
    } else {
      SQInteger r = fs->AllocReg();
      fs->Emit(OP_LOADNULLS, r, 0, 0, 1);
      fs->DeclareLocal(name);
    }
    fs->freereg = fs->nactive();
    if (tok != ',') break;
    Lex();
  }
}

void SQCompiler::LocalStatement() {
  LocalDecls();
  OptionalSemicolon();
}

void SQCompiler::TryStatement() {
  Lex();
  SQInteger catchreg = fs->nactive();
  SQInteger trap = fs->Emit(OP_PUSHTRAP, catchreg, 0, 0, 0);
  fs->ntraps++;
  ScopedStatement();
  fs->ntraps--;
  fs->Emit(OP_POPTRAP, 0, 0, 0, 1);
  SQInteger jend = fs->Emit(OP_JMP);
  fs->PatchToHere(trap);
  if (tok != TK_CATCH) Error("expected 'catch'");
  Lex();
  Expect('(');
  Val name = ExpectIdent();
  Expect(')');
  SQInteger scope = fs->nactive();
  fs->DeclareLocal(name);
  ScopedStatement();
  fs->CloseScopeTo(scope);
  fs->PatchToHere(jend);
}

// The slot a "function" or "class" statement stores into: a plain name, or a
// field path "a.b.c" / "a::b"; `name` ends as the last identifier.
Exp SQCompiler::SlotPathTarget(Val &name) {
  name = ExpectIdent();
  Exp target = Identifier(name);
  if (tok != '.' && tok != TK_DOUBLE_COLON) {
    target.k = E_FIELDK;
    target.info = 0;
    target.key = fs->Literal(name);
    target.fallback = false;
  }
  while (tok == '.' || tok == TK_DOUBLE_COLON) {
    Lex();
    SQInteger obj = ToAnyReg(target);
    if (tok == TK_CONSTRUCTOR) {  // "function Toggle::constructor(s) {...}"
      name = val_str(str_new(ss, "constructor"));
      Lex();
    } else {
      name = ExpectIdent();
    }
    target = Exp();
    target.k = E_FIELDK;
    target.info = obj;
    target.key = fs->Literal(name);
  }
  return target;
}

// "function a.b.c(...)" and "function a::b(...)" store into a field path.
void SQCompiler::FunctionStatement() {
  Lex();
  Val name;
  Exp target = SlotPathTarget(name);
  Exp fn = FunctionExp(name, false);
  SQInteger vr = ToNextReg(fn);
  SQInteger k = fs->AllocReg();
  fs->Emit(OP_LOAD, k, 0, 0, target.key);
  fs->Emit(OP_NEWSLOT, target.info, k, vr);
  fs->freereg = fs->nactive();
}

void SQCompiler::ClassStatement() {
  Lex();
  Val name;
  Exp target = SlotPathTarget(name);
  if (target.k != E_FIELDK) Error("invalid class name");
  Exp cls = ClassExp();
  SQInteger vr = ToNextReg(cls);
  SQInteger k = fs->AllocReg();
  fs->Emit(OP_LOAD, k, 0, 0, target.key);
  fs->Emit(OP_NEWSLOT, target.info, k, vr);
  fs->freereg = fs->nactive();
}

void SQCompiler::EnumStatement() {
  Lex();
  Val name = ExpectIdent();
  Expect('{');
  SQTable *t = table_new(ss);
  Val tv(OT_TABLE, t);
  SQInteger counter = 0;
  while (tok != '}') {
    Val key = ExpectIdent();
    Val val;
    if (tok == '=') {
      Lex();
      val = ParseConstValue();
    } else {
      val = Val(counter++);
    }
    t->NewSlot(key, val);
    if (tok == ',') Lex();
  }
  Lex();
  ss->_consttable._unVal.pTable->NewSlot(name, tv);
}

void SQCompiler::ConstStatement() {
  Lex();
  Val name = ExpectIdent();
  Expect('=');
  Val val = ParseConstValue();
  OptionalSemicolon();
  ss->_consttable._unVal.pTable->NewSlot(name, val);
}

// ---------------------------------------------------------------- entry
void SQCompiler::CompileMain(Val &out) {
  fs = new SQFuncState(ss, nullptr);
  std::unique_ptr<SQFuncState> holder(fs);
  fs->proto->_name = val_str(str_new(ss, "main"));
  fs->proto->_source = sourcename;
  fs->proto->_varparams = true;
  fs->proto->_nparams = 1;
  fs->DeclareLocal(val_str(str_new(ss, "vargv")));
  Lex();
  while (tok != TK_EOF) Statement();
  fs->SetLine(lex._line);
  fs->Emit(OP_RETURN, 0, 0);
  FinishProto(fs);
  out = fs->protoholder;
}

SQInteger SQFuncState::FindOuterNoAdd(SQString *name) const {
  for (size_t i = 0; i < proto->_outers.size(); i++)
    if (proto->_outers[i].name._unVal.pString == name) return (SQInteger)i;
  for (const SQFuncState *p = parent; p; p = p->parent) {
    if (p->FindLocal(name) > 0) return 0;
    for (size_t i = 0; i < p->proto->_outers.size(); i++)
      if (p->proto->_outers[i].name._unVal.pString == name) return 0;
  }
  return -1;
}

bool sq_compile_source(SQVM *v, SQLEXREADFUNC read, SQUserPointer up, const char *sourcename, bool raiseerror,
                       Val &out) {
  SQCompiler c;
  c.v = v;
  c.ss = v->_shared;
  c.sourcename = val_str(str_new(c.ss, sourcename));
  try {
    c.lex.Init(v, read, up);
    Val proto;
    c.CompileMain(proto);
    out = Val(OT_CLOSURE, closure_new(c.ss, proto._unVal.pFunctionProto, v));
    return true;
  } catch (SQCompileError &e) {
    if (raiseerror && c.ss->_compilererrorhandler)
      c.ss->_compilererrorhandler(v, e.msg.c_str(), sourcename, e.line, e.col);
    v->_lasterror = val_str(str_new(c.ss, e.msg.c_str()));
    return false;
  }
}
