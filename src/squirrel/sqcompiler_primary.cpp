// sqcompiler_primary.cpp: postfix and primary expressions, calls, identifier resolution,
// table literals, function bodies and class bodies.
#include "sqcompiler.h"

Exp SQCompiler::Postfix() {
  Exp e = Primary();
  for (;;) {
    switch (tok) {
      case '.': {
        Lex();
        Val name;
        if (tok == TK_IDENTIFIER) {
          name = ExpectIdent();
        } else if (tok == TK_CONSTRUCTOR) {
          name = val_str(str_new(ss, "constructor"));
          Lex();
        } else {
          Error("expected 'IDENTIFIER'");
        }
        bool frombase = e.k == E_BASE;
        SQInteger obj = ToAnyReg(e);
        Exp f;
        f.k = E_FIELDK;
        f.info = obj;
        f.key = fs->Literal(name);
        f.fallback = obj == 0;
        f.frombase = frombase;
        e = f;
        break;
      }
      case '[': {
        Lex();
        bool frombase = e.k == E_BASE;
        SQInteger obj = ToAnyReg(e);
        Exp k = Expression();
        Expect(']');
        Exp f;
        if (k.k == E_K) {
          f.k = E_FIELDK;
          f.key = k.info;
        } else {
          f.k = E_FIELD;
          f.key = ToAnyReg(k);
        }
        f.info = obj;
        f.fallback = obj == 0;
        f.frombase = frombase;
        e = f;
        break;
      }
      case '(':
        e = Call(e);
        break;
      case TK_PLUSPLUS:
      case TK_MINUSMINUS: {
        if (lex._newlinebefore) return e;
        SQInteger d = tok == TK_PLUSPLUS ? 1 : -1;
        Lex();
        e = IncDec(e, d, true, false);
        break;
      }
      default:
        return e;
    }
  }
}

Exp SQCompiler::Call(Exp &f) {
  SQInteger F;
  if (f.k == E_FIELD || f.k == E_FIELDK) {
    bool objtemp = IsTemp(f.info);
    bool keytemp = f.k == E_FIELD && IsTemp(f.key);
    if (objtemp)
      F = f.info;
    else if (keytemp)
      F = f.key;
    else
      F = fs->freereg;
    fs->freereg = F;
    fs->AllocReg();
    fs->AllocReg();
    if (f.k == E_FIELDK)
      fs->Emit(OP_PREPCALLK, F, f.info, f.fallback ? 1 : 0, f.key);
    else
      fs->Emit(OP_PREPCALL, F, f.info, f.key, f.fallback ? 1 : 0);
    if (f.frombase) fs->Emit(OP_MOVE, F + 1, 0);
  } else {
    F = ToNextReg(f);
    SQInteger t = fs->AllocReg();
    fs->Emit(OP_MOVE, t, 0);
  }
  Expect('(');
  SQInteger nargs = 1;
  while (tok != ')') {
    Exp a = Expression();
    ToNextReg(a);
    nargs++;
    if (tok == ',') {
      Lex();
      if (tok == ')') Error("expression expected, found ')'");
    } else if (tok != ')') {
      Error("expected ')'");
    }
  }
  Lex();
  fs->lastcallpc = fs->Emit(OP_CALL, F, F, nargs);
  fs->freereg = F + 1;
  return RegExp(F);
}

Exp SQCompiler::Identifier(const Val &name) {
  Exp e;
  SQString *s = name._unVal.pString;
  SQInteger l = fs->FindLocal(s);
  if (l > 0) {
    e.k = E_LOCAL;
    e.info = l;
    return e;
  }
  SQInteger o = fs->FindOuter(s);
  if (o >= 0) {
    e.k = E_OUTER;
    e.info = o;
    return e;
  }
  e.k = E_FIELDK;
  e.info = 0;
  e.key = fs->Literal(name);
  e.fallback = true;
  return e;
}

Exp SQCompiler::Primary() {
  Exp e;
  switch (tok) {
    case TK_IDENTIFIER: {
      Val name = CurString();
      if (fs->FindLocal(name._unVal.pString) <= 0 && fs->FindOuterNoAdd(name._unVal.pString) < 0 &&
          ConstLookup(name._unVal.pString, e))
        return e;
      Lex();
      return Identifier(name);
    }
    case TK_THIS:
      Lex();
      e.k = E_REG;
      e.info = 0;
      return e;
    case TK_BASE:
      Lex();
      e.k = E_BASE;
      return e;
    case TK_DOUBLE_COLON: {
      Lex();
      SQInteger r = fs->AllocReg();
      fs->Emit(OP_LOADROOT, r);
      Val name = ExpectIdent();
      e.k = E_FIELDK;
      e.info = r;
      e.key = fs->Literal(name);
      return e;
    }
    case TK_INTEGER:
      e.k = E_INT;
      e.ival = lex._ival;
      Lex();
      return e;
    case TK_FLOAT:
      e.k = E_FLT;
      e.fval = lex._fval;
      Lex();
      return e;
    case TK_STRING_LITERAL:
      e.k = E_K;
      e.info = fs->StringLiteral(lex._buf.data(), (SQInteger)lex._buf.size());
      Lex();
      return e;
    case TK_NULL: Lex(); e.k = E_NULL; return e;
    case TK_TRUE: Lex(); e.k = E_TRUE; return e;
    case TK_FALSE: Lex(); e.k = E_FALSE; return e;
    case TK___LINE__:
      e.k = E_INT;
      e.ival = lex._tokline;
      Lex();
      return e;
    case TK___FILE__:
      e.k = E_K;
      e.info = fs->Literal(sourcename);
      Lex();
      return e;
    case '(': {
      Lex();
      Exp in = CommaExpression();
      Expect(')');
      return in;
    }
    case '[': {
      Lex();
      SQInteger r = fs->AllocReg();
      SQInteger pc = fs->Emit(OP_NEWARRAY, r, 0, 0, 0);
      SQInteger n = 0;
      while (tok != ']') {
        Exp item = Expression();
        SQInteger ir = ToAnyReg(item);
        fs->Emit(OP_APPEND, r, ir);
        fs->FreeExp(item);
        n++;
        if (tok == ',') Lex();
      }
      Lex();
      fs->At(pc).x = (int32_t)n;
      return RegExp(r);
    }
    case '{': {
      Lex();
      SQInteger r = fs->AllocReg();
      SQInteger pc = fs->Emit(OP_NEWTABLE, r, 0, 0, 0);
      SQInteger n = TableBody(r, '}');
      fs->At(pc).x = (int32_t)n;
      return RegExp(r);
    }
    case TK_FUNCTION: {
      Lex();
      return FunctionExp(Val(), false);
    }
    case '@': {
      Lex();
      return FunctionExp(Val(), true);
    }
    case TK_CLASS: {
      Lex();
      return ClassExp();
    }
    case '-':
    case '!':
    case '~':
      return Unary();
    default:
      Error("expression expected");
  }
}

// Parses "key = value" items up to `close`; returns how many.
SQInteger SQCompiler::TableBody(SQInteger r, int close) {
  SQInteger n = 0;
  while (tok != close) {
    SQInteger k = fs->AllocReg();
    if (tok == TK_FUNCTION) {
      Lex();
      Val name = ExpectIdent();
      fs->Emit(OP_LOAD, k, 0, 0, fs->Literal(name));
      Exp fn = FunctionExp(name, false);
      SQInteger vr = ToAnyReg(fn);
      fs->Emit(OP_NEWSLOT, r, k, vr);
      fs->FreeExp(fn);
    } else {
      if (tok == '[') {
        Lex();
        Exp ke = Expression();
        ToRegAfter(ke, k);
        fs->AllocReg();
        Expect(']');
        Expect('=');
      } else if (tok == TK_STRING_LITERAL && close == '}') {
        fs->Emit(OP_LOAD, k, 0, 0, fs->StringLiteral(lex._buf.data(), (SQInteger)lex._buf.size()));
        Lex();
        Expect(':');
      } else {
        Val name;
        if (tok == TK_CONSTRUCTOR) {
          name = val_str(str_new(ss, "constructor"));
          Lex();
        } else {
          name = ExpectIdent();
        }
        fs->Emit(OP_LOAD, k, 0, 0, fs->Literal(name));
        Expect('=');
      }
      Exp val = Expression();
      SQInteger vr = ToAnyReg(val);
      fs->Emit(OP_NEWSLOT, r, k, vr);
      fs->FreeExp(val);
    }
    fs->FreeReg(k);
    n++;
    if (tok == ',') Lex();
  }
  Lex();
  return n;
}

// ------------------------------------------------------------ functions
Exp SQCompiler::FunctionExp(const Val &name, bool lambda) {
  SQInteger line = lex._tokline;
  SQFuncState *child = new SQFuncState(ss, fs);
  std::unique_ptr<SQFuncState> holder(child);
  child->proto->_name = name;
  child->proto->_source = sourcename;
  child->proto->_line = line;
  Expect('(');
  SQInteger firstdefault = -1, ndefaults = 0;
  while (tok != ')') {
    if (tok == TK_VARPARAMS) {
      Lex();
      child->proto->_varparams = true;
      if (tok != ')') Error("expected ')'");
      break;
    }
    Val pname = ExpectIdent();
    child->DeclareLocal(pname);
    child->proto->_paramnames.push_back(pname);
    if (tok == '=') {
      Lex();
      Exp d = Expression();  // evaluated in the enclosing function
      SQInteger r = ToNextReg(d);
      if (firstdefault < 0) firstdefault = r;
      ndefaults++;
    } else if (ndefaults > 0) {
      Error("expected '='");
    }
    if (tok == ',') {
      Lex();
    } else if (tok != ')') {
      Error("expected ')' or ','");
    }
  }
  Lex();
  child->proto->_nparams = child->nactive();
  child->proto->_ndefaults = ndefaults;
  if (child->proto->_varparams) {
    Val vn = val_str(str_new(ss, "vargv"));
    child->DeclareLocal(vn);
    child->proto->_paramnames.push_back(vn);
  }
  SQFuncState *saved = fs;
  fs = child;
  if (lambda) {
    SQInteger l = lex._tokline;
    fs->SetLine(l);
    Exp body = Expression();
    ReturnValue(body);
  } else {
    Statement();  // usually a block, but any single statement is a valid body
  }
  fs->SetLine(lex._prevline);
  fs->Emit(OP_RETURN, 0, 0);
  FinishProto(fs);
  fs = saved;
  SQInteger idx = (SQInteger)fs->proto->_functions.size();
  fs->proto->_functions.push_back(child->protoholder);
  fs->hasclosures = true;
  if (ndefaults > 0) fs->freereg = firstdefault;
  SQInteger pc = fs->Emit(OP_CLOSURE, 0, ndefaults > 0 ? firstdefault : 0, 0, idx);
  return RelocExp(pc);
}

void SQCompiler::FinishProto(SQFuncState *f) {
  f->CloseScopeTo(1);
  SQFunctionProto *p = f->proto;
  SQLocalInfo self;
  self.name = f->locals[0].name;
  self.reg = 0;
  self.startpc = 0;
  self.endpc = f->pc();
  p->_locals.insert(p->_locals.begin(), self);
  p->_stacksize = f->maxreg + 2;
  p->_ic.resize(p->_code.size());
}

void SQCompiler::ReturnValue(Exp &e) {
  if (fs->ntraps == 0 && !fs->proto->_generator && e.k == E_REG && fs->lastcallpc >= 0 && fs->lastcallpc == fs->pc() - 1 &&
      fs->At(fs->lastcallpc).a == e.info) {
    SQInstr &ci = fs->At(fs->lastcallpc);
    ci.op = OP_TAILCALL;
    fs->Emit(OP_RETURN, e.info, 1);  // reached when the callee is not a script function
    fs->FreeExp(e);
    return;
  }
  SQInteger r = ToAnyReg(e);
  fs->Emit(OP_RETURN, r, 1);
  fs->FreeExp(e);
}

// ---------------------------------------------------------------- classes
Exp SQCompiler::ClassExp() {
  SQInteger base = NOREG, attrs = NOREG;
  SQInteger r = fs->AllocReg();
  if (tok == TK_EXTENDS) {
    Lex();
    Exp b = Expression();
    base = ToNextReg(b);
  }
  if (tok == TK_ATTR_OPEN) {
    Lex();
    attrs = fs->AllocReg();
    SQInteger pc = fs->Emit(OP_NEWTABLE, attrs, 0, 0, 0);
    fs->At(pc).x = (int32_t)TableBody(attrs, TK_ATTR_CLOSE);
  }
  fs->Emit(OP_CLASS, r, base, attrs);
  fs->freereg = r + 1;
  Expect('{');
  while (tok != '}') {
    SQInteger mattrs = NOREG;
    if (tok == TK_ATTR_OPEN) {
      Lex();
      mattrs = fs->AllocReg();
      SQInteger pc = fs->Emit(OP_NEWTABLE, mattrs, 0, 0, 0);
      fs->At(pc).x = (int32_t)TableBody(mattrs, TK_ATTR_CLOSE);
    }
    bool isstatic = false;
    if (tok == TK_STATIC) {
      isstatic = true;
      Lex();
    }
    SQInteger k = fs->AllocReg();
    SQInteger vr;
    if (tok == TK_FUNCTION || tok == TK_CONSTRUCTOR) {
      Val name;
      if (tok == TK_FUNCTION) {
        Lex();
        name = ExpectIdent();
      } else {
        Lex();
        name = val_str(str_new(ss, "constructor"));
      }
      fs->Emit(OP_LOAD, k, 0, 0, fs->Literal(name));
      Exp fn = FunctionExp(name, false);
      vr = ToNextReg(fn);
    } else {
      if (tok == '[') {
        Lex();
        Exp ke = Expression();
        ToRegAfter(ke, k);
        fs->AllocReg();
        Expect(']');
      } else {
        Val name = ExpectIdent();
        fs->Emit(OP_LOAD, k, 0, 0, fs->Literal(name));
      }
      Expect('=');
      Exp val = Expression();
      vr = ToNextReg(val);
    }
    fs->Emit(OP_NEWMEMBER, r, k, vr, (mattrs == NOREG ? 0xFF : mattrs) | (isstatic ? 0x100 : 0));
    fs->freereg = r + 1;
    if (tok == ';' || tok == ',') Lex();
  }
  Lex();
  return RegExp(r);
}
