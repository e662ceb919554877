// sqstate.cpp: creation and destruction of the shared state and of threads (SQVM).
#include <cstdlib>

#include "sqlib_internal.h"
#include "sqstate.h"

namespace {
constexpr SQInteger kMainStackSlots = 1 << 20;
constexpr SQInteger kThreadStackSlots = 1 << 18;

// The sentinel heading the list of collectable objects.
struct GCSentinel final : SQCollectable {
  GCSentinel() : SQCollectable(nullptr, OT_NULL) {}
  void Destroy() override {}
  void Traverse(GCVisitor, void *) override {}
  void Clear() override {}
};

const char *const kMetaNames[MT_LAST] = {"_add",     "_sub",    "_mul",    "_div",       "_unm",      "_modulo",
                                         "_set",     "_get",    "_typeof", "_nexti",     "_cmp",      "_call",
                                         "_cloned",  "_newslot", "_delslot", "_tostring", "_newmember", "_inherited"};
}  // namespace

SQInteger SQSharedState::Delegate(SQObjectType t) const { return __builtin_ctz((unsigned)_RAW_TYPE(t)); }

SQTable *table_new(SQSharedState *ss, SQInteger cap) { return new SQTable(ss, cap); }
SQArray *array_new(SQSharedState *ss, SQInteger n) { return new SQArray(ss, n); }

SQClosure *closure_new(SQSharedState *ss, SQFunctionProto *p, SQVM *v) {
  SQClosure *c = new SQClosure(ss, p);
  c->_root = v->_roottable;
  return c;
}

// ============================================================================
// SQVM
// ============================================================================
SQVM::SQVM(SQSharedState *ss, SQInteger stacksize) : SQCollectable(ss, OT_THREAD), _shared(ss) {
  _stackmax = stacksize;
  _stacklimit = stacksize - (stacksize >> 4);
  _stack = (Val *)malloc(sizeof(Val) * (size_t)stacksize);
  _stackinit = 0;
  _calls.reserve(64);
}

SQVM::~SQVM() {
  for (SQInteger i = 0; i < _stackinit; i++) _stack[i].~Val();
  free(_stack);
  _stack = nullptr;
  _stackinit = 0;
}

void SQVM::GrowStack(SQInteger n) {
  if (n > _stacklimit) vm_raise(this, "stack overflow");
  SQInteger target = n + 1024;
  if (target > _stackmax) target = _stackmax;
  for (SQInteger i = _stackinit; i < target; i++) new (&_stack[i]) Val();
  _stackinit = target;
}

SQInteger SQVM::FrameBase() const {
  if (_calls.empty()) return 0;
  return _calls.back().base;
}

SQInteger SQVM::AbsIndex(SQInteger idx) const {
  if (idx < 0) return _top + idx;
  return FrameBase() + idx - 1;
}

void SQVM::Destroy() {
  ClearWeakRef();
  Clear();
  delete this;
}

void SQVM::Traverse(GCVisitor visit, void *ud) {
  for (SQInteger i = 0; i < _top; i++)
    if (_stack[i]._type & SQOBJECT_REF_COUNTED) visit(_stack[i]._unVal.pRefCounted, ud);
  const Val *extra[] = {&_lasterror, &_roottable, &_errorhandler, &_debughook, &_suspendvalue};
  for (const Val *p : extra)
    if (p->_type & SQOBJECT_REF_COUNTED) visit(p->_unVal.pRefCounted, ud);
  for (SQOuter *o = _openouters; o; o = o->_nextopen) visit(o, ud);
}

void SQVM::Clear() {
  vm_close_outers(this, 0);
  _calls.clear();
  _traps.clear();
  for (SQInteger i = 0; i < _stackinit; i++) _stack[i].Null();
  _top = 0;
  _lasterror.Null();
  _roottable.Null();
  _errorhandler.Null();
  _debughook.Null();
  _suspendvalue.Null();
}

SQVM *vm_newthread(SQSharedState *ss, SQVM *friendvm, SQInteger stacksize) {
  (void)stacksize;
  SQVM *t = new SQVM(ss, kThreadStackSlots);
  t->_roottable = friendvm->_roottable;
  t->_errorhandler = friendvm->_errorhandler;
  t->_foreignptr = friendvm->_foreignptr;
  t->EnsureStack(64);
  return t;
}

// ============================================================================
// Shared state
// ============================================================================
void sqi_push_default_delegate(HSQUIRRELVM v, SQObjectType t) {
  if (t == OT_NATIVECLOSURE) t = OT_CLOSURE;
  v->ApiPush(v->_shared->_delegates[v->_shared->Delegate(t)]);
}

HSQUIRRELVM sq_open(SQInteger initialstacksize) {
  (void)initialstacksize;
  SQSharedState *ss = new SQSharedState();
  ss->_gchead = new GCSentinel();
  ss->_registry = Val(OT_TABLE, table_new(ss));
  ss->_consttable = Val(OT_TABLE, table_new(ss));
  for (int i = 0; i < MT_LAST; i++) ss->_mmnames[i] = val_str(str_new(ss, kMetaNames[i]));
  ss->_constructorname = val_str(str_new(ss, "constructor"));
  ss->_emptystr = val_str(str_new(ss, ""));
  const SQObjectType types[] = {OT_TABLE,     OT_ARRAY,  OT_STRING, OT_INTEGER, OT_FLOAT,    OT_BOOL,    OT_CLOSURE,
                                OT_GENERATOR, OT_THREAD, OT_CLASS,  OT_INSTANCE, OT_WEAKREF, OT_USERDATA};
  for (SQObjectType t : types) ss->_delegates[ss->Delegate(t)] = Val(OT_TABLE, table_new(ss));
  SQVM *v = new SQVM(ss, kMainStackSlots);
  v->_refs++;  // owned by the host until sq_close
  ss->_mainvm = v;
  v->_roottable = Val(OT_TABLE, table_new(ss));
  v->EnsureStack(64);
  sqi_fill_default_delegates(v);
  sqi_base_register(v);
  v->_top = 0;
  return v;
}

void sq_close(HSQUIRRELVM v) {
  SQSharedState *ss = v->_shared;
  SQVM *mainvm = ss->_mainvm;
  ss->_closing = true;
  mainvm->Clear();
  for (auto &r : ss->_apirefs) {
    SQRefCounted *o = r.first;
    if (--o->_refs == 0) o->Release();
  }
  ss->_apirefs.clear();
  ss->_registry.Null();
  ss->_consttable.Null();
  for (Val &d : ss->_delegates) d.Null();
  gc_collect(ss, nullptr, nullptr);
  // Whatever survived is held by references the host never released. Break its links so
  // everything not held directly is freed; objects the host still holds stay allocated
  // (freeing them here could leave the host's references dangling into freed memory).
  {
    std::vector<SQCollectable *> all;
    for (SQCollectable *o = ss->_gchead->_gcnext; o != ss->_gchead; o = o->_gcnext)
      if (o != mainvm) all.push_back(o);
    for (SQCollectable *o : all) o->_refs++;
    for (SQCollectable *o : all) o->Clear();
    for (SQCollectable *o : all) {
      SQObject ob;
      ob._type = o->_otype;
      ob._unVal.raw = 0;
      ob._unVal.pRefCounted = o;
      val_release(ob);
    }
  }
  for (Val &m : ss->_mmnames) m.Null();
  ss->_constructorname.Null();
  ss->_emptystr.Null();
  if (ss->_releasehook) ss->_releasehook(ss->_foreignptr, 0);
  mainvm->_refs = 0;
  mainvm->ClearWeakRef();
  delete mainvm;
  delete ss->_gchead;
  // Strings still alive here are held by host handles; free the table's memory.
  for (SQInteger i = 0; i < ss->_strcap; i++) {
    SQString *s = ss->_strtab[i].str;
    if (s) {
      s->~SQString();
      free(s);
    }
  }
  mem_big_free(ss->_strtab, (size_t)ss->_strcap * sizeof(SQSharedState::StrSlot));
  delete ss;
}
