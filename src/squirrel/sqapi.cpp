// sqapi.cpp: the public C API (squirrel.h), part 1: VM life cycle, stack, object
// creation and access. Functions that can raise convert the error into SQ_ERROR with
// the error object left in the VM's last error.
#include <algorithm>
#include <unordered_map>

#include "sqlib_internal.h"
#include "sqstate.h"

// ============================================================================
// VM life cycle
// ============================================================================
HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize) {
  SQVM *t = vm_newthread(friendvm->_shared, friendvm, initialstacksize);
  friendvm->ApiPush(Val(OT_THREAD, t));
  return t;
}

void sq_seterrorhandler(HSQUIRRELVM v) {
  v->_errorhandler = v->Top();
  v->Pop();
}

void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p) { v->_foreignptr = p; }
SQUserPointer sq_getforeignptr(HSQUIRRELVM v) { return v->_foreignptr; }
void sq_setsharedforeignptr(HSQUIRRELVM v, SQUserPointer p) { v->_shared->_foreignptr = p; }
SQUserPointer sq_getsharedforeignptr(HSQUIRRELVM v) { return v->_shared->_foreignptr; }
void sq_setvmreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook) { v->_releasehook = hook; }
SQRELEASEHOOK sq_getvmreleasehook(HSQUIRRELVM v) { return v->_releasehook; }
void sq_setsharedreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook) { v->_shared->_releasehook = hook; }
SQRELEASEHOOK sq_getsharedreleasehook(HSQUIRRELVM v) { return v->_shared->_releasehook; }

void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc, SQPRINTFUNCTION errfunc) {
  v->_shared->_printfunc = printfunc;
  v->_shared->_errorfunc = errfunc;
}
SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v) { return v->_shared->_printfunc; }
SQPRINTFUNCTION sq_geterrorfunc(HSQUIRRELVM v) { return v->_shared->_errorfunc; }

SQRESULT sq_suspendvm(HSQUIRRELVM v) {
  (void)v;
  return SQ_SUSPEND_FLAG;
}

SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool resumedret, SQBool retval, SQBool raiseerror, SQBool throwerror) {
  if (v->_state != SQ_VMSTATE_SUSPENDED) {
    return sq_throwerror(v, v->_state == SQ_VMSTATE_IDLE ? "cannot wakeup a idle thread"
                                                         : "cannot wakeup a running thread");
  }
  Val val;
  if (resumedret && v->_top > 0) {
    val = v->Top();
    v->Pop();
  }
  bool saved = v->_raiseerror;
  v->_raiseerror = raiseerror;
  Val out;
  try {
    vm_wakeup(v, val, out, throwerror);
  } catch (SQError &) {
    v->_raiseerror = saved;
    return SQ_ERROR;
  }
  v->_raiseerror = saved;
  if (retval) v->ApiPush(out);
  return SQ_OK;
}

SQInteger sq_getvmstate(HSQUIRRELVM v) { return v->_state; }
SQInteger sq_getversion(void) { return SQUIRREL_VERSION_NUMBER; }

// ============================================================================
// Compiler
// ============================================================================
namespace {
struct BufReader {
  const SQChar *s;
  SQInteger size, pos;
};
SQInteger buf_read(SQUserPointer up) {
  BufReader *b = (BufReader *)up;
  if (b->pos >= b->size) return 0;
  return (unsigned char)b->s[b->pos++];
}
}  // namespace

SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p, const SQChar *sourcename, SQBool raiseerror) {
  Val out;
  if (!sq_compile_source(v, read, p, sourcename ? sourcename : "unnamedbuffer", raiseerror, out)) return SQ_ERROR;
  v->ApiPush(out);
  return SQ_OK;
}

SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar *s, SQInteger size, const SQChar *sourcename,
                          SQBool raiseerror) {
  BufReader b{s, size, 0};
  return sq_compile(v, buf_read, &b, sourcename, raiseerror);
}

void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable) { v->_shared->_debuginfo = enable != 0; }
void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable) { v->_shared->_notifyallexceptions = enable != 0; }
void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f) { v->_shared->_compilererrorhandler = f; }

// ============================================================================
// Stack
// ============================================================================
void sq_push(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  v->ApiPush(o);
}
void sq_pop(HSQUIRRELVM v, SQInteger n) { v->Pop(n); }
void sq_poptop(HSQUIRRELVM v) { v->Pop(); }
void sq_remove(HSQUIRRELVM v, SQInteger idx) {
  SQInteger a = v->AbsIndex(idx);
  for (SQInteger i = a; i < v->_top - 1; i++) v->_stack[i] = std::move(v->_stack[i + 1]);
  v->Pop();
}
SQInteger sq_gettop(HSQUIRRELVM v) { return v->_top - v->FrameBase(); }
void sq_settop(HSQUIRRELVM v, SQInteger newtop) {
  SQInteger t = v->FrameBase() + newtop;
  if (t < v->_top) {
    v->Pop(v->_top - t);
  } else {
    while (v->_top < t) {
      SQInteger before = v->_top;
      v->ApiPush(Val());
      if (v->_top == before) break;  // stack limit reached
    }
  }
}
SQRESULT sq_reservestack(HSQUIRRELVM v, SQInteger nsize) {
  if (v->_top + nsize > v->_stacklimit) return sq_throwerror(v, "stack overflow");
  v->EnsureStack(v->_top + nsize);
  return SQ_OK;
}
SQInteger sq_cmp(HSQUIRRELVM v) {
  try {
    return vm_compare(v, v->At(-2), v->At(-1));
  } catch (SQError &) {
    return 0;
  }
}
void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx) {
  Val o = src->At(idx);
  dest->ApiPush(o);
}

// ============================================================================
// Object creation
// ============================================================================
SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size) {
  void *mem = malloc(sizeof(SQUserData) + size + 16);
  SQUserData *ud = new (mem) SQUserData(v->_shared);
  ud->_size = (SQInteger)size;
  v->ApiPush(Val(OT_USERDATA, ud));
  return (SQUserPointer)ud->_data;
}
void sq_newtable(HSQUIRRELVM v) { v->ApiPush(Val(OT_TABLE, table_new(v->_shared))); }
void sq_newtableex(HSQUIRRELVM v, SQInteger cap) { v->ApiPush(Val(OT_TABLE, table_new(v->_shared, cap))); }
void sq_newarray(HSQUIRRELVM v, SQInteger size) { v->ApiPush(Val(OT_ARRAY, array_new(v->_shared, size))); }

void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars) {
  SQNativeClosure *nc = new SQNativeClosure(v->_shared, func);
  Val cv(OT_NATIVECLOSURE, nc);
  nc->_outers.resize(nfreevars);
  for (SQUnsignedInteger i = 0; i < nfreevars; i++) nc->_outers[i] = v->At(-(SQInteger)nfreevars + (SQInteger)i);
  v->Pop((SQInteger)nfreevars);
  v->ApiPush(cv);
}

SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar *typemask) {
  Val &o = v->At(-1);
  if (o._type != OT_NATIVECLOSURE) return sq_throwerror(v, "native closure expected");
  SQNativeClosure *nc = o._unVal.pNativeClosure;
  nc->_nparamscheck = nparamscheck;
  nc->_typecheck.clear();
  if (typemask) {
    SQInteger mask = 0;
    bool pending = false, alt = false;
    for (const char *p = typemask; *p; p++) {
      SQInteger bit;
      switch (*p) {
        case ' ': continue;
        case '|': alt = true; continue;
        case 'o': bit = _RT_NULL; break;
        case 'i': bit = _RT_INTEGER; break;
        case 'f': bit = _RT_FLOAT; break;
        case 'n': bit = _RT_INTEGER | _RT_FLOAT; break;
        case 's': bit = _RT_STRING; break;
        case 't': bit = _RT_TABLE; break;
        case 'a': bit = _RT_ARRAY; break;
        case 'u': bit = _RT_USERDATA; break;
        case 'c': bit = _RT_CLOSURE | _RT_NATIVECLOSURE; break;
        case 'b': bit = _RT_BOOL; break;
        case 'g': bit = _RT_GENERATOR; break;
        case 'p': bit = _RT_USERPOINTER; break;
        case 'v': bit = _RT_THREAD; break;
        case 'x': bit = _RT_INSTANCE; break;
        case 'y': bit = _RT_CLASS; break;
        case 'r': bit = _RT_WEAKREF; break;
        case '.': bit = -1; break;
        default: return sq_throwerror(v, "invalid param type");
      }
      if (pending && !alt) {
        nc->_typecheck.push_back(mask);
        mask = 0;
      }
      mask = (bit == -1 || mask == -1) ? -1 : (mask | bit);
      pending = true;
      alt = false;
    }
    if (pending) nc->_typecheck.push_back(mask);
    if (nparamscheck == SQ_MATCHTYPEMASKSTRING) nc->_nparamscheck = (SQInteger)nc->_typecheck.size();
  } else if (nparamscheck == SQ_MATCHTYPEMASKSTRING) {
    nc->_nparamscheck = 0;
  }
  return SQ_OK;
}

SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx) {
  Val f = v->At(idx);
  Val env = v->Top();
  if (!(env._type & SQOBJECT_REF_COUNTED) ||
      !(env._type == OT_TABLE || env._type == OT_INSTANCE || env._type == OT_CLASS || env._type == OT_ARRAY ||
        env._type == OT_USERDATA || env._type == OT_CLOSURE || env._type == OT_NATIVECLOSURE))
    return sq_throwerror(v, "invalid environment");
  Val weak(OT_WEAKREF, env._unVal.pRefCounted->GetWeakRef(env._type));
  Val out;
  if (f._type == OT_CLOSURE) {
    SQClosure *c = f._unVal.pClosure->Clone();
    c->_env = weak;
    out = Val(OT_CLOSURE, c);
  } else if (f._type == OT_NATIVECLOSURE) {
    SQNativeClosure *c = f._unVal.pNativeClosure->Clone();
    c->_env = weak;
    out = Val(OT_NATIVECLOSURE, c);
  } else {
    return sq_throwerror(v, "the target is not a closure");
  }
  v->Pop();
  v->ApiPush(out);
  return SQ_OK;
}

SQRESULT sq_setclosureroot(HSQUIRRELVM v, SQInteger idx) {
  Val f = v->At(idx);
  Val root = v->Top();
  if (f._type != OT_CLOSURE) return sq_throwerror(v, "the target is not a closure");
  if (root._type != OT_TABLE) return sq_throwerror(v, "invalid type");
  f._unVal.pClosure->_root = root;
  v->Pop();
  return SQ_OK;
}

SQRESULT sq_getclosureroot(HSQUIRRELVM v, SQInteger idx) {
  Val f = v->At(idx);
  if (f._type != OT_CLOSURE) return sq_throwerror(v, "the target is not a closure");
  const Val &r = f._unVal.pClosure->_root;
  v->ApiPush(r._type == OT_TABLE ? r : v->_roottable);
  return SQ_OK;
}

void sq_pushstring(HSQUIRRELVM v, const SQChar *s, SQInteger len) {
  if (!s) {
    v->ApiPush(Val());
    return;
  }
  v->ApiPush(val_str(str_new(v->_shared, s, len)));
}
void sq_pushfloat(HSQUIRRELVM v, SQFloat f) { v->ApiPush(Val(f)); }
void sq_pushinteger(HSQUIRRELVM v, SQInteger n) { v->ApiPush(Val(n)); }
void sq_pushbool(HSQUIRRELVM v, SQBool b) { v->ApiPush(Val(b != 0)); }
void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p) {
  Val o;
  o.SetUserPointer(p);
  v->ApiPush(o);
}
void sq_pushnull(HSQUIRRELVM v) { v->ApiPush(Val()); }
void sq_pushthread(HSQUIRRELVM v, HSQUIRRELVM thread) { v->ApiPush(Val(OT_THREAD, thread)); }

SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx) { return v->At(idx)._type; }

SQRESULT sq_typeof(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  Val out;
  try {
    vm_typeof(v, o, out);
  } catch (SQError &) {
    return SQ_ERROR;
  }
  v->ApiPush(out);
  return SQ_OK;
}

SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  switch (o._type) {
    case OT_STRING: return o._unVal.pString->_len;
    case OT_TABLE: return o._unVal.pTable->_count;
    case OT_ARRAY: return o._unVal.pArray->Size();
    case OT_USERDATA: return o._unVal.pUserData->_size;
    case OT_INSTANCE: return o._unVal.pInstance->_udsize;
    case OT_CLASS: return o._unVal.pClass->_udsize;
    default: return sq_throwerror(v, "type not supported");
  }
}

SQHash sq_gethash(HSQUIRRELVM v, SQInteger idx) { return val_hash(v->At(idx)); }

SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  if (o._type != OT_CLASS) return sq_throwerror(v, "invalid type");
  SQClass *b = o._unVal.pClass->_base;
  v->ApiPush(b ? Val(OT_CLASS, b) : Val());
  return SQ_OK;
}

SQBool sq_instanceof(HSQUIRRELVM v) {
  const Val &inst = v->At(-2);
  const Val &cls = v->At(-1);
  if (cls._type != OT_CLASS || inst._type != OT_INSTANCE) return SQFalse;
  return inst._unVal.pInstance->InstanceOf(cls._unVal.pClass) ? SQTrue : SQFalse;
}

SQRESULT sq_tostring(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  Val out;
  try {
    vm_tostring(v, o, out);
  } catch (SQError &) {
    return SQ_ERROR;
  }
  v->ApiPush(out);
  return SQ_OK;
}

void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool *b) { *b = is_false(v->At(idx)) ? SQFalse : SQTrue; }

SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar **c) {
  const Val &o = v->At(idx);
  if (o._type != OT_STRING) return SQ_ERROR;
  *c = o._unVal.pString->_val;
  return SQ_OK;
}
SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger *i) {
  const Val &o = v->At(idx);
  if (o._type & SQOBJECT_NUMERIC) {
    *i = to_int(o);
    return SQ_OK;
  }
  if (o._type == OT_BOOL) {
    *i = o._unVal.nInteger;
    return SQ_OK;
  }
  return SQ_ERROR;
}
SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat *f) {
  const Val &o = v->At(idx);
  if (o._type & SQOBJECT_NUMERIC) {
    *f = to_float(o);
    return SQ_OK;
  }
  return SQ_ERROR;
}
SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool *b) {
  const Val &o = v->At(idx);
  if (o._type != OT_BOOL) return SQ_ERROR;
  *b = o._unVal.nInteger ? SQTrue : SQFalse;
  return SQ_OK;
}
SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM *thread) {
  const Val &o = v->At(idx);
  if (o._type != OT_THREAD) return SQ_ERROR;
  *thread = o._unVal.pThread;
  return SQ_OK;
}
SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p) {
  const Val &o = v->At(idx);
  if (o._type != OT_USERPOINTER) return SQ_ERROR;
  *p = o._unVal.pUserPointer;
  return SQ_OK;
}
SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer *typetag) {
  const Val &o = v->At(idx);
  if (o._type != OT_USERDATA) return SQ_ERROR;
  *p = (SQUserPointer)o._unVal.pUserData->_data;
  if (typetag) *typetag = o._unVal.pUserData->_typetag;
  return SQ_OK;
}
SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag) {
  const Val &o = v->At(idx);
  if (o._type == OT_USERDATA) {
    o._unVal.pUserData->_typetag = typetag;
  } else if (o._type == OT_CLASS) {
    o._unVal.pClass->_typetag = typetag;
  } else {
    return sq_throwerror(v, "invalid object type");
  }
  return SQ_OK;
}
SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer *typetag) {
  return sq_getobjtypetag(&v->At(idx), typetag) ? SQ_ERROR : SQ_OK;
}
void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook) {
  const Val &o = v->At(idx);
  switch (o._type) {
    case OT_USERDATA: o._unVal.pUserData->_hook = hook; break;
    case OT_INSTANCE: o._unVal.pInstance->_hook = hook; break;
    case OT_CLASS: o._unVal.pClass->_hook = hook; break;
    default: break;
  }
}
SQRELEASEHOOK sq_getreleasehook(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  switch (o._type) {
    case OT_USERDATA: return o._unVal.pUserData->_hook;
    case OT_INSTANCE: return o._unVal.pInstance->_hook;
    case OT_CLASS: return o._unVal.pClass->_hook;
    default: return nullptr;
  }
}

SQChar *sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize) {
  std::vector<char> &s = v->_shared->_scratch;
  if (minsize < 0) minsize = 0;
  if ((SQInteger)s.size() < minsize + 1) s.resize((size_t)minsize + 1);
  if (s.empty()) s.resize(1);
  return s.data();
}

SQRESULT sq_getfunctioninfo(HSQUIRRELVM v, SQInteger level, SQFunctionInfo *fi) {
  SQInteger n = (SQInteger)v->_calls.size();
  if (level < 0 || level >= n) return sq_throwerror(v, "the level doesn't exist");
  const SQCallInfo &ci = v->_calls[n - level - 1];
  if (!ci.closure) return sq_throwerror(v, "the object is not a closure");
  SQFunctionProto *p = ci.closure->_proto;
  fi->funcid = (SQUserPointer)p;
  fi->name = p->_name._type == OT_STRING ? p->_name._unVal.pString->_val : "unknown";
  fi->source = p->_source._type == OT_STRING ? p->_source._unVal.pString->_val : "unknown";
  fi->line = p->_line;
  return SQ_OK;
}

SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger *nparams, SQUnsignedInteger *nfreevars) {
  const Val &o = v->At(idx);
  if (o._type == OT_CLOSURE) {
    SQClosure *c = o._unVal.pClosure;
    *nparams = (SQUnsignedInteger)c->_proto->_nparams;
    *nfreevars = (SQUnsignedInteger)c->_outers.size();
    return SQ_OK;
  }
  if (o._type == OT_NATIVECLOSURE) {
    SQNativeClosure *c = o._unVal.pNativeClosure;
    *nparams = (SQUnsignedInteger)c->_nparamscheck;
    *nfreevars = (SQUnsignedInteger)c->_outers.size();
    return SQ_OK;
  }
  return sq_throwerror(v, "the object is not a closure");
}

SQRESULT sq_getclosurename(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  if (o._type == OT_CLOSURE) {
    Val n = o._unVal.pClosure->_proto->_name;
    v->ApiPush(n);
    return SQ_OK;
  }
  if (o._type == OT_NATIVECLOSURE) {
    Val n = o._unVal.pNativeClosure->_name;
    v->ApiPush(n);
    return SQ_OK;
  }
  return sq_throwerror(v, "the target is not a closure");
}

SQRESULT sq_getclosureproto(HSQUIRRELVM v, SQInteger idx, SQUserPointer *funcid) {
  const Val &o = v->At(idx);
  if (o._type != OT_CLOSURE) return sq_throwerror(v, "the object is not a script closure");
  *funcid = (SQUserPointer)o._unVal.pClosure->_proto;
  return SQ_OK;
}

SQRESULT sq_getclosureenv(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  const Val *env;
  if (o._type == OT_CLOSURE)
    env = &o._unVal.pClosure->_env;
  else if (o._type == OT_NATIVECLOSURE)
    env = &o._unVal.pNativeClosure->_env;
  else
    return sq_throwerror(v, "the object is not a closure");
  Val out;
  if (env->_type == OT_WEAKREF) out = env->_unVal.pWeakRef->_obj;
  v->ApiPush(out);
  return SQ_OK;
}

SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar *name) {
  const Val &o = v->At(idx);
  if (o._type != OT_NATIVECLOSURE) return sq_throwerror(v, "the object is not a nativeclosure");
  o._unVal.pNativeClosure->_name = val_str(str_new(v->_shared, name));
  return SQ_OK;
}

SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p) {
  const Val &o = v->At(idx);
  if (o._type != OT_INSTANCE) return sq_throwerror(v, "the object is not a class instance");
  o._unVal.pInstance->_userpointer = p;
  return SQ_OK;
}

SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer typetag) {
  const Val &o = v->At(idx);
  if (o._type != OT_INSTANCE) return sq_throwerror(v, "the object is not a class instance");
  SQInstance *in = o._unVal.pInstance;
  if (typetag) {
    bool ok = false;
    for (SQClass *c = in->_class; c; c = c->_base)
      if (c->_typetag == typetag) {
        ok = true;
        break;
      }
    if (!ok) return sq_throwerror(v, "invalid type tag");
  }
  *p = in->_userpointer;
  return SQ_OK;
}

SQRESULT sq_setclassudsize(HSQUIRRELVM v, SQInteger idx, SQInteger udsize) {
  const Val &o = v->At(idx);
  if (o._type != OT_CLASS) return sq_throwerror(v, "the object is not a class");
  if (o._unVal.pClass->_locked) return sq_throwerror(v, "the class is locked");
  o._unVal.pClass->_udsize = udsize;
  return SQ_OK;
}

SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase) {
  SQClass *base = nullptr;
  Val bv;
  if (hasbase) {
    bv = v->Top();
    if (bv._type != OT_CLASS) return sq_throwerror(v, "invalid base type");
    base = bv._unVal.pClass;
    v->Pop();
  }
  v->ApiPush(Val(OT_CLASS, new SQClass(v->_shared, base)));
  return SQ_OK;
}

SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  if (o._type != OT_CLASS) return sq_throwerror(v, "the object is not a class");
  v->ApiPush(Val(OT_INSTANCE, instance_new(v->_shared, o._unVal.pClass)));
  return SQ_OK;
}

SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  if (o._type != OT_CLASS) return sq_throwerror(v, "the object is not a class");
  Val key = v->At(-2);
  Val val = v->At(-1);
  SQClass *c = o._unVal.pClass;
  Val old;
  if (key._type == OT_NULL) {
    old = c->_attributes;
    c->_attributes = val;
  } else {
    if (!c->GetAttributes(key, old)) return sq_throwerror(v, "wrong index");
    c->SetAttributes(key, val);
  }
  v->Pop(2);
  v->ApiPush(old);
  return SQ_OK;
}

SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  if (o._type != OT_CLASS) return sq_throwerror(v, "the object is not a class");
  Val key = v->Top();
  SQClass *c = o._unVal.pClass;
  Val out;
  if (key._type == OT_NULL) {
    out = c->_attributes;
  } else if (!c->GetAttributes(key, out)) {
    return sq_throwerror(v, "wrong index");
  }
  v->Pop();
  v->ApiPush(out);
  return SQ_OK;
}

SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx) {
  const Val &o = v->At(idx);
  if (o._type != OT_INSTANCE) return sq_throwerror(v, "the object is not a class instance");
  v->ApiPush(Val(OT_CLASS, o._unVal.pInstance->_class));
  return SQ_OK;
}

void sq_weakref(HSQUIRRELVM v, SQInteger idx) {
  Val o = v->At(idx);
  if (o._type & SQOBJECT_REF_COUNTED) {
    v->ApiPush(Val(OT_WEAKREF, o._unVal.pRefCounted->GetWeakRef(o._type)));
  } else {
    v->ApiPush(o);
  }
}

SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t) {
  SQSharedState *ss = v->_shared;
  if (t == OT_NATIVECLOSURE) t = OT_CLOSURE;
  const Val &d = ss->_delegates[ss->Delegate(t)];
  if (d._type != OT_TABLE) return sq_throwerror(v, "the type doesn't have a default delegate");
  v->ApiPush(d);
  return SQ_OK;
}

SQRESULT sq_getmemberhandle(HSQUIRRELVM v, SQInteger idx, HSQMEMBERHANDLE *handle) {
  Val o = v->At(idx);
  if (o._type != OT_CLASS) return sq_throwerror(v, "the object is not a class");
  Val key = v->Top();
  Val *m = o._unVal.pClass->_members->Get(key);
  if (!m) return sq_throwerror(v, "wrong index");
  SQInteger enc = m->_unVal.nInteger;
  handle->_static = (enc & MEMBER_METHOD) ? SQTrue : SQFalse;
  handle->_index = enc & MEMBER_INDEX_MASK;
  v->Pop();
  return SQ_OK;
}

static Val *handle_slot(HSQUIRRELVM v, const Val &o, const HSQMEMBERHANDLE *h) {
  if (o._type == OT_INSTANCE) {
    SQInstance *in = o._unVal.pInstance;
    if (h->_static) {
      if (h->_index < (SQInteger)in->_class->_methods.size()) return &in->_class->_methods[h->_index].val;
    } else if (h->_index < in->_nvalues) {
      return &in->_values[h->_index];
    }
  } else if (o._type == OT_CLASS) {
    SQClass *c = o._unVal.pClass;
    if (h->_static) {
      if (h->_index < (SQInteger)c->_methods.size()) return &c->_methods[h->_index].val;
    } else if (h->_index < (SQInteger)c->_fields.size()) {
      return &c->_fields[h->_index].val;
    }
  }
  (void)v;
  return nullptr;
}

SQRESULT sq_getbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle) {
  Val o = v->At(idx);
  Val *s = handle_slot(v, o, handle);
  if (!s) return sq_throwerror(v, "wrong handle");
  Val out = *s;
  v->ApiPush(out);
  return SQ_OK;
}

SQRESULT sq_setbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle) {
  Val o = v->At(idx);
  Val *s = handle_slot(v, o, handle);
  if (!s) return sq_throwerror(v, "wrong handle");
  *s = v->Top();
  v->Pop();
  return SQ_OK;
}
