// sqobject.cpp: strings (interned), weak references, arrays, closures, user data,
// generators and the shared collectable bookkeeping.
#include <sys/mman.h>

#include <cstdlib>

#include "sqstate.h"

// ============================================================================
// Collectable list
// ============================================================================
SQCollectable::SQCollectable(SQSharedState *ss, SQObjectType t) : _ss(ss), _otype(t) {
  _collectable = 1;
  if (ss && ss->_gchead) {
    SQCollectable *h = ss->_gchead;
    _gcnext = h->_gcnext;
    _gcprev = h;
    h->_gcnext->_gcprev = this;
    h->_gcnext = this;
    ss->_gccount++;
  } else {
    _gcnext = _gcprev = this;
  }
}

void SQCollectable::Release() {
  static thread_local int depth = 0;
  static thread_local std::vector<SQCollectable *> pending;
  if (depth >= 64) {
    pending.push_back(this);
    return;
  }
  depth++;
  Destroy();
  if (depth == 1) {
    while (!pending.empty()) {
      SQCollectable *o = pending.back();
      pending.pop_back();
      o->Destroy();
    }
  }
  depth--;
}

SQCollectable::~SQCollectable() {
  if (_gcnext != this) {
    _gcprev->_gcnext = _gcnext;
    _gcnext->_gcprev = _gcprev;
    if (_ss) _ss->_gccount--;
  }
}

namespace {
constexpr size_t kBigBlock = 1u << 20;
constexpr size_t kHugeAdvise = 4u << 20;
inline size_t page_round(size_t bytes) { return (bytes + 4095) & ~(size_t)4095; }
void advise_huge(void *p, size_t bytes) {
  if (bytes >= kHugeAdvise) madvise(p, bytes, MADV_HUGEPAGE);
}
}  // namespace

void *mem_big_alloc(size_t bytes) {
  if (bytes < kBigBlock) return malloc(bytes ? bytes : 1);
  size_t len = page_round(bytes);
  void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  advise_huge(p, len);
  return p;
}

void *mem_big_realloc(void *p, size_t oldbytes, size_t newbytes) {
  if (!p) return mem_big_alloc(newbytes);
  bool oldbig = oldbytes >= kBigBlock, newbig = newbytes >= kBigBlock;
  if (!oldbig && !newbig) return realloc(p, newbytes ? newbytes : 1);
  if (oldbig && newbig) {
    size_t oldlen = page_round(oldbytes), newlen = page_round(newbytes);
    if (oldlen == newlen) return p;
    void *q = mremap(p, oldlen, newlen, MREMAP_MAYMOVE);
    if (q == MAP_FAILED) return nullptr;
    advise_huge(q, newlen);
    return q;
  }
  void *q = mem_big_alloc(newbytes);  // crossing the threshold: one copy
  if (!q) return nullptr;
  memcpy(q, p, oldbytes < newbytes ? oldbytes : newbytes);
  mem_big_free(p, oldbytes);
  return q;
}

void mem_big_free(void *p, size_t bytes) {
  if (!p) return;
  if (bytes < kBigBlock)
    free(p);
  else
    munmap(p, page_round(bytes));
}

// ============================================================================
// Weak references
// ============================================================================
SQWeakRef *SQRefCounted::GetWeakRef(SQObjectType type) {
  if (!_weakref) {
    _weakref = new SQWeakRef();
    _weakref->_obj._type = type;
    _weakref->_obj._unVal.raw = 0;
    _weakref->_obj._unVal.pRefCounted = this;
  }
  return _weakref;
}

void SQRefCounted::ClearWeakRef() {
  if (_weakref) {
    _weakref->_obj._type = OT_NULL;
    _weakref->_obj._unVal.raw = 0;
    _weakref = nullptr;
  }
}

void SQWeakRef::Release() {
  if (_obj._type != OT_NULL) _obj._unVal.pRefCounted->_weakref = nullptr;
  delete this;
}

// ============================================================================
// Strings
// ============================================================================
// Long strings hash a sample of at most ~64 characters (as Lua does): interning a long
// string costs one pass of copying, not one of hashing too.
static SQHash hash_bytes(const char *s, SQInteger len) {
  uint32_t h = 0x9747b28cu ^ (uint32_t)len;
  SQInteger step = (len >> 6) + 1;
  for (SQInteger i = 0; i < len; i += step) h = (h ^ (unsigned char)s[i]) * 0x01000193u;
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  return h;
}

static void strtab_resize(SQSharedState *ss, SQInteger ncap) {
  size_t bytes = (size_t)ncap * sizeof(SQSharedState::StrSlot);
  auto *nt = (SQSharedState::StrSlot *)mem_big_alloc(bytes);
  if (!nt) throw std::bad_alloc();
  memset((void *)nt, 0, bytes);
  SQInteger mask = ncap - 1;
  for (SQInteger i = 0; i < ss->_strcap; i++) {
    SQSharedState::StrSlot &e = ss->_strtab[i];
    if (!e.str) continue;
    SQInteger j = e.hash & mask;
    while (nt[j].str) j = (j + 1) & mask;
    nt[j] = e;
  }
  mem_big_free(ss->_strtab, (size_t)ss->_strcap * sizeof(SQSharedState::StrSlot));
  ss->_strtab = nt;
  ss->_strcap = ncap;
}

SQString *str_new(SQSharedState *ss, const char *s, SQInteger len) {
  if (len < 0) len = (SQInteger)strlen(s);
  SQHash h = hash_bytes(s, len);
  if (ss->_strcap == 0) strtab_resize(ss, 1024);
  SQInteger mask = ss->_strcap - 1;
  SQInteger j = h & mask;
  for (;;) {
    SQSharedState::StrSlot &e = ss->_strtab[j];
    if (!e.str) break;
    if (e.hash == h && e.str->_len == len && memcmp(e.str->_val, s, (size_t)len) == 0) return e.str;
    j = (j + 1) & mask;
  }
  void *mem = malloc(str_bytes(len));
  SQString *str = new (mem) SQString();
  str->_ss = ss;
  ss->_memused += str_bytes(len);
  str->_hash = h;
  str->_len = len;
  memcpy(str->_val, s, (size_t)len);
  str->_val[len] = 0;
  ss->_strtab[j].hash = h;
  ss->_strtab[j].str = str;
  if (++ss->_strcount * 2 > ss->_strcap) strtab_resize(ss, ss->_strcap * 2);
  return str;
}

void SQString::Release() {
  SQSharedState *ss = _ss;
  if (ss->_closing) return;  // freed by the final sweep of sq_close
  SQInteger mask = ss->_strcap - 1;
  SQInteger i = _hash & mask;
  while (ss->_strtab[i].str != this) i = (i + 1) & mask;
  // Backward-shift deletion keeps every probe sequence free of holes.
  SQInteger j = i;
  for (;;) {
    j = (j + 1) & mask;
    SQSharedState::StrSlot &e = ss->_strtab[j];
    if (!e.str) break;
    SQInteger home = e.hash & mask;
    bool between = (i <= j) ? (i < home && home <= j) : (i < home || home <= j);
    if (!between) {
      ss->_strtab[i] = e;
      i = j;
    }
  }
  ss->_strtab[i].str = nullptr;
  ss->_strtab[i].hash = 0;
  ss->_strcount--;
  ss->_memused -= str_bytes(_len);
  ClearWeakRef();
  this->~SQString();
  free(this);
}

// ============================================================================
// Arrays
// ============================================================================
SQArray::SQArray(SQSharedState *ss, SQInteger n) : SQCollectable(ss, OT_ARRAY) { _vals.resize(n); }

void SQArray::Destroy() {
  ClearWeakRef();
  if (_ss && _ss->_closing) _vals.ForgetStrings();
  delete this;
}
void SQArray::Traverse(GCVisitor visit, void *ud) { _vals.Traverse(visit, ud); }
void SQArray::Clear() { _vals.clear(); }

// ============================================================================
// Functions
// ============================================================================
void SQFunctionProto::Release() {
  ClearWeakRef();
  delete this;
}

SQInteger SQFunctionProto::LineOf(SQInteger pc) const {
  SQInteger line = _line;
  for (const SQLineInfo &li : _lines) {
    if (li.pc > pc) break;
    line = li.line;
  }
  return line;
}

SQClosure::SQClosure(SQSharedState *ss, SQFunctionProto *p) : SQCollectable(ss, OT_CLOSURE), _proto(p) {
  p->_refs++;
}
SQClosure::~SQClosure() {
  if (_base) {
    SQObject b;
    b._type = OT_CLASS;
    b._unVal.raw = 0;
    b._unVal.pClass = _base;
    _base = nullptr;
    val_release(b);
  }
  if (_proto) {
    SQObject p;
    p._type = OT_FUNCPROTO;
    p._unVal.raw = 0;
    p._unVal.pFunctionProto = _proto;
    _proto = nullptr;
    val_release(p);
  }
}
void SQClosure::Destroy() {
  ClearWeakRef();
  delete this;
}
void SQClosure::Traverse(GCVisitor visit, void *ud) {
  for (Val &v : _outers)
    if (v._type & SQOBJECT_REF_COUNTED) visit(v._unVal.pRefCounted, ud);
  for (Val &v : _defaults)
    if (v._type & SQOBJECT_REF_COUNTED) visit(v._unVal.pRefCounted, ud);
  if (_env._type & SQOBJECT_REF_COUNTED) visit(_env._unVal.pRefCounted, ud);
  if (_root._type & SQOBJECT_REF_COUNTED) visit(_root._unVal.pRefCounted, ud);
  if (_base) visit(_base, ud);
}
void SQClosure::Clear() {
  std::vector<Val> a, b;
  a.swap(_outers);
  b.swap(_defaults);
  _env.Null();
  _root.Null();
  if (_base) {
    SQObject o;
    o._type = OT_CLASS;
    o._unVal.raw = 0;
    o._unVal.pClass = _base;
    _base = nullptr;
    val_release(o);
  }
}
SQClosure *SQClosure::Clone() const {
  SQClosure *c = new SQClosure(_ss, _proto);
  c->_outers = _outers;
  c->_defaults = _defaults;
  c->_env = _env;
  c->_root = _root;
  c->_base = _base;
  if (_base) ((SQRefCounted *)_base)->_refs++;
  return c;
}

void SQNativeClosure::Destroy() {
  ClearWeakRef();
  delete this;
}
void SQNativeClosure::Traverse(GCVisitor visit, void *ud) {
  for (Val &v : _outers)
    if (v._type & SQOBJECT_REF_COUNTED) visit(v._unVal.pRefCounted, ud);
  if (_env._type & SQOBJECT_REF_COUNTED) visit(_env._unVal.pRefCounted, ud);
}
void SQNativeClosure::Clear() {
  std::vector<Val> a;
  a.swap(_outers);
  _env.Null();
}
SQNativeClosure *SQNativeClosure::Clone() const {
  SQNativeClosure *c = new SQNativeClosure(_ss, _function);
  c->_outers = _outers;
  c->_typecheck = _typecheck;
  c->_nparamscheck = _nparamscheck;
  c->_name = _name;
  c->_env = _env;
  return c;
}

void SQOuter::Destroy() {
  ClearWeakRef();
  delete this;
}
void SQOuter::Traverse(GCVisitor visit, void *ud) {
  if (_valptr == &_value && (_value._type & SQOBJECT_REF_COUNTED)) visit(_value._unVal.pRefCounted, ud);
}
void SQOuter::Clear() { _value.Null(); }

// ============================================================================
// User data
// ============================================================================
void SQUserData::CallHook() {
  if (_hook && !_hookcalled) {
    _hookcalled = true;
    _hook((SQUserPointer)_data, _size);
  }
}
void SQUserData::Destroy() {
  ClearWeakRef();
  CallHook();
  if (_delegate) {
    SQObject d;
    d._type = OT_TABLE;
    d._unVal.raw = 0;
    d._unVal.pTable = _delegate;
    _delegate = nullptr;
    val_release(d);
  }
  this->~SQUserData();
  free(this);
}
void SQUserData::Traverse(GCVisitor visit, void *ud) {
  if (_delegate) visit(_delegate, ud);
}
void SQUserData::Clear() {
  if (_delegate) {
    SQObject d;
    d._type = OT_TABLE;
    d._unVal.raw = 0;
    d._unVal.pTable = _delegate;
    _delegate = nullptr;
    val_release(d);
  }
}

// ============================================================================
// Generators
// ============================================================================
SQGenerator::~SQGenerator() { Kill(); }
void SQGenerator::Kill() {
  std::vector<SQOuter *> outers;
  outers.swap(_outers);
  for (SQOuter *o : outers) {
    o->_value = *o->_valptr;
    o->_valptr = &o->_value;
    SQObject ov;
    ov._type = OT_OUTER;
    ov._unVal.raw = 0;
    ov._unVal.pOuter = o;
    val_release(ov);
  }
  std::vector<Val> tmp;
  tmp.swap(_stack);
  _traps.clear();
  _state = GEN_DEAD;
}
void SQGenerator::Destroy() {
  ClearWeakRef();
  delete this;
}
void SQGenerator::Traverse(GCVisitor visit, void *ud) {
  if (_closure._type & SQOBJECT_REF_COUNTED) visit(_closure._unVal.pRefCounted, ud);
  for (Val &v : _stack)
    if (v._type & SQOBJECT_REF_COUNTED) visit(v._unVal.pRefCounted, ud);
  for (SQOuter *o : _outers) visit(o, ud);
}
void SQGenerator::Clear() {
  Kill();
  _closure.Null();
}

// ============================================================================
// Type names
// ============================================================================
const char *type_name(SQObjectType t) {
  switch (t) {
    case OT_NULL: return "null";
    case OT_INTEGER: return "integer";
    case OT_FLOAT: return "float";
    case OT_BOOL: return "bool";
    case OT_STRING: return "string";
    case OT_TABLE: return "table";
    case OT_ARRAY: return "array";
    case OT_USERDATA: return "userdata";
    case OT_CLOSURE:
    case OT_NATIVECLOSURE: return "function";
    case OT_GENERATOR: return "generator";
    case OT_USERPOINTER: return "userpointer";
    case OT_THREAD: return "thread";
    case OT_FUNCPROTO: return "function";
    case OT_CLASS: return "class";
    case OT_INSTANCE: return "instance";
    case OT_WEAKREF: return "weakref";
    case OT_OUTER: return "outer";
  }
  return "unknown";
}
