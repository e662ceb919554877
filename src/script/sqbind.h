// The binding layer between native code and the Squirrel VMs: owning value
// handles (SqObject), typed calls of script functions (SqFunc), the one
// exception of the layer (SquirrelError), native classes under unique type
// tags, and the generated thunks through which scripts call native code.
//
// Invariants: an SqObject whose vm is set holds exactly one strong reference
// in that VM; one whose vm is null is the null value. An SqFunc's environment
// is always a weak reference, so a stored callback never keeps its owner alive.
// Thunks never let a C++ exception cross the VM: they turn it into a script
// error (sq_throwerror).
#pragma once
#include <squirrel.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "core/log.h"

// {===== Errors

struct SquirrelError {
  // The text is copied: a message taken from the VM's last error must not
  // dangle once the VM raises the next one.
  char message[512];

  explicit SquirrelError(const char* text);
  explicit SquirrelError(HSQUIRRELVM vm); // the VM's last error, or "unknown error"
  const char* what() const { return message; }
};

// {===== Value handles

struct SqObject {
  HSQOBJECT o;
  HSQUIRRELVM vm = nullptr;

  SqObject() { sq_resetobject(&o); }
  // Takes a reference to `obj` in `v`.
  SqObject(HSQUIRRELVM v, const HSQOBJECT& obj) : o(obj), vm(v) { sq_addref(vm, &o); }
  SqObject(const SqObject& other) : o(other.o), vm(other.vm) {
    if (vm) sq_addref(vm, &o);
  }
  SqObject& operator=(const SqObject& other) {
    if (this == &other) return *this;
    reset();
    o = other.o;
    vm = other.vm;
    if (vm) sq_addref(vm, &o);
    return *this;
  }
  ~SqObject() { reset(); }

  // The value at a stack index of `v`.
  static SqObject fromStack(HSQUIRRELVM v, SQInteger idx) {
    HSQOBJECT h;
    sq_getstackobj(v, idx, &h);
    return SqObject(v, h);
  }

  void reset() {
    if (vm) sq_release(vm, &o);
    sq_resetobject(&o);
    vm = nullptr;
  }
  bool isNull() const { return o._type == OT_NULL; }
  SQObjectType type() const { return o._type; }
  // Pushes the value (the null value when unset) onto `v`, or onto its own VM.
  void push(HSQUIRRELVM v) const { sq_pushobject(v, o); }
  void push() const {
    ASSERT(vm);
    sq_pushobject(vm, o);
  }
  bool sameAs(const SqObject& other) const { return o._type == other.o._type && o._unVal.raw == other.o._unVal.raw; }
};

namespace sqbind {

// {===== Class tags

template <class T>
struct ClassTag {
  static int uniqueTag; // its address is the type tag of T's script class
};
template <class T>
int ClassTag<T>::uniqueTag = 0;

template <class T>
inline SQUserPointer class_tag() {
  return (SQUserPointer)&ClassTag<T>::uniqueTag;
}

// {===== VMs and script files

// Opens a VM with the program's print function, compiler-error handler and
// runtime error handler. Null when the VM can't be created.
HSQUIRRELVM open_vm(SQInteger initial_stack_size);
// Collects garbage and closes; a null VM is ignored.
void close_vm(HSQUIRRELVM vm);
// Compiles a whole file and runs it with the root table as `this`. False when
// the file can't be read or compiling or running fails (already logged).
bool load_script(HSQUIRRELVM vm, const char* filename);
// The print function of every VM: formats into the log and flushes stdout.
void print_func(HSQUIRRELVM vm, const SQChar* format, ...);
// The runtime error handler (a native closure): CALLSTACK and LOCALS dump.
SQInteger runtime_error_handler(HSQUIRRELVM vm);
void compiler_error_handler(HSQUIRRELVM vm, const SQChar* desc, const SQChar* source, SQInteger line, SQInteger column);

// {===== Classes and instances

// Finds or creates the class `name` in the root table, tags it and stores it
// in the registry under the tag. Registration failures are fatal.
SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base_name, SQUserPointer tag);
// Pushes a new instance of the class registered under `tag` holding `object`
// (null pushes null). Throws SquirrelError with the stack restored.
bool push_instance(HSQUIRRELVM vm, void* object, SQUserPointer tag, const char* class_name, SQRELEASEHOOK hook);
// For native constructors: attaches `object` to the instance at stack position 1.
bool init_instance(void* object, HSQUIRRELVM vm, SQRELEASEHOOK hook);
// init_instance for an object made with `new` that the release hook deletes:
// if attaching throws, the object is deleted before the error goes on.
template <class T> void adopt_instance(T* object, HSQUIRRELVM vm, SQRELEASEHOOK hook) {
  try {
    init_instance(object, vm, hook);
  } catch (...) {
    delete object;
    throw;
  }
}

// {===== Reading values

[[noreturn]] void throw_type_error();

template <class T>
struct Value;

template <>
struct Value<int> {
  static int get(HSQUIRRELVM v, SQInteger idx) {
    SQInteger i;
    if (SQ_FAILED(sq_getinteger(v, idx, &i))) throw_type_error();
    return i;
  }
  static void push(HSQUIRRELVM v, int x) { sq_pushinteger(v, x); }
};
template <>
struct Value<float> {
  static float get(HSQUIRRELVM v, SQInteger idx) {
    SQFloat f;
    if (SQ_FAILED(sq_getfloat(v, idx, &f))) throw_type_error();
    return f;
  }
  static void push(HSQUIRRELVM v, float x) { sq_pushfloat(v, x); }
};
template <>
struct Value<bool> {
  static bool get(HSQUIRRELVM v, SQInteger idx) {
    SQBool b;
    if (SQ_FAILED(sq_getbool(v, idx, &b))) throw_type_error();
    return b != 0;
  }
  static void push(HSQUIRRELVM v, bool x) { sq_pushbool(v, x ? SQTrue : SQFalse); }
};
template <>
struct Value<const char*> {
  static const char* get(HSQUIRRELVM v, SQInteger idx) {
    const SQChar* s;
    if (SQ_FAILED(sq_getstring(v, idx, &s))) throw_type_error();
    return s;
  }
  static void push(HSQUIRRELVM v, const char* x) {
    if (x)
      sq_pushstring(v, x, -1);
    else
      sq_pushnull(v);
  }
};
// Script text as a result: a copy (embedded zeros kept). A value that a call
// or a `_get` produced is freed as soon as the stack is restored, so a result
// can't be a pointer into it.
template <>
struct Value<std::string> {
  static std::string get(HSQUIRRELVM v, SQInteger idx) {
    const SQChar* s;
    if (SQ_FAILED(sq_getstring(v, idx, &s))) throw_type_error();
    return std::string(s, (size_t)sq_getsize(v, idx));
  }
  static void push(HSQUIRRELVM v, const std::string& x) { sq_pushstring(v, x.data(), (SQInteger)x.size()); }
};
template <>
struct Value<SQUserPointer> {
  static SQUserPointer get(HSQUIRRELVM v, SQInteger idx) {
    SQUserPointer p;
    if (SQ_FAILED(sq_getuserpointer(v, idx, &p))) throw_type_error();
    return p;
  }
  static void push(HSQUIRRELVM v, SQUserPointer x) { sq_pushuserpointer(v, x); }
};
template <>
struct Value<SqObject> {
  static SqObject get(HSQUIRRELVM v, SQInteger idx) { return SqObject::fromStack(v, idx); }
  static void push(HSQUIRRELVM v, const SqObject& x) { x.push(v); }
};

// The native object behind the instance at `idx`, checked against T's tag.
template <class T>
T* getInst(HSQUIRRELVM v, SQInteger idx) {
  SQUserPointer p = nullptr;
  if (SQ_FAILED(sq_getinstanceup(v, idx, &p, class_tag<T>())) || !p) {
    sq_reseterror(v);
    throw SquirrelError("getInst: invalid argument type");
  }
  return (T*)p;
}
template <class T>
struct Value<T*> {
  static T* get(HSQUIRRELVM v, SQInteger idx) { return getInst<T>(v, idx); }
};

// The type that getSlot, getGlobal and SqFunc return for a requested type:
// itself, except that text is returned as an owning std::string. A
// `const char*` would point into a value the stack restore may free (only
// thunk arguments, which live on the stack for the whole call, read text as
// `const char*`).
template <class T>
struct Result {
  using type = T;
};
template <>
struct Result<const char*> {
  using type = std::string;
};
template <class T>
using result_t = typename Result<T>::type;

// Pushes `object` (a weak reference: its target), then the key, and reads the
// slot; the value stays on the stack. Throws with the stack restored.
void push_slot(const SqObject& object, const char* key);
void push_slot(const SqObject& object, int key);
void push_global(HSQUIRRELVM vm, const char* name);
void push_reg(HSQUIRRELVM vm, const char* name);

template <class T, class K>
result_t<T> getSlot(const SqObject& object, K key) {
  push_slot(object, key);
  HSQUIRRELVM v = object.vm;
  try {
    result_t<T> r = Value<result_t<T>>::get(v, -1);
    sq_poptop(v);
    return r;
  } catch (...) {
    sq_poptop(v);
    throw;
  }
}
template <class T>
result_t<T> getGlobal(HSQUIRRELVM vm, const char* name) {
  push_global(vm, name);
  try {
    result_t<T> r = Value<result_t<T>>::get(vm, -1);
    sq_poptop(vm);
    return r;
  } catch (...) {
    sq_poptop(vm);
    throw;
  }
}
SQUserPointer getReg(HSQUIRRELVM vm, const char* name);

// {===== Native call thunks

// Argument i of a native call sits at stack position i + 2 (1 is `this`).
template <class F, class... A, size_t... I>
auto call_with_args(HSQUIRRELVM v, F&& f, std::index_sequence<I...>) {
  (void)v; // unused without arguments
  return f(Value<std::decay_t<A>>::get(v, (SQInteger)(I + 2))...);
}

template <class R>
SQInteger push_result(HSQUIRRELVM v, R&& r) {
  Value<std::decay_t<R>>::push(v, r);
  return 1;
}

void check_arg_count(HSQUIRRELVM v, int needed);

template <class R, class... A>
SQInteger free_thunk(HSQUIRRELVM v) {
  SQUserPointer p = nullptr;
  if (sq_gettype(v, -1) != OT_USERPOINTER || SQ_FAILED(sq_getuserpointer(v, -1, &p)) || !p)
    return sq_throwerror(v, "no function stored for C++ call");
  sq_poptop(v);
  auto fn = reinterpret_cast<R (*)(A...)>(p);
  try {
    check_arg_count(v, (int)sizeof...(A));
    auto call = [fn](A... a) { return fn(a...); };
    if constexpr (std::is_void_v<R>) {
      call_with_args<decltype(call)&, A...>(v, call, std::index_sequence_for<A...>{});
      return 0;
    } else {
      return push_result(v, call_with_args<decltype(call)&, A...>(v, call, std::index_sequence_for<A...>{}));
    }
  } catch (const SquirrelError& e) {
    return sq_throwerror(v, e.what());
  }
}

template <class C, class R, class... A>
SQInteger method_thunk(HSQUIRRELVM v) {
  SQUserPointer self = nullptr;
  if (SQ_FAILED(sq_getinstanceup(v, 1, &self, class_tag<C>())) || !self)
    return sq_throwerror(v, "invalid 'this' in C++ method call");
  using M = R (C::*)(A...);
  SQUserPointer ud = nullptr, tag = nullptr;
  if (sq_gettype(v, -1) != OT_USERDATA || SQ_FAILED(sq_getuserdata(v, -1, &ud, &tag)) || !ud)
    return sq_throwerror(v, "no method stored for C++ call");
  M m;
  memcpy((void*)&m, ud, sizeof m);
  sq_poptop(v);
  C* obj = (C*)self;
  try {
    check_arg_count(v, (int)sizeof...(A));
    auto call = [obj, m](A... a) { return (obj->*m)(a...); };
    if constexpr (std::is_void_v<R>) {
      call_with_args<decltype(call)&, A...>(v, call, std::index_sequence_for<A...>{});
      return 0;
    } else {
      return push_result(v, call_with_args<decltype(call)&, A...>(v, call, std::index_sequence_for<A...>{}));
    }
  } catch (const SquirrelError& e) {
    return sq_throwerror(v, e.what());
  }
}

// A native constructor gets the VM first; it allocates the object and calls
// init_instance.
template <class C, class... A>
SQInteger ctor_thunk(HSQUIRRELVM v) {
  SQUserPointer p = nullptr;
  if (sq_gettype(v, -1) != OT_USERPOINTER || SQ_FAILED(sq_getuserpointer(v, -1, &p)) || !p)
    return sq_throwerror(v, "no function stored for C++ ctor call");
  sq_poptop(v);
  auto fn = reinterpret_cast<void (*)(HSQUIRRELVM, A...)>(p);
  try {
    check_arg_count(v, (int)sizeof...(A));
    auto call = [fn, v](A... a) { fn(v, a...); };
    call_with_args<decltype(call)&, A...>(v, call, std::index_sequence_for<A...>{});
  } catch (const SquirrelError& e) {
    return sq_throwerror(v, e.what());
  }
  SQUserPointer ptr = nullptr;
  if (SQ_FAILED(sq_getinstanceup(v, 1, &ptr, class_tag<C>()))) ptr = nullptr;
  ASSERT(ptr);
  return 0;
}

// Creates the native closure `thunk` whose one free variable holds `pointer`
// (or a user-data copy of a member pointer) and stores it under `name` in
// `target` (the root table, a class or a table).
void register_closure(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION thunk, SQUserPointer pointer);
void register_method_closure(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION thunk,
                             const void* member, size_t member_size);
// A plain native function (no free variable) under `name` in `target`.
void register_raw(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION fn);
// The root table as a handle.
SqObject root_table(HSQUIRRELVM v);

template <class R, class... A>
void register_function(HSQUIRRELVM v, const SqObject& target, const char* name, R (*fn)(A...)) {
  register_closure(v, target, name, &free_thunk<R, A...>, reinterpret_cast<SQUserPointer>(fn));
}
template <class C, class R, class... A>
void register_method(HSQUIRRELVM v, const SqObject& cls, const char* name, R (C::*m)(A...)) {
  register_method_closure(v, cls, name, &method_thunk<C, R, A...>, &m, sizeof m);
}
template <class C, class... A>
void register_ctor(HSQUIRRELVM v, const SqObject& cls, void (*ctor)(HSQUIRRELVM, A...)) {
  register_closure(v, cls, "constructor", &ctor_thunk<C, A...>, reinterpret_cast<SQUserPointer>(ctor));
}

} // namespace sqbind

// {===== Calling script functions

template <class R>
struct SqFunc {
  HSQUIRRELVM vm = nullptr;
  SqObject env;  // a weak reference to `this` of the call
  SqObject func; // the closure

  SqFunc() = default;
  // Binds `function` with `environment` (kept weakly).
  SqFunc(const SqObject& environment, const SqObject& function) { bind(environment, function); }

  void bind(const SqObject& environment, const SqObject& function) {
    reset();
    HSQUIRRELVM v = environment.vm ? environment.vm : function.vm;
    if (!v) return;
    vm = v;
    environment.push(v);
    if (sq_gettype(v, -1) != OT_WEAKREF) {
      sq_weakref(v, -1);
      sq_remove(v, -2);
    }
    env = SqObject::fromStack(v, -1);
    sq_poptop(v);
    func = function;
    if (!func.vm && !func.isNull()) func = SqObject();
  }
  // Binds the member `name` of `environment`; stays null when there is none.
  void bindMember(const SqObject& environment, const char* name) {
    reset();
    HSQUIRRELVM v = environment.vm;
    if (!v || environment.isNull()) return;
    SQInteger top = sq_gettop(v);
    environment.push(v);
    sq_pushstring(v, name, -1);
    if (SQ_SUCCEEDED(sq_get(v, -2))) {
      SqObject f = SqObject::fromStack(v, -1);
      sq_settop(v, top);
      bind(environment, f);
    } else {
      sq_reseterror(v);
      sq_settop(v, top);
    }
  }
  void reset() {
    env.reset();
    func.reset();
    vm = nullptr;
  }

  bool isNull() const {
    if (!vm || func.isNull() || env.isNull()) return true;
    if (env.type() != OT_WEAKREF) return false;
    env.push(vm);
    sq_getweakrefval(vm, -1);
    bool dead = sq_gettype(vm, -1) == OT_NULL;
    sq_pop(vm, 2);
    return dead;
  }

  // Text results come back as std::string (see sqbind::Result).
  template <class... A>
  sqbind::result_t<R> operator()(A... args) {
    if (!vm) throw SquirrelError("SqFunc: can't deref weakptr to object");
    HSQUIRRELVM v = vm;
    SQInteger top = sq_gettop(v);
    func.push(v);
    env.push(v);
    if (sq_gettype(v, -1) == OT_WEAKREF) {
      sq_getweakrefval(v, -1);
      sq_remove(v, -2);
      if (sq_gettype(v, -1) == OT_NULL) {
        sq_settop(v, top);
        throw SquirrelError("SqFunc: can't deref weakptr to object");
      }
    }
    (sqbind::Value<std::decay_t<A>>::push(v, args), ...);
    constexpr bool has_result = !std::is_void_v<R>;
    if (SQ_FAILED(sq_call(v, (SQInteger)sizeof...(A) + 1, has_result ? SQTrue : SQFalse, SQTrue))) {
      sq_settop(v, top);
      throw SquirrelError("SqFunc<> call failed");
    }
    if constexpr (has_result) {
      try {
        sqbind::result_t<R> r = sqbind::Value<sqbind::result_t<R>>::get(v, -1);
        sq_settop(v, top);
        return r;
      } catch (...) {
        sq_settop(v, top);
        throw;
      }
    } else {
      sq_settop(v, top);
    }
  }
};

// Calls `f` when it is set; script errors are shown as "Error in world
// script:\n%s" and give `default_value`, as does a null function.
bool call_bool_func(SqFunc<bool>& f, bool default_value);
