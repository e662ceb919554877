// sqdelegates_local.h: helpers shared by the base library (sqbaselib.cpp) and the default
// delegates of each type (sqdelegates_*.cpp). Everything here works through the public API
// plus the services of sqlib_internal.h; none of it touches runtime internals.
#pragma once
#include "squirrel.h"
#include "sqlib_internal.h"

// Registers the functions of a null-terminated list into the table on top of the stack.
void sqb_register_functions(HSQUIRRELVM v, const SQRegFunction *fns);

// Numeric argument at idx as an integer (floats truncate, like the VM's conversion).
SQInteger sqb_getint(HSQUIRRELVM v, SQInteger idx);
// Float to integer conversion without undefined behaviour for NaN or out-of-range values
// (those give the minimum integer, as the hardware truncation of a 32-bit build does).
SQInteger sqb_float_to_int(SQFloat f);

// Resolves start/end arguments of slice-like functions (negative counts from the end) for
// a sequence of length len. Arguments at sidx/eidx are optional (beyond top: defaults).
// Raises "wrong indexes" / "slice out of range" and returns false on bad ranges.
bool sqb_slice_range(HSQUIRRELVM v, SQInteger sidx, SQInteger eidx, SQInteger len,
                     SQInteger *start, SQInteger *end);

// The "tostring" delegate shared by every type: the value converted like string
// concatenation does (calls _tostring where the type has one).
SQInteger sqb_tostring(HSQUIRRELVM v);
// The "weakref" delegate shared by every type.
SQInteger sqb_weakref(HSQUIRRELVM v);
// Pushes the value at idx as read from a container slot: weak references give their target.
void sqb_push_deref(HSQUIRRELVM v, SQInteger idx);

// rawget/rawset/rawin shared by tables, classes and instances.
SQInteger sqb_rawget(HSQUIRRELVM v);
SQInteger sqb_rawset(HSQUIRRELVM v);
SQInteger sqb_rawin(HSQUIRRELVM v);

// Pushes the stack information table of a call level of thread t ({func, src, line,
// locals}); pushes null when the level does not exist.
void sqb_push_stackinfos(HSQUIRRELVM v, HSQUIRRELVM t, SQInteger level);

// Per-type registration, each in its own file.
void sqb_fill_number_delegates(HSQUIRRELVM v);
void sqb_fill_string_delegate(HSQUIRRELVM v);
void sqb_fill_table_delegate(HSQUIRRELVM v);
void sqb_fill_array_delegate(HSQUIRRELVM v);
void sqb_fill_function_delegates(HSQUIRRELVM v);
void sqb_fill_class_delegates(HSQUIRRELVM v);

// array.sort (sqdelegates_sort.cpp).
SQInteger sqb_array_sort(HSQUIRRELVM v);
