// sqarray.cpp: array element storage (8-byte scalar cells or 16-byte values, see
// SQArrayStore) and the in-place integer sort.
//
// Values are plain bits apart from their reference counts, so moving them with memcpy or
// memmove keeps every count right. Elements leave the store before they are released:
// releasing one may run code (release hooks) that touches the array again.
#include <algorithm>

#include "sqstate.h"

void SQArrayStore::Grow(SQInteger mincap) {
  SQInteger cap = _cap ? _cap : 4;
  while (cap < mincap) cap *= 2;
  if (cap == _cap) return;
  void *p = mem_big_realloc(_mem, CellBytes() * (size_t)_cap, CellBytes() * (size_t)cap);
  if (!p) throw std::bad_alloc();
  _mem = p;
  _cap = cap;
}

void SQArrayStore::Widen() {
  if (_wide) return;
  size_t cells = (size_t)(_cap ? _cap : 4);
  void *p = mem_big_realloc(_mem, sizeof(SQSmallVal) * (size_t)_cap, sizeof(Val) * cells);
  if (!p) throw std::bad_alloc();
  // From the last element down, so no cell is overwritten before it is read.
  auto *small = static_cast<SQSmallVal *>(p);
  auto *wide = static_cast<Val *>(p);
  for (SQInteger i = _size - 1; i >= 0; i--) {
    SQSmallVal e = small[i];
    SQObject o;
    o._type = e.type;
    o._unVal.raw = e.bits;
    memcpy(static_cast<void *>(&wide[i]), &o, sizeof o);
  }
  _mem = p;
  _cap = (SQInteger)cells;
  _wide = true;
}

void SQArrayStore::SetMove(SQInteger i, Val &&o) {
  if (!_wide) {
    if (IsSmall(o)) {
      static_cast<SQSmallVal *>(_mem)[i] = SQSmallVal{o._type, (uint32_t)o._unVal.raw};
      return;
    }
    Widen();
  }
  static_cast<Val *>(_mem)[i] = std::move(o);
}

// push_back and insert copy the value first: it may be an element of this store, which
// moves when the store grows or widens.
void SQArrayStore::push_back(const SQObject &value) {
  const SQObject o = value;
  if (!_wide && !IsSmall(o)) Widen();
  if (_size == _cap) Grow(_size + 1);
  if (_wide)
    new (&static_cast<Val *>(_mem)[_size]) Val(o);
  else
    static_cast<SQSmallVal *>(_mem)[_size] = SQSmallVal{o._type, (uint32_t)o._unVal.raw};
  _size++;
}

Val SQArrayStore::pop() {
  Val last(Get(_size - 1));
  if (_wide) static_cast<Val *>(_mem)[_size - 1].~Val();
  _size--;
  return last;
}

void SQArrayStore::reserve(SQInteger n) {
  if (n > _cap) Grow(n);
}

void SQArrayStore::resize(SQInteger n) {
  if (n > _size) {
    Grow(n);
    for (SQInteger i = _size; i < n; i++) {
      if (_wide)
        new (&static_cast<Val *>(_mem)[i]) Val();
      else
        static_cast<SQSmallVal *>(_mem)[i] = SQSmallVal{OT_NULL, 0};
    }
    _size = n;
  } else if (n < _size) {
    if (!_wide) {
      _size = n;
      return;
    }
    std::vector<Val> gone;
    gone.reserve((size_t)(_size - n));
    for (SQInteger i = n; i < _size; i++) gone.push_back(std::move(static_cast<Val *>(_mem)[i]));
    for (SQInteger i = n; i < _size; i++) static_cast<Val *>(_mem)[i].~Val();
    _size = n;
  }  // `gone` releases the dropped elements here
}

void SQArrayStore::erase(SQInteger i) {
  char *base = static_cast<char *>(_mem);
  size_t cell = CellBytes();
  Val gone(Get(i));
  if (_wide) static_cast<Val *>(_mem)[i].~Val();
  memmove(base + cell * (size_t)i, base + cell * (size_t)(i + 1), cell * (size_t)(_size - i - 1));
  _size--;
}

void SQArrayStore::insert(SQInteger i, const SQObject &value) {
  const SQObject o = value;
  if (!_wide && !IsSmall(o)) Widen();
  if (_size == _cap) Grow(_size + 1);
  char *base = static_cast<char *>(_mem);
  size_t cell = CellBytes();
  memmove(base + cell * (size_t)(i + 1), base + cell * (size_t)i, cell * (size_t)(_size - i));
  if (_wide)
    new (&static_cast<Val *>(_mem)[i]) Val(o);
  else
    static_cast<SQSmallVal *>(_mem)[i] = SQSmallVal{o._type, (uint32_t)o._unVal.raw};
  _size++;
}

void SQArrayStore::reverse() {
  if (_wide)
    std::reverse(static_cast<Val *>(_mem), static_cast<Val *>(_mem) + _size);
  else
    std::reverse(static_cast<SQSmallVal *>(_mem), static_cast<SQSmallVal *>(_mem) + _size);
}

void SQArrayStore::clear() {
  void *mem = _mem;
  SQInteger size = _size, cap = _cap;
  bool wide = _wide;
  _mem = nullptr;
  _size = _cap = 0;
  _wide = false;
  if (wide)
    for (SQInteger i = 0; i < size; i++) static_cast<Val *>(mem)[i].~Val();
  mem_big_free(mem, (wide ? sizeof(Val) : sizeof(SQSmallVal)) * (size_t)cap);
}

Val *SQArrayStore::data() {
  Widen();
  return static_cast<Val *>(_mem);
}

void SQArrayStore::Traverse(GCVisitor visit, void *ud) {
  if (!_wide) return;
  for (SQInteger i = 0; i < _size; i++) {
    Val &v = static_cast<Val *>(_mem)[i];
    if (v._type & SQOBJECT_REF_COUNTED) visit(v._unVal.pRefCounted, ud);
  }
}

void SQArrayStore::ForgetStrings() {
  if (!_wide) return;
  for (SQInteger i = 0; i < _size; i++) val_forget_if_string(static_cast<Val *>(_mem)[i]);
}

SQArrayStore &SQArrayStore::operator=(const SQArrayStore &o) {
  if (this == &o) return *this;
  SQArrayStore copy;
  copy._wide = o._wide;
  copy.Grow(o._size);
  if (o._wide) {
    for (SQInteger i = 0; i < o._size; i++)
      new (&static_cast<Val *>(copy._mem)[i]) Val(static_cast<const Val *>(o._mem)[i]);
  } else if (o._size) {
    memcpy(copy._mem, o._mem, sizeof(SQSmallVal) * (size_t)o._size);
  }
  copy._size = o._size;
  std::swap(_mem, copy._mem);
  std::swap(_size, copy._size);
  std::swap(_cap, copy._cap);
  std::swap(_wide, copy._wide);
  return *this;  // `copy` releases the old elements
}

SQArrayStore &SQArrayStore::operator=(std::vector<Val> &&vals) {
  SQArrayStore fresh;
  fresh.reserve((SQInteger)vals.size());
  for (Val &v : vals) fresh.push_back(v);
  std::swap(_mem, fresh._mem);
  std::swap(_size, fresh._size);
  std::swap(_cap, fresh._cap);
  std::swap(_wide, fresh._wide);
  vals.clear();
  return *this;
}

// Radix sort by value, in the store's own memory: integers hold no references and no
// script code runs meanwhile, so the cells (8 or 16 bytes) may be overwritten while
// sorting. The keys (sign bit flipped so negative numbers come first) are packed into the
// first 4n bytes, sorted in stable 11-bit passes with the next 4n bytes as scratch
// (passes where every key has the same digit are skipped), and spread back into integer
// cells from the last one down, so no key is overwritten before it is read.
bool SQArrayStore::SortIntegers() {
  SQInteger n = _size;
  for (SQInteger i = 0; i < n; i++)
    if (Get(i)._type != OT_INTEGER) return false;
  if (n < 2) return true;
  constexpr int kBits = 11;
  constexpr uint32_t kMask = (1u << kBits) - 1;
  const size_t cell = CellBytes();
  static_assert(sizeof(SQSmallVal) >= 2 * sizeof(uint32_t), "keys and scratch fit a cell");
  auto *bytes = static_cast<unsigned char *>(_mem);
  uint32_t *src = reinterpret_cast<uint32_t *>(bytes), *dst = src + n;
  for (SQInteger i = 0; i < n; i++) {
    uint32_t k = (uint32_t)Get(i)._unVal.nInteger ^ 0x80000000u;  // read before the write
    memcpy(bytes + 4 * (size_t)i, &k, 4);
  }
  std::vector<size_t> count(kMask + 1);
  for (int shift = 0; shift < 32; shift += kBits) {
    std::fill(count.begin(), count.end(), 0);
    for (SQInteger i = 0; i < n; i++) ++count[(src[i] >> shift) & kMask];
    if (count[(src[0] >> shift) & kMask] == (size_t)n) continue;
    size_t pos = 0;
    for (size_t &c : count) {
      size_t k = c;
      c = pos;
      pos += k;
    }
    for (SQInteger i = 0; i < n; i++) dst[count[(src[i] >> shift) & kMask]++] = src[i];
    std::swap(src, dst);
  }
  if (src != reinterpret_cast<uint32_t *>(bytes)) memmove(bytes, src, 4 * (size_t)n);
  for (SQInteger i = n - 1; i >= 0; i--) {
    uint32_t k;
    memcpy(&k, bytes + 4 * (size_t)i, 4);
    k ^= 0x80000000u;
    if (_wide) {
      SQObject o;
      o._type = OT_INTEGER;
      o._unVal.raw = 0;
      o._unVal.nInteger = (SQInteger)k;
      memcpy(bytes + cell * (size_t)i, &o, sizeof o);
    } else {
      SQSmallVal e{OT_INTEGER, k};
      memcpy(bytes + cell * (size_t)i, &e, sizeof e);
    }
  }
  return true;
}
