// sqcompiler_expr.cpp: errors, token helpers, materialisation of expression descriptors,
// constants, assignment and the operator precedence levels.
#include "sqcompiler.h"

// ---------------------------------------------------------------- helpers
void SQCompiler::Error(const char *fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  throw SQCompileError{buf, lex._tokline, lex._tokcol};
}

std::string SQCompiler::TokStr(int t) {
  if (t < 256) {
    if (t == 0) return "end of file";
    return std::string(1, (char)t);
  }
  const char *s = SQLexer::TokenText(t);
  return s ? s : "?";
}

void SQCompiler::Expect(int t) {
  if (tok != t) {
    if (t == TK_IDENTIFIER && tok >= 256 && SQLexer::TokenText(tok) && tok != TK_STRING_LITERAL &&
        tok != TK_INTEGER && tok != TK_FLOAT)
      Error("expected 'IDENTIFIER'");
    Error("expected '%s'", TokStr(t).c_str());
  }
  Lex();
}

Val SQCompiler::ExpectIdent() {
  if (tok != TK_IDENTIFIER) Error("expected 'IDENTIFIER'");
  Val s = val_str(str_new(ss, lex._buf.data(), (SQInteger)lex._buf.size()));
  Lex();
  return s;
}

bool SQCompiler::IsEndOfStatement() {
  return lex._newlinebefore || tok == TK_EOF || tok == '}' || tok == ';';
}

void SQCompiler::OptionalSemicolon() {
  if (tok == ';') {
    Lex();
    return;
  }
  // A statement that ends with '}' ("local t = {a = 1} print(t.a)") needs no separator,
  // nor does the body of an if before its else ("if (x) f() else g()").
  if (!IsEndOfStatement() && lex._prevtoken != '}' && tok != TK_ELSE)
    Error("end of statement expected (; or lf)");
}

// ------------------------------------------------------- materialisation
void SQCompiler::Discharge(Exp &e) {
  switch (e.k) {
    case E_OUTER: {
      SQInteger pc = fs->Emit(OP_GETOUTER, 0, 0, 0, e.info);
      e.k = E_RELOC;
      e.info = pc;
      break;
    }
    case E_FIELD: {
      fs->FreeExp(e);
      SQInteger pc = fs->Emit(OP_GET, 0, e.info, e.key, e.fallback ? 1 : 0);
      e.k = E_RELOC;
      e.info = pc;
      break;
    }
    case E_FIELDK: {
      fs->FreeExp(e);
      SQInteger pc = fs->Emit(OP_GETK, 0, e.info, e.fallback ? 1 : 0, e.key);
      e.k = E_RELOC;
      e.info = pc;
      break;
    }
    case E_BASE: {
      SQInteger pc = fs->Emit(OP_GETBASE, 0);
      e.k = E_RELOC;
      e.info = pc;
      break;
    }
    default:
      break;
  }
}

// Puts the value into register `r` (r must be allocated by the caller).
void SQCompiler::ToReg(Exp &e, SQInteger r) {
  Discharge(e);
  switch (e.k) {
    case E_NULL: fs->Emit(OP_LOADNULLS, r, 0, 0, 1); break;
    case E_TRUE: fs->Emit(OP_LOADBOOL, r, 0, 0, 1); break;
    case E_FALSE: fs->Emit(OP_LOADBOOL, r, 0, 0, 0); break;
    case E_INT: fs->Emit(OP_LOADINT, r, 0, 0, e.ival); break;
    case E_FLT: {
      int32_t bits;
      memcpy(&bits, &e.fval, 4);
      fs->Emit(OP_LOADFLOAT, r, 0, 0, bits);
      break;
    }
    case E_K: fs->Emit(OP_LOAD, r, 0, 0, e.info); break;
    case E_REG:
    case E_LOCAL:
      if (e.info != r) fs->Emit(OP_MOVE, r, e.info);
      break;
    case E_RELOC: fs->At(e.info).a = (uint8_t)r; break;
    case E_VOID: fs->Emit(OP_LOADNULLS, r, 0, 0, 1); break;
    default: break;
  }
  e.k = E_REG;
  e.info = r;
}

// Value into a fresh register on top of the temporaries.
SQInteger SQCompiler::ToNextReg(Exp &e) {
  Discharge(e);
  if (e.k == E_REG && e.info >= fs->nactive() && e.info == fs->freereg - 1) return e.info;
  fs->FreeExp(e);
  SQInteger r = fs->AllocReg();
  ToReg(e, r);
  return r;
}

// Value in any register (locals are used in place).
SQInteger SQCompiler::ToAnyReg(Exp &e) {
  Discharge(e);
  if (e.k == E_REG || e.k == E_LOCAL) return e.info;
  return ToNextReg(e);
}

Exp SQCompiler::RegExp(SQInteger r) {
  Exp e;
  e.k = E_REG;
  e.info = r;
  return e;
}

Exp SQCompiler::RelocExp(SQInteger pc) {
  Exp e;
  e.k = E_RELOC;
  e.info = pc;
  return e;
}

// Moves a result computed in register `val` (above the temporaries of `target`) down
// to the lowest free register after releasing the target's registers.
Exp SQCompiler::ResultAfterStore(const Exp &target, SQInteger val, bool discard) {
  bool valtemp = IsTemp(val);
  if (valtemp) fs->FreeReg(val);
  fs->FreeExp(target);
  if (discard) return Exp();
  if (!valtemp) return RegExp(val);
  SQInteger r = fs->AllocReg();
  if (r != val) fs->Emit(OP_MOVE, r, val);
  return RegExp(r);
}

// ------------------------------------------------------------ constants
// Const-table lookup for an identifier (enums resolve their member here too).
bool SQCompiler::ConstLookup(SQString *name, Exp &out) {
  SQTable *ct = ss->_consttable._unVal.pTable;
  Val *cv = ct->GetStr(name);
  if (!cv) return false;
  Val c = *cv;
  if (c._type == OT_TABLE) {  // enum
    Lex();
    if (tok != '.') Error("invalid use of an enum [%s]", name->_val);
    Lex();
    Val member = ExpectIdent();
    Val *mv = c._unVal.pTable->GetStr(member._unVal.pString);
    if (!mv) Error("invalid constant [%s.%s]", name->_val, member._unVal.pString->_val);
    ConstToExp(*mv, out);
    return true;
  }
  Lex();
  ConstToExp(c, out);
  return true;
}

void SQCompiler::ConstToExp(const SQObject &c, Exp &out) {
  switch (c._type) {
    case OT_INTEGER: out.k = E_INT; out.ival = c._unVal.nInteger; break;
    case OT_FLOAT: out.k = E_FLT; out.fval = c._unVal.fFloat; break;
    case OT_BOOL: out.k = c._unVal.nInteger ? E_TRUE : E_FALSE; break;
    case OT_NULL: out.k = E_NULL; break;
    default: out.k = E_K; out.info = fs->Literal(c); break;
  }
}

Val SQCompiler::ParseConstValue() {
  bool neg = false;
  if (tok == '-') {
    neg = true;
    Lex();
  }
  Val r;
  switch (tok) {
    case TK_INTEGER: r = Val((SQInteger)(neg ? (SQInteger)(0u - (uint32_t)lex._ival) : lex._ival)); break;
    case TK_FLOAT: r = Val(neg ? -lex._fval : lex._fval); break;
    case TK_STRING_LITERAL:
      if (neg) Error("scalar expected : integer,float or string");
      r = CurString();
      break;
    case TK_TRUE: r = Val(true); break;
    case TK_FALSE: r = Val(false); break;
    case TK_NULL: break;
    case TK___LINE__: r = Val((SQInteger)lex._tokline); break;
    case TK___FILE__: r = sourcename; break;
    case TK_IDENTIFIER: {
      Val *cv = ss->_consttable._unVal.pTable->GetStr(CurString()._unVal.pString);
      if (cv && cv->_type != OT_TABLE) {
        r = *cv;
        if (neg) {
          if (r._type == OT_INTEGER) r = Val((SQInteger)(0u - (uint32_t)r._unVal.nInteger));
          else if (r._type == OT_FLOAT) r = Val(-r._unVal.fFloat);
        }
        break;
      }
      Error("scalar expected : integer,float or string");
    }
    default:
      Error("scalar expected : integer,float or string");
  }
  Lex();
  return r;
}

// ---------------------------------------------------------- expressions
Exp SQCompiler::Expression(bool discard) {
  Nest nest(this);
  Exp e = LogicalOr();
  switch (tok) {
    case '=':
    case TK_NEWSLOT:
    case TK_PLUSEQ:
    case TK_MINUSEQ:
    case TK_MULEQ:
    case TK_DIVEQ:
    case TK_MODEQ: {
      int op = tok;
      Lex();
      return Assign(e, op, discard);
    }
    case '?': {
      Lex();
      SQInteger jf = JumpIfFalse(e);
      fs->freereg = fs->freereg < fs->nactive() ? fs->nactive() : fs->freereg;
      SQInteger r = fs->AllocReg();
      fs->FreeReg(r);
      Exp a = Expression();
      ToRegAfter(a, r);
      SQInteger jend = fs->Emit(OP_JMP);
      if (jf >= 0) fs->PatchToHere(jf);
      Expect(':');
      Exp b = Expression();
      ToRegAfter(b, r);
      fs->PatchToHere(jend);
      fs->freereg = r;
      fs->AllocReg();
      return RegExp(r);
    }
    default:
      return e;
  }
}

Exp SQCompiler::CommaExpression() {
  SQInteger base = fs->freereg;
  Exp e = Expression();
  while (tok == ',') {
    Lex();
    // Only the side effects of the earlier operands remain (a pending GET still runs).
    Discharge(e);
    if (e.k == E_RELOC) ToNextReg(e);
    fs->freereg = base;
    e = Expression();
  }
  return e;
}

// Evaluates e (whose temporaries sit at or above r) into register r and frees them.
void SQCompiler::ToRegAfter(Exp &e, SQInteger r) {
  Discharge(e);
  if (e.k == E_RELOC) {
    fs->At(e.info).a = (uint8_t)r;
  } else if (e.k == E_REG || e.k == E_LOCAL) {
    if (e.info != r) fs->Emit(OP_MOVE, r, e.info);
    fs->FreeExp(e);
  } else {
    ToReg(e, r);
  }
  fs->freereg = r;
  if (fs->freereg < fs->nactive()) fs->freereg = fs->nactive();
}

int SQCompiler::ArithOpFor(int assignop) {
  switch (assignop) {
    case TK_PLUSEQ: return OP_ADD;
    case TK_MINUSEQ: return OP_SUB;
    case TK_MULEQ: return OP_MUL;
    case TK_DIVEQ: return OP_DIV;
    default: return OP_MOD;
  }
}

Exp SQCompiler::Assign(Exp &e, int op, bool discard) {
  switch (e.k) {
    case E_LOCAL: {
      if (op == TK_NEWSLOT) Error("can't 'create' a local slot");
      Exp rhs = Expression();
      if (op == '=') {
        Discharge(rhs);
        if (rhs.k == E_RELOC) {
          fs->At(rhs.info).a = (uint8_t)e.info;
        } else {
          SQInteger r = ToAnyReg(rhs);
          if (r != e.info) fs->Emit(OP_MOVE, e.info, r);
          fs->FreeExp(rhs);
        }
      } else {
        SQInteger r = ToAnyReg(rhs);
        fs->FreeExp(rhs);
        fs->Emit(ArithOpFor(op), e.info, e.info, r);
      }
      return RegExp(e.info);
    }
    case E_OUTER: {
      if (op == TK_NEWSLOT) Error("can't 'create' a local slot");
      if (op == '=') {
        Exp rhs = Expression();
        SQInteger r = ToAnyReg(rhs);
        fs->Emit(OP_SETOUTER, r, 0, 0, e.info);
        fs->FreeExp(rhs);
        if (discard) return Exp();
        Exp res = RegExp(r);
        if (IsTemp(r)) fs->AllocReg();
        return res;
      }
      SQInteger t = fs->AllocReg();
      fs->Emit(OP_GETOUTER, t, 0, 0, e.info);
      Exp rhs = Expression();
      SQInteger r = ToAnyReg(rhs);
      fs->FreeExp(rhs);
      fs->Emit(ArithOpFor(op), t, t, r);
      fs->Emit(OP_SETOUTER, t, 0, 0, e.info);
      return RegExp(t);
    }
    case E_FIELD:
    case E_FIELDK: {
      if (op == TK_NEWSLOT) {
        Exp rhs = Expression();
        SQInteger r = ToAnyReg(rhs);
        SQInteger key = e.key;
        if (e.k == E_FIELDK) {
          key = fs->AllocReg();
          fs->Emit(OP_LOAD, key, 0, 0, e.key);
          fs->Emit(OP_NEWSLOT, e.info, key, r);
          fs->FreeReg(key);
        } else {
          fs->Emit(OP_NEWSLOT, e.info, key, r);
        }
        return ResultAfterStore(e, r, discard);
      }
      if (op == '=') {
        Exp rhs = Expression();
        SQInteger r = ToAnyReg(rhs);
        if (e.k == E_FIELDK)
          fs->Emit(OP_SETK, e.info, e.fallback ? 1 : 0, r, e.key);
        else
          fs->Emit(OP_SET, e.info, e.key, r, e.fallback ? 1 : 0);
        return ResultAfterStore(e, r, discard);
      }
      SQInteger t = fs->AllocReg();
      if (e.k == E_FIELDK)
        fs->Emit(OP_GETK, t, e.info, e.fallback ? 1 : 0, e.key);
      else
        fs->Emit(OP_GET, t, e.info, e.key, e.fallback ? 1 : 0);
      Exp rhs = Expression();
      SQInteger r = ToAnyReg(rhs);
      fs->FreeExp(rhs);
      fs->Emit(ArithOpFor(op), t, t, r);
      if (e.k == E_FIELDK)
        fs->Emit(OP_SETK, e.info, e.fallback ? 1 : 0, t, e.key);
      else
        fs->Emit(OP_SET, e.info, e.key, t, e.fallback ? 1 : 0);
      return ResultAfterStore(e, t, discard);
    }
    default:
      Error("can't assign expression");
  }
}

Exp SQCompiler::LogicalOr() {
  Exp e = LogicalAnd();
  while (tok == TK_OR) {
    Lex();
    SQInteger r = ToNextReg(e);
    SQInteger j = fs->Emit(OP_JNZ, r, 0, 0, 0);
    fs->FreeReg(r);
    Exp rhs = LogicalAnd();
    ToRegAfter(rhs, r);
    fs->PatchToHere(j);
    fs->AllocReg();
    e = RegExp(r);
  }
  return e;
}

Exp SQCompiler::LogicalAnd() {
  Exp e = BitOr();
  while (tok == TK_AND) {
    Lex();
    SQInteger r = ToNextReg(e);
    SQInteger j = fs->Emit(OP_JZ, r, 0, 0, 0);
    fs->FreeReg(r);
    Exp rhs = BitOr();
    ToRegAfter(rhs, r);
    fs->PatchToHere(j);
    fs->AllocReg();
    e = RegExp(r);
  }
  return e;
}

Exp SQCompiler::Binary(Exp &l, int op, Exp &r) {
  // The right operand was parsed last: discharge it first so its temporaries are freed
  // before a constant left operand takes a register.
  SQInteger rr = ToAnyReg(r);
  SQInteger rl = ToAnyReg(l);
  if (rr > rl) {
    fs->FreeExp(r);
    fs->FreeExp(l);
  } else {
    fs->FreeExp(l);
    fs->FreeExp(r);
  }
  return RelocExp(fs->Emit(op, 0, rl, rr));
}

// Left operands are evaluated before the right operand is parsed (evaluation order).
void SQCompiler::PrepLeft(Exp &e) {
  if (e.k == E_INT || e.k == E_FLT || e.k == E_K || e.k == E_NULL || e.k == E_TRUE || e.k == E_FALSE) return;
  ToAnyReg(e);
}

bool SQCompiler::FoldArith(Exp &l, int op, Exp &r) {
  if (l.k != E_INT || r.k != E_INT) return false;
  uint32_t a = (uint32_t)l.ival, b = (uint32_t)r.ival;
  switch (op) {
    case OP_ADD: l.ival = (SQInteger)(a + b); return true;
    case OP_SUB: l.ival = (SQInteger)(a - b); return true;
    case OP_MUL: l.ival = (SQInteger)(a * b); return true;
    default: return false;
  }
}

Exp SQCompiler::BitOr() {
  Exp e = BitXor();
  while (tok == '|') {
    Lex();
    PrepLeft(e);
    Exp r = BitXor();
    e = Binary(e, OP_BOR, r);
  }
  return e;
}

Exp SQCompiler::BitXor() {
  Exp e = BitAnd();
  while (tok == '^') {
    Lex();
    PrepLeft(e);
    Exp r = BitAnd();
    e = Binary(e, OP_BXOR, r);
  }
  return e;
}

Exp SQCompiler::BitAnd() {
  Exp e = Equality();
  while (tok == '&') {
    Lex();
    PrepLeft(e);
    Exp r = Equality();
    e = Binary(e, OP_BAND, r);
  }
  return e;
}

Exp SQCompiler::Equality() {
  Exp e = Compare();
  for (;;) {
    int op;
    switch (tok) {
      case TK_EQ: op = OP_EQ; break;
      case TK_NE: op = OP_NE; break;
      case TK_3WAYSCMP: op = OP_CMP3; break;
      default: return e;
    }
    Lex();
    PrepLeft(e);
    Exp r = Compare();
    e = Binary(e, op, r);
  }
}

Exp SQCompiler::Compare() {
  Exp e = Shift();
  for (;;) {
    int op;
    switch (tok) {
      case '<': op = OP_LT; break;
      case '>': op = OP_GT; break;
      case TK_LE: op = OP_LE; break;
      case TK_GE: op = OP_GE; break;
      case TK_IN: op = OP_IN; break;
      case TK_INSTANCEOF: op = OP_INSTANCEOF; break;
      default: return e;
    }
    Lex();
    PrepLeft(e);
    Exp r = Shift();
    e = Binary(e, op, r);
  }
}

Exp SQCompiler::Shift() {
  Exp e = Additive();
  for (;;) {
    int op;
    switch (tok) {
      case TK_SHIFTL: op = OP_SHL; break;
      case TK_SHIFTR: op = OP_SHR; break;
      case TK_USHIFTR: op = OP_USHR; break;
      default: return e;
    }
    Lex();
    PrepLeft(e);
    Exp r = Additive();
    e = Binary(e, op, r);
  }
}

Exp SQCompiler::Additive() {
  Exp e = Multiplicative();
  for (;;) {
    int op;
    switch (tok) {
      case '+': op = OP_ADD; break;
      case '-': op = OP_SUB; break;
      default: return e;
    }
    Lex();
    PrepLeft(e);
    Exp r = Multiplicative();
    if (FoldArith(e, op, r)) continue;
    if (r.k == E_INT && (e.k == E_REG || e.k == E_LOCAL || e.k == E_RELOC || e.k == E_OUTER ||
                         e.k == E_FIELD || e.k == E_FIELDK)) {
      SQInteger rl = ToAnyReg(e);
      fs->FreeExp(e);
      SQInteger imm = op == OP_ADD ? r.ival : (SQInteger)(0u - (uint32_t)r.ival);
      if (op == OP_SUB && r.ival == (SQInteger)0x80000000) {
        Exp rr = r;
        e = RegExp(rl);
        e = Binary(e, op, rr);
        continue;
      }
      e = RelocExp(fs->Emit(OP_ADDI, 0, rl, 0, imm));
      continue;
    }
    e = Binary(e, op, r);
  }
}

Exp SQCompiler::Multiplicative() {
  Exp e = Unary();
  for (;;) {
    int op;
    switch (tok) {
      case '*': op = OP_MUL; break;
      case '/': op = OP_DIV; break;
      case '%': op = OP_MOD; break;
      default: return e;
    }
    Lex();
    PrepLeft(e);
    Exp r = Unary();
    if (FoldArith(e, op, r)) continue;
    e = Binary(e, op, r);
  }
}

Exp SQCompiler::UnaryOp(int op) {
  Lex();
  Exp e = Unary();
  SQInteger r = ToAnyReg(e);
  fs->FreeExp(e);
  return RelocExp(fs->Emit(op, 0, r));
}

Exp SQCompiler::Unary() {
  Nest nest(this);
  switch (tok) {
    case '-': {
      Lex();
      Exp e = Unary();
      if (e.k == E_INT) {
        e.ival = (SQInteger)(0u - (uint32_t)e.ival);
        return e;
      }
      if (e.k == E_FLT) {
        e.fval = -e.fval;
        return e;
      }
      SQInteger r = ToAnyReg(e);
      fs->FreeExp(e);
      return RelocExp(fs->Emit(OP_UNM, 0, r));
    }
    case '!': return UnaryOp(OP_NOT);
    case '~': {
      Lex();
      Exp e = Unary();
      if (e.k == E_INT) {
        e.ival = ~e.ival;
        return e;
      }
      SQInteger r = ToAnyReg(e);
      fs->FreeExp(e);
      return RelocExp(fs->Emit(OP_BNOT, 0, r));
    }
    case TK_TYPEOF: return UnaryOp(OP_TYPEOF);
    case TK_CLONE: return UnaryOp(OP_CLONE);
    case TK_RESUME: return UnaryOp(OP_RESUME);
    case TK_DELETE: {
      Lex();
      Exp e = Unary();
      if (e.k != E_FIELD && e.k != E_FIELDK) Error("can't delete an expression");
      SQInteger key = e.key;
      if (e.k == E_FIELDK) {
        key = fs->AllocReg();
        fs->Emit(OP_LOAD, key, 0, 0, e.key);
        fs->FreeReg(key);
      }
      fs->FreeExp(e);
      return RelocExp(fs->Emit(OP_DELETE, 0, e.info, key));
    }
    case TK_PLUSPLUS:
    case TK_MINUSMINUS: {
      SQInteger d = tok == TK_PLUSPLUS ? 1 : -1;
      Lex();
      Exp e = Unary();
      return IncDec(e, d, false, false);
    }
    default:
      return Postfix();
  }
}

Exp SQCompiler::IncDec(Exp &e, SQInteger d, bool postfix, bool discard) {
  switch (e.k) {
    case E_LOCAL:
      if (postfix && !discard) {
        SQInteger t = fs->AllocReg();
        fs->Emit(OP_MOVE, t, e.info);
        fs->Emit(OP_ADDI, e.info, e.info, 0, d);
        return RegExp(t);
      }
      fs->Emit(OP_ADDI, e.info, e.info, 0, d);
      return RegExp(e.info);
    case E_OUTER: {
      SQInteger t = fs->AllocReg();
      fs->Emit(OP_GETOUTER, t, 0, 0, e.info);
      if (postfix) {
        SQInteger t2 = fs->AllocReg();
        fs->Emit(OP_ADDI, t2, t, 0, d);
        fs->Emit(OP_SETOUTER, t2, 0, 0, e.info);
        fs->FreeReg(t2);
      } else {
        fs->Emit(OP_ADDI, t, t, 0, d);
        fs->Emit(OP_SETOUTER, t, 0, 0, e.info);
      }
      return RegExp(t);
    }
    case E_FIELD:
    case E_FIELDK: {
      SQInteger t = fs->AllocReg();
      if (e.k == E_FIELDK)
        fs->Emit(OP_GETK, t, e.info, e.fallback ? 1 : 0, e.key);
      else
        fs->Emit(OP_GET, t, e.info, e.key, e.fallback ? 1 : 0);
      SQInteger nv = t;
      if (postfix) nv = fs->AllocReg();
      fs->Emit(OP_ADDI, nv, t, 0, d);
      if (e.k == E_FIELDK)
        fs->Emit(OP_SETK, e.info, e.fallback ? 1 : 0, nv, e.key);
      else
        fs->Emit(OP_SET, e.info, e.key, nv, e.fallback ? 1 : 0);
      if (postfix) fs->FreeReg(nv);
      return ResultAfterStore(e, t, discard);
    }
    default:
      Error("can't '++' or '--' an expression");
  }
}
