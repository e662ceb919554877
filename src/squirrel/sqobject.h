// sqobject.h: values and heap objects of the runtime.
//
// A value is the public SQObject (16 bytes: type tag + 64-bit payload). Val adds reference
// counting on top of it. Invariant: integers and floats are stored with the unused payload
// bytes zeroed, so two values are raw-equal exactly when type and payload bits match
// (table keys rely on it). Every heap object starts with SQRefCounted; objects that can
// take part in reference cycles derive from SQCollectable and sit on the shared state's
// GC list, which the cycle collector walks (see sqgc.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "squirrel.h"

// Small value helpers must inline even into the (very large) interpreter loop.
#if defined(__GNUC__)
#define SQ_INLINE inline __attribute__((always_inline))
#else
#define SQ_INLINE inline
#endif

struct SQSharedState;
struct SQWeakRef;

// ============================================================================
// Reference counted header
// ============================================================================
// The small fields come last: a derived object's first 4-byte field (a string's hash)
// then fits in the tail padding.
struct SQRefCounted {
  SQWeakRef *_weakref = nullptr;
  uint32_t _refs = 0;
  uint32_t _gcrefs = 0;  // scratch count of the cycle collector
  uint8_t _collectable = 0;  // derives from SQCollectable
  uint8_t _gcmark = 0;
  virtual ~SQRefCounted() = default;
  // Called when the count reaches zero: drop children and free the memory.
  virtual void Release() = 0;
  SQWeakRef *GetWeakRef(SQObjectType type);
  void ClearWeakRef();
};

using GCVisitor = void (*)(SQRefCounted *child, void *ud);

struct SQCollectable : SQRefCounted {
  SQCollectable *_gcnext = nullptr;
  SQCollectable *_gcprev = nullptr;
  SQSharedState *_ss = nullptr;
  SQObjectType _otype;
  // Visit every reference-counted child this object holds.
  virtual void Traverse(GCVisitor visit, void *ud) = 0;
  // Drop all references to children (breaks cycles); the object stays valid but empty.
  virtual void Clear() = 0;
  SQCollectable(SQSharedState *ss, SQObjectType t);
  ~SQCollectable() override;
  // Frees the object; Release defers it when releases nest deeply (long chains of
  // containers), so freeing never recurses without bound.
  void Release() final;
  virtual void Destroy() = 0;
};

// ============================================================================
// Values
// ============================================================================
SQ_INLINE void val_addref(const SQObject &o) {
  if (o._type & SQOBJECT_REF_COUNTED) o._unVal.pRefCounted->_refs++;
}
SQ_INLINE void val_release(const SQObject &o) {
  if (o._type & SQOBJECT_REF_COUNTED) {
    SQRefCounted *r = o._unVal.pRefCounted;
    if (--r->_refs == 0) r->Release();
  }
}

struct Val : SQObject {
  Val() { _type = OT_NULL; _unVal.raw = 0; }
  Val(const Val &o) { _type = o._type; _unVal = o._unVal; val_addref(*this); }
  Val(Val &&o) noexcept { _type = o._type; _unVal = o._unVal; o._type = OT_NULL; o._unVal.raw = 0; }
  explicit Val(const SQObject &o) { _type = o._type; _unVal = o._unVal; val_addref(*this); }
  explicit Val(SQInteger i) { _type = OT_INTEGER; _unVal.raw = 0; _unVal.nInteger = i; }
  explicit Val(SQFloat f) { _type = OT_FLOAT; _unVal.raw = 0; _unVal.fFloat = f; }
  explicit Val(bool b) { _type = OT_BOOL; _unVal.raw = 0; _unVal.nInteger = b ? 1 : 0; }
  Val(SQObjectType t, SQRefCounted *p) {
    _type = t; _unVal.raw = 0; _unVal.pRefCounted = p; val_addref(*this);
  }
  ~Val() { val_release(*this); }
  SQ_INLINE Val &operator=(const Val &o) {
    SQObject old = *this;
    _type = o._type; _unVal = o._unVal;
    val_addref(*this);
    val_release(old);
    return *this;
  }
  SQ_INLINE Val &operator=(Val &&o) noexcept {
    if (this != &o) {
      SQObject old = *this;
      _type = o._type; _unVal = o._unVal;
      o._type = OT_NULL; o._unVal.raw = 0;
      val_release(old);
    }
    return *this;
  }
  SQ_INLINE Val &operator=(const SQObject &o) {
    SQObject old = *this;
    _type = o._type; _unVal = o._unVal;
    val_addref(*this);
    val_release(old);
    return *this;
  }
  SQ_INLINE void SetInt(SQInteger i) {
    SQObject old = *this;
    _type = OT_INTEGER; _unVal.raw = 0; _unVal.nInteger = i;
    val_release(old);
  }
  SQ_INLINE void SetFloat(SQFloat f) {
    SQObject old = *this;
    _type = OT_FLOAT; _unVal.raw = 0; _unVal.fFloat = f;
    val_release(old);
  }
  SQ_INLINE void SetBool(bool b) {
    SQObject old = *this;
    _type = OT_BOOL; _unVal.raw = 0; _unVal.nInteger = b ? 1 : 0;
    val_release(old);
  }
  SQ_INLINE void Null() {
    SQObject old = *this;
    _type = OT_NULL; _unVal.raw = 0;
    val_release(old);
  }
  void SetUserPointer(SQUserPointer p) {
    SQObject old = *this;
    _type = OT_USERPOINTER; _unVal.raw = 0; _unVal.pUserPointer = p;
    val_release(old);
  }
};

// Reading a weak reference out of a container slot yields its target (or null).
SQ_INLINE void set_real(Val &dst, const SQObject &src);

// During sq_close every string is freed by one final sweep, so containers being torn
// down may drop string references without touching the strings.
inline void val_forget_if_string(SQObject &o) {
  if (o._type == OT_STRING) {
    o._type = OT_NULL;
    o._unVal.raw = 0;
  }
}

inline bool raw_equal(const SQObject &a, const SQObject &b) {
  return a._type == b._type && a._unVal.raw == b._unVal.raw;
}
SQ_INLINE bool is_false(const SQObject &o) {
  if (!(o._type & SQOBJECT_CANBEFALSE)) return false;
  if (o._type == OT_FLOAT) return o._unVal.fFloat == 0.0f;
  return o._unVal.nInteger == 0;  // null, integer 0, false
}
inline SQFloat to_float(const SQObject &o) {
  return o._type == OT_INTEGER ? (SQFloat)o._unVal.nInteger : o._unVal.fFloat;
}
inline SQInteger to_int(const SQObject &o) {
  return o._type == OT_INTEGER ? o._unVal.nInteger : (SQInteger)o._unVal.fFloat;
}

// ============================================================================
// Strings (interned: equal contents <=> same object)
// ============================================================================
struct SQString final : SQRefCounted {
  SQHash _hash;
  SQSharedState *_ss;
  SQInteger _len;
  char _val[1];  // _len characters and a terminating 0
  void Release() override;
};
// Bytes of a string of len characters: short strings take one 64-byte block of the
// allocator instead of 80 (the header is 44 bytes, not sizeof's rounded 48). Never less
// than the object itself, which its constructor may write in full.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"  // GCC and Clang lay SQString out plainly
SQ_INLINE size_t str_bytes(SQInteger len) {
  size_t n = offsetof(SQString, _val) + (size_t)len + 1;
  return n < sizeof(SQString) ? sizeof(SQString) : n;
}
#pragma GCC diagnostic pop

SQString *str_new(SQSharedState *ss, const char *s, SQInteger len = -1);
inline Val val_str(SQString *s) { return Val(OT_STRING, s); }

// ============================================================================
// Weak references
// ============================================================================
struct SQWeakRef final : SQRefCounted {
  SQObject _obj;  // target (not counted); null after the target died
  void Release() override;
};

// ============================================================================
// Tables: the entries sit in one array in insertion order and are chained through a
// power-of-two array of bucket heads (load factor at most 1). A removed entry stays as a
// hole until the next growth compacts the array, so removing during iteration is safe.
// ============================================================================
struct SQTableNode {
  Val val;
  SQObjectType ktype;  // OT_NULL: a removed entry
  int32_t next;        // next entry of the same bucket, -1 ends the chain
  SQObjectValue kval;  // key payload (counted like a Val when ktype is ref-counted)
  SQObject Key() const {
    SQObject o;
    o._type = ktype;
    o._unVal = kval;
    return o;
  }
};
static_assert(sizeof(SQTableNode) == 32, "table entries are 32 bytes");

struct SQTable final : SQCollectable {
  SQTableNode *_nodes = nullptr;  // _cap entries; [0, _size) constructed
  int32_t *_buckets = nullptr;    // entry index heading each chain, -1: empty
  SQInteger _cap = 0;
  SQInteger _size = 0;            // entries in use, holes included
  SQInteger _count = 0;           // live keys
  uint32_t _mask = 0;             // bucket count - 1 (a power of two minus one)
  SQTable *_delegate = nullptr;   // counted
  explicit SQTable(SQSharedState *ss, SQInteger cap = 0);
  ~SQTable() override;
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;

  Val *Get(const SQObject &key) const;
  SQ_INLINE Val *GetStr(const SQString *key) const {
    if (!_buckets) return nullptr;
    for (int32_t i = _buckets[Bucket(key->_hash)]; i >= 0;) {
      SQTableNode &n = _nodes[i];
      if (n.kval.pString == key && n.ktype == OT_STRING) return &n.val;
      i = n.next;
    }
    return nullptr;
  }
  bool Set(const SQObject &key, const SQObject &val);  // existing keys only
  void NewSlot(const SQObject &key, const SQObject &val);
  bool Remove(const SQObject &key);
  // Iteration: returns the next entry index after `idx` holding a key, or -1.
  SQInteger Next(SQInteger idx) const;
  SQTable *Clone() const;
  void SetDelegate(SQTable *d);
  void ClearAll();

  // Hashes are well mixed in their low bits (see val_hash), so a mask picks the bucket.
  SQ_INLINE uint32_t Bucket(SQHash h) const { return h & _mask; }
  SQInteger BucketCount() const { return _buckets ? (SQInteger)_mask + 1 : 0; }

 private:
  void Resize(SQInteger newcap);  // compacts the entries, then sets the capacity
  void Append(const SQObject &key, const SQObject &val, SQHash h);
  size_t Bytes() const { return sizeof(SQTableNode) * (size_t)_cap + sizeof(int32_t) * (size_t)BucketCount(); }
};

SQHash val_hash(const SQObject &key);

// ============================================================================
// Arrays
// ============================================================================
// Elements of an array. While every element is a scalar without references (null,
// integer, float, bool: a 32-bit payload) they take 8 bytes each; the first element that
// needs more turns the whole store into 16-byte values until it is cleared. Indexing
// yields a Ref that reads as an SQObject and takes assignments with reference counting.
struct SQSmallVal {
  SQObjectType type;
  uint32_t bits;
};

class SQArrayStore {
 public:
  class Ref {
   public:
    Ref(SQArrayStore *s, SQInteger i) : _s(s), _i(i) {}
    Ref(const Ref &) = default;
    SQ_INLINE operator SQObject() const { return _s->Get(_i); }
    SQ_INLINE Ref &operator=(const SQObject &o) {
      _s->Set(_i, o);
      return *this;
    }
    SQ_INLINE Ref &operator=(Val &&o) {
      _s->SetMove(_i, std::move(o));
      return *this;
    }
    SQ_INLINE Ref &operator=(const Ref &o) {  // element to element, not a rebinding
      _s->Set(_i, (SQObject)o);
      return *this;
    }

   private:
    SQArrayStore *_s;
    SQInteger _i;
  };

  SQArrayStore() = default;
  SQArrayStore(const SQArrayStore &) = delete;
  ~SQArrayStore() { clear(); }
  SQArrayStore &operator=(const SQArrayStore &o);  // a copy (counts the references)
  SQArrayStore &operator=(std::vector<Val> &&vals);

  SQ_INLINE static bool IsSmall(const SQObject &o) {
    return !(o._type & SQOBJECT_REF_COUNTED) && (o._unVal.raw >> 32) == 0;
  }
  SQ_INLINE SQInteger size() const { return _size; }
  bool empty() const { return _size == 0; }
  bool wide() const { return _wide; }
  SQ_INLINE SQObject Get(SQInteger i) const {
    if (_wide) {
      const Val &v = static_cast<const Val *>(_mem)[i];
      SQObject o;
      o._type = v._type;
      o._unVal = v._unVal;
      return o;
    }
    const SQSmallVal &e = static_cast<const SQSmallVal *>(_mem)[i];
    SQObject o;
    o._type = e.type;
    o._unVal.raw = e.bits;
    return o;
  }
  SQ_INLINE void Set(SQInteger i, const SQObject &o) {
    if (!_wide) {
      if (IsSmall(o)) {
        static_cast<SQSmallVal *>(_mem)[i] = SQSmallVal{o._type, (uint32_t)o._unVal.raw};
        return;
      }
      Widen();
    }
    static_cast<Val *>(_mem)[i] = o;
  }
  void SetMove(SQInteger i, Val &&o);
  SQ_INLINE Ref operator[](SQInteger i) { return Ref(this, i); }
  void push_back(const SQObject &o);
  Val pop();  // the last element, removed
  void reserve(SQInteger n);
  void resize(SQInteger n);  // new elements are null
  void erase(SQInteger i);
  void insert(SQInteger i, const SQObject &o);
  void reverse();
  void clear();
  Val *data();  // full values (widens the store)
  // Sorts the elements by value when all are integers (else returns false), in the
  // store's own memory.
  bool SortIntegers();
  void Traverse(GCVisitor visit, void *ud);
  void ForgetStrings();  // sq_close: strings are freed by one final sweep

 private:
  void Grow(SQInteger mincap);
  void Widen();
  size_t CellBytes() const { return _wide ? sizeof(Val) : sizeof(SQSmallVal); }
  void *_mem = nullptr;
  SQInteger _size = 0, _cap = 0;
  bool _wide = false;
};

struct SQArray final : SQCollectable {
  SQArrayStore _vals;
  explicit SQArray(SQSharedState *ss, SQInteger n = 0);
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
  SQInteger Size() const { return (SQInteger)_vals.size(); }
};

// ============================================================================
// Functions
// ============================================================================
struct SQInstr {
  uint8_t op, a, b, c;
  int32_t x;
};

struct SQOuterInfo {
  Val name;
  bool fromlocal;  // true: register of the enclosing function; false: its outer
  SQInteger index;
};
struct SQLocalInfo {
  Val name;
  SQInteger reg, startpc, endpc;
};
struct SQLineInfo {
  SQInteger pc, line;
};

// Per-instruction cache of a member lookup on instances: valid while the class's id is
// unchanged (a class takes a new id whenever a member's slot encoding may change).
struct SQInlineCache {
  uint64_t classid = 0;
  SQInteger enc = 0;
};

struct SQFunctionProto final : SQRefCounted {
  std::vector<SQInstr> _code;
  std::vector<Val> _literals;
  std::vector<Val> _functions;  // nested prototypes (OT_FUNCPROTO)
  std::vector<SQOuterInfo> _outers;
  std::vector<SQLocalInfo> _locals;
  std::vector<SQLineInfo> _lines;
  std::vector<Val> _paramnames;
  std::vector<SQInlineCache> _ic;  // one per instruction
  Val _name, _source;
  SQInteger _nparams = 1;     // declared parameters including 'this', without vargv
  SQInteger _ndefaults = 0;
  SQInteger _stacksize = 2;
  SQInteger _line = 0;
  bool _varparams = false;
  bool _generator = false;
  void Release() override;
  SQInteger LineOf(SQInteger pc) const;
};

struct SQOuter final : SQCollectable {
  Val *_valptr;          // points into a VM stack while open, at _value once closed
  SQInteger _idx = 0;    // stack index while open
  Val _value;
  SQOuter *_nextopen = nullptr;
  SQVM *_vm = nullptr;   // owning VM while open
  explicit SQOuter(SQSharedState *ss) : SQCollectable(ss, OT_OUTER), _valptr(&_value) {}
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
};

struct SQClass;

struct SQClosure final : SQCollectable {
  SQFunctionProto *_proto;   // counted
  std::vector<Val> _outers;  // OT_OUTER values
  std::vector<Val> _defaults;
  Val _env;                  // weak reference to the bound 'this' (or null)
  Val _root;                 // root table (or null: use the VM's)
  SQClass *_base = nullptr;  // counted: base class of the class the method belongs to
  SQClosure(SQSharedState *ss, SQFunctionProto *p);
  ~SQClosure() override;
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
  SQClosure *Clone() const;
};

struct SQNativeClosure final : SQCollectable {
  SQFUNCTION _function;
  std::vector<Val> _outers;
  std::vector<SQInteger> _typecheck;
  SQInteger _nparamscheck = 0;
  Val _name;
  Val _env;
  SQNativeClosure(SQSharedState *ss, SQFUNCTION f) : SQCollectable(ss, OT_NATIVECLOSURE), _function(f) {}
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
  SQNativeClosure *Clone() const;
};

// ============================================================================
// Classes and instances
// ============================================================================
enum SQMetaMethod {
  MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_UNM, MT_MODULO, MT_SET, MT_GET, MT_TYPEOF, MT_NEXTI,
  MT_CMP, MT_CALL, MT_CLONED, MT_NEWSLOT, MT_DELSLOT, MT_TOSTRING, MT_NEWMEMBER, MT_INHERITED,
  MT_LAST
};

struct SQClassMember {
  Val val;
  Val attrs;
  bool isstatic = false;
};

// Member table values encode where a member lives: field index or method/static index.
constexpr SQInteger MEMBER_FIELD = 0x01000000;
constexpr SQInteger MEMBER_METHOD = 0x02000000;
constexpr SQInteger MEMBER_INDEX_MASK = 0x00FFFFFF;

struct SQClass final : SQCollectable {
  SQTable *_members;              // counted: key -> encoded member index
  SQClass *_base = nullptr;       // counted
  std::vector<SQClassMember> _fields;   // per-instance defaults
  std::vector<SQClassMember> _methods;  // methods and statics
  Val _metamethods[MT_LAST];
  Val _attributes;
  SQUserPointer _typetag = nullptr;
  SQRELEASEHOOK _hook = nullptr;
  SQInteger _udsize = 0;
  SQInteger _constructoridx = -1;
  uint64_t _id;  // identity for inline caches, renewed when member encodings change
  bool _locked = false;
  SQClass(SQSharedState *ss, SQClass *base);
  ~SQClass() override;
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
  bool Get(const SQObject &key, Val &out) const;
  // Adds or replaces a member; returns false when the class is locked for new fields.
  bool NewSlot(SQSharedState *ss, const SQObject &key, const SQObject &val, bool bstatic);
  bool SetAttributes(const SQObject &key, const SQObject &val);
  bool GetAttributes(const SQObject &key, Val &out);
};

struct SQInstance final : SQCollectable {
  SQClass *_class;  // counted
  SQUserPointer _userpointer = nullptr;
  SQRELEASEHOOK _hook = nullptr;
  SQInteger _nvalues;
  SQInteger _udsize = 0;
  Val *_values;
  bool _hookcalled = false;
  explicit SQInstance(SQSharedState *ss);
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
  bool Get(const SQObject &key, Val &out) const;
  bool Set(const SQObject &key, const SQObject &val);
  bool InstanceOf(const SQClass *c) const;
  void CallHook();
};

SQInstance *instance_new(SQSharedState *ss, SQClass *c);

struct SQUserData final : SQCollectable {
  SQTable *_delegate = nullptr;
  SQUserPointer _typetag = nullptr;
  SQRELEASEHOOK _hook = nullptr;
  SQInteger _size = 0;
  bool _hookcalled = false;
  alignas(16) unsigned char _data[1];
  SQUserData(SQSharedState *ss) : SQCollectable(ss, OT_USERDATA) {}
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
  void CallHook();
};

// ============================================================================
// Generators
// ============================================================================
struct SQExceptionTrap {
  SQInteger stackbase;   // frame base of the function owning the trap
  SQInteger catchreg;    // absolute stack index receiving the exception
  const SQInstr *handler;
  SQInteger ncalls;      // frame count at push time
};

enum SQGeneratorState { GEN_SUSPENDED, GEN_RUNNING, GEN_DEAD };

struct SQGenerator final : SQCollectable {
  Val _closure;
  std::vector<Val> _stack;  // saved frame (this, params, locals, temps)
  std::vector<SQExceptionTrap> _traps;
  const SQInstr *_ip = nullptr;
  SQGeneratorState _state = GEN_SUSPENDED;
  // Outers of the suspended frame: they point into _stack (one counted reference each)
  // and move back onto the VM stack when the generator resumes.
  std::vector<SQOuter *> _outers;
  SQGenerator(SQSharedState *ss) : SQCollectable(ss, OT_GENERATOR) {}
  ~SQGenerator() override;
  // Closes the parked outers (they keep their current values) and drops the frame.
  void Kill();
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;
};

SQ_INLINE void set_real(Val &dst, const SQObject &src) {
  if (src._type == OT_WEAKREF)
    dst = src._unVal.pWeakRef->_obj;
  else
    dst = src;
}

// Big blocks (hash arrays, table entries, array elements): from 1 MB on they are mapped
// pages, so growing one moves page mappings instead of copying (no transient second copy
// in memory), and freeing one returns its memory at once. From 4 MB on they are advised
// for transparent huge pages (random probes of big tables miss the TLB less). The caller
// passes the block's size back on every call. mem_big_realloc keeps the contents up to
// the smaller size and returns nullptr (the old block intact) when memory runs out.
void *mem_big_alloc(size_t bytes);
void *mem_big_realloc(void *p, size_t oldbytes, size_t newbytes);
void mem_big_free(void *p, size_t bytes);

// Helpers shared by several files
const char *type_name(SQObjectType t);
inline SQObjectType raw_type(const SQObject &o) { return o._type; }
