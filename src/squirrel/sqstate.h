// sqstate.h: shared state (one per sq_open: strings, GC list, registry, delegates) and
// per-thread state (SQVM: value stack, call frames, exception traps, open outers).
//
// Stack invariant: a VM's value stack is allocated once at its maximum size and never
// moves, so frames, open outers and the interpreter loop may hold raw pointers into it.
// Slots below _stackinit are constructed values; above it the memory is raw.
#pragma once
#include <cstdarg>
#include <initializer_list>
#include <string>
#include <unordered_map>

#include "sqobject.h"

// Returned by sq_suspendvm (through a native function) to suspend the running thread.
constexpr SQInteger SQ_SUSPEND_FLAG = -666;

// Thrown (as a C++ exception) to unwind to the nearest handler; the error value is in
// the VM's _lasterror.
struct SQError {};

struct SQCallInfo {
  const SQInstr *ip;
  SQInteger base;             // absolute stack index of register 0 ('this')
  SQInteger target;           // absolute stack index receiving the result, -1 for none
  SQClosure *closure;         // script frame; null for native frames
  SQNativeClosure *nclosure;  // native frame
  SQInteger top;              // native frames: stack top at entry
  bool root;                  // returning from this frame leaves vm_execute
  SQGenerator *generator;     // frame runs a generator
};

struct SQSharedState {
  // ---- strings ----
  // Intern set: open addressing with the hash stored next to the pointer, so a probe
  // touches the string itself only on a hash match. Deletion shifts entries back.
  struct StrSlot {
    SQHash hash;
    SQString *str;
  };
  StrSlot *_strtab = nullptr;
  SQInteger _strcap = 0, _strcount = 0;
  // ---- collectable objects (sentinel-headed circular list) ----
  SQCollectable *_gchead = nullptr;
  SQInteger _gccount = 0;
  bool _collecting = false;
  bool _closing = false;
  uintptr_t _cstackbase = 0;  // address near the outermost vm_execute (C stack guard)
  size_t _cstackbudget = 0;  // sq_close: strings stay interned and are freed in one sweep
  // ---- tables ----
  Val _registry, _consttable;
  Val _delegates[20];  // default delegates by raw type bit index
  Val _mmnames[MT_LAST];
  Val _constructorname;
  Val _emptystr;
  // ---- settings ----
  SQPRINTFUNCTION _printfunc = nullptr, _errorfunc = nullptr;
  SQCOMPILERERROR _compilererrorhandler = nullptr;
  bool _debuginfo = false;
  bool _notifyallexceptions = false;
  SQUserPointer _foreignptr = nullptr;
  SQRELEASEHOOK _releasehook = nullptr;
  std::vector<char> _scratch;
  // Resource limits for untrusted scripts (sqi_set_step_limit / sqi_set_memory_limit).
  int64_t _stepsleft = INT64_MAX;  // decremented on backward jumps and calls
  size_t _memlimit = 0;            // 0: unlimited
  size_t _memused = 0;             // bytes of strings and table nodes alive
  SQVM *_mainvm = nullptr;
  // HSQOBJECT references taken with sq_addref: one real reference per object, counted here.
  std::unordered_map<SQRefCounted *, SQUnsignedInteger> _apirefs;
  SQInteger Delegate(SQObjectType t) const;
};

struct SQVM final : SQCollectable {
  SQSharedState *_shared;
  Val *_stack = nullptr;
  SQInteger _stackmax = 0, _stackinit = 0;
  // Scripts raise "stack overflow" at _stacklimit; the slots above it are kept for the
  // error handler that reports the overflow.
  SQInteger _stacklimit = 0;
  SQInteger _frameheadroom = 0;  // extra call frames granted to the error handler
  SQInteger _top = 0;  // first free slot
  std::vector<SQCallInfo> _calls;
  std::vector<SQExceptionTrap> _traps;
  SQOuter *_openouters = nullptr;
  Val _lasterror;
  Val _roottable;
  Val _errorhandler;
  Val _debughook;
  SQDEBUGHOOK _nativedebughook = nullptr;
  SQInteger _nestedcalls = 0;  // C-level nesting of vm_execute
  SQInteger _suspended_target = -1;
  SQInteger _state = SQ_VMSTATE_IDLE;
  bool _suspendrequest = false;
  bool _errorreported = false;
  bool _raiseerror = true;
  bool _pendingthrow = false;
  bool _limithit = false;  // the current error is a resource limit (not catchable)
  // Nesting of _get/_set calls, inside which "throw null" means "not found", not an error.
  SQInteger _metalookups = 0;
  SQInteger _rootfuncidx = -1;  // threads: stack slot of the function started by sq_call
  SQUserPointer _foreignptr = nullptr;
  SQRELEASEHOOK _releasehook = nullptr;
  Val _suspendvalue;
  SQVM(SQSharedState *ss, SQInteger stacksize);
  ~SQVM() override;
  void Destroy() override;
  void Traverse(GCVisitor visit, void *ud) override;
  void Clear() override;

  // Make sure slots [0, n) exist (n absolute); raises "stack overflow" otherwise.
  void EnsureStack(SQInteger n) {
    if (n > _stackinit) GrowStack(n);
  }
  void GrowStack(SQInteger n);
  void Push(const SQObject &o) {
    EnsureStack(_top + 1);
    _stack[_top++] = o;
  }
  // Push for the C API: never raises; a push beyond the stack limit is dropped (the
  // limit is far above any sane native function's use).
  void ApiPush(const SQObject &o) {
    if (_top + 1 > _stackinit) {
      if (_top + 1 > _stackmax) return;
      GrowStack(_top + 1);
    }
    _stack[_top++] = o;
  }
  void PushVal(Val &&o) {
    EnsureStack(_top + 1);
    _stack[_top++] = std::move(o);
  }
  void Pop(SQInteger n = 1) {
    while (n-- > 0) _stack[--_top].Null();
  }
  Val &Top() { return _stack[_top - 1]; }
  // API index to absolute stack index.
  SQInteger AbsIndex(SQInteger idx) const;
  Val &At(SQInteger idx) { return _stack[AbsIndex(idx)]; }
  SQInteger FrameBase() const;
};

// ---- sqstate.cpp ----
SQVM *vm_newthread(SQSharedState *ss, SQVM *friendvm, SQInteger stacksize);
SQTable *table_new(SQSharedState *ss, SQInteger cap = 0);
SQArray *array_new(SQSharedState *ss, SQInteger n = 0);
inline SQString *ss_str(SQSharedState *ss, const char *s, SQInteger len = -1) { return str_new(ss, s, len); }

// ---- sqcall.cpp: errors ----
[[noreturn]] void vm_raise(SQVM *v, const char *fmt, ...);
[[noreturn]] void vm_throw(SQVM *v, const SQObject &err);
// Raised when a resource limit is hit; try/catch cannot stop it.
[[noreturn]] void vm_raise_limit(SQVM *v, const char *msg);
// Raises "out of memory" when the accounted memory is above the limit.
void vm_check_memory(SQVM *v);
// Texts used in error messages: the value for scalars, the type name otherwise.
std::string val_print_for_error(const SQObject &o);

// ---- sqops.cpp: object access with delegation and metamethods ----
// Returns false when the key does not exist (nothing raised); raises on other errors.
bool vm_get(SQVM *v, const SQObject &self, const SQObject &key, Val &out, bool rootfallback);
// Same, raising "the index '...' does not exist" when missing.
void vm_get_or_raise(SQVM *v, const SQObject &self, const SQObject &key, Val &out, bool rootfallback);
void vm_set(SQVM *v, const SQObject &self, const SQObject &key, const SQObject &val, bool rootfallback);
void vm_newslot(SQVM *v, const SQObject &self, const SQObject &key, const SQObject &val, bool bstatic);
void vm_delete(SQVM *v, const SQObject &self, const SQObject &key, Val &out);
bool vm_rawget(SQVM *v, const SQObject &self, const SQObject &key, Val &out);
bool vm_in(SQVM *v, const SQObject &key, const SQObject &self);
SQTable *vm_default_delegate(SQVM *v, SQObjectType t);
void vm_newmember(SQVM *v, SQClass *c, const SQObject &key, const SQObject &val, const SQObject &attrs,
                  bool bstatic, bool raw);

// ---- sqops.cpp: arithmetic, comparison, conversion ----
void vm_arith(SQVM *v, int op, Val &dst, const SQObject &a, const SQObject &b);
void vm_bitwise(SQVM *v, int op, Val &dst, const SQObject &a, const SQObject &b);
void vm_unm(SQVM *v, Val &dst, const SQObject &a);
SQInteger vm_compare(SQVM *v, const SQObject &a, const SQObject &b);  // -1/0/1, raises
bool vm_equal(SQVM *v, const SQObject &a, const SQObject &b);
void vm_tostring(SQVM *v, const SQObject &o, Val &out);
void vm_typeof(SQVM *v, const SQObject &o, Val &out);
void vm_concat(SQVM *v, const SQObject &a, const SQObject &b, Val &out);
void vm_clone(SQVM *v, const SQObject &o, Val &out);
bool vm_instanceof(SQVM *v, const SQObject &inst, const SQObject &cls);
SQString *vm_printf_str(SQVM *v, const char *fmt, ...);
bool vm_meta(SQVM *v, const SQObject &self, SQMetaMethod mm, Val &fn);

// ---- sqcall.cpp: frames ----
// Null the registers of a finished frame and restore the caller's top.
inline void vm_frame_cleanup(SQVM *v, const SQCallInfo &ci) {
  Val *s = v->_stack;
  for (SQInteger i = v->_top - 1; i >= ci.base; i--) s[i].Null();
  v->_top = ci.top;
}
SQOuter *vm_find_outer(SQVM *v, SQInteger idx);
void vm_pop_traps_of_frame(SQVM *v, SQInteger frameidx);
// Calls a native closure with arguments at stack[argbase..]; the result goes to target.
// Returns true when the native asked to suspend the thread.
bool vm_call_native_raw(SQVM *v, SQNativeClosure *nc, SQInteger argbase, SQInteger nargs, SQInteger target);
void vm_callv(SQVM *v, const SQObject &func, const Val *args, SQInteger n, Val &out);

// ---- sqvm.cpp / sqcall.cpp: calls ----
// Calls func with nargs values on top of the stack (the first is 'this'); pops them and
// stores the result in out. Raises on error.
void vm_call(SQVM *v, const SQObject &func, SQInteger nargs, Val &out);
// Calls func(this, args...) with the arguments given explicitly.
void vm_callargs(SQVM *v, const SQObject &func, Val &out, std::initializer_list<SQObject> args);
// Runs frames from `entry` on until the entry frame returns (or the thread suspends).
void vm_execute(SQVM *v, SQInteger entry);
void vm_resume_generator(SQVM *v, SQGenerator *g, Val &out);
void vm_close_outers(SQVM *v, SQInteger from);
// Sets up a script frame for cl with nargs arguments at stack[argbase..]; returns false
// when cl is a generator function (the generator was stored at target).
bool vm_start_call(SQVM *v, SQClosure *cl, SQInteger argbase, SQInteger nargs, SQInteger target, bool root);
void vm_call_native(SQVM *v, SQNativeClosure *nc, SQInteger argbase, SQInteger nargs, SQInteger target);
void vm_report_error(SQVM *v);
// An error that leaves the outermost try-less activation goes to the error handler, except
// the null a _get/_set throws to say "not found".
inline bool vm_error_to_report(const SQVM *v) {
  return v->_traps.empty() && !(v->_metalookups > 0 && v->_lasterror._type == OT_NULL);
}
void vm_wakeup(SQVM *t, const SQObject &val, Val &out, bool throwerror);
std::string vm_callstack_name(SQVM *v, const SQCallInfo &ci);

// ---- sqlexer.cpp / sqcompiler.cpp ----
// Compiles source into a closure value; returns false and fills lasterror on failure.
bool sq_compile_source(SQVM *v, SQLEXREADFUNC read, SQUserPointer up, const char *sourcename,
                       bool raiseerror, Val &out);

// ---- sqgc.cpp ----
SQInteger gc_collect(SQSharedState *ss, SQVM *v, std::vector<Val> *resurrect);

// ---- sqapi.cpp ----
SQClosure *closure_new(SQSharedState *ss, SQFunctionProto *p, SQVM *v);
