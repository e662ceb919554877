// sqapi_ops.cpp: the public C API, part 2: object manipulation, calls and errors, handles
// (HSQOBJECT references), garbage collection, debug information, and the services the
// base library uses (sqlib_internal.h).
#include <algorithm>
#include <unordered_map>

#include "sqlib_internal.h"
#include "sqstate.h"

namespace {
// Runs f, converting a raised script error into SQ_ERROR.
template <typename F>
SQRESULT protect(HSQUIRRELVM v, F &&f) {
  try {
    f();
    return SQ_OK;
  } catch (SQError &) {
    (void)v;
    return SQ_ERROR;
  }
}
}  // namespace

// ============================================================================
// Root, registry and const tables
// ============================================================================
void sq_pushroottable(HSQUIRRELVM v) { v->ApiPush(v->_roottable); }
void sq_pushregistrytable(HSQUIRRELVM v) { v->ApiPush(v->_shared->_registry); }
void sq_pushconsttable(HSQUIRRELVM v) { v->ApiPush(v->_shared->_consttable); }

SQRESULT sq_setroottable(HSQUIRRELVM v) {
  Val o = v->Top();
  if (o._type != OT_TABLE && o._type != OT_NULL) return sq_throwerror(v, "invalid type");
  v->_roottable = o;
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_setconsttable(HSQUIRRELVM v) {
  Val o = v->Top();
  if (o._type != OT_TABLE) return sq_throwerror(v, "invalid type, expected table");
  v->_shared->_consttable = o;
  v->Pop();
  return SQ_OK;
}

// ============================================================================
// Slots
// ============================================================================
SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) {
  Val self = v->At(idx);
  Val key = v->At(-2), val = v->At(-1);
  if (self._type != OT_TABLE && self._type != OT_CLASS && self._type != OT_INSTANCE && self._type != OT_USERDATA)
    return sq_throwerror(v, "invalid type");
  SQRESULT r = protect(v, [&] { vm_newslot(v, self, key, val, bstatic != 0); });
  v->Pop(2);
  return r;
}

SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
  Val self = v->At(idx);
  Val key = v->Top();
  Val out;
  SQRESULT r = protect(v, [&] { vm_delete(v, self, key, out); });
  v->Pop();
  if (SQ_SUCCEEDED(r) && pushval) v->ApiPush(out);
  return r;
}

SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx) {
  Val self = v->At(idx);
  Val key = v->At(-2), val = v->At(-1);
  SQRESULT r = protect(v, [&] { vm_set(v, self, key, val, false); });
  v->Pop(2);
  return r;
}

SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx) {
  Val self = v->At(idx);
  Val key = v->Top();
  Val out;
  SQRESULT r = protect(v, [&] { vm_get_or_raise(v, self, key, out, false); });
  v->Pop();
  if (SQ_SUCCEEDED(r)) v->ApiPush(out);
  return r;
}

SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx) {
  Val self = v->At(idx);
  Val key = v->Top();
  v->Pop();
  Val out;
  switch (self._type) {
    case OT_TABLE:
    case OT_INSTANCE:
    case OT_CLASS:
      if (vm_rawget(v, self, key, out)) {
        v->ApiPush(out);
        return SQ_OK;
      }
      break;
    case OT_ARRAY:
      if (key._type & SQOBJECT_NUMERIC) {
        SQInteger i = to_int(key);
        SQArray *a = self._unVal.pArray;
        if (i < 0) i += a->Size();
        if (i >= 0 && i < a->Size()) {
          Val rv;
          set_real(rv, a->_vals[i]);
          v->ApiPush(rv);
          return SQ_OK;
        }
      }
      break;
    default:
      return sq_throwerror(v, "rawget works only on array/table/instance and class");
  }
  return sq_throwerror(v, "the index doesn't exist");
}

SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx) {
  Val self = v->At(idx);
  Val key = v->At(-2), val = v->At(-1);
  v->Pop(2);
  if (key._type == OT_NULL) return sq_throwerror(v, "null key");
  switch (self._type) {
    case OT_TABLE: self._unVal.pTable->NewSlot(key, val); return SQ_OK;
    case OT_CLASS:
      if (!self._unVal.pClass->NewSlot(v->_shared, key, val, false))
        return sq_throwerror(v, "trying to modify a class that has already been instantiated");
      return SQ_OK;
    case OT_INSTANCE:
      if (self._unVal.pInstance->Set(key, val)) return SQ_OK;
      return sq_throwerror(v, "the index doesn't exist");
    case OT_ARRAY:
      if (key._type & SQOBJECT_NUMERIC) {
        SQInteger i = to_int(key);
        SQArray *a = self._unVal.pArray;
        if (i < 0) i += a->Size();
        if (i >= 0 && i < a->Size()) {
          a->_vals[i] = val;
          return SQ_OK;
        }
      }
      return sq_throwerror(v, "the index doesn't exist");
    default:
      return sq_throwerror(v, "rawset works only on array/table/class and instance");
  }
}

SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
  Val self = v->At(idx);
  Val key = v->Top();
  v->Pop();
  if (self._type != OT_TABLE) return sq_throwerror(v, "rawdeleteslot works only on tables");
  Val *r = self._unVal.pTable->Get(key);
  Val old;
  if (r) {
    old = *r;
    self._unVal.pTable->Remove(key);
  }
  if (pushval) v->ApiPush(old);
  return SQ_OK;
}

static SQRESULT newmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic, bool raw) {
  Val self = v->At(idx);
  if (self._type != OT_CLASS) return sq_throwerror(v, "new member only works with classes");
  Val key = v->At(-3), val = v->At(-2), attrs = v->At(-1);
  SQRESULT r = protect(v, [&] { vm_newmember(v, self._unVal.pClass, key, val, attrs, bstatic != 0, raw); });
  v->Pop(3);
  return r;
}
SQRESULT sq_newmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) { return newmember(v, idx, bstatic, false); }
SQRESULT sq_rawnewmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) { return newmember(v, idx, bstatic, true); }

// ============================================================================
// Arrays
// ============================================================================
static SQArray *array_at(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  return o._type == OT_ARRAY ? o._unVal.pArray : nullptr;
}

SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx) {
  SQArray *a = array_at(v, idx);
  if (!a) return sq_throwerror(v, "the object is not an array");
  a->_vals.push_back(v->Top());
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
  SQArray *a = array_at(v, idx);
  if (!a) return sq_throwerror(v, "the object is not an array");
  if (a->_vals.empty()) return sq_throwerror(v, "empty array");
  Val last = a->_vals.pop();
  if (pushval) v->ApiPush(last);
  return SQ_OK;
}

SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize) {
  SQArray *a = array_at(v, idx);
  if (!a) return sq_throwerror(v, "the object is not an array");
  if (newsize < 0) return sq_throwerror(v, "negative size");
  a->_vals.resize(newsize);
  return SQ_OK;
}

SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx) {
  SQArray *a = array_at(v, idx);
  if (!a) return sq_throwerror(v, "the object is not an array");
  a->_vals.reverse();
  return SQ_OK;
}

SQRESULT sq_arrayremove(HSQUIRRELVM v, SQInteger idx, SQInteger itemidx) {
  SQArray *a = array_at(v, idx);
  if (!a) return sq_throwerror(v, "the object is not an array");
  if (itemidx < 0 || itemidx >= a->Size()) return sq_throwerror(v, "index out of range");
  a->_vals.erase(itemidx);
  return SQ_OK;
}

SQRESULT sq_arrayinsert(HSQUIRRELVM v, SQInteger idx, SQInteger destpos) {
  SQArray *a = array_at(v, idx);
  if (!a) return sq_throwerror(v, "the object is not an array");
  if (destpos < 0 || destpos > a->Size()) return sq_throwerror(v, "index out of range");
  a->_vals.insert(destpos, v->Top());
  v->Pop();
  return SQ_OK;
}

// ============================================================================
// Delegates, clone, free variables, iteration
// ============================================================================
SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx) {
  Val self = v->At(idx);
  Val d = v->Top();
  if (d._type != OT_TABLE && d._type != OT_NULL) return sq_throwerror(v, "invalid delegate type");
  SQTable *dt = d._type == OT_TABLE ? d._unVal.pTable : nullptr;
  switch (self._type) {
    case OT_TABLE: {
      SQTable *t = self._unVal.pTable;
      for (SQTable *p = dt; p; p = p->_delegate)
        if (p == t) return sq_throwerror(v, "delagate cycle");
      t->SetDelegate(dt);
      break;
    }
    case OT_USERDATA: {
      SQUserData *u = self._unVal.pUserData;
      if (dt) dt->_refs++;
      SQTable *old = u->_delegate;
      u->_delegate = dt;
      if (old) {
        SQObject ob;
        ob._type = OT_TABLE;
        ob._unVal.raw = 0;
        ob._unVal.pTable = old;
        val_release(ob);
      }
      break;
    }
    default:
      return sq_throwerror(v, "the object cannot have a delegate");
  }
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx) {
  const Val &self = v->At(idx);
  SQTable *d;
  switch (self._type) {
    case OT_TABLE: d = self._unVal.pTable->_delegate; break;
    case OT_USERDATA: d = self._unVal.pUserData->_delegate; break;
    default: return sq_throwerror(v, "wrong type");
  }
  v->ApiPush(d ? Val(OT_TABLE, d) : Val());
  return SQ_OK;
}

SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  Val out;
  SQRESULT r = protect(v, [&] { vm_clone(v, o, out); });
  if (SQ_SUCCEEDED(r)) v->ApiPush(out);
  return r;
}

SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
  Val f = v->At(idx);
  Val val = v->Top();
  if (f._type == OT_CLOSURE) {
    SQClosure *c = f._unVal.pClosure;
    if (nval >= c->_outers.size()) return sq_throwerror(v, "invalid free var index");
    *c->_outers[nval]._unVal.pOuter->_valptr = val;
  } else if (f._type == OT_NATIVECLOSURE) {
    SQNativeClosure *c = f._unVal.pNativeClosure;
    if (nval >= c->_outers.size()) return sq_throwerror(v, "invalid free var index");
    c->_outers[nval] = val;
  } else {
    return sq_throwerror(v, "invalid closure type");
  }
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx) {
  Val self = v->At(idx);
  Val &it = v->At(-1);
  switch (self._type) {
    case OT_TABLE: {
      SQTable *t = self._unVal.pTable;
      SQInteger i = it._type == OT_INTEGER ? it._unVal.nInteger : -1;
      SQInteger n = t->Next(i);
      if (n < 0) return SQ_ERROR;
      it.SetInt(n);
      Val k(t->_nodes[n].Key()), val;
      set_real(val, t->_nodes[n].val);
      v->ApiPush(k);
      v->ApiPush(val);
      return SQ_OK;
    }
    case OT_ARRAY: {
      SQInteger i = it._type == OT_INTEGER ? it._unVal.nInteger + 1 : 0;
      SQArray *a = self._unVal.pArray;
      if (i >= a->Size()) return SQ_ERROR;
      it.SetInt(i);
      Val val;
      set_real(val, a->_vals[i]);
      v->ApiPush(Val(i));
      v->ApiPush(val);
      return SQ_OK;
    }
    case OT_CLASS:
    case OT_INSTANCE: {
      SQClass *c = self._type == OT_CLASS ? self._unVal.pClass : self._unVal.pInstance->_class;
      SQInteger i = it._type == OT_INTEGER ? it._unVal.nInteger : -1;
      SQInteger n = c->_members->Next(i);
      if (n < 0) return SQ_ERROR;
      it.SetInt(n);
      Val k(c->_members->_nodes[n].Key()), val;
      if (self._type == OT_CLASS)
        c->Get(k, val);
      else
        self._unVal.pInstance->Get(k, val);
      v->ApiPush(k);
      v->ApiPush(val);
      return SQ_OK;
    }
    case OT_STRING: {
      SQInteger i = it._type == OT_INTEGER ? it._unVal.nInteger + 1 : 0;
      SQString *s = self._unVal.pString;
      if (i >= s->_len) return SQ_ERROR;
      it.SetInt(i);
      v->ApiPush(Val(i));
      v->ApiPush(Val((SQInteger)(signed char)s->_val[i]));
      return SQ_OK;
    }
    default:
      return sq_throwerror(v, "cannot iterate a non-iterable type");
  }
}

SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  if (o._type != OT_WEAKREF) return sq_throwerror(v, "the object must be a weakref");
  Val t(o._unVal.pWeakRef->_obj);
  v->ApiPush(t);
  return SQ_OK;
}

SQRESULT sq_clear(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  switch (o._type) {
    case OT_TABLE: o._unVal.pTable->ClearAll(); return SQ_OK;
    case OT_ARRAY: o._unVal.pArray->_vals.clear(); return SQ_OK;
    default: return sq_throwerror(v, "clear only works on table and array");
  }
}

// ============================================================================
// Calls and errors
// ============================================================================
SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror) {
  SQInteger funcidx = v->_top - params - 1;
  Val func = v->_stack[funcidx];
  bool saved = v->_raiseerror;
  v->_raiseerror = raiseerror != 0;
  bool thread = v != v->_shared->_mainvm;
  bool startsthread = thread && v->_state == SQ_VMSTATE_IDLE;
  if (v->_nestedcalls == 0) v->_limithit = false;
  if (startsthread) {
    v->_state = SQ_VMSTATE_RUNNING;
    v->_rootfuncidx = funcidx;
  }
  Val out;
  try {
    vm_call(v, func, params, out);
  } catch (SQError &) {
    if (raiseerror && vm_error_to_report(v)) vm_report_error(v);
    v->_raiseerror = saved;
    if (startsthread) v->_state = SQ_VMSTATE_IDLE;
    v->ApiPush(func);
    return SQ_ERROR;
  }
  v->_raiseerror = saved;
  if (thread && v->_state == SQ_VMSTATE_SUSPENDED) {
    if (retval) v->ApiPush(out);
    return SQ_OK;
  }
  if (startsthread) v->_state = SQ_VMSTATE_IDLE;
  v->ApiPush(func);
  if (retval) v->ApiPush(out);
  return SQ_OK;
}

SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror) {
  Val g = v->Top();
  if (g._type != OT_GENERATOR) return sq_throwerror(v, "only generators can be resumed");
  bool saved = v->_raiseerror;
  v->_raiseerror = raiseerror != 0;
  Val out;
  SQRESULT r = protect(v, [&] { vm_resume_generator(v, g._unVal.pGenerator, out); });
  v->_raiseerror = saved;
  if (SQ_SUCCEEDED(r) && retval) v->ApiPush(out);
  return r;
}

const SQChar *sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx) {
  SQInteger n = (SQInteger)v->_calls.size();
  if ((SQInteger)level >= n) return nullptr;
  const SQCallInfo &ci = v->_calls[n - (SQInteger)level - 1];
  if (!ci.closure) return nullptr;
  SQFunctionProto *p = ci.closure->_proto;
  SQInteger pc = ci.ip - p->_code.data() - 1;
  std::vector<const SQLocalInfo *> live;
  for (const SQLocalInfo &l : p->_locals)
    if (l.startpc <= pc + 1 && pc < l.endpc && l.name._type == OT_STRING && l.name._unVal.pString->_val[0] != '@')
      live.push_back(&l);
  std::sort(live.begin(), live.end(), [](const SQLocalInfo *a, const SQLocalInfo *b) { return a->reg < b->reg; });
  if (idx >= live.size()) return nullptr;
  v->ApiPush(v->_stack[ci.base + live[idx]->reg]);
  return live[idx]->name._unVal.pString->_val;
}

SQRESULT sq_getcallee(HSQUIRRELVM v) {
  SQInteger n = (SQInteger)v->_calls.size();
  if (n < 2) return sq_throwerror(v, "no closure in the calls stack");
  const SQCallInfo &ci = v->_calls[n - 2];
  if (ci.closure)
    v->ApiPush(Val(OT_CLOSURE, ci.closure));
  else
    v->ApiPush(Val(OT_NATIVECLOSURE, ci.nclosure));
  return SQ_OK;
}

const SQChar *sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
  const Val &f = v->At(idx);
  if (f._type == OT_CLOSURE) {
    SQClosure *c = f._unVal.pClosure;
    if (nval >= c->_outers.size()) return nullptr;
    Val val = *c->_outers[nval]._unVal.pOuter->_valptr;
    v->ApiPush(val);
    return c->_proto->_outers[nval].name._unVal.pString->_val;
  }
  if (f._type == OT_NATIVECLOSURE) {
    SQNativeClosure *c = f._unVal.pNativeClosure;
    if (nval >= c->_outers.size()) return nullptr;
    Val val = c->_outers[nval];
    v->ApiPush(val);
    return "@NATIVE";
  }
  return nullptr;
}

SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar *err) {
  v->_lasterror = val_str(str_new(v->_shared, err));
  v->_errorreported = false;
  return SQ_ERROR;
}

SQRESULT sq_throwobject(HSQUIRRELVM v) {
  v->_lasterror = v->Top();
  v->_errorreported = false;
  v->Pop();
  return SQ_ERROR;
}

void sq_reseterror(HSQUIRRELVM v) { v->_lasterror.Null(); }
void sq_getlasterror(HSQUIRRELVM v) { v->ApiPush(v->_lasterror); }

// ============================================================================
// Handles
// ============================================================================
SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT *po) {
  const Val &o = v->At(idx);
  po->_type = o._type;
  po->_unVal = o._unVal;
  return SQ_OK;
}

void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj) { v->ApiPush(obj); }

void sq_addref(HSQUIRRELVM v, HSQOBJECT *po) {
  if (!(po->_type & SQOBJECT_REF_COUNTED)) return;
  SQUnsignedInteger &n = v->_shared->_apirefs[po->_unVal.pRefCounted];
  if (n++ == 0) po->_unVal.pRefCounted->_refs++;
}

SQBool sq_release(HSQUIRRELVM v, HSQOBJECT *po) {
  if (!(po->_type & SQOBJECT_REF_COUNTED)) return SQTrue;
  auto &m = v->_shared->_apirefs;
  auto it = m.find(po->_unVal.pRefCounted);
  if (it == m.end()) return SQFalse;
  if (--it->second == 0) {
    m.erase(it);
    val_release(*po);
    return SQTrue;
  }
  return SQFalse;
}

SQUnsignedInteger sq_getrefcount(HSQUIRRELVM v, HSQOBJECT *po) {
  if (!(po->_type & SQOBJECT_REF_COUNTED)) return 0;
  auto &m = v->_shared->_apirefs;
  auto it = m.find(po->_unVal.pRefCounted);
  return it == m.end() ? 0 : it->second;
}

SQUnsignedInteger sq_getvmrefcount(HSQUIRRELVM v, const HSQOBJECT *po) {
  (void)v;
  if (!(po->_type & SQOBJECT_REF_COUNTED)) return 0;
  return po->_unVal.pRefCounted->_refs;
}

void sq_resetobject(HSQOBJECT *po) {
  po->_type = OT_NULL;
  po->_unVal.raw = 0;
}

const SQChar *sq_objtostring(const HSQOBJECT *o) {
  return o->_type == OT_STRING ? o->_unVal.pString->_val : nullptr;
}
SQBool sq_objtobool(const HSQOBJECT *o) { return is_false(*o) ? SQFalse : SQTrue; }
SQInteger sq_objtointeger(const HSQOBJECT *o) { return (o->_type & SQOBJECT_NUMERIC) ? to_int(*o) : 0; }
SQFloat sq_objtofloat(const HSQOBJECT *o) { return (o->_type & SQOBJECT_NUMERIC) ? to_float(*o) : 0; }
SQUserPointer sq_objtouserpointer(const HSQOBJECT *o) {
  return o->_type == OT_USERPOINTER ? o->_unVal.pUserPointer : nullptr;
}
SQRESULT sq_getobjtypetag(const HSQOBJECT *o, SQUserPointer *typetag) {
  switch (o->_type) {
    case OT_INSTANCE: *typetag = o->_unVal.pInstance->_class->_typetag; return SQ_OK;
    case OT_CLASS: *typetag = o->_unVal.pClass->_typetag; return SQ_OK;
    case OT_USERDATA: *typetag = o->_unVal.pUserData->_typetag; return SQ_OK;
    default: return SQ_ERROR;
  }
}

// ============================================================================
// Garbage collection, serialization, memory
// ============================================================================
SQInteger sq_collectgarbage(HSQUIRRELVM v) { return gc_collect(v->_shared, v, nullptr); }

SQRESULT sq_resurrectunreachable(HSQUIRRELVM v) {
  std::vector<Val> found;
  gc_collect(v->_shared, v, &found);
  if (found.empty()) {
    v->ApiPush(Val());
    return SQ_OK;
  }
  SQArray *a = array_new(v->_shared, 0);
  a->_vals = std::move(found);
  v->ApiPush(Val(OT_ARRAY, a));
  return SQ_OK;
}

SQRESULT sq_writeclosure(HSQUIRRELVM vm, SQWRITEFUNC, SQUserPointer) {
  return sq_throwerror(vm, "closure serialization is not supported");
}
SQRESULT sq_readclosure(HSQUIRRELVM vm, SQREADFUNC, SQUserPointer) {
  return sq_throwerror(vm, "closure serialization is not supported");
}

void *sq_malloc(SQUnsignedInteger size) { return malloc(size); }
void *sq_realloc(void *p, SQUnsignedInteger, SQUnsignedInteger newsize) { return realloc(p, newsize); }
void sq_free(void *p, SQUnsignedInteger) { free(p); }

// ============================================================================
// Debugging
// ============================================================================
SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos *si) {
  SQInteger n = (SQInteger)v->_calls.size();
  if (level < 0 || level >= n) return SQ_ERROR;
  const SQCallInfo &ci = v->_calls[n - level - 1];
  if (ci.closure) {
    SQFunctionProto *p = ci.closure->_proto;
    si->funcname = p->_name._type == OT_STRING ? p->_name._unVal.pString->_val : "unknown";
    si->source = p->_source._type == OT_STRING ? p->_source._unVal.pString->_val : "unknown";
    si->line = p->LineOf(ci.ip - p->_code.data() - 1);
  } else {
    SQNativeClosure *nc = ci.nclosure;
    si->funcname = nc->_name._type == OT_STRING ? nc->_name._unVal.pString->_val : "unknown";
    si->source = "NATIVE";
    si->line = -1;
  }
  return SQ_OK;
}

void sq_setdebughook(HSQUIRRELVM v) {
  v->_debughook = v->Top();
  v->Pop();
}
void sq_setnativedebughook(HSQUIRRELVM v, SQDEBUGHOOK hook) { v->_nativedebughook = hook; }

// ============================================================================
// Services for the base library
// ============================================================================
void sqi_push_typename(HSQUIRRELVM v, SQInteger idx) {
  SQObjectType t = v->At(idx)._type;
  v->ApiPush(val_str(str_new(v->_shared, type_name(t))));
}

const SQChar *sqi_generator_status(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  if (o._type != OT_GENERATOR) return nullptr;
  switch (o._unVal.pGenerator->_state) {
    case GEN_SUSPENDED: return "suspended";
    case GEN_RUNNING: return "running";
    default: return "dead";
  }
}

SQRESULT sqi_closure_infos(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  SQSharedState *ss = v->_shared;
  SQTable *t = table_new(ss);
  Val tv(OT_TABLE, t);
  auto set = [&](const char *k, const SQObject &val) { t->NewSlot(val_str(str_new(ss, k)), val); };
  if (o._type == OT_CLOSURE) {
    SQClosure *c = o._unVal.pClosure;
    SQFunctionProto *p = c->_proto;
    set("native", Val(false));
    set("name", p->_name);
    set("src", p->_source);
    SQArray *params = array_new(ss, 0);
    params->_vals.push_back(val_str(str_new(ss, "this")));
    for (const Val &pn : p->_paramnames) params->_vals.push_back(pn);
    if (p->_varparams) params->_vals.push_back(val_str(str_new(ss, "...")));
    set("parameters", Val(OT_ARRAY, params));
    SQArray *defs = array_new(ss, 0);
    for (const Val &d : c->_defaults) defs->_vals.push_back(d);
    set("defparams", Val(OT_ARRAY, defs));
    set("varargs", Val((SQInteger)(p->_varparams ? 1 : 0)));
  } else if (o._type == OT_NATIVECLOSURE) {
    SQNativeClosure *c = o._unVal.pNativeClosure;
    set("native", Val(true));
    set("name", c->_name);
    set("paramscheck", Val(c->_nparamscheck));
    SQArray *tc = array_new(ss, 0);
    for (SQInteger m : c->_typecheck) tc->_vals.push_back(Val(m));
    if (c->_typecheck.empty())
      set("typecheck", Val());
    else
      set("typecheck", Val(OT_ARRAY, tc));
  } else {
    return sq_throwerror(v, "the object is not a closure");
  }
  v->ApiPush(tv);
  return SQ_OK;
}

SQRESULT sqi_compare(HSQUIRRELVM v, SQInteger idx1, SQInteger idx2, SQInteger *result) {
  Val a = v->At(idx1), b = v->At(idx2);
  return protect(v, [&] { *result = vm_compare(v, a, b); });
}

SQInteger sqi_collect(HSQUIRRELVM v) { return gc_collect(v->_shared, v, nullptr); }

void sqi_set_step_limit(HSQUIRRELVM v, SQUnsignedInteger steps) {
  v->_shared->_stepsleft = steps ? (int64_t)steps : INT64_MAX;
  v->_limithit = false;
}

void sqi_set_memory_limit(HSQUIRRELVM v, size_t bytes) {
  v->_shared->_memlimit = bytes;
  v->_limithit = false;
}

SQRESULT sqi_check_memory(HSQUIRRELVM v, size_t extra) {
  SQSharedState *ss = v->_shared;
  if (ss->_memlimit && (ss->_memused + extra > ss->_memlimit || extra > ss->_memlimit)) {
    v->_limithit = true;
    return sq_throwerror(v, "out of memory");
  }
  return SQ_OK;
}

SQObject *sqi_array_data(HSQUIRRELVM v, SQInteger idx, SQInteger *size) {
  const Val &o = v->At(idx);
  if (o._type != OT_ARRAY) return nullptr;
  SQArray *a = o._unVal.pArray;
  *size = a->Size();
  return a->_vals.data();
}

SQRESULT sqi_array_get(HSQUIRRELVM v, SQInteger idx, SQInteger i, SQObject *out) {
  const Val &o = v->At(idx);
  if (o._type != OT_ARRAY || i < 0 || i >= o._unVal.pArray->Size()) return SQ_ERROR;
  *out = o._unVal.pArray->_vals.Get(i);
  return SQ_OK;
}

SQRESULT sqi_array_sort_integers(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  if (o._type != OT_ARRAY) return SQ_ERROR;
  return o._unVal.pArray->_vals.SortIntegers() ? SQ_OK : SQ_ERROR;
}
