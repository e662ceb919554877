// sqtable.cpp: hash tables with open addressing and linear probing.
// Invariants: the capacity is a power of two (or 0); _used counts live keys plus
// tombstones and stays at most 1/2 of the capacity, so every probe sequence reaches an
// empty node. Keys compare raw (type + payload bits): strings are interned, so string
// keys compare by pointer, and 1 and 1.0 are different keys.
#include "sqstate.h"

namespace {
inline bool node_empty(const SQTableNode &n) { return n.key._type == OT_NULL && n.key._unVal.raw == 0; }
inline bool node_tomb(const SQTableNode &n) { return n.key._type == OT_NULL && n.key._unVal.raw == 1; }
inline void make_tomb(SQTableNode &n) {
  n.key.Null();
  n.key._unVal.raw = 1;
  n.val.Null();
}
}  // namespace

SQHash val_hash(const SQObject &key) {
  switch (key._type) {
    case OT_STRING: return key._unVal.pString->_hash;
    case OT_INTEGER: {
      uint32_t x = (uint32_t)key._unVal.nInteger;
      x ^= x >> 16;
      x *= 0x7feb352dU;
      x ^= x >> 15;
      return x;
    }
    default: {
      uint64_t x = (uint64_t)key._unVal.raw;
      x ^= x >> 33;
      x *= 0xff51afd7ed558ccdULL;
      x ^= x >> 33;
      return (SQHash)x ^ (SQHash)key._type;
    }
  }
}

SQTable::SQTable(SQSharedState *ss, SQInteger cap) : SQCollectable(ss, OT_TABLE) {
  if (cap > 0) {
    SQInteger c = 4;
    while (c < cap * 2 + 2) c *= 2;
    Rehash(c);
  }
}

SQTable::~SQTable() {
  ClearAll();
  SetDelegate(nullptr);
}

void SQTable::Destroy() {
  ClearWeakRef();
  delete this;
}

void SQTable::ClearAll() {
  if (_nodes) {
    SQTableNode *n = _nodes;
    SQInteger cap = _cap;
    _nodes = nullptr;
    _cap = _count = _used = 0;
    if (_ss && _ss->_closing) {
      for (SQInteger i = 0; i < cap; i++) {
        val_forget_if_string(n[i].key);
        val_forget_if_string(n[i].val);
      }
    }
    for (SQInteger i = 0; i < cap; i++) n[i].~SQTableNode();
    free(n);
    if (_ss) _ss->_memused -= sizeof(SQTableNode) * (size_t)cap;
  }
}

void SQTable::Traverse(GCVisitor visit, void *ud) {
  for (SQInteger i = 0; i < _cap; i++) {
    SQTableNode &n = _nodes[i];
    if (n.key._type & SQOBJECT_REF_COUNTED) visit(n.key._unVal.pRefCounted, ud);
    if (n.val._type & SQOBJECT_REF_COUNTED) visit(n.val._unVal.pRefCounted, ud);
  }
  if (_delegate) visit(_delegate, ud);
}

void SQTable::Clear() {
  ClearAll();
  SetDelegate(nullptr);
}

void SQTable::SetDelegate(SQTable *d) {
  if (d) d->_refs++;
  SQTable *old = _delegate;
  _delegate = d;
  if (old) {
    SQObject o;
    o._type = OT_TABLE;
    o._unVal.raw = 0;
    o._unVal.pTable = old;
    val_release(o);
  }
}

void SQTable::Rehash(SQInteger newcap) {
  SQTableNode *old = _nodes;
  SQInteger oldcap = _cap;
  _nodes = (SQTableNode *)mem_alloc_big(sizeof(SQTableNode) * (size_t)newcap);
  if (!_nodes) {
    _nodes = old;
    throw std::bad_alloc();
  }
  _ss->_memused += sizeof(SQTableNode) * (size_t)(newcap - oldcap);
  for (SQInteger i = 0; i < newcap; i++) new (&_nodes[i]) SQTableNode();
  _cap = newcap;
  _used = _count = 0;
  for (SQInteger i = 0; i < oldcap; i++) {
    SQTableNode &n = old[i];
    if (n.key._type != OT_NULL) {
      SQHash h = n.hash;
      SQInteger j = h & (_cap - 1);
      while (!node_empty(_nodes[j])) j = (j + 1) & (_cap - 1);
      _nodes[j].key = std::move(n.key);
      _nodes[j].val = std::move(n.val);
      _nodes[j].hash = h;
      _used++;
      _count++;
    }
    n.~SQTableNode();
  }
  free(old);
}

Val *SQTable::GetStr(const SQString *key) const {
  if (_cap == 0) return nullptr;
  SQInteger mask = _cap - 1;
  SQInteger j = key->_hash & mask;
  for (;;) {
    SQTableNode &n = _nodes[j];
    if (n.key._type == OT_STRING) {
      if (n.key._unVal.pString == key) return &n.val;
    } else if (node_empty(n)) {
      return nullptr;
    }
    j = (j + 1) & mask;
  }
}

Val *SQTable::Get(const SQObject &key) const {
  if (key._type == OT_STRING) return GetStr(key._unVal.pString);
  if (_cap == 0) return nullptr;
  SQInteger mask = _cap - 1;
  SQHash h = val_hash(key);
  SQInteger j = h & mask;
  for (;;) {
    SQTableNode &n = _nodes[j];
    if (n.hash == h && raw_equal(n.key, key)) return &n.val;
    if (node_empty(n)) return nullptr;
    j = (j + 1) & mask;
  }
}

bool SQTable::Set(const SQObject &key, const SQObject &val) {
  Val *slot = Get(key);
  if (!slot) return false;
  *slot = val;
  return true;
}

void SQTable::NewSlot(const SQObject &key, const SQObject &val) {
  SQHash h = val_hash(key);
  if (_cap) {
    SQInteger mask = _cap - 1;
    for (SQInteger j = h & mask;; j = (j + 1) & mask) {
      SQTableNode &n = _nodes[j];
      if (n.hash == h && raw_equal(n.key, key)) {
        n.val = val;
        return;
      }
      if (node_empty(n)) break;
    }
  }
  if ((_used + 1) * 2 > _cap) {
    SQInteger nc = _cap ? _cap : 4;
    while ((_count + 1) * 3 > nc) nc *= 2;
    Rehash(nc);
  }
  SQInteger mask = _cap - 1;
  SQInteger j = h & mask;
  while (!node_empty(_nodes[j]) && !node_tomb(_nodes[j])) j = (j + 1) & mask;
  if (node_empty(_nodes[j])) _used++;
  _nodes[j].key = key;
  _nodes[j].val = val;
  _nodes[j].hash = h;
  _count++;
}

bool SQTable::Remove(const SQObject &key) {
  if (_cap == 0) return false;
  SQInteger mask = _cap - 1;
  SQHash h = val_hash(key);
  SQInteger j = h & mask;
  for (;;) {
    SQTableNode &n = _nodes[j];
    if (n.hash == h && raw_equal(n.key, key)) {
      make_tomb(n);
      _count--;
      return true;
    }
    if (node_empty(n)) return false;
    j = (j + 1) & mask;
  }
}

SQInteger SQTable::Next(SQInteger idx) const {
  for (SQInteger i = idx + 1; i < _cap; i++)
    if (_nodes[i].key._type != OT_NULL) return i;
  return -1;
}

SQTable *SQTable::Clone() const {
  SQTable *t = new SQTable(_ss, _count);
  for (SQInteger i = 0; i < _cap; i++)
    if (_nodes[i].key._type != OT_NULL) t->NewSlot(_nodes[i].key, _nodes[i].val);
  t->SetDelegate(_delegate);
  return t;
}
