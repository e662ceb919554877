// sqclass.cpp: classes and instances.
// A class maps member names to encoded slots (MEMBER_FIELD | index into _fields, or
// MEMBER_METHOD | index into _methods). Fields are copied into every instance; methods
// and statics live once in the class. Once a class has instances (_locked) it accepts
// new methods and statics but no new fields, because instance layouts are fixed.
#include "sqstate.h"

#include <atomic>

static uint64_t next_class_id() {
  static std::atomic<uint64_t> counter{1};
  return counter.fetch_add(1, std::memory_order_relaxed);
}

static void release_class_ptr(SQClass *&c) {
  if (c) {
    SQObject o;
    o._type = OT_CLASS;
    o._unVal.raw = 0;
    o._unVal.pClass = c;
    c = nullptr;
    val_release(o);
  }
}

SQClass::SQClass(SQSharedState *ss, SQClass *base) : SQCollectable(ss, OT_CLASS), _id(next_class_id()) {
  _members = new SQTable(ss, 0);
  _members->_refs++;
  if (base) {
    _base = base;
    base->_refs++;
    SQTable *m = base->_members->Clone();
    m->_refs++;
    SQObject o;
    o._type = OT_TABLE;
    o._unVal.raw = 0;
    o._unVal.pTable = _members;
    _members = m;
    val_release(o);
    _fields = base->_fields;
    _methods = base->_methods;
    for (int i = 0; i < MT_LAST; i++) _metamethods[i] = base->_metamethods[i];
    _typetag = nullptr;
    _hook = base->_hook;
    _udsize = base->_udsize;
    _constructoridx = base->_constructoridx;
  }
}

SQClass::~SQClass() {
  if (_members) {
    SQObject o;
    o._type = OT_TABLE;
    o._unVal.raw = 0;
    o._unVal.pTable = _members;
    _members = nullptr;
    val_release(o);
  }
  release_class_ptr(_base);
}

void SQClass::Destroy() {
  ClearWeakRef();
  delete this;
}

void SQClass::Traverse(GCVisitor visit, void *ud) {
  if (_members) visit(_members, ud);
  if (_base) visit(_base, ud);
  for (SQClassMember &m : _fields) {
    if (m.val._type & SQOBJECT_REF_COUNTED) visit(m.val._unVal.pRefCounted, ud);
    if (m.attrs._type & SQOBJECT_REF_COUNTED) visit(m.attrs._unVal.pRefCounted, ud);
  }
  for (SQClassMember &m : _methods) {
    if (m.val._type & SQOBJECT_REF_COUNTED) visit(m.val._unVal.pRefCounted, ud);
    if (m.attrs._type & SQOBJECT_REF_COUNTED) visit(m.attrs._unVal.pRefCounted, ud);
  }
  for (Val &v : _metamethods)
    if (v._type & SQOBJECT_REF_COUNTED) visit(v._unVal.pRefCounted, ud);
  if (_attributes._type & SQOBJECT_REF_COUNTED) visit(_attributes._unVal.pRefCounted, ud);
}

void SQClass::Clear() {
  _id = next_class_id();
  if (_members) _members->ClearAll();
  release_class_ptr(_base);
  std::vector<SQClassMember> a, b;
  a.swap(_fields);
  b.swap(_methods);
  for (Val &v : _metamethods) v.Null();
  _attributes.Null();
}

bool SQClass::Get(const SQObject &key, Val &out) const {
  Val *m = _members->Get(key);
  if (!m) return false;
  SQInteger enc = m->_unVal.nInteger;
  if (enc & MEMBER_FIELD)
    set_real(out, _fields[enc & MEMBER_INDEX_MASK].val);
  else
    set_real(out, _methods[enc & MEMBER_INDEX_MASK].val);
  return true;
}

static int metamethod_index(SQSharedState *ss, const SQObject &key) {
  if (key._type != OT_STRING) return -1;
  for (int i = 0; i < MT_LAST; i++)
    if (ss->_mmnames[i]._unVal.pString == key._unVal.pString) return i;
  return -1;
}

bool SQClass::NewSlot(SQSharedState *ss, const SQObject &key, const SQObject &val, bool bstatic) {
  bool isfunc = val._type == OT_CLOSURE || val._type == OT_NATIVECLOSURE;
  bool classlevel = isfunc || bstatic;
  if (_locked && !classlevel) return false;
  Val stored(val);
  if (val._type == OT_CLOSURE) {
    SQClosure *cl = val._unVal.pClosure;
    if (cl->_base != _base) {
      if (_base) _base->_refs++;
      SQClass *old = cl->_base;
      cl->_base = _base;
      release_class_ptr(old);
    }
  }
  Val *existing = _members->Get(key);
  if (existing) {
    SQInteger enc = existing->_unVal.nInteger;
    SQInteger idx = enc & MEMBER_INDEX_MASK;
    if ((enc & MEMBER_FIELD) && !classlevel) {
      _fields[idx].val = stored;
      return true;
    }
    if ((enc & MEMBER_METHOD) && classlevel) {
      _methods[idx].val = stored;
      _methods[idx].isstatic = bstatic;
      int mm = metamethod_index(ss, key);
      if (mm >= 0) _metamethods[mm] = stored;
      if (key._type == OT_STRING && key._unVal.pString == ss->_constructorname._unVal.pString)
        _constructoridx = idx;
      return true;
    }
    if (_locked) return false;
  }
  _id = next_class_id();  // an existing key may change from field to method
  if (classlevel) {
    SQClassMember m;
    m.val = stored;
    m.isstatic = bstatic;
    _methods.push_back(m);
    SQInteger idx = (SQInteger)_methods.size() - 1;
    _members->NewSlot(key, Val((SQInteger)(MEMBER_METHOD | idx)));
    int mm = metamethod_index(ss, key);
    if (mm >= 0) _metamethods[mm] = stored;
    if (key._type == OT_STRING && key._unVal.pString == ss->_constructorname._unVal.pString)
      _constructoridx = idx;
  } else {
    SQClassMember m;
    m.val = stored;
    _fields.push_back(m);
    _members->NewSlot(key, Val((SQInteger)(MEMBER_FIELD | ((SQInteger)_fields.size() - 1))));
  }
  return true;
}

bool SQClass::SetAttributes(const SQObject &key, const SQObject &val) {
  Val *m = _members->Get(key);
  if (!m) return false;
  SQInteger enc = m->_unVal.nInteger;
  if (enc & MEMBER_FIELD)
    _fields[enc & MEMBER_INDEX_MASK].attrs = val;
  else
    _methods[enc & MEMBER_INDEX_MASK].attrs = val;
  return true;
}

bool SQClass::GetAttributes(const SQObject &key, Val &out) {
  Val *m = _members->Get(key);
  if (!m) return false;
  SQInteger enc = m->_unVal.nInteger;
  if (enc & MEMBER_FIELD)
    out = _fields[enc & MEMBER_INDEX_MASK].attrs;
  else
    out = _methods[enc & MEMBER_INDEX_MASK].attrs;
  return true;
}

// ============================================================================
// Instances
// ============================================================================
SQInstance *instance_new(SQSharedState *ss, SQClass *c) {
  SQInteger n = (SQInteger)c->_fields.size();
  size_t valbytes = sizeof(Val) * (size_t)n;
  size_t total = sizeof(SQInstance) + valbytes + (size_t)c->_udsize + 16;
  void *mem = malloc(total);
  SQInstance *inst = new (mem) SQInstance(ss);
  inst->_class = c;
  c->_refs++;
  c->_locked = true;
  inst->_nvalues = n;
  inst->_values = (Val *)((char *)mem + sizeof(SQInstance));
  for (SQInteger i = 0; i < n; i++) new (&inst->_values[i]) Val(c->_fields[i].val);
  inst->_hook = c->_hook;
  inst->_udsize = c->_udsize;
  if (c->_udsize > 0) {
    uintptr_t p = (uintptr_t)((char *)mem + sizeof(SQInstance) + valbytes);
    p = (p + 15) & ~(uintptr_t)15;
    inst->_userpointer = (SQUserPointer)p;
  }
  return inst;
}

SQInstance::SQInstance(SQSharedState *ss) : SQCollectable(ss, OT_INSTANCE) {}

void SQInstance::CallHook() {
  if (_hook && !_hookcalled) {
    _hookcalled = true;
    _hook(_userpointer, _udsize);
  }
}

void SQInstance::Destroy() {
  ClearWeakRef();
  // The hook may inspect the instance; keep it alive (and unfreeable) during the call.
  _refs++;
  CallHook();
  _refs--;
  for (SQInteger i = 0; i < _nvalues; i++) _values[i].~Val();
  _nvalues = 0;
  release_class_ptr(_class);
  this->~SQInstance();
  free(this);
}

void SQInstance::Traverse(GCVisitor visit, void *ud) {
  if (_class) visit(_class, ud);
  for (SQInteger i = 0; i < _nvalues; i++)
    if (_values[i]._type & SQOBJECT_REF_COUNTED) visit(_values[i]._unVal.pRefCounted, ud);
}

void SQInstance::Clear() {
  for (SQInteger i = 0; i < _nvalues; i++) _values[i].Null();
}

bool SQInstance::Get(const SQObject &key, Val &out) const {
  Val *m = _class->_members->Get(key);
  if (!m) return false;
  SQInteger enc = m->_unVal.nInteger;
  if (enc & MEMBER_FIELD)
    set_real(out, _values[enc & MEMBER_INDEX_MASK]);
  else
    set_real(out, _class->_methods[enc & MEMBER_INDEX_MASK].val);
  return true;
}

bool SQInstance::Set(const SQObject &key, const SQObject &val) {
  Val *m = _class->_members->Get(key);
  if (!m) return false;
  SQInteger enc = m->_unVal.nInteger;
  if (!(enc & MEMBER_FIELD)) return false;
  _values[enc & MEMBER_INDEX_MASK] = val;
  return true;
}

bool SQInstance::InstanceOf(const SQClass *c) const {
  for (const SQClass *k = _class; k; k = k->_base)
    if (k == c) return true;
  return false;
}
