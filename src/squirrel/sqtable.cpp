// sqtable.cpp: hash tables.
// Layout: _nodes[0, _size) are the entries in insertion order (removed ones are holes with
// ktype OT_NULL); each live entry is on the chain of its bucket, which starts at
// _buckets[Bucket(hash)] and goes on through `next`. The bucket count is a power of two at
// least the entry capacity, so chains stay short. No hash is stored: integers hash to
// themselves and strings carry theirs, so only rebuilding the buckets reads a key's string.
// Keys compare raw (type + payload bits): strings are interned, so string keys compare by
// pointer, and 1 and 1.0 are different keys.
#include "sqstate.h"

SQHash val_hash(const SQObject &key) {
  switch (key._type) {
    case OT_STRING: return key._unVal.pString->_hash;
    case OT_INTEGER: {
      // Runs of 256 consecutive integers keep consecutive hashes (a loop over such keys
      // walks the buckets in order); the mixed run number offsets each run, so keys that
      // share their low bits, such as multiples of a power of two, still spread over all
      // buckets.
      uint32_t u = (uint32_t)key._unVal.nInteger, run = u >> 8;
      run ^= run >> 16;
      run *= 0x85ebca6bu;
      run ^= run >> 13;
      run *= 0xc2b2ae35u;
      run ^= run >> 16;
      return run + u;  // not run << 8: keys with equal low bits must differ in bucket
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
  if (cap > 0) Resize(cap);
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
  if (!_nodes) return;
  // Detach first: releasing a value may run code that touches this table again.
  SQTableNode *n = _nodes;
  int32_t *b = _buckets;
  SQInteger size = _size;
  size_t bytes = Bytes(), nodebytes = sizeof(SQTableNode) * (size_t)_cap, bucketbytes = bytes - nodebytes;
  _nodes = nullptr;
  _buckets = nullptr;
  _cap = _size = _count = 0;
  _mask = 0;
  if (_ss) _ss->_memused -= bytes;
  mem_big_free(b, bucketbytes);
  bool closing = _ss && _ss->_closing;
  for (SQInteger i = 0; i < size; i++) {
    SQObject k = n[i].Key();
    if (closing) {
      val_forget_if_string(k);
      val_forget_if_string(n[i].val);
    }
    val_release(k);
    n[i].val.~Val();
  }
  mem_big_free(n, nodebytes);
}

void SQTable::Traverse(GCVisitor visit, void *ud) {
  for (SQInteger i = 0; i < _size; i++) {
    SQTableNode &n = _nodes[i];
    if (n.ktype & SQOBJECT_REF_COUNTED) visit(n.kval.pRefCounted, ud);
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

void SQTable::Resize(SQInteger newcap) {
  if (newcap < _cap) newcap = _cap;  // never shrinks
  if (newcap < 4) newcap = 4;
  if (newcap > 0x40000000) throw std::bad_alloc();  // entry indices are 32-bit
  SQInteger nbuckets = 4;
  while (nbuckets < newcap * 2) nbuckets *= 2;
  size_t oldbytes = Bytes();
  // Allocate everything before changing anything, so running out of memory leaves the
  // table as it was.
  int32_t *nb = (int32_t *)mem_big_alloc(sizeof(int32_t) * (size_t)nbuckets);
  if (!nb) throw std::bad_alloc();
  if (newcap > _cap) {
    auto *nn = (SQTableNode *)mem_big_realloc(_nodes, sizeof(SQTableNode) * (size_t)_cap,
                                              sizeof(SQTableNode) * (size_t)newcap);
    if (!nn) {
      mem_big_free(nb, sizeof(int32_t) * (size_t)nbuckets);
      throw std::bad_alloc();
    }
    _nodes = nn;  // entries are plain bits apart from their counts: moving them is safe
  }
  // Close the holes, keeping the order of the live entries.
  SQInteger j = 0;
  for (SQInteger i = 0; i < _size; i++) {
    if (_nodes[i].ktype == OT_NULL) continue;
    if (i != j) memcpy((void *)&_nodes[j], (const void *)&_nodes[i], sizeof(SQTableNode));
    j++;
  }
  _size = j;
  mem_big_free(_buckets, sizeof(int32_t) * (size_t)BucketCount());
  _buckets = nb;
  _mask = (uint32_t)(nbuckets - 1);
  _cap = newcap;
  memset(nb, 0xff, sizeof(int32_t) * (size_t)nbuckets);
  for (SQInteger i = 0; i < _size; i++) {
    uint32_t b = Bucket(val_hash(_nodes[i].Key()));
    _nodes[i].next = nb[b];
    nb[b] = (int32_t)i;
  }
  if (_ss) _ss->_memused += Bytes() - oldbytes;
}

Val *SQTable::Get(const SQObject &key) const {
  if (key._type == OT_STRING) return GetStr(key._unVal.pString);
  if (!_buckets) return nullptr;
  for (int32_t i = _buckets[Bucket(val_hash(key))]; i >= 0;) {
    SQTableNode &n = _nodes[i];
    if (n.kval.raw == key._unVal.raw && n.ktype == key._type) return &n.val;
    i = n.next;
  }
  return nullptr;
}

bool SQTable::Set(const SQObject &key, const SQObject &val) {
  Val *slot = Get(key);
  if (!slot) return false;
  *slot = val;
  return true;
}

void SQTable::Append(const SQObject &key, const SQObject &val, SQHash h) {
  SQInteger idx = _size;
  SQTableNode &n = _nodes[idx];
  n.ktype = key._type;
  n.kval = key._unVal;
  val_addref(key);
  new (&n.val) Val(val);
  uint32_t b = Bucket(h);
  n.next = _buckets[b];
  _buckets[b] = (int32_t)idx;
  _size++;
  _count++;
}

void SQTable::NewSlot(const SQObject &key, const SQObject &val) {
  SQHash h = val_hash(key);
  if (_buckets) {
    for (int32_t i = _buckets[Bucket(h)]; i >= 0;) {
      SQTableNode &n = _nodes[i];
      if (n.kval.raw == key._unVal.raw && n.ktype == key._type) {
        n.val = val;
        return;
      }
      i = n.next;
    }
  }
  if (_size == _cap) {
    // Full: compact in place when at least a quarter are holes, else double. The key and
    // value are copied first: they may live in this table's entries, which move.
    SQObject k = key, v = val;
    SQInteger holes = _size - _count;
    Resize(holes * 4 >= _cap && _cap > 0 ? _cap : _cap * 2);
    Append(k, v, h);
    return;
  }
  Append(key, val, h);
}

bool SQTable::Remove(const SQObject &key) {
  if (!_buckets) return false;
  int32_t *link = &_buckets[Bucket(val_hash(key))];
  while (*link >= 0) {
    SQTableNode &n = _nodes[*link];
    if (n.kval.raw == key._unVal.raw && n.ktype == key._type) {
      *link = n.next;
      SQObject oldkey = n.Key();
      Val oldval = std::move(n.val);
      n.ktype = OT_NULL;
      n.kval.raw = 0;
      n.next = -1;
      if (--_count == 0) {
        // Every chain is empty again: new keys start over at the front.
        for (SQInteger i = 0; i < _size; i++) _nodes[i].val.~Val();
        _size = 0;
      }
      val_release(oldkey);  // may run code; the table is consistent by now
      return true;
    }
    link = &n.next;
  }
  return false;
}

SQInteger SQTable::Next(SQInteger idx) const {
  for (SQInteger i = idx < 0 ? 0 : idx + 1; i < _size; i++)
    if (_nodes[i].ktype != OT_NULL) return i;
  return -1;
}

SQTable *SQTable::Clone() const {
  SQTable *t = new SQTable(_ss, _count);
  for (SQInteger i = 0; i < _size; i++) {
    const SQTableNode &n = _nodes[i];
    if (n.ktype != OT_NULL) t->Append(n.Key(), n.val, val_hash(n.Key()));
  }
  t->SetDelegate(_delegate);
  return t;
}
