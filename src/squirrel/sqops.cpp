// sqops.cpp: the slow paths of the interpreter: indexing with delegation and
// metamethods, arithmetic on mixed types, comparison, conversion to string, cloning.
// Everything here may call back into scripts (metamethods) and may raise.
#include <cmath>
#include <cstdio>
#include <string>

#include "sqstate.h"

static std::string float_text(SQFloat f) {
  char buf[64];
  snprintf(buf, sizeof buf, "%g", (double)f);
  return buf;
}

std::string val_print_for_error(const SQObject &o) {
  switch (o._type) {
    case OT_STRING: return std::string(o._unVal.pString->_val, (size_t)o._unVal.pString->_len);
    case OT_INTEGER: return std::to_string(o._unVal.nInteger);
    case OT_FLOAT: return float_text(o._unVal.fFloat);
    default: return type_name(o._type);
  }
}

[[noreturn]] static void raise_idx(SQVM *v, const SQObject &key) {
  vm_raise(v, "the index '%s' does not exist", val_print_for_error(key).c_str());
}

SQString *vm_printf_str(SQVM *v, const char *fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return str_new(v->_shared, buf);
}

// ============================================================================
// Metamethods and delegates
// ============================================================================
SQTable *vm_default_delegate(SQVM *v, SQObjectType t) {
  if (t == OT_NATIVECLOSURE) t = OT_CLOSURE;
  const Val &d = v->_shared->_delegates[v->_shared->Delegate(t)];
  return d._type == OT_TABLE ? d._unVal.pTable : nullptr;
}

bool vm_meta(SQVM *v, const SQObject &self, SQMetaMethod mm, Val &fn) {
  SQTable *d = nullptr;
  switch (self._type) {
    case OT_TABLE: d = self._unVal.pTable->_delegate; break;
    case OT_USERDATA: d = self._unVal.pUserData->_delegate; break;
    case OT_INSTANCE: {
      const Val &m = self._unVal.pInstance->_class->_metamethods[mm];
      if (m._type == OT_NULL) return false;
      fn = m;
      return true;
    }
    default: return false;
  }
  if (!d) return false;
  Val *m = d->GetStr(v->_shared->_mmnames[mm]._unVal.pString);
  if (!m) return false;
  fn = *m;
  return true;
}

// Calls a _get-like metamethod: returns false when it signalled "not found" (throw null).
static bool call_meta_lookup(SQVM *v, const Val &fn, Val &out, std::initializer_list<SQObject> args) {
  struct Nesting {
    SQVM *v;
    explicit Nesting(SQVM *vm) : v(vm) { v->_metalookups++; }
    ~Nesting() { v->_metalookups--; }
  } nesting(v);
  try {
    vm_callargs(v, fn, out, args);
    return true;
  } catch (SQError &) {
    if (v->_lasterror._type == OT_NULL) return false;
    throw;
  }
}

// ============================================================================
// Get
// ============================================================================
static bool get_fallback(SQVM *v, const SQObject &self, const SQObject &key, Val &out, int depth);

static bool get_raw_step(SQVM *v, const SQObject &self, const SQObject &key, Val &out) {
  switch (self._type) {
    case OT_TABLE: {
      Val *r = self._unVal.pTable->Get(key);
      if (r) {
        set_real(out, *r);
        return true;
      }
      return false;
    }
    case OT_INSTANCE: return self._unVal.pInstance->Get(key, out);
    case OT_CLASS: return self._unVal.pClass->Get(key, out);
    default: return false;
  }
}

static bool get_impl(SQVM *v, const SQObject &self, const SQObject &key, Val &out, bool usedefault, int depth) {
  switch (self._type) {
    case OT_TABLE:
    case OT_INSTANCE:
    case OT_CLASS:
      if (get_raw_step(v, self, key, out)) return true;
      break;
    case OT_ARRAY:
      if (key._type & SQOBJECT_NUMERIC) {
        SQInteger i = to_int(key);
        SQArray *a = self._unVal.pArray;
        if (i >= 0 && i < a->Size()) {
          set_real(out, a->_vals[i]);
          return true;
        }
        raise_idx(v, key);
      }
      break;
    case OT_STRING:
      if (key._type & SQOBJECT_NUMERIC) {
        SQInteger i = to_int(key);
        SQString *s = self._unVal.pString;
        if (i < 0) i += s->_len;
        if (i >= 0 && i < s->_len) {
          out.SetInt((SQInteger)(signed char)s->_val[i]);
          return true;
        }
        raise_idx(v, key);
      }
      break;
    default:
      break;
  }
  if (get_fallback(v, self, key, out, depth)) return true;
  if (usedefault) {
    SQTable *dd = vm_default_delegate(v, self._type);
    if (dd) {
      Val *r = dd->Get(key);
      if (r) {
        out = *r;
        return true;
      }
    }
  }
  return false;
}

static bool get_fallback(SQVM *v, const SQObject &self, const SQObject &key, Val &out, int depth) {
  if (depth > 64) vm_raise(v, "delegate chain too deep");
  switch (self._type) {
    case OT_TABLE:
    case OT_USERDATA: {
      SQTable *d = self._type == OT_TABLE ? self._unVal.pTable->_delegate : self._unVal.pUserData->_delegate;
      if (!d) return false;
      Val dv(OT_TABLE, d);
      if (get_impl(v, dv, key, out, true, depth + 1)) return true;
      Val *mm = d->GetStr(v->_shared->_mmnames[MT_GET]._unVal.pString);
      if (mm) return call_meta_lookup(v, *mm, out, {self, key});
      return false;
    }
    case OT_INSTANCE: {
      Val fn;
      if (vm_meta(v, self, MT_GET, fn)) return call_meta_lookup(v, fn, out, {self, key});
      return false;
    }
    default:
      return false;
  }
}

bool vm_get(SQVM *v, const SQObject &self, const SQObject &key, Val &out, bool rootfallback) {
  if (get_impl(v, self, key, out, true, 0)) return true;
  if (rootfallback) {
    const SQCallInfo *ci = v->_calls.empty() ? nullptr : &v->_calls.back();
    const Val &root = (ci && ci->closure && ci->closure->_root._type == OT_TABLE) ? ci->closure->_root : v->_roottable;
    if (root._type == OT_TABLE) {
      Val *r = root._unVal.pTable->Get(key);
      if (r) {
        set_real(out, *r);
        return true;
      }
    }
  }
  return false;
}

void vm_get_or_raise(SQVM *v, const SQObject &self, const SQObject &key, Val &out, bool rootfallback) {
  if (!vm_get(v, self, key, out, rootfallback)) raise_idx(v, key);
}

bool vm_rawget(SQVM *v, const SQObject &self, const SQObject &key, Val &out) {
  return get_raw_step(v, self, key, out);
}

bool vm_in(SQVM *v, const SQObject &key, const SQObject &self) {
  Val out;
  switch (self._type) {
    case OT_TABLE: return self._unVal.pTable->Get(key) != nullptr;
    case OT_INSTANCE:
    case OT_CLASS: return get_raw_step(v, self, key, out);
    case OT_ARRAY:
      if (key._type & SQOBJECT_NUMERIC) {
        SQInteger i = to_int(key);
        return i >= 0 && i < self._unVal.pArray->Size();
      }
      return false;
    case OT_STRING:
      if (key._type & SQOBJECT_NUMERIC) {
        SQInteger i = to_int(key);
        return i >= 0 && i < self._unVal.pString->_len;
      }
      return false;
    case OT_USERDATA: {
      for (SQTable *t = self._unVal.pUserData->_delegate; t; t = t->_delegate)
        if (t->Get(key)) return true;
      return false;
    }
    default:
      return false;
  }
}

// ============================================================================
// Set / new slot / delete
// ============================================================================
static bool set_impl(SQVM *v, const SQObject &self, const SQObject &key, const SQObject &val, int depth) {
  if (depth > 64) vm_raise(v, "delegate chain too deep");
  switch (self._type) {
    case OT_TABLE: {
      SQTable *t = self._unVal.pTable;
      if (t->Set(key, val)) return true;
      if (!t->_delegate) return false;
      Val dv(OT_TABLE, t->_delegate);
      if (set_impl(v, dv, key, val, depth + 1)) return true;
      Val *mm = t->_delegate->GetStr(v->_shared->_mmnames[MT_SET]._unVal.pString);
      if (mm) {
        Val res;
        return call_meta_lookup(v, *mm, res, {self, key, val});
      }
      return false;
    }
    case OT_INSTANCE: {
      if (self._unVal.pInstance->Set(key, val)) return true;
      Val fn;
      if (vm_meta(v, self, MT_SET, fn)) {
        Val res;
        return call_meta_lookup(v, fn, res, {self, key, val});
      }
      return false;
    }
    case OT_ARRAY: {
      if (!(key._type & SQOBJECT_NUMERIC)) vm_raise(v, "trying to set '%s'", type_name(self._type));
      SQInteger i = to_int(key);
      SQArray *a = self._unVal.pArray;
      if (i < 0 || i >= a->Size()) raise_idx(v, key);
      a->_vals[i] = val;
      return true;
    }
    case OT_CLASS: {
      SQClass *c = self._unVal.pClass;
      if (c->_locked) vm_raise(v, "trying to set '%s'", type_name(self._type));
      Val *m = c->_members->Get(key);
      if (!m) return false;
      SQInteger enc = m->_unVal.nInteger;
      if (enc & MEMBER_FIELD)
        c->_fields[enc & MEMBER_INDEX_MASK].val = val;
      else
        c->_methods[enc & MEMBER_INDEX_MASK].val = val;
      return true;
    }
    case OT_USERDATA: {
      Val fn;
      if (vm_meta(v, self, MT_SET, fn)) {
        Val res;
        return call_meta_lookup(v, fn, res, {self, key, val});
      }
      return false;
    }
    default:
      vm_raise(v, "trying to set '%s'", type_name(self._type));
  }
}

void vm_set(SQVM *v, const SQObject &self, const SQObject &key, const SQObject &val, bool rootfallback) {
  if (set_impl(v, self, key, val, 0)) return;
  if (rootfallback) {
    const SQCallInfo *ci = v->_calls.empty() ? nullptr : &v->_calls.back();
    const Val &root = (ci && ci->closure && ci->closure->_root._type == OT_TABLE) ? ci->closure->_root : v->_roottable;
    if (root._type == OT_TABLE && root._unVal.pTable->Set(key, val)) return;
  }
  raise_idx(v, key);
}

void vm_newslot(SQVM *v, const SQObject &self, const SQObject &key, const SQObject &val, bool bstatic) {
  if (key._type == OT_NULL) vm_raise(v, "null cannot be used as index");
  switch (self._type) {
    case OT_TABLE: {
      SQTable *t = self._unVal.pTable;
      if (t->_delegate && !t->Get(key)) {
        Val *mm = t->_delegate->GetStr(v->_shared->_mmnames[MT_NEWSLOT]._unVal.pString);
        if (mm) {
          Val res;
          vm_callargs(v, *mm, res, {self, key, val});
          return;
        }
      }
      t->NewSlot(key, val);
      return;
    }
    case OT_INSTANCE: {
      Val fn;
      if (vm_meta(v, self, MT_NEWSLOT, fn)) {
        Val res;
        vm_callargs(v, fn, res, {self, key, val});
        return;
      }
      vm_raise(v, "class instances do not support the new slot operator");
    }
    case OT_CLASS:
      if (!self._unVal.pClass->NewSlot(v->_shared, key, val, bstatic)) {
        if (self._unVal.pClass->_locked)
          vm_raise(v, "trying to modify a class that has already been instantiated");
        raise_idx(v, key);
      }
      return;
    default:
      vm_raise(v, "indexing %s with %s", type_name(self._type), type_name(key._type));
  }
}

void vm_newmember(SQVM *v, SQClass *c, const SQObject &key, const SQObject &val, const SQObject &attrs, bool bstatic,
                  bool raw) {
  if (key._type == OT_NULL) vm_raise(v, "null cannot be used as index");
  if (!raw) {
    const Val &mm = c->_metamethods[MT_NEWMEMBER];
    if (mm._type != OT_NULL) {
      Val res;
      Val cls(OT_CLASS, c);
      Val st(bstatic);
      vm_callargs(v, mm, res, {cls, key, val, attrs, st});
      return;
    }
  }
  if (!c->NewSlot(v->_shared, key, val, bstatic))
    vm_raise(v, "trying to modify a class that has already been instantiated");
  if (attrs._type != OT_NULL) c->SetAttributes(key, attrs);
}

void vm_delete(SQVM *v, const SQObject &self, const SQObject &key, Val &out) {
  switch (self._type) {
    case OT_TABLE: {
      SQTable *t = self._unVal.pTable;
      Val fn;
      if (vm_meta(v, self, MT_DELSLOT, fn)) {
        vm_callargs(v, fn, out, {self, key});
        return;
      }
      Val *r = t->Get(key);
      if (!r) raise_idx(v, key);
      out = *r;
      t->Remove(key);
      return;
    }
    case OT_INSTANCE:
    case OT_USERDATA: {
      Val fn;
      if (vm_meta(v, self, MT_DELSLOT, fn)) {
        vm_callargs(v, fn, out, {self, key});
        return;
      }
      vm_raise(v, "cannot delete a slot from %s", type_name(self._type));
    }
    default:
      vm_raise(v, "attempt to delete a slot from a %s", type_name(self._type));
  }
}

// ============================================================================
// Conversion
// ============================================================================
// Decimal text of an integer (what "%d" gives) into buf, which holds at least 12 bytes;
// returns the length. Building keys such as "key_" + i is common enough in scripts that
// the printf machinery showed in profiles.
static int int_to_text(char *buf, SQInteger i) {
  char tmp[12];
  uint32_t u = i < 0 ? 0u - (uint32_t)i : (uint32_t)i;
  int n = 0;
  do {
    tmp[n++] = (char)('0' + u % 10);
    u /= 10;
  } while (u);
  int len = 0;
  if (i < 0) buf[len++] = '-';
  while (n) buf[len++] = tmp[--n];
  buf[len] = 0;
  return len;
}

void vm_tostring(SQVM *v, const SQObject &o, Val &out) {
  char buf[96];
  switch (o._type) {
    case OT_STRING: out = o; return;
    case OT_INTEGER: int_to_text(buf, o._unVal.nInteger); break;
    case OT_FLOAT: snprintf(buf, sizeof buf, "%g", (double)o._unVal.fFloat); break;
    case OT_BOOL: snprintf(buf, sizeof buf, "%s", o._unVal.nInteger ? "true" : "false"); break;
    case OT_NULL: snprintf(buf, sizeof buf, "null"); break;
    case OT_TABLE:
    case OT_INSTANCE:
    case OT_USERDATA: {
      Val fn;
      if (vm_meta(v, o, MT_TOSTRING, fn)) {
        Val res;
        vm_callargs(v, fn, res, {o});
        if (res._type != OT_STRING) vm_tostring(v, res, out);
        else out = res;
        return;
      }
    }
      [[fallthrough]];
    default:
      snprintf(buf, sizeof buf, "(%s : 0x%p)", type_name(o._type), (void *)o._unVal.pRefCounted);
      break;
  }
  out = val_str(str_new(v->_shared, buf));
}

void vm_typeof(SQVM *v, const SQObject &o, Val &out) {
  if (o._type == OT_TABLE || o._type == OT_INSTANCE || o._type == OT_USERDATA) {
    Val fn;
    if (vm_meta(v, o, MT_TYPEOF, fn)) {
      vm_callargs(v, fn, out, {o});
      return;
    }
  }
  out = val_str(str_new(v->_shared, type_name(o._type)));
}

// Text of a value for concatenation: scalars are formatted into buf (no interned
// temporary string), everything else goes through vm_tostring into holder.
static void concat_part(SQVM *v, const SQObject &o, Val &holder, char *buf, size_t bufsize, const char *&text,
                        SQInteger &len) {
  switch (o._type) {
    case OT_STRING:
      text = o._unVal.pString->_val;
      len = o._unVal.pString->_len;
      return;
    case OT_INTEGER: len = int_to_text(buf, o._unVal.nInteger); break;
    case OT_FLOAT: len = snprintf(buf, bufsize, "%g", (double)o._unVal.fFloat); break;
    default:
      vm_tostring(v, o, holder);
      text = holder._unVal.pString->_val;
      len = holder._unVal.pString->_len;
      return;
  }
  text = buf;
}

void vm_concat(SQVM *v, const SQObject &a, const SQObject &b, Val &out) {
  Val ha, hb;
  char ba[64], bb[64];
  const char *x, *y;
  SQInteger lx, ly;
  concat_part(v, a, ha, ba, sizeof ba, x, lx);
  concat_part(v, b, hb, bb, sizeof bb, y, ly);
  // Lengths are 32-bit: a longer result cannot be represented.
  if ((int64_t)lx + (int64_t)ly > 0x7FFFFFF0) vm_raise(v, "string too long");
  SQInteger len = lx + ly;
  if (v->_shared->_memlimit && v->_shared->_memused + (size_t)len > v->_shared->_memlimit)
    vm_raise_limit(v, "out of memory");
  std::vector<char> &scratch = v->_shared->_scratch;
  if ((SQInteger)scratch.size() < len + 1) scratch.resize((size_t)len + 1);
  memcpy(scratch.data(), x, (size_t)lx);
  memcpy(scratch.data() + lx, y, (size_t)ly);
  out = val_str(str_new(v->_shared, scratch.data(), len));
}

// ============================================================================
// Arithmetic
// ============================================================================
static const char *arith_symbol(int op) {
  switch (op) {
    case 0: return "+";
    case 1: return "-";
    case 2: return "*";
    case 3: return "/";
    default: return "%";
  }
}

// op: 0 add, 1 sub, 2 mul, 3 div, 4 mod
void vm_arith(SQVM *v, int op, Val &dst, const SQObject &a, const SQObject &b) {
  if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
    uint32_t x = (uint32_t)a._unVal.nInteger, y = (uint32_t)b._unVal.nInteger;
    switch (op) {
      case 0: dst.SetInt((SQInteger)(x + y)); return;
      case 1: dst.SetInt((SQInteger)(x - y)); return;
      case 2: dst.SetInt((SQInteger)(x * y)); return;
      case 3:
      case 4: {
        SQInteger ia = a._unVal.nInteger, ib = b._unVal.nInteger;
        if (ib == 0) vm_raise(v, "division by zero");
        if (ib == -1) {
          dst.SetInt(op == 3 ? (SQInteger)(0u - x) : 0);
          return;
        }
        dst.SetInt(op == 3 ? ia / ib : ia % ib);
        return;
      }
    }
  }
  if ((a._type & SQOBJECT_NUMERIC) && (b._type & SQOBJECT_NUMERIC)) {
    SQFloat x = to_float(a), y = to_float(b);
    switch (op) {
      case 0: dst.SetFloat(x + y); return;
      case 1: dst.SetFloat(x - y); return;
      case 2: dst.SetFloat(x * y); return;
      case 3: dst.SetFloat(x / y); return;
      case 4: dst.SetFloat(fmodf(x, y)); return;
    }
  }
  if (op == 0 && (a._type == OT_STRING || b._type == OT_STRING)) {
    vm_concat(v, a, b, dst);
    return;
  }
  static const SQMetaMethod mms[] = {MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_MODULO};
  Val fn;
  if (vm_meta(v, a, mms[op], fn)) {
    Val res;
    vm_callargs(v, fn, res, {a, b});
    dst = res;
    return;
  }
  vm_raise(v, "arith op %s on between '%s' and '%s'", arith_symbol(op), type_name(a._type), type_name(b._type));
}

// op: 0 and, 1 or, 2 xor, 3 shl, 4 shr, 5 ushr
void vm_bitwise(SQVM *v, int op, Val &dst, const SQObject &a, const SQObject &b) {
  if (a._type != OT_INTEGER || b._type != OT_INTEGER)
    vm_raise(v, "bitwise op between '%s' and '%s'", type_name(a._type), type_name(b._type));
  uint32_t x = (uint32_t)a._unVal.nInteger, y = (uint32_t)b._unVal.nInteger;
  SQInteger r = 0;
  switch (op) {
    case 0: r = (SQInteger)(x & y); break;
    case 1: r = (SQInteger)(x | y); break;
    case 2: r = (SQInteger)(x ^ y); break;
    case 3: r = (SQInteger)(x << (y & 31)); break;
    case 4: r = a._unVal.nInteger >> (y & 31); break;
    case 5: r = (SQInteger)(x >> (y & 31)); break;
  }
  dst.SetInt(r);
}

void vm_unm(SQVM *v, Val &dst, const SQObject &a) {
  switch (a._type) {
    case OT_INTEGER: dst.SetInt((SQInteger)(0u - (uint32_t)a._unVal.nInteger)); return;
    case OT_FLOAT: dst.SetFloat(-a._unVal.fFloat); return;
    case OT_TABLE:
    case OT_INSTANCE:
    case OT_USERDATA: {
      Val fn;
      if (vm_meta(v, a, MT_UNM, fn)) {
        Val res;
        vm_callargs(v, fn, res, {a});
        dst = res;
        return;
      }
    }
      [[fallthrough]];
    default:
      vm_raise(v, "attempt to negate a %s", type_name(a._type));
  }
}

// ============================================================================
// Comparison
// ============================================================================
bool vm_equal(SQVM *v, const SQObject &a, const SQObject &b) {
  if (a._type == b._type) {
    if (a._type == OT_FLOAT) return a._unVal.fFloat == b._unVal.fFloat;
    return a._unVal.raw == b._unVal.raw;
  }
  if ((a._type & SQOBJECT_NUMERIC) && (b._type & SQOBJECT_NUMERIC)) return to_float(a) == to_float(b);
  return false;
}

SQInteger vm_compare(SQVM *v, const SQObject &a, const SQObject &b) {
  if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
    SQInteger x = a._unVal.nInteger, y = b._unVal.nInteger;
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if ((a._type & SQOBJECT_NUMERIC) && (b._type & SQOBJECT_NUMERIC)) {
    SQFloat x = to_float(a), y = to_float(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (a._type == OT_STRING && b._type == OT_STRING) {
    SQString *x = a._unVal.pString, *y = b._unVal.pString;
    if (x == y) return 0;
    int r = strcmp(x->_val, y->_val);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  if (a._type == b._type && (a._type == OT_TABLE || a._type == OT_INSTANCE || a._type == OT_USERDATA)) {
    Val fn;
    if (vm_meta(v, a, MT_CMP, fn)) {
      Val res;
      vm_callargs(v, fn, res, {a, b});
      if (res._type == OT_INTEGER) return res._unVal.nInteger < 0 ? -1 : (res._unVal.nInteger > 0 ? 1 : 0);
      if (res._type == OT_FLOAT) return res._unVal.fFloat < 0 ? -1 : (res._unVal.fFloat > 0 ? 1 : 0);
      vm_raise(v, "_cmp must return an integer");
    }
  }
  // Same type otherwise orders by payload: false < true, references by address.
  if (a._type == b._type) {
    if (a._unVal.raw == b._unVal.raw) return 0;
    return a._unVal.raw < b._unVal.raw ? -1 : 1;
  }
  if (a._type == OT_NULL) return -1;
  if (b._type == OT_NULL) return 1;
  vm_raise(v, "comparison between '%s' and '%s'", val_print_for_error(a).c_str(), val_print_for_error(b).c_str());
}

// ============================================================================
// Clone, instanceof
// ============================================================================
void vm_clone(SQVM *v, const SQObject &o, Val &out) {
  switch (o._type) {
    case OT_TABLE: {
      Val t(OT_TABLE, o._unVal.pTable->Clone());
      Val fn;
      if (vm_meta(v, t, MT_CLONED, fn)) {
        Val res;
        vm_callargs(v, fn, res, {t, o});
      }
      out = t;
      return;
    }
    case OT_ARRAY: {
      SQArray *a = array_new(v->_shared, 0);
      a->_vals = o._unVal.pArray->_vals;
      out = Val(OT_ARRAY, a);
      return;
    }
    case OT_INSTANCE: {
      SQInstance *src = o._unVal.pInstance;
      SQInstance *inst = instance_new(v->_shared, src->_class);
      Val t(OT_INSTANCE, inst);
      for (SQInteger i = 0; i < src->_nvalues && i < inst->_nvalues; i++) inst->_values[i] = src->_values[i];
      Val fn;
      if (vm_meta(v, t, MT_CLONED, fn)) {
        Val res;
        vm_callargs(v, fn, res, {t, o});
      }
      out = t;
      return;
    }
    default:
      vm_raise(v, "cloning a %s", type_name(o._type));
  }
}

bool vm_instanceof(SQVM *v, const SQObject &inst, const SQObject &cls) {
  if (cls._type != OT_CLASS)
    vm_raise(v, "cannot apply instanceof between a %s and a %s", type_name(cls._type), type_name(inst._type));
  if (inst._type != OT_INSTANCE) return false;
  return inst._unVal.pInstance->InstanceOf(cls._unVal.pClass);
}
