// The non-template half of the binding layer: VM set-up and shut-down, the
// print and error handlers with the call-stack dump, loading script files,
// class registration and instance creation, slot lookups.
#include "script/sqbind.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/dynArray.h"

// {===== Errors

SquirrelError::SquirrelError(const char* text) {
  snprintf(message, sizeof message, "%s", text ? text : "unknown error");
}

SquirrelError::SquirrelError(HSQUIRRELVM vm) {
  const SQChar* text = nullptr;
  SQInteger top = sq_gettop(vm);
  sq_getlasterror(vm);
  if (SQ_FAILED(sq_getstring(vm, -1, &text))) text = nullptr;
  snprintf(message, sizeof message, "%s", text ? text : "unknown error");
  sq_settop(vm, top);
}

namespace sqbind {

void throw_type_error() { throw SquirrelError("sq_get*() failed (type error)"); }

void check_arg_count(HSQUIRRELVM v, int needed) {
  if (sq_gettop(v) < needed + 1) throw SquirrelError("wrong number of parameters");
}

// {===== Handlers

void print_func(HSQUIRRELVM, const SQChar* format, ...) {
  va_list args;
  va_start(args, format);
  vdebug(format, args);
  va_end(args);
  fflush(stdout);
}

void compiler_error_handler(HSQUIRRELVM vm, const SQChar* desc, const SQChar* source, SQInteger line,
                            SQInteger column) {
  SQPRINTFUNCTION pf = sq_getprintfunc(vm);
  if (pf) pf(vm, "bin/%s(%d,%d): error: %s\n", source, (int)line, (int)column, desc);
}

// The deepest call level whose locals are dumped.
static const int max_locals_level = 19;

SQInteger runtime_error_handler(HSQUIRRELVM vm) {
  SQPRINTFUNCTION pf = sq_getprintfunc(vm);
  if (!pf || sq_gettop(vm) < 2) return 0;
  const SQChar* error = "unknown";
  if (SQ_FAILED(sq_getstring(vm, 2, &error))) error = "unknown";

  pf(vm, "\nCALLSTACK\n");
  SQStackInfos si;
  for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(vm, level, &si)); level++) {
    const SQChar* src = si.source ? si.source : "unknown";
    const SQChar* fn = si.funcname ? si.funcname : "unknown";
    if (level == 1)
      pf(vm, "bin/%s(%d): ERROR: %s (in %s())\n", src, (int)si.line, error, fn);
    else
      pf(vm, "bin/%s(%d): function %s() (CALLSTACK)\n", src, (int)si.line, fn);
  }

  pf(vm, "\nLOCALS\n");
  for (SQUnsignedInteger level = 0; level <= (SQUnsignedInteger)max_locals_level; level++) {
    const SQChar* name;
    for (SQUnsignedInteger seq = 0; (name = sq_getlocal(vm, level, seq)) != nullptr; seq++) {
      switch (sq_gettype(vm, -1)) {
      case OT_NULL: pf(vm, "[%s] NULL\n", name); break;
      case OT_INTEGER: {
        SQInteger i = 0;
        sq_getinteger(vm, -1, &i);
        pf(vm, "[%s] %d\n", name, (int)i);
        break;
      }
      case OT_FLOAT: {
        SQFloat f = 0;
        sq_getfloat(vm, -1, &f);
        pf(vm, "[%s] %.14g\n", name, (double)f);
        break;
      }
      case OT_USERPOINTER: pf(vm, "[%s] USERPOINTER\n", name); break;
      case OT_STRING: {
        const SQChar* s = "";
        sq_getstring(vm, -1, &s);
        pf(vm, "[%s] \"%s\"\n", name, s);
        break;
      }
      case OT_TABLE: pf(vm, "[%s] TABLE\n", name); break;
      case OT_ARRAY: pf(vm, "[%s] ARRAY\n", name); break;
      case OT_CLOSURE: pf(vm, "[%s] CLOSURE\n", name); break;
      case OT_NATIVECLOSURE: pf(vm, "[%s] NATIVECLOSURE\n", name); break;
      case OT_GENERATOR: pf(vm, "[%s] GENERATOR\n", name); break;
      case OT_USERDATA: pf(vm, "[%s] USERDATA\n", name); break;
      case OT_CLASS: pf(vm, "[%s] CLASS\n", name); break;
      case OT_INSTANCE: pf(vm, "[%s] INSTANCE\n", name); break;
      case OT_WEAKREF: pf(vm, "[%s] WEAKREF\n", name); break;
      case OT_THREAD: pf(vm, "[%s] THREAD\n", name); break;
      case OT_BOOL: {
        SQBool b = 0;
        sq_getbool(vm, -1, &b);
        pf(vm, "[%s] %s\n", name, b ? "true" : "false");
        break;
      }
      default: break;
      }
      sq_poptop(vm);
    }
  }
  return 0;
}

// {===== VMs and script files

HSQUIRRELVM open_vm(SQInteger initial_stack_size) {
  HSQUIRRELVM vm = sq_open(initial_stack_size);
  if (!vm) return nullptr;
  sq_setprintfunc(vm, print_func, print_func);
  sq_setcompilererrorhandler(vm, compiler_error_handler);
  sq_newclosure(vm, runtime_error_handler, 0);
  sq_seterrorhandler(vm);
  return vm;
}

void close_vm(HSQUIRRELVM vm) {
  if (!vm) return;
  sq_collectgarbage(vm);
  sq_close(vm);
}

bool load_script(HSQUIRRELVM vm, const char* filename) {
  FILE* f = fopen(filename, "rb");
  if (!f) {
    debug("SCRIPT: can't open '%s'", filename);
    return false;
  }
  DynArray<char> text;
  bool ok = fseek(f, 0, SEEK_END) == 0;
  long size = ok ? ftell(f) : -1;
  if (size < 0 || size > 0x7fffffff || fseek(f, 0, SEEK_SET) != 0) ok = false;
  if (ok) {
    text.resize((int)size + 1);
    ok = fread(text.data, 1, (size_t)size, f) == (size_t)size;
  }
  fclose(f);
  if (!ok) {
    debug("SCRIPT: can't read '%s'", filename);
    return false;
  }
  SQInteger top = sq_gettop(vm);
  if (SQ_FAILED(sq_compilebuffer(vm, text.data, (SQInteger)size, filename, SQTrue))) {
    sq_settop(vm, top);
    return false;
  }
  sq_pushroottable(vm);
  bool ran = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  sq_settop(vm, top);
  return ran;
}

// {===== Classes and instances

SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base_name, SQUserPointer tag) {
  SQInteger top = sq_gettop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, name, -1);
  bool exists = SQ_SUCCEEDED(sq_rawget(vm, -2)) && sq_gettype(vm, -1) == OT_CLASS;
  if (!exists) {
    sq_reseterror(vm);
    sq_settop(vm, top + 1);
    if (base_name) {
      sq_pushstring(vm, base_name, -1);
      if (SQ_FAILED(sq_rawget(vm, -2)) || sq_gettype(vm, -1) != OT_CLASS)
        fatal("no base class '%s' bound for '%s'", base_name, name);
    }
    if (SQ_FAILED(sq_newclass(vm, base_name ? SQTrue : SQFalse))) fatal("can't create class '%s'", name);
  }
  // Stack: root, class.
  if (SQ_FAILED(sq_settypetag(vm, -1, tag))) fatal("can't set type tag for class '%s'", name);
  SqObject cls = SqObject::fromStack(vm, -1);
  sq_pushstring(vm, name, -1);
  cls.push(vm);
  if (SQ_FAILED(sq_newslot(vm, -4, SQFalse))) fatal("can't register class '%s' in root table", name);
  sq_pushregistrytable(vm);
  sq_pushuserpointer(vm, tag);
  cls.push(vm);
  if (SQ_FAILED(sq_newslot(vm, -3, SQFalse))) fatal("can't register class '%s' in registry table", name);
  sq_settop(vm, top);
  return cls;
}

bool push_instance(HSQUIRRELVM vm, void* object, SQUserPointer tag, const char* class_name, SQRELEASEHOOK hook) {
  if (!object) {
    sq_pushnull(vm);
    return true;
  }
  SQInteger top = sq_gettop(vm);
  const char* reason = nullptr;
  sq_pushregistrytable(vm);
  sq_pushuserpointer(vm, tag);
  if (SQ_FAILED(sq_rawget(vm, -2)) || sq_gettype(vm, -1) != OT_CLASS) {
    reason = "can't get script class";
  } else if (SQ_FAILED(sq_createinstance(vm, -1))) {
    reason = "can't create script instance";
  } else if (SQ_FAILED(sq_setinstanceup(vm, -1, object))) {
    reason = "can't set instance user pointer";
  }
  if (reason) {
    sq_reseterror(vm);
    sq_settop(vm, top);
    debug("failed to create %s", class_name);
    throw SquirrelError(reason);
  }
  if (hook) sq_setreleasehook(vm, -1, hook);
  // Keep only the instance.
  sq_remove(vm, -2);
  sq_remove(vm, -2);
  return true;
}

bool init_instance(void* object, HSQUIRRELVM vm, SQRELEASEHOOK hook) {
  if (SQ_FAILED(sq_setinstanceup(vm, 1, object))) {
    sq_reseterror(vm);
    sq_poptop(vm);
    debug("failed to init scripted object %p", object);
    throw SquirrelError("can't set scripted instance user pointer");
  }
  if (hook) sq_setreleasehook(vm, 1, hook);
  return true;
}

// {===== Slots

static void get_from_top_object(HSQUIRRELVM v, SQInteger top, const char* what, const char* key_text) {
  if (SQ_FAILED(sq_get(v, -2))) {
    SquirrelError e(v);
    sq_settop(v, top);
    debug(what, key_text);
    throw e;
  }
  sq_remove(v, -2);
}

static void push_target(const SqObject& object) {
  HSQUIRRELVM v = object.vm;
  object.push(v);
  if (sq_gettype(v, -1) == OT_WEAKREF) {
    sq_getweakrefval(v, -1);
    sq_remove(v, -2);
  }
}

void push_slot(const SqObject& object, const char* key) {
  if (!object.vm) throw SquirrelError("getSlot on a null object");
  HSQUIRRELVM v = object.vm;
  SQInteger top = sq_gettop(v);
  push_target(object);
  sq_pushstring(v, key, -1);
  get_from_top_object(v, top, "getSlot '%s' failed", key);
}

void push_slot(const SqObject& object, int key) {
  if (!object.vm) throw SquirrelError("getSlot on a null object");
  HSQUIRRELVM v = object.vm;
  SQInteger top = sq_gettop(v);
  push_target(object);
  sq_pushinteger(v, key);
  char text[16];
  snprintf(text, sizeof text, "%d", key);
  get_from_top_object(v, top, "getSlot '%s' failed", text);
}

void push_global(HSQUIRRELVM vm, const char* name) {
  SQInteger top = sq_gettop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, name, -1);
  get_from_top_object(vm, top, "getGlobal '%s' failed", name);
}

void push_reg(HSQUIRRELVM vm, const char* name) {
  SQInteger top = sq_gettop(vm);
  sq_pushregistrytable(vm);
  sq_pushstring(vm, name, -1);
  get_from_top_object(vm, top, "getReg '%s' failed", name);
}

SQUserPointer getReg(HSQUIRRELVM vm, const char* name) {
  push_reg(vm, name);
  SQUserPointer p = nullptr;
  bool ok = SQ_SUCCEEDED(sq_getuserpointer(vm, -1, &p));
  sq_poptop(vm);
  if (!ok) throw_type_error();
  return p;
}

// {===== Registration

SqObject root_table(HSQUIRRELVM v) {
  sq_pushroottable(v);
  SqObject r = SqObject::fromStack(v, -1);
  sq_poptop(v);
  return r;
}

static void new_slot_in(HSQUIRRELVM v, const SqObject& target, SQInteger top) {
  // Stack: target, name, closure.
  SQRESULT res = sq_newslot(v, -3, SQFalse);
  sq_settop(v, top);
  ASSERT(SQ_SUCCEEDED(res));
}

void register_closure(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION thunk, SQUserPointer pointer) {
  SQInteger top = sq_gettop(v);
  target.push(v);
  sq_pushstring(v, name, -1);
  sq_pushuserpointer(v, pointer);
  sq_newclosure(v, thunk, 1);
  sq_setnativeclosurename(v, -1, name);
  new_slot_in(v, target, top);
}

void register_method_closure(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION thunk,
                             const void* member, size_t member_size) {
  SQInteger top = sq_gettop(v);
  target.push(v);
  sq_pushstring(v, name, -1);
  void* ud = sq_newuserdata(v, (SQUnsignedInteger)member_size);
  ASSERT(ud);
  memcpy(ud, member, member_size);
  sq_newclosure(v, thunk, 1);
  sq_setnativeclosurename(v, -1, name);
  new_slot_in(v, target, top);
}

void register_raw(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION fn) {
  SQInteger top = sq_gettop(v);
  target.push(v);
  sq_pushstring(v, name, -1);
  sq_newclosure(v, fn, 0);
  sq_setnativeclosurename(v, -1, name);
  new_slot_in(v, target, top);
}

} // namespace sqbind

bool call_bool_func(SqFunc<bool>& f, bool default_value) {
  if (f.isNull()) return default_value;
  try {
    return f();
  } catch (const SquirrelError& e) {
    char text[600];
    snprintf(text, sizeof text, "Error in world script:\n%s", e.what());
    set_error_message(text);
    return default_value;
  }
}
