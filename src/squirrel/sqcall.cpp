// sqcall.cpp: frames and calls: starting script and native calls, calling any value
// from C (vm_call), constructors, generators, threads (suspend/wakeup), error reporting
// and outer variables. Frames never move: the value stack is allocated once per VM.
#include "sqopcodes.h"
#include "sqstate.h"

namespace {
constexpr SQInteger kMaxFrames = 200000;
constexpr SQInteger kNativeStackReserve = 64;
}  // namespace

// ============================================================================
// Errors
// ============================================================================
void vm_raise(SQVM *v, const char *fmt, ...) {
  if (v->_shared->_stepsleft <= 0) vm_raise_limit(v, "step limit exceeded");
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  v->_lasterror = val_str(str_new(v->_shared, buf));
  v->_errorreported = false;
  throw SQError{};
}

void vm_raise_limit(SQVM *v, const char *msg) {
  v->_limithit = true;
  v->_errorreported = false;
  v->_lasterror = val_str(str_new(v->_shared, msg));
  throw SQError{};
}

void vm_check_memory(SQVM *v) {
  SQSharedState *ss = v->_shared;
  if (ss->_memlimit && ss->_memused > ss->_memlimit) vm_raise_limit(v, "out of memory");
}

void vm_throw(SQVM *v, const SQObject &err) {
  v->_lasterror = err;
  v->_errorreported = false;
  throw SQError{};
}

// ============================================================================
// Frames
// ============================================================================

SQOuter *vm_find_outer(SQVM *v, SQInteger idx) {
  SQOuter **pp = &v->_openouters;
  while (*pp && (*pp)->_idx > idx) pp = &(*pp)->_nextopen;
  if (*pp && (*pp)->_idx == idx) return *pp;
  SQOuter *o = new SQOuter(v->_shared);
  o->_idx = idx;
  o->_valptr = &v->_stack[idx];
  o->_vm = v;
  o->_refs++;  // held by the open list
  o->_nextopen = *pp;
  *pp = o;
  return o;
}

void vm_close_outers(SQVM *v, SQInteger from) {
  while (v->_openouters && v->_openouters->_idx >= from) {
    SQOuter *o = v->_openouters;
    v->_openouters = o->_nextopen;
    o->_nextopen = nullptr;
    o->_value = *o->_valptr;
    o->_valptr = &o->_value;
    o->_vm = nullptr;
    SQObject ov;
    ov._type = OT_OUTER;
    ov._unVal.raw = 0;
    ov._unVal.pOuter = o;
    val_release(ov);
  }
}

void vm_pop_traps_of_frame(SQVM *v, SQInteger frameidx) {
  while (!v->_traps.empty() && v->_traps.back().ncalls >= frameidx) v->_traps.pop_back();
}

// ============================================================================
// Starting calls
// ============================================================================
bool vm_start_call(SQVM *v, SQClosure *cl, SQInteger argbase, SQInteger nargs, SQInteger target, bool root) {
  SQFunctionProto *p = cl->_proto;
  SQInteger np = p->_nparams;
  if ((SQInteger)v->_calls.size() >= kMaxFrames + v->_frameheadroom) vm_raise(v, "stack overflow");
  v->EnsureStack(argbase + p->_stacksize + nargs);
  Val *args = v->_stack + argbase;
  if (nargs != np) {
    if (nargs < np) {
      SQInteger missing = np - nargs;
      if (missing > p->_ndefaults) vm_raise(v, "wrong number of parameters");
      SQInteger first = p->_ndefaults - missing;
      for (SQInteger i = 0; i < missing; i++) args[nargs + i] = cl->_defaults[first + i];
      if (p->_varparams) args[np] = Val(OT_ARRAY, array_new(v->_shared, 0));
    } else if (p->_varparams) {
      SQArray *va = array_new(v->_shared, nargs - np);
      for (SQInteger i = np; i < nargs; i++) {
        va->_vals[i - np] = std::move(args[i]);
      }
      args[np] = Val(OT_ARRAY, va);
      for (SQInteger i = np + 1; i < nargs; i++) args[i].Null();
    } else {
      vm_raise(v, "wrong number of parameters");
    }
  } else if (p->_varparams) {
    args[np] = Val(OT_ARRAY, array_new(v->_shared, 0));
  }
  if (cl->_env._type == OT_WEAKREF) {
    const SQObject &envobj = cl->_env._unVal.pWeakRef->_obj;
    args[0] = envobj;
  }
  if (p->_generator) {
    SQGenerator *g = new SQGenerator(v->_shared);
    Val gv(OT_GENERATOR, g);
    g->_closure = Val(OT_CLOSURE, cl);
    g->_stack.resize((size_t)p->_stacksize);
    for (SQInteger i = 0; i < p->_stacksize; i++) g->_stack[i] = std::move(args[i]);
    g->_ip = p->_code.data();
    if (target >= 0) v->_stack[target] = gv;
    return false;
  }
  SQCallInfo ci;
  ci.ip = p->_code.data();
  ci.base = argbase;
  ci.target = target;
  ci.closure = cl;
  ci.nclosure = nullptr;
  ci.top = v->_top;
  ci.root = root;
  ci.generator = nullptr;
  v->_calls.push_back(ci);
  SQInteger newtop = argbase + p->_stacksize;
  if (newtop > v->_top) v->_top = newtop;
  return true;
}

static std::string typemask_text(SQInteger mask) {
  static const struct {
    SQInteger bit;
    const char *name;
  } names[] = {{_RT_NULL, "null"},         {_RT_INTEGER, "integer"},   {_RT_FLOAT, "float"},
               {_RT_BOOL, "bool"},         {_RT_STRING, "string"},     {_RT_TABLE, "table"},
               {_RT_ARRAY, "array"},       {_RT_USERDATA, "userdata"}, {_RT_CLOSURE | _RT_NATIVECLOSURE, "closure"},
               {_RT_GENERATOR, "generator"}, {_RT_USERPOINTER, "userpointer"}, {_RT_THREAD, "thread"},
               {_RT_CLASS, "class"},       {_RT_INSTANCE, "instance"}, {_RT_WEAKREF, "weakref"}};
  std::string s;
  for (auto &n : names) {
    if ((mask & n.bit) == n.bit) {
      if (!s.empty()) s += "|";
      s += n.name;
    }
  }
  return s;
}

// Calls a native closure with arguments at stack[argbase..]; the result goes to target.
// Returns true when the native asked to suspend the thread.
bool vm_call_native_raw(SQVM *v, SQNativeClosure *nc, SQInteger argbase, SQInteger nargs, SQInteger target) {
  if (nc->_nparamscheck != 0) {
    if ((nc->_nparamscheck > 0 && nargs != nc->_nparamscheck) ||
        (nc->_nparamscheck < 0 && nargs < -nc->_nparamscheck))
      vm_raise(v, "wrong number of parameters");
  }
  SQInteger ntc = (SQInteger)nc->_typecheck.size();
  for (SQInteger i = 0; i < ntc && i < nargs; i++) {
    SQInteger mask = nc->_typecheck[i];
    if (mask == -1) continue;
    const Val &a = v->_stack[argbase + i];
    if (!(_RAW_TYPE(a._type) & mask))
      vm_raise(v, "parameter %d has an invalid type '%s' ; expected: '%s'", (int)i, type_name(a._type),
               typemask_text(mask).c_str());
  }
  if ((SQInteger)v->_calls.size() >= kMaxFrames + v->_frameheadroom) vm_raise(v, "stack overflow");
  SQInteger nouters = (SQInteger)nc->_outers.size();
  v->EnsureStack(argbase + nargs + nouters + kNativeStackReserve);
  if (nc->_env._type == OT_WEAKREF) v->_stack[argbase] = nc->_env._unVal.pWeakRef->_obj;
  SQCallInfo ci;
  ci.ip = nullptr;
  ci.base = argbase;
  ci.target = target;
  ci.closure = nullptr;
  ci.nclosure = nc;
  ci.top = v->_top;
  ci.root = false;
  ci.generator = nullptr;
  Val hold(OT_NATIVECLOSURE, nc);
  v->_calls.push_back(ci);
  // Slots between the arguments and the old top may hold stale temporaries of the caller.
  for (SQInteger i = argbase + nargs; i < v->_top; i++) v->_stack[i].Null();
  v->_top = argbase + nargs;
  for (SQInteger i = 0; i < nouters; i++) v->_stack[v->_top++] = nc->_outers[i];
  SQInteger ret;
  try {
    ret = nc->_function(v);
  } catch (SQError &) {
    SQCallInfo c = v->_calls.back();
    v->_calls.pop_back();
    vm_frame_cleanup(v, c);
    throw;
  } catch (std::bad_alloc &) {
    SQCallInfo c = v->_calls.back();
    v->_calls.pop_back();
    vm_frame_cleanup(v, c);
    vm_raise(v, "out of memory");
  }
  SQCallInfo c = v->_calls.back();
  v->_calls.pop_back();
  if (ret == SQ_SUSPEND_FLAG) {
    Val sv;
    if (v->_top > argbase + 1) sv = v->_stack[v->_top - 1];
    vm_frame_cleanup(v, c);
    v->_suspendvalue = sv;
    return true;
  }
  if (ret < 0) {
    vm_frame_cleanup(v, c);
    throw SQError{};
  }
  Val res;
  if (ret > 0 && v->_top > 0) res = v->_stack[v->_top - 1];
  vm_frame_cleanup(v, c);
  if (target >= 0) v->_stack[target] = std::move(res);
  return false;
}

void vm_call_native(SQVM *v, SQNativeClosure *nc, SQInteger argbase, SQInteger nargs, SQInteger target) {
  if (vm_call_native_raw(v, nc, argbase, nargs, target)) {
    if (v == v->_shared->_mainvm || v->_state != SQ_VMSTATE_RUNNING) vm_raise(v, "cannot suspend the main vm");
    vm_raise(v, "cannot suspend through native calls");
  }
}

// ============================================================================
// Calling any value from C
// ============================================================================
static void construct_instance(SQVM *v, SQClass *c, SQInteger argbase, SQInteger nargs, Val &out);

void vm_call(SQVM *v, const SQObject &funcin, SQInteger nargs, Val &out) {
  SQInteger argbase = v->_top - nargs;
  SQInteger funcidx = argbase - 1;
  Val func(funcin);
  try {
    switch (func._type) {
      case OT_CLOSURE:
        if (vm_start_call(v, func._unVal.pClosure, argbase, nargs, funcidx, true))
          vm_execute(v, (SQInteger)v->_calls.size() - 1);
        if (v->_state == SQ_VMSTATE_SUSPENDED) {
          out = v->_suspendvalue;
          return;
        }
        out = v->_stack[funcidx];
        break;
      case OT_NATIVECLOSURE:
        if (vm_call_native_raw(v, func._unVal.pNativeClosure, argbase, nargs, funcidx)) {
          if (v == v->_shared->_mainvm) vm_raise(v, "cannot suspend the main vm");
          v->_state = SQ_VMSTATE_SUSPENDED;
          v->_suspended_target = funcidx;
          out = v->_suspendvalue;
          return;
        }
        out = v->_stack[funcidx];
        break;
      case OT_CLASS:
        construct_instance(v, func._unVal.pClass, argbase, nargs, out);
        break;
      case OT_TABLE:
      case OT_INSTANCE:
      case OT_USERDATA: {
        Val fn;
        if (!vm_meta(v, func, MT_CALL, fn)) vm_raise(v, "attempt to call '%s'", type_name(func._type));
        std::vector<SQObject> args;
        args.push_back(func);
        for (SQInteger i = 0; i < nargs; i++) args.push_back(v->_stack[argbase + i]);
        Val res;
        v->Push(fn);
        for (const SQObject &a : args) v->Push(a);
        vm_call(v, fn, (SQInteger)args.size(), res);
        out = res;
        break;
      }
      default:
        vm_raise(v, "attempt to call '%s'", type_name(func._type));
    }
  } catch (SQError &) {
    for (SQInteger i = v->_top - 1; i >= funcidx; i--) v->_stack[i].Null();
    if (v->_top > funcidx) v->_top = funcidx;
    throw;
  }
  for (SQInteger i = v->_top - 1; i >= funcidx; i--) v->_stack[i].Null();
  v->_top = funcidx;
}

void vm_callargs(SQVM *v, const SQObject &func, Val &out, std::initializer_list<SQObject> args) {
  v->Push(func);
  for (const SQObject &a : args) v->Push(a);
  vm_call(v, func, (SQInteger)args.size(), out);
}

void vm_callv(SQVM *v, const SQObject &func, const Val *args, SQInteger n, Val &out) {
  v->Push(func);
  for (SQInteger i = 0; i < n; i++) v->Push(args[i]);
  vm_call(v, func, n, out);
}

static void construct_instance(SQVM *v, SQClass *c, SQInteger argbase, SQInteger nargs, Val &out) {
  Val inst(OT_INSTANCE, instance_new(v->_shared, c));
  if (c->_constructoridx >= 0) {
    Val ctor = c->_methods[c->_constructoridx].val;
    std::vector<Val> args((size_t)nargs);
    args[0] = inst;
    for (SQInteger i = 1; i < nargs; i++) args[i] = v->_stack[argbase + i];
    Val res;
    vm_callv(v, ctor, args.data(), nargs, res);
  }
  // Without a constructor the arguments are ignored, as the language defines.
  out = inst;
}

// ============================================================================
// Generators
// ============================================================================
void vm_resume_generator(SQVM *v, SQGenerator *g, Val &out) {
  if (g->_state == GEN_DEAD) vm_raise(v, "resuming dead generator");
  if (g->_state == GEN_RUNNING) vm_raise(v, "resuming active generator");
  Val hold(OT_GENERATOR, g);
  SQClosure *cl = g->_closure._unVal.pClosure;
  SQInteger funcidx = v->_top;
  SQInteger n = (SQInteger)g->_stack.size();
  v->EnsureStack(funcidx + 1 + n + 1);
  v->_stack[funcidx] = g->_closure;
  SQInteger base = funcidx + 1;
  for (SQInteger i = 0; i < n; i++) v->_stack[base + i] = std::move(g->_stack[i]);
  SQCallInfo ci;
  ci.ip = g->_ip;
  ci.base = base;
  ci.target = funcidx;
  ci.closure = cl;
  ci.nclosure = nullptr;
  ci.top = funcidx;
  ci.root = true;
  ci.generator = g;
  v->_calls.push_back(ci);
  SQInteger frameidx = (SQInteger)v->_calls.size() - 1;
  for (SQExceptionTrap t : g->_traps) {
    t.stackbase += base;
    t.catchreg += base;
    t.ncalls = frameidx;
    v->_traps.push_back(t);
  }
  g->_traps.clear();
  // Parked outers move back onto the VM stack (the list is kept sorted, highest first).
  for (SQOuter *o : g->_outers) {
    o->_idx += base;
    o->_valptr = &v->_stack[o->_idx];
    o->_vm = v;
    SQOuter **pp = &v->_openouters;
    while (*pp && (*pp)->_idx > o->_idx) pp = &(*pp)->_nextopen;
    o->_nextopen = *pp;
    *pp = o;
  }
  g->_outers.clear();
  v->_top = base + n;
  g->_state = GEN_RUNNING;
  try {
    vm_execute(v, frameidx);
  } catch (SQError &) {
    g->Kill();
    for (SQInteger i = v->_top - 1; i >= funcidx; i--) v->_stack[i].Null();
    if (v->_top > funcidx) v->_top = funcidx;
    throw;
  }
  out = v->_stack[funcidx];
  v->_stack[funcidx].Null();
  v->_top = funcidx;
}

// ============================================================================
// Error reporting
// ============================================================================
void vm_report_error(SQVM *v) {
  if (v->_errorreported) return;
  v->_errorreported = true;
  if (v->_errorhandler._type == OT_NULL) return;
  Val handler = v->_errorhandler;
  Val err = v->_lasterror;
  Val res;
  SQInteger savedlimit = v->_stacklimit;
  v->_stacklimit = v->_stackmax;
  v->_frameheadroom += 1000;
  try {
    vm_callargs(v, handler, res, {v->_roottable, err});
  } catch (SQError &) {
  }
  v->_stacklimit = savedlimit;
  v->_frameheadroom -= 1000;
  v->_errorreported = true;  // errors raised inside the handler must not re-arm it
  v->_lasterror = err;
}

// ============================================================================
// Threads
// ============================================================================
void vm_wakeup(SQVM *t, const SQObject &val, Val &out, bool throwerror) {
  if (t->_state != SQ_VMSTATE_SUSPENDED) vm_raise(t, "cannot wakeup a %s thread", t->_state == SQ_VMSTATE_IDLE ? "idle" : "running");
  if (t->_suspended_target >= 0 && t->_suspended_target < t->_top) t->_stack[t->_suspended_target] = val;
  t->_state = SQ_VMSTATE_RUNNING;
  t->_suspendvalue.Null();
  SQInteger rootidx = t->_rootfuncidx;
  try {
    // With throwerror the thread's last error is raised at the suspension point.
    t->_pendingthrow = throwerror;
    if (!t->_calls.empty()) vm_execute(t, 0);
  } catch (SQError &) {
    t->_state = SQ_VMSTATE_IDLE;
    while (!t->_calls.empty()) {
      SQCallInfo c = t->_calls.back();
      t->_calls.pop_back();
      vm_close_outers(t, c.base);
      vm_frame_cleanup(t, c);
    }
    t->_traps.clear();
    if (rootidx >= 0) {
      for (SQInteger i = t->_top - 1; i >= rootidx; i--) t->_stack[i].Null();
      if (t->_top > rootidx) t->_top = rootidx;
    }
    throw;
  }
  if (t->_state == SQ_VMSTATE_SUSPENDED) {
    out = t->_suspendvalue;
    return;
  }
  t->_state = SQ_VMSTATE_IDLE;
  if (rootidx >= 0 && rootidx < t->_top) out = t->_stack[rootidx];
  if (rootidx >= 0) {
    for (SQInteger i = t->_top - 1; i >= rootidx; i--) t->_stack[i].Null();
    if (t->_top > rootidx) t->_top = rootidx;
  }
}

