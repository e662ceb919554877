// Shared helpers of the world-generation VM's bindings: argument reading by
// script position, the guard that turns native exceptions into script
// errors, and calling script callbacks per cell.
#pragma once
#include <squirrel.h>

#include "core/math_types.h"
#include "script/sqbind.h"

class BitMap;

namespace wgbind {

// A script callback failed; its error object is already the VM's last error
// and is passed on unchanged.
struct CallbackFailed {};

// Script argument n (0-based) sits at stack position n + 2.
inline int arg_int(HSQUIRRELVM v, int n) { return sqbind::Value<int>::get(v, n + 2); }
inline float arg_float(HSQUIRRELVM v, int n) { return sqbind::Value<float>::get(v, n + 2); }
inline bool arg_bool(HSQUIRRELVM v, int n) { return sqbind::Value<bool>::get(v, n + 2); }
inline const char* arg_str(HSQUIRRELVM v, int n) { return sqbind::Value<const char*>::get(v, n + 2); }
inline bool arg_null(HSQUIRRELVM v, int n) { return sq_gettop(v) < n + 2 || sq_gettype(v, n + 2) == OT_NULL; }
inline void need_args(HSQUIRRELVM v, int n) { sqbind::check_arg_count(v, n); }
template <class T>
T* arg_inst(HSQUIRRELVM v, int n) { return sqbind::getInst<T>(v, n + 2); }
template <class T>
T* arg_inst_or_null(HSQUIRRELVM v, int n) { return arg_null(v, n) ? nullptr : arg_inst<T>(v, n); }
// A colour argument: an integer is a packed ARGB colour, anything else a vec4f.
D3dColor arg_color(HSQUIRRELVM v, int n);
// A closure argument (raises when it isn't one).
HSQOBJECT arg_func(HSQUIRRELVM v, int n);

template <SQInteger (*F)(HSQUIRRELVM)>
SQInteger guarded(HSQUIRRELVM v) {
  try {
    return F(v);
  } catch (const SquirrelError& e) {
    return sq_throwerror(v, e.what());
  } catch (const CallbackFailed&) {
    return SQ_ERROR;
  }
}

// Calls `fn` with the root table as `this`: push the arguments between
// begin and end; end leaves the result (when wanted) on top of `top`.
inline SQInteger call_begin(HSQUIRRELVM v, const HSQOBJECT& fn) {
  SQInteger top = sq_gettop(v);
  sq_pushobject(v, fn);
  sq_pushroottable(v);
  return top;
}
inline void call_end(HSQUIRRELVM v, SQInteger top, int nargs, bool result) {
  if (SQ_FAILED(sq_call(v, nargs + 1, result ? SQTrue : SQFalse, SQTrue))) {
    sq_settop(v, top);
    throw CallbackFailed();
  }
}
float result_float(HSQUIRRELVM v, SQInteger top); // reads the result and restores the stack

void push_bitmap(HSQUIRRELVM v, BitMap* bm); // takes ownership
SQInteger bitmap_release(SQUserPointer p, SQInteger size);
void reg(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION fn);

} // namespace wgbind
