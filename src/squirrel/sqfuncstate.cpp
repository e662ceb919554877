// sqfuncstate.cpp: registers, literals, locals, outers and jumps for one function being
// compiled (see the register discipline in sqfuncstate.h).
#include "sqfuncstate.h"

SQFuncState::SQFuncState(SQSharedState *s, SQFuncState *p) : parent(p), ss(s) {
  proto = new SQFunctionProto();
  protoholder = Val(OT_FUNCPROTO, proto);
  Local self;
  self.name = val_str(str_new(ss, "this"));
  self.reg = 0;
  self.startpc = 0;
  locals.push_back(self);
  freereg = 1;
  maxreg = 1;
}

// Blocks still open here belong to a compilation abandoned by an error.
SQFuncState::~SQFuncState() {
  for (SQBlock *b : blocks) delete b;
}

void SQFuncState::SetLine(SQInteger line) {
  if (line != lastline) {
    proto->_lines.push_back({pc(), line});
    lastline = line;
  }
}

SQInteger SQFuncState::Emit(int op, SQInteger a, SQInteger b, SQInteger c, SQInteger x) {
  SQInstr i;
  i.op = (uint8_t)op;
  i.a = (uint8_t)a;
  i.b = (uint8_t)b;
  i.c = (uint8_t)c;
  i.x = (int32_t)x;
  proto->_code.push_back(i);
  return pc() - 1;
}

void SQFuncState::PatchJump(SQInteger jpc, SQInteger target) {
  At(jpc).x = (int32_t)(target - (jpc + 1));
  if (target >= pc()) lastcallpc = -1;  // a jump lands after the call: no tail call
  if (target > lastjumptarget) lastjumptarget = target;
}

SQInteger SQFuncState::AllocReg() {
  SQInteger r = freereg++;
  if (freereg > maxreg) maxreg = freereg;
  if (freereg >= 250) throw SQCompileError{"too many locals or temporaries", 0, 0};
  return r;
}

void SQFuncState::FreeReg(SQInteger r) {
  if (r >= nactive() && r == freereg - 1) freereg--;
}

void SQFuncState::FreeExp(const Exp &e) {
  switch (e.k) {
    case E_REG:
    case E_LOCAL:
      FreeReg(e.info);
      break;
    case E_FIELD:
      if (e.key > e.info) {
        FreeReg(e.key);
        FreeReg(e.info);
      } else {
        FreeReg(e.info);
        FreeReg(e.key);
      }
      break;
    case E_FIELDK:
      FreeReg(e.info);
      break;
    default:
      break;
  }
}

SQInteger SQFuncState::Literal(const SQObject &o) {
  auto key = std::make_pair((int)o._type, (long long)o._unVal.raw);
  auto it = literalmap.find(key);
  if (it != literalmap.end()) return it->second;
  SQInteger idx = (SQInteger)proto->_literals.size();
  proto->_literals.push_back(Val(o));
  literalmap[key] = idx;
  return idx;
}

SQInteger SQFuncState::StringLiteral(const char *s, SQInteger len) {
  Val str = val_str(str_new(ss, s, len));
  return Literal(str);
}

SQInteger SQFuncState::DeclareLocal(const Val &name) {
  Local l;
  l.name = name;
  l.reg = nactive();
  l.startpc = pc();
  locals.push_back(l);
  if (freereg < nactive()) freereg = nactive();
  if (freereg > maxreg) maxreg = freereg;
  return l.reg;
}

SQInteger SQFuncState::FindLocal(const SQString *name) const {
  for (SQInteger i = nactive() - 1; i >= 0; i--)
    if (locals[i].name._type == OT_STRING && locals[i].name._unVal.pString == name) return i;
  return -1;
}

SQInteger SQFuncState::FindOuter(SQString *name) {
  for (size_t i = 0; i < proto->_outers.size(); i++)
    if (proto->_outers[i].name._unVal.pString == name) return (SQInteger)i;
  if (!parent) return -1;
  SQInteger l = parent->FindLocal(name);
  SQOuterInfo oi;
  oi.name = val_str(name);
  if (l > 0) {
    parent->locals[l].captured = true;
    oi.fromlocal = true;
    oi.index = parent->locals[l].reg;
  } else {
    SQInteger o = parent->FindOuter(name);
    if (o < 0) return -1;
    oi.fromlocal = false;
    oi.index = o;
  }
  proto->_outers.push_back(oi);
  return (SQInteger)proto->_outers.size() - 1;
}

void SQFuncState::CloseScopeTo(SQInteger n) {
  bool captured = false;
  while (nactive() > n) {
    Local &l = locals.back();
    if (l.captured) captured = true;
    SQLocalInfo li;
    li.name = l.name;
    li.reg = l.reg;
    li.startpc = l.startpc;
    li.endpc = pc();
    proto->_locals.push_back(li);
    locals.pop_back();
  }
  if (captured) Emit(OP_CLOSE, n);
  freereg = nactive();
}
